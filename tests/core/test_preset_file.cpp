// Preset files: what the reader takes and what it refuses whole.

#include "core/preset_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Refused {
    const char* what;
    std::string text;
};

const std::string kGood = "Ondix Preset 1\nFilter Frequency = 0.25\nMain Volume = 0.5\nEnd\n";

} // namespace

TEST(PresetFile, WrittenValuesReadBackExactly) {
    const std::vector<PresetFileValue> values = {
        {"Filter Frequency", 0.123456789f}, {"Main Volume", 1.0f}, {"Tiny", 1e-7f}, {"Zero", 0.0f}};
    std::vector<PresetFileValue> back;
    std::string error;
    ASSERT_TRUE(parsePresetFile(formatPresetFile(values), back, error)) << error;
    EXPECT_EQ(back, values);
    EXPECT_TRUE(formatPresetFile({}).starts_with("Ondix Preset 1\n"));
    EXPECT_TRUE(formatPresetFile({}).ends_with("End\n"));
}

TEST(PresetFile, CommentsBlankLinesAndLineEndsAreFree) {
    std::vector<PresetFileValue> values;
    std::string error;
    ASSERT_TRUE(parsePresetFile("\xEF\xBB\xBFOndix Preset 1\r\n# a note\r\n\r\n  Main Volume=0.5  "
                                "\r\n\tEnd\r\n\n",
                                values, error))
        << error;
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0], (PresetFileValue{"Main Volume", 0.5f}));
}

TEST(PresetFile, BadFilesAreRefusedWhole) {
    const std::vector<Refused> cases = {
        {"empty", ""},
        {"another format", "V1.0\n0.5\nEnd\n"},
        {"newer version", "Ondix Preset 2\nEnd\n"},
        {"cut short", kGood.substr(0, kGood.size() - 5)},
        {"cut inside a value", kGood.substr(0, 32)},
        {"binary", std::string("Ondix Preset 1\nMain Volume = 0.5\0\x01\x02\nEnd\n", 40)},
        {"no equals sign", "Ondix Preset 1\nMain Volume 0.5\nEnd\n"},
        {"no name", "Ondix Preset 1\n = 0.5\nEnd\n"},
        {"above one", "Ondix Preset 1\nMain Volume = 1.5\nEnd\n"},
        {"negative", "Ondix Preset 1\nMain Volume = -0.1\nEnd\n"},
        {"not a number", "Ondix Preset 1\nMain Volume = loud\nEnd\n"},
        {"NaN", "Ondix Preset 1\nMain Volume = nan\nEnd\n"},
        {"trailing text", "Ondix Preset 1\nMain Volume = 0.5x\nEnd\n"},
        {"locale comma", "Ondix Preset 1\nMain Volume = 0,5\nEnd\n"},
        {"set twice", "Ondix Preset 1\nMain Volume = 0.5\nMain Volume = 0.6\nEnd\n"},
        {"text after End", kGood + "Main Pan = 0.5\n"},
        {"too large", "Ondix Preset 1\n" + std::string(PRESET_FILE_MAX_BYTES, '#') + "\nEnd\n"},
    };
    for (const Refused& c : cases) {
        std::vector<PresetFileValue> values = {{"left over", 0.5f}};
        std::string error;
        EXPECT_FALSE(parsePresetFile(c.text, values, error)) << c.what;
        EXPECT_TRUE(values.empty()) << c.what;
        EXPECT_FALSE(error.empty()) << c.what;
    }
}
