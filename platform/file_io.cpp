#include "platform/file_io.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Symbolic links followed before a chain counts as a loop (the kernel's own limit).
constexpr int MAX_LINK_HOPS = 40;
// Names tried for a temporary file before giving up.
constexpr int MAX_TEMP_ATTEMPTS = 100;

std::string reason(int err) {
    return std::strerror(err);
}

// Closes a descriptor on every way out.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd(fd) {}
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd; }
    // Gives the descriptor up to the caller, who closes it.
    int release() {
        const int kept = fd;
        fd = -1;
        return kept;
    }
    // Closes now; false when the close reports an error (a delayed write failure).
    bool close() {
        const int result = ::close(fd);
        fd = -1;
        return result == 0;
    }

private:
    int fd;
};

std::string hex8(std::uint32_t x) {
    static constexpr char HEX[] = "0123456789abcdef";
    std::string text(8, '0');
    for (char& c : text) {
        c = HEX[x & 15];
        x >>= 4;
    }
    return text;
}

// Eight hexadecimal digits that differ between calls, processes and runs.
std::string uniqueSuffix() {
    static std::atomic<std::uint32_t> counter{0};
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::uint64_t x = static_cast<std::uint64_t>(now.tv_nsec) ^
                      static_cast<std::uint64_t>(now.tv_sec) << 30 ^
                      static_cast<std::uint64_t>(::getpid()) << 20 ^
                      counter.fetch_add(1, std::memory_order_relaxed) * 0x9E3779B97F4A7C15ull;
    x ^= x >> 33;
    x *= 0xFF51AFD7ED558CCDull;
    x ^= x >> 33;
    return hex8(static_cast<std::uint32_t>(x));
}

// Temporary files and folders are named "." + the target's name + "." +
// "<pid>-<place>-<unique>": the process that writes it, where that process
// number means something (eight hexadecimal digits from the machine's name
// and the process-number namespace, so that a folder shared with another
// machine or container never has its files taken for ours) and eight more
// that keep names apart. Such a file whose process is gone was left by a
// save that was killed, and the next save to the same target removes it.
// Names of this shape are made for nothing else.
std::string placeTag() {
    static const std::string tag = [] {
        char host[256] = {};
        ::gethostname(host, sizeof host - 1);
        char space[64] = {};
        if (::readlink("/proc/self/ns/pid", space, sizeof space - 1) < 0) space[0] = '\0';
        std::uint32_t h = 2166136261u; // FNV-1a
        const auto mix = [&h](const char* text) {
            for (const char* c = text;; ++c) {
                h = (h ^ static_cast<unsigned char>(*c)) * 16777619u;
                if (*c == '\0') break;
            }
        };
        mix(host);
        mix(space);
        return hex8(h);
    }();
    return tag;
}

std::string temporaryName(const std::string& name) {
    return "." + name + "." + std::to_string(::getpid()) + "-" + placeTag() + "-" + uniqueSuffix();
}

bool isHex8(std::string_view text) {
    return text.size() == 8 && text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

// Whether rest, the part of a temporary name after the target's name and
// '.', names a process of this place that has ended. A process number in
// use (by the writer or by a later process that took its number) keeps the
// file: it is removed by a save after that process has ended.
bool writerEnded(std::string_view rest) {
    pid_t pid = 0;
    const auto [end, failure] = std::from_chars(rest.data(), rest.data() + rest.size(), pid);
    const auto digits = static_cast<std::size_t>(end - rest.data());
    if (failure != std::errc() || pid <= 0 || rest[0] == '0' || rest.size() != digits + 18 ||
        rest[digits] != '-' || rest[digits + 9] != '-' ||
        rest.substr(digits + 1, 8) != placeTag() || !isHex8(rest.substr(digits + 10)))
        return false;
    return pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH;
}

// Whether entry, in the folder of a target called name, is a temporary file
// or folder of a save to that target whose process has ended.
bool isLeftTemporary(std::string_view entry, std::string_view name) {
    if (entry.size() <= name.size() + 2 || entry[0] != '.' ||
        entry.substr(1, name.size()) != name || entry[name.size() + 1] != '.')
        return false;
    return writerEnded(entry.substr(name.size() + 2));
}

// Whether entry is a temporary file or folder of a save to any target whose
// process has ended (the writer's part holds no '.': it follows the last).
bool isAnyLeftTemporary(std::string_view entry) {
    const std::size_t dot = entry.rfind('.');
    return entry.size() > 2 && entry[0] == '.' && dot != std::string_view::npos && dot > 1 &&
           writerEnded(entry.substr(dot + 1));
}

// Removes a left temporary folder: the files in it (the presets copied so
// far, and their own temporary files), then the folder. Anything else in it
// keeps it.
void removeLeftFolder(int parent, const char* name) {
    const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    if (DIR* dir = ::fdopendir(fd)) {
        while (const dirent* e = ::readdir(dir)) {
            struct stat st {};
            if (::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISREG(st.st_mode))
                ::unlinkat(::dirfd(dir), e->d_name, 0);
        }
        ::closedir(dir);
    } else {
        ::close(fd);
    }
    ::unlinkat(parent, name, AT_REMOVEDIR);
}

// Removes the temporary files and folders in folder ("" for the working
// folder) that left(name) takes for what killed saves left.
template <class Left> void removeLeftIn(std::string folder, Left left) {
    if (folder.empty()) folder = ".";
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    while (const dirent* e = ::readdir(dir)) {
        if (!left(std::string_view(e->d_name))) continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISREG(st.st_mode))
            ::unlinkat(::dirfd(dir), e->d_name, 0);
        else if (S_ISDIR(st.st_mode))
            removeLeftFolder(::dirfd(dir), e->d_name);
    }
    ::closedir(dir);
}

// Removes what killed saves to target left beside it (see placeTag).
void removeLeftTemporaries(const std::string& target) {
    const std::string folder = folderPrefix(target);
    const std::string name = target.substr(folder.size());
    removeLeftIn(folder, [&](std::string_view entry) { return isLeftTemporary(entry, name); });
}

// Makes a new temporary file (or folder) beside target with make(path),
// which answers as open does; its answer, -1 with errno set when nothing can
// be made (a full or read-only folder, a name too long). A target whose name
// leaves no room for the process number gets the shorter name "." + name +
// "." + <unique> (not removed when left behind).
template <class Make>
int createBeside(const std::string& target, std::string& tempPath, Make make) {
    removeLeftTemporaries(target);
    const std::string folder = folderPrefix(target);
    const std::string name = target.substr(folder.size());
    bool named = true;
    for (int attempt = 0; attempt < MAX_TEMP_ATTEMPTS;) {
        tempPath = folder + (named ? temporaryName(name) : "." + name + "." + uniqueSuffix());
        const int result = make(tempPath);
        if (result < 0 && errno == ENAMETOOLONG && named) {
            named = false;
            continue;
        }
        if (result >= 0 || errno != EEXIST) return result;
        ++attempt;
    }
    errno = EEXIST;
    return -1;
}

// Creates a new, empty temporary file beside target, telling naming (when
// given) its name first; -1 with errno set when none can be made.
int createTemporary(const std::string& target, mode_t mode, std::string& tempPath,
                    const std::function<void(const std::string&)>& naming = {}) {
    return createBeside(target, tempPath, [mode, &naming](const std::string& path) {
        if (naming) naming(path);
        return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY,
                      mode);
    });
}

// Moves from to to while nothing is at to; 0 or the errno of the failure
// (EEXIST: the name is in use). File systems that cannot refuse to replace
// in the rename itself get the name claimed first by an exclusive create,
// which the rename then replaces: the claim is ours alone.
int moveToFreeName(const std::string& from, const std::string& to, bool folder) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return errno;
    if (folder) {
        if (::mkdir(to.c_str(), 0700) != 0) return errno;
    } else {
        const int fd =
            ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) return errno;
        ::close(fd);
    }
    if (::rename(from.c_str(), to.c_str()) != 0) {
        const int failure = errno;
        if (folder)
            ::rmdir(to.c_str());
        else
            ::unlink(to.c_str());
        return failure;
    }
    return 0;
}

bool nameInUse(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

} // namespace

// Writes all of data to fd, through interrupted and short writes.
bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) {
            errno = EIO;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Flushes a folder's entry list, so that a rename in it is on disk. Some file
// systems cannot sync a folder; the rename is then as durable as it gets.
void syncFolder(const std::string& target) {
    std::string folder = folderPrefix(target);
    if (folder.empty()) folder = ".";
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// The folder part of path with its trailing '/' ("" for a bare name, "/" for
// a file in the root).
std::string folderPrefix(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The file a save to path replaces: path itself, or the end of its chain of
// symbolic links (which need not exist yet). A relative link is relative to
// the folder of the link.
bool followLinks(std::string& path, std::string& error) {
    for (int hop = 0; hop < MAX_LINK_HOPS; ++hop) {
        char target[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
        if (n < 0) return true; // not a link (or not there): the path itself
        if (static_cast<std::size_t>(n) == sizeof target) {
            error = "cannot follow the link " + path + ": " + reason(ENAMETOOLONG);
            return false;
        }
        const std::string link(target, static_cast<std::size_t>(n));
        path = link.front() == '/' ? link : folderPrefix(path) + link;
    }
    error = "cannot follow the link " + path + ": " + reason(ELOOP);
    return false;
}

namespace {

// Opens path for reading when it is a regular file (its size in st); -1
// with error set otherwise. Non-blocking: opening a FIFO without a writer
// (or a device) must not hang, and the type is checked on the descriptor
// opened, so nothing can be swapped in between.
int openRegularFile(const std::string& path, struct stat& st, std::string& error) {
    if (path.empty() || path.find('\0') != std::string::npos) {
        error = "no file name given";
        return -1;
    }
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0) {
        error = "cannot open " + path + ": " + reason(errno);
        return -1;
    }
    if (::fstat(fd.get(), &st) != 0) {
        error = "cannot read " + path + ": " + reason(errno);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        error = path + (S_ISDIR(st.st_mode) ? " is a folder" : " is not a regular file");
        return -1;
    }
    return fd.release();
}

} // namespace

int openRegularFile(const std::string& path, std::string& error) {
    struct stat st {};
    return openRegularFile(path, st, error);
}

bool readRegularFile(const std::string& path, std::size_t maxBytes, std::string& bytes,
                     std::string& error) {
    bytes.clear();
    struct stat st {};
    Descriptor fd(openRegularFile(path, st, error));
    if (fd.get() < 0) return false;
    const auto tooLarge = [&] {
        error = path + " is larger than " + std::to_string(maxBytes) + " bytes; not read";
        bytes.clear();
        return false;
    };
    if (st.st_size < 0 || static_cast<std::uintmax_t>(st.st_size) > maxBytes) return tooLarge();
    bytes.reserve(static_cast<std::size_t>(st.st_size));

    // The size may change while we read (or be 0 for generated files): the
    // limit holds for what is really read.
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = "cannot read " + path + ": " + reason(errno);
            bytes.clear();
            return false;
        }
        if (n == 0) break;
        if (static_cast<std::size_t>(n) > maxBytes - bytes.size()) return tooLarge();
        bytes.append(chunk, static_cast<std::size_t>(n));
    }
    return true;
}

namespace {

// The steps of a save up to its temporary file: the file the save replaces
// (target), the mode it takes and the open temporary file; -1 with error set
// when the save cannot go ahead.
int startReplacing(const std::string& path, mode_t newFileMode, std::string& target, mode_t& mode,
                   bool& keepMode, std::string& tempPath, std::string& error,
                   const std::function<void(const std::string&)>& naming = {}) {
    if (path.empty() || path.find('\0') != std::string::npos) {
        error = "no file name given";
        return -1;
    }
    target = path;
    if (!followLinks(target, error)) return -1;

    mode = newFileMode & 07777;
    keepMode = false;
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            error =
                "cannot replace " + path +
                (S_ISDIR(st.st_mode) ? ": a folder is in its place" : ": it is not a regular file");
            return -1;
        }
        mode = st.st_mode & 07777;
        keepMode = true;
    }
    const int fd = createTemporary(target, mode, tempPath, naming);
    if (fd < 0) error = "cannot create a temporary file beside " + path + ": " + reason(errno);
    return fd;
}

} // namespace

bool canWriteFileDurably(const std::string& path, std::string& error) {
    std::string target, tempPath;
    mode_t mode = 0;
    bool keepMode = false;
    const int fd = startReplacing(path, 0600, target, mode, keepMode, tempPath, error);
    if (fd < 0) return false;
    ::close(fd);
    ::unlink(tempPath.c_str());
    return true;
}

bool writeFileDurably(const std::string& path, std::string_view bytes, std::string& error,
                      mode_t newFileMode, const std::function<void(const std::string&)>& naming) {
    std::string target, tempPath;
    mode_t mode = 0;
    bool keepMode = false;
    Descriptor fd(
        startReplacing(path, newFileMode, target, mode, keepMode, tempPath, error, naming));
    if (fd.get() < 0) return false;
    // A new file took the requested mode under the umask; an existing file's
    // mode is set as it was, whatever the umask.
    bool written = !keepMode || ::fchmod(fd.get(), mode) == 0;
    written = written && writeAll(fd.get(), bytes) && ::fsync(fd.get()) == 0;
    int failure = written ? 0 : errno;
    if (!fd.close() && written) {
        written = false;
        failure = errno;
    }
    if (!written) {
        ::unlink(tempPath.c_str());
        error = "cannot write " + path + ": " + reason(failure);
        return false;
    }
    if (::rename(tempPath.c_str(), target.c_str()) != 0) {
        failure = errno;
        ::unlink(tempPath.c_str());
        error = "cannot replace " + path + ": " + reason(failure);
        return false;
    }
    syncFolder(target);
    return true;
}

bool removeLeftTemporary(const std::string& path, const std::string& temporaryPath) {
    std::string target = path;
    std::string error;
    if (!followLinks(target, error)) return false;
    const std::string folder = folderPrefix(target);
    if (temporaryPath.compare(0, folder.size(), folder) != 0) return false;
    const std::string_view entry = std::string_view(temporaryPath).substr(folder.size());
    struct stat st {};
    return entry.find('/') == std::string_view::npos &&
           isLeftTemporary(entry, std::string_view(target).substr(folder.size())) &&
           ::lstat(temporaryPath.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::unlink(temporaryPath.c_str()) == 0;
}

NewName writeNewFileDurably(const std::string& path, std::string_view bytes, std::string& error,
                            mode_t newFileMode) {
    if (path.empty() || path.find('\0') != std::string::npos) {
        error = "no file name given";
        return NewName::failed;
    }
    if (nameInUse(path)) {
        error = "cannot create " + path + ": " + reason(EEXIST);
        return NewName::taken;
    }
    std::string tempPath;
    Descriptor fd(createTemporary(path, newFileMode & 07777, tempPath));
    if (fd.get() < 0) {
        error = "cannot create a temporary file beside " + path + ": " + reason(errno);
        return NewName::failed;
    }
    bool written = writeAll(fd.get(), bytes) && ::fsync(fd.get()) == 0;
    int failure = written ? 0 : errno;
    if (!fd.close() && written) {
        written = false;
        failure = errno;
    }
    if (written) failure = moveToFreeName(tempPath, path, false);
    if (!written || failure != 0) {
        ::unlink(tempPath.c_str());
        error = (written ? "cannot create " : "cannot write ") + path + ": " + reason(failure);
        return failure == EEXIST ? NewName::taken : NewName::failed;
    }
    syncFolder(path);
    return NewName::made;
}

NewName renameToNewName(const std::string& from, const std::string& to, std::string& error) {
    struct stat st {};
    if (::lstat(from.c_str(), &st) != 0) {
        error = "cannot move " + from + ": " + reason(errno);
        return NewName::failed;
    }
    const int failure = moveToFreeName(from, to, S_ISDIR(st.st_mode));
    if (failure != 0) {
        error = "cannot move " + from + " to " + to + ": " + reason(failure);
        return failure == EEXIST || failure == ENOTEMPTY ? NewName::taken : NewName::failed;
    }
    syncFolder(to);
    return NewName::made;
}

NewName makeNewFolder(const std::string& path, std::string& error, mode_t mode) {
    if (::mkdir(path.c_str(), mode) == 0) return NewName::made;
    const int failure = errno;
    error = "cannot create the folder " + path + ": " + reason(failure);
    return failure == EEXIST ? NewName::taken : NewName::failed;
}

std::string makeTemporaryFolder(const std::string& target, std::string& error) {
    std::string tempPath;
    if (target.empty() || target.find('\0') != std::string::npos) {
        error = "no folder name given";
        return {};
    }
    if (createBeside(target, tempPath,
                     [](const std::string& path) { return ::mkdir(path.c_str(), 0777); }) == 0)
        return tempPath;
    error = "cannot create a temporary folder beside " + target + ": " + reason(errno);
    return {};
}

void removeLeftTemporariesIn(const std::string& folder) {
    removeLeftIn(folder, isAnyLeftTemporary);
}
