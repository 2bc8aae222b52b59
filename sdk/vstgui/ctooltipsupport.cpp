#include "vstgui/ctooltipsupport.h"

#include "vstgui/cframe.h"

namespace VSTGUI {

namespace {

// The deepest visible view under where (frame coordinates): through every
// container down to the view that holds no further view there.
CView* deepestViewAt(CFrame* frame, CPoint where) {
    CView* view = frame->getViewAt(where);
    while (auto* container = dynamic_cast<CViewContainer*>(view)) {
        where -= container->getViewSize().getTopLeft();
        CView* inner = container->getViewAt(where);
        if (inner == nullptr) break;
        view = inner;
    }
    return view;
}

bool isInside(const CView* view, const CView* ancestor) {
    for (const CView* v = view; v != nullptr; v = v->getParentView())
        if (v == ancestor) return true;
    return false;
}

} // namespace

void CTooltipSupport::setEnabled(bool state, uint32_t delayTimeInMs) {
    enabled = state;
    delay = delayTimeInMs;
    if (!enabled) hide();
}

void CTooltipSupport::setFont(CCoord size, int32_t style) {
    fontSize = size > 0 ? size : kDefaultFontSize;
    fontStyle = style;
    if (!visible) return;
    if (Platform::IWindow* window = frame->getPlatformWindow())
        window->showTooltip(position, text, fontSize, fontStyle);
}

void CTooltipSupport::onMouseMoved(const CPoint& where, const CButtonState& buttons) {
    pointer = where;
    CView* view = deepestViewAt(frame, where);
    if (view != hoverView) hide();
    if (buttons.getButtonState() != 0) {
        // A drag: the view under the pointer counts only once it is over.
        hoverView = view;
        armed = false;
        return;
    }
    if (view != hoverView || !armed) {
        hoverView = view;
        armed = true;
        hoverSince = getPlatformTicks();
    }
}

void CTooltipSupport::onMouseExited() {
    hide();
    hoverView = nullptr;
    armed = false;
}

void CTooltipSupport::onUserAction() {
    hide();
    armed = false;
}

void CTooltipSupport::onViewRemoved(CView* view) {
    if (view == nullptr || !isInside(hoverView, view)) return;
    hide();
    hoverView = nullptr;
    armed = false;
}

void CTooltipSupport::onIdle() {
    if (!enabled || hoverView == nullptr || !armed) {
        hide();
        return;
    }
    const std::string current = hoverView->getTooltipText();
    if (current.empty()) {
        hide();
        return;
    }
    if (visible && current == text) return;
    // Unsigned: a clock that wrapped around still gives the delay.
    if (!visible && getPlatformTicks() - hoverSince < delay) return;
    if (!visible) position = pointer;
    visible = true;
    text = current;
    if (Platform::IWindow* window = frame->getPlatformWindow())
        window->showTooltip(position, text, fontSize, fontStyle);
}

void CTooltipSupport::hide() {
    if (!visible) return;
    visible = false;
    text.clear();
    if (Platform::IWindow* window = frame->getPlatformWindow()) window->hideTooltip();
}

} // namespace VSTGUI
