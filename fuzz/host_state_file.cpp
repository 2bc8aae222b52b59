// State files of the offline host (render --load-state), read over memory.
//  - parseStateFile, for the plug-in and for plug-ins of other kinds: a file
//    of exactly the values' size is values for a plug-in with setParameter
//    (the file's floats, in order), anything else a chunk for a plug-in that
//    takes chunks, otherwise unusable.
//  - The real plug-in, loaded from ondix.so the way the host does it, gets
//    the bytes through loadState and plays a chord: refused bytes say why,
//    and the output stays finite and within full scale.
//
// The plug-in is loaded once for the whole run (building one per input took
// nearly all the time): a state file is a whole state, and the preset
// application it brings resets the engine to it.

#include "fuzz_support.h"

#include "tools/host/commands.h"
#include "tools/host/event_list.h"
#include "tools/host/state_file.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
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

// The plug-in for the whole run, opened and resumed as the host does it, and
// the frames it has been given since: its slow ticks fall on every 4096th.
struct Loaded {
    std::unique_ptr<Plugin> plugin;
    int64_t frames = 0;
};

Loaded& loaded() {
    static Loaded one = [] {
        std::string error;
        Loaded l;
        l.plugin = Plugin::load(ONDIX_FUZZ_PLUGIN, HostSettings{}, error);
        if (!l.plugin) fuzz::fail(error.c_str());
        l.plugin->open();
        l.plugin->resume();
        return l;
    }();
    return one;
}

// Plays a chord on a restored state once the plug-in has taken it: the
// preset application waits for the next slow tick (T), and its wave-table
// rebuild starts at the one after and takes another 4096 frames, in which the
// plug-in stays silent. (Values without the application: the changed waves
// ask for a rebuild within 128 frames, done by T + 8192 as well.) The chord
// starts then, sounds for kHeld frames and is released for kReleased more;
// before it there is nothing to play, and the frames cost little.
void playChord(Loaded& l) {
    constexpr int64_t kTick = 4096, kHeld = 256, kReleased = 256;
    Plugin& plugin = *l.plugin;
    const int64_t start = l.frames;
    const int64_t sounding = (start + kTick - 1) / kTick * kTick + 2 * kTick - start;
    const int64_t release = sounding + kHeld, end = release + kReleased;
    std::vector<MidiMessage> schedule;
    for (int note : {36, 60, 64, 67, 96})
        schedule.push_back({sounding, static_cast<uint8_t>(0x90), static_cast<uint8_t>(note), 100});
    for (int note : {36, 60, 64, 67, 96})
        schedule.push_back({release, static_cast<uint8_t>(0x80), static_cast<uint8_t>(note), 0});
    const int block = plugin.settings().blockSize;
    static std::vector<float> in0(block), in1(block), out0(block), out1(block);
    float* inputs[2] = {in0.data(), in1.data()};
    float* outputs[2] = {out0.data(), out1.data()};
    EventList events;
    size_t cursor = 0;
    for (int64_t at = 0; at < end; at += block) {
        const int n = static_cast<int>(std::min<int64_t>(block, end - at));
        events.fill(schedule, cursor, at, n);
        plugin.processEvents(events.events());
        plugin.processReplacing(inputs, outputs, n);
        l.frames += n;
        for (int i = 0; i < n; ++i)
            for (float x : {out0[i], out1[i]})
                if (!std::isfinite(x) || std::fabs(x) > 1.0f)
                    fuzz::fail("an output sample is not finite or beyond full scale");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::usePrivatePrefs();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Loaded& l = loaded();
    AEffect& effect = l.plugin->effect();
    const StateTarget own{effect.numParams, (effect.flags & effFlagsProgramChunks) != 0,
                          effect.setParameter != nullptr};
    const auto sizeParams = static_cast<int32_t>(size / 4);
    for (const StateTarget& target :
         {own, StateTarget{own.numParams, false, true}, StateTarget{own.numParams, true, false},
          StateTarget{sizeParams, false, true}, StateTarget{sizeParams, true, true},
          StateTarget{0, false, true}, StateTarget{-1, true, true}})
        checkParse(data, size, target);

    std::string error;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    if (!loadState(*l.plugin, "the fuzz input", bytes, false, error)) {
        if (error.empty()) fuzz::fail("a refused state file without a message");
        return 0;
    }
    playChord(l);
    return 0;
}
