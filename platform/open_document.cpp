#include "platform/open_document.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr char kOpener[] = "xdg-open";

} // namespace

// Two forks: the middle process ends at once and is collected here, so the
// viewer is adopted by init and never lingers as a child of the host. Only
// async-signal-safe calls run between fork and exec; the argument vector is
// ready before the first fork.
bool openDocument(const std::string& path) {
    if (path.empty()) return false;
    char* const argv[] = {const_cast<char*>(kOpener), const_cast<char*>(path.c_str()), nullptr};

    const pid_t middle = fork();
    if (middle < 0) return false;
    if (middle == 0) {
        setsid();
        const pid_t viewer = fork();
        if (viewer == 0) {
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
            execvp(kOpener, argv);
            _exit(127);
        }
        _exit(viewer < 0 ? 1 : 0);
    }
    int status = 0;
    while (waitpid(middle, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
