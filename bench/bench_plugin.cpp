// Cost of the plug-in's basic operations: construction and parameter writes.

#include "core/aplugin.h"

#include <benchmark/benchmark.h>

#include <memory>

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

} // namespace
