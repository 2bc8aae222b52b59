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
#include "core/numeric.h"
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
    "-GLeft Click + Super: Show this menu",
    "-GLeft Click + Ctrl: Set value",
    "-GLeft Click + Alt: Set to original value",
    "-GDouble Click: Set to default in live mode",
    "-GRight Click: Show this menu",
};

enum class XYCommand {
    None,
    DrawOscOn,
    DrawOscOff,
    OscillatorDisplay,
    OutputDisplay,
    EditPositionsOn,
    EditPositionsOff,
    SetGrouping, // argument: the grouping
    ResetAll,
    SetToOriginal,
    ResetPosition,
    ResetModulations,
    ClearModulations,
    ResetModulationAmounts,
    Copy,
    Paste,
    LoadPreset,
    SavePreset,
    Circle,
    Square,
    HorizontalLine,
    VerticalLine,
    DiagonalLine,
    SpiralIn,
    SpiralOut,
    Reverse,
    FlipHorizontally,
    FlipVertically,
    Rotate,
    SnapToGrid,
    Smooth,
    Scale,
    SetX,
    SetY,
    SetXAndY,
    Undo,
    LatchX,
    LatchY,
    SetXController,
    SetYController,
    UnlatchXY
};

constexpr MenuEntry<XYCommand> DISPLAY_COMMANDS[] = {
    {"-", XYCommand::None},
    {"Set Oscillator / Output Display: On", XYCommand::DrawOscOn},
    {"Set Oscillator / Output Display: Off", XYCommand::DrawOscOff},
    {"Set To Oscillator Display", XYCommand::OscillatorDisplay},
    {"Set To Output Display", XYCommand::OutputDisplay},
    {"-", XYCommand::None},
};

constexpr MenuSwitch<XYCommand> EDIT_POSITIONS_SWITCH = {
    {"Edit Positions : On", XYCommand::EditPositionsOff},
    {"Edit Positions : Off", XYCommand::EditPositionsOn}};

// The current grouping is marked with " <<<".
constexpr std::array<const char*, 3> kGroupingTitles = {
    "Edit Grouping Single", "Edit Grouping Narrow", "Edit Grouping Wide"};

constexpr MenuEntry<XYCommand> SECTION_COMMANDS[] = {
    {"-", XYCommand::None},
    {"Reset All XY Settings", XYCommand::ResetAll},
    {"Set XY to Original Settings", XYCommand::SetToOriginal},
    {"Reset XY Position", XYCommand::ResetPosition},
    {"Reset XY Modulations", XYCommand::ResetModulations},
    {"Clear XY Modulations", XYCommand::ClearModulations},
    {"Reset XY Modulation Amounts", XYCommand::ResetModulationAmounts},
    {"Copy XY", XYCommand::Copy},
    {"Paste XY", XYCommand::Paste},
    {"Load XY Preset", XYCommand::LoadPreset},
    {"Save XY Preset", XYCommand::SavePreset},
    {"-", XYCommand::None},
};

// The "Presets" submenu.
constexpr MenuEntry<XYCommand> SHAPE_COMMANDS[] = {
    {"Set to Circle", XYCommand::Circle},
    {"Set to Square", XYCommand::Square},
    {"Set to Horizontal Line", XYCommand::HorizontalLine},
    {"Set to Vertical Line", XYCommand::VerticalLine},
    {"Set to Diagonal Line", XYCommand::DiagonalLine},
    {"Set to Spiral In", XYCommand::SpiralIn},
    {"Set to Spiral Out", XYCommand::SpiralOut},
};

constexpr MenuEntry<XYCommand> PATH_COMMANDS[] = {
    {"Reverse", XYCommand::Reverse},
    {"Flip Horizontally", XYCommand::FlipHorizontally},
    {"Flip Vertically", XYCommand::FlipVertically},
    {"Rotate", XYCommand::Rotate},
    {"Snap to grid", XYCommand::SnapToGrid},
    {"Smooth", XYCommand::Smooth},
    {"Scale X and Y", XYCommand::Scale},
    {"Set X", XYCommand::SetX},
    {"Set Y", XYCommand::SetY},
    {"Set X and Y", XYCommand::SetXAndY},
    {"Undo", XYCommand::Undo},
    {"-", XYCommand::None},
};

// Below the line that tells what the axes are latched to.
constexpr MenuEntry<XYCommand> MIDI_COMMANDS[] = {
    {"-", XYCommand::None},
    {"Latch X To MIDI", XYCommand::LatchX},
    {"Latch Y To MIDI", XYCommand::LatchY},
    {"Set X MIDI CC", XYCommand::SetXController},
    {"Set Y MIDI CC", XYCommand::SetYController},
    {"Unlatch X/Y MIDI", XYCommand::UnlatchXY},
};

// The six XY modulation amounts (X1, Y1, X2, Y2 and the two morph amounts)
// and the four XY destinations.
constexpr int kFirstXYAmount = tag::XYModAmountFirst;
constexpr int kLastXYAmount = tag::XYYToMorph;
constexpr int kFirstXYDest = tag::XYModDestFirst;
constexpr int kLastXYDest = tag::XYModDestFirst + tag::XYModCount - 1;

// ------------------------------------------------------------------ questions

// Asks in the input box; nullopt when the answer is empty (cancelled) or
// holds no number, otherwise the answer with everything but digits, signs
// and points removed.
std::optional<std::string> ask(const char* prompt, const char* title, const char* start) {
    char buffer[TEXT_BUFFER_SIZE] = {};
    std::strncpy(buffer, start, sizeof buffer - 1);
    inputBox(prompt, title, buffer);
    std::string answer = buffer;
    stripAllButNum(answer);
    if (!startsWithNumber(answer)) return std::nullopt;
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
    return error == std::errc() && !std::isnan(value) ? value : 0.0;
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
        clampTo(2.0f * (static_cast<float>(deg) / 360.0f) * kPi, -kMaxRotation, kMaxRotation);
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
    menu.addTable(DISPLAY_COMMANDS);
    menu.add(EDIT_POSITIONS_SWITCH.shown(p->getOnOff(tag::XYEditOn)));
    for (int g = 0; g < static_cast<int>(kGroupingTitles.size()); ++g)
        menu.add(std::string(kGroupingTitles[static_cast<std::size_t>(g)]) +
                     (g == xyGrouping ? " <<<" : ""),
                 XYCommand::SetGrouping, g);
    menu.addTable(SECTION_COMMANDS);
    COptionMenu* shapes = menu.addSubmenu("Presets");
    menu.addTable(SHAPE_COMMANDS, shapes);
    menu.addTable(PATH_COMMANDS);
    menu.add(midiLine());
    menu.addTable(MIDI_COMMANDS);

    menu.show();
    const XYCommand command = menu.command<XYCommand>();
    if (command == XYCommand::Undo) {
        doXYUndo();
        return;
    }
    setXYUndo();

    const std::span<const int> section(xyTags.data(), static_cast<std::size_t>(xyTagCount));
    TagStore& copy = stores.clipboard[kXYSection];
    const int point = xyPoint;
    auto setDisplay = [&](bool output) {
        prefs.oscOut = output;
        if (pad) pad->setOscMode(prefs.oscOut);
        setRegValue(REG_OSC_OUT_STR, prefs.oscOut);
    };
    auto spiral = [&](bool outwards) {
        if (const auto answer = ask("Turns of Spiral", "XY Spiral", "4.0")) {
            const auto turns = static_cast<float>(clampTo(leadingNumber(*answer), -1000.0, 1000.0));
            drawSpiral(*p, turns, outwards);
        }
    };

    switch (command) {
    case XYCommand::None:
    case XYCommand::Undo:
        break;

    // Display and editing options.
    case XYCommand::DrawOscOn:
        setDrawOsc(true);
        break;
    case XYCommand::DrawOscOff:
        setDrawOsc(false);
        break;
    case XYCommand::OscillatorDisplay:
        setDisplay(false);
        break;
    case XYCommand::OutputDisplay:
        setDisplay(true);
        break;
    case XYCommand::EditPositionsOn:
        p->setOn(tag::XYEditOn);
        break;
    case XYCommand::EditPositionsOff:
        p->setOff(tag::XYEditOn);
        break;
    case XYCommand::SetGrouping:
        xyGrouping = std::clamp(menu.argument(), 0, static_cast<int>(kGroupingTitles.size()) - 1);
        if (pad) pad->setGrouping(xyGrouping);
        break;

    // The section.
    case XYCommand::ResetAll:
        for (int t : section) p->setToDefault(t);
        break;
    case XYCommand::SetToOriginal:
        setXYToOrig();
        break;
    case XYCommand::ResetPosition:
        p->setXY(0.5f, 0.5f);
        p->setUpdateXY(true);
        break;
    case XYCommand::ResetModulations:
        p->setToDefaultRange(kFirstXYAmount, kLastXYAmount);
        p->setToDefaultRange(kFirstXYDest, kLastXYDest);
        break;
    case XYCommand::ClearModulations:
        p->setToDefaultRange(kFirstXYAmount, kLastXYAmount);
        for (int t = kFirstXYDest; t <= kLastXYDest; ++t) p->setParameter(t, 0.0f);
        break;
    case XYCommand::ResetModulationAmounts:
        p->setToDefaultRange(kFirstXYAmount, kLastXYAmount);
        break;
    case XYCommand::Copy:
        for (int t : section) copy.value[t] = p->getParameter(t);
        copy.valid = true;
        break;
    case XYCommand::Paste:
        if (copy.valid) {
            for (int t : section) p->setParameter(t, copy.value[t]);
            p->requestReset();
        }
        break;
    case XYCommand::LoadPreset:
        section_presets::loadSectionPreset(*p, section_presets::XY_PRESET, section);
        break;
    case XYCommand::SavePreset:
        section_presets::saveSectionPreset(*p, section_presets::XY_PRESET, section);
        break;

    // Path shapes, from the "Presets" submenu.
    case XYCommand::Circle:
        drawShape(*p, circlePoint);
        break;
    case XYCommand::Square:
        drawShape(*p, squarePoint);
        break;
    case XYCommand::HorizontalLine:
        drawShape(*p, [](int i) { return Point{lineValue(i), 0.0f}; });
        break;
    case XYCommand::VerticalLine:
        drawShape(*p, [](int i) { return Point{0.0f, lineValue(i)}; });
        break;
    case XYCommand::DiagonalLine:
        if (const auto answer = ask("Angle to rotate (0 to 360 deg)", "XY Diagonal Line", "45"))
            drawDiagonal(*p, leadingInt(answer));
        break;
    case XYCommand::SpiralIn:
        spiral(false);
        break;
    case XYCommand::SpiralOut:
        spiral(true);
        break;

    // Path transformations.
    case XYCommand::Reverse:
        reversePath(*p);
        break;
    case XYCommand::FlipHorizontally:
        transformPath(*p, [](float& x, float&) { x = -x; });
        break;
    case XYCommand::FlipVertically:
        transformPath(*p, [](float&, float& y) { y = -y; });
        break;
    case XYCommand::Rotate:
        if (const auto answer = ask("Angle to rotate (0 to 360 deg)", "XY Rotation", "0"))
            rotatePath(*p, leadingInt(answer));
        break;
    case XYCommand::SnapToGrid:
        if (const auto answer = ask("Grid size (0 for no grid)", "XY Grid", "0"))
            snapPath(*p, leadingInt(answer));
        break;
    case XYCommand::Smooth:
        smoothPath(*p);
        break;
    case XYCommand::Scale:
        if (const auto answer = ask("Scale amount in %", "XY Scaling", "100"))
            scalePath(*p, leadingInt(answer));
        break;

    // Typed position: the path point the pad's gesture was on, or the pad.
    case XYCommand::SetX:
        p->setNumValue(point >= 0 ? tag::xyPointX(point) : tag::XYX);
        break;
    case XYCommand::SetY:
        p->setNumValue(point >= 0 ? tag::xyPointY(point) : tag::XYY);
        break;
    case XYCommand::SetXAndY:
        p->setNumValue(point >= 0 ? tag::xyPointX(point) : tag::XYX);
        p->setNumValue(point >= 0 ? tag::xyPointY(point) : tag::XYY);
        break;

    // The pad's MIDI axes.
    case XYCommand::LatchX:
        p->setMIDILatch(tag::XYMidiX, true);
        break;
    case XYCommand::LatchY:
        p->setMIDILatch(tag::XYMidiY, true);
        break;
    case XYCommand::SetXController:
        p->setMIDICCNum(tag::XYMidiX);
        break;
    case XYCommand::SetYController:
        p->setMIDICCNum(tag::XYMidiY);
        break;
    case XYCommand::UnlatchXY:
        p->setMIDILatch(tag::XYMidiX, false);
        p->setMIDILatch(tag::XYMidiY, false);
        break;
    }
}
