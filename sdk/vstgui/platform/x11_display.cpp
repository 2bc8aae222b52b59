#include "vstgui/platform/x11_display.h"

#include <atomic>
#include <mutex>

namespace VSTGUI::X11 {

namespace {

std::mutex displayTurn;
std::atomic<void (*)(bool)> displayTurnProbe{nullptr};

std::mutex handlerMutex;
int handlerUsers = 0;
XErrorHandler previousHandler = nullptr;
std::atomic<uint64_t> errorsSeen{0};
thread_local ErrorTrap* innermostTrap = nullptr;

} // namespace

Display* openDisplay() {
    std::lock_guard<std::mutex> turn(displayTurn);
    if (auto probe = displayTurnProbe.load(std::memory_order_acquire)) probe(true);
    return XOpenDisplay(nullptr);
}

void closeDisplay(Display* display) {
    if (!display) return;
    std::lock_guard<std::mutex> turn(displayTurn);
    if (auto probe = displayTurnProbe.load(std::memory_order_acquire)) probe(false);
    XCloseDisplay(display);
}

void setDisplayTurnProbe(void (*probe)(bool opening)) {
    displayTurnProbe.store(probe, std::memory_order_release);
}

bool displayTurnTaken() {
    if (!displayTurn.try_lock()) return true;
    displayTurn.unlock();
    return false;
}

int recordError(Display* display, XErrorEvent* event) {
    errorsSeen.fetch_add(1, std::memory_order_relaxed);
    for (ErrorTrap* trap = innermostTrap; trap; trap = trap->outer) {
        if (trap->display == display) {
            ++trap->count;
            trap->code = event->error_code;
            break;
        }
    }
    return 0;
}

void acquireErrorHandler() {
    std::lock_guard<std::mutex> lock(handlerMutex);
    if (handlerUsers++ == 0) previousHandler = XSetErrorHandler(recordError);
}

void releaseErrorHandler() {
    std::lock_guard<std::mutex> lock(handlerMutex);
    if (handlerUsers == 0 || --handlerUsers > 0) return;
    XErrorHandler current = XSetErrorHandler(previousHandler);
    if (current != recordError) XSetErrorHandler(current);
    previousHandler = nullptr;
}

uint64_t recordedErrorCount() {
    return errorsSeen.load(std::memory_order_relaxed);
}

ErrorTrap::ErrorTrap(Display* display) : display(display), outer(innermostTrap) {
    // Errors of earlier requests belong to nobody here.
    XSync(display, False);
    count = 0;
    innermostTrap = this;
}

ErrorTrap::~ErrorTrap() {
    XSync(display, False);
    innermostTrap = outer;
}

bool ErrorTrap::failed() {
    XSync(display, False);
    return count > 0;
}

} // namespace VSTGUI::X11
