// The preset menu's file commands chosen as a user chooses them, with the
// dialogs answered from a script: a command that cannot do its work says so
// and leaves the preset folder as it was.

#include "controls/toptionmenu.h"
#include "core/aplugin.h"
#include "core/preset_file.h"
#include "core/preset_store.h"
#include "platform/dialog_service.h"
#include "support/editor_host_fixture.h"
#include "support/path_kinds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct PresetMenu : EditorHostWithPopups {
    ScriptedDialogService dialogs;
    ScopedDialogService scopedDialogs{dialogs};
    fs::path folder; // the user preset folder, inside the temporary preferences

    void SetUp() override {
        EditorHostWithPopups::SetUp();
        folder = fs::path(prefs.path()) / "Presets";
        p().core.folders.presetDir = folder.string() + "/";
        command("Refresh Folders");
    }
    void command(const std::string& title) {
        popups.chooseTitlePath({title});
        clock.advance(1000);
        VSTGUI::Testing::click(frame(), c().header.presetMenu->getFrameRect().getCenter());
    }
    // Every path below the preset folder (hidden ones too) with a digest of
    // its contents (the size of a file too large to read).
    std::vector<std::string> tree() {
        std::vector<std::string> all;
        std::error_code ec;
        for (const auto& e : fs::recursive_directory_iterator(folder, ec)) {
            std::string what = "folder";
            if (e.is_regular_file())
                what = std::to_string(e.file_size() > PRESET_FILE_MAX_BYTES
                                          ? e.file_size()
                                          : std::hash<std::string>{}(contents(e.path())));
            all.push_back(fs::relative(e.path(), folder).string() + "=" + what);
        }
        std::sort(all.begin(), all.end());
        return all;
    }
    std::string programName() {
        char name[64] = {};
        p().getProgramName(name);
        return name;
    }
    std::string lastAlert() {
        return dialogs.alertRequests.empty() ? "" : dialogs.alertRequests.back().header;
    }
    int entryOf(const std::string& name) {
        for (int i = 0; i < p().presetCount; ++i)
            if (p().presetNames[static_cast<std::size_t>(i)].data() == name) return i;
        return -1;
    }
    long listed(bool factory, const std::string& in) {
        return std::count_if(
            p().core.presetEntries.begin(), p().core.presetEntries.end(),
            [&](const PresetEntry& e) { return e.factory == factory && e.folder == in; });
    }
};

} // namespace

// With the list full, nothing is saved that it would not show (nor anything
// that would push a shown preset off its end), and the user is told before
// anything is written. Replacing a listed preset goes on.
TEST_F(PresetMenu, AFullListRefusesNewPresetsBeforeWritingAndSaysSo) {
    fs::create_directories(folder / "Keys");
    for (int i = 0; i < PRESET_LIST_MAX - static_cast<int>(listFactoryPresets().size()); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "U%03d.ondix", i);
        writeBytesTo(folder / name, formatPresetFile({}));
    }
    command("Refresh Folders");
    ASSERT_EQ(p().presetCount, PRESET_LIST_MAX);
    const std::string category = listFactoryPresets().back().name;

    const struct {
        const char* command;
        std::function<void()> answer; // the dialogs' answers
        bool saved;
    } cases[] = {
        {"Save Preset As", [&] { dialogs.pushText("Zed"); }, false},
        {"Save Preset As", [&] { dialogs.pushText("Aaa"); }, false}, // would push the last one off
        {"Create New Preset", [&] { dialogs.pushText("Zed"); }, false},
        {"Save Current Preset in Favorites", [] {}, false},
        {"Save Preset In Folder", [&] { dialogs.pushFile((folder / "Keys" / "Zed").string()); },
         false},
        {"Copy Folder", [] {}, false}, // a factory category's presets
        {"Save Preset As",
         [&] {
             dialogs.pushText("U007");
             dialogs.pushAlertAnswer(ALERT_DEFAULT); // replace it
         },
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        ASSERT_TRUE(p().choosePreset(entryOf(category)));
        p().setPresetParameters();
        const std::vector<std::string> before = tree();
        const std::string name = programName();
        const std::size_t alerts = dialogs.alertRequests.size();
        c.answer();
        command(c.command);
        const bool toldFull =
            lastAlert().starts_with("The preset list is full: it shows at most 256 presets, and ");
        EXPECT_EQ(toldFull, !c.saved) << lastAlert();
        EXPECT_EQ(dialogs.alertRequests.size(), alerts + 1);
        EXPECT_EQ(tree() != before, c.saved);
        EXPECT_EQ(programName() != name, c.saved);
        EXPECT_EQ(p().presetCount, PRESET_LIST_MAX);
    }
}

// A folder copy that fails half-way (the disk full, a preset that cannot be
// read) leaves nothing behind, not even a hidden folder, and once the fault
// is gone the same copy succeeds.
TEST_F(PresetMenu, AFailedFolderCopyLeavesNothingAndCanBeTriedAgain) {
    const std::string good = formatPresetFile({{"Filter Frequency", 0.25f}});
    fs::create_directories(folder / "Sub");
    writeBytesTo(folder / "Sub" / "Sub A.ondix", good);
    writeBytesTo(folder / "Sub" / "Sub C.ondix", good);
    const fs::path unreadable = folder / "Sub" / "Sub B.ondix";
    std::unique_ptr<FileSizeLimit> full;
    const PresetEntry factory = listFactoryPresets().back();
    const struct {
        const char* fault;
        std::string from;              // a preset of the folder copied
        std::string copy;              // the folder the copy makes
        std::function<void(bool)> set; // the fault on (true) or gone (false)
    } cases[] = {
        {"the disk full", factory.name, factory.folder,
         [&](bool on) { full = on ? std::make_unique<FileSizeLimit>(16) : nullptr; }},
        {"a preset that cannot be read", "Sub A", "Sub Copy",
         [&](bool on) {
             if (on)
                 makePathKind(PathKind::Oversize, unreadable, good);
             else
                 writeBytesTo(unreadable, good);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        c.set(true);
        command("Refresh Folders");
        ASSERT_TRUE(p().choosePreset(entryOf(c.from)));
        const long count =
            listed(p().currentPresetEntry()->factory, p().currentPresetEntry()->folder);
        const std::vector<std::string> before = tree();
        const std::size_t alerts = dialogs.alertRequests.size();
        command("Copy Folder");
        const std::vector<std::string> after = tree();
        c.set(false);
        EXPECT_EQ(dialogs.alertRequests.size(), alerts + 1);
        EXPECT_NE(lastAlert().find("was not copied"), std::string::npos) << lastAlert();
        EXPECT_EQ(after, before);

        ASSERT_TRUE(p().choosePreset(entryOf(c.from)));
        command("Copy Folder");
        EXPECT_EQ(dialogs.alertRequests.size(), alerts + 1) << lastAlert();
        ASSERT_TRUE(fs::is_directory(folder / c.copy));
        EXPECT_EQ(static_cast<long>(entries(folder / c.copy).size()), count);
        EXPECT_EQ(listed(false, c.copy), count);
    }
}

// Save Preset In Folder answered with a folder saves the current preset in
// it under its name; an answer with no name at all says so.
TEST_F(PresetMenu, SaveInFolderTakesAChosenFolder) {
    fs::create_directories(folder / "Keys");
    const struct {
        fs::path answer;
        fs::path saved; // "" when nothing is to be written
    } cases[] = {
        {folder / "Keys" / "", folder / "Keys" / "Init.ondix"},
        {folder / "Keys", folder / "Keys" / "Init.ondix"},
        {folder, folder / "Init.ondix"},
        {folder / "Keys" / ".ondix", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        ASSERT_TRUE(p().choosePreset(0));
        fs::remove(c.saved);
        const std::vector<std::string> before = tree();
        const std::size_t alerts = dialogs.alertRequests.size();
        dialogs.pushFile(c.answer.string());
        command("Save Preset In Folder");
        EXPECT_EQ(dialogs.alertRequests.size(), alerts + c.saved.empty()) << lastAlert();
        if (c.saved.empty()) {
            EXPECT_TRUE(lastAlert().starts_with("No name was given: ")) << lastAlert();
            EXPECT_EQ(tree(), before);
        } else {
            EXPECT_TRUE(fs::is_regular_file(c.saved));
            EXPECT_EQ(tree().size(), before.size() + 1);
        }
    }
}
