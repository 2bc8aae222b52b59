// What the processor offers beyond the SSE2 baseline, asked once per
// process. DSP units that have a wider path choose it at run time with
// these, and keep an SSE2 path that gives the same bits.
#pragma once

// __builtin_cpu_init runs first, so that the answers hold even when asked
// from a static constructor.
inline bool cpuHasAvx() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx") != 0;
    }();
    return has;
}

inline bool cpuHasAvx2() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return has;
}
