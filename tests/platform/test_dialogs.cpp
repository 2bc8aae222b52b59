#include "platform/dialog_service.h"
#include "platform/dialogs.h"
#include "platform/modal_windows.h"
#include "platform/open_document.h"
#include "vstgui/cfileselector.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

// Every test talks to a scripted service that is installed for its duration.
class DialogsTest : public ::testing::Test {
protected:
    ScriptedDialogService script;
    ScopedDialogService installed{script};
};

// A 256-byte buffer holding text.
struct Buffer {
    explicit Buffer(const char* text = "") { std::snprintf(data, sizeof data, "%s", text); }
    char data[256];
    std::string str() const { return data; }
};

// "/" followed by (length - 1) bytes of folders and a file name.
std::string longPath(std::size_t length, const std::string& fileName = "x.env") {
    std::string path = "/";
    while (path.size() + fileName.size() + 1 < length) path += 'd';
    path += '/';
    path += fileName;
    while (path.size() < length) path.insert(1, "e");
    return path;
}

// A fresh folder under the test temporary folder, removed with its files.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = ::testing::TempDir() + "ondix-dialogs-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (::mkdtemp(name.data()) != nullptr) path = name.data();
    }
    ~TempFolder() {
        for (const std::string& file : files) ::unlink(file.c_str());
        if (!path.empty()) ::rmdir(path.c_str());
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string write(const std::string& name, const std::string& content, bool executable) {
        std::string file = path + "/" + name;
        if (FILE* f = std::fopen(file.c_str(), "wb")) {
            std::fputs(content.c_str(), f);
            std::fclose(f);
        }
        ::chmod(file.c_str(), executable ? 0755 : 0644);
        files.push_back(file);
        return file;
    }

    std::string path;

private:
    std::vector<std::string> files;
};

} // namespace

// ------------------------------------------------------------------ filters

TEST(DialogsFilter, SinglePatternGivesOneExtension) {
    EXPECT_EQ(extensionsFromFilter("*.tun"), (Strings{"tun"}));
    EXPECT_EQ(extensionsFromFilter("*.env"), (Strings{"env"}));
}

TEST(DialogsFilter, PatternsWithoutDotAddNothing) {
    EXPECT_EQ(extensionsFromFilter("*.wav; aiff; *.aif"), (Strings{"wav", "aif"}));
    EXPECT_EQ(extensionsFromFilter("aiff"), Strings{});
    EXPECT_EQ(extensionsFromFilter(""), Strings{});
}

TEST(DialogsFilter, EmptyExtensionsAreSkipped) {
    EXPECT_EQ(extensionsFromFilter("*."), Strings{});
    EXPECT_EQ(extensionsFromFilter("*.;*.x"), (Strings{"x"}));
    EXPECT_EQ(extensionsFromFilter("*.wav;*."), (Strings{"wav"}));
}

TEST(DialogsFilter, SearchResumesAtSemicolonOrInsideTheLastExtension) {
    // A dot inside an extension that a ';' ends is passed over ...
    EXPECT_EQ(extensionsFromFilter("*.a.b; *.c"), (Strings{"a.b", "c"}));
    // ... while in the last one the search goes on inside it.
    EXPECT_EQ(extensionsFromFilter("*.tar.gz"), (Strings{"tar.gz", "gz"}));
}

// ----------------------------------------------------------- save name tail

TEST(DialogsSaveName, FourByteTailIsAppendedOrReplacesTheExtension) {
    EXPECT_EQ(forceSaveExtension("/p/preset", "*.env"), "/p/preset.env");
    EXPECT_EQ(forceSaveExtension("/p/preset.txt", "*.env"), "/p/preset.env");
    EXPECT_EQ(forceSaveExtension("/x/a.old.txt", "*.env"), "/x/a.env");
    EXPECT_EQ(forceSaveExtension("/p/map", "Ondx.ecs"), "/p/map.ecs");
}

TEST(DialogsSaveName, OnlyTheFileNamePartCounts) {
    EXPECT_EQ(forceSaveExtension("/a.b/c", "*.uwv"), "/a.b/c.uwv");
    EXPECT_EQ(forceSaveExtension("name", "*.uwv"), "name.uwv");
}

TEST(DialogsSaveName, OtherTailsForceNothing) {
    EXPECT_EQ(forceSaveExtension("/p/path1", "*.xy"), "/p/path1");
    EXPECT_EQ(forceSaveExtension("/p/path1.txt", "*.xy"), "/p/path1.txt");
    EXPECT_EQ(forceSaveExtension("/p/a", "*.abcd"), "/p/a");
    EXPECT_EQ(forceSaveExtension("/p/a", "noext"), "/p/a");
    EXPECT_EQ(forceSaveExtension("/p/a", ""), "/p/a");
}

// -------------------------------------------------------------- open dialog

TEST_F(DialogsTest, OpenDialogRequestsWhatTheCallerGives) {
    Buffer folder, path;
    fileSelectLoadDir("Select Sample", "/samples/", "Load", "*.wav; aiff; *.aif", "spare",
                      folder.data, path.data);

    ASSERT_EQ(script.fileRequests.size(), 1u);
    const FileDialogRequest& request = script.fileRequests[0];
    EXPECT_EQ(request.mode, FileDialogRequest::Mode::open);
    EXPECT_EQ(request.title, "Select Sample");
    EXPECT_EQ(request.initialFolder, "/samples/");
    EXPECT_EQ(request.defaultSaveName, "");
    EXPECT_FALSE(request.allowMultiple);
    std::vector<FileDialogFilter> expected = {{"wav", "wav"}, {"aif", "aif"}};
    EXPECT_EQ(request.filters, expected);
    ASSERT_TRUE(request.defaultFilter.has_value());
    EXPECT_EQ(*request.defaultFilter, (FileDialogFilter{"aif", "aif"}));
}

TEST_F(DialogsTest, OpenDialogWithNullsSetsNothing) {
    Buffer folder, path;
    fileSelectLoadDir(nullptr, nullptr, nullptr, nullptr, nullptr, folder.data, path.data);
    ASSERT_EQ(script.fileRequests.size(), 1u);
    EXPECT_EQ(script.fileRequests[0].title, "");
    EXPECT_EQ(script.fileRequests[0].initialFolder, "");
    EXPECT_TRUE(script.fileRequests[0].filters.empty());
    EXPECT_FALSE(script.fileRequests[0].defaultFilter.has_value());
}

TEST_F(DialogsTest, OpenDialogGivesPathAndFolderWithSlash) {
    script.pushFile("/a/b/x.env");
    Buffer folder("old folder"), path("old path");
    fileSelectLoadDir("Load Env", "/a/", "Load", "*.env", nullptr, folder.data, path.data);
    EXPECT_EQ(path.str(), "/a/b/x.env");
    EXPECT_EQ(folder.str(), "/a/b/");
}

TEST_F(DialogsTest, OpenDialogCancelLeavesOutputsUntouched) {
    script.pushFileCancel();
    Buffer folder("old folder"), path("old path");
    fileSelectLoadDir("Load", "/a/", "Load", "*.env", nullptr, folder.data, path.data);
    EXPECT_EQ(folder.str(), "old folder");
    EXPECT_EQ(path.str(), "old path");
}

TEST_F(DialogsTest, OpenDialogWithSeveralFilesCountsAsCancel) {
    script.pushFiles({"/a/x.env", "/a/y.env"});
    Buffer folder("old folder"), path("old path");
    fileSelectLoadDir("Load", "/a/", "Load", "*.env", nullptr, folder.data, path.data);
    EXPECT_EQ(folder.str(), "old folder");
    EXPECT_EQ(path.str(), "old path");
}

TEST_F(DialogsTest, OpenDialogRefusesPathsLongerThan255Bytes) {
    std::string tooLong = longPath(256);
    ASSERT_EQ(tooLong.size(), 256u);
    script.pushFile(tooLong);
    Buffer folder("old folder"), path("old path");
    fileSelectLoadDir("Load", "/", "Load", "*.env", nullptr, folder.data, path.data);
    EXPECT_EQ(folder.str(), "old folder");
    EXPECT_EQ(path.str(), "old path");

    std::string fits = longPath(255);
    ASSERT_EQ(fits.size(), 255u);
    script.pushFile(fits);
    fileSelectLoadDir("Load", "/", "Load", "*.env", nullptr, folder.data, path.data);
    EXPECT_EQ(path.str(), fits);
    EXPECT_EQ(folder.str(), fits.substr(0, fits.rfind('/') + 1));
}

TEST_F(DialogsTest, OpenDialogPathWithoutFolderKeepsTheFolderOutput) {
    script.pushFile("x.env");
    Buffer folder("old folder"), path("old path");
    fileSelectLoadDir("Load", "/", "Load", "*.env", nullptr, folder.data, path.data);
    EXPECT_EQ(path.str(), "x.env");
    EXPECT_EQ(folder.str(), "old folder");

    script.pushFile("");
    fileSelectLoadDir("Load", "/", "Load", "*.env", nullptr, folder.data, path.data);
    EXPECT_EQ(path.str(), "");
    EXPECT_EQ(folder.str(), "old folder");
}

TEST_F(DialogsTest, OpenDialogStringFormKeepsTheSpareText) {
    script.pushFile("/tunings/just.tun");
    std::string spare = "spare text";
    std::string folder;
    std::string path;
    fileSelectLoadDirStr("Tuning Files", "/tunings", "Load", "*.tun", spare, folder, path);
    EXPECT_EQ(spare, "spare text");
    EXPECT_EQ(folder, "/tunings/");
    EXPECT_EQ(path, "/tunings/just.tun");
    ASSERT_EQ(script.fileRequests.size(), 1u);
    EXPECT_EQ(script.fileRequests[0].title, "Tuning Files");
    EXPECT_EQ(script.fileRequests[0].initialFolder, "/tunings");
    EXPECT_EQ(script.fileRequests[0].filters, (std::vector<FileDialogFilter>{{"tun", "tun"}}));
}

TEST_F(DialogsTest, OpenDialogStringFormCancelLeavesStringsAlone) {
    std::string spare(300, 's'); // longer than a buffer: still unchanged
    std::string folder = "keep folder";
    std::string path = "keep path";
    fileSelectLoadDirStr("Load", "/", "Load", "*.env", spare, folder, path);
    EXPECT_EQ(spare, std::string(300, 's'));
    EXPECT_EQ(folder, "keep folder");
    EXPECT_EQ(path, "keep path");
}

TEST_F(DialogsTest, OpenDialogStringFormCutsTheFilterToABuffer) {
    std::string filter(250, ' ');
    filter += "*.abc;*.def"; // ".abc" still fits into 255 bytes, ".def" does not
    std::string spare, folder, path;
    fileSelectLoadDirStr("Load", "/", "Load", filter, spare, folder, path);
    ASSERT_EQ(script.fileRequests.size(), 1u);
    EXPECT_EQ(script.fileRequests[0].filters, (std::vector<FileDialogFilter>{{"abc", "abc"}}));
}

// -------------------------------------------------------------- save dialog

TEST_F(DialogsTest, SaveDialogRequestsWhatTheCallerGives) {
    Buffer folder, path;
    fileSelectSaveDir("Save User Wave Preset", "/waves", "Save", "*.uwv", folder.data, path.data);
    ASSERT_EQ(script.fileRequests.size(), 1u);
    const FileDialogRequest& request = script.fileRequests[0];
    EXPECT_EQ(request.mode, FileDialogRequest::Mode::save);
    EXPECT_EQ(request.title, "Save User Wave Preset");
    EXPECT_EQ(request.initialFolder, "/waves");
    EXPECT_EQ(request.defaultSaveName, "*.uwv");
    EXPECT_TRUE(request.filters.empty());
    EXPECT_FALSE(request.allowMultiple);
}

TEST_F(DialogsTest, SaveDialogForcesTheDefaultExtension) {
    Buffer folder, path;
    script.pushFile("/p/preset");
    fileSelectSaveDir("Save", "/p", "Save", "*.env", folder.data, path.data);
    EXPECT_EQ(path.str(), "/p/preset.env");
    EXPECT_EQ(folder.str(), "/p");

    script.pushFile("/p/preset.txt");
    fileSelectSaveDir("Save", "/p", "Save", "*.env", folder.data, path.data);
    EXPECT_EQ(path.str(), "/p/preset.env");

    script.pushFile("/x/a.old.txt");
    fileSelectSaveDir("Save", "/x", "Save", "*.env", folder.data, path.data);
    EXPECT_EQ(path.str(), "/x/a.env");
    EXPECT_EQ(folder.str(), "/x");
}

TEST_F(DialogsTest, SaveDialogWithShortTailKeepsTheName) {
    Buffer folder, path;
    script.pushFile("/p/path1");
    fileSelectSaveDir("Save", "/p", "Save", "*.xy", folder.data, path.data);
    EXPECT_EQ(path.str(), "/p/path1");
    EXPECT_EQ(folder.str(), "/p");
}

TEST_F(DialogsTest, SaveDialogWithoutDefaultNameForcesNothing) {
    Buffer folder, path;
    script.pushFile("/p/name.txt");
    fileSelectSaveDir(nullptr, nullptr, nullptr, nullptr, folder.data, path.data);
    EXPECT_EQ(path.str(), "/p/name.txt");
    EXPECT_EQ(folder.str(), "/p");
    EXPECT_EQ(script.fileRequests[0].defaultSaveName, "");
}

TEST_F(DialogsTest, SaveDialogFolderLosesItsSlash) {
    Buffer folder, path;
    script.pushFile("/a/b/x.env");
    fileSelectSaveDir("Save", "/a", "Save", "*.env", folder.data, path.data);
    EXPECT_EQ(folder.str(), "/a/b");

    script.pushFile("/x.env");
    fileSelectSaveDir("Save", "/a", "Save", "*.env", folder.data, path.data);
    EXPECT_EQ(folder.str(), "");
    EXPECT_EQ(path.str(), "/x.env");
}

TEST_F(DialogsTest, SaveDialogCancelLeavesOutputsUntouched) {
    Buffer folder("old folder"), path("old path");
    script.pushFileCancel();
    fileSelectSaveDir("Save", "/p", "Save", "*.env", folder.data, path.data);
    EXPECT_EQ(folder.str(), "old folder");
    EXPECT_EQ(path.str(), "old path");
}

TEST_F(DialogsTest, SaveDialogRefusesPathsThatOutgrowABuffer) {
    Buffer folder("old folder"), path("old path");
    script.pushFile(longPath(256));
    fileSelectSaveDir("Save", "/", "Save", "*.xy", folder.data, path.data);
    EXPECT_EQ(path.str(), "old path");

    // Fits as chosen, but not once the extension is appended.
    std::string chosen = longPath(253, "name");
    ASSERT_EQ(chosen.size(), 253u);
    script.pushFile(chosen);
    fileSelectSaveDir("Save", "/", "Save", "*.env", folder.data, path.data);
    EXPECT_EQ(folder.str(), "old folder");
    EXPECT_EQ(path.str(), "old path");

    // Replacing a longer extension keeps it within the limit.
    std::string shortened = longPath(255, "name.longext");
    ASSERT_EQ(shortened.size(), 255u);
    script.pushFile(shortened);
    fileSelectSaveDir("Save", "/", "Save", "*.env", folder.data, path.data);
    EXPECT_EQ(path.str(), shortened.substr(0, shortened.size() - 8) + ".env");

    std::string fits = longPath(251, "name");
    script.pushFile(fits);
    fileSelectSaveDir("Save", "/", "Save", "*.env", folder.data, path.data);
    EXPECT_EQ(path.str(), fits + ".env");
    EXPECT_EQ(path.str().size(), 255u);
}

TEST_F(DialogsTest, SaveDialogStringForm) {
    std::string folder = "keep folder";
    std::string path = "keep path";
    fileSelectSaveDirStr("Save ECS", "/maps", "Save", "Ondx.ecs", folder, path);
    EXPECT_EQ(folder, "keep folder");
    EXPECT_EQ(path, "keep path");

    script.pushFile("/maps/mine.txt");
    fileSelectSaveDirStr("Save ECS", "/maps", "Save", "Ondx.ecs", folder, path);
    EXPECT_EQ(folder, "/maps");
    EXPECT_EQ(path, "/maps/mine.ecs");
    EXPECT_EQ(script.fileRequests.back().defaultSaveName, "Ondx.ecs");
}

// ------------------------------------------------------------ file selector

TEST_F(DialogsTest, SelectorForwardsEverythingToTheService) {
    using namespace VSTGUI;
    CNewFileSelector* selector = CNewFileSelector::create(nullptr, CNewFileSelector::kSelectFile);
    ASSERT_NE(selector, nullptr);
    EXPECT_EQ(selector->getNbReference(), 1);
    selector->setTitle("Title");
    selector->setInitialDirectory("/start");
    CFileExtension wav("Wave files", "wav", "audio/wav", 0x57415645,
                       "com.microsoft.waveform-audio");
    selector->addFileExtension(wav);
    selector->setDefaultExtension(wav);
    selector->setAllowMultiFileSelection(true);
    EXPECT_EQ(selector->getNumSelectedFiles(), 0u);

    script.pushFiles({"/start/a.wav", "/start/b.wav"});
    EXPECT_TRUE(selector->runModal());
    EXPECT_EQ(selector->getNumSelectedFiles(), 2u);
    EXPECT_STREQ(selector->getSelectedFile(0), "/start/a.wav");
    EXPECT_STREQ(selector->getSelectedFile(1), "/start/b.wav");
    EXPECT_EQ(selector->getSelectedFile(2), nullptr);

    ASSERT_EQ(script.fileRequests.size(), 1u);
    const FileDialogRequest& request = script.fileRequests[0];
    EXPECT_EQ(request.mode, FileDialogRequest::Mode::open);
    EXPECT_EQ(request.title, "Title");
    EXPECT_EQ(request.initialFolder, "/start");
    EXPECT_TRUE(request.allowMultiple);
    EXPECT_EQ(request.filters, (std::vector<FileDialogFilter>{{"Wave files", "wav"}}));
    ASSERT_NE(selector->getDefaultExtension(), nullptr);
    EXPECT_EQ(*selector->getDefaultExtension(), wav);
    EXPECT_EQ(selector->getDefaultExtension()->getMacType(), 0x57415645);
    EXPECT_EQ(selector->getDefaultExtension()->getUTI(), "com.microsoft.waveform-audio");

    // Cancel replaces the earlier selection.
    EXPECT_FALSE(selector->runModal());
    EXPECT_EQ(selector->getNumSelectedFiles(), 0u);
    EXPECT_EQ(selector->getSelectedFile(0), nullptr);

    selector->remember();
    EXPECT_EQ(selector->getNbReference(), 2);
    selector->forget();
    EXPECT_EQ(selector->getNbReference(), 1);
    selector->forget();
}

TEST_F(DialogsTest, SelectorStyles) {
    using namespace VSTGUI;
    CNewFileSelector* save = CNewFileSelector::create(nullptr, CNewFileSelector::kSelectSaveFile);
    ASSERT_NE(save, nullptr);
    EXPECT_EQ(save->getStyle(), CNewFileSelector::kSelectSaveFile);
    EXPECT_FALSE(save->getAllowMultiFileSelection());
    EXPECT_EQ(save->getDefaultExtension(), nullptr);
    save->setDefaultSaveName("*.env");
    save->runModal();
    save->forget();

    CNewFileSelector* folder =
        CNewFileSelector::create(nullptr, CNewFileSelector::kSelectDirectory);
    ASSERT_NE(folder, nullptr);
    folder->runModal();
    folder->forget();

    ASSERT_EQ(script.fileRequests.size(), 2u);
    EXPECT_EQ(script.fileRequests[0].mode, FileDialogRequest::Mode::save);
    EXPECT_EQ(script.fileRequests[0].defaultSaveName, "*.env");
    EXPECT_EQ(script.fileRequests[1].mode, FileDialogRequest::Mode::folder);
}

// --------------------------------------------------------------- input boxes

TEST_F(DialogsTest, InputBoxTakesPromptThenTitle) {
    Buffer text("initial");
    script.pushText("typed");
    inputBox(std::string("0 to 100%"), std::string("Volume"), text.data);
    EXPECT_EQ(text.str(), "typed");
    ASSERT_EQ(script.textRequests.size(), 1u);
    EXPECT_EQ(script.textRequests[0].title, "Volume");
    EXPECT_EQ(script.textRequests[0].prompt, "0 to 100%");
    EXPECT_EQ(script.textRequests[0].initialText, "initial");

    script.pushText("second");
    inputBox("prompt", "title", text.data);
    EXPECT_EQ(text.str(), "second");
    EXPECT_EQ(script.textRequests[1].title, "title");
    EXPECT_EQ(script.textRequests[1].prompt, "prompt");
    EXPECT_EQ(script.textRequests[1].initialText, "typed");
}

TEST_F(DialogsTest, InputBoxCancelGivesEmptyText) {
    Buffer text("initial");
    script.pushTextCancel();
    inputBox("prompt", "title", text.data);
    EXPECT_EQ(text.str(), "");
}

TEST_F(DialogsTest, InputBoxAcceptsAnEmptiedField) {
    Buffer text("initial");
    script.pushText("");
    inputBox("prompt", "title", text.data);
    EXPECT_EQ(text.str(), "");
}

TEST_F(DialogsTest, RunInputWindowTakesTitleThenPrompt) {
    Buffer text("x");
    script.pushText("y");
    runInputWindow("The Title", "The Prompt", text.data);
    EXPECT_EQ(text.str(), "y");
    EXPECT_EQ(script.textRequests[0].title, "The Title");
    EXPECT_EQ(script.textRequests[0].prompt, "The Prompt");

    runInputWindow(nullptr, nullptr, nullptr); // nothing to fill: no dialog
    EXPECT_EQ(script.textRequests.size(), 1u);
    runInputWindow(nullptr, nullptr, text.data);
    EXPECT_EQ(script.textRequests[1].title, "");
    EXPECT_EQ(script.textRequests[1].prompt, "");
}

TEST_F(DialogsTest, LongAnswersAreCutToTheBuffer) {
    Buffer text;
    script.pushText(std::string(400, 'a'));
    inputBox("p", "t", text.data);
    EXPECT_EQ(text.str(), std::string(255, 'a'));

    // A two-byte character across the limit is left out whole.
    script.pushText(std::string(254, 'a') + "\xC3\xA9" + "tail");
    inputBox("p", "t", text.data);
    EXPECT_EQ(text.str(), std::string(254, 'a'));

    // One that ends exactly at the limit stays.
    script.pushText(std::string(253, 'a') + "\xC3\xA9" + "tail");
    inputBox("p", "t", text.data);
    EXPECT_EQ(text.str(), std::string(253, 'a') + "\xC3\xA9");
}

TEST_F(DialogsTest, InitialTextIsReadWithinTheBuffer) {
    char text[256];
    std::memset(text, 'z', sizeof text); // no terminator at all
    script.pushTextCancel();
    inputBox("p", "t", text);
    EXPECT_EQ(script.textRequests[0].initialText, std::string(255, 'z'));
    EXPECT_EQ(std::string(text), "");
}

TEST_F(DialogsTest, InputBoxStrStartsEmpty) {
    std::string text = "previous";
    script.pushText("Warm Pad");
    inputBoxStr("Preset Name", "Save", text);
    EXPECT_EQ(text, "Warm Pad");
    EXPECT_EQ(script.textRequests[0].initialText, "");
    EXPECT_EQ(script.textRequests[0].prompt, "Preset Name");
    EXPECT_EQ(script.textRequests[0].title, "Save");

    inputBoxStr("Preset Name", "Save", text); // nothing queued: cancel
    EXPECT_EQ(text, "");
}

TEST_F(DialogsTest, InputBoxStrCutsPromptAndTitle) {
    std::string text;
    inputBoxStr(std::string(300, 'p'), std::string(300, 't'), text);
    EXPECT_EQ(script.textRequests[0].prompt, std::string(255, 'p'));
    EXPECT_EQ(script.textRequests[0].title, std::string(255, 't'));
}

// ------------------------------------------------------------ numeric input

TEST(DialogsParse, LeadingInteger) {
    int value = 99;
    EXPECT_TRUE(parseLeadingInt("42", value));
    EXPECT_EQ(value, 42);
    EXPECT_TRUE(parseLeadingInt("007", value));
    EXPECT_EQ(value, 7);
    EXPECT_TRUE(parseLeadingInt("12.7", value));
    EXPECT_EQ(value, 12);
    EXPECT_TRUE(parseLeadingInt("3-4", value));
    EXPECT_EQ(value, 3);
    EXPECT_TRUE(parseLeadingInt("-5", value));
    EXPECT_EQ(value, -5);
    EXPECT_TRUE(parseLeadingInt("+5", value));
    EXPECT_EQ(value, 5);
    EXPECT_TRUE(parseLeadingInt("2147483647", value));
    EXPECT_EQ(value, INT_MAX);
    EXPECT_TRUE(parseLeadingInt("-2147483648", value));
    EXPECT_EQ(value, INT_MIN);
}

TEST(DialogsParse, NoLeadingIntegerLeavesTheValue) {
    int value = 99;
    for (const char* text : {"", "+", "-", ".5", "+-5", "--5", "-.5", "2147483648", "-2147483649",
                             "99999999999999999999"}) {
        EXPECT_FALSE(parseLeadingInt(text, value)) << text;
        EXPECT_EQ(value, 99) << text;
    }
}

TEST_F(DialogsTest, NumericInputReadsTheLeadingNumber) {
    std::string text;
    int value = 0;
    script.pushText(" 42 ");
    EXPECT_TRUE(inputBoxNumStr("1 to 127", "MIDI CC", text, 1, 127, value));
    EXPECT_EQ(value, 42);
    EXPECT_EQ(text, "42");
    EXPECT_EQ(script.textRequests[0].prompt, "1 to 127");
    EXPECT_EQ(script.textRequests[0].title, "MIDI CC");
    EXPECT_EQ(script.textRequests[0].initialText, "");

    script.pushText("007");
    EXPECT_TRUE(inputBoxNumStr("p", "t", text, 0, 10, value));
    EXPECT_EQ(value, 7);

    script.pushText("MIDI CC 7");
    EXPECT_TRUE(inputBoxNumStr("p", "t", text, 0, 127, value));
    EXPECT_EQ(value, 7);
    EXPECT_EQ(text, "7");

    script.pushText("12.7 Hz");
    EXPECT_TRUE(inputBoxNumStr("p", "t", text, 0, 127, value));
    EXPECT_EQ(value, 12);

    script.pushText("-5");
    EXPECT_TRUE(inputBoxNumStr("p", "t", text, -10, 10, value));
    EXPECT_EQ(value, -5);
}

TEST_F(DialogsTest, NumericInputOutsideTheRangeIsStoredButFalse) {
    std::string text;
    int value = 0;
    script.pushText("500");
    EXPECT_FALSE(inputBoxNumStr("p", "t", text, 400, 480, value));
    EXPECT_EQ(value, 500);
    script.pushText("400");
    EXPECT_TRUE(inputBoxNumStr("p", "t", text, 400, 480, value));
    script.pushText("480");
    EXPECT_TRUE(inputBoxNumStr("p", "t", text, 400, 480, value));
    script.pushText("-1");
    EXPECT_FALSE(inputBoxNumStr("p", "t", text, 0, 10, value));
    EXPECT_EQ(value, -1);
}

TEST_F(DialogsTest, NumericInputWithoutANumberGivesMinusOne) {
    std::string text;
    int value = 0;
    for (const char* answer :
         {"letters only", "", ".5", "+-3", "-", "a.b.c", "99999999999999", "-99999999999999"}) {
        value = 0;
        script.pushText(answer);
        // Even when -1 lies in the range the answer is false.
        EXPECT_FALSE(inputBoxNumStr("p", "t", text, -10, 10, value)) << answer;
        EXPECT_EQ(value, -1) << answer;
    }
    script.pushText("letters only");
    inputBoxNumStr("p", "t", text, 0, 10, value);
    EXPECT_EQ(text, "");
}

TEST_F(DialogsTest, NumericInputCancel) {
    std::string text = "previous";
    int value = 5;
    script.pushTextCancel();
    EXPECT_FALSE(inputBoxNumStr("p", "t", text, 0, 10, value));
    EXPECT_EQ(value, -1);
    EXPECT_EQ(text, "");
}

// -------------------------------------------------------------- message box

TEST_F(DialogsTest, EmptyMessageShowsNothing) {
    script.pushAlertAnswer(ALERT_DEFAULT);
    EXPECT_EQ(messageBox("", MESSAGE_BOX_OK), MESSAGE_BOX_NONE);
    EXPECT_TRUE(script.alertRequests.empty());
}

TEST_F(DialogsTest, MessageBoxOkOnly) {
    script.pushAlertAnswer(ALERT_DEFAULT);
    EXPECT_EQ(messageBox("Problem with ECS File", 2), 1);
    ASSERT_EQ(script.alertRequests.size(), 1u);
    EXPECT_EQ(script.alertRequests[0].header, "Problem with ECS File");
    EXPECT_EQ(script.alertRequests[0].message, "");
    EXPECT_EQ(script.alertRequests[0].defaultButton, "OK");
    EXPECT_EQ(script.alertRequests[0].alternateButton, "");

    // Every type but 1 shows the default button only.
    messageBox("x", 0);
    messageBox("x", 3);
    messageBox("x", -1);
    for (const AlertRequest& request : script.alertRequests) EXPECT_EQ(request.alternateButton, "");
}

TEST_F(DialogsTest, MessageBoxWithCancel) {
    script.pushAlertAnswer(ALERT_ALTERNATE);
    EXPECT_EQ(messageBox("Really?", 1), 2);
    EXPECT_EQ(script.alertRequests[0].alternateButton, "Cancel");

    script.pushAlertAnswer(ALERT_DEFAULT);
    EXPECT_EQ(messageBox("Really?", 1), 1);
}

TEST_F(DialogsTest, MessageBoxDismissedOrOddAnswersGiveZero) {
    script.pushAlertAnswer(ALERT_DISMISSED);
    EXPECT_EQ(messageBox("text", 1), 0);
    script.pushAlertAnswer(7);
    EXPECT_EQ(messageBox("text", 1), 0);
    EXPECT_EQ(messageBox("text", 1), 0); // nothing queued
}

// ----------------------------------------------------------------- headless

TEST(DialogsHeadless, EverythingIsCancelled) {
    HeadlessDialogService headless;
    ScopedDialogService installed(headless);

    Buffer folder("old folder"), path("old path");
    fileSelectLoadDir("Load", "/", "Load", "*.env", nullptr, folder.data, path.data);
    fileSelectSaveDir("Save", "/", "Save", "*.env", folder.data, path.data);
    EXPECT_EQ(folder.str(), "old folder");
    EXPECT_EQ(path.str(), "old path");

    Buffer text("initial");
    inputBox("p", "t", text.data);
    EXPECT_EQ(text.str(), "");

    std::string numberText;
    int value = 3;
    EXPECT_FALSE(inputBoxNumStr("p", "t", numberText, 0, 10, value));
    EXPECT_EQ(value, -1);

    EXPECT_EQ(messageBox("Problem with Env file", 2), 0);
    EXPECT_EQ(messageBox("Sure?", 1), 0);
}

TEST(DialogsService, ScopedServiceRestoresThePreviousOne) {
    ScriptedDialogService outer;
    ScriptedDialogService inner;
    setDialogService(&outer);
    {
        ScopedDialogService installed(inner);
        EXPECT_EQ(&dialogService(), &inner);
    }
    EXPECT_EQ(&dialogService(), &outer);
    setDialogService(nullptr);
    EXPECT_NE(&dialogService(), &outer);
}

TEST(DialogsService, DefaultBackendNeedsADisplayAndZenity) {
    TempFolder bin;
    ASSERT_FALSE(bin.path.empty());
    TempFolder empty;
    bin.write("zenity", "#!/bin/sh\nexit 0\n", true);
    const std::string withZenity = empty.path + ":" + bin.path;

    EXPECT_EQ(pickDialogBackend(nullptr, nullptr, withZenity.c_str()), DialogBackend::headless);
    EXPECT_EQ(pickDialogBackend("", "", withZenity.c_str()), DialogBackend::headless);
    EXPECT_EQ(pickDialogBackend(":0", nullptr, withZenity.c_str()), DialogBackend::zenity);
    EXPECT_EQ(pickDialogBackend(nullptr, "wayland-0", withZenity.c_str()), DialogBackend::zenity);
    EXPECT_EQ(pickDialogBackend(":0", nullptr, empty.path.c_str()), DialogBackend::missingZenity);
}

TEST(DialogsService, OnlyExecutableFilesAreFound) {
    TempFolder bin;
    ASSERT_FALSE(bin.path.empty());
    std::string tool = bin.write("tool", "#!/bin/sh\n", true);
    bin.write("plain", "text\n", false);
    EXPECT_EQ(findExecutableOnPath("tool", "/nonexistent::" + bin.path), tool);
    EXPECT_EQ(findExecutableOnPath("plain", bin.path), "");
    EXPECT_EQ(findExecutableOnPath("missing", bin.path), "");
    EXPECT_EQ(findExecutableOnPath(tool, ""), tool);
    EXPECT_EQ(findExecutableOnPath("", bin.path), "");
    // A folder is not a program.
    EXPECT_EQ(findExecutableOnPath(bin.path.substr(bin.path.rfind('/') + 1),
                                   bin.path.substr(0, bin.path.rfind('/'))),
              "");
}

// ------------------------------------------------------------------- zenity

TEST(DialogsZenity, OpenArguments) {
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::open;
    request.title = "Select Sample";
    request.initialFolder = "/home/me/Samples";
    request.filters = {{"wav", "wav"}, {"aif", "aif"}};
    request.defaultFilter = FileDialogFilter{"aif", "aif"};
    EXPECT_EQ(zenityFileSelectionArgs(request),
              (Strings{"--file-selection", "--title=Select Sample", "--filename=/home/me/Samples/",
                       "--file-filter=wav, aif | *.[wW][aA][vV] *.[aA][iI][fF]"}));

    request.initialFolder = "/home/me/Samples/";
    request.filters = {{"x1", "x1"}};
    request.title.clear();
    EXPECT_EQ(zenityFileSelectionArgs(request),
              (Strings{"--file-selection", "--filename=/home/me/Samples/",
                       "--file-filter=x1 | *.[xX]1"}));
}

TEST(DialogsZenity, SaveArguments) {
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::save;
    request.title = "Save Env";
    request.initialFolder = "/presets/Env";
    request.defaultSaveName = "*.env";
    EXPECT_EQ(zenityFileSelectionArgs(request),
              (Strings{"--file-selection", "--save", "--confirm-overwrite", "--title=Save Env",
                       "--filename=/presets/Env/*.env"}));

    request.initialFolder.clear();
    EXPECT_EQ(zenityFileSelectionArgs(request),
              (Strings{"--file-selection", "--save", "--confirm-overwrite", "--title=Save Env",
                       "--filename=*.env"}));

    request.defaultSaveName.clear();
    request.initialFolder = "/presets/";
    EXPECT_EQ(zenityFileSelectionArgs(request),
              (Strings{"--file-selection", "--save", "--confirm-overwrite", "--title=Save Env",
                       "--filename=/presets/"}));
}

TEST(DialogsZenity, FolderAndMultipleArguments) {
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::folder;
    request.allowMultiple = true;
    EXPECT_EQ(zenityFileSelectionArgs(request),
              (Strings{"--file-selection", "--directory", "--multiple", "--separator=\n"}));
}

TEST(DialogsZenity, EntryArguments) {
    TextInputRequest request{"Volume", "0 to 100%", "50 %"};
    EXPECT_EQ(zenityEntryArgs(request),
              (Strings{"--entry", "--title=Volume", "--text=0 to 100%", "--entry-text=50 %"}));
}

TEST(DialogsZenity, AlertArguments) {
    AlertRequest ok;
    ok.header = "Problem with <Env> file & more";
    EXPECT_EQ(zenityAlertArgs(ok),
              (Strings{"--info", "--no-markup", "--title=Ondix",
                       "--text=Problem with <Env> file & more", "--ok-label=OK"}));

    AlertRequest question;
    question.header = "Reset?";
    question.message = "All settings";
    question.alternateButton = "Cancel";
    EXPECT_EQ(zenityAlertArgs(question),
              (Strings{"--question", "--no-markup", "--title=Ondix",
                       "--text=Reset?\n\nAll settings", "--ok-label=OK", "--cancel-label=Cancel"}));
}

TEST(DialogsZenity, OutputParsing) {
    EXPECT_EQ(stripTrailingNewline("/a/b.env\n"), "/a/b.env");
    EXPECT_EQ(stripTrailingNewline("/a/b.env\r\n"), "/a/b.env");
    EXPECT_EQ(stripTrailingNewline("text\n\n"), "text\n");
    EXPECT_EQ(stripTrailingNewline("text"), "text");
    EXPECT_EQ(stripTrailingNewline(""), "");
    EXPECT_EQ(splitZenityPaths("/a/x.wav\n/a/y.wav\n"), (Strings{"/a/x.wav", "/a/y.wav"}));
    EXPECT_EQ(splitZenityPaths("/a/x.wav"), (Strings{"/a/x.wav"}));
    EXPECT_EQ(splitZenityPaths("\n"), Strings{});
    EXPECT_EQ(splitZenityPaths(""), Strings{});
}

// The service runs a stand-in program here, never the real dialog.
TEST(DialogsZenity, ServiceReadsTheProgramsAnswer) {
    TempFolder bin;
    ASSERT_FALSE(bin.path.empty());
    std::string chooses = bin.write("chooses", "#!/bin/sh\necho /tmp/x/a.env\n", true);
    std::string cancels = bin.write("cancels", "#!/bin/sh\nexit 1\n", true);
    std::string relative = bin.write("relative", "#!/bin/sh\necho a.env\n", true);
    std::string fails = bin.write("fails", "#!/bin/sh\necho /tmp/x/a.env\nexit 3\n", true);
    std::string killed = bin.write("killed", "#!/bin/sh\necho /tmp/a\nkill -9 $$\n", true);
    // Prints its arguments one per line: shows what reached the program.
    std::string echoes = bin.write("echoes", "#!/bin/sh\nprintf '%s|' \"$@\"\necho\n", true);

    FileDialogRequest open;
    EXPECT_EQ(ZenityDialogService(chooses).runFileSelector(open), (Strings{"/tmp/x/a.env"}));
    EXPECT_EQ(ZenityDialogService(cancels).runFileSelector(open), Strings{});
    EXPECT_EQ(ZenityDialogService(relative).runFileSelector(open), Strings{});
    EXPECT_EQ(ZenityDialogService(fails).runFileSelector(open), Strings{});
    EXPECT_EQ(ZenityDialogService(killed).runFileSelector(open), Strings{});
    EXPECT_EQ(ZenityDialogService(bin.path + "/missing").runFileSelector(open), Strings{});

    // Arguments reach the program as they are, without a shell in between.
    TextInputRequest entry{"T $(echo no)", "P; echo no", "it's \"quoted\""};
    std::optional<std::string> typed = ZenityDialogService(echoes).inputText(entry);
    ASSERT_TRUE(typed.has_value());
    EXPECT_EQ(*typed, "--entry|--title=T $(echo no)|--text=P; echo no|--entry-text=it's "
                      "\"quoted\"|");
    EXPECT_FALSE(ZenityDialogService(cancels).inputText(entry).has_value());
    EXPECT_FALSE(ZenityDialogService(fails).inputText(entry).has_value());

    AlertRequest info;
    info.header = "Note";
    AlertRequest question = info;
    question.alternateButton = "Cancel";
    EXPECT_EQ(ZenityDialogService(echoes).alert(info), ALERT_DEFAULT);
    EXPECT_EQ(ZenityDialogService(cancels).alert(info), ALERT_DISMISSED);
    EXPECT_EQ(ZenityDialogService(cancels).alert(question), ALERT_ALTERNATE);
    EXPECT_EQ(ZenityDialogService(fails).alert(question), ALERT_DISMISSED);
    EXPECT_EQ(ZenityDialogService(killed).alert(question), ALERT_DISMISSED);
    EXPECT_EQ(ZenityDialogService(bin.path + "/missing").alert(question), ALERT_DISMISSED);
}

TEST(DialogsProcess, CapturesOutputAndExitCode) {
    ProcessResult result = runProcessCapture({"printf", "abc\n"});
    EXPECT_TRUE(result.started);
    EXPECT_TRUE(result.exited);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output, "abc\n");
    EXPECT_FALSE(result.truncated);

    result = runProcessCapture({"false"});
    EXPECT_TRUE(result.exited);
    EXPECT_EQ(result.exitCode, 1);

    result = runProcessCapture({"printf", "0123456789"}, 4);
    EXPECT_EQ(result.output, "0123");
    EXPECT_TRUE(result.truncated);
    EXPECT_EQ(result.exitCode, 0);

    ::prctl(PR_SET_CHILD_SUBREAPER, 1); // what it leaves holding its output ends with it
    result = runProcessCapture({"sh", "-c", "sleep 30 & echo $!"});
    int left = 0;
    EXPECT_TRUE(::waitpid(std::stoi(result.output), &left, 0) > 0 && WIFSIGNALED(left));
    ::prctl(PR_SET_CHILD_SUBREAPER, 0);

    result = runProcessCapture({"/nonexistent/program"});
    EXPECT_FALSE(result.started);
    EXPECT_FALSE(runProcessCapture({}).started);
}

namespace {

// Counts how often it is serviced; registered for its lifetime on the
// thread that makes it.
class CountingWindow : public ModalWindow {
public:
    CountingWindow() { addModalWindow(this); }
    ~CountingWindow() override { removeModalWindow(this); }
    CountingWindow(const CountingWindow&) = delete;
    CountingWindow& operator=(const CountingWindow&) = delete;
    void serviceWhileModal() override { ++count; }
    int count = 0;
};

} // namespace

TEST(DialogsProcess, WindowsOfTheWaitingThreadAreServicedMeanwhile) {
    CountingWindow mine;
    std::optional<CountingWindow> gone;
    gone.emplace();
    gone.reset();
    std::optional<CountingWindow> elsewhere;
    std::thread([&] { elsewhere.emplace(); }).join();

    // About 15 times in 300 ms while the program runs...
    EXPECT_TRUE(runProcessCapture({"sleep", "0.3"}).exited);
    EXPECT_GE(mine.count, 5);
    EXPECT_LE(mine.count, 40);
    // ...and as long as it runs after closing its output.
    const int before = mine.count;
    ProcessResult quiet = runProcessCapture({"sh", "-c", "exec >&-; sleep 0.3; exit 4"});
    EXPECT_EQ(quiet.exitCode, 4);
    EXPECT_GE(mine.count - before, 5);
    // Another thread's window is left alone.
    EXPECT_EQ(elsewhere->count, 0);
    elsewhere.reset();
}

TEST(DialogsService, MissingZenityIsToldOnceAndEveryDialogCancels) {
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    MissingZenityDialogService service(out);
    {
        ScopedDialogService scoped(service);
        std::string folder = "keep", path = "keep", spare;
        fileSelectLoadDirStr("Load", "/tmp", "Load", "*.env", spare, folder, path);
        EXPECT_EQ(path, "keep");
        EXPECT_EQ(messageBox("Problem with Env file", MESSAGE_BOX_OK), MESSAGE_BOX_NONE);
        std::string text = "x";
        inputBoxStr("Name:", "Title", text);
        EXPECT_EQ(text, "");
    }
    std::rewind(out);
    std::string written;
    for (int c; (c = std::fgetc(out)) != EOF;) written.push_back(static_cast<char>(c));
    std::fclose(out);
    EXPECT_EQ(written, MISSING_ZENITY_TEXT); // once, naming the package
    EXPECT_NE(written.find("apt-get install zenity"), std::string::npos);
}

// ------------------------------------------------------------ open document

namespace {

std::string readAll(std::FILE* file) {
    std::rewind(file);
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;) text.push_back(static_cast<char>(c));
    return text;
}

} // namespace

TEST(DialogsOpenDocument, MissingOpenerIsToldOnceAndAFoundOneGetsThePath) {
    TempFolder bin;
    ASSERT_FALSE(bin.path.empty());
    const std::string opened = bin.write("opened", "", false);
    bin.write("opener", "#!/bin/sh\nprintf '%s' \"$1\" > '" + opened + "'\n", true);
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    OnceNotice notice(MISSING_OPENER_TEXT, out);

    // A PATH that holds the stand-in but no xdg-open.
    const char* oldPath = std::getenv("PATH");
    const std::string savedPath = oldPath ? oldPath : "";
    ::setenv("PATH", bin.path.c_str(), 1);
    const bool missingOpens = openDocumentWith("xdg-open", "/tmp/manual.html", notice);
    const bool missingAgain = openDocumentWith("xdg-open", "/tmp/manual.html", notice);
    ::testing::internal::CaptureStderr();
    const bool defaultOpens = openDocument("/tmp/manual.html");
    const std::string defaultSaid = ::testing::internal::GetCapturedStderr();
    const bool found = openDocumentWith("opener", "/tmp/a b's \"manual\".html", notice);
    if (oldPath)
        ::setenv("PATH", savedPath.c_str(), 1);
    else
        ::unsetenv("PATH");

    EXPECT_FALSE(missingOpens);
    EXPECT_FALSE(missingAgain);
    EXPECT_EQ(readAll(out), MISSING_OPENER_TEXT); // once, naming the package
    EXPECT_NE(std::string(MISSING_OPENER_TEXT).find("apt-get install xdg-utils"),
              std::string::npos);
    std::fclose(out);
    // The default opener is xdg-open, with its notice on standard error
    // (said already when an earlier test of this process met the same).
    EXPECT_FALSE(defaultOpens);
    EXPECT_TRUE(defaultSaid == MISSING_OPENER_TEXT || defaultSaid.empty()) << defaultSaid;
    EXPECT_FALSE(openDocument(""));

    // The stand-in runs detached and receives the path as one argument.
    EXPECT_TRUE(found);
    std::string received;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (received.empty() && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::ifstream file(opened);
        std::stringstream text;
        text << file.rdbuf();
        received = text.str();
    }
    EXPECT_EQ(received, "/tmp/a b's \"manual\".html");
}
