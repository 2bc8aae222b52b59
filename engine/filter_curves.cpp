#include "engine/filter_curves.h"

#include <cmath>
#include <numbers>

void FilterCurves::fill() {
    constexpr double kStep = 1.0 / kFilterCurveSize;
    constexpr double kPi = std::numbers::pi;
    for (int i = 0; i < kFilterCurveSize; ++i) {
        const double x = i * kStep;
        const double s = std::sin(kPi * x);
        const double c = std::cos(kPi * x);
        const double g = 2.0 * x * (1.0 - 2.0 * x) + 2.0 * x;
        const double y = 1.0 - 2.0 * x;

        FREQ[i] = static_cast<float>(20.0 * std::exp2(10.0 * x));
        SIN_HALF[i] = static_cast<float>(s);
        TAN_HALF[i] = static_cast<float>(s / (c + 0.0015));
        COT_HALF[i] = static_cast<float>(c / (s + 0.0015) + 1e-15);
        LADDER_P[i] = static_cast<float>(2.0 * g - 1.0);
        LADDER_R[i] = static_cast<float>(1.0 + 0.5 * y * (5.6 * y * y - y + 1.0));
        LADDER_G[i] = static_cast<float>(g);
    }
    // Entry 0 of three curves is fixed rather than the formula's value.
    COT_HALF[0] = 1.0f;
    LADDER_P[0] = -1.0f;
    LADDER_R[0] = 3.8f;
    LADDER_G[0] = 1e-15f;
}
