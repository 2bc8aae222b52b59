// The free LFO and free envelope menus.
//
// One menu per kind, opened from the radio button that selects LFO or
// envelope 1 or 2: reset or restore the selected one or both, copy it onto
// the other or swap them, a clipboard of both, one level of undo, and the
// selected one as the source of the first free matrix slot for a
// destination picked from the grouped destination list.
//
// The LFO menus keep their own undo and clipboard (always both LFOs). The
// envelope menus share the envelope section's undo with the envelope screens
// and menus, and write their clipboard into the envelope section's
// tag-indexed clipboard.

#include "core/aplugin.h"
#include "core/mod_slots.h"
#include "core/vocabulary.h"
#include "editor/popup_menu.h"
#include "editor/section_values.h"
#include "editor/ueditor.h"

#include <array>
#include <span>
#include <string>

using namespace VSTGUI;

namespace {

constexpr int kFreeLfoKind = 2;
constexpr int kFreeEnvKind = 1;

// Four tags per LFO, in the same order for both: speed, sync, mode, wave.
constexpr std::array<std::array<int, 4>, 2> FREE_LFO_TAGS = {{
    {tag::FreeLfo1Speed, tag::FreeLfo1SyncOn, tag::FreeLfo1Mode, tag::FreeLfo1Wave},
    {tag::FreeLfo2Speed, tag::FreeLfo2SyncOn, tag::FreeLfo2Mode, tag::FreeLfo2Wave},
}};
constexpr std::array<int, 8> BOTH_LFO_TAGS = {
    tag::FreeLfo1Speed, tag::FreeLfo1SyncOn, tag::FreeLfo1Mode, tag::FreeLfo1Wave,
    tag::FreeLfo2Speed, tag::FreeLfo2SyncOn, tag::FreeLfo2Mode, tag::FreeLfo2Wave};

// Six tags per envelope: attack, decay, sustain, fade, release, sync.
constexpr std::array<std::array<int, 6>, 2> FREE_ENV_TAGS = [] {
    std::array<std::array<int, 6>, 2> t{};
    for (int env = 0; env < tag::FreeEnvCount; ++env)
        for (int field = 0; field < tag::FreeEnvStride; ++field)
            t[env][field] = tag::freeEnv(env, field);
    return t;
}();
constexpr std::array<int, 12> BOTH_ENV_TAGS = [] {
    std::array<int, 12> t{};
    for (int i = 0; i < 12; ++i) t[i] = tag::FreeEnvFirst + i;
    return t;
}();
// The envelope tags that the envelope section's undo does not hold.
constexpr std::array<int, 4> ENV_FADE_SYNC_TAGS = {
    tag::freeEnv(0, tag::FreeEnvFade), tag::freeEnv(0, tag::FreeEnvSync),
    tag::freeEnv(1, tag::FreeEnvFade), tag::freeEnv(1, tag::FreeEnvSync)};

// Modulation sources of LFO / envelope 1 and 2.
constexpr std::array<int, 2> SRC_FREE_LFO = {src::Free1Lfo, src::Free2Lfo};
constexpr std::array<int, 2> SRC_FREE_ENV = {src::Free1Env, src::Free2Env};

constexpr float kAssignAmount = 1.0f;

enum class FreeModCommand {
    None,
    ResetSelected,
    ResetBoth,
    SelectedToOriginal,
    BothToOriginal,
    CopyToOther,
    Swap,
    Copy,
    Paste,
    Undo,
    NoDestination,
    AssignDestination // argument: the destination
};

// The titles and commands of one kind's menu.
struct FreeModTitles {
    const char* name; // "LFO" / "Envelope" (title lines)
    MenuEntry<FreeModCommand> commands[9];
};

constexpr FreeModTitles LFO_TITLES = {
    "LFO",
    {{"Reset Selected LFO", FreeModCommand::ResetSelected},
     {"Reset Both LFOs", FreeModCommand::ResetBoth},
     {"Set Selected LFO to Original Settings", FreeModCommand::SelectedToOriginal},
     {"Set Both LFOs to Original Settings", FreeModCommand::BothToOriginal},
     {"Copy LFO to Other", FreeModCommand::CopyToOther},
     {"Swap LFOs", FreeModCommand::Swap},
     {"Copy LFOs", FreeModCommand::Copy},
     {"Paste LFOs", FreeModCommand::Paste},
     {"Undo", FreeModCommand::Undo}}};
constexpr FreeModTitles ENV_TITLES = {
    "Envelope",
    {{"Reset Selected Envelope", FreeModCommand::ResetSelected},
     {"Reset Both Envelopes", FreeModCommand::ResetBoth},
     {"Set Selected Envelope to Original Settings", FreeModCommand::SelectedToOriginal},
     {"Set Both Envelopes to Original Settings", FreeModCommand::BothToOriginal},
     {"Copy Envelope to Other", FreeModCommand::CopyToOther},
     {"Swap Envelopes", FreeModCommand::Swap},
     {"Copy Envelopes", FreeModCommand::Copy},
     {"Paste Envelopes", FreeModCommand::Paste},
     {"Undo", FreeModCommand::Undo}}};
constexpr MenuEntry<FreeModCommand> NO_DESTINATION = {"None", FreeModCommand::NoDestination};

// The first user slot without a destination gets source -> dest at full
// amount, not bypassed; false when every slot has a destination.
bool assignToFreeSlot(APlugin& p, int source, int dest) {
    for (int slot = 0; slot < tag::ModSlotCount; ++slot) {
        if (p.getModSlotDest(slot) != dst::None) continue;
        p.setModSlotVar(slot, false, kAssignAmount, source, dest);
        return true;
    }
    return false;
}

} // namespace

void uEditor::showFreeMod(int kind, int index) {
    if (kind != kFreeLfoKind && kind != kFreeEnvKind) return;
    if (index != 0 && index != 1) return;
    EditorPopup menu(*this);
    if (!menu.valid()) return;
    APlugin& p = *plugin();

    const bool lfo = kind == kFreeLfoKind;
    const FreeModTitles& t = lfo ? LFO_TITLES : ENV_TITLES;
    const std::string n = std::to_string(index + 1);

    menu.add(std::string("-GFree ") + t.name + " " + n + " Command Menu");
    menu.add("-");
    menu.addTable(t.commands);
    menu.add("-");
    menu.add(std::string("-GSet Free ") + t.name + " " + n + " To Destination");
    menu.add("-");
    menu.add(NO_DESTINATION);
    for (size_t g = 0; g < dst::GroupFirst.size(); ++g) {
        COptionMenu* group = menu.addSubmenu(vocabAt(DEST_SUB_STR, static_cast<int>(g)));
        for (int d = dst::GroupFirst[g]; d < dst::GroupEnd[g]; ++d)
            menu.add(vocabAt(DEST_STR, d), FreeModCommand::AssignDestination, d, group);
    }
    menu.show();

    const FreeModCommand command = menu.command<FreeModCommand>();
    const bool undoChosen = command == FreeModCommand::Undo;
    const int other = 1 - index;

    // The selected one's tags, the other one's (same positions) and both.
    std::span<const int> selected, others, both;
    if (lfo) {
        selected = FREE_LFO_TAGS[static_cast<size_t>(index)];
        others = FREE_LFO_TAGS[static_cast<size_t>(other)];
        both = BOTH_LFO_TAGS;
    } else {
        selected = FREE_ENV_TAGS[static_cast<size_t>(index)];
        others = FREE_ENV_TAGS[static_cast<size_t>(other)];
        both = BOTH_ENV_TAGS;
    }

    // Every use but "Undo" first takes the section's snapshot; "Undo" then
    // returns to the state before the last use. The envelope section's
    // snapshot lacks the fade and sync tags of the free envelopes; this menu
    // keeps them next to it so that its commands undo completely.
    auto& lfoUndo = stores.undo[kFreeModSection];
    auto& envUndo = stores.undo[kEnvSection];
    if (!undoChosen) {
        if (lfo) {
            section_values::store(p, lfoUndo, BOTH_LFO_TAGS);
        } else {
            setEnvUndo();
            for (int tg : ENV_FADE_SYNC_TAGS)
                envUndo.value[static_cast<size_t>(tg)] = p.getParameter(tg);
            freeEnvMarks.fadeSyncUndo = true;
        }
    } else if (lfo) {
        section_values::restore(p, lfoUndo, BOTH_LFO_TAGS);
    } else {
        doEnvUndo();
        if (envUndo.valid && freeEnvMarks.fadeSyncUndo)
            for (int tg : ENV_FADE_SYNC_TAGS)
                p.setParameter(tg, envUndo.value[static_cast<size_t>(tg)]);
    }

    // The envelopes' clipboard shares its store with the envelope menu's
    // (each value under its own tag); its own mark keeps "Paste Envelopes"
    // from writing values that were never copied.
    auto& clipboard = lfo ? stores.clipboard[kFreeModSection] : stores.clipboard[kEnvSection];

    switch (command) {
    case FreeModCommand::None:
    case FreeModCommand::Undo:
    case FreeModCommand::NoDestination:
        break;
    case FreeModCommand::ResetSelected:
        for (int tg : selected) p.setToDefault(tg);
        break;
    case FreeModCommand::ResetBoth:
        for (int tg : both) p.setToDefault(tg);
        break;
    case FreeModCommand::SelectedToOriginal:
        for (int tg : selected) p.setToOrig(tg);
        break;
    case FreeModCommand::BothToOriginal:
        for (int tg : both) p.setToOrig(tg);
        break;
    case FreeModCommand::CopyToOther:
        for (size_t k = 0; k < selected.size(); ++k) p.copyParameter(selected[k], others[k]);
        break;
    case FreeModCommand::Swap:
        for (size_t k = 0; k < selected.size(); ++k) p.swapParameter(others[k], selected[k]);
        break;
    case FreeModCommand::Copy:
        if (lfo) {
            section_values::store(p, clipboard, both);
        } else {
            for (int tg : both) clipboard.value[static_cast<size_t>(tg)] = p.getParameter(tg);
            freeEnvMarks.copied = true;
        }
        break;
    case FreeModCommand::Paste:
        if (lfo) {
            section_values::restore(p, clipboard, both);
        } else if (freeEnvMarks.copied) {
            for (int tg : both) p.setParameter(tg, clipboard.value[static_cast<size_t>(tg)]);
        }
        break;
    case FreeModCommand::AssignDestination: {
        // The selected one as the source of the first free slot.
        const int source = lfo ? SRC_FREE_LFO[static_cast<size_t>(index)]
                               : SRC_FREE_ENV[static_cast<size_t>(index)];
        const int d = menu.argument();
        if (d > dst::None && d < dst::Count && assignToFreeSlot(p, source, d))
            requests.redrawModScreen = true;
        break;
    }
    }
}
