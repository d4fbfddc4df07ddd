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

void var::remove_value(double)
{
    m_moments.remove(ring(), static_cast<std::size_t>(position()));
}

void var::add_value(double x)
{
    m_moments.add(x);
}

double var::get_value() const
{
    const std::size_t n = m_moments.count();
    if (n < 2)
        return 0.0;
    const detail::moments m =
        detail::merge<2>(m_moments.tail(), static_cast<double>(m_moments.tail_count()),
                         m_moments.head().summary(), static_cast<double>(m_moments.head_count()));
    return m.m2 / static_cast<double>(n - 1);
}

void var::reset_time()
{
    m_moments.clear();
    avg::reset_time();
}

void var::slide(double* first, double* last)
{
    if (typeid(*this) == typeid(var))
        slide_as(*this, first, last);
    else
        data::slide(first, last);
}

} // namespace ryx::math::moving
