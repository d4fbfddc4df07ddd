#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ryx/math/detail/subnormal.h"

namespace ryx::math::instant::detail {

// Sums over a block that stay finite for finite samples of any magnitude.
// Each is first formed plainly, front to back; only when that overflows is it
// formed again of the samples times 2^-shift, an exact power of two, and
// returned with that exponent for the caller to rescale its result. A block
// holding an infinity or a NaN gives the plain sum, as before.
//
// A block has at most 2^23 samples (value::max_block): samples below 2^996
// (2^498 for squares and squared deviations) cannot make a sum overflow.

using iterator = std::vector<double>::const_iterator;
using math::detail::flushed;

// A sum of the samples times 2^-e (of their squares for a squared sum).
struct scaled_sum
{
    double s;
    int e;
};

// Sum of the samples.
inline scaled_sum sum(iterator first, iterator last)
{
    double s = 0.0;
    for (auto it = first; it != last; ++it)
        s += *it;
    if (std::isfinite(s))
        return {s, 0};
    double t = 0.0;
    for (auto it = first; it != last; ++it)
        t += *it * 0x1p-28;
    return std::isfinite(t) ? scaled_sum{t, 28} : scaled_sum{s, 0};
}

// The sum of a block's samples, fed run by run as they are written: sixteen
// partial sums, the sample at block position i going to partial sum i mod 16,
// added in a fixed order at the end. The additions run in packed lanes, the
// widest the processor offers, without a chain of dependent additions through
// every sample; and the result depends only on the block's contents, not on
// how the runs split it.
class lane_sum
{
public:
    static constexpr std::size_t lanes = 16;

    void clear()
    {
        for (double& l : m_lane)
            l = 0.0;
    }
    // Adds the n samples from x on, written at block positions from
    // `position` on.
    void add(const double* x, std::size_t position, std::size_t n);
    // The same, copying the samples to `to` (not overlapping x) in the same
    // read.
    void copy_add(const double* x, std::size_t position, std::size_t n, double* to);
    // The sum of the samples added since clear().
    double total() const;

    // Sum of the samples times `scale` in the same order, for a block lying
    // in order from position 0.
    static double of(iterator first, iterator last, double scale);

private:
    double m_lane[lanes] = {};
};

// The sum of a block through a lane_sum, scaled when the plain sum
// overflows, as sum() forms it.
inline scaled_sum lane_scaled(double plain, iterator first, iterator last)
{
    if (std::isfinite(plain))
        return {plain, 0};
    const double t = lane_sum::of(first, last, 0x1p-28);
    return std::isfinite(t) ? scaled_sum{t, 28} : scaled_sum{plain, 0};
}

// The sum itself (+-inf beyond the largest double), and the mean of n samples.
inline double unscaled(const scaled_sum& total)
{
    return total.e == 0 ? total.s : std::ldexp(total.s, total.e);
}

inline double mean(const scaled_sum& total, std::size_t n)
{
    const double m = total.s / static_cast<double>(n);
    return total.e == 0 ? m : std::ldexp(m, total.e);
}

// Sum of x^2 over the samples, front to back. A subnormal sample is read as 0:
// its square rounds to 0 all the same, but only after a slow multiplication.
inline double squared_sum(iterator first, iterator last)
{
    double s = 0.0;
    for (auto it = first; it != last; ++it) {
        const double x = flushed(*it);
        s += x * x;
    }
    return s;
}

inline scaled_sum scaled_squared_sum(iterator first, iterator last)
{
    const double s = squared_sum(first, last);
    if (std::isfinite(s))
        return {s, 0};
    double t = 0.0;
    for (auto it = first; it != last; ++it) {
        const double x = flushed(*it) * 0x1p-526;
        t += x * x;
    }
    return std::isfinite(t) ? scaled_sum{t, 526} : scaled_sum{s, 0};
}

// Sample variance (n - 1 denominator) in two passes, the mean first, subnormal
// samples read as 0; a variance beyond the largest double reads +inf.
inline double variance(iterator first, iterator last)
{
    const auto n = static_cast<std::int32_t>(last - first);
    const auto plain = [&](double scale) {
        double sum = 0.0;
        for (auto it = first; it != last; ++it)
            sum += flushed(*it) * scale;
        const double m = sum / n;
        double squares = 0.0;
        for (auto it = first; it != last; ++it) {
            const double d = flushed(*it) * scale - m;
            squares += d * d;
        }
        return squares / (n - 1);
    };
    const double v = plain(1.0);
    if (std::isfinite(v))
        return v;
    const double t = plain(0x1p-526);
    return std::isfinite(t) ? std::ldexp(t, 2 * 526) : v;
}

} // namespace ryx::math::instant::detail
