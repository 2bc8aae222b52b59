// The library controls below the program's own: values and edit gestures,
// film-strip knobs, knob dragging, on/off and kick buttons and the value
// display.

#include "control_test_support.h"

#include <clocale>
#include <cmath>

using namespace VSTGUI;
using namespace ControlTest;

// ------------------------------------------------------------------ CControl

using GuiControlsBase = HeadlessFrameTest;

TEST_F(GuiControlsBase, NestedEditGesturesReachListenerAndEditorOnce) {
    RecordingListener listener;
    auto* control = new CControl(CRect(10, 10, 30, 30), &listener, 42);
    frame->addView(control);

    control->beginEdit();
    control->beginEdit();
    EXPECT_TRUE(control->isEditing());
    control->endEdit();
    EXPECT_TRUE(control->isEditing());
    control->endEdit();
    EXPECT_FALSE(control->isEditing());
    // A stray end is not passed on.
    control->endEdit();

    EXPECT_EQ(editor.gestures, (std::vector<int32_t>{42, -42}));
    EXPECT_EQ(listener.events, (std::vector<std::string>{"begin", "end"}));
}

TEST_F(GuiControlsBase, RetaggingIsAnnouncedBeforeAndAfter) {
    RecordingListener listener;
    CControl control(CRect(0, 0, 10, 10), &listener, 7);
    control.setTag(9);
    EXPECT_EQ(listener.events, (std::vector<std::string>{"will 7", "did 9"}));
}

TEST_F(GuiControlsBase, ValueStoredAsGivenUntilBounced) {
    CControl control(CRect(0, 0, 10, 10));
    control.setMin(-2);
    control.setMax(2);
    control.setValue(5);
    EXPECT_FLOAT_EQ(control.getValue(), 5);
    control.bounceValue();
    EXPECT_FLOAT_EQ(control.getValue(), 2);
    control.setValue(-7);
    control.bounceValue();
    EXPECT_FLOAT_EQ(control.getValue(), -2);

    control.setValueNormalized(0.25f);
    EXPECT_FLOAT_EQ(control.getValue(), -1);
    EXPECT_FLOAT_EQ(control.getValueNormalized(), 0.25f);
    control.setValueNormalized(3.0f);
    EXPECT_FLOAT_EQ(control.getValue(), 2);
}

TEST_F(GuiControlsBase, DirtyWhileValueDiffersFromTheOneLastDrawn) {
    CControl control(CRect(0, 0, 10, 10));
    control.setDirty(false);
    EXPECT_FALSE(control.isDirty());
    control.setValue(0.3f);
    EXPECT_TRUE(control.isDirty());
    control.setDirty(false);
    EXPECT_FALSE(control.isDirty());
    control.setValue(0.3f);
    EXPECT_FALSE(control.isDirty());
    control.setDirty(true);
    EXPECT_TRUE(control.isDirty());
}

TEST_F(GuiControlsBase, ControlsShareTheirBackground) {
    auto* bitmap = makeStrip(2, 10, 10);
    {
        CControl control(CRect(0, 0, 10, 10), nullptr, 0, bitmap);
        CControl copy(control);
        EXPECT_EQ(copy.getBackground(), bitmap);
        EXPECT_EQ(bitmap->getNbReference(), 3);
        copy.setBackground(nullptr);
        EXPECT_EQ(bitmap->getNbReference(), 2);
    }
    EXPECT_EQ(bitmap->getNbReference(), 1);
    bitmap->forget();
}

// ------------------------------------------------------------------ film strips

using GuiControlsFilmStrip = HeadlessFrameTest;

TEST_F(GuiControlsFilmStrip, FrameFollowsValue) {
    auto* strip = makeStrip(149, 20, 20);
    auto* knob = new CAnimKnob(CRect(50, 40, 70, 60), nullptr, 1, 149, 20, strip);
    strip->forget();
    frame->addView(knob);

    const struct {
        float value;
        int frame;
    } cases[] = {{0.0f, 0}, {1.0f, 148}, {0.5f, 74}, {0.25f, 37}, {0.999f, 147}, {0.0001f, 0}};
    for (const auto& c : cases) {
        knob->setValue(c.value);
        knob->setDirty();
        EXPECT_EQ(knob->getFrameIndex(), c.frame) << "value " << c.value;
        EXPECT_EQ(shownFrame(60, 50), c.frame) << "value " << c.value;
        // The whole view shows that one frame.
        EXPECT_EQ(Testing::pixelAt(frame, 50, 40), stripColour(c.frame));
        EXPECT_EQ(Testing::pixelAt(frame, 69, 59), stripColour(c.frame));
    }
    // Outside the range the ends are shown.
    knob->setValue(1.5f);
    knob->setDirty();
    EXPECT_EQ(shownFrame(60, 50), 148);
    knob->setValue(-0.5f);
    knob->setDirty();
    EXPECT_EQ(shownFrame(60, 50), 0);
}

TEST_F(GuiControlsFilmStrip, InverseStripIsReadFromTheBottom) {
    auto* strip = makeStrip(31, 16, 16);
    auto* knob = new CAnimKnob(CRect(0, 0, 16, 16), nullptr, 1, 31, 16, strip);
    strip->forget();
    knob->setInverseBitmap(true);
    frame->addView(knob);

    for (const auto& [value, expected] : {std::pair{0.0f, 30}, {1.0f, 0}, {0.2f, 24}}) {
        knob->setValue(value);
        knob->setDirty();
        EXPECT_EQ(shownFrame(8, 8), expected) << "value " << value;
    }
}

TEST_F(GuiControlsFilmStrip, FrameCountFollowsFromBitmapAndViewHeight) {
    auto* strip = makeStrip(61, 30, 12);
    auto* slider = new CAnimKnob(CRect(100, 100, 130, 112), nullptr, 49, strip);
    strip->forget();
    frame->addView(slider);
    EXPECT_EQ(slider->getNumSubPixmaps(), 61);
    EXPECT_EQ(slider->getHeightOfOneImage(), 12);

    slider->setMin(10);
    slider->setMax(20);
    slider->setValue(15);
    slider->setDirty();
    EXPECT_EQ(shownFrame(115, 106), 30);
    slider->setValue(20);
    slider->setDirty();
    EXPECT_EQ(shownFrame(115, 106), 60);
}

TEST_F(GuiControlsFilmStrip, CopyShowsTheSameFrameFromTheSameStrip) {
    auto* strip = makeStrip(31, 16, 16);
    auto* knob = new CAnimKnob(CRect(0, 0, 16, 16), nullptr, 3, 31, 16, strip);
    strip->forget();
    knob->setInverseBitmap(true);
    knob->setValue(0.5f);
    auto* copy = dynamic_cast<CAnimKnob*>(knob->newCopy());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->getBackground(), strip);
    EXPECT_EQ(copy->getFrameIndex(), knob->getFrameIndex());
    EXPECT_EQ(copy->getTag(), 3);
    knob->forget();
    // The strip lives on with the copy.
    copy->setDirty();
    frame->addView(copy);
    EXPECT_EQ(shownFrame(8, 8), 15);
}

// ------------------------------------------------------------------ knob dragging

using GuiControlsKnob = HeadlessFrameTest;

TEST_F(GuiControlsKnob, LinearDragCoversRangeIn200Pixels) {
    RecordingListener listener;
    auto* knob = new CKnob(CRect(100, 100, 140, 140), &listener, 5, nullptr, nullptr);
    frame->addView(knob);

    Testing::mouseDown(frame, CPoint(120, 120));
    EXPECT_EQ(editor.gestures, (std::vector<int32_t>{5}));
    Testing::mouseMove(frame, CPoint(120, 70));
    EXPECT_FLOAT_EQ(knob->getValue(), 0.25f);
    Testing::mouseMove(frame, CPoint(120, 20));
    EXPECT_FLOAT_EQ(knob->getValue(), 0.5f);
    // Right counts like up.
    Testing::mouseMove(frame, CPoint(140, 20));
    EXPECT_FLOAT_EQ(knob->getValue(), 0.6f);
    // Far beyond the end the value stays at the maximum.
    Testing::mouseMove(frame, CPoint(140, -500));
    EXPECT_FLOAT_EQ(knob->getValue(), 1.0f);
    Testing::mouseUp(frame, CPoint(140, -500));

    EXPECT_EQ(editor.gestures, (std::vector<int32_t>{5, -5}));
    ASSERT_FALSE(listener.values.empty());
    EXPECT_FLOAT_EQ(listener.values.back(), 1.0f);
    EXPECT_FALSE(knob->isEditing());
}

TEST_F(GuiControlsKnob, ShiftSlowsTheDragWithoutAJump) {
    RecordingListener listener;
    auto* knob = new CKnob(CRect(100, 100, 140, 140), &listener, 5, nullptr, nullptr);
    knob->setMax(2); // 0.01 per pixel, 0.001 with shift
    frame->addView(knob);

    Testing::mouseDown(frame, CPoint(120, 120));
    Testing::mouseMove(frame, CPoint(120, 20));
    EXPECT_FLOAT_EQ(knob->getValue(), 1.0f);
    // Shift pressed where the pointer is: no change yet.
    Testing::mouseMove(frame, CPoint(120, 20), kLButton | kShift);
    EXPECT_FLOAT_EQ(knob->getValue(), 1.0f);
    Testing::mouseMove(frame, CPoint(120, -80), kLButton | kShift);
    EXPECT_NEAR(knob->getValue(), 1.1f, 1e-5);
    // Released again: full speed from there.
    Testing::mouseMove(frame, CPoint(120, -90));
    EXPECT_NEAR(knob->getValue(), 1.2f, 1e-5);
    Testing::mouseUp(frame, CPoint(120, -90));
}

TEST_F(GuiControlsKnob, CancelRestoresTheValueAndEndsTheGesture) {
    RecordingListener listener;
    auto* knob = new CKnob(CRect(100, 100, 140, 140), &listener, 5, nullptr, nullptr);
    knob->setValue(0.2f);
    frame->addView(knob);

    Testing::mouseDown(frame, CPoint(120, 120));
    Testing::mouseMove(frame, CPoint(120, 60));
    EXPECT_FLOAT_EQ(knob->getValue(), 0.5f);
    EXPECT_EQ(knob->onMouseCancel(), kMouseEventHandled);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.2f);
    EXPECT_FLOAT_EQ(listener.values.back(), 0.2f);
    EXPECT_EQ(editor.gestures, (std::vector<int32_t>{5, -5}));
}

TEST_F(GuiControlsKnob, OnlyTheLeftButtonDrags) {
    auto* knob = new CKnob(CRect(100, 100, 140, 140), nullptr, 5, nullptr, nullptr);
    frame->addView(knob);
    CPoint where(120, 120);
    EXPECT_EQ(knob->onMouseDown(where, kRButton), kMouseEventNotHandled);
    EXPECT_EQ(knob->onMouseDown(where, kLButton), kMouseEventHandled);
    knob->onMouseUp(where, kLButton);
    EXPECT_EQ(editor.gestures, (std::vector<int32_t>{5, -5}));
}

TEST_F(GuiControlsKnob, WheelStepsByTheWheelIncrement) {
    RecordingListener listener;
    auto* knob = new CKnob(CRect(100, 100, 140, 140), &listener, 5, nullptr, nullptr);
    knob->setValue(0.5f);
    frame->addView(knob);

    Testing::wheel(frame, CPoint(120, 120), 1.0f);
    EXPECT_NEAR(knob->getValue(), 0.6f, 1e-6);
    Testing::wheel(frame, CPoint(120, 120), -2.0f);
    EXPECT_NEAR(knob->getValue(), 0.4f, 1e-6);
    Testing::wheel(frame, CPoint(120, 120), 1.0f, kShift);
    EXPECT_NEAR(knob->getValue(), 0.41f, 1e-6);
    ASSERT_EQ(listener.values.size(), 3u);
    // At the end of the range the wheel changes nothing and reports nothing.
    knob->setValue(1.0f);
    Testing::wheel(frame, CPoint(120, 120), 1.0f);
    EXPECT_FLOAT_EQ(knob->getValue(), 1.0f);
    EXPECT_EQ(listener.values.size(), 3u);
    EXPECT_EQ(editor.gestures, (std::vector<int32_t>{5, -5, 5, -5, 5, -5}));
}

TEST_F(GuiControlsKnob, CircularModeFollowsTheAngle) {
    editor.knobMode = kCircularMode;
    auto* knob = new CKnob(CRect(100, 100, 140, 140), nullptr, 5, nullptr, nullptr);
    frame->addView(knob);

    // Straight up is the middle, down-left the start, down-right the end.
    Testing::mouseDown(frame, CPoint(120, 101));
    EXPECT_NEAR(knob->getValue(), 0.5f, 1e-3);
    Testing::mouseMove(frame, CPoint(101, 139));
    EXPECT_NEAR(knob->getValue(), 0.0f, 1e-3);
    Testing::mouseMove(frame, CPoint(139, 139));
    EXPECT_NEAR(knob->getValue(), 1.0f, 1e-3);
    Testing::mouseMove(frame, CPoint(139, 120));
    EXPECT_NEAR(knob->getValue(), 5.0f / 6.0f, 1e-3);
    Testing::mouseUp(frame, CPoint(139, 120));
}

TEST_F(GuiControlsKnob, RelativeCircularModeTurnsFromWhereItWas) {
    editor.knobMode = kRelativCircularMode;
    auto* knob = new CKnob(CRect(100, 100, 140, 140), nullptr, 5, nullptr, nullptr);
    knob->setValue(0.1f);
    frame->addView(knob);

    // A quarter turn clockwise is a third of the range, wherever it starts.
    Testing::mouseDown(frame, CPoint(101, 120));
    EXPECT_FLOAT_EQ(knob->getValue(), 0.1f);
    Testing::mouseMove(frame, CPoint(120, 101));
    EXPECT_NEAR(knob->getValue(), 0.1f + 1.0f / 3.0f, 1e-3);
    Testing::mouseUp(frame, CPoint(120, 101));
}

// ------------------------------------------------------------------ buttons

using GuiControlsButtons = HeadlessFrameTest;

TEST_F(GuiControlsButtons, OnOffTogglesAndDrawsItsFrame) {
    RecordingListener listener;
    auto* strip = makeStrip(2, 20, 10);
    auto* button = new COnOffButton(CRect(10, 10, 30, 20), &listener, 12, strip);
    strip->forget();
    frame->addView(button);
    EXPECT_EQ(shownFrame(20, 15), 0);

    Testing::click(frame, CPoint(20, 15));
    EXPECT_FLOAT_EQ(button->getValue(), 1.0f);
    EXPECT_EQ(shownFrame(20, 15), 1);
    Testing::click(frame, CPoint(20, 15));
    EXPECT_FLOAT_EQ(button->getValue(), 0.0f);
    EXPECT_EQ(shownFrame(20, 15), 0);

    EXPECT_EQ(listener.values, (std::vector<float>{1.0f, 0.0f}));
    EXPECT_EQ(editor.gestures, (std::vector<int32_t>{12, -12, 12, -12}));
}

TEST_F(GuiControlsButtons, OnOffAnswersOnlyTheLeftButton) {
    RecordingListener listener;
    auto* button = new COnOffButton(CRect(10, 10, 30, 20), &listener, 12);
    frame->addView(button);
    CPoint where(20, 15);
    EXPECT_EQ(button->onMouseDown(where, kRButton), kMouseEventNotHandled);
    EXPECT_TRUE(listener.values.empty());
    EXPECT_EQ(button->onMouseDown(where, kLButton),
              kMouseDownEventHandledButDontNeedMovedOrUpEvents);
    // A value between the ends counts as off.
    button->setValue(0.7f);
    button->onMouseDown(where, kLButton);
    EXPECT_EQ(listener.values, (std::vector<float>{1.0f, 1.0f}));
}

TEST_F(GuiControlsButtons, KickButtonReportsPressAndReleaseOnce) {
    RecordingListener listener;
    auto* strip = makeStrip(2, 20, 10);
    auto* button = new CKickButton(CRect(10, 10, 30, 20), &listener, 20, strip);
    strip->forget();
    frame->addView(button);

    Testing::mouseDown(frame, CPoint(20, 15));
    EXPECT_EQ(listener.values, (std::vector<float>{1.0f}));
    EXPECT_EQ(shownFrame(20, 15), 1);
    Testing::mouseMove(frame, CPoint(21, 16));
    Testing::mouseUp(frame, CPoint(21, 16));
    EXPECT_EQ(listener.values, (std::vector<float>{1.0f, 0.0f}));
    EXPECT_EQ(shownFrame(20, 15), 0);
    EXPECT_EQ(editor.gestures, (std::vector<int32_t>{20, -20}));
}

TEST_F(GuiControlsButtons, KickButtonReleasedOutsideStillEndsWithZero) {
    RecordingListener listener;
    auto* strip = makeStrip(2, 20, 10);
    auto* button = new CKickButton(CRect(10, 10, 30, 20), &listener, 20, strip);
    strip->forget();
    frame->addView(button);

    Testing::mouseDown(frame, CPoint(20, 15));
    // Out: the button looks released; back in: pressed; out again.
    Testing::mouseMove(frame, CPoint(100, 100));
    EXPECT_EQ(shownFrame(20, 15), 0);
    Testing::mouseMove(frame, CPoint(20, 15));
    EXPECT_EQ(shownFrame(20, 15), 1);
    Testing::mouseMove(frame, CPoint(100, 100));
    Testing::mouseUp(frame, CPoint(100, 100));
    EXPECT_EQ(listener.values, (std::vector<float>{1.0f, 0.0f}));
    EXPECT_FLOAT_EQ(button->getValue(), 0.0f);
    EXPECT_EQ(editor.gestures, (std::vector<int32_t>{20, -20}));
}

TEST_F(GuiControlsButtons, KickButtonCancelEndsThePress) {
    RecordingListener listener;
    auto* button = new CKickButton(CRect(10, 10, 30, 20), &listener, 20, nullptr);
    frame->addView(button);
    CPoint where(20, 15);
    EXPECT_EQ(button->onMouseDown(where, kRButton), kMouseEventNotHandled);
    EXPECT_EQ(button->onMouseDown(where, kLButton), kMouseEventHandled);
    button->onMouseCancel();
    EXPECT_EQ(listener.values, (std::vector<float>{1.0f, 0.0f}));
    EXPECT_FALSE(button->isEditing());
    // Nothing more after the press has ended.
    button->onMouseUp(where, kLButton);
    EXPECT_EQ(listener.values.size(), 2u);
}

TEST_F(GuiControlsButtons, KickButtonFrameHeightAndOffset) {
    // Frames 5 pixels high in a 10-pixel strip of 4 frames, read from the
    // second frame on.
    auto* strip = makeStrip(4, 20, 5);
    auto* button = new CKickButton(CRect(10, 10, 30, 15), nullptr, 20, 10, strip, CPoint(0, 5));
    strip->forget();
    frame->addView(button);
    EXPECT_EQ(shownFrame(20, 12), 1);
    Testing::mouseDown(frame, CPoint(20, 12));
    EXPECT_EQ(shownFrame(20, 12), 3);
    Testing::mouseUp(frame, CPoint(20, 12));
}

// ------------------------------------------------------------------ value display

using GuiControlsParamDisplay = HeadlessFrameTest;

TEST_F(GuiControlsParamDisplay, DrawsBackgroundAndTextUnlessStyledAway) {
    const CRect rect(20, 20, 120, 44);
    auto* display = new CParamDisplay(rect);
    display->setBackColor(CColor(0, 0, 255));
    display->setFontColor(CColor(255, 255, 0));
    display->setValue(0.5f);
    frame->setBackgroundColor(kBlackCColor);
    frame->addView(display);
    frame->redrawAll();
    frame->idle();
    EXPECT_EQ(Testing::pixelAt(frame, 21, 21), CColor(0, 0, 255));
    EXPECT_GT(yellowishPixels(frame, rect), 10);

    display->setStyle(CParamDisplay::kNoTextStyle);
    display->setDirty();
    frame->idle();
    EXPECT_EQ(yellowishPixels(frame, rect), 0);
    EXPECT_EQ(Testing::pixelAt(frame, 60, 30), CColor(0, 0, 255));

    // Nothing at all: what lies below shows through.
    display->setStyle(CParamDisplay::kNoDrawStyle);
    frame->invalidRect(rect);
    display->setDirty();
    frame->idle();
    EXPECT_EQ(Testing::pixelAt(frame, 21, 21), kBlackCColor);
}

TEST_F(GuiControlsParamDisplay, ValueTextComesFromTheConversionFunction) {
    auto* display = new CParamDisplay(CRect(20, 20, 120, 44));
    display->setFontColor(CColor(255, 255, 0));
    std::vector<float> asked;
    bool convert = true;
    display->setValueToStringFunction([&](float value, char text[256], CParamDisplay*) {
        asked.push_back(value);
        std::snprintf(text, 256, "%s", "");
        return convert;
    });
    display->setValue(0.25f);
    frame->addView(display);
    frame->idle();
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked.back(), 0.25f);
    // An empty text draws no glyphs; refusing falls back to the number.
    EXPECT_EQ(yellowishPixels(frame, CRect(20, 20, 120, 44)), 0);
    convert = false;
    display->setDirty();
    frame->idle();
    EXPECT_GT(yellowishPixels(frame, CRect(20, 20, 120, 44)), 10);
}

TEST_F(GuiControlsParamDisplay, NumberLooksTheSameUnderADecimalCommaLocale) {
    auto* display = new CParamDisplay(CRect(20, 20, 120, 44));
    display->setFontColor(kWhiteCColor);
    display->setValue(0.75f);
    frame->addView(display);
    frame->idle();
    std::vector<CColor> before;
    for (int x = 20; x < 120; ++x) before.push_back(Testing::pixelAt(frame, x, 32));

    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) GTEST_SKIP() << "no de_DE locale";
    display->setDirty();
    frame->idle();
    std::setlocale(LC_NUMERIC, saved.c_str());
    std::vector<CColor> after;
    for (int x = 20; x < 120; ++x) after.push_back(Testing::pixelAt(frame, x, 32));
    EXPECT_EQ(before, after);
}

TEST_F(GuiControlsParamDisplay, FontIsHeldWhileInUse) {
    auto* font = new CFontDesc("Arial", 14);
    {
        CParamDisplay display(CRect(0, 0, 10, 10));
        display.setFont(font);
        EXPECT_EQ(font->getNbReference(), 2);
        CParamDisplay copy(display);
        EXPECT_EQ(font->getNbReference(), 3);
        copy.setFont(kNormalFont);
        EXPECT_EQ(font->getNbReference(), 2);
    }
    EXPECT_EQ(font->getNbReference(), 1);
    font->forget();
}
