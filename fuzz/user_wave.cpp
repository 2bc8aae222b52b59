// User-wave files (".uwv"): a version word, then up to 128 amplitudes and
// 128 phases. Whatever the file holds, the wave's partial parameters stay
// inside 0..1 and its table finite.
//
// STOPGAP: the reader only takes a file today, so the input is written to the
// scratch folder and loaded as a wave preset of a plug-in shared by the run.
// Switch to the parse function over memory when the reader has one.

#include "plugin_support.h"

#include <cmath>
#include <filesystem>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::setUpPluginProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    APlugin& p = fuzz::sharedInstance().plugin();
    static const std::string folder = [] {
        const std::string path = fuzz::scratchFolder() + "/waves";
        std::filesystem::create_directories(path);
        return path;
    }();
    p.core.folders.wavePresetDir = folder;
    fuzz::writeScratchFile("waves/input.uwv", data, size);

    constexpr int w = 1;
    p.loadWavePreset(w, std::string("input"));
    for (int j = 0; j < kUserWavePartials; ++j) {
        const float v = p.getParameter(tag::partial(w, j));
        if (!(v >= 0.0f && v <= 1.0f)) fuzz::fail("a partial parameter outside 0..1");
    }
    for (float x : p.waves.userWaveTable[w])
        if (!std::isfinite(x)) fuzz::fail("the user wave's table is not finite");
    return 0;
}
