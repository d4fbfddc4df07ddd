#pragma once

#include "ryx/math/moving/max.h"

namespace ryx::math::moving {

// Moving minimum: the smallest sample of the window (0 for an empty window).
class RYX_MATH_EXPORT min : public max
{
    Q_OBJECT

public:
    min(ryx::analog_data* source, bool temporary);
    ~min() override;

public slots:
    double get_value() const override;

protected:
    void slide(double* first, double* last) override;

private:
    static double value(const extremes::cursor& c);
};

} // namespace ryx::math::moving
