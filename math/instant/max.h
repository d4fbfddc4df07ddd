#pragma once

#include "ryx/math/instant/block_extremes.h"
#include "ryx/math/instant/value.h"

namespace ryx::math::instant {

// Largest sample of the block. The family min, peak_to_peak and offset reads
// the same extremes of the samples written since the block was created (the
// zeros of a fresh block are not among them).
class RYX_MATH_EXPORT max : public value
{
    Q_OBJECT

public:
    max(ryx::analog_data* source, const QJsonObject& settings);
    ~max() override;

public slots:
    void set_time(double t) override;

protected:
    void after_copying_data(iterator first, iterator last) override;
    // Copies and takes the extremes in one read.
    void copy_data(const double* from, std::size_t position, std::size_t n) override;
    void calculate() override;

    // Extremes of the samples written in the current block cycle: at the end
    // of a cycle, those of the full block.
    detail::block_extremes m_samples;
};

} // namespace ryx::math::instant
