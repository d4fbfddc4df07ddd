#pragma once

#include <complex>
#include <cstdint>
#include <vector>

#include "ryx/math/fftw/dbl.h"

namespace ryx::math::fftw {

// Cross-correlation of the two channels at lags 0 .. M-1 of resolution() s each:
//   y[m] = N / (beta G) x sum_n x0[n + m] x1[n]
// over the newest windowed frames of a pair (N points, G = N/2 + 1 lines, beta
// the window's mean coefficient); a channel 0 that lags channel 1 by d samples
// peaks at lag d.
//
// The settings key "time" (s, default 1) sets the longest lag: M = time x rate /
// 2 rounded half away from zero, within 1 .. max_lags. The analysers then run
// undecimated ("frequency" half the rate) with N = 4M - 2 points per frame, of
// which 3M - 1 are samples and M - 1 zeros ("samples" 2M - 1, "zeros" M - 1),
// keeping one frame ("average" 1), so that every lag is a linear, not a
// circular, correlation. Sources without a common device give no analysers and
// an empty result.
class RYX_MATH_EXPORT corr : public dbl
{
    Q_OBJECT

public:
    // N = 4M - 2 stays within the analysers' largest frame.
    static constexpr std::int32_t max_lags = static_cast<std::int32_t>(sngl::max_lines / 2);

    corr(ryx::analog_data* source_0, ryx::analog_data* source_1, QJsonObject settings);

    void update() override;
    // The lag step, 0.5 / frequency (1 / rate); 1 without analysers.
    double resolution() const override;
    std::int32_t lags() const { return m_lags; }

private:
    std::int32_t m_lags = 0;
    std::vector<std::complex<double>> m_cross; // the normalised cross spectrum Q
    std::vector<double> m_lagged;              // its inverse transform
};

} // namespace ryx::math::fftw
