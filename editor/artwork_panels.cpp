// The large bitmaps: the main screen in its three variants, the back
// (settings) screen, the logo plate and the sub-page backgrounds. Everything
// is drawn in design coordinates on a context scaled to the GUI size; the
// sub-pages repaint the part of the main panel they cover, so they sit on it
// without a seam.

#include "editor/artwork.h"
#include "editor/artwork_paint.h"

#include <cmath>
#include <cstring>
#include <numbers>

namespace ondix::artwork::paint {

namespace {

constexpr double kPi = std::numbers::pi;

// ------------------------------------------------------------------ geometry of the screens

// The graphic screens whose rectangles come from per-size tables.
constexpr PixelRect kArpRect[kSizeCount] = {
    {331, 473, 490, 188}, {416, 592, 613, 236}, {497, 710, 736, 282}, {662, 946, 982, 376}};
constexpr double kArpStepWidth[kSizeCount] = {30.625, 38.3125, 46.0, 61.375};
constexpr double kArpRowHeight[kSizeCount] = {188.0 / 9, 236.0 / 9, 94.0 / 3, 376.0 / 9};
constexpr int kArpLedOffset[kSizeCount] = {19, 24, 28, 40};

constexpr PixelRect kModRect[kSizeCount] = {
    {25, 648, 250, 104}, {31, 812, 313, 131}, {37, 975, 376, 157}, {50, 1300, 500, 208}};
constexpr double kModRowHeight[kSizeCount] = {13.0, 16.375, 19.625, 26.0};
constexpr int kModColStart[kSizeCount][4] = {
    {0, 28, 107, 207}, {0, 35, 133, 258}, {0, 42, 160, 310}, {0, 56, 214, 414}};
constexpr int kModColWidth[kSizeCount][4] = {
    {28, 76, 96, 36}, {34, 93, 125, 49}, {42, 118, 152, 59}, {52, 156, 200, 74}};
constexpr int kModColEnd[kSizeCount][4] = {
    {28, 107, 207, 246}, {35, 133, 258, 307}, {42, 160, 310, 369}, {56, 214, 414, 492}};
constexpr int kModScrollWidth[kSizeCount] = {4, 7, 8, 10};

// Where a page sits on the design screen.
struct PagePlace {
    int id, x, y;
};
constexpr PagePlace kPages[] = {
    {10020, 582, 266}, {10021, 582, 266}, {10022, 855, 348}, {10023, 855, 348},
    {10024, 24, 454},  {10025, 24, 547},  {10026, 849, 541}, {10027, 849, 541},
};

// ------------------------------------------------------------------ sections

struct Section {
    double x, y, w, h;
    const char* title; // painted title, nullptr when a menu button carries it
    double titleX, titleY, titleW;
};

constexpr Section kSections[] = {
    {8, 80, 210, 340, nullptr, 0, 0, 0},            // oscillator
    {222, 80, 342, 340, "XY PAD", 478, 84, 78},     // XY pad
    {567, 80, 276, 340, nullptr, 0, 0, 0},          // filter
    {846, 80, 278, 350, "PLAY", 856, 86, 120},      // play, voice and amp
    {8, 424, 281, 90, "LFOs", 156, 430, 120},       // free LFOs
    {8, 518, 281, 86, "ENVELOPES", 156, 524, 96},   // free envelopes
    {8, 608, 281, 163, nullptr, 0, 0, 0},           // modulation
    {293, 424, 550, 347, nullptr, 0, 0, 0},         // arpeggiator / user waves
    {846, 434, 278, 337, "EFFECTS", 856, 440, 120}, // effects
};

// Headings inside the sections, and captions of control groups.
struct Heading {
    double x, y, w;
    const char* text;
    unsigned screens;
    bool caption;
};
constexpr Heading kHeadings[] = {
    {584, 254, 200, "FILTER ENVELOPE", kMainScreen, false},
    {584, 350, 200, "HIGH PASS", kMainScreen, false},
    {857, 333, 200, "AMP ENVELOPE", kMainScreen, false},
    {856, 456, 44, "CHORUS", kMainScreen, false},
    {856, 604, 44, "DELAY", kMainScreen, false},
    {856, 682, 44, "REVERB", kMainScreen, false},
    {1072, 205, 56, "Env View", kMainScreen, true},
    {487, 447, 75, "Wave", kWavePage, true},
    {587, 447, 107, "Draw Mode", kWavePage, true},
    {716, 447, 75, "View", kWavePage, true},
};

void paintSectionBox(cairo_t* cr, const Section& s) {
    roundedRect(cr, s.x, s.y, s.w, s.h, 5);
    cairo_pattern_t* p = cairo_pattern_create_linear(0, s.y, 0, s.y + s.h);
    cairo_pattern_add_color_stop_rgb(p, 0, 0.105, 0.125, 0.150);
    cairo_pattern_add_color_stop_rgb(p, 1, 0.086, 0.102, 0.122);
    cairo_set_source(cr, p);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
    strokeRounded(cr, s.x + 0.5, s.y + 0.5, s.w - 1, s.h - 1, 5, kBoxEdge, 1);
    // A thin lit edge along the top.
    cairo_move_to(cr, s.x + 6, s.y + 1.5);
    cairo_line_to(cr, s.x + s.w - 6, s.y + 1.5);
    setColour(cr, rgb(255, 255, 255, 0.05));
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    if (s.title)
        text(cr, s.title, s.titleX, s.titleY, s.titleW, 12, 9.5, Align::Left, true, kLightBlue);
}

void paintDownArrow(cairo_t* cr, double x, double y, double size, const Colour& c) {
    cairo_move_to(cr, x, y);
    cairo_line_to(cr, x + size, y);
    cairo_line_to(cr, x + size / 2, y + size * 0.6);
    cairo_close_path(cr);
    setColour(cr, c);
    cairo_fill(cr);
}

// Spaced capitals, for the logo.
double spacedText(cairo_t* cr, const char* s, double x, double baseline, double size,
                  double spacing, bool bold, bool measureOnly = false) {
    selectFont(cr, bold);
    cairo_set_font_size(cr, size);
    double pen = x;
    char one[2] = {0, 0};
    for (const char* p = s; *p; ++p) {
        one[0] = *p;
        cairo_text_extents_t e;
        cairo_text_extents(cr, one, &e);
        if (!measureOnly) {
            cairo_move_to(cr, pen, baseline);
            cairo_text_path(cr, one);
        }
        pen += e.x_advance + spacing;
    }
    return pen - spacing - x;
}

void paintLogo(cairo_t* cr, double x, double y, double w, double h) {
    const double size = h * 0.62;
    const double spacing = size * 0.16;
    const double width = spacedText(cr, "ONDIX", 0, 0, size, spacing, true, true);
    const double left = x + (w - width) / 2;
    const double baseline = y + h * 0.62;
    spacedText(cr, "ONDIX", left, baseline, size, spacing, true);
    cairo_pattern_t* p = cairo_pattern_create_linear(left, 0, left + width, 0);
    cairo_pattern_add_color_stop_rgb(p, 0, kLightBlue.r, kLightBlue.g, kLightBlue.b);
    cairo_pattern_add_color_stop_rgb(p, 1, 0.80, 0.97, 1.0);
    cairo_set_source(cr, p);
    cairo_fill(cr);
    cairo_pattern_destroy(p);

    const double subSize = h * 0.15;
    const double subSpacing = subSize * 0.45;
    const char* sub = "POLYPHONIC SYNTHESIZER";
    const double subWidth = spacedText(cr, sub, 0, 0, subSize, subSpacing, false, true);
    spacedText(cr, sub, x + (w - subWidth) / 2, y + h * 0.92, subSize, subSpacing, false);
    setColour(cr, kLabel);
    cairo_fill(cr);
}

// A small keyboard beside the preview button.
void paintKeys(cairo_t* cr, double x, double y) {
    const double keyW = 5.5, keyH = 14;
    for (int i = 0; i < 4; ++i) {
        fillRounded(cr, x + i * keyW + 0.3, y, keyW - 0.6, keyH, 0.8, rgb(200, 210, 218, 0.75));
    }
    for (int i = 1; i <= 2; ++i)
        fillRounded(cr, x + i * keyW - 1.8, y, 3.6, keyH * 0.6, 0.6, rgb(16, 19, 23));
}

void paintHeader(cairo_t* cr, bool mainScreen) {
    verticalGradient(cr, 0, 0, 1132, 74, rgb(30, 36, 43), rgb(19, 23, 28));
    cairo_rectangle(cr, 0, 73, 1132, 1);
    setColour(cr, withAlpha(kLightBlue, 0.35));
    cairo_fill(cr);
    cairo_rectangle(cr, 0, 74, 1132, 2);
    setColour(cr, rgb(0, 0, 0, 0.35));
    cairo_fill(cr);

    paintLogo(cr, 808, 17, 280, 45);
    if (!mainScreen) return;

    // The display window of the two parameter readouts.
    fillRounded(cr, 398, 19, 233, 42, 4, rgb(5, 7, 9));
    strokeRounded(cr, 398.5, 19.5, 232, 41, 4, kScreenEdge, 1);

    paintKeys(cr, 14, 31);
    text(cr, "PREVIEW", 8, 48, 64, 8, 6, Align::Centre, false, kCaption);

    // The control menu's mark.
    setColour(cr, withAlpha(kLightBlue, 0.7));
    for (int i = 0; i < 3; ++i) cairo_rectangle(cr, 1101, 10.5 + i * 3.5, 11, 1.3);
    cairo_fill(cr);
}

// The main panel: background, header and section boxes with their
// headings (screen selects the page-dependent captions; 0 for none).
void paintBase(cairo_t* cr, unsigned screen) {
    verticalGradient(cr, 0, 0, 1132, 779, kPanelTop, kPanelBottom);
    paintHeader(cr, true);
    for (const auto& s : kSections) paintSectionBox(cr, s);
    for (const auto& h : kHeadings) {
        if (!(h.screens & screen) && h.screens != kMainScreen) continue;
        if (h.caption)
            text(cr, h.text, h.x, h.y, h.w, 8.5, 7.0, Align::Centre, false, kLabel);
        else
            text(cr, h.text, h.x, h.y, h.w, 14, 7.5, Align::Left, true, kLabel);
    }
}

// ------------------------------------------------------------------ controls' fields and labels

struct Rect {
    double x, y, w, h;
};

// A control's rectangle in design units at a size, with its pixel offsets.
Rect placeRect(const ControlPlace& p, int sizeIndex) {
    const double k = kScale[sizeIndex];
    const int ox = sizeIndex > 0 ? p.dx[sizeIndex - 1] : 0;
    const int oy = sizeIndex > 0 ? p.dy[sizeIndex - 1] : 0;
    double w = p.width, h = p.height;
    if (p.kind == PlaceKind::Knob) {
        const BitmapSize f = frameSize(p.bitmap, sizeIndex);
        w = f.width / k;
        h = f.height / k;
    }
    return {(scaled(p.x, sizeIndex) + ox) / k, (scaled(p.y, sizeIndex) + oy) / k, w, h};
}

void paintField(cairo_t* cr, const Rect& r) {
    fillRounded(cr, r.x - 1, r.y - 1, r.w + 2, r.h + 2, 2.5, kField);
    strokeRounded(cr, r.x - 0.5, r.y - 0.5, r.w + 1, r.h + 1, 2.5, kFieldEdge, 1);
}

// Where a caption goes beside its control's rectangle r (design units):
// the text's box, its size and alignment. False for controls whose caption
// is not painted beside them.
struct Caption {
    double x, y, w, h, size;
    Align align;
    bool bold;
};

bool captionOf(const ControlPlace& p, const Rect& r, bool backScreen, Caption& c) {
    if (!p.label) return false;
    const double size = backScreen ? 8.0 : 7.0;
    switch (p.side) {
    case LabelSide::Below:
        c = {r.x - 10, r.y + r.h + 0.5, r.w + 20, 8.5, size, Align::Centre, false};
        return true;
    case LabelSide::Above:
        c = {r.x - 10, r.y - 9.5, r.w + 20, 8.5, size, Align::Centre, false};
        return true;
    case LabelSide::Left:
        c = {r.x - (backScreen ? 200 : 60),
             r.y,
             backScreen ? 193.0 : 56.0,
             r.h,
             size,
             Align::Right,
             backScreen};
        return true;
    case LabelSide::Right:
        c = {r.x + r.w + 3, r.y, 44, r.h, size, Align::Left, false};
        return true;
    default:
        return false;
    }
}

void paintCaption(cairo_t* cr, const ControlPlace& p, const Rect& r, bool backScreen) {
    if (!p.label) return;
    const Colour colour = backScreen ? kInsideLabel : kLabel;
    Caption c{};
    if (captionOf(p, r, backScreen, c)) {
        text(cr, p.label, c.x, c.y, c.w, c.h, c.size, c.align, c.bold, colour);
        return;
    }
    // Shows through the translucent face of the default switch.
    if (p.side == LabelSide::Inside &&
        (p.bitmap == 10050 || p.bitmap == 10052 || p.bitmap == 10053))
        text(cr, p.label, r.x + 2, r.y, r.w - 4, r.h, 7.0, Align::Centre, true, kInsideLabel);
}

void paintMorphRecess(cairo_t* cr, int sizeIndex) {
    const double k = kScale[sizeIndex];
    const PixelRect m = morphSliderRect(sizeIndex);
    const Rect r = {m.x / k, m.y / k, m.w / k, m.h / k};
    fillRounded(cr, r.x - 2, r.y - 2, r.w + 4, r.h + 4, 3, kScreen);
    strokeRounded(cr, r.x - 1.5, r.y - 1.5, r.w + 3, r.h + 3, 3, kScreenEdge, 1);
    // Index marks level with the middle of the window, in the slider's margins.
    const double mid = r.y + std::floor(m.h / 2.0) / k;
    const double margin = std::round(m.w * 0.16) / k;
    setColour(cr, kLightBlue);
    cairo_move_to(cr, r.x, mid - margin * 0.8);
    cairo_line_to(cr, r.x + margin * 0.9, mid);
    cairo_line_to(cr, r.x, mid + margin * 0.8);
    cairo_close_path(cr);
    cairo_move_to(cr, r.x + r.w, mid - margin * 0.8);
    cairo_line_to(cr, r.x + r.w - margin * 0.9, mid);
    cairo_line_to(cr, r.x + r.w, mid + margin * 0.8);
    cairo_close_path(cr);
    cairo_fill(cr);
    text(cr, "A", r.x - 12, r.y, 9, 10, 7, Align::Right, true, withAlpha(kLightBlue, 0.8));
    text(cr, "B", r.x - 12, r.y + r.h - 10, 9, 10, 7, Align::Right, true, withAlpha(kAmber, 0.8));
}

void paintScreenPanel(cairo_t* cr, const Rect& r) {
    fillRounded(cr, r.x - 1, r.y - 1, r.w + 2, r.h + 2, 3, kScreen);
    strokeRounded(cr, r.x - 1.5, r.y - 1.5, r.w + 3, r.h + 3, 3.5, kScreenEdge, 1);
}

void paintXYPanel(cairo_t* cr, const Rect& r) {
    paintScreenPanel(cr, r);
    setColour(cr, rgb(255, 255, 255, 0.045));
    cairo_set_line_width(cr, 1);
    for (int i = 1; i < 4; ++i) {
        const double fx = r.x + r.w * i / 4, fy = r.y + r.h * i / 4;
        cairo_move_to(cr, fx, r.y);
        cairo_line_to(cr, fx, r.y + r.h);
        cairo_move_to(cr, r.x, fy);
        cairo_line_to(cr, r.x + r.w, fy);
    }
    cairo_stroke(cr);
    text(cr, "X", r.x + r.w - 12, r.y + r.h - 11, 10, 9, 7, Align::Right, true,
         withAlpha(kMidBlue, 0.7));
    text(cr, "Y", r.x + 3, r.y + 2, 10, 9, 7, Align::Left, true, withAlpha(kMidBlue, 0.7));
}

// The arpeggiator grid's cells, in pixels (the grid has per-size tables).
void paintArpPanel(cairo_t* cr, int sizeIndex) {
    const double k = kScale[sizeIndex];
    const PixelRect a = kArpRect[sizeIndex];
    cairo_save(cr);
    cairo_identity_matrix(cr);
    const double stepW = kArpStepWidth[sizeIndex], rowH = kArpRowHeight[sizeIndex];
    const double gridTop = a.y + kArpLedOffset[sizeIndex];
    fillRounded(cr, a.x - k, a.y - k, a.w + 2 * k, a.h + 2 * k, 3 * k, kScreen);
    strokeRounded(cr, a.x - 1.5 * k, a.y - 1.5 * k, a.w + 3 * k, a.h + 3 * k, 3.5 * k, kScreenEdge,
                  k);
    // LED band.
    cairo_rectangle(cr, a.x, a.y, a.w, kArpLedOffset[sizeIndex]);
    setColour(cr, rgb(255, 255, 255, 0.025));
    cairo_fill(cr);
    // Rows: the switch rows a shade apart from the value rows.
    for (int r = 0; r < 8; ++r) {
        const double top = gridTop + std::floor(r * rowH);
        const double bottom = gridTop + std::floor((r + 1) * rowH);
        cairo_rectangle(cr, a.x, top, a.w, bottom - top);
        const double shade = r == 0 ? 0.05 : (r % 2 ? 0.022 : 0.038);
        setColour(cr, withAlpha(kLightBlue, shade));
        cairo_fill(cr);
    }
    // Columns, with a stronger line every four steps.
    for (int i = 1; i < 16; ++i) {
        const double x = a.x + std::floor(i * stepW);
        cairo_rectangle(cr, x, a.y + (i % 4 ? kArpLedOffset[sizeIndex] : 0),
                        std::max(1.0, k * 0.75), a.h - (i % 4 ? kArpLedOffset[sizeIndex] : 0));
        setColour(cr, i % 4 ? rgb(255, 255, 255, 0.05) : withAlpha(kMidBlue, 0.35));
        cairo_fill(cr);
    }
    cairo_rectangle(cr, a.x, gridTop, a.w, std::max(1.0, k * 0.75));
    setColour(cr, withAlpha(kMidBlue, 0.45));
    cairo_fill(cr);
    // Row names to the left of the grid.
    static constexpr const char* kRows[8] = {"Step", "Tie",   "Slide", "Tune",
                                             "Vel",  "Chord", "Free",  "Ratch"};
    for (int r = 0; r < 8; ++r) {
        const double top = gridTop + std::floor(r * rowH);
        text(cr, kRows[r], a.x - 34 * k, top, 31 * k, rowH, 6.8 * k, Align::Right, false, kLabel);
    }
    text(cr, "Play", a.x - 34 * k, a.y, 31 * k, kArpLedOffset[sizeIndex], 6.8 * k, Align::Right,
         false, kCaption);
    cairo_restore(cr);
}

void paintModPanel(cairo_t* cr, int sizeIndex) {
    const double k = kScale[sizeIndex];
    const PixelRect m = kModRect[sizeIndex];
    cairo_save(cr);
    cairo_identity_matrix(cr);
    fillRounded(cr, m.x - k, m.y - k, m.w + 2 * k, m.h + 2 * k, 3 * k, kScreen);
    strokeRounded(cr, m.x - 1.5 * k, m.y - 1.5 * k, m.w + 3 * k, m.h + 3 * k, 3.5 * k, kScreenEdge,
                  k);
    const double rowH = kModRowHeight[sizeIndex];
    for (int r = 0; r < 8; ++r) {
        const double top = m.y + std::floor(r * rowH) + (sizeIndex == 0 ? 1 : 0);
        if (top + rowH > m.y + m.h + 1) break;
        if (r % 2 == 0) {
            cairo_rectangle(cr, m.x, top, kModColEnd[sizeIndex][3], rowH);
            setColour(cr, withAlpha(kLightBlue, 0.035));
            cairo_fill(cr);
        }
    }
    for (int c = 0; c < 3; ++c) {
        cairo_rectangle(cr, m.x + kModColEnd[sizeIndex][c], m.y, std::max(1.0, 0.75 * k), m.h);
        setColour(cr, rgb(255, 255, 255, 0.06));
        cairo_fill(cr);
    }
    // Scroll bar track.
    cairo_rectangle(cr, m.x + kModColEnd[sizeIndex][3], m.y, kModScrollWidth[sizeIndex], m.h);
    setColour(cr, rgb(255, 255, 255, 0.04));
    cairo_fill(cr);
    static constexpr const char* kColumns[4] = {"#", "Source", "Destination", "Amount"};
    for (int c = 0; c < 4; ++c) {
        text(cr, kColumns[c], m.x + kModColStart[sizeIndex][c], m.y - 12 * k,
             kModColWidth[sizeIndex][c], 9 * k, 7 * k, Align::Centre, false, kLabel);
    }
    cairo_restore(cr);
}

void paintWavePanel(cairo_t* cr, const Rect& r, int sizeIndex, bool partials) {
    paintScreenPanel(cr, r);
    cairo_set_line_width(cr, 1);
    if (!partials) {
        setColour(cr, withAlpha(kMidBlue, 0.35));
        cairo_move_to(cr, r.x, r.y + r.h / 2);
        cairo_line_to(cr, r.x + r.w, r.y + r.h / 2);
        cairo_stroke(cr);
        setColour(cr, rgb(255, 255, 255, 0.04));
        for (int i = 1; i < 8; ++i) {
            if (i == 4) continue;
            cairo_move_to(cr, r.x, r.y + r.h * i / 8);
            cairo_line_to(cr, r.x + r.w, r.y + r.h * i / 8);
        }
        for (int i = 1; i < 8; ++i) {
            cairo_move_to(cr, r.x + r.w * i / 8, r.y);
            cairo_line_to(cr, r.x + r.w * i / 8, r.y + r.h);
        }
        cairo_stroke(cr);
        return;
    }
    // Partials view: amplitudes above, phases below, the side panel on the right.
    const double k = kScale[sizeIndex];
    const double panel = static_cast<int>(160 * k) / k;
    const double area = r.w - panel;
    cairo_rectangle(cr, r.x + area, r.y, panel, r.h);
    setColour(cr, rgb(255, 255, 255, 0.03));
    cairo_fill(cr);
    setColour(cr, withAlpha(kMidBlue, 0.35));
    cairo_move_to(cr, r.x, r.y + r.h / 2);
    cairo_line_to(cr, r.x + area, r.y + r.h / 2);
    cairo_move_to(cr, r.x + area, r.y);
    cairo_line_to(cr, r.x + area, r.y + r.h);
    cairo_stroke(cr);
    // The names of the two halves go in the side panel's corners, beside the
    // divider: the partial area belongs to the bars and the axis labels, and
    // the miniature wave keeps to the middle half of the panel.
    text(cr, "AMPLITUDE", r.x + area + 4, r.y + 2, panel - 8, 9, 6.5, Align::Left, true,
         withAlpha(kMidBlue, 0.6));
    text(cr, "PHASE", r.x + area + 4, r.y + r.h - 11, panel - 8, 9, 6.5, Align::Left, true,
         withAlpha(kMidBlue, 0.6));
}

void paintEnvPanel(cairo_t* cr, const Rect& r) {
    paintScreenPanel(cr, r);
    setColour(cr, rgb(255, 255, 255, 0.04));
    cairo_set_line_width(cr, 1);
    for (int i = 1; i < 4; ++i) {
        cairo_move_to(cr, r.x, r.y + r.h * i / 4);
        cairo_line_to(cr, r.x + r.w, r.y + r.h * i / 4);
    }
    cairo_stroke(cr);
}

// A menu with a picture (the ECS menu) draws nothing of its own: its picture
// stands in the background, pixel for pixel where the menu's rectangle is.
void paintMenuPicture(cairo_t* cr, const ControlPlace& p, const Rect& r, int sizeIndex) {
    const double k = kScale[sizeIndex];
    const BitmapSize f = frameSize(p.bitmap, sizeIndex);
    cairo_save(cr);
    cairo_translate(cr, r.x, r.y);
    cairo_scale(cr, 1.0 / k, 1.0 / k);
    cairo_rectangle(cr, 0, 0, f.width, f.height);
    cairo_clip(cr);
    paintBitmapFrames(cr, p.bitmap, sizeIndex);
    cairo_restore(cr);
}

// Fields, labels and screen panels of every control shown on a background:
// the frame's controls of a screen (page 0) or a page's controls.
void paintPlaces(cairo_t* cr, int sizeIndex, unsigned screen, int page, int variant) {
    const bool backScreen = screen == kBackScreen;
    for (const auto& p : controlPlaces()) {
        if (p.page != page) continue;
        if (page == 0 && !(p.screens & screen)) continue;
        const Rect r = placeRect(p, sizeIndex);
        switch (p.kind) {
        case PlaceKind::Menu:
            if (p.bitmap == 0)
                paintField(cr, r);
            else
                paintMenuPicture(cr, p, r, sizeIndex);
            break;
        case PlaceKind::Readout:
            paintField(cr, r);
            break;
        case PlaceKind::Title: {
            // The title may run past its (smaller) click area.
            const double width = textWidth(cr, p.label, 9.5, true);
            text(cr, p.label, r.x, r.y, width, r.h, 9.5, Align::Left, true, kLightBlue);
            paintDownArrow(cr, r.x + width + 2.5, r.y + r.h / 2 - 1.5, 5,
                           withAlpha(kLightBlue, 0.8));
            continue;
        }
        case PlaceKind::Slider:
            if (p.bitmap == 10040) {
                paintMorphRecess(cr, sizeIndex);
            } else {
                fillRounded(cr, r.x - 1, r.y - 1, r.w + 2, r.h + 2, 3, rgb(0, 0, 0, 0.25));
            }
            break;
        case PlaceKind::Screen: {
            const char* name = p.label;
            if (!std::strcmp(name, "xy")) paintXYPanel(cr, r);
            if (!std::strcmp(name, "arp")) paintArpPanel(cr, sizeIndex);
            if (!std::strcmp(name, "mod")) paintModPanel(cr, sizeIndex);
            if (!std::strcmp(name, "wave")) paintWavePanel(cr, r, sizeIndex, variant == 2);
            if (!std::strcmp(name, "env")) paintEnvPanel(cr, r);
            continue;
        }
        default:
            break;
        }
        paintCaption(cr, p, r, backScreen);
    }
}

// ------------------------------------------------------------------ whole bitmaps

void paintMain(cairo_t* cr, int id, int sizeIndex) {
    const double k = kScale[sizeIndex];
    cairo_scale(cr, k, k);
    const int variant = id - 10000;
    paintBase(cr, variant == 0 ? kArpPage : kWavePage);
    paintPlaces(cr, sizeIndex, variant == 0 ? kArpPage : kWavePage, 0, variant);
}

void paintBack(cairo_t* cr, int sizeIndex) {
    const double k = kScale[sizeIndex];
    cairo_scale(cr, k, k);
    verticalGradient(cr, 0, 0, 1132, 779, kPanelTop, kPanelBottom);
    paintHeader(cr, false);

    const Section settings = {12, 140, 528, 470, "SETTINGS", 28, 148, 200};
    paintSectionBox(cr, settings);
    text(cr, "TIPS", 28, 212, 80, 10, 7.5, Align::Left, true, kLabel);
    double y = 228;
    for (const char* hint : backScreenTips()) {
        fillRounded(cr, 32, y + 3.5, 3, 3, 1.5, withAlpha(kLightBlue, 0.8));
        text(cr, hint, 42, y, 460, 10, 8.5, Align::Left, false, kInsideLabel);
        y += 18;
    }
    text(cr, "MIDI", 28, 394, 80, 10, 7.5, Align::Left, true, kLabel);
    paintPlaces(cr, sizeIndex, kBackScreen, 0, 3);

    // The right-hand plate: the logo over a morphing wave.
    const Section plate = {560, 140, 552, 470, nullptr, 0, 0, 0};
    paintSectionBox(cr, plate);
    cairo_save(cr);
    roundedRect(cr, plate.x + 1, plate.y + 1, plate.w - 2, plate.h - 2, 5);
    cairo_clip(cr);
    for (int line = 0; line < 12; ++line) {
        const double t = line / 11.0;
        const double baseY = 420 + line * 9;
        cairo_move_to(cr, plate.x, baseY);
        for (int i = 0; i <= 220; ++i) {
            const double x = plate.x + plate.w * i / 220.0;
            const double ph = 2 * kPi * 3 * i / 220.0;
            const double sine = std::sin(ph);
            const double saw = 2 * (std::fmod(ph / (2 * kPi), 1.0)) - 1;
            cairo_line_to(cr, x, baseY - 26 * ((1 - t) * sine + t * saw));
        }
        setColour(cr, withAlpha(kLightBlue, 0.05 + 0.22 * (1 - t)));
        cairo_set_line_width(cr, 1.2);
        cairo_stroke(cr);
    }
    cairo_restore(cr);
    paintLogo(cr, plate.x + 60, 220, plate.w - 120, 110);
    text(cr, "by Haldmer", plate.x, 340, plate.w, 14, 10, Align::Centre, false, kLabel);

    text(cr, "Click anywhere outside the settings to return to the synthesizer.", 0, 660, 1132, 16,
         10, Align::Centre, false, kCaption);
}

void paintPage(cairo_t* cr, int id, int sizeIndex) {
    const double k = kScale[sizeIndex];
    const PagePlace* place = nullptr;
    for (const auto& p : kPages)
        if (p.id == id) place = &p;
    if (!place) return;
    cairo_save(cr);
    cairo_translate(cr, -scaled(place->x, sizeIndex), -scaled(place->y, sizeIndex));
    cairo_scale(cr, k, k);
    paintBase(cr, 0);
    cairo_restore(cr);
    cairo_scale(cr, k, k);
    paintPlaces(cr, sizeIndex, 0, id, 0);
}

void paintLogoPlate(cairo_t* cr, int sizeIndex) {
    const double k = kScale[sizeIndex];
    cairo_scale(cr, k, k);
    fillRounded(cr, 0, 0, 296, 45, 5, rgb(19, 23, 28));
    paintLogo(cr, 8, 0, 280, 45);
}

} // namespace

void paintPanel(cairo_t* cr, int designId, int sizeIndex) {
    switch (designId) {
    case 10000:
    case 10001:
    case 10002:
        paintMain(cr, designId, sizeIndex);
        break;
    case 10003:
        paintBack(cr, sizeIndex);
        break;
    case 10004:
        paintLogoPlate(cr, sizeIndex);
        break;
    default:
        paintPage(cr, designId, sizeIndex);
        break;
    }
}

} // namespace ondix::artwork::paint

namespace ondix::artwork {

std::span<const char* const> backScreenTips() {
    // The section titles named here are the ones that carry a menu button.
    static constexpr const char* kTips[] = {
        "Right-click a control for its menu.",
        "Double-click or Ctrl-click a knob: default value.",
        "Alt-click a knob: value of the loaded preset.",
        "Hold Shift while dragging for fine steps.",
        "Drag a knob onto the modulation matrix to modulate it.",
        "Click the OSCILLATOR, FILTER or MODULATION title for reset, copy and paste.",
    };
    return kTips;
}

bool captionBox(const ControlPlace& p, int sizeIndex, CaptionBox& box) {
    if (sizeIndex < 0 || sizeIndex >= kSizeCount) return false;
    using namespace paint;
    const bool backScreen = p.page == 0 && p.screens == kBackScreen;
    Caption c{};
    if (!captionOf(p, placeRect(p, sizeIndex), backScreen, c)) return false;
    // As text() sets it: the width measured (and the size shrunk to fit the
    // box), the capitals centred in the box, 0.73 of the size tall.
    cairo_surface_t* scratch = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    cairo_t* cr = cairo_create(scratch);
    double size = c.size;
    double width = textWidth(cr, p.label, size, c.bold);
    if (width > c.w) {
        size *= c.w / width;
        width = textWidth(cr, p.label, size, c.bold);
    }
    cairo_destroy(cr);
    cairo_surface_destroy(scratch);
    double left = c.x;
    if (c.align == Align::Centre) left = c.x + (c.w - width) / 2;
    if (c.align == Align::Right) left = c.x + c.w - width;
    const double k = kScale[sizeIndex];
    const double middle = c.y + c.h / 2;
    box = {left * k, (middle - 0.365 * size) * k, (left + width) * k, (middle + 0.365 * size) * k};
    return true;
}

} // namespace ondix::artwork
