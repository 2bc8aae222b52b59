// The parameter context menu of knobs and sliders: what it shows about the
// parameter (value, MIDI controller, modulation), the value commands, the
// tempo-synced value lists, MIDI learn and modulation assignment.

#include "controls/tbuttons.h"
#include "controls/tknob.h"
#include "controls/tsliders.h"
#include "core/vocabulary.h"
#include "editor/menu_midi_control.h"
#include "engine/random15.h"
#include "midi_control_menu_fixture.h"
#include "platform/prefs.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>

using namespace VSTGUI;

namespace {

struct MidiMenu : MidiControlMenuTest {
    static constexpr int kCutoff = tag::FilterFreq; // modulation destination 74
    static constexpr int kCutoffDest = dst::FilterFreq;
    static constexpr int kNoDest = tag::ModWheelToFilterFreq; // feeds no destination

    CControl* knob(int t) {
        CControl* c = ui().getTagControl(t);
        EXPECT_NE(c, nullptr) << "no control for " << t;
        return c;
    }
    // Opens the menu of a control and answers it.
    void open(CControl* c, std::vector<std::string> path, bool slider = false) {
        next(std::move(path));
        ui().showMIDIMenu(c, slider);
    }
    void open(int t, std::vector<std::string> path) { open(control(t), std::move(path)); }
    float stepValue(int step, float range) { return (static_cast<float>(step) + 0.1f) / range; }
    std::vector<std::string> submenuTitles(std::size_t index) {
        return titles(popups.history().back().submenus.at(index));
    }
};

const std::vector<std::string> kValueCommands = {
    "Set to Default", "Set to Original Value", "Set to Zero",   "Set to Minimum", "Set to Maximum",
    "Set to Mid",     "Set to Value",          "Set to Random", "Increase",       "Decrease"};
const std::vector<std::string> kMidiCommands = {"Latch to MIDI", "Unlatch MIDI", "Set MIDI CC",
                                                "Clear All MIDI"};
const std::vector<std::string> kGestures = {"Left Click: Change value",
                                            "Left Click + Shift: Fine change value",
                                            "Left Click + Super: Show this menu",
                                            "Left Click + Ctrl: Set to default",
                                            "Left Click + Alt: Set to original value",
                                            "Double Click: Set to default",
                                            "Right Click: Show this menu",
                                            "Scroll Wheel: Change value",
                                            "Scroll Wheel + Shift: Fine change amount"};

std::vector<std::string> concat(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> out;
    for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

} // namespace

// ------------------------------------------------------------------ what it shows

TEST_F(MidiMenu, RightClickOnAKnobShowsTheWholeMenu) {
    CControl* cutoff = knob(kCutoff);
    ASSERT_NE(cutoff, nullptr);
    popups.dismiss();
    Testing::click(frame(), cutoff->getViewSize().getCenter(), kRButton);
    ASSERT_EQ(popups.popupCount(), 1);
    EXPECT_FALSE(p().core.popupOpen);

    // The start preset's first XY axis drives the cutoff.
    const std::string valueLine = "Filter Frequency: " + p().getParameterDisplayStr(kCutoff);
    const std::vector<std::string> expected =
        concat({{"Control and MIDI Command Menu", valueLine, "Not MIDI Latched",
                 "Modulated by XY X 1", "-", "Dial Control Information", "-"},
                kValueCommands,
                {"-"},
                kMidiCommands,
                {"-", "Modulate by MIDI Sources", "Modulate by Mod Sources",
                 "Modulate by Other Sources", "Modulate by XY", "-", "Clear Modulation",
                 "Default Modulation Amount", "Bypass Modulation", "Un-Bypass Modulation"}});
    EXPECT_EQ(lastTitles(), expected);
    for (const char* info :
         {"Control and MIDI Command Menu", "Not MIDI Latched", "Modulated by XY X 1"})
        EXPECT_TRUE(lastGreyed(info)) << info;
    EXPECT_TRUE(lastGreyed(valueLine));
    EXPECT_FALSE(lastGreyed("Set to Default"));

    // Gestures (greyed), the three source groups and the XY axes.
    const auto& submenus = popups.history().back().submenus;
    ASSERT_EQ(submenus.size(), 5u);
    EXPECT_EQ(titles(submenus[0]), kGestures);
    for (const auto& line : submenus[0]) EXPECT_FALSE(line.enabled);
    const int first[3] = {1, 39, 62};
    const int end[3] = {39, 62, 75};
    for (int g = 0; g < 3; ++g) {
        std::vector<std::string> rows;
        for (int i = first[g]; i < end[g]; ++i) rows.push_back(SRC_STR[i]);
        EXPECT_EQ(titles(submenus[1 + g]), rows) << g;
    }
    EXPECT_EQ(titles(submenus[4]),
              (std::vector<std::string>{"Modulate by XY X 1", "Modulate by XY X 2",
                                        "Modulate by XY Y 1", "Modulate by XY Y 2"}));
}

TEST_F(MidiMenu, KnobAndSliderMenusDifferOnlyInTheGestureTitle) {
    TVSlider* morph = ui().getControls().osc.morph;
    ASSERT_NE(morph, nullptr);
    popups.dismiss();
    Testing::click(frame(), morph->getViewSize().getCenter(), kRButton);
    ASSERT_EQ(popups.popupCount(), 1);
    const std::vector<std::string> slider = lastTitles();
    EXPECT_NE(std::find(slider.begin(), slider.end(), "Slider Control Information"), slider.end());

    open(morph, {}, false);
    std::vector<std::string> dial = lastTitles();
    ASSERT_EQ(dial.size(), slider.size());
    for (std::size_t i = 0; i < dial.size(); ++i) {
        if (dial[i] == "Dial Control Information")
            EXPECT_EQ(slider[i], "Slider Control Information");
        else
            EXPECT_EQ(dial[i], slider[i]) << i;
    }
}

TEST_F(MidiMenu, ParameterWithoutDestinationHasNoModulationEntries) {
    open(knob(kNoDest), {});
    const std::vector<std::string> expected =
        concat({{"Control and MIDI Command Menu",
                 "Mod Wheel > Filter Frequency: " + p().getParameterDisplayStr(kNoDest),
                 "Not MIDI Latched", "Dial Control Information", "-"},
                kValueCommands,
                {"-"},
                kMidiCommands,
                {"-"}});
    EXPECT_EQ(lastTitles(), expected);
    EXPECT_EQ(popups.history().back().submenus.size(), 1u);
}

TEST_F(MidiMenu, MidiLineNamesTheLowestBoundController) {
    setMidiCC(74, kCutoff);
    setMidiCC(7, kCutoff);
    setMidiCC(3, kNoDest);
    open(kCutoff, {});
    EXPECT_TRUE(lastHas("Latched to MIDI CC :7"));
    EXPECT_TRUE(lastGreyed("Latched to MIDI CC :7"));

    // A controller the audio thread has just learned shows at once.
    p().setMIDILatch(kNoDest, true);
    p().handleControlChange(2, 64, 0);
    open(kNoDest, {});
    EXPECT_TRUE(lastHas("Latched to MIDI CC :2"));
}

// ------------------------------------------------------------------ modulation

TEST_F(MidiMenu, ModulationLineAndCommandsReachUserAndXYSlots) {
    constexpr int kOtherDest = dst::FilterQ;
    p().setModSlotVar(0, false, 0.7f, 4, kOtherDest); // another destination: untouched
    p().setModSlotVar(2, false, 0.3f, 5, kCutoffDest);
    p().setModSlotVar(5, false, 0.9f, 6, kCutoffDest);
    p().setSteppedValue(tag::XYModDestFirst + 2, kCutoffDest); // "XY X 2"
    p().setParameter(tag::XYModAmountFirst + 2, 0.9f);

    open(kCutoff, {"Bypass Modulation"});
    EXPECT_TRUE(lastHas(std::string("Modulated by ") + SRC_STR[5] + " - Slot 03"));
    EXPECT_TRUE(p().getOnOff(tag::slotBypass(2)));
    EXPECT_TRUE(p().getOnOff(tag::slotBypass(5)));
    EXPECT_FALSE(p().getOnOff(tag::slotBypass(0)));

    open(kCutoff, {"Un-Bypass Modulation"});
    EXPECT_FALSE(p().getOnOff(tag::slotBypass(2)));
    EXPECT_FALSE(p().getOnOff(tag::slotBypass(5)));

    p().setOn(tag::slotBypass(2));
    open(kCutoff, {"Default Modulation Amount"});
    for (int k : {2, 5}) {
        EXPECT_FLOAT_EQ(p().getParameter(tag::slotAmount(k)),
                        p().getDefaultValue(tag::slotAmount(k)));
        EXPECT_FLOAT_EQ(p().getParameter(tag::slotBypass(k)),
                        p().getDefaultValue(tag::slotBypass(k)));
    }
    EXPECT_FLOAT_EQ(p().getParameter(tag::XYModAmountFirst + 2),
                    p().getDefaultValue(tag::XYModAmountFirst + 2));
    EXPECT_FLOAT_EQ(p().getParameter(tag::slotAmount(0)), 0.7f);

    p().setParameter(tag::XYModAmountFirst + 2, 0.9f);
    open(kCutoff, {"Clear Modulation"});
    for (int k : {2, 5}) {
        EXPECT_EQ(p().getModSlotDest(k), 0) << k;
        EXPECT_EQ(p().getModSrc(k), 0) << k;
        EXPECT_FLOAT_EQ(p().getParameter(tag::slotAmount(k)), 0.5f) << k;
        EXPECT_FALSE(p().getOnOff(tag::slotBypass(k))) << k;
    }
    EXPECT_EQ(p().getModDest(14), 0);
    EXPECT_FLOAT_EQ(p().getParameter(tag::XYModAmountFirst + 2),
                    p().getDefaultValue(tag::XYModAmountFirst + 2));
    EXPECT_EQ(p().getModSlotDest(0), kOtherDest);
    EXPECT_EQ(p().getModSrc(0), 4);

    open(kCutoff, {});
    EXPECT_TRUE(lastHas("Not Modulated by Anything"));
}

TEST_F(MidiMenu, ModulationLineNamesXYSlotsAndSourceNone) {
    for (int j = 0; j < 4; ++j) p().setSteppedValue(tag::XYModDestFirst + j, 0);
    open(kCutoff, {});
    EXPECT_TRUE(lastHas("Not Modulated by Anything"));
    p().setSteppedValue(tag::XYModDestFirst + 1, kCutoffDest); // "XY Y 1"
    open(kCutoff, {});
    EXPECT_TRUE(lastHas("Modulated by XY Y 1"));

    // A user slot comes before the XY slots, even without a source.
    p().setModSlotVar(0, false, 0.5f, 0, kCutoffDest);
    open(kCutoff, {});
    EXPECT_TRUE(lastHas("Modulated by None - Slot 01"));
    EXPECT_TRUE(lastGreyed("Modulated by None - Slot 01"));
}

TEST_F(MidiMenu, ModulateByTakesAFreeSlotEachTimeUntilNoneIsLeft) {
    const std::string lfo = SRC_STR[39];
    const std::size_t before = automated();
    open(kCutoff, {"Modulate by Mod Sources", lfo});
    open(kCutoff, {"Modulate by Mod Sources", lfo});
    for (int k : {0, 1}) {
        EXPECT_EQ(p().getModSlotDest(k), kCutoffDest) << k;
        EXPECT_EQ(p().getModSrc(k), 39) << k;
        EXPECT_FLOAT_EQ(p().getParameter(tag::slotAmount(k)), 0.5f) << k;
        EXPECT_FALSE(p().getOnOff(tag::slotBypass(k))) << k;
    }
    EXPECT_EQ(p().getModSlotDest(2), 0);
    EXPECT_GT(automated(), before); // source and destination are automated

    // Every slot taken: nothing changes.
    for (int k = 2; k < 12; ++k) p().setModSlotVar(k, false, 0.25f, 1, 75);
    open(kCutoff, {"Modulate by Other Sources", SRC_STR[70]});
    for (int k = 2; k < 12; ++k) {
        EXPECT_EQ(p().getModSlotDest(k), 75);
        EXPECT_EQ(p().getModSrc(k), 1);
    }

    // The XY axes take the destination and keep their amount.
    p().setParameter(tag::XYModAmountFirst + 1, 0.8f);
    open(kCutoff, {"Modulate by XY", "Modulate by XY Y 1"});
    EXPECT_EQ(p().getModDest(13), kCutoffDest);
    EXPECT_FLOAT_EQ(p().getParameter(tag::XYModAmountFirst + 1), 0.8f);
    open(kCutoff, {"Modulate by XY", "Modulate by XY X 2"});
    EXPECT_EQ(p().getSteppedValue(tag::XYModDestFirst + 2), kCutoffDest);
}

// ------------------------------------------------------------------ value lists

TEST_F(MidiMenu, ValueListsFollowTheirSyncSwitches) {
    const int attack1 = tag::freeEnv(0, tag::FreeEnvAttack);
    p().setOff(tag::freeEnv(0, tag::FreeEnvSync));
    open(attack1, {});
    EXPECT_FALSE(lastHas("Length in QB"));
    p().setOn(tag::freeEnv(0, tag::FreeEnvSync));
    open(attack1, {});
    ASSERT_TRUE(lastHas("Length in QB"));
    EXPECT_EQ(popups.history().back().submenus[1].size(), 31u);

    // The second envelope's fade follows the second switch.
    const int fade2 = tag::freeEnv(1, tag::FreeEnvFade);
    p().setOff(tag::freeEnv(1, tag::FreeEnvSync));
    open(fade2, {});
    EXPECT_FALSE(lastHas("Length in QB"));
    p().setOn(tag::freeEnv(1, tag::FreeEnvSync));
    open(fade2, {"Length in QB", ENV_FADE_TEMPO_SYNC_STR[30]});
    EXPECT_FLOAT_EQ(p().getParameter(fade2), stepValue(30, 60.99f));

    // Flanger and phaser speeds always offer theirs.
    for (int t : {tag::FlangerSpeed, tag::PhaserSpeed}) {
        open(t, {"Speed in QB", FX_PERIOD_STR[2]});
        EXPECT_EQ(popups.history().back().submenus[1].size(), 31u);
        EXPECT_EQ(p().getSteppedValue(t), 2) << t;
    }

    // The delay lengths only while the delay syncs.
    p().setOff(tag::DelaySyncOn);
    open(tag::DelayLeft, {});
    EXPECT_FALSE(lastHas("Length in QB"));
    p().setOn(tag::DelaySyncOn);
    open(tag::DelayRight, {"Length in QB", DELAY_LEN_STR[3]});
    EXPECT_FLOAT_EQ(p().getParameter(tag::DelayRight), stepValue(3, 14.99f));
}

TEST_F(MidiMenu, ChoosingARowWritesItsStep) {
    // Row 0 ("Off") of the LFO list, while the LFO syncs.
    p().setOn(tag::FreeLfo2SyncOn);
    p().setParameter(tag::FreeLfo2Speed, 0.7f);
    open(tag::FreeLfo2Speed, {"Speed in QB", LFO_PERIOD_STR[0]});
    EXPECT_FLOAT_EQ(p().getParameter(tag::FreeLfo2Speed), 0.1f / 33.99f);

    open(tag::ArpNumSteps, {"Arp Steps", "16"});
    EXPECT_EQ(p().getSteppedValue(tag::ArpNumSteps), 15);
    open(tag::ArpLoopStart, {"Arp Steps", "3"});
    EXPECT_EQ(p().getSteppedValue(tag::ArpLoopStart), 2);
    open(tag::ArpMagicSteps, {"Arp Magic Steps", ARP_MAGIC_STEPS_STR[8]});
    EXPECT_EQ(popups.history().back().submenus[1].size(), 9u);
    EXPECT_EQ(p().getSteppedValue(tag::ArpMagicSteps), 8);

    // A free envelope time of the first envelope while it syncs.
    p().setOn(tag::freeEnv(0, tag::FreeEnvSync));
    const int release1 = tag::freeEnv(0, tag::FreeEnvRelease);
    open(release1, {"Length in QB", ENV_TEMPO_SYNC_STR[12]});
    EXPECT_FLOAT_EQ(p().getParameter(release1), stepValue(12, 30.99f));
}

// ------------------------------------------------------------------ value commands

TEST_F(MidiMenu, ValueCommandsWriteThroughTheHost) {
    const int volume = tag::MainVolume; // default 0.833, zero 1.0
    CControl* c = control(volume);
    auto run = [&](const char* command) {
        const std::size_t before = automated();
        open(c, {command});
        EXPECT_EQ(automated(), before + 1) << command;
        return p().getParameter(volume);
    };
    EXPECT_FLOAT_EQ(run("Set to Minimum"), 0.0f);
    EXPECT_FLOAT_EQ(run("Set to Maximum"), 1.0f);
    EXPECT_FLOAT_EQ(run("Set to Mid"), 0.5f);
    EXPECT_FLOAT_EQ(run("Set to Default"), p().getDefaultValue(volume));
    EXPECT_FLOAT_EQ(run("Set to Mid"), 0.5f);
    EXPECT_FLOAT_EQ(run("Set to Zero"), p().meta().zeroValue[volume]);
    EXPECT_FLOAT_EQ(run("Set to Original Value"), p().getOrigValue(volume));
    run("Set to Mid");
    EXPECT_NEAR(run("Increase"), 0.51f, 1e-6);
    EXPECT_NEAR(run("Decrease"), 0.50f, 1e-6);

    // Stepped: one step at a time.
    p().setSteppedValue(tag::OscOctave, 4);
    open(tag::OscOctave, {"Increase"});
    EXPECT_EQ(p().getSteppedValue(tag::OscOctave), 5);

    // Typed in the parameter's own unit.
    dialogs.pushText("25");
    open(tag::FilterQ, {"Set to Value"});
    EXPECT_NEAR(p().getParameter(tag::FilterQ), 0.25f, 1e-5);
    ASSERT_EQ(dialogs.textRequests.size(), 1u);
    EXPECT_EQ(dialogs.textRequests[0].title, "Filter Q");
}

TEST_F(MidiMenu, RandomValuesComeFromTheEditorsGenerator) {
    EXPECT_FLOAT_EQ(menu_services::randomParameterValue(0x7FFF), 1.0f);
    EXPECT_FLOAT_EQ(menu_services::randomParameterValue(0xFFFF), 1.0f);
    EXPECT_FLOAT_EQ(menu_services::randomParameterValue(0x8000), 0.0f);

    menu_services::seedRandomParameterValues(1234);
    Random15 same(1234);
    p().engine.random.setSeed(99);
    for (int i = 0; i < 3; ++i) {
        open(tag::FilterQ, {"Set to Random"});
        EXPECT_FLOAT_EQ(p().getParameter(tag::FilterQ), same.next() / 32767.0f) << i;
    }
    // The audio thread's generator was not drawn from.
    Random15 engineCopy(99);
    EXPECT_EQ(p().engine.random.next(), engineCopy.next());
}

// ------------------------------------------------------------------ MIDI commands

TEST_F(MidiMenu, MidiCommandsLearnTypeUnlatchAndClear) {
    open(kCutoff, {"Latch to MIDI"});
    p().handleControlChange(7, 10, 0); // the audio thread's controller path
    EXPECT_EQ(p().engine.midi.ccMap[7].load(), kCutoff);
    idle(); // the editor's idle pass stores what was learned
    EXPECT_EQ(getMidiCC(7), kCutoff);

    dialogs.pushText("200");
    open(kCutoff, {"Set MIDI CC"});
    EXPECT_EQ(p().engine.midi.ccMap[127].load(), kCutoff);
    EXPECT_EQ(getMidiCC(127), kCutoff);
    open(kCutoff, {});
    EXPECT_TRUE(lastHas("Latched to MIDI CC :7"));

    open(kCutoff, {"Unlatch MIDI"});
    EXPECT_EQ(p().engine.midi.ccMap[7].load(), 0);
    EXPECT_EQ(p().engine.midi.ccMap[127].load(), 0);
    EXPECT_EQ(getMidiCC(7), 0);
    EXPECT_EQ(getMidiCC(127), 0);
    open(kCutoff, {});
    EXPECT_TRUE(lastHas("Not MIDI Latched"));

    p().engine.midi.ccMap[5].store(kNoDest);
    setMidiCC(5, kNoDest);
    open(kCutoff, {"Clear All MIDI"});
    EXPECT_EQ(p().engine.midi.ccMap[5].load(), 0);
    EXPECT_EQ(getMidiCC(5), 0);
}

// ------------------------------------------------------------------ no choice, no window

TEST_F(MidiMenu, DismissingOrHavingNoWindowChangesNothing) {
    std::array<float, tag::Count> before{};
    for (int t = 0; t < tag::Count; ++t) before[t] = p().getParameter(t);
    const std::size_t sent = automated();
    open(kCutoff, {});
    EXPECT_FALSE(p().core.popupOpen);
    EXPECT_EQ(automated(), sent);
    for (int t = 0; t < tag::Count; ++t) ASSERT_EQ(p().getParameter(t), before[t]) << t;

    ui().close();
    p().core.popupOpen.set();
    next({"Set to Minimum"});
    ui().showMIDIMenu(control(kCutoff), false);
    EXPECT_TRUE(p().core.popupOpen);
    EXPECT_EQ(popups.popupCount(), 1);
    EXPECT_EQ(p().getParameter(kCutoff), before[kCutoff]);
}

// ------------------------------------------------------------------ typed values

namespace {

// The number a value text shows in the unit its box asks in ("1.5 KHz" is
// 1500 hz, "1.50 sec" 1500 ms), with that unit; none for "Off", "C" or
// "50% L / 100% R".
std::optional<std::pair<double, std::string>> shownIn(std::string text) {
    if (text.starts_with("x")) text = text.substr(1) + "x"; // "x1.50"
    double x = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), x);
    if (error != std::errc()) return std::nullopt;
    std::string unit;
    for (const char* c = end; c != text.data() + text.size(); ++c)
        if (*c != ' ') unit += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
    if (unit == "khz" || unit == "sec") x *= 1000.0;
    const std::map<std::string, std::string> base = {{"khz", "hz"}, {"sec", "ms"}, {"m", "m^3"}};
    return std::pair{x, base.count(unit) ? base.at(unit) : unit};
}

} // namespace

// Every number a knob or slider on the main screen's pages can show, typed
// into the "Set to Value" box of its right-click menu, shows again as typed;
// so do the musician's own numbers. Texts that are not one number in the
// box's unit, and the pre-delay's 0 (which its box ignores), are left out.
TEST_F(MidiMenu, ATypedValueShowsAsTyped) {
    std::set<int> tested;
    int typedCount = 0;
    auto typeInto = [&](CControl* control, double number) {
        dialogs.textAnswers.clear();
        char text[32];
        dialogs.pushText(std::string(text, std::to_chars(text, text + 32, number).ptr));
        popups.chooseTitlePath({"Set to Value"});
        const std::size_t asked = dialogs.textRequests.size();
        clock.advance(1000);
        Testing::click(frame(), control->getViewSize().getCenter(), kRButton);
        return dialogs.textRequests.size() == asked + 1; // else a menu of its own
    };
    auto testShownControls = [&] {
        for (int slot = 0; slot < ui().getControlCount(); ++slot) {
            CControl* control = ui().getTableControl(slot);
            const int kind = ui().getTableKind(slot);
            const int t = control ? control->getTag() : -1;
            if ((kind != uEditor::kKnobKind && kind != uEditor::kSliderKind) || !tag::isValid(t) ||
                !control->isAttached() || !tested.insert(t).second)
                continue;
            for (int i = 0; i <= 24; ++i) {
                const float v = static_cast<float>(i) / 24.0f;
                const std::string text = p().formatParameterValue(t, v);
                const auto shown = shownIn(text);
                if (!shown || (t == tag::ReverbPreDelay && shown->first <= 0.0)) continue;
                p().setParameter(t, v < 0.5f ? 1.0f : 0.0f); // the box opens on another number
                if (!typeInto(control, shown->first)) break;
                const std::string prompt = dialogs.textRequests.back().prompt;
                const std::size_t digit = prompt.find_last_of("0123456789");
                std::string unit = prompt.substr(digit + 1);
                std::erase(unit, ' ');
                std::transform(unit.begin(), unit.end(), unit.begin(), ::tolower);
                if (unit != shown->second) break; // its box asks in another unit
                EXPECT_EQ(p().getParameterDisplayStr(t), text) << "typed into " << prompt;
                ++typedCount;
            }
        }
    };
    const editor_controls::All& c = ui().getControls();
    for (CView* page : std::initializer_list<CView*>{nullptr, c.filter.envelopeDisplay,
                                                     c.main.pageSelect[0], c.main.pageSelect[1]}) {
        if (page) Testing::click(frame(), page->getViewSize().getCenter());
        idle();
        testShownControls();
    }
    EXPECT_GE(tested.size(), 40u);
    EXPECT_GE(typedCount, 500);

    const std::tuple<int, const char*, const char*> musician[] = {
        {tag::FilterFreq, "1000", "1.0 KHz"},  {tag::HiPassFreq, "200", "200 Hz"},
        {tag::HiPassFreq, "1000", "1.0 KHz"},  {tag::FilterEnvAttack, "100", "100 ms"},
        {tag::freeEnv(0, 0), "500", "500 ms"}, {tag::AmpEnvAttack, "100", "100 ms"}};
    for (const auto& [t, number, shown] : musician) {
        dialogs.textAnswers.assign(1, number);
        open(t, {"Set to Value"});
        EXPECT_EQ(p().getParameterDisplayStr(t), shown);
    }
}
