#include "vstgui/cframe.h"

#include "core/immortal.h"

#include "vstgui/cdrawcontext.h"
#include "vstgui/testing.h"

#include <cairo.h>

#include <atomic>
#include <cmath>

namespace VSTGUI {

namespace {

// Read by the frames of editors on any thread.
std::atomic<IPopupProvider*> popupOverride{nullptr};

// Without a window system every popup is dismissed at once.
class HeadlessPopupProvider : public IPopupProvider {
public:
    Result popup(COptionMenu* /*root*/, CFrame* /*frame*/, const CPoint& /*where*/) override {
        return {};
    }
};

constexpr uint32_t kDoubleClickTime = 400; // ms
constexpr CCoord kDoubleClickDistance = 4; // pixels in each direction

bool isInside(const CView* view, const CView* ancestor) {
    for (const CView* v = view; v != nullptr; v = v->getParentView())
        if (v == ancestor) return true;
    return false;
}

} // namespace

namespace Testing {

void setPopupProviderOverride(IPopupProvider* provider) {
    popupOverride.store(provider, std::memory_order_release);
}

} // namespace Testing

CFrame::CFrame(const CRect& size, VSTGUIEditorInterface* editor)
    : CViewContainer(size), editor(editor) {}

CFrame::~CFrame() {
    removeAll(true);
    window.reset();
    if (image != nullptr) cairo_surface_destroy(image);
}

// ------------------------------------------------------------------ lifecycle

bool CFrame::open(void* systemWindow) {
    if (opened) return true;
    const int width = std::max(1, static_cast<int>(std::lround(getWidth())));
    const int height = std::max(1, static_cast<int>(std::lround(getHeight())));
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return false;
    }
    if (systemWindow != nullptr && !Platform::isOffscreenParent(systemWindow)) {
        window = Platform::createChildWindow(systemWindow, width, height, this);
        if (!window) {
            cairo_surface_destroy(surface);
            return false;
        }
    }
    image = surface;
    opened = true;
    invalidAreas.clear();
    // The first idle pass draws everything.
    setDirty(true);
    return true;
}

void CFrame::close() {
    cancelMouseGesture();
    removeAll(true);
    focusView = nullptr;
    mouseDownView = nullptr;
    keyboardHooks.clear();
    invalidAreas.clear();
    tooltips.onMouseExited();
    window.reset();
    if (image != nullptr) cairo_surface_destroy(image);
    image = nullptr;
    opened = false;
    forget();
}

// ------------------------------------------------------------------ editor

void CFrame::beginEdit(int32_t index) {
    if (editor != nullptr) editor->beginEdit(index);
}

void CFrame::endEdit(int32_t index) {
    if (editor != nullptr) editor->endEdit(index);
}

int32_t CFrame::getKnobMode() const {
    if (editor != nullptr) return editor->getKnobMode();
    return VSTGUIEditorInterface().getKnobMode();
}

// ------------------------------------------------------------------ drawing

void CFrame::invalidRect(const CRect& rect) {
    if (!rect.isEmpty()) invalidAreas.push_back(rect);
}

// Adds the frame rect of each dirty view below view. A dirty container
// stands for its whole rect, so its subtree is not searched; clip is the
// part of the frame that view's children can show.
void CFrame::collectDirty(CViewContainer* container, const CPoint& origin, const CRect& clip,
                          std::vector<CRect>& areas) {
    for (CView* child : container->getChildren()) {
        if (!child->isVisible()) continue;
        CRect area = child->getViewSize();
        area.offset(origin);
        area.bound(clip);
        if (child->isDirty()) {
            if (area.isEmpty())
                child->setDirty(false); // nothing of it can be seen
            else
                areas.push_back(area);
            continue;
        }
        if (area.isEmpty()) continue;
        if (auto* inner = dynamic_cast<CViewContainer*>(child)) {
            const CPoint innerOrigin = origin + child->getViewSize().getTopLeft();
            collectDirty(inner, innerOrigin, area, areas);
        }
    }
}

void CFrame::drawArea(const CRect& area) {
    CDrawContext context(image);
    context.setClipRect(area);
    drawRect(&context, area);
}

void CFrame::present(const CRect& area) {
    if (window) window->present(image, area);
}

void CFrame::idle() {
    if (!opened) return;
    // A window event may close the editor: keep this object alive until the
    // pass is over.
    remember();
    if (window) window->pumpEvents();
    if (opened) {
        const CRect bounds(0, 0, getWidth(), getHeight());
        std::vector<CRect> areas;
        areas.swap(invalidAreas);
        if (isDirty()) {
            setDirty(false);
            areas.assign(1, bounds);
        } else {
            collectDirty(this, CPoint(0, 0), bounds, areas);
        }
        for (CRect& area : areas) {
            area.bound(bounds);
            // Whole pixels only: partly covered pixels are redrawn entirely.
            area = CRect(std::floor(area.left), std::floor(area.top), std::ceil(area.right),
                         std::ceil(area.bottom));
        }
        std::erase_if(areas, [](const CRect& r) { return r.isEmpty(); });
        // Overlapping areas are drawn as one, so a view is drawn at most once
        // for its own area.
        for (bool merged = true; merged;) {
            merged = false;
            for (size_t i = 0; i < areas.size() && !merged; ++i) {
                for (size_t j = i + 1; j < areas.size(); ++j) {
                    if (areas[i].rectOverlap(areas[j])) {
                        areas[i].unite(areas[j]);
                        areas.erase(areas.begin() + static_cast<std::ptrdiff_t>(j));
                        merged = true;
                        break;
                    }
                }
            }
        }
        for (const CRect& area : areas) drawArea(area);
        if (image != nullptr) cairo_surface_flush(image);
        for (const CRect& area : areas) present(area);
        tooltips.onIdle();
    }
    forget();
}

void CFrame::redrawAll() {
    if (!opened || image == nullptr) return;
    const CRect bounds(0, 0, getWidth(), getHeight());
    invalidAreas.clear();
    setDirty(false);
    drawArea(bounds);
    cairo_surface_flush(image);
    present(bounds);
}

// ------------------------------------------------------------------ keyboard

void CFrame::registerKeyboardHook(IKeyboardHook* hook) {
    if (hook != nullptr &&
        std::find(keyboardHooks.begin(), keyboardHooks.end(), hook) == keyboardHooks.end())
        keyboardHooks.push_back(hook);
}

void CFrame::unregisterKeyboardHook(IKeyboardHook* hook) {
    std::erase(keyboardHooks, hook);
}

int32_t CFrame::onKeyDown(VstKeyCode& keyCode) {
    tooltips.onUserAction();
    // Escape during a drag ends the drag, and nobody else sees the key.
    if (keyCode.virt == VKEY_ESCAPE && cancelMouseGesture()) return 1;
    const std::vector<IKeyboardHook*> hooks = keyboardHooks;
    for (IKeyboardHook* hook : hooks) {
        const int32_t result = hook->onKeyDown(keyCode, this);
        if (result != -1) return result;
    }
    return focusView != nullptr ? focusView->onKeyDown(keyCode) : -1;
}

int32_t CFrame::onKeyUp(VstKeyCode& keyCode) {
    const std::vector<IKeyboardHook*> hooks = keyboardHooks;
    for (IKeyboardHook* hook : hooks) {
        const int32_t result = hook->onKeyUp(keyCode, this);
        if (result != -1) return result;
    }
    return focusView != nullptr ? focusView->onKeyUp(keyCode) : -1;
}

bool CFrame::platformOnKeyDown(VstKeyCode& key) {
    return onKeyDown(key) != -1;
}

bool CFrame::platformOnKeyUp(VstKeyCode& key) {
    return onKeyUp(key) != -1;
}

// ------------------------------------------------------------------ mouse

bool CFrame::getCurrentMouseLocation(CPoint& where) const {
    where = mouseLocation;
    return mouseLocation.x >= 0 && mouseLocation.y >= 0;
}

CButtonState CFrame::getCurrentMouseButtons() const {
    return mouseButtons;
}

void CFrame::platformOnMouseDown(CPoint where, CButtonState buttons) {
    const uint32_t now = getPlatformTicks();
    const int32_t button = buttons.getButtonState();
    const bool doubleClick = button != 0 && button == lastDownButton &&
                             now - lastDownTime <= kDoubleClickTime &&
                             std::fabs(where.x - lastDownPoint.x) <= kDoubleClickDistance &&
                             std::fabs(where.y - lastDownPoint.y) <= kDoubleClickDistance;
    if (doubleClick) {
        buttons |= kDoubleClick;
        // A third click starts counting afresh.
        lastDownButton = 0;
    } else {
        lastDownTime = now;
        lastDownPoint = where;
        lastDownButton = button;
    }
    mouseLocation = where;
    mouseButtons = buttons;
    tooltips.onUserAction();
    remember();
    onMouseDown(where, buttons);
    forget();
}

void CFrame::platformOnMouseMoved(CPoint where, CButtonState buttons) {
    mouseLocation = where;
    mouseButtons = buttons;
    tooltips.onMouseMoved(where, buttons);
    remember();
    onMouseMoved(where, buttons);
    forget();
}

void CFrame::platformOnMouseUp(CPoint where, CButtonState buttons) {
    mouseLocation = where;
    // The released button is no longer held.
    mouseButtons = CButtonState(buttons & ~buttons.getButtonState());
    remember();
    onMouseUp(where, buttons);
    forget();
}

void CFrame::platformOnMouseExited() {
    tooltips.onMouseExited();
    // During a drag the pointer is still followed outside the window.
    if (mouseDownView == nullptr) {
        mouseLocation = CPoint(-1, -1);
        mouseButtons = CButtonState();
    }
}

void CFrame::platformOnMouseCancel() {
    cancelMouseGesture();
}

bool CFrame::cancelMouseGesture() {
    if (mouseDownView == nullptr) return false;
    // The view's cancel may close the editor: keep this object alive.
    remember();
    onMouseCancel();
    forget();
    return true;
}

void CFrame::platformOnWheel(CPoint where, CMouseWheelAxis axis, float distance,
                             CButtonState buttons) {
    mouseLocation = where;
    tooltips.onUserAction();
    remember();
    onWheel(where, axis, distance, buttons);
    forget();
}

// ------------------------------------------------------------------ the rest

IPopupProvider* CFrame::getPopupProvider() {
    if (IPopupProvider* provider = popupOverride.load(std::memory_order_acquire)) return provider;
    if (window) {
        if (IPopupProvider* provider = window->popupProvider()) return provider;
    }
    static Immortal<HeadlessPopupProvider> headless;
    return &headless.object;
}

void CFrame::onViewRemoved(CView* view) {
    if (view == nullptr) return;
    tooltips.onViewRemoved(view);
    if (isInside(focusView, view)) focusView = nullptr;
    if (isInside(mouseDownView, view)) mouseDownView = nullptr;
}

} // namespace VSTGUI
