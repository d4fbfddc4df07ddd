#pragma once

#include "ryx/math/moving/blocks.h"
#include "ryx/math/moving/data.h"

namespace ryx::math::moving {

// Moving mean: the sum of the window's samples divided by their number.
class RYX_MATH_EXPORT avg : public data
{
    Q_OBJECT

public:
    avg(ryx::analog_data* source, bool temporary);
    ~avg() override;

public slots:
    void remove_value(double x) override;
    void add_value(double x) override;
    double get_value() const override;
    void reset_time() override;

protected:
    void slide(double* first, double* last) override;

private:
    using sums = detail::blocks<detail::sum_head>;
    static double mean(const sums::cursor& c);

    sums m_sum;
};

} // namespace ryx::math::moving
