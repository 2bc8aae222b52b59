// ondix.so loaded with dlopen and driven only through its entry and the
// AEffect record, the way a Linux host does.

#include "core/tags.h"
#include "support/allocation_watch.h"
#include "vst2/vst2.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <clocale>
#include <cstring>
#include <string>
#include <thread>
#include <utility>

namespace {

using EntryProc = AEffect* (*)(audioMasterCallback);

std::string gProduct;
VstIntPtr gVersion = 2400;
int gAutomateCalls = 0;

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float) {
    switch (opcode) {
    case audioMasterVersion:
        return gVersion;
    case audioMasterGetProductString:
        if (gProduct.empty() || !ptr) return 0;
        std::strcpy(static_cast<char*>(ptr), gProduct.c_str());
        return 1;
    case audioMasterAutomate:
        ++gAutomateCalls;
        return 1;
    default:
        return 0;
    }
}

class BinaryInterface : public ::testing::Test {
protected:
    void SetUp() override {
        handle = dlopen(ONDIX_SO_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle, nullptr) << dlerror();
        entry = reinterpret_cast<EntryProc>(dlsym(handle, "VSTPluginMain"));
        ASSERT_NE(entry, nullptr);
        gProduct.clear();
        gVersion = 2400;
        gAutomateCalls = 0;
    }
    void TearDown() override {
        if (handle) dlclose(handle);
    }
    AEffect* open() {
        AEffect* e = entry(hostCallback);
        if (e) e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
        return e;
    }
    static void close(AEffect* e) { EXPECT_EQ(e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f), 1); }
    static std::string text(AEffect* e, VstInt32 op, VstInt32 index = 0) {
        char buffer[256] = {};
        e->dispatcher(e, op, index, 0, buffer, 0.0f);
        return buffer;
    }

    void* handle = nullptr;
    EntryProc entry = nullptr;
};

} // namespace

TEST_F(BinaryInterface, ExportsTheThreeEntryNamesAsOneFunction) {
    void* macho = dlsym(handle, "main_macho");
    void* vstMain = dlsym(handle, "VSTPluginMain");
    void* legacy = dlsym(handle, "main");
    ASSERT_NE(macho, nullptr);
    ASSERT_NE(legacy, nullptr);
    // Each name leads to a working entry.
    for (void* sym : {macho, vstMain, legacy}) {
        AEffect* e = reinterpret_cast<EntryProc>(sym)(hostCallback);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->magic, kEffectMagic);
        close(e);
    }
    // Internals stay hidden.
    EXPECT_EQ(dlsym(handle, "ondixPluginEntry"), nullptr);
}

TEST_F(BinaryInterface, VersionZeroHostGetsNothing) {
    gVersion = 0;
    EXPECT_EQ(entry(hostCallback), nullptr);
}

TEST_F(BinaryInterface, FactsParametersAndSilentRendering) {
    gProduct = "REAPER";
    AEffect* e = open();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->uniqueID, vstFourCC('O', 'N', 'D', 'P'));
    EXPECT_EQ(e->flags, 0x131);
    EXPECT_EQ(e->numParams, 1024);
    EXPECT_EQ(text(e, effGetEffectName), "Ondix");
    EXPECT_EQ(text(e, effGetVendorString), "Haldmer");
    EXPECT_EQ(e->dispatcher(e, effGetVstVersion, 0, 0, nullptr, 0.0f), 2400);
    EXPECT_EQ(e->dispatcher(e, effGetPlugCategory, 0, 0, nullptr, 0.0f), kPlugCategSynth);

    for (int t = 0; t < e->numParams; ++t) ASSERT_FALSE(text(e, effGetParamName, t).empty()) << t;
    EXPECT_EQ(text(e, effGetParamName, 444), "Arp Step 16 Ratchet");
    EXPECT_EQ(text(e, effGetParamName, 714), "Point 128 Y");
    EXPECT_EQ(text(e, effGetParamName, 970), "Wave 2 Partial 128");
    EXPECT_EQ(text(e, effGetParamName, 1022), "Tuning Name - Char 20");

    // Automation from the host: clamped, switches snap, bad tags ignored.
    e->setParameter(e, 24, 1.5f);
    EXPECT_EQ(e->getParameter(e, 24), 1.0f);
    e->setParameter(e, 80, 0.6f);
    EXPECT_EQ(e->getParameter(e, 80), 1.0f);
    e->setParameter(e, 1024, 0.6f);
    EXPECT_EQ(e->getParameter(e, 1024), 0.0f);
    EXPECT_EQ(e->getParameter(e, -1), 0.0f);
    EXPECT_EQ(gAutomateCalls, 0); // a host's own writes are not echoed

    // Opcodes that write through ptr do nothing with a null pointer.
    for (VstInt32 op : {effGetChunk, effEditGetRect, effGetProgramName, effGetParamDisplay,
                        effGetParamName, effGetParamLabel, effCanDo, effProcessEvents,
                        effGetOutputProperties, effGetEffectName, effGetVendorString})
        EXPECT_EQ(e->dispatcher(e, op, 0, 0, nullptr, 0.0f), 0) << op;

    e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    e->dispatcher(e, effSetBlockSize, 0, 256, nullptr, 0.0f);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
    float inL[256] = {}, inR[256] = {}, outL[256], outR[256];
    std::memset(outL, 0x7f, sizeof outL);
    std::memset(outR, 0x7f, sizeof outR);
    float* ins[2] = {inL, inR};
    float* outs[2] = {outL, outR};
    VstEvents events{};
    std::thread audio([&] { // a host's new audio thread: no heap call from its first block on
        AllocationWatch heap(true); // its own only: the plug-in's worker may start meanwhile
        for (int block = 0; block < 8; ++block) {
            e->dispatcher(e, effProcessEvents, 0, 0, &events, 0.0f);
            e->processReplacing(e, ins, outs, 256);
        }
        EXPECT_EQ(heap.count(), 0);
    });
    audio.join();
    for (int i = 0; i < 256; ++i) ASSERT_EQ(outL[i] + outR[i], 0.0f);
    e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0.0f);
    close(e);
}

// Hosts build their automation lanes by asking effCanBeAutomated for every
// tag, and some cap how many one plug-in gets: Ardour 7 by default gives lanes
// to the first 512 (and one more) that answer 1 and leaves the rest without.
// Every sound and play setting, up to the last tags, must fit under that cap;
// the tags that only hold data or carry commands answer 0.
TEST_F(BinaryInterface, EveryAutomatableParameterFitsUnderAHostsLaneCap) {
    AEffect* e = open();
    ASSERT_NE(e, nullptr);
    auto canAutomate = [e](int t) {
        return e->dispatcher(e, effCanBeAutomated, t, 0, nullptr, 0.0f);
    };
    constexpr int kArdourLaneCap = 512;
    int automatable = 0;
    for (int t = 0; t < e->numParams; ++t) {
        const VstIntPtr answer = canAutomate(t);
        ASSERT_TRUE(answer == 0 || answer == 1) << t;
        automatable += static_cast<int>(answer);
    }
    EXPECT_LE(automatable, kArdourLaneCap);

    const std::pair<int, VstIntPtr> cases[] = {
        {tag::MainVolume, 1},
        {tag::FilterFreq, 1},
        {tag::XYX, 1},
        {tag::ArpKeyEntryOn, 1},
        {tag::PlayMode, 1},
        {tag::slotDest(11), 1},
        {tag::arpStep(tag::RowRatchet, 15), 1},
        {tag::XYLengthMs, 1},
        {tag::WaveShaper1, 1},
        {tag::WaveShaperMode, 1},
        {tag::ExpPartialsOn, 1},
        {tag::MorphWrapOn, 1},
        {tag::OscFreeRunningOn, 1},
        {tag::DontUse, 0},
        {tag::InternalFirst, 0},
        {tag::PresetNameFirst, 0},
        {tag::InternalLast, 0},
        {tag::xyPointX(0), 0},
        {tag::xyPointY(tag::XYPointCount - 1), 0},
        {tag::partial(0, 0), 0},
        {tag::partial(1, tag::PartialCount - 1), 0},
        {tag::WaveHasPresetFirst, 0},
        {tag::waveName(1, tag::UserWaveNameChars - 1), 0},
        {tag::ApplyPreset, 0},
        {tag::TakeOver, 0},
        {tag::Marker, 0},
        {tag::HasTuning, 0},
        {tag::TuningNameLast, 0},
        {tag::Version, 0},
        {-1, 0},
        {tag::Count, 0},
    };
    for (const auto& [t, expected] : cases) EXPECT_EQ(canAutomate(t), expected) << "tag " << t;
    close(e);
}

TEST_F(BinaryInterface, ManyInstancesLiveSideBySide) {
    AEffect* a = open();
    AEffect* b = open();
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    a->setParameter(a, 16, 0.25f);
    EXPECT_EQ(b->getParameter(b, 16), 0.0f);
    EXPECT_EQ(a->getParameter(a, 16), 0.25f);
    close(a);
    EXPECT_EQ(text(b, effGetParamName, 16), "Oscillator Morph Amount");
    close(b);
}
