#include "vstgui/cdrawcontext.h"

#include "vstgui/cbitmap.h"

#include <cairo.h>

#include <cmath>
#include <numbers>

namespace VSTGUI {

namespace {

// Every family is drawn with this face, so texts measure the same everywhere.

CRect surfaceBounds(cairo_surface_t* surface) {
    if (surface != nullptr && cairo_surface_get_type(surface) == CAIRO_SURFACE_TYPE_IMAGE) {
        return CRect(0, 0, cairo_image_surface_get_width(surface),
                     cairo_image_surface_get_height(surface));
    }
    // Surfaces without a known size are not clipped beyond what they do.
    return CRect(-1e6, -1e6, 1e6, 1e6);
}

// Lines of odd integral width lie on pixel centres, so that a 1-pixel line
// between integer coordinates fills exactly one row or column.
bool oddWidth(CCoord width) {
    const double rounded = std::round(width);
    return std::fabs(width - rounded) < 1e-9 && static_cast<long>(rounded) % 2 != 0;
}

double radians(float degrees) {
    return degrees * std::numbers::pi / 180.0;
}

} // namespace

struct CDrawContext::State {
    CCoord lineWidth;
    CDrawMode drawMode;
    CColor frameColor;
    CColor fillColor;
    CColor fontColor;
    CFontRef font;
    CCoord fontSize;
    int32_t fontStyle;
    float globalAlpha;
    CPoint offset;
    CRect clip;
    size_t offsetDepth;
};

CDrawContext::CDrawContext(cairo_surface_t* surface)
    : surface(surface), cr(cairo_create(surface)), font(kSystemFont),
      fontSize(kSystemFont->getSize()), fontStyle(kSystemFont->getStyle()),
      clip(surfaceBounds(surface)) {}

CDrawContext::~CDrawContext() {
    for (State* state : states) delete state;
    cairo_destroy(cr);
}

// ------------------------------------------------------------------ state

void CDrawContext::setFont(const CFontRef newFont, const CCoord& size, const int32_t& style) {
    font = newFont;
    // The size and style are copied, so drawing never reads the descriptor.
    if (size > 0)
        fontSize = size;
    else if (newFont != nullptr)
        fontSize = newFont->getSize();
    if (style != -1)
        fontStyle = style;
    else if (newFont != nullptr)
        fontStyle = newFont->getStyle();
}

void CDrawContext::setGlobalAlpha(float alpha) {
    globalAlpha = std::clamp(alpha, 0.0f, 1.0f);
}

void CDrawContext::setClipRect(const CRect& rect) {
    clip = rect;
    clip.offset(offset);
    clip.bound(surfaceBounds(surface));
}

CRect& CDrawContext::getClipRect(CRect& rect) const {
    rect = clip;
    rect.offsetInverse(offset);
    return rect;
}

void CDrawContext::resetClipRect() {
    clip = surfaceBounds(surface);
}

void CDrawContext::saveGlobalState() {
    states.push_back(new State{lineWidth, drawMode, frameColor, fillColor, fontColor, font,
                               fontSize, fontStyle, globalAlpha, offset, clip, offsets.size()});
}

void CDrawContext::restoreGlobalState() {
    if (states.empty()) return;
    State* state = states.back();
    states.pop_back();
    lineWidth = state->lineWidth;
    drawMode = state->drawMode;
    frameColor = state->frameColor;
    fillColor = state->fillColor;
    fontColor = state->fontColor;
    font = state->font;
    fontSize = state->fontSize;
    fontStyle = state->fontStyle;
    globalAlpha = state->globalAlpha;
    offset = state->offset;
    clip = state->clip;
    if (offsets.size() > state->offsetDepth) offsets.resize(state->offsetDepth);
    delete state;
}

void CDrawContext::pushOffset(const CPoint& delta) {
    offsets.push_back(offset);
    offset += delta;
}

void CDrawContext::popOffset() {
    if (offsets.empty()) return;
    offset = offsets.back();
    offsets.pop_back();
}

// ------------------------------------------------------------------ cairo plumbing

bool CDrawContext::beginOperation(bool smooth) {
    if (clip.isEmpty()) return false;
    cairo_save(cr);
    cairo_identity_matrix(cr);
    cairo_new_path(cr);
    // The clip is pixel-aligned whatever the mode.
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_rectangle(cr, clip.left, clip.top, clip.getWidth(), clip.getHeight());
    cairo_clip(cr);
    cairo_translate(cr, offset.x, offset.y);
    cairo_set_antialias(cr, smooth ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
    cairo_set_line_width(cr, lineWidth);
    return true;
}

void CDrawContext::endOperation() {
    cairo_restore(cr);
}

void CDrawContext::setSourceColor(const CColor& color) {
    cairo_set_source_rgba(cr, color.red / 255.0, color.green / 255.0, color.blue / 255.0,
                          color.alpha / 255.0 * globalAlpha);
}

void CDrawContext::strokePath(const CColor& color) {
    setSourceColor(color);
    cairo_stroke(cr);
}

void CDrawContext::selectFont(bool antialias) {
    cairo_set_font_face(cr, getCairoFontFace(fontStyle));
    cairo_set_font_size(cr, fontSize > 0 ? fontSize : 12);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options,
                                     antialias ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);
}

// ------------------------------------------------------------------ lines and shapes

void CDrawContext::drawLine(const CPoint& start, const CPoint& end) {
    if (!beginOperation(drawMode == kAntiAliasing)) return;
    if (oddWidth(lineWidth)) cairo_translate(cr, 0.5, 0.5);
    cairo_move_to(cr, start.x, start.y);
    cairo_line_to(cr, end.x, end.y);
    strokePath(frameColor);
    endOperation();
}

void CDrawContext::drawLines(const LineList& lines) {
    if (lines.empty() || !beginOperation(drawMode == kAntiAliasing)) return;
    if (oddWidth(lineWidth)) cairo_translate(cr, 0.5, 0.5);
    for (const LinePair& line : lines) {
        cairo_move_to(cr, line.first.x, line.first.y);
        cairo_line_to(cr, line.second.x, line.second.y);
    }
    strokePath(frameColor);
    endOperation();
}

void CDrawContext::drawPolygon(const PointList& points, CDrawStyle style) {
    if (points.size() < 2) return;
    const bool smooth = drawMode == kAntiAliasing;
    if (style == kDrawFilled || style == kDrawFilledAndStroked) {
        if (!beginOperation(smooth)) return;
        cairo_move_to(cr, points[0].x, points[0].y);
        for (size_t i = 1; i < points.size(); ++i) cairo_line_to(cr, points[i].x, points[i].y);
        cairo_close_path(cr);
        setSourceColor(fillColor);
        cairo_fill(cr);
        endOperation();
    }
    if (style == kDrawStroke || style == kDrawFilledAndStroked) {
        if (!beginOperation(smooth)) return;
        if (oddWidth(lineWidth)) cairo_translate(cr, 0.5, 0.5);
        cairo_move_to(cr, points[0].x, points[0].y);
        for (size_t i = 1; i < points.size(); ++i) cairo_line_to(cr, points[i].x, points[i].y);
        strokePath(frameColor);
        endOperation();
    }
}

void CDrawContext::drawRect(const CRect& rect, CDrawStyle style) {
    const bool smooth = drawMode == kAntiAliasing;
    if (style == kDrawFilled || style == kDrawFilledAndStroked) {
        if (!beginOperation(smooth)) return;
        cairo_rectangle(cr, rect.left, rect.top, rect.getWidth(), rect.getHeight());
        setSourceColor(fillColor);
        cairo_fill(cr);
        endOperation();
    }
    if (style == kDrawStroke || style == kDrawFilledAndStroked) {
        // The outline lies inside the rectangle: a 1-pixel frame covers its
        // outermost rows and columns.
        CRect r = rect;
        r.inset(lineWidth / 2, lineWidth / 2);
        if (!beginOperation(smooth)) return;
        cairo_rectangle(cr, r.left, r.top, r.getWidth(), r.getHeight());
        strokePath(frameColor);
        endOperation();
    }
}

void CDrawContext::drawArc(const CRect& rect, float startAngle, float endAngle, CDrawStyle style) {
    const bool smooth = drawMode == kAntiAliasing;
    auto arcPath = [&](const CRect& r, bool pie) {
        const CPoint centre = r.getCenter();
        if (pie) cairo_move_to(cr, centre.x, centre.y);
        cairo_save(cr);
        cairo_translate(cr, centre.x, centre.y);
        cairo_scale(cr, r.getWidth() / 2, r.getHeight() / 2);
        cairo_arc(cr, 0, 0, 1, radians(startAngle), radians(endAngle));
        cairo_restore(cr);
        if (pie) cairo_close_path(cr);
    };
    // Filled arcs are pie slices from the centre.
    if ((style == kDrawFilled || style == kDrawFilledAndStroked) && !rect.isEmpty()) {
        if (!beginOperation(smooth)) return;
        arcPath(rect, true);
        setSourceColor(fillColor);
        cairo_fill(cr);
        endOperation();
    }
    if (style == kDrawStroke || style == kDrawFilledAndStroked) {
        CRect r = rect;
        r.inset(lineWidth / 2, lineWidth / 2);
        if (r.isEmpty() || !beginOperation(smooth)) return;
        arcPath(r, false);
        strokePath(frameColor);
        endOperation();
    }
}

void CDrawContext::drawEllipse(const CRect& rect, CDrawStyle style) {
    const bool smooth = drawMode == kAntiAliasing;
    auto ellipsePath = [&](const CRect& r) {
        const CPoint centre = r.getCenter();
        cairo_new_sub_path(cr);
        cairo_save(cr);
        cairo_translate(cr, centre.x, centre.y);
        cairo_scale(cr, r.getWidth() / 2, r.getHeight() / 2);
        cairo_arc(cr, 0, 0, 1, 0, 2 * std::numbers::pi);
        cairo_restore(cr);
        cairo_close_path(cr);
    };
    if ((style == kDrawFilled || style == kDrawFilledAndStroked) && !rect.isEmpty()) {
        if (!beginOperation(smooth)) return;
        ellipsePath(rect);
        setSourceColor(fillColor);
        cairo_fill(cr);
        endOperation();
    }
    if (style == kDrawStroke || style == kDrawFilledAndStroked) {
        CRect r = rect;
        r.inset(lineWidth / 2, lineWidth / 2);
        if (r.isEmpty() || !beginOperation(smooth)) return;
        ellipsePath(r);
        strokePath(frameColor);
        endOperation();
    }
}

void CDrawContext::drawPoint(const CPoint& p, const CColor& color) {
    if (!beginOperation(false)) return;
    cairo_rectangle(cr, std::floor(p.x), std::floor(p.y), 1, 1);
    setSourceColor(color);
    cairo_fill(cr);
    endOperation();
}

void CDrawContext::clearRect(const CRect& rect) {
    if (!beginOperation(false)) return;
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_rectangle(cr, rect.left, rect.top, rect.getWidth(), rect.getHeight());
    cairo_fill(cr);
    endOperation();
}

// ------------------------------------------------------------------ bitmaps

void CDrawContext::drawBitmap(CBitmap* bitmap, const CRect& dest, const CPoint& offsetInBitmap,
                              float alpha) {
    paintBitmap(bitmap, dest, offsetInBitmap, alpha, false);
}

void CDrawContext::drawBitmapOpaque(CBitmap* bitmap, const CRect& dest,
                                    const CPoint& offsetInBitmap, float alpha) {
    paintBitmap(bitmap, dest, offsetInBitmap, alpha, true);
}

void CDrawContext::paintBitmap(CBitmap* bitmap, const CRect& dest, const CPoint& offsetInBitmap,
                               float alpha, bool opaque) {
    if (bitmap == nullptr || bitmap->getSurface() == nullptr || dest.isEmpty()) return;
    if (!beginOperation(false)) return;
    cairo_rectangle(cr, dest.left, dest.top, dest.getWidth(), dest.getHeight());
    cairo_clip(cr);
    // Opaque: the image over black first, so that its own alpha is dropped;
    // the opacity then applies to the whole picture.
    if (opaque) {
        cairo_push_group(cr);
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_paint(cr);
    }
    cairo_set_source_surface(cr, bitmap->getSurface(), dest.left - offsetInBitmap.x,
                             dest.top - offsetInBitmap.y);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    if (opaque) {
        cairo_paint(cr);
        cairo_pop_group_to_source(cr);
    }
    cairo_paint_with_alpha(cr, std::clamp(alpha, 0.0f, 1.0f) * globalAlpha);
    endOperation();
}

// ------------------------------------------------------------------ text

void CDrawContext::drawString(UTF8StringPtr string, const CRect& rect, CHoriTxtAlign align,
                              bool antialias) {
    if (string == nullptr || *string == '\0') return;
    if (!beginOperation(antialias)) return;
    selectFont(antialias);
    cairo_text_extents_t text;
    cairo_text_extents(cr, string, &text);
    cairo_font_extents_t metrics;
    cairo_font_extents(cr, &metrics);

    double x = rect.left;
    if (align == kCenterText)
        x = rect.left + (rect.getWidth() - text.x_advance) / 2;
    else if (align == kRightText)
        x = rect.right - text.x_advance;
    // Centred on the line's ascent and descent, so every text of one font in
    // one rectangle shares its baseline.
    const double baseline =
        rect.top + (rect.getHeight() - (metrics.ascent + metrics.descent)) / 2 + metrics.ascent;
    endOperation();
    drawString(string, CPoint(std::round(x), std::round(baseline)), antialias);
}

void CDrawContext::drawString(UTF8StringPtr string, const CPoint& p, bool antialias) {
    if (string == nullptr || *string == '\0') return;
    if (!beginOperation(antialias)) return;
    selectFont(antialias);
    setSourceColor(fontColor);
    cairo_move_to(cr, p.x, p.y);
    cairo_show_text(cr, string);
    if (fontStyle & kUnderlineFace) {
        cairo_text_extents_t text;
        cairo_text_extents(cr, string, &text);
        cairo_new_path(cr);
        cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
        cairo_rectangle(cr, std::round(p.x), std::round(p.y) + 1, std::round(text.x_advance), 1);
        cairo_fill(cr);
    }
    endOperation();
}

CCoord CDrawContext::getStringWidth(UTF8StringPtr string) {
    if (string == nullptr || *string == '\0') return 0;
    cairo_save(cr);
    selectFont(true);
    cairo_text_extents_t text;
    cairo_text_extents(cr, string, &text);
    cairo_restore(cr);
    return text.x_advance;
}

} // namespace VSTGUI
