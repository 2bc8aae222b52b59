// The XY pad: snapping and the grid, picking the editable path point,
// dragging path points alone and in groups, the clicks of each record mode,
// the position markers, the path and the oscilloscope trace it draws.

#include "controls/txyscreen.h"
#include "controls_fixture.h"
#include "platform/dialog_service.h"

#include <cmath>

using namespace ControlsTest;

namespace {

// 257 pixels square, so that the usable extent is 256 and pad positions
// of a power-of-two grid fall on whole pixels.
constexpr CRect kPadRect(300, 100, 557, 357);
constexpr int kLeft = 300;
constexpr int kTop = 100;
constexpr int32_t kOriginalClick = kLButton | kAlt;    // 0x42
constexpr int32_t kDefaultClick = kLButton | kControl; // 0x22

struct ControlsXYScreen : ControlsFixture {
    TXYScreen* makePad(bool osc = false) {
        auto* pad = add(new TXYScreen(kPadRect, &ui(), 0));
        pad->drawOsc(osc);
        redraw();
        return pad;
    }
    void setStep(int t, int step) { plugin->setSteppedValue(t, step); }
    void setMode(int mode) { setStep(tag::XYRecordMode, mode); }
    // Replay with editing on and a recorded path.
    void replayPath() {
        setMode(2);
        plugin->setOn(tag::XYEditOn);
        plugin->setParameter(tag::XYLengthSec, 0.004f);
    }
    void setPoint(int i, float x, float y) {
        plugin->setParameter(tag::xyPointX(i), x);
        plugin->setParameter(tag::xyPointY(i), y);
    }
    float pointX(int i) { return plugin->getParameter(tag::xyPointX(i)); }
    float pointY(int i) { return plugin->getParameter(tag::xyPointY(i)); }
    // The pixel of a pad position (y up).
    static CPoint at(float x, float y) {
        return CPoint(kLeft + static_cast<int>(256.0f * x),
                      kTop + static_cast<int>(256.0f * (1 - y)));
    }
    bool automated(int t) {
        for (const auto& call : host.calls)
            if (call.opcode == audioMasterAutomate && call.index == t) return true;
        return false;
    }
    size_t automatedCount() { return hostCalls(audioMasterAutomate); }
    int whitePixels() { return countPixels(kPadRect, isWhite); }
};

} // namespace

// ------------------------------------------------------------------ settings

TEST_F(ControlsXYScreen, SettingsAreClampedAndCopied) {
    TXYScreen* pad = makePad();
    EXPECT_EQ(pad->getTag(), NO_PARAM_TAG);
    EXPECT_EQ(pad->getGroupSize(), 0);
    pad->setGrouping(5);
    EXPECT_EQ(pad->getGrouping(), 2);
    EXPECT_EQ(pad->getGroupSize(), 8);
    pad->setGrouping(-1);
    EXPECT_EQ(pad->getGroupSize(), 1);
    pad->setGrouping(1);
    pad->setOscMode(true);
    TXYScreen big(CRect(0, 0, 10, 10), nullptr, 9);
    EXPECT_EQ(big.getSizeIndex(), 3);

    CView* copy = pad->newCopy();
    auto* xy = dynamic_cast<TXYScreen*>(copy);
    ASSERT_NE(xy, nullptr);
    EXPECT_EQ(xy->getGroupSize(), 3);
    EXPECT_TRUE(xy->getOscMode());
    EXPECT_FALSE(xy->getOscVisible());
    copy->forget();

    // The length decides whether there is a path.
    EXPECT_FALSE(pad->hasPath());
    plugin->setParameter(tag::XYLengthMs, 0.0019f);
    EXPECT_FALSE(pad->hasPath());
    plugin->setParameter(tag::XYLengthMs, 0.002f);
    EXPECT_TRUE(pad->hasPath());
    plugin->setParameter(tag::XYLengthMs, 0.0f);
    plugin->setParameter(tag::XYLengthSec, 0.001f);
    EXPECT_TRUE(pad->hasPath());
}

// ------------------------------------------------------------------ snapping and picking

TEST_F(ControlsXYScreen, SpaceGridSnapsHalvesAwayFromZeroAndDrawsItsLines) {
    TXYScreen* pad = makePad();
    EXPECT_FLOAT_EQ(pad->snapValue(0.3f), 0.3f); // off
    setStep(tag::XYSpaceQuant, 4);               // a grid of 4
    EXPECT_FLOAT_EQ(pad->snapValue(0.3f), 0.25f);
    EXPECT_FLOAT_EQ(pad->snapValue(0.375f), 0.5f);
    EXPECT_FLOAT_EQ(pad->snapValue(0.125f), 0.25f);
    EXPECT_FLOAT_EQ(pad->snapValue(0.1f), 0.0f);
    EXPECT_FLOAT_EQ(pad->snapValue(1.2f), 1.0f);

    // Four vertical lines, none at the left edge, the last on the right.
    plugin->setParameter(tag::XYX, 0.5f);
    plugin->setParameter(tag::XYY, 0.5f);
    pad->setDirty(true);
    redraw();
    const CRect row(kLeft, kTop + 20, kLeft + 257, kTop + 21);
    EXPECT_EQ(countPixels(row, [](const CColor& c) { return c != kBlackCColor; }), 4);
    for (int x : {64, 128, 192, 256}) {
        const CColor c = pixel(kLeft + x, kTop + 20);
        EXPECT_GT(c.green, 10) << x;
        EXPECT_LT(c.green, 40) << x;
    }
    EXPECT_EQ(pixel(kLeft, kTop + 20), kBlackCColor);
    EXPECT_EQ(pixel(kLeft + 20, kTop + 256), pixel(kLeft + 64, kTop + 20)); // bottom line
    EXPECT_EQ(pixel(kLeft + 20, kTop), kBlackCColor);                       // none at the top

    // Points are drawn and picked where they snap to.
    replayPath();
    setStep(tag::XYPointQuant, 6); // two editable points: 0 and 64
    setPoint(0, 0.375f, 0.5f);
    setPoint(64, 0.3f, 0.5f);
    int x = 0, y = 0;
    pad->getXYPoint(64, x, y);
    EXPECT_EQ(x, kLeft + 64);
    EXPECT_EQ(y, kTop + 128);
    pad->getXYPoint(0, x, y);
    EXPECT_EQ(x, kLeft + 128);
    float sx = 0, sy = 0;
    pad->getSnappedXYPoint(64, sx, sy);
    EXPECT_FLOAT_EQ(sx, 0.25f);
    pad->getSnappedXYPoint(200, sx, sy);
    EXPECT_EQ(sx, 0.0f);
    EXPECT_EQ(pad->getEditPoint(kLeft + 87, kTop + 128), 64); // nearer 0.25 than 0.5
    setStep(tag::XYSpaceQuant, 0);
    EXPECT_EQ(pad->getEditPoint(kLeft + 87, kTop + 128), 0); // nearer 0.375 than 0.3
}

TEST_F(ControlsXYScreen, OnlyEditablePointsArePickedAndTiesGoToTheLowerOne) {
    TXYScreen* pad = makePad();
    for (int i = 0; i < 128; ++i) setPoint(i, std::min(1.0f, i / 32.0f), 0.5f);
    setStep(tag::XYPointQuant, 2); // 32 editable points, every 4th
    const int y = kTop + 128;
    // Exactly between points 4 (0.125) and 8 (0.25).
    EXPECT_EQ(pad->getEditPoint(kLeft + 48, y), 4);
    EXPECT_EQ(pad->getEditPoint(kLeft + 49, y), 8);
    EXPECT_EQ(pad->getEditPoint(kLeft + 40, y), 4); // on point 5
    for (int px = 0; px < 257; px += 7) EXPECT_EQ(pad->getEditPoint(kLeft + px, y) % 4, 0);
    setStep(tag::XYPointQuant, 0);
    EXPECT_EQ(pad->getEditPoint(kLeft + 40, y), 5);
    // Points past 32 all lie on the right edge: the lowest of them wins.
    EXPECT_EQ(pad->getEditPoint(kLeft + 300, y), 32);
}

// ------------------------------------------------------------------ dragging path points

TEST_F(ControlsXYScreen, NarrowGroupDragBendsFivePointsAndRewritesItsEdges) {
    TXYScreen* pad = makePad();
    replayPath();
    for (int i = 0; i < 128; ++i) setPoint(i, i / 128.0f, 0.25f);
    pad->setGrouping(1);

    down(at(10 / 128.0f, 0.25f));
    EXPECT_EQ(pad->getEditingPoint(), 10);
    EXPECT_EQ(ui().getXYPoint(), 10);
    float undo = 0.0f;
    ASSERT_TRUE(ui().getXYUndo(tag::xyPointX(10), undo));
    EXPECT_FLOAT_EQ(undo, 10 / 128.0f);

    host.clearLog();
    const float px = 84 / 256.0f, py = 0.5f;
    move(at(px, py));
    const float keep[5] = {4 / 9.0f, 1 / 9.0f, 0.0f, 1 / 9.0f, 4 / 9.0f};
    for (int k = -2; k <= 2; ++k) {
        const int j = 10 + k;
        const float w = keep[k + 2];
        EXPECT_NEAR(pointX(j), j / 128.0f * w + px * (1 - w), 1e-6) << j;
        EXPECT_NEAR(pointY(j), 0.25f * w + py * (1 - w), 1e-6) << j;
    }
    EXPECT_FLOAT_EQ(pointX(7), 7 / 128.0f);
    EXPECT_FLOAT_EQ(pointX(13), 13 / 128.0f);
    EXPECT_TRUE(automated(tag::xyPointX(7)));
    EXPECT_TRUE(automated(tag::xyPointY(13)));
    EXPECT_FALSE(automated(tag::xyPointX(6)));
    EXPECT_FALSE(automated(tag::xyPointX(14)));
    EXPECT_EQ(automatedCount(), 14u);

    // The point being dragged shows white.
    redraw();
    EXPECT_TRUE(isWhite(pixel(kLeft + 84, kTop + 128)));
    up(at(px, py));
    EXPECT_EQ(pad->getEditingPoint(), -1);
    EXPECT_EQ(ui().getXYPoint(), -1);
    redraw();
    EXPECT_TRUE(isLightBlue(pixel(kLeft + 84, kTop + 128)));

    // At the start of the path only the points that exist move.
    host.clearLog();
    down(at(0.0f, 0.25f));
    EXPECT_EQ(pad->getEditingPoint(), 0);
    move(at(0.5f, 0.75f));
    EXPECT_FLOAT_EQ(pointX(0), 0.5f);
    EXPECT_NEAR(pointX(2), 2 / 128.0f * (4 / 9.0f) + 0.5f * (5 / 9.0f), 1e-6);
    EXPECT_FLOAT_EQ(pointX(3), 3 / 128.0f);
    EXPECT_TRUE(automated(tag::xyPointX(3)));
    EXPECT_FALSE(automated(tag::xyPointX(4)));
    up(at(0.5f, 0.75f));
}

TEST_F(ControlsXYScreen, SinglePointDragWritesTheRawPositionAndWideReachesEightPoints) {
    TXYScreen* pad = makePad();
    replayPath();
    setStep(tag::XYSpaceQuant, 4);
    for (int i = 0; i < 128; ++i) setPoint(i, 0.5f, 0.5f);
    setPoint(40, 0.75f, 0.25f);
    setStep(tag::XYPointQuant, 3); // every 8th point
    down(at(0.74f, 0.26f));
    EXPECT_EQ(pad->getEditingPoint(), 40);
    move(at(0.3f, 0.6f));
    // Unsnapped: the pointer's own position.
    EXPECT_FLOAT_EQ(pointX(40), 76 / 256.0f);
    EXPECT_FLOAT_EQ(pointY(40), 1.0f - 102 / 256.0f);
    EXPECT_FLOAT_EQ(pointX(39), 0.5f);
    up(at(0.3f, 0.6f));

    // Wide: eight points on either side, the snapshot being snapped.
    pad->setGrouping(2);
    host.clearLog();
    down(at(0.5f, 0.5f)); // points 0..127 but 40 are at (0.5, 0.5): the lowest, 0
    EXPECT_EQ(pad->getEditingPoint(), 0);
    up(at(0.5f, 0.5f));
    setPoint(40, 0.3f, 0.6f);
    down(at(0.25f, 0.5f)); // 40 snaps to (0.25, 0.5)
    EXPECT_EQ(pad->getEditingPoint(), 40);
    host.clearLog();
    move(at(0.0f, 0.0f));
    EXPECT_FLOAT_EQ(pointX(40), 0.0f);
    EXPECT_NEAR(pointX(44), 0.5f * 0.25f, 1e-6); // (4/8)^2 of the way back
    EXPECT_FLOAT_EQ(pointX(48), 0.5f);
    EXPECT_FALSE(automated(tag::xyPointX(49)));
    EXPECT_TRUE(automated(tag::xyPointX(32)));
    EXPECT_EQ(automatedCount(), 34u);
    up(at(0.0f, 0.0f));
}

TEST_F(ControlsXYScreen, ReplayWithoutEditingIgnoresClicksAndWithoutAPathWritesNothing) {
    TXYScreen* pad = makePad();
    setMode(2);
    plugin->setParameter(tag::XYLengthSec, 0.004f);
    host.clearLog();
    CPoint p = at(0.5f, 0.5f);
    EXPECT_EQ(pad->onMouseDown(p, kLButton), kMouseDownEventHandledButDontNeedMovedOrUpEvents);
    EXPECT_EQ(automatedCount(), 0u);
    float undo = 0.0f;
    EXPECT_FALSE(ui().getXYUndo(tag::XYX, undo));

    // Editing on, no path: the drag is followed, nothing is written.
    plugin->setOn(tag::XYEditOn);
    plugin->setParameter(tag::XYLengthSec, 0.0f);
    host.clearLog();
    down(at(0.5f, 0.5f));
    move(at(0.25f, 0.75f));
    EXPECT_FLOAT_EQ(pad->getPosX(), 0.25f);
    EXPECT_FLOAT_EQ(pad->getPosY(), 0.75f);
    EXPECT_TRUE(pad->isDirty());
    up(at(0.25f, 0.75f));
    EXPECT_EQ(automatedCount(), 0u);
    EXPECT_EQ(pad->getEditingPoint(), -1);
}

// ------------------------------------------------------------------ clicks by mode

TEST_F(ControlsXYScreen, LiveDragsThePositionAndADoubleClickCentresIt) {
    TXYScreen* pad = makePad();
    setMode(0);
    plugin->setParameter(tag::XYX, 0.2f);
    down(at(0.25f, 0.75f));
    float undo = 0.0f;
    ASSERT_TRUE(ui().getXYUndo(tag::XYX, undo));
    EXPECT_FLOAT_EQ(undo, 0.2f);
    EXPECT_FLOAT_EQ(plugin->getParameter(tag::XYX), 0.25f);
    EXPECT_FLOAT_EQ(plugin->getParameter(tag::XYY), 0.75f);
    move(at(1.0f, 0.0f));
    move(CPoint(kLeft - 50, kTop + 400)); // clamped to the pad
    EXPECT_FLOAT_EQ(plugin->getParameter(tag::XYX), 0.0f);
    EXPECT_FLOAT_EQ(plugin->getParameter(tag::XYY), 0.0f);
    up(CPoint(kLeft - 50, kTop + 400));
    move(at(0.5f, 0.25f), 0); // a hover
    EXPECT_FLOAT_EQ(plugin->getParameter(tag::XYX), 0.0f);

    click(at(0.1f, 0.1f), kLButton | kDoubleClick);
    EXPECT_FLOAT_EQ(plugin->getParameter(tag::XYX), 0.5f);
    EXPECT_FLOAT_EQ(plugin->getParameter(tag::XYY), 0.5f);

    // In Record a double click is an ordinary click: the take follows it.
    setMode(1);
    click(at(0.25f, 0.25f), kLButton | kDoubleClick);
    EXPECT_FLOAT_EQ(plugin->getParameter(tag::XYX), 0.25f);
    EXPECT_EQ(pad->getRecordMode(), 1);

    // Without the mouse nothing moves.
    setMode(0);
    pad->setMouseEnabled(false);
    click(at(0.75f, 0.75f));
    EXPECT_FLOAT_EQ(plugin->getParameter(tag::XYX), 0.25f);
}

TEST_F(ControlsXYScreen, OptionClickReturnsTheSectionToThePresetAfterTakingTheUndo) {
    makePad();
    const float orig = plugin->getOrigValue(tag::XYX);
    plugin->setParameterAutomated(tag::XYX, 0.9f);
    plugin->setParameterAutomated(tag::xyPointY(5), 0.1f);
    click(at(0.5f, 0.5f), kOriginalClick);
    EXPECT_FLOAT_EQ(plugin->getParameter(tag::XYX), orig);
    EXPECT_FLOAT_EQ(pointY(5), plugin->getOrigValue(tag::xyPointY(5)));
    float undo = 0.0f;
    ASSERT_TRUE(ui().getXYUndo(tag::XYX, undo));
    EXPECT_FLOAT_EQ(undo, 0.9f);
    ASSERT_TRUE(ui().getXYUndo(tag::xyPointY(5), undo));
    EXPECT_FLOAT_EQ(undo, 0.1f);
    // Tags outside the section are not in the snapshot.
    ASSERT_TRUE(ui().getXYUndo(tag::slotAmount(0), undo));
    EXPECT_EQ(undo, 0.0f);
}

TEST_F(ControlsXYScreen, CommandClickTypesThePositionOrTheNearestEditablePoint) {
    ScriptedDialogService dialogs;
    ScopedDialogService scoped(dialogs);
    TXYScreen* pad = makePad();
    setMode(0);
    click(at(0.5f, 0.5f), kDefaultClick);
    ASSERT_EQ(dialogs.textRequests.size(), 2u);
    EXPECT_EQ(dialogs.textRequests[0].title, "XY X");
    EXPECT_EQ(dialogs.textRequests[1].title, "XY Y");

    // Replay (as the last drawing pass read it), editing off: the nearest
    // editable point, X first.
    setMode(2);
    setStep(tag::XYPointQuant, 1); // every other point
    for (int i = 0; i < 128; ++i) setPoint(i, i / 128.0f, 0.5f);
    pad->setDirty(true);
    redraw();
    click(at(11 / 128.0f, 0.5f), kDefaultClick);
    ASSERT_EQ(dialogs.textRequests.size(), 4u);
    EXPECT_EQ(dialogs.textRequests[2].title, plugin->getParameterNameStr(tag::xyPointX(10)));
    EXPECT_EQ(dialogs.textRequests[3].title, plugin->getParameterNameStr(tag::xyPointY(10)));
    EXPECT_EQ(pad->getEditingPoint(), -1);
}

TEST_F(ControlsXYScreen, EnteringRecordArmsATakeAndLeavingItDisarms) {
    TXYScreen* pad = makePad();
    EXPECT_FALSE(pad->isRecordArmed());
    setMode(1);
    pad->setDirty(true);
    redraw();
    EXPECT_TRUE(pad->isRecordArmed());
    EXPECT_FALSE(pad->isMidiTake());
    EXPECT_FALSE(pad->getMidiMoved());
    pad->setDirty(true);
    redraw();
    EXPECT_TRUE(pad->isRecordArmed());
    setMode(0);
    pad->setDirty(true);
    redraw();
    EXPECT_FALSE(pad->isRecordArmed());
    EXPECT_EQ(pad->getRecordMode(), 0);

    // A mouse take: the take follows the pointer from press to release.
    setMode(1);
    down(at(0.25f, 0.5f));
    move(at(0.75f, 0.25f));
    EXPECT_FLOAT_EQ(pad->getPosX(), 0.75f);
    EXPECT_FLOAT_EQ(pad->getPosY(), 0.25f);
    up(at(0.75f, 0.25f));
    EXPECT_EQ(ui().getXYPoint(), -1);
}

// ------------------------------------------------------------------ drawing

TEST_F(ControlsXYScreen, MarkerShowsThePositionAndNoVoiceMeansNoMarkerInPolyReplay) {
    TXYScreen* pad = makePad();
    setMode(0);
    plugin->setParameter(tag::XYX, 0.25f);
    plugin->setParameter(tag::XYY, 0.75f);
    pad->setDirty(true);
    redraw();
    EXPECT_TRUE(isWhite(pixel(kLeft + 64, kTop + 64)));
    EXPECT_GT(whitePixels(), 0);
    EXPECT_LT(whitePixels(), 20);

    // Snapped to the grid.
    setStep(tag::XYSpaceQuant, 4);
    plugin->setParameter(tag::XYX, 0.3f);
    pad->setDirty(true);
    redraw();
    EXPECT_TRUE(isWhite(pixel(kLeft + 64, kTop + 64)));

    // Replay, poly, nothing playing: no marker at all.
    setMode(2);
    setStep(tag::XYPlayMode, 0);
    ASSERT_FALSE(plugin->getIsAnyVoicePlaying());
    pad->setDirty(true);
    redraw();
    EXPECT_EQ(whitePixels(), 0);
    // Replay in Free play: the global replay position.
    setStep(tag::XYPlayMode, 1);
    pad->setDirty(true);
    redraw();
    float rx = 0.0f, ry = 0.0f;
    plugin->getXYEditor(rx, ry);
    EXPECT_FLOAT_EQ(pad->getPosX(), rx);
    const int mx = kLeft + static_cast<int>(256.0f * pad->snapValue(rx));
    const int my = kTop + static_cast<int>(256.0f * pad->snapValue(1.0f - ry));
    EXPECT_TRUE(isWhite(pixel(mx, my)));
    EXPECT_GT(whitePixels(), 0);
}

TEST_F(ControlsXYScreen, PathShowsEditablePointsAndClosesOnlyWhenItLoops) {
    TXYScreen* pad = makePad();
    replayPath();
    setStep(tag::XYPlayMode, 0);
    setStep(tag::XYLoopMode, 0);
    setStep(tag::XYPointQuant, 5); // points 0, 32, 64, 96
    for (int i = 0; i < 128; ++i) setPoint(i, 0.5f, 0.5f);
    setPoint(0, 0.25f, 0.25f);
    setPoint(32, 0.25f, 0.75f);
    setPoint(64, 0.75f, 0.75f);
    setPoint(96, 0.75f, 0.25f);
    pad->setDirty(true);
    redraw();
    for (int i : {0, 32, 64, 96}) {
        int x = 0, y = 0;
        pad->getXYPoint(i, x, y);
        EXPECT_TRUE(isLightBlue(pixel(x, y))) << i;
    }
    EXPECT_TRUE(isLightBlue(pixel(kLeft + 64, kTop + 128)));  // 0 to 32
    EXPECT_TRUE(isLightBlue(pixel(kLeft + 192, kTop + 128))); // 64 to 96
    EXPECT_EQ(pixel(kLeft + 128, kTop + 192), kBlackCColor);  // 96 back to 0: open
    EXPECT_EQ(pixel(kLeft + 128, kTop + 128), kBlackCColor);  // the other points are not shown

    setStep(tag::XYLoopMode, 1);
    pad->setDirty(true);
    redraw();
    EXPECT_TRUE(isLightBlue(pixel(kLeft + 128, kTop + 192)));

    // Without editing no path.
    plugin->setOff(tag::XYEditOn);
    pad->setDirty(true);
    redraw();
    EXPECT_EQ(pixel(kLeft + 64, kTop + 128), kBlackCColor);
}

TEST_F(ControlsXYScreen, OutputTraceShowsTheNewestSamplesOnTheRight) {
    float two[2] = {7.0f, 7.0f};
    plugin->setOscScreenValue(true, 2, two);
    EXPECT_EQ(two[0], 0.0f);
    EXPECT_EQ(two[1], 0.0f);

    // 30000 output samples as the render loop publishes them: the newest
    // -0.5, the one 20480 before it 0.25, all others 1.
    for (int i = 0; i < 30000; ++i)
        plugin->engine.display.pushScope(i == 29999 ? -0.5f : i == 29999 - 20480 ? 0.25f : 1.0f);
    TXYScreen* pad = makePad(true);
    pad->setOscMode(true);
    pad->setDirty(true);
    redraw();
    const auto& samples = pad->getScopeBuffer();
    EXPECT_FLOAT_EQ(samples[0], 0.25f);
    EXPECT_FLOAT_EQ(samples[1], 1.0f);
    EXPECT_FLOAT_EQ(samples[159], -0.5f);
    EXPECT_FLOAT_EQ(samples[160], 0.0f);

    // Box at (39, 39), 167 high: +1 lies near its top.
    const int bx = kLeft + 39, by = kTop + 39;
    const CColor trace = pixel(bx + 80, by + 1);
    EXPECT_NE(trace, kBlackCColor);
    EXPECT_LT(trace.green, 100); // the dim trace colour
    EXPECT_EQ(pixel(bx + 80, by + 83), kBlackCColor);
    EXPECT_NE(pixel(bx + 159, by + static_cast<int>(167 * 0.745f)), kBlackCColor);

    pad->drawOsc(false);
    pad->setDirty(true);
    redraw();
    EXPECT_EQ(pixel(bx + 80, by + 1), kBlackCColor);
}

TEST_F(ControlsXYScreen, OscillatorTraceIsOneCycleOfTheWave) {
    settle();
    TXYScreen* pad = makePad(true);
    pad->setDirty(true);
    redraw();
    const auto& samples = pad->getScopeBuffer();
    float low = 1.0f, high = -1.0f;
    for (int i = 0; i < 160; ++i) {
        ASSERT_TRUE(std::isfinite(samples[i]));
        low = std::min(low, samples[i]);
        high = std::max(high, samples[i]);
    }
    EXPECT_LT(low, -0.2f);
    EXPECT_GT(high, 0.2f);
    EXPECT_GE(low, -1.0f);
    EXPECT_LE(high, 1.0f);
    for (int i = 160; i < TXYScreen::kScopeSize; ++i) ASSERT_EQ(samples[i], 0.0f);
    // The same picture again for the same settings.
    std::array<float, 160> again{};
    plugin->setOscScreenValue(false, 160, again.data());
    for (int i = 0; i < 160; ++i) EXPECT_FLOAT_EQ(again[i], samples[i]);
    EXPECT_FALSE(plugin->getOscScreenBusy());
}

// The engine replays a path; the pad's dot goes where the replay is.
TEST_F(ControlsXYScreen, DotFollowsTheReplay) {
    TXYScreen* pad = makePad();
    for (int i = 0; i < 128; ++i) setPoint(i, i / 127.0f, 0.25f); // left to right
    plugin->setParameter(tag::XYLengthSec, 0.001f);               // 1 s
    plugin->setParameter(tag::XYSmooth, 0.0f);
    setStep(tag::XYSyncToMode, 0); // not synced: the path lasts its length
    setStep(tag::XYLoopMode, 1);
    setStep(tag::XYPlayMode, 1); // Free: one global replay
    setMode(2);
    settle();
    for (float seconds : {0.25f, 0.5f}) {
        render(static_cast<int>(44100 * 0.25f));
        pad->setDirty(true);
        redraw();
        EXPECT_NEAR(pad->getPosX(), seconds, 0.02f);
        EXPECT_FLOAT_EQ(pad->getPosY(), 0.25f);
        const int mx = kLeft + static_cast<int>(256.0f * pad->getPosX());
        EXPECT_TRUE(isWhite(pixel(mx, kTop + 192))) << seconds;
    }
}
