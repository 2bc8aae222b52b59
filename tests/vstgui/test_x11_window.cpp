// The X11 window system layer: key and button translation and the popup
// menu layout headless; the child window, its input, its pixels and the
// popup menus on a private Xvfb server (skipped when Xvfb cannot start).

#include "audiounit/appkit.h"
#include "platform/dialog_service.h"
#include "vstgui/cfileselector.h"
#include "vstgui/cframe.h"
#include "vstgui/coptionmenu.h"
#include "vstgui/cview.h"
#include "vstgui/platform/platform_window.h"
#include "vstgui/platform/x11_keys.h"
#include "vstgui/platform/x11_popup.h"

#include "support/xvfb_test.h"
// After gtest: Xlib defines None and Bool.
#include "vstgui/platform/x11_display.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

namespace {

using namespace VSTGUI;
using Clock = std::chrono::steady_clock;

// ------------------------------------------------------------------ keys and buttons

TEST(GuiX11Keys, NavigationAndFunctionKeysGetVirtualCodes) {
    struct Case {
        unsigned long keysym;
        unsigned char virt;
    };
    const Case cases[] = {
        {XK_Up, VKEY_UP},           {XK_Down, VKEY_DOWN},         {XK_Left, VKEY_LEFT},
        {XK_Right, VKEY_RIGHT},     {XK_Page_Up, VKEY_PAGEUP},    {XK_Page_Down, VKEY_PAGEDOWN},
        {XK_Home, VKEY_HOME},       {XK_End, VKEY_END},           {XK_Return, VKEY_RETURN},
        {XK_KP_Enter, VKEY_ENTER},  {XK_Escape, VKEY_ESCAPE},     {XK_Tab, VKEY_TAB},
        {XK_BackSpace, VKEY_BACK},  {XK_Delete, VKEY_DELETE},     {XK_Insert, VKEY_INSERT},
        {XK_F1, VKEY_F1},           {XK_F12, VKEY_F12},           {XK_KP_0, VKEY_NUMPAD0},
        {XK_KP_9, VKEY_NUMPAD9},    {XK_KP_Up, VKEY_UP},          {XK_KP_Add, VKEY_ADD},
        {XK_Shift_L, VKEY_SHIFT},   {XK_Control_R, VKEY_CONTROL}, {XK_Alt_L, VKEY_ALT},
        {XK_ISO_Left_Tab, VKEY_TAB}};
    for (const Case& c : cases) {
        VstKeyCode key = X11::keyCodeFromKeySym(c.keysym, 0, "", 0);
        EXPECT_EQ(key.virt, c.virt) << std::hex << c.keysym;
        EXPECT_EQ(key.character, 0) << std::hex << c.keysym;
    }
    // The values other programs rely on.
    EXPECT_EQ(X11::keyCodeFromKeySym(XK_Up, 0, "", 0).virt, 12);
    EXPECT_EQ(X11::keyCodeFromKeySym(XK_Page_Down, 0, "", 0).virt, 16);
    EXPECT_EQ(X11::keyCodeFromKeySym(XK_F5, 0, "", 0).virt, 44);
}

TEST(GuiX11Keys, PrintableKeysCarryTheirCharacter) {
    VstKeyCode a = X11::keyCodeFromKeySym(XK_A, ShiftMask, "A", 1);
    EXPECT_EQ(a.character, 'A');
    EXPECT_EQ(a.virt, 0);
    EXPECT_EQ(a.modifier, MODIFIER_SHIFT);

    VstKeyCode space = X11::keyCodeFromKeySym(XK_space, 0, " ", 1);
    EXPECT_EQ(space.virt, VKEY_SPACE);
    EXPECT_EQ(space.character, ' ');

    // Control turns the text into a control character; the character is
    // still the letter.
    VstKeyCode ctrlC = X11::keyCodeFromKeySym(XK_c, ControlMask, "\x03", 1);
    EXPECT_EQ(ctrlC.character, 'c');
    EXPECT_EQ(ctrlC.modifier, MODIFIER_CONTROL);

    // Latin-1 beyond ASCII.
    VstKeyCode umlaut = X11::keyCodeFromKeySym(XK_udiaeresis, 0, "\xfc", 1);
    EXPECT_EQ(umlaut.character, 0xfc);

    // Keypad digits with Num Lock: the digit and the numpad key.
    VstKeyCode kp7 = X11::keyCodeFromKeySym(XK_KP_7, Mod2Mask, "7", 1);
    EXPECT_EQ(kp7.virt, VKEY_NUMPAD7);
    EXPECT_EQ(kp7.character, '7');
    EXPECT_EQ(kp7.modifier, 0); // Num Lock is no modifier
}

TEST(GuiX11Keys, ModifierBits) {
    const unsigned all = ShiftMask | ControlMask | Mod1Mask | Mod4Mask;
    EXPECT_EQ(X11::keyCodeFromKeySym(XK_x, all, "x", 1).modifier,
              MODIFIER_SHIFT | MODIFIER_CONTROL | MODIFIER_ALTERNATE | MODIFIER_COMMAND);
    EXPECT_EQ(X11::keyCodeFromKeySym(XK_x, Mod1Mask, "x", 1).modifier, MODIFIER_ALTERNATE);
    EXPECT_EQ(X11::keyCodeFromKeySym(XK_x, LockMask, "X", 1).modifier, 0);

    EXPECT_EQ(X11::modifiersFromState(ShiftMask), kShift);
    EXPECT_EQ(X11::modifiersFromState(ControlMask), kControl);
    EXPECT_EQ(X11::modifiersFromState(Mod1Mask), kAlt);
    EXPECT_EQ(X11::modifiersFromState(Mod4Mask), kApple);
    EXPECT_EQ(X11::modifiersFromState(LockMask | Mod2Mask | Button1Mask), 0);
}

TEST(GuiX11Keys, ButtonsAndWheel) {
    EXPECT_EQ(X11::buttonFromNumber(1), kLButton);
    EXPECT_EQ(X11::buttonFromNumber(2), kMButton);
    EXPECT_EQ(X11::buttonFromNumber(3), kRButton);
    EXPECT_EQ(X11::buttonFromNumber(4), 0);
    EXPECT_EQ(X11::buttonsFromState(Button1Mask | Button3Mask | ShiftMask), kLButton | kRButton);
    EXPECT_EQ(X11::buttonsFromState(Button2Mask), kMButton);

    CMouseWheelAxis axis = kMouseWheelAxisX;
    float distance = 0;
    ASSERT_TRUE(X11::wheelFromButton(4, axis, distance));
    EXPECT_EQ(axis, kMouseWheelAxisY);
    EXPECT_EQ(distance, 1.f);
    ASSERT_TRUE(X11::wheelFromButton(5, axis, distance));
    EXPECT_EQ(axis, kMouseWheelAxisY);
    EXPECT_EQ(distance, -1.f);
    ASSERT_TRUE(X11::wheelFromButton(6, axis, distance));
    EXPECT_EQ(axis, kMouseWheelAxisX);
    EXPECT_EQ(distance, 1.f);
    ASSERT_TRUE(X11::wheelFromButton(7, axis, distance));
    EXPECT_EQ(distance, -1.f);
    EXPECT_FALSE(X11::wheelFromButton(1, axis, distance));
    EXPECT_FALSE(X11::wheelFromButton(8, axis, distance));
}

// ------------------------------------------------------------------ popup layout

std::vector<X11::MenuLine> plainLines(int count) {
    std::vector<X11::MenuLine> lines(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        lines[static_cast<size_t>(i)].title = "Entry " + std::to_string(i);
    return lines;
}

double fixedWidth(const std::string& text) {
    return 7.0 * static_cast<double>(text.size());
}

TEST(GuiX11PopupLayout, LinesStackWithSeparatorsAndHitTest) {
    std::vector<X11::MenuLine> lines = plainLines(4);
    lines[1].separator = true;
    lines[3].title = std::string(40, 'w'); // the widest: 280 px of text
    X11::MenuLayout layout = X11::layoutMenu(lines, fixedWidth, 768);
    ASSERT_EQ(layout.lines.size(), 4u);
    EXPECT_EQ(layout.columns, 1);
    EXPECT_EQ(layout.width, 280 + X11::kMenuTextLeft + X11::kMenuTextRight);
    const int p = X11::kMenuPadding, h = X11::kMenuLineHeight, s = X11::kMenuSeparatorHeight;
    EXPECT_EQ(layout.lines[0], CRect(0, p, layout.width, p + h));
    EXPECT_EQ(layout.lines[1], CRect(0, p + h, layout.width, p + h + s));
    EXPECT_EQ(layout.lines[2], CRect(0, p + h + s, layout.width, p + 2 * h + s));
    EXPECT_EQ(layout.height, p + 3 * h + s + p);

    EXPECT_EQ(X11::menuLineAt(layout, CPoint(5, p)), 0);
    EXPECT_EQ(X11::menuLineAt(layout, CPoint(5, p + h - 1)), 0);
    EXPECT_EQ(X11::menuLineAt(layout, CPoint(5, p + h)), 1); // the separator's own line
    EXPECT_EQ(X11::menuLineAt(layout, CPoint(5, p + h + s)), 2);
    EXPECT_EQ(X11::menuLineAt(layout, CPoint(5, layout.height - p - 1)), 3);
    EXPECT_EQ(X11::menuLineAt(layout, CPoint(5, p - 1)), -1);             // top padding
    EXPECT_EQ(X11::menuLineAt(layout, CPoint(5, layout.height - 1)), -1); // bottom padding
    EXPECT_EQ(X11::menuLineAt(layout, CPoint(layout.width, p + 1)), -1);

    // Short titles still get the minimum width.
    EXPECT_EQ(X11::layoutMenu(
                  plainLines(1), [](const std::string&) { return 3.0; }, 768)
                  .width,
              X11::kMenuMinWidth);
}

TEST(GuiX11PopupLayout, TallMenusContinueInColumns) {
    // 100 lines of 22 px do not fit 768 px: 34 lines per column
    // (34 * 22 = 748 <= 760), so three columns.
    X11::MenuLayout layout = X11::layoutMenu(plainLines(100), fixedWidth, 768);
    ASSERT_EQ(layout.lines.size(), 100u);
    EXPECT_EQ(layout.columns, 3);
    EXPECT_LE(layout.height, 768);
    const CCoord column = layout.lines[0].getWidth();
    EXPECT_EQ(layout.width, 3 * column);
    EXPECT_EQ(layout.lines[33].left, 0);
    EXPECT_EQ(layout.lines[34].left, column);
    EXPECT_EQ(layout.lines[34].top, X11::kMenuPadding);
    EXPECT_EQ(layout.lines[68].left, 2 * column);
    EXPECT_EQ(X11::menuLineAt(layout, layout.lines[70].getCenter()), 70);
    for (const CRect& r : layout.lines) EXPECT_LE(r.bottom, layout.height - X11::kMenuPadding);
}

TEST(GuiX11PopupLayout, MenusStayOnScreen) {
    EXPECT_EQ(X11::placeMenu(CPoint(100, 50), 150, 200, 1024, 768), CPoint(100, 50));
    EXPECT_EQ(X11::placeMenu(CPoint(1000, 700), 150, 200, 1024, 768), CPoint(874, 568));
    EXPECT_EQ(X11::placeMenu(CPoint(10, 10), 2000, 900, 1024, 768), CPoint(0, 0));

    // A submenu opens right of its menu, level with its entry...
    const CRect entry(300, 100, 450, 122);
    EXPECT_EQ(X11::placeSubmenu(entry, 300, 450, 150, 80, 1024, 768),
              CPoint(450, 100 - X11::kMenuPadding));
    // ...left of it when there is no room on the right...
    EXPECT_EQ(X11::placeSubmenu(CRect(800, 100, 950, 122), 800, 950, 150, 80, 1024, 768),
              CPoint(650, 100 - X11::kMenuPadding));
    // ...and is moved up at the bottom of the screen.
    EXPECT_EQ(X11::placeSubmenu(CRect(300, 740, 450, 762), 300, 450, 150, 200, 1024, 768),
              CPoint(450, 568));
}

TEST(GuiX11PopupLayout, TitlesAreDrawnAsValidUtf8) {
    EXPECT_EQ(X11::menuText("Preset 1-32"), "Preset 1-32");
    EXPECT_EQ(X11::menuText("Caf\xc3\xa9 \xe2\x96\xb8 \xf0\x9f\x8e\xb9"),
              "Caf\xc3\xa9 \xe2\x96\xb8 \xf0\x9f\x8e\xb9");
    // Latin-1 bytes.
    EXPECT_EQ(X11::menuText("Caf\xe9"), "Caf\xc3\xa9");
    EXPECT_EQ(X11::menuText("50\xb0"), "50\xc2\xb0");
    // A sequence cut short at the end, an overlong form and a surrogate.
    EXPECT_EQ(X11::menuText("a\xc3"), "a\xc3\x83");
    EXPECT_EQ(X11::menuText("\xc0\x80"), "\xc3\x80\xc2\x80");
    EXPECT_EQ(X11::menuText("\xed\xa0\x80"), "\xc3\xad\xc2\xa0\xc2\x80");
}

TEST(GuiX11PopupLayout, LinesOfAnOptionMenu) {
    auto* menu = new COptionMenu();
    menu->addEntry("One");
    menu->addEntry("-");
    menu->addEntry("Off", -1, CMenuItem::kDisabled);
    menu->addEntry("Heading", -1, CMenuItem::kTitle);
    menu->addEntry("Marked", -1, CMenuItem::kChecked);
    auto* sub = new COptionMenu();
    sub->addEntry("Inner");
    menu->addEntry(sub, "More");
    sub->forget();

    std::vector<X11::MenuLine> lines = X11::menuLines(menu);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_TRUE(lines[0].selectable());
    EXPECT_TRUE(lines[1].separator);
    EXPECT_FALSE(lines[1].selectable());
    EXPECT_FALSE(lines[2].selectable());
    EXPECT_FALSE(lines[2].separator);
    EXPECT_TRUE(lines[3].header);
    EXPECT_FALSE(lines[3].selectable());
    EXPECT_TRUE(lines[5].submenu);
    EXPECT_TRUE(lines[5].selectable());
    EXPECT_EQ(lines[5].title, "More");
    // Without a check style nothing shows a check.
    for (const X11::MenuLine& line : lines) EXPECT_FALSE(line.checked);

    menu->setStyle(COptionMenu::kMultipleCheckStyle);
    EXPECT_TRUE(X11::menuLines(menu)[4].checked);
    EXPECT_FALSE(X11::menuLines(menu)[0].checked);

    menu->setStyle(COptionMenu::kCheckStyle);
    ASSERT_TRUE(menu->setCurrent(2));
    lines = X11::menuLines(menu);
    EXPECT_TRUE(lines[2].checked);
    EXPECT_FALSE(lines[4].checked);
    menu->forget();
}

// ------------------------------------------------------------------ the X server

// Records what the frame hands to it, in frame coordinates (it sits on the
// frame).
class RecordingView : public CView {
public:
    using CView::CView;
    struct Press {
        CPoint where;
        int32_t buttons;
    };
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override {
        downs.push_back({where, buttons});
        return kMouseEventHandled;
    }
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override {
        ups.push_back({where, buttons});
        return kMouseEventHandled;
    }
    bool onWheel(const CPoint& where, const CMouseWheelAxis& axis, const float& distance,
                 const CButtonState&) override {
        wheels.push_back({where, axis == kMouseWheelAxisY ? static_cast<int32_t>(distance) : 99});
        return true;
    }
    CMouseEventResult onMouseCancel() override {
        ++cancels;
        return kMouseEventHandled;
    }
    std::vector<Press> downs, ups, wheels;
    int cancels = 0;
};

class KeyRecorder : public IKeyboardHook {
public:
    int32_t onKeyDown(const VstKeyCode& code, CFrame*) override {
        keys.push_back(code);
        return 1;
    }
    int32_t onKeyUp(const VstKeyCode&, CFrame*) override { return 1; }
    std::vector<VstKeyCode> keys;
};

class NullEvents : public Platform::IWindowEvents {
public:
    void platformOnMouseDown(CPoint, CButtonState) override {}
    void platformOnMouseMoved(CPoint, CButtonState) override {}
    void platformOnMouseUp(CPoint, CButtonState) override {}
    void platformOnMouseExited() override {}
    void platformOnWheel(CPoint, CMouseWheelAxis, float, CButtonState) override {}
    bool platformOnKeyDown(VstKeyCode&) override { return false; }
    bool platformOnKeyUp(VstKeyCode&) override { return false; }
};

// ------------------------------------------------------------------ the child window

using GuiX11Window = XvfbTest;

TEST_F(GuiX11Window, OpensAChildWindowOfTheFrameSize) {
    auto* frame = new CFrame(CRect(0, 0, 300, 200), nullptr);
    ASSERT_TRUE(frame->open(reinterpret_cast<void*>(static_cast<uintptr_t>(parent))));
    ASSERT_NE(frame->getPlatformWindow(), nullptr);
    EXPECT_FALSE(frame->isHeadless());
    const Window child = childOf(frame);

    Window root = 0, up = 0, *children = nullptr;
    unsigned count = 0;
    ASSERT_TRUE(XQueryTree(dpy, parent, &root, &up, &children, &count));
    std::vector<Window> list(children, children + count);
    if (children) XFree(children);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0], child);

    XWindowAttributes attributes{};
    ASSERT_TRUE(XGetWindowAttributes(dpy, child, &attributes));
    EXPECT_EQ(attributes.width, 300);
    EXPECT_EQ(attributes.height, 200);
    EXPECT_EQ(attributes.x, 0);
    EXPECT_EQ(attributes.y, 0);
    EXPECT_EQ(attributes.map_state, IsViewable);

    frame->close();
    // Closing removes the window.
    XSync(dpy, False);
    ASSERT_TRUE(XQueryTree(dpy, parent, &root, &up, &children, &count));
    if (children) XFree(children);
    EXPECT_EQ(count, 0u);
}

TEST_F(GuiX11Window, ClickReachesTheViewAtItsPoint) {
    auto* frame = new CFrame(CRect(0, 0, 300, 200), nullptr);
    auto* view = new RecordingView(CRect(50, 40, 250, 190));
    frame->addView(view);
    ASSERT_TRUE(frame->open(reinterpret_cast<void*>(static_cast<uintptr_t>(parent))));
    const Window child = childOf(frame);

    sendButton(child, ButtonPress, 1, 70, 60, ShiftMask);
    ASSERT_TRUE(idleUntil(frame, [&] { return !view->downs.empty(); }));
    EXPECT_EQ(view->downs[0].where, CPoint(70, 60));
    EXPECT_TRUE(view->downs[0].buttons & kLButton);
    EXPECT_TRUE(view->downs[0].buttons & kShift);
    EXPECT_FALSE(view->downs[0].buttons & (kRButton | kMButton | kControl));

    sendButton(child, ButtonRelease, 1, 80, 65, Button1Mask);
    ASSERT_TRUE(idleUntil(frame, [&] { return !view->ups.empty(); }));
    EXPECT_EQ(view->ups[0].where, CPoint(80, 65));
    EXPECT_TRUE(view->ups[0].buttons & kLButton);

    // A right click with Control.
    sendButton(child, ButtonPress, 3, 200, 100, ControlMask);
    ASSERT_TRUE(idleUntil(frame, [&] { return view->downs.size() == 2; }));
    EXPECT_EQ(view->downs[1].buttons & (kLButton | kRButton | kControl), kRButton | kControl);
    sendButton(child, ButtonRelease, 3, 200, 100, Button3Mask | ControlMask);
    idleUntil(frame, [&] { return view->ups.size() == 2; });
    frame->close();
}

TEST_F(GuiX11Window, WheelAndKeysReachTheFrame) {
    auto* frame = new CFrame(CRect(0, 0, 300, 200), nullptr);
    auto* view = new RecordingView(CRect(0, 0, 300, 200));
    frame->addView(view);
    KeyRecorder hook;
    frame->registerKeyboardHook(&hook);
    ASSERT_TRUE(frame->open(reinterpret_cast<void*>(static_cast<uintptr_t>(parent))));
    const Window child = childOf(frame);

    sendButton(child, ButtonPress, 5, 30, 40, 0);
    sendButton(child, ButtonRelease, 5, 30, 40, 0);
    sendButton(child, ButtonPress, 4, 31, 41, 0);
    ASSERT_TRUE(idleUntil(frame, [&] { return view->wheels.size() == 2; }));
    EXPECT_EQ(view->wheels[0].where, CPoint(30, 40));
    EXPECT_EQ(view->wheels[0].buttons, -1);
    EXPECT_EQ(view->wheels[1].buttons, 1);
    EXPECT_TRUE(view->downs.empty()); // the wheel is no click

    sendKey(child, XK_Up, 0);
    sendKey(child, XK_a, 0);
    ASSERT_TRUE(idleUntil(frame, [&] { return hook.keys.size() == 2; }));
    EXPECT_EQ(hook.keys[0].virt, VKEY_UP);
    EXPECT_EQ(hook.keys[1].character, 'a');
    EXPECT_EQ(hook.keys[1].virt, 0);
    frame->unregisterKeyboardHook(&hook);
    frame->close();
}

TEST_F(GuiX11Window, PresentedImageIsShownAndRepaintedOnExposure) {
    auto* frame = new CFrame(CRect(0, 0, 300, 200), nullptr);
    frame->setBackgroundColor(kRedCColor);
    auto* view = new RecordingView(CRect(100, 50, 200, 150));
    frame->addView(view);
    ASSERT_TRUE(frame->open(reinterpret_cast<void*>(static_cast<uintptr_t>(parent))));
    const Window child = childOf(frame);
    frame->idle();
    auto shows = [&](int x, int y, unsigned long rgb) {
        const auto end = Clock::now() + std::chrono::seconds(2);
        while (Clock::now() < end) {
            frame->idle();
            XSync(dpy, False);
            if (pixel(child, x, y) == rgb) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    };
    EXPECT_TRUE(shows(10, 10, 0xff0000));
    EXPECT_TRUE(shows(299, 199, 0xff0000));

    // Clearing the window exposes it: the window copies the image again,
    // without the frame drawing anything.
    const uint32_t draws = view->getDrawCount();
    XClearArea(dpy, child, 0, 0, 0, 0, True);
    XSync(dpy, False);
    EXPECT_TRUE(shows(20, 180, 0xff0000));
    EXPECT_EQ(view->getDrawCount(), draws);

    // A new background reaches the window at the next idle pass.
    frame->setBackgroundColor(kBlueCColor);
    frame->setDirty(true);
    EXPECT_TRUE(shows(10, 10, 0x0000ff));
    frame->close();
}

// While a dialog is up the window shows the frame's image again when it is
// exposed, and a click or key given to it meanwhile is dropped: it reaches
// the frame neither during the dialog nor after it.
TEST_F(GuiX11Window, DialogKeepsTheWindowPaintedAndDropsItsInput) {
    auto* frame = new CFrame(CRect(0, 0, 300, 200), nullptr);
    frame->setBackgroundColor(kRedCColor);
    auto* view = new RecordingView(CRect(50, 40, 250, 190));
    frame->addView(view);
    KeyRecorder hook;
    frame->registerKeyboardHook(&hook);
    ASSERT_TRUE(frame->open(reinterpret_cast<void*>(static_cast<uintptr_t>(parent))));
    const Window child = childOf(frame);
    ASSERT_TRUE(idleUntil(frame, [&] {
        XSync(dpy, False);
        return pixel(child, 10, 10) == 0xff0000;
    }));

    ScriptedDialogService script;
    script.pushFile("/tmp/x.env");
    int calls = 0;
    unsigned long cleared = 0;
    bool repainted = false;
    const auto end = Clock::now() + std::chrono::seconds(2);
    script.whileOpen = [&] {
        if (calls++ == 0) {
            sendButton(child, ButtonPress, 1, 70, 60, 0);
            sendButton(child, ButtonRelease, 1, 70, 60, Button1Mask);
            sendKey(child, XK_a, 0);
            // Black where it is cleared, until the window copies its image.
            XClearArea(dpy, child, 0, 0, 0, 0, True);
            XSync(dpy, False);
            cleared = pixel(child, 10, 10);
            return false;
        }
        XSync(dpy, False);
        repainted = pixel(child, 10, 10) == 0xff0000;
        if (!repainted) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return repainted || Clock::now() > end;
    };
    const uint32_t draws = view->getDrawCount();
    {
        ScopedDialogService installed(script);
        CNewFileSelector* selector = CNewFileSelector::create(frame, CNewFileSelector::kSelectFile);
        EXPECT_TRUE(selector->runModal());
        selector->forget();
    }
    EXPECT_EQ(cleared, 0x000000u);
    EXPECT_TRUE(repainted);
    EXPECT_EQ(view->getDrawCount(), draws); // the window's own copy, no frame pass
    for (int i = 0; i < 10; ++i) {
        frame->idle();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(view->downs.empty());
    EXPECT_TRUE(view->ups.empty());
    EXPECT_TRUE(hook.keys.empty());

    // Afterwards input reaches the frame again.
    sendButton(child, ButtonPress, 1, 70, 60, 0);
    EXPECT_TRUE(idleUntil(frame, [&] { return view->downs.size() == 1; }));
    frame->unregisterKeyboardHook(&hook);
    frame->close();
}

TEST_F(GuiX11Window, PointerLocationIsInFrameCoordinates) {
    XMoveWindow(dpy, parent, 140, 90);
    XSync(dpy, False);
    auto* frame = new CFrame(CRect(0, 0, 300, 200), nullptr);
    ASSERT_TRUE(frame->open(reinterpret_cast<void*>(static_cast<uintptr_t>(parent))));
    const Window child = childOf(frame);
    XWarpPointer(dpy, None, child, 0, 0, 0, 0, 33, 44);
    XSync(dpy, False);
    CPoint where;
    CButtonState buttons;
    ASSERT_TRUE(frame->getPlatformWindow()->getMouseLocation(where, buttons));
    EXPECT_EQ(where, CPoint(33, 44));
    EXPECT_EQ(buttons.getButtonState(), 0);
    frame->close();
}

int testErrorHandler(Display*, XErrorEvent*) {
    return 0;
}

TEST_F(GuiX11Window, BadParentFailsWithoutLeavingAnythingBehind) {
    XSetErrorHandler(testErrorHandler);
    auto* frame = new CFrame(CRect(0, 0, 300, 200), nullptr);
    EXPECT_FALSE(frame->open(reinterpret_cast<void*>(static_cast<uintptr_t>(0x7ffffff))));
    EXPECT_FALSE(frame->isOpen());
    EXPECT_EQ(frame->getPlatformWindow(), nullptr);
    frame->forget();

    NullEvents events;
    EXPECT_EQ(
        Platform::createChildWindow(reinterpret_cast<void*>(uintptr_t{0x7ffffff}), 10, 10, &events),
        nullptr);
    // The error handler in place before is back.
    EXPECT_EQ(XSetErrorHandler(nullptr), &testErrorHandler);
}

// Displays are opened and closed in turns across the process (two threads'
// closes must never meet in libXext's close hook): threads open and close
// them through every path at once, and each X call is made with the turn
// held, as another thread sees it, and with no other under way.
std::atomic<int> displayCalls[2], callsUnderWay{0}, faults{0};

void holdDisplayTurn(bool opening) {
    faults += callsUnderWay.fetch_add(1) > 0;
    bool held = false;
    std::thread([&held] { held = X11::displayTurnTaken(); }).join();
    faults += !held;
    ++displayCalls[opening];
    --callsUnderWay;
}

TEST_F(GuiX11Window, DisplaysOpenAndCloseInTurnsAcrossThreads) {
    NullEvents events;
    void* host = reinterpret_cast<void*>(static_cast<uintptr_t>(parent));
    void* refused = reinterpret_cast<void*>(uintptr_t{0x7ffffff});
    const std::function<bool()> paths[] = {
        [&] { return Platform::createChildWindow(host, 30, 20, &events) != nullptr; },
        [&] { return !Platform::createChildWindow(refused, 10, 10, &events); },
        [] {
            return NSView(NSRect{{0, 0}, {30, 20}}).nativeWindow() != 0;
        },
    };
    constexpr int kThreads = 4, kCalls = 60;
    std::atomic<int> starting{kThreads};
    X11::setDisplayTurnProbe(holdDisplayTurn);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (--starting; starting.load() > 0;) std::this_thread::yield(); // all at once
            for (int i = 0; i < kCalls; ++i) faults += !paths[(t + i) % 3]();
        });
    for (std::thread& thread : threads) thread.join();
    X11::setDisplayTurnProbe(nullptr);
    EXPECT_EQ(faults.load(), 0);
    for (const std::atomic<int>& calls : displayCalls) EXPECT_EQ(calls.load(), kThreads * kCalls);
    EXPECT_FALSE(X11::displayTurnTaken());
}

TEST_F(GuiX11Window, ErrorHandlerIsOursOnlyWhileAWindowIsOpen) {
    XSetErrorHandler(testErrorHandler);
    NullEvents events;
    auto first = Platform::createChildWindow(
        reinterpret_cast<void*>(static_cast<uintptr_t>(parent)), 50, 50, &events);
    auto second = Platform::createChildWindow(
        reinterpret_cast<void*>(static_cast<uintptr_t>(parent)), 60, 60, &events);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    XErrorHandler during = XSetErrorHandler(nullptr);
    EXPECT_NE(during, &testErrorHandler);
    XSetErrorHandler(during);
    first.reset();
    // One window is still open.
    during = XSetErrorHandler(nullptr);
    EXPECT_NE(during, &testErrorHandler);
    XSetErrorHandler(during);
    second.reset();
    EXPECT_EQ(XSetErrorHandler(nullptr), &testErrorHandler);
}

TEST_F(GuiX11Window, HostDestroyingItsWindowFirstIsSurvived) {
    // Xlib's own handler, which ends the process at the first error.
    XSetErrorHandler(nullptr);
    auto* frame = new CFrame(CRect(0, 0, 300, 200), nullptr);
    frame->setBackgroundColor(kGreenCColor);
    ASSERT_TRUE(frame->open(reinterpret_cast<void*>(static_cast<uintptr_t>(parent))));
    frame->idle();
    XDestroyWindow(dpy, parent);
    XSync(dpy, False);
    parent = 0;
    // Before the window has heard of it: drawing to it, asking for the
    // pointer and closing fail at the server.
    frame->redrawAll();
    CPoint where;
    CButtonState buttons;
    EXPECT_FALSE(frame->getPlatformWindow()->getMouseLocation(where, buttons));
    for (int i = 0; i < 5; ++i) {
        frame->invalidRect(CRect(0, 0, 300, 200));
        frame->idle();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    frame->close();
    SUCCEED();
}

// The ways the X server takes the pointer away from a press: the view that
// took the press hears of it once (its gesture is cancelled), without a
// release.
TEST_F(GuiX11Window, PointerTakenAwayDuringAPressCancelsTheGesture) {
    struct Case {
        const char* name;
        std::function<void(Window child, Window& other)> takeAway;
    };
    const std::vector<Case> cases = {
        {"AnotherClientGrabsThePointer",
         [this](Window, Window& other) {
             other = makeParent(600, 500, 40, 40);
             EXPECT_EQ(XGrabPointer(dpy, other, False, ButtonPressMask | ButtonReleaseMask,
                                    GrabModeAsync, GrabModeAsync, None, None, CurrentTime),
                       GrabSuccess);
             XSync(dpy, False);
         }},
        {"WindowUnmapped",
         [this](Window child, Window&) {
             XUnmapWindow(dpy, child);
             XSync(dpy, False);
         }},
        {"ReleaseWentElsewhere",
         [this](Window child, Window&) {
             // The server's pointer moves with no button down.
             XWarpPointer(dpy, None, child, 0, 0, 0, 0, 90, 70);
             XSync(dpy, False);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto* frame = new CFrame(CRect(0, 0, 300, 200), nullptr);
        auto* view = new RecordingView(CRect(0, 0, 300, 200));
        frame->addView(view);
        ASSERT_TRUE(frame->open(reinterpret_cast<void*>(static_cast<uintptr_t>(parent))));
        const Window child = childOf(frame);
        XWarpPointer(dpy, None, child, 0, 0, 0, 0, 70, 60);
        XSync(dpy, False);
        ASSERT_TRUE(idleUntil(frame, [&] {
            CPoint where;
            return frame->getCurrentMouseLocation(where) && where == CPoint(70, 60);
        }));

        sendButton(child, ButtonPress, 1, 70, 60, 0);
        ASSERT_TRUE(idleUntil(frame, [&] { return !view->downs.empty(); }));
        ASSERT_EQ(frame->getMouseDownView(), view);
        EXPECT_EQ(view->cancels, 0);

        Window other = 0;
        c.takeAway(child, other);
        EXPECT_TRUE(idleUntil(frame, [&] { return view->cancels > 0; }));
        EXPECT_EQ(view->cancels, 1);
        EXPECT_TRUE(view->ups.empty());
        EXPECT_EQ(frame->getMouseDownView(), nullptr);
        if (other) {
            XUngrabPointer(dpy, CurrentTime);
            XDestroyWindow(dpy, other);
            XSync(dpy, False);
        }
        frame->close();
    }
}

TEST(GuiX11NoDisplay, OpenFailsCleanlyWithoutAServer) {
    const char* previous = std::getenv("DISPLAY");
    const std::string saved = previous ? previous : "";
    setenv("DISPLAY", ":1234", 1);
    NullEvents events;
    EXPECT_EQ(Platform::createChildWindow(reinterpret_cast<void*>(uintptr_t{0x400001}), 300, 200,
                                          &events),
              nullptr);
    auto* frame = new CFrame(CRect(0, 0, 300, 200), nullptr);
    EXPECT_FALSE(frame->open(reinterpret_cast<void*>(uintptr_t{0x400001})));
    EXPECT_FALSE(frame->isOpen());
    frame->forget();
    if (previous)
        setenv("DISPLAY", saved.c_str(), 1);
    else
        unsetenv("DISPLAY");
}

// ------------------------------------------------------------------ popup menus

// Plays the user of a popup menu from a second connection and thread.
class MenuDriver {
public:
    struct Menu {
        Window window;
        int x, y, width, height;
    };

    explicit MenuDriver(const std::string& displayName) { dpy = XOpenDisplay(displayName.c_str()); }
    ~MenuDriver() {
        if (dpy) XCloseDisplay(dpy);
    }

    // The mapped override-redirect windows of the screen, bottom to top.
    std::vector<Menu> menus() {
        std::vector<Menu> found;
        Window root = 0, up = 0, *children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(dpy, DefaultRootWindow(dpy), &root, &up, &children, &count)) return found;
        for (unsigned i = 0; i < count; ++i) {
            XWindowAttributes a{};
            if (XGetWindowAttributes(dpy, children[i], &a) && a.override_redirect &&
                a.map_state == IsViewable)
                found.push_back({children[i], a.x, a.y, a.width, a.height});
        }
        if (children) XFree(children);
        return found;
    }

    std::vector<Menu> waitForMenus(size_t count) {
        const auto end = Clock::now() + std::chrono::seconds(3);
        std::vector<Menu> found;
        while (Clock::now() < end) {
            found = menus();
            if (found.size() >= count) return found;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return found;
    }

    // The menu maps its window before it takes the grab; on a busy machine
    // the grab may follow a moment later (the popup retries for up to 2 s).
    bool waitForGrabElsewhere() {
        const auto end = Clock::now() + std::chrono::seconds(3);
        while (Clock::now() < end) {
            if (pointerGrabbedElsewhere()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    bool pointerGrabbedElsewhere() {
        const int status = XGrabPointer(dpy, DefaultRootWindow(dpy), False, ButtonPressMask,
                                        GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
        if (status == GrabSuccess) XUngrabPointer(dpy, CurrentTime);
        XSync(dpy, False);
        return status == AlreadyGrabbed;
    }

    void pointer(Window window, int type, int xRoot, int yRoot) {
        XEvent event{};
        if (type == MotionNotify) {
            XMotionEvent& m = event.xmotion;
            m.type = MotionNotify;
            m.window = window;
            m.root = DefaultRootWindow(dpy);
            m.x_root = xRoot;
            m.y_root = yRoot;
            m.same_screen = True;
        } else {
            XButtonEvent& b = event.xbutton;
            b.type = type;
            b.window = window;
            b.root = DefaultRootWindow(dpy);
            b.x_root = xRoot;
            b.y_root = yRoot;
            b.button = 1;
            b.state = type == ButtonRelease ? Button1Mask : 0;
            b.same_screen = True;
        }
        const long mask = type == MotionNotify  ? PointerMotionMask
                          : type == ButtonPress ? ButtonPressMask
                                                : ButtonReleaseMask;
        XSendEvent(dpy, window, False, mask, &event);
        XFlush(dpy);
    }

    void click(Window window, int xRoot, int yRoot) {
        pointer(window, MotionNotify, xRoot, yRoot);
        pointer(window, ButtonPress, xRoot, yRoot);
        pointer(window, ButtonRelease, xRoot, yRoot);
    }

    void key(Window window, KeySym keysym) {
        XEvent event{};
        XKeyEvent& k = event.xkey;
        k.type = KeyPress;
        k.window = window;
        k.root = DefaultRootWindow(dpy);
        k.keycode = XKeysymToKeycode(dpy, keysym);
        k.same_screen = True;
        XSendEvent(dpy, window, False, KeyPressMask, &event);
        XFlush(dpy);
    }

    // Escape to every menu: ends a popup whatever happened before.
    void escapeAll() {
        for (const Menu& m : menus()) key(m.window, XK_Escape);
    }

    Display* dpy = nullptr;
};

class GuiX11Popup : public XvfbTest {
protected:
    void SetUp() override {
        XvfbTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        menu = new COptionMenu();
        menu->addEntry("One");
        menu->addEntry("Two");
        menu->addSeparator();
        menu->addEntry("Off", -1, CMenuItem::kDisabled);
        submenu = new COptionMenu();
        submenu->addEntry("Alpha");
        submenu->addEntry("Beta");
        menu->addEntry(submenu, "More");
        submenu->forget();
        layout = X11::layoutMenu(X11::menuLines(menu), fixedWidth, 768);
    }

    void TearDown() override {
        if (frame) frame->close();
        if (menu) menu->forget();
        XvfbTest::TearDown();
    }

    void openFrame() {
        frame = new CFrame(CRect(0, 0, 300, 200), nullptr);
        ASSERT_TRUE(frame->open(reinterpret_cast<void*>(static_cast<uintptr_t>(parent))));
        frame->idle();
    }

    // Runs the popup here while play() acts from another thread.
    IPopupProvider::Result popupWhile(const CPoint& where,
                                      const std::function<void(MenuDriver&)>& play) {
        std::atomic<bool> done{false};
        std::thread user([&] {
            MenuDriver driver(displayName);
            if (!driver.dpy) return;
            play(driver);
            // Whatever play did, the popup must not outlive the test.
            const auto end = Clock::now() + std::chrono::seconds(2);
            while (!done && Clock::now() < end)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            while (!done) {
                driver.escapeAll();
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        });
        IPopupProvider::Result result = frame->getPopupProvider()->popup(menu, frame, where);
        done = true;
        user.join();
        return result;
    }

    // The middle of a root menu line, in screen coordinates.
    CPoint lineCenter(const MenuDriver::Menu& m, int line) const {
        const CRect& r = layout.lines[static_cast<size_t>(line)];
        return CPoint(m.x + 20, m.y + (r.top + r.bottom) / 2);
    }

    bool grabFree() {
        const int pointer = XGrabPointer(dpy, DefaultRootWindow(dpy), False, ButtonPressMask,
                                         GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
        if (pointer == GrabSuccess) XUngrabPointer(dpy, CurrentTime);
        const int keyboard = XGrabKeyboard(dpy, DefaultRootWindow(dpy), False, GrabModeAsync,
                                           GrabModeAsync, CurrentTime);
        if (keyboard == GrabSuccess) XUngrabKeyboard(dpy, CurrentTime);
        XSync(dpy, False);
        return pointer == GrabSuccess && keyboard == GrabSuccess;
    }

    CFrame* frame = nullptr;
    COptionMenu* menu = nullptr;
    COptionMenu* submenu = nullptr;
    X11::MenuLayout layout;
};

TEST_F(GuiX11Popup, EscapeDismissesAndReleasesTheGrab) {
    openFrame();
    std::vector<MenuDriver::Menu> shown;
    bool grabbed = false;
    IPopupProvider::Result result = popupWhile(CPoint(20, 30), [&](MenuDriver& d) {
        shown = d.waitForMenus(1);
        if (shown.empty()) return;
        grabbed = d.waitForGrabElsewhere();
        d.key(shown[0].window, XK_Escape);
    });
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(grabbed);
    EXPECT_EQ(result.menu, nullptr);
    EXPECT_EQ(result.index, -1);
    // At the point: 20, 30 of the frame at 40, 30 of the screen.
    EXPECT_EQ(shown[0].x, 60);
    EXPECT_EQ(shown[0].y, 60);
    EXPECT_EQ(shown[0].height, layout.height);
    EXPECT_TRUE(grabFree());
    MenuDriver after(displayName);
    EXPECT_TRUE(after.menus().empty());
}

TEST_F(GuiX11Popup, ClickOnAnEntryChoosesIt) {
    openFrame();
    IPopupProvider::Result result = popupWhile(CPoint(10, 10), [&](MenuDriver& d) {
        std::vector<MenuDriver::Menu> shown = d.waitForMenus(1);
        if (shown.empty()) return;
        // A click on the disabled entry does nothing; then "Two".
        CPoint off = lineCenter(shown[0], 3);
        d.click(shown[0].window, static_cast<int>(off.x), static_cast<int>(off.y));
        CPoint two = lineCenter(shown[0], 1);
        d.click(shown[0].window, static_cast<int>(two.x), static_cast<int>(two.y));
    });
    EXPECT_EQ(result.menu, menu);
    EXPECT_EQ(result.index, 1);
    EXPECT_TRUE(grabFree());
}

TEST_F(GuiX11Popup, PressDragReleaseChooses) {
    openFrame();
    // The button went down at the point where the menu opens; its release
    // over an entry chooses it.
    XWarpPointer(dpy, None, childOf(frame), 0, 0, 0, 0, 10, 10);
    XSync(dpy, False);
    IPopupProvider::Result result = popupWhile(CPoint(10, 10), [&](MenuDriver& d) {
        std::vector<MenuDriver::Menu> shown = d.waitForMenus(1);
        if (shown.empty()) return;
        CPoint two = lineCenter(shown[0], 1);
        d.pointer(shown[0].window, MotionNotify, static_cast<int>(two.x), static_cast<int>(two.y));
        d.pointer(shown[0].window, ButtonRelease, static_cast<int>(two.x), static_cast<int>(two.y));
    });
    EXPECT_EQ(result.menu, menu);
    EXPECT_EQ(result.index, 1);
}

TEST_F(GuiX11Popup, HoverOpensTheSubmenuAndAClickChoosesInIt) {
    openFrame();
    size_t menusOpen = 0;
    IPopupProvider::Result result = popupWhile(CPoint(10, 10), [&](MenuDriver& d) {
        std::vector<MenuDriver::Menu> shown = d.waitForMenus(1);
        if (shown.empty()) return;
        const MenuDriver::Menu root = shown[0];
        CPoint more = lineCenter(root, 4);
        d.pointer(root.window, MotionNotify, static_cast<int>(more.x), static_cast<int>(more.y));
        shown = d.waitForMenus(2);
        menusOpen = shown.size();
        for (const MenuDriver::Menu& m : shown) {
            if (m.window == root.window) continue;
            // Right of the root menu, level with its entry.
            if (m.x < root.x + root.width) return;
            const int y = m.y + X11::kMenuPadding + X11::kMenuLineHeight + X11::kMenuLineHeight / 2;
            d.click(root.window, m.x + 15, y);
        }
    });
    EXPECT_EQ(menusOpen, 2u);
    EXPECT_EQ(result.menu, submenu);
    EXPECT_EQ(result.index, 1);
    EXPECT_TRUE(grabFree());
}

TEST_F(GuiX11Popup, ClickOutsideDismisses) {
    openFrame();
    IPopupProvider::Result result = popupWhile(CPoint(10, 10), [&](MenuDriver& d) {
        std::vector<MenuDriver::Menu> shown = d.waitForMenus(1);
        if (shown.empty()) return;
        d.pointer(shown[0].window, ButtonPress, 900, 700);
        d.pointer(shown[0].window, ButtonRelease, 900, 700);
    });
    EXPECT_EQ(result.menu, nullptr);
    EXPECT_TRUE(grabFree());
    MenuDriver after(displayName);
    EXPECT_TRUE(after.menus().empty());
}

TEST_F(GuiX11Popup, KeyboardChoosesAnEntry) {
    openFrame();
    IPopupProvider::Result result = popupWhile(CPoint(10, 10), [&](MenuDriver& d) {
        std::vector<MenuDriver::Menu> shown = d.waitForMenus(1);
        if (shown.empty()) return;
        const Window w = shown[0].window;
        // Down to "One", "Two", past the separator and the disabled entry
        // to "More", into its submenu ("Alpha"), down to "Beta".
        for (KeySym k : {XK_Down, XK_Down, XK_Down, XK_Right, XK_Down, XK_Return}) d.key(w, k);
    });
    EXPECT_EQ(result.menu, submenu);
    EXPECT_EQ(result.index, 1);
}

TEST_F(GuiX11Popup, MenuNearTheScreenCornerStaysOnScreen) {
    XMoveWindow(dpy, parent, 700, 600);
    XSync(dpy, False);
    openFrame();
    std::vector<MenuDriver::Menu> shown;
    popupWhile(CPoint(250, 150), [&](MenuDriver& d) {
        shown = d.waitForMenus(1);
        if (!shown.empty()) d.key(shown[0].window, XK_Escape);
    });
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_LE(shown[0].x + shown[0].width, 1024);
    EXPECT_LE(shown[0].y + shown[0].height, 768);
    EXPECT_LT(shown[0].x, 950);
    EXPECT_LT(shown[0].y, 750);
}

} // namespace
