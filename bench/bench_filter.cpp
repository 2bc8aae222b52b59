// Cost of the voice filter per lane and frame (two sub-samples), per type:
// steady coefficients (a held note), and a cut-off that moves every frame
// (an envelope or LFO sweep, so coefficients are recomputed each frame). The
// high-pass is measured alone.

#include "engine/filters.h"
#include "engine/tables.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace {

constexpr int kFrames = 256;

std::vector<float> input() {
    std::vector<float> x(2 * kFrames);
    uint32_t s = 1;
    for (float& v : x) {
        s = s * 1664525u + 1013904223u;
        v = 0.05f * (static_cast<float>(s >> 8) / 8388608.0f - 1.0f);
    }
    return x;
}

template <int Type> void BM_FilterLane(benchmark::State& state) {
    const bool sweep = state.range(0) != 0;
    const FilterContext ctx = FilterContext::at(engineTables().filterCurves, 44100.0f);
    std::vector<float> ring(CombFilter::kRingSize, 0.0f);
    const std::vector<float> x = input();
    std::vector<float> y(x.size());
    LaneFilter f;
    f.retune<Type>(ctx, 1000.0f, 0.7f);
    float hz = 1000.0f;
    for (auto _ : state) {
        for (int n = 0; n < kFrames; ++n) {
            if (sweep) {
                hz = hz > 8000.0f ? 200.0f : hz * 1.001f;
                f.retune<Type>(ctx, hz, 0.7f);
            }
            float x0 = x[2 * n], x1 = x[2 * n + 1];
            f.run<Type>(ctx, ring.data(), x0, x1);
            y[2 * n] = x0;
            y[2 * n + 1] = x1;
        }
        benchmark::DoNotOptimize(y.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrames);
    state.counters["ns/frame"] =
        benchmark::Counter(static_cast<double>(state.iterations() * kFrames),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

#define FILTER_BENCH(T) BENCHMARK_TEMPLATE(BM_FilterLane, T)->Arg(0)->Arg(1)
FILTER_BENCH(kFilter12Lp);
FILTER_BENCH(kFilter12LpZ);
FILTER_BENCH(kFilter24LpI);
FILTER_BENCH(kFilter24LpII);
FILTER_BENCH(kFilter24Notch);
FILTER_BENCH(kFilter24LpZ);
FILTER_BENCH(kFilter24NotchZ);
FILTER_BENCH(kFilterCombPlus);
FILTER_BENCH(kFilterRingMod);

void BM_FilterHighPass(benchmark::State& state) {
    const std::vector<float> x = input();
    std::vector<float> y(x.size());
    ResonantHighPass hp;
    for (auto _ : state) {
        for (std::size_t i = 0; i < x.size(); ++i) y[i] = hp.tick(x[i], 0.07f, 0.3f);
        benchmark::DoNotOptimize(y.data());
        benchmark::ClobberMemory();
    }
    state.counters["ns/frame"] =
        benchmark::Counter(static_cast<double>(state.iterations() * kFrames),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_FilterHighPass);

// Four lanes side by side (four voices with one copy, or the copies of one
// voice), steady coefficients; the argument is the set of lanes that run
// (15: all, 5: two of them, the others keep their state).
template <int Type> void BM_FilterLanes4(benchmark::State& state) {
    const int lanes = static_cast<int>(state.range(0));
    const FilterContext ctx = FilterContext::at(engineTables().filterCurves, 44100.0f);
    std::vector<std::vector<float>> rings(4, std::vector<float>(CombFilter::kRingSize, 0.0f));
    float* ringData[4] = {rings[0].data(), rings[1].data(), rings[2].data(), rings[3].data()};
    const std::vector<float> x = input();
    std::vector<F4> y(x.size());
    LaneFilter4 f;
    f.retune<Type>(ctx, F4::of(500.0f, 1000.0f, 2000.0f, 4000.0f), F4(0.7f), F4(0.0f),
                   firstLanes(4));
    for (auto _ : state) {
        for (int n = 0; n < kFrames; ++n) {
            F4 x0 = x[2 * n], x1 = x[2 * n + 1];
            f.runLanes<Type>(ctx, ringData, lanes, x0, x1);
            y[2 * n] = x0;
            y[2 * n + 1] = x1;
        }
        benchmark::DoNotOptimize(y.data());
        benchmark::ClobberMemory();
    }
    state.counters["ns/frame"] =
        benchmark::Counter(static_cast<double>(state.iterations() * kFrames),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK_TEMPLATE(BM_FilterLanes4, kFilter24LpII)->Arg(15)->Arg(5);
BENCHMARK_TEMPLATE(BM_FilterLanes4, kFilter24NotchZ)->Arg(15)->Arg(5);
BENCHMARK_TEMPLATE(BM_FilterLanes4, kFilterCombPlus)->Arg(15)->Arg(5);

} // namespace
