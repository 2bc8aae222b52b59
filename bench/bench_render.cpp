// Render cost per frame of the whole engine at 44.1 kHz in blocks of 128,
// with 0, 1 and 16 held notes: every stage that lands shows up here.

#include "core/aplugin.h"

#include <benchmark/benchmark.h>

#include <array>
#include <memory>
#include <vector>

namespace {

constexpr int kBlock = 128;
// The chord of the instruction-count measurement, then more notes up to 16.
constexpr int kNotes[16] = {48, 52, 55, 60, 64, 67, 72, 76, 36, 40, 43, 79, 84, 88, 91, 96};

VstIntPtr quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// A block of note-ons at offset 0.
struct NoteBlock {
    std::array<VstMidiEvent, 16> midi{};
    struct {
        VstInt32 numEvents;
        VstIntPtr reserved;
        VstEvent* events[16];
    } list{};

    explicit NoteBlock(int notes) {
        list.numEvents = notes;
        for (int n = 0; n < notes; ++n) {
            VstMidiEvent& e = midi[n];
            e.type = kVstMidiType;
            e.byteSize = sizeof(VstMidiEvent);
            e.midiData[0] = static_cast<char>(0x90);
            e.midiData[1] = static_cast<char>(kNotes[n]);
            e.midiData[2] = 100;
            list.events[n] = reinterpret_cast<VstEvent*>(&e);
        }
    }
    VstEvents* events() { return reinterpret_cast<VstEvents*>(&list); }
};

// `notes` held notes; with `messages` 1, one modulation-wheel message in
// every block, at its last frame, as hosts place automation and notes
// anywhere in a block: the frames before it wait for it. With 16, sixteen
// spread over the block (every eighth frame from the last), handed over
// last first, as some hosts send them.
void renderHeldNotes(benchmark::State& state, int notes, int messages) {
    auto plugin = std::make_unique<APlugin>(quietHost);
    plugin->setSampleRate(44100.0f);
    plugin->setParameter(tag::AmpEnvSustain, 1.0f);
    std::vector<float> inL(kBlock), inR(kBlock), outL(kBlock), outR(kBlock);
    float* in[2] = {inL.data(), inR.data()};
    float* out[2] = {outL.data(), outR.data()};
    NoteBlock block(notes);
    plugin->processEvents(block.events());
    for (int i = 0; i < 64; ++i) plugin->processReplacing(in, out, kBlock); // settle

    NoteBlock wheel(messages);
    for (int n = 0; n < messages; ++n) {
        VstMidiEvent& cc = wheel.midi[n];
        cc.midiData[0] = static_cast<char>(0xB0);
        cc.midiData[1] = 1;
        cc.deltaFrames = kBlock - 1 - 8 * n;
    }
    int value = 0;
    for (auto _ : state) {
        for (int n = 0; n < messages; ++n)
            wheel.midi[n].midiData[2] = static_cast<char>(value++ & 127);
        if (messages > 0) plugin->processEvents(wheel.events());
        plugin->processReplacing(in, out, kBlock);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
    state.counters["ns/frame"] =
        benchmark::Counter(static_cast<double>(state.iterations() * kBlock),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_RenderHeldNotes(benchmark::State& state) {
    renderHeldNotes(state, static_cast<int>(state.range(0)), 0);
}
BENCHMARK(BM_RenderHeldNotes)->Arg(0)->Arg(1)->Arg(8)->Arg(16);

// The chord of BM_RenderHeldNotes/8 with a message at every block's end.
void BM_RenderEventLateInBlock(benchmark::State& state) {
    renderHeldNotes(state, 8, 1);
}
BENCHMARK(BM_RenderEventLateInBlock);

// The chord of BM_RenderHeldNotes/8 with sixteen messages across every
// block, handed over last first.
void BM_RenderEventsAcrossBlock(benchmark::State& state) {
    renderHeldNotes(state, 8, 16);
}
BENCHMARK(BM_RenderEventsAcrossBlock);

// The effect chain on the chord of BM_RenderHeldNotes (8 notes, default
// patch, blocks of 128): 0 effects off, 1 chorus, delay and reverb, 2 the
// four effects (flanger too); without notes: 3 the four asleep after 8 s of
// silence, 4 effects off.
void BM_RenderEffects(benchmark::State& state) {
    const int mode = static_cast<int>(state.range(0));
    auto plugin = std::make_unique<APlugin>(quietHost);
    plugin->setSampleRate(44100.0f);
    plugin->setParameter(tag::AmpEnvSustain, 1.0f);
    if (mode >= 1 && mode <= 3) {
        for (int t : {tag::ChorusOn, tag::DelayOn, tag::ReverbOn}) plugin->setParameter(t, 1.0f);
        if (mode >= 2) plugin->setParameter(tag::FlangerPhaserOn, 1.0f);
    }
    std::vector<float> inL(kBlock), inR(kBlock), outL(kBlock), outR(kBlock);
    float* in[2] = {inL.data(), inR.data()};
    float* out[2] = {outL.data(), outR.data()};
    NoteBlock block(mode >= 3 ? 0 : 8);
    plugin->processEvents(block.events());
    // Past the table rebuild; silence sends the chain to sleep after 8 s.
    const int settle = mode >= 3 ? 9 * 44100 / kBlock : 64;
    for (int i = 0; i < settle; ++i) plugin->processReplacing(in, out, kBlock);

    for (auto _ : state) {
        plugin->processReplacing(in, out, kBlock);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
    state.counters["ns/frame"] =
        benchmark::Counter(static_cast<double>(state.iterations() * kBlock),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_RenderEffects)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Arg(4);

// Sixteen notes of four unison copies with spread, the sub-oscillator and
// "Atan" distortion, through three filter set-ups:
//   Plain     the default filter ("24dB LP II") as it stands;
//   Resonant  the same type at high resonance, swept by the filter envelope,
//             with the resonant high-pass: the typical heavy unison patch;
//   Heaviest  the costliest type, "24dB N Z", swept the same way, with the
//             resonant high-pass and all twelve slots routed.
enum class WorstPatch { Plain, Resonant, Heaviest };

void renderWorstCase(benchmark::State& state, WorstPatch patch) {
    auto plugin = std::make_unique<APlugin>(quietHost);
    plugin->setSampleRate(44100.0f);
    plugin->setParameter(tag::AmpEnvSustain, 1.0f);
    plugin->setSteppedValue(tag::UnisonMode, 3); // "4"
    plugin->setParameter(tag::UnisonDetune, 0.4f);
    plugin->setParameter(tag::UnisonSpread, 0.8f);
    plugin->setParameter(tag::OscSpread, 0.5f);
    plugin->setParameter(tag::OscSubVolume, 1.0f);
    plugin->setSteppedValue(tag::DistortMode, 1); // "Atan"
    plugin->setParameter(tag::DistortAmount, 0.6f);
    plugin->setSteppedValue(tag::OscWaveA, 1);
    if (patch != WorstPatch::Plain) {
        if (patch == WorstPatch::Heaviest)
            plugin->setSteppedValue(tag::FilterType, 17); // "24dB N Z"
        plugin->setParameter(tag::FilterFreq, 0.4f);
        plugin->setParameter(tag::FilterQ, 0.8f);
        plugin->setParameter(tag::EnvToFilterFreq, 0.5f);
        plugin->setParameter(tag::FilterEnvAttack, 1.0f); // still sweeping while measured
        plugin->setParameter(tag::HiPassOn, 1.0f);
        plugin->setParameter(tag::HiPassQOn, 1.0f);
        plugin->setParameter(tag::HiPassQ, 0.5f);
        plugin->setParameter(tag::HiPassFreq, 0.2f);
    }
    if (patch == WorstPatch::Heaviest) {
        // All twelve slots routed, across sources and destination types.
        struct Route {
            int source, dest;
            float amount;
        };
        const Route routes[tag::ModSlotCount] = {
            {src::Free1Lfo, dst::FilterFreq, 0.7f},  {src::Free2Lfo, dst::OscMorph, 0.6f},
            {src::Free1Env, dst::OscSymmetry, 0.6f}, {src::Free2Env, dst::MainVolume, 0.3f},
            {src::Velocity, dst::OscSemi, 0.55f},    {src::ModWheel, dst::FreeLfo1Speed, 0.7f},
            {src::White, dst::MainPan, 0.6f},        {src::SModLfo, dst::FilterQ, 0.6f},
            {src::AmpEnv, dst::Distort, 0.6f},       {src::Note, dst::UnisonStereoSpread, 0.6f},
            {src::PinkNoise, dst::OscPhase, 0.55f},  {src::Free1Lfo, dst::Mod2Amount, 0.6f},
        };
        for (int slot = 0; slot < tag::ModSlotCount; ++slot)
            plugin->setModSlotVar(slot, false, routes[slot].amount, routes[slot].source,
                                  routes[slot].dest);
        plugin->setOff(tag::freeLfoSync(0));
        plugin->setOff(tag::freeLfoSync(1));
    }
    std::vector<float> inL(kBlock), inR(kBlock), outL(kBlock), outR(kBlock);
    float* in[2] = {inL.data(), inR.data()};
    float* out[2] = {outL.data(), outR.data()};
    for (int i = 0; i < 100; ++i) plugin->processReplacing(in, out, kBlock); // modes, tables
    NoteBlock block(16);
    plugin->processEvents(block.events());
    for (int i = 0; i < 8; ++i) plugin->processReplacing(in, out, kBlock);
    for (auto _ : state) {
        plugin->processReplacing(in, out, kBlock);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
    // Share of one core needed for real time at 44.1 kHz.
    state.counters["realtime"] =
        benchmark::Counter(static_cast<double>(state.iterations() * kBlock) / 44100.0,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_RenderWorstCase(benchmark::State& state) {
    renderWorstCase(state, WorstPatch::Plain);
}
BENCHMARK(BM_RenderWorstCase);

void BM_RenderWorstCaseResonant(benchmark::State& state) {
    renderWorstCase(state, WorstPatch::Resonant);
}
BENCHMARK(BM_RenderWorstCaseResonant);

void BM_RenderWorstCaseFilter(benchmark::State& state) {
    renderWorstCase(state, WorstPatch::Heaviest);
}
BENCHMARK(BM_RenderWorstCaseFilter);

} // namespace
