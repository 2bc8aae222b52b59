// Preset files (".ondix"), read over memory. Whatever the text holds:
//  - a refused text leaves no values behind;
//  - every value read is a finite number in 0..1 under a non-empty name
//    given once;
//  - the file text of what was read reads back as the same values.

#include "core/preset_file.h"
#include "fuzz_support.h"

#include <cmath>
#include <set>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<PresetFileValue> values;
    std::string error;
    if (!parsePresetFile(text, values, error)) {
        if (!values.empty()) fuzz::fail("a refused text left values behind");
        if (error.empty()) fuzz::fail("a refused text without a reason");
        return 0;
    }
    std::set<std::string> names;
    for (const PresetFileValue& v : values) {
        if (!std::isfinite(v.value) || v.value < 0.0f || v.value > 1.0f)
            fuzz::fail("a value outside 0..1");
        if (v.name.empty() || !names.insert(v.name).second) fuzz::fail("an empty or repeated name");
    }
    std::vector<PresetFileValue> again;
    if (!parsePresetFile(formatPresetFile(values), again, error))
        fuzz::fail("a written preset does not read back");
    if (again != values) fuzz::fail("a written preset reads back as another");
    return 0;
}
