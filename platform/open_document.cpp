#include "platform/open_document.h"

#include "platform/dialog_service.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr char kOpener[] = "xdg-open";

void closeQuietly(int fd) {
    if (fd >= 0) close(fd);
}

OnceNotice& missingOpenerNotice() {
    static OnceNotice missing(MISSING_OPENER_TEXT);
    return missing;
}

enum class Launch { started, missing, failed };

// Two forks: the middle process ends at once and is collected here, so the
// viewer is adopted by init and never lingers as a child of the host. Only
// async-signal-safe calls run between fork and exec; the argument vector is
// ready before the first fork. A pipe closed on exec tells whether the
// viewer started: a failed exec writes its errno into it, a successful one
// just closes it.
Launch launch(const std::string& program, const std::string& path) {
    if (path.empty() || program.empty()) return Launch::failed;
    char* const argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(path.c_str()),
                          nullptr};
    int report[2] = {-1, -1};
    if (pipe2(report, O_CLOEXEC) != 0) return Launch::failed;

    const pid_t middle = fork();
    if (middle < 0) {
        closeQuietly(report[0]);
        closeQuietly(report[1]);
        return Launch::failed;
    }
    if (middle == 0) {
        close(report[0]);
        setsid();
        const pid_t viewer = fork();
        if (viewer == 0) {
            // The report end must survive the standard descriptors below.
            int tell = report[1];
            if (tell <= STDERR_FILENO) tell = fcntl(tell, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
            const int null = open("/dev/null", O_RDWR);
            if (null >= 0) {
                dup2(null, STDIN_FILENO);
                dup2(null, STDOUT_FILENO);
                dup2(null, STDERR_FILENO);
                if (null > STDERR_FILENO) close(null);
            }
            // Whatever the host blocked or ignored is not the viewer's business.
            sigset_t none;
            sigemptyset(&none);
            sigprocmask(SIG_SETMASK, &none, nullptr);
            signal(SIGPIPE, SIG_DFL);
            signal(SIGCHLD, SIG_DFL);
            execvp(argv[0], argv);
            const int error = errno;
            if (tell >= 0) (void)!write(tell, &error, sizeof error);
            _exit(127);
        }
        _exit(viewer < 0 ? 1 : 0);
    }
    close(report[1]);
    int status = 0;
    bool collected = true;
    while (waitpid(middle, &status, 0) < 0) {
        if (errno != EINTR) {
            collected = false;
            break;
        }
    }
    // End of file once the viewer has started (or was never forked).
    int error = 0;
    ssize_t got;
    do {
        got = read(report[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    close(report[0]);
    if (!collected || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return Launch::failed;
    if (got == static_cast<ssize_t>(sizeof error)) return Launch::missing;
    return Launch::started;
}

} // namespace

bool openDocument(const std::string& path) {
    return openDocumentWith(kOpener, path, missingOpenerNotice());
}

bool openDocumentOrTell(const std::string& path) {
    const Launch result = launch(kOpener, path);
    if (result == Launch::missing) {
        missingOpenerNotice().tell();
        AlertRequest request;
        request.header = MISSING_OPENER_HEADER;
        request.message = MISSING_OPENER_MESSAGE;
        dialogService().alert(request);
    }
    return result == Launch::started;
}

bool openDocumentWith(const std::string& program, const std::string& path, OnceNotice& notice) {
    const Launch result = launch(program, path);
    if (result == Launch::missing) notice.tell();
    return result == Launch::started;
}
