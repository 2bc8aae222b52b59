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

// Pitch of each unison copy in semitones, per unison mode. The detuned modes
// ("2", "3", "4", and copies 1 and 3 of "2 Special") scale theirs by the
// unison detune; the octave and chord modes play their intervals as they are.
inline constexpr std::array<std::array<float, 4>, 24> UNI_PITCH = {{
    {0.0f, 0.0f, 0.0f, 0.0f},     // Off
    {-0.5f, 0.5f, 0.0f, 0.0f},    // 2
    {0.0f, -1.0f, 1.0f, 0.0f},    // 3
    {-0.33f, 0.33f, -1.0f, 1.0f}, // 4
    {0.0f, 12.0f, 0.0f, 0.0f},    // 2 Octaves
    {0.0f, 12.0f, -12.0f, 0.0f},  // 3 Octaves
    {0.0f, 0.0f, 12.0f, 12.0f},   // 2 Special
    {0.0f, 4.0f, 7.0f, 0.0f},     // Major
    {0.0f, 7.0f, 0.0f, 0.0f},     // Fifth
    {0.0f, 5.0f, 7.0f, 0.0f},     // Sus4
    {0.0f, 2.0f, 7.0f, 0.0f},     // Sus2
    {0.0f, 4.0f, 7.0f, 14.0f},    // Major Add9
    {0.0f, 4.0f, 7.0f, 9.0f},     // Major 6
    {0.0f, 4.0f, 7.0f, 11.0f},    // Major 7
    {0.0f, 3.0f, 7.0f, 0.0f},     // Minor
    {0.0f, 3.0f, 7.0f, 14.0f},    // Minor Add9
    {0.0f, 3.0f, 7.0f, 9.0f},     // Minor 6
    {0.0f, 3.0f, 7.0f, 8.0f},     // Minor b6
    {0.0f, 3.0f, 7.0f, 10.0f},    // Minor 7
    {0.0f, 3.0f, 6.0f, 10.0f},    // Minor 7b5
    {0.0f, 4.0f, 7.0f, 10.0f},    // Dominant 7
    {0.0f, 5.0f, 7.0f, 10.0f},    // 7 Sus4
    {0.0f, 3.0f, 6.0f, 0.0f},     // Diminished
    {0.0f, 3.0f, 6.0f, 9.0f},     // Diminish 7
}};

// Stereo position of each unison copy (-1 left .. +1 right) at full unison
// spread, by the number of copies the mode stacks.
inline constexpr std::array<std::array<float, 4>, 24> UNI_STEREO_SPREAD = [] {
    std::array<std::array<float, 4>, 24> t{};
    for (std::size_t m = 0; m < t.size(); ++m) {
        switch (UNI_VOICE_NUM[m]) {
        case 2:
            t[m] = {-1.0f, 1.0f, 0.0f, 0.0f};
            break;
        case 3:
            t[m] = {0.0f, -1.0f, 1.0f, 0.0f};
            break;
        case 4:
            t[m] = {-0.33f, 0.33f, -1.0f, 1.0f};
            break;
        default:
            t[m] = {0.0f, 0.0f, 0.0f, 0.0f};
            break;
        }
    }
    return t;
}();

// Octave factors of the oscillator octave steps -4..+4.
inline constexpr std::array<float, 9> OCTAVE = {0.0625f, 0.125f, 0.25f, 0.5f, 1.0f,
                                                2.0f,    4.0f,   8.0f,  16.0f};
