// Cost of the voice DSP units: each distortion mode per sub-sample (64
// lanes, two sub-samples per frame, 16 voices of 4 lanes with their own
// drive, the lanes in order as the engine runs them), the per-voice
// constants of a mode, the DC blocker per sub-sample, the voice mix of eight
// single-copy voices per frame (four at a time and voice by voice), and the
// pink-noise generator per call, and the effect units per frame: the reverb
// over runs of 16 frames and the swept chorus delay (each in both of its
// encodings).

#include "engine/dc_blocker.h"
#include "engine/delay.h"
#include "engine/distortion.h"
#include "engine/engine_state.h"
#include "engine/pink_noise.h"
#include "engine/reverb.h"
#include "engine/voice_mix.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <memory>
#include <vector>

namespace {

constexpr int kLanes = 64;
constexpr int kLanesPerVoice = 4;
constexpr int kVoices = kLanes / kLanesPerVoice;
constexpr int kFrames = 256;
constexpr int kSubSamples = kFrames * kLanes * 2;

// [frame][lane][sub-sample]: sines of different pitches, peak 1.2.
std::vector<float> laneInput() {
    std::vector<float> in(kSubSamples);
    for (int f = 0; f < kFrames; ++f)
        for (int l = 0; l < kLanes; ++l)
            for (int j = 0; j < 2; ++j)
                in[(f * kLanes + l) * 2 + j] = 1.2f * std::sin(0.01f * static_cast<float>(l + 1) *
                                                               static_cast<float>(2 * f + j));
    return in;
}

void setSamplesCounter(benchmark::State& state, int perIteration) {
    state.SetItemsProcessed(state.iterations() * perIteration);
    state.counters["per_sample"] = benchmark::Counter(
        perIteration, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_DistortionMode(benchmark::State& state) {
    const int mode = static_cast<int>(state.range(0));
    state.SetLabel(mode == 0 ? "Off"
                             : std::array{"", "Atan", "Bit", "Cos", "Cross", "Fold", "Limit",
                                          "Over", "Power", "Rate", "Saturate", "Square"}[mode]);
    std::array<DistortionParams, kVoices> params;
    for (int v = 0; v < kVoices; ++v)
        params[v] = Distortion::prepare(mode, 0.06f * static_cast<float>(v));
    std::array<DistortionLane, kLanes> lanes{};
    const std::vector<float> in = laneInput();
    std::vector<float> out(kSubSamples);
    for (auto _ : state) {
        for (int f = 0; f < kFrames; ++f) {
            SquareCarry carry;
            for (int l = 0; l < kLanes; ++l) {
                const int i = (f * kLanes + l) * 2;
                float x0 = in[i], x1 = in[i + 1];
                Distortion::processLane(params[l / kLanesPerVoice], lanes[l], carry, x0, x1);
                out[i] = x0;
                out[i + 1] = x1;
            }
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    setSamplesCounter(state, kSubSamples);
}
BENCHMARK(BM_DistortionMode)->DenseRange(0, Distortion::kModeCount - 1);

void BM_DistortionPrepare(benchmark::State& state) {
    const int mode = static_cast<int>(state.range(0));
    float drive = 0.0f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Distortion::prepare(mode, drive));
        drive = drive < 0.98f ? drive + 0.01f : 0.0f;
    }
}
BENCHMARK(BM_DistortionPrepare)->DenseRange(0, Distortion::kModeCount - 1);

void BM_DCBlocker(benchmark::State& state) {
    const float c = DCBlocker::coefficient(44100.0f);
    std::array<DCBlocker, kLanes> dc{};
    const std::vector<float> in = laneInput();
    std::vector<float> out(kSubSamples);
    for (auto _ : state) {
        for (int f = 0; f < kFrames; ++f) {
            for (int l = 0; l < kLanes; ++l) {
                const int i = (f * kLanes + l) * 2;
                out[i] = dc[l].process(in[i], c);
                out[i + 1] = dc[l].process(in[i + 1], c);
            }
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    setSamplesCounter(state, kSubSamples);
}
BENCHMARK(BM_DCBlocker);

// Eight held single-copy voices through the voice mix, one frame per
// iteration; Arg(0) four at a time, Arg(1) voice by voice.
void BM_VoiceMixEightVoices(benchmark::State& state) {
    std::vector<VoiceState> voices(8);
    std::vector<FilterGroup> groups(2);
    std::vector<VoiceMixGains4> gains(2);
    int list[8];
    for (int v = 0; v < 8; ++v) {
        list[v] = v;
        voices[v].mod.src[src::EnvFirst] = 0.8f;
        voices[v].mod.dst[dst::MainVolume] = 1.0f;
        groups[v / 4].out[0].set(v % 4, 0.1f * v);
        groups[v / 4].out[1].set(v % 4, -0.05f * v);
    }
    for (int v = 0; v < 8; ++v) VoiceMix::noteGains(gains.data(), voices[v], v);
    const VoiceMix::Singles singles{0xFF, false, groups.data(), gains.data()};
    const VoiceMix::Frame frame{0.5f, static_cast<int>(Distortion::kOff),
                                DCBlocker::coefficient(44100.0f)};
    F4 bus;
    for (auto _ : state) {
        if (state.range(0) == 0)
            VoiceMix::processList(frame, voices.data(), singles, list, 8, bus);
        else
            VoiceMix::processEach(frame, voices.data(), singles, list, 8, bus);
        benchmark::DoNotOptimize(bus);
    }
    state.counters["frames"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_VoiceMixEightVoices)->Arg(0)->Arg(1);

// One call per lane per frame for 65 generators sharing one seed.
void BM_PinkNoise(benchmark::State& state) {
    std::array<PinkNoise, 65> pink{};
    RandSeed rng(1);
    constexpr int kCalls = 65 * kFrames;
    std::vector<float> out(kCalls);
    for (auto _ : state) {
        for (int f = 0; f < kFrames; ++f)
            for (int g = 0; g < 65; ++g) out[f * 65 + g] = pink[g].next(rng);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    setSamplesCounter(state, kCalls);
}
BENCHMARK(BM_PinkNoise);

void BM_WhiteNoise(benchmark::State& state) {
    Random15 rng(1);
    constexpr int kCalls = 4096;
    std::vector<float> out(kCalls);
    for (auto _ : state) {
        for (int i = 0; i < kCalls; ++i) out[i] = WhiteNoise::next(rng);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    setSamplesCounter(state, kCalls);
}
BENCHMARK(BM_WhiteNoise);

// Runs of 16 frames through the reverb: Arg(0) the SSE2 comb bank, Arg(1)
// the AVX2 one where the processor has it.
void BM_ReverbRuns(benchmark::State& state) {
    auto reverb = std::make_unique<TBasicReverb>();
    reverb->create();
    reverb->useWideCombs(state.range(0) != 0);
    reverb->setWiden(600, 700, 900, 1100);
    constexpr int kRun = TBasicReverb::kRunFrames, kRuns = kFrames / kRun;
    std::vector<stereoStruct> in(kFrames);
    for (int f = 0; f < kFrames; ++f)
        in[f] = {std::sin(0.01f * static_cast<float>(f)), std::sin(0.013f * static_cast<float>(f))};
    float out[4 * kRun];
    for (auto _ : state) {
        for (int r = 0; r < kRuns; ++r) {
            reverb->process(&in[r * kRun], out, kRun);
            benchmark::DoNotOptimize(out);
        }
    }
    setSamplesCounter(state, kFrames);
}
BENCHMARK(BM_ReverbRuns)->Arg(0)->Arg(1);

// The chorus delay swept by a slow sine, runs of 16 frames: Arg(0) SSE2,
// Arg(1) VEX encoding where the processor has AVX.
void BM_DelaySwept(benchmark::State& state) {
    auto delay = std::make_unique<TDelay>();
    delay->init(44100.0f);
    delay->useAvx(state.range(0) != 0);
    constexpr int kRun = 16, kRuns = kFrames / kRun, kCycle = 78 * kFrames;
    std::vector<stereoStruct> in(kFrames), out(kFrames), len(kCycle);
    for (int f = 0; f < kFrames; ++f)
        in[f] = {std::sin(0.01f * static_cast<float>(f)), std::sin(0.013f * static_cast<float>(f))};
    // One turn of the sweep over the cycle, so that it goes on smoothly.
    for (int f = 0; f < kCycle; ++f) {
        const float l = 600.0f + 300.0f * std::sin(6.2831853f * static_cast<float>(f) / kCycle);
        len[f] = {l, l + 13.0f};
    }
    int at = 0;
    for (auto _ : state) {
        for (int r = 0; r < kRuns; ++r)
            delay->processSwept(&in[r * kRun], &len[at + r * kRun], &out[r * kRun], kRun);
        at = (at + kFrames) % kCycle;
        benchmark::DoNotOptimize(out.data());
    }
    setSamplesCounter(state, kFrames);
}
BENCHMARK(BM_DelaySwept)->Arg(0)->Arg(1);

} // namespace
