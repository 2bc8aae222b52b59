// Two instances, two editors, three threads: the way a host runs two
// copies of the instrument. Each instance renders on its own audio thread
// with MIDI and host automation arriving there, while one GUI thread (the
// host's main thread) keeps both editors open headless, idles them, turns
// knobs, moves the XY pad, saves and restores the state and switches
// presets. The run is bounded (ONDIX_STRESS_SECONDS, a fraction of a second
// by default); scripts/tsan.sh runs it for several seconds under
// ThreadSanitizer, which must report nothing.
//
// The host here is its own small callback rather than FakeHost: it answers
// both instances from three threads, so everything it keeps is atomic or
// touched by one thread only.

#include "core/aplugin.h"
#include "editor/ueditor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <random>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// What the host keeps per instance; AEffect::user points at it.
struct InstanceHost {
    VstTimeInfo timeInfo{}; // audio thread only
    std::atomic<int> automations{0};
};

VstIntPtr stressHost(AEffect* effect, VstInt32 opcode, VstInt32 /*index*/, VstIntPtr /*value*/,
                     void* /*ptr*/, float /*opt*/) {
    auto* host = effect ? static_cast<InstanceHost*>(effect->user) : nullptr;
    switch (opcode) {
    case audioMasterVersion:
        return 2400;
    case audioMasterGetSampleRate:
        return 44100;
    case audioMasterGetBlockSize:
        return 512;
    case audioMasterGetTime:
        return host ? reinterpret_cast<VstIntPtr>(&host->timeInfo) : 0;
    case audioMasterAutomate:
        if (host) host->automations.fetch_add(1, std::memory_order_relaxed);
        return 1;
    default:
        return 0;
    }
}

double stressSeconds() {
    const char* text = std::getenv("ONDIX_STRESS_SECONDS");
    const double seconds = text ? std::atof(text) : 0.0;
    return seconds > 0.0 ? std::min(seconds, 600.0) : 0.4;
}

// MIDI as a host hands it over: a block of up to 16 events.
class MidiBlock {
public:
    void add(int offset, int status, int d1, int d2) {
        if (count == kMax) return;
        VstMidiEvent& e = events[count];
        e = VstMidiEvent{};
        e.type = kVstMidiType;
        e.byteSize = sizeof(VstMidiEvent);
        e.deltaFrames = offset;
        e.midiData[0] = static_cast<char>(status);
        e.midiData[1] = static_cast<char>(d1);
        e.midiData[2] = static_cast<char>(d2);
        list.pointers[count] = reinterpret_cast<VstEvent*>(&e);
        ++count;
    }
    VstEvents* get() {
        list.header.numEvents = count;
        list.header.reserved = 0;
        return &list.header;
    }
    void clear() { count = 0; }

private:
    static constexpr int kMax = 16;
    std::array<VstMidiEvent, kMax> events{};
    struct {
        VstEvents header;
        VstEvent* pointers[kMax];
    } list{};
    int count = 0;
    static_assert(offsetof(VstEvents, events) == 2 * sizeof(void*));
};

// One instance: the plug-in, its host record and what its audio thread saw.
struct Instance {
    InstanceHost host;
    std::unique_ptr<APlugin> plugin;
    std::thread audio;
    int blocks = 0;
    bool finite = true;
    float peak = 0.0f;

    AEffect* effect() { return plugin->getAeffect(); }
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f) {
        AEffect* e = effect();
        return e->dispatcher(e, opcode, index, value, ptr, opt);
    }
};

// The audio thread of one instance: notes, controllers, bend, host
// automation of knobs, routings and modes, now and then a preset
// application, and blocks of 1 to 512 frames.
void audioThread(Instance& in, uint32_t seed, const std::atomic<bool>& stop) {
    std::mt19937 rng(seed);
    auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto unit = [&rng] { return std::uniform_real_distribution<float>(0.0f, 1.0f)(rng); };
    AEffect* e = in.effect();
    std::vector<float> inL(512), inR(512), outL(512), outR(512);
    float* inputs[2] = {inL.data(), inR.data()};
    float* outputs[2] = {outL.data(), outR.data()};
    MidiBlock midi;
    std::array<int, 8> held{};
    int heldCount = 0;
    VstTimeInfo& time = in.host.timeInfo;
    time.sampleRate = 44100.0;
    time.tempo = 120.0;
    time.timeSigNumerator = 4;
    time.timeSigDenominator = 4;
    time.flags = kVstTransportPlaying | kVstTempoValid | kVstPpqPosValid | kVstTimeSigValid;

    while (!stop.load(std::memory_order_relaxed)) {
        const int frames = pick(0, 7) == 0 ? pick(1, 31) : pick(32, 512);
        midi.clear();
        for (int n = pick(0, 4); n > 0; --n) {
            const int offset = pick(0, frames - 1);
            switch (pick(0, 5)) {
            case 0:
            case 1:
                if (heldCount < static_cast<int>(held.size())) {
                    const int note = pick(36, 96);
                    held[static_cast<size_t>(heldCount++)] = note;
                    midi.add(offset, 0x90, note, pick(1, 127));
                }
                break;
            case 2:
                if (heldCount > 0) {
                    const int k = pick(0, heldCount - 1);
                    midi.add(offset, 0x80, held[static_cast<size_t>(k)], 64);
                    held[static_cast<size_t>(k)] = held[static_cast<size_t>(--heldCount)];
                }
                break;
            case 3:
                midi.add(offset, 0xB0, pick(0, 3) == 0 ? 64 : 1, pick(0, 127)); // sustain, wheel
                break;
            case 4:
                midi.add(offset, 0xE0, pick(0, 127), pick(0, 127));
                break;
            default:
                midi.add(offset, 0xD0, pick(0, 127), 0);
                break;
            }
        }
        if (midi.get()->numEvents > 0) e->dispatcher(e, effProcessEvents, 0, 0, midi.get(), 0.0f);

        // Host automation on the audio thread.
        switch (pick(0, 9)) {
        case 0:
            e->setParameter(e, tag::OscMorph, unit());
            break;
        case 1:
            e->setParameter(e, tag::slotAmount(pick(0, tag::ModSlotCount - 1)), unit());
            break;
        case 2:
            e->setParameter(e, tag::slotSource(pick(0, 3)), unit());
            e->setParameter(e, tag::slotDest(pick(0, 3)), unit());
            break;
        case 3:
            e->setParameter(e, tag::FilterFreq, unit());
            break;
        case 4:
            if (pick(0, 40) == 0) e->setParameter(e, tag::PlayMode, unit());
            break;
        case 5:
            if (pick(0, 40) == 0) e->setParameter(e, tag::ArpKeyEntryOn, unit());
            break;
        case 6:
            if (pick(0, 60) == 0) e->setParameter(e, tag::ApplyPreset, unit());
            break;
        case 7:
            if (pick(0, 60) == 0) e->setParameter(e, tag::OscWaveB, unit());
            break;
        default:
            break;
        }

        e->processReplacing(e, inputs, outputs, frames);
        time.samplePos += frames;
        time.ppqPos = time.samplePos / 22050.0;
        for (int i = 0; i < frames; ++i)
            for (float x : {outL[static_cast<size_t>(i)], outR[static_cast<size_t>(i)]}) {
                if (!std::isfinite(x))
                    in.finite = false;
                else
                    in.peak = std::max(in.peak, std::fabs(x));
            }
        ++in.blocks;
    }
}

// One pass of the host's main thread over one instance: the editor's idle
// call, what a user does in the editor, and what the host asks of the
// plug-in besides.
void guiPass(Instance& in, std::mt19937& rng, int pass) {
    auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto unit = [&rng] { return std::uniform_real_distribution<float>(0.0f, 1.0f)(rng); };
    APlugin& p = *in.plugin;
    in.dispatch(effEditIdle);

    switch (pick(0, 11)) {
    case 0:
        p.setParameterAutomated(tag::OscMorph, unit());
        break;
    case 1:
        p.setXY(unit(), unit());
        break;
    case 2:
        p.setArpKeyEntryPos(pick(0, tag::ArpStepCount - 1));
        break;
    case 3:
        p.previewNoteOn();
        break;
    case 4:
        p.previewNoteReleased();
        break;
    case 5:
        p.setParameterAutomated(tag::slotAmount(pick(0, 3)), unit());
        break;
    case 6: {
        char text[kVstMaxParamStrLen * 4] = {};
        in.dispatch(effGetParamDisplay, pick(0, tag::Count - 1), 0, text);
        break;
    }
    default:
        break;
    }

    // What the editor's screens read when they draw, whether or not the
    // headless frame drew them in this pass.
    std::array<float, 256> picture{};
    p.setOscScreenValue(pass % 2 == 0, static_cast<int>(picture.size()), picture.data());
    for (int v = 0; v < kNumVoices; ++v)
        if (p.getIsVoicePlaying(v)) {
            float x = 0.0f, y = 0.0f;
            p.getXYEditor(v, x, y);
        }
    (void)p.getModValue(tag::OscMorph);
    (void)p.getArpLedPos();
    for (int i = 0; i < kWaveSize; i += 16) (void)p.getWaveTableValue(pass & 1, i); // Wave view

    // Saving and restoring the state, and a preset switch.
    if (pass % 25 == 0) {
        void* data = nullptr;
        const VstIntPtr size = in.dispatch(effGetChunk, 0, 0, &data);
        if (pass % 100 == 0 && size > 0 && data) {
            std::vector<unsigned char> copy(static_cast<const unsigned char*>(data),
                                            static_cast<const unsigned char*>(data) + size);
            in.dispatch(effSetChunk, 0, size, copy.data());
        }
    }
    if (pass % 60 == 30) in.dispatch(effSetProgram, 0, 0);
    // The host closes the editor window and opens it again.
    if (pass % 150 == 75) {
        in.dispatch(effEditClose);
        in.dispatch(effEditOpen);
        in.plugin->getUEditor()->showMainScreen();
    }
}

} // namespace

TEST(ThreadStress, TwoInstancesWithTwoEditorsRenderAutomateAndRestore) {
    std::array<Instance, 2> instances;
    for (Instance& in : instances) {
        in.plugin = std::make_unique<APlugin>(stressHost);
        in.effect()->user = &in.host;
        in.dispatch(effOpen);
        in.dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
        in.dispatch(effSetBlockSize, 0, 512);
        in.dispatch(effMainsChanged, 0, 1);
        ASSERT_EQ(in.dispatch(effEditOpen), 1); // headless: no parent window
        in.plugin->getUEditor()->showMainScreen();
    }

    std::atomic<bool> stop{false};
    for (size_t k = 0; k < instances.size(); ++k)
        instances[k].audio = std::thread(audioThread, std::ref(instances[k]),
                                         static_cast<uint32_t>(0x5EED + k), std::cref(stop));

    // The host's main thread: both editors, at the host's idle rate.
    std::mt19937 rng(0xED17);
    const auto end = Clock::now() + std::chrono::duration<double>(stressSeconds());
    int passes = 0;
    while (Clock::now() < end) {
        for (Instance& in : instances) guiPass(in, rng, passes);
        ++passes;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    stop.store(true, std::memory_order_relaxed);
    for (Instance& in : instances) in.audio.join();

    for (Instance& in : instances) {
        EXPECT_TRUE(in.plugin->getUEditor()->getEditorFinishedOpening());
        in.dispatch(effEditClose);
        in.dispatch(effMainsChanged, 0, 0);
        EXPECT_GT(in.blocks, 0);
        EXPECT_GT(in.host.automations.load(), 0);
        EXPECT_TRUE(in.finite);
        EXPECT_LE(in.peak, 0.999f);
        in.dispatch(effClose); // the plug-in deletes itself, as the VST entry does
        (void)in.plugin.release();
    }
    EXPECT_GT(passes, 10);
}
