#pragma once

#include "ryx/math/instant/value.h"

namespace ryx::math::instant {

// Sample variance (n - 1 denominator) of the block's N samples. It is computed
// from the full block, so it does not depend on how the source's runs fall
// onto the block.
class RYX_MATH_EXPORT var : public value
{
    Q_OBJECT

public:
    var(ryx::analog_data* source, const QJsonObject& settings);
    ~var() override;

protected:
    void calculate() override;
};

} // namespace ryx::math::instant
