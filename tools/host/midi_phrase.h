// Notes for the offline host: parsing --note arguments, the built-in phrase,
// and turning notes into a sample-accurate list of MIDI messages.
#pragma once

#include "core/numeric.h"
#include "numbers.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ondix::host {

struct PhraseNote {
    int note = 60;       // MIDI note number, 0..127
    int velocity = 100;  // 1..127
    double start = 0.0;  // seconds
    double length = 1.0; // seconds, > 0
};

// One short MIDI message (status byte with its channel, up to two data bytes;
// unused ones are 0), placed at an absolute sample frame.
struct MidiMessage {
    int64_t frame = 0;
    uint8_t status = 0;
    uint8_t data1 = 0;
    uint8_t data2 = 0;
};

constexpr uint8_t kNoteOn = 0x90;
constexpr uint8_t kNoteOff = 0x80;

// The longest render of either host, in seconds: no note may sound after it.
constexpr double kMaxRenderSeconds = 3600.0;

// "60", "C4", "F#3", "Bb2", "c-1": a note number or a name with C4 = 60.
inline std::optional<int> parseNoteName(std::string_view text) {
    if (text.empty()) return std::nullopt;
    int note = 0;
    if (auto number = parseInt(text)) {
        note = static_cast<int>(std::clamp<int64_t>(*number, -1, 128));
    } else {
        static constexpr int kPitchClass[7] = {9, 11, 0, 2, 4, 5, 7}; // A B C D E F G
        char letter = text.front();
        if (letter >= 'a' && letter <= 'g') letter = static_cast<char>(letter - 'a' + 'A');
        if (letter < 'A' || letter > 'G') return std::nullopt;
        int pitch = kPitchClass[letter - 'A'];
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '#' || text.front() == 'b')) {
            pitch += text.front() == '#' ? 1 : -1;
            text.remove_prefix(1);
        }
        auto octave = parseInt(text);
        if (!octave || *octave < -1 || *octave > 9) return std::nullopt;
        note = static_cast<int>(*octave + 1) * 12 + pitch;
    }
    if (note < 0 || note > 127) return std::nullopt;
    return note;
}

// NOTE[:VELOCITY[:START[:LENGTH]]], START and LENGTH in seconds.
// On failure returns nullopt and says why in `error`.
inline std::optional<PhraseNote> parseNoteArgument(std::string_view text, std::string& error) {
    std::vector<std::string_view> fields;
    for (size_t begin = 0;;) {
        size_t colon = text.find(':', begin);
        fields.push_back(
            text.substr(begin, colon == std::string_view::npos ? colon : colon - begin));
        if (colon == std::string_view::npos) break;
        begin = colon + 1;
    }
    if (fields.size() > 4) {
        error = "too many fields (expected NOTE:VELOCITY:START:LENGTH)";
        return std::nullopt;
    }
    PhraseNote parsed;
    auto note = parseNoteName(fields[0]);
    if (!note) {
        error = "note must be 0..127 or a name like C4, F#3, Bb2";
        return std::nullopt;
    }
    parsed.note = *note;
    if (fields.size() > 1) {
        auto velocity = parseInt(fields[1]);
        if (!velocity || *velocity < 1 || *velocity > 127) {
            error = "velocity must be 1..127";
            return std::nullopt;
        }
        parsed.velocity = static_cast<int>(*velocity);
    }
    if (fields.size() > 2) {
        auto start = parseDouble(fields[2]);
        if (!start || *start < 0.0) {
            error = "start must be a number of seconds >= 0";
            return std::nullopt;
        }
        parsed.start = *start;
    }
    if (fields.size() > 3) {
        auto length = parseDouble(fields[3]);
        if (!length || *length <= 0.0) {
            error = "length must be a number of seconds > 0";
            return std::nullopt;
        }
        parsed.length = *length;
    }
    if (!(parsed.start + parsed.length <= kMaxRenderSeconds)) {
        error = "the note must end within 3600 s, the longest render";
        return std::nullopt;
    }
    return parsed;
}

// Four bars at 120 BPM in A minor, Am - F - C - G - Am: a bass note held
// for most of each bar and a melody over it. The last bar turns from G back
// to Am, the melody coming home to A, and everything is let go at 7.75 s, so
// the release can be heard in the tail. Two voices at most sound at once
// (and the releases of two more): the initial patch is loud, each voice
// peaking near a third of the output limit, and a chord under the melody
// drives it into the limit.
inline std::vector<PhraseNote> builtInPhrase() {
    constexpr double kBeat = 0.5; // seconds at 120 BPM
    struct Bass {
        double beat;
        double beats;
        int note;
    };
    static constexpr Bass kBass[] = {
        {0, 3.5, 45},   // Am
        {4, 3.5, 41},   // F
        {8, 3.5, 48},   // C
        {12, 1.75, 43}, // G
        {14, 1.5, 45},  // Am
    };
    struct Step {
        int note;
        double beat;
        double beats;
    };
    static constexpr Step kMelody[] = {
        {69, 0, 1},  {72, 1, 1},  {76, 2, 1.5},  {74, 3.5, 0.5}, // bar 1
        {72, 4, 1},  {69, 5, 1},  {72, 6, 1.5},  {69, 7.5, 0.5}, // bar 2
        {67, 8, 1},  {72, 9, 1},  {76, 10, 1},   {79, 11, 1},    // bar 3
        {74, 12, 1}, {71, 13, 1}, {69, 14, 1.5},                 // bar 4
    };

    std::vector<PhraseNote> notes;
    for (const Bass& bass : kBass)
        notes.push_back({bass.note, 80, bass.beat * kBeat, bass.beats * kBeat});
    for (const Step& step : kMelody) {
        notes.push_back({step.note, 100, step.beat * kBeat, step.beats * kBeat * 0.9});
    }
    return notes;
}

// When the last note is let go, in seconds.
inline double phraseEnd(const std::vector<PhraseNote>& notes) {
    double end = 0.0;
    for (const PhraseNote& n : notes) end = std::max(end, n.start + n.length);
    return end;
}

// The frame nearest to `seconds`, saturating far beyond any renderable
// length (as MIDI file times do) rather than overflowing.
inline int64_t frameAt(double seconds, double sampleRate) {
    return roundTo<double, int64_t>(seconds * sampleRate, 0,
                                    std::numeric_limits<int64_t>::max() / 4);
}

// Note-on/note-off pairs at sample frames, in time order. At equal frames the
// note-offs come first, so a note that ends where the next one on the same key
// begins is retriggered rather than cut.
inline std::vector<MidiMessage> scheduleNotes(const std::vector<PhraseNote>& notes,
                                              double sampleRate) {
    std::vector<MidiMessage> messages;
    messages.reserve(notes.size() * 2);
    for (const PhraseNote& n : notes) {
        const int64_t on = frameAt(n.start, sampleRate);
        int64_t off = frameAt(n.start + n.length, sampleRate);
        off = std::max(off, on + 1);
        auto key = static_cast<uint8_t>(n.note);
        messages.push_back({on, kNoteOn, key, static_cast<uint8_t>(n.velocity)});
        messages.push_back({off, kNoteOff, key, 0});
    }
    std::stable_sort(messages.begin(), messages.end(),
                     [](const MidiMessage& a, const MidiMessage& b) {
                         if (a.frame != b.frame) return a.frame < b.frame;
                         return a.status == kNoteOff && b.status != kNoteOff;
                     });
    return messages;
}

} // namespace ondix::host
