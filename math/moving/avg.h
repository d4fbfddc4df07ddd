#pragma once

#include <cmath>

#include "ryx/math/moving/statistic.h"

namespace ryx::math::moving {

// Moving mean: the sum of the window's samples divided by their number; 0 for
// an empty window. Subnormal samples count as 0, which moves the mean by less
// than 2^-1022; any mean of finite samples is finite (see blocks.h).
// A derived channel: it belongs to its source channel, which deletes it. Its
// window is `time` seconds (see data.h).
class RYX_MATH_EXPORT avg : public statistic<avg, with_blocks<data, detail::sum_head>>
{
    Q_OBJECT

public:
    avg(ryx::analog_data* source, bool temporary);

    // The result over the window the cursor describes; Checked = false only
    // while no unusual sample is in the window (see blocks.h).
    template <bool Checked = true>
    static double value(const cursor& c);
};

// Inline, so that the run loop, which the statistic's vtable brings into every
// translation unit that needs it, inlines the rule.
template <bool Checked>
double avg::value(const cursor& c)
{
    const std::size_t n = c.count();
    if (n == 0)
        return 0.0;
    const detail::sum_head::part sum = detail::sum_head::merge<Checked>(c.tail_part(), c.head.p);
    // Times the reciprocal from the table, not divided: the result differs
    // from the quotient by an ulp at most.
    const double mean = sum.s * c.inverse[n];
    return !Checked || sum.e == 0 ? mean : std::ldexp(mean, sum.e);
}

} // namespace ryx::math::moving
