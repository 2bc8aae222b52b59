// Typed entry and stepping of parameter values.
//
// setNumValue asks for a parameter's value in the unit its value text uses
// (milliseconds, hertz, decibels, per cent, step numbers) and turns the
// answer back into the normalised value with the inverse of the text's
// formula in core/display_texts.cpp; setModValue does the same for a
// modulation slot's amount in the unit of the slot's destination.
// changeDelta serves the mouse wheel and the step arrows.
//
// Everything here runs on the main thread. The input box is modal; values
// reach the engine through setParameter and setParameterAutomated like any
// other editor change. Typed numbers are read with '.' as the decimal point
// whatever LC_NUMERIC the host has set (textToDouble, textToInt).

#include "core/aplugin.h"
#include "core/display_scales.h"
#include "core/vocabulary.h"
#include "platform/dialogs.h"
#include "platform/file_helpers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>
#include <optional>

namespace {

// A normalised value from a computed one: below 0, NaN (log2 of a negative
// number) and -inf (log2 of 0) give the bottom of the range.
float unitValue(double v) {
    if (!(v > 0.0)) return 0.0f;
    return v >= 1.0 ? 1.0f : static_cast<float>(v);
}

std::string strippedText(std::string text) {
    stripAllButNum(text);
    return text;
}

// The leading number of the answer, as atof reads it; optionally only the
// digits, signs and points of the answer are kept first.
double numberOf(const std::string& answer, bool strip) {
    return textToDouble(strip ? strippedText(answer) : answer);
}

// Whether the answer holds a number where numberOf and intOf read it; an
// answer that does not keeps the value as it is.
bool readable(const std::string& answer, bool strip) {
    return startsWithNumber(strip ? strippedText(answer) : answer);
}

int intOf(const std::string& answer, bool strip) {
    return textToInt(strip ? strippedText(answer) : answer);
}

// A frequency: value texts switch to kilohertz from 1000 Hz on ("1.5 KHz"),
// so a 'k' anywhere in the answer scales the number by 1000.
double hertzOf(const std::string& answer, bool strip) {
    const double x = numberOf(answer, strip);
    const bool kilo = answer.find_first_of("kK") != std::string::npos;
    return kilo ? x * 1000.0 : x;
}

// The number a value text shows, in the unit the box asks in: "1.5 KHz" is
// 1500 (Hz) and "1.50 sec" 1500 (ms); nullopt for a text without a number.
std::optional<double> shownNumber(const std::string& text) {
    const std::string digits = strippedText(text);
    if (!startsWithNumber(digits)) return std::nullopt;
    double x = textToDouble(digits);
    const bool thousands = text.find("KHz") != std::string::npos ||
                           text.find("Khz") != std::string::npos ||
                           text.find(" sec") != std::string::npos;
    if (thousands) x *= 1000.0;
    return x;
}

// The text an envelope time's box opens with: its whole milliseconds, finer
// than the value text's hundredths of a second from 1000 ms on.
std::string envBoxText(float value) {
    return APlugin::getFloatStr(display_scale::envLenMs(value), 2) + " ms";
}

// The text the box of tag t opens with for a value: the row's own text where
// it has one in the prompt's unit, else the value text.
std::string boxText(const APlugin& p, int t, float value) {
    if (p.meta().displayKind[t] == kDisplayEnvTime && !p.freeEnvTimeSynced(t))
        return envBoxText(value);
    return p.formatParameterValue(t, value);
}

// How far either way of a computed value a typed number is looked for, in
// floats: the value texts' own rounding moves a value by a few at most.
constexpr int kShowingSearch = 64;

// The value to store for tag t when x was typed and v computed from it. A
// typed number lies on the edge of a text's step ("1000 Hz", "100 ms",
// "1056.00 ms"), where the float nearest the exact value may show the step
// below ("999 Hz"). Of the floats next to v, the nearest whose box text
// shows x is taken, so that the box reads back what was typed and the value
// text is the one the display gives x; v itself when it shows x, or when
// none does (x lies between two texts, or the text holds no number).
float valueShowing(const APlugin& p, int t, float v, double x) {
    auto shows = [&p, t, x](float candidate) {
        const std::optional<double> n = shownNumber(boxText(p, t, candidate));
        return n && std::fabs(*n - x) <= 1e-9 * std::max(1.0, std::fabs(x));
    };
    if (shows(v)) return v;
    float up = v;
    float down = v;
    for (int i = 0; i < kShowingSearch; ++i) {
        up = std::nextafter(up, 2.0f);
        down = std::nextafter(down, -1.0f);
        if (up <= 1.0f && shows(up)) return up;
        if (down >= 0.0f && shows(down)) return down;
    }
    return v;
}

// Stores v, computed from the typed number x, as the value that shows x.
void storeTyped(APlugin& p, int t, double v, double x) {
    const float value = unitValue(v);
    p.setParameter(t, valueShowing(p, t, value, x));
}

std::string intText(int value) {
    char buffer[16];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

// "first [0] to last [n]" for the tempo-synced lists, whose entries the user
// picks by number.
template <std::size_t N> std::string indexRangePrompt(const Vocab<N>& table) {
    const int last = static_cast<int>(N) - 1;
    return std::string(table[0]) + " [0] to " + table[N - 1] + " [" + intText(last) + "]";
}

// What the box of one parameter asks and how its answer is stored.
struct TypedEntry {
    bool opens = true; // internal tags get no box
    std::string prompt;
    std::optional<std::string> initialText; // replaces the value text when set
    // Confirming the box with the current value's text unchanged keeps the
    // value as it is, also where that text is not a number of the prompt's
    // unit (a list entry, "50% L / 100% R").
    std::function<void(const std::string& answer)> store;
};

bool inRange(int t, int first, int last) {
    return t >= first && t <= last;
}

TypedEntry typedEntryFor(APlugin& p, int t, float stored) {
    const ParamTable& m = p.meta();
    const int kind = m.displayKind[t];
    TypedEntry e;

    // answer -> x (atof, optionally stripped) -> value, stored plainly.
    auto linear = [&p, t](bool strip, double divisor, double offset) {
        return [&p, t, strip, divisor, offset](const std::string& a) {
            if (!readable(a, strip)) return;
            const double x = numberOf(a, strip);
            storeTyped(p, t, x / divisor + offset, x);
        };
    };
    // Logarithmic rows: nothing is stored unless x is above the threshold;
    // a number below the range gives its bottom, or lowest when the bottom
    // shows something else (a free LFO stands still there).
    auto logarithmic = [&p, t](bool hertz, double threshold, std::function<double(double)> toValue,
                               double lowest = 0.0) {
        return [&p, t, hertz, threshold, toValue, lowest](const std::string& a) {
            if (!readable(a, false)) return;
            const double x = hertz ? hertzOf(a, false) : numberOf(a, false);
            if (x > threshold) storeTyped(p, t, std::max(toValue(x), lowest), x);
        };
    };
    // A step number typed for a list of count entries stored with range.
    auto stepped = [&p, t](float range, int count) {
        return [&p, t, range, count](const std::string& a) {
            if (readable(a, true)) p.setSteppedValue(t, intOf(a, true), range, count);
        };
    };
    const auto percentBipolar = "-100 to 100%";
    const int freeLfo = t == tag::freeLfoSpeed(0) ? 0 : t == tag::freeLfoSpeed(1) ? 1 : -1;
    const bool delayLength = t == tag::DelayLeft || t == tag::DelayRight;

    auto inArpRow = [t](int row) {
        return inRange(t, tag::arpStep(row, 0), tag::arpStep(row, tag::ArpStepCount - 1));
    };

    if (t == tag::ArpNumSteps || t == tag::ArpLoopStart) {
        e.prompt = "1 to 16 Steps";
        e.store = [&p, t](const std::string& a) {
            if (readable(a, true)) p.setSteppedValue(t, intOf(a, true) - 1);
        };
    } else if (inArpRow(tag::RowVelocity)) {
        e.prompt = "0 to 127";
        e.store = linear(false, 127.0, 0.0);
    } else if (inArpRow(tag::RowTune)) {
        e.prompt = "-36 to 36 semi";
        e.store = [&p, t](const std::string& a) {
            if (!readable(a, false)) return;
            const int semitones = intOf(a, false);
            storeTyped(p, t, (semitones + 0.1) / 72.0 + 0.5, semitones);
        };
    } else if (inArpRow(tag::RowRatchet)) {
        // The step's ratchet count as it is typed: 0 for Off, else 2, 3 or 4.
        const int ratchet = p.getSteppedValue(t);
        e.initialText = ratchet > 0 ? intText(ratchet + 1) : "0";
        e.prompt = "0 - Off, 2,3,4";
        e.store = [&p, t, range = m.steppedRange[t]](const std::string& a) {
            const std::string s = strippedText(a);
            if (!startsWithNumber(s)) return;
            const int step = s == "2" ? 1 : s == "3" ? 2 : s == "4" ? 3 : 0;
            p.setParameter(t, ParamTable::stepToValue(step, range));
        };
    } else if (inRange(t, tag::XYX, tag::XYModAmountFirst + tag::XYModCount - 1) ||
               t == tag::OscSubVolume) {
        e.prompt = percentBipolar;
        e.store = linear(true, 200.0, 0.5);
    } else if (t == tag::OscSModSpeed) {
        e.prompt = "0 to 27.5Hz";
        e.store = logarithmic(true, 0.0001, [](double x) {
            return std::log2(x / SModLfo::hertz(1.0f)) / 10.0 + 1.0;
        });
    } else if (t == tag::ArpMagicSteps) {
        e.prompt = "0 (0: Off) to 8 (4 Steps: Random)";
        e.store = [&p](const std::string& a) {
            if (readable(a, true)) p.setSteppedValue(tag::ArpMagicSteps, intOf(a, true));
        };
    } else if (inRange(t, tag::xyPointX(0), tag::xyPointY(tag::XYPointCount - 1))) {
        e.prompt = percentBipolar;
        e.store = linear(true, 200.0, 0.5);
    } else if (freeLfo >= 0 && p.getOnOff(tag::freeLfoSync(freeLfo))) {
        e.prompt = indexRangePrompt(LFO_PERIOD_STR);
        e.store = stepped(33.99f, 34);
    } else if (freeLfo >= 0) {
        e.prompt = "0 to 440Hz";
        e.store = logarithmic(
            true, 0.0001, [](double x) { return std::log2(x / FreeLfo::hertz(1.0f)) / 15.0 + 1.0; },
            display_scale::kFreeLfoStill);
    } else if (t == tag::XYSpeed) {
        e.prompt = "0.06x to 16x";
        e.store = logarithmic(false, 0.0001, [](double x) { return std::log2(x) / 8.0 + 0.5; });
    } else if (t == tag::ChorusLength || t == tag::FlangerLength) {
        e.prompt = "0 to 50ms";
        e.store = linear(false, 50.0, 0.0);
    } else if (t == tag::FlangerSpeed || t == tag::PhaserSpeed) {
        e.prompt = indexRangePrompt(FX_PERIOD_STR);
        e.store = stepped(m.steppedRange[t], m.steppedNum[t]);
    } else if (t == tag::ChorusSpeed) {
        e.prompt = "0 to 13.75Hz";
        e.store =
            logarithmic(true, 0.0001, [](double x) { return std::log2(x * 4096.0 / 55.0) / 10.0; });
    } else if (delayLength && p.getOnOff(tag::DelaySyncOn)) {
        e.prompt = indexRangePrompt(DELAY_LEN_STR);
        e.store = stepped(14.99f, 15);
    } else if (delayLength) {
        e.prompt = "0 to 1024ms";
        e.store = logarithmic(false, 0.001, [](double x) { return std::log2(x) / 12.0; });
    } else if (t == tag::ReverbLength) {
        e.prompt = "1 to 400%";
        e.store =
            logarithmic(false, 0.0001, [](double x) { return (std::log2(x / 100.0) + 6.0) / 8.0; });
    } else if (t == tag::ReverbSize) {
        e.prompt = "0.25 to 7.75m^3";
        e.store = [&p](const std::string& a) {
            if (!readable(a, false)) return;
            const double x = numberOf(a, false);
            storeTyped(p, tag::ReverbSize, (4.0 * x - 1.0) / 30.75, x);
        };
    } else if (t == tag::ReverbPreDelay) {
        e.prompt = "0 to 511ms";
        e.store =
            logarithmic(false, 0.0001, [](double x) { return std::log2(2.0 * x + 1.0) / 10.0; });
    } else if (t == tag::WaveShaper1 || t == tag::WaveShaper2) {
        // Typed in the scale the shaper mode shows the amount in.
        using display_scale::Shaper;
        const Shaper scale = display_scale::shaperAmount(t, p.getSteppedValue(tag::WaveShaperMode));
        const bool bipolar = scale == Shaper::Bipolar;
        const bool doubled = scale == Shaper::Doubled;
        e.prompt = bipolar ? percentBipolar : doubled ? "0 to 200%" : "0 to 100%";
        e.store = linear(true, bipolar || doubled ? 200.0 : 100.0, bipolar ? 0.5 : 0.0);
    } else if (kind == kDisplayInternal) {
        // Internal tags, the host-only commands among them, are never typed.
        e.opens = false;
    } else if (m.steppedNum[t] != -1) {
        e.prompt = "0 to " + intText(m.steppedNum[t] - 1);
        e.store = stepped(m.steppedRange[t], m.steppedNum[t]);
    } else if (kind == kDisplayOnOff) {
        e.initialText = p.getCurrentValue(t) < 0.5f ? "Off" : "On";
        e.prompt = "0 for Off, 1 for On";
        e.store = [&p, t](const std::string& a) {
            const std::string s = strippedText(a);
            if (!startsWithNumber(s)) return;
            p.setParameter(t, textToDouble(s) >= 0.5 ? 1.0f : 0.0f);
        };
    } else if (kind == kDisplayBipolar || kind == kDisplayPan || kind == kDisplayMix) {
        e.prompt = percentBipolar;
        e.store = linear(true, 200.0, 0.5);
    } else if (kind == kDisplayDecibel) {
        e.prompt = "-60 to 0 dB";
        e.store = linear(false, 60.0, 1.0);
    } else if (kind == kDisplayMidi) {
        e.prompt = "0 to 127";
        e.store = linear(false, 127.0, 0.0);
    } else if (kind == kDisplayFilterFreq) {
        e.prompt = "20 to 20500 hz";
        e.store = [&p, t](const std::string& a) {
            if (!readable(a, true)) return;
            const double hertz = hertzOf(a, true);
            storeTyped(p, t, std::log2(hertz / 20.0) / 10.0, hertz);
        };
    } else if (kind == kDisplayEnvTime && p.freeEnvTimeSynced(t)) {
        e.prompt = indexRangePrompt(ENV_TEMPO_SYNC_STR);
        e.store = stepped(30.99f, 31);
    } else if (kind == kDisplayEnvTime) {
        e.initialText = envBoxText(stored);
        e.prompt = "1 to 16000 ms";
        e.store = [&p, t](const std::string& a) {
            if (!readable(a, false)) return;
            // The value text's seconds ("1.06 sec") are taken as shown.
            const bool seconds = a.find("sec") != std::string::npos;
            const double ms = numberOf(a, false) * (seconds ? 1000.0 : 1.0);
            storeTyped(p, t, std::log2(ms) / 14.0, ms);
        };
    } else if (kind == kDisplayFadeTime && p.freeEnvTimeSynced(t)) {
        e.prompt = indexRangePrompt(ENV_FADE_TEMPO_SYNC_STR);
        e.store = stepped(60.99f, 61);
    } else if (kind == kDisplayFadeTime) {
        e.prompt = percentBipolar;
        e.store = linear(true, 200.0, 0.5);
    } else {
        e.prompt = "0 to 100%";
        e.store = linear(true, 100.0, 0.0);
    }
    return e;
}

// Holds the popup flag up while an input box is open, so that the editor's
// screen is not rebuilt under the box, and puts back what it found when the
// box closes, whatever the answer: an entry started from a control (a click
// on a screen or a readout, which no editor refresh follows) leaves the flag
// down, one started from a menu leaves it to the menu's closing refresh.
class PopupFlagHold {
public:
    explicit PopupFlagHold(Flag& flag) : flag(flag), wasUp(flag.get()) { flag.set(); }
    ~PopupFlagHold() {
        if (!wasUp) flag.clear();
    }
    PopupFlagHold(const PopupFlagHold&) = delete;
    PopupFlagHold& operator=(const PopupFlagHold&) = delete;

private:
    Flag& flag;
    const bool wasUp;
};

// Runs the input box with text as its initial text; the answer, "" after
// Cancel.
std::string askFor(APlugin& p, const std::string& prompt, const std::string& title,
                   const std::string& text) {
    char buffer[TEXT_BUFFER_SIZE] = {};
    const std::size_t length = std::min(text.size(), sizeof buffer - 1);
    std::memcpy(buffer, text.data(), length);
    const PopupFlagHold hold(p.core.popupOpen);
    inputBox(prompt, title, buffer);
    return buffer;
}

} // namespace

void APlugin::setNumValue(int t) {
    if (!isValidTag(t)) return;
    const std::string title = getParameterNameStr(t);
    const float stored = getParameter(t);
    const std::string valueText = getParameterDisplayStr(t);

    const TypedEntry entry = typedEntryFor(*this, t, stored);
    if (!entry.opens) return;
    const std::string initial = entry.initialText.value_or(valueText);
    const std::string answer = askFor(*this, entry.prompt, title, initial);
    if (answer.empty()) return;
    if (answer == initial) return;
    entry.store(answer);
}

void APlugin::setModValue(int slot) {
    if (!isValidModSlot(slot)) return;
    const int dest = getModDest(slot);
    if (dest <= dst::None) return; // a slot without destination has no unit to ask in
    const int type = getDestTypeForSlot(slot);
    const int amountTag = tag::slotAmount(slot);

    const std::string title = getParameterNameStr(amountTag);
    const std::string initial = getParameterDisplayStr(amountTag);
    const char* prompt = type == kDestSpeed      ? "0.25x to 4x"
                         : type == kDestSemitone ? "-36 to 36 Semi"
                                                 : "-100 to 100%";
    const std::string answer = askFor(*this, prompt, title, initial);
    if (answer.empty() || answer == initial) return;
    if (!readable(answer, type == kDestSpeed)) return;

    double value = 0.0;
    double typed = 0.0;
    if (type == kDestSpeed) {
        // The value text puts its 'x' in front ("x1.50"); only the number counts.
        typed = std::clamp(numberOf(answer, true), 0.25, 4.0);
        value = (std::log2(typed) + 2.0) / 4.0;
    } else if (type == kDestSemitone) {
        typed = intOf(answer, false); // whole semitones
        value = typed / 72.0 + 0.5;
    } else {
        typed = numberOf(answer, false);
        value = typed / 200.0 + 0.5;
    }
    storeTyped(*this, amountTag, value, typed);
}

void APlugin::changeDelta(int t, int delta, bool fine, float scale) {
    if (!isValidTag(t)) return;
    // A new wave starts with its symmetry centred.
    if (t == tag::OscWaveA || t == tag::OscWaveB) setToDefault(tag::OscSymmetry);

    const int count = params.steppedNum[t];
    if (count != -1) {
        // The play mode steps from the mode that plays, as its menu names it
        // (the arpeggiator while the Arp switch is on); the switch follows
        // the new mode (setParameterAutomated).
        const int from =
            t == tag::PlayMode && !getArpOrPlayLocked() ? getPlayMode() : getSteppedValue(t);
        // Clamped, never wrapped; a huge delta must not overflow on the way.
        const long long step = static_cast<long long>(from) + delta;
        const long long limit = count > 0 ? count : 0;
        setSteppedValue(t, static_cast<int>(std::clamp(step, 0LL, limit)));
        return;
    }
    if (params.isSwitch[t]) {
        if (delta < 0)
            setOff(t);
        else
            setOn(t);
        return;
    }
    const float step = fine ? 0.001f : 0.01f;
    const float v = getParameter(t) + static_cast<float>(delta) * scale * step;
    if (std::isnan(v)) return;
    setParameterAutomated(t, v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v));
}
