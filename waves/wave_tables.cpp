// The oscillator's wave tables: 32 morph frames between waves A and B in 15
// oscillator modes, 35 band-limited pitch tables per frame, and the staged
// rebuild that the render loop runs on the audio thread.
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
#include <cstring>
#include <emmintrin.h>

namespace {

constexpr float kTwoPi = 6.2831855f;
constexpr int kNoiseWhite = FactoryWaves::kWhiteNoiseWave;
constexpr int kNoisePink = FactoryWaves::kPinkNoiseWave;

bool isNoiseWave(int wave) {
    return wave == kNoiseWhite || wave == kNoisePink;
}

// Which of waves a and b the oscillator plays as noise.
NoiseFlags noiseFlagsOf(int a, int b) {
    const bool na = isNoiseWave(a), nb = isNoiseWave(b);
    return {na, nb, na && nb};
}

// Index into a wave from a float position, truncated and kept in the table.
int waveIndex(float x) {
    return truncTo(x, 0, 2047);
}

// Describes a build of waves a and b in mode into source; the user waves
// among them are read through table(u) and partial(u, j).
template <class Table, class Partial>
void describeSource(BankSource& source, int a, int b, int mode, Table table, Partial partial) {
    source.known = !(isNoiseWave(a) && isNoiseWave(b));
    source.waveA = a;
    source.waveB = b;
    source.mode = mode;
    source.usesUserWave.fill(false);
    for (int wave : {a, b}) {
        if (wave < kFirstUserWave) continue;
        const int u = std::min(wave - kFirstUserWave, kNumUserWaves - 1);
        if (source.usesUserWave[u]) continue;
        source.usesUserWave[u] = true;
        source.userTables[u] = table(u);
        for (int j = 0; j < kUserWavePartials; ++j) source.userPartials[u][j] = partial(u, j);
    }
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

bool BankSource::sameAs(const BankSource& other) const {
    if (!known || !other.known || waveA != other.waveA || waveB != other.waveB ||
        mode != other.mode || usesUserWave != other.usesUserWave)
        return false;
    for (int u = 0; u < kNumUserWaves; ++u)
        if (usesUserWave[u] && (std::memcmp(userTables[u].data(), other.userTables[u].data(),
                                            sizeof(userTables[u])) != 0 ||
                                std::memcmp(userPartials[u].data(), other.userPartials[u].data(),
                                            sizeof(userPartials[u])) != 0))
            return false;
    return true;
}

int APlugin::getOscWave(int t) const {
    return t == tag::OscWaveA || t == tag::OscWaveB ? getSteppedValue(t) : 0;
}

int APlugin::getOscMode() const {
    return getSteppedValue(tag::OscMode);
}

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

// ------------------------------------------------------------------ the frame build

void APlugin::setOscWaveTables() {
    WaveState& ws = waves;
    const FrameRecipe recipe{ws.cachedWaveA, ws.cachedWaveB, getOscMode()};
    const NoiseFlags noise = buildFrames(recipe, ws, ws.audioWork);
    ws.setNoise(noise);
    if (noise.both) ws.rebuildRunning = false;
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

// Common end of every build: tiny real parts to 0, levels floored.
void APlugin::finishFrames(FrameSet& fs) {
    for (int f = 0; f < kNumMorphFrames; ++f) {
        for (float& re : fs.frameSpectrumRe[f])
            if (std::fabs(re) < 1e-5f) re = 0.0f;
        if (fs.frameLevel[f] < 1e-5f) fs.frameLevel[f] = 0.0001f;
    }
}

// ------------------------------------------------------------------ pitch tables

void APlugin::setOscWavePitchTables(int first, int last) {
    WaveState& ws = waves;
    ws.pitchTablesBusy = true;
    first = std::clamp(first, 0, kNumPitchTables);
    last = std::clamp(last, 0, kNumPitchTables);
    if (first >= last) {
        ws.pitchTablesBusy = false;
        return;
    }
    // A bank shared with the instances that play the same recipe is built
    // already.
    if (PitchTableBank* target =
            ws.pitchTableBank.writable(1 - ws.activeBank.load(std::memory_order_relaxed)))
        writePitchTables(ws, ws.audioWork.fft, *target, first, last);
    ws.pitchTablesBusy = false;
}

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
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    float(*out)[4] = fft.fft4OutRe;
    __m128 peak = _mm_setzero_ps();
    for (int i = 0; i < kWaveSize; ++i)
        peak = _mm_max_ps(_mm_and_ps(_mm_load_ps(out[i]), magnitude), peak); // NaN keeps peak
    alignas(16) float peaks[4], gains[4], sums[4], levels[4];
    _mm_store_ps(peaks, peak);
    for (int lane = 0; lane < 4; ++lane)
        gains[lane] =
            fs.frameLevel[group + lane] * (peaks[lane] >= 0.0001f ? 1.0f / peaks[lane] : 1.0f);
    const __m128 gain = _mm_load_ps(gains);
    __m128 sum = _mm_setzero_ps();
    for (int i = 0; i < kWaveSize; ++i) {
        const __m128 v = _mm_mul_ps(_mm_load_ps(out[i]), gain);
        _mm_store_ps(out[i], v);
        sum = _mm_add_ps(sum, _mm_and_ps(v, magnitude));
    }
    _mm_store_ps(sums, sum);
    for (int lane = 0; lane < 4; ++lane) {
        float& loudness = fs.tableLoudness[group + lane];
        if (firstTable) loudness = sums[lane] < 0.001f ? 1.0f : sums[lane];
        levels[lane] = firstTable ? 1.0f : loudness / std::max(sums[lane], 1e-5f);
    }
    const __m128 level = _mm_load_ps(levels);
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

// The oscillator plays the bank in slot from now on, and the editor's
// picture takes its tables.
void APlugin::playBank(int slot) {
    waves.activeBank.store(slot, std::memory_order_release);
    publishOscTable();
}

// The tables were levelled as they were built; the finished bank becomes
// the one the oscillator plays, and the editor's picture takes its tables.
void APlugin::normalizePitchTables() {
    WaveState& ws = waves;
    ws.pitchTablesBusy = true;
    ws.pitchTablesBusy = false;
    const int built = 1 - ws.activeBank.load(std::memory_order_relaxed);
    BankSource& source = ws.bankSource[built];
    source.known = !noiseFlagsOf(source.waveA, source.waveB).both;
    ws.pitchTableBank.finish(built);
    playBank(built);
    ws.rebuildRunning = false;
    core.screenUpdatePending.set();
}

// ------------------------------------------------------------------ the staged rebuild

// Every 512 frames: the next pitch-table stage. A new request aborts a
// staged build; it restarts from the frames at the next 4096-frame tick. So
// does a preset's build off the audio thread, which took the slot. While
// that build runs the stage waits.
void APlugin::runTableRebuildStage() {
    WaveState& ws = waves;
    if (ws.rebuildStage == -1) return;
    if (ws.rebuildRequested.load(std::memory_order_acquire)) {
        ws.rebuildStage = -1;
        ws.rebuildRunning = false;
        return;
    }
    if (ws.pitchTablesBusy) return;
    std::unique_lock lock(ws.tableBuildMutex, std::try_to_lock);
    if (!lock.owns_lock()) return;
    if (ws.slotBuilds.load(std::memory_order_relaxed) != ws.stagedSlotBuilds) {
        ws.rebuildStage = -1;
        ws.rebuildRunning = false;
        return;
    }
    const int s = ws.rebuildStage;
    if (s < 7)
        setOscWavePitchTables(5 * s, 5 * s + 5);
    else
        normalizePitchTables();
    ws.rebuildStage = s + 1 >= 8 ? -1 : s + 1;
}

// Every 4096 frames: a requested rebuild builds the frames. When a
// main-thread conversion holds the user waves, or a preset's tables are
// being built off the audio thread, the build waits a tick. Tables built for
// a preset that is still to be applied are kept for it (its application
// asks for a rebuild when it cannot take them).
void APlugin::startTableRebuild() {
    WaveState& ws = waves;
    if (!ws.rebuildRequested.load(std::memory_order_acquire) || ws.rebuildRunning) return;
    std::unique_lock buildLock(ws.tableBuildMutex, std::try_to_lock);
    if (!buildLock.owns_lock()) return;
    if (ws.prepared.ready.load(std::memory_order_acquire)) {
        if (core.presetPending) return;
        ws.prepared.ready.store(false, std::memory_order_relaxed);
    }
    std::unique_lock lock(ws.userWaveMutex, std::try_to_lock);
    if (!lock.owns_lock()) return;
    for (int w = 0; w < kNumUserWaves; ++w)
        if (ws.convertPending[w].exchange(false, std::memory_order_relaxed))
            buildUserWave(w, ws.audioWork);
    fillUserWaveLfoRows();
    // A build from what one of the two banks was built from would make that
    // bank again (a state restored again, a preset of the same waves): the
    // playing one stays, the other one is played.
    const int active = ws.activeBank.load(std::memory_order_relaxed);
    BankSource& request = ws.requestedSource;
    describeSource(
        request, ws.cachedWaveA, ws.cachedWaveB, getOscMode(),
        [&](int u) -> const WaveTable& { return ws.userWaveTable[u]; },
        [&](int u, int j) { return getWaveTablePartials(u, j); });
    if (const int built = ws.slotBuiltFrom(request); built >= 0) {
        ws.rebuildRequested.store(false, std::memory_order_relaxed);
        if (built != active) {
            ws.setNoise(noiseFlagsOf(request.waveA, request.waveB));
            playBank(built);
            core.screenUpdatePending.set();
        }
        return;
    }
    // The bank to fill: when other instances are changing theirs just now
    // and none is free, the build waits a tick as well.
    if (!ws.pitchTableBank.prepare(1 - active, pitchTableRecipe())) return;
    ws.rebuildRequested.store(false, std::memory_order_relaxed);
    ws.bankSource[1 - active] = request;
    ws.bankSource[1 - active].known = false; // until the build is finished
    ws.stagedSlotBuilds = ws.slotBuilds.load(std::memory_order_relaxed);
    ws.rebuildRunning = true;
    ws.rebuildStage = -1;
    setOscWaveTables();
    ws.rebuildStage = 0;
    ws.pitchTablesBusy = false;
}

// The recipe of the bank the next build makes, as setOscWaveTables builds
// it: factory waves A and B in the mode. A build that involves a user wave,
// or that keeps the frames of the last one (both waves noise), is this
// instance's own.
std::uint32_t APlugin::pitchTableRecipe() const {
    return bankRecipe(waves.cachedWaveA, waves.cachedWaveB, getOscMode());
}

std::uint32_t APlugin::bankRecipe(int a, int b, int mode) {
    if (a >= kFirstUserWave || b >= kFirstUserWave || (isNoiseWave(a) && isNoiseWave(b)))
        return PitchBankSlots::kUnshared;
    return PitchBankSlots::recipe(a, b, std::clamp(mode, 0, 14));
}

// ------------------------------------------------------------------ a preset's tables off the
// audio thread

namespace {

// The values the preset application loads that the tables follow: waves A
// and B, the mode and the user waves' partials.
int preparedTag(int i) {
    if (i == 0) return tag::OscWaveA;
    if (i == 1) return tag::OscWaveB;
    if (i == 2) return tag::OscMode;
    return tag::partial(0, 0) + (i - 3);
}

} // namespace

// Main thread (or whichever thread chose or restored the preset): the
// tables of the program record as the application will load it, built whole
// into the slot the oscillator does not play. The audio thread is kept out
// of that slot meanwhile; a staged build of its own in that slot is given up.
// Without a free bank, or with both waves noise (whose frames are those of
// the last build), nothing is prepared and the application rebuilds as
// before.
void APlugin::prepareWaveTables(PresetLoad load) {
    WaveState& ws = waves;
    PreparedTables& pt = ws.prepared;
    std::lock_guard lock(ws.tableBuildMutex);
    pt.ready.store(false, std::memory_order_relaxed);

    for (int i = 0; i < PreparedTables::kValues; ++i) {
        const int t = preparedTag(i);
        const float v = getStoredValue(t);
        pt.values[i] = load == kPresetChosen ? normalizedValue(t, v) : v;
    }
    pt.waveA = getSteppedValue(tag::OscWaveA, pt.values[0]);
    pt.waveB = getSteppedValue(tag::OscWaveB, pt.values[1]);
    pt.mode = getSteppedValue(tag::OscMode, pt.values[2]);
    if (isNoiseWave(pt.waveA) && isNoiseWave(pt.waveB)) return;

    for (int u = 0; u < kNumUserWaves; ++u) {
        float sum = 0.0f;
        for (int j = 0; j < kUserWavePartials; ++j) {
            TAdditive& partial = pt.userPartials[u][j];
            getWaveTablePartials(pt.values[3 + u * kUserWavePartials + j], partial.amplitude,
                                 partial.phase);
            pt.work.tempPartials[j] = partial;
            sum += partial.amplitude;
        }
        if (pt.waveA != kFirstUserWave + u && pt.waveB != kFirstUserWave + u) continue;
        userWaveFromTempPartials(pt.work, sum);
        pt.userTables[u] = pt.work.tempWaveTable;
    }

    // Either bank, when built from these waves already, is taken as it is.
    describeSource(
        pt.source, pt.waveA, pt.waveB, pt.mode,
        [&](int u) -> const WaveTable& { return pt.userTables[u]; },
        [&](int u, int j) { return pt.userPartials[u][j]; });
    pt.noise = noiseFlagsOf(pt.waveA, pt.waveB);
    if (const int built = ws.slotBuiltFrom(pt.source); built >= 0) {
        pt.slot = built;
        pt.ready.store(true, std::memory_order_release);
        return;
    }

    const int slot = 1 - ws.activeBank.load(std::memory_order_relaxed);
    if (!ws.pitchTableBank.prepare(slot, bankRecipe(pt.waveA, pt.waveB, pt.mode))) return;
    ws.slotBuilds.fetch_add(1, std::memory_order_relaxed);
    ws.bankSource[slot].known = false; // until the build is finished

    // The frames serve only the pitch tables: a finished bank shared by its
    // recipe (factory waves, so never both noise) needs neither.
    if (PitchTableBank* target = ws.pitchTableBank.writable(slot)) {
        const FrameRecipe recipe{pt.waveA, pt.waveB, pt.mode, &pt.userTables, &pt.userPartials};
        buildFrames(recipe, pt.frames, pt.work);
        writePitchTables(pt.frames, pt.work.fft, *target, 0, kNumPitchTables);
    }
    ws.bankSource[slot] = pt.source;
    ws.pitchTableBank.finish(slot);
    pt.slot = slot;
    pt.ready.store(true, std::memory_order_release);
}

// Audio thread, in the preset application once the record's values are
// loaded: the prepared tables become the ones the oscillator plays when
// they were built from those values; a staged build or a request still
// waiting is given up for them. False when there are none to take (then
// the application rebuilds as before).
bool APlugin::takePreparedTables() {
    WaveState& ws = waves;
    PreparedTables& pt = ws.prepared;
    std::unique_lock lock(ws.tableBuildMutex, std::try_to_lock);
    if (!lock.owns_lock()) return false; // a build for a later request is running
    if (!pt.ready.exchange(false, std::memory_order_acquire)) return false;
    for (int i = 0; i < PreparedTables::kValues; ++i)
        if (getCurrentValue(preparedTag(i)) != pt.values[i]) return false;

    ws.cachedWaveA = pt.waveA;
    ws.cachedWaveB = pt.waveB;
    ws.cachedOscMode = pt.mode;
    ws.setNoise(pt.noise);
    ws.rebuildRequested.store(false, std::memory_order_relaxed);
    ws.rebuildStage = -1;
    ws.rebuildRunning = false;
    ws.pitchTablesBusy = false;
    playBank(pt.slot);
    return true;
}

bool APlugin::presetTablesReady() const {
    return waves.prepared.ready.load(std::memory_order_relaxed);
}

bool APlugin::tableRebuildRunning() const {
    return waves.rebuildRunning;
}

// Part of setGlobalRare: a new wave A, wave B or mode asks for a rebuild.
void APlugin::updateWaveTablesRare() {
    WaveState& ws = waves;
    const int a = getOscWave(tag::OscWaveA);
    const int b = getOscWave(tag::OscWaveB);
    const int mode = getOscMode();
    if (a != ws.cachedWaveA || b != ws.cachedWaveB || mode != ws.cachedOscMode) {
        ws.cachedWaveA = a;
        ws.cachedWaveB = b;
        ws.cachedOscMode = mode;
        requestTableRebuild();
    }
    const bool morphWrap = getOnOff(tag::MorphWrapOn);
    const bool subAboveHalf = getCurrentValue(tag::OscSubVolume) > 0.5f;
    if (morphWrap != ws.morphWrap || subAboveHalf != ws.subAboveHalf)
        for (VoiceState& voice : engine.voices) voice.dsp.invalidateCaches();
    ws.morphWrap = morphWrap;
    ws.subAboveHalf = subAboveHalf;
}
