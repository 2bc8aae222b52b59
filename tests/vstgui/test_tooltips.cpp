// Tooltips of the frame, headless: when the text of the view under a
// resting pointer is shown, what it follows, and every way it goes away.
// Time passes only through the frame's idle passes on a hand-driven clock.
// Also where the X11 tooltip window goes on the screen.

#include "vstgui/cframe.h"
#include "vstgui/platform/x11_tooltip.h"
#include "vstgui/testing.h"

#include "support/manual_clock.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

using namespace VSTGUI;

namespace {

struct GuiTooltips : ::testing::Test {
    ManualClock clock;
    CFrame* frame = new CFrame(CRect(0, 0, 300, 200), nullptr);
    CViewContainer* page = new CViewContainer(CRect(100, 0, 300, 200));
    CView* a = new CView(CRect(10, 10, 90, 90)); // in the page: frame 110..190
    CView* b = new CView(CRect(0, 0, 90, 90));
    CView* plain = new CView(CRect(0, 100, 90, 190));
    const CPoint overA{150, 50};

    void SetUp() override {
        a->setTooltipText("Cutoff : 50");
        b->setTooltipText("Resonance : 10");
        page->addView(a);
        frame->addView(page);
        frame->addView(b);
        frame->addView(plain);
        ASSERT_TRUE(frame->open(nullptr));
        frame->enableTooltips(true);
    }
    void TearDown() override { frame->close(); }

    const CTooltipSupport& tips() { return frame->getTooltipSupport(); }
    void move(CPoint where, CButtonState buttons = CButtonState()) {
        Testing::mouseMove(frame, where, buttons);
    }
    // Idle passes 40 ms apart for ms milliseconds.
    void rest(uint32_t ms) {
        for (uint32_t t = 0; t < ms; t += 40) {
            clock.advance(40);
            frame->idle();
        }
    }
    std::string shown() { return tips().isVisible() ? tips().getText() : "(none)"; }
};

} // namespace

TEST_F(GuiTooltips, ShownAfterRestingFollowsItsTextAndNeverDuringADrag) {
    move(overA);
    rest(560);
    EXPECT_EQ(shown(), "(none)");
    rest(40);
    EXPECT_EQ(shown(), "Cutoff : 50");
    EXPECT_EQ(tips().getPosition(), overA);

    // The view's text changes while shown: the next pass shows it, where
    // it was. Moving within the view keeps it.
    a->setTooltipText("Cutoff : 75");
    move(overA + CPoint(20, 20));
    rest(40);
    EXPECT_EQ(shown(), "Cutoff : 75");
    EXPECT_EQ(tips().getPosition(), overA);

    // A view without text shows nothing, however long the pointer rests.
    move(CPoint(40, 150));
    rest(2000);
    EXPECT_EQ(shown(), "(none)");

    // With a button held (a drag) nothing shows; the first move after the
    // release starts the wait.
    Testing::mouseDown(frame, CPoint(40, 150));
    move(overA, kLButton);
    rest(2000);
    EXPECT_EQ(shown(), "(none)");
    Testing::mouseUp(frame, overA);
    rest(2000);
    EXPECT_EQ(shown(), "(none)");
    move(overA);
    rest(600);
    EXPECT_EQ(shown(), "Cutoff : 75");

    // Off: nothing, and what was shown goes.
    frame->enableTooltips(false);
    rest(40);
    EXPECT_EQ(shown(), "(none)");
    move(CPoint(40, 40));
    rest(2000);
    EXPECT_EQ(shown(), "(none)");
}

TEST_F(GuiTooltips, EachWayOfLeavingHidesIt) {
    struct Case {
        const char* name;
        std::function<void(GuiTooltips&)> leave;
        // Shown after resting 2 s more without moving.
        std::string later;
    };
    const Case cases[] = {
        {"move to another view", [](GuiTooltips& t) { t.move(CPoint(40, 40)); }, "Resonance : 10"},
        {"move to a view without text", [](GuiTooltips& t) { t.move(CPoint(40, 150)); }, "(none)"},
        {"move out of the frame", [](GuiTooltips& t) { t.frame->platformOnMouseExited(); },
         "(none)"},
        {"click", [](GuiTooltips& t) { Testing::click(t.frame, t.overA); }, "(none)"},
        {"key",
         [](GuiTooltips& t) {
             VstKeyCode key{};
             key.character = 'a';
             Testing::keyDown(t.frame, key);
         },
         "(none)"},
        {"wheel", [](GuiTooltips& t) { Testing::wheel(t.frame, t.overA, 1.0f); }, "(none)"},
        {"view removed", [](GuiTooltips& t) { t.page->removeView(t.a, false); }, "(none)"},
        {"text removed", [](GuiTooltips& t) { t.a->setTooltipText(nullptr); }, "(none)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!a->isAttached()) page->addView(a);
        a->setTooltipText("Cutoff : 50");
        move(CPoint(40, 150));
        rest(40);
        move(overA);
        rest(600);
        ASSERT_EQ(shown(), "Cutoff : 50");
        c.leave(*this);
        rest(40);
        EXPECT_EQ(shown(), "(none)");
        rest(560);
        rest(2000);
        EXPECT_EQ(shown(), c.later);
    }
    // After a click, moving again within the view starts the wait afresh.
    a->setTooltipText("Cutoff : 50");
    move(CPoint(40, 150));
    move(overA);
    rest(600);
    ASSERT_EQ(shown(), "Cutoff : 50");
    Testing::click(frame, overA);
    move(overA + CPoint(1, 0));
    rest(560);
    EXPECT_EQ(shown(), "(none)");
    rest(40);
    EXPECT_EQ(shown(), "Cutoff : 50");
}

TEST(GuiX11TooltipPlace, BelowThePointerAndOnTheScreen) {
    struct Case {
        CPoint pointer;
        CPoint expected;
    };
    // A 120 x 20 tooltip, 20 px below the pointer, on a 1024 x 768 screen.
    const Case cases[] = {
        {{300, 200}, {300, 220}}, // below, left edge at the pointer
        {{980, 200}, {904, 220}}, // moved left to stay on the screen
        {{300, 740}, {300, 716}}, // no room below: above the pointer
        {{1023, 767}, {904, 743}}, {{-5, 0}, {0, 20}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(X11::placeTooltip(c.pointer, 120, 20, 20, 1024, 768), c.expected)
            << c.pointer.x << "," << c.pointer.y;
    // The size and the gap grow with the text.
    EXPECT_LT(X11::tooltipSize(100, 12, 10).y, X11::tooltipSize(180, 22, 18).y);
    EXPECT_EQ(X11::tooltipGap(10), 20);
    EXPECT_EQ(X11::tooltipGap(18), 27);
}
