// The voice filter stage.

#include "core/aplugin.h"

#include <algorithm>
#include <cmath>

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

// The XY-to-morph amounts; the filter's key and controller terms come with
// the filter.
void APlugin::voiceControlTerms(int /*voice*/) {
    const auto& g = engine.global.dst;
    engine.notes.xyToMorphX =
        std::clamp(2.0f * getCurrentValue(tag::XYXToMorph) - 1.0f + g[147], -1.0f, 1.0f);
    engine.notes.xyToMorphY =
        std::clamp(2.0f * getCurrentValue(tag::XYYToMorph) - 1.0f + g[148], -1.0f, 1.0f);
}
