// The preset store as the plug-in uses it: the preset list, choosing an
// entry, and the preset menu's file and folder commands (formats and order
// in core/preset_file.h and core/preset_store.h).
//
// A chosen preset reaches the engine the way every preset does: its values
// (the defaults with the file's values over them) and its name go into the
// program record, and the audio thread is asked to apply the record. A file
// that is refused changes nothing and says why in a message box. Files are
// replaced durably (platform/file_io.h); an existing file is overwritten or
// deleted only after the user confirms it. A new name is taken in one step
// that fails when the name is in use, so that another instance saving or
// renaming to the same name at the same moment never replaces what this one
// wrote, nor this one what it wrote: the later one is told the name is taken.
// Files are added to the list, or renamed in it, under the list's lock
// (ListChange), so that instances that add at the same moment fill no more
// places than are free and the others are told the list is full; of those
// that rename one preset or folder at the same moment, the later ones are
// told another instance renamed it, and shown the list as it is now.
//
// Main thread only: these read folders, write files and show dialogs.

#include "core/aplugin.h"
#include "core/preset_file.h"
#include "core/process_shared.h"
#include "platform/dialogs.h"
#include "platform/file_io.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <optional>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr const char* kFavoritesFolder = "Favorites";
constexpr const char* kPresetFilter = "*.ondix";

// Messages of the list change under way on this thread (see ListChange).
thread_local std::vector<std::string>* gHeldMessages = nullptr;

// A message box, or a message kept for the end of a list change.
void tell(const std::string& text) {
    if (gHeldMessages)
        gHeldMessages->push_back(text);
    else
        messageBox(text, MESSAGE_BOX_OK);
}

void problem(const std::string& what, const std::string& why) {
    tell("Problem with Preset File: " + what + (why.empty() ? "" : " (" + why + ")"));
}

bool confirm(const std::string& question) {
    return messageBox(question, MESSAGE_BOX_OK_CANCEL) == MESSAGE_BOX_DEFAULT;
}

// A name typed by the user, starting from initial; "" after Cancel or when
// the name cannot be used (then the user was told).
std::string askName(const std::string& title, const std::string& initial) {
    char buffer[TEXT_BUFFER_SIZE] = {};
    std::strncpy(buffer, initial.c_str(), sizeof buffer - 1);
    inputBox("Name:", title.c_str(), buffer);
    std::string name = buffer;
    while (!name.empty() && name.back() == ' ') name.pop_back();
    while (!name.empty() && name.front() == ' ') name.erase(name.begin());
    if (name.empty()) return {};
    if (const std::string refusal = presetNameRefusal(name); !refusal.empty()) {
        messageBox(refusal, MESSAGE_BOX_OK);
        return {};
    }
    return name;
}

// The name is in use: another preset or folder has it, maybe one that
// another instance made a moment ago. Nothing was changed.
void nameTaken(const char* what, const std::string& name) {
    tell(std::string("A ") + what + " named \"" + name + "\" exists already");
}

// What became of a file or folder made only under a name nobody had taken:
// true when made; when another took the name meanwhile, or the making
// failed, the user is told and it is false.
bool madeUnderNewName(NewName result, const char* what, const std::string& name,
                      const std::string& failure, const std::string& error) {
    switch (result) {
    case NewName::made:
        return true;
    case NewName::taken:
        nameTaken(what, name);
        return false;
    case NewName::failed:
        break;
    }
    problem(failure, error);
    return false;
}

// Writes a preset file: over the file at path when the user agreed to
// replace it, else only under a name nobody has taken meanwhile (the loser
// of two saving under one name is told). False when not written (the user
// was told why).
bool writePresetFile(const std::string& path, const std::string& text, bool replace,
                     const std::string& name, const char* failure) {
    removeLeftTemporariesIn(folderPrefix(path));
    std::string error;
    const std::string message = "\"" + name + "\" " + failure;
    if (!replace)
        return madeUnderNewName(writeNewFileDurably(path, text, error), "preset", name, message,
                                error);
    if (writeFileDurably(path, text, error)) return true;
    problem(message, error);
    return false;
}

// Makes a preset folder under a name nobody has taken meanwhile. False when
// not made (the user was told why).
bool makePresetFolder(const std::string& path, const std::string& name) {
    std::string error;
    return madeUnderNewName(makeNewFolder(path, error), "folder", name,
                            "folder \"" + name + "\" was not created", error);
}

// The list shows at most PRESET_LIST_MAX presets: preset files it would not
// show (or that would push one it shows off its end) are not written, nor
// renamed so. True when there is room; otherwise the user is told what was
// not done ("\"Mine\" was not saved") and it is false. Asked once before a
// command's dialogs, and again under the list's lock right before its files
// appear, when instances in other processes may have filled it meanwhile.
bool listHasRoom(const std::string& userFolder, const std::vector<std::string>& paths,
                 const std::string& notDone, const std::vector<std::string>& removed = {}) {
    if (presetListHasRoomFor(userFolder, paths, removed)) return true;
    tell("The preset list is full: it shows at most " + std::to_string(PRESET_LIST_MAX) +
         " presets, and " + notDone +
         ". Delete presets you no longer need, or move preset files out of the "
         "preset folder, to make room.");
    return false;
}

// A command's change to the list (files made, renamed or moved into place)
// under the list's lock (PresetListLock), so that instances in other
// processes take turns: the room is checked against the list as the change
// before left it, and the files appear before the next change looks. What
// the command has to tell the user waits until the lock is released, so that
// no instance waits while a message is read.
class ListChange {
public:
    // notDone says what the command leaves undone when it may not go on.
    ListChange(const std::string& userFolder, std::string notDone)
        : userFolder(userFolder), notDone(std::move(notDone)), lock(std::in_place, userFolder) {
        gHeldMessages = &told;
    }
    ~ListChange() {
        gHeldMessages = nullptr;
        lock.reset();
        for (const std::string& text : told) messageBox(text, MESSAGE_BOX_OK);
    }
    ListChange(const ListChange&) = delete;
    ListChange& operator=(const ListChange&) = delete;

    // Whether the change may go on: the lock is held (or cannot be had at
    // all) and the list has room for added once removed are gone (see
    // listHasRoom); otherwise the user is told, detail added to what was
    // not done.
    bool allows(const std::vector<std::string>& added, const std::vector<std::string>& removed = {},
                const std::string& detail = {}) {
        if (!lock->busy()) return listHasRoom(userFolder, added, notDone + detail, removed);
        tell("Another instance of Ondix is changing the preset list, and " + notDone +
             ". Try again in a moment.");
        return false;
    }

private:
    const std::string& userFolder;
    const std::string notDone;
    std::vector<std::string> told;
    std::optional<PresetListLock> lock;
};

bool exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

std::string presetPath(const std::string& folder, const std::string& name) {
    return joinFolder(folder, name + PRESET_FILE_EXTENSION);
}

// Whether what a rename would move (a preset file or folder) has gone from
// source, asked under the list's lock: another instance renamed it a moment
// before (or another program removed it), so this one cannot. The user is
// told so, and the command reads the list again, so that it shows the names
// as they are now rather than the one that is gone.
bool goneMeanwhile(const std::string& source, const char* what, const std::string& name) {
    if (exists(source)) return false;
    tell(std::string(what) + " \"" + name +
         "\" was not renamed: another instance of Ondix (or another program) renamed or "
         "removed it meanwhile. The preset list now shows the presets as they are.");
    return true;
}

// Tags a preset file does not carry: the name (the file's name is) and the
// two commands a host writes.
bool isPresetDataTag(int t) {
    return !(t >= tag::PresetNameFirst && t <= tag::PresetNameLast) && t != tag::ApplyPreset &&
           t != tag::TakeOver;
}

using NameIndex = std::vector<std::pair<std::string_view, int>>;

// Parameter names to tags, sorted by name; the names are the same for every
// instance, so the index is built once. It points into the shared parameter
// table and lives as long as that does (core/process_shared.h).
const NameIndex& nameIndex() {
    constinit static ProcessShared<NameIndex> shared{[] {
        const ParamTable& table = ParamTable::get();
        auto v = std::make_unique<NameIndex>();
        for (int t = 0; t < tag::Count; ++t)
            if (isPresetDataTag(t))
                v->emplace_back(table.paramName[static_cast<std::size_t>(t)], t);
        std::sort(v->begin(), v->end());
        return v;
    }};
    return shared.get();
}

int tagForName(std::string_view name) {
    const NameIndex& index = nameIndex();
    const auto it = std::lower_bound(index.begin(), index.end(), name,
                                     [](const auto& e, std::string_view n) { return e.first < n; });
    return it != index.end() && it->first == name ? it->second : -1;
}

} // namespace

// ------------------------------------------------------------------ the list

void APlugin::refreshPresetList() {
    const PresetEntry* was = currentPresetEntry();
    const PresetEntry current = was ? *was : PresetEntry{};
    core.presetEntries = listAllPresets(core.folders.presetDir);

    for (auto& entry : presetNames) entry.fill('\0');
    presetCount = static_cast<int>(core.presetEntries.size());
    for (int i = 0; i < presetCount; ++i) {
        const std::string& name = core.presetEntries[static_cast<std::size_t>(i)].name;
        std::memcpy(presetNames[static_cast<std::size_t>(i)].data(), name.data(),
                    std::min<std::size_t>(name.size(), kPresetNameChars - 1));
    }

    // The folder records, in list order.
    core.presetFolders.clear();
    const PresetEntry* previous = nullptr;
    for (const PresetEntry& entry : core.presetEntries) {
        if (!previous || previous->factory != entry.factory || previous->folder != entry.folder) {
            if (core.presetFolders.size() >= TPresetFolder::kMaxFolders) break;
            core.presetFolders.push_back({std::string(entry.factory ? "Factory" : "User") +
                                              (entry.folder.empty() ? "" : "/" + entry.folder),
                                          {}});
        }
        std::vector<std::string>& names = core.presetFolders.back().presets;
        if (names.size() < TPresetFolder::kMaxPresets) names.push_back(entry.name);
        previous = &entry;
    }

    // The same preset stays current when it is still listed.
    const int same = current.path.empty() ? -1 : findPresetEntry(current.path);
    if (same >= 0)
        core.presetIndex.store(same, std::memory_order_relaxed);
    else
        selectPresetByStoredName();
}

int APlugin::findPresetEntry(const std::string& path) const {
    for (std::size_t i = 0; i < core.presetEntries.size(); ++i)
        if (core.presetEntries[i].path == path) return static_cast<int>(i);
    return -1;
}

const PresetEntry* APlugin::currentPresetEntry() const {
    const int index = core.presetIndex.load(std::memory_order_relaxed);
    if (index < 0 || static_cast<std::size_t>(index) >= core.presetEntries.size()) return nullptr;
    return &core.presetEntries[static_cast<std::size_t>(index)];
}

// ------------------------------------------------------------------ values

bool APlugin::presetValuesFromText(std::string_view text, std::array<float, tag::Count>& values,
                                   std::string& error) const {
    std::vector<PresetFileValue> file;
    if (!parsePresetFile(text, file, error)) return false;
    values = params.defaultValue;
    for (const PresetFileValue& v : file) {
        const int t = tagForName(v.name);
        if (t >= 0) values[static_cast<std::size_t>(t)] = normalizedValue(t, v.value);
    }
    return true;
}

std::string APlugin::currentPresetText() const {
    std::vector<PresetFileValue> values;
    for (int t = 0; t < tag::Count; ++t) {
        if (!isPresetDataTag(t)) continue;
        const float v = normalizedValue(t, getStoredValue(t));
        if (v != params.defaultValue[static_cast<std::size_t>(t)])
            values.push_back({params.paramName[static_cast<std::size_t>(t)], v});
    }
    return formatPresetFile(values);
}

void APlugin::writePresetIntoRecord(const std::array<float, tag::Count>& values,
                                    const std::string& name) {
    ProgramRecord& record = storedProgram();
    for (int t = 0; t < tag::Count; ++t) {
        if (!isPresetDataTag(t)) continue;
        storeRelaxed(record.values[t], values[static_cast<std::size_t>(t)]);
    }
    // The name, one character per tag, as the text writer stores it.
    for (int i = 0; i < tag::PresetNameLength; ++i) {
        const int c = i < static_cast<int>(name.size())
                          ? static_cast<unsigned char>(validChar(name[static_cast<std::size_t>(i)]))
                          : 0;
        storeRelaxed(record.values[tag::PresetNameFirst + i],
                     c != 0 ? (static_cast<float>(c) + 0.5f) / 255.99f : 0.0f);
    }
    storeRelaxed(record.values[tag::ApplyPreset], 0.0f);
    storeRelaxed(record.values[tag::TakeOver], 0.0f);
    core.valuesChanged();
    std::memset(record.name, 0, sizeof record.name);
    std::memcpy(record.name, name.data(), std::min(name.size(), sizeof record.name - 1));
}

bool APlugin::choosePreset(int index) {
    std::string error;
    if (choosePreset(index, error)) return true;
    if (index >= 0 && static_cast<std::size_t>(index) < core.presetEntries.size())
        problem("\"" + core.presetEntries[static_cast<std::size_t>(index)].name +
                    "\" was not loaded",
                error);
    return false;
}

bool APlugin::choosePreset(int index, std::string& error) {
    error.clear();
    if (index < 0 || static_cast<std::size_t>(index) >= core.presetEntries.size()) return false;
    const PresetEntry& entry = core.presetEntries[static_cast<std::size_t>(index)];
    std::string text;
    std::array<float, tag::Count> values;
    if (!readPresetText(entry, text, error) || !presetValuesFromText(text, values, error))
        return false;
    const RecordRewrite rewrite(*this, kPresetChosen);
    writePresetIntoRecord(values, entry.name);
    core.presetIndex.store(index, std::memory_order_relaxed);
    requestPresetApplication(kPresetChosen);
    return true;
}

// ------------------------------------------------------------------ saving

// The current values into the file at path; afterwards they are the loaded
// preset, named after the file, and the list is read again.
bool APlugin::savePresetTo(std::string path, bool confirmOverwrite) {
    const std::string name = getFileNameOnlyStr(path, true);
    const std::string notSaved = "\"" + name + "\" was not saved";
    if (!listHasRoom(core.folders.presetDir, {path}, notSaved)) return false;
    const bool replace = exists(path);
    if (replace && confirmOverwrite && !confirm("Preset \"" + name + "\" exists. Replace it?"))
        return false;
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    {
        ListChange change(core.folders.presetDir, notSaved);
        if (!change.allows({path}) ||
            !writePresetFile(path, currentPresetText(), replace, name, "was not saved"))
            return false;
    }
    setStringFromParam(name, tag::PresetNameFirst, tag::PresetNameLength);
    takeOverCurrentValues();
    refreshPresetList();
    if (const int saved = findPresetEntry(path); saved >= 0)
        core.presetIndex.store(saved, std::memory_order_relaxed);
    return true;
}

void APlugin::savePreset() {
    const PresetEntry* entry = currentPresetEntry();
    if (!entry || entry->factory) {
        savePresetAs(); // factory presets stay as they are: save a copy
        return;
    }
    savePresetTo(entry->path, true);
}

void APlugin::savePresetAs() {
    const PresetEntry* entry = currentPresetEntry();
    const std::string name = askName("Save Preset As", entry ? entry->name : std::string());
    if (!name.empty()) savePresetTo(presetPath(core.folders.presetDir, name), true);
}

// The name a copy of the current preset is saved under when none is typed.
std::string APlugin::currentPresetName() const {
    const PresetEntry* entry = currentPresetEntry();
    return entry ? entry->name : std::string("Preset");
}

void APlugin::savePresetInFavorites() {
    savePresetTo(
        presetPath(joinFolder(core.folders.presetDir, kFavoritesFolder), currentPresetName()),
        true);
}

void APlugin::savePresetInFolder() {
    std::string folder, path;
    fileSelectSaveDirStr("Save Preset In Folder", core.folders.presetDir, "Save", kPresetFilter,
                         folder, path);
    if (path.empty()) return;
    // A folder chosen (the dialog answers with its path, maybe ending in
    // '/') takes the preset under its current name.
    std::error_code ec;
    if (path.back() == '/' || fs::is_directory(path, ec))
        path = presetPath(path, currentPresetName());
    // The dialog lets any name through, anywhere: only a place the list
    // shows is taken (".ondix" is added when missing; the dialog forces
    // only three-letter extensions).
    std::string where, name, refusal;
    if (!userPresetPlace(core.folders.presetDir, path, where, name, refusal)) {
        messageBox(refusal, MESSAGE_BOX_OK);
        return;
    }
    savePresetTo(presetPath(joinFolder(core.folders.presetDir, where), name), true);
}

// A new user preset holding the initial patch, chosen at once.
void APlugin::createNewPreset() {
    const std::string name = askName("Create New Preset", "New Preset");
    if (name.empty() || core.presetEntries.empty()) return;
    const std::string path = presetPath(core.folders.presetDir, name);
    const std::string notCreated = "\"" + name + "\" was not created";
    if (!listHasRoom(core.folders.presetDir, {path}, notCreated)) return;
    const bool replace = exists(path);
    if (replace && !confirm("Preset \"" + name + "\" exists. Replace it?")) return;
    std::string text, error;
    std::error_code ec;
    fs::create_directories(core.folders.presetDir, ec);
    if (!readPresetText(core.presetEntries.front(), text, error)) {
        problem(notCreated, error);
        return;
    }
    {
        ListChange change(core.folders.presetDir, notCreated);
        if (!change.allows({path}) ||
            !writePresetFile(path, text, replace, name, "was not created"))
            return;
    }
    refreshPresetList();
    if (const int created = findPresetEntry(path); created >= 0) choosePreset(created);
}

// ------------------------------------------------------------------ loading a file

void APlugin::loadPresetFile() {
    std::string spare, folder, path;
    fileSelectLoadDirStr("Load Preset", core.folders.presetDir, "Load", kPresetFilter, spare,
                         folder, path);
    if (path.empty()) return;
    const std::string name = getFileNameOnlyStr(path, true);
    std::string text, error;
    std::array<float, tag::Count> values;
    if (!readRegularFile(path, PRESET_FILE_MAX_BYTES, text, error) ||
        !presetValuesFromText(text, values, error)) {
        problem("\"" + name + "\" was not loaded", error);
        return;
    }
    const RecordRewrite rewrite(*this, kPresetChosen);
    writePresetIntoRecord(values, name);
    const int listed = findPresetEntry(path);
    if (listed >= 0)
        core.presetIndex.store(listed, std::memory_order_relaxed);
    else
        selectPresetByStoredName();
    requestPresetApplication(kPresetChosen);
}

// ------------------------------------------------------------------ rename and delete

void APlugin::renamePreset() {
    const PresetEntry* entry = currentPresetEntry();
    if (!entry || entry->factory) {
        messageBox("Factory presets cannot be renamed: save a copy with \"Save Preset As\"",
                   MESSAGE_BOX_OK);
        return;
    }
    const PresetEntry old = *entry;
    const std::string name = askName("Rename Preset", old.name);
    if (name.empty() || name == old.name) return;
    const std::string path = presetPath(fs::path(old.path).parent_path().string(), name);
    const std::string notRenamed = "\"" + old.name + "\" was not renamed";
    bool gone = false;
    {
        // A list holding more than it shows would lose the preset off its end.
        ListChange change(core.folders.presetDir, notRenamed);
        gone = goneMeanwhile(old.path, "Preset", old.name);
        if (!gone) {
            if (!change.allows({path}, {old.path},
                               " (as \"" + name + "\" it would come after its end)"))
                return;
            std::string error;
            const NewName result = renameToNewName(old.path, path, error);
            gone = result == NewName::failed && goneMeanwhile(old.path, "Preset", old.name);
            if (!gone && !madeUnderNewName(result, "preset", name, notRenamed, error)) return;
        }
    }
    if (gone) {
        refreshPresetList();
        return;
    }
    setStringFromParam(name, tag::PresetNameFirst, tag::PresetNameLength);
    refreshPresetList();
    if (const int renamed = findPresetEntry(path); renamed >= 0)
        core.presetIndex.store(renamed, std::memory_order_relaxed);
}

// The preset menu and the host name the current preset by its list entry,
// and a name the list does not hold stands for the first entry: once the
// current preset's file is gone, the first entry (the initial patch) is
// loaded, so that the name shown is the sound that plays.
void APlugin::loadFirstPresetInPlaceOf(const std::string& removedPath) {
    refreshPresetList();
    if (findPresetEntry(removedPath) < 0) choosePreset(0);
}

void APlugin::deletePreset() {
    const PresetEntry* entry = currentPresetEntry();
    if (!entry || entry->factory) {
        messageBox("Factory presets cannot be deleted", MESSAGE_BOX_OK);
        return;
    }
    const PresetEntry old = *entry;
    const std::string first =
        core.presetEntries.empty() ? std::string() : core.presetEntries.front().name;
    if (!confirm("Delete preset \"" + old.name + "\" and load \"" + first +
                 "\"? This cannot be undone."))
        return;
    std::error_code ec;
    if (!fs::remove(old.path, ec) || ec) {
        problem("\"" + old.name + "\" was not deleted", ec ? ec.message() : "it is gone");
        return;
    }
    loadFirstPresetInPlaceOf(old.path);
}

// ------------------------------------------------------------------ folders

void APlugin::createPresetFolder() {
    const std::string name = askName("Create New Folder", "");
    if (name.empty()) return;
    const std::string path = joinFolder(core.folders.presetDir, name);
    std::error_code ec;
    fs::create_directories(core.folders.presetDir, ec);
    makePresetFolder(path, name); // the list shows what is there either way
    refreshPresetList();
}

// The user folder of the current preset, or "" (with a message) when the
// current preset is a factory preset or lies at the top of the user folder.
namespace {
std::string userFolderOf(const PresetEntry* entry, const char* what) {
    if (!entry || entry->factory || entry->folder.empty()) {
        messageBox(std::string("Choose a preset in one of your folders to ") + what + " it",
                   MESSAGE_BOX_OK);
        return {};
    }
    return fs::path(entry->path).parent_path().string();
}
} // namespace

void APlugin::renamePresetFolder() {
    const PresetEntry* entry = currentPresetEntry();
    const std::string folder = userFolderOf(entry, "rename its folder");
    if (folder.empty()) return;
    const std::string oldName = entry->folder;
    const std::string name = askName("Rename Folder", oldName);
    if (name.empty() || name == oldName) return;
    const std::string path = joinFolder(core.folders.presetDir, name);
    const std::string current = joinFolder(path, fs::path(entry->path).filename().string());
    const std::string notRenamed = "folder \"" + oldName + "\" was not renamed";
    bool gone = false;
    {
        ListChange change(core.folders.presetDir, notRenamed);
        gone = goneMeanwhile(folder, "Folder", oldName);
        if (!gone) {
            // Its presets move with it in the list, and none may go off its end.
            std::vector<std::string> moved, left;
            for (const PresetEntry& e : listUserPresets(core.folders.presetDir))
                if (e.folder == oldName) {
                    left.push_back(e.path);
                    moved.push_back(joinFolder(path, fs::path(e.path).filename().string()));
                }
            if (!change.allows(moved, left,
                               " (as \"" + name + "\" its presets would come after its end)"))
                return;
            std::string error;
            const NewName result = renameToNewName(folder, path, error);
            gone = result == NewName::failed && goneMeanwhile(folder, "Folder", oldName);
            if (!gone && !madeUnderNewName(result, "folder", name, notRenamed, error)) return;
        }
    }
    refreshPresetList();
    if (gone) return;
    if (const int moved = findPresetEntry(current); moved >= 0)
        core.presetIndex.store(moved, std::memory_order_relaxed);
}

// Its preset files go; a folder that also holds other files stays with them.
void APlugin::deletePresetFolder() {
    const PresetEntry* entry = currentPresetEntry();
    const std::string folder = userFolderOf(entry, "delete its folder");
    if (folder.empty()) return;
    const std::string name = entry->folder;
    const std::string current = entry->path;
    std::vector<std::string> files;
    for (const PresetEntry& e : core.presetEntries)
        if (!e.factory && e.folder == name) files.push_back(e.path);
    if (!confirm("Delete folder \"" + name + "\" and its presets, and load \"" +
                 core.presetEntries.front().name + "\"? This cannot be undone."))
        return;
    std::error_code ec;
    for (const std::string& file : files) fs::remove(file, ec);
    if (!fs::remove(folder, ec) || ec)
        messageBox("Folder \"" + name + "\" holds other files and was kept", MESSAGE_BOX_OK);
    loadFirstPresetInPlaceOf(current);
}

// The current preset's folder (a factory category or a user folder) copied
// into the user folder, to be edited there. The copy is made under a
// temporary name and takes its own name only when complete: a copy that
// fails leaves nothing behind.
void APlugin::copyPresetFolder() {
    const PresetEntry* entry = currentPresetEntry();
    if (!entry || entry->folder.empty()) {
        messageBox("Choose a preset in a folder to copy the folder", MESSAGE_BOX_OK);
        return;
    }
    const PresetEntry source = *entry;
    const std::string name = source.factory ? source.folder : source.folder + " Copy";
    if (const std::string refusal = presetNameRefusal(name); !refusal.empty()) {
        messageBox(refusal, MESSAGE_BOX_OK);
        return;
    }
    const std::string target = joinFolder(core.folders.presetDir, name);
    if (exists(target)) {
        nameTaken("folder", name);
        return;
    }
    std::vector<PresetEntry> presets;
    std::vector<std::string> copies;
    for (const PresetEntry& e : core.presetEntries)
        if (e.factory == source.factory && e.folder == source.folder) {
            presets.push_back(e);
            copies.push_back(presetPath(target, e.name));
        }
    const std::string notCopied = "folder \"" + source.folder + "\" was not copied";
    if (!listHasRoom(core.folders.presetDir, copies,
                     notCopied + " (" + std::to_string(copies.size()) + " presets)"))
        return;

    std::error_code ec;
    fs::create_directories(core.folders.presetDir, ec);
    removeLeftTemporariesIn(core.folders.presetDir);
    std::string error;
    const std::string temporary = makeTemporaryFolder(target, error);
    if (temporary.empty()) {
        problem(notCopied, error);
        return;
    }
    const auto giveUp = [&](const std::string& why, const std::string& detail) {
        fs::remove_all(temporary, ec);
        problem(notCopied + "; " + why, detail);
    };
    for (const PresetEntry& e : presets) {
        std::string text;
        if (!readPresetText(e, text, error))
            return giveUp("\"" + e.name + "\" could not be read", error);
        if (writeNewFileDurably(presetPath(temporary, e.name), text, error) != NewName::made)
            return giveUp("\"" + e.name + "\" could not be written", error);
    }
    {
        // The copy appears whole, and only while the list has room for it.
        ListChange change(core.folders.presetDir, notCopied);
        if (!change.allows(copies, {}, " (" + std::to_string(copies.size()) + " presets)")) {
            fs::remove_all(temporary, ec);
            return;
        }
        switch (renameToNewName(temporary, target, error)) {
        case NewName::made:
            break;
        case NewName::taken: // another instance made it meanwhile
            fs::remove_all(temporary, ec);
            nameTaken("folder", name);
            return;
        case NewName::failed:
            return giveUp("it could not be given its name", error);
        }
    }
    refreshPresetList();
}
