#include "editor/ueditor.h"

#include "core/aplugin.h"

uEditor::uEditor(AudioEffect* effect) : AEffEditor(effect) {
    if (effect) effect->setEditor(this);
}

uEditor::~uEditor() = default;

APlugin* uEditor::plugin() const {
    return static_cast<APlugin*>(effect);
}

bool uEditor::open(void* parent) {
    APlugin* p = plugin();
    if (!p) return false;
    p->core.editorOpening.set();
    p->core.editorOpened.clear();

    systemWindow = parent;
    for (int t = 0; t < tag::Count; ++t) shown[t] = p->getCurrentValue(t);
    opened.store(true, std::memory_order_relaxed);

    p->core.editorOpening.clear();
    p->core.editorOpened.set();
    p->core.popupOpen.clear();
    return true;
}

void uEditor::close() {
    opened.store(false, std::memory_order_relaxed);
    rebuildPending.store(false, std::memory_order_relaxed);
    systemWindow = nullptr;
    if (APlugin* p = plugin()) {
        p->core.editorOpening.clear();
        p->core.editorOpened.clear();
    }
}

bool uEditor::isOpen() {
    return opened.load(std::memory_order_relaxed);
}

void uEditor::idle() {
    if (!isOpen()) return;
    if (anyPending.exchange(false, std::memory_order_acq_rel)) {
        for (int t = 0; t < tag::Count; ++t)
            if (pendingFlag[t].exchange(false, std::memory_order_acquire))
                shown[t] = pendingValue[t].load(std::memory_order_relaxed);
    }
    rebuildPending.store(false, std::memory_order_relaxed);
}

void uEditor::resume() {
    if (APlugin* p = plugin()) p->core.popupOpen.clear();
}

void uEditor::setEditTag(int t) {
    // Without controls no valid tag is carried by a control, so only the
    // clearing case (-1, or any tag outside the parameters) changes anything.
    if (!tag::isValid(t)) editTag = -1;
}

void uEditor::setParameter(int t, float value) {
    if (!tag::isValid(t)) return;
    pendingValue[t].store(value, std::memory_order_relaxed);
    pendingFlag[t].store(true, std::memory_order_release);
    anyPending.store(true, std::memory_order_release);
}

void uEditor::updateFrame() {
    APlugin* p = plugin();
    if (!isOpen() || !p || p->core.editorOpening || !p->core.editorOpened) return;
    rebuildPending.store(true, std::memory_order_relaxed);
}

// No XY view exists yet, so there is nothing to mark for redrawing.
void uEditor::updateXY() {}

float uEditor::shownValue(int t) const {
    return tag::isValid(t) ? shown[t] : 0.0f;
}
