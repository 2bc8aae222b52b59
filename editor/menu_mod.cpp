// The modulation matrix menu: commands for the whole matrix of twelve user
// slots and, when opened on a slot of the matrix screen, for that slot; the
// matrix preset files and one level of undo shared with the screen.
//
// Every outcome but "Undo" (a dismissed menu too) first retakes the undo
// snapshot, so the command that follows can be taken back.

#include "core/aplugin.h"
#include "core/mod_slots.h"
#include "core/section_tags.h"
#include "core/vocabulary.h"
#include "editor/popup_menu.h"
#include "editor/section_presets.h"
#include "editor/ueditor.h"
#include "engine/matrix.h"

#include <array>
#include <string>

using namespace VSTGUI;

namespace {

constexpr int kSlots = tag::ModSlotCount;

constexpr const char* kInfoLines[] = {
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

enum class ModCommand {
    None,
    ResetMatrix,
    MatrixToOriginal,
    ZeroAmounts,
    BypassAll,
    UnBypassAll,
    CopyMatrix,
    PasteMatrix,
    ResetSlot,
    ZeroSlotAmount,
    CopySlot,
    PasteSlot,
    BypassSlot,
    UnBypassSlot,
    MoveSlotUp,
    MoveSlotDown,
    EnterSlotAmount,
    ModulateSlotAmount, // argument: the source
    LoadPreset,
    SavePreset,
    Undo
};

constexpr MenuEntry<ModCommand> MATRIX_COMMANDS[] = {
    {"-", ModCommand::None},
    {"Reset Mod Matrix", ModCommand::ResetMatrix},
    {"Set Mod Matrix to Original Settings", ModCommand::MatrixToOriginal},
    {"Zero Amounts", ModCommand::ZeroAmounts},
    {"Bypass All", ModCommand::BypassAll},
    {"Un-Bypass All", ModCommand::UnBypassAll},
    {"Copy Mod Matrix", ModCommand::CopyMatrix},
    {"Paste Mod Matrix", ModCommand::PasteMatrix},
    {"-", ModCommand::None},
};

// The commands of the slot the menu was opened on.
constexpr MenuEntry<ModCommand> SLOT_COMMANDS[] = {
    {"Reset Slot", ModCommand::ResetSlot},
    {"Zero Slot Amount", ModCommand::ZeroSlotAmount},
    {"Copy Slot", ModCommand::CopySlot},
    {"Paste Slot", ModCommand::PasteSlot},
    {"Bypass Slot", ModCommand::BypassSlot},
    {"Un-Bypass Slot", ModCommand::UnBypassSlot},
    {"Move Slot Up", ModCommand::MoveSlotUp},
    {"Move Slot Down", ModCommand::MoveSlotDown},
    {"Enter Slot Amount Value", ModCommand::EnterSlotAmount},
};

constexpr MenuEntry<ModCommand> LAST_COMMANDS[] = {
    {"Load Mod Matrix Preset", ModCommand::LoadPreset},
    {"Save Mod Matrix Preset", ModCommand::SavePreset},
    {"-", ModCommand::None},
    {"Undo", ModCommand::Undo},
};

constexpr const char* kModulateSlotPrefix = "Modulate Slot Amount by ";

// A slot's four tags in the order of the slot clipboard and of a move.
std::array<int, 4> slotTags(int k) {
    return {tag::slotBypass(k), tag::slotSource(k), tag::slotDest(k), tag::slotAmount(k)};
}

// An empty slot: not bypassed, no modulation, no source, no destination.
void resetSlot(APlugin& p, int k) {
    p.setParameter(tag::slotBypass(k), 0.0f);
    p.setParameter(tag::slotAmount(k), 0.5f);
    p.setParameter(tag::slotSource(k), 0.0f);
    p.setParameter(tag::slotDest(k), 0.0f);
}

void swapSlots(APlugin& p, int a, int b) {
    const auto ta = slotTags(a);
    const auto tb = slotTags(b);
    for (std::size_t i = 0; i < ta.size(); ++i) p.swapParameter(ta[i], tb[i]);
}

// Source `source` on the first free slot after k, aimed at slot k's amount;
// nothing when every later slot has a destination.
void modulateSlotAmount(APlugin& p, int k, int source) {
    for (int slot = k + 1; slot < kSlots; ++slot) {
        if (p.getModSlotDest(slot) != dst::None) continue;
        p.setModSlotVar(slot, false, 0.5f, source, DEST_MOD_AMT[static_cast<std::size_t>(k)]);
        return;
    }
}

} // namespace

void uEditor::showModMenu(int slot) {
    APlugin* p = plugin();
    if (!p) return;
    EditorPopup menu(*this);
    if (!menu.valid()) return;
    const bool forSlot = slot >= 0 && slot < kSlots;

    menu.add("-GMod Matrix Command Menu");
    menu.add("-");
    COptionMenu* info = menu.addSubmenu("Info");
    for (const char* line : kInfoLines) menu.add(line, info);
    menu.addTable(MATRIX_COMMANDS);
    if (forSlot) {
        menu.addTable(SLOT_COMMANDS);
        for (std::size_t g = 0; g < src::GroupFirst.size(); ++g) {
            COptionMenu* sources =
                menu.addSubmenu(kModulateSlotPrefix + std::string(SRC_SUB_STR[g]));
            for (int i = src::GroupFirst[g]; i < src::GroupEnd[g]; ++i)
                menu.add(SRC_STR[static_cast<std::size_t>(i)], ModCommand::ModulateSlotAmount, i,
                         sources);
        }
        menu.add("-");
    }
    menu.addTable(LAST_COMMANDS);

    menu.show();
    const ModCommand command = menu.command<ModCommand>();
    if (command == ModCommand::Undo) {
        doModUndo();
        return;
    }
    setModUndo();

    const auto& all = section_tags::MOD_ALL_TAGS;
    TagStore& copy = stores.clipboard[kModSection];
    const auto tags = slotTags(forSlot ? slot : 0);
    switch (command) {
    case ModCommand::None:
    case ModCommand::Undo:
        break;

    // The whole matrix.
    case ModCommand::ResetMatrix:
        for (int k = 0; k < kSlots; ++k) resetSlot(*p, k);
        break;
    case ModCommand::MatrixToOriginal:
        for (int k = 0; k < kSlots; ++k) {
            p->setToOrig(tag::slotBypass(k));
            p->setToOrig(tag::slotAmount(k));
            p->setToOrig(tag::slotSource(k));
            p->setToOrig(tag::slotDest(k));
        }
        break;
    case ModCommand::ZeroAmounts:
        for (int k = 0; k < kSlots; ++k) p->setToDefault(tag::slotAmount(k));
        break;
    case ModCommand::BypassAll:
        for (int k = 0; k < kSlots; ++k) p->setOn(tag::slotBypass(k));
        break;
    case ModCommand::UnBypassAll:
        for (int k = 0; k < kSlots; ++k) p->setOff(tag::slotBypass(k));
        break;
    case ModCommand::CopyMatrix:
        for (int t : all) copy.value[t] = p->getParameter(t);
        copy.valid = true;
        break;
    case ModCommand::PasteMatrix:
        if (copy.valid)
            for (int t : all) p->setParameter(t, copy.value[t]);
        break;
    case ModCommand::LoadPreset:
        section_presets::loadSectionPreset(*p, section_presets::MOD_PRESET, all);
        break;
    case ModCommand::SavePreset:
        section_presets::saveSectionPreset(*p, section_presets::MOD_PRESET, all);
        break;

    // The slot the menu was opened on.
    case ModCommand::ResetSlot:
        if (forSlot) resetSlot(*p, slot);
        break;
    case ModCommand::ZeroSlotAmount:
        if (forSlot) p->setToDefault(tag::slotAmount(slot));
        break;
    case ModCommand::CopySlot:
        if (!forSlot) break;
        for (std::size_t i = 0; i < tags.size(); ++i)
            stores.slotClipboard[i] = p->getParameter(tags[i]);
        stores.slotClipboardValid = true;
        break;
    case ModCommand::PasteSlot:
        if (forSlot && stores.slotClipboardValid)
            for (std::size_t i = 0; i < tags.size(); ++i)
                p->setParameter(tags[i], stores.slotClipboard[i]);
        break;
    case ModCommand::BypassSlot:
        if (forSlot) p->setOn(tag::slotBypass(slot));
        break;
    case ModCommand::UnBypassSlot:
        if (forSlot) p->setOff(tag::slotBypass(slot));
        break;
    case ModCommand::MoveSlotUp:
        if (forSlot && slot > 0) swapSlots(*p, slot, slot - 1);
        break;
    case ModCommand::MoveSlotDown:
        if (forSlot && slot < kSlots - 1) swapSlots(*p, slot, slot + 1);
        break;
    case ModCommand::EnterSlotAmount:
        if (forSlot) p->setModValue(slot);
        break;
    // A source chosen in one of the "Modulate Slot Amount by" submenus.
    case ModCommand::ModulateSlotAmount:
        if (forSlot) modulateSlotAmount(*p, slot, menu.argument());
        break;
    }
}
