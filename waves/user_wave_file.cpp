#include "waves/user_wave_file.h"

#include <charconv>

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads numbers the way a run of "%f" conversions does: white space is free,
// and the first text that does not start a number ends the run.
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
        const auto [end, ec] = std::from_chars(first, text.data() + text.size(), value);
        if (ec != std::errc()) {
            failed = true;
            return false;
        }
        pos = static_cast<std::size_t>(end - text.data());
        return true;
    }

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
    return true;
}

std::string formatUserWaveFile(const UserWaveFile& wave) {
    std::string text = "V1.0\n";
    for (float a : wave.amplitude) appendFixed(text, a);
    for (float ph : wave.phase) appendFixed(text, ph);
    return text;
}
