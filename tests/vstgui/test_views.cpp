// The view tree of the GUI layer: mouse routing (capture, hit order, nested
// coordinates, double clicks), redrawing of dirty views by the frame's idle
// pass, reference counting, and the headless frame.

#include "vstgui/aeffguieditor.h"
#include "vstgui/cdrawcontext.h"
#include "vstgui/cframe.h"
#include "vstgui/testing.h"

#include <gtest/gtest.h>

#include <cairo.h>

#include <filesystem>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace VSTGUI;

namespace {

// A view that records the mouse events it gets and paints itself in one
// colour.
class ProbeView : public CView {
public:
    explicit ProbeView(const CRect& size, CMouseEventResult downAnswer = kMouseEventHandled,
                       CColor colour = kRedCColor)
        : CView(size), downAnswer(downAnswer), colour(colour) {}

    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override {
        downs.push_back(where);
        downButtons.push_back(buttons);
        return downAnswer;
    }
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState&) override {
        moves.push_back(where);
        return moveAnswer;
    }
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState&) override {
        ups.push_back(where);
        return kMouseEventHandled;
    }
    CMouseEventResult onMouseCancel() override {
        ++cancels;
        return kMouseEventHandled;
    }
    bool onWheel(const CPoint& where, const float& distance, const CButtonState&) override {
        wheels.push_back(where);
        wheelDistance = distance;
        return wheelAnswer;
    }
    int32_t onKeyDown(VstKeyCode& key) override {
        keys.push_back(key.character);
        return 1;
    }
    void draw(CDrawContext* context) override {
        context->setFillColor(colour);
        context->drawRect(getViewSize(), kDrawFilled);
    }

    CMouseEventResult downAnswer;
    CMouseEventResult moveAnswer = kMouseEventHandled;
    bool wheelAnswer = true;
    CColor colour;
    std::vector<CPoint> downs, moves, ups, wheels;
    std::vector<CButtonState> downButtons;
    std::vector<int32_t> keys;
    float wheelDistance = 0;
    int cancels = 0;
};

// A headless frame, closed (and so released) at the end of the test.
struct Headless {
    explicit Headless(CCoord width = 400, CCoord height = 300)
        : frame(new CFrame(CRect(0, 0, width, height), nullptr)) {
        frame->open(nullptr);
    }
    ~Headless() {
        if (frame != nullptr) frame->close();
    }
    Headless(const Headless&) = delete;
    Headless& operator=(const Headless&) = delete;

    CFrame* frame;
};

// The layer's clock, driven by the test.
struct FakeClock {
    FakeClock() {
        Testing::setClock([this] { return now; });
    }
    ~FakeClock() { Testing::resetClock(); }
    uint32_t now = 100000;
};

} // namespace

// ------------------------------------------------------------------ mouse routing

TEST(GuiLayerMouse, CapturedViewGetsMovesAndUpInItsCoordinatesEvenOutsideItsRect) {
    Headless h;
    auto* page = new CViewContainer(CRect(50, 40, 250, 240));
    auto* knob = new ProbeView(CRect(10, 10, 30, 30));
    page->addView(knob);
    h.frame->addView(page);

    Testing::mouseDown(h.frame, CPoint(65, 55));
    ASSERT_EQ(knob->downs.size(), 1u);
    EXPECT_EQ(knob->downs[0], CPoint(15, 15));
    EXPECT_EQ(h.frame->getMouseDownView(), page);
    EXPECT_EQ(page->getMouseDownView(), knob);

    // Far outside the knob and outside the page: still the knob's.
    Testing::mouseMove(h.frame, CPoint(0, 0));
    Testing::mouseMove(h.frame, CPoint(390, 290));
    Testing::mouseUp(h.frame, CPoint(300, 5));
    ASSERT_EQ(knob->moves.size(), 2u);
    EXPECT_EQ(knob->moves[0], CPoint(-50, -40));
    EXPECT_EQ(knob->moves[1], CPoint(340, 250));
    ASSERT_EQ(knob->ups.size(), 1u);
    EXPECT_EQ(knob->ups[0], CPoint(250, -35));
    EXPECT_EQ(page->getMouseDownView(), nullptr);

    // After the up the capture is over: a move elsewhere does not reach it.
    Testing::mouseMove(h.frame, CPoint(390, 290));
    EXPECT_EQ(knob->moves.size(), 2u);
    EXPECT_EQ(knob->cancels, 0);
}

TEST(GuiLayerMouse, ViewThatWantsNoFurtherEventsGetsNoMovesOrUp) {
    Headless h;
    auto* button =
        new ProbeView(CRect(10, 10, 30, 30), kMouseDownEventHandledButDontNeedMovedOrUpEvents);
    auto* below = new ProbeView(CRect(0, 0, 100, 100));
    h.frame->addView(below);
    h.frame->addView(button);

    Testing::mouseDown(h.frame, CPoint(20, 20));
    Testing::mouseMove(h.frame, CPoint(200, 200));
    Testing::mouseUp(h.frame, CPoint(200, 200));
    EXPECT_EQ(button->downs.size(), 1u);
    EXPECT_TRUE(button->moves.empty());
    EXPECT_TRUE(button->ups.empty());
    // The click ended with it: the view below saw nothing.
    EXPECT_TRUE(below->downs.empty());
    EXPECT_EQ(h.frame->getMouseDownView(), nullptr);
}

TEST(GuiLayerMouse, MoveAnswerEndsTheCapture) {
    for (CMouseEventResult answer :
         {kMouseEventNotHandled, kMouseMoveEventHandledButDontNeedMoreEvents}) {
        Headless h;
        auto* view = new ProbeView(CRect(10, 10, 30, 30));
        view->moveAnswer = answer;
        h.frame->addView(view);
        Testing::mouseDown(h.frame, CPoint(20, 20));
        Testing::mouseMove(h.frame, CPoint(300, 200));
        Testing::mouseMove(h.frame, CPoint(310, 200));
        Testing::mouseUp(h.frame, CPoint(310, 200));
        EXPECT_EQ(view->moves.size(), 1u) << answer;
        EXPECT_TRUE(view->ups.empty()) << answer;
    }
}

TEST(GuiLayerMouse, LastAddedViewUnderThePointWins) {
    Headless h;
    auto* first = new ProbeView(CRect(0, 0, 100, 100));
    auto* second = new ProbeView(CRect(50, 50, 150, 150));
    h.frame->addView(first);
    h.frame->addView(second);

    Testing::click(h.frame, CPoint(75, 75));
    EXPECT_TRUE(first->downs.empty());
    EXPECT_EQ(second->downs.size(), 1u);
    EXPECT_EQ(h.frame->getViewAt(CPoint(75, 75)), second);

    // Outside the overlap the first view is the only one there.
    Testing::click(h.frame, CPoint(25, 25));
    EXPECT_EQ(first->downs.size(), 1u);
    EXPECT_EQ(second->downs.size(), 1u);

    // A view that declines passes the click to the one below; an invisible
    // view is not offered it at all.
    second->downAnswer = kMouseEventNotHandled;
    Testing::click(h.frame, CPoint(75, 75));
    EXPECT_EQ(second->downs.size(), 2u);
    EXPECT_EQ(first->downs.size(), 2u);

    second->downAnswer = kMouseEventHandled;
    second->setVisible(false);
    Testing::click(h.frame, CPoint(75, 75));
    EXPECT_EQ(second->downs.size(), 2u);
    EXPECT_EQ(first->downs.size(), 3u);
    EXPECT_EQ(h.frame->getViewAt(CPoint(75, 75)), first);

    // The mouse-enabled flag is the view's own business: it is still offered
    // the click.
    second->setVisible(true);
    second->setMouseEnabled(false);
    Testing::click(h.frame, CPoint(75, 75));
    EXPECT_EQ(second->downs.size(), 3u);
}

TEST(GuiLayerMouse, ClickReachesViewInNestedContainersAtItsLocalPoint) {
    Headless h;
    auto* outer = new CViewContainer(CRect(100, 50, 300, 250));
    auto* inner = new CViewContainer(CRect(20, 30, 120, 130));
    auto* view = new ProbeView(CRect(5, 5, 25, 25));
    inner->addView(view);
    outer->addView(inner);
    h.frame->addView(outer);

    EXPECT_EQ(view->getFrameRect(), CRect(125, 85, 145, 105));
    CPoint p(10, 12);
    EXPECT_EQ(view->localToFrame(p), CPoint(130, 92));
    EXPECT_EQ(view->frameToLocal(p), CPoint(10, 12));
    EXPECT_EQ(view->getFrame(), h.frame);

    Testing::click(h.frame, CPoint(130, 92));
    ASSERT_EQ(view->downs.size(), 1u);
    EXPECT_EQ(view->downs[0], CPoint(10, 12));
    ASSERT_EQ(view->ups.size(), 1u);
    EXPECT_EQ(view->ups[0], CPoint(10, 12));

    // Just left of the view, inside the inner container: nobody takes it.
    Testing::click(h.frame, CPoint(124, 92));
    EXPECT_EQ(view->downs.size(), 1u);
}

TEST(GuiLayerMouse, NewMouseDownCancelsAStaleCapture) {
    Headless h;
    auto* a = new ProbeView(CRect(0, 0, 50, 50));
    auto* b = new ProbeView(CRect(100, 0, 150, 50));
    h.frame->addView(a);
    h.frame->addView(b);

    Testing::mouseDown(h.frame, CPoint(10, 10)); // the up never comes
    EXPECT_EQ(h.frame->getMouseDownView(), a);
    Testing::mouseDown(h.frame, CPoint(110, 10));
    EXPECT_EQ(a->cancels, 1);
    EXPECT_EQ(h.frame->getMouseDownView(), b);
    Testing::mouseUp(h.frame, CPoint(110, 10));
    EXPECT_TRUE(a->ups.empty());
    EXPECT_EQ(b->ups.size(), 1u);
    EXPECT_EQ(b->cancels, 0);
}

TEST(GuiLayerMouse, RemovingTheCapturedViewMidDragIsSafe) {
    Headless h;
    auto* page = new CViewContainer(CRect(0, 0, 200, 200));
    auto* deep = new ProbeView(CRect(10, 10, 40, 40));
    auto* top = new ProbeView(CRect(300, 10, 340, 40));
    page->addView(deep);
    h.frame->addView(page);
    h.frame->addView(top);

    // Captured directly by the frame, then released.
    Testing::mouseDown(h.frame, CPoint(310, 20));
    EXPECT_TRUE(h.frame->removeView(top, true));
    EXPECT_EQ(h.frame->getMouseDownView(), nullptr);
    Testing::mouseMove(h.frame, CPoint(320, 30));
    Testing::mouseUp(h.frame, CPoint(320, 30));

    // Captured inside a container, removed from there and released.
    Testing::mouseDown(h.frame, CPoint(20, 20));
    EXPECT_EQ(page->getMouseDownView(), deep);
    EXPECT_TRUE(page->removeView(deep, true));
    EXPECT_EQ(page->getMouseDownView(), nullptr);
    Testing::mouseMove(h.frame, CPoint(25, 25));
    Testing::mouseUp(h.frame, CPoint(25, 25));
    EXPECT_EQ(h.frame->getMouseDownView(), nullptr);
}

TEST(GuiLayerMouse, DoubleClickWithin400MsAnd4Pixels) {
    FakeClock clock;
    Headless h;
    auto* view = new ProbeView(CRect(0, 0, 100, 100));
    h.frame->addView(view);
    auto lastWasDouble = [&] { return view->downButtons.back().isDoubleClick(); };

    Testing::click(h.frame, CPoint(20, 20));
    EXPECT_FALSE(lastWasDouble());
    clock.now += 400;
    Testing::click(h.frame, CPoint(24, 16));
    EXPECT_TRUE(lastWasDouble());
    EXPECT_TRUE(view->downButtons.back().isLeftButton());

    // A third click does not make a second double click.
    clock.now += 100;
    Testing::click(h.frame, CPoint(24, 16));
    EXPECT_FALSE(lastWasDouble());

    clock.now += 401;
    Testing::click(h.frame, CPoint(24, 16));
    EXPECT_FALSE(lastWasDouble());

    clock.now += 1000;
    Testing::click(h.frame, CPoint(50, 50));
    clock.now += 10;
    Testing::click(h.frame, CPoint(55, 50));
    EXPECT_FALSE(lastWasDouble()) << "5 pixels away";

    clock.now += 1000;
    Testing::click(h.frame, CPoint(50, 50), kLButton);
    clock.now += 10;
    Testing::click(h.frame, CPoint(50, 50), kRButton);
    EXPECT_FALSE(lastWasDouble()) << "another button";
}

TEST(GuiLayerMouse, WheelGoesToTheViewUnderThePoint) {
    Headless h;
    auto* below = new ProbeView(CRect(0, 0, 100, 100));
    auto* above = new ProbeView(CRect(50, 50, 100, 100));
    above->wheelAnswer = false;
    auto* page = new CViewContainer(CRect(200, 0, 300, 100));
    auto* inPage = new ProbeView(CRect(10, 10, 30, 30));
    page->addView(inPage);
    h.frame->addView(below);
    h.frame->addView(above);
    h.frame->addView(page);

    // The top view declines, so the one below gets it.
    Testing::wheel(h.frame, CPoint(60, 60), 1.5f);
    EXPECT_EQ(above->wheels.size(), 1u);
    ASSERT_EQ(below->wheels.size(), 1u);
    EXPECT_FLOAT_EQ(below->wheelDistance, 1.5f);

    Testing::wheel(h.frame, CPoint(215, 20), -1);
    ASSERT_EQ(inPage->wheels.size(), 1u);
    EXPECT_EQ(inPage->wheels[0], CPoint(15, 20));

    // The horizontal axis does not reach the vertical-wheel handler.
    h.frame->platformOnWheel(CPoint(215, 20), kMouseWheelAxisX, 1, 0);
    EXPECT_EQ(inPage->wheels.size(), 1u);
}

// ------------------------------------------------------------------ keyboard

TEST(GuiLayerKeys, HooksSeeKeysBeforeTheFocusedView) {
    struct Hook : IKeyboardHook {
        int32_t answer = -1;
        int seen = 0;
        int32_t onKeyDown(const VstKeyCode&, CFrame*) override {
            ++seen;
            return answer;
        }
        int32_t onKeyUp(const VstKeyCode&, CFrame*) override { return -1; }
    } hook;
    Headless h;
    auto* view = new ProbeView(CRect(0, 0, 10, 10));
    h.frame->addView(view);
    h.frame->registerKeyboardHook(&hook);

    VstKeyCode key{'a', 0, 0};
    EXPECT_FALSE(Testing::keyDown(h.frame, key)) << "no focus, hook passes";
    h.frame->setFocusView(view);
    EXPECT_TRUE(Testing::keyDown(h.frame, key));
    EXPECT_EQ(view->keys.size(), 1u);
    hook.answer = 1;
    EXPECT_TRUE(Testing::keyDown(h.frame, key));
    EXPECT_EQ(view->keys.size(), 1u) << "consumed by the hook";
    EXPECT_EQ(hook.seen, 3);

    // Removing the focused view drops the focus.
    h.frame->removeView(view, true);
    EXPECT_EQ(h.frame->getFocusView(), nullptr);
    h.frame->unregisterKeyboardHook(&hook);
}

// ------------------------------------------------------------------ redrawing

TEST(GuiLayerRedraw, DirtyMarkFromAnotherThreadRedrawsTheViewOnce) {
    Headless h;
    auto* page = new CViewContainer(CRect(100, 100, 300, 300));
    auto* view = new ProbeView(CRect(10, 10, 50, 50));
    auto* neighbour = new ProbeView(CRect(60, 10, 100, 50));
    auto* elsewhere = new ProbeView(CRect(0, 0, 40, 40));
    page->addView(view);
    page->addView(neighbour);
    h.frame->addView(page);
    h.frame->addView(elsewhere);
    h.frame->idle(); // the first pass draws everything
    EXPECT_EQ(view->getDrawCount(), 1u);
    EXPECT_FALSE(view->isDirty());

    const uint32_t before = view->getDrawCount();
    std::thread audio([view] { view->setDirty(true); });
    audio.join();
    h.frame->idle();
    EXPECT_EQ(view->getDrawCount(), before + 1);
    EXPECT_FALSE(view->isDirty());
    EXPECT_EQ(neighbour->getDrawCount(), 1u);
    EXPECT_EQ(elsewhere->getDrawCount(), 1u);

    h.frame->idle();
    EXPECT_EQ(view->getDrawCount(), before + 1);

    // Two overlapping dirty views: each is drawn once.
    auto* overlap = new ProbeView(CRect(30, 30, 80, 80), kMouseEventHandled, kBlueCColor);
    page->addView(overlap);
    view->setDirty();
    h.frame->idle();
    EXPECT_EQ(view->getDrawCount(), before + 2);
    EXPECT_EQ(overlap->getDrawCount(), 1u);
    EXPECT_EQ(neighbour->getDrawCount(), 2u) << "it overlaps the new view";

    // Pixels: the overlapping view is on top of the first one.
    EXPECT_EQ(Testing::pixelAt(h.frame, 100 + 35, 100 + 35), kBlueCColor);
    EXPECT_EQ(Testing::pixelAt(h.frame, 100 + 15, 100 + 15), kRedCColor);
}

TEST(GuiLayerRedraw, RemovedAndHiddenViewsLeaveTheBackgroundBehind) {
    Headless h(100, 100);
    h.frame->setBackgroundColor(kGreenCColor);
    auto* view = new ProbeView(CRect(10, 10, 30, 30));
    auto* other = new ProbeView(CRect(50, 50, 70, 70));
    h.frame->addView(view);
    h.frame->addView(other);
    h.frame->idle();
    EXPECT_EQ(Testing::pixelAt(h.frame, 20, 20), kRedCColor);
    EXPECT_EQ(Testing::pixelAt(h.frame, 60, 60), kRedCColor);
    EXPECT_EQ(Testing::pixelAt(h.frame, 40, 40), kGreenCColor);

    h.frame->removeView(view, true);
    other->setVisible(false);
    h.frame->idle();
    EXPECT_EQ(Testing::pixelAt(h.frame, 20, 20), kGreenCColor);
    EXPECT_EQ(Testing::pixelAt(h.frame, 60, 60), kGreenCColor);

    // invalidNow paints at once, without an idle pass.
    other->setVisible(true);
    other->invalidNow();
    EXPECT_EQ(Testing::pixelAt(h.frame, 60, 60), kRedCColor);
    EXPECT_FALSE(other->isDirty());
}

// ------------------------------------------------------------------ lifetime

TEST(GuiLayerLifetime, ClosingAFrameReleasesEveryObject) {
    const int64_t before = Testing::liveObjects();
    {
        auto* frame = new CFrame(CRect(0, 0, 200, 100), nullptr);
        ASSERT_TRUE(frame->open(nullptr));
        auto* page = new CViewContainer(CRect(10, 10, 110, 90));
        auto* background = new CBitmap(100, 80);
        page->setBackground(background);
        background->forget(); // the container keeps its own reference
        page->addView(new ProbeView(CRect(0, 0, 10, 10)));
        page->addView(new ProbeView(CRect(20, 0, 30, 10)));
        frame->addView(page);
        frame->addView(new ProbeView(CRect(150, 10, 160, 20)));

        // A view removed without forget stays the caller's.
        auto* kept = new ProbeView(CRect(170, 10, 180, 20));
        frame->addView(kept);
        EXPECT_EQ(kept->getNbReference(), 1);
        frame->removeView(kept, false);
        EXPECT_FALSE(kept->isAttached());
        auto* copy = new CView(*kept);
        EXPECT_GT(Testing::liveObjects(), before + 6);
        copy->forget();
        kept->forget();

        Testing::click(frame, CPoint(15, 15));
        frame->idle();
        frame->close();
    }
    EXPECT_EQ(Testing::liveObjects(), before);
}

TEST(GuiLayerFrame, HeadlessFrameOpensDrawsAndWritesAPng) {
    Headless h(64, 48);
    EXPECT_TRUE(h.frame->isOpen());
    EXPECT_TRUE(h.frame->isHeadless());
    EXPECT_EQ(h.frame->getPlatformWindow(), nullptr);
    ASSERT_NE(h.frame->getOffscreenSurface(), nullptr);

    h.frame->setBackgroundColor(kBlueCColor);
    auto* page = new CViewContainer(CRect(8, 8, 40, 40));
    page->addView(new ProbeView(CRect(4, 4, 12, 12), kMouseEventHandled, kYellowCColor));
    h.frame->addView(page);
    h.frame->redrawAll();
    EXPECT_EQ(Testing::pixelAt(h.frame, 2, 2), kBlueCColor);
    EXPECT_EQ(Testing::pixelAt(h.frame, 12, 12), kYellowCColor);
    EXPECT_EQ(Testing::pixelAt(h.frame, 19, 19), kYellowCColor);
    EXPECT_EQ(Testing::pixelAt(h.frame, 20, 20), kBlueCColor);

    const auto path = std::filesystem::temp_directory_path() /
                      ("ondix_headless_" + std::to_string(::getpid()) + ".png");
    ASSERT_TRUE(Testing::writePng(h.frame, path.string()));
    cairo_surface_t* png = cairo_image_surface_create_from_png(path.string().c_str());
    ASSERT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(cairo_image_surface_get_width(png), 64);
    EXPECT_EQ(cairo_image_surface_get_height(png), 48);
    EXPECT_EQ(Testing::pixelAt(png, 12, 12), kYellowCColor);
    cairo_surface_destroy(png);
    std::filesystem::remove(path);

    // Without a window system every popup is dismissed.
    const IPopupProvider::Result result =
        h.frame->getPopupProvider()->popup(nullptr, h.frame, CPoint(10, 10));
    EXPECT_EQ(result.menu, nullptr);
    EXPECT_EQ(result.index, -1);
}

TEST(GuiLayerFrame, OpenOnAnInvalidParentWindowFails) {
    auto* frame = new CFrame(CRect(0, 0, 50, 50), nullptr);
    // Not a window of any display: the frame must stay closed and intact.
    EXPECT_FALSE(frame->open(reinterpret_cast<void*>(static_cast<uintptr_t>(0x7ffffff0))));
    EXPECT_FALSE(frame->isOpen());
    EXPECT_EQ(frame->getOffscreenSurface(), nullptr);
    frame->forget();
}

TEST(GuiLayerFrame, EditorForwardsKnobModeAndEditGestures) {
    struct Editor : VSTGUIEditorInterface {
        std::vector<int32_t> begun, ended;
        void beginEdit(int32_t index) override { begun.push_back(index); }
        void endEdit(int32_t index) override { ended.push_back(index); }
    } editor;
    auto* frame = new CFrame(CRect(0, 0, 10, 10), &editor);
    frame->beginEdit(7);
    frame->endEdit(7);
    EXPECT_EQ(editor.begun, std::vector<int32_t>{7});
    EXPECT_EQ(editor.ended, std::vector<int32_t>{7});
    EXPECT_EQ(frame->getEditor(), &editor);

    auto* view = new CView(CRect(0, 0, 5, 5));
    frame->addView(view);
    EXPECT_EQ(view->getEditor(), &editor);

    AEffGUIEditor guiEditor(nullptr);
    const int32_t previous = frame->getKnobMode();
    EXPECT_TRUE(guiEditor.setKnobMode(kLinearMode));
    EXPECT_EQ(frame->getKnobMode(), kLinearMode);
    guiEditor.setKnobMode(previous);
    EXPECT_FALSE(guiEditor.isOpen());
    ERect* rect = nullptr;
    EXPECT_TRUE(guiEditor.getRect(&rect));
    EXPECT_NE(rect, nullptr);
    frame->forget();
}

TEST(GuiLayerViews, TooltipIsStoredAsTextWithItsTerminator) {
    CView view(CRect(0, 0, 10, 10));
    view.setTooltipText("Cutoff : 50");
    uint32_t size = 0;
    ASSERT_TRUE(view.getAttributeSize(kCViewTooltipAttribute, size));
    EXPECT_EQ(size, 12u);
    char text[32] = {};
    uint32_t got = 0;
    EXPECT_FALSE(view.getAttribute(kCViewTooltipAttribute, 4, text, got)) << "buffer too small";
    ASSERT_TRUE(view.getAttribute(kCViewTooltipAttribute, sizeof(text), text, got));
    EXPECT_STREQ(text, "Cutoff : 50");
    EXPECT_EQ(view.getTooltipText(), "Cutoff : 50");
    view.setTooltipText(nullptr);
    EXPECT_FALSE(view.getAttributeSize(kCViewTooltipAttribute, size));
}
