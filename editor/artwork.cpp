// The artwork's bitmap table, the renderer and its cache, the shared
// painting helpers, and the small bitmaps: knobs, sliders, switches, tabs,
// icons, the LED, the XY pad dot and the envelope fill.

#include "editor/artwork.h"
#include "controls/strip_frame.h"

#include "core/process_shared.h"
#include "editor/artwork_paint.h"

#include "vstgui/cfont.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <numbers>
#include <string>

namespace ondix::artwork {

namespace {

// One frame at 100 % and the number of frames stacked vertically.
struct BitmapInfo {
    int id;
    int width;
    int height;
    int frames;
};

// In the editor's creation order.
constexpr std::array<BitmapInfo, kBitmapCount> kBitmaps = {{
    {10000, 1132, 779, 1}, // main screen, arpeggiator page
    {10001, 1132, 779, 1}, // main screen, user-wave page, wave view
    {10002, 1132, 779, 1}, // main screen, user-wave page, partials view
    {10003, 1132, 779, 1}, // back (settings) screen
    {10026, 260, 52, 1},   // effects page with the flanger
    {10027, 260, 52, 1},   // effects page with the phaser
    {10004, 296, 45, 1},   // logo plate
    {10050, 28, 14, 2},    // the default switch / button face
    {10051, 16, 16, 2},    // section-menu icon
    {10052, 28, 14, 2},    // lit face: edited preset, oscillator display on
    {10053, 44, 14, 2},    // wide switch face
    {10054, 28, 14, 1},    // "ECS" menu button
    {10055, 28, 14, 2},    // invert-envelope switch
    {10070, 12, 12, 2},    // previous arrow (drawn half above, pressed half below)
    {10071, 12, 12, 2},    // next arrow
    {10066, 44, 14, 2},    // flanger / phaser selector
    {10024, 262, 48, 1},   // free-LFO page
    {10025, 262, 54, 1},   // free-envelope page
    {10058, 12, 12, 2},    // lock icon
    {10056, 12, 12, 2},    // plus icon
    {10057, 12, 12, 2},    // minus icon
    {10077, 12, 12, 2},    // help icon
    {10030, 36, 36, 149},  // modulation ring, large knob, from the start
    {10031, 36, 36, 149},  // modulation ring, large knob, from the centre
    {10032, 30, 30, 149},  // modulation ring, small knob, from the start
    {10033, 30, 30, 149},  // modulation ring, small knob, from the centre
    {10034, 36, 36, 149},  // large knob pointer (knob types 0 and 1)
    {10035, 30, 30, 149},  // small knob pointer (knob types 2 and 3)
    {10040, 21, 251, 232}, // morph slider (window; see morphStripHeight)
    {10041, 64, 12, 61},   // XY speed slider
    {10072, 9, 9, 1},      // arpeggiator step LED
    {10074, 2, 72, 1},     // envelope fill column
    {10073, 12, 12, 1},    // XY pad position dot
    {10020, 243, 77, 1},   // filter-envelope page, graphic
    {10021, 243, 77, 1},   // filter-envelope page, knobs
    {10022, 243, 77, 1},   // amp-envelope page, graphic
    {10023, 243, 77, 1},   // amp-envelope page, knobs
    {10075, 36, 9, 1},     // unison display, ordinary modes
    {10076, 36, 9, 1},     // unison display, other modes
    {10060, 60, 16, 2},    // "LFO 1" tab
    {10061, 60, 16, 2},    // "LFO 2" tab
    {10062, 60, 16, 2},    // "ENV 1" tab
    {10063, 60, 16, 2},    // "ENV 2" tab
    {10064, 80, 16, 2},    // "USER WAVE" page tab
    {10065, 44, 16, 2},    // "ARP" page tab
    {10079, 12, 12, 2},    // up arrow
    {10080, 12, 12, 2},    // down arrow
}};

// The morph slider per size: its own table, not the scaling rule. Its
// "Morph" caption is painted below the scaled design rectangle (104 + 251),
// which the slider stays above at every size.
constexpr std::array<PixelRect, kSizeCount> kMorphRect = {
    {{97, 104, 21, 251}, {122, 128, 27, 313}, {146, 154, 32, 376}, {196, 208, 42, 502}}};
constexpr int kMorphFrames = 232;

const BitmapInfo* find(int designId) {
    for (const auto& b : kBitmaps)
        if (b.id == designId) return &b;
    return nullptr;
}

bool validSize(int sizeIndex) {
    return sizeIndex >= 0 && sizeIndex < kSizeCount;
}

} // namespace

const std::array<int, kBitmapCount>& designIds() {
    static const std::array<int, kBitmapCount> ids = [] {
        std::array<int, kBitmapCount> out{};
        for (std::size_t i = 0; i < kBitmaps.size(); ++i) out[i] = kBitmaps[i].id;
        return out;
    }();
    return ids;
}

bool isDesignId(int designId) {
    return find(designId) != nullptr;
}

int scaled(int v, int sizeIndex) {
    if (sizeIndex <= 0 || sizeIndex >= kSizeCount) return v;
    return static_cast<int>(static_cast<float>(v) * kScale[sizeIndex]);
}

PixelRect morphSliderRect(int sizeIndex) {
    return validSize(sizeIndex) ? kMorphRect[static_cast<std::size_t>(sizeIndex)] : PixelRect{};
}

int frameCount(int designId) {
    const auto* b = find(designId);
    return b ? b->frames : 0;
}

BitmapSize frameSize(int designId, int sizeIndex) {
    const auto* b = find(designId);
    if (!b || !validSize(sizeIndex)) return {};
    if (designId == 10040) return {kMorphRect[sizeIndex].w, kMorphRect[sizeIndex].h};
    return {scaled(b->width, sizeIndex), scaled(b->height, sizeIndex)};
}

BitmapSize bitmapSize(int designId, int sizeIndex) {
    const auto* b = find(designId);
    if (!b || !validSize(sizeIndex)) return {};
    const BitmapSize frame = frameSize(designId, sizeIndex);
    if (designId == 10040) return {frame.width, frame.width * (kMorphFrames - 1) + frame.height};
    return {frame.width, frame.height * b->frames};
}

bool splitResourceId(int resourceId, int& designId, int& sizeIndex) {
    if (resourceId < 10000 || resourceId >= 10000 + 1000 * kSizeCount) return false;
    const int size = (resourceId - 10000) / 1000;
    const int id = resourceId - 1000 * size;
    if (!isDesignId(id)) return false;
    designId = id;
    sizeIndex = size;
    return true;
}

// ------------------------------------------------------------------ painting helpers

namespace paint {

void setColour(cairo_t* cr, const Colour& c) {
    cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a);
}

void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
    r = std::min({r, w / 2, h / 2});
    constexpr double q = std::numbers::pi / 2;
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -q, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, q);
    cairo_arc(cr, x + r, y + h - r, r, q, 2 * q);
    cairo_arc(cr, x + r, y + r, r, 2 * q, 3 * q);
    cairo_close_path(cr);
}

void fillRounded(cairo_t* cr, double x, double y, double w, double h, double r, const Colour& c) {
    roundedRect(cr, x, y, w, h, r);
    setColour(cr, c);
    cairo_fill(cr);
}

void strokeRounded(cairo_t* cr, double x, double y, double w, double h, double r, const Colour& c,
                   double lineWidth) {
    roundedRect(cr, x, y, w, h, r);
    setColour(cr, c);
    cairo_set_line_width(cr, lineWidth);
    cairo_stroke(cr);
}

void verticalGradient(cairo_t* cr, double x, double y, double w, double h, const Colour& top,
                      const Colour& bottom) {
    cairo_pattern_t* p = cairo_pattern_create_linear(0, y, 0, y + h);
    cairo_pattern_add_color_stop_rgba(p, 0, top.r, top.g, top.b, top.a);
    cairo_pattern_add_color_stop_rgba(p, 1, bottom.r, bottom.g, bottom.b, bottom.a);
    cairo_rectangle(cr, x, y, w, h);
    cairo_set_source(cr, p);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
}

namespace {} // namespace

void selectFont(cairo_t* cr, bool bold) {
    cairo_set_font_face(cr,
                        VSTGUI::getCairoFontFace(bold ? VSTGUI::kBoldFace : VSTGUI::kNormalFace));
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);
}

double textWidth(cairo_t* cr, const char* s, double size, bool bold) {
    selectFont(cr, bold);
    cairo_set_font_size(cr, size);
    cairo_text_extents_t e;
    cairo_text_extents(cr, s, &e);
    return e.x_advance;
}

void text(cairo_t* cr, const char* s, double x, double y, double w, double h, double size,
          Align align, bool bold, const Colour& c) {
    if (!s || !*s) return;
    double width = textWidth(cr, s, size, bold);
    if (w > 0 && width > w) {
        size *= w / width;
        width = textWidth(cr, s, size, bold);
    }
    double left = x;
    if (align == Align::Centre) left = x + (w - width) / 2;
    if (align == Align::Right) left = x + w - width;
    // DejaVu's capitals are 0.73 em tall: centre them in the box.
    const double baseline = y + h / 2 + 0.365 * size;
    cairo_move_to(cr, left, baseline);
    setColour(cr, c);
    cairo_show_text(cr, s);
    cairo_new_path(cr);
}

} // namespace paint

namespace {

using namespace paint;

constexpr double kPi = std::numbers::pi;

// Knob angle of frame i of a 149-frame strip, in degrees from twelve
// o'clock, clockwise: -135 at frame 0, +135 at frame 148.
double knobAngle(int frame) {
    return -135.0 + 270.0 * frame / 148.0;
}

double toCairo(double degrees) {
    return (degrees - 90.0) * kPi / 180.0;
}

// Calls paintFrame(cr, frameIndex) once per frame, with the context scaled
// to design units and moved to the frame's top-left corner.
template <typename F>
void forEachFrame(cairo_t* cr, int frames, int frameHeightPx, double scale, F&& paintFrame) {
    for (int i = 0; i < frames; ++i) {
        cairo_save(cr);
        cairo_rectangle(cr, 0, static_cast<double>(i) * frameHeightPx, 1e6, frameHeightPx);
        cairo_clip(cr);
        cairo_translate(cr, 0, static_cast<double>(i) * frameHeightPx);
        cairo_scale(cr, scale, scale);
        paintFrame(cr, i);
        cairo_restore(cr);
    }
}

// ------------------------------------------------------------------ knobs

void paintKnobPointer(cairo_t* cr, double d, int frame) {
    const double c = d / 2;
    // The scale the modulation ring runs along, faint.
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_arc(cr, c, c, 0.43 * d, toCairo(-135), toCairo(135));
    setColour(cr, rgb(255, 255, 255, 0.08));
    cairo_set_line_width(cr, 0.05 * d);
    cairo_stroke(cr);

    // Shadow under the cap.
    cairo_pattern_t* shadow =
        cairo_pattern_create_radial(c, c + 0.03 * d, 0.27 * d, c, c + 0.03 * d, 0.37 * d);
    cairo_pattern_add_color_stop_rgba(shadow, 0, 0, 0, 0, 0.55);
    cairo_pattern_add_color_stop_rgba(shadow, 1, 0, 0, 0, 0);
    cairo_arc(cr, c, c + 0.03 * d, 0.37 * d, 0, 2 * kPi);
    cairo_set_source(cr, shadow);
    cairo_fill(cr);
    cairo_pattern_destroy(shadow);

    // The cap: a lit top edge over a darker face.
    cairo_pattern_t* body = cairo_pattern_create_linear(0, c - 0.31 * d, 0, c + 0.31 * d);
    cairo_pattern_add_color_stop_rgb(body, 0, 0.27, 0.31, 0.36);
    cairo_pattern_add_color_stop_rgb(body, 1, 0.10, 0.12, 0.15);
    cairo_arc(cr, c, c, 0.31 * d, 0, 2 * kPi);
    cairo_set_source(cr, body);
    cairo_fill(cr);
    cairo_pattern_destroy(body);

    cairo_pattern_t* face = cairo_pattern_create_linear(0, c - 0.25 * d, 0, c + 0.25 * d);
    cairo_pattern_add_color_stop_rgb(face, 0, 0.17, 0.20, 0.24);
    cairo_pattern_add_color_stop_rgb(face, 1, 0.12, 0.14, 0.17);
    cairo_arc(cr, c, c, 0.26 * d, 0, 2 * kPi);
    cairo_set_source(cr, face);
    cairo_fill(cr);
    cairo_pattern_destroy(face);

    // The pointer, with a soft glow.
    const double a = toCairo(knobAngle(frame));
    const double x0 = c + 0.07 * d * std::cos(a), y0 = c + 0.07 * d * std::sin(a);
    const double x1 = c + 0.28 * d * std::cos(a), y1 = c + 0.28 * d * std::sin(a);
    cairo_move_to(cr, x0, y0);
    cairo_line_to(cr, x1, y1);
    setColour(cr, withAlpha(kLightBlue, 0.22));
    cairo_set_line_width(cr, 0.17 * d);
    cairo_stroke_preserve(cr);
    setColour(cr, kLightBlue);
    cairo_set_line_width(cr, 0.075 * d);
    cairo_stroke(cr);
}

void paintKnobRing(cairo_t* cr, double d, int frame, bool fromCentre) {
    const double c = d / 2;
    const double start = fromCentre ? 0.0 : -135.0;
    const double end = knobAngle(frame);
    const double from = toCairo(std::min(start, end));
    const double to = toCairo(std::max(start, end));
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_arc(cr, c, c, 0.43 * d, from, to);
    setColour(cr, withAlpha(kLightBlue, 0.18));
    cairo_set_line_width(cr, 0.15 * d);
    cairo_stroke_preserve(cr);
    setColour(cr, withAlpha(kLightBlue, 0.95));
    cairo_set_line_width(cr, 0.07 * d);
    cairo_stroke(cr);
}

// ------------------------------------------------------------------ sliders

void paintSpeedSlider(cairo_t* cr, double w, double h, int frame, int frames) {
    const double grooveY = h / 2 - 1.5;
    fillRounded(cr, 2, grooveY, w - 4, 3, 1.5, kScreen);
    strokeRounded(cr, 2, grooveY, w - 4, 3, 1.5, rgb(255, 255, 255, 0.08), 0.6);
    const double thumbW = 6;
    const double centre = 2 + thumbW / 2 + (w - 4 - thumbW) * frame / (frames - 1);
    fillRounded(cr, 2, grooveY, centre - 2, 3, 1.5, withAlpha(kLightBlue, 0.55));
    const double top = 1, height = h - 2;
    roundedRect(cr, centre - thumbW / 2, top, thumbW, height, 1.5);
    cairo_pattern_t* p = cairo_pattern_create_linear(0, top, 0, top + height);
    cairo_pattern_add_color_stop_rgb(p, 0, 0.33, 0.38, 0.44);
    cairo_pattern_add_color_stop_rgb(p, 1, 0.15, 0.18, 0.21);
    cairo_set_source(cr, p);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
    strokeRounded(cr, centre - thumbW / 2 + 0.25, top + 0.25, thumbW - 0.5, height - 0.5, 1.5,
                  rgb(255, 255, 255, 0.22), 0.5);
    cairo_move_to(cr, centre, top + 2);
    cairo_line_to(cr, centre, top + height - 2);
    setColour(cr, kLightBlue);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
}

// The morph slider's strip, painted in pixels: a scale from wave A (top) to
// wave B (bottom) that scrolls one width per position past the index marks
// painted beside the slider. Ticks every width pixels stand still in the
// window; the numbered marks and the colour move with the value.
void paintMorphStrip(cairo_t* cr, int sizeIndex, int width, int height) {
    const double k = kScale[sizeIndex];
    const double w = width;
    const double window = height - (kMorphFrames - 1) * w;
    const double margin = std::round(w * 0.16);
    const double bodyX = margin, bodyW = w - 2 * margin;

    // Tape body with a colour that moves from the accent to amber.
    cairo_pattern_t* body = cairo_pattern_create_linear(0, 0, 0, height);
    cairo_pattern_add_color_stop_rgb(body, 0, 0.05, 0.13, 0.14);
    cairo_pattern_add_color_stop_rgb(body, 0.5, 0.05, 0.07, 0.09);
    cairo_pattern_add_color_stop_rgb(body, 1, 0.15, 0.10, 0.04);
    cairo_rectangle(cr, bodyX, 0, bodyW, height);
    cairo_set_source(cr, body);
    cairo_fill(cr);
    cairo_pattern_destroy(body);

    // Centre line, accent at the top, amber at the bottom.
    cairo_pattern_t* line = cairo_pattern_create_linear(0, 0, 0, height);
    cairo_pattern_add_color_stop_rgba(line, 0, kLightBlue.r, kLightBlue.g, kLightBlue.b, 0.8);
    cairo_pattern_add_color_stop_rgba(line, 1, kAmber.r, kAmber.g, kAmber.b, 0.8);
    cairo_rectangle(cr, w / 2 - 0.5 * k, 0, 1.0 * k, height);
    cairo_set_source(cr, line);
    cairo_fill(cr);
    cairo_pattern_destroy(line);

    // Minor ticks: one per position, so they stand still in the window.
    setColour(cr, rgb(255, 255, 255, 0.16));
    const double centreOffset = std::floor(window / 2);
    for (int i = 0; i < kMorphFrames; ++i) {
        const double y = i * w + centreOffset;
        cairo_rectangle(cr, bodyX, y, bodyW * 0.22, std::max(1.0, std::floor(k)));
        cairo_rectangle(cr, bodyX + bodyW * 0.78, y, bodyW * 0.22, std::max(1.0, std::floor(k)));
    }
    cairo_fill(cr);

    // Numbered marks: each on the frame the slider shows while the value
    // text reads the mark's percent.
    const double fontSize = std::min(7.0 * k, bodyW * 0.62);
    for (int tenth = 0; tenth <= 10; ++tenth) {
        const int position = stripFrame(tenth * 10, kMorphFrames);
        const double y = position * w + centreOffset;
        char label[8];
        if (tenth == 0)
            std::strcpy(label, "A");
        else if (tenth == 10)
            std::strcpy(label, "B");
        else
            std::snprintf(label, sizeof label, "%d", tenth * 10);
        const double boxH = fontSize * 1.25;
        cairo_rectangle(cr, bodyX, y - boxH / 2, bodyW, boxH);
        setColour(cr, rgb(6, 8, 10, 0.92));
        cairo_fill(cr);
        const Colour c = tenth <= 5 ? kLightBlue : kAmber;
        text(cr, label, bodyX, y - boxH / 2, bodyW, boxH, fontSize, Align::Centre, true, c);
    }

    // Edges of the tape.
    setColour(cr, rgb(255, 255, 255, 0.10));
    cairo_rectangle(cr, bodyX, 0, std::max(1.0, std::floor(k)), height);
    cairo_rectangle(cr, bodyX + bodyW - std::max(1.0, std::floor(k)), 0,
                    std::max(1.0, std::floor(k)), height);
    cairo_fill(cr);
}

// ------------------------------------------------------------------ switches and buttons

enum class FaceStyle { Plain, Lit };

void paintSwitchFace(cairo_t* cr, double w, double h, bool on, FaceStyle style) {
    const double r = 3;
    if (style == FaceStyle::Lit) {
        fillRounded(cr, 0.5, 0.5, w - 1, h - 1, r, withAlpha(kAmber, on ? 0.36 : 0.24));
        strokeRounded(cr, 0.5, 0.5, w - 1, h - 1, r, withAlpha(kAmber, on ? 1.0 : 0.85), 1);
        strokeRounded(cr, 1.75, 1.75, w - 3.5, h - 3.5, r - 1, withAlpha(kAmber, 0.25), 1.2);
        return;
    }
    if (!on) {
        fillRounded(cr, 0.5, 0.5, w - 1, h - 1, r, rgb(6, 8, 10, 0.5));
        strokeRounded(cr, 0.5, 0.5, w - 1, h - 1, r, rgb(160, 178, 192, 0.32), 1);
        // A faint top highlight gives the key some depth.
        cairo_move_to(cr, 2.5, 1.5);
        cairo_line_to(cr, w - 2.5, 1.5);
        setColour(cr, rgb(255, 255, 255, 0.06));
        cairo_set_line_width(cr, 0.8);
        cairo_stroke(cr);
    } else {
        fillRounded(cr, 0.5, 0.5, w - 1, h - 1, r, withAlpha(kLightBlue, 0.22));
        strokeRounded(cr, 0.5, 0.5, w - 1, h - 1, r, withAlpha(kLightBlue, 0.95), 1);
        strokeRounded(cr, 1.75, 1.75, w - 3.5, h - 3.5, r - 1, withAlpha(kLightBlue, 0.28), 1.2);
    }
}

void paintLabelledFace(cairo_t* cr, double w, double h, bool on, const char* label) {
    paintSwitchFace(cr, w, h, on, FaceStyle::Plain);
    if (!on) fillRounded(cr, 0.5, 0.5, w - 1, h - 1, 3, rgb(6, 8, 10, 0.35));
    text(cr, label, 2, 0, w - 4, h, 7.0, Align::Centre, true,
         on ? kLightBlue : rgb(200, 210, 218, 0.7));
}

void paintSelectorFace(cairo_t* cr, double w, double h, int frame) {
    const Colour accent = frame == 0 ? kLightBlue : kAmber;
    fillRounded(cr, 0.5, 0.5, w - 1, h - 1, 3, withAlpha(accent, 0.14));
    strokeRounded(cr, 0.5, 0.5, w - 1, h - 1, 3, withAlpha(accent, 0.8), 1);
    text(cr, frame == 0 ? "FLANGER" : "PHASER", 2, 0, w - 4, h, 7.0, Align::Centre, true, accent);
}

void paintEcsButton(cairo_t* cr, double w, double h) {
    fillRounded(cr, 0.5, 0.5, w - 1, h - 1, 3, rgb(29, 35, 42));
    strokeRounded(cr, 0.5, 0.5, w - 1, h - 1, 3, rgb(160, 178, 192, 0.35), 1);
    text(cr, "ECS", 2, 0, w - 10, h, 7.0, Align::Centre, true, kLightBlue);
    cairo_move_to(cr, w - 8.5, h / 2 - 1.5);
    cairo_line_to(cr, w - 3.5, h / 2 - 1.5);
    cairo_line_to(cr, w - 6, h / 2 + 1.5);
    cairo_close_path(cr);
    setColour(cr, withAlpha(kLightBlue, 0.8));
    cairo_fill(cr);
}

void paintTab(cairo_t* cr, double w, double h, bool on, const char* label) {
    const double r = 3;
    cairo_new_sub_path(cr);
    cairo_arc(cr, 0.5 + r, 0.5 + r, r, kPi, 1.5 * kPi);
    cairo_arc(cr, w - 0.5 - r, 0.5 + r, r, 1.5 * kPi, 2 * kPi);
    cairo_line_to(cr, w - 0.5, h - 0.5);
    cairo_line_to(cr, 0.5, h - 0.5);
    cairo_close_path(cr);
    setColour(cr, on ? withAlpha(kLightBlue, 0.16) : rgb(30, 36, 43));
    cairo_fill_preserve(cr);
    setColour(cr, on ? withAlpha(kLightBlue, 0.75) : rgb(160, 178, 192, 0.25));
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    if (on) {
        cairo_rectangle(cr, 1, h - 2, w - 2, 2);
        setColour(cr, kLightBlue);
        cairo_fill(cr);
    }
    text(cr, label, 3, 0, w - 6, h - 1, 7.5, Align::Centre, true, on ? kLightBlue : kLabel);
}

// ------------------------------------------------------------------ icons

enum class Glyph { Previous, Next, Up, Down, Plus, Minus, Lock, Help, Menu };

void paintGlyph(cairo_t* cr, double s, Glyph g, const Colour& c) {
    setColour(cr, c);
    cairo_set_line_width(cr, s * 0.12);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    const double m = s / 2;
    switch (g) {
    case Glyph::Previous:
        cairo_move_to(cr, s * 0.70, s * 0.20);
        cairo_line_to(cr, s * 0.25, m);
        cairo_line_to(cr, s * 0.70, s * 0.80);
        cairo_close_path(cr);
        cairo_fill(cr);
        break;
    case Glyph::Next:
        cairo_move_to(cr, s * 0.30, s * 0.20);
        cairo_line_to(cr, s * 0.75, m);
        cairo_line_to(cr, s * 0.30, s * 0.80);
        cairo_close_path(cr);
        cairo_fill(cr);
        break;
    case Glyph::Up:
        cairo_move_to(cr, s * 0.20, s * 0.70);
        cairo_line_to(cr, m, s * 0.25);
        cairo_line_to(cr, s * 0.80, s * 0.70);
        cairo_close_path(cr);
        cairo_fill(cr);
        break;
    case Glyph::Down:
        cairo_move_to(cr, s * 0.20, s * 0.30);
        cairo_line_to(cr, m, s * 0.75);
        cairo_line_to(cr, s * 0.80, s * 0.30);
        cairo_close_path(cr);
        cairo_fill(cr);
        break;
    case Glyph::Plus:
        cairo_move_to(cr, s * 0.22, m);
        cairo_line_to(cr, s * 0.78, m);
        cairo_move_to(cr, m, s * 0.22);
        cairo_line_to(cr, m, s * 0.78);
        cairo_stroke(cr);
        break;
    case Glyph::Minus:
        cairo_move_to(cr, s * 0.22, m);
        cairo_line_to(cr, s * 0.78, m);
        cairo_stroke(cr);
        break;
    case Glyph::Lock:
        roundedRect(cr, s * 0.22, s * 0.45, s * 0.56, s * 0.42, s * 0.06);
        cairo_fill(cr);
        cairo_arc(cr, m, s * 0.45, s * 0.18, kPi, 2 * kPi);
        cairo_stroke(cr);
        break;
    case Glyph::Help:
        cairo_arc(cr, m, m, s * 0.40, 0, 2 * kPi);
        cairo_set_line_width(cr, s * 0.08);
        cairo_stroke(cr);
        text(cr, "?", 0, 0, s, s, s * 0.62, Align::Centre, true, c);
        break;
    case Glyph::Menu:
        roundedRect(cr, s * 0.08, s * 0.08, s * 0.84, s * 0.84, s * 0.18);
        cairo_set_line_width(cr, s * 0.07);
        cairo_stroke(cr);
        cairo_set_line_width(cr, s * 0.09);
        for (double y : {0.34, 0.50, 0.66}) {
            cairo_move_to(cr, s * 0.30, s * y);
            cairo_line_to(cr, s * 0.70, s * y);
        }
        cairo_stroke(cr);
        break;
    }
}

// Two-state icons: the plain glyph in the upper half, a highlighted one
// in the lower half.
void paintIconFrame(cairo_t* cr, double s, Glyph g, int frame) {
    if (frame == 1) {
        fillRounded(cr, 0, 0, s, s, s * 0.2, withAlpha(kLightBlue, 0.25));
        paintGlyph(cr, s, g, rgb(255, 255, 255));
    } else {
        paintGlyph(cr, s, g, withAlpha(kLightBlue, 0.85));
    }
}

// ------------------------------------------------------------------ small pictures

void paintLed(cairo_t* cr, double s) {
    const double c = s / 2;
    cairo_pattern_t* p = cairo_pattern_create_radial(c, c, 0, c, c, c);
    cairo_pattern_add_color_stop_rgba(p, 0, 0.85, 1.0, 1.0, 1.0);
    cairo_pattern_add_color_stop_rgba(p, 0.45, kLightBlue.r, kLightBlue.g, kLightBlue.b, 1.0);
    cairo_pattern_add_color_stop_rgba(p, 0.7, kLightBlue.r, kLightBlue.g, kLightBlue.b, 0.45);
    cairo_pattern_add_color_stop_rgba(p, 1, kLightBlue.r, kLightBlue.g, kLightBlue.b, 0.0);
    cairo_arc(cr, c, c, c, 0, 2 * kPi);
    cairo_set_source(cr, p);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
}

void paintPadDot(cairo_t* cr, double s) {
    const double c = s / 2;
    cairo_pattern_t* glow = cairo_pattern_create_radial(c, c, 0.2 * s, c, c, c);
    cairo_pattern_add_color_stop_rgba(glow, 0, kLightBlue.r, kLightBlue.g, kLightBlue.b, 0.6);
    cairo_pattern_add_color_stop_rgba(glow, 1, kLightBlue.r, kLightBlue.g, kLightBlue.b, 0.0);
    cairo_arc(cr, c, c, c, 0, 2 * kPi);
    cairo_set_source(cr, glow);
    cairo_fill(cr);
    cairo_pattern_destroy(glow);
    cairo_arc(cr, c, c, 0.26 * s, 0, 2 * kPi);
    setColour(cr, kLightBlue);
    cairo_fill(cr);
    cairo_arc(cr, c, c, 0.13 * s, 0, 2 * kPi);
    setColour(cr, rgb(255, 255, 255));
    cairo_fill(cr);
}

void paintEnvelopeFill(cairo_t* cr, double w, double h) {
    verticalGradient(cr, 0, 0, w, h, withAlpha(kLightBlue, 0.55), withAlpha(kMidBlue, 0.06));
}

void paintUnison(cairo_t* cr, double w, double h, bool lit) {
    if (lit) {
        fillRounded(cr, 0.5, 0.5, w - 1, h - 1, 2, withAlpha(kLightBlue, 0.18));
        strokeRounded(cr, 0.5, 0.5, w - 1, h - 1, 2, withAlpha(kLightBlue, 0.7), 0.8);
    } else {
        fillRounded(cr, 0.5, 0.5, w - 1, h - 1, 2, rgb(255, 255, 255, 0.03));
        strokeRounded(cr, 0.5, 0.5, w - 1, h - 1, 2, rgb(160, 178, 192, 0.25), 0.8);
    }
    text(cr, "UNISON", 2, 0, w - 4, h, 6.0, Align::Centre, true,
         lit ? kLightBlue : rgb(142, 156, 168, 0.6));
}

// ------------------------------------------------------------------ dispatch

const char* tabLabel(int id) {
    switch (id) {
    case 10060:
        return "LFO 1";
    case 10061:
        return "LFO 2";
    case 10062:
        return "ENV 1";
    case 10063:
        return "ENV 2";
    case 10064:
        return "USER WAVE";
    case 10065:
        return "ARP";
    default:
        return "";
    }
}

bool paintSmallBitmap(cairo_t* cr, int id, int sizeIndex) {
    const double k = kScale[sizeIndex];
    const BitmapInfo& info = *find(id);
    const BitmapSize frame = frameSize(id, sizeIndex);
    const double w = info.width, h = info.height;
    auto frames = [&](auto&& paintFrame) {
        forEachFrame(cr, info.frames, frame.height, k, paintFrame);
    };
    switch (id) {
    case 10030:
    case 10031:
    case 10032:
    case 10033:
        frames([&](cairo_t* c, int i) { paintKnobRing(c, w, i, id == 10031 || id == 10033); });
        return true;
    case 10034:
    case 10035:
        frames([&](cairo_t* c, int i) { paintKnobPointer(c, w, i); });
        return true;
    case 10041:
        frames([&](cairo_t* c, int i) { paintSpeedSlider(c, w, h, i, info.frames); });
        return true;
    case 10040: {
        const BitmapSize size = bitmapSize(id, sizeIndex);
        paintMorphStrip(cr, sizeIndex, size.width, size.height);
        return true;
    }
    case 10050:
    case 10053:
        frames([&](cairo_t* c, int i) { paintSwitchFace(c, w, h, i == 1, FaceStyle::Plain); });
        return true;
    case 10052:
        frames([&](cairo_t* c, int i) { paintSwitchFace(c, w, h, i == 1, FaceStyle::Lit); });
        return true;
    case 10055:
        frames([&](cairo_t* c, int i) { paintLabelledFace(c, w, h, i == 1, "INV"); });
        return true;
    case 10066:
        frames([&](cairo_t* c, int i) { paintSelectorFace(c, w, h, i); });
        return true;
    case 10060:
    case 10061:
    case 10062:
    case 10063:
    case 10064:
    case 10065:
        frames([&](cairo_t* c, int i) { paintTab(c, w, h, i == 1, tabLabel(id)); });
        return true;
    case 10051:
    case 10070:
    case 10071:
    case 10056:
    case 10057:
    case 10058:
    case 10077:
    case 10079:
    case 10080: {
        Glyph g = Glyph::Menu;
        if (id == 10070) g = Glyph::Previous;
        if (id == 10071) g = Glyph::Next;
        if (id == 10056) g = Glyph::Plus;
        if (id == 10057) g = Glyph::Minus;
        if (id == 10058) g = Glyph::Lock;
        if (id == 10077) g = Glyph::Help;
        if (id == 10079) g = Glyph::Up;
        if (id == 10080) g = Glyph::Down;
        frames([&](cairo_t* c, int i) { paintIconFrame(c, w, g, i); });
        return true;
    }
    case 10054:
        frames([&](cairo_t* c, int) { paintEcsButton(c, w, h); });
        return true;
    case 10072:
        frames([&](cairo_t* c, int) { paintLed(c, w); });
        return true;
    case 10073:
        frames([&](cairo_t* c, int) { paintPadDot(c, w); });
        return true;
    case 10074:
        frames([&](cairo_t* c, int) { paintEnvelopeFill(c, w, h); });
        return true;
    case 10075:
    case 10076:
        frames([&](cairo_t* c, int) { paintUnison(c, w, h, id == 10075); });
        return true;
    default:
        return false;
    }
}

} // namespace

namespace paint {

void paintBitmapFrames(cairo_t* cr, int designId, int sizeIndex) {
    if (isDesignId(designId) && validSize(sizeIndex)) paintSmallBitmap(cr, designId, sizeIndex);
}

} // namespace paint

cairo_surface_t* renderBitmap(int resourceId) {
    int id = 0, sizeIndex = 0;
    if (!splitResourceId(resourceId, id, sizeIndex)) return nullptr;
    const BitmapSize size = bitmapSize(id, sizeIndex);
    cairo_surface_t* surface =
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size.width, size.height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    cairo_t* cr = cairo_create(surface);
    if (!paintSmallBitmap(cr, id, sizeIndex)) paint::paintPanel(cr, id, sizeIndex);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    return surface;
}

namespace {

std::mutex cacheMutex;

// The rendered bitmaps by resource number, each holding one reference.
// Shared like the tables (core/process_shared.h): it outlives every editor
// however late a host closes it, and goes when the library and the last
// instance have let go (a bitmap handed out keeps a reference of its own).
struct BitmapCache {
    std::map<int, cairo_surface_t*> surfaces;
    BitmapCache() = default;
    BitmapCache(const BitmapCache&) = delete;
    BitmapCache& operator=(const BitmapCache&) = delete;
    ~BitmapCache() {
        for (auto& [id, surface] : surfaces) cairo_surface_destroy(surface);
    }
};

std::map<int, cairo_surface_t*>& cache() {
    constinit static ProcessShared<BitmapCache> shared{
        [] { return std::make_unique<BitmapCache>(); }};
    return shared.get().surfaces;
}

} // namespace

cairo_surface_t* cachedBitmap(int resourceId) {
    std::lock_guard lock(cacheMutex);
    auto& surfaces = cache();
    auto it = surfaces.find(resourceId);
    if (it == surfaces.end()) {
        cairo_surface_t* surface = renderBitmap(resourceId);
        if (!surface) return nullptr;
        it = surfaces.emplace(resourceId, surface).first;
    }
    return cairo_surface_reference(it->second);
}

void clearCache() {
    std::lock_guard lock(cacheMutex);
    for (auto& [id, surface] : cache()) cairo_surface_destroy(surface);
    cache().clear();
}

} // namespace ondix::artwork
