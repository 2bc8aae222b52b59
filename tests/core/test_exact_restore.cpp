// A saved state comes back exactly: through the state chunk, and through a
// host that saves the values one by one and writes tag 997 when it restores
// them. Exact also after the audio thread has applied what was restored.

#include "support/plugin_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <random>
#include <thread>
#include <vector>

namespace {

// A state a session may hold, made from the start-up record.
struct SavedState {
    const char* name;
    std::function<void(const APlugin&, ProgramRecord&)> make;
};

float stepValue(const APlugin& p, int t, int step) {
    return ParamTable::stepToValue(step, p.getSteppedRange(t));
}

// Every value at random, each as the plug-in could store it.
void randomValues(const APlugin& p, ProgramRecord& r) {
    std::mt19937 rng(1013);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (int t = 0; t < tag::Count; ++t) {
        const int steps = p.getSteppedNum(t);
        if (p.meta().isSwitch[t])
            r.values[t] = (rng() & 1) != 0 ? 1.0f : 0.0f;
        else if (steps > 0)
            r.values[t] = std::min(stepValue(p, t, static_cast<int>(rng() % steps)), 1.0f);
        else
            r.values[t] = unit(rng);
    }
    std::strcpy(r.name, "Random");
}

const SavedState kStates[] = {
    {"start-up values (Arp Number of Steps stored as 1.00667)",
     [](const APlugin&, ProgramRecord&) {}},
    {"latch, key entry, XY recording and the pad's MIDI position",
     [](const APlugin& p, ProgramRecord& r) {
         r.values[tag::ArpLatchOn] = 1.0f;
         r.values[tag::ArpKeyEntryOn] = 1.0f;
         r.values[tag::XYRecordMode] = stepValue(p, tag::XYRecordMode, 1);
         r.values[tag::XYMidiX] = 0.8f;
         r.values[tag::XYMidiY] = 0.15f;
     }},
    {"arpeggiator play mode with the arp switch off",
     [](const APlugin& p, ProgramRecord& r) {
         r.values[tag::PlayMode] = stepValue(p, tag::PlayMode, 8);
         r.values[tag::ArpOn] = 0.0f;
     }},
    {"every value at random", randomValues},
};

// The audio thread applies what was restored; then a few slow ticks more.
void renderPastTheApplication(PluginHarness& h) {
    for (int guard = 0; guard < 64 && h.p().core.presetPending; ++guard) h.render(512);
    ASSERT_FALSE(h.p().core.presetPending);
    h.renderIn(3 * 4096, 512);
}

// Where the bank chunk the plug-in hands out differs from the saved record:
// the first tag whose bits differ, tag::Count for the name, -1 for nowhere,
// -2 when there is no chunk of the right size.
int firstDifference(APlugin& p, const ProgramRecord& saved) {
    void* data = nullptr;
    if (p.getChunk(&data, false) != static_cast<VstInt32>(sizeof saved) || !data) return -2;
    const auto* chunk = static_cast<const ProgramRecord*>(data);
    for (int t = 0; t < tag::Count; ++t)
        if (std::memcmp(&chunk->values[t], &saved.values[t], sizeof(float)) != 0) return t;
    return std::memcmp(chunk->name, saved.name, sizeof saved.name) == 0 ? -1 : tag::Count;
}

} // namespace

TEST(ExactRestore, ChunkComesBackBitForBitAlsoAfterTheApplication) {
    for (const SavedState& state : kStates) {
        SCOPED_TRACE(state.name);
        PluginHarness h;
        h.p().core.host.hostIsOwn = true; // a host that saves chunks
        ProgramRecord saved = h.p().core.programStore[0];
        state.make(h.p(), saved);

        ASSERT_EQ(h.p().setChunk(&saved, sizeof saved, false), 1);
        EXPECT_EQ(firstDifference(h.p(), saved), -1) << "before the audio thread ran";
        renderPastTheApplication(h);
        EXPECT_EQ(firstDifference(h.p(), saved), -1) << "after the application";
        for (int t = 0; t < tag::Count; ++t)
            ASSERT_EQ(h.p().getCurrentValue(t), saved.values[t]) << "what the engine reads, " << t;
        EXPECT_FALSE(h.p().getEditChanged());
    }
}

TEST(ExactRestore, ValueByValueRestoreWithTag997KeepsEveryValue) {
    for (const SavedState& state : kStates) {
        SCOPED_TRACE(state.name);
        // What a host without chunks saved: every value as getParameter gives it.
        std::vector<float> saved(tag::Count);
        {
            PluginHarness source;
            ProgramRecord& r = source.p().core.programStore[0];
            state.make(source.p(), r);
            AEffect* e = source.effect();
            for (int t = 0; t < tag::Count; ++t) saved[t] = e->getParameter(e, t);
        }

        // The host restores them in tag order, tag 997 among them.
        PluginHarness h;
        AEffect* e = h.effect();
        for (int t = 0; t < tag::Count; ++t) e->setParameter(e, t, saved[t]);
        ASSERT_TRUE(h.p().core.presetPending);
        renderPastTheApplication(h);
        for (int t = 0; t < tag::Count; ++t) EXPECT_EQ(e->getParameter(e, t), saved[t]) << t;
    }
}

// The host restores states on its main thread while the audio thread plays:
// the program name, the pick-up state and the value copies are shared, and
// the last state restored is the one that stays, exactly.
TEST(ExactRestore, RestoresWhileTheAudioThreadPlaysEndWithTheLastState) {
    PluginHarness h;
    h.p().core.host.hostIsOwn = true;
    std::strcpy(h.p().presetNames[h.p().presetCount++].data(), "Other");
    ProgramRecord first = h.p().core.programStore[0];
    ProgramRecord second = first;
    kStates[1].make(h.p(), second);
    second.values[tag::ArpKeyEntryOn] = 0.0f; // notes would edit the arpeggiator's grid
    second.values[tag::PlayMode] = stepValue(h.p(), tag::PlayMode, 2);
    h.p().setStringFromParam("Other", tag::PresetNameFirst, tag::PresetNameLength);
    for (int t = tag::PresetNameFirst; t < tag::PresetNameFirst + tag::PresetNameLength; ++t)
        second.values[t] = h.p().core.programStore[0].values[t];

    std::atomic<bool> finished{false};
    std::thread audio([&] {
        for (int block = 0; block < 600; ++block) {
            if (block % 8 == 0) h.send(EventBlock().noteOn(3, 60 + block % 24));
            if (block % 8 == 5) h.send(EventBlock().noteOff(0, 60 + (block - 5) % 24));
            h.render(64);
        }
        finished.store(true);
    });
    char name[64] = {};
    for (int i = 0; !finished.load(); ++i) {
        ProgramRecord& r = i % 2 == 0 ? first : second;
        EXPECT_EQ(h.p().setChunk(&r, sizeof r, false), 1);
        h.p().getProgramName(name);
    }
    audio.join();
    ASSERT_EQ(h.p().setChunk(&second, sizeof second, false), 1);

    renderPastTheApplication(h);
    EXPECT_EQ(firstDifference(h.p(), second), -1);
    h.p().getProgramName(name);
    EXPECT_STREQ(name, "Other");
}
