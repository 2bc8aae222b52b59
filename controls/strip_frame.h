// The frame of a film strip that a value shows, for strips whose frames are
// frameStep pixels apart: the vertical slider draws that frame, and the
// artwork that paints marks on a strip places them with the same rule, so a
// mark stands at the index exactly when the value it names is set.
#pragma once

#include <cmath>

// range = frameStep x (count - 1) pixels; the value's pixel offset is
// truncated, then lowered to a whole frame.
inline int stripFrame(float value, double frameStep, int count) {
    if (!(value >= 0.0f) || !(frameStep > 0.0) || count < 1) return 0;
    const double y = std::trunc(frameStep * (count - 1) * value);
    return y < frameStep ? 0 : static_cast<int>(std::floor(y / frameStep));
}
