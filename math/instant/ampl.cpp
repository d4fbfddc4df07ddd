#include "ryx/math/instant/ampl.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "ryx/core/analog_data.h"
#include "ryx/math/mathFunctions.h"

namespace ryx::math::instant {

namespace {

bool valid_unit(int u)
{
    return u >= static_cast<int>(ryx::units::linear) && u <= static_cast<int>(ryx::units::rms);
}

} // namespace

ampl::ampl(ryx::analog_data* source, const QJsonObject& settings) : value(source, settings)
{
    const int view = settings.value(QLatin1String("view")).toInt(0);
    if (valid_unit(view))
        m_unit = static_cast<ryx::units>(view);
    m_dc = settings.value(QLatin1String("dc")).toInt(0);
    set_default_name(tr("amplitude"));
}

ampl::~ampl()
{
    prepare_deleting();
}

void ampl::set_unit(ryx::units unit)
{
    if (!valid_unit(static_cast<int>(unit)) || unit == m_unit)
        return;
    m_unit = unit;
    emit unit_changed();
}

void ampl::set_time(double t)
{
    recreate_block(t, [this] {
        m_sum = 0.0;
        m_dc = 0.0;
        m_candidates.clear();
    });
}

void ampl::before_copying_data(iterator first, iterator last)
{
    m_sum -= std::accumulate(first, last, 0.0);
}

void ampl::after_copying_data(iterator first, iterator last)
{
    if (first == last)
        return;
    m_sum += std::accumulate(first, last, 0.0);
    m_dc = m_sum / static_cast<double>(block().size());

    // The first of equal minima and the last of equal maxima.
    auto lo = first;
    auto hi = first;
    for (auto it = first; it != last; ++it) {
        if (*it < *lo)
            lo = it;
        if (*it >= *hi)
            hi = it;
    }
    const auto chosen = std::fabs(*hi - m_dc) > std::fabs(*lo - m_dc) ? hi : lo;

    const auto begin = block().cbegin();
    const auto from = static_cast<std::uint64_t>(first - begin);
    const auto to = static_cast<std::uint64_t>(last - begin);
    m_candidates.erase(m_candidates.lower_bound(from), m_candidates.lower_bound(to));
    m_candidates.insert(static_cast<std::uint64_t>(chosen - begin));
}

void ampl::calculate()
{
    const auto& b = block();
    const std::uint64_t n = b.size();
    if (m_candidates.empty() || *m_candidates.begin() >= n) {
        m_value = 0.0;
    } else {
        // Re-based on the full block: no rounding drift or NaN outlives a block.
        m_sum = std::accumulate(b.cbegin(), b.cend(), 0.0);
        m_dc = m_sum / static_cast<double>(n);
        double best = 0.0;
        for (std::uint64_t i : m_candidates) {
            if (i >= n)
                break;
            best = std::max(best, std::fabs(b[i] - m_dc));
        }
        m_value = best;
    }
    if (m_unit == ryx::units::dB && source())
        m_value = mathFunctions::dB(source()->reference(), m_value);
}

} // namespace ryx::math::instant
