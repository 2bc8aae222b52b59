// TBitmap: a plain picture of the editor.
#pragma once

#include "vstgui/vstgui.h"

class TBitmap : public VSTGUI::CControl {
public:
    TBitmap(const VSTGUI::CRect& rect, VSTGUI::CBitmap* bitmap, VSTGUI::IControlListener* listener);
    TBitmap(const TBitmap& other);

    VSTGUI::CView* newCopy() const override { return new TBitmap(*this); }
    void draw(VSTGUI::CDrawContext* context) override;
};
