// The engine's own 15-bit random generator.
//
// The engine draws random values on the audio thread (note-start sources,
// free-running phases, arpeggiator choices); the C library's rand() is shared
// process state and not safe there, so every plug-in object has its own
// generator. It produces 15-bit values like rand() & 0x7FFF. Seeded from the
// clock at construction; tests can fix the seed.
#pragma once

#include <cstdint>

class Random15 {
public:
    explicit Random15(std::uint32_t seed = 1) { setSeed(seed); }

    void setSeed(std::uint32_t seed) { state = seed ? seed : 0x9E3779B9u; }

    // 0..32767.
    int next() {
        // xorshift32: full period over the non-zero 32-bit states.
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<int>(state >> 17);
    }

    // 0..1 and -1..1, as (r & 0x7FFF) / 32767.
    float unipolar() { return static_cast<float>(next()) / 32767.0f; }
    float bipolar() { return 2.0f * unipolar() - 1.0f; }

private:
    std::uint32_t state = 1;
};
