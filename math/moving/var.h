#pragma once

#include "math/moving/avg.h"
#include "math/moving/blocks.h"

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
    void slide(double* first, double* last) override;
    double variance() const;

private:
    detail::blocks<detail::power_head<2>> m_moments;
};

// Inline so that the per-sample loop of msd inlines them too.
inline void var::remove_value(double)
{
    m_moments.remove(ring(), static_cast<std::size_t>(position()));
}

inline void var::add_value(double x)
{
    m_moments.add(x);
}

inline double var::variance() const
{
    const std::size_t n = m_moments.count();
    if (n < 2)
        return 0.0;
    const detail::moments m =
        detail::merge<2>(m_moments.tail(), static_cast<double>(m_moments.tail_count()), m_moments.head_summary(),
                         static_cast<double>(m_moments.head_count()), m_moments.inverse(n));
    return m.m2 * m_moments.inverse(n - 1);
}

} // namespace ryx::math::moving
