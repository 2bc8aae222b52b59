// 2048-point complex FFT.
//
// Sign and scale. The forward transform uses the positive exponent and no
// scaling, the inverse the negative exponent divided by N = 2048:
//
//     fft:   X[k] = sum_j x[j] e^(+2 pi i j k / 2048)
//     ifft:  x[j] = 1/2048 sum_k X[k] e^(-2 pi i j k / 2048)
//
// so a real sine sin(2 pi j / 2048) of amplitude 1 gives X[1] = +1024 i and
// X[2047] = -1024 i; a real wave of amplitude a at harmonic k has
// |X[k]| = 1024 a. Phases of partials are kept in turns: with
// phase = atan2(Im X, Re X) / 2 pi + 0.5, that sine has phase 0.75 at bin 1,
// and a partial {amplitude a, phase p} is put back as the bin
// a (cos t, sin t) with t = (p - 0.5) 2 pi.
//
// Algorithm. Radix-2 decimation in time: a bit-reversed copy of the input
// into the output buffers, then 11 in-place butterfly stages. The twiddle of
// stage s (block size m = 2^s) for butterfly k of a block is W_m^k, produced
// in single precision by the recurrence w' = w (cos t + i sin t),
// t = +-2 pi / m, written as re' = re - (c re + sn im), im' = im - (c im -
// sn re) with c = 2 sin^2(t / 2), sn = sin t, restarted at 1 for every block.
// The tables therefore carry that recurrence's rounding, not exact cosines.
// The 2048-point transforms run the same butterflies two stages per pass
// (the bit-reversed read merged with stages 1 and 2, vectorised four
// butterflies or four lanes at a time with SSE), which changes the order of
// memory traffic, not of arithmetic: every result is bit for bit that of the
// plain stage-by-stage loop, and m_ifft's lane l is exactly n * n times what
// ifft gives for the same spectrum.
//
// Tables and buffers. The twiddle rows (one entry per butterfly, read
// sequentially) and the 4-lane copies of the inverse twiddles are built once
// per process on first use and shared read-only by every Fft2048 object, on
// any thread. The work buffers belong to the object: each thread or caller
// that transforms owns its own Fft2048 (about 160 KiB; keep it on the heap or
// inside a heap-allocated owner, not on an audio thread's stack). The
// transforms never allocate.
#pragma once

#include <cstdint>
#include <memory>

// The shared, immutable tables of the transform.
struct FftTables {
    static constexpr int kSize = 2048;
    static constexpr int kStages = 11;
    static constexpr int kButterflies = kSize / 2; // per stage

    // [direction: 0 forward, 1 inverse][stage 0..10 for s = 1..11]
    // [butterfly b * (m/2) + k]: W_m^k for m = 2^s, real and imaginary parts.
    alignas(16) float twiddleRe[2][kStages][kButterflies];
    alignas(16) float twiddleIm[2][kStages][kButterflies];
    // The inverse twiddles again, each value repeated in all four lanes.
    alignas(16) float ifft4TwiddleRe[kStages][kButterflies][4];
    alignas(16) float ifft4TwiddleIm[kStages][kButterflies][4];

    // Builds a private copy (benchmarks and tests; transforms use fftTables()).
    static std::unique_ptr<FftTables> build();
};

// The process-wide tables, built on first call (thread-safe); they live while
// the library or any instance holds the shared objects (core/process_shared.h).
const FftTables& fftTables();

class Fft2048 {
public:
    static constexpr int kSize = 2048;
    static constexpr int kLanes = 4;

    Fft2048(); // makes sure the shared tables exist; the buffers start at 0

    // Forward transform of (fftInRe, fftInIm) into (fftOutRe, fftOutIm); no
    // scaling. The input is left unchanged.
    void fft(int n = kSize);
    // Inverse transform of (fftInRe, fftInIm) into (fftOutRe, fftOutIm),
    // divided by n. The input is left unchanged.
    void ifft(int n = kSize);
    // Four independent inverse transforms at once, lane l of (fft4InRe,
    // fft4InIm) into lane l of (fft4OutRe, fft4OutIm), multiplied by n (not
    // divided): each lane equals n * n times what ifft gives for it.
    void m_ifft(int n = kSize);
    // m_ifft(2048) of four spectra whose bins from `limit` on are zero: only
    // bins 0 .. limit - 1 of the inputs are read (above 1024 the others are
    // set to zero), and the stages in which every butterfly meets a zero are
    // skipped. The results are m_ifft's bit for bit, but for the sign of a
    // zero; 11 stages at a limit above 1024, 8 at 149, 3 at 8.
    void m_ifftLowBins(int limit);

    // Index of the lowest set bit among bits 0..15 (log2 of a power of two);
    // 16 when none of them is set.
    static int numberOfBitsNeeded(int powerOfTwo);
    // index with its numBits low bits in reverse order; 0 when numBits < 1.
    static int reverseBits(int index, int numBits);

    // The size is fixed at 2048: n (clamped to 0..2048) only bounds the copy
    // and block loops, so any other n gives no meaningful result. Every
    // caller passes 2048.

    // Scalar work buffers: fill the inputs, call, read the outputs.
    alignas(16) float fftInRe[kSize] = {};
    alignas(16) float fftOutRe[kSize] = {};
    alignas(16) float fftInIm[kSize] = {};
    alignas(16) float fftOutIm[kSize] = {};

    // 4-lane work buffers of m_ifft: element i holds bin or sample i of four
    // independent transforms, lane l for transform l.
    alignas(16) float fft4InRe[kSize][kLanes] = {};
    alignas(16) float fft4OutRe[kSize][kLanes] = {};
    alignas(16) float fft4InIm[kSize][kLanes] = {};
    alignas(16) float fft4OutIm[kSize][kLanes] = {};

private:
    void transform(int direction, int n); // direction 1 also divides by n

    const FftTables* tables_;
};
