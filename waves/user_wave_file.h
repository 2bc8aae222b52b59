// User-wave files (".uwv"): one user wave's 128 partials as text.
//
// Format: "V1.0\n", then the 128 amplitudes and then the 128 phases, one
// "%f\n" line each (six decimals, a point in every locale). Reading is
// lenient the way a run of "%f" conversions is: the first word (the version)
// is skipped whatever it says, white space is free, and a file that ends
// early leaves the partials not reached at 0; whatever follows the 256th
// number is not read. A text with nothing after its version is not a user
// wave, and neither is one where a word that is not a number stands among
// the 256 values ("banana", "0.5x"): such a file is refused whole. Only a
// regular file of at most USER_WAVE_MAX_FILE_BYTES is read
// (platform/file_io.h).
#pragma once

#include "waves/wave_state.h"

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

// A user-wave file is about 2.3 kB; nothing larger is read.
inline constexpr std::size_t USER_WAVE_MAX_FILE_BYTES = std::size_t{1} << 20;

// The numbers of a file as read: amplitudes and phases, not yet limited to
// their ranges (an amplitude of 1.5 or a phase of -3 stay as they are).
struct UserWaveFile {
    std::array<float, kUserWavePartials> amplitude{};
    std::array<float, kUserWavePartials> phase{};
};

// Reads a file's text into wave; false (wave all zeros) when the text holds
// nothing after its version word or a word among its values that is not a
// number. No file access.
bool parseUserWaveFile(std::string_view text, UserWaveFile& wave);
// The file text of a wave.
std::string formatUserWaveFile(const UserWaveFile& wave);
