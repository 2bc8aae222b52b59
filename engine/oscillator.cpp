// Oscillator stage: every frame, every unison copy of every listed voice
// produces four sub-samples at four times the sample rate.
//
// Units and calibration:
//   - Phases are 29-bit fixed point (2^29 = one cycle); the top 11 bits index
//     a 2048-sample table. Increments are cycles per sub-sample.
//   - Pitch: the voice's pitch is in octaves above MIDI note 57; at the middle
//     octave step note 57 plays the base pitch of 110 Hz (A4 = 440 Hz), so MIDI
//     note 69 sounds at 220 Hz.
//   - The wave is read from the band-limited pitch table of the note's range,
//     blended between two morph frames, through the symmetry warp.
//   - Costs: everything that changes only with modulation, bend or glide is
//     computed on the voice's 16-frame tick; per frame only the smoothed
//     morph, symmetry, sub and drive values and the table reads remain.

#include "core/aplugin.h"
#include "core/numeric.h"

#include "data/factory_waves.h"
#include "engine/tables.h"
#include "engine/voice_tables.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kPhaseOne = 536870912.0f; // 2^29
constexpr uint32_t kPhaseMask = (1u << 29) - 1;

// Cycles (any size, NaN as 0) as a 29-bit phase offset.
inline uint32_t phaseOffset(float cycles) {
    if (cycles == 0.0f) return 0;
    if (!(std::fabs(cycles) < 1048576.0f)) return 0; // also NaN and infinity
    // Two's-complement wrap of the fixed-point value keeps the fraction.
    const int64_t fixed = static_cast<int64_t>(static_cast<double>(cycles) * kPhaseOne);
    return static_cast<uint32_t>(fixed) & kPhaseMask;
}

// An increment in cycles per sub-sample as a 29-bit step, kept below one
// cycle per sub-sample.
inline uint32_t phaseStep(float cycles) {
    if (!(cycles > 0.0f)) return 0;
    return cycles >= 1.0f ? kPhaseMask : static_cast<uint32_t>(cycles * kPhaseOne);
}

float fastExp2(float x) {
    return std::exp2(x);
}

// The fixed-point increments of a lane's three oscillators, drift included.
void updateLaneSteps(LaneState& lane) {
    lane.stepUp = phaseStep(lane.incUp * lane.driftRatioUp);
    lane.stepDown = phaseStep(lane.incDown * lane.driftRatioDown);
    lane.stepSub = phaseStep(lane.incSub);
}

} // namespace

// Computed on the voice's 16-frame tick: note position, copy ratios,
// increments and pans.
void APlugin::oscillatorVoiceTick(int v) {
    VoiceState& voice = engine.voices[v];
    VoiceDspState& dsp = voice.dsp;
    const auto& dst = voice.mod.dst;

    // Ratios of the whole voice.
    const float g = fastExp2(dst[dst::GlobalFine] / 12.0f + dst[dst::GlobalSemi]);
    const float o =
        fastExp2(dst[dst::OscFine] / 12.0f + voice.bend + voice.soundingPitch + dst[dst::OscSemi]);
    dsp.baseIncrement = g * dsp.octaveFactor * engine.rate.basePitch * 0.25f * o;
    const float spread =
        std::max(0.0f, getCurrentValue(tag::OscSpread) + dst[dst::OscSpread]) / 60.0f;
    if (spread > 0.0001f || engine.notes.spreadModulated) engine.notes.spreadActive = true;
    dsp.upRatio = fastExp2(dst[dst::OscUpSpreadFine] / 12.0f + spread + dst[dst::OscUpSpreadSemi]);
    dsp.downRatio =
        fastExp2(dst[dst::OscDownSpreadFine] / 12.0f - spread + dst[dst::OscDownSpreadSemi]);

    dsp.notePosition =
        (static_cast<float>(dsp.octaveNumber) + voice.bend + voice.soundingPitch) * 12.0f + 57.0f;

    const int mode = std::clamp(voice.uniMode, 0, 23);
    const int globalMode = std::clamp(engine.notes.uniModeGlobal, 0, 23);
    const float detune = getLockVar(tag::UnisonDetune) + dst[dst::UnisonDetune];
    const float width = getLockVar(tag::UnisonSpread) + dst[dst::UnisonStereoSpread];
    const int copies = std::clamp(voice.uniVoices, 1, kUnisonCopies);
    for (int k = 0; k < copies; ++k) {
        LaneState& lane = dsp.lanes[k];
        float ratio;
        if (mode <= 3) {
            ratio = fastExp2(detune * UNI_PITCH[mode][k] / 12.0f);
        } else {
            ratio = fastExp2(UNI_PITCH[mode][k] / 12.0f);
            if (mode == 6 && (k == 1 || k == 3)) ratio *= fastExp2(detune * 0.2f / 12.0f);
        }
        float gain = 1.0f;
        if (k == 0) {
            lane.copyPhase = 0.0f;
            lane.copyFilterOffset = 0.0f;
        } else {
            ratio *= fastExp2((dst[dst::UnisonFineAll] + dst[dst::UnisonFineAll + k]) / 12.0f +
                              dst[dst::UnisonSemiAll] + dst[dst::UnisonSemiAll + k]);
            gain = std::fabs(dst[dst::UnisonVolumeAll] * dst[dst::UnisonVolumeAll + k]);
            lane.copyPhase = dst[dst::UnisonPhaseAll] + dst[dst::UnisonPhaseAll + k];
            lane.copyFilterOffset =
                dst[dst::UnisonFilterFreqAll] + dst[dst::UnisonFilterFreqAll + k];
        }
        lane.copyRatio = ratio;
        lane.incUp = dsp.upRatio * dsp.baseIncrement * ratio;
        lane.incDown = ratio * dsp.downRatio * dsp.baseIncrement;
        lane.incSub = fastExp2(dst[dst::SubFine] / 12.0f + dst[dst::SubSemi]) * ratio *
                      dsp.baseIncrement * 0.5f;
        updateLaneSteps(lane);

        float x = clampTo(width * UNI_STEREO_SPREAD[globalMode][k], -1.0f, 1.0f);
        if (k >= 1)
            x = clampTo(x + dst[dst::UnisonPanAll] + dst[dst::UnisonPanAll + k], -1.0f, 1.0f);
        const float u = x * 0.5f + 0.5f;
        lane.copyPanL = clampTo(2.0f - 2.0f * u, 0.0f, 1.0f) * gain;
        lane.copyPanR = clampTo(2.0f * u, 0.0f, 1.0f) * gain;
    }
}

// Slow random drift of every copy, on the voice's 128-frame tick.
void APlugin::oscillatorDriftTick(int v) {
    VoiceState& voice = engine.voices[v];
    const float d = voice.mod.dst[dst::Drift] + 0.2f;
    const float a = getOnOff(tag::DriftOn) && d >= 0.0f ? std::min(d, 1.0f) * 0.00375f : 0.0f;
    const float lo = engine.rate.driftRateLow;
    const float hi = engine.rate.driftRateHigh;
    const int copies = std::clamp(voice.uniVoices, 1, kUnisonCopies);
    for (int k = 0; k < copies; ++k) {
        LaneState& lane = voice.dsp.lanes[k];
        lane.driftPhaseUp += lo + lane.driftRateUp * (hi - lo);
        if (lane.driftPhaseUp > 1.0f) {
            lane.driftPhaseUp -= 1.0f;
            lane.driftRateUp = engine.random.unipolar();
        }
        lane.driftPhaseDown += lo + lane.driftRateDown * (hi - lo);
        if (lane.driftPhaseDown > 1.0f) {
            lane.driftPhaseDown -= 1.0f;
            lane.driftRateDown = engine.random.unipolar();
        }
        lane.driftRatioUp = fastExp2(std::sin(6.2831855f * lane.driftPhaseUp) * a);
        lane.driftRatioDown = fastExp2(std::sin(6.2831855f * lane.driftPhaseDown) * a);
        updateLaneSteps(lane);
    }
}

// Values every voice of a frame shares, read once per frame.
struct OscFrame {
    const EngineTables* tables;
    const FactoryWaves* factory;
    const float* preview;       // the preview wave, or null
    const PitchTableBank* bank; // the bank the oscillator reads
    float morphTag, symmetryTag, smodAmountTag, subTarget, driveTag, octaveTag;
    float smodLfo;
    bool morphWrap, spreadActive, anyNoise, bothNoise, aNoise, bNoise, subAboveHalf, distortionOn;
};

void APlugin::oscillatorStage() {
    const RenderState& render = engine.render;
    if (render.activeVoiceCount == 0) return;
    const WaveState& ws = waves;
    OscFrame frame;
    frame.tables = tables_;
    frame.factory = factory_;
    frame.preview = core.previewPlay ? previewWave() : nullptr;
    frame.bank = &ws.pitchTableBank[ws.activeBank.load(std::memory_order_acquire) & 1];
    frame.morphTag = getCurrentValue(tag::OscMorph);
    frame.symmetryTag = getCurrentValue(tag::OscSymmetry);
    frame.smodAmountTag = getCurrentValue(tag::OscSModAmount);
    frame.subTarget = std::fabs(getCurrentValue(tag::OscSubVolume) - 0.5f) * 2.0f;
    frame.driveTag = getCurrentValue(tag::DistortAmount);
    frame.octaveTag = getCurrentValue(tag::OscOctave);
    frame.smodLfo = engine.global.src[src::SModLfo];
    frame.morphWrap = ws.morphWrap;
    frame.spreadActive = engine.notes.spreadActive;
    frame.aNoise = ws.waveAIsNoise;
    frame.bNoise = ws.waveBIsNoise;
    frame.bothNoise = ws.bothWavesNoise;
    frame.anyNoise = frame.aNoise || frame.bNoise;
    frame.subAboveHalf = ws.subAboveHalf;
    frame.distortionOn = engine.notes.distortMode != Distortion::kOff;
    for (int n = 0; n < render.activeVoiceCount; ++n)
        oscillatorVoice(render.activeVoices[n], frame);
}

namespace {

// Reads four sub-samples of one oscillator and advances its phase: plain
// table look-ups, no interpolation between sub-samples.
inline void readFour(const float* lo, const float* hi, float weight, const uint16_t* warp,
                     uint32_t& phase, uint32_t inc, uint32_t offset, float* w) {
    uint32_t r = phase + offset;
    for (int j = 0; j < 4; ++j) {
        const int i = warp[(r >> 18) & 2047];
        w[j] = lo[i] + (hi[i] - lo[i]) * weight;
        r += inc;
    }
    phase = (phase + 4u * inc) & kPhaseMask;
}

// Noise replaces or blends into the waves.
inline void mixNoise(const OscFrame& frame, float m, float noiseA, float noiseB, float* w) {
    if (frame.bothNoise) {
        const float x = (m * noiseB + (1.0f - m) * noiseA) * 0.25f;
        w[0] = w[1] = w[2] = w[3] = x;
    } else if (frame.aNoise) {
        for (int j = 0; j < 4; ++j) w[j] = noiseA * 0.25f * (1.0f - m) + m * w[j];
    } else {
        for (int j = 0; j < 4; ++j) w[j] = m * noiseB * 0.25f + (1.0f - m) * w[j];
    }
}

// Triangle fold of W|w| and bit reduction, when their modulation is on.
void shapeOscillator(float* w, float fold, float bits) {
    if (fold > 0.001f) {
        const float gain = std::exp2(4.0f * std::min(fold, 8.0f));
        for (int j = 0; j < 4; ++j) {
            const float t = gain * std::fabs(w[j]);
            const float folded = 1.0f - std::fabs(t - 2.0f * std::floor(t * 0.5f) - 1.0f);
            w[j] = w[j] > 0.0f ? folded : (w[j] < 0.0f ? -folded : 0.0f);
        }
    }
    if (bits > 0.001f) {
        const float levels = std::exp2(16.0f - 16.0f * std::sqrt(std::sqrt(std::min(bits, 1.0f))));
        for (int j = 0; j < 4; ++j) {
            const float q = std::floor(std::fabs(w[j]) * levels) / levels;
            w[j] = w[j] < 0.0f ? -q : q;
        }
    }
}

// The wave tables a copy reads: its two morph frames of the note's pitch
// table, or the preview wave.
inline void laneTables(const OscFrame& frame, const VoiceDspState& dsp, const LaneState& lane,
                       const float*& lo, const float*& hi) {
    if (frame.preview) {
        lo = hi = frame.preview;
    } else {
        lo = (*frame.bank)[dsp.pitchTable][lane.morphLo].data();
        hi = (*frame.bank)[dsp.pitchTable][lane.morphHi].data();
    }
}

// One copy of the plain case: the up oscillator alone. `phase` is the
// voice's phase modulation in cycles.
inline void plainLane(const VoiceDspState& dsp, LaneState& lane, const OscFrame& frame,
                      const uint16_t* warp, float phase) {
    const float* lo;
    const float* hi;
    laneTables(frame, dsp, lane, lo, hi);
    float* out = lane.osc.data();
    readFour(lo, hi, lane.morphWeight, warp, lane.phaseUp, lane.stepUp,
             phaseOffset(lane.copyPhase + phase), out);
    lane.lastOutUp = (out[0] + out[1] + out[2] + out[3]) * 0.25f;
    if (dsp.subNorm != 1.0f)
        for (int j = 0; j < 4; ++j) out[j] *= dsp.subNorm;
}

} // namespace

void APlugin::oscillatorVoice(int v, const OscFrame& frame) {
    VoiceState& voice = engine.voices[v];
    VoiceDspState& dsp = voice.dsp;
    const auto& dst = voice.mod.dst;
    const EngineTables& tables = *frame.tables;

    // Work of the voice's own 16- and 128-frame ticks; the octave step is
    // read only there.
    if ((voice.voiceTick & 15) == 0) {
        const int step = static_cast<int>(
            clampTo(frame.octaveTag + dst[dst::OscOctave], 0.0f, 1.0f) * 8.0f + 0.1f);
        dsp.octaveFactor = OCTAVE[step];
        dsp.octaveNumber = step - 4;
        oscillatorVoiceTick(v);
    }
    if ((voice.voiceTick & 127) == 0) oscillatorDriftTick(v);

    // Morph position of every copy.
    if (dsp.morphSmoothed != frame.morphTag)
        dsp.morphSmoothed = (dsp.morphSmoothed - frame.morphTag) * 0.995f + frame.morphTag;
    const float p = voice.mod.src[src::XYX] * engine.notes.xyToMorphX +
                    voice.mod.src[src::XYY] * engine.notes.xyToMorphY + dsp.morphSmoothed +
                    dst[dst::OscMorph];
    const int copies = voice.uniVoices < 1 ? 1 : (voice.uniVoices > 4 ? 4 : voice.uniVoices);
    if (p != dsp.lastMorphInput || copies > 1) {
        dsp.lastMorphInput = p;
        const float amount = clampTo(p, 0.0f, 1.0f);
        for (int k = 0; k < copies; ++k) {
            LaneState& lane = dsp.lanes[k];
            lane.morphAmount = amount;
            const float q =
                k == 0 ? p : p + dst[dst::UnisonMorphAll] + dst[dst::UnisonMorphAll + k];
            int index = static_cast<int>(clampTo(q, -64.0f, 64.0f) * 65535.9f);
            if (frame.morphWrap) {
                // Positions beyond 0..1 fold back (a triangle), also far
                // below 0.
                const int m = ((index + 1310720) % 131070 + 131070) % 131070;
                index = 65535 - std::abs(65535 - m);
            }
            index = index < 0 ? 0 : (index > 65535 ? 65535 : index);
            lane.morphLo = tables.morphFrameLo[index];
            lane.morphHi = tables.morphFrameHi[index];
            lane.morphWeight = tables.morphWeight[index];
        }
    }

    // Symmetry.
    if (dsp.symmetrySmoothed != frame.symmetryTag)
        dsp.symmetrySmoothed =
            (dsp.symmetrySmoothed - frame.symmetryTag) * 0.975f + frame.symmetryTag;
    const float smod = frame.smodAmountTag + dst[dst::OscSModAmount];
    const float s = (smod > 0.0f ? clampTo(smod, 0.0f, 1.0f) * 0.499f * frame.smodLfo : 0.0f) +
                    dsp.symmetrySmoothed + dst[dst::OscSymmetry];
    if (s != dsp.lastSymmetryInput) {
        dsp.lastSymmetryInput = s;
        dsp.warpRow = static_cast<int>(clampTo(s, 0.0f, 1.0f) * 2047.999f);
    }

    // Sub-oscillator level.
    if (dsp.subLevelSmoothed != frame.subTarget)
        dsp.subLevelSmoothed = (dsp.subLevelSmoothed - frame.subTarget) * 0.995f + frame.subTarget;
    if (dsp.subLevelSmoothed != dsp.lastSubInput || dst[dst::SubVolume] != dsp.lastSubModulation) {
        dsp.lastSubInput = dsp.subLevelSmoothed;
        dsp.lastSubModulation = dst[dst::SubVolume];
        const int subIndex =
            static_cast<int>(clampTo(dsp.subLevelSmoothed, 0.0f, 1.0f) * 262143.98f);
        dsp.subGain = std::fabs(dst[dst::SubVolume]) * tables.subGainCurve[subIndex];
        dsp.subNorm = 1.0f / (dsp.subGain + 1.0f);
    }

    // Distortion drive, read by the mix stage only while a mode is on (the
    // mode changes between frames, never between the stages of one).
    if (dsp.distortSmoothed != frame.driveTag)
        dsp.distortSmoothed = (dsp.distortSmoothed - frame.driveTag) * 0.995f + frame.driveTag;
    if (frame.distortionOn) {
        const float driveSource = frame.spreadActive ? frame.driveTag : dsp.distortSmoothed;
        dsp.distortDrive = clampTo(driveSource + dst[dst::Distort], 0.0f, 1.0f) * 0.99f;
    }

    // Pitch table and sub wave of the note's range.
    const float tableNote = dst[dst::OscSemi] * 12.0f + dsp.notePosition;
    if (tableNote != dsp.lastTableNote) {
        dsp.lastTableNote = tableNote;
        const int note = static_cast<int>(clampTo(tableNote, 0.0f, 127.0f));
        dsp.pitchTable = noteToPitchTable[note];
        dsp.subSquare = frame.subAboveHalf ? (note < 13 ? 0 : noteToSquareWave[note - 12]) : -1;
    }

    // The plain case: one oscillator per copy, no noise, fold, bits, feedback
    // or sub; decided once for all copies.
    const bool plain = !frame.anyNoise && !frame.spreadActive && !(dst[dst::OscWrap] > 0.001f) &&
                       !(dst[dst::OscBits] > 0.001f) && dst[dst::OscFeed] * 0.3f == 0.0f &&
                       !(dsp.subLevelSmoothed > 0.001f);
    if (plain) {
        const uint16_t* warp = frame.tables->symmetryWarp[dsp.warpRow].data();
        const float phase = dst[dst::OscPhase];
        for (int k = 0; k < copies; ++k) plainLane(dsp, dsp.lanes[k], frame, warp, phase);
    } else {
        for (int k = 0; k < copies; ++k) oscillatorLane(voice, k, frame);
    }

    const LaneState& first = dsp.lanes[0];
    voice.mod.src[src::OscOut] =
        (first.osc[0] + first.osc[1] + first.osc[2] + first.osc[3]) * 0.25f;
    ++voice.voiceTick;
}

void APlugin::oscillatorLane(VoiceState& voice, int k, const OscFrame& frame) {
    VoiceDspState& dsp = voice.dsp;
    LaneState& lane = dsp.lanes[k];
    const auto& dst = voice.mod.dst;

    const float* lo;
    const float* hi;
    laneTables(frame, dsp, lane, lo, hi);
    const uint16_t* warp = frame.tables->symmetryWarp[dsp.warpRow].data();

    // Noise: one draw per lane and frame for each kind in use.
    float noiseA = 0.0f, noiseB = 0.0f;
    if (frame.anyNoise) {
        const WaveState& ws = waves;
        const int laneIndex = static_cast<int>(&voice - engine.voices.data()) * kUnisonCopies + k;
        const bool white = ws.cachedWaveA == FactoryWaves::kWhiteNoiseWave ||
                           ws.cachedWaveB == FactoryWaves::kWhiteNoiseWave;
        const bool pink = ws.cachedWaveA == FactoryWaves::kPinkNoiseWave ||
                          ws.cachedWaveB == FactoryWaves::kPinkNoiseWave;
        const float whiteValue = white ? engine.random.bipolar() : 0.0f;
        const float pinkValue = pink ? doPinkNoise(laneIndex) : 0.0f;
        noiseA = ws.cachedWaveA == FactoryWaves::kWhiteNoiseWave ? whiteValue : pinkValue;
        noiseB = ws.cachedWaveB == FactoryWaves::kWhiteNoiseWave ? whiteValue : pinkValue;
    }

    const float feedback = dst[dst::OscFeed] * 0.3f;
    const float fold = dst[dst::OscWrap];
    const float bits = dst[dst::OscBits];

    float up[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    {
        const float cycles = lane.lastOutUp * feedback + lane.copyPhase + dst[dst::OscPhase] +
                             (frame.spreadActive ? dst[dst::OscUpSpreadPhase] : 0.0f);
        const uint32_t inc = lane.stepUp;
        if (frame.bothNoise)
            lane.phaseUp = (lane.phaseUp + 4u * inc) & kPhaseMask;
        else
            readFour(lo, hi, lane.morphWeight, warp, lane.phaseUp, inc, phaseOffset(cycles), up);
        if (frame.anyNoise) mixNoise(frame, lane.morphAmount, noiseA, noiseB, up);
        shapeOscillator(up, fold, bits);
        lane.lastOutUp = (up[0] + up[1] + up[2] + up[3]) * 0.25f;
    }

    float sub[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    if (dsp.subLevelSmoothed > 0.001f) {
        const float* wave = dsp.subSquare < 0 ? frame.factory->oscWave[0].data()
                                              : frame.factory->squareWave[dsp.subSquare].data();
        const int row =
            static_cast<int>(clampTo(dst[dst::SubSymmetry] * 0.5f + 0.5f, 0.0f, 1.0f) * 2047.999f);
        const uint16_t* subWarp = frame.tables->symmetryWarp[row].data();
        readFour(wave, wave, 0.0f, subWarp, lane.phaseSub, lane.stepSub,
                 phaseOffset(dst[dst::SubPhase] + lane.copyPhase), sub);
    }

    if (!frame.spreadActive) {
        const float norm = dsp.subNorm;
        const float subGain = dsp.subGain;
        for (int j = 0; j < 4; ++j) lane.osc[j] = norm * (up[j] + subGain * sub[j]);
        return;
    }

    float down[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    {
        const float cycles = lane.lastOutDown * feedback + lane.copyPhase + dst[dst::OscPhase] +
                             dst[dst::OscDownSpreadPhase];
        const uint32_t inc = lane.stepDown;
        if (frame.bothNoise)
            lane.phaseDown = (lane.phaseDown + 4u * inc) & kPhaseMask;
        else
            readFour(lo, hi, lane.morphWeight, warp, lane.phaseDown, inc, phaseOffset(cycles),
                     down);
        if (frame.anyNoise) mixNoise(frame, lane.morphAmount, noiseA, noiseB, down);
        shapeOscillator(down, fold, bits);
        lane.lastOutDown = (down[0] + down[1] + down[2] + down[3]) * 0.25f;
    }
    const float upGain = std::fabs(dst[dst::OscUpSpreadVolume]);
    const float downGain = std::fabs(dst[dst::OscDownSpreadVolume]);
    for (int j = 0; j < 4; ++j)
        lane.osc[j] =
            dsp.subNorm * (dsp.subGain * sub[j] + (down[j] * downGain + up[j] * upGain) * 0.5f);
}

// A restarted note's copies start without feedback, held samples or DC.
void APlugin::resetOscillator(int v) {
    if (!isValidVoice(v)) return;
    for (LaneState& lane : engine.voices[v].dsp.lanes) {
        lane.lastOutUp = lane.lastOutDown = 0.0f;
        lane.distortion.reset();
        lane.dc.reset(); // the last note's offset must not thump into this one
    }
}

void APlugin::clearDCBlockers() {
    for (VoiceState& voice : engine.voices)
        for (LaneState& lane : voice.dsp.lanes) lane.dc.reset();
}

float APlugin::doPinkNoise(int g) {
    const int index = g < 0 ? 0 : (g >= kNumPinkGenerators ? kNumPinkGenerators - 1 : g);
    return engine.pinkNoise[index].next(engine.pinkSeed);
}
