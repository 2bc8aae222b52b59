#include "controls/tsliders.h"
#include "controls/strip_frame.h"

#include "controls/control_access.h"
#include "core/aplugin.h"
#include "core/display_scales.h"
#include "core/numeric.h"
#include "editor/gui_tables.h"
#include "editor/ueditor.h"

#include <algorithm>
#include <cmath>

using namespace VSTGUI;
using namespace ControlAccess;

namespace {

constexpr CMouseEventResult kDone = kMouseDownEventHandledButDontNeedMovedOrUpEvents;
// How much slower a drag moves with shift held.
constexpr float kFineDivisor = 20.0f;
// The modulation ring shows once the modulated value is this far away.
constexpr float kRingThreshold = 0.01f;
constexpr float kModValueStep = 0.001f;

// What a default, original-value or menu click did; kMouseEventNotHandled
// when the click starts a drag.
enum class ClickForm { kHorizontal, kVertical };

CMouseEventResult sliderClick(CAnimKnob* slider, uEditor* editor, APlugin* plugin,
                              const CButtonState& buttons, ClickForm form) {
    if (anyOf(buttons, kMenuClick)) {
        editor->showMIDIMenu(slider, true);
        return form == ClickForm::kHorizontal ? kMouseEventHandled : kDone;
    }
    slider->beginEdit();
    if (exactly(buttons, kDefaultClick) || buttons.isDoubleClick()) {
        slider->setValue(slider->getDefaultValue());
        slider->valueChanged();
        slider->endEdit();
        return kDone;
    }
    if (exactly(buttons, kOriginalClick)) {
        slider->setValue(plugin->getOrigValue(slider->getTag()));
        if (slider->isDirty()) slider->valueChanged();
        slider->endEdit();
        return kDone;
    }
    const int t = slider->getTag();
    if (editor->getDragAndDrop() && editor->getDropSource(t)) editor->setDropTag(t);
    return kMouseEventNotHandled;
}

void sliderRelease(CAnimKnob* slider) {
    uEditor* editor = editorOf(slider);
    if (editor && editor->getDragAndDrop() && editor->getDropSource(slider->getTag()))
        editor->releasedDropDial();
    slider->endEdit();
    slider->setDirty(true);
}

bool sliderWheel(CAnimKnob* slider, const float& distance, const CButtonState& buttons) {
    uEditor* editor = editorOf(slider);
    APlugin* plugin = pluginOf(editor);
    if (!editor || !plugin) return false;
    plugin->changeDelta(slider->getTag(), wheelStep(distance), anyOf(buttons, kShift), 1.0f);
    slider->setDirty(true);
    return true;
}

} // namespace

// ------------------------------------------------------------------ THSlider

THSlider::THSlider(const CRect& rect, IControlListener* listener, int32_t tag, CBitmap* strip,
                   const CPoint& offset, int32_t count)
    : CAnimKnob(rect, listener, tag, count, rect.getHeight(), strip, offset),
      width(static_cast<float>(rect.getWidth())) {}

CMouseEventResult THSlider::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!getMouseEnabled()) return kDone;
    uEditor* editor = editorOf(this);
    APlugin* plugin = pluginOf(editor);
    if (!editor || !plugin) return kDone;
    const CMouseEventResult clickResult =
        sliderClick(this, editor, plugin, buttons, ClickForm::kHorizontal);
    if (clickResult != kMouseEventNotHandled) return clickResult;

    dragging = true;
    const float f = clamp01(static_cast<float>(where.x - getViewSize().left) / width);
    setValue(f);
    if (isDirty()) valueChanged();
    accumulator = f;
    lastX = static_cast<float>(where.x);
    setDirty(true);
    return onMouseMoved(where, buttons);
}

CMouseEventResult THSlider::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    // Only a drag that began here moves the value.
    if (!dragging || !buttons.isLeftButton()) return kMouseEventHandled;
    if (static_cast<int>(lastX) == where.x) return kMouseEventHandled;
    float d = (static_cast<float>(where.x) - lastX) / width;
    lastX = static_cast<float>(where.x);
    if (anyOf(buttons, kShift)) d /= kFineDivisor;
    accumulator += d;
    // Marked before the test, so every accepted move is reported.
    setDirty(true);
    setValue(clamp01(accumulator));
    if (isDirty()) valueChanged();
    return kMouseEventHandled;
}

CMouseEventResult THSlider::onMouseUp(CPoint& /*where*/, const CButtonState& /*buttons*/) {
    dragging = false;
    sliderRelease(this);
    return kMouseEventHandled;
}

CMouseEventResult THSlider::onMouseCancel() {
    return cancelDial(this, dragging);
}

bool THSlider::onWheel(const CPoint& /*where*/, const float& distance,
                       const CButtonState& buttons) {
    return sliderWheel(this, distance, buttons);
}

// ------------------------------------------------------------------ TVSlider

TVSlider::TVSlider(const CRect& rect, IControlListener* listener, int32_t tag, CBitmap* strip,
                   const CPoint& offset, int32_t count, int ringShiftIndex)
    : CAnimKnob(rect, listener, tag, count, rect.getHeight(), strip, offset), frameCount(count),
      ringShift(clampSizeIndex(ringShiftIndex)), height(static_cast<float>(rect.getHeight())) {}

void TVSlider::setModValue(float mod) {
    uEditor* editor = editorOf(this);
    if (!editor) return;
    const float shown = editor->getAnimation() ? mod : value;
    if (std::fabs(shown - modValue) < kModValueStep) return;
    modValue = shown;
    setDirty(true);
}

bool TVSlider::ringShown() const {
    return std::fabs(value - modValue) > kRingThreshold;
}

void TVSlider::draw(CDrawContext* context) {
    if (!mayDraw(this)) return;
    const CRect& r = getViewSize();
    // The strip's frames are as tall as the slider is wide. The frame is that
    // of the whole percent the value text shows, so the strip's marks agree
    // with the readout.
    const CCoord h = r.getWidth();
    if (background && value >= 0 && h > 0) {
        const int percent = display_scale::percentShown(value);
        const double y = stripFrame(getInverseBitmap() ? 100 - percent : percent, frameCount) * h;
        if (getTransparency())
            background->draw(context, r, CPoint(0, y), 1.0f);
        else
            background->drawOpaque(context, r, CPoint(0, y), 1.0f);
    }
    if (ringShown()) {
        const CCoord w = r.getWidth();
        const int radius = static_cast<int>(w * 0.25);
        const CCoord cx = r.left + w / 2 + VSLIDER_RING_X_SHIFT[ringShift];
        const CCoord cy = r.top + w / 2 + static_cast<int>((r.getHeight() - w) * clamp01(modValue));
        context->setFrameColor(kWhiteCColor);
        context->setLineWidth(2);
        context->drawEllipse(CRect(cx - radius, cy - radius, cx + radius, cy + radius),
                             kDrawStroke);
        context->setLineWidth(1);
    }
    setDirty(false);
}

CMouseEventResult TVSlider::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!getMouseEnabled()) return kDone;
    uEditor* editor = editorOf(this);
    APlugin* plugin = pluginOf(editor);
    if (!editor || !plugin) return kDone;
    const CMouseEventResult clickResult =
        sliderClick(this, editor, plugin, buttons, ClickForm::kVertical);
    if (clickResult != kMouseEventNotHandled) return clickResult;

    dragging = true;
    // The value grows downwards.
    const float f = clamp01(static_cast<float>(where.y - getViewSize().top) / height);
    setValue(f);
    if (isDirty()) valueChanged();
    accumulator = f;
    lastY = static_cast<float>(where.y);
    setDirty(true);
    return onMouseMoved(where, buttons);
}

CMouseEventResult TVSlider::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    // Only a drag that began here moves the value.
    if (!dragging || !buttons.isLeftButton()) return kMouseEventHandled;
    if (static_cast<int>(lastY) == where.y) return kMouseEventHandled;
    float d = (static_cast<float>(where.y) - lastY) / height;
    lastY = static_cast<float>(where.y);
    if (anyOf(buttons, kShift)) d /= kFineDivisor;
    accumulator += d;
    // Reported only when the value moved or a redraw is still pending.
    setValue(clamp01(accumulator));
    if (isDirty()) valueChanged();
    setDirty(true);
    return kMouseEventHandled;
}

CMouseEventResult TVSlider::onMouseUp(CPoint& /*where*/, const CButtonState& /*buttons*/) {
    dragging = false;
    sliderRelease(this);
    return kMouseEventHandled;
}

CMouseEventResult TVSlider::onMouseCancel() {
    return cancelDial(this, dragging);
}

bool TVSlider::onWheel(const CPoint& /*where*/, const float& distance,
                       const CButtonState& buttons) {
    return sliderWheel(this, distance, buttons);
}
