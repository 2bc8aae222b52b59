#include "vstgui/ccontrol.h"

#include "vstgui/cbitmap.h"
#include "vstgui/cframe.h"

namespace VSTGUI {

CControl::CControl(const CRect& size, IControlListener* listener, int32_t tag, CBitmap* background)
    : CView(size), tag(tag), listener(listener), background(background) {
    if (background) background->remember();
}

CControl::CControl(const CControl& other)
    : CView(other), value(other.value), vmin(other.vmin), vmax(other.vmax),
      oldValue(other.oldValue), defaultValue(other.defaultValue), wheelInc(other.wheelInc),
      tag(other.tag), listener(other.listener), background(other.background) {
    // A copy starts outside any gesture.
    if (background) background->remember();
}

CControl::~CControl() {
    if (background) background->forget();
}

void CControl::setValue(float newValue) {
    value = newValue;
}

void CControl::setValueNormalized(float normalized) {
    normalized = std::clamp(normalized, 0.0f, 1.0f);
    setValue(vmin + normalized * getRange());
}

float CControl::getValueNormalized() const {
    const float range = getRange();
    if (range == 0.0f) return 0.0f;
    return (value - vmin) / range;
}

void CControl::bounceValue() {
    if (value > vmax) value = vmax;
    if (value < vmin) value = vmin;
}

bool CControl::isDirty() const {
    return oldValue != value || CView::isDirty();
}

void CControl::setDirty(bool state) {
    CView::setDirty(state);
    if (!state) oldValue = value;
}

void CControl::drawRect(CDrawContext* context, const CRect& updateRect) {
    oldValue = value;
    CView::drawRect(context, updateRect);
}

void CControl::setTag(int32_t newTag) {
    if (listener) listener->controlTagWillChange(this);
    tag = newTag;
    if (listener) listener->controlTagDidChange(this);
}

void CControl::beginEdit() {
    if (++editing != 1) return;
    if (listener) listener->controlBeginEdit(this);
    if (CFrame* frame = getFrame()) frame->beginEdit(tag);
}

void CControl::endEdit() {
    if (editing <= 0) return; // an end without a begin is ignored
    if (--editing != 0) return;
    if (CFrame* frame = getFrame()) frame->endEdit(tag);
    if (listener) listener->controlEndEdit(this);
}

void CControl::valueChanged() {
    if (listener) listener->valueChanged(this);
}

void CControl::setBackground(CBitmap* bitmap) {
    if (bitmap == background) return;
    if (bitmap) bitmap->remember();
    if (background) background->forget();
    background = bitmap;
    setDirty(true);
}

} // namespace VSTGUI
