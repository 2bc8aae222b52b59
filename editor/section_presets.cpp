// Section preset files of the envelope, arpeggiator, modulation matrix and XY
// pad menus: the text format, durable writing and the load and save
// procedures behind the menus' entries.

#include "editor/section_presets.h"

#include "core/aplugin.h"
#include "core/core_state.h"
#include "platform/dialogs.h"
#include "platform/file_io.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace section_presets {

const SectionPresetKind ENV_PRESET{"Load Envelope Preset",
                                   "Save Envelope Preset",
                                   "*.env",
                                   "Problem with Env file",
                                   "Problem with Env File",
                                   &FolderPaths::envelopePresetDir,
                                   RangeRule::PassThrough,
                                   false};
const SectionPresetKind ARP_PRESET{"Load Arp Preset",
                                   "Save Arp Preset",
                                   "*.arp",
                                   "Problem with Arp file",
                                   "Problem with Arp File",
                                   &FolderPaths::arpPresetDir,
                                   RangeRule::RejectFile,
                                   true};
const SectionPresetKind MOD_PRESET{"Load Mod Matrix Preset",
                                   "Save Mod Matrix Preset",
                                   "*.mod",
                                   "Problem with Mod file",
                                   "Problem with Mod File",
                                   &FolderPaths::modPresetDir,
                                   RangeRule::ClampToRange,
                                   true};
const SectionPresetKind XY_PRESET{"Load XY Preset",
                                  "Save XY Preset",
                                  "*.xy",
                                  "Problem with XY file",
                                  "Problem with XY File",
                                  &FolderPaths::xyPresetDir,
                                  RangeRule::ClampToRange,
                                  true};

namespace {

constexpr std::string_view VERSION_WORD = "V1.0";
// The longest word accepted, the version word or a value: what fits the
// plug-in's 256-byte text buffers.
constexpr std::size_t MAX_WORD = 255;

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Reads whitespace-separated words, at most MAX_WORD bytes each, from a text.
class WordReader {
public:
    explicit WordReader(std::string_view text) : text(text) {}
    // The next word; false at the end of the text or for an overlong word.
    bool read(std::string_view& word) {
        while (pos < text.size() && isSpace(text[pos])) ++pos;
        const std::size_t start = pos;
        while (pos < text.size() && !isSpace(text[pos])) {
            if (pos - start == MAX_WORD) return false;
            ++pos;
        }
        word = text.substr(start, pos - start);
        return !word.empty();
    }

private:
    std::string_view text;
    std::size_t pos = 0;
};

// A whole word as a finite number, read the same in every locale.
bool parseNumber(std::string_view word, float& value) {
    if (!word.empty() && word.front() == '+') word.remove_prefix(1);
    if (word.empty() || word.front() == '+') return false;
    const char* end = word.data() + word.size();
    auto [ptr, ec] = std::from_chars(word.data(), end, value, std::chars_format::general);
    return ec == std::errc() && ptr == end && std::isfinite(value);
}

} // namespace

std::string formatSectionPreset(std::span<const float> values) {
    std::string text;
    text.reserve(5 + values.size() * 10);
    text.append(VERSION_WORD);
    text.push_back('\n');
    char buffer[64];
    for (float v : values) {
        auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(v),
                                       std::chars_format::fixed, 6);
        if (ec != std::errc()) ptr = buffer; // cannot happen for finite values
        text.append(buffer, ptr);
        text.push_back('\n');
    }
    return text;
}

bool parseSectionPreset(std::string_view text, std::size_t count, RangeRule range,
                        std::vector<float>& values) {
    values.clear();
    WordReader words(text);
    std::string_view word;
    if (!words.read(word)) return false; // the version word: any word will do
    std::vector<float> read;
    read.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        float v = 0.0f;
        if (!words.read(word) || !parseNumber(word, v)) return false;
        if (range == RangeRule::RejectFile && (v < 0.0f || v > 1.0f)) return false;
        read.push_back(v);
    }
    values = std::move(read);
    return true;
}

bool writeSectionPresetFile(const std::string& path, std::span<const float> values) {
    std::string error;
    return writeFileDurably(path, formatSectionPreset(values), error);
}

bool readSectionPresetFile(const std::string& path, std::size_t count, RangeRule range,
                           std::vector<float>& values) {
    values.clear();
    std::string text;
    std::string error;
    return readRegularFile(path, MAX_FILE_BYTES, text, error) &&
           parseSectionPreset(text, count, range, values);
}

bool saveSectionPreset(APlugin& plugin, const SectionPresetKind& kind, std::span<const int> tags) {
    std::string folder;
    std::string path;
    fileSelectSaveDirStr(kind.saveTitle, plugin.core.folders.*kind.startFolder, "Save",
                         kind.pattern, folder, path);
    if (path.empty()) return false;

    std::vector<float> values;
    values.reserve(tags.size());
    for (int t : tags) values.push_back(plugin.getParameter(t));
    if (!writeSectionPresetFile(path, values)) {
        messageBox(kind.saveFailure, MESSAGE_BOX_OK);
        return false;
    }
    return true;
}

bool loadSectionPreset(APlugin& plugin, const SectionPresetKind& kind, std::span<const int> tags,
                       AfterApply afterApply) {
    std::string spare;
    std::string folder;
    std::string path;
    fileSelectLoadDirStr(kind.loadTitle, plugin.core.folders.*kind.startFolder, "Load",
                         kind.pattern, spare, folder, path);
    if (path.empty()) return false;

    std::vector<float> values;
    if (!readSectionPresetFile(path, tags.size(), kind.range, values)) {
        messageBox(kind.loadFailure, MESSAGE_BOX_OK);
        return false;
    }
    for (std::size_t i = 0; i < tags.size(); ++i) {
        float v = values[i];
        if (kind.range == RangeRule::ClampToRange) v = std::clamp(v, 0.0f, 1.0f);
        plugin.setParameter(tags[i], v);
    }
    if (afterApply != nullptr) afterApply(plugin);
    // Voices are reset by the audio thread at its next tick: this runs on
    // the GUI thread while the audio thread may be rendering.
    if (kind.resetAfterLoad) plugin.requestReset();
    return true;
}

} // namespace section_presets
