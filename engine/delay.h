// TDelay: the stereo delay line of the effect chain (chorus, flanger, the
// delay effect and the reverb's pre-delay).
//
// Units and calibration:
//   - A timestamp delay. Every sample is stored with the value of a running
//     position counter that advances by 100 / length per sample; the output
//     is read, interpolated linearly, where the counter stood 100 units
//     earlier. A length change therefore changes the reading speed like a
//     tape (a brief pitch change), never a click.
//   - Lengths are in samples, 5..262143 (non-finite lengths take the nearer
//     bound, NaN the lower one). Synced lengths come from DELAY_LEN_ARRAY in
//     whole notes x sampleRate x 240 / tempo, free ones 2^(12 v) ms.
//   - Own and cross feedback; the feedback path is limited to +-100 and may
//     pass a band-limiting filter (two one-pole stages, low-pass minus
//     low-pass): f(v) = 20 x 2^(10 v) Hz over the rate, within 20 Hz..0.2 r.
//   - The stored pairs live in one preallocated ring per channel (capacity
//     for the longest length plus a few); the window of the ring in use grows
//     with the length, so memory is touched only as far as the longest length
//     used since the last reset. Nothing allocates after construction.
#pragma once

#include "core/numeric.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <emmintrin.h>
#include <limits>
#include <memory>

// A left and right pair of samples.
struct stereoStruct {
    float left = 0.0f;
    float right = 0.0f;
};

// Synced delay lengths in whole notes, 15 steps: 1/48 .. 3/4.
inline constexpr std::array<double, 15> DELAY_LEN_ARRAY = {
    1.0 / 48, 1.0 / 32, 3.0 / 64, 1.0 / 24, 1.0 / 16, 3.0 / 32, 1.0 / 12, 1.0 / 8,
    3.0 / 16, 1.0 / 6,  1.0 / 4,  3.0 / 8,  1.0 / 3,  1.0 / 2,  3.0 / 4};

class TDelay {
public:
    static constexpr float kMinLen = 5.0f;
    static constexpr float kMaxLen = 262143.0f;
    static constexpr float kMinTempo = 1.0f, kMaxTempo = 12000.0f;
    // The longest length holds kMaxLen + 1 pairs, plus the three kept back;
    // the storage is the next power of two.
    static constexpr int kCapacity = 262144 + 8;
    static constexpr int kStorage = 1 << 19;

    TDelay();
    TDelay(const TDelay&) = delete;
    TDelay& operator=(const TDelay&) = delete;

    // Flags cleared, rate stored, lines emptied, lengths (100, 100) base and
    // (1, 1) in use, no feedback, no filter, tempo 120.
    void init(float sampleRate);
    void clear() { init(sampleRate); } // as init, at the same rate
    void zero();                       // empties both lines; the counters restart

    void setTempo(float bpm);
    bool setTimeSync(float v); // these two return whether the flag changed
    bool setEqual(float v);
    static bool getStateAndChanged(float v, bool old, bool& changed);

    // Lengths from the control values left and right (0..1, synced steps or
    // free 1 ms..4.1 s), offsets in samples added before scaling.
    void setDelayLen(float left, float right, float offsetLeft, float offsetRight, float scale);
    void setDelayLenDirect(float len);
    void setDelayLenDirect(float left, float right);
    void setDelayLenDirect(stereoStruct len) { setDelayLenDirect(len.left, len.right); }

    void setFeed(float feed, float cross);
    void setFeed(float feed); // both channels, no cross feedback
    void setFeedFilter(float low, float high);
    float getFeedFilterFreq(float v) const; // in Hz

    void process(const stereoStruct& in, stereoStruct& out);
    [[gnu::always_inline]] stereoStruct process(const stereoStruct& in) {
        stereoStruct out;
        process(in, out);
        return out;
    }
    // `count` frames in a row, the same as as many calls of the one-frame
    // process: a line read directly whose length holds runs them in one
    // loop.
    void process(const stereoStruct* in, stereoStruct* out, int count);
    // `count` frames in a row, each with its own lengths: the same as
    // setDelayLenDirect(lens[n]) then process(in[n], out[n]) frame by frame.
    // While both lengths move every frame (an LFO sweeps them) and each read
    // point moves on by one pair, the frames run in one loop.
    void processSwept(const stereoStruct* in, const stereoStruct* lens, stereoStruct* out,
                      int count);
    // The run loops (direct and swept) in VEX encoding where the processor
    // has AVX (the same operations and bits, fewer instructions); on from
    // construction.
    // Returns whether it is in use.
    bool useAvx(bool on);

    static float sign(float x) { return x > 1e-15f ? 1.0f : (x < 0.0f ? -1.0f : 0.0f); }

    float getSampleRate() const { return sampleRate; }
    float getLen(int channel) const { return len[channel & 1]; }
    float getBaseLen(int channel) const { return baseLen[channel & 1]; }
    float getFeedOwn(int channel) const { return static_cast<float>(feed[channel & 1]); }
    float getFeedCross(int channel) const { return static_cast<float>(cross[channel & 1]); }
    bool getFeedFilterOn() const { return feedFilterOn; }
    int getStoredCount(int channel) const { return static_cast<int>(written - head[channel & 1]); }

private:
    static constexpr int kKeep = 3;            // pairs always kept in a line
    static constexpr double kReadBack = 100.0; // the counter distance between writing and reading
    // Counters are moved back by kRebaseBy once they pass kRebaseAt, so that
    // their resolution stays fine however long the line runs.
    static constexpr double kRebaseAt = 16777216.0;
    static constexpr double kRebaseBy = 8388608.0;

    // Pair n of channel c (numbered from the last zero()) sits at
    // 2 (n & mask) + c of the time and value rings: the two channels side by
    // side, over a window of `mask + 1` slots (a power of two) of the
    // preallocated storage that doubles when a queue would fill it. Values
    // are stored as the floats they are.
    // 2 (n & mask), as one mask of 2 n.
    uint64_t slot(uint64_t n) const { return (n + n) & slotMask; }
    double& timeAt(int c, uint64_t n) { return times[slot(n) + c]; }
    float& valueAt(int c, uint64_t n) { return values[slot(n) + c]; }

    double readLine(int channel, double target);
    double read(int channel, double pos, bool& direct);
    __m128d readBoth(__m128d pos);
    __m128d interpolate(__m128d target, __m128d at, __m128d next, const float* a0, const float* a1,
                        const float* b0, const float* b1) const;
    static __m128 feedback(__m128d reads, __m128d inputs, __m128d feed, __m128d cross, __m128 tiny,
                           __m128 hi, __m128 lo);
    static __m128 filterStep(__m128 m, __m128& s0, __m128& s1, const float* coef, __m128 tiny);
    template <bool kFilter, bool kPlain>
    static __m128 storedPair(__m128d reads, __m128 inputs, __m128d feed, __m128d cross, __m128& s0,
                             __m128& s1, const float* coef, __m128 tiny, __m128 hi, __m128 lo);
    __m128 toStore(__m128d reads, const stereoStruct& in);
    template <bool kFilter, bool kPlain>
    void processDirectAs(const stereoStruct* in, stereoStruct* out, int count);
    template <bool kFilter, bool kPlain>
    void directRun(const stereoStruct* in, stereoStruct* out, int count);
    template <bool kFilter, bool kPlain>
    void directRunAvx(const stereoStruct* in, stereoStruct* out, int count);
    template <bool kFilter, bool kPlain>
    void directFrames(const stereoStruct* in, stereoStruct* out, int count);
    template <bool kFilter, bool kPlain>
    void processSweptAs(const stereoStruct* in, const stereoStruct* lens, stereoStruct* out,
                        int count);
    template <bool kFilter, bool kPlain>
    int sweptRun(const stereoStruct* in, const stereoStruct* lens, stereoStruct* out, int count);
    template <bool kFilter, bool kPlain>
    int sweptRunAvx(const stereoStruct* in, const stereoStruct* lens, stereoStruct* out, int count);
    template <bool kFilter, bool kPlain>
    int sweptFrames(const stereoStruct* in, const stereoStruct* lens, stereoStruct* out, int count);
    uint64_t dropBehind(int channel, uint64_t head, double target);
    void applyLen(float left, float right);
    void settle(int channel);
    void checkWindow();
    void checkRebase();
    void grow();
    void rebase(int channel);

    bool equal = false;
    bool timeSync = false;
    bool feedFilterOn = false;
    bool avx = false; // the run loops in VEX encoding
    // Both channels read directly and go on doing so until a length moves.
    bool direct = false;
    // Both counters have run a full length and both lines hold two pairs:
    // from then on a line is always read.
    bool ready = false;
    float sampleRate = 44100.0f;
    float samplesPerMs = 44.1f;
    float invSampleRate = 1.0f / 44100.0f;
    alignas(16) float baseLen[2] = {100.0f, 100.0f};
    alignas(16) float len[2] = {1.0f, 1.0f};
    float samplesPerWhole = 88200.0f;
    // Float values, kept as doubles for the double sum of the feedback path.
    alignas(16) double feed[2] = {0.0, 0.0};
    alignas(16) double cross[2] = {0.0, 0.0};
    alignas(16) double step[2] = {0.0, 0.0};
    alignas(16) double pos[2] = {0.0, 0.0};
    // While a length holds, the read point sits a fixed distance behind the
    // newest pair: back[c] pairs, then frac[c] of the way to the next. The
    // length settles (every pair behind the read point is one step apart)
    // on the sample that finds `written` at settleAt[c]; before the first
    // length of both channels (searchUntil) each line is searched.
    alignas(16) double frac[2] = {0.0, 0.0};
    uint64_t back[2] = {0, 0};
    uint64_t settleAt[2] = {0, 0};
    uint64_t searchUntil = 0;
    uint64_t head[2] = {0, 0}; // each channel's oldest pair
    uint64_t written = 0;      // pairs stored per channel since zero()
    uint64_t mask = 0;
    uint64_t slotMask = 1; // 2 mask + 1
    // No queue can outgrow the window before `written` passes windowCheckAt,
    // and no counter can pass kRebaseAt before it passes rebaseCheckAt;
    // checkAt is the nearer of the two.
    uint64_t windowCheckAt = 0, rebaseCheckAt = 0, checkAt = 0;
    std::unique_ptr<double[]> times;
    std::unique_ptr<float[]> values;
    // Vector constants, kept here so that each is one operand of the
    // instruction that uses it rather than built from a scalar every time.
    struct Constants {
        alignas(16) float minLen[4] = {kMinLen, kMinLen, kMinLen, kMinLen};
        alignas(16) float maxLen[4] = {kMaxLen, kMaxLen, kMaxLen, kMaxLen};
        alignas(16) float limitHi[4] = {100.0f, 100.0f, 100.0f, 100.0f};
        alignas(16) float limitLo[4] = {-100.0f, -100.0f, -100.0f, -100.0f};
        alignas(16) float tiny[4] = {1e-15f, 1e-15f, 1e-15f, 1e-15f};
        alignas(16) double readBack[2] = {kReadBack, kReadBack};
        alignas(16) double one[2] = {1.0, 1.0};
    } k;
    float filterCoef[4] = {0.0f, 0.0f, 1.0f, 1.0f}; // a, b, 1 - a, 1 - b
    // The two stages' states, each as (left, right).
    alignas(16) float filterState[2][4] = {};
    // The last inputs of setDelayLen, so that an unchanged setting costs
    // nothing.
    float lastLenIn[5] = {-1.0f, -1.0f, 0.0f, 0.0f, 0.0f};
    float lastLenWhole = 0.0f;
    bool lastLenSync = false;
    // The same for setFeed (with the mode and lengths it reads) and
    // setFeedFilter.
    float lastFeedIn[4] = {kNoValue, 0.0f, 0.0f, 0.0f};
    bool lastFeedEqual = false;
    float lastFilterIn[2] = {kNoValue, 0.0f};
    static constexpr float kNoValue = std::numeric_limits<float>::quiet_NaN(); // never equal
};

// ------------------------------------------------------------------ lengths

// Chorus and flanger set their lengths every frame: inline. Both channels
// at once; the clamp passes NaN on as the lower bound.
[[gnu::always_inline]] inline void TDelay::applyLen(float left, float right) {
    const __m128 clamped =
        _mm_min_ps(_mm_max_ps(_mm_setr_ps(left, right, 0.0f, 0.0f), _mm_load_ps(k.minLen)),
                   _mm_load_ps(k.maxLen));
    _mm_storel_pi(reinterpret_cast<__m64*>(len), clamped);
    const __m128d s = _mm_div_pd(_mm_set1_pd(100.0), _mm_cvtps_pd(clamped));
    const int moved = _mm_movemask_pd(_mm_cmpneq_pd(s, _mm_load_pd(step)));
    if (moved == 0) return;
    _mm_store_pd(step, s);
    direct = false;
    // The length settles on the sample that has written its whole part
    // plus three pairs: the (int(len) + 3)-th from now.
    for (int c = 0; c < 2; ++c)
        if (moved & (1 << c))
            settleAt[c] = written + static_cast<uint64_t>(static_cast<int>(len[c])) + 2;
    searchUntil = std::min(settleAt[0], settleAt[1]);
}

[[gnu::always_inline]] inline void TDelay::setDelayLenDirect(float left, float right) {
    applyLen(left, right);
    baseLen[0] = len[0];
    baseLen[1] = len[1];
    lastLenIn[0] = -1.0f;
}

// ------------------------------------------------------------------ one sample

// The value stored where the counter stood at `target`: the head moves on
// to the last pair at or before it (three pairs always stay) and the read
// interpolates between it and the next. One pair goes per sample while the
// length holds and two or three while it falls as a chorus sweeps it, so
// the head steps on pair by pair a few times before a search takes over.
[[gnu::always_inline]] inline double TDelay::readLine(int c, double target) {
    uint64_t h = head[c];
    double next = timeAt(c, h + 1);
    for (int steps = 0; next <= target && written - h > kKeep; ++steps) {
        if (steps == 4) {
            h = dropBehind(c, h, target);
            next = timeAt(c, h + 1);
            break;
        }
        ++h;
        next = timeAt(c, h + 1);
    }
    head[c] = h;
    const double b = valueAt(c, h + 1);
    const double at = timeAt(c, h);
    const double span = next - at;
    if (!(span > 0.0)) return b; // two equal times
    const double t = clamp01((target - at) / span);
    const double a = valueAt(c, h);
    return a + (b - a) * t;
}

// One channel's output for the sample, the counter at `p`: a line is read
// once it holds two pairs and its counter has run a full length. Once every
// pair behind the read point was written at the current length, the pairs
// lie one step apart and the read is direct (`isDirect` is set): the head
// moves to the pair read, as the search would move it (but for rounding).
[[gnu::always_inline]] inline double TDelay::read(int c, double p, bool& isDirect) {
    if (written > settleAt[c]) {
        if (written - head[c] >= back[c] + 2 && p >= kReadBack) {
            const uint64_t a = written - 1 - back[c];
            head[c] = a;
            const double va = valueAt(c, a);
            isDirect = true;
            return va + (valueAt(c, a + 1) - va) * frac[c];
        }
    } else if (written == settleAt[c]) {
        settle(c);
    }
    return p >= kReadBack && written - head[c] >= 2 ? readLine(c, p - kReadBack) : 0.0;
}

// The newest pair is one step behind the counter, so the pair read lies
// ceil(len) - 1 pairs behind it and the point is ceil(len) - len of the way
// on to the next.
inline void TDelay::settle(int c) {
    const double whole = std::ceil(static_cast<double>(len[c]));
    back[c] = static_cast<uint64_t>(whole) - 1;
    frac[c] = whole - len[c];
}

// readLine's interpolation for both lines, given the times of the pairs
// around the targets and where their values lie.
[[gnu::always_inline]] inline __m128d TDelay::interpolate(__m128d target, __m128d at, __m128d next,
                                                          const float* a0, const float* a1,
                                                          const float* b0, const float* b1) const {
    const __m128d span = _mm_sub_pd(next, at);
    // clamp01 of the quotient: the maximum keeps a negative zero as clamp01
    // does; a NaN (span not above 0) is replaced below.
    const __m128d t = _mm_min_pd(
        _mm_max_pd(_mm_setzero_pd(), _mm_div_pd(_mm_sub_pd(target, at), span)), _mm_load_pd(k.one));
    const __m128d a = _mm_cvtps_pd(_mm_unpacklo_ps(_mm_load_ss(a0), _mm_load_ss(a1)));
    const __m128d b = _mm_cvtps_pd(_mm_unpacklo_ps(_mm_load_ss(b0), _mm_load_ss(b1)));
    const __m128d r = _mm_add_pd(a, _mm_mul_pd(_mm_sub_pd(b, a), t));
    // Two equal times read the later value.
    const __m128d apart = _mm_cmpgt_pd(span, _mm_setzero_pd());
    return _mm_or_pd(_mm_and_pd(apart, r), _mm_andnot_pd(apart, b));
}

// Both lines' reads for the counters `p`, as read() gives them.
[[gnu::always_inline]] inline __m128d TDelay::readBoth(__m128d p) {
    const double* tl = times.get();
    const float* vl = values.get();
    if (direct) {
        // Pairs a and a + 1 of each line, a = written - 1 - back; the head
        // stays at a.
        const uint64_t a0 = written - 1 - back[0], a1 = written - 1 - back[1];
        head[0] = a0;
        head[1] = a1;
        const uint64_t i0 = slot(a0), i1 = slot(a1) + 1;
        const uint64_t j0 = slot(a0 + 1), j1 = slot(a1 + 1) + 1;
        const __m128d a = _mm_cvtps_pd(_mm_unpacklo_ps(_mm_load_ss(vl + i0), _mm_load_ss(vl + i1)));
        const __m128d b = _mm_cvtps_pd(_mm_unpacklo_ps(_mm_load_ss(vl + j0), _mm_load_ss(vl + j1)));
        return _mm_add_pd(a, _mm_mul_pd(_mm_sub_pd(b, a), _mm_load_pd(frac)));
    }
    const __m128d target = _mm_sub_pd(p, _mm_load_pd(k.readBack));
    // Both lines searched while neither length has settled. When the pair
    // two before the newest lies after the target in both, the heads never
    // come near the three kept pairs and readLine's walk is that of the
    // vector below. Mostly each head moves on by one pair: that is tried
    // first.
    if (ready && written < searchUntil) {
        const uint64_t k = slot(written - 3);
        const __m128d guard = _mm_cmpgt_pd(_mm_loadu_pd(tl + k), target);
        const uint64_t n0 = head[0] + 1, n1 = head[1] + 1;
        const uint64_t i0 = slot(n0), i1 = slot(n1) + 1;
        const uint64_t j0 = slot(n0 + 1), j1 = slot(n1 + 1) + 1;
        const __m128d at = _mm_loadh_pd(_mm_load_sd(tl + i0), tl + i1);
        const __m128d next = _mm_loadh_pd(_mm_load_sd(tl + j0), tl + j1);
        const __m128d fits =
            _mm_and_pd(_mm_and_pd(guard, _mm_cmple_pd(at, target)), _mm_cmpgt_pd(next, target));
        if (_mm_movemask_pd(fits) == 3) {
            head[0] = n0;
            head[1] = n1;
            return interpolate(target, at, next, vl + i0, vl + i1, vl + j0, vl + j1);
        }
        if (_mm_movemask_pd(guard) == 3) {
            uint64_t h0 = head[0], h1 = head[1];
            __m128d next2 = _mm_loadh_pd(_mm_load_sd(tl + slot(h0 + 1)), tl + slot(h1 + 1) + 1);
            for (int steps = 0;; ++steps) {
                const int on = _mm_movemask_pd(_mm_cmple_pd(next2, target));
                if (on == 0) break;
                if (steps == 4) {
                    if (on & 1) h0 = dropBehind(0, h0, _mm_cvtsd_f64(target));
                    if (on & 2)
                        h1 = dropBehind(1, h1, _mm_cvtsd_f64(_mm_unpackhi_pd(target, target)));
                    next2 = _mm_loadh_pd(_mm_load_sd(tl + slot(h0 + 1)), tl + slot(h1 + 1) + 1);
                    break;
                }
                h0 += on & 1;
                h1 += on >> 1;
                next2 = _mm_loadh_pd(_mm_load_sd(tl + slot(h0 + 1)), tl + slot(h1 + 1) + 1);
            }
            head[0] = h0;
            head[1] = h1;
            const uint64_t a0 = slot(h0), a1 = slot(h1) + 1;
            const uint64_t b0 = slot(h0 + 1), b1 = slot(h1 + 1) + 1;
            return interpolate(target, _mm_loadh_pd(_mm_load_sd(tl + a0), tl + a1), next2, vl + a0,
                               vl + a1, vl + b0, vl + b1);
        }
        return _mm_set_pd(readLine(1, _mm_cvtsd_f64(_mm_unpackhi_pd(target, target))),
                          readLine(0, _mm_cvtsd_f64(target)));
    }
    bool d0 = false, d1 = false;
    const double r0 = read(0, _mm_cvtsd_f64(p), d0);
    const double r1 = read(1, _mm_cvtsd_f64(_mm_unpackhi_pd(p, p)), d1);
    direct = d0 && d1;
    ready = _mm_movemask_pd(_mm_cmpge_pd(p, _mm_set1_pd(kReadBack))) == 3 &&
            written - head[0] >= 2 && written - head[1] >= 2;
    return _mm_set_pd(r1, r0);
}

// The pair values to store, lanes 0 and 1, from the reads and the inputs:
// own and cross feedback and the limit, then (filterStep) the filter, its
// stages' states in s0 and s1.
[[gnu::always_inline]] inline __m128 TDelay::feedback(__m128d reads, __m128d inputs, __m128d feed,
                                                      __m128d cross, __m128 tiny, __m128 hi,
                                                      __m128 lo) {
    const __m128d crossed = _mm_shuffle_pd(reads, reads, 1);
    const __m128d sum =
        _mm_add_pd(_mm_add_pd(inputs, _mm_mul_pd(feed, reads)), _mm_mul_pd(cross, crossed));
    const __m128 x = _mm_add_ps(_mm_cvtpd_ps(sum), tiny);
    // Within +-100; NaN gives 0: the minimum and maximum pass NaN on as
    // their bound, the mask then clears it.
    return _mm_and_ps(_mm_cmpord_ps(x, x), _mm_max_ps(_mm_min_ps(x, hi), lo));
}

[[gnu::always_inline]] inline __m128 TDelay::filterStep(__m128 m, __m128& s0, __m128& s1,
                                                        const float* coef, __m128 tiny) {
    s0 = _mm_add_ps(
        _mm_add_ps(_mm_mul_ps(_mm_set1_ps(coef[2]), s0), _mm_mul_ps(_mm_set1_ps(coef[0]), m)),
        tiny);
    s1 = _mm_add_ps(
        _mm_add_ps(_mm_mul_ps(_mm_set1_ps(coef[3]), s1), _mm_mul_ps(_mm_set1_ps(coef[1]), s0)),
        tiny);
    return _mm_sub_ps(s0, s1);
}

// The pair values the run loops store, from the reads and the float inputs:
// feedback, then the filter (kFilter); with no feedback at all (kPlain) the
// input plus the tiny offset, within the same limit. Stored values are
// always finite, so the zero products of no feedback change no bit.
template <bool kFilter, bool kPlain>
[[gnu::always_inline]] inline __m128
TDelay::storedPair(__m128d reads, __m128 inputs, __m128d feed, __m128d cross, __m128& s0,
                   __m128& s1, const float* coef, __m128 tiny, __m128 hi, __m128 lo) {
    if constexpr (kPlain) {
        const __m128 y = _mm_add_ps(inputs, tiny);
        return _mm_and_ps(_mm_cmpord_ps(y, y), _mm_max_ps(_mm_min_ps(y, hi), lo));
    } else {
        __m128 v = feedback(reads, _mm_cvtps_pd(inputs), feed, cross, tiny, hi, lo);
        if constexpr (kFilter) v = filterStep(v, s0, s1, coef, tiny);
        return v;
    }
}

[[gnu::always_inline]] inline __m128 TDelay::toStore(__m128d reads, const stereoStruct& in) {
    const __m128d inputs = _mm_cvtps_pd(_mm_set_ps(0.0f, 0.0f, in.right, in.left));
    const __m128 tiny = _mm_load_ps(k.tiny);
    __m128 m = feedback(reads, inputs, _mm_load_pd(feed), _mm_load_pd(cross), tiny,
                        _mm_load_ps(k.limitHi), _mm_load_ps(k.limitLo));
    if (feedFilterOn) {
        __m128 s0 = _mm_load_ps(filterState[0]);
        __m128 s1 = _mm_load_ps(filterState[1]);
        m = filterStep(m, s0, s1, filterCoef, tiny);
        _mm_store_ps(filterState[0], s0);
        _mm_store_ps(filterState[1], s1);
    }
    return m;
}

// Inline: the chain runs four lines a frame, and the call would cost a
// good part of a line. The two channels run side by side in the lanes of
// one vector from the reads to the stored pairs.
[[gnu::always_inline]] inline void TDelay::process(const stereoStruct& in, stereoStruct& out) {
    const __m128d p = _mm_add_pd(_mm_load_pd(pos), _mm_load_pd(step));
    _mm_store_pd(pos, p);
    const __m128d reads = readBoth(p);
    const __m128 m = toStore(reads, in);
    // The new pair of each line, side by side.
    // Rarely, the window widens before the pair is stored and the counters
    // move back after.
    const bool check = written > checkAt;
    if (check) [[unlikely]]
        checkWindow();
    const uint64_t w = slot(written);
    _mm_storeu_pd(times.get() + w, p);
    _mm_storel_pi(reinterpret_cast<__m64*>(values.get() + w), m);
    ++written;
    if (check) [[unlikely]]
        checkRebase();
    const __m128 outs = _mm_cvtpd_ps(reads);
    out.left = _mm_cvtss_f32(outs);
    out.right = _mm_cvtss_f32(_mm_shuffle_ps(outs, outs, 1));
}
