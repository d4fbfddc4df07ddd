#pragma once

#include "math/moving/blocks.h"
#include "math/moving/data.h"

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
    void slide(double* first, double* last) override;

    bool window_empty() const { return m_extremes.count() == 0; }
    // Largest and smallest sample of the window (-inf and +inf when it is empty).
    detail::extremes window_extremes() const
    {
        return detail::merge(m_extremes.tail(), m_extremes.head().e);
    }

private:
    detail::blocks<detail::extremes_head> m_extremes;
};

} // namespace ryx::math::moving
