// Factory wave generator.
//
// Every wave is made here at load time, from a recipe of harmonics
// (factory_wave_recipes.cpp): Saw 1/k; Square odd 1/k; triangles from one
// sampled period (skewed for Triangle 2, 3); "Rez n" a resonant burst
// (1 - t) sin(2 pi R t), R = 3, 5, 8, 12, 18; HalfSine with its DC removed;
// "SineSaw" .. "SqrRez" the normalised sums of two of those; small harmonic
// sets, darker saws, pulses of duty 0.4 .. 0.1, sparse spectra, a stepped
// sine, drawbar organs, a near-sine whistle, vowels as a 1/k source through
// three formants; "Spec 001..128" eight families of 16 spectral sweeps with
// one shared phase law. Each spectrum is cut at harmonic 512 and weighted by
// a Lanczos factor (no ringing at edges), its fundamental is put in sine
// phase (the whole wave rotated in time, or for the bursts the fundamental
// alone turned) and raised to at least 3 % of the strongest harmonic; it is
// synthesised with the inverse transform and divided by its peak.

#include "data/factory_waves.h"

#include "data/factory_wave_recipes.h"

#include "core/process_shared.h"
#include "waves/fft.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <numbers>

namespace {

namespace recipes = factory_wave_recipes;
using recipes::Spectrum;
using cd = std::complex<double>;

constexpr int kN = FactoryWaves::kSize;
constexpr int kHarmonics = recipes::kHarmonics;
constexpr double kPi = std::numbers::pi;
constexpr double kMinFundamental = 0.03; // of the strongest harmonic

// Lanczos sigma factor sinc(k / (K + 1)) over the K = 512 harmonics.
void applyLanczos(Spectrum& z) {
    static const std::array<double, kHarmonics + 1> sigma = [] {
        std::array<double, kHarmonics + 1> s{};
        for (int k = 1; k <= kHarmonics; ++k) {
            const double x = kPi * k / (kHarmonics + 1);
            s[k] = std::sin(x) / x;
        }
        return s;
    }();
    for (int k = 1; k <= kHarmonics; ++k) z[k] *= sigma[k];
}

double strongest(const Spectrum& z) {
    double m = 0.0;
    for (int k = 1; k <= kHarmonics; ++k) m = std::max(m, std::abs(z[k]));
    return m;
}

// Puts the fundamental in sine phase (z[1] = i |z[1]|) and gives it at least
// kMinFundamental of the strongest harmonic.
void alignFundamental(Spectrum& z, recipes::Alignment how) {
    const double peak = strongest(z);
    const double a1 = std::abs(z[1]);
    if (how == recipes::Alignment::kShift && a1 > 1e-6 * peak) {
        // A delay of tau turns harmonic k by 2 pi k tau.
        const cd step = std::polar(1.0, kPi / 2.0 - std::arg(z[1]));
        cd turn = step;
        for (int k = 1; k <= kHarmonics; ++k) {
            z[k] *= turn;
            turn *= step;
        }
    }
    z[1] = cd(0.0, std::max(a1, kMinFundamental * peak));
}

// Synthesises the spectrum into `out`, divided by its peak so that the
// largest |sample| is exactly 1.
void synthesise(const Spectrum& z, Fft2048& fft, float* out) {
    std::fill_n(fft.fftInRe, kN, 0.0f);
    std::fill_n(fft.fftInIm, kN, 0.0f);
    for (int k = 1; k <= kHarmonics; ++k) {
        const float re = static_cast<float>(z[k].real() * (kN / 2));
        const float im = static_cast<float>(z[k].imag() * (kN / 2));
        fft.fftInRe[k] = re;
        fft.fftInIm[k] = im;
        fft.fftInRe[kN - k] = re;
        fft.fftInIm[kN - k] = -im;
    }
    fft.ifft(kN);
    float peak = 0.0f;
    for (int j = 0; j < kN; ++j) peak = std::max(peak, std::fabs(fft.fftOutRe[j]));
    for (int j = 0; j < kN; ++j) out[j] = fft.fftOutRe[j] / peak;
}

void normalise(float* x) {
    float peak = 0.0f;
    for (int j = 0; j < kN; ++j) peak = std::max(peak, std::fabs(x[j]));
    for (int j = 0; j < kN; ++j) x[j] /= peak;
}

// Magnitudes and phases of a wave's forward transform; magnitudes scaled so
// that the largest is 1024 when `scaleTo1024`.
void analyse(const float* wave, Fft2048& fft, bool scaleTo1024, float* amp, float* phase) {
    std::copy_n(wave, kN, fft.fftInRe);
    std::fill_n(fft.fftInIm, kN, 0.0f);
    fft.fft(kN);
    constexpr float kTurn = static_cast<float>(1.0 / (2.0 * kPi));
    float largest = 0.0f;
    for (int k = 0; k < kN; ++k) {
        const float re = fft.fftOutRe[k];
        const float im = fft.fftOutIm[k];
        amp[k] = std::sqrt(re * re + im * im);
        largest = std::max(largest, amp[k]);
        phase[k] = std::clamp(std::atan2(im, re + 1e-5f) * kTurn + 0.5f, 0.0f, 1.0f);
    }
    if (scaleTo1024 && largest > 0.0f) {
        // Divided, not multiplied by a reciprocal, so that the largest lands on 1024 exactly.
        for (int k = 0; k < kN; ++k) amp[k] = amp[k] / largest * 1024.0f;
    }
    for (int k = 0; k < kN; ++k) amp[k] += 1e-15f;
}

} // namespace

std::unique_ptr<FactoryWaves> FactoryWaves::build() {
    std::unique_ptr<FactoryWaves> data(new FactoryWaves);
    auto fft = std::make_unique<Fft2048>();
    auto spectrum = std::make_unique<Spectrum>();

    for (int w = 0; w < kWaveCount; ++w) {
        float* out = data->oscWave[w].data();
        int first = 0;
        int second = 0;
        if (w == kSineWave) {
            for (int j = 0; j < kN; ++j) out[j] = static_cast<float>(std::sin(2.0 * kPi * j / kN));
        } else if (isNoise(w)) {
            std::fill_n(out, kN, 0.0f);
        } else if (recipes::sumPairFor(w, first, second)) {
            const float* a = data->oscWave[first].data();
            const float* b = data->oscWave[second].data();
            for (int j = 0; j < kN; ++j) out[j] = a[j] + b[j];
            normalise(out);
        } else {
            const auto how = recipes::waveSpectrum(w, *spectrum, *fft);
            applyLanczos(*spectrum);
            alignFundamental(*spectrum, how);
            synthesise(*spectrum, *fft, out);
        }
    }

    for (int w = 0; w < kWaveCount; ++w) {
        if (isNoise(w)) {
            data->partialsAmp[w].fill(1e-15f);
            data->partialsPhase[w].fill(0.5f);
            continue;
        }
        analyse(data->oscWave[w].data(), *fft, w >= kFirstScaledPartialsWave,
                data->partialsAmp[w].data(), data->partialsPhase[w].data());
    }

    for (int j = 0; j < kN; ++j) data->squareWave[0][j] = j < kN / 2 ? -1.0f : 1.0f;
    for (int s = 1; s < kSquareCount; ++s) {
        recipes::squareSpectrum(s, *spectrum);
        synthesise(*spectrum, *fft, data->squareWave[s].data());
    }
    return data;
}

const FactoryWaves& factoryWaves() {
    constinit static ProcessShared<FactoryWaves> shared{&FactoryWaves::build};
    return shared.get();
}
