// Voice filter families: the 21 filter types of a lane and its resonant
// high-pass, as plain classes that work on their own.
//
// Units and calibration (all families):
//   - The filters run at twice the sample rate r: every frame a lane hands
//     two sub-samples, processed in order with the same state.
//   - Cut-off in Hz, held by the caller at or below 0.2 * 2r (the ceiling);
//     resonance q in 0..0.9.
//   - Coefficients come from the curve tables of engine/filter_curves.h,
//     indexed by the cut-off as a fraction of the doubled rate,
//     i = int(Hz * 262143.98 / (2r)) (FilterContext::index); no exponential or
//     trigonometric function runs per sample. retune() recomputes them only
//     when the cut-off or the resonance moved by more than 0.0001 (the
//     resonance-only terms, which need exp2 or a root, only when q moved).
//   - Levels: the caller scales the input by 0.05 before the filter and the
//     output by 10 after the high-pass, so signals inside are about 1/20 of
//     full scale. The saturating terms below are calibrated for that level.
//   - Every recursive state of the state-variable, zero-delay, biquad,
//     ladder and high-pass paths has 1e-15 added to each value written, which
//     keeps it out of the denormal range.
//
// Layout: each family keeps its coefficients and state in plain floats and
// its per-sample step (always inlined, so that the state stays in registers
// across a frame's two sub-samples) is straight-line arithmetic with no branch that depends
// on the signal, so the lanes of a voice (which always share the type) can be
// run as one 4-wide vector later by swapping float for a vector type. The
// comb's ring is the one exception (each lane reads its own delay).
//
// Use:
//   const FilterContext ctx = FilterContext::at(engineTables().filterCurves, rate);
//   LaneFilter f;                                   // one per lane
//   f.retune<kFilter24LpII>(ctx, hz, q);            // every frame; cheap when unchanged
//   f.run<kFilter24LpII>(ctx, ring, x0, x1);        // both sub-samples, in place
//   ResonantHighPass hp;  y = hp.tick(x, F, Q);     // coefficients per voice
// retune<T>() and run<T>() take the type as a template argument so the output
// selection costs nothing; retune(type, ...) and run(type, ...) dispatch at
// run time for tests and tools. reset() clears state and coefficients (the
// next retune() then recomputes them).
#pragma once

#include "core/numeric.h"
#include "engine/filter_curves.h"
#include "engine/simd4.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <type_traits>

// Steps of "Filter Type".
enum FilterType : int {
    kFilterBypass = 0,
    kFilter12Lp = 1,
    kFilter12Hp = 2,
    kFilter12Bp = 3,
    kFilter12Notch = 4,
    kFilter12LpZ = 5,
    kFilter12HpZ = 6,
    kFilter12BpZ = 7,
    kFilter12NotchZ = 8,
    kFilter24LpI = 9,
    kFilter24LpII = 10,
    kFilter24Hp = 11,
    kFilter24Bp = 12,
    kFilter24Notch = 13,
    kFilter24LpZ = 14,
    kFilter24HpZ = 15,
    kFilter24BpZ = 16,
    kFilter24NotchZ = 17,
    kFilterCombPlus = 18,
    kFilterCombMinus = 19,
    kFilterRingMod = 20,
    kFilterAmpMod = 21,
    kFilterTypeCount = 22,
};

inline constexpr float kFilterAntiDenormal = 1e-15f;

// The four outputs of the families that have them, in the order of their
// types (LP, HP, BP, N).
enum FilterOutput : int { kLowPass = 0, kHighPass = 1, kBandPass = 2, kNotch = 3 };

template <FilterOutput O, class Family> inline auto selectOutput(const Family& f) {
    if constexpr (O == kLowPass) return f.lowPass();
    if constexpr (O == kHighPass) return f.highPass();
    if constexpr (O == kBandPass) return f.bandPass();
    if constexpr (O == kNotch) return f.notch();
}

// What coefficient updates need besides the cut-off: the curve tables and the
// sample rate.
struct FilterContext {
    const FilterCurves* curves = nullptr;
    float sampleRate = 44100.0f;
    float indexPerHz = 0.0f;    // 262143.98 / (2r): curve index of 1 Hz
    float invDoubleRate = 0.0f; // 1 / (2r)

    static FilterContext at(const FilterCurves& curves, float sampleRate) {
        FilterContext c;
        c.curves = &curves;
        c.sampleRate = sampleRate;
        c.invDoubleRate = 1.0f / (2.0f * sampleRate);
        c.indexPerHz = kFilterCurveIndexScale * c.invDoubleRate;
        return c;
    }
    // Curve index of a cut-off; 0 for NaN or negative, the last entry for
    // anything at or above the doubled rate.
    int index(float hz) const { return truncTo(hz * indexPerHz, 0, kFilterCurveSize - 1); }
    // The same for four lanes.
    I4 index(F4 hz) const {
        const F4 i = hz * indexPerHz;
        const F4 top = static_cast<float>(kFilterCurveSize - 1);
        return truncate(select(i > F4(0.0f), stdMin(i, top), F4(0.0f)));
    }
};

// ------------------------------------------------------------------ 12 dB state-variable
// Types 1-4 "12dB LP/HP/BP/N" (and the second half of type 9): Chamberlin's
// two-integrator loop with a soft limit on the band state.
//   F = 2 sin(pi Hz / 2r) (SIN_HALF), D = 1 - q (damping 1 .. 0.1).
//   Per sub-sample: B' = (1 - 0.001 B^2) B; H = x - L - D B'; B = F H + B';
//   L = F B + L. The cubic term compresses the band state above about 3
//   (1% at 3.2), far above the 1/20-scale signal, and keeps the loop bounded
//   at the top resonance.
//   Outputs: low L, high H, band 1.4142135 B, notch 0.70710677 (L + H)
//   (= 0.70710677 (x - D B'), zero at the cut-off; L - H would instead peak
//   there, H and L being in phase opposition around it).
template <class T = float> class StateVariable12T {
public:
    template <class I> void setCutoff(const FilterCurves& c, const I& index) {
        f = 2.0f * gather(c.SIN_HALF.data(), index);
    }
    void setResonance(T q) { d = 1.0f - q; }
    void reset() { low = band = high = 0.0f; }

    // Grouped so that the chain from one state to the next is a multiply and
    // an add; the bracketed terms run beside it.
    [[gnu::always_inline]] void tick(T x) {
        const T b = band - (band * band) * (0.001f * band); // (1 - 0.001 B^2) B
        high = (x - low) - d * b;
        band = f * high + (b + kFilterAntiDenormal);
        low = f * band + (low + kFilterAntiDenormal);
    }
    template <FilterOutput O> [[gnu::always_inline]] T process(T x) {
        tick(x);
        return selectOutput<O>(*this);
    }
    T lowPass() const { return low; }
    T highPass() const { return high; }
    T bandPass() const { return band * 1.4142135f; }
    T notch() const { return (low + high) * 0.70710677f; }

    T f = 0.0f, d = 1.0f;
    T low = 0.0f, band = 0.0f, high = 0.0f;
};
using StateVariable12 = StateVariable12T<>;

// ------------------------------------------------------------------ zero-delay stage
// One topology-preserving (zero-delay feedback) state-variable stage, the
// building block of types 5-8 and 14-17.
//   g = tan-like prewarped gain (TAN_HALF: sin(pi x) / (cos(pi x) + 0.0015),
//   x = Hz / 2r), k = 2R the damping, h = 1 / (g^2 + g k + 1).
//   HP = (x - (k + g) s1 - s2) h; BP = s1 + g HP; LP = s2 + g BP;
//   s1 = g HP + BP; s2 = g BP + LP.
//   Unity gain at DC (LP) and at the top (HP); BP peaks at 1/k at the cut-off.
template <class T = float> struct ZeroDelayStageT {
    T g = 0.0f, k = 1.0f, h = 1.0f;
    T kg = 1.0f; // k + g
    T s1 = 0.0f, s2 = 0.0f;
    T hp = 0.0f, bp = 0.0f, lp = 0.0f; // outputs of the last tick

    void design(T gain, T damping) {
        g = gain;
        k = damping;
        kg = k + g;
        h = 1.0f / (g * g + g * k + 1.0f);
    }
    void reset() { s1 = s2 = hp = bp = lp = 0.0f; }
    [[gnu::always_inline]] void tick(T x) {
        hp = (x - kg * s1 - s2) * h;
        bp = s1 + g * hp;
        lp = s2 + g * bp;
        s1 = g * hp + bp + kFilterAntiDenormal;
        s2 = g * bp + lp + kFilterAntiDenormal;
    }
};
using ZeroDelayStage = ZeroDelayStageT<>;

// Types 5-8 "12dB LP/HP/BP/N Z": one zero-delay stage with R = 0.5 2^(-5q)
// (k = 2R = 1 at q = 0, 0.044 at q = 0.9).
//   Outputs: low LP, high HP, band 2 BP (peak 2/k), notch LP + HP.
template <class T = float> class ZeroDelay12T {
public:
    void setResonance(float q) { k = std::exp2(-5.0f * q); }
    template <class I> void setCutoff(const FilterCurves& c, const I& index) {
        stage.design(gather(c.TAN_HALF.data(), index), k);
    }
    void reset() { stage.reset(); }

    [[gnu::always_inline]] void tick(T x) { stage.tick(x); }
    template <FilterOutput O> [[gnu::always_inline]] T process(T x) {
        stage.tick(x);
        return selectOutput<O>(*this);
    }
    T lowPass() const { return stage.lp; }
    T highPass() const { return stage.hp; }
    T bandPass() const { return 2.0f * stage.bp; }
    T notch() const { return stage.lp + stage.hp; }

    T k = 1.0f;
    ZeroDelayStageT<T> stage;
};
using ZeroDelay12 = ZeroDelay12T<>;

// Types 14-17 "24dB LP/HP/BP/N Z": two zero-delay stages in series, the first
// without resonance (k1 = 1), the second with R2 = 0.5 2^(-3q) (k2 = 1 ..
// 0.154). Each stage passes on the output of the type: LP, HP, 1.4142135 BP
// or LP + HP.
template <class T = float> class ZeroDelay24T {
public:
    void setResonance(float q) { k2 = std::exp2(-3.0f * q); }
    template <class I> void setCutoff(const FilterCurves& c, const I& index) {
        const T g = gather(c.TAN_HALF.data(), index);
        first.design(g, 1.0f);
        second.design(g, k2);
    }
    void reset() {
        first.reset();
        second.reset();
    }

    template <FilterOutput O> [[gnu::always_inline]] T process(T x) {
        first.tick(x);
        second.tick(select<O>(first));
        return select<O>(second);
    }

    T k2 = 1.0f;
    ZeroDelayStageT<T> first, second;

private:
    template <FilterOutput O> static T select(const ZeroDelayStageT<T>& s) {
        if constexpr (O == kLowPass) return s.lp;
        if constexpr (O == kHighPass) return s.hp;
        if constexpr (O == kBandPass) return s.bp * 1.4142135f;
        if constexpr (O == kNotch) return s.lp + s.hp;
    }
};
using ZeroDelay24 = ZeroDelay24T<>;

// ------------------------------------------------------------------ biquad + state-variable
// Type 9 "24dB LP I": a two-pole biquad low-pass followed by the 12 dB
// state-variable low-pass (which carries the resonance).
//   c = cot-like curve (COT_HALF: cos(pi x) / (sin(pi x) + 0.0015), x = Hz / 2r),
//   k = sqrt(8) c, a = 1 / (k + 1.001 + c^2); b0 = a, b1 = 2a, b2 = a,
//   a1 = 2 (1 - c^2) a, a2 = (c^2 + 1 - k) a (a damped pair of poles,
//   Q = 1/sqrt(8), DC gain 4 / 4.001).
//   y = b0 x + b1 x[n-1] + b2 x[n-2] - a1 y[n-1] - a2 y[n-2] (direct form I).
template <class T = float> class BiquadLowPass24T {
public:
    void setResonance(T q) { svf.setResonance(q); }
    template <class I> void setCutoff(const FilterCurves& c, const I& index) {
        const T cot = gather(c.COT_HALF.data(), index);
        const T c2 = cot * cot;
        const T k = 2.8284271f * cot;
        const T a = 1.0f / (k + 1.001f + c2);
        b0 = a;
        b1 = 2.0f * a;
        b2 = a;
        a1 = 2.0f * (1.0f - c2) * a;
        a2 = (c2 + 1.0f - k) * a;
        svf.setCutoff(c, index);
    }
    void reset() {
        x1 = x2 = y1 = y2 = 0.0f;
        svf.reset();
    }

    [[gnu::always_inline]] T process(T x) {
        const T y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2 + kFilterAntiDenormal;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        svf.tick(y);
        return svf.lowPass();
    }

    T b0 = 0.0f, b1 = 0.0f, b2 = 0.0f, a1 = 0.0f, a2 = 0.0f;
    T x1 = 0.0f, x2 = 0.0f, y1 = 0.0f, y2 = 0.0f;
    StateVariable12T<T> svf;
};
using BiquadLowPass24 = BiquadLowPass24T<>;

// ------------------------------------------------------------------ ladder
// Types 10-13 "24dB LP II/HP/BP/N": four one-pole stages with a zero at
// Nyquist, y' = (u[n-1] + u) G - P y, and global feedback of the last stage.
//   G = LADDER_G = 4x(1 - x), P = 2G - 1 (LADDER_P), x = Hz / 2r: each stage
//   has unity gain at DC. Feedback K = 0.9 q LADDER_R, where LADDER_R
//   (3.8 at x = 0 .. 1 at x = 0.5) compensates the loop's phase so that the
//   resonance is even over the range; K stays below 3.1, under the loop's
//   oscillation point.
//   u = x - K y4; the last stage is softened, y4 = (1 - 0.166666 y4^2) y4
//   (1% at 0.25, bounded by its peak 0.943 up to |y4| = 2.45).
//   Outputs: low y4; high 0.70710677 (u - y4) (a gentle slope: 6 dB per
//   octave well below the cut-off); band 4 (y3 - y4); notch
//   u - 4 y1 + 8 y2 - 8 y3 + 4 y4 = (1 - 2H + 2H^2)^2 u for the stage
//   response H, unity at DC and Nyquist and zero at the cut-off, where
//   H = (1 - j) / 2. (A notch mixed from the band output cannot work: at the
//   cut-off 4 (y3 - y4) is -j u, in quadrature with u.)
template <class T = float> class Ladder24T {
public:
    template <class I> void setCutoff(const FilterCurves& c, const I& index, T q) {
        p = gather(c.LADDER_P.data(), index);
        g = gather(c.LADDER_G.data(), index);
        k = q * 0.9f * gather(c.LADDER_R.data(), index);
    }
    void reset() { u1 = y1 = y2 = y3 = y4 = u = 0.0f; }

    // Returns the new y4.
    [[gnu::always_inline]] T tick(T x) {
        // Each stage as g * (new input) + (terms of the previous sample),
        // so the chain through the four stages is one multiply and one add
        // each; the bracketed terms do not wait for it.
        const T in = x - k * y4;
        const T n1 = g * in + (g * u1 - p * y1 + kFilterAntiDenormal);
        const T n2 = g * n1 + (g * y1 - p * y2 + kFilterAntiDenormal);
        const T n3 = g * n2 + (g * y2 - p * y3 + kFilterAntiDenormal);
        const T n4 = g * n3 + (g * y3 - p * y4);
        // (1 - 0.166666 n4^2) n4, written as n4 - n4^2 (0.166666 n4).
        const T out = (n4 + kFilterAntiDenormal) - (n4 * n4) * (0.166666f * n4);
        y1 = n1;
        y2 = n2;
        y3 = n3;
        y4 = out;
        u1 = u = in;
        return out;
    }
    template <FilterOutput O> [[gnu::always_inline]] T process(T x) {
        if constexpr (O == kLowPass) {
            return tick(x);
        } else {
            tick(x);
            return selectOutput<O>(*this);
        }
    }
    T lowPass() const { return y4; }
    T highPass() const { return (u - y4) * 0.70710677f; }
    T bandPass() const { return (y3 - y4) * 4.0f; }
    T notch() const { return u - 4.0f * y1 + 8.0f * y2 - 8.0f * y3 + 4.0f * y4; }

    T p = -1.0f, g = 0.0f, k = 0.0f;
    T u1 = 0.0f, y1 = 0.0f, y2 = 0.0f, y3 = 0.0f, y4 = 0.0f;
    T u = 0.0f; // feedback-corrected input of the last tick
};
using Ladder24 = Ladder24T<>;

// ------------------------------------------------------------------ comb
// Types 18 "Comb +" and 19 "Comb -": a feedback comb whose delay is one
// period of the cut-off, running at the frame rate.
//   Delay D = rate 256 / Hz in 1/256 samples, clamped (in float, before the
//   integer conversion) to 514 .. 8191 * 256, so the delay never exceeds 8191
//   frames of the 8192-frame ring: 20 Hz at 44.1 kHz is 2205 frames.
//   Feedback g = (1.1 q)^(1/4) (0 .. 0.9975), negated for "Comb -".
//   Per frame, write position w in 1/256 samples (21 bits, whole samples):
//     y0 = clamp(x0 + g ring[(w - D) >> 8], -100, 100), written at w >> 8;
//     y1 = clamp(x1 + g ring[(w + 128 - D) >> 8], -100, 100), written over it;
//     w += 256.
//   The ring holds one value per frame (the second sub-sample's); the clamp
//   keeps the top feedback from running away.
class CombFilter {
public:
    static constexpr int kRingSize = 8192; // frames
    static constexpr int kRingMask = kRingSize - 1;
    static constexpr int32_t kMinDelay = 514;
    static constexpr int32_t kMaxDelay = (kRingSize - 1) * 256;
    static constexpr int32_t kPositionMask = (1 << 21) - 1;

    // Delay in 1/256 frames for a cut-off; NaN and zero give the longest.
    static int32_t delayFor(float hz, float sampleRate) {
        const float d = sampleRate * 256.0f / hz;
        if (!(d < static_cast<float>(kMaxDelay))) return kMaxDelay; // also NaN and inf
        return d > static_cast<float>(kMinDelay) ? static_cast<int32_t>(d) : kMinDelay;
    }
    void setCutoff(float hz, float sampleRate) { delay = delayFor(hz, sampleRate); }
    void setResonance(float q, bool negative) {
        const float r = std::sqrt(std::sqrt(std::max(1.1f * q, 0.0f)));
        gain = negative ? -r : r;
    }
    void reset() { position = 0; }

    // ring: kRingSize floats, cleared along with reset().
    void frame(float* ring, float& x0, float& x1) {
        const int32_t w = position;
        const float r0 = ring[((w - delay) >> 8) & kRingMask];
        const float y0 = std::clamp(x0 + gain * r0, -100.0f, 100.0f);
        ring[(w >> 8) & kRingMask] = y0;
        const float r1 = ring[((w + 128 - delay) >> 8) & kRingMask];
        const float y1 = std::clamp(x1 + gain * r1, -100.0f, 100.0f);
        ring[((w + 128) >> 8) & kRingMask] = y1;
        position = (w + 256) & kPositionMask;
        x0 = y0;
        x1 = y1;
    }

    int32_t delay = kMinDelay;
    float gain = 0.0f;
    int32_t position = 0; // 1/256 frames
};

// ------------------------------------------------------------------ sine modulators
// Types 20 "Ring Mod" and 21 "Amp Mod": the input times a sine at the cut-off
// frequency, blended with the dry input by q.
//   Phase: 32-bit fixed point (2^32 = one cycle), increment Hz / 2r per
//   sub-sample; m = sin(2 pi phase) from SIN_HALF (half a cycle in 2^18
//   entries, error below 1.2e-5), read before each advance.
//   Ring: y = (m q + 1 - q) x; amp: y = ((0.5 m + 0.5) q + 1 - q) x.
class SineModulator {
public:
    void setCutoff(float hz, float invDoubleRate) {
        const double cycles = clampTo(static_cast<double>(hz) * invDoubleRate, 0.0, 0.5);
        increment = static_cast<uint32_t>(cycles * 4294967296.0);
    }
    void reset() { phase = 0; }

    float sine(const float* sinHalf) {
        const float s = sinHalf[(phase >> 13) & (kFilterCurveSize - 1)];
        const float m = (phase & 0x80000000u) ? -s : s;
        phase += increment;
        return m;
    }
    float ring(const float* sinHalf, float x, float q) {
        return (sine(sinHalf) * q + (1.0f - q)) * x;
    }
    float amp(const float* sinHalf, float x, float q) {
        return ((sine(sinHalf) * 0.5f + 0.5f) * q + (1.0f - q)) * x;
    }

    uint32_t phase = 0, increment = 0;
};

// ------------------------------------------------------------------ high-pass
// The optional resonant high-pass after every type: the state-variable loop
// of StateVariable12, its high output.
//   F = 2 SIN_HALF[Hz] (Hz held at the ceiling); Q = 1 without resonance,
//   1 - 0.9 r with it (r = resonance 0..1, so 1 .. 0.1).
//   Per sub-sample: B' = (1 - 0.001 B^2) B; H = x - L - Q B'; B = F H + B';
//   L = F B + L; output H. The coefficients are per voice; the caller
//   passes them in.
template <class T = float> class ResonantHighPassT {
public:
    void reset() { low = band = 0.0f; }
    [[gnu::always_inline]] T tick(T x, T f, T q) {
        const T b = band - (band * band) * (0.001f * band); // (1 - 0.001 B^2) B
        const T h = (x - low) - q * b;
        band = f * h + (b + kFilterAntiDenormal);
        low = f * band + (low + kFilterAntiDenormal);
        return h;
    }

    T low = 0.0f, band = 0.0f;
};
using ResonantHighPass = ResonantHighPassT<>;

// ------------------------------------------------------------------ one lane
// Every family's state for one lane, the type's coefficients, and the
// change detection: retune() recomputes only when the cut-off or the
// resonance moved (or after reset()).
class LaneFilter {
public:
    static constexpr float kChange = 0.0001f;

    template <int Type>
    void retune(const FilterContext& ctx, float hz, float q, bool force = false);
    template <int Type> void run(const FilterContext& ctx, float* ring, float& x0, float& x1);

    // The same with the type chosen at run time (any step outside 1..21
    // passes the signal).
    void retune(int type, const FilterContext& ctx, float hz, float q, bool force = false);
    void run(int type, const FilterContext& ctx, float* ring, float& x0, float& x1);

    void reset() { *this = LaneFilter{}; }

    float cutoff() const { return hz_; }   // Hz of the current coefficients, -1 none
    float resonance() const { return q_; } // q of the current coefficients, -1 none
    int32_t combDelay() const { return comb_.delay; }

private:
    float hz_ = -1.0f, q_ = -1.0f;
    StateVariable12 svf_;
    ZeroDelay12 zdf_;
    BiquadLowPass24 biquad_;
    Ladder24 ladder_;
    ZeroDelay24 zdf24_;
    CombFilter comb_;
    SineModulator mod_;
};

template <int Type>
inline void LaneFilter::retune(const FilterContext& ctx, float hz, float q, bool force) {
    if constexpr (Type < kFilter12Lp || Type >= kFilterTypeCount) {
        return;
    } else {
        const bool qMoved = force || std::fabs(q - q_) > kChange;
        if (!qMoved && !(std::fabs(hz - hz_) > kChange)) return;
        hz_ = hz;
        q_ = q;
        const FilterCurves& c = *ctx.curves;
        if constexpr (Type <= kFilter12Notch) {
            svf_.setResonance(q);
            svf_.setCutoff(c, ctx.index(hz));
        } else if constexpr (Type <= kFilter12NotchZ) {
            if (qMoved) zdf_.setResonance(q);
            zdf_.setCutoff(c, ctx.index(hz));
        } else if constexpr (Type == kFilter24LpI) {
            biquad_.setResonance(q);
            biquad_.setCutoff(c, ctx.index(hz));
        } else if constexpr (Type <= kFilter24Notch) {
            ladder_.setCutoff(c, ctx.index(hz), q);
        } else if constexpr (Type <= kFilter24NotchZ) {
            if (qMoved) zdf24_.setResonance(q);
            zdf24_.setCutoff(c, ctx.index(hz));
        } else if constexpr (Type <= kFilterCombMinus) {
            if (qMoved) comb_.setResonance(q, Type == kFilterCombMinus);
            comb_.setCutoff(hz, ctx.sampleRate);
        } else {
            mod_.setCutoff(hz, ctx.invDoubleRate);
        }
    }
}

template <int Type>
inline void LaneFilter::run(const FilterContext& ctx, float* ring, float& x0, float& x1) {
    if constexpr (Type >= kFilter12Lp && Type <= kFilter12Notch) {
        constexpr auto o = static_cast<FilterOutput>(Type - kFilter12Lp);
        x0 = svf_.process<o>(x0);
        x1 = svf_.process<o>(x1);
    } else if constexpr (Type >= kFilter12LpZ && Type <= kFilter12NotchZ) {
        constexpr auto o = static_cast<FilterOutput>(Type - kFilter12LpZ);
        x0 = zdf_.process<o>(x0);
        x1 = zdf_.process<o>(x1);
    } else if constexpr (Type == kFilter24LpI) {
        x0 = biquad_.process(x0);
        x1 = biquad_.process(x1);
    } else if constexpr (Type >= kFilter24LpII && Type <= kFilter24Notch) {
        constexpr auto o = static_cast<FilterOutput>(Type - kFilter24LpII);
        x0 = ladder_.process<o>(x0);
        x1 = ladder_.process<o>(x1);
    } else if constexpr (Type >= kFilter24LpZ && Type <= kFilter24NotchZ) {
        constexpr auto o = static_cast<FilterOutput>(Type - kFilter24LpZ);
        x0 = zdf24_.process<o>(x0);
        x1 = zdf24_.process<o>(x1);
    } else if constexpr (Type == kFilterCombPlus || Type == kFilterCombMinus) {
        comb_.frame(ring, x0, x1);
    } else if constexpr (Type == kFilterRingMod) {
        const float* s = ctx.curves->SIN_HALF.data();
        x0 = mod_.ring(s, x0, q_);
        x1 = mod_.ring(s, x1, q_);
    } else if constexpr (Type == kFilterAmpMod) {
        const float* s = ctx.curves->SIN_HALF.data();
        x0 = mod_.amp(s, x0, q_);
        x1 = mod_.amp(s, x1, q_);
    }
    (void)ctx;
    (void)ring;
}

// ------------------------------------------------------------------ one lane of four
// Lane k of a family over F4 as the same family over float, and back. The
// families hold nothing but T members in the same order for both T, so
// member i of the float family is float k of member i of the wide one.
template <template <class> class Family>
inline Family<float> laneOf(const Family<F4>& wide, int k) {
    static_assert(sizeof(Family<F4>) == 4 * sizeof(Family<float>));
    constexpr int n = sizeof(Family<float>) / sizeof(float);
    Family<float> one;
    const float* from = reinterpret_cast<const float*>(&wide) + k;
    float* to = reinterpret_cast<float*>(&one);
    for (int i = 0; i < n; ++i) to[i] = from[4 * i];
    return one;
}
template <template <class> class Family>
inline void setLane(Family<F4>& wide, int k, const Family<float>& one) {
    constexpr int n = sizeof(Family<float>) / sizeof(float);
    const float* from = reinterpret_cast<const float*>(&one);
    float* to = reinterpret_cast<float*>(&wide) + k;
    for (int i = 0; i < n; ++i) to[4 * i] = from[i];
}

// ------------------------------------------------------------------ four lanes
// Four lanes side by side: the families above over F4, so one SSE2
// instruction steps all four, with the same arithmetic per lane as
// LaneFilter (bit-identical results). The lanes are the unison copies of one
// voice, or four voices with one copy each; so the resonance may be one for
// all lanes or one per lane. Each lane keeps its own change detection: a
// lane whose cut-off and resonance rest keeps its coefficients while another
// retunes. The comb and the sine modulators run lane by lane (each lane
// reads its own delay or phase).
class LaneFilter4 {
public:
    static constexpr float kChange = LaneFilter::kChange;

    // Lanes set in `enabled` take the cut-off hz (Hz, per lane) and the
    // resonance q (float: every lane's; F4: per lane) when either moved by
    // more than kChange, or when `force` is set for them.
    template <int Type, class Q>
    void retune(const FilterContext& ctx, F4 hz, Q q, F4 force, F4 enabled);
    // Both sub-samples of every lane in place; rings[k]: the comb ring of
    // lane k. The comb and the modulators run the first `copies` lanes only.
    template <int Type>
    void run(const FilterContext& ctx, float* const* rings, int copies, F4& x0, F4& x1);
    // The lanes set in `lanes` (bit k: lane k) alone; the others keep their
    // state as it was (their outputs are meaningless).
    template <int Type>
    void runLanes(const FilterContext& ctx, float* const* rings, int lanes, F4& x0, F4& x1);

    // The same with the type chosen at run time (tests, tools).
    void retune(int type, const FilterContext& ctx, F4 hz, float q, F4 force, F4 enabled);
    void retune(int type, const FilterContext& ctx, F4 hz, F4 q, F4 force, F4 enabled);
    void run(int type, const FilterContext& ctx, float* const* rings, int copies, F4& x0, F4& x1);
    void runLanes(int type, const FilterContext& ctx, float* const* rings, int lanes, F4& x0,
                  F4& x1);

    void reset() { *this = LaneFilter4{}; }
    void resetLane(int k); // lane k as after reset(), the others untouched

    float cutoff(int k) const { return w_.hz[k]; }
    float resonance(int k) const { return w_.q[k]; }
    int32_t combDelay(int k) const { return comb_[k].delay; }

private:
    // Everything that is four floats wide, so that one lane can be cleared
    // as a column.
    struct Wide {
        F4 hz = -1.0f, q = -1.0f;
        StateVariable12T<F4> svf;
        ZeroDelay12T<F4> zdf;
        BiquadLowPass24T<F4> biquad;
        Ladder24T<F4> ladder;
        ZeroDelay24T<F4> zdf24;
    };
    static_assert(sizeof(Wide) % sizeof(F4) == 0);

    // The family state a wide type runs on.
    template <int Type> auto& family() {
        if constexpr (Type <= kFilter12Notch)
            return (w_.svf);
        else if constexpr (Type <= kFilter12NotchZ)
            return (w_.zdf);
        else if constexpr (Type == kFilter24LpI)
            return (w_.biquad);
        else if constexpr (Type <= kFilter24Notch)
            return (w_.ladder);
        else
            return (w_.zdf24);
    }
    // Every F4 member of `now` takes `before` back in the lanes of `keep`.
    template <class Family> static void keepLanes(Family& now, const Family& before, F4 keep) {
        static_assert(sizeof(Family) % sizeof(F4) == 0);
        F4* to = reinterpret_cast<F4*>(&now);
        const F4* from = reinterpret_cast<const F4*>(&before);
        for (std::size_t i = 0; i < sizeof(Family) / sizeof(F4); ++i)
            to[i] = select(keep, from[i], to[i]);
    }
    static void takeDesign(ZeroDelayStageT<F4>& to, const ZeroDelayStageT<F4>& from, F4 m) {
        to.g = select(m, from.g, to.g);
        to.k = select(m, from.k, to.k);
        to.h = select(m, from.h, to.h);
        to.kg = select(m, from.kg, to.kg);
    }
    // 2^(scale q) in the lanes of `moved` (the others 0).
    static F4 exp2Lanes(float scale, float q, F4) { return std::exp2(scale * q); }
    static F4 exp2Lanes(float scale, F4 q, F4 moved) {
        F4 r;
        const int bits = maskBits(moved);
        for (int k = 0; k < 4; ++k)
            if (bits >> k & 1) r.set(k, std::exp2(scale * q[k]));
        return r;
    }
    static float laneValue(float q, int) { return q; }
    static float laneValue(F4 q, int k) { return q[k]; }
    // fn(k, sub-sample 0, sub-sample 1) for the first `copies` lanes (a
    // loop the compiler runs four-wide when it can), or for the lanes set in
    // `lanes`.
    template <class Fn> void eachLane(int copies, F4& x0, F4& x1, Fn&& fn) {
        for (int k = 0; k < copies; ++k) {
            float a = x0[k], b = x1[k];
            fn(k, a, b);
            x0.set(k, a);
            x1.set(k, b);
        }
    }
    template <class Fn> void eachLaneOf(int lanes, F4& x0, F4& x1, Fn&& fn) {
        for (int k = 0; k < 4; ++k) {
            if (!(lanes >> k & 1)) continue;
            float a = x0[k], b = x1[k];
            fn(k, a, b);
            x0.set(k, a);
            x1.set(k, b);
        }
    }
    // The comb and the modulators lane by lane: each(fn) calls fn for the
    // lanes that run (eachLane or eachLaneOf).
    template <int Type, class Each>
    void laneByLane(const FilterContext& ctx, float* const* rings, Each&& each);

    Wide w_;
    std::array<CombFilter, 4> comb_{};
    std::array<SineModulator, 4> mod_{};
};

inline void LaneFilter4::resetLane(int k) {
    static const Wide fresh{};
    float* to = reinterpret_cast<float*>(&w_);
    const float* from = reinterpret_cast<const float*>(&fresh);
    for (std::size_t i = static_cast<std::size_t>(k); i < sizeof(Wide) / sizeof(float); i += 4)
        to[i] = from[i];
    comb_[k] = CombFilter{};
    mod_[k] = SineModulator{};
}

template <int Type, class Q>
inline void LaneFilter4::retune(const FilterContext& ctx, F4 hz, Q q, F4 force, F4 enabled) {
    static_assert(std::is_same_v<Q, float> || std::is_same_v<Q, F4>);
    if constexpr (Type < kFilter12Lp || Type >= kFilterTypeCount) {
        return;
    } else if constexpr (Type >= kFilterCombPlus) {
        // Lane by lane, as LaneFilter does it.
        const int on = maskBits(enabled), forced = maskBits(force);
        for (int k = 0; k < 4; ++k) {
            if (!(on >> k & 1)) continue;
            const float qk = laneValue(q, k);
            const bool qMoved = (forced >> k & 1) || std::fabs(qk - w_.q[k]) > kChange;
            if (!qMoved && !(std::fabs(hz[k] - w_.hz[k]) > kChange)) continue;
            w_.hz.set(k, hz[k]);
            w_.q.set(k, qk);
            if constexpr (Type <= kFilterCombMinus) {
                if (qMoved) comb_[k].setResonance(qk, Type == kFilterCombMinus);
                comb_[k].setCutoff(hz[k], ctx.sampleRate);
            } else {
                mod_[k].setCutoff(hz[k], ctx.invDoubleRate);
            }
        }
    } else {
        const F4 qMoved = (force | (abs(F4(q) - w_.q) > F4(kChange))) & enabled;
        const F4 m = (qMoved | (abs(hz - w_.hz) > F4(kChange))) & enabled;
        const int bits = maskBits(m);
        if (bits == 0) return;
        w_.hz = select(m, hz, w_.hz);
        w_.q = select(m, F4(q), w_.q);
        const FilterCurves& c = *ctx.curves;
        const I4 index = ctx.index(hz);
        if constexpr (Type <= kFilter12Notch) {
            StateVariable12T<F4> t;
            t.setResonance(q);
            t.setCutoff(c, index);
            w_.svf.f = select(m, t.f, w_.svf.f);
            w_.svf.d = select(m, t.d, w_.svf.d);
        } else if constexpr (Type <= kFilter12NotchZ) {
            ZeroDelay12T<F4>& z = w_.zdf;
            if (maskBits(qMoved)) z.k = select(qMoved, exp2Lanes(-5.0f, q, qMoved), z.k);
            ZeroDelayStageT<F4> t;
            t.design(gather(c.TAN_HALF.data(), index), z.k);
            takeDesign(z.stage, t, m);
        } else if constexpr (Type == kFilter24LpI) {
            BiquadLowPass24T<F4> t;
            t.setResonance(q);
            t.setCutoff(c, index);
            BiquadLowPass24T<F4>& b = w_.biquad;
            b.b0 = select(m, t.b0, b.b0);
            b.b1 = select(m, t.b1, b.b1);
            b.b2 = select(m, t.b2, b.b2);
            b.a1 = select(m, t.a1, b.a1);
            b.a2 = select(m, t.a2, b.a2);
            b.svf.f = select(m, t.svf.f, b.svf.f);
            b.svf.d = select(m, t.svf.d, b.svf.d);
        } else if constexpr (Type <= kFilter24Notch) {
            Ladder24T<F4> t;
            t.setCutoff(c, index, q);
            Ladder24T<F4>& l = w_.ladder;
            l.p = select(m, t.p, l.p);
            l.g = select(m, t.g, l.g);
            l.k = select(m, t.k, l.k);
        } else {
            ZeroDelay24T<F4>& z = w_.zdf24;
            if (maskBits(qMoved)) z.k2 = select(qMoved, exp2Lanes(-3.0f, q, qMoved), z.k2);
            const F4 g = gather(c.TAN_HALF.data(), index);
            ZeroDelayStageT<F4> t1, t2;
            t1.design(g, 1.0f);
            t2.design(g, z.k2);
            takeDesign(z.first, t1, m);
            takeDesign(z.second, t2, m);
        }
    }
}

template <int Type>
inline void LaneFilter4::run(const FilterContext& ctx, float* const* rings, int copies, F4& in0,
                             F4& in1) {
    // Local copies: the state stores cannot touch them, so the state stays
    // in registers across both sub-samples.
    F4 x0 = in0, x1 = in1;
    if constexpr (Type >= kFilter12Lp && Type <= kFilter12Notch) {
        constexpr auto o = static_cast<FilterOutput>(Type - kFilter12Lp);
        x0 = w_.svf.process<o>(x0);
        x1 = w_.svf.process<o>(x1);
    } else if constexpr (Type >= kFilter12LpZ && Type <= kFilter12NotchZ) {
        constexpr auto o = static_cast<FilterOutput>(Type - kFilter12LpZ);
        x0 = w_.zdf.process<o>(x0);
        x1 = w_.zdf.process<o>(x1);
    } else if constexpr (Type == kFilter24LpI) {
        x0 = w_.biquad.process(x0);
        x1 = w_.biquad.process(x1);
    } else if constexpr (Type >= kFilter24LpII && Type <= kFilter24Notch) {
        constexpr auto o = static_cast<FilterOutput>(Type - kFilter24LpII);
        x0 = w_.ladder.process<o>(x0);
        x1 = w_.ladder.process<o>(x1);
    } else if constexpr (Type >= kFilter24LpZ && Type <= kFilter24NotchZ) {
        constexpr auto o = static_cast<FilterOutput>(Type - kFilter24LpZ);
        x0 = w_.zdf24.process<o>(x0);
        x1 = w_.zdf24.process<o>(x1);
    } else if constexpr (Type >= kFilterCombPlus && Type <= kFilterAmpMod) {
        laneByLane<Type>(ctx, rings, [&](auto&& fn) { eachLane(copies, x0, x1, fn); });
    }
    in0 = x0;
    in1 = x1;
    (void)ctx;
    (void)rings;
    (void)copies;
}

template <int Type, class Each>
inline void LaneFilter4::laneByLane(const FilterContext& ctx, float* const* rings, Each&& each) {
    if constexpr (Type == kFilterCombPlus || Type == kFilterCombMinus) {
        each([&](int k, float& a, float& b) { comb_[k].frame(rings[k], a, b); });
    } else if constexpr (Type == kFilterRingMod || Type == kFilterAmpMod) {
        const float* s = ctx.curves->SIN_HALF.data();
        each([&](int k, float& a, float& b) {
            const float q = w_.q[k];
            if constexpr (Type == kFilterRingMod) {
                a = mod_[k].ring(s, a, q);
                b = mod_[k].ring(s, b, q);
            } else {
                a = mod_[k].amp(s, a, q);
                b = mod_[k].amp(s, b, q);
            }
        });
    }
    (void)ctx;
    (void)rings;
}

template <int Type>
inline void LaneFilter4::runLanes(const FilterContext& ctx, float* const* rings, int lanes, F4& x0,
                                  F4& x1) {
    if constexpr (Type >= kFilterCombPlus && Type <= kFilterAmpMod) {
        laneByLane<Type>(ctx, rings, [&](auto&& fn) { eachLaneOf(lanes, x0, x1, fn); });
    } else if constexpr (Type >= kFilter12Lp && Type < kFilterCombPlus) {
        if (lanes == 0xF) {
            run<Type>(ctx, rings, 4, x0, x1);
            return;
        }
        // All four run; the resting ones take their state back.
        auto& state = family<Type>();
        const auto before = state;
        run<Type>(ctx, rings, 4, x0, x1);
        keepLanes(state, before, maskOf(~lanes & 0xF));
    }
}
