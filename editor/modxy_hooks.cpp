// The modulation matrix's and the XY pad's small editor operations: the
// one-level undo snapshot that each screen takes before it edits, the XY
// section's return to the loaded preset, and the XY path point the pad is
// working on.

#include "core/aplugin.h"
#include "core/section_tags.h"
#include "editor/ueditor.h"

void uEditor::setModUndo() {
    APlugin* p = plugin();
    if (!p) return;
    TagStore& store = stores.undo[kModSection];
    for (int t : section_tags::MOD_ALL_TAGS) store.value[t] = p->getParameter(t);
    store.valid = true;
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
