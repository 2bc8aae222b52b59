// TBasicReverb (units in reverb.h).

#include "engine/reverb.h"

#include "core/numeric.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <emmintrin.h>

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
constexpr std::size_t kAllpassFloats = static_cast<std::size_t>(TBasicReverb::kAllpassStages) *
                                       TBasicReverb::kAllpassRing * TBasicReverb::kLanes;

// The smallest power of two above n.
int windowAbove(int n) {
    int w = 1;
    while (w <= n) w *= 2;
    return w;
}

} // namespace

TBasicReverb::TBasicReverb()
    : combRing(static_cast<std::size_t>(2 * kRing) * kCombs), inputRing(2 * kRing),
      allpassBuf(kAllpassFloats) {
    static_assert((kAllpassRing & (kAllpassRing - 1)) == 0, "a power of two");
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
    std::memset(inputRing.get(), 0, sizeof(float) * 2 * kRing);
    for (int s = 0; s < kAllpassStages; ++s)
        std::memset(allpassBuf.get() + static_cast<std::size_t>(s) * kAllpassRing * kLanes, 0,
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
    if (!dirty) [[unlikely]] {
        dirty = true;
        combRowsUsed = combRows;
        allpassRowsUsed = allpassMask + 1;
    }
    inL *= kInputGain;
    inR *= kInputGain;
    float* ringL = inputRing.get();
    float* ringR = ringL + kRing;
    inputPos = (inputPos + 1) & kMask;
    ringL[inputPos] = inL;
    ringR[inputPos] = inR;
    const float tap1 = ringL[(inputPos + tapOffset[0]) & kMask];
    const float tap2 = ringR[(inputPos + tapOffset[1]) & kMask];
    const float tap3 = ringL[(inputPos + tapOffset[2]) & kMask];
    const float tap4 = ringR[(inputPos + tapOffset[3]) & kMask];
    // Per lane, the even combs take the lane's own input, the odd ones a tap.
    combPos = combPos + 1 == combRows ? 0 : combPos + 1;
    // The four lanes side by side: comb j of every lane in one vector.
    using Lanes = float __attribute__((vector_size(16)));
    auto load = [](const float* p) {
        Lanes v;
        std::memcpy(&v, p, sizeof v);
        return v;
    };
    const Lanes damping = load(laneDamp.data()), undamping = load(laneUndamp.data()),
                room = load(laneRoom.data());
    const Lanes even = {inL, inR, inL, inR};
    const Lanes odd = {tap3, tap4, tap1, tap2};
    float* row = combRing.get() + combPos * kCombs;
    float* mirror = row + combRows * kCombs;
    // A comb reads the row its length back: within the second copy, at a
    // fixed distance from the row being written.
    Lanes sums = {0.0f, 0.0f, 0.0f, 0.0f};
    auto comb = [&](int c, const Lanes& in) {
        const Lanes x = {row[combRead[c]], row[combRead[c + 1]], row[combRead[c + 2]],
                         row[combRead[c + 3]]};
        const Lanes store = load(&combStore[c]) * damping + x * undamping;
        std::memcpy(&combStore[c], &store, sizeof store);
        const Lanes written = in + store * room;
        std::memcpy(row + c, &written, sizeof written);
        std::memcpy(mirror + c, &written, sizeof written);
        sums += x;
    };
    for (int j = 0; j < kCombsPerLane; j += 2) {
        comb(j * kLanes, even);
        comb((j + 1) * kLanes, odd);
    }

    // High-pass, then the allpasses, all four lanes in one vector: lanes 0
    // and 1 read their row at the first chain's length back, 2 and 3 at the
    // second's.
    Lanes y = sums;
    if (hpCoef > 0.0f) {
        Lanes hp = load(hpState.data());
        hp = hp * (1.0f - hpCoef) + y * hpCoef;
        std::memcpy(hpState.data(), &hp, sizeof hp);
        y -= hp;
    }
    const int allpassMask = this->allpassMask;
    allpassPos = (allpassPos + 1) & allpassMask;
    const int writeAt = allpassPos * kLanes;
    for (int s = 0; s < kAllpassStages; ++s) {
        float* stage = allpassBuf.get() + static_cast<std::size_t>(s) * kAllpassRing * kLanes;
        double first, second;
        std::memcpy(&first, stage + ((allpassPos - allpassLen[0][s]) & allpassMask) * kLanes,
                    sizeof first);
        std::memcpy(&second, stage + ((allpassPos - allpassLen[2][s]) & allpassMask) * kLanes + 2,
                    sizeof second);
        const Lanes b = (Lanes)_mm_set_pd(second, first);
        const Lanes out = kAllpassGain * b + y + 1e-8f;
        std::memcpy(stage + writeAt, &out, sizeof out);
        y = b - y;
    }
    o1 = y[0];
    o2 = y[1];
    o3 = y[2];
    o4 = y[3];
}
