// The tools' runs from outside, as a user ends them: a signal, a file-size
// limit or a folder removed, moved or made read-only half-way through a
// render or a set of PNG files, a FIFO named as the plug-in, Ctrl-C or kill
// while the editor shows a message box. Each run is the tool's own process.
#include "editor/artwork.h"
#include "platform/prefs.h"
#include "support/path_kinds.h"
#include "support/xvfb_test.h"
#include "tools/host/output_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <utility>
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

// The tools a test started, each leading a group: killed with it if left running.
std::vector<pid_t> started;

void endGroup(pid_t pid) {
    ::kill(pid, SIGKILL);
    ::kill(-pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

struct EndTheToolsLeft : testing::EmptyTestEventListener {
    void OnTestEnd(const testing::TestInfo&) override {
        for (const pid_t pid : std::exchange(started, {}))
            if (::waitpid(pid, nullptr, WNOHANG) == 0) endGroup(pid);
    }
};
const bool endingTheToolsLeft =
    (testing::UnitTest::GetInstance()->listeners().Append(new EndTheToolsLeft), true);

// Starts a tool as a shell starts it in the foreground (signals at their
// defaults, no core dumps), with `settings` added to the environment and its
// output in `log`; `inChild` changes the process further before the tool runs.
pid_t startTool(const std::vector<std::string>& args, const std::vector<std::string>& settings,
                const fs::path& log, const std::function<void()>& inChild = {}) {
    std::vector<std::string> env = settings;
    for (char** e = environ; *e; ++e) env.emplace_back(*e); // the first setting of a name wins
    std::vector<char*> argv, envp;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    const std::string logPath = log.string();
    const pid_t pid = ::fork();
    if (pid != 0) {
        ::setpgid(pid, pid);
        started.push_back(pid);
        return pid;
    }
    ::setpgid(0, 0);
    const int out = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(out, 1);
    ::dup2(out, 2);
    for (int signal = 1; signal < NSIG; ++signal) ::signal(signal, SIG_DFL);
    const rlimit noCore{0, 0}; // a signal that dumps core leaves none here
    ::setrlimit(RLIMIT_CORE, &noCore);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    if (inChild) inChild();
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
// after `limit` (it is then killed, with its group if it leads one).
std::optional<int> endOf(pid_t pid, std::chrono::seconds limit) {
    int status = 0;
    if (waitUntil([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, limit)) return status;
    endGroup(pid);
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

bool endedBy(int signal, int status) {
    return (WIFSIGNALED(status) && WTERMSIG(status) == signal) ||
           (WIFEXITED(status) && WEXITSTATUS(status) == 128 + signal);
}

// A tool stops itself once it has written this many bytes (output_file.h).
const std::string kStopAfter = "ONDIX_TEST_STOP_AFTER_BYTES=";
const auto kWritable = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;

// Drops root's rights, so that a read-only folder is read-only to the tool.
void becomeNobody() {
    if (::setgid(65534) || ::setuid(65534)) ::_exit(126);
}

// Whether pid has stopped itself; false if it ended first (left to reap).
bool stoppedItself(pid_t pid) {
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WSTOPPED | WNOWAIT) == 0 &&
           info.si_code == CLD_STOPPED;
}

} // namespace

// A render that does not complete leaves every output as it was, and says
// why: no partial or hidden file, the state file untouched. It is ended by a
// signal that ends a program by default, by a file-size limit (SIGXFSZ at
// its default, or ignored so that the write fails), or by its WAV file's
// folder removed, moved or made read-only (what cannot be removed is named),
// found at the end or by a later write. The run stops itself half-way, so the
// signal or the change lands there whatever the machine's speed. Six at a time.
TEST(HostToolRuns, AnInterruptedRenderLeavesEveryOutputAsItWas) {
    enum Way { removed, moved, readOnly, sizeLimit, sizeLimitIgnored, signalled };
    struct Case {
        bool au;
        int way; // a Way, or signalled + the signal's number
        std::string said = "";
        bool full = false; // then a write fails at the file-size limit
        int then = 0;      // then this signal
    };
    const std::string tooLarge =
        "File too large (the limit on file sizes, ulimit -f, is 1048576 bytes)";
    std::vector<Case> cases = {{false, removed, "the file was removed while it was being written"},
                               {false, readOnly, "cannot be written to any more"},
                               {false, moved, "its folder was moved (to "},
                               {true, moved, "its folder was moved (to "},
                               {false, sizeLimit},
                               {true, sizeLimit},
                               {false, sizeLimitIgnored, tooLarge},
                               {true, sizeLimitIgnored, tooLarge},
                               {false, moved, tooLarge, true},
                               {true, readOnly, tooLarge, true},
                               {false, moved, "", false, SIGTERM},
                               {true, moved, "", false, SIGINT}};
    for (const bool au : {false, true})
        for (const int signal :
             {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF,
              SIGPIPE, SIGXCPU, SIGXFSZ, SIGPOLL, SIGRTMIN + 1})
            cases.push_back({au, signalled + signal});
    const bool asNobody = ::geteuid() == 0; // root could write to a read-only folder
    const fs::path base = fs::path(ONDIX_TEST_OUTPUT_DIR) / "host-runs" / "interrupted";
    for (size_t first = 0; first < cases.size(); first += 6) {
        const size_t last = std::min(cases.size(), first + 6);
        std::vector<pid_t> pids;
        for (size_t i = first; i < last; ++i) {
            const Case& c = cases[i];
            const fs::path folder = freshFolder("interrupted/" + std::to_string(i)),
                           wavs = folder / "wavs";
            fs::create_directories(wavs);
            writeBytesTo(wavs / "out.wav", "old wav");
            writeBytesTo(folder / "s.state", "old state");
            std::vector<std::string> args = {c.au ? ONDIX_AUHOST_TOOL : ONDIX_HOST_TOOL, "render"};
            args.insert(args.end(), {c.au ? ONDIX_AU_SO_PATH : ONDIX_SO_PATH, "-o",
                                     wavs / "out.wav", "--seconds", "60"});
            if (!c.au) args.insert(args.end(), {"--save-state", folder / "s.state"});
            const bool nobody = c.way == readOnly && asNobody;
            for (const fs::path& f : {folder, wavs})
                if (nobody) fs::permissions(f, fs::perms::all);
            const bool limitOnly = c.way == sizeLimit || c.way == sizeLimitIgnored;
            std::vector<std::string> settings = {"ONDIX_PREFS_DIR=" + (folder / "prefs").string()};
            if (!limitOnly) settings.push_back(kStopAfter + (c.full ? "524288" : "1048576"));
            pids.push_back(startTool(args, settings, folder / "log.txt", [&] {
                const rlimit size{1 << 20, 1 << 20};
                if (limitOnly || c.full) ::setrlimit(RLIMIT_FSIZE, &size);
                if (c.way == sizeLimitIgnored || c.full) ::signal(SIGXFSZ, SIG_IGN);
                if (nobody) becomeNobody();
            }));
        }
        for (size_t i = first; i < last; ++i) {
            const int way = cases[i].way;
            const fs::path folder = base / std::to_string(i), wavs = folder / "wavs";
            const pid_t pid = pids[i - first];
            if (way == sizeLimit || way == sizeLimitIgnored) continue;
            EXPECT_TRUE(stoppedItself(pid)) << "the render ended before it stopped";
            if (way >= signalled) ::kill(pid, way - signalled);
            if (way == removed) fs::remove_all(wavs);
            if (way == moved) fs::rename(wavs, folder / "moved");
            if (way == readOnly) fs::permissions(wavs, kWritable, fs::perm_options::remove);
            if (cases[i].then) ::kill(pid, cases[i].then);
            ::kill(pid, SIGCONT);
        }
        for (size_t i = first; i < last; ++i) {
            const Case& c = cases[i];
            SCOPED_TRACE(std::string(c.au ? "au, " : "vst, ") +
                         (c.way >= signalled ? "signal " + std::to_string(c.way - signalled)
                                             : "way " + std::to_string(c.way)));
            const fs::path folder = base / std::to_string(i), wavs = folder / "wavs";
            const std::optional<int> status = endOf(pids[i - first], std::chrono::seconds(120));
            ASSERT_TRUE(status) << "still running";
            const std::string log = contents(folder / "log.txt");
            const int signal = c.then               ? c.then
                               : c.way >= signalled ? c.way - signalled
                               : c.way == sizeLimit ? SIGXFSZ
                                                    : 0;
            EXPECT_TRUE(signal ? endedBy(signal, *status)
                               : WIFEXITED(*status) && WEXITSTATUS(*status) == 1)
                << describe(*status, folder / "log.txt");
            EXPECT_NE(log.find(c.said), std::string::npos) << log;
            // From a read-only folder the complete file cannot be removed: named, and all left.
            if (c.way == readOnly) {
                fs::permissions(wavs, fs::perms::all);
                const std::vector<std::string> left = hiddenEntries(wavs);
                ASSERT_EQ(left.size(), 1u) << log;
                EXPECT_NE(log.find((wavs / left[0]).string() + " is left behind"),
                          std::string::npos)
                    << log;
                fs::remove(wavs / left[0]);
            }
            const fs::path now = c.way == moved ? folder / "moved" : wavs;
            EXPECT_EQ(fs::exists(now), c.way != removed);
            if (c.way != removed) {
                EXPECT_EQ(entries(now), std::vector<std::string>{"out.wav"});
                EXPECT_EQ(contents(now / "out.wav"), "old wav");
            }
            EXPECT_EQ(contents(folder / "s.state"), "old state");
            EXPECT_EQ(hiddenEntries(folder), std::vector<std::string>{});
        }
    }
}

// A signal that lands once the outputs have begun to take their names waits
// until all have: the program then ends by it and says they are in place.
TEST(HostToolRuns, ASignalDuringTheCommitEndsTheRunWithEveryOutputInPlace) {
    using ondix::host::OutputFile;
    const fs::path folder = freshFolder("commit-signal"), a = folder / "a.wav", b = folder / "b";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(::open((folder / "log.txt").c_str(), O_WRONLY | O_CREAT, 0644), 2);
        ::signal(SIGTERM, SIG_DFL);
        OutputFile outputs[2];
        std::string error;
        for (int i = 0; i < 2; ++i)
            if (!outputs[i].open(i ? b : a, error) || !outputs[i].write("new", error)) ::_exit(3);
        ondix::host::afterEachRename = [] { ::kill(::getpid(), SIGTERM); };
        ondix::host::commitOutputs({&outputs[0], &outputs[1]}, error);
        ::_exit(0);
    }
    const std::optional<int> status = endOf(pid, std::chrono::seconds(20));
    ASSERT_TRUE(status && WIFSIGNALED(*status) && WTERMSIG(*status) == SIGTERM)
        << describe(status.value_or(0), folder / "log.txt");
    EXPECT_EQ(entries(folder), (std::vector<std::string>{"a.wav", "b", "log.txt"}));
    EXPECT_EQ(contents(a) + contents(b), "newnew");
    EXPECT_EQ(contents(folder / "log.txt"), "ondix_tests: ended by SIGTERM after " + a.string() +
                                                " and " + b.string() + " were put in place\n");
}

// A FIFO named as the plug-in, or a plug-in file cut to a third (its ELF
// header whole), is refused at once by every command that loads one, as a
// FIFO named as a file a command reads is, and no output is begun.
TEST(HostToolRuns, APluginThatIsNotARegularFileOrIsCutShortIsRefusedAtOnce) {
    const fs::path folder = freshFolder("plugin"), fifo = folder / "p.so", cut = folder / "cut.so";
    ::mkfifo(fifo.c_str(), 0600);
    fs::copy_file(ONDIX_SO_PATH, cut);
    fs::resize_file(cut, fs::file_size(cut) / 3);
    std::vector<std::vector<std::string>> commands;
    for (const fs::path& p : {fifo, cut})
        commands.insert(commands.end(), {{ONDIX_HOST_TOOL, "info", p},
                                         {ONDIX_HOST_TOOL, "render", p, "-o", folder / "out.wav"},
                                         {ONDIX_HOST_TOOL, "edit", p},
                                         {ONDIX_AUHOST_TOOL, "render", p, "-o", folder / "out.wav"},
                                         {ONDIX_AUHOST_TOOL, "state", p}});
    std::vector<pid_t> pids;
    for (size_t i = 0; i < commands.size(); ++i)
        pids.push_back(startTool(commands[i], {}, folder / ("log" + std::to_string(i))));
    for (size_t i = 0; i < commands.size(); ++i) {
        const fs::path log = folder / ("log" + std::to_string(i));
        const std::optional<int> status = endOf(pids[i], std::chrono::seconds(10));
        ASSERT_TRUE(status) << commands[i][0] << " " << commands[i][1] << " still running";
        EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 1) << describe(*status, log);
        const std::string said = i < 5 ? " is not a regular file" : ": it is cut short";
        EXPECT_NE(contents(log).find(commands[i][2] + said), std::string::npos) << contents(log);
    }
    EXPECT_FALSE(fs::exists(folder / "out.wav"));
    EXPECT_EQ(hiddenEntries(folder), std::vector<std::string>{});
}

#ifdef ONDIX_ARTWORK_TOOL
// ondix-artwork's PNG files take their names together: a signal half-way
// through a set, or the folder moved or made read-only then, leaves the files
// of an earlier set as they were, and no others but those named as left behind.
TEST(HostToolRuns, AnInterruptedArtworkRunLeavesAnEarlierSetAsItWas) {
    constexpr int kMoved = -1, kReadOnly = -2; // ways besides the signals
    const std::vector<std::string> earlier = {"bmp10000.png", "bmp13003.png"};
    for (const int way : {SIGINT, SIGTERM, SIGQUIT, kMoved, kReadOnly}) {
        const fs::path folder = freshFolder("artwork-" + std::to_string(way)), out = folder / "out",
                       now = way == kMoved ? folder / "moved" : out;
        fs::create_directories(out);
        for (const std::string& name : earlier) writeBytesTo(out / name, "old");
        const bool nobody = way == kReadOnly && ::geteuid() == 0;
        if (nobody) fs::permissions(out, fs::perms::all);
        const pid_t pid = startTool({ONDIX_ARTWORK_TOOL, out, "--all"}, {kStopAfter + "300000"},
                                    folder / "log.txt", nobody ? becomeNobody : nullptr);
        // Some of the files written, not all (none takes its name before all are).
        EXPECT_TRUE(stoppedItself(pid) && hiddenEntries(out).size() >= 2);
        if (way > 0) ::kill(pid, way);
        if (way == kMoved) fs::rename(out, now);
        if (way == kReadOnly) fs::permissions(out, kWritable, fs::perm_options::remove);
        ::kill(pid, SIGCONT);
        const std::optional<int> status = endOf(pid, std::chrono::seconds(60));
        const std::string log = contents(folder / "log.txt");
        EXPECT_TRUE(status && (way > 0 ? endedBy(way, *status)
                                       : WIFEXITED(*status) && WEXITSTATUS(*status) == 1))
            << log;
        if (way == kReadOnly) fs::permissions(out, kWritable, fs::perm_options::add);
        EXPECT_EQ(hiddenEntries(now).empty(), way != kReadOnly) << log;
        for (const std::string& name : hiddenEntries(now)) {
            EXPECT_NE(log.find((out / name).string() + " is left behind"), std::string::npos);
            fs::remove(now / name);
        }
        EXPECT_EQ(entries(now), earlier);
        EXPECT_EQ(contents(now / earlier[0]) + contents(now / earlier[1]), "oldold");
    }
}
#endif

// Every way out of an editor session ends it promptly and in order (the
// editor closed, the plug-in unloaded: --verbose reports the session and the
// audio at pace) while the editor shows a message box (a settings file that
// cannot be read; a stand-in for zenity that never answers, wrapped in a
// script, deaf to SIGTERM or neither, shows it and is ended), while it shows a
// popup menu (the MIDI channel's, clicked open on the settings screen a first
// start shows), or while it runs for a snapshot (a signal, or ulimit -f 0,
// writes none and leaves the old one and no temporary). The cases run with
// --seconds 60 or without, in turn.
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
    enum Situation { kMessageBox, kWrappedBox, kDeafBox, kPopupMenu, kSnapshot };
    constexpr int kClose = -1, kDeadline = -2, kFileLimit = -3; // ways out besides the signals
    const int ways[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, kClose, kDeadline, kFileLimit};
    const char* const bins[] = {"bin", "wrapped", "deaf", "bin", "bin"};
    const char* const shown[] = {"message box", "wrapped box", "deaf box", "menu", "snapshot"};
    const fs::path folder = freshFolder("edit-ways-out"), box = folder / "box.pid";
    const std::string b = box.string(),
                      wrapped = "'" + (folder / "bin" / "zenity").string() + "' \"$@\"\nexit $?\n";
    const std::string scripts[] = {"echo $$ > '" + b + ".new'\nmv '" + b + ".new' '" + b +
                                       "'\nexec sleep 100\n",
                                   wrapped, "trap '' TERM\n" + wrapped};
    for (int i = 0; i < 3; ++i) {
        fs::create_directories(folder / bins[i]);
        writeBytesTo(folder / bins[i] / "zenity", "#!/bin/sh\n" + scripts[i]);
        fs::permissions(folder / bins[i] / "zenity", fs::perms::owner_all);
    }
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
    // Whatever the tool leaves running becomes ours to find.
    struct Adopting {
        Adopting() { ::prctl(PR_SET_CHILD_SUBREAPER, 1); }
        ~Adopting() { ::prctl(PR_SET_CHILD_SUBREAPER, 0); }
    } adopting;
    int row = 0;
    for (const Situation situation : {kMessageBox, kWrappedBox, kDeafBox, kPopupMenu, kSnapshot}) {
        for (const int way : ways) {
            if (way == kFileLimit && situation != kSnapshot) continue; // met before anything shows
            const bool messageBox = situation <= kDeafBox;
            const int signal = way == kFileLimit ? SIGXFSZ : way;
            const std::string wayName = way == kClose      ? "window closed"
                                        : way == kDeadline ? "--seconds"
                                                           : strsignal(signal);
            SCOPED_TRACE(std::string(shown[situation]) + ", " + wayName);
            const fs::path run = folder / std::to_string(row);
            fs::create_directories(run / "prefs");
            // A folder where the settings file should be cannot be read.
            if (messageBox)
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
            const auto limited = [&] {
                if (const rlimit none{0, 0}; way == kFileLimit) ::setrlimit(RLIMIT_FSIZE, &none);
            };
            const pid_t pid = startTool(args,
                                        {"PATH=" + (folder / bins[situation]).string() + ":" + path,
                                         "ONDIX_PREFS_DIR=" + (run / "prefs").string()},
                                        run / "log.txt", limited);
            ASSERT_GT(pid, 0);
            bool clicked = false;
            const bool running = waitUntil(
                [&] {
                    if (way == kFileLimit) return true; // it ends by itself
                    if (messageBox) return fs::exists(box);
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
            else if (way > 0)
                ::kill(pid, way);
            const std::optional<int> status =
                endOf(pid, std::chrono::seconds(way == kDeadline ? 7 : 5));
            const std::string log = contents(run / "log.txt");
            // The box's program, should it outlive the tool, is ours now.
            const pid_t boxPid = fs::exists(box) ? std::stoi(contents(box)) : 0;
            const auto gone = [&] {
                return ::waitpid(-1, nullptr, WNOHANG) <= 0 && ::kill(boxPid, 0) != 0;
            };
            const bool leftover = boxPid && !waitUntil(gone, std::chrono::seconds(5));
            if (leftover) ::kill(boxPid, SIGKILL);
            if (!running || !status) {
                ADD_FAILURE() << (running ? "still running after the way out:\n"
                                          : "the editor never got there:\n")
                              << log;
                continue;
            }
            const std::size_t summary = std::min(log.find("ondix-host: editor "), log.size());
            EXPECT_TRUE(summary < log.size() || way == kFileLimit) << log;
            double open = 0, blocks = 0; // 512-frame blocks at 44.1 kHz
            std::sscanf(log.c_str() + summary, "%*s editor %*s open for %lf s, %*s idle calls, %lf",
                        &open, &blocks);
            EXPECT_TRUE(way != kDeadline || blocks * 3 >= open * 44100 / 512) << log;
            if (situation == kSnapshot && signal > 0) {
                EXPECT_TRUE(endedBy(signal, *status)) << describe(*status, run / "log.txt");
                EXPECT_EQ(contents(png), "old png");
            } else {
                EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0)
                    << describe(*status, run / "log.txt");
                if (situation == kSnapshot) {
                    EXPECT_EQ(contents(png).substr(0, 4), "\x89PNG");
                }
            }
            EXPECT_EQ(hiddenEntries(run), std::vector<std::string>{});
            for (const std::string& name : hiddenEntries(run / "prefs"))
                EXPECT_TRUE(name.ends_with(".lock")) << name; // lock files stay
            if (messageBox) {
                EXPECT_NE(boxPid, 0);
                EXPECT_FALSE(leftover) << "the box's program was left behind by the tool";
            }
        }
    }
}

// The process level each command tells a plug-in that asks where it is built,
// opened, rendering and idling, and on a thread of its own: render is an
// offline renderer on every thread; edit makes its audio calls as the
// real-time thread and the rest as the user's, as info does, and does not
// know the plug-in's own thread.
TEST_F(HostToolEditRuns, EachCommandTellsThePlugInItsProcessLevels) {
    const fs::path folder = freshFolder("process-levels");
    const fs::path log = folder / "log.txt";
    const struct {
        std::vector<std::string> args;
        const char* heard;
    } cases[] = {
        {{"info"}, "levels: entry 1 open 1 thread 0 process - idle -"},
        {{"render", "-o", folder / "out.wav", "--seconds", "0.1"},
         "levels: entry 4 open 4 thread 4 process 4 idle -"},
        {{"edit", "--seconds", "0.3"}, "levels: entry 1 open 1 thread 0 process 2 idle 1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0]);
        std::vector<std::string> args = {ONDIX_HOST_TOOL, c.args[0], ONDIX_LEVEL_PROBE};
        args.insert(args.end(), c.args.begin() + 1, c.args.end());
        const std::optional<int> status = endOf(startTool(args, {}, log), std::chrono::seconds(60));
        ASSERT_TRUE(status) << "still running";
        EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << describe(*status, log);
        EXPECT_NE(contents(log).find(std::string(c.heard) + "\n"), std::string::npos)
            << contents(log);
    }
}
