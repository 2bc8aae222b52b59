// The part of CoreFoundation the AudioUnit adapter uses: reference-counted
// objects, strings, data, numbers, dictionaries and arrays, URLs, the main
// bundle's identifier and the bundles found by identifier.
//
// Every object starts with one reference and is destroyed by the release that
// ends the last. CFLiveObjectCount tells how many exist at this moment, so a
// test can check that a unit gives back every string it made.
//
// Strings hold UTF-8. kCFStringEncodingMacRoman maps the bytes 0x80..0xFF to
// their Unicode characters both ways; a character Mac Roman cannot hold, or a
// buffer too small for the text and its NUL, makes CFStringGetCString fail.
//
// Numbers keep the type they were made with. CFNumberGetValue converts to
// the asked type and answers whether that was exact (no fraction lost, in
// range); the value is written either way, as the platform does.
//
// Dictionaries and arrays made with the type callbacks retain what they
// hold and release it when they go; made with null callbacks they hold bare
// pointers (an array of preset records, for instance). Dictionary keys
// compare as strings by content, anything else by identity.
//
// The main bundle is the host application's. On this platform it exists only
// when the process sets its identifier (CFBundleSetMainBundleIdentifier, a
// call of this layer's own); otherwise CFBundleGetMainBundle gives null.
#pragma once

#include <cstdint>

using Boolean = uint8_t;
using CFIndex = long;
using CFStringEncoding = uint32_t;
using CFTypeRef = const void*;
using CFAllocatorRef = const void*;
struct __CFString;
using CFStringRef = const __CFString*;
struct __CFBundle;
using CFBundleRef = __CFBundle*;
struct __CFData;
using CFDataRef = const __CFData*;
struct __CFNumber;
using CFNumberRef = const __CFNumber*;
struct __CFDictionary;
using CFDictionaryRef = const __CFDictionary*;
using CFMutableDictionaryRef = __CFDictionary*;
struct __CFArray;
using CFArrayRef = const __CFArray*;
struct __CFURL;
using CFURLRef = const __CFURL*;
using CFPropertyListRef = CFTypeRef;
using CFTypeID = unsigned long;

enum CFNumberType : long {
    kCFNumberSInt8Type = 1,
    kCFNumberSInt16Type = 2,
    kCFNumberSInt32Type = 3,
    kCFNumberSInt64Type = 4,
    kCFNumberFloat32Type = 5,
    kCFNumberFloat64Type = 6,
    kCFNumberIntType = 9,
    kCFNumberDoubleType = 13,
};

// Only "retain what you hold" or "hold bare pointers" are told apart: pass
// the type callbacks or null.
struct CFDictionaryKeyCallBacks {
    long version;
};
struct CFDictionaryValueCallBacks {
    long version;
};
struct CFArrayCallBacks {
    long version;
};
extern const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks;
extern const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks;
extern const CFArrayCallBacks kCFTypeArrayCallBacks;

constexpr CFAllocatorRef kCFAllocatorDefault = nullptr;
constexpr CFStringEncoding kCFStringEncodingMacRoman = 0;
constexpr CFStringEncoding kCFStringEncodingUTF8 = 0x08000100;
constexpr CFStringEncoding kCFStringEncodingASCII = 0x0600;

CFTypeRef CFRetain(CFTypeRef object);
void CFRelease(CFTypeRef object);
CFIndex CFGetRetainCount(CFTypeRef object);

// Null when bytes are not valid in the encoding (or the encoding is unknown).
CFStringRef CFStringCreateWithCString(CFAllocatorRef allocator, const char* text,
                                      CFStringEncoding encoding);
// Length in UTF-16 units.
CFIndex CFStringGetLength(CFStringRef string);
// The text and a NUL into buffer (bufferSize bytes); false when it does not
// fit or cannot be encoded, leaving buffer undefined.
Boolean CFStringGetCString(CFStringRef string, char* buffer, CFIndex bufferSize,
                           CFStringEncoding encoding);

CFTypeID CFGetTypeID(CFTypeRef object);
CFTypeID CFStringGetTypeID();
CFTypeID CFDataGetTypeID();
CFTypeID CFNumberGetTypeID();
CFTypeID CFDictionaryGetTypeID();
CFTypeID CFArrayGetTypeID();
CFTypeID CFURLGetTypeID();

CFDataRef CFDataCreate(CFAllocatorRef allocator, const uint8_t* bytes, CFIndex length);
CFIndex CFDataGetLength(CFDataRef data);
const uint8_t* CFDataGetBytePtr(CFDataRef data);

CFNumberRef CFNumberCreate(CFAllocatorRef allocator, CFNumberType type, const void* value);
CFNumberType CFNumberGetType(CFNumberRef number);
Boolean CFNumberGetValue(CFNumberRef number, CFNumberType type, void* value);

CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef allocator, CFIndex capacity,
                                                 const CFDictionaryKeyCallBacks* keyCallBacks,
                                                 const CFDictionaryValueCallBacks* valueCallBacks);
// Adds or replaces.
void CFDictionarySetValue(CFMutableDictionaryRef dictionary, const void* key, const void* value);
// The value (not retained), or null.
const void* CFDictionaryGetValue(CFDictionaryRef dictionary, const void* key);
CFIndex CFDictionaryGetCount(CFDictionaryRef dictionary);

CFArrayRef CFArrayCreate(CFAllocatorRef allocator, const void** values, CFIndex count,
                         const CFArrayCallBacks* callBacks);
CFIndex CFArrayGetCount(CFArrayRef array);
const void* CFArrayGetValueAtIndex(CFArrayRef array, CFIndex index);

// A file URL of a path (UTF-8, absolute).
CFURLRef CFURLCreateFromFileSystemPath(CFAllocatorRef allocator, const char* path);
// The path into buffer; false when it does not fit.
Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean resolveAgainstBase, uint8_t* buffer,
                                         CFIndex bufferSize);

CFBundleRef CFBundleGetMainBundle();
// A bundle the process has (see CFBundleRegister), or null.
CFBundleRef CFBundleGetBundleWithIdentifier(CFStringRef identifier);
// The bundle's location (a new reference), or null.
CFURLRef CFBundleCopyBundleURL(CFBundleRef bundle);
// The bundle's identifier (owned by the bundle), or null.
CFStringRef CFBundleGetIdentifier(CFBundleRef bundle);

// ---- this layer's own
// Objects that exist now.
long CFLiveObjectCount();
// Gives the process a main bundle with this identifier (UTF-8); null takes
// the main bundle away. Call only while no unit is asking for it.
void CFBundleSetMainBundleIdentifier(const char* identifier);
// Makes a bundle known by identifier, at a file-system path (a plug-in
// library registers itself when it is first opened); a null path forgets
// it. Bundles stay until the process ends and hold no objects (their
// CFBundleGetIdentifier is null), so the live count is not changed. Call only while no unit is
// asking for bundles.
void CFBundleRegister(const char* identifier, const char* path);

// A UTF-8 key string for one dictionary lookup or insertion, released when
// it goes.
class CFKeyString {
public:
    explicit CFKeyString(const char* text)
        : string_(CFStringCreateWithCString(kCFAllocatorDefault, text, kCFStringEncodingUTF8)) {}
    ~CFKeyString() { CFRelease(string_); }
    CFKeyString(const CFKeyString&) = delete;
    CFKeyString& operator=(const CFKeyString&) = delete;
    operator CFStringRef() const { return string_; }

private:
    CFStringRef string_;
};
