// Keeping controls and parameters in step: values from the plug-in, the full
// refresh and the small entry points the plug-in and the controls use. What
// the controls send to the plug-in is in value_changed.cpp, the idle pass in
// idle.cpp.
//
// The plug-in reports parameter changes through setParameter from whatever
// thread changes them, often the audio thread. setParameter therefore only
// records the value with an atomic mark; the GUI thread's idle pass applies
// the recorded values to the controls (applyParameter) and raises the page
// refreshes.

#include "controls/envarp.h"
#include "controls/tbuttons.h"
#include "controls/tknob.h"
#include "controls/tmodscreen.h"
#include "controls/toptionmenu.h"
#include "controls/txyscreen.h"
#include "controls/wave.h"
#include "core/aplugin.h"
#include "core/vocabulary.h"
#include "editor/ueditor.h"

#include <cmath>

using namespace VSTGUI;

namespace {

// A control differs from its parameter when they are further apart.
constexpr float kResumeEpsilon = 0.00001f;

} // namespace

void uEditor::setParameter(int t, float value) {
    if (!isValidTag(t) || !getEditorFinishedOpening()) return;
    pendingValue[t].store(value, std::memory_order_relaxed);
    pendingFlag[t].store(true, std::memory_order_release);
    anyPending.store(true, std::memory_order_release);
}

void uEditor::applyPendingValues() {
    if (!anyPending.exchange(false, std::memory_order_acq_rel)) return;
    for (int t = 0; t < tag::Count; ++t)
        if (pendingFlag[t].exchange(false, std::memory_order_acquire))
            applyParameter(t, pendingValue[t].load(std::memory_order_relaxed));
}

TOptionMenu* uEditor::menuForTag(int t) const {
    const editor_controls::All& c = controls;
    switch (t) {
    case 14:
        return c.osc.waveA[0];
    case 15:
        return c.osc.waveB[0];
    case 17:
        return c.osc.octave;
    case 117:
        return c.arp.numSteps;
    case 118:
        return c.arp.loopStart;
    case 119:
        return c.arp.speed;
    case 124:
        return c.arp.magicSteps;
    case 243:
        return c.play.playMode;
    case 244:
        return c.play.portamentoMode;
    case 245:
        return c.play.unisonMode;
    case 246:
        return c.play.bendDown;
    case 247:
        return c.play.bendUp;
    case 248:
        return c.play.distortMode;
    case 249:
        return c.osc.mode;
    case 250:
        return c.filter.type;
    case 251:
    case 253:
        return c.freeLFO.mode[(t - 251) / 2];
    case 252:
    case 254:
        return c.freeLFO.wave[(t - 252) / 2];
    case 291:
        return c.arp.mode;
    case 292:
        return c.arp.octave;
    case 293:
        return c.arp.tiedMode;
    case 294:
        return c.arp.ratchetMode;
    case 295:
        return c.arp.loopMode;
    case 296:
        return c.arp.stepsCatchup;
    case 297:
        return c.arp.loopStartCatchup;
    case 298:
        return c.arp.magicMode;
    case 446:
        return c.xy.loopMode;
    case 447:
        return c.xy.playMode;
    case 448:
        return c.xy.syncToMode;
    case 449:
        return c.xy.pointQuant;
    case 450:
        return c.xy.timeQuant;
    case 451:
        return c.xy.spaceQuant;
    case 452:
    case 453:
    case 454:
    case 455:
        return c.xy.destMenu[static_cast<std::size_t>(t - 452)];
    case 995:
        return c.wave.shaperMenu;
    default:
        return nullptr;
    }
}

// One value from the plug-in: the page refreshes and menu texts it calls
// for, then, unless its row says otherwise, the value of the control bound
// to the tag. Option menus take their value only through their own rows
// and resume().
void uEditor::applyParameter(int t, float value) {
    APlugin* p = plugin();
    if (!frame || !p || !isValidTag(t) || !getEditorFinishedOpening()) return;
    applied[t] = value;
    editor_controls::All& c = controls;
    PageRequests& r = requests;

    bool setControl = true;
    auto in = [t](int first, int last) { return t >= first && t <= last; };
    if (in(tag::AmpEnvAttack, tag::AmpEnvRelease)) {
        if (!prefs.envelopeShowKnobs) {
            r.rebuildEnvPages = true;
            setControl = false;
        }
    } else if (in(tag::FilterEnvAttack, tag::FilterEnvRelease)) {
        if (!prefs.envelopeShowKnobs) {
            r.redrawEnvScreen1 = true;
            setControl = false;
        }
    } else if (t == tag::ExpEnvShapeOn) {
        r.redrawEnvScreen1 = r.redrawEnvScreen2 = true;
    } else if (t == tag::InvertFilterEnvOn) {
        r.redrawEnvScreen1 = true;
    } else if (t == tag::OscWaveA || t == tag::OscWaveB) {
        resumeSubMenu(menuForTag(t), t, OSC_WAVE_STR);
        r.redrawXY = true;
        setControl = false;
    } else if (t == tag::OscMorph) {
        r.redrawXYNext = r.redrawXY = true;
    } else if (t == tag::OscOctave) {
        resumeMenu(menuForTag(t));
        setControl = false;
    } else if (in(tag::freeLfoSpeed(0), tag::freeLfoSync(1))) {
        r.rebuildFreeLFOPage = true;
    } else if (in(tag::FreeLfo1Mode, tag::FreeLfo2Wave)) {
        r.rebuildFreeLFOPage = true;
        setControl = false;
    } else if (t == tag::FlangerOrPhaser) {
        r.rebuildFXPage = true;
    } else if (t == tag::FlangerPhaserOn) {
        for (int k : {editor_controls::Main::kFlangerSwitch, editor_controls::Main::kPhaserSwitch})
            if (TOnOff* button = c.main.switches[static_cast<std::size_t>(k)])
                button->setValue(value);
        setControl = false;
    } else if (t == tag::ArpNumSteps || t == tag::ArpLoopStart) {
        // The step-count and loop-start knobs and menus show the value the
        // arpeggiator plays, which a lock keeps.
        for (int slot = 0; slot < table.count; ++slot)
            if (CControl* control = table.control[slot]; control && control->getTag() == t)
                control->setValue(p->getLockVar(t));
        resumeSubMenu(menuForTag(t), t, ARP_STEPS_STR);
        if (c.arp.screen) c.arp.screen->setDirty(true);
        setControl = false;
    } else if (t == tag::ArpSpeed || t == tag::ArpOctave || t == tag::ArpRatchetMode ||
               t == tag::ArpStepsCatchup) {
        resumeMenu(menuForTag(t));
        setControl = false;
    } else if (t == tag::ArpTiedMode || t == tag::ArpLoopMode || t == tag::ArpLoopStartCatchup) {
        resumeMenu(menuForTag(t));
        r.redrawArp = true;
        setControl = false;
    } else if (t == tag::ArpMagicSteps) {
        resumeSubMenu(c.arp.magicSteps, t, ARP_MAGIC_STEPS_SHORT_STR);
        setControl = false;
    } else if (t == tag::ArpMode) {
        resumeSubMenu(c.arp.mode, t, ARP_MODE_SHORT_STR);
        r.redrawArp = true;
        setControl = false;
    } else if (t == tag::ArpMagicMode) {
        resumeSubMenu(c.arp.magicMode, t, ARP_MAGIC_MODE_SHORT_STR);
        setControl = false;
    } else if (in(tag::PlayMode, tag::DistortMode) || t == tag::FilterType) {
        resumeMenu(menuForTag(t));
        setControl = false;
    } else if (t == tag::OscMode) {
        resumeMenu(menuForTag(t));
        r.redrawXY = true;
        setControl = false;
    } else if (in(tag::ArpGridFirst, tag::ArpGridLast)) {
        r.redrawArp = true;
    } else if (in(tag::SlotAmountFirst, tag::slotAmount(tag::ModSlotCount - 1)) ||
               in(tag::SlotBypassFirst, tag::slotDest(tag::ModSlotCount - 1))) {
        // The matrix has no control per slot parameter: its screen draws
        // them all, and the amount's text follows the destination's unit.
        r.redrawModScreen = true;
        setControl = false;
    } else if (in(tag::XYX, tag::XYMidiY) || in(tag::XYLengthSec, tag::XYLengthMs) ||
               in(tag::xyPointX(0), tag::xyPointY(tag::XYPointCount - 1))) {
        // The pad's point, its MIDI point and its path are drawn by the pad.
        r.redrawXY = true;
    } else if (t == tag::XYRecordMode) {
        r.refreshXYMode = true;
    } else if (t == tag::XYLoopMode || t == tag::XYPlayMode) {
        resumeMenu(menuForTag(t));
        r.refreshXYMenus = r.redrawXY = true;
        setControl = false;
    } else if (in(tag::XYSyncToMode, tag::XYSpaceQuant)) {
        resumeMenu(menuForTag(t));
        r.redrawXY = true; // the pad draws its grid by the quantisations
        setControl = false;
    } else if (in(tag::XYModDestFirst, tag::XYModDestFirst + tag::XYModCount - 1)) {
        resumeSubMenu(menuForTag(t), t, DEST_SHORT_STR);
        setControl = false;
    } else if (t == tag::XYEditOn) {
        r.redrawXY = true;
    } else if (t == tag::ExpPartialsOn) {
        r.refreshWave = true;
    } else if (in(tag::PartialFirst, tag::PartialLast)) {
        // A partial written by a command, an undo or the host.
        if (c.wave.screen) c.wave.screen->setDirty(true);
    } else if (in(tag::WaveHasPresetFirst, tag::WaveNameLast)) {
        // A user wave's preset changed, however it was chosen (the menu, its
        // "-" and "+" zones, the wheel, a command, the host): the preset
        // menu's text, the wave screen and its partials follow together.
        r.refreshWave = true;
    }
    if (!setControl) return;

    const int slot = table.tagToControl[t];
    if (slot < 0) return;
    CControl* control = table.control[slot];
    if (control && table.kind[slot] != kMenuKind && control->getTag() == t)
        control->setValue(value);
}

// ------------------------------------------------------------------ the full refresh

void uEditor::resume() {
    APlugin* p = plugin();
    if (!p || !getEditorFinishedOpening() || inResume) return;
    inResume = true;
    p->core.popupOpen.clear();

    if (frame) {
        if (screenCode != SCREEN_BACK) resumeMenus();

        PageRequests& r = requests;
        r.rebuildFXPage = r.redrawArp = r.refreshWave = r.refreshXYMode = true;
        r.refreshXYMenus = r.redrawModScreen = r.redrawXYNext = true;
        r.redrawEnvScreen1 = r.redrawEnvScreen2 = true;
        r.rebuildFreeLFOPage = r.rebuildEnvPages = r.rebuildFreeEnvPage = true;

        for (int slot = 0; slot < table.count; ++slot) {
            CControl* control = table.control[slot];
            const int kind = table.kind[slot];
            if (!control || !isValidTag(control->getTag()) || kind == kPlainKind ||
                kind == kMenuKind)
                continue;
            const float v = p->getParameter(control->getTag());
            if (std::fabs(control->getValue() - v) > kResumeEpsilon) {
                control->setValue(v);
                control->invalid();
                control->setDirty(true);
            }
        }
    }
    bankManagerRequest.fill(0);
    inResume = false;
}

// Every menu of the screen shown, from its parameter.
void uEditor::resumeMenus() {
    APlugin* p = plugin();
    if (!p) return;
    editor_controls::All& c = controls;
    updatePresetMenu();
    if (screenCode != SCREEN_MAIN_WAVE && screenCode != SCREEN_MAIN_ARP) return;

    resumeMenu(c.play.playMode);
    if (c.play.playLock) c.play.playLock->setString(vocabAt(LOCK_STR, p->getLockState(kLockPlay)));
    for (int t : {tag::PortamentoMode, tag::UnisonMode, tag::DistortMode, tag::PitchBendUp,
                  tag::PitchBendDown, tag::OscMode, tag::OscOctave})
        resumeMenu(menuForTag(t));
    resumeSubMenu(c.osc.waveA[0], tag::OscWaveA, OSC_WAVE_STR);
    resumeSubMenu(c.osc.waveB[0], tag::OscWaveB, OSC_WAVE_STR);
    resumeMenu(c.filter.type);
    for (int t = tag::XYModDestFirst; t < tag::XYModDestFirst + tag::XYModCount; ++t)
        resumeSubMenu(menuForTag(t), t, DEST_SHORT_STR);
    for (int t : {tag::XYPlayMode, tag::XYLoopMode, tag::XYSyncToMode, tag::XYPointQuant,
                  tag::XYSpaceQuant, tag::XYTimeQuant})
        resumeMenu(menuForTag(t));
    if (c.xy.screen) c.xy.screen->setDirty(true);
    if (c.mod.screen) c.mod.screen->setDirty(true);

    if (screenCode == SCREEN_MAIN_ARP) {
        editor_controls::Arp& a = c.arp;
        resumeMenu(a.speed);
        resumeSubMenu(a.mode, 291, ARP_MODE_SHORT_STR);
        resumeMenu(a.octave);
        resumeMenu(a.tiedMode);
        resumeSubMenu(a.numSteps, 117, ARP_STEPS_STR);
        resumeMenu(a.stepsCatchup);
        resumeMenu(a.loopMode);
        resumeSubMenu(a.loopStart, 118, ARP_STEPS_STR);
        resumeMenu(a.loopStartCatchup);
        resumeMenu(a.ratchetMode);
        resumeSubMenu(a.magicSteps, 124, ARP_MAGIC_STEPS_SHORT_STR);
        resumeSubMenu(a.magicMode, 298, ARP_MAGIC_MODE_SHORT_STR);
        if (a.screen) a.screen->setDirty(true);
        if (a.lock) a.lock->setString(vocabAt(LOCK_STR, p->getLockState(2)));
    } else {
        editor_controls::Wave& w = c.wave;
        resumeMenu(w.shaperMenu);
        if (w.presetMenu) w.presetMenu->setString(p->getWavePresetStr(selectedWave));
        if (w.screen) {
            w.screen->setShaperMode(p->getSteppedValue(tag::WaveShaperMode));
            w.screen->setDirty(true);
        }
    }
}

// ------------------------------------------------------------------ small entry points

void uEditor::updateFrame() {
    if (plugin() && getEditorFinishedOpening())
        rebuildRequested.store(true, std::memory_order_relaxed);
}

// From the audio thread: only noted; the idle pass marks the XY screen dirty.
void uEditor::updateXY() {
    if (getEditorFinishedOpening()) xyDirtyRequest.store(true, std::memory_order_relaxed);
}

// The host edits a parameter: the idle pass shows it in the readouts, as if
// the mouse pointed at its control. A tag without a control changes nothing.
void uEditor::setEditTag(int t) {
    if (!isValidTag(t)) {
        editControl = nullptr;
        return;
    }
    for (int slot = 0; slot < table.count; ++slot) {
        CControl* control = table.control[slot];
        if (control && control->getTag() == t) {
            editControl = control;
            return;
        }
    }
}
