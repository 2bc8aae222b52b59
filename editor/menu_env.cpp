// The envelope menu of the amp and filter envelope screens: reset, copy and
// paste, MIDI latching and typed values per stage, the screens' options,
// envelope preset files and the envelope section's one level of undo.

#include "controls/envarp.h"
#include "controls/tbuttons.h"
#include "core/aplugin.h"
#include "core/section_tags.h"
#include "editor/popup_menu.h"
#include "editor/section_presets.h"
#include "editor/section_values.h"
#include "editor/ueditor.h"
#include "platform/prefs.h"

#include <algorithm>
#include <array>
#include <span>
#include <string>

using namespace VSTGUI;

namespace {

constexpr int kEnvelopeCount = 4;

// The stage names as the entries spell them, attack to release.
constexpr std::array<const char*, 4> STAGE_NAMES = {"Attack", "Decay", "Sustain", "Release"};
// The value lines' labels, padded as the menu shows them.
constexpr std::array<const char*, 4> STAGE_LABELS = {
    "Attack : ", "Decay : ", "Sustain: ", "Release: "};

constexpr std::array<const char*, 9> ENV_INFO = {
    "-GLeft Click: Change value",
    "-GLeft Click + Shift: Fine change value",
    "-GLeft Click + Super: Show this menu",
    "-GLeft Click + Ctrl: Set value",
    "-GLeft Click + Alt: Set to original value",
    "-GDouble Click: Set to default",
    "-GRight Click: Show this menu",
    "-GScroll Wheel: Change amount",
    "-GScroll Wheel + Shift: Fine change amount",
};

enum class EnvCommand {
    None,
    Reset,
    SetToOriginal,
    Copy,
    Paste,
    LatchStage, // argument: the stage, 0 (attack) .. 3 (release)
    UnlatchStage,
    UnlatchAll,
    StageToDefault,
    StageToValue,
    ShowDials,
    DecaySustainOn,
    DecaySustainOff,
    LoadPreset,
    SavePreset,
    Undo
};

constexpr MenuEntry<EnvCommand> SECTION_COMMANDS[] = {
    {"-", EnvCommand::None},
    {"Reset Envelope", EnvCommand::Reset},
    {"Set Envelope to Original Settings", EnvCommand::SetToOriginal},
    {"Copy Envelope", EnvCommand::Copy},
    {"Paste Envelope", EnvCommand::Paste},
};

// A command offered once per stage, labelled before + stage name + after.
struct StageCommand {
    const char* before;
    const char* after;
    EnvCommand command;
};
constexpr StageCommand LATCH_STAGE = {"Latch ", " to MIDI", EnvCommand::LatchStage};
constexpr StageCommand UNLATCH_STAGE = {"Unlatch ", " MIDI", EnvCommand::UnlatchStage};
constexpr StageCommand STAGE_TO_DEFAULT = {"Set ", " To Default", EnvCommand::StageToDefault};
constexpr StageCommand STAGE_TO_VALUE = {"Set ", " To Value", EnvCommand::StageToValue};
constexpr MenuEntry<EnvCommand> UNLATCH_ALL = {"Unlatch All", EnvCommand::UnlatchAll};

constexpr MenuEntry<EnvCommand> DISPLAY_COMMANDS[] = {
    {"-", EnvCommand::None},
    {"Show Envelope Dials", EnvCommand::ShowDials},
    {"Turn Delay / Sustain Change On", EnvCommand::DecaySustainOn},
    {"Turn Delay / Sustain Change Off", EnvCommand::DecaySustainOff},
};
constexpr MenuEntry<EnvCommand> UNDO_COMMAND[] = {
    {"-", EnvCommand::None},
    {"Undo", EnvCommand::Undo},
};

// Attack, decay, sustain and release tags of one envelope.
std::span<const int, 4> envelopeTags(int envelope) {
    return std::span<const int, 4>(section_tags::ENV_TAGS.data() + 4 * envelope, 4);
}

} // namespace

void uEditor::doEnvUndo() {
    APlugin* p = plugin();
    if (!p) return;
    section_values::restore(*p, stores.undo[kEnvSection], section_tags::ENV_TAGS);
}

void uEditor::showEnvMenu(int envelope) {
    if (envelope < 0 || envelope >= kEnvelopeCount) return;
    APlugin* p = plugin();
    EditorPopup menu(*this);
    if (!p || !menu.valid()) return;
    const std::span<const int, 4> tags = envelopeTags(envelope);

    menu.add(envelope == 1 ? "-GFilter Envelope Command Menu" : "-GAmp Envelope Command Menu");
    for (int i = 0; i < 4; ++i)
        menu.add(std::string("-G") + STAGE_LABELS[i] + p->getParameterDisplayStr(tags[i]));
    COptionMenu* info = menu.addSubmenu("Info");
    for (const char* line : ENV_INFO) menu.add(line, info);

    auto stages = [&menu](const StageCommand& entry) {
        for (int i = 0; i < 4; ++i)
            menu.add(std::string(entry.before) + STAGE_NAMES[i] + entry.after, entry.command, i);
    };
    menu.addTable(SECTION_COMMANDS);
    menu.add("-");
    stages(LATCH_STAGE);
    menu.add("-");
    stages(UNLATCH_STAGE);
    menu.add(UNLATCH_ALL);
    menu.add("-");
    stages(STAGE_TO_DEFAULT);
    menu.add("-");
    stages(STAGE_TO_VALUE);
    menu.addTable(DISPLAY_COMMANDS);
    menu.add("-");
    menu.add(section_presets::ENV_PRESET.loadTitle, EnvCommand::LoadPreset);
    menu.add(section_presets::ENV_PRESET.saveTitle, EnvCommand::SavePreset);
    menu.addTable(UNDO_COMMAND);

    menu.show();
    const EnvCommand command = menu.command<EnvCommand>();

    // Any outcome but Undo retakes the snapshot, so the command can be undone.
    if (command == EnvCommand::Undo) {
        doEnvUndo();
        return;
    }
    setEnvUndo();

    TagStore& clipboard = stores.clipboard[kEnvSection];
    const int stage = std::clamp(menu.argument(), 0, 3);
    auto setDecaySustain = [this](bool on) {
        prefs.decaySustain = on;
        setRegValue(REG_DECAY_SUSTAIN_STR, prefs.decaySustain);
        for (TEnvScreen* screen : {controls.filter.ampEnvScreen, controls.filter.filterEnvScreen})
            if (screen) screen->setDecaySustain(prefs.decaySustain);
        if (TOnOff* button = controls.back.decaySustain) button->setState(prefs.decaySustain);
    };
    switch (command) {
    case EnvCommand::None:
    case EnvCommand::Undo:
        break;
    case EnvCommand::Reset:
        for (int t : tags) p->setToDefault(t);
        break;
    case EnvCommand::SetToOriginal:
        for (int t : tags) p->setToOrig(t);
        break;
    case EnvCommand::Copy:
        for (int t : tags) clipboard.value[t] = p->getParameter(t);
        clipboard.valid = true;
        envelopeCopied[envelope] = true;
        break;
    case EnvCommand::Paste:
        // The clipboard is kept per tag: only this envelope's own copy pastes.
        if (clipboard.valid && envelopeCopied[envelope])
            for (int t : tags) p->setParameter(t, clipboard.value[t]);
        break;
    case EnvCommand::LatchStage:
        p->setMIDILatch(tags[stage], true);
        break;
    case EnvCommand::UnlatchStage:
        p->setMIDILatch(tags[stage], false);
        break;
    case EnvCommand::UnlatchAll:
        for (int t : tags) p->setMIDILatch(t, false);
        break;
    case EnvCommand::StageToDefault:
        p->setToDefault(tags[stage]);
        break;
    case EnvCommand::StageToValue:
        p->setNumValue(tags[stage]);
        break;
    case EnvCommand::ShowDials:
        setRegValue(REG_ENV_STR, true);
        prefs.envelopeShowKnobs = true;
        requests.rebuildEnvPages = true;
        if (TOnOff* button = controls.filter.envelopeDisplay) {
            button->setValue(1.0f);
            button->invalid();
        }
        break;
    case EnvCommand::DecaySustainOn:
        setDecaySustain(true);
        break;
    case EnvCommand::DecaySustainOff:
        setDecaySustain(false);
        break;
    case EnvCommand::LoadPreset:
        section_presets::loadSectionPreset(*p, section_presets::ENV_PRESET, tags);
        break;
    case EnvCommand::SavePreset:
        section_presets::saveSectionPreset(*p, section_presets::ENV_PRESET, tags);
        break;
    }
}
