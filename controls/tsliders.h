// The editor's sliders. A click jumps to the position clicked; a drag then
// moves the value by the distance moved (20 times slower with shift), and it
// stays at an end until the pointer has come back past it. A Command click
// or double click sets the default, an Option click the loaded preset's
// value, a menu click opens the parameter's context menu, and the wheel
// steps the parameter.
//
// THSlider is drawn by the library from its film strip. TVSlider grows
// downwards, draws its own strip and a ring where the modulated value is.
#pragma once

#include "vstgui/vstgui.h"

class THSlider : public VSTGUI::CAnimKnob {
public:
    THSlider(const VSTGUI::CRect& rect, VSTGUI::IControlListener* listener, int32_t tag,
             VSTGUI::CBitmap* strip, const VSTGUI::CPoint& offset, int32_t count);

    VSTGUI::CMouseEventResult onMouseDown(VSTGUI::CPoint& where,
                                          const VSTGUI::CButtonState& buttons) override;
    VSTGUI::CMouseEventResult onMouseUp(VSTGUI::CPoint& where,
                                        const VSTGUI::CButtonState& buttons) override;
    VSTGUI::CMouseEventResult onMouseMoved(VSTGUI::CPoint& where,
                                           const VSTGUI::CButtonState& buttons) override;
    // A drag taken away ends where it is: the host's edit is closed.
    VSTGUI::CMouseEventResult onMouseCancel() override;
    bool onWheel(const VSTGUI::CPoint& where, const float& distance,
                 const VSTGUI::CButtonState& buttons) override;
    // The axis form passes the vertical wheel on to the handler above.
    using VSTGUI::CView::onWheel;

private:
    float accumulator = 0.0f;
    float width;
    float lastX = 0.0f;
};

class TVSlider : public VSTGUI::CAnimKnob {
public:
    // ringShiftIndex: the GUI size index (clamped to 0..3), which places the
    // modulation ring.
    TVSlider(const VSTGUI::CRect& rect, VSTGUI::IControlListener* listener, int32_t tag,
             VSTGUI::CBitmap* strip, const VSTGUI::CPoint& offset, int32_t count,
             int ringShiftIndex);

    void draw(VSTGUI::CDrawContext* context) override;
    VSTGUI::CMouseEventResult onMouseDown(VSTGUI::CPoint& where,
                                          const VSTGUI::CButtonState& buttons) override;
    VSTGUI::CMouseEventResult onMouseUp(VSTGUI::CPoint& where,
                                        const VSTGUI::CButtonState& buttons) override;
    VSTGUI::CMouseEventResult onMouseMoved(VSTGUI::CPoint& where,
                                           const VSTGUI::CButtonState& buttons) override;
    // A drag taken away ends where it is: the host's edit is closed.
    VSTGUI::CMouseEventResult onMouseCancel() override;
    bool onWheel(const VSTGUI::CPoint& where, const float& distance,
                 const VSTGUI::CButtonState& buttons) override;
    // The axis form passes the vertical wheel on to the handler above.
    using VSTGUI::CView::onWheel;

    // The parameter's modulated value, from the editor's idle refresh.
    void setModValue(float mod);
    float getModValue() const { return modValue; }
    // Whether draw() shows the modulation ring.
    bool ringShown() const;

private:
    int frameCount;
    int ringShift;
    float lastY = 0.0f;
    float modValue = 0.5f;
    float accumulator = 0.0f;
    float height;
};
