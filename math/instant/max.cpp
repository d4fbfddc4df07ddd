#include "math/instant/max.h"

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
    for (auto it = first; it != last; ++it)
        m_samples.erase_one(*it);
}

void max::after_copying_data(iterator first, iterator last)
{
    for (auto it = first; it != last; ++it)
        m_samples.insert(*it);
}

void max::calculate()
{
    m_value = m_samples.empty() ? 0.0 : m_samples.largest();
}

} // namespace ryx::math::instant
