#include "controls/tknob.h"

#include "controls/control_access.h"
#include "core/aplugin.h"
#include "core/numeric.h"
#include "editor/gui_tables.h"
#include "editor/ueditor.h"

using namespace VSTGUI;
using namespace ControlAccess;

namespace {

constexpr CMouseEventResult kDone = kMouseDownEventHandledButDontNeedMovedOrUpEvents;
// Pixels of mouse travel for the whole range, and with shift held.
constexpr float kDragPixels = 200.0f;
constexpr float kFineDragPixels = 10000.0f;

} // namespace

TKnob::TKnob(const CRect& rect, IControlListener* listener, int32_t tag, CBitmap* pointerStrip,
             CBitmap* modStrip, const CPoint& offset, int32_t count)
    : CAnimKnob(rect, listener, tag, count, rect.getHeight(), pointerStrip, offset),
      modStrip(modStrip), count(count), lastFrame(count - 1), countF(static_cast<float>(count)) {
    if (modStrip) modStrip->remember();
}

TKnob::~TKnob() {
    if (modStrip) modStrip->forget();
}

void TKnob::setModValue(float mod) {
    uEditor* editor = editorOf(this);
    if (!editor) return;
    const float f = editor->getAnimation() ? countF * mod + 0.1f : countF * value;
    const int frame = truncTo(f, 0, lastFrame);
    if (frame == modFrame) return;
    modFrame = frame;
    setDirty(true);
}

// The pointer never shows the strip's last frame, which only the modulation
// strip uses.
int TKnob::getPointerFrame() const {
    const int p = truncTo(countF * value, 0, lastFrame);
    return p < lastFrame ? p : count - 2;
}

void TKnob::draw(CDrawContext* context) {
    uEditor* editor = editorOf(this);
    if (!editor || !pluginOf(editor) || !editor->getEditorFinishedOpening()) return;
    const CRect& r = getViewSize();
    const CCoord frameHeight = getHeightOfOneImage();
    if (modStrip) {
        const CRect where(r.left, r.top, r.left + modStrip->getWidth(), r.top + frameHeight);
        modStrip->draw(context, where, CPoint(0, modFrame * frameHeight), 1.0f);
    }
    if (background) {
        const CRect where(r.left, r.top, r.left + background->getWidth(), r.top + frameHeight);
        background->draw(context, where, CPoint(0, getPointerFrame() * frameHeight), 1.0f);
    }
    setDirty(false);
}

CMouseEventResult TKnob::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!getMouseEnabled()) return kDone;
    uEditor* editor = editorOf(this);
    APlugin* plugin = pluginOf(editor);
    if (!editor || !plugin || tag == NO_PARAM_TAG) return kDone;

    if (anyOf(buttons, kMenuClick)) {
        editor->showMIDIMenu(this, false);
        return kDone;
    }
    beginEdit();
    const bool toDefault = exactly(buttons, kDefaultClick) || buttons.isDoubleClick();
    if (toDefault || exactly(buttons, kOriginalClick)) {
        value = toDefault ? getDefaultValue() : plugin->getOrigValue(tag);
        if (isDirty()) valueChanged();
        endEdit();
        return kDone;
    }

    if (editor->getDragAndDrop() && editor->getDropSource(tag)) editor->setDropTag(tag);
    downPoint = where;
    movePoint = CPoint(-1, -1);
    dragStart = value;
    dragStep = getRange() / (anyOf(buttons, kShift) ? kFineDragPixels : kDragPixels);
    dragging = true;
    return onMouseMoved(where, buttons);
}

// Moving up increases the value. The step follows the shift key at every
// move; the start is re-based so that the value does not jump when it
// changes. Only a drag that began here moves the value: after a cancelled
// drag the held button passes over the knob without effect.
CMouseEventResult TKnob::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    if (!dragging || !buttons.isLeftButton() || where == movePoint) return kMouseEventHandled;
    movePoint = where;
    const float step = getRange() / (anyOf(buttons, kShift) ? kFineDragPixels : kDragPixels);
    const float dy = static_cast<float>(downPoint.y - where.y);
    dragStart += (dragStep - step) * dy;
    dragStep = step;
    value = step * dy + dragStart;
    bounceValue();
    valueChanged();
    return kMouseEventHandled;
}

CMouseEventResult TKnob::onMouseUp(CPoint& /*where*/, const CButtonState& /*buttons*/) {
    dragging = false;
    endEdit();
    setDirty(true);
    uEditor* editor = editorOf(this);
    if (editor && editor->getDragAndDrop() && editor->getDropSource(tag))
        editor->releasedDropDial();
    return kMouseEventHandled;
}

CMouseEventResult TKnob::onMouseCancel() {
    return cancelDial(this, dragging);
}
