// A saved state comes back exactly: through the state chunk, and through a
// host that saves the values one by one and writes tag 997 when it restores
// them. Exact also after the audio thread has applied what was restored, and
// for values far outside 0..1, played in every mode with the editor open.

#include "core/modes.h"
#include "editor/ueditor.h"
#include "support/manual_clock.h"
#include "support/plugin_harness.h"
#include "support/property_seeds.h"
#include "support/temp_prefs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

// A state a session may hold, made from the start-up record.
struct SavedState {
    const char* name;
    std::function<void(const APlugin&, ProgramRecord&)> make;
};

float stepValue(const APlugin& p, int t, int step) {
    return ParamTable::stepToValue(step, p.getSteppedRange(t));
}

// Every value at random, each as the plug-in could store it.
void randomValues(const APlugin& p, ProgramRecord& r) {
    std::mt19937 rng(1013);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (int t = 0; t < tag::Count; ++t) {
        const int steps = p.getSteppedNum(t);
        if (p.meta().isSwitch[t])
            r.values[t] = (rng() & 1) != 0 ? 1.0f : 0.0f;
        else if (steps > 0)
            r.values[t] = std::min(stepValue(p, t, static_cast<int>(rng() % steps)), 1.0f);
        else
            r.values[t] = unit(rng);
    }
    std::strcpy(r.name, "Random");
}

const SavedState kStates[] = {
    {"start-up values (Arp Number of Steps stored as 1.00667)",
     [](const APlugin&, ProgramRecord&) {}},
    {"latch, key entry, XY recording and the pad's MIDI position",
     [](const APlugin& p, ProgramRecord& r) {
         r.values[tag::ArpLatchOn] = 1.0f;
         r.values[tag::ArpKeyEntryOn] = 1.0f;
         r.values[tag::XYRecordMode] = stepValue(p, tag::XYRecordMode, 1);
         r.values[tag::XYMidiX] = 0.8f;
         r.values[tag::XYMidiY] = 0.15f;
     }},
    {"arpeggiator play mode with the arp switch off",
     [](const APlugin& p, ProgramRecord& r) {
         r.values[tag::PlayMode] = stepValue(p, tag::PlayMode, 8);
         r.values[tag::ArpOn] = 0.0f;
     }},
    {"every value at random", randomValues},
};

// The audio thread applies what was restored; then a few slow ticks more.
void renderPastTheApplication(PluginHarness& h) {
    h.p().core.worker.waitUntilIdle(); // the tuning file a restored switch asks for
    for (int guard = 0; guard < 64 && h.p().core.presetPending; ++guard) h.render(512);
    ASSERT_FALSE(h.p().core.presetPending);
    h.renderIn(3 * 4096, 512);
}

// Where the bank chunk the plug-in hands out differs from the saved record:
// the first tag whose bits differ, tag::Count for the name, -1 for nowhere,
// -2 when there is no chunk of the right size.
int firstDifference(APlugin& p, const ProgramRecord& saved) {
    void* data = nullptr;
    if (p.getChunk(&data, false) != static_cast<VstInt32>(sizeof saved) || !data) return -2;
    const auto* chunk = static_cast<const ProgramRecord*>(data);
    for (int t = 0; t < tag::Count; ++t)
        if (std::memcmp(&chunk->values[t], &saved.values[t], sizeof(float)) != 0) return t;
    return std::memcmp(chunk->name, saved.name, sizeof saved.name) == 0 ? -1 : tag::Count;
}

// Values a chunk may hold that setParameter never stores. They are kept as
// they are, and every reader that makes a step, an index, a count or an
// offset of one holds it in range first: the sanitizer build stops at any
// float-to-int conversion out of range.
const float kFarValues[] = {1e10f, -1e10f, 1e30f, 1.00667f};

// Every value of the chunk far out but these, which choose what runs.
struct FarCase {
    const char* name;
    int playMode;
    float setArpRandom; // arpeggiator: 1 plays the stored magic pattern, 0 draws one
};
const FarCase kFarCases[] = {
    {"poly", playmode::Poly, 0.0f},
    {"MPE", playmode::PolyMpe, 0.0f},
    {"mono", playmode::Mono, 0.0f},
    {"mono, highest note", playmode::MonoHigh, 0.0f},
    {"mono, lowest note", playmode::MonoLow, 0.0f},
    {"legato", playmode::Legato, 0.0f},
    {"legato, highest note", playmode::LegatoHigh, 0.0f},
    {"legato, lowest note", playmode::LegatoLow, 0.0f},
    {"arpeggiator with its stored magic pattern", playmode::Arp, 1.0f},
    {"arpeggiator drawing a magic pattern", playmode::Arp, 0.0f},
};

ProgramRecord farRecord(const APlugin& p, float far, const FarCase& c) {
    ProgramRecord r{};
    std::fill(std::begin(r.values), std::end(r.values), far);
    std::strcpy(r.name, "Far");
    r.values[tag::PlayMode] = stepValue(p, tag::PlayMode, c.playMode);
    r.values[tag::ArpKeyEntryOn] = 0.0f; // notes would edit the arpeggiator's grid
    r.values[tag::MainVolume] = 0.8f;    // audible within the test: a gain, a quick attack
    r.values[tag::AmpEnvAttack] = 0.0f;
    if (c.playMode == playmode::Arp) {
        r.values[tag::ArpOn] = 1.0f;
        // A selection whose pattern is stored, and which moves steps.
        r.values[tag::ArpMagicSteps] = stepValue(p, tag::ArpMagicSteps, 7);
        r.values[tag::SetArpRandom] = c.setArpRandom;
    }
    return r;
}

// The magic pattern a drawing arpeggiator stores into the record.
bool magicPatternTag(int t) {
    return t == tag::SetArpRandom || t == tag::ArpRandomOn ||
           (t > tag::arpRandomTune(0) && t < tag::arpRandomTune(tag::ArpStepCount));
}

} // namespace

TEST(ExactRestore, ChunkComesBackBitForBitAlsoAfterTheApplication) {
    for (const SavedState& state : kStates) {
        SCOPED_TRACE(state.name);
        PluginHarness h;
        h.p().core.host.hostIsOwn = true; // a host that saves chunks
        ProgramRecord saved = h.p().core.programStore[0];
        state.make(h.p(), saved);

        ASSERT_EQ(h.p().setChunk(&saved, sizeof saved, false), 1);
        EXPECT_EQ(firstDifference(h.p(), saved), -1) << "before the audio thread ran";
        renderPastTheApplication(h);
        EXPECT_EQ(firstDifference(h.p(), saved), -1) << "after the application";
        for (int t = 0; t < tag::Count; ++t)
            ASSERT_EQ(h.p().getCurrentValue(t), clamp01(saved.values[t]))
                << "what the engine reads: the value within 0..1, " << t;
        EXPECT_FALSE(h.p().getEditChanged());
        std::unique_lock build(h.p().waves.tableBuildMutex); // where the restore below waits
        const std::uint32_t changes = h.p().core.valueChanges.load();
        std::thread host([&] { h.p().setChunk(&saved, sizeof saved, false); });      // main thread
        while (h.p().core.valueChanges.load() == changes) std::this_thread::yield(); // written
        std::thread([&] { h.send(EventBlock().noteOn(0, 60)); h.render(64); }).join(); // audio
        build.unlock();
        host.join();
        EXPECT_EQ(firstDifference(h.p(), saved), -1) << "a note played during the restore";
    }
}

TEST(ExactRestore, ValueByValueRestoreWithTag997KeepsEveryValue) {
    for (const SavedState& state : kStates) {
        SCOPED_TRACE(state.name);
        // What a host without chunks saved: every value as getParameter gives it.
        std::vector<float> saved(tag::Count);
        {
            PluginHarness source;
            ProgramRecord& r = source.p().core.programStore[0];
            state.make(source.p(), r);
            AEffect* e = source.effect();
            for (int t = 0; t < tag::Count; ++t) saved[t] = e->getParameter(e, t);
        }

        // The host restores them in tag order, tag 997 among them.
        PluginHarness h;
        AEffect* e = h.effect();
        for (int t = 0; t < tag::Count; ++t) e->setParameter(e, t, saved[t]);
        ASSERT_TRUE(h.p().core.presetPending);
        renderPastTheApplication(h);
        for (int t = 0; t < tag::Count; ++t) EXPECT_EQ(e->getParameter(e, t), saved[t]) << t;
    }
}

// The host restores states on its main thread while the audio thread plays:
// the program name, the pick-up state and the value copies are shared, and
// the last state restored is the one that stays, exactly.
TEST(ExactRestore, RestoresWhileTheAudioThreadPlaysEndWithTheLastState) {
    PluginHarness h;
    h.p().core.host.hostIsOwn = true;
    std::strcpy(h.p().presetNames[h.p().presetCount++].data(), "Other");
    ProgramRecord first = h.p().core.programStore[0];
    ProgramRecord second = first;
    kStates[1].make(h.p(), second);
    second.values[tag::ArpKeyEntryOn] = 0.0f; // notes would edit the arpeggiator's grid
    second.values[tag::PlayMode] = stepValue(h.p(), tag::PlayMode, 2);
    h.p().setStringFromParam("Other", tag::PresetNameFirst, tag::PresetNameLength);
    for (int t = tag::PresetNameFirst; t < tag::PresetNameFirst + tag::PresetNameLength; ++t)
        second.values[t] = h.p().core.programStore[0].values[t];

    std::atomic<bool> finished{false};
    std::thread audio([&] {
        for (int block = 0; block < 600; ++block) {
            if (block % 8 == 0) h.send(EventBlock().noteOn(3, 60 + block % 24));
            if (block % 8 == 5) h.send(EventBlock().noteOff(0, 60 + (block - 5) % 24));
            h.render(64);
        }
        finished.store(true);
    });
    char name[64] = {};
    for (int i = 0; !finished.load(); ++i) {
        ProgramRecord& r = i % 2 == 0 ? first : second;
        EXPECT_EQ(h.p().setChunk(&r, sizeof r, false), 1);
        h.p().getProgramName(name);
    }
    audio.join();
    ASSERT_EQ(h.p().setChunk(&second, sizeof second, false), 1);

    renderPastTheApplication(h);
    EXPECT_EQ(firstDifference(h.p(), second), -1);
    h.p().getProgramName(name);
    EXPECT_STREQ(name, "Other");
}

TEST(ExactRestore, ValuesFarOutsideTheRangePlayInEveryModeAndComeBackBitForBit) {
    TempPrefs prefs;
    ManualClock clock;
    for (const float far : kFarValues) {
        SCOPED_TRACE(far);
        PluginHarness h;
        h.p().core.host.hostIsReaper = true;
        AEffect* e = h.effect();
        ASSERT_EQ(e->dispatcher(e, effEditOpen, 0, 0, nullptr, 0.0f), 1);
        uEditor& ui = *h.p().getUEditor();
        ui.showMainScreen(); // the arpeggiator's page: its grid texts
        auto idle = [&] {
            clock.advance(40);
            e->dispatcher(e, effEditIdle, 0, 0, nullptr, 0.0f);
        };

        for (const FarCase& c : kFarCases) {
            SCOPED_TRACE(c.name);
            ProgramRecord saved = farRecord(h.p(), far, c);
            ASSERT_EQ(e->dispatcher(e, effSetChunk, 0, sizeof saved, &saved, 0.0f), 1);
            EXPECT_EQ(firstDifference(h.p(), saved), -1) << "as restored";
            renderPastTheApplication(h);
            EXPECT_EQ(firstDifference(h.p(), saved), -1) << "after the application";
            idle();

            // A chord (one channel a note under MPE), then single notes.
            const bool mpe = c.playMode == playmode::PolyMpe;
            h.maxAbs = 0.0f;
            h.allFinite = true;
            const int chord[] = {60, 64, 67};
            EventBlock down, up;
            for (int i = 0; i < 3; ++i) {
                down.noteOn(i, chord[i], 100, mpe ? i + 1 : 0);
                up.noteOff(i, chord[i], mpe ? i + 1 : 0);
            }
            h.send(down);
            h.renderIn(2048, 256);
            idle();
            h.send(up);
            for (const int note : {48, 72, 55, 84}) {
                h.send(EventBlock().noteOn(0, note, 90, mpe ? 4 : 0));
                h.renderIn(384, 128);
                h.send(EventBlock().noteOff(0, note, mpe ? 4 : 0));
                h.render(128);
            }
            idle();
            EXPECT_TRUE(h.allFinite);
            EXPECT_LE(h.maxAbs, 0.999f);
            if (far > 0.0f) {
                EXPECT_GT(h.maxAbs, 0.05f) << "the state sounds";
            }

            if (c.setArpRandom == 0.0f && c.playMode == playmode::Arp) {
                for (int t = 0; t < tag::Count; ++t)
                    if (magicPatternTag(t)) saved.values[t] = h.p().core.programStore[0].values[t];
            }
            EXPECT_EQ(firstDifference(h.p(), saved), -1) << "after playing";
        }

        // The texts of every value, as a host asks for them, and the editor's
        // other screens.
        char text[256];
        for (int t = 0; t < tag::Count; ++t) {
            std::memset(text, 0, sizeof text);
            e->dispatcher(e, effGetParamDisplay, t, 0, text, 0.0f);
            EXPECT_NE(text[0], '\0') << t;
        }
        for (void (uEditor::*show)() : {&uEditor::showEnvScreens, &uEditor::showFreeLFOScreen,
                                        &uEditor::showFreeEnvScreen, &uEditor::showFXScreen}) {
            (ui.*show)();
            idle();
        }
        ui.showMainScreen();
        ui.changeRadioDelta(0, -1); // the user-wave page
        idle();
        e->dispatcher(e, effEditClose, 0, 0, nullptr, 0.0f);
    }
}

// Slot amounts restored far out make destination sums of that size: every
// destination in turn, twelve at a time, from the constant source, while the
// arpeggiator plays a chord through the voices and the effects.
TEST(ExactRestore, FarSlotAmountsDriveEveryDestinationWithinRange) {
    for (const float far : {1e30f, -1e10f}) {
        SCOPED_TRACE(far);
        PluginHarness h;
        h.p().core.host.hostIsReaper = true;
        AEffect* e = h.effect();
        for (int first = dst::None + 1; first < dst::Count; first += tag::ModSlotCount) {
            SCOPED_TRACE(first);
            ProgramRecord saved = farRecord(h.p(), far, {"arpeggiator", playmode::Arp, 1.0f});
            for (int k = 0; k < tag::ModSlotCount; ++k) {
                saved.values[tag::slotBypass(k)] = 0.0f;
                saved.values[tag::slotSource(k)] =
                    stepValue(h.p(), tag::slotSource(k), src::Offset);
                saved.values[tag::slotDest(k)] =
                    stepValue(h.p(), tag::slotDest(k), std::min(first + k, dst::Count - 1));
            }
            for (int s = 0; s < tag::ArpStepCount; ++s)
                saved.values[tag::arpStep(tag::RowOn, s)] = 1.0f;
            ASSERT_EQ(e->dispatcher(e, effSetChunk, 0, sizeof saved, &saved, 0.0f), 1);
            for (int guard = 0; guard < 64 && h.p().core.presetPending; ++guard) h.render(512);

            h.maxAbs = 0.0f;
            h.allFinite = true;
            h.send(EventBlock().noteOn(0, 60).noteOn(1, 64).noteOn(2, 67));
            h.renderIn(1024, 256);
            h.send(EventBlock().noteOff(0, 60).noteOff(0, 64).noteOff(0, 67));
            h.renderIn(256, 256);
            EXPECT_TRUE(h.allFinite);
            EXPECT_LE(h.maxAbs, 0.999f);
        }
    }
}

// The host's main thread chooses presets and restores states while the
// audio thread plays. A state restored before the chosen preset's application
// supersedes it and comes back bit for bit; a preset that stands is what it is
// in an instance of its own, also when the pad's MIDI position moved before.
TEST(ExactRestore, ARestoreSupersedesAChosenPresetWhateverTheAudioThreadDoes) {
    constexpr int kPresets = 6, kRounds = 32;
    std::vector<ProgramRecord> chosen;
    {
        PluginHarness h;
        for (int i = 0; i < kPresets; ++i) {
            EXPECT_TRUE(h.p().choosePreset(i)) << i;
            renderPastTheApplication(h);
            chosen.push_back(h.p().core.programStore[0]);
        }
    }
    for (const std::uint32_t seed : propertySeeds({1, 2})) {
        SCOPED_TRACE(seedTrace(seed));
        std::mt19937 rng(seed);
        std::uniform_real_distribution<float> unit(0.0f, 1.0f);
        PluginHarness h;
        h.p().core.host.hostIsReaper = true;
        AEffect* e = h.effect();
        // The start-up state, and every value at random in the poly play mode.
        ProgramRecord states[2] = {h.p().core.programStore[0], {}};
        for (float& v : states[1].values) v = unit(rng);
        states[1].values[tag::PlayMode] = stepValue(h.p(), tag::PlayMode, playmode::Poly);
        for (int t : {tag::ArpOn, tag::ArpKeyEntryOn, tag::HasTuning, tag::XYRecordMode})
            states[1].values[t] = 0.0f;
        std::strcpy(states[1].name, "Random");

        // The host's main thread, which has never rendered, makes a round's
        // calls; the audio thread (this one) compares the record once applied.
        std::atomic<int> posted{-1}, checked{-1};
        const ProgramRecord* wanted = nullptr;
        bool restored = false;
        std::thread host([&] {
            for (int round = 0; round < kRounds; ++round) {
                e->setParameter(e, tag::XYMidiX, unit(rng));
                e->setParameter(e, tag::XYMidiY, unit(rng));
                const int preset = static_cast<int>(rng() % kPresets);
                EXPECT_TRUE(h.p().choosePreset(preset));
                restored = rng() % 3 != 0;
                ProgramRecord& state = states[rng() % 2];
                if (restored) e->dispatcher(e, effSetChunk, 0, sizeof state, &state, 0.0f);
                wanted = restored ? &state : &chosen[preset];
                posted = round;
                while (checked.load() < round) std::this_thread::yield();
            }
        });
        // An application waits at most for a slow tick and a table build.
        constexpr int kBlockLimit = 4096;
        int mismatches = 0, waited = 0;
        for (int block = 0; checked.load() < kRounds - 1 && waited < kBlockLimit; ++block) {
            const int note = 60 + block / 32 % 12;
            if (block % 32 == 0) h.send(EventBlock().noteOn(5, note));
            if (block % 32 == 16) h.send(EventBlock().noteOff(0, note));
            h.render(64);
            const int round = posted.load();
            if (round == checked.load()) continue;
            waited = h.p().core.presetPending ? waited + 1 : 0;
            if (waited > 0) continue;
            const float* held = h.p().core.programStore[0].values;
            int t = 0; // the first that differs, but the pattern a playing arpeggiator draws
            while (t < tag::Count &&
                   ((wanted != &states[0] && magicPatternTag(t)) ||
                    std::memcmp(&held[t], &wanted->values[t], sizeof(float)) == 0))
                ++t;
            if (t < tag::Count && ++mismatches <= 3)
                ADD_FAILURE() << "round " << round << ", " << (restored ? "restored" : "chosen")
                              << ": tag " << t << " holds " << std::hexfloat << held[t] << ", not "
                              << wanted->values[t];
            checked = round;
        }
        EXPECT_LT(waited, kBlockLimit) << "the state was not applied";
        checked = kRounds;
        host.join();
    }
}

// ------------------------------------------------------------------ values out of range

namespace {

// Two instances that live the same life through the plug-in's entry, one
// restored with values out of range, the other with the bounds they are to
// play as: a value a reader takes beyond its bound shows in the sound.
struct RestoredPair {
    static constexpr int kBlock = 256;
    FakeHost host; // first: both instances talk to it while they are built
    std::unique_ptr<APlugin> plugins[2];
    float out[2][2][kBlock] = {};

    RestoredPair() {
        // Restores and renders on one thread, as fast as they go.
        host.processLevel = kVstProcessLevelOffline;
        for (std::unique_ptr<APlugin>& p : plugins) {
            p = std::make_unique<APlugin>(FakeHost::callback);
            p->engine.random.setSeed(0x5EED);
            p->core.host.hostIsReaper = true;
        }
    }
    // Each restores its record and plays two notes with the wheel, pressure
    // and bend moving, then their release: whether both played alike.
    bool playAlike(ProgramRecord (&records)[2], float& peak) {
        AEffect* e[2] = {plugins[0]->getAeffect(), plugins[1]->getAeffect()};
        bool alike = true;
        auto play = [&](EventBlock& events, int blocks) {
            for (AEffect* fx : e) fx->dispatcher(fx, effProcessEvents, 0, 0, events.get(), 0.0f);
            for (int b = 0; b < blocks; ++b) {
                for (int i = 0; i < 2; ++i) {
                    float* channels[2] = {out[i][0], out[i][1]};
                    e[i]->processReplacing(e[i], channels, channels, kBlock);
                }
                alike &= std::memcmp(out[0], out[1], sizeof out[0]) == 0;
                for (const float* channel : out[1])
                    for (int k = 0; k < kBlock; ++k) peak = std::max(peak, std::fabs(channel[k]));
            }
        };
        for (int i = 0; i < 2; ++i)
            e[i]->dispatcher(e[i], effSetChunk, 0, sizeof records[i], &records[i], 0.0f);
        EventBlock notes, release;
        notes.noteOn(0, 60, 110).noteOn(3, 67, 45).cc(5, 1, 90).midi(7, 0xD0, 70);
        notes.midi(9, 0xA0, 60, 50).bend(11, 0x2C00);
        release.cc(0, 1, 20).bend(1, 0x1000).noteOff(2, 60).noteOff(2, 67);
        play(notes, 2);
        play(release, 1);
        return alike;
    }
};

} // namespace

// Every restored value below 0, above 1, infinite or not a number plays as
// its nearest bound (not a number as 0): every tag that makes sound, in
// random batches out of range on one side, against the same batch at that
// bound.
TEST(ExactRestore, ValuesOutOfRangePlayAsTheirNearestBound) {
    // Every tag but the commands, the texts (preset, wave and tuning names)
    // and the tuning's switch, which asks for a file by that name.
    std::vector<int> tags;
    for (int t = 0; t < tag::HasTuning; ++t)
        if ((t < tag::PresetNameFirst || t > tag::PresetNameLast) &&
            (t < tag::WaveNameFirst || t > tag::WaveNameLast) && t != tag::ApplyPreset &&
            t != tag::TakeOver)
            tags.push_back(t);
    // On the start-up state, values beyond each end a little and some way
    // (what the readers' sums and products see), then far (what overflows);
    // then random states with any of them.
    const struct {
        bool randomState;
        std::vector<float> values;
        float bound;
    } kPasses[] = {
        {false, {2.0f, 5.0f}, 1.0f},
        {false, {-0.5f, -3.0f}, 0.0f},
        {false, {1.00667f, 1e30f, INFINITY}, 1.0f},
        {false, {-1e30f, -INFINITY, NAN}, 0.0f},
        {true, {1.00667f, 2.0f, 5.0f, 1e30f, INFINITY}, 1.0f},
        {true, {-0.5f, -3.0f, -1e30f, -INFINITY, NAN}, 0.0f},
    };
    for (const std::uint32_t seed : propertySeeds({1})) {
        SCOPED_TRACE(seedTrace(seed));
        std::mt19937 rng(seed);
        std::uniform_real_distribution<float> unit(0.0f, 1.0f);
        std::optional<RestoredPair> pair(std::in_place);
        const ProgramRecord startUp = pair->plugins[0]->core.programStore[0];
        int heard = 0, played = 0, differences = 0;
        for (const auto& pass : kPasses) {
            std::shuffle(tags.begin(), tags.end(), rng);
            for (std::size_t first = 0; first < tags.size() && differences < 8; first += 16) {
                ProgramRecord r[2] = {startUp, startUp};
                // A random state keeps the waves, the oscillator's mode and
                // the partials (each change costs a table build; the batches
                // sweep them) and has a voice that sounds within the phrase.
                if (pass.randomState) {
                    for (int t : tags)
                        if (t != tag::OscWaveA && t != tag::OscWaveB && t != tag::OscMode &&
                            (t < tag::PartialFirst || t > tag::PartialLast))
                            r[0].values[t] = unit(rng);
                    r[0].values[tag::MainVolume] = 0.7f + 0.3f * unit(rng);
                    r[0].values[tag::AmpEnvAttack] = 0.1f * unit(rng);
                    r[0].values[tag::AmpEnvSustain] = 0.5f + 0.5f * unit(rng);
                    r[1] = r[0];
                }
                std::string batch;
                for (std::size_t i = first; i < std::min(first + 16, tags.size()); ++i) {
                    r[0].values[tags[i]] = pass.values[rng() % pass.values.size()];
                    r[1].values[tags[i]] = pass.bound;
                    batch += " " + std::to_string(tags[i]) + "=" +
                             ::testing::PrintToString(r[0].values[tags[i]]);
                }
                float peak = 0.0f;
                if (!pair->playAlike(r, peak)) {
                    ADD_FAILURE() << (pass.randomState ? "random" : "start-up")
                                  << " state, played apart with tags" << batch;
                    ++differences;
                    pair.emplace(); // the two lived different lives: a new pair goes on
                }
                heard += peak > 0.01f ? 1 : 0;
                ++played;
            }
        }
        // A batch may hold a bound that silences the voice (no volume, the
        // filter closed), not many.
        EXPECT_GT(heard, played * 3 / 4);
    }
}
