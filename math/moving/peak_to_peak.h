#pragma once

#include "ryx/math/moving/max.h"

namespace ryx::math::moving {

// Moving peak-to-peak value: largest - smallest sample of the window (0 when empty).
class RYX_MATH_EXPORT peak_to_peak : public max
{
    Q_OBJECT

public:
    peak_to_peak(ryx::analog_data* source, bool temporary);
    ~peak_to_peak() override;

public slots:
    double get_value() const override;

protected:
    void slide(double* first, double* last) override;

private:
    static double value(const extremes::cursor& c);
};

} // namespace ryx::math::moving
