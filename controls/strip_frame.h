// The frame of a film strip that shows a whole percent: the vertical slider
// draws the frame of the percent its value text shows, and the artwork that
// paints marks on a strip places each mark on its percent's frame with the
// same rule, so a mark stands at the index exactly when the text names it.
#pragma once

#include "core/numeric.h"

// Percent p (0..100) of count frames: p x (count - 1) / 100, lowered to a
// whole frame. From 101 frames on no two percents share a frame.
inline int stripFrame(int percent, int count) {
    if (count < 1) return 0;
    return clampTo(percent, 0, 100) * (count - 1) / 100;
}
