// The XY pad's engine: a two-dimensional modulation source that the user
// moves live, records as a gesture and replays.
//
// Units and calibration:
//   - Pad positions are bipolar (-1..1) inside the engine and unipolar (0..1)
//     in the parameters 39/40 (pad), 41/42 (MIDI) and the 128-point path
//     (X in 459..586, Y in 587..714).
//   - A take is written on a 1 ms grid into a 500 s buffer; ending it reduces
//     it to the 128-point path and stores its length in 457 (whole seconds
//     / 1000) and 458 (remaining milliseconds / 1000).
//   - The replay advances once per 16 frames; its position is counted in path
//     points, 0 .. kXYPathLen (or twice that in ping-pong). The rate is the
//     number of points one tick moves at "XY Speed" 1: the path lasts its
//     recorded length, or a note value of the tempo when synced.
//   - Space quantisation snaps unipolar values to a grid of 32, 16, 8 or 4.
//
// XYReplay is a plain unit over its own state (XYReplayState) and the path,
// used once for the global replay and once per voice (play mode "Poly").
// XYState holds everything the plug-in object keeps of the pad; the fields
// under "shared" are written on one thread and read on another.
#pragma once

#include "core/atomic_value.h"
#include "core/modes.h"
#include "core/numeric.h"
#include "core/tags.h"
#include "core/zero_pages.h"

#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>

constexpr int kXYPoints = tag::XYPointCount;
constexpr double kXYPathLen = 127.9999;      // one pass of the path in points
constexpr int kXYRecordEntries = 500000;     // 500 s on a 1 ms grid
constexpr float kXYMinPathSeconds = 0.0001f; // a shorter take is no path
constexpr int kXYTick = 16;                  // frames between replay steps

// Snapping grid per space quantisation index (0 = off).
inline constexpr std::array<float, 5> XY_SNAP_AMT = {0.0f, 32.0f, 16.0f, 8.0f, 4.0f};
// Points of the path the replay visits per point quantisation index.
inline constexpr std::array<int, 7> XY_QUANT_NUM = {128, 64, 32, 16, 8, 4, 2};
// Sync and time-quantise periods in whole notes, index 0 "Off".
inline constexpr std::array<double, 34> D_INV_PERIOD_ARRAY = {
    0.0,        1.0 / 48.0, 1.0 / 32.0, 3.0 / 64.0, 1.0 / 24.0, 1.0 / 16.0, 3.0 / 32.0,
    1.0 / 12.0, 1.0 / 8.0,  3.0 / 16.0, 1.0 / 6.0,  1.0 / 4.0,  3.0 / 8.0,  1.0 / 3.0,
    1.0 / 2.0,  3.0 / 4.0,  2.0 / 3.0,  1.0,        1.5,        4.0 / 3.0,  2.0,
    3.0,        8.0 / 3.0,  4.0,        6.0,        16.0 / 3.0, 8.0,        12.0,
    32.0 / 3.0, 16.0,       18.0,       64.0 / 3.0, 32.0,       36.0};

// u (0..1) snapped to the nearest of grid + 1 values; grid 0 leaves u as it
// is. The result lies within 0..1.
inline float snapToGrid(float u, float grid) {
    if (!(grid > 0.0f)) return u;
    const float scaled = u * grid;
    const float rounded = std::trunc(scaled + std::copysign(0.49999997f, scaled));
    return clamp01(rounded / grid);
}

// The distance source: 0 at the centre, 1 in a corner.
inline float xyDistance(float x, float y) {
    return std::sqrt(x * x + y * y) / 1.4142135f;
}

// Points per 16-frame tick at speed 1. syncIndex 0 plays the path in its
// recorded length (no path: 0); otherwise one pass lasts the note value
// D_INV_PERIOD_ARRAY[syncIndex] of a whole note of samplesPerWholeNote frames
// (plus one frame).
double xyReplayRate(int syncIndex, double lengthSeconds, double sampleRate,
                    double samplesPerWholeNote);
// The time-quantise counter's increment per tick; -1 when off.
double xyTimeQuantStep(int index, double samplesPerWholeNote);

// What the replay takes from the settings (refreshed every 128 frames).
struct XYReplaySettings {
    double rate = 0.0;    // points per tick at speed 1 (speed factor included)
    double tqStep = -1.0; // time-quantise increment per tick, -1 off
    int stride = 1;       // points between the visited points (128 / count)
    int loopMode = xyloop::On;
    bool hasPath = false;
};

// One replay: the global one or one voice's.
struct XYReplayState {
    double position = 0.0; // in path points
    double rateFactor = 1.0;
    double tqCount = 1.0;          // time-quantise counter; at 1 the output is taken
    std::array<float, 2> pos{};    // smoothed position, -1..1
    std::array<float, 2> target{}; // unsmoothed path position, -1..1
    std::array<float, 2> held{};   // time-quantised output, -1..1
};

// The path as the parameters hold it (values read with relaxed loads, so the
// editor may rewrite points while a replay reads them).
struct XYPathView {
    const float* x = nullptr; // kXYPoints values, 0..1
    const float* y = nullptr;
    float at(int axis, int i) const { return clamp01(loadRelaxed((axis ? y : x)[i])); }
    std::array<float, 2> point(int i) const {
        return {2.0f * at(0, i) - 1.0f, 2.0f * at(1, i) - 1.0f};
    }
};

class XYReplay {
public:
    // The two path points a position lies between, for a stride and loop mode.
    static void quantPoints(double position, int stride, int loopMode, int& a, int& b);
    // Where between them it lies, 0..1.
    static float quantInter(double position, int stride);
    // Back to the start of the path, counters as at a restart; the output is
    // not touched.
    static void restart(XYReplayState& s);
    // Back to the start with the output on the first point (the centre
    // without a path).
    static void restartAtFirstPoint(XYReplayState& s, const XYPathView& path, bool hasPath);
    // One tick: the position moves by speed x rate, the target follows the
    // path, the smoothed position follows the target with weight smoothK and
    // the held output takes it at the time-quantise rate.
    static void step(XYReplayState& s, const XYReplaySettings& set, double speed, float smoothK,
                     const XYPathView& path);
};

// One voice's share: its own replay (play mode "Poly") and the unipolar pair
// its sources glide along, one sixteenth of the way per frame.
struct XYVoice {
    XYReplayState replay;
    std::array<float, 2> pair{0.5f, 0.5f}; // where the sources are now, 0..1
    std::array<float, 2> next{0.5f, 0.5f}; // where they are going
    std::array<float, 2> step{};           // per frame
    // The voice's sources hold pair and step is 0: its frames have nothing
    // to write while the routing stays (matrix generation restGeneration).
    bool resting = false;
    uint32_t restGeneration = 0;
    // Live: the value change count, MIDI event count and grid the last
    // tick's target came from.
    bool liveValid = false;
    uint32_t liveChanges = 0, liveEvents = 0, liveGrid = 0;
};

struct XYState {
    // ---- shared: written by the editor, read by the audio thread
    std::atomic<bool> recording{false}; // a take is running
    std::atomic<uint32_t> takeCount{0}; // new takes started so far
    std::atomic<int64_t> recStart{0};   // the engine clock at the take's start
    Relaxed<float> recInX, recInY;      // the newest pad input of the take, 0..1
    // ---- shared: written by the audio thread, read by the editor
    std::atomic<int64_t> clock{0};                           // the sample counter at the last tick
    Relaxed<double> clockRate;                               // and the sample rate then
    std::atomic<int64_t> recLast{0};                         // last grid entry written
    Flag updateXY, xChanged, yChanged;                       // for the pad's redraw
    Relaxed<float> heldX, heldY;                             // global replay output, -1..1
    std::array<std::array<Relaxed<float>, 2>, 16> voiceHeld; // each voice's, -1..1
    // The take: X and Y per millisecond (written and read with relaxed access).
    // Zero pages: memory only as far as takes have reached.
    ZeroPages<float> recX{kXYRecordEntries};
    ZeroPages<float> recY{kXYRecordEntries};

    // ---- audio thread only
    int recordMode = xyrecord::Live, playMode = xyplay::Poly, loopMode = xyloop::Off;
    uint32_t takeSeen = 0; // the take the buffer is being written for
    int pointCount = kXYPoints;
    int spaceQuant = 0;
    float spaceGrid = 0.0f;
    float smoothK = 1.0f;    // weight of the target in the smoothing
    uint32_t smoothFrom = 0; // bits of the Smooth sum smoothK was made from
    bool smoothValid = false;
    std::array<float, 2> midiPrev{0.5f, 0.5f};
    XYReplaySettings settings;
    XYReplayState replay; // the global replay
    std::array<XYVoice, 16> voices{};
};
