#include "platform/file_worker.h"

#include <cerrno>
#include <chrono>
#include <system_error>

FileWorker::FileWorker() {
    sem_init(&wake, 0, 0);
}

FileWorker::~FileWorker() {
    stop();
    sem_destroy(&wake);
}

bool FileWorker::start(Serve serveJobs) {
    if (thread.joinable()) return true;
    serve = std::move(serveJobs);
    stopping.store(false, std::memory_order_relaxed);
    try {
        thread = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void FileWorker::post(std::uint32_t jobs) noexcept {
    if (jobs == 0) return;
    // Only the post that finds nothing pending wakes the thread: a run that
    // is under way takes the rest with its next exchange.
    if (pending.fetch_or(jobs, std::memory_order_release) == 0) sem_post(&wake);
}

void FileWorker::serveNow() {
    const std::uint32_t jobs = pending.exchange(0, std::memory_order_acquire);
    if (jobs != 0 && serve) serve(jobs);
}

void FileWorker::run() {
    for (;;) {
        while (sem_wait(&wake) != 0 && errno == EINTR) {
        }
        // Jobs posted while these run wake the thread again.
        busy.store(true, std::memory_order_relaxed);
        const std::uint32_t jobs = pending.exchange(0, std::memory_order_acq_rel);
        if (jobs != 0) serve(jobs);
        busy.store(false, std::memory_order_release);
        if (stopping.load(std::memory_order_acquire) &&
            pending.load(std::memory_order_acquire) == 0)
            return;
    }
}

void FileWorker::waitUntilIdle() const {
    if (!thread.joinable()) return;
    while (pending.load(std::memory_order_acquire) != 0 || busy.load(std::memory_order_acquire))
        std::this_thread::sleep_for(std::chrono::microseconds(200));
}

void FileWorker::stop() {
    if (!thread.joinable()) {
        serveNow();
        return;
    }
    stopping.store(true, std::memory_order_release);
    sem_post(&wake);
    thread.join();
    serveNow(); // whatever was posted after the thread's last look
}
