#include "waves/fft.h"

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
    return std::clamp(n, 0, kSize);
}

// One stage of butterflies on split real/imaginary arrays, blocks of 2h
// starting below n. T = W x[u]; x[u] = x[t] - T; x[t] = x[t] + T.
inline void scalarStage(float* re, float* im, const float* wRe, const float* wIm, int h, int n) {
    if (h < 4) {
        for (int p = 0; p < n; p += 2 * h) {
            for (int j = 0; j < h; ++j) {
                const int t = p + j;
                const int u = t + h;
                const float wr = wRe[p / 2 + j];
                const float wi = wIm[p / 2 + j];
                const float tr = wr * re[u] - wi * im[u];
                const float ti = wi * re[u] + wr * im[u];
                re[u] = re[t] - tr;
                im[u] = im[t] - ti;
                re[t] = re[t] + tr;
                im[t] = im[t] + ti;
            }
        }
        return;
    }
    // Four neighbouring butterflies per step: the same operations in the same
    // order, so the results equal the one-at-a-time loop above bit for bit.
    for (int p = 0; p < n; p += 2 * h) {
        float* tr0 = re + p;
        float* ti0 = im + p;
        float* ur0 = tr0 + h;
        float* ui0 = ti0 + h;
        const float* wr0 = wRe + p / 2;
        const float* wi0 = wIm + p / 2;
        for (int j = 0; j < h; j += 4) {
            const __m128 wr = _mm_load_ps(wr0 + j);
            const __m128 wi = _mm_load_ps(wi0 + j);
            const __m128 ur = _mm_load_ps(ur0 + j);
            const __m128 ui = _mm_load_ps(ui0 + j);
            const __m128 xr = _mm_load_ps(tr0 + j);
            const __m128 xi = _mm_load_ps(ti0 + j);
            const __m128 tr = _mm_sub_ps(_mm_mul_ps(wr, ur), _mm_mul_ps(wi, ui));
            const __m128 ti = _mm_add_ps(_mm_mul_ps(wi, ur), _mm_mul_ps(wr, ui));
            _mm_store_ps(ur0 + j, _mm_sub_ps(xr, tr));
            _mm_store_ps(ui0 + j, _mm_sub_ps(xi, ti));
            _mm_store_ps(tr0 + j, _mm_add_ps(xr, tr));
            _mm_store_ps(ti0 + j, _mm_add_ps(xi, ti));
        }
    }
}

} // namespace

const FftTables& fftTables() {
    static const std::unique_ptr<const FftTables> shared = FftTables::build();
    return *shared;
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
    for (int i = 0; i < n; ++i) {
        const int r = bitReverseTable[i];
        fftOutRe[r] = fftInRe[i];
        fftOutIm[r] = fftInIm[i];
    }
    for (int s = 0; s < kStages; ++s)
        scalarStage(fftOutRe, fftOutIm, tables_->twiddleRe[direction][s],
                    tables_->twiddleIm[direction][s], 1 << s, n);
}

void Fft2048::fft(int n) {
    transform(0, clampSize(n));
}

void Fft2048::ifft(int n) {
    n = clampSize(n);
    transform(1, n);
    const float scale = static_cast<float>(n);
    for (int i = 0; i < n; ++i) {
        fftOutRe[i] /= scale;
        fftOutIm[i] /= scale;
    }
}

void Fft2048::m_ifft(int n) {
    n = clampSize(n);
    for (int i = 0; i < kSize; ++i) {
        const int r = bitReverseTable[i];
        _mm_store_ps(fft4OutRe[r], _mm_load_ps(fft4InRe[i]));
        _mm_store_ps(fft4OutIm[r], _mm_load_ps(fft4InIm[i]));
    }
    for (int s = 0; s < kStages; ++s) {
        const int h = 1 << s;
        const float(*wRe)[4] = tables_->ifft4TwiddleRe[s];
        const float(*wIm)[4] = tables_->ifft4TwiddleIm[s];
        for (int p = 0; p < n; p += 2 * h) {
            for (int j = 0; j < h; ++j) {
                const int t = p + j;
                const int u = t + h;
                const __m128 wr = _mm_load_ps(wRe[p / 2 + j]);
                const __m128 wi = _mm_load_ps(wIm[p / 2 + j]);
                const __m128 ur = _mm_load_ps(fft4OutRe[u]);
                const __m128 ui = _mm_load_ps(fft4OutIm[u]);
                const __m128 xr = _mm_load_ps(fft4OutRe[t]);
                const __m128 xi = _mm_load_ps(fft4OutIm[t]);
                const __m128 tr = _mm_sub_ps(_mm_mul_ps(wr, ur), _mm_mul_ps(wi, ui));
                const __m128 ti = _mm_add_ps(_mm_mul_ps(wi, ur), _mm_mul_ps(wr, ui));
                _mm_store_ps(fft4OutRe[u], _mm_sub_ps(xr, tr));
                _mm_store_ps(fft4OutIm[u], _mm_sub_ps(xi, ti));
                _mm_store_ps(fft4OutRe[t], _mm_add_ps(xr, tr));
                _mm_store_ps(fft4OutIm[t], _mm_add_ps(xi, ti));
            }
        }
    }
    const __m128 scale = _mm_set1_ps(static_cast<float>(n));
    for (int i = 0; i < kSize; ++i) {
        _mm_store_ps(fft4OutRe[i], _mm_mul_ps(_mm_load_ps(fft4OutRe[i]), scale));
        _mm_store_ps(fft4OutIm[i], _mm_mul_ps(_mm_load_ps(fft4OutIm[i]), scale));
    }
}
