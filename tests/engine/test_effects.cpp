// The effect chain: the delay line and the reverb on their own, then the
// chain inside the plug-in, rendered and measured.

#include "core/mod_slots.h"
#include "engine/effect_chain_check.h"
#include "engine/sound_check.h"
#include "support/allocation_watch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <deque>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// The frame of the first output above half of an impulse fed at frame 0,
// or -1 within `frames`.
struct Echo {
    int left = -1, right = -1;
    float largestBefore = 0.0f; // anything that came out earlier
};

Echo impulseEcho(TDelay& d, int frames) {
    Echo e;
    for (int n = 0; n < frames && (e.left < 0 || e.right < 0); ++n) {
        const float x = n == 0 ? 1.0f : 0.0f;
        const stereoStruct out = d.process({x, x});
        if (e.left < 0 && out.left > 0.5f) e.left = n;
        if (e.right < 0 && out.right > 0.5f) e.right = n;
        if (e.left < 0) e.largestBefore = std::max(e.largestBefore, std::fabs(out.left));
    }
    return e;
}

float largestStep(const std::vector<float>& x) {
    float step = 0.0f;
    for (std::size_t i = 1; i < x.size(); ++i) step = std::max(step, std::fabs(x[i] - x[i - 1]));
    return step;
}

float rms(const std::vector<float>& x, std::size_t from = 0, std::size_t to = SIZE_MAX) {
    to = std::min(to, x.size());
    double sum = 0.0;
    for (std::size_t i = from; i < to; ++i) sum += static_cast<double>(x[i]) * x[i];
    return to > from ? static_cast<float>(std::sqrt(sum / static_cast<double>(to - from))) : 0.0f;
}

} // namespace

// ------------------------------------------------------------------ TDelay

TEST(EffectDelay, EchoesAfterItsLengthWhateverTheInput) {
    struct Case {
        const char* name;
        std::function<void(TDelay&)> set;
        int left, right;
    };
    const Case cases[] = {
        {"free length 44100", [](TDelay& d) { d.setDelayLenDirect(44100.0f); }, 44100, 44100},
        {"NaN length", [](TDelay& d) { d.setDelayLenDirect(kNaN); }, 5, 5},
        {"lengths beyond both ends", [](TDelay& d) { d.setDelayLenDirect(-kInf, 1e9f); }, 5,
         262143},
        {"synced at a NaN tempo (1 BPM)",
         [](TDelay& d) {
             d.setTimeSync(1.0f);
             d.setTempo(kNaN);
             d.setDelayLen(0.0f, 0.0f, 0.0f, 0.0f, 1.0f);
         },
         240001, 240001},
        {"synced at an infinite tempo (12000 BPM)",
         [](TDelay& d) {
             d.setTimeSync(1.0f);
             d.setTempo(kInf);
             d.setDelayLen(0.0f, 0.0f, 0.0f, 0.0f, 1.0f);
         },
         21, 21},
        {"samples stored before any length",
         [](TDelay& d) {
             for (int i = 0; i < 10; ++i) d.process({0.0f, 0.0f}); // all at one time
             d.setDelayLenDirect(300.0f);
         },
         300, 300},
    };
    TDelay d;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        d.init(48000.0f);
        c.set(d);
        const Echo e = impulseEcho(d, 300000);
        EXPECT_EQ(e.left, c.left);
        EXPECT_EQ(e.right, c.right);
        EXPECT_LT(e.largestBefore, 1e-6f) << "silence before the echo";
    }
}

TEST(EffectDelay, StoresOnePairPerSampleAndNeverAllocates) {
    TDelay d;
    d.init(44100.0f);
    d.setDelayLenDirect(44100.0f);
    AllocationWatch watch;
    for (int i = 0; i < 1000; ++i) d.process({0.5f, 0.5f});
    EXPECT_EQ(d.getStoredCount(0), 1001) << "the first entry and one per sample";
    // The longest length, then a fall to the shortest, then back.
    d.setDelayLenDirect(TDelay::kMaxLen);
    for (int i = 0; i < 300000; ++i) d.process({1.0f, -1.0f});
    EXPECT_LE(d.getStoredCount(0), TDelay::kCapacity);
    d.setDelayLenDirect(TDelay::kMinLen);
    for (int i = 0; i < 100; ++i) d.process({1.0f, -1.0f});
    EXPECT_LE(d.getStoredCount(0), 8) << "the old pairs are dropped";
    EXPECT_EQ(watch.count(), 0);
}

TEST(EffectDelay, ASweptLengthBendsThePitchWithoutASingleStep) {
    for (const float from : {100.0f, 4000.0f}) {
        const float to = from == 100.0f ? 4000.0f : 100.0f;
        SCOPED_TRACE(testing::Message() << from << " to " << to);
        TDelay d;
        d.init(44100.0f);
        std::vector<float> in, out;
        constexpr int kFrames = 44100;
        for (int n = 0; n < 2 * kFrames; ++n) {
            const float t = std::clamp(static_cast<float>(n - kFrames) / kFrames, 0.0f, 1.0f);
            d.setDelayLenDirect(from + (to - from) * t);
            const float x = std::sin(6.2831853f * 440.0f * n / 44100.0f);
            const stereoStruct y = d.process({x, x});
            if (n >= kFrames / 2) { // past the first length
                in.push_back(x);
                out.push_back(y.left);
            }
        }
        // Shortening by 3900 samples over a second reads at most 9 % faster.
        EXPECT_LT(largestStep(out), largestStep(in) * 1.12f);
        EXPECT_GT(rms(out), 0.6f);
    }
}

// A fractional length splits an echo between two frames the same way
// whether the line has just been set (the pairs are searched) or has held
// its length for a while (the read is direct), and again after a change.
TEST(EffectDelay, FractionalLengthsSplitTheEchoTheSameBeforeAndAfterSettling) {
    struct Case {
        float length;
        int impulseAt; // frames after the length was set
    };
    const Case cases[] = {{300.25f, 0}, {300.25f, 5000}, {1000.5f, 3}, {1000.5f, 9000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.length << " at " << c.impulseAt);
        TDelay d;
        d.init(44100.0f);
        d.setDelayLenDirect(100.0f); // settled at another length first
        for (int n = 0; n < 500; ++n) d.process({0.0f, 0.0f});
        d.setDelayLenDirect(c.length);
        std::vector<float> out;
        for (int n = 0; n < c.impulseAt + 1100; ++n)
            out.push_back(d.process({n == c.impulseAt ? 1.0f : 0.0f, 0.0f}).left);
        // The echo centred on impulse + length: the frame before
        // ceil(length) takes ceil(length) - length of it, that frame the rest.
        const int late = c.impulseAt + static_cast<int>(std::ceil(c.length));
        const float share = std::ceil(c.length) - c.length;
        EXPECT_NEAR(out[late - 1], share, 1e-5f);
        EXPECT_NEAR(out[late], 1.0f - share, 1e-5f);
        float elsewhere = 0.0f;
        for (int n = 0; n < static_cast<int>(out.size()); ++n)
            if (n != late && n != late - 1) elsewhere = std::max(elsewhere, std::fabs(out[n]));
        EXPECT_LT(elsewhere, 1e-6f);
    }
}

// Equal decay gives the shorter channel the stronger feedback: a repeated
// setting follows the lengths as they are now.
TEST(EffectDelay, EqualDecayFollowsALengthChange) {
    TDelay d;
    d.init(44100.0f);
    d.setEqual(1.0f);
    d.setDelayLenDirect(1000.0f, 4000.0f);
    d.setFeed(0.5f, 0.0f);
    EXPECT_GT(d.getFeedOwn(0), d.getFeedOwn(1));
    d.setDelayLenDirect(4000.0f, 1000.0f);
    d.setFeed(0.5f, 0.0f);
    EXPECT_GT(d.getFeedOwn(1), d.getFeedOwn(0));
    d.setEqual(0.0f);
    d.setFeed(0.5f, 0.0f);
    EXPECT_EQ(d.getFeedOwn(0), d.getFeedOwn(1));
}

TEST(EffectDelay, FullFeedbackDecaysInEveryMode) {
    struct Case {
        const char* name;
        float feed, cross;
        bool equal;
    };
    const Case cases[] = {{"own 1", 1.0f, 0.0f, false},
                          {"own 1, cross 0.5", 1.0f, 0.5f, false},
                          {"own -1, cross -1", -1.0f, -1.0f, false},
                          {"own 1, equal decay", 1.0f, 0.0f, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TDelay d;
        d.init(44100.0f);
        d.setDelayLenDirect(441.0f, 300.0f);
        d.setEqual(c.equal ? 1.0f : 0.0f);
        d.setFeed(c.feed, c.cross);
        float first = 0.0f, last = 0.0f;
        for (int n = 0; n < 60 * 44100; ++n) {
            const stereoStruct y = d.process({n == 0 ? 1.0f : 0.0f, 0.0f});
            const float level = std::max(std::fabs(y.left), std::fabs(y.right));
            ASSERT_TRUE(std::isfinite(level)) << n;
            (n < 44100 ? first : last) = std::max(n < 44100 ? first : last, level);
        }
        EXPECT_GT(first, 0.5f);
        EXPECT_LT(last, first) << "the echoes die away";
    }
}

// The delay line the plain way: one queue of (time, value) pairs per
// channel, searched from its oldest pair, read directly once a held length
// has settled. TDelay's vector paths must give the same bits.
class PlainDelay {
public:
    void setLen(float left, float right) {
        const float in[2] = {left, right};
        for (int c = 0; c < 2; ++c) {
            Line& l = lines[c];
            l.len = std::clamp(std::isnan(in[c]) ? TDelay::kMinLen : in[c], TDelay::kMinLen,
                               TDelay::kMaxLen);
            const double s = 100.0 / l.len;
            if (s == l.step) continue;
            l.step = s;
            l.held = 0;
            l.settle = static_cast<int>(l.len) + 3;
        }
    }
    stereoStruct process(stereoStruct in, double feed, double cross) {
        const double r[2] = {read(lines[0]), read(lines[1])};
        const double x[2] = {in.left, in.right};
        float out[2];
        for (int c = 0; c < 2; ++c) {
            float m = static_cast<float>(x[c] + feed * r[c] + cross * r[1 - c]) + 1e-15f;
            m = std::isnan(m) ? 0.0f : std::clamp(m, -100.0f, 100.0f);
            lines[c].pairs.push_back({lines[c].pos, m});
            out[c] = static_cast<float>(r[c]);
        }
        for (Line& l : lines)
            if (l.pos > 16777216.0) {
                for (auto& p : l.pairs) p.first -= 8388608.0;
                l.pos -= 8388608.0;
            }
        return {out[0], out[1]};
    }

private:
    struct Line {
        std::deque<std::pair<double, double>> pairs{{0.0, 0.0}};
        double pos = 0.0, step = 0.0, frac = 0.0;
        float len = 1.0f;
        int held = 0, settle = 1 << 30, back = 0;
    };
    static double read(Line& l) {
        l.pos += l.step;
        const int count = static_cast<int>(l.pairs.size());
        if (l.held < l.settle) {
            if (++l.held == l.settle) {
                const double whole = std::ceil(static_cast<double>(l.len));
                l.back = static_cast<int>(whole) - 1;
                l.frac = whole - l.len;
            }
        } else if (count >= l.back + 2 && l.pos >= 100.0) {
            l.pairs.erase(l.pairs.begin(), l.pairs.begin() + (count - 1 - l.back));
            return l.pairs[0].second + (l.pairs[1].second - l.pairs[0].second) * l.frac;
        }
        if (l.pos < 100.0 || count < 2) return 0.0;
        const double target = l.pos - 100.0;
        while (l.pairs.size() > 3 && l.pairs[1].first <= target) l.pairs.pop_front();
        const auto& [ta, va] = l.pairs[0];
        const auto& [tb, vb] = l.pairs[1];
        if (!(tb - ta > 0.0)) return vb;
        return va + (vb - va) * std::clamp((target - ta) / (tb - ta), 0.0, 1.0);
    }
    Line lines[2];
};

TEST(EffectDelay, EveryReadGivesTheBitsOfThePlainSearch) {
    struct Case {
        const char* name;
        int frames;
        float feed, cross;
        std::function<stereoStruct(int)> lengths; // per frame
    };
    auto sweep = [](int n, float centre, float depth, float rate, float phase) {
        return centre + depth * std::sin(rate * static_cast<float>(n) + phase);
    };
    const Case cases[] = {
        {"a held length, another and back", 9000, 0.3f, 0.0f,
         [](int n) {
             const float l = n < 3000 || n >= 6000 ? 300.25f : 1000.5f;
             return stereoStruct{l, l + 17.0f};
         }},
        {"a chorus sweep on both channels", 20000, 0.0f, 0.0f,
         [&](int n) {
             return stereoStruct{sweep(n, 600.0f, 300.0f, 0.002f, 0.0f),
                                 sweep(n, 729.0f, 300.0f, 0.002f, 1.0f)};
         }},
        {"a stepped sweep that holds for 40 frames", 20000, 0.5f, 0.2f,
         [&](int n) {
             const int held = n / 40 * 40;
             return stereoStruct{sweep(held, 200.0f, 150.0f, 0.001f, 0.0f),
                                 sweep(held, 209.0f, 150.0f, 0.001f, 2.0f)};
         }},
        {"one channel held, the other swept", 12000, 0.4f, -0.3f,
         [&](int n) {
             return stereoStruct{441.0f, sweep(n, 300.0f, 250.0f, 0.01f, 0.0f)};
         }},
        {"a fall from 20000 to the shortest and up again", 30000, 0.0f, 0.0f,
         [](int n) {
             const float l = n < 21000 ? 20000.0f : (n < 24000 ? 5.0f : 5.0f + (n - 24000));
             return stereoStruct{l, n < 22000 ? 20000.0f : 7.5f};
         }},
        // Near the shortest length the counters pass the rebase point
        // within a second.
        {"short sweeps past a counter rebase", 950000, 0.5f, 0.0f,
         [&](int n) {
             return stereoStruct{sweep(n, 5.6f, 0.5f, 0.01f, 0.0f),
                                 sweep(n, 6.0f, 0.9f, 0.003f, 1.0f)};
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TDelay d;
        d.init(44100.0f);
        d.setFeed(c.feed, c.cross);
        PlainDelay plain;
        const double feed = d.getFeedOwn(0), cross = d.getFeedCross(0);
        uint32_t noise = 12345;
        int mismatches = 0, first = -1;
        for (int n = 0; n < c.frames; ++n) {
            const stereoStruct len = c.lengths(n);
            d.setDelayLenDirect(len.left, len.right);
            plain.setLen(len.left, len.right);
            noise = noise * 1664525u + 1013904223u;
            const float x = static_cast<float>(noise >> 8) / 16777216.0f - 0.5f;
            const stereoStruct in{x, n % 7 == 0 ? -x : 0.25f * x};
            const stereoStruct got = d.process(in), want = plain.process(in, feed, cross);
            if (std::memcmp(&got, &want, sizeof got) != 0 && mismatches++ == 0) first = n;
        }
        EXPECT_EQ(mismatches, 0) << "first at frame " << first;
    }
}

// Runs of frames give the bits of frame-by-frame work, and leave the line
// where it would be: lengths that hold (read directly in one loop), lengths
// that move between runs, with and without feedback, the feedback filter,
// windows that grow, inputs that are not ordinary numbers; in both
// encodings of the loop.
TEST(EffectDelay, RunsOfFramesGiveTheBitsOfFrameByFrame) {
    struct Case {
        const char* name;
        int frames;
        bool feedback, filter;
        std::function<stereoStruct(int)> lengths; // per run, from its first frame
    };
    const Case cases[] = {
        {"a held length", 20000, true, false,
         [](int) {
             return stereoStruct{441.5f, 300.0f};
         }},
        {"held, then moved now and then", 30000, true, true,
         [](int n) {
             const float l = n < 7000 ? 5.0f : (n < 15000 ? 2000.25f : 700.0f + (n / 5000) * 3.5f);
             return stereoStruct{l, n < 20000 ? l : 9000.0f};
         }},
        {"a length that grows the window", 60000, true, true,
         [](int n) {
             return stereoStruct{n < 1000 ? 100.0f : 40000.0f, 37.0f};
         }},
        {"swept every run", 12000, true, false,
         [](int n) {
             const float l = 300.0f + 200.0f * std::sin(0.001f * static_cast<float>(n));
             return stereoStruct{l, l + 11.0f};
         }},
        {"no feedback, held now and then", 30000, false, false,
         [](int n) {
             const float l = n < 9000 ? 1234.75f : (n < 17000 ? 5.0f : 800.0f + (n / 4000) * 2.0f);
             return stereoStruct{l, l + 0.5f};
         }},
    };
    // Now and then an input that is not an ordinary number.
    const float odd[] = {-0.0f, std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity(), 1e-40f, -250.0f};
    for (const Case& c : cases)
        for (bool avx : {true, false}) {
            SCOPED_TRACE(std::string(c.name) + (avx ? ", VEX" : ", SSE2"));
            TDelay runs, frames;
            for (TDelay* d : {&runs, &frames}) {
                d->init(44100.0f);
                if (c.feedback) d->setFeed(0.6f, -0.3f);
                if (c.filter) d->setFeedFilter(0.7f, 0.2f);
            }
            runs.useAvx(avx);
            uint32_t noise = 777;
            int mismatches = 0, first = -1;
            for (int n = 0, run = 1; n < c.frames; n += run, run = run % 16 + 1) {
                const int count = std::min(run, c.frames - n);
                const stereoStruct len = c.lengths(n);
                stereoStruct in[16], got[16], want[16];
                for (int i = 0; i < count; ++i) {
                    noise = noise * 1664525u + 1013904223u;
                    const float x = static_cast<float>(noise >> 8) / 16777216.0f - 0.5f;
                    in[i] = {x, 0.5f * x};
                    if ((n + i) % 101 == 0) in[i].left = odd[(n + i) / 101 % std::size(odd)];
                }
                runs.setDelayLenDirect(len);
                runs.process(in, got, count);
                frames.setDelayLenDirect(len);
                for (int i = 0; i < count; ++i) want[i] = frames.process(in[i]);
                for (int i = 0; i < count; ++i)
                    if (std::memcmp(&got[i], &want[i], sizeof got[i]) != 0 && mismatches++ == 0)
                        first = n + i;
                ASSERT_EQ(runs.getStoredCount(0), frames.getStoredCount(0)) << n;
                ASSERT_EQ(runs.getStoredCount(1), frames.getStoredCount(1)) << n;
            }
            EXPECT_EQ(mismatches, 0) << "first at frame " << first;
        }
}

// processSwept against setDelayLenDirect and the one-frame process, frame by
// frame: lengths that move every frame (the chorus and flanger sweeps, the
// LFO's ramps with holds), that hold long enough to be read directly, that
// move one channel only, that are not numbers, and that grow the window or
// pass a counter rebase; runs of 1..16 frames; in both encodings of the loop.
TEST(EffectDelay, SweptRunsGiveTheBitsOfFrameByFrame) {
    enum Feed { kNone, kFeed, kFiltered };
    struct Case {
        const char* name;
        int frames;
        Feed feed;
        std::function<stereoStruct(int)> lengths; // per frame
    };
    const auto sine = [](int n, float rate) { return std::sin(rate * static_cast<float>(n)); };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const Case cases[] = {
        {"rising", 20000, kNone,
         [](int n) {
             return stereoStruct{200.0f + 0.01f * n, 230.0f + 0.013f * n};
         }},
        {"falling", 20000, kFeed,
         [](int n) {
             return stereoStruct{400.0f - 0.01f * n, 410.0f - 0.007f * n};
         }},
        {"fast", 20000, kFiltered,
         [&](int n) {
             const float l = 60.0f + 50.0f * sine(n, 0.01f);
             return stereoStruct{l, l + 7.5f};
         }},
        {"ramped four frames, held five", 30000, kFeed,
         [&](int n) {
             const int k = n / 9 * 4 + std::min(n % 9, 4);
             const float l = 160.0f + 20.0f * sine(k, 0.0005f);
             return stereoStruct{l, l + 9.0f};
         }},
        {"held, read directly, then swept", 30000, kNone,
         [&](int n) {
             const float l = n < 10000 ? 300.0f : 300.0f + 30.0f * sine(n - 10000, 0.002f);
             return stereoStruct{l, n % 3000 < 1500 ? 333.0f : l};
         }},
        {"not numbers and out of range", 20000, kFiltered,
         [&](int n) {
             const float bad[] = {nan, inf, -inf, -5.0f, 1e9f, 0.0f};
             const float l = 100.0f + 40.0f * sine(n, 0.003f);
             return n % 97 < 6 ? stereoStruct{bad[n % 97], l} : stereoStruct{l, l + 1.0f};
         }},
        {"growing the window", 40000, kFeed,
         [](int n) {
             const float l = 10.0f + 0.1f * static_cast<float>(n);
             return stereoStruct{l, 0.5f * l};
         }},
        {"ramped two frames, held twelve, settling in between", 30000, kNone,
         [&](int n) {
             const int k = n / 14 * 2 + std::min(n % 14, 2);
             const float l = 12.0f + 4.0f * sine(k, 0.002f);
             return stereoStruct{l, l + 2.0f};
         }},
        {"short, past a counter rebase", 1000000, kNone,
         [&](int n) {
             return stereoStruct{5.5f + 0.4f * sine(n, 0.001f), 5.2f + 0.1f * sine(n, 0.0013f)};
         }},
    };
    for (const Case& c : cases)
        for (const bool avx : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (avx ? ", VEX" : ", SSE2"));
            TDelay runs, frames;
            if (runs.useAvx(avx) != avx) continue; // no AVX here
            for (TDelay* d : {&runs, &frames}) {
                d->init(44100.0f);
                if (c.feed != kNone) d->setFeed(0.6f, -0.3f);
                if (c.feed == kFiltered) d->setFeedFilter(0.7f, 0.2f);
            }
            uint32_t noise = 99;
            int mismatches = 0, first = -1;
            for (int n = 0, run = 1; n < c.frames; n += run, run = run % 16 + 1) {
                const int count = std::min(run, c.frames - n);
                stereoStruct in[16], len[16], got[16], want[16];
                for (int i = 0; i < count; ++i) {
                    noise = noise * 1664525u + 1013904223u;
                    const float x = static_cast<float>(noise >> 8) / 16777216.0f - 0.5f;
                    in[i] = {x, i == 3 ? -0.0f : -0.7f * x};
                    len[i] = c.lengths(n + i);
                }
                runs.processSwept(in, len, got, count);
                for (int i = 0; i < count; ++i) {
                    frames.setDelayLenDirect(len[i]);
                    want[i] = frames.process(in[i]);
                }
                for (int i = 0; i < count; ++i)
                    if (std::memcmp(&got[i], &want[i], sizeof got[i]) != 0 && mismatches++ == 0)
                        first = n + i;
                for (int ch = 0; ch < 2; ++ch) {
                    ASSERT_EQ(runs.getStoredCount(ch), frames.getStoredCount(ch)) << n;
                    ASSERT_EQ(std::bit_cast<uint32_t>(runs.getLen(ch)),
                              std::bit_cast<uint32_t>(frames.getLen(ch)))
                        << n;
                    ASSERT_EQ(runs.getBaseLen(ch), frames.getBaseLen(ch)) << n;
                }
            }
            EXPECT_EQ(mismatches, 0) << "first at frame " << first;
        }
}

// ------------------------------------------------------------------ TBasicReverb

TEST(Reverb, ImpulseAtTheLargestRoomDecaysAndStaysFinite) {
    TBasicReverb r;
    r.setRoomSize(1.0f);
    r.setDamp(0.0f);
    r.setFilter(0.0f);
    std::vector<float> level(60, 0.0f); // per second
    for (int n = 0; n < 60 * 44100; ++n) {
        float o[4];
        r.process(n == 0 ? 1.0f : 0.0f, n == 0 ? 1.0f : 0.0f, o[0], o[1], o[2], o[3]);
        for (float x : o) {
            ASSERT_TRUE(std::isfinite(x)) << n;
            level[n / 44100] = std::max(level[n / 44100], std::fabs(x));
        }
    }
    EXPECT_GT(level[5], 1e-3f * level[0]) << "a long tail";
    EXPECT_LT(level[59], 1e-6f * level[0]) << "that dies away";
}

TEST(Reverb, LoopGainAndTapsStayWithinTheirBoundsWhateverTheInput) {
    struct Case {
        float room;
        float gain;
    };
    const Case cases[] = {{0.0f, 0.65f}, {1.0f, 0.98f}, {-3.0f, 0.65f},
                          {kNaN, 0.65f}, {7.0f, 0.98f}, {kInf, 0.98f}};
    TBasicReverb r;
    for (const Case& c : cases) {
        r.setRoomSize(c.room);
        EXPECT_NEAR(r.getLoopGain(0), c.gain, 0.001f) << c.room;
    }
    // At 500 kHz the longest tap span (63 ms) is 31501 samples: it is held
    // inside the ring, and the rate change allocates nothing.
    AllocationWatch watch;
    r.setSampleRate(500000.0f);
    r.setWiden(31501, 0, -5, 16383);
    EXPECT_EQ(watch.count(), 0);
    for (int k = 0; k < 4; ++k) {
        EXPECT_GE(r.getTapOffset(k), 0) << k;
        EXPECT_LE(r.getTapOffset(k), TBasicReverb::kRing - 2) << k;
    }
    EXPECT_LE(r.getCombLength(3, 8), TBasicReverb::kMaxCombLength);
}

// The rings run over windows sized for the rate: the largest room the chain
// sets keeps its full comb lengths at every rate, low rates use part of the
// comb ring, and no rate change brings back sound from a wider window.
TEST(Reverb, RateWindowsHoldTheLargestRoomAndNoSoundFromAnEarlierRate) {
    TBasicReverb r;
    for (const float rate : {192000.0f, 44100.0f, 96000.0f, 48000.0f, 500000.0f}) {
        SCOPED_TRACE(rate);
        r.setSampleRate(22050.0f); // a narrower window between, never played
        r.setSampleRate(rate);
        r.setSize(TBasicReverb::kMaxSize / 1.1f, TBasicReverb::kMaxSize);
        const double longest = std::min(1703.0 * TBasicReverb::kMaxSize * rate / 44100.0,
                                        double{TBasicReverb::kMaxCombLength});
        EXPECT_NEAR(r.getCombLength(3, 8), longest, 1.0);
        EXPECT_LE(r.getCombRows(),
                  rate <= 48000.0f ? TBasicReverb::kRing / 2 : TBasicReverb::kRing);
        float o[4];
        float stale = 0.0f;
        for (int n = 0; n < TBasicReverb::kRing + 1000; ++n) {
            r.process(0.0f, 0.0f, o[0], o[1], o[2], o[3]);
            for (float x : o) stale = std::max(stale, std::fabs(x));
        }
        EXPECT_LT(stale, 1e-6f); // the allpasses add 1e-8 against denormals
        // Sound in every row of the window for the next rate.
        for (int n = 0; n < TBasicReverb::kRing + 1000; ++n)
            r.process(n % 97 == 0 ? 1.0f : 0.0f, 0.5f, o[0], o[1], o[2], o[3]);
    }
}

TEST(Reverb, EachSideReverberatesOnItsOwnSide) {
    for (const bool fromLeft : {true, false}) {
        SCOPED_TRACE(fromLeft ? "left input" : "right input");
        TBasicReverb r;
        r.setWiden(200, 300, 400, 500);
        double same = 0.0, other = 0.0;
        for (int n = 0; n < 44100; ++n) {
            const float x = n == 0 ? 1.0f : 0.0f;
            float o[4];
            r.process(fromLeft ? x : 0.0f, fromLeft ? 0.0f : x, o[0], o[1], o[2], o[3]);
            const float left = o[0] + o[2], right = o[1] + o[3];
            same += std::fabs(fromLeft ? left : right);
            other += std::fabs(fromLeft ? right : left);
        }
        EXPECT_GT(same, 1.0);
        EXPECT_LT(other, 1e-3 * same) << "nothing but the allpasses' denormal guard";
    }
}

// The AVX2 comb bank gives the bits of the SSE2 one over runs of every
// length, at several rates, sizes (down to one-sample combs), rooms and taps.
TEST(Reverb, WideCombsGiveTheBitsOfTheFourLaneOnes) {
    struct Case {
        float rate, s1, s2, room, damp, filter;
        int widen[4];
    };
    const Case cases[] = {
        {44100.0f, 1.0f, 1.0f, 0.9f, 0.5f, 0.0f, {200, 300, 400, 500}},
        {96000.0f, TBasicReverb::kMaxSize, 0.3f, 1.0f, 0.0f, 0.6f, {1, 16383, 77, 2}},
        {22050.0f, 0.0f, 0.004f, 0.3f, 1.0f, 0.2f, {5, 6, 7, 8}},
        {500000.0f, 2.0f, TBasicReverb::kMaxSize, 0.95f, 0.25f, 1.0f, {9000, 31, 16000, 4}},
    };
    TBasicReverb wide, plain;
    if (!wide.useWideCombs(true)) GTEST_SKIP() << "no AVX2";
    plain.useWideCombs(false);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        for (TBasicReverb* r : {&wide, &plain}) {
            r->setSampleRate(c.rate);
            r->setSize(c.s1, c.s2);
            r->setRoomSize(c.room);
            r->setDamp(c.damp);
            r->setFilter(c.filter);
            r->setWiden(c.widen[0], c.widen[1], c.widen[2], c.widen[3]);
            r->setMod(1.002f, 0.998f, 1.001f, 0.999f);
        }
        uint32_t noise = 4242;
        int mismatches = 0, first = -1;
        stereoStruct in[TBasicReverb::kRunFrames];
        float got[4 * TBasicReverb::kRunFrames], want[4 * TBasicReverb::kRunFrames];
        for (int n = 0, run = 1; n < 40000; n += run, run = run % TBasicReverb::kRunFrames + 1) {
            for (int i = 0; i < run; ++i)
                for (float* side : {&in[i].left, &in[i].right}) {
                    noise = noise * 1664525u + 1013904223u;
                    *side = n < 20000 ? static_cast<float>(noise >> 8) / 8388608.0f - 1.0f : 0.0f;
                }
            wide.process(in, got, run);
            plain.process(in, want, run);
            if (std::memcmp(got, want, sizeof(float) * 4 * run) != 0 && mismatches++ == 0)
                first = n;
        }
        EXPECT_EQ(mismatches, 0) << "first in the run from frame " << first;
    }
}

// Runs of frames, through either comb bank, give the bits of a plain reverb
// that keeps every comb's, tap's and allpass's history on its own and works
// frame by frame: the input ring's copies, the taps up to a whole ring
// back, the comb sums' order, the high-pass and the allpass rows.
TEST(Reverb, RunsGiveTheBitsOfAPlainFrameByFrameReverb) {
    struct Case {
        float rate, s1, s2, room, damp, filter;
        int widen[4];
    };
    const Case cases[] = {
        {44100.0f, 1.0f, 1.0f, 0.9f, 0.5f, 0.0f, {200, 300, 400, 500}},
        {48000.0f, 0.7f, 1.3f, 0.6f, 0.2f, 0.5f, {16383, 16370, 1, 16382}},
        {22050.0f, 0.0f, 0.004f, 1.0f, 1.0f, 0.9f, {2, 15, 16, 17}},
    };
    constexpr int kFrames = 40000;
    for (const bool wideOn : {false, true})
        for (const Case& c : cases) {
            SCOPED_TRACE(::testing::Message() << c.rate << (wideOn ? " wide" : " four lanes"));
            TBasicReverb r;
            r.useWideCombs(wideOn);
            r.setSampleRate(c.rate);
            r.setSize(c.s1, c.s2);
            r.setRoomSize(c.room);
            r.setDamp(c.damp);
            r.setFilter(c.filter);
            r.setWiden(c.widen[0], c.widen[1], c.widen[2], c.widen[3]);
            r.setMod(1.002f, 0.998f, 1.001f, 0.999f);
            float hpCoef = 2.0f * std::min(std::exp2(10.0f * c.filter) * 20.0f / c.rate, 0.3f);
            if (hpCoef < 0.01f) hpCoef = 0.0f;

            // The plain reverb: histories indexed by frame, zero before 0.
            std::vector<float> inL(kFrames), inR(kFrames);
            std::vector<std::vector<float>> comb(4 * TBasicReverb::kCombsPerLane,
                                                 std::vector<float>(kFrames));
            std::vector<std::vector<float>> allpass(4 * TBasicReverb::kAllpassStages,
                                                    std::vector<float>(kFrames));
            float store[4 * TBasicReverb::kCombsPerLane] = {}, hp[4] = {};
            auto back = [](const std::vector<float>& h, int n, int d) {
                return n - d >= 0 ? h[n - d] : 0.0f;
            };
            uint32_t noise = 777;
            int mismatches = 0, first = -1;
            stereoStruct in[TBasicReverb::kRunFrames];
            float got[4 * TBasicReverb::kRunFrames];
            for (int n0 = 0, run = 1; n0 < kFrames;
                 n0 += run, run = run % TBasicReverb::kRunFrames + 1) {
                run = std::min(run, kFrames - n0);
                for (int i = 0; i < run; ++i)
                    for (float* side : {&in[i].left, &in[i].right}) {
                        noise = noise * 1664525u + 1013904223u;
                        *side = n0 < kFrames / 2
                                    ? static_cast<float>(noise >> 8) / 8388608.0f - 1.0f
                                    : 0.0f;
                    }
                r.process(in, got, run);
                for (int i = 0; i < run; ++i) {
                    const int n = n0 + i;
                    inL[n] = in[i].left * 0.03f;
                    inR[n] = in[i].right * 0.03f;
                    // Tap k: widen_k + 1 frames back within the ring (a whole
                    // ring back is the frame itself).
                    float tap[4];
                    for (int k = 0; k < 4; ++k)
                        tap[k] = back(k % 2 ? inR : inL, n, (c.widen[k] + 1) % TBasicReverb::kRing);
                    const float own[4] = {inL[n], inR[n], inL[n], inR[n]};
                    const float delayed[4] = {tap[2], tap[3], tap[0], tap[1]};
                    for (int lane = 0; lane < 4; ++lane) {
                        float y = 0.0f;
                        for (int j = 0; j < TBasicReverb::kCombsPerLane; ++j) {
                            const int k = j * 4 + lane;
                            const float x = back(comb[k], n, r.getCombLength(lane, j));
                            store[k] = store[k] * r.getDamp() + x * (1.0f - r.getDamp());
                            comb[k][n] =
                                (j % 2 ? delayed : own)[lane] + store[k] * r.getLoopGain(lane);
                            y += x;
                        }
                        if (hpCoef > 0.0f) {
                            hp[lane] = hp[lane] * (1.0f - hpCoef) + y * hpCoef;
                            y -= hp[lane];
                        }
                        for (int s = 0; s < TBasicReverb::kAllpassStages; ++s) {
                            std::vector<float>& h = allpass[s * 4 + lane];
                            const float b = back(h, n, r.getAllpassLength(lane, s));
                            h[n] = 0.5f * b + y + 1e-8f;
                            y = b - y;
                        }
                        if (std::memcmp(&y, &got[4 * i + lane], sizeof y) != 0 && mismatches++ == 0)
                            first = n;
                    }
                }
            }
            EXPECT_EQ(mismatches, 0) << "first at frame " << first;
        }
}

// ------------------------------------------------------------------ the chain in the plug-in

namespace {

constexpr int kSine = 0;
constexpr int kNote = 69;

void allEffects(APlugin& p, bool on) {
    for (int t : {tag::ChorusOn, tag::FlangerPhaserOn, tag::DelayOn, tag::ReverbOn})
        p.setOnOff(t, on);
}

} // namespace

TEST(EffectChain, SyncedDelayEchoesAfterTheDefaultLengthsAt48k) {
    SoundCheck s;
    s.rate(48000.0f);
    APlugin& p = s.h.p();
    p.setOn(tag::DelayOn);
    p.setParameter(tag::DelayMix, 1.0f); // wet only
    s.h.render(4096);                    // tempo 120 from the host, enables, mixes settle
    auto& bus = s.h.engine().render.fxBlock;
    std::vector<float> left, right;
    for (int n = 0; n < 30000; ++n) {
        bus = n == 0 ? std::array<float, 4>{1.0f, 1.0f, 1.0f, 1.0f} : std::array<float, 4>{};
        p.doFX(false);
        left.push_back(bus[0]);
        right.push_back(bus[1]);
    }
    auto firstEcho = [](const std::vector<float>& x) {
        for (std::size_t n = 1; n < x.size(); ++n)
            if (std::fabs(x[n]) > 0.1f) return static_cast<int>(n);
        return -1;
    };
    EXPECT_EQ(firstEcho(left), 24001) << "a quarter note and one sample";
    EXPECT_EQ(firstEcho(right), 18001) << "a dotted eighth and one sample";
}

TEST(EffectChain, ChorusMakesAMonoSineStereo) {
    for (const bool chorus : {false, true}) {
        SCOPED_TRACE(chorus ? "chorus" : "dry");
        SoundCheck s;
        s.waves(kSine, kSine);
        s.h.p().setOnOff(tag::ChorusOn, chorus);
        std::vector<float> right;
        const std::vector<float> left = s.hold(kNote, 8192, 16384, 127, &right);
        std::vector<float> diff(left.size());
        for (std::size_t i = 0; i < left.size(); ++i) diff[i] = left[i] - right[i];
        if (chorus)
            EXPECT_GT(rms(diff), 0.1f * rms(left));
        else
            EXPECT_EQ(rms(diff), 0.0f);
    }
}

TEST(EffectChain, BypassLeavesTheBusUntouched) {
    auto render = [](bool effects, bool bypass) {
        SoundCheck s;
        allEffects(s.h.p(), effects);
        s.h.p().setOnOff(tag::FXBypassOn, bypass);
        return s.hold(kNote, 0, 20000);
    };
    const std::vector<float> dry = render(false, false);
    EXPECT_EQ(render(true, true), dry);
    EXPECT_NE(render(true, false), dry);
}

TEST(EffectChain, OnlyTheFlangerPhaserChoiceResetsTheEffects) {
    struct Case {
        const char* change;
        std::function<void(APlugin&)> make;
        bool resets;
    };
    const Case cases[] = {
        {"flanger to phaser", [](APlugin& p) { p.setOn(tag::FlangerOrPhaser); }, true},
        {"chorus speed", [](APlugin& p) { p.setParameter(tag::ChorusSpeed, 0.9f); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.change);
        SoundCheck s;
        APlugin& p = s.h.p();
        p.setOn(tag::ChorusOn);
        p.setOn(tag::ReverbOn);
        p.setOn(tag::DelayOn);
        s.play(kNote, 0, 4096);
        ASSERT_GT(rms(s.capture(1024)), 1e-3f) << "the tail sounds";
        c.make(p);
        s.capture(256); // the next 128-frame tick
        const float tail = rms(s.capture(1024));
        if (c.resets)
            EXPECT_LT(tail, 1e-6f);
        else
            EXPECT_GT(tail, 1e-3f);
    }
}

TEST(EffectChain, SleepsEightSecondsAfterTheLastSoundAndWakesAtOnce) {
    SoundCheck s;
    APlugin& p = s.h.p();
    p.setOn(tag::DelayOn);
    p.setParameter(tag::DelayFeed, 0.5f); // one echo
    const EffectChainState& fx = s.h.engine().fx;
    s.play(kNote, 0, 2048);
    constexpr int kBlock = 64;
    // The chain hears silence below 0.0001 before the master stage.
    const float threshold = 1e-4f * s.h.engine().render.masterGain;
    int lastSound = 0, sleptAt = -1;
    for (int n = 0; n < 12 * 44100 && sleptAt < 0; n += kBlock) {
        s.h.render(kBlock);
        for (int i = 0; i < kBlock; ++i)
            if (std::fabs(s.h.left[i]) + std::fabs(s.h.right[i]) > threshold) lastSound = n + i;
        if (fx.asleep) sleptAt = n;
    }
    ASSERT_GT(sleptAt, 0);
    EXPECT_NEAR(sleptAt - lastSound, 8 * 44100, 3 * kBlock);

    s.h.send(EventBlock().noteOn(0, kNote, 127));
    s.h.render(kBlock);
    EXPECT_FALSE(fx.asleep);
    EXPECT_GT(rms(std::vector<float>(s.h.left.begin(), s.h.left.begin() + kBlock)), 1e-3f);
    EXPECT_GT(fx.effectDelay.getStoredCount(0), 1000) << "the delay line was kept";
}

TEST(EffectChain, LevelSourcesFollowTheirEffects) {
    struct Case {
        int on;     // the one effect switched on
        int source; // the source that follows it
    };
    const Case cases[] = {{tag::ChorusOn, src::ChorusOut},
                          {tag::FlangerPhaserOn, src::ModFxOut},
                          {tag::DelayOn, src::DelayOut}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        SoundCheck s;
        s.h.p().setOn(c.on);
        s.hold(kNote, 4096, 0);
        const RenderState& r = s.h.engine().render;
        const auto& sources = s.h.engine().global.src;
        double level = 0.0;
        for (int n = 0; n < 2048; ++n) {
            s.h.render(1);
            // The chain's output is its bus scaled back by 10: the source is
            // the bus as the chain carries it, a tenth of what leaves.
            const float mean = (r.fxBlock[0] + r.fxBlock[1] + r.fxBlock[2] + r.fxBlock[3]) * 0.25f;
            ASSERT_NEAR(sources[c.source], std::clamp(mean * 0.1f, -1.0f, 1.0f), 1e-7f) << n;
            for (int other : {src::ChorusOut, src::ModFxOut, src::DelayOut}) {
                if (other != c.source) {
                    ASSERT_EQ(sources[other], 0.0f);
                }
            }
            level += std::fabs(sources[c.source]);
        }
        EXPECT_GT(level / 2048, 1e-4);
    }
}

// A second of the tails feeding themselves under the sanitizers (the minute
// of them is a long test, tests/long/test_effect_chain.cpp).
TEST(EffectChain, EveryMixAndFeedbackAtFullStaysFiniteAndLimited) {
    checkEffectChainAtFull(1);
}

// ------------------------------------------------------------------ runs of frames

namespace {

constexpr int kChord[] = {48, 55, 64, 72};

// Exactly `frames` frames in blocks of at most `block`, appended to `out`
// (left, right interleaved).
void renderExactly(PluginHarness& h, int frames, int block, std::vector<float>& out) {
    while (frames > 0) {
        const int n = std::min(frames, block);
        h.render(n);
        for (int i = 0; i < n; ++i) {
            out.push_back(h.left[i]);
            out.push_back(h.right[i]);
        }
        frames -= n;
    }
}

} // namespace

// Within a block the chain works on the frames up to the next control tick
// or event in one run, while nothing reads its output; blocks of one frame
// give it one frame at a time. Both sound the same, bit for bit.
TEST(EffectChain, RunsOfFramesSoundAsFrameByFrame) {
    struct Case {
        const char* name;
        std::function<void(APlugin&)> setup;
        std::function<void(APlugin&)> midway; // after half of the held frames
        int held, released;                   // frames with the chord held, then after it
        bool sleeps;                          // the chain sleeps by the end of the release
    };
    const auto none = [](APlugin&) {};
    const Case cases[] = {
        {"all four", [](APlugin& p) { allEffects(p, true); }, none, 12000, 0, false},
        {"phaser, shaped and humanised effect LFOs",
         [](APlugin& p) {
             allEffects(p, true);
             p.setOn(tag::FlangerOrPhaser);
             p.setModSlotVar(0, false, 0.8f, src::Offset, dst::PhaserBias);
             p.setModSlotVar(1, false, 0.3f, src::Offset, dst::ChorusBias);
             p.setModSlotVar(2, false, 0.9f, src::Offset, dst::ChorusBits);
             p.setModSlotVar(3, false, 1.0f, src::Offset, dst::PhaserHuman);
             p.setModSlotVar(4, false, 1.0f, src::Offset, dst::ChorusHuman);
         },
         none, 12000, 0, false},
        {"mixes move, an effect switches off and back", [](APlugin& p) { allEffects(p, true); },
         [](APlugin& p) {
             p.setParameter(tag::ChorusMix, 0.9f);
             p.setParameter(tag::ReverbMix, 0.2f);
             p.setOnOff(tag::FlangerPhaserOn, false);
             p.setOnOff(tag::DelayOn, false);
             p.setOnOff(tag::DelayOn, true);
         },
         12000, 0, false},
        {"a slot reads the chorus level",
         [](APlugin& p) {
             allEffects(p, true);
             p.setModSlotVar(0, false, 1.0f, src::ChorusOut, dst::OscMorph);
         },
         none, 8000, 0, false},
        {"a slot reads the output",
         [](APlugin& p) {
             allEffects(p, true);
             p.setModSlotVar(0, false, 1.0f, src::Output, dst::OscMorph);
         },
         none, 8000, 0, false},
        {"sleeps after the tail and wakes",
         [](APlugin& p) {
             p.setOn(tag::ChorusOn);
             p.setOn(tag::DelayOn);
             p.setParameter(tag::DelayFeed, 0.5f);
         },
         none, 2000, 9 * 44100, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto render = [&c](int block, bool& slept) {
            SoundCheck s;
            APlugin& p = s.h.p();
            c.setup(p);
            std::vector<float> out;
            renderExactly(s.h, 256, block, out); // the settings arrive
            EventBlock on;
            for (int note : kChord) on.noteOn(0, note, 110);
            s.h.send(on);
            renderExactly(s.h, c.held / 2, block, out);
            c.midway(p);
            renderExactly(s.h, c.held - c.held / 2, block, out);
            EventBlock off;
            for (int note : kChord) off.noteOff(0, note);
            s.h.send(off);
            renderExactly(s.h, c.released, block, out);
            slept = s.h.engine().fx.asleep;
            s.h.send(EventBlock().noteOn(0, 60, 100)); // wakes a sleeping chain
            renderExactly(s.h, 3000, block, out);
            EXPECT_FALSE(s.h.engine().fx.asleep);
            return out;
        };
        bool sleptByFrame = false, sleptInRuns = false;
        const std::vector<float> byFrame = render(1, sleptByFrame);
        const std::vector<float> inRuns = render(300, sleptInRuns);
        EXPECT_EQ(sleptByFrame, c.sleeps);
        EXPECT_EQ(sleptInRuns, c.sleeps);
        ASSERT_EQ(byFrame.size(), inRuns.size());
        std::size_t firstDifference = byFrame.size();
        for (std::size_t i = 0; i < byFrame.size() && firstDifference == byFrame.size(); ++i)
            if (std::memcmp(&byFrame[i], &inRuns[i], sizeof(float)) != 0) firstDifference = i;
        EXPECT_EQ(firstDifference, byFrame.size())
            << "first differing frame " << firstDifference / 2;
        EXPECT_GT(rms(inRuns), 1e-3f);
    }
}

// ------------------------------------------------------------------ effect LFO

namespace {

// The effect-LFO step written plainly: three positions, a gain picked by
// each value's sign, then sign x whole part x 1 / q.
void plainLfoStep(EffectLfoState& s, const EffectLfoInputs& in, const float* sine, RandSeed& hum) {
    auto fraction = [](double x) { return x - static_cast<double>(static_cast<long long>(x)); };
    const LfoShaping& sh = *in.shaping;
    for (int k = 0; k < 4; ++k) s.out[k] = s.target[k];
    const double phase = std::isfinite(in.phase) ? in.phase : 0.0;
    const double separation = std::isfinite(in.separation) ? in.separation : 0.0;
    const double pos[3] = {fraction(s.phaseLeft + 10.0 + phase),
                           fraction(s.phaseRight + 10.0 + phase + separation),
                           fraction(s.phaseThird + 10.0 + phase)};
    float v[3];
    for (int k = 0; k < 3; ++k) {
        double p = pos[k];
        p = p < sh.shapePoint ? p * sh.shapeLo : (p - sh.shapePoint) * sh.shapeHi + 0.5;
        v[k] = sine[static_cast<int>(std::clamp(p, 0.0, 1.0) * 65535.99)];
    }
    const double rate = std::clamp(in.rate, 0.0, 1.0);
    s.phaseLeft += rate * s.hum;
    s.phaseRight += rate * s.hum * std::clamp(in.stereoRate, 0.0, 16.0);
    s.phaseThird = fraction(s.phaseThird + std::clamp(in.thirdRate, 0.0, 1.0) * s.hum);
    if (s.phaseLeft >= 1.0) {
        s.phaseLeft = fraction(s.phaseLeft);
        const double r = hum.nextUnipolar();
        s.hum = std::exp2((2.0 * r - 1.0) * std::clamp(in.humDepth, -4.0f, 4.0f));
    }
    if (s.phaseRight >= 1.0) s.phaseRight = fraction(s.phaseRight);
    for (float& x : v)
        x *= x > 0.0f ? sh.biasFactor[2] : x == 0.0f ? sh.biasFactor[1] : sh.biasFactor[0];
    s.stepAcc += sh.shInc;
    if (s.stepAcc >= 1.0) {
        s.stepAcc = fraction(s.stepAcc);
        for (int k = 0; k < 3; ++k) {
            const float sign = v[k] > 0.0f ? 1.0f : v[k] < 0.0f ? -1.0f : 0.0f;
            const float whole = static_cast<float>(static_cast<int>(std::fabs(v[k] * sh.bitsQ)));
            s.held[k] = sign * whole * sh.bitsInvQ;
        }
    }
    for (int k = 0; k < 4; ++k) {
        s.target[k] = s.held[k];
        s.ramp[k] = (s.target[k] - s.out[k]) * 0.25f;
    }
}

} // namespace

TEST(EffectLfo, StepsAsThePlainFormulaBitForBit) {
    struct Case {
        const char* name;
        float bias, bits, hold, shape, human;
        bool third;
    };
    const Case cases[] = {
        {"plain", 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, true},
        {"bias up, coarse bits", 0.6f, 0.9f, 0.0f, 0.3f, 0.0f, true},
        {"bias down, humanised", -0.4f, 0.5f, 0.0f, -0.2f, 1.0f, true},
        {"sample and hold, finest bits", 0.2f, 0.0f, 0.15f, 0.0f, 0.5f, true},
        {"no third position (chorus)", -0.7f, 0.95f, 0.0f, 0.1f, 1.0f, false},
    };
    std::vector<float> sine(65536); // one cycle, both signs and zeros
    for (int i = 0; i < 65536; ++i)
        sine[i] =
            i % 16384 == 0 ? 0.0f : static_cast<float>(std::sin(6.283185307179586 * i / 65536));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EffectLfoRate rate;
        rate.shaping.setBias(c.bias);
        rate.shaping.setBits(c.bits);
        rate.shaping.setHold(c.hold);
        rate.shaping.setShapePoint(c.shape + 0.5);
        EffectLfoInputs in;
        in.rate = 0.0137;
        in.thirdRate = c.third ? 0.0137 * 0.25 : 0.0;
        in.stereoRate = 1.6;
        in.phase = 0.1;
        in.separation = 0.3;
        in.humDepth = c.human;
        in.third = c.third;
        in.shaping = &rate.shaping;
        EffectLfoState a, b;
        RandSeed humA(7), humB(7);
        const int lanes = c.third ? 3 : 2;
        for (int n = 0; n < 4000; ++n) {
            EffectLfo::step(a, in, sine.data(), humA);
            plainLfoStep(b, in, sine.data(), humB);
            for (int k = 0; k < lanes; ++k) {
                ASSERT_EQ(std::memcmp(&a.out[k], &b.out[k], sizeof(float)), 0)
                    << n << " lane " << k;
                ASSERT_EQ(std::bit_cast<uint32_t>(a.ramp[k]), std::bit_cast<uint32_t>(b.ramp[k]))
                    << n << " lane " << k;
            }
            ASSERT_EQ(a.phaseLeft, b.phaseLeft);
            ASSERT_EQ(a.hum, b.hum);
        }
    }
}

// ------------------------------------------------------------------ resting controls

// The chain's 16-frame coefficients are kept while nothing they come from
// changed; only the reverb's taps and loop-gain sines move. After each kind
// of change, between ticks, the sound and the units' settings must be those
// of the full pass on every control step.
TEST(EffectChain, RestingControlsSoundAsTheFullPass) {
    struct Case {
        const char* what;
        void (*setup)(PluginHarness&);
        void (*apply)(PluginHarness&);
        int after = 6000; // frames rendered after the change
    };
    const auto none = [](PluginHarness&) {};
    const Case cases[] = {
        {"nothing", none, none},
        {"knob automation", none,
         [](PluginHarness& h) {
             for (int t : {tag::ChorusLength, tag::FlangerFeed, tag::DelayLeft, tag::DelayFeed,
                           tag::DelayLP, tag::ReverbSize, tag::ReverbDamp, tag::ReverbHP,
                           tag::ReverbLength, tag::ReverbPreDelay})
                 h.p().setParameter(t, 0.3f);
         }},
        {"mod wheel on routed destinations",
         [](PluginHarness& h) {
             h.p().setModSlotVar(0, false, 0.9f, src::ModWheel, dst::DelayFeed);
             h.p().setModSlotVar(1, false, 0.7f, src::ModWheel, dst::ReverbHP);
             h.p().setModSlotVar(2, false, 0.8f, src::ModWheel, dst::FlangerWiden);
         },
         [](PluginHarness& h) { h.send(EventBlock().cc(0, 1, 120)); }},
        {"global LFO routed to a length", none,
         [](PluginHarness& h) {
             h.p().setModSlotVar(3, false, 0.8f, src::SModLfo, dst::ChorusLength);
         }},
        {"host tempo", [](PluginHarness& h) { h.p().setOn(tag::DelaySyncOn); },
         [](PluginHarness& h) { h.host.timeInfo.tempo = 97.0; }},
        {"sample rate", none,
         [](PluginHarness& h) {
             h.p().setSampleRate(48000.0f);
             h.send(EventBlock().noteOn(0, 50).noteOn(0, 62));
         }},
        {"reverb switched on", [](PluginHarness& h) { h.p().setOff(tag::ReverbOn); },
         [](PluginHarness& h) { h.p().setOn(tag::ReverbOn); }},
        {"flanger to phaser", none, [](PluginHarness& h) { h.p().setOn(tag::FlangerOrPhaser); }},
        {"knobs moved while the chain sleeps, then a note wakes it",
         [](PluginHarness& h) {
             h.p().setOff(tag::ReverbOn);
             h.p().setParameter(tag::DelayFeed, 0.5f);
         },
         [](PluginHarness& h) {
             h.send(EventBlock().noteOff(0, 48).noteOff(0, 52).noteOff(0, 55));
             for (int n = 0; n < 20 * 44100 && !h.engine().fx.asleep; n += 512) h.render(512);
             ASSERT_TRUE(h.engine().fx.asleep);
             h.p().setParameter(tag::ChorusLength, 0.2f);
             h.p().setParameter(tag::DelayRight, 0.7f);
             h.renderIn(1000, 100);
             h.send(EventBlock().noteOn(0, 60));
         }},
    };
    constexpr int kBefore = 8192 + 700, kBlock = 100;
    static_assert((kBefore + 3 * kBlock) % 16 != 0, "the change falls between ticks");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<float> outputs[2];
        std::vector<uint32_t> states[2];
        for (bool full : {false, true}) {
            PluginHarness h;
            h.engine().render.controlPlan.everyFrame = full;
            allEffects(h.p(), true);
            c.setup(h);
            h.send(EventBlock().noteOn(0, 48).noteOn(0, 52).noteOn(0, 55));
            h.renderIn(kBefore, 512); // sustained: the controls rest
            for (int f = 0; f < 3 * kBlock + c.after; f += kBlock) {
                if (f == 3 * kBlock) c.apply(h);
                h.render(kBlock);
                auto& out = outputs[full ? 1 : 0];
                for (int i = 0; i < kBlock; ++i) {
                    out.push_back(h.left[i]);
                    out.push_back(h.right[i]);
                }
            }
            const EffectChainState& fx = h.engine().fx;
            auto& st = states[full ? 1 : 0];
            for (int ch = 0; ch < 2; ++ch)
                for (float x : {fx.effectDelay.getLen(ch), fx.effectDelay.getFeedOwn(ch),
                                fx.flangerDelay.getFeedOwn(ch), fx.reverbPreDelay.getLen(ch),
                                fx.spread[ch], fx.spread[ch + 1]})
                    st.push_back(std::bit_cast<uint32_t>(x));
            for (int lane = 0; lane < TBasicReverb::kLanes; ++lane) {
                st.push_back(std::bit_cast<uint32_t>(fx.reverb.getLoopGain(lane)));
                st.push_back(static_cast<uint32_t>(fx.reverb.getTapOffset(lane)));
                st.push_back(static_cast<uint32_t>(fx.reverb.getCombLength(lane, 9)));
            }
        }
        ASSERT_EQ(outputs[0].size(), outputs[1].size());
        std::size_t first = outputs[0].size();
        for (std::size_t i = 0; i < outputs[0].size() && first == outputs[0].size(); ++i)
            if (std::bit_cast<uint32_t>(outputs[0][i]) != std::bit_cast<uint32_t>(outputs[1][i]))
                first = i;
        EXPECT_EQ(first, outputs[0].size()) << "the sound differs from frame " << first / 2;
        EXPECT_EQ(states[0], states[1]) << "the units' settings differ";
        EXPECT_GT(rms(outputs[0], outputs[0].size() - 2000), 1e-3f);
    }
}

// The chain keeps each effect LFO's step inputs while the values they come
// from rest. Stepped beside it with inputs made afresh every step (the
// shared humanisation source drawn in the same order), the LFOs stay the
// same bit for bit while their destinations, rates and pan speeds move.
TEST(EffectLfo, KeptInputsStepAsFreshOnesWhileDestinationsMove) {
    struct Case {
        const char* name;
        bool phaser;
        int source;
        std::vector<int> dests;
    };
    const Case cases[] = {
        {"offsets changed by hand, flanger",
         false,
         src::Offset,
         {dst::ChorusPhase, dst::ChorusSep, dst::FlangerSpread, dst::FlangerHuman, dst::ChorusSpeed,
          dst::FlangerPanModSpeed, dst::ChorusBias, dst::FlangerBias}},
        {"a free LFO, phaser",
         true,
         src::Free1Lfo,
         {dst::PhaserPhase, dst::PhaserSep, dst::ChorusSpread, dst::ChorusHuman, dst::PhaserHuman,
          dst::PhaserSpeed, dst::PhaserPanModSpeed}},
    };
    const float* sine = engineTables().sineTable.data();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SoundCheck s;
        APlugin& p = s.h.p();
        allEffects(p, true);
        p.setOnOff(tag::FlangerOrPhaser, c.phaser);
        p.setParameter(tag::FreeLfo1Speed, 0.9f);
        for (std::size_t k = 0; k < c.dests.size(); ++k)
            p.setModSlotVar(static_cast<int>(k), false, 0.3f, c.source, c.dests[k]);
        EventBlock on;
        for (int note : kChord) on.noteOn(0, note, 110);
        s.h.send(on);
        s.h.render(16 - static_cast<int>(s.h.engine().render.sampleCounter & 15));
        const EngineState& e = s.h.engine();
        const int mod = c.phaser ? 2 : 1;
        std::array<EffectLfoState, 3> fresh = e.fx.lfo;
        RandSeed hum = e.fx.humSeed;
        auto plainInputs = [&e](int n) {
            const int dests[3][4] = {
                {dst::ChorusPhase, dst::ChorusSep, dst::ChorusSpread, dst::ChorusHuman},
                {dst::FlangerPhase, dst::FlangerSep, dst::FlangerSpread, dst::FlangerHuman},
                {dst::PhaserPhase, dst::PhaserSep, dst::PhaserSpread, dst::PhaserHuman}};
            const auto& d = e.global.dst;
            EffectLfoInputs in;
            in.rate = e.lfo.effects[n].rate;
            in.thirdRate = in.rate * e.fx.ctl.panSpeed[n];
            in.stereoRate = std::max(0.0, 3.0 * d[dests[n][2]] + 1.0);
            in.phase = d[dests[n][0]];
            in.separation = d[dests[n][1]];
            in.humDepth = d[dests[n][3]];
            in.third = n != 0;
            in.shaping = &e.lfo.effects[n].shaping;
            return in;
        };
        for (int block = 0; block < 600; ++block) {
            if (c.source == src::Offset && block % 50 == 25) // one destination moves, then rests
                p.setModSlotVar(block / 50 % static_cast<int>(c.dests.size()), false,
                                0.05f * static_cast<float>(block / 50) - 0.4f, c.source,
                                c.dests[block / 50 % c.dests.size()]);
            s.h.render(16); // one control block: the destinations stand still within it
            for (int step = 0; step < 4; ++step)
                for (int n : {0, mod}) EffectLfo::step(fresh[n], plainInputs(n), sine, hum);
            for (int n : {0, mod}) {
                const EffectLfoState& kept = e.fx.lfo[n];
                ASSERT_EQ(std::memcmp(&kept.target, &fresh[n].target, sizeof kept.target), 0)
                    << "block " << block << " LFO " << n;
                ASSERT_EQ(std::memcmp(&kept.ramp, &fresh[n].ramp, sizeof kept.ramp), 0)
                    << "block " << block << " LFO " << n;
                ASSERT_EQ(kept.phaseRight, fresh[n].phaseRight) << "block " << block;
                ASSERT_EQ(kept.phaseThird, fresh[n].phaseThird) << "block " << block;
                ASSERT_EQ(kept.hum, fresh[n].hum) << "block " << block;
            }
        }
        EXPECT_FALSE(e.fx.asleep);
    }
}

// Both effect LFOs stepped in one call: the states and the shared random
// source as after one step each, in order, while their cycles wrap and draw
// rate jitter at different times.
TEST(EffectLfo, TwoInOneCallStepAsOneAfterTheOther) {
    struct Case {
        const char* name;
        double rateA, rateB;
        float humanA, humanB, biasB, holdB;
    };
    const Case cases[] = {
        {"plain", 0.011, 0.007, 0.0f, 0.0f, 0.0f, 0.0f},
        {"both humanised, fast", 0.31, 0.23, 2.0f, -3.0f, 0.5f, 0.1f},
        {"one humanised, one still", 0.09, 0.0, 1.0f, 4.0f, -0.8f, 0.0f},
    };
    const float* sine = engineTables().sineTable.data();
    auto sameState = [](const EffectLfoState& x, const EffectLfoState& y) {
        const double dx[5] = {x.phaseLeft, x.phaseRight, x.phaseThird, x.hum, x.stepAcc};
        const double dy[5] = {y.phaseLeft, y.phaseRight, y.phaseThird, y.hum, y.stepAcc};
        const EffectLfoState::Lanes lx[4] = {x.outLanes, x.target, x.ramp, x.held};
        const EffectLfoState::Lanes ly[4] = {y.outLanes, y.target, y.ramp, y.held};
        return std::memcmp(dx, dy, sizeof dx) == 0 && std::memcmp(lx, ly, sizeof lx) == 0;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EffectLfoRate shapeA, shapeB;
        shapeB.shaping.setBias(c.biasB);
        shapeB.shaping.setHold(c.holdB);
        shapeB.shaping.setShapePoint(0.3);
        EffectLfoInputs a, b;
        a.rate = c.rateA;
        a.stereoRate = 1.3;
        a.separation = 0.2;
        a.humDepth = c.humanA;
        a.third = false;
        a.shaping = &shapeA.shaping;
        b.rate = c.rateB;
        b.thirdRate = c.rateB * 0.25;
        b.stereoRate = 2.5;
        b.phase = -0.35;
        b.humDepth = c.humanB;
        b.shaping = &shapeB.shaping;
        const EffectLfoReadyInputs readyA(a), readyB(b);
        EffectLfoState twoA, twoB, oneA, oneB;
        RandSeed humTwo(3), humOne(3);
        for (int n = 0; n < 3000; ++n) {
            EffectLfo::stepTwo(twoA, readyA, twoB, readyB, sine, humTwo);
            EffectLfo::step(oneA, readyA, sine, humOne);
            EffectLfo::step(oneB, readyB, sine, humOne);
            ASSERT_TRUE(sameState(twoA, oneA)) << "step " << n;
            ASSERT_TRUE(sameState(twoB, oneB)) << "step " << n;
            ASSERT_EQ(humTwo.state(), humOne.state()) << "step " << n;
        }
    }
}

// The reverb's loop-gain factors against the plain std::sin formula, bit for
// bit: every turn of a fine grid, the quarter turns and their neighbours,
// the positions the control pass reads at several rates, and positions
// outside 0..1. The polynomial must stay within its stated error.
TEST(ReverbLoopGain, GivesTheBitsOfThePlainSineFormula) {
    constexpr double kTwoPi = 6.283185307179586;
    struct Case {
        const char* name;
        std::function<double(int)> turn;
        int count;
    };
    const double rates[3] = {0.015197279 / 44100.0, 0.015409426 / 96000.0, 0.015197279 / 8000.0};
    const Case cases[] = {
        {"fine grid", [](int i) { return i / 3000000.0; }, 3000000},
        {"near quarter turns",
         [](int i) { return (i / 201 % 4) * 0.25 + (i % 201 - 100) * 1e-11 * (1 + i / 804); },
         80400},
        {"control pass positions",
         [&](int i) {
             const double m = static_cast<double>(uint64_t{16} * static_cast<uint64_t>(i) * 977u) *
                                  rates[i % 3] +
                              0.25 * (i % 4);
             return m - static_cast<double>(static_cast<long long>(m));
         },
         1000000},
        {"outside one turn",
         [](int i) {
             const double t[6] = {-0.25, -1e-300, 1.0, 1.75, 1e17, std::nan("")};
             return t[i % 6] + (i / 6) * 1e-3;
         },
         600},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int asked = 0;
        double four[4];
        float fourGains[4];
        for (int i = 0; i < c.count; ++i) {
            const double t = c.turn(i);
            const float fast = ReverbLoopGain::of(t), plain = ReverbLoopGain::plain(t);
            ASSERT_EQ(std::bit_cast<uint32_t>(fast), std::bit_cast<uint32_t>(plain)) << "t " << t;
            four[i % 4] = t;
            if (i % 4 == 3) {
                ReverbLoopGain::of4(four, fourGains);
                for (int k = 0; k < 4; ++k)
                    ASSERT_EQ(std::bit_cast<uint32_t>(fourGains[k]),
                              std::bit_cast<uint32_t>(ReverbLoopGain::plain(four[k])))
                        << "four at once, t " << four[k];
            }
            if (t >= 0.0 && t < 1.0) {
                const double s = ReverbLoopGain::sineOfTurns(t);
                ASSERT_LE(std::fabs(s - std::sin(kTwoPi * t)), ReverbLoopGain::kSineError / 2)
                    << "t " << t;
                const float lo = ReverbLoopGain::factor(s - ReverbLoopGain::kSineError);
                asked += lo != ReverbLoopGain::factor(s + ReverbLoopGain::kSineError);
            }
        }
        EXPECT_LE(asked, c.count / 100) << "std::sin asked too often";
    }
}

// A run's input and output levels are found four frames at a time, the
// rest one by one: runs of several lengths must give the output and the
// silence count of the same frames given one by one, with levels on both
// sides of the threshold, exactly on it, and sound in only one sub-sample.
TEST(EffectChain, LoudFramesFoundFourAtATimeAsOneByOne) {
    constexpr float q = 1e-4f; // the chain's silence level
    const std::array<float, 4> kinds[] = {
        {0.0f, 0.0f, 0.0f, 0.0f},          {q / 2, q / 2, 0.0f, 0.0f},
        {-q / 2, q / 2, 1.0f, 1.0f},       {std::nextafter(q / 2, 1.0f), q / 2, 0.0f, 0.0f},
        {0.0f, 0.0f, 0.5f, -0.5f},         {q * 0.3f, -q * 0.69f, q, q},
        {0.25f, -0.25f, 0.0f, 0.0f},       {0.0f, -std::nextafter(q, 0.0f), 0.0f, 0.0f},
        {std::nextafter(q, 1.0f), 0, 0, 0}};
    constexpr int kKinds = static_cast<int>(std::size(kinds));
    struct Case {
        const char* name;
        int run, stride;
    };
    const Case cases[] = {{"runs of 16", 16, 5},
                          {"runs of 7", 7, 2},
                          {"runs of 4", 4, 7},
                          {"runs of 13", 13, 4},
                          {"runs of 3", 3, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The output frames and the silence count after every run.
        auto play = [&c, &kinds](bool oneByOne) {
            SoundCheck s;
            APlugin& p = s.h.p();
            allEffects(p, true);
            for (int t : {tag::ChorusMix, tag::FlangerMix, tag::DelayMix, tag::ReverbMix})
                p.setParameter(t, 0.0f); // dry: the output keeps the input's level
            s.h.render(256);             // the settings arrive
            uint64_t frame = s.h.engine().render.sampleCounter;
            std::vector<std::array<float, 4>> out;
            std::vector<uint64_t> silence;
            for (int r = 0; r < 300; ++r) {
                std::array<float, 4> f[EffectChainState::kRunFrames];
                for (int k = 0; k < c.run; ++k) f[k] = kinds[(r * c.stride + k * (k + r)) % kKinds];
                if (oneByOne)
                    for (int k = 0; k < c.run; ++k)
                        p.runFX(&f[k], 1, frame + static_cast<uint64_t>(k), false);
                else
                    p.runFX(f, c.run, frame, false);
                frame += static_cast<uint64_t>(c.run);
                out.insert(out.end(), f, f + c.run);
                silence.push_back(s.h.engine().fx.silence);
            }
            return std::make_pair(out, silence);
        };
        const auto inRuns = play(false), byFrame = play(true);
        ASSERT_EQ(std::memcmp(inRuns.first.data(), byFrame.first.data(),
                              inRuns.first.size() * sizeof inRuns.first[0]),
                  0);
        for (std::size_t r = 0; r < inRuns.second.size(); ++r)
            ASSERT_EQ(inRuns.second[r], byFrame.second[r]) << "run " << r;
    }
}

// While no slot reads "Output", a waiting run's output is sent in one pass;
// a slot that reads it (into a destination nothing else reads) makes every
// frame go out on its own. Both give the same samples, scope and "Output"
// value, bit for bit, for runs of every length and while the sound fades in.
TEST(EffectChain, RunOutputSentInOnePassAsFrameByFrame) {
    struct Case {
        const char* name;
        int block;
        bool effects;
    };
    const Case cases[] = {
        {"all four, long blocks", 300, true},
        {"all four, odd short blocks", 7, true},
        {"chorus only, blocks of 3", 3, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        struct Rendered {
            std::vector<float> out, scope, outputSource;
        };
        auto render = [&c](bool slotReadsOutput) {
            SoundCheck s;
            APlugin& p = s.h.p();
            allEffects(p, c.effects);
            p.setOn(tag::ChorusOn);
            if (slotReadsOutput) p.setModSlotVar(0, false, 1.0f, src::Output, dst::FreeLfo2Phase);
            Rendered r;
            renderExactly(s.h, 256, c.block, r.out);
            EventBlock on;
            for (int note : kChord) on.noteOn(0, note, 110);
            s.h.send(on);
            for (int n = 0; n < 40; ++n) {
                renderExactly(s.h, c.block, c.block, r.out);
                r.outputSource.push_back(s.h.engine().global.src[src::Output]);
            }
            const DisplayState& d = s.h.engine().display;
            r.scope.push_back(static_cast<float>(d.scopeWritePos.get()));
            for (const auto& v : d.scope) r.scope.push_back(v.get());
            return r;
        };
        const Rendered plain = render(true), inRuns = render(false);
        const std::pair<const char*, std::vector<float> Rendered::*> members[] = {
            {"samples", &Rendered::out},
            {"scope", &Rendered::scope},
            {"\"Output\"", &Rendered::outputSource}};
        for (const auto& [what, member] : members) {
            const std::vector<float>& a = plain.*member;
            const std::vector<float>& b = inRuns.*member;
            ASSERT_EQ(a.size(), b.size()) << what;
            std::size_t first = 0;
            while (first < a.size() && std::memcmp(&a[first], &b[first], sizeof(float)) == 0)
                ++first;
            EXPECT_EQ(first, a.size()) << what << " differ first at " << first;
        }
        EXPECT_GT(rms(inRuns.out), 1e-3f);
    }
}

// The frames of silence before the chain sleeps are counted for a whole run
// at once. They come to what counting frame by frame gives (any sound in or
// out starts the count again; a silent output adds one), after every block,
// also while a fully wet delay is silent at its output with sound at its
// input, and in the gaps between echoes.
TEST(EffectChain, SilenceCountedInRunsAsFrameByFrame) {
    struct Case {
        const char* name;
        std::function<void(APlugin&)> setup;
    };
    const Case cases[] = {
        {"fully wet delay, echoes",
         [](APlugin& p) {
             p.setOn(tag::DelayOn);
             p.setParameter(tag::DelayMix, 1.0f);
             p.setParameter(tag::DelayFeed, 0.2f);
         }},
        {"all four", [](APlugin& p) { allEffects(p, true); }},
    };
    constexpr int kBlock = 48;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The count after every block: the chain's own, given `frames` at a
        // time, or counted here from its input and output frame by frame.
        auto counts = [&c](int frames, bool plain) {
            SoundCheck s;
            c.setup(s.h.p());
            std::vector<float> ignored;
            renderExactly(s.h, 256, frames, ignored); // the settings arrive
            const RenderState& r = s.h.engine().render;
            uint64_t count = s.h.engine().fx.silence;
            std::vector<uint64_t> out;
            for (int block = 0; block < 4000; ++block) {
                if (block % 2000 == 10) s.h.send(EventBlock().noteOn(0, 60, 100));
                if (block % 2000 == 14) s.h.send(EventBlock().noteOff(0, 60));
                if (!plain) {
                    renderExactly(s.h, kBlock, frames, ignored);
                    out.push_back(s.h.engine().fx.silence);
                    continue;
                }
                for (int n = 0; n < kBlock; ++n) {
                    s.h.render(1);
                    if (std::fabs(r.voiceBus[0]) + std::fabs(r.voiceBus[1]) > 1e-4f) count = 0;
                    if (std::fabs(r.fxBlock[0]) + std::fabs(r.fxBlock[1]) < 1e-4f)
                        ++count;
                    else
                        count = 0;
                }
                out.push_back(count);
            }
            return out;
        };
        const std::vector<uint64_t> byFrame = counts(1, true), inRuns = counts(kBlock, false);
        ASSERT_EQ(byFrame.size(), inRuns.size());
        for (std::size_t b = 0; b < byFrame.size(); ++b)
            ASSERT_EQ(byFrame[b], inRuns[b]) << "block " << b;
        EXPECT_GT(*std::max_element(inRuns.begin(), inRuns.end()), 400u); // many runs
        EXPECT_LE(inRuns[2010], 1u); // the second note (a fully wet delay is silent at first)
    }
}
