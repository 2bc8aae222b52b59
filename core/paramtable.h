// Per-tag metadata of Ondix's 1024 parameters.
//
// What a normalised value 0..1 means for a tag: its name, how it is shown,
// its steps, default and "zero" values, whether it is a switch, which
// modulation destination its knob feeds, whether a change counts as an edit
// of the loaded preset, which lockable section it belongs to and whether a
// host may automate it.
//
// The table is identical for every plug-in instance, so it is built once per
// process (on first use, thread-safe) and shared read-only afterwards.
#pragma once

#include "core/tags.h"

#include <array>
#include <string>

// How a value is shown and entered.
enum DisplayKind : int {
    kDisplayOwn = 0,     // text chosen per tag (lists, times, names)
    kDisplayOnOff = 1,   // on/off switch
    kDisplayPercent = 2, // 0..100 %
    kDisplayBipolar = 3, // -100..+100 %
    kDisplayDecibel = 4, // level in dB
    kDisplayMidi = 5,    // 0..127
    kDisplayPan = 6,     // centre, left, right
    kDisplayMix = 7,     // dry/wet
    kDisplayArpTune = 9, // semitones of an arpeggiator step
    kDisplayFilterFreq = 11,
    kDisplayModSource = 13,
    kDisplayModDest = 14,
    kDisplayEnvTime = 15,  // envelope time, tempo-synchronised when the section syncs
    kDisplayFadeTime = 16, // free-envelope fade time
    kDisplayInternal = 17, // not meant for the user
};

// Lockable sections.
enum LockSection : int { kLockNone = 0, kLockPlay = 1, kLockArp = 2 };

class ParamTable {
public:
    // The process-wide table, built on first call; it lives while the library
    // or any instance holds the shared objects (core/process_shared.h).
    static const ParamTable& get();

    std::array<float, tag::Count> defaultValue{};
    std::array<int, tag::Count> tagDest{};
    std::array<int, tag::Count> displayKind{};
    std::array<int, tag::Count> steppedNum{};
    std::array<float, tag::Count> steppedRange{};
    std::array<float, tag::Count> zeroValue{};
    std::array<std::string, tag::Count> paramName;
    std::array<bool, tag::Count> isSwitch{};
    std::array<bool, tag::Count> editTracked{};
    std::array<int, tag::Count> lockSection{};
    // What effCanBeAutomated answers: false for tags that store data (names,
    // packed partials, the drawn XY path, markers) or carry commands.
    std::array<bool, tag::Count> automatable{};

    // Defines one tag. A negative zeroValue means "same as the default".
    // Tags outside 0..1023 are ignored.
    void setParameterVars(int tag, float value, bool isSwitch, float stepRange, int steps,
                          int modDest, int displayKind, const std::string& name, float zeroValue);

    // Stepped encoding: step s is stored as (s + 0.1) / range.
    static float stepToValue(int step, float range) {
        return (static_cast<float>(step) + 0.1f) / range;
    }

    ParamTable(); // builds the whole table; use get() outside tests

private:
    void clear();
    void defineAll();
    void defineLocks();
    void defineAutomation();
};
