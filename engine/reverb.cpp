// TBasicReverb (units in reverb.h).

#include "engine/reverb.h"

#include "core/numeric.h"
#include "engine/cpu_features.h"
#include "engine/delay.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <emmintrin.h>
#include <immintrin.h>

namespace {

constexpr int kMask = TBasicReverb::kRing - 1;
constexpr float kTuningRate = 44100.0f;
constexpr int kStereoSpread = 23;
constexpr std::array<int, TBasicReverb::kCombsPerLane> kCombTuning = {1116, 1188, 1277, 1356, 1422,
                                                                      1491, 1557, 1617, 1680, 1046};
constexpr std::array<int, TBasicReverb::kAllpassStages> kAllpassTuning = {556, 441, 341, 225};
constexpr float kAllpassGain = 0.5f;
constexpr float kMaxLoopGain = 0.99f;
// Twenty combs per side ring up to about 24 dB above their input; the input
// enters at -30 dB so that a full wet mix sits a little below the dry sound.
constexpr float kInputGain = 0.03f;

bool rightLane(int lane) {
    return (lane & 1) != 0;
}
bool secondSet(int lane) {
    return lane >= 2;
}

int scaled(double length, double rate) {
    return static_cast<int>(std::lround(length * rate / kTuningRate));
}

// The longest allpass at the highest rate, plus one.
const int kMaxAllpass = scaled(kAllpassTuning[0] + kStereoSpread, TBasicReverb::kMaxRate) + 1;
static_assert((kAllpassTuning[0] + kStereoSpread) * TBasicReverb::kMaxRate / kTuningRate + 2 <
                  TBasicReverb::kAllpassRing,
              "every allpass fits its ring");
// Each stage holds its window of rows twice (see allpassRead).
constexpr std::size_t kAllpassStageFloats =
    static_cast<std::size_t>(2) * TBasicReverb::kAllpassRing * TBasicReverb::kLanes;
constexpr std::size_t kAllpassFloats = TBasicReverb::kAllpassStages * kAllpassStageFloats;

// The smallest power of two above n.
int windowAbove(int n) {
    int w = 1;
    while (w <= n) w *= 2;
    return w;
}

} // namespace

TBasicReverb::TBasicReverb()
    : combRing(static_cast<std::size_t>(2 * kRing) * kCombs), inputRing(4 * kRing),
      allpassBuf(kAllpassFloats) {
    static_assert((kAllpassRing & (kAllpassRing - 1)) == 0, "a power of two");
    useWideCombs(true);
    create();
}

void TBasicReverb::create() {
    sampleRate = kTuningRate;
    roomSize = 0.9099097f;
    damp = 0.275f;
    lastRoomIn = lastDampIn = kNoValue;
    tapOffset.fill(kRing - 1 - kMinWiden);
    update();
    init();
}

void TBasicReverb::init() {
    lastFilterIn = kNoValue; // its coefficient depends on the rate
    // The windows for the rate: the longest comb and allpass, plus the row
    // being written.
    const int longestComb = std::min(
        scaled((kCombTuning[8] + kStereoSpread) * static_cast<double>(kMaxSize), sampleRate),
        kMaxCombLength);
    combRows = longestComb + 1;
    const int longestAllpass =
        std::clamp(scaled(kAllpassTuning[0] + kStereoSpread, sampleRate), 1, kMaxAllpass);
    allpassMask = std::min(windowAbove(longestAllpass), kAllpassRing) - 1;
    sizeFactor.fill(1.0f);
    lastS1 = lastS2 = -1.0f;
    setSize(1.0f, 1.0f);
    for (int lane = 0; lane < kLanes; ++lane)
        for (int s = 0; s < kAllpassStages; ++s) {
            const int tuning = kAllpassTuning[s] + (secondSet(lane) ? kStereoSpread : 0);
            allpassLen[lane][s] = std::clamp(scaled(tuning, sampleRate), 1, kMaxAllpass);
        }
    const int rows = allpassMask + 1;
    for (int s = 0; s < kAllpassStages; ++s) {
        allpassRead[0][s] = (rows - allpassLen[0][s]) * kLanes;
        allpassRead[1][s] = (rows - allpassLen[2][s]) * kLanes + 2;
    }
    mute();
}

void TBasicReverb::setSampleRate(float r) {
    if (!(r >= 1.0f && r <= kMaxRate) || std::fabs(r - sampleRate) <= 0.0001f) return;
    sampleRate = r;
    init();
}

void TBasicReverb::mute() {
    combStore.fill(0.0f);
    hpState.fill(0.0f);
    allpassPos = 0;
    inputPos = 0;
    combPos = 0;
    if (!dirty) return; // the rings are still clear
    std::memset(combRing.get(), 0, sizeof(float) * 2 * combRowsUsed * kCombs);
    std::memset(inputRing.get(), 0, sizeof(float) * 4 * kRing);
    for (int s = 0; s < kAllpassStages; ++s)
        std::memset(allpassBuf.get() + s * kAllpassStageFloats, 0,
                    sizeof(float) * allpassRowsUsed * kLanes);
    combRowsUsed = allpassRowsUsed = 0;
    dirty = false;
}

void TBasicReverb::update() {
    for (int lane = 0; lane < kLanes; ++lane) {
        laneDamp[lane] = damp;
        laneUndamp[lane] = 1.0f - damp;
        laneRoom[lane] = std::min(roomSize * mod[lane], kMaxLoopGain);
    }
}

void TBasicReverb::setRoomSize(float v) {
    if (v == lastRoomIn) return;
    lastRoomIn = v;
    roomSize = std::log10(20.0f * clamp01(v) + 1.0f) * 0.249579f + 0.65f;
    update();
}

void TBasicReverb::setDamp(float v) {
    if (v == lastDampIn) return;
    lastDampIn = v;
    damp = 0.55f * clamp01(v);
    update();
}

void TBasicReverb::setFilter(float v) {
    if (v == lastFilterIn) return; // the same coefficient at the same rate
    lastFilterIn = v;
    float c = 2.0f * std::min(std::exp2(10.0f * clamp01(v)) * 20.0f / sampleRate, 0.3f);
    if (c < 0.01f) c = 0.0f;
    if (c != hpCoef) hpState.fill(0.0f);
    hpCoef = c;
}

void TBasicReverb::setSize(float s1, float s2) {
    if (s1 == lastS1 && s2 == lastS2) return;
    lastS1 = s1;
    lastS2 = s2;
    for (int lane = 0; lane < kLanes; ++lane) {
        const float s = secondSet(lane) ? s2 : s1;
        for (int j = 0; j < kCombsPerLane; ++j) {
            const int c = j * kLanes + lane;
            const double tuning = kCombTuning[j] + (rightLane(lane) ? kStereoSpread : 0);
            const double length = tuning * clampTo(static_cast<double>(s), 0.0, 64.0) * sampleRate /
                                  kTuningRate * sizeFactor[c];
            const int n = static_cast<int>(
                std::lround(clampTo(length, 0.0, static_cast<double>(combRows - 1))));
            combLength[c] = std::max(n, 1); // 0 reads the previous row
            combRead[c] = (combRows - combLength[c]) * kCombs + c;
        }
    }
}

int TBasicReverb::getCombLength(int lane, int comb) const {
    return combLength[(comb % kCombsPerLane) * kLanes + (lane & 3)];
}

void TBasicReverb::setWiden(int a, int b, int c, int d) {
    const int w[4] = {a, b, c, d};
    for (int k = 0; k < 4; ++k) tapOffset[k] = kRing - 1 - std::clamp(w[k], kMinWiden, kMaxWiden);
}

void TBasicReverb::setMod(float m1, float m2, float m3, float m4) {
    mod = {clampTo(m1, 0.9f, 1.1f), clampTo(m2, 0.9f, 1.1f), clampTo(m3, 0.9f, 1.1f),
           clampTo(m4, 0.9f, 1.1f)};
    update();
}

void TBasicReverb::process(float inL, float inR, float& o1, float& o2, float& o3, float& o4) {
    float out[4];
    const stereoStruct in = {inL, inR};
    process(&in, out, 1);
    o1 = out[0];
    o2 = out[1];
    o3 = out[2];
    o4 = out[3];
}

bool TBasicReverb::useWideCombs(bool on) {
    wide = on && cpuHasAvx2();
    return wide;
}

// The frames of a run pass each stage in turn: the input ring and its taps
// frame by frame, then each comb of the four lanes over every frame (a
// comb's state and read offsets stay in registers; a comb only reads rows
// its own length back, which it wrote before within the run or earlier),
// then high-pass and allpasses frame by frame. Every lane sees the same
// operations in the same order as frame-by-frame work.
void TBasicReverb::process(const stereoStruct* in, float* out, int frames) {
    if (!dirty) [[unlikely]] {
        dirty = true;
        combRowsUsed = combRows;
        allpassRowsUsed = 2 * (allpassMask + 1);
    }
    if (wide) {
        processWide(in, out, frames);
    } else {
        alignas(16) float sums[4 * kRunFrames];
        combs(in, sums, frames);
        allpasses(sums, out, frames);
    }
}

[[gnu::target("avx2")]] void TBasicReverb::processWide(const stereoStruct* in, float* out,
                                                       int frames) {
    alignas(16) float sums[4 * kRunFrames];
    combsWide(in, sums, frames);
    allpasses(sums, out, frames);
}

// High-pass, then the allpasses, all four lanes in one vector: lanes 0 and 1
// read their row at the first chain's length back, 2 and 3 at the second's.
[[gnu::always_inline]] inline void TBasicReverb::allpasses(const float* sums, float* out,
                                                           int frames) {
    using Lanes = float __attribute__((vector_size(16)));
    auto load = [](const float* p) __attribute__((always_inline)) {
        Lanes v;
        std::memcpy(&v, p, sizeof v);
        return v;
    };
    // Stage s of the row at float i is at base[s] + i, its mirror at
    // mirror[s] + i; the pairs read theirs at first[s] + i and second[s] + i.
    float* const base = allpassBuf.get();
    float* const mirror = base + static_cast<std::ptrdiff_t>(allpassMask + 1) * kLanes;
    const float* first[kAllpassStages];
    const float* second[kAllpassStages];
    for (int s = 0; s < kAllpassStages; ++s) {
        first[s] = base + s * kAllpassStageFloats + allpassRead[0][s];
        second[s] = base + s * kAllpassStageFloats + allpassRead[1][s];
    }
    const std::ptrdiff_t rowMask = static_cast<std::ptrdiff_t>(allpassMask) * kLanes;
    std::ptrdiff_t i = static_cast<std::ptrdiff_t>(allpassPos) * kLanes;
    const float hpCoef = this->hpCoef;
    Lanes hp = load(hpState.data());
    auto run = [&]<bool kHighPass>() __attribute__((always_inline)) {
        for (int n = 0; n < frames; ++n) {
            Lanes y = load(sums + 4 * n);
            if (kHighPass) {
                hp = hp * (1.0f - hpCoef) + y * hpCoef;
                y -= hp;
            }
            i = (i + kLanes) & rowMask;
            for (int s = 0; s < kAllpassStages; ++s) {
                double lo, hi;
                std::memcpy(&lo, first[s] + i, sizeof lo);
                std::memcpy(&hi, second[s] + i, sizeof hi);
                const Lanes b = (Lanes)_mm_set_pd(hi, lo);
                const Lanes o = kAllpassGain * b + y + 1e-8f;
                std::memcpy(base + s * kAllpassStageFloats + i, &o, sizeof o);
                std::memcpy(mirror + s * kAllpassStageFloats + i, &o, sizeof o);
                y = b - y;
            }
            std::memcpy(out + 4 * n, &y, sizeof y);
        }
    };
    if (hpCoef > 0.0f) {
        run.template operator()<true>();
        std::memcpy(hpState.data(), &hp, sizeof hp);
    } else {
        run.template operator()<false>();
    }
    allpassPos = static_cast<int>(i / kLanes);
}

void TBasicReverb::combs(const stereoStruct* in, float* sumsOut, int frames) {
    using Lanes = float __attribute__((vector_size(16)));
    auto load = [](const float* p) {
        Lanes v;
        std::memcpy(&v, p, sizeof v);
        return v;
    };
    Lanes even[kRunFrames], odd[kRunFrames], sums[kRunFrames];
    float* rows[kRunFrames];

    // Input ring and taps. Per lane, the even combs take the lane's own
    // input, the odd ones a tap.
    float* ringL = inputRing.get();
    float* ringR = ringL + 2 * kRing;
    int pos = inputPos;
    int row = combPos;
    for (int n = 0; n < frames; ++n) {
        const float l = in[n].left * kInputGain, r = in[n].right * kInputGain;
        pos = (pos + 1) & kMask;
        ringL[pos] = ringL[pos + kRing] = l;
        ringR[pos] = ringR[pos + kRing] = r;
        const float tap1 = ringL[pos + tapOffset[0]];
        const float tap2 = ringR[pos + tapOffset[1]];
        const float tap3 = ringL[pos + tapOffset[2]];
        const float tap4 = ringR[pos + tapOffset[3]];
        even[n] = Lanes{l, r, l, r};
        odd[n] = Lanes{tap3, tap4, tap1, tap2};
        row = row + 1 == combRows ? 0 : row + 1;
        rows[n] = combRing.get() + row * kCombs;
        sums[n] = Lanes{0.0f, 0.0f, 0.0f, 0.0f};
    }
    inputPos = pos;
    combPos = row;

    // The combs, comb j of every lane in one vector. A comb reads the row
    // its length back: within the second copy, at a fixed distance from
    // the row being written.
    const Lanes damping = load(laneDamp.data()), undamping = load(laneUndamp.data()),
                room = load(laneRoom.data());
    const std::ptrdiff_t mirror = static_cast<std::ptrdiff_t>(combRows) * kCombs;
    // Two combs per pass, an even one and the odd one after it.
    for (int c = 0; c < kCombs; c += 2 * kLanes) {
        const int d = c + kLanes;
        const std::ptrdiff_t r0 = combRead[c], r1 = combRead[c + 1], r2 = combRead[c + 2],
                             r3 = combRead[c + 3];
        const std::ptrdiff_t q0 = combRead[d], q1 = combRead[d + 1], q2 = combRead[d + 2],
                             q3 = combRead[d + 3];
        Lanes storeEven = load(&combStore[c]), storeOdd = load(&combStore[d]);
        for (int n = 0; n < frames; ++n) {
            float* at = rows[n];
            const Lanes x = {at[r0], at[r1], at[r2], at[r3]};
            storeEven = storeEven * damping + x * undamping;
            const Lanes writtenEven = even[n] + storeEven * room;
            std::memcpy(at + c, &writtenEven, sizeof writtenEven);
            std::memcpy(at + mirror + c, &writtenEven, sizeof writtenEven);
            const Lanes y = {at[q0], at[q1], at[q2], at[q3]};
            storeOdd = storeOdd * damping + y * undamping;
            const Lanes writtenOdd = odd[n] + storeOdd * room;
            std::memcpy(at + d, &writtenOdd, sizeof writtenOdd);
            std::memcpy(at + mirror + d, &writtenOdd, sizeof writtenOdd);
            sums[n] = (sums[n] + x) + y;
        }
        std::memcpy(&combStore[c], &storeEven, sizeof storeEven);
        std::memcpy(&combStore[d], &storeOdd, sizeof storeOdd);
    }
    std::memcpy(sumsOut, sums, sizeof(Lanes) * static_cast<std::size_t>(frames));
}

// The same in eight lanes: an even comb of the four lanes in the low half,
// the odd one after it in the high half, which lie side by side in a row.
// The input ring and taps first, frame by frame, then each pair of combs
// over every frame with its eight read offsets in registers. Each lane is
// loaded on its own (AVX2 gathers cost more time than they save on some
// processors). Each lane's sum adds the even comb, then the odd one, pass
// by pass, as the four-lane passes do.
[[gnu::target("avx2")]] void TBasicReverb::combsWide(const stereoStruct* in, float* sums,
                                                     int frames) {
    constexpr int kPasses = kCombs / (2 * kLanes);
    static_assert(kCombs % (2 * kLanes) == 0 && kPasses >= 2, "whole passes");
    // What the passes take and leave per frame, in one line of the cache.
    struct alignas(64) Frame {
        __m256 input; // the even combs' inputs, then the odd ones'
        __m128 sum;   // the lanes' sums so far
        float* row;   // the comb row written
    };
    Frame frame[kRunFrames];

    float* ringL = inputRing.get();
    float* ringR = ringL + 2 * kRing;
    // Tap k reads pos + tapOffset[k] of its side; lanes 0..3 take taps 3, 4,
    // 1, 2.
    const float* tap1 = ringL + tapOffset[0];
    const float* tap2 = ringR + tapOffset[1];
    const float* tap3 = ringL + tapOffset[2];
    const float* tap4 = ringR + tapOffset[3];
    // Each read is then one load at tap + pos (rather than the sum of the
    // ring and the offset taken again every frame).
    asm("" : "+r"(tap1), "+r"(tap2), "+r"(tap3), "+r"(tap4));
    float* const rowsAt = combRing.get();
    float* const rowsEnd = rowsAt + combRows * kCombs;
    float* at = rowsAt + combPos * kCombs;
    std::ptrdiff_t pos = inputPos;
    for (int n = 0; n < frames; ++n) {
        static_assert(sizeof(stereoStruct) == 2 * sizeof(float), "a left and right pair");
        double pair;
        std::memcpy(&pair, &in[n], sizeof pair);
        const __m128 lr = _mm_mul_ps(_mm_castpd_ps(_mm_set1_pd(pair)), _mm_set1_ps(kInputGain));
        pos = (pos + 1) & kMask;
        _mm_store_ss(ringL + pos, lr);
        _mm_store_ss(ringL + pos + kRing, lr);
        const int right = _mm_extract_ps(lr, 1);
        std::memcpy(ringR + pos, &right, sizeof right);
        std::memcpy(ringR + pos + kRing, &right, sizeof right);
        __m128 odd = _mm_load_ss(tap3 + pos);
        odd[1] = tap4[pos];
        odd[2] = tap1[pos];
        odd[3] = tap2[pos];
        frame[n].input = _mm256_set_m128(odd, lr);
        at += kCombs;
        if (at == rowsEnd) at = rowsAt;
        frame[n].row = at;
    }
    inputPos = static_cast<int>(pos);
    combPos = static_cast<int>((at - rowsAt) / kCombs);

    const __m256 damping = _mm256_broadcast_ps(reinterpret_cast<const __m128*>(laneDamp.data()));
    const __m256 undamping =
        _mm256_broadcast_ps(reinterpret_cast<const __m128*>(laneUndamp.data()));
    const __m256 room = _mm256_broadcast_ps(reinterpret_cast<const __m128*>(laneRoom.data()));
    const std::ptrdiff_t mirror = rowsEnd - rowsAt;
    // The first pass starts the sums from zero, the last one leaves them in
    // `sums`.
    auto pass = [&]<bool kFirst, bool kLast>(int p) __attribute__((always_inline, target("avx2"))) {
        const int c = 8 * p;
        const std::ptrdiff_t q0 = combRead[c], q1 = combRead[c + 1], q2 = combRead[c + 2],
                             q3 = combRead[c + 3], q4 = combRead[c + 4], q5 = combRead[c + 5],
                             q6 = combRead[c + 6], q7 = combRead[c + 7];
        __m256 store = _mm256_loadu_ps(&combStore[c]);
        for (int n = 0; n < frames; ++n) {
            Frame& f = frame[n];
            float* const at = f.row;
            __m128 even = _mm_load_ss(at + q0);
            even[1] = at[q1];
            even[2] = at[q2];
            even[3] = at[q3];
            __m128 odd = _mm_load_ss(at + q4);
            odd[1] = at[q5];
            odd[2] = at[q6];
            odd[3] = at[q7];
            const __m256 x = _mm256_set_m128(odd, even);
            store = _mm256_add_ps(_mm256_mul_ps(store, damping), _mm256_mul_ps(x, undamping));
            const __m256 written = _mm256_add_ps(f.input, _mm256_mul_ps(store, room));
            _mm256_storeu_ps(at + c, written);
            _mm256_storeu_ps(at + mirror + c, written);
            const __m128 sum = _mm_add_ps(_mm_add_ps(kFirst ? _mm_setzero_ps() : f.sum, even), odd);
            if (kLast)
                _mm_store_ps(sums + 4 * n, sum);
            else
                f.sum = sum;
        }
        _mm256_storeu_ps(&combStore[c], store);
    };
    pass.template operator()<true, false>(0);
    for (int p = 1; p < kPasses - 1; ++p) pass.template operator()<false, false>(p);
    pass.template operator()<false, true>(kPasses - 1);
}
