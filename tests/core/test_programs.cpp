// The host's program calls, the preset list, the editor's program commands
// and the preset application on the audio thread's slow tick.

#include "core/aplugin.h"
#include "core/preset_store.h"
#include "editor/ueditor.h"
#include "support/allocation_watch.h"
#include "support/fake_host.h"
#include "support/plugin_harness.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

namespace {

class Programs : public ::testing::Test {
protected:
    FakeHost host;
    std::unique_ptr<APlugin> plugin = std::make_unique<APlugin>(FakeHost::callback);

    void setListNames(std::initializer_list<const char*> names) {
        int i = 0;
        for (const char* n : names) std::strcpy(plugin->presetNames[i++].data(), n);
        plugin->presetCount = i;
    }
    ProgramRecord& store() { return plugin->core.programStore[0]; }
};

// Preset application through the render loop.
class PresetApplication : public ::testing::Test {
protected:
    PluginHarness h;
    APlugin& p() { return h.p(); }

    void putInRecord(int t, float v) { p().core.programStore[0].values[t] = v; }
    float step(int t, int s) { return ParamTable::stepToValue(s, p().getSteppedRange(t)); }

    // Writes tag 997 as a host does (or asks for a preset the user chose)
    // and renders until the application has run; every frame rendered while
    // it is pending must be silent.
    void apply(PresetLoad load = kPresetRestore) {
        if (load == kPresetChosen)
            p().requestPresetApplication(kPresetChosen);
        else
            p().setParameter(tag::ApplyPreset, 1.0f);
        ASSERT_TRUE(p().core.presetPending);
        for (int guard = 0; guard < 64 && p().core.presetPending; ++guard) {
            h.render(256);
            if (p().core.presetPending || p().core.settingPreset) {
                for (int i = 0; i < 256; ++i) ASSERT_EQ(h.left[i], 0.0f);
            }
        }
        ASSERT_FALSE(p().core.presetPending);
        ASSERT_FALSE(p().core.settingPreset);
    }
};

} // namespace

TEST_F(Programs, InitIsTheFirstEntryAtStartUp) {
    EXPECT_GE(plugin->presetCount, 1);
    char name[64] = "zzz";
    plugin->getProgramName(name);
    EXPECT_STREQ(name, "Init");
    EXPECT_EQ(plugin->getCurProgram(), 0);
    for (int t = 0; t < tag::Count; ++t)
        EXPECT_EQ(store().values[t], plugin->getDefaultValue(t)) << t;
}

TEST_F(Programs, SetProgramLoadsTheRecordIntoTheValueCopiesOnly) {
    store().values[tag::FilterFreq] = 0.3f;
    plugin->setProgram(1); // only program 0 exists
    EXPECT_NE(plugin->getCurrentValue(tag::FilterFreq), 0.3f);

    plugin->core.editorOpening.set();
    plugin->setProgram(0);
    EXPECT_NE(plugin->getCurrentValue(tag::FilterFreq), 0.3f);
    plugin->core.editorOpening.clear();

    plugin->core.editChanged.set();
    plugin->setProgram(0);
    EXPECT_EQ(plugin->getCurrentValue(tag::FilterFreq), 0.3f);
    EXPECT_EQ(plugin->getOrigValue(tag::FilterFreq), 0.3f);
    EXPECT_EQ(plugin->core.values.editValue[tag::FilterFreq], 0.3f);
    EXPECT_EQ(plugin->engine.midi.pickupRef[tag::FilterFreq], kPickupFromCurrentValue);
    EXPECT_TRUE(plugin->core.editChanged); // untouched until 997 is written
    EXPECT_FALSE(plugin->core.presetPending);
}

TEST_F(Programs, PresetNameSelectsTheLastMatchingEntry) {
    setListNames({"Init", "Lead", "Pad", "Lead"});
    plugin->setStringFromParam("Lead", tag::PresetNameFirst, tag::PresetNameLength);
    plugin->setProgram(0);
    EXPECT_EQ(plugin->core.presetIndex, 3);
    char name[32] = {};
    plugin->getProgramName(name);
    EXPECT_STREQ(name, "Lead");

    plugin->setStringFromParam("Nothing like it", tag::PresetNameFirst, tag::PresetNameLength);
    plugin->setProgram(0);
    EXPECT_EQ(plugin->core.presetIndex, 0);
}

TEST_F(Programs, ProgramNamesAreBoundedForTheHost) {
    const std::string longName(63, 'n');
    setListNames({longName.c_str()});
    char name[64];
    std::memset(name, '#', sizeof name);
    plugin->getProgramName(name);
    EXPECT_EQ(std::strlen(name), 23u);
    EXPECT_EQ(name[24], '#');

    char indexed[64] = "untouched";
    EXPECT_FALSE(plugin->getProgramNameIndexed(0, 3, indexed));
    EXPECT_STREQ(indexed, "untouched");
    EXPECT_TRUE(plugin->getProgramNameIndexed(0, 0, indexed));
    EXPECT_EQ(std::string(indexed), longName.substr(0, 23));

    char renamed[] = "Renamed";
    plugin->setProgramName(renamed); // does nothing
    plugin->getProgramName(name);
    EXPECT_EQ(std::string(name), longName.substr(0, 23));

    AEffect* e = plugin->getAeffect();
    char viaHost[64] = {};
    e->dispatcher(e, effGetProgramName, 0, 0, viaHost, 0.0f);
    EXPECT_EQ(std::strlen(viaHost), 23u);
}

TEST_F(Programs, SettingPresetFlagsAreReported) {
    plugin->core.screenUpdatePending.clear();
    EXPECT_FALSE(plugin->getIsSettingPreset());
    plugin->core.presetPending.set();
    EXPECT_TRUE(plugin->getIsSettingPreset());
    plugin->core.presetPending.clear();
    plugin->core.screenUpdatePending.set();
    EXPECT_TRUE(plugin->getIsSettingPreset());
    plugin->updateEditorScreen();
    EXPECT_FALSE(plugin->core.screenUpdatePending);
    EXPECT_FALSE(plugin->getIsSettingPreset());
}

TEST_F(Programs, OrigEditAndClearCommands) {
    uEditor& ui = *plugin->getUEditor();
    ASSERT_TRUE(ui.open(nullptr)); // headless
    plugin->setStringFromParam("Kept", tag::PresetNameFirst, tag::PresetNameLength);
    plugin->setParameter(tag::TakeOver, 1.0f); // the current values become the loaded ones
    plugin->setParameter(tag::FilterFreq, 0.9f);
    EXPECT_TRUE(plugin->getEditChanged());
    const float loaded = plugin->getOrigValue(tag::FilterFreq);

    plugin->doFileCommands(11);
    EXPECT_EQ(plugin->getCurrentValue(tag::FilterFreq), loaded);
    EXPECT_EQ(plugin->getStoredValue(tag::FilterFreq), loaded);
    EXPECT_FALSE(plugin->getEditChanged());
    EXPECT_TRUE(ui.isRebuildRequested());
    ui.idleNow();

    plugin->doFileCommands(12);
    EXPECT_EQ(plugin->getCurrentValue(tag::FilterFreq), 0.9f);
    EXPECT_TRUE(plugin->getEditChanged());
    EXPECT_TRUE(ui.isRebuildRequested());
    ui.idleNow();

    plugin->setParameter(tag::ArpSwing, 0.77f);
    plugin->setLockState(kLockArp, 1);
    plugin->doFileCommands(13);
    for (int t = 0; t < tag::Count; ++t) {
        if (t >= tag::InternalFirst && t <= tag::InternalLast) continue;
        // What the engine reads within 0..1 (Arp Number of Steps: 1.00667).
        EXPECT_EQ(plugin->getCurrentValue(t), clamp01(plugin->getDefaultValue(t))) << t;
        EXPECT_EQ(plugin->getStoredValue(t), plugin->getDefaultValue(t)) << t;
        EXPECT_EQ(plugin->core.values.lockedValue[t], clamp01(plugin->getDefaultValue(t))) << t;
    }
    EXPECT_EQ(plugin->getStringFromParamStr(tag::PresetNameFirst, tag::PresetNameLength), "Kept");
    EXPECT_TRUE(plugin->getEditChanged());
    EXPECT_TRUE(ui.isRebuildRequested());

    ui.idleNow();
    plugin->setParameter(tag::FilterFreq, 0.4f);
    plugin->doFileCommands(14); // not a command
    plugin->doFileCommands(0);
    EXPECT_EQ(plugin->getCurrentValue(tag::FilterFreq), 0.4f);
    EXPECT_FALSE(ui.isRebuildRequested());
}

// ------------------------------------------------------------------ preset application

TEST_F(PresetApplication, Tag997AppliesTheRecordAtTheNextSlowTickWithSilenceMeanwhile) {
    h.alignTo(4096);
    h.render(256); // now well before the next tick
    putInRecord(tag::FilterFreq, 0.31f);
    putInRecord(tag::ArpLatchOn, 1.0f);
    p().setParameter(tag::ApplyPreset, 1.0f);
    EXPECT_TRUE(p().getIsSettingPreset());
    h.render(512);
    for (int i = 0; i < 512; ++i) ASSERT_EQ(h.left[i], 0.0f);
    EXPECT_TRUE(p().core.presetPending);
    EXPECT_NE(p().getCurrentValue(tag::FilterFreq), 0.31f); // not applied yet

    apply();
    EXPECT_EQ(p().getCurrentValue(tag::FilterFreq), 0.31f);
    EXPECT_EQ(p().getOrigValue(tag::FilterFreq), 0.31f);
    EXPECT_EQ(p().getCurrentValue(tag::ArpLatchOn), 1.0f); // a host's restore keeps the latch
    EXPECT_EQ(p().getStoredValue(tag::ArpLatchOn), 1.0f);
    EXPECT_FALSE(p().getEditChanged());
    EXPECT_EQ(p().waves.activeBank.load() == 1 || p().waves.activeBank.load() == 0, true);
    EXPECT_EQ(p().getCurrentValue(tag::XYMidiX), 0.5f);
}

TEST_F(PresetApplication, AWriteDuringApplicationQueuesNothing) {
    p().core.settingPreset.set();
    p().setParameter(tag::ApplyPreset, 1.0f);
    EXPECT_FALSE(p().core.presetPending);
    p().setPresetParameters(); // already running: returns at once
    EXPECT_TRUE(p().core.settingPreset);
    p().core.settingPreset.clear();
}

TEST_F(PresetApplication, LockedPlaySectionKeepsItsValues) {
    p().setSteppedValue(tag::PlayMode, 3);
    p().setParameter(tag::PortamentoAmount, 0.2f);
    p().setLockState(kLockPlay, 1);
    putInRecord(tag::PlayMode, step(tag::PlayMode, 6));
    putInRecord(tag::PortamentoAmount, 0.8f);
    apply();
    EXPECT_EQ(p().getLockSteppedValue(tag::PlayMode), 3);
    EXPECT_EQ(p().getLockVar(tag::PortamentoAmount), 0.2f);
    EXPECT_EQ(p().getSteppedValue(tag::PlayMode), 6); // the preset's own value underneath
}

TEST_F(PresetApplication, LockedArpSectionKeepsItsValues) {
    p().setParameter(tag::ArpSwing, 0.4f);
    p().setParameter(tag::arpStep(tag::RowOn, 4), 0.0f);
    p().setLockState(kLockArp, 1);
    putInRecord(tag::ArpSwing, 0.9f);
    putInRecord(tag::arpStep(tag::RowOn, 4), 1.0f);
    apply();
    EXPECT_FLOAT_EQ(p().getLockVar(tag::ArpSwing), 0.4f);
    EXPECT_FALSE(p().getLockVarOnOff(tag::arpStep(tag::RowOn, 4)));
}

TEST_F(PresetApplication, PlayModeEightTurnsTheArpSwitchOn) {
    putInRecord(tag::PlayMode, step(tag::PlayMode, 8));
    putInRecord(tag::ArpOn, 0.0f);
    apply(kPresetChosen);
    EXPECT_EQ(p().getCurrentValue(tag::ArpOn), 1.0f);
    EXPECT_EQ(p().getStoredValue(tag::ArpOn), 1.0f);
    EXPECT_EQ(p().getOrigValue(tag::ArpOn), 1.0f);
    EXPECT_EQ(p().engine.midi.pickupRef[tag::ArpOn], 1.0f);
    EXPECT_EQ(p().getPlayMode(), 8);
}

// The switch on with another play mode in a chosen preset: the play mode
// is the arpeggiator, as it plays, and the switch turned off goes back to
// the preset's own mode.
TEST_F(PresetApplication, ArpSwitchOnWithAnotherPlayModeSettlesOnTheArpeggiator) {
    putInRecord(tag::PlayMode, step(tag::PlayMode, 3));
    putInRecord(tag::ArpOn, 1.0f);
    apply(kPresetChosen);
    EXPECT_EQ(p().getSteppedValue(tag::PlayMode), 8);
    EXPECT_EQ(p().getStoredValue(tag::PlayMode), p().getCurrentValue(tag::PlayMode));
    EXPECT_EQ(p().getCurrentValue(tag::ArpOn), 1.0f);
    EXPECT_EQ(p().getPlayMode(), 8);
    p().setParameter(tag::ArpOn, 0.0f);
    h.render(256);
    EXPECT_EQ(p().getPlayMode(), 3);
}

TEST_F(PresetApplication, LockedArpSwitchOffWithThePresetsSwitchOnGivesPlayModeEight) {
    p().setParameter(tag::ArpOn, 0.0f);
    p().setLockState(kLockArp, 1);
    putInRecord(tag::PlayMode, step(tag::PlayMode, 3));
    putInRecord(tag::ArpOn, 1.0f);
    apply(kPresetChosen);
    EXPECT_FLOAT_EQ(p().getStoredValue(tag::PlayMode), 0.9010012f);
    EXPECT_FLOAT_EQ(p().getCurrentValue(tag::PlayMode), 0.9010012f);
    EXPECT_EQ(p().getSteppedValue(tag::PlayMode), 8);
    EXPECT_EQ(p().getCurrentValue(tag::ArpOn), 1.0f);
}

// A preset the user chooses starts clean; a state the host restores comes
// back as it was saved.
TEST_F(PresetApplication, AChosenPresetStartsCleanWhileARestoreKeepsEveryValue) {
    const float recording = step(tag::XYRecordMode, 1);
    const float sixteenSteps = p().getDefaultValue(tag::ArpNumSteps);
    ASSERT_GT(sixteenSteps, 1.0f);
    const struct {
        PresetLoad load;
        float recordMode, latch, keyEntry, numSteps, padX, playMode, arpOn;
    } cases[] = {
        {kPresetChosen, 0.0f, 0.0f, 0.0f, 1.0f, 0.5f, step(tag::PlayMode, 8), 1.0f},
        {kPresetRestore, recording, 1.0f, 1.0f, sixteenSteps, 0.7f, step(tag::PlayMode, 8), 0.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.load == kPresetChosen ? "chosen" : "restored");
        putInRecord(tag::XYRecordMode, recording);
        putInRecord(tag::ArpLatchOn, 1.0f);
        putInRecord(tag::ArpKeyEntryOn, 1.0f);
        putInRecord(tag::ArpNumSteps, sixteenSteps);
        putInRecord(tag::XYMidiX, 0.7f);
        putInRecord(tag::PlayMode, step(tag::PlayMode, 8));
        putInRecord(tag::ArpOn, 0.0f);
        apply(c.load);
        const std::pair<int, float> expected[] = {{tag::XYRecordMode, c.recordMode},
                                                  {tag::ArpLatchOn, c.latch},
                                                  {tag::ArpKeyEntryOn, c.keyEntry},
                                                  {tag::ArpNumSteps, c.numSteps},
                                                  {tag::XYMidiX, c.padX},
                                                  {tag::PlayMode, c.playMode},
                                                  {tag::ArpOn, c.arpOn}};
        for (const auto& [t, v] : expected) {
            EXPECT_EQ(p().getStoredValue(t), v) << t;
            EXPECT_EQ(p().getCurrentValue(t), clamp01(v)) << t; // what plays
        }
        EXPECT_EQ(p().getPlayMode(), 8);
    }
}

TEST_F(PresetApplication, OpenEditorReceivesTheAppliedValues) {
    uEditor& ui = *p().getUEditor();
    ASSERT_TRUE(ui.open(nullptr)); // headless
    putInRecord(tag::FilterFreq, 0.42f);
    putInRecord(tag::OscMode, 0.0f);
    apply();
    ui.idleNow();
    EXPECT_FLOAT_EQ(ui.shownValue(tag::FilterFreq), 0.42f);
    EXPECT_FALSE(p().core.previewPlay);
}

TEST_F(PresetApplication, RestoredChunkIsAppliedAtTheNextTick) {
    // An own-host plug-in restored from a chunk rebuilds from the values.
    p().core.host.hostIsOwn = true;
    ProgramRecord r = p().core.programStore[0];
    r.values[tag::FilterFreq] = 0.27f;
    EXPECT_EQ(p().setChunk(&r, sizeof r, false), 1);
    EXPECT_TRUE(p().core.presetPending);
    for (int guard = 0; guard < 64 && p().core.presetPending; ++guard) h.render(256);
    EXPECT_FALSE(p().core.presetPending);
    EXPECT_EQ(p().getCurrentValue(tag::FilterFreq), 0.27f);
}

// A host that renders on a pool of threads: two threads render blocks in
// turn, and the one whose turn comes first writes the end of a value-by-value
// restore (a wave, the tuning switch, 997), while the host's main thread
// restores states of its own and holds the table build as such a restore
// does while it builds. Both threads have rendered, the one that did not
// render last too: neither waits for the main thread's build (it would
// still be waiting when the main thread gives up on it) nor builds tables.
TEST_F(PresetApplication, AThreadThatHasRenderedNeverWaitsForNorBuildsTables) {
    p().core.host.hostIsReaper = true; // a host that exchanges chunks
    AEffect* e = h.effect();
    auto waveValue = [](int w) { return (static_cast<float>(w) + 0.1f) / 184.99f; };
    constexpr int kRounds = 12;
    std::atomic<int> turn{-1}, wrote{-1}, rendered{-1};
    std::atomic<unsigned> builds{0};
    auto pool = [&](int first) {
        for (int round = first; round < kRounds; round += 2) {
            for (int now = turn.load(); now != round; now = turn.load()) {
                if (now >= kRounds) return;
                std::this_thread::yield();
            }
            if (round >= 2) {
                const unsigned before = p().waves.slotBuilds.load();
                e->setParameter(e, tag::OscWaveA, waveValue(3 + round));
                e->setParameter(e, tag::HasTuning, 1.0f);
                e->setParameter(e, tag::ApplyPreset, 1.0f);
                builds += p().waves.slotBuilds.load() - before;
                wrote = round;
            }
            h.render(512);
            rendered = round;
        }
    };
    std::thread audio[2] = {std::thread(pool, 0), std::thread(pool, 1)};
    int waits = 0;
    for (int round = 0; round < kRounds; ++round) {
        std::unique_lock<std::mutex> build(p().waves.tableBuildMutex, std::defer_lock);
        if (round >= 2) {
            ProgramRecord r = p().core.programStore[0];
            r.values[tag::OscWaveB] = waveValue(40 + round);
            e->dispatcher(e, effSetChunk, 0, sizeof r, &r, 0.0f);
            build.lock();
        }
        turn = round;
        if (round >= 2) {
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
            while (wrote.load() != round && std::chrono::steady_clock::now() < end)
                std::this_thread::yield();
            if (wrote.load() != round) ++waits;
            build.unlock();
        }
        while (rendered.load() != round) std::this_thread::yield();
        if (waits > 0) { // it would wait each time: no need to see it again
            turn = kRounds;
            break;
        }
    }
    for (std::thread& t : audio) t.join();
    EXPECT_EQ(waits, 0);
    EXPECT_EQ(builds.load(), 0u);
}

// Every factory preset chosen in turn, as a user steps through the list,
// plays a chord under the sanitizers: finite, clear of the output limit, and
// no heap call on the audio thread. (Their levels over the phrase they were
// levelled with are long tests, tests/long/test_factory_presets.cpp.)
TEST_F(PresetApplication, EveryFactoryPresetPlaysAChordFiniteAndWithinTheLimit) {
    const auto presets = static_cast<int>(listFactoryPresets().size());
    ASSERT_GT(presets, 1);
    EventBlock on, off;
    for (int note : {48, 60, 64, 67}) {
        on.noteOn(0, note);
        off.noteOff(0, note);
    }
    on.get();
    off.get();
    for (int index = 0; index < presets; ++index) {
        SCOPED_TRACE(listFactoryPresets()[static_cast<std::size_t>(index)].name);
        ASSERT_TRUE(p().choosePreset(index));
        h.render(512); // the harness's buffers at the chord's block size
        for (int guard = 0; guard < 64 && p().getIsSettingPreset(); ++guard) h.render(512);
        ASSERT_FALSE(p().getIsSettingPreset());
        h.maxAbs = 0.0f;
        AllocationWatch heap;
        h.send(on);
        h.renderIn(8192, 512);
        h.send(off);
        h.renderIn(4096, 512);
        EXPECT_EQ(heap.count(), 0);
        EXPECT_TRUE(h.allFinite);
        EXPECT_LE(h.maxAbs, 0.999f);
    }
}
