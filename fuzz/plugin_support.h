// The plug-in inside a fuzz target, created and driven the way a host does
// it: through the entry point, the dispatcher and processReplacing, with a
// host callback that answers as one of the host kinds.
//
//     fuzz::Host host(fuzz::kHostKinds[0]);  // before the plug-in
//     fuzz::Instance plugin(host);           // entry point, effOpen, resume
//     plugin.dispatch(effSetChunk, ...);
//     plugin.settle();                       // pending work of the audio thread done
//     plugin.play();                         // notes; the output must stay in bounds
//
// A target that runs every input through a plug-in keeps one per host kind
// for the whole run (keptInstance): building one costs some ten
// milliseconds under the sanitizers, more than all else an input does.
#pragma once

#include "fuzz_support.h"

#include "core/aplugin.h"
#include "platform/dialog_service.h"
#include "platform/prefs.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace fuzz {

// The plug-in's dialogs: every file selection is answered with `path` (or
// cancelled while it is empty), every text input is cancelled and every alert
// dismissed and counted.
class FileDialogs : public DialogService {
public:
    std::vector<std::string> runFileSelector(const FileDialogRequest&) override {
        if (path.empty()) return {};
        return {path};
    }
    std::optional<std::string> inputText(const TextInputRequest&) override { return std::nullopt; }
    int alert(const AlertRequest&) override {
        ++alerts;
        return ALERT_DISMISSED;
    }

    std::string path;
    long alerts = 0;
};

inline FileDialogs& dialogs() {
    static FileDialogs service;
    return service;
}

// Dialogs as above, preferences in the scratch folder. Call first
// (LLVMFuzzerInitialize).
inline void setUpPluginProcess() {
    usePrivatePrefs();
    setDialogService(&dialogs());
    reloadPrefs();
}

// The host callback. The plug-in calls it while it is constructed, before it
// has an effect record, so it is found through a process-wide pointer: the
// Host made last, or the one whose plug-in is driven now (use()).
class Host {
public:
    explicit Host(HostKind kind, double sampleRate = 44100.0, int blockSize = 512)
        : kind(kind), sampleRate(sampleRate), blockSize(blockSize) {
        time.sampleRate = sampleRate;
        time.tempo = 120.0;
        time.timeSigNumerator = 4;
        time.timeSigDenominator = 4;
        time.flags = kVstTransportPlaying | kVstTempoValid | kVstTimeSigValid;
        use();
    }
    ~Host() {
        if (current() == this) current() = nullptr;
    }
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    static VstIntPtr callback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float) {
        Host* host = current();
        if (!host) return 0;
        switch (opcode) {
        case audioMasterVersion:
            return 2400;
        case audioMasterGetProductString:
            return copy(host->kind.product, ptr);
        case audioMasterGetVendorString:
            return copy(host->kind.vendor, ptr);
        case audioMasterGetTime:
            return reinterpret_cast<VstIntPtr>(&host->time);
        case audioMasterGetSampleRate:
            return static_cast<VstIntPtr>(host->sampleRate);
        case audioMasterGetBlockSize:
            return host->blockSize;
        default:
            return 0;
        }
    }

    // This host answers the plug-in's calls from now on.
    void use() { current() = this; }

    const HostKind kind;
    double sampleRate;
    int blockSize;
    VstTimeInfo time{};

private:
    static Host*& current() {
        static Host* host = nullptr;
        return host;
    }
    static VstIntPtr copy(const char* text, void* ptr) {
        if (!ptr || !*text) return 0;
        std::strncpy(static_cast<char*>(ptr), text, 63); // 64-byte host strings
        static_cast<char*>(ptr)[63] = '\0';
        return 1;
    }
};

// A MIDI event as a host hands it over, `offset` frames into the block.
inline VstMidiEvent midiEvent(int offset, int status, int d1, int d2) {
    VstMidiEvent e{};
    e.type = kVstMidiType;
    e.byteSize = sizeof e;
    e.deltaFrames = offset;
    e.midiData[0] = static_cast<char>(status);
    e.midiData[1] = static_cast<char>(d1);
    e.midiData[2] = static_cast<char>(d2);
    return e;
}

// One 512-frame tick of the render loop's table and preset work, then,
// when the engine does not wait, the rare-settings check of the waves and
// the mode (which asks for a rebuild when they changed).
inline void slowTick(APlugin& p, std::uint64_t counter) {
    p.runTableAndPresetTicks(counter);
    if (!p.core.presetPending && !p.core.settingPreset && !p.tableRebuildRunning())
        p.updateWaveTablesRare();
}

// The work the audio thread has pending, done now as its render loop does
// it at its next slow ticks (APlugin::runTableAndPresetTicks, every 512
// frames): the stages of a staged rebuild, a requested rebuild, a pending
// preset application (also while a staged build runs, when the preset's
// tables were built off the audio thread). Until then the engine keeps the
// output silent, so rendering up to those ticks (thousands of frames) would
// add nothing but time.
//
// Without `pitchTables` the ticks stop once a rebuild that needs a new bank
// has started and nothing else waits: the engine then waits for the pitch
// tables, and its output stays silent. Those tables are 4 ms of transforms
// that read nothing but the frames, at indices fixed by the loop counters;
// everything before them follows the input.
inline void settle(APlugin& p, bool pitchTables = true) {
    for (std::uint64_t tick = 0; tick < 64; ++tick) {
        const bool pending = p.core.presetPending || p.core.settingPreset;
        const bool running = p.tableRebuildRunning();
        if (!pending && !running) p.updateWaveTablesRare(); // values written since
        if (!pending && !running && !p.waves.rebuildRequested.load()) return;
        if (!pitchTables && running && !pending) return;
        slowTick(p, tick * 512);
    }
    fail("the wave tables never settled");
}

// One plug-in instance from the entry point, opened and resumed at the
// host's rate and block size; closed (and so deleted) at the end.
class Instance {
public:
    explicit Instance(Host& host) : host(host) {
        effect = ondixPluginEntry(&Host::callback);
        if (!effect) fail("the entry point returned no effect");
        dispatch(effOpen);
        dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(host.sampleRate));
        dispatch(effSetBlockSize, 0, host.blockSize);
        dispatch(effMainsChanged, 0, 1);
    }
    ~Instance() {
        dispatch(effMainsChanged, 0, 0);
        dispatch(effClose);
    }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    APlugin& plugin() const {
        return *static_cast<APlugin*>(static_cast<AudioEffect*>(effect->object));
    }

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f) {
        return effect->dispatcher(effect, opcode, index, value, ptr, opt);
    }

    // New audio settings, as a host gives them: suspended, the rate and block
    // size, resumed.
    void configure(double sampleRate, int blockSize) {
        host.use();
        host.sampleRate = sampleRate;
        host.blockSize = blockSize;
        host.time.sampleRate = sampleRate;
        dispatch(effMainsChanged, 0, 0);
        dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate));
        dispatch(effSetBlockSize, 0, blockSize);
        dispatch(effMainsChanged, 0, 1);
    }

    // `frames` frames in host-sized blocks; stops the run on an output
    // sample that is not finite or beyond the output limit (0.999).
    void render(int frames) {
        const auto block = static_cast<std::size_t>(host.blockSize);
        if (left.size() < block) {
            for (auto* channel : {&left, &right, &inLeft, &inRight}) channel->assign(block, 0.0f);
        }
        while (frames > 0) {
            const int n = std::min(frames, host.blockSize);
            float* in[2] = {inLeft.data(), inRight.data()};
            float* out[2] = {left.data(), right.data()};
            effect->processReplacing(effect, in, out, n);
            for (int i = 0; i < n; ++i)
                for (float x : {left[i], right[i]})
                    if (!std::isfinite(x) || std::fabs(x) > 0.999f)
                        fail("an output sample is not finite or beyond the output limit");
            host.time.samplePos += n;
            frames -= n;
        }
    }

    // The work the audio thread has pending, done now (fuzz::settle).
    void settle(bool pitchTables = true) { fuzz::settle(plugin(), pitchTables); }

    // One 512-frame tick of the render loop's table and preset work
    // (fuzz::slowTick).
    void slowTick(std::uint64_t counter) { fuzz::slowTick(plugin(), counter); }

    // Once nothing waits: the oscillator plays the bank built from the
    // waves, mode and user waves the state holds, with the noise of those
    // waves. With `rebuild` the bank is also built again from its record
    // and compared byte for byte.
    void checkPlayedTables(bool rebuild) {
        APlugin& p = plugin();
        WaveState& ws = p.waves;
        if (p.core.presetPending || p.waves.rebuildRequested.load() || p.tableRebuildRunning())
            return;
        const int a = p.getOscWave(tag::OscWaveA), b = p.getOscWave(tag::OscWaveB);
        if (a != ws.cachedWaveA || b != ws.cachedWaveB || p.getOscMode() != ws.cachedOscMode)
            return; // the next rare tick sees them
        const NoiseFlags noise = noiseFlagsOf(a, b);
        if (ws.waveAIsNoise != noise.a || ws.waveBIsNoise != noise.b ||
            ws.bothWavesNoise != noise.both)
            fail("the oscillator plays noise for other waves than the state's");
        if (noise.both) return; // the bank is not heard
        const int active = ws.activeBank.load() & 1;
        auto wanted = std::make_unique<BankSource>();
        p.describeRequestedSource(*wanted);
        // A partial parameter written alone (host automation) is heard from
        // the next conversion of its wave or rebuild of the tables only.
        wanted->userPartials = ws.bankSource[active].userPartials;
        if (!wanted->sameAs(ws.bankSource[active]))
            fail("the bank played was built from something other than the state");
        if (!rebuild) return;
        const BankSource& source = ws.bankSource[active];
        const FrameRecipe recipe{source.waveA, source.waveB, source.mode, &source.userTables,
                                 &source.userPartials};
        // The build's memory is kept for the next check: some 10 MB that,
        // new each time, cost as much as the build (the plug-in keeps its
        // own too), and a build writes all of it.
        struct Build {
            FrameSet frames;
            WaveWorkspace work;
            PitchTableBank bank;
        };
        static const auto build = std::make_unique<Build>();
        p.buildFrames(recipe, build->frames, build->work);
        APlugin::writePitchTables(build->frames, build->work.fft, build->bank, 0, kNumPitchTables);
        if (std::memcmp(&build->bank, &ws.pitchTableBank[active], sizeof(PitchTableBank)) != 0)
            fail("the bank played is not the one its record says it was built from");
    }

    // The chunk the plug-in hands over now (bank, or preset when `preset`).
    std::vector<uint8_t> chunk(bool preset) {
        void* saved = nullptr;
        const VstIntPtr size = dispatch(effGetChunk, preset ? 1 : 0, 0, &saved);
        if (size <= 0 || !saved) fail("a plug-in that took a chunk hands over none");
        // Every byte of the answer must be readable (the copy is checked).
        const auto* bytes = static_cast<const uint8_t*>(saved);
        return {bytes, bytes + size};
    }

    // A pending preset application alone, as the audio thread also does it
    // before a note that follows the request; the rebuild it asks for waits.
    void applyPreset() {
        APlugin& p = plugin();
        if (p.core.presetPending && !p.core.settingPreset) p.setPresetParameters();
    }

    // A chord over the keyboard with bend and modulation wheel, held and
    // released: every restored setting gets to shape sound.
    void play(int frames = 2048) {
        std::vector<VstMidiEvent> midi;
        auto add = [&](int offset, int status, int d1, int d2) {
            midi.push_back(midiEvent(offset, status, d1, d2));
        };
        for (int note : {24, 48, 60, 64, 67, 96, 120}) add(0, 0x90, note, 100);
        add(1, 0xB0, 1, 90);   // modulation wheel
        add(2, 0xE0, 0, 0x7F); // bend all the way up
        add(3, 0xD0, 100, 0);  // channel pressure
        send(midi);
        render(frames / 2);
        midi.clear();
        for (int note : {24, 48, 60, 64, 67, 96, 120}) add(0, 0x80, note, 64);
        send(midi);
        render(frames - frames / 2);
    }

    // The events as a host hands them over: VstEvents declares two pointers,
    // the block is built with room for all. Where `null` says so, the list
    // holds a null pointer instead.
    void send(std::vector<VstMidiEvent>& midi, const std::vector<bool>& null = {}) {
        std::vector<VstIntPtr> storage(2 + std::max<std::size_t>(midi.size(), 2), 0);
        auto* events = reinterpret_cast<VstEvents*>(storage.data());
        events->numEvents = static_cast<VstInt32>(midi.size());
        auto** list = reinterpret_cast<VstEvent**>(storage.data() + 2);
        for (std::size_t i = 0; i < midi.size(); ++i)
            list[i] = i < null.size() && null[i] ? nullptr : reinterpret_cast<VstEvent*>(&midi[i]);
        dispatch(effProcessEvents, 0, 0, events);
    }

    AEffect* effect = nullptr;

private:
    Host& host;
    std::vector<float> left, right, inLeft, inRight;
};

// What a kept plug-in's state restore cannot reset, made the same for every
// input: the random seed (set from the clock at construction) and the phase
// of the render loop's frame counter (the ticks of table builds and preset
// applications fall every 4096 frames from it; at construction it is 0),
// moved on to the next tick as if the host had rendered up to it.
inline void startOver(APlugin& p) {
    p.engine.random.setSeed(1);
    std::uint64_t& counter = p.engine.render.sampleCounter;
    counter = (counter + 4095) & ~std::uint64_t{4095};
}

// The plug-in of host kind `kind` (fuzz::kHostKinds) for the whole run, made
// at its first use and driven by its own host from then on. An input that
// replaces the whole state (a chunk, a state file) starts it over: the
// preset application resets the engine to what the values say. What it
// cannot reset is made the same for every input (startOver), and the host's
// transport starts over.
//
// The kept plug-ins are closed at exit, after the library's own static
// objects may have gone, as a host's plug-in manager of static storage
// closes them.
inline Instance& keptInstance(int kind) {
    struct Kept {
        explicit Kept(int kind) : host(kHostKinds[kind]), instance(host) {}
        Host host;
        Instance instance;
    };
    static std::unique_ptr<Kept> kept[std::size(kHostKinds)];
    kind = static_cast<int>(static_cast<unsigned>(kind) % std::size(kHostKinds));
    std::unique_ptr<Kept>& k = kept[kind];
    if (!k) k = std::make_unique<Kept>(kind);
    k->host.use();
    k->host.time.samplePos = 0.0;
    startOver(k->instance.plugin());
    return k->instance;
}

// For LLVMFuzzerInitialize: the process set up and the plug-in of the first
// host kind rendered once from the calling thread, its audio thread from
// then on. Returns the plug-in's own chunk at start-up.
inline std::vector<uint8_t> startKeptInstanceOnThisThread() {
    setUpPluginProcess();
    Instance& plugin = keptInstance(0);
    plugin.render(64);
    return plugin.chunk(false);
}

} // namespace fuzz
