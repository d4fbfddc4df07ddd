#include "ryx/math/instant/avg.h"

#include <numeric>

#include "ryx/math/instant/block_sums.h"

namespace ryx::math::instant {

avg::avg(ryx::analog_data* source, const QJsonObject& settings) : value(source, settings)
{
    set_default_name(tr("mean"));
}

avg::~avg()
{
    prepare_deleting();
}

void avg::set_time(double t)
{
    recreate_block(t, [this] { m_sum = 0.0; });
}

void avg::before_copying_data(iterator first, iterator last)
{
    m_sum -= std::accumulate(first, last, 0.0);
}

void avg::after_copying_data(iterator first, iterator last)
{
    m_sum += std::accumulate(first, last, 0.0);
}

void avg::calculate()
{
    // The running sum is re-based on the full block, so that rounding drift, or
    // a NaN that has left the block, does not outlive it. A mean of samples near
    // the largest double is formed from a scaled sum (block_sums.h).
    const auto& b = block();
    const detail::scaled_sum total = detail::sum(b.cbegin(), b.cend());
    m_sum = detail::unscaled(total);
    m_value = detail::mean(total, b.size());
}

} // namespace ryx::math::instant
