#include "platform/modal_windows.h"

#include <mutex>
#include <thread>
#include <vector>

namespace {

struct Entry {
    ModalWindow* window;
    std::thread::id owner;
};

struct Registry {
    std::mutex lock;
    std::vector<Entry> entries;
};

// Never destroyed: a window closed while the process ends still finds it.
Registry& registry() {
    static Registry* instance = new Registry;
    return *instance;
}

} // namespace

void addModalWindow(ModalWindow* window) {
    if (window == nullptr) return;
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    r.entries.push_back({window, std::this_thread::get_id()});
}

void removeModalWindow(ModalWindow* window) {
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    std::erase_if(r.entries, [window](const Entry& e) { return e.window == window; });
}

void serviceModalWindows() {
    // The windows of this thread can only go away on this thread, so they
    // are serviced outside the lock.
    std::vector<ModalWindow*> mine;
    {
        Registry& r = registry();
        std::lock_guard<std::mutex> guard(r.lock);
        const std::thread::id self = std::this_thread::get_id();
        for (const Entry& e : r.entries)
            if (e.owner == self) mine.push_back(e.window);
    }
    for (ModalWindow* window : mine) window->serviceWhileModal();
}
