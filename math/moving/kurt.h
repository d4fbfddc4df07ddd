#pragma once

#include <cstdint>

#include "ryx/math/moving/avg.h"

namespace ryx::math::moving {

// Moving excess kurtosis of the window, with the sample-size correction:
// ((n^2 - 1) / ((n - 2)(n - 3))) (m4 / m2^2 - 3 + 6 / (n + 1)); 0 while the
// window holds fewer than 4 samples or its samples are all equal. Subnormal
// samples count as 0; finite samples of any magnitude give a finite result.
// A derived channel: it belongs to its source channel, which deletes it. Its
// window is `time` seconds (see data.h).
class RYX_MATH_EXPORT kurt : public statistic<kurt, with_blocks<avg, detail::power_head<4>>>
{
    Q_OBJECT

public:
    kurt(ryx::analog_data* source, bool temporary);

    // The result over the window the cursor describes; Checked = false only
    // while no unusual sample is in the window (see blocks.h).
    template <bool Checked = true>
    static double value(const cursor& c);
};

// Inline, so that the run loop, which the statistic's vtable brings into every
// translation unit that needs it, inlines the rule.
template <bool Checked>
double kurt::value(const cursor& c)
{
    const std::uint64_t n = c.count();
    if (n < 4)
        return 0.0;
    const double count = static_cast<double>(n);
    const detail::central m = detail::central_moments<4>(detail::merge<4, Checked>(c.tail_part(), c.head.p), count);
    if (m.n_m2 == 0.0)
        return 0.0;
    const double upper = static_cast<double>(n * n - 1);
    // (n^2 - 1) / ((n - 2)(n - 3)) and 6 / (n + 1) from the reciprocal table:
    // the only division left per sample is the one by (n M2)^2.
    const double factor = upper * c.inverse[n - 2] * c.inverse[n - 3];
    // m4 / m2^2 with both moments over n: n^3 M4 / (n M2)^2.
    return factor * (m.n3_m4 / (m.n_m2 * m.n_m2) - 3.0 + 6.0 * c.inverse[n + 1]);
}

} // namespace ryx::math::moving
