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
    "-GLeft Click + Control: Show this menu",
    "-GLeft Click + Command: Set value",
    "-GLeft Click + Opt: Set to original value",
    "-GDouble Click: Set to default",
    "-GRight Click: Show this menu",
    "-GScroll Wheel: Change amount",
    "-GScroll Wheel + Shift: Fine change amount",
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
    for (const char* title :
         {"-", "Reset Mod Matrix", "Set Mod Matrix to Original Settings", "Zero Amounts",
          "Bypass All", "Un-Bypass All", "Copy Mod Matrix", "Paste Mod Matrix", "-"})
        menu.add(title);
    if (forSlot) {
        for (const char* title :
             {"Reset Slot", "Zero Slot Amount", "Copy Slot", "Paste Slot", "Bypass Slot",
              "Un-Bypass Slot", "Move Slot Up", "Move Slot Down", "Enter Slot Amount Value"})
            menu.add(title);
        for (std::size_t g = 0; g < src::GroupFirst.size(); ++g) {
            COptionMenu* sources =
                menu.addSubmenu(kModulateSlotPrefix + std::string(SRC_SUB_STR[g]));
            for (int i = src::GroupFirst[g]; i < src::GroupEnd[g]; ++i)
                menu.add(SRC_STR[static_cast<std::size_t>(i)], sources);
        }
        menu.add("-");
    }
    for (const char* title : {"Load Mod Matrix Preset", "Save Mod Matrix Preset", "-", "Undo"})
        menu.add(title);

    menu.show();
    const std::string& choice = menu.rootChoice();
    if (choice == "Undo") {
        doModUndo();
        return;
    }
    setModUndo();

    const auto& all = section_tags::MOD_ALL_TAGS;
    TagStore& copy = stores.clipboard[kModSection];
    if (choice == "Reset Mod Matrix") {
        for (int k = 0; k < kSlots; ++k) resetSlot(*p, k);
    } else if (choice == "Set Mod Matrix to Original Settings") {
        for (int k = 0; k < kSlots; ++k) {
            p->setToOrig(tag::slotBypass(k));
            p->setToOrig(tag::slotAmount(k));
            p->setToOrig(tag::slotSource(k));
            p->setToOrig(tag::slotDest(k));
        }
    } else if (choice == "Zero Amounts") {
        for (int k = 0; k < kSlots; ++k) p->setToDefault(tag::slotAmount(k));
    } else if (choice == "Bypass All") {
        for (int k = 0; k < kSlots; ++k) p->setOn(tag::slotBypass(k));
    } else if (choice == "Un-Bypass All") {
        for (int k = 0; k < kSlots; ++k) p->setOff(tag::slotBypass(k));
    } else if (choice == "Copy Mod Matrix") {
        for (int t : all) copy.value[t] = p->getParameter(t);
        copy.valid = true;
    } else if (choice == "Paste Mod Matrix") {
        if (copy.valid)
            for (int t : all) p->setParameter(t, copy.value[t]);
    } else if (choice == "Load Mod Matrix Preset") {
        section_presets::loadSectionPreset(*p, section_presets::MOD_PRESET, all);
    } else if (choice == "Save Mod Matrix Preset") {
        section_presets::saveSectionPreset(*p, section_presets::MOD_PRESET, all);
    }
    if (!forSlot) return;

    const auto tags = slotTags(slot);
    if (choice == "Reset Slot") {
        resetSlot(*p, slot);
    } else if (choice == "Zero Slot Amount") {
        p->setToDefault(tag::slotAmount(slot));
    } else if (choice == "Copy Slot") {
        for (std::size_t i = 0; i < tags.size(); ++i)
            stores.slotClipboard[i] = p->getParameter(tags[i]);
        stores.slotClipboardValid = true;
    } else if (choice == "Paste Slot") {
        if (stores.slotClipboardValid)
            for (std::size_t i = 0; i < tags.size(); ++i)
                p->setParameter(tags[i], stores.slotClipboard[i]);
    } else if (choice == "Bypass Slot") {
        p->setOn(tag::slotBypass(slot));
    } else if (choice == "Un-Bypass Slot") {
        p->setOff(tag::slotBypass(slot));
    } else if (choice == "Move Slot Up") {
        if (slot > 0) swapSlots(*p, slot, slot - 1);
    } else if (choice == "Move Slot Down") {
        if (slot < kSlots - 1) swapSlots(*p, slot, slot + 1);
    } else if (choice == "Enter Slot Amount Value") {
        p->setModValue(slot);
    }

    // A source chosen in one of the "Modulate Slot Amount by" submenus.
    if (menu.choiceSubmenu() && menu.choiceSubmenu() != menu.root()) {
        for (int i = 0; i < static_cast<int>(SRC_STR.size()); ++i)
            if (menu.itemChoice() == SRC_STR[static_cast<std::size_t>(i)])
                modulateSlotAmount(*p, slot, i);
    }
}
