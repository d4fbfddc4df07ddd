#include "math/moving/var.h"

#include <typeinfo>

namespace ryx::math::moving {

var::var(ryx::analog_data* source, bool temporary) : avg(source, temporary)
{
    set_name(tr("variance"));
}

var::~var()
{
    retire();
}

double var::get_value() const
{
    return variance();
}

void var::reset_time()
{
    m_moments.clear();
    avg::reset_time();
}

[[gnu::flatten]] void var::slide(double* first, double* last)
{
    if (typeid(*this) == typeid(var))
        slide_as(*this, first, last);
    else
        data::slide(first, last);
}

} // namespace ryx::math::moving
