// Seeds of a property test over random inputs: the fixed ones, which every
// run tries, and a fresh one per run, so that runs go on trying inputs none
// tried before. With ONDIX_TEST_SEED set only that seed runs: a failure
// names its seed (seedTrace, for SCOPED_TRACE) and is replayed with it.
//
//     for (const std::uint32_t seed : propertySeeds({1, 2, 3})) {
//         SCOPED_TRACE(seedTrace(seed));
//         std::mt19937 rng(seed);
//         ...
//     }
#pragma once

#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

inline std::vector<std::uint32_t> propertySeeds(std::initializer_list<std::uint32_t> fixed) {
    if (const char* text = std::getenv("ONDIX_TEST_SEED"); text && *text)
        return {static_cast<std::uint32_t>(std::strtoul(text, nullptr, 10))};
    std::vector<std::uint32_t> seeds(fixed);
    seeds.push_back(std::random_device{}());
    return seeds;
}

inline std::string seedTrace(std::uint32_t seed) {
    return "seed " + std::to_string(seed) +
           " (replay with ONDIX_TEST_SEED=" + std::to_string(seed) + ")";
}
