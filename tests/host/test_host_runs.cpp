// The hosts' runs from outside, as a user ends them: a signal or a removed
// folder half-way through a render, Ctrl-C or kill while the editor shows a
// message box. Each run is the tool's own process.
#include "platform/prefs.h"
#include "support/path_kinds.h"
#include "support/xvfb_test.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Starts a tool as a shell starts it in the foreground (signals at their
// defaults), with `settings` added to the environment and its output in `log`.
pid_t startTool(const std::vector<std::string>& args, const std::vector<std::string>& settings,
                const fs::path& log) {
    std::vector<std::string> env = settings;
    for (char** e = environ; *e; ++e) env.emplace_back(*e); // the first setting of a name wins
    std::vector<char*> argv, envp;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    const std::string logPath = log.string();
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    const int out = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(out, 1);
    ::dup2(out, 2);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) ::signal(signal, SIG_DFL);
    const rlimit noCore{0, 0}; // a signal that dumps core leaves none here
    ::setrlimit(RLIMIT_CORE, &noCore);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
}

bool waitUntil(const std::function<bool()>& done, std::chrono::seconds limit) {
    for (const auto end = Clock::now() + limit; Clock::now() < end;) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return done();
}

// The wait status of pid once it has ended; nullopt if it is still running
// after `limit` (it is then killed).
std::optional<int> endOf(pid_t pid, std::chrono::seconds limit) {
    int status = 0;
    if (waitUntil([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, limit)) return status;
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return std::nullopt;
}

std::vector<std::string> hiddenEntries(const fs::path& folder) {
    std::vector<std::string> hidden = entries(folder);
    std::erase_if(hidden, [](const std::string& name) { return !name.starts_with("."); });
    return hidden;
}

fs::path freshFolder(const std::string& name) {
    const fs::path folder = fs::path(ONDIX_TEST_OUTPUT_DIR) / "host-runs" / name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

// How a run ended, and what it said.
std::string describe(int status, const fs::path& log) {
    const std::string said = "\n" + contents(log);
    if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status)) + said;
    if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status)) + said;
    return "status " + std::to_string(status) + said;
}

} // namespace

// A render that does not complete (a signal ends it, or the WAV file's folder
// goes away) leaves every output as it was: no partial or hidden file, the
// state file untouched. The run is stopped once its WAV file has started, so
// the signal or the removal comes half-way whatever the machine's speed.
TEST(HostToolRuns, AnInterruptedRenderLeavesEveryOutputAsItWas) {
    constexpr int kRemoveFolder = 0;
    const struct {
        bool au;
        int signal; // or kRemoveFolder
    } cases[] = {{false, SIGINT}, {false, SIGTERM}, {false, SIGHUP}, {false, kRemoveFolder},
                 {true, SIGINT},  {true, SIGTERM},  {true, SIGHUP}};
    int row = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.au ? "au-" : "vst-") +
                     (c.signal ? strsignal(c.signal) : "removed"));
        const fs::path folder = freshFolder("interrupted-" + std::to_string(row++));
        const fs::path wavs = folder / "wavs";
        fs::create_directories(wavs);
        writeBytesTo(wavs / "out.wav", "old wav");
        writeBytesTo(folder / "s.state", "old state");
        std::vector<std::string> args = {c.au ? ONDIX_AUHOST_TOOL : ONDIX_HOST_TOOL, "render",
                                         c.au ? ONDIX_AU_SO_PATH : ONDIX_SO_PATH};
        args.insert(args.end(), {"-o", wavs / "out.wav", "--seconds", "60"});
        if (!c.au) args.insert(args.end(), {"--save-state", folder / "s.state"});
        const pid_t pid = startTool(args, {}, folder / "log.txt");
        ASSERT_GT(pid, 0);
        const bool started =
            waitUntil([&] { return !hiddenEntries(wavs).empty(); }, std::chrono::seconds(60));
        ::kill(pid, SIGSTOP);
        ASSERT_TRUE(started) << contents(folder / "log.txt");
        ASSERT_FALSE(hiddenEntries(wavs).empty()) << "the render ended before it was stopped";
        if (c.signal == kRemoveFolder)
            fs::remove_all(wavs);
        else
            ::kill(pid, c.signal);
        ::kill(pid, SIGCONT);
        const std::optional<int> status = endOf(pid, std::chrono::seconds(120));
        ASSERT_TRUE(status) << "still running";
        if (c.signal == kRemoveFolder) {
            EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 1)
                << describe(*status, folder / "log.txt");
            EXPECT_FALSE(fs::exists(wavs));
        } else {
            // Ended as the signal ends a program, or as a shell reports that.
            EXPECT_TRUE((WIFSIGNALED(*status) && WTERMSIG(*status) == c.signal) ||
                        (WIFEXITED(*status) && WEXITSTATUS(*status) == 128 + c.signal))
                << describe(*status, folder / "log.txt");
            EXPECT_EQ(contents(wavs / "out.wav"), "old wav");
            EXPECT_EQ(entries(wavs), std::vector<std::string>{"out.wav"});
        }
        EXPECT_EQ(contents(folder / "s.state"), "old state");
        EXPECT_EQ(hiddenEntries(folder), std::vector<std::string>{});
    }
}

// Every way out of an editor session ends it promptly and in order (the
// editor closed, the plug-in unloaded: --verbose reports the session) while
// the editor shows a message box (a settings file that cannot be read; a
// stand-in for zenity that never answers shows it, and is ended and reaped),
// while it shows a popup menu (the MIDI channel's, clicked open on the
// settings screen a first start shows), or while it
// runs for a snapshot (a signal writes none and leaves the old one; the
// signal then ends the tool). The cases run with --seconds 60 or without,
// in turn.
class HostToolEditRuns : public XvfbTest {
public:
    // Room for all of the editor's window: its snapshot reads every pixel.
    static void SetUpTestSuite() { startSuite("1280x1024x24"); }

protected:
    // The tool's top-level window, 0 while there is none.
    Window toolWindow() {
        Window root = 0, up = 0, *children = nullptr;
        unsigned count = 0;
        Window found = 0;
        if (!XQueryTree(dpy, DefaultRootWindow(dpy), &root, &up, &children, &count)) return 0;
        for (unsigned i = 0; i < count && !found; ++i) {
            XClassHint hint{};
            if (!XGetClassHint(dpy, children[i], &hint)) continue;
            if (std::string(hint.res_class) == "ondix-host") found = children[i];
            XFree(hint.res_name);
            XFree(hint.res_class);
        }
        if (children) XFree(children);
        return found;
    }
    // The editor's window inside it, 0 while there is none.
    Window editorWindow(Window tool) {
        Window root = 0, up = 0, *children = nullptr;
        unsigned count = 0;
        if (!tool || !XQueryTree(dpy, tool, &root, &up, &children, &count)) return 0;
        const Window editor = count > 0 ? children[0] : 0;
        if (children) XFree(children);
        return editor;
    }
    bool popupMenuShown() {
        const Atom type = XInternAtom(dpy, "_NET_WM_WINDOW_TYPE", False);
        const Atom menu = XInternAtom(dpy, "_NET_WM_WINDOW_TYPE_POPUP_MENU", False);
        Window root = 0, up = 0, *children = nullptr;
        unsigned count = 0;
        bool shown = false;
        if (!XQueryTree(dpy, DefaultRootWindow(dpy), &root, &up, &children, &count)) return false;
        for (unsigned i = 0; i < count && !shown; ++i) {
            XWindowAttributes attributes{};
            Atom actual = 0;
            int format = 0;
            unsigned long items = 0, after = 0;
            unsigned char* value = nullptr;
            if (XGetWindowAttributes(dpy, children[i], &attributes) &&
                attributes.map_state == IsViewable &&
                XGetWindowProperty(dpy, children[i], type, 0, 1, False, AnyPropertyType, &actual,
                                   &format, &items, &after, &value) == Success &&
                value && items == 1 && format == 32)
                shown = *reinterpret_cast<Atom*>(value) == menu;
            if (value) XFree(value);
        }
        if (children) XFree(children);
        return shown;
    }
    // What a window manager sends when the user closes the window.
    void askToClose(Window tool) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = tool;
        event.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = static_cast<long>(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(dpy, tool, False, NoEventMask, &event);
        XFlush(dpy);
    }
};

TEST_F(HostToolEditRuns, EveryWayOutEndsTheSessionWhateverTheEditorShows) {
    enum Situation { kMessageBox, kPopupMenu, kSnapshot };
    constexpr int kClose = -1, kDeadline = -2; // ways out besides the signals
    const int ways[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, kClose, kDeadline};
    const fs::path folder = freshFolder("edit-ways-out");
    fs::create_directories(folder / "bin");
    const fs::path box = folder / "box.pid";
    writeBytesTo(folder / "bin" / "zenity", "#!/bin/sh\necho $$ > '" + box.string() +
                                                ".new'\nmv '" + box.string() + ".new' '" +
                                                box.string() + "'\nexec sleep 100\n");
    fs::permissions(folder / "bin" / "zenity", fs::perms::owner_all);
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
    // Whatever the tool leaves running becomes ours to find.
    struct Adopting {
        Adopting() { ::prctl(PR_SET_CHILD_SUBREAPER, 1); }
        ~Adopting() { ::prctl(PR_SET_CHILD_SUBREAPER, 0); }
    } adopting;
    int row = 0;
    for (const Situation situation : {kMessageBox, kPopupMenu, kSnapshot}) {
        for (const int way : ways) {
            const std::string wayName = way == kClose      ? "window closed"
                                        : way == kDeadline ? "--seconds"
                                                           : strsignal(way);
            SCOPED_TRACE(std::string(situation == kMessageBox  ? "message box, "
                                     : situation == kPopupMenu ? "popup menu, "
                                                               : "snapshot, ") +
                         wayName);
            const fs::path run = folder / std::to_string(row);
            fs::create_directories(run / "prefs");
            // A folder where the settings file should be cannot be read.
            if (situation == kMessageBox)
                fs::create_directories(run / "prefs" / (std::string(PREF_PATH_STR) + ".prefs"));
            fs::remove(box);
            std::vector<std::string> args = {ONDIX_HOST_TOOL, "edit", ONDIX_SO_PATH, "--verbose"};
            if (way == kDeadline)
                args.insert(args.end(), {"--seconds", "2"});
            else if (situation == kSnapshot || row % 2 == 0)
                args.insert(args.end(), {"--seconds", "60"});
            const fs::path png = run / "editor.png";
            if (situation == kSnapshot) {
                writeBytesTo(png, "old png");
                args.insert(args.end(), {"--snapshot", png.string()});
            }
            ++row;
            const pid_t pid = startTool(args,
                                        {"PATH=" + (folder / "bin").string() + ":" + path,
                                         "ONDIX_PREFS_DIR=" + (run / "prefs").string()},
                                        run / "log.txt");
            ASSERT_GT(pid, 0);
            bool clicked = false;
            const bool running = waitUntil(
                [&] {
                    if (situation == kMessageBox) return fs::exists(box);
                    const Window editor = editorWindow(toolWindow());
                    if (situation == kSnapshot || !editor) return editor != 0;
                    if (!clicked) sendButton(editor, ButtonPress, 1, 250, 421, 0);
                    clicked = true;
                    return popupMenuShown();
                },
                std::chrono::seconds(60));
            const Window tool = toolWindow();
            if (way == kClose)
                askToClose(tool);
            else if (way != kDeadline)
                ::kill(pid, way);
            const std::optional<int> status =
                endOf(pid, std::chrono::seconds(way == kDeadline ? 7 : 5));
            const std::string log = contents(run / "log.txt");
            // The box's program, should it outlive the tool, is ours now.
            int boxStatus = 0;
            const pid_t boxPid = fs::exists(box) ? std::stoi(contents(box)) : 0;
            const pid_t leftover = boxPid ? ::waitpid(boxPid, &boxStatus, WNOHANG) : -1;
            if (leftover == 0) {
                ::kill(boxPid, SIGKILL);
                ::waitpid(boxPid, &boxStatus, 0);
            }
            if (!running || !status) {
                ADD_FAILURE() << (running ? "still running after the way out:\n"
                                          : "the editor never got there:\n")
                              << log;
                continue;
            }
            EXPECT_NE(log.find("ondix-host: editor "), std::string::npos) << log;
            if (situation == kSnapshot && way > 0) {
                EXPECT_TRUE((WIFSIGNALED(*status) && WTERMSIG(*status) == way) ||
                            (WIFEXITED(*status) && WEXITSTATUS(*status) == 128 + way))
                    << describe(*status, run / "log.txt");
                EXPECT_EQ(contents(png), "old png");
            } else {
                EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0)
                    << describe(*status, run / "log.txt");
                if (situation == kSnapshot) {
                    EXPECT_EQ(contents(png).substr(0, 4), "\x89PNG");
                }
            }
            EXPECT_EQ(hiddenEntries(run), std::vector<std::string>{});
            if (situation == kMessageBox) {
                EXPECT_NE(boxPid, 0);
                EXPECT_EQ(leftover, -1) << "the box's program was left behind by the tool";
            }
        }
    }
}
