// X error handling shared by the editor's windows and popup menus.
//
// Xlib's default error handler ends the process. While one of our windows
// exists we install a handler that only records errors; a host window that
// vanishes under us then costs nothing but failed requests.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>

namespace VSTGUI::X11 {

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
