// What the controls send to the plug-in.
//
// Every control reports to valueChanged. The controls that are not plain
// parameters (menus with commands, page selectors, preference switches, file
// buttons) are recognised by identity and do their own thing; every other
// control sends its tag and value to the plug-in's automated setter, unless
// its section is locked. The plug-in then reports the value back through
// setParameter like any other change.

#include "controls/envarp.h"
#include "controls/tbuttons.h"
#include "controls/tknob.h"
#include "controls/toptionmenu.h"
#include "controls/treadout.h"
#include "controls/wave.h"
#include "core/aplugin.h"
#include "core/modes.h"
#include "core/vocabulary.h"
#include "data/manual.h"
#include "editor/header_menus.h"
#include "editor/popup_menu.h"
#include "editor/ueditor.h"
#include "platform/dialogs.h"
#include "platform/file_helpers.h"
#include "platform/open_document.h"
#include "platform/prefs.h"

#include <cstdio>
#include <cstring>
#include <string>

using namespace VSTGUI;

namespace {

constexpr int kFactoryWaves = 183;        // OSC_WAVE_STR without the two user waves
constexpr float kLfoPeriodRange = 33.99f; // the tempo-synced speeds of a free LFO
constexpr int kLfoPeriods = 34;
constexpr float kMagicStepsRange = 8.99f;

bool pressed(const CControl* control) {
    return control->getValue() > 0.5f;
}

// The index chosen in a menu (separators not counted); -1 for none.
int chosenIndex(CControl* control) {
    auto* menu = dynamic_cast<COptionMenu*>(control);
    return menu ? menu->getCurrentIndex(false) : -1;
}

// The title of the entry chosen in a menu, following its submenus, and the
// menu it was chosen in.
std::string chosenTitle(CControl* control, COptionMenu** chosenIn = nullptr) {
    auto* menu = dynamic_cast<COptionMenu*>(control);
    CMenuItem* item = menu ? menu->getCurrent() : nullptr;
    while (item && item->getSubmenu()) {
        menu = item->getSubmenu();
        item = menu->getCurrent();
    }
    if (chosenIn) *chosenIn = item ? menu : nullptr;
    return item ? item->getTitle() : std::string();
}

// The tag of the entry chosen in a menu, following its submenus: the
// command and argument attached to it (menu_tag), -1 for none.
int chosenTag(CControl* control) {
    auto* menu = dynamic_cast<COptionMenu*>(control);
    CMenuItem* item = menu ? menu->getCurrent() : nullptr;
    while (item && item->getSubmenu()) item = item->getSubmenu()->getCurrent();
    return item ? item->getTag() : -1;
}

// The first entry of a vocabulary table with this text, among its first
// `count` entries; -1 when none has it.
template <std::size_t N>
int findText(const Vocab<N>& table, const std::string& text, std::size_t count = N) {
    for (std::size_t i = 0; i < count && i < N; ++i)
        if (text == table[i]) return static_cast<int>(i);
    return -1;
}

template <class Buttons> int indexOf(const Buttons& buttons, const CControl* control) {
    for (std::size_t i = 0; i < buttons.size(); ++i)
        if (buttons[i] && buttons[i] == control) return static_cast<int>(i);
    return -1;
}

template <class Buttons> void showChoice(Buttons& buttons, int chosen) {
    for (std::size_t i = 0; i < buttons.size(); ++i)
        if (buttons[i]) buttons[i]->setState(static_cast<int>(i) == chosen);
}

} // namespace

void uEditor::valueChanged(CControl* control) {
    APlugin* p = plugin();
    if (!p || !frame || !getEditorFinishedOpening() || !control) return;
    if (specialValueChanged(control)) return;
    const int t = control->getTag();
    if (t != NO_PARAM_TAG && isValidTag(t) && !p->getTagLocked(t))
        p->setParameterAutomated(t, control->getValue());
}

// The special controls, compared in a fixed order; the first that matches
// acts and ends the call.
bool uEditor::specialValueChanged(CControl* control) {
    return headerValueChanged(control) || mainValueChanged(control) ||
           lowerPageValueChanged(control) || backValueChanged(control);
}

// ------------------------------------------------------------------ header

bool uEditor::headerValueChanged(CControl* control) {
    APlugin& p = *plugin();
    editor_controls::Header& h = controls.header;

    if (control == h.presetMenu) {
        presetMenuChanged(control); // editor/menu_preset.cpp
        return true;
    }
    if (control == h.ecsMenu) {
        switch (static_cast<HeaderCommand>(menu_tag::command(chosenTag(control)))) {
        case HeaderCommand::None:
            break;
        case HeaderCommand::LoadECS:
            p.loadECS();
            break;
        case HeaderCommand::SaveECS:
            p.saveECS();
            break;
        case HeaderCommand::ClearAllMidi:
            p.resetMIDI();
            break;
        }
        return true;
    }
    if (control == h.preview) {
        if (pressed(control))
            p.previewNoteOn();
        else
            p.previewNoteReleased();
        return true;
    }
    if (control == h.originalPreset) {
        if (pressed(control)) p.origProgram();
        return true;
    }
    if (control == h.editedPreset) {
        if (pressed(control)) p.editProgram();
        return true;
    }
    if (control == h.help) {
        if (pressed(control)) openHelp();
        return true;
    }
    if (control == h.backScreenArea) {
        showBackScreen(false);
        return true;
    }
    if (control == controls.back.toMain) {
        showMainScreen();
        return true;
    }
    return false;
}

// The manual, in the desktop's viewer, when it is where the preferences say.
// The manual that comes with the plug-in is written out where the preference
// names it (the data folder by default) before it is shown. When there is no
// manual to show, or nothing to show it with, a message box says so.
void uEditor::openHelp() {
    const std::string& path = plugin()->core.folders.helpPath;
    std::string error;
    if (getFileNameOnlyStr(path, false) == ONDIX_MANUAL_FILE)
        installManual(path.substr(0, path.size() - std::string(ONDIX_MANUAL_FILE).size()), error);
    if (!fileExists(path)) {
        messageBox("The manual was not found: " + path + (error.empty() ? "" : " (" + error + ")"),
                   MESSAGE_BOX_OK);
        return;
    }
    openDocumentOrTell(path);
}

// ------------------------------------------------------------------ the main screen's sections

bool uEditor::mainValueChanged(CControl* control) {
    APlugin& p = *plugin();
    editor_controls::All& c = controls;
    const int lfo = selectedFreeLFO == 1 ? 1 : 0;

    if (control == c.play.distortMode || control == c.osc.mode || control == c.osc.octave ||
        control == c.filter.type || control == c.freeLFO.mode[lfo] ||
        control == c.freeLFO.wave[lfo] || control == c.xy.playMode || control == c.xy.loopMode ||
        control == c.xy.syncToMode) {
        setMenuValue(control);
        return true;
    }
    // Portamento mode, unison mode and the bend ranges: the arpeggiator's
    // lock keeps them, as it keeps the play mode.
    if (control == c.play.portamentoMode || control == c.play.unisonMode ||
        control == c.play.bendUp || control == c.play.bendDown) {
        if (!p.getArpLocked()) setMenuValue(control);
        return true;
    }
    if (control == c.play.playMode) {
        if (!p.getArpOrPlayLocked()) {
            const int index = chosenIndex(control);
            setMenuValue(tag::PlayMode, index); // the Arp switch follows
            const bool arp = index == playmode::Arp;
            if (c.arp.on) c.arp.on->setState(arp);
            requests.refreshXYMenus = true;
        }
        return true;
    }
    if (control == c.play.playLock) {
        const int state = chosenIndex(control);
        p.setLockState(1, state);
        p.setLockState(2, state);
        if (state == 2) {
            control->setValue(0.0f);
            if (c.arp.lock) {
                c.arp.lock->setValue(0.0f);
                c.arp.lock->setDirty(true);
            }
        } else if (state == 1 && c.arp.lock) {
            c.arp.lock->setValue(1.0f);
            c.arp.lock->setDirty(true);
        }
        c.play.playLock->setString(vocabAt(LOCK_STR, p.getLockState(1)));
        c.play.playLock->setDirty(true);
        if (c.arp.lock) {
            c.arp.lock->setString(vocabAt(LOCK_STR, p.getLockState(2)));
            c.arp.lock->setDirty(true);
        }
        resume();
        return true;
    }
    if (indexOf(c.osc.waveA, control) >= 0 || indexOf(c.osc.waveB, control) >= 0) {
        if (const int wave = findText(OSC_WAVE_STR, chosenTitle(control)); wave >= 0) {
            setMenuValue(control->getTag(), wave);
            p.setToDefault(18);
        }
        return true;
    }
    if (control == c.filter.envelopeDisplay) {
        prefs.envelopeShowKnobs = control->getValue() >= 0.5f;
        setRegValue(REG_ENV_STR, prefs.envelopeShowKnobs);
        requests.rebuildEnvPages = true;
        return true;
    }
    if (const int l = indexOf(c.freeLFO.select, control); l >= 0) {
        if (pressed(control)) {
            selectedFreeLFO = l;
            showChoice(c.freeLFO.select, l);
            requests.rebuildFreeLFOPage = true;
        }
        return true;
    }
    if (control == c.freeLFO.speedMenu[lfo]) {
        p.setSteppedValue(control->getTag(), chosenIndex(control), kLfoPeriodRange, kLfoPeriods);
        requests.rebuildFreeLFOPage = true;
        return true;
    }
    if (control == c.freeLFO.speedKnob[lfo]) {
        p.setParameterAutomated(control->getTag(), control->getValue());
        requests.rebuildFreeLFOPage = true;
        return true;
    }
    if (const int e = indexOf(c.freeEnv.select, control); e >= 0) {
        if (pressed(control)) {
            selectedFreeEnv = e;
            showChoice(c.freeEnv.select, e);
            requests.rebuildFreeEnvPage = true;
        }
        return true;
    }
    if (const int page = indexOf(c.main.pageSelect, control); page >= 0) {
        if (pressed(control)) {
            mainPage = page;
            showChoice(c.main.pageSelect, page);
            showMainScreen();
        }
        return true;
    }
    if (indexOf(c.xy.recordMode, control) >= 0) {
        if (pressed(control)) {
            p.setSteppedValue(tag::XYRecordMode, indexOf(c.xy.recordMode, control));
            requests.refreshXYMode = true;
        }
        return true;
    }
    for (int k = 0; k < 4; ++k) {
        if (control != c.xy.destMenu[static_cast<std::size_t>(k)] &&
            indexOf(c.xy.destSubMenu[static_cast<std::size_t>(k)], control) < 0)
            continue;
        if (const int dest = findText(DEST_STR, chosenTitle(control)); dest >= 0)
            setMenuValue(tag::XYModDestFirst + k, dest);
        return true;
    }
    if (control == c.xy.drawOsc) {
        prefs.drawOsc = pressed(control);
        setRegValue(REG_DRAW_OSC_STR, prefs.drawOsc);
        return true;
    }
    if (control == c.xy.spaceQuant || control == c.xy.timeQuant || control == c.xy.pointQuant) {
        setMenuValue(control);
        requests.redrawXY = true;
        return true;
    }
    if (control == c.header.managerArea) return true; // the manager has no screen
    return false;
}

// ------------------------------------------------------------------ the lower pages

bool uEditor::lowerPageValueChanged(CControl* control) {
    APlugin& p = *plugin();
    editor_controls::Arp& a = controls.arp;
    editor_controls::Wave& w = controls.wave;
    auto arpScreenDirty = [&a] {
        if (a.screen) a.screen->setDirty(true);
    };

    if (control == a.lock) {
        const int state = chosenIndex(control);
        p.setLockState(2, state);
        if (state == 2) {
            control->setValue(0.0f);
            control->setDirty(true);
        }
        return true;
    }
    if (control == a.on) {
        if (!p.getArpLocked()) {
            // Turned off, the switch goes back to the play mode the
            // arpeggiator was chosen from (the plug-in keeps it, whoever
            // turned the switch on).
            setMenuValue(tag::PlayMode, pressed(control) ? playmode::Arp : p.getSavedPlayMode());
            if (p.getOnOff(tag::ArpOn) != pressed(control)) // not followed while Play is locked
                p.setParameterAutomated(tag::ArpOn, control->getValue());
            requests.refreshXYMenus = true;
        }
        return true;
    }
    if (control == a.speed || control == a.octave || control == a.tiedMode ||
        control == a.ratchetMode || control == a.loopMode || control == a.magicMode ||
        control == a.numSteps || control == a.loopStart || control == a.stepsCatchup ||
        control == a.loopStartCatchup) {
        if (!p.getArpLocked()) {
            setMenuValue(control);
            arpScreenDirty();
        }
        return true;
    }
    if (control == a.magicSteps) {
        if (!p.getArpLocked()) {
            setMenuValue(control);
            if (TKnob* knob = a.knobs[6]) {
                knob->setValue(control->getValue() / kMagicStepsRange);
                knob->setDirty(true);
            }
            arpScreenDirty();
        }
        return true;
    }
    if (control == a.mode) {
        if (!p.getArpLocked()) {
            const int index = chosenIndex(control);
            setMenuValue(control);
            if (index >= 10 && index <= 12) {
                // Modes that only modulate: the arpeggiator stops playing notes.
                p.setSteppedValue(tag::PlayMode, p.getSavedPlayMode());
                p.setOff(tag::ArpOn);
            } else {
                // The play mode is the arpeggiator, as the switch and the
                // play-mode menu show it.
                p.setSteppedValue(tag::PlayMode, playmode::Arp);
                p.setOn(tag::ArpOn);
            }
            resume();
        }
        return true;
    }

    if (const int wave = indexOf(w.select, control); wave >= 0) {
        if (pressed(control)) {
            selectedWave = wave;
            showChoice(w.select, wave);
            showMainScreen();
        }
        return true;
    }
    if (const int mode = indexOf(w.drawMode, control); mode >= 0) {
        if (pressed(control)) {
            waveDrawMode = mode;
            if (w.screen) w.screen->setDrawMode(waveDrawMode);
            showChoice(w.drawMode, mode);
        }
        return true;
    }
    if (const int view = indexOf(w.view, control); view >= 0) {
        if (pressed(control)) {
            partialView = view;
            if (w.screen) w.screen->setMode(partialView);
            rebuildRequested.store(true, std::memory_order_relaxed);
        }
        return true;
    }
    if (control == w.shaperMenu) {
        setMenuValue(control);
        const int step = p.getSteppedValue(tag::WaveShaperMode);
        if (w.screen) w.screen->setShaperMode(step);
        const int mode = std::clamp(step, 0, static_cast<int>(shaperValue1.size()) - 1);
        const float first = shaperValue1[static_cast<std::size_t>(mode)];
        const float second = shaperValue2[static_cast<std::size_t>(mode)];
        for (auto [knob, v] : {std::pair{w.shaperKnobs[0], first}, {w.shaperKnobs[1], second}}) {
            if (!knob) continue;
            knob->setValue(v);
            knob->setDefaultValue(v);
        }
        p.setParameterAutomated(tag::WaveShaper1, first);
        p.setParameterAutomated(tag::WaveShaper2, second);
        requests.refreshWave = true;
        return true;
    }
    if (indexOf(w.shaperKnobs, control) >= 0) {
        p.setParameterAutomated(control->getTag(), control->getValue());
        requests.refreshWave = true;
        return true;
    }
    if (control == w.apply) {
        const HostValuesWatch watch(&p); // the host is told of a changed wave
        if (pressed(control)) {
            setWaveUndo();
            p.doWaveShaperCommand(selectedWave);
            setMenuValue(tag::WaveShaperMode, 0);
            resumeMenu(w.shaperMenu);
            if (w.screen) w.screen->setShaperMode(0);
            p.setTempPreviewWave(false);
        }
        requests.refreshWave = true;
        return true;
    }
    if (control == w.undo) {
        const HostValuesWatch watch(&p); // the host is told of a changed wave
        if (pressed(control)) doWaveUndo();
        requests.refreshWave = true;
        return true;
    }
    if (control == w.load) {
        const HostValuesWatch watch(&p); // the host is told of a changed wave
        if (pressed(control)) {
            setWaveUndo();
            p.loadWave(selectedWave);
            control->setValue(0.0f);
        }
        requests.refreshWave = true;
        return true;
    }
    if (control == w.save) {
        if (pressed(control)) {
            p.saveWave(selectedWave);
            control->setValue(0.0f);
        }
        requests.refreshWave = true;
        return true;
    }
    if (control == w.clear) {
        const HostValuesWatch watch(&p); // the host is told of a changed wave
        if (pressed(control)) {
            setWaveUndo();
            p.clearWave(selectedWave);
        }
        requests.refreshWave = true;
        return true;
    }
    if (control == w.presetMenu) {
        const HostValuesWatch watch(&p); // the host is told of a changed wave
        // The factory groups name factory waves; the last group lists the
        // saved user-wave presets.
        COptionMenu* in = nullptr;
        const std::string title = chosenTitle(control, &in);
        setWaveUndo();
        const CMenuItem* last = w.presetMenu->getEntry(w.presetMenu->getNbEntries() - 1);
        if (in && last && in == last->getSubmenu()) {
            p.loadWavePreset(selectedWave, title);
            requests.refreshWave = true;
        } else if (const int wave = findText(OSC_WAVE_STR, title, kFactoryWaves); wave >= 0) {
            p.loadWavePreset(selectedWave, wave);
            requests.refreshWave = true;
        } else if (title == "None") {
            p.clearWave(selectedWave);
        }
        return true;
    }
    return false;
}

// ------------------------------------------------------------------ the back screen

bool uEditor::backValueChanged(CControl* control) {
    APlugin& p = *plugin();
    editor_controls::Back& b = controls.back;

    if (control == b.keyboard) {
        prefs.keyboard = control->getValue() >= 0.5f;
        setRegValue(REG_KEYBOARD_STR, prefs.keyboard);
        return true;
    }
    for (auto [button, key] : {std::pair{b.presetWarning, REG_PRESET_WARNING_STR},
                               {b.altMidi, REG_MIDI_CAPTURE_STR},
                               {b.midiPreset, REG_MIDI_PRESET_STR},
                               {b.midiBank, REG_MIDI_BANK_STR}}) {
        if (control != button) continue;
        setRegValue(key, pressed(control));
        return true;
    }
    if (control == b.screenSize) {
        const int index = chosenIndex(control);
        if (index < 0) return true;
        b.screenSize->setString(vocabAt(SCREEN_SIZE_SHORT_STR, index));
        setScreenSize(index);
        return true;
    }
    if (control == b.decaySustain) {
        setRegValue(REG_DECAY_SUSTAIN_STR, pressed(control));
        prefs.decaySustain = getDecaySustainPref();
        for (TEnvScreen* env : {controls.filter.filterEnvScreen, controls.filter.ampEnvScreen})
            if (env) env->setDecaySustain(prefs.decaySustain);
        return true;
    }
    if (control == b.midiChannel) {
        const int index = chosenIndex(control);
        if (index < 0) return true;
        saveIntToPrefs(REG_MIDI_IN_CHANNEL_STR, index);
        b.midiChannel->setString(vocabAt(MIDI_IN_CHANNEL_STR, index));
        p.refreshMidiChannelPref();
        p.updateMidiChannel(false);
        return true;
    }
    if (control == b.a4Tuning) {
        if (pressed(control)) askA4Tuning();
        return true;
    }
    if (control == b.resetTuning) {
        if (pressed(control)) p.resetTuning();
        if (b.loadTuning) b.loadTuning->setString(p.getTuningName());
        return true;
    }
    if (control == b.loadTuning) {
        if (pressed(control)) p.loadTuning();
        b.loadTuning->setString(p.getTuningName());
        return true;
    }
    return false;
}

// The reference pitch, typed in hertz, starting from the stored one. A
// cancel, an empty answer, a text that is not a number or one outside
// 10..10000 Hz keeps the stored pitch.
void uEditor::askA4Tuning() {
    APlugin& p = *plugin();
    const int current = a4OrDefault(loadIntFromPrefs(REG_A4_STR));
    char buffer[TEXT_BUFFER_SIZE] = {};
    std::snprintf(buffer, sizeof buffer, "%d", current);
    inputBox("A4 Tuning : 440 Hz Default", "Hz", buffer);
    if (!startsWithNumber(buffer)) return;
    const int a4 = textToInt(buffer);
    if (a4 != a4OrDefault(a4)) return;
    saveIntToPrefs(REG_A4_STR, a4);
    if (TReadout* readout = controls.back.a4Tuning) {
        char text[32];
        std::snprintf(text, sizeof text, "%dhz", a4);
        readout->setString(text);
        readout->setDirty(true);
    }
    p.refreshA4Pref();
    p.updateBaseNote();
}
