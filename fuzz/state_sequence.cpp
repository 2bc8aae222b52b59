// A host's session with the plug-in as steps: states restored as chunks (from
// the audio thread, or from the host's main thread, which builds the state's
// wave tables there), value by value with the apply tag, presets chosen,
// waves, mode and user-wave partials changed through the host, the render
// loop's slow ticks and notes. After the steps, and whenever nothing waits,
// the oscillator must play what the state asks for: the bank built from its
// waves, mode and user waves, with the noise of its waves (and, for one input
// in eight, that bank byte for byte as a new build makes it). The bank reuse
// and the tables built off the audio thread are shortcuts around a full
// build; this target holds them to it.
//
// One plug-in serves the whole run (fuzz::keptInstance, as a host that keeps
// its plug-in while projects change). Input: steps of an operation byte and
// its argument bytes, until the input ends, or until the steps have changed
// the bank slots six times (a bank readied, built or shared: about three
// builds of some 5 ms each, the transforms without sanitizers; nearly all an
// input costs). The seeds' sequences fit in that.
//   0 chunk on the audio thread        A B mode  (the start-up state with these)
//   1 chunk from the main thread       A B mode
//   2 values one by one with apply     A B mode  (from the main thread, while
//                                                 the audio thread runs 24 ticks;
//                                                 mode bit 7: without the apply tag)
//   3 host writes a wave or the mode   which value
//   4 a preset chosen (main thread)    index
//   5 slow ticks of the render loop    count (1..32; 512 frames each)
//   6 host writes a user-wave partial  wave and partial, amplitude
//   7 a chord, held and released

#include "plugin_support.h"

#include "core/modes.h"

#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr unsigned kRebuildOneIn = 8;
constexpr int kMaxSteps = 24;
// The bank changes (a build readied or finished, a finished bank taken) an
// input's steps may cause; the steps after are left out.
constexpr std::uint32_t kMaxBankChanges = 6;

Bytes gStartChunk; // the plug-in's own chunk at start-up

float waveValue(uint8_t w) {
    return (static_cast<float>(w % kNumWaves) + 0.1f) / 184.99f;
}

Bytes chunkWith(uint8_t a, uint8_t b, uint8_t mode) {
    Bytes chunk = gStartChunk;
    auto* record = reinterpret_cast<ProgramRecord*>(chunk.data());
    record->values[tag::OscWaveA] = waveValue(a);
    record->values[tag::OscWaveB] = waveValue(b);
    record->values[tag::OscMode] = ParamTable::stepToValue(
        mode % oscmode::Count, ParamTable::get().steppedRange[tag::OscMode]);
    return chunk;
}

// The host's main thread: another thread, joined before the next step.
template <class F> void onMainThread(F&& f) {
    std::thread(std::forward<F>(f)).join();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    gStartChunk = fuzz::startKeptInstanceOnThisThread();
    if (gStartChunk.size() != sizeof(ProgramRecord)) fuzz::fail("the start-up chunk is no record");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Instance& plugin = fuzz::keptInstance(0); // REAPER: one bank chunk
    APlugin& p = plugin.plugin();
    size_t at = 0;
    auto next = [&]() -> uint8_t { return at < size ? data[at++] : 0; };
    const auto bankChanges = [&p] {
        return p.waves.pitchTableBank.changes(0) + p.waves.pitchTableBank.changes(1);
    };
    const std::uint32_t changesBefore = bankChanges();
    for (int steps = 0; at < size && steps < kMaxSteps; ++steps) {
        if (bankChanges() - changesBefore >= kMaxBankChanges) break;
        const uint8_t op = next() % 8;
        switch (op) {
        case 0:
        case 1:
        case 2: {
            const uint8_t a = next(), b = next(), mode = next();
            Bytes chunk = chunkWith(a, b, mode);
            if (op == 0) {
                plugin.dispatch(effSetChunk, 0, static_cast<VstIntPtr>(chunk.size()), chunk.data());
            } else if (op == 1) {
                onMainThread([&] {
                    plugin.dispatch(effSetChunk, 0, static_cast<VstIntPtr>(chunk.size()),
                                    chunk.data());
                });
            } else {
                // The host's main thread writes while the audio thread goes on.
                const auto* record = reinterpret_cast<const ProgramRecord*>(chunk.data());
                const bool apply = (mode & 0x80) == 0; // else automation of every value
                std::thread host([&] {
                    for (int t = 0; t < tag::Count; ++t)
                        if (apply || t != tag::ApplyPreset)
                            plugin.effect->setParameter(plugin.effect, t, record->values[t]);
                });
                for (int i = 0; i < 24; ++i) plugin.slowTick(static_cast<std::uint64_t>(i) * 512);
                host.join();
            }
            break;
        }
        case 3: {
            const uint8_t which = next() % 3, value = next();
            const int t = which == 0 ? tag::OscWaveA : which == 1 ? tag::OscWaveB : tag::OscMode;
            plugin.effect->setParameter(plugin.effect, t,
                                        which == 2 ? value / 255.0f : waveValue(value));
            break;
        }
        case 4: {
            const uint8_t index = next();
            if (p.presetCount > 0) onMainThread([&] { p.choosePreset(index % p.presetCount); });
            break;
        }
        case 5: {
            const int ticks = next() % 32 + 1;
            for (int i = 0; i < ticks; ++i) plugin.slowTick(static_cast<std::uint64_t>(i) * 512);
            break;
        }
        case 6: {
            const uint8_t which = next(), amplitude = next();
            plugin.effect->setParameter(plugin.effect, tag::partial(which >> 7, which & 127),
                                        amplitude / 255.0f);
            break;
        }
        case 7:
            plugin.play(128);
            break;
        default:
            break;
        }
    }
    // Everything that waits is done, and the engine plays what the state
    // asks for.
    plugin.settle();
    plugin.checkPlayedTables(fuzz::oneInputIn(kRebuildOneIn, data, size));
    return 0;
}
