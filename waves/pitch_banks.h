// The oscillator's pitch-table banks and where they live.
//
// A bank is 35 band-limited pitch tables of 32 morph frames of 2048 samples:
// 8.75 MiB. Each instance keeps two bank slots (the oscillator plays one while
// a rebuild fills the other), but the banks themselves sit in one
// process-wide store: a bank built from factory waves only is the same for
// every instance that plays the same wave pair in the same mode, so an
// instance about to rebuild first looks for a finished bank of that recipe
// and takes a share of it instead of building its own. Banks of user waves
// stay private.
//
// The store holds room for two banks per instance, mapped as zero pages that
// cost resident memory only once built into; a bank whose last share was
// given up keeps its tables (and recipe) and is handed out again before an
// untouched one. A slot no bank was built into yet reads as silence. The
// store lives while any instance does; the last one frees it.
//
// Threads: slots are created and destroyed on the main thread, which also
// grows and shrinks the store under a lock. Everything else (preparing,
// building, finishing, reading) is the owning instance's audio thread and
// never locks, waits or allocates; when no bank is free at that moment (only
// while other instances change theirs at the same time) prepare() says so and
// the rebuild is tried again later. Another thread may prepare, build and
// finish the slot that is not being read, while the instance keeps its audio
// thread away from that slot (the preset build off the audio thread, under
// the instance's table lock).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

constexpr int kWaveSize = 2048;
constexpr int kNumMorphFrames = 32;
constexpr int kNumPitchTables = 35;

using WaveTable = std::array<float, kWaveSize>;
using PitchTableBank = std::array<std::array<WaveTable, kNumMorphFrames>, kNumPitchTables>;

struct PitchBankNode; // one bank of the process-wide store (waves/pitch_banks.cpp)

class PitchBankSlots {
public:
    // What a bank holds: a shareable recipe, or kUnshared (user waves, or
    // frames left from an earlier build).
    static constexpr std::uint32_t kUnshared = 0;
    static std::uint32_t recipe(int waveA, int waveB, int mode);

    PitchBankSlots();  // main thread: makes room for two banks
    ~PitchBankSlots(); // main thread: gives up both slots and the room
    PitchBankSlots(const PitchBankSlots&) = delete;
    PitchBankSlots& operator=(const PitchBankSlots&) = delete;

    // The bank in slot 0 or 1 (all zeros before one was built there).
    const PitchTableBank& operator[](int slot) const;

    // Readies a slot for a bank of the recipe: a finished bank of the same
    // recipe, shared, or one to build into. False when no bank is free right
    // now; the slot keeps what it had.
    bool prepare(int slot, std::uint32_t recipe);
    // The bank to build into: the one prepare() chose, or (without a
    // prepare, as in tests) a private one taken now. Null when the slot
    // holds a shared finished bank, which needs no build, or no bank is free.
    PitchTableBank* writable(int slot);
    // True when the slot holds a finished bank shared by recipe.
    bool shared(int slot) const { return state_[slot & 1] == kShared; }
    // Counts the changes of what a slot holds (another bank taken, a build
    // readied or finished): equal counts, the same tables. Any thread.
    std::uint32_t changes(int slot) const {
        return changes_[slot & 1].load(std::memory_order_acquire);
    }
    // The build into the slot is complete: its recipe may now be shared.
    void finish(int slot);

    // Banks in the store, and how many of them hold memory (tests, benchmarks).
    static int storeBanks();
    static int touchedBanks();

private:
    enum State : std::uint8_t { kIdle, kBuilding, kShared };
    void setNode(int slot, PitchBankNode* node, State state, std::uint32_t recipe);

    std::array<PitchBankNode*, 2> node_{};
    std::array<State, 2> state_{kIdle, kIdle};
    std::array<std::uint32_t, 2> recipe_{kUnshared, kUnshared};
    std::array<std::atomic<std::uint32_t>, 2> changes_{};
};
