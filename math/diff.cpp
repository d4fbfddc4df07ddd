#include "ryx/math/diff.h"

#include <cmath>

namespace ryx::math {

diff::diff(ryx::analog_data* source, bool temporary) : detail::staged(source, temporary)
{
    if (source) {
        set_name(tr("differentiator"));
        init();
    }
}

diff::~diff()
{
    prepare_deleting();
}

void diff::transform(double* x, double* end, double rate, std::vector<double>& s) const
{
    const double interval = 1.0 / rate;
    const std::size_t stages = s.size();
    for (; x != end; ++x) {
        double y = *x;
        for (std::size_t j = 0; j < stages; ++j) {
            const double in = y;
            y = y - s[j];
            // The stage's last input; after a non-finite one the stage restarts
            // from the current input, so only outputs computed from it are lost.
            const double last = s[j] + y;
            s[j] = std::isfinite(last) ? last : in;
        }
        *x = y / interval;
    }
}

QString diff::taps_label() const
{
    return tr("Taps");
}

} // namespace ryx::math
