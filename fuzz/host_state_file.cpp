// State files of the offline host (render --load-state), read over memory.
//  - parseStateFile, for the plug-in and for plug-ins of other kinds: a file
//    of exactly the values' size is values for a plug-in with setParameter
//    (the file's floats, in order), anything else a chunk for a plug-in that
//    takes chunks, otherwise unusable.
//  - The real plug-in, loaded from ondix.so the way the host does it, gets
//    the bytes through loadState and plays a chord: refused bytes say why,
//    and the output stays finite and within full scale.

#include "fuzz_support.h"

#include "tools/host/commands.h"
#include "tools/host/event_list.h"
#include "tools/host/state_file.h"

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

using namespace ondix::host;

namespace {

void checkParse(const uint8_t* data, size_t size, const StateTarget& target) {
    const StateFileContents contents = parseStateFile(data, size, target);
    const bool valuesSize =
        target.numParams > 0 && size == static_cast<size_t>(target.numParams) * 4;
    switch (contents.kind) {
    case StateFileContents::Kind::values:
        if (!valuesSize || !target.canSetParameters)
            fuzz::fail("values for a plug-in that cannot take them");
        if (contents.values.size() != static_cast<size_t>(target.numParams) ||
            std::memcmp(contents.values.data(), data, size) != 0)
            fuzz::fail("values that are not the file's floats");
        break;
    case StateFileContents::Kind::chunk:
        if (!target.exchangesChunks) fuzz::fail("a chunk for a plug-in without chunks");
        if (valuesSize && target.canSetParameters) fuzz::fail("a values file taken as a chunk");
        break;
    case StateFileContents::Kind::unusable:
        if (target.exchangesChunks || (valuesSize && target.canSetParameters))
            fuzz::fail("a usable file taken as unusable");
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::usePrivatePrefs();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string error;
    const HostSettings settings; // as ondix-host: its product name, 44100 Hz, 512 frames
    auto plugin = Plugin::load(ONDIX_FUZZ_PLUGIN, settings, error);
    if (!plugin) fuzz::fail(error.c_str());
    AEffect& effect = plugin->effect();
    const StateTarget own{effect.numParams, (effect.flags & effFlagsProgramChunks) != 0,
                          effect.setParameter != nullptr};
    const auto sizeParams = static_cast<int32_t>(size / 4);
    for (const StateTarget& target :
         {own, StateTarget{own.numParams, false, true}, StateTarget{own.numParams, true, false},
          StateTarget{sizeParams, false, true}, StateTarget{sizeParams, true, true},
          StateTarget{0, false, true}, StateTarget{-1, true, true}})
        checkParse(data, size, target);

    plugin->open();
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    if (!loadState(*plugin, "the fuzz input", bytes, false, error)) {
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
