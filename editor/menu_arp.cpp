// The arpeggiator menu: section resets, copy and paste of the whole section,
// rotating the pattern, a new magic selection, the commands of one grid cell,
// step and row, arpeggiator preset files and the section's one level of undo.

#include "controls/envarp.h"
#include "core/aplugin.h"
#include "core/section_tags.h"
#include "editor/popup_menu.h"
#include "editor/section_presets.h"
#include "editor/ueditor.h"

#include <algorithm>
#include <array>
#include <random>
#include <string>

using namespace VSTGUI;

namespace {

constexpr int kRows = tag::ArpRowCount;
constexpr int kSteps = tag::ArpStepCount;
constexpr float kPlayModeArp = 1.0f; // the last play mode

int gridTag(int row, int step) {
    return tag::arpStep(row, step);
}

constexpr std::array<const char*, 9> ARP_INFO = {
    "-GLeft Click: Change value",
    "-GLeft Click + Shift: Fine change value",
    "-GLeft Click + Super: Show this menu",
    "-GLeft Click + Ctrl: Set value",
    "-GLeft Click + Alt: Set steps",
    "-GDouble Click: Set to default",
    "-GRight Click: Show this menu",
    "-GScroll Wheel: Change amount",
    "-GScroll Wheel + Shift: Fine change amount",
};

enum class ArpCommand {
    None,
    ResetSection,
    SectionToOriginal,
    ResetGrid,
    AllStepsOn,
    AllStepsOff,
    ResetGridRow, // argument: the row
    Copy,
    Paste,
    MoveLeft,
    MoveRight,
    ResetMagic,
    ResetCell,
    ResetStep,
    ResetRow,
    RandomizeCell,
    RandomizeStep,
    RandomizeRow,
    CopyStep,
    PasteStep,
    SetAllToStep,
    SwapWithNext,
    SwapWithPrevious,
    EnterTune,
    EnterVelocity,
    EnterFree,
    LoadPreset,
    SavePreset,
    Undo
};

constexpr MenuEntry<ArpCommand> SECTION_COMMANDS[] = {
    {"-", ArpCommand::None},
    {"Reset Arp Section", ArpCommand::ResetSection},
    {"Set Arp Section to Original Settings", ArpCommand::SectionToOriginal},
    {"Reset Arp", ArpCommand::ResetGrid},
    {"Turn All Steps On", ArpCommand::AllStepsOn},
    {"Turn All Steps Off", ArpCommand::AllStepsOff},
};

// "Reset Tie Row" .. "Reset Ratcheting Row": rows 1..7.
constexpr std::array<const char*, 7> RESET_ROW_TITLES = {
    "Reset Tie Row",   "Reset Slide Row", "Reset Tune Row",       "Reset Velocity Row",
    "Reset Chord Row", "Reset Free Row",  "Reset Ratcheting Row",
};

constexpr MenuEntry<ArpCommand> GRID_COMMANDS[] = {
    {"-", ArpCommand::None},
    {"Copy Arp", ArpCommand::Copy},
    {"Paste Arp", ArpCommand::Paste},
    {"-", ArpCommand::None},
    {"Move Arp Left", ArpCommand::MoveLeft},
    {"Move Arp Right", ArpCommand::MoveRight},
    {"Reset Arp Magic", ArpCommand::ResetMagic},
};

// The commands of the grid cell the menu was opened on.
constexpr MenuEntry<ArpCommand> CELL_COMMANDS[] = {
    {"-", ArpCommand::None},
    {"Reset Cell", ArpCommand::ResetCell},
    {"Reset Step", ArpCommand::ResetStep},
    {"Reset Row", ArpCommand::ResetRow},
    {"-", ArpCommand::None},
    {"Randomize Cell", ArpCommand::RandomizeCell},
    {"Randomize Step", ArpCommand::RandomizeStep},
    {"Randomize Row", ArpCommand::RandomizeRow},
    {"-", ArpCommand::None},
    {"Copy Step", ArpCommand::CopyStep},
    {"Paste Step", ArpCommand::PasteStep},
    {"Set All To Step", ArpCommand::SetAllToStep},
    {"Swap Step With Next", ArpCommand::SwapWithNext},
    {"Swap Step With Previous", ArpCommand::SwapWithPrevious},
    {"-", ArpCommand::None},
    {"Enter Tune Value", ArpCommand::EnterTune},
    {"Enter Velocity Value", ArpCommand::EnterVelocity},
    {"Enter Free Value", ArpCommand::EnterFree},
};

constexpr MenuEntry<ArpCommand> UNDO_COMMAND[] = {
    {"-", ArpCommand::None},
    {"Undo", ArpCommand::Undo},
};

// The editor's random values for the grid: 15-bit steps spread over 0..1.
// One generator per thread: editors of several instances may run on
// threads of their own. Never drawn from on the audio thread.
float randomValue() {
    thread_local std::minstd_rand generator{std::random_device{}()};
    std::uniform_int_distribution<int> draw(0, 0x7FFF);
    return static_cast<float>(draw(generator)) / 32767.0f;
}

// After a paste or a load the play mode follows the Arp switch: the
// arpeggiator with the switch on, and not the arpeggiator with it off.
void followArpSwitch(APlugin& p) {
    if (p.getOnOff(tag::ArpOn))
        p.setParameter(tag::PlayMode, kPlayModeArp);
    else
        p.makePlayModeAgree(tag::ArpOn, false);
}

// Rotates the first n steps of every row by one: left, each step takes its
// right neighbour's value; right, its left neighbour's.
void moveArp(APlugin& p, int direction) {
    const int n = std::clamp(p.getArpNumOfSteps(), 1, kSteps);
    for (int row = 0; row < kRows; ++row) {
        std::array<float, kSteps> old{};
        for (int s = 0; s < kSteps; ++s) old[s] = p.getParameter(gridTag(row, s));
        for (int s = 0; s < n; ++s) p.setParameter(gridTag(row, s), old[(s + n + direction) % n]);
    }
}

} // namespace

void uEditor::doArpUndo() {
    APlugin* p = plugin();
    const TagStore& store = stores.undo[kArpSection];
    if (!p || !store.valid) return;
    for (int t : section_tags::ARP_TAGS) p->setParameterAutomated(t, store.value[t]);
}

void uEditor::showArpMenu(int row, int step, bool cellCommands) {
    APlugin* p = plugin();
    EditorPopup menu(*this);
    if (!p || !menu.valid()) return;
    if (step == -1) {
        const int led = controls.arp.screen ? controls.arp.screen->getLedPos() : 0;
        step = std::clamp(led, 0, kSteps - 1);
    }

    if (p->getArpOrPlayLocked()) {
        // Nothing may change a locked section: say so and leave.
        menu.add("-GArp Menu Locked");
        menu.show();
        return;
    }

    menu.add("-GArp Command Menu");
    COptionMenu* info = menu.addSubmenu("Info");
    for (const char* line : ARP_INFO) menu.add(line, info);
    menu.addTable(SECTION_COMMANDS);
    for (int i = 0; i < static_cast<int>(RESET_ROW_TITLES.size()); ++i)
        menu.add(RESET_ROW_TITLES[static_cast<std::size_t>(i)], ArpCommand::ResetGridRow,
                 tag::RowTied + i);
    menu.addTable(GRID_COMMANDS);
    if (cellCommands) menu.addTable(CELL_COMMANDS);
    menu.add("-");
    menu.add(section_presets::ARP_PRESET.loadTitle, ArpCommand::LoadPreset);
    menu.add(section_presets::ARP_PRESET.saveTitle, ArpCommand::SavePreset);
    menu.addTable(UNDO_COMMAND);

    menu.show();
    const ArpCommand command = menu.command<ArpCommand>();
    // The grid screen redraws at the next idle pass, whatever happened.
    requests.redrawArp = true;

    // Any outcome but Undo retakes the snapshot, so the command can be undone.
    if (command == ArpCommand::Undo) {
        doArpUndo();
        return;
    }
    setArpUndo();

    const auto& arpTags = section_tags::ARP_TAGS;
    TagStore& clipboard = stores.clipboard[kArpSection];
    // Cell commands need a cell of the grid.
    const bool onCell = cellCommands && row >= 0 && row < kRows && step >= 0 && step < kSteps;
    const int s = step;
    auto swapWith = [&](int d) {
        const int n = std::clamp(p->getArpNumOfSteps(), 1, kSteps);
        const int other = ((s + d + n) % n + n) % n;
        for (int r = 0; r < kRows; ++r) p->swapParameter(gridTag(r, s), gridTag(r, other));
    };

    switch (command) {
    case ArpCommand::None:
    case ArpCommand::Undo:
        break;

    // Section commands.
    case ArpCommand::ResetSection:
        for (std::size_t i = 1; i < arpTags.size(); ++i) p->setToDefault(arpTags[i]);
        break;
    case ArpCommand::SectionToOriginal:
        for (std::size_t i = 1; i < arpTags.size(); ++i) p->setToOrig(arpTags[i]);
        break;
    case ArpCommand::ResetGrid:
        for (int t = tag::ArpGridFirst; t <= tag::ArpGridLast; ++t) p->setToDefault(t);
        break;
    case ArpCommand::AllStepsOn:
        for (int st = 0; st < kSteps; ++st) p->setOn(gridTag(tag::RowOn, st));
        break;
    case ArpCommand::AllStepsOff:
        for (int st = 0; st < kSteps; ++st) p->setOff(gridTag(tag::RowOn, st));
        break;
    case ArpCommand::ResetGridRow: {
        const int resetRow = menu.argument();
        if (resetRow < 0 || resetRow >= kRows) break;
        for (int st = 0; st < kSteps; ++st) p->setToDefault(gridTag(resetRow, st));
        break;
    }
    case ArpCommand::Copy:
        for (int t : arpTags) clipboard.value[t] = p->getParameter(t);
        clipboard.valid = true;
        break;
    case ArpCommand::Paste:
        if (clipboard.valid) {
            for (int t : arpTags) p->setParameter(t, clipboard.value[t]);
            followArpSwitch(*p);
        }
        break;
    case ArpCommand::MoveLeft:
        moveArp(*p, +1);
        break;
    case ArpCommand::MoveRight:
        moveArp(*p, -1);
        break;
    case ArpCommand::ResetMagic:
        p->setOff(tag::SetArpRandom);
        p->resetArpMagic(true);
        break;
    case ArpCommand::LoadPreset:
        section_presets::loadSectionPreset(*p, section_presets::ARP_PRESET, arpTags,
                                           followArpSwitch);
        break;
    case ArpCommand::SavePreset:
        section_presets::saveSectionPreset(*p, section_presets::ARP_PRESET, arpTags);
        break;

    // Cell commands.
    case ArpCommand::ResetCell:
        if (onCell) p->setToDefault(gridTag(row, s));
        break;
    case ArpCommand::ResetStep:
        if (onCell)
            for (int r = 0; r < kRows; ++r) p->setToDefault(gridTag(r, s));
        break;
    case ArpCommand::ResetRow:
        if (onCell)
            for (int t = 0; t < kSteps; ++t) p->setToDefault(gridTag(row, t));
        break;
    case ArpCommand::RandomizeCell:
        if (onCell) p->setParameter(gridTag(row, s), randomValue());
        break;
    case ArpCommand::RandomizeStep:
        // Whether the step plays and is tied stays as it is.
        if (onCell)
            for (int r = tag::RowSlide; r < kRows; ++r)
                p->setParameter(gridTag(r, s), randomValue());
        break;
    case ArpCommand::RandomizeRow:
        if (onCell)
            for (int t = 0; t < kSteps; ++t) p->setParameter(gridTag(row, t), randomValue());
        break;
    case ArpCommand::CopyStep:
        if (!onCell) break;
        for (int r = 0; r < kRows; ++r) stores.stepClipboard[r] = p->getParameter(gridTag(r, s));
        stores.stepClipboardValid = true;
        break;
    case ArpCommand::PasteStep:
        if (onCell && stores.stepClipboardValid)
            for (int r = 0; r < kRows; ++r) p->setParameter(gridTag(r, s), stores.stepClipboard[r]);
        break;
    case ArpCommand::SetAllToStep:
        if (onCell)
            for (int r = 0; r < kRows; ++r)
                for (int t = 0; t < kSteps; ++t) p->copyParameter(gridTag(r, s), gridTag(r, t));
        break;
    case ArpCommand::SwapWithNext:
        if (onCell) swapWith(1);
        break;
    case ArpCommand::SwapWithPrevious:
        if (onCell) swapWith(-1);
        break;
    case ArpCommand::EnterTune:
        if (onCell) p->setNumValue(gridTag(tag::RowTune, s));
        break;
    case ArpCommand::EnterVelocity:
        if (onCell) p->setNumValue(gridTag(tag::RowVelocity, s));
        break;
    case ArpCommand::EnterFree:
        if (onCell) p->setNumValue(gridTag(tag::RowFree, s));
        break;
    }
}
