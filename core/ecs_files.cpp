// MIDI controller map files: the text format and the load and save
// procedures behind the MIDI menu (format in ecs_files.h).

#include "core/ecs_files.h"

#include "core/aplugin.h"
#include "platform/dialogs.h"
#include "platform/file_io.h"
#include "platform/prefs.h"

#include <atomic>
#include <charconv>

namespace {

constexpr int kHighestTag = tag::Count - 1;
constexpr const char* kProblemText = "Problem with ECS File";

void reportProblem() {
    messageBox(kProblemText, MESSAGE_BOX_OK);
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

std::optional<ControllerMap> parseControllerMap(std::string_view text) {
    ControllerMap map{};
    std::size_t pos = 0;
    auto skipSpace = [&] {
        while (pos < text.size() && isSpace(text[pos])) ++pos;
    };
    for (int n = 0; n < ECS_CONTROLLERS; ++n) {
        skipSpace();
        if (pos == text.size()) return std::nullopt; // too few numbers
        bool negative = false;
        if (text[pos] == '+' || text[pos] == '-') negative = text[pos++] == '-';
        if (pos == text.size() || !isDigit(text[pos])) return std::nullopt;
        int value = 0;
        while (pos < text.size() && isDigit(text[pos])) {
            value = value * 10 + (text[pos++] - '0');
            if (value > kHighestTag) return std::nullopt;
        }
        if (negative && value != 0) return std::nullopt;
        if (pos < text.size() && !isSpace(text[pos])) return std::nullopt; // "12abc"
        map[n] = value;
    }
    skipSpace();
    if (pos != text.size()) return std::nullopt; // more than 128 numbers, or text
    return map;
}

std::string formatControllerMap(const ControllerMap& map) {
    std::string text;
    text.reserve(ECS_CONTROLLERS * 5);
    for (int value : map) {
        char buffer[16];
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
        text.append(buffer, result.ptr);
        text += '\n';
    }
    return text;
}

void APlugin::saveECS() {
    std::string folder;
    std::string path;
    fileSelectSaveDirStr("Save ECS", core.folders.ecsDir, "Save", "Ondx.ecs", folder, path);
    if (path.empty()) return;

    ControllerMap map{};
    for (int n = 0; n < ECS_CONTROLLERS; ++n)
        map[n] = engine.midi.ccMap[n].load(std::memory_order_relaxed);
    std::string error;
    if (!writeFileDurably(path, formatControllerMap(map), error)) reportProblem();
}

void APlugin::loadECS() {
    std::string spare;
    std::string folder;
    std::string path;
    fileSelectLoadDirStr("Load ECS", core.folders.ecsDir, "Load", "*.ecs", spare, folder, path);
    if (path.empty()) return;

    std::string text;
    std::string error;
    const std::optional<ControllerMap> map = readRegularFile(path, ECS_MAX_FILE_BYTES, text, error)
                                                 ? parseControllerMap(text)
                                                 : std::nullopt;
    if (!map) {
        reportProblem();
        return;
    }

    {
        const std::lock_guard lock(engine.midi.storeLock);
        const PrefsSaveGroup oneSave;
        for (int n = 0; n < ECS_CONTROLLERS; ++n) {
            engine.midi.ccMap[n].store((*map)[n], std::memory_order_relaxed);
            if (getMidiCC(n) != (*map)[n]) setMidiCC(n, (*map)[n]);
        }
    }
    resetMIDICapture();
}
