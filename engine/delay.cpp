// TDelay (units in delay.h).

#include "engine/delay.h"

#include "core/numeric.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kMinWindow = 4096;
constexpr int kKeep = 3;            // pairs always kept in a line
constexpr double kReadBack = 100.0; // the counter distance between writing and reading
// Counters are moved back by kRebaseBy once they pass kRebaseAt, so that
// their resolution stays fine however long the line runs.
constexpr double kRebaseAt = 16777216.0;
constexpr double kRebaseBy = 8388608.0;

// The feedback path within +-100; NaN gives 0. Both channels at once: the
// minimum and maximum pass NaN on as their bound, the mask then clears it.
using Two = float __attribute__((vector_size(8)));
inline Two limitFeedback(Two x) {
    const Two high = x < 100.0f ? x : 100.0f;
    const Two limited = high > -100.0f ? high : -100.0f;
    return x == x ? limited : 0.0f;
}

} // namespace

// ------------------------------------------------------------------ the pair rings

void TDelay::Line::reset(double time, double value) {
    mask = kMinWindow - 1;
    head = 0;
    count = 1;
    held = 0;
    settle = 1 << 30; // no length yet
    ring[0] = {time, value};
}

// The pairs are rotated to the start of the storage, then the window widens.
void TDelay::Line::grow() {
    const int window = mask + 1;
    if (window >= kStorage) {
        // Cannot happen (kStorage > kCapacity); the oldest pair makes room.
        head = (head + 1) & mask;
        --count;
        return;
    }
    std::rotate(ring.get(), ring.get() + head, ring.get() + window);
    head = 0;
    mask = 2 * window - 1;
}

// ------------------------------------------------------------------ set-up

TDelay::TDelay() {
    // Left uninitialised: pages are touched only as far as the lines reach.
    for (Line& l : lines) l.ring.reset(new Pair[kStorage]);
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
    for (auto& s : filterState) s[0] = s[1] = 0.0f;
    samplesPerWhole = sampleRate * 240.0f / 120.0f;
    filterCoef[0] = filterCoef[1] = 0.0f;
    filterCoef[2] = filterCoef[3] = 1.0f;
    lastLenIn[0] = -1.0f; // the next setters compute
    lastFeedIn[0] = lastFilterIn[0] = kNoValue;
}

void TDelay::zero() {
    for (int c = 0; c < 2; ++c) {
        step[c] = 0.0;
        pos[c] = 0.0;
        lines[c].reset(0.0, 0.0);
    }
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

void TDelay::applyLen(float left, float right) {
    len[0] = clampTo(left, kMinLen, kMaxLen);
    len[1] = clampTo(right, kMinLen, kMaxLen);
    for (int c = 0; c < 2; ++c) {
        const double s = 100.0 / len[c];
        if (s == step[c]) continue;
        step[c] = s;
        lines[c].held = 0;
        lines[c].settle = static_cast<int>(len[c]) + 3;
    }
}

void TDelay::setDelayLenDirect(float l) {
    setDelayLenDirect(l, l);
}

void TDelay::setDelayLenDirect(float left, float right) {
    applyLen(left, right);
    baseLen[0] = len[0];
    baseLen[1] = len[1];
    lastLenIn[0] = -1.0f;
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

// ------------------------------------------------------------------ one sample

// Drops the pairs before the first one after `target` (three always stay):
// the rare case of a line far behind, after its length fell.
[[gnu::noinline]] void TDelay::dropBehind(Line& l, double target) {
    const Pair* ring = l.ring.get();
    int lo = 1, hi = l.count - 1;
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (ring[(l.head + mid) & l.mask].time <= target)
            lo = mid + 1;
        else
            hi = mid;
    }
    const int drop = std::min(lo - 1, l.count - kKeep);
    l.head = (l.head + drop) & l.mask;
    l.count -= drop;
}

// The value stored where the counter stood at `target`: pairs older than
// the two that enclose it are dropped (three are always kept). One pair
// goes per sample while the length holds and two or three while it falls
// as a chorus sweeps it, so the head steps on pair by pair a few times
// before a search takes over.
inline double TDelay::readLine(Line& l, double target) {
    const Pair* ring = l.ring.get();
    const int mask = l.mask;
    int head = l.head;
    int count = l.count;
    const Pair* b = &ring[(head + 1) & mask];
    for (int steps = 0; b->time <= target && count > kKeep; ++steps) {
        if (steps == 4) {
            l.head = head;
            l.count = count;
            dropBehind(l, target);
            head = l.head;
            count = l.count;
            b = &ring[(head + 1) & mask];
            break;
        }
        head = (head + 1) & mask;
        --count;
        b = &ring[(head + 1) & mask];
    }
    l.head = head;
    l.count = count;
    const Pair& a = ring[head];
    const double span = b->time - a.time;
    if (!(span > 0.0)) return b->value; // two equal times
    const double t = clamp01((target - a.time) / span);
    return a.value + (b->value - a.value) * t;
}

void TDelay::rebase(int c) {
    Line& l = lines[c];
    for (int i = 0; i < l.count; ++i) l.ring[(l.head + i) & l.mask].time -= kRebaseBy;
    pos[c] -= kRebaseBy;
}

// One channel's output for the sample: the counter advances; a line is read
// once it holds two pairs and its counter has run a full length. Once every
// pair behind the read point was written at the current length, the pairs
// lie one step apart and the read is direct: the head moves to the pair
// read, as the search would move it (but for rounding).
inline double TDelay::read(int c) {
    Line& l = lines[c];
    pos[c] += step[c];
    if (l.held < l.settle) {
        if (++l.held == l.settle) {
            // The newest pair is one step behind the counter, so the pair
            // read lies ceil(len) - 1 pairs behind it and the point is
            // ceil(len) - len of the way on to the next.
            const double whole = std::ceil(static_cast<double>(len[c]));
            l.back = static_cast<int>(whole) - 1;
            l.frac = whole - len[c];
        }
    } else if (l.count >= l.back + 2 && pos[c] >= kReadBack) {
        const Pair* ring = l.ring.get();
        const int a = (l.head + l.count - 1 - l.back) & l.mask;
        l.head = a;
        l.count = l.back + 1;
        const double va = ring[a].value;
        return va + (ring[(a + 1) & l.mask].value - va) * l.frac;
    }
    return pos[c] >= kReadBack && l.count >= 2 ? readLine(l, pos[c] - kReadBack) : 0.0;
}

void TDelay::process(const stereoStruct& in, stereoStruct& out) {
    const double readL = read(0);
    const double readR = read(1);
    const Two sum = {
        static_cast<float>(in.left + feed[0] * readL + cross[0] * readR) + 1e-15f,
        static_cast<float>(in.right + feed[1] * readR + cross[1] * readL) + 1e-15f,
    };
    const Two limited = limitFeedback(sum);
    float m[2] = {limited[0], limited[1]};
    if (feedFilterOn) {
        for (int c = 0; c < 2; ++c) {
            float* s = filterState[c];
            s[0] = filterCoef[2] * s[0] + filterCoef[0] * m[c] + 1e-15f;
            s[1] = filterCoef[3] * s[1] + filterCoef[1] * s[0] + 1e-15f;
            m[c] = s[0] - s[1];
        }
    }
    lines[0].push(pos[0], m[0]);
    lines[1].push(pos[1], m[1]);
    if (pos[0] > kRebaseAt) [[unlikely]]
        rebase(0);
    if (pos[1] > kRebaseAt) [[unlikely]]
        rebase(1);
    out.left = static_cast<float>(readL);
    out.right = static_cast<float>(readR);
}
