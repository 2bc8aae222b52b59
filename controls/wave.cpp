#include "controls/wave.h"

#include "controls/control_access.h"
#include "core/aplugin.h"
#include "editor/gui_tables.h"
#include "editor/ueditor.h"

#include <algorithm>
#include <cmath>
#include <string>

using namespace VSTGUI;
using namespace ControlAccess;

namespace {

constexpr CMouseEventResult kDone = kMouseDownEventHandledButDontNeedMovedOrUpEvents;
constexpr int kLastSample = kWaveSize - 1;
constexpr int kLastPartial = kUserWavePartials - 1;
// The side panel's width and the partial labels' box, in design pixels.
constexpr float kPanelWidth = 160.0f;
constexpr float kLabelWidth = 32.0f;
constexpr float kLabelHeight = 16.0f;
// A partial drag ends once the pointer is this far right of the view's left
// edge (design pixels, plus kDragSlack pixels).
constexpr float kPartialDragLimit = 384.0f;
constexpr int kDragSlack = 10;
// The partial labels of the linear axis.
constexpr const char* kPartialLabels[] = {"016", "032", "048", "064", "080", "096", "112"};

enum ViewMode { kSamplesView = 0, kPartialsView = 1 };
enum DrawMode { kFreehand = 0, kLine = 1, kErase = 2 };

bool exponentialPartials(const APlugin& plugin) {
    return plugin.getOnOff(tag::ExpPartialsOn);
}

} // namespace

TWaveScreen::TWaveScreen(const CRect& size, IControlListener* listener, int index)
    : CControl(size, listener, NO_PARAM_TAG, nullptr), sizeIndex(clampSizeIndex(index)),
      width(static_cast<int>(size.getWidth())), height(static_cast<int>(size.getHeight())),
      halfHeight(static_cast<int>(static_cast<float>(height) / 2.0f)),
      panelWidth(static_cast<int>(kPanelWidth * SCALE[sizeIndex])), scale(SCALE[sizeIndex]),
      font(FONT_SMALL_SIZES[sizeIndex]) {
    areaWidth = width - panelWidth;
    widthF = static_cast<float>(width);
    heightF = static_cast<float>(height);
    halfHeightF = static_cast<float>(halfHeight);
    areaWidthF = static_cast<float>(areaWidth);
    lastPoint = CPoint(0, 0);
}

TWaveScreen::~TWaveScreen() = default;

// ------------------------------------------------------------------ state from the editor

void TWaveScreen::setMode(int mode) {
    viewMode = mode;
    lineShown = false;
    setDirty(true);
}

void TWaveScreen::setWave(int newWave) {
    wave = newWave;
    lineShown = false;
    setDirty(true);
}

void TWaveScreen::setDrawMode(int mode) {
    if (mode == drawMode) return;
    drawMode = mode;
    lineShown = false;
    setDirty(true);
}

void TWaveScreen::setShaperMode(int mode) {
    if (mode == shaperMode) return;
    shaperMode = mode;
    setDirty(true);
}

// ------------------------------------------------------------------ mappings

int TWaveScreen::partialAt(int x, bool exponential) const {
    const float xc = static_cast<float>(std::clamp(x, 0, std::max(areaWidth - 1, 0)));
    const int partial = exponential
                            ? static_cast<int>(std::pow(2.0f, xc * 7.0f / areaWidthF) - 1.0f)
                            : static_cast<int>(xc / areaWidthF * 127.99f);
    return std::clamp(partial, 0, kLastPartial);
}

int TWaveScreen::getWaveTablePartial(int x) const {
    const APlugin* plugin = pluginOf(editorOf(this));
    if (!plugin) return 0;
    return partialAt(x, exponentialPartials(*plugin));
}

int TWaveScreen::sampleIndexOf(float x) const {
    return std::clamp(static_cast<int>(x / widthF * 2047.9999f), 0, kLastSample);
}

float TWaveScreen::valueOf(float y) const {
    return 1.0f - std::clamp(y / heightF, 0.0f, 1.0f);
}

float TWaveScreen::partialValueOf(float y, bool inLowerHalf) const {
    const float t =
        inLowerHalf ? (y - static_cast<float>(halfHeight)) / halfHeightF : y / halfHeightF;
    return 1.0f - std::clamp(t, 0.0f, 1.0f);
}

void TWaveScreen::setWaveValue(int index, float v) {
    if (APlugin* plugin = pluginOf(editorOf(this)))
        plugin->setWaveTableValue(wave, index, 2.0f * v - 1.0f);
}

void TWaveScreen::writeSegment(int lo, float vLo, int hi, float vHi) {
    if (lo == hi) {
        setWaveValue(hi, vHi);
        return;
    }
    const float length = static_cast<float>(hi - lo);
    for (int i = 0; i < hi - lo; ++i)
        setWaveValue(lo + i, vLo + static_cast<float>(i) * (vHi - vLo) / length);
}

// ------------------------------------------------------------------ mouse

CMouseEventResult TWaveScreen::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!getMouseEnabled()) return kDone;
    uEditor* editor = editorOf(this);
    APlugin* plugin = pluginOf(editor);
    if (!editor || !plugin || shaperMode != 0) return kDone;
    const CRect& r = getViewSize();
    const float x = static_cast<float>(where.x - r.left);
    const float y = static_cast<float>(where.y - r.top);

    if (anyOf(buttons, kMenuClick)) {
        const int partial = viewMode == kPartialsView
                                ? partialAt(std::clamp(static_cast<int>(x), 0, width - 1),
                                            exponentialPartials(*plugin))
                                : -1;
        editor->showWaveMenu(partial);
        return kDone;
    }

    editor->setWaveUndo();
    if (exactly(buttons, kDefaultClick) || buttons.isDoubleClick()) {
        plugin->clearWave(wave);
    } else if (exactly(buttons, kOriginalClick)) {
        editor->setWaveToOrig();
    } else if (buttons.isLeftButton()) {
        dragging = true;
        if (viewMode == kPartialsView) {
            partialX = lastPartialX = std::clamp(static_cast<int>(x), 0, width - 1);
            lowerHalf = y >= static_cast<float>(halfHeight);
            partialValue = lastPartialValue = partialValueOf(y, lowerHalf);
        } else {
            lastPoint = CPoint(-1, -1);
            drawStart = true;
            lastIndex = sampleIndexOf(x);
            lastValue = valueOf(y);
            lineStartX = x;
            lineStartValue = lastValue;
        }
        return onMouseMoved(where, buttons);
    }
    setDirty(true);
    return kDone;
}

CMouseEventResult TWaveScreen::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton() || !dragging) return kMouseEventHandled;
    return viewMode == kPartialsView ? partialsMoved(where, buttons) : samplesMoved(where, buttons);
}

CMouseEventResult TWaveScreen::samplesMoved(const CPoint& where, const CButtonState& /*buttons*/) {
    if (where == lastPoint) return kMouseEventHandled;
    const CRect& r = getViewSize();
    const float x = static_cast<float>(where.x - r.left);
    const float y = static_cast<float>(where.y - r.top);
    prevIndex = lastIndex;
    prevValue = lastValue;
    lastIndex = sampleIndexOf(x);
    lastValue = valueOf(y);

    if (drawMode == kFreehand || drawMode == kErase) {
        if (drawMode == kErase) lastValue = 0.5f;
        int lo = lastIndex, hi = lastIndex;
        float vLo = lastValue, vHi = lastValue;
        if (!drawStart) {
            if (prevIndex <= lastIndex) {
                lo = prevIndex, vLo = prevValue;
            } else {
                lo = lastIndex, vLo = lastValue;
                hi = prevIndex, vHi = prevValue;
            }
        }
        if (drawMode == kErase) vLo = vHi = 0.5f;
        writeSegment(lo, vLo, hi, vHi);
        drawStart = false;
    } else if (drawMode == kLine) {
        lineShown = true;
        lineEndX = x;
        lineEndValue = lastValue;
    }
    lastPoint = where;
    setDirty(true);
    return kMouseEventHandled;
}

CMouseEventResult TWaveScreen::partialsMoved(const CPoint& where, const CButtonState& /*buttons*/) {
    const CRect& r = getViewSize();
    // Past the last bar the move is ignored; the drag goes on when the
    // mouse comes back.
    if (where.x - r.left > static_cast<int>(kPartialDragLimit * scale) + kDragSlack)
        return kMouseEventHandled;
    APlugin* plugin = pluginOf(editorOf(this));
    if (!plugin) return kMouseEventHandled;
    const bool exponential = exponentialPartials(*plugin);

    const int x = std::clamp(static_cast<int>(where.x - r.left), 0, width - 1);
    const float value = partialValueOf(static_cast<float>(where.y - r.top), lowerHalf);
    partialX = x;
    partialValue = value;
    auto setPartial = [&](int column, float v) {
        plugin->setWaveTablePartials(wave, partialAt(column, exponential), v, lowerHalf);
    };
    if (lastPartialX == x) {
        setPartial(x, value);
    } else {
        const bool rising = lastPartialX < x;
        const int lo = rising ? lastPartialX : x;
        const int hi = rising ? x : lastPartialX;
        const float vLo = rising ? lastPartialValue : value;
        const float vHi = rising ? value : lastPartialValue;
        const float length = static_cast<float>(hi - lo);
        for (int c = lo; c < hi; ++c)
            setPartial(c, vLo + static_cast<float>(c - lo) * (vHi - vLo) / length);
    }
    lastPartialX = x;
    lastPartialValue = value;
    plugin->convertWaveTablePartialsToWaveTable(wave);
    setDirty(true);
    return kMouseEventHandled;
}

CMouseEventResult TWaveScreen::onMouseCancel() {
    if (!dragging) return kMouseEventNotHandled;
    if (viewMode != kPartialsView && drawMode == kLine) {
        // Nothing was written yet.
        dragging = false;
        lineShown = false;
        setDirty(true);
        return kMouseEventHandled;
    }
    CPoint where;
    onMouseUp(where, CButtonState());
    return kMouseEventHandled;
}

CMouseEventResult TWaveScreen::onMouseUp(CPoint& /*where*/, const CButtonState& /*buttons*/) {
    dragging = false;
    if (!getMouseEnabled()) return kMouseEventHandled;
    APlugin* plugin = pluginOf(editorOf(this));
    if (!plugin || viewMode == kPartialsView) return kMouseEventHandled;

    if (drawMode == kLine && lineShown) {
        lineShown = false;
        const int start = sampleIndexOf(lineStartX);
        const int end = sampleIndexOf(lineEndX);
        if (start == end) {
            setWaveValue(start, lastValue);
        } else if (start < end) {
            writeSegment(start, lineStartValue, end, lineEndValue);
        } else {
            writeSegment(end, lineEndValue, start, lineStartValue);
        }
    }
    // A drawn wave always ends up band-limited to its 128 partials.
    plugin->convertWaveTableToWaveTablePartials(wave);
    plugin->convertWaveTablePartialsToWaveTable(wave);
    setDirty(true);
    return kMouseEventHandled;
}

bool TWaveScreen::onWheel(const CPoint& where, const float& distance, const CButtonState& buttons) {
    APlugin* plugin = pluginOf(editorOf(this));
    if (!plugin) return false;
    if (viewMode != kPartialsView) return true;
    const CRect& r = getViewSize();
    const int partial = getWaveTablePartial(static_cast<int>(where.x - r.left));
    const float step = (anyOf(buttons, kShift) ? 0.001f : 0.01f) * distance;
    float amplitude = plugin->getWaveTablePartialsAmp(wave, partial);
    float phase = plugin->getWaveTablePartialsPhase(wave, partial);
    if (where.y - r.top < halfHeight)
        amplitude += step;
    else
        phase += step;
    plugin->setWaveTablePartials(wave, partial, amplitude, phase);
    plugin->convertWaveTablePartialsToWaveTable(wave);
    setDirty(true);
    return true;
}

// ------------------------------------------------------------------ drawing

void TWaveScreen::draw(CDrawContext* context) {
    if (!mayDraw(this)) return;
    APlugin* plugin = pluginOf(editorOf(this));
    if (!plugin) return;
    context->setLineWidth(1);
    context->setFont(font);
    context->setFontColor(LIGHT_BLUE_COLOR);
    if (viewMode == kPartialsView)
        drawPartials(context, *plugin);
    else
        drawSamples(context, *plugin);
    if (plugin->getTempPreviewWave()) {
        const CRect& r = getViewSize();
        context->drawString(
            "Preview On",
            CRect(r.left, r.top, r.left + width, r.top + static_cast<int>(kLabelHeight * scale)),
            kRightText, true);
    }
    setDirty(false);
}

void TWaveScreen::drawSamples(CDrawContext* context, APlugin& plugin) {
    const CRect& r = getViewSize();
    const CCoord left = r.left, top = r.top, bottom = r.top + height;
    const CCoord centre = top + halfHeight;
    auto yOf = [&](float s) { return bottom - static_cast<int>((s * 0.5f + 0.5f) * heightF); };

    CDrawContext::LineList bars;
    bars.reserve(static_cast<size_t>(width));
    for (int x = 0; x < width; ++x) {
        const float s = plugin.getWaveTableValue(wave, sampleIndexOf(static_cast<float>(x)));
        bars.emplace_back(CPoint(left + x, centre), CPoint(left + x, yOf(s)));
    }
    context->setFrameColor(shaperMode == 0 ? WAVE_COLOR : DARK_BLUE_TRANS_25_COLOR);
    context->drawLines(bars);

    if (drawMode == kLine && lineShown) {
        context->setFrameColor(kWhiteCColor);
        context->drawLine(
            CPoint(left + lineStartX, bottom - static_cast<int>(heightF * lineStartValue)),
            CPoint(left + lineEndX, bottom - static_cast<int>(heightF * lineEndValue)));
    }
    if (shaperMode != 0) {
        CDrawContext::PointList preview;
        preview.reserve(static_cast<size_t>(width));
        for (int x = 0; x < width; ++x) {
            const float s = plugin.getPreviewWaveTableValue(sampleIndexOf(static_cast<float>(x)));
            preview.emplace_back(left + x, yOf(s));
        }
        context->setFrameColor(LIGHT_BLUE_COLOR);
        context->drawPolygon(preview, kDrawStroke);
    }
    context->setFrameColor(LIGHT_BLUE_COLOR);
    context->drawLine(CPoint(left, centre), CPoint(left + width, centre));
}

void TWaveScreen::drawPartials(CDrawContext* context, APlugin& plugin) {
    const CRect& r = getViewSize();
    const CCoord left = r.left, top = r.top, bottom = r.top + height;
    const CCoord centre = top + halfHeight;
    const bool exponential = exponentialPartials(plugin);
    auto ampY = [&](float a) { return top + static_cast<int>((1.0f - a) * halfHeightF); };
    auto phaseY = [&](float p) {
        return top + halfHeight + static_cast<int>((1.0f - p) * halfHeightF);
    };
    auto panelY = [&](float s) { return centre - static_cast<int>(s * 0.5f * halfHeightF); };
    auto panelIndex = [&](int i) {
        const float t =
            panelWidth > 1 ? static_cast<float>(i) / static_cast<float>(panelWidth - 1) : 0.0f;
        return std::clamp(static_cast<int>(t * 2047.9999f), 0, kLastSample);
    };

    context->setFrameColor(MID_DARK_BLUE_COLOR);
    context->drawLine(CPoint(left, centre), CPoint(left + areaWidth, centre));
    context->drawLine(CPoint(left + areaWidth, top), CPoint(left + areaWidth, bottom));

    CDrawContext::LineList bars;
    bars.reserve(static_cast<size_t>(2 * areaWidth + panelWidth));
    for (int x = 0; x < areaWidth; ++x) {
        const int p = partialAt(x, exponential);
        const float amplitude = plugin.getWaveTablePartialsAmp(wave, p);
        const float phase = plugin.getWaveTablePartialsPhase(wave, p);
        bars.emplace_back(CPoint(left + x, centre), CPoint(left + x, ampY(amplitude)));
        bars.emplace_back(CPoint(left + x, bottom), CPoint(left + x, phaseY(phase)));
    }
    for (int i = 0; i < panelWidth; ++i) {
        const float s = plugin.getWaveTableValue(wave, panelIndex(i));
        const CCoord x = left + areaWidth + i;
        bars.emplace_back(CPoint(x, centre), CPoint(x, panelY(s)));
    }
    context->setFrameColor(shaperMode == 0 ? WAVE_COLOR : DARK_BLUE_TRANS_25_COLOR);
    context->drawLines(bars);

    if (shaperMode != 0) {
        CDrawContext::PointList amplitudes, phases, panel;
        for (int x = 0; x < areaWidth; ++x) {
            const int p = partialAt(x, exponential);
            amplitudes.emplace_back(left + x, ampY(plugin.getPreviewPartialsAmp(p)));
            phases.emplace_back(left + x, phaseY(plugin.getPreviewPartialsPhase(p)));
        }
        for (int i = 0; i < panelWidth; ++i)
            panel.emplace_back(left + areaWidth + i,
                               panelY(plugin.getPreviewWaveTableValue(panelIndex(i))));
        context->setFrameColor(LIGHT_BLUE_COLOR);
        context->drawPolygon(amplitudes, kDrawStroke);
        context->drawPolygon(phases, kDrawStroke);
        context->drawPolygon(panel, kDrawStroke);
    }

    // The partial axis.
    const int boxWidth = static_cast<int>(kLabelWidth * scale);
    const int boxHeight = static_cast<int>(kLabelHeight * scale);
    auto label = [&](const char* text, CCoord x, CHoriTxtAlign align) {
        context->drawString(text, CRect(x, top, x + boxWidth, top + boxHeight), align, true);
    };
    if (exponential) {
        label("1", left, kLeftText);
        label("128", left + areaWidth - 32, kRightText);
    } else {
        int next = 0;
        for (int x = 0; x < areaWidth && next < 7; ++x) {
            if (partialAt(x, false) >= 16 * (next + 1)) {
                label(kPartialLabels[next], left + x, kLeftText);
                ++next;
            }
        }
    }
}
