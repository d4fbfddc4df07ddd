#pragma once

#include <limits>

#include "ryx/math/moving/blocks.h"
#include "ryx/math/moving/data.h"

namespace ryx::math::moving {

// Moving maximum: the largest sample of the window (0 for an empty window).
// Keeps both extremes of the window for the channels built on it (min,
// peak_to_peak, offset, peak, freq). A NaN in the window makes both extremes NaN
// until it leaves.
class RYX_MATH_EXPORT max : public data
{
    Q_OBJECT

public:
    max(ryx::analog_data* source, bool temporary);
    ~max() override;

public slots:
    void remove_value(double x) override;
    void add_value(double x) override;
    double get_value() const override;
    void reset_time() override;

protected:
    using extremes = detail::blocks<detail::extremes_head>;

    void slide(double* first, double* last) override;

    // Largest and smallest sample of the window (-inf and +inf when it is empty,
    // both NaN while it holds a NaN).
    static detail::extremes extremes_of(const extremes::cursor& c)
    {
        detail::extremes e = detail::merge(c.tail_part(), c.head.e);
        if (e.nans > 0)
            e.largest = e.smallest = std::numeric_limits<double>::quiet_NaN();
        return e;
    }
    detail::extremes window_extremes() const { return extremes_of(m_extremes.view()); }

    extremes m_extremes;

private:
    static double largest(const extremes::cursor& c)
    {
        return c.count() == 0 ? 0.0 : extremes_of(c).largest;
    }
};

// Inline so that the per-sample loops of the classes built on max inline them.
inline void max::remove_value(double)
{
    m_extremes.remove(ring(), static_cast<std::size_t>(position()));
}

inline void max::add_value(double x)
{
    m_extremes.add(x);
}

} // namespace ryx::math::moving
