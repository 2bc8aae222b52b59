// Tuning: the pitch of every MIDI note, and the "*.tun" files that set it.
//
// Units: a tuning table holds 128 pitches in semitones (MIDI note numbers;
// equal temperament is 0, 1 .. 127). A file gives absolute pitches in cents
// (note 69 at 6900 is A4), limited to -1200 .. 13900.
//
// File format (text, read from memory): a line beginning "[Exact" starts the
// exact section, one beginning "[Tuni" the plain section; the exact section
// wins when both are present, and the last header of a kind counts. A
// section runs to the line before the next line beginning ';' or '[', or to
// the end. In it, lines "note <n>=<cents>" set note n (0..127); anything
// else, a number that does not parse or is not finite, and notes outside
// 0..127 are skipped. Only the first 512 lines are read; a line longer than
// 127 characters is dropped whole.
//
// TuningExchange hands tables from the other threads (file loads, preset
// states) to the audio thread: a triple buffer, so the audio thread never
// reads a table while it is written, and never locks. A host may restore a
// state on one thread while it sets a parameter on another, and both
// publish a table: writers take turns on a lock of their own. An audio
// thread never publishes.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

using TuningTable = std::array<float, 128>;

constexpr int kTuningMaxLines = 512;
constexpr std::size_t kTuningMaxLineLength = 127;
constexpr std::size_t kTuningMaxFileBytes = 1 << 20;
constexpr float kTuningMinCents = -1200.0f;
constexpr float kTuningMaxCents = 13900.0f;

// Equal temperament: note n at n semitones.
TuningTable identityTuning();

// The table a file's text gives, starting from equal temperament; nullopt
// when the text has neither section header.
std::optional<TuningTable> parseTuning(std::string_view text);

// The file a stored tuning name stands for in folder, or "" when the name
// cannot name a file there (empty, or holding '/' or "..").
std::string tuningFilePath(const std::string& folder, std::string_view name);

class TuningExchange {
public:
    TuningExchange();
    TuningExchange(const TuningExchange&) = delete;
    TuningExchange& operator=(const TuningExchange&) = delete;

    // Any thread but an audio thread: the table the audio thread takes
    // next. Waits while another writer publishes.
    void publish(const TuningTable& table);
    // Audio thread: the newest published table becomes the current one.
    void take();
    // Audio thread: the current table's pitch of a note (0..127).
    float pitch(int note) const { return buffers[front][static_cast<std::size_t>(note)]; }

private:
    static constexpr int kFresh = 4;

    std::array<TuningTable, 3> buffers;
    std::atomic<int> middle{1}; // index, with kFresh while not taken yet
    int front = 0;              // the audio thread's
    int back = 2;               // the writer's, under `writers`
    std::mutex writers;
};

// What a table is read from: the tuning switch and the stored values of
// the name's tags, bit for bit (read without allocating). Every
// switched-off source gives equal temperament, whatever the name.
struct TuningSource {
    static constexpr std::size_t kNameTags = 20;
    bool on = false;
    std::array<std::uint32_t, kNameTags> nameBits{};
    bool operator==(const TuningSource& other) const {
        return on == other.on && (!on || nameBits == other.nameBits);
    }
};

// The tuning files a plug-in has been asked to read, and what it published.
//
// Every read posted to the file worker takes a ticket (`ask`); a read
// answers every ticket taken before it began (`serve`). A restored state
// that switches a tuning on is applied once the read of its own ticket has
// been answered, so that its first notes play in tune: on a thread the host
// renders offline the audio waits for it (and for every other read asked
// for before the block), however long the read takes up to
// kOfflineWaitLimit, spent once for the reads asked so far; elsewhere the
// application waits at most kWaitLimit, in time and in frames of audio,
// and the host's events wait with it.
struct TuningRequests {
    static constexpr std::chrono::milliseconds kWaitLimit{250};
    // An offline render gives up only on a file system that does not answer.
    static constexpr std::chrono::seconds kOfflineWaitLimit{10};

    // Tickets count up from 1 and wrap; 0 stands for none.
    std::uint32_t ask() {
        std::uint32_t ticket = 0;
        while (ticket == 0) ticket = asked.fetch_add(1, std::memory_order_acq_rel) + 1;
        return ticket;
    }
    // A read that began when `upTo` tickets had been asked for has ended.
    void serve(std::uint32_t upTo) {
        std::uint32_t seen = served.load(std::memory_order_relaxed);
        while (before(seen, upTo) &&
               !served.compare_exchange_weak(seen, upTo, std::memory_order_release,
                                             std::memory_order_relaxed)) {
        }
    }
    bool answered(std::uint32_t ticket) const {
        return !before(served.load(std::memory_order_acquire), ticket);
    }
    // Whether a read asked for so far is still to end.
    bool outstanding() const { return !answered(asked.load(std::memory_order_acquire)); }

    // A new restore, and the ticket its application waits for (0: none).
    // Every restore has its own wait.
    void beginRestore(std::uint32_t ticket) {
        std::uint32_t restore = 0;
        while (restore == 0) restore = restores.fetch_add(1, std::memory_order_relaxed) + 1;
        pendingWait.store(std::uint64_t{restore} << 32 | ticket, std::memory_order_release);
    }
    // The restore still pending waits for `ticket` instead (a value of its
    // tuning written after it).
    void waitAlsoFor(std::uint32_t ticket) {
        std::uint64_t seen = pendingWait.load(std::memory_order_relaxed);
        while (!pendingWait.compare_exchange_weak(
            seen, (seen & ~std::uint64_t{0xffffffff}) | ticket, std::memory_order_release,
            std::memory_order_relaxed)) {
        }
    }

    std::atomic<std::uint32_t> asked{0};
    std::atomic<std::uint32_t> served{0};
    std::atomic<std::uint32_t> restores{0};
    // The restore in the upper half, the ticket its application waits for
    // in the lower.
    std::atomic<std::uint64_t> pendingWait{0};
    // Held while a reader matches the values with the table it publishes.
    std::mutex sourceLock;
    TuningSource published; // what the newest published table was read for
    // Audio thread only: the restore whose wait runs or ran, since when and
    // for how many frames.
    std::uint32_t waitingFor = 0;
    bool waitOver = false;
    std::chrono::steady_clock::time_point waitingSince{};
    std::int64_t waitedFrames = 0;
    // Audio thread only: the requests asked for when an offline wait last
    // ran out (not waited for again), and that wait's limit (tests shorten
    // it).
    std::uint32_t gaveUpAt = 0;
    std::chrono::milliseconds offlineWaitLimit{kOfflineWaitLimit};

private:
    // a comes before b, counting around the wrap.
    static bool before(std::uint32_t a, std::uint32_t b) {
        return static_cast<std::int32_t>(a - b) < 0;
    }
};
