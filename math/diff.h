#pragma once

#include "ryx/math/detail/staged.h"

namespace ryx::math {

// Derivative channel: every run of the source is differentiated in time by
// `taps` cascaded backward differences, scaled once by the rate (units per
// second). The stages keep their last input across runs, so a signal split into
// runs gives the same output as one long run.
class RYX_MATH_EXPORT diff : public detail::staged
{
    Q_OBJECT

public:
    explicit diff(ryx::analog_data* source = nullptr, bool temporary = false);
    ~diff() override;

protected:
    void transform(double* x, double* end, double rate, std::vector<double>& s) const override;
    QString taps_label() const override;
};

} // namespace ryx::math
