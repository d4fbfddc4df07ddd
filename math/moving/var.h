#pragma once

#include "ryx/math/moving/avg.h"

namespace ryx::math::moving {

// Moving sample variance of the window: sum of (x - mean)^2 / (n - 1), 0 while
// the window holds fewer than 2 samples. Exact for the samples currently in the
// window: a window of equal samples reads 0. The window's moments replace the
// mean's running sum, which a variance channel never fills.
// A derived channel: it belongs to its source channel, which deletes it. Its
// window is `time` seconds (see data.h).
class RYX_MATH_EXPORT var : public statistic<var, with_blocks<avg, detail::power_head<2>>>
{
    Q_OBJECT

public:
    var(ryx::analog_data* source, bool temporary);

    // The result over the window the cursor describes.
    static double value(const cursor& c);
};

// Inline, so that the run loop, which the statistic's vtable brings into every
// translation unit that needs it, inlines the rule.
inline double var::value(const cursor& c)
{
    const std::size_t n = c.count();
    if (n < 2)
        return 0.0;
    const detail::moments m = detail::merge<2>(c.tail_part(), static_cast<double>(c.tail_count()), c.head_summary(),
                                               static_cast<double>(c.head_count), c.inverse[n]);
    return m.m2 * c.inverse[n - 1];
}

} // namespace ryx::math::moving
