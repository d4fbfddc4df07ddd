#pragma once

#include "ryx/math/detail/staged.h"

namespace ryx::math {

// Integral channel: every run of the source is integrated in time by `taps`
// cascaded running sums, the input being scaled once by the sampling interval.
// The sums carry over across runs.
class RYX_MATH_EXPORT intg : public detail::staged
{
    Q_OBJECT

public:
    explicit intg(ryx::analog_data* source = nullptr, bool temporary = false);
    ~intg() override;

protected:
    void transform(double* x, double* end, double rate, std::vector<double>& s) const override;
    QString taps_label() const override;
};

} // namespace ryx::math
