// Distortion, DC blocker, amplitude and the voice mix: every lane's two
// sub-samples (at twice the sample rate, after the filter) are shaped, freed of
// DC, brought to the voice's envelope, velocity, volume and pan, spread by the
// unison copy's pan, and summed into the four-value voice bus (left and right
// of sub-sample 0, then of sub-sample 1).

#include "core/aplugin.h"
#include "core/numeric.h"

#include <algorithm>
#include <cmath>

namespace {

// Every listed voice into the bus; `Shaped` compiles the distortion in, so
// with the mode "Off" no per-voice shaper constants are even set up.
template <bool Shaped>
void mixVoices(EngineState& engine, float panTag, int mode, std::array<float, 4>& bus) {
    const RenderState& render = engine.render;
    const float dcCoef = engine.rate.dcCoef;
    // Mode "Square" carries a sign from lane to lane within the frame.
    SquareCarry carry;

    for (int n = 0; n < render.activeVoiceCount; ++n) {
        VoiceState& voice = engine.voices[render.activeVoices[n]];
        VoiceDspState& dsp = voice.dsp;
        const auto& dst = voice.mod.dst;

        if (dsp.panSmoothed != panTag)
            dsp.panSmoothed = (dsp.panSmoothed - panTag) * 0.99f + panTag;
        DistortionParams shape;
        if constexpr (Shaped) shape = Distortion::prepare(mode, dsp.distortDrive);
        const float pan = dsp.panSmoothed + dst[dst::MainPan];
        const float gain =
            voice.mod.src[src::EnvFirst] * voice.velocityGain * std::fabs(dst[dst::MainVolume]);
        const float left = clampTo(2.0f - 2.0f * pan, 0.0f, 1.0f) * gain * voice.uniDivide;
        const float right = clampTo(2.0f * pan, 0.0f, 1.0f) * gain * voice.uniDivide;

        const int copies = std::clamp(voice.uniVoices, 1, kUnisonCopies);
        for (int k = 0; k < copies; ++k) {
            LaneState& lane = dsp.lanes[k];
            float y[2] = {lane.out[0], lane.out[1]};
            // "Off" leaves the samples as they are (a non-finite sample is
            // caught by the DC blocker and the output limit).
            if constexpr (Shaped)
                Distortion::processLane(shape, lane.distortion, carry, y[0], y[1]);
            y[0] = lane.dc.process(y[0], dcCoef);
            y[1] = lane.dc.process(y[1], dcCoef);
            const float gL = lane.copyPanL * left;
            const float gR = lane.copyPanR * right;
            bus[0] += gL * y[0];
            bus[1] += gR * y[0];
            bus[2] += gL * y[1];
            bus[3] += gR * y[1];
            if (k == 0)
                voice.mod.src[src::VoiceOut] =
                    (gL * y[0] + gR * y[0] + gL * y[1] + gR * y[1]) * 0.25f;
        }
    }
}

} // namespace

void APlugin::voiceMixStage() {
    const float panTag = getCurrentValue(tag::MainPan);
    const int mode = engine.notes.distortMode;
    if (mode != Distortion::kOff)
        mixVoices<true>(engine, panTag, mode, engine.render.voiceBus);
    else
        mixVoices<false>(engine, panTag, mode, engine.render.voiceBus);
}
