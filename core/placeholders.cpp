// Stand-ins for APlugin members whose real bodies belong to stages that are
// not built yet. Each does the least that keeps construction in its order,
// the value copies consistent and the output silent. When a stage lands, its
// members move out of this file into the stage's own folder.
//
//   initEffectChain        effect chain start values, resetArpMagic   (effect chain, arpeggiator)

#include "core/aplugin.h"

#include <cmath>
#include <cstring>

void APlugin::initEffectChain() {
    initFX(); // the four delay lines at the stored rate, the reverb silent
    resetArpMagic(false);
    initXY(2, -1);
}
