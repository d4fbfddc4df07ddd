#pragma once

#include <cmath>

#include "ryx/math/moving/avg.h"

namespace ryx::math::moving {

// Moving sample variance of the window: sum of (x - mean)^2 / (n - 1), 0 while
// the window holds fewer than 2 samples. Exact for the samples currently in the
// window: a window of equal samples reads 0. The window's moments replace the
// mean's running sum, which a variance channel never fills. Subnormal samples
// count as 0; samples of any finite magnitude give a finite variance whenever
// it is below the largest double.
// A derived channel: it belongs to its source channel, which deletes it. Its
// window is `time` seconds (see data.h).
class RYX_MATH_EXPORT var : public statistic<var, with_blocks<avg, detail::power_head<2>>>
{
    Q_OBJECT

public:
    var(ryx::analog_data* source, bool temporary);

    // The result over the window the cursor describes; Checked = false only
    // while no unusual sample is in the window (see blocks.h).
    template <bool Checked = true>
    static double value(const cursor& c);

protected:
    // The variance times 4^-e, where e is 0 unless the window's spread is beyond
    // 2^480 (see blocks.h), so that its square root is finite whenever the
    // standard deviation is.
    template <bool Checked>
    static double scaled(const cursor& c, int& e);
};

// Inline, so that the run loop, which the statistic's vtable brings into every
// translation unit that needs it, inlines the rule.
template <bool Checked>
double var::scaled(const cursor& c, int& e)
{
    const std::size_t n = c.count();
    e = 0;
    if (n < 2)
        return 0.0;
    const detail::power_sums<2> p = detail::merge<2, Checked>(c.tail_part(), c.head.p);
    e = Checked ? p.e : 0;
    return detail::central_moments<2>(p, static_cast<double>(n)).n_m2 * c.inverse[n] * c.inverse[n - 1];
}

template <bool Checked>
double var::value(const cursor& c)
{
    int e;
    const double v = scaled<Checked>(c, e);
    return e == 0 ? v : std::ldexp(v, 2 * e);
}

} // namespace ryx::math::moving
