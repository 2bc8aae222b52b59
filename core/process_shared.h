// Objects the whole process shares: tables built once and read by every
// instance (engine tables, factory waves, FFT twiddles, the parameter table)
// and the registries behind them.
//
// They are not static objects. Static objects are destroyed when the process
// exits or a host unloads the library, in the reverse order of their
// construction, and a host whose plug-in manager is a static object of its
// own, built before it loaded us, closes its instances only after that. So
// each shared object is built on first use, and all of them are freed
// together once nothing holds them any more: the library holds them until
// its own static objects are destroyed, and every instance holds them for its
// whole life (SharedHold). Whichever lets go last frees them, so a host that
// unloads the library after closing its instances keeps nothing of them.
//
// A ProcessShared and the bookkeeping behind it are constant-initialised and
// trivially destructible: they can be used at any point of the process,
// before any static initialiser and after every static destructor.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <type_traits>

// The locks below must outlive every static destructor.
static_assert(std::is_trivially_destructible_v<std::mutex>,
              "shared objects need a lock that static destruction leaves usable");

namespace process_shared {

// One object that has been built, in the list of what the last holder frees.
class Entry {
public:
    using Free = void (*)(Entry&);
    constexpr explicit Entry(Free free) noexcept : free_(free) {}
    Entry(const Entry&) = delete;
    Entry& operator=(const Entry&) = delete;

protected:
    // Enters the object in the list (once, after it is built).
    void enlist() noexcept;

private:
    friend void releaseHold() noexcept;
    Free free_;
    Entry* next_ = nullptr;
};

// A holder's part: taken by the library from the start, and by every
// instance while it lives. The last one released frees every object built.
void takeHold() noexcept;
void releaseHold() noexcept;

} // namespace process_shared

template <typename T> class ProcessShared : process_shared::Entry {
public:
    using Build = std::unique_ptr<T> (*)();
    constexpr explicit ProcessShared(Build build) noexcept : Entry(&freeObject), build_(build) {}

    // The object, built on the first call (thread-safe). It stays while the
    // library or any instance holds the shared objects.
    T& get() {
        if (T* t = object_.load(std::memory_order_acquire)) return *t;
        return make();
    }

private:
    T& make() {
        std::lock_guard lock(buildLock_);
        if (T* t = object_.load(std::memory_order_relaxed)) return *t;
        T* t = build_().release();
        object_.store(t, std::memory_order_release);
        enlist();
        return *t;
    }
    static void freeObject(process_shared::Entry& entry) {
        auto& self = static_cast<ProcessShared&>(entry);
        std::unique_ptr<T> gone;
        std::lock_guard lock(self.buildLock_);
        gone.reset(self.object_.exchange(nullptr, std::memory_order_acq_rel));
    }

    Build build_;
    std::atomic<T*> object_{nullptr};
    std::mutex buildLock_;
};

// The shared objects held for the life of an instance. A base of the
// plug-in object ahead of the others, so that it is let go after them: the
// effect base deletes the editor, whose controls still let go of their
// fonts and bitmaps.
class SharedHold {
public:
    SharedHold() noexcept { process_shared::takeHold(); }
    ~SharedHold() { process_shared::releaseHold(); }
    SharedHold(const SharedHold&) = delete;
    SharedHold& operator=(const SharedHold&) = delete;
};
