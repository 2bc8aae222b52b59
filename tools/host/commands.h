// The host's commands, separated from the command-line parsing in main.cpp.
#pragma once

#include "midi_phrase.h"
#include "output_file.h"
#include "plugin_loader.h"

#include <optional>
#include <string>
#include <vector>

namespace ondix::host {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1; // the plug-in or the output file let us down
constexpr int kExitUsage = 2;   // the command line or a file it names is wrong

struct CommonOptions {
    std::string pluginPath;
    HostSettings host;
    bool verbose = false;
};

struct InfoOptions : CommonOptions {
    bool params = false;
};

struct ParameterSetting {
    std::string tag; // parameter index or name
    double value = 0.0;
};

struct RenderOptions : CommonOptions {
    std::string output;
    std::optional<double> seconds; // default: last note off or MIDI event + tail
    std::vector<PhraseNote> notes; // neither notes nor a MIDI file: the built-in phrase
    std::string midiFile;          // a Standard MIDI File to play, if any
    std::vector<ParameterSetting> settings;
    std::string saveState; // after rendering: the state into this file
    std::string loadState; // before rendering: the state from this file
    std::string preset;    // before rendering, after loadState: an Ondix preset file
    // Test-tool measurements: how many instances to load, each rendering the
    // same notes, with the resident memory printed before the first and
    // after each (0: one instance, no memory figures) ...
    int instances = 0;
    // ... and the time spent inside the plug-in's process calls, counted from
    // `timingFrom` seconds into the render.
    bool timing = false;
    double timingFrom = 0.0;
};

constexpr int kMaxInstances = 64;

struct EditOptions : CommonOptions {
    std::optional<double> seconds; // default: until the window is closed
    std::string snapshot;          // before closing: the window's pixels into this PNG file
};

constexpr double kDefaultTailSeconds = 2.0;
constexpr double kDefaultSnapshotSeconds = 1.0; // how long `edit --snapshot` runs by default

int runInfo(const InfoOptions& options);

// The plug-in's state as a file: its bank chunk when it exchanges chunks,
// otherwise its parameter values (32-bit floats in index order); see
// state_file.h. Written to `file`, which takes its name with the run's
// other outputs (commitOutputs).
bool saveState(Plugin& plugin, OutputFile& file, bool verbose, std::string& error);
// The bytes of a state file (a regular file of at most kMaxStateFileBytes).
bool readStateFile(const std::string& path, std::string& bytes, std::string& error);
// Restores the state in bytes, read from path (named in messages).
bool loadState(Plugin& plugin, const std::string& path, const std::string& bytes, bool verbose,
               std::string& error);
int runRender(const RenderOptions& options);
// Shows the plug-in's editor in a window of the host's own, with the audio
// running silently behind it, until the window is closed or time is up.
int runEdit(const EditOptions& options);

// Writes a line to stderr, prefixed with the program's name.
void reportError(const std::string& message);
// Writes the callback counters to stderr (for --verbose).
void reportCallbacks(const CallbackCounts& counts);

} // namespace ondix::host
