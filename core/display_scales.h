// Conversions that a parameter's value text and its typed entry share, so
// that what is typed reads back as the text the display gives it.
#pragma once

#include "core/numeric.h"
#include "core/tags.h"

namespace display_scale {

// The whole percent a 0..100 % text shows: truncated, as the text is.
constexpr int percentShown(float value) {
    return truncTo(clamp01(value) * 100.0f, 0, 100);
}

// A free LFO's speed below this stands still and shows "Off".
constexpr float kFreeLfoStill = 0.00001f;

// The whole milliseconds an envelope time shows (1 .. 16384).
float envLenMs(float value);

// How a wave shaper amount (993, 994) reads in a shaper mode: not at all,
// -100..100 %, 0..200 % or 0..100 %.
enum class Shaper { Unused, Bipolar, Doubled, Percent };
constexpr Shaper shaperAmount(int t, int mode) {
    if (t == tag::WaveShaper1) {
        if (mode == 0) return Shaper::Unused;
        if (mode == 1 || mode == 4 || mode == 7 || mode == 8) return Shaper::Bipolar;
    } else {
        if (mode == 0 || mode == 3 || mode == 4 || mode == 5 || mode == 6 || mode == 14)
            return Shaper::Unused;
        if (mode == 12 || mode == 13) return Shaper::Bipolar;
    }
    return mode == 2 ? Shaper::Doubled : Shaper::Percent;
}

} // namespace display_scale
