// The preset store's lists (see preset_store.h).

#include "core/preset_store.h"

#include "core/preset_file.h"
#include "data/embedded_files.h"
#include "platform/file_io.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

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

bool presetListHasRoomFor(const std::string& userFolder, const std::vector<std::string>& paths) {
    // Every preset there is, in list order, before the list is cut.
    std::vector<PresetEntry> all = listFactoryPresets();
    std::vector<PresetEntry> user = listUserPresets(userFolder);
    all.insert(all.end(), std::make_move_iterator(user.begin()),
               std::make_move_iterator(user.end()));
    std::size_t added = 0;
    bool shown = true;
    for (const std::string& path : paths) {
        const fs::path wanted = fs::path(path).lexically_normal();
        const auto it = std::find_if(all.begin(), all.end(), [&](const PresetEntry& e) {
            return !e.factory && fs::path(e.path).lexically_normal() == wanted;
        });
        if (it == all.end())
            ++added;
        else if (it - all.begin() >= PRESET_LIST_MAX)
            shown = false;
    }
    return added == 0 ? shown : all.size() + added <= PRESET_LIST_MAX;
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
