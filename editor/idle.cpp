// The idle pass: the editor's periodic work on the host's GUI thread.
//
// The host calls idle() often (50 times a second or more); the work below
// runs at most every 40 ms. Each pass applies the values the plug-in
// reported, lets the GUI layer redraw, finds the control under the mouse,
// carries out the page refresh requests, pulls what the engine's running
// state shows (modulation rings, locks, step counts, previews) and writes
// the name and value of whatever the mouse points at into the two readouts
// and the tooltips. The engine never pushes anything to the editor.
//
// Faces and texts change only when the state they show changed: the pass
// remembers what it last showed.

#include "controls/envarp.h"
#include "controls/tbitmap.h"
#include "controls/tbuttons.h"
#include "controls/tknob.h"
#include "controls/tmodscreen.h"
#include "controls/toptionmenu.h"
#include "controls/treadout.h"
#include "controls/tsliders.h"
#include "controls/txyscreen.h"
#include "controls/wave.h"
#include "core/aplugin.h"
#include "core/modes.h"
#include "core/vocabulary.h"
#include "editor/ueditor.h"
#include "platform/dialogs.h"
#include "platform/prefs.h"

using namespace VSTGUI;

namespace {

constexpr uint32_t kIdleInterval = 40;   // ms between two passes of the editor's own work
constexpr uint32_t kBlinkInterval = 500; // ms per phase of a lock indicator
constexpr int kEditedFaceOn = 10052;
constexpr int kUnisonFaceOn = 10075;

// Where the envelope screens' handles are measured from, in design pixels
// of the frame: page 1 (filter) and page 2 (amplifier).
constexpr int kEnvHoverOrigin1 = 574;
constexpr int kEnvHoverOrigin2 = 853;

// The XY destination menus and the amount each drop sets.
constexpr int kXYDropTags[4][2] = {{tag::XYModDestFirst, tag::XYModAmountFirst},
                                   {tag::XYModDestFirst + 1, tag::XYModAmountFirst + 1},
                                   {tag::XYModDestFirst + 2, tag::XYModAmountFirst + 2},
                                   {tag::XYModDestFirst + 3, tag::XYModAmountFirst + 3}};

// The arpeggiator menus that show the locked section's steps.
constexpr int kArpLockedMenuTags[] = {tag::ArpRatchetMode, tag::ArpStepsCatchup,
                                      tag::ArpLoopStartCatchup, tag::ArpMagicMode,
                                      tag::ArpMagicSteps};
constexpr int kPlayLockedMenuTags[] = {tag::PlayMode, tag::PortamentoMode, tag::UnisonMode,
                                       tag::PitchBendUp, tag::PitchBendDown};

std::string hoverKey(const std::string& name, const std::string& value) {
    return name + '\n' + value;
}

// The parameter of a matrix cell: column 0 the slot's bypass, 1 its source,
// 2 its destination, 3 its amount.
int modCellTag(int column, int slot) {
    switch (column) {
    case 0:
        return tag::slotBypass(slot);
    case 1:
        return tag::slotSource(slot);
    case 2:
        return tag::slotDest(slot);
    default:
        return tag::slotAmount(slot);
    }
}

} // namespace

// Input is handled at every call so that it is not limited to the rate of
// the editor's own work.
void uEditor::pumpWindowEvents() {
    if (frame && frame->getPlatformWindow()) frame->getPlatformWindow()->pumpEvents();
}

void uEditor::idle() {
    pumpWindowEvents();
    if (!frame || !plugin() || !getEditorFinishedOpening() || inResume) return;
    // Unsigned: a clock that wrapped around still gives its 40 ms.
    const uint32_t now = getTicks();
    if (now - lastIdleTick < kIdleInterval) return;
    lastIdleTick = now;
    idleNow();
}

void uEditor::idleNow() {
    APlugin* p = plugin();
    if (!frame || !p || !getEditorFinishedOpening() || inResume) return;
    applyPendingValues();
    // Controllers learned by the audio thread into the preferences, settings
    // that waited for another process's lock, and the capture switch as the
    // settings last left it.
    p->flushLearnedControllers();
    retryPrefsSave();
    p->refreshMidiCapturePref();
    // Values changed without the host being told one by one (a preset
    // applied by the audio thread, a menu command): the host's display,
    // from this thread.
    p->serveHostDisplayUpdate();
    if (xyDirtyRequest.exchange(false, std::memory_order_relaxed) && controls.xy.screen)
        controls.xy.screen->setDirty(true);

    CPoint where;
    CView* view = viewUnderMouse(where);
    serveDropTargets(view);

    // Rebuilding a page takes its views out of their container, the one
    // that holds the mouse too, which would then miss the rest of its drag
    // and its release. While a gesture lasts the rebuilds wait; the first
    // pass after the release carries them out.
    if (!mouseHeld() && rebuildRequested.exchange(false, std::memory_order_relaxed)) {
        // A rebuild of the back screen is dropped.
        if (screenCode == SCREEN_MAIN_WAVE || screenCode == SCREEN_MAIN_ARP)
            showMainScreen();
        else if (screenCode == SCREEN_MANAGER)
            showManagerScreen();
    }

    if (screenCode != SCREEN_BACK) refreshMainScreen();
    bankManagerRequest.fill(0);

    showTooltip(view);
    showHoverTexts(view);
    showScreenHovers(view, where);

    // The frame draws last, so that what this pass changed (values written
    // since the last pass, the pages and screens they refresh, the readouts)
    // shows now rather than a pass later.
    AEffGUIEditor::idle();

    // A settings file that cannot be read is told once: at the first pass
    // after the editor opens, or when it is found while the editor is open.
    if (const std::string notice = takePrefsNotice(); !notice.empty())
        messageBox(notice, MESSAGE_BOX_OK);
}

// The control whose parameter the host edits, else the deepest view under
// the mouse (inside a sub-page when the mouse is over one). where receives
// the mouse location in frame coordinates.
CView* uEditor::viewUnderMouse(CPoint& where) const {
    where = CPoint(-1, -1);
    frame->getCurrentMouseLocation(where);
    if (editControl) return editControl;
    CView* view = frame->getViewAt(where);
    for (SubPage page : {kEnvPage1, kFreeLFOPage, kFreeEnvPage, kEnvPage2, kFXPage}) {
        CViewContainer* container = subPages[page];
        if (!container || view != container) continue;
        const CPoint local = where - container->getViewSize().getTopLeft();
        return container->getViewAt(local);
    }
    return view;
}

bool uEditor::mouseHeld() const {
    return frame && frame->getMouseDownView() != nullptr;
}

void uEditor::serveDropTargets(CView* view) {
    if (view) {
        if (view == controls.mod.screen) {
            dropMod();
        } else {
            for (int k = 0; k < 4; ++k)
                if (view == controls.xy.destMenu[static_cast<std::size_t>(k)])
                    setXYDrop(kXYDropTags[k][0], kXYDropTags[k][1]);
        }
    }
    if (drop.released) drop.tag = -1;
}

// ------------------------------------------------------------------ the main screens

void uEditor::refreshMainScreen() {
    APlugin* p = plugin();
    if (CKickButton* edited = controls.header.editedPreset) {
        if (const bool changed = p->getEditChanged(); changed != shownEditChanged) {
            shownEditChanged = changed;
            edited->setBackground(getBitmap(changed ? kEditedFaceOn : BITMAP_SWITCH));
            edited->setDirty(true);
            edited->invalid();
        }
    }
    if (screenCode != SCREEN_MAIN_WAVE && screenCode != SCREEN_MAIN_ARP) return;

    refreshLocksAndRings();
    refreshPages();
    if (screenCode == SCREEN_MAIN_ARP) refreshArpPage();
    if (screenCode == SCREEN_MAIN_WAVE) refreshWavePage();
    if (requests.rebuildFXPage && !mouseHeld()) {
        requests.rebuildFXPage = false;
        showFXScreen();
    }
    refreshXY();
}

void uEditor::refreshLocksAndRings() {
    APlugin* p = plugin();
    editor_controls::All& c = controls;
    const int phase = static_cast<int>(lastIdleTick / kBlinkInterval);

    // The Play section's lock: its controls show the locked values.
    const bool playLocked = p->getLockState(1) == 1;
    if (c.play.playLock) c.play.playLock->setIndicator(playLocked, phase);
    if (playLocked) {
        for (TKnob* knob : c.main.knobs)
            if (knob && p->getLockedSectionForTag(knob->getTag()) == kLockPlay)
                knob->setValue(p->getLockVar(knob->getTag()));
        for (int t : kPlayLockedMenuTags) {
            if (TOptionMenu* menu = menuForTag(t)) {
                menu->setValue(static_cast<float>(p->getLockSteppedValue(t)));
                menu->setDirty(true);
            }
        }
    }

    // Modulation rings.
    for (TKnob* knob : c.main.knobs) setModValue(knob);
    for (TKnob* knob : c.filter.filterEnvKnobs) setModValue(knob);
    for (TKnob* knob : c.filter.ampEnvKnobs) setModValue(knob);
    if (c.osc.morph) c.osc.morph->setModValue(p->getModValue(c.osc.morph->getTag()));

    // Flanger or phaser: the one in use has its rings and its switch lit.
    const bool phaser = p->getFlangerOrPhaser();
    for (TKnob* knob : phaser ? c.fx.phaser : c.fx.flanger) setModValue(knob);
    if (TOnOff* flanger = c.main.switches[editor_controls::Main::kFlangerSwitch])
        flanger->setBypassed(phaser);
    if (TOnOff* phaserButton = c.main.switches[editor_controls::Main::kPhaserSwitch])
        phaserButton->setBypassed(!phaser);

    for (TKnob* knob : c.freeEnv.knobs[selectedFreeEnv == 1 ? 1 : 0]) setModValue(knob);
    setModValue(c.freeLFO.speedKnob[selectedFreeLFO == 1 ? 1 : 0]);

    // The unison picture: one face for the stacked modes, one for the others.
    const int uni = p->getGlobalUniMode();
    const bool stacked = uni < 7 && uni != 4 && uni != 5;
    if (stacked != shownUniBitmap && c.play.unisonPicture) {
        c.play.unisonPicture->setBackground(getBitmap(stacked ? kUnisonFaceOn : BITMAP_UNISON));
        c.play.unisonPicture->setDirty(true);
    }
    shownUniBitmap = stacked;
}

// The page refresh requests of the envelope, free-modulator and matrix pages.
void uEditor::refreshPages() {
    editor_controls::All& c = controls;
    PageRequests& r = requests;
    if (r.redrawXYNext) r.redrawXY = true;
    r.redrawXYNext = false;

    // The rebuilds wait for the release of the mouse (see idleNow).
    const bool rebuild = !mouseHeld();
    if (r.rebuildEnvPages && rebuild) {
        r.rebuildEnvPages = false;
        if (c.filter.envelopeDisplay) c.filter.envelopeDisplay->setState(prefs.envelopeShowKnobs);
        showEnvScreens();
    }
    if (r.redrawEnvScreen1) {
        r.redrawEnvScreen1 = false;
        if (c.filter.filterEnvScreen) c.filter.filterEnvScreen->setDirty(true);
    }
    if (r.redrawEnvScreen2) {
        r.redrawEnvScreen2 = false;
        if (c.filter.ampEnvScreen) c.filter.ampEnvScreen->setDirty(true);
    }
    if (r.rebuildFreeLFOPage && rebuild) {
        r.rebuildFreeLFOPage = false;
        showFreeLFOScreen();
    }
    if (r.rebuildFreeEnvPage && rebuild) {
        r.rebuildFreeEnvPage = false;
        showFreeEnvScreen();
    }
    if (r.redrawModScreen) {
        r.redrawModScreen = false;
        if (c.mod.screen) c.mod.screen->setDirty(true);
    }
}

void uEditor::refreshArpPage() {
    APlugin* p = plugin();
    editor_controls::Arp& a = controls.arp;

    const int steps = p->getArpNumOfSteps();
    if (steps != lastArpSteps) requests.redrawArp = true;
    lastArpSteps = steps;
    if (requests.redrawArp) {
        requests.redrawArp = false;
        if (a.screen) a.screen->setDirty(true);
    }
    for (TKnob* knob : a.knobs) setModValue(knob);
    if (a.screen) a.screen->setLedStep(p->getArpLedPos());

    const int magicSteps = p->getLockSteppedValue(tag::ArpMagicSteps);
    if (a.magicSteps) a.magicSteps->setString(vocabAt(ARP_MAGIC_STEPS_SHORT_STR, magicSteps));
    if (a.magicMode) a.magicMode->setBypassed(magicSteps == 0);
    if (a.numSteps) {
        a.numSteps->setString(vocabAt(ARP_STEPS_STR, p->getArpNumOfStepsWithCatchup()));
        a.numSteps->setDirty(true);
    }
    if (a.loopStart) {
        a.loopStart->setString(vocabAt(ARP_STEPS_STR, p->getArpLoopStartWithCatchup()));
        a.loopStart->setDirty(true);
    }

    // The Arp section's lock: its controls show the locked values.
    const bool locked = p->getLockState(2) == 1;
    if (a.lock) a.lock->setIndicator(locked, static_cast<int>(lastIdleTick / kBlinkInterval));
    if (!locked) return;
    for (TKnob* knob : a.knobs)
        if (knob) knob->setValue(p->getLockVar(knob->getTag()));
    for (TOnOff* button : {a.on, a.latch, a.hostSync})
        if (button) button->setValue(p->getLockVar(button->getTag()));
    auto show = [](TOptionMenu* menu, int step) {
        if (!menu) return;
        menu->setValue(static_cast<float>(step));
        menu->setDirty(true);
    };
    show(a.speed, p->getArpSpeed());
    show(a.mode, p->getArpMode());
    show(a.octave, p->getArpOct());
    show(a.tiedMode, p->getArpTiedMode());
    for (int t : kArpLockedMenuTags) show(menuForTag(t), p->getLockSteppedValue(t));
    show(a.loopStart, p->getArpLoopStartWithCatchup());
    show(a.numSteps, p->getArpNumOfStepsWithCatchup());
}

void uEditor::refreshWavePage() {
    APlugin* p = plugin();
    editor_controls::Wave& w = controls.wave;

    if (const bool preview = p->getTempPreviewWave(); preview != shownPreviewWave) {
        shownPreviewWave = preview;
        if (w.screen) w.screen->setDirty(true);
    }
    if (!requests.refreshWave) return;
    requests.refreshWave = false;
    for (TKnob* knob : w.shaperKnobs) setModValue(knob);

    // The saved presets are listed again from the folder.
    if (w.presetMenu && w.presetMenu->getNbEntries() > 0) {
        CMenuItem* last = w.presetMenu->getEntry(w.presetMenu->getNbEntries() - 1);
        if (COptionMenu* saved = last ? last->getSubmenu() : nullptr) {
            saved->removeAllEntry();
            p->scanWavePreset();
            const int count = p->getWavePresetNo();
            if (count == 0) saved->addEntry("No Presets");
            for (int n = 0; n < count; ++n) saved->addEntry(p->getWavePresetStrFromNo(n));
        }
        w.presetMenu->setString(p->getWavePresetStr(selectedWave));
    }
    p->updatePreviewWaveTable(selectedWave);
    if (w.screen) w.screen->setDirty(true);
}

void uEditor::refreshXY() {
    APlugin* p = plugin();
    editor_controls::XY& xy = controls.xy;
    PageRequests& r = requests;

    if (prefs.drawOsc != shownDrawOsc) {
        shownDrawOsc = prefs.drawOsc;
        if (xy.drawOsc) {
            xy.drawOsc->setBackground(getBitmap(shownDrawOsc ? kEditedFaceOn : BITMAP_SWITCH));
            xy.drawOsc->invalid();
        }
        if (xy.screen) xy.screen->drawOsc(shownDrawOsc);
        r.redrawXY = true;
    }
    if (r.refreshXYMode) {
        r.refreshXYMode = false;
        const int mode = p->getXYRecordMode();
        for (std::size_t i = 0; i < xy.recordMode.size(); ++i)
            if (xy.recordMode[i]) xy.recordMode[i]->setState(static_cast<int>(i) == mode);
        if (xy.screen) xy.screen->setDirty(true);
    }
    if (r.redrawXY) {
        r.redrawXY = false;
        if (xy.screen) xy.screen->setDirty(true);
    }
    if (r.refreshXYMenus) {
        r.refreshXYMenus = false;
        if (xy.loopMode) {
            xy.loopMode->setValue(static_cast<float>(p->getXYLoopMode()));
            xy.loopMode->setDirty(true);
        }
        if (xy.playMode) {
            xy.playMode->setValue(static_cast<float>(p->getXYPlayMode()));
            xy.playMode->setDirty(true);
        }
    }
}

// ------------------------------------------------------------------ tooltips and readouts

// A parameter control's tooltip: its name, " :" and its value text.
void uEditor::showTooltip(CView* view) {
    if (!prefs.toolTips || !view) return;
    APlugin* p = plugin();
    for (int slot = 0; slot < table.count; ++slot) {
        CControl* control = table.control[slot];
        if (control != view || !table.tooltipEnabled[slot] || !isValidTag(control->getTag()))
            continue;
        const int t = control->getTag();
        control->setTooltipText(
            (p->getParameterNameStr(t) + " :" + p->getParameterDisplayStr(t)).c_str());
    }
}

void uEditor::showHover(const std::string& name, const std::string& value) {
    const std::string key = hoverKey(name, value);
    if (key == hoverText) return;
    if (controls.header.paramName) controls.header.paramName->setString(name);
    if (controls.header.paramValue) controls.header.paramValue->setString(value);
    hoverText = key;
}

void uEditor::showParameterHover(int t) {
    APlugin* p = plugin();
    showHover(p->getParameterNameStr(t), p->getParameterDisplayStr(t));
}

// The readouts name what the mouse points at: the controls of the hover
// table by their titles, parameter controls by their parameter. Over
// anything else they keep their texts.
void uEditor::showHoverTexts(CView* view) {
    std::string name = "None";
    std::string value;
    if (!hoverRow(view, name, value)) {
        for (int slot = 0; view && slot < table.count; ++slot) {
            CControl* control = table.control[slot];
            if (control != view) continue;
            if (isValidTag(control->getTag())) showParameterHover(control->getTag());
            break;
        }
        return;
    }
    if (prefs.toolTips && view)
        view->setTooltipText((value.empty() ? name : name + " : " + value).c_str());
    showHover(name, value);
}

bool uEditor::hoverRow(const CView* view, std::string& name, std::string& value) {
    if (!view) return false;
    APlugin* p = plugin();
    const editor_controls::All& c = controls;
    auto is = [view](const CView* control) { return control && control == view; };
    auto row = [&](const char* n, std::string v = {}) {
        name = n;
        value = std::move(v);
        return true;
    };

    const editor_controls::Header& h = c.header;
    if (is(h.presetMenu)) return row("Preset Menu");
    if (is(h.folderMenu)) return row("Folder Menu");
    if (is(h.paramName) || is(h.paramValue))
        return row("Parameter Name Readout", "Parameter Value Readout");
    if (is(h.preview)) return row("C3 Preview");
    if (is(h.editedPreset)) return row("Edited Preset");
    if (is(h.originalPreset)) return row("Original Preset");
    if (is(h.help)) return row("Show Help");
    if (is(h.ecsMenu)) return row("ECS Menu");
    if (is(h.managerArea)) return row("Show Manager Screen");
    if (is(h.controlMenu)) return row("Control Menu");
    if (is(c.filter.envelopeDisplay))
        return row("Select Envelope Display or Knobs",
                   prefs.envelopeShowKnobs ? "Envelope Knobs" : "Envelope Display");
    if (is(c.main.pageSelect[0])) return row("Show Wave Screen", "Right Click For Wave Menu");
    if (is(c.main.pageSelect[1])) return row("Show Arp Screen", "Right Click For Arp Menu");
    if (is(h.backScreenArea)) return row("Show Back Screen");
    if (is(c.play.playLock)) return row("Play Lock Menu", vocabAt(LOCK_STR, p->getLockState(1)));
    if (is(c.osc.menuButton)) return row("Oscillator Menu");
    if (is(c.filter.menuButton)) return row("Filter Menu");
    if (is(c.freeEnv.select[0]))
        return row("Show Free Envelope 1", "Right Click For Free Envelope 1 Menu");
    if (is(c.freeEnv.select[1]))
        return row("Show Free Envelope 2", "Right Click For Free Envelope 2 Menu");
    if (is(c.freeLFO.select[0])) return row("Show Free LFO 1", "Right Click For Free LFO 1 Menu");
    if (is(c.freeLFO.select[1])) return row("Show Free LFO 2", "Right Click For Free LFO 2 Menu");
    for (int l = 0; l < 2; ++l) {
        if (!is(c.freeLFO.speedReadout[l]) && !is(c.freeLFO.speedMenu[l])) continue;
        const int speedTag = tag::freeLfoSpeed(l);
        const std::string speed =
            p->getOnOff(tag::freeLfoSync(l))
                ? vocabAt(LFO_PERIOD_STR, p->getSteppedValue(speedTag, 33.99f, 34))
                : p->getLFOSpeedStr(speedTag);
        return row(l == 0 ? "Free LFO 1 Speed" : "Free LFO 2 Speed", speed);
    }
    if (is(c.mod.screen)) return row("Mod Screen");
    if (is(c.mod.menuButton)) return row("Mod Menu", "Click For Mod Menu");
    if (is(c.xy.recordMode[0])) return row("XY Live Mode");
    if (is(c.xy.recordMode[1])) return row("XY Record Mode");
    if (is(c.xy.recordMode[2])) return row("XY Replay Mode");
    if (is(c.xy.menuButton)) return row("XY Menu");
    if (is(c.xy.screen)) return row("XY Screen");
    if (is(c.xy.drawOsc)) return row("XY Draw Oscillator On/Off", prefs.drawOsc ? "On" : "Off");
    if (is(c.arp.lock)) return row("Arp Lock Menu");
    if (is(c.arp.menuButton)) return row("Arp Menu");
    if (is(c.arp.screen)) return row("Arp Screen");
    if (is(c.arp.magicSteps))
        return row("Arp Magic Steps",
                   vocabAt(ARP_MAGIC_STEPS_STR, p->getLockSteppedValue(tag::ArpMagicSteps)));

    const editor_controls::Wave& w = c.wave;
    if (is(w.screen)) return row("User Wave Screen");
    if (is(w.select[0])) return row("Show User Wave 1");
    if (is(w.select[1])) return row("Show User Wave 2");
    if (is(w.drawMode[0])) return row("Select User Wave Draw Mode");
    if (is(w.drawMode[1])) return row("Select User Wave Line Mode");
    if (is(w.drawMode[2])) return row("Select User Wave Erase Mode");
    if (is(w.view[0])) return row("Show User Wave Wave Mode");
    if (is(w.view[1])) return row("Show User Wave Partial Mode");
    if (is(w.presetMenu)) return row("Wave Presets", p->getWavePresetStr(selectedWave));
    if (is(w.apply)) return row("Apply User Wave Shaper");
    if (is(w.undo)) return row("Undo User Wave");
    if (is(w.load)) return row("Load User Wave");
    if (is(w.save)) return row("Save User Wave");
    if (is(w.clear)) return row("Clear User Wave");
    if (is(w.menuButton)) return row("User Wave Menu");

    const editor_controls::Back& b = c.back;
    if (is(b.toMain)) return row("To Main Screen");
    if (is(b.version)) return row("Version");
    if (is(b.keyboard)) return row("Keyboard Control On/Off");
    if (is(b.midiPreset)) return row("MIDI Preset Control On/Off");
    if (is(b.midiBank)) return row("MIDI Bank Control On/Off");
    if (is(b.altMidi)) return row("Alt MIDI On/Off");
    if (is(b.midiChannel)) return row("MIDI Channel");
    if (is(b.presetWarning)) return row("Preset Warning On/Off");
    if (is(b.decaySustain)) return row("Decay/Sustain On/Off");
    if (is(b.screenSize)) return row("Screen Size 100/125/150/200");
    if (is(b.a4Tuning)) return row("Set A4 Tuning");
    if (is(b.resetTuning)) return row("Reset Tuning");
    if (is(b.loadTuning)) return row("Load Tuning");
    return false;
}

// What the graphic screens point at: the matrix cell, the arpeggiator
// cell, the XY position or path point, the user wave's partial and the
// envelope handle under the mouse. where is the mouse in frame coordinates.
void uEditor::showScreenHovers(CView* view, const CPoint& where) {
    if (!view) return;
    APlugin* p = plugin();
    const editor_controls::All& c = controls;
    const int x = static_cast<int>(where.x), y = static_cast<int>(where.y);

    if (TModScreen* mod = c.mod.screen; mod && view == mod)
        showParameterHover(modCellTag(mod->getModCol(x), mod->getModSlotFromY(y)));

    if (TArpScreen* arp = c.arp.screen; arp && view == arp) {
        if (arp->getMouseDown()) {
            if (const int t = arp->getSelectedArpTag(); isValidTag(t)) showParameterHover(t);
        } else if (const int row = arp->getArpRow(y); row >= 0 && row < tag::ArpRowCount) {
            // Only the grid's eight rows name a cell.
            showParameterHover(tag::arpStep(row, arp->getArpStep(x)));
        }
    }

    if (TXYScreen* pad = c.xy.screen; pad && view == pad) {
        auto percent = [p](int t) {
            return std::to_string(static_cast<int>(p->getParameter(t) * 200.0f - 100.0f));
        };
        auto position = [&](int xTag, int yTag) {
            return "X: " + percent(xTag) + "%, Y: " + percent(yTag) + "%";
        };
        const int mode = p->getXYRecordMode();
        if (mode == xyrecord::Live) showHover("XY Position :", position(tag::XYX, tag::XYY));
        if (mode == xyrecord::Replay) {
            // In replay the path point being edited, else the one nearest
            // to the mouse.
            const int point = xyPoint >= 0 ? xyPoint : pad->getEditPoint(x, y);
            if (point >= 0 && point < TXYScreen::kPoints)
                showHover("XY Point :" + std::to_string(point + 1),
                          position(tag::XYPointXFirst + point, tag::XYPointYFirst + point));
        }
    }

    if (TWaveScreen* wave = c.wave.screen; wave && view == wave && partialView == 1) {
        const int partial =
            wave->getWaveTablePartial(x - static_cast<int>(wave->getViewSize().left));
        const int w = selectedWave == 1 ? 1 : 0;
        const int amplitude = static_cast<int>(p->getWaveTablePartialsAmp(w, partial) * 100.0f);
        const int phase = static_cast<int>(p->getWaveTablePartialsPhase(w, partial) * 360.0f);
        showHover("Wave " + std::to_string(w + 1) + " Partials " + std::to_string(partial + 1) +
                      ": Amp / Phase",
                  std::to_string(amplitude) + " %, " + std::to_string(phase) + " deg");
    }

    const std::pair<TEnvScreen*, int> envelopes[2] = {{c.filter.filterEnvScreen, kEnvHoverOrigin1},
                                                      {c.filter.ampEnvScreen, kEnvHoverOrigin2}};
    for (auto [env, origin] : envelopes) {
        if (!env || view != env) continue;
        const int t = env->getMouseDown() ? env->getSelectedEnvTag()
                                          : env->getNearestTag(x - getScaled(origin));
        if (t != -1 && isValidTag(t)) showParameterHover(t);
    }
}
