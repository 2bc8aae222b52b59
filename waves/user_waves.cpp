// User waves held as partials in parameters.
//
// Each of the two user waves is 128 partials; each partial (amplitude and
// phase, 10 bits each) is packed into one parameter, so user waves travel
// with every preset and state chunk. The 2048-sample table of a wave is built
// from its partials by additive synthesis through the inverse FFT, and a table
// is analysed back into partials through the forward FFT.
//
// Sign conventions are the FFT's: partial 0 with amplitude 1 and phase 0.75
// synthesises sin(2 pi i / 2048), and that sine analyses back to it.

#include "core/aplugin.h"
#include "core/numeric.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <emmintrin.h>

namespace {

constexpr float kTwoPi = 6.283185f;
constexpr float kPackScale = 1.0f / 1048576.0f; // 2^-20

// Amplitude clamped and phase wrapped into 0..1, so neither field can spill
// into the other.
int amplitudeStep(float amplitude) {
    if (std::isnan(amplitude)) return 0;
    return static_cast<int>(clamp01(amplitude) * 1023.0f);
}
// 0..1 is taken as given (1, a full turn, is the last step, so a bar
// dragged to the top stays full); phases beyond wrap around the turn.
int phaseStep(float phase) {
    if (!std::isfinite(phase)) return 0;
    const float p = (phase >= 0.0f && phase <= 1.0f) ? phase : phase - std::floor(phase);
    return std::min(static_cast<int>(p * 1023.0f), 1023);
}

int packedIndex(float value) {
    const float scaled = clamp01(std::isnan(value) ? 0.0f : value) * 1024.0f * 1024.0f;
    return std::min(static_cast<int>(scaled), 1024 * 1024);
}

} // namespace

// ------------------------------------------------------------------ packed partials

float APlugin::packPartial(float amplitude, float phase) {
    return static_cast<float>(amplitudeStep(amplitude) * 1024 + phaseStep(phase)) * kPackScale;
}

void APlugin::getWaveTablePartials(float value, float& amplitude, float& phase) {
    const int i = packedIndex(value);
    amplitude = clamp01(
        static_cast<float>(static_cast<int>(static_cast<float>(i) * (1.0f / 1024.0f))) / 1023.0f);
    phase = clamp01(static_cast<float>(i % 1024) / 1023.0f);
}

TAdditive APlugin::getWaveTablePartials(int w, int j) {
    if (!isValidWavePartial(w, j)) return {0.0f, 0.5f};
    TAdditive p;
    getWaveTablePartials(getParameter(tag::partial(w, j)), p.amplitude, p.phase);
    return p;
}

float APlugin::getWaveTablePartials(int w, int j, bool phase) {
    const TAdditive p = getWaveTablePartials(w, j);
    return phase ? p.phase : p.amplitude;
}

float APlugin::getWaveTablePartialsAmp(int w, int j) {
    return getWaveTablePartials(w, j, false);
}
float APlugin::getWaveTablePartialsPhase(int w, int j) {
    return getWaveTablePartials(w, j, true);
}

void APlugin::setWaveTablePartials(int w, int j, float amplitude, float phase) {
    if (isValidWavePartial(w, j)) setParameter(tag::partial(w, j), packPartial(amplitude, phase));
}

void APlugin::setWaveTablePartials(int w, int j, const TAdditive& p) {
    setWaveTablePartials(w, j, p.amplitude, p.phase);
}

void APlugin::setWaveTablePartials(int w, int j, float x, bool phase) {
    if (!isValidWavePartial(w, j)) return;
    const int i = packedIndex(getParameter(tag::partial(w, j)));
    const int ampStep = std::min(i / 1024, 1023);
    const int phStep = i % 1024;
    const int packed = phase ? ampStep * 1024 + phaseStep(x) : amplitudeStep(x) * 1024 + phStep;
    setParameter(tag::partial(w, j), static_cast<float>(packed) * kPackScale);
}

void APlugin::setWaveTablePartialsAmp(int w, int j, float a) {
    setWaveTablePartials(w, j, a, false);
}
void APlugin::setWaveTablePartialsPhase(int w, int j, float p) {
    setWaveTablePartials(w, j, p, true);
}

// ------------------------------------------------------------------ samples

void APlugin::setWaveTableValue(int w, int i, float x) {
    if (!isValidWave(w)) return;
    const int at = std::clamp(i, 0, kWaveSize - 1);
    const float v = std::isnan(x) ? 0.0f : std::clamp(x, -1.0f, 1.0f);
    std::lock_guard lock(waves.userWaveMutex);
    waves.userWaveTable[w][at] = v;
    waves.userWaveShown[w][at].set(v);
    waves.userLfoRowsStale[w] = true;
}

// A user wave's new table, and the editor's copy of it; the caller holds the
// user-wave lock (either thread). The same table again (a preset that keeps
// the wave) changes nothing.
void APlugin::storeUserWave(int w, const WaveTable& table) {
    if (std::memcmp(waves.userWaveTable[w].data(), table.data(), sizeof table) == 0) return;
    waves.userWaveTable[w] = table;
    for (int i = 0; i < kWaveSize; ++i) waves.userWaveShown[w][i].set(table[i]);
    waves.userLfoRowsStale[w] = true;
}

// The editor's copy: the audio thread may be rewriting the table itself.
float APlugin::getWaveTableValue(int w, int i) const {
    if (!isValidWave(w)) return 0.0f;
    return std::clamp(waves.userWaveShown[w][std::clamp(i, 0, kWaveSize - 1)].get(), -1.0f, 1.0f);
}

// ------------------------------------------------------------------ synthesis and analysis

void APlugin::synthesizePartials(WaveWorkspace& work, int n) {
    Fft2048& fft = work.fft;
    std::fill(std::begin(fft.fftInRe), std::end(fft.fftInRe), 0.0f);
    std::fill(std::begin(fft.fftInIm), std::end(fft.fftInIm), 0.0f);
    n = std::clamp(n, 0, kWaveSize - 1);
    float maxAmplitude = 0.0f;
    for (int j = 0; j < n; ++j) {
        const float a = work.tempPartials[j].amplitude;
        const float angle = (work.tempPartials[j].phase - 0.5f) * kTwoPi;
        fft.fftInRe[j + 1] = static_cast<float>(a * std::cos(static_cast<double>(angle)));
        fft.fftInIm[j + 1] = static_cast<float>(a * std::sin(static_cast<double>(angle)));
        maxAmplitude = std::max(maxAmplitude, a);
    }
    fft.ifft(kWaveSize);
    float peak = 0.0f;
    for (float v : fft.fftOutRe) peak = std::max(peak, std::fabs(v));
    const float gain = peak > 1e-5f && maxAmplitude >= 1e-5f ? maxAmplitude / peak : 0.0f;
    for (int i = 0; i < kWaveSize; ++i) work.tempWaveTable[i] = fft.fftOutRe[i] * gain;
}

void APlugin::analyseTempWaveTable(WaveWorkspace& work, int n) {
    Fft2048& fft = work.fft;
    float peak = 0.0f;
    for (int i = 0; i < kWaveSize; ++i) {
        float& s = work.tempWaveTable[i];
        s = std::isnan(s) ? 0.0f : std::clamp(s, -1.0f, 1.0f);
        fft.fftInRe[i] = s;
        fft.fftInIm[i] = 1e-5f;
        peak = std::max(peak, std::fabs(s));
    }
    fft.fft(kWaveSize);
    n = std::clamp(n, 0, kWaveSize - 1);
    float largest = 0.0f;
    for (int j = 0; j < n; ++j) {
        const float re = fft.fftOutRe[j + 1];
        const float im = fft.fftOutIm[j + 1];
        work.tempPartials[j].amplitude = std::sqrt(re * re + im * im) + 1e-15f;
        work.tempPartials[j].phase = std::atan2(im, re + 1e-5f) / kTwoPi + 0.5f;
        largest = std::max(largest, work.tempPartials[j].amplitude);
    }
    const float scale = peak / std::max(largest, 1e-5f);
    for (int j = 0; j < n; ++j) work.tempPartials[j].amplitude *= scale;
}

void APlugin::convertTempPartialsToTempWaveTable(int n) {
    synthesizePartials(waves.mainWork, n);
}

void APlugin::convertTempWaveTableToTempPartials(int n) {
    analyseTempWaveTable(waves.mainWork, n);
}

// Builds a user wave's table from its partial parameters into the
// workspace and the wave's table; the caller holds the user-wave lock.
void APlugin::buildUserWave(int w, WaveWorkspace& work) {
    float sum = 0.0f;
    for (int j = 0; j < kUserWavePartials; ++j) {
        work.tempPartials[j] = getWaveTablePartials(w, j);
        sum += work.tempPartials[j].amplitude;
    }
    userWaveFromTempPartials(work, sum);
    storeUserWave(w, work.tempWaveTable);
}

// The same from given partials (as read once, when tables were built from
// them); the caller holds the user-wave lock.
void APlugin::buildUserWave(int w, const std::array<TAdditive, kUserWavePartials>& partials,
                            WaveWorkspace& work) {
    float sum = 0.0f;
    for (int j = 0; j < kUserWavePartials; ++j) {
        work.tempPartials[j] = partials[j];
        sum += partials[j].amplitude;
    }
    userWaveFromTempPartials(work, sum);
    storeUserWave(w, work.tempWaveTable);
}

// A user wave's table from the 128 partials in the workspace, whose
// amplitudes add up to amplitudeSum: silence when there is next to nothing.
void APlugin::userWaveFromTempPartials(WaveWorkspace& work, float amplitudeSum) {
    if (amplitudeSum < 1e-5f)
        work.tempWaveTable.fill(0.0f);
    else
        synthesizePartials(work, kUserWavePartials);
}

void APlugin::convertWaveTablePartialsToWaveTable(int w) {
    if (!isValidWave(w)) return;
    {
        std::lock_guard lock(waves.userWaveMutex);
        buildUserWave(w, waves.mainWork);
    }
    requestTableRebuild();
}

// The audio thread never waits for the main thread: when a main-thread
// conversion holds the lock, the wave is rebuilt at the next slow tick.
void APlugin::convertUserWaveOnAudioThread(int w) {
    if (!isValidWave(w)) return;
    std::unique_lock lock(waves.userWaveMutex, std::try_to_lock);
    if (!lock.owns_lock()) {
        waves.convertPending[w].store(true, std::memory_order_relaxed);
        requestTableRebuild(); // the rebuild start converts it once the lock is free
        return;
    }
    waves.convertPending[w].store(false, std::memory_order_relaxed);
    buildUserWave(w, waves.audioWork);
    requestTableRebuild();
}

// The preset application that took tables built for it: both user waves
// and the LFO shapes that follow them, without asking for a table rebuild.
// The waves come from the partials the tables were built from, not from the
// parameters as they are now: a host that automates a partial meanwhile
// must not leave a user wave that differs from the one in the bank that
// plays. When a main-thread conversion holds the lock, they wait for the
// rebuild start as above (which builds the bank again from what it reads).
void APlugin::convertUserWavesWithPreparedTables() {
    std::unique_lock lock(waves.userWaveMutex, std::try_to_lock);
    if (!lock.owns_lock()) {
        for (auto& pending : waves.convertPending) pending.store(true, std::memory_order_relaxed);
        requestTableRebuild();
        return;
    }
    for (int w = 0; w < kNumUserWaves; ++w) {
        waves.convertPending[w].store(false, std::memory_order_relaxed);
        buildUserWave(w, waves.takenPartials[w], waves.audioWork);
    }
    fillUserWaveLfoRows();
}

void APlugin::convertWaveTableToWaveTablePartials(int w) {
    if (!isValidWave(w)) return;
    WaveWorkspace& work = waves.mainWork;
    {
        std::lock_guard lock(waves.userWaveMutex);
        work.tempWaveTable = waves.userWaveTable[w];
    }
    analyseTempWaveTable(work, kUserWavePartials);
    for (int j = 0; j < kUserWavePartials; ++j) setWaveTablePartials(w, j, work.tempPartials[j]);
}

void APlugin::requestTableRebuild() {
    waves.rebuildRequested.store(true, std::memory_order_release);
}

namespace {

// An LFO row: sample i of 65536 interpolates the table at
// x = i / 65536 * 2047.9999 between samples j = (int) x and (j + 1) % 2047.
// Four samples at a time: x and its fraction in one register (the division
// by 65536 is exact, so the product rounds as the scalar one does); where
// the four share j, as all but about one block in eight do, one difference
// serves them; else each takes the scalar formula. The same operations in
// the same order either way: equal results bit for bit.
void interpolateLfoRow(const WaveTable& t, float* row) {
    auto sample = [&t](float x) {
        const int j = static_cast<int>(x);
        const int j1 = (j + 1) % 2047;
        return t[j] + (t[j1] - t[j]) * (x - static_cast<float>(j));
    };
    const __m128 lanes = _mm_setr_ps(0.0f, 1.0f, 2.0f, 3.0f);
    const __m128 toPhase = _mm_set1_ps(1.0f / 65536.0f);
    const __m128 span = _mm_set1_ps(2047.9999f);
    for (int i = 0; i < 65536; i += 4) {
        const __m128 index = _mm_add_ps(_mm_set1_ps(static_cast<float>(i)), lanes);
        const __m128 x = _mm_mul_ps(_mm_mul_ps(index, toPhase), span);
        const __m128i j = _mm_cvttps_epi32(x);
        const int first = _mm_cvtsi128_si32(j);
        if (first == _mm_cvtsi128_si32(_mm_shuffle_epi32(j, 3))) {
            const float base = t[first];
            const __m128 slope = _mm_set1_ps(t[(first + 1) % 2047] - base);
            const __m128 fraction = _mm_sub_ps(x, _mm_cvtepi32_ps(j));
            _mm_storeu_ps(row + i, _mm_add_ps(_mm_set1_ps(base), _mm_mul_ps(slope, fraction)));
        } else {
            alignas(16) float xs[4];
            _mm_store_ps(xs, x);
            for (int k = 0; k < 4; ++k) row[i + k] = sample(xs[k]);
        }
    }
}

} // namespace

// The two LFO shapes that follow the user waves: a wave's row from its
// table, when that has changed since the row was last filled and a free LFO
// plays the shape (as of the last rare-settings tick; a row no LFO plays
// waits until one takes it); audio thread, with the user-wave lock held.
void APlugin::fillUserWaveLfoRows() {
    for (int w = 0; w < kNumUserWaves; ++w) {
        if (!waves.userLfoRowsStale[w] || !lfoPlaysUserWave(w)) continue;
        waves.userLfoRowsStale[w] = false;
        interpolateLfoRow(waves.userWaveTable[w], engine.userLfoRows.row(w));
    }
}

bool APlugin::lfoPlaysUserWave(int w) const {
    const auto& kinds = engine.lfo.kind;
    return std::find(kinds.begin(), kinds.end(), kSharedLfoShapeKinds + w) != kinds.end();
}

// ------------------------------------------------------------------ the preview wave

void APlugin::publishPreviewWave(const WaveTable& wave) {
    const int next = 1 - waves.previewIndex.load(std::memory_order_relaxed);
    waves.previewBuffers[next] = wave;
    waves.previewIndex.store(next, std::memory_order_release);
}

const float* APlugin::previewWave() const {
    return waves.previewBuffers[waves.previewIndex.load(std::memory_order_acquire) & 1].data();
}
