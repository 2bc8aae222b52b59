// Recipes of the factory waves, as harmonic spectra (internal to data/).
//
// A spectrum holds one complex coefficient z[k] per harmonic k = 1..512
// (z[0] is unused: every wave has zero mean), meaning
//     x(t) = sum_k Re(z[k]) cos(2 pi k t) + Im(z[k]) sin(2 pi k t),  t in [0, 1),
// which is the forward transform's bin k divided by 1024 (waves/fft.h). A
// sine-phase harmonic of amplitude a is z = i a. Spectra are unnormalised;
// the builder synthesises, aligns and normalises them.
#pragma once

#include <array>
#include <complex>

class Fft2048;

namespace factory_wave_recipes {

inline constexpr int kHarmonics = 512;

using Spectrum = std::array<std::complex<double>, kHarmonics + 1>;

// How a recipe's fundamental is brought into sine phase.
enum class Alignment {
    kShift,    // rotate the whole wave in time (keeps its shape)
    kSetPhase, // turn the fundamental alone (for waves whose shape is anchored at t = 0)
};

// The spectrum of factory wave `wave` and how to align it. Not for the waves
// the builder makes itself: 0 (exact sine), 14 and 15 (noise), and 8..13
// (sums of two finished waves, see sumPairFor).
Alignment waveSpectrum(int wave, Spectrum& z, Fft2048& fft);

// For the waves 8..13 ("SineSaw" .. "SqrRez"), the two finished waves whose
// normalised sum they are; false for every other wave.
bool sumPairFor(int wave, int& first, int& second);

// The spectrum of sub-oscillator square 1..13 (square 0 is written directly).
void squareSpectrum(int square, Spectrum& z);

} // namespace factory_wave_recipes
