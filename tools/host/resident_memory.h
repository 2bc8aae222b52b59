// The process's resident memory (VmRSS of /proc/self/status), for measuring
// what each loaded plug-in instance costs.
#pragma once

#include "numbers.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

namespace ondix::host {

// The "VmRSS:   1234 kB" line of a /proc/PID/status text, in KiB.
inline std::optional<int64_t> parseResidentKiB(std::string_view status) {
    constexpr std::string_view key = "VmRSS:";
    size_t at = 0;
    while (at < status.size() && status.substr(at, key.size()) != key) {
        size_t newline = status.find('\n', at);
        if (newline == std::string_view::npos) return std::nullopt;
        at = newline + 1;
    }
    if (at >= status.size()) return std::nullopt;
    std::string_view rest = status.substr(at + key.size());
    rest = rest.substr(0, rest.find('\n'));
    size_t first = rest.find_first_not_of(" \t");
    if (first == std::string_view::npos) return std::nullopt;
    rest.remove_prefix(first);
    size_t unit = rest.find(' ');
    if (unit == std::string_view::npos || rest.substr(unit) != " kB") return std::nullopt;
    return parseInt(rest.substr(0, unit));
}

inline std::optional<int64_t> residentKiB() {
    std::ifstream file("/proc/self/status");
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return parseResidentKiB(text);
}

} // namespace ondix::host
