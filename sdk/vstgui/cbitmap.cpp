#include "vstgui/cbitmap.h"

#include "vstgui/cdrawcontext.h"
#include "vstgui/testing.h"

#include <cairo.h>

#include <cstdio>

namespace VSTGUI {

namespace {

IBitmapProvider* processProvider = nullptr;
IBitmapProvider* overrideProvider = nullptr;

// A usable surface or nullptr; a surface in an error state is released.
cairo_surface_t* checked(cairo_surface_t* surface) {
    if (surface == nullptr) return nullptr;
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    return surface;
}

cairo_surface_t* loadFromProviders(const CResourceDescription& desc) {
    if (overrideProvider != nullptr) {
        if (cairo_surface_t* surface = checked(overrideProvider->loadBitmap(desc))) return surface;
    }
    if (processProvider != nullptr) return checked(processProvider->loadBitmap(desc));
    return nullptr;
}

} // namespace

UTF8String CResourceDescription::resourceName() const {
    if (type == kIntegerType) {
        char text[32];
        std::snprintf(text, sizeof(text), "bmp%05d", static_cast<int>(id));
        return text;
    }
    return name;
}

void setBitmapProvider(IBitmapProvider* provider) {
    processProvider = provider;
}

IBitmapProvider* getBitmapProvider() {
    return processProvider;
}

namespace Testing {

void setBitmapProviderOverride(IBitmapProvider* provider) {
    overrideProvider = provider;
}

} // namespace Testing

CBitmap::CBitmap(const CResourceDescription& desc)
    : description(desc), surface(loadFromProviders(desc)) {}

CBitmap::CBitmap(CCoord width, CCoord height) {
    const int w = std::max(0, static_cast<int>(width));
    const int h = std::max(0, static_cast<int>(height));
    surface = checked(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h));
}

CBitmap::~CBitmap() {
    if (surface != nullptr) cairo_surface_destroy(surface);
}

CCoord CBitmap::getWidth() const {
    if (surface == nullptr || cairo_surface_get_type(surface) != CAIRO_SURFACE_TYPE_IMAGE) return 0;
    return cairo_image_surface_get_width(surface);
}

CCoord CBitmap::getHeight() const {
    if (surface == nullptr || cairo_surface_get_type(surface) != CAIRO_SURFACE_TYPE_IMAGE) return 0;
    return cairo_image_surface_get_height(surface);
}

void CBitmap::draw(CDrawContext* context, const CRect& rect, const CPoint& offset, float alpha) {
    if (context != nullptr) context->drawBitmap(this, rect, offset, alpha);
}

void CBitmap::drawOpaque(CDrawContext* context, const CRect& rect, const CPoint& offset,
                         float alpha) {
    if (context != nullptr) context->drawBitmapOpaque(this, rect, offset, alpha);
}

} // namespace VSTGUI
