// The editor's X11 child window.
//
// Each window has its own display connection, used on the GUI thread only.
// It shows the frame's off-screen image through a cairo-xlib surface and
// keeps a reference to that image so that exposures are answered by
// copying again, without the frame. Input is read in pumpEvents() and
// handed to the frame in frame (= window) coordinates. While a dialog of the
// plug-in is up, the window is serviced as a modal window: exposures are
// answered, input is dropped.
#include "platform/modal_windows.h"
#include "vstgui/platform/platform_window.h"
#include "vstgui/platform/x11_display.h"
#include "vstgui/platform/x11_keys.h"
#include "vstgui/platform/x11_popup.h"
#include "vstgui/platform/x11_tooltip.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cairo-xlib.h>
#include <cairo.h>

#include <cstdint>
#include <memory>

namespace VSTGUI::Platform {

namespace {

class X11Window : public IWindow, private ModalWindow {
public:
    X11Window(Display* display, Window parent, Window window, Visual* visual, int width, int height,
              IWindowEvents* events)
        : display(display), parent(parent), window(window), width(width), height(height),
          events(events),
          popups(display, window, [this](XEvent& event) { return handleWhileModal(event); }),
          tooltip(display, window) {
        target = cairo_xlib_surface_create(display, window, visual, width, height);
        addModalWindow(this);
    }

    ~X11Window() override {
        removeModalWindow(this);
        *alive = false;
        tooltip.destroy();
        releaseUploads();
        cairo_surface_destroy(target);
        if (kept) cairo_surface_destroy(kept);
        {
            X11::ErrorTrap trap(display);
            if (!destroyed) XDestroyWindow(display, window);
        }
        X11::closeDisplay(display);
        X11::releaseErrorHandler();
    }

    void present(cairo_surface_t* image, const CRect& area) override {
        if (image != kept) {
            if (image) cairo_surface_reference(image);
            if (kept) cairo_surface_destroy(kept);
            kept = image;
        }
        copyFromImage(area);
        XFlush(display);
    }

    void pumpEvents() override {
        std::shared_ptr<bool> stillAlive = alive;
        while (*stillAlive && XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            handle(event);
        }
        if (*stillAlive) XFlush(display);
    }

    bool getMouseLocation(CPoint& where, CButtonState& buttons) override {
        if (destroyed) return false;
        Window root = 0, child = 0;
        int rootX = 0, rootY = 0, x = 0, y = 0;
        unsigned int mask = 0;
        X11::ErrorTrap trap(display);
        Bool sameScreen =
            XQueryPointer(display, window, &root, &child, &rootX, &rootY, &x, &y, &mask);
        if (trap.failed() || !sameScreen) return false;
        where = CPoint(x, y);
        buttons = CButtonState(X11::buttonsFromState(mask) | X11::modifiersFromState(mask));
        return true;
    }

    IPopupProvider* popupProvider() override { return &popups; }
    unsigned long nativeHandle() const override { return window; }

    void showTooltip(const CPoint& where, const std::string& text, CCoord fontSize,
                     int32_t fontStyle) override {
        if (!destroyed) tooltip.show(where, text, fontSize, fontStyle);
    }
    void hideTooltip() override { tooltip.hide(); }

private:
    // cairo keeps the bookkeeping of a shared-memory upload until the server
    // has done it and cairo starts another; closing the display loses what
    // is still kept. Wait for the server, then let cairo start (and drop)
    // one more small upload buffer, which releases the others.
    void releaseUploads() {
        X11::ErrorTrap trap(display);
        XSync(display, False);
        cairo_surface_destroy(
            cairo_surface_create_similar_image(target, CAIRO_FORMAT_RGB24, 16, 16));
    }

    void copyFromImage(const CRect& area) {
        if (!kept || destroyed || cairo_surface_status(kept) != CAIRO_STATUS_SUCCESS) return;
        CRect r = area;
        r.bound(CRect(0, 0, width, height));
        if (cairo_surface_get_type(kept) == CAIRO_SURFACE_TYPE_IMAGE)
            r.bound(CRect(0, 0, cairo_image_surface_get_width(kept),
                          cairo_image_surface_get_height(kept)));
        if (r.isEmpty()) return;
        cairo_t* cr = cairo_create(target);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_set_source_surface(cr, kept, 0, 0);
        cairo_rectangle(cr, r.left, r.top, r.getWidth(), r.getHeight());
        cairo_fill(cr);
        cairo_destroy(cr);
        cairo_surface_flush(target);
    }

    // Everything but input; true while the window exists.
    bool handleWindowEvent(XEvent& event) {
        if (event.xany.window != window) return !destroyed;
        switch (event.type) {
        case Expose:
            copyFromImage(CRect(event.xexpose.x, event.xexpose.y,
                                event.xexpose.x + event.xexpose.width,
                                event.xexpose.y + event.xexpose.height));
            break;
        case ConfigureNotify:
            if (event.xconfigure.width != width || event.xconfigure.height != height) {
                width = event.xconfigure.width;
                height = event.xconfigure.height;
                cairo_xlib_surface_set_size(target, width, height);
            }
            break;
        case DestroyNotify:
            // The host destroyed its window, and ours with it.
            if (event.xdestroywindow.window == window) destroyed = true;
            break;
        default:
            break;
        }
        return !destroyed;
    }

    // While a popup menu runs: exposures are answered, input is dropped.
    bool handleWhileModal(XEvent& event) {
        if (!*alive) return false;
        return handleWindowEvent(event);
    }

    // While a dialog runs: the same for everything pending; nothing reaches
    // the frame, so nothing can close this window meanwhile.
    void serviceWhileModal() override {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            handleWhileModal(event);
        }
        XFlush(display);
    }

    void handle(XEvent& event) {
        if (event.xany.window != window) return;
        switch (event.type) {
        case ButtonPress: {
            const XButtonEvent& b = event.xbutton;
            CPoint where(b.x, b.y);
            int32_t modifiers = X11::modifiersFromState(b.state);
            CMouseWheelAxis axis = kMouseWheelAxisY;
            float distance = 0;
            if (X11::wheelFromButton(b.button, axis, distance)) {
                events->platformOnWheel(where, axis, distance,
                                        X11::buttonsFromState(b.state) | modifiers);
            } else if (int32_t button = X11::buttonFromNumber(b.button)) {
                heldButtons |= buttonMask(b.button);
                takeFocus(b.time);
                events->platformOnMouseDown(where, button | modifiers);
            }
            break;
        }
        case ButtonRelease: {
            const XButtonEvent& b = event.xbutton;
            heldButtons &= ~buttonMask(b.button);
            if (int32_t button = X11::buttonFromNumber(b.button))
                events->platformOnMouseUp(CPoint(b.x, b.y),
                                          button | X11::modifiersFromState(b.state));
            break;
        }
        case MotionNotify: {
            // Of a run of moves only the latest position matters.
            XEvent next;
            while (XEventsQueued(display, QueuedAlready) > 0) {
                XPeekEvent(display, &next);
                if (next.type != MotionNotify || next.xany.window != window) break;
                XNextEvent(display, &event);
            }
            const XMotionEvent& m = event.xmotion;
            // A button we saw go down is up, but its release never came
            // here: the grab was broken without telling us.
            if ((heldButtons & ~m.state) != 0) {
                std::shared_ptr<bool> stillAlive = alive;
                cancelPress();
                if (!*stillAlive) break;
            }
            events->platformOnMouseMoved(CPoint(m.x, m.y), X11::buttonsFromState(m.state) |
                                                               X11::modifiersFromState(m.state));
            break;
        }
        case LeaveNotify: {
            // Another grab took the pointer (a window manager, a menu): the
            // release of a press under way will not come here.
            std::shared_ptr<bool> stillAlive = alive;
            if (event.xcrossing.mode == NotifyGrab) cancelPress();
            if (*stillAlive) events->platformOnMouseExited();
            break;
        }
        case UnmapNotify:
        case DestroyNotify:
            // An unviewable window loses the pointer grab with it.
            handleWindowEvent(event);
            cancelPress();
            break;
        case KeyPress:
        case KeyRelease:
            handleKey(event);
            break;
        default:
            handleWindowEvent(event);
            break;
        }
    }

    void handleKey(XEvent& event) {
        char text[8] = {};
        KeySym keysym = NoSymbol;
        int length = XLookupString(&event.xkey, text, sizeof(text), &keysym, nullptr);
        VstKeyCode key = X11::keyCodeFromKeySym(keysym, event.xkey.state, text, length);
        if (key.character == 0 && key.virt == 0) return;
        std::shared_ptr<bool> stillAlive = alive;
        bool used =
            event.type == KeyPress ? events->platformOnKeyDown(key) : events->platformOnKeyUp(key);
        if (used || !*stillAlive || destroyed) return;
        // We hold the focus since the last click: keys the editor does not
        // use go on to the host's window.
        XEvent forward = event;
        forward.xkey.window = parent;
        forward.xkey.subwindow = None;
        XSendEvent(display, parent, True, event.type == KeyPress ? KeyPressMask : KeyReleaseMask,
                   &forward);
    }

    // The X state bit of a pointer button (1..5), 0 for others.
    static unsigned buttonMask(unsigned button) {
        return button >= 1 && button <= 5 ? Button1Mask << (button - 1) : 0;
    }

    // The press under way ends without its release.
    void cancelPress() {
        heldButtons = 0;
        events->platformOnMouseCancel();
    }

    void takeFocus(Time time) {
        if (destroyed) return;
        // Fails (harmlessly) while the window is not viewable.
        X11::ErrorTrap trap(display);
        XSetInputFocus(display, window, RevertToParent, time);
    }

    Display* display;
    Window parent;
    Window window;
    int width;
    int height;
    IWindowEvents* events;
    cairo_surface_t* target = nullptr;
    cairo_surface_t* kept = nullptr;
    bool destroyed = false;
    // State bits of the buttons pressed here and not yet released.
    unsigned heldButtons = 0;
    // Cleared by the destructor: a frame call made from pumpEvents() may
    // end up closing the frame and this window with it.
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
    X11::PopupMenus popups;
    X11::TooltipWindow tooltip;
};

} // namespace

std::unique_ptr<IWindow> createChildWindow(void* parent, int width, int height,
                                           IWindowEvents* events) {
    if (!parent || !events || width <= 0 || height <= 0) return nullptr;
    Display* display = X11::openDisplay();
    if (!display) return nullptr;
    X11::acquireErrorHandler();
    const Window parentWindow = static_cast<Window>(reinterpret_cast<uintptr_t>(parent));

    Window window = 0;
    Visual* visual = nullptr;
    {
        X11::ErrorTrap trap(display);
        XWindowAttributes attributes{};
        if (XGetWindowAttributes(display, parentWindow, &attributes) && !trap.failed()) {
            // The screen's own visual, whatever the host's window uses: the
            // window then needs its own colormap and border pixel.
            Screen* screen = attributes.screen;
            visual = DefaultVisualOfScreen(screen);
            XSetWindowAttributes set{};
            set.background_pixel = BlackPixelOfScreen(screen);
            set.border_pixel = 0;
            set.colormap = DefaultColormapOfScreen(screen);
            set.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask |
                             PointerMotionMask | EnterWindowMask | LeaveWindowMask | KeyPressMask |
                             KeyReleaseMask | StructureNotifyMask | FocusChangeMask;
            window = XCreateWindow(display, parentWindow, 0, 0, static_cast<unsigned>(width),
                                   static_cast<unsigned>(height), 0, DefaultDepthOfScreen(screen),
                                   InputOutput, visual,
                                   CWBackPixel | CWBorderPixel | CWColormap | CWEventMask, &set);
            if (trap.failed()) window = 0;
            if (window) {
                XMapWindow(display, window);
                if (trap.failed()) {
                    XDestroyWindow(display, window);
                    window = 0;
                }
            }
        }
    }
    if (!window) {
        X11::closeDisplay(display);
        X11::releaseErrorHandler();
        return nullptr;
    }
    XFlush(display);
    return std::make_unique<X11Window>(display, parentWindow, window, visual, width, height,
                                       events);
}

} // namespace VSTGUI::Platform
