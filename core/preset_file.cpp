// Preset files: reading and writing the text format (see preset_file.h).

#include "core/preset_file.h"

#include <charconv>
#include <cmath>
#include <set>
#include <system_error>

namespace {

constexpr std::string_view kMagic = "Ondix Preset ";
constexpr std::string_view kEnd = "End";
// More lines than a preset can mean: 1024 parameters and room for comments.
constexpr int kMaxLines = 8192;

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

std::string lineText(int line) {
    char buffer[16];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, line);
    return "line " + std::string(buffer, result.ptr);
}

bool refuse(std::string& error, std::vector<PresetFileValue>& values, std::string why) {
    error = std::move(why);
    values.clear();
    return false;
}

// The version of a first line "Ondix Preset N"; -1 when it is not one.
int formatVersion(std::string_view line) {
    if (!line.starts_with(kMagic)) return -1;
    const std::string_view number = line.substr(kMagic.size());
    int version = -1;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), version);
    if (result.ec != std::errc() || result.ptr != number.data() + number.size() || version < 1)
        return -1;
    return version;
}

} // namespace

bool parsePresetFile(std::string_view text, std::vector<PresetFileValue>& values,
                     std::string& error) {
    values.clear();
    error.clear();
    if (text.size() > PRESET_FILE_MAX_BYTES) return refuse(error, values, "the file is too large");
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\n' && c != '\r' && c != '\t') || byte == 0x7F)
            return refuse(error, values, "the file holds binary data, not a preset");
    }
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3); // a byte-order mark

    std::set<std::string, std::less<>> seen;
    bool ended = false;
    int line = 0;
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        const std::string_view raw = text.substr(0, newline);
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        const std::string_view content = trimmed(raw);
        if (++line > kMaxLines) return refuse(error, values, "the file has too many lines");

        if (line == 1) {
            const int version = formatVersion(content);
            if (version < 0) return refuse(error, values, "the file is not an Ondix preset");
            if (version > PRESET_FILE_VERSION)
                return refuse(error, values, "the preset was saved by a newer version of Ondix");
            continue;
        }
        if (content.empty() || content.front() == '#') continue;
        if (ended) return refuse(error, values, lineText(line) + " follows \"End\"");
        if (content == kEnd) {
            ended = true;
            continue;
        }

        const std::size_t equals = content.find('=');
        if (equals == std::string_view::npos)
            return refuse(error, values, lineText(line) + " is not \"Name = value\"");
        const std::string_view name = trimmed(content.substr(0, equals));
        const std::string_view number = trimmed(content.substr(equals + 1));
        if (name.empty()) return refuse(error, values, lineText(line) + " names no parameter");
        float value = 0.0f;
        const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
        if (result.ec != std::errc() || result.ptr != number.data() + number.size() ||
            !std::isfinite(value) || value < 0.0f || value > 1.0f)
            return refuse(error, values,
                          lineText(line) + ": the value of " + std::string(name) +
                              " is not a number from 0 to 1");
        if (!seen.emplace(name).second)
            return refuse(error, values,
                          lineText(line) + ": " + std::string(name) + " is set twice");
        values.push_back({std::string(name), value});
    }
    if (line == 0) return refuse(error, values, "the file is empty");
    if (!ended) return refuse(error, values, "the file ends early (no \"End\" line)");
    return true;
}

std::string formatPresetFile(const std::vector<PresetFileValue>& values) {
    std::string text;
    text.reserve(32 + values.size() * 40);
    text += kMagic;
    char buffer[32];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, PRESET_FILE_VERSION);
    text.append(buffer, result.ptr);
    text += '\n';
    for (const PresetFileValue& v : values) {
        text += v.name;
        text += " = ";
        result = std::to_chars(buffer, buffer + sizeof buffer, v.value);
        text.append(buffer, result.ptr);
        text += '\n';
    }
    text += kEnd;
    text += '\n';
    return text;
}
