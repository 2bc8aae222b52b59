// The render loop as a host drives it: the preset tick, silent blocks while a
// preset is applied, the output limit, no allocation on the audio thread,
// block sizes and host calls, host tempo and transport, and the active-voice
// list.

#include "support/allocation_watch.h"
#include "support/plugin_harness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>
#include <xmmintrin.h>

namespace {

bool allZero(const std::vector<float>& v, int frames) {
    for (int i = 0; i < frames; ++i)
        if (v[i] != 0.0f) return false;
    return true;
}

} // namespace

// ------------------------------------------------------------------ presets

TEST(RenderPreset, ApplyPresetTagSilencesUntilTheNext4096FrameTick) {
    PluginHarness h;
    h.send(EventBlock().noteOn(0, 60));
    h.render(744);
    const uint64_t nextTick = (h.counter() / 4096 + 1) * 4096;
    ASSERT_TRUE(h.listed(0));

    // The stored program differs from what plays; writing tag 997 asks for it.
    h.p().core.programStore[0].values[tag::AmpEnvRelease] = 0.2f;
    h.effect()->setParameter(h.effect(), tag::ApplyPreset, 1.0f);
    ASSERT_TRUE(h.p().core.presetPending);
    EXPECT_NE(h.p().getCurrentValue(tag::AmpEnvRelease), 0.2f);

    const int tick = h.voice(0).voiceTick;
    const double level = h.voice(0).ampLevel();
    // MIDI still comes in meanwhile (a note-on would have the preset applied
    // at once, before it starts).
    h.send(EventBlock().cc(10, 1, 127));
    // The output glides into the silence over 1.5 ms (66 frames), then
    // stays at 0 until the tick.
    const uint64_t silentFrom = h.counter() + 67;
    float last = std::fabs(h.left[743]); // the last frame before the request
    while (h.counter() < nextTick) {
        std::fill(h.left.begin(), h.left.end(), 1.0f);
        const bool silent = h.counter() >= silentFrom;
        h.render(1);
        if (silent) {
            ASSERT_EQ(h.left[0], 0.0f);
        }
        ASSERT_LE(std::fabs(h.left[0]), last + 0.01f) << "at " << h.counter();
        last = std::fabs(h.left[0]);
        ASSERT_TRUE(h.p().core.presetPending) << "at " << h.counter();
        ASSERT_EQ(h.voice(0).voiceTick, tick) << "nothing of the voices runs";
        ASSERT_EQ(h.voice(0).ampLevel(), level);
    }
    EXPECT_EQ(h.pending(), 0);
    EXPECT_EQ(h.engine().midi.globalModWheel, 1.0f);

    h.render(1); // the frame at the tick
    EXPECT_FALSE(h.p().core.presetPending);
    EXPECT_FALSE(h.p().core.settingPreset);
    EXPECT_EQ(h.p().getCurrentValue(tag::AmpEnvRelease), 0.2f);
    // The application itself resets the voices and rebuilds the user waves, so
    // what plays next is checked by the programs tests.
}

TEST(RenderPreset, ApplyPresetAtATickIsAppliedOnThatFrame) {
    PluginHarness h;
    h.renderIn(static_cast<int>((h.counter() / 4096 + 1) * 4096 - h.counter()), 512);
    ASSERT_EQ(h.counter() % 4096, 0u);
    h.p().setParameter(tag::ApplyPreset, 1.0f);
    h.render(1);
    EXPECT_FALSE(h.p().core.presetPending);
}

TEST(RenderPreset, BlockStartingWhileAPresetIsAppliedIsSilentAndConsumesItsMidi) {
    PluginHarness h;
    const std::uint64_t counter = h.counter();
    h.p().core.settingPreset.set();
    h.send(EventBlock().noteOn(0, 60).noteOn(10, 62).cc(20, 1, 127));
    std::fill(h.left.begin(), h.left.end(), 0.5f);
    std::fill(h.right.begin(), h.right.end(), 0.5f);
    h.render(64);
    EXPECT_TRUE(allZero(h.left, 64));
    EXPECT_TRUE(allZero(h.right, 64));
    EXPECT_EQ(h.pending(), 0) << "the events are consumed";
    EXPECT_EQ(h.gatedCount(), 0) << "and discarded";
    EXPECT_EQ(h.engine().midi.globalModWheel, 0.0f);
    EXPECT_EQ(h.counter(), counter) << "nothing else runs";

    h.p().core.settingPreset.clear();
    h.render(64);
    EXPECT_EQ(h.gatedCount(), 0);
    EXPECT_EQ(h.counter(), counter + 64);
}

// ------------------------------------------------------------------ the output

TEST(RenderOutput, StaysFiniteAndWithinTheLimit) {
    PluginHarness h;
    h.p().setParameter(tag::MainVolume, 1.0f);
    std::mt19937 rng(1234);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const int tweakable[] = {tag::AmpEnvAttack,
                             tag::AmpEnvDecay,
                             tag::AmpEnvSustain,
                             tag::AmpEnvRelease,
                             tag::PortamentoAmount,
                             tag::VelocityToVolume,
                             tag::ExpEnvShapeOn,
                             tag::FilterEnvAttack,
                             tag::PitchBendUp,
                             tag::PitchBendDown,
                             tag::freeEnv(0, tag::FreeEnvFade),
                             tag::freeEnv(1, tag::FreeEnvSync),
                             tag::MainVolume};
    const float odd[] = {0.0f,
                         1.0f,
                         std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity(),
                         -1e30f,
                         1e30f};
    int frames = 0;
    while (frames < 3 * 44100) {
        const int block = pick(32, 512);
        EventBlock events;
        for (int n = pick(0, 6); n > 0; --n) {
            const int offset = pick(0, block);
            switch (pick(0, 5)) {
            case 0:
                events.noteOn(offset, pick(20, 100), pick(1, 127), pick(0, 15));
                break;
            case 1:
                events.noteOff(offset, pick(20, 100), pick(0, 15));
                break;
            case 2:
                events.bend(offset, pick(0, 0x3FFF), pick(0, 15));
                break;
            case 3:
                events.cc(offset, pick(0, 127), pick(0, 127), pick(0, 15));
                break;
            case 4:
                events.midi(offset, 0xA0 | pick(0, 15), pick(0, 127), pick(0, 127));
                break;
            default:
                events.midi(offset, 0xD0 | pick(0, 15), pick(0, 127));
                break;
            }
        }
        h.send(events);
        if (pick(0, 20) == 0) h.p().setParameter(tweakable[pick(0, 12)], pick(0, 1000) / 1000.0f);
        if (pick(0, 100) == 0) h.p().setSteppedValue(tag::PlayMode, pick(0, 7));
        if (pick(0, 100) == 0) h.p().setSteppedValue(tag::PortamentoMode, pick(0, 4));
        if (static_cast<int>(h.inL.size()) >= block)
            for (int i = 0; i < block; ++i) h.inL[i] = h.inR[i] = odd[pick(0, 5)];
        h.render(block);
        frames += block;
        ASSERT_TRUE(std::isfinite(h.engine().global.src[src::Input]));
    }
    EXPECT_TRUE(h.allFinite);
    EXPECT_LE(h.maxAbs, 0.999f);
    EXPECT_TRUE(std::isfinite(h.engine().render.masterGain));
    EXPECT_LE(h.engine().render.masterGain, 1.0f);
    for (const VoiceState& v : h.engine().voices)
        for (const EnvelopeState& e : v.env) {
            EXPECT_TRUE(std::isfinite(e.level));
            EXPECT_TRUE(std::isfinite(e.prevOutput));
        }
}

TEST(RenderOutput, MasterGainFollowsTheMainVolume) {
    PluginHarness h;
    h.p().setParameter(tag::MainVolume, 1.0f);
    float highest = 0.0f;
    for (int i = 0; i < 44100 / 64; ++i) {
        h.render(64);
        highest = std::max(highest, h.engine().render.masterGain);
    }
    EXPECT_LE(highest, 1.0f);
    EXPECT_NEAR(h.engine().render.masterGain, 1.0f, 0.001f);

    h.p().setParameter(tag::MainVolume, 0.0f);
    h.render(2 * 44100);
    EXPECT_EQ(h.engine().render.masterGain, 0.0f) << "below 0.001 the gain is exactly 0";
}

// ------------------------------------------------------------------ allocation

TEST(RenderAllocation, TheWatchSeesAnAllocation) {
    AllocationWatch watch;
    int* volatile p = new int(5); // kept: a compiler may drop a new whose pointer goes nowhere
    const long seen = watch.count();
    delete p;
    EXPECT_EQ(seen, 1);
}

TEST(RenderAllocation, ProcessEventsAndProcessReplacingNeverAllocate) {
    PluginHarness h;
    h.host.clearLog(); // keeps its reserved room: the host's own log does not allocate

    // Everything a host hands over is prepared first.
    std::vector<EventBlock> blocks(200);
    for (int b = 0; b < 200; ++b) {
        EventBlock& e = blocks[b];
        for (int n = 0; n < 17; ++n) {
            if (b % 20 == 0) e.noteOn(n * 3, 40 + (b + n) % 60, 100, n % 16);
            if (b % 20 == 10) e.noteOff(n * 3, 40 + (b - 10 + n) % 60, n % 16);
        }
        e.bend(5, (b * 331) & 0x3FFF).cc(7, 1, b & 127).cc(9, 74, (b * 7) & 127);
        e.midi(11, 0xD0, b & 127).midi(12, 0xA0, 60, 90);
        if (b % 50 == 25) e.cc(1, 64, 127);
        if (b % 50 == 40) e.cc(1, 64, 0);
        if (b % 70 == 69) e.cc(2, 123, 0);
        e.get();
    }
    std::vector<float> inL(512, 0.25f), inR(512, -0.25f), outL(512), outR(512);
    float* in[2] = {inL.data(), inR.data()};
    float* out[2] = {outL.data(), outR.data()};
    AEffect* effect = h.effect();

    auto run = [&](int from, int to) {
        AllocationWatch watch;
        for (int b = from; b < to; ++b) {
            h.p().processEvents(blocks[b].get());
            h.p().processReplacing(in, out, 32 + (b % 5) * 97);
        }
        return watch.count();
    };

    EXPECT_EQ(run(0, 40), 0) << "poly play, stealing, controllers, sustain";

    h.p().setSteppedValue(tag::PlayMode,
                          1); // main thread: a mode change, reset on the audio thread
    EXPECT_EQ(run(40, 60), 0) << "MPE";
    h.p().setSteppedValue(tag::PlayMode, 6);
    h.p().setParameter(tag::PortamentoAmount, 0.3f);
    h.p().setSteppedValue(tag::PortamentoMode, 2);
    EXPECT_EQ(run(60, 80), 0) << "legato with portamento";
    h.p().setSteppedValue(tag::PlayMode, 3);
    EXPECT_EQ(run(80, 100), 0) << "mono";

    h.p().setSteppedValue(tag::PlayMode, 0);
    h.p().previewNoteOn();
    h.p().requestReset();
    effect->setParameter(effect, tag::ApplyPreset, 1.0f);
    EXPECT_EQ(run(100, 160), 0) << "editor requests and a preset applied on the audio thread";
    EXPECT_FALSE(h.p().core.presetPending);

    h.p().core.settingPreset.set();
    h.p().setSampleRate(48000.0f); // kept for the next block
    EXPECT_EQ(run(160, 161), 0) << "a block while the preset is applied";
    h.p().core.settingPreset.clear();
    h.p().previewNoteReleased();
    EXPECT_EQ(run(161, 200), 0) << "the pending sample rate applied at block start";
    EXPECT_EQ(h.engine().rate.sampleRate, 48000.0f);
}

// ------------------------------------------------------------------ blocks and host calls

namespace {

struct TimedEvent {
    int frame;
    int status, d1, d2;
};

std::vector<TimedEvent> scriptedPerformance(int frames) {
    std::mt19937 rng(99);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    std::vector<TimedEvent> events;
    for (int f = 0; f < frames; f += pick(1, 700)) {
        switch (pick(0, 6)) {
        case 0:
        case 1:
            events.push_back({f, 0x90, pick(40, 80), pick(1, 127)});
            break;
        case 2:
        case 3:
            events.push_back({f, 0x80, pick(40, 80), 0});
            break;
        case 4:
            events.push_back({f, 0xB0, 64, pick(0, 1) * 127});
            break;
        case 5:
            events.push_back({f, 0xE0, pick(0, 127), pick(0, 127)});
            break;
        default:
            events.push_back({f, 0xB0, 1, pick(0, 127)});
            break;
        }
    }
    return events;
}

// What the voices look like after a frame.
std::vector<double> fingerprint(const PluginHarness& h) {
    const EngineState& e = h.plugin->engine;
    std::vector<double> f{static_cast<double>(e.render.sampleCounter),
                          static_cast<double>(e.render.activeVoiceCount)};
    for (const VoiceState& v : e.voices) {
        f.insert(f.end(),
                 {static_cast<double>(v.gate), static_cast<double>(v.stolen),
                  static_cast<double>(v.note), v.soundingPitch, v.mod.src[src::PitchBend]});
        for (const EnvelopeState& env : v.env)
            f.insert(f.end(), {static_cast<double>(env.stage), env.level, env.prevOutput});
    }
    return f;
}

enum class Delivery { PerBlock, AllUpFront };

// Renders the performance in blocks of the given sizes (cycled), the way a
// host does: effMainsChanged and effProcessEvents before every block, the
// events list empty when nothing falls in the block. Returns the fingerprint
// at every block end that is also in `checkpoints` (or every block end when
// it is empty), and the block ends themselves in `ends`.
std::vector<std::vector<double>> perform(const std::vector<TimedEvent>& script, int frames,
                                         const std::vector<int>& sizes, Delivery delivery,
                                         const std::vector<int>& checkpoints,
                                         std::vector<int>* ends = nullptr) {
    PluginHarness h;
    AEffect* effect = h.effect();
    std::vector<std::vector<double>> prints;
    std::size_t next = 0, check = 0;
    int start = 0;
    for (std::size_t b = 0; start < frames; ++b) {
        const int size = std::min(sizes[b % sizes.size()], frames - start);
        EventBlock events;
        // An event due at frame k of a block has the offset k + 1 (offsets 0
        // and 1 both mean the first frame).
        const int horizon = delivery == Delivery::AllUpFront && b == 0 ? frames : start + size;
        for (; next < script.size() && script[next].frame < horizon; ++next) {
            const TimedEvent& t = script[next];
            events.midi(t.frame - start + 1, t.status, t.d1, t.d2);
        }
        effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
        effect->dispatcher(effect, effProcessEvents, 0, 0, events.get(), 0.0f);
        h.render(size);
        start += size;
        if (ends) ends->push_back(start);
        if (checkpoints.empty() || (check < checkpoints.size() && checkpoints[check] == start)) {
            prints.push_back(fingerprint(h));
            ++check;
        }
    }
    EXPECT_TRUE(h.allFinite);
    EXPECT_LE(h.maxAbs, 0.999f);
    return prints;
}

} // namespace

TEST(RenderBlocks, BlockSizesAndPerBlockHostCallsDoNotChangeWhatPlays) {
    const int frames = 44100;
    const std::vector<TimedEvent> script = scriptedPerformance(frames);
    ASSERT_LT(script.size(), 250u) << "set-up: all of it fits the queue at once";
    std::vector<int> ends;
    const auto odd = perform(script, frames, {32, 37, 4096, 64, 1000, 511, 2048, 3, 4095, 128},
                             Delivery::PerBlock, {}, &ends);
    const auto single = perform(script, frames, {1}, Delivery::PerBlock, ends);
    const auto upFront = perform(script, frames, {256}, Delivery::AllUpFront, {});
    ASSERT_EQ(odd.size(), single.size());
    for (std::size_t i = 0; i < odd.size(); ++i)
        ASSERT_EQ(odd[i], single[i]) << "after the block ending at frame " << ends[i];
    // Offsets beyond the block carry over: everything sent with the first block.
    const auto perBlock256 = perform(script, frames, {256}, Delivery::PerBlock, {});
    ASSERT_EQ(upFront.size(), perBlock256.size());
    for (std::size_t i = 0; i < upFront.size(); ++i)
        ASSERT_EQ(upFront[i], perBlock256[i]) << "block " << i;
}

TEST(RenderBlocks, SuspendSilencesAndResumeDoesNot) {
    PluginHarness h;
    AEffect* e = h.effect();
    h.send(EventBlock().noteOn(0, 60).noteOn(0, 64));
    h.render(64);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
    h.render(64);
    EXPECT_EQ(h.gatedCount(), 2);
    e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(h.gatedCount(), 0);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
    h.send(EventBlock().noteOn(0, 67));
    h.render(64);
    EXPECT_EQ(h.gatedCount(), 1);
}

TEST(RenderBlocks, NullInputsReadAsSilence) {
    PluginHarness h;
    float* out[2] = {h.left.data(), h.right.data()};
    h.inL.assign(h.inL.size(), 0.5f);
    h.inR.assign(h.inR.size(), 0.5f);
    h.render(16);
    EXPECT_EQ(h.engine().global.src[src::Input], 0.5f);

    h.p().processReplacing(nullptr, out, 16);
    EXPECT_EQ(h.engine().global.src[src::Input], 0.0f);

    h.render(16);
    float* halfMissing[2] = {nullptr, h.inR.data()};
    h.p().processReplacing(halfMissing, out, 16);
    EXPECT_EQ(h.engine().global.src[src::Input], 0.25f);
    float* noneThere[2] = {nullptr, nullptr};
    h.p().processReplacing(noneThere, out, 16);
    EXPECT_EQ(h.engine().global.src[src::Input], 0.0f);
    h.check(16);
    EXPECT_TRUE(h.allFinite);
}

TEST(RenderBlocks, HostFloatingPointModeIsRestoredAfterEveryBlock) {
    PluginHarness h;
    const unsigned int saved = _mm_getcsr();
    for (unsigned int mode :
         {0x1F80u, 0x9FC0u, 0x1F80u | 0x6000u}) { // default, FTZ+DAZ, round to zero
        _mm_setcsr(mode);
        h.send(EventBlock().noteOn(0, 60).noteOff(100, 60));
        h.render(256);
        const unsigned int after = _mm_getcsr();
        _mm_setcsr(saved);
        EXPECT_EQ(after & ~0x3Fu, mode & ~0x3Fu) << std::hex << mode; // exception flags aside
    }
}

TEST(RenderBlocks, ZeroOrNegativeFramesWriteNothing) {
    PluginHarness h;
    h.send(EventBlock().noteOn(0, 60));
    const std::uint64_t counter = h.counter();
    std::vector<float> l(8, 7.0f), r(8, 7.0f);
    float* out[2] = {l.data(), r.data()};
    for (int frames : {0, -1, -4096}) h.p().processReplacing(nullptr, out, frames);
    for (float x : l) EXPECT_EQ(x, 7.0f);
    for (float x : r) EXPECT_EQ(x, 7.0f);
    EXPECT_EQ(h.counter(), counter);
    EXPECT_EQ(h.pending(), 1);
    EXPECT_EQ(h.gatedCount(), 0);
}

// ------------------------------------------------------------------ host tempo and transport

TEST(RenderTempo, HostTempoIsClampedToOneThroughTwelveThousand) {
    PluginHarness h;
    struct Case {
        double host;
        float expected;
    };
    for (const Case& c : {Case{0.0, 1.0f}, Case{20000.0, 12000.0f}, Case{140.0, 140.0f},
                          Case{-30.0, 1.0f}, Case{12000.0, 12000.0f}, Case{0.5, 1.0f}}) {
        h.host.timeInfo.tempo = c.host;
        h.render(32);
        EXPECT_EQ(h.engine().render.tempo, c.expected) << c.host;
        EXPECT_NEAR(h.engine().render.samplesPerWholeNote, 44100.0f * 240.0f / c.expected,
                    0.01f * 44100.0f * 240.0f / c.expected)
            << c.host;
    }
}

TEST(RenderTempo, TempoKeepsItsValueWithoutAValidHostTempo) {
    PluginHarness h;
    h.host.timeInfo.tempo = 140.0;
    h.render(32);
    ASSERT_EQ(h.engine().render.tempo, 140.0f);

    h.host.timeInfo.flags &= ~kVstTempoValid;
    h.host.timeInfo.tempo = 60.0;
    h.render(32);
    EXPECT_EQ(h.engine().render.tempo, 140.0f) << "tempo not flagged valid";

    h.host.timeInfo.flags |= kVstTempoValid;
    h.host.timeInfo.tempo = std::numeric_limits<double>::quiet_NaN();
    h.render(32);
    EXPECT_TRUE(std::isfinite(h.engine().render.tempo));
    EXPECT_TRUE(std::isfinite(h.engine().render.samplesPerWholeNote));

    h.host.timeInfo.tempo = 140.0;
    h.render(32);
    h.host.answers[audioMasterGetTime] = 0; // a host without time information
    h.host.timeInfo.tempo = 60.0;
    h.render(32);
    EXPECT_EQ(h.engine().render.tempo, 140.0f);
    EXPECT_EQ(h.engine().render.songPosition[0], 0.0);
}

TEST(RenderTransport, StopReleasesAllVoices) {
    PluginHarness h; // the host is playing
    h.send(EventBlock().noteOn(0, 60).noteOn(0, 64).noteOn(0, 67));
    h.render(256);
    ASSERT_EQ(h.gatedCount(), 3);

    h.host.timeInfo.flags &= ~kVstTransportPlaying;
    h.render(16);
    EXPECT_EQ(h.gatedCount(), 0);
    h.render(32);
    for (int v = 0; v < 3; ++v) EXPECT_EQ(h.voice(v).env[kEnvAmp].stage, kEnvRelease);

    // Notes played while stopped are not touched until the next stop.
    h.send(EventBlock().noteOn(0, 72));
    h.render(256);
    EXPECT_EQ(h.gatedCount(), 1);
    h.host.timeInfo.flags |= kVstTransportPlaying;
    h.render(256);
    EXPECT_EQ(h.gatedCount(), 1);
}

// ------------------------------------------------------------------ the active-voice list

TEST(RenderActiveList, NewVoiceIsListedAtTheNextFourFrameTick) {
    for (int phase = 0; phase < 4; ++phase) {
        PluginHarness h;
        h.render(phase);
        h.send(EventBlock().noteOn(0, 60));
        int frames = 0;
        while (!h.listed(0) && frames < 16) {
            h.render(1);
            ++frames;
        }
        EXPECT_LE(frames, 4) << "phase " << phase;
        EXPECT_EQ(frames, (4 - phase) % 4 + 1) << "phase " << phase;
        EXPECT_EQ(h.engine().render.activeVoiceCount, 1);
        EXPECT_EQ(h.engine().render.activeUniVoices[0], h.voice(0).uniVoices);
    }
}

TEST(RenderActiveList, SilentVoiceIsDroppedAtTheFirstFourFrameTickAfterSilence) {
    for (int phase = 0; phase < 4; ++phase) {
        PluginHarness h;
        h.p().setParameter(tag::AmpEnvRelease, 0.0f);
        h.send(EventBlock().noteOn(0, 60).noteOn(0, 62));
        h.render(256 + phase);
        h.send(EventBlock().noteOff(0, 60));
        int frames = 0;
        while (h.voice(0).sounds() && frames < 4410) {
            h.render(1);
            ++frames;
        }
        ASSERT_FALSE(h.voice(0).sounds());
        EXPECT_TRUE(h.listed(0) || h.counter() % 4 == 1) << "dropped only by a rebuild";
        int more = 0;
        while (h.listed(0) && more < 16) {
            h.render(1);
            ++more;
        }
        EXPECT_LE(more, 4) << "phase " << phase;
        EXPECT_EQ(h.counter() % 4, 1u)
            << "the rebuild runs on frames whose counter is a multiple of 4";
        EXPECT_EQ(h.engine().render.activeVoiceCount, 1) << "voice 1 still sounds";
        EXPECT_EQ(h.engine().render.activeVoices[0], 1);
    }
}

// ------------------------------------------------------------------ what the editor sees

// The editor reads only what the render loop publishes for it: after a
// block it finds the sounding voice, the voice's modulation sums and the
// newest output sample; after the release the voice is gone.
TEST(RenderDisplay, TheEditorSeesTheVoiceModulationAndOutputOfTheLastBlock) {
    PluginHarness h;
    APlugin& p = h.p();
    p.setParameter(tag::AmpEnvRelease, 0.0f);
    p.setParameter(tag::OscMorph, 0.2f);
    p.setModSlotVar(0, false, 0.75f, src::Offset, p.getTagDest(tag::OscMorph)); // +0.5
    h.send(EventBlock().noteOn(0, 60));
    h.render(512);
    const int v = h.gatedVoiceWithNote(60);
    ASSERT_GE(v, 0);
    EXPECT_TRUE(p.getIsVoicePlaying(v));
    EXPECT_TRUE(p.getIsAnyVoicePlaying());
    EXPECT_NEAR(p.getModValue(tag::OscMorph), 0.7f, 1e-5f);
    float newest[2] = {};
    p.setOscScreenValue(true, 2, newest);
    EXPECT_NE(h.left[511], 0.0f);
    EXPECT_FLOAT_EQ(newest[1], (h.left[511] + h.right[511]) * 0.5f);

    h.send(EventBlock().noteOff(0, 60));
    h.render(512);
    EXPECT_FALSE(p.getIsVoicePlaying(v));
    EXPECT_FALSE(p.getIsAnyVoicePlaying());
    EXPECT_FLOAT_EQ(p.getModValue(tag::OscMorph), 0.2f);
}

// ------------------------------------------------------------------ a voice's own clock

namespace {

// The amplitude of the note's voice over its first 256 frames, the note
// starting on a frame whose counter is a multiple of 16. With `reuse`, voice 0
// has played and finished a note before, listed for a number of frames that
// is not a multiple of 16.
std::vector<double> attackOnVoiceZero(bool reuse) {
    PluginHarness h;
    h.p().setParameter(tag::AmpEnvAttack, 0.3f);
    h.p().setParameter(tag::AmpEnvRelease, 0.0f);
    if (reuse) {
        h.send(EventBlock().noteOn(0, 50).noteOff(37, 50));
        h.render(1000);
        EXPECT_FALSE(h.voice(0).sounds());
        EXPECT_NE(h.voice(0).voiceTick % 16, 0) << "set-up: the voice's clock is off the tick";
    }
    h.alignTo(16);
    h.send(EventBlock().noteOn(0, 60));
    std::vector<double> levels;
    for (int i = 0; i < 256; ++i) {
        h.render(1);
        levels.push_back(h.voice(0).ampLevel());
    }
    EXPECT_EQ(h.gatedVoiceWithNote(60), 0);
    return levels;
}

} // namespace

TEST(RenderVoiceClock, ANoteStartsTheSameOnAFreshAndOnAReusedVoice) {
    const std::vector<double> fresh = attackOnVoiceZero(false);
    const std::vector<double> reused = attackOnVoiceZero(true);
    auto firstRise = [](const std::vector<double>& levels) {
        for (std::size_t i = 0; i < levels.size(); ++i)
            if (levels[i] > 0.0) return static_cast<int>(i);
        return -1;
    };
    EXPECT_EQ(firstRise(fresh), 0) << "the note starts on a list rebuild: its attack at once";
    EXPECT_EQ(firstRise(reused), firstRise(fresh))
        << "a reused voice must start its envelopes with its note";
    EXPECT_EQ(fresh, reused);
}
