#pragma once

#include "ryx/math/moving/avg.h"
#include "ryx/math/moving/blocks.h"

namespace ryx::math::moving {

// Moving excess kurtosis of the window, bias-corrected as mathFunctions::kurt:
// ((n^2 - 1) / ((n - 2)(n - 3))) (m4 / m2^2 - 3 + 6 / (n + 1)) with the central
// moments m2, m4 taken over n. 0 while the window holds fewer than 4 samples,
// and 0 for a window of zero variance (equal samples).
class RYX_MATH_EXPORT kurt : public avg
{
    Q_OBJECT

public:
    kurt(ryx::analog_data* source, bool temporary);
    ~kurt() override;

public slots:
    void remove_value(double x) override;
    void add_value(double x) override;
    double get_value() const override;
    void reset_time() override;

protected:
    void slide(double* first, double* last) override;

private:
    using moments = detail::blocks<detail::power_head<4>>;
    static double kurtosis(const moments::cursor& c);

    moments m_moments;
};

} // namespace ryx::math::moving
