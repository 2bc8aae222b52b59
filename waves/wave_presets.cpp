// Factory waves into user waves.

#include "waves/wave_presets.h"

#include "core/aplugin.h"
#include "core/vocabulary.h"
#include "data/factory_waves.h"

#include <memory>

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
        waves.userWaveTable[w] = factoryWaves().oscWave[n];
    }
    float packed[kUserWavePartials];
    factoryWavePartials(work, n, packed);
    for (int j = 0; j < kUserWavePartials; ++j) setParameter(tag::partial(w, j), packed[j]);
    convertWaveTablePartialsToWaveTable(w);
    setParameter(tag::WaveHasPresetFirst + w, 1.0f);
    set2StringFromParam(vocabAt(OSC_WAVE_STR, n), tag::waveName(w, 0), tag::UserWaveNameChars);
}
