// A plug-in set up for listening tests: one voice's sound through the
// oscillator, a filter that passes everything, the mix and the master stage,
// captured from processReplacing in host-sized blocks.
//
//     SoundCheck s;                        // drift off, filter "Off", short release
//     s.waves(1, 1);                       // wave A and B "Saw", tables rebuilt
//     auto x = s.hold(69, 2048, 32768);    // note on, skip, capture
//     s.release();                         // all notes off, until silent
//
// The master volume stays at its default (about -10 dB), which leaves room
// above any full-scale wave: nothing here reaches the output limit.
#pragma once

#include "support/plugin_harness.h"

#include <vector>

// The longest run of samples below `silent` in magnitude.
inline int longestSilence(const std::vector<float>& x, float silent = 1e-6f) {
    int run = 0, longest = 0;
    for (float v : x) {
        run = (v < 0.0f ? -v : v) < silent ? run + 1 : 0;
        longest = run > longest ? run : longest;
    }
    return longest;
}

class SoundCheck {
public:
    static constexpr int kBlock = 512;
    static constexpr int kFilterOff = 0; // the filter type that passes the signal

    explicit SoundCheck(std::uint32_t seed = 0x5EED) : h(seed) {
        h.p().setOff(tag::DriftOn); // keeps every pitch exact
        h.p().setSteppedValue(tag::FilterType, kFilterOff);
        h.p().setParameter(tag::AmpEnvRelease, 0.2f); // about 7 ms
        h.settle_();
    }

    // Wave A and B, then the wave-table rebuild that follows (silent while
    // it runs).
    void waves(int a, int b) {
        h.p().setSteppedValue(tag::OscWaveA, a);
        h.p().setSteppedValue(tag::OscWaveB, b);
        h.settle_();
    }

    // A host announcing its rate; every voice stops.
    void rate(float r) {
        h.p().setSampleRate(r);
        h.render(kBlock);
    }
    double rate() { return h.engine().rate.sampleRate; }

    // Renders `frames` frames and returns the left channel (and the right
    // one into `right`).
    std::vector<float> capture(int frames, std::vector<float>* right = nullptr) {
        std::vector<float> left;
        left.reserve(frames);
        if (right) {
            right->clear();
            right->reserve(frames);
        }
        while (frames > 0) {
            const int n = frames < kBlock ? frames : kBlock;
            h.render(n);
            left.insert(left.end(), h.left.begin(), h.left.begin() + n);
            if (right) right->insert(right->end(), h.right.begin(), h.right.begin() + n);
            frames -= n;
        }
        return left;
    }

    // Note on at the start of the next block, `skip` frames rendered, then
    // `frames` captured while the note is held.
    std::vector<float> hold(int note, int skip, int frames, int velocity = 127,
                            std::vector<float>* right = nullptr) {
        h.send(EventBlock().noteOn(0, note, velocity));
        if (skip > 0) capture(skip);
        return capture(frames, right);
    }

    // Every note off, rendered until no voice sounds.
    void release() {
        EventBlock off;
        for (int v = 0; v < kNumVoices; ++v)
            if (h.voice(v).gate) off.noteOff(0, h.voice(v).note);
        h.send(off);
        for (int guard = 0; guard < 400 && h.soundingCount() > 0; ++guard) h.render(kBlock);
    }

    // Held for the capture, then released.
    std::vector<float> play(int note, int skip, int frames, int velocity = 127) {
        std::vector<float> x = hold(note, skip, frames, velocity);
        release();
        return x;
    }

    PluginHarness h;
};
