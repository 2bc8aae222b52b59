// The draw context: 2-D drawing over a cairo surface.
//
// Coordinates are those of the view being drawn: containers shift the
// origin for their children with pushOffset/popOffset (or the Transform
// helper). In kAliasing mode lines and outlines are not antialiased and a
// 1-pixel line between integer coordinates covers exactly one row or column
// of pixels; kAntiAliasing smooths them. Text is drawn in the font colour
// with DejaVu Sans whatever the font's family.
#pragma once

#include "vstgui/cfont.h"
#include "vstgui/vstguibase.h"

#include <utility>
#include <vector>

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

namespace VSTGUI {

class CBitmap;

class CDrawContext : public CBaseObject {
public:
    using LinePair = std::pair<CPoint, CPoint>;
    using LineList = std::vector<LinePair>;
    using PointList = std::vector<CPoint>;

    // Draws into the surface (which must outlive the context).
    explicit CDrawContext(cairo_surface_t* surface);
    ~CDrawContext() override;

    void drawLine(const CPoint& start, const CPoint& end);
    void drawLine(const LinePair& line) { drawLine(line.first, line.second); }
    void drawLines(const LineList& lines);
    void drawPolygon(const PointList& points, CDrawStyle style = kDrawStroke);
    void drawRect(const CRect& rect, CDrawStyle style = kDrawStroke);
    // Angles in degrees, clockwise from 3 o'clock, as the y axis points down.
    void drawArc(const CRect& rect, float startAngle, float endAngle,
                 CDrawStyle style = kDrawStroke);
    void drawEllipse(const CRect& rect, CDrawStyle style = kDrawStroke);
    // One pixel at p in the given colour.
    void drawPoint(const CPoint& p, const CColor& color);
    // Blends the part of the image that starts at offset into dest: where the
    // image is transparent, what lies beneath shows through.
    void drawBitmap(CBitmap* bitmap, const CRect& dest, const CPoint& offset = CPoint(0, 0),
                    float alpha = 1.0f);
    // The same part as an opaque picture: its pixels replace what lies
    // beneath, and where the image is transparent dest turns black.
    void drawBitmapOpaque(CBitmap* bitmap, const CRect& dest, const CPoint& offset = CPoint(0, 0),
                          float alpha = 1.0f);
    // Makes rect fully transparent.
    void clearRect(const CRect& rect);

    // Text on one line inside rect, vertically centred, aligned horizontally.
    void drawString(UTF8StringPtr string, const CRect& rect, CHoriTxtAlign align = kCenterText,
                    bool antialias = true);
    // Text with its baseline starting at p.
    void drawString(UTF8StringPtr string, const CPoint& p, bool antialias = true);
    CCoord getStringWidth(UTF8StringPtr string);

    void setLineWidth(CCoord width) { lineWidth = width; }
    CCoord getLineWidth() const { return lineWidth; }
    void setDrawMode(CDrawMode mode) { drawMode = mode; }
    CDrawMode getDrawMode() const { return drawMode; }
    void setFrameColor(const CColor& color) { frameColor = color; }
    const CColor& getFrameColor() const { return frameColor; }
    void setFillColor(const CColor& color) { fillColor = color; }
    const CColor& getFillColor() const { return fillColor; }
    void setFontColor(const CColor& color) { fontColor = color; }
    const CColor& getFontColor() const { return fontColor; }
    // size 0 keeps the font's size, style -1 its style.
    void setFont(const CFontRef font, const CCoord& size = 0, const int32_t& style = -1);
    CFontRef getFont() const { return font; }
    // Multiplies the alpha of everything drawn afterwards (0..1).
    void setGlobalAlpha(float alpha);
    float getGlobalAlpha() const { return globalAlpha; }

    // The clip rectangle, in the current coordinates.
    void setClipRect(const CRect& rect);
    CRect& getClipRect(CRect& rect) const;
    void resetClipRect();

    // Saves and restores colours, line width, mode, font, alpha, clip and
    // offset.
    void saveGlobalState();
    void restoreGlobalState();

    // Moves the origin by delta (in the current coordinates) until the
    // matching popOffset.
    void pushOffset(const CPoint& delta);
    void popOffset();
    CPoint getOffset() const { return offset; }

    class Transform {
    public:
        Transform(CDrawContext& context, const CPoint& delta) : context(context) {
            context.pushOffset(delta);
        }
        ~Transform() { context.popOffset(); }
        Transform(const Transform&) = delete;
        Transform& operator=(const Transform&) = delete;

    private:
        CDrawContext& context;
    };

    cairo_t* getCairo() const { return cr; }
    cairo_surface_t* getSurface() const { return surface; }

private:
    struct State;
    // Every operation starts from the context's own state: beginOperation
    // sets up clip, origin and antialiasing on a saved cairo state (false when
    // nothing can be drawn) and endOperation drops it again.
    bool beginOperation(bool smooth);
    void endOperation();
    void setSourceColor(const CColor& color);
    void selectFont(bool antialias);
    void strokePath(const CColor& color);
    void paintBitmap(CBitmap* bitmap, const CRect& dest, const CPoint& offset, float alpha,
                     bool opaque);

    cairo_surface_t* surface;
    cairo_t* cr;
    CCoord lineWidth = 1;
    CDrawMode drawMode = kAliasing;
    CColor frameColor = kBlackCColor;
    CColor fillColor = kWhiteCColor;
    CColor fontColor = kWhiteCColor;
    CFontRef font = nullptr;
    CCoord fontSize = 12;
    int32_t fontStyle = kNormalFace;
    float globalAlpha = 1.0f;
    CPoint offset;
    CRect clip; // in surface coordinates
    std::vector<State*> states;
    std::vector<CPoint> offsets;
};

} // namespace VSTGUI
