// Measuring rendered audio: windowed spectra, the amplitude of a tone at an
// exact frequency, and the frequency of a peak.
//
//     const auto s = Spectrum::of(samples, 44100.0);   // Blackman-Harris window
//     s.amplitudeNear(440.0)                           // strongest bin near 440 Hz
//     toneAmplitude(samples, 44100.0, 440.0)           // windowed DTFT at 440 Hz
//     peakFrequency(samples, 44100.0, 430.0, 450.0)    // refined peak position
//
// Amplitudes are calibrated so that a sine of amplitude A reads A (the window's
// coherent gain is divided out). The FFT uses the largest power of two that
// fits the samples. Everything is double precision; nothing here is fast, but
// a few FFTs of 2^15 points per test cost a few milliseconds.
#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <vector>

namespace spectrum {

constexpr double kPi = 3.14159265358979323846;

enum class Window { BlackmanHarris, Hann };

// Window values for n points. Blackman-Harris (4 terms): side lobes below
// -92 dB, main lobe +-4 bins; Hann: side lobes -31 dB, main lobe +-2 bins.
inline std::vector<double> window(std::size_t n, Window kind = Window::BlackmanHarris) {
    std::vector<double> w(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double x = 2.0 * kPi * static_cast<double>(i) / static_cast<double>(n);
        w[i] = kind == Window::Hann ? 0.5 - 0.5 * std::cos(x)
                                    : 0.35875 - 0.48829 * std::cos(x) + 0.14128 * std::cos(2 * x) -
                                          0.01168 * std::cos(3 * x);
    }
    return w;
}

// In-place radix-2 FFT; a.size() must be a power of two.
inline void fft(std::vector<std::complex<double>>& a) {
    const std::size_t n = a.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const double angle = -2.0 * kPi / static_cast<double>(len);
        const std::complex<double> step(std::cos(angle), std::sin(angle));
        for (std::size_t i = 0; i < n; i += len) {
            std::complex<double> w(1.0, 0.0);
            for (std::size_t k = 0; k < len / 2; ++k) {
                const std::complex<double> u = a[i + k];
                const std::complex<double> v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                w *= step;
            }
        }
    }
}

inline std::size_t powerOfTwoBelow(std::size_t n) {
    std::size_t p = 1;
    while (p * 2 <= n) p *= 2;
    return p;
}

inline double dB(double ratio) {
    return 20.0 * std::log10(std::max(ratio, 1e-300));
}

// Amplitude spectrum of one windowed FFT.
struct Spectrum {
    double rate = 0.0;
    std::size_t size = 0;    // FFT points
    std::vector<double> amp; // size / 2 + 1 bins, calibrated to sine amplitude

    static Spectrum of(const std::vector<float>& x, double rate,
                       Window kind = Window::BlackmanHarris) {
        Spectrum s;
        s.rate = rate;
        s.size = powerOfTwoBelow(x.size());
        const std::vector<double> w = window(s.size, kind);
        double gain = 0.0;
        for (double v : w) gain += v;
        std::vector<std::complex<double>> a(s.size);
        for (std::size_t i = 0; i < s.size; ++i) a[i] = x[i] * w[i];
        fft(a);
        s.amp.resize(s.size / 2 + 1);
        for (std::size_t k = 0; k < s.amp.size(); ++k) s.amp[k] = 2.0 * std::abs(a[k]) / gain;
        return s;
    }

    double binHz() const { return rate / static_cast<double>(size); }
    double frequency(std::size_t bin) const { return static_cast<double>(bin) * binHz(); }
    std::size_t bin(double hz) const {
        const double b = std::round(hz / binHz());
        return static_cast<std::size_t>(std::clamp(b, 0.0, static_cast<double>(amp.size() - 1)));
    }

    // The strongest bin within `bins` bins of hz (the peak of a tone that
    // lies between bins).
    double amplitudeNear(double hz, int bins = 2) const {
        const std::size_t c = bin(hz);
        double best = 0.0;
        for (std::size_t k = c > static_cast<std::size_t>(bins) ? c - bins : 0;
             k <= std::min(c + bins, amp.size() - 1); ++k)
            best = std::max(best, amp[k]);
        return best;
    }

    // The strongest bin between two frequencies.
    std::size_t strongestBin(double loHz, double hiHz) const {
        std::size_t best = bin(loHz);
        for (std::size_t k = bin(loHz); k <= bin(hiHz); ++k)
            if (amp[k] > amp[best]) best = k;
        return best;
    }

    // Sum of squared amplitudes of the bins from loHz up to hiHz (a power
    // measure for broadband signals).
    double bandPower(double loHz, double hiHz) const {
        double p = 0.0;
        for (std::size_t k = bin(loHz); k < bin(hiHz); ++k) p += amp[k] * amp[k];
        return p;
    }
};

// Windowed DTFT amplitude of x at exactly hz, calibrated like Spectrum.
inline double toneAmplitude(const std::vector<float>& x, double rate, double hz,
                            Window kind = Window::BlackmanHarris) {
    const std::vector<double> w = window(x.size(), kind);
    const double omega = 2.0 * kPi * hz / rate;
    double re = 0.0, im = 0.0, gain = 0.0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double phase = omega * static_cast<double>(i);
        re += w[i] * x[i] * std::cos(phase);
        im -= w[i] * x[i] * std::sin(phase);
        gain += w[i];
    }
    return 2.0 * std::hypot(re, im) / gain;
}

// Frequency of the strongest component between loHz and hiHz: the strongest
// FFT bin, then a golden-section search of the DTFT magnitude around it. The
// range should hold one tone (the search assumes a single maximum within one
// bin either side of the strongest bin).
inline double peakFrequency(const std::vector<float>& x, double rate, double loHz, double hiHz) {
    const Spectrum s = Spectrum::of(x, rate);
    const std::size_t n = s.size;
    const std::vector<float> head(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(n));
    double a = s.frequency(s.strongestBin(loHz, hiHz)) - s.binHz();
    double b = a + 2.0 * s.binHz();
    const double g = (std::sqrt(5.0) - 1.0) / 2.0;
    double c = b - g * (b - a), d = a + g * (b - a);
    double fc = toneAmplitude(head, rate, c), fd = toneAmplitude(head, rate, d);
    while (b - a > 1e-4) {
        if (fc > fd) {
            b = d;
            d = c;
            fd = fc;
            c = b - g * (b - a);
            fc = toneAmplitude(head, rate, c);
        } else {
            a = c;
            c = d;
            fc = fd;
            d = a + g * (b - a);
            fd = toneAmplitude(head, rate, d);
        }
    }
    return (a + b) / 2.0;
}

// The strongest component that is not a harmonic of f0: every bin from
// loHz to hiHz farther than `guardBins` bins from each multiple of f0.
struct Component {
    double hz = 0.0;
    double amplitude = 0.0;
};
inline Component strongestNonHarmonic(const Spectrum& s, double f0, double loHz, double hiHz,
                                      double guardBins = 6.0) {
    Component best;
    const double guard = guardBins * s.binHz();
    for (std::size_t k = s.bin(loHz); k <= s.bin(hiHz); ++k) {
        const double f = s.frequency(k);
        const double nearest = std::max(1.0, std::round(f / f0)) * f0;
        if (std::fabs(f - nearest) <= guard) continue;
        if (s.amp[k] > best.amplitude) best = {f, s.amp[k]};
    }
    return best;
}

// Root mean square and mean of a stretch of samples.
inline double rms(const std::vector<float>& x) {
    double sum = 0.0;
    for (float v : x) sum += static_cast<double>(v) * v;
    return x.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(x.size()));
}
inline double mean(const std::vector<float>& x) {
    double sum = 0.0;
    for (float v : x) sum += v;
    return x.empty() ? 0.0 : sum / static_cast<double>(x.size());
}

} // namespace spectrum
