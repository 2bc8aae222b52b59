// The modulation matrix's and the XY pad's small editor operations: the
// one-level undo snapshot that each screen takes before it edits, the XY
// section's return to the loaded preset, and the XY path point the pad is
// working on.

#include "controls/tbuttons.h"
#include "controls/txyscreen.h"
#include "core/aplugin.h"
#include "core/section_tags.h"
#include "editor/section_values.h"
#include "editor/ueditor.h"
#include "platform/prefs.h"

void uEditor::setModUndo() {
    APlugin* p = plugin();
    if (!p) return;
    section_values::store(*p, stores.undo[kModSection], section_tags::MOD_ALL_TAGS);
}

void uEditor::doModUndo() {
    APlugin* p = plugin();
    const TagStore& store = stores.undo[kModSection];
    if (!p || !store.valid) return;
    for (int t : section_tags::MOD_ALL_TAGS) p->setParameterAutomated(t, store.value[t]);
}

void uEditor::setXYPoint(int point) {
    xyPoint = point;
}

void uEditor::setXYUndo() {
    APlugin* p = plugin();
    if (!p) return;
    TagStore& store = stores.undo[kXYSection];
    store.value.fill(0.0f);
    for (int i = 0; i < xyTagCount; ++i) store.value[xyTags[i]] = p->getParameter(xyTags[i]);
    store.valid = true;
}

void uEditor::doXYUndo() {
    APlugin* p = plugin();
    if (!p) return;
    section_values::restore(
        *p, stores.undo[kXYSection],
        std::span<const int>(xyTags.data(), static_cast<std::size_t>(xyTagCount)));
}

void uEditor::setXYToOrig() {
    APlugin* p = plugin();
    if (!p) return;
    for (int i = 0; i < xyTagCount; ++i) p->setToOrig(xyTags[i]);
}

bool uEditor::getModUndo(int t, float& value) const {
    const TagStore& store = stores.undo[kModSection];
    if (!store.valid || !isValidTag(t)) return false;
    value = store.value[t];
    return true;
}

bool uEditor::getXYUndo(int t, float& value) const {
    const TagStore& store = stores.undo[kXYSection];
    if (!store.valid || !isValidTag(t)) return false;
    value = store.value[t];
    return true;
}

void uEditor::setXY(float x, float y) {
    if (APlugin* p = plugin()) p->setXY(x, y);
}

void uEditor::setXY(int i, float x, float y) {
    if (APlugin* p = plugin()) p->setXY(i, x, y);
}

// The idle pass gives the button its face for the new state.
void uEditor::setDrawOsc(bool on) {
    prefs.drawOsc = on;
    if (controls.xy.drawOsc) controls.xy.drawOsc->setValue(on ? 1.0f : 0.0f);
    if (controls.xy.screen) controls.xy.screen->drawOsc(on);
    setRegValue(REG_DRAW_OSC_STR, on);
}

void uEditor::toggleDrawOsc() {
    setDrawOsc(!prefs.drawOsc);
    resume();
}
