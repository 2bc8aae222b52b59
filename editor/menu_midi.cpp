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
#include <iterator>
#include <span>
#include <string>

using namespace VSTGUI;

namespace {

constexpr int kControllers = 128;
constexpr int kUserSlots = tag::ModSlotCount;
constexpr int kXYSlots = tag::XYModCount;
constexpr float kNewSlotAmount = 0.5f;

enum class MidiCommand {
    None,
    SetToDefault,
    SetToOriginal,
    SetToZero,
    SetToMinimum,
    SetToMaximum,
    SetToMid,
    SetToValue,
    SetToRandom,
    Increase,
    Decrease,
    SetListValue, // argument: the row of the value list
    LatchToMidi,
    UnlatchMidi,
    SetMidiCC,
    ClearAllMidi,
    ModulateBy,   // argument: the source
    ModulateByXY, // argument: the entry of kXYCommands
    ClearModulation,
    DefaultModulationAmount,
    BypassModulation,
    UnBypassModulation
};

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
                                         "-GLeft Click + Super: Show this menu",
                                         "-GLeft Click + Ctrl: Set to default",
                                         "-GLeft Click + Alt: Set to original value",
                                         "-GDouble Click: Set to default",
                                         "-GRight Click: Show this menu",
                                         "-GScroll Wheel: Change value",
                                         "-GScroll Wheel + Shift: Fine change amount"};

constexpr MenuEntry<MidiCommand> kValueCommands[] = {
    {"Set to Default", MidiCommand::SetToDefault},
    {"Set to Original Value", MidiCommand::SetToOriginal},
    {"Set to Zero", MidiCommand::SetToZero},
    {"Set to Minimum", MidiCommand::SetToMinimum},
    {"Set to Maximum", MidiCommand::SetToMaximum},
    {"Set to Mid", MidiCommand::SetToMid},
    {"Set to Value", MidiCommand::SetToValue},
    {"Set to Random", MidiCommand::SetToRandom},
    {"Increase", MidiCommand::Increase},
    {"Decrease", MidiCommand::Decrease},
};

constexpr MenuEntry<MidiCommand> kMidiCommands[] = {
    {"Latch to MIDI", MidiCommand::LatchToMidi},
    {"Unlatch MIDI", MidiCommand::UnlatchMidi},
    {"Set MIDI CC", MidiCommand::SetMidiCC},
    {"Clear All MIDI", MidiCommand::ClearAllMidi},
};

// Offered when the parameter can be modulated.
constexpr MenuEntry<MidiCommand> kModCommands[] = {
    {"Clear Modulation", MidiCommand::ClearModulation},
    {"Default Modulation Amount", MidiCommand::DefaultModulationAmount},
    {"Bypass Modulation", MidiCommand::BypassModulation},
    {"Un-Bypass Modulation", MidiCommand::UnBypassModulation},
};

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
    if (dest > dst::None) {
        menu.add(modulationLine(p, dest));
        menu.add("-");
    }
    COptionMenu* gestures =
        menu.addSubmenu(slider ? "Slider Control Information" : "Dial Control Information");
    for (const char* line : kGestureLines) menu.add(line, gestures);
    menu.add("-");
    menu.addTable(kValueCommands);

    const ValueList list = valueListFor(p, t);
    COptionMenu* listMenu = nullptr;
    if (list.title) {
        listMenu = menu.addSubmenu(list.title);
        for (int i = 0; i < static_cast<int>(list.rows.size()); ++i)
            menu.add(list.rows[static_cast<std::size_t>(i)], MidiCommand::SetListValue, i,
                     listMenu);
    }

    menu.add("-");
    menu.addTable(kMidiCommands);
    menu.add("-");

    if (dest != dst::None) {
        for (int g = 0; g < src::GroupCount; ++g) {
            COptionMenu* sources =
                menu.addSubmenu(std::string("Modulate by ") + vocabAt(SRC_SUB_STR, g));
            for (int i = src::GroupFirst[g]; i < src::GroupEnd[g]; ++i)
                menu.add(vocabAt(SRC_STR, i), MidiCommand::ModulateBy, i, sources);
        }
        COptionMenu* xy = menu.addSubmenu("Modulate by XY");
        for (int i = 0; i < static_cast<int>(std::size(kXYCommands)); ++i)
            menu.add(kXYCommands[i].title, MidiCommand::ModulateByXY, i, xy);
        menu.add("-");
        menu.addTable(kModCommands);
    }

    menu.show();

    // The modulation commands act on what the parameter feeds now.
    const int current = p.getTagDest(t);
    const int arg = menu.argument();
    switch (menu.command<MidiCommand>()) {
    case MidiCommand::None:
        break;
    case MidiCommand::SetToDefault:
        p.setToDefault(t);
        break;
    case MidiCommand::SetToOriginal:
        p.setToOrig(t);
        break;
    case MidiCommand::SetToZero:
        p.setParameterAutomated(t, p.meta().zeroValue[t]);
        break;
    case MidiCommand::SetToMinimum:
        p.setParameterAutomated(t, 0.0f);
        break;
    case MidiCommand::SetToMaximum:
        p.setParameterAutomated(t, 1.0f);
        break;
    case MidiCommand::SetToMid:
        p.setParameterAutomated(t, 0.5f);
        break;
    case MidiCommand::SetToRandom:
        p.setParameterAutomated(t, menu_services::nextRandomParameterValue());
        break;
    case MidiCommand::SetToValue:
        p.setNumValue(t);
        break;
    case MidiCommand::Increase:
        p.changeDelta(t, 1, false, 1.0f);
        break;
    case MidiCommand::Decrease:
        p.changeDelta(t, -1, false, 1.0f);
        break;
    case MidiCommand::SetListValue:
        if (arg >= static_cast<int>(list.rows.size())) break;
        if (list.count > 0)
            p.setSteppedValue(t, arg, list.range, list.count);
        else
            p.setSteppedValue(t, arg);
        break;
    case MidiCommand::LatchToMidi:
        p.setMIDILatch(t, true);
        break;
    case MidiCommand::UnlatchMidi:
        p.setMIDILatch(t, false);
        break;
    case MidiCommand::SetMidiCC:
        p.setMIDICCNum(t);
        break;
    case MidiCommand::ClearAllMidi:
        p.resetMIDI();
        break;
    case MidiCommand::ModulateBy:
        modulateBy(p, arg, current);
        break;
    case MidiCommand::ModulateByXY:
        if (dest != dst::None && arg < static_cast<int>(std::size(kXYCommands)))
            p.setSteppedValue(kXYCommands[arg].destTag, dest);
        break;
    case MidiCommand::ClearModulation:
        if (current != dst::None) clearModulation(p, current);
        break;
    case MidiCommand::DefaultModulationAmount:
        if (current != dst::None) defaultModulationAmount(p, current);
        break;
    case MidiCommand::BypassModulation:
        if (current != dst::None) bypassModulation(p, current, true);
        break;
    case MidiCommand::UnBypassModulation:
        if (current != dst::None) bypassModulation(p, current, false);
        break;
    }
}
