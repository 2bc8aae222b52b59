// The modulation matrix.

#include "core/aplugin.h"

#include <algorithm>
#include <cmath>

// ------------------------------------------------------------------ modulation matrix
// Until slots are routed, every destination sum stays at its neutral value.
void APlugin::applyGlobalMatrix() {
    engine.global.dst = engine.destBase;
}
void APlugin::applyVoiceMatrixFirstHalf(int /*voice*/) {}
void APlugin::updateModSlotCache() {}
void APlugin::updateUsageFlags() {}
