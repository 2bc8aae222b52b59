// CoreFoundation objects, strings and the main bundle.
#include "audiounit/core_foundation.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <string>

namespace {

std::atomic<long> liveObjects{0};

} // namespace

// The header every object of this layer begins with.
struct CFObject {
    CFObject() { liveObjects.fetch_add(1, std::memory_order_relaxed); }
    virtual ~CFObject() { liveObjects.fetch_sub(1, std::memory_order_relaxed); }
    CFObject(const CFObject&) = delete;
    CFObject& operator=(const CFObject&) = delete;
    mutable std::atomic<long> references{1};
};

struct __CFString : CFObject {
    explicit __CFString(std::string text) : utf8(std::move(text)) {}
    std::string utf8;
};

struct __CFBundle {
    std::unique_ptr<__CFString, void (*)(__CFString*)> identifier{
        nullptr, [](__CFString* s) { CFRelease(s); }};
};

namespace {

// Unicode code points of the Mac Roman bytes 0x80..0xFF.
constexpr char32_t kMacRomanHigh[128] = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1, // 80
    0x00E0, 0x00E2, 0x00E4, 0x00E3, 0x00E5, 0x00E7, 0x00E9, 0x00E8, // 88
    0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3, // 90
    0x00F2, 0x00F4, 0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC, // 98
    0x2020, 0x00B0, 0x00A2, 0x00A3, 0x00A7, 0x2022, 0x00B6, 0x00DF, // A0
    0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8, // A8
    0x221E, 0x00B1, 0x2264, 0x2265, 0x00A5, 0x00B5, 0x2202, 0x2211, // B0
    0x220F, 0x03C0, 0x222B, 0x00AA, 0x00BA, 0x03A9, 0x00E6, 0x00F8, // B8
    0x00BF, 0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB, // C0
    0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5, 0x0152, 0x0153, // C8
    0x2013, 0x2014, 0x201C, 0x201D, 0x2018, 0x2019, 0x00F7, 0x25CA, // D0
    0x00FF, 0x0178, 0x2044, 0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02, // D8
    0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1, // E0
    0x00CB, 0x00C8, 0x00CD, 0x00CE, 0x00CF, 0x00CC, 0x00D3, 0x00D4, // E8
    0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9, 0x0131, 0x02C6, 0x02DC, // F0
    0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7, // F8
};

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Reads one code point at text[i], moving i on; false for a malformed sequence.
bool nextCodePoint(const std::string& text, std::size_t& i, char32_t& c) {
    const auto lead = static_cast<unsigned char>(text[i]);
    int more = 0;
    if (lead < 0x80) {
        c = lead;
    } else if ((lead & 0xE0) == 0xC0) {
        c = lead & 0x1F;
        more = 1;
    } else if ((lead & 0xF0) == 0xE0) {
        c = lead & 0x0F;
        more = 2;
    } else if ((lead & 0xF8) == 0xF0) {
        c = lead & 0x07;
        more = 3;
    } else {
        return false;
    }
    ++i;
    for (; more > 0; --more, ++i) {
        if (i >= text.size() || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) return false;
        c = (c << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
    }
    return c <= 0x10FFFF;
}

bool isValidUtf8(const std::string& text) {
    char32_t c = 0;
    for (std::size_t i = 0; i < text.size();)
        if (!nextCodePoint(text, i, c)) return false;
    return true;
}

bool toMacRoman(const std::string& utf8, std::string& out) {
    out.clear();
    char32_t c = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        if (!nextCodePoint(utf8, i, c)) return false;
        if (c < 0x80) {
            out += static_cast<char>(c);
            continue;
        }
        int found = -1;
        for (int b = 0; b < 128 && found < 0; ++b)
            if (kMacRomanHigh[b] == c) found = b;
        if (found < 0) return false;
        out += static_cast<char>(0x80 + found);
    }
    return true;
}

// Every object begins with its CFObject header (single inheritance), so an
// object's address is its header's.
const CFObject* header(CFTypeRef object) {
    return static_cast<const CFObject*>(object);
}

__CFBundle mainBundle;
std::atomic<bool> mainBundleExists{false};

} // namespace

CFTypeRef CFRetain(CFTypeRef object) {
    if (object) {
        header(object)->references.fetch_add(1, std::memory_order_relaxed);
    }
    return object;
}

void CFRelease(CFTypeRef object) {
    if (!object) return;
    const CFObject* object_ = header(object);
    if (object_->references.fetch_sub(1, std::memory_order_acq_rel) == 1) delete object_;
}

CFIndex CFGetRetainCount(CFTypeRef object) {
    if (!object) return 0;
    return header(object)->references.load(std::memory_order_relaxed);
}

CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char* text, CFStringEncoding encoding) {
    if (!text) return nullptr;
    std::string utf8;
    if (encoding == kCFStringEncodingUTF8) {
        utf8 = text;
        if (!isValidUtf8(utf8)) return nullptr;
    } else if (encoding == kCFStringEncodingMacRoman) {
        for (const char* p = text; *p; ++p) {
            const auto b = static_cast<unsigned char>(*p);
            appendUtf8(utf8, b < 0x80 ? char32_t(b) : kMacRomanHigh[b - 0x80]);
        }
    } else {
        return nullptr;
    }
    return new __CFString(std::move(utf8));
}

CFIndex CFStringGetLength(CFStringRef string) {
    if (!string) return 0;
    CFIndex units = 0;
    char32_t c = 0;
    for (std::size_t i = 0; i < string->utf8.size();) {
        nextCodePoint(string->utf8, i, c);
        units += c >= 0x10000 ? 2 : 1;
    }
    return units;
}

Boolean CFStringGetCString(CFStringRef string, char* buffer, CFIndex bufferSize,
                           CFStringEncoding encoding) {
    if (!string || !buffer || bufferSize <= 0) return false;
    std::string encoded;
    if (encoding == kCFStringEncodingUTF8) {
        encoded = string->utf8;
    } else if (encoding != kCFStringEncodingMacRoman || !toMacRoman(string->utf8, encoded)) {
        return false;
    }
    if (static_cast<CFIndex>(encoded.size()) + 1 > bufferSize) return false;
    std::memcpy(buffer, encoded.c_str(), encoded.size() + 1);
    return true;
}

CFBundleRef CFBundleGetMainBundle() {
    return mainBundleExists.load(std::memory_order_acquire) ? &mainBundle : nullptr;
}

CFStringRef CFBundleGetIdentifier(CFBundleRef bundle) {
    return bundle ? bundle->identifier.get() : nullptr;
}

long CFLiveObjectCount() {
    return liveObjects.load(std::memory_order_relaxed);
}

void CFBundleSetMainBundleIdentifier(const char* identifier) {
    mainBundleExists.store(false, std::memory_order_release);
    mainBundle.identifier.reset();
    if (!identifier) return;
    auto* string = const_cast<__CFString*>(
        CFStringCreateWithCString(kCFAllocatorDefault, identifier, kCFStringEncodingUTF8));
    mainBundle.identifier.reset(string);
    mainBundleExists.store(true, std::memory_order_release);
}
