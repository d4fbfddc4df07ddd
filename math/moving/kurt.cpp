#include "ryx/math/moving/kurt.h"

#include <cstdint>
#include <typeinfo>

namespace ryx::math::moving {

kurt::kurt(ryx::analog_data* source, bool temporary) : avg(source, temporary)
{
    set_name(tr("kurtosis"));
}

kurt::~kurt()
{
    retire();
}

void kurt::remove_value(double)
{
    m_moments.remove(ring(), static_cast<std::size_t>(position()));
}

void kurt::add_value(double x)
{
    m_moments.add(x);
}

double kurt::kurtosis(const moments::cursor& c)
{
    const std::uint64_t n = c.count();
    if (n < 4)
        return 0.0;
    const detail::moments m = detail::merge<4>(c.tail_part(), static_cast<double>(c.tail_count()), c.head_summary(),
                                               static_cast<double>(c.head_count), c.inverse[n]);
    if (m.m2 == 0.0)
        return 0.0;
    const double count = static_cast<double>(n);
    const double upper = static_cast<double>(n * n - 1);
    // (n^2 - 1) / ((n - 2)(n - 3)) and 6 / (n + 1) from the reciprocal table:
    // the only division left per sample is the one by M2^2.
    const double factor = upper * c.inverse[n - 2] * c.inverse[n - 3];
    // m4 / m2^2 with both moments over n: n M4 / M2^2.
    return factor * (count * m.m4 / (m.m2 * m.m2) - 3.0 + 6.0 * c.inverse[n + 1]);
}

double kurt::get_value() const
{
    return kurtosis(m_moments.view());
}

void kurt::reset_time()
{
    m_moments.clear();
    avg::reset_time();
}

[[gnu::flatten]] void kurt::slide(double* first, double* last)
{
    if (typeid(*this) == typeid(kurt))
        slide_blocks(m_moments, [](const moments::cursor& c) { return kurtosis(c); }, first, last);
    else
        data::slide(first, last);
}

} // namespace ryx::math::moving
