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
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) ::signal(signal, SIG_DFL);
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

// Ctrl-C or kill while a message box is open ends the editor session as
// promptly with --seconds as without. The box (a settings file that cannot be
// read) is shown by a stand-in for zenity that never answers.
class HostToolEditRuns : public XvfbTest {};

TEST_F(HostToolEditRuns, ASignalEndsTheSessionWhileAMessageBoxIsOpen) {
    const struct {
        int signal;
        bool seconds;
    } cases[] = {{SIGINT, false}, {SIGINT, true}, {SIGTERM, false}, {SIGTERM, true}};
    const fs::path folder = freshFolder("edit-signals");
    fs::create_directories(folder / "bin");
    fs::create_directories(folder / "prefs" / (std::string(PREF_PATH_STR) + ".prefs"));
    const fs::path box = folder / "box.pid";
    writeBytesTo(folder / "bin" / "zenity", "#!/bin/sh\necho $$ > '" + box.string() +
                                                ".new'\nmv '" + box.string() + ".new' '" +
                                                box.string() + "'\nexec sleep 100\n");
    fs::permissions(folder / "bin" / "zenity", fs::perms::owner_all);
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(strsignal(c.signal)) + (c.seconds ? ", --seconds 60" : ""));
        fs::remove(box);
        std::vector<std::string> args = {ONDIX_HOST_TOOL, "edit", ONDIX_SO_PATH};
        if (c.seconds) args.insert(args.end(), {"--seconds", "60"});
        const pid_t pid = startTool(args,
                                    {"PATH=" + (folder / "bin").string() + ":" + path,
                                     "ONDIX_PREFS_DIR=" + (folder / "prefs").string()},
                                    folder / "log.txt");
        ASSERT_GT(pid, 0);
        const bool shown = waitUntil([&] { return fs::exists(box); }, std::chrono::seconds(60));
        ::kill(pid, c.signal);
        const std::optional<int> status = endOf(pid, std::chrono::seconds(10));
        // The box, if it is still there.
        if (const std::string boxPid = contents(box); !boxPid.empty()) {
            const int id = std::stoi(boxPid);
            if (contents("/proc/" + std::to_string(id) + "/comm") == "sleep\n") ::kill(id, SIGKILL);
        }
        ASSERT_TRUE(shown) << "no message box:\n" << contents(folder / "log.txt");
        ASSERT_TRUE(status) << "still running 10 s after the signal";
        EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0)
            << describe(*status, folder / "log.txt");
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
