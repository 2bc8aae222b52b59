// Ondix's artwork: every bitmap of the editor, painted with cairo.
//
// The editor loads 47 bitmaps by design id (10000..10080) at one of four
// GUI sizes; the resource id of a bitmap is its design id plus 1000 times
// the size index (0..3 = 100, 125, 150, 200 %). Nothing ships as an image:
// the painter draws each one on demand, in design coordinates scaled to the
// size, so all four sizes look alike.
//
// Sizes. A bitmap is described by one frame of its 100 % size and a frame
// count (film strips and two-frame switches stack their frames vertically).
// At size index i a frame is trunc(w * SCALE[i]) x trunc(h * SCALE[i])
// (single-precision product, the rule that turns design coordinates into
// pixels), and the bitmap is that frame width by frame height times the
// frame count. Two exceptions:
//   - the four screen backgrounds 10000..10003 are the design screen itself,
//     1132 x 779 scaled by the same rule (1415 x 973, 1698 x 1168, 2264 x 1558);
//   - the morph slider 10040 has a window of its own per-size size
//     (21 x 251, 27 x 313, 32 x 376, 42 x 502; morphSliderRect gives its
//     place in the frame too). The slider shows position k
//     of its 232 as the window starting k * width pixels down the strip, so
//     the strip is width pixels wide and 231 * width + window height tall: a
//     scale that scrolls past the fixed index marks painted beside the
//     slider on the main screen.
//
// The layout table (controlPlaces) holds the design position of every
// control whose label, field or screen the backgrounds paint, so that the
// editor places its controls where the artwork expects them.
#pragma once

#include <cairo.h>

#include <array>
#include <span>

namespace ondix::artwork {

struct BitmapSize {
    int width = 0;
    int height = 0;
};

inline constexpr int kBitmapCount = 47;
inline constexpr int kSizeCount = 4;
inline constexpr std::array<float, kSizeCount> kScale = {1.0f, 1.25f, 1.5f, 2.0f};

// The design ids in the order in which the editor creates its bitmaps.
const std::array<int, kBitmapCount>& designIds();

// True for one of the 47 design ids.
bool isDesignId(int designId);

// The whole bitmap at a size index (0..3); {0, 0} for an unknown id or size.
BitmapSize bitmapSize(int designId, int sizeIndex);

// The number of frames stacked in the bitmap: 1 for pictures, 2 for
// switches, tabs and two-state icons, 149 for the knob strips, 61 for the
// XY speed slider, 232 for the morph slider; 0 for an unknown id.
int frameCount(int designId);

// One frame at a size index; for the morph slider the window it shows.
BitmapSize frameSize(int designId, int sizeIndex);

// A design coordinate in pixels: trunc(v * SCALE) in single precision, v
// itself at size index 0.
int scaled(int v, int sizeIndex);

// A rectangle in pixels.
struct PixelRect {
    int x, y, w, h;
};

// The morph slider's rectangle in the frame at a size index (0..3): a table
// of its own rather than the scaling rule, its size that of the slider's
// window (frameSize of 10040). {0, 0, 0, 0} for another size index.
PixelRect morphSliderRect(int sizeIndex);

// Resource id = design id + 1000 * size index. Splits one; false when the
// id is not one of the 47 at a size index 0..3.
bool splitResourceId(int resourceId, int& designId, int& sizeIndex);

// A new ARGB32 image surface holding the bitmap of a resource id (the caller
// destroys it); the same pixels on every call. nullptr for any id that is not
// one of the 47 design ids at a valid size.
cairo_surface_t* renderBitmap(int resourceId);

// The same bitmap, rendered once per process and kept; returns a new
// reference that the caller releases with cairo_surface_destroy. Safe to
// call from several threads. nullptr for unknown ids.
cairo_surface_t* cachedBitmap(int resourceId);

// Drops every cached bitmap (surfaces still referenced elsewhere live on).
void clearCache();

// ------------------------------------------------------------------ layout

enum class PlaceKind {
    Knob,    // film-strip knob: bitmap is the pointer strip, knobType 0..3
    Switch,  // two-frame on/off switch (TOnOff)
    Kick,    // two-frame kick button
    Radio,   // two-frame radio button or page tab
    Menu,    // option menu: the background paints its field
    Readout, // text readout: the background paints its field
    Slider,  // film-strip slider
    Screen,  // graphic screen: the background paints its panel
    Title,   // invisible section-menu button over a section title
    Icon,    // menu-icon button or plain picture
};

enum class LabelSide { None, Inside, Below, Above, Left, Right };

// Which backgrounds show a control of the frame.
enum ScreenMask : unsigned {
    kArpPage = 1u,  // main screen with the arpeggiator page (10000)
    kWavePage = 2u, // main screen with the user-wave page (10001, 10002)
    kMainScreen = kArpPage | kWavePage,
    kBackScreen = 4u, // the settings screen (10003)
};

struct ControlPlace {
    int tag; // parameter tag; 9999 for the editor's own controls
    PlaceKind kind;
    int page;          // 0: in the frame; else the page background (10020..10027)
    int x, y;          // design position (relative to the page inside a page)
    int width, height; // design size
    int bitmap;        // face, strip or icon bitmap (design id), 0 for none
    int knobType;      // 0..3 for knobs, -1 otherwise
    const char* label; // nullptr: no label
    LabelSide side;
    unsigned screens;      // ScreenMask, for controls of the frame
    std::array<int, 3> dx; // pixel offsets at size indexes 1, 2, 3
    std::array<int, 3> dy;
};

// Every placed control of the main screen, its pages and the back screen.
std::span<const ControlPlace> controlPlaces();

// Where the background paints the capital letters of a control's caption
// beside it (LabelSide Below, Above, Left or Right), in pixels at a size
// index, relative to the background that holds the control (its page for a
// page's controls). False for other controls.
struct CaptionBox {
    double left, top, right, bottom;
};
bool captionBox(const ControlPlace& p, int sizeIndex, CaptionBox& box);

// The tips the back screen lists, one line each; a section title they name
// is written as it stands on the main screen (upper case).
std::span<const char* const> backScreenTips();

} // namespace ondix::artwork
