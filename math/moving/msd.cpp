#include "ryx/math/moving/msd.h"

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
    return std::sqrt(variance(m_moments.view()));
}

[[gnu::flatten]] void msd::slide(double* first, double* last)
{
    if (typeid(*this) == typeid(msd))
        slide_blocks(m_moments, [](const moments::cursor& c) { return std::sqrt(variance(c)); }, first, last);
    else
        data::slide(first, last);
}

} // namespace ryx::math::moving
