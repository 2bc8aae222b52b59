// The envelope and arpeggiator sections' one-level undo snapshots. The
// envelope screens take one at every edit and wheel step, the arpeggiator
// grid before each edit of a cell; the sections' menus take them too.

#include "core/aplugin.h"
#include "core/section_tags.h"
#include "editor/section_values.h"
#include "editor/ueditor.h"

void uEditor::setEnvUndo() {
    APlugin* p = plugin();
    if (!p) return;
    section_values::store(*p, stores.undo[kEnvSection], section_tags::ENV_TAGS);
    // A newer snapshot without the free envelopes' fade and sync values: the
    // ones kept next to the older one must not come back with it.
    freeEnvMarks.fadeSyncUndo = false;
}

void uEditor::setArpUndo() {
    APlugin* p = plugin();
    if (!p) return;
    section_values::store(*p, stores.undo[kArpSection], section_tags::ARP_TAGS);
}

bool uEditor::getEnvUndo(int t, float& value) const {
    const TagStore& store = stores.undo[kEnvSection];
    if (!store.valid || !isValidTag(t)) return false;
    value = store.value[t];
    return true;
}

bool uEditor::getArpUndo(int t, float& value) const {
    const TagStore& store = stores.undo[kArpSection];
    if (!store.valid || !isValidTag(t)) return false;
    value = store.value[t];
    return true;
}
