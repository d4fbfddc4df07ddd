#include "ryx/math/intg.h"

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
        double y = interval * *x;
        for (std::size_t j = 0; j < stages; ++j) {
            y = y + s[j];
            s[j] = y; // running sum
        }
        *x = y;
    }
}

QString intg::taps_label() const
{
    return tr("Taps");
}

} // namespace ryx::math
