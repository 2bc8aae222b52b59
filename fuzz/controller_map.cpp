// MIDI controller map files (".ecs"): 128 parameter tags. A file is taken
// whole or refused with a message; the map then holds tags 0..1023 only, and
// the preferences hold what the engine uses.
//
// STOPGAP: the reader only takes a file today, so the input is written to the
// scratch folder and chosen in the load dialog of a plug-in shared by the
// run. Switch to the parse function over memory when the reader has one.

#include "plugin_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::setUpPluginProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    APlugin& p = fuzz::sharedInstance().plugin();
    fuzz::dialogs().path = fuzz::writeScratchFile("input.ecs", data, size);
    const long alertsBefore = fuzz::dialogs().alerts;
    p.loadECS();
    fuzz::dialogs().path.clear();
    const bool accepted = fuzz::dialogs().alerts == alertsBefore;

    for (int n = 0; n < 128; ++n) {
        const int t = p.engine.midi.ccMap[n].load(std::memory_order_relaxed);
        if (t < 0 || t >= tag::Count) fuzz::fail("a controller bound to no parameter");
        if (accepted && getMidiCC(n) != t)
            fuzz::fail("the preferences differ from the map the engine uses");
    }
    return 0;
}
