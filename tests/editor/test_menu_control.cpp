// The control menu: the switches it shows and flips, the preferences it
// writes after every popup, the editor size, the MIDI channel entry, the
// capture mode, the engine reset and the outside links.

#include "controls/envarp.h"
#include "controls/tbuttons.h"
#include "core/vocabulary.h"
#include "editor/menu_midi_control.h"
#include "midi_control_menu_fixture.h"
#include "platform/prefs.h"

#include <fstream>
#include <optional>
#include <sstream>
#include <tuple>

using namespace VSTGUI;

namespace {

struct ControlMenu : MidiControlMenuTest {
    void run(std::vector<std::string> path) {
        next(std::move(path));
        ui().showControlMenu();
    }
    static std::string stored(const char* key) {
        std::string value;
        loadStringFromPrefs(key, value, 127);
        return value;
    }
    std::string prefsFile() {
        std::ifstream in(prefsOwnFilePath(), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::vector<TEnvScreen*> envScreens() {
        const auto& f = ui().getControls().filter;
        return {f.filterEnvScreen, f.ampEnvScreen};
    }
    bool keyboardTakesKeys() {
        VstKeyCode key{};
        key.virt = VKEY_PAGEUP;
        return ui().onKeyDown(key, frame()) == 1;
    }
};

} // namespace

TEST_F(ControlMenu, MenuButtonShowsTheDefaultsWithNothingStored) {
    TMenuButton* button = ui().getControls().header.controlMenu;
    ASSERT_NE(button, nullptr);
    popups.dismiss();
    Testing::click(frame(), button->getViewSize().getCenter());
    ASSERT_EQ(popups.popupCount(), 1);
    EXPECT_FALSE(p().core.popupOpen);

    const std::vector<std::string> expected = {"Control Menu",
                                               "-",
                                               "Screen Size: 100% Screen Size",
                                               "Set To 100% Screen Size",
                                               "Set To 125% Screen Size",
                                               "Set To 150% Screen Size",
                                               "Set To 200% Screen Size",
                                               "-",
                                               "Dial Animation",
                                               "Dial Animation: On",
                                               "-",
                                               "Envelope Display",
                                               "Show Envelope Dials",
                                               "-",
                                               "Decay / Sustain",
                                               "Decay / Sustain: Off",
                                               "-",
                                               "Tool-Tips",
                                               "Tool-Tips: On",
                                               "-",
                                               "Computer Keyboard",
                                               "Computer Keyboard: On",
                                               "-",
                                               "Drag And Drop",
                                               "Drag And Drop: On",
                                               "-",
                                               "MIDI Preset Change",
                                               "MIDI Preset: On",
                                               "-",
                                               "MIDI Bank Change",
                                               "MIDI Bank: On",
                                               "-",
                                               "MIDI Input Channel: Omni",
                                               "Set MIDI Input Channel",
                                               "-",
                                               "External MIDI Capture Mode",
                                               "External MIDI Capture Mode: On",
                                               "-",
                                               "Reset Everything",
                                               "About Ondix",
                                               "Goto Haldmer Website",
                                               "Download Latest"};
    EXPECT_EQ(lastTitles(), expected);
    for (const char* heading :
         {"Control Menu", "Screen Size: 100% Screen Size", "Dial Animation", "Envelope Display",
          "Decay / Sustain", "Tool-Tips", "Computer Keyboard", "Drag And Drop",
          "MIDI Preset Change", "MIDI Bank Change", "MIDI Input Channel: Omni",
          "External MIDI Capture Mode"})
        EXPECT_TRUE(lastGreyed(heading)) << heading;
    EXPECT_FALSE(lastGreyed("Tool-Tips: On"));
    EXPECT_TRUE(popups.history().back().submenus.empty());
}

TEST_F(ControlMenu, ClosingWithoutAChoiceStoresOnlyTheEditorSwitches) {
    for (TEnvScreen* env : envScreens())
        if (env) env->setDecaySustain(true);
    const float volume = p().getParameter(tag::MainVolume);
    run({});

    for (const char* key :
         {REG_DIAL_ANIMATION_STR, REG_TOOL_TIP_STR, REG_KEYBOARD_STR, REG_DRAG_AND_DROP_STR})
        EXPECT_EQ(stored(key), "Y") << key;
    for (const char* key : {REG_DECAY_SUSTAIN_STR, REG_MIDI_PRESET_STR, REG_MIDI_BANK_STR,
                            REG_MIDI_CAPTURE_STR, REG_ENV_STR, REG_SCREEN_SIZE[0]})
        EXPECT_EQ(stored(key), "") << key;
    EXPECT_EQ(loadIntFromPrefs(REG_MIDI_IN_CHANNEL_STR), 0);
    // Decay/sustain is applied again, read with "off" when nothing is stored.
    for (TEnvScreen* env : envScreens()) {
        ASSERT_NE(env, nullptr);
        EXPECT_FALSE(env->getDecaySustain());
    }
    EXPECT_TRUE(dialogs.alertRequests.empty());
    EXPECT_TRUE(dialogs.textRequests.empty());
    EXPECT_EQ(p().getParameter(tag::MainVolume), volume);

    // "Download Latest" does no more than a dismissal.
    const std::string afterDismissal = prefsFile();
    run({"Download Latest"});
    EXPECT_EQ(prefsFile(), afterDismissal);
    EXPECT_TRUE(dialogs.alertRequests.empty());
    EXPECT_FALSE(p().engine.requests.reset.load());
}

TEST_F(ControlMenu, EachSwitchShowsItsStateAndFlips) {
    // title stem, preference key; all on while nothing is stored
    const std::vector<std::pair<std::string, const char*>> switches = {
        {"Dial Animation", REG_DIAL_ANIMATION_STR},
        {"Tool-Tips", REG_TOOL_TIP_STR},
        {"Computer Keyboard", REG_KEYBOARD_STR},
        {"Drag And Drop", REG_DRAG_AND_DROP_STR},
        {"MIDI Preset", REG_MIDI_PRESET_STR},
        {"MIDI Bank", REG_MIDI_BANK_STR},
        {"External MIDI Capture Mode", REG_MIDI_CAPTURE_STR}};
    // Decay/sustain starts off, as the envelope screens do.
    run({});
    EXPECT_TRUE(lastHas("Decay / Sustain: Off"));
    for (TEnvScreen* env : envScreens()) EXPECT_FALSE(env->getDecaySustain());
    run({"Decay / Sustain: Off"});
    EXPECT_EQ(stored(REG_DECAY_SUSTAIN_STR), "Y");
    for (TEnvScreen* env : envScreens()) EXPECT_TRUE(env->getDecaySustain());
    run({});
    EXPECT_TRUE(lastHas("Decay / Sustain: On"));
    for (const auto& [stem, key] : switches) {
        run({stem + ": On"});
        EXPECT_EQ(stored(key), "N") << stem;
        run({stem + ": Off"});
        EXPECT_TRUE(lastHas(stem + ": Off")) << stem;
        EXPECT_EQ(stored(key), "Y") << stem;
        run({});
        EXPECT_TRUE(lastHas(stem + ": On")) << stem;
    }
}

TEST_F(ControlMenu, SwitchesTakeEffectInTheEditorAtOnce) {
    ASSERT_TRUE(keyboardTakesKeys());
    run({"Computer Keyboard: On"});
    EXPECT_FALSE(keyboardTakesKeys());
    EXPECT_EQ(stored(REG_KEYBOARD_STR), "N");

    run({"Drag And Drop: On"});
    EXPECT_FALSE(ui().getDragAndDrop());
    run({"Dial Animation: On"});
    EXPECT_FALSE(ui().getAnimation());

    // Unset, the title says off; choosing it stores on, then off again.
    run({"Decay / Sustain: Off"});
    for (TEnvScreen* env : envScreens()) EXPECT_TRUE(env->getDecaySustain());
    run({"Decay / Sustain: On"});
    for (TEnvScreen* env : envScreens()) EXPECT_FALSE(env->getDecaySustain());

    // The envelope display: dials, then the graphic envelopes again.
    TOnOff* display = ui().getControls().filter.envelopeDisplay;
    ASSERT_NE(display, nullptr);
    run({"Show Envelope Dials"});
    EXPECT_TRUE(ui().getEnvelopeShowKnobs());
    EXPECT_EQ(stored(REG_ENV_STR), "Y");
    EXPECT_FLOAT_EQ(display->getValue(), 1.0f);
    idle();
    run({"Show Graphic Envelopes"});
    EXPECT_TRUE(popups.history().back().lines.size() > 12);
    EXPECT_EQ(lastTitles()[12], "Show Graphic Envelopes");
    EXPECT_FALSE(ui().getEnvelopeShowKnobs());
    EXPECT_EQ(stored(REG_ENV_STR), "N");
    EXPECT_FLOAT_EQ(display->getValue(), 0.0f);
}

TEST_F(ControlMenu, ScreenSizeIsStoredForTheNextEditor) {
    run({"Set To 150% Screen Size"});
    EXPECT_EQ(stored(REG_SCREEN_SIZE[2]), "Y");
    for (int k : {0, 1, 3}) EXPECT_EQ(stored(REG_SCREEN_SIZE[k]), "N") << k;
    ASSERT_EQ(dialogs.alertRequests.size(), 1u);
    EXPECT_EQ(dialogs.alertRequests[0].header,
              "When you next open Ondix, it'll open in 150% Screen Mode");
    // This editor keeps its size.
    run({});
    EXPECT_TRUE(lastHas("Screen Size: 100% Screen Size"));
}

TEST_F(ControlMenu, ChannelEntryKeepsTheNumberOfTheAnswer) {
    // answer, channel stored (-1: nothing stored)
    const std::vector<std::tuple<std::optional<std::string>, int>> answers = {
        {"abc5xyz", 5}, {"5.7", 5}, {"16", 16},   {"0", 0},          {"17", -1},
        {"-3", -1},     {"", -1},   {"none", -1}, {std::nullopt, -1}};
    for (const auto& [answer, channel] : answers) {
        saveIntToPrefs(REG_MIDI_IN_CHANNEL_STR, 9);
        if (answer)
            dialogs.pushText(*answer);
        else
            dialogs.pushTextCancel();
        run({"Set MIDI Input Channel"});
        const int expected = channel < 0 ? 9 : channel;
        EXPECT_EQ(loadIntFromPrefs(REG_MIDI_IN_CHANNEL_STR), expected) << answer.value_or("cancel");
        if (channel >= 0) {
            EXPECT_EQ(p().engine.midi.midiChannel.load(), channel - 1) << answer.value_or("cancel");
        }
    }
    ASSERT_FALSE(dialogs.textRequests.empty());
    EXPECT_EQ(dialogs.textRequests[0].title, "MIDI Channel");
    EXPECT_EQ(dialogs.textRequests[0].prompt, "Set MIDI Input Channel (0 for Omni)");
    for (const TextInputRequest& request : dialogs.textRequests)
        EXPECT_EQ(request.initialText, "9") << "the box opens on the stored channel";
    EXPECT_TRUE(dialogs.alertRequests.empty());

    dialogs.pushText("16");
    run({"Set MIDI Input Channel"});
    run({});
    EXPECT_TRUE(lastHas("MIDI Input Channel: CH 16"));
    // A stored value beyond the list shows its last entry.
    saveIntToPrefs(REG_MIDI_IN_CHANNEL_STR, 17);
    run({});
    EXPECT_TRUE(lastHas("MIDI Input Channel: CH 16"));
}

TEST_F(ControlMenu, CaptureModeReachesTheControllerPath) {
    p().setParameter(tag::FilterFreq, 0.5f);
    p().engine.midi.ccMap[7].store(tag::FilterFreq);
    run({"External MIDI Capture Mode: On"}); // capture off now
    EXPECT_EQ(stored(REG_MIDI_CAPTURE_STR), "N");
    p().handleControlChange(7, 0, 0);
    EXPECT_FLOAT_EQ(p().getParameter(tag::FilterFreq), 0.0f);

    // Back on: the pick-up starts again from the present value.
    run({"External MIDI Capture Mode: Off"});
    p().handleControlChange(7, 127, 0);
    EXPECT_FLOAT_EQ(p().getParameter(tag::FilterFreq), 0.0f);
    p().handleControlChange(7, 2, 0);
    EXPECT_FLOAT_EQ(p().getParameter(tag::FilterFreq), 2.0f / 127.0f);

    // A switch changed elsewhere (the back screen) reaches the audio thread
    // with the editor's next idle pass.
    p().resetMIDICapture(); // not picked up any more
    saveBoolToPrefs(REG_MIDI_CAPTURE_STR, false);
    p().handleControlChange(7, 127, 0);
    EXPECT_FLOAT_EQ(p().getParameter(tag::FilterFreq), 2.0f / 127.0f);
    idle();
    p().handleControlChange(7, 127, 0);
    EXPECT_FLOAT_EQ(p().getParameter(tag::FilterFreq), 1.0f);
}

TEST_F(ControlMenu, ResetEverythingSilencesTheEngineAtItsNextTick) {
    p().midiNoteDown(60, 100, 0);
    auto gated = [&] {
        int n = 0;
        for (const VoiceState& v : p().engine.voices) n += v.gate ? 1 : 0;
        return n;
    };
    ASSERT_EQ(gated(), 1);
    run({"Reset Everything"});
    EXPECT_TRUE(p().engine.requests.reset.load());
    std::vector<float> left(64), right(64), inL(64), inR(64);
    float* in[2] = {inL.data(), inR.data()};
    float* out[2] = {left.data(), right.data()};
    AEffect* e = p().getAeffect();
    // Blocks until the engine runs its ticks again (it holds them while the
    // wave tables of a new instance are built).
    for (int block = 0; block < 512 && p().engine.requests.reset.load(); ++block)
        e->processReplacing(e, in, out, 64);
    EXPECT_FALSE(p().engine.requests.reset.load());
    EXPECT_EQ(gated(), 0);
}

TEST_F(ControlMenu, AboutBoxAndWebSite) {
    std::vector<std::string> opened;
    menu_services::setWebAddressOpener([&](const std::string& a) { opened.push_back(a); });
    run({"Goto Haldmer Website"});
    menu_services::setWebAddressOpener(nullptr);
    EXPECT_EQ(opened, std::vector<std::string>{menu_services::kMakerWebsite});
    EXPECT_TRUE(dialogs.alertRequests.empty());

    run({"About Ondix"});
    ASSERT_EQ(dialogs.alertRequests.size(), 1u);
    EXPECT_EQ(dialogs.alertRequests[0].header.rfind("Ondix v1.0.1\n", 0), 0u)
        << dialogs.alertRequests[0].header;
}

TEST_F(ControlMenu, NothingHappensWithoutAWindow) {
    ui().close();
    p().core.popupOpen.set();
    run({"Computer Keyboard: On"});
    EXPECT_EQ(popups.popupCount(), 0);
    EXPECT_TRUE(p().core.popupOpen);
    EXPECT_EQ(stored(REG_KEYBOARD_STR), "");
}
