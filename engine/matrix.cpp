// The modulation matrix: slot caches, the global matrix every 16 frames and
// the per-voice matrix in two halves (amounts on the voice's 16-frame tick,
// destination sums every frame).

#include "core/aplugin.h"
#include "core/numeric.h"

#include "engine/matrix.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace {

// x in whole cents as octaves, scaled by the amount; x is kept finite first.
float semitoneOffset(float x, float a) {
    const float cents = clampTo(x, -1000.0f, 1000.0f);
    return static_cast<float>(static_cast<int>(cents * 3600.0f)) * 0.01f * a / 12.0f;
}

} // namespace

// ------------------------------------------------------------------ slots

bool APlugin::isValidModSlot(int slot) {
    return slot >= 0 && slot < kUserModSlots;
}
bool APlugin::isValidMod(int slot) {
    return slot >= 0 && slot < kModSlots;
}
bool APlugin::isValidSrc(int source) {
    return source > src::None && source < src::Count;
}

// The destination that a slot routes to: slots 0..11 are the user slots,
// 12..15 the XY pad's.
int APlugin::getModDest(int slot) const {
    if (slot >= 0 && slot < tag::ModSlotCount) return getSteppedValue(tag::slotDest(slot));
    if (slot >= tag::ModSlotCount && slot < tag::ModSlotCount + tag::XYModCount)
        return getSteppedValue(tag::XYModDestFirst + slot - tag::ModSlotCount);
    return dst::None;
}

int APlugin::getModSrc(int slot) const {
    if (isValidModSlot(slot)) return getSteppedValue(tag::slotSource(slot));
    // The XY slots read X 1, Y 1, X 2, Y 2.
    if (isValidMod(slot)) return (slot - kUserModSlots) % 2 == 0 ? src::XYX : src::XYY;
    return src::None;
}

bool APlugin::getModSlotBypass(int slot) const {
    return isValidModSlot(slot) && getOnOff(tag::slotBypass(slot));
}
float APlugin::getModSlotAmt(int slot) const {
    return isValidModSlot(slot) ? getCurrentValue(tag::slotAmount(slot)) : 0.0f;
}
int APlugin::getModSlotSrc(int slot) const {
    return isValidModSlot(slot) ? getModSrc(slot) : 0;
}
int APlugin::getModSlotDest(int slot) const {
    return isValidModSlot(slot) ? getModDest(slot) : 0;
}

int APlugin::getDestTypeForSlot(int slot) const {
    if (!isValidModSlot(slot)) return 0;
    const int d = getModDest(slot);
    return d >= 0 && d < dst::Count ? destType[d] : 0;
}

void APlugin::setModDest(int slot, int dest) {
    if (isValidModSlot(slot))
        setSteppedValue(tag::slotDest(slot), dest);
    else if (isValidMod(slot))
        setSteppedValue(tag::XYModDestFirst + slot - kUserModSlots, dest);
}

void APlugin::setModSlotVar(int slot, bool bypass, float amount, int source, int dest) {
    if (!isValidModSlot(slot)) return;
    setParameter(tag::slotBypass(slot), bypass ? 1.0f : 0.0f);
    setParameter(tag::slotAmount(slot), amount);
    setSteppedValue(tag::slotSource(slot), source);
    setSteppedValue(tag::slotDest(slot), dest);
}

void APlugin::updateAutoTags() {}

// Part of setGlobalRare: which slots are active, and what they touch.
void APlugin::updateModSlotCache() {
    MatrixState& m = engine.matrix;
    // Everything cached follows from the slots' routings.
    bool same = true;
    for (int s = 0; s < kModSlots && same; ++s)
        same = getModSrc(s) == m.slots[s].source && getModDest(s) == m.slots[s].dest &&
               getModSlotBypass(s) == m.slots[s].bypass;
    if (same) return;
    MatrixState next;
    for (int s = 0; s < kModSlots; ++s) {
        ModSlotCache& slot = next.slots[s];
        slot.source = getModSrc(s);
        slot.dest = getModDest(s);
        slot.bypass = getModSlotBypass(s);
        slot.type =
            slot.dest > dst::None && slot.dest < dst::Count ? destType[slot.dest] : kDestPlain;
        if (slot.dest <= dst::None || slot.dest >= dst::Count || !isValidSrc(slot.source) ||
            slot.bypass)
            continue;
        next.active[next.activeCount++] = s;
        if (slot.type == kDestModAmount)
            next.amountSlots[next.amountCount++] = s;
        else
            next.applySlots[next.applyCount++] = s;
        next.destUsed[slot.dest] = true;
        next.sourceUsed[slot.source] = true;
    }
    next.freeLfoSourceUsed = next.sourceUsed[src::Free1Lfo] || next.sourceUsed[src::UniFree1Lfo] ||
                             next.sourceUsed[src::Free2Lfo] || next.sourceUsed[src::UniFree2Lfo];
    next.freeEnvelopeUsed = {next.sourceUsed[src::Free1Env] || next.sourceUsed[src::InvFree1Env],
                             next.sourceUsed[src::Free2Env] || next.sourceUsed[src::InvFree2Env]};
    bool changed = next.activeCount != m.activeCount;
    for (int s = 0; s < kModSlots && !changed; ++s)
        changed = next.slots[s].source != m.slots[s].source ||
                  next.slots[s].dest != m.slots[s].dest ||
                  next.slots[s].bypass != m.slots[s].bypass;
    if (!changed) return;
    next.generation = m.generation + 1;
    m = next;
    refreshListedSources();
    refreshInverseEnvelopeSources();
}

void APlugin::updateUsageFlags() {}

// ------------------------------------------------------------------ the global matrix

void APlugin::applyGlobalMatrix() {
    MatrixState& m = engine.matrix;
    ModRow& g = engine.global;
    // The sums start from the base values: all of them after a routing change
    // (a destination no slot targets any more goes back), else only those the
    // slots write, as the others are still at their base.
    if (m.globalBaseGeneration != m.generation) {
        g.dst = engine.destBase;
        m.globalBaseGeneration = m.generation;
    } else {
        for (int n = 0; n < m.activeCount; ++n) {
            const int d = m.slots[m.active[n]].dest;
            g.dst[d] = engine.destBase[d];
        }
    }
    for (int n = 0; n < m.amountCount; ++n) {
        const ModSlotCache& slot = m.slots[m.amountSlots[n]];
        const int s = m.amountSlots[n];
        const float a = clampTo(
            2.0f * getCurrentValue(MOD_AMT_TAGS[s]) - 1.0f + g.dst[DEST_MOD_AMT[s]], -1.0f, 1.0f);
        g.dst[slot.dest] += a * g.src[slot.source];
    }
    for (int n = 0; n < m.applyCount; ++n) {
        const int s = m.applySlots[n];
        const ModSlotCache& slot = m.slots[s];
        const float a = clampTo(
            2.0f * getCurrentValue(MOD_AMT_TAGS[s]) - 1.0f + g.dst[DEST_MOD_AMT[s]], -1.0f, 1.0f);
        const float x = g.src[slot.source];
        if (slot.type == kDestSpeed)
            g.dst[slot.dest] *= std::exp2(2.0f * x * a);
        else
            g.dst[slot.dest] += x * a;
    }
}

// ------------------------------------------------------------------ the per-voice matrix

static_assert([] {
    for (int t : MOD_AMT_TAGS)
        if (!tag::isValid(t)) return false;
    return true;
}());

// On the voice's 16-frame tick: amount modulation, then the slot amounts.
void APlugin::applyVoiceMatrixFirstHalf(int v) {
    const MatrixState& m = engine.matrix;
    VoiceState& voice = engine.voices[v];
    auto& dst = voice.mod.dst;
    if (voice.matrix.generation != m.generation) {
        // The routing changed: destinations no slot uses go back to rest.
        for (int d = 0; d < dst::Count; ++d)
            if (!m.destUsed[d]) dst[d] = engine.destBase[d];
        voice.matrix.generation = m.generation;
    }
    if (m.activeCount == 0) return;
    // With no slot on an amount destination the amounts are the knobs plus
    // the resting amount sums: while no value changed since they were made,
    // a pass would make the same amounts and leave the idle state as it is.
    const uint32_t changes = core.valueChanges.load(std::memory_order_acquire);
    const bool unmodulated = m.amountCount == 0 && !engine.render.controlPlan.everyFrame;
    if (unmodulated && voice.matrix.amountsValid && voice.matrix.amountChanges == changes &&
        voice.matrix.amountGeneration == m.generation)
        return;
    voice.matrix.amountsValid = unmodulated;
    voice.matrix.amountChanges = changes; // before the knobs are read
    voice.matrix.amountGeneration = m.generation;
    // Amount destinations start from rest at every tick (the per-frame half
    // resets them too, but it may be idle).
    for (int n = 0; n < m.amountCount; ++n) {
        const int d = m.slots[m.amountSlots[n]].dest;
        dst[d] = engine.destBase[d];
    }
    for (int n = 0; n < m.amountCount; ++n) {
        const int s = m.amountSlots[n];
        const ModSlotCache& slot = m.slots[s];
        const float a = clampTo(
            2.0f * getCurrentValue(MOD_AMT_TAGS[s]) - 1.0f + dst[DEST_MOD_AMT[s]], -1.0f, 1.0f);
        dst[slot.dest] += a * voice.mod.src[slot.source];
    }
    bool idle = true;
    const auto& knobs = core.values.currentValue; // the amount tags are valid tags
    for (int n = 0; n < m.activeCount; ++n) {
        const int s = m.active[n];
        const float a = 2.0f * loadRelaxed(knobs[MOD_AMT_TAGS[s]]) - 1.0f + dst[DEST_MOD_AMT[s]];
        voice.matrix.amount[s] = a;
        idle &= a == 0.0f || m.slots[s].type == kDestModAmount;
    }
    // With every amount at 0 the per-frame half would only rewrite the base
    // values; it is skipped once the sums are back at rest.
    if (idle && !voice.matrix.idle)
        for (int n = 0; n < m.applyCount; ++n) {
            const int d = m.slots[m.applySlots[n]].dest;
            dst[d] = engine.destBase[d];
        }
    voice.matrix.idle = idle;
}

// Every frame, over the listed voices: the destination sums follow the sources.
void APlugin::applyVoiceMatrixSecondHalf() {
    const MatrixState& m = engine.matrix;
    if (m.activeCount == 0) return;
    const RenderState& render = engine.render;
    // The listed voices whose sums move (the control stage keeps the plan).
    for (uint32_t moving = render.controlPlan.matrixFrames; moving != 0; moving &= moving - 1) {
        VoiceState& voice = engine.voices[render.activeVoices[std::countr_zero(moving)]];
        auto& dst = voice.mod.dst;
        const auto& src = voice.mod.src;
        for (int n = 0; n < m.activeCount; ++n) {
            const int d = m.slots[m.active[n]].dest;
            dst[d] = engine.destBase[d];
        }
        for (int n = 0; n < m.applyCount; ++n) {
            const int s = m.applySlots[n];
            const ModSlotCache& slot = m.slots[s];
            const float a = voice.matrix.amount[s];
            float x = src[slot.source];
            switch (slot.type) {
            case kDestVolume: {
                if (MOD_SOURCE_BIPOLAR[slot.source]) x = x * 0.5f + 0.5f;
                const float g = a > 0.000001f
                                    ? (1.0f - a) + a * x
                                    : (1.0f - std::fabs(a)) + std::fabs(a) * (1.0f - std::fabs(x));
                dst[slot.dest] *= g;
                break;
            }
            case kDestSemitone:
                dst[slot.dest] += semitoneOffset(x, a);
                break;
            case kDestSpeed:
                dst[slot.dest] *= std::exp2(2.0f * x * a);
                break;
            default:
                dst[slot.dest] += x * a;
                break;
            }
        }
    }
}
