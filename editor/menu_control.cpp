// The control menu: screen size, editor switches, MIDI settings, the engine
// reset, the about box and the maker's web site.
//
// A switch shows its present state in its title ("Tool-Tips: On") and
// choosing the entry flips it. The editor's own switches (animation,
// tool-tips, computer keyboard, drag and drop) are written back to the
// preferences after every popup, chosen or not.

#include "controls/envarp.h"
#include "controls/tbuttons.h"
#include "core/aplugin.h"
#include "core/vocabulary.h"
#include "editor/menu_midi_control.h"
#include "editor/popup_menu.h"
#include "editor/ueditor.h"
#include "platform/dialogs.h"
#include "platform/open_document.h"
#include "platform/prefs.h"

#include <algorithm>
#include <functional>
#include <string>
#include <utility>

using namespace VSTGUI;

namespace {

constexpr int kHighestChannel = 16; // 0 is omni

std::string onOff(const char* name, bool on) {
    return std::string(name) + (on ? ": On" : ": Off");
}

std::function<void(const std::string&)>& webAddressOpener() {
    static std::function<void(const std::string&)> opener;
    return opener;
}

std::string aboutText(APlugin& p) {
    const VstInt32 version = p.getVendorVersion();
    return "Ondix v" + std::to_string((version >> 16) & 0xFF) + "." +
           std::to_string((version >> 8) & 0xFF) + "." + std::to_string(version & 0xFF) +
           "\nPolyphonic synthesizer by Haldmer\nCopyright Haldmer. All rights reserved.\n" +
           menu_services::kMakerWebsite;
}

} // namespace

namespace menu_services {

void openWebAddress(const std::string& address) {
    if (const auto& opener = webAddressOpener())
        opener(address);
    else
        openDocument(address);
}

void setWebAddressOpener(std::function<void(const std::string&)> opener) {
    webAddressOpener() = std::move(opener);
}

} // namespace menu_services

void uEditor::showControlMenu() {
    EditorPopup menu(*this);
    if (!menu.valid()) return;
    APlugin& p = *plugin();

    const bool animationOn = getRegValue(REG_DIAL_ANIMATION_STR, true);
    const bool decaySustainOn = getRegValue(REG_DECAY_SUSTAIN_STR, true);
    const bool toolTipsOn = getRegValue(REG_TOOL_TIP_STR, true);
    const bool midiPresetOn = getRegisterIsOn(REG_MIDI_PRESET_STR, true);
    const bool midiBankOn = getRegisterIsOn(REG_MIDI_BANK_STR, true);
    const bool captureOn = getRegisterIsOn(REG_MIDI_CAPTURE_STR, true);
    const int channel = std::clamp(loadIntFromPrefs(REG_MIDI_IN_CHANNEL_STR), 0, kHighestChannel);

    menu.add("-GControl Menu");
    menu.add("-");
    menu.add(std::string("-GScreen Size: ") + vocabAt(SCREEN_SIZE_STR, sizeIndex));
    for (const char* title : SET_SCREEN_SIZE_STR) menu.add(title);
    menu.add("-");
    menu.add("-GDial Animation");
    menu.add(onOff("Dial Animation", animationOn));
    menu.add("-");
    menu.add("-GEnvelope Display");
    menu.add(prefs.envelopeShowKnobs ? "Show Graphic Envelopes" : "Show Envelope Dials");
    menu.add("-");
    menu.add("-GDecay / Sustain");
    menu.add(onOff("Decay / Sustain", decaySustainOn));
    menu.add("-");
    menu.add("-GTool-Tips");
    menu.add(onOff("Tool-Tips", toolTipsOn));
    menu.add("-");
    menu.add("-GComputer Keyboard");
    menu.add(onOff("Computer Keyboard", prefs.keyboard));
    menu.add("-");
    menu.add("-GDrag And Drop");
    menu.add(onOff("Drag And Drop", prefs.dragAndDrop));
    menu.add("-");
    menu.add("-GMIDI Preset Change");
    menu.add(onOff("MIDI Preset", midiPresetOn));
    menu.add("-");
    menu.add("-GMIDI Bank Change");
    menu.add(onOff("MIDI Bank", midiBankOn));
    menu.add("-");
    menu.add(std::string("-GMIDI Input Channel: ") + vocabAt(MIDI_IN_CHANNEL_STR, channel));
    menu.add("Set MIDI Input Channel");
    menu.add("-");
    menu.add("-GExternal MIDI Capture Mode");
    menu.add(onOff("External MIDI Capture Mode", captureOn));
    menu.add("-");
    menu.add("Reset Everything");
    menu.add("About Ondix");
    menu.add("Goto Haldmer Website");
    menu.add("Download Latest");

    menu.show();
    const std::string& chosen = menu.rootChoice();

    for (int i = 0; i < static_cast<int>(SET_SCREEN_SIZE_STR.size()); ++i)
        if (chosen == SET_SCREEN_SIZE_STR[static_cast<std::size_t>(i)]) setScreenSize(i);

    if (chosen == "Dial Animation: On") prefs.animation = false;
    if (chosen == "Dial Animation: Off") prefs.animation = true;
    setRegValue(REG_DIAL_ANIMATION_STR, prefs.animation);

    if (chosen == "Show Envelope Dials" || chosen == "Show Graphic Envelopes") {
        const bool knobs = chosen == "Show Envelope Dials";
        setRegValue(REG_ENV_STR, knobs);
        prefs.envelopeShowKnobs = knobs;
        requests.rebuildEnvPages = true;
        if (TOnOff* button = controls.filter.envelopeDisplay) {
            button->setValue(knobs ? 1.0f : 0.0f);
            button->invalid();
        }
    }

    if (chosen == "Decay / Sustain: On") setRegOff(REG_DECAY_SUSTAIN_STR);
    if (chosen == "Decay / Sustain: Off") setRegOn(REG_DECAY_SUSTAIN_STR);
    prefs.decaySustain = getRegValue(REG_DECAY_SUSTAIN_STR, false);
    for (TEnvScreen* env : {controls.filter.filterEnvScreen, controls.filter.ampEnvScreen})
        if (env) env->setDecaySustain(prefs.decaySustain);

    if (chosen == "Tool-Tips: On") prefs.toolTips = false;
    if (chosen == "Tool-Tips: Off") prefs.toolTips = true;
    setRegValue(REG_TOOL_TIP_STR, prefs.toolTips);

    if (chosen == "Computer Keyboard: On") prefs.keyboard = false;
    if (chosen == "Computer Keyboard: Off") prefs.keyboard = true;
    setRegValue(REG_KEYBOARD_STR, prefs.keyboard);

    if (chosen == "Drag And Drop: Off") prefs.dragAndDrop = true;
    if (chosen == "Drag And Drop: On") prefs.dragAndDrop = false;
    setRegValue(REG_DRAG_AND_DROP_STR, prefs.dragAndDrop);

    if (chosen == "MIDI Preset: On") saveBoolToPrefs(REG_MIDI_PRESET_STR, false);
    if (chosen == "MIDI Preset: Off") saveBoolToPrefs(REG_MIDI_PRESET_STR, true);
    if (chosen == "MIDI Bank: On") saveBoolToPrefs(REG_MIDI_BANK_STR, false);
    if (chosen == "MIDI Bank: Off") saveBoolToPrefs(REG_MIDI_BANK_STR, true);

    if (chosen == "External MIDI Capture Mode: Off" || chosen == "External MIDI Capture Mode: On") {
        saveBoolToPrefs(REG_MIDI_CAPTURE_STR, chosen == "External MIDI Capture Mode: Off");
        p.resetMIDICapture(); // also hands the new switch to the audio thread
    }

    if (chosen == "Set MIDI Input Channel") {
        std::string answer;
        int value = -1;
        if (inputBoxNumStr("Set MIDI Input Channel (0 for Omni)", "MIDI Channel", answer, 0,
                           kHighestChannel, value)) {
            saveIntToPrefs(REG_MIDI_IN_CHANNEL_STR, value);
            p.refreshMidiChannelPref();
            p.updateMidiChannel(false);
        }
    }

    // Taken by the audio thread at its next control tick, so the engine's
    // state is never reset under a running block.
    if (chosen == "Reset Everything") p.requestReset();
    if (chosen == "Goto Haldmer Website")
        menu_services::openWebAddress(menu_services::kMakerWebsite);
    if (chosen == "About Ondix") messageBox(aboutText(p), MESSAGE_BOX_OK);
    // "Download Latest" has no action.
}
