// Voice mix: distortion, DC blocker, amplitude and pan of one voice's lanes
// (unison copies), summed into the four-value voice bus.
//
// Units and calibration:
//   - Input: the filter's output of every lane, two sub-samples at twice the
//     sample rate r (FilterVoice::out), full scale 1.0.
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
// Costs: the lanes move side by side (SSE2): the input guard, "Atan" and the
// DC blocker (two lanes per double vector) run once for all copies, the other
// shapers lane by lane; the gains are computed once per voice. Voices with
// one copy (the common case) run four at a time instead, one voice per
// vector lane: pan, gains, input guard, "Atan", the DC blockers (two double
// vectors) and "Voice Out" once for the four, the other shapers lane by
// lane. Runs of such voices in the list are cut into fours (a voice with
// more copies ends a run; a single voice left over goes alone), and each
// four's parts go into the bus in list order, so the sum and the "Square"
// sign are bit for bit those of voice by voice.
//
// Use per frame (APlugin schedules it after the filter stage):
//   VoiceMix::Frame f{panTag, mode, dcCoef};
//   F4 bus = ...;                              // the voice bus
//   VoiceMix::processList(f, listed, count, bus); // listed voices, ascending
// or voice by voice (the same sum):
//   SquareCarry carry;                         // the "Square" sign, all voices
//   for each listed voice, ascending: VoiceMix::process<Mode>(f, voice, carry, bus);
#pragma once

#include "engine/distortion.h"
#include "engine/simd4.h"

struct VoiceState;

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

    // One voice into the bus. The mode is compiled in.
    template <int Mode>
    static void process(const Frame& frame, VoiceState& voice, SquareCarry& carry, F4& bus);

    // The voices of a list (each once, in the order their parts are summed)
    // into the bus, in frame.mode.
    static void processList(const Frame& frame, VoiceState* const* voices, int count, F4& bus);

    // The same voice by voice through process<Mode>: the reference of the
    // four-at-a-time path.
    static void processEach(const Frame& frame, VoiceState* const* voices, int count, F4& bus);
};
