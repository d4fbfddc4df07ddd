#pragma once

#include "ryx/math/moving/var.h"

namespace ryx::math::moving {

// Moving standard deviation: the square root of the moving sample variance.
class RYX_MATH_EXPORT msd : public var
{
    Q_OBJECT

public:
    msd(ryx::analog_data* source, bool temporary);
    ~msd() override;

public slots:
    double get_value() const override;

protected:
    void slide(double* first, double* last) override;
};

} // namespace ryx::math::moving
