// The files a command writes, all in place or none.
//
// Each output grows in a temporary file beside its name (".NAME.XXXXXX"),
// which takes the name only when the whole run has succeeded and every
// output is complete (commitOutputs). A run that fails, or that SIGINT,
// SIGTERM or SIGHUP ends, leaves no temporary file behind and every existing
// file as it was: the temporary files are removed from the signal handler,
// after which the signal ends the program as it would have. A symbolic link
// is followed to the end of its chain and its target replaced, so the link
// stays a link; an existing file keeps its permission bits. A device or FIFO
// named as an output that allows it (/dev/null, a pipe to a player) is
// written directly.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

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
    friend bool commitOutputs(std::initializer_list<OutputFile*>, std::string&, const OutputFile**);
    bool finish(std::string& error);
    bool stillThere(std::string& error) const;
    bool putInPlace(std::string& error);
    void discard();

    std::string path_;   // as named
    std::string target_; // the file it names (links followed)
    std::string temp_;   // empty when written directly
    int fd_ = -1;
    int slot_ = -1; // the temporary file's place in the list the signal handler removes
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

// Puts the open outputs among `files` in their places: each is synced and
// closed, then each temporary file is checked to be still where it was made
// (its folder may have been removed meanwhile), and only then are they
// renamed. SIGINT, SIGTERM and SIGHUP wait until that is over. On failure
// returns false, says why in `error` and which output failed in `failed`
// (when given); the outputs are discarded and no file is replaced, unless a
// rename failed after another had been done.
bool commitOutputs(std::initializer_list<OutputFile*> files, std::string& error,
                   const OutputFile** failed = nullptr);

// Whether two paths name the same file, after symbolic links: the same file
// when both exist (hard links included), else the same name in the same
// folder.
bool sameFile(const std::string& a, const std::string& b);

} // namespace ondix::host
