// State files of the offline host (render --load-state): a chunk for a
// plug-in that exchanges chunks, else the parameter values. The real plug-in
// is loaded from ondix.so the way the host does it, the file restored, and a
// chord played: refused files say why, and the output stays finite and
// within full scale.
//
// STOPGAP: loadState only takes a path today, so the input is written to the
// scratch folder. Switch to the parse function over memory when it has one.

#include "fuzz_support.h"

#include "tools/host/commands.h"
#include "tools/host/event_list.h"

#include <cmath>
#include <vector>

using namespace ondix::host;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::usePrivatePrefs();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzz::writeScratchFile("state.bin", data, size);
    std::string error;
    const HostSettings settings; // as ondix-host: its product name, 44100 Hz, 512 frames
    auto plugin = Plugin::load(ONDIX_FUZZ_PLUGIN, settings, error);
    if (!plugin) fuzz::fail(error.c_str());
    plugin->open();
    if (!loadState(*plugin, path, false, error)) {
        if (error.empty()) fuzz::fail("a refused state file without a message");
        return 0;
    }
    plugin->resume();

    // Past the preset application and wave-table rebuild, then a chord.
    std::vector<MidiMessage> schedule;
    for (int note : {36, 60, 64, 67, 96})
        schedule.push_back({8192, static_cast<uint8_t>(0x90), static_cast<uint8_t>(note), 100});
    for (int note : {36, 60, 64, 67, 96})
        schedule.push_back({10240, static_cast<uint8_t>(0x80), static_cast<uint8_t>(note), 0});
    const int block = settings.blockSize;
    std::vector<float> in0(block), in1(block), out0(block), out1(block);
    float* inputs[2] = {in0.data(), in1.data()};
    float* outputs[2] = {out0.data(), out1.data()};
    EventList events;
    size_t cursor = 0;
    for (int64_t start = 0; start < 12288; start += block) {
        events.fill(schedule, cursor, start, block);
        plugin->processEvents(events.events());
        plugin->processReplacing(inputs, outputs, block);
        for (int i = 0; i < block; ++i)
            for (float x : {out0[i], out1[i]})
                if (!std::isfinite(x) || std::fabs(x) > 1.0f)
                    fuzz::fail("an output sample is not finite or beyond full scale");
    }
    plugin->suspend();
    return 0;
}
