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
