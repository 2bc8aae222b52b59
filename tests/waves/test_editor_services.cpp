// The user-wave commands the editor calls: clearing, copying and swapping
// the waves, their names and the step through the factory waves, the ".uwv"
// files, the one-shot sample edits and the wave shaper's preview, apply and
// preview play, and all of it while the audio thread renders.

#include "core/vocabulary.h"
#include "platform/dialog_service.h"
#include "support/plugin_harness.h"
#include "support/temp_prefs.h"
#include "waves/user_wave_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <numbers>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int N = kWaveSize;
constexpr int K = kUserWavePartials;
constexpr float kStep = 1.0f / 1023.0f;
constexpr const char* kProblem = "Problem with User Wave File";

// Shaper numbers used below.
constexpr int kManual = 0, kVolume = 1, kShift = 3, kFilter = 10, kHighFilter = 13, kEvenOdd = 21,
              kRandom = 22;

struct WaveServices : ::testing::Test {
    void SetUp() override { p().core.folders.wavePresetDir = folder.path(); }

    APlugin& p() { return h.p(); }
    const WaveTable& table(int w) { return p().waves.userWaveTable[w]; }
    std::string name(int w) { return p().getWavePresetStr(w); }
    std::vector<float> partialParams(int w) {
        std::vector<float> v;
        for (int j = 0; j < K; ++j) v.push_back(p().getParameter(tag::partial(w, j)));
        return v;
    }
    // Wave w made of one partial.
    void onePartial(int w, int j, float amplitude, float phase) {
        for (int k = 0; k < K; ++k) p().setWaveTablePartials(w, k, 0.0f, 0.0f);
        p().setWaveTablePartials(w, j, amplitude, phase);
        p().convertWaveTablePartialsToWaveTable(w);
    }
    void shaper(int step, float a1, float a2) {
        p().setSteppedValue(tag::WaveShaperMode, step);
        p().setParameter(tag::WaveShaper1, a1);
        p().setParameter(tag::WaveShaper2, a2);
    }
    std::string path(const std::string& file) { return folder.path() + "/" + file; }
    void writeFile(const std::string& file, const std::string& text) {
        std::ofstream(path(file), std::ios::binary) << text;
    }
    int problemsShown() const {
        return static_cast<int>(
            std::count_if(dialogs.alertRequests.begin(), dialogs.alertRequests.end(),
                          [](const AlertRequest& r) { return r.header == kProblem; }));
    }

    TempPrefs folder;
    ScriptedDialogService dialogs;
    ScopedDialogService installed{dialogs};
    PluginHarness h{0x5EED, false};
};

float peak(const WaveTable& t) {
    float m = 0.0f;
    for (float v : t) m = std::max(m, std::fabs(v));
    return m;
}

float maxDiff(const WaveTable& a, const WaveTable& b) {
    float d = 0.0f;
    for (int i = 0; i < N; ++i) d = std::max(d, std::fabs(a[i] - b[i]));
    return d;
}

} // namespace

// ------------------------------------------------------------------ clear, copy, swap

TEST_F(WaveServices, ClearWaveSilencesThatWaveAndDropsItsNameOnly) {
    const WaveTable wave0 = table(0);
    p().waves.rebuildRequested.store(false);
    p().clearWave(1);
    for (int j = 0; j < K; ++j) ASSERT_EQ(p().getParameter(tag::partial(1, j)), 0.0f) << j;
    EXPECT_EQ(peak(table(1)), 0.0f);
    EXPECT_TRUE(p().waves.rebuildRequested.load());
    EXPECT_EQ(name(1), "None");
    // The name stays stored; only the has-name switch went off.
    EXPECT_EQ(p().get2StringFromParamStr(tag::waveName(1, 0), tag::UserWaveNameChars), "Sine");
    EXPECT_EQ(table(0), wave0);
    EXPECT_EQ(name(0), "Sine");

    const std::vector<float> before = partialParams(0);
    p().clearWave(2);
    p().clearWave(-1);
    EXPECT_EQ(partialParams(0), before);
}

TEST_F(WaveServices, CopyAndSwapCarryPartialsNamesAndTables) {
    p().loadWavePreset(1, 2); // Square
    p().copyWave(1, 0);
    EXPECT_EQ(partialParams(0), partialParams(1));
    EXPECT_EQ(name(0), "Square");
    EXPECT_EQ(table(0), table(1));

    p().loadWavePreset(0, 3); // Triangle
    const WaveTable triangle = table(0), square = table(1);
    const std::vector<float> triangleParams = partialParams(0);
    p().swapWave(0, 1);
    EXPECT_EQ(name(0), "Square");
    EXPECT_EQ(name(1), "Triangle");
    EXPECT_EQ(partialParams(1), triangleParams);
    EXPECT_EQ(table(0), square);
    EXPECT_EQ(table(1), triangle);

    // The has-name switch travels too.
    p().clearWave(1);
    p().copyWave(1, 0);
    EXPECT_EQ(name(0), "None");
    EXPECT_EQ(peak(table(0)), 0.0f);

    // Copying a wave onto itself still rebuilds it; bad numbers do nothing.
    p().waves.rebuildRequested.store(false);
    p().copyWave(0, 0);
    EXPECT_TRUE(p().waves.rebuildRequested.load());
    p().waves.rebuildRequested.store(false);
    p().copyWave(0, 2);
    p().swapWave(-1, 0);
    EXPECT_FALSE(p().waves.rebuildRequested.load());
}

// ------------------------------------------------------------------ names and preset steps

TEST_F(WaveServices, PresetStepStartsFromTheFactoryWaveTheNameBegins) {
    p().setWavePresetDelta(0, -1); // Sine is the first: stays
    EXPECT_EQ(name(0), "Sine");
    p().setWavePresetDelta(0, 2);
    EXPECT_EQ(name(0), "Square");

    // "Saw" and "Saw 2" both begin "Saw 2": the later one wins.
    p().loadWavePreset(0, 20);
    p().setWavePresetDelta(0, 1);
    EXPECT_EQ(name(0), "Saw 3 "); // names of odd length are stored with a blank
    p().loadWavePreset(0, 28);
    p().setWavePresetDelta(0, 0);
    EXPECT_EQ(name(0), "Triangle 2");

    // The name counts for its first 10 characters.
    p().set2StringFromParam("Square 4 mine", tag::waveName(0, 0), tag::UserWaveNameChars);
    p().setWavePresetDelta(0, 0);
    EXPECT_EQ(name(0), "Square 4");

    // A name no factory wave begins with starts from the first.
    p().set2StringFromParam("Mystery", tag::waveName(0, 0), tag::UserWaveNameChars);
    p().setWavePresetDelta(0, 3);
    EXPECT_EQ(name(0), "Triangle");

    // Steps stop at both ends.
    p().setWavePresetDelta(0, -1000);
    EXPECT_EQ(name(0), "Sine");
    p().loadWavePreset(0, 182);
    p().setWavePresetDelta(0, 5);
    std::string last = vocabAt(OSC_WAVE_STR, 182);
    if (last.size() % 2 != 0) last += ' ';
    EXPECT_EQ(name(0), last);

    // The loaded factory wave brings its partials too.
    p().loadWavePreset(1, 2);
    p().setWavePresetDelta(0, -1000);
    p().setWavePresetDelta(0, 2);
    EXPECT_EQ(partialParams(0), partialParams(1));
}

// ------------------------------------------------------------------ files

TEST_F(WaveServices, SavedWaveLoadsBackAndNamesTheWave) {
    p().loadWavePreset(0, 2);
    dialogs.pushFile(path("MyWave.uwv"));
    p().saveWave(0);
    ASSERT_EQ(dialogs.fileRequests.size(), 1u);
    EXPECT_EQ(dialogs.fileRequests[0].title, "Save User Wave Preset");
    EXPECT_EQ(dialogs.fileRequests[0].initialFolder, folder.path());
    EXPECT_EQ(name(0), "MyWave");

    // 257 lines: the version, 128 amplitudes, 128 phases, six decimals each.
    std::ifstream in(path("MyWave.uwv"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 257u);
    EXPECT_EQ(lines[0], "V1.0");
    EXPECT_EQ(lines[1], "1.000000");
    for (size_t i = 1; i < lines.size(); ++i) {
        ASSERT_EQ(lines[i].size(), 8u) << lines[i];
        ASSERT_EQ(lines[i][1], '.') << lines[i];
    }

    // Loading gives the same partials (a step may drop by one through the
    // six decimals), the file's name and the rebuilt table.
    p().clearWave(1);
    dialogs.pushFile(path("MyWave.uwv"));
    p().loadWave(1);
    EXPECT_EQ(dialogs.fileRequests[1].title, "Load User Wave Preset");
    EXPECT_EQ(name(1), "MyWave");
    for (int j = 0; j < K; ++j) {
        ASSERT_NEAR(p().getWaveTablePartialsAmp(1, j), p().getWaveTablePartialsAmp(0, j),
                    kStep + 1e-6f);
        ASSERT_NEAR(p().getWaveTablePartialsPhase(1, j), p().getWaveTablePartialsPhase(0, j),
                    kStep + 1e-6f);
    }
    EXPECT_LT(maxDiff(table(1), table(0)), 0.05f);

    // By name from the wave-preset folder, without a dialog.
    p().clearWave(1);
    p().loadWavePreset(1, std::string("MyWave"));
    EXPECT_EQ(name(1), "MyWave");
    EXPECT_LT(maxDiff(table(1), table(0)), 0.05f);
    EXPECT_EQ(dialogs.fileRequests.size(), 2u);
    EXPECT_EQ(problemsShown(), 0);
}

TEST_F(WaveServices, WaveFileValuesArePackedAsRead) {
    std::string text = "V2.0\n1.5\n0.5\n";
    for (int j = 2; j < K; ++j) text += "0\n";
    text += "0.9\n0.25\n";
    writeFile("Odd.uwv", text); // the remaining phases are missing
    p().loadWavePreset(0, std::string("Odd"));
    EXPECT_EQ(problemsShown(), 0);
    // 1.5 carries past the amplitude field and the value clamps to 1.0.
    EXPECT_EQ(p().getParameter(tag::partial(0, 0)), 1.0f);
    EXPECT_EQ(p().getWaveTablePartialsAmp(0, 0), 1.0f);
    EXPECT_EQ(p().getWaveTablePartialsPhase(0, 0), 0.0f);
    EXPECT_EQ(p().getWaveTablePartialsAmp(0, 1), 511.0f / 1023.0f);
    EXPECT_EQ(p().getWaveTablePartialsPhase(0, 1), 255.0f / 1023.0f);
    EXPECT_EQ(p().getWaveTablePartialsPhase(0, 2), 0.0f);
    EXPECT_EQ(name(0), "Odd ");
}

// What the file reader takes: numbers as "%f" reads them, a file that ends
// early; and what it refuses whole: a word among the values that is not a
// number, or nothing after the version.
TEST(UserWaveFileText, WordsAmongTheValuesRefuseTheFile) {
    const std::string full = [] {
        std::string t = "V1.0\n";
        for (int j = 0; j < 2 * K; ++j) t += "0.25\n";
        return t;
    }();
    const struct {
        std::string text;
        bool taken;
        float first; // amplitude 0 when taken
    } cases[] = {
        {"V1.0\n0.5\n0.25", true, 0.5f},
        {"anything 0.5", true, 0.5f},
        {"V1.0\n+0.5\n", true, 0.5f},
        {"V1.0\n1e-60\n", true, 0.0f},
        {"V1.0\n1e60\n", true, std::numeric_limits<float>::max()},
        {"V1.0\n-1e60\n", true, -std::numeric_limits<float>::max()},
        {full + "banana\n", true, 0.25f}, // nothing past the 256th number is read
        {"V1.0\n0.5\nbanana\n", false, 0.0f},
        {"V1.0\n0.5x\n", false, 0.0f},
        {"V1.0\n0.5,0.25\n", false, 0.0f},
        {"V1.0\n-\n", false, 0.0f},
        {"V1.0\n1e999\n", false, 0.0f},
        {"V1.0\n", false, 0.0f},
        {"", false, 0.0f},
    };
    for (const auto& c : cases) {
        UserWaveFile wave;
        EXPECT_EQ(parseUserWaveFile(c.text, wave), c.taken) << c.text;
        EXPECT_EQ(wave.amplitude[0], c.first) << c.text;
        if (!c.taken) {
            for (int j = 0; j < K; ++j)
                ASSERT_EQ(wave.amplitude[j] + wave.phase[j], 0.0f) << c.text;
        }
    }
}

TEST_F(WaveServices, BadWaveFilesLeaveTheWaveAndSaySo) {
    const std::vector<float> before = partialParams(0);
    writeFile("Empty.uwv", "V1.0\n");
    p().loadWavePreset(0, std::string("Empty"));
    EXPECT_EQ(problemsShown(), 1);
    p().loadWavePreset(0, std::string("Missing"));
    EXPECT_EQ(problemsShown(), 2);
    dialogs.pushFile(path("Missing.uwv"));
    p().loadWave(0);
    EXPECT_EQ(problemsShown(), 3);
    EXPECT_EQ(partialParams(0), before);
    EXPECT_EQ(name(0), "Sine");

    // A file that cannot be made.
    dialogs.pushFile(path("no/such/folder/x.uwv"));
    p().saveWave(0);
    EXPECT_EQ(problemsShown(), 4);
    EXPECT_EQ(name(0), "Sine");

    // Cancelled dialogs end silently.
    dialogs.pushFileCancel();
    p().loadWave(0);
    dialogs.pushFileCancel();
    p().saveWave(0);
    EXPECT_EQ(problemsShown(), 4);
    EXPECT_EQ(partialParams(0), before);

    // No dialog at all for a wave that does not exist.
    p().loadWave(2);
    p().saveWave(-1);
    EXPECT_EQ(dialogs.fileRequests.size(), 4u);
}

// ------------------------------------------------------------------ sample edits

TEST_F(WaveServices, SampleEditsReshapeTheWave) {
    // Normalising a silent wave leaves it silent.
    p().clearWave(0);
    p().normalizeWave(0);
    EXPECT_EQ(peak(table(0)), 0.0f);

    // A half-level sine normalised reaches full level.
    onePartial(0, 0, 0.5f, 0.75f);
    EXPECT_NEAR(peak(table(0)), 0.5f, 0.002f);
    p().normalizeWave(0);
    EXPECT_NEAR(p().getWaveTablePartialsAmp(0, 0), 1.0f, 2 * kStep);
    EXPECT_NEAR(peak(table(0)), 1.0f, 0.005f);

    // Inverted, the sine turns half a cycle.
    const WaveTable sine = table(0);
    p().invertWave(0);
    EXPECT_NEAR(p().getWaveTablePartialsPhase(0, 0), 0.25f, 2 * kStep);
    WaveTable negated;
    for (int i = 0; i < N; ++i) negated[i] = -sine[i];
    EXPECT_LT(maxDiff(table(0), negated), 0.02f);

    // Reversing twice gives the wave back (less what two passes through
    // the 10-bit partials take).
    p().loadWavePreset(0, 1); // Saw
    const WaveTable saw = table(0);
    p().reverseWave(0);
    EXPECT_GT(maxDiff(table(0), saw), 0.5f);
    p().reverseWave(0);
    EXPECT_LT(maxDiff(table(0), saw), 0.1f);

    // Removing DC keeps a wave without one.
    const WaveTable twice = table(0);
    p().removeDCInWave(0);
    EXPECT_LT(maxDiff(table(0), twice), 0.06f);
}

TEST_F(WaveServices, SmoothingFollowsParameter993) {
    // Harmonic 16 alone: the lightest smoothing (half the change from one
    // sample to the next) keeps it, the heaviest flattens the wave.
    onePartial(0, 15, 1.0f, 0.75f);
    p().setParameter(tag::WaveShaper1, 0.0f);
    p().smoothWave(0);
    EXPECT_GT(peak(table(0)), 0.9f);
    EXPECT_GT(p().getWaveTablePartialsAmp(0, 15), 0.9f);

    onePartial(0, 15, 1.0f, 0.75f);
    p().setParameter(tag::WaveShaper1, 1.0f);
    p().smoothWave(0);
    EXPECT_LT(peak(table(0)), 0.1f);
}

// ------------------------------------------------------------------ the wave shaper

TEST_F(WaveServices, ShaperPreviewOfSampleAlgorithms) {
    p().loadWavePreset(0, 1); // Saw
    const WaveTable x = table(0);

    shaper(kManual, 0.3f, 0.7f);
    p().updatePreviewWaveTable(0);
    for (int k = 0; k < K; ++k) {
        ASSERT_EQ(p().getPreviewPartialsAmp(k), p().getWaveTablePartialsAmp(0, k));
        ASSERT_EQ(p().getPreviewPartialsPhase(k), p().getWaveTablePartialsPhase(0, k));
    }
    for (int i = 0; i < N; ++i) ASSERT_EQ(p().getPreviewWaveTableValue(i), x[i]) << i;

    shaper(kVolume, 0.5f, 0.3f); // silent
    p().updatePreviewWaveTable(0);
    for (int i = 0; i < N; ++i) ASSERT_EQ(p().getPreviewWaveTableValue(i), 0.0f);
    for (int k = 0; k < K; ++k) ASSERT_EQ(p().getPreviewPartialsAmp(k), 0.0f);

    shaper(kVolume, 1.0f, 1.0f); // 16 times louder before the analysis
    p().updatePreviewWaveTable(0);
    for (int i = 0; i < N; ++i) ASSERT_FLOAT_EQ(p().getPreviewWaveTableValue(i), 16.0f * x[i]);

    // High Filter at 0 does nothing at all: the partials are the wave's own
    // and the preview wave stays as it was.
    shaper(kHighFilter, 0.0f, 0.5f);
    p().updatePreviewWaveTable(0);
    for (int k = 0; k < K; ++k)
        ASSERT_EQ(p().getPreviewPartialsAmp(k), p().getWaveTablePartialsAmp(0, k));
    EXPECT_FLOAT_EQ(p().getPreviewWaveTableValue(100), 16.0f * x[100]);

    shaper(kShift, 1.0f, 0.0f);
    p().updatePreviewWaveTable(0);
    for (int i = 0; i < N; ++i) ASSERT_EQ(p().getPreviewWaveTableValue(i), x[i % 2047]) << i;
    shaper(kShift, 0.0f, 0.0f);
    p().updatePreviewWaveTable(0);
    for (int i = 0; i < N; ++i) ASSERT_EQ(p().getPreviewWaveTableValue(i), x[(i + 1) % 2047]);

    // The preview leaves the wave itself alone.
    EXPECT_EQ(table(0), x);

    // Outside the ranges.
    EXPECT_EQ(p().getPreviewWaveTableValue(-1), 0.0f);
    EXPECT_EQ(p().getPreviewWaveTableValue(N), 0.0f);
    EXPECT_EQ(p().getPreviewPartialsAmp(K), 0.0f);
    EXPECT_EQ(p().getPreviewPartialsPhase(-1), 0.0f);
}

TEST_F(WaveServices, ShaperPreviewOfPartialAlgorithms) {
    p().loadWavePreset(0, 1); // Saw: every partial present
    auto amp = [&](int k) { return p().getPreviewPartialsAmp(k); };
    auto own = [&](int k) { return p().getWaveTablePartialsAmp(0, k); };

    shaper(kFilter, 0.0f, 0.0f); // everything removed
    p().updatePreviewWaveTable(0);
    for (int k = 0; k < K; ++k) ASSERT_EQ(amp(k), 0.0f) << k;
    EXPECT_EQ(p().getPreviewWaveTableValue(700), 0.0f);

    shaper(kFilter, 1.0f, 0.0f); // only the last partial removed
    p().updatePreviewWaveTable(0);
    for (int k = 0; k < K - 1; ++k) ASSERT_EQ(amp(k), own(k)) << k;
    EXPECT_EQ(amp(K - 1), 0.0f);

    shaper(kEvenOdd, 0.0f, 1.0f); // the even harmonics: partials 1, 3, 5 ...
    p().updatePreviewWaveTable(0);
    for (int k = 0; k < K; ++k) ASSERT_EQ(amp(k), k % 2 == 0 ? 0.0f : own(k)) << k;
    // The preview wave is their synthesis: it repeats every half cycle.
    for (int i = 0; i < N / 2; i += 37)
        ASSERT_NEAR(p().getPreviewWaveTableValue(i), p().getPreviewWaveTableValue(i + N / 2),
                    1e-4f);

    // Random draws afresh at every update.
    shaper(kRandom, 1.0f, 1.0f);
    p().updatePreviewWaveTable(0);
    const float first = amp(5);
    p().updatePreviewWaveTable(0);
    EXPECT_NE(amp(5), first);

    // A bad wave number changes nothing.
    const float kept = amp(5);
    p().updatePreviewWaveTable(2);
    EXPECT_EQ(amp(5), kept);
}

TEST_F(WaveServices, ApplyingTheShaperWritesTheWave) {
    // Manual changes nothing.
    const std::vector<float> sine = partialParams(0);
    shaper(kManual, 0.2f, 0.9f);
    p().doWaveShaperCommand(0);
    EXPECT_EQ(partialParams(0), sine);

    // Volume with a1 = 0 and a2 = 0 turns the wave upside down.
    const WaveTable before = table(0);
    shaper(kVolume, 0.0f, 0.0f);
    p().waves.rebuildRequested.store(false);
    p().doWaveShaperCommand(0);
    EXPECT_TRUE(p().waves.rebuildRequested.load());
    WaveTable negated;
    for (int i = 0; i < N; ++i) negated[i] = -before[i];
    EXPECT_LT(maxDiff(table(0), negated), 0.02f);

    // A partial algorithm writes the preview partials.
    p().loadWavePreset(1, 1);
    shaper(kFilter, 1.0f, 0.0f);
    p().doWaveShaperCommand(1);
    EXPECT_EQ(p().getWaveTablePartialsAmp(1, K - 1), 0.0f);
    EXPECT_GT(p().getWaveTablePartialsAmp(1, 0), 0.5f);

    // Random applied twice gives two different waves.
    shaper(kRandom, 1.0f, 1.0f);
    p().doWaveShaperCommand(1);
    const std::vector<float> once = partialParams(1);
    p().doWaveShaperCommand(1);
    EXPECT_NE(partialParams(1), once);
}

TEST_F(WaveServices, PreviewPlayHandsThePreviewToTheOscillators) {
    p().loadWavePreset(0, 2);
    shaper(kVolume, 1.0f, 0.0f);
    p().updatePreviewWaveTable(0);
    EXPECT_FALSE(p().getTempPreviewWave());
    p().setTempPreviewWave(true);
    EXPECT_TRUE(p().getTempPreviewWave());
    const float* played = p().previewWave();
    for (int i = 0; i < N; i += 7) ASSERT_EQ(played[i], p().getPreviewWaveTableValue(i));

    // A new preview replaces what they play.
    shaper(kVolume, 0.75f, 0.0f);
    p().updatePreviewWaveTable(0);
    played = p().previewWave();
    for (int i = 0; i < N; i += 7) ASSERT_EQ(played[i], p().getPreviewWaveTableValue(i));
    EXPECT_NEAR(played[256], 0.5f * table(0)[256], 1e-6f);

    // Rendering plays it without trouble; switching the oscillator wave ends it.
    h.send(EventBlock().noteOn(0, 60));
    h.renderIn(4096, 256);
    EXPECT_TRUE(h.allFinite);
    p().setParameter(tag::OscWaveA, 0.5f);
    EXPECT_FALSE(p().getTempPreviewWave());
    p().setTempPreviewWave(true);
    p().setTempPreviewWave(false);
    EXPECT_FALSE(p().getTempPreviewWave());
}

// The audio thread renders (and rebuilds its tables) while the main thread
// edits the waves: neither waits for the other for long, the output stays
// clean, and once both rest the tables match the partials.
TEST_F(WaveServices, CommandsWhileTheAudioThreadRenders) {
    h.send(EventBlock().noteOn(0, 48).noteOn(0, 60));
    p().setSteppedValue(tag::OscWaveA, kFirstUserWave);
    p().setSteppedValue(tag::OscWaveB, kFirstUserWave + 1);
    std::atomic<bool> stop{false};
    std::atomic<int> blocks{0};
    std::thread audio([&] {
        while (!stop.load()) {
            h.render(128);
            blocks.fetch_add(1);
        }
    });
    for (int round = 0; round < 6; ++round) {
        p().loadWavePreset(round % 2, 1 + round);
        p().normalizeWave(0);
        p().invertWave(1);
        p().copyWave(0, 1);
        p().swapWave(0, 1);
        shaper(kVolume, 0.8f, 0.2f);
        p().updatePreviewWaveTable(round % 2);
        p().doWaveShaperCommand(round % 2);
        p().clearWave(1);
    }
    const int seen = blocks.load();
    while (blocks.load() < seen + 8) std::this_thread::yield();
    stop.store(true);
    audio.join();
    EXPECT_TRUE(h.allFinite);

    // Nothing is left waiting: the last rebuild runs through.
    h.settle_();
    EXPECT_FALSE(p().waves.rebuildRequested.load());
    EXPECT_FALSE(p().tableRebuildRunning());
    for (int w = 0; w < 2; ++w) EXPECT_FALSE(p().waves.convertPending[w].load()) << w;
    EXPECT_TRUE(h.allFinite);
}

// ------------------------------------------------------------------ the saved-waves list

TEST_F(WaveServices, SavedWavesListTheFolderInNameOrder) {
    p().scanWavePreset();
    EXPECT_EQ(p().getWavePresetNo(), 0);
    // A saved wave appears; other files and folders do not.
    p().loadWavePreset(0, 2);
    dialogs.pushFile(path("Bright.uwv"));
    p().saveWave(0);
    writeFile("Bell.UWV", "V1.0\n");
    writeFile("notes.txt", "");
    std::filesystem::create_directory(path("Folder.uwv"));
    p().scanWavePreset();
    ASSERT_EQ(p().getWavePresetNo(), 1);
    EXPECT_EQ(p().getWavePresetStrFromNo(0), "Bright");
    p().clearWave(1);
    p().loadWavePreset(1, p().getWavePresetStrFromNo(0));
    EXPECT_EQ(name(1), "Bright");
    EXPECT_NEAR(p().getWaveTablePartialsAmp(1, 0), p().getWaveTablePartialsAmp(0, 0),
                kStep + 1e-6f);

    // 300 files: 256 listed in order, 255 offered.
    for (int i = 0; i < 300; ++i) {
        char file[16];
        std::snprintf(file, sizeof file, "W%03d.uwv", i);
        writeFile(file, "V1.0\n");
    }
    p().scanWavePreset();
    EXPECT_EQ(p().getWavePresetNo(), 255);
    EXPECT_EQ(p().getWavePresetStrFromNo(0), "Bright");
    EXPECT_EQ(p().getWavePresetStrFromNo(1), "W000");
    EXPECT_EQ(p().getWavePresetStrFromNo(255), "W254");
    EXPECT_EQ(p().getWavePresetStrFromNo(256), "");
    EXPECT_EQ(p().getWavePresetStrFromNo(-1), "");
}
