// ondix-exit-host: a host whose plug-in manager is a static object built
// before the plug-in library is loaded. The library's own static objects are
// therefore destroyed first when the process exits, and only then does the
// manager close the instances it still holds and unload the library, as some
// hosts do. Run under the sanitizers, the exit must be clean: no use of
// freed memory, no leak, exit status 0.
//
//   ondix-exit-host vst ondix.so [--editor]
//   ondix-exit-host au ondix-au.so
//
// vst: two instances at different sample rates (so two sets of per-rate
// tables), each resumed and played a note; with --editor, the first has its
// editor open (headless) when the process ends. au: one unit, initialised and
// played a note. The exit must leave no memory of the plug-in's behind: the
// process-wide tables go with the last instance closed.
#include "audiounit/core_audio.h"
#include "tools/auhost/au_host.h"
#include "vst2/vst2.h"

#include <cairo.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kBlock = 256;

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// What the host still holds when main returns; closed by the destructor.
struct PluginManager {
    void* library = nullptr;
    std::vector<AEffect*> effects;
    std::unique_ptr<ondix::auhost::AULibrary> auLibrary;
    std::unique_ptr<ondix::auhost::AUTestHost> unit;

    ~PluginManager() {
        for (AEffect* e : effects) {
            e->dispatcher(e, effEditClose, 0, 0, nullptr, 0.0f);
            e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0.0f);
            e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
        }
        if (library) dlclose(library);
        const bool hadUnit = unit != nullptr;
        unit.reset(); // closes the unit
        auLibrary.reset();
        std::printf("closed %zu effects, %d units after the library's statics\n", effects.size(),
                    hadUnit ? 1 : 0);
        std::fflush(stdout);
    }
};

// Built before main runs, so destroyed after everything the library builds.
PluginManager manager;

void play(AEffect* e) {
    std::vector<float> left(kBlock), right(kBlock), in(kBlock, 0.0f);
    float* outs[2] = {left.data(), right.data()};
    float* ins[2] = {in.data(), in.data()};
    VstMidiEvent on{};
    on.type = kVstMidiType;
    on.byteSize = sizeof on;
    on.midiData[0] = static_cast<char>(0x90);
    on.midiData[1] = 60;
    on.midiData[2] = 100;
    VstEvents events{};
    events.numEvents = 1;
    events.events[0] = reinterpret_cast<VstEvent*>(&on);
    e->dispatcher(e, effProcessEvents, 0, 0, &events, 0.0f);
    for (int b = 0; b < 40; ++b) e->processReplacing(e, ins, outs, kBlock);
}

int runVst(const char* path, bool editor) {
    manager.library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!manager.library) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 1;
    }
    using Entry = AEffect* (*)(audioMasterCallback);
    auto entry = reinterpret_cast<Entry>(dlsym(manager.library, "VSTPluginMain"));
    if (!entry) return 1;
    for (float rate : {44100.0f, 96000.0f}) {
        AEffect* e = entry(hostCallback);
        if (!e) return 1;
        manager.effects.push_back(e);
        e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
        e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, rate);
        e->dispatcher(e, effSetBlockSize, 0, kBlock, nullptr, 0.0f);
        e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
        play(e);
    }
    if (editor) {
        AEffect* e = manager.effects.front();
        if (e->dispatcher(e, effEditOpen, 0, 0, nullptr, 0.0f) != 1) return 1;
        for (int i = 0; i < 3; ++i) e->dispatcher(e, effEditIdle, 0, 0, nullptr, 0.0f);
    }
    return 0;
}

int runAu(const char* path) {
    using namespace ondix::auhost;
    std::string error;
    manager.auLibrary = AULibrary::load(path, error);
    if (!manager.auLibrary) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    manager.unit = std::make_unique<AUTestHost>(manager.auLibrary->entries());
    AUTestHost& host = *manager.unit;
    if (host.open() != noErr || host.setOutputFormat(canonicalFormat(48000, 2)) != noErr ||
        host.setMaxFrames(kBlock) != noErr || host.initialize() != noErr)
        return 1;
    host.midi(0x90, 60, 100, 0);
    for (int b = 0; b < 40; ++b)
        if (host.render(kBlock) != noErr) return 1;
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // The host draws with cairo itself, as hosts with windows do, so the
    // graphics libraries stay loaded when it unloads the plug-in: a leak
    // reported then is the plug-in's own (pixman, for one, keeps tables of
    // its own until it is unloaded).
    if (cairo_version() <= 0) return 1;
    if (argc >= 3 && std::strcmp(argv[1], "vst") == 0)
        return runVst(argv[2], argc >= 4 && std::strcmp(argv[3], "--editor") == 0);
    if (argc == 3 && std::strcmp(argv[1], "au") == 0) return runAu(argv[2]);
    std::fprintf(stderr, "usage: ondix-exit-host vst PLUGIN.so [--editor] | au AU.so\n");
    return 2;
}
