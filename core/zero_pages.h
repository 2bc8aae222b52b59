// ZeroPages<T>: a fixed array of T that starts as zeros and costs resident
// memory only where it has been written.
//
// The array is mapped from anonymous pages, which the system hands out as
// zeros and backs with memory only when a page is first written. Large
// buffers that are often never used (a recording take, comb rings, reverb
// rings) live here rather than in a zero-initialised member, whose
// initialisation would touch every page of every instance. Nothing is
// allocated after construction; a first write into a page is a page fault,
// as for any memory not yet used.
#pragma once

#include <cstddef>
#include <new>
#include <type_traits>

#include <sys/mman.h>

// Anonymous zero pages of `bytes` bytes; throws std::bad_alloc when they
// cannot be mapped.
inline void* mapZeroPages(std::size_t bytes) {
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    return p;
}

inline void unmapPages(void* p, std::size_t bytes) {
    if (p) munmap(p, bytes);
}

template <class T> class ZeroPages {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>,
                  "all-zero bytes must be a valid T");

public:
    explicit ZeroPages(std::size_t count)
        : data_(static_cast<T*>(mapZeroPages(count * sizeof(T)))), count_(count) {}
    ~ZeroPages() { unmapPages(data_, count_ * sizeof(T)); }
    ZeroPages(const ZeroPages&) = delete;
    ZeroPages& operator=(const ZeroPages&) = delete;

    T* get() { return data_; }
    const T* get() const { return data_; }
    T& operator[](std::size_t i) { return data_[i]; }
    const T& operator[](std::size_t i) const { return data_[i]; }
    std::size_t size() const { return count_; }
    T* begin() { return data_; }
    T* end() { return data_ + count_; }
    const T* begin() const { return data_; }
    const T* end() const { return data_ + count_; }

private:
    T* data_;
    std::size_t count_;
};
