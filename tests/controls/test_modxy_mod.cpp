// The modulation matrix screen: which slots its rows show as it scrolls,
// the cells under the mouse, the clicks on each column (bypass, popups of
// sources and destinations, typed values, preset values, defaults), the
// amount drag and the wheel, and what it draws.

#include "controls/tmodscreen.h"
#include "controls_fixture.h"
#include "core/vocabulary.h"
#include "platform/dialog_service.h"

using namespace ControlsTest;

namespace {

// The matrix where the main screen puts it at 100 %.
constexpr CRect kModRect(25, 648, 275, 752);
constexpr int kPitchDest = dst::OscSemi; // a semitone destination
constexpr int kPlainDest = dst::Portamento;
constexpr int32_t kOriginalClick = kLButton | kAlt;    // 0x42
constexpr int32_t kDefaultClick = kLButton | kControl; // 0x22

// Records the plug-in's popup flag while a popup is up.
class FlagPopups : public Testing::ScriptedPopupProvider {
public:
    Result popup(COptionMenu* root, CFrame* frame, const CPoint& where) override {
        flagWhileUp.push_back(plugin && plugin->core.popupOpen);
        return ScriptedPopupProvider::popup(root, frame, where);
    }
    APlugin* plugin = nullptr;
    std::vector<bool> flagWhileUp;
};

struct ControlsModScreen : ControlsFixture {
    TModScreen* makeScreen(int size = 0, const CRect& r = kModRect) {
        auto* screen = add(new TModScreen(r, &ui(), size));
        redraw();
        return screen;
    }
    // The middle of a cell of visible row `row` at size 0.
    CPoint cell(int column, int row, const CRect& r = kModRect) const {
        const auto& start = MOD_COL_START[0];
        const auto& end = MOD_COL_END[0];
        const CCoord x = r.left + (start[column] + end[column]) / 2;
        return CPoint(x, r.top + 13 * row + 6);
    }
    CPoint bar(CCoord y) const { return CPoint(kModRect.left + 248, y); }
    float value(int t) { return plugin->getParameter(t); }
    void setDest(int slot, int dest) { plugin->setSteppedValue(tag::slotDest(slot), dest); }
    int steps(int t) { return plugin->getSteppedValue(t); }
    // The brightest green of the pixels of a rect (0 when nothing is drawn).
    int maxGreen(const CRect& r) {
        int best = 0;
        for (int y = static_cast<int>(r.top); y < r.bottom; ++y)
            for (int x = static_cast<int>(r.left); x < r.right; ++x)
                best = std::max(best, static_cast<int>(pixel(x, y).green));
        return best;
    }
    size_t automated(int t) {
        size_t n = 0;
        for (const auto& call : host.calls)
            if (call.opcode == audioMasterAutomate && call.index == t) ++n;
        return n;
    }
};

} // namespace

// ------------------------------------------------------------------ construction, geometry

TEST_F(ControlsModScreen, SizeIndexIsClampedAndTheScrollRangeComesFromTheHeight) {
    TModScreen* small = makeScreen(-1);
    EXPECT_EQ(small->getSizeIndex(), 0);
    EXPECT_EQ(small->getTag(), NO_PARAM_TAG);
    EXPECT_EQ(small->getScrollRange(), 104 - 10);
    TModScreen big(CRect(0, 0, 500, 208), nullptr, 7);
    EXPECT_EQ(big.getSizeIndex(), 3);
    EXPECT_EQ(big.getScrollRange(), 208 - 20);
    TModScreen mid(CRect(0, 0, 313, 131), nullptr, 1);
    EXPECT_EQ(mid.getScrollRange(), 131 - 9); // the bar is shorter than at 100 %
}

TEST_F(ControlsModScreen, ColumnsSplitAtStrictBoundariesAndRowsFollowTheScroll) {
    TModScreen* screen = makeScreen();
    const int left = static_cast<int>(kModRect.left);
    // The left edge and every boundary pixel count as the amount column.
    EXPECT_EQ(screen->getModCol(left), 3);
    EXPECT_EQ(screen->getModCol(left + 1), 0);
    EXPECT_EQ(screen->getModCol(left + 27), 0);
    EXPECT_EQ(screen->getModCol(left + 28), 3);
    EXPECT_EQ(screen->getModCol(left + 29), 1);
    EXPECT_EQ(screen->getModCol(left + 106), 1);
    EXPECT_EQ(screen->getModCol(left + 107), 3);
    EXPECT_EQ(screen->getModCol(left + 108), 2);
    EXPECT_EQ(screen->getModCol(left + 207), 3);
    EXPECT_EQ(screen->getModCol(left + 240), 3);

    const int top = static_cast<int>(kModRect.top);
    EXPECT_EQ(screen->getModSlotFromY(top), 0);
    EXPECT_EQ(screen->getModSlotFromY(top + 12), 0);
    EXPECT_EQ(screen->getModSlotFromY(top + 13), 1);
    EXPECT_EQ(screen->getModSlotFromY(top + 103), 7);
    EXPECT_EQ(screen->getModSlotFromY(top - 40), 0); // clamped
    EXPECT_EQ(screen->getModSlotFromY(top + 400), 11);

    // At 125 % the rows are 16.375 pixels apart for hit tests.
    TModScreen* mid = makeScreen(1, CRect(31, 300, 344, 431));
    EXPECT_EQ(mid->getModSlotFromY(300 + 16), 0);
    EXPECT_EQ(mid->getModSlotFromY(300 + 17), 1);
    EXPECT_EQ(mid->getModSlotFromY(300 + 114), 6); // 114 / 16.375 = 6.96
    EXPECT_EQ(mid->getModSlotFromY(300 + 115), 7);
    EXPECT_EQ(mid->getModCol(31 + 35), 3);
    EXPECT_EQ(mid->getModCol(31 + 36), 1);
}

TEST_F(ControlsModScreen, ScrollingShowsSlotsOneToEightAtTheTopAndFiveToTwelveAtTheBottom) {
    TModScreen* screen = makeScreen();
    EXPECT_EQ(screen->getScrollPos(), 0);
    EXPECT_EQ(screen->getModSlot(0), 0);
    EXPECT_EQ(screen->getModSlot(7), 7);

    // A Command click on the bar goes to the bottom and redraws at once.
    down(bar(kModRect.top + 5), kLButton | kControl);
    EXPECT_EQ(screen->getScrollPos(), screen->getScrollRange());
    EXPECT_TRUE(screen->isDirty());
    EXPECT_EQ(screen->getModSlot(0), 4);
    EXPECT_EQ(screen->getModSlot(7), 11);
    EXPECT_EQ(screen->getModSlotFromY(static_cast<int>(kModRect.top)), 4);
    redraw();

    // Shift goes back to the top.
    down(bar(kModRect.top + 50), kLButton | kShift);
    EXPECT_EQ(screen->getScrollPos(), 0);
    EXPECT_TRUE(screen->isDirty());

    // A plain click puts the bar's top at the mouse, the drag keeps it
    // there within the range; the first slot moves in fifths of the range.
    const int range = screen->getScrollRange(); // 94
    down(bar(kModRect.top + 18));
    EXPECT_EQ(screen->getScrollPos(), 18);
    EXPECT_EQ(screen->getFirstVisibleSlot(), 0); // 18 / 94 x 4.99 = 0.96
    move(bar(kModRect.top + 19));
    EXPECT_EQ(screen->getFirstVisibleSlot(), 1); // 1.009
    move(bar(kModRect.top + 38));
    EXPECT_EQ(screen->getFirstVisibleSlot(), 2);
    move(bar(kModRect.top + 500));
    EXPECT_EQ(screen->getScrollPos(), range);
    move(bar(kModRect.top - 30));
    EXPECT_EQ(screen->getScrollPos(), 0);
    move(CPoint(kModRect.left + 10, kModRect.top + 60)); // left of the bar: still the bar
    EXPECT_EQ(screen->getScrollPos(), 60);
    up(CPoint(kModRect.left + 10, kModRect.top + 60));
    move(CPoint(kModRect.left + 10, kModRect.top + 20), 0); // a hover
    EXPECT_EQ(screen->getScrollPos(), 60);

    // The wheel over the bar: a notch up is a 32nd of the range towards slot 1.
    wheel(bar(kModRect.top + 5), 1.0f);
    EXPECT_EQ(screen->getScrollPos(), 60 - 2);
    wheel(bar(kModRect.top + 5), -10.0f);
    EXPECT_EQ(screen->getScrollPos(), 58 + 29);
    wheel(bar(kModRect.top + 5), -10.0f);
    EXPECT_EQ(screen->getScrollPos(), range);
    EXPECT_EQ(screen->getModSlot(0), 4);

    // Nothing of this touched the matrix or its undo.
    float undo = 0.0f;
    EXPECT_FALSE(ui().getModUndo(tag::slotAmount(0), undo));
}

// ------------------------------------------------------------------ clicks

TEST_F(ControlsModScreen, ClicksOnTheNumberSwitchBypassAndTakeTheUndoSnapshot) {
    TModScreen* screen = makeScreen();
    plugin->setParameter(tag::slotAmount(2), 0.7f);
    click(cell(0, 2));
    EXPECT_TRUE(plugin->getModSlotBypass(2));
    float undo = 0.0f;
    ASSERT_TRUE(ui().getModUndo(tag::slotAmount(2), undo));
    EXPECT_FLOAT_EQ(undo, 0.7f);
    ASSERT_TRUE(ui().getModUndo(tag::slotBypass(2), undo));
    EXPECT_FLOAT_EQ(undo, 0.0f); // taken before the click's change
    click(cell(0, 2));
    EXPECT_FALSE(plugin->getModSlotBypass(2));

    // After scrolling to the bottom row 0 is slot 5.
    down(bar(kModRect.top + 3), kLButton | kControl);
    click(cell(0, 0));
    EXPECT_TRUE(plugin->getModSlotBypass(4));
    EXPECT_EQ(screen->getClickedSlot(), 4);

    // Without the mouse nothing happens.
    screen->setMouseEnabled(false);
    CPoint p = cell(0, 0);
    EXPECT_EQ(screen->onMouseDown(p, kLButton), kMouseDownEventHandledButDontNeedMovedOrUpEvents);
    EXPECT_TRUE(plugin->getModSlotBypass(4));
}

TEST_F(ControlsModScreen, OptionCommandAndDoubleClicksPerColumn) {
    ScriptedDialogService dialogs;
    ScopedDialogService scoped(dialogs);
    makeScreen();
    setDest(1, kPlainDest);
    plugin->setParameter(tag::slotAmount(1), 0.9f);
    plugin->setSteppedValue(tag::slotSource(1), 17);

    // Option click: the loaded preset's value of that cell only.
    click(cell(1, 1), kOriginalClick);
    EXPECT_EQ(steps(tag::slotSource(1)), 0);
    EXPECT_FLOAT_EQ(value(tag::slotAmount(1)), 0.9f);
    click(cell(3, 1), kOriginalClick);
    EXPECT_FLOAT_EQ(value(tag::slotAmount(1)), plugin->getOrigValue(tag::slotAmount(1)));
    click(cell(2, 1), kOriginalClick);
    EXPECT_EQ(steps(tag::slotDest(1)), 0);
    click(cell(0, 1), kOriginalClick); // the number has no preset value
    EXPECT_FALSE(plugin->getModSlotBypass(1));

    // Command click: typed entries; the amount in its destination's unit.
    setDest(1, kPitchDest);
    click(cell(1, 1), kDefaultClick);
    click(cell(2, 1), kDefaultClick);
    click(cell(3, 1), kDefaultClick);
    click(cell(0, 1), kDefaultClick);
    ASSERT_EQ(dialogs.textRequests.size(), 3u);
    EXPECT_EQ(dialogs.textRequests[0].title, plugin->getParameterNameStr(tag::slotSource(1)));
    EXPECT_EQ(dialogs.textRequests[1].title, plugin->getParameterNameStr(tag::slotDest(1)));
    EXPECT_EQ(dialogs.textRequests[2].title, plugin->getParameterNameStr(tag::slotAmount(1)));
    EXPECT_EQ(dialogs.textRequests[2].prompt, "-36 to 36 Semi");
    // A shift-Command click is not a Command click: it opens the popup.
    Testing::ScriptedPopupProvider popups;
    Testing::setPopupProviderOverride(&popups);
    click(cell(1, 1), kLButton | kControl | kShift);
    EXPECT_EQ(popups.popupCount(), 1);
    EXPECT_EQ(dialogs.textRequests.size(), 3u);

    // A double click on the amount sets its default; elsewhere it is a
    // plain click.
    plugin->setParameter(tag::slotAmount(1), 0.2f);
    click(cell(3, 1), kLButton | kDoubleClick);
    EXPECT_FLOAT_EQ(value(tag::slotAmount(1)), plugin->getDefaultValue(tag::slotAmount(1)));
    click(cell(0, 1), kLButton | kDoubleClick);
    EXPECT_TRUE(plugin->getModSlotBypass(1));
}

TEST_F(ControlsModScreen, MenuClicksChangeNothingAndTheDismissedMenuSnapshotsTheMatrix) {
    TModScreen* screen = makeScreen();
    click(cell(3, 5), kRButton);
    click(bar(kModRect.top + 50), kLButton | kApple);
    EXPECT_EQ(screen->getScrollPos(), 0);
    EXPECT_EQ(screen->getClickedSlot(), 3);
    float undo = -1.0f;
    ASSERT_TRUE(ui().getModUndo(tag::slotAmount(5), undo));
    EXPECT_EQ(undo, plugin->getParameter(tag::slotAmount(5)));
    EXPECT_FALSE(plugin->getModSlotBypass(5));
}

// ------------------------------------------------------------------ popups

TEST_F(ControlsModScreen, SourcePopupListsTheGroupsAndSetsTheChosenSource) {
    FlagPopups popups;
    popups.plugin = plugin.get();
    Testing::setPopupProviderOverride(&popups);
    makeScreen();

    popups.chooseTitlePath({"Modulate by MIDI Sources", "Velocity"});
    click(cell(1, 2));
    ASSERT_EQ(popups.popupCount(), 1);
    EXPECT_EQ(steps(tag::slotSource(2)), 17);
    EXPECT_FALSE(plugin->core.popupOpen);
    ASSERT_EQ(popups.flagWhileUp.size(), 1u);
    EXPECT_TRUE(popups.flagWhileUp[0]);

    const auto& shown = popups.history()[0];
    ASSERT_EQ(shown.lines.size(), 6u);
    EXPECT_EQ(shown.lines[0].title, "Mod Source 3");
    EXPECT_FALSE(shown.lines[0].enabled);
    EXPECT_TRUE(shown.lines[1].separator);
    EXPECT_EQ(shown.lines[2].title, "None");
    EXPECT_EQ(shown.lines[3].title, "Modulate by MIDI Sources");
    EXPECT_EQ(shown.lines[4].title, "Modulate by Mod Sources");
    EXPECT_EQ(shown.lines[5].title, "Modulate by Other Sources");
    ASSERT_EQ(shown.submenus.size(), 3u);
    EXPECT_EQ(shown.submenus[0].size(), 38u);
    EXPECT_EQ(shown.submenus[0][0].title, SRC_STR[1]);
    EXPECT_EQ(shown.submenus[1].size(), 23u);
    EXPECT_EQ(shown.submenus[1][0].title, SRC_STR[39]);
    EXPECT_EQ(shown.submenus[2].size(), 13u);
    EXPECT_EQ(shown.submenus[2][12].title, SRC_STR[74]);

    // "None" from the menu itself.
    popups.chooseTitlePath({"None"});
    click(cell(1, 2));
    EXPECT_EQ(steps(tag::slotSource(2)), 0);
    EXPECT_FALSE(plugin->core.popupOpen);
}

TEST_F(ControlsModScreen, DestinationPopupSetsTheDestinationAndADismissOnlyRetakesTheUndo) {
    Testing::ScriptedPopupProvider popups;
    Testing::setPopupProviderOverride(&popups);
    makeScreen();

    popups.chooseTitlePath({"Oscillator", DEST_STR[kPitchDest]});
    click(cell(2, 6));
    EXPECT_EQ(steps(tag::slotDest(6)), kPitchDest);
    EXPECT_EQ(popups.history()[0].lines[0].title, "Mod Destination 7");
    ASSERT_EQ(popups.history()[0].lines.size(), 3u + 12u);
    EXPECT_EQ(popups.history()[0].lines[3].title, DEST_SUB_STR[0]);
    EXPECT_EQ(popups.history()[0].lines[14].title, DEST_SUB_STR[11]);
    size_t entries = 0;
    for (const auto& sub : popups.history()[0].submenus) entries += sub.size();
    EXPECT_EQ(entries, 221u); // every destination but "None"

    // Dismissed: nothing is written, but the snapshot now holds the
    // values of the moment of the click.
    popups.dismiss();
    click(cell(2, 6));
    EXPECT_EQ(steps(tag::slotDest(6)), kPitchDest);
    float undo = 0.0f;
    ASSERT_TRUE(ui().getModUndo(tag::slotDest(6), undo));
    EXPECT_EQ(plugin->getSteppedValue(tag::slotDest(6), undo), kPitchDest);
    EXPECT_FALSE(plugin->core.popupOpen);

    popups.chooseTitlePath({"None"});
    click(cell(2, 6));
    EXPECT_EQ(steps(tag::slotDest(6)), 0);
    // The screen's own popup leaves no view behind on the frame.
    EXPECT_EQ(popups.popupCount(), 3);
}

// ------------------------------------------------------------------ amount drag and wheel

TEST_F(ControlsModScreen, AmountDragMovesRightAndUpAndShiftSlowsItWithoutAJump) {
    makeScreen();
    setDest(0, kPlainDest);
    plugin->setParameter(tag::slotAmount(0), 0.3f);
    host.clearLog();

    const CPoint c = cell(3, 0);
    down(c);
    EXPECT_EQ(hostCalls(audioMasterBeginEdit), 1u);
    EXPECT_NEAR(value(tag::slotAmount(0)), 0.3f, 1e-6);
    move(CPoint(c.x + 10, c.y - 10)); // 20 pixels of 1/200
    EXPECT_NEAR(value(tag::slotAmount(0)), 0.4f, 1e-5);
    move(CPoint(c.x + 10, c.y + 10)); // down cancels right
    EXPECT_NEAR(value(tag::slotAmount(0)), 0.3f, 1e-5);

    // Shift: the pixel of the change still counts at the old speed, then
    // 1/10000 per pixel; releasing it goes back without a jump either.
    move(CPoint(c.x + 11, c.y + 10), kLButton | kShift);
    EXPECT_NEAR(value(tag::slotAmount(0)), 0.305f, 1e-5);
    move(CPoint(c.x + 111, c.y + 10), kLButton | kShift);
    EXPECT_NEAR(value(tag::slotAmount(0)), 0.315f, 1e-5);
    move(CPoint(c.x + 112, c.y + 10));
    EXPECT_NEAR(value(tag::slotAmount(0)), 0.3151f, 1e-5);
    move(CPoint(c.x + 122, c.y + 10));
    EXPECT_NEAR(value(tag::slotAmount(0)), 0.3651f, 1e-5);
    move(CPoint(c.x + 122, c.y - 1000)); // clamped by the plug-in
    EXPECT_FLOAT_EQ(value(tag::slotAmount(0)), 1.0f);
    EXPECT_EQ(hostCalls(audioMasterEndEdit), 0u);
    up(CPoint(c.x + 122, c.y - 1000));
    EXPECT_EQ(hostCalls(audioMasterEndEdit), 1u);
    EXPECT_GT(automated(tag::slotAmount(0)), 5u);

    // A later hover with the button held changes nothing.
    const float before = value(tag::slotAmount(0));
    move(CPoint(c.x - 50, c.y), kLButton);
    EXPECT_FLOAT_EQ(value(tag::slotAmount(0)), before);
}

TEST_F(ControlsModScreen, PitchAmountsMoveInSemitonesUnlessShiftIsHeld) {
    makeScreen();
    setDest(3, kPitchDest);
    ASSERT_EQ(plugin->getDestTypeForSlot(3), 3);
    plugin->setParameter(tag::slotAmount(3), 0.5f);

    const CPoint c = cell(3, 3);
    down(c);
    EXPECT_FLOAT_EQ(value(tag::slotAmount(3)), 36.0f / 72.0f);
    move(CPoint(c.x + 2, c.y)); // 0.51 -> 36 semitone steps
    EXPECT_FLOAT_EQ(value(tag::slotAmount(3)), 36.0f / 72.0f);
    move(CPoint(c.x + 3, c.y)); // 0.515 -> int(37.18)
    EXPECT_FLOAT_EQ(value(tag::slotAmount(3)), 37.0f / 72.0f);
    move(CPoint(c.x + 10, c.y)); // 0.55 -> int(39.7)
    EXPECT_FLOAT_EQ(value(tag::slotAmount(3)), 39.0f / 72.0f);
    // With shift it moves freely: the pixel of the change at the old
    // speed, then a 10000th per pixel.
    move(CPoint(c.x + 11, c.y), kLButton | kShift);
    EXPECT_NEAR(value(tag::slotAmount(3)), 0.555f, 1e-5);
    move(CPoint(c.x + 21, c.y), kLButton | kShift);
    EXPECT_NEAR(value(tag::slotAmount(3)), 0.556f, 1e-5);
    up(CPoint(c.x + 21, c.y));

    // The wheel steps a semitone.
    plugin->setParameter(tag::slotAmount(3), 37.0f / 72.0f);
    wheel(cell(3, 3), 1.0f);
    EXPECT_FLOAT_EQ(value(tag::slotAmount(3)), 38.0f / 72.0f);
    wheel(cell(3, 3), -1.0f);
    wheel(cell(3, 3), -1.0f);
    EXPECT_FLOAT_EQ(value(tag::slotAmount(3)), 36.0f / 72.0f);
    plugin->setParameter(tag::slotAmount(3), 1.0f);
    wheel(cell(3, 3), 1.0f);
    EXPECT_FLOAT_EQ(value(tag::slotAmount(3)), 1.0f);
    // With shift the plug-in's fine step, halved.
    plugin->setParameter(tag::slotAmount(3), 0.5f);
    wheel(cell(3, 3), 1.0f, kShift);
    EXPECT_NEAR(value(tag::slotAmount(3)), 0.5005f, 1e-6);
}

TEST_F(ControlsModScreen, WheelStepsSourcesDestinationsAndAmounts) {
    TModScreen* screen = makeScreen();
    setDest(5, kPlainDest);
    plugin->setSteppedValue(tag::slotSource(5), 10);
    plugin->setSteppedValue(tag::slotDest(5), 20);
    plugin->setParameter(tag::slotAmount(5), 0.5f);

    wheel(cell(1, 5), 1.0f); // up: the previous source
    EXPECT_EQ(steps(tag::slotSource(5)), 9);
    wheel(cell(1, 5), -1.0f);
    wheel(cell(1, 5), -1.0f);
    EXPECT_EQ(steps(tag::slotSource(5)), 11);
    wheel(cell(2, 5), 1.0f);
    EXPECT_EQ(steps(tag::slotDest(5)), 19);
    wheel(cell(3, 5), 1.0f); // up: more, half the plug-in's step
    EXPECT_NEAR(value(tag::slotAmount(5)), 0.505f, 1e-6);
    wheel(cell(3, 5), -1.0f, kShift);
    EXPECT_NEAR(value(tag::slotAmount(5)), 0.5045f, 1e-6);
    wheel(cell(0, 5), 1.0f); // the number: nothing
    EXPECT_FALSE(plugin->getModSlotBypass(5));
    EXPECT_EQ(screen->getClickedSlot(), 5);

    // The horizontal wheel is not taken; the wheel takes no undo.
    EXPECT_FALSE(screen->onWheel(cell(1, 5), kMouseWheelAxisX, 1.0f, CButtonState()));
    EXPECT_EQ(steps(tag::slotSource(5)), 11);
    float undo = 0.0f;
    EXPECT_FALSE(ui().getModUndo(tag::slotSource(5), undo));
}

// ------------------------------------------------------------------ drawing

TEST_F(ControlsModScreen, BypassedSlotsAreDimAndTheBarSitsOnePixelLowAtOneHundredPercent) {
    TModScreen* screen = makeScreen();
    plugin->setOn(tag::slotBypass(1));
    screen->setDirty(true);
    redraw();
    // Row 1 (slot 2) in the dark colour, row 0 in the light one, in all
    // four cells.
    for (int c = 0; c < 4; ++c) {
        const CCoord x0 = kModRect.left + MOD_COL_START[0][c];
        const CRect row0(x0, kModRect.top + 1, x0 + MOD_COL_WIDTH[0][c], kModRect.top + 14);
        const CRect row1(x0, kModRect.top + 14, x0 + MOD_COL_WIDTH[0][c], kModRect.top + 27);
        EXPECT_GT(maxGreen(row0), 180) << "column " << c;
        const int dim = maxGreen(row1);
        EXPECT_GT(dim, 40) << "column " << c;
        EXPECT_LT(dim, 100) << "column " << c;
    }
    // The rows show slots 1..8.
    EXPECT_GT(
        maxGreen(CRect(kModRect.left, kModRect.top + 92, kModRect.left + 28, kModRect.top + 104)),
        180);

    // The bar: rows 1..10 of the screen at 100 %, its top row stays clear.
    const int barX = static_cast<int>(kModRect.left) + 246 + 1;
    EXPECT_EQ(pixel(barX, static_cast<int>(kModRect.top)), kBlackCColor);
    EXPECT_NE(pixel(barX, static_cast<int>(kModRect.top) + 1), kBlackCColor);
    EXPECT_NE(pixel(barX, static_cast<int>(kModRect.top) + 10), kBlackCColor);
    EXPECT_EQ(pixel(barX, static_cast<int>(kModRect.top) + 11), kBlackCColor);
    EXPECT_EQ(pixel(barX - 2, static_cast<int>(kModRect.top) + 5), kBlackCColor);

    // At 125 % the bar starts on the first row.
    const CRect mid(400, 300, 713, 431);
    makeScreen(1, mid);
    const int midBarX = 400 + 307 + 1;
    EXPECT_NE(pixel(midBarX, 300), kBlackCColor);
    EXPECT_NE(pixel(midBarX, 308), kBlackCColor);
    EXPECT_EQ(pixel(midBarX, 309), kBlackCColor);
}

TEST_F(ControlsModScreen, CopiesKeepTheScrollPositionAndDrawNothingOffTheEditor) {
    TModScreen* screen = makeScreen();
    down(bar(kModRect.top + 40));
    up(bar(kModRect.top + 40));
    CView* copy = screen->newCopy();
    auto* mod = dynamic_cast<TModScreen*>(copy);
    ASSERT_NE(mod, nullptr);
    EXPECT_EQ(mod->getScrollPos(), 40);
    EXPECT_EQ(mod->getFirstVisibleSlot(), screen->getFirstVisibleSlot());
    EXPECT_EQ(mod->getModCol(static_cast<int>(kModRect.left) + 50), 1);
    // Not on a frame of the editor: no editor, no drawing, no mouse.
    CPoint p = cell(0, 0);
    EXPECT_EQ(mod->onMouseDown(p, kLButton), kMouseDownEventHandledButDontNeedMovedOrUpEvents);
    EXPECT_FALSE(mod->onWheel(p, 1.0f, CButtonState()));
    EXPECT_FALSE(plugin->getModSlotBypass(0));
    copy->forget();
}
