// `ondix-host edit`: the plug-in's editor in a top-level window of the host's
// own, as a DAW shows it. The editor gets our window as its parent through
// effEditOpen, effEditIdle about 50 times a second, and the audio keeps
// running silently at real-time pace on a thread of its own (processReplacing,
// output discarded), so whatever the editor changes travels through the
// plug-in as it would in a real host. No audio device is opened.
#include "commands.h"
#include "numbers.h"

#include "platform/file_io.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cairo.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <dirent.h>
#include <fstream>
#include <iostream>
#include <optional>
#include <poll.h>
#include <signal.h>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace ondix::host {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kIdleInterval = std::chrono::milliseconds(20); // effEditIdle 50 times a second
constexpr auto kMapTimeout = std::chrono::seconds(5);
// How long a snapshot waits for the editor to draw at all.
constexpr auto kFirstDrawTimeout = std::chrono::seconds(5);
// Audio more than this far behind real time (a slow debug build, a stopped
// process) is skipped rather than caught up in a burst.
constexpr double kMaxAudioLagSeconds = 0.25;

// Xlib's default error handler ends the process; ours only counts. The
// requests that can fail (reading the window's pixels) check their results.
std::atomic<int> xErrorCount{0};
int countXError(Display*, XErrorEvent*) {
    xErrorCount.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

// Ctrl-C, kill, a closed terminal and the other signals sent to end the
// process (not the profilers' timers) end the session like closing the
// window: the editor is closed and the plug-in unloaded properly. The first
// such signal is kept.
constexpr int kEndingSignals[] = {SIGHUP,  SIGINT,  SIGQUIT, SIGTERM, SIGUSR1,
                                  SIGUSR2, SIGALRM, SIGXCPU, SIGXFSZ};
std::atomic<int> endingSignal{0};
static_assert(std::atomic<int>::is_always_lock_free); // set in a signal handler
void requestStop(int signal) {
    int none = 0;
    endingSignal.compare_exchange_strong(none, signal, std::memory_order_relaxed);
}
int stopSignal() {
    return endingSignal.load(std::memory_order_relaxed);
}

// Signals someone chose to ignore (nohup, a background job) stay ignored.
class SignalsEndTheSession {
public:
    SignalsEndTheSession() {
        endingSignal.store(0, std::memory_order_relaxed);
        struct sigaction action {};
        action.sa_handler = requestStop;
        sigemptyset(&action.sa_mask);
        for (const int signal : kEndingSignals) {
            struct sigaction previous {};
            if (sigaction(signal, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN)
                continue;
            if (sigaction(signal, &action, nullptr) == 0) previous_.emplace_back(signal, previous);
        }
    }
    ~SignalsEndTheSession() {
        for (const auto& [signal, previous] : previous_) sigaction(signal, &previous, nullptr);
    }
    SignalsEndTheSession(const SignalsEndTheSession&) = delete;
    SignalsEndTheSession& operator=(const SignalsEndTheSession&) = delete;

private:
    std::vector<std::pair<int, struct sigaction>> previous_;
};

// The top-level window the editor lives in, and two display connections.
// The window belongs to the owner connection, which gets the window
// manager's close request and is read on the session's watch thread
// (SessionEnd), so a close is seen even while the plug-in holds the main
// thread in a modal loop. Everything else (mapping, resizing, the
// snapshot, the window's events) goes through the main connection, on the
// main thread.
class HostWindow {
public:
    HostWindow() = default;
    ~HostWindow() {
        if (display_ && window_ && !destroyed_.load(std::memory_order_relaxed))
            XDestroyWindow(display_, window_);
        if (display_) XSync(display_, False);
        if (owner_) XSync(owner_, False);
        if (display_ || owner_) XSetErrorHandler(previousHandler_);
        if (owner_) XCloseDisplay(owner_);
        if (display_) XCloseDisplay(display_);
    }
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    bool connect() {
        // The two connections are used on two threads.
        XInitThreads();
        display_ = XOpenDisplay(nullptr);
        if (display_) owner_ = XOpenDisplay(nullptr);
        if (!owner_) return false;
        previousHandler_ = XSetErrorHandler(countXError);
        return true;
    }

    Display* display() const { return display_; }
    Window window() const { return window_; }

    bool create(int width, int height, const std::string& title) {
        const int screen = DefaultScreen(owner_);
        window_ = XCreateSimpleWindow(owner_, RootWindow(owner_, screen), 0, 0,
                                      static_cast<unsigned>(width), static_cast<unsigned>(height),
                                      0, BlackPixel(owner_, screen), BlackPixel(owner_, screen));
        if (!window_) return false;
        XStoreName(owner_, window_, title.c_str());
        Atom utf8 = XInternAtom(owner_, "UTF8_STRING", False);
        XChangeProperty(owner_, window_, XInternAtom(owner_, "_NET_WM_NAME", False), utf8, 8,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(title.data()),
                        static_cast<int>(title.size()));
        XClassHint classHint{};
        std::string name = "ondix-host";
        classHint.res_name = name.data();
        classHint.res_class = name.data();
        XSetClassHint(owner_, window_, &classHint);
        deleteWindow_ = XInternAtom(owner_, "WM_DELETE_WINDOW", False);
        XSetWMProtocols(owner_, window_, &deleteWindow_, 1);
        // The main connection sees the window appear, change and go.
        XSync(owner_, False);
        XSelectInput(display_, window_, StructureNotifyMask);
        fixSize(width, height);
        return true;
    }

    // The window manager may not resize the window: the editor has a fixed size.
    void fixSize(int width, int height) {
        XSizeHints* hints = XAllocSizeHints();
        if (!hints) return;
        hints->flags = PMinSize | PMaxSize;
        hints->min_width = hints->max_width = width;
        hints->min_height = hints->max_height = height;
        XSetWMNormalHints(display_, window_, hints);
        XFree(hints);
    }

    bool resize(int width, int height) {
        fixSize(width, height);
        XResizeWindow(display_, window_, static_cast<unsigned>(width),
                      static_cast<unsigned>(height));
        XFlush(display_);
        return true;
    }

    // Maps the window and waits for the server (and window manager) to show it.
    bool mapAndWait() {
        XMapWindow(display_, window_);
        XFlush(display_);
        const auto deadline = Clock::now() + kMapTimeout;
        while (Clock::now() < deadline) {
            XEvent event;
            if (XCheckTypedWindowEvent(display_, window_, MapNotify, &event)) return true;
            waitForEvents(std::chrono::milliseconds(50));
        }
        return false;
    }

    // Handles the events that reached our own window; false once the user
    // asked to close it or it is gone.
    bool handleEvents() {
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            if (event.type == DestroyNotify && event.xdestroywindow.window == window_) {
                window_ = 0; // someone else destroyed it
                closeRequested_.store(true, std::memory_order_relaxed);
            }
        }
        return !closeRequested();
    }

    // Sleeps until an event arrives on the connection or `timeout` has passed.
    void waitForEvents(Clock::duration timeout) {
        XFlush(display_);
        if (XPending(display_) > 0) return;
        auto ms = std::chrono::ceil<std::chrono::milliseconds>(timeout).count();
        pollfd fd{ConnectionNumber(display_), POLLIN, 0};
        poll(&fd, 1, static_cast<int>(std::clamp<int64_t>(ms, 0, 1000)));
    }

    bool closeRequested() const { return closeRequested_.load(std::memory_order_relaxed); }

    // On the watch thread only, once the window exists: waits up to
    // `timeout` for the owner connection and notes a close request.
    void watchOwner(Clock::duration timeout) {
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(timeout).count();
        pollfd fd{ConnectionNumber(owner_), POLLIN, 0};
        if (XPending(owner_) == 0) poll(&fd, 1, static_cast<int>(ms));
        while (XPending(owner_) > 0) {
            XEvent event;
            XNextEvent(owner_, &event);
            if (event.type == ClientMessage && event.xclient.format == 32 &&
                static_cast<Atom>(event.xclient.data.l[0]) == deleteWindow_)
                closeRequested_.store(true, std::memory_order_relaxed);
        }
    }

    // On the watch thread only: destroys the window, the editor's window
    // with it, as a host closing the editor does.
    void destroyFromOwner(Window window) {
        destroyed_.store(true, std::memory_order_relaxed);
        XDestroyWindow(owner_, window);
        XFlush(owner_);
    }

private:
    Display* display_ = nullptr;
    Display* owner_ = nullptr;
    Window window_ = 0;
    Atom deleteWindow_ = 0;
    std::atomic<bool> closeRequested_{false};
    std::atomic<bool> destroyed_{false};
    XErrorHandler previousHandler_ = nullptr;
};

// The processes this one started: those whose parent it is.
std::vector<pid_t> childProcesses() {
    std::vector<pid_t> children;
    DIR* proc = ::opendir("/proc");
    if (!proc) return children;
    const pid_t self = ::getpid();
    while (const dirent* entry = ::readdir(proc)) {
        const std::string name = entry->d_name;
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
        // "pid (command) state ppid ...": the command may hold anything but
        // ends at the last ')'.
        std::ifstream stat("/proc/" + name + "/stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        const std::size_t close = line.rfind(')');
        if (close == std::string::npos) continue;
        char state = 0;
        long parent = 0;
        std::istringstream fields(line.substr(close + 1));
        if (fields >> state >> parent && parent == self)
            children.push_back(static_cast<pid_t>(std::stol(name)));
    }
    ::closedir(proc);
    return children;
}

// Sends signal to each process this one started and, for one that leads a
// process group (as a dialog's program does), to all of its group: a
// program that runs the dialog as a child of its own ends with it.
void signalChildren(int signal) {
    for (const pid_t child : childProcesses()) {
        if (::getpgid(child) == child)
            ::kill(-child, signal);
        else
            ::kill(child, signal);
    }
}

// The session's end, kept while the plug-in holds the main thread. A modal
// loop of the plug-in (a popup menu; a message box or file chooser, programs
// it runs and waits for) runs inside an editor call and keeps the session's
// loop from coming round. Once the end is due (a signal, the window closed,
// --seconds passed) and a call of the plug-in has gone on for a moment
// since, the programs the plug-in waits for are asked to end (SIGTERM), as
// the user closing the dialog would; should that not bring the call back
// either, they are killed (SIGKILL) and the window is destroyed, and the
// editor's with it, as a host closing the editor does: the plug-in's menus
// end with their window.
class SessionEnd {
public:
    explicit SessionEnd(HostWindow& host) : host_(host), window_(host.window()) {
        watcher_ = std::thread([this] { watch(); });
    }
    ~SessionEnd() {
        done_.store(true, std::memory_order_relaxed);
        watcher_.join();
    }
    SessionEnd(const SessionEnd&) = delete;
    SessionEnd& operator=(const SessionEnd&) = delete;

    void setDeadline(Clock::time_point deadline) {
        deadline_.store(deadline.time_since_epoch().count(), std::memory_order_relaxed);
    }

    // Makes an editor call of the plug-in, on the main thread.
    template <typename Call> void callPlugin(const Call& call) {
        calls_.fetch_add(1, std::memory_order_relaxed);
        inPlugin_.store(true, std::memory_order_relaxed);
        call();
        inPlugin_.store(false, std::memory_order_relaxed);
    }

    bool windowDestroyed() const { return windowDestroyed_.load(std::memory_order_relaxed); }

private:
    static constexpr auto kPoll = std::chrono::milliseconds(50);
    static constexpr auto kGrace = std::chrono::milliseconds(250);

    bool due(Clock::time_point now) const {
        const Clock::time_point deadline{
            Clock::duration(deadline_.load(std::memory_order_relaxed))};
        return stopSignal() != 0 || host_.closeRequested() || now >= deadline;
    }

    void watch() {
        // Since when the session is due and the same call still going on (max: not).
        Clock::time_point heldSince = Clock::time_point::max();
        uint64_t call = 0;
        while (!done_.load(std::memory_order_relaxed)) {
            host_.watchOwner(kPoll);
            const Clock::time_point now = Clock::now();
            const uint64_t latest = calls_.load(std::memory_order_relaxed);
            if (!due(now) || !inPlugin_.load(std::memory_order_relaxed) || latest != call) {
                call = latest;
                heldSince = Clock::time_point::max();
                continue;
            }
            heldSince = std::min(heldSince, now);
            if (now < heldSince + kGrace || done_.load(std::memory_order_relaxed)) continue;
            if (now < heldSince + 2 * kGrace) {
                signalChildren(SIGTERM);
                continue;
            }
            signalChildren(SIGKILL);
            if (!windowDestroyed()) {
                windowDestroyed_.store(true, std::memory_order_relaxed);
                host_.destroyFromOwner(window_);
            }
        }
    }

    HostWindow& host_;
    const Window window_;
    std::atomic<Clock::rep> deadline_{Clock::time_point::max().time_since_epoch().count()};
    std::atomic<uint64_t> calls_{0};
    std::atomic<bool> inPlugin_{false};
    std::atomic<bool> windowDestroyed_{false};
    std::atomic<bool> done_{false};
    std::thread watcher_;
};

// effEditClose on the way out, whatever way that is.
class OpenEditor {
public:
    OpenEditor(Plugin& plugin, SessionEnd& sessionEnd) : plugin_(plugin), sessionEnd_(sessionEnd) {}
    ~OpenEditor() {
        sessionEnd_.callPlugin([this] { plugin_.dispatch(effEditClose); });
        plugin_.setWindowSizer(nullptr);
    }
    OpenEditor(const OpenEditor&) = delete;
    OpenEditor& operator=(const OpenEditor&) = delete;

private:
    Plugin& plugin_;
    SessionEnd& sessionEnd_;
};

// Silent audio at real-time pace on a thread of its own, as a host's audio
// device drives it: each block is processed when it is due, as calls of the
// real-time thread, and its output is dropped. The editor's calls and its
// modal loops on the main thread hold none of it up. No events are sent.
class SilentAudio {
public:
    explicit SilentAudio(Plugin& plugin) : plugin_(plugin) {
        const AEffect& effect = plugin.effect();
        const int32_t blockSize = plugin.settings().blockSize;
        // At least two of each whatever the plug-in declares, as for render.
        inputs_.assign(std::max<VstInt32>(effect.numInputs, 2),
                       std::vector<float>(blockSize, 0.0f));
        outputs_.assign(std::max<VstInt32>(effect.numOutputs, 2),
                        std::vector<float>(blockSize, 0.0f));
        for (auto& channel : inputs_) inputPointers_.push_back(channel.data());
        for (auto& channel : outputs_) outputPointers_.push_back(channel.data());
    }
    // Stops it before the plug-in is suspended and closed.
    ~SilentAudio() { stop(); }
    SilentAudio(const SilentAudio&) = delete;
    SilentAudio& operator=(const SilentAudio&) = delete;

    // The plug-in must be resumed.
    void start(Clock::time_point now) {
        if (plugin_.effect().processReplacing == nullptr) return;
        start_ = now;
        thread_ = std::thread([this] { run(); });
    }

    // Waits for the block in progress; the counts are final afterwards.
    void stop() {
        stopping_.store(true, std::memory_order_relaxed);
        if (thread_.joinable()) thread_.join();
    }

    uint64_t blocks() const { return blocks_; }
    int64_t skippedFrames() const { return skipped_; }

private:
    // The longest sleep, so that stop() is not kept waiting by long blocks.
    static constexpr auto kLongestSleep = std::chrono::milliseconds(20);

    void run() {
        const ProcessLevel realTime(kVstProcessLevelRealtime);
        const double rate = plugin_.settings().sampleRate;
        const int32_t blockSize = plugin_.settings().blockSize;
        while (!stopping_.load(std::memory_order_relaxed)) {
            const auto due = static_cast<int64_t>(
                std::chrono::duration<double>(Clock::now() - start_).count() * rate);
            if (due - frames_ > static_cast<int64_t>(kMaxAudioLagSeconds * rate) + blockSize) {
                skipped_ += due - blockSize - frames_;
                frames_ = due - blockSize;
            }
            while (frames_ + blockSize <= due && !stopping_.load(std::memory_order_relaxed)) {
                for (auto& channel : outputs_) std::fill(channel.begin(), channel.end(), 0.0f);
                plugin_.processReplacing(inputPointers_.data(), outputPointers_.data(), blockSize);
                frames_ += blockSize;
                ++blocks_;
            }
            // Until the next block is due.
            const double at = static_cast<double>(frames_ + blockSize) / rate;
            const Clock::time_point next = start_ + std::chrono::duration_cast<Clock::duration>(
                                                        std::chrono::duration<double>(at));
            std::this_thread::sleep_until(std::min(next, Clock::now() + kLongestSleep));
        }
    }

    Plugin& plugin_;
    std::vector<std::vector<float>> inputs_, outputs_;
    std::vector<float*> inputPointers_, outputPointers_;
    Clock::time_point start_;
    // The audio thread's own until stop() has joined it.
    int64_t frames_ = 0; // processed (or skipped) since start()
    int64_t skipped_ = 0;
    uint64_t blocks_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

// One colour channel of a TrueColor pixel, scaled to 8 bits.
uint32_t channel(unsigned long pixel, unsigned long mask) {
    if (mask == 0) return 0;
    const int shift = std::countr_zero(mask);
    const int bits = std::popcount(mask);
    const unsigned long value = (pixel & mask) >> shift;
    if (bits >= 8) return static_cast<uint32_t>(value >> (bits - 8));
    return static_cast<uint32_t>(value * 255 / ((1ul << bits) - 1));
}

// The window's pixels, its children's included, as they are on screen
// (TrueColor only). Null, with error set, when they cannot be read.
XImage* captureWindow(HostWindow& host, std::string& error) {
    Display* display = host.display();
    XWindowAttributes attributes{};
    if (!host.window() || !XGetWindowAttributes(display, host.window(), &attributes)) {
        error = "cannot read the window's attributes";
        return nullptr;
    }
    if (attributes.visual->c_class != TrueColor ||
        (attributes.depth != 24 && attributes.depth != 32)) {
        error = "cannot take a snapshot of a " + formatInt(attributes.depth) +
                "-bit display that is not TrueColor";
        return nullptr;
    }
    // Fails (BadMatch) when part of the window is off the screen.
    XImage* image = XGetImage(display, host.window(), 0, 0, static_cast<unsigned>(attributes.width),
                              static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    if (!image) error = "cannot read the window's pixels (is all of it on the screen?)";
    return image;
}

// Whether the window shows one flat colour, as it does before anything is
// drawn in it. False when its pixels cannot be read.
bool showsOneColour(HostWindow& host) {
    std::string error;
    XImage* image = captureWindow(host, error);
    if (!image) return false;
    const unsigned long first = XGetPixel(image, 0, 0);
    bool flat = true;
    for (int y = 0; y < image->height && flat; ++y)
        for (int x = 0; x < image->width && flat; ++x) flat = XGetPixel(image, x, y) == first;
    XDestroyImage(image);
    return flat;
}

// The window's pixels into a PNG file. Prints "FILE WxH".
bool writeSnapshot(HostWindow& host, const std::string& path, std::string& error) {
    XImage* image = captureWindow(host, error);
    if (!image) return false;
    const int width = image->width, height = image->height;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        XDestroyImage(image);
        error = "cannot make a " + formatInt(width) + "x" + formatInt(height) + " image";
        return false;
    }
    cairo_surface_flush(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
        for (int x = 0; x < width; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            row[x] = 0xFF000000u | channel(pixel, image->red_mask) << 16 |
                     channel(pixel, image->green_mask) << 8 | channel(pixel, image->blue_mask);
        }
    }
    cairo_surface_mark_dirty(surface);
    XDestroyImage(image);

    // Encoded in memory, then saved whole: a failure leaves no partial file.
    std::string png;
    const cairo_status_t status = cairo_surface_write_to_png_stream(
        surface,
        [](void* closure, const unsigned char* data, unsigned int length) {
            static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
            return CAIRO_STATUS_SUCCESS;
        },
        &png);
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS) {
        error = "cannot write " + path + ": " + cairo_status_to_string(status);
        return false;
    }
    if (!writeFileDurably(path, png, error)) return false;
    std::cout << path << ' ' << formatInt(width) << 'x' << formatInt(height) << std::endl;
    return true;
}

// The session; endedBy is the signal that ended it, if one did.
int runEditSession(const EditOptions& options, int& endedBy) {
    // The main thread is the user's; the audio calls have their own (SilentAudio).
    const ProcessLevel user(kVstProcessLevelUser);
    // Before the plug-in opens: its first settings save may meet a file-size
    // limit (SIGXFSZ), and it must finish that save as it would any other.
    SignalsEndTheSession signals;
    std::string error;
    // The snapshot's place is checked before the session, not after it.
    if (!options.snapshot.empty() && !canWriteFileDurably(options.snapshot, error)) {
        reportError(error);
        return kExitFailure;
    }
    auto plugin = Plugin::load(options.pluginPath, options.host, error);
    if (!plugin) {
        reportError(error);
        return kExitFailure;
    }
    plugin->open();
    plugin->resume();
    if (!(plugin->effect().flags & effFlagsHasEditor)) {
        reportError(options.pluginPath + " has no editor");
        return kExitFailure;
    }

    HostWindow host;
    if (!host.connect()) {
        reportError("no X display (DISPLAY is not set or the server cannot be reached)");
        return kExitFailure;
    }
    ERect* rect = nullptr;
    plugin->dispatch(effEditGetRect, 0, 0, &rect);
    const int width = rect ? rect->right - rect->left : 0;
    const int height = rect ? rect->bottom - rect->top : 0;
    if (width <= 0 || height <= 0) {
        reportError(options.pluginPath + " reports no editor size");
        return kExitFailure;
    }
    std::string name = plugin->queryString(effGetEffectName);
    if (name.empty()) name = plugin->queryString(effGetProductString);
    const std::string title = (name.empty() ? "Plug-in" : name) + " - ondix-host";
    if (!host.create(width, height, title)) {
        reportError("cannot create a window");
        return kExitFailure;
    }
    if (!host.mapAndWait()) {
        reportError("the window did not appear on the screen");
        return kExitFailure;
    }

    // From here on a modal loop of the plug-in cannot hold the session past its end.
    SessionEnd sessionEnd(host);
    plugin->setWindowSizer([&host](int32_t w, int32_t h) { return host.resize(w, h); });
    void* parent = reinterpret_cast<void*>(static_cast<uintptr_t>(host.window()));
    bool opened = false;
    sessionEnd.callPlugin([&] { opened = plugin->dispatch(effEditOpen, 0, 0, parent) != 0; });
    if (!opened) {
        plugin->setWindowSizer(nullptr);
        reportError(options.pluginPath + " could not open its editor");
        return kExitFailure;
    }
    OpenEditor editor(*plugin, sessionEnd);

    SilentAudio audio(*plugin);
    const Clock::time_point start = Clock::now();
    std::optional<Clock::time_point> end;
    if (options.seconds) {
        end = start + std::chrono::duration_cast<Clock::duration>(
                          std::chrono::duration<double>(*options.seconds));
        sessionEnd.setDeadline(*end);
    }
    // The plug-in was resumed before the editor opened.
    audio.start(start);
    Clock::time_point nextIdle = start;
    uint64_t idles = 0;
    // Runs the session (events, idle calls) until `until`, the window
    // is closed, a signal ends it or `done` says so.
    auto run = [&](Clock::time_point until, const auto& done) {
        for (;;) {
            if (!host.handleEvents() || stopSignal() != 0 || done()) return;
            const Clock::time_point now = Clock::now();
            if (now >= until) return;
            if (now >= nextIdle) {
                sessionEnd.callPlugin([&] { plugin->dispatch(effEditIdle); });
                ++idles;
                nextIdle += kIdleInterval;
                if (nextIdle <= now) nextIdle = now + kIdleInterval;
            }
            host.waitForEvents(std::min(nextIdle, until) - Clock::now());
        }
    };
    run(end.value_or(Clock::time_point::max()), [] { return false; });
    const double ran = std::chrono::duration<double>(Clock::now() - start).count();

    // A signal leaves every output as it was: no snapshot is taken once one
    // has come (one that comes later finds the snapshot written).
    bool snapshotTaken = false;
    if (!options.snapshot.empty() && stopSignal() == 0) {
        // The editor draws in its idle calls, not necessarily the first: a
        // session too short for it to draw goes on until the window shows
        // more than one flat colour (how a window looks before anything is
        // drawn in it), for kFirstDrawTimeout at most.
        uint64_t lookedAt = 0;
        run(Clock::now() + kFirstDrawTimeout, [&] {
            if (idles == lookedAt) return false;
            lookedAt = idles;
            XSync(host.display(), False);
            return !showsOneColour(host);
        });
        // One more idle pass so that the editor is up to date, and a moment
        // for the server to draw what it sent over its own connection.
        if (stopSignal() == 0) {
            sessionEnd.callPlugin([&] { plugin->dispatch(effEditIdle); });
            std::this_thread::sleep_for(kIdleInterval);
            XSync(host.display(), False);
        }
        host.handleEvents();
        if (stopSignal() == 0) {
            if (sessionEnd.windowDestroyed() || !host.window())
                error = "no snapshot: the window was closed while the editor held it";
            else
                snapshotTaken = writeSnapshot(host, options.snapshot, error);
            if (!snapshotTaken) {
                reportError(error);
                return kExitFailure;
            }
        }
    }

    audio.stop();
    if (options.verbose) {
        std::cerr << "ondix-host: editor " << formatInt(width) << "x" << formatInt(height)
                  << " open for " << formatFixed(ran, 3) << " s, "
                  << formatInt(static_cast<int64_t>(idles)) << " idle calls, "
                  << formatInt(static_cast<int64_t>(audio.blocks())) << " audio blocks";
        if (audio.skippedFrames() > 0) {
            std::cerr << " (" << formatInt(audio.skippedFrames()) << " frames skipped to keep up)";
        }
        if (const int errors = xErrorCount.load(); errors > 0)
            std::cerr << ", " << formatInt(errors) << " X errors";
        std::cerr << '\n';
        reportCallbacks(plugin->counts());
    }
    // With a snapshot asked for and not taken, a signal means the run did
    // not complete.
    if (!options.snapshot.empty() && !snapshotTaken) endedBy = stopSignal();
    return kExitOk;
}

} // namespace

int runEdit(const EditOptions& options) {
    int endedBy = 0;
    const int status = runEditSession(options, endedBy);
    if (endedBy == 0) return status;
    // Everything is closed and unloaded: the signal ends the program as it
    // would have, or as a shell reports that when it is handled elsewhere.
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(endedBy, &action, nullptr);
    sigset_t unblock;
    sigemptyset(&unblock);
    sigaddset(&unblock, endedBy);
    pthread_sigmask(SIG_UNBLOCK, &unblock, nullptr);
    raise(endedBy);
    return 128 + endedBy;
}

} // namespace ondix::host
