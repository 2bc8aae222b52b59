// What identifies the AudioUnit build of Ondix to hosts, and the host
// applications the adapter recognises by their bundle identifiers.
#pragma once

#include "audiounit/core_audio.h"
#include "core/version.h"

namespace ondix::au {

// The component: a music device, subtype the plug-in's unique ID, the
// maker's code as manufacturer. On macOS this stands in the bundle's
// information property list; here the test host opens it by this record.
constexpr AudioComponentDescription kComponentDescription{kAudioUnitType_MusicDevice,
                                                          auFourCC("ONDP"), auFourCC("QVTZ"), 0, 0};
constexpr const char* kComponentName = "Haldmer: Ondix";
constexpr UInt32 kComponentVersion = ONDIX_VERSION; // also the unit's Version()
// The component's own bundle, by which the Cocoa UI property finds where the
// view factory lives. On this platform the bundle is the library file
// itself: the library registers it under this identifier when a host first
// opens a unit from it (au_entry.cpp).
constexpr const char* kComponentBundleIdentifier = "com.haldmer.audiounit.Ondix";

// The view factory the Cocoa UI property names. Here it is the name of a
// function the library exports, which gives the factory (au_view.h).
constexpr const char* kCocoaViewFactoryClass = "ONDX_QVTZ_CocoaViewFactory";

// The unit's private editor properties (global scope).
enum : AudioUnitPropertyID {
    kEditorOpenProperty = 0x10000,  // set, 8 bytes: the view's parent value; effEditOpen
    kEditorSizeProperty = 0x10001,  // get, 16 bytes: {width, height} as doubles; effEditGetRect
    kEditorIdleProperty = 0x10002,  // set, 8 bytes (ignored); effEditIdle
    kEditorCloseProperty = 0x10003, // set, 8 bytes: the same value as opened it; effEditClose
};

// The maker's code the hosted plug-in gets as the host's vendor string.
constexpr const char* kHostVendorCode = "QVTZ";

// Host applications recognised by the beginning of their bundle identifier
// (so later versions with a suffix match too), and the product names the
// plug-in is told for them. Every other host is "Default".
constexpr const char* kKoreBundleIdentifier = "com.native-instruments.Kore";
constexpr const char* kMaschineBundleIdentifier = "com.native-instruments.Maschine";
constexpr const char* kKoreProduct = "Kore";
constexpr const char* kMaschineProduct = "Maschine Host";
constexpr const char* kDefaultProduct = "Default";

} // namespace ondix::au
