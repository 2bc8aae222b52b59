#include "plugin_loader.h"

#include "numbers.h"
#include "shared_library.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <dlfcn.h>
#include <vector>

namespace ondix::host {

namespace {

using PluginEntry = AEffect* (*)(audioMasterCallback);

// The instances loaded, for the callback to find an effect's own, and the
// one it serves when the effect does not say; see the class comment.
std::vector<Plugin*> liveInstances;
Plugin* activeHost = nullptr;

// A thread's own level (kNoLevel: none) and the level of every other thread.
constexpr VstInt32 kNoLevel = -1;
thread_local VstInt32 threadLevel = kNoLevel;
std::atomic<VstInt32> everyThreadLevel{kVstProcessLevelUnknown};

constexpr VstIntPtr kHostVersion = 2400;
constexpr double kTempo = 120.0;

const char* const kHostCanDo[] = {"sendVstEvents", "sendVstMidiEvent", "sendVstTimeInfo",
                                  "sizeWindow"};

// Copies at most 63 characters and a NUL, as the vendor/product string
// requests promise.
void copyHostString(const std::string& text, void* destination) {
    size_t length = std::min<size_t>(text.size(), kVstMaxVendorStrLen - 1);
    std::memcpy(destination, text.data(), length);
    static_cast<char*>(destination)[length] = '\0';
}

} // namespace

ProcessLevel::ProcessLevel(VstInt32 level, Reach reach)
    : reach_(reach),
      previous_(reach == ThisThread ? std::exchange(threadLevel, level)
                                    : everyThreadLevel.exchange(level, std::memory_order_relaxed)) {
}

ProcessLevel::~ProcessLevel() {
    if (reach_ == ThisThread)
        threadLevel = previous_;
    else
        everyThreadLevel.store(previous_, std::memory_order_relaxed);
}

VstInt32 ProcessLevel::current() {
    const VstInt32 own = threadLevel;
    return own != kNoLevel ? own : everyThreadLevel.load(std::memory_order_relaxed);
}

std::unique_ptr<Plugin> Plugin::load(const std::string& path, const HostSettings& settings,
                                     std::string& error) {
    std::unique_ptr<Plugin> plugin(new Plugin());
    plugin->settings_ = settings;

    // Only a sound regular file is loaded (shared_library.h). The library
    // stays mapped until the process ends: graphics libraries it pulls in
    // allocate tables in their constructors that are never freed, and
    // unmapping them would leave those tables unreachable.
    plugin->library_ = loadLibrary(path, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE, error);
    if (!plugin->library_) return nullptr;

    const char* entryName = nullptr;
    void* symbol = nullptr;
    for (const char* name : {"VSTPluginMain", "main_macho", "main"}) {
        dlerror();
        symbol = dlsym(plugin->library_, name);
        if (symbol) {
            entryName = name;
            break;
        }
    }
    if (!symbol) {
        error = path + " exports none of VSTPluginMain, main_macho, main";
        return nullptr;
    }

    activeHost = plugin.get();
    liveInstances.push_back(plugin.get());
    auto entry = reinterpret_cast<PluginEntry>(symbol);
    AEffect* effect = entry(&Plugin::callback);
    if (!effect) {
        error = path + ": " + entryName + " returned no effect";
        return nullptr;
    }
    if (effect->magic != kEffectMagic) {
        error = path + ": " + entryName + " returned an effect with magic " +
                formatHex(static_cast<uint32_t>(effect->magic)) + ", expected 'VstP'";
        return nullptr;
    }
    plugin->effect_ = effect;
    effect->user = plugin.get();
    return plugin;
}

Plugin::~Plugin() {
    if (effect_) {
        if (resumed_) suspend();
        dispatch(effClose); // the plug-in frees itself here
        effect_ = nullptr;
    }
    if (library_) dlclose(library_);
    std::erase(liveInstances, this);
    if (activeHost == this) activeHost = liveInstances.empty() ? nullptr : liveInstances.back();
}

VstIntPtr Plugin::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

std::string Plugin::queryString(VstInt32 opcode, VstInt32 index) {
    std::array<char, 256> buffer{};
    dispatch(opcode, index, 0, buffer.data());
    buffer.back() = '\0';
    return std::string(buffer.data());
}

void Plugin::open() {
    dispatch(effOpen);
    dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(settings_.sampleRate));
    dispatch(effSetBlockSize, 0, settings_.blockSize);
    opened_ = true;
}

void Plugin::resume() {
    dispatch(effMainsChanged, 0, 1);
    resumed_ = true;
}

void Plugin::suspend() {
    dispatch(effMainsChanged, 0, 0);
    resumed_ = false;
}

void Plugin::processReplacing(float** inputs, float** outputs, int32_t frames) {
    effect_->processReplacing(effect_, inputs, outputs, frames);
    samplePos_ += frames;
}

[[gnu::noinline]] void Plugin::processBlock(VstEvents* events, float** inputs, float** outputs,
                                            int32_t frames) {
    processEvents(events);
    processReplacing(inputs, outputs, frames);
}

VstTimeInfo* Plugin::timeInfo() {
    double beats = samplePos_ / settings_.sampleRate * (kTempo / 60.0);
    time_ = VstTimeInfo{};
    time_.samplePos = samplePos_;
    time_.sampleRate = settings_.sampleRate;
    time_.nanoSeconds = samplePos_ / settings_.sampleRate * 1e9;
    time_.ppqPos = beats;
    time_.tempo = kTempo;
    time_.barStartPos = std::floor(beats / 4.0) * 4.0;
    time_.timeSigNumerator = 4;
    time_.timeSigDenominator = 4;
    time_.flags =
        kVstTransportPlaying | kVstTempoValid | kVstPpqPosValid | kVstBarsValid | kVstTimeSigValid;
    return &time_;
}

VstIntPtr Plugin::callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                           void* ptr, float opt) {
    Plugin* host = activeHost;
    if (effect) {
        auto own = std::find_if(liveInstances.begin(), liveInstances.end(),
                                [effect](const Plugin* p) { return p->effect_ == effect; });
        if (own != liveInstances.end()) host = *own;
    }
    if (!host) return opcode == audioMasterVersion ? kHostVersion : 0;
    return host->answer(effect, opcode, index, value, ptr, opt);
}

VstIntPtr Plugin::answer(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                         void* ptr, float) {
    ++counts_.total;
    switch (opcode) {
    case audioMasterVersion:
        return kHostVersion;
    case audioMasterCurrentId:
        if (effect) return effect->uniqueID;
        return effect_ ? effect_->uniqueID : 0;
    case audioMasterGetTime:
        ++counts_.getTime;
        return reinterpret_cast<VstIntPtr>(timeInfo());
    case audioMasterGetSampleRate:
        return static_cast<VstIntPtr>(std::lround(settings_.sampleRate));
    case audioMasterGetBlockSize:
        return settings_.blockSize;
    case audioMasterGetCurrentProcessLevel:
        return ProcessLevel::current();
    case audioMasterGetVendorString:
        if (!ptr) return 0;
        copyHostString(settings_.vendor, ptr);
        return 1;
    case audioMasterGetProductString:
        if (!ptr) return 0;
        copyHostString(settings_.product, ptr);
        return 1;
    case audioMasterGetVendorVersion:
        return 1;
    case audioMasterCanDo:
        if (!ptr) return 0;
        for (const char* feature : kHostCanDo) {
            if (std::strcmp(static_cast<const char*>(ptr), feature) == 0) return 1;
        }
        return 0;
    case audioMasterAutomate:
        ++counts_.automate;
        return 1;
    case audioMasterBeginEdit:
        ++counts_.beginEdit;
        return 1;
    case audioMasterEndEdit:
        ++counts_.endEdit;
        return 1;
    case audioMasterUpdateDisplay:
        ++counts_.updateDisplay;
        return 1;
    case audioMasterIOChanged:
        ++counts_.ioChanged;
        return 1;
    case audioMasterSizeWindow:
        ++counts_.sizeWindow;
        if (!windowSizer_ || index <= 0 || value <= 0 || value > INT32_MAX) return 0;
        return windowSizer_(index, static_cast<int32_t>(value)) ? 1 : 0;
    default:
        ++counts_.unanswered;
        return 0;
    }
}

} // namespace ondix::host
