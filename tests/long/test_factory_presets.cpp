// Every factory preset, chosen from the list as a user does, plays the
// phrase it was levelled with within the level window, stays finite, is
// not silent, keeps clear of the output limit on a four-note chord, sounds
// different from the preset before it, and plays the built-in phrase well
// clear of the limit; one with its Arp switch on says play mode Arp in its
// file, and the host reads the arpeggiator once it is chosen. Each is
// measured from a fresh instance: free-running state (LFOs, sample and
// hold, delay lines) makes a phrase played after another sound measure
// differently. The first entry, the initial patch, is every parameter at
// its default: its level is the parameter table's (a main volume of -10 dB,
// which full chords drive into the limit), so it is held only to sounding,
// finite and different.
//
// Some half an hour of audio in all: these tests are in the program built
// without the sanitizers (tests/long/), where it takes seconds; the levels
// they measure are the same with them. Under the sanitizers every factory
// preset plays a chord (tests/core/test_programs.cpp).

#include "core/modes.h"
#include "core/preset_store.h"
#include "support/plugin_harness.h"
#include "support/property_seeds.h"
#include "tools/host/midi_phrase.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <vector>

namespace {

constexpr double kRate = 44100.0;
constexpr int kBlock = 512;
constexpr double kTailSeconds = 2.0;
// A gate's silent steps leave its level 2 dB below a held sound's of the
// same peak: the window's floor leaves room for it.
constexpr double kMinRmsDb = -21.0;
constexpr double kMaxRmsDb = -8.0;
constexpr double kSilentDb = -60.0;
constexpr float kOutputLimit = 0.999f;
constexpr int kFeatureFrame = 4410; // 100 ms
constexpr double kMinDistanceDb = 1.0;

struct Rendering {
    std::vector<float> mono;
    float peak = 0.0f;
    bool finite = true;
};

// The notes through processEvents at their frames, block by block, as the
// offline host plays them.
Rendering play(PluginHarness& h, const std::vector<ondix::host::PhraseNote>& notes) {
    const auto schedule = ondix::host::scheduleNotes(notes, kRate);
    const auto total = static_cast<int64_t>((ondix::host::phraseEnd(notes) + kTailSeconds) * kRate);
    Rendering out;
    std::size_t next = 0;
    for (int64_t start = 0; start < total; start += kBlock) {
        EventBlock events;
        for (; next < schedule.size() && schedule[next].frame < start + kBlock; ++next) {
            const auto& m = schedule[next];
            events.midi(static_cast<int>(m.frame - start), m.status, m.data1, m.data2);
        }
        if (events.size() > 0) h.send(events);
        h.render(kBlock);
        for (int i = 0; i < kBlock; ++i) out.mono.push_back(0.5f * (h.left[i] + h.right[i]));
    }
    out.peak = h.maxAbs;
    out.finite = h.allFinite;
    return out;
}

double rmsDb(const float* x, std::size_t n) {
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) sum += static_cast<double>(x[i]) * x[i];
    return 10.0 * std::log10(sum / static_cast<double>(n) + 1e-20);
}

// Per 100 ms: the level and the level of the first difference (brightness).
std::vector<double> features(const std::vector<float>& x) {
    std::vector<double> f;
    std::vector<float> diff(x.size());
    for (std::size_t i = 1; i < x.size(); ++i) diff[i] = x[i] - x[i - 1];
    for (std::size_t at = 0; at + kFeatureFrame <= x.size(); at += kFeatureFrame) {
        f.push_back(rmsDb(x.data() + at, kFeatureFrame));
        f.push_back(rmsDb(diff.data() + at, kFeatureFrame));
    }
    return f;
}

double distanceDb(const std::vector<double>& a, const std::vector<double>& b) {
    double sum = 0.0;
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i)
        sum += std::fabs(std::max(a[i], -90.0) - std::max(b[i], -90.0));
    return n ? sum / static_cast<double>(n) : 0.0;
}

// The phrase the factory presets were levelled with (tools/presets/
// audition.py plays the same notes): the offline host's built-in phrase, a
// bass line and a melody, with two inner voices held under each bass note,
// four voices at a time.
std::vector<ondix::host::PhraseNote> levellingPhrase() {
    struct Inner {
        double start, length;
        int notes[2];
    };
    static constexpr Inner kInner[] = {{0.0, 1.75, {60, 64}},
                                       {2.0, 1.75, {57, 60}},
                                       {4.0, 1.75, {60, 64}},
                                       {6.0, 0.875, {59, 62}},
                                       {7.0, 0.75, {60, 64}}};
    std::vector<ondix::host::PhraseNote> notes = ondix::host::builtInPhrase();
    for (const Inner& chord : kInner)
        for (int note : chord.notes) notes.push_back({note, 60, chord.start, chord.length});
    return notes;
}

// A fresh instance with factory preset index chosen and applied.
void choose(PluginHarness& h, int index) {
    ASSERT_TRUE(h.p().choosePreset(index));
    for (int guard = 0; guard < 64 && h.p().getIsSettingPreset(); ++guard) h.render(256);
    ASSERT_FALSE(h.p().getIsSettingPreset());
    h.maxAbs = 0.0f;
}

// A value as the preset file writes it ("Name = 0.75"), or -1.
float fileValue(const std::string& text, const std::string& name) {
    const std::string key = "\n" + name + " = ";
    const std::size_t at = text.find(key);
    float v = -1.0f;
    if (at != std::string::npos)
        std::from_chars(text.data() + at + key.size(), text.data() + text.size(), v);
    return v;
}

// The presets are checked a few neighbours at a time, each group a test of
// its own (a group also plays the levelling phrase of the preset before its
// first, for the distance).
constexpr int kGroupSize = 8;

int groupCount() {
    const auto presets = static_cast<int>(listFactoryPresets().size());
    return (presets + kGroupSize - 1) / kGroupSize;
}

class FactoryPresetGroup : public ::testing::TestWithParam<int> {};

// The levelling phrase, as played from a fresh instance: its level and
// features (what a neighbour is compared by).
struct Levelled {
    double level = 0.0;
    bool finite = true;
    std::vector<double> features;
};

Levelled levelled(int index) {
    PluginHarness h;
    choose(h, index);
    const Rendering phrase = play(h, levellingPhrase());
    return {rmsDb(phrase.mono.data(), phrase.mono.size()), phrase.finite, features(phrase.mono)};
}

} // namespace

// The levelling phrase and the chord play with the voices' default seed,
// alike from run to run. The built-in phrase (the offline host's first
// render, as a newcomer makes it) plays with a fresh seed each run, another
// for each preset: levelled to peak about 2 dB below full scale, none may
// pass -1.4 dBFS.
TEST_P(FactoryPresetGroup,
       EachSoundsWithinTheLevelWindowClearOfTheLimitAndDiffersFromItsNeighbour) {
    constexpr float kMargin = 0.85f;
    const auto factory = listFactoryPresets();
    ASSERT_FALSE(factory.empty());
    const std::vector<ondix::host::PhraseNote> chord = {
        {57, 127, 0.0, 2.0}, {60, 127, 0.0, 2.0}, {64, 127, 0.0, 2.0}, {69, 127, 0.0, 2.0}};
    const std::uint32_t seed = propertySeeds({}).front();
    SCOPED_TRACE(seedTrace(seed));
    const std::size_t first = static_cast<std::size_t>(GetParam()) * kGroupSize;
    const std::size_t end = std::min(factory.size(), first + kGroupSize);
    ASSERT_LT(first, end);
    std::vector<double> previous;
    if (first > 0) previous = levelled(static_cast<int>(first - 1)).features;
    for (std::size_t i = first; i < end; ++i) {
        const std::string name = factory[i].folder + "/" + factory[i].name;
        SCOPED_TRACE(name);
        const Levelled now = levelled(static_cast<int>(i));
        EXPECT_TRUE(now.finite);
        EXPECT_GT(now.level, kSilentDb);
        if (i > 0) {
            EXPECT_GE(now.level, kMinRmsDb);
            EXPECT_LE(now.level, kMaxRmsDb);
        }
        if (!previous.empty()) {
            EXPECT_GT(distanceDb(now.features, previous), kMinDistanceDb);
        }
        previous = now.features;
        {
            PluginHarness h;
            // With its Arp switch on, a preset says play mode Arp in its own
            // file, and chosen, the host reads the play mode that plays.
            std::string text, error;
            ASSERT_TRUE(readPresetText(factory[i], text, error)) << error;
            if (fileValue(text, "Arp On / Off") >= 0.5f) {
                EXPECT_EQ(h.p().getSteppedValue(tag::PlayMode, fileValue(text, "Play Mode")),
                          playmode::Arp)
                    << "in the file";
            }
            choose(h, static_cast<int>(i));
            if (h.p().getOnOff(tag::ArpOn)) {
                EXPECT_EQ(h.p().getParameterDisplayStr(tag::PlayMode), "Arp") << "the host reads";
                EXPECT_EQ(h.p().getPlayMode(), playmode::Arp);
            }
            const Rendering loud = play(h, chord);
            EXPECT_TRUE(loud.finite);
            if (i > 0) {
                EXPECT_LT(loud.peak, kOutputLimit) << "the chord";
            }
        }
        if (i == 0) continue;
        PluginHarness h(seed + static_cast<std::uint32_t>(i));
        choose(h, static_cast<int>(i));
        const Rendering phrase = play(h, ondix::host::builtInPhrase());
        EXPECT_TRUE(phrase.finite);
        EXPECT_LT(phrase.peak, kMargin) << "the built-in phrase";
    }
}

INSTANTIATE_TEST_SUITE_P(FactoryPresets, FactoryPresetGroup, ::testing::Range(0, groupCount()),
                         [](const ::testing::TestParamInfo<int>& info) {
                             const int first = info.param * kGroupSize + 1;
                             const int count = static_cast<int>(listFactoryPresets().size());
                             return "Presets" + std::to_string(first) + "To" +
                                    std::to_string(std::min(first + kGroupSize - 1, count));
                         });

// Some factory preset has its Arp switch on (the groups above check what
// each such preset says and plays).
TEST(FactoryPresets, SomeSwitchTheArpeggiatorOn) {
    int switchedOn = 0;
    for (const PresetEntry& entry : listFactoryPresets()) {
        std::string text, error;
        ASSERT_TRUE(readPresetText(entry, text, error)) << error;
        if (fileValue(text, "Arp On / Off") >= 0.5f) ++switchedOn;
    }
    EXPECT_GT(switchedOn, 0);
}

// The initial patch plays the built-in phrase (what a first render with the
// offline host plays) clear of the output limit, with the voices' random
// start phases of several seeds: no sample within a tenth of it.
TEST(FactoryPresets, TheInitialPatchPlaysThePhraseClearOfTheLimit) {
    const auto factory = listFactoryPresets();
    ASSERT_FALSE(factory.empty());
    ASSERT_EQ(factory[0].name, "Init");
    for (std::uint32_t seed : {0x5EEDu, 0x1234u, 0xBEEFu}) {
        PluginHarness h(seed);
        choose(h, 0);
        const Rendering phrase = play(h, ondix::host::builtInPhrase());
        EXPECT_TRUE(phrase.finite);
        EXPECT_LT(phrase.peak, 0.9f * kOutputLimit) << seed;
    }
}

// A player's pitch wheel bends every factory preset by at least a semitone
// each way (the initial patch keeps its range of none): the wheel as a host
// sends it, in octaves as the voices take it.
TEST(FactoryPresets, EachBendsAtLeastASemitoneBothWays) {
    const auto factory = listFactoryPresets();
    ASSERT_FALSE(factory.empty());
    for (std::size_t i = 0; i < factory.size(); ++i) {
        SCOPED_TRACE(factory[i].folder + "/" + factory[i].name);
        PluginHarness h;
        choose(h, static_cast<int>(i));
        for (const int wheel : {16383, 0}) {
            h.send(EventBlock().bend(0, wheel));
            h.render(64);
            const float octaves = h.p().bendOctaves(h.engine().global.src[src::PitchBend]);
            if (i == 0)
                EXPECT_EQ(octaves, 0.0f) << wheel;
            else
                EXPECT_GE(std::fabs(octaves), 1.0f / 12.0f - 1e-6f) << wheel;
        }
    }
}
