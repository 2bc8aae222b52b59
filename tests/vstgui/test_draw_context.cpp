// The draw context of the GUI layer, read back pixel by pixel: exact
// coverage of aliased lines and rectangles, clip and origin, alpha, text
// placement, and bitmaps from the bitmap provider.

#include "vstgui/cbitmap.h"
#include "vstgui/cdrawcontext.h"
#include "vstgui/testing.h"

#include <gtest/gtest.h>

#include <cairo.h>

#include <cstdlib>
#include <string>
#include <vector>

using namespace VSTGUI;

namespace {

// A transparent ARGB32 image and a context drawing into it.
struct Canvas {
    Canvas(int width, int height)
        : width(width), height(height),
          surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height)),
          context(new CDrawContext(surface)) {}
    ~Canvas() {
        context->forget();
        cairo_surface_destroy(surface);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    CColor at(int x, int y) const { return Testing::pixelAt(surface, x, y); }
    bool painted(int x, int y) const { return at(x, y).alpha != 0; }

    // The painted pixels, row by row ('#' painted, '.' not).
    std::string picture() const {
        std::string rows;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) rows += painted(x, y) ? '#' : '.';
            rows += '\n';
        }
        return rows;
    }

    int width, height;
    cairo_surface_t* surface;
    CDrawContext* context;
};

bool near(const CColor& a, const CColor& b, int tolerance = 2) {
    return std::abs(a.red - b.red) <= tolerance && std::abs(a.green - b.green) <= tolerance &&
           std::abs(a.blue - b.blue) <= tolerance && std::abs(a.alpha - b.alpha) <= tolerance;
}

// Paints a two-colour image for every resource it is asked for: the left
// half red, the right half blue.
class TwoColourProvider : public IBitmapProvider {
public:
    cairo_surface_t* loadBitmap(const CResourceDescription& desc) override {
        asked.push_back(desc.resourceName());
        if (desc.resourceName() != known) return nullptr;
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 20, 10);
        cairo_t* cr = cairo_create(s);
        cairo_set_source_rgb(cr, 1, 0, 0);
        cairo_rectangle(cr, 0, 0, 10, 10);
        cairo_fill(cr);
        cairo_set_source_rgb(cr, 0, 0, 1);
        cairo_rectangle(cr, 10, 0, 10, 10);
        cairo_fill(cr);
        cairo_destroy(cr);
        return s;
    }
    std::string known = "bmp10000";
    std::vector<std::string> asked;
};

// A provider that knows every resource and paints it green.
class GreenProvider : public IBitmapProvider {
public:
    cairo_surface_t* loadBitmap(const CResourceDescription&) override {
        ++calls;
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 4, 3);
        cairo_t* cr = cairo_create(s);
        cairo_set_source_rgb(cr, 0, 1, 0);
        cairo_paint(cr);
        cairo_destroy(cr);
        return s;
    }
    int calls = 0;
};

} // namespace

// ------------------------------------------------------------------ lines and rectangles

TEST(GuiLayerDrawContext, AliasedOnePixelLinesCoverExactlyOneRowOrColumn) {
    Canvas c(24, 16);
    c.context->setDrawMode(kAliasing);
    c.context->setFrameColor(kWhiteCColor);
    c.context->setLineWidth(1);
    c.context->drawLine(CPoint(2, 5), CPoint(18, 5));
    for (int y = 0; y < c.height; ++y) {
        for (int x = 0; x < c.width; ++x) {
            if (y != 5) {
                ASSERT_FALSE(c.painted(x, y)) << x << "," << y << "\n" << c.picture();
            }
        }
    }
    for (int x = 3; x < 18; ++x) EXPECT_EQ(c.at(x, 5), kWhiteCColor) << x;
    EXPECT_FALSE(c.painted(0, 5));
    EXPECT_FALSE(c.painted(20, 5));

    Canvas v(16, 24);
    v.context->setFrameColor(kWhiteCColor);
    v.context->drawLine(CPoint(7, 2), CPoint(7, 18));
    for (int y = 0; y < v.height; ++y) {
        for (int x = 0; x < v.width; ++x) {
            if (x != 7) {
                ASSERT_FALSE(v.painted(x, y)) << x << "," << y << "\n" << v.picture();
            }
        }
    }
    for (int y = 3; y < 18; ++y) EXPECT_EQ(v.at(7, y), kWhiteCColor) << y;

    // Two pixels wide: exactly two rows, on either side of the coordinate.
    Canvas w(24, 16);
    w.context->setFrameColor(kWhiteCColor);
    w.context->setLineWidth(2);
    w.context->drawLine(CPoint(2, 8), CPoint(18, 8));
    for (int y = 0; y < w.height; ++y)
        EXPECT_EQ(w.painted(10, y), y == 7 || y == 8) << y << "\n" << w.picture();
}

TEST(GuiLayerDrawContext, RectanglesCoverExactlyTheirPixels) {
    const CRect r(3, 4, 11, 9);
    Canvas filled(16, 14);
    filled.context->setFillColor(kGreenCColor);
    filled.context->drawRect(r, kDrawFilled);
    Canvas framed(16, 14);
    framed.context->setFrameColor(kRedCColor);
    framed.context->drawRect(r, kDrawStroke);
    for (int y = 0; y < 14; ++y) {
        for (int x = 0; x < 16; ++x) {
            const bool inside = x >= 3 && x < 11 && y >= 4 && y < 9;
            const bool border = inside && (x == 3 || x == 10 || y == 4 || y == 8);
            ASSERT_EQ(filled.painted(x, y), inside) << x << "," << y << "\n" << filled.picture();
            ASSERT_EQ(framed.painted(x, y), border) << x << "," << y << "\n" << framed.picture();
        }
    }
    EXPECT_EQ(filled.at(5, 6), kGreenCColor);
    EXPECT_EQ(framed.at(3, 6), kRedCColor);

    // A point is one pixel.
    Canvas dot(8, 8);
    dot.context->drawPoint(CPoint(5, 2), kBlueCColor);
    EXPECT_EQ(dot.picture(), "........\n"
                             "........\n"
                             ".....#..\n"
                             "........\n"
                             "........\n"
                             "........\n"
                             "........\n"
                             "........\n");
}

TEST(GuiLayerDrawContext, OffsetClipAndSavedStateCompose) {
    Canvas c(20, 20);
    CDrawContext* ctx = c.context;
    ctx->setFillColor(kWhiteCColor);
    ctx->saveGlobalState();
    ctx->pushOffset(CPoint(5, 6));
    ctx->setClipRect(CRect(0, 0, 3, 2));
    CRect clip;
    EXPECT_EQ(ctx->getClipRect(clip), CRect(0, 0, 3, 2));
    ctx->setFillColor(kRedCColor);
    ctx->drawRect(CRect(-10, -10, 30, 30), kDrawFilled);
    ctx->restoreGlobalState();
    EXPECT_EQ(ctx->getOffset(), CPoint(0, 0));
    EXPECT_EQ(ctx->getFillColor(), kWhiteCColor);
    EXPECT_EQ(ctx->getClipRect(clip), CRect(0, 0, 20, 20));
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            ASSERT_EQ(c.painted(x, y), x >= 5 && x < 8 && y >= 6 && y < 8) << x << "," << y << "\n"
                                                                           << c.picture();

    // Clearing makes pixels transparent again.
    ctx->clearRect(CRect(5, 6, 6, 7));
    EXPECT_FALSE(c.painted(5, 6));
    EXPECT_TRUE(c.painted(6, 6));
}

TEST(GuiLayerDrawContext, ColourAlphaAndGlobalAlphaMultiply) {
    Canvas c(10, 10);
    c.context->setFillColor(CColor(255, 0, 0, 128));
    c.context->drawRect(CRect(0, 0, 5, 5), kDrawFilled);
    EXPECT_TRUE(near(c.at(2, 2), CColor(255, 0, 0, 128))) << int(c.at(2, 2).alpha);

    c.context->setGlobalAlpha(0.5f);
    c.context->setFillColor(CColor(0, 0, 255, 255));
    c.context->drawRect(CRect(5, 5, 10, 10), kDrawFilled);
    EXPECT_TRUE(near(c.at(7, 7), CColor(0, 0, 255, 128))) << int(c.at(7, 7).alpha);
}

// ------------------------------------------------------------------ text

TEST(GuiLayerDrawContext, TextLandsInsideItsRectAndFollowsTheAlignment) {
    // Light pixels: the bounding box of what a string painted.
    auto litBox = [](const Canvas& c) {
        CRect box(1e9, 1e9, -1e9, -1e9);
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x)
                if (c.at(x, y).alpha > 100) {
                    box.left = std::min<CCoord>(box.left, x);
                    box.top = std::min<CCoord>(box.top, y);
                    box.right = std::max<CCoord>(box.right, x + 1);
                    box.bottom = std::max<CCoord>(box.bottom, y + 1);
                }
        return box;
    };
    const CRect rect(40, 5, 160, 35);
    CRect boxes[3];
    CCoord width = 0;
    for (CHoriTxtAlign align : {kLeftText, kCenterText, kRightText}) {
        Canvas c(200, 40);
        c.context->setFont(kNormalFont);
        c.context->setFontColor(kWhiteCColor);
        c.context->drawString("Hello", rect, align);
        width = c.context->getStringWidth("Hello");
        const CRect box = litBox(c);
        ASSERT_FALSE(box.isEmpty()) << "nothing drawn";
        EXPECT_GE(box.left, rect.left);
        EXPECT_LE(box.right, rect.right);
        EXPECT_GE(box.top, rect.top);
        EXPECT_LE(box.bottom, rect.bottom);
        // Vertically centred within a pixel or two.
        EXPECT_NEAR((box.top + box.bottom) / 2, rect.getCenter().y, 3);
        boxes[align] = box;
    }
    EXPECT_GT(width, 20);
    EXPECT_LT(width, 40);
    EXPECT_NEAR(boxes[kLeftText].left, rect.left, 2);
    EXPECT_NEAR(boxes[kRightText].right, rect.right, 2);
    EXPECT_NEAR((boxes[kCenterText].left + boxes[kCenterText].right) / 2, rect.getCenter().x, 2);
    EXPECT_NEAR(boxes[kLeftText].getWidth(), width, 3);

    // The font size is in pixels, and every family measures the same.
    Canvas c(10, 10);
    c.context->setFont(kNormalFont, 24);
    const CCoord big = c.context->getStringWidth("Hello");
    // Hinting rounds each glyph's advance, so the double size is only about
    // twice as wide.
    EXPECT_GT(big, 1.8 * width);
    EXPECT_LT(big, 2.2 * width);
    CFontDesc verdana("Verdana", 12);
    c.context->setFont(&verdana);
    EXPECT_DOUBLE_EQ(c.context->getStringWidth("Hello"), width);
    c.context->setFont(&verdana, 0, kBoldFace);
    EXPECT_GT(c.context->getStringWidth("Hello"), width);
}

// ------------------------------------------------------------------ bitmaps

TEST(GuiLayerBitmap, ResourceNamesAndProviders) {
    EXPECT_EQ(CResourceDescription(10000).resourceName(), "bmp10000");
    EXPECT_EQ(CResourceDescription(42).resourceName(), "bmp00042");
    EXPECT_EQ(CResourceDescription("knob").resourceName(), "knob");

    IBitmapProvider* const previous = getBitmapProvider();
    setBitmapProvider(nullptr);
    {
        CBitmap* none = new CBitmap(CResourceDescription(10000));
        EXPECT_FALSE(none->isLoaded());
        EXPECT_EQ(none->getSize(), CPoint(0, 0));
        none->forget();
    }
    TwoColourProvider test;
    GreenProvider process;
    setBitmapProvider(&process);
    Testing::setBitmapProviderOverride(&test);
    {
        CBitmap* fromOverride = new CBitmap(CResourceDescription(10000));
        EXPECT_EQ(fromOverride->getSize(), CPoint(20, 10));
        EXPECT_EQ(process.calls, 0);
        // Unknown to the override: the process's provider is asked next.
        CBitmap* fallback = new CBitmap(CResourceDescription(10001));
        EXPECT_EQ(fallback->getSize(), CPoint(4, 3));
        EXPECT_EQ(process.calls, 1);
        EXPECT_EQ(test.asked, (std::vector<std::string>{"bmp10000", "bmp10001"}));
        fromOverride->forget();
        fallback->forget();
    }
    Testing::setBitmapProviderOverride(nullptr);
    setBitmapProvider(previous);

    CBitmap* blank = new CBitmap(7, 5);
    EXPECT_EQ(blank->getSize(), CPoint(7, 5));
    EXPECT_EQ(Testing::pixelAt(blank->getSurface(), 3, 3).alpha, 0);
    blank->forget();
}

TEST(GuiLayerBitmap, SourceOffsetSelectsThePartDrawn) {
    TwoColourProvider provider;
    Testing::setBitmapProviderOverride(&provider);
    CBitmap* bitmap = new CBitmap(CResourceDescription(10000));
    Testing::setBitmapProviderOverride(nullptr);
    ASSERT_TRUE(bitmap->isLoaded());

    Canvas c(30, 20);
    // The right half only, at the canvas's top-left corner.
    bitmap->draw(c.context, CRect(0, 0, 10, 10), CPoint(10, 0));
    EXPECT_EQ(c.at(0, 0), kBlueCColor);
    EXPECT_EQ(c.at(9, 9), kBlueCColor);
    EXPECT_FALSE(c.painted(10, 0));
    EXPECT_FALSE(c.painted(0, 10));

    // Across the colour edge: columns 5..9 of the image at x 15..19.
    c.context->drawBitmap(bitmap, CRect(10, 10, 20, 20), CPoint(5, 0));
    for (int x = 10; x < 20; ++x) EXPECT_EQ(c.at(x, 12), x < 15 ? kRedCColor : kBlueCColor) << x;
    EXPECT_FALSE(c.painted(20, 12));

    // Half transparent.
    Canvas faint(10, 10);
    faint.context->drawBitmap(bitmap, CRect(0, 0, 10, 10), CPoint(0, 0), 0.5f);
    EXPECT_TRUE(near(faint.at(4, 4), CColor(255, 0, 0, 128))) << int(faint.at(4, 4).alpha);
    bitmap->forget();
}
