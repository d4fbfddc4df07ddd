#pragma once

#include <cstddef>

#include "ryx/ryx_math_export.h"

namespace ryx::math::detail {

// The frame windows of the spectral analysers, one formula and one amplitude
// correction factor per window. n runs over 0 .. N-1 and every cosine term uses
// n / N: the windows are periodic over the N-point frame, so that a tone on a
// line leaves no leakage between frames. The stored values include the factor,
// which the analysers do not apply again.
//
// The codes are those of the block engine's `windows` enumeration; the
// acquisition analysers map their own integer codes onto them.
enum class window_kind : int {
    rectangular = 0,
    cosine = 1,
    hann = 2,
    bartlett_hann = 3,
    hamming = 4,
    blackman = 5,
    blackman_harris = 6,
    flattop = 7,
    half_rect = 8,
};

constexpr int window_kind_count = 9;

// The amplitude correction factor of a window (1 for half_rect, which has none).
RYX_MATH_EXPORT double window_factor(window_kind kind);

// The window's value at n of an N-point frame before its factor is applied.
RYX_MATH_EXPORT double window_raw(window_kind kind, std::size_t n, std::size_t count);

// Fills out[0 .. count) with the window, factor included: the values the block
// engine multiplies into each frame. half_rect is 1 for n < count / 2 (integer
// division) and 0 after, so every value is 0 when count < 2.
RYX_MATH_EXPORT void fill_window(window_kind kind, double* out, std::size_t count);

// The exponential window of the acquisition analysers: w[n] = decay^(n / (N - 1))
// = exp(ln(decay) n / (N - 1)), w[0] = 1; no correction factor. A decay at or
// below 0 (or NaN) is taken as the smallest positive normal double and an
// infinite one as the largest, so that every value is finite.
RYX_MATH_EXPORT void fill_exponential_window(double* out, std::size_t count, double decay);

} // namespace ryx::math::detail
