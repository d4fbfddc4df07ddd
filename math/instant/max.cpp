#include "ryx/math/instant/max.h"

namespace ryx::math::instant {

max::max(ryx::analog_data* source, const QJsonObject& settings) : value(source, settings)
{
    set_default_name(tr("max"));
}

max::~max()
{
    prepare_deleting();
}

void max::set_time(double t)
{
    recreate_block(t, [this] { m_samples.clear(); });
}

void max::before_copying_data(iterator first, iterator last)
{
    // Once the block has been filled, every chunk overwrites samples of the window.
    const auto n = static_cast<std::size_t>(last - first);
    const std::size_t kept = m_samples.size();
    if (kept + n > block().size())
        m_samples.drop_oldest(kept + n - block().size());
}

void max::after_copying_data(iterator first, iterator last)
{
    for (auto it = first; it != last; ++it)
        m_samples.push(*it);
}

void max::calculate()
{
    m_value = m_samples.empty() ? 0.0 : m_samples.largest();
}

} // namespace ryx::math::instant
