#pragma once

#include "ryx/math/instant/value.h"

namespace ryx::math::instant {

// Sum of the block's samples. Between block ends, value reads the sum of the
// block's current contents (the new samples and those not yet overwritten).
class RYX_MATH_EXPORT sum : public value
{
    Q_OBJECT

public:
    sum(ryx::analog_data* source, const QJsonObject& settings);
    ~sum() override;

protected:
    void before_copying_data(iterator first, iterator last) override;
    void after_copying_data(iterator first, iterator last) override;
    void calculate() override;
};

} // namespace ryx::math::instant
