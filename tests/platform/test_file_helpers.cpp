// File, path and string helpers: file names and extensions, the file-exists
// probe, upper-casing, number filtering, name cutting, the file-name character
// filter and the locale-independent number readers.

#include "platform/file_helpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string nameOf(const char* path, bool withoutExtension) {
    char name[TEXT_BUFFER_SIZE];
    std::fill(std::begin(name), std::end(name), 'Z');
    getFileNameOnly(path, name, withoutExtension);
    return name;
}

// Switches LC_ALL to a locale with other number and case rules, when one is
// installed, and back on destruction.
class ForeignLocale {
public:
    ForeignLocale() : previous_(std::setlocale(LC_ALL, nullptr)) {
        for (const char* name : {"tr_TR.ISO-8859-9", "tr_TR.UTF-8", "de_DE.ISO-8859-1",
                                 "de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"}) {
            if (std::setlocale(LC_ALL, name)) {
                active_ = true;
                break;
            }
        }
    }
    ~ForeignLocale() { std::setlocale(LC_ALL, previous_.c_str()); }
    ForeignLocale(const ForeignLocale&) = delete;
    ForeignLocale& operator=(const ForeignLocale&) = delete;
    bool active() const { return active_; }

private:
    std::string previous_;
    bool active_ = false;
};

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "ondix-paths-XXXXXX").string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (const char* made = ::mkdtemp(buffer.data())) path_ = made;
    }
    ~TempFolder() {
        std::error_code ec;
        if (!path_.empty()) fs::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

} // namespace

// -------------------------------------------------------------- file names

TEST(PathHelpersFileName, TakesTheNameAfterTheLastSlash) {
    EXPECT_EQ(nameOf("/a/b/wave.uwv", true), "wave");
    EXPECT_EQ(nameOf("/a/b/wave.uwv", false), "wave.uwv");
    EXPECT_EQ(getFileNameOnlyStr("/a/b/wave.uwv", true), "wave");
    EXPECT_EQ(getFileNameOnlyStr("/a/b/wave.uwv", false), "wave.uwv");
    char name[TEXT_BUFFER_SIZE];
    getFileNameNoExtension("/Presets/Waves/Soft Saw.uwv", name);
    EXPECT_STREQ(name, "Soft Saw");
}

TEST(PathHelpersFileName, BackslashesSplitWhenThereIsNoSlash) {
    EXPECT_EQ(nameOf("C:\\Haldmer\\Ondix\\wave.uwv", false), "wave.uwv");
    EXPECT_EQ(getFileNameOnlyStr("C:\\Haldmer\\Ondix\\wave.uwv", true), "wave");
    // With a '/' present the last '/' decides; a '\' is then part of the name.
    EXPECT_EQ(getFileNameOnlyStr("/home/me/odd\\name.uwv", false), "odd\\name.uwv");
}

TEST(PathHelpersFileName, ABareNameIsItsOwnFileName) {
    EXPECT_EQ(nameOf("wave.uwv", false), "wave.uwv");
    EXPECT_EQ(nameOf("wave.uwv", true), "wave");
    EXPECT_EQ(getFileNameOnlyStr("wave", true), "wave");
}

TEST(PathHelpersFileName, OnlyADotInTheFileNameStartsTheExtension) {
    EXPECT_EQ(nameOf("/a.b/wave", true), "wave");
    EXPECT_EQ(getFileNameOnlyStr("/x.y/z.w/wave", true), "wave");
    EXPECT_EQ(getFileNameOnlyStr("C:\\a.b\\wave", true), "wave");
    EXPECT_EQ(getFileNameOnlyStr("/p/archive.tar.gz", true), "archive.tar");
    EXPECT_EQ(getFileNameOnlyStr("/p/name.", true), "name");
}

TEST(PathHelpersFileName, EmptyAndFolderPathsGiveAnEmptyName) {
    EXPECT_EQ(nameOf("", false), "");
    EXPECT_EQ(nameOf("/a/b/", false), "");
    EXPECT_EQ(nameOf("/", true), "");
    EXPECT_EQ(nameOf(nullptr, true), "");
    EXPECT_EQ(getFileNameOnlyStr("", true), "");
    getFileNameOnly("/a/b", nullptr, false); // no output buffer: nothing happens
}

TEST(PathHelpersFileName, ALongNameIsBoundedTo254Bytes) {
    const std::string longName(300, 'n');
    const std::string path = "/folder/" + longName + ".uwv";
    char name[400];
    std::fill(std::begin(name), std::end(name), 'Z');
    getFileNameOnly(path.c_str(), name, false);
    EXPECT_EQ(std::string(name), std::string(254, 'n'));
    EXPECT_TRUE(std::all_of(name + 255, std::end(name), [](char c) { return c == 'Z'; }));

    std::fill(std::begin(name), std::end(name), 'Z');
    getFileNameNoExtension(path.c_str(), name);
    EXPECT_EQ(std::string(name), std::string(254, 'n'));
    EXPECT_EQ(getFileNameOnlyStr(path, false).size(), 254u);

    const std::string shortName(250, 's');
    EXPECT_EQ(getFileNameOnlyStr("/" + shortName + ".uwv", true), shortName);
}

// -------------------------------------------------------------- extensions

TEST(PathHelpersExtension, TheTextFromTheLastDotWithTheDot) {
    EXPECT_EQ(getFileNameExtensionsStr("/x/Sample.Wav"), ".Wav");
    std::string ext = getFileNameExtensionsStr("/x/Sample.Wav");
    upperCase(ext);
    EXPECT_EQ(ext, ".WAV");
    EXPECT_EQ(getFileNameExtensionsStr("/x/loop.final.aiff"), ".aiff");
    EXPECT_EQ(getFileNameExtensionsStr("kick.wav"), ".wav");
    EXPECT_EQ(getFileNameExtensionsStr("/x/name."), ".");
}

TEST(PathHelpersExtension, NoDotInTheFileNameMeansNoExtension) {
    EXPECT_EQ(getFileNameExtensionsStr(""), "");
    EXPECT_EQ(getFileNameExtensionsStr("/x/Sample"), "");
    EXPECT_EQ(getFileNameExtensionsStr("/a.b/wave"), "");
    EXPECT_EQ(getFileNameExtensionsStr("C:\\a.b\\wave"), "");
    EXPECT_EQ(getFileNameExtensionsStr("/x.y/"), "");
}

// --------------------------------------------------------------- existence

TEST(PathHelpersFileExists, AReadableFileExists) {
    TempFolder temp;
    ASSERT_FALSE(temp.path().empty());
    const fs::path file = temp.path() / "wave.uwv";
    std::ofstream(file) << "V1.0\n";
    EXPECT_TRUE(fileExists(file.string()));
    EXPECT_FALSE(fileExists((temp.path() / "missing.uwv").string()));
    EXPECT_FALSE(fileExists(temp.path().string())); // a folder is not a file
    EXPECT_FALSE(fileExists(file.string() + "/inside"));
}

TEST(PathHelpersFileExists, AnEmptyPathOrOneWithANulIsFalse) {
    EXPECT_FALSE(fileExists(""));
    TempFolder temp;
    const fs::path file = temp.path() / "a";
    std::ofstream(file) << "x";
    ASSERT_TRUE(fileExists(file.string()));
    // The text up to the NUL names an existing file, the whole path does not.
    EXPECT_FALSE(fileExists(file.string() + std::string(1, '\0') + "b"));
}

TEST(PathHelpersFileExists, NothingIsCreated) {
    TempFolder temp;
    const fs::path path = temp.path() / "sub" / "file.env";
    EXPECT_FALSE(fileExists(path.string()));
    EXPECT_FALSE(fs::exists(temp.path() / "sub"));
}

// --------------------------------------------------------------- upperCase

TEST(StringHelpersUpperCase, AsciiLettersOnly) {
    std::string text = "Reaper v6.0 (x86_64) zZ";
    upperCase(text);
    EXPECT_EQ(text, "REAPER V6.0 (X86_64) ZZ");

    char buffer[TEXT_BUFFER_SIZE] = "bitwig studio";
    upperCase(buffer);
    EXPECT_STREQ(buffer, "BITWIG STUDIO");

    char empty[4] = {'\0', 'a', 'b', '\0'};
    upperCase(empty);
    EXPECT_EQ(empty[1], 'a');
    upperCase(static_cast<char*>(nullptr));
}

TEST(StringHelpersUpperCase, HighBytesAndLocaleRulesAreLeftAlone) {
    ForeignLocale locale;
    std::string text;
    for (int b = 128; b < 256; ++b) text += static_cast<char>(b);
    const std::string high = text;
    text += "iz";
    upperCase(text);
    EXPECT_EQ(text, high + "IZ"); // also in a Turkish locale 'i' becomes 'I'

    std::string buffer = high + "abc";
    upperCase(buffer.data());
    EXPECT_EQ(buffer, high + "ABC");
}

// ---------------------------------------------------------- stripAllButNum

TEST(StringHelpersStripAllButNum, KeepsDigitsSignsAndPoints) {
    char text[TEXT_BUFFER_SIZE] = "MIDI CC 7";
    stripAllButNum(text);
    EXPECT_STREQ(text, "7");

    char exponent[TEXT_BUFFER_SIZE] = "-1.5e3";
    stripAllButNum(exponent);
    EXPECT_STREQ(exponent, "-1.53");

    std::string s = "A4 = 442.5 Hz (+/-)";
    stripAllButNum(s);
    EXPECT_EQ(s, "4442.5+-");

    std::string none = "abc\xE9\n";
    stripAllButNum(none);
    EXPECT_EQ(none, "");

    char empty[1] = {'\0'};
    stripAllButNum(empty);
    EXPECT_STREQ(empty, "");
    stripAllButNum(static_cast<char*>(nullptr));
}

// ---------------------------------------------------------------- safename

TEST(StringHelpersSafename, CutsAt24BytesOrTheFirstControlByte) {
    char longName[TEXT_BUFFER_SIZE] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcd"; // 30
    safename(longName);
    EXPECT_STREQ(longName, "ABCDEFGHIJKLMNOPQRSTUVWX");

    char tab[TEXT_BUFFER_SIZE] = "Live \tSuite";
    safename(tab);
    EXPECT_STREQ(tab, "Live ");

    char high[TEXT_BUFFER_SIZE] = {'A', 'b', '\xE9', 'c', 'd'};
    safename(high);
    EXPECT_STREQ(high, "Ab");

    char shortName[TEXT_BUFFER_SIZE] = "Reaper";
    safename(shortName);
    EXPECT_STREQ(shortName, "Reaper");

    std::string s = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcd";
    safename(s);
    EXPECT_EQ(s, "ABCDEFGHIJKLMNOPQRSTUVWX");
    s = "Live \tSuite";
    safename(s);
    EXPECT_EQ(s, "Live ");
    safename(static_cast<char*>(nullptr));
}

// --------------------------------------------------------------- validChar

TEST(StringHelpersValidChar, EveryByteMapsAsTheFilterSays) {
    for (int b = 0; b < 256; ++b) {
        const char c = static_cast<char>(b);
        char expected = c;
        if (b < 32 || b >= 128)
            expected = 0;
        else if (c == '"' || c == '*' || c == '/' || c == '<' || c == '>' || c == '?' ||
                 c == '\\' || c == '|')
            expected = ' ';
        else if (c == ':')
            expected = '-';
        EXPECT_EQ(validChar(c), expected) << b;
    }
    EXPECT_EQ(validChar('a'), 'a');
    EXPECT_EQ(validChar(' '), ' ');
    EXPECT_EQ(validChar('~'), '~');
    EXPECT_EQ(validChar(127), 127);
}

// ----------------------------------------------------------- number reading

TEST(StringHelpersNumbers, IntegersReadLikeAtoiWithoutOverflow) {
    EXPECT_EQ(textToInt("7"), 7);
    EXPECT_EQ(textToInt("  -12abc"), -12);
    EXPECT_EQ(textToInt("+5"), 5);
    EXPECT_EQ(textToInt("1.9"), 1);
    EXPECT_EQ(textToInt("+-5"), 0);
    EXPECT_EQ(textToInt("-"), 0);
    EXPECT_EQ(textToInt(""), 0);
    EXPECT_EQ(textToInt("abc"), 0);
    EXPECT_EQ(textToInt("2147483647"), INT_MAX);
    EXPECT_EQ(textToInt("-2147483648"), INT_MIN);
    EXPECT_EQ(textToInt("2147483648"), INT_MAX);
    EXPECT_EQ(textToInt("99999999999999999999999"), INT_MAX);
    EXPECT_EQ(textToInt("-99999999999999999999999"), INT_MIN);
    EXPECT_EQ(textToInt("007"), 7);
}

TEST(StringHelpersNumbers, DecimalsReadLikeAtofWithoutOverflow) {
    EXPECT_DOUBLE_EQ(textToDouble("1.5"), 1.5);
    EXPECT_DOUBLE_EQ(textToDouble("-1.53"), -1.53);
    EXPECT_DOUBLE_EQ(textToDouble("+.5"), 0.5);
    EXPECT_DOUBLE_EQ(textToDouble("5."), 5.0);
    EXPECT_DOUBLE_EQ(textToDouble(" 1e3x"), 1000.0);
    EXPECT_DOUBLE_EQ(textToDouble("1.2.3"), 1.2);
    EXPECT_DOUBLE_EQ(textToDouble("1,5"), 1.0);
    EXPECT_DOUBLE_EQ(textToDouble(""), 0.0);
    EXPECT_DOUBLE_EQ(textToDouble("-"), 0.0);
    EXPECT_DOUBLE_EQ(textToDouble("+-1"), 0.0);
    EXPECT_DOUBLE_EQ(textToDouble("inf"), 0.0);
    EXPECT_DOUBLE_EQ(textToDouble("nan"), 0.0);
    EXPECT_EQ(textToDouble("1e400"), DBL_MAX);
    EXPECT_EQ(textToDouble("-1e400"), -DBL_MAX);
    EXPECT_EQ(textToDouble("1e-400"), 0.0);
    EXPECT_EQ(textToDouble(std::string(400, '9')), DBL_MAX);
    EXPECT_EQ(textToDouble("0." + std::string(400, '0') + "1"), 0.0);
    EXPECT_EQ(textToDouble("1" + std::string(400, '0') + "e-50"), DBL_MAX);
    EXPECT_EQ(textToDouble("0." + std::string(400, '0') + "1e50"), 0.0);
    EXPECT_DOUBLE_EQ(textToDouble("1" + std::string(400, '0') + "e-100"), 1e300);
}

TEST(StringHelpersNumbers, TheDecimalPointIsAPointInEveryLocale) {
    ForeignLocale locale;
    if (!locale.active()) GTEST_SKIP() << "no other locale is installed";
    EXPECT_DOUBLE_EQ(textToDouble("1.5"), 1.5);
    EXPECT_DOUBLE_EQ(textToDouble("1,5"), 1.0);
    EXPECT_EQ(textToInt("1.234"), 1);
    std::string typed = "440,5 Hz";
    stripAllButNum(typed);
    EXPECT_EQ(typed, "4405");
}
