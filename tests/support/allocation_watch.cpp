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
// Set once the sanitizer's malloc hook is in: operator new leaves the
// counting to it then.
std::atomic<bool> gMallocHooked{false};

void count() {
    if (gWatching.load(std::memory_order_relaxed))
        gAllocations.fetch_add(1, std::memory_order_relaxed);
}

void onMalloc(const volatile void*, std::size_t) {
    count();
}
void onFree(const volatile void*) {}

bool installMallocHook() {
    static const bool hooked = __sanitizer_install_malloc_and_free_hooks != nullptr &&
                               __sanitizer_install_malloc_and_free_hooks(onMalloc, onFree) != 0;
    gMallocHooked.store(hooked);
    return hooked;
}

void* allocate(std::size_t size) {
    if (!gMallocHooked.load(std::memory_order_relaxed)) count();
    return std::malloc(size == 0 ? 1 : size);
}

void* allocateAligned(std::size_t size, std::align_val_t align) {
    if (!gMallocHooked.load(std::memory_order_relaxed)) count();
    const std::size_t a = static_cast<std::size_t>(align);
    size = (size + a - 1) / a * a;
    return std::aligned_alloc(a, size == 0 ? a : size);
}

void* orThrow(void* p) {
    if (!p) throw std::bad_alloc();
    return p;
}

} // namespace

AllocationWatch::AllocationWatch() {
    installMallocHook();
    gAllocations.store(0);
    gWatching.store(true);
}

AllocationWatch::~AllocationWatch() {
    gWatching.store(false);
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
