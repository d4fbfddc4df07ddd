#pragma once

#include <limits>

#include "ryx/math/moving/statistic.h"

namespace ryx::math::moving {

// Moving maximum: the largest sample of the window (0 for an empty window).
// Keeps both extremes of the window for the channels built on it (min,
// peak_to_peak, offset, peak, freq). A NaN in the window makes both extremes NaN
// until it leaves.
// A derived channel: it belongs to its source channel, which deletes it. Its
// window is `time` seconds (see data.h).
class RYX_MATH_EXPORT max : public statistic<max, with_blocks<data, detail::extremes_head>>
{
    Q_OBJECT

public:
    max(ryx::analog_data* source, bool temporary);

    // The result over the window the cursor describes.
    static double value(const cursor& c)
    {
        return from_extremes(c, [](const detail::extremes& e) { return e.largest; });
    }

protected:
    // Largest and smallest sample of the window (-inf and +inf when it is empty,
    // both NaN while it holds a NaN).
    static detail::extremes extremes_of(const cursor& c)
    {
        detail::extremes e = detail::merge(c.tail_part(), c.head.e);
        if (e.nans > 0)
            e.largest = e.smallest = std::numeric_limits<double>::quiet_NaN();
        return e;
    }
    detail::extremes window_extremes() const { return extremes_of(m_blocks.view()); }
    // A result read off the window's extremes; 0 for an empty window.
    template <class Read>
    static double from_extremes(const cursor& c, Read read)
    {
        return c.count() == 0 ? 0.0 : read(extremes_of(c));
    }
};

} // namespace ryx::math::moving
