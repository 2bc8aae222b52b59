#include "vstgui/cknob.h"

#include "vstgui/cbitmap.h"
#include "vstgui/cdrawcontext.h"
#include "vstgui/cframe.h"

#include <cmath>
#include <numbers>

namespace VSTGUI {

namespace {

constexpr double kPi = std::numbers::pi;
// The knob turns clockwise through 270 degrees, from down-left (value 0)
// over straight up (0.5) to down-right (1).
constexpr double kStartAngle = 0.75 * kPi;
constexpr double kSweepAngle = 1.5 * kPi;

// a brought into [lo, lo + 2 pi).
double wrapAngle(double a, double lo) {
    while (a < lo) a += 2 * kPi;
    while (a >= lo + 2 * kPi) a -= 2 * kPi;
    return a;
}

} // namespace

// ------------------------------------------------------------------ CKnob

CKnob::CKnob(const CRect& size, IControlListener* listener, int32_t tag, CBitmap* background,
             CBitmap* handle, const CPoint& offset)
    : CControl(size, listener, tag, background), handle(handle), offset(offset) {
    if (handle) handle->remember();
}

CKnob::CKnob(const CKnob& other)
    : CControl(other), handle(other.handle), offset(other.offset), zoomFactor(other.zoomFactor),
      range(other.range), colorHandle(other.colorHandle), inset(other.inset) {
    if (handle) handle->remember();
}

CKnob::~CKnob() {
    if (handle) handle->forget();
}

double CKnob::angleOfValue(float normalized) const {
    return kStartAngle + std::clamp(normalized, 0.0f, 1.0f) * kSweepAngle;
}

double CKnob::pointAngle(const CPoint& where) const {
    const CPoint centre = size.getCenter();
    return std::atan2(where.y - centre.y, where.x - centre.x);
}

float CKnob::normalizedFromPoint(const CPoint& where) const {
    const double relative = wrapAngle(pointAngle(where) - kStartAngle, 0.0);
    if (relative <= kSweepAngle) return static_cast<float>(relative / kSweepAngle);
    // In the gap at the bottom: the nearer end.
    return relative - kSweepAngle < (2 * kPi - kSweepAngle) / 2 ? 1.0f : 0.0f;
}

int32_t CKnob::knobMode() const {
    if (CFrame* frame = getFrame()) return frame->getKnobMode();
    return kCircularMode;
}

float CKnob::dragCoefficient(const CButtonState& buttons) const {
    float pixels = range;
    if (buttons & kShift) pixels *= zoomFactor;
    return pixels > 0 ? getRange() / pixels : 0.0f;
}

void CKnob::draw(CDrawContext* context) {
    if (background) background->draw(context, size, offset);

    const double angle = angleOfValue(getValueNormalized());
    const CPoint centre = size.getCenter();
    const CCoord radius =
        std::max<CCoord>(0, std::min(size.getWidth(), size.getHeight()) / 2 - inset);
    const CPoint tip(centre.x + std::cos(angle) * radius, centre.y + std::sin(angle) * radius);
    if (handle) {
        const CPoint handleSize = handle->getSize();
        const CRect where(
            CPoint(std::round(tip.x - handleSize.x / 2), std::round(tip.y - handleSize.y / 2)),
            handleSize);
        handle->draw(context, where);
    } else {
        context->saveGlobalState();
        context->setDrawMode(kAntiAliasing);
        context->setLineWidth(1);
        context->setFrameColor(colorHandle);
        context->drawLine(centre, tip);
        context->restoreGlobalState();
    }
    setDirty(false);
}

CMouseEventResult CKnob::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    // A press that arrives while a drag is still open restarts it within
    // the same gesture.
    if (!dragging) beginEdit();
    dragging = true;
    dragMode = knobMode();
    firstPoint = where;
    lastPoint = where;
    startValue = value;
    entryValue = value;
    oldButton = buttons;
    coef = dragCoefficient(buttons);
    lastAngle = pointAngle(where);
    if (dragMode == kCircularMode) {
        const float before = value;
        value = vmin + normalizedFromPoint(where) * getRange();
        bounceValue();
        if (value != before) {
            setDirty(true);
            valueChanged();
        }
    }
    return kMouseEventHandled;
}

CMouseEventResult CKnob::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    if (!dragging) return kMouseEventNotHandled;
    if (where == lastPoint) return kMouseEventHandled;
    const CPoint previous = lastPoint;
    lastPoint = where;

    const float before = value;
    switch (dragMode) {
    case kLinearMode: {
        const auto distanceOf = [this](const CPoint& p) {
            return (firstPoint.y - p.y) + (p.x - firstPoint.x);
        };
        const CCoord distance = distanceOf(where);
        if ((buttons & kShift) != (oldButton & kShift)) {
            // The new speed counts from the previous point on, so the value
            // does not jump when shift goes down or up.
            const float newCoef = dragCoefficient(buttons);
            entryValue += static_cast<float>(distanceOf(previous) * (coef - newCoef));
            coef = newCoef;
            oldButton = buttons;
        }
        value = entryValue + static_cast<float>(distance * coef);
        break;
    }
    case kRelativCircularMode: {
        const double angle = pointAngle(where);
        const double turned = wrapAngle(angle - lastAngle, -kPi);
        lastAngle = angle;
        float step = static_cast<float>(turned / kSweepAngle) * getRange();
        if (buttons & kShift) step /= zoomFactor;
        value += step;
        break;
    }
    default:
        value = vmin + normalizedFromPoint(where) * getRange();
        break;
    }
    bounceValue();
    if (value != before) {
        setDirty(true);
        valueChanged();
    }
    return kMouseEventHandled;
}

CMouseEventResult CKnob::onMouseUp(CPoint& /*where*/, const CButtonState& /*buttons*/) {
    if (!dragging) return kMouseEventNotHandled;
    dragging = false;
    setDirty(true);
    endEdit();
    return kMouseEventHandled;
}

CMouseEventResult CKnob::onMouseCancel() {
    if (!dragging) return kMouseEventNotHandled;
    dragging = false;
    if (value != startValue) {
        value = startValue;
        setDirty(true);
        valueChanged();
    }
    endEdit();
    return kMouseEventHandled;
}

bool CKnob::onWheel(const CPoint& /*where*/, const float& distance, const CButtonState& buttons) {
    float step = distance * wheelInc;
    if (buttons & kShift) step *= 0.1f;
    const float before = value;
    setValueNormalized(getValueNormalized() + step);
    bounceValue();
    if (value != before) {
        setDirty(true);
        beginEdit();
        valueChanged();
        endEdit();
    }
    return true;
}

// ------------------------------------------------------------------ CAnimKnob

CAnimKnob::CAnimKnob(const CRect& size, IControlListener* listener, int32_t tag, int32_t subPixmaps,
                     CCoord heightOfOneImage, CBitmap* background, const CPoint& offset)
    : CKnob(size, listener, tag, background, nullptr, offset), subPixmaps(subPixmaps),
      heightOfOneImage(heightOfOneImage) {}

CAnimKnob::CAnimKnob(const CRect& size, IControlListener* listener, int32_t tag,
                     CBitmap* background, const CPoint& offset)
    : CKnob(size, listener, tag, background, nullptr, offset), heightOfOneImage(size.getHeight()) {
    if (background && heightOfOneImage > 0)
        subPixmaps = static_cast<int32_t>(background->getHeight() / heightOfOneImage);
}

CAnimKnob::CAnimKnob(const CAnimKnob& other)
    : CKnob(other), subPixmaps(other.subPixmaps), heightOfOneImage(other.heightOfOneImage),
      inverseBitmap(other.inverseBitmap) {}

int32_t CAnimKnob::getFrameIndex() const {
    if (subPixmaps <= 1) return 0;
    float normalized = std::clamp(getValueNormalized(), 0.0f, 1.0f);
    if (inverseBitmap) normalized = 1.0f - normalized;
    const auto frame =
        static_cast<int32_t>(std::floor(static_cast<double>(normalized) * (subPixmaps - 1)));
    return std::clamp(frame, 0, subPixmaps - 1);
}

void CAnimKnob::draw(CDrawContext* context) {
    if (background) {
        const CCoord frameHeight = heightOfOneImage > 0 ? heightOfOneImage : size.getHeight();
        background->draw(context, size, CPoint(0, getFrameIndex() * frameHeight));
    }
    setDirty(false);
}

} // namespace VSTGUI
