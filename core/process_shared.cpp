#include "core/process_shared.h"

#include <utility>

static_assert(std::is_trivially_destructible_v<ProcessShared<int>>,
              "a shared object's handle must survive static destruction");

namespace process_shared {

namespace {

// Constant-initialised and never destroyed (see the header).
std::mutex listLock;
int holderCount = 1; // the library's own hold, from the start
Entry* built = nullptr;

// Lets the library's hold go when its static objects are destroyed: at exit,
// or when a host unloads it. Being a static object itself, it goes before
// any host object built ahead of the library (a plug-in manager that closes
// its instances later).
struct LibraryHold {
    LibraryHold(const LibraryHold&) = delete;
    LibraryHold& operator=(const LibraryHold&) = delete;
    constexpr LibraryHold() noexcept = default;
    ~LibraryHold() { releaseHold(); }
};
LibraryHold libraryHold;

} // namespace

void Entry::enlist() noexcept {
    std::lock_guard lock(listLock);
    next_ = built;
    built = this;
}

void takeHold() noexcept {
    std::lock_guard lock(listLock);
    ++holderCount;
}

void releaseHold() noexcept {
    Entry* list = nullptr;
    {
        std::lock_guard lock(listLock);
        if (--holderCount > 0) return;
        list = std::exchange(built, nullptr);
    }
    while (list) {
        Entry* next = std::exchange(list->next_, nullptr);
        list->free_(*list);
        list = next;
    }
}

} // namespace process_shared
