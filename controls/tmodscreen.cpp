#include "controls/tmodscreen.h"

#include "controls/control_access.h"
#include "core/aplugin.h"
#include "core/mod_slots.h"
#include "core/tags.h"
#include "core/vocabulary.h"
#include "editor/gui_tables.h"
#include "editor/ueditor.h"

#include <algorithm>
#include <cstring>
#include <string>

using namespace VSTGUI;
using namespace ControlAccess;

namespace {

constexpr CMouseEventResult kDone = kMouseDownEventHandledButDontNeedMovedOrUpEvents;

// Pixels of drag for the whole amount range, and with shift held.
constexpr float kDragPixels = 200.0f;
constexpr float kFineDragPixels = 10000.0f;
// The wheel over the amount moves half the plug-in's normal step.
constexpr float kAmountWheelScale = 0.5f;
// A wheel notch over the scroll bar moves it by 1/32 of its range.
constexpr float kScrollWheelStep = 0.03125f;
// The first visible slot runs over 0..4 as the bar runs over its range.
constexpr float kFirstSlotSpan = 4.99f;

// Pitch destinations move in whole semitones of a +-36 semitone range.
constexpr float kSemitoneSteps = 72.0f;

// The popups: a tiny view that draws nothing and opens its list there.
constexpr int32_t kPopupStyle = 0x110;
constexpr CCoord kPopupHalfSize = 10;

// The semitone step of an amount (int(72 v + 0.1), with 72 v taken as
// v x 36 doubled).
int semitoneStep(float v) {
    const float doubled = v * 36.0f * 2.0f;
    return static_cast<int>(doubled + 0.1f);
}

std::string slotNumber(int slot) {
    return std::to_string(slot + 1);
}

} // namespace

TModScreen::TModScreen(const CRect& size, IControlListener* listener, int sizeIndexIn)
    : CControl(size, listener, NO_PARAM_TAG, nullptr), sizeIndex(clampSizeIndex(sizeIndexIn)),
      scrollBarX(MOD_COL_END[clampSizeIndex(sizeIndexIn)][3]),
      scrollBarHeight(MOD_SCROLL_HEIGHT[clampSizeIndex(sizeIndexIn)]),
      scrollBarWidth(MOD_SCROLL_WIDTH[clampSizeIndex(sizeIndexIn)]),
      scrollRange(static_cast<int>(size.getHeight() - scrollBarHeight)),
      font(FONT_SIZES[clampSizeIndex(sizeIndexIn)]) {}

TModScreen::TModScreen(const TModScreen& other) = default;

TModScreen::~TModScreen() = default;

CView* TModScreen::newCopy() const {
    return new TModScreen(*this);
}

// ------------------------------------------------------------------ geometry

int TModScreen::getFirstVisibleSlot() const {
    if (scrollRange <= 0) return 0;
    const float f = static_cast<float>(scrollPos) / static_cast<float>(scrollRange);
    return static_cast<int>(f * kFirstSlotSpan);
}

int TModScreen::getModSlot(int row) const {
    return std::clamp(getFirstVisibleSlot() + row, 0, kSlots - 1);
}

int TModScreen::getModSlotFromY(int y) const {
    const float dy = static_cast<float>(y - static_cast<int>(getViewSize().top));
    const int row = static_cast<int>(dy / MOD_SLOT_HEIGHT_F[sizeIndex]);
    return std::clamp(getFirstVisibleSlot() + row, 0, kSlots - 1);
}

// Strict comparisons: a boundary pixel, and the left edge itself, belong to
// the amount column.
int TModScreen::getModCol(int x) const {
    const int dx = x - static_cast<int>(getViewSize().left);
    const auto& start = MOD_COL_START[sizeIndex];
    const auto& end = MOD_COL_END[sizeIndex];
    for (int c = 0; c < 3; ++c)
        if (start[c] < dx && dx < end[c]) return c;
    return 3;
}

// ------------------------------------------------------------------ drawing

void TModScreen::draw(CDrawContext* context) {
    uEditor* editor = editorOf(this);
    APlugin* plugin = pluginOf(editor);
    if (!editor || !plugin || !editor->getEditorFinishedOpening()) return;

    const CRect& r = getViewSize();
    // At 100 % the rows and the bar sit one pixel below their table places.
    const int nudge = sizeIndex == 0 ? 1 : 0;
    context->setFont(font);
    for (int row = 0; row < kRows; ++row) {
        const int s = getModSlot(row);
        context->setFontColor(plugin->getModSlotBypass(s) ? DARK_BLUE_COLOR : LIGHT_BLUE_COLOR);
        const int top =
            static_cast<int>(r.top + static_cast<int>(row * MOD_SLOT_HEIGHT_F[sizeIndex])) + nudge;
        const int bottom = top + MOD_SLOT_HEIGHT[sizeIndex];
        const std::string texts[4] = {
            slotNumber(s),
            vocabAt(SRC_SHORT_STR, plugin->getSteppedValue(tag::slotSource(s))),
            vocabAt(DEST_SHORT_STR, plugin->getSteppedValue(tag::slotDest(s))),
            plugin->getParameterDisplayStr(tag::slotAmount(s)),
        };
        for (int c = 0; c < 4; ++c) {
            const CCoord left = r.left + MOD_COL_START[sizeIndex][c];
            const CRect cell(left, top, left + MOD_COL_WIDTH[sizeIndex][c], bottom);
            context->drawString(texts[c].c_str(), cell, kCenterText, true);
        }
    }

    context->setFillColor(SCROLL_BAR_COLOR);
    context->setFrameColor(SCROLL_BAR_COLOR);
    const CCoord barLeft = r.left + scrollBarX;
    const CCoord barTop = r.top + scrollPos + nudge;
    context->drawRect(CRect(barLeft, barTop, barLeft + scrollBarWidth, barTop + scrollBarHeight),
                      kDrawFilled);
}

// ------------------------------------------------------------------ mouse

CMouseEventResult TModScreen::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!getMouseEnabled()) return kDone;
    uEditor* editor = editorOf(this);
    APlugin* plugin = pluginOf(editor);
    if (!editor || !plugin) return kDone;

    scrollDragging = false;
    clickedSlot = getModSlotFromY(static_cast<int>(where.y));
    amountDragTag = -1;

    if (anyOf(buttons, kMenuClick)) {
        editor->showModMenu(clickedSlot);
        return kDone;
    }

    // The scroll bar: shift jumps to the top, Command to the bottom, a
    // plain click grabs the bar by its top.
    if (where.x - getViewSize().left > scrollBarX) {
        if (anyOf(buttons, kShift)) {
            scrollPos = 0;
            setDirty(true);
            return kDone;
        }
        if (anyOf(buttons, kControl)) {
            scrollPos = scrollRange;
            setDirty(true);
            return kDone;
        }
        scrollDragging = true;
        return onMouseMoved(where, buttons);
    }

    editor->setModUndo();
    amountDragTag = tag::slotAmount(clickedSlot);
    const int bypassTag = tag::slotBypass(clickedSlot);
    const int sourceTag = tag::slotSource(clickedSlot);
    const int destTag = tag::slotDest(clickedSlot);
    const int column = getModCol(static_cast<int>(where.x));

    if (column == 3 && buttons.isDoubleClick()) {
        plugin->setToDefault(amountDragTag);
        setDirty(true);
        return kDone;
    }
    if (exactly(buttons, kOriginalClick)) {
        if (column == 1) plugin->setToOrig(sourceTag);
        if (column == 2) plugin->setToOrig(destTag);
        if (column == 3) plugin->setToOrig(amountDragTag);
        setDirty(true);
        return kDone;
    }
    if (exactly(buttons, kDefaultClick)) {
        if (column == 1) plugin->setNumValue(sourceTag);
        if (column == 2) plugin->setNumValue(destTag);
        if (column == 3) plugin->setModValue(clickedSlot);
        setDirty(true);
        return kDone;
    }
    switch (column) {
    case 0:
        plugin->toggleValue(bypassTag);
        setDirty(true);
        return kDone;
    case 1:
    case 2:
        popupChoice(column, where);
        return kDone;
    default:
        // The host hears of the slot's amount, not of the screen's own tag.
        beginEdit();
        if (CFrame* frame = getFrame()) frame->beginEdit(amountDragTag);
        dragValue = plugin->getParameter(amountDragTag);
        dragStart = where;
        return onMouseMoved(where, buttons);
    }
}

CMouseEventResult TModScreen::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    uEditor* editor = editorOf(this);
    APlugin* plugin = pluginOf(editor);
    if (!editor || !plugin) return kMouseEventHandled;

    if (scrollDragging) {
        const int pos =
            std::clamp(static_cast<int>(where.y - getViewSize().top), 0, std::max(scrollRange, 0));
        if (pos != scrollPos) {
            scrollPos = pos;
            setDirty(true);
        }
        return kMouseEventHandled;
    }

    // Only between the press on an amount and the release.
    if (!buttons.isLeftButton() || !isEditing()) return kMouseEventHandled;
    if (where == lastPoint) return kMouseEventHandled;
    lastPoint = where;
    // Right or up increases the amount.
    const float d = static_cast<float>((where.x - dragStart.x) + (dragStart.y - where.y));
    const bool fine = anyOf(buttons, kShift);
    const float step = (getMax() - getMin()) / (fine ? kFineDragPixels : kDragPixels);
    // Re-based on a change of speed, so that shift never makes the value jump.
    dragValue += (dragStep - step) * d;
    dragStep = step;
    plugin->setParameterAutomated(amountDragTag, step * d + dragValue);
    if (plugin->getDestTypeForSlot(clickedSlot) == kDestSemitone && !fine) {
        const float v = plugin->getParameter(amountDragTag);
        plugin->setParameterAutomated(amountDragTag,
                                      static_cast<float>(semitoneStep(v)) / kSemitoneSteps);
    }
    setDirty(true);
    return kMouseEventHandled;
}

CMouseEventResult TModScreen::onMouseUp(CPoint& /*where*/, const CButtonState& /*buttons*/) {
    scrollDragging = false;
    if (amountDragTag >= tag::slotAmount(0) && amountDragTag <= tag::slotAmount(kSlots - 1) &&
        isEditing()) {
        if (CFrame* frame = getFrame()) frame->endEdit(amountDragTag);
        endEdit();
    }
    setDirty(true);
    return kMouseEventHandled;
}

CMouseEventResult TModScreen::onMouseCancel() {
    CPoint where;
    return onMouseUp(where, CButtonState());
}

bool TModScreen::onWheel(const CPoint& where, const float& distance, const CButtonState& buttons) {
    uEditor* editor = editorOf(this);
    APlugin* plugin = pluginOf(editor);
    if (!editor || !plugin) return false;

    if (where.x - getViewSize().left > scrollBarX) {
        const int delta =
            static_cast<int>(static_cast<float>(scrollRange) * distance * kScrollWheelStep);
        scrollPos = std::clamp(scrollPos - delta, 0, std::max(scrollRange, 0));
    } else {
        clickedSlot = getModSlotFromY(static_cast<int>(where.y));
        const bool fine = anyOf(buttons, kShift);
        const int k = wheelStep(distance);
        const int amountTag = tag::slotAmount(clickedSlot);
        switch (getModCol(static_cast<int>(where.x))) {
        case 0:
            break;
        case 1: // wheel up goes back through the list
            plugin->changeDelta(tag::slotSource(clickedSlot), -k, fine, 1.0f);
            break;
        case 2:
            plugin->changeDelta(tag::slotDest(clickedSlot), -k, fine, 1.0f);
            break;
        default:
            if (plugin->getDestTypeForSlot(clickedSlot) == kDestSemitone && !fine) {
                const float v = plugin->getParameter(amountTag);
                const float next = static_cast<float>(semitoneStep(v) + k) / kSemitoneSteps;
                plugin->setParameterAutomated(amountTag, std::clamp(next, 0.0f, 1.0f));
            } else {
                plugin->changeDelta(amountTag, k, fine, kAmountWheelScale);
            }
            break;
        }
    }
    setDirty(true);
    return true;
}

// ------------------------------------------------------------------ popups

void TModScreen::popupChoice(int column, const CPoint& where) {
    uEditor* editor = editorOf(this);
    APlugin* plugin = pluginOf(editor);
    CFrame* frame = getFrame();
    if (!editor || !plugin || !frame) return;
    const bool source = column == 1;

    plugin->core.popupOpen.set();
    CPoint at = where;
    localToFrame(at);
    const CRect square(at.x - kPopupHalfSize, at.y - kPopupHalfSize, at.x + kPopupHalfSize,
                       at.y + kPopupHalfSize);
    auto* menu = new COptionMenu(square, nullptr, NO_PARAM_TAG, nullptr, nullptr, kPopupStyle);
    menu->addEntry((source ? "-GMod Source " : "-GMod Destination ") + slotNumber(clickedSlot));
    menu->addEntry("-");
    menu->addEntry("None");
    const int groups = source ? src::GroupCount : dst::GroupCount;
    for (int g = 0; g < groups; ++g) {
        auto* sub = new COptionMenu(square, nullptr, NO_PARAM_TAG, nullptr, nullptr, kPopupStyle);
        const int first = source ? src::GroupFirst[g] : dst::GroupFirst[g];
        const int last = source ? src::GroupEnd[g] : dst::GroupEnd[g];
        for (int i = first; i < last; ++i) sub->addEntry(source ? SRC_STR[i] : DEST_STR[i]);
        menu->addEntry(sub, source ? std::string("Modulate by ") + SRC_SUB_STR[g]
                                   : std::string(DEST_SUB_STR[g]));
        sub->forget();
    }

    frame->addView(menu);
    menu->popup();
    frame->looseFocus();

    // The choice is known by its title; when names repeat, the last one of
    // the table wins.
    int32_t index = -1;
    if (COptionMenu* chosenIn = menu->getLastItemMenu(index)) {
        char title[256] = {};
        chosenIn->getCurrent(title, false);
        const int tagOfSlot = source ? tag::slotSource(clickedSlot) : tag::slotDest(clickedSlot);
        if (source) {
            for (int i = 0; i < static_cast<int>(SRC_STR.size()); ++i)
                if (std::strcmp(title, SRC_STR[i]) == 0) plugin->setSteppedValue(tagOfSlot, i);
        } else {
            for (int i = 0; i < static_cast<int>(DEST_STR.size()); ++i)
                if (std::strcmp(title, DEST_STR[i]) == 0) plugin->setSteppedValue(tagOfSlot, i);
        }
    }

    frame->removeView(menu, true);
    setDirty(true);
    plugin->core.popupOpen.clear();
}
