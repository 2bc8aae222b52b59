// The basic types of the GUI layer: geometry, colours, mouse and key state,
// the result codes of mouse handlers and the reference-counted base object.
//
// Coordinates are pixels (CCoord, double). A view's size is given in the
// coordinate system of its parent container; a container's children are
// placed relative to the container's top-left corner.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>

namespace VSTGUI {

using CCoord = double;
using UTF8String = std::string;
using UTF8StringPtr = const char*;

// ------------------------------------------------------------------ geometry

struct CPoint {
    CCoord x = 0;
    CCoord y = 0;

    constexpr CPoint() = default;
    constexpr CPoint(CCoord x, CCoord y) : x(x), y(y) {}

    CPoint& offset(CCoord dx, CCoord dy) {
        x += dx;
        y += dy;
        return *this;
    }
    CPoint& offset(const CPoint& p) { return offset(p.x, p.y); }
    CPoint& offsetInverse(const CPoint& p) { return offset(-p.x, -p.y); }
    constexpr bool operator==(const CPoint&) const = default;
    constexpr CPoint operator+(const CPoint& p) const { return {x + p.x, y + p.y}; }
    constexpr CPoint operator-(const CPoint& p) const { return {x - p.x, y - p.y}; }
    CPoint& operator+=(const CPoint& p) { return offset(p); }
    CPoint& operator-=(const CPoint& p) { return offsetInverse(p); }
};

struct CRect {
    CCoord left = 0;
    CCoord top = 0;
    CCoord right = 0;
    CCoord bottom = 0;

    constexpr CRect() = default;
    constexpr CRect(CCoord left, CCoord top, CCoord right, CCoord bottom)
        : left(left), top(top), right(right), bottom(bottom) {}
    constexpr CRect(const CPoint& origin, const CPoint& size)
        : left(origin.x), top(origin.y), right(origin.x + size.x), bottom(origin.y + size.y) {}

    constexpr CCoord getWidth() const { return right - left; }
    constexpr CCoord getHeight() const { return bottom - top; }
    CRect& setWidth(CCoord w) {
        right = left + w;
        return *this;
    }
    CRect& setHeight(CCoord h) {
        bottom = top + h;
        return *this;
    }
    constexpr CPoint getTopLeft() const { return {left, top}; }
    constexpr CPoint getBottomRight() const { return {right, bottom}; }
    constexpr CPoint getSize() const { return {getWidth(), getHeight()}; }
    constexpr CPoint getCenter() const { return {(left + right) / 2, (top + bottom) / 2}; }
    CRect& setTopLeft(const CPoint& p) {
        left = p.x;
        top = p.y;
        return *this;
    }
    CRect& setSize(const CPoint& s) {
        right = left + s.x;
        bottom = top + s.y;
        return *this;
    }
    CRect& offset(CCoord dx, CCoord dy) {
        left += dx;
        right += dx;
        top += dy;
        bottom += dy;
        return *this;
    }
    CRect& offset(const CPoint& p) { return offset(p.x, p.y); }
    CRect& offsetInverse(const CPoint& p) { return offset(-p.x, -p.y); }
    // Keeps the size and moves the top-left corner to p.
    CRect& moveTo(const CPoint& p) { return offset(p.x - left, p.y - top); }
    CRect& moveTo(CCoord x, CCoord y) { return moveTo(CPoint(x, y)); }
    CRect& inset(CCoord dx, CCoord dy) {
        left += dx;
        right -= dx;
        top += dy;
        bottom -= dy;
        return *this;
    }
    CRect& extend(CCoord dx, CCoord dy) { return inset(-dx, -dy); }
    // Left and top edges inclusive, right and bottom exclusive.
    constexpr bool pointInside(const CPoint& p) const {
        return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
    }
    constexpr bool isEmpty() const { return right <= left || bottom <= top; }
    constexpr bool rectOverlap(const CRect& r) const {
        return !isEmpty() && !r.isEmpty() && r.left < right && r.right > left && r.top < bottom &&
               r.bottom > top;
    }
    // Intersection with r (empty when they do not overlap).
    CRect& bound(const CRect& r) {
        left = std::max(left, r.left);
        top = std::max(top, r.top);
        right = std::max(left, std::min(right, r.right));
        bottom = std::max(top, std::min(bottom, r.bottom));
        return *this;
    }
    CRect& unite(const CRect& r) {
        if (r.isEmpty()) return *this;
        if (isEmpty()) return *this = r;
        left = std::min(left, r.left);
        top = std::min(top, r.top);
        right = std::max(right, r.right);
        bottom = std::max(bottom, r.bottom);
        return *this;
    }
    constexpr bool operator==(const CRect&) const = default;
};

// ------------------------------------------------------------------ colour

struct CColor {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    uint8_t alpha = 255;

    constexpr CColor() = default;
    constexpr CColor(uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255)
        : red(r), green(g), blue(b), alpha(a) {}
    constexpr bool operator==(const CColor&) const = default;
};

inline constexpr CColor kTransparentCColor{255, 255, 255, 0};
inline constexpr CColor kBlackCColor{0, 0, 0, 255};
inline constexpr CColor kWhiteCColor{255, 255, 255, 255};
inline constexpr CColor kGreyCColor{127, 127, 127, 255};
inline constexpr CColor kRedCColor{255, 0, 0, 255};
inline constexpr CColor kGreenCColor{0, 255, 0, 255};
inline constexpr CColor kBlueCColor{0, 0, 255, 255};
inline constexpr CColor kYellowCColor{255, 255, 0, 255};

// ------------------------------------------------------------------ mouse and keys

enum CButton : int32_t {
    kLButton = 1 << 1,
    kMButton = 1 << 2,
    kRButton = 1 << 3,
    kShift = 1 << 4,
    kControl = 1 << 5,
    kAlt = 1 << 6,
    kApple = 1 << 7,
    kButton4 = 1 << 8,
    kButton5 = 1 << 9,
    kDoubleClick = 1 << 10,
};

class CButtonState {
public:
    constexpr CButtonState(int32_t state = 0) : state(state) {}
    constexpr int32_t getButtonState() const { return state & (kLButton | kMButton | kRButton); }
    constexpr int32_t getModifierState() const {
        return state & (kShift | kControl | kAlt | kApple);
    }
    constexpr bool isLeftButton() const { return (state & kLButton) != 0; }
    constexpr bool isRightButton() const { return (state & kRButton) != 0; }
    constexpr bool isDoubleClick() const { return (state & kDoubleClick) != 0; }
    constexpr operator int32_t() const { return state; }
    constexpr int32_t operator&(int32_t mask) const { return state & mask; }
    CButtonState& operator|=(int32_t bits) {
        state |= bits;
        return *this;
    }

private:
    int32_t state;
};

enum CMouseEventResult : int32_t {
    kMouseEventNotImplemented = 0,
    kMouseEventHandled = 1,
    kMouseEventNotHandled = 2,
    kMouseDownEventHandledButDontNeedMovedOrUpEvents = 3,
    kMouseMoveEventHandledButDontNeedMoreEvents = 4,
};

enum CMouseWheelAxis : int32_t { kMouseWheelAxisX = 0, kMouseWheelAxisY = 1 };

// ------------------------------------------------------------------ drawing enums

enum CHoriTxtAlign : int32_t { kLeftText = 0, kCenterText, kRightText };
enum CDrawStyle : int32_t { kDrawStroke = 0, kDrawFilled, kDrawFilledAndStroked };
enum CDrawMode : int32_t { kAliasing = 0, kAntiAliasing = 1 };
enum CKnobMode : int32_t { kCircularMode = 0, kRelativCircularMode = 1, kLinearMode = 2 };
enum CTxtFace : int32_t {
    kNormalFace = 0,
    kBoldFace = 1 << 1,
    kItalicFace = 1 << 2,
    kUnderlineFace = 1 << 3,
};

// ------------------------------------------------------------------ view attributes

using CViewAttributeID = uint32_t;
// The tooltip text of a view ('cvtt').
inline constexpr CViewAttributeID kCViewTooltipAttribute = 0x63767474;

// ------------------------------------------------------------------ reference counting

// Base of every object of the layer that is shared by pointer. A new object
// holds one reference; remember() adds one, forget() drops one and deletes
// the object with the last. The count is atomic: objects that every editor
// shares (the stock fonts) are counted by editors open on several threads.
class CBaseObject {
public:
    CBaseObject();
    virtual ~CBaseObject();
    CBaseObject(const CBaseObject&);
    CBaseObject& operator=(const CBaseObject&) { return *this; }

    virtual void remember() { references.fetch_add(1, std::memory_order_relaxed); }
    virtual void forget();
    int32_t getNbReference() const { return references.load(std::memory_order_relaxed); }

private:
    std::atomic<int32_t> references{1};
};

// Milliseconds of the layer's clock (steady; tests may replace it).
uint32_t getPlatformTicks();

} // namespace VSTGUI
