#pragma once

#include "ryx/math/instant/value.h"

namespace ryx::math::instant {

// Bias-corrected sample excess kurtosis of the full block, every block
// including the first.
class RYX_MATH_EXPORT kurt : public value
{
    Q_OBJECT

public:
    kurt(ryx::analog_data* source, const QJsonObject& settings);
    ~kurt() override;

public slots:
    void set_time(double t) override;

protected:
    void before_copying_data(iterator first, iterator last) override;
    void after_copying_data(iterator first, iterator last) override;
    void calculate() override;

private:
    double m_sum = 0.0;  // sum of the block's current contents
    double m_mean = 0.0; // m_sum / N
};

} // namespace ryx::math::instant
