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

private:
    detail::blocks<detail::power_head<2>> m_moments;
};

} // namespace ryx::math::moving
