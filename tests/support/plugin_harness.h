// An in-process host for engine tests: one FakeHost, one APlugin created the
// way a host creates it, MIDI handed over in VstEvents blocks and audio pulled
// with processReplacing, exactly as a host does.
//
//     PluginHarness h;                       // FakeHost + APlugin, fixed seed
//     h.send(EventBlock().noteOn(0, 60));    // processEvents
//     h.render(64);                          // processReplacing, one block
//     EXPECT_TRUE(h.voice(0).gate);
//
// Every sample that render() writes is checked: maxAbs and allFinite tell
// whether the output ever left the limit or became NaN.
#pragma once

#include "core/aplugin.h"
#include "support/fake_host.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

// A block of events as a host hands it to processEvents. VstEvents declares
// only two event pointers; the block is built in storage with room for as many
// as it holds. The pointers stay valid until the block is changed.
class EventBlock {
public:
    EventBlock& midi(int offset, int status, int d1 = 0, int d2 = 0) {
        VstMidiEvent e{};
        e.type = kVstMidiType;
        e.byteSize = sizeof(VstMidiEvent);
        e.deltaFrames = offset;
        e.midiData[0] = static_cast<char>(status);
        e.midiData[1] = static_cast<char>(d1);
        e.midiData[2] = static_cast<char>(d2);
        entries.push_back({e, false});
        return *this;
    }
    EventBlock& noteOn(int offset, int note, int velocity = 100, int channel = 0) {
        return midi(offset, 0x90 | channel, note, velocity);
    }
    EventBlock& noteOff(int offset, int note, int channel = 0, int velocity = 64) {
        return midi(offset, 0x80 | channel, note, velocity);
    }
    EventBlock& cc(int offset, int controller, int value, int channel = 0) {
        return midi(offset, 0xB0 | channel, controller, value);
    }
    // 14-bit bend value, 0x2000 is the centre.
    EventBlock& bend(int offset, int value, int channel = 0) {
        return midi(offset, 0xE0 | channel, value & 127, (value >> 7) & 127);
    }
    // A system-exclusive record (its payload does not matter here).
    EventBlock& sysex(int offset) {
        midi(offset, 0xF0, 0x7E, 0x7F);
        entries.back().event.type = kVstSysExType;
        return *this;
    }
    // A null pointer in the list.
    EventBlock& null() {
        entries.push_back({VstMidiEvent{}, true});
        return *this;
    }

    int size() const { return static_cast<int>(entries.size()); }

    VstEvents* get() {
        const std::size_t pointers = entries.size() < 2 ? 2 : entries.size();
        storage.assign(2 + pointers, nullptr); // numEvents + reserved, then the pointers
        auto* block = reinterpret_cast<VstEvents*>(storage.data());
        block->numEvents = size();
        block->reserved = 0;
        VstEvent** list = reinterpret_cast<VstEvent**>(storage.data() + 2);
        for (std::size_t i = 0; i < entries.size(); ++i)
            list[i] = entries[i].isNull ? nullptr : reinterpret_cast<VstEvent*>(&entries[i].event);
        return block;
    }

private:
    struct Entry {
        VstMidiEvent event;
        bool isNull;
    };
    static_assert(offsetof(VstEvents, events) == 2 * sizeof(void*));
    std::vector<Entry> entries;
    std::vector<void*> storage;
};

class PluginHarness {
public:
    // With `settle`, silent frames are rendered first, so that the host's
    // transport start (which restarts every envelope), the first refresh of
    // the cached modes and the first wave-table rebuild (during which the
    // voices are silent and still) lie behind the test. The sample counter is
    // then a multiple of 256, which keeps every tick of the schedule at the
    // same phase as at 0.
    explicit PluginHarness(std::uint32_t seed = 0x5EED, bool settle = true) {
        host.calls.reserve(kLogCapacity);
        plugin = std::make_unique<APlugin>(FakeHost::callback);
        plugin->engine.random.setSeed(seed);
        host.clearLog();
        if (settle) settle_();
    }

    // Renders in steps of 256 frames until no wave-table rebuild is
    // requested or running.
    void settle_() {
        render(256);
        for (int guard = 0; guard < 256; ++guard) {
            const bool busy =
                plugin->waves.rebuildRequested.load() || plugin->tableRebuildRunning();
            if (!busy) break;
            render(256);
        }
    }
    ~PluginHarness() { plugin.reset(); }
    PluginHarness(const PluginHarness&) = delete;
    PluginHarness& operator=(const PluginHarness&) = delete;

    APlugin& p() { return *plugin; }
    EngineState& engine() { return plugin->engine; }
    VoiceState& voice(int v) { return plugin->engine.voices[v]; }
    AEffect* effect() { return plugin->getAeffect(); }

    VstInt32 send(EventBlock& block) { return plugin->processEvents(block.get()); }
    VstInt32 send(EventBlock&& block) { return send(block); }

    // One block of `frames` through the effect's processReplacing entry, with
    // the inputs in inL and inR (silent unless a test fills them).
    void render(int frames) {
        if (host.logSize() > kLogCapacity / 2) host.clearLog(); // keeps its capacity
        if (static_cast<int>(left.size()) < frames) {
            left.resize(frames);
            right.resize(frames);
            inL.resize(frames);
            inR.resize(frames);
        }
        float* in[2] = {inL.data(), inR.data()};
        float* out[2] = {left.data(), right.data()};
        AEffect* e = effect();
        e->processReplacing(e, in, out, frames);
        check(frames);
    }
    // `frames` frames in blocks of at most `block`.
    void renderIn(int frames, int block) {
        while (frames > 0) {
            const int n = frames < block ? frames : block;
            render(n);
            frames -= n;
        }
    }
    // Renders until the sample counter is a multiple of `m` (at most m - 1 frames).
    void alignTo(int m) {
        while (counter() % static_cast<std::uint64_t>(m) != 0) render(1);
    }

    // Pushes the last rendered block's samples through the output checks.
    void check(int frames) {
        for (int i = 0; i < frames; ++i)
            for (float x : {left[i], right[i]}) {
                if (!std::isfinite(x))
                    allFinite = false;
                else if (std::fabs(x) > maxAbs)
                    maxAbs = std::fabs(x);
            }
    }

    std::uint64_t counter() const { return plugin->engine.render.sampleCounter; }
    int pending() const { return plugin->engine.midiEventQueue.pending; }

    int gatedCount() const {
        int n = 0;
        for (const VoiceState& v : plugin->engine.voices) n += v.gate ? 1 : 0;
        return n;
    }
    int soundingCount() const {
        int n = 0;
        for (const VoiceState& v : plugin->engine.voices) n += v.sounds() ? 1 : 0;
        return n;
    }
    // The gated voice playing `note`, or -1.
    int gatedVoiceWithNote(int note) const {
        for (int v = 0; v < kNumVoices; ++v)
            if (plugin->engine.voices[v].gate && plugin->engine.voices[v].note == note) return v;
        return -1;
    }
    bool listed(int v) const {
        const RenderState& r = plugin->engine.render;
        for (int n = 0; n < r.activeVoiceCount; ++n)
            if (r.activeVoices[n] == v) return true;
        return false;
    }

    // Play mode, portamento mode and the like are cached by the engine and
    // refreshed on its 128-frame tick: set the step, then let the tick pass.
    void setStep(int t, int step) {
        plugin->setSteppedValue(t, step);
        settle_();
    }

    FakeHost host; // first: the plug-in talks to it while it is built
    std::unique_ptr<APlugin> plugin;
    std::vector<float> left, right, inL, inR;
    float maxAbs = 0.0f;
    bool allFinite = true;

    static constexpr std::size_t kLogCapacity = 1 << 16;
};
