// The files a command writes, all in place or none.
//
// Each output grows in a temporary file beside its name (".NAME.XXXXXX"),
// which takes the name only when the whole run has succeeded and every
// output is complete (commitOutputs). A run that fails, or that a signal
// ends (any of endingSignals(): Ctrl-C, kill, a closed terminal, SIGQUIT, a
// file-size limit, a timer...), leaves no temporary file behind and every
// existing file as it was: the temporary files are removed from the signal
// handler, after which the signal ends the program as it would have. A
// signal that comes once the outputs have begun to take their names waits
// until all of them have; the program then ends by it and says on standard
// error which outputs are in place. A symbolic link is followed to the end
// of its chain and its target replaced, so the link stays a link; an
// existing file keeps its permission bits. A device or FIFO named as an
// output that allows it (/dev/null, a pipe to a player) is written directly.
#pragma once

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

namespace ondix::host {

class OutputFile {
public:
    enum class Special {
        refuse,        // only a regular file (or a new one) may be in the name's place
        writeDirectly, // a device or FIFO is written as it is, not replaced
    };

    OutputFile() = default;
    ~OutputFile(); // without a commit: the temporary file is removed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Starts the output for path. On failure returns false and describes the
    // problem in `error`; nothing is changed.
    bool open(const std::string& path, Special special, std::string& error);
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
    // Removes the temporary file; what could not be removed is named in
    // `left` (when given).
    void discard(std::string* left = nullptr);

    std::string path_;    // as named
    std::string target_;  // the file it names (links followed)
    std::string temp_;    // empty when written directly
    std::string movedTo_; // where the temporary file went when its folder was moved
    int fd_ = -1;
    int slot_ = -1; // the temporary file's place in the list the signal handler removes
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

// Puts the open outputs among `files` in their places: each is synced,
// checked to be still where it was made and its folder to take it (the
// folder may have been removed, moved or made read-only meanwhile), and
// closed, and only then are they renamed. Ending signals wait until that is
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
