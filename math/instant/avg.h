#pragma once

#include "ryx/math/instant/value.h"

namespace ryx::math::instant {

// Mean of the block's samples.
class RYX_MATH_EXPORT avg : public value
{
    Q_OBJECT

public:
    avg(ryx::analog_data* source, const QJsonObject& settings);
    ~avg() override;

public slots:
    void set_time(double t) override;

protected:
    void before_copying_data(iterator first, iterator last) override;
    void after_copying_data(iterator first, iterator last) override;
    void calculate() override;

private:
    double m_sum = 0.0; // sum of the block's current contents
};

} // namespace ryx::math::instant
