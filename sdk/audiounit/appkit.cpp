// Views with their native windows, and the run loop's timers.
#include "audiounit/appkit.h"
#include "vstgui/platform/x11_display.h"

#include <X11/Xlib.h>

#include <algorithm>
#include <atomic>

namespace {

std::atomic<bool> headlessViews{false};

} // namespace

void NSViewSetHeadless(bool headless) {
    headlessViews.store(headless, std::memory_order_relaxed);
}

NSView::NSView(NSRect frame) : frame_(frame) {
    if (headlessViews.load(std::memory_order_relaxed)) return;
    const auto width = static_cast<unsigned>(std::max(1.0, frame.size.width));
    const auto height = static_cast<unsigned>(std::max(1.0, frame.size.height));
    Display* display = VSTGUI::X11::openDisplay();
    if (!display) return;
    const Window window =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, width, height, 0, 0,
                            BlackPixel(display, DefaultScreen(display)));
    XSync(display, False);
    if (!window) {
        VSTGUI::X11::closeDisplay(display);
        return;
    }
    display_ = display;
    window_ = window;
}

NSView::~NSView() {
    if (!display_) return;
    auto* display = static_cast<Display*>(display_);
    XDestroyWindow(display, window_);
    VSTGUI::X11::closeDisplay(display);
}

NSRunLoop& NSRunLoop::currentRunLoop() {
    static NSRunLoop mainLoop;
    return mainLoop;
}

std::shared_ptr<NSTimer> NSRunLoop::scheduledTimer(double interval, bool repeats,
                                                   std::function<void()> action) {
    auto timer = std::make_shared<NSTimer>();
    timer->interval_ = interval > 0.0 ? interval : 0.0001; // a timer of 0 s would never let go
    timer->repeats_ = repeats;
    timer->start_ = now_;
    timer->action_ = std::move(action);
    timers_.push_back(timer);
    return timer;
}

void NSRunLoop::advance(double seconds) {
    const double end = now_ + std::max(0.0, seconds);
    for (;;) {
        std::erase_if(timers_, [](const auto& t) { return !t->isValid(); });
        std::shared_ptr<NSTimer> due;
        for (const auto& t : timers_)
            if (t->nextFire() <= end && (!due || t->nextFire() < due->nextFire())) due = t;
        if (!due) break;
        now_ = due->nextFire();
        ++due->fired_;
        if (!due->repeats_) due->invalidate();
        // The action may invalidate timers or schedule new ones; due is
        // kept alive by this reference meanwhile.
        due->action_();
    }
    now_ = end;
}
