// The whole-table work of the oscillator's wave tables: loading the two
// waves, the 32 morph frames of every oscillator mode, and the 35 pitch
// tables of each frame. What is built, where it goes and when it plays is
// decided in wave_tables.cpp; the functions here follow their arguments and
// walk whole tables with indices from loop counters, clamped positions and
// constant tables.
//
// Calibration: a frame's spectrum is the forward FFT of its 2048-sample wave
// (or built directly); pitch table p keeps bins below pitchBinLimit[p] and is
// brought to the frame's level (peak), and tables 1..34 are levelled to the
// loudness (sum of |samples|) of table 0 of their frame. Table 0 of a frame is
// always built before its other tables, so the levelling happens as each
// table is written, while it is still in the cache.

#include "core/aplugin.h"
#include "core/modes.h"
#include "core/numeric.h"

#include "data/factory_waves.h"
#include "engine/tables.h"

#include <algorithm>
#include <cmath>
#include <emmintrin.h>

namespace {

constexpr float kTwoPi = 6.2831855f;

// Index into a wave from a float position, truncated and kept in the table.
int waveIndex(float x) {
    return truncTo(x, 0, 2047);
}

// Weights of the odd and even partials for modes 4 and 5 at frame f.
void parityWeights(int mode, int f, float& wOdd, float& wEven) {
    float ramp, full;
    if (f <= 15) {
        ramp = static_cast<float>(f) * 0.0625f;
        full = 0.0f;
    } else if (f <= 30) {
        ramp = 1.0f;
        full = static_cast<float>(f - 16) * 0.0625f;
    } else {
        ramp = full = 1.0f;
    }
    // Mode 4 moves the even partials first, mode 5 the odd ones.
    if (mode == oscmode::OddEvenMorph) {
        wEven = ramp;
        wOdd = full;
    } else {
        wOdd = ramp;
        wEven = full;
    }
}

} // namespace

// ------------------------------------------------------------------ loading a wave for the build

void APlugin::loadBuildWave(const FrameRecipe& recipe, int wave, WaveTable& samples,
                            std::array<TAdditive, 2047>& partials) {
    if (wave >= kFirstUserWave) {
        const int u = std::min(wave - kFirstUserWave, kNumUserWaves - 1);
        samples = recipe.userTables ? (*recipe.userTables)[u] : waves.userWaveTable[u];
        for (int j = 0; j < 2047; ++j) {
            if (j >= kUserWavePartials)
                partials[j] = TAdditive{0.0f, 0.5f};
            else
                partials[j] =
                    recipe.userPartials ? (*recipe.userPartials)[u][j] : getWaveTablePartials(u, j);
        }
        return;
    }
    const FactoryWaves& factory = factoryWaves();
    const int w = std::clamp(wave, 0, FactoryWaves::kWaveCount - 1);
    samples = factory.oscWave[w];
    for (int j = 0; j < 2047; ++j)
        partials[j] = {factory.partialsAmp[w][j + 1] * (1.0f / 1024.0f),
                       factory.partialsPhase[w][j + 1]};
}

// Partial synthesis of the 127 partials in fs.buildPartials into the frame.
void APlugin::frameFromPartials(FrameSet& fs, WaveWorkspace& work, int f) {
    for (int j = 0; j < 127; ++j) work.tempPartials[j] = fs.buildPartials[j];
    synthesizePartials(work, 127);
    frameFromWave(fs, work.fft, f, work.tempWaveTable);
}

// The frame's spectrum is the forward transform of a wave.
void APlugin::frameFromWave(FrameSet& fs, Fft2048& fft, int f, const WaveTable& x) {
    std::copy(x.begin(), x.end(), fft.fftInRe);
    std::fill(std::begin(fft.fftInIm), std::end(fft.fftInIm), 0.0f);
    fft.fft(kWaveSize);
    std::copy(std::begin(fft.fftOutRe), std::end(fft.fftOutRe), fs.frameSpectrumRe[f].begin());
    std::copy(std::begin(fft.fftOutIm), std::end(fft.fftOutIm), fs.frameSpectrumIm[f].begin());
}

// The 32 frames of a recipe into fs. With both waves noise nothing is built:
// the frames keep what they hold.
NoiseFlags APlugin::buildFrames(const FrameRecipe& recipe, FrameSet& fs, WaveWorkspace& work) {
    const int a = recipe.waveA;
    const int b = recipe.waveB;
    const NoiseFlags noise = noiseFlagsOf(a, b);
    if (noise.both) return noise;

    loadBuildWave(recipe, a, fs.buildA, fs.buildPartialsA);
    loadBuildWave(recipe, b, fs.buildB, fs.buildPartialsB);
    const bool userInvolved = a >= kFirstUserWave || b >= kFirstUserWave;
    auto weightA = [](int f) { return static_cast<float>(f) / -31.0f + 1.0f; };

    if (noise.a || noise.b) {
        const WaveTable& other = noise.a ? fs.buildB : fs.buildA;
        for (int f = 0; f < kNumMorphFrames; ++f) {
            frameFromWave(fs, work.fft, f, other);
            float level = 1.0f;
            if (userInvolved) {
                const float w = noise.a ? 1.0f - weightA(f) : weightA(f);
                level = 0.0f;
                for (float s : other) level = std::max(level, std::fabs(s * w));
            }
            fs.frameLevel[f] = level;
        }
        fs.frameLevel[noise.a ? 0 : kNumMorphFrames - 1] = 1.0f;
        finishFrames(fs);
        return noise;
    }

    for (int f = 0; f < kNumMorphFrames; ++f) {
        float level = 1.0f;
        if (userInvolved) {
            const float wA = weightA(f);
            level = 0.0f;
            for (int i = 0; i < kWaveSize; ++i)
                level = std::max(level, std::fabs(fs.buildA[i] * wA + fs.buildB[i] * (1.0f - wA)));
        }
        fs.frameLevel[f] = level;
    }

    int mode = std::clamp(recipe.mode, 0, oscmode::Count - 1);
    if (mode == oscmode::Range && userInvolved) mode = oscmode::Morph;
    for (int f = 0; f < kNumMorphFrames; ++f) buildFrame(recipe, fs, work, mode, f, userInvolved);
    finishFrames(fs);
    return noise;
}

void APlugin::buildFrame(const FrameRecipe& recipe, FrameSet& fs, WaveWorkspace& work, int mode,
                         int f, bool userInvolved) {
    const float t = static_cast<float>(f) / 31.0f;
    const float wA = static_cast<float>(f) / -31.0f + 1.0f;
    const float wB = 1.0f - wA;
    const WaveTable& A = fs.buildA;
    const WaveTable& B = fs.buildB;
    WaveTable& x = fs.buildX;
    float* level = &fs.frameLevel[f];
    auto peakLevel = [&] {
        float peak = 0.0f;
        for (float v : x) peak = std::max(peak, std::fabs(v));
        *level = peak;
    };

    switch (mode) {
    case oscmode::Mix:
        for (int i = 0; i < kWaveSize; ++i) x[i] = A[i] * wA + B[i] * wB;
        break;
    case oscmode::Morph:
        if (userInvolved) {
            for (int j = 0; j < 127; ++j)
                fs.buildPartials[j] = {
                    fs.buildPartialsA[j].amplitude * wA + fs.buildPartialsB[j].amplitude * wB,
                    fs.buildPartialsA[j].phase * wA + fs.buildPartialsB[j].phase * wB};
            frameFromPartials(fs, work, f);
            return;
        } else {
            const FactoryWaves& factory = factoryWaves();
            const int a = std::clamp(recipe.waveA, 0, FactoryWaves::kWaveCount - 1);
            const int b = std::clamp(recipe.waveB, 0, FactoryWaves::kWaveCount - 1);
            Fft2048& fft = work.fft;
            for (int k = 0; k < kWaveSize; ++k) {
                const float amp = factory.partialsAmp[a][k] * wA + factory.partialsAmp[b][k] * wB;
                const float p = factory.partialsPhase[a][k] * wA + factory.partialsPhase[b][k] * wB;
                const double angle = static_cast<double>((p - 0.5f) * kTwoPi);
                fs.frameSpectrumRe[f][k] = static_cast<float>(amp * std::cos(angle));
                fs.frameSpectrumIm[f][k] = static_cast<float>(amp * std::sin(angle));
            }
            std::copy(fs.frameSpectrumRe[f].begin(), fs.frameSpectrumRe[f].end(), fft.fftInRe);
            std::copy(fs.frameSpectrumIm[f].begin(), fs.frameSpectrumIm[f].end(), fft.fftInIm);
            fft.ifft(kWaveSize);
            float peak = 0.0f;
            for (float v : fft.fftOutRe) peak = std::max(peak, std::fabs(v));
            *level = peak > 0.0001f ? 1.0f / peak : 1.0f;
            return;
        }
    case oscmode::LowPartialMorph:
    case oscmode::HighPartialMorph: {
        const float k = mode == oscmode::LowPartialMorph
                            ? t * t * t * 128.0f
                            : (1.0f - t) * (1.0f - t) * (1.0f - t) * 128.0f;
        const int K = static_cast<int>(k);
        for (int j = 0; j < 127; ++j) {
            const bool fromB = mode == oscmode::LowPartialMorph ? j + 1 < K : j + 1 > K;
            fs.buildPartials[j] = fromB ? fs.buildPartialsB[j] : fs.buildPartialsA[j];
        }
        frameFromPartials(fs, work, f);
        return;
    }
    case oscmode::OddEvenMorph:
    case oscmode::EvenOddMorph: {
        float wOdd, wEven;
        parityWeights(mode, f, wOdd, wEven);
        for (int j = 0; j < 127; ++j) {
            const float w = (j + 1) % 2 == 1 ? wOdd : wEven;
            fs.buildPartials[j] = {
                fs.buildPartialsA[j].amplitude * (1.0f - w) + fs.buildPartialsB[j].amplitude * w,
                fs.buildPartialsA[j].phase * (1.0f - w) + fs.buildPartialsB[j].phase * w};
        }
        frameFromPartials(fs, work, f);
        return;
    }
    case oscmode::TableInterpolate: {
        const auto& weights = engineTables().tableInterpolateWeight[f];
        for (int i = 0; i < kWaveSize; ++i) x[i] = A[i] * (1.0f - weights[i]) + B[i] * weights[i];
        break;
    }
    case oscmode::TableSplit: {
        const int s = static_cast<int>(t * 2048.0f);
        for (int i = 0; i < kWaveSize; ++i) x[i] = i < s ? B[i] : A[i];
        break;
    }
    case oscmode::TableCombine: {
        const int s = std::clamp(static_cast<int>(t * 2048.0f), 0, kWaveSize);
        const int n = kWaveSize - s;
        for (int i = 0; i < n; ++i)
            x[i] = A[waveIndex(static_cast<float>(i) / static_cast<float>(n) * 2047.9999f)];
        for (int i = n; i < kWaveSize && s >= 1; ++i)
            x[i] = B[waveIndex(static_cast<float>(i - n) / static_cast<float>(s) * 2047.9999f)];
        break;
    }
    case oscmode::FM: {
        const double depth = 3.0 * f / 31.0;
        float q = 0.0f;
        for (int i = 0; i < kWaveSize; ++i) {
            // B is within -1..1, so q stays below 2048 * 8: the cast is safe.
            q += static_cast<float>(std::exp2(static_cast<double>(B[i]) * depth));
            x[i] = A[static_cast<int>(q) & 2047];
        }
        peakLevel();
        break;
    }
    case oscmode::PM:
        for (int i = 0; i < kWaveSize; ++i) {
            const float offset = std::clamp(B[i] * 2048.0f * t, -4096.0f, 4096.0f);
            x[i] = A[(static_cast<int>(offset) + i) & 2047];
        }
        peakLevel();
        break;
    case oscmode::AM:
        for (int i = 0; i < kWaveSize; ++i) x[i] = (std::fabs(B[i]) * t + (1.0f - t)) * A[i];
        peakLevel();
        break;
    case oscmode::RingMod:
        for (int i = 0; i < kWaveSize; ++i) x[i] = A[i] * B[i] * wB + A[i] * wA;
        peakLevel();
        break;
    case oscmode::WaveShaper:
        for (int i = 0; i < kWaveSize; ++i)
            x[i] = B[waveIndex(A[i] * 1021.0f + 1024.0f)] * wB + A[i] * wA;
        peakLevel();
        break;
    case oscmode::Range: {
        const FactoryWaves& factory = factoryWaves();
        const float q =
            static_cast<float>(recipe.waveA) + t * static_cast<float>(recipe.waveB - recipe.waveA);
        const int n = static_cast<int>(std::trunc(q));
        const float r = q - std::trunc(q);
        int i0 = std::clamp(std::min(n, 182), 0, 182);
        int i1 = n >= 182 ? 182 : std::clamp(n + 1, 0, 182);
        if (isNoiseWave(i0)) i0 = 13;
        if (isNoiseWave(i1)) i1 = 16;
        for (int i = 0; i < kWaveSize; ++i)
            x[i] = factory.oscWave[i0][i] + (factory.oscWave[i1][i] - factory.oscWave[i0][i]) * r;
        break;
    }
    default:
        break;
    }
    frameFromWave(fs, work.fft, f, x);
}

namespace {

// Every real part of every frame's spectrum below 1e-5 in size to 0.
void zeroTinyRealParts(FrameSet& fs) {
    for (int f = 0; f < kNumMorphFrames; ++f)
        for (float& re : fs.frameSpectrumRe[f])
            if (std::fabs(re) < 1e-5f) re = 0.0f;
}

// The pitch tables' loops over the transform's four lanes, each the same for
// every value and kept out of line: the fuzz build leaves them uninstrumented
// (fuzz/sanitize_ignore.txt, fuzz/coverage_ignore.txt), and what the builds
// decide stays with the callers.

// Each lane's largest |sample| of the transform's output.
[[gnu::noinline]] __m128 lanePeaks(const float (*out)[4]) {
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    __m128 peak = _mm_setzero_ps();
    for (int i = 0; i < kWaveSize; ++i)
        peak = _mm_max_ps(_mm_and_ps(_mm_load_ps(out[i]), magnitude), peak); // NaN keeps peak
    return peak;
}

// The output times each lane's gain, in place; returns each lane's sum of
// |samples| after it.
[[gnu::noinline]] __m128 scaleLanes(float (*out)[4], __m128 gain) {
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    __m128 sum = _mm_setzero_ps();
    for (int i = 0; i < kWaveSize; ++i) {
        const __m128 v = _mm_mul_ps(_mm_load_ps(out[i]), gain);
        _mm_store_ps(out[i], v);
        sum = _mm_add_ps(sum, _mm_and_ps(v, magnitude));
    }
    return sum;
}

// The four lanes into tables group..group + 3, as they are for the first
// pitch table, else times each lane's level.
[[gnu::noinline]] void storeLanes(const float (*out)[4],
                                  std::array<WaveTable, kNumMorphFrames>& tables, int group,
                                  bool firstTable, __m128 level) {
    float* t0 = tables[group].data();
    float* t1 = tables[group + 1].data();
    float* t2 = tables[group + 2].data();
    float* t3 = tables[group + 3].data();
    alignas(16) float v[4];
    for (int i = 0; i < kWaveSize; ++i) {
        const __m128 x = _mm_load_ps(out[i]);
        _mm_store_ps(v, firstTable ? x : _mm_mul_ps(x, level));
        t0[i] = v[0], t1[i] = v[1], t2[i] = v[2], t3[i] = v[3];
    }
}

} // namespace

// Common end of every build: tiny real parts to 0, levels floored.
void APlugin::finishFrames(FrameSet& fs) {
    zeroTinyRealParts(fs);
    for (int f = 0; f < kNumMorphFrames; ++f)
        if (fs.frameLevel[f] < 1e-5f) fs.frameLevel[f] = 0.0001f;
}

// ------------------------------------------------------------------ pitch tables

// Pitch tables first..last - 1 of every frame of fs into the bank.
void APlugin::writePitchTables(FrameSet& fs, Fft2048& fft, PitchTableBank& bank, int first,
                               int last) {
    for (int p = first; p < last; ++p) {
        const int limit = pitchBinLimit[p];
        for (int group = 0; group < kNumMorphFrames; group += 4) {
            // The transform reads the bins below the limit only.
            for (int k = 0; k < limit; ++k)
                for (int lane = 0; lane < 4; ++lane) {
                    fft.fft4InRe[k][lane] = fs.frameSpectrumRe[group + lane][k];
                    fft.fft4InIm[k][lane] = fs.frameSpectrumIm[group + lane][k];
                }
            fft.m_ifftLowBins(limit);
            writeFourTables(fs, fft, bank[p], group, p == 0);
        }
    }
}

// The four frames' tables of one pitch table from the transform's lanes,
// all four lanes at once: brought to the frame's level (peak), and either
// giving table 0's loudness (sum of |samples|) or taking it, while the
// samples are still in the cache. Each lane's maximum, products and sum are
// taken in the same order as one table at a time would take them.
void APlugin::writeFourTables(FrameSet& fs, Fft2048& fft,
                              std::array<WaveTable, kNumMorphFrames>& tables, int group,
                              bool firstTable) {
    float(*out)[4] = fft.fft4OutRe;
    alignas(16) float peaks[4], gains[4], sums[4], levels[4];
    _mm_store_ps(peaks, lanePeaks(out));
    for (int lane = 0; lane < 4; ++lane)
        gains[lane] =
            fs.frameLevel[group + lane] * (peaks[lane] >= 0.0001f ? 1.0f / peaks[lane] : 1.0f);
    _mm_store_ps(sums, scaleLanes(out, _mm_load_ps(gains)));
    for (int lane = 0; lane < 4; ++lane) {
        float& loudness = fs.tableLoudness[group + lane];
        if (firstTable) loudness = sums[lane] < 0.001f ? 1.0f : sums[lane];
        levels[lane] = firstTable ? 1.0f : loudness / std::max(sums[lane], 1e-5f);
    }
    storeLanes(out, tables, group, firstTable, _mm_load_ps(levels));
}
