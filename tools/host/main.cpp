// ondix-host: an offline VST 2.4 host for trying a plug-in from the command
// line (and for looking at its editor). See kUsage or run `ondix-host --help`.
#include "commands.h"
#include "numbers.h"

#include <cmath>
#include <initializer_list>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ondix::host {

namespace {

constexpr const char* kUsage = R"(ondix-host: an offline VST 2.4 host

Usage:
  ondix-host info PLUGIN.so [--params] [host options]
  ondix-host render PLUGIN.so -o OUT.wav [render options] [host options]
  ondix-host edit PLUGIN.so [--seconds S] [--snapshot FILE.png] [host options]
  ondix-host --help

info    prints what the plug-in says about itself: name, vendor, product,
        versions, category, unique ID, flags, inputs/outputs, programs and
        parameters. --params adds every parameter's name, display, label and
        normalized value.

render  plays notes through the plug-in and writes a stereo 32-bit float WAV
        file (RF64 past 4 GiB), then prints one line: length, peak (dBFS and
        linear), RMS (dBFS).
        Without --note or --midi it plays a built-in phrase (four bars at
        120 BPM).

edit    opens the plug-in's editor in a window of its own on the X display
        and keeps the plug-in's audio running silently (nothing is played)
        until the window is closed. Needs an X server (DISPLAY).

Render options:
  -o, --output FILE     WAV file to write (required)
  --seconds S           length to render, one frame to 3600 s (default: the
                        last note-off or MIDI event + 2 s)
  --midi FILE.mid       play a Standard MIDI File (format 0 or 1, ticks per
                        quarter note), following its tempo changes. Notes,
                        control changes, pitch bend and channel and poly
                        pressure reach the plug-in on their own channels;
                        program changes, system-exclusive and meta events are
                        skipped. Can be combined with --note.
  --note NOTE[:VEL[:START[:LENGTH]]]
                        play a note, repeatable:
                        NOTE 0..127 or a name like C4 (= 60), F#3, Bb2; VEL 1..127
                        (default 100); START and LENGTH in seconds (defaults 0 and 1),
                        ending within 3600 s.
                        Example: --note C4:100:0:1.5 --note E4:90:0.5:1
  --set TAG=VALUE       set a parameter before rendering, repeatable. TAG is the
                        parameter's index or name (case, spaces, '-' and '_' are
                        ignored); VALUE is normalized, 0..1.
                        Example: --set 14=0.1 --set "Main Volume=0.7"
  --load-state FILE     restore the plug-in's state from FILE before rendering
                        (and before any --set): a chunk for a plug-in that
                        exchanges chunks with this host, otherwise the
                        parameter values as 32-bit floats (each 0..1)
  --save-state FILE     after rendering, save the plug-in's state to FILE in
                        the same form
  --preset FILE.ondix   load an Ondix preset file before rendering (after
                        --load-state, before any --set): each of its values is
                        set by parameter name, then the plug-in applies the
                        preset. Parameters the file leaves out keep the values
                        the plug-in starts with (its initial patch).
  --instances N         load N instances (1..64), each set up and rendering the
                        same notes (only the first is written to the file), and
                        print the resident memory before the first and after
                        each, a line each: resident: I instances R KiB (+D KiB)
  --timing              print the time spent inside the plug-in's process calls
                        (events and processReplacing), a line: process:
                        B blocks, F frames, T ms, N ns per frame
  --timing-from S       the same, counting only the blocks that start S seconds
                        or more into the render (leaves the plug-in's start-up
                        work out of a steady-state figure)

Edit options:
  --seconds S           close the editor after S seconds, at most 3600
  --snapshot FILE.png   before closing, write the window's pixels to FILE.png
                        and print "FILE.png WIDTHxHEIGHT" (runs 1 s unless
                        --seconds is given, and on until the editor has drawn);
                        a signal that ends the session writes none

Host options:
  --rate HZ             sample rate (default 44100)
  --block FRAMES        block size, 1..65536 (default 512)
  --host-vendor TEXT    vendor string the host reports (default "Ondix Developers")
  --host-product TEXT   product string the host reports (default "ondix-host")
  -v, --verbose         report parameter settings, the MIDI file's contents, the
                        editor's running time and host callback counts on stderr

Exit status: 0 success, 1 the plug-in or the X display failed, or the WAV file
or the snapshot could not be written, 2 bad command line (an output named as
another file of the command too), an unreadable MIDI, state or preset file, a
state file the plug-in does not take, or a state file that could not be saved.
)";

// Walks argv, understanding "--name value", "--name=value" and "-o value".
class Arguments {
public:
    Arguments(int argc, char** argv) : args_(argv + 1, argv + argc) {}

    bool done() const { return next_ >= args_.size(); }
    std::string_view peek() const { return done() ? std::string_view() : args_[next_]; }
    std::string_view take() { return args_[next_++]; }

    // If the next argument is `name` (or `alias`), consumes it and its value.
    // A missing value is a usage error, recorded in `error`.
    std::optional<std::string> option(std::string_view name, std::string_view alias = {}) {
        std::string_view arg = peek();
        if (arg.size() > name.size() && arg.substr(0, name.size()) == name &&
            arg[name.size()] == '=') {
            ++next_;
            return std::string(arg.substr(name.size() + 1));
        }
        if (arg != name && (alias.empty() || arg != alias)) return std::nullopt;
        ++next_;
        if (done()) {
            error = std::string(arg) + " needs a value";
            return std::nullopt;
        }
        return std::string(take());
    }

    bool flag(std::string_view name, std::string_view alias = {}) {
        if (peek() != name && (alias.empty() || peek() != alias)) return false;
        ++next_;
        return true;
    }

    std::string error;

private:
    std::vector<std::string_view> args_;
    size_t next_ = 0;
};

bool wantsHelp(std::string_view arg) {
    return arg == "-h" || arg == "--help" || arg == "help";
}

int usageError(const std::string& message) {
    reportError(message);
    std::cerr << "Try 'ondix-host --help'.\n";
    return kExitUsage;
}

// Options that both commands understand. Returns false if the next argument
// is not one of them; errors are left in args.error.
bool parseCommonOption(Arguments& args, CommonOptions& options) {
    if (auto value = args.option("--rate")) {
        auto rate = parseInt(*value);
        if (!rate || *rate < 8000 || *rate > 768000) {
            args.error = "--rate must be a whole number of Hz, 8000..768000";
        }
        options.host.sampleRate = rate.value_or(0);
        return true;
    }
    if (auto value = args.option("--block")) {
        auto block = parseInt(*value);
        if (!block || *block < 1 || *block > 65536) {
            args.error = "--block must be 1..65536 frames";
        }
        options.host.blockSize = static_cast<int32_t>(block.value_or(0));
        return true;
    }
    if (auto value = args.option("--host-vendor")) {
        options.host.vendor = *value;
        return true;
    }
    if (auto value = args.option("--host-product")) {
        options.host.product = *value;
        return true;
    }
    if (args.flag("--verbose", "-v")) {
        options.verbose = true;
        return true;
    }
    return false;
}

bool parsePluginPath(Arguments& args, CommonOptions& options) {
    std::string_view arg = args.peek();
    if (arg.size() > 1 && arg.front() == '-') {
        args.error = "unknown option " + std::string(arg);
        return false;
    }
    if (!options.pluginPath.empty()) {
        args.error = "unexpected argument " + std::string(arg);
        return false;
    }
    options.pluginPath = std::string(args.take());
    return true;
}

// A file a command names: an output, or one it reads.
struct NamedFile {
    const char* option;
    const std::string& path;
    bool output;
};

// An output that would replace another output or a file the command reads
// (the first files are the outputs): a message, or "" when there is none. A
// state saved over the one loaded is an update in place, and allowed.
std::string sharedFile(std::initializer_list<NamedFile> files) {
    for (auto a = files.begin(); a != files.end(); ++a) {
        for (auto b = a + 1; b != files.end() && a->output; ++b) {
            if (a->path.empty() || b->path.empty()) continue;
            if (std::string_view(a->option) == "--save-state" &&
                std::string_view(b->option) == "--load-state")
                continue;
            if (sameFile(a->path, b->path))
                return std::string(a->option) + " and " + b->option + " name the same file (" +
                       b->path + ")";
        }
    }
    return {};
}

// --seconds S for the commands that run for a while.
std::optional<double> parseSeconds(Arguments& args) {
    auto value = args.option("--seconds");
    if (!value) return std::nullopt;
    auto seconds = parseDouble(*value);
    if (!seconds || *seconds <= 0.0 || *seconds > kMaxRenderSeconds) {
        args.error = "--seconds must be a number, more than 0 and at most 3600";
        return 0.0;
    }
    return seconds;
}

bool parseRenderOption(Arguments& args, RenderOptions& options) {
    if (auto value = args.option("--output", "-o")) {
        options.output = *value;
        return true;
    }
    if (auto seconds = parseSeconds(args)) {
        options.seconds = seconds;
        return true;
    }
    if (auto value = args.option("--note")) {
        std::string why;
        if (auto note = parseNoteArgument(*value, why)) {
            options.notes.push_back(*note);
        } else {
            args.error = "--note " + *value + ": " + why;
        }
        return true;
    }
    if (auto value = args.option("--midi")) {
        if (!options.midiFile.empty()) {
            args.error = "--midi can be given once";
        } else if (value->empty()) {
            args.error = "--midi needs a file name";
        }
        options.midiFile = *value;
        return true;
    }
    if (auto value = args.option("--save-state")) {
        if (value->empty()) args.error = "--save-state needs a file name";
        options.saveState = *value;
        return true;
    }
    if (auto value = args.option("--preset")) {
        if (value->empty()) args.error = "--preset needs a file name";
        options.preset = *value;
        return true;
    }
    if (auto value = args.option("--load-state")) {
        if (value->empty()) args.error = "--load-state needs a file name";
        options.loadState = *value;
        return true;
    }
    if (auto value = args.option("--instances")) {
        auto count = parseInt(*value);
        if (!count || *count < 1 || *count > kMaxInstances) {
            args.error = "--instances must be 1..64";
        }
        options.instances = static_cast<int>(count.value_or(0));
        return true;
    }
    if (args.flag("--timing")) {
        options.timing = true;
        return true;
    }
    if (auto value = args.option("--timing-from")) {
        auto seconds = parseDouble(*value);
        if (!seconds || !(*seconds >= 0.0 && *seconds <= 3600.0))
            args.error = "--timing-from must be a number of seconds, 0 to 3600";
        options.timing = true;
        options.timingFrom = seconds.value_or(0.0);
        return true;
    }
    if (auto value = args.option("--set")) {
        size_t equals = value->find('=');
        std::optional<double> number;
        if (equals != std::string::npos) number = parseDouble(value->substr(equals + 1));
        if (equals == 0 || !number || *number < 0.0 || *number > 1.0) {
            args.error = "--set " + *value + ": expected TAG=VALUE with VALUE 0..1";
        } else {
            options.settings.push_back({value->substr(0, equals), *number});
        }
        return true;
    }
    return false;
}

int infoCommand(Arguments& args) {
    InfoOptions options;
    while (!args.done() && args.error.empty()) {
        if (wantsHelp(args.peek())) {
            std::cout << kUsage;
            return kExitOk;
        }
        if (args.flag("--params")) {
            options.params = true;
            continue;
        }
        if (parseCommonOption(args, options)) continue;
        if (!args.error.empty()) break;
        parsePluginPath(args, options);
    }
    if (!args.error.empty()) return usageError(args.error);
    if (options.pluginPath.empty()) return usageError("info needs a plug-in file");
    return runInfo(options);
}

int renderCommand(Arguments& args) {
    RenderOptions options;
    while (!args.done() && args.error.empty()) {
        if (wantsHelp(args.peek())) {
            std::cout << kUsage;
            return kExitOk;
        }
        if (parseRenderOption(args, options) || parseCommonOption(args, options)) continue;
        if (!args.error.empty()) break;
        parsePluginPath(args, options);
    }
    if (!args.error.empty()) return usageError(args.error);
    if (options.pluginPath.empty()) return usageError("render needs a plug-in file");
    if (options.output.empty()) return usageError("render needs an output file: -o OUT.wav");
    const std::string shared = sharedFile({{"-o", options.output, true},
                                           {"--save-state", options.saveState, true},
                                           {"the plug-in", options.pluginPath, false},
                                           {"--midi", options.midiFile, false},
                                           {"--load-state", options.loadState, false},
                                           {"--preset", options.preset, false}});
    if (!shared.empty()) return usageError(shared);
    if (options.seconds && std::llround(*options.seconds * options.host.sampleRate) < 1)
        return usageError("--seconds " + formatFixed(*options.seconds, 6) +
                          " is shorter than one frame at " +
                          formatInt(static_cast<int64_t>(options.host.sampleRate)) + " Hz");
    return runRender(options);
}

int editCommand(Arguments& args) {
    EditOptions options;
    while (!args.done() && args.error.empty()) {
        if (wantsHelp(args.peek())) {
            std::cout << kUsage;
            return kExitOk;
        }
        if (auto seconds = parseSeconds(args)) {
            options.seconds = seconds;
            continue;
        }
        if (!args.error.empty()) break;
        if (auto value = args.option("--snapshot")) {
            if (value->empty()) args.error = "--snapshot needs a file name";
            options.snapshot = *value;
            continue;
        }
        if (!args.error.empty()) break;
        if (parseCommonOption(args, options)) continue;
        if (!args.error.empty()) break;
        parsePluginPath(args, options);
    }
    if (!args.error.empty()) return usageError(args.error);
    if (options.pluginPath.empty()) return usageError("edit needs a plug-in file");
    const std::string shared = sharedFile(
        {{"--snapshot", options.snapshot, true}, {"the plug-in", options.pluginPath, false}});
    if (!shared.empty()) return usageError(shared);
    if (!options.snapshot.empty() && !options.seconds) options.seconds = kDefaultSnapshotSeconds;
    return runEdit(options);
}

} // namespace

void reportError(const std::string& message) {
    std::cerr << "ondix-host: " << message << '\n';
}

void reportCallbacks(const CallbackCounts& counts) {
    auto count = [](uint64_t n) { return formatInt(static_cast<int64_t>(n)); };
    std::cerr << "ondix-host: host callbacks " << count(counts.total) << " (getTime "
              << count(counts.getTime) << ", automate " << count(counts.automate) << ", beginEdit "
              << count(counts.beginEdit) << ", endEdit " << count(counts.endEdit)
              << ", updateDisplay " << count(counts.updateDisplay) << ", ioChanged "
              << count(counts.ioChanged) << ", sizeWindow " << count(counts.sizeWindow)
              << ", unanswered " << count(counts.unanswered) << ")\n";
}

} // namespace ondix::host

int main(int argc, char** argv) {
    using namespace ondix::host;
    Arguments args(argc, argv);
    if (args.done()) {
        std::cerr << kUsage;
        return kExitUsage;
    }
    std::string_view command = args.take();
    if (wantsHelp(command)) {
        std::cout << kUsage;
        return kExitOk;
    }
    if (command == "info") return infoCommand(args);
    if (command == "render") return renderCommand(args);
    if (command == "edit") return editCommand(args);
    return usageError("unknown command " + std::string(command));
}
