// The preference store: a line-based text file per scope, held in memory.
//
// File format, one entry per line, each line ending in '\n':
//   s <key> = <value>      a string
//   i <key> = <decimal>    a 32-bit integer
// Keys and values are escaped: bytes below 0x20, 0x7F..0xFF, '=', '\' and a
// space at either end are written as \xHH, so every file is plain ASCII and a
// line splits at its only '='. Lines starting with '#', lines that do not
// parse and a last line without its '\n' (a cut-off file) are skipped; when a
// key appears twice the later line wins.

#include "platform/prefs.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Entry {
    bool isInt = false;
    int number = 0;
    std::string text;

    bool operator==(const Entry&) const = default;
};

using Store = std::map<std::string, Entry, std::less<>>;

struct Snapshot {
    bool loaded = false;
    bool diskInSync = false; // the own file holds exactly what `own` holds
    std::string ownDir;      // folders without a trailing '/'; "" when unknown
    std::string anyDir;
    Store own;
    Store anyUser;
};

// Function-local statics: usable from any other static initialiser.
std::mutex& prefsMutex() {
    static std::mutex mutex;
    return mutex;
}

Snapshot& snapshot() {
    static Snapshot s;
    return s;
}

constexpr std::size_t MAX_FILE_BYTES = 8u << 20;
constexpr const char* FILE_HEADER = "# Ondix preferences\n";

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

Store parseStore(std::string_view data) {
    Store store;
    std::size_t pos = 0;
    while (pos < data.size()) {
        const std::size_t end = data.find('\n', pos);
        if (end == std::string_view::npos) break; // cut off: the last line may be incomplete
        std::string_view line = data.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line[0] == '#') continue;
        parseLine(line, store);
    }
    return store;
}

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

Store readStore(const std::string& path) {
    if (path.empty()) return {};
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    std::string data;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        char chunk[8192];
        while (data.size() < MAX_FILE_BYTES) {
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            data.append(chunk, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    return parseStore(data);
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

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    // Some file systems cannot sync a folder; the rename is then as durable as it gets.
    const bool ok = ::fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
    ::close(fd);
    return ok;
}

// Replaces path by data: temporary file beside it, fsync, rename, fsync of the
// folder. A symbolic link (a managed dotfile) is followed and its target replaced.
bool replaceFileDurably(const std::string& folder, const std::string& path,
                        const std::string& data) {
    std::string target = path;
    std::string targetFolder = folder;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved) == nullptr) return false;
        target = resolved;
        targetFolder = target.substr(0, target.find_last_of('/'));
        if (targetFolder.empty()) targetFolder.assign(1, '/');
    }

    std::string name = target.substr(target.find_last_of('/') + 1);
    std::string pattern = joinPath(targetFolder, "." + name + ".XXXXXX");
    std::vector<char> tempPath(pattern.begin(), pattern.end());
    tempPath.push_back('\0');
    const int fd = ::mkostemp(tempPath.data(), O_CLOEXEC);
    if (fd < 0) return false;

    bool ok = writeAll(fd, data) && ::fsync(fd) == 0;
    if (::close(fd) != 0) ok = false;
    if (ok) ok = ::rename(tempPath.data(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(tempPath.data());
        return false;
    }
    return syncFolder(targetFolder);
}

// ---------------------------------------------------------------- snapshot

Snapshot& loadedSnapshot() {
    Snapshot& s = snapshot();
    if (!s.loaded) {
        resolveFolders(s);
        s.own = s.ownDir.empty() ? Store() : readStore(joinPath(s.ownDir, prefsFileName()));
        s.anyUser = s.anyDir.empty() ? Store() : readStore(joinPath(s.anyDir, prefsFileName()));
        s.diskInSync = false;
        s.loaded = true;
    }
    return s;
}

bool writeOwnFile(Snapshot& s) {
    if (s.ownDir.empty() || !makeFolders(s.ownDir)) return false;
    s.diskInSync =
        replaceFileDurably(s.ownDir, joinPath(s.ownDir, prefsFileName()), serialise(s.own));
    return s.diskInSync;
}

// Sets one own-domain entry and writes the file. An unchanged value that the
// file already holds is not written again.
bool storeEntry(Snapshot& s, const std::string& key, Entry entry) {
    auto it = s.own.find(key);
    if (it != s.own.end() && it->second == entry && s.diskInSync) return true;
    s.own.insert_or_assign(key, std::move(entry));
    return writeOwnFile(s);
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

    std::lock_guard lock(prefsMutex());
    Snapshot& s = loadedSnapshot();
    const std::string* own = fittingString(s.own, key, maxLen);
    if (own && !own->empty()) return *own;

    const std::string* any = fittingString(s.anyUser, key, maxLen);
    if (!any) return {};
    std::string value = *any; // an empty value is copied over as well
    storeEntry(s, key, stringEntry(value));
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
    std::lock_guard lock(prefsMutex());
    return storeEntry(loadedSnapshot(), key, stringEntry(value));
}

void saveStringToPrefs(const std::string& key, const std::string& value) {
    saveStringToPrefsChecked(key, value);
}

void saveStringToPrefs(const char* key, const char* value) {
    if (key == nullptr) return;
    saveStringToPrefsChecked(key, value ? value : "");
}

// ----------------------------------------------------------------- integers

int loadIntFromPrefs(const std::string& key) {
    std::lock_guard lock(prefsMutex());
    const Store& own = loadedSnapshot().own;
    const auto it = own.find(key);
    return it != own.end() && it->second.isInt ? it->second.number : 0;
}

bool saveIntToPrefsChecked(const std::string& key, int value) {
    std::lock_guard lock(prefsMutex());
    return storeEntry(loadedSnapshot(), key, intEntry(value));
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
}

std::string prefsOwnFilePath() {
    std::lock_guard lock(prefsMutex());
    const Snapshot& s = loadedSnapshot();
    return s.ownDir.empty() ? std::string() : joinPath(s.ownDir, prefsFileName());
}

std::string prefsAnyUserFilePath() {
    std::lock_guard lock(prefsMutex());
    const Snapshot& s = loadedSnapshot();
    return s.anyDir.empty() ? std::string() : joinPath(s.anyDir, prefsFileName());
}
