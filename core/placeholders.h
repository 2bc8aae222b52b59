// Stand-ins for parts of the instrument that are not built yet.
//
// Each keeps construction in its documented order and the plug-in silent.
// They live here, in one place, so that the issue that builds the real part
// removes its stand-in from this file:
//   TDelay, TBasicReverb  effect delay lines and reverb    (effect chain)
// and, in placeholders.cpp, the APlugin members listed there.
#pragma once

class TDelay {
public:
    void init(float sampleRate) { rate = sampleRate; }
    float getSampleRate() const { return rate; }

private:
    float rate = 0.0f;
};

class TBasicReverb {};
