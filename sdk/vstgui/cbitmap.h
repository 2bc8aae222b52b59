// Bitmaps: images addressed by a resource id or name, drawn from a cairo
// image surface. Where the pixels come from is the business of the bitmap
// provider: the plug-in installs one that paints its own artwork; without a
// provider (or for an id it does not know) the bitmap exists with no image,
// has size 0 x 0 and draws nothing.
//
// A numeric id n names the resource "bmp%05d" (bmp10000 for 10000).
#pragma once

#include "vstgui/vstguibase.h"

typedef struct _cairo_surface cairo_surface_t;

namespace VSTGUI {

class CDrawContext;

class CResourceDescription {
public:
    enum Type { kIntegerType, kStringType, kUnknownType };

    CResourceDescription() = default;
    CResourceDescription(int32_t id) : type(kIntegerType), id(id) {}
    CResourceDescription(UTF8StringPtr name) : type(kStringType), name(name ? name : "") {}

    Type type = kUnknownType;
    int32_t id = 0;
    UTF8String name;

    // "bmp%05d" for an integer id, the name itself otherwise.
    UTF8String resourceName() const;
};

// Supplies the pixels of a resource: a new ARGB32 image surface reference
// (the caller destroys it) or nullptr when it does not know the resource.
class IBitmapProvider {
public:
    virtual ~IBitmapProvider() = default;
    virtual cairo_surface_t* loadBitmap(const CResourceDescription& desc) = 0;
};

// The process's provider (none at first). A test override, when set, is
// asked first (see testing.h).
void setBitmapProvider(IBitmapProvider* provider);
IBitmapProvider* getBitmapProvider();

class CBitmap : public CBaseObject {
public:
    explicit CBitmap(const CResourceDescription& desc);
    // An empty (transparent) image of the given size.
    CBitmap(CCoord width, CCoord height);
    ~CBitmap() override;

    CCoord getWidth() const;
    CCoord getHeight() const;
    CPoint getSize() const { return {getWidth(), getHeight()}; }
    const CResourceDescription& getResourceDescription() const { return description; }
    bool isLoaded() const { return surface != nullptr; }

    // Draws the part of the image that starts at offset into rect (no
    // scaling), with the given opacity. The image's own alpha lets what lies
    // beneath show through.
    virtual void draw(CDrawContext* context, const CRect& rect, const CPoint& offset = CPoint(0, 0),
                      float alpha = 1.0f);
    // The same part as an opaque picture: where the image is transparent the
    // rect turns black. For the controls whose transparency flag is off.
    void drawOpaque(CDrawContext* context, const CRect& rect, const CPoint& offset = CPoint(0, 0),
                    float alpha = 1.0f);

    // The image (owned by the bitmap; nullptr when it has none).
    cairo_surface_t* getSurface() const { return surface; }

private:
    CResourceDescription description;
    cairo_surface_t* surface = nullptr;
};

} // namespace VSTGUI
