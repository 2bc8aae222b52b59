// Factory oscillator waves and sub-oscillator squares.
//
// Contents. 183 factory waves (names in OSC_WAVE_STR, wave numbers 0..182),
// each one period of 2048 float samples with peak |x| exactly 1.0, zero
// mean, at most 512 harmonics, and a fundamental in sine phase (the phase of
// wave 0) of at least 2 % of the strongest harmonic. Waves 14 "W. Noise" and
// 15 "P. Noise" are all zeros: they only select the oscillator's noise
// sources. 14 sub-oscillator squares: square 0 is -1 for samples 0..1023 and
// +1 for 1024..2047, squares 1..13 are band-limited copies with ever softer
// edges, each with the same polarity and peak 1.0.
//
// Partials. For every factory wave and FFT bin k (0..2047) of its forward
// 2048-point transform X (waves/fft.h: positive exponent, no scaling, so a
// harmonic of amplitude a has |X[k]| = 1024 a; bins above 1024 mirror those
// below):
//     partialsAmp[w][k]   = |X[k]| + 1e-15               (waves 0..127)
//                         = |X[k]| * 1024 / max|X| + 1e-15 (waves 128..182)
//     partialsPhase[w][k] = atan2(Im X[k], Re X[k] + 1e-5) / 2 pi + 0.5, turns 0..1
// Wave 0 is exactly sin(2 pi j / 2048): amplitude 1024 with phase 0.75 at
// bin 1 and 0.25 at bin 2047. The noise waves have every magnitude 1e-15
// and every phase 0.5.
//
// Sharing. The data is generated (no data files) on the first call of
// factoryWaves(), thread-safely, into one heap block of about 4.6 MiB that
// every plug-in instance of the process reads without locks, and that lives
// while the library or any instance holds the shared objects
// (core/process_shared.h). Generating takes a few milliseconds, once.
#pragma once

#include <array>
#include <memory>

struct FactoryWaves {
    static constexpr int kWaveCount = 183;   // factory waves 0..182
    static constexpr int kSquareCount = 14;  // sub-oscillator squares 0..13
    static constexpr int kSize = 2048;       // samples per cycle, FFT bins per spectrum
    static constexpr int kMaxHarmonic = 512; // no wave has energy above this harmonic
    static constexpr int kSineWave = 0;
    static constexpr int kWhiteNoiseWave = 14;
    static constexpr int kPinkNoiseWave = 15;
    static constexpr int kFirstSpectrumWave = 55;        // "Spec 001"
    static constexpr int kFirstScaledPartialsWave = 128; // "Spec 074": magnitudes peak at 1024

    using Table = std::array<float, kSize>;

    std::array<Table, kWaveCount> oscWave;       // [wave][sample], -1..1
    std::array<Table, kWaveCount> partialsAmp;   // [wave][bin], magnitude
    std::array<Table, kWaveCount> partialsPhase; // [wave][bin], turns 0..1
    std::array<Table, kSquareCount> squareWave;  // [square][sample], -1..1

    static constexpr bool isNoise(int wave) {
        return wave == kWhiteNoiseWave || wave == kPinkNoiseWave;
    }

    // Generates a private copy on the heap (tests and benchmarks; the engine
    // uses factoryWaves()).
    static std::unique_ptr<FactoryWaves> build();

private:
    FactoryWaves() = default; // every entry is written by build()
};

// The process-wide factory data, generated on the first call (thread-safe)
// and read-only afterwards. The reference stays valid until exit.
const FactoryWaves& factoryWaves();
