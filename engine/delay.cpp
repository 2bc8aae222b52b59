// TDelay (units in delay.h).

#include "engine/delay.h"

#include "core/numeric.h"
#include "engine/cpu_features.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr int kMinWindow = 256;
} // namespace

// ------------------------------------------------------------------ the pair rings

// The window doubles: pair n moves from n & mask to n & (2 mask + 1), which
// is the same slot or the one `mask + 1` above it.
void TDelay::grow() {
    const uint64_t window = mask + 1;
    if (window >= kStorage) {
        // Cannot happen (kStorage > kCapacity); the oldest pairs make room.
        for (uint64_t& h : head) h = std::max(h, written - mask);
        return;
    }
    for (uint64_t n = std::min(head[0], head[1]); n != written; ++n) {
        if (!(n & window)) continue;
        const uint64_t from = 2 * (n & mask);
        for (int c = 0; c < 2; ++c) {
            times[from + 2 * window + c] = times[from + c];
            values[from + 2 * window + c] = values[from + c];
        }
    }
    mask = 2 * window - 1;
    slotMask = 2 * mask + 1;
}

// Before a pair is stored: the window widens when a queue fills it. Heads
// only move on, so no queue fills it before `written` passes the oldest
// head plus the window.
void TDelay::checkWindow() {
    if (written - std::min(head[0], head[1]) > mask) grow();
    windowCheckAt = std::min(head[0], head[1]) + mask;
    checkAt = std::min(windowCheckAt, rebaseCheckAt);
}

// After a pair is stored: a counter past kRebaseAt moves back. A counter
// moves on by at most 20 (100 / kMinLen) per sample, so none can pass
// kRebaseAt within the next (kRebaseAt - pos) / 32 samples.
void TDelay::checkRebase() {
    if (pos[0] > kRebaseAt) rebase(0);
    if (pos[1] > kRebaseAt) rebase(1);
    const double room = kRebaseAt - std::max(pos[0], pos[1]);
    rebaseCheckAt = written - 1 + static_cast<uint64_t>(room / 32.0);
    checkAt = std::min(windowCheckAt, rebaseCheckAt);
}

// ------------------------------------------------------------------ set-up

TDelay::TDelay() {
    useAvx(true);
    // Left uninitialised: pages are touched only as far as the lines reach.
    times.reset(new double[2 * kStorage]);
    values.reset(new float[2 * kStorage]);
    init(44100.0f);
}

void TDelay::init(float rate) {
    equal = timeSync = feedFilterOn = false;
    sampleRate = clampTo(rate, 1.0f, 1e7f);
    samplesPerMs = sampleRate / 1000.0f;
    invSampleRate = 1.0f / sampleRate;
    zero();
    baseLen[0] = baseLen[1] = 100.0f;
    len[0] = len[1] = 1.0f;
    feed[0] = feed[1] = cross[0] = cross[1] = 0.0;
    for (auto& s : filterState) s[0] = s[1] = s[2] = s[3] = 0.0f;
    samplesPerWhole = sampleRate * 240.0f / 120.0f;
    filterCoef[0] = filterCoef[1] = 0.0f;
    filterCoef[2] = filterCoef[3] = 1.0f;
    lastLenIn[0] = -1.0f; // the next setters compute
    lastFeedIn[0] = lastFilterIn[0] = kNoValue;
}

void TDelay::zero() {
    // Each line holds one pair (0, 0) and has no length yet.
    written = 1;
    mask = kMinWindow - 1;
    slotMask = 2 * mask + 1;
    windowCheckAt = mask;
    rebaseCheckAt = written - 1 + static_cast<uint64_t>(kRebaseAt / 32.0);
    checkAt = std::min(windowCheckAt, rebaseCheckAt);
    direct = ready = false;
    for (int c = 0; c < 2; ++c) {
        step[c] = 0.0;
        pos[c] = 0.0;
        frac[c] = 0.0;
        head[c] = 0;
        back[c] = 0;
        settleAt[c] = written + (1 << 30) - 1;
        times[c] = 0.0;
        values[c] = 0.0f;
    }
    searchUntil = settleAt[0];
}

void TDelay::setTempo(float bpm) {
    samplesPerWhole = sampleRate * 240.0f / clampTo(bpm, kMinTempo, kMaxTempo);
}

bool TDelay::getStateAndChanged(float v, bool old, bool& changed) {
    const bool state = v > 0.5f;
    changed = state != old;
    return state;
}

bool TDelay::setTimeSync(float v) {
    bool changed = false;
    timeSync = getStateAndChanged(v, timeSync, changed);
    return changed;
}

bool TDelay::setEqual(float v) {
    bool changed = false;
    equal = getStateAndChanged(v, equal, changed);
    return changed;
}

// ------------------------------------------------------------------ lengths

void TDelay::setDelayLenDirect(float l) {
    setDelayLenDirect(l, l);
}

void TDelay::setDelayLen(float left, float right, float offsetLeft, float offsetRight,
                         float scale) {
    const float in[5] = {left, right, offsetLeft, offsetRight, scale};
    if (std::equal(in, in + 5, lastLenIn) && lastLenWhole == samplesPerWhole &&
        lastLenSync == timeSync)
        return;
    std::copy(in, in + 5, lastLenIn);
    lastLenWhole = samplesPerWhole;
    lastLenSync = timeSync;

    const float values[2] = {left, right};
    const float offsets[2] = {offsetLeft, offsetRight};
    float lengths[2];
    for (int c = 0; c < 2; ++c) {
        const float v = clamp01(values[c]);
        const double base = timeSync
                                ? DELAY_LEN_ARRAY[static_cast<int>(v * 14.99f)] * samplesPerWhole
                                : std::exp2(12.0 * v) * samplesPerMs;
        baseLen[c] = clampTo(static_cast<float>(base) + 1.0f, kMinLen, kMaxLen);
        lengths[c] = scale * (finiteOr(offsets[c], 0.0f) + baseLen[c]);
    }
    applyLen(lengths[0], lengths[1]);
}

// ------------------------------------------------------------------ feedback

void TDelay::setFeed(float f) {
    setFeed(f, 0.0f);
}

void TDelay::setFeed(float f, float c) {
    f = finiteOr(f, 0.0f);
    c = finiteOr(c, 0.0f);
    const float in[4] = {f, c, len[0], len[1]};
    if (std::equal(in, in + 4, lastFeedIn) && lastFeedEqual == equal) return;
    std::copy(in, in + 4, lastFeedIn);
    lastFeedEqual = equal;
    // The loop gain stays below 1 in every mode.
    const float divisor = std::max(1.0f, std::fabs(f) + std::fabs(c) + 0.0001f);
    if (std::fabs(c) <= 0.001f && equal) {
        const float own = f / divisor;
        feed[0] = feed[1] = own;
        cross[0] = cross[1] = 0.0;
        // The shorter channel decays as fast per second as the longer one.
        const int shorter = len[0] <= len[1] ? 0 : 1;
        const float ratio = len[shorter] / (len[1 - shorter] + 1.0f);
        const float decay =
            sign(own) * std::min(std::pow(std::fabs(own) + 0.0001f, ratio), 0.9999f);
        feed[shorter] = decay;
        return;
    }
    const float own = f / divisor + 1e-15f, other = c / divisor + 1e-15f;
    feed[0] = feed[1] = own;
    cross[0] = cross[1] = other;
}

float TDelay::getFeedFilterFreq(float v) const {
    return clampTo(std::exp2(10.0f * clamp01(v)) * 20.0f, 20.0f, 0.2f * sampleRate);
}

void TDelay::setFeedFilter(float low, float high) {
    if (low == lastFilterIn[0] && high == lastFilterIn[1]) return;
    lastFilterIn[0] = low;
    lastFilterIn[1] = high;
    if (low > 0.999f && high < 0.0001f) {
        feedFilterOn = false;
        return;
    }
    const float a = 2.0f * getFeedFilterFreq(low) * invSampleRate;
    const float b = 2.0f * getFeedFilterFreq(high) * invSampleRate;
    filterCoef[0] = a;
    filterCoef[1] = b;
    filterCoef[2] = 1.0f - a;
    filterCoef[3] = 1.0f - b;
    feedFilterOn = true;
}

// ------------------------------------------------------------------ runs of frames

void TDelay::process(const stereoStruct* in, stereoStruct* out, int count) {
    // No check of the window or the counters falls due within the run.
    if (direct && written + static_cast<uint64_t>(count) <= checkAt + 1) {
        if (feedFilterOn)
            processDirectAs<true, false>(in, out, count);
        else if (feed[0] == 0.0 && feed[1] == 0.0 && cross[0] == 0.0 && cross[1] == 0.0)
            processDirectAs<false, true>(in, out, count);
        else
            processDirectAs<false, false>(in, out, count);
        return;
    }
    for (int n = 0; n < count; ++n) process(in[n], out[n]);
}

// readBoth's direct read and process over the run, the state in registers:
// the line reads pairs a and a + 1 behind the newest, and pair a + 1 of a
// frame is pair a of the next (never stored over within a run: the window
// holds far more than the pairs behind the read point).
static_assert(sizeof(stereoStruct) == 2 * sizeof(float), "a pair moves as one double");

template <bool kFilter, bool kPlain>
[[gnu::always_inline]] inline void TDelay::directFrames(const stereoStruct* in, stereoStruct* out,
                                                        int count) {
    double* const times = this->times.get();
    float* const values = this->values.get();
    const uint64_t m = slotMask;
    uint64_t w = written;
    uint64_t a0 = w - 1 - back[0], a1 = w - 1 - back[1];
    const __m128d f = _mm_load_pd(frac), st = _mm_load_pd(step);
    const __m128d feedOwn = _mm_load_pd(feed), feedCross = _mm_load_pd(cross);
    const __m128 tiny = _mm_load_ps(k.tiny), hi = _mm_load_ps(k.limitHi),
                 lo = _mm_load_ps(k.limitLo);
    const float coef[4] = {filterCoef[0], filterCoef[1], filterCoef[2], filterCoef[3]};
    __m128 s0 = _mm_load_ps(filterState[0]), s1 = _mm_load_ps(filterState[1]);
    __m128d p = _mm_load_pd(pos);
    __m128d a = _mm_cvtps_pd(_mm_unpacklo_ps(_mm_load_ss(values + ((a0 + a0) & m)),
                                             _mm_load_ss(values + ((a1 + a1) & m) + 1)));
    for (int n = 0; n < count; ++n) {
        p = _mm_add_pd(p, st);
        const uint64_t b0 = a0 + 1, b1 = a1 + 1;
        const __m128d b = _mm_cvtps_pd(_mm_unpacklo_ps(_mm_load_ss(values + ((b0 + b0) & m)),
                                                       _mm_load_ss(values + ((b1 + b1) & m) + 1)));
        const __m128d reads = _mm_add_pd(a, _mm_mul_pd(_mm_sub_pd(b, a), f));
        double pair;
        std::memcpy(&pair, &in[n], sizeof pair);
        const __m128 x = _mm_castpd_ps(_mm_load_sd(&pair));
        const __m128 v =
            storedPair<kFilter, kPlain>(reads, x, feedOwn, feedCross, s0, s1, coef, tiny, hi, lo);
        const uint64_t at = (w + w) & m;
        _mm_storeu_pd(times + at, p);
        _mm_storel_pi(reinterpret_cast<__m64*>(values + at), v);
        const __m128 outs = _mm_cvtpd_ps(reads);
        _mm_storel_pi(reinterpret_cast<__m64*>(&pair), outs);
        std::memcpy(static_cast<void*>(&out[n]), &pair, sizeof pair);
        ++w;
        a0 = b0;
        a1 = b1;
        a = b;
    }
    if constexpr (kFilter) {
        _mm_store_ps(filterState[0], s0);
        _mm_store_ps(filterState[1], s1);
    }
    head[0] = a0 - 1;
    head[1] = a1 - 1;
    written = w;
    _mm_store_pd(pos, p);
}

// The direct run in the encoding chosen by useAvx.
template <bool kFilter, bool kPlain>
void TDelay::processDirectAs(const stereoStruct* in, stereoStruct* out, int count) {
    if (avx)
        directRunAvx<kFilter, kPlain>(in, out, count);
    else
        directRun<kFilter, kPlain>(in, out, count);
}

template <bool kFilter, bool kPlain>
void TDelay::directRun(const stereoStruct* in, stereoStruct* out, int count) {
    directFrames<kFilter, kPlain>(in, out, count);
}

template <bool kFilter, bool kPlain>
[[gnu::target("avx")]] void TDelay::directRunAvx(const stereoStruct* in, stereoStruct* out,
                                                 int count) {
    directFrames<kFilter, kPlain>(in, out, count);
}

// ------------------------------------------------------------------ swept runs

// Stored values stay finite: the feedback path limits them to +-100 and the
// filter's coefficients lie in (0, 0.4], so that its stages stay within
// about the same bound. Reads, which interpolate between them, are finite
// too. With no feedback (own and cross both zero) the stored value is then
// the input plus the tiny offset: the zero products leave a non-zero input
// as it is, and a zero of either sign becomes the offset itself.
void TDelay::processSwept(const stereoStruct* in, const stereoStruct* lens, stereoStruct* out,
                          int count) {
    if (feedFilterOn)
        processSweptAs<true, false>(in, lens, out, count);
    else if (feed[0] == 0.0 && feed[1] == 0.0 && cross[0] == 0.0 && cross[1] == 0.0)
        processSweptAs<false, true>(in, lens, out, count);
    else
        processSweptAs<false, false>(in, lens, out, count);
}

// The frames that leave the common case run one by one.
template <bool kFilter, bool kPlain>
void TDelay::processSweptAs(const stereoStruct* in, const stereoStruct* lens, stereoStruct* out,
                            int count) {
    for (int n = 0;;) {
        n += avx ? sweptRunAvx<kFilter, kPlain>(in + n, lens + n, out + n, count - n)
                 : sweptRun<kFilter, kPlain>(in + n, lens + n, out + n, count - n);
        if (n >= count) return;
        setDelayLenDirect(lens[n]);
        process(in[n], out[n]);
        ++n;
    }
}

// The frames from the first on, as long as both lines are searched (both
// lengths move, or both hold before either has settled) and each line's
// search moves its head on by exactly one pair, with no check of the
// window or the counters due: the number of frames done. The state stays
// in registers, and the pair after a head (its time and value) is the pair
// read first on the next frame. The search is readLine's walk: it steps
// from head h to h + 1 when pair h + 1 lies at or before the target and
// more than kKeep pairs are stored from h on, and stops there when pair
// h + 2 lies after it. Both heads and `written` move on by one per frame,
// so the count of stored pairs is checked once. The interpolation is
// readLine's; its clamp has nothing to do, since the target lies between
// the two times.
template <bool kFilter, bool kPlain>
[[gnu::always_inline]] inline int TDelay::sweptFrames(const stereoStruct* in,
                                                      const stereoStruct* lens, stereoStruct* out,
                                                      int count) {
    const uint64_t w0 = written;
    if (count <= 0 || !ready || w0 > checkAt || w0 - head[0] <= kKeep || w0 - head[1] <= kKeep)
        return 0;
    const uint64_t end = w0 + std::min<uint64_t>(static_cast<uint64_t>(count), checkAt - w0 + 1);
    double* const tl = times.get();
    float* const vl = values.get();
    const uint64_t m = slotMask;
    // Frame n stores pair w = w0 + n and reads the pairs `ahead` on from w
    // and the one before: both heads and `written` move on together.
    const uint64_t ahead0 = head[0] + 2 - w0, ahead1 = head[1] + 2 - w0;
    // Constants rather than loads: under register pressure each becomes
    // the memory operand of its instruction.
    const __m128 minLen = _mm_set1_ps(kMinLen), maxLen = _mm_set1_ps(kMaxLen);
    const __m128d hundred = _mm_set1_pd(100.0), readBack = _mm_set1_pd(kReadBack);
    const __m128d feedOwn = _mm_load_pd(feed), feedCross = _mm_load_pd(cross);
    const __m128 tiny = _mm_set1_ps(1e-15f), hi = _mm_set1_ps(100.0f), lo = _mm_set1_ps(-100.0f);
    const float coef[4] = {filterCoef[0], filterCoef[1], filterCoef[2], filterCoef[3]};
    __m128 s0 = _mm_load_ps(filterState[0]), s1 = _mm_load_ps(filterState[1]);
    __m128d p = _mm_load_pd(pos), st = _mm_load_pd(step);
    const auto lengths = [&](uint64_t w) {
        const __m128 l =
            _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(lens + (w - w0))));
        return _mm_min_ps(_mm_max_ps(l, minLen), maxLen); // as applyLen
    };
    // Where a move of both lengths on pair w's frame settles (applyLen).
    const auto settleFrom = [&](uint64_t w) {
        const __m128 l = lengths(w);
        const float shorter = _mm_cvtss_f32(_mm_min_ss(l, _mm_shuffle_ps(l, l, 1)));
        return w + static_cast<uint64_t>(static_cast<int>(shorter)) + 2;
    };
    // searchUntil, or a bound below it: a move settles at least
    // int(kMinLen) + 2 frames on, and the frame of the last move is kept to
    // find the true value when the lengths hold that long. A line read
    // directly is not searched while its length holds.
    constexpr uint64_t kSoonest = static_cast<uint64_t>(kMinLen) + 2;
    uint64_t until = direct ? 0 : searchUntil, movedAt = 0;
    // The pair after each head: its times and values.
    const uint64_t i0 = slot(w0 + ahead0 - 1), i1 = slot(w0 + ahead1 - 1) + 1;
    __m128d at = _mm_loadh_pd(_mm_load_sd(tl + i0), tl + i1);
    __m128d a = _mm_cvtps_pd(_mm_unpacklo_ps(_mm_load_ss(vl + i0), _mm_load_ss(vl + i1)));
    uint64_t w = w0;
    for (; w != end; ++w) {
        const __m128d s = _mm_div_pd(hundred, _mm_cvtps_pd(lengths(w)));
        const int moved = _mm_movemask_pd(_mm_cmpneq_pd(s, st));
        if (moved != 3) {
            if (moved != 0) break;
            if (w >= until) {
                if (movedAt == 0) break;
                until = settleFrom(movedAt);
                if (w >= until) break;
            }
        }
        const __m128d np = _mm_add_pd(p, s);
        const __m128d target = _mm_sub_pd(np, readBack);
        const uint64_t j0 = ((w + ahead0) * 2) & m, j1 = (((w + ahead1) * 2) & m) + 1;
        const __m128d next = _mm_loadh_pd(_mm_load_sd(tl + j0), tl + j1);
        if (_mm_movemask_pd(_mm_and_pd(_mm_cmple_pd(at, target), _mm_cmpgt_pd(next, target))) != 3)
            break;
        if (moved == 3) {
            movedAt = w;
            until = w + kSoonest;
        }
        const __m128d b = _mm_cvtps_pd(_mm_unpacklo_ps(_mm_load_ss(vl + j0), _mm_load_ss(vl + j1)));
        const __m128d t = _mm_div_pd(_mm_sub_pd(target, at), _mm_sub_pd(next, at));
        const __m128d reads = _mm_add_pd(a, _mm_mul_pd(_mm_sub_pd(b, a), t));
        const __m128 x =
            _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + (w - w0))));
        const __m128 v =
            storedPair<kFilter, kPlain>(reads, x, feedOwn, feedCross, s0, s1, coef, tiny, hi, lo);
        const uint64_t to = (w * 2) & m;
        _mm_storeu_pd(tl + to, np);
        _mm_storel_pi(reinterpret_cast<__m64*>(vl + to), v);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + (w - w0)),
                         _mm_castps_si128(_mm_cvtpd_ps(reads)));
        p = np;
        st = s;
        at = next;
        a = b;
    }
    const uint64_t n = w - w0;
    if (n == 0) return 0;
    if constexpr (kFilter) {
        _mm_store_ps(filterState[0], s0);
        _mm_store_ps(filterState[1], s1);
    }
    _mm_store_pd(pos, p);
    _mm_store_pd(step, st);
    written = w;
    head[0] += n;
    head[1] += n;
    // setDelayLenDirect's and applyLen's bookkeeping: the lengths of the
    // last frame that moved them (a held length is the same float, as its
    // step is the same), and when that frame settles them.
    direct = false;
    if (movedAt != 0) {
        _mm_storel_pi(reinterpret_cast<__m64*>(len), lengths(movedAt));
        for (int c = 0; c < 2; ++c)
            settleAt[c] = movedAt + static_cast<uint64_t>(static_cast<int>(len[c])) + 2;
        searchUntil = settleFrom(movedAt);
    }
    baseLen[0] = len[0];
    baseLen[1] = len[1];
    lastLenIn[0] = -1.0f;
    return static_cast<int>(n);
}

template <bool kFilter, bool kPlain>
int TDelay::sweptRun(const stereoStruct* in, const stereoStruct* lens, stereoStruct* out,
                     int count) {
    return sweptFrames<kFilter, kPlain>(in, lens, out, count);
}

// The same operations in VEX encoding: three operands spare the copies of
// registers that the two-operand SSE forms need.
template <bool kFilter, bool kPlain>
[[gnu::target("avx")]] int TDelay::sweptRunAvx(const stereoStruct* in, const stereoStruct* lens,
                                               stereoStruct* out, int count) {
    return sweptFrames<kFilter, kPlain>(in, lens, out, count);
}

bool TDelay::useAvx(bool on) {
    avx = on && cpuHasAvx();
    return avx;
}

// ------------------------------------------------------------------ one sample

// The head after dropping the pairs before the first one after `target`
// (three always stay): the rare case of a line far behind, after its length
// fell.
[[gnu::noinline]] uint64_t TDelay::dropBehind(int c, uint64_t h, double target) {
    const uint64_t count = written - h;
    uint64_t lo = 1, hi = count - 1;
    while (lo < hi) {
        const uint64_t mid = (lo + hi) / 2;
        if (timeAt(c, h + mid) <= target)
            lo = mid + 1;
        else
            hi = mid;
    }
    return h + std::min(lo - 1, count - kKeep);
}

void TDelay::rebase(int c) {
    for (uint64_t n = head[c]; n != written; ++n) timeAt(c, n) -= kRebaseBy;
    pos[c] -= kRebaseBy;
}
