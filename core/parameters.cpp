// Parameter values and the rules for editing them.
//
// setParameter is the single write path: it keeps the current, stored and
// edited copies of a tag equal, tracks whether the loaded preset has been
// edited and hands the value to an open editor. It may run on the host's
// main thread, its automation thread or the audio thread, so it never
// allocates or blocks; the copies are accessed with relaxed atomics.

#include "core/aplugin.h"
#include "core/modes.h"
#include "core/numeric.h"

#include "editor/ueditor.h"

#include <cmath>

namespace {

constexpr float kEditEpsilon = 0.0001f;

} // namespace

// ------------------------------------------------------------------ metadata readers

float APlugin::getDefaultValue(int t) const {
    return isValidTag(t) ? params.defaultValue[t] : 0.0f;
}
int APlugin::getSteppedNum(int t) const {
    return isValidTag(t) ? params.steppedNum[t] : -1;
}
float APlugin::getSteppedRange(int t) const {
    return isValidTag(t) ? params.steppedRange[t] : 1.0f;
}
int APlugin::getTagDest(int t) const {
    return isValidTag(t) ? params.tagDest[t] : 0;
}
int APlugin::getLockedSectionForTag(int t) const {
    return isValidTag(t) ? params.lockSection[t] : kLockNone;
}

// ------------------------------------------------------------------ the write and read paths

void APlugin::setParameter(VstInt32 t, float value) {
    if (!isValidTag(t)) return;
    // What the value plays as is stored: within 0..1, a switch at one end,
    // and not a number as 0, as a restored state stores it.
    const float v = normalizedValue(t, value);

    ParamValues& pv = core.values;
    if (t == tag::PlayMode) rememberPlayModeLeft(getSteppedValue(t, v));
    // Only a host writes this tag, when it restores a state value by value.
    if (t == tag::ApplyPreset && !core.settingPreset) requestPresetApplication(kPresetRestore);
    storeRelaxed(pv.currentValue[t], v);
    storeRelaxed(storedProgram().values[t], v);
    storeRelaxed(pv.editValue[t], v);
    core.valuesChanged();

    if (t == tag::OscWaveA || t == tag::OscWaveB || t == tag::OscMorph) core.previewPlay.clear();
    // The notes play the tuning the switch and name hold, whenever they are
    // written: the file worker reads it. A host restoring a state value by
    // value writes them after 997; the application waits for the table of a
    // tuning switched on.
    if (t == tag::HasTuning || (t >= tag::TuningNameFirst && t <= tag::TuningNameLast))
        askForTuningTags();
    if (t == tag::TakeOver) takeOverCurrentValues();

    if (params.editTracked[t] && std::fabs(v - loadRelaxed(pv.lastEditValue[t])) > kEditEpsilon) {
        storeRelaxed(pv.lastEditValue[t], v);
        const float orig = loadRelaxed(pv.origValue[t]);
        if (orig > -0.5f && std::fabs(v - orig) > kEditEpsilon) core.editChanged.set();
    }

    if (t == tag::PlayMode) core.playModeWritten.store(true, std::memory_order_release);
    if (t == tag::ArpOn) core.arpSwitchWritten.store(true, std::memory_order_release);

    if (editorShowsTag(t) && editorIsShowing()) getUEditor()->setParameter(t, v);
}

void APlugin::setParameterAutomated(VstInt32 t, float value) {
    AudioEffectX::setParameterAutomated(t, value);
    if (t == tag::PlayMode || t == tag::ArpOn) makePlayModeAgree(t, true);
}

// ------------------------------------------------------------------ play mode and Arp switch

void APlugin::makePlayModeAgree(int changed, bool automated) {
    if (getArpOrPlayLocked()) return;
    const bool arpMode = getSteppedValue(tag::PlayMode) == playmode::Arp;
    const bool switchOn = getOnOff(tag::ArpOn);
    if (arpMode == switchOn) return;
    int t = tag::ArpOn;
    float v = arpMode ? 1.0f : 0.0f;
    if (changed == tag::ArpOn) {
        t = tag::PlayMode;
        v = ParamTable::stepToValue(switchOn ? playmode::Arp : getSavedPlayMode(),
                                    params.steppedRange[tag::PlayMode]);
    } else if (changed != tag::PlayMode) {
        return;
    }
    if (automated)
        setParameterAutomated(t, v);
    else
        setParameter(t, v);
}

// Before the play mode becomes `next`: leaving another mode for the
// arpeggiator remembers that mode.
void APlugin::rememberPlayModeLeft(int next) {
    const int now = getSteppedValue(tag::PlayMode);
    if (next == playmode::Arp && now != playmode::Arp)
        core.savedPlayMode.store(now, std::memory_order_relaxed);
}

int APlugin::getSavedPlayMode() const {
    const int step = core.savedPlayMode.load(std::memory_order_relaxed);
    return step >= 0 && step < playmode::Count && step != playmode::Arp ? step : playmode::Poly;
}

void APlugin::agreePlayModeAfterWrites() {
    if (!core.playModeWritten.load(std::memory_order_relaxed) &&
        !core.arpSwitchWritten.load(std::memory_order_relaxed))
        return;
    const bool mode = core.playModeWritten.exchange(false, std::memory_order_acquire);
    const bool arpSwitch = core.arpSwitchWritten.exchange(false, std::memory_order_acquire);
    if (mode == arpSwitch || core.presetPending || core.settingPreset) return;
    const bool before = getOnOff(tag::ArpOn);
    const int beforeStep = getSteppedValue(tag::PlayMode);
    // Its own write leaves a mark that the next check finds in agreement.
    makePlayModeAgree(mode ? tag::PlayMode : tag::ArpOn, false);
    // The host shows the value that followed.
    if (getOnOff(tag::ArpOn) != before || getSteppedValue(tag::PlayMode) != beforeStep)
        requestHostDisplayUpdate();
}

void APlugin::takeOverCurrentValues() {
    ParamValues& pv = core.values;
    for (int i = 0; i < tag::Count; ++i) {
        const float c = loadRelaxed(pv.currentValue[i]);
        storeRelaxed(pv.editValue[i], c);
        storeRelaxed(pv.origValue[i], c);
        storeRelaxed(pv.lastEditValue[i], c);
    }
    core.editChanged.clear();
}

float APlugin::normalizedValue(int t, float value) const {
    if (std::isnan(value)) value = 0.0f;
    const float v = clamp01(value);
    if (isValidTag(t) && params.isSwitch[t]) return v < 0.5f ? 0.0f : 1.0f;
    return v;
}

float APlugin::getParameter(VstInt32 t) {
    if (!isValidTag(t)) return 0.0f;
    const float v = loadRelaxed(storedProgram().values[t]);
    return std::isnan(v) ? 0.0f : clamp01(v);
}

float APlugin::getStoredValue(int t) const {
    return isValidTag(t) ? loadRelaxed(storedProgram().values[t]) : 0.0f;
}

// ------------------------------------------------------------------ steps and switches

int APlugin::getSteppedValue(int t, float value) const {
    if (!isValidTag(t) || params.steppedNum[t] < 0) return 0;
    return getSteppedValue(value, params.steppedRange[t], params.steppedNum[t]);
}

void APlugin::setSteppedValue(int t, int step, float range, int count) {
    if (!isValidTag(t) || count < 1 || !(range > 0.0f)) return;
    if (step < 0) step = 0;
    if (step > count - 1) step = count - 1;
    setParameterAutomated(t, ParamTable::stepToValue(step, range));
}

void APlugin::setSteppedValue(int t, int step) {
    if (!isValidTag(t) || params.steppedNum[t] < 0) return;
    setSteppedValue(t, step, params.steppedRange[t], params.steppedNum[t]);
}

void APlugin::setSteppedValueMax(int t) {
    if (!isValidTag(t) || params.steppedNum[t] < 0) return;
    const int last = params.steppedNum[t] - 1;
    setSteppedValue(t, last > 0 ? last : 0);
}

void APlugin::setOnOff(int t, bool on) {
    if (isValidTag(t)) setParameterAutomated(t, on ? 1.0f : 0.0f);
}

void APlugin::toggleValue(int t) {
    if (isValidTag(t)) setParameterAutomated(t, getCurrentValue(t) >= 0.5f ? 0.0f : 1.0f);
}

// ------------------------------------------------------------------ default, loaded and zero
// values

void APlugin::setToDefault(int t) {
    if (isValidTag(t)) setParameterAutomated(t, params.defaultValue[t]);
}

void APlugin::setToDefaultRange(int first, int last) {
    if (!isValidTag(first) || !isValidTag(last) || first > last) return;
    for (int t = first; t <= last; ++t) setToDefault(t);
}

float APlugin::getOrigValue(int t) const {
    return isValidTag(t) ? loadRelaxed(core.values.origValue[t]) : 0.0f;
}

void APlugin::setToOrig(int t) {
    if (isValidTag(t)) setParameterAutomated(t, getOrigValue(t));
}

void APlugin::setZeroValue(int t) {
    if (isValidTag(t)) setParameter(t, params.zeroValue[t]);
}

// ------------------------------------------------------------------ copy and swap (plain writes)

void APlugin::copyParameter(int from, int to) {
    if (isValidTag(from) && isValidTag(to)) setParameter(to, getParameter(from));
}

void APlugin::copyParameterRange(int from, int to, int count) {
    for (int i = 0; i < count; ++i) copyParameter(from + i, to + i);
}

void APlugin::copyParameterToRange(int from, int first, int last) {
    if (!isValidTag(from) || first > last) return;
    if (first < 0) first = 0;
    if (last > tag::Count - 1) last = tag::Count - 1;
    for (int t = first; t <= last; ++t) copyParameter(from, t);
}

void APlugin::swapParameter(int a, int b) {
    if (!isValidTag(a) || !isValidTag(b)) return;
    const float va = getParameter(a);
    const float vb = getParameter(b);
    setParameter(a, vb);
    setParameter(b, va);
}

void APlugin::swapParameterRange(int a, int b, int count) {
    for (int i = 0; i < count; ++i) swapParameter(a + i, b + i);
}
