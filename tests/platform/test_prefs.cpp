// The preference store: strings, integers, switches and the controller map,
// the file on disk, the one-time copy from the any-user scope and the folders.
// Every test runs in its own temporary folder through ONDIX_PREFS_DIR.

#include "platform/prefs.h"

#include "core/aplugin.h"
#include "support/fake_host.h"
#include "support/processes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const std::string FILE_NAME = std::string(PREF_PATH_STR) + ".prefs";
const std::string LOCK_NAME = "." + FILE_NAME + ".lock";

// Sets (or unsets) an environment variable and restores it on destruction.
class EnvGuard {
public:
    explicit EnvGuard(const char* name) : name_(name) {
        if (const char* v = std::getenv(name)) previous_ = v;
    }
    ~EnvGuard() {
        if (previous_)
            ::setenv(name_, previous_->c_str(), 1);
        else
            ::unsetenv(name_);
    }
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;

    void set(const std::string& value) { ::setenv(name_, value.c_str(), 1); }
    void unset() { ::unsetenv(name_); }

private:
    const char* name_;
    std::optional<std::string> previous_;
};

std::string makeTempFolder() {
    std::string pattern = (fs::temp_directory_path() / "ondix-prefs-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const char* made = ::mkdtemp(buffer.data());
    return made ? std::string(made) : std::string();
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

std::vector<std::string> folderEntries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

std::string loadString(const std::string& key, int maxLen = 255) {
    std::string value = "untouched";
    loadStringFromPrefs(key, value, maxLen);
    return value;
}

// Every byte 1..255 once, then the separators of the file format again.
std::string allBytes() {
    std::string text;
    for (int b = 1; b < 256; ++b) text += static_cast<char>(b);
    return text;
}

class PrefsFixture : public ::testing::Test {
protected:
    void SetUp() override {
        folder = makeTempFolder();
        ASSERT_FALSE(folder.empty());
        redirect.set(folder);
        reloadPrefs();
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(folder, ec);
        // The guard restores the variable after this; forget this test's snapshot now.
        reloadPrefs();
    }
    ~PrefsFixture() override { reloadPrefs(); }

    fs::path ownFile() const { return fs::path(folder) / FILE_NAME; }
    fs::path anyUserFile() const { return fs::path(folder) / "any-user" / FILE_NAME; }

    void writeOwn(const std::string& content) {
        writeFile(ownFile(), content);
        reloadPrefs();
    }
    void writeAnyUser(const std::string& content) {
        writeFile(anyUserFile(), content);
        reloadPrefs();
    }

    EnvGuard redirect{"ONDIX_PREFS_DIR"};
    std::string folder;
};

class PrefsStrings : public PrefsFixture {};
class PrefsKinds : public PrefsFixture {};
class PrefsDisk : public PrefsFixture {};
class PrefsMigration : public PrefsFixture {};
class PrefsSwitches : public PrefsFixture {};
class PrefsMidiCC : public PrefsFixture {};
class PrefsFolders : public PrefsFixture {};
class PrefsLocale : public PrefsFixture {};
class PrefsProcesses : public PrefsFixture {};

} // namespace

// ------------------------------------------------------------------ strings

TEST_F(PrefsStrings, EveryByteAndTheFormatSeparatorsRoundTrip) {
    const std::string value = allBytes(); // 255 bytes, includes '=', '\n', '\\', 0x80..0xFF
    ASSERT_EQ(value.size(), 255u);
    const std::string key = "odd = key\\\n\xA5";
    saveStringToPrefs(key, value);
    EXPECT_EQ(loadString(key, 256), value);

    reloadPrefs();
    EXPECT_EQ(loadString(key, 256), value);

    // The file itself stays printable ASCII, one entry per line.
    const std::string text = readFile(ownFile());
    for (unsigned char c : text) EXPECT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7F)) << int(c);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2); // header and the one entry
}

TEST_F(PrefsStrings, SpacesAtTheEdgesAndEmptyValuesSurviveTheFile) {
    saveStringToPrefs(" spaced key ", "  two spaces both ends  ");
    saveStringToPrefs("", "empty key");
    saveStringToPrefs("EmptyValue", "");
    saveStringToPrefs("Folder", "/Applications/Haldmer/Ondix/XY Presets/");
    reloadPrefs();
    EXPECT_EQ(loadString(" spaced key "), "  two spaces both ends  ");
    EXPECT_EQ(loadString("spaced key"), "");
    EXPECT_EQ(loadString(""), "empty key");
    EXPECT_EQ(loadString("EmptyValue"), "");
    EXPECT_EQ(loadString("Folder"), "/Applications/Haldmer/Ondix/XY Presets/");
    // Ordinary text stays readable in the file.
    EXPECT_NE(readFile(ownFile()).find("s Folder = /Applications/Haldmer/Ondix/XY Presets/\n"),
              std::string::npos);
}

TEST_F(PrefsStrings, CharPointerTwinStoresTheSameValue) {
    saveStringToPrefs("Twin", "value");
    EXPECT_EQ(loadString("Twin"), "value");
    const char* nothing = nullptr;
    saveStringToPrefs("Twin", nothing);
    EXPECT_EQ(loadString("Twin"), "");
    saveStringToPrefs(nothing, "ignored"); // no key: nothing stored, no crash
    saveStringToPrefs(std::string("Twin"), std::string("again"));
    EXPECT_EQ(loadString("Twin"), "again");
}

TEST_F(PrefsStrings, AValueMustFitInMaxLenMinusOneBytes) {
    const std::string v126(126, 'a');
    const std::string v127(127, 'b');
    saveStringToPrefs("A", v126);
    saveStringToPrefs("B", v127);
    EXPECT_EQ(loadString("A", 127), v126);
    EXPECT_EQ(loadString("B", 127), ""); // does not fit: reads as missing
    EXPECT_EQ(loadString("B", 128), v127);
    EXPECT_EQ(loadString("A", 1), "");
    // A read that does not fit changes nothing on disk.
    reloadPrefs();
    EXPECT_EQ(loadString("B", 255), v127);
}

TEST_F(PrefsStrings, MaxLenAboveTheWorkingBufferIsClamped) {
    const std::string v255(255, 'c');
    const std::string v256(256, 'd');
    saveStringToPrefs("C", v255);
    saveStringToPrefs("D", v256);
    EXPECT_EQ(loadString("C", 300), v255);
    EXPECT_EQ(loadString("D", 300), ""); // 256 bytes never fit the 256-byte buffer
    EXPECT_EQ(loadString("D", INT_MAX), "");

    char buffer[400];
    std::fill(std::begin(buffer), std::end(buffer), 'Z');
    loadStringFromPrefs("D", buffer, 400);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[1], 'Z');
    loadStringFromPrefs("C", buffer, 400);
    EXPECT_EQ(std::string(buffer), v255);
    EXPECT_TRUE(std::all_of(buffer + 256, std::end(buffer), [](char c) { return c == 'Z'; }));
}

TEST_F(PrefsStrings, BufferFormWritesTheTerminatorAndStaysInsideMaxLen) {
    saveStringToPrefs("Short", "abc");
    char buffer[16];
    std::fill(std::begin(buffer), std::end(buffer), 'Z');
    loadStringFromPrefs("Short", buffer, 4);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(buffer[4], 'Z');

    std::fill(std::begin(buffer), std::end(buffer), 'Z');
    loadStringFromPrefs("Short", buffer, 3); // "abc" needs 4 bytes: missing
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[1], 'Z');

    std::fill(std::begin(buffer), std::end(buffer), 'Z');
    loadStringFromPrefs("Missing", buffer, 16);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[1], 'Z');
}

TEST_F(PrefsStrings, MaxLenBelowOneWritesNothing) {
    saveStringToPrefs("Short", "abc");
    char buffer[4] = {'Z', 'Z', 'Z', 'Z'};
    loadStringFromPrefs("Short", buffer, 0);
    loadStringFromPrefs("Short", buffer, -7);
    EXPECT_EQ(std::string(buffer, 4), "ZZZZ");
    EXPECT_EQ(loadString("Short", 0), "");
    EXPECT_EQ(loadString("Short", -1), "");
}

// -------------------------------------------------------------------- kinds

TEST_F(PrefsKinds, AStringReadsAsZeroInteger) {
    saveStringToPrefs("A4", "442");
    EXPECT_EQ(loadIntFromPrefs("A4"), 0);
    reloadPrefs();
    EXPECT_EQ(loadIntFromPrefs("A4"), 0);
}

TEST_F(PrefsKinds, AnIntegerReadsAsMissingString) {
    saveIntToPrefs("Keyboard", 1);
    EXPECT_EQ(loadString("Keyboard"), "");
    EXPECT_TRUE(getRegisterIsOn("Keyboard", true));
    EXPECT_FALSE(getRegisterIsOn("Keyboard", false));
    reloadPrefs();
    EXPECT_EQ(loadString("Keyboard"), "");
    EXPECT_EQ(loadIntFromPrefs("Keyboard"), 1);
}

TEST_F(PrefsKinds, TheLastWriteDecidesTheKind) {
    saveIntToPrefs("K", 5);
    saveStringToPrefs("K", "five");
    EXPECT_EQ(loadIntFromPrefs("K"), 0);
    EXPECT_EQ(loadString("K"), "five");
    saveIntToPrefs("K", 6);
    reloadPrefs();
    EXPECT_EQ(loadIntFromPrefs("K"), 6);
    EXPECT_EQ(loadString("K"), "");
}

TEST_F(PrefsKinds, IntegersKeepAllThirtyTwoBits) {
    for (int v : {0, 1, -1, 440, 17, INT_MAX, INT_MIN}) {
        saveIntToPrefs("N", v);
        reloadPrefs();
        EXPECT_EQ(loadIntFromPrefs("N"), v);
    }
    EXPECT_EQ(loadIntFromPrefs("Missing"), 0);
}

// ---------------------------------------------------------------- the file

TEST_F(PrefsDisk, AWriteIsOnDiskWhenTheCallReturnsWithoutLeftovers) {
    EXPECT_FALSE(fs::exists(ownFile()));
    saveBoolToPrefs(REG_KEYBOARD_STR, false);
    EXPECT_NE(readFile(ownFile()).find("s Keyboard = N\n"), std::string::npos);
    saveIntToPrefs(REG_MIDI_IN_CHANNEL_STR, 16);
    EXPECT_NE(readFile(ownFile()).find("i MIDIChannel = 16\n"), std::string::npos);
    saveStringToPrefs("Help", "/x/Manual.pdf");
    EXPECT_NE(readFile(ownFile()).find("s Help = /x/Manual.pdf\n"), std::string::npos);
    setMidiCC(7, 41);
    EXPECT_NE(readFile(ownFile()).find("i 7 = 41\n"), std::string::npos);

    // Only the preference file and its lock are left in the folder: no temporary files.
    EXPECT_EQ(folderEntries(folder), (std::vector<std::string>{LOCK_NAME, FILE_NAME}));

    reloadPrefs();
    EXPECT_FALSE(getRegisterIsOn(REG_KEYBOARD_STR, true));
    EXPECT_EQ(loadIntFromPrefs(REG_MIDI_IN_CHANNEL_STR), 16);
    EXPECT_EQ(loadString("Help"), "/x/Manual.pdf");
    EXPECT_EQ(getMidiCC(7), 41);
}

TEST_F(PrefsDisk, AFileEditedByHandIsReadAtTheNextRead) {
    saveStringToPrefs("Before", "x");
    writeFile(ownFile(), "s After = y\n");
    EXPECT_EQ(loadString("After"), "y");
    EXPECT_EQ(loadString("Before"), "");
}

TEST_F(PrefsDisk, TheFolderIsCreatedOnTheFirstWrite) {
    const std::string nested = folder + "/a/b/c/";
    redirect.set(nested);
    reloadPrefs();
    EXPECT_TRUE(saveIntToPrefsChecked("N", 3));
    EXPECT_TRUE(fs::is_regular_file(fs::path(folder) / "a/b/c" / FILE_NAME));
    EXPECT_FALSE(fs::exists(fs::path(folder) / "a/b/c/any-user")); // never created
}

TEST_F(PrefsDisk, AFailedWriteKeepsTheValueInMemory) {
    writeFile(fs::path(folder) / "plain-file", "not a folder");
    redirect.set(folder + "/plain-file/prefs");
    reloadPrefs();
    EXPECT_FALSE(saveStringToPrefsChecked("S", "kept"));
    EXPECT_FALSE(saveIntToPrefsChecked("I", 9));
    saveBoolToPrefs("B", true);
    setMidiCC(1, 2);
    EXPECT_EQ(loadString("S"), "kept");
    EXPECT_EQ(loadIntFromPrefs("I"), 9);
    EXPECT_TRUE(getRegisterIsOn("B", false));
    EXPECT_EQ(getMidiCC(1), 2);
}

TEST_F(PrefsDisk, ALaterSuccessfulWriteStoresEarlierValues) {
    const std::string blocked = folder + "/later";
    writeFile(blocked, "a file where the folder will be");
    redirect.set(blocked);
    reloadPrefs();
    EXPECT_FALSE(saveStringToPrefsChecked("First", "1"));
    fs::remove(blocked);
    EXPECT_TRUE(saveStringToPrefsChecked("Second", "2"));
    reloadPrefs();
    EXPECT_EQ(loadString("First"), "1");
    EXPECT_EQ(loadString("Second"), "2");
}

TEST_F(PrefsDisk, ASymbolicLinkToTheFileIsFollowed) {
    const fs::path real = fs::path(folder) / "dotfiles" / "ondix.prefs";
    writeFile(real, "s Kept = yes\n");
    fs::create_symlink(real, ownFile());
    reloadPrefs();
    EXPECT_EQ(loadString("Kept"), "yes");
    saveStringToPrefs("New", "value");
    EXPECT_TRUE(fs::is_symlink(ownFile()));
    const std::string text = readFile(real);
    EXPECT_NE(text.find("s Kept = yes\n"), std::string::npos);
    EXPECT_NE(text.find("s New = value\n"), std::string::npos);
    EXPECT_EQ(folderEntries(real.parent_path()), std::vector<std::string>{"ondix.prefs"});
}

TEST_F(PrefsDisk, GarbageLinesAreSkippedAndGoodLinesRead) {
    std::string text;
    text += "# a comment\n";
    text += "s Good = one\n";
    text += "complete garbage\n";
    text += "\x01\x02\xFF\xFE binary junk = \x80\n";
    text += "x Kind = unknown kind letter\n";
    text += "s NoSpaces=value\n";
    text += "s BadEscape = \\x4\n";
    text += "s BadEscape2 = \\q41\n";
    text += "s Bad\\xZZKey = v\n";
    text += "i Big = 99999999999\n";
    text += "i Trailing = 12x\n";
    text += "i Empty = \n";
    text += "i Plus = +5\n";
    text += "i Space =  5\n";
    text += "\n";
    text += "i Good2 = -42\n";
    text += "s Crlf = windows\r\n";
    text += "s Lower = \\x3d\\x0a\n";
    text += "s Bare =\n";
    text += "s Twice = first\n";
    text += "s Twice = second\n";
    text += "s Cut = /Applications/Hal"; // a last line without its line end
    writeOwn(text);

    EXPECT_EQ(loadString("Good"), "one");
    EXPECT_EQ(loadIntFromPrefs("Good2"), -42);
    EXPECT_EQ(loadString("Crlf"), "windows");
    EXPECT_EQ(loadString("Lower"), "=\n");
    EXPECT_EQ(loadString("Twice"), "second");
    EXPECT_EQ(loadString("Cut"), "/Applications/Hal");
    EXPECT_EQ(loadString("NoSpaces"), "");
    EXPECT_EQ(loadString("BadEscape"), "");
    EXPECT_EQ(loadString("BadEscape2"), "");
    EXPECT_EQ(loadString("Kind"), "");
    for (const char* key : {"Big", "Trailing", "Empty", "Plus", "Space"})
        EXPECT_EQ(loadIntFromPrefs(key), 0) << key;

    // The empty value "s Bare =" counts as a stored empty string: the next write keeps it.
    saveStringToPrefs("Fresh", "new");
    const std::string rewritten = readFile(ownFile());
    EXPECT_NE(rewritten.find("s Bare = \n"), std::string::npos);
    EXPECT_EQ(rewritten.find("garbage"), std::string::npos);
    reloadPrefs();
    EXPECT_EQ(loadString("Good"), "one");
    EXPECT_EQ(loadString("Fresh"), "new");
    EXPECT_EQ(loadString("Twice"), "second");
}

TEST_F(PrefsDisk, AHandEditedLastLineWithoutItsLineEndIsKept) {
    for (const char* text : {"i A4 = 432", "i 7 = 23\ni A4 = 432", "# mine\r\ni A4 = 432\r",
                             "s X = 1\n\ni A4 = 432"}) {
        SCOPED_TRACE(text);
        writeOwn(text);
        EXPECT_EQ(loadIntFromPrefs("A4"), 432);
        saveStringToPrefs("Other", "x");
        reloadPrefs();
        EXPECT_EQ(loadIntFromPrefs("A4"), 432);
        EXPECT_NE(readFile(ownFile()).find("i A4 = 432\n"), std::string::npos);
    }
}

TEST_F(PrefsDisk, ALargeFileIsReadWholeAndOneBeyondTheLimitIsNeverWrittenOver) {
    const std::string line = "# " + std::string(97, '-') + "\n";
    struct Case {
        std::size_t bytes; // about this size, padded with comment lines
        bool read;         // read whole; otherwise not read and never written over
    };
    for (const Case c : {Case{std::size_t{3} << 19, true}, Case{PREFS_MAX_FILE_BYTES + 1, false}}) {
        SCOPED_TRACE(c.bytes);
        std::string text = "i 7 = 23\n";
        while (text.size() + line.size() < c.bytes) text += line;
        text += "i A4 = 432\n";
        writeOwn(text);
        testing::internal::CaptureStderr();
        EXPECT_EQ(loadIntFromPrefs("A4"), c.read ? 432 : 0);
        EXPECT_EQ(saveIntToPrefsChecked("New", 1), c.read);
        EXPECT_EQ(saveIntToPrefsChecked("Newer", 2), c.read);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(loadIntFromPrefs("New") + loadIntFromPrefs("Newer"), 3); // in memory
        if (c.read) {
            EXPECT_EQ(said, "");
            reloadPrefs();
            EXPECT_EQ(getMidiCC(7) + loadIntFromPrefs("A4") + loadIntFromPrefs("Newer"), 457);
        } else {
            EXPECT_EQ(readFile(ownFile()), text);
            EXPECT_NE(prefsProblem().find("larger than"), std::string::npos);
            // Said once, on one line that names the file.
            EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
            EXPECT_NE(said.find(ownFile().string()), std::string::npos) << said;
        }
    }
}

TEST_F(PrefsDisk, AnEmptyOrMissingFileReadsAsNothing) {
    writeOwn("");
    EXPECT_EQ(loadString("Any"), "");
    EXPECT_EQ(loadIntFromPrefs("Any"), 0);
    fs::remove(ownFile());
    fs::create_directory(ownFile()); // a folder where the file should be
    reloadPrefs();
    EXPECT_EQ(loadString("Any"), "");
    EXPECT_FALSE(saveIntToPrefsChecked("Any", 1));
    EXPECT_EQ(loadIntFromPrefs("Any"), 1);
}

TEST_F(PrefsDisk, WritesFromSeveralThreadsAllArrive) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 10; ++i) {
                setMidiCC(t * 10 + i, t * 100 + i);
                (void)getRegisterIsOn(REG_MIDI_CAPTURE_STR, true);
                (void)getMidiCC(i);
            }
        });
    }
    for (auto& th : threads) th.join();
    reloadPrefs();
    for (int t = 0; t < 3; ++t)
        for (int i = 0; i < 10; ++i) EXPECT_EQ(getMidiCC(t * 10 + i), t * 100 + i);
    EXPECT_EQ(folderEntries(folder), (std::vector<std::string>{LOCK_NAME, FILE_NAME}));
}

// --------------------------------------------------------------- migration

TEST_F(PrefsMigration, AValueOnlyInTheAnyUserScopeIsCopiedToOwnAndDisk) {
    writeAnyUser("s SampleDir = /srv/samples/\n");
    EXPECT_FALSE(fs::exists(ownFile()));
    EXPECT_EQ(loadString("SampleDir"), "/srv/samples/");
    EXPECT_NE(readFile(ownFile()).find("s SampleDir = /srv/samples/\n"), std::string::npos);

    fs::remove(anyUserFile());
    reloadPrefs();
    EXPECT_EQ(loadString("SampleDir"), "/srv/samples/");
}

TEST_F(PrefsMigration, TheBufferFormMigratesToo) {
    writeAnyUser("s Tuning = /srv/tuning/\n");
    char buffer[256] = {};
    loadStringFromPrefs("Tuning", buffer, 127);
    EXPECT_STREQ(buffer, "/srv/tuning/");
    EXPECT_NE(readFile(ownFile()).find("s Tuning = /srv/tuning/\n"), std::string::npos);
}

TEST_F(PrefsMigration, AnEmptyAnyUserValueIsCopiedAsWell) {
    writeAnyUser("s Help = \n");
    EXPECT_EQ(loadString("Help"), "");
    EXPECT_NE(readFile(ownFile()).find("s Help = \n"), std::string::npos);
}

TEST_F(PrefsMigration, AnEmptyOwnValueIsReplacedByTheAnyUserValue) {
    writeOwn("s ECSDir = \n");
    writeAnyUser("s ECSDir = /srv/ecs/\n");
    EXPECT_EQ(loadString("ECSDir"), "/srv/ecs/");
    EXPECT_NE(readFile(ownFile()).find("s ECSDir = /srv/ecs/\n"), std::string::npos);
}

TEST_F(PrefsMigration, ANonEmptyOwnValueWins) {
    writeOwn("s ECSDir = /home/mine/\n");
    writeAnyUser("s ECSDir = /srv/theirs/\n");
    EXPECT_EQ(loadString("ECSDir"), "/home/mine/");
    EXPECT_EQ(readFile(ownFile()), "s ECSDir = /home/mine/\n"); // not rewritten
}

TEST_F(PrefsMigration, AnOwnValueOfTheWrongKindIsReplaced) {
    writeOwn("i Folder = 3\n");
    writeAnyUser("s Folder = /srv/\n");
    EXPECT_EQ(loadString("Folder"), "/srv/");
    EXPECT_EQ(loadIntFromPrefs("Folder"), 0);
}

TEST_F(PrefsMigration, IntegersNeverMigrate) {
    writeAnyUser("i A4 = 442\ni 5 = 300\n");
    EXPECT_EQ(loadIntFromPrefs("A4"), 0);
    EXPECT_EQ(getMidiCC(5), 0);
    EXPECT_EQ(loadString("A4"), ""); // not a string either
    EXPECT_FALSE(fs::exists(ownFile()));
}

TEST_F(PrefsMigration, AnAnyUserValueThatDoesNotFitIsNeitherReadNorCopied) {
    const std::string longValue(200, 'p');
    writeAnyUser("s Long = " + longValue + "\n");
    EXPECT_EQ(loadString("Long", 127), "");
    EXPECT_FALSE(fs::exists(ownFile()));
    EXPECT_EQ(loadString("Long", 255), longValue);
    EXPECT_TRUE(fs::exists(ownFile()));
}

TEST_F(PrefsMigration, SwitchesMigrateAndTheAnyUserFileIsNeverWritten) {
    const std::string anyText = "s Keyboard = N\ns ToolTip = Y\n";
    writeAnyUser(anyText);
    EXPECT_FALSE(getRegisterIsOn(REG_KEYBOARD_STR, true));
    EXPECT_NE(readFile(ownFile()).find("s Keyboard = N\n"), std::string::npos);
    saveBoolToPrefs(REG_TOOL_TIP_STR, false);
    EXPECT_FALSE(getRegisterIsOn(REG_TOOL_TIP_STR, true));
    EXPECT_EQ(readFile(anyUserFile()), anyText);
}

// ---------------------------------------------------------------- switches

TEST_F(PrefsSwitches, OnlyExactlyYAndNAreRead) {
    saveStringToPrefs("On", "Y");
    saveStringToPrefs("Off", "N");
    for (bool def : {false, true}) {
        EXPECT_TRUE(getRegisterIsOn("On", def));
        EXPECT_FALSE(getRegisterIsOn("Off", def));
        EXPECT_EQ(getRegisterIsOn("Missing", def), def);
        for (const char* text : {"y", "n", "Yes", "No", "", " Y", "Y ", "YN", "1", "true"}) {
            saveStringToPrefs("Other", text);
            EXPECT_EQ(getRegisterIsOn("Other", def), def) << '"' << text << '"';
        }
    }
}

TEST_F(PrefsSwitches, SaveBoolStoresYOrN) {
    saveBoolToPrefs(REG_DRAW_OSC_STR, true);
    saveBoolToPrefs(REG_OSC_OUT_STR, false);
    EXPECT_EQ(loadString(REG_DRAW_OSC_STR), "Y");
    EXPECT_EQ(loadString(REG_OSC_OUT_STR), "N");
    reloadPrefs();
    EXPECT_TRUE(getRegisterIsOn(REG_DRAW_OSC_STR, false));
    EXPECT_FALSE(getRegisterIsOn(REG_OSC_OUT_STR, true));
}

TEST_F(PrefsSwitches, ATooLongSwitchValueReadsAsTheDefault) {
    saveStringToPrefs("Long", std::string(127, 'Y'));
    EXPECT_TRUE(getRegisterIsOn("Long", true));
    EXPECT_FALSE(getRegisterIsOn("Long", false));
}

TEST_F(PrefsSwitches, SelectingAScreenSizeLeavesOnlyThatOneOn) {
    for (int i = 0; i < 4; ++i) saveBoolToPrefs(REG_SCREEN_SIZE[i], false);
    saveBoolToPrefs(REG_SCREEN_SIZE[2], true);
    reloadPrefs();
    int size = 0;
    for (int i = 0; i < 4; ++i)
        if (getRegisterIsOn(REG_SCREEN_SIZE[i], false)) size = i;
    EXPECT_EQ(size, 2);
    EXPECT_EQ(loadString("Big100"), "N");
    EXPECT_EQ(loadString("Big125"), "N");
    EXPECT_EQ(loadString("Big150"), "Y");
    EXPECT_EQ(loadString("Big200"), "N");
}

TEST_F(PrefsSwitches, KeyConstantsHaveTheirStoredNames) {
    EXPECT_STREQ(REG_PRESET_WARNING_STR, "PresetWarning");
    EXPECT_STREQ(REG_MIDI_PRESET_STR, "MIDIPreset");
    EXPECT_STREQ(REG_MIDI_BANK_STR, "MIDIBank");
    EXPECT_STREQ(REG_MIDI_CAPTURE_STR, "MIDICapture");
    EXPECT_STREQ(REG_MIDI_IN_CHANNEL_STR, "MIDIChannel");
    EXPECT_STREQ(REG_KEYBOARD_STR, "Keyboard");
    EXPECT_STREQ(REG_DRAG_AND_DROP_STR, "DragAndDrop");
    EXPECT_STREQ(REG_TOOL_TIP_STR, "ToolTip");
    EXPECT_STREQ(REG_DIAL_ANIMATION_STR, "Animation");
    EXPECT_STREQ(REG_DECAY_SUSTAIN_STR, "DecaySustain");
    EXPECT_STREQ(REG_ENV_STR, "EnvelopeShowKnobs");
    EXPECT_STREQ(REG_DRAW_OSC_STR, "DrawOsc");
    EXPECT_STREQ(REG_OSC_OUT_STR, "OscOut");
    EXPECT_STREQ(REG_SCREEN_SIZE[0], "Big100");
    EXPECT_STREQ(REG_SCREEN_SIZE[1], "Big125");
    EXPECT_STREQ(REG_SCREEN_SIZE[2], "Big150");
    EXPECT_STREQ(REG_SCREEN_SIZE[3], "Big200");
}

// ------------------------------------------------------ controller map

TEST_F(PrefsMidiCC, ControllerKeysAreDecimalWithoutLeadingZeros) {
    setMidiCC(5, 300);
    EXPECT_EQ(getMidiCC(5), 300);
    EXPECT_EQ(loadIntFromPrefs("5"), 300);
    EXPECT_EQ(loadIntFromPrefs("05"), 0);
    EXPECT_EQ(loadIntFromPrefs("005"), 0);
    EXPECT_NE(readFile(ownFile()).find("i 5 = 300\n"), std::string::npos);
}

TEST_F(PrefsMidiCC, AllControllersRoundTripThroughTheFile) {
    for (int n = 0; n < 128; ++n) setMidiCC(n, (n * 7) % 1024);
    reloadPrefs();
    for (int n = 0; n < 128; ++n) EXPECT_EQ(getMidiCC(n), (n * 7) % 1024) << n;
    const std::string text = readFile(ownFile());
    EXPECT_NE(text.find("i 0 = 0\n"), std::string::npos);
    EXPECT_NE(text.find("i 127 = 889\n"), std::string::npos);

    for (int n = 0; n < 128; ++n) setMidiCC(n, 0); // reset
    reloadPrefs();
    for (int n = 0; n < 128; ++n) EXPECT_EQ(getMidiCC(n), 0);
}

TEST_F(PrefsMidiCC, UnsetAndStringEntriesReadAsNone) {
    EXPECT_EQ(getMidiCC(64), 0);
    saveStringToPrefs("64", "41");
    EXPECT_EQ(getMidiCC(64), 0);
    setMidiCC(-1, 12); // not checked: key "-1"
    EXPECT_EQ(loadIntFromPrefs("-1"), 12);
}

// ----------------------------------------------------------------- folders

TEST_F(PrefsFolders, TheRedirectHoldsBothScopes) {
    EXPECT_EQ(prefsOwnFilePath(), folder + "/" + FILE_NAME);
    EXPECT_EQ(prefsAnyUserFilePath(), folder + "/any-user/" + FILE_NAME);
    redirect.set(folder + "//");
    reloadPrefs();
    EXPECT_EQ(prefsOwnFilePath(), folder + "/" + FILE_NAME);
}

TEST_F(PrefsFolders, TheDomainEndsInMakerCodeAndProduct) {
    const std::string domain = PREF_PATH_STR;
    EXPECT_GE(std::count(domain.begin(), domain.end(), '.'), 2);
    EXPECT_TRUE(domain.ends_with(".QVTZ.Ondix"));
}

TEST_F(PrefsFolders, WithoutRedirectTheXdgFoldersAreUsed) {
    EnvGuard configHome("XDG_CONFIG_HOME");
    EnvGuard configDirs("XDG_CONFIG_DIRS");
    configHome.set(folder + "/home-config");
    configDirs.set(folder + "/system:/etc/other");
    redirect.set(""); // set but empty counts as not set
    reloadPrefs();
    EXPECT_EQ(prefsOwnFilePath(), folder + "/home-config/Haldmer/" + FILE_NAME);
    EXPECT_EQ(prefsAnyUserFilePath(), folder + "/system/Haldmer/" + FILE_NAME);

    writeFile(fs::path(folder) / "system/Haldmer" / FILE_NAME, "s Shared = /srv/\n");
    reloadPrefs();
    EXPECT_EQ(loadString("Shared"), "/srv/");
    saveIntToPrefs("A4", 441);
    EXPECT_NE(readFile(fs::path(folder) / "home-config/Haldmer" / FILE_NAME).find("i A4 = 441\n"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(fs::path(folder) / FILE_NAME));
}

TEST_F(PrefsFolders, HomeAndEtcXdgAreTheFallbacks) {
    EnvGuard configHome("XDG_CONFIG_HOME");
    EnvGuard configDirs("XDG_CONFIG_DIRS");
    EnvGuard home("HOME");
    redirect.unset();
    configHome.unset();
    configDirs.unset();
    home.set(folder + "/home");
    reloadPrefs();
    EXPECT_EQ(prefsOwnFilePath(), folder + "/home/.config/Haldmer/" + FILE_NAME);
    EXPECT_EQ(prefsAnyUserFilePath(), "/etc/xdg/Haldmer/" + FILE_NAME);

    configHome.set("relative/config"); // not absolute: ignored
    configDirs.set("relative:/etc/other");
    reloadPrefs();
    EXPECT_EQ(prefsOwnFilePath(), folder + "/home/.config/Haldmer/" + FILE_NAME);
    EXPECT_EQ(prefsAnyUserFilePath(), "/etc/xdg/Haldmer/" + FILE_NAME);
}

// ------------------------------------------------------------------ locale

TEST_F(PrefsLocale, NumbersIgnoreTheHostsNumericLocale) {
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    const char* chosen = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"}) {
        if (std::setlocale(LC_ALL, name)) {
            chosen = name;
            break;
        }
    }
    if (!chosen) GTEST_SKIP() << "no locale with a decimal comma is installed";

    saveIntToPrefs("Big", 1234567);
    saveIntToPrefs("Negative", -2147483647);
    setMidiCC(100, 1000);
    const std::string text = readFile(ownFile());
    reloadPrefs();
    const int big = loadIntFromPrefs("Big");
    const int negative = loadIntFromPrefs("Negative");
    const int cc = getMidiCC(100);
    std::setlocale(LC_ALL, previous.c_str());

    EXPECT_NE(text.find("i Big = 1234567\n"), std::string::npos) << chosen;
    EXPECT_NE(text.find("i Negative = -2147483647\n"), std::string::npos);
    EXPECT_EQ(big, 1234567);
    EXPECT_EQ(negative, -2147483647);
    EXPECT_EQ(cc, 1000);
}

// --------------------------------------------------------------- processes

namespace {

struct Turn {
    bool child;
    std::function<void()> act;
};

// Runs the turns in order, the child's in a process forked now, so that both
// hold the store as it is: two plug-ins a host runs in processes of their own.
// True when the child ends well and passes check() after the last turn.
bool takeTurns(const std::vector<Turn>& turns, const std::function<bool()>& check) {
    int go[2], done[2];
    if (::pipe(go) != 0 || ::pipe(done) != 0) return false;
    char c = 't';
    const pid_t pid = ::fork();
    if (pid == 0) {
        for (const Turn& turn : turns) {
            if (!turn.child) continue;
            if (::read(go[0], &c, 1) != 1) ::_exit(2);
            turn.act();
            if (::write(done[1], &c, 1) != 1) ::_exit(2);
        }
        ::_exit(::read(go[0], &c, 1) == 1 && check() ? 0 : 1);
    }
    for (const Turn& turn : turns) {
        if (!turn.child)
            turn.act();
        else if (::write(go[1], &c, 1) != 1 || ::read(done[0], &c, 1) != 1)
            break;
    }
    const bool checked = ::write(go[1], &c, 1) == 1;
    for (int fd : {go[0], go[1], done[0], done[1]}) ::close(fd);
    int status = 1;
    return ::waitpid(pid, &status, 0) == pid && checked && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

} // namespace

namespace {

using Acts = std::vector<std::pair<std::function<bool()>, fs::path>>;

// Runs the acts together (runTogether), each with standard error sent to the
// file named beside it. True when every one exits with 0. Exit 77 (no way
// here to act as a user kept out of a file) sets skipped.
bool runProcesses(const Acts& acts, bool& skipped) {
    std::vector<std::function<int()>> bare;
    for (const auto& act : acts) bare.emplace_back([&act] { return act.first() ? 0 : 1; });
    const auto sayInto = [&acts](std::size_t i) {
        const int err =
            ::open(acts[i].second.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (err < 0 || ::dup2(err, 2) < 0) ::_exit(2);
    };
    bool ok = true;
    for (const int exit : runTogether(bare, {}, sayInto)) {
        if (exit == 77)
            skipped = true;
        else
            ok = ok && exit == 0;
    }
    return ok;
}

// Takes from this process for good the capabilities that let root read and
// search past file permissions, so that it meets a file of mode 000 as a
// user meets another user's private file. False when they cannot be taken.
bool dropPermissionOverride() {
    if (::geteuid() != 0) return true;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capget, &header, data) != 0) return false;
    const unsigned bits = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);
    data[0].effective &= ~bits;
    data[0].permitted &= ~bits;
    data[0].inheritable &= ~bits;
    return ::syscall(SYS_capset, &header, data) == 0;
}

// The lines of a text that hold every one of the given words.
int linesWith(const std::string& text, std::initializer_list<std::string> words) {
    std::istringstream lines(text);
    int count = 0;
    for (std::string line; std::getline(lines, line);)
        count += std::all_of(words.begin(), words.end(), [&](const std::string& w) {
            return line.find(w) != std::string::npos;
        });
    return count;
}

} // namespace

// The own file cannot be read in several ways. Each is told once, on one line
// naming the file, and the file is never written over; the values set
// meanwhile win for their own keys once it can be read again, the defaults
// written back at start-up yield to what it holds, and the rest is kept.
TEST_F(PrefsProcesses, AFileThatCannotBeReadIsToldOnceAndWhatWasSetMeanwhileIsSavedLater) {
    struct Case {
        const char* what;
        const char* reason;
        std::function<void(const fs::path&, const std::string&)> breakIt, mendIt;
    };
    const auto link = [](const fs::path& own, const fs::path& to) {
        fs::remove(own);
        fs::create_symlink(to, own);
    };
    const std::vector<Case> cases = {
        {"no permission", "Permission denied",
         [](const fs::path& own, const std::string& text) {
             writeFile(own, text);
             fs::permissions(own, fs::perms::none);
         },
         [](const fs::path& own, const std::string&) {
             fs::permissions(own, fs::perms::owner_read | fs::perms::owner_write);
         }},
        {"a link into a folder that cannot be entered", "Permission denied",
         [&](const fs::path& own, const std::string& text) {
             writeFile(own.parent_path() / "shut" / "real.prefs", text);
             link(own, "shut/real.prefs");
             fs::permissions(own.parent_path() / "shut", fs::perms::owner_write);
         },
         [](const fs::path& own, const std::string&) {
             fs::permissions(own.parent_path() / "shut", fs::perms::owner_all);
         }},
        {"a loop of links", "Too many levels of symbolic links",
         [&](const fs::path& own, const std::string&) {
             link(own, "loop");
             fs::create_symlink(own.filename(), own.parent_path() / "loop");
         },
         [&](const fs::path& own, const std::string& text) {
             fs::remove(own.parent_path() / "loop");
             writeFile(own.parent_path() / "loop", text);
         }},
    };
    const std::string before = "s ECSDir = /mine/ecs/\ni 7 = 23\ni A4 = 432\ni Kept = 1\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path dir = fs::path(folder) / c.what;
        const fs::path own = dir / FILE_NAME;
        const fs::path said = fs::path(folder) / (std::string(c.what) + ".txt");
        fs::create_directories(dir);
        c.breakIt(own, before);
        std::string failed;
        const auto check = [&](bool ok, const char* what) {
            if (!ok) failed += std::string(what) + "; ";
        };
        bool skipped = false;
        const bool ran = runProcesses(
            {{[&] {
                  if (!dropPermissionOverride() || ::access(own.c_str(), R_OK) == 0) ::_exit(77);
                  ::setenv("ONDIX_PREFS_DIR", dir.c_str(), 1);
                  reloadPrefs();
                  {
                      FakeHost host;
                      APlugin plugin(FakeHost::callback); // writes its folder keys back
                  }
                  setMidiCC(7, 99);
                  check(!saveIntToPrefsChecked(REG_A4_STR, 440), "a save is refused");
                  check(getMidiCC(7) == 99, "a value set lives in memory");
                  check(prefsProblem().find(c.reason) != std::string::npos, "the reason");
                  check(!takePrefsNotice().empty() && takePrefsNotice().empty(), "one notice");
                  c.mendIt(own, before);
                  check(saveIntToPrefsChecked("Later", 5), "saves resume");
                  check(getMidiCC(7) == 99 && loadIntFromPrefs(REG_A4_STR) == 440,
                        "what was set meanwhile stays");
                  std::ofstream(fs::path(folder) / "failures.txt") << failed;
                  return true;
              },
              said}},
            skipped);
        if (skipped) {
            std::cout << "[ SKIPPED  ] " << c.what << ": nothing here is kept from a file\n";
            continue;
        }
        ASSERT_TRUE(ran);
        EXPECT_EQ(readFile(fs::path(folder) / "failures.txt"), "");
        ::setenv("ONDIX_PREFS_DIR", dir.c_str(), 1);
        reloadPrefs();
        EXPECT_EQ(loadString("ECSDir"), "/mine/ecs/"); // the file's, not the default written back
        EXPECT_EQ(getMidiCC(7), 99);
        EXPECT_EQ(loadIntFromPrefs(REG_A4_STR), 440);
        EXPECT_EQ(loadIntFromPrefs("Kept") + loadIntFromPrefs("Later"), 6);
        EXPECT_NE(loadString("XYPresetDir"), ""); // a key the file lacked, written back
        const std::string text = readFile(said);
        EXPECT_EQ(linesWith(text, {"settings are kept in memory"}), 1) << text;
        EXPECT_EQ(linesWith(text, {own.string(), c.reason, "kept in memory"}), 1) << text;
        redirect.set(folder);
    }
}

TEST_F(PrefsProcesses, EachProcessKeepsTheOthersEntries) {
    const auto save = [](const char* key, int v) { return [=] { saveIntToPrefs(key, v); }; };
    const auto edit = [this] { writeFile(ownFile(), "i Kept = 5\n"); }; // Dropped by hand
    const auto erase = [this] { fs::remove(ownFile()); };
    struct Case {
        const char* what;
        std::vector<Turn> turns;
        std::vector<std::pair<const char*, int>> reads; // in both processes afterwards
        std::string file;                               // after the header
    };
    const std::vector<Case> cases = {
        {"child first",
         {{true, save("B", 2)}, {false, save("A", 1)}},
         {{"A", 1}, {"B", 2}},
         "i A = 1\ni B = 2\ni Dropped = 7\ni Kept = 5\n"},
        {"parent first",
         {{false, save("A", 1)}, {true, save("B", 2)}},
         {{"A", 1}, {"B", 2}},
         "i A = 1\ni B = 2\ni Dropped = 7\ni Kept = 5\n"},
        {"one key",
         {{false, save("A", 1)}, {true, save("A", 3)}},
         {{"A", 3}, {"Kept", 5}},
         "i A = 3\ni Dropped = 7\ni Kept = 5\n"},
        {"removed elsewhere",
         {{true, edit}, {false, save("A", 1)}},
         {{"A", 1}, {"Dropped", 0}},
         "i A = 1\ni Kept = 5\n"},
        {"deleted elsewhere",
         {{true, erase}, {false, save("A", 1)}, {true, save("B", 2)}},
         {{"A", 1}, {"B", 2}, {"Kept", 0}},
         "i A = 1\ni B = 2\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeOwn("i Kept = 5\ni Dropped = 7\n");
        ASSERT_EQ(loadIntFromPrefs("Dropped"), 7);
        const auto readsHold = [&] {
            return std::all_of(c.reads.begin(), c.reads.end(),
                               [](const auto& r) { return loadIntFromPrefs(r.first) == r.second; });
        };
        EXPECT_TRUE(takeTurns(c.turns, readsHold)) << "the child's view";
        EXPECT_TRUE(readsHold()) << "the parent's view";
        EXPECT_EQ(readFile(ownFile()), "# Ondix preferences\n" + c.file);
    }
}

TEST_F(PrefsProcesses, SavesAtTheSameTimeAllArrive) {
    std::vector<std::function<int()>> acts;
    for (int k = 0; k < 3; ++k)
        acts.emplace_back([k] {
            for (int i = 0; i < 30; ++i) setMidiCC(k * 30 + i, 100 + k * 30 + i);
            for (int tries = 0; !finishPrefsSaves(); ++tries)
                if (tries > 100) return 1;
            return 0;
        });
    EXPECT_EQ(runTogether(acts), std::vector<int>(3, 0));
    for (int n = 0; n < 90; ++n) EXPECT_EQ(getMidiCC(n), 100 + n) << n;
}

TEST_F(PrefsProcesses, AHeldLockKeepsTheSaveUntilItIsFreeAndAFolderInItsPlaceWritesAtOnce) {
    const fs::path lockFile = fs::path(folder) / LOCK_NAME;
    writeOwn("i Old = 1\n");
    const int holder = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0); // another process's save that lasts
    const auto secondsToSave = [](const char* key, bool written) {
        const auto begin = std::chrono::steady_clock::now();
        EXPECT_EQ(saveIntToPrefsChecked(key, 1), written) << key;
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    };
    // One short wait for the first save; the lock is then known to be busy and
    // later saves do not wait.
    double seconds = 0.0;
    for (const char* key : {"Held", "Second", "Third", "Fourth", "Fifth"})
        seconds += secondsToSave(key, false);
    EXPECT_LT(seconds, 0.6);
    EXPECT_EQ(readFile(ownFile()), "i Old = 1\n"); // never written without the lock
    EXPECT_EQ(loadIntFromPrefs("Held") + loadIntFromPrefs("Fifth"), 2);
    EXPECT_FALSE(retryPrefsSave());
    ::close(holder);
    EXPECT_TRUE(retryPrefsSave()); // the editor's next idle pass
    EXPECT_TRUE(retryPrefsSave());

    fs::remove(lockFile);
    fs::create_directory(lockFile); // locked read-only, with the folder: no waiting
    EXPECT_LT(secondsToSave("Unlockable", true), 0.5);
    reloadPrefs();
    for (const char* key : {"Old", "Held", "Second", "Fifth", "Unlockable"})
        EXPECT_EQ(loadIntFromPrefs(key), 1) << key;
}

namespace {

constexpr int CROWD_KEYS = 10;

std::string crowdKey(int p, int k) {
    return "P" + std::to_string(p) + "K" + std::to_string(k);
}

// Process p's keys, each to a value of its own; how many saves said they were made.
int saveCrowdKeys(int p) {
    int made = 0;
    for (int k = 0; k < CROWD_KEYS; ++k)
        made += saveIntToPrefsChecked(crowdKey(p, k), p * CROWD_KEYS + k + 1);
    return made;
}

// How many of the keys of `processes` processes the file in dir lacks.
int unsavedCrowdKeys(const fs::path& dir, int processes) {
    ::setenv("ONDIX_PREFS_DIR", dir.c_str(), 1);
    reloadPrefs();
    int lost = 0;
    for (int p = 0; p < processes; ++p)
        for (int k = 0; k < CROWD_KEYS; ++k)
            lost += loadIntFromPrefs(crowdKey(p, k)) != p * CROWD_KEYS + k + 1;
    return lost;
}

// Adds `processes` processes, p = 0, 1, ..., whose preferences are in dir;
// each runs act(p) there, with its standard error in dir/said/p.
void addCrowd(Acts& acts, const fs::path& dir, int processes,
              const std::function<bool(int p)>& act) {
    fs::create_directories(dir / "said");
    for (int p = 0; p < processes; ++p)
        acts.emplace_back(
            [dir, p, act] {
                ::setenv("ONDIX_PREFS_DIR", dir.c_str(), 1);
                return act(p);
            },
            dir / "said" / std::to_string(p));
}

} // namespace

TEST_F(PrefsProcesses, ManySavingAtOnceWhileTheLockIsHeldEndWithEveryNewValue) {
    constexpr int kProcesses = 32;
    std::string seed;
    for (int p = 0; p < kProcesses; ++p)
        for (int k = 0; k < CROWD_KEYS; ++k) seed += "i " + crowdKey(p, k) + " = 0\n";
    writeOwn(seed);
    const fs::path lockFile = fs::path(folder) / LOCK_NAME;
    const int holder = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);

    std::vector<std::function<int()>> acts;
    for (int p = 0; p < kProcesses; ++p)
        acts.emplace_back([p, holder] {
            ::close(holder);
            reloadPrefs();
            const auto begin = std::chrono::steady_clock::now();
            saveCrowdKeys(p);
            // A process waits for a held lock once, briefly.
            if (std::chrono::steady_clock::now() - begin > std::chrono::milliseconds(1500))
                return 3;
            // Idle passes until the entries are stored.
            for (int pass = 0; !retryPrefsSave(); ++pass) {
                if (pass > 6000) return 4;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            return 0;
        });
    EXPECT_EQ(runTogether(acts,
                          [&] {
                              // Longer than any wait a save might make before
                              // writing without the lock.
                              std::this_thread::sleep_for(std::chrono::milliseconds(2500));
                              EXPECT_EQ(readFile(ownFile()), seed);
                              ::close(holder);
                          }),
              std::vector<int>(kProcesses, 0));
    EXPECT_EQ(unsavedCrowdKeys(folder, kProcesses), 0);
}

namespace {

// Another process that holds the lock file from now on for the given time.
pid_t holdLockFile(const fs::path& lockFile, std::chrono::milliseconds time) {
    int ready[2];
    if (::pipe(ready) != 0) return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0 || ::flock(fd, LOCK_EX) != 0 || ::write(ready[1], "h", 1) != 1) ::_exit(1);
        std::this_thread::sleep_for(time);
        ::_exit(0);
    }
    char byte = 0;
    const bool held = ::read(ready[0], &byte, 1) == 1;
    ::close(ready[0]);
    ::close(ready[1]);
    return held ? pid : -1;
}

std::string allSaid(const fs::path& folder) {
    std::string text;
    for (const auto& e : fs::directory_iterator(folder)) text += readFile(e.path());
    return text;
}

std::vector<fs::path> ownLockFiles(const fs::path& dir);
// Holds the own lock file at `path`; the call it returns hands it on to a new
// holder each time a save here opens it, `times` times, and then lets go.
std::function<void()> holdOwnLock(const fs::path& path, int times) {
    const int opens = ::inotify_init1(IN_CLOEXEC);
    const auto hold = [path, opens](bool watched) { // a new file, locked, takes the name
        const std::string next = path.string() + ".next";
        const int fd = ::open(next.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (::flock(fd, LOCK_EX) != 0 ||
            (watched && ::inotify_add_watch(opens, next.c_str(), IN_OPEN) < 0) ||
            ::rename(next.c_str(), path.c_str()) != 0)
            ::_exit(5);
        return fd;
    };
    return [=, held = hold(false)]() mutable {
        ::inotify_add_watch(opens, path.c_str(), IN_OPEN);
        std::thread([=]() mutable {
            inotify_event event{}; // one at a time: those of a file have no name
            for (int i = 0; i < times && 0 < ::read(opens, &event, sizeof event);)
                if (event.mask & IN_OPEN) // not the end of the watch on one handed on
                    ::close(std::exchange(held, hold(true))), ++i;
            ::unlink(path.c_str());
            ::close(held);
        }).detach();
    };
}

} // namespace

// Plug-ins that close while the lock is busy: many closing at once, one that
// starts and closes while another process holds the lock for a while, and
// one whose lock stays held past the close's wait (only that one says which
// keys it could not store). The cases run side by side, each in a folder.
TEST_F(PrefsProcesses, PlugInsThatCloseWhileTheLockIsBusyStoreWhatWaits) {
    struct Case {
        const char* what;
        int processes;
        std::chrono::milliseconds held; // by another process from the start on
        bool stored;                    // else told on standard error
        int handedOn = 0; // times the lock outside the folder changes hands in the close's wait
    };
    using namespace std::chrono_literals;
    const std::vector<Case> cases = {
        {"32 closing at once", 32, 0ms, true},
        {"held 1.5 s", 1, 1500ms, true},
        {"held past the wait", 1, 60000ms, false},
        {"handed on 150 times", 1, 0ms, true, 150},
    };
    {
        FakeHost host; // the shared tables, built once for every process
        APlugin warm(FakeHost::callback);
    }
    Acts acts;
    std::vector<pid_t> holders;
    for (const Case& c : cases) {
        const fs::path dir = fs::path(folder) / c.what;
        addCrowd(acts, dir, c.processes, [dir, times = c.handedOn](int p) {
            reloadPrefs();
            FakeHost host;
            const auto handOn = times ? holdOwnLock(ownLockFiles(dir)[0], times) : [] {};
            APlugin plugin(FakeHost::callback); // writes its folder keys back
            saveCrowdKeys(p);
            handOn();
            return true; // the plug-in closes
        });
        if (c.held > 0ms) holders.push_back(holdLockFile(dir / LOCK_NAME, c.held));
    }
    ASSERT_EQ(std::count(holders.begin(), holders.end(), -1), 0);
    bool skipped = false;
    EXPECT_TRUE(runProcesses(acts, skipped));
    for (const pid_t holder : holders) {
        ::kill(holder, SIGKILL);
        ::waitpid(holder, nullptr, 0);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path dir = fs::path(folder) / c.what;
        const std::string said = allSaid(dir / "said");
        EXPECT_EQ(unsavedCrowdKeys(dir, c.processes), c.stored ? 0 : CROWD_KEYS);
        EXPECT_EQ(loadString("ECSDir").empty(), !c.stored);
        EXPECT_EQ(linesWith(said, {"not saved", "locked", "ECSDir", "P0K0", "P0K9"}),
                  c.stored ? 0 : 1)
            << said;
    }
}

// A plug-in closing while another process holds the lock waits for it on the
// host's thread that closes it; an instance opened meanwhile does not.
TEST_F(PrefsProcesses, AnInstanceOpensWhileAnotherClosesWaitingForTheLock) {
    FakeHost host;
    { APlugin warm(FakeHost::callback); } // the shared tables and the folder keys
    const pid_t holder = holdLockFile(fs::path(folder) / LOCK_NAME, std::chrono::seconds(60));
    ASSERT_GT(holder, 0);
    AEffect* closing = ondixPluginEntry(FakeHost::callback);
    ASSERT_NE(closing, nullptr);
    setMidiCC(5, 42); // learned there: waits for the lock
    std::atomic<bool> closed{false};
    std::thread closer([&] {
        closing->dispatcher(closing, effClose, 0, 0, nullptr, 0.0f);
        closed = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // the close is waiting
    const auto begin = std::chrono::steady_clock::now();
    AEffect* opened = ondixPluginEntry(FakeHost::callback);
    const std::chrono::duration<double> opening = std::chrono::steady_clock::now() - begin;
    const bool closeWasWaiting = !closed;
    ::kill(holder, SIGKILL); // the other process ends: the close stores what waits
    ::waitpid(holder, nullptr, 0);
    closer.join();
    ASSERT_NE(opened, nullptr);
    opened->dispatcher(opened, effClose, 0, 0, nullptr, 0.0f);
    EXPECT_TRUE(closeWasWaiting);
    EXPECT_LT(opening.count(), 1.0); // the close waits up to 5 s
    reloadPrefs();
    EXPECT_EQ(getMidiCC(5), 42);
}

namespace {

// The user's own lock files of the settings in dir, as the store names them.
std::vector<fs::path> ownLockFiles(const fs::path& dir) {
    struct stat st {};
    EXPECT_EQ(::stat(dir.c_str(), &st), 0);
    std::ostringstream name;
    name << "ondix-prefs-" << ::geteuid() << '-' << std::hex << st.st_dev << '-' << st.st_ino
         << ".lock";
    return {fs::path("/tmp") / name.str(), fs::path("/dev/shm") / name.str()};
}

// Another user's private file at f; false when it cannot be made here.
bool othersFile(const fs::path& f) {
    const uid_t other = ::geteuid() == 65534 ? 65533 : 65534;
    writeFile(f, "");
    return ::chmod(f.c_str(), 0600) == 0 && ::chown(f.c_str(), other, other) == 0;
}

} // namespace

// Locks that cannot be taken in the settings folder (a lock file that cannot
// be written; a shut folder and a lock file that cannot be opened), and the
// names outside it taken by others: saves still take turns and many at once
// lose nothing, whatever XDG_RUNTIME_DIR each process has, and what a killed
// save left goes; where nothing can be locked at all, each process says so
// once and no save counts as made. Root drops its permission overrides to
// meet the files as a user does; another user's file needs root to make.
TEST_F(PrefsProcesses, LocksThatCannotBeTakenInTheFolderStillKeepSavesInTurn) {
    constexpr int kProcesses = 32;
    struct Case {
        const char* what;
        std::function<bool(const fs::path& lockFile)> make; // false: cannot be made here
        bool shut = false;                                  // the folder is mode 0300
        int takenOutside = 0; // how many of the own lock files others took first
    };
    const auto dangling = [](const fs::path& f) {
        fs::create_symlink("nowhere", f);
        return true;
    };
    const std::vector<Case> cases = {
        {"a folder", [](const fs::path& f) { return fs::create_directory(f); }},
        {"read-only",
         [](const fs::path& f) {
             writeFile(f, "");
             return ::chmod(f.c_str(), 0400) == 0;
         }},
        {"another user's", othersFile},
        {"a loop of links",
         [](const fs::path& f) {
             fs::create_symlink(f.filename(), f);
             return true;
         }},
        {"shut folder", [](const fs::path&) { return true; }, true},
        {"shut folder, a dangling link", dangling, true},
        {"shut folder, another user's", othersFile, true},
        {"shut folder, one name outside taken", dangling, true, 1},
        {"nothing to lock", dangling, true, 2},
    };
    // Each process's XDG_RUNTIME_DIR, by p modulo 4: unset, a folder it
    // cannot write, a file, a folder of its own.
    const fs::path runtime = fs::path(folder) / "runtime";
    fs::create_directories(runtime / "shut");
    ::chmod((runtime / "shut").c_str(), 0500);
    writeFile(runtime / "file", "");
    Acts acts;
    bool skipped = false;
    std::vector<const Case*> made; // side by side, each in a folder
    std::vector<fs::path> taken, lockFiles;
    for (const Case& c : cases) {
        const fs::path dir = fs::path(folder) / c.what;
        fs::create_directory(dir);
        const std::vector<fs::path> own = ownLockFiles(dir);
        lockFiles.insert(lockFiles.end(), own.begin(), own.end());
        // Another user's file (where one cannot be made, a link to a file of
        // the user's) in /tmp, such a link in /dev/shm.
        for (int i = 0; i < c.takenOutside; ++i) {
            taken.push_back(own[i]);
            if (i == 0 && othersFile(own[i])) continue;
            fs::remove(own[i]);
            fs::create_symlink(runtime / "file", own[i]);
        }
        if (!c.make(dir / LOCK_NAME)) {
            std::cout << "[ SKIPPED  ] " << c.what << ": cannot be made here\n";
            continue;
        }
        addCrowd(acts, dir, kProcesses, [runtime, lockable = c.takenOutside < 2](int p) {
            if (!dropPermissionOverride()) ::_exit(77);
            const std::string mine = (runtime / std::to_string(p)).string();
            const char* runtimeDirs[] = {nullptr, "shut", "file", mine.c_str()};
            if (p % 4 == 0)
                ::unsetenv("XDG_RUNTIME_DIR");
            else
                ::setenv("XDG_RUNTIME_DIR", (runtime / runtimeDirs[p % 4]).c_str(), 1);
            fs::create_directory(mine);
            reloadPrefs();
            const bool madeNone = saveCrowdKeys(p) == 0;
            const bool toldOnce = !takePrefsNotice().empty() && takePrefsNotice().empty();
            return finishPrefsSaves() && toldOnce == !lockable && (lockable || madeNone);
        });
        if (c.shut) {
            ASSERT_EQ(::chmod(dir.c_str(), 0300), 0);
            Acts killed; // a save that the file size limit ends while it writes
            addCrowd(killed, dir, 1, [](int) {
                const rlimit size{4096, 4096}, core{0, 0};
                reloadPrefs();
                if (::signal(SIGXFSZ, SIG_DFL) != SIG_ERR && dropPermissionOverride() &&
                    ::setrlimit(RLIMIT_CORE, &core) == 0 && ::setrlimit(RLIMIT_FSIZE, &size) == 0)
                    saveStringToPrefs("Killed", std::string(8192, 'k'));
                return true;
            });
            runProcesses(killed, skipped);
        }
        made.push_back(&c);
    }
    EXPECT_TRUE(runProcesses(acts, skipped));
    for (const Case* c : made) ::chmod((fs::path(folder) / c->what).c_str(), 0700);
    for (const fs::path& f : taken) fs::remove(f);
    if (skipped) {
        std::cout << "[ SKIPPED  ] permissions cannot be dropped\n";
        return;
    }
    for (const Case* c : made) {
        SCOPED_TRACE(c->what);
        const fs::path dir = fs::path(folder) / c->what;
        const bool lockable = c->takenOutside < 2;
        if (lockable) {
            EXPECT_EQ(unsavedCrowdKeys(dir, kProcesses), 0) << allSaid(dir / "said");
        }
        for (int p = 0; p < kProcesses; ++p) {
            const std::string said = readFile(dir / "said" / std::to_string(p));
            EXPECT_EQ(linesWith(said, {"cannot be locked", dir.string()}), !lockable) << said;
        }
        int left = 0; // the lock file, and the killed save's temporary where no lock kept its name
        for (const std::string& e : folderEntries(dir)) left += e.starts_with("." + FILE_NAME);
        EXPECT_EQ(left, c->shut && !lockable ? 2 : 1);
    }
    // No lock file is left behind, and none was made where the environment points.
    for (const fs::path& f : lockFiles) EXPECT_FALSE(fs::exists(fs::symlink_status(f))) << f;
    for (int p = 3; p < kProcesses; p += 4)
        EXPECT_TRUE(fs::is_empty(runtime / std::to_string(p))) << p;
}
