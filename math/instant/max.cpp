#include "ryx/math/instant/max.h"

namespace ryx::math::instant {

max::max(ryx::analog_data* source, const QJsonObject& settings) : value(source, settings)
{
    set_default_name(QStringLiteral("max"));
}

max::~max()
{
    prepare_deleting();
}

void max::set_time(double t)
{
    recreate_block(t, [this] { m_samples.clear(); });
}

void max::after_copying_data(iterator first, iterator last)
{
    // A chunk at the block's start begins a new cycle; the cycle's chunks
    // arrive in block order and end with the block.
    if (first == block().cbegin())
        m_samples.clear();
    m_samples.add(&*first, static_cast<std::size_t>(last - first));
}

void max::copy_data(const double* from, std::size_t position, std::size_t n)
{
    if (position == 0)
        m_samples.clear();
    m_samples.copy_add(from, n, block().data() + position);
}

void max::calculate()
{
    m_value = m_samples.empty() ? 0.0 : m_samples.largest();
}

} // namespace ryx::math::instant
