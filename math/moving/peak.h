#pragma once

#include "ryx/math/moving/peak_to_peak.h"

namespace ryx::math::moving {

// Moving peak: half the peak to peak, (largest - smallest) / 2, of the window
// (0 for an empty window).
// A derived channel: it belongs to its source channel, which deletes it. Its
// window is `time` seconds (see data.h).
class RYX_MATH_EXPORT peak : public statistic<peak, peak_to_peak>
{
    Q_OBJECT

public:
    peak(ryx::analog_data* source, bool temporary);

    // The result over the window the cursor describes.
    static double value(const cursor& c);
};

// Inline, so that the run loop, which the statistic's vtable brings into every
// translation unit that needs it, inlines the rule.
inline double peak::value(const cursor& c)
{
    return from_extremes(c, [](const detail::extremes& e) { return detail::half(e.largest - e.smallest); });
}

} // namespace ryx::math::moving
