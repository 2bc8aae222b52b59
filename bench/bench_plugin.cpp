// Cost of the plug-in's basic operations: construction, parameter writes and
// the test of whether the calling thread may wait.

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

// A host that does not say (the thread's record and scheduling are looked
// at) and one that does: the test made before a restore reads a file, and
// by every dispatcher call that has a host refresh to serve.
void BM_OnAudioThread(benchmark::State& state) {
    const bool says = state.range(0) != 0;
    auto plugin = std::make_unique<APlugin>(
        says ? +[](AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) -> VstIntPtr {
            if (opcode == audioMasterGetCurrentProcessLevel) return kVstProcessLevelUser;
            return opcode == audioMasterVersion ? 2400 : 0;
        }
             : quietHost);
    for (auto _ : state) benchmark::DoNotOptimize(plugin->onAudioThread());
}
BENCHMARK(BM_OnAudioThread)->Arg(0)->Arg(1);

} // namespace
