// DC blocker: one-pole high-pass per lane, after the distortion.
//
// Units and calibration:
//   - Runs at twice the sample rate r, on both sub-samples of a lane.
//   - state := state (1 - c) + c y; y := y - state, with c = 60 / (2r): the
//     low-pass state follows the input with a corner of c * 2r / (2 pi) =
//     60 / (2 pi) = 9.55 Hz whatever the rate, and the output is what is
//     left above it (-3 dB near 9.5 Hz; a constant input decays to 0 with a
//     time constant of 1 / c sub-samples, 16.7 ms).
//   - c is clamped to 0..1, reached at r <= 30 Hz (c = 1 passes nothing:
//     the state equals the input). The accepted host rates 5..500000 Hz
//     give 6 (clamped to 1) .. 6e-5.
//   - The state is kept in double: in float the state stalls where c (y -
//     state) falls below half an ulp, leaving a DC residual of about
//     6e-8 / c (4e-5 at 44.1 kHz, 5e-4 at 500 kHz); in double a constant
//     input really decays to 0.
//   - A non-finite state (a NaN or inf input) is cleared to 0, so one bad
//     sample cannot silence the lane for good.
//
// Use: c = DCBlocker::coefficient(rate) once per rate change; per lane and
// sub-sample y = lane.dc.process(y, c); reset() with the lane. processPair()
// runs two lanes at once in one SSE2 double vector, processFour() four lanes
// in two (its coefficients from four(c), once per frame), with the same
// arithmetic.
#pragma once

#include <emmintrin.h>

#include <cmath>

class DCBlocker {
public:
    // c for the host sample rate (Hz); 1 for rates <= 30 Hz, 0 or NaN.
    static float coefficient(float sampleRate) {
        if (!(sampleRate > 30.0f)) return 1.0f;
        return 60.0f / (2.0f * sampleRate);
    }

    float process(float y, float c) {
        const double cd = c;
        double s = state_ * (1.0 - cd) + cd * y;
        s = std::fabs(s) <= 1.0e300 ? s : 0.0; // NaN and inf clear the state
        state_ = s;
        return static_cast<float>(y - s);
    }

    // Lanes a and b, both sub-samples in order: y0 and y1 hold sub-samples
    // 0 and 1 of a in their first float and of b in the second (the upper
    // two floats are ignored); the results come back in the first two.
    static void processPair(DCBlocker& a, DCBlocker& b, float c, __m128& y0, __m128& y1) {
        const __m128d cd = _mm_set1_pd(c);
        const __m128d keep = _mm_set1_pd(1.0 - static_cast<double>(c));
        const __m128d limit = _mm_set1_pd(1.0e300);
        const __m128d magnitude = _mm_castsi128_pd(_mm_set1_epi64x(0x7fffffffffffffffLL));
        __m128d s = _mm_setr_pd(a.state_, b.state_);
        auto step = [&](__m128& y) {
            const __m128d x = _mm_cvtps_pd(y);
            s = _mm_add_pd(_mm_mul_pd(s, keep), _mm_mul_pd(cd, x));
            s = _mm_and_pd(s, _mm_cmple_pd(_mm_and_pd(s, magnitude), limit));
            y = _mm_cvtpd_ps(_mm_sub_pd(x, s));
        };
        step(y0);
        step(y1);
        _mm_storel_pd(&a.state_, s);
        _mm_storeh_pd(&b.state_, s);
    }

    // What processFour() steps with for a coefficient c: prepared once for
    // any number of calls.
    struct Four {
        __m128d c, keep, limit, magnitude;
    };
    static Four four(float c) {
        return {_mm_set1_pd(c), _mm_set1_pd(1.0 - static_cast<double>(c)), _mm_set1_pd(1.0e300),
                _mm_castsi128_pd(_mm_set1_epi64x(0x7fffffffffffffffLL))};
    }

    // Four lanes, both sub-samples in order: lane k's sub-samples are float k
    // of y0 and y1, its blocker *lanes[k]. All four pointers must be valid;
    // only the blockers set in `take` (bit k: lane k) take their new state
    // (the other lanes are computed and left alone).
    [[gnu::always_inline]] static void processFour(DCBlocker* const* lanes, int take, const Four& k,
                                                   __m128& y0, __m128& y1) {
        __m128d lo = _mm_setr_pd(lanes[0]->state_, lanes[1]->state_);
        __m128d hi = _mm_setr_pd(lanes[2]->state_, lanes[3]->state_);
        const __m128d x0lo = _mm_cvtps_pd(y0), x0hi = _mm_cvtps_pd(_mm_movehl_ps(y0, y0));
        const __m128d x1lo = _mm_cvtps_pd(y1), x1hi = _mm_cvtps_pd(_mm_movehl_ps(y1, y1));
        lo = stepTwo(lo, x0lo, k);
        hi = stepTwo(hi, x0hi, k);
        y0 = _mm_movelh_ps(_mm_cvtpd_ps(_mm_sub_pd(x0lo, lo)), _mm_cvtpd_ps(_mm_sub_pd(x0hi, hi)));
        lo = stepTwo(lo, x1lo, k);
        hi = stepTwo(hi, x1hi, k);
        y1 = _mm_movelh_ps(_mm_cvtpd_ps(_mm_sub_pd(x1lo, lo)), _mm_cvtpd_ps(_mm_sub_pd(x1hi, hi)));
        if (take == 15) {
            _mm_storel_pd(&lanes[0]->state_, lo);
            _mm_storeh_pd(&lanes[1]->state_, lo);
            _mm_storel_pd(&lanes[2]->state_, hi);
            _mm_storeh_pd(&lanes[3]->state_, hi);
            return;
        }
        alignas(16) double state[4];
        _mm_store_pd(state, lo);
        _mm_store_pd(state + 2, hi);
        for (int k = 0; k < 4; ++k)
            if (take >> k & 1) lanes[k]->state_ = state[k];
    }

    void reset() { state_ = 0.0; }
    double state() const { return state_; }

private:
    // The new low-pass state of two lanes for their inputs x.
    [[gnu::always_inline]] static __m128d stepTwo(__m128d s, __m128d x, const Four& k) {
        s = _mm_add_pd(_mm_mul_pd(s, k.keep), _mm_mul_pd(k.c, x));
        return _mm_and_pd(s, _mm_cmple_pd(_mm_and_pd(s, k.magnitude), k.limit));
    }

    double state_ = 0.0;
};
