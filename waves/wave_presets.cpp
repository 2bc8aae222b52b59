// Factory waves into user waves, and the list of saved user waves.

#include "waves/wave_presets.h"

#include "core/aplugin.h"
#include "core/vocabulary.h"
#include "data/factory_waves.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <system_error>

namespace {

// The packed partial parameters of factory wave n, as an analysis of its
// samples into 128 partials gives them.
void factoryWavePartials(WaveWorkspace& work, int n, float* packed) {
    work.tempWaveTable = factoryWaves().oscWave[n];
    APlugin::analyseTempWaveTable(work, kUserWavePartials);
    for (int j = 0; j < kUserWavePartials; ++j)
        packed[j] =
            APlugin::packPartial(work.tempPartials[j].amplitude, work.tempPartials[j].phase);
}

// Two characters per tag, as set2StringFromParam stores them.
float namePairValue(const char* name, int k) {
    std::string text = name;
    if (text.size() % 2 != 0) text.push_back(' ');
    const int length = static_cast<int>(text.size()) < 2 * tag::UserWaveNameChars
                           ? static_cast<int>(text.size())
                           : 2 * tag::UserWaveNameChars - 1;
    if (2 * k >= length) return 0.0f;
    const int high = static_cast<unsigned char>(validChar(text[static_cast<size_t>(2 * k)]));
    const int low = static_cast<unsigned char>(validChar(text[static_cast<size_t>(2 * k + 1)]));
    return (static_cast<float>(high * 256 + low) + 0.5f) / 65536.0f;
}

} // namespace

void applyFactoryWaveDefaults(ParamTable& table) {
    auto work = std::make_unique<WaveWorkspace>();
    float packed[kUserWavePartials];
    factoryWavePartials(*work, 0, packed);
    for (int w = 0; w < kNumUserWaves; ++w) {
        for (int j = 0; j < kUserWavePartials; ++j) {
            table.defaultValue[tag::partial(w, j)] = packed[j];
        }
        table.defaultValue[tag::WaveHasPresetFirst + w] = 1.0f;
        for (int k = 0; k < tag::UserWaveNameChars; ++k)
            table.defaultValue[tag::waveName(w, k)] = namePairValue(vocabAt(OSC_WAVE_STR, 0), k);
    }
}

void APlugin::loadWavePreset(int w, int n) {
    if (!isValidWave(w) || n < 0 || n >= FactoryWaves::kWaveCount) return;
    WaveWorkspace& work = waves.mainWork;
    {
        std::lock_guard lock(waves.userWaveMutex);
        storeUserWave(w, factoryWaves().oscWave[n]);
    }
    float packed[kUserWavePartials];
    factoryWavePartials(work, n, packed);
    for (int j = 0; j < kUserWavePartials; ++j) setParameter(tag::partial(w, j), packed[j]);
    convertWaveTablePartialsToWaveTable(w);
    setParameter(tag::WaveHasPresetFirst + w, 1.0f);
    set2StringFromParam(vocabAt(OSC_WAVE_STR, n), tag::waveName(w, 0), tag::UserWaveNameChars);
}

// ------------------------------------------------------------------ saved user waves

namespace {

constexpr std::size_t kMaxWavePresets = 256;
constexpr int kMaxListedWavePresets = 255;
constexpr std::string_view kWaveExtension = ".uwv";

} // namespace

// The ".uwv" files directly in the wave-preset folder (the extension in small
// letters), at most 256, in name order: a folder's own order means nothing
// on Linux, and the menu should not change from one scan to the next.
void APlugin::scanWavePreset() {
    std::vector<std::string>& names = waves.wavePresetNames;
    names.clear();
    const std::string& folder = core.folders.wavePresetDir;
    if (folder.empty()) return;
    std::vector<std::string> found;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        const std::string file = it->path().filename().string();
        if (file.size() <= kWaveExtension.size() || file.size() > MAX_FILE_NAME_LEN ||
            !file.ends_with(kWaveExtension))
            continue;
        found.push_back(file.substr(0, file.size() - kWaveExtension.size()));
    }
    std::sort(found.begin(), found.end());
    if (found.size() > kMaxWavePresets) found.resize(kMaxWavePresets);
    names = std::move(found);
}

// A menu built from the count offers at most 255 names.
int APlugin::getWavePresetNo() const {
    return std::clamp(static_cast<int>(waves.wavePresetNames.size()), 0, kMaxListedWavePresets);
}

std::string APlugin::getWavePresetStrFromNo(int n) const {
    if (n < 0 || static_cast<std::size_t>(n) >= waves.wavePresetNames.size()) return {};
    return waves.wavePresetNames[static_cast<std::size_t>(n)];
}
