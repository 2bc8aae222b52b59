// The AudioUnit adapter's unit: opening, lifecycle, formats, properties and
// the host callback the effect sees, driven through the test AU host.
#include "au/au_component.h"
#include "au/fake_effect.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <thread>
#include <utility>

using ondix::auhost::AUTestHost;
using ondix::auhost::OpenWay;
using Call = FakeEffect::Call;

namespace {

class AUUnit : public ::testing::Test {
protected:
    void SetUp() override {
        FakeEffect::next = {};
        liveAtStart = CFLiveObjectCount();
    }
    void TearDown() override {
        host.close();
        CFBundleSetMainBundleIdentifier(nullptr);
        EXPECT_EQ(CFLiveObjectCount(), liveAtStart) << "a CoreFoundation object was not released";
    }
    AUPLUGIN& unit() { return *static_cast<AUPLUGIN*>(static_cast<AUBase*>(host.storage())); }
    FakeEffect& fx() { return *static_cast<FakeEffect*>(unit().Effect()); }
    void openInitialised(double rate = 44100.0) {
        ASSERT_EQ(host.open(), noErr);
        ASSERT_EQ(host.setOutputFormat(canonicalFormat(rate, 2)), noErr);
        ASSERT_EQ(host.initialize(), noErr);
    }
    VstIntPtr master(VstInt32 opcode, VstInt32 index = 0, void* ptr = nullptr, float opt = 0) {
        return AUPLUGINAudioMasterCallback(unit().Effect()->getAeffect(), opcode, index, 0, ptr,
                                           opt);
    }

    AUTestHost host{fakeUnitEntries()};
    long liveAtStart = 0;
};

std::string text(CFStringRef s) {
    char buffer[1024] = {};
    return CFStringGetCString(s, buffer, sizeof buffer, kCFStringEncodingUTF8) ? buffer : "?";
}

} // namespace

TEST_F(AUUnit, OpensByEitherEntryAsTheEffectExpects) {
    using namespace ondix::au;
    const std::string tooLong(300, 'x');
    const struct {
        const char* bundle;
        const char* product;
    } hosts[] = {
        {nullptr, "Default"},
        {"com.example.SomeHost", "Default"},
        {"", "Default"},
        {kKoreBundleIdentifier, "Kore"},
        {"com.native-instruments.Kore 2", "Kore"},
        {"com.native-instruments.Maschine 2", "Maschine Host"},
        {"com.native-instruments.Kor", "Default"},
        {tooLong.c_str(), "Default"},
    };
    for (OpenWay way : {OpenWay::Factory, OpenWay::Entry}) {
        for (const auto& h : hosts) {
            SCOPED_TRACE(h.bundle ? h.bundle : "(no main bundle)");
            CFBundleSetMainBundleIdentifier(h.bundle);
            ASSERT_EQ(host.open(way), noErr);
            EXPECT_EQ(fx().seenRate, 44100);
            EXPECT_EQ(fx().seenBlock, 1024);
            EXPECT_EQ(fx().seenProduct, h.product);
            EXPECT_EQ(unit().NumParams(), 1024u);
            EXPECT_EQ(unit().NumPrograms(), 1u);
            EXPECT_EQ(unit().Version(), 0x10001u);
            const std::vector<FakeEffect::LogEntry> built = {{Call::Suspend, 0},
                                                             {Call::SampleRate, 44100},
                                                             {Call::BlockSize, 1024},
                                                             {Call::Program, 0}};
            EXPECT_EQ(fx().log, built); // left suspended until Initialize
            EXPECT_EQ(text(unit().Preset(0).presetName), "Default");
            ASSERT_EQ(host.close(), noErr);
        }
    }
    // The component entry's own answers.
    ComponentParameters version{};
    version.what = kComponentVersionSelect;
    ASSERT_EQ(host.open(OpenWay::Entry), noErr);
    EXPECT_EQ(fakeUnitEntry(&version, host.storage()), 0x10001);
    EXPECT_EQ(fakeUnitEntry(nullptr, host.storage()), kAudio_ParamError);
}

TEST_F(AUUnit, OpeningFailsWithAStatusWhenNoEffectIsMade) {
    const struct {
        decltype(FakeEffect::Config::creation) creation;
        OSStatus status;
    } cases[] = {{FakeEffect::Config::ReturnNull, kAudioUnitErr_FailedInitialization},
                 {FakeEffect::Config::Throw, kAudio_MemFullError}};
    for (const auto& c : cases) {
        FakeEffect::next.creation = c.creation;
        for (OpenWay way : {OpenWay::Factory, OpenWay::Entry}) {
            EXPECT_EQ(host.open(way), c.status);
            EXPECT_FALSE(host.isOpen());
            EXPECT_EQ(host.storage(), nullptr);
        }
    }
}

TEST_F(AUUnit, NamesProgramsAndLatency) {
    FakeEffect::next.numPrograms = 300;
    FakeEffect::next.initialDelay = 441;
    ASSERT_EQ(host.open(), noErr);
    EXPECT_EQ(unit().NumPrograms(), 256u); // the preset table's size
    EXPECT_EQ(text(unit().ParameterName(0)), "Param");
    EXPECT_EQ(text(unit().ParameterName(1)), ""); // '~': hidden
    EXPECT_EQ(text(unit().ParameterName(2)), std::string(254, 'n'));

    Float64 latency = -1;
    EXPECT_EQ(host.get(kAudioUnitProperty_Latency, latency), noErr);
    EXPECT_DOUBLE_EQ(latency, 0.01);
    Float64 tail = 0;
    EXPECT_EQ(host.get(kAudioUnitProperty_TailTime, tail), kAudioUnitErr_InvalidProperty);
    // A rate that is no rate gives no latency rather than infinity or NaN.
    for (double rate : {0.0, std::numeric_limits<double>::quiet_NaN()}) {
        AudioStreamBasicDescription f = canonicalFormat(rate, 2);
        unit().ChangeStreamFormat(kAudioUnitScope_Output, 0, f, f);
        EXPECT_EQ(unit().GetLatency(), 0.0);
    }

    host.setOutputFormat(canonicalFormat(44100, 2));
    ASSERT_EQ(host.initialize(), noErr);
    EXPECT_EQ(text(unit().Preset(0).presetName), "Init");
    EXPECT_EQ(text(unit().Preset(255).presetName), "Other");
}

TEST_F(AUUnit, AcceptsOnlyFloatNonInterleavedMonoOrStereoAtARealRate) {
    ASSERT_EQ(host.open(), noErr);
    auto with = [](auto change) {
        AudioStreamBasicDescription f = canonicalFormat(48000, 2);
        change(f);
        return f;
    };
    const struct {
        const char* what;
        AudioStreamBasicDescription format;
        AudioUnitScope scope;
        OSStatus status;
    } cases[] = {
        {"stereo", with([](auto&) {}), kAudioUnitScope_Output, noErr},
        {"mono", with([](auto& f) { f.mChannelsPerFrame = 1; }), kAudioUnitScope_Output, noErr},
        {"3 channels", with([](auto& f) { f.mChannelsPerFrame = 3; }), kAudioUnitScope_Output,
         kAudioUnitErr_FormatNotSupported},
        {"16-bit", with([](auto& f) {
             f.mFormatFlags = kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked |
                              kAudioFormatFlagIsNonInterleaved;
             f.mBitsPerChannel = 16;
             f.mBytesPerFrame = f.mBytesPerPacket = 2;
         }),
         kAudioUnitScope_Output, kAudioUnitErr_FormatNotSupported},
        {"interleaved", with([](auto& f) {
             f.mFormatFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked;
             f.mBytesPerFrame = f.mBytesPerPacket = 8;
         }),
         kAudioUnitScope_Output, kAudioUnitErr_FormatNotSupported},
        {"rate 0", with([](auto& f) { f.mSampleRate = 0; }), kAudioUnitScope_Output,
         kAudioUnitErr_FormatNotSupported},
        {"rate inf", with([](auto& f) { f.mSampleRate = INFINITY; }), kAudioUnitScope_Output,
         kAudioUnitErr_FormatNotSupported},
        {"input bus", with([](auto&) {}), kAudioUnitScope_Input, kAudioUnitErr_InvalidElement},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(host.set(kAudioUnitProperty_StreamFormat, c.format, c.scope, 0), c.status);
    }
    // A refused format leaves the unit's rate as it was; so does a format
    // change for a scope without buses, asked of the unit directly.
    EXPECT_EQ(unit().SampleRate(), 48000.0);
    const AudioStreamBasicDescription f = canonicalFormat(96000, 2);
    EXPECT_EQ(unit().ChangeStreamFormat(kAudioUnitScope_Global, 0, f, f),
              kAudioUnitErr_InvalidScope);
    EXPECT_EQ(unit().ChangeStreamFormat(kAudioUnitScope_Output, 1, f, f),
              kAudioUnitErr_InvalidElement);
    EXPECT_EQ(unit().SampleRate(), 48000.0);

    // The last accepted format was mono: Initialize wants stereo.
    EXPECT_EQ(host.initialize(), kAudioUnitErr_FormatNotSupported);
    EXPECT_EQ(host.render(64), kAudioUnitErr_Uninitialized);
    ASSERT_EQ(host.setOutputFormat(canonicalFormat(48000, 2)), noErr);
    ASSERT_EQ(host.initialize(), noErr);
    EXPECT_EQ(host.setOutputFormat(canonicalFormat(44100, 2)), kAudioUnitErr_PropertyNotWritable);
}

TEST_F(AUUnit, InitializeResumesAtTheHostsRateAndSliceAndCopiesTheValues) {
    ASSERT_EQ(host.open(), noErr);
    ASSERT_EQ(host.setMaxFrames(512), noErr);
    ASSERT_EQ(host.setOutputFormat(canonicalFormat(48000, 2)), noErr);
    for (int round = 0; round < 2; ++round) {
        fx().log.clear();
        fx().params[9] = 0.125f * (round + 1);
        ASSERT_EQ(host.initialize(), noErr);
        const std::vector<FakeEffect::LogEntry> expected = {{Call::Suspend, 0},
                                                            {Call::SampleRate, 48000},
                                                            {Call::BlockSize, 512},
                                                            {Call::Resume, 0}};
        EXPECT_EQ(fx().log, expected);
        for (AudioUnitParameterID id : {0u, 9u, 1023u}) {
            float value = -1;
            ASSERT_EQ(host.getParameter(id, value), noErr);
            EXPECT_EQ(value, fx().params[id]) << id;
        }
        ASSERT_EQ(host.uninitialize(), noErr); // Cleanup leaves the effect running
    }
    fx().log.clear();
    EXPECT_EQ(host.reset(), noErr);
    EXPECT_EQ(fx().log, (std::vector<FakeEffect::LogEntry>{{Call::Suspend, 0}, {Call::Resume, 0}}));

    // The host's parameter writes reach both copies.
    EXPECT_EQ(host.setParameter(4, 0.75f), noErr);
    EXPECT_EQ(fx().params[4], 0.75f);
    EXPECT_EQ(host.setParameter(1024, 0.5f), kAudioUnitErr_InvalidParameter);
    UInt32 count = 0;
    UInt32 size = 0;
    EXPECT_EQ(host.getPropertyInfo(kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0,
                                   &size, nullptr),
              noErr);
    EXPECT_EQ(size, 1024u * 4u);
    EXPECT_EQ(host.get(kAudioUnitProperty_ElementCount, count, kAudioUnitScope_Output), noErr);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(host.get(kAudioUnitProperty_ElementCount, count, kAudioUnitScope_Input), noErr);
    EXPECT_EQ(count, 0u);
}

// A host's maximum slice beyond the unit's limit (it would ask for buffers
// of billions of frames at Initialize) is refused and the one before kept; a
// unit that sets such a maximum itself is not initialised.
TEST_F(AUUnit, RefusesAMaximumSliceBeyondItsLimit) {
    constexpr UInt32 kLimit = AUBase::kMaxFramesPerSliceLimit;
    static_assert(kLimit >= 8192);
    constexpr OSStatus kRefused = kAudioUnitErr_InvalidPropertyValue;
    const std::pair<UInt32, OSStatus> rows[] = {{0, kRefused},          {1, noErr},
                                                {8192, noErr},          {kLimit, noErr},
                                                {kLimit + 1, kRefused}, {4'000'000'000u, kRefused},
                                                {0xFFFFFFFFu, kRefused}};
    ASSERT_EQ(host.open(), noErr);
    ASSERT_EQ(host.setOutputFormat(canonicalFormat(44100, 2)), noErr);
    for (const auto& [frames, status] : rows) {
        SCOPED_TRACE(frames);
        ASSERT_EQ(host.setMaxFrames(512), noErr);
        fx().log.clear();
        ASSERT_EQ(host.setMaxFrames(frames), status);
        const UInt32 kept = status == noErr ? frames : 512;
        UInt32 now = 0;
        EXPECT_EQ(host.get(kAudioUnitProperty_MaximumFramesPerSlice, now), noErr);
        EXPECT_EQ(now, kept);
        EXPECT_TRUE(status == noErr || fx().log.empty()); // a refused one never reached the effect
        ASSERT_EQ(host.initialize(), noErr);
        EXPECT_EQ(host.render(kept, 0, true), noErr); // in the unit's own buffers
        EXPECT_EQ(host.render(kept + 1), kAudioUnitErr_TooManyFramesToProcess);
        ASSERT_EQ(host.uninitialize(), noErr);
    }
    ASSERT_EQ(unit().SetMaxFramesPerSlice(4'000'000'000u), noErr);
    fx().log.clear();
    EXPECT_EQ(host.initialize(), kAudioUnitErr_FailedInitialization);
    EXPECT_FALSE(unit().IsInitialized());
    EXPECT_TRUE(fx().log.empty());
}

TEST_F(AUUnit, HostCallbackAnswers) {
    ASSERT_EQ(host.open(), noErr);
    char vendor[64] = {};
    char product[64] = {};
    const struct {
        const char* what;
        VstInt32 opcode;
        const void* ptr;
        VstIntPtr answer;
    } rows[] = {
        {"version", audioMasterVersion, nullptr, 0x10001},
        {"id", audioMasterCurrentId, nullptr, vstFourCC('O', 'N', 'D', 'P')},
        {"rate", audioMasterGetSampleRate, nullptr, 44100},
        {"block", audioMasterGetBlockSize, nullptr, AUBase::kDefaultMaxFramesPerSlice},
        {"supplyIdle", audioMasterCanDo, "supplyIdle", 1},
        {"sendVstTimeInfo", audioMasterCanDo, "sendVstTimeInfo", 1},
        {"sizeWindow", audioMasterCanDo, "sizeWindow", 0},
        {"unlisted", audioMasterCanDo, "supplyIdleX", 0},
        {"vendor", audioMasterGetVendorString, vendor, 1},
        {"product", audioMasterGetProductString, product, 1},
        {"product, no buffer", audioMasterGetProductString, nullptr, 0},
        {"file selector", audioMasterOpenFileSelector, nullptr, 0},
        {"negative opcode", -1, nullptr, 0},
        {"wants MIDI", audioMasterWantMidi, nullptr, 0},
        {"update display", audioMasterUpdateDisplay, nullptr, 1},
    };
    for (const auto& r : rows)
        EXPECT_EQ(master(r.opcode, 0, const_cast<void*>(r.ptr)), r.answer) << r.what;
    EXPECT_STREQ(vendor, "QVTZ");
    EXPECT_STREQ(product, "Default");
    EXPECT_NE(master(audioMasterGetDirectory), 0);

    // Without a unit (the effect still being built).
    EXPECT_EQ(AUPLUGINAudioMasterCallback(nullptr, audioMasterGetSampleRate, 0, 0, nullptr, 0),
              44100);
    EXPECT_EQ(AUPLUGINAudioMasterCallback(nullptr, audioMasterGetBlockSize, 0, 0, nullptr, 0),
              1024);
    EXPECT_EQ(AUPLUGINAudioMasterCallback(nullptr, audioMasterAutomate, 5, 0, nullptr, 0.25f), 1);
}

// Once the host says it renders offline, the effect hears so on every thread
// (the unit cannot tell which thread is which), and nothing before or after.
TEST_F(AUUnit, OfflineRenderIsTheProcessLevelOfEveryThread) {
    openInitialised();
    UInt32 size = 0;
    Boolean writable = false;
    EXPECT_EQ(host.getPropertyInfo(kAudioUnitProperty_OfflineRender, kAudioUnitScope_Global, 0,
                                   &size, &writable),
              noErr);
    EXPECT_EQ(size, sizeof(UInt32));
    EXPECT_TRUE(writable);
    const struct {
        std::optional<UInt32> set; // none: as the unit starts
        UInt32 reads;
        VstInt32 level;
    } steps[] = {{std::nullopt, 0, kVstProcessLevelUnknown},
                 {1, 1, kVstProcessLevelOffline},
                 {0, 0, kVstProcessLevelUnknown},
                 {7, 1, kVstProcessLevelOffline}};
    for (const auto& s : steps) {
        SCOPED_TRACE(s.set ? int(*s.set) : -1);
        if (s.set) {
            ASSERT_EQ(host.set(kAudioUnitProperty_OfflineRender, *s.set), noErr);
        }
        UInt32 on = 99;
        EXPECT_EQ(host.get(kAudioUnitProperty_OfflineRender, on), noErr);
        EXPECT_EQ(on, s.reads);
        EXPECT_EQ(fx().getCurrentProcessLevel(), s.level);
        std::thread([&] { EXPECT_EQ(host.render(64), noErr); }).join();
        EXPECT_EQ(fx().processLevel, s.level);
    }
    EXPECT_EQ(host.set(kAudioUnitProperty_OfflineRender, UInt32(0), kAudioUnitScope_Output),
              kAudioUnitErr_InvalidScope);
    EXPECT_EQ(host.set(kAudioUnitProperty_OfflineRender, UInt16(0)),
              kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(fx().getCurrentProcessLevel(), kVstProcessLevelOffline);
    EXPECT_EQ(
        AUPLUGINAudioMasterCallback(nullptr, audioMasterGetCurrentProcessLevel, 0, 0, nullptr, 0),
        kVstProcessLevelUnknown);
}

TEST_F(AUUnit, AutomationReachesTheUnitAndTheListeners) {
    ASSERT_EQ(host.open(), noErr);
    const struct {
        VstInt32 index;
        float effectHolds; // set on the effect first, as setParameterAutomated does
        float sent;
        float unitReads;
        size_t events;
    } rows[] = {
        {5, 0.25f, 0.25f, 0.25f, 1},
        {7, 1.7f, 1.7f, 1.0f, 1}, // the effect limits the value: the host reads that
        {-1, 0.5f, 0.5f, 0.0f, 0},
        {1024, 0.5f, 0.5f, 0.0f, 0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.index);
        host.clearEvents();
        fx().setParameter(r.index, r.effectHolds);
        EXPECT_EQ(master(audioMasterAutomate, r.index, nullptr, r.sent), 1);
        const auto events = host.events();
        ASSERT_EQ(events.size(), r.events);
        if (r.events == 0) continue;
        float value = -1;
        EXPECT_EQ(host.getParameter(AudioUnitParameterID(r.index), value), noErr);
        EXPECT_EQ(value, r.unitReads);
        const AudioUnitParameter& p = events[0].mArgument.mParameter;
        EXPECT_EQ(events[0].mEventType, kAudioUnitEvent_ParameterValueChange);
        EXPECT_EQ(p.mAudioUnit, host.instance());
        EXPECT_EQ(p.mParameterID, AudioUnitParameterID(r.index));
        EXPECT_EQ(p.mScope, kAudioUnitScope_Global);
        EXPECT_EQ(p.mElement, 0u);
    }
    // A gesture from the effect arrives as begin, value, end.
    host.clearEvents();
    fx().beginEdit(3);
    fx().setParameterAutomated(3, 0.5f);
    fx().endEdit(3);
    const auto events = host.events();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].mEventType, kAudioUnitEvent_BeginParameterChangeGesture);
    EXPECT_EQ(events[1].mEventType, kAudioUnitEvent_ParameterValueChange);
    EXPECT_EQ(events[2].mEventType, kAudioUnitEvent_EndParameterChangeGesture);
}

TEST_F(AUUnit, BypassFastDispatchAndSysExProperties) {
    ASSERT_EQ(host.open(), noErr);
    EXPECT_EQ(host.sysEx({0xF0, 0x7E, 0xF7}), kAudioUnitErr_Uninitialized);
    ASSERT_EQ(host.setOutputFormat(canonicalFormat(44100, 2)), noErr);
    ASSERT_EQ(host.initialize(), noErr);
    EXPECT_EQ(host.sysEx({0xF0, 0x7E, 0xF7}), noErr);
    ASSERT_EQ(host.listen(kAudioUnitProperty_BypassEffect), noErr);

    const UInt16 tooSmall = 1;
    EXPECT_EQ(host.set(kAudioUnitProperty_BypassEffect, tooSmall),
              kAudioUnitErr_InvalidPropertyValue);
    fx().log.clear();
    EXPECT_EQ(host.set(kAudioUnitProperty_BypassEffect, UInt32(7)), noErr);
    UInt32 on = 0;
    EXPECT_EQ(host.get(kAudioUnitProperty_BypassEffect, on), noErr);
    EXPECT_EQ(on, 1u);
    EXPECT_TRUE(fx().log.empty());
    EXPECT_EQ(host.set(kAudioUnitProperty_BypassEffect, UInt32(0)), noErr);
    // Heard again: the effect starts clean.
    EXPECT_EQ(fx().log, (std::vector<FakeEffect::LogEntry>{{Call::Suspend, 0}, {Call::Resume, 0}}));
    EXPECT_EQ(host.propertyCalls.size(), 2u);

    for (AudioUnitElement element : {AudioUnitElement(kMusicDeviceMIDIEventSelect), 0u, 0x102u}) {
        MusicDeviceMIDIEventProc proc = nullptr;
        UInt32 size = sizeof proc;
        const OSStatus status = host.getProperty(kAudioUnitProperty_FastDispatch,
                                                 kAudioUnitScope_Global, element, &proc, &size);
        EXPECT_EQ(status,
                  element == kMusicDeviceMIDIEventSelect ? noErr : kAudioUnitErr_InvalidElement);
    }
    EXPECT_EQ(AUPLUGINMIDIEvent(nullptr, 0x90, 60, 100, 0), kAudio_ParamError);
}

// The size of a list property is counted in 64 bits: a count whose bytes
// do not fit the UInt32 a size is given in is refused rather than given as
// the few bytes left after the cut.
TEST(AUBaseSizes, ListPropertiesTooLargeForTheirSizeAreRefused) {
    struct HugeLists : AUBase {
        HugeLists() : AUBase(nullptr, 0, 1) {}
        UInt32 count = 0;
        OSStatus GetParameterList(AudioUnitScope, AudioUnitParameterID*, UInt32& n) override {
            n = count;
            return noErr;
        }
        UInt32 SupportedNumChannels(const AUChannelInfo** infos) override {
            if (infos) *infos = nullptr;
            return count;
        }
    } unit;
    const struct {
        UInt32 count;
        OSStatus status;
        UInt32 parameterBytes, channelBytes;
    } rows[] = {
        {3, noErr, 12, 12},
        {(1u << 30) - 1, noErr, 0xFFFFFFFC, 0xFFFFFFFC},
        {1u << 30, kAudioUnitErr_InvalidPropertyValue, 0, 0}, // 2^32 bytes: 0 in 32 bits
        {(1u << 30) + 1, kAudioUnitErr_InvalidPropertyValue, 0, 0},
        {0xFFFFFFFF, kAudioUnitErr_InvalidPropertyValue, 0, 0},
    };
    static_assert(sizeof(AUChannelInfo) == 4 && sizeof(AudioUnitParameterID) == 4);
    for (const auto& r : rows) {
        SCOPED_TRACE(r.count);
        unit.count = r.count;
        UInt32 size = 0;
        Boolean writable = false;
        EXPECT_EQ(unit.DispatchGetPropertyInfo(kAudioUnitProperty_ParameterList,
                                               kAudioUnitScope_Global, 0, &size, &writable),
                  r.status);
        EXPECT_EQ(size, r.parameterBytes);
        size = 0;
        EXPECT_EQ(unit.DispatchGetPropertyInfo(kAudioUnitProperty_SupportedNumChannels,
                                               kAudioUnitScope_Global, 0, &size, &writable),
                  r.status);
        EXPECT_EQ(size, r.channelBytes);
    }
}
