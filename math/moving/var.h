#pragma once

#include "ryx/math/moving/avg.h"
#include "ryx/math/moving/blocks.h"

namespace ryx::math::moving {

// Moving sample variance of the window: sum of (x - mean)^2 / (n - 1), 0 while
// the window holds fewer than 2 samples. Exact for the samples currently in the
// window: a window of equal samples reads 0.
class RYX_MATH_EXPORT var : public avg
{
    Q_OBJECT

public:
    var(ryx::analog_data* source, bool temporary);
    ~var() override;

public slots:
    void remove_value(double x) override;
    void add_value(double x) override;
    double get_value() const override;
    void reset_time() override;

protected:
    using moments = detail::blocks<detail::power_head<2>>;

    void slide(double* first, double* last) override;
    static double variance(const moments::cursor& c);

    moments m_moments;
};

inline double var::variance(const moments::cursor& c)
{
    const std::size_t n = c.count();
    if (n < 2)
        return 0.0;
    const detail::moments m = detail::merge<2>(c.tail_part(), static_cast<double>(c.tail_count()), c.head_summary(),
                                               static_cast<double>(c.head_count), c.inverse[n]);
    return m.m2 * c.inverse[n - 1];
}

} // namespace ryx::math::moving
