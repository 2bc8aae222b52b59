#include "controls/txyscreen.h"

#include "controls/control_access.h"
#include "core/aplugin.h"
#include "core/modes.h"
#include "core/numeric.h"
#include "core/tags.h"
#include "editor/gui_tables.h"
#include "editor/ueditor.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

using namespace VSTGUI;
using namespace ControlAccess;

namespace {

constexpr CMouseEventResult kDone = kMouseDownEventHandledButDontNeedMovedOrUpEvents;

// The pad's position dot.
constexpr int kPadDotBitmap = 10073;
// A path shorter than this (1000 x seconds + milliseconds) is no path.
constexpr float kMinPathLength = 0.002f;

bool validPoint(int i) {
    return i >= 0 && i < TXYScreen::kPoints;
}

} // namespace

TXYScreen::TXYScreen(const CRect& size, IControlListener* listener, int sizeIndexIn)
    : CControl(size, listener, NO_PARAM_TAG, nullptr), sizeIndex(clampSizeIndex(sizeIndexIn)),
      areaWidth(static_cast<float>(size.getWidth() - 1)),
      areaHeight(static_cast<float>(size.getHeight() - 1)) {}

TXYScreen::TXYScreen(const TXYScreen& other) = default;

TXYScreen::~TXYScreen() = default;

CView* TXYScreen::newCopy() const {
    return new TXYScreen(*this);
}

void TXYScreen::setGrouping(int g) {
    grouping = std::clamp(g, 0, 2);
    groupSize = XY_GROUP_NO[grouping];
}

// ------------------------------------------------------------------ path and geometry

bool TXYScreen::getEditOn() const {
    const APlugin* plugin = pluginOf(editorOf(this));
    return plugin && plugin->getOnOff(tag::XYEditOn);
}

bool TXYScreen::hasPath() const {
    APlugin* plugin = pluginOf(editorOf(this));
    if (!plugin) return false;
    return 1000.0f * plugin->getParameter(tag::XYLengthSec) +
               plugin->getParameter(tag::XYLengthMs) >=
           kMinPathLength;
}

// Halves round away from zero.
float TXYScreen::snapValue(float v) const {
    const APlugin* plugin = pluginOf(editorOf(this));
    if (!plugin) return v;
    const int q =
        std::clamp(plugin->getXYSpaceQuant(), 0, static_cast<int>(XY_SNAP_AMT.size()) - 1);
    if (q == 0) return v;
    const float s = XY_SNAP_AMT[q];
    return clamp01(std::round(v * s) / s);
}

void TXYScreen::toPad(const CPoint& where, float& x, float& y) const {
    const CRect& r = getViewSize();
    x = clamp01(static_cast<float>(where.x - r.left) / areaWidth);
    y = 1.0f - clamp01(static_cast<float>(where.y - r.top) / areaHeight);
}

int TXYScreen::pixelX(float x) const {
    return static_cast<int>(getViewSize().left + static_cast<int>(areaWidth * x));
}

int TXYScreen::pixelYDown(float down) const {
    return static_cast<int>(getViewSize().top + static_cast<int>(areaHeight * down));
}

void TXYScreen::getXYPoint(int i, int& x, int& y) const {
    x = 0;
    y = 0;
    APlugin* plugin = pluginOf(editorOf(this));
    if (!plugin || !validPoint(i)) return;
    x = pixelX(snapValue(plugin->getParameter(tag::xyPointX(i))));
    y = pixelYDown(snapValue(1.0f - plugin->getParameter(tag::xyPointY(i))));
}

void TXYScreen::getSnappedXYPoint(int i, float& x, float& y) const {
    x = 0.0f;
    y = 0.0f;
    APlugin* plugin = pluginOf(editorOf(this));
    if (!plugin || !validPoint(i)) return;
    x = snapValue(plugin->getParameter(tag::xyPointX(i)));
    y = snapValue(plugin->getParameter(tag::xyPointY(i)));
}

void TXYScreen::setXYPoint(int i, float x, float y) {
    APlugin* plugin = pluginOf(editorOf(this));
    if (!plugin || !validPoint(i)) return;
    plugin->setParameterAutomated(tag::xyPointX(i), x);
    plugin->setParameterAutomated(tag::xyPointY(i), y);
}

// Takes the snapped path as the snapshot of a point drag. On equal
// distances the lower point wins.
int TXYScreen::getEditPoint(int x, int y) {
    APlugin* plugin = pluginOf(editorOf(this));
    if (!plugin) return -1;
    for (int i = 0; i < kPoints; ++i) getSnappedXYPoint(i, pathX[i], pathY[i]);
    const int q =
        std::clamp(plugin->getXYPointQuant(), 0, static_cast<int>(XY_QUANT_NUM.size()) - 1);
    const int step = kPoints / XY_QUANT_NUM[q];
    float px = 0.0f, py = 0.0f;
    toPad(CPoint(x, y), px, py);
    int best = -1;
    float bound = 10000.0f;
    for (int i = 0; i < kPoints; i += step) {
        const float dx = pathX[i] - px;
        const float dy = pathY[i] - py;
        const float d = dx * dx + dy * dy;
        if (d < bound) {
            bound = d;
            best = i;
        }
    }
    return best;
}

// ------------------------------------------------------------------ mouse

CMouseEventResult TXYScreen::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!getMouseEnabled()) return kDone;
    uEditor* editor = editorOf(this);
    APlugin* plugin = pluginOf(editor);
    if (!editor || !plugin) return kDone;

    editor->setXYPoint(-1);
    toPad(where, posX, posY);
    const int wx = static_cast<int>(where.x);
    const int wy = static_cast<int>(where.y);

    if (anyOf(buttons, kMenuClick)) {
        // The menu's point entries act on the path point under the mouse.
        if (recordMode == xyrecord::Replay) editor->setXYPoint(getEditPoint(wx, wy));
        editor->showXYMenu();
        return kDone;
    }
    if (exactly(buttons, kOriginalClick)) {
        editor->setXYUndo();
        editor->setXYToOrig();
        endEdit();
        return kDone;
    }
    if (exactly(buttons, kDefaultClick)) {
        const int e = recordMode == xyrecord::Replay ? getEditPoint(wx, wy) : -1;
        if (e >= 0) {
            plugin->setNumValue(tag::xyPointX(e));
            plugin->setNumValue(tag::xyPointY(e));
        } else {
            plugin->setNumValue(tag::XYX);
            plugin->setNumValue(tag::XYY);
        }
        setDirty(true);
        endEdit();
        return kDone;
    }

    recordMode = plugin->getXYRecordMode();
    switch (recordMode) {
    case xyrecord::Replay:
        if (!getEditOn()) return kDone;
        if (hasPath()) {
            editPoint = getEditPoint(wx, wy);
            editor->setXYPoint(editPoint);
            editor->setXYUndo();
        }
        break;
    case xyrecord::Live:
        editor->setXYUndo();
        if (buttons.isDoubleClick()) {
            plugin->setXY(0.5f, 0.5f);
            setDirty(true);
            return kDone;
        }
        break;
    case xyrecord::Record:
        plugin->startXYRecord();
        break;
    default:
        break;
    }
    dragging = true;
    return onMouseMoved(where, buttons);
}

CMouseEventResult TXYScreen::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    // Only a drag that began here moves the pad: after a cancelled drag the
    // held button passes over it without effect.
    if (!dragging || !buttons.isLeftButton()) return kMouseEventHandled;
    uEditor* editor = editorOf(this);
    APlugin* plugin = pluginOf(editor);
    if (!editor || !plugin) return kMouseEventHandled;

    toPad(where, posX, posY);
    switch (recordMode) {
    case xyrecord::Live:
        plugin->setXY(posX, posY);
        break;
    case xyrecord::Record:
        plugin->setXYRecord(posX, posY);
        break;
    case xyrecord::Replay:
        if (!getEditOn() || !hasPath() || !validPoint(editPoint)) break;
        if (grouping == 0 || groupSize <= 0) {
            setXYPoint(editPoint, posX, posY);
            break;
        }
        // The dragged point follows the pointer; its neighbours keep a
        // share of where they were that grows with the square of their
        // distance, up to all of it at the group's edge.
        for (int k = -groupSize; k <= groupSize; ++k) {
            const int j = editPoint + k;
            if (!validPoint(j)) continue;
            const float a = static_cast<float>(std::abs(k)) / static_cast<float>(groupSize);
            const float w = (a * a - 1.0f) + 1.0f;
            setXYPoint(j, pathX[j] * w + posX * (1.0f - w), pathY[j] * w + posY * (1.0f - w));
        }
        break;
    default:
        break;
    }
    setDirty(true);
    return kMouseEventHandled;
}

CMouseEventResult TXYScreen::onMouseCancel() {
    if (!dragging) return kMouseEventNotHandled;
    CPoint where;
    onMouseUp(where, CButtonState());
    return kMouseEventHandled;
}

CMouseEventResult TXYScreen::onMouseUp(CPoint& /*where*/, const CButtonState& /*buttons*/) {
    dragging = false;
    uEditor* editor = editorOf(this);
    APlugin* plugin = pluginOf(editor);
    if (!editor || !plugin) return kMouseEventHandled;
    if (recordMode == xyrecord::Record) plugin->endXYRecord();
    editPoint = -1;
    editor->setXYPoint(-1);
    setDirty(true);
    return kMouseEventHandled;
}

// ------------------------------------------------------------------ drawing

void TXYScreen::drawMarker(CDrawContext* context, CBitmap* dot, int x, int y) const {
    const int w = static_cast<int>(dot->getWidth());
    const int h = static_cast<int>(dot->getHeight());
    const CCoord left = x - w / 2;
    const CCoord top = y - h / 2;
    context->drawBitmap(dot, CRect(left, top, left + w, top + h));
}

void TXYScreen::draw(CDrawContext* context) {
    uEditor* editor = editorOf(this);
    APlugin* plugin = pluginOf(editor);
    if (!editor || !plugin || !editor->getEditorFinishedOpening()) return;

    const CRect& r = getViewSize();
    const int left = static_cast<int>(r.left);
    const int top = static_cast<int>(r.top);
    context->setLineWidth(1);
    context->setDrawMode(kAliasing);

    // Grid of the space quantisation: no line at 0, the last on the right
    // and bottom edges.
    const int q =
        std::clamp(plugin->getXYSpaceQuant(), 0, static_cast<int>(XY_SNAP_AMT.size()) - 1);
    if (q != 0) {
        const int n = static_cast<int>(XY_SNAP_AMT[q]);
        context->setFrameColor(DARK_BLUE_TRANS_12_COLOR);
        const int bottom = static_cast<int>(r.top + static_cast<int>(areaHeight));
        const int right = static_cast<int>(r.left + static_cast<int>(areaWidth));
        for (int i = 1; i <= n; ++i) {
            const int x =
                static_cast<int>(r.left + static_cast<int>(areaWidth * static_cast<float>(i) /
                                                           static_cast<float>(n)));
            context->drawLine(CPoint(x, top), CPoint(x, bottom));
            const int y =
                static_cast<int>(r.top + static_cast<int>(areaHeight * static_cast<float>(i) /
                                                          static_cast<float>(n)));
            context->drawLine(CPoint(left, y), CPoint(right, y));
        }
    }

    // Oscilloscope: a sample of +1 lies near the top of its box.
    if (oscVisible) {
        const XYOscBox& box = XY_OSC_BOX[sizeIndex];
        if (!plugin->getOscScreenBusy())
            plugin->setOscScreenValue(oscMode, box.samples, scopeBuffer.data());
        const int bx = left + box.x;
        const int by = top + box.y;
        CDrawContext::PointList trace;
        trace.reserve(static_cast<size_t>(box.samples) + 2);
        trace.emplace_back(bx, by + box.height / 2);
        for (int i = 0; i < box.samples; ++i) {
            const float s = clamp01(0.5f - 0.49f * scopeBuffer[static_cast<size_t>(i)]);
            trace.emplace_back(bx + i, by + static_cast<int>(static_cast<float>(box.height) * s));
        }
        trace.emplace_back(bx + box.samples - 1, by + box.height / 2);
        context->setFrameColor(DARK_BLUE_COLOR);
        context->drawPolygon(trace, kDrawStroke);
    }

    // Modes, and whether Record was entered since the last pass.
    const int32_t storedMode = recordMode;
    recordMode = plugin->getXYRecordMode();
    playMode = plugin->getXYPlayMode();
    if (recordMode != xyrecord::Record)
        recordArmed = false;
    else if (storedMode != xyrecord::Record)
        recordArmed = true;

    if (plugin->getUpdateXY()) {
        plugin->getXYEditor(posX, posY);
        plugin->setUpdateXY(false);
    }

    // A MIDI move of the pad; the first one after entering Record starts a
    // take.
    midiMoved = false;
    if (plugin->getXChanged() || plugin->getYChanged()) {
        posX = plugin->getParameter(tag::XYMidiX);
        posY = plugin->getParameter(tag::XYMidiY);
        midiMoved = true;
        if (recordMode == xyrecord::Record && recordArmed) {
            recordArmed = false;
            midiTake = true;
            plugin->startXYRecord();
        }
    }
    if (midiTake) {
        if (recordMode == xyrecord::Record) {
            plugin->setXYRecord(posX, posY);
        } else if (recordMode == xyrecord::Replay) {
            recordArmed = true;
            midiTake = false;
            plugin->endXYRecord();
        }
    }

    // The path and its editable points.
    if (getEditOn() && recordMode == xyrecord::Replay) {
        const int pq =
            std::clamp(plugin->getXYPointQuant(), 0, static_cast<int>(XY_QUANT_NUM.size()) - 1);
        const int step = kPoints / XY_QUANT_NUM[pq];
        CDrawContext::PointList path;
        for (int i = 0; i < kPoints; i += step) {
            int x = 0, y = 0;
            getXYPoint(i, x, y);
            path.emplace_back(x, y);
        }
        context->setFrameColor(LIGHT_BLUE_COLOR);
        context->drawPolygon(path, kDrawStroke);
        const int loopMode = plugin->getXYLoopMode();
        if (loopMode == xyloop::On || (playMode == xyplay::Free && loopMode == xyloop::Off))
            context->drawLine(path.back(), path.front());
        const int d = XY_BLOB_SIZE[sizeIndex];
        for (size_t k = 0; k < path.size(); ++k) {
            const int i = static_cast<int>(k) * step;
            context->setFillColor(i == editPoint ? kWhiteCColor : LIGHT_BLUE_COLOR);
            const CCoord x = path[k].x - d / 2;
            const CCoord y = path[k].y - d / 2;
            context->drawEllipse(CRect(x, y, x + d, y + d), kDrawFilled);
        }
    }

    // The position dot: the pad's position, each playing voice's replay
    // position, or the global replay position.
    CBitmap* dot = editor->getBitmap(kPadDotBitmap);
    if (!dot) return;
    if (recordMode != xyrecord::Replay) {
        const float x = plugin->getParameter(tag::XYX);
        const float y = plugin->getParameter(tag::XYY);
        drawMarker(context, dot, pixelX(snapValue(x)), pixelYDown(snapValue(1.0f - y)));
    } else if (playMode == xyplay::Poly) {
        for (int v = 0; v < kNumVoices; ++v) {
            if (!plugin->getIsVoicePlaying(v)) continue;
            plugin->getXYEditor(v, posX, posY);
            drawMarker(context, dot, pixelX(snapValue(posX)), pixelYDown(1.0f - snapValue(posY)));
        }
    } else {
        plugin->getXYEditor(posX, posY);
        drawMarker(context, dot, pixelX(snapValue(posX)), pixelYDown(snapValue(1.0f - posY)));
    }
}
