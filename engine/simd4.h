// Four floats as one SSE2 vector: the unison lanes of a voice side by side.
//
// Every operator is the IEEE single-precision operation of its scalar
// counterpart, lane by lane, so code written once over a type T and run with
// T = float or T = F4 gives bit-identical results per lane (no fused
// multiply-add: the build targets plain x86-64).
//
// Masks are F4 values whose lanes are all ones (true) or all zeros (false),
// as the comparisons return them; select(m, a, b) takes a where m is set.
#pragma once

#include <emmintrin.h>

#include <array>
#include <cstdint>

struct F4 {
    __m128 v;

    F4() : v(_mm_setzero_ps()) {}
    F4(__m128 x) : v(x) {}
    F4(float x) : v(_mm_set1_ps(x)) {}
    static F4 of(float a, float b, float c, float d) { return _mm_setr_ps(a, b, c, d); }

    float operator[](int k) const { return v[k]; }
    void set(int k, float x) { v[k] = x; }

    friend F4 operator+(F4 a, F4 b) { return _mm_add_ps(a.v, b.v); }
    friend F4 operator-(F4 a, F4 b) { return _mm_sub_ps(a.v, b.v); }
    friend F4 operator*(F4 a, F4 b) { return _mm_mul_ps(a.v, b.v); }
    friend F4 operator/(F4 a, F4 b) { return _mm_div_ps(a.v, b.v); }
    friend F4 operator+(F4 a, float b) { return a + F4(b); }
    friend F4 operator-(F4 a, float b) { return a - F4(b); }
    friend F4 operator*(F4 a, float b) { return a * F4(b); }
    friend F4 operator+(float a, F4 b) { return F4(a) + b; }
    friend F4 operator-(float a, F4 b) { return F4(a) - b; }
    friend F4 operator*(float a, F4 b) { return F4(a) * b; }
    friend F4 operator/(float a, F4 b) { return F4(a) / b; }
    F4 operator-() const { return _mm_xor_ps(v, _mm_set1_ps(-0.0f)); }
    F4& operator+=(F4 b) { return *this = *this + b; }
    F4& operator-=(F4 b) { return *this = *this - b; }
    F4& operator*=(F4 b) { return *this = *this * b; }
};

// ---- masks and lane-wise helpers
inline F4 operator<(F4 a, F4 b) {
    return _mm_cmplt_ps(a.v, b.v);
}
inline F4 operator>(F4 a, F4 b) {
    return _mm_cmpgt_ps(a.v, b.v);
}
inline F4 operator<=(F4 a, F4 b) {
    return _mm_cmple_ps(a.v, b.v);
}
inline F4 operator>=(F4 a, F4 b) {
    return _mm_cmpge_ps(a.v, b.v);
}
inline F4 operator!=(F4 a, F4 b) {
    return _mm_cmpneq_ps(a.v, b.v);
} // true for NaN
inline F4 operator|(F4 a, F4 b) {
    return _mm_or_ps(a.v, b.v);
}
inline F4 operator&(F4 a, F4 b) {
    return _mm_and_ps(a.v, b.v);
}
inline F4 select(F4 m, F4 a, F4 b) {
    return _mm_or_ps(_mm_and_ps(m.v, a.v), _mm_andnot_ps(m.v, b.v));
}
// Bit k set when lane k of the mask is set.
inline int maskBits(F4 m) {
    return _mm_movemask_ps(m.v);
}
// The mask whose lane k is set when bit k is (the inverse of maskBits).
inline F4 maskOf(int bits) {
    const __m128i bit = _mm_setr_epi32(1, 2, 4, 8);
    return _mm_castsi128_ps(_mm_cmpeq_epi32(_mm_and_si128(_mm_set1_epi32(bits), bit), bit));
}
// Lanes 0..n-1 set.
inline F4 firstLanes(int n) {
    const __m128i k = _mm_setr_epi32(0, 1, 2, 3);
    return _mm_castsi128_ps(_mm_cmpgt_epi32(_mm_set1_epi32(n), k));
}
// Lane k alone set.
inline F4 onlyLane(int k) {
    const __m128i lanes = _mm_setr_epi32(0, 1, 2, 3);
    return _mm_castsi128_ps(_mm_cmpeq_epi32(_mm_set1_epi32(k), lanes));
}
// clampTo(v, lo, hi) of core/numeric.h lane by lane (NaN gives lo), except
// that -0 comes out as +0.
inline F4 clampTo(F4 v, F4 lo, F4 hi) {
    return _mm_min_ps(_mm_max_ps(v.v, lo.v), hi.v);
}
inline F4 abs(F4 a) {
    return _mm_andnot_ps(_mm_set1_ps(-0.0f), a.v);
}
// std::min(a, b) and std::max(a, b) lane by lane, NaN included (a NaN in a
// is returned as it is, one in b loses).
inline F4 stdMin(F4 a, F4 b) {
    return _mm_min_ps(b.v, a.v);
}
inline F4 stdMax(F4 a, F4 b) {
    return _mm_max_ps(b.v, a.v);
}

// Four table indices.
using I4 = std::array<int32_t, 4>;
inline I4 truncate(F4 a) {
    alignas(16) I4 r;
    _mm_store_si128(reinterpret_cast<__m128i*>(r.data()), _mm_cvttps_epi32(a.v));
    return r;
}
inline F4 gather(const float* table, const I4& i) {
    return _mm_setr_ps(table[i[0]], table[i[1]], table[i[2]], table[i[3]]);
}
inline float gather(const float* table, int i) {
    return table[i];
}
