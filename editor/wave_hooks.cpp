// The user-wave section's undo snapshot and its return to the loaded preset.
//
// The section is the 278 tags 715..992: the packed partials of both user
// waves, then their has-name switches and names. The wave screen takes the
// snapshot at each click, the wave page's buttons before their commands and
// the user-wave menu whenever it closes with anything but "Undo".

#include "core/aplugin.h"
#include "editor/ueditor.h"

namespace {

constexpr int kFirstWaveTag = tag::PartialFirst;
constexpr int kLastWaveTag = tag::WaveNameLast;

void rebuildBothWaves(APlugin& p) {
    p.convertWaveTablePartialsToWaveTable(0);
    p.convertWaveTablePartialsToWaveTable(1);
}

} // namespace

void uEditor::setWaveUndo() {
    APlugin* p = plugin();
    if (!p) return;
    for (int t = kFirstWaveTag; t <= kLastWaveTag; ++t)
        stores.waveUndo.value[static_cast<size_t>(t - kFirstWaveTag)] = p->getParameter(t);
    stores.waveUndo.valid = true;
}

void uEditor::doWaveUndo() {
    APlugin* p = plugin();
    if (!p || !stores.waveUndo.valid) return;
    for (int t = kFirstWaveTag; t <= kLastWaveTag; ++t)
        p->setParameter(t, stores.waveUndo.value[static_cast<size_t>(t - kFirstWaveTag)]);
    rebuildBothWaves(*p);
}

void uEditor::setWaveToOrig() {
    APlugin* p = plugin();
    if (!p) return;
    for (int t = kFirstWaveTag; t <= kLastWaveTag; ++t) p->setToOrig(t);
    rebuildBothWaves(*p);
}
