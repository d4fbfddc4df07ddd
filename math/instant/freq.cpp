#include "math/instant/freq.h"

#include <numeric>

#include "math/mathFunctions.h"

namespace ryx::math::instant {

freq::freq(ryx::analog_data* source, const QJsonObject& settings) : value(source, settings)
{
    m_dc = settings.value(QLatin1String("dc")).toDouble(std::numeric_limits<double>::infinity());
    set_default_name(tr("frequency"));
}

freq::~freq()
{
    prepare_deleting();
}

QJsonArray freq::get_fronts() const
{
    QJsonArray out;
    lock_source();
    const double step = get_dt();
    for (std::uint64_t i : m_fronts)
        out.append(static_cast<double>(i) * step);
    unlock_source();
    return out;
}

QJsonArray freq::get_periods() const
{
    QJsonArray out;
    lock_source();
    for (double p : m_periods)
        out.append(p);
    unlock_source();
    return out;
}

double freq::get_variance() const
{
    lock_source();
    const double v = m_variance;
    unlock_source();
    return v;
}

void freq::set_dc(double level)
{
    lock_source();
    m_dc = level;
    unlock_source();
    emit dc_changed();
}

void freq::set_time(double t)
{
    recreate_block(t, [this] {
        m_fronts.clear();
        m_samples.clear();
        m_variance = 0.0;
        m_counter = 0;
        m_previous = 0.0;
    });
}

void freq::before_copying_data(iterator first, iterator last)
{
    const std::uint64_t n = block().size();
    std::uint64_t entered = m_counter; // absolute index of the sample replacing *first
    for (auto it = first; it != last; ++it, ++entered) {
        // The leaving sample entered N samples before the one replacing it.
        if (m_samples.erase_one(*it) && entered >= n)
            m_fronts.erase(entered - n);
    }
}

void freq::after_copying_data(iterator first, iterator last)
{
    for (auto it = first; it != last; ++it)
        m_samples.insert(*it);
    if (m_samples.empty())
        return;

    const double level = m_dc == std::numeric_limits<double>::infinity()
                             ? (m_samples.largest() + m_samples.smallest()) * 0.5
                             : m_dc;
    // Each sample is compared with the one written just before it. That is the
    // block's previous element in ring order, except when a chunk spans the
    // whole block: its first sample would then meet the chunk's own last one.
    double prev = m_previous;
    for (auto it = first; it != last; ++it) {
        if (prev < level && level <= *it)
            m_fronts.insert(m_counter);
        prev = *it;
        ++m_counter;
    }
    m_previous = prev;
    calculate();
}

void freq::calculate()
{
    if (m_fronts.size() < 2) {
        m_value = 0.0;
        m_variance = 0.0;
        return;
    }
    const double step = get_dt();
    m_periods.assign(1, 0.0);
    m_periods.reserve(m_fronts.size());
    auto it = m_fronts.cbegin();
    std::uint64_t before = *it;
    for (++it; it != m_fronts.cend(); ++it) {
        m_periods.push_back(static_cast<double>(*it - before) * step);
        before = *it;
    }
    const double intervals = static_cast<double>(m_fronts.size() - 1);
    const double mean_period = std::accumulate(m_periods.cbegin() + 1, m_periods.cend(), 0.0) / intervals;
    // One interval has no spread to measure: 0 rather than 0 / 0.
    m_variance = m_periods.size() > 2 ? mathFunctions::var(m_periods.cbegin() + 1, m_periods.cend()) : 0.0;
    m_value = 1.0 / mean_period;
}

} // namespace ryx::math::instant
