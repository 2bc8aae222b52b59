// The envelope screen and the arpeggiator grid on the editor's frame: what
// they draw for the parameters, how clicks, drags and the wheel change the
// parameters, the popups and typed entry they open, the undo snapshots they
// take, and the getters the editor's idle pass reads.

#include "controls/envarp.h"
#include "controls_fixture.h"
#include "core/tags.h"
#include "core/vocabulary.h"
#include "editor/gui_tables.h"
#include "platform/dialog_service.h"

#include <cmath>
#include <string>

using namespace ControlsTest;

namespace {

constexpr float kEps = 1e-5f;

// The screens stand alone on the black frame: the editor's own views are
// taken off it (the editor still holds them and releases them at close).
struct ScreenFixture : ControlsFixture {
    void SetUp() override {
        ControlsFixture::SetUp();
        frame()->removeAll(false);
        frame()->setDirty(true);
        redraw();
    }
    void TearDown() override {
        for (auto& [page, view] : pageViews) page->removeView(view, true);
        pageViews.clear();
        ControlsFixture::TearDown();
    }

    float value(int t) { return plugin->getParameter(t); }
    void set(int t, float v) { plugin->setParameter(t, v); }
    bool isBlack(const CColor& c) { return c.red < 8 && c.green < 8 && c.blue < 8; }
    // Something of the fill gradient, the outline or a text: not black.
    bool isLit(const CColor& c) { return c.green > 20; }

    // Whether rect r of the frame's image is exactly `text` drawn centred
    // in r with font and colour over black, and nothing else.
    bool showsText(const CRect& r, const char* text, const CColor& colour, CFontRef font) {
        const int width = static_cast<int>(frame()->getWidth());
        const int height = static_cast<int>(frame()->getHeight());
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
        cairo_t* cr = cairo_create(surface);
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_paint(cr);
        cairo_destroy(cr);
        {
            CDrawContext context(surface);
            context.setFont(font);
            context.setFontColor(colour);
            context.drawString(text, r, kCenterText);
        }
        cairo_surface_flush(surface);
        bool same = true;
        for (int y = static_cast<int>(r.top); y < r.bottom && same; ++y)
            for (int x = static_cast<int>(r.left); x < r.right && same; ++x)
                same = Testing::pixelAt(surface, x, y) == pixel(x, y);
        cairo_surface_destroy(surface);
        return same;
    }

    std::vector<std::pair<CViewContainer*, CView*>> pageViews;
};

// ------------------------------------------------------------------ envelope

// 235 x 69 at 100 %: the inner area is x 107..327, y 104..164, a segment is
// 41.25 pixels, the gap 13.75, handles have radius 4.
constexpr CRect kEnvRect(100, 100, 335, 169);
constexpr int kInnerLeft = 107;
constexpr int kInnerTop = 104;
constexpr int kInnerBottom = 164;

struct EnvScreen : ScreenFixture {
    TEnvScreen* makeEnv(int envelope = 0, bool decaySustain = false, const CRect& r = kEnvRect) {
        const int first = envelope == 1 ? tag::FilterEnvAttack : tag::AmpEnvAttack;
        return add(new TEnvScreen(r, &listener, envelope, first, first + 1, first + 2, first + 3,
                                  decaySustain, 0));
    }
    void setEnvelope(int first, float a, float d, float s, float r) {
        set(first, a);
        set(first + 1, d);
        set(first + 2, s);
        set(first + 3, r);
    }
    void show(TEnvScreen* env) {
        env->setDirty(true);
        redraw();
    }
    // A handle drawn at (x, y).
    bool handleAt(int x, int y) { return isLightBlue(pixel(x, y)); }
    void drag(CPoint from, CPoint to, CButtonState buttons = kLButton) {
        down(from, buttons);
        move(to, buttons);
        up(to, buttons);
    }
};

TEST_F(EnvScreen, HandlesFollowTheParametersAndAZeroAttackSitsOnTheStart) {
    setEnvelope(tag::AmpEnvAttack, 0.5f, 0.5f, 0.5f, 0.5f);
    TEnvScreen* env = makeEnv();
    show(env);
    // start, attack, decay, sustain, release
    EXPECT_TRUE(handleAt(kInnerLeft, kInnerBottom));
    EXPECT_TRUE(handleAt(127, kInnerTop));
    EXPECT_TRUE(handleAt(161, 134));
    EXPECT_TRUE(handleAt(216, 134));
    EXPECT_TRUE(handleAt(250, kInnerBottom));
    // The area below the curve, not above it; the attack column next to the
    // start stays low.
    EXPECT_TRUE(isLit(pixel(190, 145)));
    EXPECT_TRUE(isBlack(pixel(190, 120)));
    EXPECT_TRUE(isBlack(pixel(108, 115)));

    set(tag::AmpEnvAttack, 0.0f);
    show(env);
    EXPECT_TRUE(handleAt(kInnerLeft, kInnerTop)) << "attack on the start's x, at the top";
    EXPECT_FALSE(handleAt(127, kInnerTop));
    EXPECT_TRUE(handleAt(141, 134)) << "the decay follows the attack";
    // No attack area: the decay's fill starts at the top right at the start.
    EXPECT_TRUE(isLit(pixel(108, 115)));
}

TEST_F(EnvScreen, ExpShapeBendsDecayAndReleaseButNotTheAttack) {
    setEnvelope(tag::AmpEnvAttack, 0.5f, 1.0f, 0.0f, 0.5f);
    set(tag::ExpEnvShapeOn, 0.0f);
    TEnvScreen* env = makeEnv();
    show(env);
    // Straight decay from (127, 104) to (182, 164): at x 141 the curve is at
    // y 119; with the square-root shape at y 134.
    EXPECT_TRUE(isLit(pixel(141, 127)));
    EXPECT_TRUE(isLit(pixel(114, 150)));
    EXPECT_TRUE(isBlack(pixel(114, 130)));

    set(tag::ExpEnvShapeOn, 1.0f);
    show(env);
    EXPECT_TRUE(isBlack(pixel(141, 127))) << "decay steep at its start";
    EXPECT_TRUE(isLit(pixel(141, 137)));
    EXPECT_TRUE(isLit(pixel(114, 150))) << "the attack stays straight";
    EXPECT_TRUE(isBlack(pixel(114, 130)));
    // With the sustain up, the release bends the same way.
    set(tag::AmpEnvSustain, 1.0f);
    show(env);
    // From (237, 104) to (271, 164), at x 244: straight y = 104 + 7/34 * 60
    // = 116, bent 104 + sqrt(7/34) * 60 = 131.
    EXPECT_TRUE(isBlack(pixel(244, 126)));
    set(tag::ExpEnvShapeOn, 0.0f);
    show(env);
    EXPECT_TRUE(isLit(pixel(244, 126)));
}

TEST_F(EnvScreen, InvertedFilterEnvelopeIsMirroredAndItsSustainDragsTheOtherWay) {
    setEnvelope(tag::AmpEnvAttack, 0.5f, 0.5f, 0.75f, 0.5f);
    setEnvelope(tag::FilterEnvAttack, 0.5f, 0.5f, 0.75f, 0.5f);
    set(tag::InvertFilterEnvOn, 1.0f);
    TEnvScreen* amp = makeEnv(0);
    show(amp);
    EXPECT_TRUE(handleAt(127, kInnerTop)) << "the amp envelope is never inverted";
    EXPECT_TRUE(handleAt(161, 119));
    // The filter screen takes the same spot.
    frame()->removeView(amp, true);
    added.clear();
    redraw();

    TEnvScreen* filter = makeEnv(1);
    show(filter);
    EXPECT_TRUE(handleAt(kInnerLeft, kInnerTop)) << "start at the top";
    EXPECT_TRUE(handleAt(127, kInnerBottom)) << "attack at the bottom";
    EXPECT_TRUE(handleAt(161, 149));
    EXPECT_TRUE(handleAt(250, kInnerTop));
    EXPECT_FALSE(handleAt(161, 119));

    // Sustain handle at x 209: dragging it down raises the sustain.
    drag({209, 140}, {209, 160});
    EXPECT_NEAR(value(tag::FilterEnvSustain), 0.85f, kEps);
    set(tag::InvertFilterEnvOn, 0.0f);
    drag({209, 140}, {209, 160});
    EXPECT_NEAR(value(tag::FilterEnvSustain), 0.75f, kEps);
}

TEST_F(EnvScreen, NearestHandleIsPickedAndTiesGoToTheAttack) {
    setEnvelope(tag::AmpEnvAttack, 0.5f, 0.5f, 0.5f, 0.5f);
    TEnvScreen* env = makeEnv();
    // Handles at 20, 54, 109 and 143 pixels from the view's left edge.
    EXPECT_EQ(env->getSelectedEnvTag(), tag::AmpEnvAttack) << "before any click";
    EXPECT_EQ(env->getNearestTag(0), tag::AmpEnvAttack);
    EXPECT_EQ(env->getNearestTag(40), tag::AmpEnvDecay);
    EXPECT_EQ(env->getNearestTag(100), tag::AmpEnvSustain);
    EXPECT_EQ(env->getNearestTag(200), tag::AmpEnvRelease);

    click({100 + 110, 130});
    EXPECT_EQ(env->getSelectedEnvTag(), tag::AmpEnvSustain);
    EXPECT_FALSE(env->getMouseDown());

    // Release 0.01: the release handle 14 pixels after the sustain's, so 116
    // is as near to both, and nearer than the others.
    set(tag::AmpEnvRelease, 0.01f);
    EXPECT_EQ(env->getNearestTag(116), tag::AmpEnvAttack);
    click({100 + 116, 130});
    EXPECT_EQ(env->getSelectedEnvTag(), tag::AmpEnvAttack);
    EXPECT_EQ(env->getNearestTag(117), tag::AmpEnvRelease);

    // A screen without an editor answers the attack.
    TEnvScreen loose(kEnvRect, nullptr, 0, 4, 5, 6, 7, false, 0);
    EXPECT_EQ(loose.getNearestTag(200), tag::AmpEnvAttack);
}

TEST_F(EnvScreen, DragMovesOneHandleOrDecayAndSustainTogether) {
    setEnvelope(tag::AmpEnvAttack, 0.5f, 0.5f, 0.5f, 0.5f);
    TEnvScreen* env = makeEnv();
    // Decay handle at x 154: up and right by 20 pixels.
    drag({154, 130}, {174, 110});
    EXPECT_NEAR(value(tag::AmpEnvDecay), 0.6f, kEps);
    EXPECT_NEAR(value(tag::AmpEnvSustain), 0.5f, kEps);
    // The sustain follows the vertical movement only.
    drag({100 + 110, 130}, {100 + 140, 110});
    EXPECT_NEAR(value(tag::AmpEnvSustain), 0.6f, kEps);

    setEnvelope(tag::AmpEnvAttack, 0.5f, 0.5f, 0.5f, 0.5f);
    env->setDecaySustain(true);
    drag({154, 130}, {174, 110});
    EXPECT_NEAR(value(tag::AmpEnvDecay), 0.6f, kEps);
    EXPECT_NEAR(value(tag::AmpEnvSustain), 0.6f, kEps);
    // In this mode the sustain handle moves the decay as well.
    drag({100 + 110 + 4, 130}, {100 + 110 + 14, 120});
    EXPECT_NEAR(value(tag::AmpEnvDecay), 0.65f, kEps);
    EXPECT_NEAR(value(tag::AmpEnvSustain), 0.65f, kEps);
    // The attack moves alone.
    drag({120, 130}, {140, 110});
    EXPECT_NEAR(value(tag::AmpEnvAttack), 0.6f, kEps);
    EXPECT_NEAR(value(tag::AmpEnvDecay), 0.65f, kEps);
    EXPECT_NEAR(value(tag::AmpEnvSustain), 0.65f, kEps);
    EXPECT_NEAR(value(tag::AmpEnvRelease), 0.5f, kEps);
}

TEST_F(EnvScreen, ShiftSlowsTheDragWithoutAJumpAndTheDragCountsPastTheEnds) {
    setEnvelope(tag::AmpEnvAttack, 0.5f, 0.5f, 0.5f, 0.5f);
    TEnvScreen* env = makeEnv();
    const CButtonState fine = kLButton | kShift;
    down({154, 130});
    EXPECT_TRUE(env->getMouseDown());
    move({174, 130});
    EXPECT_NEAR(value(tag::AmpEnvDecay), 0.6f, kEps);
    move({194, 130}, fine); // the pixels up to here still at full speed
    EXPECT_NEAR(value(tag::AmpEnvDecay), 0.7f, kEps);
    move({214, 130}, fine); // 20 pixels at 1/50 of the speed
    EXPECT_NEAR(value(tag::AmpEnvDecay), 0.702f, kEps);
    move({234, 130});
    EXPECT_NEAR(value(tag::AmpEnvDecay), 0.704f, kEps);
    move({254, 130});
    EXPECT_NEAR(value(tag::AmpEnvDecay), 0.804f, kEps);
    up({254, 130});
    EXPECT_FALSE(env->getMouseDown());

    // 100 pixels past the end, then back: the value leaves 1.0 only after
    // the pointer has come back past the point where it reached it.
    set(tag::AmpEnvDecay, 0.5f);
    down({154, 130});
    move({354, 130});
    EXPECT_FLOAT_EQ(value(tag::AmpEnvDecay), 1.0f);
    move({304, 130});
    EXPECT_FLOAT_EQ(value(tag::AmpEnvDecay), 1.0f);
    move({234, 130});
    EXPECT_NEAR(value(tag::AmpEnvDecay), 0.9f, kEps);
    up({234, 130});
}

TEST_F(EnvScreen, DragIsOneEditGestureAndShowsTheParameterWhileItRuns) {
    setEnvelope(tag::AmpEnvAttack, 0.5f, 0.5f, 0.5f, 0.5f);
    TEnvScreen* env = makeEnv();
    show(env);
    // The right ends of the text boxes, clear of handles and letters.
    const CRect nameBox(260, 100, kInnerLeft + 235 - 12, 112);
    const CRect valueBox(260, 113, kInnerLeft + 235 - 12, 125);
    auto lit = [&](const CRect& r) { return countPixels(r, [&](CColor c) { return isLit(c); }); };
    EXPECT_EQ(lit(nameBox), 0);
    EXPECT_TRUE(handleAt(161, 134));

    host.clearLog();
    down({154, 130});
    move({164, 130});
    redraw();
    EXPECT_GT(lit(nameBox), 0) << "name while dragging";
    EXPECT_GT(lit(valueBox), 0) << "value while dragging";
    EXPECT_TRUE(isWhite(pixel(163, 134))) << "the dragged handle is white";
    EXPECT_TRUE(handleAt(127, kInnerTop)) << "the others keep their colour";
    ASSERT_EQ(hostCalls(audioMasterBeginEdit), 1u);
    EXPECT_EQ(host.last(audioMasterBeginEdit)->index, tag::AmpEnvDecay);
    EXPECT_EQ(hostCalls(audioMasterEndEdit), 0u);
    EXPECT_GT(hostCalls(audioMasterAutomate), 0u);

    up({164, 130});
    redraw();
    ASSERT_EQ(hostCalls(audioMasterEndEdit), 1u);
    EXPECT_EQ(host.last(audioMasterEndEdit)->index, tag::AmpEnvDecay);
    EXPECT_EQ(lit(nameBox), 0);
    EXPECT_TRUE(handleAt(163, 134));
    // A hover with the button up changes nothing.
    move({200, 130}, 0);
    EXPECT_NEAR(value(tag::AmpEnvDecay), 0.55f, kEps);
}

TEST_F(EnvScreen, ModifierClicksSetValuesWithoutADrag) {
    ScriptedDialogService dialogs;
    ScopedDialogService scoped(dialogs);
    setEnvelope(tag::AmpEnvAttack, 0.5f, 0.3f, 0.5f, 0.5f);
    TEnvScreen* env = makeEnv();
    float snapshot = 0.0f;

    // A menu click starts nothing; the envelope menu, dismissed, takes the
    // section's snapshot of the values as they stand.
    click({147, 130}, kRButton);
    click({147, 130}, kLButton | kApple);
    ASSERT_TRUE(ui().getEnvUndo(tag::AmpEnvDecay, snapshot));
    EXPECT_FLOAT_EQ(snapshot, 0.3f);
    EXPECT_FALSE(env->getMouseDown());
    EXPECT_FLOAT_EQ(value(tag::AmpEnvDecay), 0.3f);

    // Option click: the loaded preset's value; the snapshot holds the value
    // from before.
    click({147, 130}, kLButton | kAlt);
    EXPECT_FLOAT_EQ(value(tag::AmpEnvDecay), plugin->getOrigValue(tag::AmpEnvDecay));
    ASSERT_TRUE(ui().getEnvUndo(tag::AmpEnvDecay, snapshot));
    EXPECT_FLOAT_EQ(snapshot, 0.3f);
    EXPECT_FALSE(env->getMouseDown());

    // Command click: typed entry of the picked handle's value.
    set(tag::AmpEnvDecay, 0.3f);
    dialogs.pushTextCancel();
    click({147, 130}, kLButton | kControl);
    ASSERT_EQ(dialogs.textRequests.size(), 1u);
    EXPECT_EQ(dialogs.textRequests[0].title, plugin->getParameterNameStr(tag::AmpEnvDecay));
    EXPECT_FALSE(env->getMouseDown());
    // With shift as well it is a plain drag.
    click({147, 130}, kLButton | kControl | kShift);
    EXPECT_EQ(dialogs.textRequests.size(), 1u);

    // Double click: the default, and the click ends there.
    host.clearLog();
    clock.advance(1000);
    Testing::mouseDown(frame(), {147, 130}, kLButton);
    Testing::mouseUp(frame(), {147, 130}, kLButton);
    clock.advance(100);
    Testing::mouseDown(frame(), {147, 130}, kLButton);
    EXPECT_FLOAT_EQ(value(tag::AmpEnvDecay), plugin->getDefaultValue(tag::AmpEnvDecay));
    EXPECT_FALSE(env->getMouseDown());
    move({190, 130});
    Testing::mouseUp(frame(), {190, 130}, kLButton);
    EXPECT_FLOAT_EQ(value(tag::AmpEnvDecay), plugin->getDefaultValue(tag::AmpEnvDecay));
    EXPECT_EQ(hostCalls(audioMasterBeginEdit), 1u) << "only the first click of the two";
    EXPECT_EQ(hostCalls(audioMasterEndEdit), 1u);

    // A screen that takes no mouse does nothing.
    env->setMouseEnabled(false);
    set(tag::AmpEnvDecay, 0.3f);
    click({147, 130}, kLButton | kAlt);
    EXPECT_FLOAT_EQ(value(tag::AmpEnvDecay), 0.3f);
    CPoint p(147, 130);
    EXPECT_EQ(env->onMouseDown(p, kLButton), kMouseDownEventHandledButDontNeedMovedOrUpEvents);
}

TEST_F(EnvScreen, WheelStepsTheHandlePickedLast) {
    setEnvelope(tag::AmpEnvAttack, 0.5f, 0.5f, 0.5f, 0.5f);
    TEnvScreen* env = makeEnv();
    wheel({250, 150}, 1.0f); // over the release: the attack moves
    EXPECT_NEAR(value(tag::AmpEnvAttack), 0.51f, kEps);
    EXPECT_NEAR(value(tag::AmpEnvRelease), 0.5f, kEps);
    float snapshot = 0.0f;
    ASSERT_TRUE(ui().getEnvUndo(tag::AmpEnvAttack, snapshot));
    EXPECT_FLOAT_EQ(snapshot, 0.5f);
    wheel({250, 150}, -2.0f, kShift);
    EXPECT_NEAR(value(tag::AmpEnvAttack), 0.509f, kEps);

    click({100 + 143, 150}); // pick the release
    EXPECT_EQ(env->getSelectedEnvTag(), tag::AmpEnvRelease);
    wheel({120, 150}, -1.0f);
    EXPECT_NEAR(value(tag::AmpEnvRelease), 0.49f, kEps);
    EXPECT_NEAR(value(tag::AmpEnvAttack), 0.509f, kEps);
}

TEST_F(EnvScreen, WorksInsideItsSubPage) {
    CViewContainer* page = ui().getSubPage(uEditor::kEnvPage1);
    ASSERT_NE(page, nullptr);
    frame()->addView(page);
    const CRect r = ui().getScreenRect(uEditor::GraphicScreen::FilterEnvelope);
    auto* env = new TEnvScreen(r, &listener, 1, 30, 31, 32, 33, false, ui().getSizeIndex());
    page->addView(env);
    pageViews.emplace_back(page, env);
    setEnvelope(tag::FilterEnvAttack, 0.5f, 0.5f, 0.5f, 0.5f);
    redraw();

    // The decay handle 54 pixels from the screen's left edge.
    const CPoint origin = page->getViewSize().getTopLeft() + r.getTopLeft();
    const int innerLeft = static_cast<int>(r.left + r.getWidth() / 32);
    const int innerBottom = static_cast<int>(r.bottom - r.getHeight() / 16);
    const int innerTop = static_cast<int>(r.top + r.getHeight() / 16);
    const int yD = innerBottom - static_cast<int>(0.5f * (innerBottom - innerTop));
    const CPoint decay = page->getViewSize().getTopLeft() + CPoint(innerLeft + 54, yD);
    EXPECT_TRUE(isLightBlue(pixel(static_cast<int>(decay.x), static_cast<int>(decay.y))));

    drag(origin + CPoint(54, 30), origin + CPoint(74, 30));
    EXPECT_EQ(env->getSelectedEnvTag(), tag::FilterEnvDecay);
    EXPECT_NEAR(value(tag::FilterEnvDecay), 0.6f, kEps);
}

// ------------------------------------------------------------------ arpeggiator grid

struct ArpScreen : ScreenFixture {
    void SetUp() override {
        ScreenFixture::SetUp();
        view = ui().getScreenRect(uEditor::GraphicScreen::Arp);
        grid = add(new TArpScreen(view, &listener, ui().getSizeIndex()));
        redraw();
    }
    float stepWidth() const { return ARP_STEP_WIDTH[0]; }
    float rowHeight() const { return ARP_ROW_HEIGHT[0]; }
    // The middle of a cell, for clicks.
    CPoint centre(int row, int step) const {
        return CPoint(std::floor(view.left + (step + 0.5) * stepWidth()),
                      std::floor(view.top + ARP_LED_OFFSET[0] + (row + 0.5) * rowHeight()));
    }
    // The rectangle a cell's text is centred in.
    CRect cell(int row, int step) const {
        const float w = stepWidth();
        const int left = static_cast<int>(view.left), top = static_cast<int>(view.top);
        const int base = top + ARP_LED_OFFSET[0] + ARP_TEXT_OFFSET[0] + 1;
        return CRect(left + static_cast<int>(step * w), base + static_cast<int>(row * rowHeight()),
                     left + static_cast<int>(step * w + w - 1) + 2,
                     base + static_cast<int>((row + 1) * rowHeight()));
    }
    bool cellShows(int row, int step, const char* text, const CColor& colour = LIGHT_BLUE_COLOR) {
        return showsText(cell(row, step), text, colour, FONT_SIZES[0]);
    }
    void show() {
        grid->setDirty(true);
        redraw();
    }
    int steps() { return plugin->getArpNumOfSteps(); }
    void doubleClick(CPoint where) {
        clock.advance(1000);
        Testing::mouseDown(frame(), where, kLButton);
        Testing::mouseUp(frame(), where, kLButton);
        clock.advance(100);
        Testing::mouseDown(frame(), where, kLButton);
        Testing::mouseUp(frame(), where, kLButton);
    }

    CRect view;
    TArpScreen* grid = nullptr;
};

// Records whether the plug-in's popup flag was up while each popup showed.
struct FlagWatchingPopups : Testing::ScriptedPopupProvider {
    Result popup(COptionMenu* root, CFrame* frame, const CPoint& where) override {
        flagWhileOpen.push_back(plugin && plugin->core.popupOpen);
        return ScriptedPopupProvider::popup(root, frame, where);
    }
    APlugin* plugin = nullptr;
    std::vector<bool> flagWhileOpen;
};

TEST_F(ArpScreen, StepsPastTheCountIgnoreClicksButAnOptionClickSetsTheCount) {
    plugin->setSteppedValue(tag::ArpStepsCatchup, 0); // "All": the count is the one written
    plugin->setSteppedValue(tag::ArpNumSteps, 7);
    ASSERT_EQ(steps(), 8);
    const int cellTag = tag::arpStep(tag::RowOn, 12);
    click(centre(tag::RowOn, 12));
    EXPECT_FLOAT_EQ(value(cellTag), 1.0f);
    float snapshot = 0.0f;
    EXPECT_FALSE(ui().getArpUndo(cellTag, snapshot)) << "no undo snapshot";
    CPoint p = centre(tag::RowVelocity, 12);
    EXPECT_EQ(grid->onMouseDown(p, kLButton), kMouseEventHandled);
    EXPECT_FALSE(grid->getMouseDown());

    click(centre(tag::RowTune, 12), kLButton | kAlt);
    EXPECT_EQ(steps(), 13);
    EXPECT_FALSE(ui().getArpUndo(cellTag, snapshot));
    click(centre(tag::RowOn, 12));
    EXPECT_FLOAT_EQ(value(cellTag), 0.0f) << "now on the grid";
    EXPECT_EQ(grid->getLastStep(), 12);
    EXPECT_EQ(grid->getLastRow(), tag::RowOn);
}

TEST_F(ArpScreen, SwitchRowsToggleThroughTheUndoSnapshot) {
    const int on = tag::arpStep(tag::RowOn, 3);
    const int tied = tag::arpStep(tag::RowTied, 3);
    const int slide = tag::arpStep(tag::RowSlide, 3);
    click(centre(tag::RowOn, 3));
    EXPECT_FLOAT_EQ(value(on), 0.0f);
    float snapshot = 0.0f;
    ASSERT_TRUE(ui().getArpUndo(on, snapshot));
    EXPECT_FLOAT_EQ(snapshot, 1.0f);
    click(centre(tag::RowOn, 3));
    EXPECT_FLOAT_EQ(value(on), 1.0f);
    click(centre(tag::RowTied, 3));
    click(centre(tag::RowSlide, 3));
    EXPECT_FLOAT_EQ(value(tied), 1.0f);
    EXPECT_FLOAT_EQ(value(slide), 1.0f);
    EXPECT_EQ(grid->getSelectedArpTag(), -1) << "switch cells are not picked";
    EXPECT_GT(hostCalls(audioMasterAutomate), 0u);
}

TEST_F(ArpScreen, BandAboveTheGridPlacesKeyEntryAndTheLedFollowsIt) {
    settle();
    set(tag::ArpKeyEntryOn, 1.0f);
    plugin->updateArpRare();
    render(16);
    ASSERT_EQ(plugin->getArpLedPos(), 0);
    click(CPoint(centre(0, 5).x, view.top + 10));
    render(16); // the audio thread takes the step at its next tick
    EXPECT_EQ(plugin->getArpLedPos(), 5);
    EXPECT_FLOAT_EQ(value(tag::arpStep(tag::RowOn, 5)), 1.0f) << "no cell changes";
    float snapshot = 0.0f;
    EXPECT_TRUE(ui().getArpUndo(tag::ArpOn, snapshot));

    // The LED (9 x 9 at 100 %) over the step, 11 pixels in.
    auto ledLit = [&](int step) {
        const int x = static_cast<int>(view.left) + static_cast<int>(11 + step * stepWidth()) + 4;
        return isLit(pixel(x, static_cast<int>(view.top) + 4 + 4));
    };
    EXPECT_FALSE(ledLit(5));
    grid->setLedStep(plugin->getArpLedPos());
    EXPECT_TRUE(grid->isDirty());
    redraw();
    EXPECT_EQ(grid->getLedPos(), 5);
    EXPECT_TRUE(ledLit(5));
    EXPECT_FALSE(ledLit(4));
    grid->setLedStep(5);
    EXPECT_FALSE(grid->isDirty()) << "the same step is no change";

    plugin->setSteppedValue(tag::ArpNumSteps, 3);
    show();
    EXPECT_FALSE(ledLit(5)) << "a step past the count shows no LED";
    grid->setLedStep(-1);
    EXPECT_TRUE(grid->isDirty());
    redraw();
    EXPECT_FALSE(ledLit(0));
}

TEST_F(ArpScreen, CellsShowTheirValuesAndTiedStepsFollowTheTiedMode) {
    // Defaults: every step on, untied, tune 0, velocity 127, chord "Set",
    // free 0, ratchet "Off".
    for (int step : {0, 9, 15}) {
        const std::string label = (step < 9 ? "0" : "") + std::to_string(step + 1);
        EXPECT_TRUE(cellShows(tag::RowOn, step, label.c_str())) << label;
    }
    EXPECT_TRUE(cellShows(tag::RowTied, 1, " "));
    EXPECT_TRUE(cellShows(tag::RowSlide, 1, " "));
    EXPECT_TRUE(cellShows(tag::RowTune, 1, "0sm"));
    EXPECT_TRUE(cellShows(tag::RowVelocity, 1, "127"));
    EXPECT_TRUE(cellShows(tag::RowChord, 1, "Set"));
    EXPECT_TRUE(cellShows(tag::RowFree, 1, "0"));
    EXPECT_TRUE(cellShows(tag::RowRatchet, 1, "Off"));
    // At 100 % the text rows sit one pixel lower than their offset says.
    CRect higher = cell(tag::RowVelocity, 1);
    higher.offset(0, -1);
    EXPECT_FALSE(showsText(higher, "127", LIGHT_BLUE_COLOR, FONT_SIZES[0]));

    set(tag::arpStep(tag::RowSlide, 1), 1.0f);
    set(tag::arpStep(tag::RowTune, 1), 1.0f);
    set(tag::arpStep(tag::RowVelocity, 1), 0.5f);
    plugin->setSteppedValue(tag::arpStep(tag::RowChord, 1), 4);
    set(tag::arpStep(tag::RowFree, 1), 0.25f);
    plugin->setSteppedValue(tag::arpStep(tag::RowRatchet, 1), 2);
    show();
    EXPECT_TRUE(cellShows(tag::RowSlide, 1, "X"));
    EXPECT_TRUE(cellShows(tag::RowTune, 1, "36sm"));
    EXPECT_TRUE(cellShows(tag::RowVelocity, 1, "63"));
    EXPECT_TRUE(cellShows(tag::RowChord, 1, ARP_CHORD_SHORT_STR[4]));
    EXPECT_TRUE(cellShows(tag::RowFree, 1, "-50"));
    EXPECT_TRUE(cellShows(tag::RowRatchet, 1, "3"));

    // A step that is off shows only its label, in the darker blue.
    set(tag::arpStep(tag::RowOn, 1), 0.0f);
    show();
    EXPECT_TRUE(cellShows(tag::RowOn, 1, "02", MID_BLUE_COLOR));
    for (int row = tag::RowTied; row <= tag::RowRatchet; ++row)
        EXPECT_TRUE(cellShows(row, 1, " ")) << "row " << row;
    set(tag::arpStep(tag::RowOn, 1), 1.0f);

    // Tied: mode 0 hides the values, mode 1 shows them; the mark stays.
    set(tag::arpStep(tag::RowTied, 1), 1.0f);
    show();
    EXPECT_TRUE(cellShows(tag::RowTied, 1, "X"));
    for (int row = tag::RowSlide; row <= tag::RowRatchet; ++row)
        EXPECT_TRUE(cellShows(row, 1, " ")) << "row " << row;
    plugin->setSteppedValue(tag::ArpTiedMode, 1);
    show();
    EXPECT_TRUE(cellShows(tag::RowTied, 1, "X"));
    EXPECT_TRUE(cellShows(tag::RowVelocity, 1, "63"));
    EXPECT_TRUE(cellShows(tag::RowRatchet, 1, "3"));
    // The toggle modes show them while nothing plays.
    plugin->setSteppedValue(tag::ArpTiedMode, 3);
    show();
    EXPECT_TRUE(cellShows(tag::RowVelocity, 1, "63"));

    // Steps past the count are not drawn at all.
    plugin->setSteppedValue(tag::ArpNumSteps, 7);
    show();
    EXPECT_TRUE(cellShows(tag::RowOn, 7, "08"));
    EXPECT_TRUE(cellShows(tag::RowOn, 8, " "));
    EXPECT_TRUE(cellShows(tag::RowVelocity, 8, " "));
}

TEST_F(ArpScreen, LoopStartMarkUnlessTheLoopIsOff) {
    auto markLit = [&](int step) {
        const int xs = static_cast<int>(view.left) + static_cast<int>(step * stepWidth());
        return isLit(pixel(xs + 5, static_cast<int>(view.top) + 2));
    };
    EXPECT_TRUE(markLit(0));
    plugin->setSteppedValue(tag::ArpLoopStart, 2);
    show();
    EXPECT_TRUE(markLit(2));
    EXPECT_FALSE(markLit(0));
    const CColor c = pixel(static_cast<int>(view.left) + 61 + 5, static_cast<int>(view.top) + 2);
    EXPECT_LT(c.green, 120) << "half-transparent dark blue";
    plugin->setSteppedValue(tag::ArpLoopMode, 1);
    show();
    EXPECT_FALSE(markLit(2));
    plugin->setSteppedValue(tag::ArpLoopMode, 2);
    show();
    EXPECT_TRUE(markLit(2));
}

TEST_F(ArpScreen, DoubleClickRestoresTheDefaultAndCommandClickTypes) {
    ScriptedDialogService dialogs;
    ScopedDialogService scoped(dialogs);
    const int velocity = tag::arpStep(tag::RowVelocity, 1);
    set(velocity, 0.5f);
    doubleClick(centre(tag::RowVelocity, 1));
    EXPECT_FLOAT_EQ(value(velocity), 1.0f);
    EXPECT_FALSE(grid->getMouseDown());
    redraw();
    EXPECT_TRUE(cellShows(tag::RowVelocity, 1, "127"));
    float snapshot = 0.0f;
    ASSERT_TRUE(ui().getArpUndo(velocity, snapshot));
    EXPECT_FLOAT_EQ(snapshot, 0.5f);

    const int tune = tag::arpStep(tag::RowTune, 2);
    dialogs.pushTextCancel();
    click(centre(tag::RowTune, 2), kLButton | kControl);
    ASSERT_EQ(dialogs.textRequests.size(), 1u);
    EXPECT_EQ(dialogs.textRequests[0].title, plugin->getParameterNameStr(tune));
    EXPECT_EQ(grid->getSelectedArpTag(), tune);
    EXPECT_FALSE(grid->getMouseDown());
    // Switch rows toggle on a double click like on any click.
    doubleClick(centre(tag::RowSlide, 2));
    EXPECT_FLOAT_EQ(value(tag::arpStep(tag::RowSlide, 2)), 0.0f);
}

TEST_F(ArpScreen, ValueDragMovesRightAndUpWithShiftTenTimesFiner) {
    const int tune = tag::arpStep(tag::RowTune, 2);
    const CPoint start = centre(tag::RowTune, 2);
    const CButtonState fine = kLButton | kShift;
    down(start, fine);
    EXPECT_TRUE(grid->getMouseDown());
    EXPECT_EQ(grid->getSelectedArpTag(), tune);
    move(start + CPoint(10, -10), fine);
    EXPECT_NEAR(value(tune), 0.51f, kEps);
    move(start + CPoint(-10, 0)); // the step was fixed at mouse-down
    EXPECT_NEAR(value(tune), 0.495f, kEps);
    up(start + CPoint(-10, 0));
    EXPECT_FALSE(grid->getMouseDown());

    down(start);
    move(start + CPoint(10, 0));
    EXPECT_NEAR(value(tune), 0.545f, kEps);
    move(start + CPoint(10, -20));
    EXPECT_NEAR(value(tune), 0.645f, kEps);
    up(start + CPoint(10, -20));
    // Hovering with the button up edits nothing.
    move(start + CPoint(40, 0), 0);
    EXPECT_NEAR(value(tune), 0.645f, kEps);

    // Velocity and free drag the same way.
    const int free = tag::arpStep(tag::RowFree, 4);
    down(centre(tag::RowFree, 4));
    move(centre(tag::RowFree, 4) + CPoint(0, 20));
    up(centre(tag::RowFree, 4) + CPoint(0, 20));
    EXPECT_NEAR(value(free), 0.4f, kEps);
}

TEST_F(ArpScreen, ChordAndRatchetCellsPickFromAPopup) {
    FlagWatchingPopups popups;
    popups.plugin = plugin.get();
    Testing::setPopupProviderOverride(&popups);
    const uint32_t views = frame()->getNbViews();

    const int ratchet = tag::arpStep(tag::RowRatchet, 0);
    popups.chooseTitlePath({"3"});
    click(centre(tag::RowRatchet, 0));
    ASSERT_EQ(popups.popupCount(), 1);
    const auto& lines = popups.history()[0].lines;
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].title, "Off");
    EXPECT_EQ(lines[3].title, "4");
    EXPECT_EQ(plugin->getSteppedValue(ratchet), 2);
    EXPECT_TRUE(popups.flagWhileOpen[0]);
    EXPECT_FALSE(plugin->core.popupOpen);
    EXPECT_EQ(frame()->getNbViews(), views) << "the menu is taken down";
    EXPECT_EQ(grid->getSelectedArpTag(), ratchet);

    const int chord = tag::arpStep(tag::RowChord, 1);
    popups.chooseTitlePath({"Major"});
    click(centre(tag::RowChord, 1));
    ASSERT_EQ(popups.popupCount(), 2);
    ASSERT_EQ(popups.history()[1].lines.size(), 21u);
    EXPECT_EQ(popups.history()[1].lines[0].title, "Set");
    EXPECT_EQ(popups.history()[1].lines[20].title, "Diminished 7");
    EXPECT_EQ(plugin->getSteppedValue(chord), 4);

    popups.dismiss();
    click(centre(tag::RowChord, 1));
    EXPECT_EQ(popups.popupCount(), 3);
    EXPECT_EQ(plugin->getSteppedValue(chord), 4);
    EXPECT_FALSE(plugin->core.popupOpen);
}

TEST_F(ArpScreen, ChordModeShowsDashesAndDragsTheChordRow) {
    Testing::ScriptedPopupProvider popups;
    Testing::setPopupProviderOverride(&popups);
    plugin->setSteppedValue(tag::arpStep(tag::RowChord, 0), 4);
    plugin->setSteppedValue(tag::arpStep(tag::RowChord, 8), 10);
    show();
    EXPECT_TRUE(cellShows(tag::RowChord, 0, ARP_CHORD_SHORT_STR[4]));

    plugin->setSteppedValue(tag::ArpMode, 9);
    show();
    for (int step : {0, 8, 15}) EXPECT_TRUE(cellShows(tag::RowChord, step, "----")) << step;

    const int chord = tag::arpStep(tag::RowChord, 0);
    const float before = value(chord);
    down(centre(tag::RowChord, 0));
    move(centre(tag::RowChord, 0) + CPoint(10, 0));
    up(centre(tag::RowChord, 0) + CPoint(10, 0));
    EXPECT_EQ(popups.popupCount(), 0);
    EXPECT_NEAR(value(chord), before + 0.05f, kEps);
}

TEST_F(ArpScreen, WheelStepsTheCellUnderItExceptOnTheRatchetRow) {
    const int velocity = tag::arpStep(tag::RowVelocity, 3);
    // Nothing picked yet: the ratchet row steps nothing.
    wheel(centre(tag::RowRatchet, 2), 1.0f);
    EXPECT_EQ(plugin->getSteppedValue(tag::arpStep(tag::RowRatchet, 2)), 0);
    EXPECT_EQ(grid->getSelectedArpTag(), -1);

    wheel(centre(tag::RowVelocity, 3), -1.0f);
    EXPECT_NEAR(value(velocity), 0.99f, kEps);
    EXPECT_EQ(grid->getSelectedArpTag(), velocity);
    wheel(centre(tag::RowVelocity, 3), -1.0f, kShift);
    EXPECT_NEAR(value(velocity), 0.989f, kEps);
    // Now the ratchet row steps the velocity picked last.
    wheel(centre(tag::RowRatchet, 6), -1.0f);
    EXPECT_NEAR(value(velocity), 0.979f, kEps);
    EXPECT_EQ(plugin->getSteppedValue(tag::arpStep(tag::RowRatchet, 6)), 0);
    EXPECT_EQ(grid->getLastStep(), 6);
    EXPECT_EQ(grid->getLastRow(), tag::RowRatchet);

    // A switch goes off for a turn towards the user.
    wheel(centre(tag::RowOn, 5), -1.0f);
    EXPECT_FLOAT_EQ(value(tag::arpStep(tag::RowOn, 5)), 0.0f);
    // A stepped cell moves one step.
    wheel(centre(tag::RowChord, 5), 1.0f);
    EXPECT_EQ(plugin->getSteppedValue(tag::arpStep(tag::RowChord, 5)), 1);
}

TEST_F(ArpScreen, LockedSectionsIgnoreClicksButNotTheWheelOrTheLockedValues) {
    const int on = tag::arpStep(tag::RowOn, 0);
    const int velocity = tag::arpStep(tag::RowVelocity, 0);
    plugin->setLockState(2, 1);
    ASSERT_TRUE(plugin->getArpOrPlayLocked());
    click(centre(tag::RowOn, 0));
    EXPECT_FLOAT_EQ(value(on), 1.0f);
    float snapshot = 0.0f;
    EXPECT_FALSE(ui().getArpUndo(on, snapshot));
    CPoint p = centre(tag::RowVelocity, 0);
    EXPECT_EQ(grid->onMouseDown(p, kLButton), kMouseDownEventHandledButDontNeedMovedOrUpEvents);

    // The grid shows the locked copy.
    set(velocity, 0.5f);
    show();
    EXPECT_TRUE(cellShows(tag::RowVelocity, 0, "127"));
    EXPECT_FLOAT_EQ(grid->getArpValue(velocity), 1.0f);
    wheel(centre(tag::RowVelocity, 0), 1.0f);
    EXPECT_NEAR(value(velocity), 0.51f, kEps);

    plugin->setLockState(2, 0);
    plugin->setLockState(1, 1);
    click(centre(tag::RowOn, 0));
    EXPECT_FLOAT_EQ(value(on), 1.0f) << "the play lock blocks the grid too";
    plugin->setLockState(1, 0);
    click(centre(tag::RowOn, 0));
    EXPECT_FLOAT_EQ(value(on), 0.0f);
}

TEST_F(ArpScreen, HoverGettersFindStepAndRow) {
    const int left = static_cast<int>(view.left), top = static_cast<int>(view.top);
    EXPECT_EQ(grid->getArpStep(left), 0);
    EXPECT_EQ(grid->getArpStep(left + 31), 1);
    EXPECT_EQ(grid->getArpStep(left - 40), 0);
    EXPECT_EQ(grid->getArpStep(left + 2000), 15);
    EXPECT_EQ(grid->getArpRow(top + 19), 0);
    EXPECT_EQ(grid->getArpRow(top + 19 + 21), 1);
    EXPECT_EQ(grid->getArpRow(top + 10), 0) << "truncated toward zero";
    EXPECT_EQ(grid->getArpRow(top - 5), -1);
    EXPECT_EQ(grid->getArpRow(top + 187), 8);
}

// ------------------------------------------------------------------ both

TEST_F(EnvScreen, ScreensDrawNothingWithoutAnOpenEditorClampSizesAndCopyTheirState) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 600, 400);
    {
        TEnvScreen env(kEnvRect, nullptr, 0, 4, 5, 6, 7, false, 0);
        TArpScreen arp(CRect(0, 0, 490, 188), nullptr, 0);
        CDrawContext context(surface);
        env.setDirty(true);
        env.draw(&context);
        arp.draw(&context);
    }
    cairo_surface_flush(surface);
    int painted = 0;
    for (int y = 0; y < 400; y += 2)
        for (int x = 0; x < 600; x += 2)
            if (Testing::pixelAt(surface, x, y).alpha != 0) ++painted;
    cairo_surface_destroy(surface);
    EXPECT_EQ(painted, 0);

    EXPECT_EQ(TEnvScreen(kEnvRect, nullptr, 0, 4, 5, 6, 7, false, -1).getSizeIndex(), 0);
    EXPECT_EQ(TEnvScreen(kEnvRect, nullptr, 0, 4, 5, 6, 7, false, 7).getSizeIndex(), 3);
    EXPECT_EQ(TArpScreen(kEnvRect, nullptr, -1).getSizeIndex(), 0);
    EXPECT_EQ(TArpScreen(kEnvRect, nullptr, 7).getSizeIndex(), 3);

    setEnvelope(tag::AmpEnvAttack, 0.5f, 0.5f, 0.5f, 0.5f);
    TEnvScreen* env = makeEnv(0, true);
    click({100 + 143, 130});
    CView* copy = env->newCopy();
    auto* envCopy = dynamic_cast<TEnvScreen*>(copy);
    ASSERT_NE(envCopy, nullptr);
    EXPECT_EQ(envCopy->getSelectedEnvTag(), tag::AmpEnvRelease);
    EXPECT_TRUE(envCopy->getDecaySustain());
    EXPECT_EQ(envCopy->getTag(), NO_PARAM_TAG);
    EXPECT_EQ(envCopy->getViewSize(), kEnvRect);
    copy->forget();

    TArpScreen arp(CRect(0, 0, 490, 188), nullptr, 2);
    arp.setLedStep(3);
    CView* arpCopy = arp.newCopy();
    EXPECT_EQ(dynamic_cast<TArpScreen*>(arpCopy)->getLedPos(), 3);
    EXPECT_EQ(dynamic_cast<TArpScreen*>(arpCopy)->getSizeIndex(), 2);
    arpCopy->forget();
}

} // namespace
