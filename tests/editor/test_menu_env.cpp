// The envelope menu: what it shows, its commands on the envelope it was
// opened for, MIDI latching, the screens' options, envelope preset files and
// the one level of undo shared by the envelope section.

#include "controls/envarp.h"
#include "controls/tbuttons.h"
#include "envarp_menu_fixture.h"
#include "platform/prefs.h"

#include <array>

using namespace VSTGUI;

namespace {

constexpr std::array<int, 4> AMP = {4, 5, 6, 7};
constexpr std::array<int, 4> FILTER = {30, 31, 32, 33};

struct EnvMenu : EnvArpMenuFixture {
    void choose(int envelope, std::vector<std::string> path) {
        popups.chooseTitlePath(std::move(path));
        ui().showEnvMenu(envelope);
    }
    void dismiss(int envelope) {
        popups.dismiss();
        ui().showEnvMenu(envelope);
    }
    void set(std::span<const int> tags, std::vector<float> v) {
        for (std::size_t i = 0; i < tags.size(); ++i) p().setParameter(tags[i], v[i]);
    }
    std::size_t automations() const { return host.count(audioMasterAutomate); }
};

} // namespace

TEST_F(EnvMenu, ShowsTheEnvelopesValuesAndEveryCommandInOrder) {
    set(FILTER, {0.1f, 0.2f, 0.3f, 0.4f});
    dismiss(1);
    ASSERT_EQ(popups.popupCount(), 1);
    const std::vector<std::string> expected = {"Filter Envelope Command Menu",
                                               "Attack : " + p().getParameterDisplayStr(30),
                                               "Decay : " + p().getParameterDisplayStr(31),
                                               "Sustain: " + p().getParameterDisplayStr(32),
                                               "Release: " + p().getParameterDisplayStr(33),
                                               "Info",
                                               "-",
                                               "Reset Envelope",
                                               "Set Envelope to Original Settings",
                                               "Copy Envelope",
                                               "Paste Envelope",
                                               "-",
                                               "Latch Attack to MIDI",
                                               "Latch Decay to MIDI",
                                               "Latch Sustain to MIDI",
                                               "Latch Release to MIDI",
                                               "-",
                                               "Unlatch Attack MIDI",
                                               "Unlatch Decay MIDI",
                                               "Unlatch Sustain MIDI",
                                               "Unlatch Release MIDI",
                                               "Unlatch All",
                                               "-",
                                               "Set Attack To Default",
                                               "Set Decay To Default",
                                               "Set Sustain To Default",
                                               "Set Release To Default",
                                               "-",
                                               "Set Attack To Value",
                                               "Set Decay To Value",
                                               "Set Sustain To Value",
                                               "Set Release To Value",
                                               "-",
                                               "Show Envelope Dials",
                                               "Turn Delay / Sustain Change On",
                                               "Turn Delay / Sustain Change Off",
                                               "-",
                                               "Load Envelope Preset",
                                               "Save Envelope Preset",
                                               "-",
                                               "Undo"};
    EXPECT_EQ(titles(rootLines()), expected);
    for (std::size_t i = 0; i < rootLines().size(); ++i)
        EXPECT_EQ(rootLines()[i].enabled, i > 4) << expected[i];
    ASSERT_EQ(submenus().size(), 1u);
    ASSERT_EQ(submenus()[0].size(), 9u);
    EXPECT_EQ(submenus()[0][0].title, "Left Click: Change value");
    EXPECT_EQ(submenus()[0][4].title, "Left Click + Alt: Set to original value");
    for (const Line& l : submenus()[0]) EXPECT_FALSE(l.enabled) << l.title;

    // Every other envelope number in range reads "Amp".
    for (int e : {0, 2, 3}) {
        dismiss(e);
        EXPECT_EQ(rootLines()[0].title, "Amp Envelope Command Menu") << e;
    }
    dismiss(3);
    EXPECT_EQ(rootLines()[1].title, "Attack : " + p().getParameterDisplayStr(57));
    EXPECT_EQ(rootLines()[4].title, "Release: " + p().getParameterDisplayStr(61));
}

TEST_F(EnvMenu, ShowsNothingForOtherNumbersOrWithoutAWindow) {
    p().core.popupOpen.clear();
    for (int e : {-1, 4}) ui().showEnvMenu(e);
    EXPECT_EQ(popups.popupCount(), 0);
    EXPECT_FALSE(p().core.popupOpen);

    ui().close();
    p().core.popupOpen.set();
    ui().showEnvMenu(0);
    EXPECT_EQ(popups.popupCount(), 0);
    EXPECT_TRUE(p().core.popupOpen); // untouched
    p().core.popupOpen.clear();
    ASSERT_TRUE(ui().open(nullptr));
    dismiss(0);
    EXPECT_FALSE(p().core.popupOpen); // cleared by the refresh after the menu
}

TEST_F(EnvMenu, ResetsActOnTheMenusEnvelopeOnly) {
    const std::vector<float> orig = values(AMP);
    set(AMP, {0.9f, 0.8f, 0.7f, 0.6f});
    set(FILTER, {0.1f, 0.2f, 0.3f, 0.4f});

    choose(0, {"Set Decay To Default"});
    EXPECT_EQ(value(5), p().getDefaultValue(5));
    EXPECT_EQ(value(4), 0.9f);

    choose(0, {"Reset Envelope"});
    for (int t : AMP) EXPECT_EQ(value(t), p().getDefaultValue(t)) << t;
    EXPECT_EQ(values(FILTER), (std::vector<float>{0.1f, 0.2f, 0.3f, 0.4f}));

    set(AMP, {0.9f, 0.8f, 0.7f, 0.6f});
    const std::size_t before = automations();
    choose(0, {"Set Envelope to Original Settings"});
    EXPECT_EQ(values(AMP), orig);
    EXPECT_EQ(automations(), before + 4); // the host hears of each stage
}

TEST_F(EnvMenu, UndoRestoresTheValuesFromBeforeTheLastMenuChoice) {
    // Nothing to undo yet in a fresh editor.
    set(AMP, {0.3f, 0.3f, 0.3f, 0.3f});
    choose(0, {"Undo"});
    EXPECT_EQ(values(AMP), std::vector<float>(4, 0.3f));

    choose(0, {"Reset Envelope"});
    set(FILTER, {0.5f, 0.5f, 0.5f, 0.5f});
    const std::size_t before = automations();
    choose(1, {"Undo"}); // one level for all envelopes
    EXPECT_EQ(values(AMP), std::vector<float>(4, 0.3f));
    EXPECT_NE(values(FILTER), std::vector<float>(4, 0.5f));
    EXPECT_EQ(automations(), before); // plain writes

    // Undo again restores the same snapshot.
    p().setParameter(4, 0.7f);
    choose(0, {"Undo"});
    EXPECT_EQ(value(4), 0.3f);

    // Dismissing retakes the snapshot: what changed before it stays.
    p().setParameter(4, 0.8f);
    dismiss(0);
    choose(0, {"Undo"});
    EXPECT_EQ(value(4), 0.8f);
}

TEST_F(EnvMenu, PasteWritesOnlyWhatWasCopiedFromTheSameEnvelope) {
    set(AMP, {0.1f, 0.2f, 0.3f, 0.4f});
    set(FILTER, {0.6f, 0.6f, 0.6f, 0.6f});
    choose(0, {"Paste Envelope"}); // nothing copied yet
    EXPECT_EQ(values(AMP), (std::vector<float>{0.1f, 0.2f, 0.3f, 0.4f}));

    choose(0, {"Copy Envelope"});
    set(AMP, {0.9f, 0.9f, 0.9f, 0.9f});
    choose(0, {"Paste Envelope"});
    EXPECT_EQ(values(AMP), (std::vector<float>{0.1f, 0.2f, 0.3f, 0.4f}));

    // The amp envelope's copy does not paste into the filter envelope.
    choose(1, {"Paste Envelope"});
    EXPECT_EQ(values(FILTER), std::vector<float>(4, 0.6f));
    choose(1, {"Copy Envelope"});
    set(FILTER, {0.0f, 0.0f, 0.0f, 0.0f});
    choose(1, {"Paste Envelope"});
    EXPECT_EQ(values(FILTER), std::vector<float>(4, 0.6f));
}

TEST_F(EnvMenu, LatchingArmsLearningAndUnlatchingFreesThisEnvelopesStagesOnly) {
    MidiState& midi = p().engine.midi;
    const std::vector<std::pair<int, int>> bindings = {{5, 4}, {6, 7}, {7, 31}, {8, 6}};
    for (auto [cc, t] : bindings) {
        midi.ccMap[cc].store(t);
        setMidiCC(cc, t);
    }

    choose(0, {"Latch Decay to MIDI"});
    EXPECT_EQ(midi.learnTag.load(), 5);
    EXPECT_TRUE(midi.learnArmed.load());

    // Releasing another stage leaves the request; releasing this one drops it.
    choose(0, {"Unlatch Attack MIDI"});
    EXPECT_EQ(midi.ccMap[5].load(), 0);
    EXPECT_EQ(midi.learnTag.load(), 5);
    EXPECT_TRUE(midi.learnArmed.load());
    choose(0, {"Unlatch Decay MIDI"});
    EXPECT_FALSE(midi.learnArmed.load());

    choose(0, {"Unlatch Sustain MIDI"});
    EXPECT_EQ(midi.ccMap[8].load(), 0);
    EXPECT_EQ(getMidiCC(8), 0);
    EXPECT_EQ(midi.ccMap[6].load(), 7);

    choose(0, {"Unlatch All"});
    EXPECT_EQ(midi.ccMap[5].load(), 0);
    EXPECT_EQ(midi.ccMap[6].load(), 0);
    EXPECT_EQ(getMidiCC(6), 0);
    EXPECT_EQ(midi.ccMap[7].load(), 31); // the filter envelope keeps its controller
    EXPECT_EQ(getMidiCC(7), 31);
}

TEST_F(EnvMenu, SetToValueAsksForThatStage) {
    dialogs.pushTextCancel();
    choose(1, {"Set Decay To Value"});
    ASSERT_EQ(dialogs.textRequests.size(), 1u);
    EXPECT_EQ(dialogs.textRequests[0].title, p().getParameterNameStr(31));
    dialogs.pushTextCancel();
    choose(1, {"Set Attack To Value"});
    ASSERT_EQ(dialogs.textRequests.size(), 2u);
    EXPECT_EQ(dialogs.textRequests[1].title, p().getParameterNameStr(30));
    EXPECT_FALSE(p().core.popupOpen);
}

TEST_F(EnvMenu, ScreenOptionsTakeEffectAndAreRemembered) {
    const editor_controls::All& c = ui().getControls();
    ASSERT_NE(c.filter.ampEnvScreen, nullptr);
    ASSERT_NE(c.filter.filterEnvScreen, nullptr);

    choose(0, {"Turn Delay / Sustain Change On"});
    EXPECT_TRUE(getRegisterIsOn(REG_DECAY_SUSTAIN_STR, false));
    EXPECT_TRUE(c.filter.ampEnvScreen->getDecaySustain());
    EXPECT_TRUE(c.filter.filterEnvScreen->getDecaySustain());
    ui().close();
    ASSERT_TRUE(ui().open(nullptr));
    ASSERT_NE(ui().getControls().filter.ampEnvScreen, nullptr);
    EXPECT_TRUE(ui().getControls().filter.ampEnvScreen->getDecaySustain());

    choose(1, {"Turn Delay / Sustain Change Off"});
    EXPECT_FALSE(getRegisterIsOn(REG_DECAY_SUSTAIN_STR, true));
    EXPECT_FALSE(ui().getControls().filter.filterEnvScreen->getDecaySustain());

    EXPECT_FALSE(ui().getEnvelopeShowKnobs());
    choose(1, {"Show Envelope Dials"});
    EXPECT_TRUE(ui().getEnvelopeShowKnobs());
    EXPECT_TRUE(getRegisterIsOn(REG_ENV_STR, false));
    ASSERT_NE(ui().getControls().filter.envelopeDisplay, nullptr);
    EXPECT_EQ(ui().getControls().filter.envelopeDisplay->getValue(), 1.0f);
}

TEST_F(EnvMenu, PresetFilesSaveAndLoadTheMenusEnvelope) {
    p().core.folders.envelopePresetDir = fileDir().string() + "/";
    set(AMP, {0.25f, 0.5f, 0.75f, 1.0f});
    dialogs.pushFile((fileDir() / "soft").string());
    choose(0, {"Save Envelope Preset"});
    EXPECT_EQ(dialogs.fileRequests.back().title, "Save Envelope Preset");
    EXPECT_EQ(dialogs.fileRequests.back().initialFolder, fileDir().string() + "/");
    EXPECT_EQ(readLines(fileDir() / "soft.env"),
              (std::vector<std::string>{"V1.0", "0.250000", "0.500000", "0.750000", "1.000000"}));

    // Loaded from the filter envelope's menu, the file sets the filter's tags.
    const std::vector<float> filterBefore = values(FILTER);
    dialogs.pushFile((fileDir() / "soft.env").string());
    choose(1, {"Load Envelope Preset"});
    EXPECT_EQ(values(FILTER), (std::vector<float>{0.25f, 0.5f, 0.75f, 1.0f}));
    EXPECT_EQ(values(AMP), (std::vector<float>{0.25f, 0.5f, 0.75f, 1.0f}));

    // The load can be taken back.
    choose(1, {"Undo"});
    EXPECT_EQ(values(FILTER), filterBefore);

    writeAll(fileDir() / "short.env", "V1.0\n0.1\n0.2\n0.3\n");
    dialogs.pushFile((fileDir() / "short.env").string());
    choose(1, {"Load Envelope Preset"});
    EXPECT_EQ(values(FILTER), filterBefore);
    EXPECT_EQ(alerts(), std::vector<std::string>{"Problem with Env file"});
    EXPECT_FALSE(p().core.popupOpen);
}
