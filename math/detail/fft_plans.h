#pragma once

#include <complex>
#include <cstddef>

#include "ryx/ryx_math_export.h"

namespace ryx::math::detail {

// Discrete Fourier transforms through FFTW plans made once per transform shape
// and kept: a plan costs from 4 to over 100 times the transform it computes, so
// a spectral analyser that made one per frame would spend its time planning.
//
// A shape is the kind of transform, its length, whether it runs in place and
// FFTW's alignment class of each array; a plan made for one shape computes
// exactly what a fresh plan on the caller's arrays would, bit for bit (both are
// made with FFTW_ESTIMATE, which chooses the same algorithm for the same shape).
// Planning happens under a lock; the transforms themselves run without one, on
// any thread, through FFTW's new-array execute functions. The cache keeps the
// most recently used shapes and frees its plans when the library unloads.
//
// No scaling is applied: a forward and a backward transform of length n
// multiply by n. Lengths below 1 do nothing.

// Real to half-complex: out[0 .. n/2] from in[0 .. n).
RYX_MATH_EXPORT void fft_r2c(int n, double* in, std::complex<double>* out);
// Half-complex to real: out[0 .. n) from in[0 .. n/2]; in is overwritten.
RYX_MATH_EXPORT void fft_c2r(int n, std::complex<double>* in, double* out);
// Complex, sign -1 (forward) or +1 (backward).
RYX_MATH_EXPORT void fft_c2c(int n, int sign, std::complex<double>* in, std::complex<double>* out);

// The same transforms through a plan made for this call alone and destroyed
// after it, as a reference for the cached path.
RYX_MATH_EXPORT void fft_r2c_fresh(int n, double* in, std::complex<double>* out);
RYX_MATH_EXPORT void fft_c2r_fresh(int n, std::complex<double>* in, double* out);
RYX_MATH_EXPORT void fft_c2c_fresh(int n, int sign, std::complex<double>* in, std::complex<double>* out);

// Number of plans the cache holds now.
RYX_MATH_EXPORT std::size_t fft_cached_plans();
// Most plans the cache keeps; the least recently used goes first.
constexpr std::size_t fft_plan_capacity = 48;

// Makes FFTW's planner safe to call from several threads; idempotent.
RYX_MATH_EXPORT void fft_thread_safe_planner();

} // namespace ryx::math::detail
