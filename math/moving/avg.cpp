#include "ryx/math/moving/avg.h"

#include <typeinfo>

namespace ryx::math::moving {

avg::avg(ryx::analog_data* source, bool temporary) : data(source, temporary)
{
    set_name(tr("mean"));
}

avg::~avg()
{
    retire();
}

void avg::remove_value(double)
{
    m_sum.remove(ring(), static_cast<std::size_t>(position()));
}

void avg::add_value(double x)
{
    m_sum.add(x);
}

double avg::mean(const sums::cursor& c)
{
    const std::size_t n = c.count();
    if (n == 0)
        return 0.0;
    return (c.tail_part() + c.head.s) / static_cast<double>(n);
}

double avg::get_value() const
{
    return mean(m_sum.view());
}

void avg::reset_time()
{
    m_sum.clear();
    data::reset_time();
}

[[gnu::flatten]] void avg::slide(double* first, double* last)
{
    if (typeid(*this) == typeid(avg))
        slide_blocks(m_sum, [](const sums::cursor& c) { return mean(c); }, first, last);
    else
        data::slide(first, last);
}

} // namespace ryx::math::moving
