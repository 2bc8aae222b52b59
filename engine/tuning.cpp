// Tuning files, the table exchange and the plug-in's tuning operations.
//
//   loadTuning, resetTuning, getTuningName   editor (main thread)
//   prepareTuning                            any thread, when a state or
//                                            preset is about to be applied
//                                            (an audio thread only posts)
//   askForTuningTags                         any thread (only posts)
//   readTuning                               the file worker, or a thread
//                                            that may wait
//   getTuning, setTuning, takeTuning,
//   awaitingRestoredTuning,
//   waitForTuningReads                       audio thread (the last one
//                                            only when rendering offline)
//
// A file is read and parsed only where no audio waits for it; the audio
// thread takes finished tables through the exchange (at the start of every
// block, at preset application and with setGlobalRare). A load that fails
// leaves table, name and switch as they were. A write of the switch or the
// name (a state restored value by value, a learned controller, automation)
// has the worker read the tuning they name.

#include "engine/tuning.h"

#include "core/aplugin.h"
#include "core/numeric.h"
#include "platform/dialogs.h"
#include "platform/file_io.h"

#include <bit>
#include <charconv>
#include <chrono>
#include <thread>

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

// The tuning the stored values name.
TuningSource APlugin::storedTuningSource() const {
    static_assert(TuningSource::kNameTags == tag::TuningNameChars);
    TuningSource source;
    source.on = getStoredValue(tag::HasTuning) >= 0.5f;
    for (std::size_t i = 0; i < TuningSource::kNameTags; ++i)
        source.nameBits[i] = std::bit_cast<std::uint32_t>(
            loadRelaxed(storedProgram().values[tag::TuningNameFirst + static_cast<int>(i)]));
    return source;
}

// Before a state is applied: the tuning its switch and name ask for. A
// thread that may wait reads the file itself, so that the application takes
// the table and a note right after it plays in tune. An audio thread reads
// no file and waits for nothing: it posts the read to the file worker, and
// the application waits for the table (awaitingRestoredTuning, or
// waitForTuningReads when the host renders offline).
void APlugin::prepareTuning(bool audioThread) {
    TuningRequests& requests = engine.tuningRequests;
    if (!audioThread) {
        requests.beginRestore(0); // an earlier restore's wait ends with it
        readTuning(true);
        return;
    }
    const std::uint32_t ticket = requests.ask();
    requests.beginRestore(getStoredValue(tag::HasTuning) >= 0.5f ? ticket : 0);
    core.worker.post(filejob::RestoredTuning);
}

// Any thread, after a write of the tuning switch or a character of its
// name: the worker reads the tuning they name. While a restored state waits
// to be applied with the switch on, its application waits for that read.
void APlugin::askForTuningTags() {
    TuningRequests& requests = engine.tuningRequests;
    const std::uint32_t ticket = requests.ask();
    if (core.presetPending && !core.settingPreset && getStoredValue(tag::HasTuning) >= 0.5f)
        requests.waitAlsoFor(ticket);
    core.worker.post(filejob::TuningTags);
}

// File worker, or a thread that may wait: the file the tuning switch and
// name ask for, published to the notes. A restore reads the file anew;
// after a write of the switch or name the file is read only when they name
// another tuning than the one playing, so that a file the editor loaded
// from elsewhere stays (a read of its name in the tuning folder would not
// find it). Values written during the read are read for again.
void APlugin::readTuning(bool restore) {
    TuningRequests& requests = engine.tuningRequests;
    const std::uint32_t asked = requests.asked.load(std::memory_order_acquire);
    for (;;) {
        TuningSource wanted;
        {
            const std::lock_guard lock(requests.sourceLock);
            wanted = storedTuningSource();
            if (!restore && wanted == requests.published) break;
        }
        std::optional<TuningTable> table;
        if (wanted.on) {
            // Two characters to a tag: an odd-length name comes back with a
            // blank at its end.
            const std::string folder = core.folders.tuningDir;
            const std::string name =
                get2StringFromParamStr(tag::TuningNameFirst, tag::TuningNameChars);
            // The file system may not answer: the worker reads apart from
            // the plug-in, which may close meanwhile.
            core.worker.apart([&table, &folder, &name] {
                table = readTuningFile(tuningFilePath(folder, name));
                if (!table && !name.empty() && name.back() == ' ')
                    table = readTuningFile(tuningFilePath(folder, name.substr(0, name.size() - 1)));
            });
        }
        const std::lock_guard lock(requests.sourceLock);
        if (!(storedTuningSource() == wanted)) continue;
        engine.tuning.publish(table ? *table : identityTuning());
        requests.published = wanted;
        break;
    }
    requests.serve(asked);
}

// Audio thread, at the start of a block on a thread the host renders
// offline: every tuning read asked for before the block ends first, and the
// block plays its table, so that it sounds the same however long the reads
// take. A read that does not end within the limit (a file system that does
// not answer) costs one wait: later blocks go on with the table they have
// until another read is asked for.
void APlugin::waitForTuningReads() {
    TuningRequests& requests = engine.tuningRequests;
    const std::uint32_t upTo = requests.asked.load(std::memory_order_acquire);
    if (upTo == requests.gaveUpAt) return;
    const auto giveUp = std::chrono::steady_clock::now() + requests.offlineWaitLimit;
    while (!requests.answered(upTo)) {
        if (std::chrono::steady_clock::now() >= giveUp) {
            requests.gaveUpAt = upTo;
            return;
        }
        if (!core.worker.running()) core.worker.serveNow(); // no thread of its own
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
}

// Audio thread, while a preset application is pending: whether this block
// of `frames` should wait for the tuning file the restore asked the worker
// for. Each restore waits until its table has arrived, kWaitLimit at most,
// counted in time and in frames alike.
bool APlugin::awaitingRestoredTuning(int frames) {
    TuningRequests& requests = engine.tuningRequests;
    const std::uint64_t wait = requests.pendingWait.load(std::memory_order_acquire);
    const auto restore = static_cast<std::uint32_t>(wait >> 32);
    const auto ticket = static_cast<std::uint32_t>(wait);
    if (ticket == 0 || requests.answered(ticket)) return false;
    const auto now = std::chrono::steady_clock::now();
    if (restore != requests.waitingFor) {
        requests.waitingFor = restore;
        requests.waitOver = false;
        requests.waitingSince = now;
        requests.waitedFrames = 0;
    }
    if (requests.waitOver) return false;
    const double limitFrames =
        std::chrono::duration<double>(TuningRequests::kWaitLimit).count() * engine.rate.sampleRateD;
    if (now - requests.waitingSince >= TuningRequests::kWaitLimit ||
        static_cast<double>(requests.waitedFrames + frames) > limitFrames) {
        requests.waitOver = true;
        return false;
    }
    requests.waitedFrames += frames;
    return true;
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
    // The table stands for the name and switch written with it: the
    // worker, told of their writes, finds them read already.
    TuningRequests& requests = engine.tuningRequests;
    const std::lock_guard lock(requests.sourceLock);
    engine.tuning.publish(*table);
    set2StringFromParam(fileStem(path), tag::TuningNameFirst, tag::TuningNameChars);
    setParameter(tag::HasTuning, 1.0f);
    requests.published = storedTuningSource();
}

void APlugin::resetTuning() {
    TuningRequests& requests = engine.tuningRequests;
    const std::lock_guard lock(requests.sourceLock);
    setParameter(tag::HasTuning, 0.0f);
    engine.tuning.publish(identityTuning());
    requests.published = storedTuningSource();
}

std::string APlugin::getTuningName() const {
    if (!getOnOff(tag::HasTuning)) return "Default Tuning";
    std::string name = get2StringFromParamStr(tag::TuningNameFirst, tag::TuningNameChars);
    if (!name.empty() && name.back() == ' ') name.pop_back();
    return name;
}
