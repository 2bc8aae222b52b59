// User-wave files (".uwv"): a version word, then up to 128 amplitudes and
// 128 phases, read over memory. Whatever the text holds:
//  - a value that is not finite comes only from a text that spells one out
//    ("inf", "nan", as a "%f" conversion reads them);
//  - the file text of a parsed wave reads back as a wave with the same text.

#include "fuzz_support.h"
#include "waves/user_wave_file.h"

#include <cctype>
#include <cmath>
#include <string>
#include <string_view>

namespace {

bool spellsNonFinite(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower.find("inf") != std::string::npos || lower.find("nan") != std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    UserWaveFile wave;
    if (!parseUserWaveFile(text, wave)) {
        for (int j = 0; j < kUserWavePartials; ++j)
            if (wave.amplitude[j] != 0.0f || wave.phase[j] != 0.0f)
                fuzz::fail("a refused text left values in the wave");
        return 0;
    }
    bool finite = true;
    for (int j = 0; j < kUserWavePartials; ++j)
        finite = finite && std::isfinite(wave.amplitude[j]) && std::isfinite(wave.phase[j]);
    if (!finite && !spellsNonFinite(text))
        fuzz::fail("a value that is not finite from plain numbers");

    const std::string saved = formatUserWaveFile(wave);
    UserWaveFile again;
    if (!parseUserWaveFile(saved, again)) fuzz::fail("a saved wave does not read back");
    if (formatUserWaveFile(again) != saved) fuzz::fail("a saved wave reads back as another");
    return 0;
}
