#include "math/moving/min.h"

#include <typeinfo>

namespace ryx::math::moving {

min::min(ryx::analog_data* source, bool temporary) : max(source, temporary)
{
    set_name(tr("min"));
}

min::~min()
{
    retire();
}

double min::get_value() const
{
    if (window_empty())
        return 0.0;
    const detail::extremes e = window_extremes();
    return e.smallest;
}

[[gnu::flatten]] void min::slide(double* first, double* last)
{
    if (typeid(*this) == typeid(min))
        slide_as(*this, first, last);
    else
        data::slide(first, last);
}

} // namespace ryx::math::moving
