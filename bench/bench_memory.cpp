// Resident memory per plug-in instance, as a host sees it: instances opened
// through the VST entry, each given a rate, resumed and played (a note over
// enough blocks that the wave-table rebuild finishes and every lazily built
// table exists). The counters are resident MiB (/proc/self/statm): the first
// instance (process-wide tables and data included) and the mean of each
// further one. Not timed: a single pass.

#include "core/aplugin.h"

#include <benchmark/benchmark.h>

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <vector>

namespace {

VstIntPtr quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

double residentMiB() {
    long size = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &size, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) /
           (1024.0 * 1024.0);
}

// Opens one instance and plays a note on it: on the default patch, or with
// every effect on, so that the delay lines and the reverb hold sound too.
AEffect* openAndPlay(float rate, bool effects) {
    AEffect* e = ondixPluginEntry(quietHost);
    if (!e) return nullptr;
    e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
    e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, rate);
    e->dispatcher(e, effSetBlockSize, 0, 512, nullptr, 0.0f);
    if (effects)
        for (int t : {tag::ChorusOn, tag::FlangerPhaserOn, tag::DelayOn, tag::ReverbOn})
            e->setParameter(e, t, 1.0f);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);

    VstMidiEvent note{};
    note.type = kVstMidiType;
    note.byteSize = sizeof(VstMidiEvent);
    note.midiData[0] = static_cast<char>(0x90);
    note.midiData[1] = 60;
    note.midiData[2] = 100;
    struct {
        VstInt32 numEvents;
        VstIntPtr reserved;
        VstEvent* events[1];
    } list{1, 0, {reinterpret_cast<VstEvent*>(&note)}};
    e->dispatcher(e, effProcessEvents, 0, 0, &list, 0.0f);

    constexpr int kBlock = 512;
    std::vector<float> inL(kBlock), inR(kBlock), outL(kBlock), outR(kBlock);
    float* in[2] = {inL.data(), inR.data()};
    float* out[2] = {outL.data(), outR.data()};
    // Two seconds: past the staged table rebuild, the delay at its default length.
    for (int i = 0; i < static_cast<int>(2.0f * rate) / kBlock; ++i)
        e->processReplacing(e, in, out, kBlock);
    return e;
}

struct Figures {
    double first = 0.0, further = 0.0;
};

Figures measure(float rate, bool effects) {
    constexpr int kInstances = 5;
    std::array<AEffect*, kInstances> effects_{};
    const double before = residentMiB();
    effects_[0] = openAndPlay(rate, effects);
    const double first = residentMiB();
    for (int i = 1; i < kInstances; ++i) effects_[i] = openAndPlay(rate, effects);
    const double all = residentMiB();
    for (AEffect* e : effects_)
        if (e) e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
    return {first - before, (all - first) / (kInstances - 1)};
}

// Each case runs in a child process of its own, so that the first instance
// pays for the process-wide tables every time.
void memoryPerInstance(benchmark::State& state, float rate, bool effects) {
    for (auto _ : state) {
        int fds[2];
        if (pipe(fds) != 0) {
            state.SkipWithError("pipe");
            return;
        }
        const pid_t child = fork();
        if (child == 0) {
            close(fds[0]);
            const Figures f = measure(rate, effects);
            const bool written = write(fds[1], &f, sizeof f) == static_cast<ssize_t>(sizeof f);
            _exit(written ? 0 : 1);
        }
        close(fds[1]);
        Figures f;
        const bool read_ =
            child > 0 && read(fds[0], &f, sizeof f) == static_cast<ssize_t>(sizeof f);
        close(fds[0]);
        if (child > 0) waitpid(child, nullptr, 0);
        if (!read_) {
            state.SkipWithError("measuring child failed");
            return;
        }
        state.counters["first_MiB"] = f.first;
        state.counters["further_MiB"] = f.further;
    }
}

// Arguments: sample rate in Hz, effects off (0) or on (1).
void BM_MemoryPerInstance(benchmark::State& state) {
    memoryPerInstance(state, static_cast<float>(state.range(0)), state.range(1) != 0);
}
BENCHMARK(BM_MemoryPerInstance)
    ->Args({44100, 0})
    ->Args({44100, 1})
    ->Args({192000, 1})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

} // namespace
