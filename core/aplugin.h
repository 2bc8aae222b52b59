// APlugin: one Ondix instrument instance.
//
// The object a host creates through the VST 2.4 entry (or the AudioUnit
// adapter through createEffectInstance). It holds the whole instrument in
// fixed-size state grouped per subsystem (core, engine, ...); its methods are
// implemented in the folder of the subsystem they belong to:
//   core/aplugin.cpp          entry, construction, host detection, the editor
//   core/startup.cpp          first values, folders and MIDI state
//   core/host_interface.cpp   names, capabilities, pins, gestures, vendor calls
//   core/parameters.cpp       value copies and editing rules
//   core/display_texts.cpp    value texts
//   core/text_params.cpp      text held in parameters
//   core/locks.cpp            section locks
//   core/typed_entry.cpp      typed values in the parameters' units, stepping
//   core/programs.cpp         programs, preset application, program commands
//   core/presets.cpp          the preset store: list, files, folders
//   core/chunk.cpp            the state chunk
//   core/ecs_files.cpp        MIDI controller map files
//   engine/sample_rate.cpp    sample rate and reference pitch
//   engine/midi.cpp           MIDI input and the controller sources
//   engine/midi_learn.cpp     MIDI controller map and learning
//   engine/midi_latch.cpp     MIDI latch
//   engine/notes.cpp          play modes, voices, notes, resets
//   engine/render.cpp         the render loop
//   engine/envelopes.cpp      envelopes, setGlobalRare
//   engine/matrix.cpp         modulation slots and the matrix
//   engine/lfo.cpp            free LFOs, SMod LFO, effect-LFO rates, noise
//   engine/oscillator.cpp     oscillator stage
//   engine/filter_stage.cpp   filter stage
//   engine/voice_mix.cpp      voice mix
//   engine/display.cpp        what the editor shows, published by the audio thread
//   engine/editor_getters.cpp what the editor reads (arpeggiator, XY pad modes)
//   engine/modxy_getters.cpp  the XY pad's oscilloscope picture
//   engine/effects.cpp        the effect chain
//   engine/arp.cpp            the arpeggiator
//   engine/xy_pad.cpp         the XY pad: live position, takes, path replay
//   engine/tuning.cpp         tuning files and the note pitch table
//   waves/user_waves.cpp      user waves: partials, rebuilds, preview
//   waves/editor_services.cpp user waves: editor commands
//   waves/wave_presets.cpp    factory and saved waves into user waves
//   waves/sample_import.cpp   samples into user waves
//   waves/wave_tables.cpp     oscillator wave tables
// Each group of declarations below names its file.
#pragma once

#include "core/adapter_services.h"
#include "core/audioeffectx.h"
#include "core/core_state.h"
#include "core/numeric.h"
#include "core/paramtable.h"
#include "core/process_shared.h"
#include "data/factory_waves.h"
#include "engine/engine_state.h"
#include "engine/tables.h"
#include "platform/file_helpers.h"
#include "waves/wave_state.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

class uEditor;

// SharedHold comes first: the tables every instance shares outlive all of
// the object, however late a host closes it (core/process_shared.h).
class APlugin : private SharedHold, public AudioEffectX, public AdapterServices {
public:
    explicit APlugin(audioMasterCallback audioMaster);
    ~APlugin() override;

    APlugin(const APlugin&) = delete;
    APlugin& operator=(const APlugin&) = delete;

    // ------------------------------------------------------------ VST 2.4 overrides
    // (core/host_interface.cpp unless marked)
    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                         float opt) override;
    void suspend() override;
    void setSampleRate(float sampleRate) override; // engine/sample_rate.cpp
    void applySampleRate(float r, const EffectTables* tables);
    void processReplacing(float** inputs, float** outputs,
                          VstInt32 sampleFrames) override; // engine/render.cpp
    void setParameter(VstInt32 tag, float value) override; // core/parameters.cpp
    float getParameter(VstInt32 tag) override;             // core/parameters.cpp
    void setProgram(VstInt32 program) override;            // core/programs.cpp
    void setProgramName(char* name) override;              // core/programs.cpp
    void getProgramName(char* name) override;              // core/programs.cpp
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index,
                               char* name) override; // core/programs.cpp
    void getParameterLabel(VstInt32 tag, char* label) override;
    void getParameterName(VstInt32 tag, char* text) override;
    bool canParameterBeAutomated(VstInt32 tag) override;
    bool beginEdit(VstInt32 tag) override;
    bool endEdit(VstInt32 tag) override;
    bool getOutputProperties(VstInt32 index, VstPinProperties* properties) override;
    VstInt32 processEvents(VstEvents* events) override; // engine/midi.cpp
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    VstInt32 getVendorVersion() override;
    VstInt32 canDo(char* text) override;
    // The editor's writes, told to the host; a play mode or an Arp switch
    // written this way brings the other along (makePlayModeAgree;
    // core/parameters.cpp).
    void setParameterAutomated(VstInt32 tag, float value) override;
    VstInt32 getChunk(void** data, bool isPreset) override;                   // core/chunk.cpp
    VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) override; // core/chunk.cpp
    VstIntPtr vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) override;
    virtual float getVu();

    // ------------------------------------------------------------ value texts
    // (core/display_texts.cpp)
    void getParameterDisplay(VstInt32 tag, char* text) override;
    std::string getParameterDisplayStr(int tag);
    static std::string getFloatStr(float value, int decimals);
    static std::string getFilterFreqStr(float value);
    static std::string getEnvLenStr(float value);
    static std::string getFadeLenStr(float value, float sustain);
    std::string getLFOSpeedStr(int tag) const;
    std::string getLFOSpeedStr(int tag, float value) const;
    // A free envelope's attack, decay, fade or release shown and typed in
    // tempo steps: its envelope's sync switch is on.
    bool freeEnvTimeSynced(int tag) const;

    // ------------------------------------------------------------ for host adapters
    // (core/display_texts.cpp, core/chunk.cpp)
    std::string formatParameterValue(int tag, float value) const override;
    int storedProgramCount() const override { return static_cast<int>(core.programStore.size()); }
    bool readStoredProgram(int program, ProgramRecord& out) const override;
    bool restoreStoredProgram(int program, const ProgramRecord& record) override;

    // ------------------------------------------------------------ NKS properties
    // (core/host_interface.cpp)
    int getVendorSpecificPropertyInfo(int property, uint64_t& size, bool& writable) const;
    bool getVendorSpecificProperty(int property, void* data) const;
    int setVendorSpecificProperty(int property, void* data, uint64_t size);
    bool notifyNKSHost(int message, void* data, uint64_t size);

    // ------------------------------------------------------------ parameter metadata
    // (core/parameters.cpp; getParameterNameStr in core/host_interface.cpp)
    static bool isValidTag(int tag) { return tag::isValid(tag); }
    const ParamTable& meta() const { return params; }
    float getDefaultValue(int tag) const;
    int getSteppedNum(int tag) const;
    float getSteppedRange(int tag) const;
    int getTagDest(int tag) const;
    int getLockedSectionForTag(int tag) const;
    std::string getParameterNameStr(int tag);

    // ------------------------------------------------------------ values and editing rules
    // (core/parameters.cpp)
    // The value the engine and the editor read, within 0..1.
    float getCurrentValue(int tag) const {
        return isValidTag(tag) ? loadRelaxed(core.values.currentValue[tag]) : 0.0f;
    }
    float getStoredValue(int tag) const;
    // A value as setParameter stores it: within 0..1 (not a number as 0), a
    // switch exactly 0 or 1.
    float normalizedValue(int tag, float value) const;
    // The tags whose controls an open editor is told about.
    static bool editorShowsTag(int tag) {
        return tag < tag::TakeOver && !(tag >= tag::EditorSkipFirst && tag <= tag::EditorSkipLast);
    }
    static int getSteppedValue(float value, float range, int count);
    int getSteppedValue(int tag, float range, int count) const;
    int getSteppedValue(int tag) const;
    int getSteppedValue(int tag, float value) const;
    void setSteppedValue(int tag, int step, float range, int count);
    void setSteppedValue(int tag, int step);
    void setSteppedValueMax(int tag);
    static bool getOnOff(float value) { return value >= 0.5f; }
    bool getOnOff(int tag) const;
    // The modulation effect: false for the flanger, true for the phaser.
    bool getFlangerOrPhaser() const { return getOnOff(tag::FlangerOrPhaser); }
    void setOnOff(int tag, bool on);
    // The Arp switch (116) is on exactly while the play mode (243) is the
    // arpeggiator, as the play-mode menu sets them. After `changed` (one of
    // the two) was written, the other follows: the switch takes the play
    // mode's word; the switch turned on selects the arpeggiator, turned off
    // the play mode it was chosen from (unless another is selected
    // already; getSavedPlayMode). Written
    // automated or plain, as the write it follows; nothing while the Play or
    // the Arp section is locked.
    void makePlayModeAgree(int changed, bool automated);
    // The play mode the arpeggiator was chosen from, by whatever way: the
    // one that turning the Arp switch off goes back to.
    int getSavedPlayMode() const;
    void rememberPlayModeLeft(int nextStep);
    // Audio thread, at the mode check and before a note: when the host (or a
    // learned controller) wrote only one of the two since the last check,
    // the other follows it. Both written (a state restored value by value, a
    // section pasted) or a preset on its way: nothing.
    void agreePlayModeAfterWrites();
    void setOn(int tag) { setOnOff(tag, true); }
    void setOff(int tag) { setOnOff(tag, false); }
    void toggleValue(int tag);
    void setToDefault(int tag);
    void setToDefaultRange(int first, int last);
    float getOrigValue(int tag) const;
    void setToOrig(int tag);
    void setZeroValue(int tag);
    void copyParameter(int from, int to);
    void copyParameterRange(int from, int to, int count);
    void copyParameterToRange(int from, int first, int last);
    void swapParameter(int a, int b);
    void swapParameterRange(int a, int b, int count);
    bool getEditChanged() const { return core.editChanged; }

    // ------------------------------------------------------------ typed entry and stepping
    // (core/typed_entry.cpp; main thread, the first two are modal)
    void setNumValue(int tag);  // input box in the parameter's own unit
    void setModValue(int slot); // amount of user slot 0..11 in its destination's unit
    void changeDelta(int tag, int delta, bool fine, float scale); // wheel and step clicks

    // ------------------------------------------------------------ text held in parameters
    // (core/text_params.cpp)
    void setStringFromParam(const std::string& text, int firstTag, int count);
    std::string getStringFromParamStr(int firstTag, int count) const;
    void set2StringFromParam(const std::string& text, int firstTag, int count);
    std::string get2StringFromParamStr(int firstTag, int count) const;

    // ------------------------------------------------------------ user waves
    // (waves/user_waves.cpp)
    static bool isValidWave(int w) { return static_cast<unsigned>(w) < kNumUserWaves; }
    static bool isValidPartial(int j) { return static_cast<unsigned>(j) < kUserWavePartials; }
    static bool isValidWavePartial(int w, int j) { return isValidWave(w) && isValidPartial(j); }
    static float packPartial(float amplitude, float phase);
    static void getWaveTablePartials(float value, float& amplitude, float& phase);
    TAdditive getWaveTablePartials(int w, int j);
    float getWaveTablePartials(int w, int j, bool phase);
    float getWaveTablePartialsAmp(int w, int j);
    float getWaveTablePartialsPhase(int w, int j);
    void setWaveTablePartials(int w, int j, float amplitude, float phase);
    void setWaveTablePartials(int w, int j, const TAdditive& partial);
    void setWaveTablePartials(int w, int j, float x, bool phase);
    void setWaveTablePartialsAmp(int w, int j, float amplitude);
    void setWaveTablePartialsPhase(int w, int j, float phase);
    void setWaveTableValue(int w, int i, float x);
    float getWaveTableValue(int w, int i) const;
    void storeUserWave(int w, const WaveTable& table);
    void convertWaveTablePartialsToWaveTable(int w); // main thread
    void convertUserWaveOnAudioThread(int w);        // audio thread (preset application)
    void convertWaveTableToWaveTablePartials(int w);
    void convertTempPartialsToTempWaveTable(int n);
    void convertTempWaveTableToTempPartials(int n);
    WaveWorkspace& mainWaveWorkspace() { return waves.mainWork; }
    static void synthesizePartials(WaveWorkspace& work, int n);
    static void analyseTempWaveTable(WaveWorkspace& work, int n);
    void loadWavePreset(int w, int n); // factory wave n into user wave w (waves/wave_presets.cpp)
    void requestTableRebuild();
    void publishPreviewWave(const WaveTable& wave); // main thread

    // ------------------------------------------------------------ user waves: editor commands
    // (waves/editor_services.cpp; main thread, each ends with the wave's rebuild)
    void clearWave(int w);
    void copyWave(int from, int to);
    void swapWave(int a, int b);
    std::string getWavePresetStr(int w) const; // the wave's name, "None" without one
    void setWavePresetDelta(int w, int delta); // factory wave delta places from the named one
    void loadWave(int w);                      // ".uwv" file chosen in a dialog
    void saveWave(int w);
    void loadWavePreset(int w, const std::string& name); // file of the wave-preset folder
    void normalizeWave(int w);
    void removeDCInWave(int w);
    void invertWave(int w);
    void reverseWave(int w);
    void smoothWave(int w);
    // A WAV or AIFF file chosen in a dialog, squeezed into one cycle of wave w
    // (waves/sample_import.cpp).
    void loadSample(int w);
    // The wave shaper (tag::WaveShaper1..WaveShaperMode): a preview of user wave w, and
    // applying it to the wave.
    void updatePreviewWaveTable(int w);
    void doWaveShaperCommand(int w);
    float getPreviewWaveTableValue(int i) const;
    float getPreviewPartialsAmp(int k) const;
    float getPreviewPartialsPhase(int k) const;
    // While set, every oscillator plays the preview wave.
    bool getTempPreviewWave() const;
    void setTempPreviewWave(bool on);

    // ------------------------------------------------------------ wave tables
    // (waves/wave_tables.cpp)
    int getOscWave(int tag) const;
    int getOscMode() const;
    void setOscWaveTables();
    void setOscWavePitchTables(int first, int last);
    void normalizePitchTables();
    void playBank(int slot);

    // ------------------------------------------------------------ section locks
    // (core/locks.cpp)
    static bool validLockSection(int section);
    void setLockState(int section, int state);
    int getLockState(int section) const;
    bool getTagLocked(int tag) const;
    float getLockVar(int tag) const;
    bool getLockVarOnOff(int tag) const;
    int getLockSteppedValue(int tag) const;
    void setLockVar(int tag, float value);
    bool getPlayLocked() const;
    bool getArpLocked() const;
    bool getArpOrPlayLocked() const;

    // ------------------------------------------------------------ editor and programs
    // (core/aplugin.cpp; updateEditorScreen in core/programs.cpp)
    uEditor* getUEditor() const;
    bool editorIsShowing() const; // exists, has finished opening and reports open
    void updateEditorScreen();
    // Deferred program changes by number or name and a deferred preview:
    // polled at the start of every audio block; nothing here waits on them.
    void setProgramAfterWaitingFromNo() {}
    void setProgramAfterWaitingFromName() {}
    void setPreviewAfterWaitingFromName() {}
    int getCurProgram() const { return curProgram; }

    // ------------------------------------------------------------ programs (core/programs.cpp)
    static constexpr int kMaxPresetNames = PRESET_LIST_MAX;
    static constexpr int kPresetNameChars = static_cast<int>(PRESET_NAME_MAX) + 1; // with the NUL
    bool isEditorOpen() const;
    bool getIsSettingPreset() const;
    void unSelectThenSetProgram();
    void origProgram();
    void editProgram();
    void clearProgram();
    void doFileCommands(int command);
    // Main thread: the preset delta places away in the list, wrapping at its
    // ends; refused files are passed over in the direction of the step, and
    // one message tells of those passed over for the first time.
    void changePresetDelta(int delta);
    // Asks the audio thread to apply the program record (any thread; off the
    // audio thread the record's wave tables are built here first).
    void requestPresetApplication(PresetLoad load);
    // The span of a rewrite of the program record whose application is then
    // requested (a restored state, a chosen preset). The request stands from
    // the start: the engine waits, and no application takes the record while
    // it is half written, nor as the kind of a request made before it (a
    // preset chosen and a state restored before its application: the state
    // is applied, exactly as it was saved). With `blockFirst`, off an audio
    // thread, the block being rendered is let finish first: what it does
    // from the state before (an application taken already, the pad following
    // its MIDI position, a reset for a changed mode) lands before the new
    // record, not in it.
    class RecordRewrite {
    public:
        RecordRewrite(APlugin& p, PresetLoad load, bool blockFirst = true);
        ~RecordRewrite();
        RecordRewrite(const RecordRewrite&) = delete;
        RecordRewrite& operator=(const RecordRewrite&) = delete;

    private:
        APlugin& plugin;
    };
    // Any thread, after many values changed without the host being told
    // value by value: the host is to refresh what it shows of them.
    void requestHostDisplayUpdate();
    // Main thread (the editor's idle pass): tells the host once for every
    // request made since (updateDisplay; never from the audio thread).
    void serveHostDisplayUpdate();
    // Whether the calling thread must never wait on a lock, read a file or
    // build tables: the host's word on the thread's process level, and when
    // it does not say, whether the thread has rendered or runs in real time.
    bool onAudioThread();
    // The preset list: names of up to 63 characters, presetCount in use.
    std::array<std::array<char, kPresetNameChars>, kMaxPresetNames> presetNames{};
    int presetCount = 0;

    // ------------------------------------------------------------ the preset store
    // (core/presets.cpp; main thread). The list's entries are in
    // core.presetEntries; presetNames and presetCount mirror their names.
    void refreshPresetList();
    // Entry index into the program record and applied; false, with a message
    // shown and nothing changed, when its file is refused.
    bool choosePreset(int index);
    // The defaults with a preset file's values over them; false with error
    // set when the text is refused.
    bool presetValuesFromText(std::string_view text, std::array<float, tag::Count>& values,
                              std::string& error) const;
    // The current values as a preset file.
    std::string currentPresetText() const;
    // The entry of the current preset; nullptr when the list has none.
    const PresetEntry* currentPresetEntry() const;
    void loadPresetFile();
    void savePreset();
    void savePresetAs();
    void savePresetInFolder();
    void savePresetInFavorites();
    void renamePreset();
    void createNewPreset();
    void deletePreset();
    void createPresetFolder();
    void renamePresetFolder();
    void deletePresetFolder();
    void copyPresetFolder();
    // The current values become the loaded state (tag 998, and a save;
    // core/parameters.cpp).
    void takeOverCurrentValues();

    // The chunk buffers handed to the host (core/chunk.cpp).
    ProgramRecord bankChunk{};
    ProgramRecord programChunk{};

    // ------------------------------------------------------------ engine: MIDI (engine/midi.cpp)
    void processMidi(long sampleIndex);
    void updateMidiChannel(bool force);
    void setModSrcAmt(int source, float value);              // global row and every voice
    void setModSrcAmt(int voice, int source, float value);   // one voice
    void setModSrcAmt(int source, float value, int channel); // controller sources
    void refreshMidiChannelPref(); // main thread: re-read "MIDIChannel" for the audio thread

    // ------------------------------------------------------------ engine: MIDI controller map
    // (engine/midi_learn.cpp, core/ecs_files.cpp; main thread)
    void resetMIDI();        // unbinds every controller, in memory and preferences
    void resetMIDICapture(); // pick-up state of every tag back to "not captured"
    // Binds the controller number the user types in an input box to tag.
    void setMIDICCNum(int tag);
    // Writes the bindings the audio thread has learned to the preferences.
    void flushLearnedControllers();
    // Re-reads "MIDICapture" into the copy the audio thread reads.
    void refreshMidiCapturePref();
    // With on, the next controller moved is bound to tag (learning); without,
    // every controller bound to tag is unbound (engine/midi_latch.cpp).
    void setMIDILatch(int tag, bool on);
    void saveECS(); // controller map to a file chosen in a dialog
    void loadECS(); // controller map from a file chosen in a dialog

    // ------------------------------------------------------------ engine: notes (engine/notes.cpp)
    static bool isValidVoice(int v) { return v >= 0 && v < kNumVoices; }
    static int limitVoice(int v) { return v < 0 ? 0 : (v >= kNumVoices ? kNumVoices - 1 : v); }
    int getPlayMode() const;
    int getPortMode() const;
    int getGlobalUniMode() const;
    int getUniMode(int voice) const;
    int getUniVoiceNum(int voice) const;
    void midiNoteDown(int note, int velocity, int channel);
    void midiNoteReleased(int note, int velocity, int channel);
    void setNotePressed(int voice, int note, int velocity, float detune, bool restart, bool fromArp,
                        bool glide);
    void getNextCurVoice();
    void setVoiceOn(int v);
    void setVoiceOff(int v);
    void setHold(int v);
    uint32_t voicesThatMaySound() const; // a bit per voice, a superset of those that sound
    bool anyVoiceSounds() const;         // audio thread: a voice is gated or above silence
    int getNotesPlaying() const;
    int getNotesOn() const;
    void setLastVoice();
    void turnAllVoicesOff();
    void setEverythingOff(bool forgetPitch);
    // A reset moves the XY pad's MIDI position back to the centre, except
    // the one that applies a restored state, which keeps every value.
    enum ResetValues : int { kCentreXYPad, kKeepValues };
    void reset(ResetValues values = kCentreXYPad);
    bool modesChanged() const; // play, portamento or unison mode differs from the cached one
    // Before a note starts: a reset or preset application asked for earlier
    // runs now, so that it cuts only what sounded before it.
    void catchUpBeforeNote();
    void previewNoteOn();
    void previewNoteReleased();
    void initEnv(int mode, int voice);
    void initFilter(int mode, int voice);       // engine/filter_stage.cpp
    void initLFO(int mode, int lfo, int voice); // engine/lfo.cpp
    void initXY(int mode, int voice);           // engine/xy_pad.cpp
    void initArp();                             // engine/arp.cpp
    void initFX();                              // engine/effects.cpp
    void requestReset();                        // main thread: reset() at the next 16-frame tick
    float getUniDivide(int voice) const;
    float bendOctaves(float bend) const;

    // ------------------------------------------------------------ engine: what the editor shows
    // (engine/display.cpp; audio thread)
    void publishDisplay();
    void publishDisplayAtTick();
    void publishOscTable();

    // ------------------------------------------------------------ engine: modulation slots
    // (engine/matrix.cpp)
    int getModDest(int slot) const;
    static bool isValidModSlot(int slot);
    static bool isValidMod(int slot);
    static bool isValidSrc(int source);
    int getModSrc(int slot) const;
    bool getModSlotBypass(int slot) const;
    float getModSlotAmt(int slot) const;
    int getModSlotSrc(int slot) const;
    int getModSlotDest(int slot) const;
    int getDestTypeForSlot(int slot) const;
    void setModDest(int slot, int dest);
    void setModSlotVar(int slot, bool bypass, float amount, int source, int dest);
    void updateAutoTags();

    // ------------------------------------------------------------ engine: sample rate, pitch
    // (engine/sample_rate.cpp)
    void refreshA4Pref(); // main thread: re-read "A4" for the audio thread
    void __processDeprecated(float** inputs, float** outputs, VstInt32 sampleFrames) override;

    // ------------------------------------------------------------ engine: envelopes
    // (engine/envelopes.cpp)
    void setVolEnv(int voice, int env, bool synced);
    void setEnv(int voice, int env, bool synced);
    void setEnvGlobal(int env, bool synced);
    void setGlobalRare();
    void setGlobalRareWhenChanged();

    // ------------------------------------------------------------ engine: what the editor reads
    // (engine/editor_getters.cpp; main thread, no locks). They read the
    // parameter values and engine.display, which the audio thread publishes
    // (engine/display.cpp), never the engine's working state.
    bool getIsVoicePlaying(int v) const;
    bool getIsAnyVoicePlaying() const;
    float getModValue(int tag) const; // parameter plus its live modulation, 0..1
    int getArpMode() const;           // arpmode::ModFree..ModPoly read as Up in playmode::Arp
    int getArpSpeed() const;
    int getArpOct() const;
    int getArpTiedMode() const;
    int getArpRatchetMode() const;
    int getArpLoopMode() const;
    int getArpMagicMode() const;
    int getArpStepsCatchup() const;
    int getArpLoopStartCatchup() const;
    static int applyArpCatchup(int step, int catchup);
    int getArpNumOfStepsWithCatchup() const; // 0-based, without modulation
    int getArpLoopStartWithCatchup() const;  // 0-based, without modulation
    int getArpLoopStart() const;
    int getArpStepTuneForDisplay(int step) const;
    void setArpKeyEntryPos(int step);
    // The arpeggiator's run-time state (engine/arp.cpp).
    int getArpLedPos() const;
    int getArpSeq() const;
    bool getArpPlaying() const;
    bool getArpRatchetDisplay() const;
    int getXYRecordMode() const;
    int getXYPlayMode() const;
    int getXYLoopMode() const;
    int xyLoopModeWith(int playMode) const; // the loop mode under that play mode
    int getXYSyncedToPeriod() const;
    int getXYSpaceQuant() const;
    int getXYTimeQuant() const;
    int getXYPointQuant() const;
    int getXYToFreeDest(int tag) const;
    // The XY pad's position, takes and path (engine/xy_pad.cpp).
    void setXY(float x, float y);
    void setXY(int i, float x, float y);
    void setXYZeroTime();
    void getXYEditor(float& x, float& y) const;
    void getXYEditor(int voice, float& x, float& y) const;
    bool getUpdateXY() const;
    void setUpdateXY(bool on);
    bool getXChanged();
    bool getYChanged();
    void startXYRecord();
    void setXYRecord(float x, float y);
    void endXYRecord();
    bool getHasXYPath() const;        // a path is recorded, or the replay is synced
    float snapXYValue(float u) const; // u (0..1) on the space grid
    // What XY pair 0, 1 or 2 (morph) adds to its destination: of the last
    // sounding voice for voice >= 0 (the voice the editor is shown), else of
    // the global row.
    float getXYModAmount(int voice, int pair) const;
    // Tuning files (engine/tuning.cpp).
    void loadTuning();
    void resetTuning();
    std::string getTuningName() const;
    // The saved-wave list (waves/wave_presets.cpp).
    void scanWavePreset(); // lists the wave-preset folder again
    int getWavePresetNo() const;
    std::string getWavePresetStrFromNo(int n) const;
    // The XY pad's oscilloscope picture: n (at most 1024) samples of the
    // oscillator's wave or, with output, of the last 20480 output samples
    // (engine/modxy_getters.cpp; main thread).
    void setOscScreenValue(bool output, int n, float* values);
    bool getOscScreenBusy() const { return oscScreen.busy; }

    // ------------------------------------------------------------ engine internals
    // The steps of the render loop and the note path, by file.
    // engine/render.cpp
    void readHostTime();
    void setListedSource(int source, float value);
    void setFrameSource(int source, float value);
    void refreshListedSources();
    void renderFrame();
    void runTableAndPresetTicks(std::uint64_t counter);
    void finishFxRun(); // the chain and output of the waiting frames (engine/render.cpp)
    void smoothOutputEdges(bool silent);
    void globalTick();
    void transportStarted();
    void buildActiveVoiceList();
    void voiceControlStage();
    void makeControlPlan();
    void refreshInverseEnvelopeSources();
    void voiceControlTick(int voice);
    void renderVoices();
    // engine/midi.cpp, engine/midi_learn.cpp
    void handleMidiEvent(const VstMidiEvent& event);
    void handleControlChange(int controller, int value, int channel);
    void sustainPedal(bool down);
    void arpKeyEntryNote(int note, int velocity);
    void arpKeyEntryRelease();
    void handleLearnedController(int controller, int value); // engine/midi_learn.cpp
    // engine/notes.cpp
    bool pushMonoNote(int note);
    void clearMonoStack();
    void stealCurrentVoice();
    void serveEngineRequests();
    void restEngineState();
    // engine/envelopes.cpp
    EnvelopeInputs envelopeInputs(int env, const ModRow& row, bool synced) const;
    EnvelopeInputKey envelopeInputKey(int env, const ModRow& row, bool synced) const;
    // The inputs kept in cache, recomputed when what they come from changed;
    // the caller sets the gate fields.
    EnvelopeInputs& cachedEnvelopeInputs(int env, const ModRow& row, bool synced,
                                         EnvelopeInputCache& cache) const;
    // waves/user_waves.cpp
    void buildUserWave(int w, WaveWorkspace& work);
    void buildUserWave(int w, const std::array<TAdditive, kUserWavePartials>& partials,
                       WaveWorkspace& work);
    static void userWaveFromTempPartials(WaveWorkspace& work, float amplitudeSum);
    void convertUserWavesWithPreparedTables();
    void fillUserWaveLfoRows();
    bool lfoPlaysUserWave(int w) const; // a free LFO's shape is user wave w
    const float* previewWave() const;
    // waves/wave_tables.cpp
    void loadBuildWave(const FrameRecipe& recipe, int wave, WaveTable& samples,
                       std::array<TAdditive, 2047>& partials);
    void frameFromPartials(FrameSet& frames, WaveWorkspace& work, int frame);
    static void frameFromWave(FrameSet& frames, Fft2048& fft, int frame, const WaveTable& wave);
    NoiseFlags buildFrames(const FrameRecipe& recipe, FrameSet& frames, WaveWorkspace& work);
    void buildFrame(const FrameRecipe& recipe, FrameSet& frames, WaveWorkspace& work, int mode,
                    int frame, bool userInvolved);
    static void finishFrames(FrameSet& frames);
    static void writePitchTables(FrameSet& frames, Fft2048& fft, PitchTableBank& bank, int first,
                                 int last);
    static void writeFourTables(FrameSet& frames, Fft2048& fft,
                                std::array<WaveTable, kNumMorphFrames>& tables, int group,
                                bool firstTable);
    void runTableRebuildStage();
    void startTableRebuild();
    void setOscWaveTables(const BankSource& source);
    void buildStagedFrames(const FrameRecipe& recipe);
    void abandonStagedBuild();
    void describeRequestedSource(BankSource& source);
    static std::uint32_t bankRecipe(int waveA, int waveB, int mode);
    void prepareWaveTables(PresetLoad load); // off the audio thread, for a requested preset
    bool takePreparedTables();               // audio thread, in the preset application
    bool presetTablesReady() const;
    bool tableRebuildRunning() const;
    void updateWaveTablesRare();
    // engine/oscillator.cpp
    void oscillatorStage();
    void oscillatorVoice(int voice, const struct OscFrame& frame);
    void oscillatorPrepare(VoiceState& voice, const struct OscFrame& frame);
    void oscillatorVoiceTick(int voice);
    bool oscillatorInputsRest(int voice, const struct OscFrame& frame);
    void oscillatorDriftTick(int voice);
    void oscillatorLane(VoiceState& voice, int copy, const struct OscFrame& frame);
    float doPinkNoise(int generator);
    void resetOscillator(int voice);
    void clearDCBlockers();
    // engine/filter_stage.cpp
    void filterStage();
    void voiceControlTerms(int voice);
    void updateFilterRare();
    // engine/voice_mix.cpp
    void voiceMixStage();
    // engine/matrix.cpp
    void applyGlobalMatrix();
    void applyVoiceMatrixFirstHalf(int voice);
    void applyVoiceMatrixSecondHalf();
    bool freeEnvelopeUsed(int env) const { return engine.matrix.freeEnvelopeUsed[env & 1]; }
    void updateModSlotCache();
    void updateUsageFlags();
    // engine/lfo.cpp
    void stepGlobalLfos();
    void advanceSModLfo();
    void resetSModLfoPhase();
    void stepVoiceLfosAndNoise();
    void updateLfoRare();
    void voiceLfoAndXYTick(int voice);
    // The effect chain (engine/effects.cpp)
    void doFX(bool force);
    // The chain on `count` (at most EffectChainState::kRunFrames) frames in
    // a row, the first at sample counter `frame`, with no control step
    // between them.
    void runFX(std::array<float, 4>* frames, int count, uint64_t frame, bool force);
    static float getStereoSpread(float v); // samples
    void restartEffectLfos();
    void updateFXRare();
    void updateFXControls();
    void setReverbSampleRate(const EffectTables* tables); // any thread
    void requestFXReset(); // any thread: initFX before the next frame
    void setFXSource(int source, const std::array<float, 4>& bus);
    void clearFXSources();
    void updateGlobalDerivedValues();
    void updateFXDerived(uint64_t frame);
    // The arpeggiator (engine/arp.cpp).
    // Any thread: the magic steps are cleared (or, with full, drawn anew) at
    // the audio thread's next tick.
    void resetArpMagic(bool full);
    void arpNoteDown(int note, int velocity);
    void arpNoteReleased(int note);
    int arpListEntries(int note) const;
    void releaseHeldArpKeys(int velocity); // the latch or the pedal let go
    void resetArpClock();
    void takeArpRatchet(int voice);
    void resetArpVoice(int voice);
    void setArpRunning(bool running);
    void cacheArpModes();
    int getArpUniMode(int voice) const;
    int getArpNumOfSteps() const;
    bool getArpStepOn(int step) const;
    bool getArpStepTied(int step) const;
    void updateArpClock();
    void stepArpClock();
    void restartArpPhrase();
    void arpModulationOutsideArp();
    void clearArpSoundingVoice();
    void voiceArpTick(int voice);
    void updateArpRare();
    // The arpeggiator's own steps.
    void resetArpMagicNow(bool full);
    void deriveArpMagic();
    void updateArpMagic();
    int arpMagicSelection() const;
    bool getArpRandomOn(int step) const;
    void setArpRandomOn(int step, bool on);
    void setArpMagicParam(int tag, float value);
    template <class Keep> void listArpMagicCandidates(Keep keep);
    int drawArpMagicCandidate();
    int drawArpMagicInterval();
    void drawArpMagic(std::array<bool, tag::ArpStepCount>& on,
                      std::array<int, tag::ArpStepCount>& tune);
    ArpLoopBounds arpLoopNow() const;
    int getArpNumOct() const;
    bool arpStepOn(int step) const;
    int arpStepTune(int step) const;
    float arpStepVelocity(int step) const;
    float arpStepFree(int step) const;
    bool arpTieTakes(int parity) const;
    bool arpRatchetsThisPass() const;
    double getArpRatchetLen(int step) const;
    void updateArpFactors();
    void sortArpNotes();
    void startArpPhrase(int velocity);
    void getArpToStart();
    bool updateArpStep();
    void arpReleaseStep();
    float arpVelocity(int keyVelocity, int step) const;
    void setArpVoiceSources(int voice, int step);
    void arpPlayStep(int voice, int step, bool retrigger);
    void arpPlayChord(int step, bool retrigger);
    void arpChordJoin();
    void arpRatchetHit();
    bool arpNewStep();
    void restartArpModPhrase();
    void updateArpMod(int voice);
    void setArpMod();
    void setArpMod(int voice);
    void publishArpDisplay();
    uint32_t arpMagicMuted() const;
    // XY pad (engine/xy_pad.cpp)
    void updateXYGlobal();
    void updateXYRecord();
    void voiceXYTick(int voice);
    void voiceXYFrame(int voice);
    void wakeXYVoices();
    void restartXYReplaySpeed();
    void restartXYReplayForNote();
    void restartRunningXYReplay();
    void startXYReplay();
    void startXYReplay(int voice);
    void updateXYRare();
    void updateXYRates();
    XYPathView xyPath() const;
    void writeXYSources(std::array<float, 2> position, bool everyVoice);
    void publishXYHeld(std::array<float, 2> held);
    // Tuning (engine/tuning.cpp)
    float getTuning(int note) const;
    void setTuning();
    void takeTuning();
    void prepareTuning(bool audioThread);
    void askForTuningTags();
    void readTuning(bool restore);
    TuningSource storedTuningSource() const;
    bool awaitingRestoredTuning(int frames);
    void waitForTuningReads();
    // core/aplugin.cpp: the file worker's jobs
    void serveFileJobs(std::uint32_t jobs);
    // engine/sample_rate.cpp
    void updateBaseNote();
    // core/programs.cpp
    void setPresetParameters();

    // ------------------------------------------------------------ state, per subsystem
    // The oscilloscope picture last computed, and whether one is being
    // computed now.
    struct OscScreenState {
        std::array<float, 1024> buffer{};
        bool busy = false;
    };
    OscScreenState oscScreen;
    CoreState core;
    EngineState engine;
    WaveState waves;
    OscillatorStageState oscStage; // engine/oscillator.cpp

    // The host's strings as read at construction, upper-cased (for tests;
    // core/aplugin.cpp).
    static HostFlags detectHost(const char* product, const char* vendor);

private:
    void detectHostAndChunks(); // core/aplugin.cpp
    void initVariables();       // core/startup.cpp
    void initFolderPaths();     // core/startup.cpp
    void initMidiState();       // core/startup.cpp
    void initEffectChain();     // engine/effects.cpp
    // core/programs.cpp
    void loadFirstPreset();
    void readStoredPresetName(char (&name)[tag::PresetNameLength + 1]) const;
    void selectPresetByStoredName();
    // core/presets.cpp
    void writePresetIntoRecord(const std::array<float, tag::Count>& values,
                               const std::string& name);
    bool savePresetTo(std::string path, bool confirmOverwrite); // a copy: the list changes
    std::string currentPresetName() const;
    // The same without the message: why the file was refused is in error.
    bool choosePreset(int index, std::string& error);
    int findPresetEntry(const std::string& path) const;
    // The list read again after a file was removed; when the file was the
    // current preset's, the first entry is chosen in its place.
    void loadFirstPresetInPlaceOf(const std::string& removedPath);
    // core/programs.cpp
    void writeAllCopies(int tag, float value);
    void loadRecordIntoCopies(bool chosen);
    void startChosenPresetClean();
    bool settlePlayModeAndArpSwitch();
    // core/chunk.cpp
    ProgramRecord* chunkBuffer(bool isPreset);
    void restoreRecord(const ProgramRecord& chunk);
    // core/display_texts.cpp. What a value text reads of its own tag: the lock-aware value, the
    // current value and the stored one (all three the same for a value
    // given to formatParameterValue).
    struct ShownValue {
        float lockVar;
        float current;
        float stored;
        bool live = false; // the tag's own value as it stands, not one asked about
    };
    std::string displayText(int tag, const ShownValue& own) const;
    static void fillSampleConvertTables(); // waves/sample_import.cpp

    ProgramRecord& storedProgram() { return core.programStore[0]; }
    const ProgramRecord& storedProgram() const { return core.programStore[0]; }

    const ParamTable& params;
    const EngineTables* tables_ = &engineTables();  // shared, read-only
    const FactoryWaves* factory_ = &factoryWaves(); // shared, read-only
};

// ------------------------------------------------------------ getters read on every frame
// (inline: the render loop calls them per voice)

inline float APlugin::getLockVar(int t) const {
    if (!isValidTag(t)) return 0.0f;
    const int section = params.lockSection[t];
    if (section == kLockNone) return loadRelaxed(core.values.currentValue[t]);
    if (core.lockState[section].load(std::memory_order_relaxed) != 0)
        return loadRelaxed(core.values.lockedValue[t]);
    // The record keeps a restored value as it was saved; it plays within 0..1.
    return clamp01(loadRelaxed(storedProgram().values[t]));
}

inline bool APlugin::getLockVarOnOff(int t) const {
    if (!isValidTag(t)) return false;
    const int section = params.lockSection[t];
    const bool locked =
        section != kLockNone && core.lockState[section].load(std::memory_order_relaxed) != 0;
    const float v =
        locked ? loadRelaxed(core.values.lockedValue[t]) : loadRelaxed(core.values.currentValue[t]);
    return v >= 0.5f;
}

inline int APlugin::getSteppedValue(float value, float range, int count) {
    // Stored values may lie outside 0..1 (a state chunk) or be NaN; both
    // must still give a step inside the list.
    if (count < 1) return 0;
    return truncTo(clamp01(value) * range + 0.1f, 0, count - 1);
}

inline int APlugin::getSteppedValue(int t, float range, int count) const {
    return isValidTag(t) ? getSteppedValue(getCurrentValue(t), range, count) : 0;
}

inline int APlugin::getSteppedValue(int t) const {
    if (!isValidTag(t) || params.steppedNum[t] < 0) return 0;
    return getSteppedValue(getCurrentValue(t), params.steppedRange[t], params.steppedNum[t]);
}

inline bool APlugin::getOnOff(int t) const {
    return isValidTag(t) && getCurrentValue(t) >= 0.5f;
}

// Creates one plug-in object for the host callback; the AudioUnit adapter
// uses it too. Exceptions (memory) pass to the caller.
AudioEffect* createEffectInstance(audioMasterCallback audioMaster);

// The body of the VST 2.4 entry (exported as main_macho, VSTPluginMain, main).
AEffect* ondixPluginEntry(audioMasterCallback audioMaster) noexcept;
