// The preset store's lists (see preset_store.h).

#include "core/preset_store.h"

#include "core/preset_file.h"
#include "data/embedded_files.h"
#include "platform/file_io.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kFactoryRoot = "presets/";

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Name order: letters without case, then byte order to keep it total.
bool nameLess(std::string_view a, std::string_view b) {
    const auto less = [](char x, char y) { return lowerAscii(x) < lowerAscii(y); };
    if (std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), less)) return true;
    if (std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), less)) return false;
    return a < b;
}

// Top-level entries first, then folders in name order, names in order.
bool entryLess(const PresetEntry& a, const PresetEntry& b) {
    if (a.folder.empty() != b.folder.empty()) return a.folder.empty();
    if (a.folder != b.folder) return nameLess(a.folder, b.folder);
    return nameLess(a.name, b.name);
}

// The preset name of a file name; "" when it is not a listed preset file.
std::string presetNameOf(std::string_view fileName) {
    const std::string_view extension = PRESET_FILE_EXTENSION;
    if (!fileName.ends_with(extension)) return {};
    const std::string_view name = fileName.substr(0, fileName.size() - extension.size());
    return isValidPresetName(name) ? std::string(name) : std::string();
}

bool isFolderName(std::string_view name) {
    return isValidPresetName(name);
}

// The preset files directly in folder (not below it), tagged with label.
void addUserFolder(const fs::path& folder, const std::string& label,
                   std::vector<PresetEntry>& entries) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        const std::string name = presetNameOf(it->path().filename().string());
        if (!name.empty()) entries.push_back({name, label, it->path().string(), false});
    }
}

} // namespace

bool isValidPresetName(std::string_view name) {
    if (name.empty() || name.size() > PRESET_NAME_MAX) return false;
    if (name.front() == '.' || name.front() == ' ' || name.back() == ' ') return false;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F || c == '/' || c == '\\') return false;
    }
    return true;
}

std::string presetNameRefusal(std::string_view name) {
    if (isValidPresetName(name)) return {};
    const std::string rule = "a name has 1 to 63 letters, digits, spaces or punctuation, "
                             "without '/' or '\\', and does not begin with '.'";
    if (name.empty()) return "No name was given: " + rule;
    return "\"" + std::string(name) + "\" cannot be used: " + rule;
}

bool userPresetPlace(const std::string& userFolder, std::string path, std::string& folder,
                     std::string& name, std::string& refusal) {
    folder.clear();
    name.clear();
    refusal.clear();
    const std::string_view extension = PRESET_FILE_EXTENSION;
    if (!std::string_view(path).ends_with(extension)) path += extension;
    // Where the list looks: the folder as written, or as its links lead.
    const auto relativeTo = [&](const fs::path& file, fs::path root) {
        root = root.lexically_normal();
        if (!root.has_filename()) root = root.parent_path(); // "Presets/" as "Presets"
        const fs::path relative = file.lexically_normal().lexically_relative(root);
        return relative.empty() || *relative.begin() == ".." ? fs::path() : relative;
    };
    fs::path relative = userFolder.empty() ? fs::path() : relativeTo(path, userFolder);
    if (relative.empty() && !userFolder.empty()) {
        std::error_code a, b;
        const fs::path file = fs::weakly_canonical(path, a),
                       root = fs::weakly_canonical(userFolder, b);
        if (!a && !b) relative = relativeTo(file, root);
    }
    std::vector<std::string> parts;
    for (const fs::path& part : relative)
        if (!part.empty() && part != ".") parts.push_back(part.string());
    if (parts.empty() || parts.size() > 2) {
        const std::string shown = parts.empty() ? path : relative.string();
        refusal = "\"" + shown.substr(0, shown.size() - extension.size()) +
                  "\" cannot be used: presets are kept in the preset folder (" + userFolder +
                  ") or in a folder directly inside it";
        return false;
    }
    const std::string file = parts.back();
    name = file.substr(0, file.size() - extension.size());
    if (parts.size() == 2) folder = parts.front();
    refusal = presetNameRefusal(folder.empty() ? name : folder);
    if (refusal.empty()) refusal = presetNameRefusal(name);
    return refusal.empty();
}

std::string joinFolder(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::vector<PresetEntry> listFactoryPresets() {
    std::vector<PresetEntry> entries;
    for (const EmbeddedFile& file : embeddedFiles()) {
        if (!file.path.starts_with(kFactoryRoot)) continue;
        const std::string_view relative = file.path.substr(kFactoryRoot.size());
        const std::size_t slash = relative.rfind('/');
        const std::string_view folder =
            slash == std::string_view::npos ? std::string_view() : relative.substr(0, slash);
        const std::string name =
            presetNameOf(slash == std::string_view::npos ? relative : relative.substr(slash + 1));
        if (name.empty() || folder.find('/') != std::string_view::npos) continue;
        entries.push_back({name, std::string(folder), std::string(file.path), true});
    }
    std::stable_sort(entries.begin(), entries.end(), entryLess);
    return entries;
}

std::vector<PresetEntry> listUserPresets(const std::string& folder) {
    std::vector<PresetEntry> entries;
    if (folder.empty()) return entries;
    const fs::path root(folder);
    addUserFolder(root, "", entries);
    std::error_code ec;
    for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        const std::string name = it->path().filename().string();
        if (it->is_directory(typeError) && isFolderName(name))
            addUserFolder(it->path(), name, entries);
    }
    std::sort(entries.begin(), entries.end(), entryLess);
    return entries;
}

bool presetListHasRoomFor(const std::string& userFolder, const std::vector<std::string>& added,
                          const std::vector<std::string>& removed) {
    const auto normal = [](const std::string& path) {
        return fs::path(path).lexically_normal().string();
    };
    const std::size_t factory = listFactoryPresets().size();
    const std::size_t room = factory < PRESET_LIST_MAX ? PRESET_LIST_MAX - factory : 0;
    std::vector<PresetEntry> user = listUserPresets(userFolder);
    for (PresetEntry& e : user) e.path = normal(e.path);
    std::set<std::string> gone, present;
    for (const std::string& path : removed) gone.insert(normal(path));

    // The user entries shown now (and still there afterwards) and those to
    // be shown: all of them within the room once the change is made.
    std::vector<std::string> wanted;
    for (std::size_t i = 0; i < user.size() && i < room; ++i)
        if (!gone.contains(user[i].path)) wanted.push_back(user[i].path);
    std::erase_if(user, [&](const PresetEntry& e) { return gone.contains(e.path); });
    for (const PresetEntry& e : user) present.insert(e.path);
    fs::path root = fs::path(userFolder).lexically_normal();
    if (!root.has_filename()) root = root.parent_path(); // "Presets/" as "Presets"
    for (const std::string& path : added) {
        const fs::path file = fs::path(path).lexically_normal();
        wanted.push_back(file.string());
        if (!present.insert(file.string()).second) continue;
        const std::string folder =
            file.parent_path() == root ? std::string() : file.parent_path().filename().string();
        user.push_back({presetNameOf(file.filename().string()), folder, file.string(), false});
    }
    std::sort(user.begin(), user.end(), entryLess);
    std::map<std::string, std::size_t> place;
    for (std::size_t i = 0; i < user.size(); ++i) place[user[i].path] = i;
    return std::all_of(wanted.begin(), wanted.end(), [&](const std::string& path) {
        const auto it = place.find(path);
        return it != place.end() && it->second < room;
    });
}

PresetListLock::PresetListLock(const std::string& userFolder, int waitMilliseconds) {
    fd_ = ::open(userFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) return;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMilliseconds);
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return;
        const int failure = errno;
        if (failure == EINTR) continue;
        const auto now = std::chrono::steady_clock::now();
        if (failure != EWOULDBLOCK || now >= deadline) {
            busy_ = failure == EWOULDBLOCK;
            ::close(fd_); // unavailable: the change goes ahead unlocked
            fd_ = -1;
            return;
        }
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(20));
    }
}

PresetListLock::~PresetListLock() {
    if (fd_ >= 0) ::close(fd_); // lets go
}

std::vector<PresetEntry> listAllPresets(const std::string& userFolder) {
    std::vector<PresetEntry> entries = listFactoryPresets();
    if (entries.size() < PRESET_LIST_MAX) {
        std::vector<PresetEntry> user = listUserPresets(userFolder);
        const std::size_t room = PRESET_LIST_MAX - entries.size();
        if (user.size() > room) user.resize(room);
        entries.insert(entries.end(), std::make_move_iterator(user.begin()),
                       std::make_move_iterator(user.end()));
    }
    if (entries.size() > PRESET_LIST_MAX) entries.resize(PRESET_LIST_MAX);
    return entries;
}

bool readPresetText(const PresetEntry& entry, std::string& text, std::string& error) {
    if (entry.factory) {
        const EmbeddedFile* file = findEmbeddedFile(entry.path);
        if (!file) {
            error = "no factory preset " + entry.path;
            return false;
        }
        text.assign(file->bytes);
        return true;
    }
    return readRegularFile(entry.path, PRESET_FILE_MAX_BYTES, text, error);
}
