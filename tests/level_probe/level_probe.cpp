// A VST 2.4 plug-in for the hosts' tests: it asks its host for the process
// level (AudioEffectX::getCurrentProcessLevel) wherever the host calls it and
// on a thread of its own, and when it is closed writes to standard error one
// line of what it heard where:
//     levels: entry L open L thread L process L idle L
// L lists the levels heard there in ascending order ("12": both 1 and 2), or
// is "-" where it was never asked.
#include "core/audioeffectx.h"

#include <cstdio>
#include <string>
#include <thread>

namespace {

enum Place { Entry, Open, OwnThread, Process, Idle, kPlaces };
constexpr const char* kPlaceNames[kPlaces] = {"entry", "open", "thread", "process", "idle"};

class Probe : public AudioEffectX {
public:
    explicit Probe(audioMasterCallback master) : AudioEffectX(master, 1, 0) {
        setNumInputs(0);
        setNumOutputs(2);
        isSynth(true);
        canProcessReplacing();
        setEditor(new Editor(this));
        ask(Entry);
    }

    void ask(Place place) { heard_[place] |= 1u << (getCurrentProcessLevel() & 31); }

    void open() override {
        ask(Open);
        std::thread([this] { ask(OwnThread); }).join();
    }
    void close() override {
        std::string line = "levels:";
        for (int p = 0; p < kPlaces; ++p) {
            line += std::string(" ") + kPlaceNames[p] + " ";
            if (heard_[p] == 0) line += "-";
            for (int level = 0; level < 32; ++level)
                if (heard_[p] & (1u << level)) line += std::to_string(level);
        }
        std::fprintf(stderr, "%s\n", line.c_str());
    }
    void processReplacing(float**, float** outputs, VstInt32 frames) override {
        ask(Process);
        for (VstInt32 i = 0; i < frames; ++i) outputs[0][i] = outputs[1][i] = 0.0f;
    }

private:
    class Editor : public AEffEditor {
    public:
        explicit Editor(Probe* probe) : AEffEditor(probe), probe_(probe) {}
        bool getRect(ERect** rect) override {
            *rect = &rect_;
            return true;
        }
        bool open(void* parent) override {
            AEffEditor::open(parent);
            return true;
        }
        void idle() override { probe_->ask(Idle); }

    private:
        Probe* probe_;
        ERect rect_{0, 0, 40, 60};
    };

    unsigned heard_[kPlaces] = {};
};

} // namespace

extern "C" __attribute__((visibility("default"))) AEffect*
VSTPluginMain(audioMasterCallback master) {
    return (new Probe(master))->getAeffect();
}
