#include "ryx/math/diff.h"

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
            y = y - s[j];
            s[j] = s[j] + y; // the stage's last input
        }
        *x = y / interval;
    }
}

QString diff::taps_label() const
{
    return tr("Taps");
}

} // namespace ryx::math
