// Painting helpers shared by the artwork's files: colours, shapes and text
// in design units (callers scale the context to the GUI size first).
#pragma once

#include <cairo.h>

namespace ondix::artwork::paint {

struct Colour {
    double r = 0, g = 0, b = 0, a = 1;
};

constexpr Colour rgb(int r, int g, int b, double a = 1.0) {
    return {r / 255.0, g / 255.0, b / 255.0, a};
}
constexpr Colour withAlpha(Colour c, double a) {
    c.a = a;
    return c;
}

// The panel's palette; the accents are the controls' own colours.
inline constexpr Colour kLightBlue = rgb(40, 224, 224);
inline constexpr Colour kMidBlue = rgb(25, 153, 153);
inline constexpr Colour kAmber = rgb(255, 176, 64);
inline constexpr Colour kPanelTop = rgb(19, 23, 28);
inline constexpr Colour kPanelBottom = rgb(12, 14, 17);
inline constexpr Colour kBoxFill = rgb(24, 29, 35);
inline constexpr Colour kBoxEdge = rgb(40, 48, 57);
inline constexpr Colour kField = rgb(8, 10, 13);
inline constexpr Colour kFieldEdge = rgb(44, 53, 63);
inline constexpr Colour kScreen = rgb(6, 8, 10);
inline constexpr Colour kScreenEdge = rgb(34, 46, 55);
inline constexpr Colour kLabel = rgb(142, 156, 168);
inline constexpr Colour kInsideLabel = rgb(214, 224, 231);
inline constexpr Colour kCaption = rgb(110, 124, 136);

enum class Align { Left, Centre, Right };

void setColour(cairo_t* cr, const Colour& c);
void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r);
void fillRounded(cairo_t* cr, double x, double y, double w, double h, double r, const Colour& c);
void strokeRounded(cairo_t* cr, double x, double y, double w, double h, double r, const Colour& c,
                   double lineWidth);
void verticalGradient(cairo_t* cr, double x, double y, double w, double h, const Colour& top,
                      const Colour& bottom);

// Sets DejaVu Sans (bold or regular) with grey antialiasing and no hinting,
// so text keeps its proportions at every size.
void selectFont(cairo_t* cr, bool bold);

// Draws text vertically centred in the box {x, y, w, h} with the given
// horizontal alignment; the size shrinks until the text fits the width.
void text(cairo_t* cr, const char* s, double x, double y, double w, double h, double size,
          Align align, bool bold, const Colour& c);

// The width of a text at a size.
double textWidth(cairo_t* cr, const char* s, double size, bool bold);

// Paints the frames of a small bitmap (a design id) at a size as its strip
// holds them, from the origin, in pixels.
void paintBitmapFrames(cairo_t* cr, int designId, int sizeIndex);

// Paints the four screen backgrounds, the logo plate and the page
// backgrounds (artwork_panels.cpp). The context is clean: no scale applied.
void paintPanel(cairo_t* cr, int designId, int sizeIndex);

} // namespace ondix::artwork::paint
