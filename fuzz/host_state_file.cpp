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

// A chord on the restored state, its notes `delay` frames from now, held
// for kHeld frames and released for kReleased more: 128 frames hold one
// rare-settings tick (every 128th frame) and eight control ticks (every
// 16th), wherever they start. True when any of it was heard.
constexpr int64_t kTick = 4096, kHeld = 64, kReleased = 64;

bool chord(Loaded& l, int64_t delay) {
    Plugin& plugin = *l.plugin;
    const int64_t release = delay + kHeld, end = release + kReleased;
    std::vector<MidiMessage> schedule;
    for (int note : {36, 60, 64, 67, 96})
        schedule.push_back({delay, static_cast<uint8_t>(0x90), static_cast<uint8_t>(note), 100});
    for (int note : {36, 60, 64, 67, 96})
        schedule.push_back({release, static_cast<uint8_t>(0x80), static_cast<uint8_t>(note), 0});
    const int block = plugin.settings().blockSize;
    static std::vector<float> in0(block), in1(block), out0(block), out1(block);
    float* inputs[2] = {in0.data(), in1.data()};
    float* outputs[2] = {out0.data(), out1.data()};
    EventList events;
    size_t cursor = 0;
    bool heard = false;
    for (int64_t at = 0; at < end; at += block) {
        const int n = static_cast<int>(std::min<int64_t>(block, end - at));
        events.fill(schedule, cursor, at, n);
        plugin.processEvents(events.events());
        plugin.processReplacing(inputs, outputs, n);
        l.frames += n;
        for (int i = 0; i < n; ++i)
            for (float x : {out0[i], out1[i]}) {
                if (!std::isfinite(x) || std::fabs(x) > 1.0f)
                    fuzz::fail("an output sample is not finite or beyond full scale");
                heard = heard || x != 0.0f;
            }
    }
    return heard;
}

// Plays a chord on a restored state at once: the preset application runs
// before its first note. When the new waves need a rebuild, it starts at
// the next slow tick (every 4096th frame) and the plug-in stays silent for
// the 4096 frames it takes; a chord that gave nothing but silence is played
// again after that (before it there is nothing to play, and the frames cost
// little), for one input in kRebuiltOneIn: the rebuild's pitch tables cost
// 4 ms of transforms that read nothing but the frames. Most inputs keep the
// waves of the one before, and play on the bank already there.
constexpr unsigned kRebuiltOneIn = 16;

void playChord(Loaded& l, bool waitForTables) {
    const int64_t start = l.frames;
    if (chord(l, 0) || !waitForTables) return;
    const int64_t built = (start + kTick - 1) / kTick * kTick + kTick + kTick / 8;
    chord(l, std::max<int64_t>(built - l.frames, 0));
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
    playChord(l, fuzz::oneInputIn(kRebuiltOneIn, data, size));
    return 0;
}
