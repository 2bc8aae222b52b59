// Standard MIDI Files for the offline host: reading format 0 and 1 files with
// a ticks-per-quarter-note time division, merging their tracks, and turning
// ticks into sample frames through the file's tempo map.
//
// The reader is strict about bounds and lenient about style: every length is
// checked against the bytes that are really there, a file may have at most
// kMaxMidiFileEvents events, and anything malformed ends the read with an
// error message rather than a guess. Running status is honoured, also (as
// many writers expect) across meta and system-exclusive events. Unknown chunk
// types are skipped, as are system-exclusive events and every meta event but
// set-tempo. Program changes are read but not played: the patch is the one
// the command line builds.
#pragma once

#include "midi_phrase.h"
#include "numbers.h"
#include "platform/file_io.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace ondix::host {

constexpr uint32_t kDefaultMicrosPerQuarter = 500000;  // 120 BPM until a set-tempo says otherwise
constexpr size_t kMaxMidiFileEvents = size_t{1} << 22; // events of every kind, all tracks together
constexpr size_t kMaxMidiFileBytes = size_t{64} << 20;

// A channel message at a tick of the merged timeline. Messages with one data
// byte (channel pressure) have data2 = 0.
struct MidiFileEvent {
    uint64_t tick = 0;
    uint8_t status = 0; // 0x80..0xEF, channel in the low nibble
    uint8_t data1 = 0;
    uint8_t data2 = 0;
};

struct TempoChange {
    uint64_t tick = 0;
    uint32_t microsPerQuarter = kDefaultMicrosPerQuarter;
};

struct MidiFile {
    int format = 0;
    int tracks = 0;                    // track chunks read
    int ticksPerQuarter = 0;           // the header's time division
    std::vector<MidiFileEvent> events; // all tracks merged, in time order
    std::vector<TempoChange> tempos;   // in time order; before the first, 120 BPM
    size_t skipped = 0;                // meta, system-exclusive and program-change events
};

namespace midi_file_detail {

// Big-endian, bounds-checked reading of one byte range. Every read either
// succeeds completely or leaves `error` set and returns false.
class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size, size_t base = 0)
        : data_(data), size_(size), base_(base) {}

    size_t remaining() const { return size_ - pos_; }
    size_t offset() const { return base_ + pos_; } // from the start of the file
    const uint8_t* here() const { return data_ + pos_; }

    bool byte(uint8_t& value, const char* what) {
        if (remaining() < 1) return fail(what);
        value = data_[pos_++];
        return true;
    }
    bool peek(uint8_t& value, const char* what) {
        if (remaining() < 1) return fail(what);
        value = data_[pos_];
        return true;
    }
    bool u16(uint16_t& value, const char* what) {
        if (remaining() < 2) return fail(what);
        value = static_cast<uint16_t>(data_[pos_] << 8 | data_[pos_ + 1]);
        pos_ += 2;
        return true;
    }
    bool u32(uint32_t& value, const char* what) {
        if (remaining() < 4) return fail(what);
        value = uint32_t{data_[pos_]} << 24 | uint32_t{data_[pos_ + 1]} << 16 |
                uint32_t{data_[pos_ + 2]} << 8 | uint32_t{data_[pos_ + 3]};
        pos_ += 4;
        return true;
    }
    // A variable-length quantity: at most four bytes, seven bits each.
    bool vlq(uint32_t& value, const char* what) {
        value = 0;
        for (int i = 0; i < 4; ++i) {
            uint8_t b = 0;
            if (!byte(b, what)) return false;
            value = value << 7 | (b & 0x7F);
            if (!(b & 0x80)) return true;
        }
        error = "at byte " + formatInt(static_cast<int64_t>(offset())) + ": " + what +
                " is a variable-length number of more than four bytes";
        return false;
    }
    bool skip(size_t count, const char* what) {
        if (remaining() < count) return fail(what);
        pos_ += count;
        return true;
    }

    std::string error;

private:
    bool fail(const char* what) {
        error = "at byte " + formatInt(static_cast<int64_t>(offset())) + ": the data ends inside " +
                what;
        return false;
    }

    const uint8_t* data_;
    size_t size_;
    size_t base_;
    size_t pos_ = 0;
};

// Data bytes that follow a channel status byte.
inline int dataBytes(uint8_t status) {
    uint8_t kind = status & 0xF0;
    return kind == 0xC0 || kind == 0xD0 ? 1 : 2;
}

struct TrackEvent {
    MidiFileEvent event;
    bool tempo = false;
    uint32_t microsPerQuarter = 0;
};

// Reads one MTrk chunk's body, appending its channel messages and tempo
// changes. `count` is the running number of events over the whole file.
inline bool readTrack(ByteReader& in, int track, std::vector<TrackEvent>& out, size_t& count,
                      size_t maxEvents, size_t& skipped, std::string& error) {
    auto where = [&](const std::string& what) {
        return "track " + formatInt(track + 1) + ", byte " +
               formatInt(static_cast<int64_t>(in.offset())) + ": " + what;
    };
    uint64_t tick = 0;
    uint8_t running = 0;
    while (in.remaining() > 0) {
        if (++count > maxEvents) {
            error =
                "more than " + formatInt(static_cast<int64_t>(maxEvents)) + " events; not played";
            return false;
        }
        uint32_t delta = 0;
        uint8_t status = 0;
        if (!in.vlq(delta, "an event's delta time") || !in.peek(status, "an event")) {
            error = "track " + formatInt(track + 1) + ", " + in.error;
            return false;
        }
        tick += delta;
        if (status & 0x80) {
            in.skip(1, "an event");
        } else if (running) {
            status = running; // running status: the byte is the first data byte
        } else {
            error = where("a data byte with no status byte before it");
            return false;
        }

        if (status < 0xF0) {
            running = status;
            uint8_t data[2] = {0, 0};
            for (int i = 0; i < dataBytes(status); ++i) {
                if (!in.byte(data[i], "a channel message")) {
                    error = "track " + formatInt(track + 1) + ", " + in.error;
                    return false;
                }
                if (data[i] & 0x80) {
                    error = where("a channel message's data byte has its top bit set");
                    return false;
                }
            }
            if ((status & 0xF0) == 0xC0) {
                ++skipped;
                continue;
            }
            out.push_back({{tick, status, data[0], data[1]}, false, 0});
        } else if (status == 0xF0 || status == 0xF7) {
            uint32_t length = 0;
            if (!in.vlq(length, "a system-exclusive length") ||
                !in.skip(length, "a system-exclusive event")) {
                error = "track " + formatInt(track + 1) + ", " + in.error;
                return false;
            }
            ++skipped;
        } else if (status == 0xFF) {
            uint8_t type = 0;
            uint32_t length = 0;
            if (!in.byte(type, "a meta event") || !in.vlq(length, "a meta event's length")) {
                error = "track " + formatInt(track + 1) + ", " + in.error;
                return false;
            }
            const uint8_t* body = in.here();
            if (!in.skip(length, "a meta event")) {
                error = "track " + formatInt(track + 1) + ", " + in.error;
                return false;
            }
            if (type == 0x2F) return true; // end of track; whatever follows is ignored
            if (type == 0x51) {
                uint32_t micros = length == 3 ? uint32_t{body[0]} << 16 | uint32_t{body[1]} << 8 |
                                                    uint32_t{body[2]}
                                              : 0;
                if (micros == 0) {
                    error = where("a set-tempo event that is not three bytes of a tempo above 0");
                    return false;
                }
                out.push_back({{tick, 0, 0, 0}, true, micros});
            } else {
                ++skipped;
            }
        } else {
            error = where("status byte " + formatHex(status, 2) +
                          " has no place in a file (only in a live MIDI stream)");
            return false;
        }
    }
    return true; // a track without an end-of-track event is read to its chunk's end
}

} // namespace midi_file_detail

// Parses a whole Standard MIDI File held in memory. On failure returns
// nullopt and says what is wrong, and where, in `error`.
inline std::optional<MidiFile> parseMidiFile(const uint8_t* data, size_t size, std::string& error,
                                             size_t maxEvents = kMaxMidiFileEvents) {
    using midi_file_detail::ByteReader;
    ByteReader in(data, size);
    MidiFile file;

    uint32_t headerLength = 0;
    uint16_t format = 0, declaredTracks = 0, division = 0;
    // Every error says where in the file it is, as the track reader's do.
    auto at = [](size_t offset, const std::string& what) {
        return "at byte " + formatInt(static_cast<int64_t>(offset)) + ": " + what;
    };
    if (size < 4 || std::memcmp(data, "MThd", 4) != 0) {
        error = at(0, "not a Standard MIDI File (it does not start with 'MThd')");
        return std::nullopt;
    }
    in.skip(4, "the header");
    if (!in.u32(headerLength, "the header")) {
        error = in.error;
        return std::nullopt;
    }
    if (headerLength < 6) {
        error =
            at(4, "the header is " + formatInt(headerLength) + " bytes long; it needs at least 6");
        return std::nullopt;
    }
    if (headerLength > in.remaining()) {
        error = at(4, "the header claims " + formatInt(headerLength) + " bytes but only " +
                          formatInt(static_cast<int64_t>(in.remaining())) + " remain");
        return std::nullopt;
    }
    in.u16(format, "the header");
    in.u16(declaredTracks, "the header");
    in.u16(division, "the header");
    in.skip(headerLength - 6, "the header"); // later versions may add fields
    if (format > 1) {
        error = at(8, "format " + formatInt(format) +
                          " (independent sequences) is not supported; only formats 0 and 1");
        return std::nullopt;
    }
    if (division & 0x8000) {
        error = at(12, "SMPTE time division is not supported; only ticks per quarter note");
        return std::nullopt;
    }
    if (division == 0) {
        error = at(12, "the header's time division is 0 ticks per quarter note");
        return std::nullopt;
    }
    file.format = format;
    file.ticksPerQuarter = division;

    std::vector<midi_file_detail::TrackEvent> events;
    size_t count = 0;
    while (file.tracks < declaredTracks) {
        uint32_t length = 0;
        if (in.remaining() == 0) {
            error = at(in.offset(), "the file ends after " + formatInt(file.tracks) + " of " +
                                        formatInt(declaredTracks) + " tracks");
            return std::nullopt;
        }
        const uint8_t* type = in.here();
        if (!in.skip(4, "a chunk header") || !in.u32(length, "a chunk header")) {
            error = in.error;
            return std::nullopt;
        }
        if (length > in.remaining()) {
            error = "at byte " + formatInt(static_cast<int64_t>(in.offset() - 8)) +
                    ": a chunk claims " + formatInt(length) + " bytes but only " +
                    formatInt(static_cast<int64_t>(in.remaining())) + " remain";
            return std::nullopt;
        }
        if (std::memcmp(type, "MTrk", 4) != 0) {
            in.skip(length, "a chunk"); // a chunk type we do not know
            continue;
        }
        ByteReader track(in.here(), length, in.offset());
        in.skip(length, "a track");
        if (!midi_file_detail::readTrack(track, file.tracks, events, count, maxEvents, file.skipped,
                                         error)) {
            return std::nullopt;
        }
        ++file.tracks;
    }

    // Tracks were appended one after another; a stable sort by tick merges
    // them, keeping each track's own order and, at equal ticks, track order.
    std::stable_sort(events.begin(), events.end(),
                     [](const auto& a, const auto& b) { return a.event.tick < b.event.tick; });
    for (const auto& e : events) {
        if (e.tempo) {
            file.tempos.push_back({e.event.tick, e.microsPerQuarter});
        } else {
            file.events.push_back(e.event);
        }
    }
    return file;
}

inline std::optional<MidiFile> parseMidiFile(const std::vector<uint8_t>& bytes, std::string& error,
                                             size_t maxEvents = kMaxMidiFileEvents) {
    return parseMidiFile(bytes.data(), bytes.size(), error, maxEvents);
}

// Reads and parses a file from disk: a regular file of at most
// kMaxMidiFileBytes. Errors name the file.
inline std::optional<MidiFile> readMidiFile(const std::string& path, std::string& error) {
    std::string bytes;
    if (!readRegularFile(path, kMaxMidiFileBytes, bytes, error)) return std::nullopt;
    auto file = parseMidiFile(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), error);
    if (!file) error = path + ": " + error;
    return file;
}

// Ticks to sample frames along a file's tempo changes. Time is kept exactly,
// as the sum of ticks times microseconds per quarter note, and rounded to the
// nearest frame only at the end.
class TempoMap {
public:
    TempoMap(const MidiFile& file, double sampleRate)
        : ticksPerQuarter_(static_cast<uint64_t>(std::max(file.ticksPerQuarter, 1))),
          sampleRate_(sampleRate) {
        segments_.push_back({0, 0, kDefaultMicrosPerQuarter});
        for (const TempoChange& change : file.tempos) {
            const Segment& last = segments_.back();
            Wide elapsed = last.elapsed + Wide{change.tick - last.tick} * last.microsPerQuarter;
            segments_.push_back({change.tick, elapsed, change.microsPerQuarter});
        }
        double whole = std::floor(sampleRate);
        integralRate_ = whole == sampleRate && sampleRate > 0.0 && sampleRate < 1e9;
    }

    // The frame at which `tick` sounds, rounded to the nearest frame (halves
    // up), saturating far beyond any renderable length.
    int64_t frameAt(uint64_t tick) const {
        // The last segment that starts at or before `tick`; at equal ticks
        // the last change wins.
        auto after = std::upper_bound(segments_.begin(), segments_.end(), tick,
                                      [](uint64_t t, const Segment& s) { return t < s.tick; });
        const Segment& s = *(after - 1);
        Wide elapsed = s.elapsed + Wide{tick - s.tick} * s.microsPerQuarter; // tick-microseconds
        Wide per = Wide{ticksPerQuarter_} * 1000000u; // tick-microseconds per second
        constexpr auto kLimit = static_cast<Wide>(std::numeric_limits<int64_t>::max() / 4);
        if (integralRate_) {
            if (elapsed / per > kLimit / static_cast<uint64_t>(sampleRate_)) {
                return static_cast<int64_t>(kLimit);
            }
            Wide scaled = elapsed * static_cast<uint64_t>(sampleRate_);
            return static_cast<int64_t>((2 * scaled + per) / (2 * per));
        }
        long double frames = static_cast<long double>(elapsed) / static_cast<long double>(per) *
                             static_cast<long double>(sampleRate_);
        if (!(frames < static_cast<long double>(kLimit))) return static_cast<int64_t>(kLimit);
        return static_cast<int64_t>(std::floor(frames + 0.5L));
    }

private:
    using Wide = unsigned __int128;
    struct Segment {
        uint64_t tick;
        Wide elapsed; // tick-microseconds before `tick`
        uint32_t microsPerQuarter;
    };
    std::vector<Segment> segments_;
    uint64_t ticksPerQuarter_;
    double sampleRate_;
    bool integralRate_ = false;
};

// The file's channel messages at sample frames, in time order.
inline std::vector<MidiMessage> scheduleMidiFile(const MidiFile& file, double sampleRate) {
    TempoMap tempo(file, sampleRate);
    std::vector<MidiMessage> messages;
    messages.reserve(file.events.size());
    for (const MidiFileEvent& e : file.events) {
        messages.push_back({tempo.frameAt(e.tick), e.status, e.data1, e.data2});
    }
    return messages;
}

// Two time-ordered schedules as one; at equal frames `first`'s messages come
// before `second`'s.
inline std::vector<MidiMessage> mergeSchedules(const std::vector<MidiMessage>& first,
                                               const std::vector<MidiMessage>& second) {
    std::vector<MidiMessage> merged;
    merged.reserve(first.size() + second.size());
    std::merge(first.begin(), first.end(), second.begin(), second.end(), std::back_inserter(merged),
               [](const MidiMessage& a, const MidiMessage& b) { return a.frame < b.frame; });
    return merged;
}

} // namespace ondix::host
