// Knobs and sliders: the film-strip frames they show, the drag arithmetic
// (fine drag with shift, sliders that jump to the click and hold at their
// ends), the modifier clicks and the values that reach the plug-in.

#include "controls/tknob.h"
#include "controls/tsliders.h"
#include "controls_fixture.h"

using namespace ControlsTest;

namespace {

constexpr int kKnobTag = tag::MainVolume;
constexpr int kKnobSize = 20;
constexpr CRect kKnobRect(100, 100, 100 + kKnobSize, 100 + kKnobSize);

struct ControlsKnob : ControlsFixture {
    TKnob* makeKnob(int t = kKnobTag, const CRect& r = kKnobRect) {
        CBitmap* pointer = makeStrip("ptr", 149, kKnobSize, kKnobSize);
        CBitmap* mod = makeStrip("mod", 149, kKnobSize, kKnobSize);
        TKnob* knob = add(new TKnob(r, &listener, t, pointer, mod, CPoint(0, 0), 149));
        pointer->forget();
        mod->forget();
        return knob;
    }
    // The pointer frame (left half) and the modulation frame (right half)
    // that the frame's image shows.
    int shownPointer(const TKnob* knob) {
        const CRect& r = knob->getViewSize();
        const CColor c = pixel(static_cast<int>(r.left) + 2, static_cast<int>(r.top) + 2);
        EXPECT_EQ(c.green, StripProvider::kPointerGreen);
        return c.red;
    }
    int shownMod(const TKnob* knob) {
        const CRect& r = knob->getViewSize();
        const CColor c = pixel(static_cast<int>(r.right) - 2, static_cast<int>(r.top) + 2);
        EXPECT_EQ(c.green, StripProvider::kModGreen);
        return c.red;
    }
    void show(TKnob* knob, float value) {
        knob->setValue(value);
        knob->setDirty(true);
        redraw();
    }
    CPoint centre() const { return kKnobRect.getCenter(); }
};

} // namespace

TEST_F(ControlsKnob, PointerNeverShowsTheLastFrame) {
    TKnob* knob = makeKnob();
    show(knob, 1.0f);
    EXPECT_EQ(shownPointer(knob), 147);
    EXPECT_EQ(knob->getPointerFrame(), 147);
    show(knob, 0.99f); // int(147.51)
    EXPECT_EQ(shownPointer(knob), 147);
    show(knob, 0.5f);
    EXPECT_EQ(shownPointer(knob), 74);
    show(knob, 0.0f);
    EXPECT_EQ(shownPointer(knob), 0);
    show(knob, 0.01f); // int(1.49)
    EXPECT_EQ(shownPointer(knob), 1);
}

TEST_F(ControlsKnob, ModulationFrameFollowsTheModulatedValue) {
    TKnob* knob = makeKnob();
    show(knob, 0.5f);
    EXPECT_EQ(shownMod(knob), 0);

    knob->setModValue(1.0f); // int(149.1) clamped to the last frame
    EXPECT_TRUE(knob->isDirty());
    redraw();
    EXPECT_EQ(shownMod(knob), 148);
    EXPECT_EQ(shownPointer(knob), 74);

    // The same frame again is no change.
    knob->setModValue(0.9999f);
    EXPECT_FALSE(knob->isDirty());

    knob->setModValue(0.0f);
    redraw();
    EXPECT_EQ(shownMod(knob), 0);
    knob->setModValue(-0.5f);
    EXPECT_EQ(knob->getModFrame(), 0);
}

TEST_F(ControlsKnob, WithoutAnimationTheModulationStripShowsTheValue) {
    restartWith("Animation", "N");
    TKnob* knob = makeKnob();
    knob->setValue(0.5f);
    knob->setModValue(1.0f);
    EXPECT_EQ(knob->getModFrame(), 74); // int(149 x 0.5)
    redraw();
    EXPECT_EQ(shownMod(knob), 74);
}

TEST_F(ControlsKnob, DragUpRaisesTheValueAndShiftSlowsItWithoutAJump) {
    plugin->setParameter(kKnobTag, 0.3f);
    TKnob* knob = makeKnob();
    ASSERT_FLOAT_EQ(knob->getValue(), 0.3f);
    host.clearLog();

    const CPoint c = centre();
    down(c);
    EXPECT_EQ(hostCalls(audioMasterBeginEdit), 1u);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.3f);

    move(CPoint(c.x, c.y - 40)); // 40 pixels of 1/200
    EXPECT_NEAR(knob->getValue(), 0.5f, 1e-5);
    EXPECT_NEAR(plugin->getParameter(kKnobTag), 0.5f, 1e-5);

    // Shift goes down one pixel further: that pixel still counts at the
    // old speed, so the value does not jump (a fresh start at 1/10000 per
    // pixel would put it back near 0.3); from there on it moves at 1/10000.
    move(CPoint(c.x, c.y - 41), kLButton | kShift);
    EXPECT_NEAR(knob->getValue(), 0.505f, 1e-5);
    move(CPoint(c.x, c.y - 141), kLButton | kShift);
    EXPECT_NEAR(knob->getValue(), 0.515f, 1e-5);

    // Shift released: the pixel of the change at the fine speed, then full
    // speed again.
    move(CPoint(c.x, c.y - 151));
    EXPECT_NEAR(knob->getValue(), 0.516f, 1e-5);
    move(CPoint(c.x, c.y - 171));
    EXPECT_NEAR(knob->getValue(), 0.616f, 1e-5);
    // Sideways moves change nothing.
    move(CPoint(c.x + 30, c.y - 171));
    EXPECT_NEAR(knob->getValue(), 0.616f, 1e-5);

    up(CPoint(c.x + 30, c.y - 171));
    EXPECT_EQ(hostCalls(audioMasterEndEdit), 1u);
    EXPECT_NEAR(plugin->getParameter(kKnobTag), 0.616f, 1e-5);
    EXPECT_GE(hostCalls(audioMasterAutomate), 4u);
}

TEST_F(ControlsKnob, DragIsClampedToTheRange) {
    plugin->setParameter(kKnobTag, 0.9f);
    TKnob* knob = makeKnob();
    const CPoint c = centre();
    down(c);
    move(CPoint(c.x, c.y - 100));
    EXPECT_FLOAT_EQ(knob->getValue(), 1.0f);
    move(CPoint(c.x, c.y + 300));
    EXPECT_FLOAT_EQ(knob->getValue(), 0.0f);
    up(CPoint(c.x, c.y + 300));
    EXPECT_FLOAT_EQ(plugin->getParameter(kKnobTag), 0.0f);
}

TEST_F(ControlsKnob, ModifierClicksSetDefaultAndPresetValues) {
    plugin->setParameter(kKnobTag, 0.2f);
    TKnob* knob = makeKnob();
    const float def = plugin->getDefaultValue(kKnobTag);
    ASSERT_NE(def, 0.2f);
    host.clearLog();

    // Command click: the default, inside one gesture, no drag afterwards.
    down(centre(), kLButton | kControl);
    EXPECT_FLOAT_EQ(knob->getValue(), def);
    EXPECT_FLOAT_EQ(plugin->getParameter(kKnobTag), def);
    EXPECT_EQ(hostCalls(audioMasterBeginEdit), 1u);
    EXPECT_EQ(hostCalls(audioMasterEndEdit), 1u);
    EXPECT_EQ(frame()->getMouseDownView(), nullptr);
    move(CPoint(centre().x, centre().y - 50), kLButton | kControl);
    EXPECT_FLOAT_EQ(knob->getValue(), def);
    up(centre());

    // Option click: the loaded preset's value.
    const float orig = plugin->getOrigValue(kKnobTag);
    knob->setValue(0.77f);
    down(centre(), kLButton | kAlt);
    EXPECT_FLOAT_EQ(knob->getValue(), orig);
    up(centre());

    // A double click sets the default too.
    knob->setValue(0.1f);
    plugin->setParameter(kKnobTag, 0.1f);
    clock.advance(1000);
    Testing::mouseDown(frame(), centre(), kLButton);
    Testing::mouseUp(frame(), centre(), kLButton);
    Testing::mouseDown(frame(), centre(), kLButton);
    EXPECT_FLOAT_EQ(knob->getValue(), def);
    Testing::mouseUp(frame(), centre(), kLButton);

    // Shift-Command (0x32) is not the Command click: it starts a fine drag.
    plugin->setParameter(kKnobTag, 0.4f);
    knob->setValue(0.4f);
    down(centre(), kLButton | kControl | kShift);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.4f);
    EXPECT_EQ(frame()->getMouseDownView(), knob);
    move(CPoint(centre().x, centre().y - 100), kLButton | kControl | kShift);
    EXPECT_NEAR(knob->getValue(), 0.41f, 1e-5);
    up(centre());
}

TEST_F(ControlsKnob, MenuClicksAndDisabledOrUntaggedKnobsLeaveTheValue) {
    plugin->setParameter(kKnobTag, 0.25f);
    TKnob* knob = makeKnob();
    host.clearLog();
    CPoint c = centre();

    // Right button and Control-click open the context menu instead.
    for (CButtonState b : {CButtonState(kRButton), CButtonState(kLButton | kApple)}) {
        EXPECT_EQ(knob->onMouseDown(c, b), kMouseDownEventHandledButDontNeedMovedOrUpEvents);
        EXPECT_FLOAT_EQ(knob->getValue(), 0.25f);
    }
    EXPECT_EQ(hostCalls(audioMasterBeginEdit), 0u);

    knob->setMouseEnabled(false);
    EXPECT_EQ(knob->onMouseDown(c, kLButton | kControl),
              kMouseDownEventHandledButDontNeedMovedOrUpEvents);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.25f);
    down(c);
    EXPECT_EQ(frame()->getMouseDownView(), nullptr);
    up(c);

    TKnob* untagged = makeKnob(NO_PARAM_TAG, CRect(200, 100, 220, 120));
    CPoint u(210, 110);
    EXPECT_EQ(untagged->onMouseDown(u, kLButton), kMouseDownEventHandledButDontNeedMovedOrUpEvents);
    EXPECT_EQ(hostCalls(audioMasterBeginEdit), 0u);
    EXPECT_TRUE(listener.values.empty());
}

TEST_F(ControlsKnob, OpeningGateAndMissingEditor) {
    // A frame of its own whose editor has not opened its window yet.
    startClosed();
    ASSERT_FALSE(ui().getEditorFinishedOpening());
    CFrame* own = new CFrame(CRect(0, 0, 200, 200), &ui());
    ASSERT_TRUE(own->open(nullptr));
    CBitmap* pointer = makeStrip("ptr", 149, kKnobSize, kKnobSize);
    TKnob* knob = new TKnob(kKnobRect, &listener, kKnobTag, pointer, nullptr, CPoint(0, 0), 149);
    pointer->forget();
    own->addView(knob);
    knob->setValue(0.5f);
    knob->setDirty(true);
    own->idle();
    EXPECT_EQ(Testing::pixelAt(own, 102, 102).alpha, 0);
    CPoint c = kKnobRect.getCenter();

    // Once the editor has opened, the same knob draws.
    ASSERT_TRUE(ui().open(nullptr));
    knob->setDirty(true);
    own->idle();
    EXPECT_EQ(Testing::pixelAt(own, 102, 102).red, 74);
    EXPECT_EQ(knob->onMouseDown(c, kLButton), kMouseEventHandled);
    knob->onMouseUp(c, kLButton);
    own->close();
}

TEST_F(ControlsKnob, KnobOnAFrameWithoutThePluginEditorIgnoresTheMouse) {
    struct PlainEditor : VSTGUIEditorInterface {
    } plain;
    CFrame* own = new CFrame(CRect(0, 0, 200, 200), &plain);
    ASSERT_TRUE(own->open(nullptr));
    CBitmap* pointer = makeStrip("ptr", 149, kKnobSize, kKnobSize);
    TKnob* knob = new TKnob(kKnobRect, &listener, kKnobTag, pointer, nullptr, CPoint(0, 0), 149);
    pointer->forget();
    own->addView(knob);
    knob->setValue(0.5f);
    CPoint c = kKnobRect.getCenter();
    EXPECT_EQ(knob->onMouseDown(c, kLButton | kControl),
              kMouseDownEventHandledButDontNeedMovedOrUpEvents);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.5f);
    knob->setModValue(1.0f);
    EXPECT_EQ(knob->getModFrame(), 0);
    own->idle();
    EXPECT_EQ(Testing::pixelAt(own, 102, 102).alpha, 0);
    own->close();
}

// ------------------------------------------------------------------ sliders

namespace {

constexpr int kHTag = tag::XYSpeed;
constexpr CRect kHRect(100, 200, 200, 210); // 100 wide
constexpr int kVTag = tag::OscMorph;
constexpr CRect kVRect(300, 100, 310, 200); // 10 wide, 100 high

struct ControlsSlider : ControlsFixture {
    THSlider* makeH() {
        CBitmap* strip = makeStrip("mod", 61, 100, 10);
        THSlider* s = add(new THSlider(kHRect, &listener, kHTag, strip, CPoint(0, 0), 61));
        strip->forget();
        return s;
    }
    TVSlider* makeV(int ringShift = 0) {
        // Frames as tall as the slider is wide.
        CBitmap* strip = makeStrip("mod", 232, 10, 10);
        TVSlider* s =
            add(new TVSlider(kVRect, &listener, kVTag, strip, CPoint(0, 0), 232, ringShift));
        strip->forget();
        return s;
    }
};

} // namespace

TEST_F(ControlsSlider, ClicksAtTheEdgesGiveTheEnds) {
    THSlider* h = makeH();
    TVSlider* v = makeV();

    click(CPoint(kHRect.left, 205));
    EXPECT_FLOAT_EQ(h->getValue(), 0.0f);
    EXPECT_FLOAT_EQ(plugin->getParameter(kHTag), 0.0f);
    click(CPoint(kHRect.left + 75, 205));
    EXPECT_FLOAT_EQ(h->getValue(), 0.75f);
    EXPECT_FLOAT_EQ(plugin->getParameter(kHTag), 0.75f);
    CPoint right(kHRect.right, 205);
    h->onMouseDown(right, kLButton);
    h->onMouseUp(right, kLButton);
    EXPECT_FLOAT_EQ(h->getValue(), 1.0f);

    // The vertical slider grows downwards.
    click(CPoint(305, kVRect.top));
    EXPECT_FLOAT_EQ(v->getValue(), 0.0f);
    click(CPoint(305, kVRect.top + 25));
    EXPECT_FLOAT_EQ(v->getValue(), 0.25f);
    EXPECT_FLOAT_EQ(plugin->getParameter(kVTag), 0.25f);
    CPoint bottom(305, kVRect.bottom);
    v->onMouseDown(bottom, kLButton);
    v->onMouseUp(bottom, kLButton);
    EXPECT_FLOAT_EQ(v->getValue(), 1.0f);
}

TEST_F(ControlsSlider, DragPastTheEndHoldsUntilThePointerComesBack) {
    THSlider* h = makeH();
    host.clearLog();
    down(CPoint(150, 205));
    EXPECT_FLOAT_EQ(h->getValue(), 0.5f);
    move(CPoint(350, 205)); // accumulator 2.5
    EXPECT_FLOAT_EQ(h->getValue(), 1.0f);
    move(CPoint(250, 205)); // 1.5
    EXPECT_FLOAT_EQ(h->getValue(), 1.0f);
    move(CPoint(180, 205)); // 0.8
    EXPECT_NEAR(h->getValue(), 0.8f, 1e-5);
    // Shift: a twentieth of the distance.
    move(CPoint(160, 205), kLButton | kShift); // 0.8 - 0.2 / 20
    EXPECT_NEAR(h->getValue(), 0.79f, 1e-5);
    up(CPoint(160, 205));
    EXPECT_NEAR(plugin->getParameter(kHTag), 0.79f, 1e-5);
    EXPECT_EQ(hostCalls(audioMasterBeginEdit), 1u);
    EXPECT_EQ(hostCalls(audioMasterEndEdit), 1u);

    TVSlider* v = makeV();
    down(CPoint(305, 190)); // 0.9
    move(CPoint(305, 400)); // 3.0
    EXPECT_FLOAT_EQ(v->getValue(), 1.0f);
    move(CPoint(305, 250)); // 1.5
    EXPECT_FLOAT_EQ(v->getValue(), 1.0f);
    move(CPoint(305, 130)); // 0.3
    EXPECT_NEAR(v->getValue(), 0.3f, 1e-5);
    up(CPoint(305, 130));
    EXPECT_NEAR(plugin->getParameter(kVTag), 0.3f, 1e-5);
}

TEST_F(ControlsSlider, AtTheEndOnlyTheHorizontalSliderKeepsReporting) {
    makeH();
    down(CPoint(199, 205));
    move(CPoint(260, 205));
    listener.values.clear();
    move(CPoint(270, 205)); // still 1.0
    move(CPoint(280, 205));
    EXPECT_EQ(listener.values, (std::vector<float>{1.0f, 1.0f}));
    up(CPoint(280, 205));

    TVSlider* v = makeV();
    down(CPoint(305, 199));
    move(CPoint(305, 260));
    redraw(); // nothing pending any more
    EXPECT_FALSE(v->isDirty());
    listener.values.clear();
    move(CPoint(305, 270)); // still 1.0
    EXPECT_TRUE(listener.values.empty());
    redraw();
    move(CPoint(305, 280));
    EXPECT_TRUE(listener.values.empty());
    // A move while the last one still waits for its redraw is reported.
    move(CPoint(305, 290));
    EXPECT_EQ(listener.values, (std::vector<float>{1.0f}));
    redraw();
    move(CPoint(305, 150)); // back inside: reported again
    EXPECT_EQ(listener.values.size(), 2u);
    up(CPoint(305, 150));
}

TEST_F(ControlsSlider, ModifierAndMenuClicks) {
    THSlider* h = makeH();
    TVSlider* v = makeV();
    plugin->setParameter(kHTag, 0.1f);
    h->setValue(0.1f);
    const float def = plugin->getDefaultValue(kHTag);

    down(CPoint(180, 205), kLButton | kControl);
    EXPECT_FLOAT_EQ(h->getValue(), def);
    EXPECT_FLOAT_EQ(plugin->getParameter(kHTag), def);
    EXPECT_EQ(frame()->getMouseDownView(), nullptr);
    up(CPoint(180, 205));

    plugin->setParameter(kVTag, 0.9f);
    v->setValue(0.9f);
    down(CPoint(305, 120), kLButton | kAlt);
    EXPECT_FLOAT_EQ(v->getValue(), plugin->getOrigValue(kVTag));
    up(CPoint(305, 120));

    // Menu clicks: the horizontal slider answers 1, the vertical 3; neither
    // moves.
    h->setValue(0.3f);
    v->setValue(0.3f);
    CPoint hp(150, 205), vp(305, 150);
    EXPECT_EQ(h->onMouseDown(hp, kRButton), kMouseEventHandled);
    EXPECT_EQ(v->onMouseDown(vp, kLButton | kApple),
              kMouseDownEventHandledButDontNeedMovedOrUpEvents);
    EXPECT_FLOAT_EQ(h->getValue(), 0.3f);
    EXPECT_FLOAT_EQ(v->getValue(), 0.3f);

    h->setMouseEnabled(false);
    EXPECT_EQ(h->onMouseDown(hp, kLButton), kMouseDownEventHandledButDontNeedMovedOrUpEvents);
    EXPECT_FLOAT_EQ(h->getValue(), 0.3f);
}

TEST_F(ControlsSlider, WheelStepsTheParameter) {
    makeH();
    makeV();
    plugin->setParameter(kHTag, 0.5f);
    plugin->setParameter(kVTag, 0.5f);
    wheel(CPoint(150, 205), 1.0f);
    const float up1 = plugin->getParameter(kHTag);
    EXPECT_GT(up1, 0.5f);
    wheel(CPoint(150, 205), -1.0f);
    EXPECT_NEAR(plugin->getParameter(kHTag), 0.5f, 1e-5);
    wheel(CPoint(305, 150), -1.0f);
    EXPECT_LT(plugin->getParameter(kVTag), 0.5f);
    // The horizontal wheel axis is not taken.
    THSlider* h = static_cast<THSlider*>(added[0]);
    const float before = plugin->getParameter(kHTag);
    EXPECT_FALSE(h->onWheel(CPoint(150, 205), kMouseWheelAxisX, 1.0f, CButtonState()));
    EXPECT_FLOAT_EQ(plugin->getParameter(kHTag), before);
}

TEST_F(ControlsSlider, VerticalSliderStripAndModulationRing) {
    TVSlider* v = makeV(-1);
    v->setValue(0.5f);
    v->setModValue(0.505f); // within 0.01: no ring
    EXPECT_FALSE(v->ringShown());
    v->setDirty(true);
    redraw();
    // 0.5 reads 50 %: frame 50 x 231 / 100 = 115 (lowered) at the top.
    EXPECT_EQ(pixel(302, 102).red, 115);
    EXPECT_EQ(countPixels(kVRect, isWhite), 0);

    v->setModValue(0.8f);
    EXPECT_TRUE(v->ringShown());
    redraw();
    EXPECT_GT(countPixels(kVRect, isWhite), 0);
    // The ring is centred at top + 5 + int(90 x 0.8) = 177, x = 305 + 1.
    EXPECT_EQ(countPixels(CRect(300, 100, 310, 165), isWhite), 0);
    EXPECT_GT(countPixels(CRect(300, 170, 310, 185), isWhite), 0);

    // Moves below 0.001 are not taken.
    v->setModValue(0.8005f);
    EXPECT_FALSE(v->isDirty());
    EXPECT_FLOAT_EQ(v->getModValue(), 0.8f);

    v->setValue(1.0f);
    v->setModValue(1.0f);
    redraw();
    EXPECT_EQ(pixel(302, 102).red, 231);
    EXPECT_EQ(countPixels(CRect(300, 100, 310, 110), isWhite), 0);
}

// The strip's right half is transparent: a transparent slider shows the frame
// there, an opaque one paints it black; the left half is the strip either way.
TEST_F(ControlsSlider, VerticalSliderHonoursTheTransparencyFlag) {
    frame()->setBackgroundColor(CColor(0, 90, 200, 255));
    CBitmap* strip = makeStrip("ptr", 232, 10, 10);
    TVSlider* v = add(new TVSlider(kVRect, &listener, kVTag, strip, CPoint(0, 0), 232, 0));
    strip->forget();
    v->setValue(0.0f);
    for (const bool transparent : {true, false}) {
        SCOPED_TRACE(transparent ? "transparent" : "opaque");
        v->setTransparency(transparent);
        frame()->invalid();
        redraw();
        EXPECT_EQ(pixel(301, 102).green, StripProvider::kPointerGreen);
        const CColor right = pixel(308, 102);
        EXPECT_EQ(right.blue, transparent ? 200 : 0);
        EXPECT_EQ(right.alpha, 255);
    }
}
