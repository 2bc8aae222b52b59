// The engine stages that are not built yet, each behind one call of the
// render loop, the note path or setGlobalRare. They keep the schedule in its
// final shape: the loop calls every stage in its place, and a stage that does
// not exist yet does nothing (or the least that keeps the engine consistent),
// so voices are gated, enveloped and listed while the output stays silent.
//
// When a stage is built, its functions move from here to the stage's own
// file. Owner of each group:
//   oscillator                voiceControlTerms (the filter's key terms)
//   voice filter              initFilter, updateFilterRare
//   modulation matrix         applyGlobalMatrix, applyVoiceMatrixFirstHalf,
//                             updateModSlotCache, updateUsageFlags
//   free LFOs                 initLFO, stepGlobalLfos, advanceSModLfo,
//                             resetSModLfoPhase, stepVoiceLfosAndNoise,
//                             updateLfoRare, voiceLfoAndXYTick (LFO half)
//   effect chain              initFX, doFX, restartEffectLfos, updateFXRare,
//                             setReverbSampleRate, updateGlobalDerivedValues
//   arpeggiator               initArp, resetArpMagic, arpNoteDown, arpNoteReleased, resetArpClock,
//                             takeArpRatchet, resetArpVoice, setArpRunning,
//                             cacheArpModes, getArpUniMode, getArpNumOfSteps,
//                             getArpStepOn, getArpStepTied, updateArpClock,
//                             stepArpClock, restartArpPhrase, arpModulationOutsideArp,
//                             clearArpSoundingVoice, voiceArpTick, updateArpRare
//   XY pad                    initXY, updateXYGlobal, voiceXYFrame, restartXYReplaySpeed,
//                             restartXYReplayForNote, restartRunningXYReplay, updateXYRare
//   tuning and pitch bend     getTuning
//   MIDI learn                handleLearnedController
//   programs                  setPresetParameters

#include "core/aplugin.h"

#include <algorithm>

// ------------------------------------------------------------------ oscillator, distortion, mix
// The XY-to-morph amounts; the filter's key and controller terms come with
// the filter.
void APlugin::voiceControlTerms(int /*voice*/) {
    const auto& g = engine.global.dst;
    engine.notes.xyToMorphX =
        std::clamp(2.0f * getCurrentValue(tag::XYXToMorph) - 1.0f + g[147], -1.0f, 1.0f);
    engine.notes.xyToMorphY =
        std::clamp(2.0f * getCurrentValue(tag::XYYToMorph) - 1.0f + g[148], -1.0f, 1.0f);
}

// ------------------------------------------------------------------ voice filter
// Until the filter exists, each pair of oscillator sub-samples is averaged
// down to the filter's two sub-samples per frame.
void APlugin::filterStage() {
    const RenderState& render = engine.render;
    for (int n = 0; n < render.activeVoiceCount; ++n) {
        VoiceState& voice = engine.voices[render.activeVoices[n]];
        const int copies = std::clamp(voice.uniVoices, 1, kUnisonCopies);
        for (int k = 0; k < copies; ++k) {
            LaneState& lane = voice.dsp.lanes[k];
            lane.out[0] = (lane.osc[0] + lane.osc[1]) * 0.5f;
            lane.out[1] = (lane.osc[2] + lane.osc[3]) * 0.5f;
        }
    }
}
void APlugin::initFilter(int /*mode*/, int /*voice*/) {}
// The distortion mode is cached here until the filter's block lands.
void APlugin::updateFilterRare() {
    engine.notes.distortMode = getSteppedValue(tag::DistortMode);
}

// ------------------------------------------------------------------ modulation matrix
// Until slots are routed, every destination sum stays at its neutral value.
void APlugin::applyGlobalMatrix() {
    engine.global.dst = engine.destBase;
}
void APlugin::applyVoiceMatrixFirstHalf(int /*voice*/) {}
void APlugin::updateModSlotCache() {}
void APlugin::updateUsageFlags() {}

// ------------------------------------------------------------------ free LFOs
void APlugin::initLFO(int /*mode*/, int /*lfo*/, int /*voice*/) {}
void APlugin::stepGlobalLfos() {}
void APlugin::advanceSModLfo() {}
void APlugin::resetSModLfoPhase() {}
void APlugin::stepVoiceLfosAndNoise() {}
void APlugin::updateLfoRare() {}
void APlugin::voiceLfoAndXYTick(int /*voice*/) {}

// ------------------------------------------------------------------ effect chain
void APlugin::initFX() {}
void APlugin::doFX(bool /*force*/) {} // the working block passes through
void APlugin::restartEffectLfos() {}
void APlugin::updateFXRare() {}
void APlugin::setReverbSampleRate(float /*rate*/) {}
void APlugin::updateGlobalDerivedValues() {}

// ------------------------------------------------------------------ arpeggiator
void APlugin::initArp() {}
void APlugin::resetArpMagic(bool /*keep*/) {}
void APlugin::arpNoteDown(int /*note*/, int /*velocity*/) {}
void APlugin::arpNoteReleased(int /*note*/) {}
void APlugin::resetArpClock() {}
void APlugin::takeArpRatchet(int /*voice*/) {}
void APlugin::resetArpVoice(int /*voice*/) {}
void APlugin::setArpRunning(bool /*running*/) {}
void APlugin::cacheArpModes() {}
int APlugin::getArpUniMode(int /*voice*/) const {
    return -1;
}
int APlugin::getArpNumOfSteps() const {
    return getLockSteppedValue(tag::ArpNumSteps) + 1;
}
bool APlugin::getArpStepOn(int step) const {
    return step >= 0 && step < tag::ArpStepCount && getLockVarOnOff(tag::arpStep(tag::RowOn, step));
}
bool APlugin::getArpStepTied(int step) const {
    return step >= 0 && step < tag::ArpStepCount &&
           getLockVarOnOff(tag::arpStep(tag::RowTied, step));
}
void APlugin::updateArpClock() {}
void APlugin::stepArpClock() {}
void APlugin::restartArpPhrase() {}
void APlugin::arpModulationOutsideArp() {}
void APlugin::clearArpSoundingVoice() {}
void APlugin::voiceArpTick(int /*voice*/) {}

// Key entry is cached here until the arpeggiator's own block lands.
void APlugin::updateArpRare() {
    NoteState& ns = engine.notes;
    const bool keyEntry = getOnOff(tag::ArpKeyEntryOn);
    if (keyEntry && !ns.arpKeyEntry) {
        setEverythingOff(true);
        ns.arpEntryStep = 0;
    }
    ns.arpKeyEntry = keyEntry;
}

// ------------------------------------------------------------------ XY pad
void APlugin::initXY(int /*mode*/, int /*voice*/) {}
void APlugin::updateXYGlobal() {}
void APlugin::voiceXYFrame(int /*voice*/) {}
void APlugin::restartXYReplaySpeed() {}
void APlugin::restartXYReplayForNote() {}
void APlugin::restartRunningXYReplay() {}
void APlugin::updateXYRare() {}

// ------------------------------------------------------------------ tuning and pitch bend
// Equal temperament until tuning files arrive.
float APlugin::getTuning(int note) const {
    return static_cast<float>(std::clamp(note, 0, 127));
}

// ------------------------------------------------------------------ MIDI learn
void APlugin::handleLearnedController(int /*controller*/, int /*value*/) {}

// ------------------------------------------------------------------ programs
// Applies the stored program plainly while the output is silent; the full
// application (engine resets, locked sections, the editor push) comes with
// the programs stage.
void APlugin::setPresetParameters() {
    if (core.settingPreset) return;
    core.presetPending.clear();
    core.settingPreset.set();
    for (int t = 0; t < tag::Count; ++t) setParameter(t, getStoredValue(t));
    core.settingPreset.clear();
}
