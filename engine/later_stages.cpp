// The engine stages that are not built yet, each behind one call of the
// render loop, the note path or setGlobalRare. They keep the schedule in its
// final shape: the loop calls every stage in its place, and a stage that does
// not exist yet does nothing (or the least that keeps the engine consistent),
// so voices are gated, enveloped and listed while the output stays silent.
//
// When a stage is built, its functions move from here to the stage's own
// file. Owner of each group:
//   effect chain              initFX, doFX, restartEffectLfos, updateFXRare,
//                             setReverbSampleRate, updateGlobalDerivedValues
//   arpeggiator               initArp, resetArpMagic, arpNoteDown, arpNoteReleased, resetArpClock,
//                             takeArpRatchet, resetArpVoice, setArpRunning,
//                             cacheArpModes, getArpUniMode, getArpNumOfSteps,
//                             getArpStepOn, getArpStepTied, updateArpClock,
//                             stepArpClock, restartArpPhrase, arpModulationOutsideArp,
//                             clearArpSoundingVoice, voiceArpTick, updateArpRare

#include "core/aplugin.h"

#include <algorithm>

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
