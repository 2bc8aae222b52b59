// Which threads may wait and touch files.
//
// A thread the host says renders in real time or ahead of time is an audio
// thread: it never opens a file, allocates, locks or waits. A thread the
// host calls a user thread, or one it says renders offline, may do all of
// that (an offline render waits for what it needs rather than render
// without it). When the host does not say, a thread that has rendered any
// instance of the plug-in in this process, or one scheduled in real time,
// is taken for an audio thread.
#pragma once

#include "vst2/vst2.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <unistd.h>

// The threads that have rendered an instance, process-wide. A host may
// render on a pool of threads in turn, each instance on any of them; each
// one is an audio thread from its first block on. Threads are known by the
// kernel's thread id, which a new thread gets again only once the ids have
// gone round (a pthread id is handed on as soon as a thread is joined).
// Lock-free and without allocation, for the render loop. A new thread takes
// the place of one that has ended; with more live rendering threads than
// there are places the most recent ones are kept.
class AudioThreads {
public:
    // The calling thread renders.
    void enter() {
        const pid_t self = gettid();
        for (std::atomic<pid_t>& slot : slots) {
            pid_t seen = slot.load(std::memory_order_relaxed);
            if (seen == self) return;
            if (seen == 0 && (slot.compare_exchange_strong(seen, self, std::memory_order_relaxed) ||
                              seen == self))
                return;
        }
        // All taken: the place of a thread that has ended (looked at once,
        // by a thread's first block), else the next one in turn.
        const pid_t process = getpid();
        for (std::atomic<pid_t>& slot : slots) {
            pid_t seen = slot.load(std::memory_order_relaxed);
            if (seen != self && tgkill(process, seen, 0) != 0 && errno == ESRCH &&
                slot.compare_exchange_strong(seen, self, std::memory_order_relaxed))
                return;
        }
        const unsigned at = next.fetch_add(1, std::memory_order_relaxed) % kPlaces;
        slots[at].store(self, std::memory_order_relaxed);
    }
    // Whether the calling thread has rendered.
    bool contains() const {
        const pid_t self = gettid();
        for (const std::atomic<pid_t>& slot : slots) {
            const pid_t seen = slot.load(std::memory_order_relaxed);
            if (seen == self) return true;
            if (seen == 0) return false; // the places fill in order
        }
        return false;
    }

private:
    static constexpr unsigned kPlaces = 64;
    static_assert(std::atomic<pid_t>::is_always_lock_free);
    std::array<std::atomic<pid_t>, kPlaces> slots{};
    std::atomic<unsigned> next{0};
};

namespace threadrole {

// The process's record of rendering threads.
AudioThreads& renderingThreads();

// Whether the calling thread is scheduled in real time (SCHED_FIFO or
// SCHED_RR).
bool scheduledRealTime();

// Whether the calling thread, of which the host said `hostLevel`
// (a VstProcessLevels value), must never wait.
bool isAudioThread(VstInt32 hostLevel);

} // namespace threadrole
