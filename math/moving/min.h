#pragma once

#include "ryx/math/moving/max.h"

namespace ryx::math::moving {

// Moving minimum: the smallest sample of the window (0 for an empty window).
// A derived channel: it belongs to its source channel, which deletes it. Its
// window is `time` seconds (see data.h).
class RYX_MATH_EXPORT min : public statistic<min, max>
{
    Q_OBJECT

public:
    min(ryx::analog_data* source, bool temporary);

    // The result over the window the cursor describes.
    static double value(const cursor& c);
};

// Inline, so that the run loop, which the statistic's vtable brings into every
// translation unit that needs it, inlines the rule.
inline double min::value(const cursor& c)
{
    return from_extremes(c, [](const detail::extremes& e) { return e.smallest; });
}

} // namespace ryx::math::moving
