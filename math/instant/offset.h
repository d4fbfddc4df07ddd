#pragma once

#include "ryx/math/instant/peak_to_peak.h"

namespace ryx::math::instant {

// Midpoint of the block's extremes: (largest + smallest) / 2.
class RYX_MATH_EXPORT offset : public peak_to_peak
{
    Q_OBJECT

public:
    offset(ryx::analog_data* source, const QJsonObject& settings);
    ~offset() override;

protected:
    void calculate() override;
};

} // namespace ryx::math::instant
