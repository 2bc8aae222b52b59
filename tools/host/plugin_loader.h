// Loading a VST 2.4 plug-in with dlopen and talking to it only through the
// binary interface: the AEffect record, its dispatcher and process calls, and
// the host callback we hand to the entry point.
#pragma once

#include "vst2/vst2.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

namespace ondix::host {

struct HostSettings {
    double sampleRate = 44100.0;
    int32_t blockSize = 512;
    std::string vendor = "Ondix Developers";
    std::string product = "ondix-host";
};

// What the plug-in told the host through the callback, on whatever thread.
struct CallbackCounts {
    std::atomic<uint64_t> total{0};
    std::atomic<uint64_t> automate{0};
    std::atomic<uint64_t> beginEdit{0};
    std::atomic<uint64_t> endEdit{0};
    std::atomic<uint64_t> updateDisplay{0};
    std::atomic<uint64_t> ioChanged{0};
    std::atomic<uint64_t> sizeWindow{0};
    std::atomic<uint64_t> getTime{0};
    std::atomic<uint64_t> unanswered{0}; // opcodes this host answers with 0
};

// What the host answers to audioMasterGetCurrentProcessLevel on the calling
// thread: the level of the innermost ProcessLevel open on that thread, else
// that of the innermost one open for every thread, else
// kVstProcessLevelUnknown. A command opens them where its threads start and
// around its audio calls. Asking takes no lock (the audio thread asks).
class ProcessLevel {
public:
    enum Reach { ThisThread, EveryThread };
    explicit ProcessLevel(VstInt32 level, Reach reach = ThisThread);
    ~ProcessLevel(); // the level before it holds again
    ProcessLevel(const ProcessLevel&) = delete;
    ProcessLevel& operator=(const ProcessLevel&) = delete;

    static VstInt32 current();

private:
    Reach reach_;
    VstInt32 previous_;
};

// One plug-in instance. Several may be loaded at once: the callback finds the
// instance by its effect, and falls back to the one loaded last, because
// plug-ins call it while they are still being constructed (with a null
// effect, or one the host does not know yet).
class Plugin {
public:
    // Loads `path`, calls its entry point (VSTPluginMain, else main_macho,
    // else main) and checks the returned effect. On failure returns null and
    // describes the problem in `error`.
    static std::unique_ptr<Plugin> load(const std::string& path, const HostSettings& settings,
                                        std::string& error);
    ~Plugin(); // suspends and closes the effect if needed, then unloads the library

    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    AEffect& effect() const { return *effect_; }
    const HostSettings& settings() const { return settings_; }
    const CallbackCounts& counts() const { return counts_; }

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f);
    // Asks for a string through a 256-byte zeroed buffer.
    std::string queryString(VstInt32 opcode, VstInt32 index = 0);

    void open();    // effOpen, effSetSampleRate, effSetBlockSize
    void resume();  // effMainsChanged(1)
    void suspend(); // effMainsChanged(0)

    void processEvents(VstEvents* events) { dispatch(effProcessEvents, 0, 0, events); }
    // processReplacing for one block; the transport moves on by `frames`.
    void processReplacing(float** inputs, float** outputs, int32_t frames);
    // A block's events, then processReplacing: everything the plug-in does
    // for one block, in one call that is never inlined, so a profiler can
    // count just the plug-in's work (valgrind --tool=callgrind
    // --toggle-collect='ondix::host::Plugin::processBlock*').
    void processBlock(VstEvents* events, float** inputs, float** outputs, int32_t frames);

    // Answers the plug-in's audioMasterSizeWindow (width, height) while an
    // editor window is shown; without one the request is declined.
    using WindowSizer = std::function<bool(int32_t width, int32_t height)>;
    void setWindowSizer(WindowSizer sizer) { windowSizer_ = std::move(sizer); }

private:
    Plugin() = default;
    static VstIntPtr callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                              void* ptr, float opt);
    VstIntPtr answer(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                     float opt);
    VstTimeInfo* timeInfo();

    void* library_ = nullptr;
    AEffect* effect_ = nullptr;
    HostSettings settings_;
    CallbackCounts counts_;
    WindowSizer windowSizer_;
    VstTimeInfo time_{};
    double samplePos_ = 0.0;
    bool opened_ = false;
    bool resumed_ = false;
};

} // namespace ondix::host
