// The XY pad menu: the pad's display and editing options, the XY section's
// reset, copy, paste and preset files, path shapes and transformations,
// typed positions and the MIDI latching of the pad's two MIDI axes.
//
// Every outcome but "Undo" (a dismissed menu too) first retakes the XY undo
// snapshot, so the command that follows can be taken back.
//
// The engine is reset after a paste or a reversal on the audio thread's next
// tick (APlugin::requestReset), never from here.
//
// The path is 128 points, point i at tags 459 + i (x) and 587 + i (y), each
// 0..1 with y up. The shapes and transformations work on the points as
// -1..1 coordinates and write every point back through APlugin::setXY, which
// clamps them.

#include "controls/txyscreen.h"
#include "core/aplugin.h"
#include "core/section_tags.h"
#include "editor/popup_menu.h"
#include "editor/section_presets.h"
#include "editor/ueditor.h"
#include "platform/dialogs.h"
#include "platform/file_helpers.h"
#include "platform/prefs.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>
#include <span>
#include <string>

using namespace VSTGUI;

namespace {

constexpr int kPoints = tag::XYPointCount;
// The shapes' constants: an angle of pi and the last point's share of a turn.
constexpr float kPi = 3.14159f;
constexpr float kLastPoint = 127.9999f;
// Rotations beyond ten half turns either way are held there.
constexpr float kMaxRotation = 31.415924f;

constexpr const char* kInfoLines[] = {
    "-GLeft Click: Change value",
    "-GLeft Click + Control: Set to default in live mode",
    "-GLeft Click + Control: Show this menu",
    "-GLeft Click + Command: Set value",
    "-GLeft Click + Opt: Set to original value",
    "-GDouble Click: Set to default in live mode",
    "-GRight Click: Show this menu",
};

constexpr std::array<const char*, 3> kGroupingTitles = {
    "Edit Grouping Single", "Edit Grouping Narrow", "Edit Grouping Wide"};

constexpr const char* kShapeTitles[] = {
    "Set to Circle",        "Set to Square",    "Set to Horizontal Line", "Set to Vertical Line",
    "Set to Diagonal Line", "Set to Spiral In", "Set to Spiral Out",
};

// The six XY modulation amounts (X1, Y1, X2, Y2 and the two morph amounts)
// and the four XY destinations.
constexpr int kFirstXYAmount = tag::XYModAmountFirst;
constexpr int kLastXYAmount = tag::XYYToMorph;
constexpr int kFirstXYDest = tag::XYModDestFirst;
constexpr int kLastXYDest = tag::XYModDestFirst + tag::XYModCount - 1;

// ------------------------------------------------------------------ questions

// Asks in the input box; nullopt when the answer is empty (cancelled),
// otherwise the answer with everything but digits, signs and points removed.
std::optional<std::string> ask(const char* prompt, const char* title, const char* start) {
    char buffer[TEXT_BUFFER_SIZE] = {};
    std::strncpy(buffer, start, sizeof buffer - 1);
    inputBox(prompt, title, buffer);
    std::string answer = buffer;
    if (answer.empty()) return std::nullopt;
    stripAllButNum(answer);
    return answer;
}

// The whole number the text starts with; 0 when it starts with none.
int leadingInt(const std::optional<std::string>& text) {
    int value = 0;
    if (!text || !parseLeadingInt(*text, value)) return 0;
    return value;
}

// The decimal number the text starts with (a point as separator whatever
// the locale); 0 when it starts with none.
double leadingNumber(const std::string& text) {
    std::string_view s = text;
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    double value = 0.0;
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
    return error == std::errc() ? value : 0.0;
}

// ------------------------------------------------------------------ the path

struct Path {
    std::array<float, kPoints> x{};
    std::array<float, kPoints> y{};
};

Path readPath(APlugin& p) {
    Path path;
    for (int i = 0; i < kPoints; ++i) {
        path.x[static_cast<std::size_t>(i)] = 2.0f * p.getParameter(tag::xyPointX(i)) - 1.0f;
        path.y[static_cast<std::size_t>(i)] = 2.0f * p.getParameter(tag::xyPointY(i)) - 1.0f;
    }
    return path;
}

void writePath(APlugin& p, const Path& path) {
    for (int i = 0; i < kPoints; ++i)
        p.setXY(i, path.x[static_cast<std::size_t>(i)], path.y[static_cast<std::size_t>(i)]);
}

// A shape of 128 points; a path drawn where none was recorded gets a length.
template <class PointAt> void drawShape(APlugin& p, PointAt pointAt) {
    Path path;
    for (int i = 0; i < kPoints; ++i) {
        const auto [x, y] = pointAt(i);
        path.x[static_cast<std::size_t>(i)] = x;
        path.y[static_cast<std::size_t>(i)] = y;
    }
    writePath(p, path);
    p.setXYZeroTime();
}

struct Point {
    float x, y;
};

Point circlePoint(int i) {
    const float a = 2.0f * (static_cast<float>(i - 1) / kLastPoint) * kPi;
    return {std::sin(a), std::cos(a)};
}

Point squarePoint(int i) {
    const int j = i % 32;
    const float t = static_cast<float>(j) * 0.0625f - 1.0f;
    switch (i / 32) {
    case 0:
        return {-1.0f, t}; // up the left edge
    case 1:
        return {t, 1.0f}; // along the top
    case 2:
        return {1.0f, -t}; // down the right edge
    default:
        return {-t, -1.0f};
    }
}

float lineValue(int i) {
    return 2.0f * (static_cast<float>(i) / 127.0f) - 1.0f;
}

// A line through the centre at deg degrees, from edge to edge.
void drawDiagonal(APlugin& p, int deg) {
    const float a = 2.0f * (static_cast<float>(deg) / 360.0f) * kPi;
    const float m = std::max(std::fabs(std::sin(a)), std::fabs(std::cos(a)));
    drawShape(p, [&](int i) {
        const float t = lineValue(i);
        return Point{t * std::cos(a) / m, t * std::sin(a) / m};
    });
}

void drawSpiral(APlugin& p, float turns, bool outwards) {
    drawShape(p, [&](int i) {
        const float share = static_cast<float>(i) / kLastPoint;
        const float a = 2.0f * (turns * static_cast<float>(i) / kLastPoint) * kPi;
        const float r = outwards ? share : 1.0f - share;
        return Point{r * std::sin(a), r * std::cos(a)};
    });
}

// The path run backwards. With point quantisation only the editable points
// count: they are taken in reverse order and the path is drawn straight
// between them, closing from the last back to the first.
void reversePath(APlugin& p) {
    const Path old = readPath(p);
    Path path;
    const int q = std::clamp(p.getXYPointQuant(), 0, static_cast<int>(XY_QUANT_NUM.size()) - 1);
    if (q == 0) {
        for (std::size_t i = 0; i < kPoints; ++i) {
            path.x[i] = old.x[kPoints - 1 - i];
            path.y[i] = old.y[kPoints - 1 - i];
        }
    } else {
        const int n = XY_QUANT_NUM[static_cast<std::size_t>(q)];
        const int step = kPoints / n;
        auto reversed = [&](int k, bool yAxis) {
            const auto& axis = yAxis ? old.y : old.x;
            return axis[static_cast<std::size_t>((n - 1 - k) * step)];
        };
        for (int i = 0; i < kPoints; ++i) {
            const int s = i / step;
            const int next = s + 1 == n ? 0 : s + 1;
            const float f =
                static_cast<float>(i) / static_cast<float>(step) - static_cast<float>(s);
            const auto at = static_cast<std::size_t>(i);
            path.x[at] = (1.0f - f) * reversed(s, false) + f * reversed(next, false);
            path.y[at] = (1.0f - f) * reversed(s, true) + f * reversed(next, true);
        }
    }
    writePath(p, path);
    p.requestReset();
}

template <class Change> void transformPath(APlugin& p, Change change) {
    Path path = readPath(p);
    for (std::size_t i = 0; i < kPoints; ++i) change(path.x[i], path.y[i]);
    writePath(p, path);
}

void rotatePath(APlugin& p, int deg) {
    const float a =
        std::clamp(2.0f * (static_cast<float>(deg) / 360.0f) * kPi, -kMaxRotation, kMaxRotation);
    const float s = std::sin(a);
    const float c = std::cos(a);
    transformPath(p, [&](float& x, float& y) {
        const float px = x;
        x = px * c - y * s;
        y = px * s + y * c;
    });
}

// Each coordinate to the nearest of a grid of 1 / (g + 1) steps.
void snapPath(APlugin& p, int g) {
    if (g < 1 || g > 127) return;
    const auto grid = static_cast<float>(g + 1);
    transformPath(p, [&](float& x, float& y) {
        x = std::round(grid * x) / grid;
        y = std::round(grid * y) / grid;
    });
}

// Each point to the middle of its two neighbours; the ends count as their
// own outer neighbour.
void smoothPath(APlugin& p) {
    const Path old = readPath(p);
    Path path;
    for (std::size_t i = 0; i < kPoints; ++i) {
        const std::size_t before = i == 0 ? 0 : i - 1;
        const std::size_t after = i == kPoints - 1 ? i : i + 1;
        path.x[i] = (old.x[before] + old.x[after]) / 2.0f;
        path.y[i] = (old.y[before] + old.y[after]) / 2.0f;
    }
    writePath(p, path);
}

void scalePath(APlugin& p, int percent) {
    const float f = static_cast<float>(percent) / 100.0f;
    if (f <= 0.001f) return;
    transformPath(p, [&](float& x, float& y) {
        x *= f;
        y *= f;
    });
}

// ------------------------------------------------------------------ MIDI

// The highest controller latched to a tag, -1 when none.
int latchedController(int t) {
    int found = -1;
    for (int cc = 0; cc < 128; ++cc)
        if (getMidiCC(cc) == t) found = cc;
    return found;
}

std::string midiLine() {
    const int x = latchedController(tag::XYMidiX);
    const int y = latchedController(tag::XYMidiY);
    std::string line = x < 0 ? "-GX Not Latched" : "-GX Latched to CC " + std::to_string(x);
    line += y < 0 ? ", Y Not Latched" : ", Y Latched to CC " + std::to_string(y);
    return line;
}

} // namespace

void uEditor::showXYMenu() {
    APlugin* p = plugin();
    if (!p) return;
    EditorPopup menu(*this, 10);
    if (!menu.valid()) return;
    TXYScreen* pad = controls.xy.screen;

    menu.add("-GXY Command Menu");
    COptionMenu* info = menu.addSubmenu("Info");
    for (const char* line : kInfoLines) menu.add(line, info);
    for (const char* title :
         {"-", "Set Oscillator / Output Display: On", "Set Oscillator / Output Display: Off",
          "Set To Oscillator Display", "Set To Output Display", "-"})
        menu.add(title);
    const bool editOn = p->getOnOff(tag::XYEditOn);
    menu.add(editOn ? "Edit Positions : On" : "Edit Positions : Off");
    for (std::size_t g = 0; g < kGroupingTitles.size(); ++g)
        menu.add(std::string(kGroupingTitles[g]) +
                 (static_cast<int>(g) == xyGrouping ? " <<<" : ""));
    for (const char* title :
         {"-", "Reset All XY Settings", "Set XY to Original Settings", "Reset XY Position",
          "Reset XY Modulations", "Clear XY Modulations", "Reset XY Modulation Amounts", "Copy XY",
          "Paste XY", "Load XY Preset", "Save XY Preset", "-"})
        menu.add(title);
    COptionMenu* shapes = menu.addSubmenu("Presets");
    for (const char* title : kShapeTitles) menu.add(title, shapes);
    for (const char* title :
         {"Reverse", "Flip Horizontally", "Flip Vertically", "Rotate", "Snap to grid", "Smooth",
          "Scale X and Y", "Set X", "Set Y", "Set X and Y", "Undo", "-"})
        menu.add(title);
    menu.add(midiLine());
    for (const char* title : {"-", "Latch X To MIDI", "Latch Y To MIDI", "Set X MIDI CC",
                              "Set Y MIDI CC", "Unlatch X/Y MIDI"})
        menu.add(title);

    menu.show();
    const std::string& choice = menu.rootChoice();
    if (choice == "Undo") {
        doXYUndo();
        return;
    }
    setXYUndo();

    const std::span<const int> section(xyTags.data(), static_cast<std::size_t>(xyTagCount));
    TagStore& copy = stores.clipboard[kXYSection];
    const int point = xyPoint;

    // Display and editing options.
    if (choice == "Set Oscillator / Output Display: On" ||
        choice == "Set Oscillator / Output Display: Off") {
        setDrawOsc(choice.ends_with("On"));
    } else if (choice == "Set To Oscillator Display" || choice == "Set To Output Display") {
        prefs.oscOut = choice == "Set To Output Display";
        if (pad) pad->setOscMode(prefs.oscOut);
        setRegValue(REG_OSC_OUT_STR, prefs.oscOut);
    } else if (choice == "Edit Positions : Off") {
        p->setOn(tag::XYEditOn);
    } else if (choice == "Edit Positions : On") {
        p->setOff(tag::XYEditOn);
    } else if (const auto g = std::find(kGroupingTitles.begin(), kGroupingTitles.end(), choice);
               g != kGroupingTitles.end()) {
        xyGrouping = static_cast<int>(g - kGroupingTitles.begin());
        if (pad) pad->setGrouping(xyGrouping);
    }

    // The section.
    else if (choice == "Reset All XY Settings") {
        for (int t : section) p->setToDefault(t);
    } else if (choice == "Set XY to Original Settings") {
        setXYToOrig();
    } else if (choice == "Reset XY Position") {
        p->setXY(0.5f, 0.5f);
        p->setUpdateXY(true);
    } else if (choice == "Reset XY Modulations") {
        p->setToDefaultRange(kFirstXYAmount, kLastXYAmount);
        p->setToDefaultRange(kFirstXYDest, kLastXYDest);
    } else if (choice == "Clear XY Modulations") {
        p->setToDefaultRange(kFirstXYAmount, kLastXYAmount);
        for (int t = kFirstXYDest; t <= kLastXYDest; ++t) p->setParameter(t, 0.0f);
    } else if (choice == "Reset XY Modulation Amounts") {
        p->setToDefaultRange(kFirstXYAmount, kLastXYAmount);
    } else if (choice == "Copy XY") {
        for (int t : section) copy.value[t] = p->getParameter(t);
        copy.valid = true;
    } else if (choice == "Paste XY") {
        if (copy.valid) {
            for (int t : section) p->setParameter(t, copy.value[t]);
            p->requestReset();
        }
    } else if (choice == "Load XY Preset") {
        section_presets::loadSectionPreset(*p, section_presets::XY_PRESET, section);
    } else if (choice == "Save XY Preset") {
        section_presets::saveSectionPreset(*p, section_presets::XY_PRESET, section);
    }

    // Path transformations.
    else if (choice == "Reverse") {
        reversePath(*p);
    } else if (choice == "Flip Horizontally") {
        transformPath(*p, [](float& x, float&) { x = -x; });
    } else if (choice == "Flip Vertically") {
        transformPath(*p, [](float&, float& y) { y = -y; });
    } else if (choice == "Rotate") {
        rotatePath(*p, leadingInt(ask("Angle to rotate (0 to 360 deg)", "XY Rotation", "0")));
    } else if (choice == "Snap to grid") {
        snapPath(*p, leadingInt(ask("Grid size (0 for no grid)", "XY Grid", "0")));
    } else if (choice == "Smooth") {
        smoothPath(*p);
    } else if (choice == "Scale X and Y") {
        scalePath(*p, leadingInt(ask("Scale amount in %", "XY Scaling", "100")));
    }

    // Typed position: the path point the pad's gesture was on, or the pad.
    else if (choice == "Set X" || choice == "Set X and Y") {
        p->setNumValue(point >= 0 ? tag::xyPointX(point) : tag::XYX);
        if (choice == "Set X and Y") p->setNumValue(point >= 0 ? tag::xyPointY(point) : tag::XYY);
    } else if (choice == "Set Y") {
        p->setNumValue(point >= 0 ? tag::xyPointY(point) : tag::XYY);
    }

    // The pad's MIDI axes.
    else if (choice == "Latch X To MIDI") {
        p->setMIDILatch(tag::XYMidiX, true);
    } else if (choice == "Latch Y To MIDI") {
        p->setMIDILatch(tag::XYMidiY, true);
    } else if (choice == "Set X MIDI CC") {
        p->setMIDICCNum(tag::XYMidiX);
    } else if (choice == "Set Y MIDI CC") {
        p->setMIDICCNum(tag::XYMidiY);
    } else if (choice == "Unlatch X/Y MIDI") {
        p->setMIDILatch(tag::XYMidiX, false);
        p->setMIDILatch(tag::XYMidiY, false);
    }

    // Path shapes, from the "Presets" submenu.
    if (menu.choiceSubmenu() != shapes) return;
    const std::string& shape = menu.itemChoice();
    if (shape == "Set to Circle") {
        drawShape(*p, circlePoint);
    } else if (shape == "Set to Square") {
        drawShape(*p, squarePoint);
    } else if (shape == "Set to Horizontal Line") {
        drawShape(*p, [](int i) { return Point{lineValue(i), 0.0f}; });
    } else if (shape == "Set to Vertical Line") {
        drawShape(*p, [](int i) { return Point{0.0f, lineValue(i)}; });
    } else if (shape == "Set to Diagonal Line") {
        if (const auto answer = ask("Angle to rotate (0 to 360 deg)", "XY Diagonal Line", "45"))
            drawDiagonal(*p, leadingInt(answer));
    } else if (shape == "Set to Spiral In" || shape == "Set to Spiral Out") {
        if (const auto answer = ask("Turns of Spiral", "XY Spiral", "4.0")) {
            const auto turns =
                static_cast<float>(std::clamp(leadingNumber(*answer), -1000.0, 1000.0));
            drawSpiral(*p, turns, shape == "Set to Spiral Out");
        }
    }
}
