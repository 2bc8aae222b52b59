#include "platform/file_worker.h"

#include <dlfcn.h>

#include <cerrno>
#include <mutex>
#include <system_error>
#include <utility>
#include <vector>

// What the thread uses: it outlives the worker when the thread is left to
// end alone.
struct FileWorker::Shared {
    Shared() { sem_init(&wake, 0, 0); }
    ~Shared() { sem_destroy(&wake); }
    Shared(const Shared&) = delete;
    Shared& operator=(const Shared&) = delete;

    Serve serve;
    std::function<void()> hold;
    sem_t wake;
    std::atomic<std::uint32_t> pending{0};
    std::atomic<bool> stopping{false};
    std::atomic<bool> busy{false}; // a run is under way
    std::atomic<bool> ended{false};
    // kHome while the thread may use the owner's things, kApart during a
    // call apart, kLeft once the owner has stopped without waiting for it.
    enum : int { kHome, kApart, kLeft };
    std::atomic<int> where{kHome};
};

namespace {

// The worker whose thread this is.
thread_local const void* currentWorker = nullptr;

// Thrown on a thread left alone when its call apart returns.
struct LeftAlone {};

// Threads left to end alone, each with a hold on this library, so that the
// code they return to stays loaded. They are joined, and the hold let go,
// at a later start or stop once they have ended: a thread cannot let go of
// the library its own code is in. The list exists only while it holds any,
// on the heap: the library's statics may go before a host closes its last
// instance.
struct Straggler {
    std::thread thread;
    std::shared_ptr<const void> shared;
    const std::atomic<bool>* ended;
    void* library;
};
std::mutex stragglersLock;
std::vector<Straggler>* stragglers = nullptr;

void* holdOwnLibrary() {
    static const char anchor = 0;
    Dl_info info{};
    if (dladdr(&anchor, &info) == 0 || info.dli_fname == nullptr) return nullptr;
    return dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
}

void joinEndedStragglers() {
    const std::lock_guard lock(stragglersLock);
    if (stragglers == nullptr) return;
    std::erase_if(*stragglers, [](Straggler& s) {
        if (!s.ended->load(std::memory_order_acquire)) return false;
        s.thread.join();
        if (s.library) dlclose(s.library);
        return true;
    });
    if (stragglers->empty()) {
        delete stragglers;
        stragglers = nullptr;
    }
}

} // namespace

FileWorker::FileWorker() : shared(std::make_shared<Shared>()) {}

FileWorker::~FileWorker() {
    stop();
}

bool FileWorker::start(Serve serveJobs) {
    joinEndedStragglers();
    if (thread.joinable() || !shared) return thread.joinable();
    shared->serve = std::move(serveJobs);
    shared->stopping.store(false, std::memory_order_relaxed);
    try {
        thread = std::thread([kept = shared] { run(kept); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void FileWorker::post(std::uint32_t jobs) noexcept {
    if (jobs == 0 || !shared) return;
    // Only the post that finds nothing pending wakes the thread: a run that
    // is under way takes the rest with its next exchange.
    if (shared->pending.fetch_or(jobs, std::memory_order_release) == 0) sem_post(&shared->wake);
}

void FileWorker::serveNow() {
    if (!shared) return;
    const std::uint32_t jobs = shared->pending.exchange(0, std::memory_order_acquire);
    if (jobs != 0 && shared->serve) shared->serve(jobs);
}

void FileWorker::run(const std::shared_ptr<Shared>& kept) {
    Shared& s = *kept;
    currentWorker = &s;
    try {
        for (;;) {
            while (sem_wait(&s.wake) != 0 && errno == EINTR) {
            }
            // Jobs posted while these run wake the thread again.
            s.busy.store(true, std::memory_order_relaxed);
            const std::uint32_t jobs = s.pending.exchange(0, std::memory_order_acq_rel);
            if (jobs != 0) s.serve(jobs);
            s.busy.store(false, std::memory_order_release);
            if (s.stopping.load(std::memory_order_acquire) &&
                s.pending.load(std::memory_order_acquire) == 0)
                break;
        }
    } catch (const LeftAlone&) {
    }
    s.ended.store(true, std::memory_order_release);
}

std::shared_ptr<FileWorker::Shared> FileWorker::leave() {
    if (!shared || currentWorker != shared.get()) return nullptr;
    std::shared_ptr<Shared> kept = shared;
    kept->where.store(Shared::kApart, std::memory_order_release);
    if (kept->hold) kept->hold(); // from here on the worker may be gone
    return kept;
}

void FileWorker::comeBack(Shared& s) {
    int apart = Shared::kApart;
    if (!s.where.compare_exchange_strong(apart, Shared::kHome, std::memory_order_acq_rel))
        throw LeftAlone{};
}

void FileWorker::holdApart(std::function<void()> hold) {
    if (shared) shared->hold = std::move(hold);
}

void FileWorker::waitUntilIdle() const {
    if (!thread.joinable()) return;
    while (shared->pending.load(std::memory_order_acquire) != 0 ||
           shared->busy.load(std::memory_order_acquire))
        std::this_thread::sleep_for(std::chrono::microseconds(200));
}

void FileWorker::stop() {
    joinEndedStragglers();
    if (!thread.joinable()) {
        serveNow();
        return;
    }
    Shared& s = *shared;
    s.stopping.store(true, std::memory_order_release);
    sem_post(&s.wake);
    const auto giveUp = std::chrono::steady_clock::now() + stopLimit;
    while (!s.ended.load(std::memory_order_acquire)) {
        int apart = Shared::kApart;
        if (std::chrono::steady_clock::now() >= giveUp &&
            s.where.compare_exchange_strong(apart, Shared::kLeft, std::memory_order_acq_rel)) {
            // The call apart returns to no owner: its jobs, and those
            // posted since, are dropped.
            const std::lock_guard lock(stragglersLock);
            if (stragglers == nullptr) stragglers = new std::vector<Straggler>;
            stragglers->push_back({std::move(thread), shared, &s.ended, holdOwnLibrary()});
            shared.reset();
            return;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    thread.join();
    serveNow(); // whatever was posted after the thread's last look
}
