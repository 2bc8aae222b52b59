#include "vstgui/cview.h"

#include "vstgui/cdrawcontext.h"
#include "vstgui/cframe.h"
#include "vstgui/cviewcontainer.h"

#include <cstring>

namespace VSTGUI {

CView::CView(const CRect& size) : size(size), mouseableArea(size) {}

// A copy has the same geometry, flags and attributes but no parent and no
// pending redraw.
CView::CView(const CView& other)
    : CBaseObject(other), size(other.size), mouseableArea(other.mouseableArea),
      mouseEnabled(other.mouseEnabled), visible(other.visible), transparent(other.transparent),
      attributes(other.attributes) {}

CView::~CView() {
    // Normally a view dies after its container removed it; one that dies while
    // still attached must at least not stay the frame's focus or capture.
    if (parentView != nullptr) {
        if (CFrame* frame = getFrame()) frame->onViewRemoved(this);
    }
}

// ------------------------------------------------------------------ drawing

void CView::draw(CDrawContext* /*context*/) {}

void CView::drawRect(CDrawContext* context, const CRect& /*updateRect*/) {
    draw(context);
}

void CView::invalidNow() {
    CFrame* frame = getFrame();
    if (frame == nullptr || !frame->isOpen() || frame->getOffscreenSurface() == nullptr) {
        setDirty(true);
        return;
    }
    CRect area = getFrameRect();
    area.bound(CRect(0, 0, frame->getWidth(), frame->getHeight()));
    if (area.isEmpty()) return;
    // The area is drawn from the frame down, so whatever lies below this
    // view is painted first.
    CDrawContext context(frame->getOffscreenSurface());
    context.setClipRect(area);
    frame->drawRect(&context, area);
    if (Platform::IWindow* window = frame->getPlatformWindow())
        window->present(frame->getOffscreenSurface(), area);
}

// ------------------------------------------------------------------ mouse and keys

CMouseEventResult CView::onMouseDown(CPoint& /*where*/, const CButtonState& /*buttons*/) {
    return kMouseEventNotImplemented;
}

CMouseEventResult CView::onMouseUp(CPoint& /*where*/, const CButtonState& /*buttons*/) {
    return kMouseEventNotImplemented;
}

CMouseEventResult CView::onMouseMoved(CPoint& /*where*/, const CButtonState& /*buttons*/) {
    return kMouseEventNotImplemented;
}

CMouseEventResult CView::onMouseCancel() {
    return kMouseEventNotImplemented;
}

bool CView::onWheel(const CPoint& /*where*/, const float& /*distance*/,
                    const CButtonState& /*buttons*/) {
    return false;
}

bool CView::onWheel(const CPoint& where, const CMouseWheelAxis& axis, const float& distance,
                    const CButtonState& buttons) {
    if (axis != kMouseWheelAxisY) return false;
    return onWheel(where, distance, buttons);
}

int32_t CView::onKeyDown(VstKeyCode& /*keyCode*/) {
    return -1;
}

int32_t CView::onKeyUp(VstKeyCode& /*keyCode*/) {
    return -1;
}

// ------------------------------------------------------------------ geometry

void CView::setViewSize(const CRect& rect, bool invalidate) {
    if (invalidate) {
        // The area the view leaves has to be repainted from below.
        if (CFrame* frame = getFrame(); frame != nullptr && frame != this)
            frame->invalidRect(getFrameRect());
    }
    size = rect;
    mouseableArea = rect;
    if (invalidate) setDirty(true);
}

bool CView::hitTest(const CPoint& where, const CButtonState& /*buttons*/) {
    return visible && mouseableArea.pointInside(where);
}

void CView::setVisible(bool state) {
    if (visible == state) return;
    if (!state) {
        if (CFrame* frame = getFrame(); frame != nullptr && frame != this)
            frame->invalidRect(getFrameRect());
    }
    visible = state;
    if (state) setDirty(true);
}

// ------------------------------------------------------------------ the view tree

bool CView::attached(CView* parent) {
    if (parentView != nullptr || parent == nullptr) return false;
    parentView = dynamic_cast<CViewContainer*>(parent);
    return parentView != nullptr;
}

bool CView::removed(CView* /*parent*/) {
    if (parentView == nullptr) return false;
    parentView = nullptr;
    return true;
}

CFrame* CView::getFrame() const {
    const CView* root = this;
    while (root->parentView != nullptr) root = root->parentView;
    return dynamic_cast<CFrame*>(const_cast<CView*>(root));
}

VSTGUIEditorInterface* CView::getEditor() const {
    CFrame* frame = getFrame();
    return frame != nullptr ? frame->getEditor() : nullptr;
}

// The parents' top-left corners up to (not including) the root, whose own
// origin is the frame's 0,0.
static CPoint originInFrame(const CView* view) {
    CPoint origin;
    for (const CViewContainer* p = view->getParentView(); p != nullptr && p->getParentView();
         p = p->getParentView())
        origin.offset(p->getViewSize().left, p->getViewSize().top);
    return origin;
}

CPoint& CView::localToFrame(CPoint& point) const {
    return point.offset(originInFrame(this));
}

CPoint& CView::frameToLocal(CPoint& point) const {
    return point.offsetInverse(originInFrame(this));
}

CRect CView::getFrameRect() const {
    CRect rect = size;
    // The frame's own origin is 0,0 whatever its rectangle says.
    if (parentView == nullptr && dynamic_cast<const CFrame*>(this) != nullptr)
        return rect.moveTo(0, 0);
    return rect.offset(originInFrame(this));
}

// ------------------------------------------------------------------ attributes

bool CView::setAttribute(CViewAttributeID id, uint32_t inSize, const void* inData) {
    if (inSize > 0 && inData == nullptr) return false;
    const auto* bytes = static_cast<const uint8_t*>(inData);
    attributes[id] = std::vector<uint8_t>(bytes, bytes + inSize);
    return true;
}

bool CView::getAttributeSize(CViewAttributeID id, uint32_t& outSize) const {
    auto it = attributes.find(id);
    if (it == attributes.end()) return false;
    outSize = static_cast<uint32_t>(it->second.size());
    return true;
}

bool CView::getAttribute(CViewAttributeID id, uint32_t inSize, void* outData,
                         uint32_t& outSize) const {
    auto it = attributes.find(id);
    if (it == attributes.end() || inSize < it->second.size()) return false;
    outSize = static_cast<uint32_t>(it->second.size());
    if (outSize > 0) std::memcpy(outData, it->second.data(), outSize);
    return true;
}

bool CView::removeAttribute(CViewAttributeID id) {
    return attributes.erase(id) > 0;
}

void CView::setTooltipText(UTF8StringPtr text) {
    if (text == nullptr || *text == '\0') {
        removeAttribute(kCViewTooltipAttribute);
        return;
    }
    // Stored with its terminating NUL, as readers of the attribute expect.
    setAttribute(kCViewTooltipAttribute, static_cast<uint32_t>(std::strlen(text) + 1), text);
}

UTF8String CView::getTooltipText() const {
    auto it = attributes.find(kCViewTooltipAttribute);
    if (it == attributes.end()) return {};
    const auto& bytes = it->second;
    const auto end = std::find(bytes.begin(), bytes.end(), uint8_t{0});
    return UTF8String(bytes.begin(), end);
}

} // namespace VSTGUI
