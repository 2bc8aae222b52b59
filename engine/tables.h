// Lookup tables of the sound engine.
//
// Everything the engine would otherwise compute per sample or per note from
// a fixed formula: sine and LFO shapes, morph-frame positions, wave-B weights
// of table interpolation, one cycle of white noise, the oscillator symmetry
// warp, the sub-oscillator gain curve, the filter curves (filter_curves.h),
// the note-to-table maps, the FFT bit reversal and the modulation
// destination types.
//
// Sharing. The tables are the same in every plug-in instance. The small
// integer tables are compile-time constants below. The others live in one
// EngineTables block of 18.8 MiB on the heap, built on the first call of
// engineTables() (thread-safe; about 10 ms, once per process) and read-only
// afterwards: a second instance reuses it and costs nothing here. The
// engine only reads them, from any thread, without locks. The block lives
// while the library or any instance holds the shared objects
// (core/process_shared.h).
//
// Per instance. LFO shape kinds 6 and 7 follow the instance's two user waves
// and are rewritten whenever a user wave is rebuilt, so they are not in the
// shared block: each instance keeps a UserWaveLfoRows in its engine state,
// and lfoShapeRow() picks the row of a kind from either place.
//
// Indexing conventions: a "phase table" of N entries covers one cycle,
// entry i standing for phase i / N; a 2048-entry wave table holds one cycle
// of 2048 samples.
#pragma once

#include "core/mod_slots.h"
#include "engine/filter_curves.h"

#include <array>
#include <cstdint>
#include <memory>

// ------------------------------------------------------------------ white-noise generator

// Multiplicative congruential generator over 32-bit words: each draw
// multiplies the state by 16807 modulo 2^32 and returns the product read as
// a signed 32-bit integer; the state then becomes that product plus 1. All
// arithmetic is unsigned (it wraps, never overflows). Period and quality are
// modest; it is meant for audio noise, not statistics.
//
// Every user keeps its own state (noise waves, the wave shaper, the noise
// table below); a state is not shared between threads.
class RandSeed {
public:
    constexpr explicit RandSeed(std::uint32_t seed = 1) : seed_(seed) {}

    // The next draw, -2^31 .. 2^31 - 1.
    constexpr std::int32_t next() {
        const std::uint32_t product = seed_ * 16807u;
        seed_ = product + 1u;
        return static_cast<std::int32_t>(product); // modulo 2^32, as two's complement
    }

    // The next draw scaled to -1 .. 1 (draw * 2^-31; exact apart from the
    // rounding of the draw to float, which can reach +1.0).
    constexpr float nextBipolar() { return static_cast<float>(next()) * 0x1p-31f; }

    // The next draw mapped to 0 .. 1: (draw * 4.656613e-10 + 1) * 0.5, in float.
    constexpr float nextUnipolar() {
        return (static_cast<float>(next()) * 4.656613e-10f + 1.0f) * 0.5f;
    }

    constexpr std::uint32_t state() const { return seed_; }

private:
    std::uint32_t seed_;
};

// ------------------------------------------------------------------ sizes

inline constexpr int kPhaseTableSize = 65536;     // sine, LFO and morph-position tables
inline constexpr int kWaveTableSize = 2048;       // samples per wave cycle
inline constexpr int kLfoShapeKinds = 8;          // LFO table kinds 0..7
inline constexpr int kSharedLfoShapeKinds = 6;    // kinds 0..5 are shared
inline constexpr int kMorphFrames = 32;           // morph frames 0..31 of a wave pair
inline constexpr int kPitchTables = 35;           // band-limited pitch tables 0..34
inline constexpr int kSymmetryIdentityRow = 1028; // symmetryWarp row that leaves a wave unchanged

// LFO table kinds (rows of the LFO shape table).
enum LfoShapeKind : int {
    kLfoSine = 0,      // sin(2 pi x), with pi taken as 3.1415925
    kLfoTriangle = 1,  // -1 at x = 0, +1 at x = 0.5, back towards -1
    kLfoSawUp = 2,     // 2x - 1
    kLfoSawDown = 3,   // 1 - 2x
    kLfoSquare = 4,    // -1 for x <= 0.5, +1 above
    kLfoHeld = 5,      // all zero: the sample-and-hold LFO reads no table
    kLfoUserWave1 = 6, // follows user wave 1 (per instance)
    kLfoUserWave2 = 7, // follows user wave 2 (per instance)
};

// ------------------------------------------------------------------ constant tables

namespace engine_tables_detail {

constexpr int reverse11(int index) {
    int r = 0;
    for (int b = 0; b < 11; ++b) r |= ((index >> b) & 1) << (10 - b);
    return r;
}

} // namespace engine_tables_detail

// Pitch table played for each MIDI note: 0 for notes 0..59, then
// (note - 60) / 2 + 1 (integer division), so notes 60/61 -> 1 .. 126/127 -> 34.
inline constexpr std::array<std::int32_t, 128> noteToPitchTable = [] {
    std::array<std::int32_t, 128> t{};
    for (int n = 60; n < 128; ++n) t[n] = (n - 60) / 2 + 1;
    return t;
}();

// Sub-oscillator square wave (0..13, 0 with the hardest edges) for each MIDI
// note: 0 for notes 0..59, (note - 60) / 5 + 1 for 60..124, 13 for 125..127.
inline constexpr std::array<std::int32_t, 128> noteToSquareWave = [] {
    std::array<std::int32_t, 128> t{};
    for (int n = 60; n < 128; ++n) t[n] = n <= 124 ? (n - 60) / 5 + 1 : 13;
    return t;
}();

// Spectrum bins kept in each pitch table: table 0 keeps all 2048, table p
// (1..34) keeps bins 0 .. pitchBinLimit[p] - 1 of the positive half, so the
// table played an octave higher carries about half the harmonics.
inline constexpr std::array<std::int32_t, kPitchTables> pitchBinLimit = {
    2048, 149, 133, 118, 105, 94, 83, 74, 66, 59, 52, 47, 41, 37, 33, 29, 26, 23,
    20,   18,  16,  14,  13,  11, 10, 9,  8,  7,  6,  5,  5,  4,  4,  3,  3};

// Entry i = i with its 11 low bits in reverse order (2048-point FFT ordering).
inline constexpr std::array<std::int32_t, kWaveTableSize> bitReverseTable = [] {
    std::array<std::int32_t, kWaveTableSize> t{};
    for (int i = 0; i < kWaveTableSize; ++i) t[i] = engine_tables_detail::reverse11(i);
    return t;
}();

// How the modulation matrix combines a slot into a destination.
enum DestType : std::int32_t {
    kDestPlain = 1,     // adds source * amount
    kDestVolume = 2,    // multiplies by a gain
    kDestSemitone = 3,  // adds pitch in octaves, in whole cents, +-36 semitones at full amount
    kDestSpeed = 4,     // multiplies by 2^(2 * source * amount)
    kDestModAmount = 5, // modulates another slot's amount
};

// The DestType of every modulation destination 0..221 (0, "none", is plain).
inline constexpr std::array<std::int32_t, dst::Count> destType = [] {
    std::array<std::int32_t, dst::Count> t{};
    for (auto& d : t) d = kDestPlain;
    for (int d :
         {dst::UnisonVolumeAll, dst::UnisonVolume2, dst::UnisonVolume3, dst::UnisonVolume4,
          dst::OscUpSpreadVolume, dst::OscDownSpreadVolume, dst::SubVolume, dst::MainVolume})
        t[d] = kDestVolume;
    for (int d : {dst::UnisonSemiAll, dst::UnisonSemi2, dst::UnisonSemi3, dst::UnisonSemi4,
                  dst::OscSemi, dst::OscUpSpreadSemi, dst::OscDownSpreadSemi, dst::SubSemi})
        t[d] = kDestSemitone;
    for (int d : {dst::GlobalEnvSpeed, dst::GlobalLfoSpeed, dst::ArpSpeed, dst::FilterEnvSpeed,
                  dst::AmpEnvSpeed, dst::FreeEnv1Speed, dst::FreeEnv2Speed, dst::FreeLfo1Speed,
                  dst::FreeLfo2Speed, dst::XYSpeed, dst::FlangerSpeed, dst::PhaserSpeed})
        t[d] = kDestSpeed;
    for (int d = dst::Mod1Amount; d <= dst::Mod12Amount; ++d)
        t[d] = kDestModAmount; // user slots 1..12
    for (int d = dst::XYXToFree1Amount; d <= dst::XYYToMorph; ++d)
        t[d] = kDestModAmount; // XY slots and XY-to-morph amounts
    return t;
}();

// ------------------------------------------------------------------ shared tables

struct EngineTables {
    template <typename T, int N> using Table = std::array<T, N>;

    // sin(2 pi i / 65536): a phase table of one sine cycle (SMod LFO, effect
    // LFOs, oscillator display). Exact quarter points 0, 1, 0, -1.
    Table<float, kPhaseTableSize> sineTable;

    // LFO shape kinds 0..5 as phase tables over x = i / 65536 (see
    // LfoShapeKind); values -1..1. Kinds 6 and 7 are per instance.
    Table<Table<float, kPhaseTableSize>, kSharedLfoShapeKinds> lfoShapeTable;

    // Morph position m = i / 65535 (i = int(m * 65535.x)) as a pair of
    // neighbouring frames and the weight of the upper one: with
    // t = i / 65535 * 31, lo = int(t), hi = min(lo + 1, 31), weight = t - lo.
    // The last entry is lo = hi = 31, weight 0.
    Table<std::int32_t, kPhaseTableSize> morphFrameLo;
    Table<std::int32_t, kPhaseTableSize> morphFrameHi;
    Table<float, kPhaseTableSize> morphWeight;

    // Weight of wave B for table interpolation, [frame 0..31][sample 0..2047]:
    // frame 0 all 0, frame 31 all 1, frame r = 1..30 (j / 4006)^e with
    // e = 2^(4 - r/4) (r/4 a real quotient; the exponent from exp2 in double
    // rounded to float, the power by powf on float j / 4006). Rows rise with
    // j and stay below 0.511^e; e falls from 13.45 (frame 1) to 0.088 (30).
    Table<Table<float, kWaveTableSize>, kMorphFrames> tableInterpolateWeight;

    // One 2048-sample cycle of white noise in -1..1: 2048 bipolar draws of a
    // RandSeed started at the seed given to build() (1 for the shared copy).
    Table<float, kWaveTableSize> noiseWaveTable;
    // The generator's state after those draws.
    RandSeed noiseTableSeed;

    // Symmetry warp, [row 0..2047][sample 0..2047] -> sample index 0..2047.
    // Row r maps a point k = r / 2047 * 0.98 + 0.01 of the output cycle onto
    // the middle of the wave: with split = int(k * 2048), entry j is
    // int(j * 0.5 / k) below split (the first half of the wave squeezed or
    // stretched into 0..split) and int((j - split) * 0.5 / (1 - k) + 1024)
    // from split on. Every row rises with j. Row 1028 (kSymmetryIdentityRow)
    // is the identity, entry j = j. Computed in double.
    Table<Table<std::uint16_t, kWaveTableSize>, kWaveTableSize> symmetryWarp;

    // Sub-oscillator gain over a level x = i / 262144, indexed by
    // int(level * 262143.98): 0 below x = 0.001 (i <= 262), else
    // 10^((30x - 30) / 20), -30 dB .. just under 0 dB, as a linear factor.
    Table<float, kFilterCurveSize> subGainCurve;

    // The voice filter's cut-off and coefficient curves.
    FilterCurves filterCurves;

    // Builds a private set of tables on the heap (tests and benchmarks; the
    // engine uses engineTables()). noiseSeed starts the noise table's
    // generator.
    static std::unique_ptr<EngineTables> build(std::uint32_t noiseSeed = 1);

private:
    EngineTables() = default; // contents are written by build(), never zeroed first
};

// The process-wide tables, built on the first call (thread-safe). The
// reference stays valid while the library or an instance holds the shared
// objects (core/process_shared.h): every instance may keep it.
const EngineTables& engineTables();

// ------------------------------------------------------------------ per-instance LFO rows

// LFO shape kinds 6 and 7 of one plug-in instance: the 65536-point
// interpolated copies of its user waves 1 and 2, values -1..1. All zero until
// a user wave is converted. 512 KiB; keep it inside the instance's engine
// state (heap), not on the stack.
struct UserWaveLfoRows {
    std::array<std::array<float, kPhaseTableSize>, 2> rows{}; // [user wave 0/1][phase index]

    float* row(int userWave) { return rows[userWave].data(); }
    const float* row(int userWave) const { return rows[userWave].data(); }
};

// The phase table of LFO kind 0..7: kinds 0..5 from the shared tables, 6 and
// 7 from the instance's user-wave rows.
inline const float* lfoShapeRow(const EngineTables& shared, const UserWaveLfoRows& user, int kind) {
    return kind < kSharedLfoShapeKinds ? shared.lfoShapeTable[kind].data()
                                       : user.row(kind - kSharedLfoShapeKinds);
}
