#pragma once

#include "ryx/math/moving/peak_to_peak.h"

namespace ryx::math::moving {

// Moving peak value: half the peak-to-peak range, (largest - smallest) / 2 (0 when empty).
class RYX_MATH_EXPORT peak : public peak_to_peak
{
    Q_OBJECT

public:
    peak(ryx::analog_data* source, bool temporary);
    ~peak() override;

public slots:
    double get_value() const override;

protected:
    void slide(double* first, double* last) override;

private:
    static double value(const extremes::cursor& c);
};

} // namespace ryx::math::moving
