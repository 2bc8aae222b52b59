// Text fields of the editor.
//
// TReadout shows a text in the editor's colour; a clickable readout acts as a
// kick button (1 on press, 0 on release), and the two readouts that the
// editor tags 63 and 65 open the numeric entry of their parameter on a click
// and step it with the wheel. TReadoutString is a fixed-text display.
#pragma once

#include "vstgui/vstgui.h"

#include <string>

class TReadout : public VSTGUI::CControl {
public:
    // size: the GUI size index (clamped to 0..3).
    TReadout(const VSTGUI::CRect& rect, VSTGUI::IControlListener* listener, std::string text,
             int size, bool centred, bool clickable);
    TReadout(const TReadout& other);
    ~TReadout() override;

    VSTGUI::CView* newCopy() const override { return new TReadout(*this); }
    void draw(VSTGUI::CDrawContext* context) override;
    VSTGUI::CMouseEventResult onMouseDown(VSTGUI::CPoint& where,
                                          const VSTGUI::CButtonState& buttons) override;
    VSTGUI::CMouseEventResult onMouseUp(VSTGUI::CPoint& where,
                                        const VSTGUI::CButtonState& buttons) override;
    bool onWheel(const VSTGUI::CPoint& where, const float& distance,
                 const VSTGUI::CButtonState& buttons) override;
    // The axis form passes the vertical wheel on to the handler above.
    using VSTGUI::CView::onWheel;

    // Marks the readout dirty only when the text changed.
    void setString(const std::string& newText);
    const std::string& getString() const { return text; }
    bool isClickable() const { return clickable; }
    int getSizeIndex() const { return sizeIndex; }

private:
    bool clickable;
    int sizeIndex;
    std::string text;
    VSTGUI::CHoriTxtAlign textAlign;
    VSTGUI::CFontRef readoutFont;
};

class TReadoutString : public VSTGUI::CParamDisplay {
public:
    TReadoutString(const VSTGUI::CRect& rect, const char* text);

    void draw(VSTGUI::CDrawContext* context) override;
    // Keeps at most 254 characters (" " for a missing text); always marks
    // the display dirty.
    void setString(const char* newText);
    const char* getString() const { return text; }

private:
    char text[255] = " ";
};
