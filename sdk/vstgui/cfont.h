// Font descriptors. Every family name maps to DejaVu Sans when drawing, so
// "Arial" and "Verdana" look the same on every Linux machine.
#pragma once

#include "vstgui/vstguibase.h"

typedef struct _cairo_font_face cairo_font_face_t;

namespace VSTGUI {

class CFontDesc : public CBaseObject {
public:
    CFontDesc(const UTF8String& name = "", const CCoord& size = 0, int32_t style = kNormalFace);

    const UTF8String& getName() const { return name; }
    CCoord getSize() const { return size; }
    int32_t getStyle() const { return style; }
    void setName(const UTF8String& newName) { name = newName; }
    void setSize(CCoord newSize) { size = newSize; }
    void setStyle(int32_t newStyle) { style = newStyle; }

private:
    UTF8String name;
    CCoord size;
    int32_t style;
};

using CFontRef = CFontDesc*;

// The stock fonts ("Arial", plain): system 12, very big 18, big 14, normal
// 12, small 11, smaller 10, very small 9, symbol 12. They live for the whole
// process.
extern const CFontRef kSystemFont;
extern const CFontRef kNormalFontVeryBig;
extern const CFontRef kNormalFontBig;
extern const CFontRef kNormalFont;
extern const CFontRef kNormalFontSmall;
extern const CFontRef kNormalFontSmaller;
extern const CFontRef kNormalFontVerySmall;
extern const CFontRef kSymbolFont;

// The face every family draws with: DejaVu Sans in the style's weight and
// slant, opened once per process from its font file (cairo's own
// sans-serif when the file is missing). Owned by the layer.
cairo_font_face_t* getCairoFontFace(int32_t style);

} // namespace VSTGUI
