// Tuning: "*.tun" files read from memory, loaded through the file dialog and
// heard in the rendered pitch, the A4 reference, and a tuning that comes
// back with a state the host restores.

#include "engine/sound_check.h"
#include "engine/tuning.h"
#include "platform/dialog_service.h"
#include "platform/prefs.h"
#include "support/allocation_watch.h"
#include "support/plugin_harness.h"
#include "support/property_seeds.h"
#include "support/spectrum.h"
#include "support/temp_prefs.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iostream>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <pthread.h>
#include <sched.h>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <unistd.h>

// A test thread may be given the kernel id of a thread that has ended.
thread_local pid_t tKernelId = 0;
extern "C" pid_t gettid() noexcept {
    return tKernelId ? tKernelId : static_cast<pid_t>(syscall(SYS_gettid));
}

namespace {

std::string lines(std::initializer_list<const char*> list) {
    std::string text;
    for (const char* line : list) text.append(line).append("\r\n");
    return text;
}

TEST(TuningFile, SectionsLinesAndValues) {
    const std::string padding(200, ' ');
    std::string many = "[Tuning]\n";
    for (int i = 1; i < 600; ++i) // line 500 is read, line 550 is not
        many += i == 500 ? "note 10=1100\n" : (i == 550 ? "note 11=1250\n" : "x\n");
    struct Case {
        const char* name;
        std::string text;
        int note;
        float pitch; // semitones
    };
    const Case cases[] = {
        {"exact wins", lines({"[Exact Tuning]", "note 60=6050", "[Tuning]", "note 60=6100"}), 60,
         60.5f},
        {"exact wins when it comes last",
         lines({"[Tuning]", "note 60=6100", ";", "[Exact Tuning]", "note 60 = 6025.5"}), 60,
         60.255f},
        {"plain alone", lines({"[Tuning]", "note 69=7000"}), 69, 70.0f},
        {"note 130 is ignored", lines({"[Tuning]", "note 130=100", "note 1=100"}), 1, 1.0f},
        {"';' ends the section", lines({"[Tuning]", "note 2=300", ";", "note 3=500"}), 3, 3.0f},
        {"'[' ends it too", lines({"[Tuning]", "note 4=500", "[Info]", "note 4=900"}), 4, 5.0f},
        {"nan is skipped", lines({"[Tuning]", "note 5=nan"}), 5, 5.0f},
        {"inf is skipped", lines({"[Tuning]", "note 5=inf"}), 5, 5.0f},
        {"no number", lines({"[Tuning]", "note x=100", "note 6="}), 6, 6.0f},
        {"high cents are clamped", lines({"[Tuning]", "note 7=99999"}), 7, 139.0f},
        {"low cents are clamped", lines({"[Tuning]", "note 8=-5000"}), 8, -12.0f},
        {"a long line is dropped whole", lines({"[Tuning]", ("note 9=100" + padding).c_str()}), 9,
         9.0f},
        {"within 512 lines", many, 10, 11.0f},
        {"beyond 512 lines", many, 11, 11.0f},
    };
    for (const Case& c : cases) {
        const std::optional<TuningTable> table = parseTuning(c.text);
        ASSERT_TRUE(table) << c.name;
        EXPECT_FLOAT_EQ((*table)[static_cast<std::size_t>(c.note)], c.pitch) << c.name;
        EXPECT_FLOAT_EQ((*table)[100], 100.0f) << c.name << ": notes not named keep theirs";
    }
    EXPECT_FALSE(parseTuning(lines({"note 1=100", "[Scale Begin]"})));
    EXPECT_FALSE(parseTuning(""));
    EXPECT_EQ(tuningFilePath("/t/", "Just"), "/t/Just.tun");
    EXPECT_EQ(tuningFilePath("/t", "Just"), "/t/Just.tun");
    for (const char* bad : {"", "../x", "a/b", ".."}) EXPECT_EQ(tuningFilePath("/t/", bad), "");
}

// A plug-in with its tuning folder in a temporary folder and a scripted
// file dialog.
struct TuningTest : ::testing::Test {
    TempPrefs prefs;
    ScriptedDialogService dialogs;
    ScopedDialogService installed{dialogs};
    std::filesystem::path folder{prefs.path()};

    std::string write(const std::string& name, const std::string& text) {
        const std::filesystem::path path = folder / name;
        std::ofstream(path) << text;
        return path.string();
    }
    // Peak frequency of a held note.
    static double pitchOf(SoundCheck& s, int note) {
        const std::vector<float> x = s.play(note, 4096, 16384);
        const double rough = 55.0 * std::exp2((note - 57) / 12.0) * 2.0;
        return spectrum::peakFrequency(x, s.rate(), rough * 0.8, rough * 1.25);
    }
};

TEST_F(TuningTest, LoadedFileRetunesTheNotesItNamesAndBadLoadsChangeNothing) {
    SoundCheck s;
    APlugin& p = s.h.p();
    p.core.folders.tuningDir = folder.string() + "/";
    const double plain69 = pitchOf(s, 69);
    const double plain60 = pitchOf(s, 60);

    dialogs.pushFile(write("Up.tun", lines({"[Tuning]", "note 69=7000"})));
    p.loadTuning();
    ASSERT_EQ(dialogs.fileRequests.size(), 1u);
    EXPECT_EQ(dialogs.fileRequests[0].title, "Tuning Files");
    EXPECT_EQ(dialogs.fileRequests[0].initialFolder, folder.string() + "/");
    EXPECT_EQ(p.getTuningName(), "Up");
    s.h.settle_();
    EXPECT_NEAR(pitchOf(s, 69) / plain69, std::exp2(1.0 / 12.0), 0.0005); // a semitone up
    EXPECT_NEAR(pitchOf(s, 60) / plain60, 1.0, 0.0005);                   // untouched

    // A cancelled dialog, a file without a section and a missing file keep
    // the tuning as it is; the bad ones say so.
    dialogs.pushFileCancel();
    p.loadTuning();
    dialogs.pushFile(write("Bad.tun", lines({"note 69=6000"})));
    p.loadTuning();
    dialogs.pushFile((folder / "Missing.tun").string());
    p.loadTuning();
    EXPECT_EQ(dialogs.alertRequests.size(), 2u);
    EXPECT_EQ(p.getTuningName(), "Up");
    s.h.settle_();
    EXPECT_NEAR(pitchOf(s, 69) / plain69, std::exp2(1.0 / 12.0), 0.0005);

    p.resetTuning();
    EXPECT_EQ(p.getTuningName(), "Default Tuning");
    s.h.settle_();
    EXPECT_NEAR(pitchOf(s, 69) / plain69, 1.0, 0.0005);
}

TEST_F(TuningTest, ReferencePitchScalesEveryNote) {
    SoundCheck s;
    APlugin& p = s.h.p();
    const double at440[2] = {pitchOf(s, 45), pitchOf(s, 81)};
    saveIntToPrefs("A4", 442);
    p.refreshA4Pref();
    p.updateBaseNote();
    EXPECT_NEAR(pitchOf(s, 45) / at440[0], 442.0 / 440.0, 0.0003);
    EXPECT_NEAR(pitchOf(s, 81) / at440[1], 442.0 / 440.0, 0.0003);
}

// A host that saves the values one by one writes them back in order from
// its main thread, 997 (apply) before the tuning's switch and name. The name
// "Odd" is stored as "Odd " (two characters a tag) and still finds Odd.tun.
TEST_F(TuningTest, TuningComesBackWithARestoredState) {
    write("Odd.tun", lines({"[Exact Tuning]", "note 69=6800"}));
    std::vector<float> saved;
    double plain69 = 0.0;
    {
        SoundCheck s;
        APlugin& p = s.h.p();
        p.core.folders.tuningDir = folder.string();
        plain69 = pitchOf(s, 69);
        dialogs.pushFile((folder / "Odd.tun").string());
        p.loadTuning();
        for (int t = 0; t < tag::Count; ++t) saved.push_back(p.getParameter(t));
    }
    SoundCheck s;
    APlugin& p = s.h.p();
    p.core.folders.tuningDir = folder.string();
    EXPECT_EQ(p.getTuningName(), "Default Tuning");
    std::thread([&] {
        for (int t = 0; t < tag::Count; ++t) p.setParameter(t, saved[static_cast<std::size_t>(t)]);
    }).join();
    p.core.worker.waitUntilIdle(); // the switch and name came after 997
    s.h.renderIn(8192, 512);
    s.h.settle_();
    EXPECT_EQ(p.getTuningName(), "Odd");
    EXPECT_NEAR(pitchOf(s, 69) / plain69, std::exp2(-1.0 / 12.0), 0.0005);
}

// Opens and reads of the files in a folder, by any thread, as the kernel
// reports them.
class FileAccessWatch {
public:
    explicit FileAccessWatch(const std::filesystem::path& folder)
        : fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        if (fd < 0 || inotify_add_watch(fd, folder.c_str(), IN_OPEN | IN_ACCESS) < 0)
            ADD_FAILURE() << "no inotify watch on " << folder;
    }
    ~FileAccessWatch() {
        if (fd >= 0) close(fd);
    }
    FileAccessWatch(const FileAccessWatch&) = delete;
    FileAccessWatch& operator=(const FileAccessWatch&) = delete;

    // Opens and reads of named files since the last call.
    std::pair<int, int> take() {
        alignas(inotify_event) char buffer[4096];
        int opens = 0, reads = 0;
        ssize_t n = 0;
        while (fd >= 0 && (n = read(fd, buffer, sizeof buffer)) > 0)
            for (const char* at = buffer; at < buffer + n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(at);
                if (event->len > 0 && (event->mask & IN_OPEN)) ++opens;
                if (event->len > 0 && (event->mask & IN_ACCESS)) ++reads;
                at += sizeof(inotify_event) + event->len;
            }
        return {opens, reads};
    }

private:
    int fd;
};

// A thread that lives between the tasks it is given, as a host's audio
// thread does (a thread that ended would hand its id to the next one).
class TaskThread {
public:
    TaskThread() : thread([this] { loop(); }) {}
    ~TaskThread() {
        {
            const std::lock_guard lock(mutex);
            stopping = true;
        }
        changed.notify_all();
        thread.join();
    }
    TaskThread(const TaskThread&) = delete;
    TaskThread& operator=(const TaskThread&) = delete;

    // Runs `task` there; the future tells when it is done.
    std::future<void> start(std::function<void()> task) {
        std::packaged_task<void()> job(std::move(task));
        std::future<void> done = job.get_future();
        {
            const std::lock_guard lock(mutex);
            jobs.push_back(std::move(job));
        }
        changed.notify_all();
        return done;
    }
    void run(std::function<void()> task) { start(std::move(task)).get(); }

private:
    void loop() {
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return stopping || !jobs.empty(); });
            if (jobs.empty()) return;
            std::packaged_task<void()> job = std::move(jobs.front());
            jobs.pop_front();
            lock.unlock();
            job();
            lock.lock();
        }
    }
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::packaged_task<void()>> jobs;
    bool stopping = false;
    std::thread thread;
};

// Keeps the file worker from its reads (they wait for the tuning's source
// lock) for `ms` milliseconds from now, or until release(); with `apart`,
// each read itself takes `ms` more (a stalled file system) until release().
class WorkerHold {
public:
    WorkerHold(APlugin& p, int ms, bool apart = false) {
        if (ms > 0 && apart)
            p.core.worker.holdApart([end = stop.get_future().share(), ms] {
                end.wait_for(std::chrono::milliseconds(ms));
            });
        if (ms <= 0 || apart) return;
        std::promise<void> holding;
        holder = std::thread([&p, ms, &holding, end = stop.get_future()] {
            const std::lock_guard lock(p.engine.tuningRequests.sourceLock);
            holding.set_value();
            end.wait_for(std::chrono::milliseconds(ms));
        });
        holding.get_future().wait();
    }
    ~WorkerHold() { release(); }
    void release() {
        if (std::exchange(released, true)) return;
        stop.set_value();
        if (holder.joinable()) holder.join();
    }

private:
    std::promise<void> stop;
    std::thread holder;
    bool released = false;
};

// A restored state that names a tuning plays it from its first note on,
// whichever thread restores it, with no host call after it: a main thread that
// rendered once (an offline bounce) while an audio thread renders now, or an
// audio thread that restores and renders on. A thread that has rendered opens
// no file and makes no heap call: the plug-in's file worker reads the file.
TEST_F(TuningTest, ARestoreOnAnyThreadPlaysItsTuningFromItsFirstNote) {
    const std::filesystem::path tunings = folder / "tunings"; // apart from the settings
    std::filesystem::create_directories(tunings);
    write("tunings/Up.tun", lines({"[Tuning]", "note 69=7000"}));
    write("tunings/Down.tun", lines({"[Tuning]", "note 69=6800"}));
    write("tunings/Odd.tun", lines({"[Exact Tuning]", "note 69=7200"}));
    enum How { Chunk, ApplyFirst, ApplyLast };
    const struct {
        const char* name;
        bool onAudioThread;
        How how;
        double semitones;
    } cases[] = {{"Up", false, Chunk, 1.0},        {"Down", false, ApplyLast, -1.0},
                 {"Odd", false, ApplyFirst, 3.0},  {"Up", true, Chunk, 1.0},
                 {"Down", true, ApplyFirst, -1.0}, {"Odd", true, ApplyLast, 3.0}};
    FileAccessWatch files(tunings);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + (c.onAudioThread ? ", audio" : ", main") +
                     " thread, how " + std::to_string(c.how));
        SoundCheck s; // this thread renders first: an offline bounce
        APlugin& p = s.h.p();
        AEffect* e = s.h.effect();
        p.core.host.hostIsReaper = true; // a host that exchanges chunks
        p.core.folders.tuningDir = tunings.string();
        const double plain = pitchOf(s, 69);
        p.set2StringFromParam(c.name, tag::TuningNameFirst, tag::TuningNameChars);
        p.setParameter(tag::HasTuning, 1.0f);
        ProgramRecord state = p.core.programStore[0];
        p.setParameter(tag::HasTuning, 0.0f);
        p.core.worker.waitUntilIdle();
        TaskThread audio;
        audio.run([&] { s.h.render(SoundCheck::kBlock); }); // now an audio thread renders

        auto restore = [&] {
            if (c.how == Chunk) e->dispatcher(e, effSetChunk, 0, sizeof state, &state, 0.0f);
            if (c.how == ApplyFirst) e->setParameter(e, tag::ApplyPreset, 0.0f);
            for (int t = 0; t < tag::Count && c.how != Chunk; ++t)
                if (t != tag::ApplyPreset) e->setParameter(e, t, state.values[t]);
            if (c.how == ApplyLast) e->setParameter(e, tag::ApplyPreset, 0.0f);
        };
        // The worker is held up until the first note has been sent and a
        // block rendered: no file may be opened before.
        std::unique_lock held(p.engine.tuningRequests.sourceLock);
        files.take();
        if (!c.onAudioThread) restore();
        EventBlock note;
        note.noteOn(0, 69, 127).get(); // its storage, made before the audio thread sends it
        long heapCalls = -1;
        audio.run([&] {
            AllocationWatch heap;
            if (c.onAudioThread) restore();
            s.h.send(note);
            s.h.render(SoundCheck::kBlock);
            heapCalls = heap.count();
        });
        EXPECT_EQ(files.take().first, 0) << "a file opened while the worker was held up";
        EXPECT_EQ(heapCalls, 0);
        held.unlock();
        p.core.worker.waitUntilIdle(); // a host in real time spends the read in a block or two
        std::vector<float> heard;
        audio.run([&] {
            s.capture(4096);
            heard = s.capture(16384);
        });
        const double rough = plain * std::exp2(c.semitones / 12.0);
        EXPECT_NEAR(spectrum::peakFrequency(heard, s.rate(), rough * 0.9, rough * 1.1) / plain,
                    std::exp2(c.semitones / 12.0), 0.0005);
        EXPECT_GT(files.take().first, 0); // the worker read it
    }
}

// A state as a host restores it: a chunk, or the values one by one with
// 997 (apply) before or after them.
enum How { Chunk, ApplyFirst, ApplyLast };

void writeValues(AEffect* e, const ProgramRecord& state, int from, int to) {
    for (int t = from; t < to; ++t)
        if (t != tag::ApplyPreset) e->setParameter(e, t, state.values[t]);
}

void restoreThrough(AEffect* e, ProgramRecord state, How how) {
    if (how == Chunk) {
        e->dispatcher(e, effSetChunk, 0, sizeof state, &state, 0.0f);
        return;
    }
    if (how == ApplyFirst) e->setParameter(e, tag::ApplyPreset, 0.0f);
    writeValues(e, state, 0, tag::Count);
    if (how == ApplyLast) e->setParameter(e, tag::ApplyPreset, 0.0f);
}

// The plug-in's state with the tuning `name` switched on (off for nullptr);
// the plug-in itself goes back to equal temperament.
ProgramRecord stateNaming(APlugin& p, const char* name) {
    p.set2StringFromParam(name ? name : "Up", tag::TuningNameFirst, tag::TuningNameChars);
    p.setParameter(tag::HasTuning, name ? 1.0f : 0.0f);
    const ProgramRecord state = p.core.programStore[0];
    p.setParameter(tag::HasTuning, 0.0f);
    p.core.worker.waitUntilIdle();
    return state;
}

int onset(const std::vector<float>& x) {
    for (std::size_t i = 0; i < x.size(); ++i)
        if (std::fabs(x[i]) > 1e-4f) return static_cast<int>(i);
    return -1;
}

struct TuningThreads : TuningTest {
    TuningThreads() {
        write("Up.tun", lines({"[Tuning]", "note 69=7000"}));
        write("Down.tun", lines({"[Tuning]", "note 69=6800"}));
        write("Odd.tun", lines({"[Exact Tuning]", "note 69=7200"}));
        SoundCheck s;
        plain69 = pitchOf(s, 69);
    }
    void setUp(SoundCheck& s) {
        s.h.p().core.host.hostIsReaper = true; // a host that exchanges chunks
        s.h.p().core.folders.tuningDir = folder.string();
    }
    // How far note 69 in `x` (from its fourth thousand frames on) lies from
    // equal temperament, as a ratio to be compared with 2^(semitones / 12).
    double heard(const std::vector<float>& x, std::size_t from, double semitones) {
        const std::vector<float> held(x.begin() + static_cast<std::ptrdiff_t>(from + 4096),
                                      x.begin() + static_cast<std::ptrdiff_t>(from + 4096 + 16384));
        const double rough = plain69 * std::exp2(semitones / 12.0);
        return spectrum::peakFrequency(held, 44100.0, rough * 0.9, rough * 1.1) / plain69;
    }
    double plain69 = 0.0; // note 69 in equal temperament, Hz
};

// An offline bounce on one thread: the plug-in has rendered, a state naming a
// tuning is restored, then come random calls (switch, name), each followed by
// note 69 in the next block. A host that says it renders offline gets the same
// samples whether the worker is done before each block or each read takes 50
// or 400 ms, the first note on time and in tune; a host that says nothing
// hears it no later than the wait's 250 ms of audio.
TEST_F(TuningThreads, AnOfflineRenderDoesNotDependOnTheWorkersPace) {
    const struct {
        How how;
        const char* name;
        double semitones;
        int offset;
    } cases[] = {{Chunk, "Up", 1.0, 0},
                 {ApplyFirst, "Down", -1.0, 100},
                 {ApplyLast, "Odd", 3.0, 511},
                 {ApplyFirst, "Up", 1.0, 7}};
    constexpr int kAttack = 4; // frames before the note passes the onset's level
    // (call, note's offset): none (-1), the switch off (0) or on (1), a name (2-4).
    using Calls = std::vector<std::pair<int, int>>;
    auto bounce = [&](const auto& c, const Calls& calls, VstIntPtr level, int holdMs) {
        SoundCheck s;
        setUp(s);
        APlugin& p = s.h.p();
        AEffect* e = s.h.effect();
        const FakeHost::ThreadLevel says(level);
        const ProgramRecord named[] = {stateNaming(p, "Up"), stateNaming(p, "Down"),
                                       stateNaming(p, "Odd"), stateNaming(p, c.name)};
        s.capture(2048); // the earlier bounce
        WorkerHold hold(p, holdMs, true);
        restoreThrough(e, named[3], c.how);
        std::vector<float> x;
        for (const auto& [call, offset] : calls) {
            if (call >= 0 && call < 2) e->setParameter(e, tag::HasTuning, static_cast<float>(call));
            if (call >= 2) writeValues(e, named[call - 2], tag::TuningNameFirst, tag::Count);
            if (holdMs == 0) p.core.worker.waitUntilIdle();
            s.h.send(EventBlock().noteOff(0, 69).noteOn(offset, 69, 127));
            const std::vector<float> y = s.capture(x.empty() ? 32768 : 4096);
            x.insert(x.end(), y.begin(), y.end());
        }
        hold.release();
        p.core.worker.waitUntilIdle();
        return std::make_pair(x, s.rate());
    };
    for (const std::uint32_t seed : propertySeeds({0, 1, 2, 3})) {
        SCOPED_TRACE(seedTrace(seed));
        std::mt19937 rng(seed);
        const auto& c = cases[seed % 4];
        Calls calls(5, {-1, c.offset});
        for (std::size_t k = 1; k < calls.size(); ++k) // a braced list: drawn in order
            calls[k] = {static_cast<int>(rng() % 5), rng() % 2 ? 0 : static_cast<int>(rng() % 512)};
        const auto quick = bounce(c, calls, kVstProcessLevelOffline, 0).first;
        for (const int holdMs : {50, 400})
            EXPECT_TRUE(quick == bounce(c, calls, kVstProcessLevelOffline, holdMs).first)
                << "the samples differ with reads of " << holdMs << " ms";
        EXPECT_NEAR(onset(quick), c.offset + kAttack, kAttack); // on time
        EXPECT_NEAR(heard(quick, c.offset, c.semitones), std::exp2(c.semitones / 12.0), 0.0005);

        // Without the host's word the worker may take any time.
        const auto [late, rate3] = bounce(c, {{-1, c.offset}}, kVstProcessLevelUnknown, 60000);
        ASSERT_GE(onset(late), c.offset);
        EXPECT_LE(onset(late) - c.offset, 0.25 * rate3 + SoundCheck::kBlock);
    }
}

// Each restore waits for its own tuning: after one wait has run out (the
// worker slower than the wait), the next restore still waits and plays its
// own tuning; a restore whose tuning is switched off does not wait for a
// read an earlier restore asked for.
TEST_F(TuningThreads, EachRestoreWaitsForItsOwnTuning) {
    const struct {
        const char* name;
        bool firstRunsOut; // the first restore's wait runs out before the second
        const char* second;
        bool waits;
        double semitones;
    } cases[] = {{"after a wait ran out", true, "Down", true, -1.0},
                 {"switched off behind an outstanding read", false, nullptr, false, 0.0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SoundCheck s;
        setUp(s);
        APlugin& p = s.h.p();
        const FakeHost::ThreadLevel says(kVstProcessLevelRealtime);
        const ProgramRecord up = stateNaming(p, "Up");
        const ProgramRecord second = stateNaming(p, c.second);
        {
            WorkerHold hold(p, 60000);
            restoreThrough(s.h.effect(), up, Chunk);
            if (c.firstRunsOut) {
                s.capture(16384); // more than 250 ms of audio
                ASSERT_FALSE(p.core.presetPending);
                hold.release();
                p.core.worker.waitUntilIdle();
            }
            WorkerHold again(p, c.firstRunsOut ? 60000 : 0);
            restoreThrough(s.h.effect(), second, Chunk);
            s.h.send(EventBlock().noteOn(0, 69, 127));
            EXPECT_EQ(onset(s.capture(SoundCheck::kBlock)) < 0, c.waits);
        }
        p.core.worker.waitUntilIdle();
        EXPECT_NEAR(heard(s.capture(4096 + 16384), 0, c.semitones), std::exp2(c.semitones / 12.0),
                    0.0005);
    }
}

// Which thread reads files and builds tables. A second instance's state is
// written value by value (new waves, the tuning on, 997 last) and a block
// rendered on a thread of the host's, while this test holds the locks of the
// file read and the table build. An audio thread never waits for them, opens
// no file and makes no heap call; any other thread reads and builds itself
// (and so waits here). One that rendered stays an audio thread while others
// come and go; a new one is none, even with an ended one's id (ids go round).
TEST_F(TuningThreads, TheHostsWordDecidesWhichThreadMayWait) {
    const struct {
        const char* name;
        VstIntPtr level;
        bool rendersOther; // the thread has rendered another instance
        bool realTime;     // scheduled SCHED_FIFO
        bool audio;
        int laterThreads = 0; // then render another instance and end
    } cases[] = {
        {"pool thread that rendered another instance", kVstProcessLevelUnknown, true, false, true},
        {"real time by the host's word", kVstProcessLevelRealtime, false, false, true},
        {"prefetch", kVstProcessLevelPrefetch, false, false, true},
        {"scheduled in real time", kVstProcessLevelUnknown, false, true, true},
        {"user thread that rendered", kVstProcessLevelUser, true, false, false},
        {"offline render", kVstProcessLevelOffline, true, false, false},
        {"a new thread the host says nothing of", kVstProcessLevelUnknown, false, false, false},
        {"rendered before 150 others", kVstProcessLevelUnknown, true, false, true, 150},
        {"new with the id of an ended one", kVstProcessLevelUnknown, false, false, false, 150},
    };
    FileAccessWatch files(folder);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PluginHarness other;
        auto p = std::make_unique<APlugin>(FakeHost::callback);
        p->core.host.hostIsReaper = true;
        p->core.folders.tuningDir = folder.string();
        AEffect* e = p->getAeffect();
        ProgramRecord state = stateNaming(*p, "Down");
        state.values[tag::OscWaveA] = ParamTable::stepToValue(7, p->getSteppedRange(tag::OscWaveA));
        state.values[tag::OscWaveB] = ParamTable::stepToValue(9, p->getSteppedRange(tag::OscWaveB));
        TaskThread pool;
        bool scheduled = true;
        pool.run([&] {
            if (c.realTime) {
                sched_param param{};
                param.sched_priority = sched_get_priority_min(SCHED_FIFO);
                scheduled = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
            }
            if (c.rendersOther) other.render(64);
        });
        if (!scheduled) {
            std::cout << "[ skipped  ] " << c.name << ": no real-time scheduling here\n";
            continue;
        }
        pid_t ended = 0;
        for (int i = 0; i < c.laterThreads; ++i)
            std::thread([&] {
                other.render(64);
                ended = gettid();
            }).join();
        std::vector<float> out(64);
        float* outs[2] = {out.data(), out.data()};
        long heapCalls = -1;
        std::unique_lock read(p->engine.tuningRequests.sourceLock);
        std::unique_lock build(p->waves.tableBuildMutex);
        files.take();
        FakeHost::current()->clearLog(); // keeps its room: the host's log takes no heap call
        std::future<void> done = pool.start([&] {
            if (!c.rendersOther) tKernelId = ended;
            const FakeHost::ThreadLevel says(c.level);
            AllocationWatch heap;
            restoreThrough(e, state, ApplyLast);
            e->processReplacing(e, nullptr, outs, 64);
            heapCalls = heap.count();
        });
        const auto limit = std::chrono::milliseconds(c.audio ? 20000 : 300);
        const bool waited = done.wait_for(limit) != std::future_status::ready;
        EXPECT_EQ(waited, !c.audio);
        if (c.audio) {
            EXPECT_EQ(files.take().first, 0);
            EXPECT_EQ(heapCalls, 0);
        }
        read.unlock();
        build.unlock();
        done.get();
        p.reset();
    }
}

// A host restores a state value by value, 997 first, and the application
// runs before the tuning's switch and name arrive (forced here: a slow tick
// passes between). Once the worker has read that tuning, a note at the next
// block's start plays it, at every level. Offline, a read that never ends costs
// one wait, not one a block (the notes play the table there is), and does not
// hold up effClose.
TEST_F(TuningThreads, TuningTagsWrittenAfterTheApplicationAreHeard) {
    const struct {
        const char* name; // nullptr: the switch off
        double semitones;
    } states[] = {{"Up", 1.0}, {nullptr, 0.0}, {"Down", -1.0}, {"Nowhere", 0.0}};
    // The read hangs first: the threads its closes leave alone are joined by
    // the later rows' worker starts once their reads return.
    const std::pair<VstIntPtr, bool> runs[] = {{kVstProcessLevelOffline, true},
                                               {kVstProcessLevelOffline, false},
                                               {kVstProcessLevelRealtime, false},
                                               {kVstProcessLevelUnknown, false}};
    constexpr auto kLimit = std::chrono::milliseconds(400);
    for (const auto& [level, hangs] : runs)
        for (const auto& st : states) {
            SCOPED_TRACE(std::string(st.name ? st.name : "off") + ", level " +
                         std::to_string(level) + (hangs ? ", the read hangs" : ""));
            SoundCheck s;
            setUp(s);
            APlugin& p = s.h.p();
            AEffect* e = s.h.effect();
            p.engine.tuningRequests.offlineWaitLimit = p.core.worker.stopLimit = kLimit;
            const ProgramRecord state = stateNaming(p, st.name);
            TaskThread audio;
            audio.run([&] { s.capture(SoundCheck::kBlock); });
            e->setParameter(e, tag::ApplyPreset, 0.0f);
            writeValues(e, state, 0, tag::HasTuning);
            audio.run([&, level = level] { // clang 14 captures no structured binding
                const FakeHost::ThreadLevel says(level);
                while (p.core.presetPending) s.capture(SoundCheck::kBlock);
            });
            WorkerHold hold(p, hangs ? 60000 : 0, true);
            writeValues(e, state, tag::HasTuning, tag::Count);
            if (!hangs) p.core.worker.waitUntilIdle();
            std::vector<float> first;
            int waits = 0; // blocks that took the wait's limit
            audio.run([&, level = level] {
                const FakeHost::ThreadLevel says(level);
                s.h.send(EventBlock().noteOn(0, 69, 127));
                for (int b = 0; b < (4096 + 16384) / SoundCheck::kBlock; ++b) {
                    const auto start = std::chrono::steady_clock::now();
                    const std::vector<float> x = s.capture(SoundCheck::kBlock);
                    first.insert(first.end(), x.begin(), x.end());
                    waits += std::chrono::steady_clock::now() - start >= kLimit;
                }
            });
            EXPECT_EQ(waits, hangs && st.name ? 1 : 0);
            EXPECT_LE(onset(first), 8);
            const double semitones = hangs ? 0.0 : st.semitones;
            EXPECT_NEAR(heard(first, 0, semitones), std::exp2(semitones / 12.0), 0.0005);
            const auto closing = std::chrono::steady_clock::now();
            e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
            EXPECT_LT(std::chrono::steady_clock::now() - closing, 5 * kLimit);
            (void)s.h.plugin.release(); // closed
        }
}

// The exchange itself, hammered: two writers publish a whole table each as
// fast as they can while the reader takes the newest and checks it, 200,000
// times.
TEST(TuningExchangeWriters, TwoWritersNeverTearATable) {
    auto shifted = [](float by) {
        TuningTable t = identityTuning();
        for (float& pitch : t) pitch += by;
        return t;
    };
    const TuningTable tables[2] = {shifted(0.25f), shifted(0.75f)};
    TuningExchange exchange;
    std::atomic<bool> reading{true};
    auto writer = [&](const TuningTable& t) {
        while (reading.load(std::memory_order_relaxed)) exchange.publish(t);
    };
    std::thread first(writer, std::cref(tables[0]));
    std::thread second(writer, std::cref(tables[1]));
    int torn = 0, takes = 0;
    for (; takes < 200000; ++takes) {
        exchange.take();
        const float offset = exchange.pitch(0);
        for (int n = 1; n < 128; ++n)
            if (exchange.pitch(n) - static_cast<float>(n) != offset) {
                ++torn;
                break;
            }
    }
    reading.store(false);
    first.join();
    second.join();
    EXPECT_EQ(torn, 0) << "of " << takes << " tables taken";
}

// A host restores a state on one thread (a chunk) while it writes another one
// value by value on a second (997, then the tuning's switch and name); both
// read their tuning file and publish its table. Every table the audio thread
// plays is one of them whole (or equal temperament, when the name it read
// was half of each), never parts of two.
TEST_F(TuningTest, TablesPublishedFromTwoThreadsArriveWhole) {
    std::string low = "[Tuning]\n", high = "[Tuning]\n";
    for (int n = 0; n < 128; ++n) {
        low += "note " + std::to_string(n) + "=" + std::to_string(n * 100 + 25) + "\n";
        high += "note " + std::to_string(n) + "=" + std::to_string(n * 100 + 75) + "\n";
    }
    write("Low.tun", low);
    write("High.tun", high);

    PluginHarness h;
    APlugin& p = h.p();
    p.core.folders.tuningDir = folder.string();
    p.core.host.hostIsReaper = true; // a host that exchanges chunks
    auto stateNamed = [&p](const char* name) {
        p.set2StringFromParam(name, tag::TuningNameFirst, tag::TuningNameChars);
        p.setParameter(tag::HasTuning, 1.0f);
        return p.core.programStore[0];
    };
    const ProgramRecord lowState = stateNamed("Low");
    const ProgramRecord highState = stateNamed("High");

    // The table the audio thread plays: 0 equal temperament, 1 Low, 2 High,
    // -1 anything else.
    auto played = [&p] {
        int kind = -2;
        for (int n = 0; n < 128; ++n) {
            const float offset = p.engine.tuning.pitch(n) - static_cast<float>(n);
            const int k = offset == 0.0f ? 0 : (offset == 0.25f ? 1 : (offset == 0.75f ? 2 : -1));
            if (kind == -2) kind = k;
            if (k != kind) return -1;
        }
        return kind;
    };

    std::atomic<int> writersDone{0};
    std::thread chunks([&] {
        AEffect* e = h.effect();
        for (int i = 0; i < 300; ++i) {
            ProgramRecord r = lowState;
            e->dispatcher(e, effSetChunk, 0, sizeof r, &r, 0.0f);
        }
        writersDone.fetch_add(1);
    });
    std::thread values([&] {
        AEffect* e = h.effect();
        for (int i = 0; i < 300; ++i) {
            e->setParameter(e, tag::ApplyPreset, highState.values[tag::ApplyPreset]);
            for (int t = tag::HasTuning; t < tag::TuningNameFirst + tag::TuningNameChars; ++t)
                e->setParameter(e, t, highState.values[t]);
        }
        writersDone.fetch_add(1);
    });
    // This thread is the audio thread: it takes the newest table at its ticks.
    int torn = 0, blocks = 0;
    std::array<int, 3> seen{};
    auto renderAndLook = [&] {
        h.render(64);
        ++blocks;
        const int kind = played();
        if (kind < 0)
            ++torn;
        else
            ++seen[static_cast<std::size_t>(kind)];
    };
    while (writersDone.load() < 2) renderAndLook();
    chunks.join();
    values.join();
    // The worker's last reads, then the ticks that take their tables.
    p.core.worker.waitUntilIdle();
    for (int i = 0; i < 64; ++i) renderAndLook();
    EXPECT_EQ(torn, 0) << "of " << blocks << " blocks";
    EXPECT_GT(seen[1] + seen[2], 0);
}

} // namespace
