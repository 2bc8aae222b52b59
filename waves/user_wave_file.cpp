#include "waves/user_wave_file.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads numbers the way a run of "%f" conversions does: white space is free,
// and the end of the text ends the run. A word that is not a number as a
// whole marks the text as bad.
class NumberReader {
public:
    explicit NumberReader(std::string_view text) : text(text) {}

    void skipSpace() {
        while (pos < text.size() && isSpace(text[pos])) ++pos;
    }
    bool atEnd() {
        skipSpace();
        return pos >= text.size();
    }
    // Skips one token of any length (the version).
    void skipToken() {
        skipSpace();
        while (pos < text.size() && !isSpace(text[pos])) ++pos;
    }
    bool next(float& value) {
        if (failed || atEnd()) return false;
        std::size_t p = pos;
        if (text[p] == '+') ++p;
        const char* first = text.data() + p;
        const char* last = text.data() + text.size();
        auto [end, ec] = std::from_chars(first, last, value);
        if (ec == std::errc::result_out_of_range) {
            // Beyond a float's range: an overflow reads as the largest
            // float of its sign, an underflow as 0 (a number all the same).
            double wide = 0.0;
            const auto [wideEnd, wideError] = std::from_chars(first, last, wide);
            end = wideEnd;
            ec = wideError;
            constexpr float kLargest = std::numeric_limits<float>::max();
            if (ec == std::errc())
                value = std::fabs(wide) > 1.0 ? (wide > 0 ? kLargest : -kLargest) : 0.0f;
        }
        if (ec != std::errc() || (end != last && !isSpace(*end))) {
            failed = true;
            return false;
        }
        pos = static_cast<std::size_t>(end - text.data());
        return true;
    }
    bool bad() const { return failed; }

private:
    std::string_view text;
    std::size_t pos = 0;
    bool failed = false;
};

// "%f\n": fixed notation with six decimals, in every locale.
void appendFixed(std::string& out, float value) {
    char buffer[64];
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    if (ec == std::errc()) out.append(buffer, end);
    out.push_back('\n');
}

} // namespace

bool parseUserWaveFile(std::string_view text, UserWaveFile& wave) {
    wave = UserWaveFile{};
    NumberReader reader(text);
    if (reader.atEnd()) return false;
    reader.skipToken();
    if (reader.atEnd()) return false;
    for (float& a : wave.amplitude)
        if (!reader.next(a)) break;
    for (float& ph : wave.phase)
        if (!reader.next(ph)) break;
    if (reader.bad()) {
        wave = UserWaveFile{};
        return false;
    }
    return true;
}

std::string formatUserWaveFile(const UserWaveFile& wave) {
    std::string text = "V1.0\n";
    for (float a : wave.amplitude) appendFixed(text, a);
    for (float ph : wave.phase) appendFixed(text, ph);
    return text;
}
