// Voice mix: distortion, DC blocker, amplitude and pan of one voice's lanes
// (unison copies), summed into the four-value voice bus.
//
// Units and calibration:
//   - Input: the filter's output of every lane, two sub-samples at twice the
//     sample rate r, full scale 1.0: a voice with several copies in its own
//     FilterVoice::out, the voices with one copy four side by side in their
//     group (FilterGroup::out, voice v in lane v % 4 of group v / 4).
//   - Distortion (engine/distortion.h) at the voice's drive 0..0.99; its
//     constants are prepared once per change of mode or drive and kept in
//     the voice. "Off" leaves the samples as they are (a non-finite sample is
//     caught by the DC blocker and the output limit).
//   - DC blocker (engine/dc_blocker.h): one-pole high-pass near 9.5 Hz, state
//     in double, per lane and sub-sample, coefficient c = 60 / (2r).
//   - Gains: g = amp envelope (0..1) x velocity gain x |volume modulation|;
//     pan p = smoothed "Main Pan" (one-pole, 0.99 per frame) + modulation;
//     left = clamp(2 - 2p, 0, 1) g u, right = clamp(2p, 0, 1) g u, u the
//     unison divider; lane k adds its copy pan: gL = panL_k left,
//     gR = panR_k right.
//   - Bus: {L, R of sub-sample 0, L, R of sub-sample 1}, lanes added in
//     order, voice after voice (the order fixes the float rounding).
//   - "Voice Out" of the voice: (gL y0 + gR y0 + gL y1 + gR y1) / 4 of lane 0.
//
// Costs: the lanes move side by side (SSE2): the input guard, "Atan", the
// DC blockers (two double vectors), the copies' gains and parts run once for
// all copies, the other shapers lane by lane; the gains are computed once per
// voice (process() is the plain form: DC blockers in pairs, gains and parts
// copy by copy; processList() runs the vector form, bit for bit). Voices with
// one copy (the common case) run four at a time instead, in the groups the
// filter left their output in, one voice per vector lane: pan, gains, input
// guard, "Atan", the DC blockers (two double vectors) and "Voice Out" once
// for the group, the other shapers lane by lane (a group with one such voice
// runs it alone; the velocity gains, dividers, copy 0's pans and the
// smoothed pans are kept four voices side by side, VoiceMixGains4). Each voice's part goes into the
// bus in list order, so the sum and the "Square" sign are bit for bit those of voice by voice
// ("Square" with a voice of several copies listed goes voice by voice).
//
// Use per frame (APlugin schedules it after the filter stage):
//   VoiceMix::Frame f{panTag, mode, dcCoef};
//   VoiceMix::Singles singles{filter.singles, filter.several != 0,
//                             filter.groups.data(), engine.mixGains.data()};
//   F4 bus = ...;                                      // the voice bus
//   VoiceMix::processList(f, voices, singles, list, count, bus); // list ascending
// or voice by voice, copy by copy (the same sum, the reference of the above):
//   VoiceMix::processEach(f, voices, singles, list, count, bus);
// A voice with several copies alone: VoiceMix::process<Mode>(f, voice,
// voice.dsp.filter.out, carry, bus) with the "Square" sign in carry.
#pragma once

#include "engine/distortion.h"
#include "engine/filter_state.h"
#include "engine/simd4.h"

#include <array>
#include <cstdint>

struct VoiceState;

// What the gains of voices with one copy are made of besides the per-frame
// envelope and modulation, four voices side by side (voice v: lane v % 4 of
// group v / 4): the velocity gain and unison divider, which move with the
// note, and copy 0's pan, which moves on the voice's tick (whoever changes
// them in the voice calls VoiceMix::noteGains()); and the smoothed "Main
// Pan", which the mix moves here rather than in VoiceDspState::panSmoothed
// while the voice has one copy (taken from there when the note starts,
// VoiceMix::noteStart()).
struct VoiceMixGains4 {
    F4 velocityGain = 1.0f, uniDivide = 1.0f, copyPanL = 1.0f, copyPanR = 1.0f;
    F4 panSmoothed = 0.5f;
};

// Per-voice state of the mix besides the lanes' distortion and DC blockers:
// the shaper constants and what they were prepared from.
struct VoiceMixState {
    DistortionParams shape;
    int shapeMode = -1; // -1: none prepared yet
    float shapeDrive = 0.0f;
};

class VoiceMix {
public:
    struct Frame {
        float panTag = 0.5f; // "Main Pan" 0..1
        int mode = 0;        // distortion mode
        float dcCoef = 0.0f; // DCBlocker::coefficient(rate)
    };
    // The voices whose output waits in their group: bit v, voice v with one
    // copy, its sub-samples in lane v % 4 of groups[v / 4].out.
    struct Singles {
        uint32_t voices = 0;
        bool others = false; // the list holds voices with several copies too
        const FilterGroup* groups = nullptr;
        VoiceMixGains4* gains = nullptr; // as VoiceState holds them, noteGains(), noteStart()
    };
    using Input = std::array<F4, 2>; // sub-samples 0 and 1, lane k: copy k

    // Voice v's velocity gain, unison divider and copy 0's pan into its lane
    // of gains[v / 4].
    static void noteGains(VoiceMixGains4* gains, const VoiceState& voice, int v);
    // When voice v's note (re)starts: its smoothed pan into its lane of
    // gains[v / 4].
    static void noteStart(VoiceMixGains4* gains, const VoiceState& voice, int v);

    // One voice, its smoothed pan in VoiceDspState::panSmoothed, into the
    // bus. The mode is compiled in.
    template <int Mode>
    static void process(const Frame& frame, VoiceState& voice, const Input& in, SquareCarry& carry,
                        F4& bus);

    // The voices of a list (indices into `voices`, each once, ascending,
    // every voice of singles.voices among them) into the bus, in
    // frame.mode.
    static void processList(const Frame& frame, VoiceState* voices, const Singles& singles,
                            const int* list, int count, F4& bus);

    // The same voice by voice through process<Mode>: the reference of the
    // four-at-a-time path.
    static void processEach(const Frame& frame, VoiceState* voices, const Singles& singles,
                            const int* list, int count, F4& bus);
};
