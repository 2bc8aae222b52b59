#include "platform/dialog_service.h"

#include "core/immortal.h"
#include "platform/modal_windows.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

// ------------------------------------------------------------ current service

namespace {

std::atomic<DialogService*> installedService{nullptr};

// The services are never destroyed: an instance may show a message while a
// host closes it after the library's static objects are gone.
DialogService& defaultService() {
    static Immortal<HeadlessDialogService> headless;
    static Immortal<ZenityDialogService> zenity;
    static Immortal<MissingZenityDialogService> missing;
    static const DialogBackend backend = pickDialogBackend(
        std::getenv("DISPLAY"), std::getenv("WAYLAND_DISPLAY"), std::getenv("PATH"));
    if (backend == DialogBackend::zenity) return zenity.object;
    if (backend == DialogBackend::missingZenity) return missing.object;
    return headless.object;
}

} // namespace

DialogService& dialogService() {
    DialogService* service = installedService.load(std::memory_order_acquire);
    return service != nullptr ? *service : defaultService();
}

void setDialogService(DialogService* service) {
    installedService.store(service, std::memory_order_release);
}

ScopedDialogService::ScopedDialogService(DialogService& service)
    : previous(installedService.exchange(&service, std::memory_order_acq_rel)) {}

ScopedDialogService::~ScopedDialogService() {
    setDialogService(previous);
}

// ------------------------------------------------------------ missing zenity

void OnceNotice::tell() {
    if (told.exchange(true) || !out || !text) return;
    std::fputs(text, out);
    std::fflush(out);
}

std::vector<std::string> MissingZenityDialogService::runFileSelector(const FileDialogRequest&) {
    notice.tell();
    return {};
}

std::optional<std::string> MissingZenityDialogService::inputText(const TextInputRequest&) {
    notice.tell();
    return std::nullopt;
}

int MissingZenityDialogService::alert(const AlertRequest&) {
    notice.tell();
    return ALERT_DISMISSED;
}

// ------------------------------------------------------------------ scripted

void ScriptedDialogService::stayOpen() {
    if (!whileOpen) return;
    do {
        serviceModalWindows();
    } while (!whileOpen());
}

std::vector<std::string> ScriptedDialogService::runFileSelector(const FileDialogRequest& request) {
    fileRequests.push_back(request);
    stayOpen();
    if (fileAnswers.empty()) return {};
    std::vector<std::string> answer = std::move(fileAnswers.front());
    fileAnswers.erase(fileAnswers.begin());
    return answer;
}

std::optional<std::string> ScriptedDialogService::inputText(const TextInputRequest& request) {
    textRequests.push_back(request);
    stayOpen();
    if (textAnswers.empty()) return std::nullopt;
    std::optional<std::string> answer = std::move(textAnswers.front());
    textAnswers.erase(textAnswers.begin());
    return answer;
}

int ScriptedDialogService::alert(const AlertRequest& request) {
    alertRequests.push_back(request);
    stayOpen();
    if (alertAnswers.empty()) return ALERT_DISMISSED;
    int answer = alertAnswers.front();
    alertAnswers.erase(alertAnswers.begin());
    return answer;
}

// -------------------------------------------------------------------- zenity

namespace {

bool isAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
char asciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// "*.wav" as a glob that also matches "X.WAV": GTK's filter patterns are
// case-sensitive on Linux, sample files come in both cases.
std::string caseFreePattern(const std::string& extension) {
    std::string pattern = "*.";
    for (char c : extension) {
        if (isAsciiLetter(c)) {
            pattern += '[';
            pattern += asciiLower(c);
            pattern += asciiUpper(c);
            pattern += ']';
        } else {
            pattern += c;
        }
    }
    return pattern;
}

std::string joinFolder(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

std::vector<std::string> withProgram(const std::string& program, std::vector<std::string> args) {
    args.insert(args.begin(), program);
    return args;
}

bool succeeded(const ProcessResult& result) {
    return result.started && result.exited && result.exitCode == 0 && !result.truncated;
}

} // namespace

std::vector<std::string> zenityFileSelectionArgs(const FileDialogRequest& request) {
    std::vector<std::string> args = {"--file-selection"};
    if (request.mode == FileDialogRequest::Mode::save) {
        args.emplace_back("--save");
        args.emplace_back("--confirm-overwrite");
    } else if (request.mode == FileDialogRequest::Mode::folder) {
        args.emplace_back("--directory");
    }
    if (request.allowMultiple) {
        args.emplace_back("--multiple");
        args.emplace_back("--separator=\n");
    }
    if (!request.title.empty()) args.push_back("--title=" + request.title);

    // A folder name must end with '/' for the dialog to open inside it; with a
    // default name the dialog opens in its folder and proposes the name.
    std::string start;
    if (request.mode == FileDialogRequest::Mode::save && !request.defaultSaveName.empty())
        start = joinFolder(request.initialFolder, request.defaultSaveName);
    else if (!request.initialFolder.empty())
        start = joinFolder(request.initialFolder, "");
    if (!start.empty()) args.push_back("--filename=" + start);

    if (!request.filters.empty()) {
        std::string names;
        std::string patterns;
        for (const FileDialogFilter& filter : request.filters) {
            if (!names.empty()) names += ", ";
            names += filter.description;
            if (!patterns.empty()) patterns += ' ';
            patterns += caseFreePattern(filter.extension);
        }
        args.push_back("--file-filter=" + names + " | " + patterns);
    }
    return args;
}

std::vector<std::string> zenityEntryArgs(const TextInputRequest& request) {
    return {"--entry", "--title=" + request.title, "--text=" + request.prompt,
            "--entry-text=" + request.initialText};
}

std::vector<std::string> zenityAlertArgs(const AlertRequest& request) {
    std::string text = request.header;
    if (!request.message.empty()) text += "\n\n" + request.message;
    std::vector<std::string> args;
    args.emplace_back(request.alternateButton.empty() ? "--info" : "--question");
    args.emplace_back("--no-markup");
    args.push_back("--title=" + request.title);
    args.push_back("--text=" + text);
    args.push_back("--ok-label=" + request.defaultButton);
    if (!request.alternateButton.empty())
        args.push_back("--cancel-label=" + request.alternateButton);
    return args;
}

std::string stripTrailingNewline(std::string output) {
    if (!output.empty() && output.back() == '\n') {
        output.pop_back();
        if (!output.empty() && output.back() == '\r') output.pop_back();
    }
    return output;
}

std::vector<std::string> splitZenityPaths(const std::string& output) {
    std::vector<std::string> paths;
    std::size_t start = 0;
    while (start <= output.size()) {
        std::size_t end = output.find('\n', start);
        if (end == std::string::npos) end = output.size();
        std::string line = output.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) paths.push_back(std::move(line));
        start = end + 1;
    }
    return paths;
}

std::vector<std::string> ZenityDialogService::runFileSelector(const FileDialogRequest& request) {
    ProcessResult result =
        runProcessCapture(withProgram(program, zenityFileSelectionArgs(request)));
    if (!result.started) return missing.runFileSelector(request);
    if (!succeeded(result)) return {};

    std::vector<std::string> paths;
    if (request.allowMultiple)
        paths = splitZenityPaths(result.output);
    else if (std::string path = stripTrailingNewline(result.output); !path.empty())
        paths.push_back(std::move(path));
    // The dialog answers with absolute paths; anything else is not a choice.
    for (const std::string& path : paths)
        if (path.front() != '/') return {};
    return paths;
}

std::optional<std::string> ZenityDialogService::inputText(const TextInputRequest& request) {
    ProcessResult result = runProcessCapture(withProgram(program, zenityEntryArgs(request)));
    if (!result.started) return missing.inputText(request);
    if (!succeeded(result)) return std::nullopt;
    return stripTrailingNewline(std::move(result.output));
}

int ZenityDialogService::alert(const AlertRequest& request) {
    ProcessResult result = runProcessCapture(withProgram(program, zenityAlertArgs(request)));
    if (!result.started) return missing.alert(request);
    if (!result.exited) return ALERT_DISMISSED;
    if (result.exitCode == 0) return ALERT_DEFAULT;
    // Exit code 1 is the cancel button, or the window closed; an OK-only alert
    // closed that way was dismissed without an answer.
    if (result.exitCode == 1 && !request.alternateButton.empty()) return ALERT_ALTERNATE;
    return ALERT_DISMISSED;
}

// ------------------------------------------------------------- child process

namespace {

class SpawnSetup {
public:
    SpawnSetup() {
        okActions = posix_spawn_file_actions_init(&actions) == 0;
        okAttr = posix_spawnattr_init(&attr) == 0;
    }
    ~SpawnSetup() {
        if (okActions) posix_spawn_file_actions_destroy(&actions);
        if (okAttr) posix_spawnattr_destroy(&attr);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    // Standard output into writeFd, standard input and error on /dev/null, a
    // clean signal state whatever the host has blocked or ignored.
    bool prepare(int writeFd) {
        if (!okActions || !okAttr) return false;
        // The pipe goes first: should it have landed on descriptor 0 or 2, the
        // opens below may then reuse that number.
        if (posix_spawn_file_actions_adddup2(&actions, writeFd, STDOUT_FILENO) != 0) return false;
        if (posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0) != 0)
            return false;
        if (posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0) !=
            0)
            return false;
        sigset_t none;
        sigset_t defaults;
        sigemptyset(&none);
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        sigaddset(&defaults, SIGCHLD);
        sigaddset(&defaults, SIGINT);
        sigaddset(&defaults, SIGQUIT);
        sigaddset(&defaults, SIGTERM);
        sigaddset(&defaults, SIGHUP);
        if (posix_spawnattr_setsigmask(&attr, &none) != 0) return false;
        if (posix_spawnattr_setsigdefault(&attr, &defaults) != 0) return false;
        // A process group of its own, named by the program's process ID:
        // whoever ends the dialog ends what the program started with it.
        if (posix_spawnattr_setpgroup(&attr, 0) != 0) return false;
        return posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                                   POSIX_SPAWN_SETPGROUP) == 0;
    }

    posix_spawn_file_actions_t actions{};
    posix_spawnattr_t attr{};

private:
    bool okActions = false;
    bool okAttr = false;
};

// How often the windows are serviced while a program runs.
constexpr int kModalServiceMs = 20;

void closeQuietly(int fd) {
    if (fd >= 0) ::close(fd);
}

// Whether the program has ended. It is not reaped here: until it is, its
// process ID names its process group and no other. False while it runs,
// true once it has ended or cannot be waited for (SIGCHLD ignored: the
// system reaped it).
bool hasEnded(pid_t pid) {
    for (;;) {
        siginfo_t info{};
        if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0)
            return info.si_pid == pid;
        if (errno != EINTR) return true;
    }
}

// Reads what the pipe holds into result, waiting up to timeoutMs for it
// to hold something: one read at most, or, with `all`, until it is empty.
// False once the pipe is at its end or cannot be read.
bool readOutput(int fd, int timeoutMs, bool all, ProcessResult& result, std::size_t maxOutput) {
    char chunk[4096];
    // Bounded: a program's leftovers might write without end.
    for (std::size_t reads = 0; reads < 256; ++reads) {
        pollfd readable{fd, POLLIN, 0};
        const int ready = ::poll(&readable, 1, reads == 0 ? timeoutMs : 0);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return false;
        if (ready == 0) return true;
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        std::size_t room = maxOutput - result.output.size();
        std::size_t take = static_cast<std::size_t>(n) < room ? static_cast<std::size_t>(n) : room;
        result.output.append(chunk, take);
        if (take < static_cast<std::size_t>(n)) result.truncated = true;
        if (!all) return true;
    }
    return true;
}

} // namespace

ProcessResult runProcessCapture(const std::vector<std::string>& argv, std::size_t maxOutput) {
    ProcessResult result;
    if (argv.empty() || argv[0].empty()) return result;

    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    int fds[2] = {-1, -1};
    if (::pipe2(fds, O_CLOEXEC) != 0) return result;

    SpawnSetup setup;
    pid_t pid = -1;
    bool spawned = setup.prepare(fds[1]) && ::posix_spawnp(&pid, args[0], &setup.actions,
                                                           &setup.attr, args.data(), environ) == 0;
    closeQuietly(fds[1]);
    if (!spawned) {
        closeQuietly(fds[0]);
        return result;
    }
    result.started = true;

    // The plug-in's windows are kept alive while the program runs. Its
    // output is read until the program ends (what it wrote is in the pipe
    // by then) or closes it: something it started, or something started
    // before it ended, may hold the pipe for good.
    bool ended = false;
    bool open = true;
    while (!ended) {
        serviceModalWindows();
        ended = hasEnded(pid);
        if (open)
            open = readOutput(fds[0], ended ? 0 : kModalServiceMs, ended, result, maxOutput);
        else if (!ended)
            ::poll(nullptr, 0, kModalServiceMs);
    }
    closeQuietly(fds[0]);
    // Whatever the program left running in its group ends with it.
    ::kill(-pid, SIGKILL);

    int status = 0;
    pid_t waited;
    do {
        waited = ::waitpid(pid, &status, 0);
    } while (waited < 0 && errno == EINTR);
    if (waited == pid && WIFEXITED(status)) {
        result.exited = true;
        result.exitCode = WEXITSTATUS(status);
    }
    return result;
}

std::string findExecutableOnPath(const std::string& name, const std::string& pathList) {
    auto usable = [](const std::string& candidate) {
        struct stat info {};
        return ::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
               ::access(candidate.c_str(), X_OK) == 0;
    };
    if (name.empty()) return "";
    if (name.find('/') != std::string::npos) return usable(name) ? name : "";

    std::size_t start = 0;
    while (start <= pathList.size()) {
        std::size_t end = pathList.find(':', start);
        if (end == std::string::npos) end = pathList.size();
        // An empty entry stands for the current folder.
        std::string candidate =
            end > start ? joinFolder(pathList.substr(start, end - start), name) : "./" + name;
        if (usable(candidate)) return candidate;
        start = end + 1;
    }
    return "";
}

DialogBackend pickDialogBackend(const char* display, const char* waylandDisplay,
                                const char* pathList) {
    bool hasDisplay = (display != nullptr && display[0] != '\0') ||
                      (waylandDisplay != nullptr && waylandDisplay[0] != '\0');
    if (!hasDisplay) return DialogBackend::headless;
    // Without PATH, look where the C library's own default would.
    std::string folders = pathList != nullptr ? pathList : "/bin:/usr/bin";
    if (findExecutableOnPath("zenity", folders).empty()) return DialogBackend::missingZenity;
    return DialogBackend::zenity;
}
