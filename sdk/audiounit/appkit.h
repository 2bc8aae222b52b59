// The part of AppKit an AudioUnit's Cocoa view stands on, for this
// platform: geometry records, a view handle with its native window, a panel
// record, a window controller, and timers on a run loop.
//
// Nothing here draws. A view has an X11 window of its own (not mapped; the
// host reparents it into its window) when the process has a display and
// has not asked for headless views; otherwise it has none, and what it
// hosts lives off screen. A panel is a record of the window a desktop would
// show; this layer never puts it on screen.
//
// The run loop runs on simulated time: advance(seconds) fires every timer
// that falls due within that time, in time order, as the main run loop of
// a host would over that time. A host calls it from its own loop; tests
// step it exactly. Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct NSPoint {
    double x = 0.0;
    double y = 0.0;
};
struct NSSize {
    double width = 0.0;
    double height = 0.0;
};
struct NSRect {
    NSPoint origin;
    NSSize size;
};

enum : unsigned long {
    NSWindowStyleMaskTitled = 1,
    NSWindowStyleMaskClosable = 2,
    NSWindowStyleMaskUtilityWindow = 16,
};
enum NSBackingStoreType : unsigned long {
    NSBackingStoreRetained = 0,
    NSBackingStoreNonretained = 1,
    NSBackingStoreBuffered = 2,
};

class NSView;

// What a panel would be on a desktop.
struct NSPanel {
    NSRect contentRect;
    unsigned long styleMask = 0;
    NSBackingStoreType backing = NSBackingStoreBuffered;
    bool deferred = false;
    bool releasedWhenClosed = false;
    bool hidesOnDeactivate = false;
    bool centred = false;
    std::string title;
    NSView* contentView = nullptr; // not owned
};

class NSWindowController {
public:
    explicit NSWindowController(std::unique_ptr<NSPanel> window) : window_(std::move(window)) {}
    virtual ~NSWindowController() = default;
    NSWindowController(const NSWindowController&) = delete;
    NSWindowController& operator=(const NSWindowController&) = delete;
    NSPanel* window() const { return window_.get(); }

private:
    std::unique_ptr<NSPanel> window_;
};

class NSView {
public:
    // With a native window when the process has a display and views are
    // not headless.
    explicit NSView(NSRect frame);
    ~NSView();
    NSView(const NSView&) = delete;
    NSView& operator=(const NSView&) = delete;
    const NSRect& frame() const { return frame_; }
    // The X11 window id, or 0 for a view without a window.
    unsigned long nativeWindow() const { return window_; }

private:
    NSRect frame_;
    void* display_ = nullptr;
    unsigned long window_ = 0;
};

// Views made from now on have no native window, whatever the display
// (tests, tools); false gives them one again where a display is.
void NSViewSetHeadless(bool headless);

class NSTimer {
public:
    void invalidate() { valid_ = false; }
    bool isValid() const { return valid_; }
    double timeInterval() const { return interval_; }

private:
    friend class NSRunLoop;
    double interval_ = 0.0;
    bool repeats_ = false;
    bool valid_ = true;
    double start_ = 0.0;
    uint64_t fired_ = 0;
    std::function<void()> action_;
    double nextFire() const { return start_ + interval_ * static_cast<double>(fired_ + 1); }
};

class NSRunLoop {
public:
    // The main thread's run loop.
    static NSRunLoop& currentRunLoop();
    // A timer that fires interval seconds from now (and every interval
    // after, when it repeats) until it is invalidated. The run loop holds
    // it while it is valid; keep the pointer to invalidate it.
    std::shared_ptr<NSTimer> scheduledTimer(double interval, bool repeats,
                                            std::function<void()> action);
    // Runs the timers due within the next `seconds` of simulated time.
    void advance(double seconds);
    double now() const { return now_; }
    std::size_t timerCount() const { return timers_.size(); }

private:
    double now_ = 0.0;
    std::vector<std::shared_ptr<NSTimer>> timers_;
};
