#include "ryx/math/moving/var.h"

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
    return variance(m_moments.view());
}

void var::reset_time()
{
    m_moments.clear();
    avg::reset_time();
}

[[gnu::flatten]] void var::slide(double* first, double* last)
{
    if (typeid(*this) == typeid(var))
        slide_blocks(m_moments, [](const moments::cursor& c) { return variance(c); }, first, last);
    else
        data::slide(first, last);
}

} // namespace ryx::math::moving
