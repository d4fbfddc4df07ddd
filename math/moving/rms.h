#pragma once

#include <cmath>

#include "ryx/math/moving/statistic.h"

namespace ryx::math::moving {

// Moving root mean square: sqrt(sum of x^2 / n) over the n samples of the
// window, so a constant c reads |c|; 0 for an empty window. Subnormal samples
// count as 0, which moves the RMS by less than 2^-1022; the RMS of finite
// samples is always finite (see blocks.h).
// A derived channel: it belongs to its source channel, which deletes it. Its
// window is `time` seconds (see data.h).
class RYX_MATH_EXPORT rms : public statistic<rms, with_blocks<data, detail::square_sum_head>>
{
    Q_OBJECT

public:
    rms(ryx::analog_data* source, bool temporary);

    // The result over the window the cursor describes; Checked = false only
    // while no unusual sample is in the window (see blocks.h).
    template <bool Checked = true>
    static double value(const cursor& c);
};

// Inline, so that the run loop, which the statistic's vtable brings into every
// translation unit that needs it, inlines the rule.
template <bool Checked>
double rms::value(const cursor& c)
{
    const std::size_t n = c.count();
    if (n == 0)
        return 0.0;
    const detail::square_sum_head::part squares = detail::square_sum_head::merge<Checked>(c.tail_part(), c.head.p);
    const double r = std::sqrt(squares.s / static_cast<double>(n));
    return !Checked || squares.e == 0 ? r : std::ldexp(r, squares.e);
}

} // namespace ryx::math::moving
