// The XY pad's oscilloscope picture.
//
// The editor asks for it on the main thread at every redraw of the pad.
// The output view reads the render loop's output history; the oscillator
// view draws one cycle of the oscillator as the last sounding voice (or,
// with no note, the global settings) would play it: morph position,
// symmetry, phase feedback, phase offset, fold and bit reduction, and
// noise standing in for a noise wave. Everything comes from what the audio
// thread publishes in engine.display, read without locks while it runs; a
// value caught mid-change only bends one picture. The busy flag keeps a
// second request from recomputing while a picture is being made and hands
// it the last picture instead.

#include "core/aplugin.h"
#include "core/modes.h"
#include "core/numeric.h"

#include <algorithm>
#include <cmath>

namespace {

// The output view spans the last 20480 output samples.
constexpr float kOutputSpan = 2048.0f * 10.0f;
constexpr float kTableScale = 2047.9999f;
constexpr int kTableMask = 2047;
// Feedback and phase sums (any size, NaN as the lower end) held where three
// of them still add up inside an int.
constexpr int kPhaseLimit = 1 << 29;

float sign(float x) {
    return x > 0.0f ? 1.0f : (x < 0.0f ? -1.0f : 0.0f);
}

} // namespace

void APlugin::setOscScreenValue(bool output, int n, float* values) {
    if (!values || n <= 0) return;
    n = std::min(n, static_cast<int>(oscScreen.buffer.size()));
    if (oscScreen.busy) {
        std::copy_n(oscScreen.buffer.begin(), n, values);
        return;
    }
    oscScreen.busy = true;
    std::fill_n(values, n, 0.0f);
    oscScreen.buffer.fill(0.0f);

    const DisplayState& shown = engine.display;
    if (output) {
        // The newest sample at the right.
        const int64_t writePos = shown.scopeWritePos.get();
        for (int i = 0; i < n; ++i) {
            const float f = n > 1 ? static_cast<float>(i) / static_cast<float>(n - 1) : 1.0f;
            const int64_t j = writePos - 1 - static_cast<int64_t>((1.0f - f) * kOutputSpan);
            values[i] = j < 0 ? 0.0f : shown.scope[static_cast<size_t>(j & (kScopeSize - 1))].get();
        }
        oscScreen.busy = false;
        return;
    }

    if (!shown.tableRebuildRunning.get()) {
        const EngineTables& tables = *tables_;
        const bool playing = getIsAnyVoicePlaying();
        const auto& dst = playing ? shown.voiceDst : shown.globalDst;
        const float p0 = dst[dst::OscFeed].get();
        const float p1 = dst[dst::OscPhase].get();
        const float fold = dst[dst::OscWrap].get();
        const float bits = dst[dst::OscBits].get();
        const float foldGain = fold < 0.0f ? 1.0f : std::exp2(4.0f * std::min(fold, 1.0f));
        const float levels =
            bits < 0.0f ? 65536.0f : std::exp2(16.0f - 16.0f * std::min(bits, 1.0f));

        // Morph position and symmetry row.
        const float xyMorph = getXYModAmount(playing ? 0 : -1, 2);
        float m;
        int warpRow;
        if (playing) {
            m = shown.voiceMorph.get() + dst[dst::OscMorph].get() + xyMorph;
            warpRow = shown.voiceWarpRow.get();
        } else {
            m = getCurrentValue(tag::OscMorph);
            if (!(getXYPlayMode() == xyplay::Poly && getXYRecordMode() == xyrecord::Replay))
                m += xyMorph;
            const float s = clamp01(getCurrentValue(tag::OscSymmetry));
            warpRow = static_cast<int>(s * 2047.999f);
        }
        warpRow = std::clamp(warpRow, 0, kTableMask);
        int index = static_cast<int>(clampTo(finiteOr(m, 0.0f), -64.0f, 64.0f) * 65535.9f);
        if (shown.morphWrap.get()) {
            const int w = ((index + 1310720) % 131070 + 131070) % 131070;
            index = 65535 - std::abs(65535 - w);
        }
        index = std::clamp(index, 0, 65535);
        const float amount = clamp01(m);

        const auto& lo = shown.oscTable[tables.morphFrameLo[index]];
        const auto& hi = shown.oscTable[tables.morphFrameHi[index]];
        const float weight = tables.morphWeight[index];
        const auto& warp = tables.symmetryWarp[warpRow];
        const auto& noise = tables.noiseWaveTable;
        const bool bothNoise = shown.bothWavesNoise.get();
        const bool bNoise = shown.waveBIsNoise.get();
        const bool aNoise = shown.waveAIsNoise.get();

        float y = 0.0f;
        for (int i = 0; i < n; ++i) {
            const int raw =
                truncTo(y * p0 * 0.3f * kTableScale, -kPhaseLimit, kPhaseLimit) +
                truncTo(p1 * kTableScale, -kPhaseLimit, kPhaseLimit) +
                static_cast<int>(static_cast<float>(i) / static_cast<float>(n) * kTableScale);
            const int k = warp[raw & kTableMask];
            const float low = lo[k].get();
            const float sample = low + (hi[k].get() - low) * weight;
            float x;
            if (bothNoise)
                x = noise[k];
            else if (bNoise)
                x = amount * noise[k] + (1.0f - amount) * sample;
            else if (aNoise)
                x = (1.0f - amount) * noise[k] + amount * sample;
            else
                x = sample;
            const float t = std::fabs(x) * foldGain;
            const float r = std::floor(t / 2.0f);
            x = (1.0f - std::fabs(t - 2.0f * r - 1.0f)) * sign(x);
            x = std::floor(std::fabs(x) * levels) * sign(x) / levels;
            if (!std::isfinite(x)) x = 0.0f;
            oscScreen.buffer[static_cast<size_t>(i)] = x;
            y = x;
        }
        std::copy_n(oscScreen.buffer.begin(), n, values);
    }
    oscScreen.busy = false;
}
