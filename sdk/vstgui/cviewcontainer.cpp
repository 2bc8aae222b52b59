#include "vstgui/cviewcontainer.h"

#include "vstgui/cbitmap.h"
#include "vstgui/cdrawcontext.h"
#include "vstgui/cframe.h"

#include <algorithm>

namespace VSTGUI {

namespace {

// Where the container's children have their 0,0, in the container's parent
// coordinates. The frame is the root: its own origin is 0,0.
CPoint childOrigin(const CViewContainer* container) {
    if (dynamic_cast<const CFrame*>(container) != nullptr) return CPoint(0, 0);
    return container->getViewSize().getTopLeft();
}

// Answers that let the search for a taker of a mouse-down go on.
bool declined(CMouseEventResult result) {
    return result == kMouseEventNotHandled || result == kMouseEventNotImplemented;
}

} // namespace

CViewContainer::CViewContainer(const CRect& size) : CView(size) {}

CViewContainer::~CViewContainer() {
    removeAll(true);
    if (background != nullptr) background->forget();
}

// ------------------------------------------------------------------ children

bool CViewContainer::addView(CView* view) {
    return addView(view, nullptr);
}

bool CViewContainer::addView(CView* view, CView* before) {
    if (view == nullptr || view == this || view->isAttached() || isChild(view)) return false;
    auto position = std::find(children.begin(), children.end(), before);
    children.insert(position, view);
    view->attached(this);
    view->setDirty(true);
    return true;
}

bool CViewContainer::removeView(CView* view, bool withForget) {
    auto it = std::find(children.begin(), children.end(), view);
    if (it == children.end()) return false;
    CFrame* frame = getFrame();
    const CRect area = view->getFrameRect();
    const bool wasVisible = view->isVisible();
    if (mouseDownView == view) {
        // The view's gesture ends with it: it closes its edit while it can
        // still reach the frame.
        mouseDownView = nullptr;
        view->onMouseCancel();
    }
    if (frame != nullptr) frame->onViewRemoved(view);
    children.erase(it);
    view->removed(this);
    if (frame != nullptr && wasVisible) frame->invalidRect(area);
    if (withForget) view->forget();
    return true;
}

bool CViewContainer::removeAll(bool withForget) {
    if (children.empty()) return false;
    CFrame* frame = getFrame();
    if (CView* capture = mouseDownView) {
        mouseDownView = nullptr;
        capture->onMouseCancel();
    }
    std::vector<CView*> removedViews;
    removedViews.swap(children);
    for (CView* view : removedViews) {
        if (frame != nullptr) frame->onViewRemoved(view);
        view->removed(this);
        if (withForget) view->forget();
    }
    // Whatever the children covered is repainted with the container.
    setDirty(true);
    return true;
}

bool CViewContainer::isChild(CView* view) const {
    return view != nullptr && std::find(children.begin(), children.end(), view) != children.end();
}

CView* CViewContainer::getView(uint32_t index) const {
    return index < children.size() ? children[index] : nullptr;
}

CView* CViewContainer::getViewAt(const CPoint& where) const {
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        CView* view = *it;
        if (view->isVisible() && view->getMouseableArea().pointInside(where)) return view;
    }
    return nullptr;
}

bool CViewContainer::removed(CView* parent) {
    // A capture does not outlive the container's place in the tree; the
    // children stay and come back with the container.
    mouseDownView = nullptr;
    return CView::removed(parent);
}

// ------------------------------------------------------------------ background

void CViewContainer::setBackground(CBitmap* bitmap) {
    if (bitmap == background) return;
    if (bitmap != nullptr) bitmap->remember();
    if (background != nullptr) background->forget();
    background = bitmap;
    setDirty(true);
}

void CViewContainer::setBackgroundColor(const CColor& color) {
    if (backgroundColor == color) return;
    backgroundColor = color;
    setDirty(true);
}

void CViewContainer::drawBackgroundRect(CDrawContext* context, const CRect& updateRect) {
    // Local coordinates: the context's origin is the container's top-left.
    if (!getTransparency() && backgroundColor.alpha > 0) {
        context->setFillColor(backgroundColor);
        context->drawRect(updateRect, kDrawFilled);
    }
    if (background != nullptr) {
        const CRect whole(0, 0, getWidth(), getHeight());
        background->draw(context, whole, backgroundOffset);
    }
}

// ------------------------------------------------------------------ drawing

void CViewContainer::draw(CDrawContext* context) {
    drawRect(context, getViewSize());
}

void CViewContainer::drawRect(CDrawContext* context, const CRect& updateRect) {
    const CPoint origin = childOrigin(this);
    CRect clip;
    context->getClipRect(clip);

    CRect local = updateRect;
    local.bound(clip);
    local.offsetInverse(origin);
    local.bound(CRect(0, 0, getWidth(), getHeight()));
    if (local.isEmpty()) return;

    context->saveGlobalState();
    context->pushOffset(origin);
    context->setClipRect(local);
    drawBackgroundRect(context, local);
    context->restoreGlobalState();

    // Children may change the list while drawing (rarely, but a draw can
    // ask for a relayout): walk by index.
    for (size_t i = 0; i < children.size(); ++i) {
        CView* child = children[i];
        if (!child->isVisible()) continue;
        CRect part = child->getViewSize();
        part.bound(local);
        if (part.isEmpty()) continue;
        // Cleared before drawing, so a mark set meanwhile by another thread
        // is kept for the next pass.
        child->dirty.store(false, std::memory_order_relaxed);
        context->saveGlobalState();
        context->pushOffset(origin);
        context->setClipRect(part);
        child->drawRect(context, part);
        context->restoreGlobalState();
        child->countDraw();
    }
}

// ------------------------------------------------------------------ mouse

// Every visible child under the point is offered the click, last added first,
// whether or not its mouse-enabled flag is set: controls test the flag
// themselves and answer kMouseDownEventHandledButDontNeedMovedOrUpEvents, so
// a disabled control still takes the click away from the views below it.
CMouseEventResult CViewContainer::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (mouseDownView != nullptr) {
        CView* stale = mouseDownView;
        mouseDownView = nullptr;
        stale->onMouseCancel();
    }
    const CPoint local = where - childOrigin(this);
    for (size_t i = children.size(); i-- > 0;) {
        if (i >= children.size()) continue; // a handler removed views
        CView* child = children[i];
        if (!child->isVisible() || !child->hitTest(local, buttons)) continue;
        CPoint point = local;
        const CMouseEventResult result = child->onMouseDown(point, buttons);
        if (declined(result)) continue;
        if (result == kMouseEventHandled && isChild(child)) mouseDownView = child;
        return result;
    }
    return kMouseEventNotHandled;
}

CMouseEventResult CViewContainer::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    const CPoint local = where - childOrigin(this);
    if (CView* capture = mouseDownView) {
        CPoint point = local;
        const CMouseEventResult result = capture->onMouseMoved(point, buttons);
        if (!(result == kMouseEventHandled || result == kMouseEventNotImplemented) &&
            mouseDownView == capture)
            mouseDownView = nullptr;
        return result;
    }
    // Without a capture the move is a hover over the child under the point.
    if (CView* view = getViewAt(local)) {
        CPoint point = local;
        view->onMouseMoved(point, buttons);
    }
    return kMouseEventNotHandled;
}

CMouseEventResult CViewContainer::onMouseUp(CPoint& where, const CButtonState& buttons) {
    CView* capture = mouseDownView;
    if (capture == nullptr) return kMouseEventNotHandled;
    // Released before the view hears of it: whatever its release does to
    // the tree, its gesture is over and is not cancelled.
    mouseDownView = nullptr;
    CPoint point = where - childOrigin(this);
    return capture->onMouseUp(point, buttons);
}

CMouseEventResult CViewContainer::onMouseCancel() {
    CView* capture = mouseDownView;
    if (capture == nullptr) return kMouseEventNotHandled;
    mouseDownView = nullptr;
    capture->onMouseCancel();
    return kMouseEventHandled;
}

bool CViewContainer::onWheel(const CPoint& where, const CMouseWheelAxis& axis,
                             const float& distance, const CButtonState& buttons) {
    const CPoint local = where - childOrigin(this);
    for (size_t i = children.size(); i-- > 0;) {
        if (i >= children.size()) continue;
        CView* child = children[i];
        if (!child->isVisible() || !child->hitTest(local, buttons)) continue;
        if (child->onWheel(local, axis, distance, buttons)) return true;
    }
    return false;
}

} // namespace VSTGUI
