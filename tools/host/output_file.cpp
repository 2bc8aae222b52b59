#include "output_file.h"

#include "platform/file_io.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ondix::host {

namespace {

// The signals that end a run half-way, as Ctrl-C, kill and a closed terminal do.
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The temporary files a signal removes: fixed buffers, read by the handler
// without allocating. A slot's path is written before `used` is set.
struct Slot {
    std::atomic<bool> used{false};
    char path[PATH_MAX] = {};
};
static_assert(std::atomic<bool>::is_always_lock_free);
static_assert(std::atomic<int>::is_always_lock_free);
Slot slots[4];

// While the list changes or the outputs take their names, a signal waits
// (kept in heldSignal) and takes effect at the end of it.
std::atomic<bool> holding{false};
std::atomic<int> heldSignal{0};

void removeTemporaries() {
    for (Slot& slot : slots)
        if (slot.used.load(std::memory_order_acquire)) ::unlink(slot.path);
}

// Async-signal-safe: unlink, sigaction and raise only. In the handler the
// raised signal is blocked until the handler returns, and then ends the
// program with the signal's default action.
void endBySignal(int signal) {
    removeTemporaries();
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
    ::raise(signal);
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
    for (const int signal : kEndingSignals) sigaddset(&action.sa_mask, signal);
    for (const int signal : kEndingSignals) {
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
        if (const int signal = heldSignal.exchange(0, std::memory_order_acq_rel)) {
            endBySignal(signal);
            ::_exit(128 + signal); // blocked in this thread: end as a shell reports a signal
        }
    }
    SignalsWait(const SignalsWait&) = delete;
    SignalsWait& operator=(const SignalsWait&) = delete;
};

int takeSlot(const std::string& path) {
    if (path.size() >= PATH_MAX) return -1;
    for (int i = 0; i < static_cast<int>(std::size(slots)); ++i) {
        Slot& slot = slots[i];
        if (slot.used.load(std::memory_order_relaxed)) continue;
        std::memcpy(slot.path, path.c_str(), path.size() + 1);
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

} // namespace

OutputFile::~OutputFile() {
    discard();
}

void OutputFile::discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
    releaseSlot(slot_);
}

bool OutputFile::open(const std::string& path, Special special, std::string& error) {
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
            if (special == Special::refuse) {
                error = "cannot replace " + path + ": it is not a regular file";
                return false;
            }
            fd_ = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
            if (fd_ < 0) error = "cannot write " + path + ": " + reason(errno);
            return fd_ >= 0;
        }
        mode = st.st_mode & 07777;
    }

    const std::string folder = folderPrefix(target_);
    std::string name = folder + "." + target_.substr(folder.size()) + ".XXXXXX";
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
    slot_ = takeSlot(temp_);
    struct stat made {};
    if (::fchmod(fd_, mode) != 0 || ::fstat(fd_, &made) != 0) {
        error = "cannot write " + path + ": " + reason(errno);
        discard();
        return false;
    }
    device_ = made.st_dev;
    inode_ = made.st_ino;
    return true;
}

bool OutputFile::write(std::string_view bytes, std::string& error) {
    if (fd_ >= 0 && writeAll(fd_, bytes)) return true;
    error = "cannot write " + path_ + ": " + reason(fd_ >= 0 ? errno : EBADF);
    return false;
}

bool OutputFile::finish(std::string& error) {
    if (fd_ < 0) return true;
    // Devices and FIFOs cannot be synced, and need not be.
    int failure = 0;
    if (!temp_.empty() && ::fsync(fd_) != 0) failure = errno;
    if (::close(fd_) != 0 && failure == 0) failure = errno;
    fd_ = -1;
    if (failure == 0) return true;
    error = "cannot write " + path_ + ": " + reason(failure);
    return false;
}

bool OutputFile::stillThere(std::string& error) const {
    if (temp_.empty()) return true;
    struct stat st {};
    if (::lstat(temp_.c_str(), &st) == 0 && st.st_dev == device_ && st.st_ino == inode_)
        return true;
    error = "cannot write " + path_ + ": the file was removed while it was being written";
    return false;
}

bool OutputFile::putInPlace(std::string& error) {
    if (temp_.empty()) return true;
    if (::rename(temp_.c_str(), target_.c_str()) != 0) {
        error = "cannot replace " + path_ + ": " + reason(errno);
        return false;
    }
    temp_.clear();
    releaseSlot(slot_);
    syncFolder(target_);
    return true;
}

bool commitOutputs(std::initializer_list<OutputFile*> files, std::string& error,
                   const OutputFile** failed) {
    const SignalsWait wait;
    auto fail = [&](const OutputFile* file) {
        if (failed) *failed = file;
        for (OutputFile* f : files)
            if (f) f->discard();
        return false;
    };
    for (OutputFile* f : files)
        if (f && !f->finish(error)) return fail(f);
    for (OutputFile* f : files)
        if (f && !f->stillThere(error)) return fail(f);
    for (OutputFile* f : files)
        if (f && !f->putInPlace(error)) return fail(f);
    return true;
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
