#include "ryx/math/moving/peak_to_peak.h"

#include <typeinfo>

namespace ryx::math::moving {

peak_to_peak::peak_to_peak(ryx::analog_data* source, bool temporary) : max(source, temporary)
{
    set_name(tr("peak to peak"));
}

peak_to_peak::~peak_to_peak()
{
    retire();
}

double peak_to_peak::value(const extremes::cursor& c)
{
    if (c.count() == 0)
        return 0.0;
    const detail::extremes e = extremes_of(c);
    return e.largest - e.smallest;
}

double peak_to_peak::get_value() const
{
    return value(m_extremes.view());
}

[[gnu::flatten]] void peak_to_peak::slide(double* first, double* last)
{
    if (typeid(*this) == typeid(peak_to_peak))
        slide_blocks(m_extremes, [](const extremes::cursor& c) { return value(c); }, first, last);
    else
        data::slide(first, last);
}

} // namespace ryx::math::moving
