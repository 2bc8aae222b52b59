// Tuning files, the table exchange and the plug-in's tuning operations.
//
//   loadTuning, resetTuning, getTuningName   editor (main thread)
//   prepareTuning                            any thread, when a state or
//                                            preset is about to be applied
//                                            (an audio thread only asks)
//   serveTuningRead                          main thread, or an audio thread
//                                            with processing stopped: what
//                                            it asked
//   getTuning, setTuning, takeTuning         audio thread
//
// A file is read and parsed only where no audio waits for it; the audio
// thread takes finished tables through the exchange (at preset application
// and with setGlobalRare). A load that fails leaves table, name and switch
// as they were.

#include "engine/tuning.h"

#include "core/aplugin.h"
#include "core/numeric.h"
#include "platform/dialogs.h"
#include "platform/file_io.h"

#include <charconv>

namespace {

bool beginsWith(std::string_view line, std::string_view prefix) {
    return line.substr(0, prefix.size()) == prefix;
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// The first lines of the text, with an over-long line left empty.
int splitLines(std::string_view text, std::array<std::string_view, kTuningMaxLines>& lines) {
    int count = 0;
    while (!text.empty() && count < kTuningMaxLines) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines[static_cast<std::size_t>(count++)] =
            line.size() > kTuningMaxLineLength ? std::string_view{} : line;
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return count;
}

// "note <n>=<cents>" into the table.
void readNoteLine(std::string_view line, TuningTable& table) {
    if (line.size() < 5 || !(line[0] == 'n' || line[0] == 'N') || line.substr(1, 3) != "ote")
        return;
    const std::size_t equals = line.find('=', 5);
    if (equals == std::string_view::npos) return;
    const std::string_view key = trimmed(line.substr(5, equals - 5));
    std::string_view value = line.substr(equals);
    while (!value.empty() && value.front() == '=') value.remove_prefix(1);
    value = trimmed(value);
    if (!value.empty() && value.front() == '+') value.remove_prefix(1);

    int note = -1;
    const auto [keyEnd, keyError] = std::from_chars(key.data(), key.data() + key.size(), note);
    if (keyError != std::errc{} || key.empty() || note < 0 || note >= 128) return;
    double cents = 0.0;
    const auto [valueEnd, valueError] =
        std::from_chars(value.data(), value.data() + value.size(), cents);
    if (valueError != std::errc{} || value.empty() || !std::isfinite(cents)) return;
    // Held in double first: a float cannot take every finite double.
    table[static_cast<std::size_t>(note)] =
        static_cast<float>(clampTo(cents, static_cast<double>(kTuningMinCents),
                                   static_cast<double>(kTuningMaxCents))) /
        100.0f;
}

} // namespace

TuningTable identityTuning() {
    TuningTable table{};
    for (int n = 0; n < 128; ++n) table[static_cast<std::size_t>(n)] = static_cast<float>(n);
    return table;
}

std::optional<TuningTable> parseTuning(std::string_view text) {
    std::array<std::string_view, kTuningMaxLines> lines{};
    const int count = splitLines(text, lines);
    int exact = -1, plain = -1;
    for (int i = 0; i < count; ++i) {
        const std::string_view line = lines[static_cast<std::size_t>(i)];
        if (beginsWith(line, "[Exac")) exact = i;
        if (beginsWith(line, "[Tuni")) plain = i;
    }
    const int header = exact >= 0 ? exact : plain;
    if (header < 0) return std::nullopt;

    TuningTable table = identityTuning();
    for (int i = header + 1; i < count; ++i) {
        const std::string_view line = lines[static_cast<std::size_t>(i)];
        if (beginsWith(line, ";") || beginsWith(line, "[")) break;
        readNoteLine(line, table);
    }
    return table;
}

std::string tuningFilePath(const std::string& folder, std::string_view name) {
    if (name.empty() || name.find('/') != std::string_view::npos ||
        name.find("..") != std::string_view::npos || name.find('\0') != std::string_view::npos)
        return {};
    std::string path = folder;
    if (!path.empty() && path.back() != '/') path.push_back('/');
    path.append(name);
    path.append(".tun");
    return path;
}

// ------------------------------------------------------------------ the exchange

TuningExchange::TuningExchange() {
    buffers.fill(identityTuning());
}

void TuningExchange::publish(const TuningTable& table) {
    std::lock_guard lock(writers);
    buffers[static_cast<std::size_t>(back)] = table;
    back = middle.exchange(back | kFresh, std::memory_order_acq_rel) & 3;
}

void TuningExchange::take() {
    if ((middle.load(std::memory_order_relaxed) & kFresh) == 0) return;
    front = middle.exchange(front, std::memory_order_acq_rel) & 3;
}

// ------------------------------------------------------------------ the plug-in

namespace {

// The table of a tuning file, or nullopt when it cannot be read or holds no
// tuning.
std::optional<TuningTable> readTuningFile(const std::string& path) {
    if (path.empty()) return std::nullopt;
    std::string text;
    std::string error;
    if (!readRegularFile(path, kTuningMaxFileBytes, text, error)) return std::nullopt;
    return parseTuning(text);
}

std::string fileStem(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return name;
}

} // namespace

float APlugin::getTuning(int note) const {
    note = clampTo(note, 0, 127);
    return getOnOff(tag::HasTuning) ? engine.tuning.pitch(note) : static_cast<float>(note);
}

// Audio thread: the table prepared for the state being applied.
void APlugin::setTuning() {
    engine.tuning.take();
}

void APlugin::takeTuning() {
    engine.tuning.take();
}

// Before a state is applied: the tuning its switch and name ask for. The
// name is stored two characters to a tag, so an odd-length one comes back
// with a blank at its end; a file of the name without it is found too. A
// host may ask on several threads at once (a state restored on one, a
// value written on another): their tables take turns. An audio thread (a
// host writing 997 from within processing) reads no file and waits for no
// writer: it leaves the request to the next call from another thread, and
// the notes keep the tuning they have until that table arrives.
void APlugin::prepareTuning() {
    if (onAudioThread()) {
        core.tuningReadDue.store(true, std::memory_order_release);
        return;
    }
    readTuning();
}

// The file the tuning switch and name ask for, published to the notes.
void APlugin::readTuning() {
    // This read serves every request made so far.
    core.tuningReadDue.exchange(false, std::memory_order_acquire);
    std::optional<TuningTable> table;
    if (getStoredValue(tag::HasTuning) >= 0.5f) {
        const std::string name = get2StringFromParamStr(tag::TuningNameFirst, tag::TuningNameChars);
        const std::string& folder = core.folders.tuningDir;
        table = readTuningFile(tuningFilePath(folder, name));
        if (!table && !name.empty() && name.back() == ' ')
            table = readTuningFile(tuningFilePath(folder, name.substr(0, name.size() - 1)));
    }
    engine.tuning.publish(table ? *table : identityTuning());
}

// The tuning an audio thread asked for, read by any other thread, or by an
// audio thread while the host has processing stopped (a host that makes
// every call from the thread it renders on suspends or resumes it there).
void APlugin::serveTuningRead(bool processingStopped) {
    if (!core.tuningReadDue.load(std::memory_order_relaxed)) return;
    if (processingStopped || !onAudioThread()) readTuning();
}

void APlugin::loadTuning() {
    std::string spare;
    std::string folder;
    std::string path;
    fileSelectLoadDirStr("Tuning Files", core.folders.tuningDir, "Load", "*.tun", spare, folder,
                         path);
    if (path.empty()) return;
    const std::optional<TuningTable> table = readTuningFile(path);
    if (!table) {
        messageBox("Problem with Tuning File", MESSAGE_BOX_OK);
        return;
    }
    engine.tuning.publish(*table);
    set2StringFromParam(fileStem(path), tag::TuningNameFirst, tag::TuningNameChars);
    setParameter(tag::HasTuning, 1.0f);
}

void APlugin::resetTuning() {
    setParameter(tag::HasTuning, 0.0f);
    engine.tuning.publish(identityTuning());
}

std::string APlugin::getTuningName() const {
    if (!getOnOff(tag::HasTuning)) return "Default Tuning";
    std::string name = get2StringFromParamStr(tag::TuningNameFirst, tag::TuningNameChars);
    if (!name.empty() && name.back() == ' ') name.pop_back();
    return name;
}
