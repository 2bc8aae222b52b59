// State of the oscillator's wave tables and the two user waves.
//
// The oscillator plays 32 morph frames between wave A (frame 0) and wave B
// (frame 31). Each frame is kept as a spectrum with a level, and from it 35
// band-limited pitch tables of 2048 samples are built, one per note range.
// The pitch tables exist twice: the oscillator reads the active bank while a
// rebuild writes the other, and a finished rebuild switches banks. The banks
// live in a process-wide store that lets instances share the banks of the
// same factory wave pair (waves/pitch_banks.h).
//
// Threads: the rebuild runs on the audio thread in stages and owns the stage
// state. Anyone may raise `rebuildRequested`. The user waves are written on
// the main thread under `userWaveMutex`; the audio thread only try-locks it and
// postpones its step when the lock is busy. Each thread converts with its own
// workspace (FFT buffers and scratch tables).
//
// A preset chosen or restored off the audio thread has its tables built there,
// at once and whole, into the bank slot the oscillator does not play
// (`prepared`); the preset application on the audio thread then only switches
// banks. Whoever writes that slot holds `tableBuildMutex`: the main thread for
// its whole build, the audio thread (try-lock only, postponing as above) for
// each step of a staged build and for the switch.
#pragma once

#include "core/atomic_value.h"
#include "waves/fft.h"
#include "waves/pitch_banks.h"

#include <array>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

constexpr int kNumUserWaves = 2;
constexpr int kUserWavePartials = 128;
constexpr int kFirstUserWave = 183; // wave numbers 183, 184
constexpr int kNumWaves = 185;

// One partial of a user wave: amplitude 0..1 and phase 0..1 in turns;
// partial j stands for harmonic j + 1.
struct TAdditive {
    float amplitude = 0.0f;
    float phase = 0.0f;
};

// Scratch space of one thread's wave conversions.
struct WaveWorkspace {
    Fft2048 fft;
    std::array<TAdditive, kWaveSize> tempPartials{};
    std::array<float, kWaveSize> tempWaveTable{};
};

// The morph frames of one build with its scratch: the audio thread's staged
// build has one (WaveState itself), the off-thread build of a preset another.
struct FrameSet {
    std::array<WaveTable, kNumMorphFrames> frameSpectrumRe{};
    std::array<WaveTable, kNumMorphFrames> frameSpectrumIm{};
    std::array<float, kNumMorphFrames> frameLevel{};
    std::array<float, kNumMorphFrames> tableLoudness{}; // sum of |samples| of table 0 per frame
    WaveTable buildA{}, buildB{}, buildX{};
    std::array<TAdditive, 2047> buildPartialsA{}, buildPartialsB{}, buildPartials{};
};

// What a build of the frames reads: the two waves, the mode and the user
// waves (tables and partials; without partials they are read from the
// parameters).
struct FrameRecipe {
    int waveA = 0, waveB = 0, mode = 0;
    const std::array<WaveTable, kNumUserWaves>* userTables = nullptr;
    const std::array<std::array<TAdditive, kUserWavePartials>, kNumUserWaves>* userPartials =
        nullptr;
};

// Which of the two waves is noise (the oscillator plays noise for it).
struct NoiseFlags {
    bool a = false, b = false, both = false;
};
bool isNoiseWave(int wave); // 14 "W. Noise" or 15 "P. Noise"
NoiseFlags noiseFlagsOf(int waveA, int waveB);

// What a bank of pitch tables was built from: waves A and B, the mode and,
// for each user wave among them, its table and partials. A bank follows
// from these alone, so a rebuild from the same source would make the same
// bank again. Unknown for a bank of both waves noise (built from the frames
// an earlier build left) and for a slot that holds no finished bank.
struct BankSource {
    bool known = false;
    int waveA = 0, waveB = 0, mode = 0;
    std::array<bool, kNumUserWaves> usesUserWave{};
    std::array<WaveTable, kNumUserWaves> userTables{};
    std::array<std::array<TAdditive, kUserWavePartials>, kNumUserWaves> userPartials{};

    // Both known and bit for bit the same in everything the build reads.
    bool sameAs(const BankSource& other) const;
    // Which of its waves the oscillator plays as noise beside the bank.
    NoiseFlags noise() const;
};

// The tables of a requested preset, built off the audio thread. The values
// they were built from are kept, so that the application takes them only for
// a preset that still has those values.
struct PreparedTables {
    static constexpr int kValues = 3 + kNumUserWaves * kUserWavePartials;
    std::atomic<bool> ready{false}; // a finished bank waits in `slot`
    int slot = 0;
    int waveA = 0, waveB = 0, mode = 0;
    std::array<float, kValues> values{}; // wave A, wave B, mode, then the partials
    std::array<WaveTable, kNumUserWaves> userTables{};
    std::array<std::array<TAdditive, kUserWavePartials>, kNumUserWaves> userPartials{};
    BankSource source; // what the tables are built from
    FrameSet frames;
    WaveWorkspace work;
};

struct WaveState : FrameSet {
    PitchBankSlots pitchTableBank; // [bank][pitch table][frame][sample]
    std::atomic<int> activeBank{0};
    // What each slot's bank was built from; the slot that is not played is
    // written only under tableBuildMutex.
    std::array<BankSource, 2> bankSource{};
    BankSource requestedSource; // the staged build's scratch (audio thread)
    // The slot whose finished bank was built from source, the playing one
    // first; -1 for none (under tableBuildMutex).
    int slotBuiltFrom(const BankSource& source) const {
        const int active = activeBank.load(std::memory_order_relaxed);
        for (int slot : {active, 1 - active})
            if (source.sameAs(bankSource[slot])) return slot;
        return -1;
    }

    // What the last rare-settings check saw.
    int cachedWaveA = 0, cachedWaveB = 0, cachedOscMode = 0;
    bool morphWrap = false;
    bool subAboveHalf = false;

    // Read by the oscillator: those of the waves the playing bank was built
    // from (playBank), or, while the engine waits for a staged build, of the
    // waves it builds.
    bool waveAIsNoise = false, waveBIsNoise = false, bothWavesNoise = false;
    void setNoise(const NoiseFlags& noise) {
        waveAIsNoise = noise.a;
        waveBIsNoise = noise.b;
        bothWavesNoise = noise.both;
    }

    // Rebuild: requested by anyone, run by the audio thread.
    std::atomic<bool> rebuildRequested{false};
    bool rebuildRunning = false;
    int rebuildStage = -1; // -1 idle, 0..7 the next staged step
    bool pitchTablesBusy = false;
    // The bank slot that is not played is written only under this lock.
    std::mutex tableBuildMutex;
    // Counts the off-thread builds that took the slot: a staged build that
    // sees it change was overwritten and ends.
    std::atomic<unsigned> slotBuilds{0};
    unsigned stagedSlotBuilds = 0; // the count when the staged build started
    // The preset application took prepared tables: the engine reset that
    // follows asks for no rebuild (audio thread).
    bool keepTablesOnReset = false;
    PreparedTables prepared;
    // The user waves' partials of the prepared tables last taken, from which
    // the application converts the user waves (audio thread).
    std::array<std::array<TAdditive, kUserWavePartials>, kNumUserWaves> takenPartials{};
    // The slot whose tables the editor's oscillator picture holds, and its
    // change count then (publishOscTable; -1: none yet).
    int shownBank = -1;
    std::uint32_t shownBankChanges = 0;

    // The names of the saved user waves in the wave-preset folder, in name
    // order (main thread; waves/wave_presets.cpp).
    std::vector<std::string> wavePresetNames;

    // The user waves' tables (from their partial parameters), written only
    // through APlugin::storeUserWave and setWaveTableValue under the lock,
    // and the copy the editor reads without it.
    std::array<WaveTable, kNumUserWaves> userWaveTable{};
    std::array<std::array<Relaxed<float>, kWaveSize>, kNumUserWaves> userWaveShown;
    std::mutex userWaveMutex;
    // Which tables have changed since their user-wave LFO rows were last
    // filled from them (under the lock as well).
    std::array<bool, kNumUserWaves> userLfoRowsStale{true, true};
    // A user wave the audio thread could not rebuild at once (lock busy).
    std::array<std::atomic<bool>, kNumUserWaves> convertPending{};

    // The wave every oscillator plays while the preview flag is set: written
    // on the main thread into the unpublished buffer, then published.
    std::array<WaveTable, 2> previewBuffers{};
    std::atomic<int> previewIndex{0};

    // The wave shaper's preview of a user wave (main thread): the wave's own
    // partials, the shaped partials and the shaped samples.
    std::array<TAdditive, kUserWavePartials> sourcePartials{};
    std::array<TAdditive, kUserWavePartials> previewPartials{};
    WaveTable previewWaveTable{};

    WaveWorkspace audioWork; // the audio thread's frame build and preset conversions
    WaveWorkspace mainWork;  // the main thread's conversions
};
