// The XY pad: the replay unit, the audio thread's ticks and the editor's
// calls.
//
//   audio thread, every 16 frames   updateXYGlobal: MIDI position, effective
//                                   modes, the take, the global replay and
//                                   the global sources
//   a voice's 16-frame tick         voiceXYTick: the voice's replay (play mode
//                                   "Poly") or the pad position (Live)
//   every frame, per voice          voiceXYFrame: the voice's sources glide
//   setGlobalRare (128 frames)      updateXYRare: quantisation, path, rates
//   editor (main thread)            setXY, setXYRecord, endXYRecord, ...
//
// The editor and the audio thread share only the fields of XYState marked
// shared (atomics) and the parameters. In Live and Record the pad reaches
// the engine through its parameters 39/40 (so automation of them moves the
// sources too); the take's input goes through recInX/recInY.

#include "core/aplugin.h"

#include "core/mod_slots.h"

#include <algorithm>
#include <bit>
#include <cmath>

// ------------------------------------------------------------------ the replay unit

double xyReplayRate(int syncIndex, double lengthSeconds, double sampleRate,
                    double samplesPerWholeNote) {
    const int k = clampTo(syncIndex, 0, static_cast<int>(D_INV_PERIOD_ARRAY.size()) - 1);
    if (k != 0) return kXYPathLen * kXYTick / (D_INV_PERIOD_ARRAY[k] * samplesPerWholeNote + 1.0);
    const double frames = lengthSeconds * sampleRate;
    return frames < 1e-6 || !std::isfinite(frames) ? 0.0 : kXYPathLen * kXYTick / frames;
}

double xyTimeQuantStep(int index, double samplesPerWholeNote) {
    const int t = clampTo(index, 0, static_cast<int>(D_INV_PERIOD_ARRAY.size()) - 1);
    if (t == 0) return -1.0;
    return kXYTick / (D_INV_PERIOD_ARRAY[t] * samplesPerWholeNote + 1.0);
}

void XYReplay::quantPoints(double position, int stride, int loopMode, int& a, int& b) {
    const int s = clampTo(stride, 1, kXYPoints);
    const int i = static_cast<int>(position);
    a = i - i % s;
    b = (i / s + 1) * s;
    auto fold = [&](int v) {
        if (loopMode == xyloop::PingPong) {
            // Forward over 0..127, then back.
            v = v < kXYPoints ? std::min(v, kXYPoints - s) : 2 * kXYPoints - (v + s);
        } else if (v >= kXYPoints) {
            v -= kXYPoints; // loop On: the last segment runs back to point 0
        }
        return clampTo(v, 0, kXYPoints - 1);
    };
    a = fold(a);
    b = fold(b);
}

float XYReplay::quantInter(double position, int stride) {
    const double s = clampTo(stride, 1, kXYPoints);
    return static_cast<float>((position - std::floor(position / s) * s) / s);
}

void XYReplay::restart(XYReplayState& s) {
    s.position = 0.0;
    s.rateFactor = 1.0;
    s.tqCount = 1.0; // the first tick takes its output at once
}

void XYReplay::restartAtFirstPoint(XYReplayState& s, const XYPathView& path, bool hasPath) {
    restart(s);
    const std::array<float, 2> first = hasPath ? path.point(0) : std::array<float, 2>{};
    s.pos = s.target = s.held = first;
}

void XYReplay::step(XYReplayState& s, const XYReplaySettings& set, double speed, float smoothK,
                    const XYPathView& path) {
    s.position += speed * s.rateFactor * set.rate;
    if (!(s.position >= 0.0) || !std::isfinite(s.position)) s.position = 0.0;
    // Any rate, however fast, leaves the position inside its range.
    switch (set.loopMode) {
    case xyloop::Off:
        s.position = std::min(s.position, kXYPathLen - clampTo(set.stride, 1, kXYPoints));
        break;
    case xyloop::PingPong:
        s.position = std::fmod(s.position, 2.0 * kXYPathLen);
        break;
    default:
        s.position = std::fmod(s.position, kXYPathLen);
        break;
    }

    int a = 0, b = 0;
    quantPoints(s.position, set.stride, set.loopMode, a, b);
    const float f = quantInter(s.position, set.stride);
    const float keep = 1.0f - smoothK;
    for (int axis = 0; axis < 2; ++axis) {
        const float pa = path.at(axis, a);
        s.target[axis] = 2.0f * (pa + (path.at(axis, b) - pa) * f) - 1.0f;
        s.pos[axis] = clampTo(s.target[axis] * smoothK + s.pos[axis] * keep + 1e-15f, -1.0f, 1.0f);
    }
    if (!set.hasPath) {
        s.pos = s.held = {0.0f, 0.0f};
        return;
    }
    if (set.tqStep < 0.0) {
        s.held = s.pos;
    } else if (s.tqCount < 1.0) {
        s.tqCount += set.tqStep;
    } else {
        s.held = s.pos;
        s.tqCount += set.tqStep - 1.0;
    }
}

// ------------------------------------------------------------------ audio thread

namespace {

std::array<float, 2> padPosition(const APlugin& p) {
    return {clamp01(p.getCurrentValue(tag::XYX)), clamp01(p.getCurrentValue(tag::XYY))};
}

std::array<float, 2> snapped(const XYState& xy, std::array<float, 2> u) {
    return {snapToGrid(u[0], xy.spaceGrid), snapToGrid(u[1], xy.spaceGrid)};
}

} // namespace

XYPathView APlugin::xyPath() const {
    const auto& values = core.values.currentValue;
    return {&values[tag::XYPointXFirst], &values[tag::XYPointYFirst]};
}

// The five sources from a bipolar position: snapped unipolar and bipolar
// pairs, and the distance of the position itself when a slot reads it. To
// the global row only, or to it and every voice.
void APlugin::writeXYSources(std::array<float, 2> p, bool everyVoice) {
    const XYState& xy = engine.xy;
    const std::array<float, 2> u = snapped(xy, {(p[0] + 1.0f) * 0.5f, (p[1] + 1.0f) * 0.5f});
    const float values[4] = {2.0f * u[0] - 1.0f, u[0], 2.0f * u[1] - 1.0f, u[1]};
    const bool distance = engine.matrix.sourceUsed[src::XYDistance];
    const float d = xyDistance(p[0], p[1]);
    if (everyVoice) {
        wakeXYVoices();
        for (int i = 0; i < 4; ++i) setModSrcAmt(src::XYX + i, values[i]);
        if (distance) setModSrcAmt(src::XYDistance, d);
    } else {
        for (int i = 0; i < 4; ++i) engine.global.src[src::XYX + i] = values[i];
        if (distance) engine.global.src[src::XYDistance] = d;
    }
}

void APlugin::publishXYHeld(std::array<float, 2> held) {
    XYState& xy = engine.xy;
    if (held[0] != xy.heldX.get() || held[1] != xy.heldY.get()) xy.updateXY.set();
    xy.heldX.set(held[0]);
    xy.heldY.set(held[1]);
}

void APlugin::initXY(int mode, int v) {
    XYState& xy = engine.xy;
    if (mode == 0 || mode == 2) XYReplay::restart(xy.replay);
    if (mode == 1 || mode == 2)
        for (int k = 0; k < kNumVoices; ++k) startXYReplay(k);
    if (mode == 3) startXYReplay(v);
}

// A voice's replay from the start, its sources where they start: the first
// point of the path when it replays one itself, the pad in Live.
void APlugin::startXYReplay(int v) {
    if (!isValidVoice(v)) return;
    XYState& xy = engine.xy;
    XYVoice& xv = xy.voices[v];
    XYReplay::restartAtFirstPoint(xv.replay, xyPath(), xy.settings.hasPath);
    std::array<float, 2> start;
    if (xy.recordMode == xyrecord::Live)
        start = padPosition(*this);
    else
        start = {(xv.replay.held[0] + 1.0f) * 0.5f, (xv.replay.held[1] + 1.0f) * 0.5f};
    xv.pair = xv.next = snapped(xy, start);
    xv.step = {0.0f, 0.0f};
    xv.liveValid = false;
    xv.resting = false;
    xy.voiceHeld[v][0].set(2.0f * xv.next[0] - 1.0f);
    xy.voiceHeld[v][1].set(2.0f * xv.next[1] - 1.0f);
}

// The global replay from its first point (the centre without a path).
void APlugin::startXYReplay() {
    XYState& xy = engine.xy;
    XYReplay::restartAtFirstPoint(xy.replay, xyPath(), xy.settings.hasPath);
    publishXYHeld(xy.replay.held);
}

void APlugin::restartXYReplayForNote() {
    const int mode = getXYPlayMode();
    if (mode == xyplay::Mono || (mode == xyplay::Legato && engine.notes.freshNote)) initXY(0, -1);
}

// Part of a reset: the pad is taken as it stands. Values of 41/42 that a
// state brings are no MIDI move, and modes it brings are no change of mode
// (either would rewrite the pad's parameters it restored).
void APlugin::restartRunningXYReplay() {
    XYState& xy = engine.xy;
    xy.midiPrev = {getCurrentValue(tag::XYMidiX), getCurrentValue(tag::XYMidiY)};
    xy.recordMode = getXYRecordMode();
    xy.playMode = getXYPlayMode();
    xy.loopMode = xy.settings.loopMode = getXYLoopMode();
    updateXYRare();
    initXY(2, -1);
    if (xy.recordMode == xyrecord::Replay) startXYReplay();
}

// The host's transport started: the replay runs at its rate from the first
// tick on.
void APlugin::restartXYReplaySpeed() {
    updateXYRates();
}

void APlugin::updateXYRates() {
    XYState& xy = engine.xy;
    const RenderState& render = engine.render;
    const double length = 1000.0 * clamp01(getCurrentValue(tag::XYLengthSec)) +
                          clamp01(getCurrentValue(tag::XYLengthMs));
    const double speed = std::exp2(8.0 * clamp01(getCurrentValue(tag::XYSpeed)) - 4.0);
    xy.settings.rate = xyReplayRate(getXYSyncedToPeriod(), length, engine.rate.sampleRateD,
                                    render.samplesPerWholeNoteD) *
                       speed;
    xy.settings.tqStep = xyTimeQuantStep(getXYTimeQuant(), render.samplesPerWholeNoteD);
}

// Part of setGlobalRare.
void APlugin::updateXYRare() {
    XYState& xy = engine.xy;
    const int pq = clampTo(getXYPointQuant(), 0, static_cast<int>(XY_QUANT_NUM.size()) - 1);
    xy.pointCount = XY_QUANT_NUM[static_cast<std::size_t>(pq)];
    xy.settings.stride = kXYPoints / xy.pointCount;
    xy.spaceQuant = clampTo(getXYSpaceQuant(), 0, static_cast<int>(XY_SNAP_AMT.size()) - 1);
    xy.spaceGrid = XY_SNAP_AMT[static_cast<std::size_t>(xy.spaceQuant)];
    xy.settings.hasPath = getHasXYPath();
    updateXYRates();
}

// The take, on its 1 ms grid. A new take starts its entries with its first
// input; entries a tick skips (below 16 kHz a tick is longer than 1 ms) carry
// the value before them forward.
void APlugin::updateXYRecord() {
    XYState& xy = engine.xy;
    const uint32_t take = xy.takeCount.load(std::memory_order_acquire);
    int64_t last = xy.recLast.load(std::memory_order_relaxed);
    if (take != xy.takeSeen) {
        xy.takeSeen = take;
        last = -1;
    }
    const int64_t elapsed = static_cast<int64_t>(engine.render.sampleCounter) -
                            xy.recStart.load(std::memory_order_relaxed);
    const double ms = static_cast<double>(elapsed) * 1000.0 / engine.rate.sampleRateD;
    const int64_t index = truncTo(ms, 0, kXYRecordEntries - 1);
    const float x = xy.recInX.get();
    const float y = xy.recInY.get();
    if (last < 0) {
        for (int64_t i = 0; i < index; ++i) {
            storeRelaxed(xy.recX[i], x);
            storeRelaxed(xy.recY[i], y);
        }
    } else if (index > last + 1) {
        const float lx = loadRelaxed(xy.recX[last]);
        const float ly = loadRelaxed(xy.recY[last]);
        for (int64_t i = last + 1; i < index; ++i) {
            storeRelaxed(xy.recX[i], lx);
            storeRelaxed(xy.recY[i], ly);
        }
    }
    storeRelaxed(xy.recX[index], x);
    storeRelaxed(xy.recY[index], y);
    xy.recLast.store(index, std::memory_order_release);
}

// Every 16 frames, before the global matrix.
void APlugin::updateXYGlobal() {
    XYState& xy = engine.xy;
    const RenderState& render = engine.render;
    xy.clock.store(static_cast<int64_t>(render.sampleCounter), std::memory_order_relaxed);
    xy.clockRate.set(engine.rate.sampleRateD);

    // Smoothing of the replayed position: Smooth 0 follows the path exactly.
    const float smooth = getCurrentValue(tag::XYSmooth) + engine.global.dst[dst::XYSmooth];
    if (!xy.smoothValid || std::bit_cast<uint32_t>(smooth) != xy.smoothFrom) {
        xy.smoothK = std::exp2(-10.0f * clamp01(smooth));
        xy.smoothFrom = std::bit_cast<uint32_t>(smooth);
        xy.smoothValid = true;
    }

    // A MIDI-learned or automated move of "XY MIDI X" / "XY MIDI Y".
    const float mx = getCurrentValue(tag::XYMidiX);
    const float my = getCurrentValue(tag::XYMidiY);
    bool midiMoved = false;
    if (std::fabs(mx - xy.midiPrev[0]) > 0.0001f) {
        xy.xChanged.set();
        midiMoved = true;
    } else if (std::fabs(my - xy.midiPrev[1]) > 0.0001f) {
        xy.yChanged.set();
        midiMoved = true;
    }
    if (midiMoved) {
        xy.midiPrev = {mx, my};
        xy.replay.pos = {clampTo(2.0f * mx - 1.0f, -1.0f, 1.0f),
                         clampTo(2.0f * my - 1.0f, -1.0f, 1.0f)};
        setParameterAutomated(tag::XYX, mx);
        setParameterAutomated(tag::XYY, my);
    }

    // A change of the effective play or loop mode restarts every replay.
    const int play = getXYPlayMode();
    const int loop = xyLoopModeWith(play);
    if (play != xy.playMode || loop != xy.loopMode) {
        wakeXYVoices();
        xy.playMode = play;
        xy.loopMode = loop;
        xy.settings.loopMode = loop;
        initXY(2, -1);
    }

    const int record = getXYRecordMode();
    const bool entered = record != xy.recordMode;
    if (entered) wakeXYVoices();
    xy.recordMode = record;
    if (entered && record != xyrecord::Replay) {
        // Back from a replay, the pad sits where it was put; the MIDI
        // position starts again from the centre.
        setParameter(tag::XYMidiX, 0.5f);
        setParameter(tag::XYMidiY, 0.5f);
        xy.midiPrev = {0.5f, 0.5f};
        xy.updateXY.set();
    }

    if (record == xyrecord::Replay) {
        if (entered) {
            initXY(2, -1);
            startXYReplay();
        }
        const bool still = play == xyplay::Mono && !render.anyVoicePlaying;
        if (!still)
            XYReplay::step(xy.replay, xy.settings, engine.global.dst[dst::XYSpeed], xy.smoothK,
                           xyPath());
        publishXYHeld(xy.replay.held);
        if (play == xyplay::Poly) {
            // The global sources show the last voice's replay.
            const XYVoice& last = xy.voices[limitVoice(engine.notes.lastVoice)];
            writeXYSources({2.0f * last.pair[0] - 1.0f, 2.0f * last.pair[1] - 1.0f}, false);
        } else {
            writeXYSources(xy.replay.held, true);
        }
        return;
    }

    if (record == xyrecord::Record && xy.recording.load(std::memory_order_acquire))
        updateXYRecord();
    const std::array<float, 2> pad = padPosition(*this);
    xy.replay.pos = xy.replay.target = {2.0f * pad[0] - 1.0f, 2.0f * pad[1] - 1.0f};
    publishXYHeld(xy.replay.pos);
    // Live: the voices glide to the pad themselves; Record: everyone follows.
    writeXYSources(xy.replay.pos, record == xyrecord::Record);
}

// On the voice's 16-frame tick.
void APlugin::voiceXYTick(int v) {
    XYState& xy = engine.xy;
    XYVoice& xv = xy.voices[v];
    const bool live = xy.recordMode == xyrecord::Live;
    const bool arrived = std::bit_cast<uint64_t>(xv.pair) == std::bit_cast<uint64_t>(xv.next);
    if (live) {
        // The voice stands at the target the pad gave while nothing it is
        // made from changed: the tick would leave everything as it is.
        const uint32_t changes = core.valueChanges.load(std::memory_order_acquire);
        const uint32_t events = engine.midi.events;
        const uint32_t grid = std::bit_cast<uint32_t>(xy.spaceGrid);
        if (xv.liveValid && arrived && std::bit_cast<uint64_t>(xv.step) == 0 &&
            xv.liveChanges == changes && xv.liveEvents == events && xv.liveGrid == grid &&
            !engine.render.controlPlan.everyFrame)
            return;
        xv.liveValid = true;
        xv.liveChanges = changes; // before the pad is read
        xv.liveEvents = events;
        xv.liveGrid = grid;
    } else {
        xv.liveValid = false;
    }
    if (!arrived) xv.resting = false;
    xv.pair = xv.next;
    std::array<float, 2> next;
    if (xy.recordMode == xyrecord::Replay && xy.playMode == xyplay::Poly) {
        XYReplay::step(xv.replay, xy.settings, engine.voices[v].mod.dst[dst::XYSpeed], xy.smoothK,
                       xyPath());
        next = snapped(xy, {(xv.replay.held[0] + 1.0f) * 0.5f, (xv.replay.held[1] + 1.0f) * 0.5f});
    } else if (live) {
        next = snapped(xy, padPosition(*this));
    } else {
        xv.step = {0.0f, 0.0f};
        xv.resting = false; // others write the voice's sources
        return;
    }
    xv.next = next;
    xv.step = {(next[0] - xv.pair[0]) * 0.0625f, (next[1] - xv.pair[1]) * 0.0625f};
    if (xv.step[0] != 0.0f || xv.step[1] != 0.0f) xv.resting = false;
    xy.voiceHeld[v][0].set(2.0f * next[0] - 1.0f);
    xy.voiceHeld[v][1].set(2.0f * next[1] - 1.0f);
}

// Every frame: the voice's own sources, where the voice has its own. Once
// they stand still (no step) they are written once and then rest.
void APlugin::voiceXYFrame(int v) {
    XYState& xy = engine.xy;
    XYVoice& xv = xy.voices[v];
    const uint32_t generation = engine.matrix.generation;
    if (xv.resting && xv.restGeneration == generation) return;
    if (!(xy.recordMode == xyrecord::Live ||
          (xy.recordMode == xyrecord::Replay && xy.playMode == xyplay::Poly)))
        return;
    auto& src = engine.voices[v].mod.src;
    const float bx = 2.0f * xv.pair[0] - 1.0f;
    const float by = 2.0f * xv.pair[1] - 1.0f;
    src[src::XYX] = bx;
    src[src::UniXYX] = xv.pair[0];
    src[src::XYY] = by;
    src[src::UniXYY] = xv.pair[1];
    if (engine.matrix.sourceUsed[src::XYDistance])
        src[src::XYDistance] = std::min(xyDistance(bx, by), 1.0f);
    const std::array<float, 2> before = xv.pair;
    xv.pair[0] += xv.step[0];
    xv.pair[1] += xv.step[1];
    if (std::bit_cast<uint64_t>(before) == std::bit_cast<uint64_t>(xv.pair)) {
        xv.resting = true;
        xv.restGeneration = generation;
    }
}

// Something else wrote the voices' XY sources, or their mode changed.
void APlugin::wakeXYVoices() {
    for (XYVoice& xv : engine.xy.voices) xv.resting = false;
}

// ------------------------------------------------------------------ editor (main thread)

void APlugin::setXY(float x, float y) {
    setParameterAutomated(tag::XYX, clamp01(x));
    setParameterAutomated(tag::XYY, clamp01(y));
}

void APlugin::setXY(int i, float x, float y) {
    if (i < 0 || i >= kXYPoints) return;
    setParameterAutomated(tag::xyPointX(i), (clampTo(x, -1.0f, 1.0f) + 1.0f) * 0.5f);
    setParameterAutomated(tag::xyPointY(i), (clampTo(y, -1.0f, 1.0f) + 1.0f) * 0.5f);
}

void APlugin::setXYZeroTime() {
    if (1000.0f * getCurrentValue(tag::XYLengthSec) + getCurrentValue(tag::XYLengthMs) < 0.002f) {
        setParameter(tag::XYLengthSec, 0.004f);
        setParameter(tag::XYLengthMs, 0.0f);
    }
}

void APlugin::getXYEditor(float& x, float& y) const {
    x = (engine.xy.heldX.get() + 1.0f) * 0.5f;
    y = (engine.xy.heldY.get() + 1.0f) * 0.5f;
}

void APlugin::getXYEditor(int v, float& x, float& y) const {
    const auto& held = engine.xy.voiceHeld[static_cast<std::size_t>(limitVoice(v))];
    x = (held[0].get() + 1.0f) * 0.5f;
    y = (held[1].get() + 1.0f) * 0.5f;
}

bool APlugin::getUpdateXY() const {
    return engine.xy.updateXY.get();
}
void APlugin::setUpdateXY(bool on) {
    engine.xy.updateXY.set(on);
}
bool APlugin::getXChanged() {
    if (!engine.xy.xChanged.get()) return false;
    engine.xy.xChanged.clear();
    return true;
}
bool APlugin::getYChanged() {
    if (!engine.xy.yChanged.get()) return false;
    engine.xy.yChanged.clear();
    return true;
}

bool APlugin::getHasXYPath() const {
    return getXYSyncedToPeriod() != 0 ||
           1000.0f * getCurrentValue(tag::XYLengthSec) + getCurrentValue(tag::XYLengthMs) >=
               kXYMinPathSeconds;
}

float APlugin::snapXYValue(float u) const {
    const int q = clampTo(getXYSpaceQuant(), 0, static_cast<int>(XY_SNAP_AMT.size()) - 1);
    return snapToGrid(u, XY_SNAP_AMT[static_cast<std::size_t>(q)]);
}

float APlugin::getXYModAmount(int v, int pair) const {
    static constexpr int kXAmount[3] = {tag::XYModAmountFirst, tag::XYModAmountFirst + 2,
                                        tag::XYXToMorph};
    static constexpr int kYAmount[3] = {tag::XYModAmountFirst + 1, tag::XYModAmountFirst + 3,
                                        tag::XYYToMorph};
    static constexpr int kXDest[3] = {dst::XYXToFree1Amount, dst::XYXToFree2Amount,
                                      dst::XYXToMorph};
    static constexpr int kYDest[3] = {dst::XYYToFree1Amount, dst::XYYToFree2Amount,
                                      dst::XYYToMorph};
    if (pair < 0 || pair > 2) return 0.0f;
    const DisplayState& shown = engine.display;
    const bool voice = isValidVoice(v) && getIsAnyVoicePlaying();
    const auto& d = voice ? shown.voiceDst : shown.globalDst;
    const float x = voice ? shown.voiceXYX.get() : shown.globalXYX.get();
    const float y = voice ? shown.voiceXYY.get() : shown.globalXYY.get();
    const float ax =
        clampTo(2.0f * getCurrentValue(kXAmount[pair]) - 1.0f + d[kXDest[pair]].get(), -1.0f, 1.0f);
    const float ay =
        clampTo(2.0f * getCurrentValue(kYAmount[pair]) - 1.0f + d[kYDest[pair]].get(), -1.0f, 1.0f);
    return clampTo(ax * x + ay * y, -1.0f, 1.0f);
}

void APlugin::startXYRecord() {
    engine.xy.recording.store(false, std::memory_order_release);
}

void APlugin::setXYRecord(float x, float y) {
    XYState& xy = engine.xy;
    const float cx = clamp01(x);
    const float cy = clamp01(y);
    xy.recInX.set(cx);
    xy.recInY.set(cy);
    if (!xy.recording.load(std::memory_order_acquire)) {
        xy.recStart.store(xy.clock.load(std::memory_order_relaxed), std::memory_order_relaxed);
        xy.recLast.store(0, std::memory_order_relaxed);
        // A take ended before the audio thread saw it still has its input.
        storeRelaxed(xy.recX[0], cx);
        storeRelaxed(xy.recY[0], cy);
        xy.takeCount.fetch_add(1, std::memory_order_release);
        xy.recording.store(true, std::memory_order_release);
    }
    setParameterAutomated(tag::XYX, snapXYValue(cx));
    setParameterAutomated(tag::XYY, snapXYValue(cy));
}

// The take becomes the path: its length into 457/458 and its entries,
// resampled linearly, into the 128 points.
void APlugin::endXYRecord() {
    XYState& xy = engine.xy;
    if (!xy.recording.exchange(false, std::memory_order_acq_rel)) return;
    const double rate = xy.clockRate.get() > 0.0 ? xy.clockRate.get() : 44100.0;
    const int64_t elapsed =
        xy.clock.load(std::memory_order_relaxed) - xy.recStart.load(std::memory_order_relaxed);
    const int ms =
        elapsed > 0 ? static_cast<int>(std::min(static_cast<double>(elapsed) / rate * 1000.0, 1e9))
                    : 0;
    setParameter(tag::XYLengthSec, static_cast<float>(ms / 1000) / 1000.0f);
    setParameter(tag::XYLengthMs, static_cast<float>(ms % 1000) / 1000.0f);

    const int64_t n = xy.recLast.load(std::memory_order_acquire);
    const int64_t top = std::max<int64_t>(n - 1, 0);
    for (int k = 0; k < kXYPoints; ++k) {
        const double t = static_cast<double>(k) * static_cast<double>(n) / kXYPathLen;
        const int64_t i0 = std::min(static_cast<int64_t>(t), top);
        const int64_t i1 = std::min(i0 + 1, top);
        const float f = static_cast<float>(t - static_cast<double>(i0));
        const float x0 = loadRelaxed(xy.recX[i0]);
        const float y0 = loadRelaxed(xy.recY[i0]);
        setParameter(tag::xyPointX(k), x0 + (loadRelaxed(xy.recX[i1]) - x0) * f);
        setParameter(tag::xyPointY(k), y0 + (loadRelaxed(xy.recY[i1]) - y0) * f);
    }
    xy.updateXY.set();
}
