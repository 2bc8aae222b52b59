// Random patches played hard: every parameter at a random value, random
// chords in blocks of random sizes, parameters changed between blocks, and
// modulation sums far outside their usual range. The output must stay
// finite and inside the limit, every table index inside its table, and the
// audio thread must not allocate (counted by the test program's own operator
// new, and under the sanitizers by the allocator's malloc hook).

#include "support/allocation_watch.h"
#include "support/plugin_harness.h"
#include "support/property_seeds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <new>
#include <random>
#include <string>
#include <vector>

namespace {

void* volatile gSink;

// ------------------------------------------------------------------ a random performance

struct Block {
    int frames = 0;
    EventBlock events;
    VstEvents* prepared = nullptr;              // built before the block is played
    std::vector<std::pair<int, float>> changes; // parameters set before the block
};

std::vector<Block> randomPerformance(std::mt19937& rng, int blocks, int maxFrames) {
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto unit = [&] { return std::uniform_real_distribution<float>(0.0f, 1.0f)(rng); };
    std::vector<Block> out(blocks);
    std::vector<int> held;
    for (Block& b : out) {
        b.frames = pick(1, maxFrames);
        if (pick(0, 2) == 0) {
            // A new chord: the old one released, up to six notes struck.
            for (int n : held) b.events.noteOff(pick(0, b.frames - 1), n);
            held.clear();
            for (int n = pick(1, 6); n > 0; --n) {
                held.push_back(pick(12, 120));
                b.events.noteOn(pick(0, b.frames - 1), held.back(), pick(1, 127));
            }
        }
        if (pick(0, 4) == 0) b.events.bend(pick(0, b.frames - 1), pick(0, 0x3FFF));
        if (pick(0, 4) == 0) b.events.cc(pick(0, b.frames - 1), 1, pick(0, 127));
        for (int n = pick(0, 4); n > 0; --n) b.changes.push_back({pick(0, tag::Count - 1), unit()});
    }
    for (Block& b : out) b.prepared = b.events.get();
    return out;
}

// Every index the oscillator derives from modulation, inside its table.
void expectIndexesInside(const EngineState& e) {
    for (int v = 0; v < kNumVoices; ++v) {
        const VoiceDspState& d = e.voices[v].dsp;
        ASSERT_GE(d.warpRow, 0) << "voice " << v;
        ASSERT_LE(d.warpRow, 2047) << "voice " << v;
        ASSERT_GE(d.pitchTable, 0) << "voice " << v;
        ASSERT_LT(d.pitchTable, kNumPitchTables) << "voice " << v;
        ASSERT_GE(d.subSquare, -1) << "voice " << v;
        ASSERT_LE(d.subSquare, 13) << "voice " << v;
        ASSERT_GE(d.octaveNumber, -4) << "voice " << v;
        ASSERT_LE(d.octaveNumber, 4) << "voice " << v;
        for (const LaneState& lane : d.lanes) {
            ASSERT_GE(lane.morphLo, 0) << "voice " << v;
            ASSERT_LE(lane.morphHi, kNumMorphFrames - 1) << "voice " << v;
            ASSERT_LE(lane.morphLo, lane.morphHi) << "voice " << v;
            ASSERT_GE(lane.morphWeight, 0.0f) << "voice " << v;
            ASSERT_LE(lane.morphWeight, 1.0f) << "voice " << v;
        }
    }
}

// Plays the performance, counting into `audible` the output samples that
// were not silent. `poke` runs before each block (on the engine state).
template <typename Poke>
void play(PluginHarness& h, std::vector<Block>& blocks, long& audible, Poke&& poke) {
    const int most =
        std::max_element(blocks.begin(), blocks.end(), [](const Block& a, const Block& b) {
            return a.frames < b.frames;
        })->frames;
    std::vector<float> inL(most, 0.0f), inR(most, 0.0f), outL(most), outR(most);
    float* in[2] = {inL.data(), inR.data()};
    float* out[2] = {outL.data(), outR.data()};
    audible = 0;
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        Block& block = blocks[b];
        for (const auto& [t, value] : block.changes) h.p().setParameter(t, value);
        poke();
        h.p().core.worker.waitUntilIdle(); // the tuning file the values name: not this thread's
        long allocations;
        {
            AllocationWatch watch;
            h.p().processEvents(block.prepared);
            h.p().processReplacing(in, out, block.frames);
            allocations = watch.count();
        }
        EXPECT_EQ(allocations, 0) << "block " << b;
        for (int i = 0; i < block.frames; ++i)
            for (float x : {outL[i], outR[i]}) {
                ASSERT_TRUE(std::isfinite(x)) << "block " << b << " frame " << i;
                ASSERT_LE(std::fabs(x), 0.999f) << "block " << b << " frame " << i;
                audible += x != 0.0f;
            }
        expectIndexesInside(h.engine());
        if (::testing::Test::HasFatalFailure()) return;
    }
}

} // namespace

TEST(EngineFuzz, TheMallocWatchSeesAnAllocation) {
    // Every form of operator new counts once, in every build; malloc itself
    // where the allocator lets it be watched.
    struct alignas(64) Wide {
        char bytes[64];
    };
    const struct {
        const char* form;
        void* (*make)();
        void (*drop)(void*);
    } forms[] = {
        {"new", []() -> void* { return new int(5); }, [](void* p) { delete static_cast<int*>(p); }},
        {"new[]", []() -> void* { return new int[7]; },
         [](void* p) { delete[] static_cast<int*>(p); }},
        {"nothrow new", []() -> void* { return new (std::nothrow) int(5); },
         [](void* p) { delete static_cast<int*>(p); }},
        {"aligned new", []() -> void* { return new Wide; },
         [](void* p) { delete static_cast<Wide*>(p); }},
        {"std::string", []() -> void* { return new std::string(100, 'x'); },
         [](void* p) { delete static_cast<std::string*>(p); }},
    };
    for (const auto& f : forms) {
        long seen;
        {
            AllocationWatch watch;
            gSink = f.make();
            seen = watch.count();
        }
        f.drop(gSink);
        EXPECT_GE(seen, 1) << f.form;
    }

    long seen;
    {
        AllocationWatch watch;
        gSink = std::malloc(64);
        seen = watch.count();
    }
    std::free(gSink);
    EXPECT_EQ(seen >= 1, AllocationWatch::seesMalloc()) << "malloc";
}

TEST(EngineFuzz, RandomPatchesAndChordsStayFiniteBoundedAndAllocationFree) {
    for (const std::uint32_t seed : propertySeeds({11u, 2024u})) {
        SCOPED_TRACE(seedTrace(seed));
        PluginHarness h(seed);
        std::mt19937 rng(seed);
        std::uniform_real_distribution<float> unit(0.0f, 1.0f);
        for (int t = 0; t < tag::Count; ++t) h.p().setParameter(t, unit(rng));
        // Audible enough to mean something: no arpeggiator (its notes come
        // later), the volume up, a quick attack.
        h.p().setOff(tag::ArpOn);
        h.p().setParameter(tag::MainVolume, 1.0f);
        h.p().setParameter(tag::AmpEnvAttack, 0.1f);
        h.settle_(); // the preset tick, the mode changes and the table rebuild

        std::vector<Block> blocks = randomPerformance(rng, 48, 1024);
        long audible = 0;
        play(h, blocks, audible, [] {});
        if (HasFatalFailure()) return;
        EXPECT_GT(audible, 0) << "the fuzz played something";
        EXPECT_TRUE(h.allFinite);
    }
}

TEST(EngineFuzz, ModulationSumsFarOutOfRangeKeepEveryIndexInsideItsTable) {
    PluginHarness h(77);
    std::mt19937 rng(77);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    h.p().setOn(tag::MorphWrapOn);
    h.p().setParameter(tag::OscSubVolume, 0.9f);
    h.p().setSteppedValue(tag::UnisonMode, 3);
    h.settle_();

    // The oscillator's and the mix's destinations, set on every sounding
    // voice before each block to values no patch would reach but a sum of
    // slots can: far beyond 0..1, both signs.
    const int dests[] = {dst::GlobalSemi,
                         dst::GlobalFine,
                         dst::Drift,
                         dst::UnisonDetune,
                         dst::UnisonStereoSpread,
                         dst::UnisonSemiAll,
                         dst::UnisonSemi2,
                         dst::UnisonFineAll,
                         dst::UnisonFine2,
                         dst::UnisonVolumeAll,
                         dst::UnisonVolume2,
                         dst::UnisonPanAll,
                         dst::UnisonPan2,
                         dst::UnisonMorphAll,
                         dst::UnisonMorph2,
                         dst::UnisonPhaseAll,
                         dst::UnisonPhase2,
                         dst::UnisonFilterFreqAll,
                         dst::OscMorph,
                         dst::OscOctave,
                         dst::OscSemi,
                         dst::OscFine,
                         dst::OscSymmetry,
                         dst::OscSModAmount,
                         dst::OscSpread,
                         dst::OscUpSpreadSemi,
                         dst::OscUpSpreadFine,
                         dst::OscUpSpreadVolume,
                         dst::OscUpSpreadPhase,
                         dst::OscDownSpreadSemi,
                         dst::OscDownSpreadFine,
                         dst::OscDownSpreadVolume,
                         dst::OscDownSpreadPhase,
                         dst::OscFeed,
                         dst::OscPhase,
                         dst::OscWrap,
                         dst::OscBits,
                         dst::SubVolume,
                         dst::SubSemi,
                         dst::SubFine,
                         dst::SubSymmetry,
                         dst::SubPhase,
                         dst::MainVolume,
                         dst::MainPan,
                         dst::Distort};
    const float extremes[] = {-1e9f, -1e4f, -64.5f, -21.3f, -3.7f, -1.2f, -0.3f, 0.0f,
                              0.4f,  1.3f,  2.6f,   21.7f,  70.0f, 1e4f,  1e9f};
    std::vector<Block> blocks = randomPerformance(rng, 40, 512);
    long audible = 0;
    play(h, blocks, audible, [&] {
        for (VoiceState& voice : h.engine().voices) {
            if (!voice.sounds()) continue;
            for (int n = 0; n < 12; ++n)
                voice.mod.dst[dests[pick(0, std::size(dests) - 1)]] =
                    extremes[pick(0, std::size(extremes) - 1)];
        }
    });
    if (HasFatalFailure()) return;

    // Back to plain notes: the engine recovers and plays again.
    h.send(EventBlock().midi(0, 0xB0, 123, 0));
    h.renderIn(8192, 512);
    h.send(EventBlock().noteOn(0, 60, 100).noteOn(0, 64, 100));
    h.renderIn(4096, 512);
    double energy = 0.0;
    for (int i = 0; i < 512; ++i) energy += h.left[i] * h.left[i];
    EXPECT_GT(energy, 0.0) << "sound after the storm";
    for (const VoiceState& voice : h.engine().voices)
        for (const LaneState& lane : voice.dsp.lanes) {
            EXPECT_TRUE(std::isfinite(lane.dc.state()));
            for (float o : lane.osc) EXPECT_TRUE(std::isfinite(o));
        }
}
