// Sample rate and everything derived from it.
//
// The host announces the rate; every rate-dependent constant is derived here
// at once so that the render loop never divides by the rate per sample.

#include "core/aplugin.h"

#include "platform/prefs.h"

#include <cmath>

namespace {

constexpr float kMinRate = 5.0f;
constexpr float kMaxRate = 500000.0f;

} // namespace

void APlugin::setSampleRate(float r) {
    if (!(r >= kMinRate && r <= kMaxRate)) return; // also NaN
    EffectChainState& fx = engine.fx;
    if (core.settingPreset) {
        // A preset is being applied on the audio thread: keep the rate, with
        // its tables built here, and apply it at the next block start rather
        // than lose it.
        EffectTables::release(fx.pendingTables.exchange(EffectTables::acquire(r)));
        EffectTables::collect();
        return;
    }
    EffectTables::release(fx.pendingTables.exchange(nullptr)); // the latest rate wins
    if (std::fabs(engine.rate.sampleRate - r) > 0.1f) applySampleRate(r, EffectTables::acquire(r));
    // Here, off the audio thread, go the tables no instance holds any more.
    EffectTables::collect();
}

// The rate, with a reference to its effect tables that passes to the chain.
// On the audio thread only with tables acquired beforehand.
void APlugin::applySampleRate(float r, const EffectTables* tables) {
    RateState& rs = engine.rate;
    AudioEffectX::setSampleRate(r);
    RenderState& render = engine.render;
    rs.sampleRate = r;
    rs.sampleRateD = r;
    rs.doubleRate = 2.0f * r;
    rs.invRate = 1.0f / r;
    rs.invRateD = 1.0 / static_cast<double>(r);
    rs.invDoubleRate = 1.0f / (2.0f * r);
    render.samplesPerWholeNote = r * 240.0f / render.tempo;
    render.samplesPerWholeNoteD = static_cast<double>(r) * 240.0 / render.tempoD;

    updateBaseNote();

    rs.smodRateBase = kSModRateBaseHz / r;
    rs.driftRateHigh = 3.4375f / r;
    rs.driftRateLow = 6.875f / r;
    rs.lfoRateBase = kLfoRateBaseHz / static_cast<double>(r);
    rs.filterCeiling = 0.2f * 2.0f * r;
    rs.dcCoef = DCBlocker::coefficient(r); // 60 / (2r), never above 1
    rs.dcCoefComplement = 1.0f - rs.dcCoef;
    clearDCBlockers();

    // The effect tables of this rate (shared), the delay lines and the reverb.
    setReverbSampleRate(tables);
    rs.fxRate1 = 0.015197279f / r;
    rs.fxRate2 = 0.015409426f / r;
    rs.edgeStep = 1.0f / (0.0015f * r);

    setEverythingOff(true);
}

// The deprecated accumulating process renders nothing but still consumes
// MIDI, so notes do not pile up while a host uses it.
void APlugin::__processDeprecated(float** /*inputs*/, float** outputs, VstInt32 frames) {
    if (frames <= 0) return;
    for (int i = 0; i < frames; ++i) {
        if (engine.midiEventQueue.pending > 0) processMidi(i);
        if (!outputs) continue;
        if (outputs[0]) outputs[0][i] = 0.0f;
        if (outputs[1]) outputs[1][i] = 0.0f;
    }
}

// ------------------------------------------------------------------ reference pitch

namespace {
// "A4" as last read on the main thread; the audio thread reads only this.
std::atomic<int> gA4Pref{A4_DEFAULT};
} // namespace

void APlugin::refreshA4Pref() {
    gA4Pref.store(loadIntFromPrefs(REG_A4_STR), std::memory_order_relaxed);
}

// The oscillator's base pitch: note 57 at the middle octave plays A4 / 4.
void APlugin::updateBaseNote() {
    const int a4 = a4OrDefault(gA4Pref.load(std::memory_order_relaxed));
    engine.rate.basePitch = static_cast<float>(a4) * (110.0f / engine.rate.sampleRate) / 440.0f;
}
