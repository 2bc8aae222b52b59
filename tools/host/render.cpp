// `ondix-host render`: MIDI notes in, a stereo WAV file out.
#include "commands.h"
#include "event_list.h"
#include "level_meter.h"
#include "midi_file.h"
#include "numbers.h"
#include "resident_memory.h"
#include "wav_writer.h"

#include "core/preset_file.h"
#include "core/tags.h"
#include "platform/file_io.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ondix::host {

namespace {

// "Filter Cutoff", "filter-cutoff" and "filter_cutoff" all name the same thing.
std::string normalizedName(const std::string& name) {
    std::string key;
    for (char c : name) {
        if (c == ' ' || c == '_' || c == '-') continue;
        key += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return key;
}

// A --set tag is a parameter index or a parameter name.
std::optional<VstInt32> findParameter(Plugin& plugin, const std::string& tag, std::string& error) {
    VstInt32 count = plugin.effect().numParams;
    if (auto index = parseInt(tag)) {
        if (*index >= 0 && *index < count) return static_cast<VstInt32>(*index);
        error = "parameter index " + tag + " is out of range (the plug-in has " + formatInt(count) +
                " parameters)";
        return std::nullopt;
    }
    std::string key = normalizedName(tag);
    std::optional<VstInt32> found;
    for (VstInt32 i = 0; i < count; ++i) {
        if (normalizedName(plugin.queryString(effGetParamName, i)) != key) continue;
        if (found) {
            error = "parameter name '" + tag + "' is ambiguous; use an index";
            return std::nullopt;
        }
        found = i;
    }
    if (!found) error = "no parameter named '" + tag + "' (see: ondix-host info --params)";
    return found;
}

bool applySettings(Plugin& plugin, const std::vector<ParameterSetting>& settings, bool verbose) {
    AEffect& effect = plugin.effect();
    if (!settings.empty() && (!effect.setParameter || !effect.getParameter)) {
        reportError("the plug-in offers no setParameter/getParameter");
        return false;
    }
    for (const ParameterSetting& setting : settings) {
        std::string error;
        auto index = findParameter(plugin, setting.tag, error);
        if (!index) {
            reportError(error);
            return false;
        }
        effect.setParameter(&effect, *index, static_cast<float>(setting.value));
        if (verbose) {
            std::string shown = plugin.queryString(effGetParamDisplay, *index);
            std::string label = plugin.queryString(effGetParamLabel, *index);
            if (!label.empty()) shown += " " + label;
            std::cerr << "ondix-host: set " << formatInt(*index) << " '"
                      << plugin.queryString(effGetParamName, *index)
                      << "' = " << formatFixed(effect.getParameter(&effect, *index), 4)
                      << (shown.find_first_not_of(' ') == std::string::npos ? ""
                                                                            : " (" + shown + ")")
                      << '\n';
        }
    }
    return true;
}

// An Ondix preset file's values by parameter name, then the tag that asks
// the plug-in to apply what it holds as a preset. Names the plug-in does not
// have are skipped, as the plug-in's own reader does, and listed on standard
// error when tellSkips is set (the first kListedSkips of them by name).
constexpr std::size_t kListedSkips = 10;

bool applyPreset(Plugin& plugin, const std::string& path,
                 const std::vector<PresetFileValue>& values, bool verbose, bool tellSkips) {
    AEffect& effect = plugin.effect();
    if (!effect.setParameter || effect.numParams <= tag::ApplyPreset) {
        reportError(path + ": the plug-in is not Ondix (it has no preset command)");
        return false;
    }
    std::map<std::string, VstInt32> byName;
    for (VstInt32 i = 0; i < effect.numParams; ++i)
        byName.emplace(plugin.queryString(effGetParamName, i), i);
    std::vector<std::string> unknown;
    for (const PresetFileValue& v : values) {
        const auto it = byName.find(v.name);
        if (it == byName.end()) {
            unknown.push_back(v.name);
            continue;
        }
        effect.setParameter(&effect, it->second, v.value);
    }
    const auto skipped = static_cast<int64_t>(unknown.size());
    if (skipped > 0 && tellSkips) {
        std::string names;
        for (std::size_t i = 0; i < unknown.size() && i < kListedSkips; ++i)
            names += (i ? ", '" : "'") + unknown[i] + "'";
        if (unknown.size() > kListedSkips)
            names += " and " + formatInt(skipped - static_cast<int64_t>(kListedSkips)) + " more";
        reportError(path + ": " + formatInt(skipped) + (skipped == 1 ? " line" : " lines") +
                    " skipped, naming no parameter of the plug-in: " + names);
    }
    effect.setParameter(&effect, tag::ApplyPreset, 1.0f);
    if (verbose)
        std::cerr << "ondix-host: preset " << path << ": "
                  << formatInt(static_cast<int64_t>(values.size()) - skipped) << " values set, "
                  << formatInt(skipped) << " skipped\n";
    return true;
}

// One instance loaded, opened and given the state, preset and settings of
// the command line (the first of several tells what the preset skips). On
// failure it is reported, `status` says how the command ends and the result
// is null.
std::unique_ptr<Plugin> prepareInstance(const RenderOptions& options, const std::string& stateBytes,
                                        const std::vector<PresetFileValue>& presetValues,
                                        bool first, int& status) {
    std::string error;
    auto plugin = Plugin::load(options.pluginPath, options.host, error);
    status = kExitFailure;
    if (!plugin) {
        reportError(error);
        return nullptr;
    }
    AEffect& effect = plugin->effect();
    if (!effect.processReplacing) {
        reportError(options.pluginPath + " has no processReplacing");
        return nullptr;
    }
    if (effect.numOutputs < 1) {
        reportError(options.pluginPath + " has no outputs");
        return nullptr;
    }

    plugin->open();
    status = kExitUsage;
    if (!options.loadState.empty() &&
        !loadState(*plugin, options.loadState, stateBytes, options.verbose, error)) {
        reportError(error);
        return nullptr;
    }
    if (!options.preset.empty() &&
        !applyPreset(*plugin, options.preset, presetValues, options.verbose, first))
        return nullptr;
    if (!applySettings(*plugin, options.settings, options.verbose)) return nullptr;
    status = kExitOk;
    return plugin;
}

// Where each rendered block goes: interleaved stereo, false to stop.
using BlockSink = std::function<bool(const float* interleaved, int32_t frames)>;

struct ProcessTime {
    int64_t blocks = 0;
    int64_t frames = 0;
    int64_t nanoseconds = 0; // inside the plug-in's process calls
};

// Plays the schedule through a resumed plug-in for totalFrames, block by
// block, handing the output to `sink` (if any). Null when the sink stopped.
// The time counts the blocks that start at or after frame `timedFrom`.
std::optional<ProcessTime> play(Plugin& plugin, const std::vector<MidiMessage>& schedule,
                                int64_t totalFrames, int64_t timedFrom, const BlockSink& sink) {
    const AEffect& effect = plugin.effect();
    const int32_t blockSize = plugin.settings().blockSize;
    // Silent inputs and the outputs, at least two of each whatever the
    // plug-in declares, so a plug-in that assumes stereo stays in bounds.
    auto channelBuffers = [&](VstInt32 declared) {
        return std::vector<std::vector<float>>(std::max<VstInt32>(declared, 2),
                                               std::vector<float>(blockSize, 0.0f));
    };
    std::vector<std::vector<float>> inputs = channelBuffers(effect.numInputs);
    std::vector<std::vector<float>> outputs = channelBuffers(effect.numOutputs);
    std::vector<float*> inputPointers, outputPointers;
    for (auto& channel : inputs) inputPointers.push_back(channel.data());
    for (auto& channel : outputs) outputPointers.push_back(channel.data());
    // A mono plug-in is heard on both sides.
    const float* right = effect.numOutputs >= 2 ? outputs[1].data() : outputs[0].data();
    std::vector<float> interleaved(static_cast<size_t>(blockSize) * 2);

    EventList events;
    ProcessTime spent;
    size_t cursor = 0;
    for (int64_t blockStart = 0; blockStart < totalFrames; blockStart += blockSize) {
        auto frames = static_cast<int32_t>(std::min<int64_t>(blockSize, totalFrames - blockStart));
        events.fill(schedule, cursor, blockStart, frames);
        for (auto& channel : outputs) std::fill(channel.begin(), channel.end(), 0.0f);
        const auto begin = std::chrono::steady_clock::now();
        plugin.processBlock(events.events(), inputPointers.data(), outputPointers.data(), frames);
        const auto end = std::chrono::steady_clock::now();
        if (blockStart >= timedFrom) {
            spent.nanoseconds +=
                std::chrono::duration_cast<std::chrono::nanoseconds>(end - begin).count();
            spent.frames += frames;
            ++spent.blocks;
        }
        if (!sink) continue;
        for (int32_t i = 0; i < frames; ++i) {
            interleaved[2 * i] = outputs[0][i];
            interleaved[2 * i + 1] = right[i];
        }
        if (!sink(interleaved.data(), frames)) return std::nullopt;
    }
    return spent;
}

} // namespace

int runRender(const RenderOptions& options) {
    // An offline renderer: whatever thread asks, it may take its time.
    const ProcessLevel offline(kVstProcessLevelOffline, ProcessLevel::EveryThread);
    const double rate = options.host.sampleRate;

    // Everything to play, as one time-ordered list of messages at frames. The
    // MIDI file is read before the plug-in is loaded: a bad file is the
    // command line's fault, and is reported as such.
    std::string error;
    const bool builtIn = options.notes.empty() && options.midiFile.empty();
    const std::vector<PhraseNote> notes = builtIn ? builtInPhrase() : options.notes;
    std::vector<MidiMessage> schedule = scheduleNotes(notes, rate);
    double lastEvent = phraseEnd(notes);
    if (!options.midiFile.empty()) {
        auto file = readMidiFile(options.midiFile, error);
        if (!file) {
            reportError(error);
            return kExitUsage;
        }
        std::vector<MidiMessage> midi = scheduleMidiFile(*file, rate);
        if (!midi.empty()) lastEvent = std::max(lastEvent, midi.back().frame / rate);
        if (options.verbose) {
            std::cerr << "ondix-host: " << options.midiFile << ": format "
                      << formatInt(file->format) << ", " << formatInt(file->tracks) << " tracks, "
                      << formatInt(file->ticksPerQuarter) << " ticks per quarter note, "
                      << formatInt(static_cast<int64_t>(file->tempos.size())) << " tempo changes, "
                      << formatInt(static_cast<int64_t>(midi.size())) << " messages played, "
                      << formatInt(static_cast<int64_t>(file->skipped))
                      << " events skipped, last at " << formatFixed(lastEvent, 3) << " s\n";
        }
        schedule = mergeSchedules(schedule, midi);
    }
    // The state file too: a file that cannot be read is the command line's.
    std::string stateBytes;
    if (!options.loadState.empty() && !readStateFile(options.loadState, stateBytes, error)) {
        reportError(error);
        return kExitUsage;
    }
    // And the preset: a file that is not one is refused before anything runs.
    std::vector<PresetFileValue> presetValues;
    if (!options.preset.empty()) {
        std::string presetText;
        if (!readRegularFile(options.preset, PRESET_FILE_MAX_BYTES, presetText, error) ||
            !parsePresetFile(presetText, presetValues, error)) {
            reportError(options.preset + ": " + error);
            return kExitUsage;
        }
    }
    if (!options.seconds && lastEvent + kDefaultTailSeconds > kMaxRenderSeconds) {
        reportError("the music lasts " + formatFixed(lastEvent, 1) +
                    " s; render at most an hour of it with --seconds");
        return kExitUsage;
    }
    const double seconds = options.seconds.value_or(lastEvent + kDefaultTailSeconds);
    const auto totalFrames = static_cast<int64_t>(std::llround(seconds * rate));

    // Each instance renders the same notes; the first is the one heard, and
    // the others are there for the memory figures.
    std::optional<int64_t> lastResident;
    auto reportResident = [&lastResident](int loaded) {
        std::optional<int64_t> kib = residentKiB();
        std::cout << "resident: " << formatInt(loaded) << " instances ";
        if (!kib) {
            std::cout << "unknown" << std::endl;
            return;
        }
        std::cout << formatInt(*kib) << " KiB";
        if (lastResident) {
            int64_t grown = *kib - *lastResident;
            std::cout << " (" << (grown >= 0 ? "+" : "") << formatInt(grown) << " KiB)";
        }
        std::cout << std::endl;
        lastResident = kib;
    };
    const bool measureMemory = options.instances > 0;
    if (measureMemory) reportResident(0);

    // The plug-in is loaded and set up first: one that cannot be leaves no
    // output begun.
    int status = kExitOk;
    std::unique_ptr<Plugin> first =
        prepareInstance(options, stateBytes, presetValues, true, status);
    if (!first) return status;

    // Every output is started before anything is played, and none takes its
    // name before the whole run has succeeded (output_file.h).
    WavWriter writer;
    if (!writer.open(options.output, static_cast<int>(rate), 2, totalFrames, error)) {
        reportError(error);
        return kExitFailure;
    }
    OutputFile stateFile;
    if (!options.saveState.empty() &&
        !stateFile.open(options.saveState, error)) {
        reportError(error);
        return kExitUsage;
    }

    LevelMeter meter;
    auto toFile = [&](const float* interleaved, int32_t frames) {
        meter.add(interleaved, static_cast<size_t>(frames) * 2);
        if (writer.write(interleaved, frames, error)) return true;
        reportError(error);
        return false;
    };
    ProcessTime spent;
    std::vector<std::unique_ptr<Plugin>> instances;
    for (int i = 0; i < std::max(options.instances, 1); ++i) {
        auto plugin = i == 0 ? std::move(first)
                             : prepareInstance(options, stateBytes, presetValues, false, status);
        if (!plugin) return status;
        const bool heard = instances.empty();
        plugin->resume();
        const auto timedFrom = static_cast<int64_t>(std::ceil(options.timingFrom * rate));
        auto time = play(*plugin, schedule, totalFrames, timedFrom,
                         heard ? BlockSink(toFile) : BlockSink());
        if (!time) return kExitFailure;
        if (heard) spent = *time;
        instances.push_back(std::move(plugin));
        if (measureMemory) reportResident(static_cast<int>(instances.size()));
    }

    Plugin& plugin = *instances.front();
    plugin.suspend();
    if (!options.saveState.empty() && !saveState(plugin, stateFile, options.verbose, error)) {
        reportError(error);
        return kExitUsage;
    }
    if (meter.nonFinite() > 0) {
        reportError(formatInt(static_cast<int64_t>(meter.nonFinite())) +
                    " output samples were NaN or infinite; nothing written");
        return kExitFailure;
    }
    const OutputFile* failed = nullptr;
    if (!writer.finish(error) || !commitOutputs({&writer.output(), &stateFile}, error, &failed)) {
        reportError(error);
        return failed == &stateFile ? kExitUsage : kExitFailure;
    }

    std::cout << options.output << ": " << formatFixed(totalFrames / rate, 3) << " s, "
              << "peak " << formatFixed(toDecibels(meter.peak()), 2) << " dBFS ("
              << formatFixed(meter.peak(), 4) << "), RMS "
              << formatFixed(toDecibels(meter.rms()), 2) << " dBFS" << std::endl;
    if (options.timing) {
        const double perFrame =
            spent.frames > 0 ? double(spent.nanoseconds) / double(spent.frames) : 0.0;
        std::cout << "process: " << formatInt(spent.blocks) << " blocks, "
                  << formatInt(spent.frames) << " frames, "
                  << formatFixed(spent.nanoseconds / 1e6, 3) << " ms, " << formatFixed(perFrame, 1)
                  << " ns per frame" << std::endl;
    }

    if (options.verbose) reportCallbacks(plugin.counts());
    return kExitOk;
}

} // namespace ondix::host
