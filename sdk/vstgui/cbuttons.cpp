#include "vstgui/cbuttons.h"

#include "vstgui/cbitmap.h"
#include "vstgui/cdrawcontext.h"

namespace VSTGUI {

// ------------------------------------------------------------------ COnOffButton

COnOffButton::COnOffButton(const CRect& size, IControlListener* listener, int32_t tag,
                           CBitmap* background, int32_t style)
    : CControl(size, listener, tag, background), style(style) {}

COnOffButton::COnOffButton(const COnOffButton& other) : CControl(other), style(other.style) {}

void COnOffButton::draw(CDrawContext* context) {
    if (background) {
        const CCoord offset = value >= vmax ? size.getHeight() : 0;
        background->draw(context, size, CPoint(0, offset));
    }
    setDirty(false);
}

CMouseEventResult COnOffButton::onMouseDown(CPoint& /*where*/, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    value = value >= vmax ? vmin : vmax;
    // The redraw is requested before or after the listener hears of it.
    if (!(style & kPostListenerUpdate)) setDirty(true);
    beginEdit();
    valueChanged();
    endEdit();
    if (style & kPostListenerUpdate) setDirty(true);
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

// ------------------------------------------------------------------ CKickButton

CKickButton::CKickButton(const CRect& size, IControlListener* listener, int32_t tag,
                         CBitmap* background, const CPoint& offset)
    : CControl(size, listener, tag, background), offset(offset),
      heightOfOneImage(size.getHeight()) {}

CKickButton::CKickButton(const CRect& size, IControlListener* listener, int32_t tag,
                         CCoord heightOfOneImage, CBitmap* background, const CPoint& offset)
    : CControl(size, listener, tag, background), offset(offset),
      heightOfOneImage(heightOfOneImage > 0 ? heightOfOneImage : size.getHeight()) {}

CKickButton::CKickButton(const CKickButton& other)
    : CControl(other), offset(other.offset), heightOfOneImage(other.heightOfOneImage) {}

void CKickButton::draw(CDrawContext* context) {
    if (background) {
        CPoint where = offset;
        if (value >= vmax) where.y += heightOfOneImage;
        background->draw(context, size, where);
    }
    setDirty(false);
}

// The listener hears max once when the button goes down and min once when
// the press ends, however the pointer moved meanwhile; moving out of the
// button and back only changes how it looks.
CMouseEventResult CKickButton::onMouseDown(CPoint& /*where*/, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    if (pressed) return kMouseEventHandled;
    pressed = true;
    fEntryState = value;
    beginEdit();
    value = vmax;
    setDirty(true);
    valueChanged();
    return kMouseEventHandled;
}

CMouseEventResult CKickButton::onMouseMoved(CPoint& where, const CButtonState& /*buttons*/) {
    if (!pressed) return kMouseEventNotHandled;
    const float shown = size.pointInside(where) ? vmax : vmin;
    if (shown != value) {
        value = shown;
        setDirty(true);
    }
    return kMouseEventHandled;
}

CMouseEventResult CKickButton::onMouseUp(CPoint& /*where*/, const CButtonState& /*buttons*/) {
    if (!pressed) return kMouseEventNotHandled;
    pressed = false;
    value = vmin;
    setDirty(true);
    valueChanged();
    endEdit();
    return kMouseEventHandled;
}

CMouseEventResult CKickButton::onMouseCancel() {
    if (!pressed) return kMouseEventNotHandled;
    pressed = false;
    value = vmin;
    setDirty(true);
    valueChanged();
    endEdit();
    return kMouseEventHandled;
}

} // namespace VSTGUI
