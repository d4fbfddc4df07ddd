#pragma once

#include "ryx/math/moving/freq.h"

namespace ryx::math::moving {

// Moving period: 1 / the moving frequency, in seconds; 0 while that is 0.
class RYX_MATH_EXPORT period : public per_sample<period, freq>
{
    Q_OBJECT

public:
    period(ryx::analog_data* source, bool temporary);
    ~period() override;

public slots:
    double get_value() const override;

};

extern template class per_sample<period, freq>;

} // namespace ryx::math::moving
