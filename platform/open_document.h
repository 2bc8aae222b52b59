// Opening a document in the desktop's viewer.
//
// openDocument starts "xdg-open" with the path as its one argument (no
// shell, so the path needs no quoting) and returns at once: the viewer runs
// detached from the host, which neither waits for it nor has to collect it.
// When xdg-open cannot be started (not installed), the first attempt says so
// on standard error, as the dialogs do when zenity is missing;
// openDocumentOrTell says it in a message box as well, at every attempt,
// for the user who asked for the document (the current dialog service shows
// the box, or cannot: see dialog_service.h).
// Main thread only.
#pragma once

#include <string>

class OnceNotice;

// What openDocument writes, once, when xdg-open cannot be started.
inline constexpr char MISSING_OPENER_TEXT[] =
    "Ondix: the manual and web pages are opened by the program xdg-open, which was not found; "
    "install it with your package manager (Debian, Ubuntu: sudo apt-get install xdg-utils)\n";

// What openDocumentOrTell shows when xdg-open cannot be started.
inline constexpr char MISSING_OPENER_HEADER[] = "Ondix cannot open documents";
inline constexpr char MISSING_OPENER_MESSAGE[] =
    "The manual and web pages are opened by the program xdg-open, which was not found. Install "
    "it with your package manager (Debian, Ubuntu: sudo apt-get install xdg-utils).";

// false when the path is empty or the opener could not be started; whether
// the desktop then finds a viewer is not reported.
bool openDocument(const std::string& path);
// The same, telling the user in a message box when xdg-open is missing.
bool openDocumentOrTell(const std::string& path);

// The same with another opener program (looked up on PATH when it holds no
// '/'), telling notice when it cannot be started.
bool openDocumentWith(const std::string& program, const std::string& path, OnceNotice& notice);
