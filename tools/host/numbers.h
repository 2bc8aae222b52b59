// Number <-> text for the offline host.
//
// Everything goes through std::to_chars / std::from_chars, which ignore the
// C locale: a plug-in is free to change LC_NUMERIC, and the host's output and
// command line must read the same regardless.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace ondix::host {

// Fixed-point text with the given number of decimals ("-inf", "inf", "nan"
// for the non-finite values).
inline std::string formatFixed(double value, int decimals) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    char buffer[64];
    auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (ec != std::errc()) return "?";
    return std::string(buffer, end);
}

// The shortest text that reads back as `value` ("0.25", "-5", "1e+30", "nan").
inline std::string formatFloat(float value) {
    char buffer[32];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (ec != std::errc()) return "?";
    return std::string(buffer, end);
}

inline std::string formatInt(int64_t value) {
    char buffer[32];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (ec != std::errc()) return "?";
    return std::string(buffer, end);
}

// "0x" followed by exactly `digits` upper-case hex digits.
inline std::string formatHex(uint32_t value, int digits = 8) {
    char buffer[16];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, 16);
    if (ec != std::errc()) return "?";
    std::string hex(buffer, end);
    for (char& c : hex) {
        if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    }
    if (static_cast<int>(hex.size()) < digits) hex.insert(0, digits - hex.size(), '0');
    return "0x" + hex;
}

// Level in dBFS (20 log10), "-inf" for silence.
inline double toDecibels(double linear) {
    return linear > 0.0 ? 20.0 * std::log10(linear) : -INFINITY;
}

// Whole-string parse of a finite decimal number; nothing else is accepted
// (no leading blanks, no trailing garbage, no "inf"/"nan").
inline std::optional<double> parseDouble(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    double value = 0.0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

// Whole-string parse of a decimal integer.
inline std::optional<int64_t> parseInt(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    int64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

} // namespace ondix::host
