#pragma once

#include "ryx/math/instant/max.h"

namespace ryx::math::instant {

// Largest minus smallest sample of the block.
class RYX_MATH_EXPORT peak_to_peak : public max
{
    Q_OBJECT

public:
    peak_to_peak(ryx::analog_data* source, const QJsonObject& settings);
    ~peak_to_peak() override;

protected:
    void calculate() override;
};

} // namespace ryx::math::instant
