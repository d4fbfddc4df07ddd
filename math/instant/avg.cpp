#include "ryx/math/instant/avg.h"


namespace ryx::math::instant {

avg::avg(ryx::analog_data* source, const QJsonObject& settings) : value(source, settings)
{
    set_default_name(QStringLiteral("mean"));
}

avg::~avg()
{
    prepare_deleting();
}

void avg::set_time(double t)
{
    recreate_block(t, [this] { m_sum.clear(); });
}

void avg::after_copying_data(iterator first, iterator last)
{
    // A chunk at the block's start begins a new cycle, so that no rounding
    // drift, or NaN that has left the block, outlives it; the cycle's chunks
    // arrive in block order and end with the block.
    const auto position = static_cast<std::size_t>(first - block().cbegin());
    if (position == 0)
        m_sum.clear();
    m_sum.add(&*first, position, static_cast<std::size_t>(last - first));
}

void avg::copy_data(const double* from, std::size_t position, std::size_t n)
{
    if (position == 0)
        m_sum.clear();
    m_sum.copy_add(from, position, n, block().data() + position);
}

void avg::calculate()
{
    // A mean of samples near the largest double is formed from a scaled sum
    // (block_sums.h).
    const auto& b = block();
    const detail::scaled_sum total = detail::lane_scaled(m_sum.total(), b.cbegin(), b.cend());
    m_value = detail::mean(total, b.size());
}

} // namespace ryx::math::instant
