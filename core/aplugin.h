// APlugin: one Ondix instrument instance.
//
// The object a host creates through the VST 2.4 entry (or the AudioUnit
// adapter through createEffectInstance). It holds the whole instrument in
// fixed-size state grouped per subsystem (core, engine, ...); its methods are
// implemented in the folder of the subsystem they belong to:
//   core/aplugin.cpp         entry, construction, host detection
//   core/parameters.cpp      value copies and editing rules
//   core/host_interface.cpp  names, capabilities, pins, gestures, vendor calls
//   core/programs.cpp        programs, preset application, program commands
//   core/chunk.cpp           the state chunk
//   core/typed_entry.cpp     typed values in the parameters' units, stepping
//   core/ecs_files.cpp       MIDI controller map files
//   core/placeholders.cpp    stand-ins for stages not built yet
#pragma once

#include "core/adapter_services.h"
#include "core/audioeffectx.h"
#include "core/core_state.h"
#include "core/paramtable.h"
#include "data/factory_waves.h"
#include "engine/engine_state.h"
#include "engine/tables.h"
#include "platform/file_helpers.h"
#include "waves/wave_state.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

class uEditor;

class APlugin : public AudioEffectX, public AdapterServices {
public:
    explicit APlugin(audioMasterCallback audioMaster);
    ~APlugin() override;

    APlugin(const APlugin&) = delete;
    APlugin& operator=(const APlugin&) = delete;

    // ------------------------------------------------------------ VST 2.4 overrides
    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                         float opt) override;
    void suspend() override;
    void setSampleRate(float sampleRate) override;
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;
    void setParameter(VstInt32 tag, float value) override;
    float getParameter(VstInt32 tag) override;
    void setProgram(VstInt32 program) override;
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    void getParameterLabel(VstInt32 tag, char* label) override;
    void getParameterName(VstInt32 tag, char* text) override;
    bool canParameterBeAutomated(VstInt32 tag) override;
    void getParameterDisplay(VstInt32 tag, char* text) override; // core/display_texts.cpp
    std::string getParameterDisplayStr(int tag);
    static std::string getFloatStr(float value, int decimals);
    static std::string getFilterFreqStr(float value);
    static std::string getEnvLenStr(float value);
    static std::string getFadeLenStr(float value, float sustain);
    std::string getLFOSpeedStr(int tag) const;
    std::string getLFOSpeedStr(int tag, float value) const;
    bool beginEdit(VstInt32 tag) override;
    bool endEdit(VstInt32 tag) override;
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* name) override;
    bool getOutputProperties(VstInt32 index, VstPinProperties* properties) override;
    VstInt32 processEvents(VstEvents* events) override;
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    VstInt32 getVendorVersion() override;
    VstInt32 canDo(char* text) override;
    VstInt32 getChunk(void** data, bool isPreset) override;
    VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) override;
    VstIntPtr vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) override;
    virtual float getVu();

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
    static bool isValidTag(int tag) { return tag::isValid(tag); }
    const ParamTable& meta() const { return params; }
    float getDefaultValue(int tag) const;
    int getSteppedNum(int tag) const;
    float getSteppedRange(int tag) const;
    int getTagDest(int tag) const;
    int getLockedSectionForTag(int tag) const;
    std::string getParameterNameStr(int tag);

    // ------------------------------------------------------------ values and editing rules
    float getCurrentValue(int tag) const {
        return isValidTag(tag) ? loadRelaxed(core.values.currentValue[tag]) : 0.0f;
    }
    float getStoredValue(int tag) const;
    // A value as setParameter stores it: within 0..1, a switch exactly 0 or 1.
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
    void convertWaveTablePartialsToWaveTable(int w); // main thread
    void convertUserWaveOnAudioThread(int w);        // audio thread (preset application)
    void convertWaveTableToWaveTablePartials(int w);
    void convertTempPartialsToTempWaveTable(int n);
    void convertTempWaveTableToTempPartials(int n);
    WaveWorkspace& mainWaveWorkspace() { return waves.mainWork; }
    static void synthesizePartials(WaveWorkspace& work, int n);
    static void analyseTempWaveTable(WaveWorkspace& work, int n);
    void loadWavePreset(int w, int n); // factory wave n into user wave w (waves/wave_presets.cpp)

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
    // A WAV or AIFF file chosen in a dialog, squeezed into one cycle of wave w.
    void loadSample(int w);
    // The wave shaper (parameters 993..995): a preview of user wave w, and
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
    void requestTableRebuild();
    void publishPreviewWave(const WaveTable& wave); // main thread

    // ------------------------------------------------------------ section locks
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
    static constexpr int kMaxPresetNames = 256;
    static constexpr int kPresetNameChars = 64; // with the NUL
    bool isEditorOpen() const;
    bool getIsSettingPreset() const;
    void unSelectThenSetProgram();
    void origProgram();
    void editProgram();
    void clearProgram();
    void doFileCommands(int command);
    // Main thread: the preset delta places away in the list, wrapping at its ends.
    void changePresetDelta(int delta);
    // Asks the audio thread to apply the program record (any thread).
    void requestPresetApplication(PresetLoad load);
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
    // The current values become the loaded state (tag 998, and a save).
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
    bool anyVoiceSounds() const; // audio thread: a voice is gated or above silence
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
    void initFilter(int mode, int voice);
    void initEnv(int mode, int voice);
    void initLFO(int mode, int lfo, int voice);
    void initXY(int mode, int voice);
    void initArp();
    void initFX();

    void requestReset(); // main thread: reset() at the next 16-frame tick
    // Audio thread: publishes what the editor shows (engine/display.cpp).
    void publishDisplay();
    void publishOscTable();
    float getUniDivide(int voice) const;
    float bendOctaves(float bend) const;
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
    void refreshMidiChannelPref(); // main thread: re-read "MIDIChannel" for the audio thread
    void refreshA4Pref();          // main thread: re-read "A4" for the audio thread

    // ------------------------------------------------------------ engine: envelopes
    // (engine/envelopes.cpp)
    void setVolEnv(int voice, int env, bool synced);
    void setEnv(int voice, int env, bool synced);
    void setEnvGlobal(int env, bool synced);
    void setGlobalRare();

    // ------------------------------------------------------------ engine: rendering
    // (engine/render.cpp)
    void __processDeprecated(float** inputs, float** outputs, VstInt32 sampleFrames) override;

    // ------------------------------------------------------------ engine: what the editor reads
    // (engine/editor_getters.cpp; main thread, no locks). They read the
    // parameter values and engine.display, which the audio thread publishes
    // (engine/display.cpp), never the engine's working state.
    bool getIsVoicePlaying(int v) const;
    bool getIsAnyVoicePlaying() const;
    float getModValue(int tag) const; // parameter plus its live modulation, 0..1
    int getArpMode() const;           // 291, modes 10..12 read as 0 in play mode 8
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
    int getArpLedPos() const;
    int getArpSeq() const;
    bool getArpPlaying() const;
    bool getArpRatchetDisplay() const;
    void setArpKeyEntryPos(int step);
    int getXYRecordMode() const;
    int getXYPlayMode() const;
    int getXYLoopMode() const;
    int getXYSyncedToPeriod() const;
    int getXYSpaceQuant() const;
    int getXYTimeQuant() const;
    int getXYPointQuant() const;
    int getXYToFreeDest(int tag) const;
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
    void loadTuning();
    void resetTuning();
    std::string getTuningName() const;
    void scanWavePreset(); // lists the wave-preset folder again (main thread)
    int getWavePresetNo() const;
    std::string getWavePresetStrFromNo(int n) const;
    // The XY pad's oscilloscope picture: n (at most 1024) samples of the
    // oscillator's wave or, with output, of the last 20480 output samples
    // (engine/modxy_getters.cpp; main thread).
    void setOscScreenValue(bool output, int n, float* values);
    bool getOscScreenBusy() const { return oscScreen.busy; }

    // ------------------------------------------------------------ engine internals
    // The steps of the render loop and the note path (engine/render.cpp,
    // engine/notes.cpp, engine/midi.cpp) and the later stages
    // (engine/effects.cpp, engine/arp.cpp, engine/xy_pad.cpp, engine/tuning.cpp).
    void readHostTime();
    void setListedSource(int source, float value);
    void setFrameSource(int source, float value);
    void refreshListedSources();
    void renderFrame();
    void smoothOutputEdges(bool silent);
    void globalTick();
    void transportStarted();
    void buildActiveVoiceList();
    void voiceControlStage(int voice);
    void handleMidiEvent(const VstMidiEvent& event);
    void handleControlChange(int controller, int value, int channel);
    void sustainPedal(bool down);
    void arpKeyEntryNote(int note, int velocity);
    void arpKeyEntryRelease();
    bool pushMonoNote(int note);
    void clearMonoStack();
    void stealCurrentVoice();
    void serveEngineRequests();
    void restEngineState();
    EnvelopeInputs envelopeInputs(int env, const ModRow& row, bool synced) const;

    void buildUserWave(int w, WaveWorkspace& work);
    void fillUserWaveLfoRows();
    void loadBuildWave(int wave, WaveTable& samples, std::array<TAdditive, 2047>& partials);
    void frameFromPartials(int frame);
    void frameFromWave(int frame, const WaveTable& wave);
    void buildFrame(int mode, int frame, bool userInvolved);
    void finishFrames();
    void runTableRebuildStage();
    void startTableRebuild();
    bool tableRebuildRunning() const;
    void updateWaveTablesRare();
    void renderVoices();
    void oscillatorStage();
    void oscillatorVoice(int voice, const struct OscFrame& frame);
    void oscillatorVoiceTick(int voice);
    void oscillatorDriftTick(int voice);
    void oscillatorLane(VoiceState& voice, int copy, const struct OscFrame& frame);
    const float* previewWave() const;
    float doPinkNoise(int generator);
    void filterStage();
    void voiceMixStage();

    void resetOscillator(int voice);
    void clearDCBlockers();
    void voiceControlTerms(int voice);
    void updateFilterRare();
    void applyGlobalMatrix();
    void applyVoiceMatrixFirstHalf(int voice);
    void applyVoiceMatrixSecondHalf();
    bool freeEnvelopeUsed(int env) const { return engine.matrix.freeEnvelopeUsed[env & 1]; }
    void updateModSlotCache();
    void updateUsageFlags();
    void stepGlobalLfos();
    void advanceSModLfo();
    void resetSModLfoPhase();
    void stepVoiceLfosAndNoise();
    void updateLfoRare();
    void voiceLfoAndXYTick(int voice);
    // The effect chain (engine/effects.cpp).
    void doFX(bool force);
    void updateFXLFO(int n);
    static float getStereoSpread(float v); // samples
    void restartEffectLfos();
    void updateFXRare();
    void updateFXControls();
    void setReverbSampleRate(float rate); // any thread
    void requestFXReset();                // any thread: initFX before the next frame
    void setFXSource(int source, const std::array<float, 4>& bus);
    void clearFXSources();
    void updateGlobalDerivedValues();
    // Any thread: the magic steps are cleared (or, with full, drawn anew) at
    // the audio thread's next tick.
    void resetArpMagic(bool full);
    void arpNoteDown(int note, int velocity);
    void arpNoteReleased(int note);
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
    // The arpeggiator's own steps (engine/arp.cpp).
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
    // XY pad (engine/xy_pad.cpp)
    void updateXYGlobal();
    void updateXYRecord();
    void voiceXYTick(int voice);
    void voiceXYFrame(int voice);
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
    void prepareTuning();
    void updateBaseNote();
    void handleLearnedController(int controller, int value);
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

    // The host's strings as read at construction, upper-cased (for tests).
    static HostFlags detectHost(const char* product, const char* vendor);

private:
    void detectHostAndChunks();
    void initVariables();
    void initFolderPaths();
    void initMidiState();
    void initEffectChain();
    void loadFirstPreset();
    void readStoredPresetName(char (&name)[tag::PresetNameLength + 1]) const;
    void selectPresetByStoredName();
    void writePresetIntoRecord(const std::array<float, tag::Count>& values,
                               const std::string& name);
    bool savePresetTo(std::string path, bool confirmOverwrite); // a copy: the list changes
    int findPresetEntry(const std::string& path) const;
    void writeAllCopies(int tag, float value);
    void loadRecordIntoCopies(bool chosen);
    void startChosenPresetClean();
    ProgramRecord* chunkBuffer(bool isPreset);
    // What a value text reads of its own tag: the lock-aware value, the
    // current value and the stored one (all three the same for a value
    // given to formatParameterValue).
    struct ShownValue {
        float lockVar;
        float current;
        float stored;
    };
    std::string displayText(int tag, const ShownValue& own) const;
    void restoreRecord(const ProgramRecord& chunk);
    static void fillSampleConvertTables();

    ProgramRecord& storedProgram() { return core.programStore[0]; }
    const ProgramRecord& storedProgram() const { return core.programStore[0]; }

    const ParamTable& params;
    const EngineTables* tables_ = &engineTables();  // shared, read-only
    const FactoryWaves* factory_ = &factoryWaves(); // shared, read-only
};

// Creates one plug-in object for the host callback; the AudioUnit adapter
// uses it too. Exceptions (memory) pass to the caller.
AudioEffect* createEffectInstance(audioMasterCallback audioMaster);

// The body of the VST 2.4 entry (exported as main_macho, VSTPluginMain, main).
AEffect* ondixPluginEntry(audioMasterCallback audioMaster) noexcept;
