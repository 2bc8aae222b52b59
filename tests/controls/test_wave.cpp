// The user-wave screen: drawing samples freehand, as a line and by erasing,
// dragging partial amplitudes and phases, the wheel, the modifier clicks and
// their undo, the shaper mode that shows a preview and takes no clicks, and
// what the screen draws in both views at two sizes.

#include "controls/wave.h"
#include "controls_fixture.h"

#include <algorithm>
#include <cmath>

using namespace ControlsTest;

namespace {

constexpr int kPartials = kUserWavePartials;
constexpr float kStep = 1.0f / 1023.0f;

bool isWaveColour(const CColor& c) {
    return c.red == 25 && c.green == 153 && c.blue == 153;
}
// Light blue text and lines (WAVE_COLOR is darker).
bool isLight(const CColor& c) {
    return c.green > 200 && c.blue > 200 && c.red < 120;
}
bool isWhitePixel(const CColor& c) {
    return c.red == 255 && c.green == 255 && c.blue == 255;
}
bool isBlack(const CColor& c) {
    return c.red == 0 && c.green == 0 && c.blue == 0;
}
// A quarter-transparent colour over black.
bool isFaint(const CColor& c) {
    return c.green > 20 && c.green < 70 && c.red < 20;
}

struct WaveScreen : ControlsFixture {
    // The screen where the editor puts it at 100 %, or at size index 3 in a
    // rect twice the size.
    TWaveScreen* make(int sizeIndex = 0) {
        r = sizeIndex == 3 ? CRect(0, 300, 1044, 676)
                           : ui().getScreenRect(uEditor::GraphicScreen::Wave);
        // The editor's own screen is hidden, so every pixel drawn there is
        // the screen's.
        for (uint32_t i = 0; i < frame()->getNbViews(); ++i) frame()->getView(i)->setVisible(false);
        frame()->setDirty(true);
        redraw();
        EXPECT_EQ(countPixels(r, [](const CColor& c) { return !isBlack(c); }), 0);
        screen = add(new TWaveScreen(r, &listener, sizeIndex));
        width = static_cast<int>(r.getWidth());
        height = static_cast<int>(r.getHeight());
        half = height / 2;
        const int panel = sizeIndex == 3 ? 320 : 160;
        area = width - panel;
        return screen;
    }
    CPoint at(double x, double y) const { return CPoint(r.left + x, r.top + y); }
    APlugin& p() { return *plugin; }
    float sample(int i, int w = 0) { return p().getWaveTableValue(w, i); }
    int indexOf(double x) const {
        return std::clamp(static_cast<int>(x / width * 2047.9999), 0, kWaveSize - 1);
    }
    std::vector<float> waveTags() {
        std::vector<float> v;
        for (int t = tag::PartialFirst; t <= tag::WaveNameLast; ++t)
            v.push_back(p().getParameter(t));
        return v;
    }
    float peak(int w = 0) {
        float m = 0.0f;
        for (int i = 0; i < kWaveSize; ++i) m = std::max(m, std::fabs(sample(i, w)));
        return m;
    }
    float amp(int k, int w = 0) { return p().getWaveTablePartialsAmp(w, k); }
    float phase(int k, int w = 0) { return p().getWaveTablePartialsPhase(w, k); }
    CColor viewPixel(int x, int y) {
        return pixel(static_cast<int>(r.left) + x, static_cast<int>(r.top) + y);
    }
    int count(const CRect& local, bool (*test)(const CColor&)) {
        CRect f = local;
        f.offset(r.left, r.top);
        return countPixels(f, test);
    }
    void show() {
        screen->setDirty(true);
        redraw();
    }

    TWaveScreen* screen = nullptr;
    CRect r;
    int width = 0, height = 0, half = 0, area = 0;
};

} // namespace

// ------------------------------------------------------------------ construction and state

TEST_F(WaveScreen, SizeIndexIsClampedAndCopiesKeepTheState) {
    TWaveScreen low(CRect(0, 0, 522, 188), &listener, -1);
    TWaveScreen high(CRect(0, 0, 522, 188), &listener, 7);
    EXPECT_EQ(low.getSizeIndex(), 0);
    EXPECT_EQ(high.getSizeIndex(), 3);
    EXPECT_EQ(low.getTag(), NO_PARAM_TAG);

    make();
    screen->setMode(1);
    screen->setWave(1);
    screen->setDrawMode(2);
    screen->setShaperMode(4);
    auto* copy = static_cast<TWaveScreen*>(screen->newCopy());
    EXPECT_EQ(copy->getMode(), 1);
    EXPECT_EQ(copy->getWave(), 1);
    EXPECT_EQ(copy->getDrawMode(), 2);
    EXPECT_EQ(copy->getShaperMode(), 4);
    EXPECT_EQ(copy->getViewSize(), r);
    EXPECT_EQ(copy->getTag(), NO_PARAM_TAG);
    copy->forget();
}

TEST_F(WaveScreen, SettersRedrawAsTheyShould) {
    make();
    redraw();
    screen->setDrawMode(0); // no change
    EXPECT_FALSE(screen->isDirty());
    screen->setShaperMode(0);
    EXPECT_FALSE(screen->isDirty());
    screen->setMode(0); // always
    EXPECT_TRUE(screen->isDirty());
    redraw();
    screen->setWave(0);
    EXPECT_TRUE(screen->isDirty());
    redraw();
    screen->setDrawMode(1);
    EXPECT_TRUE(screen->isDirty());
    redraw();
    screen->setShaperMode(2);
    EXPECT_TRUE(screen->isDirty());

    // A line being dragged is dropped by a change of mode or wave.
    screen->setShaperMode(0);
    down(at(10, 10));
    move(at(200, 100));
    EXPECT_TRUE(screen->isLineShown());
    screen->setWave(0);
    EXPECT_FALSE(screen->isLineShown());
    up(at(200, 100));
}

TEST_F(WaveScreen, PartialUnderAColumnIsLinearOrExponential) {
    make();
    EXPECT_EQ(screen->getWaveTablePartial(-5), 0);
    EXPECT_EQ(screen->getWaveTablePartial(0), 0);
    EXPECT_EQ(screen->getWaveTablePartial(2), 0);
    EXPECT_EQ(screen->getWaveTablePartial(3), 1);
    EXPECT_EQ(screen->getWaveTablePartial(area / 2), 63);
    EXPECT_EQ(screen->getWaveTablePartial(area - 1), 127);
    EXPECT_EQ(screen->getWaveTablePartial(width + 100), 127);

    // Exponential: partial 0 covers the first seventh of the area, partial 1
    // the columns up to about 0.23 of it.
    p().setParameter(tag::ExpPartialsOn, 1.0f);
    EXPECT_EQ(screen->getWaveTablePartial(area / 7 - 1), 0);
    EXPECT_EQ(screen->getWaveTablePartial(area / 7 + 1), 1);
    EXPECT_EQ(screen->getWaveTablePartial(static_cast<int>(0.22 * area)), 1);
    EXPECT_EQ(screen->getWaveTablePartial(static_cast<int>(0.235 * area)), 2);
    // 2^7 - 1 is only reached past the area's last column.
    EXPECT_EQ(screen->getWaveTablePartial(area - 1), 125);
    EXPECT_EQ(screen->getWaveTablePartial(area + 20), 125);

    // Without an editor there is no answer.
    TWaveScreen loose(r, &listener, 0);
    EXPECT_EQ(loose.getWaveTablePartial(area - 1), 0);
}

// ------------------------------------------------------------------ samples view

TEST_F(WaveScreen, FreehandClickSetsOneSampleThenTheWaveIsBandLimited) {
    make();
    p().clearWave(0);
    const int i = indexOf(100);
    down(at(100, 47)); // three quarters up: 0.5
    EXPECT_EQ(sample(i), 0.5f);
    EXPECT_EQ(sample(i - 1), 0.0f);
    EXPECT_EQ(sample(i + 1), 0.0f);
    for (int k = 0; k < kPartials; ++k) ASSERT_EQ(amp(k), 0.0f);

    up(at(100, 47));
    // Analysed into 128 partials and rebuilt from them: a band-limited
    // click in the same place.
    int present = 0;
    for (int k = 0; k < kPartials; ++k) present += amp(k) > 0.2f ? 1 : 0;
    EXPECT_EQ(present, kPartials);
    EXPECT_NEAR(sample(i), 0.5f, 0.02f);
    EXPECT_LT(std::fabs(sample(i + 1000)), 0.05f);
}

TEST_F(WaveScreen, FreehandStrokesLeaveNoGaps) {
    make();
    p().clearWave(0);
    const int a = indexOf(50), b = indexOf(250), c = indexOf(150);
    down(at(50, 0));       // top: +1
    move(at(250, height)); // bottom: -1
    for (int k = 0; k < b - a; ++k)
        ASSERT_NEAR(sample(a + k), 1.0f - 2.0f * k / (b - a), 1e-5f) << k;
    EXPECT_EQ(sample(b), 0.0f); // the end of a segment waits for the next one

    // Back to the left: the segment runs from the new point up to the old.
    move(at(150, half));
    for (int k = 0; k < b - c; ++k)
        ASSERT_NEAR(sample(c + k), -static_cast<float>(k) / (b - c), 1e-5f) << k;
    // The same point again is skipped.
    p().setWaveTableValue(0, c, 0.25f);
    move(at(150, half));
    EXPECT_EQ(sample(c), 0.25f);
    up(at(150, half));
}

TEST_F(WaveScreen, EraseWritesSilenceWhateverTheHeight) {
    make();
    screen->setDrawMode(2);
    const float outside = sample(indexOf(400));
    ASSERT_GT(std::fabs(outside), 0.1f);
    const int a = indexOf(100), b = indexOf(200);
    down(at(100, 0));
    move(at(200, 5));
    for (int i = a; i < b; ++i) ASSERT_EQ(sample(i), 0.0f) << i;
    EXPECT_EQ(sample(indexOf(400)), outside);
    up(at(200, 5));
}

TEST_F(WaveScreen, LineModeWritesOnlyOnReleaseAndClampsItsEnds) {
    make();
    screen->setDrawMode(1);
    p().clearWave(0);
    down(at(0, 0));
    move(at(300, 100));
    for (int i = 0; i < kWaveSize; i += 16) ASSERT_EQ(sample(i), 0.0f);
    EXPECT_TRUE(screen->isLineShown());
    show();
    EXPECT_GT(count(CRect(0, 0, 300, 100), isWhitePixel), 250);

    // Released beyond the right and the bottom edge: the line runs from the
    // first sample (+1) to the last (-1).
    move(at(width + 80, height + 60));
    for (int i = 0; i < kWaveSize; i += 16) ASSERT_EQ(sample(i), 0.0f);
    up(at(width + 80, height + 60));
    EXPECT_FALSE(screen->isLineShown());
    // Band-limited, the ramp keeps its shape (its overshoot at the jump is
    // scaled into the range).
    EXPECT_NEAR(sample(1024), 0.0f, 0.05f);
    EXPECT_NEAR(sample(512), 0.5f, 0.08f);
    EXPECT_NEAR(sample(1536), -0.5f, 0.08f);
    show();
    EXPECT_EQ(count(CRect(0, 0, width, height), isWhitePixel), 0);
}

// ------------------------------------------------------------------ partials view

TEST_F(WaveScreen, PartialDragKeepsTheHalfItStartedIn) {
    make();
    screen->setMode(1);
    p().clearWave(0);
    const int k = screen->getWaveTablePartial(100);
    down(at(100, half / 2)); // half way up the amplitude half
    EXPECT_EQ(amp(k), 511.0f / 1023.0f);
    EXPECT_NEAR(peak(), 0.5f, 0.01f); // the samples follow at once

    move(at(100, height - 10)); // into the phase half: still the amplitude
    EXPECT_EQ(amp(k), 0.0f);
    EXPECT_EQ(phase(k), 0.0f);
    move(at(100, 10));
    EXPECT_NEAR(amp(k), 1.0f - 10.0f / half, kStep);
    up(at(100, 10));

    // Started in the phase half, it sets phases.
    const int j = screen->getWaveTablePartial(200);
    const float kept = amp(j);
    down(at(200, half + half / 2));
    EXPECT_EQ(phase(j), 511.0f / 1023.0f);
    move(at(200, half + 1)); // near the top of the phase half
    EXPECT_EQ(phase(j), 1012.0f / 1023.0f);
    EXPECT_EQ(amp(j), kept);
    up(at(200, half + 1));
}

TEST_F(WaveScreen, PartialDragInterpolatesAndIgnoresMovesRightOfItsLimit) {
    make();
    screen->setMode(1);
    p().clearWave(0);
    down(at(20, 0));
    move(at(80, half));
    const int first = screen->getWaveTablePartial(20), last = screen->getWaveTablePartial(79);
    EXPECT_NEAR(amp(first), 1.0f, 0.05f);
    for (int k = first; k < last; ++k) ASSERT_GT(amp(k), amp(k + 1)) << k;
    EXPECT_NEAR(amp(last), 1.0f / 60.0f, 2 * kStep + 1e-3f);

    // Up to 394 pixels from the left the drag goes on (the side panel sets
    // the last partial) ...
    move(at(394, 0));
    EXPECT_NEAR(amp(127), 1.0f, 4 * kStep);
    // ... one pixel further the move is ignored, and the drag goes on when
    // the mouse comes back.
    const std::vector<float> before = waveTags();
    move(at(395, half));
    EXPECT_EQ(waveTags(), before);
    move(at(30, half));
    EXPECT_NE(waveTags(), before);
    up(at(30, half));
}

TEST_F(WaveScreen, WheelStepsAmplitudeAboveAndPhaseBelow) {
    make();
    screen->setMode(1);
    const int x = 40, k = screen->getWaveTablePartial(x);
    p().setWaveTablePartials(0, k, 0.0f, 0.0f);
    p().convertWaveTablePartialsToWaveTable(0);
    std::vector<float> sine;
    for (int i = 0; i < kWaveSize; ++i) sine.push_back(sample(i));
    wheel(at(x, 10), 1.0f);
    EXPECT_EQ(amp(k), 10.0f / 1023.0f);
    float change = 0.0f; // rebuilt with the new partial
    for (int i = 0; i < kWaveSize; ++i) change = std::max(change, std::fabs(sample(i) - sine[i]));
    EXPECT_GT(change, 0.005f);
    wheel(at(x, 10), 1.0f, kShift);
    EXPECT_EQ(amp(k), 11.0f / 1023.0f);
    wheel(at(x, 10), -1.0f); // 11 steps less 10.23: truncated to none
    EXPECT_EQ(amp(k), 0.0f);
    wheel(at(x, half + 10), 2.0f);
    EXPECT_EQ(phase(k), 20.0f / 1023.0f);
    EXPECT_EQ(amp(k), 0.0f);

    // The wheel takes no undo snapshot.
    ui().setWaveUndo();
    const std::vector<float> snapshot = waveTags();
    p().setWaveTablePartials(0, 90, 0.5f, 0.5f);
    wheel(at(x, 10), 3.0f);
    ui().doWaveUndo();
    EXPECT_EQ(waveTags(), snapshot);

    // In the samples view the wheel is taken and does nothing.
    screen->setMode(0);
    const std::vector<float> before = waveTags();
    CPoint where = at(x, 10);
    EXPECT_TRUE(screen->onWheel(where, 1.0f, 0));
    EXPECT_FALSE(screen->onWheel(where, kMouseWheelAxisX, 1.0f, 0));
    EXPECT_EQ(waveTags(), before);
}

// ------------------------------------------------------------------ clicks, undo, shaper mode

TEST_F(WaveScreen, ModifierClicksClearRestoreAndCanBeUndone) {
    make();
    const std::vector<float> sine = waveTags();

    click(at(100, 50), kLButton | kControl); // Command: clear the shown wave
    for (int k = 0; k < kPartials; ++k) ASSERT_EQ(amp(k), 0.0f);
    EXPECT_EQ(p().getWavePresetStr(0), "None");
    EXPECT_EQ(p().getWavePresetStr(1), "Sine");
    ui().doWaveUndo();
    EXPECT_EQ(waveTags(), sine);
    EXPECT_NEAR(sample(512), 1.0f, 0.01f);

    screen->setWave(1);
    down(at(100, 50), kLButton | kDoubleClick);
    EXPECT_EQ(amp(0, 1), 0.0f);
    EXPECT_EQ(amp(0, 0), 1.0f);

    // Option: both waves back to the preset as loaded.
    p().loadWavePreset(0, 2);
    const std::vector<float> edited = waveTags();
    click(at(100, 50), kLButton | kAlt);
    EXPECT_EQ(waveTags(), sine);
    EXPECT_NEAR(sample(512, 1), 1.0f, 0.01f);
    ui().doWaveUndo();
    EXPECT_EQ(waveTags(), edited);

    // Shift-Command is not a Command click: it draws.
    screen->setWave(0);
    p().clearWave(0);
    down(at(100, 0), kLButton | kShift | kControl);
    EXPECT_EQ(sample(indexOf(100)), 1.0f);
    up(at(100, 0), kLButton | kShift | kControl);

    // The middle button only takes the snapshot.
    ui().setWaveUndo();
    p().loadWavePreset(0, 3);
    const std::vector<float> triangle = waveTags();
    click(at(100, 50), kMButton);
    EXPECT_EQ(waveTags(), triangle);
    ui().doWaveUndo();
    EXPECT_EQ(waveTags(), triangle);
}

TEST_F(WaveScreen, MenuClicksChangeNothingAndTheDismissedMenuSnapshotsTheWave) {
    make();
    ui().setWaveUndo();
    const std::vector<float> snapshot = waveTags();
    p().loadWavePreset(0, 2);
    const std::vector<float> square = waveTags();
    for (int mode = 0; mode < 2; ++mode) {
        screen->setMode(mode);
        click(at(100, 50), kRButton);
        click(at(100, 50), kLButton | kApple);
        EXPECT_EQ(waveTags(), square);
    }
    // The user-wave menu, dismissed, took the snapshot of the wave as it stood.
    p().loadWavePreset(0, 0);
    ui().doWaveUndo();
    EXPECT_EQ(waveTags(), square);
    EXPECT_NE(snapshot, square);
}

TEST_F(WaveScreen, ShaperModeShowsThePreviewAndIgnoresClicks) {
    make();
    p().setSteppedValue(tag::WaveShaperMode, 1); // Volume
    p().setParameter(tag::WaveShaper1, 0.75f);   // half as loud
    p().setParameter(tag::WaveShaper2, 0.0f);
    p().updatePreviewWaveTable(0);
    screen->setShaperMode(1);
    const std::vector<float> before = waveTags();
    ui().setWaveUndo();
    p().loadWavePreset(1, 2);
    const std::vector<float> square = waveTags();
    CPoint where = at(100, 10);
    for (CButtonState b : {CButtonState(kLButton), CButtonState(kLButton | kControl),
                           CButtonState(kLButton | kAlt), CButtonState(kRButton)}) {
        EXPECT_EQ(screen->onMouseDown(where, b), kMouseDownEventHandledButDontNeedMovedOrUpEvents);
        EXPECT_EQ(waveTags(), square);
    }
    ui().doWaveUndo();
    EXPECT_EQ(waveTags(), before);

    // The wave is drawn faintly, the preview in light blue at half its height.
    show();
    const int x = static_cast<int>(width * 0.25);
    EXPECT_TRUE(isFaint(viewPixel(x, 30)));
    EXPECT_EQ(count(CRect(0, 0, width, half), isWaveColour), 0);
    const int previewY = height - static_cast<int>((0.5f * 0.5f + 0.5f) * height);
    int light = 0;
    for (int y = previewY - 2; y <= previewY + 2; ++y) light += isLight(viewPixel(x, y)) ? 1 : 0;
    EXPECT_GE(light, 1);

    screen->setMode(1);
    show();
    EXPECT_EQ(count(CRect(0, 0, area, height), isWaveColour), 0);
    EXPECT_GT(count(CRect(0, 0, area, height), isFaint), 100);
}

TEST_F(WaveScreen, MouseGateAndMissingEditor) {
    make();
    screen->setMouseEnabled(false);
    const std::vector<float> before = waveTags();
    CPoint where = at(100, 10);
    EXPECT_EQ(screen->onMouseDown(where, kLButton | kControl),
              kMouseDownEventHandledButDontNeedMovedOrUpEvents);
    EXPECT_EQ(waveTags(), before);

    // Not on the editor's frame: no editor, no plug-in.
    TWaveScreen loose(r, &listener, 0);
    EXPECT_EQ(loose.onMouseDown(where, kLButton | kControl),
              kMouseDownEventHandledButDontNeedMovedOrUpEvents);
    EXPECT_FALSE(loose.onWheel(where, 1.0f, 0));
    EXPECT_EQ(waveTags(), before);
}

// ------------------------------------------------------------------ drawing

TEST_F(WaveScreen, SamplesViewDrawsBarsFromTheCentreLine) {
    make();
    show();
    // The sine: its crest above the centre line, its trough below.
    const int crest = static_cast<int>(width * 0.25) + 1, trough = static_cast<int>(width * 0.75);
    EXPECT_TRUE(isWaveColour(viewPixel(crest, 5)));
    EXPECT_TRUE(isWaveColour(viewPixel(crest, half - 5)));
    EXPECT_TRUE(isBlack(viewPixel(crest, half + 20)));
    EXPECT_TRUE(isWaveColour(viewPixel(trough, height - 5)));
    EXPECT_TRUE(isBlack(viewPixel(trough, half - 20)));
    EXPECT_TRUE(isLight(viewPixel(crest, half)));
    EXPECT_TRUE(isLight(viewPixel(width - 1, half)));
    EXPECT_FALSE(isLight(viewPixel(width / 2, half + 3)));

    // "Preview On" across the top, only while the preview plays.
    const CRect top(width - 120, 0, width, 16);
    EXPECT_EQ(count(top, isLight), 0);
    p().setTempPreviewWave(true);
    show();
    EXPECT_GT(count(top, isLight), 20);
    EXPECT_EQ(count(CRect(0, 0, width - 120, 16), isLight), 0);
}

TEST_F(WaveScreen, PartialsViewDrawsBarsPanelAndAxis) {
    make();
    screen->setMode(1);
    show();
    // Partial 0 of the sine: full amplitude, phase 0.75 (a quarter down
    // from the top of the phase half).
    EXPECT_TRUE(isWaveColour(viewPixel(1, 20)));
    EXPECT_TRUE(isWaveColour(viewPixel(1, half - 2)));
    const int phaseTop = half + static_cast<int>(0.25f * half);
    EXPECT_TRUE(isWaveColour(viewPixel(1, phaseTop + 3)));
    EXPECT_TRUE(isWaveColour(viewPixel(1, height - 2)));
    EXPECT_TRUE(isBlack(viewPixel(1, phaseTop - 5)));
    // No amplitude at partial 20.
    const int x20 = 20 * area / 128 + 2;
    ASSERT_EQ(screen->getWaveTablePartial(x20), 20);
    EXPECT_TRUE(isBlack(viewPixel(x20, 40)));
    // The divider and the miniature: the sine's crest reaches half way up
    // the amplitude half.
    EXPECT_FALSE(isBlack(viewPixel(area, 30)));
    EXPECT_FALSE(isWaveColour(viewPixel(area, 30)));
    const int crest = area + 40;
    EXPECT_TRUE(isWaveColour(viewPixel(crest, half / 2 + 4)));
    EXPECT_TRUE(isBlack(viewPixel(crest, half / 2 - 6)));

    // Axis labels: "016" .. "112" where those partials start.
    const int at16 = 46;
    ASSERT_EQ(screen->getWaveTablePartial(at16), 16);
    ASSERT_EQ(screen->getWaveTablePartial(at16 - 1), 15);
    EXPECT_GT(count(CRect(at16, 0, at16 + 32, 16), isLight), 10);
    EXPECT_EQ(count(CRect(4, 0, at16 - 1, 16), isLight), 0);
    EXPECT_GT(count(CRect(area - 40, 0, area, 16), isLight), 0); // "112"

    // Exponential: "1" at the left edge, "128" ending at the area's edge.
    p().setParameter(tag::ExpPartialsOn, 1.0f);
    show();
    EXPECT_GT(count(CRect(0, 0, 16, 16), isLight), 3);
    EXPECT_GT(count(CRect(area - 32, 0, area, 16), isLight), 10);
    EXPECT_EQ(count(CRect(40, 0, area - 40, 16), isLight), 0);
}

TEST_F(WaveScreen, LargestSizeScalesPanelLimitAndLabels) {
    make(3);
    screen->setMode(1);
    EXPECT_EQ(screen->getWaveTablePartial(area - 1), 127);
    EXPECT_EQ(screen->getWaveTablePartial(area - 5), 127);
    EXPECT_LT(screen->getWaveTablePartial(area - 12), 127);
    p().clearWave(0);
    down(at(778, 0)); // int(384 x 2) + 10
    EXPECT_EQ(amp(127), 1.0f);
    move(at(779, 0));
    move(at(10, 0));
    EXPECT_EQ(amp(0), 0.0f);
    up(at(10, 0));
    show();
    // The divider stands at the area's edge, left of the 320-pixel panel.
    EXPECT_FALSE(isBlack(viewPixel(area, 100)));
    EXPECT_FALSE(isWaveColour(viewPixel(area, 100)));
    // Labels are 32 pixels high at this size.
    EXPECT_GT(count(CRect(0, 16, area, 32), isLight), 0);
}

TEST_F(WaveScreen, NothingIsDrawnBeforeTheEditorHasOpened) {
    startClosed();
    CFrame* own = new CFrame(CRect(0, 0, 522, 188), &ui());
    ASSERT_TRUE(own->open(nullptr));
    auto* view = new TWaveScreen(CRect(0, 0, 522, 188), &listener, 0);
    own->addView(view);
    view->setDirty(true);
    own->idle();
    int drawn = 0;
    for (int y = 0; y < 188; y += 2)
        for (int x = 0; x < 522; x += 2) drawn += Testing::pixelAt(own, x, y).alpha != 0 ? 1 : 0;
    EXPECT_EQ(drawn, 0);

    ASSERT_TRUE(ui().open(nullptr));
    view->setDirty(true);
    own->idle();
    EXPECT_TRUE(isWaveColour(Testing::pixelAt(own, 131, 10)));
    own->close();
}
