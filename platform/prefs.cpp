// The preference store: a line-based text file per scope (format in
// prefs.h), held in memory.

#include "platform/prefs.h"

#include "core/process_shared.h"
#include "platform/file_io.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Entry = PrefsEntry;
using Store = PrefsStore;

// What stat tells of a file: another identity, size or time means that
// someone replaced or edited it.
struct FileStamp {
    // Something is in the file's place: stat found it, or failed for a
    // reason other than its absence (a link into a folder that cannot be
    // entered, a loop of links), which `failure` holds.
    bool exists = false;
    int failure = 0;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long long modifiedNs = 0;
    long long changedNs = 0;

    bool operator==(const FileStamp&) const = default;
};

struct Snapshot {
    bool loaded = false;
    std::string ownDir; // folders without a trailing '/'; "" when unknown
    std::string anyDir;
    Store own;     // the own file as last read or written, `pending` laid over it
    Store pending; // entries set here that the own file does not hold yet
    // Keys among `pending` that only fill in a value the file lacks (a
    // default written back, a copy from the any-user scope): a value the file
    // turns out to hold for them wins.
    std::set<std::string, std::less<>> fillIns;
    FileStamp ownStamp; // the own file when `own` was read or written
    Store anyUser;
    // Why the own file, which is there, cannot be read ("" when it can, or
    // is not there). While it is set the file is never written.
    std::string unreadable;
    std::string notice; // that reason, until the editor has shown it
    // Another process held the lock beyond a save's wait: later saves only
    // try it, without waiting, until one gets it.
    bool lockBusy = false;
    // A closing plug-in waited CLOSE_WAIT in vain: later closes only try.
    bool closeWaited = false;
    std::string saveError; // why the last save stored nothing ("" when it did)
    // Why saves fail to write the own file, until the editor has shown it,
    // and every such reason told since the last save that stored.
    std::string saveNotice;
    std::set<std::string, std::less<>> toldSaveFailures;
    std::string lastUnsaved;   // what standard error was last told was not saved
    bool toldUnlocked = false; // standard error heard that nothing can be locked
};

// Function-local statics: usable from any other static initialiser.
std::mutex& prefsMutex() {
    static std::mutex mutex;
    return mutex;
}

// Shared like the tables (core/process_shared.h): an instance that a host
// closes after the library's static objects are gone still finds it.
Snapshot& snapshot() {
    constinit static ProcessShared<Snapshot> shared{[] { return std::make_unique<Snapshot>(); }};
    return shared.get();
}

constexpr const char* FILE_HEADER = "# Ondix preferences\n";

// How long a save waits for another process's save to end before it keeps
// its entries for a later save, and the longest pause between two tries.
constexpr auto LOCK_WAIT = std::chrono::milliseconds(200);
constexpr auto LOCK_MAX_PAUSE = std::chrono::milliseconds(10);
// How long a closing plug-in waits for the lock to store what still waits:
// many processes that close at once each save in turn.
constexpr auto CLOSE_WAIT = std::chrono::milliseconds(5000);

// Open save groups (PrefsSaveGroup); while there is one, writes wait for the
// last to end. Not part of the snapshot: reloadPrefs() keeps it.
int gSaveGroups = 0;
// Counts reloadPrefs() calls: a save that let go of the mutex finds out
// whether the snapshot it began with is still the one there.
unsigned gReloads = 0;
// A save of this process has its turn (savePending): it waits for the lock,
// holds it or writes the file.
bool gSaving = false;

std::string prefsFileName() {
    std::string name;
    name.reserve(sizeof PREF_PATH_STR + 8);
    name.append(PREF_PATH_STR, sizeof PREF_PATH_STR - 1);
    name.append(".prefs", 6);
    return name;
}

// ------------------------------------------------------------------ folders

std::string envValue(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::string joinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

std::string homeFolder() {
    std::string home = envValue("HOME");
    if (!home.empty()) return home;
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384u);
    passwd pw{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &pw, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir && found->pw_dir[0] != '\0')
        return found->pw_dir;
    return {};
}

void resolveFolders(Snapshot& s) {
    const std::string redirect = envValue("ONDIX_PREFS_DIR");
    if (!redirect.empty()) {
        s.ownDir = withoutTrailingSlashes(redirect);
        s.anyDir = joinPath(s.ownDir, "any-user");
        return;
    }

    // Relative entries are invalid in these variables and are ignored.
    std::string config = envValue("XDG_CONFIG_HOME");
    if (config.empty() || config[0] != '/') {
        const std::string home = homeFolder();
        config = home.empty() ? std::string() : joinPath(home, ".config");
    }
    s.ownDir = config.empty() ? std::string() : joinPath(withoutTrailingSlashes(config), "Haldmer");

    const std::string dirs = envValue("XDG_CONFIG_DIRS");
    std::string first = dirs.substr(0, dirs.find(':'));
    if (first.empty() || first[0] != '/') first = "/etc/xdg";
    s.anyDir = joinPath(withoutTrailingSlashes(first), "Haldmer");
}

} // namespace

std::string ondixDataFolder() {
    // Relative entries are invalid in these variables and are ignored.
    std::string data = envValue("XDG_DATA_HOME");
    if (data.empty() || data[0] != '/') {
        const std::string home = homeFolder();
        data = joinPath(home.empty() ? std::string("/tmp") : home, ".local/share");
    }
    return joinPath(withoutTrailingSlashes(data), "Haldmer/Ondix/");
}

namespace {

// ----------------------------------------------------------------- escaping

bool mustEscape(unsigned char c) {
    return c < 0x20 || c >= 0x7F || c == '=' || c == '\\';
}

void appendEscaped(std::string& out, std::string_view text) {
    static constexpr char HEX[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const bool edgeSpace = c == ' ' && (i == 0 || i + 1 == text.size());
        if (mustEscape(c) || edgeSpace) {
            out += '\\';
            out += 'x';
            out += HEX[c >> 4];
            out += HEX[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::optional<std::string> unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (i + 3 >= text.size() || text[i + 1] != 'x') return std::nullopt;
        const int hi = hexDigit(text[i + 2]);
        const int lo = hexDigit(text[i + 3]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out += static_cast<char>(hi * 16 + lo);
        i += 3;
    }
    return out;
}

// ------------------------------------------------------------ file contents

void parseLine(std::string_view line, Store& store) {
    if (line.size() < 4 || (line[0] != 's' && line[0] != 'i') || line[1] != ' ') return;
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos || eq < 3 || line[eq - 1] != ' ') return;
    // "key =" at the very end of a line reads as an empty value.
    std::string_view rawValue;
    if (eq + 1 < line.size()) {
        if (line[eq + 1] != ' ') return;
        rawValue = line.substr(eq + 2);
    }
    const std::optional<std::string> key = unescape(line.substr(2, eq - 3));
    if (!key) return;

    Entry entry;
    if (line[0] == 'i') {
        int number = 0;
        const char* first = rawValue.data();
        const char* last = first + rawValue.size();
        const auto [ptr, ec] = std::from_chars(first, last, number);
        if (ec != std::errc() || ptr != last || rawValue.empty()) return;
        entry.isInt = true;
        entry.number = number;
    } else {
        std::optional<std::string> value = unescape(rawValue);
        if (!value) return;
        entry.text = std::move(*value);
    }
    store.insert_or_assign(*key, std::move(entry));
}

} // namespace

PrefsStore parsePrefsFile(std::string_view data) {
    Store store;
    std::size_t pos = 0;
    while (pos < data.size()) {
        // A last line without its '\n' (the file's end edited by hand) counts.
        std::size_t end = data.find('\n', pos);
        if (end == std::string_view::npos) end = data.size();
        std::string_view line = data.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line[0] == '#') continue;
        parseLine(line, store);
    }
    return store;
}

namespace {

std::string serialise(const Store& store) {
    std::string out = FILE_HEADER;
    for (const auto& [key, entry] : store) {
        out += entry.isInt ? "i " : "s ";
        appendEscaped(out, key);
        out += " = ";
        if (entry.isInt) {
            char digits[16];
            const auto result = std::to_chars(digits, digits + sizeof digits, entry.number);
            out.append(digits, result.ptr);
        } else {
            appendEscaped(out, entry.text);
        }
        out += '\n';
    }
    return out;
}

// ------------------------------------------------------------------- files

// Anything but a regular file, a file that cannot be opened or read and one
// larger than the limit read as nothing: the any-user file is only read.
Store readStore(const std::string& path) {
    if (path.empty()) return {};
    std::string data;
    std::string error;
    if (!readRegularFile(path, PREFS_MAX_FILE_BYTES, data, error)) return {};
    return parsePrefsFile(data);
}

bool makeFolders(const std::string& folder) {
    if (folder.empty()) return false;
    for (std::size_t pos = 1; pos <= folder.size(); ++pos) {
        if (pos < folder.size() && folder[pos] != '/') continue;
        const std::string prefix = folder.substr(0, pos);
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat st {};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// ---------------------------------------------------------------- snapshot

std::string ownFilePath(const Snapshot& s) {
    return s.ownDir.empty() ? std::string() : joinPath(s.ownDir, prefsFileName());
}

FileStamp stampOf(const std::string& path) {
    FileStamp stamp;
    struct stat st {};
    if (path.empty()) return stamp;
    if (::stat(path.c_str(), &st) != 0) {
        // A missing file, or a folder on its way that is missing or a file,
        // is not there; any other failure means something is in its place
        // that cannot be read.
        if (errno != ENOENT && errno != ENOTDIR) {
            stamp.exists = true;
            stamp.failure = errno;
        }
        return stamp;
    }
    stamp.exists = true;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.size = st.st_size;
    stamp.modifiedNs =
        static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    stamp.changedNs = static_cast<long long>(st.st_ctim.tv_sec) * 1000000000LL + st.st_ctim.tv_nsec;
    return stamp;
}

// The own file is there but cannot be read: said once on standard error, and
// kept for the editor to show.
void noteUnreadable(Snapshot& s, const std::string& reason) {
    if (!s.unreadable.empty()) {
        s.unreadable = reason;
        return;
    }
    s.unreadable = reason;
    s.notice = "Your Ondix settings cannot be read (" + reason +
               "). Settings you change last until Ondix closes; the file is left as it is.";
    std::fprintf(stderr, "Ondix: %s; settings are kept in memory and that file is not written\n",
                 reason.c_str());
}

// Reads the own file into store. False when it is there but cannot be read
// whole (no permission, a folder or other non-file in its place, a link into
// a folder that cannot be entered, a loop of links, beyond the size limit):
// the reason is noted and store is left alone. A file that is not there reads
// as empty.
bool readOwnFile(Snapshot& s, const std::string& path, const FileStamp& stamp, Store& store) {
    std::string data;
    std::string error;
    if (!readRegularFile(path, PREFS_MAX_FILE_BYTES, data, error)) {
        if (stamp.exists && stampOf(path).exists) {
            noteUnreadable(s, error);
            return false;
        }
        data.clear(); // not there
    }
    store = parsePrefsFile(data);
    s.unreadable.clear();
    s.notice.clear();
    return true;
}

// Lays the entries waiting to be written over the file's entries. Each wins
// for its own key, also one set while the file could not be read, except a
// fill-in for a key the file holds a value for: that fill-in is dropped.
void layPending(Snapshot& s, Store& file) {
    for (auto it = s.pending.begin(); it != s.pending.end();) {
        const auto held = file.find(it->first);
        if (s.fillIns.contains(it->first) && held != file.end() && !held->second.isInt &&
            !held->second.text.empty()) {
            s.fillIns.erase(it->first);
            it = s.pending.erase(it);
            continue;
        }
        file.insert_or_assign(it->first, it->second);
        ++it;
    }
}

// Reads the own file again when it is no longer the one last read or
// written (another process saved, or the user edited or removed it); the
// entries still waiting to be written stay on top. The stamp is taken before
// the file is read, so a save that slips in between is read on the next call.
// A file that cannot be read leaves the entries as they were.
void refreshOwn(Snapshot& s) {
    const std::string path = ownFilePath(s);
    if (path.empty()) return;
    const FileStamp now = stampOf(path);
    if (now == s.ownStamp) return;
    s.ownStamp = now;
    Store read;
    if (!readOwnFile(s, path, now, read)) return;
    layPending(s, read);
    s.own = std::move(read);
}

Snapshot& loadedSnapshot() {
    Snapshot& s = snapshot();
    if (!s.loaded) {
        resolveFolders(s);
        s.anyUser = s.anyDir.empty() ? Store() : readStore(joinPath(s.anyDir, prefsFileName()));
        s.loaded = true;
    }
    refreshOwn(s);
    return s;
}

// The user's own lock files for the settings in `folder`, outside it, at
// names that every process saving there meets whatever its environment
// says: ondix-prefs-<uid>-<device>-<inode>.lock, the folder's device and
// inode in hexadecimal, in /tmp and in /dev/shm. Each of the two is locked
// where it can be, so that processes that find one of them out of reach (a
// /tmp of their own, a name another user took) still meet at the other.
// None when the folder cannot be looked at.
std::vector<std::string> ownLockPaths(const std::string& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) return {};
    char digits[64];
    char* end = digits;
    const auto put = [&](unsigned long long n, int base, char after) {
        end = std::to_chars(end, digits + sizeof digits - 1, n, base).ptr;
        *end++ = after;
    };
    put(::geteuid(), 10, '-');
    put(static_cast<unsigned long long>(st.st_dev), 16, '-');
    put(static_cast<unsigned long long>(st.st_ino), 16, '.');
    const std::string name = "ondix-prefs-" + std::string(digits, end) + "lock";
    return {joinPath("/tmp", name), joinPath("/dev/shm", name)};
}

// An exclusive advisory lock held while a save reads, merges and replaces
// the own file. These are locked, in this order: the settings folder and
// the lock file beside the own file, which other builds lock too, and the
// user's own lock files outside the folder (ownLockPaths), which the user
// can lock even where the folder cannot be opened (mode 0300) and the lock
// file not at all. A lock file that cannot be opened for writing (a
// read-only file, a folder in its place) is opened read-only, which flock
// allows; one that cannot be opened at all (another user's private file, a
// link) is left out, and so is each of the others that cannot be opened or
// locked. A holder that keeps any of them beyond the wait makes the lock
// busy: the save is not made. Only where none can be locked is the lock
// unavailable, and a save goes ahead without it.
class SaveLock {
public:
    enum class State { held, busy, unavailable };

    SaveLock(const std::string& folder, const std::string& lockPath,
             const std::vector<std::string>& ownPaths, std::chrono::milliseconds wait) {
        constexpr int LOCK_FILE_FLAGS = O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY;
        const auto deadline = std::chrono::steady_clock::now() + wait;
        fds_[0] = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fds_[0] < 0) noteFailure(folder, errno);
        fds_[1] = ::open(lockPath.c_str(), O_RDWR | O_CREAT | LOCK_FILE_FLAGS, 0600);
        const bool writable = fds_[1] >= 0;
        if (!writable) fds_[1] = ::open(lockPath.c_str(), O_RDONLY | LOCK_FILE_FLAGS);
        if (fds_[1] < 0) noteFailure(lockPath, errno);
        const std::string* names[2] = {&folder, &lockPath};
        for (int i = 0; i < 2; ++i) {
            if (fds_[i] < 0) continue;
            const State got = acquire(fds_[i], deadline);
            if (got == State::unavailable) {
                noteFailure(*names[i], errno);
                ::close(fds_[i]);
                fds_[i] = -1;
                continue;
            }
            state = got;
            if (got == State::busy) return;
            if (i == 1 && writable) records_.push_back(fds_[1]);
        }
        for (const std::string& path : ownPaths) {
            const State got = acquireOwn(path, deadline);
            if (got == State::unavailable) continue;
            state = got;
            if (got == State::busy) return;
        }
    }
    ~SaveLock() {
        // Removed while they are held (see acquireOwn).
        for (const auto& [path, fd] : own_) {
            ::unlink(path.c_str());
            ::close(fd);
        }
        for (int fd : fds_)
            if (fd >= 0) ::close(fd); // releases the lock
    }
    SaveLock(const SaveLock&) = delete;
    SaveLock& operator=(const SaveLock&) = delete;

    State state = State::unavailable;
    // What could not be locked and why, when the lock is unavailable.
    std::string failures;

    // While a save writes, the name of its temporary file is kept in each
    // lock file held that can be written ("" when none is being written), so
    // that the next holder finds what a save killed meanwhile left, also in
    // a folder that cannot be listed. True when one of them keeps it.
    bool record(const std::string& temporaryPath) const {
        const auto size = static_cast<ssize_t>(temporaryPath.size());
        bool kept = false;
        for (const int fd : records_)
            kept = (::ftruncate(fd, 0) == 0 &&
                    ::pwrite(fd, temporaryPath.data(), temporaryPath.size(), 0) == size) ||
                   kept;
        return kept;
    }
    // The names kept there by holders before.
    std::vector<std::string> recorded() const {
        std::vector<std::string> names;
        for (const int fd : records_) {
            char text[PATH_MAX];
            const ssize_t n = ::pread(fd, text, sizeof text, 0);
            if (n > 0 && static_cast<std::size_t>(n) < sizeof text)
                names.emplace_back(text, static_cast<std::size_t>(n));
        }
        return names;
    }

private:
    // errno tells why when the lock is unavailable.
    static State acquire(int fd, std::chrono::steady_clock::time_point deadline) {
        auto pause = std::chrono::milliseconds(1);
        for (;;) {
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return State::held;
            if (errno == EINTR) continue;
            if (errno != EWOULDBLOCK) return State::unavailable;
            const auto now = std::chrono::steady_clock::now();
            if (now >= deadline) return State::busy;
            std::this_thread::sleep_for(
                std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
            pause = std::min(pause * 2, LOCK_MAX_PAUSE);
        }
    }

    // One of the user's own lock files: made with mode 0600 when it is
    // missing, never through a link, and used only when it is a regular file
    // of the user's. Every holder removes it before letting go, so none stays
    // behind; one that gets the lock after that finds that the name no longer
    // leads to the file it locked, and opens the name again, for as long as
    // the wait lasts however often the lock changes hands meanwhile.
    State acquireOwn(const std::string& path, std::chrono::steady_clock::time_point deadline) {
        constexpr int FLAGS = O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
        for (;;) {
            const int fd = ::open(path.c_str(), FLAGS, 0600);
            if (fd < 0) {
                noteFailure(path, errno);
                return State::unavailable;
            }
            struct stat locked {};
            if (::fstat(fd, &locked) != 0 || !S_ISREG(locked.st_mode) ||
                locked.st_uid != ::geteuid()) {
                failures += failures.empty() ? "" : "; ";
                failures += path + ": not a file of the user's own";
                ::close(fd);
                return State::unavailable;
            }
            const State got = acquire(fd, deadline);
            if (got != State::held) {
                if (got == State::unavailable) noteFailure(path, errno);
                ::close(fd);
                return got;
            }
            struct stat named {};
            if (::lstat(path.c_str(), &named) == 0 && named.st_dev == locked.st_dev &&
                named.st_ino == locked.st_ino) {
                own_.emplace_back(path, fd);
                records_.push_back(fd);
                return State::held;
            }
            ::close(fd); // its last holder removed it
            if (std::chrono::steady_clock::now() >= deadline) return State::busy;
        }
    }

    void noteFailure(const std::string& what, int error) {
        failures += failures.empty() ? "" : "; ";
        failures += what + ": " + std::strerror(error);
    }

    int fds_[2] = {-1, -1};                        // the folder, the lock file
    std::vector<std::pair<std::string, int>> own_; // the user's own lock files held
    std::vector<int> records_;                     // the lock files held that can be written
};

std::string lockFileName() {
    return "." + prefsFileName() + ".lock";
}

// A save could not write the own file (a folder that cannot be written, a
// full disk, a file size limit), or wrote it without a lock (`unlocked`):
// the reason is kept for the editor, once for each reason until a save
// stores again under the lock. Standard error hears of a failure from
// finishPrefsSaves, when a plug-in closes with entries not stored.
void noteSaveFailure(Snapshot& s, const std::string& reason, bool unlocked = false) {
    s.saveError = reason;
    if (!s.toldSaveFailures.insert(reason).second) return;
    s.saveNotice = unlocked ? "Your Ondix settings cannot be saved safely (" + reason +
                                  "). Settings that other Ondix instances save at the same "
                                  "moment may be lost."
                            : "Your Ondix settings cannot be saved (" + reason +
                                  "). Settings you change last until Ondix closes.";
}

// Nothing could be locked: said on standard error, once a process (until
// reloadPrefs).
void tellUnlocked(Snapshot& s, const std::string& folder, const std::string& failures) {
    if (std::exchange(s.toldUnlocked, true)) return;
    std::fprintf(stderr,
                 "Ondix: the settings in %s cannot be locked (%s); values saved by other "
                 "processes at the same moment may be lost\n",
                 folder.c_str(), failures.c_str());
}

// Stores the waiting entries: under the save lock the own file is read again,
// only the entries set here are laid over what it holds, and the result
// replaces it durably (temporary file, fsync, rename, fsync of the folder),
// so entries another process saved meanwhile stay as it left them. Nothing is
// written while another process holds the lock (the entries wait for the next
// save or retryPrefsSave) or while the file is there but cannot be read.
// Where nothing can be locked the file is written all the same, but the save
// does not count as made: false, and the editor is told.
//
// Called with `held` holding the mutex. It is let go while the save waits for
// the save lock and while it writes the file, so that other threads read and
// set values meanwhile. One save of the process runs at a time (its turn); a
// save that finds the turn taken waits for it as long as it would wait for
// the lock, and otherwise leaves its entries to the save under way, which
// stores whatever waits before it lets go of the turn.
bool savePending(std::unique_lock<std::mutex>& held, std::chrono::milliseconds wait) {
    const unsigned reloads = gReloads;
    // Still the snapshot this save began with (reloadPrefs drops the entries).
    const auto current = [&] { return gReloads == reloads && snapshot().loaded; };
    const auto deadline = std::chrono::steady_clock::now() + wait;

    for (auto pause = std::chrono::milliseconds(1); gSaving;) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            snapshot().saveError = "another save of this process was still under way";
            return false;
        }
        held.unlock();
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, LOCK_MAX_PAUSE);
        held.lock();
    }
    if (!current()) return false;
    struct Turn {
        std::unique_lock<std::mutex>& held;
        explicit Turn(std::unique_lock<std::mutex>& h) : held(h) { gSaving = true; }
        ~Turn() {
            if (!held.owns_lock()) held.lock();
            gSaving = false;
        }
        Turn(const Turn&) = delete;
        Turn& operator=(const Turn&) = delete;
    } turn(held);

    std::string folder, path;
    std::vector<std::string> ownLocks;
    {
        Snapshot& s = snapshot();
        if (s.pending.empty()) return true; // the save before stored them
        if (s.ownDir.empty()) return false;
        path = ownFilePath(s);
        // Known to be unreadable and not touched since: no need for the lock.
        if (!s.unreadable.empty() && stampOf(path) == s.ownStamp) {
            s.lockBusy = false;
            s.saveError = s.unreadable;
            return false;
        }
        if (!makeFolders(s.ownDir)) {
            noteSaveFailure(s, "cannot make the folder " + s.ownDir + ": " + std::strerror(errno));
            return false;
        }
        folder = s.ownDir;
        ownLocks = ownLockPaths(folder);
    }

    held.unlock();
    const auto left = std::max(deadline - std::chrono::steady_clock::now(),
                               std::chrono::steady_clock::duration::zero());
    const SaveLock lock(folder, joinPath(folder, lockFileName()), ownLocks,
                        std::chrono::duration_cast<std::chrono::milliseconds>(left));
    // What a save killed while it wrote left (where a listing of the folder
    // may fail), before this one names its own.
    if (lock.state == SaveLock::State::held)
        for (const std::string& name : lock.recorded()) removeLeftTemporary(path, name);
    held.lock();
    if (!current()) return false;
    Snapshot& s = snapshot();
    s.lockBusy = lock.state == SaveLock::State::busy;
    if (s.lockBusy) {
        s.saveError = "another process kept the settings in " + folder + " locked";
        return false;
    }
    const bool locked = lock.state == SaveLock::State::held;
    if (!locked) tellUnlocked(s, folder, lock.failures);
    s.closeWaited = false;

    // What other threads set while the file was written is stored too.
    bool written = true;
    while (written && current() && !snapshot().pending.empty()) {
        Snapshot& now = snapshot();
        const FileStamp seen = stampOf(path);
        Store merged;
        if (!readOwnFile(now, path, seen, merged)) {
            now.ownStamp = seen;
            now.saveError = now.unreadable;
            return false;
        }
        layPending(now, merged);
        const Store writing = now.pending;
        const std::string text = serialise(merged);
        now.own = std::move(merged);

        held.unlock();
        // A new file is private to the user, like the folder made for it.
        std::string error;
        written = writeFileDurably(path, text, error, 0600, [&lock](const std::string& temporary) {
            lock.record(temporary);
        });
        lock.record({});
        const FileStamp stamp = written ? stampOf(path) : seen;
        held.lock();
        if (!current()) break;
        Snapshot& after = snapshot();
        after.ownStamp = stamp;
        if (!written) {
            noteSaveFailure(after, error);
            break;
        }
        if (locked) {
            after.saveError.clear();
            after.saveNotice.clear();
            after.toldSaveFailures.clear();
        } else {
            noteSaveFailure(after, path + " cannot be locked against saves of other instances",
                            true);
        }
        for (const auto& [key, entry] : writing) {
            const auto it = after.pending.find(key);
            if (it == after.pending.end() || it->second != entry) continue;
            after.pending.erase(it);
            after.fillIns.erase(key);
        }
    }
    return written && locked;
}

// How long the next save may wait for the lock.
std::chrono::milliseconds saveWait(const Snapshot& s) {
    return s.lockBusy ? std::chrono::milliseconds(0) : LOCK_WAIT;
}

// Sets one own-domain entry and writes it to the file (inside a save group,
// when the group ends). A value that the file already holds is not written
// again. A fill-in yields to a value the file turns out to hold. `held`
// holds the mutex and `s` is the loaded snapshot.
bool storeEntry(std::unique_lock<std::mutex>& held, Snapshot& s, const std::string& key,
                Entry entry, bool fillIn = false) {
    const auto it = s.own.find(key);
    if (it != s.own.end() && it->second == entry && s.pending.empty()) return true;
    s.own.insert_or_assign(key, entry);
    s.pending.insert_or_assign(key, std::move(entry));
    if (fillIn)
        s.fillIns.insert(key);
    else
        s.fillIns.erase(key);
    if (gSaveGroups > 0) return true;
    return savePending(held, saveWait(s));
}

Entry stringEntry(std::string text) {
    Entry e;
    e.text = std::move(text);
    return e;
}

Entry intEntry(int number) {
    Entry e;
    e.isInt = true;
    e.number = number;
    return e;
}

// A string entry of at most maxLen - 1 bytes, or nullptr.
const std::string* fittingString(const Store& store, const std::string& key, int maxLen) {
    const auto it = store.find(key);
    if (it == store.end() || it->second.isInt) return nullptr;
    if (it->second.text.size() > static_cast<std::size_t>(maxLen - 1)) return nullptr;
    return &it->second.text;
}

// The string read with its one-time migration from the any-user scope.
std::string readString(const std::string& key, int maxLen) {
    maxLen = std::min(maxLen, PREF_MAX_LEN);
    if (maxLen < 1) return {};

    std::unique_lock held(prefsMutex());
    Snapshot& s = loadedSnapshot();
    const std::string* own = fittingString(s.own, key, maxLen);
    if (own && !own->empty()) return *own;

    const std::string* any = fittingString(s.anyUser, key, maxLen);
    if (!any) return {};
    std::string value = *any; // an empty value is copied over as well
    storeEntry(held, s, key, stringEntry(value), true);
    return value;
}

std::string controllerKey(int n) {
    char digits[16];
    const auto result = std::to_chars(digits, digits + sizeof digits, n);
    return std::string(digits, result.ptr);
}

} // namespace

// ------------------------------------------------------------------ strings

void loadStringFromPrefs(const std::string& key, std::string& value, int maxLen) {
    value = readString(key, maxLen);
}

void loadStringFromPrefs(const std::string& key, char* value, int maxLen) {
    if (value == nullptr || maxLen < 1) return;
    const std::string text = readString(key, maxLen);
    // readString only returns texts that fit in maxLen - 1 (at most 255) bytes.
    const std::size_t n = std::min(text.size(), static_cast<std::size_t>(PREF_MAX_LEN - 1));
    std::copy_n(text.data(), n, value);
    value[n] = '\0';
}

bool saveStringToPrefsChecked(const std::string& key, const std::string& value) {
    std::unique_lock held(prefsMutex());
    return storeEntry(held, loadedSnapshot(), key, stringEntry(value));
}

void saveStringToPrefs(const std::string& key, const std::string& value) {
    saveStringToPrefsChecked(key, value);
}

void saveStringToPrefs(const char* key, const char* value) {
    if (key == nullptr) return;
    saveStringToPrefsChecked(key, value ? value : "");
}

void saveDefaultStringToPrefs(const std::string& key, const std::string& value) {
    std::unique_lock held(prefsMutex());
    storeEntry(held, loadedSnapshot(), key, stringEntry(value), true);
}

// ----------------------------------------------------------------- integers

int loadIntFromPrefs(const std::string& key) {
    std::lock_guard lock(prefsMutex());
    const Store& own = loadedSnapshot().own;
    const auto it = own.find(key);
    return it != own.end() && it->second.isInt ? it->second.number : 0;
}

bool saveIntToPrefsChecked(const std::string& key, int value) {
    std::unique_lock held(prefsMutex());
    return storeEntry(held, loadedSnapshot(), key, intEntry(value));
}

void saveIntToPrefs(const std::string& key, int value) {
    saveIntToPrefsChecked(key, value);
}

// ----------------------------------------------------------------- switches

void saveBoolToPrefs(const std::string& key, bool on) {
    saveStringToPrefsChecked(key, on ? "Y" : "N");
}

bool getRegisterIsOn(const std::string& key, bool def) {
    const std::string value = readString(key, 127);
    if (value == "Y") return true;
    if (value == "N") return false;
    return def;
}

// ------------------------------------------------------ MIDI controller map

int getMidiCC(int n) {
    return loadIntFromPrefs(controllerKey(n));
}

void setMidiCC(int n, int tag) {
    saveIntToPrefsChecked(controllerKey(n), tag);
}

// ------------------------------------------------------------------ control

void reloadPrefs() {
    std::lock_guard lock(prefsMutex());
    snapshot() = Snapshot();
    ++gReloads;
}

std::string prefsOwnFilePath() {
    std::lock_guard lock(prefsMutex());
    return ownFilePath(loadedSnapshot());
}

std::string prefsAnyUserFilePath() {
    std::lock_guard lock(prefsMutex());
    const Snapshot& s = loadedSnapshot();
    return s.anyDir.empty() ? std::string() : joinPath(s.anyDir, prefsFileName());
}

// ------------------------------------------------------------- saving later

PrefsSaveGroup::PrefsSaveGroup() {
    std::lock_guard lock(prefsMutex());
    ++gSaveGroups;
}

PrefsSaveGroup::~PrefsSaveGroup() {
    std::unique_lock held(prefsMutex());
    if (gSaveGroups > 0) --gSaveGroups;
    if (gSaveGroups > 0) return;
    Snapshot& s = snapshot(); // entries wait only in a loaded snapshot
    if (s.loaded && !s.pending.empty()) savePending(held, saveWait(s));
}

bool retryPrefsSave() {
    std::unique_lock held(prefsMutex());
    Snapshot& s = snapshot();
    if (!s.loaded || !s.lockBusy || gSaveGroups > 0) return !s.lockBusy;
    if (s.pending.empty()) {
        s.lockBusy = false;
        return true;
    }
    savePending(held, std::chrono::milliseconds(0));
    return !snapshot().lockBusy;
}

bool finishPrefsSaves() {
    std::unique_lock held(prefsMutex());
    {
        const Snapshot& s = snapshot();
        if (!s.loaded || s.pending.empty()) return true;
        if (savePending(held, s.closeWaited ? std::chrono::milliseconds(0) : CLOSE_WAIT))
            return true;
    }
    Snapshot& s = snapshot(); // the wait let go of the mutex
    if (s.lockBusy) s.closeWaited = true;
    if (!s.loaded || s.pending.empty()) return true;
    // What is lost when the process ends now is said, once for each change.
    std::string keys;
    for (const auto& item : s.pending) {
        keys += keys.empty() ? " " : ", ";
        appendEscaped(keys, item.first);
    }
    std::string said = "Ondix: settings not saved (" + s.saveError + "):" + keys;
    if (said != s.lastUnsaved) {
        std::fprintf(stderr, "%s\n", said.c_str());
        s.lastUnsaved = std::move(said);
    }
    return false;
}

std::string prefsProblem() {
    std::lock_guard lock(prefsMutex());
    return loadedSnapshot().unreadable;
}

std::string takePrefsNotice() {
    std::lock_guard lock(prefsMutex());
    Snapshot& s = snapshot();
    if (!s.loaded) return {};
    if (!s.notice.empty()) return std::exchange(s.notice, std::string());
    return std::exchange(s.saveNotice, std::string());
}
