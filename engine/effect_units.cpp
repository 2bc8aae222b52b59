// The effect chain's shared tables and its LFO step (units in effects.h).

#include "engine/effects.h"

#include "core/numeric.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <emmintrin.h>
#include <memory>
#include <mutex>
#include <type_traits>

// ------------------------------------------------------------------ shared tables

namespace {

constexpr double kTwoPi = 6.283185307179586;

struct TableNode {
    EffectTables tables;
    TableNode* next = nullptr;
};

// The tables of the rates that instances hold, newest first; walked, grown
// and pruned only under the lock. The list is constant-initialised and never
// destroyed: an instance that a host closes after the library's static
// objects are gone still gives its reference back and frees what no one
// holds. Each node goes with its last reference, so nothing is left once
// every instance is closed.
struct TableList {
    TableNode* head = nullptr;
    std::mutex lock;
};
static_assert(std::is_trivially_destructible_v<TableList>);

TableList& tableList() {
    constinit static TableList list;
    return list;
}

void build(EffectTables& t, float rate) {
    t.sampleRate = rate;
    const double r = rate;
    for (int i = 0; i < EffectTables::kSize; ++i) {
        const double x = i / 65535.0;
        t.lowPass[i] = static_cast<float>(20.0 * std::exp2(11.0 * x) / (2.0 * r));
        const double w = kTwoPi * 15.0 * std::exp2(10.0 * x) / r;
        t.sine[i] = static_cast<float>(std::sin(w));
        t.cosine[i] = static_cast<float>(std::cos(w));
    }
}

// Unlinks and frees every node without users; the caller holds the lock.
void collectLocked(TableList& list) {
    for (TableNode** at = &list.head; *at;) {
        TableNode* n = *at;
        if (n->tables.users.load(std::memory_order_acquire) == 0) {
            *at = n->next;
            delete n;
        } else {
            at = &n->next;
        }
    }
}

} // namespace

const EffectTables* EffectTables::acquire(float rate) {
    TableList& list = tableList();
    std::lock_guard<std::mutex> lock(list.lock);
    for (TableNode* n = list.head; n; n = n->next)
        if (n->tables.sampleRate == rate) {
            n->tables.users.fetch_add(1, std::memory_order_relaxed);
            return &n->tables;
        }
    collectLocked(list);
    auto node = std::make_unique<TableNode>();
    build(node->tables, rate);
    node->tables.users.store(1, std::memory_order_relaxed);
    node->next = list.head;
    list.head = node.get();
    return &node.release()->tables;
}

void EffectTables::release(const EffectTables* tables) {
    if (tables) tables->users.fetch_sub(1, std::memory_order_release);
}

void EffectTables::collect() {
    TableList& list = tableList();
    std::lock_guard<std::mutex> lock(list.lock);
    collectLocked(list);
}

int EffectTables::liveCount() {
    TableList& list = tableList();
    std::lock_guard<std::mutex> lock(list.lock);
    int n = 0;
    for (TableNode* t = list.head; t; t = t->next) ++n;
    return n;
}

void EffectChainState::useTables(const EffectTables* next) {
    EffectTables::release(retiredTables.exchange(tables.exchange(next)));
}

EffectChainState::~EffectChainState() {
    EffectTables::release(tables.exchange(nullptr));
    EffectTables::release(retiredTables.exchange(nullptr));
    EffectTables::release(pendingTables.exchange(nullptr));
    EffectTables::collect();
}

// ------------------------------------------------------------------ effect LFO

namespace {

// The fractional part of a phase that is never negative.
double fraction(double x) {
    return x - static_cast<double>(static_cast<long long>(x));
}

// The sine table's index of position p shaped around the symmetry point,
// clamped to 0..1 (NaN reads index 0).
int shapedIndex(double p, const LfoShaping& sh) {
    p = p < sh.shapePoint ? p * sh.shapeLo : (p - sh.shapePoint) * sh.shapeHi + 0.5;
    // max then min, without branches: a NaN p takes the 0 of the max.
    const __m128d clamped =
        _mm_min_sd(_mm_max_sd(_mm_set_sd(p), _mm_setzero_pd()), _mm_set_sd(1.0));
    return _mm_cvttsd_si32(_mm_mul_sd(clamped, _mm_set_sd(65535.99)));
}

} // namespace

EffectLfoReadyInputs::EffectLfoReadyInputs(const EffectLfoInputs& in)
    : rate(clampTo(in.rate, 0.0, 1.0)), thirdRate(clampTo(in.thirdRate, 0.0, 1.0)),
      stereoRate(clampTo(in.stereoRate, 0.0, 16.0)), phase(finiteOr(in.phase, 0.0)),
      separation(finiteOr(in.separation, 0.0)), humDepth(clampTo(in.humDepth, -4.0f, 4.0f)),
      third(in.third), shaping(in.shaping) {}

namespace {

[[gnu::always_inline]] inline void stepOne(EffectLfoState& s, const EffectLfoReadyInputs& in,
                                           const float* sine, RandSeed& humSource) {
    using Lanes = EffectLfoState::Lanes;
    using Ints = int __attribute__((vector_size(16)));
    const LfoShaping& sh = *in.shaping;
    s.outLanes = s.target;

    // Positions, shaped around the symmetry point, read from the sine (the
    // third one only where it is read; otherwise its lane holds 0).
    Lanes v = {};
    v[0] = sine[shapedIndex(fraction(s.phaseLeft + 10.0 + in.phase), sh)];
    v[1] = sine[shapedIndex(fraction(s.phaseRight + 10.0 + in.phase + in.separation), sh)];
    if (in.third) v[2] = sine[shapedIndex(fraction(s.phaseThird + 10.0 + in.phase), sh)];

    s.phaseLeft += in.rate * s.hum;
    s.phaseRight += in.rate * s.hum * in.stereoRate;
    s.phaseThird = fraction(s.phaseThird + in.thirdRate * s.hum);
    if (s.phaseLeft >= 1.0) {
        s.phaseLeft = fraction(s.phaseLeft);
        const double r = humSource.nextUnipolar();
        s.hum = std::exp2((2.0 * r - 1.0) * in.humDepth);
    }
    if (s.phaseRight >= 1.0) s.phaseRight = fraction(s.phaseRight);

    // Gains by sign (one gain when all three have the same bits: one 8-byte
    // comparison; setBias never makes a -0, so alike values have alike
    // bits), then the step quantiser, which holds between wraps. The three
    // lanes at once.
    const Lanes zero = {};
    const auto& bias = sh.biasFactor;
    uint64_t negativeAndZero, zeroAndPositive;
    std::memcpy(&negativeAndZero, &bias[0], sizeof negativeAndZero);
    std::memcpy(&zeroAndPositive, &bias[1], sizeof zeroAndPositive);
    if (negativeAndZero == zeroAndPositive) {
        v *= bias[0];
    } else {
        const Lanes gain =
            v > zero ? Lanes{} + bias[2] : (v == zero ? Lanes{} + bias[1] : Lanes{} + bias[0]);
        v *= gain;
    }
    s.stepAcc += sh.shInc;
    if (s.stepAcc >= 1.0) {
        s.stepAcc = fraction(s.stepAcc);
        // |v| <= 1 and bitsQ <= 2^17: the integer part fits. The whole part
        // toward zero, carrying the sign of a negative v even when it is 0
        // (a zero v gives +0).
        const Ints whole = __builtin_convertvector(v * sh.bitsQ, Ints);
        const Ints negative = v < zero;
        const Ints signBit = negative & (Ints{} + static_cast<int>(0x80000000u));
        const Lanes truncated = (Lanes)((Ints) __builtin_convertvector(whole, Lanes) | signBit);
        s.held = truncated * sh.bitsInvQ;
    }
    s.target = s.held;
    s.ramp = (s.target - s.outLanes) * 0.25f;
}

} // namespace

void EffectLfo::step(EffectLfoState& s, const EffectLfoReadyInputs& in, const float* sine,
                     RandSeed& humSource) {
    stepOne(s, in, sine, humSource);
}

void EffectLfo::stepTwo(EffectLfoState& a, const EffectLfoReadyInputs& inA, EffectLfoState& b,
                        const EffectLfoReadyInputs& inB, const float* sine, RandSeed& humSource) {
    stepOne(a, inA, sine, humSource);
    stepOne(b, inB, sine, humSource);
}

// ------------------------------------------------------------------ reverb loop gain

// The quarter turn q nearest to 4t and y = (4t - q) x pi / 2 within +-pi/4:
// sin(2 pi t) is sin y, cos y, -sin y or -cos y by q. The Taylor series
// alternate with falling terms, so the error is below the first term left
// out: y^11 / 11! < 1.8e-9 and y^12 / 12! < 1.2e-10 (rounding adds ~1e-15).
double ReverbLoopGain::sineOfTurns(double t) {
    const double u = 4.0 * t;
    const int q = static_cast<int>(u + 0.5); // 0..4
    const double y = (u - static_cast<double>(q)) * (kTwoPi / 4.0);
    const double y2 = y * y;
    const double v =
        q & 1 ? 1.0 + y2 * (-1.0 / 2.0 +
                            y2 * (1.0 / 24.0 +
                                  y2 * (-1.0 / 720.0 + y2 * (1.0 / 40320.0 - y2 / 3628800.0))))
              : y * (1.0 +
                     y2 * (-1.0 / 6.0 + y2 * (1.0 / 120.0 + y2 * (-1.0 / 5040.0 + y2 / 362880.0))));
    return q & 2 ? -v : v;
}

float ReverbLoopGain::plain(double t) {
    return factor(std::sin(kTwoPi * t));
}

float ReverbLoopGain::of(double t) {
    if (!(t >= 0.0 && t < 1.0)) return plain(t);
    const double s = sineOfTurns(t);
    const float lo = factor(s - kSineError), hi = factor(s + kSineError);
    return lo == hi ? lo : plain(t);
}

// sineOfTurns() and of() lane by lane, two positions a vector: both
// polynomials, the quarter turn's pick and sign by mask.
void ReverbLoopGain::of4(const double (&t)[4], float (&out)[4]) {
    using Pair = double __attribute__((vector_size(16)));
    const __m128i one = _mm_set1_epi32(1), two = _mm_set1_epi32(2);
    __m128 lo[2], hi[2];
    int outside = 0;
    for (int h = 0; h < 2; ++h) {
        Pair x;
        std::memcpy(&x, &t[2 * h], sizeof x);
        outside |= _mm_movemask_pd((__m128d) ~((x >= 0.0) & (x < 1.0))) << (2 * h);
        const Pair u = 4.0 * x;
        const __m128i q = _mm_cvttpd_epi32(u + 0.5);
        const Pair y = (u - _mm_cvtepi32_pd(q)) * (kTwoPi / 4.0);
        const Pair y2 = y * y;
        const Pair cosine =
            1.0 +
            y2 * (-1.0 / 2.0 +
                  y2 * (1.0 / 24.0 + y2 * (-1.0 / 720.0 + y2 * (1.0 / 40320.0 - y2 / 3628800.0))));
        const Pair sine =
            y *
            (1.0 + y2 * (-1.0 / 6.0 + y2 * (1.0 / 120.0 + y2 * (-1.0 / 5040.0 + y2 / 362880.0))));
        const __m128i lanes = _mm_unpacklo_epi32(q, q); // q in both halves of each lane
        const Pair odd = (Pair)_mm_cmpeq_epi32(_mm_and_si128(lanes, one), one);
        const Pair sign = (Pair)_mm_slli_epi64(_mm_and_si128(lanes, two), 62);
        const Pair v =
            (Pair)_mm_xor_pd(_mm_or_pd(_mm_and_pd(odd, cosine), _mm_andnot_pd(odd, sine)), sign);
        lo[h] = _mm_cvtpd_ps(v - kSineError);
        hi[h] = _mm_cvtpd_ps(v + kSineError);
    }
    using Quad = float __attribute__((vector_size(16)));
    const Quad low = 1.0f + kDepth * (Quad)_mm_movelh_ps(lo[0], lo[1]);
    const Quad high = 1.0f + kDepth * (Quad)_mm_movelh_ps(hi[0], hi[1]);
    std::memcpy(out, &low, sizeof out);
    const int ask = outside | _mm_movemask_ps((__m128)(low != high));
    if (ask)
        for (int k = 0; k < 4; ++k)
            if (ask >> k & 1) out[k] = plain(t[k]);
}
