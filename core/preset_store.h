// The preset store: where the entries of the preset list come from.
//
// The list holds the factory presets first (compiled into the plug-in from
// data/presets/<Category>/<Name>.ondix, see data/embedded_files.h), then the
// user's presets from the user preset folder ("Presets" of the data folder,
// preference "PresetDir"): its own files, then those of its sub-folders.
// Within each part the entries at the top come first, then each folder in
// name order, and within a folder the presets in name order (ASCII letters
// compared without case). Sub-folders deeper than one level are not listed.
// The list ends at 256 entries.
//
// A preset's name is its file's name without ".ondix": 1 to 63 printable
// ASCII characters without '/' or '\', not beginning with '.' or a space.
// Files with other names are not listed (the program record keeps names as
// ASCII, so another name could not be found again). The first 28 characters
// of a name are what the program record holds.
//
// Everything here runs on the main thread (it reads folders and files).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

inline constexpr int PRESET_LIST_MAX = 256;
// The preset menu shows the list in groups of this many.
inline constexpr int PRESET_MENU_GROUPS = 8;
inline constexpr int PRESET_GROUP_SIZE = PRESET_LIST_MAX / PRESET_MENU_GROUPS;
inline constexpr std::size_t PRESET_NAME_MAX = 63;

struct PresetEntry {
    std::string name;   // shown in the list
    std::string folder; // category or user sub-folder; "" at the top
    std::string path;   // factory: the embedded file's path; user: the file's path
    bool factory = false;

    bool operator==(const PresetEntry&) const = default;
};

// A name the store can list and save under.
bool isValidPresetName(std::string_view name);

// Every command that names a preset or a user folder (save as, save in a
// folder, create, rename, new folder, rename or copy a folder) asks these,
// so that nothing is written under a name the list would not show.
//
// Why name cannot name a preset or folder, for a message box; "" when it can
// (an empty name is told as missing).
std::string presetNameRefusal(std::string_view name);
// A preset file chosen by its path (as a save dialog gives it, ".ondix"
// added when missing) lies in the user preset folder or in one folder inside
// it, under listed names. Sets folder ("" at the top) and name and returns
// true; false with refusal set (for a message box) otherwise.
bool userPresetPlace(const std::string& userFolder, std::string path, std::string& folder,
                     std::string& name, std::string& refusal);

// Whether the list, read again once the preset files at added (in the user
// folder, under listed names) are written and those at removed are gone,
// shows every one of added and still every entry it shows now but the
// removed ones. A path that holds a preset already is no new entry; a rename
// names the old path in removed and the new one in added.
bool presetListHasRoomFor(const std::string& userFolder, const std::vector<std::string>& added,
                          const std::vector<std::string>& removed = {});

// Held while a command of one instance checks the list's room and makes its
// files appear (or renames them), so that instances in other processes take
// turns: a change is checked against the list as the change before it left
// it. The lock is flock on the user folder itself (nothing is written for
// it); where the folder cannot be opened or locked (it does not exist yet,
// a file system without flock), the change goes ahead unlocked, as it would
// fail or stand alone anyway. Never hold it while a dialog is open.
class PresetListLock {
public:
    // Waits for another holder at most wait.
    explicit PresetListLock(const std::string& userFolder, int waitMilliseconds = 5000);
    ~PresetListLock();
    PresetListLock(const PresetListLock&) = delete;
    PresetListLock& operator=(const PresetListLock&) = delete;

    // Another process kept the lock beyond the wait: change nothing.
    bool busy() const { return busy_; }

private:
    int fd_ = -1;
    bool busy_ = false;
};

// The factory presets in list order.
std::vector<PresetEntry> listFactoryPresets();
// The presets of a user preset folder in list order; empty when the folder
// does not exist or cannot be read.
std::vector<PresetEntry> listUserPresets(const std::string& folder);
// Factory presets, then user presets, cut to PRESET_LIST_MAX entries.
std::vector<PresetEntry> listAllPresets(const std::string& userFolder);

// The text of an entry's file (a user file is read through readRegularFile,
// at most PRESET_FILE_MAX_BYTES); false with error set when it cannot be read.
bool readPresetText(const PresetEntry& entry, std::string& text, std::string& error);

// folder joined with name, with exactly one '/' between them.
std::string joinFolder(const std::string& folder, const std::string& name);
