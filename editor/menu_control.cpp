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

enum class ControlCommand {
    None,
    SetScreenSize, // argument: the size
    AnimationOn,
    AnimationOff,
    ShowEnvelopeDials,
    ShowGraphicEnvelopes,
    DecaySustainOn,
    DecaySustainOff,
    ToolTipsOn,
    ToolTipsOff,
    KeyboardOn,
    KeyboardOff,
    DragAndDropOn,
    DragAndDropOff,
    MidiPresetOn,
    MidiPresetOff,
    MidiBankOn,
    MidiBankOff,
    SetMidiChannel,
    CaptureOn,
    CaptureOff,
    ResetEverything,
    About,
    GotoWebsite,
    DownloadLatest
};
using Switch = MenuSwitch<ControlCommand>;

constexpr Switch ANIMATION_SWITCH = {{"Dial Animation: On", ControlCommand::AnimationOff},
                                     {"Dial Animation: Off", ControlCommand::AnimationOn}};
// On: the envelope pages show dials.
constexpr Switch ENVELOPE_DIALS_SWITCH = {
    {"Show Graphic Envelopes", ControlCommand::ShowGraphicEnvelopes},
    {"Show Envelope Dials", ControlCommand::ShowEnvelopeDials}};
constexpr Switch DECAY_SUSTAIN_SWITCH = {{"Decay / Sustain: On", ControlCommand::DecaySustainOff},
                                         {"Decay / Sustain: Off", ControlCommand::DecaySustainOn}};
constexpr Switch TOOL_TIPS_SWITCH = {{"Tool-Tips: On", ControlCommand::ToolTipsOff},
                                     {"Tool-Tips: Off", ControlCommand::ToolTipsOn}};
constexpr Switch KEYBOARD_SWITCH = {{"Computer Keyboard: On", ControlCommand::KeyboardOff},
                                    {"Computer Keyboard: Off", ControlCommand::KeyboardOn}};
constexpr Switch DRAG_AND_DROP_SWITCH = {{"Drag And Drop: On", ControlCommand::DragAndDropOff},
                                         {"Drag And Drop: Off", ControlCommand::DragAndDropOn}};
constexpr Switch MIDI_PRESET_SWITCH = {{"MIDI Preset: On", ControlCommand::MidiPresetOff},
                                       {"MIDI Preset: Off", ControlCommand::MidiPresetOn}};
constexpr Switch MIDI_BANK_SWITCH = {{"MIDI Bank: On", ControlCommand::MidiBankOff},
                                     {"MIDI Bank: Off", ControlCommand::MidiBankOn}};
constexpr Switch CAPTURE_SWITCH = {{"External MIDI Capture Mode: On", ControlCommand::CaptureOff},
                                   {"External MIDI Capture Mode: Off", ControlCommand::CaptureOn}};

constexpr MenuEntry<ControlCommand> SET_MIDI_CHANNEL = {"Set MIDI Input Channel",
                                                        ControlCommand::SetMidiChannel};
constexpr MenuEntry<ControlCommand> LAST_COMMANDS[] = {
    {"-", ControlCommand::None},
    {"Reset Everything", ControlCommand::ResetEverything},
    {"About Ondix", ControlCommand::About},
    {"Goto Haldmer Website", ControlCommand::GotoWebsite},
    {"Download Latest", ControlCommand::DownloadLatest},
};

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
        openDocumentOrTell(address);
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
    const bool decaySustainOn = getDecaySustainPref();
    const bool toolTipsOn = getRegValue(REG_TOOL_TIP_STR, true);
    const bool midiPresetOn = getRegisterIsOn(REG_MIDI_PRESET_STR, true);
    const bool midiBankOn = getRegisterIsOn(REG_MIDI_BANK_STR, true);
    const bool captureOn = getRegisterIsOn(REG_MIDI_CAPTURE_STR, true);
    const int channel = std::clamp(loadIntFromPrefs(REG_MIDI_IN_CHANNEL_STR), 0, kHighestChannel);

    // A switch under its greyed heading, after a separator.
    auto section = [&menu](const char* heading, const Switch& entry, bool state) {
        menu.add("-");
        menu.add(heading);
        menu.add(entry.shown(state));
    };

    menu.add("-GControl Menu");
    menu.add("-");
    menu.add(std::string("-GScreen Size: ") + vocabAt(SCREEN_SIZE_STR, sizeIndex));
    for (int i = 0; i < static_cast<int>(SET_SCREEN_SIZE_STR.size()); ++i)
        menu.add(SET_SCREEN_SIZE_STR[static_cast<std::size_t>(i)], ControlCommand::SetScreenSize,
                 i);
    section("-GDial Animation", ANIMATION_SWITCH, animationOn);
    section("-GEnvelope Display", ENVELOPE_DIALS_SWITCH, prefs.envelopeShowKnobs);
    section("-GDecay / Sustain", DECAY_SUSTAIN_SWITCH, decaySustainOn);
    section("-GTool-Tips", TOOL_TIPS_SWITCH, toolTipsOn);
    section("-GComputer Keyboard", KEYBOARD_SWITCH, prefs.keyboard);
    section("-GDrag And Drop", DRAG_AND_DROP_SWITCH, prefs.dragAndDrop);
    section("-GMIDI Preset Change", MIDI_PRESET_SWITCH, midiPresetOn);
    section("-GMIDI Bank Change", MIDI_BANK_SWITCH, midiBankOn);
    menu.add("-");
    menu.add(std::string("-GMIDI Input Channel: ") + vocabAt(MIDI_IN_CHANNEL_STR, channel));
    menu.add(SET_MIDI_CHANNEL);
    section("-GExternal MIDI Capture Mode", CAPTURE_SWITCH, captureOn);
    menu.addTable(LAST_COMMANDS);

    menu.show();

    auto showEnvelopeDials = [this](bool knobs) {
        setRegValue(REG_ENV_STR, knobs);
        prefs.envelopeShowKnobs = knobs;
        requests.rebuildEnvPages = true;
        if (TOnOff* button = controls.filter.envelopeDisplay) {
            button->setValue(knobs ? 1.0f : 0.0f);
            button->invalid();
        }
    };
    auto setCapture = [&p](bool on) {
        saveBoolToPrefs(REG_MIDI_CAPTURE_STR, on);
        p.resetMIDICapture(); // also hands the new switch to the audio thread
    };
    switch (menu.command<ControlCommand>()) {
    case ControlCommand::None:
        break;
    case ControlCommand::SetScreenSize:
        setScreenSize(menu.argument());
        break;
    case ControlCommand::AnimationOn:
        prefs.animation = true;
        break;
    case ControlCommand::AnimationOff:
        prefs.animation = false;
        break;
    case ControlCommand::ShowEnvelopeDials:
        showEnvelopeDials(true);
        break;
    case ControlCommand::ShowGraphicEnvelopes:
        showEnvelopeDials(false);
        break;
    case ControlCommand::DecaySustainOn:
        setRegOn(REG_DECAY_SUSTAIN_STR);
        break;
    case ControlCommand::DecaySustainOff:
        setRegOff(REG_DECAY_SUSTAIN_STR);
        break;
    case ControlCommand::ToolTipsOn:
        prefs.toolTips = true;
        break;
    case ControlCommand::ToolTipsOff:
        prefs.toolTips = false;
        break;
    case ControlCommand::KeyboardOn:
        prefs.keyboard = true;
        break;
    case ControlCommand::KeyboardOff:
        prefs.keyboard = false;
        break;
    case ControlCommand::DragAndDropOn:
        prefs.dragAndDrop = true;
        break;
    case ControlCommand::DragAndDropOff:
        prefs.dragAndDrop = false;
        break;
    case ControlCommand::MidiPresetOn:
        saveBoolToPrefs(REG_MIDI_PRESET_STR, true);
        break;
    case ControlCommand::MidiPresetOff:
        saveBoolToPrefs(REG_MIDI_PRESET_STR, false);
        break;
    case ControlCommand::MidiBankOn:
        saveBoolToPrefs(REG_MIDI_BANK_STR, true);
        break;
    case ControlCommand::MidiBankOff:
        saveBoolToPrefs(REG_MIDI_BANK_STR, false);
        break;
    case ControlCommand::CaptureOn:
        setCapture(true);
        break;
    case ControlCommand::CaptureOff:
        setCapture(false);
        break;
    case ControlCommand::SetMidiChannel: {
        std::string answer;
        int value = -1;
        const int current =
            std::clamp(loadIntFromPrefs(REG_MIDI_IN_CHANNEL_STR), 0, kHighestChannel);
        if (inputBoxNumStr("Set MIDI Input Channel (0 for Omni)", "MIDI Channel", answer, 0,
                           kHighestChannel, value, std::to_string(current))) {
            saveIntToPrefs(REG_MIDI_IN_CHANNEL_STR, value);
            p.refreshMidiChannelPref();
            p.updateMidiChannel(false);
        }
        break;
    }
    // Taken by the audio thread at its next control tick, so the engine's
    // state is never reset under a running block.
    case ControlCommand::ResetEverything:
        p.requestReset();
        break;
    case ControlCommand::About:
        messageBox(aboutText(p), MESSAGE_BOX_OK);
        break;
    case ControlCommand::GotoWebsite:
        menu_services::openWebAddress(menu_services::kMakerWebsite);
        break;
    case ControlCommand::DownloadLatest: // no action
        break;
    }

    // The editor's own switches are written back whatever was chosen.
    setRegValue(REG_DIAL_ANIMATION_STR, prefs.animation);
    prefs.decaySustain = getDecaySustainPref();
    for (TEnvScreen* env : {controls.filter.filterEnvScreen, controls.filter.ampEnvScreen})
        if (env) env->setDecaySustain(prefs.decaySustain);
    setRegValue(REG_TOOL_TIP_STR, prefs.toolTips);
    if (frame) frame->enableTooltips(prefs.toolTips);
    setRegValue(REG_KEYBOARD_STR, prefs.keyboard);
    setRegValue(REG_DRAG_AND_DROP_STR, prefs.dragAndDrop);
}
