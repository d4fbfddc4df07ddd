#include "math/moving/msd.h"

#include <cmath>
#include <typeinfo>

namespace ryx::math::moving {

msd::msd(ryx::analog_data* source, bool temporary) : var(source, temporary)
{
    set_name(tr("msd"));
}

msd::~msd()
{
    retire();
}

double msd::get_value() const
{
    return std::sqrt(variance());
}

[[gnu::flatten]] void msd::slide(double* first, double* last)
{
    if (typeid(*this) == typeid(msd))
        slide_as(*this, first, last);
    else
        data::slide(first, last);
}

} // namespace ryx::math::moving
