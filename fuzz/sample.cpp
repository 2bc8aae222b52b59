// WAV and AIFF samples as the sample import reads them: the file squeezed
// into one cycle of a user wave. Whatever the file holds, the wave's table
// stays finite and its partial parameters inside 0..1.
//
// Every input is imported twice, named ".wav" (the WAV reader) and ".aif"
// (the AIFF reader), into user waves 1 and 2.
//
// STOPGAP: the reader only takes a file today, so the input is written to the
// scratch folder and chosen in the import's file dialog, on a plug-in shared
// by the run. Switch to the parse function over memory when the reader has one.

#include "plugin_support.h"

#include <cmath>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::setUpPluginProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    APlugin& p = fuzz::sharedInstance().plugin();
    int w = 0;
    for (const char* name : {"input.wav", "input.aif"}) {
        fuzz::dialogs().path = fuzz::writeScratchFile(name, data, size);
        p.loadSample(w);
        fuzz::dialogs().path.clear();
        for (int j = 0; j < kUserWavePartials; ++j) {
            const float v = p.getParameter(tag::partial(w, j));
            if (!(v >= 0.0f && v <= 1.0f)) fuzz::fail("a partial parameter outside 0..1");
        }
        for (float x : p.waves.userWaveTable[w])
            if (!std::isfinite(x)) fuzz::fail("the user wave's table is not finite");
        ++w;
    }
    return 0;
}
