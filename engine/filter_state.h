// State of the voice filter: per voice (its four lanes' filters and
// high-passes side by side, the high-pass coefficients, the output) and per
// engine (cached switches, the filters and outputs of the voices with one
// copy, four side by side, the key and controller terms, four voices side by
// side, the note-start flags, and the comb rings).
//
// Units: cut-offs in Hz, the normalised terms in knob units (0..1 of the
// "Filter Frequency" range, 20 Hz .. 20480 Hz over ten octaves), ratios as
// linear factors on Hz.
#pragma once

#include "core/zero_pages.h"
#include "engine/filters.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>

inline constexpr int kFilterVoices = 16;
inline constexpr int kFilterLanes = kFilterVoices * 4;  // voices x unison copies
inline constexpr int kFilterGroups = kFilterVoices / 4; // of four voices with one copy

// Four lanes side by side: filters, high-passes, the cut-off positions
// their coefficients were looked up for, and the output.
struct FilterLanes4 {
    LaneFilter4 lanes;              // the selected type
    ResonantHighPassT<F4> highPass; // after it, when switched on
    F4 position = -1.0f;            // normalised cut-off last looked up, -1 none
    // The output of the last frame, at 2x the rate: sub-sample 0 and 1, lane
    // by lane (a lane that did not run keeps its last).
    std::array<F4, 2> out{};

    // Every lane's filter and high-pass anew, without coefficients.
    void resetLanes() {
        lanes.reset();
        highPass = {};
        position = -1.0f;
    }
    // Lane k alone.
    void resetLane(int k) {
        lanes.resetLane(k);
        highPass.low.set(k, 0.0f);
        highPass.band.set(k, 0.0f);
        position.set(k, -1.0f);
    }
};

// Four voices with one copy each (FilterGlobal::groups), the key ratio and
// resonance of the last frame per lane, as FilterVoice keeps them, and their
// smoothed "Filter Frequency" (VoiceDspState::filterFreqSmoothed while the
// voice has several copies; taken from there when the note starts).
struct FilterGroup : FilterLanes4 {
    F4 lastKeyRatio = -1.0f, lastQ = -1.0f;
    F4 cutoffSmoothed = 1.0f;
};

// One voice. The high-pass key ratio is refreshed on the voice's 16-frame
// tick (the cut-off's key and controller terms are kept four voices side by
// side: FilterGlobal::terms). The lanes (one column per unison copy) serve a
// voice with several copies; a voice with one copy keeps its filter and its
// output in its group (FilterGlobal::groups).
struct FilterVoice : FilterLanes4 {
    float hiPassKeyRatio = 1.0f; // 2^pitch with high-pass key tracking, else 1
    // What the two ratios' exp2 was last taken of (NaN: not yet).
    float keyRatioInput = std::numeric_limits<float>::quiet_NaN();
    float pitchRatioInput = std::numeric_limits<float>::quiet_NaN(), pitchRatio = 1.0f;
    // Key ratio and resonance of the last frame: while they and a copy's
    // cut-off position stay put, its Hz cannot have moved. (A voice with one
    // copy keeps them in its group.)
    float lastKeyRatio = -1.0f, lastQ = -1.0f;

    // High-pass coefficients and what they were computed from.
    float hiPassInput = -1.0f; // smoothed frequency + modulation, -1 none yet
    float hiPassRatioUsed = -1.0f;
    float hiPassF = 0.0f;
};

// The cut-off's key and controller terms of four voices side by side (voice v
// is lane v % 4 of FilterGlobal::terms[v / 4], whatever its copies),
// refreshed on the voice's 16-frame tick.
struct FilterTerms4 {
    F4 modWheel = 0.0f;   // (2 x "Mod Wheel > Filter Frequency" - 1) x smoothed wheel
    F4 velocity = 0.0f;   // "Velocity > Filter Frequency" x velocity
    F4 keyRatio = 1.0f;   // 2^((2 x "Key > Filter Frequency" - 1) x pitch in octaves)
    F4 copyOffset = 0.0f; // copy 0's LaneState::copyFilterOffset, noteCopyOffset()
};

// A comb ring: one value per frame.
using CombRing = std::array<float, CombFilter::kRingSize>;

// Shared by all voices.
struct FilterGlobal {
    int type = -1;             // cached "Filter Type" step, -1 before the first refresh
    float envelopeSign = 1.0f; // -1 with "Invert Filter Envelope"
    bool hiPassOn = false;
    bool hiPassQOn = false;
    float coefficientRate = 0.0f; // sample rate the lanes' coefficients belong to
    FilterContext context;        // curves and rate terms for that rate

    // The voices with one copy, four side by side: voice v is lane v % 4 of
    // group v / 4, so that one vector steps four voices.
    std::array<FilterGroup, kFilterGroups> groups{};
    std::array<FilterTerms4, kFilterGroups> terms{};
    // Bit v: voice v restarted its note; its next frame recomputes the
    // coefficients of its lanes whatever moved.
    uint32_t noteStarts = 0;
    // The listed voices (RenderState::listedVoices) as last sorted by their
    // copies: bit v of `singles`, voice v has one copy and runs in its group
    // (its output is in groups[v / 4].out, lane v % 4, where the voice mix of
    // the same frame reads it); of `several`, it runs on its own lanes. A
    // voice's copies change only when its note restarts, which clears
    // `sorted` (initFilter).
    uint32_t sortedList = 0, singles = 0, several = 0;
    bool sorted = false;

    float keyRatio(int v) const { return terms[static_cast<std::size_t>(v / 4)].keyRatio[v % 4]; }
    float velocityTerm(int v) const {
        return terms[static_cast<std::size_t>(v / 4)].velocity[v % 4];
    }
    float modWheelTerm(int v) const {
        return terms[static_cast<std::size_t>(v / 4)].modWheel[v % 4];
    }

    // Kept here rather than in the lanes so that a voice stays small; lane
    // voice x 4 + copy. 2 MiB of zero pages: memory only for the lanes a comb
    // filter has played.
    ZeroPages<CombRing> combRings{kFilterLanes};
};

// Whoever sets copy 0's LaneState::copyFilterOffset of voice v tells its
// group here.
inline void noteCopyOffset(FilterGlobal& fg, int v, float offset) {
    fg.terms[static_cast<std::size_t>(v / 4)].copyOffset.set(v % 4, offset);
}

// The lanes and the lane that hold copy k of voice v with `copies` copies.
struct FilterLaneRef {
    const FilterLanes4& at;
    int lane;

    float cutoff() const { return at.lanes.cutoff(lane); }
    float resonance() const { return at.lanes.resonance(lane); }
    int32_t combDelay() const { return at.lanes.combDelay(lane); }
    float out(int j) const { return at.out[static_cast<std::size_t>(j)][lane]; }
};
inline FilterLaneRef filterLaneOf(const FilterGlobal& fg, const FilterVoice& fv, int v, int copies,
                                  int k) {
    if (copies <= 1) return {fg.groups[static_cast<std::size_t>(v / 4)], v % 4};
    return {fv, k};
}
