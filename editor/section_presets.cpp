// Section preset files of the envelope, arpeggiator, modulation matrix and XY
// pad menus: the text format, durable writing and the load and save
// procedures behind the menus' entries.

#include "editor/section_presets.h"

#include "core/aplugin.h"
#include "core/core_state.h"
#include "platform/dialogs.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

bool isSpace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Reads whitespace-separated words, at most MAX_WORD bytes each, from a
// source of bytes (next() gives a byte or EOF).
template <typename Next> class WordReader {
public:
    explicit WordReader(Next next) : next(next) {}
    // The next word; false at the end of the input or for an overlong word.
    bool read(std::string& word) {
        word.clear();
        int c = next();
        while (c != EOF && isSpace(c)) c = next();
        while (c != EOF && !isSpace(c)) {
            if (word.size() == MAX_WORD) return false;
            word.push_back(static_cast<char>(c));
            c = next();
        }
        return !word.empty();
    }

private:
    Next next;
};

// A whole word as a finite number, read the same in every locale.
bool parseNumber(std::string_view word, float& value) {
    if (!word.empty() && word.front() == '+') word.remove_prefix(1);
    if (word.empty() || word.front() == '+') return false;
    const char* end = word.data() + word.size();
    auto [ptr, ec] = std::from_chars(word.data(), end, value, std::chars_format::general);
    return ec == std::errc() && ptr == end && std::isfinite(value);
}

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// The folder part of path for opening it ("." when there is none).
std::string folderOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Flushes a folder's entry list, so a rename in it is on disk. Failure here
// does not undo the save: the file itself is complete.
void syncFolder(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// The permissions a newly created file gets under the process's umask.
mode_t newFileMode() {
    mode_t mask = ::umask(0);
    ::umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
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

namespace {

template <typename Next>
bool parseWords(WordReader<Next>& words, std::size_t count, RangeRule range,
                std::vector<float>& values) {
    values.clear();
    std::string word;
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

} // namespace

bool parseSectionPreset(std::string_view text, std::size_t count, RangeRule range,
                        std::vector<float>& values) {
    std::size_t pos = 0;
    auto next = [&text, &pos]() -> int {
        return pos < text.size() ? static_cast<unsigned char>(text[pos++]) : EOF;
    };
    WordReader<decltype(next)> words(next);
    return parseWords(words, count, range, values);
}

bool writeSectionPresetFile(const std::string& path, std::span<const float> values) {
    if (path.empty()) return false;
    const std::string text = formatSectionPreset(values);

    std::string temp = path + ".XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0) return false;
    bool ok = ::fchmod(fd, newFileMode()) == 0 && writeAll(fd, text) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) ok = ::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    syncFolder(folderOf(path));
    return true;
}

bool readSectionPresetFile(const std::string& path, std::size_t count, RangeRule range,
                           std::vector<float>& values) {
    values.clear();
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    auto next = [file]() -> int { return std::getc(file); };
    WordReader<decltype(next)> words(next);
    bool ok = parseWords(words, count, range, values) && !std::ferror(file);
    std::fclose(file);
    if (!ok) values.clear();
    return ok;
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
    if (!APlugin::fileExists(path) ||
        !readSectionPresetFile(path, tags.size(), kind.range, values)) {
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
