// Numeric helpers shared by every folder.
//
// One rule for NaN everywhere: a clamp turns NaN into its lower bound, so a
// value that is not a number (a damaged state chunk, a modulation sum gone
// bad) always lands on the quiet end of its range. Infinities clamp like any
// other value that is out of range.
#pragma once

#include <cmath>
#include <type_traits>

// v within lo..hi; NaN gives lo.
template <class T> constexpr T clampTo(T v, T lo, T hi) {
    return !(v >= lo) ? lo : (v > hi ? hi : v);
}

// v within 0..1; NaN gives 0.
template <class T> constexpr T clamp01(T v) {
    return clampTo(v, T(0), T(1));
}

// v when it is finite, otherwise the fallback.
template <class T> constexpr T finiteOr(T v, T fallback) {
    return std::isfinite(v) ? v : fallback;
}

// int(v) held within lo..hi: truncated toward zero as a cast truncates, but
// compared in floating point first, so that no value (1e30, an infinity, a
// restored state's garbage) reaches the conversion out of range. NaN gives
// lo. Every stored or modulated value that becomes an index, a count, a step
// or an offset goes through here.
template <class F> constexpr int truncTo(F v, int lo, int hi) {
    static_assert(std::is_floating_point_v<F>);
    if (!(v >= static_cast<F>(lo))) return lo;
    if (v >= static_cast<F>(hi)) return hi;
    return static_cast<int>(v);
}

// The nearest integer to v (halves away from zero), held within lo..hi; NaN
// gives lo. An int unless asked for another type (roundTo<double, int64_t>).
template <class F, class I = int>
constexpr I roundTo(F v, std::type_identity_t<I> lo, std::type_identity_t<I> hi) {
    static_assert(std::is_floating_point_v<F> && std::is_integral_v<I>);
    if (!(v >= static_cast<F>(lo))) return lo;
    if (v >= static_cast<F>(hi)) return hi;
    return static_cast<I>(v < F(0) ? v - F(0.5) : v + F(0.5));
}
