// Stand-ins for APlugin members whose real bodies belong to stages that are
// not built yet. Each does the least that keeps construction in its order,
// the value copies consistent and the output silent. When a stage lands, its
// members move out of this file into the stage's own folder.
//
//   setSampleRate          rate-dependent state         (render loop and sample rate)
//   processReplacing       render loop                  (render loop and sample rate)
//   processEvents          MIDI event queue             (MIDI handling)
//   setEverythingOff       voices, arpeggiator, stacks  (notes and voice allocation)
//   restEngineState        per-voice and global engine state at rest (notes, envelopes, ...)
//   initEffectChain        effect chain start values, initFX, resetArpMagic, initXY
//   scanWavePreset, loadWavePreset   user-wave presets and factory wave 0 (wave tables)
//   fillSampleConvertTables  sample conversion tables   (sample files)
//   setProgram, getProgramName, setProgramName, getProgramNameIndexed,
//   loadFirstPreset        programs and the preset list (programs and preset application)

#include "core/aplugin.h"

#include <cmath>
#include <cstring>

void APlugin::setSampleRate(float rate) {
    AudioEffectX::setSampleRate(rate);
    if (!(rate > 0.0f) || std::fabs(rate - engine.sampleRate) <= 0.1f) return;
    engine.sampleRate = rate;
    setEverythingOff(true);
}

void APlugin::processReplacing(float** /*inputs*/, float** outputs, VstInt32 frames) {
    if (!outputs || frames <= 0) return;
    for (int ch = 0; ch < 2; ++ch)
        if (outputs[ch]) std::memset(outputs[ch], 0, sizeof(float) * static_cast<size_t>(frames));
}

VstInt32 APlugin::processEvents(VstEvents* /*events*/) {
    return 1;
}

void APlugin::setEverythingOff(bool /*resetArp*/) {}

void APlugin::fillSampleConvertTables() {}

// The preset list holds one entry for now, whose values are the defaults.
void APlugin::loadFirstPreset() {
    core.presetIndex = 0;
    for (int t = 0; t < tag::Count; ++t) {
        const float v = params.defaultValue[t];
        storeRelaxed(core.values.editValue[t], v);
        storeRelaxed(core.values.currentValue[t], v);
        storeRelaxed(storedProgram().values[t], v);
    }
}

void APlugin::setProgram(VstInt32 program) {
    if (program != 0 || core.editorOpening) return;
    curProgram = 0;
    for (int t = 0; t < tag::Count; ++t) {
        const float v = loadRelaxed(storedProgram().values[t]);
        storeRelaxed(core.values.origValue[t], v);
        storeRelaxed(core.values.editValue[t], v);
        storeRelaxed(core.values.currentValue[t], v);
    }
}

void APlugin::setProgramName(char* /*name*/) {}

void APlugin::getProgramName(char* name) {
    if (name) std::strcpy(name, "Init");
}

bool APlugin::getProgramNameIndexed(VstInt32 /*category*/, VstInt32 index, char* name) {
    if (index != 0 || !name) return false;
    getProgramName(name);
    return true;
}

void APlugin::restEngineState() {}

void APlugin::initEffectChain() {
    engine.chorusDelay.init(engine.sampleRate);
    engine.flangerDelay.init(engine.sampleRate);
    engine.effectDelay.init(engine.sampleRate);
    engine.reverbPreDelay.init(engine.sampleRate);
}

void APlugin::scanWavePreset() {}

void APlugin::loadWavePreset(int /*wave*/, int /*preset*/) {}
