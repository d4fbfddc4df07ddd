#include "ryx/math/moving/period.h"

#include <typeinfo>

namespace ryx::math::moving {

period::period(ryx::analog_data* source, bool temporary) : freq(source, temporary)
{
    set_name(tr("period"));
}

period::~period()
{
    retire();
}

double period::get_value() const
{
    const double f = frequency();
    return f != 0.0 ? 1.0 / f : 0.0;
}

[[gnu::flatten]] void period::slide(double* first, double* last)
{
    if (typeid(*this) == typeid(period))
        slide_as(*this, first, last);
    else
        data::slide(first, last);
}

} // namespace ryx::math::moving
