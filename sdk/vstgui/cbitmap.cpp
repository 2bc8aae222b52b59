#include "vstgui/cbitmap.h"

#include "vstgui/cdrawcontext.h"
#include "vstgui/testing.h"

#include <cairo.h>

#include <atomic>
#include <cstdio>

namespace VSTGUI {

namespace {

// Read by every bitmap made on any thread; instances (and their editors) may
// be created on several threads at once.
std::atomic<IBitmapProvider*> processProvider{nullptr};
std::atomic<IBitmapProvider*> overrideProvider{nullptr};

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
    if (IBitmapProvider* provider = overrideProvider.load(std::memory_order_acquire)) {
        if (cairo_surface_t* surface = checked(provider->loadBitmap(desc))) return surface;
    }
    if (IBitmapProvider* provider = processProvider.load(std::memory_order_acquire))
        return checked(provider->loadBitmap(desc));
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
    processProvider.store(provider, std::memory_order_release);
}

IBitmapProvider* getBitmapProvider() {
    return processProvider.load(std::memory_order_acquire);
}

namespace Testing {

void setBitmapProviderOverride(IBitmapProvider* provider) {
    overrideProvider.store(provider, std::memory_order_release);
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
