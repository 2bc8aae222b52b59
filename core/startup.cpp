// Start-up of a plug-in object: APlugin::initVariables brings a freshly
// constructed instance into its start state, in a fixed order.
//
// The parameter table and the engine's lookup tables are identical for every
// instance; they are built by the first instance of the process and shared,
// so a second instance only sets up its own state here.

#include "core/aplugin.h"

#include "data/manual.h"
#include "engine/tables.h"
#include "platform/prefs.h"

#include <string>

namespace {

// One folder preference: key, how long a value is read, the default used when
// nothing is stored (a sub-folder of the data folder), whether that default is
// written back at once, and the default of the macOS build, which a stored
// value that still holds it is moved from.
struct FolderPref {
    const char* key;
    int maxLen;
    const char* inDataFolder;
    bool writeBack;
    std::string FolderPaths::*member;
    const char* oldDefault;
};

constexpr int kShortPref = 127;
constexpr int kLongPref = 255;

const FolderPref kFolderPrefs[] = {
    {"ECSDir", kShortPref, "ECS/", true, &FolderPaths::ecsDir, "/Applications/Haldmer/Ondix/ECS/"},
    {"XYPresetDir", kLongPref, "XY Presets/", true, &FolderPaths::xyPresetDir,
     "/Applications/Haldmer/Ondix/XY Presets/"},
    {"ArpPresetDir", kLongPref, "Arp Presets/", true, &FolderPaths::arpPresetDir,
     "/Applications/Haldmer/Ondix/Arp Presets/"},
    {"ModPresetDir", kLongPref, "Mod Presets/", true, &FolderPaths::modPresetDir,
     "/Applications/Haldmer/Ondix/Mod Presets/"},
    {"EnvelopePresetDir", kLongPref, "Envelope Presets/", true, &FolderPaths::envelopePresetDir,
     "/Applications/Haldmer/Ondix/Envelope Presets/"},
    {"WavePresetDir", kLongPref, "Wave Presets/", true, &FolderPaths::wavePresetDir,
     "/Applications/Haldmer/Ondix/Wave Presets/"},
    {"SampleDir", kLongPref, "Samples/", true, &FolderPaths::sampleDir,
     "/Applications/Haldmer/Ondix/"},
    {"PresetDir", kLongPref, "Presets/", true, &FolderPaths::presetDir,
     "/Applications/Haldmer/Ondix/Presets/"},
    {"Help", kShortPref, "Manual/" ONDIX_MANUAL_FILE, false, &FolderPaths::helpPath,
     "/Applications/Haldmer/Ondix/Manual/Haldmer_Ondix_Manual.pdf"},
    {"Tuning", kShortPref, "Tuning/", false, &FolderPaths::tuningDir,
     "/Applications/Haldmer/Ondix/Tuning/"},
};

} // namespace

void APlugin::initVariables() {
    // 1. Parameters: the shared table holds every definition; this instance's
    //    value copies start from zero.
    core.values = ParamValues{};

    // 2. Lock map: held copies (cleared above) and both sections unlocked.
    for (auto& state : core.lockState) state.store(0, std::memory_order_relaxed);

    // 3. Folder paths.
    initFolderPaths();

    // 4. Program and editor flags.
    core.editChanged.clear();
    core.screenUpdatePending.clear();
    core.popupOpen.clear();
    core.presetPending.clear();
    core.settingPreset.clear();

    // 5. Tempo and sample rate: a stored rate just off 44100 makes the call
    //    below build the rate-dependent state for 44100 Hz.
    RenderState& render = engine.render;
    render.tempo = 120.0f;
    render.tempoD = 120.0;
    refreshA4Pref();
    engine.rate.sampleRate = 44099.0f;
    setSampleRate(44100.0f);
    render.samplesPerWholeNote = engine.rate.sampleRate * 240.0f / render.tempo;
    render.samplesPerWholeNoteD = engine.rate.sampleRateD * 240.0 / render.tempoD;

    // 6. Shared tables (built by the first instance) and the engine at rest.
    engineTables();
    restEngineState();
    waves.frameLevel.fill(1.0f);

    // 7. MIDI input channel, controller map and pick-up state.
    initMidiState();

    // 8. Effect chain at the stored rate, arpeggiator magic steps, XY pad.
    initEffectChain();

    // 9. Factory wave 0 into both user waves.
    loadWavePreset(0, 0);
    loadWavePreset(1, 0);
    // Loading the start waves is not an edit of the preset.
    core.editChanged.clear();

    // 10. What the editor shows before the first block.
    publishDisplay();
}

// Folders are created when a file is first written to them, not here. The
// defaults written back are stored in one save.
void APlugin::initFolderPaths() {
    const std::string data = ondixDataFolder();
    const PrefsSaveGroup oneSave;
    for (const FolderPref& pref : kFolderPrefs) {
        std::string& path = core.folders.*pref.member;
        loadStringFromPrefs(pref.key, path, pref.maxLen);
        if (path.empty()) {
            path = data + pref.inDataFolder;
            if (pref.writeBack) saveDefaultStringToPrefs(pref.key, path);
        } else if (path == pref.oldDefault) {
            path = data + pref.inDataFolder;
            saveStringToPrefs(pref.key, path);
        }
        if (pref.member == &FolderPaths::wavePresetDir) scanWavePreset();
    }
}

void APlugin::initMidiState() {
    MidiState& midi = engine.midi;
    // Stored 0 means every channel, 1..16 one channel, 17 none; anything else
    // (also a missing value, read as 0) means every channel.
    refreshMidiChannelPref();
    refreshMidiCapturePref();
    const int stored = loadIntFromPrefs(REG_MIDI_IN_CHANNEL_STR);
    midi.midiChannel.store(stored >= 0 && stored <= 17 ? stored - 1 : -1,
                           std::memory_order_relaxed);
    for (int n = 0; n < 128; ++n) midi.ccMap[n].store(getMidiCC(n), std::memory_order_relaxed);
    midi.captured.fill(false);
    midi.pickupRef.fill(kPickupFromCurrentValue);
    midi.learnTag.store(-1, std::memory_order_relaxed);
}
