// ondix-auhost: a command-line AudioUnit host for trying the AudioUnit build
// (ondix-au.so). It loads the library with dlopen and drives the unit only
// through its two entry points, as ondix-host drives a VST 2.4 plug-in.
#include "au_host.h"
#include "core/tags.h"
#include "level_meter.h"
#include "midi_phrase.h"
#include "numbers.h"
#include "output_file.h"
#include "wav_writer.h"

#include <bit>
#include <cmath>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace ondix::host;
using ondix::auhost::AULibrary;
using ondix::auhost::AUTestHost;

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr UInt32 kSliceFrames = 512;
constexpr double kTailSeconds = 2.0;
constexpr double kMaxSeconds = kMaxRenderSeconds;
constexpr double kTempo = 120.0;

constexpr const char* kUsage = R"(ondix-auhost: a command-line AudioUnit host

Usage:
  ondix-auhost render AU.so -o OUT.wav [--seconds S] [--note NOTE[:VEL[:START[:LENGTH]]]]
                                       [--rate HZ]
  ondix-auhost state AU.so
  ondix-auhost --help

render  opens the music device in AU.so through its AudioComponent factory,
        gives it a stereo float output, tells it that it renders offline,
        initialises it and renders 512-frame slices, sending the notes by the
        MusicDevice MIDI call at 120 BPM 4/4 (playing). Writes a stereo 32-bit
        float WAV file (RF64 past 4 GiB) and prints one line: length, peak
        (dBFS and linear), RMS (dBFS). Without --note it plays a built-in
        phrase (four bars).

  -o, --output FILE   WAV file to write (required)
  --seconds S         length, at most 3600 (default: the last note-off + 2 s)
  --note N[:V[:S[:L]]]  a note (0..127 or a name like C4 = 60), velocity 1..127
                      (default 100), start and length in seconds (0 and 1),
                      ending within 3600 s; repeatable
  --rate HZ           sample rate, 8000..768000 (default 44100)

state   opens a unit, sets 20 parameters (switches, stepped ones, characters of
        the preset name and continuous ones) away from their values, saves the
        unit's class information, restores it into a second, fresh unit and
        prints as its last line "restored N of 1024": the parameters whose
        values came back bit for bit.

Exit status: 0 success, 1 the unit or the output file failed (or, for state,
not every value came back), 2 bad command line.
)";

void fail(const std::string& message) {
    std::cerr << "ondix-auhost: " << message << '\n';
}

int usage(const std::string& message) {
    fail(message);
    std::cerr << "Try 'ondix-auhost --help'.\n";
    return kExitUsage;
}

struct Options {
    std::string library;
    std::string output;
    std::optional<double> seconds;
    std::vector<PhraseNote> notes;
    double rate = 44100.0;
};

// --name value or --name=value; an empty optional when args[i] is not --name.
std::optional<std::string> option(const std::vector<std::string_view>& args, size_t& i,
                                  std::string_view name, std::string_view alias,
                                  std::string& error) {
    const std::string_view arg = args[i];
    if (arg.size() > name.size() && arg.substr(0, name.size()) == name && arg[name.size()] == '=')
        return std::string(arg.substr(name.size() + 1));
    if (arg != name && (alias.empty() || arg != alias)) return std::nullopt;
    if (i + 1 >= args.size()) {
        error = std::string(arg) + " needs a value";
        return std::string();
    }
    return std::string(args[++i]);
}

std::optional<Options> parse(const std::vector<std::string_view>& args, std::string& error) {
    Options o;
    for (size_t i = 0; i < args.size() && error.empty(); ++i) {
        if (auto v = option(args, i, "--output", "-o", error)) {
            o.output = *v;
        } else if (auto v = option(args, i, "--seconds", {}, error)) {
            o.seconds = parseDouble(*v);
            if (!o.seconds || *o.seconds <= 0.0 || *o.seconds > kMaxSeconds)
                error = "--seconds must be a number, more than 0 and at most 3600";
        } else if (auto v = option(args, i, "--note", {}, error)) {
            std::string why;
            if (auto note = parseNoteArgument(*v, why))
                o.notes.push_back(*note);
            else if (error.empty())
                error = "--note " + *v + ": " + why;
        } else if (auto v = option(args, i, "--rate", {}, error)) {
            const auto rate = parseInt(*v);
            if (!rate || *rate < 8000 || *rate > 768000)
                error = "--rate must be a whole number of Hz, 8000..768000";
            else
                o.rate = static_cast<double>(*rate);
        } else if (!error.empty()) {
            break;
        } else if (args[i].size() > 1 && args[i].front() == '-') {
            error = "unknown option " + std::string(args[i]);
        } else if (o.library.empty()) {
            o.library = std::string(args[i]);
        } else {
            error = "unexpected argument " + std::string(args[i]);
        }
    }
    if (!error.empty()) return std::nullopt;
    if (o.library.empty())
        error = "render needs an AudioUnit library";
    else if (o.output.empty())
        error = "render needs an output file: -o OUT.wav";
    else if (sameFile(o.output, o.library))
        error = "-o and the AudioUnit library name the same file (" + o.library + ")";
    else if (o.seconds && std::llround(*o.seconds * o.rate) < 1)
        error = "--seconds " + formatFixed(*o.seconds, 6) + " is shorter than one frame at " +
                formatInt(static_cast<int64_t>(o.rate)) + " Hz";
    if (!error.empty()) return std::nullopt;
    return o;
}

int render(const Options& options) {
    const std::vector<PhraseNote> notes = options.notes.empty() ? builtInPhrase() : options.notes;
    const std::vector<MidiMessage> schedule = scheduleNotes(notes, options.rate);
    const double seconds = options.seconds.value_or(phraseEnd(notes) + kTailSeconds);
    if (seconds > kMaxSeconds) return usage("the notes last too long; give --seconds");
    const auto totalFrames = static_cast<int64_t>(std::llround(seconds * options.rate));

    std::string error;
    auto library = AULibrary::load(options.library, error);
    if (!library) {
        fail(error);
        return kExitFailure;
    }
    AUTestHost host(library->entries());
    auto check = [&](OSStatus status, const char* what) {
        if (status != noErr) fail(std::string(what) + " failed with status " + formatInt(status));
        return status == noErr;
    };
    if (!check(host.open(), "opening the unit") ||
        !check(host.setOutputFormat(canonicalFormat(options.rate, 2)), "the output format") ||
        !check(host.setMaxFrames(kSliceFrames), "the slice size") ||
        !check(host.offerCallbacks(), "the host callbacks") ||
        !check(host.set(kAudioUnitProperty_OfflineRender, UInt32(1)), "offline rendering") ||
        !check(host.initialize(), "initialising the unit"))
        return kExitFailure;

    WavWriter writer;
    if (!writer.open(options.output, static_cast<int>(options.rate), 2, totalFrames, error)) {
        fail(error);
        return kExitFailure;
    }
    std::vector<float> interleaved(kSliceFrames * 2);
    LevelMeter meter;
    size_t cursor = 0;
    host.time.tempo = kTempo;
    for (int64_t start = 0; start < totalFrames; start += kSliceFrames) {
        const auto frames =
            static_cast<UInt32>(std::min<int64_t>(kSliceFrames, totalFrames - start));
        for (; cursor < schedule.size() && schedule[cursor].frame < start + frames; ++cursor) {
            const MidiMessage& m = schedule[cursor];
            host.midi(m.status, m.data1, m.data2,
                      static_cast<UInt32>(std::max<int64_t>(0, m.frame - start)));
        }
        const double beat = start / options.rate * kTempo / 60.0;
        host.time.beat = beat;
        host.time.downBeat = std::floor(beat / 4.0) * 4.0;
        host.time.samplesToNextBeat = static_cast<UInt32>(
            std::llround((std::ceil(beat) - beat) * 60.0 / kTempo * options.rate));
        host.time.changed = start == 0;
        if (!check(host.render(frames), "rendering")) return kExitFailure;
        for (UInt32 i = 0; i < frames; ++i) {
            interleaved[2 * i] = host.channel(0)[i];
            interleaved[2 * i + 1] = host.channel(1)[i];
        }
        meter.add(interleaved.data(), static_cast<size_t>(frames) * 2);
        if (!writer.write(interleaved.data(), frames, error)) {
            fail(error);
            return kExitFailure;
        }
    }
    host.close();
    if (meter.nonFinite() > 0) {
        fail(formatInt(static_cast<int64_t>(meter.nonFinite())) +
             " output samples were NaN or infinite; nothing written");
        return kExitFailure;
    }
    if (!writer.commit(error)) {
        fail(error);
        return kExitFailure;
    }
    std::cout << options.output << ": " << formatFixed(totalFrames / options.rate, 3) << " s, "
              << "peak " << formatFixed(toDecibels(meter.peak()), 2) << " dBFS ("
              << formatFixed(meter.peak(), 4) << "), RMS "
              << formatFixed(toDecibels(meter.rms()), 2) << " dBFS" << std::endl;
    return kExitOk;
}

// Parameters the state command changes: switches, stepped ones, two
// characters of the preset name, continuous ones.
constexpr int kStateTags[] = {tag::DriftOn,
                              tag::DelayOn,
                              tag::ReverbOn,
                              tag::HiPassQOn,
                              tag::OscWaveA,
                              tag::OscOctave,
                              tag::FilterType,
                              tag::OscMode,
                              tag::PlayMode,
                              tag::PresetNameFirst,
                              tag::PresetNameFirst + 1,
                              tag::MainVolume,
                              tag::MainPan,
                              tag::AmpEnvAttack,
                              tag::OscMorph,
                              tag::FilterFreq,
                              tag::FilterQ,
                              tag::UnisonDetune,
                              tag::DistortAmount,
                              tag::HiPassFreq};
static_assert(std::size(kStateTags) == 20);

// A value away from the current one: a switch flips, anything else moves.
float awayFrom(float current, int index) {
    const float candidate = 0.2f + 0.03f * static_cast<float>(index);
    if (current == 0.0f || current == 1.0f) return current < 0.5f ? 1.0f : 0.0f;
    return candidate == current ? candidate + 0.01f : candidate;
}

int stateRoundTrip(const std::string& path) {
    std::string error;
    auto library = AULibrary::load(path, error);
    if (!library) {
        fail(error);
        return kExitFailure;
    }
    auto check = [&](OSStatus status, const char* what) {
        if (status != noErr) fail(std::string(what) + " failed with status " + formatInt(status));
        return status == noErr;
    };
    AUTestHost source(library->entries());
    if (!check(source.open(), "opening the unit") || !check(source.initialize(), "initialising"))
        return kExitFailure;
    for (std::size_t i = 0; i < std::size(kStateTags); ++i) {
        const auto id = static_cast<AudioUnitParameterID>(kStateTags[i]);
        float current = 0.0f;
        if (!check(source.getParameter(id, current), "reading a parameter") ||
            !check(source.setParameter(id, awayFrom(current, static_cast<int>(i))),
                   "setting a parameter"))
            return kExitFailure;
    }
    CFPropertyListRef state = nullptr;
    if (!check(source.get(kAudioUnitProperty_ClassInfo, state), "saving the state"))
        return kExitFailure;

    AUTestHost target(library->entries());
    const bool restored =
        check(target.open(), "opening a second unit") &&
        check(target.initialize(), "initialising it") &&
        check(target.set(kAudioUnitProperty_ClassInfo, state), "restoring the state");
    CFRelease(state);
    if (!restored) return kExitFailure;
    int same = 0;
    constexpr int kParameters = tag::Count;
    for (int i = 0; i < kParameters; ++i) {
        float a = 0.0f;
        float b = 0.0f;
        source.getParameter(static_cast<AudioUnitParameterID>(i), a);
        target.getParameter(static_cast<AudioUnitParameterID>(i), b);
        same += std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b);
    }
    std::cout << "restored " << same << " of " << kParameters << std::endl;
    return same == kParameters ? kExitOk : kExitFailure;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::cerr << kUsage;
        return kExitUsage;
    }
    const std::string_view command = args.front();
    if (command == "-h" || command == "--help" || command == "help") {
        std::cout << kUsage;
        return kExitOk;
    }
    if (command != "render" && command != "state")
        return usage("unknown command " + std::string(command));
    args.erase(args.begin());
    for (std::string_view a : args)
        if (a == "-h" || a == "--help") {
            std::cout << kUsage;
            return kExitOk;
        }
    if (command == "state") {
        if (args.size() != 1 || args[0].starts_with("-"))
            return usage("state needs one AudioUnit library and nothing else");
        return stateRoundTrip(std::string(args[0]));
    }
    std::string error;
    const auto options = parse(args, error);
    if (!options) return usage(error);
    return render(*options);
}
