// The editor's artwork: bitmap sizes at the four GUI sizes, rendering,
// film strips, switch faces, the cache, the layout table the backgrounds are
// painted from, and the PNG tool.

#include "editor/artwork.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace ondix::artwork;

namespace {

struct SurfaceDeleter {
    void operator()(cairo_surface_t* s) const {
        if (s) cairo_surface_destroy(s);
    }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;

Surface render(int resourceId) {
    return Surface(renderBitmap(resourceId));
}

struct Pixel {
    int a, r, g, b; // premultiplied, 0..255
};

Pixel pixelAt(cairo_surface_t* s, int x, int y) {
    const unsigned char* data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    std::uint32_t p;
    std::memcpy(&p, data + static_cast<std::ptrdiff_t>(y) * stride + 4 * x, 4);
    return {static_cast<int>(p >> 24), static_cast<int>((p >> 16) & 255),
            static_cast<int>((p >> 8) & 255), static_cast<int>(p & 255)};
}

// The rows [top, top + height) of a surface, as bytes (the frame of a strip).
std::vector<unsigned char> rows(cairo_surface_t* s, int top, int height) {
    const unsigned char* data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    const int width = cairo_image_surface_get_width(s);
    std::vector<unsigned char> out;
    out.reserve(static_cast<std::size_t>(width) * 4 * height);
    for (int y = top; y < top + height; ++y) {
        const unsigned char* row = data + static_cast<std::ptrdiff_t>(y) * stride;
        out.insert(out.end(), row, row + 4 * width);
    }
    return out;
}

bool samePixels(cairo_surface_t* a, cairo_surface_t* b) {
    if (cairo_image_surface_get_width(a) != cairo_image_surface_get_width(b) ||
        cairo_image_surface_get_height(a) != cairo_image_surface_get_height(b))
        return false;
    return rows(a, 0, cairo_image_surface_get_height(a)) ==
           rows(b, 0, cairo_image_surface_get_height(b));
}

// Pixels close to the accent colour (40, 224, 224) in an area of a surface.
int accentPixels(cairo_surface_t* s, int x0, int y0, int w, int h) {
    int count = 0;
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x) {
            const Pixel p = pixelAt(s, x, y);
            if (p.a > 200 && p.r < 110 && p.g > 170 && p.b > 170) ++count;
        }
    return count;
}

// Pixels of a frame with some alpha.
int coveredPixels(cairo_surface_t* s, int top, int width, int height, int minAlpha = 40) {
    int count = 0;
    for (int y = top; y < top + height; ++y)
        for (int x = 0; x < width; ++x)
            if (pixelAt(s, x, y).a >= minAlpha) ++count;
    return count;
}

double luminance(const Pixel& p) {
    return (0.2126 * p.r + 0.7152 * p.g + 0.0722 * p.b) / 255.0;
}

constexpr int kTwoFrameIds[] = {10050, 10051, 10052, 10053, 10055, 10066, 10070,
                                10071, 10056, 10057, 10058, 10077, 10079, 10080,
                                10060, 10061, 10062, 10063, 10064, 10065};

bool intersects(double ax, double ay, double aw, double ah, double bx, double by, double bw,
                double bh) {
    return ax < bx + bw && bx < ax + aw && ay < by + bh && by < ay + ah;
}

} // namespace

// ------------------------------------------------------------------ sizes

TEST(ArtworkSizes, DesignIdsInCreationOrder) {
    const std::array<int, 47> expected = {
        10000, 10001, 10002, 10003, 10026, 10027, 10004, 10050, 10051, 10052, 10053, 10054,
        10055, 10070, 10071, 10066, 10024, 10025, 10058, 10056, 10057, 10077, 10030, 10031,
        10032, 10033, 10034, 10035, 10040, 10041, 10072, 10074, 10073, 10020, 10021, 10022,
        10023, 10075, 10076, 10060, 10061, 10062, 10063, 10064, 10065, 10079, 10080};
    EXPECT_EQ(designIds(), expected);
    const std::set<int> distinct(expected.begin(), expected.end());
    EXPECT_EQ(distinct.size(), 47u);
}

TEST(ArtworkSizes, ScreenBackgroundsAtEverySize) {
    const BitmapSize expected[4] = {{1132, 779}, {1415, 973}, {1698, 1168}, {2264, 1558}};
    for (int id : {10000, 10001, 10002, 10003}) {
        for (int s = 0; s < 4; ++s) {
            const BitmapSize b = bitmapSize(id, s);
            EXPECT_EQ(b.width, expected[s].width) << id << " size " << s;
            EXPECT_EQ(b.height, expected[s].height) << id << " size " << s;
        }
    }
}

TEST(ArtworkSizes, UnisonFacesAndTruncatedScaling) {
    for (int id : {10075, 10076}) {
        EXPECT_EQ(bitmapSize(id, 0).width, 36);
        EXPECT_EQ(bitmapSize(id, 0).height, 9);
        EXPECT_EQ(bitmapSize(id, 1).width, 45);
        EXPECT_EQ(bitmapSize(id, 1).height, 11); // 11.25 truncated
        EXPECT_EQ(bitmapSize(id, 2).height, 13); // 13.5 truncated
        EXPECT_EQ(bitmapSize(id, 3).width, 72);
        EXPECT_EQ(bitmapSize(id, 3).height, 18);
    }
    EXPECT_EQ(scaled(24, 2), 36);
    EXPECT_EQ(scaled(779, 1), 973);
    EXPECT_EQ(scaled(7, 0), 7);
}

TEST(ArtworkSizes, MorphSliderFollowsItsOwnTable) {
    const int widths[4] = {21, 27, 32, 42};
    const int heights[4] = {251, 313, 376, 502};
    EXPECT_EQ(frameCount(10040), 232);
    for (int s = 0; s < 4; ++s) {
        const BitmapSize window = frameSize(10040, s);
        EXPECT_EQ(window.width, widths[s]);
        EXPECT_EQ(window.height, heights[s]);
        // Position k is the window k * width down the strip; the last one
        // ends exactly at the bottom.
        const BitmapSize strip = bitmapSize(10040, s);
        EXPECT_EQ(strip.width, widths[s]);
        EXPECT_EQ(strip.height, 231 * widths[s] + heights[s]);
        EXPECT_LT(strip.height, 32768); // an image surface's limit
    }
}

TEST(ArtworkSizes, FilmStripsStackTheirFrames) {
    for (int id : {10030, 10031, 10032, 10033, 10034, 10035}) EXPECT_EQ(frameCount(id), 149);
    EXPECT_EQ(frameCount(10041), 61);
    for (int id : {10030, 10031, 10032, 10033, 10034, 10035, 10041}) {
        for (int s = 0; s < 4; ++s) {
            const BitmapSize frame = frameSize(id, s);
            const BitmapSize strip = bitmapSize(id, s);
            EXPECT_EQ(strip.width, frame.width) << id;
            EXPECT_EQ(strip.height, frame.height * frameCount(id)) << id << " size " << s;
        }
    }
    // A knob's modulation ring matches its pointer strip frame for frame.
    for (int s = 0; s < 4; ++s) {
        EXPECT_EQ(bitmapSize(10030, s).width, bitmapSize(10034, s).width);
        EXPECT_EQ(bitmapSize(10031, s).height, bitmapSize(10034, s).height);
        EXPECT_EQ(bitmapSize(10032, s).width, bitmapSize(10035, s).width);
        EXPECT_EQ(bitmapSize(10033, s).height, bitmapSize(10035, s).height);
    }
}

TEST(ArtworkSizes, TwoFrameBitmapsSplitEvenly) {
    for (int id : kTwoFrameIds) {
        EXPECT_EQ(frameCount(id), 2) << id;
        for (int s = 0; s < 4; ++s) {
            const BitmapSize b = bitmapSize(id, s);
            EXPECT_EQ(b.height % 2, 0) << id << " size " << s;
            EXPECT_EQ(b.height / 2, frameSize(id, s).height) << id;
        }
    }
}

TEST(ArtworkSizes, UnknownIdsAndSizesAreEmpty) {
    for (int id : {0, 9999, 10005, 10028, 10078, 10081, 11000, -10000}) {
        EXPECT_EQ(bitmapSize(id, 0).width, 0) << id;
        EXPECT_EQ(bitmapSize(id, 0).height, 0) << id;
        EXPECT_EQ(frameCount(id), 0) << id;
    }
    for (int size : {-1, 4, 1000}) {
        EXPECT_EQ(bitmapSize(10000, size).width, 0);
        EXPECT_EQ(bitmapSize(10050, size).height, 0);
    }
}

TEST(ArtworkSizes, ResourceIdsSplitIntoDesignIdAndSize) {
    int id = 0, size = 0;
    ASSERT_TRUE(splitResourceId(13050, id, size));
    EXPECT_EQ(id, 10050);
    EXPECT_EQ(size, 3);
    ASSERT_TRUE(splitResourceId(11000, id, size));
    EXPECT_EQ(id, 10000);
    EXPECT_EQ(size, 1);
    for (int bad : {9999, 10005, 14000, 12078, -1, 0}) EXPECT_FALSE(splitResourceId(bad, id, size));
}

// ------------------------------------------------------------------ layout

TEST(ArtworkLayout, SubPagesHoldTheirControls) {
    for (const auto& p : controlPlaces()) {
        if (p.page == 0) continue;
        for (int s = 0; s < 4; ++s) {
            const BitmapSize page = bitmapSize(p.page, s);
            int w = scaled(p.width, s), h = scaled(p.height, s);
            if (p.kind == PlaceKind::Knob) {
                w = frameSize(p.bitmap, s).width;
                h = frameSize(p.bitmap, s).height;
            }
            EXPECT_LE(scaled(p.x, s) + w, page.width) << "tag " << p.tag << " page " << p.page;
            EXPECT_LE(scaled(p.y, s) + h, page.height) << "tag " << p.tag << " page " << p.page;
        }
    }
}

TEST(ArtworkLayout, ControlsSizedByTheirBitmaps) {
    for (const auto& p : controlPlaces()) {
        if (p.kind == PlaceKind::Knob) {
            EXPECT_EQ(p.bitmap, p.knobType < 2 ? 10034 : 10035) << p.tag;
            EXPECT_EQ(p.width, frameSize(p.bitmap, 0).width) << p.tag;
            EXPECT_EQ(p.height, frameSize(p.bitmap, 0).height) << p.tag;
        }
        if (p.kind == PlaceKind::Switch || p.kind == PlaceKind::Kick ||
            p.kind == PlaceKind::Radio) {
            EXPECT_EQ(p.width, frameSize(p.bitmap, 0).width) << p.label;
            EXPECT_EQ(p.height, frameSize(p.bitmap, 0).height) << p.label;
        }
    }
}

// No two controls shown together overlap, and none sits under a sub-page.
TEST(ArtworkLayout, ControlsDoNotOverlap) {
    struct Page {
        int id, x, y;
    };
    const Page pages[] = {{10020, 582, 266},
                          {10022, 855, 348},
                          {10024, 24, 454},
                          {10025, 24, 547},
                          {10026, 849, 541}};
    std::vector<const ControlPlace*> placed;
    for (const auto& p : controlPlaces())
        if (p.kind != PlaceKind::Title) placed.push_back(&p);
    for (std::size_t i = 0; i < placed.size(); ++i) {
        const auto& a = *placed[i];
        for (std::size_t j = i + 1; j < placed.size(); ++j) {
            const auto& b = *placed[j];
            if (a.page != b.page) continue;
            if (a.page == 0 && !(a.screens & b.screens)) continue;
            EXPECT_FALSE(intersects(a.x, a.y, a.width, a.height, b.x, b.y, b.width, b.height))
                << (a.label ? a.label : "?") << " (tag " << a.tag << ") and "
                << (b.label ? b.label : "?") << " (tag " << b.tag << ")";
        }
        if (a.page != 0 || !(a.screens & kMainScreen)) continue;
        for (const Page& page : pages) {
            const BitmapSize size = bitmapSize(page.id, 0);
            EXPECT_FALSE(
                intersects(a.x, a.y, a.width, a.height, page.x, page.y, size.width, size.height))
                << (a.label ? a.label : "?") << " under page " << page.id;
        }
    }
}

TEST(ArtworkLayout, FrameControlsStayOnScreen) {
    for (const auto& p : controlPlaces()) {
        if (p.page != 0) continue;
        EXPECT_GE(p.x, 0);
        EXPECT_GE(p.y, 0);
        EXPECT_LE(p.x + p.width, 1132) << p.tag;
        EXPECT_LE(p.y + p.height, 779) << p.tag;
    }
}

TEST(ArtworkLayout, FixedPositionsAreKept) {
    auto find = [](int tag, PlaceKind kind, int page = 0) -> const ControlPlace* {
        for (const auto& p : controlPlaces())
            if (p.tag == tag && p.kind == kind && p.page == page) return &p;
        return nullptr;
    };
    const auto* playMode = find(243, PlaceKind::Menu);
    ASSERT_NE(playMode, nullptr);
    EXPECT_EQ(playMode->x, 857);
    EXPECT_EQ(playMode->y, 128);
    const auto* morph = find(16, PlaceKind::Slider);
    ASSERT_NE(morph, nullptr);
    EXPECT_EQ(morph->bitmap, 10040);
    EXPECT_EQ(morph->width, 21);
    EXPECT_EQ(morph->height, 251);
    const auto* invert = find(29, PlaceKind::Switch);
    ASSERT_NE(invert, nullptr);
    EXPECT_EQ(invert->x, 748);
    EXPECT_EQ(invert->y, 233);
    EXPECT_EQ(invert->bitmap, 10055);
    const auto* lfoSync = find(64, PlaceKind::Switch, 10024);
    ASSERT_NE(lfoSync, nullptr);
    EXPECT_EQ(lfoSync->x, 233);
    EXPECT_EQ(lfoSync->y, 21);
}

// The back screen's tips name, as section titles to click, exactly the
// titles that carry a menu button.
TEST(ArtworkLayout, TipsNameTheTitlesThatOpenAMenu) {
    std::set<std::string> titles;
    for (const auto& p : controlPlaces())
        if (p.kind == PlaceKind::Title) titles.insert(p.label);
    std::set<std::string> named;
    bool aboutTitles = false;
    for (const char* tip : backScreenTips()) {
        const std::string text = tip;
        aboutTitles = aboutTitles || text.find("title") != std::string::npos;
        // Words in capitals of three letters or more.
        for (std::size_t i = 0; i < text.size();) {
            std::size_t j = i;
            while (j < text.size() && text[j] >= 'A' && text[j] <= 'Z') ++j;
            if (j - i >= 3) named.insert(text.substr(i, j - i));
            i = j + 1;
        }
    }
    EXPECT_TRUE(aboutTitles);
    EXPECT_EQ(named, titles);
}

// ------------------------------------------------------------------ rendering

TEST(ArtworkRender, EveryBitmapAtEverySizeHasItsSize) {
    for (int s = 0; s < 4; ++s) {
        for (int id : designIds()) {
            Surface surface = render(id + 1000 * s);
            ASSERT_TRUE(surface) << id << " size " << s;
            ASSERT_EQ(cairo_surface_status(surface.get()), CAIRO_STATUS_SUCCESS);
            EXPECT_EQ(cairo_image_surface_get_format(surface.get()), CAIRO_FORMAT_ARGB32);
            const BitmapSize expected = bitmapSize(id, s);
            EXPECT_EQ(cairo_image_surface_get_width(surface.get()), expected.width) << id;
            EXPECT_EQ(cairo_image_surface_get_height(surface.get()), expected.height) << id;
            // Something is painted in the first frame.
            const BitmapSize frame = frameSize(id, s);
            EXPECT_GT(coveredPixels(surface.get(), 0, frame.width, frame.height, 1), 0)
                << id << " size " << s;
        }
    }
}

TEST(ArtworkRender, SamePixelsOnEveryCall) {
    for (int resource : {10000, 11003, 12024, 10034, 13031, 10040, 11050, 12072, 10073}) {
        Surface a = render(resource);
        Surface b = render(resource);
        ASSERT_TRUE(a && b) << resource;
        EXPECT_TRUE(samePixels(a.get(), b.get())) << resource;
    }
}

TEST(ArtworkRender, UnknownIdsGiveNothing) {
    for (int id : {0, -1, 9999, 10005, 10078, 11081, 14000, 14050, 20000}) {
        EXPECT_EQ(renderBitmap(id), nullptr) << id;
        EXPECT_EQ(cachedBitmap(id), nullptr) << id;
    }
}

TEST(ArtworkRender, BackgroundsAreOpaqueAndDark) {
    for (int s = 0; s < 4; ++s) {
        for (int id : {10000, 10001, 10002, 10003}) {
            Surface bg = render(id + 1000 * s);
            ASSERT_TRUE(bg);
            const int w = cairo_image_surface_get_width(bg.get());
            const int h = cairo_image_surface_get_height(bg.get());
            double sum = 0;
            int samples = 0, transparent = 0;
            for (int y = 0; y < h; y += 7)
                for (int x = 0; x < w; x += 7) {
                    const Pixel p = pixelAt(bg.get(), x, y);
                    if (p.a != 255) ++transparent;
                    sum += luminance(p);
                    ++samples;
                }
            EXPECT_EQ(transparent, 0) << id << " size " << s;
            EXPECT_LT(sum / samples, 0.15) << id << " size " << s;
        }
    }
}

TEST(ArtworkRender, SectionTitlesAreInTheAccentColour) {
    // The oscillator title sits over its menu button at (24, 90), 65 x 17;
    // the XY pad's title at (478, 84).
    for (int s = 0; s < 4; ++s) {
        Surface bg = render(10000 + 1000 * s);
        ASSERT_TRUE(bg);
        EXPECT_GT(
            accentPixels(bg.get(), scaled(24, s), scaled(90, s), scaled(65, s), scaled(17, s)),
            10 * (s + 1))
            << "size " << s;
        EXPECT_GT(
            accentPixels(bg.get(), scaled(478, s), scaled(84, s), scaled(60, s), scaled(14, s)),
            10 * (s + 1));
        // A plain stretch of panel between sections has no accent at all.
        EXPECT_EQ(accentPixels(bg.get(), scaled(219, s), scaled(200, s), 2, scaled(100, s)), 0);
    }
}

TEST(ArtworkRender, BackScreenShowsItsSettingLabels) {
    for (int s : {0, 3}) {
        Surface back = render(10003 + 1000 * s);
        Surface main = render(10000 + 1000 * s);
        ASSERT_TRUE(back && main);
        // Text to the left of the first switch at (125, 432): light pixels.
        int light = 0;
        for (int y = scaled(432, s); y < scaled(446, s); ++y)
            for (int x = scaled(20, s); x < scaled(122, s); ++x)
                if (luminance(pixelAt(back.get(), x, y)) > 0.5) ++light;
        EXPECT_GT(light, 20 * (s + 1)) << "size " << s;
        EXPECT_FALSE(samePixels(back.get(), main.get()));
    }
}

TEST(ArtworkRender, MainScreenVariantsDifferOnlyInTheLowerPage) {
    Surface arp = render(10000), waves = render(10001), partials = render(10002);
    ASSERT_TRUE(arp && waves && partials);
    auto differs = [](cairo_surface_t* a, cairo_surface_t* b, int x0, int y0, int w, int h) {
        for (int y = y0; y < y0 + h; ++y)
            for (int x = x0; x < x0 + w; ++x) {
                const Pixel p = pixelAt(a, x, y), q = pixelAt(b, x, y);
                if (p.r != q.r || p.g != q.g || p.b != q.b) return true;
            }
        return false;
    };
    // The lower page (293..843, 424..771) differs; the oscillator does not.
    EXPECT_TRUE(differs(arp.get(), waves.get(), 293, 424, 550, 347));
    EXPECT_FALSE(differs(arp.get(), waves.get(), 8, 80, 210, 340));
    // Wave view and partials view differ inside the wave screen only.
    EXPECT_TRUE(differs(waves.get(), partials.get(), 302, 473, 522, 188));
    EXPECT_FALSE(differs(waves.get(), partials.get(), 293, 680, 550, 90));
}

TEST(ArtworkRender, SubPagesSitOnTheMainPanelWithoutSeams) {
    struct Page {
        int id, x, y;
    };
    const Page pages[] = {{10020, 582, 266}, {10021, 582, 266}, {10022, 855, 348},
                          {10023, 855, 348}, {10024, 24, 454},  {10025, 24, 547},
                          {10026, 849, 541}, {10027, 849, 541}};
    for (int s = 0; s < 4; ++s) {
        Surface main = render(10000 + 1000 * s);
        ASSERT_TRUE(main);
        for (const Page& page : pages) {
            Surface bitmap = render(page.id + 1000 * s);
            ASSERT_TRUE(bitmap);
            const int ox = scaled(page.x, s), oy = scaled(page.y, s);
            // The corners carry no control: they repeat the panel beneath.
            const int w = cairo_image_surface_get_width(bitmap.get());
            const int h = cairo_image_surface_get_height(bitmap.get());
            for (auto [x, y] : {std::pair{0, 0}, {1, 1}, {w - 1, 0}, {0, h - 1}, {w - 2, h - 2}}) {
                const Pixel p = pixelAt(bitmap.get(), x, y),
                            q = pixelAt(main.get(), ox + x, oy + y);
                EXPECT_NEAR(p.r, q.r, 1) << page.id << " size " << s << " at " << x << "," << y;
                EXPECT_NEAR(p.g, q.g, 1) << page.id << " size " << s;
                EXPECT_NEAR(p.b, q.b, 1) << page.id << " size " << s;
            }
        }
    }
}

// ------------------------------------------------------------------ film strips

TEST(ArtworkStrips, KnobPointerMovesEveryFrame) {
    for (int id : {10034, 10035}) {
        for (int s : {0, 1, 3}) {
            Surface strip = render(id + 1000 * s);
            ASSERT_TRUE(strip);
            const int fh = frameSize(id, s).height;
            ASSERT_EQ(cairo_image_surface_get_height(strip.get()), 149 * fh);
            std::vector<unsigned char> previous = rows(strip.get(), 0, fh);
            for (int f = 1; f < 149; ++f) {
                std::vector<unsigned char> current = rows(strip.get(), f * fh, fh);
                EXPECT_NE(current, previous) << id << " size " << s << " frame " << f;
                previous = std::move(current);
            }
            EXPECT_NE(rows(strip.get(), 0, fh), rows(strip.get(), 148 * fh, fh));
        }
    }
}

TEST(ArtworkStrips, KnobPointerPointsAtItsValue) {
    // Frame 74 is the middle of the sweep: the pointer stands straight up.
    const int s = 3;
    Surface strip = render(10034 + 1000 * s);
    ASSERT_TRUE(strip);
    const int d = frameSize(10034, s).width;
    const int c = d / 2;
    auto accentAt = [&](int frame, int x, int y) {
        return accentPixels(strip.get(), x - 1, frame * d + y - 1, 3, 3) > 0;
    };
    const int reach = d / 5;
    EXPECT_TRUE(accentAt(74, c, c - reach));
    EXPECT_FALSE(accentAt(74, c, c + reach));
    // Frame 0 points to the lower left, frame 148 to the lower right.
    const int diag = static_cast<int>(reach * 0.7071);
    EXPECT_TRUE(accentAt(0, c - diag, c + diag));
    EXPECT_FALSE(accentAt(0, c + diag, c + diag));
    EXPECT_TRUE(accentAt(148, c + diag, c + diag));
}

TEST(ArtworkStrips, ModulationRingsGrowWithTheValue) {
    for (int s : {0, 3}) {
        for (int id : {10030, 10032}) { // from the start of the scale
            Surface strip = render(id + 1000 * s);
            ASSERT_TRUE(strip);
            const BitmapSize f = frameSize(id, s);
            int last = -1;
            for (int frame = 0; frame < 149; frame += 12) {
                const int covered = coveredPixels(strip.get(), frame * f.height, f.width, f.height);
                EXPECT_GT(covered, last) << id << " frame " << frame;
                last = covered;
            }
            // Nothing but the ring: the middle of the knob stays clear.
            for (int frame : {0, 74, 148})
                EXPECT_EQ(pixelAt(strip.get(), f.width / 2, frame * f.height + f.height / 2).a, 0);
            EXPECT_NE(rows(strip.get(), 0, f.height), rows(strip.get(), 148 * f.height, f.height));
        }
        for (int id : {10031, 10033}) { // from the centre of the scale
            Surface strip = render(id + 1000 * s);
            ASSERT_TRUE(strip);
            const BitmapSize f = frameSize(id, s);
            const int low = coveredPixels(strip.get(), 0, f.width, f.height);
            const int mid = coveredPixels(strip.get(), 74 * f.height, f.width, f.height);
            const int high = coveredPixels(strip.get(), 148 * f.height, f.width, f.height);
            EXPECT_LT(mid * 5, low) << id;
            EXPECT_LT(mid * 5, high) << id;
            EXPECT_NEAR(low, high, low / 10 + 2) << id;
        }
    }
}

TEST(ArtworkStrips, SpeedSliderThumbTravels) {
    const int s = 1;
    Surface strip = render(10041 + 1000 * s);
    ASSERT_TRUE(strip);
    const BitmapSize f = frameSize(10041, s);
    ASSERT_EQ(cairo_image_surface_get_height(strip.get()), 61 * f.height);
    auto thumbX = [&](int frame) {
        // The thumb is the brightest grey column across the middle row.
        int best = -1, bestX = 0;
        const int y = frame * f.height + 2;
        for (int x = 0; x < f.width; ++x) {
            const Pixel p = pixelAt(strip.get(), x, y);
            if (p.a > best) best = p.a, bestX = x;
        }
        return bestX;
    };
    int previous = -1;
    for (int frame = 0; frame < 61; frame += 10) {
        const int x = thumbX(frame);
        EXPECT_GT(x, previous) << frame;
        previous = x;
    }
    for (int frame = 1; frame < 61; ++frame)
        EXPECT_NE(rows(strip.get(), (frame - 1) * f.height, f.height),
                  rows(strip.get(), frame * f.height, f.height));
}

TEST(ArtworkStrips, MorphScaleScrollsPastTheWindow) {
    for (int s = 0; s < 4; ++s) {
        Surface strip = render(10040 + 1000 * s);
        ASSERT_TRUE(strip);
        const BitmapSize window = frameSize(10040, s);
        // Neighbouring positions show different windows, the first and the
        // last are far apart, and the last window fits the strip.
        EXPECT_NE(rows(strip.get(), 0, window.height),
                  rows(strip.get(), window.width, window.height));
        EXPECT_NE(rows(strip.get(), 0, window.height),
                  rows(strip.get(), 231 * window.width, window.height));
        EXPECT_EQ(231 * window.width + window.height, cairo_image_surface_get_height(strip.get()));
        // The window's margins are clear, so the index marks beside the
        // slider show through.
        EXPECT_EQ(pixelAt(strip.get(), 0, window.height / 2).a, 0);
        EXPECT_EQ(pixelAt(strip.get(), window.width - 1, window.height / 2).a, 0);
    }
}

// ------------------------------------------------------------------ switches and pictures

TEST(ArtworkSwitches, OffAndOnFramesDiffer) {
    for (int id : kTwoFrameIds) {
        for (int s : {0, 2}) {
            Surface b = render(id + 1000 * s);
            ASSERT_TRUE(b);
            const int fh = frameSize(id, s).height;
            EXPECT_NE(rows(b.get(), 0, fh), rows(b.get(), fh, fh)) << id << " size " << s;
        }
    }
}

TEST(ArtworkSwitches, DefaultSwitchLightsUpInTheAccent) {
    for (int s = 0; s < 4; ++s) {
        Surface b = render(10050 + 1000 * s);
        ASSERT_TRUE(b);
        const BitmapSize f = frameSize(10050, s);
        const int off = accentPixels(b.get(), 0, 0, f.width, f.height);
        const int on = accentPixels(b.get(), 0, f.height, f.width, f.height);
        EXPECT_EQ(off, 0) << "size " << s;
        EXPECT_GT(on, f.width) << "size " << s; // at least its lit outline
        // Translucent inside, so the panel's label shows through.
        const Pixel middle = pixelAt(b.get(), f.width / 2, f.height / 2);
        EXPECT_GT(middle.a, 0);
        EXPECT_LT(middle.a, 200);
    }
}

TEST(ArtworkSwitches, SmallPicturesAreCentredAndClearAtTheEdges) {
    for (int id : {10072, 10073}) {
        for (int s = 0; s < 4; ++s) {
            Surface b = render(id + 1000 * s);
            ASSERT_TRUE(b);
            const BitmapSize size = bitmapSize(id, s);
            EXPECT_GT(pixelAt(b.get(), size.width / 2, size.height / 2).a, 200) << id;
            EXPECT_LT(pixelAt(b.get(), 0, 0).a, 40) << id;
        }
    }
    // The envelope fill fades towards the bottom of its column.
    Surface fill = render(10074);
    ASSERT_TRUE(fill);
    EXPECT_GT(pixelAt(fill.get(), 0, 0).a, pixelAt(fill.get(), 0, 71).a + 50);
}

// ------------------------------------------------------------------ cache

TEST(ArtworkCache, SameAsAFreshRender) {
    for (int resource : {10050, 13034, 11000}) {
        cairo_surface_t* first = cachedBitmap(resource);
        cairo_surface_t* second = cachedBitmap(resource);
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(first, second);
        EXPECT_GE(cairo_surface_get_reference_count(first), 3u); // ours twice and the cache's
        Surface fresh = render(resource);
        EXPECT_TRUE(samePixels(first, fresh.get())) << resource;
        cairo_surface_destroy(first);
        cairo_surface_destroy(second);
    }
}

TEST(ArtworkCache, SharedAcrossThreads) {
    const int ids[] = {10035, 11035, 12051, 10024};
    std::vector<cairo_surface_t*> seen[4];
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int id : ids) seen[t].push_back(cachedBitmap(id));
        });
    }
    for (auto& thread : threads) thread.join();
    for (int t = 1; t < 4; ++t) EXPECT_EQ(seen[t], seen[0]);
    for (auto& list : seen)
        for (cairo_surface_t* s : list) {
            EXPECT_NE(s, nullptr);
            cairo_surface_destroy(s);
        }
}

TEST(ArtworkCache, ClearingKeepsSurfacesThatAreStillHeld) {
    cairo_surface_t* held = cachedBitmap(10072);
    ASSERT_NE(held, nullptr);
    clearCache();
    EXPECT_EQ(cairo_image_surface_get_width(held), 9);
    cairo_surface_t* again = cachedBitmap(10072);
    EXPECT_NE(again, nullptr);
    EXPECT_TRUE(samePixels(held, again));
    cairo_surface_destroy(held);
    cairo_surface_destroy(again);
}

// ------------------------------------------------------------------ the PNG tool

#ifdef ONDIX_ARTWORK_TOOL

namespace {

// The tool's output goes to a file of the running test's own: ctest runs
// the tests beside each other.
int runTool(const std::string& arguments, std::string& output) {
    const auto log =
        std::filesystem::path(ONDIX_ARTWORK_TEST_DIR) /
        (std::string(testing::UnitTest::GetInstance()->current_test_info()->name()) + ".txt");
    std::filesystem::create_directories(log.parent_path());
    const std::string command =
        std::string("'") + ONDIX_ARTWORK_TOOL + "' " + arguments + " > '" + log.string() + "' 2>&1";
    const int status = std::system(command.c_str());
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    output = text.str();
    return status;
}

} // namespace

TEST(ArtworkTool, WritesTheBackAndMainScreensAsPng) {
    const auto folder = std::filesystem::path(ONDIX_ARTWORK_TEST_DIR) / "out";
    std::filesystem::remove_all(folder);
    std::string output;
    ASSERT_EQ(runTool("'" + folder.string() + "'", output), 0) << output;
    struct Expected {
        int id, width, height;
    };
    for (const Expected& e : {Expected{10003, 1132, 779}, Expected{13003, 2264, 1558},
                              Expected{10000, 1132, 779}, Expected{13000, 2264, 1558}}) {
        char name[32];
        std::snprintf(name, sizeof name, "bmp%05d.png", e.id);
        const auto file = folder / name;
        EXPECT_NE(output.find(name), std::string::npos) << output;
        Surface png(cairo_image_surface_create_from_png(file.c_str()));
        ASSERT_EQ(cairo_surface_status(png.get()), CAIRO_STATUS_SUCCESS) << file;
        EXPECT_EQ(cairo_image_surface_get_width(png.get()), e.width);
        EXPECT_EQ(cairo_image_surface_get_height(png.get()), e.height);
        // The backgrounds are opaque, so the file holds exactly the pixels.
        Surface painted = render(e.id);
        for (auto [x, y] : {std::pair{5, 5},
                            {e.width / 2, e.height / 3},
                            {e.width - 3, e.height - 3},
                            {scaled(30, e.id / 1000 - 10), scaled(95, e.id / 1000 - 10)}}) {
            const Pixel p = pixelAt(png.get(), x, y), q = pixelAt(painted.get(), x, y);
            EXPECT_EQ(p.r, q.r) << name << " at " << x << "," << y;
            EXPECT_EQ(p.g, q.g) << name;
            EXPECT_EQ(p.b, q.b) << name;
            EXPECT_EQ(p.a, 255) << name;
        }
    }
}

TEST(ArtworkTool, FailsOnAFolderItCannotCreate) {
    const auto base = std::filesystem::path(ONDIX_ARTWORK_TEST_DIR);
    std::filesystem::create_directories(base);
    const auto blocker = base / "not-a-folder";
    std::ofstream(blocker) << "x";
    std::string output;
    EXPECT_NE(runTool("'" + (blocker / "sub").string() + "'", output), 0);
    EXPECT_NE(output.find("cannot"), std::string::npos) << output;
    EXPECT_NE(runTool("", output), 0);
    EXPECT_NE(output.find("usage"), std::string::npos) << output;
}

#endif
