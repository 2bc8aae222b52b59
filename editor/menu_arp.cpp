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
    "-GLeft Click + Control: Show this menu",
    "-GLeft Click + Command: Set value",
    "-GLeft Click + Opt: Set steps",
    "-GDouble Click: Set to default",
    "-GRight Click: Show this menu",
    "-GScroll Wheel: Change amount",
    "-GScroll Wheel + Shift: Fine change amount",
};

// "Reset Tie Row" .. "Reset Ratcheting Row": rows 1..7.
constexpr std::array<const char*, 7> RESET_ROW_TITLES = {
    "Reset Tie Row",   "Reset Slide Row", "Reset Tune Row",       "Reset Velocity Row",
    "Reset Chord Row", "Reset Free Row",  "Reset Ratcheting Row",
};

// The editor's random values for the grid: 15-bit steps spread over 0..1.
// Only the GUI thread draws from it.
float randomValue() {
    static std::minstd_rand generator{std::random_device{}()};
    std::uniform_int_distribution<int> draw(0, 0x7FFF);
    return static_cast<float>(draw(generator)) / 32767.0f;
}

// With Arp on after a paste or a load, the play mode follows it.
void followArpSwitch(APlugin& p) {
    if (p.getOnOff(tag::ArpOn)) p.setParameter(tag::PlayMode, kPlayModeArp);
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
    auto group = [&menu](std::initializer_list<const char*> titles) {
        menu.add("-");
        for (const char* t : titles) menu.add(t);
    };
    menu.add("-");
    for (const char* t : {"Reset Arp Section", "Set Arp Section to Original Settings", "Reset Arp",
                          "Turn All Steps On", "Turn All Steps Off"})
        menu.add(t);
    for (const char* t : RESET_ROW_TITLES) menu.add(t);
    group({"Copy Arp", "Paste Arp"});
    group({"Move Arp Left", "Move Arp Right", "Reset Arp Magic"});
    if (cellCommands) {
        group({"Reset Cell", "Reset Step", "Reset Row"});
        group({"Randomize Cell", "Randomize Step", "Randomize Row"});
        group({"Copy Step", "Paste Step", "Set All To Step", "Swap Step With Next",
               "Swap Step With Previous"});
        group({"Enter Tune Value", "Enter Velocity Value", "Enter Free Value"});
    }
    group({section_presets::ARP_PRESET.loadTitle, section_presets::ARP_PRESET.saveTitle});
    group({"Undo"});

    menu.show();
    const std::string& choice = menu.rootChoice();
    // The grid screen redraws at the next idle pass, whatever happened.
    requests.redrawArp = true;

    // Any outcome but Undo retakes the snapshot, so the command can be undone.
    if (choice == "Undo") {
        doArpUndo();
        return;
    }
    setArpUndo();
    if (choice.empty()) return;

    const auto& arpTags = section_tags::ARP_TAGS;
    TagStore& clipboard = stores.clipboard[kArpSection];

    // Section commands.
    if (choice == "Reset Arp Section") {
        for (std::size_t i = 1; i < arpTags.size(); ++i) p->setToDefault(arpTags[i]);
    } else if (choice == "Set Arp Section to Original Settings") {
        for (std::size_t i = 1; i < arpTags.size(); ++i) p->setToOrig(arpTags[i]);
    } else if (choice == "Reset Arp") {
        for (int t = tag::ArpGridFirst; t <= tag::ArpGridLast; ++t) p->setToDefault(t);
    } else if (choice == "Turn All Steps On") {
        for (int s = 0; s < kSteps; ++s) p->setOn(gridTag(tag::RowOn, s));
    } else if (choice == "Turn All Steps Off") {
        for (int s = 0; s < kSteps; ++s) p->setOff(gridTag(tag::RowOn, s));
    } else if (const auto* it = std::find_if(RESET_ROW_TITLES.begin(), RESET_ROW_TITLES.end(),
                                             [&choice](const char* t) { return choice == t; });
               it != RESET_ROW_TITLES.end()) {
        const int resetRow = tag::RowTied + static_cast<int>(it - RESET_ROW_TITLES.begin());
        for (int s = 0; s < kSteps; ++s) p->setToDefault(gridTag(resetRow, s));
    } else if (choice == "Copy Arp") {
        for (int t : arpTags) clipboard.value[t] = p->getParameter(t);
        clipboard.valid = true;
    } else if (choice == "Paste Arp") {
        if (clipboard.valid) {
            for (int t : arpTags) p->setParameter(t, clipboard.value[t]);
            followArpSwitch(*p);
        }
    } else if (choice == "Move Arp Left") {
        moveArp(*p, +1);
    } else if (choice == "Move Arp Right") {
        moveArp(*p, -1);
    } else if (choice == "Reset Arp Magic") {
        p->setOff(tag::SetArpRandom);
        p->resetArpMagic(true);
    } else if (choice == section_presets::ARP_PRESET.loadTitle) {
        section_presets::loadSectionPreset(*p, section_presets::ARP_PRESET, arpTags,
                                           followArpSwitch);
    } else if (choice == section_presets::ARP_PRESET.saveTitle) {
        section_presets::saveSectionPreset(*p, section_presets::ARP_PRESET, arpTags);
    }

    // Cell commands: they need a cell of the grid.
    if (!cellCommands || row < 0 || row >= kRows || step < 0 || step >= kSteps) return;
    const int s = step;
    if (choice == "Reset Cell") {
        p->setToDefault(gridTag(row, s));
    } else if (choice == "Reset Step") {
        for (int r = 0; r < kRows; ++r) p->setToDefault(gridTag(r, s));
    } else if (choice == "Reset Row") {
        for (int t = 0; t < kSteps; ++t) p->setToDefault(gridTag(row, t));
    } else if (choice == "Randomize Cell") {
        p->setParameter(gridTag(row, s), randomValue());
    } else if (choice == "Randomize Step") {
        // Whether the step plays and is tied stays as it is.
        for (int r = tag::RowSlide; r < kRows; ++r) p->setParameter(gridTag(r, s), randomValue());
    } else if (choice == "Randomize Row") {
        for (int t = 0; t < kSteps; ++t) p->setParameter(gridTag(row, t), randomValue());
    } else if (choice == "Copy Step") {
        for (int r = 0; r < kRows; ++r) stores.stepClipboard[r] = p->getParameter(gridTag(r, s));
        stores.stepClipboardValid = true;
    } else if (choice == "Paste Step") {
        if (stores.stepClipboardValid)
            for (int r = 0; r < kRows; ++r) p->setParameter(gridTag(r, s), stores.stepClipboard[r]);
    } else if (choice == "Set All To Step") {
        for (int r = 0; r < kRows; ++r)
            for (int t = 0; t < kSteps; ++t) p->copyParameter(gridTag(r, s), gridTag(r, t));
    } else if (choice == "Swap Step With Next" || choice == "Swap Step With Previous") {
        const int n = std::clamp(p->getArpNumOfSteps(), 1, kSteps);
        const int d = choice == "Swap Step With Next" ? 1 : -1;
        const int other = ((s + d + n) % n + n) % n;
        for (int r = 0; r < kRows; ++r) p->swapParameter(gridTag(r, s), gridTag(r, other));
    } else if (choice == "Enter Tune Value") {
        p->setNumValue(gridTag(tag::RowTune, s));
    } else if (choice == "Enter Velocity Value") {
        p->setNumValue(gridTag(tag::RowVelocity, s));
    } else if (choice == "Enter Free Value") {
        p->setNumValue(gridTag(tag::RowFree, s));
    }
}
