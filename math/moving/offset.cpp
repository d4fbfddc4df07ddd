#include "ryx/math/moving/offset.h"

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

double offset::value(const extremes::cursor& c)
{
    if (c.count() == 0)
        return 0.0;
    const detail::extremes e = extremes_of(c);
    return (e.largest + e.smallest) * 0.5;
}

double offset::get_value() const
{
    return value(m_extremes.view());
}

[[gnu::flatten]] void offset::slide(double* first, double* last)
{
    if (typeid(*this) == typeid(offset))
        slide_blocks(m_extremes, [](const extremes::cursor& c) { return value(c); }, first, last);
    else
        data::slide(first, last);
}

} // namespace ryx::math::moving
