// Recipes of the factory waves.
//
// Basic shapes come from their Fourier series or from one sampled period
// (triangles, resonant bursts, half sine) cut at harmonic 512; organs and
// small harmonic sets are lists of sine partials; the vocal waves are a 1/k
// source through three formant resonances taken from published average
// vowel formants of adult male (Vocal A/E/O/U, tuned for C3) and adult
// female speakers (Vox 01..09, a walk round the vowel chart from "ee" to
// "oo", tuned for A3). The 128 "Spec" waves are eight families of 16 smooth
// sweeps of one spectral parameter each, all with the same phase per
// harmonic (one phase law), so that morphing along a family changes
// magnitudes only.

#include "data/factory_wave_recipes.h"

#include "waves/fft.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <numbers>
#include <utility>

namespace factory_wave_recipes {

namespace {

using cd = std::complex<double>;

constexpr double kPi = std::numbers::pi;
constexpr double kTwoPi = 2.0 * kPi;
constexpr int kN = 2048;

void clear(Spectrum& z) {
    z.fill(cd(0.0, 0.0));
}

cd sinePhase(double amplitude) {
    return cd(0.0, amplitude);
}

// One period sampled at t = j / 2048, analysed by the forward transform and
// cut at harmonic 512.
template <typename Shape> void fromSamples(Spectrum& z, Fft2048& fft, Shape shape) {
    for (int j = 0; j < kN; ++j) {
        fft.fftInRe[j] = static_cast<float>(shape(static_cast<double>(j) / kN));
        fft.fftInIm[j] = 0.0f;
    }
    fft.fft(kN);
    z[0] = 0.0;
    for (int k = 1; k <= kHarmonics; ++k) z[k] = cd(fft.fftOutRe[k], fft.fftOutIm[k]) / (kN / 2.0);
}

// Adds the exact harmonics of a level v held over t0 <= t < t1.
void addLevel(Spectrum& z, double t0, double t1, double v) {
    const cd step1 = std::polar(1.0, kTwoPi * t1);
    const cd step0 = std::polar(1.0, kTwoPi * t0);
    cd e1 = step1;
    cd e0 = step0;
    for (int k = 1; k <= kHarmonics; ++k) {
        z[k] += 2.0 * v * (e1 - e0) / cd(0.0, kTwoPi * k);
        e1 *= step1; // e^(2 pi i k t1)
        e0 *= step0;
    }
}

// Sine-phase partials {harmonic, amplitude}.
void partials(Spectrum& z, std::initializer_list<std::pair<int, double>> list) {
    clear(z);
    for (const auto& [k, a] : list) z[k] += sinePhase(a);
}

// Two-pole low-pass response at harmonic k for corner kc and quality q.
double resonantLowpass(double k, double kc, double q) {
    const double r = k / kc;
    return 1.0 / std::sqrt((1.0 - r * r) * (1.0 - r * r) + (r / q) * (r / q));
}

// A resonance peak of relative width `width` around kc, 0 far from it.
double bump(double k, double kc, double width) {
    const double d = (k - kc) / (width * kc);
    return 1.0 / (1.0 + d * d);
}

// ------------------------------------------------------------------ basic shapes

void saw(Spectrum& z, double corner) {
    clear(z);
    for (int k = 1; k <= kHarmonics; ++k) {
        const double r = corner > 0.0 ? k / corner : 0.0;
        z[k] = sinePhase(1.0 / k / std::sqrt(1.0 + r * r * r * r));
    }
}

void square(Spectrum& z) {
    clear(z);
    for (int k = 1; k <= kHarmonics; k += 2) z[k] = sinePhase(1.0 / k);
}

// A pulse of the given duty, centred on t = 0.25 so that its fundamental is
// a sine.
void pulse(Spectrum& z, double duty) {
    clear(z);
    addLevel(z, 0.25 - duty / 2.0, 0.25 + duty / 2.0, 2.0);
}

// A triangle peaking at t = a (+1) and t = 1 - a (-1), 0 at t = 0; a = 0.25
// is the symmetric triangle, smaller a skews it towards a saw.
void triangle(Spectrum& z, Fft2048& fft, double a) {
    fromSamples(z, fft, [a](double t) {
        if (t < a) return t / a;
        if (t < 1.0 - a) return 1.0 - 2.0 * (t - a) / (1.0 - 2.0 * a);
        return (t - 1.0) / a;
    });
}

// A resonant burst restarted every period: (1 - t) sin(2 pi R t).
void rez(Spectrum& z, Fft2048& fft, int ratio) {
    fromSamples(z, fft, [ratio](double t) { return (1.0 - t) * std::sin(kTwoPi * ratio * t); });
}

// A 16-step staircase of a sine, each step the sine at its middle.
void digix(Spectrum& z) {
    constexpr int kSteps = 16;
    clear(z);
    for (int n = 0; n < kSteps; ++n)
        addLevel(z, static_cast<double>(n) / kSteps, static_cast<double>(n + 1) / kSteps,
                 std::sin(kTwoPi * (n + 0.5) / kSteps));
}

// Drawbar levels 0..8 (3 dB a step) for the footages 8', 4', 2 2/3', 2',
// 1 3/5', 1 1/3', 1', which sound harmonics 1, 2, 3, 4, 5, 6, 8.
void organ(Spectrum& z, std::initializer_list<int> drawbars) {
    constexpr int kHarmonicOf[] = {1, 2, 3, 4, 5, 6, 8};
    clear(z);
    int bar = 0;
    for (const int level : drawbars) {
        if (level > 0) z[kHarmonicOf[bar]] = sinePhase(std::pow(10.0, -3.0 * (8 - level) / 20.0));
        ++bar;
    }
}

// ------------------------------------------------------------------ voice

struct Vowel {
    double f1, f2, f3; // formant centres, Hz
};

// Adult male averages (Peterson and Barney).
constexpr Vowel kMaleA = {730, 1090, 2440};
constexpr Vowel kMaleE = {530, 1840, 2480};
constexpr Vowel kMaleO = {570, 840, 2410};
constexpr Vowel kMaleU = {300, 870, 2240};
// Adult female averages, from "ee" round the chart to "oo".
constexpr Vowel kFemalePath[9] = {
    {310, 2790, 3310}, // ee (heed)
    {430, 2480, 3070}, // ih (hid)
    {610, 2330, 2990}, // eh (head)
    {860, 2050, 2850}, // ae (had)
    {760, 1400, 2780}, // uh (hud)
    {850, 1220, 2810}, // ah (hod)
    {590, 920, 2710},  // aw (hawed)
    {470, 1160, 2680}, // oo as in hood
    {370, 950, 2670},  // oo as in who'd
};

// Resonance of one formant at f Hz, unity at 0 Hz; conjugated so that its
// phase lag reads as a delay in the spectrum's convention.
cd formant(double f, double centre, double bandwidth) {
    return centre * centre / cd(centre * centre - f * f, -bandwidth * f);
}

void vocal(Spectrum& z, const Vowel& v, double pitchHz, double bandwidthScale) {
    clear(z);
    for (int k = 1; k <= kHarmonics; ++k) {
        const double f = k * pitchHz;
        const cd h = formant(f, v.f1, 60.0 * bandwidthScale) *
                     formant(f, v.f2, 90.0 * bandwidthScale) *
                     formant(f, v.f3, 140.0 * bandwidthScale);
        z[k] = sinePhase(1.0 / k) * h;
    }
}

// ------------------------------------------------------------------ spectral families

// The common phase law of the spectral families: harmonic k is turned by
// pi (k - 1)^2 / 96 from sine phase, a slow quadratic chirp that spreads the
// partials' peaks over the period and keeps dense spectra from piling up
// into one spike. The fundamental stays in sine phase.
const Spectrum& specPhaseLaw() {
    static const Spectrum law = [] {
        Spectrum p{};
        for (int k = 1; k <= kHarmonics; ++k) {
            const double km = k - 1.0;
            p[k] = std::polar(1.0, kPi / 2.0 + kPi * km * km / 96.0);
        }
        return p;
    }();
    return law;
}

// Small deterministic generator for the seeded family.
class Lcg {
public:
    explicit Lcg(std::uint32_t seed) : state_(seed) {}
    double next() { // 0..1
        state_ = state_ * 1664525u + 1013904223u;
        return static_cast<double>(state_ >> 8) / 16777216.0;
    }

private:
    std::uint32_t state_;
};

double randomAnchor(int anchor, int k) {
    // One value per (anchor, harmonic), independent of evaluation order.
    Lcg rng(0x9E3779B9u * static_cast<std::uint32_t>(anchor + 1) + 7919u * k);
    rng.next();
    return rng.next();
}

// Magnitude of harmonic k in member u (0..1) of spectral family f (0..7).
double familyMagnitude(int family, double u, int k, int member) {
    const double kd = k;
    switch (family) {
    case 0: { // resonant saw: low-pass peak swept from harmonic 2 to 64
        const double kc = 2.0 * std::pow(32.0, u);
        return resonantLowpass(kd, kc, 5.0) / kd;
    }
    case 1: { // resonant square: odd harmonics, peak swept from 3 to 96
        if (k % 2 == 0) return 0.0;
        const double kc = 3.0 * std::pow(32.0, u);
        return resonantLowpass(kd, kc, 8.0) / kd;
    }
    case 2: { // spectral tilt: k^-p, p from 2.2 down to 0.4
        const double p = 2.2 - 1.8 * u;
        return std::pow(kd, -p);
    }
    case 3: { // pulse comb: pulse magnitudes, duty from 0.45 down to 0.03
        const double duty = 0.45 * std::pow(0.03 / 0.45, u);
        return std::fabs(std::sin(kPi * kd * duty)) / kd;
    }
    case 4: { // partial band: a one-octave band centred from harmonic 2 to 96
        const double centre = 2.0 * std::pow(48.0, u);
        const double octaves = std::log2(kd / centre);
        return std::exp(-octaves * octaves / (2.0 * 0.5 * 0.5));
    }
    case 5: { // sparse series: harmonics 1, 1 + m, 1 + 2m ..., spacing m from 2 to 8
        const double m = 2.0 + 6.0 * u;
        const double comb = 0.5 + 0.5 * std::cos(kTwoPi * (kd - 1.0) / m);
        return std::pow(comb, 6.0) * std::pow(kd, -0.7);
    }
    case 6: { // two formants: one rising from 2 to 8, one falling from 32 to 16
        const double low = 2.0 * std::pow(4.0, u);
        const double high = 32.0 * std::pow(0.5, u);
        return (1.0 + 12.0 * bump(kd, low, 0.15)) * (1.0 + 12.0 * bump(kd, high, 0.12)) / kd /
               (1.0 + kd * kd / 4096.0);
    }
    default: { // seeded random: five random spectra, neighbours blended
        const double q = member * 4.0 / 15.0;
        const int a = std::min(static_cast<int>(q), 3);
        const double w = q - a;
        const double envelope = std::pow(kd, -0.9) * std::exp(-(kd / 160.0) * (kd / 160.0));
        const double r = randomAnchor(a, k) * (1.0 - w) + randomAnchor(a + 1, k) * w;
        return envelope * (0.15 + 0.85 * r);
    }
    }
}

void spectralFamily(Spectrum& z, int index) {
    const int family = index / 16;
    const int member = index % 16;
    const double u = member / 15.0;
    const Spectrum& law = specPhaseLaw();
    z[0] = 0.0;
    for (int k = 1; k <= kHarmonics; ++k) z[k] = law[k] * familyMagnitude(family, u, k, member);
}

} // namespace

bool sumPairFor(int wave, int& first, int& second) {
    static constexpr int kPairs[6][2] = {{0, 1}, {0, 2}, {0, 4}, {1, 2}, {1, 4}, {2, 4}};
    if (wave < 8 || wave > 13) return false;
    first = kPairs[wave - 8][0];
    second = kPairs[wave - 8][1];
    return true;
}

Alignment waveSpectrum(int wave, Spectrum& z, Fft2048& fft) {
    if (wave >= 55) {
        spectralFamily(z, wave - 55);
        return Alignment::kShift;
    }
    switch (wave) {
    case 1:
        saw(z, 0.0);
        break; // Saw
    case 2:
        square(z);
        break; // Square
    case 3:
        triangle(z, fft, 0.25);
        break; // Triangle
    case 4:
        rez(z, fft, 3);
        return Alignment::kSetPhase; // Rez 1
    case 5:
        rez(z, fft, 5);
        return Alignment::kSetPhase; // Rez 2
    case 6:
        rez(z, fft, 8);
        return Alignment::kSetPhase; // Rez 3
    case 34:
        rez(z, fft, 12);
        return Alignment::kSetPhase; // Rez 4
    case 35:
        rez(z, fft, 18);
        return Alignment::kSetPhase; // Rez 5
    case 7:                          // HalfSine
        fromSamples(z, fft, [](double t) { return std::max(std::sin(kTwoPi * t), 0.0); });
        break;
    // Harmc1..4: harmonic sets growing along 1, 2, 3, 5, 8.
    case 16:
        partials(z, {{1, 1.0}, {2, 0.6}});
        break;
    case 17:
        partials(z, {{1, 1.0}, {2, 0.6}, {3, 0.5}});
        break;
    case 18:
        partials(z, {{1, 1.0}, {2, 0.6}, {3, 0.5}, {5, 0.45}});
        break;
    case 19:
        partials(z, {{1, 1.0}, {2, 0.6}, {3, 0.5}, {5, 0.45}, {8, 0.4}});
        break;
    // Saw 2..5: the saw through a fourth-order roll-off from harmonic 32 down to 3.
    case 20:
        saw(z, 32.0);
        break;
    case 21:
        saw(z, 12.0);
        break;
    case 22:
        saw(z, 6.0);
        break;
    case 23:
        saw(z, 3.0);
        break;
    case 24:
        pulse(z, 0.4);
        break; // Square 2
    case 25:
        pulse(z, 0.3);
        break; // Square 3
    case 26:
        pulse(z, 0.2);
        break; // Square 4
    case 27:
        pulse(z, 0.1);
        break; // Square 5
    case 28:
        triangle(z, fft, 0.15);
        break; // Triangle 2
    case 29:
        triangle(z, fft, 0.07);
        break; // Triangle 3
    case 30:   // Glass: a few widely spaced bright partials
        partials(z, {{1, 1.0}, {4, 0.45}, {7, 0.4}, {11, 0.3}, {17, 0.25}, {23, 0.15}});
        break;
    case 31: // Hollow: odd harmonics only
        partials(z, {{1, 1.0}, {3, 0.75}, {5, 0.5}, {7, 0.35}, {9, 0.25}, {11, 0.18}, {13, 0.12}});
        break;
    case 32: // Octave: harmonics 1, 2, 4 .. 64
        partials(z,
                 {{1, 1.0}, {2, 0.75}, {4, 0.56}, {8, 0.42}, {16, 0.32}, {32, 0.24}, {64, 0.18}});
        break;
    case 33: // Overtone: a strong fifth harmonic over a quiet base
        partials(
            z,
            {{1, 0.35}, {2, 0.2}, {3, 0.15}, {4, 0.2}, {5, 1.0}, {6, 0.5}, {8, 0.35}, {10, 0.2}});
        break;
    case 36:
        digix(z);
        break; // Digix
    case 37:
        organ(z, {8, 8, 6, 0, 0, 0, 0});
        break; // Organ 1
    case 38:
        organ(z, {8, 8, 8, 6, 0, 4, 0});
        break; // Organ 2
    case 39:
        organ(z, {8, 8, 8, 8, 8, 8, 8});
        break; // Organ 3
    case 40:
        organ(z, {8, 7, 5, 6, 3, 4, 5});
        break; // Ch. Organ
    case 41:
        partials(z, {{1, 1.0}, {2, 0.04}, {3, 0.015}});
        break; // Whistle
    case 42:
        vocal(z, kMaleA, 130.81, 1.0);
        break; // Vocal A
    case 43:
        vocal(z, kMaleE, 130.81, 1.0);
        break; // Vocal E
    case 44:
        vocal(z, kMaleO, 130.81, 1.0);
        break; // Vocal O
    case 45:
        vocal(z, kMaleU, 130.81, 1.0);
        break; // Vocal U
    default:
        if (wave >= 46 && wave <= 54) { // Vox 01..09
            vocal(z, kFemalePath[wave - 46], 220.0, 1.3);
            break;
        }
        clear(z); // not a recipe wave
        break;
    }
    return Alignment::kShift;
}

void squareSpectrum(int square, Spectrum& z) {
    // Each square serves a range of notes; its harmonics roll off (Gaussian
    // in k) from a corner of 10 kHz over the top note of that range, so the
    // edges soften as the range rises. Polarity as square 0: low, then high.
    const int topNote = square <= 12 ? 64 + 5 * (square - 1) : 127;
    const double topHz = 440.0 * std::pow(2.0, (topNote - 69) / 12.0);
    const double corner = 10000.0 / topHz;
    clear(z);
    for (int k = 1; k <= kHarmonics; k += 2) {
        const double r = k / corner;
        if (r > 6.0) break;
        z[k] = sinePhase(-std::exp(-r * r) / k);
    }
}

} // namespace factory_wave_recipes
