// The state chunk as each kind of host sees it, and the vendor-specific
// calls: NKS properties for Native Instruments hosts, the mouse wheel for
// the others.

#include "core/aplugin.h"
#include "editor/ueditor.h"
#include "support/fake_host.h"
#include "vstgui/testing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace {

// A plug-in created for a host with the given product and vendor strings.
struct ChunkHost {
    FakeHost host;
    std::unique_ptr<APlugin> plugin;

    explicit ChunkHost(const char* product, const char* vendor = "") {
        host.productString = product;
        host.vendorString = vendor;
        plugin = std::make_unique<APlugin>(FakeHost::callback);
    }

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f) {
        AEffect* e = plugin->getAeffect();
        return e->dispatcher(e, opcode, index, value, ptr, opt);
    }

    // effGetChunk: bank for index 0, preset otherwise. The bytes are copied.
    std::vector<unsigned char> getChunk(bool preset) {
        void* data = nullptr;
        const VstIntPtr size = dispatch(effGetChunk, preset ? 1 : 0, 0, &data);
        if (size <= 0 || !data) return {};
        const auto* bytes = static_cast<const unsigned char*>(data);
        return {bytes, bytes + size};
    }

    VstIntPtr setChunk(const void* data, VstIntPtr size, bool preset) {
        return dispatch(effSetChunk, preset ? 1 : 0, size, const_cast<void*>(data));
    }

    ProgramRecord& store() { return plugin->core.programStore[0]; }
};

ProgramRecord recordWith(float base) {
    ProgramRecord r{};
    for (int t = 0; t < tag::Count; ++t) r.values[t] = base + static_cast<float>(t % 7) * 0.01f;
    std::strcpy(r.name, "Saved");
    return r;
}

bool sameRecord(const ProgramRecord& a, const ProgramRecord& b) {
    return std::memcmp(&a, &b, sizeof(ProgramRecord)) == 0;
}

constexpr VstInt32 nks(std::uint32_t kind, int property) {
    return static_cast<VstInt32>((kind << 16) | static_cast<std::uint32_t>(property));
}
constexpr std::uint32_t kNI = 0x4E49;
constexpr std::uint32_t kNi = 0x4E69;
constexpr VstInt32 kStCA = 0x73744341;
constexpr VstIntPtr kWhee = 0x57686565;

} // namespace

// ------------------------------------------------------------------ chunks

TEST(ChunkExchange, ReaperGetsTheBankAsOneRecordAndNoPresetChunk) {
    ChunkHost h("REAPER");
    h.plugin->setParameter(tag::MainVolume, 0.25f);
    std::strcpy(h.store().name, "Bank");

    const auto bank = h.getChunk(false);
    ASSERT_EQ(bank.size(), 4128u);
    EXPECT_EQ(std::memcmp(bank.data(), h.store().values, 4096), 0);
    float volume = 0.0f;
    std::memcpy(&volume, bank.data() + 4 * tag::MainVolume, 4);
    EXPECT_EQ(volume, 0.25f);
    EXPECT_STREQ(reinterpret_cast<const char*>(bank.data() + 4096), "Bank");

    EXPECT_TRUE(h.getChunk(true).empty());
    void* data = nullptr;
    EXPECT_EQ(h.plugin->getChunk(&data, true), 0);
    EXPECT_EQ(data, nullptr);
}

TEST(ChunkExchange, PropVendorsAlsoGetPresetChunks) {
    ChunkHost h("Reason", "Propellerhead Software");
    EXPECT_EQ(h.getChunk(true).size(), 4128u);
    EXPECT_EQ(h.getChunk(false).size(), 4128u);

    ProgramRecord r = recordWith(0.3f);
    EXPECT_EQ(h.setChunk(&r, sizeof r, true), 1);
    EXPECT_TRUE(sameRecord(h.store(), r));
}

TEST(ChunkExchange, UnknownHostsGetNoChunkAndStoreParameters) {
    ChunkHost h("Bitwig Studio", "Bitwig");
    EXPECT_EQ(h.plugin->getAeffect()->flags & effFlagsProgramChunks, 0);
    EXPECT_TRUE(h.getChunk(false).empty());
    EXPECT_TRUE(h.getChunk(true).empty());

    const ProgramRecord before = h.store();
    ProgramRecord r = recordWith(0.5f);
    EXPECT_EQ(h.setChunk(&r, sizeof r, false), 1); // ignored, still success
    EXPECT_TRUE(sameRecord(h.store(), before));
    EXPECT_FALSE(h.plugin->core.presetPending);

    // The host saves the values one by one instead.
    AEffect* e = h.plugin->getAeffect();
    e->setParameter(e, tag::FilterFreq, 0.375f);
    EXPECT_EQ(e->getParameter(e, tag::FilterFreq), 0.375f);
}

TEST(ChunkExchange, GetThenSetLeavesTheProgramStoreIdentical) {
    ChunkHost h("REAPER");
    h.plugin->setParameter(tag::FilterFreq, 0.123f);
    h.plugin->setStringFromParam("Round Trip", tag::PresetNameFirst, tag::PresetNameLength);
    std::strcpy(h.store().name, "Program");
    const ProgramRecord saved = h.store();
    const auto bank = h.getChunk(false);
    ASSERT_EQ(bank.size(), sizeof(ProgramRecord));

    for (int t = 0; t < tag::Count; ++t) h.store().values[t] = 0.0f;
    std::strcpy(h.store().name, "Other");
    EXPECT_EQ(h.setChunk(bank.data(), static_cast<VstIntPtr>(bank.size()), false), 1);
    EXPECT_TRUE(sameRecord(h.store(), saved));
    // setProgram spread the record into the value copies.
    EXPECT_EQ(h.plugin->getCurrentValue(tag::FilterFreq), 0.123f);
    EXPECT_EQ(h.plugin->getOrigValue(tag::FilterFreq), 0.123f);
}

TEST(ChunkExchange, ShortAndNullChunksAreRefused) {
    ChunkHost h("REAPER");
    const ProgramRecord before = h.store();
    ProgramRecord r = recordWith(0.7f);

    EXPECT_EQ(h.setChunk(&r, sizeof r - 1, false), 0);
    EXPECT_EQ(h.setChunk(&r, 0, false), 0);
    EXPECT_EQ(h.setChunk(nullptr, sizeof r, false), 0);
    EXPECT_EQ(h.plugin->setChunk(nullptr, sizeof r, false), 0);
    EXPECT_EQ(h.plugin->setChunk(&r, 100, false), 0);
    EXPECT_TRUE(sameRecord(h.store(), before));
    EXPECT_FALSE(h.plugin->core.presetPending);

    // A longer chunk: its first record is taken.
    std::vector<unsigned char> longer(sizeof r + 64, 0xEE);
    std::memcpy(longer.data(), &r, sizeof r);
    EXPECT_EQ(h.setChunk(longer.data(), static_cast<VstIntPtr>(longer.size()), false), 1);
    EXPECT_TRUE(sameRecord(h.store(), r));
}

TEST(ChunkExchange, NonFiniteValuesTakeTheBoundTheyPlayAsAndNamesAreBounded) {
    ChunkHost h("REAPER");
    ProgramRecord r = recordWith(0.2f);
    r.values[tag::FilterFreq] = std::numeric_limits<float>::quiet_NaN();
    r.values[tag::MainVolume] = std::numeric_limits<float>::infinity();
    r.values[tag::MainPan] = -std::numeric_limits<float>::infinity();
    r.values[tag::FilterQ] = 1.5f; // finite: kept, readers clamp
    std::memset(r.name, 'x', sizeof r.name);

    EXPECT_EQ(h.setChunk(&r, sizeof r, false), 1);
    const ProgramRecord& s = h.store();
    EXPECT_EQ(s.values[tag::FilterFreq], 0.0f); // not a number plays as 0
    EXPECT_EQ(s.values[tag::MainVolume], 1.0f);
    EXPECT_EQ(s.values[tag::MainPan], 0.0f);
    EXPECT_EQ(s.values[tag::FilterQ], 1.5f);
    EXPECT_EQ(h.plugin->getParameter(tag::FilterQ), 1.0f);
    EXPECT_EQ(h.plugin->getCurrentValue(tag::FilterQ), 1.0f); // as the engine reads it
    EXPECT_EQ(std::strlen(s.name), 31u);
    EXPECT_EQ(s.name[31], '\0');
    for (int t = 0; t < tag::Count; ++t) EXPECT_TRUE(std::isfinite(s.values[t])) << t;

    // What goes back to the host is bounded too.
    const auto bank = h.getChunk(false);
    ASSERT_EQ(bank.size(), 4128u);
    EXPECT_EQ(bank[4096 + 31], 0);
}

TEST(ChunkExchange, KoreBehavesAsReaper) {
    ChunkHost h("Kore Player");
    EXPECT_NE(h.plugin->getAeffect()->flags & effFlagsProgramChunks, 0);
    EXPECT_TRUE(h.plugin->core.host.hostIsReaper);
    EXPECT_EQ(h.getChunk(false).size(), 4128u);
    EXPECT_TRUE(h.getChunk(true).empty());
    ProgramRecord r = recordWith(0.4f);
    EXPECT_EQ(h.setChunk(&r, sizeof r, false), 1);
    EXPECT_TRUE(sameRecord(h.store(), r));
    EXPECT_FALSE(APlugin::detectHost("KOR", nullptr).hostIsReaper);
}

TEST(ChunkExchange, NksHostsExchangeBankChunksThroughTheProgramBuffer) {
    ChunkHost h("Maschine 2");
    void* data = nullptr;
    EXPECT_EQ(h.plugin->getChunk(&data, false), 4128);
    EXPECT_EQ(data, &h.plugin->programChunk);
    EXPECT_TRUE(h.getChunk(true).empty());

    const ProgramRecord before = h.store();
    ProgramRecord r = recordWith(0.6f);
    EXPECT_EQ(h.setChunk(&r, sizeof r, true), 1); // preset chunk: ignored
    EXPECT_TRUE(sameRecord(h.store(), before));
    EXPECT_EQ(h.setChunk(&r, sizeof r, false), 1);
    EXPECT_TRUE(sameRecord(h.store(), r));
}

TEST(ChunkExchange, ARestoredChunkRequestsPresetApplication) {
    ChunkHost h("ondix-host");
    EXPECT_FALSE(h.plugin->core.presetPending);
    ProgramRecord r = recordWith(0.1f);
    EXPECT_EQ(h.setChunk(&r, sizeof r, false), 1);
    EXPECT_TRUE(h.plugin->core.presetPending);
    EXPECT_TRUE(h.plugin->getIsSettingPreset());
}

TEST(ChunkExchange, IgnoredPresetChunkRequestsNothing) {
    ChunkHost h("REAPER");
    ProgramRecord r = recordWith(0.1f);
    EXPECT_EQ(h.setChunk(&r, sizeof r, true), 1);
    EXPECT_FALSE(h.plugin->core.presetPending);
}

// ------------------------------------------------------------------ vendor-specific calls

TEST(HostVendorNks, PropertyValues) {
    ChunkHost h("MASCHINE 2.1");
    ASSERT_TRUE(h.plugin->core.host.hostIsNKS);

    std::int32_t i32 = -7;
    EXPECT_EQ(h.dispatch(effVendorSpecific, nks(kNI, 12), 0, &i32), 1);
    EXPECT_EQ(i32, 3);
    i32 = -7;
    EXPECT_EQ(h.dispatch(effVendorSpecific, nks(kNI, 13), 0, &i32), 1);
    EXPECT_EQ(i32, 0);
    i32 = -7;
    EXPECT_EQ(h.dispatch(effVendorSpecific, nks(kNI, 28), 0, &i32), 1);
    EXPECT_EQ(i32, -7); // nothing written
    std::int64_t i64 = -7;
    EXPECT_EQ(h.dispatch(effVendorSpecific, nks(kNI, 32), 0, &i64), 1);
    EXPECT_EQ(i64, 1);

    i32 = -7;
    EXPECT_EQ(h.dispatch(effVendorSpecific, nks(kNI, 14), 0, &i32), 0);
    EXPECT_EQ(h.dispatch(effVendorSpecific, nks(kNI, 11), 0, &i32), 0);
    EXPECT_EQ(h.dispatch(effVendorSpecific, nks(kNI, 33), 0, &i32), 0);
    EXPECT_EQ(i32, -7);
    EXPECT_EQ(h.dispatch(effVendorSpecific, nks(kNI, 12), 0, nullptr), 0);
    EXPECT_EQ(h.dispatch(effVendorSpecific, nks(kNI, 32), 0, nullptr), 0);
    EXPECT_EQ(h.dispatch(effVendorSpecific, nks(kNI, 28), 0, nullptr), 1);
    EXPECT_EQ(h.dispatch(effVendorSpecific, nks(0x4B49, 12), 0, &i32), 0);
}

TEST(HostVendorNks, PropertyInformation) {
    ChunkHost h("Komplete Kontrol");
    struct Info {
        std::uint64_t size;
        std::uint8_t writable;
    };
    const struct {
        int property;
        std::uint64_t size;
        bool writable;
    } cases[] = {{12, 4, false}, {13, 4, true}, {28, 1, false}, {32, 8, true}};
    for (const auto& c : cases) {
        Info info{99, 7};
        EXPECT_EQ(h.dispatch(effVendorSpecific, nks(kNi, c.property), 0, &info), 1) << c.property;
        EXPECT_EQ(info.size, c.size) << c.property;
        EXPECT_EQ(info.writable, c.writable ? 1 : 0) << c.property;
        EXPECT_EQ(h.dispatch(effVendorSpecific, nks(kNi, c.property), 0, nullptr), 1);
    }
    Info info{99, 7};
    EXPECT_EQ(h.dispatch(effVendorSpecific, nks(kNi, 14), 0, &info), 0);
    EXPECT_EQ(h.dispatch(effVendorSpecific, nks(kNi, 40), 0, &info), 0);
    EXPECT_EQ(info.size, 99u);
    EXPECT_EQ(info.writable, 7);

    // The auxiliaries answer the same.
    std::uint64_t size = 0;
    bool writable = false;
    EXPECT_EQ(h.plugin->getVendorSpecificPropertyInfo(32, size, writable), 1);
    EXPECT_EQ(size, 8u);
    EXPECT_TRUE(writable);
    EXPECT_EQ(h.plugin->getVendorSpecificPropertyInfo(20, size, writable), 0);
    EXPECT_EQ(h.plugin->setVendorSpecificProperty(13, &size, 4), 0);

    // The wheel is not answered for an NKS host.
    EXPECT_EQ(h.dispatch(effVendorSpecific, kStCA, kWhee, nullptr, 1.0f), 0);
}

TEST(HostVendorNks, NotificationNeedsTheHostsCallbacks) {
    ChunkHost h("MASCHINE 2");
    EXPECT_FALSE(h.plugin->notifyNKSHost(1, nullptr, 0));
    h.host.canDo["NIMKPIVendorSpecificCallbacks"] = 1;
    h.host.answers[audioMasterVendorSpecific] = 1;
    h.host.clearLog();
    EXPECT_TRUE(h.plugin->notifyNKSHost(5, nullptr, 16));
    const auto call = h.host.last(audioMasterVendorSpecific);
    ASSERT_TRUE(call.has_value());
    EXPECT_EQ(static_cast<std::uint32_t>(call->index), (0x4B49u << 16) | 5u);
    EXPECT_EQ(call->value, 16);
}

namespace {

// A plug-in whose editor has been taken away.
class EditorlessPlugin : public APlugin {
public:
    using APlugin::APlugin;
    void dropEditor() {
        AEffEditor* ui = editor;
        setEditor(nullptr);
        delete ui;
    }
};

} // namespace

namespace {

// Sits in the editor's frame and records the wheel.
class WheelProbe : public VSTGUI::CView {
public:
    WheelProbe() : CView(VSTGUI::CRect(100, 100, 200, 200)) {}
    bool onWheel(const VSTGUI::CPoint& where, const float& distance,
                 const VSTGUI::CButtonState&) override {
        distances.push_back(distance);
        lastWhere = where;
        return true;
    }
    std::vector<float> distances;
    VSTGUI::CPoint lastWhere;
};

} // namespace

TEST(HostVendorWheel, ReachesTheViewUnderTheMouse) {
    ChunkHost h("REAPER");
    uEditor* ui = h.plugin->getUEditor();
    ASSERT_NE(ui, nullptr);
    // A closed editor takes no wheel.
    EXPECT_EQ(h.dispatch(effVendorSpecific, kStCA, kWhee, nullptr, 1.0f), 0);

    ASSERT_EQ(h.dispatch(effEditOpen, 0, 0, nullptr), 1);
    VSTGUI::CFrame* frame = ui->frameForTests();
    ASSERT_NE(frame, nullptr);
    // The editor's screens take views out of the frame without releasing
    // them, so the probe's one reference stays with the test.
    auto* probe = new WheelProbe;
    frame->addView(probe);
    VSTGUI::Testing::mouseMove(frame, VSTGUI::CPoint(150, 120), 0);

    EXPECT_EQ(h.dispatch(effVendorSpecific, kStCA, kWhee, nullptr, 1.0f), 1);
    EXPECT_EQ(h.dispatch(effVendorSpecific, kStCA, kWhee, nullptr, -2.0f), 1);
    EXPECT_EQ(probe->distances, (std::vector<float>{1.0f, -2.0f}));
    EXPECT_EQ(probe->lastWhere, VSTGUI::CPoint(150, 120));

    // Away from the probe nothing takes it.
    VSTGUI::Testing::mouseMove(frame, VSTGUI::CPoint(10, 10), 0);
    EXPECT_EQ(h.dispatch(effVendorSpecific, kStCA, kWhee, nullptr, 1.0f), 0);
    EXPECT_EQ(probe->distances.size(), 2u);

    // Other codes and NKS calls answer 0 here.
    VSTGUI::Testing::mouseMove(frame, VSTGUI::CPoint(150, 120), 0);
    EXPECT_EQ(h.dispatch(effVendorSpecific, kStCA, 0x57686566, nullptr, 1.0f), 0);
    std::int32_t i32 = -7;
    EXPECT_EQ(h.dispatch(effVendorSpecific, nks(kNI, 12), 0, &i32), 0);
    EXPECT_EQ(i32, -7);
    EXPECT_EQ(probe->distances.size(), 2u);

    h.dispatch(effEditClose);
    probe->forget();
}

TEST(HostVendorWheel, AbsentEditorAnswersZero) {
    FakeHost host;
    auto plugin = std::make_unique<EditorlessPlugin>(FakeHost::callback);
    plugin->dropEditor();
    EXPECT_EQ(plugin->getUEditor(), nullptr);
    EXPECT_EQ(plugin->vendorSpecific(kStCA, kWhee, nullptr, 1.0f), 0);
}
