// The files a command writes, all in place or none.
//
// Each output grows in a temporary file beside its name (".NAME.XXXXXX"),
// which takes the name only when the whole run has succeeded and every
// output is complete (commitOutputs). A run that fails, or that a signal
// ends (any of endingSignals(): Ctrl-C, kill, a closed terminal, SIGQUIT, a
// file-size limit, a timer...), leaves no temporary file behind and every
// existing file as it was: the temporary files are removed from the signal
// handler, after which the signal ends the program as it would have. A
// temporary file whose folder was moved is removed where it is now; one
// that cannot be removed (its folder made read-only) is named on standard
// error. A signal that comes once the outputs have begun to take their
// names waits until all of them have; the program then ends by it and says
// on standard error which outputs are in place. A symbolic link is followed
// to the end of its chain and its target replaced, so the link stays a
// link; an existing file keeps its permission bits. Only a regular file (or
// a new name) can be an output: a folder, a device, a FIFO or a socket in
// its place is refused at once, without opening it.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

namespace ondix::host {

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile(); // without a commit: the temporary file is removed (or named)
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Starts the output for path. On failure returns false and describes the
    // problem in `error`; nothing is changed.
    bool open(const std::string& path, std::string& error);
    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    const std::string& path() const { return path_; }
    // Appends bytes.
    bool write(std::string_view bytes, std::string& error);

private:
    friend bool commitOutputs(std::span<OutputFile* const>, std::string&, const OutputFile**);
    bool finish(std::string& error);
    bool stillThere(std::string& error);
    bool putInPlace(std::string& error);
    // Removes the temporary file, where it is now; what could not be
    // removed is named in `left` (when given) or else on standard error.
    void discard(std::string* left = nullptr);

    std::string path_;   // as named
    std::string target_; // the file it names (links followed)
    std::string temp_;   // empty while not open
    int fd_ = -1;
    int slot_ = -1; // the temporary file's place in the list the signal handler removes
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

// Puts the open outputs among `files` in their places: each is synced and
// checked to be still where it was made and its folder to take it (the
// folder may have been removed, moved or made read-only meanwhile), and
// only then are they renamed (and closed). Ending signals wait until that is
// over (see above). On failure returns false, says why in `error` (naming
// any temporary file that could not be removed, and any output already
// replaced when a rename failed after another) and which output failed in
// `failed` (when given); the outputs are discarded.
bool commitOutputs(std::span<OutputFile* const> files, std::string& error,
                   const OutputFile** failed = nullptr);
bool commitOutputs(std::initializer_list<OutputFile*> files, std::string& error,
                   const OutputFile** failed = nullptr);

// For tests: called in commitOutputs each time an output has taken its
// name (null: nothing), where a test sends the signal that lands mid-commit.
extern void (*afterEachRename)();

// Counts the bytes given to a run's outputs. For tests of interrupted runs:
// with ONDIX_TEST_STOP_AFTER_BYTES=N in the environment, the program stops
// itself (SIGSTOP) once, when N bytes or more have been written in all, so
// that a test acts at that point of the run whatever the machine's speed.
void countWritten(std::uint64_t bytes);

// The signals whose default action ends a program that a run takes as a
// wish to stop: all of them but SIGKILL and SIGSTOP, which cannot be
// caught, and the program-error signals (SIGSEGV, SIGBUS, SIGILL, SIGFPE,
// SIGABRT, SIGTRAP, SIGSYS), which report a fault of the program itself and
// are left to the debugger and the sanitizers. In signal-number order.
const std::vector<int>& endingSignals();

// "cannot write PATH: REASON", with the limit named when the reason is a
// file-size limit (EFBIG).
std::string cannotWrite(const std::string& path, int error);

// Whether two paths name the same file, after symbolic links: the same file
// when both exist (hard links included), else the same name in the same
// folder.
bool sameFile(const std::string& a, const std::string& b);

} // namespace ondix::host
