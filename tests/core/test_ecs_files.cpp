// MIDI controller map files: saving, loading, the checks on a loaded file,
// and clearing the whole map.

#include "core/aplugin.h"
#include "platform/dialog_service.h"
#include "platform/prefs.h"
#include "support/fake_host.h"
#include "support/temp_prefs.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

using Map = std::array<int, 128>;

class EcsFiles : public ::testing::Test {
protected:
    TempPrefs prefs; // first: the plug-in reads the map from it
    FakeHost host;
    std::unique_ptr<APlugin> plugin = std::make_unique<APlugin>(FakeHost::callback);
    ScriptedDialogService script;
    ScopedDialogService installed{script};
    fs::path folder;

    void SetUp() override {
        folder = fs::path(prefs.path()) / "ECS";
        fs::create_directories(folder);
        plugin->core.folders.ecsDir = folder.string() + "/";
    }

    // Binds through both the engine's map and the preferences, as learning does.
    void bind(int controller, int t) {
        plugin->engine.midi.ccMap[controller].store(t);
        setMidiCC(controller, t);
    }
    Map engineMap() const {
        Map map{};
        for (int n = 0; n < 128; ++n) map[n] = plugin->engine.midi.ccMap[n].load();
        return map;
    }
    static Map prefsMap() {
        Map map{};
        for (int n = 0; n < 128; ++n) map[n] = getMidiCC(n);
        return map;
    }
    // A map with a few bindings.
    Map sample() {
        Map map{};
        map[1] = 23;
        map[7] = 1;
        map[74] = 1023;
        map[127] = 250;
        for (int n = 0; n < 128; ++n)
            if (map[n] != 0) bind(n, map[n]);
        return map;
    }

    std::string write(const std::string& name, const std::string& content) {
        const fs::path path = folder / name;
        std::ofstream(path, std::ios::binary) << content;
        return path.string();
    }
    static std::string read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static std::string lines(const Map& map) {
        std::string text;
        for (int v : map) text += std::to_string(v) + "\n";
        return text;
    }

    void load(const std::string& path) {
        script.pushFile(path);
        plugin->loadECS();
    }
    int problems() const {
        int n = 0;
        for (const AlertRequest& r : script.alertRequests) n += r.header == "Problem with ECS File";
        return static_cast<int>(script.alertRequests.size()) == n ? n : -1;
    }
};

} // namespace

TEST_F(EcsFiles, SaveWritesOneLinePerControllerAndLoadRestoresIt) {
    const Map map = sample();
    script.pushFile((folder / "layout").string());
    plugin->saveECS();

    ASSERT_EQ(script.fileRequests.size(), 1u);
    const FileDialogRequest& request = script.fileRequests[0];
    EXPECT_EQ(request.mode, FileDialogRequest::Mode::save);
    EXPECT_EQ(request.title, "Save ECS");
    EXPECT_EQ(request.initialFolder, plugin->core.folders.ecsDir);
    EXPECT_EQ(request.defaultSaveName, "Ondx.ecs");
    EXPECT_EQ(problems(), 0);

    const fs::path saved = folder / "layout.ecs";
    EXPECT_EQ(read(saved), lines(map));
    // Only the file itself is left in the folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);

    plugin->resetMIDI();
    EXPECT_EQ(engineMap(), Map{});
    load(saved.string());
    EXPECT_EQ(engineMap(), map);
    EXPECT_EQ(prefsMap(), map);
    EXPECT_EQ(problems(), 0);

    const FileDialogRequest& open = script.fileRequests.back();
    EXPECT_EQ(open.mode, FileDialogRequest::Mode::open);
    EXPECT_EQ(open.title, "Load ECS");
    EXPECT_EQ(open.initialFolder, plugin->core.folders.ecsDir);
    ASSERT_EQ(open.filters.size(), 1u);
    EXPECT_EQ(open.filters[0].extension, "ecs");
}

TEST_F(EcsFiles, SavingOverAFileReplacesItWhole) {
    const std::string path = write("old.ecs", std::string(5000, '9'));
    ::chmod(path.c_str(), 0640);
    const Map map = sample();
    script.pushFile(path);
    plugin->saveECS();
    EXPECT_EQ(read(path), lines(map));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u) << "an existing file keeps its permissions";
    EXPECT_EQ(problems(), 0);
}

TEST_F(EcsFiles, AFileThatCannotBeWrittenIsReported) {
    sample();
    script.pushFile((folder / "missing" / "map.ecs").string());
    plugin->saveECS();
    fs::create_directories(folder / "taken.ecs");
    script.pushFile((folder / "taken.ecs").string());
    plugin->saveECS();
    EXPECT_EQ(problems(), 2);
    EXPECT_FALSE(fs::exists(folder / "missing"));
    EXPECT_TRUE(fs::is_directory(folder / "taken.ecs"));
}

TEST_F(EcsFiles, CancelledDialogsDoNothing) {
    const Map map = sample();
    script.pushFileCancel();
    plugin->saveECS();
    script.pushFileCancel();
    plugin->loadECS();
    EXPECT_TRUE(script.alertRequests.empty());
    EXPECT_EQ(engineMap(), map);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 0);
}

TEST_F(EcsFiles, MalformedFilesAreRejectedWhole) {
    Map ok{};
    ok[3] = 17;
    const std::string good = lines(ok);
    std::string nonNumber = good;
    nonNumber.replace(nonNumber.find("17"), 2, "ab");
    std::string glued = good;
    glued.replace(glued.find("17"), 2, "17x");
    const std::string cases[] = {
        "",                                        // empty
        good.substr(0, good.size() - 2),           // 127 numbers
        good + "0\n",                              // 129 numbers
        "1024\n" + good.substr(2),                 // above the last tag
        "-1\n" + good.substr(2),                   // negative
        nonNumber,                                 // a word
        glued,                                     // a number with text attached
        good + "end\n",                            // text after the map
        "99999999999999999999\n" + good.substr(2), // beyond any integer
        good + std::string(70000, ' ')             // far too large for a map
    };

    const Map map = sample();
    int expected = 0;
    for (const std::string& content : cases) {
        load(write("bad.ecs", content));
        ++expected;
        EXPECT_EQ(problems(), expected) << "content: " << content.substr(0, 40);
        EXPECT_EQ(engineMap(), map);
        EXPECT_EQ(prefsMap(), map);
    }
    load((folder / "nothing-here.ecs").string());
    EXPECT_EQ(problems(), expected + 1);
    load(folder.string()); // a folder
    EXPECT_EQ(problems(), expected + 2);
    EXPECT_EQ(engineMap(), map);
}

TEST_F(EcsFiles, WhiteSpaceAroundTheNumbersIsAccepted) {
    Map map{};
    map[0] = 5;
    map[2] = 900;
    std::string text;
    for (int n = 0; n < 128; ++n) {
        if (n == 2) text += '+';
        text.append(std::to_string(map[n])).append("\r\n");
    }
    text += "\n\n   \t\n";
    sample();
    load(write("spaced.ecs", text));
    EXPECT_EQ(problems(), 0);
    EXPECT_EQ(engineMap(), map);

    // No newline after the last number; several numbers on one line.
    std::string compact = "7 0 0 0\n";
    for (int n = 4; n < 127; ++n) compact += "0\n";
    compact += "11";
    load(write("compact.ecs", compact));
    EXPECT_EQ(problems(), 0);
    EXPECT_EQ(engineMap()[0], 7);
    EXPECT_EQ(engineMap()[127], 11);
}

TEST_F(EcsFiles, AllZerosClearEveryBinding) {
    sample();
    load(write("clear.ecs", lines(Map{})));
    EXPECT_EQ(engineMap(), Map{});
    EXPECT_EQ(prefsMap(), Map{});
}

TEST_F(EcsFiles, LoadingResetsThePickUpState) {
    plugin->setParameter(tag::FilterFreq, 0.3f);
    plugin->engine.midi.captured[tag::FilterFreq] = true;
    plugin->engine.midi.pickupRef[tag::FilterFreq] = 0.9f;
    Map map{};
    map[20] = tag::FilterFreq;
    load(write("one.ecs", lines(map)));
    for (int t = 0; t < tag::Count; ++t) {
        ASSERT_FALSE(plugin->engine.midi.captured[t]) << "tag " << t;
        ASSERT_EQ(plugin->engine.midi.pickupRef[t], plugin->getParameter(t)) << "tag " << t;
    }
}

TEST_F(EcsFiles, ClearAllMidiUnbindsEverythingAndSurvivesARestart) {
    sample();
    plugin->engine.midi.captured[5] = true;
    plugin->resetMIDI();
    EXPECT_EQ(engineMap(), Map{});
    EXPECT_FALSE(plugin->engine.midi.captured[5]);
    EXPECT_EQ(plugin->engine.midi.pickupRef[1], plugin->getParameter(1));
    reloadPrefs(); // what the next start reads
    EXPECT_EQ(prefsMap(), Map{});
}

TEST_F(EcsFiles, ALoadedMapIsWhatTheNextInstanceStartsWith) {
    Map map{};
    map[64] = 12;
    map[100] = 500;
    load(write("next.ecs", lines(map)));
    reloadPrefs();
    plugin.reset();
    plugin = std::make_unique<APlugin>(FakeHost::callback);
    EXPECT_EQ(engineMap(), map);
}
