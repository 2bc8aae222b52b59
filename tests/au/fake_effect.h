// A recording VST 2.4 effect for the AudioUnit adapter's tests, and the
// entry points of a unit around it.
//
// FakeEffect::next configures the effect the next unit creates (counts,
// delay, whether creation fails); FakeEffect::last is the latest one made.
// It logs its lifecycle calls, keeps its parameters limited to 0..1 as the
// plug-in does, records every MIDI event and every processReplacing call
// into storage reserved up front (the render path allocates nothing), and
// writes 0.5 into every output sample so a test sees that it ran.
#pragma once

#include "au/au_plugin.h"
#include "audiounit/au_entry.h"
#include "core/numeric.h"
#include "tools/auhost/au_host.h"

#include <atomic>
#include <cstring>
#include <new>
#include <string>
#include <vector>

struct FakeEffectConfig {
    VstInt32 numParams = 1024;
    VstInt32 numPrograms = 1;
    VstInt32 initialDelay = 0;
    enum Creation { Make, ReturnNull, Throw } creation = Make;
    bool readTime = false;
};

class FakeEffect : public AudioEffectX {
public:
    enum class Call { Suspend, Resume, SampleRate, BlockSize, Program };
    struct LogEntry {
        Call call;
        double value;
        bool operator==(const LogEntry&) const = default;
    };
    struct Process {
        float* inputs[2];
        float* outputs[2];
        VstInt32 frames;
        bool outputsWereZero;
        VstInt32 eventsBefore; // events received before this call
        float watched;         // the value of parameter `watch` then (0 without)
    };
    using Config = FakeEffectConfig;

    static inline Config next;
    static inline FakeEffect* last = nullptr;
    static constexpr float kWritten = 0.5f;

    static AudioEffect* create(audioMasterCallback master) {
        if (next.creation == Config::ReturnNull) return nullptr;
        if (next.creation == Config::Throw) throw std::bad_alloc();
        return new FakeEffect(master, next);
    }

    FakeEffect(audioMasterCallback master, const Config& config)
        : AudioEffectX(master, config.numPrograms, config.numParams), readTime(config.readTime),
          params(config.numParams) {
        last = this;
        setInitialDelay(config.initialDelay);
        setNumInputs(2);
        setNumOutputs(2);
        isSynth(true);
        // What a plug-in asks its host while it is built.
        seenRate = master(&cEffect, audioMasterGetSampleRate, 0, 0, nullptr, 0.0f);
        seenBlock = master(&cEffect, audioMasterGetBlockSize, 0, 0, nullptr, 0.0f);
        char product[256] = {};
        getHostProductString(product);
        seenProduct = product;
        for (VstInt32 i = 0; i < config.numParams; ++i)
            params[i] = static_cast<float>(i) / config.numParams;
        events.reserve(1 << 12);
        processes.reserve(1 << 12);
        log.reserve(256);
    }
    ~FakeEffect() override {
        if (last == this) last = nullptr;
    }

    void suspend() override { log.push_back({Call::Suspend, 0}); }
    void resume() override { log.push_back({Call::Resume, 0}); }
    void setSampleRate(float rate) override {
        AudioEffectX::setSampleRate(rate);
        log.push_back({Call::SampleRate, rate});
    }
    void setBlockSize(VstInt32 size) override {
        AudioEffectX::setBlockSize(size);
        log.push_back({Call::BlockSize, double(size)});
    }
    void setProgram(VstInt32 program) override {
        AudioEffectX::setProgram(program);
        log.push_back({Call::Program, double(program)});
    }
    void setParameter(VstInt32 index, float value) override {
        if (index >= 0 && index < VstInt32(params.size())) params[index] = clamp01(value);
    }
    float getParameter(VstInt32 index) override {
        return index >= 0 && index < VstInt32(params.size()) ? params[index] : 0.0f;
    }
    void getParameterName(VstInt32 index, char* text) override {
        if (index == 1) {
            std::strcpy(text, "~hidden");
        } else if (index == 2) {
            std::memset(text, 'n', 255); // longer than any name may be
            text[255] = '\0';
        } else if (index == 3) {
            std::memset(text, 0x8A, 40); // "ä" in Mac Roman: two bytes in UTF-8
            text[40] = '\0';
        } else {
            std::strcpy(text, "Param");
        }
    }
    bool getProgramNameIndexed(VstInt32, VstInt32 index, char* text) override {
        std::strcpy(text, index == 0 ? "Init" : "Other");
        return true;
    }

    VstInt32 processEvents(VstEvents* list) override {
        auto** slots = reinterpret_cast<VstEvent**>(reinterpret_cast<char*>(list) +
                                                    offsetof(VstEvents, events));
        for (VstInt32 i = 0; i < list->numEvents; ++i) {
            VstMidiEvent e;
            std::memcpy(&e, slots[i], sizeof e);
            if (events.size() < events.capacity()) events.push_back(e);
        }
        received.fetch_add(list->numEvents, std::memory_order_relaxed);
        return 1;
    }
    void processReplacing(float** inputs, float** outputs, VstInt32 frames) override {
        bool zero = true;
        for (int c = 0; c < 2; ++c)
            for (VstInt32 i = 0; i < frames; ++i) zero &= outputs[c][i] == 0.0f;
        if (processes.size() < processes.capacity())
            processes.push_back({{inputs[0], inputs[1]},
                                 {outputs[0], outputs[1]},
                                 frames,
                                 zero,
                                 static_cast<VstInt32>(received.load()),
                                 getParameter(watch)});
        processLevel = getCurrentProcessLevel();
        if (readTime) {
            const VstTimeInfo* info = getTimeInfo(0);
            hadTime = info != nullptr;
            if (info) time = *info;
        }
        for (int c = 0; c < 2; ++c)
            for (VstInt32 i = 0; i < frames; ++i) outputs[c][i] = kWritten;
    }

    bool readTime;
    VstInt32 watch = -1; // the parameter each Process record notes
    std::vector<float> params;
    VstIntPtr seenRate = 0;
    VstIntPtr seenBlock = 0;
    std::string seenProduct;
    std::vector<LogEntry> log;
    std::vector<VstMidiEvent> events;
    std::atomic<long> received{0};
    std::vector<Process> processes;
    bool hadTime = false;
    VstTimeInfo time{};
    VstInt32 processLevel = -1; // what the host said in the last processReplacing
};

// A unit around a FakeEffect, opened by either entry point.
inline AUBase* makeFakeUnit(AudioComponentInstance instance) {
    return new AUPLUGIN(instance, &FakeEffect::create);
}
inline OSStatus fakeUnitEntry(ComponentParameters* params, void* storage) {
    return AUComponentEntry(makeFakeUnit, params, storage);
}
inline AudioComponentPlugInInterface* fakeUnitFactory(const AudioComponentDescription*) {
    return AUComponentFactory(makeFakeUnit);
}
inline ondix::auhost::AUEntryPoints fakeUnitEntries() {
    return {fakeUnitEntry, fakeUnitFactory};
}
