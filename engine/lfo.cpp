// Free LFOs, the SMod LFO and the effect-LFO rates.

#include "core/aplugin.h"

#include <algorithm>
#include <cmath>

// ------------------------------------------------------------------ free LFOs
void APlugin::initLFO(int /*mode*/, int /*lfo*/, int /*voice*/) {}
void APlugin::stepGlobalLfos() {}
void APlugin::advanceSModLfo() {}
void APlugin::resetSModLfoPhase() {}
void APlugin::stepVoiceLfosAndNoise() {}
void APlugin::updateLfoRare() {}
void APlugin::voiceLfoAndXYTick(int /*voice*/) {}
