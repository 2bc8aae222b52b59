// The plug-in object in-process: construction, host detection, the host
// answers, and the parameter write path with its editing rules.

#include "core/aplugin.h"
#include "editor/ueditor.h"
#include "support/fake_host.h"
#include "support/manual_clock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

namespace {

// The plug-in as a host sees it: created through the entry, driven through
// its record, ended with effClose.
struct HostedPlugin {
    FakeHost host;
    AEffect* effect = nullptr;

    explicit HostedPlugin(const std::string& product = "", const std::string& vendor = "") {
        host.productString = product;
        host.vendorString = vendor;
        effect = ondixPluginEntry(FakeHost::callback);
    }
    ~HostedPlugin() {
        if (effect) effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    }
    APlugin& plugin() const {
        return *static_cast<APlugin*>(static_cast<AudioEffect*>(effect->object));
    }
    VstIntPtr dispatch(VstInt32 op, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f) {
        return effect->dispatcher(effect, op, index, value, ptr, opt);
    }
    std::string text(VstInt32 op, VstInt32 index = 0) {
        char buffer[256] = {};
        dispatch(op, index, 0, buffer);
        return buffer;
    }
    void set(int t, float v) { effect->setParameter(effect, t, v); }
    float get(int t) { return effect->getParameter(effect, t); }
};

} // namespace

TEST(PluginEntry, HostAnsweringVersionZeroGetsNoEffect) {
    FakeHost host;
    host.version = 0;
    EXPECT_EQ(ondixPluginEntry(FakeHost::callback), nullptr);
    EXPECT_EQ(host.count(audioMasterVersion), 1u);
    EXPECT_EQ(host.calls.size(), 1u); // nothing else was asked: nothing was built
    EXPECT_EQ(ondixPluginEntry(nullptr), nullptr);
}

TEST(PluginEntry, RecordDescribesTheInstrument) {
    HostedPlugin p;
    ASSERT_NE(p.effect, nullptr);
    const AEffect& e = *p.effect;
    EXPECT_EQ(e.magic, kEffectMagic);
    EXPECT_EQ(e.uniqueID, 0x4F4E4450);
    EXPECT_EQ(e.numInputs, 2);
    EXPECT_EQ(e.numOutputs, 2);
    EXPECT_EQ(e.numPrograms, 1);
    EXPECT_EQ(e.numParams, 1024);
    EXPECT_EQ(e.flags, 0x111); // has editor, can replace, is synth

    EXPECT_EQ(p.text(effGetEffectName), "Ondix");
    EXPECT_EQ(p.text(effGetProductString), "Ondix");
    EXPECT_EQ(p.text(effGetVendorString), "Haldmer");
    EXPECT_EQ(p.dispatch(effGetVendorVersion), 0x10001);
    EXPECT_EQ(p.dispatch(effGetVstVersion), 2400);
    EXPECT_EQ(p.dispatch(effGetPlugCategory), kPlugCategSynth);
    EXPECT_EQ(p.text(effGetParamName, 78), "Slot 12 Amount");
    EXPECT_EQ(p.text(effGetParamName, 1024), "");
    EXPECT_EQ(p.text(effGetParamLabel, 5), " ");
    EXPECT_EQ(p.text(effGetProgramName), "Init");
}

TEST(PluginEntry, ConstructionLeavesASilentInstrumentWithPresetZero) {
    HostedPlugin p;
    APlugin& plugin = p.plugin();
    EXPECT_FLOAT_EQ(plugin.engine.rate.sampleRate, 44100.0f);
    for (const VstMidiEvent& e : plugin.engine.midiEventQueue.events) {
        EXPECT_EQ(e.deltaFrames, -99);
        EXPECT_EQ(e.type, kVstMidiType);
        EXPECT_EQ(e.reserved1, 99);
    }
    EXPECT_EQ(plugin.engine.midiEventQueue.pending, 0);
    for (int t = 0; t < tag::Count; ++t) {
        const float def = plugin.getDefaultValue(t);
        ASSERT_EQ(plugin.getCurrentValue(t), clamp01(def)) << t; // the engine reads 0..1
        ASSERT_EQ(plugin.getOrigValue(t), def) << t;
        ASSERT_EQ(plugin.getStoredValue(t), def) << t;
    }
    EXPECT_FALSE(plugin.getEditChanged());
    EXPECT_FALSE(plugin.core.presetPending);
    ASSERT_NE(plugin.getUEditor(), nullptr);
    EXPECT_FALSE(plugin.getUEditor()->isOpen());

    float left[64], right[64];
    std::fill_n(left, 64, 1.0f);
    std::fill_n(right, 64, 1.0f);
    float* outs[2] = {left, right};
    p.effect->processReplacing(p.effect, outs, outs, 64);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(left[i] + right[i], 0.0f);
}

TEST(PluginEntry, SampleRateChangesOnlyWhenItDiffers) {
    HostedPlugin p;
    p.dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
    EXPECT_FLOAT_EQ(p.plugin().engine.rate.sampleRate, 44100.0f);
    p.dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
    EXPECT_FLOAT_EQ(p.plugin().engine.rate.sampleRate, 48000.0f);
    p.dispatch(effSetSampleRate, 0, 0, nullptr, 48000.05f);
    EXPECT_FLOAT_EQ(p.plugin().engine.rate.sampleRate, 48000.0f);
}

TEST(HostDetection, ProductAndVendorStringsDecideChunkExchange) {
    struct Case {
        const char* product;
        const char* vendor;
        bool chunks;
    };
    const Case cases[] = {
        {"REAPER", "Cockos", true},
        {"reaper", "", true},
        {"Reaper 7", "", false},
        {"REAPER ", "", false},
        {"Maschine 2", "", true},
        {"MASCHIN", "", false},
        {"Komplete Kontrol", "", true},
        {"", "Propellerhead Software", true},
        {"", "prop", true},
        {"", "PRO", false},
        {"ondix-host", "", true},
        {"Kore Player", "", true},
        {"Bitwig Studio", "Bitwig", false},
        {"", "", false},
    };
    for (const Case& c : cases) {
        HostedPlugin p(c.product, c.vendor);
        ASSERT_NE(p.effect, nullptr);
        EXPECT_EQ((p.effect->flags & effFlagsProgramChunks) != 0, c.chunks)
            << c.product << " / " << c.vendor;
    }
    HostedPlugin reaper("REAPER");
    EXPECT_EQ(reaper.effect->flags, 0x131);
    EXPECT_TRUE(APlugin::detectHost("MASCHINE 2.1", nullptr).hostIsNKS);
    EXPECT_TRUE(APlugin::detectHost(nullptr, "PropTech").hostIsProp);
    EXPECT_FALSE(APlugin::detectHost("REAPERX", nullptr).hostIsReaper);
}

TEST(HostDetection, LongHostStringsAreCutAtTheirBuffer) {
    FakeHost host;
    host.productString = std::string(1000, 'r');
    host.vendorString = "PROP" + std::string(1000, 'x');
    AEffect* effect = ondixPluginEntry(FakeHost::callback);
    ASSERT_NE(effect, nullptr);
    EXPECT_NE(effect->flags & effFlagsProgramChunks, 0);
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
}

TEST(HostInterface, CapabilitiesPinsAndGestures) {
    HostedPlugin p;
    char nks[] = "NKSCallbacks", time[] = "receiveVstTimeInfo", send[] = "sendVstEvents";
    char midi[] = "receiveVstMidiEvent", events[] = "receiveVstEvents";
    EXPECT_EQ(p.dispatch(effCanDo, 0, 0, nks), 1);
    EXPECT_EQ(p.dispatch(effCanDo, 0, 0, time), 1);
    EXPECT_EQ(p.dispatch(effCanDo, 0, 0, midi), 1);
    EXPECT_EQ(p.dispatch(effCanDo, 0, 0, events), 1);
    EXPECT_EQ(p.dispatch(effCanDo, 0, 0, send), 0);
    EXPECT_EQ(p.dispatch(effCanDo, 0, 0, nullptr), 0);

    VstPinProperties pin{};
    pin.arrangementType = 77;
    EXPECT_EQ(p.dispatch(effGetOutputProperties, 1, 0, &pin), 1);
    EXPECT_STREQ(pin.label, "Ondix 2");
    EXPECT_EQ(pin.flags, 3);
    EXPECT_EQ(pin.arrangementType, 77); // untouched
    VstPinProperties untouched{};
    EXPECT_EQ(p.dispatch(effGetOutputProperties, 2, 0, &untouched), 0);
    EXPECT_EQ(untouched.label[0], '\0');

    APlugin& plugin = p.plugin();
    plugin.beginEdit(5);
    plugin.endEdit(5);
    EXPECT_EQ(p.host.count(audioMasterBeginEdit), 1u);
    EXPECT_EQ(p.host.count(audioMasterEndEdit), 1u);
    EXPECT_EQ(plugin.getUEditor()->getEditControl(), nullptr);
    EXPECT_EQ(plugin.getVu(), 0.0f);
}

TEST(ParameterValues, ClampSnapAndIgnoreWhatIsOutOfRange) {
    HostedPlugin p;
    APlugin& plugin = p.plugin();
    p.set(tag::AmpEnvDecay, 1.7f);
    EXPECT_EQ(p.get(tag::AmpEnvDecay), 1.0f);
    p.set(tag::AmpEnvDecay, -3.0f);
    EXPECT_EQ(p.get(tag::AmpEnvDecay), 0.0f);
    p.set(tag::DriftOn, 0.49f);
    EXPECT_EQ(p.get(tag::DriftOn), 0.0f);
    p.set(tag::DriftOn, 0.5f);
    EXPECT_EQ(p.get(tag::DriftOn), 1.0f);
    p.set(tag::HiPassOn, 0.7f);
    EXPECT_FLOAT_EQ(p.get(tag::HiPassOn), 0.7f); // shown as on/off, not a switch

    p.set(tag::OscMorph, std::numeric_limits<float>::infinity());
    EXPECT_EQ(p.get(tag::OscMorph), 1.0f);
    p.set(tag::OscMorph, -std::numeric_limits<float>::infinity());
    EXPECT_EQ(p.get(tag::OscMorph), 0.0f);

    // Every copy holds the same number after a write.
    p.set(tag::FilterQ, 0.375f);
    EXPECT_EQ(plugin.getCurrentValue(tag::FilterQ), 0.375f);
    EXPECT_EQ(plugin.core.values.editValue[tag::FilterQ], 0.375f);
    EXPECT_EQ(plugin.getStoredValue(tag::FilterQ), 0.375f);

    for (int bad : {-1, 1024, 5000, std::numeric_limits<int>::min()}) {
        p.set(bad, 0.5f);
        EXPECT_EQ(p.get(bad), 0.0f);
        EXPECT_EQ(plugin.getDefaultValue(bad), 0.0f);
        EXPECT_EQ(plugin.getSteppedNum(bad), -1);
        EXPECT_EQ(plugin.getSteppedRange(bad), 1.0f);
        EXPECT_EQ(plugin.getTagDest(bad), 0);
        EXPECT_EQ(plugin.getLockedSectionForTag(bad), 0);
    }

    // A stored value beyond 1 (from a state chunk) reads back clamped.
    plugin.core.programStore[0].values[tag::OscSymmetry] = 1.3f;
    EXPECT_EQ(p.get(tag::OscSymmetry), 1.0f);
    plugin.core.programStore[0].values[tag::OscSymmetry] = std::nanf("");
    EXPECT_EQ(p.get(tag::OscSymmetry), 0.0f);
}

// Not a number from the host is stored as 0, as a restored state stores it,
// whatever the value before: every copy holds 0 and the host reads 0. Arp
// Number of Steps starts beyond 1: a dropped write kept that.
TEST(ParameterValues, NotANumberFromTheHostIsStoredAsZero) {
    HostedPlugin p;
    APlugin& plugin = p.plugin();
    ASSERT_GT(plugin.getStoredValue(tag::ArpNumSteps), 1.0f);
    for (int t = 0; t < tag::Count; ++t) {
        if (plugin.getStoredValue(t) == 0.0f) p.set(t, 0.6f);
        p.set(t, std::numeric_limits<float>::quiet_NaN());
        EXPECT_EQ(plugin.getStoredValue(t), 0.0f) << t;
        EXPECT_EQ(plugin.getCurrentValue(t), 0.0f) << t;
        EXPECT_EQ(plugin.core.values.editValue[t], 0.0f) << t;
        EXPECT_EQ(p.get(t), 0.0f) << t;
    }
}

TEST(ParameterValues, AutomatedWritesReportTheClampedValue) {
    HostedPlugin p;
    APlugin& plugin = p.plugin();
    plugin.setParameterAutomated(tag::FilterFreq, 3.0f);
    ASSERT_EQ(p.host.count(audioMasterAutomate), 1u);
    EXPECT_EQ(p.host.last(audioMasterAutomate)->index, tag::FilterFreq);
    EXPECT_EQ(p.host.last(audioMasterAutomate)->opt, 1.0f);
    plugin.setParameterAutomated(tag::FilterFreq, std::nanf(""));
    EXPECT_EQ(p.host.count(audioMasterAutomate), 1u);
    EXPECT_EQ(p.get(tag::FilterFreq), 1.0f);
}

TEST(ParameterValues, EditTracking) {
    HostedPlugin p;
    APlugin& plugin = p.plugin();
    const int t = tag::FilterQ; // default 0

    p.set(t, 0.00005f); // within 0.0001 of the last edit: no edit
    EXPECT_EQ(plugin.core.values.lastEditValue[t], 0.0f);
    EXPECT_FALSE(plugin.getEditChanged());

    p.set(t, 0.5f);
    EXPECT_EQ(plugin.core.values.lastEditValue[t], 0.5f);
    EXPECT_TRUE(plugin.getEditChanged());
    p.set(t, 0.0f); // back to the loaded value: still edited
    EXPECT_TRUE(plugin.getEditChanged());

    p.set(tag::TakeOver, 0.3f); // the current values become the loaded state
    EXPECT_FALSE(plugin.getEditChanged());
    EXPECT_EQ(plugin.getOrigValue(tag::MainVolume), plugin.getCurrentValue(tag::MainVolume));

    // A tag whose loaded value is -1 is tracked but never marks an edit.
    plugin.core.values.origValue[tag::ChorusMix] = -1.0f;
    p.set(tag::ChorusMix, 0.9f);
    EXPECT_EQ(plugin.core.values.lastEditValue[tag::ChorusMix], 0.9f);
    EXPECT_FALSE(plugin.getEditChanged());

    // The preset name and other untracked tags are no edit.
    for (int name = tag::PresetNameFirst; name <= tag::PresetNameLast; ++name) p.set(name, 0.4f);
    p.set(tag::XYX, 0.9f);
    p.set(tag::arpRandomTune(3), 0.1f);
    EXPECT_FALSE(plugin.getEditChanged());
}

TEST(ParameterValues, CommandTags) {
    HostedPlugin p;
    APlugin& plugin = p.plugin();
    plugin.core.settingPreset.set();
    p.set(tag::ApplyPreset, 1.0f);
    EXPECT_FALSE(plugin.core.presetPending);
    EXPECT_EQ(plugin.getCurrentValue(tag::ApplyPreset), 1.0f);
    plugin.core.settingPreset.clear();
    p.set(tag::ApplyPreset, 0.0f);
    EXPECT_TRUE(plugin.core.presetPending);

    plugin.core.previewPlay.set();
    p.set(tag::OscWaveB, 0.2f);
    EXPECT_FALSE(plugin.core.previewPlay);
}

TEST(ParameterValues, EditorReceivesValuesOnlyWhileOpenAndOnlyForItsTags) {
    HostedPlugin p;
    APlugin& plugin = p.plugin();
    uEditor& ui = *plugin.getUEditor();

    ManualClock clock;
    p.set(tag::AmpEnvDecay, 0.1f);                        // closed: nothing recorded
    EXPECT_EQ(p.dispatch(effEditOpen, 0, 0, nullptr), 1); // headless
    EXPECT_TRUE(ui.isOpen());
    EXPECT_TRUE(plugin.core.editorOpened);
    EXPECT_FALSE(plugin.core.editorOpening);
    EXPECT_FLOAT_EQ(ui.shownValue(tag::AmpEnvDecay), 0.1f); // read when opening

    p.set(tag::AmpEnvDecay, 0.6f);
    p.set(tag::InternalFirst, 0.7f);                        // 128 reaches the editor
    p.set(tag::InternalFirst + 1, 0.7f);                    // 129..242 do not
    p.set(tag::Marker, 0.2f);                               // 998 and above do not
    EXPECT_FLOAT_EQ(ui.shownValue(tag::AmpEnvDecay), 0.1f); // only recorded so far
    p.dispatch(effEditIdle); // within 40 ms of opening: the editor waits
    EXPECT_FLOAT_EQ(ui.shownValue(tag::AmpEnvDecay), 0.1f);
    clock.advance(40);
    p.dispatch(effEditIdle);
    EXPECT_FLOAT_EQ(ui.shownValue(tag::AmpEnvDecay), 0.6f);
    EXPECT_FLOAT_EQ(ui.shownValue(tag::InternalFirst), 0.7f);
    EXPECT_FLOAT_EQ(ui.shownValue(tag::InternalFirst + 1), 0.0f);
    EXPECT_FLOAT_EQ(ui.shownValue(tag::Marker), 1.0f);

    plugin.updateEditorScreen();
    EXPECT_TRUE(ui.isRebuildRequested());
    clock.advance(40);
    p.dispatch(effEditIdle);
    EXPECT_FALSE(ui.isRebuildRequested());

    p.dispatch(effEditClose);
    EXPECT_FALSE(plugin.core.editorOpened);
    EXPECT_FALSE(ui.isOpen());
    plugin.updateEditorScreen();
    EXPECT_FALSE(ui.isRebuildRequested());
}

TEST(ParameterOperations, StepsSwitchesDefaultsCopiesAndSwaps) {
    HostedPlugin p;
    APlugin& plugin = p.plugin();

    plugin.setSteppedValue(tag::ArpNumSteps, 99);
    EXPECT_EQ(p.get(tag::ArpNumSteps), 1.0f); // (15 + 0.1) / 15, clamped on the way in
    EXPECT_EQ(plugin.getSteppedValue(tag::ArpNumSteps), 15);
    plugin.setSteppedValue(tag::FilterType, -4);
    EXPECT_EQ(plugin.getSteppedValue(tag::FilterType), 0);
    plugin.setSteppedValueMax(tag::FilterType);
    EXPECT_EQ(plugin.getSteppedValue(tag::FilterType), 21);
    p.set(tag::FilterType, 1.0f);
    EXPECT_EQ(plugin.getSteppedValue(tag::FilterType), 21);
    p.set(tag::slotSource(0), 0.75f);
    EXPECT_EQ(plugin.getSteppedValue(tag::slotSource(0)), 74);
    EXPECT_EQ(plugin.getSteppedValue(tag::OscMorph), 0); // continuous
    EXPECT_EQ(APlugin::getSteppedValue(std::nanf(""), 23.99f, 22), 0);
    EXPECT_EQ(APlugin::getSteppedValue(1e30f, 23.99f, 22), 21);
    EXPECT_EQ(APlugin::getSteppedValue(-1e30f, 23.99f, 22), 0);
    const std::size_t automated = p.host.count(audioMasterAutomate);
    plugin.setSteppedValue(tag::OscMorph, 3); // continuous: nothing
    EXPECT_EQ(p.host.count(audioMasterAutomate), automated);

    plugin.toggleValue(tag::ChorusOn);
    EXPECT_TRUE(plugin.getOnOff(tag::ChorusOn));
    plugin.setOff(tag::ChorusOn);
    EXPECT_FALSE(plugin.getOnOff(tag::ChorusOn));
    EXPECT_FALSE(plugin.getOnOff(-1));

    plugin.setZeroValue(tag::MainVolume);
    EXPECT_EQ(p.get(tag::MainVolume), 1.0f);
    plugin.setToDefault(tag::MainVolume);
    EXPECT_FLOAT_EQ(p.get(tag::MainVolume), 0.833f);
    plugin.setToOrig(tag::MainVolume);
    EXPECT_FLOAT_EQ(p.get(tag::MainVolume), 0.833f);

    for (int i = 0; i < 4; ++i) p.set(tag::xyPointX(i), 0.1f * static_cast<float>(i + 1));
    plugin.setToDefaultRange(tag::xyPointX(0), tag::xyPointX(1));
    EXPECT_EQ(p.get(tag::xyPointX(1)), 0.0f);
    EXPECT_FLOAT_EQ(p.get(tag::xyPointX(2)), 0.3f);
    plugin.setToDefaultRange(tag::xyPointX(0), 1024); // out of range: nothing
    EXPECT_FLOAT_EQ(p.get(tag::xyPointX(2)), 0.3f);

    // 300..303 go to 1020..1023; the pairs that would reach 1024.. are skipped.
    for (int i = 0; i < 8; ++i) p.set(300 + i, 0.05f * static_cast<float>(i + 1));
    plugin.copyParameterRange(300, 1020, 8);
    for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(p.get(1020 + i), 0.05f * static_cast<float>(i + 1));

    p.set(tag::xyPointY(0), 0.25f);
    p.set(tag::xyPointY(1), 0.75f);
    plugin.swapParameter(tag::xyPointY(0), tag::xyPointY(1));
    EXPECT_EQ(p.get(tag::xyPointY(0)), 0.75f);
    EXPECT_EQ(p.get(tag::xyPointY(1)), 0.25f);
    plugin.copyParameterToRange(tag::xyPointY(0), tag::xyPointY(2), tag::xyPointY(4));
    EXPECT_EQ(p.get(tag::xyPointY(4)), 0.75f);
    plugin.swapParameterRange(tag::xyPointY(0), tag::xyPointY(10), 2);
    EXPECT_EQ(p.get(tag::xyPointY(11)), 0.25f);

    // Copies and swaps are plain: the host hears nothing of them.
    EXPECT_EQ(p.host.count(audioMasterAutomate), automated + 6);
}
