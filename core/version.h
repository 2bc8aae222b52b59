// The version of Ondix, in one place: the project() line of CMakeLists.txt,
// which passes its three numbers to every source. Hosts read it as
// 0xMMmmpp: the VST vendor version, the AudioUnit's component version; the
// editor shows it as major.minor.patch.
#pragma once

#include <cstdint>

#if !defined(ONDIX_VERSION_MAJOR) || !defined(ONDIX_VERSION_MINOR) || !defined(ONDIX_VERSION_PATCH)
#error "ONDIX_VERSION_MAJOR, _MINOR and _PATCH come from project() in CMakeLists.txt"
#endif

static_assert(ONDIX_VERSION_MINOR < 256 && ONDIX_VERSION_PATCH < 256, "two hex digits each");
inline constexpr std::int32_t ONDIX_VERSION =
    ONDIX_VERSION_MAJOR << 16 | ONDIX_VERSION_MINOR << 8 | ONDIX_VERSION_PATCH;
// Hosts compare versions: never below the first one released (1.0.1).
static_assert(ONDIX_VERSION >= 0x10001, "the version a host sees must not go backwards");
