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

    static float sign(float x) { return x > 1e-15f ? 1.0f : (x < 0.0f ? -1.0f : 0.0f); }

    float getSampleRate() const { return sampleRate; }
    float getLen(int channel) const { return len[channel & 1]; }
    float getBaseLen(int channel) const { return baseLen[channel & 1]; }
    float getFeedOwn(int channel) const { return static_cast<float>(feed[channel & 1]); }
    float getFeedCross(int channel) const { return static_cast<float>(cross[channel & 1]); }
    bool getFeedFilterOn() const { return feedFilterOn; }
    int getStoredCount(int channel) const {
        return static_cast<int>(written - lines[channel & 1].head);
    }

private:
    static constexpr int kKeep = 3;            // pairs always kept in a line
    static constexpr double kReadBack = 100.0; // the counter distance between writing and reading
    // Counters are moved back by kRebaseBy once they pass kRebaseAt, so that
    // their resolution stays fine however long the line runs.
    static constexpr double kRebaseAt = 16777216.0;
    static constexpr double kRebaseBy = 8388608.0;

    // One channel's queue of (time, value) pairs, times and values in rings
    // of their own over the first `mask + 1` entries (a power of two) of the
    // preallocated storage; that window doubles when the queue would fill
    // it. Pairs are numbered from the last zero() on; pair n sits at
    // n & mask. Values are stored as the floats they are.
    struct Line {
        std::unique_ptr<double[]> time;
        std::unique_ptr<float[]> value;
        uint64_t mask = 0;
        uint64_t head = 0; // the oldest pair
        // While the length holds, the read point sits a fixed distance
        // behind the newest pair: `back` pairs, then `frac` of the way to the
        // next (the delay's frac[channel]). The length settles (every pair behind the read point is
        // one step apart) on the sample that finds `written` at `settleAt`.
        uint64_t back = 0;
        uint64_t settleAt = 0;

        void grow(uint64_t written);
    };

    double readLine(Line& line, double target);
    double read(int channel, double pos, bool& direct);
    static __m128 limitFeedback(__m128 x);
    uint64_t dropBehind(const Line& line, uint64_t head, double target) const;
    void applyLen(float left, float right);
    void settle(int channel);
    void rebase(int channel);

    bool equal = false;
    bool timeSync = false;
    bool feedFilterOn = false;
    // Both channels read directly and go on doing so until a length moves.
    bool direct = false;
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
    alignas(16) double frac[2] = {0.0, 0.0}; // the lines' fracs side by side
    uint64_t written = 0;                    // pairs stored per channel since zero()
    Line lines[2];
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
        _mm_min_ps(_mm_max_ps(_mm_setr_ps(left, right, 0.0f, 0.0f), _mm_set1_ps(kMinLen)),
                   _mm_set1_ps(kMaxLen));
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
            lines[c].settleAt = written + static_cast<uint64_t>(static_cast<int>(len[c])) + 2;
}

[[gnu::always_inline]] inline void TDelay::setDelayLenDirect(float left, float right) {
    applyLen(left, right);
    baseLen[0] = len[0];
    baseLen[1] = len[1];
    lastLenIn[0] = -1.0f;
}

// ------------------------------------------------------------------ one sample

// The feedback path within +-100; NaN gives 0. Both channels at once (lanes
// 0 and 1): the minimum and maximum pass NaN on as their bound, the mask
// then clears it.
inline __m128 TDelay::limitFeedback(__m128 x) {
    const __m128 limited = _mm_max_ps(_mm_min_ps(x, _mm_set1_ps(100.0f)), _mm_set1_ps(-100.0f));
    return _mm_and_ps(_mm_cmpord_ps(x, x), limited);
}

// The value stored where the counter stood at `target`: the head moves on
// to the last pair at or before it (three pairs always stay) and the read
// interpolates between it and the next. One pair goes per sample while the
// length holds and two or three while it falls as a chorus sweeps it, so
// the head steps on pair by pair a few times before a search takes over.
[[gnu::always_inline]] inline double TDelay::readLine(Line& l, double target) {
    const double* time = l.time.get();
    const uint64_t mask = l.mask;
    uint64_t head = l.head;
    double next = time[(head + 1) & mask];
    for (int steps = 0; next <= target && written - head > kKeep; ++steps) {
        if (steps == 4) {
            head = dropBehind(l, head, target);
            next = time[(head + 1) & mask];
            break;
        }
        ++head;
        next = time[(head + 1) & mask];
    }
    l.head = head;
    const double b = l.value[(head + 1) & mask];
    const double at = time[head & mask];
    const double span = next - at;
    if (!(span > 0.0)) return b; // two equal times
    const double t = clamp01((target - at) / span);
    const double a = l.value[head & mask];
    return a + (b - a) * t;
}

// One channel's output for the sample, the counter at `p`: a line is read
// once it holds two pairs and its counter has run a full length. Once every
// pair behind the read point was written at the current length, the pairs
// lie one step apart and the read is direct (`direct` is set): the head
// moves to the pair read, as the search would move it (but for rounding).
[[gnu::always_inline]] inline double TDelay::read(int c, double p, bool& isDirect) {
    Line& l = lines[c];
    if (written > l.settleAt) {
        if (written - l.head >= l.back + 2 && p >= kReadBack) {
            const uint64_t a = written - 1 - l.back;
            l.head = a;
            const double va = l.value[a & l.mask];
            isDirect = true;
            return va + (l.value[(a + 1) & l.mask] - va) * frac[c];
        }
    } else if (written == l.settleAt) {
        settle(c);
    }
    return p >= kReadBack && written - l.head >= 2 ? readLine(l, p - kReadBack) : 0.0;
}

// The newest pair is one step behind the counter, so the pair read lies
// ceil(len) - 1 pairs behind it and the point is ceil(len) - len of the way
// on to the next.
inline void TDelay::settle(int c) {
    const double whole = std::ceil(static_cast<double>(len[c]));
    lines[c].back = static_cast<uint64_t>(whole) - 1;
    frac[c] = whole - len[c];
}

// Inline: the chain runs four lines a frame, and the call would cost a
// good part of a line. The two channels run side by side in the lanes of
// one vector from the feedback sum to the stored values; while both read
// directly, so do their reads.
[[gnu::always_inline]] inline void TDelay::process(const stereoStruct& in, stereoStruct& out) {
    const __m128d p = _mm_add_pd(_mm_load_pd(pos), _mm_load_pd(step));
    _mm_store_pd(pos, p);
    const bool wasDirect = direct;
    __m128d reads;
    if (wasDirect) {
        // Pairs a and a + 1 of each line, a = written - 1 - back; the head
        // stays at a.
        Line& l0 = lines[0];
        Line& l1 = lines[1];
        const uint64_t a0 = written - 1 - l0.back, a1 = written - 1 - l1.back;
        l0.head = a0;
        l1.head = a1;
        const __m128 va = _mm_unpacklo_ps(_mm_load_ss(&l0.value[a0 & l0.mask]),
                                          _mm_load_ss(&l1.value[a1 & l1.mask]));
        const __m128 vb = _mm_unpacklo_ps(_mm_load_ss(&l0.value[(a0 + 1) & l0.mask]),
                                          _mm_load_ss(&l1.value[(a1 + 1) & l1.mask]));
        const __m128d a = _mm_cvtps_pd(va);
        reads = _mm_add_pd(a, _mm_mul_pd(_mm_sub_pd(_mm_cvtps_pd(vb), a), _mm_load_pd(frac)));
    } else {
        bool d0 = false, d1 = false;
        const double readL = read(0, _mm_cvtsd_f64(p), d0);
        const double readR = read(1, _mm_cvtsd_f64(_mm_unpackhi_pd(p, p)), d1);
        direct = d0 && d1;
        reads = _mm_set_pd(readR, readL);
    }
    const __m128d crossed = _mm_shuffle_pd(reads, reads, 1);
    const __m128d inputs = _mm_cvtps_pd(_mm_set_ps(0.0f, 0.0f, in.right, in.left));
    const __m128d sum = _mm_add_pd(_mm_add_pd(inputs, _mm_mul_pd(_mm_load_pd(feed), reads)),
                                   _mm_mul_pd(_mm_load_pd(cross), crossed));
    __m128 m = limitFeedback(_mm_add_ps(_mm_cvtpd_ps(sum), _mm_set1_ps(1e-15f)));
    if (feedFilterOn) {
        const __m128 tiny = _mm_set1_ps(1e-15f);
        __m128 s0 = _mm_load_ps(filterState[0]);
        __m128 s1 = _mm_load_ps(filterState[1]);
        s0 = _mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_set1_ps(filterCoef[2]), s0),
                                   _mm_mul_ps(_mm_set1_ps(filterCoef[0]), m)),
                        tiny);
        s1 = _mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_set1_ps(filterCoef[3]), s1),
                                   _mm_mul_ps(_mm_set1_ps(filterCoef[1]), s0)),
                        tiny);
        _mm_store_ps(filterState[0], s0);
        _mm_store_ps(filterState[1], s1);
        m = _mm_sub_ps(s0, s1);
    }
    // The new pair of each line. A direct read keeps the count, so the
    // window needs no check.
    for (int c = 0; c < 2; ++c)
        if (!wasDirect && written - lines[c].head > lines[c].mask) [[unlikely]]
            lines[c].grow(written);
    const uint64_t w0 = written & lines[0].mask, w1 = written & lines[1].mask;
    _mm_store_sd(&lines[0].time[w0], p);
    _mm_storeh_pd(&lines[1].time[w1], p);
    _mm_store_ss(&lines[0].value[w0], m);
    _mm_store_ss(&lines[1].value[w1], _mm_shuffle_ps(m, m, 1));
    ++written;
    if (_mm_movemask_pd(_mm_cmpgt_pd(p, _mm_set1_pd(kRebaseAt)))) [[unlikely]] {
        if (pos[0] > kRebaseAt) rebase(0);
        if (pos[1] > kRebaseAt) rebase(1);
    }
    const __m128 outs = _mm_cvtpd_ps(reads);
    out.left = _mm_cvtss_f32(outs);
    out.right = _mm_cvtss_f32(_mm_shuffle_ps(outs, outs, 1));
}
