// Section preset files: the text format read and written the same in every
// locale, malformed files refused whole, durable writes, and the load and
// save procedures with their dialogs, folders and messages.

#include "core/aplugin.h"
#include "core/section_tags.h"
#include "editor/section_presets.h"
#include "platform/dialog_service.h"
#include "support/fake_host.h"
#include "support/temp_prefs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <clocale>
#include <filesystem>
#include <fstream>
#include <memory>
#include <span>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace fs = std::filesystem;
using namespace section_presets;

namespace {

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeAll(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Switches the numeric locale to one with a decimal comma, when the system
// has one, for the life of the object.
class CommaLocale {
public:
    CommaLocale() {
        previous = std::setlocale(LC_NUMERIC, nullptr);
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"})
            if (std::setlocale(LC_NUMERIC, name)) {
                active = true;
                break;
            }
    }
    ~CommaLocale() { std::setlocale(LC_NUMERIC, previous.c_str()); }
    bool active = false;

private:
    std::string previous;
};

struct SectionPresetFiles : ::testing::Test {
    TempPrefs prefs;
    fs::path dir = fs::path(prefs.path()) / "presets";
    SectionPresetFiles() { fs::create_directories(dir); }
};

struct SectionPresetProcedures : SectionPresetFiles {
    FakeHost host;
    ScriptedDialogService dialogs;
    ScopedDialogService scoped{dialogs};
    std::unique_ptr<APlugin> plugin = std::make_unique<APlugin>(FakeHost::callback);

    static constexpr std::array<int, 4> AMP = {4, 5, 6, 7};
    static constexpr std::array<int, 4> FILTER = {30, 31, 32, 33};

    void SetUp() override {
        FolderPaths& f = plugin->core.folders;
        f.envelopePresetDir = (dir / "env/").string();
        f.arpPresetDir = (dir / "arp/").string();
        f.modPresetDir = (dir / "mod/").string();
        f.xyPresetDir = (dir / "xy/").string();
    }
    std::vector<float> values(std::span<const int> tags) {
        std::vector<float> out;
        for (int t : tags) out.push_back(plugin->getParameter(t));
        return out;
    }
    std::vector<std::string> alerts() const {
        std::vector<std::string> out;
        for (const AlertRequest& r : dialogs.alertRequests) out.push_back(r.header);
        return out;
    }
    // A file of the version word and the given value lines.
    fs::path presetFile(const std::string& name, const std::vector<std::string>& lines) {
        std::string text = "V1.0\n";
        for (const std::string& l : lines) text += l + "\n";
        writeAll(dir / name, text);
        return dir / name;
    }
};

} // namespace

// ------------------------------------------------------------------ format

TEST_F(SectionPresetFiles, TextIsVersionThenSixDecimalsWithAPointInAnyLocale) {
    CommaLocale comma;
    const std::vector<float> v = {0.25f, 1.0f, 0.0f, 0.5f};
    EXPECT_EQ(formatSectionPreset(v), "V1.0\n0.250000\n1.000000\n0.000000\n0.500000\n");
    EXPECT_EQ(formatSectionPreset({}), "V1.0\n");

    std::vector<float> read;
    ASSERT_TRUE(parseSectionPreset("V1.0\n0.250000\n1.000000\n0.000000\n0.500000\n", 4,
                                   RangeRule::RejectFile, read));
    EXPECT_EQ(read, v);
    // A decimal comma is not a number, whatever the locale says.
    EXPECT_FALSE(parseSectionPreset("V1.0\n0,25\n", 1, RangeRule::PassThrough, read));
    if (!comma.active) GTEST_SKIP() << "no locale with a decimal comma installed";
}

TEST_F(SectionPresetFiles, AnyFirstWordIsTakenAndWordsAfterTheValuesAreIgnored) {
    std::vector<float> read;
    ASSERT_TRUE(parseSectionPreset("V9.9\n0.1\n0.2\n", 2, RangeRule::PassThrough, read));
    EXPECT_EQ(read, (std::vector<float>{0.1f, 0.2f}));
    ASSERT_TRUE(
        parseSectionPreset("whatever 0.1   0.2\r\n0.3 junk more", 3, RangeRule::PassThrough, read));
    EXPECT_EQ(read, (std::vector<float>{0.1f, 0.2f, 0.3f}));
    ASSERT_TRUE(parseSectionPreset("V1.0\n+0.5\n-1e-3\n5e-1\n", 3, RangeRule::PassThrough, read));
    EXPECT_EQ(read, (std::vector<float>{0.5f, -0.001f, 0.5f}));
    // A first word up to the length of the text buffers is fine.
    ASSERT_TRUE(
        parseSectionPreset(std::string(255, 'V') + "\n0.5\n", 1, RangeRule::RejectFile, read));
}

TEST_F(SectionPresetFiles, MalformedTextsAreRefusedWhole) {
    std::vector<float> read = {9.0f};
    for (const std::string& text :
         {std::string(), std::string("   \n"), std::string("V1.0\n"),
          std::string("V1.0\n0.1\n0.2\n"), std::string("V1.0\n0.1\nabc\n0.3\n"),
          std::string("V1.0\n0.1\n0.2x\n0.3\n"), std::string("V1.0\nnan\n0.2\n0.3\n"),
          std::string("V1.0\n0.1\ninf\n0.3\n"), std::string("V1.0\n0.1\n++0.2\n0.3\n"),
          std::string("V1.0\n0.1\n0.2\n").append(300, '0').append("\n"),
          std::string(256, 'V').append("\n0.1\n0.2\n0.3\n")}) {
        EXPECT_FALSE(parseSectionPreset(text, 3, RangeRule::PassThrough, read)) << text;
        EXPECT_TRUE(read.empty()) << text;
        read = {9.0f};
    }
}

TEST_F(SectionPresetFiles, OutOfRangeValuesFollowTheSectionsRule) {
    std::vector<float> read;
    EXPECT_FALSE(parseSectionPreset("V1.0\n0.5\n1.5\n", 2, RangeRule::RejectFile, read));
    EXPECT_FALSE(parseSectionPreset("V1.0\n-0.0001\n0.5\n", 2, RangeRule::RejectFile, read));
    ASSERT_TRUE(parseSectionPreset("V1.0\n0\n1\n", 2, RangeRule::RejectFile, read));
    // The others hand the value on; clamping happens when it is applied.
    ASSERT_TRUE(parseSectionPreset("V1.0\n0.5\n1.5\n", 2, RangeRule::ClampToRange, read));
    EXPECT_EQ(read[1], 1.5f);
    ASSERT_TRUE(parseSectionPreset("V1.0\n-2\n1.5\n", 2, RangeRule::PassThrough, read));
    EXPECT_EQ(read[0], -2.0f);
}

TEST_F(SectionPresetFiles, WritesReplaceTheTargetWholeAndLeaveNoTemporaryFiles) {
    const fs::path target = dir / "a.env";
    writeAll(target, "old contents that are longer than the new ones ...........\n");
    const std::vector<float> v = {0.1f, 0.2f, 0.3f, 0.4f};
    ASSERT_TRUE(writeSectionPresetFile(target.string(), v));
    EXPECT_EQ(readAll(target), "V1.0\n0.100000\n0.200000\n0.300000\n0.400000\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);

    // A new file gets the usual permissions under the umask.
    const mode_t mask = ::umask(022);
    ASSERT_TRUE(writeSectionPresetFile((dir / "b.env").string(), v));
    ::umask(mask);
    EXPECT_EQ(fs::status(dir / "b.env").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_read);

    std::vector<float> read;
    ASSERT_TRUE(readSectionPresetFile(target.string(), 4, RangeRule::RejectFile, read));
    EXPECT_EQ(read, v);

    // A folder that does not exist, and a target that cannot be replaced.
    EXPECT_FALSE(writeSectionPresetFile((dir / "missing" / "c.env").string(), v));
    fs::create_directory(dir / "d.env");
    writeAll(dir / "d.env" / "inside", "x");
    EXPECT_FALSE(writeSectionPresetFile((dir / "d.env").string(), v));
    EXPECT_TRUE(fs::is_directory(dir / "d.env"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 3);
    EXPECT_FALSE(writeSectionPresetFile("", v));
}

TEST_F(SectionPresetFiles, WordsAfterTheValuesAreIgnoredUpToTheFileLimit) {
    std::string text = "V1.0\n0.5\n0.25\n";
    text += std::string(MAX_FILE_BYTES - text.size() - 4, ' ') + "tail";
    writeAll(dir / "big.env", text);
    std::vector<float> read;
    ASSERT_TRUE(readSectionPresetFile((dir / "big.env").string(), 2, RangeRule::RejectFile, read));
    EXPECT_EQ(read, (std::vector<float>{0.5f, 0.25f}));
    writeAll(dir / "big.env", text + " ");
    EXPECT_FALSE(readSectionPresetFile((dir / "big.env").string(), 2, RangeRule::RejectFile, read));
    EXPECT_FALSE(
        readSectionPresetFile((dir / "none.env").string(), 2, RangeRule::RejectFile, read));
    EXPECT_FALSE(readSectionPresetFile(dir.string(), 2, RangeRule::RejectFile, read));
    EXPECT_TRUE(read.empty());
}

// ------------------------------------------------------------------ procedures

TEST_F(SectionPresetProcedures, SaveAsksInTheSectionFolderAndForcesFourCharacterExtensions) {
    plugin->setParameter(4, 0.25f);
    dialogs.pushFile((dir / "mine.old.txt").string());
    ASSERT_TRUE(saveSectionPreset(*plugin, ENV_PRESET, AMP));
    ASSERT_EQ(dialogs.fileRequests.size(), 1u);
    const FileDialogRequest& request = dialogs.fileRequests[0];
    EXPECT_EQ(request.mode, FileDialogRequest::Mode::save);
    EXPECT_EQ(request.title, "Save Envelope Preset");
    EXPECT_EQ(request.initialFolder, plugin->core.folders.envelopePresetDir);
    EXPECT_EQ(request.defaultSaveName, "*.env");
    const std::string text = readAll(dir / "mine.env");
    EXPECT_EQ(text.substr(0, 14), "V1.0\n0.250000\n");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5);
    EXPECT_FALSE(fs::exists(dir / "mine.old.txt"));

    // The XY pattern's extension is not forced: the name stays as typed.
    dialogs.pushFile((dir / "path").string());
    ASSERT_TRUE(saveSectionPreset(*plugin, XY_PRESET, section_tags::XY_SECTION_TAGS));
    EXPECT_EQ(dialogs.fileRequests.back().title, "Save XY Preset");
    EXPECT_EQ(dialogs.fileRequests.back().initialFolder, plugin->core.folders.xyPresetDir);
    const std::string xy = readAll(dir / "path");
    EXPECT_EQ(std::count(xy.begin(), xy.end(), '\n'), 283);
    EXPECT_TRUE(alerts().empty());
}

TEST_F(SectionPresetProcedures, CancelDoesNothingAndAFailedSaveSaysSo) {
    dialogs.pushFileCancel();
    EXPECT_FALSE(saveSectionPreset(*plugin, ARP_PRESET, section_tags::ARP_TAGS));
    dialogs.pushFileCancel();
    const std::vector<float> before = values(AMP);
    EXPECT_FALSE(loadSectionPreset(*plugin, ENV_PRESET, AMP));
    EXPECT_EQ(values(AMP), before);
    EXPECT_TRUE(alerts().empty());

    dialogs.pushFile((dir / "no such folder" / "x.arp").string());
    EXPECT_FALSE(saveSectionPreset(*plugin, ARP_PRESET, section_tags::ARP_TAGS));
    dialogs.pushFile((dir / "no such folder" / "x.mod").string());
    EXPECT_FALSE(saveSectionPreset(*plugin, MOD_PRESET, section_tags::MOD_ALL_TAGS));
    EXPECT_EQ(alerts(),
              (std::vector<std::string>{"Problem with Arp File", "Problem with Mod File"}));
}

TEST_F(SectionPresetProcedures, LoadAppliesInListOrderAndRefusesBadFilesWhole) {
    // The envelope file holds no envelope number: it loads into any envelope.
    dialogs.pushFile(presetFile("a.env", {"0.1", "0.2", "0.3", "0.4", "0.9"}).string());
    ASSERT_TRUE(loadSectionPreset(*plugin, ENV_PRESET, FILTER));
    EXPECT_EQ(values(FILTER), (std::vector<float>{0.1f, 0.2f, 0.3f, 0.4f}));
    const FileDialogRequest& request = dialogs.fileRequests.back();
    EXPECT_EQ(request.mode, FileDialogRequest::Mode::open);
    EXPECT_EQ(request.title, "Load Envelope Preset");
    EXPECT_EQ(request.initialFolder, plugin->core.folders.envelopePresetDir);

    // Three values, a missing file, a word that is no number: nothing changes.
    const std::vector<float> before = values(AMP);
    dialogs.pushFile(presetFile("short.env", {"0.1", "0.2", "0.3"}).string());
    EXPECT_FALSE(loadSectionPreset(*plugin, ENV_PRESET, AMP));
    dialogs.pushFile((dir / "gone.env").string());
    EXPECT_FALSE(loadSectionPreset(*plugin, ENV_PRESET, AMP));
    dialogs.pushFile(presetFile("word.env", {"0.1", "zero", "0.3", "0.4"}).string());
    EXPECT_FALSE(loadSectionPreset(*plugin, ENV_PRESET, AMP));
    EXPECT_EQ(values(AMP), before);
    EXPECT_EQ(alerts(), std::vector<std::string>(3, "Problem with Env file"));

    // Envelope values outside 0..1 are limited by the parameter itself.
    dialogs.pushFile(presetFile("wide.env", {"1.5", "-0.5", "0.3", "0.4"}).string());
    ASSERT_TRUE(loadSectionPreset(*plugin, ENV_PRESET, AMP));
    EXPECT_EQ(values(AMP), (std::vector<float>{1.0f, 0.0f, 0.3f, 0.4f}));
}

TEST_F(SectionPresetProcedures, ArpRefusesOutOfRangeValuesWhereModAndXYClamp) {
    std::vector<std::string> lines(166, "0.5");
    lines[20] = "1.5";
    const std::vector<float> arpBefore = values(section_tags::ARP_TAGS);
    dialogs.pushFile(presetFile("x.arp", lines).string());
    EXPECT_FALSE(loadSectionPreset(*plugin, ARP_PRESET, section_tags::ARP_TAGS,
                                   [](APlugin&) { /* never reached */ }));
    EXPECT_EQ(values(section_tags::ARP_TAGS), arpBefore);
    EXPECT_EQ(alerts(), std::vector<std::string>{"Problem with Arp file"});

    std::vector<std::string> mod(48, "0.25");
    mod[40] = "1.5";
    mod[41] = "-3";
    dialogs.pushFile(presetFile("x.mod", mod).string());
    static int afterCalls = 0;
    afterCalls = 0;
    ASSERT_TRUE(loadSectionPreset(*plugin, MOD_PRESET, section_tags::MOD_ALL_TAGS,
                                  [](APlugin&) { ++afterCalls; }));
    EXPECT_EQ(afterCalls, 1);
    EXPECT_EQ(plugin->getParameter(section_tags::MOD_ALL_TAGS[40]), 1.0f);
    EXPECT_EQ(plugin->getParameter(section_tags::MOD_ALL_TAGS[41]), 0.0f);
    EXPECT_EQ(dialogs.fileRequests.back().title, "Load Mod Matrix Preset");

    dialogs.pushFile(presetFile("bad.xy", {"0.5"}).string());
    EXPECT_FALSE(loadSectionPreset(*plugin, XY_PRESET, section_tags::XY_SECTION_TAGS));
    EXPECT_EQ(alerts().back(), "Problem with XY file");
}
