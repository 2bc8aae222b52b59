// Oscillator stage: the control-rate side of the oscillator unit
// (engine/oscillator.h). The voice's 16- and 128-frame ticks compute the
// pitch, copy ratios, increments, pans and drift; per frame, `prepare` turns
// the smoothed morph, symmetry, sub and drive values and the modulation sums
// into what the unit reads, and the unit renders. A voice whose inputs rest
// (smoothers arrived, no per-frame modulation of an oscillator destination,
// no change of the shared values) skips `prepare` until its next tick.
//
// Pitch: the voice's pitch is in octaves above MIDI note 57; at the middle
// octave step note 57 plays the base pitch of 110 Hz (A4 = 440 Hz), so MIDI
// note 69 sounds at 220 Hz.

#include "core/aplugin.h"
#include "core/numeric.h"

#include "data/factory_waves.h"
#include "engine/oscillator.h"
#include "engine/tables.h"
#include "engine/voice_tables.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <emmintrin.h>
#include <utility>

using osc::kPhaseMask;
using osc::phaseOffset;
using osc::phaseStep;

static_assert(osc::kVoices == kNumVoices);

namespace {

float fastExp2(float x) {
    return std::exp2(x);
}

// The spread of the up and down oscillators from the knob and its
// modulation, in octaves.
float spreadOctaves(float knob, float modulation) {
    return std::max(0.0f, knob + modulation) / 60.0f;
}

// The fixed-point increments of a lane's three oscillators, drift included.
void updateLaneSteps(const LaneState& lane, OscillatorState& s, int k) {
    s.stepUp[k] = phaseStep(lane.incUp * lane.driftRatioUp);
    s.stepDown[k] = phaseStep(lane.incDown * lane.driftRatioDown);
    s.stepSub[k] = phaseStep(lane.incSub);
}

// Destinations the oscillator reads on every frame (the others only on the
// voice's tick).
constexpr int kFrameDestinations[] = {dst::OscMorph,
                                      dst::UnisonMorphAll,
                                      dst::UnisonMorphAll + 1,
                                      dst::UnisonMorphAll + 2,
                                      dst::UnisonMorphAll + 3,
                                      dst::OscSModAmount,
                                      dst::OscSymmetry,
                                      dst::SubVolume,
                                      dst::Distort,
                                      dst::OscSemi,
                                      dst::OscWrap,
                                      dst::OscBits,
                                      dst::OscFeed,
                                      dst::OscPhase,
                                      dst::OscUpSpreadPhase,
                                      dst::OscDownSpreadPhase,
                                      dst::SubPhase,
                                      dst::SubSymmetry,
                                      dst::OscUpSpreadVolume,
                                      dst::OscDownSpreadVolume};

} // namespace

// Computed on the voice's 16-frame tick: note position, copy ratios,
// increments and pans.
void APlugin::oscillatorVoiceTick(int v) {
    VoiceState& voice = engine.voices[v];
    VoiceDspState& dsp = voice.dsp;
    const auto& dst = voice.mod.dst;

    // Ratios of the whole voice.
    OscillatorRatios& memo = oscStage.ratios[v];
    const float g = memo.global(dst[dst::GlobalFine] / 12.0f + dst[dst::GlobalSemi]);
    const float o = memo.pitch(dst[dst::OscFine] / 12.0f + voice.bend + voice.soundingPitch +
                               dst[dst::OscSemi]);
    dsp.baseIncrement = g * dsp.octaveFactor * engine.rate.basePitch * 0.25f * o;
    const float spread = spreadOctaves(getCurrentValue(tag::OscSpread), dst[dst::OscSpread]);
    if (spread > 0.0001f || engine.notes.spreadModulated) engine.notes.spreadActive = true;
    dsp.upRatio = memo.up(dst[dst::OscUpSpreadFine] / 12.0f + spread + dst[dst::OscUpSpreadSemi]);
    dsp.downRatio =
        memo.down(dst[dst::OscDownSpreadFine] / 12.0f - spread + dst[dst::OscDownSpreadSemi]);
    const float subRatio = memo.sub(dst[dst::SubFine] / 12.0f + dst[dst::SubSemi]);

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
            ratio = memo.copy[k](detune * UNI_PITCH[mode][k] / 12.0f);
        } else {
            ratio = memo.copy[k](UNI_PITCH[mode][k] / 12.0f);
            if (mode == 6 && (k == 1 || k == 3)) ratio *= memo.pair(detune * 0.2f / 12.0f);
        }
        float gain = 1.0f;
        if (k == 0) {
            lane.copyPhase = 0.0f;
            lane.copyFilterOffset = 0.0f;
        } else {
            ratio *=
                memo.copyOffset[k]((dst[dst::UnisonFineAll] + dst[dst::UnisonFineAll + k]) / 12.0f +
                                   dst[dst::UnisonSemiAll] + dst[dst::UnisonSemiAll + k]);
            gain = std::fabs(dst[dst::UnisonVolumeAll] * dst[dst::UnisonVolumeAll + k]);
            lane.copyPhase = dst[dst::UnisonPhaseAll] + dst[dst::UnisonPhaseAll + k];
            lane.copyFilterOffset =
                dst[dst::UnisonFilterFreqAll] + dst[dst::UnisonFilterFreqAll + k];
        }
        lane.copyRatio = ratio;
        lane.incUp = dsp.upRatio * dsp.baseIncrement * ratio;
        lane.incDown = ratio * dsp.downRatio * dsp.baseIncrement;
        lane.incSub = subRatio * ratio * dsp.baseIncrement * 0.5f;
        updateLaneSteps(lane, dsp.osc, k);

        float x = clampTo(width * UNI_STEREO_SPREAD[globalMode][k], -1.0f, 1.0f);
        if (k >= 1)
            x = clampTo(x + dst[dst::UnisonPanAll] + dst[dst::UnisonPanAll + k], -1.0f, 1.0f);
        const float u = x * 0.5f + 0.5f;
        lane.copyPanL = clampTo(2.0f - 2.0f * u, 0.0f, 1.0f) * gain;
        lane.copyPanR = clampTo(2.0f * u, 0.0f, 1.0f) * gain;
    }
    VoiceMix::noteGains(engine.mixGains.data(), voice, v);
    noteCopyOffset(engine.filter, v, dsp.lanes[0].copyFilterOffset);
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
        updateLaneSteps(lane, voice.dsp.osc, k);
    }
}

// Values every voice of a frame shares, read once per frame.
// The values an epoch covers, in an order without padding so that their
// bytes are the key (floats bit for bit).
struct OscFrameShared {
    const EngineTables* tables;
    const FactoryWaves* factory;
    const float* preview;       // the preview wave, or null
    const PitchTableBank* bank; // the bank the oscillator reads
    float morphTag, symmetryTag, smodAmountTag, subTarget, driveTag, octaveTag;
    float xyToMorphX, xyToMorphY;
    bool morphWrap, spreadActive, anyNoise, bothNoise, aNoise, bNoise, subAboveHalf, distortionOn;
};
static_assert(sizeof(OscFrameShared) == 4 * sizeof(void*) + 8 * sizeof(float) + 8 * sizeof(bool));
static_assert(sizeof(OscFrameShared) == sizeof(OscillatorStageState::Key));

struct OscFrame : OscFrameShared {
    float smodLfo;
    uint32_t epoch;      // changes with any shared value
    bool matrixPerFrame; // the per-frame matrix half may write a destination read per frame
};

namespace {

// True if the bytes of a and b are equal (floats bit for bit): the frame's
// key is compared on every frame, without a call.
template <std::size_t N> inline bool sameBytes(const void* a, const void* b) {
    static_assert(N % 4 == 0);
    const auto* x = static_cast<const unsigned char*>(a);
    const auto* y = static_cast<const unsigned char*>(b);
    __m128i wide = _mm_setzero_si128();
    std::size_t i = 0;
    for (; i + 16 <= N; i += 16)
        wide = _mm_or_si128(
            wide, _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(x + i)),
                                _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + i))));
    uint32_t narrow = 0;
    for (; i < N; i += 4) {
        uint32_t p, q;
        std::memcpy(&p, x + i, 4);
        std::memcpy(&q, y + i, 4);
        narrow |= p ^ q;
    }
    return narrow == 0 && _mm_movemask_epi8(_mm_cmpeq_epi8(wide, _mm_setzero_si128())) == 0xFFFF;
}

// A smoothed value one frame on; true if it moved.
inline bool smoothTowards(float& smoothed, float target, float keep) {
    if (smoothed == target) return false;
    const float before = smoothed;
    smoothed = (smoothed - target) * keep + target;
    return std::bit_cast<uint32_t>(smoothed) != std::bit_cast<uint32_t>(before);
}

} // namespace

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
    frame.xyToMorphX = engine.notes.xyToMorphX;
    frame.xyToMorphY = engine.notes.xyToMorphY;
    frame.morphWrap = ws.morphWrap;
    frame.spreadActive = engine.notes.spreadActive;
    frame.aNoise = ws.waveAIsNoise;
    frame.bNoise = ws.waveBIsNoise;
    frame.bothNoise = ws.bothWavesNoise;
    frame.anyNoise = frame.aNoise || frame.bNoise;
    frame.subAboveHalf = ws.subAboveHalf;
    frame.distortionOn = engine.notes.distortMode != Distortion::kOff;

    // A new epoch whenever a shared value changes, and at the start of every
    // block (anything set between blocks is taken up at once).
    OscillatorStageState& stage = oscStage;
    const OscFrameShared& shared = frame;
    if (!sameBytes<sizeof(shared)>(&shared, stage.key.data()) ||
        render.sampleCounter == render.blockStart) {
        std::memcpy(stage.key.data(), &shared, sizeof(shared));
        if (++stage.epoch == 0) stage.epoch = 1;
    }
    frame.epoch = stage.epoch;
    const MatrixState& m = engine.matrix;
    if (m.generation != stage.matrixGeneration) {
        stage.matrixGeneration = m.generation;
        stage.matrixFrameDest = false;
        for (int d : kFrameDestinations) stage.matrixFrameDest |= m.destUsed[d];
    }
    frame.matrixPerFrame = stage.matrixFrameDest && m.activeCount > 0;

    // A voice between its ticks whose prepared values rest only renders.
    static_assert(sizeof(LaneState) % sizeof(float) == 0);
    constexpr std::ptrdiff_t kLaneStride = sizeof(LaneState) / sizeof(float);
    for (int n = 0; n < render.activeVoiceCount; ++n) {
        const int v = render.activeVoices[n];
        VoiceState& voice = engine.voices[v];
        OscillatorState& s = voice.dsp.osc;
        if ((voice.voiceTick & 15) == 0 || s.restEpoch != frame.epoch ||
            (frame.matrixPerFrame && !voice.matrix.idle)) {
            oscillatorVoice(v, frame);
            continue;
        }
        // Resting values were prepared for the unit (restEpoch is 0 otherwise).
        voice.mod.src[src::OscOut] = osc::process(s, voice.dsp.lanes[0].osc.data(), kLaneStride);
        ++voice.voiceTick;
    }
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

// The destinations a voice's tick reads besides those read per frame (of a
// run of four unison destinations, the first and the last).
constexpr int kTickDestinations[] = {dst::GlobalFine,
                                     dst::GlobalSemi,
                                     dst::OscFine,
                                     dst::OscSemi,
                                     dst::OscOctave,
                                     dst::OscSpread,
                                     dst::OscUpSpreadFine,
                                     dst::OscUpSpreadSemi,
                                     dst::OscDownSpreadFine,
                                     dst::OscDownSpreadSemi,
                                     dst::SubFine,
                                     dst::SubSemi,
                                     dst::UnisonDetune,
                                     dst::UnisonStereoSpread,
                                     dst::UnisonFineAll,
                                     dst::UnisonFineAll + 3,
                                     dst::UnisonSemiAll,
                                     dst::UnisonSemiAll + 3,
                                     dst::UnisonVolumeAll,
                                     dst::UnisonVolumeAll + 3,
                                     dst::UnisonPhaseAll,
                                     dst::UnisonPhaseAll + 3,
                                     dst::UnisonFilterFreqAll,
                                     dst::UnisonFilterFreqAll + 3,
                                     dst::UnisonPanAll,
                                     dst::UnisonPanAll + 3};
// Destinations of the tick or the preparation outside OscillatorTickInputs' run.
constexpr int kOtherDestinations[] = {dst::GlobalFine, dst::GlobalSemi, dst::Distort};

constexpr bool inputsCovered() {
    auto covered = [](int d) {
        if (d >= OscillatorTickInputs::kFirstDest && d <= OscillatorTickInputs::kLastDest)
            return true;
        for (int o : kOtherDestinations)
            if (o == d) return true;
        return false;
    };
    for (int d : kTickDestinations)
        if (!covered(d)) return false;
    for (int d : kFrameDestinations)
        if (!covered(d)) return false;
    return true;
}
static_assert(inputsCovered());

} // namespace

// True if the inputs of the voice's tick and preparation are those of its
// last tick; takes them as the voice's new ones otherwise.
bool APlugin::oscillatorInputsRest(int v, const OscFrame& frame) {
    const VoiceState& voice = engine.voices[v];
    const auto& dst = voice.mod.dst;
    OscillatorTickInputs& last = oscStage.inputs[v];
    auto bits = [](float x) { return std::bit_cast<uint32_t>(x); };
    auto word = [](int x) { return static_cast<uint32_t>(x); };
    const std::array<uint32_t, 16> other = {bits(dst[kOtherDestinations[0]]),
                                            bits(dst[kOtherDestinations[1]]),
                                            bits(dst[kOtherDestinations[2]]),
                                            bits(voice.bend),
                                            bits(voice.soundingPitch),
                                            bits(frame.octaveTag),
                                            bits(engine.rate.basePitch),
                                            bits(getCurrentValue(tag::OscSpread)),
                                            bits(getLockVar(tag::UnisonDetune)),
                                            bits(getLockVar(tag::UnisonSpread)),
                                            word(voice.uniMode),
                                            word(engine.notes.uniModeGlobal),
                                            word(voice.uniVoices),
                                            bits(voice.mod.src[src::XYX]),
                                            bits(voice.mod.src[src::XYY]),
                                            0};
    const float* dest = &dst[OscillatorTickInputs::kFirstDest];
    if (last.valid && voice.voiceTick != 0 &&
        sameBytes<sizeof(other)>(other.data(), last.other.data()) &&
        std::memcmp(dest, last.dest.data(), sizeof(last.dest)) == 0)
        return true;
    last.other = other;
    std::memcpy(last.dest.data(), dest, sizeof(last.dest));
    last.valid = true;
    return false;
}

// The voice's frame with its ticks, preparation or the general path (the
// stage renders resting voices itself).
[[gnu::noinline]] void APlugin::oscillatorVoice(int v, const OscFrame& frame) {
    VoiceState& voice = engine.voices[v];
    VoiceDspState& dsp = voice.dsp;
    OscillatorState& s = dsp.osc;

    // Prepared values that rest stay while the tick finds its inputs as
    // they were.
    bool rests = s.restEpoch == frame.epoch && !(frame.matrixPerFrame && !voice.matrix.idle);

    // Work of the voice's own 16- and 128-frame ticks; the octave step is
    // read only there.
    const bool tick = (voice.voiceTick & 15) == 0;
    if (tick) {
        if (oscillatorInputsRest(v, frame)) {
            // Unchanged inputs, unchanged values; the spread latch is the
            // tick's one effect outside the voice.
            if (spreadOctaves(getCurrentValue(tag::OscSpread), voice.mod.dst[dst::OscSpread]) >
                    0.0001f ||
                engine.notes.spreadModulated)
                engine.notes.spreadActive = true;
        } else {
            const int step = static_cast<int>(
                clampTo(frame.octaveTag + voice.mod.dst[dst::OscOctave], 0.0f, 1.0f) * 8.0f + 0.1f);
            dsp.octaveFactor = OCTAVE[step];
            dsp.octaveNumber = step - 4;
            oscillatorVoiceTick(v);
            rests = false;
        }
        if ((voice.voiceTick & 127) == 0) oscillatorDriftTick(v);
    }

    if (!rests) oscillatorPrepare(voice, frame);

    if (s.direct) {
        static_assert(sizeof(LaneState) % sizeof(float) == 0);
        voice.mod.src[src::OscOut] =
            osc::process(s, dsp.lanes[0].osc.data(), sizeof(LaneState) / sizeof(float));
    } else {
        for (int k = 0; k < s.copies; ++k) oscillatorLane(voice, k, frame);
        const LaneState& first = dsp.lanes[0];
        voice.mod.src[src::OscOut] =
            (first.osc[0] + first.osc[1] + first.osc[2] + first.osc[3]) * 0.25f;
    }
    ++voice.voiceTick;
}

// The per-frame values of a voice's oscillators from the smoothed parameters
// and the modulation sums; notes whether they may rest until the next tick.
void APlugin::oscillatorPrepare(VoiceState& voice, const OscFrame& frame) {
    VoiceDspState& dsp = voice.dsp;
    OscillatorState& s = dsp.osc;
    const auto& dst = voice.mod.dst;
    const EngineTables& tables = *frame.tables;
    bool moving = false;

    // Morph position of every copy.
    moving |= smoothTowards(dsp.morphSmoothed, frame.morphTag, 0.995f);
    const float p = voice.mod.src[src::XYX] * frame.xyToMorphX +
                    voice.mod.src[src::XYY] * frame.xyToMorphY + dsp.morphSmoothed +
                    dst[dst::OscMorph];
    moving |= frame.xyToMorphX != 0.0f || frame.xyToMorphY != 0.0f; // the XY sources move
    const int copies = voice.uniVoices < 1 ? 1 : (voice.uniVoices > 4 ? 4 : voice.uniVoices);
    if (p != dsp.lastMorphInput || copies > 1) {
        dsp.lastMorphInput = p;
        const float amount = clampTo(p, 0.0f, 1.0f);
        alignas(16) const I4 index =
            osc::morphIndices(p, &dst[dst::UnisonMorphAll], frame.morphWrap);
        for (int k = 0; k < copies; ++k) {
            LaneState& lane = dsp.lanes[k];
            lane.morphAmount = amount;
            lane.morphLo = tables.morphFrameLo[index[k]];
            lane.morphHi = tables.morphFrameHi[index[k]];
            lane.morphWeight = tables.morphWeight[index[k]];
        }
    }

    // Symmetry.
    moving |= smoothTowards(dsp.symmetrySmoothed, frame.symmetryTag, 0.975f);
    const float smod = frame.smodAmountTag + dst[dst::OscSModAmount];
    moving |= smod > 0.0f; // follows the SMod LFO
    const float sym = (smod > 0.0f ? clampTo(smod, 0.0f, 1.0f) * 0.499f * frame.smodLfo : 0.0f) +
                      dsp.symmetrySmoothed + dst[dst::OscSymmetry];
    if (sym != dsp.lastSymmetryInput) {
        dsp.lastSymmetryInput = sym;
        dsp.warpRow = static_cast<int>(clampTo(sym, 0.0f, 1.0f) * 2047.999f);
    }

    // Sub-oscillator level.
    moving |= smoothTowards(dsp.subLevelSmoothed, frame.subTarget, 0.995f);
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
    moving |= smoothTowards(dsp.distortSmoothed, frame.driveTag, 0.995f);
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

    // Noise, fold, bit reduction and feedback take the general path, lane by
    // lane; everything else is the unit's.
    s.copies = copies;
    s.direct = !frame.anyNoise && !(dst[dst::OscWrap] > 0.001f) && !(dst[dst::OscBits] > 0.001f) &&
               dst[dst::OscFeed] * 0.3f == 0.0f;
    s.spread = frame.spreadActive;
    s.sub = dsp.subLevelSmoothed > 0.001f;
    s.subGain = dsp.subGain;
    s.subNorm = dsp.subNorm;
    s.restEpoch = !moving && s.direct ? frame.epoch : 0;
    if (!s.direct) return;

    s.warp = tables.symmetryWarp[dsp.warpRow].data();
    const float phase = dst[dst::OscPhase];
    const float upPhase = s.spread ? dst[dst::OscUpSpreadPhase] : 0.0f;
    bool blend = false;
    alignas(16) std::array<float, osc::kLanes> copyPhase{}; // 0 in the silent lanes
    const auto* bankRow = frame.preview ? nullptr : (*frame.bank)[dsp.pitchTable].data();
    for (int k = 0; k < copies; ++k) {
        const LaneState& lane = dsp.lanes[k];
        const float* lo = frame.preview;
        const float* hi = frame.preview;
        if (bankRow) {
            lo = bankRow[lane.morphLo].data();
            hi = bankRow[lane.morphHi].data();
        }
        s.lo[k] = lo;
        s.hi[k] = hi;
        s.weight[k] = lane.morphWeight;
        blend |= (lo != hi) & (lane.morphWeight != 0.0f);
        copyPhase[k] = lane.copyPhase;
    }
    s.blend = blend;
    osc::prepareOffsets(s, copyPhase, phase, upPhase, dst[dst::OscDownSpreadPhase],
                        dst[dst::SubPhase]);
    if (s.sub) {
        s.subWave = dsp.subSquare < 0 ? frame.factory->oscWave[0].data()
                                      : frame.factory->squareWave[dsp.subSquare].data();
        const int row =
            static_cast<int>(clampTo(dst[dst::SubSymmetry] * 0.5f + 0.5f, 0.0f, 1.0f) * 2047.999f);
        s.subWarp = tables.symmetryWarp[row].data();
    }
    if (s.spread) {
        s.upGain = std::fabs(dst[dst::OscUpSpreadVolume]);
        s.downGain = std::fabs(dst[dst::OscDownSpreadVolume]);
    }
    osc::selectKind(s);
}

// The general path of one copy: noise, fold, bit reduction and feedback.
void APlugin::oscillatorLane(VoiceState& voice, int k, const OscFrame& frame) {
    VoiceDspState& dsp = voice.dsp;
    LaneState& lane = dsp.lanes[k];
    OscillatorState& s = dsp.osc;
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
        const float cycles = s.lastOutUp[k] * feedback + lane.copyPhase + dst[dst::OscPhase] +
                             (frame.spreadActive ? dst[dst::OscUpSpreadPhase] : 0.0f);
        const uint32_t inc = s.stepUp[k];
        if (frame.bothNoise)
            s.phaseUp[k] = (s.phaseUp[k] + 4u * inc) & kPhaseMask;
        else
            readFour(lo, hi, lane.morphWeight, warp, s.phaseUp[k], inc, phaseOffset(cycles), up);
        if (frame.anyNoise) mixNoise(frame, lane.morphAmount, noiseA, noiseB, up);
        shapeOscillator(up, fold, bits);
        s.lastOutUp[k] = (up[0] + up[1] + up[2] + up[3]) * 0.25f;
    }

    float sub[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    if (dsp.subLevelSmoothed > 0.001f) {
        const float* wave = dsp.subSquare < 0 ? frame.factory->oscWave[0].data()
                                              : frame.factory->squareWave[dsp.subSquare].data();
        const int row =
            static_cast<int>(clampTo(dst[dst::SubSymmetry] * 0.5f + 0.5f, 0.0f, 1.0f) * 2047.999f);
        const uint16_t* subWarp = frame.tables->symmetryWarp[row].data();
        readFour(wave, wave, 0.0f, subWarp, s.phaseSub[k], s.stepSub[k],
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
        const float cycles = s.lastOutDown[k] * feedback + lane.copyPhase + dst[dst::OscPhase] +
                             dst[dst::OscDownSpreadPhase];
        const uint32_t inc = s.stepDown[k];
        if (frame.bothNoise)
            s.phaseDown[k] = (s.phaseDown[k] + 4u * inc) & kPhaseMask;
        else
            readFour(lo, hi, lane.morphWeight, warp, s.phaseDown[k], inc, phaseOffset(cycles),
                     down);
        if (frame.anyNoise) mixNoise(frame, lane.morphAmount, noiseA, noiseB, down);
        shapeOscillator(down, fold, bits);
        s.lastOutDown[k] = (down[0] + down[1] + down[2] + down[3]) * 0.25f;
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
    OscillatorState& s = engine.voices[v].dsp.osc;
    s.lastOutUp = {};
    s.lastOutDown = {};
    for (LaneState& lane : engine.voices[v].dsp.lanes) {
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

// ------------------------------------------------------------------ the unit

namespace osc {
namespace {

// What a lane's output is made of.
enum Mix {
    kUp,        // the up oscillator alone
    kUpNorm,    // the same, scaled by the sub normalisation
    kUpSub,     // up and sub-oscillator
    kUpDownSub, // the spread pair and the sub-oscillator (silent or not)
};

// Four sub-samples of one oscillator of one lane; the phase moves on.
template <bool Blend>
[[gnu::always_inline]] inline void readLane(const float* lo, const float* hi, float weight,
                                            const uint16_t* warp, uint32_t& phase, uint32_t step,
                                            uint32_t offset, float* w) {
    uint32_t r = phase + offset;
    for (int j = 0; j < kSubSamples; ++j) {
        const uint32_t i = warp[(r >> kIndexShift) & kIndexMask];
        if constexpr (Blend)
            w[j] = lo[i] + (hi[i] - lo[i]) * weight;
        else
            w[j] = lo[i];
        r += step;
    }
    phase = (phase + 4u * step) & kPhaseMask;
}

inline float mean4(const float* w) {
    return (w[0] + w[1] + w[2] + w[3]) * 0.25f;
}

// The lanes one by one (one to three copies; One: exactly one). Returns the
// mean of lane 0's four outputs.
template <Mix M, bool Blend, bool One>
float processLanes(OscillatorState& s, float* out, std::ptrdiff_t stride) {
    float first = 0.0f;
    const int copies = One ? 1 : s.copies;
    for (int k = 0; k < copies; ++k, out += stride) {
        float up[kSubSamples];
        readLane<Blend>(s.lo[k], s.hi[k], s.weight[k], s.warp, s.phaseUp[k], s.stepUp[k],
                        s.offsetUp[k], up);
        const float upMean = mean4(up);
        s.lastOutUp[k] = upMean;
        if constexpr (M == kUp) {
            for (int j = 0; j < kSubSamples; ++j) out[j] = up[j];
            if (k == 0) first = upMean; // the output is the up oscillator's
            continue;
        } else if constexpr (M == kUpNorm) {
            for (int j = 0; j < kSubSamples; ++j) out[j] = up[j] * s.subNorm;
        } else {
            float sub[kSubSamples] = {0.0f, 0.0f, 0.0f, 0.0f};
            if (s.sub)
                readLane<false>(s.subWave, s.subWave, 0.0f, s.subWarp, s.phaseSub[k], s.stepSub[k],
                                s.offsetSub[k], sub);
            if constexpr (M == kUpSub) {
                for (int j = 0; j < kSubSamples; ++j)
                    out[j] = s.subNorm * (up[j] + s.subGain * sub[j]);
            } else {
                float down[kSubSamples];
                readLane<Blend>(s.lo[k], s.hi[k], s.weight[k], s.warp, s.phaseDown[k],
                                s.stepDown[k], s.offsetDown[k], down);
                s.lastOutDown[k] = mean4(down);
                for (int j = 0; j < kSubSamples; ++j)
                    out[j] = s.subNorm * (s.subGain * sub[j] +
                                          (down[j] * s.downGain + up[j] * s.upGain) * 0.5f);
            }
        }
        if (k == 0) first = mean4(out);
    }
    return first;
}

// The table positions of one oscillator's four sub-samples in all four
// lanes: ix[j] holds sub-sample j of lanes 0..3; the phases move on. Taken in
// SSE2 from the phases scaled by 8 (the 29-bit cycle fills 32 bits, so a
// position is the top 11 bits and the sums wrap by themselves).
using Positions = uint32_t[kSubSamples][kLanes];
[[gnu::always_inline]] inline void positions4(OscillatorState::U4& phase,
                                              const OscillatorState::U4& step,
                                              const OscillatorState::U4& offset, Positions& ix) {
    constexpr int kTopShift = kIndexShift + 3;
    static_assert((kPhaseMask << 3 | 7u) == ~0u && (kIndexMask << kTopShift | ~0u >> 11) == ~0u);
    const __m128i ph = _mm_load_si128(reinterpret_cast<const __m128i*>(phase.data()));
    const __m128i st = _mm_load_si128(reinterpret_cast<const __m128i*>(step.data()));
    const __m128i st8 = _mm_slli_epi32(st, 3);
    __m128i r = _mm_slli_epi32(
        _mm_add_epi32(ph, _mm_load_si128(reinterpret_cast<const __m128i*>(offset.data()))), 3);
    for (int j = 0; j < kSubSamples; ++j) {
        _mm_store_si128(reinterpret_cast<__m128i*>(ix[j]), _mm_srli_epi32(r, kTopShift));
        r = _mm_add_epi32(r, st8);
    }
    const __m128i next = _mm_and_si128(_mm_add_epi32(ph, _mm_slli_epi32(st, 2)),
                                       _mm_set1_epi32(static_cast<int>(kPhaseMask)));
    _mm_store_si128(reinterpret_cast<__m128i*>(phase.data()), next);
}

// One sub-sample of one oscillator in all four lanes, read per lane from
// the positions.
template <bool Blend>
[[gnu::always_inline]] inline __m128
read4(const std::array<const float*, kLanes>& lo, const std::array<const float*, kLanes>& hi,
      __m128 weight, const uint16_t* warp, const uint32_t* ix) {
    const uint32_t i0 = warp[ix[0]], i1 = warp[ix[1]], i2 = warp[ix[2]], i3 = warp[ix[3]];
    const __m128 a = _mm_setr_ps(lo[0][i0], lo[1][i1], lo[2][i2], lo[3][i3]);
    if constexpr (!Blend) return a;
    const __m128 b = _mm_setr_ps(hi[0][i0], hi[1][i1], hi[2][i2], hi[3][i3]);
    return _mm_add_ps(a, _mm_mul_ps(_mm_sub_ps(b, a), weight));
}

// The same from one wave shared by the lanes.
[[gnu::always_inline]] inline __m128 read4(const float* wave, const uint16_t* warp,
                                           const uint32_t* ix) {
    return _mm_setr_ps(wave[warp[ix[0]]], wave[warp[ix[1]]], wave[warp[ix[2]]], wave[warp[ix[3]]]);
}

// The four lanes together, sub-sample by sub-sample (Sub: the
// sub-oscillator sounds).
template <Mix M, bool Blend, bool Sub>
[[gnu::always_inline]] inline float lanes4(OscillatorState& s, float* out, std::ptrdiff_t stride) {
    constexpr bool kDown = M == kUpDownSub;
    alignas(16) Positions up, down, sub;
    positions4(s.phaseUp, s.stepUp, s.offsetUp, up);
    if constexpr (kDown) positions4(s.phaseDown, s.stepDown, s.offsetDown, down);
    if constexpr (Sub) positions4(s.phaseSub, s.stepSub, s.offsetSub, sub);
    // Read back one by one (cheaper than taking each out of its vector).
    asm("" : "+m"(up), "+m"(down), "+m"(sub));

    const __m128 weight = _mm_load_ps(s.weight.data());
    const __m128 norm = _mm_set1_ps(s.subNorm);
    const __m128 subGain = _mm_set1_ps(s.subGain);
    const __m128 upGain = _mm_set1_ps(s.upGain);
    const __m128 downGain = _mm_set1_ps(s.downGain);
    __m128 upSum = _mm_setzero_ps(), downSum = _mm_setzero_ps();
    __m128 o[kSubSamples];
#pragma GCC unroll 4
    for (int j = 0; j < kSubSamples; ++j) {
        const __m128 u = read4<Blend>(s.lo, s.hi, weight, s.warp, up[j]);
        upSum = j == 0 ? u : _mm_add_ps(upSum, u);
        if constexpr (M == kUp) {
            o[j] = u;
        } else if constexpr (M == kUpNorm) {
            o[j] = _mm_mul_ps(u, norm);
        } else {
            const __m128 b = Sub ? read4(s.subWave, s.subWarp, sub[j]) : _mm_setzero_ps();
            if constexpr (M == kUpSub) {
                o[j] = _mm_mul_ps(norm, _mm_add_ps(u, _mm_mul_ps(subGain, b)));
            } else {
                const __m128 d = read4<Blend>(s.lo, s.hi, weight, s.warp, down[j]);
                downSum = j == 0 ? d : _mm_add_ps(downSum, d);
                const __m128 pair = _mm_mul_ps(
                    _mm_add_ps(_mm_mul_ps(d, downGain), _mm_mul_ps(u, upGain)), _mm_set1_ps(0.5f));
                o[j] = _mm_mul_ps(norm, _mm_add_ps(_mm_mul_ps(subGain, b), pair));
            }
        }
    }
    const __m128 quarter = _mm_set1_ps(0.25f);
    _mm_store_ps(s.lastOutUp.data(), _mm_mul_ps(upSum, quarter));
    if constexpr (kDown) _mm_store_ps(s.lastOutDown.data(), _mm_mul_ps(downSum, quarter));
    // Sub-sample-major to lane-major.
    _MM_TRANSPOSE4_PS(o[0], o[1], o[2], o[3]);
    for (int k = 0; k < kLanes; ++k) _mm_storeu_ps(out + k * stride, o[k]);
    return mean4(out);
}

template <Mix M, bool Blend>
float processLanes4(OscillatorState& s, float* out, std::ptrdiff_t stride) {
    if constexpr (M == kUpSub || M == kUpDownSub) {
        if (s.sub) return lanes4<M, Blend, true>(s, out, stride);
    }
    return lanes4<M, Blend, false>(s, out, stride);
}

using Process = float (*)(OscillatorState&, float*, std::ptrdiff_t);

// Variant (kind): bit 0 blend, bits 1-2 the lanes (0 two or three, 1 all
// four, 2 one), bits 3-4 the mix.
constexpr int kLaneShift = 1, kMixShift = 3;
enum Lanes { kSome, kFour, kOne };

template <Mix M, bool Blend, int L> constexpr Process variant() {
    if constexpr (L == kFour)
        return &processLanes4<M, Blend>;
    else
        return &processLanes<M, Blend, L == kOne>;
}

template <std::size_t... K>
constexpr std::array<Process, sizeof...(K)> variants(std::index_sequence<K...>) {
    return {variant<static_cast<Mix>(K >> kMixShift), (K & 1) != 0,
                    static_cast<int>(K >> kLaneShift) & 3>()...};
}

// Lane code 3 never comes up (its entries are the loop's).
constexpr auto kVariants = variants(std::make_index_sequence<4 << kMixShift>());

} // namespace

I4 morphIndices(float p, const float* unisonMorph, bool wrap) {
    // Copy k > 0 at p plus the morph offsets of all copies and its own.
    const F4 q =
        select(onlyLane(0), F4(p), (F4(p) + unisonMorph[0]) + F4(_mm_loadu_ps(unisonMorph)));
    const F4 x = clampTo(q, F4(-64.0f), F4(64.0f)) * 65535.9f;
    if (!wrap) return truncate(clampTo(x, F4(0.0f), F4(65535.0f)));
    alignas(16) I4 index = truncate(x);
    for (int& i : index) {
        // Positions beyond 0..1 fold back (a triangle), also far below 0.
        const int m = ((i + 1310720) % 131070 + 131070) % 131070;
        i = 65535 - std::abs(65535 - m);
        i = i < 0 ? 0 : (i > 65535 ? 65535 : i);
    }
    return index;
}

void prepareOffsets(OscillatorState& s, const std::array<float, kLanes>& copyPhase, float phase,
                    float upPhase, float downPhase, float subPhase) {
    const __m128 copy = _mm_load_ps(copyPhase.data());
    const __m128 shared = _mm_add_ps(copy, _mm_set1_ps(phase));
    auto store = [](OscillatorState::U4& to, __m128 cycles) {
        _mm_store_si128(reinterpret_cast<__m128i*>(to.data()), phaseOffset4(cycles));
    };
    store(s.offsetUp, _mm_add_ps(shared, _mm_set1_ps(upPhase)));
    if (s.spread) store(s.offsetDown, _mm_add_ps(shared, _mm_set1_ps(downPhase)));
    if (s.sub) store(s.offsetSub, _mm_add_ps(_mm_set1_ps(subPhase), copy));
}

void selectKind(OscillatorState& s) {
    const Mix mix = s.spread ? kUpDownSub : (s.sub ? kUpSub : (s.subNorm != 1.0f ? kUpNorm : kUp));
    const Lanes lanes = s.copies == kLanes ? kFour : (s.copies == 1 ? kOne : kSome);
    s.kind = (s.blend ? 1 : 0) | lanes << kLaneShift | mix << kMixShift;
}

float process(OscillatorState& s, float* out, std::ptrdiff_t stride) {
    // The most common variant (one plain copy) without the call.
    constexpr int kPlainOne = kOne << kLaneShift | kUp << kMixShift;
    if (s.kind == kPlainOne) return processLanes<kUp, false, true>(s, out, stride);
    return kVariants[static_cast<std::size_t>(s.kind) & (kVariants.size() - 1)](s, out, stride);
}

} // namespace osc
