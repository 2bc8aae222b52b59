// The part of CoreFoundation the AudioUnit adapter uses: reference-counted
// objects, strings and the main bundle's identifier.
//
// Every object starts with one reference and is destroyed by the release that
// ends the last. CFLiveObjectCount tells how many exist at this moment, so a
// test can check that a unit gives back every string it made.
//
// Strings hold UTF-8. kCFStringEncodingMacRoman maps the bytes 0x80..0xFF to
// their Unicode characters both ways; a character Mac Roman cannot hold, or a
// buffer too small for the text and its NUL, makes CFStringGetCString fail.
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

constexpr CFAllocatorRef kCFAllocatorDefault = nullptr;
constexpr CFStringEncoding kCFStringEncodingMacRoman = 0;
constexpr CFStringEncoding kCFStringEncodingUTF8 = 0x08000100;

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

CFBundleRef CFBundleGetMainBundle();
// The bundle's identifier (owned by the bundle), or null.
CFStringRef CFBundleGetIdentifier(CFBundleRef bundle);

// ---- this layer's own
// Objects that exist now.
long CFLiveObjectCount();
// Gives the process a main bundle with this identifier (UTF-8); null takes
// the main bundle away. Call only while no unit is asking for it.
void CFBundleSetMainBundleIdentifier(const char* identifier);
