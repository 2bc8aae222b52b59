// TKnob: the knob of the editor's continuous parameters.
//
// Two film strips of the same frame count and frame height: the modulation
// strip, drawn first, shows how far the modulated value has moved; the
// pointer strip on top shows the parameter's own value. A vertical drag edits
// the value (200 pixels for the whole range, 10000 with shift); a Command
// click or double click sets the default, an Option click the loaded
// preset's value, and a menu click opens the parameter's context menu.
#pragma once

#include "vstgui/vstgui.h"

class TKnob : public VSTGUI::CAnimKnob {
public:
    TKnob(const VSTGUI::CRect& rect, VSTGUI::IControlListener* listener, int32_t tag,
          VSTGUI::CBitmap* pointerStrip, VSTGUI::CBitmap* modStrip, const VSTGUI::CPoint& offset,
          int32_t count);
    ~TKnob() override;

    void draw(VSTGUI::CDrawContext* context) override;
    VSTGUI::CMouseEventResult onMouseDown(VSTGUI::CPoint& where,
                                          const VSTGUI::CButtonState& buttons) override;
    VSTGUI::CMouseEventResult onMouseUp(VSTGUI::CPoint& where,
                                        const VSTGUI::CButtonState& buttons) override;
    VSTGUI::CMouseEventResult onMouseMoved(VSTGUI::CPoint& where,
                                           const VSTGUI::CButtonState& buttons) override;
    // A drag taken away ends where it is: the host's edit is closed.
    VSTGUI::CMouseEventResult onMouseCancel() override;

    // The parameter's modulated value, from the editor's idle refresh.
    void setModValue(float mod);

    // The frames that draw() shows.
    int getPointerFrame() const;
    int getModFrame() const { return modFrame; }
    VSTGUI::CBitmap* getModStrip() const { return modStrip; }

private:
    VSTGUI::CBitmap* modStrip;
    int count;
    int lastFrame;
    float countF;
    int modFrame = 0;
    // The drag.
    float dragStart = 0.0f;
    float dragStep = 0.0f;
    VSTGUI::CPoint downPoint;
    VSTGUI::CPoint movePoint{-1, -1};
};
