// The editor in a real host window, on a private Xvfb server.

#include "controls/tknob.h"
#include "core/aplugin.h"
#include "editor/ueditor.h"
#include "support/fake_host.h"
#include "support/temp_prefs.h"
#include "support/xvfb_test.h"
#include "vstgui/testing.h"

#include <atomic>
#include <latch>
#include <memory>
#include <thread>
#include <vector>

using namespace VSTGUI;

namespace {

class ClickProbe : public CView {
public:
    ClickProbe() : CView(CRect(300, 200, 400, 260)) {}
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override {
        downs.push_back(where);
        lastButtons = buttons;
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }
    std::vector<CPoint> downs;
    int32_t lastButtons = 0;
};

class GuiEditorWindow : public XvfbTest {
protected:
    TempPrefs prefs;
    FakeHost host;

    // The override-redirect children of the root window that are mapped
    // (tooltips and menus).
    std::vector<Window> mappedPopups() {
        XSync(dpy, False);
        Window root = 0, up = 0, *children = nullptr;
        unsigned count = 0;
        std::vector<Window> found;
        if (!XQueryTree(dpy, DefaultRootWindow(dpy), &root, &up, &children, &count)) return found;
        for (unsigned i = 0; i < count; ++i) {
            XWindowAttributes attributes{};
            if (XGetWindowAttributes(dpy, children[i], &attributes) &&
                attributes.override_redirect && attributes.map_state == IsViewable)
                found.push_back(children[i]);
        }
        if (children) XFree(children);
        return found;
    }
    // The host's idle calls for ms milliseconds, or until done().
    static bool idleFor(AEffect* effect, int ms, const std::function<bool()>& done) {
        const auto end = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < end) {
            effect->dispatcher(effect, effEditIdle, 0, 0, nullptr, 0);
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
};

} // namespace

TEST_F(GuiEditorWindow, HostWindowGetsAChildOfTheEditorsSizeAndClicksReachTheFrame) {
    saveStringToPrefs("Big125", "Y");
    auto plugin = std::make_unique<APlugin>(FakeHost::callback);
    AEffect* effect = plugin->getAeffect();
    ERect* rect = nullptr;
    ASSERT_EQ(effect->dispatcher(effect, effEditGetRect, 0, 0, &rect, 0), 1);
    ASSERT_EQ(rect->right, 1415);

    // The host makes a window of the editor's size and passes its id.
    XDestroyWindow(dpy, parent);
    parent =
        makeParent(0, 0, static_cast<unsigned>(rect->right), static_cast<unsigned>(rect->bottom));
    void* id = reinterpret_cast<void*>(static_cast<uintptr_t>(parent));
    ASSERT_EQ(effect->dispatcher(effect, effEditOpen, 0, 0, id, 0), 1);

    uEditor& ui = *plugin->getUEditor();
    CFrame* frame = ui.frameForTests();
    ASSERT_NE(frame, nullptr);
    ASSERT_FALSE(frame->isHeadless());
    const Window child = childOf(frame);
    XWindowAttributes attributes{};
    ASSERT_TRUE(XGetWindowAttributes(dpy, child, &attributes));
    EXPECT_EQ(attributes.width, 1415);
    EXPECT_EQ(attributes.height, 973);
    Window root = 0, parentOfChild = 0, *children = nullptr;
    unsigned count = 0;
    ASSERT_TRUE(XQueryTree(dpy, child, &root, &parentOfChild, &children, &count));
    if (children) XFree(children);
    EXPECT_EQ(parentOfChild, parent);

    auto* probe = new ClickProbe;
    frame->addView(probe);
    sendButton(child, ButtonPress, 1, 310, 215, ShiftMask);
    sendButton(child, ButtonRelease, 1, 310, 215, ShiftMask);
    EXPECT_TRUE(idleUntil(frame, [&] { return !probe->downs.empty(); }));
    ASSERT_EQ(probe->downs.size(), 1u);
    EXPECT_EQ(probe->downs[0], CPoint(310, 215));
    EXPECT_EQ(probe->lastButtons, kLButton | kShift);

    // The editor's idle pumps the window too.
    sendButton(child, ButtonPress, 3, 320, 230, 0);
    for (int i = 0; i < 100 && probe->downs.size() < 2; ++i) {
        effect->dispatcher(effect, effEditIdle, 0, 0, nullptr, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(probe->downs.size(), 2u);
    EXPECT_EQ(probe->lastButtons, kRButton);

    effect->dispatcher(effect, effEditClose, 0, 0, nullptr, 0);
    probe->forget();
    XSync(dpy, False);
    EXPECT_FALSE(XGetWindowAttributes(dpy, parent, &attributes) == 0); // the host's window stays
}

TEST_F(GuiEditorWindow, ABadParentFailsAndLeavesTheEditorClosed) {
    auto plugin = std::make_unique<APlugin>(FakeHost::callback);
    AEffect* effect = plugin->getAeffect();
    const int64_t before = Testing::liveObjects();
    void* bogus = reinterpret_cast<void*>(static_cast<uintptr_t>(0x7ffffff));
    EXPECT_EQ(effect->dispatcher(effect, effEditOpen, 0, 0, bogus, 0), 0);
    EXPECT_FALSE(plugin->getUEditor()->isOpen());
    EXPECT_FALSE(plugin->core.editorOpened);
    EXPECT_FALSE(plugin->core.editorOpening);
    EXPECT_EQ(Testing::liveObjects(), before);
    effect->dispatcher(effect, effEditIdle, 0, 0, nullptr, 0); // harmless
    effect->dispatcher(effect, effEditClose, 0, 0, nullptr, 0);
}

TEST_F(GuiEditorWindow, HoveringAKnobMapsATooltipWindowAndMovingAwayTakesItDown) {
    auto plugin = std::make_unique<APlugin>(FakeHost::callback);
    AEffect* effect = plugin->getAeffect();
    // The host's window, away from the screen's corner: the pointer can
    // leave it.
    XDestroyWindow(dpy, parent);
    parent = makeParent(200, 150, 1132, 779);
    void* id = reinterpret_cast<void*>(static_cast<uintptr_t>(parent));
    const Window root = DefaultRootWindow(dpy);
    XWarpPointer(dpy, None, root, 0, 0, 0, 0, 50, 50);
    ASSERT_EQ(effect->dispatcher(effect, effEditOpen, 0, 0, id, 0), 1);
    uEditor& ui = *plugin->getUEditor();
    ui.showMainScreen();
    const Window child = childOf(ui.frameForTests());
    auto shown = [&] { return !mappedPopups().empty(); };

    // A knob on the screen's part of the window.
    CPoint knob(-1, -1);
    for (TKnob* k : ui.getControls().main.knobs) {
        const CPoint c = k ? k->getFrameRect().getCenter() : CPoint(-1, -1);
        if (c.x > 0 && c.y > 0 && c.x + 200 < 700 && c.y + 150 < 650) {
            knob = c;
            break;
        }
    }
    ASSERT_GT(knob.x, 0);

    EXPECT_FALSE(idleFor(effect, 800, shown)) << "a tooltip at rest";
    XWarpPointer(dpy, None, child, 0, 0, 0, 0, static_cast<int>(knob.x), static_cast<int>(knob.y));
    XFlush(dpy);
    const auto start = Clock::now();
    ASSERT_TRUE(idleFor(effect, 2000, shown));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(500));
    const std::vector<Window> tooltips = mappedPopups();
    ASSERT_EQ(tooltips.size(), 1u);
    XWindowAttributes attributes{};
    ASSERT_TRUE(XGetWindowAttributes(dpy, tooltips[0], &attributes));
    // Below the pointer (at 200 + x, 150 + y on the screen), and not on it.
    EXPECT_GT(attributes.y, 150 + knob.y);
    EXPECT_LT(attributes.y, 150 + knob.y + 60);
    EXPECT_NEAR(attributes.x, 200 + knob.x, 2);
    EXPECT_GT(attributes.width, 40);
    EXPECT_GT(attributes.height, 8);

    // Out of the editor's window: gone, and it stays away.
    XWarpPointer(dpy, None, root, 0, 0, 0, 0, 50, 50);
    XFlush(dpy);
    EXPECT_TRUE(idleFor(effect, 1000, [&] { return !shown(); }));
    EXPECT_FALSE(idleFor(effect, 1000, shown));

    effect->dispatcher(effect, effEditClose, 0, 0, nullptr, 0);
    EXPECT_TRUE(mappedPopups().empty());
}

// Hosts that run each plug-in's window on a thread of its own: several
// threads at once create an instance through the VST entry and open, draw and
// close its editor, headless and in host windows. What the editors share (the
// stock fonts, the artwork) is counted and freed right (ThreadSanitizer finds
// races here).
TEST_F(GuiEditorWindow, EditorsOpenAndCloseOnSeveralThreadsAtOnce) {
    constexpr int kThreads = 4, kRounds = 3;
    for (const bool windowed : {false, true}) {
        SCOPED_TRACE(windowed ? "in host windows" : "headless");
        std::vector<Window> parents;
        for (int t = 0; t < kThreads; ++t)
            parents.push_back(windowed ? makeParent(10 * t, 10 * t, 1132, 779) : 0);
        const int64_t before = Testing::liveObjects();
        std::atomic<int> rounds{0}; // opened in the right kind of window, drawn, closed
        std::latch start(kThreads);
        std::vector<std::thread> threads;
        for (const Window parent : parents)
            threads.emplace_back([&, parent] {
                start.arrive_and_wait();
                AEffect* effect = ondixPluginEntry(FakeHost::callback);
                if (!effect) return;
                void* id = reinterpret_cast<void*>(static_cast<uintptr_t>(parent)); // 0: headless
                auto* ui = static_cast<APlugin*>(effect->object)->getUEditor();
                for (int round = 0; round < kRounds; ++round) {
                    if (effect->dispatcher(effect, effEditOpen, 0, 0, id, 0) != 1) break;
                    const bool inWindow = !ui->frameForTests()->isHeadless();
                    ui->showMainScreen();
                    ui->idleNow(); // the whole window, drawn with its fonts
                    effect->dispatcher(effect, effEditClose, 0, 0, nullptr, 0);
                    rounds += inWindow == windowed && !ui->isOpen() ? 1 : 0;
                }
                effect->dispatcher(effect, effClose, 0, 0, nullptr, 0);
            });
        for (std::thread& thread : threads) thread.join();
        EXPECT_EQ(rounds.load(), kThreads * kRounds);
        EXPECT_EQ(Testing::liveObjects(), before);
        for (Window window : parents)
            if (window) XDestroyWindow(dpy, window);
        XSync(dpy, False);
    }
}
