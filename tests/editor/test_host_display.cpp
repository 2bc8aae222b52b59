// The host hears of values the plug-in changes itself without telling it one
// by one: after a preset chosen or stepped (once the audio thread has applied
// it) and after an editor command that writes values (a reset, a paste, an
// undo, a section preset, random values, the program buttons), the editor's
// idle pass sends audioMasterUpdateDisplay, once, from the main thread.
// Without an editor, the host's next call from another thread tells it, or
// its suspend and resume on the audio thread (a host with one thread).

#include "controls/tbuttons.h"
#include "envarp_menu_fixture.h"
#include "support/plugin_harness.h"

#include <array>
#include <functional>
#include <thread>

namespace {

constexpr std::array<int, 4> AMP = {4, 5, 6, 7};

struct HostDisplay : EnvArpMenuFixture {
    std::size_t updates() const { return host.count(audioMasterUpdateDisplay); }
    void idle() {
        clock.advance(40);
        ui().idleNow();
    }
    void set(std::span<const int> tags, float v) {
        for (int t : tags) p().setParameter(t, v);
    }
    void envMenu(std::vector<std::string> path) {
        popups.chooseTitlePath(std::move(path));
        ui().showEnvMenu(0);
    }
    void press(VSTGUI::CControl* control) {
        ASSERT_NE(control, nullptr);
        control->setValue(1.0f);
        ui().valueChanged(control);
        control->setValue(0.0f);
    }
    // The audio thread's blocks until the requested preset is applied.
    void render() {
        std::array<float, 256> in{}, left{}, right{};
        float* inputs[2] = {in.data(), in.data()};
        float* outputs[2] = {left.data(), right.data()};
        for (int guard = 0; guard < 64 && p().getIsSettingPreset(); ++guard)
            p().processReplacing(inputs, outputs, 256);
        ASSERT_FALSE(p().getIsSettingPreset());
    }
};

} // namespace

TEST_F(HostDisplay, ASteppedPresetIsAnnouncedOnceItIsApplied) {
    ASSERT_GE(p().presetCount, 2);
    clock.advance(1000); // past the stepping interval
    idle();
    host.clearLog();
    ui().changeProgramDelta(+1, false);
    EXPECT_EQ(p().core.presetIndex, 1);
    idle(); // not applied yet: nothing to tell
    EXPECT_EQ(updates(), 0u);
    render();
    EXPECT_EQ(updates(), 0u); // never from the audio thread
    idle();
    EXPECT_EQ(updates(), 1u);
    idle();
    EXPECT_EQ(updates(), 1u);
    // A state the host restores is its own news.
    p().core.host.hostIsReaper = true; // a host that exchanges chunks
    const ProgramRecord record = p().core.programStore[0];
    p().setChunk(const_cast<ProgramRecord*>(&record), sizeof record, false);
    render();
    idle();
    EXPECT_EQ(updates(), 1u);
}

TEST_F(HostDisplay, CommandsThatWriteValuesAreAnnouncedAndOthersAreNot) {
    p().core.folders.envelopePresetDir = fileDir().string() + "/";
    const editor_controls::All& c = ui().getControls();
    const struct {
        const char* what;
        std::function<void()> act;
        std::size_t told;
    } rows[] = {
        {"copy",
         [&] {
             set(AMP, 0.3f);
             envMenu({"Copy Envelope"});
         },
         0},
        {"dismissed",
         [&] {
             popups.dismiss();
             ui().showEnvMenu(0);
         },
         0},
        {"reset", [&] { envMenu({"Reset Envelope"}); }, 1},
        {"undo", [&] { envMenu({"Undo"}); }, 1},
        {"paste",
         [&] {
             set(AMP, 0.9f);
             envMenu({"Paste Envelope"});
         },
         1},
        {"section preset",
         [&] {
             dialogs.pushFile((fileDir() / "soft").string());
             envMenu({"Save Envelope Preset"});
             set(AMP, 0.6f);
             dialogs.pushFile((fileDir() / "soft.env").string());
             envMenu({"Load Envelope Preset"});
         },
         1},
        {"random values",
         [&] {
             popups.chooseTitlePath({"Randomize Row"});
             ui().showArpMenu(tag::RowFree, 0, true);
         },
         1},
        {"matrix reset",
         [&] {
             p().setModSlotVar(2, false, 0.7f, 3, 12);
             popups.chooseTitlePath({"Reset Mod Matrix"});
             ui().showModMenu(-1);
         },
         1},
        {"XY path",
         [&] {
             popups.chooseTitlePath({"Presets", "Set to Circle"});
             ui().showXYMenu();
         },
         1},
        {"original preset",
         [&] {
             set(AMP, 0.1f);
             press(c.header.originalPreset);
         },
         1},
        {"edited preset", [&] { press(c.header.editedPreset); }, 1},
        {"user wave cleared", [&] { press(c.wave.clear); }, 1},
        {"user wave cleared again", [&] { press(c.wave.clear); }, 0},
    };
    idle();
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        host.clearLog();
        r.act();
        EXPECT_EQ(updates(), 0u); // told by the idle pass, after the command
        idle();
        idle();
        EXPECT_EQ(updates(), r.told);
    }
}

// The host turns the Arp switch on from its audio thread, with no editor
// open: the play mode that follows reaches the host's display by whichever
// call comes next that may tell it.
TEST(HostDisplayWithoutEditor, ThePlayModeThatFollowsTheArpSwitchIsAnnounced) {
    const struct {
        const char* what;
        void (*call)(AEffect*);
        std::size_t told;
    } rows[] = {
        {"a value read by the audio thread",
         [](AEffect* e) {
             char text[64];
             e->dispatcher(e, effGetParamDisplay, tag::PlayMode, 0, text, 0.0f);
         },
         0},
        {"a value read by the main thread",
         [](AEffect* e) {
             std::thread([e] {
                 char text[64];
                 e->dispatcher(e, effGetParamDisplay, tag::PlayMode, 0, text, 0.0f);
             }).join();
         },
         1},
        {"suspend and resume on the audio thread",
         [](AEffect* e) {
             e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0.0f);
             e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
         },
         1},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        PluginHarness h;
        AEffect* e = h.effect();
        e->setParameter(e, tag::ArpOn, 1.0f);
        h.render(256);
        ASSERT_EQ(h.p().getSteppedValue(tag::PlayMode), playmode::Arp);
        EXPECT_EQ(h.host.count(audioMasterUpdateDisplay), 0u); // never from processing
        r.call(e);
        EXPECT_EQ(h.host.count(audioMasterUpdateDisplay), r.told);
    }
}
