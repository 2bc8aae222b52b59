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
    "-GLeft Click + Control: Show this menu",
    "-GLeft Click + Command: Set value",
    "-GLeft Click + Opt: Set to original value",
    "-GDouble Click: Set to default",
    "-GRight Click: Show this menu",
    "-GScroll Wheel: Change amount",
    "-GScroll Wheel + Shift: Fine change amount",
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

    auto group = [&menu](std::initializer_list<std::string> titles) {
        menu.add("-");
        for (const std::string& t : titles) menu.add(t);
    };
    auto perStage = [](const char* before, const char* after) {
        std::array<std::string, 4> titles;
        for (int i = 0; i < 4; ++i) titles[i] = std::string(before) + STAGE_NAMES[i] + after;
        return titles;
    };
    const auto latch = perStage("Latch ", " to MIDI");
    const auto unlatch = perStage("Unlatch ", " MIDI");
    const auto toDefault = perStage("Set ", " To Default");
    const auto toValue = perStage("Set ", " To Value");

    group(
        {"Reset Envelope", "Set Envelope to Original Settings", "Copy Envelope", "Paste Envelope"});
    group({latch[0], latch[1], latch[2], latch[3]});
    group({unlatch[0], unlatch[1], unlatch[2], unlatch[3], "Unlatch All"});
    group({toDefault[0], toDefault[1], toDefault[2], toDefault[3]});
    group({toValue[0], toValue[1], toValue[2], toValue[3]});
    group({"Show Envelope Dials", "Turn Delay / Sustain Change On",
           "Turn Delay / Sustain Change Off"});
    group({section_presets::ENV_PRESET.loadTitle, section_presets::ENV_PRESET.saveTitle});
    group({"Undo"});

    menu.show();
    const std::string& choice = menu.rootChoice();

    // Any outcome but Undo retakes the snapshot, so the command can be undone.
    if (choice == "Undo") {
        doEnvUndo();
        return;
    }
    setEnvUndo();
    if (choice.empty()) return;

    TagStore& clipboard = stores.clipboard[kEnvSection];
    if (choice == "Reset Envelope") {
        for (int t : tags) p->setToDefault(t);
    } else if (choice == "Set Envelope to Original Settings") {
        for (int t : tags) p->setToOrig(t);
    } else if (choice == "Copy Envelope") {
        for (int t : tags) clipboard.value[t] = p->getParameter(t);
        clipboard.valid = true;
        envelopeCopied[envelope] = true;
    } else if (choice == "Paste Envelope") {
        // The clipboard is kept per tag: only this envelope's own copy pastes.
        if (clipboard.valid && envelopeCopied[envelope])
            for (int t : tags) p->setParameter(t, clipboard.value[t]);
    } else if (choice == "Unlatch All") {
        for (int t : tags) p->setMIDILatch(t, false);
    } else if (choice == "Show Envelope Dials") {
        setRegValue(REG_ENV_STR, true);
        prefs.envelopeShowKnobs = true;
        requests.rebuildEnvPages = true;
        if (TOnOff* button = controls.filter.envelopeDisplay) {
            button->setValue(1.0f);
            button->invalid();
        }
    } else if (choice == "Turn Delay / Sustain Change On" ||
               choice == "Turn Delay / Sustain Change Off") {
        prefs.decaySustain = choice.ends_with("On");
        setRegValue(REG_DECAY_SUSTAIN_STR, prefs.decaySustain);
        for (TEnvScreen* screen : {controls.filter.ampEnvScreen, controls.filter.filterEnvScreen})
            if (screen) screen->setDecaySustain(prefs.decaySustain);
        if (TOnOff* button = controls.back.decaySustain) button->setState(prefs.decaySustain);
    } else if (choice == section_presets::ENV_PRESET.loadTitle) {
        section_presets::loadSectionPreset(*p, section_presets::ENV_PRESET, tags);
    } else if (choice == section_presets::ENV_PRESET.saveTitle) {
        section_presets::saveSectionPreset(*p, section_presets::ENV_PRESET, tags);
    } else {
        for (int i = 0; i < 4; ++i) {
            if (choice == latch[i]) p->setMIDILatch(tags[i], true);
            if (choice == unlatch[i]) p->setMIDILatch(tags[i], false);
            if (choice == toDefault[i]) p->setToDefault(tags[i]);
            if (choice == toValue[i]) p->setNumValue(tags[i]);
        }
    }
}
