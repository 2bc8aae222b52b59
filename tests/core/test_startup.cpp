// Start-up of a plug-in object: folder paths, MIDI state and rate from the
// preference store, and the shared tables.

#include "core/aplugin.h"
#include "data/manual.h"
#include "platform/prefs.h"
#include "support/fake_host.h"
#include "support/temp_prefs.h"
#include "vstgui/cbitmap.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <latch>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

std::unique_ptr<APlugin> makePlugin() {
    return std::make_unique<APlugin>(FakeHost::callback);
}

std::string ownPrefsFile() {
    std::ifstream in(prefsOwnFilePath(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// How many times the preference file was replaced since the last call: a save
// renames a finished temporary file over it.
class SaveCounter {
public:
    explicit SaveCounter(const std::string& file)
        : name(std::filesystem::path(file).filename()), fd(::inotify_init1(IN_NONBLOCK)) {
        ::inotify_add_watch(fd, std::filesystem::path(file).parent_path().c_str(), IN_MOVED_TO);
    }
    ~SaveCounter() { ::close(fd); }
    SaveCounter(const SaveCounter&) = delete;
    SaveCounter& operator=(const SaveCounter&) = delete;

    int saves() {
        int count = 0;
        alignas(inotify_event) char buffer[4096];
        for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) {
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if (event->len > 0 && name == event->name) ++count;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return count;
    }

private:
    std::string name;
    int fd;
};

double secondsSince(std::chrono::steady_clock::time_point begin) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

} // namespace

// Another process saving its settings at the same moment, or stuck while it
// holds the lock, costs a start-up one short wait; the keys written back wait
// in memory and are stored in one save once the lock is free.
TEST(Startup, WritesItsKeysInOneSaveAndWaitsBrieflyForAHeldLock) {
    FakeHost host;
    {
        TempPrefs warm;
        makePlugin(); // the shared tables, built by the first instance
    }
    double freeSeconds = 0.0;
    for (const bool held : {false, true}) {
        SCOPED_TRACE(held ? "lock held" : "lock free");
        TempPrefs prefs;
        const std::string file = prefsOwnFilePath();
        const std::string lockFile =
            prefs.path() + "/." + std::filesystem::path(file).filename().string() + ".lock";
        const int holder = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        ASSERT_EQ(::flock(holder, held ? LOCK_EX : LOCK_UN), 0);
        SaveCounter counter(file);

        const auto begin = std::chrono::steady_clock::now();
        auto plugin = makePlugin();
        const double seconds = secondsSince(begin);
        if (held) {
            EXPECT_LT(seconds - freeSeconds, 0.8);
            EXPECT_FALSE(std::filesystem::exists(file)); // never written without the lock
            ::close(holder);
            EXPECT_TRUE(retryPrefsSave()); // the editor's next idle pass
        } else {
            freeSeconds = seconds;
            ::close(holder);
        }
        EXPECT_EQ(counter.saves(), 1);
        reloadPrefs();
        std::string value;
        for (const char* key : {"ECSDir", "XYPresetDir", "ArpPresetDir", "ModPresetDir",
                                "EnvelopePresetDir", "WavePresetDir", "SampleDir", "PresetDir"}) {
            loadStringFromPrefs(key, value, 255);
            EXPECT_FALSE(value.empty()) << key;
        }
    }
}

TEST(Startup, EmptyStoreGetsTheDataFolderDefaultsWrittenBack) {
    TempPrefs prefs;
    const std::string data = ondixDataFolder();
    ASSERT_TRUE(data.ends_with("/Haldmer/Ondix/"));
    ASSERT_EQ(data.rfind(std::getenv("XDG_DATA_HOME"), 0), 0u);
    FakeHost host;
    auto plugin = makePlugin();

    const FolderPaths& f = plugin->core.folders;
    const std::pair<const std::string*, const char*> folders[] = {
        {&f.ecsDir, "ECS/"},
        {&f.xyPresetDir, "XY Presets/"},
        {&f.arpPresetDir, "Arp Presets/"},
        {&f.modPresetDir, "Mod Presets/"},
        {&f.envelopePresetDir, "Envelope Presets/"},
        {&f.wavePresetDir, "Wave Presets/"},
        {&f.sampleDir, "Samples/"},
        {&f.presetDir, "Presets/"},
        {&f.helpPath, "Manual/Ondix Manual.html"},
        {&f.tuningDir, "Tuning/"},
    };
    for (const auto& [path, below] : folders) EXPECT_EQ(*path, data + below);

    // Read back from disk, not from the snapshot.
    reloadPrefs();
    std::string value;
    for (const char* key : {"ECSDir", "XYPresetDir", "ArpPresetDir", "ModPresetDir",
                            "EnvelopePresetDir", "WavePresetDir", "SampleDir", "PresetDir"}) {
        loadStringFromPrefs(key, value, 255);
        EXPECT_EQ(value.rfind(data, 0), 0u) << key;
    }
    loadStringFromPrefs("Help", value, 127);
    EXPECT_EQ(value, "");
    loadStringFromPrefs("Tuning", value, 127);
    EXPECT_EQ(value, "");
    const std::string file = ownPrefsFile();
    EXPECT_EQ(file.find("Help"), std::string::npos);
    EXPECT_EQ(file.find("Tuning"), std::string::npos);
    EXPECT_EQ(file.find("/Applications"), std::string::npos);
    // Nothing is created before something is saved.
    EXPECT_FALSE(std::filesystem::exists(data + "Presets"));
}

TEST(Startup, OldMacDefaultsMoveToTheDataFolder) {
    TempPrefs prefs;
    saveStringToPrefs("ECSDir", "/Applications/Haldmer/Ondix/ECS/");
    saveStringToPrefs("SampleDir", "/Applications/Haldmer/Ondix/");
    saveStringToPrefs("Tuning", "/Applications/Haldmer/Ondix/Tuning/");
    saveStringToPrefs("Help", "/Applications/Haldmer/Ondix/Manual/Haldmer_Ondix_Manual.pdf");
    saveStringToPrefs("WavePresetDir", "/home/me/waves/"); // chosen by the user: kept
    FakeHost host;
    auto plugin = makePlugin();
    const std::string data = ondixDataFolder();
    EXPECT_EQ(plugin->core.folders.ecsDir, data + "ECS/");
    EXPECT_EQ(plugin->core.folders.sampleDir, data + "Samples/");
    EXPECT_EQ(plugin->core.folders.tuningDir, data + "Tuning/");
    EXPECT_EQ(plugin->core.folders.helpPath, data + "Manual/Ondix Manual.html");
    EXPECT_EQ(plugin->core.folders.wavePresetDir, "/home/me/waves/");
    reloadPrefs();
    EXPECT_EQ(ownPrefsFile().find("/Applications"), std::string::npos);
}

TEST(Startup, StoredFoldersAreUsedUnchanged) {
    TempPrefs prefs;
    saveStringToPrefs("ECSDir", "/nowhere/at all/maps/");
    saveStringToPrefs("Tuning", "/home/me/scales/");
    FakeHost host;
    auto plugin = makePlugin();
    EXPECT_EQ(plugin->core.folders.ecsDir, "/nowhere/at all/maps/");
    EXPECT_EQ(plugin->core.folders.tuningDir, "/home/me/scales/");
}

TEST(Startup, MidiChannelAndControllerMapComeFromTheStore) {
    const std::pair<int, int> channels[] = {{0, -1},  {1, 0},   {16, 15},
                                            {17, 16}, {18, -1}, {-5, -1}};
    for (auto [stored, expected] : channels) {
        TempPrefs prefs;
        saveIntToPrefs(REG_MIDI_IN_CHANNEL_STR, stored);
        setMidiCC(74, tag::FilterFreq);
        FakeHost host;
        auto plugin = makePlugin();
        EXPECT_EQ(plugin->engine.midi.midiChannel.load(), expected) << "stored " << stored;
        EXPECT_EQ(plugin->engine.midi.ccMap[74].load(), tag::FilterFreq);
        EXPECT_EQ(plugin->engine.midi.ccMap[1].load(), 0);
        // A loaded binding picks its parameter up from where it stands.
        EXPECT_EQ(plugin->engine.midi.pickupRef[tag::FilterFreq], kPickupFromCurrentValue);
    }
    TempPrefs empty;
    FakeHost host;
    EXPECT_EQ(makePlugin()->engine.midi.midiChannel.load(), -1);
}

TEST(Startup, RateTempoAndFlags) {
    TempPrefs prefs;
    FakeHost host;
    auto plugin = makePlugin();
    EXPECT_FLOAT_EQ(plugin->engine.rate.sampleRate, 44100.0f);
    EXPECT_DOUBLE_EQ(plugin->engine.render.tempoD, 120.0);
    EXPECT_DOUBLE_EQ(plugin->engine.render.samplesPerWholeNoteD, 88200.0);
    EXPECT_FALSE(plugin->core.presetPending);
    EXPECT_FALSE(plugin->core.screenUpdatePending);
    EXPECT_EQ(plugin->getLockState(kLockPlay), 0);
    EXPECT_EQ(plugin->getLockState(kLockArp), 0);
}

// A host that loads a project on several threads creates its instances at
// the same moment: each gets the shared tables and an editor whose pictures
// come from the one artwork painter. (Under ThreadSanitizer this also checks
// the process-wide parts the first instances set up.)
TEST(Startup, InstancesCreatedOnSeveralThreadsAtOnce) {
    TempPrefs prefs;
    FakeHost host;
    constexpr int kThreads = 4;
    std::array<std::unique_ptr<APlugin>, kThreads> plugins;
    std::latch start(kThreads);
    std::vector<std::thread> threads;
    for (auto& plugin : plugins)
        threads.emplace_back([&start, &plugin] {
            start.arrive_and_wait();
            plugin = makePlugin();
        });
    for (auto& thread : threads) thread.join();
    for (const auto& plugin : plugins) {
        ASSERT_NE(plugin->getEditor(), nullptr);
        auto* bitmap = new VSTGUI::CBitmap(VSTGUI::CResourceDescription(10054));
        EXPECT_GT(bitmap->getWidth(), 0);
        bitmap->forget();
    }
}

TEST(Startup, ASecondInstanceIsQuick) {
    TempPrefs prefs;
    FakeHost host;
    makePlugin(); // builds the shared tables if no test did yet
    const auto start = std::chrono::steady_clock::now();
    auto second = makePlugin();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    // Generous bound for sanitizer builds; a Release build takes well under 1 ms.
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 250);
}

// The manual the Help button opens is written out where the "Help"
// preference names it, with its picture beside it.
TEST(Startup, TheManualIsWrittenOutWithItsPicture) {
    TempPrefs prefs;
    const std::string folder = prefs.path() + "/Manual";
    std::string error;
    ASSERT_TRUE(installManual(folder, error)) << error;
    std::ifstream page(folder + "/" ONDIX_MANUAL_FILE);
    std::stringstream text;
    text << page.rdbuf();
    EXPECT_NE(text.str().find("<img src=\"editor.png\""), std::string::npos);
    EXPECT_GT(std::filesystem::file_size(folder + "/editor.png"), 10000u);
    ASSERT_TRUE(installManual(folder, error)) << error; // again: nothing to change
}
