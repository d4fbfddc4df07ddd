#pragma once

#include "ryx/math/instant/block_sums.h"
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
    void after_copying_data(iterator first, iterator last) override;
    // Copies and sums in one read.
    void copy_data(const double* from, std::size_t position, std::size_t n) override;
    void calculate() override;

private:
    detail::lane_sum m_sum; // sum of the samples written in the current block cycle
};

} // namespace ryx::math::instant
