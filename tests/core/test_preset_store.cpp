// The preset store: the list (factory first, then the user folder), saving,
// loading, renaming and deleting user presets through the dialogs a user
// answers, refused files, and stepping through the list.

#include "core/aplugin.h"
#include "core/preset_file.h"
#include "platform/dialog_service.h"
#include "platform/prefs.h"
#include "support/path_kinds.h"
#include "support/plugin_harness.h"
#include "support/processes.h"
#include "support/temp_prefs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class PresetStore : public ::testing::Test {
protected:
    PluginHarness h;
    ScriptedDialogService dialogs;
    ScopedDialogService scoped{dialogs};
    fs::path folder;

    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "ondix-presets-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = fs::path(pattern) / "Presets";
        p().core.folders.presetDir = folder.string() + "/";
        p().refreshPresetList();
    }
    void TearDown() override { fs::remove_all(folder.parent_path()); }

    APlugin& p() { return h.p(); }
    int factoryCount() const { return static_cast<int>(listFactoryPresets().size()); }
    std::string name(int i) { return p().presetNames[static_cast<std::size_t>(i)].data(); }
    std::string shownName() {
        char text[64] = {};
        p().getProgramName(text);
        return text;
    }
    void write(const fs::path& path, const std::string& text) {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }
    // Renders until the requested preset has been applied.
    void applyPending() {
        for (int guard = 0; guard < 64 && p().getIsSettingPreset(); ++guard) h.render(256);
        ASSERT_FALSE(p().getIsSettingPreset());
    }
    ProgramRecord& record() { return p().core.programStore[0]; }
    // Makes the user preset at path (relative to the folder) the current one.
    void chooseUser(const std::string& relative) {
        p().refreshPresetList();
        const std::string path = (folder / relative).string();
        const auto& list = p().core.presetEntries;
        const auto it = std::find_if(list.begin(), list.end(),
                                     [&](const PresetEntry& e) { return e.path == path; });
        ASSERT_NE(it, list.end()) << relative;
        p().core.presetIndex = static_cast<int>(it - list.begin());
    }
    // Every path below the folder with its contents: what a command changed.
    std::vector<std::string> tree() {
        std::vector<std::string> all;
        for (const auto& e : fs::recursive_directory_iterator(folder))
            all.push_back(fs::relative(e.path(), folder).string() + "=" +
                          (e.is_regular_file() ? contents(e.path()) : "folder"));
        std::sort(all.begin(), all.end());
        return all;
    }
};

} // namespace

TEST_F(PresetStore, FactoryPresetsComeFirstInFolderAndNameOrder) {
    const auto factory = listFactoryPresets();
    ASSERT_GE(factory.size(), 3u);
    EXPECT_EQ(factory[0].name, "Init"); // the initial patch
    EXPECT_EQ(factory[0].folder, "");
    for (std::size_t i = 1; i < factory.size(); ++i) {
        EXPECT_FALSE(factory[i].folder.empty()) << factory[i].name;
        EXPECT_LE(factory[i - 1].folder, factory[i].folder);
        std::string text, error;
        std::array<float, tag::Count> values;
        EXPECT_TRUE(readPresetText(factory[i], text, error) &&
                    p().presetValuesFromText(text, values, error))
            << factory[i].path << ": " << error;
    }
    write(folder / "Zed.ondix", formatPresetFile({}));
    write(folder / "alpha.ondix", formatPresetFile({}));
    write(folder / "Keys" / "Beta.ondix", formatPresetFile({}));
    write(folder / "Keys" / "Deep" / "Hidden.ondix", formatPresetFile({}));
    write(folder / "notes.txt", "not a preset");
    write(folder / ".hidden.ondix", formatPresetFile({}));
    p().refreshPresetList();
    const int f = factoryCount();
    ASSERT_EQ(p().presetCount, f + 3);
    EXPECT_EQ(name(0), "Init");
    EXPECT_EQ(name(f), "alpha");
    EXPECT_EQ(name(f + 1), "Zed");
    EXPECT_EQ(name(f + 2), "Beta");
    EXPECT_EQ(p().core.presetEntries[static_cast<std::size_t>(f + 2)].folder, "Keys");
}

TEST_F(PresetStore, SaveListLoadRoundTrip) {
    p().setParameter(tag::FilterFreq, 0.3125f);
    p().setSteppedValue(tag::OscWaveA, 7);
    p().setParameter(tag::partial(1, 5), 0.75f);
    p().setOn(tag::ChorusOn);
    dialogs.pushText("My Sound");
    p().savePresetAs();
    const fs::path file = folder / "My Sound.ondix";
    ASSERT_TRUE(fs::exists(file));
    EXPECT_FALSE(p().getEditChanged()); // saved: now the loaded state
    EXPECT_EQ(shownName(), "My Sound");
    const int index = p().core.presetIndex;
    EXPECT_EQ(name(index), "My Sound");
    EXPECT_GE(index, factoryCount());

    // Somewhere else, and back again from the list.
    ASSERT_TRUE(p().choosePreset(0));
    applyPending();
    EXPECT_EQ(p().getCurrentValue(tag::FilterFreq), p().getDefaultValue(tag::FilterFreq));
    ASSERT_TRUE(p().choosePreset(index));
    applyPending();
    EXPECT_EQ(p().getCurrentValue(tag::FilterFreq), 0.3125f);
    EXPECT_EQ(p().getSteppedValue(tag::OscWaveA), 7);
    EXPECT_EQ(p().getCurrentValue(tag::partial(1, 5)), 0.75f);
    EXPECT_EQ(p().getCurrentValue(tag::ChorusOn), 1.0f);
    EXPECT_EQ(p().getStringFromParamStr(tag::PresetNameFirst, tag::PresetNameLength), "My Sound");
    EXPECT_EQ(shownName(), "My Sound");
    // A restored state with that name finds the entry again.
    p().setProgram(0);
    EXPECT_EQ(p().core.presetIndex, index);
}

TEST_F(PresetStore, OverwriteRenameAndDeleteAskFirst) {
    dialogs.pushText("Keep");
    p().savePresetAs();
    const fs::path keep = folder / "Keep.ondix";
    const std::string saved = contents(keep);
    p().setParameter(tag::FilterQ, 0.9f);

    dialogs.pushAlertAnswer(ALERT_ALTERNATE); // "Replace it?" Cancel
    p().savePreset();
    EXPECT_EQ(contents(keep), saved);
    dialogs.pushAlertAnswer(ALERT_DEFAULT);
    p().savePreset();
    EXPECT_NE(contents(keep), saved);

    dialogs.pushText("Kept");
    p().renamePreset();
    EXPECT_FALSE(fs::exists(keep));
    ASSERT_TRUE(fs::exists(folder / "Kept.ondix"));
    EXPECT_EQ(shownName(), "Kept");

    dialogs.pushText("bad/name"); // refused with a message
    p().renamePreset();
    EXPECT_TRUE(fs::exists(folder / "Kept.ondix"));

    const int before = p().presetCount;
    dialogs.pushAlertAnswer(ALERT_ALTERNATE);
    p().deletePreset();
    EXPECT_TRUE(fs::exists(folder / "Kept.ondix"));
    dialogs.pushAlertAnswer(ALERT_DEFAULT);
    p().deletePreset();
    EXPECT_FALSE(fs::exists(folder / "Kept.ondix"));
    EXPECT_EQ(p().presetCount, before - 1);
    // The name shown is the sound that plays: the initial patch.
    EXPECT_EQ(shownName(), "Init");
    applyPending();
    std::string initText, error;
    std::array<float, tag::Count> init{};
    ASSERT_TRUE(readPresetText(listFactoryPresets().front(), initText, error) &&
                p().presetValuesFromText(initText, init, error));
    EXPECT_EQ(p().getCurrentValue(tag::FilterQ), init[tag::FilterQ]);

    // Factory presets are neither renamed nor deleted.
    ASSERT_TRUE(p().choosePreset(1));
    applyPending();
    const std::size_t alerts = dialogs.alertRequests.size();
    p().deletePreset();
    p().renamePreset();
    EXPECT_EQ(dialogs.alertRequests.size(), alerts + 2);
    EXPECT_EQ(p().presetCount, before - 1);
}

TEST_F(PresetStore, SaveInFolderAndFavoritesAreListedInTheirFolders) {
    dialogs.pushFile((folder / "Keys" / "Soft").string()); // typed without the extension
    fs::create_directories(folder / "Keys");
    p().savePresetInFolder();
    EXPECT_TRUE(fs::exists(folder / "Keys" / "Soft.ondix"));
    p().savePresetInFavorites();
    EXPECT_TRUE(fs::exists(folder / "Favorites" / "Soft.ondix"));
    EXPECT_EQ(p().core.presetEntries[static_cast<std::size_t>(p().core.presetIndex)].folder,
              "Favorites");
    EXPECT_EQ(p().presetCount, factoryCount() + 2);
}

TEST_F(PresetStore, RefusedFilesChangeNothing) {
    const std::string cut = formatPresetFile({{"Filter Frequency", 0.25f}});
    const struct {
        const char* name;
        std::string text;
    } bad[] = {
        {"Truncated", cut.substr(0, cut.size() - 4)},
        {"Binary", std::string("\x7f"
                               "ELF\x02\x01\x01\0\0\0",
                               10)},
        {"Hostile", "Ondix Preset 1\nFilter Frequency = 1e999\nEnd\n"},
    };
    for (const auto& b : bad) write(folder / (std::string(b.name) + ".ondix"), b.text);
    p().refreshPresetList();
    const ProgramRecord before = record();
    const int current = p().core.presetIndex;
    for (int i = factoryCount(); i < p().presetCount; ++i) {
        const std::size_t alerts = dialogs.alertRequests.size();
        EXPECT_FALSE(p().choosePreset(i)) << name(i);
        EXPECT_EQ(dialogs.alertRequests.size(), alerts + 1) << name(i);
        EXPECT_EQ(std::memcmp(&before, &record(), sizeof before), 0) << name(i);
        EXPECT_EQ(p().core.presetIndex, current);
        EXPECT_FALSE(p().core.presetPending);
    }
    // A good file with a parameter this version does not know loads the rest.
    write(folder / "Future.ondix",
          "Ondix Preset 1\nWarp Drive = 0.5\nFilter Frequency = 0.25\nEnd\n");
    p().refreshPresetList();
    int future = -1;
    for (int i = 0; i < p().presetCount; ++i)
        if (name(i) == "Future") future = i;
    ASSERT_TRUE(p().choosePreset(future));
    applyPending();
    EXPECT_EQ(p().getCurrentValue(tag::FilterFreq), 0.25f);
}

TEST_F(PresetStore, ThreeHundredFilesListTheFirst256) {
    for (int i = 0; i < 300; ++i) {
        char file[32];
        std::snprintf(file, sizeof file, "P%03d.ondix", i);
        write(folder / file, formatPresetFile({}));
    }
    p().refreshPresetList();
    ASSERT_EQ(p().presetCount, 256);
    EXPECT_EQ(name(factoryCount()), "P000");
    char last[16];
    std::snprintf(last, sizeof last, "P%03d", 255 - factoryCount());
    EXPECT_EQ(name(255), last);
}

TEST_F(PresetStore, SteppingWrapsAtBothEnds) {
    const int count = p().presetCount;
    ASSERT_GE(count, 2);
    p().changePresetDelta(-1);
    EXPECT_EQ(p().core.presetIndex, count - 1);
    p().changePresetDelta(+1); // refused while the preset waits
    EXPECT_EQ(p().core.presetIndex, count - 1);
    applyPending();
    EXPECT_EQ(shownName(), name(count - 1));
    p().changePresetDelta(+1);
    EXPECT_EQ(p().core.presetIndex, 0);
    applyPending();
    EXPECT_EQ(shownName(), "Init");
}

// A refused user preset does not stop stepping: the step passes it on to the
// next readable entry in its direction, wrapping at the ends, and its
// message is shown the first time only.
TEST_F(PresetStore, SteppingPassesRefusedFilesAndTellsEachOnce) {
    const std::string good = formatPresetFile({{"Filter Frequency", 0.25f}});
    const std::string noEnd = good.substr(0, good.rfind("End"));
    write(folder / "A Good.ondix", good);
    write(folder / "B No End.ondix", noEnd);
    write(folder / "C Good.ondix", good);
    write(folder / "D No End.ondix", noEnd);
    p().refreshPresetList();
    const int first = factoryCount(); // "A Good"
    ASSERT_EQ(p().presetCount, first + 4);
    ASSERT_TRUE(p().choosePreset(first));
    applyPending();

    const struct {
        int delta;
        int lands;    // the entry chosen
        int messages; // alerts shown by the step
    } steps[] = {
        {+1, first + 2, 1}, // over "B No End"
        {+1, 0, 1},         // over "D No End", round to the first factory preset
        {-1, first + 2, 0}, // back over "D No End": told already
        {-1, first, 0},     // over "B No End"
        {+2, first + 2, 0},
    };
    for (const auto& s : steps) {
        const std::size_t alerts = dialogs.alertRequests.size();
        p().changePresetDelta(s.delta);
        EXPECT_EQ(p().core.presetIndex, s.lands) << s.delta;
        EXPECT_EQ(dialogs.alertRequests.size(), alerts + static_cast<std::size_t>(s.messages));
        applyPending();
        EXPECT_EQ(shownName(), name(s.lands));
    }
    ASSERT_EQ(dialogs.alertRequests.size(), 2u);
    EXPECT_NE(dialogs.alertRequests[0].header.find("B No End"), std::string::npos);
    EXPECT_NE(dialogs.alertRequests[1].header.find("D No End"), std::string::npos);

    // Choosing a refused file from the list still says why, every time.
    EXPECT_FALSE(p().choosePreset(first + 1));
    EXPECT_EQ(dialogs.alertRequests.size(), 3u);

    // With no other entry readable, the step stops where it started.
    write(folder / "C Good.ondix", noEnd);
    p().core.presetEntries.erase(p().core.presetEntries.begin(),
                                 p().core.presetEntries.begin() + first);
    p().presetCount = 4;
    p().core.presetIndex = 0;
    const ProgramRecord before = record();
    for (int delta : {+1, -1}) {
        p().changePresetDelta(delta);
        EXPECT_EQ(p().core.presetIndex, 0) << delta;
        EXPECT_FALSE(p().core.presetPending) << delta;
    }
    EXPECT_EQ(std::memcmp(&before, &record(), sizeof before), 0);
    EXPECT_EQ(dialogs.alertRequests.size(), 4u); // "C Good", refused now, once
}

// Every command that names a preset or a folder keeps to one rule and says
// so with one message: a name the list would not show is refused, and
// nothing is written.
TEST_F(PresetStore, EveryWayOfNamingRefusesWhatTheListWouldNotShow) {
    write(folder / "Keys" / "Mine.ondix", formatPresetFile({}));
    const std::string copied(59, 'L'); // copied as "<59 L> Copy": 64 characters
    write(folder / copied / "One.ondix", formatPresetFile({}));
    const std::string tooLong = copied + " Copy";

    using Way = std::function<void(const std::string&)>;
    const auto typed = [&](void (APlugin::*command)()) -> Way {
        return [&, command](const std::string& n) {
            dialogs.pushText(n);
            (p().*command)();
        };
    };
    const struct {
        const char* name;
        Way run;
    } ways[] = {
        {"Save Preset As", typed(&APlugin::savePresetAs)},
        {"Create New Preset", typed(&APlugin::createNewPreset)},
        {"Rename Preset", typed(&APlugin::renamePreset)},
        {"Save Preset In Folder",
         [&](const std::string& n) {
             dialogs.pushFile((folder / "Keys" / n).string());
             p().savePresetInFolder();
         }},
        {"Create New Folder", typed(&APlugin::createPresetFolder)},
        {"Rename Folder", typed(&APlugin::renamePresetFolder)},
        {"Copy Folder",
         [&](const std::string& n) {
             if (n != tooLong) return;
             chooseUser(copied + "/One.ondix");
             p().copyPresetFolder();
         }},
    };
    const std::string names[] = {"Caf\xc3\xa9", "Na\xefve",    tooLong,
                                 ".Hidden",     "Back\\slash", "Tab\there"};
    const std::vector<std::string> before = tree();
    for (const std::string& name : names) {
        for (const auto& way : ways) {
            chooseUser("Keys/Mine.ondix");
            const std::size_t alerts = dialogs.alertRequests.size();
            way.run(name);
            if (std::string(way.name) == "Copy Folder" && name != tooLong) continue;
            ASSERT_EQ(dialogs.alertRequests.size(), alerts + 1) << way.name << ": " << name;
            EXPECT_EQ(dialogs.alertRequests.back().header, presetNameRefusal(name))
                << way.name << ": " << name;
            EXPECT_EQ(tree(), before) << way.name << ": " << name;
        }
    }
    // The save dialog can also reach folders the list does not read: two
    // deep, hidden or outside the preset folder.
    for (const fs::path& chosen : {folder / "Keys" / "Deep" / "Soft", folder / ".Keys" / "Soft",
                                   folder.parent_path() / "Soft", fs::path("Soft")}) {
        const std::size_t alerts = dialogs.alertRequests.size();
        dialogs.pushFile(chosen.string());
        p().savePresetInFolder();
        EXPECT_EQ(dialogs.alertRequests.size(), alerts + 1) << chosen;
        EXPECT_NE(dialogs.alertRequests.back().header.find("cannot be used"), std::string::npos);
        EXPECT_EQ(tree(), before) << chosen;
        EXPECT_FALSE(fs::exists(folder.parent_path() / "Soft.ondix"));
    }
}

// Instances in separate processes rename or save their presets to one new
// name at the same moment, round after round: one of them takes the name,
// every other is told it is taken, and no preset is lost.
TEST_F(PresetStore, InstancesNamingTheSamePresetAtOnceNeverReplaceEachOther) {
    constexpr int kProcesses = 8;
    constexpr int kRounds = 8;
    // What each one holds: the file of a renamer, the values of a saver.
    std::vector<std::string> text;
    for (int k = 0; k < kProcesses; ++k) {
        p().setParameter(tag::FilterFreq, 0.0625f * static_cast<float>(k + 1));
        text.push_back(p().currentPresetText());
    }
    const auto source = [&](int k) { return folder / ("Source " + std::to_string(k) + ".ondix"); };
    const fs::path target = folder / "Target.ondix";
    for (int round = 0; round < kRounds; ++round) {
        fs::remove_all(folder);
        for (int k = 0; k < kProcesses; ++k) write(source(k), text[static_cast<std::size_t>(k)]);
        p().refreshPresetList();
        std::vector<std::function<int()>> instances;
        for (int k = 0; k < kProcesses; ++k)
            instances.emplace_back([&, k] {
                const std::size_t alerts = dialogs.alertRequests.size();
                if (k % 2 == 0)
                    p().renamePreset();
                else
                    p().savePresetAs();
                // 0: took the name; 1: was told it is taken; 2: anything else.
                if (dialogs.alertRequests.size() == alerts) return 0;
                return dialogs.alertRequests.back().header.find("exists") != std::string::npos ? 1
                                                                                               : 2;
            });
        const std::vector<int> outcomes = runTogether(instances, {}, [&](std::size_t i) {
            // Odd ones save their values under the name, even ones rename.
            const int k = static_cast<int>(i);
            chooseUser(source(k).filename().string());
            if (k % 2 != 0) p().setParameter(tag::FilterFreq, 0.0625f * static_cast<float>(k + 1));
            dialogs.pushText("Target");
        });
        const auto won = std::find(outcomes.begin(), outcomes.end(), 0) - outcomes.begin();
        ASSERT_EQ(std::count(outcomes.begin(), outcomes.end(), 0), 1) << "round " << round;
        ASSERT_EQ(std::count(outcomes.begin(), outcomes.end(), 1), kProcesses - 1);
        // The name holds the winner's preset; each renamer that lost kept its own.
        EXPECT_EQ(contents(target), text[static_cast<std::size_t>(won)]) << "round " << round;
        for (int k = 0; k < kProcesses; ++k)
            if (k % 2 == 0 && k != won) {
                EXPECT_EQ(contents(source(k)), text[static_cast<std::size_t>(k)]) << k;
            }
        EXPECT_EQ(entries(folder).size(), static_cast<std::size_t>(kProcesses + (won % 2)));
    }
}

// Saves killed (kill -9) with their temporary file there leave it beside the
// settings file or the preset. The next save to the same file (or of any
// preset in the same folder) removes those whose process has ended; it keeps
// one whose process still runs (stopped), names of another machine's process
// and names of another shape.
TEST_F(PresetStore, TemporaryFilesOfKilledSavesGoWithTheNextSave) {
    TempPrefs prefs;
    dialogs.pushText("Mine");
    p().savePresetAs();
    const fs::path preset = folder / "Mine.ondix";
    ASSERT_TRUE(fs::exists(preset));
    saveStringToPrefs("Kill", "start");
    const fs::path settings = prefsOwnFilePath();
    ASSERT_TRUE(fs::exists(settings));

    // A setting of a value of this process's own (so that it is written),
    // the current preset, and another preset in the same folder.
    const auto setting = [n = 0]() mutable {
        saveStringToPrefs("Kill", std::to_string(::getpid()) + "." + std::to_string(++n));
    };
    const auto same = [&] {
        dialogs.pushAlertAnswer(ALERT_DEFAULT); // "Replace it?"
        p().savePreset();
    };
    writeBytesTo(folder / "Other.ondix", "");
    const auto other = [&] {
        dialogs.pushText("Other");
        dialogs.pushAlertAnswer(ALERT_DEFAULT);
        p().savePresetAs();
    };
    const struct {
        const char* what;
        fs::path target;
        std::function<void()> save, next; // next: the save after the killed ones
    } cases[] = {{"settings", settings, setting, setting},
                 {"preset", preset, same, same},
                 {"another preset in its folder", preset, same, other}};
    const auto end = [](pid_t pid) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string prefix = "." + c.target.filename().string() + ".";
        const auto temporaries = [&](const std::set<std::string>& except = {}) {
            std::set<std::string> found;
            for (const std::string& e : entries(c.target.parent_path()))
                if (e.starts_with(prefix) && !e.ends_with(".lock") && !except.contains(e))
                    found.insert(e);
            return found;
        };
        // A process saving again and again, stopped once a temporary file of
        // its own is there: the ones it has (and leaves when killed).
        const auto saver = [&](pid_t& pid) {
            const std::set<std::string> before = temporaries();
            pid = ::fork();
            if (pid == 0)
                for (;;) c.save();
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (temporaries(before).empty() && std::chrono::steady_clock::now() < until)
                continue;
            ::kill(pid, SIGSTOP);
            ::waitpid(pid, nullptr, WUNTRACED);
            return temporaries(before);
        };
        std::set<std::string> left;
        pid_t pid = 0;
        for (int round = 0; round < 200 && left.size() < 5; ++round) {
            left.merge(saver(pid));
            end(pid);
        }
        ASSERT_GE(left.size(), 5u);

        // Names a save must leave: a process that runs (1), another
        // machine's process, the shape of other versions.
        const std::string name = *left.begin();
        const std::string place = name.substr(name.find('-', prefix.size()) + 1, 8);
        const std::string other = place == "00000000" ? "00000001" : "00000000";
        const std::set<std::string> foreign = {
            prefix + "1-" + place + "-0123abcd",
            prefix + std::to_string(pid) + "-" + other + "-0123abcd", prefix + "0123abcd"};
        for (const std::string& f : foreign) writeBytesTo(c.target.parent_path() / f, "");
        const auto& next = c.next;
        ASSERT_NE(temporaries(), foreign); // the last killed save's
        next();
        EXPECT_EQ(temporaries(), foreign);
        // A stopped preset saver would hold the list's lock, which keeps
        // every other instance's change waiting: pid 1 stands for it. A
        // stopped settings writer holds the settings lock: the next save
        // waits for it, gives up and leaves everything.
        if (c.target == settings) {
            pid_t stopped = 0;
            std::set<std::string> running;
            for (int round = 0; round < 200 && running.empty(); ++round)
                if ((running = saver(stopped)).empty()) end(stopped);
            ASSERT_FALSE(running.empty());

            next();
            std::set<std::string> kept = foreign;
            kept.merge(std::set<std::string>(running));
            EXPECT_EQ(temporaries(), kept);
            end(stopped);
            next();
            EXPECT_EQ(temporaries(), foreign);
        }
        for (const std::string& f : foreign) fs::remove(c.target.parent_path() / f);
    }
}

// Instances in separate processes add presets at the same moment while the
// list has a few places free: those places are filled, every other instance
// is told the list is full, and the list holds exactly 256 presets.
TEST_F(PresetStore, InstancesAddingAtOnceFillOnlyTheFreePlaces) {
    constexpr int kProcesses = 8;
    const auto source = [](std::size_t k) { return "Source " + std::to_string(k); };
    const struct {
        const char* name;
        void (APlugin::*command)(); // in process k: a new preset "New k", or a copy of "Source k"
        const char* told = "The preset list is full";
        bool renames = false; // "One" or "Source 0" to "New k": one does, the others are told
    } ways[] = {{"Save Preset As", &APlugin::savePresetAs},
                {"Create New Preset", &APlugin::createNewPreset},
                {"Copy Folder", &APlugin::copyPresetFolder},
                {"Rename Preset", &APlugin::renamePreset, "Preset \"One\" was not renamed", true},
                {"Rename Folder", &APlugin::renamePresetFolder,
                 "Folder \"Source 0\" was not renamed", true}};
    for (const auto& way : ways)
        for (const int free : {1, 4, 4}) {
            SCOPED_TRACE(std::string(way.name) + ", places free: " + std::to_string(free));
            fs::remove_all(folder);
            for (std::size_t k = 0; k < kProcesses; ++k)
                write(folder / source(k) / "One.ondix", formatPresetFile({}));
            for (int i = factoryCount() + kProcesses + free; i < PRESET_LIST_MAX; ++i)
                write(folder / ("Full " + std::to_string(i) + ".ondix"), formatPresetFile({}));
            p().refreshPresetList();
            ASSERT_EQ(p().presetCount, PRESET_LIST_MAX - free);
            std::vector<std::function<int()>> instances(kProcesses, [&] {
                const std::size_t alerts = dialogs.alertRequests.size();
                (p().*way.command)();
                // 0: done; 1: told why not (a rename: listing what is now there); 2: else.
                if (dialogs.alertRequests.size() == alerts) return 0;
                return dialogs.alertRequests.back().header.starts_with(way.told) &&
                               (!way.renames ||
                                p().core.presetEntries == listAllPresets(folder.string()))
                           ? 1
                           : 2;
            });
            chooseUser(source(0) + "/One.ondix"); // what all rename, chosen before any begins
            const std::vector<int> outcomes = runTogether(instances, {}, [&](std::size_t k) {
                if (!way.renames) chooseUser(source(k) + "/One.ondix");
                dialogs.pushText("New " + std::to_string(k));
            });
            const int done = way.renames ? 1 : free;
            EXPECT_EQ(std::count(outcomes.begin(), outcomes.end(), 0), done);
            EXPECT_EQ(std::count(outcomes.begin(), outcomes.end(), 1), kProcesses - done);
            EXPECT_EQ(listFactoryPresets().size() + listUserPresets(folder.string()).size(),
                      static_cast<std::size_t>(PRESET_LIST_MAX - (way.renames ? free : 0)));
            for (const std::string& e : entries(folder)) EXPECT_NE(e.front(), '.') << e;
        }
}

// With more presets in the folder than the list shows, a preset or folder
// renamed so that it would come after the list's end is refused with a
// message, and nothing moves; a rename that keeps it in the list goes on.
TEST_F(PresetStore, ARenameThatWouldDropAPresetOffTheListIsRefused) {
    const struct {
        void (APlugin::*rename)();
        const char *from, *to, *moved; // moved: the preset afterwards; nullptr: refused
    } cases[] = {
        {&APlugin::renamePreset, "Keys/K1.ondix", "K4", nullptr},
        {&APlugin::renamePreset, "Keys/K1.ondix", "K0", "Keys/K0.ondix"},
        {&APlugin::renamePresetFolder, "Bass/B1.ondix", "Lead", nullptr},
        {&APlugin::renamePresetFolder, "Bass/B1.ondix", "Alto", "Alto/B1.ondix"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.to);
        // At the top, then "Bass" (B1) and "Keys" (K1 K2 K3): K3 is the 257th.
        fs::remove_all(folder);
        for (int i = factoryCount() + 3; i < PRESET_LIST_MAX; ++i)
            write(folder / ("Top " + std::to_string(i) + ".ondix"), formatPresetFile({}));
        for (const char* file :
             {"Bass/B1.ondix", "Keys/K1.ondix", "Keys/K2.ondix", "Keys/K3.ondix"})
            write(folder / file, formatPresetFile({}));
        const std::vector<std::string> before = tree();
        chooseUser(c.from);
        dialogs.alertRequests.clear();
        dialogs.pushText(c.to);
        (p().*c.rename)();
        EXPECT_EQ(p().presetCount, PRESET_LIST_MAX);
        ASSERT_EQ(dialogs.alertRequests.size(), c.moved ? 0u : 1u);
        if (c.moved) {
            EXPECT_EQ(p().currentPresetEntry()->path, (folder / c.moved).string());
        } else {
            EXPECT_TRUE(dialogs.alertRequests[0].header.starts_with(
                "The preset list is full: it shows at most 256 presets, and "));
            EXPECT_EQ(tree(), before);
        }
    }
}
