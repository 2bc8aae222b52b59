// A private Xvfb server for the tests of one suite, with helpers to make a
// host window and send it input. Tests skip when Xvfb cannot start.
#pragma once

#include "vstgui/cframe.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
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

// A private Xvfb for the tests of one suite; DISPLAY points at it meanwhile.
class XvfbTest : public ::testing::Test {
public:
    using Clock = std::chrono::steady_clock;

    static void SetUpTestSuite() { startSuite("1024x768x24"); }

    // A suite that needs another screen (WxHxDEPTH) starts its server so.
    static void startSuite(const std::string& screen) {
        const char* previous = std::getenv("DISPLAY");
        hadDisplay = previous != nullptr;
        oldDisplay = previous ? previous : "";
        startServer(screen);
        if (serverPid > 0) setenv("DISPLAY", displayName.c_str(), 1);
    }

    static void TearDownTestSuite() {
        if (serverPid > 0) {
            kill(serverPid, SIGTERM);
            int status = 0;
            waitpid(serverPid, &status, 0);
            serverPid = -1;
        }
        if (hadDisplay)
            setenv("DISPLAY", oldDisplay.c_str(), 1);
        else
            unsetenv("DISPLAY");
    }

protected:
    void SetUp() override {
        if (serverPid <= 0) GTEST_SKIP() << "no X server: Xvfb could not be started";
        dpy = XOpenDisplay(displayName.c_str());
        ASSERT_NE(dpy, nullptr);
        // Away from the screen origin, so that screen and window coordinates
        // differ.
        parent = makeParent(40, 30, 400, 300);
    }

    void TearDown() override {
        if (!dpy) return;
        if (parent) XDestroyWindow(dpy, parent);
        XCloseDisplay(dpy);
    }

    Window makeParent(int x, int y, unsigned w, unsigned h) {
        const int screen = DefaultScreen(dpy);
        Window window = XCreateSimpleWindow(dpy, RootWindow(dpy, screen), x, y, w, h, 0,
                                            BlackPixel(dpy, screen), WhitePixel(dpy, screen));
        XMapWindow(dpy, window);
        XSync(dpy, False);
        return window;
    }

    static Window childOf(VSTGUI::CFrame* frame) {
        return static_cast<Window>(frame->getPlatformWindow()->nativeHandle());
    }

    // Runs the frame's idle pass until done() or two seconds have passed.
    static bool idleUntil(VSTGUI::CFrame* frame, const std::function<bool()>& done) {
        const auto end = Clock::now() + std::chrono::seconds(2);
        while (Clock::now() < end) {
            frame->idle();
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

    void sendButton(Window window, int type, unsigned button, int x, int y, unsigned state) {
        XEvent event{};
        XButtonEvent& b = event.xbutton;
        b.type = type;
        b.display = dpy;
        b.window = window;
        b.root = DefaultRootWindow(dpy);
        b.time = CurrentTime;
        b.x = x;
        b.y = y;
        Window child = 0;
        XTranslateCoordinates(dpy, window, b.root, x, y, &b.x_root, &b.y_root, &child);
        b.state = state;
        b.button = button;
        b.same_screen = True;
        XSendEvent(dpy, window, False, type == ButtonPress ? ButtonPressMask : ButtonReleaseMask,
                   &event);
        XFlush(dpy);
    }

    void sendKey(Window window, KeySym keysym, unsigned state) {
        XEvent event{};
        XKeyEvent& k = event.xkey;
        k.type = KeyPress;
        k.display = dpy;
        k.window = window;
        k.root = DefaultRootWindow(dpy);
        k.time = CurrentTime;
        k.state = state;
        k.keycode = XKeysymToKeycode(dpy, keysym);
        k.same_screen = True;
        XSendEvent(dpy, window, False, KeyPressMask, &event);
        XFlush(dpy);
    }

    // The colour of one pixel of a window as 0xRRGGBB (24-bit TrueColor).
    unsigned long pixel(Window window, int x, int y) {
        XImage* image = XGetImage(dpy, window, x, y, 1, 1, AllPlanes, ZPixmap);
        if (!image) return 0xdeadbeef;
        const unsigned long value = XGetPixel(image, 0, 0) & 0xffffff;
        XDestroyImage(image);
        return value;
    }

    static inline pid_t serverPid = -1;
    static inline std::string displayName;
    static inline bool hadDisplay = false;
    static inline std::string oldDisplay;

    Display* dpy = nullptr;
    Window parent = 0;

private:
    // Xvfb chooses a free display number itself and reports it on a pipe
    // once it accepts connections, so test programs running side by side
    // never share a server.
    static void startServer(const std::string& screen) {
        int ready[2];
        if (pipe(ready) != 0) return;
        std::vector<std::string> args = {"Xvfb",      "-displayfd", std::to_string(ready[1]),
                                         "-nolisten", "tcp",        "-noreset",
                                         "-screen",   "0",          screen};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        const pid_t testProcess = getpid();
        const pid_t pid = fork();
        if (pid == 0) {
            // The server ends with the test program, even when that crashes.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (getppid() != testProcess) _exit(1);
            close(ready[0]);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execvp("Xvfb", argv.data());
            _exit(127); // not installed
        }
        close(ready[1]);
        if (pid < 0) {
            close(ready[0]);
            return;
        }
        std::string number;
        const auto end = Clock::now() + std::chrono::seconds(5);
        while (Clock::now() < end && (number.empty() || number.back() != '\n')) {
            pollfd fd{ready[0], POLLIN, 0};
            if (poll(&fd, 1, 50) <= 0) continue;
            char c = 0;
            if (read(ready[0], &c, 1) != 1) break; // the server is gone
            number += c;
        }
        close(ready[0]);
        if (!number.empty() && number.back() == '\n') {
            const std::string name = ":" + number.substr(0, number.size() - 1);
            if (Display* probe = XOpenDisplay(name.c_str())) {
                XCloseDisplay(probe);
                serverPid = pid;
                displayName = name;
                return;
            }
        }
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
};
