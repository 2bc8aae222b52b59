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

struct WaveState {
    std::array<WaveTable, kNumMorphFrames> frameSpectrumRe{};
    std::array<WaveTable, kNumMorphFrames> frameSpectrumIm{};
    std::array<float, kNumMorphFrames> frameLevel{};
    PitchBankSlots pitchTableBank; // [bank][pitch table][frame][sample]
    std::atomic<int> activeBank{0};
    std::array<float, kNumMorphFrames> tableLoudness{}; // sum of |samples| of table 0 per frame

    // What the last rare-settings check saw.
    int cachedWaveA = 0, cachedWaveB = 0, cachedOscMode = 0;
    bool morphWrap = false;
    bool subAboveHalf = false;

    // Set by the frame build, read by the oscillator.
    bool waveAIsNoise = false, waveBIsNoise = false, bothWavesNoise = false;

    // Rebuild: requested by anyone, run by the audio thread.
    std::atomic<bool> rebuildRequested{false};
    bool rebuildRunning = false;
    int rebuildStage = -1; // -1 idle, 0..7 the next staged step
    bool pitchTablesBusy = false;

    // The names of the saved user waves in the wave-preset folder, in name
    // order (main thread; waves/wave_presets.cpp).
    std::vector<std::string> wavePresetNames;

    // The user waves' tables (from their partial parameters), written only
    // through APlugin::storeUserWave and setWaveTableValue under the lock,
    // and the copy the editor reads without it.
    std::array<WaveTable, kNumUserWaves> userWaveTable{};
    std::array<std::array<Relaxed<float>, kWaveSize>, kNumUserWaves> userWaveShown;
    std::mutex userWaveMutex;
    // A table has changed since the user-wave LFO rows were last filled from
    // them (under the lock as well).
    bool userLfoRowsStale = true;
    // A user wave the audio thread could not rebuild at once (lock busy).
    std::array<std::atomic<bool>, kNumUserWaves> convertPending{};

    // Scratch of the audio thread's frame build.
    WaveTable buildA{}, buildB{}, buildX{};
    std::array<TAdditive, 2047> buildPartialsA{}, buildPartialsB{}, buildPartials{};
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
