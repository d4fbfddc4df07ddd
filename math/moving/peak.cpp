#include "math/moving/peak.h"

#include <typeinfo>

namespace ryx::math::moving {

peak::peak(ryx::analog_data* source, bool temporary) : peak_to_peak(source, temporary)
{
    set_name(tr("peak"));
}

peak::~peak()
{
    retire();
}

double peak::get_value() const
{
    if (window_empty())
        return 0.0;
    const detail::extremes e = window_extremes();
    return (e.largest - e.smallest) * 0.5;
}

[[gnu::flatten]] void peak::slide(double* first, double* last)
{
    if (typeid(*this) == typeid(peak))
        slide_as(*this, first, last);
    else
        data::slide(first, last);
}

} // namespace ryx::math::moving
