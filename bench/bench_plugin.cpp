// Cost of the plug-in's basic operations: construction, parameter writes
// and rendering a block (silence until the engine arrives).

#include "core/aplugin.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

VstIntPtr quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

std::unique_ptr<APlugin> makePlugin() {
    return std::make_unique<APlugin>(quietHost);
}

void BM_Construct(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(makePlugin());
}
BENCHMARK(BM_Construct)->Unit(benchmark::kMillisecond);

void BM_SetParameter(benchmark::State& state) {
    auto plugin = makePlugin();
    int t = 0;
    float v = 0.0f;
    for (auto _ : state) {
        plugin->setParameter(t, v);
        t = (t + 1) & 1023;
        if (t == tag::ApplyPreset || t == tag::TakeOver) t = tag::MorphWrapOn;
        v = v > 1.0f ? 0.0f : v + 0.001f;
    }
}
BENCHMARK(BM_SetParameter);

// Render cost per frame, 512-frame blocks.
void BM_RenderBlock(benchmark::State& state) {
    auto plugin = makePlugin();
    constexpr int kFrames = 512;
    std::vector<float> inL(kFrames), inR(kFrames), outL(kFrames), outR(kFrames);
    float* in[2] = {inL.data(), inR.data()};
    float* out[2] = {outL.data(), outR.data()};
    for (auto _ : state) {
        plugin->processReplacing(in, out, kFrames);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrames);
}
BENCHMARK(BM_RenderBlock);

} // namespace
