// `ondix-host edit`: the plug-in's editor in a top-level window of the host's
// own, as a DAW shows it. The editor gets our window as its parent through
// effEditOpen, effEditIdle about 50 times a second, and the audio keeps
// running silently at real-time pace (processReplacing, output discarded), so
// whatever the editor changes travels through the plug-in as it would in a
// real host. No audio device is opened.
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
int xErrorCount = 0;
int countXError(Display*, XErrorEvent*) {
    ++xErrorCount;
    return 0;
}

// Ctrl-C and kill end the session like closing the window: the editor is
// closed and the plug-in unloaded properly.
std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free); // set in a signal handler
void requestStop(int) {
    stopRequested.store(true, std::memory_order_relaxed);
}

class SignalsEndTheSession {
public:
    SignalsEndTheSession() {
        stopRequested.store(false, std::memory_order_relaxed);
        struct sigaction action {};
        action.sa_handler = requestStop;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &previousInt_);
        sigaction(SIGTERM, &action, &previousTerm_);
    }
    ~SignalsEndTheSession() {
        sigaction(SIGINT, &previousInt_, nullptr);
        sigaction(SIGTERM, &previousTerm_, nullptr);
    }
    SignalsEndTheSession(const SignalsEndTheSession&) = delete;
    SignalsEndTheSession& operator=(const SignalsEndTheSession&) = delete;

private:
    struct sigaction previousInt_ {};
    struct sigaction previousTerm_ {};
};

// The display connection and the top-level window the editor lives in.
class HostWindow {
public:
    HostWindow() = default;
    ~HostWindow() {
        if (!display_) return;
        if (window_) XDestroyWindow(display_, window_);
        XSync(display_, False);
        XSetErrorHandler(previousHandler_);
        XCloseDisplay(display_);
    }
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    bool connect() {
        display_ = XOpenDisplay(nullptr);
        if (!display_) return false;
        previousHandler_ = XSetErrorHandler(countXError);
        return true;
    }

    Display* display() const { return display_; }
    Window window() const { return window_; }

    bool create(int width, int height, const std::string& title) {
        const int screen = DefaultScreen(display_);
        window_ =
            XCreateSimpleWindow(display_, RootWindow(display_, screen), 0, 0,
                                static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
                                BlackPixel(display_, screen), BlackPixel(display_, screen));
        if (!window_) return false;
        XSelectInput(display_, window_, StructureNotifyMask);
        fixSize(width, height);

        XStoreName(display_, window_, title.c_str());
        Atom utf8 = XInternAtom(display_, "UTF8_STRING", False);
        XChangeProperty(display_, window_, XInternAtom(display_, "_NET_WM_NAME", False), utf8, 8,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(title.data()),
                        static_cast<int>(title.size()));
        XClassHint classHint{};
        std::string name = "ondix-host";
        classHint.res_name = name.data();
        classHint.res_class = name.data();
        XSetClassHint(display_, window_, &classHint);

        deleteWindow_ = XInternAtom(display_, "WM_DELETE_WINDOW", False);
        XSetWMProtocols(display_, window_, &deleteWindow_, 1);
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
    // asked to close it.
    bool handleEvents() {
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            if (event.type == ClientMessage && event.xclient.window == window_ &&
                event.xclient.format == 32 &&
                static_cast<Atom>(event.xclient.data.l[0]) == deleteWindow_) {
                closeRequested_ = true;
            } else if (event.type == DestroyNotify && event.xdestroywindow.window == window_) {
                window_ = 0; // someone else destroyed it
                closeRequested_ = true;
            }
        }
        return !closeRequested_;
    }

    // Sleeps until an event arrives on the connection or `timeout` has passed.
    void waitForEvents(Clock::duration timeout) {
        XFlush(display_);
        if (XPending(display_) > 0) return;
        auto ms = std::chrono::ceil<std::chrono::milliseconds>(timeout).count();
        pollfd fd{ConnectionNumber(display_), POLLIN, 0};
        poll(&fd, 1, static_cast<int>(std::clamp<int64_t>(ms, 0, 1000)));
    }

private:
    Display* display_ = nullptr;
    Window window_ = 0;
    Atom deleteWindow_ = 0;
    bool closeRequested_ = false;
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

// The session's end, kept while the plug-in holds the main thread. A modal
// dialog of the plug-in (a message box, a file chooser: programs it runs
// and waits for inside the idle or event call) keeps the loop below from
// coming round; once the end is due (--seconds has passed, or a signal asked
// to stop) and the loop has not reached it shortly after, the programs the
// plug-in is waiting for are asked to end (SIGTERM), as the user closing the
// dialog would, again and again until the loop is out.
class SessionEnd {
public:
    explicit SessionEnd(std::optional<Clock::time_point> end)
        : end_(end), watcher_([this] { watch(); }) {}
    ~SessionEnd() {
        done_.store(true, std::memory_order_relaxed);
        watcher_.join();
    }
    SessionEnd(const SessionEnd&) = delete;
    SessionEnd& operator=(const SessionEnd&) = delete;

private:
    static constexpr auto kPoll = std::chrono::milliseconds(50);
    static constexpr auto kGrace = std::chrono::milliseconds(250);

    void watch() {
        std::optional<Clock::time_point> due = end_;
        while (!done_.load(std::memory_order_relaxed)) {
            std::this_thread::sleep_for(kPoll);
            const Clock::time_point now = Clock::now();
            // A signal brings the end forward, whether or not --seconds set one.
            if (stopRequested.load(std::memory_order_relaxed) && (!due || *due > now)) due = now;
            if (!due || now < *due + kGrace || done_.load(std::memory_order_relaxed)) continue;
            for (const pid_t child : childProcesses()) ::kill(child, SIGTERM);
        }
    }

    std::optional<Clock::time_point> end_;
    std::atomic<bool> done_{false};
    std::thread watcher_;
};

// effEditClose on the way out, whatever way that is.
class OpenEditor {
public:
    explicit OpenEditor(Plugin& plugin) : plugin_(plugin) {}
    ~OpenEditor() {
        plugin_.dispatch(effEditClose);
        plugin_.setWindowSizer(nullptr);
    }
    OpenEditor(const OpenEditor&) = delete;
    OpenEditor& operator=(const OpenEditor&) = delete;

private:
    Plugin& plugin_;
};

// Silent audio at real-time pace: the blocks due by now are processed, as
// calls of the real-time thread, and their output is dropped.
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

    bool enabled() const { return plugin_.effect().processReplacing != nullptr; }

    void start(Clock::time_point now) { start_ = now; }

    void runUntil(Clock::time_point now) {
        if (!enabled()) return;
        const double rate = plugin_.settings().sampleRate;
        const int32_t blockSize = plugin_.settings().blockSize;
        const auto due =
            static_cast<int64_t>(std::chrono::duration<double>(now - start_).count() * rate);
        if (due - frames_ > static_cast<int64_t>(kMaxAudioLagSeconds * rate) + blockSize) {
            skipped_ += due - blockSize - frames_;
            frames_ = due - blockSize;
        }
        const ProcessLevel realTime(kVstProcessLevelRealtime);
        while (frames_ + blockSize <= due) {
            for (auto& channel : outputs_) std::fill(channel.begin(), channel.end(), 0.0f);
            plugin_.processReplacing(inputPointers_.data(), outputPointers_.data(), blockSize);
            frames_ += blockSize;
            ++blocks_;
        }
    }

    // When the next block is due.
    Clock::time_point nextBlock() const {
        const double rate = plugin_.settings().sampleRate;
        const double at = static_cast<double>(frames_ + plugin_.settings().blockSize) / rate;
        return start_ +
               std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(at));
    }

    uint64_t blocks() const { return blocks_; }
    int64_t skippedFrames() const { return skipped_; }

private:
    Plugin& plugin_;
    std::vector<std::vector<float>> inputs_, outputs_;
    std::vector<float*> inputPointers_, outputPointers_;
    Clock::time_point start_;
    int64_t frames_ = 0; // processed (or skipped) since start()
    int64_t skipped_ = 0;
    uint64_t blocks_ = 0;
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

} // namespace

int runEdit(const EditOptions& options) {
    // The main thread is the user's, but for the audio calls (SilentAudio).
    const ProcessLevel user(kVstProcessLevelUser);
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

    plugin->setWindowSizer([&host](int32_t w, int32_t h) { return host.resize(w, h); });
    void* parent = reinterpret_cast<void*>(static_cast<uintptr_t>(host.window()));
    if (plugin->dispatch(effEditOpen, 0, 0, parent) == 0) {
        plugin->setWindowSizer(nullptr);
        reportError(options.pluginPath + " could not open its editor");
        return kExitFailure;
    }
    OpenEditor editor(*plugin);
    SignalsEndTheSession signals;

    SilentAudio audio(*plugin);
    const Clock::time_point start = Clock::now();
    std::optional<Clock::time_point> end;
    if (options.seconds) {
        end = start + std::chrono::duration_cast<Clock::duration>(
                          std::chrono::duration<double>(*options.seconds));
    }
    audio.start(start);
    Clock::time_point nextIdle = start;
    uint64_t idles = 0;
    // Runs the session (events, audio, idle calls) until `until`, the window
    // is closed or `done` says so.
    auto run = [&](Clock::time_point until, const auto& done) {
        for (;;) {
            if (!host.handleEvents() || done()) return;
            const Clock::time_point now = Clock::now();
            if (now >= until) return;
            audio.runUntil(now);
            if (now >= nextIdle) {
                plugin->dispatch(effEditIdle);
                ++idles;
                nextIdle += kIdleInterval;
                if (nextIdle <= now) nextIdle = now + kIdleInterval;
            }
            Clock::time_point wake = std::min(nextIdle, until);
            if (audio.enabled()) wake = std::min(wake, audio.nextBlock());
            host.waitForEvents(wake - Clock::now());
        }
    };
    const SessionEnd sessionEnd(end); // also over the wait for the snapshot below
    run(end.value_or(Clock::time_point::max()),
        [] { return stopRequested.load(std::memory_order_relaxed); });
    const double ran = std::chrono::duration<double>(Clock::now() - start).count();

    if (!options.snapshot.empty()) {
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
        plugin->dispatch(effEditIdle);
        std::this_thread::sleep_for(kIdleInterval);
        XSync(host.display(), False);
        if (!writeSnapshot(host, options.snapshot, error)) {
            reportError(error);
            return kExitFailure;
        }
    }

    if (options.verbose) {
        std::cerr << "ondix-host: editor " << formatInt(width) << "x" << formatInt(height)
                  << " open for " << formatFixed(ran, 3) << " s, "
                  << formatInt(static_cast<int64_t>(idles)) << " idle calls, "
                  << formatInt(static_cast<int64_t>(audio.blocks())) << " audio blocks";
        if (audio.skippedFrames() > 0) {
            std::cerr << " (" << formatInt(audio.skippedFrames()) << " frames skipped to keep up)";
        }
        if (xErrorCount > 0) std::cerr << ", " << formatInt(xErrorCount) << " X errors";
        std::cerr << '\n';
        reportCallbacks(plugin->counts());
    }
    return kExitOk;
}

} // namespace ondix::host
