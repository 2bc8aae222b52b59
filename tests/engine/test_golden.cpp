// Golden renders: the sound of a handful of patches, kept in tests/golden/ as
// <name>.f32 (stereo, interleaved L R, float32 little-endian, from the first
// frame after the notes start). Each row renders in-process through
// processEvents/processReplacing at 44.1 kHz and must stay within 1e-5 of
// its reference, so a faster voice path can be held to the sound it replaces.
//
// A row is a fresh plug-in with a fixed random seed: its settings, then the
// wave-table rebuild, then the events at their frames, cut into host blocks.
// With ONDIX_WRITE_GOLDEN=<dir> every row writes <dir>/<name>.f32 instead of
// comparing; copying those files into tests/golden/ is a deliberate step,
// taken only when a change of sound is meant.

#include "core/modes.h"
#include "core/vocabulary.h"
#include "engine/distortion.h"
#include "engine/filters.h"
#include "support/plugin_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr float kTolerance = 1e-5f;
constexpr int kLong = 22050; // 0.5 s
constexpr int kShort = 3528; // 0.08 s

struct Setting {
    int tag;
    float value;
    bool stepped;
};
constexpr auto val = [](int t, float v) { return Setting{t, v, false}; };
constexpr auto step = [](int t, int s) { return Setting{t, static_cast<float>(s), true}; };
constexpr auto setOn = [](int t) { return val(t, 1.0f); };
constexpr auto setOff = [](int t) { return val(t, 0.0f); };
// A wave by its menu name.
Setting wave(int t, const char* name) {
    const auto it = std::find_if(OSC_WAVE_STR.begin(), OSC_WAVE_STR.end(),
                                 [&](const char* w) { return std::string(w) == name; });
    EXPECT_NE(it, OSC_WAVE_STR.end()) << name;
    return step(t, static_cast<int>(it - OSC_WAVE_STR.begin()));
}
// A matrix slot: source, destination and amount (0.5 moves nothing).
void route(std::vector<Setting>& s, int slot, int source, int dest, float amount) {
    s.insert(s.end(), {step(tag::slotSource(slot), source), step(tag::slotDest(slot), dest),
                       val(tag::slotAmount(slot), amount)});
}

// A MIDI message at its frame, or (status 0) a setting written by the host
// before the block that starts at that frame.
struct Event {
    int frame, status, d1, d2;
    Setting set = {};
};
constexpr auto change = [](int frame, Setting s) { return Event{frame, 0, 0, 0, s}; };
constexpr auto on = [](int frame, int note, int velocity) {
    return Event{frame, 0x90, note, velocity};
};
constexpr auto off = [](int frame, int note) { return Event{frame, 0x80, note, 64}; };
constexpr auto bend = [](int frame, int v) { return Event{frame, 0xE0, v & 127, v >> 7}; };
constexpr auto wheel = [](int frame, int v) { return Event{frame, 0xB0, 1, v}; };

struct Patch {
    std::string name;  // also the reference file's name
    std::string notes; // what the row is for
    std::vector<Setting> settings;
    std::vector<Event> events; // in frame order
    int frames = kLong;
    std::vector<int> blocks = {512};
    std::string reference = {}; // another row's file, when the sound must be the same
};

// A file name from a menu text: "Odd/Even Partial Morph" -> "odd-even-partial-morph".
std::string slug(const char* text) {
    std::string s;
    for (const char* c = text; *c; ++c) {
        const auto u = static_cast<unsigned char>(*c);
        if (std::isalnum(u))
            s += static_cast<char>(std::tolower(u));
        else if (!s.empty() && s.back() != '-')
            s += '-';
    }
    return s;
}

// Two notes, released at 60 % of a short row.
const std::vector<Event> kTwoNotes = {on(0, 48, 110), on(0, 55, 90), off(2100, 48), off(2100, 55)};

std::vector<Patch> patches() {
    std::vector<Patch> rows;
    std::vector<Event> chord;
    for (int n : {48, 52, 55, 60, 64, 67, 72, 76}) chord.push_back(on(0, n, 100));
    for (int n : {48, 52, 55, 60, 64, 67, 72, 76}) chord.push_back(off(16000, n));
    rows.push_back(
        {"default", "the start-up patch (Init), 8 held notes: the benchmark's case", {}, chord});

    std::vector<Setting> unison = {
        wave(tag::OscWaveA, "Saw"),           wave(tag::OscWaveB, "Saw"),
        step(tag::UnisonMode, unimode::Four), val(tag::UnisonDetune, 0.4f),
        val(tag::UnisonSpread, 0.8f),         val(tag::OscSpread, 0.25f),
        val(tag::OscSubVolume, 0.8f)};
    unison.insert(unison.end(), {step(tag::FilterType, kFilter24LpII), val(tag::FilterFreq, 0.45f),
                                 val(tag::FilterQ, 0.6f), val(tag::EnvToFilterFreq, 0.5f),
                                 val(tag::FilterEnvDecay, 0.5f), val(tag::FilterEnvSustain, 0.3f),
                                 val(tag::FilterEnvRelease, 0.4f)});
    unison.insert(unison.end(), {step(tag::HiPassOn, 1), val(tag::HiPassFreq, 0.2f),
                                 setOn(tag::HiPassQOn), val(tag::HiPassQ, 0.5f)});
    rows.push_back({"unison-saw-24db",
                    "4 copies, detune, stereo and oscillator spread, square "
                    "sub, resonant 24 dB low-pass with envelope, high-pass with Q",
                    unison,
                    {on(0, 45, 110), on(0, 57, 100), on(3000, 64, 90), off(15000, 45),
                     off(15000, 57), off(15000, 64)}});

    // Every frame build between two waves; an LFO sweeps the morph frames.
    for (int m = 0; m < oscmode::Count; ++m) {
        std::vector<Setting> s = {wave(tag::OscWaveA, "Saw"),    wave(tag::OscWaveB, "Rez 2"),
                                  step(tag::OscMode, m),         val(tag::OscMorph, 0.5f),
                                  setOff(tag::FreeLfo1SyncOn),   val(tag::FreeLfo1Speed, 0.64f),
                                  val(tag::AmpEnvRelease, 0.35f)};
        route(s, 0, src::Free1Lfo, dst::OscMorph, 0.9f);
        rows.push_back({"osc-" + slug(OSC_MODE_STR[m]), "oscillator mode", s, kTwoNotes, kShort});
    }

    // One row each for the distortion modes and a few filter types besides
    // the 24 dB low-pass: a segment per step, the step written while the
    // last segment's notes fade, two notes one block later. These rows keep
    // the start-up waves (sine), which spares a rebuild of the wave tables.
    const auto segmented = [&](const char* name, const char* notes, std::vector<Setting> settings,
                               int t, const std::vector<int>& list) {
        constexpr int kSegment = 4096;
        Patch row{name, notes, std::move(settings), {}, kSegment * static_cast<int>(list.size())};
        for (std::size_t i = 0; i < list.size(); ++i) {
            const int at = kSegment * static_cast<int>(i);
            if (i == 0)
                row.settings.push_back(step(t, list[i]));
            else
                row.events.push_back(change(at, step(t, list[i])));
            for (const Event& e : kTwoNotes)
                row.events.push_back({at + 512 + e.frame, e.status, e.d1, e.d2});
        }
        rows.push_back(std::move(row));
    };
    std::vector<int> modes;
    for (int d = Distortion::kAtan; d < Distortion::kModeCount; ++d) modes.push_back(d);
    segmented("distortion",
              "every distortion mode over three copies (the square mode carries its "
              "sign from copy to copy)",
              {step(tag::UnisonMode, unimode::Three), val(tag::UnisonDetune, 0.3f),
               val(tag::DistortAmount, 0.6f), val(tag::AmpEnvRelease, 0.3f)},
              tag::DistortMode, modes);
    segmented("filters",
              "12 dB band-pass, 24 dB low-pass I, 24 dB notch Z, comb and ring "
              "modulation on the square sub",
              {val(tag::OscSubVolume, 0.9f), val(tag::FilterFreq, 0.5f), val(tag::FilterQ, 0.5f),
               val(tag::AmpEnvRelease, 0.3f)},
              tag::FilterType,
              {kFilter12Bp, kFilter24LpI, kFilter24NotchZ, kFilterCombPlus, kFilterRingMod});

    std::vector<Setting> matrix = {
        wave(tag::OscWaveA, "Saw"),          wave(tag::OscWaveB, "SineSqr"),
        step(tag::UnisonMode, unimode::Two), val(tag::UnisonSpread, 0.5f),
        step(tag::PitchBendUp, 2),           step(tag::PitchBendDown, 2),
        val(tag::FilterFreq, 0.55f),         val(tag::FilterQ, 0.3f),
        setOff(tag::FreeLfo1SyncOn),         val(tag::FreeLfo1Speed, 0.57f),
        setOff(tag::FreeLfo2SyncOn),         val(tag::FreeLfo2Speed, 0.45f)};
    route(matrix, 0, src::Free1Lfo, dst::OscFine, 0.6f);
    route(matrix, 1, src::Free2Lfo, dst::OscMorph, 0.9f);
    route(matrix, 2, src::Free1Env, dst::FilterFreq, 0.2f);
    route(matrix, 3, src::Velocity, dst::MainPan, 0.8f);
    route(matrix, 4, src::ModWheel, dst::MainVolume, 0.3f);
    route(matrix, 5, src::FilterEnv, dst::OscSymmetry, 0.7f);
    route(matrix, 6, src::ModWheel, dst::modAmount(0), 0.9f);
    route(matrix, 7, src::UniFree2Lfo, dst::UnisonPanAll, 0.2f);
    const std::vector<Event> played = {on(0, 52, 40),    on(0, 59, 90),      on(700, 64, 127),
                                       wheel(2000, 100), bend(4000, 0x3000), bend(9000, 0x1800),
                                       wheel(12000, 30), off(15000, 52),     off(15000, 59),
                                       off(15000, 64)};
    rows.push_back({"matrix",
                    "LFOs, envelopes, velocity and mod wheel on pitch, morph, cut-off, "
                    "pan, volume and a slot's amount; bend and wheel",
                    matrix, played});
    rows.push_back({"matrix-odd-blocks",
                    "the same in blocks of 1, 37 and 500: the schedule "
                    "is sample-exact",
                    matrix,
                    played,
                    kLong,
                    {1, 37, 500},
                    "matrix"});

    rows.push_back(
        {"legato-glide",
         "mono legato with constant-time portamento",
         {wave(tag::OscWaveA, "Square"), wave(tag::OscWaveB, "Square"),
          step(tag::PlayMode, playmode::Legato), step(tag::PortamentoMode, portmode::ConstantTime),
          val(tag::PortamentoAmount, 0.5f)},
         {on(0, 48, 100), on(4000, 55, 100), on(8000, 60, 100), off(11000, 60), off(14000, 55),
          off(15000, 48)}});
    return rows;
}

void apply(PluginHarness& h, const Setting& s) {
    if (s.stepped)
        h.p().setSteppedValue(s.tag, static_cast<int>(s.value));
    else
        h.p().setParameter(s.tag, s.value);
}

// The row played: interleaved stereo frames.
std::vector<float> render(const Patch& patch) {
    PluginHarness h;
    for (const Setting& s : patch.settings) apply(h, s);
    h.settle_(); // caches refreshed, wave tables rebuilt
    std::vector<float> out;
    out.reserve(2 * static_cast<std::size_t>(patch.frames));
    std::size_t next = 0, block = 0;
    for (int pos = 0; pos < patch.frames;) {
        const int n = std::min(patch.blocks[block++ % patch.blocks.size()], patch.frames - pos);
        EventBlock events;
        for (; next < patch.events.size() && patch.events[next].frame < pos + n; ++next) {
            const Event& e = patch.events[next];
            if (e.status != 0) {
                events.midi(e.frame - pos, e.status, e.d1, e.d2);
                continue;
            }
            EXPECT_EQ(e.frame, pos) << "a setting lands on a block's start";
            apply(h, e.set);
        }
        if (events.size() > 0) h.send(events);
        h.render(n);
        for (int i = 0; i < n; ++i) out.insert(out.end(), {h.left[i], h.right[i]});
        pos += n;
    }
    EXPECT_TRUE(h.allFinite);
    EXPECT_GT(h.maxAbs, 0.01f) << "the row plays something";
    return out;
}

std::vector<float> readF32(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<float> x;
    unsigned char b[4];
    while (in.read(reinterpret_cast<char*>(b), 4))
        x.push_back(std::bit_cast<float>(static_cast<std::uint32_t>(
            b[0] | b[1] << 8 | b[2] << 16 | static_cast<std::uint32_t>(b[3]) << 24)));
    return x;
}

void writeF32(const std::filesystem::path& file, const std::vector<float>& x) {
    std::ofstream out(file, std::ios::binary);
    for (float v : x) {
        const auto u = std::bit_cast<std::uint32_t>(v);
        const char b[4] = {static_cast<char>(u), static_cast<char>(u >> 8),
                           static_cast<char>(u >> 16), static_cast<char>(u >> 24)};
        out.write(b, 4);
    }
    ASSERT_TRUE(out.good()) << file;
}

// Row by row: the largest difference from the reference, and where the
// first one beyond the tolerance lies.
void compare(const Patch& patch) {
    SCOPED_TRACE(patch.name + ": " + patch.notes);
    const std::vector<float> x = render(patch);
    const std::string file = (patch.reference.empty() ? patch.name : patch.reference) + ".f32";
    if (const char* dir = std::getenv("ONDIX_WRITE_GOLDEN"); dir && *dir) {
        if (patch.reference.empty()) {
            std::filesystem::create_directories(dir);
            writeF32(std::filesystem::path(dir) / file, x);
        }
        return;
    }
    const std::filesystem::path path = std::filesystem::path(ONDIX_GOLDEN_DIR) / file;
    const std::vector<float> ref = readF32(path);
    ASSERT_EQ(ref.size(), x.size()) << path << " (missing, or another length)";
    float largest = 0.0f;
    std::size_t first = x.size();
    for (std::size_t i = 0; i < x.size(); ++i) {
        const float d = std::fabs(x[i] - ref[i]);
        if (!(d <= kTolerance) && first == x.size()) first = i;
        if (!(d <= largest)) largest = d; // NaN sticks
    }
    if (first < x.size())
        ADD_FAILURE() << patch.name << ": first difference at frame " << first / 2
                      << (first % 2 ? " (right)" : " (left)") << ": " << x[first] << ", reference "
                      << ref[first] << "; largest difference " << largest;
}

} // namespace

TEST(Golden, EveryPatchSoundsAsItsReference) {
    for (const Patch& patch : patches()) compare(patch);
    if (const char* dir = std::getenv("ONDIX_WRITE_GOLDEN"); dir && *dir)
        GTEST_SKIP() << "references written to " << dir << ", nothing compared";
}
