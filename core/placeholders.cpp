// Stand-ins for APlugin members whose real bodies belong to stages that are
// not built yet. Each does the least that keeps construction in its order,
// the value copies consistent and the output silent. When a stage lands, its
// members move out of this file into the stage's own folder.
//
//   initEffectChain        effect chain start values, resetArpMagic   (effect chain, arpeggiator)
//   scanWavePreset         the user-wave preset folder scan (user-wave files)
//   fillSampleConvertTables  sample conversion tables   (sample files)
//   setProgram, getProgramName, setProgramName, getProgramNameIndexed,
//   loadFirstPreset        programs and the preset list (programs and preset application)

#include "core/aplugin.h"

#include <cmath>
#include <cstring>

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

void APlugin::initEffectChain() {
    const float rate = engine.rate.sampleRate;
    engine.chorusDelay.init(rate);
    engine.flangerDelay.init(rate);
    engine.effectDelay.init(rate);
    engine.reverbPreDelay.init(rate);
    initFX();
    resetArpMagic(false);
    initXY(2, -1);
}

void APlugin::scanWavePreset() {}
