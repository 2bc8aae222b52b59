// Sample import: any WAV or AIFF file squeezed into one 2048-point cycle of a
// user wave.
//
// Main thread. The squeezed samples go into the user wave's table under the
// user-wave lock, held only for the copy; the analysis runs in the main
// thread's workspace and its 128 partials are written into the wave's
// parameters. The oscillator tables are then rebuilt by the audio thread's
// staged rebuild, which only try-locks the user waves, so the import never
// makes the audio thread wait.

#include "core/aplugin.h"
#include "platform/dialogs.h"
#include "platform/file_io.h"
#include "platform/prefs.h"
#include "waves/sample.h"

#include <cctype>
#include <cstdint>
#include <mutex>
#include <string>

namespace {

constexpr const char* kDialogTitle = "Select Sample";
constexpr const char* kDialogLabel = "Load";
// Every extension the reader takes, so that no importable file is hidden.
constexpr const char* kDialogFilter = "*.wav; *.aif; *.aiff";
constexpr const char* kSampleDirPref = "SampleDir";

bool isWavExtension(const std::string& path) {
    std::string ext = getFileNameExtensionsStr(path);
    for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return ext == ".WAV";
}

} // namespace

void APlugin::fillSampleConvertTables() {
    ::fillSampleConvertTables();
}

void APlugin::loadSample(int w) {
    if (!isValidWave(w)) return;
    std::string spare, folder, path;
    fileSelectLoadDirStr(kDialogTitle, core.folders.sampleDir, kDialogLabel, kDialogFilter, spare,
                         folder, path);
    if (path.empty()) return;
    // A file that can be read moves the folder preference, whether or not
    // it turns out to be a sample.
    std::string bytes;
    std::string error;
    if (!readRegularFile(path, TSample::kMaxFileBytes, bytes, error)) return;
    saveStringToPrefs(kSampleDirPref, folder);

    TSample& sample = engine.sampleReader;
    sample.setName(path.c_str());
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    const bool loaded = isWavExtension(path) ? sample.parseWav(data, bytes.size())
                                             : sample.parseAiff(data, bytes.size());
    if (!loaded) return;
    core.folders.sampleDir = folder;

    // The whole file into one cycle: 2048 points from the first frame up to
    // 2047/2048 of the way to the last, by linear interpolation.
    WaveWorkspace& work = waves.mainWork;
    const float last = static_cast<float>(sample.getLen());
    for (int i = 0; i < kWaveSize; ++i) {
        float left, right;
        sample.getSample(static_cast<float>(i) / static_cast<float>(kWaveSize) * last, left, right);
        work.tempWaveTable[i] = (left + right) * 0.5f;
    }
    // The analysis first: it also brings the samples into -1..1 (a float
    // file may hold anything, NaN included) before the oscillators see them.
    analyseTempWaveTable(work, kUserWavePartials);
    {
        std::lock_guard lock(waves.userWaveMutex);
        storeUserWave(w, work.tempWaveTable);
        // The table now matches the new partials; a conversion the audio
        // thread still has pending would only replace it.
        waves.convertPending[w].store(false, std::memory_order_relaxed);
    }
    for (int k = 0; k < kUserWavePartials; ++k)
        setParameter(tag::partial(w, k),
                     packPartial(work.tempPartials[k].amplitude, work.tempPartials[k].phase));
    requestTableRebuild();
}
