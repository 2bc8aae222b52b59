// The editor in a real host window, on a private Xvfb server.

#include "core/aplugin.h"
#include "editor/ueditor.h"
#include "support/fake_host.h"
#include "support/temp_prefs.h"
#include "support/xvfb_test.h"
#include "vstgui/testing.h"

#include <memory>

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
