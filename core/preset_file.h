// Preset files: the text format of factory and user presets.
//
//   Ondix Preset 1
//   Filter Frequency = 0.4375
//   Oscillator Wave A = 0.0166
//   End
//
// The first line names the format and its version. Each following line sets
// one parameter by its name (as the host sees it) to a normalised value
// 0..1, written with '.' and as few digits as give the same float back; only
// the parameters that differ from their defaults are written. The closing
// "End" tells a complete file from a cut one. Blank lines and lines that
// begin with '#' are ignored. The preset's name is the file's name without
// its extension, and its category the folder it lies in.
//
// A reader skips names it does not know (a newer version's parameters) and
// refuses the whole file for anything else: another format or a newer
// version, a control character or NUL, a line without '=', a value that is
// not a number in 0..1, a name given twice, or no "End". Files are read
// whole over memory; nothing here touches the disk, so the offline host and
// the fuzz target share it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

inline constexpr char PRESET_FILE_EXTENSION[] = ".ondix";
inline constexpr int PRESET_FILE_VERSION = 1;
// The largest preset file a reader takes (a full set of parameters is about 40 KB).
inline constexpr std::size_t PRESET_FILE_MAX_BYTES = 256 * 1024;

struct PresetFileValue {
    std::string name;
    float value = 0.0f;

    bool operator==(const PresetFileValue&) const = default;
};

// The values of text in file order; false with error set (a sentence naming
// the line) when the file is refused, values then empty.
bool parsePresetFile(std::string_view text, std::vector<PresetFileValue>& values,
                     std::string& error);

// The text of a preset file holding values in their order.
std::string formatPresetFile(const std::vector<PresetFileValue>& values);
