// A thread of the plug-in's own for the work that touches files: reading a
// tuning file a restored state names, storing a learned controller. Any
// thread posts jobs; posting never allocates, locks or waits, so the audio
// thread may post from within processing. The thread runs the posted jobs
// soon after, each kind once however often it was posted meanwhile.
//
//   start   main thread, once: the thread begins and waits for posts
//   post    any thread, lock-free: a bit mask of jobs
//   stop    main thread: the jobs posted so far run, then the thread ends
#pragma once

#include <semaphore.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

class FileWorker {
public:
    using Serve = std::function<void(std::uint32_t jobs)>;

    FileWorker();
    ~FileWorker();
    FileWorker(const FileWorker&) = delete;
    FileWorker& operator=(const FileWorker&) = delete;

    // The thread begins; `serve` runs on it with the jobs posted since its
    // last run. false when no thread could be made (the jobs then run in
    // the next non-posting call: serveNow).
    bool start(Serve serve);
    // Any thread, never blocking: the jobs in `jobs` are to run.
    void post(std::uint32_t jobs) noexcept;
    // Runs the jobs posted so far, waits until they are done, and ends the
    // thread. Idempotent.
    void stop();
    // Whether the thread is running (started and not stopped).
    bool running() const { return thread.joinable(); }
    // The posted jobs, run on the calling thread: for a worker that could
    // not start, and for a thread that must see them done before it goes on
    // (never an audio thread).
    void serveNow();
    // Waits until every job posted so far has run (never on an audio
    // thread): for a caller that reads what the jobs wrote.
    void waitUntilIdle() const;

private:
    void run();

    Serve serve;
    std::thread thread;
    sem_t wake;
    std::atomic<std::uint32_t> pending{0};
    std::atomic<bool> stopping{false};
    std::atomic<bool> busy{false}; // a run is under way
};
