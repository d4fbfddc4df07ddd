#include "math/moving/offset.h"

#include <typeinfo>

namespace ryx::math::moving {

offset::offset(ryx::analog_data* source, bool temporary) : peak_to_peak(source, temporary)
{
    set_name(tr("offset"));
}

offset::~offset()
{
    retire();
}

double offset::get_value() const
{
    if (window_empty())
        return 0.0;
    const detail::extremes e = window_extremes();
    return (e.largest + e.smallest) * 0.5;
}

[[gnu::flatten]] void offset::slide(double* first, double* last)
{
    if (typeid(*this) == typeid(offset))
        slide_as(*this, first, last);
    else
        data::slide(first, last);
}

} // namespace ryx::math::moving
