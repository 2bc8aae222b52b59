// What identifies the AudioUnit build of Ondix to hosts, and the host
// applications the adapter recognises by their bundle identifiers.
#pragma once

#include "audiounit/core_audio.h"

namespace ondix::au {

// The component: a music device, subtype the plug-in's unique ID, the
// maker's code as manufacturer. On macOS this stands in the bundle's
// information property list; here the test host opens it by this record.
constexpr AudioComponentDescription kComponentDescription{kAudioUnitType_MusicDevice,
                                                          auFourCC("ONDP"), auFourCC("QVTZ"), 0, 0};
constexpr const char* kComponentName = "Haldmer: Ondix";
constexpr UInt32 kComponentVersion = 0x10001; // 1.0.1, also the unit's Version()
constexpr const char* kComponentBundleIdentifier = "com.haldmer.audiounit.Ondix";

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
