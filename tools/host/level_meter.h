// Peak and RMS over everything rendered, all channels together.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace ondix::host {

class LevelMeter {
public:
    void add(const float* samples, size_t count) {
        for (size_t i = 0; i < count; ++i) {
            double s = samples[i];
            if (!std::isfinite(s)) {
                ++nonFinite_;
                continue;
            }
            double magnitude = std::fabs(s);
            if (magnitude > peak_) peak_ = magnitude;
            sumSquares_ += s * s;
        }
        count_ += count;
    }

    double peak() const { return peak_; }
    double rms() const { return count_ > 0 ? std::sqrt(sumSquares_ / count_) : 0.0; }
    uint64_t nonFinite() const { return nonFinite_; }
    uint64_t samples() const { return count_; }

private:
    double peak_ = 0.0;
    double sumSquares_ = 0.0;
    uint64_t count_ = 0;
    uint64_t nonFinite_ = 0;
};

} // namespace ondix::host
