#pragma once

#include "ryx/math/instant/max.h"

namespace ryx::math::instant {

// Smallest sample of the block.
class RYX_MATH_EXPORT min : public max
{
    Q_OBJECT

public:
    min(ryx::analog_data* source, const QJsonObject& settings);
    ~min() override;

protected:
    void calculate() override;
};

} // namespace ryx::math::instant
