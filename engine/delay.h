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

#include <array>
#include <cstdint>
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
    stereoStruct process(const stereoStruct& in) {
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
    int getStoredCount(int channel) const { return lines[channel & 1].count; }

private:
    struct Pair {
        double time;
        double value;
    };
    // One channel's queue of (time, value) pairs: a ring over the first
    // `mask + 1` entries (a power of two) of the preallocated storage; that
    // window doubles when the queue would fill it.
    struct Line {
        std::unique_ptr<Pair[]> ring;
        int mask = 0;
        int head = 0; // oldest pair
        int count = 0;
        // While the length holds, the read point sits a fixed distance
        // behind the newest pair: `back` pairs, then `frac` of the way to the
        // next. `held` counts the samples written at the current length; at
        // `settle` every pair behind the read point is one step apart.
        int back = 0;
        int held = 0;
        int settle = 1 << 30;
        double frac = 0.0;

        void reset(double time, double value);
        const Pair& at(int i) const { return ring[(head + i) & mask]; }
        void push(double time, double value) {
            if (count > mask) grow();
            ring[(head + count) & mask] = {time, value};
            ++count;
        }
        void grow();
    };

    double readLine(Line& line, double target);
    double read(int channel);
    static void dropBehind(Line& line, double target);
    void applyLen(float left, float right);
    void rebase(int channel);

    bool equal = false;
    bool timeSync = false;
    bool feedFilterOn = false;
    float sampleRate = 44100.0f;
    float samplesPerMs = 44.1f;
    float invSampleRate = 1.0f / 44100.0f;
    float baseLen[2] = {100.0f, 100.0f};
    float len[2] = {1.0f, 1.0f};
    float samplesPerWhole = 88200.0f;
    // Float values, kept as doubles for the double sum of the feedback path.
    double feed[2] = {0.0, 0.0};
    double cross[2] = {0.0, 0.0};
    double step[2] = {0.0, 0.0};
    Line lines[2];
    double pos[2] = {0.0, 0.0};
    float filterCoef[4] = {0.0f, 0.0f, 1.0f, 1.0f}; // a, b, 1 - a, 1 - b
    float filterState[2][2] = {{0.0f, 0.0f}, {0.0f, 0.0f}};
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
