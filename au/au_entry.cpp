// The entry points of ondix-au.so: the component entry and the
// AudioComponent factory, both making an AUPLUGIN around the plug-in. Only
// these two symbols are exported (see ondix-au.map).
#include "audiounit/au_entry.h"
#include "au/au_plugin.h"

#define ONDIX_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

AUBase* makeUnit(AudioComponentInstance instance) {
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
