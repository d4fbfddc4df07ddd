#include "ryx/math/moving/max.h"

#include <typeinfo>

namespace ryx::math::moving {

max::max(ryx::analog_data* source, bool temporary) : data(source, temporary)
{
    set_name(tr("max"));
}

max::~max()
{
    retire();
}

double max::get_value() const
{
    return largest(m_extremes.view());
}

void max::reset_time()
{
    m_extremes.clear();
    data::reset_time();
}

[[gnu::flatten]] void max::slide(double* first, double* last)
{
    if (typeid(*this) == typeid(max))
        slide_blocks(m_extremes, [](const extremes::cursor& c) { return largest(c); }, first, last);
    else
        data::slide(first, last);
}

} // namespace ryx::math::moving
