// Keeping controls and parameters in step, and the idle pass.
//
// The plug-in reports parameter changes through setParameter from whatever
// thread changes them, often the audio thread. setParameter therefore only
// records the value with an atomic mark; the GUI thread's idle pass applies
// the recorded values to the controls and raises the page refreshes.

#include "core/aplugin.h"
#include "editor/ueditor.h"

using namespace VSTGUI;

namespace {

constexpr uint32_t kIdleInterval = 40; // ms between two passes of the editor's own work

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

// One value from the plug-in: the page refreshes it calls for, then the
// value of the control bound to the tag. Option menus are refreshed from
// the parameter by resume() and by their own rows below, never here.
void uEditor::applyParameter(int t, float value) {
    if (!frame || !plugin() || !isValidTag(t) || !getEditorFinishedOpening()) return;
    applied[t] = value;

    bool setControl = true;
    if (t >= 4 && t <= 7) {
        if (!prefs.envelopeShowKnobs) {
            requests.rebuildEnvPages = true;
            setControl = false;
        }
    } else if (t >= 30 && t <= 33) {
        if (!prefs.envelopeShowKnobs) {
            requests.redrawEnvScreen1 = true;
            setControl = false;
        }
    } else if (t == 13) {
        requests.redrawEnvScreen1 = requests.redrawEnvScreen2 = true;
    } else if (t == 29) {
        requests.redrawEnvScreen1 = true;
    } else if (t == 14 || t == 15) {
        requests.redrawXY = true;
        setControl = false;
    } else if (t == 16) {
        requests.redrawXYNext = requests.redrawXY = true;
    } else if (t == 17) {
        setControl = false;
    } else if (t >= 63 && t <= 66) {
        requests.rebuildFreeLFOPage = true;
    } else if (t >= 251 && t <= 254) {
        requests.rebuildFreeLFOPage = true;
        setControl = false;
    } else if (t == 87) {
        requests.rebuildFXPage = true;
    } else if (t == 88 || t == 117 || t == 118 || t == 119 || t == 124 || (t >= 291 && t <= 298) ||
               (t >= 243 && t <= 250) || (t >= 448 && t <= 455)) {
        if (t == 293 || t == 295 || t == 297 || t == 291) requests.redrawArp = true;
        if (t == 249) requests.redrawXY = true;
        setControl = false;
    } else if (t >= 317 && t <= 444) {
        requests.redrawArp = true;
    } else if (t == 445) {
        requests.refreshXYMode = true;
    } else if (t == 446 || t == 447) {
        requests.refreshXYMenus = requests.redrawXY = true;
        setControl = false;
    } else if (t == 456) {
        requests.redrawXY = true;
    } else if (t == 996) {
        requests.refreshWave = true;
    }
    if (!setControl) return;

    const int slot = table.tagToControl[t];
    if (slot < 0) return;
    CControl* control = table.control[slot];
    if (control && table.kind[slot] != 2 && control->getTag() == t) control->setValue(value);
}

void uEditor::resume() {
    APlugin* p = plugin();
    if (!p || !getEditorFinishedOpening() || inResume) return;
    inResume = true;
    p->core.popupOpen.clear();

    if (frame) {
        if (screenCode != SCREEN_BACK) updatePresetMenu();

        requests.rebuildFXPage = requests.redrawArp = requests.refreshWave = true;
        requests.refreshXYMode = requests.refreshXYMenus = requests.redrawModScreen = true;
        requests.redrawXYNext = requests.redrawEnvScreen1 = requests.redrawEnvScreen2 = true;
        requests.rebuildFreeLFOPage = requests.rebuildEnvPages = true;
        requests.rebuildFreeEnvPage = true;

        for (int slot = 0; slot < table.count; ++slot) {
            CControl* control = table.control[slot];
            const int kind = table.kind[slot];
            if (!control || !isValidTag(control->getTag()) || kind == 0 || kind == 2) continue;
            const float v = p->getParameter(control->getTag());
            if (std::abs(control->getValue() - v) > 0.00001f) {
                control->setValue(v);
                control->invalid();
                control->setDirty(true);
            }
        }
    }
    bankManagerRequest.fill(0);
    inResume = false;
}

void uEditor::updateFrame() {
    if (plugin() && getEditorFinishedOpening())
        rebuildRequested.store(true, std::memory_order_relaxed);
}

// From the audio thread: only noted; idle marks the XY screen dirty.
void uEditor::updateXY() {
    if (getEditorFinishedOpening()) xyDirtyRequest.store(true, std::memory_order_relaxed);
}

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

void uEditor::valueChanged(CControl* control) {
    APlugin* p = plugin();
    if (!p || !frame || !getEditorFinishedOpening() || !control) return;
    const int t = control->getTag();
    if (t != NO_PARAM_TAG && isValidTag(t) && !p->getTagLocked(t))
        p->setParameterAutomated(t, control->getValue());
}

// Input is handled at every call so that it is not limited to the rate of
// the editor's own work.
void uEditor::pumpWindowEvents() {
    if (frame && frame->getPlatformWindow()) frame->getPlatformWindow()->pumpEvents();
}

void uEditor::idle() {
    pumpWindowEvents();
    if (!frame || !plugin() || !getEditorFinishedOpening() || inResume) return;
    const uint32_t now = getTicks();
    if (now - lastIdleTick < kIdleInterval) return;
    lastIdleTick = now;
    idleNow();
}

void uEditor::idleNow() {
    if (!frame || !plugin() || !getEditorFinishedOpening() || inResume) return;
    applyPendingValues();
    xyDirtyRequest.store(false, std::memory_order_relaxed); // no XY screen yet
    AEffGUIEditor::idle();

    if (rebuildRequested.exchange(false, std::memory_order_relaxed)) {
        if (screenCode == SCREEN_MAIN_WAVE || screenCode == SCREEN_MAIN_ARP)
            showMainScreen();
        else if (screenCode == SCREEN_MANAGER)
            showManagerScreen();
    }
}
