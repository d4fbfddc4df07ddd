#pragma once

#include "ryx/math/moving/blocks.h"
#include "ryx/math/moving/data.h"

namespace ryx::math::moving {

// Moving root mean square: sqrt(sum of x^2 / n) over the n samples of the
// window, so a constant c reads |c|; 0 for an empty window.
class RYX_MATH_EXPORT rms : public data
{
    Q_OBJECT

public:
    rms(ryx::analog_data* source, bool temporary);
    ~rms() override;

public slots:
    void remove_value(double x) override;
    void add_value(double x) override;
    double get_value() const override;
    void reset_time() override;

protected:
    void slide(double* first, double* last) override;

private:
    using sums = detail::blocks<detail::square_sum_head>;
    static double root_mean_square(const sums::cursor& c);

    sums m_squares;
};

} // namespace ryx::math::moving
