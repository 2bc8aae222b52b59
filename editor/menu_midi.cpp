// The parameter context menu of knobs and sliders: what the parameter is and
// what drives it, value commands, tempo-synced value lists, MIDI learn and
// modulation assignment.

#include "core/aplugin.h"
#include "core/mod_slots.h"
#include "core/vocabulary.h"
#include "editor/menu_midi_control.h"
#include "editor/popup_menu.h"
#include "editor/ueditor.h"
#include "engine/random15.h"
#include "platform/prefs.h"

#include <chrono>
#include <span>
#include <string>

using namespace VSTGUI;

namespace {

constexpr int kControllers = 128;
constexpr int kUserSlots = tag::ModSlotCount;
constexpr int kXYSlots = tag::XYModCount;
constexpr float kNewSlotAmount = 0.5f;

// The XY commands and the destination parameter of each (X 1, X 2, Y 1, Y 2).
struct XYCommand {
    const char* title;
    int destTag;
};
constexpr XYCommand kXYCommands[4] = {{"Modulate by XY X 1", tag::XYModDestFirst},
                                      {"Modulate by XY X 2", tag::XYModDestFirst + 2},
                                      {"Modulate by XY Y 1", tag::XYModDestFirst + 1},
                                      {"Modulate by XY Y 2", tag::XYModDestFirst + 3}};

constexpr const char* kGestureLines[] = {"-GLeft Click: Change value",
                                         "-GLeft Click + Shift: Fine change value",
                                         "-GLeft Click + Control: Show this menu",
                                         "-GLeft Click + Command: Set to default",
                                         "-GLeft Click + Opt: Set to original value",
                                         "-GDouble Click: Set to default",
                                         "-GRight Click: Show this menu",
                                         "-GScroll Wheel: Change value",
                                         "-GScroll Wheel + Shift: Fine change amount"};

constexpr const char* kValueCommands[] = {
    "Set to Default", "Set to Original Value", "Set to Zero",   "Set to Minimum", "Set to Maximum",
    "Set to Mid",     "Set to Value",          "Set to Random", "Increase",       "Decrease"};

constexpr const char* kMidiCommands[] = {"Latch to MIDI", "Unlatch MIDI", "Set MIDI CC",
                                         "Clear All MIDI"};

constexpr const char* kModCommands[] = {"Clear Modulation", "Default Modulation Amount",
                                        "Bypass Modulation", "Un-Bypass Modulation"};

// A tempo-synced value list: its title, its rows and how a row is written
// (count 0: with the parameter's own step range).
struct ValueList {
    const char* title = nullptr;
    std::span<const char* const> rows;
    float range = 0.0f;
    int count = 0;
};

// The value list a parameter offers now, if any.
ValueList valueListFor(const APlugin& p, int t) {
    const bool env1Synced = p.getOnOff(tag::freeEnv(0, tag::FreeEnvSync));
    const bool env2Synced = p.getOnOff(tag::freeEnv(1, tag::FreeEnvSync));
    const auto envTime = [&](int env) {
        return t == tag::freeEnv(env, tag::FreeEnvAttack) ||
               t == tag::freeEnv(env, tag::FreeEnvDecay) ||
               t == tag::freeEnv(env, tag::FreeEnvRelease);
    };
    if ((envTime(0) && env1Synced) || (envTime(1) && env2Synced))
        return {"Length in QB", ENV_TEMPO_SYNC_STR, 30.99f, 31};
    if ((t == tag::freeEnv(0, tag::FreeEnvFade) && env1Synced) ||
        (t == tag::freeEnv(1, tag::FreeEnvFade) && env2Synced))
        return {"Length in QB", ENV_FADE_TEMPO_SYNC_STR, 60.99f, 61};
    if ((t == tag::FreeLfo1Speed && p.getOnOff(tag::FreeLfo1SyncOn)) ||
        (t == tag::FreeLfo2Speed && p.getOnOff(tag::FreeLfo2SyncOn)))
        return {"Speed in QB", LFO_PERIOD_STR, 33.99f, 34};
    if (t == tag::ArpNumSteps || t == tag::ArpLoopStart) return {"Arp Steps", ARP_STEPS_STR};
    if (t == tag::ArpMagicSteps) return {"Arp Magic Steps", ARP_MAGIC_STEPS_STR};
    if (t == tag::FlangerSpeed || t == tag::PhaserSpeed) return {"Speed in QB", FX_PERIOD_STR};
    if ((t == tag::DelayLeft || t == tag::DelayRight) && p.getOnOff(tag::DelaySyncOn))
        return {"Length in QB", DELAY_LEN_STR, 14.99f, 15};
    return {};
}

// "Latched to MIDI CC :7" for the lowest controller bound to t.
std::string midiLine(int t) {
    for (int n = 0; n < kControllers; ++n)
        if (getMidiCC(n) == t) return "-GLatched to MIDI CC :" + std::to_string(n);
    return "-GNot MIDI Latched";
}

// What modulates dest: the lowest slot (user slots, then the XY slots).
std::string modulationLine(APlugin& p, int dest) {
    for (int s = 0; s < kUserSlots + kXYSlots; ++s) {
        if (p.getModDest(s) != dest) continue;
        if (s < kUserSlots)
            return std::string("-GModulated by ") + vocabAt(SRC_STR, p.getModSrc(s)) + " - " +
                   vocabAt(MOD_STR, s);
        return std::string("-GModulated by ") + vocabAt(MOD_STR, s);
    }
    return "-GNot Modulated by Anything";
}

// A new modulation of dest by source in the first user slot that has no
// destination; nothing when all are taken.
void modulateBy(APlugin& p, int source, int dest) {
    for (int k = 0; k < kUserSlots; ++k) {
        if (p.getModSlotDest(k) != dst::None) continue;
        p.setModSlotVar(k, false, kNewSlotAmount, source, dest);
        return;
    }
}

void clearModulation(APlugin& p, int dest) {
    for (int k = 0; k < kUserSlots; ++k)
        if (p.getModSlotDest(k) == dest)
            p.setModSlotVar(k, false, kNewSlotAmount, src::None, dst::None);
    for (int j = 0; j < kXYSlots; ++j) {
        if (p.getModDest(kUserSlots + j) != dest) continue;
        p.setSteppedValue(tag::XYModDestFirst + j, 0);
        p.setToDefault(tag::XYModAmountFirst + j);
    }
}

void defaultModulationAmount(APlugin& p, int dest) {
    for (int k = 0; k < kUserSlots; ++k) {
        if (p.getModSlotDest(k) != dest) continue;
        p.setToDefault(tag::slotAmount(k));
        p.setToDefault(tag::slotBypass(k));
    }
    for (int j = 0; j < kXYSlots; ++j)
        if (p.getModDest(kUserSlots + j) == dest) p.setToDefault(tag::XYModAmountFirst + j);
}

// XY slots have no bypass switch.
void bypassModulation(APlugin& p, int dest, bool bypass) {
    for (int k = 0; k < kUserSlots; ++k)
        if (p.getModSlotDest(k) == dest) p.setOnOff(tag::slotBypass(k), bypass);
}

Random15& editorRandom() {
    static Random15 generator(static_cast<std::uint32_t>(
        std::chrono::steady_clock::now().time_since_epoch().count() | 1));
    return generator;
}

} // namespace

namespace menu_services {

float randomParameterValue(int r) {
    return static_cast<float>(r & 0x7FFF) / 32767.0f;
}

float nextRandomParameterValue() {
    return randomParameterValue(editorRandom().next());
}

void seedRandomParameterValues(std::uint32_t seed) {
    editorRandom().setSeed(seed);
}

} // namespace menu_services

void uEditor::showMIDIMenu(CControl* control, bool slider) {
    if (!control || !isValidTag(control->getTag())) return;
    EditorPopup menu(*this);
    if (!menu.valid()) return;
    APlugin& p = *plugin();
    const int t = control->getTag();
    const int dest = p.getTagDest(t);
    // Bindings the audio thread has just learned belong in the MIDI line.
    p.flushLearnedControllers();

    menu.add("-GControl and MIDI Command Menu");
    menu.add("-G" + p.getParameterNameStr(t) + ": " + p.getParameterDisplayStr(t));
    menu.add(midiLine(t));
    if (dest > 0) {
        menu.add(modulationLine(p, dest));
        menu.add("-");
    }
    COptionMenu* gestures =
        menu.addSubmenu(slider ? "Slider Control Information" : "Dial Control Information");
    for (const char* line : kGestureLines) menu.add(line, gestures);
    menu.add("-");
    for (const char* command : kValueCommands) menu.add(command);

    const ValueList list = valueListFor(p, t);
    COptionMenu* listMenu = nullptr;
    if (list.title) {
        listMenu = menu.addSubmenu(list.title);
        for (const char* row : list.rows) menu.add(row, listMenu);
    }

    menu.add("-");
    for (const char* command : kMidiCommands) menu.add(command);
    menu.add("-");

    COptionMenu* sourceMenus[3] = {};
    if (dest != 0) {
        for (int g = 0; g < src::GroupCount; ++g) {
            sourceMenus[g] = menu.addSubmenu(std::string("Modulate by ") + vocabAt(SRC_SUB_STR, g));
            for (int i = src::GroupFirst[g]; i < src::GroupEnd[g]; ++i)
                menu.add(vocabAt(SRC_STR, i), sourceMenus[g]);
        }
        COptionMenu* xy = menu.addSubmenu("Modulate by XY");
        for (const XYCommand& command : kXYCommands) menu.add(command.title, xy);
        menu.add("-");
        for (const char* command : kModCommands) menu.add(command);
    }

    menu.show();

    // Root commands.
    const std::string& root = menu.rootChoice();
    if (root == "Set to Default") p.setToDefault(t);
    if (root == "Set to Original Value") p.setToOrig(t);
    if (root == "Set to Zero") p.setParameterAutomated(t, p.meta().zeroValue[t]);
    if (root == "Set to Minimum") p.setParameterAutomated(t, 0.0f);
    if (root == "Set to Maximum") p.setParameterAutomated(t, 1.0f);
    if (root == "Set to Mid") p.setParameterAutomated(t, 0.5f);
    if (root == "Set to Random")
        p.setParameterAutomated(t, menu_services::nextRandomParameterValue());
    if (root == "Set to Value") p.setNumValue(t);
    if (root == "Increase") p.changeDelta(t, 1, false, 1.0f);
    if (root == "Decrease") p.changeDelta(t, -1, false, 1.0f);
    if (root == "Latch to MIDI") p.setMIDILatch(t, true);
    if (root == "Unlatch MIDI") p.setMIDILatch(t, false);
    if (root == "Set MIDI CC") p.setMIDICCNum(t);
    if (root == "Clear All MIDI") p.resetMIDI();

    // Submenu entries and the modulation commands. A title is only looked
    // for in the menu it was chosen from: the value lists share texts such
    // as "Off" and the step numbers.
    const std::string& item = menu.itemChoice();
    COptionMenu* chosenIn = menu.choiceSubmenu();
    if (!chosenIn) return;

    if (dest != 0)
        for (const XYCommand& command : kXYCommands)
            if (item == command.title) p.setSteppedValue(command.destTag, dest);

    for (COptionMenu* sources : sourceMenus) {
        if (!sources || chosenIn != sources) continue;
        for (int i = 0; i < static_cast<int>(SRC_STR.size()); ++i)
            if (item == SRC_STR[static_cast<std::size_t>(i)]) modulateBy(p, i, p.getTagDest(t));
    }

    if (chosenIn == menu.root()) {
        const int current = p.getTagDest(t);
        if (current != 0) {
            if (item == "Clear Modulation") clearModulation(p, current);
            if (item == "Default Modulation Amount") defaultModulationAmount(p, current);
            if (item == "Bypass Modulation") bypassModulation(p, current, true);
            if (item == "Un-Bypass Modulation") bypassModulation(p, current, false);
        }
    }

    if (listMenu && chosenIn == listMenu) {
        for (std::size_t i = 0; i < list.rows.size(); ++i) {
            if (item != list.rows[i]) continue;
            if (list.count > 0)
                p.setSteppedValue(t, static_cast<int>(i), list.range, list.count);
            else
                p.setSteppedValue(t, static_cast<int>(i));
            break;
        }
    }
}
