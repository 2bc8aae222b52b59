// Value texts of the parameters: what a host shows next to a parameter's
// name and what the editor puts into its readouts, menus and tool-tips.
//
// The text is chosen by the tag's display kind, or for kind 0 by a rule of the
// tag's own. Numbers are always written with '.' as the decimal point and
// without grouping (std::to_chars), whatever LC_NUMERIC the host has set.
// Building a text reads each value once and changes nothing, so it is safe on
// the main thread while the audio thread is running.

#include "core/aplugin.h"
#include "core/display_scales.h"
#include "core/modes.h"
#include "core/numeric.h"
#include "core/vocabulary.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

// Longest text handed to a host buffer, without the terminating NUL.
constexpr std::size_t kMaxDisplayChars = 63;

// Values may be NaN or outside 0..1 (a restored state chunk); a text shows
// what the readers make of them (clamp01: NaN as 0).

// int(x), truncating toward zero, without undefined behaviour for NaN or huge x.
int truncInt(double x) {
    if (std::isnan(x)) return 0;
    return truncTo(x, std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
}

std::string intStr(int value) {
    char buffer[16];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

// 2^x in double, narrowed to float.
float pow2(float x) {
    return static_cast<float>(std::exp2(static_cast<double>(x)));
}

// Left/right or dry/wet balance: "C" / "Equal" in the middle.
std::string balanceStr(float v, const char* centre, const char* left, const char* right) {
    if (v > 0.501f) return intStr(truncInt(200.0f - v * 200.0f)) + "% " + left + " / 100% " + right;
    if (v < 0.499f)
        return std::string("100% ") + left + " / " + intStr(truncInt(v * 200.0f)) + "% " + right;
    return centre;
}

} // namespace

// ------------------------------------------------------------------ number helpers

std::string APlugin::getFloatStr(float value, int decimals) {
    decimals = std::clamp(decimals, 0, 9);
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value),
                                      std::chars_format::fixed, decimals);
    if (result.ec != std::errc()) return "0";
    std::string text(buffer, result.ptr);
    // A value that rounds to zero shows no sign: "-0.0 dB" typed back would
    // come back as "0.0 dB".
    if (text.front() == '-' && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
    return text;
}

std::string APlugin::getFilterFreqStr(float value) {
    const float f = 20.0f * pow2(10.0f * clamp01(value));
    if (f < 1000.0f) return intStr(truncInt(f)) + " Hz";
    return getFloatStr(f / 1000.0f, 1) + " KHz";
}

float display_scale::envLenMs(float value) {
    return std::floor(pow2(14.0f * clamp01(value)));
}

std::string APlugin::getEnvLenStr(float value) {
    const float ms = display_scale::envLenMs(value);
    if (ms < 1000.0f) return intStr(truncInt(ms)) + " ms";
    return getFloatStr(ms / 1000.0f, 2) + " sec";
}

// A fade travels from the sustain level up to 1 or down to 0; its time scales
// with that distance.
std::string APlugin::getFadeLenStr(float value, float sustain) {
    value = clamp01(value);
    sustain = clamp01(sustain);
    if (std::fabs(value - 0.5f) < 0.002f) return "Off";
    const float direction = 2.0f * value - 1.0f;
    const float d = direction * 18.0f;
    const bool up = direction > 0.0f;
    const float time =
        up ? (1.0f - sustain) * std::floor(pow2(18.0f - d)) : std::floor(pow2(d + 18.0f)) * sustain;
    if (time < 0.1f) return "Off";
    const std::string prefix = up ? "Up " : "Down ";
    if (time < 1000.0f) return prefix + intStr(truncInt(time)) + " ms";
    return prefix + getFloatStr(time / 1000.0f, 2) + " sec";
}

// An unsynced LFO speed knob as the rate the engine gives it: the SMod LFO,
// the free LFOs and the chorus.
std::string APlugin::getLFOSpeedStr(int t) const {
    return getLFOSpeedStr(t, getCurrentValue(t));
}

std::string APlugin::getLFOSpeedStr(int t, float value) const {
    const float x = clamp01(value);
    // Only the free LFOs stand still at the bottom of their range; the SMod
    // and chorus LFOs keep running at their slowest rate there.
    const bool freeLfo = t != tag::OscSModSpeed && t != tag::ChorusSpeed;
    if (freeLfo && x < display_scale::kFreeLfoStill) return "Off";
    double f;
    if (t == tag::OscSModSpeed)
        f = SModLfo::hertz(x);
    else if (t == tag::ChorusSpeed)
        f = 55.0 / 4096.0 * std::exp2(10.0 * x);
    else
        f = FreeLfo::hertz(x);
    if (f < 1000.0) return getFloatStr(static_cast<float>(f), 2) + " Hz";
    return getFloatStr(static_cast<float>(f / 1000.0), 2) + " Khz";
}

// ------------------------------------------------------------------ value texts

bool APlugin::freeEnvTimeSynced(int t) const {
    const int env = tag::freeEnvOf(t);
    if (env < 0) return false;
    const int field = t - tag::freeEnv(env, 0);
    return field != tag::FreeEnvSustain && field != tag::FreeEnvSync &&
           getOnOff(tag::freeEnv(env, tag::FreeEnvSync));
}

// The text of tag t whose own value reads as `own`; every other tag is read
// as it stands. A text built for a given value depends on that value alone.
std::string APlugin::displayText(int t, const ShownValue& own) const {
    const float v = clamp01(own.lockVar);
    const bool onOff = own.current >= 0.5f;
    const int step = getSteppedValue(t, own.current);
    // Stepped tags of a locked section show their held value.
    const int lockStep = getTagLocked(t) ? getSteppedValue(t, own.lockVar) : step;

    std::string result = "----";
    bool ownRule = false;
    switch (params.displayKind[t]) {
    case kDisplayOnOff:
        result = vocabAt(OFF_ON_STR, onOff ? 1 : 0);
        break;
    case kDisplayPercent:
        result = intStr(display_scale::percentShown(v)) + "%";
        break;
    case kDisplayBipolar:
        result = intStr(truncInt(v * 200.0f) - 100) + "%";
        break;
    case kDisplayDecibel:
        result = getFloatStr(clamp01(own.current) * 60.0f - 60.0f, 1) + " dB";
        break;
    case kDisplayMidi:
        result = intStr(truncInt(v * 127.0f));
        break;
    case kDisplayPan:
        result = balanceStr(v, "C", "L", "R");
        break;
    case kDisplayMix:
        result = balanceStr(v, "Equal", "D", "W");
        break;
    case kDisplayArpTune:
        // The step's own tune; the tag's live text adds the magic steps'
        // transposition of the pass now playing.
        result = intStr(own.live ? getArpStepTuneForDisplay(t - tag::arpStep(tag::RowTune, 0))
                                 : truncInt(v * 72.0f) - 36) +
                 " Semi";
        break;
    case kDisplayFilterFreq:
        result = getFilterFreqStr(clamp01(own.stored));
        break;
    case kDisplayModSource:
        result = vocabAt(SRC_STR, step);
        break;
    case kDisplayModDest:
        result = vocabAt(DEST_STR, step);
        break;
    case kDisplayEnvTime: {
        result = freeEnvTimeSynced(t)
                     ? std::string(vocabAt(ENV_TEMPO_SYNC_STR, getSteppedValue(v, 30.99f, 31)))
                     : getEnvLenStr(v);
        break;
    }
    case kDisplayFadeTime: {
        const int sustainTag = tag::freeEnv(std::max(tag::freeEnvOf(t), 0), tag::FreeEnvSustain);
        result = freeEnvTimeSynced(t)
                     ? std::string(vocabAt(ENV_FADE_TEMPO_SYNC_STR, getSteppedValue(v, 60.99f, 61)))
                     : getFadeLenStr(v, getCurrentValue(sustainTag));
        break;
    }
    case kDisplayInternal:
        result = "INTERNAL " + intStr(truncInt(v * 100.0f) + 1);
        break;
    default: // kDisplayOwn and kinds without a rule of their own
        ownRule = true;
        break;
    }

    if (ownRule) {
        // Wave shaper amounts: the mode names what each amount does.
        using display_scale::Shaper;
        auto shaperAmount = [&](const char* caption, Shaper scale) {
            std::string s = std::string(caption) + " ";
            switch (scale) {
            case Shaper::Unused:
                return s + "n/a";
            case Shaper::Bipolar:
                return s + intStr(truncInt(v * 200.0f - 100.0f)) + "%";
            case Shaper::Doubled:
                return s + intStr(truncInt(v * 200.0f)) + "%";
            case Shaper::Percent:
                break;
            }
            return s + intStr(truncInt(v * 100.0f)) + "%";
        };

        const bool isSlotAmount = t >= tag::slotAmount(0) && t < tag::slotAmount(tag::ModSlotCount);
        const bool isXYAmount =
            t >= tag::XYModAmountFirst && t < tag::XYModAmountFirst + tag::XYModCount;
        auto inArpRow = [t](int row) {
            return t >= tag::arpStep(row, 0) && t < tag::arpStep(row, tag::ArpStepCount);
        };

        if (t == tag::OscWaveA || t == tag::OscWaveB) {
            result = vocabAt(OSC_WAVE_STR, step);
        } else if (t == tag::OscOctave) {
            result = vocabAt(OSC_OCT_STR, step);
        } else if (t == tag::OscSModSpeed) {
            result = getLFOSpeedStr(tag::OscSModSpeed, own.current);
        } else if (t == tag::OscSubVolume) {
            if (std::fabs(v - 0.5f) < 0.001f)
                result = "Off";
            else if (v < 0.5f)
                result = "Sine Volume" + intStr(truncInt((1.0f - 2.0f * v) * 40.0f - 40.0f)) + "dB";
            else
                result =
                    "Square Volume" + intStr(truncInt((2.0f * v - 1.0f) * 40.0f - 40.0f)) + "dB";
        } else if (isXYAmount || isSlotAmount) {
            // The twelve slots, then the XY pad's four rows.
            const int slot = isSlotAmount ? t - tag::SlotAmountFirst
                                          : t - tag::XYModAmountFirst + tag::ModSlotCount;
            const int dest = getModDest(slot);
            const int type =
                dest >= 0 && dest < static_cast<int>(destType.size()) ? destType[dest] : 0;
            if (type == kDestSemitone)
                result =
                    getFloatStr(static_cast<float>(truncInt(v * 720.0f + 0.1f)) * 0.1f - 36.0f, 2) +
                    "s";
            else if (type == kDestSpeed)
                result = "x" + getFloatStr(pow2(4.0f * v - 2.0f), 2);
            else
                result = intStr(truncInt(v * 200.0f - 100.0f)) + "%";
        } else if (t == tag::XYSpeed) {
            result = getFloatStr(pow2(8.0f * v - 4.0f), 2) + "x";
        } else if (t == tag::freeLfoSpeed(0) || t == tag::freeLfoSpeed(1)) {
            if (getOnOff(tag::freeLfoSync(t == tag::freeLfoSpeed(0) ? 0 : 1)))
                result = vocabAt(LFO_PERIOD_STR, getSteppedValue(own.current, 33.99f, 34));
            else
                result = getLFOSpeedStr(t, own.current);
        } else if (t == tag::ChorusLength || t == tag::FlangerLength) {
            result = getFloatStr(v * 50.0f, 1) + " ms";
        } else if (t == tag::ChorusSpeed) {
            result = getLFOSpeedStr(tag::ChorusSpeed, own.current);
        } else if (t == tag::FlangerOrPhaser) {
            result = clamp01(own.stored) >= 0.5f ? "Phaser" : "Flanger";
        } else if (t == tag::FlangerSpeed || t == tag::PhaserSpeed) {
            result = vocabAt(FX_PERIOD_STR, step);
        } else if (t == tag::DelayLeft || t == tag::DelayRight) {
            if (getOnOff(tag::DelaySyncOn))
                result = vocabAt(DELAY_LEN_STR, getSteppedValue(own.current, 14.99f, 15));
            else
                result = getFloatStr(pow2(12.0f * v), 1) + "ms";
        } else if (t == tag::ReverbPreDelay) {
            result = getFloatStr((pow2(10.0f * v) - 1.0f) * 0.5f, 1) + " ms";
        } else if (t == tag::ReverbSize) {
            result = getFloatStr(std::floor(v * 30.75f + 1.0f) * 0.25f, 2) + " m";
        } else if (t == tag::ReverbLength) {
            result = intStr(truncInt(pow2(8.0f * v - 6.0f) * 100.0f)) + "%";
        } else if (t == tag::ArpNumSteps || t == tag::ArpLoopStart) {
            result = vocabAt(ARP_STEPS_STR, lockStep);
        } else if (t == tag::ArpSpeed) {
            result = vocabAt(ARP_SPEED_STR, lockStep);
        } else if (t == tag::ArpMagicSteps) {
            result = vocabAt(ARP_MAGIC_STEPS_STR, lockStep);
        } else if (t == tag::PlayMode) {
            result = vocabAt(PLAY_MODE_STR, lockStep);
        } else if (t == tag::PortamentoMode) {
            result =
                vocabAt(PORT_MODE_STR, getPlayMode() == playmode::Arp ? getPortMode() : lockStep);
        } else if (t == tag::UnisonMode) {
            result = vocabAt(UNI_MODE_STR, lockStep);
        } else if (t == tag::PitchBendDown || t == tag::PitchBendUp) {
            result = vocabAt(PITCH_BEND_STR, lockStep);
        } else if (t == tag::DistortMode) {
            result = vocabAt(DISTORT_MODE_STR, lockStep);
        } else if (t == tag::OscMode) {
            result = vocabAt(OSC_MODE_STR, step);
        } else if (t == tag::FilterType) {
            result = vocabAt(FILTER_TYPE_STR, step);
        } else if (t == tag::FreeLfo1Mode || t == tag::FreeLfo2Mode) {
            result = vocabAt(LFO_MODE_STR, step);
        } else if (t == tag::FreeLfo1Wave || t == tag::FreeLfo2Wave) {
            result = vocabAt(LFO_WAVE_STR, step);
        } else if (t == tag::ArpMode) {
            result = vocabAt(ARP_MODE_STR, lockStep);
        } else if (t == tag::ArpOctave) {
            result = vocabAt(ARP_OCT_STR, lockStep);
        } else if (t == tag::ArpTiedMode) {
            result = vocabAt(ARP_TIED_MODE_STR, lockStep);
        } else if (t == tag::ArpRatchetMode) {
            result = vocabAt(ARP_RATCHET_MODE_STR, lockStep);
        } else if (t == tag::ArpLoopMode) {
            result = vocabAt(ARP_LOOP_MODE_STR, lockStep);
        } else if (t == tag::ArpStepsCatchup || t == tag::ArpLoopStartCatchup) {
            result = vocabAt(ARP_CATCHUP_STR, lockStep);
        } else if (t == tag::ArpMagicMode) {
            result = getSteppedValue(tag::ArpMagicSteps) == 0
                         ? "------"
                         : vocabAt(ARP_MAGIC_MODE_STR, lockStep);
        } else if (inArpRow(tag::RowChord)) {
            result = vocabAt(ARP_CHORD_STR, lockStep);
        } else if (inArpRow(tag::RowRatchet)) {
            result = vocabAt(ARP_RATCHET_STR, lockStep);
        } else if (t == tag::XYRecordMode) {
            result = vocabAt(XY_RECORD_MODE_STR, step);
        } else if (t == tag::XYLoopMode) {
            result = vocabAt(XY_LOOP_MODE_STR, step);
        } else if (t == tag::XYPlayMode) {
            result = vocabAt(XY_PLAY_MODE_STR, step);
        } else if (t == tag::XYSyncToMode) {
            result = vocabAt(XY_SYNC_TO_MODE_STR, step);
        } else if (t == tag::XYPointQuant) {
            result = vocabAt(XY_POINT_QUANT_STR, step);
        } else if (t == tag::XYTimeQuant) {
            result = vocabAt(XY_TIME_QUANT_STR, step);
        } else if (t == tag::XYSpaceQuant) {
            result = vocabAt(XY_SPACE_QUANT_STR, step);
        } else if (t == tag::WaveShaper1) {
            const int m = getSteppedValue(tag::WaveShaperMode);
            result = shaperAmount(vocabAt(WAVE_SHAPER_LABEL_1_STR, m),
                                  display_scale::shaperAmount(t, m));
        } else if (t == tag::WaveShaper2) {
            const int m = getSteppedValue(tag::WaveShaperMode);
            result = shaperAmount(vocabAt(WAVE_SHAPER_LABEL_2_STR, m),
                                  display_scale::shaperAmount(t, m));
        } else if (t == tag::WaveShaperMode) {
            result = vocabAt(WAVE_SHAPER_STR, step);
        }
    }

    if (result.size() > kMaxDisplayChars) result.resize(kMaxDisplayChars);
    return result;
}

void APlugin::getParameterDisplay(VstInt32 t, char* text) {
    if (!text) return;
    text[0] = ' ';
    text[1] = '\0';
    if (!isValidTag(t)) return;
    const std::string result =
        displayText(t, {getLockVar(t), getCurrentValue(t), getStoredValue(t), true});
    std::memcpy(text, result.c_str(), result.size() + 1);
}

std::string APlugin::formatParameterValue(int t, float value) const {
    if (!isValidTag(t)) return " ";
    const float v = clamp01(value);
    return displayText(t, {v, v, v});
}

std::string APlugin::getParameterDisplayStr(int t) {
    char buffer[256] = {};
    getParameterDisplay(t, buffer);
    return buffer;
}
