#include "ryx/math/intg.h"

#include <cmath>

namespace ryx::math {

intg::intg(ryx::analog_data* source, bool temporary) : detail::staged(source, temporary)
{
    if (source) {
        set_name(tr("integrator"));
        init();
    }
}

intg::~intg()
{
    prepare_deleting();
}

void intg::transform(double* x, double* end, double rate, std::vector<double>& s) const
{
    const double interval = 1.0 / rate;
    const std::size_t stages = s.size();
    for (; x != end; ++x) {
        // A non-finite sample passes to the output and counts as 0 in the sums,
        // so the integral goes on across it; a sum that would overflow stays.
        const double v = interval * *x;
        const bool bad = !std::isfinite(v);
        double y = bad ? 0.0 : v;
        for (std::size_t j = 0; j < stages; ++j) {
            y = y + s[j];
            s[j] = std::isfinite(y) ? y : s[j]; // running sum
        }
        *x = bad ? v : y;
    }
}

QString intg::taps_label() const
{
    return tr("Taps");
}

} // namespace ryx::math
