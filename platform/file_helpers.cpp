#include "platform/file_helpers.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t SAFE_NAME_LEN = 24;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

char toUpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool isNumberChar(char c) {
    return isDigit(c) || c == '+' || c == '-' || c == '.';
}

// Bytes 128..255 are negative as signed chars and so count as control bytes.
bool isBelowSpace(char c) {
    return static_cast<signed char>(c) < 32;
}

// The file name part of a path, with or without its extension, not yet bounded.
std::string_view fileNamePart(std::string_view path, bool withoutExtension) {
    std::size_t sep = path.rfind('/');
    if (sep == std::string_view::npos) sep = path.rfind('\\');
    std::string_view name = sep == std::string_view::npos ? path : path.substr(sep + 1);
    if (withoutExtension) {
        const std::size_t dot = name.rfind('.');
        if (dot != std::string_view::npos) name = name.substr(0, dot);
    }
    return name;
}

void copyBounded(std::string_view text, char* out, std::size_t maxLen) {
    const std::size_t n = std::min(text.size(), maxLen);
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

// Skips white space and reads an optional sign; false when a second sign follows.
bool readSign(std::string_view& text, bool& negative) {
    std::size_t i = 0;
    while (i < text.size() && isSpace(text[i])) ++i;
    negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) return false;
    }
    text.remove_prefix(i);
    return true;
}

// For a decimal text that std::from_chars found out of range: whether its
// magnitude is huge (true) or tiny (false), from the position of its first
// significant digit and its exponent.
bool isHugeMagnitude(std::string_view number) {
    std::size_t i = 0;
    std::int64_t intDigits = 0;
    std::int64_t leadingFractionZeros = 0;
    bool significant = false;
    for (; i < number.size() && isDigit(number[i]); ++i) {
        if (number[i] != '0') significant = true;
        if (significant) ++intDigits;
    }
    if (i < number.size() && number[i] == '.') {
        for (++i; i < number.size() && isDigit(number[i]); ++i) {
            if (!significant && number[i] == '0') ++leadingFractionZeros;
            if (number[i] != '0') significant = true;
        }
    }
    std::int64_t magnitude = intDigits > 0 ? intDigits - 1 : -(leadingFractionZeros + 1);
    if (i + 1 < number.size() && (number[i] == 'e' || number[i] == 'E')) {
        ++i;
        bool negative = false;
        if (number[i] == '+' || number[i] == '-') negative = number[i++] == '-';
        std::int64_t exponent = 0;
        for (; i < number.size() && isDigit(number[i]); ++i)
            exponent = std::min<std::int64_t>(exponent * 10 + (number[i] - '0'), 1000000000);
        magnitude += negative ? -exponent : exponent;
    }
    return magnitude > 0;
}

} // namespace

bool fileExists(const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos) return false;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    return ::access(path.c_str(), R_OK) == 0;
}

void upperCase(std::string& text) {
    for (char& c : text) c = toUpperAscii(c);
}

void upperCase(char* text) {
    if (text == nullptr) return;
    for (; *text != '\0'; ++text) *text = toUpperAscii(*text);
}

void getFileNameOnly(const char* path, char* name, bool withoutExtension) {
    if (name == nullptr) return;
    if (path == nullptr) {
        name[0] = '\0';
        return;
    }
    copyBounded(fileNamePart(path, withoutExtension), name, MAX_FILE_NAME_LEN);
}

std::string getFileNameOnlyStr(const std::string& path, bool withoutExtension) {
    const std::string_view name = fileNamePart(path, withoutExtension);
    return std::string(name.substr(0, MAX_FILE_NAME_LEN));
}

void getFileNameNoExtension(const char* path, char* name) {
    getFileNameOnly(path, name, true);
}

std::string getFileNameExtensionsStr(const std::string& path) {
    const std::string_view name = fileNamePart(path, false);
    const std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot));
}

void stripAllButNum(char* text) {
    if (text == nullptr) return;
    char* out = text;
    for (const char* in = text; *in != '\0'; ++in)
        if (isNumberChar(*in)) *out++ = *in;
    *out = '\0';
}

void stripAllButNum(std::string& text) {
    std::erase_if(text, [](char c) { return !isNumberChar(c); });
}

void safename(char* name) {
    if (name == nullptr) return;
    std::size_t n = 0;
    while (n < SAFE_NAME_LEN && name[n] != '\0' && !isBelowSpace(name[n])) ++n;
    name[n] = '\0';
}

void safename(std::string& name) {
    std::size_t n = 0;
    while (n < SAFE_NAME_LEN && n < name.size() && !isBelowSpace(name[n])) ++n;
    name.resize(n);
}

char validChar(char c) {
    if (isBelowSpace(c)) return 0;
    switch (c) {
    case '"':
    case '*':
    case '/':
    case '<':
    case '>':
    case '?':
    case '\\':
    case '|':
        return ' ';
    case ':':
        return '-';
    default:
        return c;
    }
}

int textToInt(std::string_view text) {
    bool negative = false;
    if (!readSign(text, negative)) return 0;
    std::int64_t value = 0;
    for (std::size_t i = 0; i < text.size() && isDigit(text[i]); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<std::int64_t>(INT_MAX) + 1) break; // saturated below
    }
    if (negative) value = -value;
    return static_cast<int>(std::clamp<std::int64_t>(value, INT_MIN, INT_MAX));
}

bool startsWithNumber(std::string_view text) {
    bool negative = false;
    if (!readSign(text, negative) || text.empty()) return false;
    if (isDigit(text[0])) return true;
    return text[0] == '.' && text.size() > 1 && isDigit(text[1]);
}

double textToDouble(std::string_view text) {
    bool negative = false;
    if (!readSign(text, negative)) return 0.0;
    double value = 0.0;
    const auto [ptr, ec] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        const std::string_view number(text.data(), static_cast<std::size_t>(ptr - text.data()));
        value = isHugeMagnitude(number) ? DBL_MAX : 0.0;
    } else if (ec != std::errc() || !std::isfinite(value)) {
        return 0.0;
    }
    return negative ? -value : value;
}
