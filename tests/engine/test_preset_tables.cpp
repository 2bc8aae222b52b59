// A preset chosen, restored or applied through tag 997 away from the audio
// thread has its wave tables built there: a note right after the request
// plays the preset's waves from its first frames, with no rebuild silence.
// A request made from the audio thread keeps the staged rebuild.

#include "core/preset_file.h"
#include "engine/sound_check.h"
#include "support/spectrum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdlib.h>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kSaw = 1;
constexpr int kSquare = 2;
constexpr int kTriangle = 3;
constexpr int kHeldNote = 45;
constexpr int kNote = 69; // 220 Hz here
constexpr double kHz = 220.0;
constexpr int kLate = 1000;     // the request lands between two slow ticks
constexpr int kNoteAfter = 100; // frames from the request to the note
constexpr int kHeard = 8192;    // two slow ticks and more
constexpr int kMeasure = 2048;

// The note's second and third harmonic against its first.
struct Harmonics {
    double second = 0.0, third = 0.0;
};

Harmonics harmonicsOf(const std::vector<float>& x) {
    const double h1 = spectrum::toneAmplitude(x, 44100.0, kHz);
    return {spectrum::toneAmplitude(x, 44100.0, 2 * kHz) / h1,
            spectrum::toneAmplitude(x, 44100.0, 3 * kHz) / h1};
}

std::vector<float> slice(const std::vector<float>& x, int from, int frames) {
    return {x.begin() + from, x.begin() + from + frames};
}

// The instance set up as the tests play it: saw or square waves, an
// immediate attack.
void setUp(SoundCheck& s, int wave) {
    s.h.p().setParameter(tag::AmpEnvAttack, 0.0f);
    s.h.p().core.host.hostIsOwn = true; // a host that exchanges chunks
    s.waves(wave, wave);
}

float waveValue(APlugin& p, int wave) {
    return ParamTable::stepToValue(wave, p.getSteppedRange(tag::OscWaveA));
}

// What the host's or the editor's thread does, on a thread of its own.
void onMainThread(const std::function<void()>& work) {
    std::thread(work).join();
}

// The square preset as every request path carries it: its chunk, its record
// and its preset file.
struct SquarePreset {
    std::vector<unsigned char> chunk;
    ProgramRecord record{};
    std::string text;
    Harmonics settled;
};

const SquarePreset& squarePreset() {
    static const SquarePreset preset = [] {
        SquarePreset sp;
        SoundCheck s;
        setUp(s, kSquare);
        void* data = nullptr;
        const VstInt32 size = s.h.p().getChunk(&data, false);
        const auto* bytes = static_cast<const unsigned char*>(data);
        sp.chunk.assign(bytes, bytes + size);
        s.h.p().readStoredProgram(0, sp.record);
        sp.text = s.h.p().currentPresetText();
        sp.settled = harmonicsOf(s.play(kNote, kMeasure, kMeasure));
        return sp;
    }();
    return preset;
}

// A preset folder in a temp directory holding the square preset.
class PresetFolder {
public:
    PresetFolder() {
        std::string pattern = (fs::temp_directory_path() / "ondix-tables-XXXXXX").string();
        if (mkdtemp(pattern.data())) root = pattern;
    }
    ~PresetFolder() {
        std::error_code ec;
        if (!root.empty()) fs::remove_all(root, ec);
    }
    PresetFolder(const PresetFolder&) = delete;
    PresetFolder& operator=(const PresetFolder&) = delete;

    // The square preset's index in the plug-in's list.
    int install(APlugin& p) const {
        const fs::path folder = root / "Presets";
        fs::create_directories(folder);
        const fs::path file = folder / (std::string("Square Test") + PRESET_FILE_EXTENSION);
        std::ofstream(file, std::ios::binary) << squarePreset().text;
        p.core.folders.presetDir = folder.string() + "/";
        p.refreshPresetList();
        const auto& entries = p.core.presetEntries;
        for (std::size_t i = 0; i < entries.size(); ++i)
            if (fs::path(entries[i].path) == file) return static_cast<int>(i);
        return -1;
    }

    fs::path root;
};

void write997(APlugin& p) {
    AEffect* e = p.getAeffect();
    e->setParameter(e, tag::OscWaveA, waveValue(p, kSquare));
    e->setParameter(e, tag::OscWaveB, waveValue(p, kSquare));
    e->setParameter(e, tag::ApplyPreset, 1.0f);
}

struct Request {
    const char* name;
    std::function<void(APlugin&, int squareIndex)> make;
};

const Request kRequests[] = {
    {"tag 997 written by the host", [](APlugin& p, int) { write997(p); }},
    {"a preset chosen in the editor", [](APlugin& p, int index) { p.choosePreset(index); }},
    {"a restored state chunk",
     [](APlugin& p, int) {
         std::vector<unsigned char> chunk = squarePreset().chunk;
         p.setChunk(chunk.data(), static_cast<VstInt32>(chunk.size()), false);
     }},
    {"a state restored by the AudioUnit adapter",
     [](APlugin& p, int) { p.restoreStoredProgram(0, squarePreset().record); }},
    {"two requests in a row",
     [](APlugin& p, int) {
         AEffect* e = p.getAeffect();
         e->setParameter(e, tag::OscWaveA, waveValue(p, kTriangle));
         e->setParameter(e, tag::ApplyPreset, 1.0f);
         write997(p);
     }},
};

// A saw note sounds; the request comes kLate frames after a slow tick; a new
// note follows kNoteAfter frames later. Returns what the new note plays.
std::vector<float> noteAfterRequest(SoundCheck& s, const std::function<void()>& request,
                                    int heard = kHeard) {
    s.h.send(EventBlock().noteOn(0, kHeldNote));
    s.h.alignTo(4096);
    s.capture(kLate);
    request();
    s.capture(kNoteAfter);
    s.h.send(EventBlock().noteOn(0, kNote));
    return s.capture(heard);
}

} // namespace

TEST(PresetTables, ANoteRightAfterARequestPlaysThePresetsWavesWithoutAGap) {
    const Harmonics settled = squarePreset().settled;
    ASSERT_LT(settled.second, 0.02) << "a square has no even harmonics";
    ASSERT_GT(settled.third, 0.2) << "and a strong third";
    for (const Request& request : kRequests) {
        SCOPED_TRACE(request.name);
        SoundCheck s;
        setUp(s, kSaw);
        PresetFolder folder;
        const int squareIndex = folder.install(s.h.p());
        ASSERT_GE(squareIndex, 0);
        const int cutRamp = static_cast<int>(std::ceil(1.0f / s.h.engine().rate.edgeStep));

        const std::vector<float> note =
            noteAfterRequest(s, [&] { onMainThread([&] { request.make(s.h.p(), squareIndex); }); });
        EXPECT_EQ(s.h.gatedVoiceWithNote(kHeldNote), -1) << "the earlier note is cut";
        EXPECT_LE(longestSilence(note), cutRamp) << "no rebuild silence";
        // From just after the cut's ramp, and at the end.
        for (const int from : {cutRamp, kHeard - kMeasure}) {
            const Harmonics h = harmonicsOf(slice(note, from, kMeasure));
            EXPECT_LT(h.second, 0.02) << "from frame " << from;
            EXPECT_NEAR(h.third, settled.third, 0.02) << "from frame " << from;
        }
        EXPECT_FALSE(s.h.p().tableRebuildRunning());
        EXPECT_FALSE(s.h.p().waves.rebuildRequested.load());
    }
}

// A host automating tag 997 from its audio thread: the application there
// rebuilds the tables in stages, as before, and the note ends with the
// square.
TEST(PresetTables, ARequestFromTheAudioThreadEndsWithTheStagedRebuild) {
    const Harmonics settled = squarePreset().settled;
    SoundCheck s;
    setUp(s, kSaw);
    constexpr int kHeardLonger = 3 * 4096; // the next slow tick, then the eight stages
    const std::vector<float> note = noteAfterRequest(
        s, [&] { write997(s.h.p()); }, kHeardLonger);
    EXPECT_GE(longestSilence(note), 4000) << "the staged rebuild is heard as silence";
    const Harmonics h = harmonicsOf(slice(note, kHeardLonger - kMeasure, kMeasure));
    EXPECT_LT(h.second, 0.02);
    EXPECT_NEAR(h.third, settled.third, 0.02);
}
