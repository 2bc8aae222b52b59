#include "controls/tbitmap.h"

#include "controls/control_access.h"
#include "editor/gui_tables.h"

using namespace VSTGUI;

TBitmap::TBitmap(const CRect& rect, CBitmap* bitmap, IControlListener* listener)
    : CControl(rect, listener, NO_PARAM_TAG, bitmap) {}

TBitmap::TBitmap(const TBitmap& other) : CControl(other) {}

void TBitmap::draw(CDrawContext* context) {
    if (!ControlAccess::mayDraw(this) || !background) return;
    background->draw(context, getViewSize(), CPoint(0, 0), 1.0f);
    setDirty(false);
}
