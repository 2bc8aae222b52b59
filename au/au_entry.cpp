// The entry points of ondix-au.so: the component entry, the AudioComponent
// factory, both making an AUPLUGIN around the plug-in, and the view factory
// under the class name the Cocoa UI property gives. Only these three
// symbols are exported (see ondix-au.map).
#include "audiounit/au_entry.h"
#include "au/au_component.h"
#include "au/au_plugin.h"
#include "au/au_view.h"

#include <dlfcn.h>

#include <mutex>

#define ONDIX_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// The library is its own bundle: the first open registers the file this
// code was loaded from under the component's bundle identifier.
void registerOwnBundle() {
    static std::once_flag once;
    std::call_once(once, [] {
        Dl_info info{};
        if (dladdr(reinterpret_cast<void*>(&registerOwnBundle), &info) && info.dli_fname)
            CFBundleRegister(ondix::au::kComponentBundleIdentifier, info.dli_fname);
    });
}

AUBase* makeUnit(AudioComponentInstance instance) {
    registerOwnBundle();
    return new AUPLUGIN(instance);
}

} // namespace

ONDIX_EXPORT OSStatus AUPLUGINEntry(ComponentParameters* params, void* storage) {
    return AUComponentEntry(makeUnit, params, storage);
}

ONDIX_EXPORT AudioComponentPlugInInterface*
AUPLUGINFactory(const AudioComponentDescription* /*description*/) {
    return AUComponentFactory(makeUnit);
}

ONDIX_EXPORT const AUCocoaViewFactoryInterface* ONDX_QVTZ_CocoaViewFactory() {
    return auCocoaViewFactoryInterface();
}
