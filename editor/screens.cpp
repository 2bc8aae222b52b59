// The screens: the main screen with its lower page, the back (settings)
// screen, and the sub-pages inside the main screen.

#include "core/aplugin.h"
#include "editor/ueditor.h"

using namespace VSTGUI;

void uEditor::createMainScreenControls() {}

void uEditor::createBackScreen() {}

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
    if (!plugin()) return;
    for (CViewContainer* page : {subPages[kEnvPage1], subPages[kEnvPage2], subPages[kFreeLFOPage],
                                 subPages[kFreeEnvPage], subPages[kFXPage]}) {
        // The editor's reference travels with the view: screens only ever
        // remove views without releasing them.
        if (page) frame->addView(page);
    }
}

void uEditor::showBackScreen(bool /*unused*/) {
    if (!frame || !plugin()) return;
    frame->removeAll(false);
    frame->invalid();
    frame->setDirty(false);
    frame->setBackground(getBitmap(10003));
    screenCode = SCREEN_BACK;
    frame->setDirty(true);
}

void uEditor::showEnvScreens() {
    if (!plugin() || !subPages[kEnvPage1] || !subPages[kEnvPage2]) return;
    subPages[kEnvPage1]->removeAll(false);
    subPages[kEnvPage2]->removeAll(false);
    const bool knobs = prefs.envelopeShowKnobs;
    subPages[kEnvPage1]->setBackground(getBitmap(knobs ? 10021 : 10020));
    subPages[kEnvPage2]->setBackground(getBitmap(knobs ? 10023 : 10022));
    subPages[kEnvPage1]->setDirty(true);
    subPages[kEnvPage2]->setDirty(true);
}

void uEditor::showFreeLFOScreen() {
    if (!plugin() || !subPages[kFreeLFOPage]) return;
    subPages[kFreeLFOPage]->removeAll(false);
    subPages[kFreeLFOPage]->setBackground(getBitmap(10024));
    subPages[kFreeLFOPage]->setDirty(true);
}

void uEditor::showFreeEnvScreen() {
    if (!plugin() || !subPages[kFreeEnvPage]) return;
    subPages[kFreeEnvPage]->removeAll(false);
    subPages[kFreeEnvPage]->setBackground(getBitmap(10025));
    subPages[kFreeEnvPage]->setDirty(true);
}

void uEditor::showFXScreen() {
    if (!plugin() || !subPages[kFXPage]) return;
    subPages[kFXPage]->removeAll(false);
    subPages[kFXPage]->setBackground(getBitmap(plugin()->getFlangerOrPhaser() ? 10027 : 10026));
    subPages[kFXPage]->setDirty(true);
}
