// TDelay (units in delay.h).

#include "engine/delay.h"

#include "core/numeric.h"

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
            processDirect<true>(in, out, count);
        else
            processDirect<false>(in, out, count);
        return;
    }
    for (int n = 0; n < count; ++n) process(in[n], out[n]);
}

// readBoth's direct read and process over the run, the state in registers:
// the line reads pairs a and a + 1 behind the newest, and pair a + 1 of a
// frame is pair a of the next (never stored over within a run: the window
// holds far more than the pairs behind the read point).
static_assert(sizeof(stereoStruct) == 2 * sizeof(float), "a pair moves as one double");

template <bool kFilter>
void TDelay::processDirect(const stereoStruct* in, stereoStruct* out, int count) {
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
        const __m128d inputs = _mm_cvtps_pd(_mm_castpd_ps(_mm_load_sd(&pair)));
        __m128 v = feedback(reads, inputs, feedOwn, feedCross, tiny, hi, lo);
        if constexpr (kFilter) v = filterStep(v, s0, s1, coef, tiny);
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
