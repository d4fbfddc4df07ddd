#pragma once

#include <cmath>
#include <complex>
#include <cstdint>

#include "ryx/core/units.h"
#include "ryx/math/mathFunctions.h"

namespace ryx::math::detail {

// The amplitude that line k of an unscaled real transform stands for, the
// frame holding `frame_length` samples (zero-padded to `transform_length`
// points): |X| / (frame_length / 2) (integer half), and half of that on line 0
// and on the line at transform_length / 2 of an even transform, whose energy is
// not shared with a mirror line. A sine of amplitude A on a line then reads
// A x c, and a DC offset D reads D x c, c the window's calibration (its
// correction factor times the mean of its raw values).
inline double line_amplitude(std::complex<double> x, std::uint64_t k, std::uint64_t frame_length,
                             std::uint64_t transform_length)
{
    const std::uint64_t half = frame_length / 2;
    const double a = half == 0 ? std::abs(x) : std::abs(x) / static_cast<double>(half);
    return k == 0 || (transform_length % 2 == 0 && k == transform_length / 2) ? a * 0.5 : a;
}

// An amplitude in a channel's unit: linear, dB re the channel's reference, or
// RMS (amplitude / sqrt 2).
inline double in_unit(ryx::units unit, double reference, double amplitude)
{
    switch (unit) {
    case ryx::units::dB: return mathFunctions::dB(reference, amplitude);
    case ryx::units::rms: return amplitude / 1.4142135623730951;
    default: return amplitude;
    }
}

} // namespace ryx::math::detail
