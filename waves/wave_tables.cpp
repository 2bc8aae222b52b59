// The oscillator's wave tables: 32 morph frames between waves A and B in 15
// oscillator modes, 35 band-limited pitch tables per frame, and the staged
// rebuild that the render loop runs on the audio thread.
//
// Here it is decided what is built, into which bank slot, from what, and
// when a bank plays; the builds themselves are in wave_frames.cpp.

#include "core/aplugin.h"

#include "data/factory_waves.h"

#include <algorithm>
#include <cstring>

bool isNoiseWave(int wave) {
    return wave == FactoryWaves::kWhiteNoiseWave || wave == FactoryWaves::kPinkNoiseWave;
}

NoiseFlags noiseFlagsOf(int waveA, int waveB) {
    const bool na = isNoiseWave(waveA), nb = isNoiseWave(waveB);
    return {na, nb, na && nb};
}

NoiseFlags BankSource::noise() const {
    return noiseFlagsOf(waveA, waveB);
}

namespace {

// Describes a build of waves a and b in mode into source; the user waves
// among them are read through table(u) and partial(u, j).
template <class Table, class Partial>
void describeSource(BankSource& source, int a, int b, int mode, Table table, Partial partial) {
    source.known = !(isNoiseWave(a) && isNoiseWave(b));
    source.waveA = a;
    source.waveB = b;
    source.mode = mode;
    source.usesUserWave.fill(false);
    for (int wave : {a, b}) {
        if (wave < kFirstUserWave) continue;
        const int u = std::min(wave - kFirstUserWave, kNumUserWaves - 1);
        if (source.usesUserWave[u]) continue;
        source.usesUserWave[u] = true;
        source.userTables[u] = table(u);
        for (int j = 0; j < kUserWavePartials; ++j) source.userPartials[u][j] = partial(u, j);
    }
}

} // namespace

bool BankSource::sameAs(const BankSource& other) const {
    if (!known || !other.known || waveA != other.waveA || waveB != other.waveB ||
        mode != other.mode || usesUserWave != other.usesUserWave)
        return false;
    for (int u = 0; u < kNumUserWaves; ++u)
        if (usesUserWave[u] && (std::memcmp(userTables[u].data(), other.userTables[u].data(),
                                            sizeof(userTables[u])) != 0 ||
                                std::memcmp(userPartials[u].data(), other.userPartials[u].data(),
                                            sizeof(userPartials[u])) != 0))
            return false;
    return true;
}

int APlugin::getOscWave(int t) const {
    return t == tag::OscWaveA || t == tag::OscWaveB ? getSteppedValue(t) : 0;
}

int APlugin::getOscMode() const {
    return getSteppedValue(tag::OscMode);
}

// ------------------------------------------------------------------ the frame build

void APlugin::setOscWaveTables() {
    const FrameRecipe recipe{waves.cachedWaveA, waves.cachedWaveB, getOscMode()};
    buildStagedFrames(recipe);
}

// The staged build's frames from what its bank will be recorded as built
// from: the waves, the mode and the user waves' tables and partials as they
// were read once, so that a value written meanwhile by another thread
// cannot make the bank something other than its record says.
void APlugin::setOscWaveTables(const BankSource& source) {
    const FrameRecipe recipe{source.waveA, source.waveB, source.mode, &source.userTables,
                             &source.userPartials};
    buildStagedFrames(recipe);
}

// The engine waits for the staged build with the noise of its waves; with
// both waves noise it plays the noise at once.
void APlugin::buildStagedFrames(const FrameRecipe& recipe) {
    WaveState& ws = waves;
    const NoiseFlags noise = buildFrames(recipe, ws, ws.audioWork);
    ws.setNoise(noise);
    if (noise.both) ws.rebuildRunning = false;
}

// ------------------------------------------------------------------ pitch tables

void APlugin::setOscWavePitchTables(int first, int last) {
    WaveState& ws = waves;
    ws.pitchTablesBusy = true;
    first = std::clamp(first, 0, kNumPitchTables);
    last = std::clamp(last, 0, kNumPitchTables);
    if (first >= last) {
        ws.pitchTablesBusy = false;
        return;
    }
    // A bank shared with the instances that play the same recipe is built
    // already.
    if (PitchTableBank* target =
            ws.pitchTableBank.writable(1 - ws.activeBank.load(std::memory_order_relaxed)))
        writePitchTables(ws, ws.audioWork.fft, *target, first, last);
    ws.pitchTablesBusy = false;
}

// The oscillator plays the bank in slot from now on, with the noise of the
// waves it was built from, and the editor's picture takes its tables.
void APlugin::playBank(int slot) {
    WaveState& ws = waves;
    ws.setNoise(ws.bankSource[slot & 1].noise());
    ws.activeBank.store(slot, std::memory_order_release);
    publishOscTable();
}

// A staged build given up: the bank that plays on keeps its own noise (the
// frame build had set that of the waves it was building).
void APlugin::abandonStagedBuild() {
    WaveState& ws = waves;
    ws.rebuildStage = -1;
    ws.rebuildRunning = false;
    ws.setNoise(ws.bankSource[ws.activeBank.load(std::memory_order_relaxed) & 1].noise());
}

// The tables were levelled as they were built; the finished bank becomes
// the one the oscillator plays, and the editor's picture takes its tables.
void APlugin::normalizePitchTables() {
    WaveState& ws = waves;
    ws.pitchTablesBusy = true;
    ws.pitchTablesBusy = false;
    const int built = 1 - ws.activeBank.load(std::memory_order_relaxed);
    BankSource& source = ws.bankSource[built];
    source.known = !noiseFlagsOf(source.waveA, source.waveB).both;
    ws.pitchTableBank.finish(built);
    playBank(built);
    ws.rebuildRunning = false;
    core.screenUpdatePending.set();
}

// ------------------------------------------------------------------ the staged rebuild

// Every 512 frames: the next pitch-table stage. A new request aborts a
// staged build; it restarts from the frames at the next 4096-frame tick. So
// does a preset's build off the audio thread, which took the slot. While
// that build runs the stage waits.
void APlugin::runTableRebuildStage() {
    WaveState& ws = waves;
    if (ws.rebuildStage == -1) return;
    if (ws.rebuildRequested.load(std::memory_order_acquire)) {
        abandonStagedBuild();
        return;
    }
    if (ws.pitchTablesBusy) return;
    std::unique_lock lock(ws.tableBuildMutex, std::try_to_lock);
    if (!lock.owns_lock()) return;
    if (ws.slotBuilds.load(std::memory_order_relaxed) != ws.stagedSlotBuilds) {
        abandonStagedBuild();
        return;
    }
    const int s = ws.rebuildStage;
    if (s < 7)
        setOscWavePitchTables(5 * s, 5 * s + 5);
    else
        normalizePitchTables();
    ws.rebuildStage = s + 1 >= 8 ? -1 : s + 1;
}

// What a build now would be built from: the waves the engine last saw, the
// mode and the user waves (their tables under userWaveMutex, held by the
// caller or by no one).
void APlugin::describeRequestedSource(BankSource& source) {
    WaveState& ws = waves;
    describeSource(
        source, ws.cachedWaveA, ws.cachedWaveB, getOscMode(),
        [&](int u) -> const WaveTable& { return ws.userWaveTable[u]; },
        [&](int u, int j) { return getWaveTablePartials(u, j); });
}

// Every 4096 frames: a requested rebuild builds the frames. When a
// main-thread conversion holds the user waves, or a preset's tables are
// being built off the audio thread, the build waits a tick. Tables built for
// a preset that is still to be applied are kept for it (its application
// asks for a rebuild when it cannot take them).
void APlugin::startTableRebuild() {
    WaveState& ws = waves;
    if (!ws.rebuildRequested.load(std::memory_order_acquire) || ws.rebuildRunning) return;
    std::unique_lock buildLock(ws.tableBuildMutex, std::try_to_lock);
    if (!buildLock.owns_lock()) return;
    if (ws.prepared.ready.load(std::memory_order_acquire)) {
        if (core.presetPending) return;
        ws.prepared.ready.store(false, std::memory_order_relaxed);
    }
    std::unique_lock lock(ws.userWaveMutex, std::try_to_lock);
    if (!lock.owns_lock()) return;
    for (int w = 0; w < kNumUserWaves; ++w)
        if (ws.convertPending[w].exchange(false, std::memory_order_relaxed))
            buildUserWave(w, ws.audioWork);
    fillUserWaveLfoRows();
    // What is asked for is read once (the mode and the partials may be
    // written by another thread meanwhile); the build that follows reads
    // this record alone.
    const int active = ws.activeBank.load(std::memory_order_relaxed);
    BankSource& request = ws.requestedSource;
    describeRequestedSource(request);
    // A build from what one of the two banks was built from would make that
    // bank again (a state restored again, a preset of the same waves): that
    // bank plays, with its noise.
    if (const int built = ws.slotBuiltFrom(request); built >= 0) {
        ws.rebuildRequested.store(false, std::memory_order_relaxed);
        playBank(built);
        if (built != active) core.screenUpdatePending.set();
        return;
    }
    // The bank to fill: when other instances are changing theirs just now
    // and none is free, the build waits a tick as well.
    if (!ws.pitchTableBank.prepare(1 - active,
                                   bankRecipe(request.waveA, request.waveB, request.mode)))
        return;
    ws.rebuildRequested.store(false, std::memory_order_relaxed);
    ws.bankSource[1 - active] = request;
    ws.bankSource[1 - active].known = false; // until the build is finished
    ws.stagedSlotBuilds = ws.slotBuilds.load(std::memory_order_relaxed);
    ws.rebuildRunning = true;
    ws.rebuildStage = -1;
    setOscWaveTables(request);
    ws.rebuildStage = 0;
    ws.pitchTablesBusy = false;
}

// The recipe of a bank of factory waves a and b in mode, which instances
// playing the same share. A build that involves a user wave, or that keeps
// the frames of the last one (both waves noise), is this instance's own.
std::uint32_t APlugin::bankRecipe(int a, int b, int mode) {
    if (a >= kFirstUserWave || b >= kFirstUserWave || (isNoiseWave(a) && isNoiseWave(b)))
        return PitchBankSlots::kUnshared;
    return PitchBankSlots::recipe(a, b, std::clamp(mode, 0, 14));
}

// ------------------------------------------------------------------ a preset's tables off the
// audio thread

namespace {

// The values the preset application loads that the tables follow: waves A
// and B, the mode and the user waves' partials.
int preparedTag(int i) {
    if (i == 0) return tag::OscWaveA;
    if (i == 1) return tag::OscWaveB;
    if (i == 2) return tag::OscMode;
    return tag::partial(0, 0) + (i - 3);
}

} // namespace

// Main thread (or whichever thread chose or restored the preset): the
// tables of the program record as the application will load it, built whole
// into the slot the oscillator does not play. The audio thread is kept out
// of that slot meanwhile; a staged build of its own in that slot is given up.
// Without a free bank, or with both waves noise (whose frames are those of
// the last build), nothing is prepared and the application rebuilds as
// before.
void APlugin::prepareWaveTables(PresetLoad load) {
    WaveState& ws = waves;
    PreparedTables& pt = ws.prepared;
    std::lock_guard lock(ws.tableBuildMutex);
    pt.ready.store(false, std::memory_order_relaxed);

    for (int i = 0; i < PreparedTables::kValues; ++i) {
        const int t = preparedTag(i);
        const float v = getStoredValue(t);
        // As the application loads it into the value the engine reads.
        pt.values[i] = load == kPresetChosen ? normalizedValue(t, v) : clamp01(v);
    }
    pt.waveA = getSteppedValue(tag::OscWaveA, pt.values[0]);
    pt.waveB = getSteppedValue(tag::OscWaveB, pt.values[1]);
    pt.mode = getSteppedValue(tag::OscMode, pt.values[2]);
    if (isNoiseWave(pt.waveA) && isNoiseWave(pt.waveB)) return;

    for (int u = 0; u < kNumUserWaves; ++u) {
        float sum = 0.0f;
        for (int j = 0; j < kUserWavePartials; ++j) {
            TAdditive& partial = pt.userPartials[u][j];
            getWaveTablePartials(pt.values[3 + u * kUserWavePartials + j], partial.amplitude,
                                 partial.phase);
            pt.work.tempPartials[j] = partial;
            sum += partial.amplitude;
        }
        if (pt.waveA != kFirstUserWave + u && pt.waveB != kFirstUserWave + u) continue;
        userWaveFromTempPartials(pt.work, sum);
        pt.userTables[u] = pt.work.tempWaveTable;
    }

    // Either bank, when built from these waves already, is taken as it is.
    describeSource(
        pt.source, pt.waveA, pt.waveB, pt.mode,
        [&](int u) -> const WaveTable& { return pt.userTables[u]; },
        [&](int u, int j) { return pt.userPartials[u][j]; });
    if (const int built = ws.slotBuiltFrom(pt.source); built >= 0) {
        pt.slot = built;
        pt.ready.store(true, std::memory_order_release);
        return;
    }

    const int slot = 1 - ws.activeBank.load(std::memory_order_relaxed);
    if (!ws.pitchTableBank.prepare(slot, bankRecipe(pt.waveA, pt.waveB, pt.mode))) return;
    ws.slotBuilds.fetch_add(1, std::memory_order_relaxed);
    ws.bankSource[slot].known = false; // until the build is finished

    // The frames serve only the pitch tables: a finished bank shared by its
    // recipe (factory waves, so never both noise) needs neither.
    if (PitchTableBank* target = ws.pitchTableBank.writable(slot)) {
        const FrameRecipe recipe{pt.waveA, pt.waveB, pt.mode, &pt.userTables, &pt.userPartials};
        buildFrames(recipe, pt.frames, pt.work);
        writePitchTables(pt.frames, pt.work.fft, *target, 0, kNumPitchTables);
    }
    ws.bankSource[slot] = pt.source;
    ws.pitchTableBank.finish(slot);
    pt.slot = slot;
    pt.ready.store(true, std::memory_order_release);
}

// Audio thread, in the preset application once the record's values are
// loaded: the prepared tables become the ones the oscillator plays when
// they were built from those values; a staged build or a request still
// waiting is given up for them. False when there are none to take (then
// the application rebuilds as before).
bool APlugin::takePreparedTables() {
    WaveState& ws = waves;
    PreparedTables& pt = ws.prepared;
    std::unique_lock lock(ws.tableBuildMutex, std::try_to_lock);
    if (!lock.owns_lock()) return false; // a build for a later request is running
    if (!pt.ready.exchange(false, std::memory_order_acquire)) return false;
    for (int i = 0; i < PreparedTables::kValues; ++i)
        if (getCurrentValue(preparedTag(i)) != pt.values[i]) return false;

    // The user waves follow the same partials (a later request may rewrite
    // the prepared record as soon as the lock is free).
    ws.takenPartials = pt.userPartials;
    ws.cachedWaveA = pt.waveA;
    ws.cachedWaveB = pt.waveB;
    ws.cachedOscMode = pt.mode;
    ws.rebuildRequested.store(false, std::memory_order_relaxed);
    ws.rebuildStage = -1;
    ws.rebuildRunning = false;
    ws.pitchTablesBusy = false;
    playBank(pt.slot);
    return true;
}

bool APlugin::presetTablesReady() const {
    return waves.prepared.ready.load(std::memory_order_relaxed);
}

bool APlugin::tableRebuildRunning() const {
    return waves.rebuildRunning;
}

// Part of setGlobalRare: a new wave A, wave B or mode asks for a rebuild.
void APlugin::updateWaveTablesRare() {
    WaveState& ws = waves;
    const int a = getOscWave(tag::OscWaveA);
    const int b = getOscWave(tag::OscWaveB);
    const int mode = getOscMode();
    if (a != ws.cachedWaveA || b != ws.cachedWaveB || mode != ws.cachedOscMode) {
        ws.cachedWaveA = a;
        ws.cachedWaveB = b;
        ws.cachedOscMode = mode;
        requestTableRebuild();
    }
    const bool morphWrap = getOnOff(tag::MorphWrapOn);
    const bool subAboveHalf = getCurrentValue(tag::OscSubVolume) > 0.5f;
    if (morphWrap != ws.morphWrap || subAboveHalf != ws.subAboveHalf)
        for (VoiceState& voice : engine.voices) voice.dsp.invalidateCaches();
    ws.morphWrap = morphWrap;
    ws.subAboveHalf = subAboveHalf;
}
