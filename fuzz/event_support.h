// What the event targets (vst_events, au_events) share: the values a host
// writes, as bytes pick them, and the checks that hold for every input
// whatever it played: every value a host reads back lies in 0..1, and after
// all notes off no key stays held and every voice dies away.
#pragma once

#include "fuzz_support.h"
#include "plugin_support.h"

#include "core/aplugin.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

namespace fuzz {

// A parameter value as hosts write them: 0..1 in steps of 1/250, and the
// values a careless host sends too (below 0, above 1, NaN, infinities).
inline float hostValue(uint8_t b) {
    switch (b) {
    case 251:
        return -0.25f;
    case 252:
        return 1.5f;
    case 253:
        return std::numeric_limits<float>::quiet_NaN();
    case 254:
        return std::numeric_limits<float>::infinity();
    case 255:
        return -std::numeric_limits<float>::infinity();
    default:
        return static_cast<float>(b) / 250.0f;
    }
}

// A tag from two bytes, each of the 1024 as likely.
inline int tagFrom(uint8_t high, uint8_t low) {
    return ((high << 8) | low) % tag::Count;
}

inline bool inUnitRange(float v) {
    return std::isfinite(v) && v >= 0.0f && v <= 1.0f;
}

// Stops the run when `value`, of tag `t`, is outside 0..1.
inline void checkUnitRange(float value, int t, const char* what) {
    if (inUnitRange(value)) return;
    std::fprintf(stderr, "tag %d: %g\n", t, static_cast<double>(value));
    fail(what);
}

// A value the host writes directly is stored as it plays, within 0..1; not
// a number as 0, as a restored state stores it.
inline void checkHostWrite(APlugin& p, int t, float value) {
    checkUnitRange(p.getStoredValue(t), t, "a value the host wrote is stored outside 0..1");
    if (!std::isnan(value) || p.getStoredValue(t) == 0.0f) return;
    std::fprintf(stderr, "tag %d: %g\n", t, static_cast<double>(p.getStoredValue(t)));
    fail("not a number the host wrote is not stored as 0");
}

// Every value the host reads within 0..1, and every value the host wrote
// kept within 0..1 in the record and in the current values. (A state
// restored keeps its values as they were stored, 1.00667 for Arp Number of
// Steps among them: the host gets back what it gave.)
inline void checkParameterValues(APlugin& p, const std::array<bool, tag::Count>& written) {
    for (int t = 0; t < tag::Count; ++t) {
        checkUnitRange(p.getParameter(t), t, "the host reads a value outside 0..1");
        if (!written[t]) continue;
        checkUnitRange(p.getStoredValue(t), t, "a value the host wrote is stored outside 0..1");
        checkUnitRange(p.getCurrentValue(t), t, "a value the host wrote plays outside 0..1");
    }
}

// The release after all notes off (the sustain pedal up and controller 123
// on every channel, the caller's `panic`, followed by one block): no key is
// held and the arpeggiator stands; then every voice in the render list only
// gets quieter, block by block, until none is left. A release longer than
// `maxFrames` must at least have fallen over them. `render` renders one
// block of `blockFrames`. A wave-table rebuild the input asked for is done
// first (fuzz::settle): while the engine waits for one, for up to 8192
// frames, its voices stand still.
template <class Render>
void checkNotesEnd(APlugin& p, Render&& render, int blockFrames, int maxFrames) {
    settle(p);
    const auto keyHeld = [&p] {
        for (const VoiceState& voice : p.engine.voices)
            if (voice.gate) return true;
        return false;
    };
    if (keyHeld()) fail("a key is still held after all notes off");
    if (p.engine.arp.running) fail("the arpeggiator runs on after all notes off");
    std::array<double, kNumVoices> start{}, last{};
    for (int v = 0; v < kNumVoices; ++v) start[v] = last[v] = p.engine.voices[v].ampLevel();
    for (int frames = 0; frames < maxFrames; frames += blockFrames) {
        render();
        if (keyHeld()) fail("a note starts after all notes off");
        const RenderState& list = p.engine.render;
        if (list.activeVoiceCount == 0) return;
        for (int n = 0; n < list.activeVoiceCount; ++n) {
            const int v = list.activeVoices[n];
            const double level = p.engine.voices[v].ampLevel();
            if (level > last[v] + 1e-9) fail("a voice grows louder after all notes off");
            last[v] = level;
        }
    }
    const RenderState& list = p.engine.render;
    for (int n = 0; n < list.activeVoiceCount; ++n) {
        const int v = list.activeVoices[n];
        if (!(last[v] < start[v])) fail("a voice keeps sounding after all notes off");
    }
}

} // namespace fuzz
