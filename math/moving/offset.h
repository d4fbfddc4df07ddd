#pragma once

#include "ryx/math/moving/peak_to_peak.h"

namespace ryx::math::moving {

// Moving offset: the midpoint (largest + smallest) / 2 of the window (0 when empty).
class RYX_MATH_EXPORT offset : public peak_to_peak
{
    Q_OBJECT

public:
    offset(ryx::analog_data* source, bool temporary);
    ~offset() override;

public slots:
    double get_value() const override;

protected:
    void slide(double* first, double* last) override;

private:
    static double value(const extremes::cursor& c);
};

} // namespace ryx::math::moving
