// Numeric helpers shared by every folder.
//
// One rule for NaN everywhere: a clamp turns NaN into its lower bound, so a
// value that is not a number (a damaged state chunk, a modulation sum gone
// bad) always lands on the quiet end of its range. Infinities clamp like any
// other value that is out of range.
#pragma once

#include <cmath>

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
