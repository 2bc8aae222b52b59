// Display connections and X error handling shared by the editor's windows,
// popup menus and tooltips.
//
// Xlib's default error handler ends the process. While one of our windows
// exists we install a handler that only records errors; a host window that
// vanishes under us then costs nothing but failed requests.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>

namespace VSTGUI::X11 {

// Connections are opened and closed one at a time in the whole process,
// whatever thread asks: closing one runs the close hooks of the X
// extensions, and libXext's reads and changes one record for the whole
// process, which another thread's open or close must not meet. Between its
// open and close a connection is used on one thread at a time.
//
// Xlib's own locks (XInitThreads) are the host's to turn on, before its
// first Xlib call; libX11 1.8 and later turn them on when loaded.
Display* openDisplay();
void closeDisplay(Display* display);

// For tests: called with the turn held, just before each XOpenDisplay
// (opening) and XCloseDisplay; nullptr removes it.
void setDisplayTurnProbe(void (*probe)(bool opening));
// For tests: whether a thread holds the turn now. Never call it on a
// thread that holds it.
bool displayTurnTaken();

// Counted: the first acquire installs the recording handler, the last
// release puts back the handler that was there before (unless someone else
// replaced ours meanwhile: theirs then stays).
void acquireErrorHandler();
void releaseErrorHandler();

// How many X errors the recording handler has seen in this process.
uint64_t recordedErrorCount();

// Catches the errors of the requests made on one display while it lives
// (on this thread). failed() waits for the server's answers first.
class ErrorTrap {
public:
    explicit ErrorTrap(Display* display);
    ~ErrorTrap();
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

    bool failed();
    int lastErrorCode() const { return code; }

private:
    friend int recordError(Display* display, XErrorEvent* event);
    Display* display;
    ErrorTrap* outer;
    int count = 0;
    int code = 0;
};

} // namespace VSTGUI::X11
