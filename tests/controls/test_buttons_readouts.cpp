// Switches, radio buttons, menu buttons, pictures and readouts; and the
// conventions every control shares: nothing drawn before the editor has
// finished opening, no mouse while the mouse is disabled, sizes clamped,
// copies that keep the class's own fields.

#include "controls/tbitmap.h"
#include "controls/tbuttons.h"
#include "controls/tknob.h"
#include "controls/toptionmenu.h"
#include "controls/treadout.h"
#include "controls/tsliders.h"
#include "controls_fixture.h"
#include "platform/dialog_service.h"

#include <cstring>

using namespace ControlsTest;

namespace {

constexpr CMouseEventResult kDone = kMouseDownEventHandledButDontNeedMovedOrUpEvents;
constexpr int kSwitchTag = tag::DriftOn;

// A two-frame switch: frame 0 red 0, frame 1 red 1 (each 12 x 10, left
// half filled).
CBitmap* makeSwitch() {
    return makeStrip("mod", 2, 12, 10);
}

struct ControlsButtons : ControlsFixture {
    TOnOff* makeOnOff(const CRect& r = CRect(100, 100, 112, 110)) {
        CBitmap* bitmap = makeSwitch();
        TOnOff* button = add(new TOnOff(r, &listener, kSwitchTag, bitmap, 0));
        bitmap->forget();
        return button;
    }
    TRadioButton* makeRadio(int group, int index, const CRect& r) {
        CBitmap* bitmap = makeSwitch();
        TRadioButton* button = add(new TRadioButton(r, &listener, bitmap, group, index));
        bitmap->forget();
        return button;
    }
};

} // namespace

TEST_F(ControlsButtons, OnOffTogglesInsideAGesture) {
    plugin->setParameter(kSwitchTag, 0.0f);
    TOnOff* button = makeOnOff();
    host.clearLog();

    click(CPoint(105, 105));
    EXPECT_FLOAT_EQ(button->getValue(), 1.0f);
    EXPECT_FLOAT_EQ(plugin->getParameter(kSwitchTag), 1.0f);
    ASSERT_EQ(host.calls.size(), 3u);
    EXPECT_EQ(host.calls[0].opcode, audioMasterBeginEdit);
    EXPECT_EQ(host.calls[1].opcode, audioMasterAutomate);
    EXPECT_EQ(host.calls[2].opcode, audioMasterEndEdit);
    click(CPoint(105, 105));
    EXPECT_FLOAT_EQ(button->getValue(), 0.0f);
    EXPECT_FLOAT_EQ(plugin->getParameter(kSwitchTag), 0.0f);

    // trunc(0.7) is 0: the switch goes on.
    button->setValue(0.7f);
    click(CPoint(105, 105));
    EXPECT_FLOAT_EQ(button->getValue(), 1.0f);

    // Modifier clicks are offered first; the editor lets them through.
    click(CPoint(105, 105), kLButton | kAlt);
    EXPECT_EQ(listener.offered, (std::vector<int32_t>{kLButton | kAlt}));
    EXPECT_FLOAT_EQ(button->getValue(), 0.0f);
    listener.consume = 1;
    click(CPoint(105, 105), kLButton | kShift);
    EXPECT_FLOAT_EQ(button->getValue(), 0.0f);
    // A plain click is not offered.
    click(CPoint(105, 105));
    EXPECT_EQ(listener.offered.size(), 2u);
    EXPECT_FLOAT_EQ(button->getValue(), 1.0f);

    // A bypassed switch still toggles.
    button->setBypassed(true);
    click(CPoint(105, 105));
    EXPECT_FLOAT_EQ(button->getValue(), 0.0f);
}

TEST_F(ControlsButtons, OnOffDrawsItsFrameAndFadesWhenBypassed) {
    TOnOff* button = makeOnOff();
    button->setOn();
    EXPECT_TRUE(button->isDirty());
    redraw();
    EXPECT_EQ(pixel(102, 102).red, 1);
    EXPECT_EQ(pixel(102, 102).green, StripProvider::kModGreen);
    button->setOff();
    redraw();
    EXPECT_EQ(pixel(102, 102).red, 0);
    EXPECT_EQ(pixel(102, 102).green, StripProvider::kModGreen);

    button->setBypassed(true);
    EXPECT_TRUE(button->isDirty());
    redraw();
    // 64/255 of the frame over the black frame.
    const CColor faded = pixel(102, 102);
    EXPECT_NEAR(faded.green, StripProvider::kModGreen * 64 / 255, 2);
    button->setBypassed(true);
    EXPECT_FALSE(button->isDirty());
    button->setState(true);
    EXPECT_TRUE(button->isDirty());
}

TEST_F(ControlsButtons, RadioButtonsTurnOnAndOpenTheirGroupMenus) {
    TRadioButton* off = makeRadio(3, 0, CRect(100, 100, 112, 110));
    TRadioButton* on = makeRadio(3, 1, CRect(120, 100, 132, 110));
    on->setOn();

    click(CPoint(105, 105));
    EXPECT_FLOAT_EQ(off->getValue(), 1.0f);
    EXPECT_EQ(listener.values, (std::vector<float>{1.0f}));
    // Already on: no report.
    click(CPoint(125, 105));
    EXPECT_FLOAT_EQ(on->getValue(), 1.0f);
    EXPECT_EQ(listener.values.size(), 1u);

    // In group 3 a right click is a plain click.
    off->setOff();
    click(CPoint(105, 105), kRButton);
    EXPECT_FLOAT_EQ(off->getValue(), 1.0f);
    EXPECT_EQ(listener.values.size(), 2u);

    // In groups 0 to 2 a menu click opens the section menu and leaves the
    // button as it is.
    for (int group : {0, 1, 2}) {
        TRadioButton* b = makeRadio(group, 1, CRect(140, 100, 152, 110));
        CPoint p(145, 105);
        EXPECT_EQ(b->onMouseDown(p, kRButton), kDone) << group;
        EXPECT_EQ(b->onMouseDown(p, kLButton | kApple), kDone) << group;
        EXPECT_FLOAT_EQ(b->getValue(), 0.0f) << group;
        EXPECT_EQ(b->onMouseDown(p, kLButton), kMouseEventHandled) << group;
        EXPECT_FLOAT_EQ(b->getValue(), 1.0f) << group;
        frame()->removeView(b, true);
        added.pop_back();
    }

    // Frames as for the switch.
    redraw();
    EXPECT_EQ(pixel(102, 102).red, 1);
    off->setState(false);
    redraw();
    EXPECT_EQ(pixel(102, 102).red, 0);
}

TEST_F(ControlsButtons, RadioWheelStepsTheGroup) {
    // Group 3 holds the XY record mode: Live, Record, Replay.
    constexpr int kRecordMode = 445;
    plugin->setSteppedValue(kRecordMode, 0);
    TRadioButton* live = makeRadio(3, 0, CRect(100, 100, 112, 110));
    wheel(CPoint(105, 105), -1.0f); // towards the user: the next mode
    EXPECT_EQ(plugin->getSteppedValue(kRecordMode), 1);
    wheel(CPoint(105, 105), 1.0f);
    wheel(CPoint(105, 105), 1.0f);
    EXPECT_EQ(plugin->getSteppedValue(kRecordMode), 2);
    EXPECT_TRUE(live->onWheel(CPoint(105, 105), 0.0f, CButtonState()));
    EXPECT_EQ(plugin->getSteppedValue(kRecordMode), 2);
    EXPECT_FALSE(live->onWheel(CPoint(105, 105), kMouseWheelAxisX, 1.0f, CButtonState()));
}

TEST_F(ControlsButtons, MenuButtonsOpenOnAnyClickAndDrawOnlyIcons) {
    TMenuButton* invisible = add(new TMenuButton(CRect(100, 100, 120, 120), &listener, 4));
    TMenuButton* icon = add(new TMenuButton(CRect(140, 100, 160, 120), &listener, 1));
    EXPECT_EQ(invisible->getTag(), NO_PARAM_TAG);
    redraw();
    EXPECT_EQ(countPixels(CRect(100, 100, 120, 120),
                          [](const CColor& c) { return !(c == kBlackCColor); }),
              0);
    if (CBitmap* iconBitmap = ui().getBitmap(10051); iconBitmap && iconBitmap->isLoaded()) {
        EXPECT_GT(countPixels(CRect(140, 100, 160, 120),
                              [](const CColor& c) { return !(c == kBlackCColor); }),
                  0);
    }

    for (CButtonState b : {CButtonState(kLButton), CButtonState(kRButton),
                           CButtonState(kLButton | kShift | kControl | kAlt)}) {
        CPoint p(110, 110);
        EXPECT_EQ(invisible->onMouseDown(p, b), kMouseEventHandled);
        EXPECT_TRUE(invisible->isDirty());
        redraw();
    }
    EXPECT_EQ(icon->getKind(), 1);
    EXPECT_TRUE(listener.values.empty());
}

TEST_F(ControlsButtons, PictureDrawsItsBitmap) {
    CBitmap* bitmap = makeStrip("mod", 1, 12, 10);
    TBitmap* picture = add(new TBitmap(CRect(100, 100, 112, 110), bitmap, &listener));
    bitmap->forget();
    EXPECT_EQ(picture->getTag(), NO_PARAM_TAG);
    picture->setDirty(true);
    redraw();
    EXPECT_EQ(pixel(101, 101).green, StripProvider::kModGreen);
    TBitmap* empty = add(new TBitmap(CRect(120, 100, 132, 110), nullptr, &listener));
    empty->setDirty(true);
    redraw();
    EXPECT_EQ(pixel(121, 101), kBlackCColor);
}

// ------------------------------------------------------------------ readouts

TEST_F(ControlsButtons, NumericReadoutOpensTheEntryAndTakesTheWheel) {
    ScriptedDialogService dialogs;
    ScopedDialogService scoped(dialogs);
    TReadout* readout =
        add(new TReadout(CRect(100, 100, 160, 114), &listener, "1.00 Hz", 0, true, false));
    readout->setTag(tag::FreeLfo2Speed);
    plugin->setParameter(tag::FreeLfo2Speed, 0.5f);

    dialogs.pushTextCancel();
    click(CPoint(120, 107));
    EXPECT_EQ(dialogs.textRequests.size(), 1u);
    click(CPoint(120, 107), kRButton);
    EXPECT_EQ(dialogs.textRequests.size(), 1u);
    EXPECT_TRUE(listener.values.empty());

    wheel(CPoint(120, 107), 1.0f);
    const float up = plugin->getParameter(tag::FreeLfo2Speed);
    EXPECT_GT(up, 0.5f);
    wheel(CPoint(120, 107), -1.0f, kShift);
    EXPECT_LT(plugin->getParameter(tag::FreeLfo2Speed), up);
    EXPECT_GT(plugin->getParameter(tag::FreeLfo2Speed), 0.5f); // the fine step

    // Other readouts take the wheel without changing anything.
    readout->setTag(NO_PARAM_TAG);
    const float before = plugin->getParameter(tag::FreeLfo2Speed);
    EXPECT_TRUE(readout->onWheel(CPoint(120, 107), 1.0f, CButtonState()));
    EXPECT_FLOAT_EQ(plugin->getParameter(tag::FreeLfo2Speed), before);
    CPoint p(120, 107);
    EXPECT_EQ(readout->onMouseDown(p, kLButton), kDone);
}

TEST_F(ControlsButtons, ClickableReadoutIsAKickButton) {
    add(new TReadout(CRect(100, 100, 160, 114), &listener, "Go", 1, false, true));
    down(CPoint(120, 107));
    EXPECT_EQ(listener.values, (std::vector<float>{1.0f}));
    up(CPoint(120, 107));
    EXPECT_EQ(listener.values, (std::vector<float>{1.0f, 0.0f}));
    down(CPoint(120, 107), kRButton);
    EXPECT_EQ(listener.values.size(), 2u);
    up(CPoint(120, 107), kRButton);
    EXPECT_EQ(listener.values.size(), 2u);
}

TEST_F(ControlsButtons, ReadoutTextAndDrawing) {
    TReadout* readout =
        add(new TReadout(CRect(100, 100, 160, 114), &listener, "", 0, false, false));
    TReadout* reference =
        add(new TReadout(CRect(100, 130, 160, 144), &listener, "12.5", 0, false, false));
    redraw();
    EXPECT_EQ(readout->getString(), "");
    EXPECT_EQ(countPixels(CRect(100, 100, 160, 114), isLightBlue), 0);
    readout->setString("12.5");
    EXPECT_TRUE(readout->isDirty());
    redraw();
    readout->setString("12.5");
    EXPECT_FALSE(readout->isDirty());
    EXPECT_GT(countPixels(CRect(100, 100, 160, 114), isLightBlue), 10);
    EXPECT_TRUE(sameImage(CRect(100, 99, 160, 115), CPoint(100, 129)));
    EXPECT_EQ(reference->getSizeIndex(), 0);

    TReadout* big = add(new TReadout(CRect(0, 0, 10, 10), &listener, "x", 9, true, false));
    TReadout* small = add(new TReadout(CRect(0, 0, 10, 10), &listener, "x", -3, true, false));
    EXPECT_EQ(big->getSizeIndex(), 3);
    EXPECT_EQ(small->getSizeIndex(), 0);
}

TEST_F(ControlsButtons, FixedTextDisplay) {
    TReadoutString* display = add(new TReadoutString(CRect(100, 100, 200, 130), nullptr));
    EXPECT_STREQ(display->getString(), " ");
    redraw();
    display->setString("Ondix");
    EXPECT_TRUE(display->isDirty());
    redraw();
    display->setString("Ondix"); // marked every time
    EXPECT_TRUE(display->isDirty());
    redraw();
    EXPECT_GT(countPixels(CRect(100, 100, 200, 130), isWhite), 10);
    const std::string longText(400, 'a');
    display->setString(longText.c_str());
    EXPECT_EQ(std::strlen(display->getString()), 254u);
}

// ------------------------------------------------------------------ shared conventions

TEST_F(ControlsButtons, CopiesKeepTheirOwnFields) {
    TMenuButton menuButton(CRect(0, 0, 10, 10), &listener, 6);
    auto* menuCopy = static_cast<TMenuButton*>(menuButton.newCopy());
    EXPECT_EQ(menuCopy->getKind(), 6);
    menuCopy->forget();

    CBitmap* bitmap = makeSwitch();
    TRadioButton radio(CRect(0, 0, 10, 10), &listener, bitmap, 5, 2);
    auto* radioCopy = static_cast<TRadioButton*>(radio.newCopy());
    EXPECT_EQ(radioCopy->getGroup(), 5);
    EXPECT_EQ(radioCopy->getIndex(), 2);
    EXPECT_EQ(radioCopy->getBitmap(), bitmap);
    radioCopy->forget();

    TBitmap picture(CRect(0, 0, 10, 10), bitmap, &listener);
    auto* pictureCopy = static_cast<TBitmap*>(picture.newCopy());
    EXPECT_EQ(pictureCopy->getBackground(), bitmap);
    pictureCopy->forget();
    bitmap->forget();

    TReadout readout(CRect(0, 0, 10, 10), &listener, "Text", 2, true, true);
    auto* readoutCopy = static_cast<TReadout*>(readout.newCopy());
    EXPECT_EQ(readoutCopy->getString(), "Text");
    EXPECT_EQ(readoutCopy->getSizeIndex(), 2);
    EXPECT_TRUE(readoutCopy->isClickable());
    readoutCopy->forget();
}

TEST_F(ControlsButtons, NothingIsDrawnBeforeTheEditorHasOpened) {
    startClosed();
    CFrame* own = new CFrame(CRect(0, 0, 300, 100), &ui());
    ASSERT_TRUE(own->open(nullptr));
    CBitmap* bitmap = makeSwitch();
    CBitmap* strip = makeStrip("ptr", 149, 12, 10);
    std::vector<CControl*> controls = {
        new TOnOff(CRect(0, 0, 12, 10), &listener, kSwitchTag, bitmap, 0),
        new TRadioButton(CRect(20, 0, 32, 10), &listener, bitmap, 3, 0),
        new TBitmap(CRect(40, 0, 52, 10), bitmap, &listener),
        new TMenuButton(CRect(60, 0, 72, 10), &listener, 1),
        new TReadout(CRect(80, 0, 140, 14), &listener, "Text", 0, true, false),
        new TReadoutString(CRect(80, 20, 140, 40), "Text"),
        new TOptionMenu(CRect(150, 0, 250, 17), &listener, NO_PARAM_TAG, nullptr, nullptr, 0, 0,
                        true, true),
        new TKnob(CRect(0, 50, 12, 60), &listener, kSwitchTag, strip, strip, CPoint(0, 0), 149),
        new TVSlider(CRect(20, 50, 32, 90), &listener, tag::OscMorph, strip, CPoint(0, 0), 149, 0),
    };
    bitmap->forget();
    strip->forget();
    for (CControl* c : controls) {
        c->setValue(1.0f);
        own->addView(c);
        c->setDirty(true);
    }
    own->idle();
    const auto drawn = [&] {
        int n = 0;
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 300; ++x)
                if (Testing::pixelAt(own, x, y).alpha != 0) ++n;
        return n;
    };
    EXPECT_EQ(drawn(), 0);

    // The editor finishes opening: now they draw.
    ASSERT_TRUE(ui().open(nullptr));
    for (CControl* c : controls) c->setDirty(true);
    own->idle();
    EXPECT_GT(drawn(), 0);
    EXPECT_GT(Testing::pixelAt(own, 1, 1).alpha, 0);
    own->close();
}

TEST_F(ControlsButtons, MouseDisabledControlsTakeNoClicks) {
    CBitmap* bitmap = makeSwitch();
    CBitmap* strip = makeStrip("ptr", 149, 12, 10);
    std::vector<CControl*> controls = {
        new TOnOff(CRect(0, 0, 12, 10), &listener, kSwitchTag, bitmap, 0),
        new TRadioButton(CRect(0, 0, 12, 10), &listener, bitmap, 3, 0),
        new TMenuButton(CRect(0, 0, 12, 10), &listener, 4),
        new TReadout(CRect(0, 0, 12, 10), &listener, "Text", 0, true, true),
        new TOptionMenu(CRect(0, 0, 12, 10), &listener, kSwitchTag, nullptr, nullptr, 0, 0, true,
                        true),
        new TKnob(CRect(0, 0, 12, 10), &listener, kSwitchTag, strip, strip, CPoint(0, 0), 149),
        new THSlider(CRect(0, 0, 12, 10), &listener, kSwitchTag, strip, CPoint(0, 0), 149),
        new TVSlider(CRect(0, 0, 12, 10), &listener, kSwitchTag, strip, CPoint(0, 0), 149, 0),
    };
    bitmap->forget();
    strip->forget();
    host.clearLog();
    for (CControl* c : controls) {
        add(c);
        c->setMouseEnabled(false);
        c->setValue(0.0f);
        CPoint p(5, 5);
        EXPECT_EQ(c->onMouseDown(p, kLButton), kDone);
        EXPECT_EQ(c->onMouseDown(p, kLButton | kControl), kDone);
        EXPECT_FLOAT_EQ(c->getValue(), 0.0f);
    }
    EXPECT_TRUE(listener.values.empty());
    EXPECT_TRUE(host.calls.empty());
}
