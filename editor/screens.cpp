// Switching screens: the main screen with its lower page (arpeggiator or
// user waves) and the contents of the five sub-pages inside it. The back
// screen is in back_screen.cpp.
//
// Every control exists from the moment the window opens; a switch only
// takes the views out of the frame (or a sub-page) without releasing them
// and puts in those of the new screen. The editor's pointers keep the one
// reference each control has.

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
#include "core/vocabulary.h"
#include "editor/ueditor.h"

using namespace VSTGUI;

namespace {

void attach(CViewContainer* container, CView* view) {
    if (container && view) container->addView(view);
}

template <class Buttons> void showSelected(Buttons& buttons, int selected) {
    for (std::size_t i = 0; i < buttons.size(); ++i)
        if (buttons[i]) buttons[i]->setState(static_cast<int>(i) == selected);
}

} // namespace

void uEditor::showMainScreen() {
    if (!frame || rebuildingMain) return;
    rebuildingMain = true;
    frame->removeAll(false);
    frame->invalid();
    frame->setDirty(false);
    if (mainPage == 1) {
        screenCode = SCREEN_MAIN_ARP;
        frame->setBackground(getBitmap(10000));
    } else {
        screenCode = SCREEN_MAIN_WAVE;
        frame->setBackground(getBitmap(partialView == 1 ? 10002 : 10001));
    }
    showMainScreenControls();
    resume();
    frame->setDirty(true);
    rebuildingMain = false;
}

void uEditor::showMainScreenControls() {
    APlugin* p = plugin();
    if (!p || !frame) return;
    editor_controls::All& c = controls;
    auto add = [this](CView* view) { attach(frame, view); };

    // 1. The sub-pages.
    for (CViewContainer* page : subPages) add(page);

    // 2. Header.
    if (c.header.presetMenu) {
        char name[64] = {};
        p->getProgramName(name);
        c.header.presetMenu->setString(name);
    }
    add(c.header.presetMenu);
    add(c.header.folderMenu);
    add(c.header.preview);
    add(c.header.editedPreset);
    add(c.header.originalPreset);
    add(c.header.ecsMenu);
    add(c.header.help);
    add(c.header.managerArea);
    add(c.header.backScreenArea);
    add(c.header.controlMenu);
    add(c.header.paramName);
    add(c.header.paramValue);

    // 3. The main knobs and switches as one block.
    for (TKnob* knob : c.main.knobs) add(knob);
    for (TOnOff* button : c.main.switches) add(button);

    // 4. Play menus, the unison picture and the play lock.
    add(c.play.playMode);
    add(c.play.portamentoMode);
    add(c.play.unisonMode);
    add(c.play.bendDown);
    add(c.play.bendUp);
    add(c.play.distortMode);
    add(c.play.unisonPicture);
    add(c.play.playLock);
    if (c.play.playLock) c.play.playLock->setString(vocabAt(LOCK_STR, p->getLockState(1)));

    // 5. Oscillator and filter.
    add(c.osc.octave);
    add(c.osc.mode);
    add(c.osc.waveA[0]);
    add(c.osc.waveB[0]);
    add(c.osc.morph);
    add(c.osc.menuButton);
    add(c.filter.type);
    add(c.filter.invertEnvelope);
    add(c.filter.menuButton);
    add(c.filter.envelopeDisplay);

    // 6. Free modulator selectors.
    showSelected(c.freeLFO.select, selectedFreeLFO);
    for (TRadioButton* r : c.freeLFO.select) add(r);
    showSelected(c.freeEnv.select, selectedFreeEnv);
    for (TRadioButton* r : c.freeEnv.select) add(r);
    add(c.freeEnv.sync);

    // 7. Modulation matrix and XY pad.
    add(c.mod.menuButton);
    add(c.mod.screen);
    if (c.mod.screen) c.mod.screen->setDirty(true);
    for (TOptionMenu* m : c.xy.destMenu) add(m);
    add(c.xy.playMode);
    add(c.xy.loopMode);
    add(c.xy.syncToMode);
    add(c.xy.pointQuant);
    add(c.xy.spaceQuant);
    add(c.xy.timeQuant);
    showSelected(c.xy.recordMode, p->getXYRecordMode());
    for (TRadioButton* r : c.xy.recordMode) add(r);
    add(c.xy.menuButton);
    if (c.xy.drawOsc) c.xy.drawOsc->setState(prefs.drawOsc);
    add(c.xy.drawOsc);
    add(c.xy.speed);
    if (TXYScreen* pad = c.xy.screen) {
        add(pad);
        pad->drawOsc(prefs.drawOsc);
        pad->setOscMode(prefs.oscOut);
        pad->setGrouping(xyGrouping);
        pad->setDirty(true);
    }

    // 8. Lower-page selector and the arpeggiator switch.
    showSelected(c.main.pageSelect, mainPage);
    for (TRadioButton* r : c.main.pageSelect) add(r);
    add(c.arp.on);

    // 9. The lower page.
    if (screenCode == SCREEN_MAIN_ARP) {
        editor_controls::Arp& a = c.arp;
        for (TOptionMenu* m : {a.speed, a.mode, a.octave, a.tiedMode}) add(m);
        add(a.lock);
        if (a.lock) a.lock->setString(vocabAt(LOCK_STR, p->getLockState(2)));
        for (TOptionMenu* m : {a.numSteps, a.stepsCatchup, a.loopMode, a.loopStart,
                               a.loopStartCatchup, a.ratchetMode, a.magicSteps, a.magicMode})
            add(m);
        for (TKnob* knob : a.knobs) add(knob);
        add(a.keyEntry);
        add(a.hostSync);
        add(a.latch);
        add(a.menuButton);
        add(a.screen);
        if (a.screen) a.screen->setDirty(true);
    } else {
        editor_controls::Wave& w = c.wave;
        showSelected(w.select, selectedWave);
        showSelected(w.drawMode, waveDrawMode);
        showSelected(w.view, partialView);
        for (TRadioButton* r : w.select) add(r);
        for (TRadioButton* r : w.drawMode) add(r);
        for (TRadioButton* r : w.view) add(r);
        add(w.expPartials);
        add(w.shaperMenu);
        for (TKnob* knob : w.shaperKnobs) add(knob);
        for (CKickButton* k : {w.apply, w.undo, w.clear, w.load, w.save}) add(k);
        add(w.menuButton);
        add(w.presetMenu);
        if (TWaveScreen* screen = w.screen) {
            add(screen);
            screen->setWave(selectedWave);
            screen->setDrawMode(waveDrawMode);
            screen->setMode(partialView);
            screen->setShaperMode(p->getSteppedValue(tag::WaveShaperMode));
        }
    }
}

void uEditor::showFreeLFOScreen() {
    APlugin* p = plugin();
    CViewContainer* page = subPages[kFreeLFOPage];
    if (!p || !page) return;
    editor_controls::FreeLFO& lfo = controls.freeLFO;
    const int l = selectedFreeLFO == 1 ? 1 : 0;
    const int speedTag = tag::freeLfoSpeed(l);

    page->removeAll(false);
    page->setBackground(getBitmap(10024));
    attach(page, lfo.mode[l]);
    resumeMenu(lfo.mode[l]);
    attach(page, lfo.wave[l]);
    resumeSubMenu(lfo.wave[l], tag::freeLfoWave(l), LFO_WAVE_SHORT_STR);
    attach(page, lfo.sync[l]);
    attach(page, lfo.speedKnob[l]);
    if (!p->getOnOff(tag::freeLfoSync(l))) {
        attach(page, lfo.speedReadout[l]);
        if (lfo.speedReadout[l])
            lfo.speedReadout[l]->setString(p->getParameterDisplayStr(speedTag));
    } else {
        attach(page, lfo.speedMenu[l]);
        if (lfo.speedMenu[l])
            lfo.speedMenu[l]->setValue(static_cast<float>(
                p->getSteppedValue(speedTag, 33.99f, static_cast<int>(LFO_PERIOD_STR.size()))));
        if (lfo.speedKnob[l]) lfo.speedKnob[l]->setValue(p->getParameter(speedTag));
    }
    page->setDirty(true);
}

void uEditor::showFreeEnvScreen() {
    APlugin* p = plugin();
    CViewContainer* page = subPages[kFreeEnvPage];
    if (!p || !page) return;
    const int e = selectedFreeEnv == 1 ? 1 : 0;

    page->removeAll(false);
    page->setBackground(getBitmap(10025));
    // The sync switch stays in the frame and serves the envelope shown.
    if (TOnOff* sync = controls.freeEnv.sync) {
        const int syncTag = tag::freeEnv(e, tag::FreeEnvSync);
        sync->setTag(syncTag);
        sync->setState(p->getOnOff(syncTag));
        sync->invalid();
    }
    for (TKnob* knob : controls.freeEnv.knobs[e]) attach(page, knob);
    page->setDirty(true);
}

void uEditor::showEnvScreens() {
    APlugin* p = plugin();
    CViewContainer* filterPage = subPages[kEnvPage1];
    CViewContainer* ampPage = subPages[kEnvPage2];
    if (!p || !filterPage || !ampPage) return;
    editor_controls::Filter& f = controls.filter;

    filterPage->removeAll(false);
    ampPage->removeAll(false);
    if (!prefs.envelopeShowKnobs) {
        filterPage->setBackground(getBitmap(10020));
        ampPage->setBackground(getBitmap(10022));
        attach(filterPage, f.filterEnvScreen);
        attach(ampPage, f.ampEnvScreen);
        if (f.filterEnvScreen) f.filterEnvScreen->setDirty(true);
        if (f.ampEnvScreen) f.ampEnvScreen->setDirty(true);
    } else {
        filterPage->setBackground(getBitmap(10021));
        ampPage->setBackground(getBitmap(10023));
        auto showKnobs = [p](CViewContainer* page, auto& knobs) {
            for (TKnob* knob : knobs) {
                if (!knob) continue;
                knob->setValue(p->getParameter(knob->getTag()));
                attach(page, knob);
                knob->invalid();
            }
        };
        showKnobs(filterPage, f.filterEnvKnobs);
        showKnobs(ampPage, f.ampEnvKnobs);
    }
    filterPage->setDirty(true);
    ampPage->setDirty(true);
}

void uEditor::showFXScreen() {
    APlugin* p = plugin();
    CViewContainer* page = subPages[kFXPage];
    if (!p || !page) return;
    page->removeAll(false);
    const bool phaser = p->getFlangerOrPhaser();
    page->setBackground(getBitmap(phaser ? 10027 : 10026));
    for (TKnob* knob : phaser ? controls.fx.phaser : controls.fx.flanger) attach(page, knob);
    page->setDirty(true);
}
