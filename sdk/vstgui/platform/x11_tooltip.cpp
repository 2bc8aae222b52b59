#include "vstgui/platform/x11_tooltip.h"
#include "vstgui/cfont.h"
#include "vstgui/platform/x11_display.h"
#include "vstgui/platform/x11_popup.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cairo-xlib.h>
#include <cairo.h>

#include <algorithm>
#include <cmath>

namespace VSTGUI::X11 {

CPoint placeTooltip(const CPoint& pointer, int w, int h, int gap, int screenW, int screenH) {
    const int px = static_cast<int>(pointer.x);
    const int py = static_cast<int>(pointer.y);
    const int x = std::max(0, std::min(px, screenW - w));
    int y = py + gap;
    if (y + h > screenH) y = py - h - std::max(2, gap / 5);
    return CPoint(x, std::max(0, y));
}

CPoint tooltipSize(double textWidth, double textHeight, double fontSize) {
    const int padX = static_cast<int>(std::lround(fontSize * 0.5)) + 2;
    const int padY = static_cast<int>(std::lround(fontSize * 0.25)) + 2;
    return CPoint(static_cast<int>(std::ceil(textWidth)) + 2 * padX,
                  static_cast<int>(std::ceil(textHeight)) + 2 * padY);
}

int tooltipGap(double fontSize) {
    // Clear of the pointer's arrow, which grows with the screen's scale too.
    return std::max(20, static_cast<int>(std::lround(fontSize * 1.5)));
}

namespace {

constexpr uint32_t kBackground = 0x2b2d31;
constexpr uint32_t kBorder = 0x5a5e66;
constexpr uint32_t kText = 0xe6e6e6;

void setRgb(cairo_t* cr, uint32_t rgb) {
    cairo_set_source_rgb(cr, ((rgb >> 16) & 0xff) / 255.0, ((rgb >> 8) & 0xff) / 255.0,
                         (rgb & 0xff) / 255.0);
}

void setFont(cairo_t* cr, double size, int32_t style) {
    cairo_set_font_face(cr, getCairoFontFace(style));
    cairo_set_font_size(cr, size);
}

} // namespace

TooltipWindow::TooltipWindow(Display* display, unsigned long frameWindow)
    : display(display), frameWindow(frameWindow) {}

TooltipWindow::~TooltipWindow() {
    destroy();
}

void TooltipWindow::destroy() {
    if (!window) return;
    ErrorTrap trap(display);
    XDestroyWindow(display, window);
    XFlush(display);
    window = 0;
    shown = false;
}

bool TooltipWindow::makeWindow() {
    if (window) return true;
    ErrorTrap trap(display);
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, frameWindow, &attributes) || trap.failed()) return false;
    Screen* s = attributes.screen;
    screen = XScreenNumberOfScreen(s);
    root = RootWindowOfScreen(s);
    screenW = WidthOfScreen(s);
    screenH = HeightOfScreen(s);
    XSetWindowAttributes set{};
    set.override_redirect = True;
    set.save_under = True;
    set.background_pixel = BlackPixelOfScreen(s);
    set.border_pixel = 0;
    set.colormap = DefaultColormapOfScreen(s);
    set.event_mask = NoEventMask;
    window = XCreateWindow(display, root, 0, 0, 1, 1, 0, DefaultDepthOfScreen(s), InputOutput,
                           DefaultVisualOfScreen(s),
                           CWOverrideRedirect | CWSaveUnder | CWBackPixel | CWBorderPixel |
                               CWColormap | CWEventMask,
                           &set);
    if (trap.failed()) {
        window = 0;
        return false;
    }
    Atom type = XInternAtom(display, "_NET_WM_WINDOW_TYPE", False);
    Atom tooltip = XInternAtom(display, "_NET_WM_WINDOW_TYPE_TOOLTIP", False);
    XChangeProperty(display, window, type, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&tooltip), 1);
    return true;
}

void TooltipWindow::show(const CPoint& where, const std::string& text, double fontSize,
                         int32_t fontStyle) {
    if (!makeWindow()) return;
    const std::string shownText = menuText(text);

    // Measured and drawn off screen: glyphs never go through the server.
    cairo_surface_t* measureSurface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
    cairo_t* measure = cairo_create(measureSurface);
    setFont(measure, fontSize, fontStyle);
    cairo_font_extents_t font;
    cairo_font_extents(measure, &font);
    cairo_text_extents_t extents;
    cairo_text_extents(measure, shownText.c_str(), &extents);
    cairo_destroy(measure);
    cairo_surface_destroy(measureSurface);

    const CPoint size = tooltipSize(extents.x_advance, font.ascent + font.descent, fontSize);
    const int w = static_cast<int>(size.x);
    const int h = static_cast<int>(size.y);
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    cairo_t* cr = cairo_create(image);
    setRgb(cr, kBackground);
    cairo_paint(cr);
    setRgb(cr, kBorder);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, 0.5, 0.5, w - 1, h - 1);
    cairo_stroke(cr);
    setRgb(cr, kText);
    setFont(cr, fontSize, fontStyle);
    const double baseline = std::round((h + font.ascent - font.descent) / 2);
    cairo_move_to(cr, std::round((w - extents.x_advance) / 2), baseline);
    cairo_show_text(cr, shownText.c_str());
    cairo_destroy(cr);
    cairo_surface_flush(image);

    ErrorTrap trap(display);
    int rootX = 0, rootY = 0;
    Window child = 0;
    if (!XTranslateCoordinates(display, frameWindow, root, static_cast<int>(where.x),
                               static_cast<int>(where.y), &rootX, &rootY, &child) ||
        trap.failed()) {
        cairo_surface_destroy(image);
        hide();
        return;
    }
    const CPoint at =
        placeTooltip(CPoint(rootX, rootY), w, h, tooltipGap(fontSize), screenW, screenH);

    // The picture becomes the window's background: the server keeps it
    // and repaints exposures from it.
    Pixmap pixmap =
        XCreatePixmap(display, window, static_cast<unsigned>(w), static_cast<unsigned>(h),
                      static_cast<unsigned>(DefaultDepth(display, screen)));
    cairo_surface_t* target =
        cairo_xlib_surface_create(display, pixmap, DefaultVisual(display, screen), w, h);
    cr = cairo_create(target);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, image, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(target);
    cairo_surface_destroy(target);
    cairo_surface_destroy(image);
    XSetWindowBackgroundPixmap(display, window, pixmap);
    XFreePixmap(display, pixmap);
    XMoveResizeWindow(display, window, static_cast<int>(at.x), static_cast<int>(at.y),
                      static_cast<unsigned>(w), static_cast<unsigned>(h));
    XClearWindow(display, window);
    if (shown)
        XRaiseWindow(display, window);
    else
        XMapRaised(display, window);
    XFlush(display);
    shown = !trap.failed();
}

void TooltipWindow::hide() {
    if (!window || !shown) return;
    ErrorTrap trap(display);
    XUnmapWindow(display, window);
    XFlush(display);
    shown = false;
}

} // namespace VSTGUI::X11
