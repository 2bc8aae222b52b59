// Every file the plug-in reads or saves in the user's folders, driven the way
// the menus drive it: each reader takes a good file behind a link and refuses,
// promptly and without touching anything, a FIFO with no writer, a folder,
// /dev/zero and an oversized file; each saver keeps the old file whole when a
// write fails half-way, and saving through a link replaces the link's target
// and keeps the link.

#include "core/ecs_files.h"
#include "editor/section_presets.h"
#include "platform/dialog_service.h"
#include "platform/prefs.h"
#include "support/path_kinds.h"
#include "support/plugin_harness.h"
#include "support/temp_prefs.h"
#include "tools/host/midi_file.h"
#include "waves/sample.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr std::array<int, 4> kEnvelopeTags = {4, 5, 6, 7};
constexpr int kFrames = 300;

void putLE(std::string& b, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b.push_back(static_cast<char>(v >> (8 * i)));
}

// A 16-bit mono WAV file of kFrames frames.
std::string wavFile() {
    std::string b = "RIFF";
    putLE(b, 36 + kFrames * 2, 4);
    b += "WAVEfmt ";
    putLE(b, 16, 4);
    putLE(b, 1, 2);
    putLE(b, 1, 2);
    putLE(b, 44100, 4);
    putLE(b, 88200, 4);
    putLE(b, 2, 2);
    putLE(b, 16, 2);
    b += "data";
    putLE(b, kFrames * 2, 4);
    for (int i = 0; i < kFrames; ++i) putLE(b, static_cast<uint32_t>(i * 50), 2);
    return b;
}

// A Standard MIDI File of one empty track.
std::string midiFile() {
    return std::string("MThd\0\0\0\x06\0\0\0\x01\0\x60MTrk\0\0\0\x04\0\xFF\x2F\0", 26);
}

struct OutsideFiles : ::testing::Test {
    void SetUp() override {
        fs::create_directories(dir);
        fs::create_directories(elsewhere);
        p().core.folders.wavePresetDir = dir.string();
    }
    APlugin& p() { return h.p(); }
    int alerts() const { return static_cast<int>(dialogs.alertRequests.size()); }

    TempPrefs prefs; // first: the plug-in reads its settings from here
    fs::path dir = fs::path(prefs.path()) / "files";
    fs::path elsewhere = fs::path(prefs.path()) / "elsewhere";
    ScriptedDialogService dialogs;
    ScopedDialogService installed{dialogs};
    PluginHarness h{0x5EED, false};
};

// A reader: where it looks, a file it takes, whether it took it, and whether
// it tells the user about a file it refuses.
struct Reader {
    const char* name;
    fs::path path;
    std::string good;
    std::function<bool()> read;
    bool tellsTheUser = false;
};

// A saver: where it writes, and whether it says it saved.
struct Saver {
    const char* name;
    fs::path path;
    std::function<bool()> save;
};

} // namespace

TEST_F(OutsideFiles, EveryReaderTakesOnlyARegularFileOfItsSizeAndNeverBlocks) {
    TSample sample;
    const Reader readers[] = {
        {"preferences", prefsOwnFilePath(), "s Probe = taken\n",
         [] {
             reloadPrefs();
             std::string value;
             loadStringFromPrefs("Probe", value, 256);
             return value == "taken";
         }},
        {"controller map", dir / "probe.ecs", formatControllerMap(ControllerMap{0, 0, 0, 0, 0, 17}),
         [&] {
             p().engine.midi.ccMap[5].store(0);
             dialogs.pushFile(dir / "probe.ecs");
             p().loadECS();
             return p().engine.midi.ccMap[5].load() == 17;
         },
         true},
        {"section preset", dir / "probe.env", "V1.0\n0.5\n0.25\n0.125\n0.0625\n",
         [&] {
             dialogs.pushFile(dir / "probe.env");
             return section_presets::loadSectionPreset(p(), section_presets::ENV_PRESET,
                                                       kEnvelopeTags);
         },
         true},
        {"user wave", dir / "Probe.uwv", "V1.0\n0.5\n",
         [&] {
             p().clearWave(0);
             p().loadWavePreset(0, std::string("Probe"));
             return p().getWavePresetStr(0).starts_with("Probe");
         },
         true},
        {"sample", dir / "probe.wav", wavFile(),
         [&] {
             sample.setName((dir / "probe.wav").c_str());
             return sample.loadWav();
         }},
        {"sample import", dir / "probe.wav", wavFile(),
         [&] {
             p().core.folders.sampleDir.clear();
             dialogs.pushFile(dir / "probe.wav");
             p().loadSample(0);
             return p().engine.sampleReader.length == kFrames;
         }},
        {"offline host's MIDI file", dir / "probe.mid", midiFile(),
         [&] {
             std::string error;
             return ondix::host::readMidiFile(dir / "probe.mid", error).has_value();
         }},
    };
    for (const Reader& reader : readers) {
        for (PathKind kind : ALL_PATH_KINDS) {
            SCOPED_TRACE(std::string(reader.name) + " from " + pathKindName(kind));
            makePathKind(kind, reader.path, reader.good);
            p().engine.sampleReader.length = 1;
            const int alertsBefore = alerts();
            FifoWatchdog watchdog(kind == PathKind::Fifo ? reader.path.string() : "");
            const auto start = std::chrono::steady_clock::now();
            const bool taken = reader.read();
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
            EXPECT_FALSE(watchdog.caughtABlockedReader());
            EXPECT_EQ(taken, kind == PathKind::LinkToFile);
            EXPECT_EQ(alerts() - alertsBefore, reader.tellsTheUser && !taken ? 1 : 0);
        }
        fs::remove_all(reader.path);
    }
}

TEST_F(OutsideFiles, EverySaverKeepsTheOldFileWhenAWriteFailsAndSavesThroughLinks) {
    int saves = 0;
    const Saver savers[] = {
        {"preferences", prefsOwnFilePath(),
         [&] { return saveStringToPrefsChecked("Saved", std::to_string(++saves)); }},
        {"controller map", dir / "saved.ecs",
         [&] {
             const int before = alerts();
             dialogs.pushFile(dir / "saved.ecs");
             p().saveECS();
             return alerts() == before;
         }},
        {"section preset", dir / "saved.env",
         [&] {
             dialogs.pushFile(dir / "saved.env");
             return section_presets::saveSectionPreset(p(), section_presets::ENV_PRESET,
                                                       kEnvelopeTags);
         }},
        {"user wave", dir / "saved.uwv",
         [&] {
             const int before = alerts();
             dialogs.pushFile(dir / "saved.uwv");
             p().saveWave(0);
             return alerts() == before;
         }},
    };
    const std::string old = "the old file, which must survive\n";
    for (const Saver& saver : savers) {
        SCOPED_TRACE(saver.name);
        const fs::path folder = saver.path.parent_path();

        // A write that fails half-way: the old file stays whole, nothing is left over.
        fs::remove_all(saver.path);
        writeBytesTo(saver.path, old);
        const std::vector<std::string> before = entries(folder);
        {
            FileSizeLimit limit(16);
            EXPECT_FALSE(saver.save());
        }
        EXPECT_EQ(contents(saver.path), old);
        EXPECT_EQ(entries(folder), before);

        // Through a link: the target is replaced, the link stays.
        const fs::path target = elsewhere / saver.path.filename();
        writeBytesTo(target, old);
        fs::remove(saver.path);
        fs::create_symlink(target, saver.path);
        EXPECT_TRUE(saver.save());
        EXPECT_TRUE(fs::is_symlink(saver.path));
        EXPECT_EQ(fs::read_symlink(saver.path), target);
        const std::string saved = contents(target);
        EXPECT_NE(saved, old);
        EXPECT_FALSE(saved.empty());
        EXPECT_EQ(entries(folder), before);
        EXPECT_EQ(entries(elsewhere), std::vector<std::string>{target.filename()});
        fs::remove(saver.path);
        fs::remove(target);
    }
}
