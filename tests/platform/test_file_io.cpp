// Whole-file reading and durable replacing: the size limit to the byte, what
// is refused and how the error reads, links followed to their end, and a
// failed save that leaves the old file and nothing else behind.

#include "platform/file_io.h"
#include "support/path_kinds.h"
#include "support/temp_prefs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

mode_t permissions(const fs::path& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

struct FileIo : ::testing::Test {
    TempPrefs temp;
    fs::path dir = temp.path();
    std::string bytes = "untouched";
    std::string error;
};

} // namespace

TEST_F(FileIo, ReadingTakesRegularFilesUpToTheLimitAndNamesThePathInErrors) {
    const fs::path file = dir / "ten";
    writeBytesTo(file, "0123456789");
    EXPECT_TRUE(readRegularFile(file, 10, bytes, error));
    EXPECT_EQ(bytes, "0123456789");
    writeBytesTo(dir / "empty", "");
    EXPECT_TRUE(readRegularFile(dir / "empty", 0, bytes, error));
    EXPECT_EQ(bytes, "");

    struct Case {
        fs::path path;
        std::size_t limit;
        std::string message;
    };
    ::mkfifo((dir / "fifo").c_str(), 0600);
    const Case refused[] = {
        {file, 9, file.string() + " is larger than 9 bytes; not read"},
        {dir / "missing", 100, "cannot open " + (dir / "missing").string() + ": No such file"},
        {dir, 100, dir.string() + " is a folder"},
        {dir / "fifo", 100, (dir / "fifo").string() + " is not a regular file"},
        {"/dev/zero", 100, "/dev/zero is not a regular file"},
        {"", 100, "no file name given"},
    };
    for (const Case& c : refused) {
        FifoWatchdog watchdog(c.path == dir / "fifo" ? c.path.string() : "");
        bytes = "untouched";
        EXPECT_FALSE(readRegularFile(c.path, c.limit, bytes, error)) << c.path;
        EXPECT_EQ(error.rfind(c.message, 0), 0u) << error;
        EXPECT_EQ(bytes, "") << c.path;
        EXPECT_FALSE(watchdog.caughtABlockedReader());
    }
}

TEST_F(FileIo, ReplacingFollowsLinksKeepsModesAndLeavesNoTemporaryFiles) {
    // A new file: the requested mode under the umask.
    const mode_t mask = ::umask(027);
    ASSERT_TRUE(writeFileDurably(dir / "new", "a", error)) << error;
    ASSERT_TRUE(writeFileDurably(dir / "private", "b", error, 0600)) << error;
    ::umask(mask);
    EXPECT_EQ(permissions(dir / "new"), 0640u);
    EXPECT_EQ(permissions(dir / "private"), 0600u);
    // An existing file keeps its mode whatever the umask.
    ::chmod((dir / "new").c_str(), 0604);
    ASSERT_TRUE(writeFileDurably(dir / "new", "longer than before", error)) << error;
    EXPECT_EQ(contents(dir / "new"), "longer than before");
    EXPECT_EQ(permissions(dir / "new"), 0604u);

    // A chain of links, one of them relative, ends at the file replaced; a
    // link to a file not there yet creates it. The links stay links.
    fs::create_directories(dir / "real");
    writeBytesTo(dir / "real" / "target", "old");
    fs::create_symlink("target", dir / "real" / "relative");
    fs::create_symlink(dir / "real" / "relative", dir / "link");
    fs::create_symlink(dir / "real" / "later", dir / "dangling");
    ASSERT_TRUE(writeFileDurably(dir / "link", "new", error)) << error;
    ASSERT_TRUE(writeFileDurably(dir / "dangling", "made", error)) << error;
    EXPECT_TRUE(fs::is_symlink(dir / "link"));
    EXPECT_TRUE(fs::is_symlink(dir / "real" / "relative"));
    EXPECT_TRUE(fs::is_symlink(dir / "dangling"));
    EXPECT_EQ(contents(dir / "real" / "target"), "new");
    EXPECT_EQ(contents(dir / "real" / "later"), "made");
    EXPECT_EQ(entries(dir / "real"), (std::vector<std::string>{"later", "relative", "target"}));
    EXPECT_EQ(entries(dir),
              (std::vector<std::string>{"dangling", "link", "new", "private", "real"}));
}

TEST_F(FileIo, AFailedReplaceLeavesTheOldFileAndSaysWhy) {
    // A name so long that no temporary file fits beside it.
    const fs::path longName = dir / std::string(250, 'n');
    writeBytesTo(longName, "old");
    // The write itself fails half-way.
    writeBytesTo(dir / "old", "old");
    // Something other than a file in the target's place, or a loop of links.
    fs::create_directory(dir / "folder");
    ::mkfifo((dir / "fifo").c_str(), 0600);
    fs::create_symlink("loop", dir / "loop");
    const std::vector<std::string> before = entries(dir);

    struct Case {
        fs::path path;
        std::string message;
    };
    const Case cases[] = {
        {longName,
         "cannot create a temporary file beside " + longName.string() + ": File name too long"},
        {dir / "old", "cannot write " + (dir / "old").string() + ": File too large"},
        {dir / "folder",
         "cannot replace " + (dir / "folder").string() + ": a folder is in its place"},
        {dir / "fifo", "cannot replace " + (dir / "fifo").string() + ": it is not a regular file"},
        {dir / "loop", "cannot follow the link "},
        {dir / "missing" / "file", "cannot create a temporary file beside "},
    };
    for (const Case& c : cases) {
        FileSizeLimit limit(16);
        EXPECT_FALSE(writeFileDurably(c.path, std::string(100, 'x'), error)) << c.path;
        EXPECT_EQ(error.rfind(c.message, 0), 0u) << error;
    }
    EXPECT_EQ(contents(longName), "old");
    EXPECT_EQ(contents(dir / "old"), "old");
    EXPECT_TRUE(fs::is_directory(dir / "folder"));
    EXPECT_EQ(entries(dir), before);
}
