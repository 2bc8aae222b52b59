// Row refresh of the pink-noise generator (see pink_noise.h).

#include "engine/pink_noise.h"

namespace {

// New row value: one 0..1 draw, a quarter of it.
float rowDraw(RandSeed& rng) {
    return rng.nextUnipolar() * 0.25f;
}

} // namespace

void PinkNoise::refresh(RandSeed& rng) {
    const std::uint32_t low = counter_ & 0xFFu;
    if (low == 0) {
        float total = 0.0f;
        for (int r = 0; r < kRows; ++r) {
            rows_[r] = rowDraw(rng);
            total += rows_[r];
        }
        sum_ = total + rowDraw(rng); // the extra value lives in the sum only
        return;
    }
    int rows;
    if ((low & 0x3Fu) == 0)
        rows = 7;
    else if ((low & 0x2Fu) == 0)
        rows = 6; // c mod 64 = 16
    else if ((low & 0x1Fu) == 0)
        rows = 5; // c mod 64 = 32
    else if ((low & 0x0Fu) == 0)
        rows = 4; // c mod 64 = 48
    else if ((low & 7u) == 0)
        rows = 3;
    else if ((low & 3u) == 0)
        rows = 2;
    else
        rows = 1;
    for (int r = 0; r < rows; ++r) {
        const float fresh = rowDraw(rng);
        sum_ = (sum_ - rows_[r]) + fresh;
        rows_[r] = fresh;
    }
}
