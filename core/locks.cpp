// Section locks: the Play and Arp sections can be locked so that loading a
// preset leaves them as they are. While locked, a section's tags are read
// and edited through their locked copy; the engine's readers of lockable
// tags go through the lock-aware getters below.

#include "core/aplugin.h"

#include <cmath>

bool APlugin::validLockSection(int section) {
    return section == kLockPlay || section == kLockArp;
}

int APlugin::getLockState(int section) const {
    return validLockSection(section) ? core.lockState[section].load(std::memory_order_relaxed) : 0;
}

void APlugin::setLockState(int section, int state) {
    if (!validLockSection(section)) return;
    const int old = core.lockState[section].exchange(state, std::memory_order_relaxed);
    if (old == state) return;

    if (state == 1) {
        for (int t = 0; t < tag::Count; ++t)
            if (params.lockSection[t] == section)
                storeRelaxed(core.values.lockedValue[t], getParameter(t));
    }
    if (getLockState(section) == 2) {
        // Apply the held copy, then unlock. A section that was never locked
        // holds no copy worth applying (it would wipe the section), so it
        // is only unlocked.
        if (old == 1) {
            for (int t = 0; t < tag::Count; ++t)
                if (params.lockSection[t] == section)
                    setParameter(t, loadRelaxed(core.values.lockedValue[t]));
        }
        core.lockState[section].store(0, std::memory_order_relaxed);
    }
    core.valuesChanged();
    core.screenUpdatePending.set();
}

bool APlugin::getTagLocked(int t) const {
    return isValidTag(t) && getLockState(params.lockSection[t]) != 0;
}

int APlugin::getLockSteppedValue(int t) const {
    if (!isValidTag(t) || params.steppedNum[t] < 0) return 0;
    if (!getTagLocked(t)) return getSteppedValue(t);
    return getSteppedValue(loadRelaxed(core.values.lockedValue[t]), params.steppedRange[t],
                           params.steppedNum[t]);
}

void APlugin::setLockVar(int t, float value) {
    if (!isValidTag(t) || params.lockSection[t] == kLockNone || std::isnan(value)) return;
    if (!getTagLocked(t)) setParameterAutomated(t, value);
    storeRelaxed(core.values.lockedValue[t], value < 0.0f ? 0.0f : (value > 1.0f ? 1.0f : value));
    core.valuesChanged();
}

bool APlugin::getPlayLocked() const {
    return getLockState(kLockPlay) != 0;
}
bool APlugin::getArpLocked() const {
    return getLockState(kLockArp) != 0;
}
bool APlugin::getArpOrPlayLocked() const {
    return getPlayLocked() || getArpLocked();
}
