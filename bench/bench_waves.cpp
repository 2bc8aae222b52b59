// Cost of the 2048-point transforms per call (forward, inverse, and the
// four-lane inverse that builds four pitch tables at once) and of the
// one-time factory wave build that the first plug-in instance of a process
// pays.

#include "data/factory_waves.h"
#include "waves/fft.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

namespace {

std::unique_ptr<Fft2048> filledFft() {
    auto f = std::make_unique<Fft2048>();
    for (int i = 0; i < Fft2048::kSize; ++i) {
        f->fftInRe[i] = std::sin(0.37f * i) * 0.5f;
        f->fftInIm[i] = 0.0f;
        for (int lane = 0; lane < Fft2048::kLanes; ++lane) {
            f->fft4InRe[i][lane] = i < 149 ? 1.0f / (i + lane + 1) : 0.0f;
            f->fft4InIm[i][lane] = 0.0f;
        }
    }
    return f;
}

void BM_Fft(benchmark::State& state) {
    auto f = filledFft();
    for (auto _ : state) {
        f->fft(Fft2048::kSize);
        benchmark::DoNotOptimize(f->fftOutRe);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Fft)->Unit(benchmark::kMicrosecond);

void BM_Ifft(benchmark::State& state) {
    auto f = filledFft();
    for (auto _ : state) {
        f->ifft(Fft2048::kSize);
        benchmark::DoNotOptimize(f->fftOutRe);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Ifft)->Unit(benchmark::kMicrosecond);

// One call transforms four spectra.
void BM_MIfft(benchmark::State& state) {
    auto f = filledFft();
    for (auto _ : state) {
        f->m_ifft(Fft2048::kSize);
        benchmark::DoNotOptimize(f->fft4OutRe);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * Fft2048::kLanes);
}
BENCHMARK(BM_MIfft)->Unit(benchmark::kMicrosecond);

// Everything the first instance of a process pays for the factory data:
// generating the 183 waves and 14 squares and analysing their partials.
void BM_FactoryWavesBuild(benchmark::State& state) {
    fftTables(); // shared by everything, built elsewhere first
    for (auto _ : state) {
        auto waves = FactoryWaves::build();
        benchmark::DoNotOptimize(waves.get());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FactoryWavesBuild)->Unit(benchmark::kMillisecond);

void BM_FftTablesBuild(benchmark::State& state) {
    for (auto _ : state) {
        auto tables = FftTables::build();
        benchmark::DoNotOptimize(tables.get());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FftTablesBuild)->Unit(benchmark::kMicrosecond);

} // namespace
