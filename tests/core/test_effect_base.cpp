// The VST 2.4 effect base classes, driven the way a host drives them: through
// the AEffect record's function pointers and the dispatcher.
#include "core/audioeffectx.h"
#include "support/fake_host.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr VstInt32 kPrograms = 4;
constexpr VstInt32 kParams = 8;

// The smallest real plug-in: silent, everything else the base's.
class PlainEffect : public AudioEffectX {
public:
    explicit PlainEffect(audioMasterCallback host) : AudioEffectX(host, kPrograms, kParams) {}

    void processReplacing(float** /*inputs*/, float** outputs, VstInt32 frames) override {
        for (VstInt32 ch = 0; ch < cEffect.numOutputs; ++ch) {
            for (VstInt32 i = 0; i < frames; ++i) outputs[ch][i] = 0.0f;
        }
    }

    VstInt32 flags() const { return cEffect.flags; }
};

// Records every operation the dispatcher reaches, and answers "yes" wherever
// it can, so that a 0 from the dispatcher means the operation was not called.
class JournalEffect : public PlainEffect {
public:
    JournalEffect(audioMasterCallback host, std::vector<std::string>* journal)
        : PlainEffect(host), journal(journal) {}
    ~JournalEffect() override { note("destroyed"); }

    void open() override { note("open"); }
    void close() override { note("close"); }
    void suspend() override { note("suspend"); }
    void resume() override {
        note("resume");
        AudioEffectX::resume();
    }
    void setProgram(VstInt32 program) override {
        note("setProgram " + std::to_string(program));
        AudioEffectX::setProgram(program);
    }
    void setParameter(VstInt32 index, float value) override {
        note("setParameter " + std::to_string(index));
        if (index >= 0 && index < kParams) params[index] = value;
    }
    float getParameter(VstInt32 index) override {
        return index >= 0 && index < kParams ? params[index] : -1.0f;
    }

    void setProgramName(char*) override { note("setProgramName"); }
    void getProgramName(char* text) override { copy("getProgramName", text); }
    void getParameterLabel(VstInt32, char* text) override { copy("getParameterLabel", text); }
    void getParameterDisplay(VstInt32, char* text) override { copy("getParameterDisplay", text); }
    void getParameterName(VstInt32, char* text) override { copy("getParameterName", text); }
    VstInt32 getChunk(void** data, bool isPreset) override {
        note(isPreset ? "getChunk preset" : "getChunk bank");
        *data = chunk;
        return sizeof(chunk);
    }
    VstInt32 setChunk(void*, VstInt32 size, bool isPreset) override {
        note((isPreset ? "setChunk preset " : "setChunk bank ") + std::to_string(size));
        return 1;
    }
    VstInt32 processEvents(VstEvents* events) override {
        note("processEvents");
        return events->numEvents;
    }
    bool string2parameter(VstInt32, char* text) override { return copy("string2parameter", text); }
    bool getProgramNameIndexed(VstInt32, VstInt32, char* text) override {
        return copy("getProgramNameIndexed", text);
    }
    bool getInputProperties(VstInt32, VstPinProperties* p) override {
        return copy("getInputProperties", p->label);
    }
    bool getOutputProperties(VstInt32, VstPinProperties* p) override {
        return copy("getOutputProperties", p->label);
    }
    bool getEffectName(char* text) override { return copy("getEffectName", text); }
    bool getVendorString(char* text) override { return copy("getVendorString", text); }
    bool getProductString(char* text) override { return copy("getProductString", text); }
    VstInt32 canDo(char* text) override {
        note(std::string("canDo ") + text);
        return std::strcmp(text, "sendVstMidiEvent") == 0 ? -1 : 1;
    }
    bool getParameterProperties(VstInt32, VstParameterProperties* p) override {
        return touch("getParameterProperties", p);
    }
    VstInt32 getMidiProgramName(VstInt32, MidiProgramName* p) override {
        return touch("getMidiProgramName", p);
    }
    VstInt32 getCurrentMidiProgram(VstInt32, MidiProgramName* p) override {
        return touch("getCurrentMidiProgram", p);
    }
    VstInt32 getMidiProgramCategory(VstInt32, MidiProgramCategory* p) override {
        return touch("getMidiProgramCategory", p);
    }
    bool getMidiKeyName(VstInt32, MidiKeyName* p) override { return touch("getMidiKeyName", p); }
    bool getSpeakerArrangement(VstSpeakerArrangement** in, VstSpeakerArrangement** out) override {
        note("getSpeakerArrangement");
        *in = nullptr;
        *out = nullptr;
        return true;
    }
    VstInt32 getNextShellPlugin(char* text) override { return copy("getNextShellPlugin", text); }
    VstInt32 beginLoadBank(VstPatchChunkInfo* p) override { return touch("beginLoadBank", p); }
    VstInt32 beginLoadProgram(VstPatchChunkInfo* p) override {
        return touch("beginLoadProgram", p);
    }
    bool offlineNotify(VstAudioFile* p, VstInt32, bool) override {
        return touch("offlineNotify", p);
    }
    bool offlinePrepare(VstOfflineTask* p, VstInt32) override { return touch("offlinePrepare", p); }
    bool offlineRun(VstOfflineTask* p, VstInt32) override { return touch("offlineRun", p); }
    bool processVariableIo(VstVariableIo* p) override { return touch("processVariableIo", p); }
    VstIntPtr vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) override {
        vendorArgs = {index, value, ptr, opt};
        return 0x7FFF0001;
    }

    struct VendorArgs {
        VstInt32 index = 0;
        VstIntPtr value = 0;
        void* ptr = nullptr;
        float opt = 0.0f;
    } vendorArgs;
    float params[kParams] = {};
    char chunk[12] = "chunk bytes";

private:
    void note(const std::string& what) {
        if (journal != nullptr) journal->push_back(what);
    }
    // Writes through the pointer, as the real operations do.
    bool copy(const char* what, char* text) {
        note(what);
        std::strcpy(text, "x");
        return true;
    }
    bool touch(const char* what, void* p) {
        note(what);
        *static_cast<char*>(p) = 'x';
        return true;
    }

    std::vector<std::string>* journal;
};

class TestEditor : public AEffEditor {
public:
    TestEditor(AudioEffect* effect, bool* destroyed) : AEffEditor(effect), destroyed(destroyed) {}
    ~TestEditor() override {
        if (destroyed != nullptr) *destroyed = true;
    }

    bool getRect(ERect** r) override {
        *r = &rect;
        return true;
    }
    bool open(void* parent) override {
        ++openCalls;
        AEffEditor::open(parent);
        return true;
    }
    void idle() override { ++idleCalls; }
    bool onKeyDown(VstKeyCode& key) override {
        lastKey = key;
        return true;
    }
    bool onKeyUp(VstKeyCode& key) override {
        lastKey = key;
        return false;
    }
    bool setKnobMode(VstInt32 mode) override {
        knobMode = mode;
        return true;
    }

    ERect rect{0, 0, 300, 400};
    int openCalls = 0;
    int idleCalls = 0;
    VstKeyCode lastKey{};
    VstInt32 knobMode = -1;
    bool* destroyed;
};

class EffectBaseFixture : public ::testing::Test {
protected:
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f) {
        AEffect* e = effect->getAeffect();
        return e->dispatcher(e, opcode, index, value, ptr, opt);
    }
    // Gives the effect an editor it owns from now on.
    TestEditor* attachEditor(bool* destroyed = nullptr) {
        auto* ed = new TestEditor(effect.get(), destroyed);
        effect->setEditor(ed);
        return ed;
    }

    FakeHost host;
    std::vector<std::string> journal;
    std::unique_ptr<JournalEffect> effect =
        std::make_unique<JournalEffect>(FakeHost::callback, &journal);
};

using EffectBaseRecord = EffectBaseFixture;
using EffectBaseDispatcher = EffectBaseFixture;
using EffectBaseEditor = EffectBaseFixture;
using EffectBaseHost = EffectBaseFixture;
using EffectBaseSpeakers = EffectBaseFixture;

// ---------------------------------------------------------------- the record

TEST_F(EffectBaseRecord, HoldsTheBaseValuesAfterConstruction) {
    const AEffect* e = effect->getAeffect();
    EXPECT_EQ(e->magic, 0x56737450);
    EXPECT_EQ(e->numPrograms, kPrograms);
    EXPECT_EQ(e->numParams, kParams);
    EXPECT_EQ(e->numInputs, 1);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_EQ(e->flags, effFlagsCanReplacing);
    EXPECT_EQ(e->flags, 16);
    EXPECT_EQ(e->initialDelay, 0);
    EXPECT_EQ(e->ioRatio, 1.0f);
    EXPECT_EQ(e->object, static_cast<void*>(static_cast<AudioEffect*>(effect.get())));
    EXPECT_EQ(e->user, nullptr);
    EXPECT_EQ(e->uniqueID, 0x4E6F4566);
    EXPECT_EQ(e->version, 1);
    for (char c : e->future) EXPECT_EQ(c, 0);
    EXPECT_NE(e->dispatcher, nullptr);
    EXPECT_NE(e->process, nullptr);
    EXPECT_NE(e->processReplacing, nullptr);
    EXPECT_NE(e->processDoubleReplacing, nullptr);

    EXPECT_EQ(effect->getSampleRate(), 44100.0f);
    EXPECT_EQ(effect->getBlockSize(), 1024);
    EXPECT_EQ(effect->getProgram(), 0);
    EXPECT_EQ(effect->getEditor(), nullptr);
    // Building the base asks the host nothing.
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(EffectBaseRecord, RecordSettersChangeOnlyTheirField) {
    effect->setUniqueID(vstFourCC('O', 'N', 'D', 'P'));
    effect->setNumInputs(2);
    effect->setNumOutputs(4);
    effect->setInitialDelay(64);
    effect->canDoubleReplacing();
    effect->programsAreChunks();
    effect->__setRealtimeQualitiesDeprecated(3);
    const AEffect* e = effect->getAeffect();
    EXPECT_EQ(e->uniqueID, 0x4F4E4450);
    EXPECT_EQ(e->numInputs, 2);
    EXPECT_EQ(e->numOutputs, 4);
    EXPECT_EQ(e->initialDelay, 64);
    EXPECT_EQ(e->realQualities, 3);
    EXPECT_EQ(e->flags, effFlagsCanReplacing | effFlagsCanDoubleReplacing | effFlagsProgramChunks);

    effect->canProcessReplacing(false);
    effect->isSynth();
    effect->noTail();
    EXPECT_EQ(e->flags, effFlagsCanDoubleReplacing | effFlagsProgramChunks | effFlagsIsSynth |
                            effFlagsNoSoundInStop);
}

TEST_F(EffectBaseRecord, TrampolinesReachTheObject) {
    AEffect* e = effect->getAeffect();
    e->setParameter(e, 3, 0.75f);
    EXPECT_EQ(effect->params[3], 0.75f);
    EXPECT_EQ(e->getParameter(e, 3), 0.75f);

    float left[4] = {1, 1, 1, 1};
    float right[4] = {1, 1, 1, 1};
    float* outs[2] = {left, right};
    e->processReplacing(e, nullptr, outs, 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(left[i], 0.0f);
        EXPECT_EQ(right[i], 0.0f);
    }
    // The base's other process forms do nothing.
    e->process(e, nullptr, outs, 4);
    e->processDoubleReplacing(e, nullptr, nullptr, 4);
}

TEST_F(EffectBaseRecord, TrampolinesIgnoreARecordWithoutObject) {
    AEffect orphan = *effect->getAeffect();
    orphan.object = nullptr;
    EXPECT_EQ(orphan.dispatcher(&orphan, effIdentify, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(orphan.dispatcher(&orphan, effClose, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(orphan.getParameter(&orphan, 0), 0.0f);
    orphan.setParameter(&orphan, 0, 1.0f);
    orphan.processReplacing(&orphan, nullptr, nullptr, 16);
    EXPECT_EQ(AudioEffect::dispatchEffectClass(nullptr, effOpen, 0, 0, nullptr, 0.0f), 0);
    EXPECT_TRUE(journal.empty());
}

TEST(EffectBaseLifecycle, CloseThroughTheRecordDeletesObjectAndEditor) {
    FakeHost host;
    std::vector<std::string> journal;
    bool editorGone = false;
    auto* effect = new JournalEffect(FakeHost::callback, &journal);
    effect->setEditor(new TestEditor(effect, &editorGone));
    AEffect* e = effect->getAeffect();

    EXPECT_EQ(e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f), 1);
    // close() runs first, then the object (and with it the editor) is gone;
    // ASan reports the leak if either survives.
    EXPECT_EQ(journal, (std::vector<std::string>{"close", "destroyed"}));
    EXPECT_TRUE(editorGone);
}

TEST(EffectBaseLifecycle, CloseThroughTheDispatcherItselfKeepsTheObject) {
    std::vector<std::string> journal;
    JournalEffect effect(nullptr, &journal);
    EXPECT_EQ(effect.dispatcher(effClose, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(journal, (std::vector<std::string>{"close"}));
}

// ---------------------------------------------------------------- dispatcher

TEST_F(EffectBaseDispatcher, IdentifyAndVersionAnswers) {
    EXPECT_EQ(dispatch(effIdentify), 0x4E764566);
    EXPECT_EQ(dispatch(effGetVstVersion), 2400);
    EXPECT_EQ(dispatch(effCanBeAutomated, 5), 1);
    EXPECT_EQ(dispatch(effGetVendorVersion), 0);
    EXPECT_EQ(dispatch(effGetTailSize), 0);
}

TEST_F(EffectBaseDispatcher, SetProgramOnlyBelowTheProgramCount) {
    dispatch(effSetProgram, 0, kPrograms);
    EXPECT_EQ(dispatch(effGetProgram), 0);
    EXPECT_TRUE(journal.empty());

    dispatch(effSetProgram, 0, kPrograms - 1);
    EXPECT_EQ(dispatch(effGetProgram), kPrograms - 1);

    // A negative number is the plug-in's to refuse...
    dispatch(effSetProgram, 0, -1);
    EXPECT_EQ(journal.back(), "setProgram -1");
    // ...but a value that is no 32-bit number never reaches it.
    journal.clear();
    dispatch(effSetProgram, 0, -(VstIntPtr{1} << 40));
    dispatch(effSetProgram, 0, VstIntPtr{1} << 40);
    EXPECT_TRUE(journal.empty());
}

TEST_F(EffectBaseDispatcher, MainsChangedSuspendsAndResumes) {
    dispatch(effMainsChanged, 0, 1);
    dispatch(effMainsChanged, 0, 0);
    dispatch(effMainsChanged, 0, 7);
    EXPECT_EQ(journal, (std::vector<std::string>{"resume", "suspend", "resume"}));
}

TEST_F(EffectBaseDispatcher, SampleRateAndBlockSize) {
    dispatch(effSetSampleRate, 0, 0, nullptr, 96000.0f);
    dispatch(effSetBlockSize, 0, 256);
    EXPECT_EQ(effect->getSampleRate(), 96000.0f);
    EXPECT_EQ(effect->getBlockSize(), 256);

    // The deprecated combined opcode is not handled.
    EXPECT_EQ(dispatch(effSetBlockSizeAndSampleRate, 0, 64, nullptr, 22050.0f), 0);
    EXPECT_EQ(effect->getSampleRate(), 96000.0f);
    EXPECT_EQ(effect->getBlockSize(), 256);
}

TEST_F(EffectBaseDispatcher, DeprecatedAndUnknownOpcodesAnswerZero) {
    // Opcode 28 would answer 1 (one program category) if it were dispatched.
    ASSERT_EQ(effect->__getNumCategoriesDeprecated(), 1);
    int sink = 1;
    for (VstInt32 op :
         {9, 16, 17, 18, 20, 21, 28, 30, 31, 32, 36, 37, 43, 46, 53, 54, 55, 57, 80, 1000, -1}) {
        EXPECT_EQ(dispatch(op, 1, 1, &sink, 1.0f), 0) << "opcode " << op;
    }
    EXPECT_EQ(sink, 1);
    EXPECT_TRUE(journal.empty());
}

TEST_F(EffectBaseDispatcher, BoolAnswersBecomeOneOrZero) {
    PlainEffect plain(nullptr);
    auto call = [&plain](VstInt32 op, VstIntPtr value = 0) {
        return plain.dispatcher(op, 0, value, nullptr, 0.0f);
    };
    EXPECT_EQ(call(effCanBeAutomated), 1);
    EXPECT_EQ(call(effSetBypass, 1), 0);
    EXPECT_EQ(call(effSetPanLaw), 0);
    EXPECT_EQ(call(effSetProcessPrecision), 0);
    EXPECT_EQ(call(effBeginSetProgram), 0);
    EXPECT_EQ(call(effEndSetProgram), 0);
    EXPECT_EQ(call(effHasMidiProgramsChanged), 0);
    EXPECT_EQ(call(effSetTotalSampleToProcess, 4096), 4096);
    EXPECT_EQ(call(effStartProcess), 0);
    EXPECT_EQ(call(effGetNumMidiInputChannels), 0);

    char name[64] = "untouched";
    EXPECT_EQ(plain.dispatcher(effGetEffectName, 0, 0, name, 0.0f), 0);
    EXPECT_STREQ(name, "untouched");
    EXPECT_EQ(plain.dispatcher(effGetProgramName, 0, 0, name, 0.0f), 0);
    EXPECT_STREQ(name, "");
    int midiProgram = 0;
    EXPECT_EQ(plain.dispatcher(effGetCurrentMidiProgram, 0, 0, &midiProgram, 0.0f), -1);
}

TEST_F(EffectBaseDispatcher, PlugCategoryFollowsTheSynthFlag) {
    EXPECT_EQ(dispatch(effGetPlugCategory), kPlugCategUnknown);
    effect->isSynth();
    EXPECT_EQ(dispatch(effGetPlugCategory), 2);
    effect->isSynth(false);
    EXPECT_EQ(dispatch(effGetPlugCategory), 0);
}

TEST_F(EffectBaseDispatcher, PointerOpcodesWithANullPointerTouchNothing) {
    attachEditor();
    for (VstInt32 op : {effGetChunk,
                        effSetChunk,
                        effEditGetRect,
                        effGetProgramName,
                        effSetProgramName,
                        effGetParamLabel,
                        effGetParamDisplay,
                        effGetParamName,
                        effCanDo,
                        effProcessEvents,
                        effString2Parameter,
                        effGetProgramNameIndexed,
                        effGetInputProperties,
                        effGetOutputProperties,
                        effGetEffectName,
                        effGetVendorString,
                        effGetProductString,
                        effGetParameterProperties,
                        effGetMidiProgramName,
                        effGetCurrentMidiProgram,
                        effGetMidiProgramCategory,
                        effGetMidiKeyName,
                        effGetSpeakerArrangement,
                        effShellGetNextPlugin,
                        effBeginLoadBank,
                        effBeginLoadProgram,
                        effOfflineNotify,
                        effOfflinePrepare,
                        effOfflineRun,
                        effProcessVarIo}) {
        EXPECT_EQ(dispatch(op, 1, 16, nullptr, 0.0f), 0) << "opcode " << op;
    }
    EXPECT_TRUE(journal.empty()) << journal.front();

    // effGetSpeakerArrangement writes through both pointers.
    VstSpeakerArrangement* out = nullptr;
    EXPECT_EQ(dispatch(effGetSpeakerArrangement, 0, 0, &out), 0);
    EXPECT_TRUE(journal.empty());
}

TEST_F(EffectBaseDispatcher, PointerOpcodesReachTheirOperations) {
    char text[256] = {};
    EXPECT_EQ(dispatch(effGetEffectName, 0, 0, text), 1);
    EXPECT_STREQ(text, "x");
    EXPECT_EQ(dispatch(effGetParamDisplay, 2, 0, text), 0);
    char can[] = "receiveVstEvents";
    EXPECT_EQ(dispatch(effCanDo, 0, 0, can), 1);
    char cannot[] = "sendVstMidiEvent";
    EXPECT_EQ(dispatch(effCanDo, 0, 0, cannot), -1);

    VstEvents events{};
    events.numEvents = 3;
    EXPECT_EQ(dispatch(effProcessEvents, 0, 0, &events), 3);

    VstSpeakerArrangement* in = nullptr;
    VstSpeakerArrangement* out = nullptr;
    EXPECT_EQ(dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out), 1);

    EXPECT_EQ(journal, (std::vector<std::string>{"getEffectName", "getParameterDisplay",
                                                 "canDo receiveVstEvents", "canDo sendVstMidiEvent",
                                                 "processEvents", "getSpeakerArrangement"}));
}

TEST_F(EffectBaseDispatcher, ChunksPassTheirKindAndSize) {
    void* data = nullptr;
    EXPECT_EQ(dispatch(effGetChunk, 1, 0, &data), static_cast<VstIntPtr>(sizeof(effect->chunk)));
    EXPECT_EQ(data, effect->chunk);
    EXPECT_EQ(dispatch(effSetChunk, 0, 4128, effect->chunk), 1);
    // A size that is no byte count is refused before the plug-in sees it.
    EXPECT_EQ(dispatch(effSetChunk, 0, -1, effect->chunk), 0);
    EXPECT_EQ(dispatch(effSetChunk, 0, VstIntPtr{1} << 32, effect->chunk), 0);
    EXPECT_EQ(journal, (std::vector<std::string>{"getChunk preset", "setChunk bank 4128"}));
}

TEST_F(EffectBaseDispatcher, VendorSpecificPassesEverythingUnchanged) {
    int payload = 0;
    const VstInt32 stCA = vstFourCC('s', 't', 'C', 'A');
    const VstIntPtr whee = vstFourCC('W', 'h', 'e', 'e');
    EXPECT_EQ(dispatch(effVendorSpecific, stCA, whee, &payload, -2.5f), 0x7FFF0001);
    EXPECT_EQ(effect->vendorArgs.index, stCA);
    EXPECT_EQ(effect->vendorArgs.value, whee);
    EXPECT_EQ(effect->vendorArgs.ptr, &payload);
    EXPECT_EQ(effect->vendorArgs.opt, -2.5f);

    EXPECT_EQ(dispatch(effVendorSpecific, 1, 2, nullptr, 0.0f), 0x7FFF0001);
    EXPECT_EQ(effect->vendorArgs.ptr, nullptr);
}

// ---------------------------------------------------------------- editor

TEST_F(EffectBaseEditor, EditorOpcodesAnswerZeroWithoutEditor) {
    ERect sentinel{};
    ERect* rect = &sentinel; // must stay untouched
    int parent = 0;
    EXPECT_EQ(dispatch(effEditGetRect, 0, 0, &rect), 0);
    EXPECT_EQ(rect, &sentinel);
    EXPECT_EQ(dispatch(effEditOpen, 0, 0, &parent), 0);
    EXPECT_EQ(dispatch(effEditClose), 0);
    EXPECT_EQ(dispatch(effEditIdle), 0);
    EXPECT_EQ(dispatch(effEditKeyDown, 'a', 0, nullptr, 0.0f), 0);
    EXPECT_EQ(dispatch(effEditKeyUp, 'a', 0, nullptr, 0.0f), 0);
    EXPECT_EQ(dispatch(effSetEditKnobMode, 0, 2), 0);
}

TEST_F(EffectBaseEditor, EditorOpcodesReachTheEditor) {
    TestEditor* ed = attachEditor();
    EXPECT_EQ(effect->getEditor(), ed);
    EXPECT_EQ(ed->getEffect(), effect.get());

    ERect* rect = nullptr;
    EXPECT_EQ(dispatch(effEditGetRect, 0, 0, &rect), 1);
    EXPECT_EQ(rect, &ed->rect);

    // A null parent goes to the editor, which decides.
    EXPECT_EQ(dispatch(effEditOpen, 0, 0, nullptr), 1);
    EXPECT_EQ(ed->openCalls, 1);
    int parent = 0;
    EXPECT_EQ(dispatch(effEditOpen, 0, 0, &parent), 1);
    EXPECT_TRUE(ed->isOpen());
    dispatch(effEditIdle);
    EXPECT_EQ(ed->idleCalls, 1);
    EXPECT_EQ(dispatch(effEditClose), 0);
    EXPECT_FALSE(ed->isOpen());

    EXPECT_EQ(dispatch(effSetEditKnobMode, 0, 2), 1);
    EXPECT_EQ(ed->knobMode, 2);
}

TEST_F(EffectBaseEditor, KeyOpcodesBuildTheKeyRecord) {
    TestEditor* ed = attachEditor();
    // Virtual key: the low byte of value; modifiers: opt as an integer, low byte.
    EXPECT_EQ(dispatch(effEditKeyDown, 'q', 0x1FF, nullptr, 5.0f), 1);
    EXPECT_EQ(ed->lastKey.character, 'q');
    EXPECT_EQ(ed->lastKey.virt, 0xFF);
    EXPECT_EQ(ed->lastKey.modifier, 5);

    EXPECT_EQ(dispatch(effEditKeyUp, 0, 3, nullptr, 300.0f), 0);
    EXPECT_EQ(ed->lastKey.virt, 3);
    EXPECT_EQ(ed->lastKey.modifier, 300 & 0xFF);

    // Modifiers that are no number at all count as none.
    for (float odd : {std::numeric_limits<float>::quiet_NaN(),
                      std::numeric_limits<float>::infinity(), -1.0f, 1e30f}) {
        ed->lastKey.modifier = 99;
        dispatch(effEditKeyDown, 'k', 0, nullptr, odd);
        EXPECT_EQ(ed->lastKey.modifier, 0) << odd;
    }
}

TEST_F(EffectBaseEditor, SetEditorNullClearsOnlyTheEditorFlag) {
    effect->isSynth();
    effect->programsAreChunks();
    std::unique_ptr<TestEditor> ed(attachEditor());
    const VstInt32 withEditor = effect->flags();
    EXPECT_EQ(withEditor,
              effFlagsHasEditor | effFlagsCanReplacing | effFlagsIsSynth | effFlagsProgramChunks);

    effect->setEditor(nullptr); // ownership stays with the test from here
    EXPECT_EQ(effect->flags(), withEditor & ~effFlagsHasEditor);
    EXPECT_EQ(effect->getEditor(), nullptr);
    EXPECT_EQ(dispatch(effEditOpen), 0);
}

TEST(EffectBaseEditorDefaults, NeutralAnswers) {
    AEffEditor ed(nullptr);
    ERect* rect = reinterpret_cast<ERect*>(&ed);
    EXPECT_FALSE(ed.getRect(&rect));
    EXPECT_EQ(rect, nullptr);
    EXPECT_FALSE(ed.isOpen());

    int parent = 0;
    EXPECT_FALSE(ed.open(&parent)); // nothing to show, but the parent is kept
    EXPECT_TRUE(ed.isOpen());
    ed.close();
    EXPECT_FALSE(ed.isOpen());

    VstKeyCode key{};
    EXPECT_FALSE(ed.onKeyDown(key));
    EXPECT_FALSE(ed.onKeyUp(key));
    EXPECT_FALSE(ed.onWheel(1.0f));
    EXPECT_FALSE(ed.setKnobMode(1));
    EXPECT_EQ(ed.__mouseDeprecated(1, 2), 0);
    EXPECT_EQ(ed.__keyDeprecated(3), 0);
}

// ---------------------------------------------------------------- converters

class EffectBaseText : public ::testing::Test {
protected:
    std::string f(float v, VstInt32 maxLen = 16) {
        char buf[64];
        effect.float2string(v, buf, maxLen);
        return buf;
    }
    std::string i(VstInt32 v, VstInt32 maxLen = 16) {
        char buf[64];
        effect.int2string(v, buf, maxLen);
        return buf;
    }
    std::string dB(float v) {
        char buf[64];
        effect.dB2string(v, buf, 16);
        return buf;
    }
    std::string hz(float samples) {
        char buf[64];
        effect.Hz2string(samples, buf, 16);
        return buf;
    }
    std::string ms(float samples) {
        char buf[64];
        effect.ms2string(samples, buf, 16);
        return buf;
    }

    PlainEffect effect{nullptr};
};

TEST_F(EffectBaseText, FloatTextIsEightCharactersWide) {
    EXPECT_EQ(f(1.5f), "1.500000");
    EXPECT_EQ(f(-2.25f), "-2.25000");
    EXPECT_EQ(f(0.0f), "0.000000");
    EXPECT_EQ(f(-0.0f), "0.000000");
    EXPECT_EQ(f(-0.5f), "-0.50000");
    EXPECT_EQ(f(123.0f), "123.0000");
    EXPECT_EQ(f(-123.0f), "-123.000");
    // Integer digits are never dropped; the point stays even without room.
    EXPECT_EQ(f(1234567.0f), "1234567.");
    EXPECT_EQ(f(12345678.0f), "12345678.");
    EXPECT_EQ(f(-1234567.0f), "-1234567.");
    EXPECT_EQ(f(99999992.0f), "99999992.");
    EXPECT_EQ(f(-9999999.0f), "-9999999.");
}

TEST_F(EffectBaseText, FloatFractionsAreTruncatedNotRounded) {
    EXPECT_EQ(f(2.0f / 3.0f), "0.666666");
    EXPECT_EQ(f(-2.0f / 3.0f), "-0.66666");
    EXPECT_EQ(f(1.9999999f), "1.999999");
    EXPECT_EQ(f(12345.678f), "12345.67");
    // The stored float is slightly below 0.7, and that is what shows.
    EXPECT_EQ(f(0.7f), "0.699999");
    EXPECT_EQ(f(0.25f), "0.250000");
}

TEST_F(EffectBaseText, FloatOutOfRangeIsHuge) {
    EXPECT_EQ(f(1e8f), "Huge!");
    EXPECT_EQ(f(-10000000.0f), "Huge!");
    EXPECT_EQ(f(std::numeric_limits<float>::infinity()), "Huge!");
    EXPECT_EQ(f(-std::numeric_limits<float>::infinity()), "Huge!");
    EXPECT_EQ(f(std::numeric_limits<float>::quiet_NaN()), "Huge!");
    EXPECT_EQ(f(std::numeric_limits<float>::max()), "Huge!");
}

TEST_F(EffectBaseText, IntText) {
    EXPECT_EQ(i(0), "0");
    EXPECT_EQ(i(-42), "-42");
    EXPECT_EQ(i(7), "7");
    EXPECT_EQ(i(99999999), "99999999");
    EXPECT_EQ(i(100000000), "Huge!");
    EXPECT_EQ(i(std::numeric_limits<VstInt32>::max()), "Huge!");
    // Only large positive values are refused.
    EXPECT_EQ(i(std::numeric_limits<VstInt32>::min()), "-2147483648");
}

TEST_F(EffectBaseText, DecibelHertzAndMilliseconds) {
    EXPECT_EQ(dB(0.0f), "-oo");
    EXPECT_EQ(dB(-1.0f), "-oo");
    EXPECT_EQ(dB(1.0f), "0.000000");
    EXPECT_EQ(dB(10.0f), "20.00000");
    EXPECT_EQ(dB(0.5f), "-6.02059");

    EXPECT_EQ(hz(0.0f), "0.000000");
    EXPECT_EQ(hz(100.0f), "441.0000");
    EXPECT_EQ(hz(44100.0f), "1.000000");

    EXPECT_EQ(ms(44100.0f), "1000.000");
    EXPECT_EQ(ms(441.0f), "10.00000");
    EXPECT_EQ(ms(1.0f), "0.022675");

    effect.setSampleRate(48000.0f);
    EXPECT_EQ(hz(3.0f), "16000.00");
    EXPECT_EQ(ms(48.0f), "1.000000");
    effect.setSampleRate(0.0f);
    EXPECT_EQ(ms(1.0f), "Huge!");
}

TEST_F(EffectBaseText, MaxLenIsRespected) {
    char buf[16];
    auto fresh = [&buf] { std::memset(buf, '#', sizeof(buf)); };

    fresh();
    effect.float2string(1.5f, buf, 3);
    EXPECT_STREQ(buf, "1.5");
    EXPECT_EQ(buf[4], '#');

    fresh();
    effect.float2string(12345678.0f, buf, 8);
    EXPECT_STREQ(buf, "12345678");
    EXPECT_EQ(buf[9], '#');

    fresh();
    effect.int2string(12345, buf, 2);
    EXPECT_STREQ(buf, "12");
    EXPECT_EQ(buf[3], '#');

    fresh();
    effect.float2string(1e9f, buf, 4);
    EXPECT_STREQ(buf, "Huge");
    EXPECT_EQ(buf[5], '#');

    fresh();
    effect.dB2string(0.0f, buf, 0);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(buf[1], '#');

    fresh();
    effect.int2string(1, buf, -1);
    EXPECT_EQ(buf[0], '#');

    // Null texts are ignored.
    effect.float2string(1.0f, nullptr, 8);
    effect.int2string(1, nullptr, 8);
    effect.dB2string(1.0f, nullptr, 8);
    effect.Hz2string(1.0f, nullptr, 8);
    effect.ms2string(1.0f, nullptr, 8);
}

TEST_F(EffectBaseText, TextDoesNotFollowTheNumericLocale) {
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    const char* commaLocale = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE"}) {
        if (std::setlocale(LC_NUMERIC, name) != nullptr) {
            commaLocale = name;
            break;
        }
    }
    if (commaLocale == nullptr) GTEST_SKIP() << "no locale with a decimal comma installed";
    const std::string text = f(1.5f);
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(text, "1.500000") << "under " << commaLocale;
}

// ---------------------------------------------------------------- host calls

TEST_F(EffectBaseHost, SetParameterAutomatedClampsAndReports) {
    effect->setParameterAutomated(2, 0.25f);
    EXPECT_EQ(effect->params[2], 0.25f);
    ASSERT_EQ(host.count(audioMasterAutomate), 1u);
    EXPECT_EQ(host.last(audioMasterAutomate)->index, 2);
    EXPECT_EQ(host.last(audioMasterAutomate)->opt, 0.25f);
    EXPECT_EQ(host.last(audioMasterAutomate)->effect, effect->getAeffect());

    const struct {
        float in;
        float stored;
    } cases[] = {{1.5f, 1.0f},
                 {-0.5f, 0.0f},
                 {std::numeric_limits<float>::infinity(), 1.0f},
                 {-std::numeric_limits<float>::infinity(), 0.0f}};
    for (const auto& c : cases) {
        effect->setParameterAutomated(4, c.in);
        EXPECT_EQ(effect->params[4], c.stored) << c.in;
        EXPECT_EQ(host.last(audioMasterAutomate)->opt, c.stored) << c.in;
    }
}

TEST_F(EffectBaseHost, SetParameterAutomatedIgnoresNaN) {
    effect->params[1] = 0.5f;
    effect->setParameterAutomated(1, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(effect->params[1], 0.5f);
    EXPECT_TRUE(journal.empty());
    EXPECT_EQ(host.count(audioMasterAutomate), 0u);
}

TEST_F(EffectBaseHost, VersionAndPins) {
    EXPECT_EQ(effect->getMasterVersion(), 2400);
    host.version = 0;
    EXPECT_EQ(effect->getMasterVersion(), 1);

    // The host answers 0 for a connected pin.
    EXPECT_TRUE(effect->isInputConnected(1));
    EXPECT_EQ(host.last(audioMasterPinConnected)->index, 1);
    EXPECT_EQ(host.last(audioMasterPinConnected)->value, 0);
    host.answers[audioMasterPinConnected] = 1;
    EXPECT_FALSE(effect->isOutputConnected(0));
    EXPECT_EQ(host.last(audioMasterPinConnected)->value, 1);
}

TEST_F(EffectBaseHost, UpdateSampleRateAndBlockSizeKeepNonPositiveAnswers) {
    host.sampleRate = 96000;
    EXPECT_EQ(effect->updateSampleRate(), 96000.0);
    EXPECT_EQ(effect->getSampleRate(), 96000.0f);
    for (VstIntPtr bad : {VstIntPtr{0}, VstIntPtr{-1}, VstIntPtr{-48000}}) {
        host.sampleRate = bad;
        EXPECT_EQ(effect->updateSampleRate(), 96000.0) << bad;
    }

    EXPECT_EQ(effect->updateBlockSize(), 512);
    host.blockSize = 0;
    EXPECT_EQ(effect->updateBlockSize(), 512);
    host.blockSize = -64;
    EXPECT_EQ(effect->updateBlockSize(), 512);
    EXPECT_EQ(effect->getBlockSize(), 512);
}

TEST_F(EffectBaseHost, CanHostDoCountsOnlyAPositiveAnswer) {
    host.canDo["sizeWindow"] = 1;
    host.canDo["openFileSelector"] = 2;
    host.canDo["offline"] = -1;
    host.canDo["sendVstEvents"] = 0;
    EXPECT_EQ(effect->canHostDo("sizeWindow"), 1);
    EXPECT_EQ(effect->canHostDo("openFileSelector"), 1);
    EXPECT_EQ(effect->canHostDo("offline"), 0);
    EXPECT_EQ(effect->canHostDo("sendVstEvents"), 0);
    EXPECT_EQ(effect->canHostDo("unheardOf"), 0);
    EXPECT_STREQ(static_cast<const char*>(host.last(audioMasterCanDo)->ptr), "unheardOf");
}

TEST_F(EffectBaseHost, ResumeAsksForMidiOnlyWhenItWantsIt) {
    dispatch(effMainsChanged, 0, 1);
    EXPECT_EQ(host.count(audioMasterWantMidi), 0u);

    host.canDo["receiveVstMidiEvent"] = -1;
    dispatch(effMainsChanged, 0, 1);
    EXPECT_EQ(host.count(audioMasterWantMidi), 0u);

    host.canDo["receiveVstMidiEvent"] = 1;
    dispatch(effMainsChanged, 0, 1);
    ASSERT_EQ(host.count(audioMasterWantMidi), 1u);
    EXPECT_EQ(host.last(audioMasterWantMidi)->value, 1);

    // An instrument asks without asking the host first.
    host.canDo.clear();
    host.clearLog();
    effect->isSynth();
    dispatch(effMainsChanged, 0, 1);
    EXPECT_EQ(host.count(audioMasterCanDo), 0u);
    EXPECT_EQ(host.count(audioMasterWantMidi), 1u);
}

TEST_F(EffectBaseHost, QueriesPassTheirArguments) {
    const VstTimeInfo* time = effect->getTimeInfo(kVstTempoValid | kVstPpqPosValid);
    ASSERT_EQ(time, &host.timeInfo);
    EXPECT_EQ(time->tempo, 120.0);
    EXPECT_EQ(host.last(audioMasterGetTime)->value, kVstTempoValid | kVstPpqPosValid);

    char text[FakeHost::kStringBufferBytes];
    std::memset(text, '#', sizeof(text));
    EXPECT_FALSE(effect->getHostProductString(text));
    EXPECT_EQ(text[0], '#');
    host.productString = "REAPER";
    host.vendorString = "Cockos";
    EXPECT_TRUE(effect->getHostProductString(text));
    EXPECT_STREQ(text, "REAPER");
    EXPECT_TRUE(effect->getHostVendorString(text));
    EXPECT_STREQ(text, "Cockos");

    EXPECT_FALSE(effect->beginEdit(7));
    host.answers[audioMasterBeginEdit] = 1;
    EXPECT_TRUE(effect->beginEdit(7));
    EXPECT_EQ(host.last(audioMasterBeginEdit)->index, 7);
    effect->endEdit(7);
    EXPECT_EQ(host.last(audioMasterEndEdit)->index, 7);

    host.answers[audioMasterSizeWindow] = 1;
    EXPECT_TRUE(effect->sizeWindow(640, 480));
    EXPECT_EQ(host.last(audioMasterSizeWindow)->index, 640);
    EXPECT_EQ(host.last(audioMasterSizeWindow)->value, 480);

    // Events count as taken only for an answer of exactly 1.
    VstEvents events{};
    host.answers[audioMasterProcessEvents] = 2;
    EXPECT_FALSE(effect->sendVstEventsToHost(&events));
    host.answers[audioMasterProcessEvents] = 1;
    EXPECT_TRUE(effect->sendVstEventsToHost(&events));
    EXPECT_EQ(host.last(audioMasterProcessEvents)->ptr, &events);

    // A file selector needs a record to describe it.
    host.answers[audioMasterOpenFileSelector] = 1;
    EXPECT_FALSE(effect->openFileSelector(nullptr));
    EXPECT_EQ(host.count(audioMasterOpenFileSelector), 0u);
}

TEST(EffectBaseNoHost, WrappersAnswerTheirFallbacks) {
    PlainEffect effect(nullptr);
    char text[8] = "keep";
    EXPECT_EQ(effect.getMasterVersion(), 1);
    EXPECT_EQ(effect.getCurrentUniqueId(), 0);
    EXPECT_TRUE(effect.isInputConnected(0));
    EXPECT_TRUE(effect.isOutputConnected(0));
    EXPECT_EQ(effect.getTimeInfo(0), nullptr);
    EXPECT_FALSE(effect.sendVstEventsToHost(nullptr));
    EXPECT_EQ(effect.updateSampleRate(), 44100.0);
    EXPECT_EQ(effect.updateBlockSize(), 1024);
    EXPECT_FALSE(effect.getHostProductString(text));
    EXPECT_STREQ(text, "keep");
    EXPECT_EQ(effect.canHostDo("sizeWindow"), 0);
    EXPECT_FALSE(effect.beginEdit(0));
    EXPECT_FALSE(effect.updateDisplay());
    EXPECT_FALSE(effect.ioChanged());
    EXPECT_EQ(effect.getDirectory(), nullptr);
    EXPECT_EQ(effect.getCurrentProcessLevel(), 0);
    EXPECT_EQ(effect.hostVendorSpecific(1, 2, nullptr, 3.0f), 0);
    effect.masterIdle();
    effect.dispatcher(effMainsChanged, 0, 1, nullptr, 0.0f);

    effect.setParameterAutomated(0, 0.5f); // stored only; nothing to tell
}

// ---------------------------------------------------------------- speakers

TEST_F(EffectBaseSpeakers, AllocateReplacesAndRefuses) {
    VstSpeakerArrangement* arr = nullptr;
    ASSERT_TRUE(effect->allocateArrangement(&arr, 2));
    ASSERT_NE(arr, nullptr);
    EXPECT_EQ(arr->numChannels, 2);
    EXPECT_EQ(arr->type, 0);
    EXPECT_EQ(arr->speakers[1].name[0], 0);

    // The old arrangement is released (ASan would report it otherwise).
    ASSERT_TRUE(effect->allocateArrangement(&arr, 6));
    EXPECT_EQ(arr->numChannels, 6);

    ASSERT_TRUE(effect->allocateArrangement(&arr, 0));
    EXPECT_EQ(arr->numChannels, 0);

    EXPECT_FALSE(effect->allocateArrangement(&arr, -1));
    EXPECT_EQ(arr, nullptr);
    EXPECT_FALSE(effect->allocateArrangement(&arr, std::numeric_limits<VstInt32>::max()));
    EXPECT_EQ(arr, nullptr);
    EXPECT_FALSE(effect->allocateArrangement(nullptr, 2));

    ASSERT_TRUE(effect->allocateArrangement(&arr, 1));
    EXPECT_TRUE(effect->deallocateArrangement(&arr));
    EXPECT_EQ(arr, nullptr);
    EXPECT_TRUE(effect->deallocateArrangement(&arr));
    EXPECT_FALSE(effect->deallocateArrangement(nullptr));
}

TEST_F(EffectBaseSpeakers, MatchCopiesTypeAndSpeakers) {
    VstSpeakerArrangement* from = nullptr;
    ASSERT_TRUE(effect->allocateArrangement(&from, 3));
    from->type = 7;
    std::strcpy(from->speakers[0].name, "L");
    std::strcpy(from->speakers[1].name, "R");
    std::memset(from->speakers[2].name, 'c', sizeof(from->speakers[2].name)); // unterminated
    from->speakers[1].azimuth = 0.5f;
    from->speakers[1].type = 2;

    VstSpeakerArrangement* to = nullptr;
    ASSERT_TRUE(effect->allocateArrangement(&to, 1));
    ASSERT_TRUE(effect->matchArrangement(&to, from));
    EXPECT_EQ(to->numChannels, 3);
    EXPECT_EQ(to->type, 7);
    EXPECT_STREQ(to->speakers[0].name, "L");
    EXPECT_STREQ(to->speakers[1].name, "R");
    EXPECT_EQ(to->speakers[1].azimuth, 0.5f);
    EXPECT_EQ(to->speakers[1].type, 2);
    EXPECT_EQ(std::strlen(to->speakers[2].name), 63u);

    // Matching an arrangement to itself leaves it alone.
    VstSpeakerArrangement* same = to;
    EXPECT_TRUE(effect->matchArrangement(&same, to));
    EXPECT_EQ(same, to);

    VstSpeakerArrangement* empty = nullptr;
    ASSERT_TRUE(effect->allocateArrangement(&empty, 0));
    EXPECT_TRUE(effect->matchArrangement(&to, empty));
    EXPECT_EQ(to->numChannels, 0);

    EXPECT_FALSE(effect->matchArrangement(&to, nullptr));
    EXPECT_FALSE(effect->matchArrangement(nullptr, from));
    from->numChannels = -3;
    EXPECT_FALSE(effect->matchArrangement(&to, from));
    EXPECT_EQ(to, nullptr);
    from->numChannels = 3;

    EXPECT_FALSE(effect->copySpeaker(nullptr, &from->speakers[0]));
    EXPECT_FALSE(effect->copySpeaker(&from->speakers[0], nullptr));

    effect->deallocateArrangement(&from);
    effect->deallocateArrangement(&to);
    effect->deallocateArrangement(&empty);
}

TEST_F(EffectBaseSpeakers, DefaultArrangementQueryAnswersNone) {
    PlainEffect plain(nullptr);
    VstSpeakerArrangement dummy{};
    VstSpeakerArrangement* in = &dummy;
    VstSpeakerArrangement* out = &dummy;
    EXPECT_EQ(
        plain.dispatcher(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out, 0.0f),
        0);
    EXPECT_EQ(in, nullptr);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(plain.dispatcher(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&dummy),
                               &dummy, 0.0f),
              0);
}

// ---------------------------------------------------------------- slots

// The Itanium C++ ABI stores a pointer to a virtual member function as one
// plus the byte offset of its slot in the virtual table.
template <typename Pmf> std::size_t slotOf(Pmf pmf) {
    static_assert(sizeof(Pmf) == 2 * sizeof(void*));
    struct {
        std::uintptr_t ptr;
        std::ptrdiff_t adj;
    } raw;
    std::memcpy(&raw, &pmf, sizeof(raw));
    EXPECT_EQ(raw.ptr & 1u, 1u) << "not virtual";
    return (raw.ptr - 1) / sizeof(void*);
}

TEST(EffectBaseSlots, VirtualTableOrderIsThePublishedOne) {
    EXPECT_EQ(slotOf(&AudioEffect::dispatcher), 2u);
    EXPECT_EQ(slotOf(&AudioEffect::resume), 6u);
    EXPECT_EQ(slotOf(&AudioEffect::processReplacing), 9u);
    EXPECT_EQ(slotOf(&AudioEffect::setParameterAutomated), 13u);
    EXPECT_EQ(slotOf(&AudioEffect::getChunk), 21u);
    EXPECT_EQ(slotOf(&AudioEffect::getAeffect), 31u);
    EXPECT_EQ(slotOf(&AudioEffect::dB2string), 39u);
    EXPECT_EQ(slotOf(&AudioEffect::int2string), 43u);
    EXPECT_EQ(slotOf(&AudioEffect::__processDeprecated), 44u);
    EXPECT_EQ(slotOf(&AudioEffect::__setOfflineQualitiesDeprecated), 50u);

    EXPECT_EQ(slotOf(&AudioEffectX::dispatcher), 2u);
    EXPECT_EQ(slotOf(&AudioEffectX::resume), 6u);
    EXPECT_EQ(slotOf(&AudioEffectX::canParameterBeAutomated), 51u);
    EXPECT_EQ(slotOf(&AudioEffectX::beginEdit), 54u);
    EXPECT_EQ(slotOf(&AudioEffectX::getOutputProperties), 67u);
    EXPECT_EQ(slotOf(&AudioEffectX::processEvents), 78u);
    EXPECT_EQ(slotOf(&AudioEffectX::getEffectName), 93u);
    EXPECT_EQ(slotOf(&AudioEffectX::vendorSpecific), 97u);
    EXPECT_EQ(slotOf(&AudioEffectX::canDo), 98u);
    EXPECT_EQ(slotOf(&AudioEffectX::getPlugCategory), 100u);
    EXPECT_EQ(slotOf(&AudioEffectX::allocateArrangement), 111u);
    EXPECT_EQ(slotOf(&AudioEffectX::offlineGetNumMetaPasses), 124u);
    EXPECT_EQ(slotOf(&AudioEffectX::__wantEventsDeprecated), 125u);
    EXPECT_EQ(slotOf(&AudioEffectX::__setBlockSizeAndSampleRateDeprecated), 146u);
    EXPECT_EQ(slotOf(&AudioEffectX::__getChunkFileDeprecated), 152u);

    EXPECT_EQ(slotOf(&AEffEditor::getEffect), 2u);
    EXPECT_EQ(slotOf(&AEffEditor::idle), 7u);
    EXPECT_EQ(slotOf(&AEffEditor::__sleepDeprecated), 12u);
    EXPECT_EQ(slotOf(&AEffEditor::setKnobMode), 16u);
}

} // namespace
