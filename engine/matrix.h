// The modulation matrix: 16 slots route one source each to one destination.
//
// Slots 0..11 are the user slots (bypass, amount, source and destination
// parameters); slots 12..15 belong to the XY pad (fixed sources src::XYX and
// src::XYY).
// Sources write rows of 75 values (per voice and global); the matrix fills rows
// of 222 destination sums from a base row (1.0 for volume and speed
// destinations, 0 otherwise). Consumers read parameter + sum, or parameter x
// sum for volume and speed destinations.
//
// Amounts map the parameter 0..1 to -1..+1 (a = 2p - 1). By destination type:
//   plain     sum += x * a
//   volume    sum *= (1 - a) + a x           (a > 0; bipolar sources mapped to 0..1)
//             sum *= (1 - |a|) + |a|(1 - |x|) (a <= 0)
//   semitone  sum += int(x * 3600) * 0.01 * a / 12 octaves (whole cents, +-36 semitones)
//   speed     sum *= 2^(2 x a)
//   amount    modulates another slot's amount (acts on the 16-frame half only)
#pragma once

#include "core/mod_slots.h"
#include "core/tags.h"

#include <array>
#include <cstdint>

constexpr int kModSlots = 16; // 12 user slots and 4 XY slots
constexpr int kUserModSlots = tag::ModSlotCount;
static_assert(kUserModSlots == dst::UserSlotCount);

// Parameter tags of each slot's amount, and the destination that modulates it.
inline constexpr std::array<int, kModSlots> MOD_AMT_TAGS = [] {
    std::array<int, kModSlots> t{};
    for (int s = 0; s < kModSlots; ++s)
        t[s] = s < kUserModSlots ? tag::slotAmount(s) : tag::XYModAmountFirst + s - kUserModSlots;
    return t;
}();
inline constexpr std::array<int, kModSlots> DEST_MOD_AMT = [] {
    std::array<int, kModSlots> t{};
    for (int s = 0; s < kModSlots; ++s) t[s] = dst::modAmount(s);
    return t;
}();

// Sources whose values are bipolar (-1..1); volume routing maps them to 0..1.
inline constexpr std::array<bool, src::Count> MOD_SOURCE_BIPOLAR = [] {
    std::array<bool, src::Count> flags{};
    for (int s :
         {src::CenterNote, src::NoteRandom1, src::NoteRandom2, src::Alternate2, src::Alternate3,
          src::Alternate4, src::SModLfo,     src::Free1Lfo,    src::Free2Lfo,   src::ArpTune,
          src::ArpFree,    src::XYX,         src::XYY,         src::Input,      src::OscOut,
          src::FilterOut,  src::VoiceOut,    src::ModFxOut,    src::DelayOut,   src::Output,
          src::White})
        flags[s] = true;
    return flags;
}();

struct ModSlotCache {
    int source = 0;
    int dest = 0;
    int type = 1;
    bool bypass = false;
};

// What setGlobalRare caches of the slots.
struct MatrixState {
    std::array<ModSlotCache, kModSlots> slots{};
    std::array<int, kModSlots> active{}; // active slots in slot order
    int activeCount = 0;
    std::array<int, kModSlots> amountSlots{}; // active slots on amount destinations
    int amountCount = 0;
    std::array<int, kModSlots> applySlots{}; // active slots on other destinations
    int applyCount = 0;
    std::array<bool, dst::Count> destUsed{};   // some active slot targets the destination
    std::array<bool, src::Count> sourceUsed{}; // some active slot reads the source
    bool freeLfoSourceUsed = false;            // src::Free1Lfo..UniFree2Lfo
    std::array<bool, 2> freeEnvelopeUsed{};    // src::Free1Env/InvFree1Env, Free2Env/InvFree2Env
    uint32_t generation = 1;                   // changes whenever the cache changes
    uint32_t globalBaseGeneration = 0;         // the generation the global sums were all reset for
};

// Per voice: the slot amounts of its 16-frame half.
struct MatrixVoice {
    std::array<float, kModSlots> amount{};
    uint32_t generation = 0; // the cache generation its unused destinations were reset for
    bool idle = false;       // every applying slot has amount 0: the sums rest at their base
    // The value change count and cache generation the amounts were made from
    // (kept only while no slot modulates an amount).
    uint32_t amountChanges = 0;
    uint32_t amountGeneration = 0;
    bool amountsValid = false;
};
