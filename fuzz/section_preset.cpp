// Section preset files (".env", ".arp", ".mod", ".xy") through the parser
// the load procedure uses. A text is taken whole or not at all; what it
// gives must be written back by the saver and read again to the same values.
//
// Input: one byte choosing the kind (its value count and range rule), then
// the file's text.

#include "fuzz_support.h"

#include "core/section_tags.h"
#include "editor/section_presets.h"

#include <cmath>
#include <vector>

namespace {

struct Kind {
    const section_presets::SectionPresetKind& kind;
    std::size_t count;
};

const Kind kKinds[4] = {
    {section_presets::ENV_PRESET, 4},
    {section_presets::ARP_PRESET, section_tags::ARP_TAGS.size()},
    {section_presets::MOD_PRESET, section_tags::MOD_ALL_TAGS.size()},
    {section_presets::XY_PRESET, section_tags::XY_SECTION_TAGS.size()},
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const Kind& kind = kKinds[data[0] & 3];
    const auto rule = kind.kind.range;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    std::vector<float> values;
    if (!section_presets::parseSectionPreset(text, kind.count, rule, values)) {
        if (!values.empty()) fuzz::fail("a refused text left values behind");
        return 0;
    }
    if (values.size() != kind.count) fuzz::fail("an accepted text gave the wrong value count");
    for (float v : values) {
        if (!std::isfinite(v)) fuzz::fail("an accepted value is not finite");
        if (rule == section_presets::RangeRule::RejectFile && (v < 0.0f || v > 1.0f))
            fuzz::fail("a value outside 0..1 passed the reject rule");
    }

    // What the saver writes for these values reads back to them (six decimals).
    std::vector<float> again;
    if (!section_presets::parseSectionPreset(section_presets::formatSectionPreset(values),
                                             kind.count, rule, again))
        fuzz::fail("the saver's text for accepted values is refused");
    for (std::size_t i = 0; i < values.size(); ++i)
        if (!(std::fabs(again[i] - values[i]) <= 1e-6f * std::fmax(1.0f, std::fabs(values[i]))))
            fuzz::fail("a value changed on its way through the saver's text");
    return 0;
}
