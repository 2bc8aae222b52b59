#include "vstgui/testing.h"

#include <cairo.h>

namespace VSTGUI::Testing {

// liveObjects, the clock and the provider overrides live with the state they
// replace (vstguibase.cpp, cbitmap.cpp, cframe.cpp).

void mouseDown(CFrame* frame, CPoint where, CButtonState buttons) {
    if (frame != nullptr) frame->platformOnMouseDown(where, buttons);
}

void mouseMove(CFrame* frame, CPoint where, CButtonState buttons) {
    if (frame != nullptr) frame->platformOnMouseMoved(where, buttons);
}

void mouseUp(CFrame* frame, CPoint where, CButtonState buttons) {
    if (frame != nullptr) frame->platformOnMouseUp(where, buttons);
}

void click(CFrame* frame, CPoint where, CButtonState buttons) {
    mouseDown(frame, where, buttons);
    mouseUp(frame, where, buttons);
}

void wheel(CFrame* frame, CPoint where, float distance, CButtonState buttons) {
    if (frame != nullptr) frame->platformOnWheel(where, kMouseWheelAxisY, distance, buttons);
}

bool keyDown(CFrame* frame, VstKeyCode key) {
    return frame != nullptr && frame->platformOnKeyDown(key);
}

CColor pixelAt(cairo_surface_t* surface, int x, int y) {
    if (surface == nullptr || cairo_surface_get_type(surface) != CAIRO_SURFACE_TYPE_IMAGE)
        return CColor(0, 0, 0, 0);
    const cairo_format_t format = cairo_image_surface_get_format(surface);
    if (format != CAIRO_FORMAT_ARGB32 && format != CAIRO_FORMAT_RGB24) return CColor(0, 0, 0, 0);
    if (x < 0 || y < 0 || x >= cairo_image_surface_get_width(surface) ||
        y >= cairo_image_surface_get_height(surface))
        return CColor(0, 0, 0, 0);
    cairo_surface_flush(surface);
    const unsigned char* row =
        cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
    const uint32_t pixel = reinterpret_cast<const uint32_t*>(row)[x];
    const uint32_t a = format == CAIRO_FORMAT_RGB24 ? 255 : pixel >> 24;
    // Stored premultiplied; answered straight.
    auto channel = [a](uint32_t c) -> uint8_t {
        if (a == 0) return 0;
        return static_cast<uint8_t>(std::min<uint32_t>(255, (c * 255 + a / 2) / a));
    };
    return CColor(channel((pixel >> 16) & 0xff), channel((pixel >> 8) & 0xff),
                  channel(pixel & 0xff), static_cast<uint8_t>(a));
}

CColor pixelAt(CFrame* frame, int x, int y) {
    return pixelAt(frame != nullptr ? frame->getOffscreenSurface() : nullptr, x, y);
}

static bool writeSurface(cairo_surface_t* surface, const std::string& path) {
    if (surface == nullptr) return false;
    cairo_surface_flush(surface);
    return cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

bool writePng(CFrame* frame, const std::string& path) {
    return frame != nullptr && writeSurface(frame->getOffscreenSurface(), path);
}

bool writePng(CBitmap* bitmap, const std::string& path) {
    return bitmap != nullptr && writeSurface(bitmap->getSurface(), path);
}

} // namespace VSTGUI::Testing
