#include "ryx/math/moving/min.h"

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

double min::value(const extremes::cursor& c)
{
    if (c.count() == 0)
        return 0.0;
    const detail::extremes e = extremes_of(c);
    return e.smallest;
}

double min::get_value() const
{
    return value(m_extremes.view());
}

[[gnu::flatten]] void min::slide(double* first, double* last)
{
    if (typeid(*this) == typeid(min))
        slide_blocks(m_extremes, [](const extremes::cursor& c) { return value(c); }, first, last);
    else
        data::slide(first, last);
}

} // namespace ryx::math::moving
