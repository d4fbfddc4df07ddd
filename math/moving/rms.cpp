#include "math/moving/rms.h"

#include <cmath>
#include <typeinfo>

namespace ryx::math::moving {

rms::rms(ryx::analog_data* source, bool temporary) : data(source, temporary)
{
    set_name(tr("rms"));
}

rms::~rms()
{
    retire();
}

void rms::remove_value(double)
{
    m_squares.remove(ring(), static_cast<std::size_t>(position()));
}

void rms::add_value(double x)
{
    m_squares.add(x);
}

double rms::get_value() const
{
    const std::size_t n = m_squares.count();
    if (n == 0)
        return 0.0;
    return std::sqrt((m_squares.tail() + m_squares.head().s) / static_cast<double>(n));
}

void rms::reset_time()
{
    m_squares.clear();
    data::reset_time();
}

[[gnu::flatten]] void rms::slide(double* first, double* last)
{
    if (typeid(*this) == typeid(rms))
        slide_as(*this, first, last);
    else
        data::slide(first, last);
}

} // namespace ryx::math::moving
