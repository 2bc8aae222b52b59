// Two-state buttons drawn from a two-frame vertical strip (off on top).
#pragma once

#include "vstgui/ccontrol.h"

namespace VSTGUI {

// Toggles between min and max at each click.
class COnOffButton : public CControl {
public:
    enum Style { kPreListenerUpdate = 1 << 0, kPostListenerUpdate = 1 << 1 };

    COnOffButton(const CRect& size, IControlListener* listener = nullptr, int32_t tag = -1,
                 CBitmap* background = nullptr, int32_t style = kPreListenerUpdate);
    COnOffButton(const COnOffButton& other);
    CView* newCopy() const override { return new COnOffButton(*this); }

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    int32_t getStyle() const { return style; }

protected:
    int32_t style;
};

// Reports max when pressed and min when released.
class CKickButton : public CControl {
public:
    CKickButton(const CRect& size, IControlListener* listener, int32_t tag, CBitmap* background,
                const CPoint& offset = CPoint(0, 0));
    CKickButton(const CRect& size, IControlListener* listener, int32_t tag, CCoord heightOfOneImage,
                CBitmap* background, const CPoint& offset = CPoint(0, 0));
    CKickButton(const CKickButton& other);
    CView* newCopy() const override { return new CKickButton(*this); }

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseCancel() override;

protected:
    CPoint offset;
    CCoord heightOfOneImage = 0;
    float fEntryState = 0.0f;
    bool pressed = false;
};

} // namespace VSTGUI
