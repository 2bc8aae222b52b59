#include "waves/fft.h"

#include "core/numeric.h"
#include "core/process_shared.h"
#include "engine/tables.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <xmmintrin.h>

namespace {

constexpr int kSize = FftTables::kSize;
constexpr int kStages = FftTables::kStages;
constexpr float kTwoPi = 6.2831855f; // 2 pi rounded to single precision

static_assert(bitReverseTable.size() == kSize);

} // namespace

std::unique_ptr<FftTables> FftTables::build() {
    auto t = std::make_unique<FftTables>();
    for (int dir = 0; dir < 2; ++dir) {
        for (int s = 1; s <= kStages; ++s) {
            const int m = 1 << s;
            const int h = m / 2;
            const float theta = (dir == 0 ? kTwoPi : -kTwoPi) / static_cast<float>(m);
            const float half = std::sin(theta * 0.5f);
            const float c = 2.0f * half * half; // 1 - cos(theta)
            const float sn = std::sin(theta);

            float* rowRe = t->twiddleRe[dir][s - 1];
            float* rowIm = t->twiddleIm[dir][s - 1];
            // The first block's k-sequence; every block restarts at w = 1 and
            // so repeats it exactly.
            float re = 1.0f;
            float im = 0.0f;
            for (int k = 0; k < h; ++k) {
                rowRe[k] = re;
                rowIm[k] = im;
                const float nextRe = re - (c * re + sn * im);
                const float nextIm = im - (c * im - sn * re);
                re = nextRe;
                im = nextIm;
            }
            for (int b = 1; b < kSize / m; ++b) {
                std::copy_n(rowRe, h, rowRe + b * h);
                std::copy_n(rowIm, h, rowIm + b * h);
            }
            if (dir == 1) {
                for (int i = 0; i < FftTables::kButterflies; ++i) {
                    std::fill_n(t->ifft4TwiddleRe[s - 1][i], 4, rowRe[i]);
                    std::fill_n(t->ifft4TwiddleIm[s - 1][i], 4, rowIm[i]);
                }
            }
        }
    }
    return t;
}

namespace {

int clampSize(int n) {
    return clampTo(n, 0, kSize);
}

// The butterfly on four values at once (four lanes, or four neighbouring
// butterflies): T = W x[u]; x[u] = x[t] - T; x[t] = x[t] + T. The same
// operations in the same order as one scalar butterfly, so every path below
// gives the same results bit for bit.
inline void butterfly(__m128& tRe, __m128& tIm, __m128& uRe, __m128& uIm, __m128 wRe, __m128 wIm) {
    const __m128 pRe = _mm_sub_ps(_mm_mul_ps(wRe, uRe), _mm_mul_ps(wIm, uIm));
    const __m128 pIm = _mm_add_ps(_mm_mul_ps(wIm, uRe), _mm_mul_ps(wRe, uIm));
    uRe = _mm_sub_ps(tRe, pRe);
    uIm = _mm_sub_ps(tIm, pIm);
    tRe = _mm_add_ps(tRe, pRe);
    tIm = _mm_add_ps(tIm, pIm);
}

inline void butterfly(float& tRe, float& tIm, float& uRe, float& uIm, float wRe, float wIm) {
    const float pRe = wRe * uRe - wIm * uIm;
    const float pIm = wIm * uRe + wRe * uIm;
    uRe = tRe - pRe;
    uIm = tIm - pIm;
    tRe = tRe + pRe;
    tIm = tIm + pIm;
}

// ------------------------------------------------------------------ general path
// Any n: the bit-reversed copy of the first n inputs, then every stage's
// blocks that start below n. Twiddles are read by butterfly number.

void scalarGeneral(const float* inRe, const float* inIm, float* re, float* im,
                   const float (*wRe)[FftTables::kButterflies],
                   const float (*wIm)[FftTables::kButterflies], int n) {
    for (int i = 0; i < n; ++i) {
        re[bitReverseTable[i]] = inRe[i];
        im[bitReverseTable[i]] = inIm[i];
    }
    for (int s = 0; s < kStages; ++s) {
        const int h = 1 << s;
        for (int p = 0; p < n; p += 2 * h)
            for (int j = 0; j < h; ++j)
                butterfly(re[p + j], im[p + j], re[p + j + h], im[p + j + h], wRe[s][p / 2 + j],
                          wIm[s][p / 2 + j]);
    }
}

void fourLaneGeneral(const float (*inRe)[4], const float (*inIm)[4], float (*re)[4], float (*im)[4],
                     const FftTables& t, int n) {
    for (int i = 0; i < kSize; ++i) {
        _mm_store_ps(re[bitReverseTable[i]], _mm_load_ps(inRe[i]));
        _mm_store_ps(im[bitReverseTable[i]], _mm_load_ps(inIm[i]));
    }
    for (int s = 0; s < kStages; ++s) {
        const int h = 1 << s;
        for (int p = 0; p < n; p += 2 * h) {
            for (int j = 0; j < h; ++j) {
                __m128 tRe = _mm_load_ps(re[p + j]);
                __m128 tIm = _mm_load_ps(im[p + j]);
                __m128 uRe = _mm_load_ps(re[p + j + h]);
                __m128 uIm = _mm_load_ps(im[p + j + h]);
                butterfly(tRe, tIm, uRe, uIm, _mm_load_ps(t.ifft4TwiddleRe[s][p / 2 + j]),
                          _mm_load_ps(t.ifft4TwiddleIm[s][p / 2 + j]));
                _mm_store_ps(re[p + j], tRe);
                _mm_store_ps(im[p + j], tIm);
                _mm_store_ps(re[p + j + h], uRe);
                _mm_store_ps(im[p + j + h], uIm);
            }
        }
    }
}

// ------------------------------------------------------------------ 2048-point path
// The same butterflies, scheduled for speed: the bit-reversed copy is read
// into registers together with stages 1 and 2, and the stages then run in
// pairs (s, s + 1) over groups of four points t, t + h, t + 2h, t + 3h, so
// each pass reads and writes the data once for two stages. Every element
// still meets exactly the butterflies of the plain order with the same
// operands. Within a stage every block repeats the first block's twiddles,
// so the first block's are read.

// divisor: 0 for none, else every result is divided by it (in the last pass).
void scalarFull(const float* inRe, const float* inIm, float* re, float* im,
                const float (*wRe)[FftTables::kButterflies],
                const float (*wIm)[FftTables::kButterflies], float divisor) {
    const float w1Re = wRe[0][0], w1Im = wIm[0][0];
    const float w2Re0 = wRe[1][0], w2Im0 = wIm[1][0];
    const float w2Re1 = wRe[1][1], w2Im1 = wIm[1][1];
    for (int p = 0; p < kSize; p += 4) {
        float r0 = inRe[bitReverseTable[p]], i0 = inIm[bitReverseTable[p]];
        float r1 = inRe[bitReverseTable[p + 1]], i1 = inIm[bitReverseTable[p + 1]];
        float r2 = inRe[bitReverseTable[p + 2]], i2 = inIm[bitReverseTable[p + 2]];
        float r3 = inRe[bitReverseTable[p + 3]], i3 = inIm[bitReverseTable[p + 3]];
        butterfly(r0, i0, r1, i1, w1Re, w1Im);
        butterfly(r2, i2, r3, i3, w1Re, w1Im);
        butterfly(r0, i0, r2, i2, w2Re0, w2Im0);
        butterfly(r1, i1, r3, i3, w2Re1, w2Im1);
        re[p] = r0, im[p] = i0, re[p + 1] = r1, im[p + 1] = i1;
        re[p + 2] = r2, im[p + 2] = i2, re[p + 3] = r3, im[p + 3] = i3;
    }
    int s = 2; // stage 3, h = 4: from here four neighbouring butterflies per vector
    for (; s + 1 < kStages; s += 2) {
        const int h = 1 << s;
        for (int p = 0; p < kSize; p += 4 * h) {
            for (int j = 0; j < h; j += 4) {
                float* pr = re + p + j;
                float* pi = im + p + j;
                __m128 r0 = _mm_load_ps(pr), i0 = _mm_load_ps(pi);
                __m128 r1 = _mm_load_ps(pr + h), i1 = _mm_load_ps(pi + h);
                __m128 r2 = _mm_load_ps(pr + 2 * h), i2 = _mm_load_ps(pi + 2 * h);
                __m128 r3 = _mm_load_ps(pr + 3 * h), i3 = _mm_load_ps(pi + 3 * h);
                const __m128 aRe = _mm_load_ps(wRe[s] + j), aIm = _mm_load_ps(wIm[s] + j);
                butterfly(r0, i0, r1, i1, aRe, aIm);
                butterfly(r2, i2, r3, i3, aRe, aIm);
                butterfly(r0, i0, r2, i2, _mm_load_ps(wRe[s + 1] + j), _mm_load_ps(wIm[s + 1] + j));
                butterfly(r1, i1, r3, i3, _mm_load_ps(wRe[s + 1] + j + h),
                          _mm_load_ps(wIm[s + 1] + j + h));
                _mm_store_ps(pr, r0), _mm_store_ps(pi, i0);
                _mm_store_ps(pr + h, r1), _mm_store_ps(pi + h, i1);
                _mm_store_ps(pr + 2 * h, r2), _mm_store_ps(pi + 2 * h, i2);
                _mm_store_ps(pr + 3 * h, r3), _mm_store_ps(pi + 3 * h, i3);
            }
        }
    }
    // The last stage (11) alone, with the division if any.
    const int h = 1 << s;
    const __m128 d = _mm_set1_ps(divisor);
    for (int j = 0; j < h; j += 4) {
        __m128 r0 = _mm_load_ps(re + j), i0 = _mm_load_ps(im + j);
        __m128 r1 = _mm_load_ps(re + j + h), i1 = _mm_load_ps(im + j + h);
        butterfly(r0, i0, r1, i1, _mm_load_ps(wRe[s] + j), _mm_load_ps(wIm[s] + j));
        if (divisor != 0.0f) {
            r0 = _mm_div_ps(r0, d), i0 = _mm_div_ps(i0, d);
            r1 = _mm_div_ps(r1, d), i1 = _mm_div_ps(i1, d);
        }
        _mm_store_ps(re + j, r0), _mm_store_ps(im + j, i0);
        _mm_store_ps(re + j + h, r1), _mm_store_ps(im + j + h, i1);
    }
}

// Stages s and s + 1 of the four-lane transform in one pass.
void fourLanePair(float (*re)[4], float (*im)[4], const FftTables& t, int s) {
    const auto& wRe = t.ifft4TwiddleRe;
    const auto& wIm = t.ifft4TwiddleIm;
    const int h = 1 << s;
    for (int p = 0; p < kSize; p += 4 * h) {
        for (int j = 0; j < h; ++j) {
            float(*pr)[4] = re + p + j;
            float(*pi)[4] = im + p + j;
            __m128 r0 = _mm_load_ps(pr[0]), i0 = _mm_load_ps(pi[0]);
            __m128 r1 = _mm_load_ps(pr[h]), i1 = _mm_load_ps(pi[h]);
            __m128 r2 = _mm_load_ps(pr[2 * h]), i2 = _mm_load_ps(pi[2 * h]);
            __m128 r3 = _mm_load_ps(pr[3 * h]), i3 = _mm_load_ps(pi[3 * h]);
            const __m128 aRe = _mm_load_ps(wRe[s][j]), aIm = _mm_load_ps(wIm[s][j]);
            butterfly(r0, i0, r1, i1, aRe, aIm);
            butterfly(r2, i2, r3, i3, aRe, aIm);
            butterfly(r0, i0, r2, i2, _mm_load_ps(wRe[s + 1][j]), _mm_load_ps(wIm[s + 1][j]));
            butterfly(r1, i1, r3, i3, _mm_load_ps(wRe[s + 1][j + h]),
                      _mm_load_ps(wIm[s + 1][j + h]));
            _mm_store_ps(pr[0], r0), _mm_store_ps(pi[0], i0);
            _mm_store_ps(pr[h], r1), _mm_store_ps(pi[h], i1);
            _mm_store_ps(pr[2 * h], r2), _mm_store_ps(pi[2 * h], i2);
            _mm_store_ps(pr[3 * h], r3), _mm_store_ps(pi[3 * h], i3);
        }
    }
}

// Stage s alone.
void fourLaneStage(float (*re)[4], float (*im)[4], const FftTables& t, int s) {
    const int h = 1 << s;
    for (int p = 0; p < kSize; p += 2 * h) {
        for (int j = 0; j < h; ++j) {
            __m128 tRe = _mm_load_ps(re[p + j]), tIm = _mm_load_ps(im[p + j]);
            __m128 uRe = _mm_load_ps(re[p + j + h]), uIm = _mm_load_ps(im[p + j + h]);
            butterfly(tRe, tIm, uRe, uIm, _mm_load_ps(t.ifft4TwiddleRe[s][j]),
                      _mm_load_ps(t.ifft4TwiddleIm[s][j]));
            _mm_store_ps(re[p + j], tRe), _mm_store_ps(im[p + j], tIm);
            _mm_store_ps(re[p + j + h], uRe), _mm_store_ps(im[p + j + h], uIm);
        }
    }
}

// The last stage (11) alone, with the final scaling.
void fourLaneLast(float (*re)[4], float (*im)[4], const FftTables& t, float scale) {
    constexpr int s = kStages - 1;
    constexpr int h = 1 << s;
    const __m128 k = _mm_set1_ps(scale);
    for (int j = 0; j < h; ++j) {
        __m128 r0 = _mm_load_ps(re[j]), i0 = _mm_load_ps(im[j]);
        __m128 r1 = _mm_load_ps(re[j + h]), i1 = _mm_load_ps(im[j + h]);
        butterfly(r0, i0, r1, i1, _mm_load_ps(t.ifft4TwiddleRe[s][j]),
                  _mm_load_ps(t.ifft4TwiddleIm[s][j]));
        _mm_store_ps(re[j], _mm_mul_ps(r0, k)), _mm_store_ps(im[j], _mm_mul_ps(i0, k));
        _mm_store_ps(re[j + h], _mm_mul_ps(r1, k)), _mm_store_ps(im[j + h], _mm_mul_ps(i1, k));
    }
}

// Stages from `first` on: single first when an odd number of stages
// precede the last one, then pairs, then the last with the scaling.
void fourLaneFrom(float (*re)[4], float (*im)[4], const FftTables& t, int first, float scale) {
    int s = first;
    if ((kStages - 1 - s) % 2 != 0) fourLaneStage(re, im, t, s++);
    for (; s + 1 < kStages; s += 2) fourLanePair(re, im, t, s);
    fourLaneLast(re, im, t, scale);
}

void fourLaneFull(const float (*inRe)[4], const float (*inIm)[4], float (*re)[4], float (*im)[4],
                  const FftTables& t, float scale) {
    const auto& wRe = t.ifft4TwiddleRe;
    const auto& wIm = t.ifft4TwiddleIm;
    {
        const __m128 w1Re = _mm_load_ps(wRe[0][0]), w1Im = _mm_load_ps(wIm[0][0]);
        const __m128 w2Re0 = _mm_load_ps(wRe[1][0]), w2Im0 = _mm_load_ps(wIm[1][0]);
        const __m128 w2Re1 = _mm_load_ps(wRe[1][1]), w2Im1 = _mm_load_ps(wIm[1][1]);
        for (int p = 0; p < kSize; p += 4) {
            __m128 r0 = _mm_load_ps(inRe[bitReverseTable[p]]);
            __m128 i0 = _mm_load_ps(inIm[bitReverseTable[p]]);
            __m128 r1 = _mm_load_ps(inRe[bitReverseTable[p + 1]]);
            __m128 i1 = _mm_load_ps(inIm[bitReverseTable[p + 1]]);
            __m128 r2 = _mm_load_ps(inRe[bitReverseTable[p + 2]]);
            __m128 i2 = _mm_load_ps(inIm[bitReverseTable[p + 2]]);
            __m128 r3 = _mm_load_ps(inRe[bitReverseTable[p + 3]]);
            __m128 i3 = _mm_load_ps(inIm[bitReverseTable[p + 3]]);
            butterfly(r0, i0, r1, i1, w1Re, w1Im);
            butterfly(r2, i2, r3, i3, w1Re, w1Im);
            butterfly(r0, i0, r2, i2, w2Re0, w2Im0);
            butterfly(r1, i1, r3, i3, w2Re1, w2Im1);
            _mm_store_ps(re[p], r0), _mm_store_ps(im[p], i0);
            _mm_store_ps(re[p + 1], r1), _mm_store_ps(im[p + 1], i1);
            _mm_store_ps(re[p + 2], r2), _mm_store_ps(im[p + 2], i2);
            _mm_store_ps(re[p + 3], r3), _mm_store_ps(im[p + 3], i3);
        }
    }
    fourLaneFrom(re, im, t, 2, scale);
}

// A spectrum whose bins from `limit` on are zero. After the bit-reversed
// copy, block b of 2^s entries holds bins rev(b 2^s) + j 2048 / 2^s, of
// which only the first lies below the limit while 2048 / 2^s >= limit: every
// butterfly of stages 1..s meets a zero partner and leaves its input as it
// was, so each block holds its first bin throughout. Those stages are
// skipped, which leaves the results as the full transform gives them (but
// for the sign of a zero).
void fourLaneLowBins(const float (*inRe)[4], const float (*inIm)[4], float (*re)[4], float (*im)[4],
                     const FftTables& t, float scale, int limit) {
    int skipped = 0;
    while (skipped + 1 < kStages && (kSize >> (skipped + 1)) >= limit) ++skipped;
    const int block = 1 << skipped;
    const __m128 zero = _mm_setzero_ps();
    for (int p = 0; p < kSize; p += block) {
        const int bin = bitReverseTable[p];
        const __m128 vRe = bin < limit ? _mm_load_ps(inRe[bin]) : zero;
        const __m128 vIm = bin < limit ? _mm_load_ps(inIm[bin]) : zero;
        for (int j = 0; j < block; ++j) {
            _mm_store_ps(re[p + j], vRe);
            _mm_store_ps(im[p + j], vIm);
        }
    }
    fourLaneFrom(re, im, t, skipped, scale);
}

} // namespace

const FftTables& fftTables() {
    constinit static ProcessShared<FftTables> shared{&FftTables::build};
    return shared.get();
}

Fft2048::Fft2048() : tables_(&fftTables()) {}

int Fft2048::numberOfBitsNeeded(int powerOfTwo) {
    for (int i = 0; i < 16; ++i)
        if (powerOfTwo & (1 << i)) return i;
    return 16;
}

int Fft2048::reverseBits(int index, int numBits) {
    int r = 0;
    for (int i = 0; i < std::min(numBits, 32); ++i) {
        r = (r << 1) | (index & 1);
        index >>= 1;
    }
    return r;
}

void Fft2048::transform(int direction, int n) {
    const float* inRe = fftInRe;
    const float* inIm = fftInIm;
    const auto& wRe = tables_->twiddleRe[direction];
    const auto& wIm = tables_->twiddleIm[direction];
    const float divisor = direction == 1 ? static_cast<float>(n) : 0.0f;
    if (n == kSize) {
        scalarFull(inRe, inIm, fftOutRe, fftOutIm, wRe, wIm, divisor);
        return;
    }
    scalarGeneral(inRe, inIm, fftOutRe, fftOutIm, wRe, wIm, n);
    if (divisor != 0.0f) {
        for (int i = 0; i < n; ++i) {
            fftOutRe[i] /= divisor;
            fftOutIm[i] /= divisor;
        }
    }
}

void Fft2048::fft(int n) {
    transform(0, clampSize(n));
}

void Fft2048::ifft(int n) {
    transform(1, clampSize(n));
}

void Fft2048::m_ifftLowBins(int limit) {
    limit = clampSize(limit);
    if (limit * 2 > kSize) { // no stage to skip
        for (int k = limit; k < kSize; ++k) {
            _mm_store_ps(fft4InRe[k], _mm_setzero_ps());
            _mm_store_ps(fft4InIm[k], _mm_setzero_ps());
        }
        m_ifft(kSize);
        return;
    }
    fourLaneLowBins(fft4InRe, fft4InIm, fft4OutRe, fft4OutIm, *tables_, static_cast<float>(kSize),
                    std::max(limit, 1));
}

void Fft2048::m_ifft(int n) {
    n = clampSize(n);
    const float scale = static_cast<float>(n);
    if (n == kSize) {
        fourLaneFull(fft4InRe, fft4InIm, fft4OutRe, fft4OutIm, *tables_, scale);
        return;
    }
    fourLaneGeneral(fft4InRe, fft4InIm, fft4OutRe, fft4OutIm, *tables_, n);
    const __m128 k = _mm_set1_ps(scale);
    for (int i = 0; i < kSize; ++i) {
        _mm_store_ps(fft4OutRe[i], _mm_mul_ps(_mm_load_ps(fft4OutRe[i]), k));
        _mm_store_ps(fft4OutIm[i], _mm_mul_ps(_mm_load_ps(fft4OutIm[i]), k));
    }
}
