#include "support/allocation_watch.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*mallocHook)(const volatile void*,
                                                                            std::size_t),
                                                         void (*freeHook)(const volatile void*))
    __attribute__((weak));

namespace {

std::atomic<bool> gWatching{false};
std::atomic<long> gAllocations{0};
std::atomic<bool> gOwnThreadOnly{false};
thread_local bool tWatcher = false;
// Set while this thread is inside one of our operator new: the malloc it
// makes is counted there, not again by the sanitizer's hook (which not every
// sanitizer calls for aligned allocations). Volatile: the compiler takes
// malloc for a call that reads no memory of ours and would drop the store.
thread_local volatile bool tInsideNew = false;

void count() {
    if (gWatching.load(std::memory_order_relaxed) &&
        (tWatcher || !gOwnThreadOnly.load(std::memory_order_relaxed)))
        gAllocations.fetch_add(1, std::memory_order_relaxed);
}

void onMalloc(const volatile void*, std::size_t) {
    if (!tInsideNew) count();
}
void onFree(const volatile void*) {}

bool installMallocHook() {
    static const bool hooked = __sanitizer_install_malloc_and_free_hooks != nullptr &&
                               __sanitizer_install_malloc_and_free_hooks(onMalloc, onFree) != 0;
    return hooked;
}

void* allocate(std::size_t size) {
    count();
    tInsideNew = true;
    void* p = std::malloc(size == 0 ? 1 : size);
    tInsideNew = false;
    return p;
}

void* allocateAligned(std::size_t size, std::align_val_t align) {
    count();
    const std::size_t a = static_cast<std::size_t>(align);
    size = (size + a - 1) / a * a;
    tInsideNew = true;
    void* p = std::aligned_alloc(a, size == 0 ? a : size);
    tInsideNew = false;
    return p;
}

void* orThrow(void* p) {
    if (!p) throw std::bad_alloc();
    return p;
}

} // namespace

AllocationWatch::AllocationWatch(bool ownThreadOnly) {
    installMallocHook();
    gAllocations.store(0);
    gOwnThreadOnly.store(ownThreadOnly);
    tWatcher = true;
    gWatching.store(true);
}

AllocationWatch::~AllocationWatch() {
    gWatching.store(false);
    tWatcher = false;
}

long AllocationWatch::count() const {
    return gAllocations.load();
}

bool AllocationWatch::seesMalloc() {
    return installMallocHook();
}

// GCC cannot see that these new and delete pair malloc with free.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t n) {
    return orThrow(allocate(n));
}
void* operator new[](std::size_t n) {
    return orThrow(allocate(n));
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    return allocate(n);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    return allocate(n);
}
void* operator new(std::size_t n, std::align_val_t a) {
    return orThrow(allocateAligned(n, a));
}
void* operator new[](std::size_t n, std::align_val_t a) {
    return orThrow(allocateAligned(n, a));
}
void* operator new(std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
    return allocateAligned(n, a);
}
void* operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
    return allocateAligned(n, a);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    std::free(p);
}
#pragma GCC diagnostic pop
