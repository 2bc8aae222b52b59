// MIDI controller map files (".ecs").
//
// A map file is plain text: exactly 128 decimal numbers, one per line, the
// number on line n being the parameter tag bound to controller n (0 for
// none, at most 1023). Saving writes "%d\n" for every controller; loading
// also accepts other white space between and after the numbers (blank lines,
// spaces, CR LF line ends). Anything else (too few or too many numbers, a
// number out of range, a word) rejects the whole file: the bindings stay as
// they were and the user is told "Problem with ECS File".
//
// Both operations ask for the file in a dialog that starts in the ECS folder
// and run on the main thread.

#include "core/aplugin.h"

#include "platform/dialogs.h"
#include "platform/prefs.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kControllers = 128;
constexpr int kHighestTag = tag::Count - 1;
constexpr const char* kProblemText = "Problem with ECS File";
// A file we write is at most 640 bytes; trailing white space is allowed, but
// a file this large is not a controller map.
constexpr std::size_t kMaxFileBytes = 64 * 1024;

using ControllerMap = std::array<int, kControllers>;

void reportProblem() {
    messageBox(kProblemText, MESSAGE_BOX_OK);
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The 128 tags of a map file's text, or nothing when the text is not one.
std::optional<ControllerMap> parseControllerMap(std::string_view text) {
    ControllerMap map{};
    std::size_t pos = 0;
    auto skipSpace = [&] {
        while (pos < text.size() && isSpace(text[pos])) ++pos;
    };
    for (int n = 0; n < kControllers; ++n) {
        skipSpace();
        if (pos == text.size()) return std::nullopt; // too few numbers
        bool negative = false;
        if (text[pos] == '+' || text[pos] == '-') negative = text[pos++] == '-';
        if (pos == text.size() || !isDigit(text[pos])) return std::nullopt;
        int value = 0;
        while (pos < text.size() && isDigit(text[pos])) {
            value = value * 10 + (text[pos++] - '0');
            if (value > kHighestTag) return std::nullopt;
        }
        if (negative && value != 0) return std::nullopt;
        if (pos < text.size() && !isSpace(text[pos])) return std::nullopt; // "12abc"
        map[n] = value;
    }
    skipSpace();
    if (pos != text.size()) return std::nullopt; // more than 128 numbers, or text
    return map;
}

std::string formatControllerMap(const ControllerMap& map) {
    std::string text;
    text.reserve(kControllers * 5);
    for (int value : map) {
        char buffer[16];
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
        text.append(buffer, result.ptr);
        text += '\n';
    }
    return text;
}

// The whole of a regular file of at most limit bytes.
std::optional<std::string> readSmallFile(const std::string& path, std::size_t limit) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    std::optional<std::string> content;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        std::string data;
        char buffer[4096];
        bool ok = true;
        while (ok) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) ok = false;
            if (n <= 0) break;
            data.append(buffer, static_cast<std::size_t>(n));
            if (data.size() > limit) ok = false;
        }
        if (ok) content = std::move(data);
    }
    ::close(fd);
    return content;
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

// The process's file-creation mask, read without changing it (umask() itself
// would have to set it); the usual 022 when it cannot be read.
mode_t currentUmask() {
    mode_t mask = 022;
    if (FILE* status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, status)) {
            if (std::string_view(line).starts_with("Umask:")) {
                mask = static_cast<mode_t>(std::strtoul(line + 6, nullptr, 8)) & 0777;
                break;
            }
        }
        std::fclose(status);
    }
    return mask;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Replaces path by data so that the file is either the old one or the whole
// new one, also after a crash: a temporary file beside it is written and
// synced, then renamed over it, and the folder is synced. An existing file
// keeps its permissions; a link is followed and its target replaced.
bool replaceFileDurably(const std::string& path, const std::string& data) {
    std::string target = path;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved) == nullptr) return false;
        target = resolved;
    }
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) return false;
    const mode_t mode = exists ? (st.st_mode & 07777) : (0666 & ~currentUmask());

    const std::string folder = folderOf(target);
    const std::string name = target.substr(target.find_last_of('/') + 1);
    std::string pattern = (folder == "/" ? "" : folder) + "/." + name + ".XXXXXX";
    std::vector<char> tempPath(pattern.begin(), pattern.end());
    tempPath.push_back('\0');
    const int fd = ::mkostemp(tempPath.data(), O_CLOEXEC);
    if (fd < 0) return false;

    bool ok = ::fchmod(fd, mode) == 0 && writeAll(fd, data) && ::fsync(fd) == 0;
    if (::close(fd) != 0) ok = false;
    if (ok) ok = ::rename(tempPath.data(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(tempPath.data());
        return false;
    }
    // The new file is in place; a folder that cannot be synced (some file
    // systems refuse) leaves the rename as durable as it gets.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

} // namespace

void APlugin::saveECS() {
    std::string folder;
    std::string path;
    fileSelectSaveDirStr("Save ECS", core.folders.ecsDir, "Save", "Ondx.ecs", folder, path);
    if (path.empty()) return;

    ControllerMap map{};
    for (int n = 0; n < kControllers; ++n)
        map[n] = engine.midi.ccMap[n].load(std::memory_order_relaxed);
    if (!replaceFileDurably(path, formatControllerMap(map))) reportProblem();
}

void APlugin::loadECS() {
    std::string spare;
    std::string folder;
    std::string path;
    fileSelectLoadDirStr("Load ECS", core.folders.ecsDir, "Load", "*.ecs", spare, folder, path);
    if (path.empty()) return;

    if (!fileExists(path)) {
        reportProblem();
        return;
    }
    const std::optional<std::string> text = readSmallFile(path, kMaxFileBytes);
    const std::optional<ControllerMap> map =
        text ? parseControllerMap(*text) : std::optional<ControllerMap>();
    if (!map) {
        reportProblem();
        return;
    }

    for (int n = 0; n < kControllers; ++n) {
        engine.midi.ccMap[n].store((*map)[n], std::memory_order_relaxed);
        // Each preference write rewrites the whole file durably: only the
        // controllers whose binding changes are written.
        if (getMidiCC(n) != (*map)[n]) setMidiCC(n, (*map)[n]);
    }
    resetMIDICapture();
}
