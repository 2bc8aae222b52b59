// TModScreen: the modulation matrix as a table.
//
// Eight rows of the twelve user slots, each with four cells: the slot
// number, the short names of its source and destination and the display
// text of its amount; a bypassed slot is drawn dimmed. A scroll bar on the
// right picks which eight slots show. A click on the number switches the
// slot's bypass, a click on the source or destination pops up every source
// or destination grouped in submenus, a drag on the amount changes it (in
// whole semitones for a pitch destination unless shift is held); Command
// clicks type a value, Option clicks take the loaded preset's value, a
// double click on the amount its default, and a menu click opens the
// matrix menu for the slot. The wheel steps sources, destinations and
// amounts, or scrolls over the bar.
//
// The screen keeps no slot values of its own: it reads and writes the
// slot parameters of the plug-in directly and carries NO_PARAM_TAG.
#pragma once

#include "core/tags.h"
#include "vstgui/vstgui.h"

#include <array>

// Per-size tables of the matrix (index: GUI size index 0..3).
inline constexpr std::array<int, 4> MOD_SLOT_HEIGHT = {13, 16, 19, 26};
inline constexpr std::array<float, 4> MOD_SLOT_HEIGHT_F = {13.0f, 16.375f, 19.625f, 26.0f};
inline constexpr std::array<int, 4> MOD_SCROLL_HEIGHT = {10, 9, 15, 20};
inline constexpr std::array<int, 4> MOD_SCROLL_WIDTH = {4, 7, 8, 10};
inline constexpr std::array<std::array<int, 4>, 4> MOD_COL_START = {
    {{0, 28, 107, 207}, {0, 35, 133, 258}, {0, 42, 160, 310}, {0, 56, 214, 414}}};
// The end of column 3 is the scroll bar's x, not the end of its text.
inline constexpr std::array<std::array<int, 4>, 4> MOD_COL_END = {
    {{28, 107, 207, 246}, {35, 133, 258, 307}, {42, 160, 310, 369}, {56, 214, 414, 492}}};
inline constexpr std::array<std::array<int, 4>, 4> MOD_COL_WIDTH = {
    {{28, 76, 96, 36}, {34, 93, 125, 49}, {42, 118, 152, 59}, {52, 156, 200, 74}}};

class TModScreen : public VSTGUI::CControl {
public:
    static constexpr int kSlots = tag::ModSlotCount;
    static constexpr int kRows = 8;

    // The rectangle must be taller than the scroll bar.
    TModScreen(const VSTGUI::CRect& size, VSTGUI::IControlListener* listener, int sizeIndex);
    TModScreen(const TModScreen& other);
    ~TModScreen() override;

    VSTGUI::CView* newCopy() const override;
    void draw(VSTGUI::CDrawContext* context) override;
    VSTGUI::CMouseEventResult onMouseDown(VSTGUI::CPoint& where,
                                          const VSTGUI::CButtonState& buttons) override;
    VSTGUI::CMouseEventResult onMouseUp(VSTGUI::CPoint& where,
                                        const VSTGUI::CButtonState& buttons) override;
    VSTGUI::CMouseEventResult onMouseMoved(VSTGUI::CPoint& where,
                                           const VSTGUI::CButtonState& buttons) override;
    // A drag taken away ends like a release: the amount stays where it is
    // and the host's edit is closed.
    VSTGUI::CMouseEventResult onMouseCancel() override;
    bool onWheel(const VSTGUI::CPoint& where, const float& distance,
                 const VSTGUI::CButtonState& buttons) override;
    // The axis form passes the vertical wheel on to the handler above.
    using VSTGUI::CView::onWheel;

    // The slot shown in visible row 0..7.
    int getModSlot(int row) const;
    // The slot under a y position and the column (0 number, 1 source,
    // 2 destination, 3 amount) under an x position, in the coordinates of
    // the screen's parent; both always valid.
    int getModSlotFromY(int y) const;
    int getModCol(int x) const;

    // The slot shown in the top row.
    int getFirstVisibleSlot() const;
    int getScrollPos() const { return scrollPos; }
    int getScrollRange() const { return scrollRange; }
    int getSizeIndex() const { return sizeIndex; }
    int getClickedSlot() const { return clickedSlot; }

private:
    // Pops up the sources (column 1) or destinations (column 2) of the
    // clicked slot and sets the one chosen.
    void popupChoice(int column, const VSTGUI::CPoint& where);

    bool scrollDragging = false;
    int sizeIndex;
    int amountDragTag = -1;
    int clickedSlot = 0;
    int scrollBarX;
    int scrollPos = 0;
    int scrollBarHeight;
    int scrollBarWidth;
    int scrollRange;
    float dragStep = 0.0f;
    float dragValue = 0.0f;
    VSTGUI::CPoint lastPoint{0, 0};
    VSTGUI::CPoint dragStart{0, 0};
    VSTGUI::CFontRef font;
};
