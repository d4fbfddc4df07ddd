#include "ryx/math/instant/sum.h"

#include <numeric>

namespace ryx::math::instant {

sum::sum(ryx::analog_data* source, const QJsonObject& settings) : value(source, settings)
{
    set_default_name(QStringLiteral("sum"));
}

sum::~sum()
{
    prepare_deleting();
}

void sum::before_copying_data(iterator first, iterator last)
{
    m_value -= std::accumulate(first, last, 0.0);
}

void sum::after_copying_data(iterator first, iterator last)
{
    m_value += std::accumulate(first, last, 0.0);
}

void sum::calculate()
{
    // Re-based on the full block: no rounding drift or NaN outlives a block.
    m_value = std::accumulate(block().cbegin(), block().cend(), 0.0);
}

} // namespace ryx::math::instant
