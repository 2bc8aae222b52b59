// Constant tables of the voice stage: unison gain divisors and copy counts,
// and the pitch-bend ranges.
#pragma once

#include <array>

// Gain divisor of each unison mode: 1/sqrt(n) to three decimals for the n
// stacked copies of the mode.
inline constexpr std::array<float, 24> UNI_DIVIDE = {
    1.0f, 0.707f, 0.577f, 0.5f, 0.707f, 0.577f, 0.5f, 0.577f, 0.707f, 0.577f, 0.577f, 0.5f,
    0.5f, 0.5f,   0.577f, 0.5f, 0.5f,   0.5f,   0.5f, 0.5f,   0.5f,   0.5f,   0.577f, 0.5f};

// Copies stacked by each unison mode (1..4), the n behind its divisor.
inline constexpr std::array<int, 24> UNI_VOICE_NUM = [] {
    std::array<int, 24> n{};
    for (std::size_t m = 0; m < n.size(); ++m) {
        const float d = UNI_DIVIDE[m];
        n[m] = d > 0.9f ? 1 : d > 0.65f ? 2 : d > 0.55f ? 3 : 4;
    }
    return n;
}();

// Pitch-bend ranges in octaves: none, 1..12 semitones, then 2, 3 and 4 octaves.
inline constexpr std::array<float, 16> PITCH_BEND_RANGE_ARRAY = {
    0.0f,         1.0f / 12.0f, 2.0f / 12.0f, 3.0f / 12.0f, 4.0f / 12.0f,  5.0f / 12.0f,
    6.0f / 12.0f, 7.0f / 12.0f, 8.0f / 12.0f, 9.0f / 12.0f, 10.0f / 12.0f, 11.0f / 12.0f,
    1.0f,         2.0f,         3.0f,         4.0f};
