// Programs and preset application.
//
// The plug-in has one program, kept in the program record. The host's
// program calls load the record into the value copies; the full application
// of a preset (every value into every copy, locked sections kept, the engine
// reset for the new values) runs on the audio thread at the render loop's
// slow tick, or before the next note, after a restored chunk, a write of tag
// 997 or the user's choice of a preset asked for it. The editor's three
// program commands go back to the loaded values, back to the edited values or
// clear everything to the defaults.

#include "core/aplugin.h"
#include "core/modes.h"
#include "core/numeric.h"
#include "core/thread_role.h"

#include "editor/ueditor.h"
#include "platform/dialogs.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// The host's program-name buffer holds 24 bytes (kVstMaxProgNameLen).
constexpr std::size_t kHostProgramNameChars = 23;

// Play mode 8 is the arpeggiator; stored as (8 + 0.1) / 8.99.
constexpr float kPlayModeArpValue = (static_cast<float>(playmode::Arp) + 0.1f) / 8.99f;

// How long a rewrite of the program record waits at most for the block
// being rendered (a block is rendered in less time than it plays).
constexpr auto kBlockWaitLimit = std::chrono::milliseconds(250);

// The editor's program commands by number.
constexpr int kCommandOrigProgram = 11;
constexpr int kCommandEditProgram = 12;
constexpr int kCommandClearProgram = 13;

// Whether a list entry's name, as the record would hold it (its first 28
// characters, each as the text writer stores it), is stored.
bool storedNameIs(const char* entry, const char* stored) {
    int length = 0;
    for (int i = 0; i < tag::PresetNameLength && entry[i] != '\0'; ++i) {
        const char c = validChar(entry[i]);
        if (c == '\0') continue;
        if (stored[length] != c) return false;
        ++length;
    }
    return stored[length] == '\0';
}

// Every value of the record, as stored, into the edited and loaded copies,
// and within 0..1 into the current one. A restored state may hold values
// out of range (the record keeps them, for the host to get back): the
// engine and the editor play and show each as its nearest bound.
void copyRecordValues(const ProgramRecord& record, ParamValues& pv) {
    for (int t = 0; t < tag::Count; ++t) {
        const float v = loadRelaxed(record.values[t]);
        storeRelaxed(pv.origValue[t], v);
        storeRelaxed(pv.editValue[t], v);
        storeRelaxed(pv.currentValue[t], clamp01(v));
    }
}

// The same for a record being loaded: also the value an edit is compared
// with, and every controller picks its value up anew.
void loadRecordValues(const ProgramRecord& record, ParamValues& pv, MidiState& midi) {
    for (int t = 0; t < tag::Count; ++t) {
        const float v = loadRelaxed(record.values[t]);
        storeRelaxed(pv.currentValue[t], clamp01(v));
        storeRelaxed(pv.origValue[t], v);
        storeRelaxed(pv.editValue[t], v);
        storeRelaxed(pv.lastEditValue[t], v);
        storeRelaxed(midi.pickupRef[t], kPickupFromCurrentValue);
        std::atomic_ref<bool>(midi.captured[t]).store(false, std::memory_order_relaxed);
    }
}

void clearCaptured(MidiState& midi, int t) {
    std::atomic_ref<bool>(midi.captured[t]).store(false, std::memory_order_relaxed);
}

// Every learned controller picks its parameter up again where the values
// now loaded put it (the audio thread reads the pick-up state at any time).
void releaseControllers(MidiState& midi) {
    for (int t = 0; t < tag::Count; ++t) {
        storeRelaxed(midi.pickupRef[t], kPickupFromCurrentValue);
        clearCaptured(midi, t);
    }
}

// Copies a preset-list entry into a host buffer, cut to the host's limit.
void copyProgramName(char* dest, const char* name) {
    const std::size_t length = strnlen(name, kHostProgramNameChars);
    std::memcpy(dest, name, length);
    dest[length] = '\0';
}

// The program commands rewrite every value, the user waves' partials among
// them: the waves' tables, which the oscillators play and the editor shows,
// are built from them again (and the oscillator tables after them).
void rebuildUserWaves(APlugin& p) {
    for (int w = 0; w < kNumUserWaves; ++w) p.convertWaveTablePartialsToWaveTable(w);
}

} // namespace

// ------------------------------------------------------------------ the preset list

// The list from the preset store, and the first entry (the initial patch)
// as the start values. Should its file be refused, the defaults stand in.
void APlugin::loadFirstPreset() {
    refreshPresetList();
    core.presetIndex.store(0, std::memory_order_relaxed);
    std::array<float, tag::Count> values;
    values = params.defaultValue;
    if (!core.presetEntries.empty()) {
        std::string text, error;
        if (!readPresetText(core.presetEntries.front(), text, error) ||
            !presetValuesFromText(text, values, error))
            values = params.defaultValue;
    }
    for (int t = 0; t < tag::Count; ++t) {
        const float v = values[static_cast<std::size_t>(t)];
        storeRelaxed(core.values.editValue[t], v);
        storeRelaxed(core.values.currentValue[t], clamp01(v));
        storeRelaxed(storedProgram().values[t], v);
    }
    core.valuesChanged();
}

// The preset name held in tags 208..235 of the program record, without
// allocating (this runs on the audio thread too).
void APlugin::readStoredPresetName(char (&name)[tag::PresetNameLength + 1]) const {
    int length = 0;
    for (int i = 0; i < tag::PresetNameLength; ++i) {
        const float v = loadRelaxed(storedProgram().values[tag::PresetNameFirst + i]);
        const float scaled = v * 255.99f + 0.1f;
        const int c = scaled > 0.0f && scaled < 256.0f ? static_cast<int>(scaled) : 0;
        if (c != 0 && c < 128) name[length++] = static_cast<char>(c);
    }
    name[length] = '\0';
}

// The last list entry whose name equals the record's preset name; entry 0
// when none does. Both the host's program calls and the audio thread's
// application set it, from the same record.
void APlugin::selectPresetByStoredName() {
    char name[tag::PresetNameLength + 1];
    readStoredPresetName(name);
    int index = 0;
    const int count = std::clamp(presetCount, 0, kMaxPresetNames);
    for (int i = 0; i < count; ++i)
        if (storedNameIs(presetNames[i].data(), name)) index = i;
    core.presetIndex.store(index, std::memory_order_relaxed);
}

// ------------------------------------------------------------------ host program calls

void APlugin::setProgram(VstInt32 program) {
    if (program != 0 || core.editorOpening) return;
    curProgram = 0;
    selectPresetByStoredName();
    copyRecordValues(storedProgram(), core.values);
    core.valuesChanged();
    releaseControllers(engine.midi);
}

void APlugin::unSelectThenSetProgram() {
    setProgram(0);
}

void APlugin::setProgramName(char* /*name*/) {}

void APlugin::getProgramName(char* name) {
    if (!name) return;
    const int index =
        std::clamp(core.presetIndex.load(std::memory_order_relaxed), 0, kMaxPresetNames - 1);
    copyProgramName(name, presetNames[index].data());
}

bool APlugin::getProgramNameIndexed(VstInt32 /*category*/, VstInt32 index, char* name) {
    if (index != 0 || !name) return false;
    getProgramName(name);
    return true;
}

bool APlugin::getIsSettingPreset() const {
    return core.settingPreset || core.presetPending || core.screenUpdatePending;
}

// Steps through the preset list, wrapping from the last entry to the first
// and back. Nothing moves while the audio thread still has a preset to
// apply. Refused files are passed over: the step goes on to the next
// readable entry in its direction, and when no other entry is readable the
// current preset stays. One message per step names the files it passed
// over, each file once while the plug-in is loaded, so that a held arrow
// key is not stopped by a message at every press.
void APlugin::changePresetDelta(int delta) {
    if (getIsSettingPreset()) return;
    const int count = std::clamp(presetCount, 0, kMaxPresetNames);
    if (count < 2 || delta == 0) return;
    const long long current = core.presetIndex.load(std::memory_order_relaxed);
    const auto wrap = [count](long long i) { return (i % count + count) % count; };
    const int direction = delta > 0 ? 1 : -1;
    long long index = wrap(current + delta);
    struct Passed {
        std::string name, error;
    };
    std::vector<Passed> passed; // the refused files not told of before
    for (int tried = 0; tried < count && index != current;
         ++tried, index = wrap(index + direction)) {
        std::string error;
        if (choosePreset(static_cast<int>(index), error)) break;
        const auto at = static_cast<std::size_t>(index);
        if (at < core.presetEntries.size() &&
            core.refusedPresetsTold.insert(core.presetEntries[at].path).second)
            passed.push_back({core.presetEntries[at].name, error});
    }
    const auto named = [](const Passed& p) {
        return "\"" + p.name + "\"" + (p.error.empty() ? "" : " (" + p.error + ")");
    };
    if (passed.size() == 1) {
        const Passed& p = passed.front();
        messageBox("Problem with Preset File: \"" + p.name + "\" was not loaded" +
                       (p.error.empty() ? "" : " (" + p.error + ")"),
                   MESSAGE_BOX_OK);
    } else if (passed.size() > 1) {
        std::string text = "Problem with Preset Files: " + std::to_string(passed.size()) +
                           " presets were passed over: ";
        for (std::size_t i = 0; i < passed.size(); ++i) text += (i ? "; " : "") + named(passed[i]);
        messageBox(text, MESSAGE_BOX_OK);
    }
}

void APlugin::requestPresetApplication(PresetLoad load) {
    const RecordRewrite request(*this, load, false);
    // The state is in the record now: a controller that had picked its
    // parameter up before must not write over the value just loaded while
    // the application is still to come, so each one picks it up anew.
    releaseControllers(engine.midi);
    // Off an audio thread the tuning file the state names is read here and
    // the record's wave tables are built here, and the application takes
    // them: a note right after it plays the new waves at once. An audio
    // thread posts the file to the plug-in's file worker and leaves the
    // tables to the staged build.
    const bool audio = onAudioThread();
    prepareTuning(audio);
    if (!audio) prepareWaveTables(load);
}

APlugin::RecordRewrite::RecordRewrite(APlugin& p, PresetLoad load, bool blockFirst) : plugin(p) {
    CoreState& core = p.core;
    core.presetPending.beginRewrite(load);
    if (!blockFirst || p.onAudioThread()) return; // an audio thread never waits
    // Blocks that start from now on wait for the request from their first
    // frame (both sides sequentially consistent). A host whose audio thread
    // waits for this thread in a call to the host is not held up for long.
    const uint32_t seen = core.renderPasses.load(std::memory_order_seq_cst);
    if ((seen & 1) == 0) return;
    const auto giveUp = std::chrono::steady_clock::now() + kBlockWaitLimit;
    while (core.renderPasses.load(std::memory_order_acquire) == seen &&
           std::chrono::steady_clock::now() < giveUp)
        std::this_thread::yield();
}

APlugin::RecordRewrite::~RecordRewrite() {
    plugin.core.presetPending.endRewrite();
}

void APlugin::requestHostDisplayUpdate() {
    core.hostDisplayDue.store(true, std::memory_order_release);
}

bool APlugin::onAudioThread() {
    return threadrole::isAudioThread(getCurrentProcessLevel());
}

void APlugin::serveHostDisplayUpdate() {
    if (core.hostDisplayDue.load(std::memory_order_relaxed) &&
        core.hostDisplayDue.exchange(false, std::memory_order_acquire))
        updateDisplay();
}

// ------------------------------------------------------------------ preset application

// A chosen preset's own correction of one value: the stored, edited,
// current and loaded copies and the tag's pick-up reference.
void APlugin::writeAllCopies(int t, float v) {
    ParamValues& pv = core.values;
    storeRelaxed(storedProgram().values[t], v);
    storeRelaxed(pv.editValue[t], v);
    storeRelaxed(pv.currentValue[t], v);
    storeRelaxed(pv.origValue[t], v);
    storeRelaxed(engine.midi.pickupRef[t], v);
    core.valuesChanged();
}

// The record's values into every value copy, the pick-up state cleared (a
// controller picks each value up where it now stands) and an open editor
// told. A restore takes each value exactly as stored (as
// setProgram does) and leaves the record alone, so that the host gets back
// what it gave; a chosen preset's values are stored as setParameter stores
// them.
void APlugin::loadRecordIntoCopies(bool chosen) {
    ProgramRecord& record = storedProgram();
    if (chosen) {
        for (int t = 0; t < tag::Count; ++t)
            storeRelaxed(record.values[t], normalizedValue(t, loadRelaxed(record.values[t])));
    }
    loadRecordValues(record, core.values, engine.midi);
    core.valuesChanged();
    core.previewPlay.clear();

    if (editorIsShowing()) {
        uEditor* ui = getUEditor();
        for (int t = 0; t < tag::Count; ++t)
            if (editorShowsTag(t)) ui->setParameter(t, getCurrentValue(t));
    }
}

// What every chosen preset gets (a restored state is the host's own, taken
// back exactly as it was saved): the play mode and the Arp switch agree as
// the editor sets them. The switch on plays the
// arpeggiator, and so the play mode is the arpeggiator, the step the
// preset held being the mode the switch turned off goes back to; the play
// mode the arpeggiator with the switch off (or the Arp section locked with
// its switch on) turns the switch on. Whether a value changed.
bool APlugin::settlePlayModeAndArpSwitch() {
    bool changed = false;
    bool arpSwitchOn = getCurrentValue(tag::ArpOn) >= 0.5f;
    if (!arpSwitchOn && getPlayMode() == playmode::Arp) {
        writeAllCopies(tag::ArpOn, 1.0f);
        arpSwitchOn = changed = true;
    }
    if (arpSwitchOn && getSteppedValue(tag::PlayMode) != playmode::Arp) {
        rememberPlayModeLeft(playmode::Arp);
        writeAllCopies(tag::PlayMode, kPlayModeArpValue);
        changed = true;
    }
    return changed;
}

// What only a preset chosen by the user gets: it starts with the XY pad not
// recording and neither latch nor key entry held over.
void APlugin::startChosenPresetClean() {
    if (getSteppedValue(tag::XYRecordMode) == 1) writeAllCopies(tag::XYRecordMode, 0.0f);
    writeAllCopies(tag::ArpLatchOn, 0.0f);
    writeAllCopies(tag::ArpKeyEntryOn, 0.0f);
}

// Audio thread, at the render loop's slow tick while a preset is pending, or
// before a note that follows the request. The render loop keeps the output
// silent while settingPreset is set.
void APlugin::setPresetParameters() {
    if (core.settingPreset) return;
    const PresetLoad load = core.presetPending.take();
    if (load == kPresetNone) return; // the record is still being written
    const bool chosen = load == kPresetChosen;
    core.settingPreset.set();
    // The values written before the request belong to the preset.
    core.playModeWritten.store(false, std::memory_order_relaxed);
    core.arpSwitchWritten.store(false, std::memory_order_relaxed);

    // A chosen preset's entry was selected when it was chosen (two entries
    // may share a name); a restored state finds its entry by name.
    if (!chosen) selectPresetByStoredName();
    loadRecordIntoCopies(chosen);

    // Tables built for the request off the audio thread play from now on.
    // Without them a build in progress is given up for the one the reset
    // below asks for; until that is done the oscillator keeps the bank it
    // has, not one that is half built (nor one an off-thread build writes).
    const bool tablesTaken = takePreparedTables();
    if (!tablesTaken && !tableRebuildRunning()) {
        std::unique_lock lock(waves.tableBuildMutex, std::try_to_lock);
        if (lock.owns_lock()) {
            playBank(1);
        }
    }
    engine.notes.freshNote = false;

    const bool settled = chosen && settlePlayModeAndArpSwitch();
    if (chosen) startChosenPresetClean();

    deriveArpMagic();
    updateBaseNote();
    setTuning();

    core.editChanged.clear();
    NoteState& ns = engine.notes;
    ns.lastVoice = 0;
    ns.noteCounter = 0;
    clearDCBlockers();
    engine.display.clearScope();

    ParamValues& pv = core.values;
    if (chosen) {
        storeRelaxed(pv.currentValue[tag::XYMidiX], 0.5f);
        storeRelaxed(pv.currentValue[tag::XYMidiY], 0.5f);
        core.valuesChanged();
    }

    if (tablesTaken) {
        convertUserWavesWithPreparedTables();
    } else {
        convertUserWaveOnAudioThread(0);
        convertUserWaveOnAudioThread(1);
    }

    ns.spreadActive = false;
    ns.spreadModulated = false;
    for (int slot = 0; slot < kModSlots; ++slot)
        if (dst::isSpread(getModDest(slot))) ns.spreadModulated = true;

    initFX();
    waves.keepTablesOnReset = tablesTaken;
    reset(chosen ? kCentreXYPad : kKeepValues);
    waves.keepTablesOnReset = false;
    core.settingPreset.clear();
    // A restored state is the host's own; a chosen preset is news to it.
    if (chosen || settled) requestHostDisplayUpdate();
}

// ------------------------------------------------------------------ editor

bool APlugin::isEditorOpen() const {
    return editorIsShowing();
}

void APlugin::updateEditorScreen() {
    core.screenUpdatePending.clear();
    if (core.popupOpen) return;
    if (isEditorOpen()) getUEditor()->updateFrame();
}

// ------------------------------------------------------------------ program commands

void APlugin::origProgram() {
    ParamValues& pv = core.values;
    for (int t = 0; t < tag::Count; ++t) {
        const float v = loadRelaxed(pv.origValue[t]);
        storeRelaxed(pv.currentValue[t], clamp01(v));
        storeRelaxed(storedProgram().values[t], v);
    }
    core.valuesChanged();
    rebuildUserWaves(*this);
    core.editChanged.clear();
    requestHostDisplayUpdate();
    if (isEditorOpen()) getUEditor()->updateFrame();
}

void APlugin::editProgram() {
    ParamValues& pv = core.values;
    for (int t = 0; t < tag::Count; ++t) {
        const float v = loadRelaxed(pv.editValue[t]);
        storeRelaxed(pv.currentValue[t], clamp01(v));
        storeRelaxed(storedProgram().values[t], v);
    }
    core.valuesChanged();
    rebuildUserWaves(*this);
    core.editChanged.set();
    requestHostDisplayUpdate();
    if (isEditorOpen()) getUEditor()->updateFrame();
}

// Every tag to its default except the internal ones (128..242), which hold
// the preset name among others.
void APlugin::clearProgram() {
    ParamValues& pv = core.values;
    for (int t = 0; t < tag::Count; ++t) {
        if (t >= tag::InternalFirst && t <= tag::InternalLast) continue;
        const float v = params.defaultValue[t];
        storeRelaxed(pv.currentValue[t], clamp01(v));
        storeRelaxed(storedProgram().values[t], v);
        storeRelaxed(pv.lockedValue[t], clamp01(v));
    }
    core.valuesChanged();
    rebuildUserWaves(*this);
    core.editChanged.set();
    requestHostDisplayUpdate();
    if (isEditorOpen()) getUEditor()->updateFrame();
}

void APlugin::doFileCommands(int command) {
    switch (command) {
    case kCommandOrigProgram:
        origProgram();
        break;
    case kCommandEditProgram:
        editProgram();
        break;
    case kCommandClearProgram:
        clearProgram();
        break;
    default:
        break;
    }
}
