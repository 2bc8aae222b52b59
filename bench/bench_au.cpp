// What the AudioUnit adapter adds to a 512-frame slice: the unit's render
// (checks, MIDI hand-over, zeroing, effProcessEvents, the time record) over
// calling processReplacing directly, first around an effect that only writes
// zeros (the adapter alone), then around the plug-in itself.

#include "au/au_plugin.h"
#include "core/aplugin.h"
#include "tools/auhost/au_host.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

constexpr UInt32 kSlice = 512;

VstIntPtr quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// Writes silence and asks for the time, as an instrument does.
class ZeroEffect : public AudioEffectX {
public:
    explicit ZeroEffect(audioMasterCallback master) : AudioEffectX(master, 1, 1024) {}
    void processReplacing(float**, float** outputs, VstInt32 frames) override {
        benchmark::DoNotOptimize(getTimeInfo(kVstTempoValid));
        std::fill_n(outputs[0], frames, 0.0f);
        std::fill_n(outputs[1], frames, 0.0f);
    }
};

AudioEffect* makeZero(audioMasterCallback master) {
    return new ZeroEffect(master);
}
AudioEffect* makePlugin(audioMasterCallback master) {
    return createEffectInstance(master);
}

template <EffectCreator Create> AUBase* makeUnit(AudioComponentInstance instance) {
    return new AUPLUGIN(instance, Create);
}
template <EffectCreator Create>
AudioComponentPlugInInterface* factory(const AudioComponentDescription*) {
    return AUComponentFactory(makeUnit<Create>);
}

template <EffectCreator Create> void BM_DirectProcessReplacing(benchmark::State& state) {
    std::unique_ptr<AudioEffect> effect(Create(quietHost));
    effect->setSampleRate(48000.0f);
    effect->setBlockSize(kSlice);
    effect->resume();
    std::vector<float> left(kSlice), right(kSlice);
    float* channels[2] = {left.data(), right.data()};
    for (auto _ : state) {
        std::fill(left.begin(), left.end(), 0.0f);
        std::fill(right.begin(), right.end(), 0.0f);
        effect->processReplacing(channels, channels, kSlice);
        benchmark::DoNotOptimize(left.data());
    }
}

template <EffectCreator Create> void BM_AudioUnitRender(benchmark::State& state) {
    ondix::auhost::AUTestHost host({nullptr, factory<Create>});
    host.open();
    host.setOutputFormat(canonicalFormat(48000.0, 2));
    host.setMaxFrames(kSlice);
    host.offerCallbacks();
    host.initialize();
    for (auto _ : state) {
        host.midi(0xB0, 1, 0, 0); // one event per slice
        host.render(kSlice);
        benchmark::DoNotOptimize(host.channel(0));
    }
}

BENCHMARK(BM_DirectProcessReplacing<makeZero>)->Name("AdapterAlone/DirectProcessReplacing");
BENCHMARK(BM_AudioUnitRender<makeZero>)->Name("AdapterAlone/AudioUnitRender");
BENCHMARK(BM_DirectProcessReplacing<makePlugin>)->Name("Plugin/DirectProcessReplacing");
BENCHMARK(BM_AudioUnitRender<makePlugin>)->Name("Plugin/AudioUnitRender");

} // namespace
