// Arpeggiator and step sequencer: APlugin's side.
//
// Held keys (play mode playmode::Arp) go into the note list; the step clock
// runs on the render loop's 16-frame tick and, step by step, starts notes
// from the list under the grid's rows (on, tie, slide, tune, velocity, chord,
// free, ratchet). Outside that play mode the modulation modes walk the same
// grid and only feed the modulation sources src::ArpOn..src::ArpFree. Magic
// steps vary every second pass.
//
// Everything here runs on the audio thread. The editor reads only what
// publishArpDisplay copies into engine.display, and asks for a magic reset
// through a request served at the next tick.

#include "core/aplugin.h"

#include "core/mod_slots.h"
#include "core/modes.h"
#include "core/numeric.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {

constexpr int kPassCycle = 720;
constexpr int kMagicSelections = 9;
constexpr int kMagicModes = 13;
constexpr int kArpChords = 21;
constexpr int kArpSpeeds = 17;
constexpr float kMaskScale = 65535.0f;

// Steps added by a step-count or loop-start modulation value.
int modulationSteps(float d) {
    return static_cast<int>(clampTo(d, -4.0f, 4.0f) * 15.0f + 0.1f);
}

ArpLoopBounds loopFrom(int stepsBase, int startBase, float dSteps, float dStart) {
    ArpLoopBounds loop;
    loop.numSteps = clampTo(stepsBase + modulationSteps(dSteps), 0, tag::ArpStepCount - 1) + 1;
    const int start = startBase + modulationSteps(dStart);
    loop.loopStart = start < 0 ? 0 : std::min(start, loop.numSteps - 1);
    return loop;
}

int nextOctave(int octave, int numOct) {
    return numOct > 0 ? (octave + 1) % numOct : 0;
}

} // namespace

// ------------------------------------------------------------------ plain units

ArpPatternStep arpPatternIndex(int mode, int held, int counter, bool first, float random01) {
    ArpPatternStep r;
    if (held < 1) return r;
    const int c = std::max(counter, 0);
    const int n = held;
    switch (mode) {
    case arpmode::Down:
    case arpmode::ReverseOrder: {
        const int m = c % n;
        r.index = n - 1 - m;
        r.wrap = m == 0;
        break;
    }
    case arpmode::UpDown:
    case arpmode::OrderedUpDown:
    case arpmode::DownUp:
    case arpmode::OrderedDownUp: {
        if (n == 1) {
            r.index = 0;
            r.wrap = true;
        } else {
            const int m = c % (2 * n - 2);
            r.index = m < n ? m : 2 * n - 2 - m;
            r.wrap = m == 0;
        }
        if (mode == arpmode::DownUp || mode == arpmode::OrderedDownUp) r.index = n - 1 - r.index;
        break;
    }
    case arpmode::Random:
        r.index = static_cast<int>((n - 0.01f) * clamp01(random01));
        r.wrap = r.index == 0;
        break;
    default: // Up, Ordered
        r.index = c % n;
        r.wrap = r.index == 0;
        break;
    }
    r.index = clampTo(r.index, 0, n - 1);
    if (first) r.wrap = false;
    return r;
}

ArpStepClock::Advance ArpStepClock::advance(int loopMode, ArpLoopBounds& loop,
                                            const ArpLoopBounds& fresh, bool takeFresh) {
    loop.numSteps = clampTo(loop.numSteps, 1, tag::ArpStepCount);
    loop.loopStart = clampTo(loop.loopStart, 0, loop.numSteps - 1);
    if (loopMode != arploop::PingPong) dir = 1;
    step += dir;

    if (loopMode == arploop::Off) {
        if (step >= loop.numSteps) {
            step = loop.numSteps - 1;
            return Advance::Stopped;
        }
        step = std::max(step, 0);
        return Advance::Step;
    }
    if (loopMode == arploop::PingPong) {
        if (dir > 0 && step >= loop.numSteps) {
            step = loop.numSteps - 1; // the last step sounds twice
            dir = -1;
        }
        if (dir < 0 && step >= loop.numSteps) step = loop.numSteps - 1; // the loop shrank
        // Turning up at or below the loop start (not only on it): a loop
        // that shrank while the step walked down still turns.
        if (dir < 0 && step <= loop.loopStart) {
            dir = 1;
            if (takeFresh) loop = fresh;
            step = clampTo(step, loop.loopStart, loop.numSteps - 1);
            return Advance::PassEnd;
        }
        step = clampTo(step, 0, tag::ArpStepCount - 1);
        return Advance::Step;
    }
    // Loop On.
    if (step >= loop.numSteps || step < 0) {
        if (takeFresh) loop = fresh;
        step = loop.loopStart;
        return Advance::PassEnd;
    }
    return Advance::Step;
}

// ------------------------------------------------------------------ grid reads

ArpLoopBounds APlugin::arpLoopNow() const {
    const ModRow& g = engine.global;
    return loopFrom(
        applyArpCatchup(getLockSteppedValue(tag::ArpNumSteps), getArpStepsCatchup()),
        applyArpCatchup(getLockSteppedValue(tag::ArpLoopStart), getArpLoopStartCatchup()),
        g.dst[dst::ArpSteps], g.dst[dst::ArpLoopStart]);
}

int APlugin::getArpNumOfSteps() const {
    const DisplayState& d = engine.display;
    return loopFrom(applyArpCatchup(getLockSteppedValue(tag::ArpNumSteps), getArpStepsCatchup()), 0,
                    d.globalDst[dst::ArpSteps].get(), 0.0f)
        .numSteps;
}

int APlugin::getArpNumOct() const {
    return getArpOct() + 1;
}

bool APlugin::arpStepOn(int step) const {
    return arpValidStep(step) && getLockVarOnOff(tag::arpStep(tag::RowOn, step)) &&
           engine.arp.magic.on[step];
}

bool APlugin::getArpStepOn(int step) const {
    return arpValidStep(step) && getLockVarOnOff(tag::arpStep(tag::RowOn, step)) &&
           (engine.display.arpMagicMuted.get() >> step & 1u) == 0;
}

bool APlugin::getArpStepTied(int step) const {
    return arpValidStep(step) && getLockVarOnOff(tag::arpStep(tag::RowTied, step));
}

int APlugin::arpStepTune(int step) const {
    if (!arpValidStep(step)) return 0;
    return arpTuneSemitones(getLockVar(tag::arpStep(tag::RowTune, step))) +
           engine.arp.magic.tune[step];
}

float APlugin::arpStepVelocity(int step) const {
    if (!arpValidStep(step)) return 0.0f;
    return clamp01(getLockVar(tag::arpStep(tag::RowVelocity, step))) * 127.0f;
}

float APlugin::arpStepFree(int step) const {
    if (!arpValidStep(step)) return 0.0f;
    return clampTo(2.0f * getLockVar(tag::arpStep(tag::RowFree, step)) - 1.0f, -1.0f, 1.0f);
}

// Whether a tied step takes the new step's velocity and pitch.
bool APlugin::arpTieTakes(int parity) const {
    switch (getArpTiedMode()) {
    case arptie::Special:
        return true;
    case arptie::Toggle1:
        return (parity & 1) == 0;
    case arptie::Toggle2:
        return (parity & 1) != 0;
    default:
        return false;
    }
}

// ------------------------------------------------------------------ ratchets

bool APlugin::arpRatchetsThisPass() const {
    const int p = engine.arp.passCount;
    switch (getArpRatchetMode()) {
    case arpratchet::On:
        return true;
    case arpratchet::OffOnCycle:
        return p % 2 == 1;
    case arpratchet::OnOffCycle:
        return p % 2 == 0;
    case arpratchet::TwoOffOneOnCycle:
        return p % 3 == 2;
    case arpratchet::ThreeOffOneOnCycle:
        return p % 4 == 3;
    case arpratchet::OneOnTwoOffCycle:
        return p % 3 == 0;
    case arpratchet::OneOnThreeOffCycle:
        return p % 4 == 0;
    case arpratchet::Velocity:
        return clamp01(getLockVar(tag::ArpVelocityRatchet) +
                       engine.global.dst[dst::ArpRatchetVelocity]) <= engine.arp.lastKeyVel;
    default:
        return false;
    }
}

double APlugin::getArpRatchetLen(int step) const {
    if (!arpValidStep(step) || getArpStepTied(step)) return kArpNoRatchet;
    const int r = getLockSteppedValue(tag::arpStep(tag::RowRatchet, step));
    if (r <= 0 || !arpRatchetsThisPass() || engine.arp.ratchetCount >= r) return kArpNoRatchet;
    return 1.0 / (r + 1);
}

void APlugin::takeArpRatchet(int /*voice*/) {
    engine.arp.ratchetLen = getArpRatchetLen(engine.arp.clock.step);
}

// ------------------------------------------------------------------ magic steps

int APlugin::arpMagicSelection() const {
    const float v = clamp01(getLockVar(tag::ArpMagicSteps) + engine.global.dst[dst::ArpMagicSteps]);
    return clampTo(static_cast<int>(v * 8.99f), 0, kMagicSelections - 1);
}

// The stored pattern's steps, one bit each of the value x 65535; a restored
// value far outside 0..1 gives every bit or none.
bool APlugin::getArpRandomOn(int step) const {
    if (!arpValidStep(step)) return false;
    const int mask = truncTo(getLockVar(tag::ArpRandomOn) * kMaskScale + 0.1f, 0,
                             std::numeric_limits<int>::max());
    return (mask >> step & 1) != 0;
}

// The magic pattern lives in the preset; a locked section keeps it in its
// locked copy, which is what the arpeggiator reads.
void APlugin::setArpMagicParam(int t, float value) {
    setParameter(t, value);
    if (getTagLocked(t)) {
        storeRelaxed(core.values.lockedValue[t], normalizedValue(t, value));
        core.valuesChanged();
    }
}

void APlugin::setArpRandomOn(int step, bool on) {
    if (!arpValidStep(step)) return;
    int mask = truncTo(getLockVar(tag::ArpRandomOn) * kMaskScale + 0.1f, 0,
                       std::numeric_limits<int>::max());
    mask = on ? mask | (1 << step) : mask & ~(1 << step);
    setArpMagicParam(tag::ArpRandomOn, (mask + 0.1f) / kMaskScale);
}

// Steps 1..numSteps-1 that are on and not tied, and that `keep` accepts.
template <class Keep> void APlugin::listArpMagicCandidates(Keep keep) {
    ArpMagicState& m = engine.arp.magic;
    m.candidateCount = 0;
    const int n = std::min(engine.arp.loop.numSteps, tag::ArpStepCount);
    for (int s = 1; s < n; ++s)
        if (getLockVarOnOff(tag::arpStep(tag::RowOn, s)) && !getArpStepTied(s) && keep(s))
            m.candidates[m.candidateCount++] = s;
}

int APlugin::drawArpMagicCandidate() {
    const ArpMagicState& m = engine.arp.magic;
    const int i = static_cast<int>(engine.random.unipolar() * (m.candidateCount - 0.001f));
    return m.candidates[clampTo(i, 0, m.candidateCount - 1)];
}

int APlugin::drawArpMagicInterval() {
    const int row = clampTo(static_cast<int>(engine.random.unipolar() * 1.99f), 0, 1);
    return ARP_MAGIC_SEMI[row][clampTo(engine.arp.magic.mode, 0, kMagicModes - 1)];
}

// Mutes and then transposes up to magic.count eligible steps of on/tune.
void APlugin::drawArpMagic(std::array<bool, tag::ArpStepCount>& on,
                           std::array<int, tag::ArpStepCount>& tune) {
    ArpMagicState& m = engine.arp.magic;
    if (arpMagicMutes(m.mode))
        for (int k = 0; k < m.count; ++k) {
            listArpMagicCandidates([&](int s) { return on[s]; });
            if (m.candidateCount == 0) break;
            on[drawArpMagicCandidate()] = false;
        }
    for (int k = 0; k < m.count; ++k) {
        listArpMagicCandidates([&](int s) { return tune[s] == 0; });
        if (m.candidateCount == 0) return;
        const int s = drawArpMagicCandidate();
        tune[s] = drawArpMagicInterval();
    }
}

void APlugin::resetArpMagic(bool full) {
    engine.requests.arpMagicReset.fetch_or(full ? 2 : 1, std::memory_order_relaxed);
}

void APlugin::resetArpMagicNow(bool full) {
    ArpMagicState& m = engine.arp.magic;
    m.clearApplied();
    if (!full) return;

    // A new selection or mode asks for a new stored pattern. The first one
    // seen (a new instance, a restored state) is taken as it is.
    const int sel = arpMagicSelection();
    const int mode = clampTo(getArpMagicMode(), 0, kMagicModes - 1);
    if ((m.sel >= 0 && sel != m.sel) || (m.mode >= 0 && mode != m.mode))
        setArpMagicParam(tag::SetArpRandom, 0.0f);
    m.sel = sel;
    m.count = ARP_MAGIC_COUNT[sel];
    m.setRandom = sel % 2 == 1;
    m.mode = mode;
    m.pass = 0;

    if (getLockVarOnOff(tag::SetArpRandom)) {
        m.storedOn[0] = false;
        m.storedTune[0] = 0;
        for (int s = 1; s < tag::ArpStepCount; ++s) {
            m.storedOn[s] = getArpRandomOn(s);
            m.storedTune[s] = truncTo(getLockVar(tag::arpRandomTune(s)) * 24.0f, 0, 24) - 12;
        }
        return;
    }
    m.storedOn.fill(true);
    m.storedTune.fill(0);
    if (m.count > 0 && m.setRandom) drawArpMagic(m.storedOn, m.storedTune);
    setArpMagicParam(tag::SetArpRandom, 1.0f);
    m.storedOn[0] = false;
    m.storedTune[0] = 0;
    for (int s = 0; s < tag::ArpStepCount; ++s) setArpRandomOn(s, m.storedOn[s]);
    for (int s = 1; s < tag::ArpStepCount; ++s)
        setArpMagicParam(tag::arpRandomTune(s), (m.storedTune[s] + 12.1f) / 24.0f);
}

// Preset application: the selection and mode of the new preset are the ones
// seen, so that its stored pattern is kept.
void APlugin::deriveArpMagic() {
    ArpMagicState& m = engine.arp.magic;
    m.sel = arpMagicSelection();
    m.count = ARP_MAGIC_COUNT[m.sel];
    m.setRandom = m.sel % 2 == 1;
    m.mode = clampTo(getArpMagicMode(), 0, kMagicModes - 1);
    m.clearApplied();
}

void APlugin::updateArpMagic() {
    ArpMagicState& m = engine.arp.magic;
    m.clearApplied();
    if (m.count <= 0) return;
    m.pass += 1;
    if (m.pass % 2 == 0) return;
    if (m.setRandom) {
        const int n = std::min(engine.arp.loop.numSteps, tag::ArpStepCount);
        for (int s = 1; s < n; ++s) {
            m.on[s] = m.storedOn[s];
            m.tune[s] = m.storedTune[s];
        }
        return;
    }
    drawArpMagic(m.on, m.tune);
}

// ------------------------------------------------------------------ state and caches

void APlugin::initArp() {
    ArpState& a = engine.arp;
    a.magic.clearApplied();
    a.running = false;
    a.firstStep = true;
    a.chordJoin = true;
    a.restartSeq = false;
    a.voiceSounding = false;
    a.stepPos = 0.0;
    a.clock.restart();
    a.swingIndex = 0;
    a.playPitch = 0.0f;
    a.playVel = 1.0f;
    a.playNote = 0;
    a.octave = 0;
    a.passParity = 0;
    a.passCount = 0;
    a.ratchetCount = 0;
    a.ratchetPos = 0.0;
    a.ratchetLen = kArpNoRatchet;
    a.heldCount = 0;
    a.noteIndex = 0;
    a.noteCounter = 0;
    a.pressed = {};
    a.sorted = {};
    a.newNote = {};
    a.chordVoice = {};
    a.chordCount = 0;
    a.stepOfVoice.fill(-1);
    a.lastKeyVel = 0.0f;
}

void APlugin::setArpRunning(bool running) {
    engine.arp.running = running;
}

void APlugin::clearArpSoundingVoice() {
    engine.arp.voiceSounding = false;
}

void APlugin::cacheArpModes() {
    ArpState& a = engine.arp;
    a.mode = getArpMode();
    a.numOct = getArpNumOct();
    a.hostSync = getLockVarOnOff(tag::ArpHostSyncOn);
    a.loopMode = getArpLoopMode();
    a.speedIndex = getArpSpeed();
    a.loop.numSteps = arpLoopNow().numSteps;
    a.latch = getOnOff(tag::ArpLatchOn);
    a.cached = true;
}

// setGlobalRare: a change of mode, octaves, host sync or loop mode stops
// everything first; hold and key entry take effect here.
void APlugin::updateArpRare() {
    ArpState& a = engine.arp;
    if (a.cached &&
        (getArpMode() != a.mode || getArpNumOct() != a.numOct ||
         getLockVarOnOff(tag::ArpHostSyncOn) != a.hostSync || getArpLoopMode() != a.loopMode))
        setEverythingOff(true);
    const bool latch = getOnOff(tag::ArpLatchOn);
    const bool wasLatched = a.latch;
    cacheArpModes();
    // Latch on keeps what the pedal already holds back: those keys are up.
    if (!latch && wasLatched) releaseHeldArpKeys(127);

    NoteState& ns = engine.notes;
    const bool keyEntry = getOnOff(tag::ArpKeyEntryOn);
    if (keyEntry && !ns.arpKeyEntry) {
        setEverythingOff(true);
        ns.arpEntryStep = 0;
    }
    ns.arpKeyEntry = keyEntry;
}

// Swing, gate and smoothing from the parameters and the global destinations.
void APlugin::updateArpFactors() {
    ArpState& a = engine.arp;
    const ModRow& g = engine.global;
    const float swing = getLockVar(tag::ArpSwing);
    const std::array<uint32_t, 6> inputs = {std::bit_cast<uint32_t>(swing),
                                            std::bit_cast<uint32_t>(g.dst[dst::ArpSwing]),
                                            std::bit_cast<uint32_t>(g.dst[dst::ArpNoteLength]),
                                            std::bit_cast<uint32_t>(g.dst[dst::ArpSmooth]),
                                            std::bit_cast<uint32_t>(g.dst[dst::ArpSmoothAttack]),
                                            std::bit_cast<uint32_t>(g.dst[dst::ArpSmoothDecay])};
    if (!a.factorsValid || inputs != a.factorInputs) {
        a.factorInputs = inputs;
        a.factorsValid = true;
        const double s = clamp01(swing + g.dst[dst::ArpSwing]);
        a.swing[0] = 1.0 + 0.5 * s;
        a.swing[1] = (1.0 + 0.5 * s) / (1.0 + s);
        const double gate = std::max(0.0, finiteOr(g.dst[dst::ArpNoteLength] + 1.0001, 0.0));
        a.gateLen = gate <= 1.0 ? gate : kArpNoGate;
        auto coefficient = [](float d) {
            return 1.0f - std::exp2(-8.0f * clampTo(d, 0.0f, 16.0f));
        };
        a.smoothUp = coefficient(g.dst[dst::ArpSmooth] + g.dst[dst::ArpSmoothAttack]);
        a.smoothDown = coefficient(g.dst[dst::ArpSmooth] + g.dst[dst::ArpSmoothDecay]);
    }

    if (const int rq = engine.requests.arpMagicReset.exchange(0, std::memory_order_relaxed))
        resetArpMagicNow((rq & 2) != 0);
}

// ------------------------------------------------------------------ the note list

void APlugin::sortArpNotes() {
    ArpState& a = engine.arp;
    a.sorted = a.pressed;
    // Insertion sort: equal notes keep their order of presses.
    for (int i = 1; i < a.heldCount; ++i)
        for (int j = i; j > 0 && a.sorted[j - 1].note > a.sorted[j].note; --j)
            std::swap(a.sorted[j - 1], a.sorted[j]);
}

// The first key of a phrase starts it afresh.
void APlugin::startArpPhrase(int velocity) {
    ArpState& a = engine.arp;
    engine.notes.curVoice = 0;
    a.running = false;
    a.firstStep = true;
    a.clock.restart();
    a.noteCounter = 0;
    a.swingIndex = 0;
    a.octave = 0;
    a.passParity = 0;
    a.stepPos = 0.0;
    a.chordJoin = true;
    a.restartSeq = false;
    a.newNote = {};
    a.lastKeyVel = velocity / 127.0f;
    resetArpMagicNow(true);
    initLFO(2, 0, -1);
    initLFO(2, 1, -1);
    initXY(2, -1);
    const float free = arpStepFree(0);
    a.voiceFree.fill(free);
    a.voiceFreeSrc.fill(free);
}

void APlugin::arpNoteDown(int note, int velocity) {
    ArpState& a = engine.arp;
    if (note <= 0) return; // the list holds positive notes only
    const bool wasEmpty = a.heldCount == 0;

    if (arpIsSequencer(a.mode)) {
        // The latest key plays, with the velocity of the first one held.
        NoteState& ns = engine.notes;
        ns.monoTop = std::min(ns.monoTop + 1, kMonoStackSize - 1);
        ns.monoStack[ns.monoTop] = note;
        if (wasEmpty) a.pressed[0].velocity = velocity;
        a.pressed[0].note = note;
        a.heldCount = 1;
        if (!wasEmpty && a.mode != arpmode::Sequencer) a.restartSeq = true;
        sortArpNotes();
    } else {
        if (a.heldCount >= kArpMaxNotes) return;
        a.pressed[a.heldCount] = {note, velocity};
        // A chord key added while the first step sounds joins it at once.
        a.newNote[a.heldCount] =
            a.mode == arpmode::Chord && a.chordJoin && !wasEmpty && !a.firstStep;
        ++a.heldCount;
        sortArpNotes();
    }
    if (wasEmpty) startArpPhrase(velocity);
    getArpToStart();
}

void APlugin::arpNoteReleased(int note) {
    ArpState& a = engine.arp;
    MidiState& midi = engine.midi;
    if (a.latch || midi.arpSustain) {
        if (note >= 0 && note < kMidiNotes && midi.arpHeldReleases[note] < arpListEntries(note))
            ++midi.arpHeldReleases[note];
        return;
    }

    if (arpIsSequencer(a.mode)) {
        NoteState& ns = engine.notes;
        int index = -1;
        for (int i = ns.monoTop; i >= 0; --i)
            if (ns.monoStack[i] == note) {
                index = i;
                break;
            }
        if (index < 0) return;
        const bool wasTop = index == ns.monoTop;
        for (int i = index; i < ns.monoTop; ++i) ns.monoStack[i] = ns.monoStack[i + 1];
        ns.monoStack[ns.monoTop] = -1;
        --ns.monoTop;
        if (ns.monoTop < 0) {
            a.heldCount = 0;
        } else if (wasTop) {
            // Back to the key still held.
            a.pressed[0].note = ns.monoStack[ns.monoTop];
            if (a.mode == arpmode::SequencerReset) a.restartSeq = true;
            sortArpNotes();
        }
    } else {
        int index = -1;
        for (int i = 0; i < a.heldCount; ++i)
            if (a.pressed[i].note == note) {
                index = i;
                break;
            }
        if (index < 0) return;
        for (int i = index; i + 1 < a.heldCount; ++i) {
            a.pressed[i] = a.pressed[i + 1];
            a.newNote[i] = a.newNote[i + 1];
        }
        --a.heldCount;
        a.pressed[a.heldCount] = {};
        a.newNote[a.heldCount] = false;
        sortArpNotes();
    }
    if (a.heldCount == 0) {
        midi.arpHeldReleases = {}; // nothing left for them to release
        turnAllVoicesOff();
        resetArpMagicNow(false);
    }
}

// How often a note stands in the note list (or in the sequencer's key stack).
int APlugin::arpListEntries(int note) const {
    int n = 0;
    if (arpIsSequencer(engine.arp.mode)) {
        const NoteState& ns = engine.notes;
        for (int i = 0; i <= ns.monoTop; ++i) n += ns.monoStack[i] == note;
    } else {
        const ArpState& a = engine.arp;
        for (int i = 0; i < a.heldCount; ++i) n += a.pressed[i].note == note;
    }
    return n;
}

// The latch or the pedal let go: every release they held back takes effect
// now, oldest key first. A hold still engaged keeps them in turn.
void APlugin::releaseHeldArpKeys(int velocity) {
    MidiState& midi = engine.midi;
    // The notes first, in the list's order: releasing changes the list.
    std::array<int, std::max(kArpMaxNotes, kMonoStackSize)> notes{};
    int count = 0;
    auto take = [&](int note) {
        if (note < 0 || note >= kMidiNotes || midi.arpHeldReleases[note] == 0) return;
        --midi.arpHeldReleases[note];
        notes[count++] = note;
    };
    if (arpIsSequencer(engine.arp.mode)) {
        const NoteState& ns = engine.notes;
        for (int i = 0; i <= ns.monoTop; ++i) take(ns.monoStack[i]);
    } else {
        const ArpState& a = engine.arp;
        for (int i = 0; i < a.heldCount; ++i) take(a.pressed[i].note);
    }
    midi.arpHeldReleases = {};
    for (int i = 0; i < count; ++i) midiNoteReleased(notes[i], velocity, 0);
}

// A note down while nothing sounds: the clock starts from the top of a step.
void APlugin::resetArpClock() {
    ArpState& a = engine.arp;
    a.stepPos = 0.0;
    a.ratchetPos = 0.0;
    a.ratchetLen = kArpNoRatchet;
    resetArpMagicNow(false);
    if (engine.notes.playMode != playmode::Arp &&
        (a.mode == arpmode::ModFree || a.mode == arpmode::ModMono))
        restartArpModPhrase();
}

// ------------------------------------------------------------------ the clock

// Render loop, every 16 frames with host time information.
void APlugin::updateArpClock() {
    ArpState& a = engine.arp;
    const RenderState& r = engine.render;
    const double speed =
        std::max(0.0, finiteOr(static_cast<double>(engine.global.dst[dst::ArpSpeed]), 1.0));
    a.stepInc = speed * ARP_TEMPO_ARRAY[clampTo(a.speedIndex, 0, kArpSpeeds - 1)] * 16.0 *
                r.tempoD / 15.0 / engine.rate.sampleRateD;
    getArpToStart();
}

// Starts the clock of a waiting phrase: at once without host sync or while
// the host's transport stands, else on the host's next sixteenth note.
void APlugin::getArpToStart() {
    ArpState& a = engine.arp;
    const RenderState& r = engine.render;
    const bool playing = r.hasTimeInfo && (r.timeInfo.flags & kVstTransportPlaying) != 0;
    double quarters = r.hasTimeInfo ? finiteOr(r.timeInfo.ppqPos, 0.0) : 0.0;
    // The host gives the position at the block start; the tick is later.
    if (playing)
        quarters += static_cast<double>(r.sampleCounter - r.blockStart) * r.tempoD / 60.0 /
                    engine.rate.sampleRateD;
    const double x = quarters * 4.0;
    const double whole = std::floor(x);
    const bool changed = whole != a.lastSixteenth;
    a.lastSixteenth = whole;

    if (a.heldCount <= 0 || a.running || !r.hasTimeInfo) return;
    if (!a.hostSync || !playing) {
        a.running = true;
        return;
    }
    const double tol = core.host.hostIsProp ? r.tempoD * 8.0 / engine.rate.sampleRateD : 0.001;
    if (changed || std::fabs(x - whole) < tol || std::fabs(x) < tol) {
        a.running = true;
    } else {
        initLFO(2, 0, -1);
        initLFO(2, 1, -1);
    }
}

// The host's transport started: the modulation phrase begins one step
// later, and a held arpeggio starts again from its first step on the grid.
void APlugin::restartArpPhrase() {
    ArpState& a = engine.arp;
    a.modClock.step = -1;
    a.modClock.dir = 1;
    a.modPos = 0.0;
    if (engine.notes.playMode != playmode::Arp || a.heldCount <= 0) return;
    turnAllVoicesOff();
    a.running = false;
    a.firstStep = true;
    a.clock.restart();
    a.noteCounter = 0;
    a.swingIndex = 0;
    a.octave = 0;
    a.passParity = 0;
    a.stepPos = 0.0;
    a.ratchetPos = 0.0;
    a.ratchetLen = kArpNoRatchet;
    a.restartSeq = false;
    a.magic.clearApplied();
    a.magic.pass = 0;
    getArpToStart();
}

bool APlugin::updateArpStep() {
    ArpState& a = engine.arp;
    switch (a.clock.advance(a.loopMode, a.loop, arpLoopNow(), true)) {
    case ArpStepClock::Advance::Stopped:
        a.heldCount = 0;
        engine.notes.monoTop = -1;
        turnAllVoicesOff();
        return false;
    case ArpStepClock::Advance::PassEnd:
        a.passParity ^= 1;
        a.passCount = (a.passCount + 1) % kPassCycle;
        updateArpMagic();
        if (arpIsSequencer(a.mode)) a.octave = nextOctave(a.octave, a.numOct);
        return true;
    default:
        return true;
    }
}

// The gate of the step ends, or the step is off.
void APlugin::arpReleaseStep() {
    if (engine.arp.mode == arpmode::Chord)
        turnAllVoicesOff();
    else
        setVoiceOff(engine.notes.curVoice);
}

// Velocity of a step for a key: the mix of the key's and the step's.
float APlugin::arpVelocity(int keyVelocity, int step) const {
    const float w =
        clamp01(getLockVar(tag::ArpVelocityKey) + engine.global.dst[dst::ArpVelocityOrKey]);
    return keyVelocity * w + (1.0f - w) * arpStepVelocity(step);
}

// The step's sources of one voice (steps of the note modes).
void APlugin::setArpVoiceSources(int voice, int step) {
    ArpState& a = engine.arp;
    const int tune = arpStepTune(step);
    a.voiceFreeSrc[voice] = engine.global.src[src::ArpFree];
    a.voiceFree[voice] = arpStepFree(step);
    a.stepVelSrc = arpStepVelocity(step) / 127.0f;
    a.stepTuneSrc = tune / 36.0f;
    setModSrcAmt(voice, src::ArpVelocity, a.stepVelSrc);
    setModSrcAmt(voice, src::ArpTune, a.stepTuneSrc);
}

// Velocity and pitch of the step, then the note (pattern and sequencer modes).
void APlugin::arpPlayStep(int voice, int step, bool retrigger) {
    ArpState& a = engine.arp;
    const auto& list = arpWalksSorted(a.mode) ? a.sorted : a.pressed;
    a.noteIndex = clampTo(a.noteIndex, 0, std::max(a.heldCount - 1, 0));
    const ArpNote& key = list[a.noteIndex];
    a.playVel = arpVelocity(key.velocity, step);
    a.playNote = key.note;
    a.playPitch = static_cast<float>(a.octave * 12 + arpStepTune(step));
    setArpVoiceSources(voice, step);
    if (a.playNote > 0) {
        setNotePressed(voice, a.playNote, static_cast<int>(a.playVel), a.playPitch, retrigger, true,
                       getLockVarOnOff(tag::arpStep(tag::RowSlide, step)));
        a.voiceSounding = true;
    }
}

// Chord mode: every held note (the first 16 in order of presses) at once.
void APlugin::arpPlayChord(int step, bool retrigger) {
    ArpState& a = engine.arp;
    NoteState& ns = engine.notes;
    a.playPitch = static_cast<float>(a.octave * 12 + arpStepTune(step));
    a.playVel = arpVelocity(a.pressed[0].velocity, step);
    if (retrigger) {
        turnAllVoicesOff();
        a.chordCount = std::min(a.heldCount, kArpVoices);
    }
    for (int i = 0; i < a.chordCount; ++i) {
        if (retrigger) {
            getNextCurVoice();
            setVoiceOn(ns.curVoice);
            a.chordVoice[i] = ns.curVoice;
            a.stepOfVoice[ns.curVoice] = step;
        }
        const int v = a.chordVoice[i];
        setArpVoiceSources(v, step);
        setNotePressed(v, a.pressed[i].note, static_cast<int>(a.playVel), a.playPitch, retrigger,
                       true, false);
    }
    a.voiceSounding = a.chordCount > 0;
}

// Keys added during the first step of a chord phrase sound at once.
void APlugin::arpChordJoin() {
    ArpState& a = engine.arp;
    NoteState& ns = engine.notes;
    if (!a.chordJoin || a.firstStep) return;
    const int count = std::min(a.heldCount, kArpVoices);
    for (int i = 1; i < count; ++i) {
        if (!a.newNote[i]) continue;
        a.newNote[i] = false;
        getNextCurVoice();
        setVoiceOn(ns.curVoice);
        a.chordVoice[i] = ns.curVoice;
        a.chordCount = std::max(a.chordCount, i + 1);
        const int step = a.clock.step;
        a.stepOfVoice[ns.curVoice] = step;
        setArpVoiceSources(ns.curVoice, step);
        setNotePressed(ns.curVoice, a.pressed[i].note,
                       static_cast<int>(arpVelocity(a.pressed[i].velocity, step)), a.playPitch,
                       true, true, false);
    }
}

// A further hit of a ratcheting step.
void APlugin::arpRatchetHit() {
    ArpState& a = engine.arp;
    NoteState& ns = engine.notes;
    const int step = a.clock.step;
    a.ratchetPos -= a.ratchetLen;
    a.ratchetCount += 1;
    a.ratchetLen = kArpNoRatchet; // the press below takes the next length
    if (a.mode == arpmode::Chord) {
        arpPlayChord(step, true);
        return;
    }
    turnAllVoicesOff();
    getNextCurVoice();
    setVoiceOn(ns.curVoice);
    a.stepOfVoice[ns.curVoice] = step;
    arpPlayStep(ns.curVoice, step, true);
}

// A new step of the note modes; false when the phrase ended.
bool APlugin::arpNewStep() {
    ArpState& a = engine.arp;
    NoteState& ns = engine.notes;
    a.ratchetPos = 0.0;
    a.ratchetCount = 0;
    a.ratchetLen = kArpNoRatchet;
    if (arpIsSequencer(a.mode) && a.restartSeq) {
        a.restartSeq = false;
        a.clock.restart();
    }
    if (!updateArpStep()) return false;
    const bool first = a.firstStep;
    a.firstStep = false;
    if (!first) a.chordJoin = false;

    const int step = a.clock.step;
    if (!arpStepOn(step)) {
        arpReleaseStep();
        return true;
    }
    const bool tied = !first && getArpStepTied(step);
    if (tied) {
        // The note goes on; it takes the new step's pitch and velocity only
        // when the tie mode says so.
        if (!arpTieTakes(a.passParity)) return true;
        if (a.mode == arpmode::Chord)
            arpPlayChord(step, false);
        else
            arpPlayStep(ns.curVoice, step, false);
        return true;
    }

    a.noteCounter = first ? 0 : a.noteCounter + 1;
    if (a.mode == arpmode::Chord) {
        if (!first) a.octave = nextOctave(a.octave, a.numOct);
        arpPlayChord(step, true);
        return true;
    }
    if (arpIsPattern(a.mode)) {
        const float r = a.mode == arpmode::Random ? engine.random.unipolar() : 0.0f;
        const ArpPatternStep p = arpPatternIndex(a.mode, a.heldCount, a.noteCounter, first, r);
        if (p.wrap) a.octave = nextOctave(a.octave, a.numOct);
        a.noteIndex = p.index;
    } else {
        a.noteIndex = 0;
    }
    turnAllVoicesOff();
    getNextCurVoice();
    setVoiceOn(ns.curVoice);
    a.stepOfVoice[ns.curVoice] = step;
    arpPlayStep(ns.curVoice, step, true);
    return true;
}

// Render loop, every 16 frames in play mode playmode::Arp.
void APlugin::stepArpClock() {
    updateArpFactors();
    ArpState& a = engine.arp;
    if (!a.running || arpIsModulation(a.mode)) return;
    if (a.heldCount < 1) {
        a.running = false;
        turnAllVoicesOff();
        return;
    }
    a.ratchetPos += a.stepInc * a.swing[a.swingIndex & 1];
    if (a.ratchetPos > a.ratchetLen) arpRatchetHit();
    if (a.stepPos > a.gateLen) arpReleaseStep();

    bool newStep = false;
    if (a.stepPos >= 1.0) {
        a.swingIndex ^= 1;
        a.stepPos -= std::floor(a.stepPos);
        newStep = true;
    } else if (a.firstStep) {
        a.swingIndex ^= 1;
        a.stepPos = 0.0;
        newStep = true;
    }
    if (newStep && !arpNewStep()) return;
    if (a.mode == arpmode::Chord) arpChordJoin();

    const VoiceState& voice = engine.voices[limitVoice(engine.notes.curVoice)];
    engine.global.src[src::ArpTune] = voice.mod.src[src::ArpTune];
    engine.global.src[src::ArpVelocity] = voice.mod.src[src::ArpVelocity];
    a.stepPos += a.stepInc * a.swing[a.swingIndex & 1];
}

// ------------------------------------------------------------------ modulation modes

void APlugin::restartArpModPhrase() {
    ArpState& a = engine.arp;
    a.modClock.step = 0;
    a.modClock.dir = 1;
    a.modParity = 0;
    a.modPos = 0.0;
    a.swingIndex = 0;
    a.modRunning = true;
    resetArpMagicNow(true);
    updateArpMod(-1);
}

// Publishes the step of the global (voice < 0) or a voice's phrase.
void APlugin::updateArpMod(int voice) {
    ArpState& a = engine.arp;
    ModRow& g = engine.global;
    const bool global = voice < 0;
    if (!global && !isValidVoice(voice)) return;
    const int step = global ? a.modClock.step : a.voiceMod[voice].clock.step;
    const int parity = global ? a.modParity : a.voiceMod[voice].parity;
    const bool on = arpStepOn(step);
    if (global)
        setModSrcAmt(src::ArpOn, on ? 1.0f : 0.0f);
    else {
        setModSrcAmt(voice, src::ArpOn, on ? 1.0f : 0.0f);
        g.src[src::ArpOn] = on ? 1.0f : 0.0f;
    }
    if (!on || (getArpStepTied(step) && !arpTieTakes(parity))) return;
    const float free = arpStepFree(step);
    const float tune = arpStepTune(step) / 36.0f;
    const float velocity = arpStepVelocity(step) / 127.0f;
    if (global) {
        a.modFreeTarget = free;
        setModSrcAmt(src::ArpTune, tune);
        setModSrcAmt(src::ArpVelocity, velocity);
        return;
    }
    a.voiceFree[voice] = free;
    setModSrcAmt(voice, src::ArpTune, tune);
    setModSrcAmt(voice, src::ArpVelocity, velocity);
    g.src[src::ArpTune] = tune;
    g.src[src::ArpVelocity] = velocity;
    g.src[src::ArpFree] = free;
}

// "Mod Free" and "Mod Mono": the global phrase.
void APlugin::setArpMod() {
    ArpState& a = engine.arp;
    if (!a.modRunning) return;
    a.modPos += a.stepInc * a.swing[a.swingIndex & 1];
    if (a.modPos < 1.0) return;
    a.modPos -= std::floor(a.modPos);
    a.swingIndex ^= 1;
    const ArpStepClock::Advance r = a.modClock.advance(a.loopMode, a.loop, arpLoopNow(), true);
    if (r == ArpStepClock::Advance::Stopped) {
        a.modRunning = false;
        return;
    }
    if (r == ArpStepClock::Advance::PassEnd) {
        a.modParity ^= 1;
        updateArpMagic();
    }
    updateArpMod(-1);
}

// "Mod Poly": each voice's own phrase.
void APlugin::setArpMod(int voice) {
    ArpState& a = engine.arp;
    if (!isValidVoice(voice)) return;
    ArpVoiceMod& vm = a.voiceMod[voice];
    if (!vm.running) return;
    vm.pos += a.stepInc * a.swing[vm.swingIndex & 1];
    if (vm.pos < 1.0) return;
    vm.pos -= std::floor(vm.pos);
    vm.swingIndex ^= 1;
    // In loop On only the newest voice moves the loop and the magic pass.
    const bool leads = a.loopMode == arploop::PingPong || voice == engine.notes.curVoice;
    const ArpStepClock::Advance r = vm.clock.advance(a.loopMode, a.loop, arpLoopNow(), leads);
    if (r == ArpStepClock::Advance::Stopped) {
        vm.running = false;
        return;
    }
    if (r == ArpStepClock::Advance::PassEnd) {
        vm.parity ^= 1;
        if (leads) updateArpMagic();
    }
    updateArpMod(voice);
}

// Render loop, every 16 frames outside play mode playmode::Arp.
void APlugin::arpModulationOutsideArp() {
    updateArpFactors();
    ArpState& a = engine.arp;
    if (a.mode != arpmode::ModFree && a.mode != arpmode::ModMono) return;
    setArpMod();
    const float target = a.modFreeTarget;
    const float c = target > a.modFree ? a.smoothUp : a.smoothDown;
    a.modFree = (a.modFree - target) * c + target + 1e-15f;
    setModSrcAmt(src::ArpFree, a.modFree);
}

// A note starts with a restart on voice v.
void APlugin::resetArpVoice(int v) {
    ArpState& a = engine.arp;
    if (!isValidVoice(v) || engine.notes.playMode == playmode::Arp) return;
    if (a.mode == arpmode::ModPoly) {
        ArpVoiceMod& vm = a.voiceMod[v];
        vm = ArpVoiceMod{};
        vm.running = true;
        vm.clock.step = 0;
        updateArpMod(v);
        a.voiceFreeSrc[v] = a.voiceFree[v];
        engine.voices[v].mod.src[src::ArpFree] = a.voiceFree[v];
    } else if (a.mode == arpmode::ModMono) {
        restartArpModPhrase();
    }
}

// The voice's 16-frame tick: its "Arp Free" source follows its target.
void APlugin::voiceArpTick(int v) {
    ArpState& a = engine.arp;
    if (engine.notes.playMode != playmode::Arp) {
        if (a.mode != arpmode::ModPoly) return;
        setArpMod(v);
    }
    float& value = a.voiceFreeSrc[v];
    const float target = a.voiceFree[v];
    const float c = target > value ? a.smoothUp : a.smoothDown;
    value = (value - target) * c + target + 1e-15f;
    engine.voices[v].mod.src[src::ArpFree] = value;
}

// The chord of the grid step that started the voice, as a unison mode; -1
// keeps the global one.
int APlugin::getArpUniMode(int voice) const {
    const ArpState& a = engine.arp;
    if (!isValidVoice(voice) || a.mode == arpmode::Chord) return -1;
    const int step = a.stepOfVoice[voice];
    if (!arpValidStep(step)) return -1;
    const int chord =
        clampTo(getLockSteppedValue(tag::arpStep(tag::RowChord, step)), 0, kArpChords - 1);
    return UNI_FOR_ARP_CHORD[chord];
}

// ------------------------------------------------------------------ what the editor shows

void APlugin::publishArpDisplay() {
    DisplayState& d = engine.display;
    const ArpState& a = engine.arp;
    const NoteState& ns = engine.notes;
    const bool arpPlay = ns.playMode == playmode::Arp;

    int led = -1;
    if (ns.arpKeyEntry) {
        led = ns.arpEntryStep;
    } else if (!arpPlay && (a.mode == arpmode::ModFree || a.mode == arpmode::ModMono)) {
        led = a.modRunning ? a.modClock.step : -1;
    } else if (!arpPlay && a.mode == arpmode::ModPoly) {
        const ArpVoiceMod& vm = a.voiceMod[limitVoice(ns.lastVoice)];
        led = vm.running ? vm.clock.step : -1;
    } else if (arpPlay && a.voiceSounding && a.heldCount >= 1) {
        led = a.clock.step;
    }
    d.arpLedPos.set(arpValidStep(led) ? led : -1);
    d.arpPassParity.set(a.passParity);
    d.arpPlaying.set(a.heldCount > 0);
    d.arpRatchetDisplay.set(!arpPlay || !a.running || a.heldCount < 1 || arpRatchetsThisPass());
    for (int s = 0; s < tag::ArpStepCount; ++s) d.arpMagicTune[s].set(a.magic.tune[s]);
    d.arpMagicMuted.set(arpMagicMuted());
}

// One bit per step the magic steps mute.
uint32_t APlugin::arpMagicMuted() const {
    uint32_t muted = 0;
    for (int s = 0; s < tag::ArpStepCount; ++s)
        if (!engine.arp.magic.on[s]) muted |= 1u << s;
    return muted;
}

int APlugin::getArpLedPos() const {
    return engine.display.arpLedPos.get();
}
int APlugin::getArpSeq() const {
    return engine.display.arpPassParity.get();
}
bool APlugin::getArpPlaying() const {
    return engine.display.arpPlaying.get();
}
bool APlugin::getArpRatchetDisplay() const {
    return engine.display.arpRatchetDisplay.get();
}
