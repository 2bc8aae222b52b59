// MIDI learn: a controller learned or typed drives its parameter from the
// audio thread, picks the value up before it follows, and reaches the
// preference store through the main thread only.

#include "au/au_plugin.h"
#include "core/preset_file.h"
#include "platform/dialog_service.h"
#include "platform/prefs.h"
#include "support/plugin_harness.h"
#include "support/temp_prefs.h"
#include "tools/auhost/au_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace fs = std::filesystem;

namespace {

struct MidiLearn : ::testing::Test {
    TempPrefs prefs; // before the harness: construction reads the preference store
    PluginHarness h;
    ScriptedDialogService dialogs;
    ScopedDialogService scopedDialogs{dialogs};

    APlugin& p() { return h.p(); }
    int mapped(int controller) { return p().engine.midi.ccMap[controller].load(); }
    // A control change through the host's event path.
    void cc(int controller, int value) {
        h.send(EventBlock().cc(0, controller, value));
        h.render(16);
    }
    float value(int t) { return p().getParameter(t); }
};

constexpr int kCutoff = tag::FilterFreq;
constexpr int kResonance = tag::FilterQ;

} // namespace

TEST_F(MidiLearn, LearnedControllerFollowsOnlyAfterPickingTheValueUp) {
    p().setParameter(kCutoff, 0.5f);
    p().setMIDILatch(kCutoff, true);

    cc(7, 0); // learns, but is far from 0.5
    EXPECT_EQ(mapped(7), kCutoff);
    EXPECT_FLOAT_EQ(value(kCutoff), 0.5f);
    cc(7, 60); // 0.472: still outside the window
    EXPECT_FLOAT_EQ(value(kCutoff), 0.5f);
    cc(7, 64); // 0.504: within 0.025, picked up
    EXPECT_FLOAT_EQ(value(kCutoff), 64.0f / 127.0f);
    cc(7, 0); // now it follows anywhere
    EXPECT_FLOAT_EQ(value(kCutoff), 0.0f);

    // Learning is used up by the first controller: another one stays free.
    cc(8, 127);
    EXPECT_EQ(mapped(8), 0);
}

TEST_F(MidiLearn, WithCaptureOffTheParameterJumpsAtOnce) {
    saveBoolToPrefs(REG_MIDI_CAPTURE_STR, false);
    p().resetMIDICapture(); // the switch reaches the audio thread
    p().setParameter(kCutoff, 0.5f);
    p().setMIDILatch(kCutoff, true);
    cc(7, 0);
    EXPECT_FLOAT_EQ(value(kCutoff), 0.0f);
    cc(7, 127);
    EXPECT_FLOAT_EQ(value(kCutoff), 1.0f);

    // The switch as the main thread last read it: back on, a new binding
    // must pick up again.
    saveBoolToPrefs(REG_MIDI_CAPTURE_STR, true);
    p().refreshMidiCapturePref();
    p().setParameter(kResonance, 0.5f);
    p().setMIDILatch(kResonance, true);
    cc(9, 0);
    EXPECT_FLOAT_EQ(value(kResonance), 0.5f);
}

// A controller learned with no editor open reaches the settings file through
// the file worker, not the audio thread: soon, or when the plug-in closes at once.
TEST(MidiLearnStored, LearnedControllerReachesTheSettingsWithoutAnEditor) {
    for (const bool closeAtOnce : {true, false}) {
        SCOPED_TRACE(closeAtOnce ? "closed at once" : "left open");
        TempPrefs prefs;
        std::optional<PluginHarness> h(std::in_place);
        h->p().setMIDILatch(kCutoff, true); // armed from the editor, which then closed
        h->send(EventBlock().cc(0, 7, 10));
        h->render(16);
        if (closeAtOnce)
            h.reset(); // as effClose does
        else
            h->p().core.worker.waitUntilIdle();
        reloadPrefs(); // what the file holds
        EXPECT_EQ(getMidiCC(7), kCutoff);
    }
}

TEST_F(MidiLearn, ABindingChangedOnTheMainThreadWinsOverOneWaitingToBeStored) {
    p().setMIDILatch(kResonance, true);
    cc(7, 10);
    EXPECT_EQ(mapped(7), kResonance);
    p().setMIDILatch(kResonance, false); // unbinds 7 in the map and the store
    p().flushLearnedControllers();
    p().core.worker.waitUntilIdle();
    EXPECT_EQ(mapped(7), 0);
    EXPECT_EQ(getMidiCC(7), 0);

    // Clearing everything drops learned bindings still waiting.
    p().setMIDILatch(kCutoff, true);
    cc(11, 10);
    p().resetMIDI();
    p().flushLearnedControllers();
    p().core.worker.waitUntilIdle();
    EXPECT_EQ(mapped(11), 0);
    EXPECT_EQ(getMidiCC(11), 0);
}

TEST_F(MidiLearn, ControllerOfTagZeroAndAllOffControllersDriveNothing) {
    p().engine.midi.ccMap[5].store(0);
    const float before = value(0);
    cc(5, 127);
    EXPECT_FLOAT_EQ(value(0), before);

    // The all-off controllers never learn.
    p().setMIDILatch(kCutoff, true);
    cc(123, 0);
    EXPECT_EQ(mapped(123), 0);
    cc(7, 0);
    EXPECT_EQ(mapped(7), kCutoff);
}

TEST_F(MidiLearn, TypedControllerNumberIsClampedAndBound) {
    struct Case {
        const char* answer;
        int controller;
    };
    for (Case c :
         {Case{"200", 127}, Case{"-5", 0}, Case{" 12 knobs", 12}, Case{"99999999999", 127}}) {
        dialogs.pushText(c.answer);
        p().setMIDICCNum(kCutoff);
        EXPECT_EQ(mapped(c.controller), kCutoff) << c.answer;
        EXPECT_EQ(getMidiCC(c.controller), kCutoff) << c.answer;
        p().resetMIDI();
    }
    ASSERT_FALSE(dialogs.textRequests.empty());
    EXPECT_EQ(dialogs.textRequests[0].title, "MIDI CC (0 - 127)");
    EXPECT_EQ(dialogs.textRequests[0].prompt, "MIDI CC : " + p().getParameterNameStr(kCutoff));
    EXPECT_EQ(dialogs.textRequests[0].initialText, "");

    // A cancel, an empty answer or one without a number binds nothing.
    dialogs.pushTextCancel();
    dialogs.pushText("");
    dialogs.pushText("knob");
    for (int i = 0; i < 3; ++i) p().setMIDICCNum(kCutoff);
    for (int n = 0; n < 128; ++n) ASSERT_EQ(mapped(n), 0) << n;

    // Bound, the box opens on the controller; unchanged or cancelled, the
    // binding stays.
    dialogs.pushText("21");
    p().setMIDICCNum(kCutoff);
    for (const std::optional<std::string>& answer :
         {std::optional<std::string>("21"), std::optional<std::string>("x"),
          std::optional<std::string>()}) {
        if (answer)
            dialogs.pushText(*answer);
        else
            dialogs.pushTextCancel();
        p().setMIDICCNum(kCutoff);
        EXPECT_EQ(dialogs.textRequests.back().initialText, "21");
        EXPECT_EQ(mapped(21), kCutoff);
    }
    p().resetMIDI();

    // An invalid tag asks nothing.
    const std::size_t asked = dialogs.textRequests.size();
    p().setMIDICCNum(-1);
    p().setMIDICCNum(tag::Count);
    EXPECT_EQ(dialogs.textRequests.size(), asked);
}

TEST_F(MidiLearn, TypedBindingPicksUpFromThePresentValue) {
    p().setParameter(kCutoff, 0.25f);
    dialogs.pushText("7");
    p().setMIDICCNum(kCutoff);
    cc(7, 127);
    EXPECT_FLOAT_EQ(value(kCutoff), 0.25f);
    cc(7, 32); // 0.252
    EXPECT_FLOAT_EQ(value(kCutoff), 32.0f / 127.0f);
}

// A binding in the preferences survives a restart and picks the parameter
// up from where it stands when the controller first moves.
TEST(MidiLearnRestart, BindingFromThePreferencesPicksUpAfterARestart) {
    TempPrefs prefs;
    setMidiCC(7, kCutoff);
    PluginHarness h; // a fresh start reads the binding
    APlugin& p = h.p();
    ASSERT_EQ(p.engine.midi.ccMap[7].load(), kCutoff);
    p.setParameter(kCutoff, 0.5f);
    auto cc = [&](int value) {
        h.send(EventBlock().cc(0, 7, value));
        h.render(16);
        return p.getParameter(kCutoff);
    };
    EXPECT_FLOAT_EQ(cc(1), 0.5f);              // far from the value
    EXPECT_FLOAT_EQ(cc(20), 0.5f);             // still
    EXPECT_FLOAT_EQ(cc(63), 63.0f / 127.0f);   // within reach of it: picked up
    EXPECT_FLOAT_EQ(cc(100), 100.0f / 127.0f); // and followed
}

// After a preset is chosen, a state restored or a program set by the host, a
// learned controller has to pick each value up again where the preset put
// it: nothing happens near the bottom of its travel (it once took the
// reference 0 and snapped the parameter there).
TEST_F(MidiLearn, ControllerPicksTheValueUpAgainAfterAPresetLoadOrRestore) {
    std::string made = (fs::temp_directory_path() / "ondix-learn-XXXXXX").string();
    ASSERT_NE(mkdtemp(made.data()), nullptr);
    const fs::path folder = fs::path(made) / "Presets";
    fs::create_directories(folder);
    std::ofstream(folder / "Bright.ondix") << formatPresetFile({{"Filter Frequency", 0.6f}});
    p().core.folders.presetDir = folder.string() + "/";
    p().refreshPresetList();
    p().core.host.hostIsReaper = true; // a host that exchanges chunks

    const struct {
        const char* what;
        std::function<void()> load;
    } rows[] = {
        {"preset chosen",
         [&] {
             const int last = p().presetCount - 1; // the only user preset
             ASSERT_EQ(std::string(p().presetNames[static_cast<std::size_t>(last)].data()),
                       "Bright");
             ASSERT_TRUE(p().choosePreset(last));
         }},
        {"chunk restored",
         [&] {
             ProgramRecord record = p().core.programStore[0];
             record.values[kCutoff] = 0.6f;
             ASSERT_EQ(p().setChunk(&record, sizeof record, false), 1);
         }},
        {"program set by the host",
         [&] {
             p().core.programStore[0].values[kCutoff] = 0.6f;
             p().setProgram(0);
         }},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        // Learned and picked up: the controller drives the parameter.
        p().setParameter(kCutoff, 0.3f);
        p().setMIDILatch(kCutoff, true);
        cc(7, 38);
        ASSERT_EQ(mapped(7), kCutoff);
        ASSERT_FLOAT_EQ(value(kCutoff), 38.0f / 127.0f);

        r.load();
        for (int guard = 0; guard < 64 && p().getIsSettingPreset(); ++guard) h.render(256);
        ASSERT_FALSE(p().getIsSettingPreset());
        ASSERT_FLOAT_EQ(value(kCutoff), 0.6f);

        for (int far : {127, 20, 2, 0, 70}) {
            cc(7, far);
            EXPECT_FLOAT_EQ(value(kCutoff), 0.6f) << "controller at " << far;
        }
        cc(7, 76); // 0.598: picked up
        EXPECT_FLOAT_EQ(value(kCutoff), 76.0f / 127.0f);
        cc(7, 10); // and followed
        EXPECT_FLOAT_EQ(value(kCutoff), 10.0f / 127.0f);
        p().resetMIDI();
    }
    fs::remove_all(made);
}

// A controller that had picked its parameter up and moves after a state or
// preset has arrived, but before its application has run (the next slow
// tick), must not write over the value just loaded: whichever way the state
// came, the controller picks the loaded value up anew. Each way is driven
// as its host drives it, on an instance of its own.

extern "C" OSStatus AUPLUGINEntry(ComponentParameters* params, void* storage);
extern "C" AudioComponentPlugInInterface* AUPLUGINFactory(const AudioComponentDescription*);

namespace {

constexpr int kController = 74;
constexpr int kBlock = 256;

// An instance as a host holds it: its parameters, its MIDI and its audio.
struct Rig {
    virtual ~Rig() = default;
    virtual APlugin& p() = 0;
    virtual void setParameter(int t, float v) = 0;
    virtual void render(int frames) = 0;
    // The controller at `offset` of the next block, and that block.
    virtual void cc(int offset, int value) = 0;
};

struct VstRig : Rig {
    PluginHarness h;
    APlugin& p() override { return h.p(); }
    void setParameter(int t, float v) override { h.effect()->setParameter(h.effect(), t, v); }
    void render(int frames) override { h.render(frames); }
    void cc(int offset, int value) override {
        h.send(EventBlock().cc(offset, kController, value));
        h.render(kBlock);
    }
    VstIntPtr dispatch(VstInt32 opcode, VstIntPtr value = 0, void* ptr = nullptr) {
        return h.effect()->dispatcher(h.effect(), opcode, 0, value, ptr, 0.0f);
    }
};

struct AuRig : Rig {
    ondix::auhost::AUTestHost host{{AUPLUGINEntry, AUPLUGINFactory}};
    AuRig() {
        EXPECT_EQ(host.open(), noErr);
        EXPECT_EQ(host.setMaxFrames(kBlock), noErr);
        EXPECT_EQ(host.initialize(), noErr);
    }
    APlugin& p() override {
        auto* unit = static_cast<AUPLUGIN*>(static_cast<AUBase*>(host.storage()));
        return *static_cast<APlugin*>(unit->Effect());
    }
    void setParameter(int t, float v) override {
        EXPECT_EQ(host.setParameter(static_cast<AudioUnitParameterID>(t), v), noErr);
    }
    void render(int frames) override { EXPECT_EQ(host.render(static_cast<UInt32>(frames)), noErr); }
    void cc(int offset, int value) override {
        EXPECT_EQ(
            host.midi(0xB0, kController, static_cast<UInt32>(value), static_cast<UInt32>(offset)),
            noErr);
        render(kBlock);
    }
};

} // namespace

TEST(MidiLearnArrivals, CapturedControllerLeavesTheArrivingValueAlone) {
    TempPrefs prefs;
    ScriptedDialogService dialogs;
    ScopedDialogService scopedDialogs{dialogs};
    std::string made = (fs::temp_directory_path() / "ondix-arrival-XXXXXX").string();
    ASSERT_NE(mkdtemp(made.data()), nullptr);
    const fs::path folder = fs::path(made) / "Presets";
    fs::create_directories(folder);
    constexpr float kLoaded = 0.9f;
    std::ofstream(folder / "Arrived.ondix") << formatPresetFile({{"Filter Frequency", kLoaded}});

    // Each way: the state saved while the value was kLoaded, and what brings
    // it back.
    using Restore = std::function<void()>;
    const struct {
        const char* what;
        bool au;
        std::function<Restore(Rig&)> save;
    } ways[] = {
        {"chunk", false,
         [](Rig& r) -> Restore {
             auto& v = static_cast<VstRig&>(r);
             v.p().core.host.hostIsReaper = true; // a host that exchanges chunks
             auto record = std::make_shared<ProgramRecord>(v.p().core.programStore[0]);
             return [&v, record] {
                 EXPECT_EQ(v.dispatch(effSetChunk, sizeof(ProgramRecord), record.get()), 1);
             };
         }},
        {"value by value, 997 among them", false,
         [](Rig& r) -> Restore {
             auto record = std::make_shared<ProgramRecord>(r.p().core.programStore[0]);
             return [&r, record] {
                 for (int t = 0; t < tag::Count; ++t) r.setParameter(t, record->values[t]);
             };
         }},
        {"preset chosen", false,
         [&folder](Rig& r) -> Restore {
             r.p().core.folders.presetDir = folder.string() + "/";
             r.p().refreshPresetList();
             const int last = r.p().presetCount - 1; // the only user preset
             EXPECT_EQ(std::string(r.p().presetNames[static_cast<std::size_t>(last)].data()),
                       "Arrived");
             return [&r, last] { EXPECT_TRUE(r.p().choosePreset(last)); };
         }},
        {"program change", false,
         [](Rig& r) -> Restore {
             auto& v = static_cast<VstRig&>(r);
             auto record = std::make_shared<ProgramRecord>(v.p().core.programStore[0]);
             return [&v, record] {
                 v.p().core.programStore[0] = *record;
                 v.dispatch(effSetProgram, 0);
             };
         }},
        {"AudioUnit state", true,
         [](Rig& r) -> Restore {
             auto& a = static_cast<AuRig&>(r);
             CFPropertyListRef state = nullptr;
             EXPECT_EQ(a.host.get(kAudioUnitProperty_ClassInfo, state), noErr);
             auto held = std::shared_ptr<const void>(state, [](const void* s) { CFRelease(s); });
             return [&a, held] {
                 const CFPropertyListRef s = held.get();
                 EXPECT_EQ(a.host.set(kAudioUnitProperty_ClassInfo, s), noErr);
             };
         }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.what);
        std::unique_ptr<Rig> rig;
        if (way.au)
            rig = std::make_unique<AuRig>();
        else
            rig = std::make_unique<VstRig>();
        Rig& r = *rig;
        auto value = [&r] { return r.p().getParameter(tag::FilterFreq); };
        r.setParameter(tag::FilterFreq, kLoaded);
        r.render(kBlock);
        const Restore restore = way.save(r);

        // Learned and picked up where the value now stands.
        r.setParameter(tag::FilterFreq, 0.3f);
        r.p().setMIDILatch(tag::FilterFreq, true);
        r.cc(0, 38); // 0.299
        ASSERT_EQ(r.p().engine.midi.ccMap[kController].load(), tag::FilterFreq);
        ASSERT_FLOAT_EQ(value(), 38.0f / 127.0f);

        // Just past a slow tick: the application waits for the next one.
        const auto phase = [&r] { return r.p().engine.render.sampleCounter % 4096; };
        while (phase() != kBlock)
            r.render(static_cast<int>(
                std::min<std::uint64_t>(kBlock, (4096 + kBlock - phase()) % 4096)));
        restore();
        r.cc(100, 64); // 0.504, far from the value arriving
        for (int guard = 0; guard < 64 && r.p().getIsSettingPreset(); ++guard) r.render(kBlock);
        ASSERT_FALSE(r.p().getIsSettingPreset());
        EXPECT_FLOAT_EQ(value(), kLoaded);

        // The controller picks the loaded value up from there.
        r.cc(0, 64);
        EXPECT_FLOAT_EQ(value(), kLoaded);
        r.cc(0, 114); // 0.898: within reach
        EXPECT_FLOAT_EQ(value(), 114.0f / 127.0f);
        r.p().resetMIDI();
    }
    fs::remove_all(made);
}
