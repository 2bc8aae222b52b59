// Per-lane and per-voice state of the sound-making stages: oscillator,
// filter, distortion and mix. A lane is one unison copy of a voice.
#pragma once

#include "engine/dc_blocker.h"
#include "engine/distortion.h"
#include "engine/filter_state.h"
#include "engine/oscillator.h"
#include "engine/voice_mix.h"

#include <array>
#include <cstdint>

// One unison copy.
struct LaneState {
    // Oscillator increments (phases and fixed-point steps: OscillatorState).
    float incUp = 0.0f, incDown = 0.0f, incSub = 0.0f; // cycles per sub-sample
    float copyRatio = 1.0f;
    float copyPhase = 0.0f;        // cycles
    float copyFilterOffset = 0.0f; // added to the normalised cut-off
    float copyPanL = 1.0f, copyPanR = 1.0f;
    // Slow random pitch drift of the up and down oscillators.
    float driftPhaseUp = 0.0f, driftRateUp = 0.0f, driftRatioUp = 1.0f;
    float driftPhaseDown = 0.0f, driftRateDown = 0.0f, driftRatioDown = 1.0f;
    int morphLo = 0, morphHi = 0;
    float morphWeight = 0.0f;
    float morphAmount = 0.0f; // weight of wave B for noise mixing

    std::array<float, 4> osc{}; // oscillator sub-samples at 4x the rate

    DistortionLane distortion; // state of the "Rate" mode
    DCBlocker dc;
};

// Per-voice values of the oscillator and mix stages.
struct VoiceDspState {
    float octaveFactor = 1.0f;
    int octaveNumber = 0;
    float morphSmoothed = 0.0f;
    float symmetrySmoothed = 0.5f;
    float subLevelSmoothed = 0.0f;
    float subGain = 0.0f;
    float subNorm = 1.0f;
    float distortSmoothed = 0.0f;
    float distortDrive = 0.0f;
    float panSmoothed = 0.5f;
    float filterFreqSmoothed = 1.0f;
    float hiPassFreqSmoothed = 0.0f;
    float notePosition = 57.0f;
    float baseIncrement = 0.0f; // cycles per sub-sample of the plain note
    float upRatio = 1.0f, downRatio = 1.0f;
    int warpRow = 1028;
    int pitchTable = 0;
    int subSquare = -1; // square wave of the sub-oscillator, -1 for the sine
    int subWarpRow = 1023;
    // Inputs of the values above as last computed, so unchanged inputs cost
    // nothing per frame.
    float lastMorphInput = -1e30f;
    float lastSymmetryInput = -1e30f;
    float lastSubInput = -1e30f, lastSubModulation = -1e30f;
    float lastTableNote = -1e30f;
    void invalidateCaches() {
        lastMorphInput = lastSymmetryInput = lastSubInput = lastSubModulation = lastTableNote =
            -1e30f;
        osc.invalidate();
    }
    OscillatorState osc; // phases, steps and what a frame reads, lane-major
    VoiceMixState mix;   // the distortion constants of the mix
    FilterVoice filter;  // the lanes' filters and output, key terms, note-start flag, high-pass
    std::array<LaneState, 4> lanes{};
};
