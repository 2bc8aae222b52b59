#include "vstgui/cparamdisplay.h"

#include "vstgui/cbitmap.h"
#include "vstgui/cdrawcontext.h"

#include <charconv>

namespace VSTGUI {

namespace {

// The corners of a round-rect frame.
constexpr CCoord kRoundRectRadius = 6;

void drawRoundRectFrame(CDrawContext* context, const CRect& r) {
    const CCoord radius = std::min({kRoundRectRadius, r.getWidth() / 2, r.getHeight() / 2});
    const CCoord d = 2 * radius;
    context->drawLine(CPoint(r.left + radius, r.top), CPoint(r.right - radius, r.top));
    context->drawLine(CPoint(r.right, r.top + radius), CPoint(r.right, r.bottom - radius));
    context->drawLine(CPoint(r.right - radius, r.bottom), CPoint(r.left + radius, r.bottom));
    context->drawLine(CPoint(r.left, r.bottom - radius), CPoint(r.left, r.top + radius));
    context->drawArc(CRect(r.left, r.top, r.left + d, r.top + d), 180, 270);
    context->drawArc(CRect(r.right - d, r.top, r.right, r.top + d), 270, 360);
    context->drawArc(CRect(r.right - d, r.bottom - d, r.right, r.bottom), 0, 90);
    context->drawArc(CRect(r.left, r.bottom - d, r.left + d, r.bottom), 90, 180);
}

} // namespace

CParamDisplay::CParamDisplay(const CRect& size, CBitmap* background, int32_t style)
    : CControl(size, nullptr, -1, background), font(kNormalFont), style(style) {
    if (font) font->remember();
}

CParamDisplay::CParamDisplay(const CParamDisplay& other)
    : CControl(other), valueToString(other.valueToString), font(other.font),
      fontColor(other.fontColor), backColor(other.backColor), frameColor(other.frameColor),
      shadowColor(other.shadowColor), horiAlign(other.horiAlign), textInset(other.textInset),
      style(other.style), antialias(other.antialias) {
    if (font) font->remember();
}

CParamDisplay::~CParamDisplay() {
    if (font) font->forget();
}

void CParamDisplay::setFont(CFontRef newFont) {
    if (newFont == font) return;
    if (newFont) newFont->remember();
    if (font) font->forget();
    font = newFont;
    setDirty(true);
}

void CParamDisplay::draw(CDrawContext* context) {
    if (style & kNoDrawStyle) {
        setDirty(false);
        return;
    }
    char text[256] = {};
    if (!valueToString || !valueToString(value, text, this)) {
        // Always a decimal point, whatever locale the host has switched to.
        const auto result =
            std::to_chars(text, text + sizeof(text) - 1, value, std::chars_format::fixed, 2);
        *result.ptr = '\0';
    }
    text[sizeof(text) - 1] = '\0';
    drawBack(context);
    drawPlatformText(context, text);
    setDirty(false);
}

void CParamDisplay::drawBack(CDrawContext* context, CBitmap* newBack) {
    context->saveGlobalState();
    if (CBitmap* back = newBack ? newBack : background) {
        back->draw(context, size);
    } else if (backColor.alpha != 0) {
        context->setFillColor(backColor);
        context->drawRect(size, kDrawFilled);
    }

    if (!(style & kNoFrame) && (style & (k3DIn | k3DOut | kRoundRectStyle))) {
        context->setDrawMode(kAliasing);
        context->setLineWidth(1);
        if (style & kRoundRectStyle) {
            context->setDrawMode(kAntiAliasing);
            context->setFrameColor(frameColor);
            CRect r = size;
            r.right -= 1;
            r.bottom -= 1;
            drawRoundRectFrame(context, r);
        } else {
            // Sunken: dark edges at the top left, light at the bottom right;
            // raised the other way round.
            const CColor light = kWhiteCColor;
            const CColor& dark = frameColor;
            const CCoord l = size.left, t = size.top;
            const CCoord r = size.right - 1, b = size.bottom - 1;
            context->setFrameColor((style & k3DIn) ? dark : light);
            context->drawLine(CPoint(l, b), CPoint(l, t));
            context->drawLine(CPoint(l, t), CPoint(r, t));
            context->setFrameColor((style & k3DIn) ? light : dark);
            context->drawLine(CPoint(r, t), CPoint(r, b));
            context->drawLine(CPoint(r, b), CPoint(l, b));
        }
    }
    context->restoreGlobalState();
}

void CParamDisplay::drawPlatformText(CDrawContext* context, UTF8StringPtr string) {
    drawPlatformText(context, string, size);
}

void CParamDisplay::drawPlatformText(CDrawContext* context, UTF8StringPtr string,
                                     const CRect& rect) {
    if ((style & kNoTextStyle) || !string || !*string) return;
    CRect textRect = rect;
    textRect.inset(textInset.x, textInset.y);

    context->saveGlobalState();
    CRect clip;
    context->getClipRect(clip);
    clip.bound(textRect);
    context->setClipRect(clip);
    if (antialias) context->setDrawMode(kAntiAliasing);
    if (font) context->setFont(font);
    if (style & kShadowText) {
        CRect shadowRect = textRect;
        shadowRect.offset(1, 1);
        context->setFontColor(shadowColor);
        context->drawString(string, shadowRect, horiAlign, antialias);
    }
    context->setFontColor(fontColor);
    context->drawString(string, textRect, horiAlign, antialias);
    context->restoreGlobalState();
}

} // namespace VSTGUI
