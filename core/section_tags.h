// The tag lists of the editor's sections, in the order that undo snapshots,
// clipboards and section preset files walk them.
#pragma once

#include <array>

namespace section_tags {

namespace detail {
template <std::size_t N>
constexpr std::array<int, N> ranges(std::initializer_list<std::pair<int, int>> spans) {
    std::array<int, N> out{};
    std::size_t n = 0;
    for (auto [first, last] : spans)
        for (int t = first; t <= last; ++t) out[n++] = t;
    return out;
}
} // namespace detail

// Arpeggiator: switches and settings, then modes and the step grid.
inline constexpr std::array<int, 166> ARP_TAGS = detail::ranges<166>({{116, 127}, {291, 444}});
// Modulation matrix: bypass, source, destination, then amount of the 12 slots.
inline constexpr std::array<int, 48> MOD_ALL_TAGS = detail::ranges<48>({{255, 290}, {67, 78}});
// XY pad: amounts and speed, record/replay settings and path, MIDI X/Y.
inline constexpr std::array<int, 282> XY_SECTION_TAGS =
    detail::ranges<282>({{43, 50}, {445, 714}, {39, 42}});
// Filter and amp envelopes and the two free envelopes.
inline constexpr std::array<int, 16> ENV_TAGS =
    detail::ranges<16>({{4, 7}, {30, 33}, {51, 53}, {55, 55}, {57, 59}, {61, 61}});

} // namespace section_tags
