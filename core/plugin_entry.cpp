// The VST 2.4 entry points of ondix.so.
//
// Hosts on macOS look for main_macho; Linux hosts look for VSTPluginMain or,
// in older hosts, main. All three are the same function. Only these symbols
// are exported (see ondix.map).

#include "core/aplugin.h"

#define ONDIX_EXPORT extern "C" __attribute__((visibility("default")))

ONDIX_EXPORT AEffect* main_macho(audioMasterCallback audioMaster) {
    return ondixPluginEntry(audioMaster);
}

ONDIX_EXPORT AEffect* VSTPluginMain(audioMasterCallback audioMaster) {
    return ondixPluginEntry(audioMaster);
}

// "main" cannot be declared as an ordinary C++ function of this type, so the
// symbol is given to an alias through its assembler name.
ONDIX_EXPORT AEffect* ondixLegacyMain(audioMasterCallback audioMaster) __asm__("main");
AEffect* ondixLegacyMain(audioMasterCallback audioMaster) {
    return ondixPluginEntry(audioMaster);
}
