// Seeds of the fuzz targets: for each target a folder of well-formed inputs,
// made by the plug-in's own writers where it has one (state chunks, section
// presets, controller maps, user waves, preferences) and otherwise built
// byte by byte as the tests build them (WAV and AIFF samples, MIDI files).
//
//     ondix-fuzz-seeds FOLDER     writes FOLDER/<target>/<seed>
//
// Inputs of targets that start with a set-up byte get it here too.

#include "plugin_support.h"

#include "core/modes.h"
#include "core/preset_store.h"
#include "core/section_tags.h"
#include "editor/section_presets.h"

#include <bit>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <numbers>
#include <span>
#include <string_view>

namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

fs::path gOut;

void writeSeed(const std::string& target, const std::string& name, const Bytes& bytes) {
    const fs::path folder = gOut / target;
    fs::create_directories(folder);
    std::ofstream file(folder / name, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    if (!file) fuzz::fail("cannot write a seed");
}

Bytes withSetup(uint8_t setup, const Bytes& bytes) {
    Bytes out{setup};
    out.insert(out.end(), bytes.begin(), bytes.end());
    return out;
}

Bytes readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) fuzz::fail(("cannot read " + path).c_str());
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

Bytes textBytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// ------------------------------------------------------------------ state chunks

// A patch away from the defaults: filter, volume, a user-wave partial.
void editPatch(APlugin& p) {
    p.setParameter(tag::FilterFreq, 0.3f);
    p.setParameter(tag::MainVolume, 0.6f);
    p.setParameter(tag::partial(0, 3), 0.75f);
}

Bytes chunkOf(fuzz::Instance& plugin, bool preset) {
    void* data = nullptr;
    const VstIntPtr size = plugin.dispatch(effGetChunk, preset ? 1 : 0, 0, &data);
    if (size <= 0 || !data) return {};
    const auto* bytes = static_cast<const uint8_t*>(data);
    return Bytes(bytes, bytes + size);
}

void stateSeeds() {
    Bytes reaperChunk;
    for (uint8_t h = 0; h < 8; ++h) {
        fuzz::Host host(fuzz::kHostKinds[h]);
        fuzz::Instance plugin(host);
        editPatch(plugin.plugin());
        for (bool preset : {false, true}) {
            const Bytes chunk = chunkOf(plugin, preset);
            if (chunk.empty()) continue;
            const auto setup = static_cast<uint8_t>(h | (preset ? 8 : 0));
            writeSeed("state_chunk", "host" + std::to_string(h) + (preset ? "-preset" : "-bank"),
                      withSetup(setup, chunk));
            if (h == 0) reaperChunk = chunk;
            if (h == 3 && !preset) writeSeed("host_state_file", "chunk", chunk);
        }
        if (h == 3) {
            // The values file the host saves for a plug-in without chunks.
            Bytes values;
            for (int t = 0; t < tag::Count; ++t) {
                const auto bits = std::bit_cast<uint32_t>(plugin.plugin().getParameter(t));
                for (int b = 0; b < 4; ++b) values.push_back(static_cast<uint8_t>(bits >> (8 * b)));
            }
            writeSeed("host_state_file", "values", values);
        }
    }

    // Hostile values, other rates and block sizes, short and long chunks.
    Bytes hostile = reaperChunk;
    const float odd[] = {std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity(), -1.0f, 1e30f, 2.0f};
    for (std::size_t i = 0; i < 4096 / 4; i += 7) {
        const auto bits = std::bit_cast<uint32_t>(odd[i % std::size(odd)]);
        for (int b = 0; b < 4; ++b) hostile[4 * i + b] = static_cast<uint8_t>(bits >> (8 * b));
    }
    writeSeed("state_chunk", "hostile-values", withSetup(0x00, hostile));
    // Every value far outside 0..1 but those that make the arpeggiator play
    // its magic steps, from a stored and from a newly drawn pattern.
    const ParamTable& table = ParamTable::get();
    auto put = [](Bytes& chunk, int t, float value) {
        const auto bits = std::bit_cast<uint32_t>(value);
        for (int b = 0; b < 4; ++b) chunk[4 * t + b] = static_cast<uint8_t>(bits >> (8 * b));
    };
    for (const float setRandom : {1.0f, 0.0f}) {
        Bytes far = reaperChunk;
        for (int t = 0; t < tag::Count; ++t) put(far, t, 1e10f);
        put(far, tag::PlayMode,
            ParamTable::stepToValue(playmode::Arp, table.steppedRange[tag::PlayMode]));
        put(far, tag::ArpOn, 1.0f);
        put(far, tag::ArpKeyEntryOn, 0.0f);
        put(far, tag::ArpMagicSteps,
            ParamTable::stepToValue(7, table.steppedRange[tag::ArpMagicSteps]));
        put(far, tag::SetArpRandom, setRandom);
        put(far, tag::MainVolume, 0.8f);
        put(far, tag::AmpEnvAttack, 0.0f);
        writeSeed("state_chunk", setRandom > 0.0f ? "far-arp-stored-magic" : "far-arp-drawn-magic",
                  withSetup(0x00, far));
    }
    writeSeed("state_chunk", "rate48k-block64", withSetup(0x50, reaperChunk));
    writeSeed("state_chunk", "rate22k-block37", withSetup(0xB0, reaperChunk));
    writeSeed("state_chunk", "short",
              withSetup(0x00, Bytes(reaperChunk.begin(), reaperChunk.begin() + 100)));
    Bytes twice = reaperChunk;
    twice.insert(twice.end(), reaperChunk.begin(), reaperChunk.end());
    writeSeed("state_chunk", "two-records", withSetup(0x00, twice));
    writeSeed("host_state_file", "short", Bytes(reaperChunk.begin(), reaperChunk.begin() + 100));
}

// Sessions of restores and host changes (fuzz/state_sequence.cpp).
void stateSequenceSeeds() {
    enum : uint8_t { ChunkAudio, ChunkMain, Values, HostWrite, Preset, Ticks, Partial, Chord };
    constexpr uint8_t kWaveA = 0, kNoise = FactoryWaves::kWhiteNoiseWave;
    constexpr uint8_t kUser2 = kFirstUserWave + 1, kAutomation = 0x80;
    // clang-format off
    // A state of one noise wave restored after the host moved wave A away and
    // back: the bank reused must play with its noise.
    writeSeed("state_sequence", "noise-after-reuse",
              {ChunkAudio, 3, 40, 0,  Ticks, 31,
               HostWrite, kWaveA, kNoise,  Ticks, 31,
               HostWrite, kWaveA, 3,  Ticks, 31,
               ChunkAudio, kNoise, 40, 0,  Chord});
    // The same from the host's main thread, with a chosen preset between.
    writeSeed("state_sequence", "noise-from-main",
              {ChunkMain, 3, 40, 0,  Ticks, 31,
               HostWrite, kWaveA, kNoise,  Ticks, 31,
               Preset, 1,  Ticks, 31,
               ChunkMain, kNoise, 40, 0,  Chord});
    writeSeed("state_sequence", "both-noise", {ChunkMain, kNoise, 15, 3,  Ticks, 31,  Chord});
    // A state from the main thread while a staged build for a host change
    // runs: its tables, built off the audio thread, replace that build.
    writeSeed("state_sequence", "preset-during-staged-build",
              {ChunkAudio, 3, 40, 0,  Ticks, 31,
               HostWrite, kWaveA, 5,  Ticks, 9,
               ChunkMain, kNoise, 40, 0,  Chord});
    // Every value of a user-wave state written by the host's automation,
    // again and again in two modes, while the audio thread goes on: a bank
    // must never be recorded as built from other values than it was. (A race:
    // the seed shows it in some runs only.) The last step makes the bank be
    // built again and compared.
    Bytes values = {ChunkAudio, kUser2, 2, 2,  Ticks, 31,  Partial, 128 + 3, 200};
    // clang-format on
    for (int i = 0; i < 12; ++i)
        values.insert(values.end(),
                      {Values, kUser2, 2, static_cast<uint8_t>((i % 2 ? 4 : 2) | kAutomation)});
    values.insert(values.end(), {Ticks, 0});
    while (!fuzz::oneInputIn(8, values.data(), values.size())) ++values.back();
    writeSeed("state_sequence", "values-while-building", values);

    // A factory preset that plays a user wave, chosen on the main thread (its
    // tables are built there), then the host's automation of every value of
    // a state with the same waves and mode but other partials while the
    // audio thread applies the preset: the user wave the engine keeps must
    // be the one the bank was built from. (A race: some runs only.)
    fuzz::Host host(fuzz::kHostKinds[0]);
    fuzz::Instance plugin(host);
    APlugin& p = plugin.plugin();
    bool found = false;
    for (int i = 0; i < std::min(p.presetCount, 256) && !found; ++i) {
        found =
            std::string_view(p.presetNames[static_cast<std::size_t>(i)].data()) == "Partial Bell";
        if (!found) continue;
        p.choosePreset(i);
        const int a = p.getSteppedValue(tag::OscWaveA, p.getStoredValue(tag::OscWaveA));
        const int b = p.getSteppedValue(tag::OscWaveB, p.getStoredValue(tag::OscWaveB));
        const int mode = p.getSteppedValue(tag::OscMode, p.getStoredValue(tag::OscMode));
        // The mode byte with the automation bit that still names the mode.
        uint8_t automatedMode = kAutomation;
        while (automatedMode % oscmode::Count != mode) ++automatedMode;
        writeSeed("state_sequence", "partials-automated-while-applying",
                  {Preset, static_cast<uint8_t>(i), Values, static_cast<uint8_t>(a),
                   static_cast<uint8_t>(b), automatedMode, Ticks, 31, Chord});
    }
    if (!found) fuzz::fail("no factory preset \"Partial Bell\" for a seed");
}

// ------------------------------------------------------------------ plug-in files

void sectionPresetSeeds(APlugin& p) {
    const std::array<int, 4> env = {section_tags::ENV_TAGS[0], section_tags::ENV_TAGS[1],
                                    section_tags::ENV_TAGS[2], section_tags::ENV_TAGS[3]};
    const std::span<const int> lists[4] = {env, section_tags::ARP_TAGS, section_tags::MOD_ALL_TAGS,
                                           section_tags::XY_SECTION_TAGS};
    const char* names[4] = {"env", "arp", "mod", "xy"};
    for (uint8_t k = 0; k < 4; ++k) {
        std::vector<float> values;
        for (int t : lists[k]) values.push_back(p.getParameter(t));
        writeSeed("section_preset", names[k],
                  withSetup(k, textBytes(section_presets::formatSectionPreset(values))));
    }
}

void controllerMapSeeds(APlugin& p) {
    const std::string path = fuzz::scratchFolder() + "/seed.ecs";
    fuzz::dialogs().path = path;
    p.saveECS();
    writeSeed("controller_map", "default", readFile(path));
    for (int n = 0; n < 128; ++n)
        p.engine.midi.ccMap[n].store((n * 37) % tag::Count, std::memory_order_relaxed);
    p.saveECS();
    writeSeed("controller_map", "bound", readFile(path));
    fuzz::dialogs().path.clear();
}

void userWaveSeeds(APlugin& p) {
    const std::string path = fuzz::scratchFolder() + "/seed.uwv";
    fuzz::dialogs().path = path;
    p.saveWave(0); // factory wave 0, loaded at start
    writeSeed("user_wave", "factory", readFile(path));
    for (int j = 0; j < kUserWavePartials; ++j)
        p.setParameter(tag::partial(1, j),
                       j % 5 == 0 ? 0.5f + 0.001f * static_cast<float>(j) : 0.0f);
    p.saveWave(1);
    writeSeed("user_wave", "partials", readFile(path));
    fuzz::dialogs().path.clear();
}

// The factory presets as they are, and an edited patch as the store saves it.
void presetFileSeeds(APlugin& p) {
    for (const PresetEntry& entry : listFactoryPresets()) {
        std::string text, error;
        if (!readPresetText(entry, text, error)) fuzz::fail("a factory preset cannot be read");
        writeSeed("preset_file", entry.name, Bytes(text.begin(), text.end()));
    }
    editPatch(p);
    const std::string text = p.currentPresetText();
    writeSeed("preset_file", "edited", Bytes(text.begin(), text.end()));
}

void prefsSeeds() {
    saveStringToPrefs("Tuning", "/home/user/Tunings/");
    saveStringToPrefs("Odd key = value", " \\ leading and trailing \n\t\xC3\xA9 ");
    saveStringToPrefs("Empty", "");
    saveIntToPrefs(REG_MIDI_IN_CHANNEL_STR, 3);
    saveIntToPrefs("Negative", -2147483647 - 1);
    saveBoolToPrefs(REG_MIDI_CAPTURE_STR, true);
    saveBoolToPrefs(REG_SCREEN_SIZE[1], false);
    setMidiCC(1, 14);
    setMidiCC(74, 9);
    const Bytes own = readFile(prefsOwnFilePath());
    writeSeed("prefs", "own", withSetup(0, own));
    writeSeed("prefs", "any-user", withSetup(1, own));
    writeSeed("prefs", "both", withSetup(2, own));
}

// ------------------------------------------------------------------ samples

void putLE(Bytes& b, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void putBE(Bytes& b, uint32_t v, int n) {
    for (int i = n - 1; i >= 0; --i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void putId(Bytes& b, const char* id) {
    b.insert(b.end(), id, id + 4);
}

// 48 frames of a sine (left) and a cosine (right) as the format stores them.
Bytes sampleData(int channels, int bits, bool wav) {
    Bytes b;
    auto put = wav ? putLE : putBE;
    for (int i = 0; i < 48; ++i) {
        const double phase = 2.0 * std::numbers::pi * i / 48.0;
        for (int c = 0; c < channels; ++c) {
            const double v = 0.8 * (c == 0 ? std::sin(phase) : std::cos(phase));
            if (bits == 8) {
                const auto s = static_cast<int>(std::lround(v * 127.0));
                b.push_back(static_cast<uint8_t>(wav ? s + 128 : s));
            } else if (bits == 32) {
                put(b, std::bit_cast<uint32_t>(static_cast<float>(v)), 4);
            } else {
                const double scale = bits == 16 ? 32767.0 : 8388607.0;
                put(b, static_cast<uint32_t>(static_cast<int32_t>(std::lround(v * scale))),
                    bits / 8);
            }
        }
    }
    return b;
}

Bytes wavFile(int channels, int bits, bool listChunk) {
    const Bytes data = sampleData(channels, bits, true);
    Bytes b;
    putId(b, "RIFF");
    putLE(b, static_cast<uint32_t>(36 + data.size() + (listChunk ? 12 : 0)), 4);
    putId(b, "WAVE");
    putId(b, "fmt ");
    putLE(b, 16, 4);
    putLE(b, bits == 32 ? 3 : 1, 2);
    putLE(b, static_cast<uint32_t>(channels), 2);
    putLE(b, 44100, 4);
    putLE(b, static_cast<uint32_t>(44100 * channels * bits / 8), 4);
    putLE(b, static_cast<uint32_t>(channels * bits / 8), 2);
    putLE(b, static_cast<uint32_t>(bits), 2);
    if (listChunk) {
        putId(b, "LIST");
        putLE(b, 4, 4);
        putId(b, "INFO");
    }
    putId(b, "data");
    putLE(b, static_cast<uint32_t>(data.size()), 4);
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

Bytes aiffFile(int channels, int bits) {
    const Bytes data = sampleData(channels, bits, false);
    Bytes b;
    putId(b, "FORM");
    putBE(b, static_cast<uint32_t>(4 + 26 + 16 + data.size()), 4);
    putId(b, "AIFF");
    putId(b, "COMM");
    putBE(b, 18, 4);
    putBE(b, static_cast<uint32_t>(channels), 2);
    putBE(b, 48, 4);
    putBE(b, static_cast<uint32_t>(bits), 2);
    // 44100 as an 80-bit extended value.
    putBE(b, 16383 + 15, 2);
    const uint64_t mantissa = uint64_t{44100} << (63 - 15);
    putBE(b, static_cast<uint32_t>(mantissa >> 32), 4);
    putBE(b, static_cast<uint32_t>(mantissa), 4);
    putId(b, "SSND");
    putBE(b, static_cast<uint32_t>(8 + data.size()), 4);
    putBE(b, 0, 4);
    putBE(b, 0, 4);
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

void sampleSeeds() {
    for (int channels : {1, 2}) {
        const std::string side = channels == 1 ? "mono" : "stereo";
        for (int bits : {8, 16, 24, 32})
            writeSeed("sample", "wav" + std::to_string(bits) + "-" + side,
                      wavFile(channels, bits, false));
        for (int bits : {8, 16, 24})
            writeSeed("sample", "aiff" + std::to_string(bits) + "-" + side,
                      aiffFile(channels, bits));
    }
    writeSeed("sample", "wav16-list-chunk", wavFile(2, 16, true));
}

// ------------------------------------------------------------------ MIDI files

void putVlq(Bytes& b, uint32_t v) {
    uint8_t groups[4];
    int n = 0;
    do {
        groups[n++] = static_cast<uint8_t>(v & 0x7F);
        v >>= 7;
    } while (v && n < 4);
    while (n-- > 0) b.push_back(static_cast<uint8_t>(groups[n] | (n ? 0x80 : 0)));
}

Bytes midiFile(int format, int division, const std::vector<Bytes>& tracks, bool extra = false) {
    Bytes b;
    putId(b, "MThd");
    putBE(b, extra ? 8 : 6, 4);
    putBE(b, static_cast<uint32_t>(format), 2);
    putBE(b, static_cast<uint32_t>(tracks.size()), 2);
    putBE(b, static_cast<uint32_t>(division), 2);
    if (extra) putBE(b, 0, 2);
    for (const Bytes& track : tracks) {
        if (extra) {
            putId(b, "XTRA"); // a chunk type readers skip
            putBE(b, 2, 4);
            putBE(b, 0, 2);
        }
        putId(b, "MTrk");
        putBE(b, static_cast<uint32_t>(track.size()), 4);
        b.insert(b.end(), track.begin(), track.end());
    }
    return b;
}

// Delta time, then the event's bytes.
void event(Bytes& t, uint32_t delta, std::initializer_list<uint8_t> bytes) {
    putVlq(t, delta);
    t.insert(t.end(), bytes);
}

void midiSeeds() {
    Bytes melody;
    event(melody, 0, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}); // 120 BPM
    event(melody, 0, {0xFF, 0x03, 0x04, 'L', 'e', 'a', 'd'});
    event(melody, 0, {0xC0, 0x05}); // program change
    event(melody, 0, {0x90, 60, 100});
    event(melody, 240, {64, 90});                       // running status
    event(melody, 240, {0xF0, 0x03, 0x7E, 0x7F, 0xF7}); // system exclusive
    event(melody, 0, {67, 80});                         // running status across it
    event(melody, 120, {0xE0, 0x00, 0x50});
    event(melody, 0, {0xD0, 0x40});
    event(melody, 0, {0xB0, 0x01, 0x40});
    event(melody, 240, {0x80, 60, 0});
    event(melody, 0, {0x90, 64, 0}); // note-on with velocity 0
    event(melody, 0, {0x80, 67, 0});
    event(melody, 0, {0xFF, 0x2F, 0x00});
    writeSeed("host_midi_file", "format0", midiFile(0, 480, {melody}));

    Bytes tempo;
    event(tempo, 0, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20});
    event(tempo, 960, {0xFF, 0x51, 0x03, 0x03, 0xD0, 0x90}); // 240 BPM
    event(tempo, 0, {0xFF, 0x58, 0x04, 0x03, 0x02, 0x18, 0x08});
    event(tempo, 0, {0xFF, 0x2F, 0x00});
    Bytes bass;
    event(bass, 0, {0x91, 36, 110});
    event(bass, 1920, {0x81, 36, 64});
    event(bass, 0, {0xA1, 36, 20}); // polyphonic pressure
    event(bass, 0, {0xFF, 0x2F, 0x00});
    writeSeed("host_midi_file", "format1-tempo", midiFile(1, 96, {tempo, bass, melody}));
    writeSeed("host_midi_file", "extra-chunks", midiFile(1, 480, {tempo, bass}, true));

    Bytes open = bass;
    open.resize(open.size() - 4); // no end-of-track event
    writeSeed("host_midi_file", "no-end-of-track", midiFile(0, 24, {open}));
}

// ------------------------------------------------------------------ event scripts

// A parameter value as fuzz::hostValue reads its byte.
uint8_t valueByte(float v) {
    return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 250.0f));
}

uint8_t playModeByte(int mode) {
    return valueByte((static_cast<float>(mode) + 0.1f) / 8.99f);
}

// Steps of an event target: an operation byte and its argument bytes.
template <class Self> struct Script {
    Bytes bytes;
    Self& step(std::initializer_list<uint8_t> args) {
        bytes.insert(bytes.end(), args);
        return static_cast<Self&>(*this);
    }
    // A tag's two bytes after the operation byte.
    Self& tagStep(uint8_t op, int t, std::initializer_list<uint8_t> args) {
        step({op, static_cast<uint8_t>(t >> 8), static_cast<uint8_t>(t)});
        return step(args);
    }
};

// Steps of vst_events (the operation numbers of its header comment).
struct VstScript : Script<VstScript> {
    VstScript& event(uint8_t offset, uint8_t status, uint8_t d1, uint8_t d2) {
        return step({0, offset, status, d1, d2});
    }
    VstScript& value(int t, uint8_t v) { return tagStep(1, t, {v}); }
    VstScript& block(uint8_t frames) { return step({2, frames}); }
    VstScript& blocks(uint8_t count) { return step({3, count}); }
    VstScript& nullOrSysex(uint8_t which, uint8_t offset) { return step({4, which, offset}); }
};

// Steps of au_events.
struct AuScript : Script<AuScript> {
    AuScript& midi(bool fast, uint8_t offset, uint8_t status, uint8_t d1, uint8_t d2) {
        return step({0, static_cast<uint8_t>(fast), offset, status, d1, d2});
    }
    AuScript& scheduled(int t, uint8_t offset, uint8_t v) { return tagStep(1, t, {offset, v}); }
    AuScript& ramp(int t, int8_t start, uint8_t length, uint8_t from, uint8_t to) {
        return tagStep(2, t, {static_cast<uint8_t>(start), length, from, to});
    }
    AuScript& value(int t, uint8_t v) { return tagStep(3, t, {v}); }
    AuScript& slice(uint8_t frames) { return step({4, frames}); }
    AuScript& slices(uint8_t count) { return step({5, count}); }
};

void eventSeeds() {
    // A chord, its notes at different offsets, held and released.
    VstScript chord;
    chord.event(0, 0x90, 60, 100).event(10, 0x90, 64, 90).event(20, 0x90, 67, 80).blocks(3);
    chord.event(0, 0x80, 60, 0).event(5, 0x90, 64, 0).event(90, 0x80, 67, 64).blocks(2);
    writeSeed("vst_events", "chord", chord.bytes);

    // Held by the pedal past the note offs, with wheel, bend and pressure.
    VstScript pedal;
    pedal.event(0, 0x90, 48, 100).event(0, 0xB0, 64, 127).event(30, 0xB0, 1, 90);
    pedal.event(60, 0xE0, 0, 0x60).event(64, 0xD0, 70, 0).event(64, 0xA0, 48, 30).block(200);
    pedal.event(0, 0x80, 48, 0).blocks(2);
    writeSeed("vst_events", "pedal", pedal.bytes);

    // Automation between the blocks while a note plays: filter, volume and
    // the longest release, and values out of range.
    VstScript automation;
    automation.event(0, 0x90, 57, 110).block(100).value(tag::FilterFreq, 40).block(37);
    automation.value(tag::MainVolume, 252).value(tag::AmpEnvRelease, 250).block(255);
    automation.value(tag::FilterFreq, 253).value(tag::ModWheelToFilterFreq, 251).blocks(2);
    automation.event(0, 0x80, 57, 0).blocks(4);
    writeSeed("vst_events", "automation", automation.bytes);

    // The arpeggiator, switched on by the host, with a latched chord.
    VstScript arp;
    arp.value(tag::PlayMode, playModeByte(playmode::Arp)).value(tag::ArpOn, 250);
    arp.value(tag::ArpLatchOn, 250).event(0, 0x90, 60, 100).event(0, 0x90, 63, 100).blocks(2);
    arp.event(0, 0x80, 60, 0).event(0, 0x80, 63, 0).blocks(8).value(tag::ArpOn, 0).blocks(2);
    writeSeed("vst_events", "arp", arp.bytes);

    // MPE: notes and bends per channel, a mono mode after them.
    VstScript mpe;
    mpe.value(tag::PlayMode, playModeByte(playmode::PolyMpe));
    mpe.event(0, 0x91, 60, 100).event(0, 0x92, 64, 100).event(8, 0xE1, 0, 0x50);
    mpe.event(8, 0xD2, 90, 0).blocks(2).event(0, 0x81, 60, 0).block(10);
    mpe.value(tag::PlayMode, playModeByte(playmode::Legato)).event(0, 0x90, 40, 100);
    mpe.event(3, 0x90, 43, 100).event(6, 0x80, 40, 0).blocks(2);
    writeSeed("vst_events", "mpe", mpe.bytes);

    // Offsets beyond the block, a null entry and SysEx among the notes,
    // all notes off in the middle of the list.
    VstScript odd;
    odd.event(200, 0x90, 72, 100).nullOrSysex(0, 0).nullOrSysex(1, 40).event(127, 0x90, 74, 1);
    odd.block(63).event(0, 0xB0, 123, 0).event(1, 0x90, 76, 100).event(255, 0x80, 76, 0);
    odd.block(0).block(254).blocks(2);
    writeSeed("vst_events", "odd", odd.bytes);

    // Not a number written to Arp Number of Steps, which starts beyond 1:
    // once dropped, leaving the start-up value the host never wrote.
    VstScript nanWrite;
    nanWrite.value(tag::ArpNumSteps, 253);
    writeSeed("vst_events", "nan-write", nanWrite.bytes);

    // The AudioUnit: notes by both paths, scheduled values and ramps.
    AuScript auChord;
    auChord.midi(false, 0, 0x90, 60, 100).midi(true, 20, 0x90, 64, 100).slices(2);
    auChord.scheduled(tag::FilterFreq, 64, 30).ramp(tag::MainVolume, 0, 64, 250, 100).slice(255);
    auChord.ramp(tag::FilterFreq, -16, 128, 0, 250).slices(3);
    auChord.midi(true, 0, 0x80, 60, 0).midi(false, 100, 0x80, 64, 0).slices(2);
    writeSeed("au_events", "chord", auChord.bytes);

    // Held by the pedal, the longest release, and a value not a number
    // scheduled for Filter Frequency: the unit once gave that back to the
    // host as it was scheduled, not as the plug-in took it.
    AuScript auPedal;
    auPedal.midi(false, 0, 0xB0, 64, 127).midi(true, 0, 0x90, 48, 100).slice(100);
    auPedal.midi(false, 200, 0x80, 48, 0)
        .value(tag::AmpEnvRelease, 250)
        .value(tag::MainVolume, 252);
    auPedal.scheduled(tag::FilterFreq, 255, 253).midi(true, 0, 0xE0, 0, 0x7F).slices(3);
    writeSeed("au_events", "pedal", auPedal.bytes);

    AuScript auArp;
    auArp.value(tag::PlayMode, playModeByte(playmode::Arp)).scheduled(tag::ArpOn, 0, 250);
    auArp.midi(false, 0, 0x90, 60, 100).midi(false, 0, 0x90, 67, 100).slices(4);
    auArp.ramp(tag::ArpOn, 0, 32, 250, 0).midi(true, 10, 0x80, 60, 0).slices(4);
    writeSeed("au_events", "arp", auArp.bytes);

    // Not a number set directly for Arp Number of Steps (as in vst_events),
    // then scheduled and as a ramp's end.
    AuScript auNan;
    auNan.value(tag::ArpNumSteps, 253).slice(10).scheduled(tag::ArpNumSteps, 20, 253).slice(100);
    auNan.ramp(tag::ArpNumSteps, 0, 8, 125, 253).slice(100);
    writeSeed("au_events", "nan-write", auNan.bytes);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: ondix-fuzz-seeds FOLDER\n");
        return 2;
    }
    gOut = argv[1];
    fuzz::setUpPluginProcess();

    stateSeeds();
    stateSequenceSeeds();
    {
        fuzz::Host host(fuzz::kHostKinds[0]);
        fuzz::Instance plugin(host);
        editPatch(plugin.plugin());
        sectionPresetSeeds(plugin.plugin());
        controllerMapSeeds(plugin.plugin());
        userWaveSeeds(plugin.plugin());
        presetFileSeeds(plugin.plugin());
    }
    prefsSeeds();
    sampleSeeds();
    midiSeeds();
    eventSeeds();
    return 0;
}
