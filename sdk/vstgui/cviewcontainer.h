// CViewContainer: a view that holds views.
//
// Children are placed in the container's own coordinates (its top-left
// corner is their origin). Adding a view hands the container one reference:
// removeView/removeAll with forget drop it; without forget the caller keeps
// it. Mouse-downs go to the last-added child under the point first; a child
// that answers kMouseEventHandled captures the following moves and the up,
// which reach it in its own coordinates even outside its rect. A new
// mouse-down drops a stale capture; removing the view that holds it cancels
// its gesture (onMouseCancel), so an edit it began is closed.
#pragma once

#include "vstgui/cview.h"

#include <vector>

namespace VSTGUI {

class CBitmap;

class CViewContainer : public CView {
public:
    explicit CViewContainer(const CRect& size);
    ~CViewContainer() override;

    virtual bool addView(CView* view);
    // Inserts view before another child (at the end when before is absent).
    virtual bool addView(CView* view, CView* before);
    virtual bool removeView(CView* view, bool withForget = true);
    virtual bool removeAll(bool withForget = true);
    bool isChild(CView* view) const;
    uint32_t getNbViews() const { return static_cast<uint32_t>(children.size()); }
    CView* getView(uint32_t index) const;
    const std::vector<CView*>& getChildren() const { return children; }
    // The topmost visible child under where (container coordinates).
    CView* getViewAt(const CPoint& where) const;

    // The background: a bitmap drawn from the top-left corner (with the
    // background offset) over the background colour.
    virtual void setBackground(CBitmap* background);
    CBitmap* getBackground() const { return background; }
    void setBackgroundColor(const CColor& color);
    const CColor& getBackgroundColor() const { return backgroundColor; }
    void setBackgroundOffset(const CPoint& p) { backgroundOffset = p; }
    const CPoint& getBackgroundOffset() const { return backgroundOffset; }
    virtual void drawBackgroundRect(CDrawContext* context, const CRect& updateRect);
    // Drawing into an own off-screen image: accepted and ignored (the frame
    // always draws off screen).
    void setOffscreenDrawing(bool) {}

    void draw(CDrawContext* context) override;
    void drawRect(CDrawContext* context, const CRect& updateRect) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseCancel() override;
    bool onWheel(const CPoint& where, const CMouseWheelAxis& axis, const float& distance,
                 const CButtonState& buttons) override;
    using CView::onWheel;
    bool removed(CView* parent) override;

    // The child that holds the mouse capture, if any.
    CView* getMouseDownView() const { return mouseDownView; }

protected:
    std::vector<CView*> children;
    CBitmap* background = nullptr;
    CColor backgroundColor = kTransparentCColor;
    CPoint backgroundOffset;
    CView* mouseDownView = nullptr;
};

} // namespace VSTGUI
