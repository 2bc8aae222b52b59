// Knobs. CKnob follows the mouse in the editor's knob mode (linear: up and
// right increase); CAnimKnob draws one frame of a vertical film strip chosen
// by the value.
#pragma once

#include "vstgui/ccontrol.h"

namespace VSTGUI {

class CKnob : public CControl {
public:
    CKnob(const CRect& size, IControlListener* listener, int32_t tag, CBitmap* background,
          CBitmap* handle, const CPoint& offset = CPoint(0, 0));
    CKnob(const CKnob& other);
    ~CKnob() override;
    CView* newCopy() const override { return new CKnob(*this); }

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseCancel() override;
    bool onWheel(const CPoint& where, const float& distance, const CButtonState& buttons) override;
    using CControl::onWheel;

    // Pixels of mouse travel for the whole range in linear mode (default 200)
    // and the slow-down while shift is held (default 10).
    void setZoomFactor(float f) { zoomFactor = f; }
    float getZoomFactor() const { return zoomFactor; }
    CBitmap* getHandleBitmap() const { return handle; }
    const CPoint& getOffset() const { return offset; }

    // The line drawn as the handle when there is no handle bitmap, and how
    // far inside the view's edge the handle turns.
    void setColorHandle(const CColor& color) { colorHandle = color; }
    const CColor& getColorHandle() const { return colorHandle; }
    void setInsetValue(CCoord value) { inset = value; }
    CCoord getInsetValue() const { return inset; }

protected:
    // The knob's angle for a normalised value, in radians clockwise from
    // 3 o'clock (screen coordinates), and the normalised value nearest to
    // the angle of a point relative to the view's centre.
    double angleOfValue(float normalized) const;
    float normalizedFromPoint(const CPoint& where) const;
    double pointAngle(const CPoint& where) const;
    int32_t knobMode() const;
    // The drag speed (value per pixel) for the buttons held.
    float dragCoefficient(const CButtonState& buttons) const;

    CBitmap* handle = nullptr;
    CPoint offset;
    float zoomFactor = 10.0f;
    float range = 200.0f;
    CColor colorHandle = kWhiteCColor;
    CCoord inset = 3;
    // Drag state.
    CPoint firstPoint;
    CPoint lastPoint;
    float startValue = 0.0f;
    float entryValue = 0.0f;
    float coef = 0.0f;
    double lastAngle = 0.0;
    int32_t oldButton = 0;
    int32_t dragMode = kLinearMode;
    bool dragging = false;
};

class CAnimKnob : public CKnob {
public:
    CAnimKnob(const CRect& size, IControlListener* listener, int32_t tag, int32_t subPixmaps,
              CCoord heightOfOneImage, CBitmap* background, const CPoint& offset = CPoint(0, 0));
    // The frame count follows from the bitmap's height and the view's height.
    CAnimKnob(const CRect& size, IControlListener* listener, int32_t tag, CBitmap* background,
              const CPoint& offset = CPoint(0, 0));
    CAnimKnob(const CAnimKnob& other);
    CView* newCopy() const override { return new CAnimKnob(*this); }

    // Frame = floor(normalised value x (frames - 1)), top frame at 0; with
    // the inverse flag the strip is read from the bottom.
    void draw(CDrawContext* context) override;
    void setNumSubPixmaps(int32_t n) { subPixmaps = n; }
    int32_t getNumSubPixmaps() const { return subPixmaps; }
    void setHeightOfOneImage(CCoord h) { heightOfOneImage = h; }
    CCoord getHeightOfOneImage() const { return heightOfOneImage; }
    void setInverseBitmap(bool state) { inverseBitmap = state; }
    bool getInverseBitmap() const { return inverseBitmap; }
    // The film-strip frame that draw() shows for the current value.
    int32_t getFrameIndex() const;

protected:
    int32_t subPixmaps = 0;
    CCoord heightOfOneImage = 0;
    bool inverseBitmap = false;
};

} // namespace VSTGUI
