#include "output_file.h"

#include "platform/file_io.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <errno.h> // program_invocation_short_name
#include <fcntl.h>
#include <string.h> // sigabbrev_np
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ondix::host {

namespace {

// The temporary files a signal removes: fixed buffers, read by the handler
// without allocating. A slot's path and descriptor link are written before
// `used` is set. A run has at most this many outputs open at once.
struct Slot {
    std::atomic<bool> used{false};
    char path[PATH_MAX] = {};
    int fd = -1;
    char link[32] = {}; // "/proc/self/fd/N": where the file is should its folder move
};
static_assert(std::atomic<bool>::is_always_lock_free);
static_assert(std::atomic<int>::is_always_lock_free);
Slot slots[256];

// While the list changes or the outputs take their names, a signal waits
// (kept in heldSignal) and takes effect at the end of it.
std::atomic<bool> holding{false};
std::atomic<int> heldSignal{0};

// Once outputs are in place, a signal that ends the program says so: the
// line is made in advance ("PROGRAM: ended by " SIGNAL " after ... were put
// in place"), for the handler to write without allocating.
char signalNames[NSIG][16] = {};
char notePrefix[128] = {};
char noteSuffix[2048] = {};
std::atomic<bool> committed{false};

void writeText(const char* text) {
    for (size_t left = std::strlen(text); left > 0;) {
        const ssize_t n = ::write(STDERR_FILENO, text, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        text += n;
        left -= static_cast<size_t>(n);
    }
}

// A temporary whose folder was moved is removed where it is now, if it is
// still the same file; one that cannot be removed is named.
void removeTemporary(const Slot& slot) {
    if (::unlink(slot.path) == 0) return;
    const char* left = slot.path;
    char now[PATH_MAX];
    if (errno == ENOENT) {
        const ssize_t n = ::readlink(slot.link, now, sizeof now - 1);
        if (n <= 0 || now[0] != '/') return; // gone
        now[n] = '\0';
        struct stat held {};
        struct stat there {};
        if (::fstat(slot.fd, &held) != 0 || ::lstat(now, &there) != 0 ||
            held.st_dev != there.st_dev || held.st_ino != there.st_ino || ::unlink(now) == 0)
            return;
        left = now;
    }
    writeText(program_invocation_short_name);
    writeText(": ");
    writeText(left);
    writeText(" is left behind\n");
}

void removeTemporaries() {
    for (const Slot& slot : slots)
        if (slot.used.load(std::memory_order_acquire)) removeTemporary(slot);
}

// Async-signal-safe: unlink, readlink, stat, write, sigaction and raise only. In the
// handler the raised signal is blocked until the handler returns, and then
// ends the program with the signal's default action.
void endBySignal(int signal) {
    removeTemporaries();
    if (committed.load(std::memory_order_acquire)) {
        writeText(notePrefix);
        writeText(signalNames[signal]);
        writeText(noteSuffix);
    }
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
    ::raise(signal);
}

// After a signal held back (blocked in this thread, the raise may not end
// the program at once): end as a shell reports a signal.
[[noreturn]] void endByHeldSignal(int signal) {
    endBySignal(signal);
    ::_exit(128 + signal);
}

extern "C" void onEndingSignal(int signal) {
    const int savedErrno = errno;
    if (holding.load(std::memory_order_acquire))
        heldSignal.store(signal, std::memory_order_release);
    else
        endBySignal(signal);
    errno = savedErrno;
}

// Once, before the first temporary file: signals that would end the program
// remove the temporary files first. A signal ignored (nohup) or handled by
// someone else is left alone.
void installHandlers() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    struct sigaction action {};
    action.sa_handler = onEndingSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : endingSignals()) sigaddset(&action.sa_mask, signal);
    for (const int signal : endingSignals()) {
        const char* abbreviation = ::sigabbrev_np(signal);
        const std::string name =
            abbreviation ? std::string("SIG") + abbreviation : "signal " + std::to_string(signal);
        std::snprintf(signalNames[signal], sizeof signalNames[signal], "%s", name.c_str());
        struct sigaction previous {};
        if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_DFL)
            ::sigaction(signal, &action, nullptr);
    }
}

// A scope in which ending signals wait; a signal that came meanwhile ends
// the program when the scope closes.
class SignalsWait {
public:
    SignalsWait() { holding.store(true, std::memory_order_release); }
    ~SignalsWait() {
        holding.store(false, std::memory_order_release);
        if (const int signal = heldSignal.exchange(0, std::memory_order_acq_rel))
            endByHeldSignal(signal);
    }
    SignalsWait(const SignalsWait&) = delete;
    SignalsWait& operator=(const SignalsWait&) = delete;
};

int takeSlot(const std::string& path, int fd) {
    if (path.size() >= PATH_MAX) return -1;
    for (int i = 0; i < static_cast<int>(std::size(slots)); ++i) {
        Slot& slot = slots[i];
        if (slot.used.load(std::memory_order_relaxed)) continue;
        std::memcpy(slot.path, path.c_str(), path.size() + 1);
        slot.fd = fd;
        std::snprintf(slot.link, sizeof slot.link, "/proc/self/fd/%d", fd);
        slot.used.store(true, std::memory_order_release);
        return i;
    }
    return -1;
}

void releaseSlot(int& slot) {
    if (slot >= 0) slots[slot].used.store(false, std::memory_order_release);
    slot = -1;
}

std::string reason(int error) {
    return std::strerror(error);
}

mode_t newFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// Where the open file is now, "" when that cannot be told.
std::string currentPath(int fd) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char path[PATH_MAX];
    const ssize_t n = ::readlink(link, path, sizeof path);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof path || path[0] != '/') return {};
    return std::string(path, static_cast<size_t>(n));
}

// The line a signal writes once `files` are in place (see notePrefix).
void prepareNote(std::span<OutputFile* const> files) {
    std::vector<std::string> names;
    for (const OutputFile* f : files)
        if (f && !f->path().empty()) names.push_back(f->path());
    if (names.empty()) return;
    std::string placed = names.front();
    if (names.size() == 2) placed += " and " + names.back();
    if (names.size() > 2) placed += " and " + std::to_string(names.size() - 1) + " more files";
    const bool one = names.size() == 1;
    committed.store(false, std::memory_order_release);
    std::snprintf(notePrefix, sizeof notePrefix, "%s: ended by ", program_invocation_short_name);
    std::snprintf(noteSuffix, sizeof noteSuffix, " after %s %s put in place\n", placed.c_str(),
                  one ? "was" : "were");
    committed.store(true, std::memory_order_release);
}

} // namespace

void (*afterEachRename)() = nullptr;

void countWritten(std::uint64_t bytes) {
    static const std::uint64_t stopAt = [] {
        const char* text = std::getenv("ONDIX_TEST_STOP_AFTER_BYTES");
        std::uint64_t n = 0;
        if (text) std::from_chars(text, text + std::strlen(text), n);
        return n;
    }();
    static std::uint64_t written = 0;
    const bool reached = written < stopAt && bytes >= stopAt - written;
    written += bytes;
    if (reached) ::raise(SIGSTOP);
}

const std::vector<int>& endingSignals() {
    static const std::vector<int> signals = [] {
        std::vector<int> list = {SIGHUP,  SIGINT,  SIGQUIT, SIGUSR1, SIGUSR2,   SIGPIPE, SIGALRM,
                                 SIGTERM, SIGXCPU, SIGXFSZ, SIGPROF, SIGVTALRM, SIGPOLL};
#ifdef SIGSTKFLT
        list.push_back(SIGSTKFLT);
#endif
#ifdef SIGPWR
        list.push_back(SIGPWR);
#endif
        for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) list.push_back(signal);
        std::sort(list.begin(), list.end());
        list.erase(std::unique(list.begin(), list.end()), list.end());
        return list;
    }();
    return signals;
}

std::string cannotWrite(const std::string& path, int error) {
    std::string text = "cannot write " + path + ": " + reason(error);
    struct rlimit limit {};
    if (error == EFBIG && ::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        text += " (the limit on file sizes, ulimit -f, is " + std::to_string(limit.rlim_cur) +
                " bytes)";
    return text;
}

OutputFile::~OutputFile() {
    discard();
}

void OutputFile::discard(std::string* left) {
    std::string where = temp_;
    int failure = 0;
    if (!temp_.empty() && ::unlink(temp_.c_str()) != 0) {
        failure = errno;
        // Moved away with its folder: removed where it is now, if it is still the same file.
        const std::string now = failure == ENOENT && fd_ >= 0 ? currentPath(fd_) : "";
        struct stat st {};
        if (!now.empty() && ::lstat(now.c_str(), &st) == 0 && st.st_ino == inode_ &&
            st.st_dev == device_) {
            where = now;
            failure = ::unlink(now.c_str()) == 0 ? 0 : errno;
        }
    }
    releaseSlot(slot_); // before its descriptor's number can be another file's
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    temp_.clear();
    if (failure == 0 || failure == ENOENT) return;
    const std::string named = where + " is left behind (" + reason(failure) + ")";
    if (left)
        *left += "; " + named;
    else
        writeText((std::string(program_invocation_short_name) + ": " + named + "\n").c_str());
}

bool OutputFile::open(const std::string& path, std::string& error) {
    discard();
    path_ = path;
    target_ = path;
    if (path.empty() || path.find('\0') != std::string::npos) {
        error = "no file name given";
        return false;
    }
    if (!followLinks(target_, error)) return false;
    mode_t mode = newFileMode();
    struct stat st {};
    if (::lstat(target_.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            error = "cannot replace " + path + ": a folder is in its place";
            return false;
        }
        if (!S_ISREG(st.st_mode)) {
            error = "cannot replace " + path + ": it is not a regular file";
            return false;
        }
        mode = st.st_mode & 07777;
    }

    const std::string folder = folderPrefix(target_);
    std::string name = folder + "." + target_.substr(folder.size()) + ".XXXXXX";
    if (name.size() >= PATH_MAX) {
        error = "cannot write " + path + ": " + reason(ENAMETOOLONG);
        return false;
    }
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    installHandlers();
    const SignalsWait wait; // no temporary file exists unlisted
    fd_ = ::mkostemp(buffer.data(), O_CLOEXEC);
    if (fd_ < 0) {
        error = "cannot create a temporary file beside " + path + ": " + reason(errno);
        return false;
    }
    temp_ = buffer.data();
    slot_ = takeSlot(temp_, fd_);
    struct stat made {};
    if (slot_ < 0 || ::fchmod(fd_, mode) != 0 || ::fstat(fd_, &made) != 0) {
        error = "cannot write " + path + ": " +
                (slot_ < 0 ? "more than " + std::to_string(std::size(slots)) + " outputs at once"
                           : reason(errno));
        discard();
        return false;
    }
    device_ = made.st_dev;
    inode_ = made.st_ino;
    return true;
}

bool OutputFile::write(std::string_view bytes, std::string& error) {
    if (fd_ >= 0 && writeAll(fd_, bytes)) {
        countWritten(bytes.size());
        return true;
    }
    error = cannotWrite(path_, fd_ >= 0 ? errno : EBADF);
    return false;
}

// The descriptor stays open until the file is in place or discarded: while
// it is open, it tells where the file is should its folder be moved.
bool OutputFile::finish(std::string& error) {
    if (fd_ < 0) return true;
    if (::fsync(fd_) != 0) {
        error = cannotWrite(path_, errno);
        return false;
    }
    return stillThere(error);
}

bool OutputFile::stillThere(std::string& error) {
    struct stat st {};
    if (::fstat(fd_, &st) == 0 && st.st_nlink == 0) {
        error = "cannot write " + path_ + ": the file was removed while it was being written";
        return false;
    }
    if (::lstat(temp_.c_str(), &st) == 0 && st.st_dev == device_ && st.st_ino == inode_) {
        // The rename needs the folder writable still; found now, before any output is replaced.
        const std::string folder = folderPrefix(temp_);
        if (::faccessat(AT_FDCWD, folder.empty() ? "." : folder.c_str(), W_OK | X_OK, AT_EACCESS) ==
            0)
            return true;
        error = "cannot replace " + path_ + ": its folder cannot be written to any more (" +
                reason(errno) + ")";
        return false;
    }
    const std::string movedTo = currentPath(fd_);
    const std::string name = temp_.substr(folderPrefix(temp_).size());
    const std::string movedFolder = folderPrefix(movedTo);
    if (movedTo.empty())
        error = "cannot write " + path_ + ": the file was removed while it was being written";
    else if (movedTo.substr(movedFolder.size()) == name)
        error = "cannot write " + path_ + ": its folder was moved (to " +
                movedFolder.substr(0, movedFolder.size() - 1) + ") while it was being written";
    else
        error = "cannot write " + path_ + ": the file being written was moved (to " + movedTo + ")";
    return false;
}

bool OutputFile::putInPlace(std::string& error) {
    if (temp_.empty()) return true;
    if (::rename(temp_.c_str(), target_.c_str()) != 0) {
        error = "cannot replace " + path_ + ": " + reason(errno);
        return false;
    }
    // Synced before the rename: closing it now loses nothing.
    releaseSlot(slot_);
    ::close(fd_);
    fd_ = -1;
    temp_.clear();
    syncFolder(target_);
    return true;
}

bool commitOutputs(std::span<OutputFile* const> files, std::string& error,
                   const OutputFile** failed) {
    holding.store(true, std::memory_order_release);
    std::string replaced; // the outputs renamed before a rename failed
    auto fail = [&](const OutputFile* file) {
        if (failed) *failed = file;
        for (OutputFile* f : files)
            if (f) f->discard(&error);
        if (!replaced.empty()) error += "; " + replaced + " had been replaced already";
        return false;
    };
    bool done = true;
    for (OutputFile* f : files)
        if (done && f && !f->finish(error)) done = fail(f);
    for (OutputFile* f : files) {
        if (!done || !f) continue;
        const bool open = f->isOpen();
        if (!f->putInPlace(error)) {
            done = fail(f);
        } else if (open) {
            replaced += (replaced.empty() ? "" : ", ") + f->path();
            if (afterEachRename) afterEachRename();
        }
    }
    if (done) prepareNote(files);
    holding.store(false, std::memory_order_release);
    if (const int signal = heldSignal.exchange(0, std::memory_order_acq_rel)) {
        // Ended by the signal now; what the caller would have said first.
        if (!done)
            writeText((std::string(program_invocation_short_name) + ": " + error + "\n").c_str());
        endByHeldSignal(signal);
    }
    return done;
}

bool commitOutputs(std::initializer_list<OutputFile*> files, std::string& error,
                   const OutputFile** failed) {
    return commitOutputs(std::span<OutputFile* const>(files.begin(), files.size()), error, failed);
}

namespace {

// The folder (made absolute, its links resolved) and name that path names
// once its own links are followed.
std::string resolvedName(const std::string& path) {
    std::string target = path;
    std::string ignored;
    if (!followLinks(target, ignored)) return path;
    const std::string folder = folderPrefix(target);
    char* real = ::realpath(folder.empty() ? "." : folder.c_str(), nullptr);
    if (!real) return target;
    std::string resolved = std::string(real) + "/" + target.substr(folder.size());
    std::free(real);
    return resolved;
}

} // namespace

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    const bool aExists = ::stat(a.c_str(), &sa) == 0;
    const bool bExists = ::stat(b.c_str(), &sb) == 0;
    if (aExists && bExists) return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    if (aExists || bExists) return false;
    return resolvedName(a) == resolvedName(b);
}

} // namespace ondix::host
