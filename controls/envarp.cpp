#include "controls/envarp.h"

#include "controls/control_access.h"
#include "core/aplugin.h"
#include "core/modes.h"
#include "core/numeric.h"
#include "core/tags.h"
#include "core/vocabulary.h"
#include "editor/gui_tables.h"
#include "editor/ueditor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace VSTGUI;
using namespace ControlAccess;

namespace {

constexpr CMouseEventResult kDone = kMouseDownEventHandledButDontNeedMovedOrUpEvents;

// Pixels of mouse travel for a parameter's whole range, and with shift held.
constexpr float kEnvDragPixels = 200.0f;
constexpr float kEnvFineDragPixels = 10000.0f;
constexpr float kArpDragPixels = 200.0f;
constexpr float kArpFineDragPixels = 2000.0f;

constexpr int kEnvFillBitmap = 10074;
constexpr int kArpLedBitmap = 10072;

// A popup that opens at the mouse and draws nothing of its own.
constexpr int32_t kPopupMenuStyle = static_cast<int32_t>(COptionMenu::kPopupStyle) |
                                    static_cast<int32_t>(CParamDisplay::kNoDrawStyle);
constexpr CCoord kPopupHalfSide = 10;

// The arpeggiator mode whose chord row holds a continuous value.
// Tied modes: 1 shows tied steps; 2 and 3 show them on even or odd passes.
constexpr int kTiedSpecial = 1;
constexpr int kTiedToggleEven = 2;
constexpr int kTiedToggleOdd = 3;

// i / w, for the position of a column within a segment w pixels wide.
float ratio(int i, int w) {
    return w > 0 ? static_cast<float>(i) / static_cast<float>(w) : 0.0f;
}

int toInt(CCoord v) {
    return static_cast<int>(v);
}

} // namespace

// ================================================================== TEnvScreen

TEnvScreen::TEnvScreen(const CRect& size, IControlListener* listener, int envelope, int tagA,
                       int tagD, int tagS, int tagR, bool decaySustain, int sizeIndex)
    : CControl(size, listener, NO_PARAM_TAG, nullptr), decaySustain(decaySustain),
      sizeIndex(clampSizeIndex(sizeIndex)), envelope(envelope), tagA(tagA), tagD(tagD), tagS(tagS),
      tagR(tagR), selectedTag(tagA) {
    scale = SCALE[this->sizeIndex];
    font = FONT_SIZES[this->sizeIndex];
    labelSize = static_cast<int>(12 * scale);
    const CCoord width = size.getWidth(), height = size.getHeight();
    innerTop = toInt(size.top + height / 16);
    innerBottom = toInt(size.bottom - height / 16);
    innerLeft = toInt(size.left + width / 32);
    innerRight = toInt(size.right - width / 32);
    innerWidth = innerRight - innerLeft;
    handleRadius = toInt(height / 16);
    // Attack, decay and release each take up to three sixteenths of the
    // width; decay, sustain and release always keep one sixteenth more.
    segmentWidth =
        static_cast<float>(innerWidth) * 0.25f - static_cast<float>(innerWidth) * 0.0625f;
    gap = static_cast<float>(innerWidth) * 0.0625f;
    innerHeight = static_cast<float>(innerBottom - innerTop);
}

TEnvScreen::~TEnvScreen() = default;

TEnvScreen::Handles TEnvScreen::handlesFor(float a, float d, float s, float r, bool invert) const {
    Handles h;
    const int xA = innerLeft + static_cast<int>(a * segmentWidth);
    const int xD = xA + static_cast<int>(d * segmentWidth + gap);
    const int xS = xD + static_cast<int>(gap + segmentWidth);
    const int xR = xS + static_cast<int>(r * segmentWidth + gap);
    const int yA = innerBottom - static_cast<int>(innerHeight);
    const int yS = innerBottom - static_cast<int>(s * innerHeight);
    auto y = [&](int v) { return invert ? innerTop + innerBottom - v : v; };
    h.start = CPoint(innerLeft, y(innerBottom));
    h.attack = CPoint(xA, y(yA));
    h.decay = CPoint(xD, y(yS));
    h.sustain = CPoint(xS, y(yS));
    h.release = CPoint(xR, y(innerBottom));
    return h;
}

// Positions are measured from the view's left edge without the inset that
// the picture has, the way the editor's hover and the click both pass x.
int TEnvScreen::getNearestTag(int x) const {
    uEditor* editor = editorOf(this);
    APlugin* plugin = pluginOf(editor);
    if (!editor || !plugin) return tagA;
    const int pA = static_cast<int>(plugin->getParameter(tagA) * segmentWidth);
    const int pD = pA + static_cast<int>(plugin->getParameter(tagD) * segmentWidth + gap);
    const int pS = pD + static_cast<int>(gap + segmentWidth);
    const int pR = pS + static_cast<int>(plugin->getParameter(tagR) * segmentWidth + gap);
    const std::array<int, 4> distance = {std::abs(pA - x), std::abs(pD - x), std::abs(pS - x),
                                         std::abs(pR - x)};
    const std::array<int, 4> tags = {tagA, tagD, tagS, tagR};
    for (size_t i = 0; i < 4; ++i) {
        bool nearest = true;
        for (size_t j = 0; j < 4; ++j)
            if (j != i && distance[i] >= distance[j]) nearest = false;
        if (nearest) return tags[i];
    }
    return tagA;
}

void TEnvScreen::draw(CDrawContext* context) {
    uEditor* editor = editorOf(this);
    APlugin* plugin = pluginOf(editor);
    if (!editor || !plugin || !editor->getEditorFinishedOpening()) return;

    const bool exp = plugin->getOnOff(tag::ExpEnvShapeOn);
    const bool invert = envelope == 1 && plugin->getOnOff(tag::InvertFilterEnvOn);
    const float a = plugin->getParameter(tagA);
    const float d = plugin->getParameter(tagD);
    const float s = plugin->getParameter(tagS);
    const float r = plugin->getParameter(tagR);
    const Handles h = handlesFor(a, d, s, r, invert);
    const int x0 = toInt(h.start.x), y0 = toInt(h.start.y);
    const int xA = toInt(h.attack.x), yA = toInt(h.attack.y);
    const int xD = toInt(h.decay.x), yD = toInt(h.decay.y);
    const int xS = toInt(h.sustain.x), yS = toInt(h.sustain.y);
    const int xR = toInt(h.release.x), yR = toInt(h.release.y);
    auto shape = [exp](float t) { return exp ? std::sqrt(t) : t; };

    context->setFont(font);
    context->setFrameColor(DARK_BLUE_COLOR);
    context->setFillColor(LIGHT_BLUE_COLOR);
    context->setFontColor(DARK_BLUE_COLOR);
    context->setLineWidth(2);

    // The area under the curve: one-pixel columns of the fill bitmap, each
    // starting with the bitmap's top row at the curve.
    const CRect& view = getViewSize();
    const int viewBottom = toInt(view.bottom);
    if (CBitmap* fill = editor->getBitmap(kEnvFillBitmap)) {
        auto column = [&](int x, int y) {
            const int height = innerBottom - y + handleRadius;
            if (height <= 0) return;
            fill->draw(context, CRect(x, viewBottom - height, x + 1, viewBottom), CPoint(0, 0),
                       1.0f);
        };
        const int wA = static_cast<int>(a * segmentWidth);
        if (wA >= 1)
            for (int x = x0; x < xA; ++x)
                column(x, static_cast<int>(y0 + ratio(x - x0, wA) * (yA - y0)));
        const int wD = static_cast<int>(d * segmentWidth + gap);
        if (wD >= 1)
            for (int x = xA; x < xD; ++x)
                column(x, static_cast<int>(yA + shape(ratio(x - xA, wD)) * (yD - yA)));
        if (static_cast<int>(gap + segmentWidth) >= 1)
            for (int x = xD; x < xS; ++x) column(x, yS);
        const int wR = static_cast<int>(r * segmentWidth + gap);
        if (wR >= 0)
            for (int x = xS; x <= xR; ++x)
                column(x, static_cast<int>(yS + shape(ratio(x - xS, wR)) * (yR - yS)));
    }

    // The outline; the attack is always straight.
    context->drawLine(h.start, h.attack);
    if (!exp) {
        context->drawLine(h.attack, h.decay);
        context->drawLine(h.decay, h.sustain);
        context->drawLine(h.sustain, h.release);
    } else {
        const CColor line = context->getFrameColor();
        const int wD = xD - xA, wR = xR - xS;
        for (int x = xA; x <= xD; ++x)
            context->drawPoint(
                CPoint(x, static_cast<int>(yA + std::sqrt(ratio(x - xA, wD)) * (yD - yA))), line);
        context->drawLine(h.decay, h.sustain);
        for (int x = xS; x <= xR; ++x)
            context->drawPoint(
                CPoint(x, static_cast<int>(yS + std::sqrt(ratio(x - xS, wR)) * (yR - yS))), line);
    }

    // The letters: beside their handle, above it when the handle is low.
    // The colour of the last letter stays for the drag texts below.
    const int low = innerBottom - static_cast<int>(16 * scale);
    auto offsetFor = [&](int y) {
        return y > low ? -static_cast<int>(16 * scale) : static_cast<int>(8 * scale);
    };
    auto letter = [&](const char* text, int t, int x, int y) {
        context->setFontColor(dragging && selectedTag == t ? kWhiteCColor : DARK_BLUE_COLOR);
        context->drawString(text, CRect(x, y, x + labelSize, y + labelSize), kCenterText);
    };
    letter("A", tagA, xA + static_cast<int>(5 * scale), yA + offsetFor(yA));
    letter("D", tagD, xD + static_cast<int>(scale), yD + offsetFor(yD));
    letter("S", tagS, xS + static_cast<int>(scale), yS + offsetFor(yS));
    letter("R", tagR, xR - static_cast<int>(8 * scale),
           yR + (yR <= low ? static_cast<int>(8 * scale) : -static_cast<int>(18 * scale)));

    // The handles.
    auto handle = [&](const CPoint& p, bool selected) {
        context->setFillColor(selected ? kWhiteCColor : LIGHT_BLUE_COLOR);
        context->drawEllipse(
            CRect(p.x - handleRadius, p.y - handleRadius, p.x + handleRadius, p.y + handleRadius),
            kDrawFilled);
    };
    handle(h.start, false);
    handle(h.attack, dragging && selectedTag == tagA);
    handle(h.decay, dragging && selectedTag == tagD);
    handle(h.sustain, dragging && selectedTag == tagS);
    handle(h.release, dragging && selectedTag == tagR);

    // While dragging: the parameter's name and value at the top right.
    if (dragging) {
        const CCoord right = innerLeft + view.getWidth() - labelSize;
        const CCoord top = view.top;
        context->drawString(plugin->getParameterNameStr(selectedTag).c_str(),
                            CRect(innerLeft, top, right, top + labelSize), kRightText);
        context->drawString(plugin->getParameterDisplayStr(selectedTag).c_str(),
                            CRect(innerLeft, top + labelSize + 1, right, top + 2 * labelSize + 1),
                            kRightText);
    }
    context->setLineWidth(1);
    setDirty(false);
}

CMouseEventResult TEnvScreen::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!getMouseEnabled()) return kDone;
    dragging = false;
    uEditor* editor = editorOf(this);
    APlugin* plugin = pluginOf(editor);
    if (!editor || !plugin) return kDone;

    if (anyOf(buttons, kMenuClick)) {
        editor->showEnvMenu(envelope);
        return kDone;
    }
    editor->setEnvUndo();
    inverted = envelope == 1 && plugin->getOnOff(tag::InvertFilterEnvOn);
    selectedTag = getNearestTag(toInt(where.x - getViewSize().left));

    // A double click only resets: no drag follows, so no end of an edit
    // that never began.
    if (buttons.isDoubleClick()) {
        plugin->setToDefault(selectedTag);
        setDirty(true);
        return kDone;
    }
    if (exactly(buttons, kOriginalClick)) {
        plugin->setToOrig(selectedTag);
        setDirty(true);
        return kDone;
    }
    if (exactly(buttons, kDefaultClick)) {
        plugin->setNumValue(selectedTag);
        setDirty(true);
        return kDone;
    }

    dragging = true;
    dragStart = where;
    lastPoint = CPoint(-1, -1);
    if (decaySustain && (selectedTag == tagD || selectedTag == tagS)) {
        sustainValue = plugin->getParameter(tagS);
        decayValue = plugin->getParameter(tagD);
    } else {
        dragValue = plugin->getParameter(selectedTag);
    }
    if (CFrame* frame = getFrame()) frame->beginEdit(selectedTag);
    return onMouseMoved(where, buttons);
}

// The value is the value at mouse-down plus the distance from the start
// times the step. When shift changes the step, the start value is re-based
// so that the value carries on from where it is. Values go out unclamped:
// the plug-in keeps what it stores within 0..1, while the drag keeps
// counting past the ends.
CMouseEventResult TEnvScreen::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    if (!dragging || !buttons.isLeftButton()) return kMouseEventHandled;
    uEditor* editor = editorOf(this);
    APlugin* plugin = pluginOf(editor);
    if (!editor || !plugin || where == lastPoint) return kMouseEventHandled;
    lastPoint = where;

    const float dy = static_cast<float>(inverted ? where.y - dragStart.y : dragStart.y - where.y);
    const float dx = static_cast<float>(where.x - dragStart.x);
    const float step = getRange() / (anyOf(buttons, kShift) ? kEnvFineDragPixels : kEnvDragPixels);

    if (decaySustain && (selectedTag == tagD || selectedTag == tagS)) {
        sustainValue += (sustainStep - step) * dy;
        decayValue += (decayStep - step) * dx;
        sustainStep = decayStep = step;
        plugin->setParameterAutomated(tagS, sustainValue + step * dy);
        plugin->setParameterAutomated(tagD, decayValue + step * dx);
    } else {
        const float distance = selectedTag == tagS ? dy : dx;
        dragValue += (dragStep - step) * distance;
        dragStep = step;
        plugin->setParameterAutomated(selectedTag, dragValue + step * distance);
    }
    setDirty(true);
    return kMouseEventHandled;
}

CMouseEventResult TEnvScreen::onMouseCancel() {
    CPoint where;
    return onMouseUp(where, CButtonState());
}

CMouseEventResult TEnvScreen::onMouseUp(CPoint& /*where*/, const CButtonState& /*buttons*/) {
    const bool wasDragging = dragging;
    dragging = false;
    if (wasDragging)
        if (CFrame* frame = getFrame()) frame->endEdit(selectedTag);
    setDirty(true);
    return kMouseEventHandled;
}

// The wheel always steps the handle picked last, wherever the mouse is.
bool TEnvScreen::onWheel(const CPoint& /*where*/, const float& distance,
                         const CButtonState& buttons) {
    uEditor* editor = editorOf(this);
    APlugin* plugin = pluginOf(editor);
    if (!editor || !plugin) return false;
    editor->setEnvUndo();
    plugin->changeDelta(selectedTag, wheelStep(distance), anyOf(buttons, kShift), 1.0f);
    setDirty(true);
    return true;
}

// ================================================================== TArpScreen

TArpScreen::TArpScreen(const CRect& rect, IControlListener* listener, int size)
    : CControl(rect, listener, NO_PARAM_TAG, nullptr), sizeIndex(clampSizeIndex(size)) {
    const float rowHeight = ARP_ROW_HEIGHT[sizeIndex];
    for (int k = 0; k < kRows; ++k) {
        rowTop[k] = static_cast<int>(k * rowHeight);
        rowBottom[k] = static_cast<int>((k + 1) * rowHeight);
    }
    scale = SCALE[sizeIndex];
    font = FONT_SIZES[sizeIndex];
}

TArpScreen::~TArpScreen() = default;

void TArpScreen::setLedStep(int step) {
    if (step == ledStep) return;
    ledStep = step;
    setDirty(true);
}

int TArpScreen::getArpStep(int x) const {
    const int step = static_cast<int>((x - getViewSize().left) / ARP_STEP_WIDTH[sizeIndex]);
    return std::clamp(step, 0, kSteps - 1);
}

int TArpScreen::getArpRow(int y) const {
    return static_cast<int>((y - getViewSize().top - ARP_LED_OFFSET[sizeIndex]) /
                            ARP_ROW_HEIGHT[sizeIndex]);
}

float TArpScreen::getArpValue(int t) const {
    APlugin* plugin = pluginOf(editorOf(this));
    return plugin ? plugin->getLockVar(t) : 0.0f;
}

bool TArpScreen::getArpValueOnOff(int t) const {
    APlugin* plugin = pluginOf(editorOf(this));
    return plugin ? plugin->getLockVarOnOff(t) : false;
}

void TArpScreen::setArpValue(int t, float v) {
    APlugin* plugin = pluginOf(editorOf(this));
    if (!plugin) return;
    plugin->setLockVar(t, v);
    setDirty(true);
}

void TArpScreen::toggleArpValue(int t) {
    APlugin* plugin = pluginOf(editorOf(this));
    if (!plugin) return;
    plugin->setLockVar(t, plugin->getLockVarOnOff(t) ? 0.0f : 1.0f);
    setDirty(true);
}

void TArpScreen::draw(CDrawContext* context) {
    uEditor* editor = editorOf(this);
    APlugin* plugin = pluginOf(editor);
    if (!editor || !plugin || !editor->getEditorFinishedOpening()) return;

    const CRect& view = getViewSize();
    const int left = toInt(view.left), top = toInt(view.top);
    const float w = ARP_STEP_WIDTH[sizeIndex];
    const int n = plugin->getArpNumOfSteps();

    context->setFillColor(DARK_BLUE_COLOR);
    context->setFontColor(LIGHT_BLUE_COLOR);
    context->setFont(font);

    // The LED over the playing step.
    if (ledStep >= 0 && ledStep < n) {
        if (CBitmap* led = editor->getBitmap(kArpLedBitmap)) {
            const int x = left + static_cast<int>(11 * scale + ledStep * w);
            const int y = top + static_cast<int>(4 * scale);
            led->draw(context, CRect(x, y, x + led->getWidth(), y + led->getHeight()), CPoint(0, 0),
                      1.0f);
        }
    }

    // The loop start, unless the pattern does not loop.
    if (plugin->getArpLoopMode() != arploop::Off) {
        const int xs = static_cast<int>(left + static_cast<int>(plugin->getArpLoopStart() * w));
        context->drawRect(CRect(xs + ARP_LOOP_MARK_START[sizeIndex], top,
                                xs + ARP_LOOP_MARK_END[sizeIndex],
                                top + static_cast<int>(4 * scale)),
                          kDrawFilled);
    }

    const int base =
        static_cast<int>(top + ARP_LED_OFFSET[sizeIndex] + ARP_TEXT_OFFSET[sizeIndex]) +
        (sizeIndex == 0 ? 1 : 0);
    const int tiedMode = plugin->getArpTiedMode();
    const bool chordMode = plugin->getArpMode() == arpmode::Chord;
    const bool ratchets = plugin->getArpRatchetDisplay();
    const bool playing = plugin->getArpPlaying();
    const int seq = plugin->getArpSeq();

    for (int i = 0; i < n && i < kSteps; ++i) {
        const int x0 = left + static_cast<int>(i * w);
        const int x1 = left + static_cast<int>(i * w + w - 1) + static_cast<int>(2 * scale);
        auto cell = [&](int row) {
            return CRect(x0, base + rowTop[row], x1, base + rowBottom[row]);
        };
        char label[8];
        std::snprintf(label, sizeof label, "%02d", i + 1);
        context->setFontColor(getArpValueOnOff(tag::arpStep(tag::RowOn, i)) ? LIGHT_BLUE_COLOR
                                                                            : MID_BLUE_COLOR);
        context->drawString(label, cell(tag::RowOn), kCenterText);
        context->setFontColor(LIGHT_BLUE_COLOR);

        if (!plugin->getArpStepOn(i)) continue;

        // A tied step hides its values, except where the tied mode shows
        // them.
        const bool tied = getArpValueOnOff(tag::arpStep(tag::RowTied, i));
        bool visible = !tied;
        if (tiedMode == kTiedSpecial) visible = true;
        if (tiedMode == kTiedToggleEven && seq % 2 == 0) visible = true;
        if (tiedMode == kTiedToggleOdd && seq % 2 == 1) visible = true;
        if (tiedMode >= kTiedToggleEven && !playing) visible = true;

        context->drawString(tied ? "X" : " ", cell(tag::RowTied), kCenterText);
        for (int row = tag::RowSlide; row < kRows; ++row) {
            const int t = tag::arpStep(row, i);
            std::string text = " ";
            if (visible) {
                const float v = clamp01(getArpValue(t)); // as the value texts read it
                switch (row) {
                case tag::RowSlide:
                    text = getArpValueOnOff(t) ? "X" : " ";
                    break;
                case tag::RowTune:
                    text = std::to_string(plugin->getArpStepTuneForDisplay(i)) + "sm";
                    break;
                case tag::RowVelocity:
                    text = std::to_string(static_cast<int>(v * 127));
                    break;
                case tag::RowChord:
                    text = chordMode
                               ? "----"
                               : vocabAt(ARP_CHORD_SHORT_STR, static_cast<int>(v * 20 + 0.1f));
                    break;
                case tag::RowFree:
                    text = std::to_string(static_cast<int>(v * 200 - 100));
                    break;
                case tag::RowRatchet:
                    text =
                        ratchets ? vocabAt(ARP_RATCHET_STR, plugin->getLockSteppedValue(t)) : "--";
                    break;
                default:
                    break;
                }
            }
            context->drawString(text.c_str(), cell(row), kCenterText);
        }
    }
    setDirty(false);
}

CMouseEventResult TArpScreen::onMouseDown(CPoint& where, const CButtonState& buttons) {
    mouseDown = false;
    if (!getMouseEnabled()) return kDone;
    uEditor* editor = editorOf(this);
    APlugin* plugin = pluginOf(editor);
    if (!editor || !plugin || plugin->getArpOrPlayLocked()) return kDone;

    selectedTag = -1;
    downPoint = where;
    const CRect& view = getViewSize();
    const float w = ARP_STEP_WIDTH[sizeIndex];
    const int step = std::clamp(static_cast<int>((toInt(where.x) - view.left) / w), 0, kSteps - 1);
    const double fromGrid = toInt(where.y) - view.top - ARP_LED_OFFSET[sizeIndex];
    const int row = static_cast<int>(fromGrid / ARP_ROW_HEIGHT[sizeIndex]);
    lastStep = step;
    lastRow = row;

    if (anyOf(buttons, kMenuClick)) {
        editor->showArpMenu(row, step, true);
        return kDone;
    }
    if (exactly(buttons, kOriginalClick)) {
        plugin->setSteppedValue(tag::ArpNumSteps, step);
        return kDone;
    }
    if (step >= plugin->getArpNumOfSteps()) return kMouseEventHandled;

    editor->setArpUndo();
    // The band above the rows places the key-entry position.
    if (fromGrid < 0) {
        plugin->setArpKeyEntryPos(step);
        setDirty(true);
        return kDone;
    }
    if (row < 0 || row >= kRows) return kDone;
    const int t = tag::arpStep(row, step);
    if (row <= tag::RowSlide) {
        toggleArpValue(t);
        return kDone;
    }
    selectedTag = t;

    if (buttons.isDoubleClick()) {
        setArpValue(t, plugin->getDefaultValue(t));
        return kDone;
    }
    if (exactly(buttons, kDefaultClick)) {
        plugin->setNumValue(t);
        setDirty(true);
        return kDone;
    }
    const bool chordMode = plugin->getArpMode() == arpmode::Chord;
    if (row == tag::RowChord && !chordMode) {
        popupCellMenu(ARP_CHORD_STR.data(), static_cast<int>(ARP_CHORD_STR.size()));
        return kDone;
    }
    if (row == tag::RowRatchet) {
        popupCellMenu(ARP_RATCHET_STR.data(), static_cast<int>(ARP_RATCHET_STR.size()));
        return kDone;
    }

    // Tune, velocity, free and, in chord mode, the chord row: a value drag.
    mouseDown = true;
    dragStart = getArpValue(t);
    dragStep = getRange() / (anyOf(buttons, kShift) ? kArpFineDragPixels : kArpDragPixels);
    lastPoint = CPoint(-1, -1);
    // The host hears of the cell's parameter, not of the screen's own tag.
    if (CFrame* frame = getFrame()) frame->beginEdit(t);
    return onMouseMoved(where, buttons);
}

// Right and up both increase the value, from the value at mouse-down by a
// step fixed at mouse-down.
CMouseEventResult TArpScreen::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    uEditor* editor = editorOf(this);
    APlugin* plugin = pluginOf(editor);
    if (!editor || !plugin) return kMouseEventHandled;
    if (mouseDown && buttons.isLeftButton() && where != lastPoint) {
        const float distance =
            static_cast<float>((where.x - downPoint.x) + (downPoint.y - where.y));
        plugin->setLockVar(selectedTag, dragStart + distance * dragStep);
        lastPoint = where;
    }
    setDirty(true);
    return kMouseEventHandled;
}

CMouseEventResult TArpScreen::onMouseCancel() {
    CPoint where;
    return onMouseUp(where, CButtonState());
}

CMouseEventResult TArpScreen::onMouseUp(CPoint& /*where*/, const CButtonState& /*buttons*/) {
    const bool wasDragging = mouseDown;
    mouseDown = false;
    if (wasDragging)
        if (CFrame* frame = getFrame()) frame->endEdit(selectedTag);
    return kMouseEventHandled;
}

bool TArpScreen::onWheel(const CPoint& where, const float& distance, const CButtonState& buttons) {
    uEditor* editor = editorOf(this);
    APlugin* plugin = pluginOf(editor);
    if (!editor || !plugin) return false;
    const CRect& view = getViewSize();
    const int step = std::clamp(
        static_cast<int>((toInt(where.x) - view.left) / ARP_STEP_WIDTH[sizeIndex]), 0, kSteps - 1);
    const int row = static_cast<int>((toInt(where.y) - view.top - ARP_LED_OFFSET[sizeIndex]) /
                                     ARP_ROW_HEIGHT[sizeIndex]);
    lastStep = step;
    lastRow = row;
    // The ratchet row, like anywhere off the grid, steps the cell picked last.
    if (row >= 0 && row < tag::RowRatchet) selectedTag = tag::arpStep(row, step);
    plugin->changeDelta(selectedTag, wheelStep(distance), anyOf(buttons, kShift), 1.0f);
    setDirty(true);
    return true;
}

// The chord and ratchet popups follow the editor's popup convention: the
// plug-in's popup flag is up while the menu is, and the choice is found by
// its title.
void TArpScreen::popupCellMenu(const char* const* entries, int count) {
    APlugin* plugin = pluginOf(editorOf(this));
    CFrame* frame = getFrame();
    if (!plugin || !frame) return;
    plugin->core.popupOpen.set();
    CPoint mouse;
    frame->getCurrentMouseLocation(mouse);
    auto* menu = new COptionMenu(CRect(mouse.x - kPopupHalfSide, mouse.y - kPopupHalfSide,
                                       mouse.x + kPopupHalfSide, mouse.y + kPopupHalfSide),
                                 nullptr, NO_PARAM_TAG, nullptr, nullptr, kPopupMenuStyle);
    for (int i = 0; i < count; ++i) menu->addEntry(entries[i]);
    frame->addView(menu);
    const bool chosen = menu->popup();
    frame->looseFocus();
    if (chosen) {
        char title[256] = {};
        menu->getCurrent(title, false);
        for (int i = 0; i < count; ++i)
            if (std::strcmp(title, entries[i]) == 0) plugin->setSteppedValue(selectedTag, i);
    }
    frame->removeView(menu, true);
    setDirty(true);
    plugin->core.popupOpen.clear();
}
