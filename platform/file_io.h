// Whole-file reading and replacing for every file the plug-in (and the
// offline host) reads from or writes to the user's folders.
//
// Reading takes regular files only, and only up to a size the caller names:
// a FIFO, a device, a socket or a folder in a file's place is refused without
// blocking (the file is opened non-blocking and its type checked on the open
// descriptor, so nothing can be swapped in between), and a file larger than
// the limit is refused rather than cut short.
//
// Replacing never destroys the old file: the new contents go to a temporary
// file beside the target, which is synced and then renamed over it, and the
// folder is synced. A failed save leaves the old file as it was and no
// temporary file behind. The temporary file's name begins with '.', then the
// target's name, and names the writing process; what a save that was killed
// left beside its target is removed by the next save to that target once
// the writing process has ended (never a file of a process still running,
// nor one written on another machine or in another container). A symbolic link is followed to the
// end of its chain and its target replaced, so the link stays a link (a managed dotfile keeps
// working); a link to a file that does not exist yet creates that file.
//
// Error texts name the path and the reason ("cannot open /x/y.ecs: No such
// file or directory"); they are meant for a log or a command-line tool, not
// for the plug-in's message boxes.
//
// Threads: any thread but the audio thread (these allocate and do file I/O).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include <sys/types.h>

// The folder part of path with its trailing '/' ("" for a bare name, "/" for
// a file in the root).
std::string folderPrefix(const std::string& path);

// The file a save to path replaces: path itself, or the end of its chain of
// symbolic links (which need not exist yet). A relative link is relative to
// the folder of the link. False with error set for a loop or an over-long link.
bool followLinks(std::string& path, std::string& error);

// Writes all of data to fd, through interrupted and short writes; false
// with errno set on failure.
bool writeAll(int fd, std::string_view data);

// Flushes the entry list of target's folder, so that a rename in it is on
// disk (where the file system can sync a folder at all).
void syncFolder(const std::string& target);

// Reads the whole regular file at path (a link is followed) into bytes. False,
// with bytes empty and error set, for a missing or unreadable file, anything
// but a regular file, or a file of more than maxBytes bytes.
bool readRegularFile(const std::string& path, std::size_t maxBytes, std::string& bytes,
                     std::string& error);

// Opens path for reading when it names a regular file (a link is followed),
// checked as readRegularFile checks it, without blocking: the descriptor
// (close-on-exec; the caller closes it), or -1 with error set as
// readRegularFile sets it ("PATH is not a regular file"). For a file another
// library then opens through /proc/self/fd (a plug-in for dlopen), so that it
// gets the very file that was checked.
int openRegularFile(const std::string& path, std::string& error);

// Replaces the file at path by bytes, durably (see above). An existing file
// keeps its permission bits; a new one gets newFileMode under the process's
// umask. False, with error set and the old file untouched, when any step
// fails or when something other than a regular file is in the target's place.
// naming, when given, is told the full path of each temporary file before it
// is made: a caller that keeps it where the next save finds it (a lock file)
// can have what a killed save left removed (removeLeftTemporary) where the
// folder cannot be listed (mode 0300).
bool writeFileDurably(const std::string& path, std::string_view bytes, std::string& error,
                      mode_t newFileMode = 0666,
                      const std::function<void(const std::string&)>& naming = {});

// Removes the temporary file temporaryPath when it is one that a save to path
// (its links followed) made beside its target and whose process has ended,
// as the next save to path would. True when it was removed.
bool removeLeftTemporary(const std::string& path, const std::string& temporaryPath);

// Whether writeFileDurably(path, ...) could go ahead now, checked before any
// work whose result it is to save: the same refusals and messages, found by
// making the temporary file and removing it again. Nothing else is changed
// (but what killed saves left, as every save removes it).
bool canWriteFileDurably(const std::string& path, std::string& error);

// Removes what killed saves to any target in folder left there (their
// temporary files and folders, as a save to that target would), for a
// folder whose files are saved under many names (the preset folders).
void removeLeftTemporariesIn(const std::string& folder);

// What became of a file or folder that was to take a name nobody uses yet.
enum class NewName {
    made,   // it has the name now
    taken,  // something else has the name; nothing was changed
    failed, // another error (error says which); nothing was changed
};

// Writes bytes under path, durably as writeFileDurably does, but only while
// nothing (not even a dangling link) is at path: the complete temporary file
// takes the name in one step that fails when the name is in use, so two
// processes saving under one new name at once never replace each other's
// file: one gets made, the other taken.
NewName writeNewFileDurably(const std::string& path, std::string_view bytes, std::string& error,
                            mode_t newFileMode = 0666);

// Moves the file or folder at from to to (in the same file system) only
// while nothing is at to, in one step as above.
NewName renameToNewName(const std::string& from, const std::string& to, std::string& error);

// Makes the folder path (its parent must exist) only when nothing is there.
NewName makeNewFolder(const std::string& path, std::string& error, mode_t mode = 0777);

// A new, empty folder beside target under a temporary name (hidden, naming
// this process like the temporary files), to be filled and then moved to
// target with renameToNewName, so that target appears complete or not at
// all; the caller removes it when it gives up. What a killed process left
// of such a folder (its files and the folder) goes at the next call for the
// same target. "" with error set when no folder can be made.
std::string makeTemporaryFolder(const std::string& target, std::string& error);
