// The audio thread's side of engine.display: the copies of its running state
// that the editor reads (see DisplayState). Each is a relaxed store; nothing
// here locks, waits or allocates.

#include "core/aplugin.h"

// At every 16-frame tick, after the global matrix, and every 16 frames while
// the engine waits for a preset or a wave-table rebuild. Nobody sees the
// copies change within a block but the audio thread itself, which reads back
// only what a key-entry release needs (the step count's modulation and the
// muted magic steps): those follow every tick, the rest is published at the
// block's last tick, so that between blocks everything shows the state of
// that tick, as if published at every one.
void APlugin::publishDisplayAtTick() {
    const RenderState& render = engine.render;
    if (render.sampleCounter + 16 >= render.blockEnd) {
        publishDisplay();
        return;
    }
    engine.display.globalDst[dst::ArpSteps].set(engine.global.dst[dst::ArpSteps]);
    engine.display.arpMagicMuted.set(arpMagicMuted());
}

void APlugin::publishDisplay() {
    DisplayState& d = engine.display;
    const NoteState& ns = engine.notes;
    const ModRow& global = engine.global;
    const VoiceState& voice = engine.voices[limitVoice(ns.lastVoice)];

    uint32_t sounding = 0;
    for (int v = 0; v < kNumVoices; ++v)
        if (engine.voices[v].sounds()) sounding |= 1u << v;
    d.soundingVoices.set(sounding);

    for (int k = 0; k < dst::Count; ++k) {
        d.globalDst[k].set(global.dst[k]);
        d.voiceDst[k].set(voice.mod.dst[k]);
    }
    d.globalXYX.set(global.src[src::XYX]);
    d.globalXYY.set(global.src[src::XYY]);
    d.voiceXYX.set(voice.mod.src[src::XYX]);
    d.voiceXYY.set(voice.mod.src[src::XYY]);
    d.voiceMorph.set(voice.dsp.morphSmoothed);
    d.voiceWarpRow.set(voice.dsp.warpRow);
    d.voiceCutoffHz.set(
        filterLaneOf(engine.filter, voice.dsp.filter, limitVoice(ns.lastVoice), voice.uniVoices, 0)
            .cutoff());
    d.xyToMorphX.set(ns.xyToMorphX);
    d.xyToMorphY.set(ns.xyToMorphY);
    d.masterGain.set(engine.render.masterGain);
    publishArpDisplay();

    d.morphWrap.set(waves.morphWrap);
    d.waveAIsNoise.set(waves.waveAIsNoise);
    d.waveBIsNoise.set(waves.waveBIsNoise);
    d.bothWavesNoise.set(waves.bothWavesNoise);
    d.tableRebuildRunning.set(waves.rebuildRunning);
}

namespace {

// Every sample of table 0 of every frame into the picture's copy.
void copyOscTables(const std::array<WaveTable, kNumMorphFrames>& tables,
                   std::array<std::array<Relaxed<float>, kWaveSize>, kNumMorphFrames>& picture) {
    for (int f = 0; f < kNumMorphFrames; ++f)
        for (int i = 0; i < kWaveSize; ++i) picture[f][i].set(tables[f][i]);
}

} // namespace

// When a bank starts to play: its pitch table 0 of every morph frame, the
// one table the oscillator picture draws from. The picture keeps tables it
// has already (a preset of the same waves plays the same slot again).
void APlugin::publishOscTable() {
    WaveState& ws = waves;
    const int slot = ws.activeBank.load(std::memory_order_relaxed) & 1;
    const std::uint32_t changes = ws.pitchTableBank.changes(slot);
    if (slot == ws.shownBank && changes == ws.shownBankChanges) return;
    ws.shownBank = slot;
    ws.shownBankChanges = changes;
    copyOscTables(ws.pitchTableBank[slot][0], engine.display.oscTable);
}
