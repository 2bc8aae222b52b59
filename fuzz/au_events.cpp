// An AudioUnit host playing the plug-in through the adapter (au/): MIDI by
// the MusicDevice call and by fast dispatch (offsets anywhere in the slice
// and beyond it, any bytes), parameters scheduled as immediate values and as
// ramps (starting before, in or after the slice), set directly between
// slices, and slices of any size up to the maximum. Every output sample must
// be finite and within the output limit, every value the host reads back
// within 0..1 (one set directly stored as it plays, not a number as 0), and
// after all notes off (sustain pedal up, controller 123 on every channel) no
// key may stay held: every voice dies away.
//
// One unit, opened through the component entry as a host opens it, serves
// the whole run (building one costs more than all else an input does). Each
// input starts from the unit's start-up state, restored through its class
// information as a host restores a project, and the unit reset; what the
// adapter keeps between slices (queued events, scheduled values and ramps)
// is empty then, since every input ends with slices that take all of it.
// The voices' random seed and the host's sample time start over too.
//
// Input: steps of an operation byte and its argument bytes, until the input
// ends (at most 96 steps).
//   0 MIDI                  way (bit 0: fast dispatch), offset, status, data 1, data 2
//                           (offset: byte / 128 of a slice)
//   1 an immediate value    tag high, tag low, offset, value (fuzz::hostValue)
//   2 a ramp                tag high, tag low, start (signed byte * 8), length (byte * 8),
//                           from, to
//   3 a direct value        tag high, tag low, value
//   4 a slice               frames (1..512, byte * 2 + 1 when below 256)
//   5 slices of 512 frames  count (1..8)
//
// An input is rendered for as long as it asks and no longer, within a
// budget (as in vst_events): the slices of its steps make 4096 frames at
// most (what is asked beyond is cut), and the release is followed for 2048
// frames at most.

#include "event_support.h"
#include "plugin_support.h"

#include "au/au_plugin.h"
#include "tests/support/au_param_events.h"
#include "tools/auhost/au_host.h"

#include <algorithm>
#include <cmath>
#include <vector>

extern "C" OSStatus AUPLUGINEntry(ComponentParameters* params, void* storage);
extern "C" AudioComponentPlugInInterface* AUPLUGINFactory(const AudioComponentDescription*);

namespace {

using ondix::auhost::AUTestHost;

constexpr UInt32 kSlice = 512;
constexpr int kMaxSteps = 96;
constexpr UInt32 kStepFrames = 8 * kSlice; // what the steps' slices may render in all
constexpr UInt32 kReleaseSlice = 256;
constexpr int kReleaseFrames = 8 * kReleaseSlice;

// The unit for the whole run and its state at start-up. Never closed: the
// process ends with it open, as a host that crashes or quits.
struct Kept {
    AUTestHost host{{AUPLUGINEntry, AUPLUGINFactory}};
    CFPropertyListRef startState = nullptr;
};

Kept& kept() {
    static Kept* unit = [] {
        auto* k = new Kept;
        if (k->host.open(ondix::auhost::OpenWay::Entry) != noErr ||
            k->host.setOutputFormat(canonicalFormat(44100, 2)) != noErr ||
            k->host.setMaxFrames(kSlice) != noErr || k->host.initialize() != noErr)
            fuzz::fail("the unit does not open");
        if (k->host.get(kAudioUnitProperty_ClassInfo, k->startState) != noErr || !k->startState)
            fuzz::fail("the unit hands over no state");
        return k;
    }();
    return *unit;
}

void render(AUTestHost& host, UInt32 frames) {
    if (host.render(frames) != noErr) fuzz::fail("a slice was refused");
    for (UInt32 c = 0; c < 2; ++c) {
        const float* x = host.channel(c);
        if (!x) fuzz::fail("a slice came back without its buffers");
        for (UInt32 i = 0; i < frames; ++i)
            if (!std::isfinite(x[i]) || std::fabs(x[i]) > 0.999f)
                fuzz::fail("an output sample is not finite or beyond the output limit");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::setUpPluginProcess();
    render(kept().host, 64);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Kept& k = kept();
    AUTestHost& host = k.host;
    auto* unit = static_cast<AUPLUGIN*>(static_cast<AUBase*>(host.storage()));
    APlugin& p = *static_cast<APlugin*>(unit->Effect());
    // The start-up state again, the unit reset, and the engine settled to it.
    if (host.set(kAudioUnitProperty_ClassInfo, k.startState) != noErr)
        fuzz::fail("the unit refuses its own state");
    if (host.reset() != noErr) fuzz::fail("the unit does not reset");
    fuzz::settle(p);
    fuzz::startOver(p);
    host.stamp.mSampleTime = 0.0;
    host.clearEvents();
    UInt32 budget = kStepFrames;
    auto stepSlice = [&](UInt32 frames) {
        frames = std::min(frames, budget);
        if (frames == 0) return;
        budget -= frames;
        render(host, frames);
    };

    size_t at = 0;
    auto next = [&]() -> uint8_t { return at < size ? data[at++] : 0; };
    std::array<bool, tag::Count> written{};
    auto id = [&]() -> AudioUnitParameterID {
        const uint8_t high = next();
        const int t = fuzz::tagFrom(high, next());
        written[static_cast<std::size_t>(t)] = true;
        return static_cast<AudioUnitParameterID>(t);
    };
    for (int steps = 0; at < size && steps < kMaxSteps; ++steps) {
        switch (next() % 6) {
        case 0: {
            const uint8_t way = next();
            const UInt32 offset = next() * kSlice / 128;
            const uint8_t status = next(), d1 = next(), d2 = next();
            if (way & 1)
                host.midiFast(status, d1, d2, offset);
            else
                host.midi(status, d1, d2, offset);
            break;
        }
        case 1: {
            const AudioUnitParameterID parameter = id();
            const UInt32 offset = next() * kSlice / 128;
            host.scheduleParameters({immediate(parameter, offset, fuzz::hostValue(next()))});
            break;
        }
        case 2: {
            const AudioUnitParameterID parameter = id();
            const SInt32 start = static_cast<int8_t>(next()) * 8;
            const UInt32 frames = next() * 8u;
            const float from = fuzz::hostValue(next());
            host.scheduleParameters(
                {ramped(parameter, start, frames, from, fuzz::hostValue(next()))});
            break;
        }
        case 3: {
            const AudioUnitParameterID parameter = id();
            const float value = fuzz::hostValue(next());
            host.setParameter(parameter, value);
            fuzz::checkHostWrite(p, static_cast<int>(parameter), value);
            break;
        }
        case 4: {
            const uint8_t frames = next();
            stepSlice(frames < 255 ? frames * 2u + 1u : kSlice);
            break;
        }
        case 5: {
            const int count = next() % 8 + 1;
            for (int i = 0; i < count; ++i) stepSlice(kSlice);
            break;
        }
        default:
            break;
        }
    }
    // A slice takes every event and value still queued (offsets beyond it
    // play at its last frame, values scheduled beyond it at its end).
    render(host, kReleaseSlice);
    for (AudioUnitParameterID parameter = 0; parameter < tag::Count; ++parameter) {
        float value = -1.0f;
        if (host.getParameter(parameter, value) != noErr) fuzz::fail("a parameter is not readable");
        fuzz::checkUnitRange(value, static_cast<int>(parameter),
                             "the unit gives the host a value outside 0..1");
    }
    fuzz::checkParameterValues(p, written);

    // All notes off as hosts send it when the transport stops.
    for (UInt32 channel = 0; channel < 16; ++channel) {
        host.midi(0xB0 | channel, 64, 0, 0);
        host.midi(0xB0 | channel, 123, 0, 0);
    }
    render(host, kReleaseSlice);
    fuzz::checkNotesEnd(
        p, [&] { render(host, kReleaseSlice); }, kReleaseSlice, kReleaseFrames);
    return 0;
}
