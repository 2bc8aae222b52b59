// Relaxed atomic access to plain float and flag storage shared between the
// host's threads and the audio thread.
//
// The value copies stay plain arrays (the program record's layout is the
// saved state), and every cross-thread access goes through these helpers.
// Relaxed order is enough: each value is independent, and readers tolerate a
// tag's copies momentarily disagreeing.
#pragma once

#include <atomic>

inline float loadRelaxed(const float& slot) {
    return std::atomic_ref<float>(const_cast<float&>(slot)).load(std::memory_order_relaxed);
}

inline void storeRelaxed(float& slot, float value) {
    std::atomic_ref<float>(slot).store(value, std::memory_order_relaxed);
}

static_assert(std::atomic_ref<float>::is_always_lock_free);

// A one-byte request flag written on one thread and polled on another.
class Flag {
public:
    Flag() = default;
    Flag(const Flag&) = delete;
    Flag& operator=(const Flag&) = delete;
    bool get() const { return value.load(std::memory_order_relaxed); }
    void set(bool on = true) { value.store(on, std::memory_order_relaxed); }
    void clear() { value.store(false, std::memory_order_relaxed); }
    operator bool() const { return get(); }
    Flag& operator=(bool on) {
        set(on);
        return *this;
    }

private:
    std::atomic<bool> value{false};
};

// A value one thread publishes and another reads, each access relaxed: for
// what the editor shows of the audio thread's state. Every value stands on
// its own; a reader may see one value from a newer publication than its
// neighbour.
template <typename T> class Relaxed {
public:
    static_assert(std::atomic<T>::is_always_lock_free);
    Relaxed() = default;
    Relaxed(const Relaxed&) = delete;
    Relaxed& operator=(const Relaxed&) = delete;
    T get() const { return value.load(std::memory_order_relaxed); }
    void set(T v) { value.store(v, std::memory_order_relaxed); }

private:
    std::atomic<T> value{};
};
