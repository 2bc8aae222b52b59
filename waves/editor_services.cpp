// What the editor asks of the user waves: clearing, copying and swapping
// them, their names and the step through the factory waves, user-wave files,
// the five one-shot sample edits and the wave shaper with its preview.
//
// Everything here runs on the host's main thread and works in the main
// thread's workspace (waves.mainWork). A user wave changes through its
// partial parameters; every command ends in
// convertWaveTablePartialsToWaveTable, which rebuilds the wave's table under
// the user-wave lock and only requests the oscillator rebuild: the audio
// thread picks that up at its next slow tick and only ever try-locks, so
// nothing here makes it wait. The wave tables are read under the same lock
// for the moment of a copy.
//
// The shaper's preview lives in waves.previewPartials and
// waves.previewWaveTable; each update also publishes the preview wave to the
// oscillators, which play it while the preview-play flag is set.

#include "core/aplugin.h"
#include "core/numeric.h"
#include "core/vocabulary.h"
#include "data/factory_waves.h"
#include "platform/dialogs.h"
#include "platform/file_io.h"
#include "waves/user_wave_file.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <string>
#include <string_view>

namespace {

constexpr const char* kFileProblem = "Problem with User Wave File";
constexpr const char* kFileFilter = "*.uwv";
// The wave name is compared with the factory names on this many characters.
constexpr std::size_t kNameCompareChars = 10;
constexpr int kLastFactoryWave = FactoryWaves::kWaveCount - 1;
constexpr float kPi2 = 2.0f * 3.14159f;

enum Shaper {
    kManual = 0,
    kVolume,
    kVolumeRamp,
    kShift,
    kOffset,
    kPhase,
    kSym,
    kMulti,
    kPingPong,
    kStretch,
    kFilter,
    kBandPass,
    kLowFilter,
    kHighFilter,
    kSmooth,
    kRing,
    kDistort,
    kBits,
    kRipples,
    kOctave1,
    kOctave2,
    kEvenOdd,
    kRandom,
    kShaperCount
};

bool isSampleShaper(int s) {
    switch (s) {
    case kVolume:
    case kVolumeRamp:
    case kShift:
    case kOffset:
    case kSym:
    case kMulti:
    case kPingPong:
    case kStretch:
    case kSmooth:
    case kRing:
    case kDistort:
    case kBits:
    case kOctave2:
        return true;
    default:
        return false;
    }
}

// The Random shaper's generator: one sequence for the whole process, which
// continues across preview updates and plug-in instances. Drawn with a
// compare-and-swap so that two editors never take the same draw.
std::atomic<std::uint32_t> gShaperSeed{1};

float nextShaperRandom() {
    std::uint32_t seed = gShaperSeed.load(std::memory_order_relaxed);
    RandSeed rng(seed);
    float r = rng.nextUnipolar();
    while (!gShaperSeed.compare_exchange_weak(seed, rng.state(), std::memory_order_relaxed)) {
        rng = RandSeed(seed);
        r = rng.nextUnipolar();
    }
    return r;
}

// A packed partial value from numbers as read from a file: the two steps
// are taken as they come (an amplitude above 1 carries into the value, which
// the parameter setter then clamps).
float packUnclamped(float amplitude, float phase) {
    auto step = [](float v) {
        if (!std::isfinite(v)) return 0;
        return static_cast<int>(std::clamp(v * 1023.0f, -4.0e6f, 4.0e6f));
    };
    const double packed = static_cast<double>(step(amplitude)) * 1024.0 + step(phase);
    return static_cast<float>(packed / 1048576.0);
}

} // namespace

// ------------------------------------------------------------------ clear, copy, swap, names

void APlugin::clearWave(int w) {
    if (!isValidWave(w)) return;
    setParameter(tag::WaveHasPresetFirst + w, 0.0f);
    for (int j = 0; j < kUserWavePartials; ++j) {
        setWaveTablePartials(w, j, 0.0f, false);
        setWaveTablePartials(w, j, 0.0f, true);
    }
    convertWaveTablePartialsToWaveTable(w);
}

void APlugin::copyWave(int from, int to) {
    if (!isValidWave(from) || !isValidWave(to)) return;
    copyParameterRange(tag::partial(from, 0), tag::partial(to, 0), kUserWavePartials);
    copyParameter(tag::WaveHasPresetFirst + from, tag::WaveHasPresetFirst + to);
    copyParameterRange(tag::waveName(from, 0), tag::waveName(to, 0), tag::UserWaveNameChars);
    convertWaveTablePartialsToWaveTable(to);
}

void APlugin::swapWave(int a, int b) {
    if (!isValidWave(a) || !isValidWave(b)) return;
    swapParameterRange(tag::partial(a, 0), tag::partial(b, 0), kUserWavePartials);
    swapParameter(tag::WaveHasPresetFirst + a, tag::WaveHasPresetFirst + b);
    swapParameterRange(tag::waveName(a, 0), tag::waveName(b, 0), tag::UserWaveNameChars);
    convertWaveTablePartialsToWaveTable(a);
    convertWaveTablePartialsToWaveTable(b);
}

std::string APlugin::getWavePresetStr(int w) const {
    if (!isValidWave(w) || !getOnOff(tag::WaveHasPresetFirst + w)) return "None";
    return get2StringFromParamStr(tag::waveName(w, 0), tag::UserWaveNameChars);
}

void APlugin::setWavePresetDelta(int w, int delta) {
    if (!isValidWave(w)) return;
    std::string name = get2StringFromParamStr(tag::waveName(w, 0), tag::UserWaveNameChars);
    if (name.size() > kNameCompareChars) name.resize(kNameCompareChars);
    int from = 0;
    for (int n = 0; n <= kLastFactoryWave; ++n) {
        const std::string_view factory = vocabAt(OSC_WAVE_STR, n);
        if (name.size() >= factory.size() &&
            std::string_view(name).substr(0, factory.size()) == factory)
            from = n;
    }
    const long target =
        std::clamp(static_cast<long>(from) + delta, 0L, static_cast<long>(kLastFactoryWave));
    loadWavePreset(w, static_cast<int>(target));
}

// ------------------------------------------------------------------ user-wave files

namespace {

// Reads a ".uwv" file into user wave w of p; false (wave untouched) when the
// file is missing, not a regular file of a sensible size, or holds nothing
// after its version.
bool readWaveFile(APlugin& p, int w, const std::string& path) {
    std::string text;
    std::string error;
    UserWaveFile wave;
    if (!readRegularFile(path, USER_WAVE_MAX_FILE_BYTES, text, error) ||
        !parseUserWaveFile(text, wave))
        return false;
    for (int j = 0; j < kUserWavePartials; ++j)
        p.setParameter(tag::partial(w, j), packUnclamped(wave.amplitude[j], wave.phase[j]));
    p.set2StringFromParam(getFileNameOnlyStr(path, true), tag::waveName(w, 0),
                          tag::UserWaveNameChars);
    p.setParameter(tag::WaveHasPresetFirst + w, 1.0f);
    p.convertWaveTablePartialsToWaveTable(w);
    return true;
}

} // namespace

void APlugin::loadWave(int w) {
    if (!isValidWave(w)) return;
    std::string spare, folder, path;
    fileSelectLoadDirStr("Load User Wave Preset", core.folders.wavePresetDir, "Load", kFileFilter,
                         spare, folder, path);
    if (path.empty()) return;
    if (!readWaveFile(*this, w, path)) messageBox(kFileProblem, MESSAGE_BOX_OK);
}

void APlugin::loadWavePreset(int w, const std::string& name) {
    if (!isValidWave(w)) return;
    const std::string path = core.folders.wavePresetDir + "/" + name + ".uwv";
    if (!readWaveFile(*this, w, path)) messageBox(kFileProblem, MESSAGE_BOX_OK);
}

void APlugin::saveWave(int w) {
    if (!isValidWave(w)) return;
    std::string folder, path;
    fileSelectSaveDirStr("Save User Wave Preset", core.folders.wavePresetDir, "Save", kFileFilter,
                         folder, path);
    if (path.empty()) return;
    UserWaveFile wave;
    for (int j = 0; j < kUserWavePartials; ++j) {
        wave.amplitude[j] = getWaveTablePartialsAmp(w, j);
        wave.phase[j] = getWaveTablePartialsPhase(w, j);
    }
    std::string error;
    if (!writeFileDurably(path, formatUserWaveFile(wave), error)) {
        messageBox(kFileProblem, MESSAGE_BOX_OK);
        return;
    }
    set2StringFromParam(getFileNameOnlyStr(path, true), tag::waveName(w, 0),
                        tag::UserWaveNameChars);
    setParameter(tag::WaveHasPresetFirst + w, 1.0f);
}

// ------------------------------------------------------------------ one-shot sample edits

namespace {

enum class SampleEdit { kNormalize, kRemoveDC, kInvert, kReverse, kSmooth };

void editSamples(WaveTable& s, SampleEdit edit, float amount) {
    switch (edit) {
    case SampleEdit::kNormalize: {
        float peak = 1e-7f;
        for (float v : s) peak = std::max(peak, std::fabs(v));
        for (float& v : s) v /= peak;
        break;
    }
    case SampleEdit::kRemoveDC: {
        float sum = 0.0f;
        for (float v : s) sum += v;
        const float mean = sum / static_cast<float>(kWaveSize);
        for (float& v : s) v = std::clamp(v - mean, -1.0f, 1.0f);
        break;
    }
    case SampleEdit::kInvert:
        for (float& v : s) v = -v;
        break;
    case SampleEdit::kReverse:
        std::reverse(s.begin(), s.end());
        break;
    case SampleEdit::kSmooth: {
        const float c = std::pow(2.0f, -(9.0f * amount + 1.0f));
        float y = s[0];
        for (int i = 1; i < kWaveSize - 1; ++i) {
            y = c * s[i] + (1.0f - c) * y;
            s[i] = y;
        }
        break;
    }
    }
}

// The wave's partials into the workspace's samples (peak = largest
// amplitude), the edit, and the edited samples back into the partials.
void runSampleEdit(APlugin& p, int w, SampleEdit edit) {
    if (!APlugin::isValidWave(w)) return;
    WaveWorkspace& work = p.mainWaveWorkspace();
    for (int j = 0; j < kUserWavePartials; ++j) work.tempPartials[j] = p.getWaveTablePartials(w, j);
    APlugin::synthesizePartials(work, kUserWavePartials);
    editSamples(work.tempWaveTable, edit, clamp01(p.getCurrentValue(tag::WaveShaper1)));
    APlugin::analyseTempWaveTable(work, kUserWavePartials);
    for (int j = 0; j < kUserWavePartials; ++j) p.setWaveTablePartials(w, j, work.tempPartials[j]);
    p.convertWaveTablePartialsToWaveTable(w);
}

} // namespace

void APlugin::normalizeWave(int w) {
    runSampleEdit(*this, w, SampleEdit::kNormalize);
}
void APlugin::removeDCInWave(int w) {
    runSampleEdit(*this, w, SampleEdit::kRemoveDC);
}
void APlugin::invertWave(int w) {
    runSampleEdit(*this, w, SampleEdit::kInvert);
}
void APlugin::reverseWave(int w) {
    runSampleEdit(*this, w, SampleEdit::kReverse);
}
void APlugin::smoothWave(int w) {
    runSampleEdit(*this, w, SampleEdit::kSmooth);
}

// ------------------------------------------------------------------ the wave shaper

namespace {

using Partials = std::array<TAdditive, kUserWavePartials>;

// Sample-domain shapers: out from the wave's samples x.
void shapeSamples(int shaper, float a1, float a2, const WaveTable& x, WaveTable& out) {
    constexpr int N = kWaveSize;
    switch (shaper) {
    case kVolume: {
        const float gain = (2.0f * a1 - 1.0f) * std::pow(2.0f, 4.0f * a2);
        for (int i = 0; i < N; ++i) out[i] = x[i] * gain;
        break;
    }
    case kVolumeRamp:
        for (int i = 0; i < N; ++i)
            out[i] = x[i] * (2.0f * a1 + (2.0f * a2 - 2.0f * a1) * static_cast<float>(i) / 2048.0f);
        break;
    case kShift: {
        const int s = static_cast<int>(2048.0f - 2048.0f * a1);
        for (int i = 0; i < N; ++i) out[i] = x[(s + i) % 2047];
        break;
    }
    case kOffset:
        for (int i = 0; i < N; ++i) out[i] = std::clamp(x[i] + 2.0f * a1 - 1.0f, -1.0f, 1.0f);
        break;
    case kSym: {
        const float p = 0.998f * a1 + 0.001f;
        for (int i = 0; i < N; ++i) {
            const float t = static_cast<float>(i) / 2048.0f;
            const float u = t < p ? t * 0.5f / p : 0.5f + (t - p) * 0.5f / (1.0f - p);
            out[i] = x[std::clamp(static_cast<int>(u * 2047.9999f), 0, N - 1)];
        }
        break;
    }
    case kMulti: {
        const float m = std::pow(2.0f, 6.0f * a1 - 3.0f);
        const int shift = 2048 - static_cast<int>(2048.0f * a2);
        for (int i = 0; i < N; ++i)
            out[i] = x[(static_cast<int>(static_cast<float>(i) * m) + shift) % 2047];
        break;
    }
    case kPingPong: {
        const float m = std::pow(2.0f, 6.0f * a1 - 3.0f);
        const int shift = static_cast<int>((1.0f - a2) * 2048.0f);
        for (int i = 0; i < N; ++i) {
            int j = (static_cast<int>(static_cast<float>(i) * m) + shift) % 4095;
            if (j >= 2048) j = 4096 - j;
            if (j > 2046) j = 2047;
            out[i] = x[j];
        }
        break;
    }
    case kStretch: {
        const float e = 2048.0f * a2;
        const float s = std::max(std::min(2048.0f * a1, e - 1.0f), 0.0f);
        for (int i = 0; i < N; ++i) {
            const int j = static_cast<int>(static_cast<float>(i) * (e - s) / 2048.0f + s);
            out[i] = x[std::clamp(j, 0, N - 1)];
        }
        break;
    }
    case kSmooth: {
        const float c = std::pow(2.0f, -10.0f * a1);
        float y = x[0];
        for (int i = 1; i < N; ++i) y = c * x[i] + (1.0f - c) * y + 1e-15f;
        for (int i = 0; i < N; ++i) {
            y = c * x[i] + (1.0f - c) * y + 1e-15f;
            out[i] = y;
        }
        break;
    }
    case kRing: {
        const float step = std::pow(2.0f, 5.0f * a1) * kPi2 / 2048.0f;
        float phi = 0.0f;
        for (int i = 0; i < N; ++i) {
            out[i] = x[i] * (a2 * std::sin(phi) + 1.0f - a2);
            phi += step;
        }
        break;
    }
    case kDistort: {
        const float drive = std::pow(2.0f, 3.0f * a1) - 1.0f;
        for (int i = 0; i < N; ++i) {
            const float v = drive * x[i] + 1e-15f;
            const float y = (x[i] + v) / (std::fabs(v) + 1.0f);
            out[i] = y < -1.0f ? -1.0f : std::min(y, 1.0f) + 1e-15f;
        }
        break;
    }
    case kBits: {
        const float rate = std::pow(2.0f, 10.0f * a1);
        const float levels = std::pow(2.0f, 16.0f * a2);
        float counter = 0.0f;
        float held = x[0];
        for (int i = 0; i < N; ++i) {
            counter += 1.0f / rate;
            if (counter > 1.0f) {
                counter -= std::floor(counter);
                held = x[i];
            }
            out[i] = static_cast<float>(static_cast<int>(held * levels)) / levels;
        }
        break;
    }
    case kOctave2: {
        const int s = static_cast<int>(2048.0f * a1);
        for (int i = 0; i < N; ++i) out[i] = i >= s ? x[i] + a2 * x[i - s] : x[i];
        break;
    }
    default:
        out = x;
        break;
    }
}

// Partial-domain shapers: p changed in place, src the wave's own partials.
// false when the shaper leaves everything as it was (the preview wave is then
// not rebuilt either).
bool shapePartials(int shaper, float a1, float a2, const Partials& src, Partials& p) {
    constexpr int K = kUserWavePartials;
    auto edge = [](float a) {
        return static_cast<int>((1.0f - (1.0f - a) * (1.0f - a)) * 127.99f);
    };
    switch (shaper) {
    case kPhase:
        for (TAdditive& q : p) {
            q.phase += a1;
            if (q.phase > 1.0f) q.phase -= 1.0f;
        }
        break;
    case kFilter: {
        const int high = edge(a1);
        const int low = static_cast<int>(a2 * a2 * 127.99f);
        for (int k = 0; k < K; ++k)
            if (k >= high || k < low) p[k].amplitude = 0.0f;
        break;
    }
    case kBandPass: {
        const int a = edge(a1);
        const int b = static_cast<int>(a2 * a2 * 127.99f);
        const int lo = std::min(a, b), hi = std::max(a, b);
        for (int k = 0; k < K; ++k)
            if (k < lo || k >= hi) p[k].amplitude = 0.0f;
        break;
    }
    case kLowFilter: {
        const int n = static_cast<int>((1.0f - (1.0f - a1) * (1.0f - a1)) * 126.99f);
        const float e = std::pow(2.0f, 8.0f * a2 - 4.0f);
        for (int k = n; k < K; ++k) {
            const float t = std::min(1.0f, static_cast<float>(k - n) / static_cast<float>(127 - n));
            p[k].amplitude *= std::pow(t, e);
        }
        break;
    }
    case kHighFilter: {
        const int n = static_cast<int>(a1 * a1 * 126.99f);
        if (n == 0) return false;
        const float e = std::pow(2.0f, 8.0f * a2 - 4.0f);
        for (int k = 0; k < n; ++k)
            p[k].amplitude *= std::pow(static_cast<float>(k) / static_cast<float>(n), e);
        break;
    }
    case kRipples: {
        const float step = std::pow(2.0f, 5.0f * a1) * kPi2 / 128.0f;
        float phi = 0.0f;
        for (TAdditive& q : p) {
            q.amplitude *= a2 * (0.5f * std::cos(phi) + 0.5f) + 1.0f - a2;
            phi += step;
        }
        break;
    }
    case kOctave1: {
        const int s = static_cast<int>(128.0f * a1);
        for (int k = s; k < K; ++k) {
            p[k].amplitude += a2 * src[k - s].amplitude;
            p[k].phase += a2 * src[k - s].phase;
        }
        break;
    }
    case kEvenOdd:
        for (int k = 0; k < K; ++k) p[k].amplitude *= (k % 2 == 0) ? a1 : a2;
        break;
    case kRandom: {
        const float lo = (std::pow(2.0f, 10.0f * a1) - 1.0f) / 1023.0f;
        const float hi = (std::pow(2.0f, 10.0f * a2) - 1.0f) / 1023.0f;
        for (int k = 0; k < K; ++k) {
            const float m = lo + static_cast<float>(k) * (hi - lo) / 128.0f;
            const float r = nextShaperRandom();
            p[k].amplitude = r * m + (1.0f - m) * p[k].amplitude;
        }
        break;
    }
    default:
        break;
    }
    return true;
}

} // namespace

void APlugin::updatePreviewWaveTable(int w) {
    if (!isValidWave(w)) return;
    const int shaper = getSteppedValue(tag::WaveShaperMode);
    const float a1 = clamp01(getCurrentValue(tag::WaveShaper1));
    const float a2 = clamp01(getCurrentValue(tag::WaveShaper2));
    for (int k = 0; k < kUserWavePartials; ++k)
        waves.sourcePartials[k] = getWaveTablePartials(w, k);
    waves.previewPartials = waves.sourcePartials;

    WaveWorkspace& work = waves.mainWork;
    if (isSampleShaper(shaper)) {
        WaveTable source;
        {
            std::lock_guard lock(waves.userWaveMutex);
            source = waves.userWaveTable[w];
        }
        shapeSamples(shaper, a1, a2, source, waves.previewWaveTable);
        work.tempWaveTable = waves.previewWaveTable;
        analyseTempWaveTable(work, kUserWavePartials);
        std::copy_n(work.tempPartials.begin(), kUserWavePartials, waves.previewPartials.begin());
    } else if (shapePartials(shaper, a1, a2, waves.sourcePartials, waves.previewPartials)) {
        std::copy_n(waves.previewPartials.begin(), kUserWavePartials, work.tempPartials.begin());
        synthesizePartials(work, kUserWavePartials);
        waves.previewWaveTable = work.tempWaveTable;
    }
    publishPreviewWave(waves.previewWaveTable);
}

void APlugin::doWaveShaperCommand(int w) {
    if (!isValidWave(w)) return;
    updatePreviewWaveTable(w);
    const int shaper = getSteppedValue(tag::WaveShaperMode);
    if (shaper <= kManual || shaper >= kShaperCount) return;
    if (isSampleShaper(shaper)) {
        {
            WaveTable shaped;
            for (int i = 0; i < kWaveSize; ++i)
                shaped[i] = std::clamp(waves.previewWaveTable[i], -1.0f, 1.0f);
            std::lock_guard lock(waves.userWaveMutex);
            storeUserWave(w, shaped);
        }
        convertWaveTableToWaveTablePartials(w);
    } else {
        for (int k = 0; k < kUserWavePartials; ++k)
            setWaveTablePartials(w, k, waves.previewPartials[k]);
    }
    convertWaveTablePartialsToWaveTable(w);
}

float APlugin::getPreviewWaveTableValue(int i) const {
    return i >= 0 && i < kWaveSize ? waves.previewWaveTable[i] : 0.0f;
}

float APlugin::getPreviewPartialsAmp(int k) const {
    return isValidPartial(k) ? waves.previewPartials[k].amplitude : 0.0f;
}

float APlugin::getPreviewPartialsPhase(int k) const {
    return isValidPartial(k) ? waves.previewPartials[k].phase : 0.0f;
}

bool APlugin::getTempPreviewWave() const {
    return core.previewPlay.get();
}

void APlugin::setTempPreviewWave(bool on) {
    // The oscillators find the latest preview in place before they switch.
    if (on) publishPreviewWave(waves.previewWaveTable);
    core.previewPlay.set(on);
}
