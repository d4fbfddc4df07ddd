#pragma once

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace ryx::math::detail {

// Subnormal numbers (magnitudes below 2^-1022) send multiplications and
// divisions that read or produce them through a slow microcode path on many
// x86 processors, tens to hundreds of cycles each. The statistics avoid them
// without touching the thread's floating-point mode: sums read a subnormal
// sample as 0, and exact results (extremes, midpoints, medians) are formed
// without arithmetic that yields a subnormal.

// x, or 0 when x is subnormal. A sum of n samples so read differs from the
// exact one by less than n * 2^-1022: below 4e-301 for the 2^24 samples of the
// longest moving window and the 2^23 of the longest instant block.
inline double flushed(double x)
{
    return std::fabs(x) < DBL_MIN ? 0.0 : x;
}

// Half the smallest normal magnitude, 2^-1023, and ||x| - 2^-1023|, which is
// below it exactly when x is subnormal (0 < |x| < 2^-1022): a running minimum
// of it tells, without a branch, whether a run of samples holds one.
constexpr double half_min = DBL_MIN / 2;

inline double subnormal_distance(double x)
{
    return std::fabs(std::fabs(x) - half_min);
}

// s * 0.5 for |s| < 2^-1021, where the product is subnormal, exactly as the
// multiplication rounds it (to nearest, ties to even): there the bits of |s|,
// read as an integer, count units of 2^-1074 (in the subnormal range and in
// the lowest normal binade alike), so halving that integer, rounded to even,
// gives the product's bits. Out of line: the ordinary product stays the
// straight path of the callers' loops.
[[gnu::noinline, gnu::cold]] inline double half_of_tiny(double s)
{
    std::uint64_t bits;
    std::memcpy(&bits, &s, sizeof bits);
    const std::uint64_t sign = bits & (std::uint64_t(1) << 63);
    const std::uint64_t units = bits ^ sign;
    const std::uint64_t halved = (units >> 1) + (units & (units >> 1) & 1);
    bits = sign | halved;
    std::memcpy(&s, &bits, sizeof bits);
    return s;
}

// s * 0.5, exactly, without subnormal arithmetic.
inline double half(double s)
{
    if (__builtin_expect(std::fabs(s) < 0x1p-1021, 0))
        return half_of_tiny(s);
    return s * 0.5; // also infinities and NaN
}

} // namespace ryx::math::detail
