// What the editor reads from the engine and the few small commands it sends.
//
// The editor calls these on the host's main thread while the audio thread
// runs; every getter reads only parameter values and what the audio thread
// publishes in engine.display (relaxed atomics, no lock), never the engine's
// working state. A value caught in the middle of a publication is corrected
// by the next idle pass. The commands reach the audio thread as parameter
// writes or requests it serves at its next tick.
//
// The getters here follow from parameter values alone. The arpeggiator's
// run-time getters are in engine/arp.cpp, the XY pad's
// position, take and path calls with the pad's engine (engine/xy_pad.cpp),
// the tuning calls with the tuning (engine/tuning.cpp) and the saved-wave
// list with the wave presets (waves/wave_presets.cpp).

#include "core/aplugin.h"
#include "core/modes.h"
#include "core/numeric.h"

#include <algorithm>
#include <cmath>

namespace {

// A factor destination shown on its knob: ln(factor) / ln(base), 0 for a
// factor that is not positive.
float logOf(float factor, float base) {
    return factor > 0.0f ? std::log(factor) / std::log(base) : 0.0f;
}

} // namespace

// ------------------------------------------------------------------ voices

bool APlugin::getIsVoicePlaying(int v) const {
    return isValidVoice(v) && (engine.display.soundingVoices.get() >> v & 1u) != 0;
}

bool APlugin::getIsAnyVoicePlaying() const {
    return engine.display.soundingVoices.get() != 0;
}

// ------------------------------------------------------------------ modulation display

float APlugin::getModValue(int t) const {
    if (!isValidTag(t)) return 0.0f;
    const float value = getCurrentValue(t);
    const int d = getTagDest(t);
    if (d <= dst::None || d >= dst::Count) return clamp01(value);
    const DisplayState& shown = engine.display;

    // The effects are global: their knobs show the global sums.
    if (t >= tag::ChorusLength && t <= tag::ReverbMix) {
        if (t == tag::FlangerSpeed)
            return clamp01(value + logOf(shown.globalDst[dst::FlangerSpeed].get(), 4.0f));
        if (t == tag::PhaserSpeed)
            return clamp01(value + logOf(shown.globalDst[dst::PhaserSpeed].get(), 4.0f));
        return clamp01(value + shown.globalDst[d].get());
    }

    if (!getIsAnyVoicePlaying()) return clamp01(value);
    const auto& dst = shown.voiceDst; // the last sounding voice's
    switch (t) {
    case tag::MainVolume: {
        const float x = std::abs(dst[dst::MainVolume].get()) * shown.masterGain.get();
        return x < 0.001f ? 0.0f : clamp01((20.0f * std::log10(x) + 60.0f) / 60.0f);
    }
    case tag::OscSubVolume:
        return clamp01(std::abs(dst[dst::SubVolume].get()) * (value - 0.5f) + 0.5f);
    case tag::FreeLfo1Speed:
        return clamp01(value + logOf(dst[dst::FreeLfo1Speed].get(), 32768.0f));
    case tag::FreeLfo2Speed:
        return clamp01(value + logOf(dst[dst::FreeLfo2Speed].get(), 32768.0f));
    case tag::OscMorph:
        return clamp01(value + getXYModAmount(0, 2) + dst[d].get());
    case tag::FilterFreq: {
        // Where the filter really is, key tracking and envelope included:
        // ten octaves above 20 Hz.
        const float hz = shown.voiceCutoffHz.get();
        if (!(hz > 0.0f)) return clamp01(value + dst[d].get());
        return clamp01(std::log(hz / 20.0f) * 0.1f / std::log(2.0f));
    }
    default:
        return clamp01(value + dst[d].get());
    }
}

// ------------------------------------------------------------------ arpeggiator modes

int APlugin::getArpMode() const {
    const int mode = getLockSteppedValue(tag::ArpMode);
    if (getPlayMode() == playmode::Arp && mode >= arpmode::ModFree && mode <= arpmode::ModPoly)
        return arpmode::Up;
    return mode;
}
int APlugin::getArpSpeed() const {
    return getLockSteppedValue(tag::ArpSpeed);
}
int APlugin::getArpOct() const {
    return getLockSteppedValue(tag::ArpOctave);
}
int APlugin::getArpTiedMode() const {
    return getLockSteppedValue(tag::ArpTiedMode);
}
int APlugin::getArpRatchetMode() const {
    return getLockSteppedValue(tag::ArpRatchetMode);
}
int APlugin::getArpLoopMode() const {
    return getLockSteppedValue(tag::ArpLoopMode);
}
int APlugin::getArpMagicMode() const {
    return getLockSteppedValue(tag::ArpMagicMode);
}
int APlugin::getArpStepsCatchup() const {
    return getLockSteppedValue(tag::ArpStepsCatchup);
}
int APlugin::getArpLoopStartCatchup() const {
    return getLockSteppedValue(tag::ArpLoopStartCatchup);
}

// A catch-up of 1 "Even" sets the lowest bit of a 0-based step, 2 "Odd"
// clears it.
int APlugin::applyArpCatchup(int step, int catchup) {
    if (catchup == 1) return step | 1;
    if (catchup == 2) return step & ~1;
    return step;
}

int APlugin::getArpNumOfStepsWithCatchup() const {
    return std::clamp(applyArpCatchup(getLockSteppedValue(tag::ArpNumSteps), getArpStepsCatchup()),
                      0, tag::ArpStepCount - 1);
}

int APlugin::getArpLoopStartWithCatchup() const {
    const int start =
        applyArpCatchup(getLockSteppedValue(tag::ArpLoopStart), getArpLoopStartCatchup());
    return std::clamp(start, 0, getArpNumOfStepsWithCatchup());
}

int APlugin::getArpLoopStart() const {
    const int base =
        applyArpCatchup(getLockSteppedValue(tag::ArpLoopStart), getArpLoopStartCatchup());
    const int start =
        base + truncTo(engine.display.globalDst[dst::ArpLoopStart].get() * 15.0f + 0.1f, -60, 60);
    if (start < 0) return 0;
    return std::min(start, getArpNumOfSteps() - 1);
}

int APlugin::getArpStepTuneForDisplay(int step) const {
    if (step < 0 || step >= tag::ArpStepCount) return 0;
    // The step's own tune and the magic steps' transposition of this pass.
    return arpTuneSemitones(getLockVar(tag::arpStep(tag::RowTune, step))) +
           engine.display.arpMagicTune[step].get();
}

// ------------------------------------------------------------------ arpeggiator key entry

// The audio thread moves the key-entry step at its next tick.
void APlugin::setArpKeyEntryPos(int step) {
    if (step >= 0 && step < tag::ArpStepCount)
        engine.requests.arpEntryStep.store(step, std::memory_order_relaxed);
}

// ------------------------------------------------------------------ XY pad modes

int APlugin::getXYRecordMode() const {
    return getSteppedValue(tag::XYRecordMode);
}
int APlugin::getXYPlayMode() const {
    const int mode = getSteppedValue(tag::XYPlayMode);
    return mode == xyplay::Poly && getPlayMode() == playmode::Arp ? xyplay::Free : mode;
}
int APlugin::getXYLoopMode() const {
    return xyLoopModeWith(getXYPlayMode());
}
// A free replay always loops.
int APlugin::xyLoopModeWith(int playMode) const {
    const int mode = getSteppedValue(tag::XYLoopMode);
    return mode == xyloop::Off && playMode == xyplay::Free ? xyloop::On : mode;
}
int APlugin::getXYSyncedToPeriod() const {
    return getSteppedValue(tag::XYSyncToMode);
}
int APlugin::getXYSpaceQuant() const {
    return getSteppedValue(tag::XYSpaceQuant);
}
int APlugin::getXYTimeQuant() const {
    return getSteppedValue(tag::XYTimeQuant);
}
int APlugin::getXYPointQuant() const {
    return getSteppedValue(tag::XYPointQuant);
}
int APlugin::getXYToFreeDest(int t) const {
    return getSteppedValue(t);
}
