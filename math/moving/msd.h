#pragma once

#include <cmath>

#include "ryx/math/moving/var.h"

namespace ryx::math::moving {

// Moving standard deviation: the square root of the moving sample variance,
// finite for finite samples even where the variance itself is too large for a
// double.
// A derived channel: it belongs to its source channel, which deletes it. Its
// window is `time` seconds (see data.h).
class RYX_MATH_EXPORT msd : public statistic<msd, var>
{
    Q_OBJECT

public:
    msd(ryx::analog_data* source, bool temporary);

    // The result over the window the cursor describes; Checked = false only
    // while no unusual sample is in the window (see blocks.h).
    template <bool Checked = true>
    static double value(const cursor& c);
};

// Inline, so that the run loop, which the statistic's vtable brings into every
// translation unit that needs it, inlines the rule.
template <bool Checked>
double msd::value(const cursor& c)
{
    int e;
    const double d = std::sqrt(scaled<Checked>(c, e));
    return e == 0 ? d : std::ldexp(d, e);
}

} // namespace ryx::math::moving
