#pragma once

#include <cfloat>
#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "ryx/core/units.h"
#include "ryx/math/mathFunctions.h"

namespace ryx::math::detail {

// |x|: the square root of the squared parts, within an ulp of the careful
// std::abs, which is taken only where the squares would overflow or underflow
// (and for 0 and NaN). std::abs alone costs several times the whole line.
inline double magnitude(std::complex<double> x)
{
    const double s = x.real() * x.real() + x.imag() * x.imag();
    if (s >= DBL_MIN && s <= DBL_MAX)
        return std::sqrt(s);
    return std::abs(x);
}

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
    const double m = magnitude(x);
    const double a = half == 0 ? m : m / static_cast<double>(half);
    return k == 0 || (transform_length % 2 == 0 && k == transform_length / 2) ? a * 0.5 : a;
}

// line_amplitude for lines [0, count): the magnitudes two lines at a time, then
// the scale, with the same roundings line by line.
inline void line_amplitudes(const std::complex<double>* x, double* out, std::size_t count,
                            std::uint64_t frame_length, std::uint64_t transform_length)
{
    std::size_t n = 0;
#if defined(__SSE2__)
    const __m128d low = _mm_set1_pd(DBL_MIN), high = _mm_set1_pd(DBL_MAX);
    int unusual = 0;
    for (; n + 2 <= count; n += 2) {
        const __m128d a = _mm_loadu_pd(reinterpret_cast<const double*>(x + n));
        const __m128d b = _mm_loadu_pd(reinterpret_cast<const double*>(x + n + 1));
        const __m128d aa = _mm_mul_pd(a, a), bb = _mm_mul_pd(b, b);
        const __m128d sum = _mm_add_pd(_mm_unpacklo_pd(aa, bb), _mm_unpackhi_pd(aa, bb));
        unusual |= _mm_movemask_pd(_mm_and_pd(_mm_cmpge_pd(sum, low), _mm_cmple_pd(sum, high))) ^ 3;
        _mm_storeu_pd(out + n, _mm_sqrt_pd(sum));
    }
    if (unusual) {
        for (std::size_t i = 0; i < n; ++i)
            out[i] = magnitude(x[i]);
    }
#endif
    for (; n < count; ++n)
        out[n] = magnitude(x[n]);
    const std::uint64_t half = frame_length / 2;
    if (half != 0) {
        const double d = static_cast<double>(half);
        for (std::size_t i = 0; i < count; ++i)
            out[i] /= d;
    }
    if (count > 0)
        out[0] *= 0.5;
    if (transform_length % 2 == 0 && transform_length / 2 < count && transform_length / 2 > 0)
        out[transform_length / 2] *= 0.5;
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
