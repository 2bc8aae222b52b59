// Cost of each step of a wave-table rebuild. Every step runs inside one
// audio block on the audio thread, so each must stay well under a block.

#include "core/aplugin.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

VstIntPtr quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

std::unique_ptr<APlugin> pluginWithWaves(int waveA, int waveB, int mode) {
    auto plugin = std::make_unique<APlugin>(quietHost);
    plugin->setSteppedValue(tag::OscWaveA, waveA);
    plugin->setSteppedValue(tag::OscWaveB, waveB);
    plugin->setSteppedValue(tag::OscMode, mode);
    plugin->waves.cachedWaveA = waveA;
    plugin->waves.cachedWaveB = waveB;
    plugin->waves.cachedOscMode = mode;
    return plugin;
}

// The frame build (32 frames) of one oscillator mode.
void BM_FrameBuild(benchmark::State& state) {
    const int mode = static_cast<int>(state.range(0));
    auto plugin = pluginWithWaves(1, 40, mode);
    for (auto _ : state) plugin->setOscWaveTables();
}
BENCHMARK(BM_FrameBuild)->Arg(0)->Arg(1)->Arg(2)->Arg(9)->Arg(14)->Unit(benchmark::kMicrosecond);

// The frame build of a morph that involves a user wave.
void BM_FrameBuildUserMorph(benchmark::State& state) {
    auto plugin = pluginWithWaves(183, 40, 1);
    for (auto _ : state) plugin->setOscWaveTables();
}
BENCHMARK(BM_FrameBuildUserMorph)->Unit(benchmark::kMicrosecond);

// One staged step: five pitch tables of all 32 frames.
// Stage 0 (tables 0..4: table 0 keeps all 2048 bins) and stage 6 (tables
// 30..34: 5 bins or fewer).
void BM_PitchTableStage(benchmark::State& state) {
    auto plugin = pluginWithWaves(1, 40, 0);
    plugin->setOscWaveTables();
    const int first = 5 * static_cast<int>(state.range(0));
    for (auto _ : state) plugin->setOscWavePitchTables(first, first + 5);
}
BENCHMARK(BM_PitchTableStage)->Arg(0)->Arg(6)->Unit(benchmark::kMicrosecond);

// The last staged step: loudness levelling and the bank switch.
void BM_Levelling(benchmark::State& state) {
    auto plugin = pluginWithWaves(1, 40, 0);
    plugin->setOscWaveTables();
    plugin->setOscWavePitchTables(0, 35);
    for (auto _ : state) plugin->normalizePitchTables();
}
BENCHMARK(BM_Levelling)->Unit(benchmark::kMicrosecond);

// A user wave from its 128 partials.
void BM_UserWaveSynthesis(benchmark::State& state) {
    auto plugin = std::make_unique<APlugin>(quietHost);
    for (auto _ : state) plugin->convertWaveTablePartialsToWaveTable(0);
}
BENCHMARK(BM_UserWaveSynthesis)->Unit(benchmark::kMicrosecond);

// A user wave's LFO row (65536 interpolated samples), refilled after its
// table changed while a free LFO plays the shape.
void BM_UserWaveLfoRow(benchmark::State& state) {
    auto plugin = std::make_unique<APlugin>(quietHost);
    plugin->setWaveTablePartials(0, 2, TAdditive{0.5f, 0.25f});
    plugin->convertWaveTablePartialsToWaveTable(0);
    plugin->engine.lfo.kind[0] = kSharedLfoShapeKinds; // user wave 1's shape
    for (auto _ : state) {
        plugin->waves.userLfoRowsStale[0] = true;
        plugin->fillUserWaveLfoRows();
        benchmark::DoNotOptimize(plugin->engine.userLfoRows.row(0)[12345]);
    }
}
BENCHMARK(BM_UserWaveLfoRow)->Unit(benchmark::kMicrosecond);

} // namespace

// A requested preset's bank built whole off the audio thread (on the thread
// that chose or restored it): with a user wave, a private bank built from
// scratch; with factory waves only, after the first pass, the finished bank
// of the same recipe taken from the store.
void BM_PresetBankOffTheAudioThread(benchmark::State& state) {
    const bool user = state.range(0) != 0;
    auto plugin = pluginWithWaves(user ? 183 : 1, 40, 1);
    for (auto _ : state) {
        // Neither slot holds a bank of these waves yet.
        for (BankSource& source : plugin->waves.bankSource) source.known = false;
        plugin->prepareWaveTables(kPresetRestore);
    }
    state.SetLabel(user ? "user wave" : "factory waves, shared");
}
BENCHMARK(BM_PresetBankOffTheAudioThread)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);
