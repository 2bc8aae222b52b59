// The editor's buttons: TMenuButton opens one of the editor's section menus,
// TOnOff switches a parameter, TRadioButton is one button of a radio group
// that the editor manages.
//
// Two-frame bitmaps hold the off frame above the on frame.
#pragma once

#include "vstgui/vstgui.h"

// An icon (kinds 1 to 3) or an invisible button over the artwork (kinds 4
// to 7) that opens its menu on any click:
// 1 arpeggiator, 2 XY pad, 3 user wave, 4 control, 5 oscillator,
// 6 filter, 7 modulation matrix.
class TMenuButton : public VSTGUI::CControl {
public:
    TMenuButton(const VSTGUI::CRect& rect, VSTGUI::IControlListener* listener, int kind);
    TMenuButton(const TMenuButton& other);

    VSTGUI::CView* newCopy() const override { return new TMenuButton(*this); }
    void draw(VSTGUI::CDrawContext* context) override;
    VSTGUI::CMouseEventResult onMouseDown(VSTGUI::CPoint& where,
                                          const VSTGUI::CButtonState& buttons) override;

    int getKind() const { return kind; }

private:
    int kind;
};

// A parameter switch with a faded look while its section is bypassed.
class TOnOff : public VSTGUI::COnOffButton {
public:
    TOnOff(const VSTGUI::CRect& rect, VSTGUI::IControlListener* listener, int32_t tag,
           VSTGUI::CBitmap* bitmap, int32_t style);

    void draw(VSTGUI::CDrawContext* context) override;
    VSTGUI::CMouseEventResult onMouseDown(VSTGUI::CPoint& where,
                                          const VSTGUI::CButtonState& buttons) override;

    void setState(bool on);
    void setOn() { setState(true); }
    void setOff() { setState(false); }
    void setBypassed(bool state);
    bool isBypassed() const { return bypassed; }

private:
    bool bypassed = false;
};

// One button of a radio group. The editor turns the group's other buttons
// off when one reports that it went on.
class TRadioButton : public VSTGUI::CControl {
public:
    TRadioButton(const VSTGUI::CRect& rect, VSTGUI::IControlListener* listener,
                 VSTGUI::CBitmap* bitmap, int group, int index);
    TRadioButton(const TRadioButton& other);
    ~TRadioButton() override;

    VSTGUI::CView* newCopy() const override { return new TRadioButton(*this); }
    void draw(VSTGUI::CDrawContext* context) override;
    VSTGUI::CMouseEventResult onMouseDown(VSTGUI::CPoint& where,
                                          const VSTGUI::CButtonState& buttons) override;
    bool onWheel(const VSTGUI::CPoint& where, const float& distance,
                 const VSTGUI::CButtonState& buttons) override;
    // The axis form passes the vertical wheel on to the handler above.
    using VSTGUI::CView::onWheel;

    void setState(bool on);
    void setOn() { setState(true); }
    void setOff() { setState(false); }
    int getGroup() const { return group; }
    int getIndex() const { return index; }
    VSTGUI::CBitmap* getBitmap() const { return bitmap; }

private:
    int group;
    int index;
    VSTGUI::CBitmap* bitmap;
};
