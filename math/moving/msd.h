#pragma once

#include <cmath>

#include "ryx/math/moving/var.h"

namespace ryx::math::moving {

// Moving standard deviation: the square root of the moving sample variance.
// A derived channel: it belongs to its source channel, which deletes it. Its
// window is `time` seconds (see data.h).
class RYX_MATH_EXPORT msd : public statistic<msd, var>
{
    Q_OBJECT

public:
    msd(ryx::analog_data* source, bool temporary);

    // The result over the window the cursor describes.
    static double value(const cursor& c);
};

// Inline, so that the run loop, which the statistic's vtable brings into every
// translation unit that needs it, inlines the rule.
inline double msd::value(const cursor& c)
{
    return std::sqrt(var::value(c));
}

} // namespace ryx::math::moving
