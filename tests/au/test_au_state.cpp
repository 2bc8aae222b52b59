// The AudioUnit adapter's parameters, value texts, presets and state,
// driven through the test AU host: units around the real plug-in and around
// the recording fake effect.
#include "au/au_component.h"
#include "au/fake_effect.h"
#include "core/aplugin.h"
#include "editor/ueditor.h"
#include "support/fake_host.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

extern "C" OSStatus AUPLUGINEntry(ComponentParameters* params, void* storage);
extern "C" AudioComponentPlugInInterface* AUPLUGINFactory(const AudioComponentDescription*);

using ondix::auhost::AUTestHost;

namespace {

std::string text(CFStringRef s) {
    char buffer[1024] = {};
    return CFStringGetCString(s, buffer, sizeof buffer, kCFStringEncodingUTF8) ? buffer : "?";
}

CFStringRef key(const char* k) {
    return CFStringCreateWithCString(kCFAllocatorDefault, k, kCFStringEncodingUTF8);
}

const void* lookup(CFPropertyListRef state, const char* k) {
    const CFStringRef s = key(k);
    const void* value = CFDictionaryGetValue(static_cast<CFDictionaryRef>(state), s);
    CFRelease(s);
    return value;
}

// Replaces (or adds) a key of a state the unit made; the value is released.
void replace(CFPropertyListRef state, const char* k, CFTypeRef value) {
    const CFStringRef s = key(k);
    CFDictionarySetValue(static_cast<CFMutableDictionaryRef>(const_cast<void*>(state)), s, value);
    CFRelease(s);
    CFRelease(value);
}

CFDataRef cfData(const std::vector<uint8_t>& bytes) {
    return CFDataCreate(kCFAllocatorDefault, bytes.data(), static_cast<CFIndex>(bytes.size()));
}

std::vector<uint8_t> bytesOf(const void* d) {
    const auto* cf = static_cast<CFDataRef>(d);
    return {CFDataGetBytePtr(cf), CFDataGetBytePtr(cf) + CFDataGetLength(cf)};
}

template <class T> CFNumberRef number(CFNumberType type, T value) {
    return CFNumberCreate(kCFAllocatorDefault, type, &value);
}

// A unit around the real plug-in, initialised, the way a host holds one.
struct RealUnit {
    explicit RealUnit(const char* hostBundle = nullptr) {
        CFBundleSetMainBundleIdentifier(hostBundle);
        EXPECT_EQ(host.open(), noErr);
        EXPECT_EQ(host.setMaxFrames(512), noErr);
        EXPECT_EQ(host.initialize(), noErr);
    }
    AUPLUGIN& unit() { return *static_cast<AUPLUGIN*>(static_cast<AUBase*>(host.storage())); }
    APlugin& p() { return *static_cast<APlugin*>(unit().Effect()); }
    std::vector<float> values() {
        std::vector<float> v(1024);
        for (UInt32 i = 0; i < 1024; ++i) host.getParameter(i, v[i]);
        return v;
    }
    CFPropertyListRef save() {
        CFPropertyListRef state = nullptr;
        EXPECT_EQ(host.get(kAudioUnitProperty_ClassInfo, state), noErr);
        return state;
    }
    OSStatus restore(CFPropertyListRef state) {
        return host.set(kAudioUnitProperty_ClassInfo, state);
    }
    AUTestHost host{{AUPLUGINEntry, AUPLUGINFactory}};
};

// Twenty parameters set away from their defaults: a switch, stepped ones,
// two characters of the preset name and continuous values.
void setTwenty(RealUnit& u) {
    const APlugin& p = u.p();
    const int tags[20] = {tag::MainVolume,   tag::MainPan,         tag::AmpEnvAttack,
                          tag::DriftOn,      tag::OscWaveA,        tag::OscMorph,
                          tag::OscOctave,    tag::FilterFreq,      tag::FilterQ,
                          tag::FilterType,   tag::OscMode,         tag::DelayOn,
                          tag::ReverbOn,     tag::PresetNameFirst, tag::PresetNameFirst + 1,
                          tag::UnisonDetune, tag::DistortAmount,   tag::partial(0, 2),
                          tag::OscSModSpeed, tag::HiPassFreq};
    int switches = 0;
    int stepped = 0;
    for (int t : tags) {
        float v = 0.3f + 0.0123f * static_cast<float>(t % 37);
        if (p.meta().isSwitch[t]) v = p.getDefaultValue(t) < 0.5f ? 1.0f : 0.0f;
        if (!p.meta().isSwitch[t] && p.getSteppedNum(t) > 1)
            v = ParamTable::stepToValue(1, p.getSteppedRange(t));
        if (t == tag::PresetNameFirst || t == tag::PresetNameFirst + 1)
            v = (static_cast<float>('Q') + 0.5f) / 255.99f;
        if (t == tag::partial(0, 2)) v = APlugin::packPartial(0.8f, 0.25f);
        ASSERT_NE(v, p.getDefaultValue(t)) << t;
        switches += p.meta().isSwitch[t];
        stepped += p.getSteppedNum(t) > 1;
        ASSERT_EQ(u.host.setParameter(static_cast<AudioUnitParameterID>(t), v), noErr);
    }
    ASSERT_GT(switches, 0);
    ASSERT_GT(stepped, 0);
}

bool sameBits(const std::vector<float>& a, const std::vector<float>& b, int* equal = nullptr) {
    int n = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        n += std::bit_cast<uint32_t>(a[i]) == std::bit_cast<uint32_t>(b[i]);
    if (equal) *equal = n;
    return n == static_cast<int>(a.size());
}

class AUState : public ::testing::Test {
protected:
    void SetUp() override {
        FakeEffect::next = {};
        liveAtStart = CFLiveObjectCount();
    }
    void TearDown() override {
        CFBundleSetMainBundleIdentifier(nullptr);
        EXPECT_EQ(CFLiveObjectCount(), liveAtStart) << "a CoreFoundation object was not released";
    }
    long liveAtStart = 0;
};

} // namespace

TEST_F(AUState, ParametersAreListedDescribedAndShownWithoutTouchingThePlugin) {
    RealUnit u;
    ASSERT_EQ(u.host.uninitialize(), noErr);
    UInt32 size = 0;
    ASSERT_EQ(u.host.getPropertyInfo(kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0,
                                     &size, nullptr),
              noErr);
    std::vector<AudioUnitParameterID> ids(size / 4);
    ASSERT_EQ(u.host.getProperty(kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0,
                                 ids.data(), &size),
              noErr);
    ASSERT_EQ(ids.size(), 1024u);
    for (UInt32 i = 0; i < ids.size(); ++i) ASSERT_EQ(ids[i], i);

    constexpr UInt32 kBase = kAudioUnitParameterFlag_IsReadable |
                             kAudioUnitParameterFlag_IsWritable |
                             kAudioUnitParameterFlag_HasCFNameString;
    const struct {
        const char* what;
        bool initialised;
        AudioUnitScope scope;
        AudioUnitParameterID id;
        OSStatus status;
        UInt32 flags;
        std::string name;
    } rows[] = {
        {"before Initialize", false, kAudioUnitScope_Global, tag::FilterFreq, noErr,
         kBase | kAudioUnitParameterFlag_ValuesHaveStrings | kAudioUnitParameterFlag_IsGlobalMeta,
         u.p().getParameterNameStr(tag::FilterFreq)},
        {"after Initialize", true, kAudioUnitScope_Global, 0, noErr,
         kBase | kAudioUnitParameterFlag_ValuesHaveStrings, u.p().getParameterNameStr(0)},
        {"beyond the list", true, kAudioUnitScope_Global, 1024, noErr,
         kBase | kAudioUnitParameterFlag_CFNameRelease, "Generic"},
        {"input scope", true, kAudioUnitScope_Input, 0, kAudioUnitErr_InvalidParameter, 0, ""},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        if (r.initialised) {
            ASSERT_EQ(u.host.initialize(), noErr);
        }
        AudioUnitParameterInfo info{};
        UInt32 bytes = sizeof info;
        ASSERT_EQ(
            u.host.getProperty(kAudioUnitProperty_ParameterInfo, r.scope, r.id, &info, &bytes),
            r.status);
        if (r.status != noErr) continue;
        EXPECT_EQ(info.flags, r.flags);
        EXPECT_EQ(text(info.cfNameString), r.name);
        EXPECT_STREQ(info.name, r.name.c_str());
        EXPECT_EQ(info.minValue, 0.0f);
        EXPECT_EQ(info.maxValue, 1.0f);
        EXPECT_EQ(info.defaultValue, 0.5f);
        if (info.flags & kAudioUnitParameterFlag_CFNameRelease) CFRelease(info.cfNameString);
    }
    EXPECT_EQ(u.host.getPropertyInfo(kAudioUnitProperty_ParameterValueStrings,
                                     kAudioUnitScope_Global, 0, &size, nullptr),
              kAudioUnitErr_InvalidProperty);

    // Value texts: the given value's own text, the running plug-in untouched
    // (no value, no edited flag, nothing for its open editor).
    APlugin& p = u.p();
    AEffect* e = p.getAeffect();
    ASSERT_EQ(e->dispatcher(e, effEditOpen, 0, 0, nullptr, 0.0f), 1);
    p.getUEditor()->idleNow();
    FakeHost scratchHost;
    auto scratchOwner = std::make_unique<APlugin>(FakeHost::callback);
    APlugin& scratch = *scratchOwner;
    const struct {
        int tag;
        float value;
        float shownAs; // the value whose running text is expected
    } texts[] = {{tag::FilterFreq, 0.25f, 0.25f}, {tag::DelayOn, 0.75f, 1.0f},
                 {tag::FilterType, 0.25f, 0.25f}, {tag::OscWaveA, 0.25f, 0.25f},
                 {tag::MainPan, -0.5f, 0.0f},     {tag::AmpEnvAttack, 7.0f, 1.0f}};
    for (const auto& t : texts) {
        SCOPED_TRACE(t.tag);
        scratch.setParameter(t.tag, t.shownAs);
        const float before = p.getParameter(t.tag);
        const bool edited = p.getEditChanged();
        AudioUnitParameterStringFromValue request{static_cast<AudioUnitParameterID>(t.tag),
                                                  &t.value, nullptr};
        ASSERT_EQ(u.host.get(kAudioUnitProperty_ParameterStringFromValue, request), noErr);
        EXPECT_EQ(text(request.outString), scratch.getParameterDisplayStr(t.tag) + "  ");
        CFRelease(request.outString);
        p.getUEditor()->idleNow();
        EXPECT_EQ(p.getParameter(t.tag), before);
        EXPECT_EQ(p.getEditChanged(), edited);
        EXPECT_EQ(p.getUEditor()->shownValue(t.tag), before);
    }
    // Without a value: the running value's text; an unknown ID: an error.
    AudioUnitParameterStringFromValue running{tag::FilterFreq, nullptr, nullptr};
    ASSERT_EQ(u.host.get(kAudioUnitProperty_ParameterStringFromValue, running), noErr);
    EXPECT_EQ(text(running.outString), p.getParameterDisplayStr(tag::FilterFreq) + "  ");
    CFRelease(running.outString);
    running.inParamID = 1024;
    EXPECT_EQ(u.host.get(kAudioUnitProperty_ParameterStringFromValue, running),
              kAudioUnitErr_InvalidParameter);
    e->dispatcher(e, effEditClose, 0, 0, nullptr, 0.0f);
}

TEST_F(AUState, ParameterNamesFitTheirFieldWholeCharactersOnly) {
    AUTestHost host{fakeUnitEntries()};
    ASSERT_EQ(host.open(), noErr);
    std::string umlauts;
    for (int i = 0; i < 25; ++i) umlauts += "\xC3\xA4";
    const struct {
        AudioUnitParameterID id;
        std::string field;
    } rows[] = {{0, "Param"}, {1, ""}, {2, std::string(51, 'n')}, {3, umlauts}};
    for (const auto& r : rows) {
        AudioUnitParameterInfo info{};
        UInt32 bytes = sizeof info;
        ASSERT_EQ(host.getProperty(kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, r.id,
                                   &info, &bytes),
                  noErr);
        EXPECT_EQ(std::string(info.name), r.field) << r.id;
    }
    // A set without data is a removal, which no property allows.
    EXPECT_EQ(
        host.setProperty(kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0, nullptr, 4),
        kAudioUnitErr_InvalidPropertyValue);
    // An effect without an editor opens none: the unit keeps no view.
    const uintptr_t parent = 0x1234;
    EXPECT_EQ(host.setProperty(ondix::au::kEditorOpenProperty, kAudioUnitScope_Global, 0,
                               reinterpret_cast<void*>(parent), 8),
              noErr);
    EXPECT_EQ(static_cast<AUPLUGIN*>(static_cast<AUBase*>(host.storage()))->EditorView(), nullptr);
}

TEST_F(AUState, ParameterWritesOutsideTheListChangeNothing) {
    AUTestHost host{fakeUnitEntries()};
    ASSERT_EQ(host.open(), noErr);
    ASSERT_EQ(host.initialize(), noErr);
    auto* fx = static_cast<FakeEffect*>(
        static_cast<AUPLUGIN*>(static_cast<AUBase*>(host.storage()))->Effect());
    const std::vector<float> before = fx->params;
    AudioUnitParameterEvent good{};
    good.parameter = 5;
    good.eventType = kParameterEvent_Immediate;
    good.eventValues.immediate = {0, 0.9f};
    AudioUnitParameterEvent bad = good;
    bad.parameter = 1024;
    EXPECT_EQ(host.setParameter(1024, 0.9f), kAudioUnitErr_InvalidParameter);
    // The bad event is refused alone: the good one applies all the same.
    EXPECT_EQ(host.scheduleParameters({good, bad}), kAudioUnitErr_InvalidParameter);
    ASSERT_EQ(host.render(512), noErr);
    std::vector<float> after = before;
    after[5] = 0.9f;
    EXPECT_EQ(fx->params, after);
    float value = -1;
    ASSERT_EQ(host.getParameter(5, value), noErr);
    EXPECT_EQ(value, 0.9f);

    // More events than the scheduled list holds: the rest apply at once.
    std::vector<AudioUnitParameterEvent> many(AUBase::kScheduledEventRoom + 1, good);
    many.back().parameter = 6;
    many.back().eventType = kParameterEvent_Ramped;
    many.back().eventValues.ramp = {0, 256, 0.0f, 0.625f};
    ASSERT_EQ(host.scheduleParameters(many), noErr);
    ASSERT_EQ(host.getParameter(6, value), noErr);
    EXPECT_EQ(value, 0.625f);
    ASSERT_EQ(host.render(512), noErr);
    EXPECT_EQ(fx->params[6], 0.625f); // the effect hears what the unit reads back
}

TEST_F(AUState, OneFactoryPresetNamedAfterTheCurrentPreset) {
    RealUnit u;
    CFArrayRef presets = nullptr;
    ASSERT_EQ(u.host.get(kAudioUnitProperty_FactoryPresets, presets), noErr);
    ASSERT_EQ(CFArrayGetCount(presets), 1);
    const auto* first = static_cast<const AUPreset*>(CFArrayGetValueAtIndex(presets, 0));
    EXPECT_EQ(first->presetNumber, 0);
    char name[64] = {};
    u.p().getProgramName(name);
    EXPECT_EQ(text(first->presetName), name);
    CFRelease(presets);

    const struct {
        SInt32 number;
        OSStatus status;
    } rows[] = {{0, noErr}, {5, kAudioUnitErr_InvalidPropertyValue}};
    for (const auto& r : rows) {
        AUPreset preset{r.number, nullptr};
        EXPECT_EQ(u.host.set(kAudioUnitProperty_PresentPreset, preset), r.status) << r.number;
    }
    AUPreset present{};
    ASSERT_EQ(u.host.get(kAudioUnitProperty_PresentPreset, present), noErr);
    EXPECT_EQ(present.presetNumber, 0);
    EXPECT_EQ(text(present.presetName), name);
    CFRelease(present.presetName);
    EXPECT_EQ(u.p().getProgram(), 0);

    // The plug-in's own display update reaches the host's preset listeners.
    ASSERT_EQ(u.host.listen(kAudioUnitProperty_FactoryPresets), noErr);
    ASSERT_EQ(u.host.listen(kAudioUnitProperty_CurrentPreset), noErr);
    u.host.propertyCalls.clear();
    u.p().updateDisplay();
    ASSERT_EQ(u.host.propertyCalls.size(), 2u);
    EXPECT_EQ(u.host.propertyCalls[0].id, kAudioUnitProperty_CurrentPreset);
    EXPECT_EQ(u.host.propertyCalls[1].id, kAudioUnitProperty_FactoryPresets);
}

TEST_F(AUState, StateRoundTripsBitForBitWithAndWithoutChunks) {
    using namespace ondix::au;
    const struct {
        const char* what;
        const char* saver;
        const char* restorer;
        bool chunk;
    } rows[] = {
        {"no chunks", nullptr, nullptr, false},
        {"chunks both ways", kMaschineBundleIdentifier, kMaschineBundleIdentifier, true},
        {"chunk restored where none are exchanged", kMaschineBundleIdentifier, nullptr, true},
    };
    const std::string longName = "A name of more than 27 chars";
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        RealUnit source(r.saver);
        setTwenty(source);
        std::strcpy(source.p().core.programStore[0].name, longName.c_str());
        const std::vector<float> saved = source.values();
        source.p().convertWaveTablePartialsToWaveTable(0);
        CFPropertyListRef state = source.save();
        ASSERT_NE(state, nullptr);
        for (const char* k : {"version", "type", "subtype", "manufacturer", "data", "name"})
            EXPECT_NE(lookup(state, k), nullptr) << k;
        SInt32 preset = -1;
        ASSERT_TRUE(CFNumberGetValue(static_cast<CFNumberRef>(lookup(state, "mCurPreset")),
                                     kCFNumberSInt32Type, &preset));
        EXPECT_EQ(preset, 0);
        if (r.chunk) {
            EXPECT_EQ(lookup(state, "mCompleteData"), nullptr);
            EXPECT_EQ(CFDataGetLength(static_cast<CFDataRef>(lookup(state, "mChunkData"))), 4128);
        } else {
            EXPECT_EQ(lookup(state, "mChunkData"), nullptr);
            const std::vector<uint8_t> complete = bytesOf(lookup(state, "mCompleteData"));
            ASSERT_EQ(complete.size(), 4124u);
            const auto word = std::bit_cast<uint32_t>(saved[0]);
            EXPECT_EQ(complete[28], word >> 24);
            EXPECT_EQ(complete[31], word & 0xFF);
        }

        RealUnit target(r.restorer);
        const std::vector<float> fresh = target.values();
        ASSERT_FALSE(sameBits(fresh, saved));
        ASSERT_EQ(target.restore(state), noErr);
        CFRelease(state);
        EXPECT_TRUE(sameBits(target.values(), saved));
        for (int t = 0; t < tag::Count; ++t)
            ASSERT_EQ(std::bit_cast<uint32_t>(target.p().getParameter(t)),
                      std::bit_cast<uint32_t>(saved[static_cast<std::size_t>(t)]))
                << t;
        EXPECT_EQ(std::string(target.p().core.programStore[0].name),
                  r.chunk ? longName : longName.substr(0, 27));

        // The restored program is applied in full at the next slow tick:
        // the user wave is rebuilt from its restored partials.
        EXPECT_TRUE(target.p().core.presetPending.get());
        for (int s = 0; s < 9; ++s) ASSERT_EQ(target.host.render(512), noErr);
        EXPECT_FALSE(target.p().core.presetPending.get());
        for (int i = 0; i < 2048; i += 97)
            ASSERT_NEAR(target.p().getWaveTableValue(0, i), source.p().getWaveTableValue(0, i),
                        1e-4f)
                << i;
    }
}

TEST_F(AUState, HostileStatesChangeNothingTheyShouldNot) {
    RealUnit source;
    setTwenty(source);
    const std::vector<float> saved = source.values();
    std::vector<uint8_t> complete;
    {
        CFPropertyListRef state = source.save();
        complete = bytesOf(lookup(state, "mCompleteData"));
        CFRelease(state);
    }
    auto withNaN = complete;
    for (int i = 0; i < 4; ++i) withNaN[28 + 4 * tag::FilterFreq + i] = i == 0 ? 0x7F : 0xFF;

    enum Outcome { kRestored, kUnchanged };
    const struct {
        const char* what;
        const char* key; // replaced in a good state; null: the state is not a dictionary
        std::function<CFTypeRef()> value;
        OSStatus status;
        Outcome outcome;
        bool message;
    } rows[] = {
        {"a good state", "name", [] { return key("Mine"); }, noErr, kRestored, false},
        {"4123 bytes of values", "mCompleteData",
         [&] { return cfData(std::vector<uint8_t>(complete.begin(), complete.end() - 1)); }, noErr,
         kUnchanged, true},
        {"a string for the values", "mCompleteData", [] { return key("values"); }, noErr,
         kUnchanged, false},
        {"a 100-byte chunk", "mChunkData", [] { return cfData(std::vector<uint8_t>(100, 0x41)); },
         noErr, kRestored, false},
        {"NaN values", "mCompleteData", [&] { return cfData(withNaN); }, noErr, kRestored, false},
        {"another manufacturer", "manufacturer",
         [] { return number<SInt32>(kCFNumberSInt32Type, 0x41424344); },
         kAudioUnitErr_InvalidPropertyValue, kUnchanged, false},
        {"a version of text", "version", [] { return key("0"); },
         kAudioUnitErr_InvalidPropertyValue, kUnchanged, false},
        {"not a dictionary", nullptr,
         [] {
             return cfData({1, 2, 3});
         },
         kAudioUnitErr_InvalidPropertyValue, kUnchanged, false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        RealUnit target;
        const std::vector<float> before = target.values();
        CFPropertyListRef state = source.save();
        CFPropertyListRef given = state;
        if (r.key)
            replace(state, r.key, r.value());
        else
            given = r.value();
        testing::internal::CaptureStderr();
        EXPECT_EQ(target.restore(given), r.status);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err, r.message ? "Fatal error, preset Size wrong!\n" : "");
        if (given != state) CFRelease(given);
        CFRelease(state);
        const std::vector<float> after = target.values();
        if (r.outcome == kUnchanged) {
            EXPECT_TRUE(sameBits(after, before));
            EXPECT_FALSE(target.p().core.presetPending.get());
            continue;
        }
        for (int t = 0; t < tag::Count; ++t) {
            // Not a number is taken as the bound it plays as, 0.
            const bool damaged = r.what == std::string("NaN values") && t == tag::FilterFreq;
            const float expected = damaged ? 0.0f : saved[t];
            ASSERT_EQ(after[t], expected) << t;
        }
    }
}

TEST_F(AUState, OnlyAWholeProgramNumberSelectsAProgram) {
    AUTestHost host{fakeUnitEntries()};
    ASSERT_EQ(host.open(), noErr);
    auto& unit = *static_cast<AUPLUGIN*>(static_cast<AUBase*>(host.storage()));
    auto& fx = *static_cast<FakeEffect*>(unit.Effect());
    const struct {
        const char* what;
        std::function<CFTypeRef()> preset;
        bool selects;
    } rows[] = {
        {"0", [] { return number<SInt32>(kCFNumberSInt32Type, 0); }, true},
        {"0 as a double", [] { return number<double>(kCFNumberFloat64Type, 0.0); }, true},
        {"7", [] { return number<SInt32>(kCFNumberSInt32Type, 7); }, false},
        {"-1", [] { return number<SInt32>(kCFNumberSInt32Type, -1); }, false},
        {"2.5", [] { return number<double>(kCFNumberFloat64Type, 2.5); }, false},
        {"2^32", [] { return number<int64_t>(kCFNumberSInt64Type, int64_t(1) << 32); }, false},
        {"a string", [] { return key("0"); }, false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        CFPropertyListRef state = nullptr;
        ASSERT_EQ(host.get(kAudioUnitProperty_ClassInfo, state), noErr);
        EXPECT_EQ(lookup(state, "mCompleteData"), nullptr); // the fake has no program store
        replace(state, "mCurPreset", r.preset());
        // A wrong length is reported, and the program is still selected.
        replace(state, "mCompleteData", cfData(std::vector<uint8_t>(4123)));
        fx.log.clear();
        testing::internal::CaptureStderr();
        EXPECT_EQ(host.set(kAudioUnitProperty_ClassInfo, state), noErr);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "Fatal error, preset Size wrong!\n");
        CFRelease(state);
        const bool selected = !fx.log.empty() && fx.log.back().call == FakeEffect::Call::Program;
        EXPECT_EQ(selected, r.selects);
    }
}

TEST_F(AUState, SampleRatePropertyTakesOnlyARealRate) {
    AUTestHost host{fakeUnitEntries()};
    ASSERT_EQ(host.open(), noErr);
    auto& unit = *static_cast<AUPLUGIN*>(static_cast<AUBase*>(host.storage()));
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        OSStatus status;
        double rate;
    } rows[] = {
        {"48 kHz", std::vector<uint8_t>(8), noErr, 48000.0},
        {"4 bytes", std::vector<uint8_t>(4), kAudioUnitErr_InvalidPropertyValue, 48000.0},
        {"16 bytes", std::vector<uint8_t>(16), kAudioUnitErr_InvalidPropertyValue, 48000.0},
        {"0 Hz", std::vector<uint8_t>(8), kAudioUnitErr_InvalidPropertyValue, 48000.0},
        {"NaN", std::vector<uint8_t>(8), kAudioUnitErr_InvalidPropertyValue, 48000.0},
        {"infinity", std::vector<uint8_t>(8), kAudioUnitErr_InvalidPropertyValue, 48000.0},
    };
    const double given[] = {
        48000.0, 48000.0, 48000.0, 0.0, std::numeric_limits<double>::quiet_NaN(), INFINITY};
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].what);
        std::vector<uint8_t> bytes = rows[i].bytes;
        std::memcpy(bytes.data(), &given[i], std::min<std::size_t>(bytes.size(), 8));
        EXPECT_EQ(host.setProperty(kAudioUnitProperty_SampleRate, kAudioUnitScope_Global, 0,
                                   bytes.data(), static_cast<UInt32>(bytes.size())),
                  rows[i].status);
        EXPECT_EQ(unit.SampleRate(), rows[i].rate);
        Float64 rate = 0;
        EXPECT_EQ(host.get(kAudioUnitProperty_SampleRate, rate), noErr);
        EXPECT_EQ(rate, rows[i].rate);
    }
}
