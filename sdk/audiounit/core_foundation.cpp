// CoreFoundation objects, strings, data, numbers, collections, URLs and
// bundles.
#include "audiounit/core_foundation.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace {

std::atomic<long> liveObjects{0};

} // namespace

namespace {

enum TypeIDs : CFTypeID { kStringID = 7, kDataID, kNumberID, kDictionaryID, kArrayID, kURLID };

} // namespace

// The header every object of this layer begins with.
struct CFObject {
    CFObject() { liveObjects.fetch_add(1, std::memory_order_relaxed); }
    virtual ~CFObject() { liveObjects.fetch_sub(1, std::memory_order_relaxed); }
    CFObject(const CFObject&) = delete;
    CFObject& operator=(const CFObject&) = delete;
    virtual CFTypeID typeID() const = 0;
    mutable std::atomic<long> references{1};
};

struct __CFString : CFObject {
    explicit __CFString(std::string text) : utf8(std::move(text)) {}
    CFTypeID typeID() const override { return kStringID; }
    std::string utf8;
};

struct __CFData : CFObject {
    CFTypeID typeID() const override { return kDataID; }
    std::vector<uint8_t> bytes;
};

struct __CFNumber : CFObject {
    CFTypeID typeID() const override { return kNumberID; }
    CFNumberType type = kCFNumberSInt32Type;
    bool isFloat = false;
    int64_t integer = 0;
    double real = 0.0;
};

struct __CFDictionary : CFObject {
    ~__CFDictionary() override;
    CFTypeID typeID() const override { return kDictionaryID; }
    bool retainKeys = false;
    bool retainValues = false;
    std::vector<std::pair<const void*, const void*>> entries;
};

struct __CFArray : CFObject {
    ~__CFArray() override;
    CFTypeID typeID() const override { return kArrayID; }
    bool retains = false;
    std::vector<const void*> values;
};

struct __CFURL : CFObject {
    CFTypeID typeID() const override { return kURLID; }
    std::string path;
};

struct __CFBundle {
    std::unique_ptr<__CFString, void (*)(__CFString*)> identifier{
        nullptr, [](__CFString* s) { CFRelease(s); }};
    std::string path;
};

const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks{0};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks{0};
const CFArrayCallBacks kCFTypeArrayCallBacks{0};

__CFDictionary::~__CFDictionary() {
    for (auto& [key, value] : entries) {
        if (retainKeys) CFRelease(key);
        if (retainValues) CFRelease(value);
    }
}

__CFArray::~__CFArray() {
    if (retains)
        for (const void* v : values) CFRelease(v);
}

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

// Bundles by identifier; entries are never removed, only emptied, so a
// bundle handed out stays valid. Registered and looked up from any thread
// (each component library registers itself when its first unit is made).
std::mutex bundlesMutex;
std::map<std::string, std::unique_ptr<__CFBundle>>& bundles() {
    static std::map<std::string, std::unique_ptr<__CFBundle>> registry;
    return registry;
}

bool sameKey(const void* a, const void* b) {
    if (a == b) return true;
    if (!a || !b) return false;
    const auto* x = static_cast<const CFObject*>(a);
    const auto* y = static_cast<const CFObject*>(b);
    return x->typeID() == kStringID && y->typeID() == kStringID &&
           static_cast<const __CFString*>(x)->utf8 == static_cast<const __CFString*>(y)->utf8;
}

template <class T> Boolean writeInteger(const __CFNumber* n, void* out) {
    constexpr auto lo = std::numeric_limits<T>::min();
    constexpr auto hi = std::numeric_limits<T>::max();
    T value = 0;
    bool exact = false;
    if (n->isFloat) {
        const double r = n->real;
        exact = std::isfinite(r) && std::trunc(r) == r && r >= double(lo) && r <= double(hi);
        if (std::isfinite(r)) value = r <= double(lo) ? lo : (r >= double(hi) ? hi : T(r));
    } else {
        exact = n->integer >= int64_t(lo) && n->integer <= int64_t(hi);
        value = n->integer < int64_t(lo) ? lo : (n->integer > int64_t(hi) ? hi : T(n->integer));
    }
    std::memcpy(out, &value, sizeof value);
    return exact;
}

template <class T> Boolean writeReal(const __CFNumber* n, void* out) {
    const double r = n->isFloat ? n->real : double(n->integer);
    const T value = static_cast<T>(r);
    std::memcpy(out, &value, sizeof value);
    return std::isnan(r) || double(value) == r;
}

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
    } else if (encoding == kCFStringEncodingASCII) {
        for (const char* p = text; *p; ++p)
            if (static_cast<unsigned char>(*p) >= 0x80) return nullptr;
        utf8 = text;
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
    } else if (encoding == kCFStringEncodingASCII) {
        for (const char c : string->utf8)
            if (static_cast<unsigned char>(c) >= 0x80) return false;
        encoded = string->utf8;
    } else if (encoding != kCFStringEncodingMacRoman || !toMacRoman(string->utf8, encoded)) {
        return false;
    }
    if (static_cast<CFIndex>(encoded.size()) + 1 > bufferSize) return false;
    std::memcpy(buffer, encoded.c_str(), encoded.size() + 1);
    return true;
}

CFTypeID CFGetTypeID(CFTypeRef object) {
    return object ? header(object)->typeID() : 0;
}
CFTypeID CFStringGetTypeID() {
    return kStringID;
}
CFTypeID CFDataGetTypeID() {
    return kDataID;
}
CFTypeID CFNumberGetTypeID() {
    return kNumberID;
}
CFTypeID CFDictionaryGetTypeID() {
    return kDictionaryID;
}
CFTypeID CFArrayGetTypeID() {
    return kArrayID;
}
CFTypeID CFURLGetTypeID() {
    return kURLID;
}

// ---------------------------------------------------------------- data and numbers

CFDataRef CFDataCreate(CFAllocatorRef, const uint8_t* bytes, CFIndex length) {
    if (length < 0 || (length > 0 && !bytes)) return nullptr;
    auto* data = new __CFData;
    data->bytes.assign(bytes, bytes + length);
    return data;
}

CFIndex CFDataGetLength(CFDataRef data) {
    return data ? static_cast<CFIndex>(data->bytes.size()) : 0;
}

const uint8_t* CFDataGetBytePtr(CFDataRef data) {
    return data ? data->bytes.data() : nullptr;
}

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType type, const void* value) {
    if (!value) return nullptr;
    auto* n = new __CFNumber;
    n->type = type;
    switch (type) {
    case kCFNumberSInt8Type:
        n->integer = *static_cast<const int8_t*>(value);
        break;
    case kCFNumberSInt16Type:
        n->integer = *static_cast<const int16_t*>(value);
        break;
    case kCFNumberSInt32Type:
        n->integer = *static_cast<const int32_t*>(value);
        break;
    case kCFNumberIntType:
        n->integer = *static_cast<const int*>(value);
        break;
    case kCFNumberSInt64Type:
        n->integer = *static_cast<const int64_t*>(value);
        break;
    case kCFNumberFloat32Type:
        n->isFloat = true;
        n->real = *static_cast<const float*>(value);
        break;
    case kCFNumberFloat64Type:
    case kCFNumberDoubleType:
        n->isFloat = true;
        n->real = *static_cast<const double*>(value);
        break;
    default:
        delete n;
        return nullptr;
    }
    return n;
}

CFNumberType CFNumberGetType(CFNumberRef number) {
    return number ? number->type : kCFNumberSInt32Type;
}

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType type, void* value) {
    if (!number || !value) return false;
    switch (type) {
    case kCFNumberSInt8Type:
        return writeInteger<int8_t>(number, value);
    case kCFNumberSInt16Type:
        return writeInteger<int16_t>(number, value);
    case kCFNumberSInt32Type:
        return writeInteger<int32_t>(number, value);
    case kCFNumberIntType:
        return writeInteger<int>(number, value);
    case kCFNumberSInt64Type:
        return writeInteger<int64_t>(number, value);
    case kCFNumberFloat32Type:
        return writeReal<float>(number, value);
    case kCFNumberFloat64Type:
    case kCFNumberDoubleType:
        return writeReal<double>(number, value);
    default:
        return false;
    }
}

// ---------------------------------------------------------------- collections

CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef, CFIndex,
                                                 const CFDictionaryKeyCallBacks* keyCallBacks,
                                                 const CFDictionaryValueCallBacks* valueCallBacks) {
    auto* d = new __CFDictionary;
    d->retainKeys = keyCallBacks != nullptr;
    d->retainValues = valueCallBacks != nullptr;
    return d;
}

void CFDictionarySetValue(CFMutableDictionaryRef d, const void* key, const void* value) {
    if (!d) return;
    if (d->retainKeys) CFRetain(key);
    if (d->retainValues) CFRetain(value);
    for (auto& entry : d->entries) {
        if (!sameKey(entry.first, key)) continue;
        if (d->retainKeys) CFRelease(entry.first);
        if (d->retainValues) CFRelease(entry.second);
        entry = {key, value};
        return;
    }
    d->entries.emplace_back(key, value);
}

const void* CFDictionaryGetValue(CFDictionaryRef d, const void* key) {
    if (!d) return nullptr;
    for (const auto& entry : d->entries)
        if (sameKey(entry.first, key)) return entry.second;
    return nullptr;
}

CFIndex CFDictionaryGetCount(CFDictionaryRef d) {
    return d ? static_cast<CFIndex>(d->entries.size()) : 0;
}

CFArrayRef CFArrayCreate(CFAllocatorRef, const void** values, CFIndex count,
                         const CFArrayCallBacks* callBacks) {
    if (count < 0 || (count > 0 && !values)) return nullptr;
    auto* a = new __CFArray;
    a->retains = callBacks != nullptr;
    a->values.assign(values, values + count);
    if (a->retains)
        for (const void* v : a->values) CFRetain(v);
    return a;
}

CFIndex CFArrayGetCount(CFArrayRef a) {
    return a ? static_cast<CFIndex>(a->values.size()) : 0;
}

const void* CFArrayGetValueAtIndex(CFArrayRef a, CFIndex index) {
    if (!a || index < 0 || index >= CFArrayGetCount(a)) return nullptr;
    return a->values[static_cast<std::size_t>(index)];
}

// ---------------------------------------------------------------- URLs and bundles

CFURLRef CFURLCreateFromFileSystemPath(CFAllocatorRef, const char* path) {
    if (!path || path[0] == '\0') return nullptr;
    auto* url = new __CFURL;
    url->path = path;
    return url;
}

Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean, uint8_t* buffer,
                                         CFIndex bufferSize) {
    if (!url || !buffer || bufferSize <= 0) return false;
    if (static_cast<CFIndex>(url->path.size()) + 1 > bufferSize) return false;
    std::memcpy(buffer, url->path.c_str(), url->path.size() + 1);
    return true;
}

CFBundleRef CFBundleGetBundleWithIdentifier(CFStringRef identifier) {
    if (!identifier) return nullptr;
    std::lock_guard lock(bundlesMutex);
    const auto found = bundles().find(identifier->utf8);
    if (found == bundles().end() || found->second->path.empty()) return nullptr;
    return found->second.get();
}

CFURLRef CFBundleCopyBundleURL(CFBundleRef bundle) {
    if (!bundle) return nullptr;
    std::string path;
    {
        std::lock_guard lock(bundlesMutex); // a registration may change it
        path = bundle->path;
    }
    if (path.empty()) return nullptr;
    return CFURLCreateFromFileSystemPath(kCFAllocatorDefault, path.c_str());
}

void CFBundleRegister(const char* identifier, const char* path) {
    if (!identifier) return;
    std::lock_guard lock(bundlesMutex);
    auto& slot = bundles()[identifier];
    if (!slot) slot = std::make_unique<__CFBundle>();
    slot->path = path ? path : "";
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
