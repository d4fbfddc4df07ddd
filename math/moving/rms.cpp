#include "ryx/math/moving/rms.h"

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

double rms::root_mean_square(const sums::cursor& c)
{
    const std::size_t n = c.count();
    if (n == 0)
        return 0.0;
    return std::sqrt((c.tail_part() + c.head.s) / static_cast<double>(n));
}

double rms::get_value() const
{
    return root_mean_square(m_squares.view());
}

void rms::reset_time()
{
    m_squares.clear();
    data::reset_time();
}

[[gnu::flatten]] void rms::slide(double* first, double* last)
{
    if (typeid(*this) == typeid(rms))
        slide_blocks(m_squares, [](const sums::cursor& c) { return root_mean_square(c); }, first, last);
    else
        data::slide(first, last);
}

} // namespace ryx::math::moving
