// A thread of the plug-in's own for the work that touches files: reading a
// tuning file a restored state names, storing a learned controller. Any
// thread posts jobs; posting never allocates, locks or waits, so the audio
// thread may post from within processing. The thread runs the posted jobs
// soon after, each kind once however often it was posted meanwhile.
//
//   start   main thread, once: the thread begins and waits for posts
//   post    any thread, lock-free: a bit mask of jobs
//   stop    main thread: the jobs posted so far run, then the thread ends
//
// A job's call that may block for good (a read from a file system that does
// not answer) runs through `apart`, on copies of what it needs. A stop that
// finds such a call under way after stopLimit leaves the thread to end alone
// when the call returns, touching nothing of its owner's. The thread holds
// the library loaded; a later start or stop (a host's call, in the library)
// joins it once it has ended and lets go of the library, which a thread
// cannot do for itself and then return into.
#pragma once

#include <semaphore.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

class FileWorker {
public:
    using Serve = std::function<void(std::uint32_t jobs)>;
    static constexpr std::chrono::seconds kStopLimit{2};

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
    // thread; a call apart that has not returned within stopLimit is not
    // waited for. Idempotent.
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

    // Runs `call`, which uses nothing of the worker's owner but copies. On
    // the worker thread, when the owner has stopped the worker meanwhile,
    // the job is unwound from there (its caller does not resume): a caller
    // holds none of the owner's locks around it.
    template <class Call> void apart(Call&& call) {
        const std::shared_ptr<Shared> kept = leave();
        call();
        if (kept) comeBack(*kept);
    }
    // Tests: what the thread runs before each call apart (to hold it there),
    // and how long a stop waits.
    void holdApart(std::function<void()> hold);
    std::chrono::milliseconds stopLimit{kStopLimit};

private:
    struct Shared;
    static void run(const std::shared_ptr<Shared>& shared);
    std::shared_ptr<Shared> leave();
    static void comeBack(Shared& shared);

    std::shared_ptr<Shared> shared;
    std::thread thread;
};
