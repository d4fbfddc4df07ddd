#include "ryx/math/instant/ampl.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "ryx/core/analog_data.h"
#include "ryx/math/instant/block_sums.h"
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
    set_default_name(QStringLiteral("amplitude"));
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
}

void ampl::calculate()
{
    // The largest distance of a sample from the block's mean, whatever the
    // runs that filled the block. Re-based on the full block: no rounding drift
    // or NaN outlives a block.
    const auto& b = block();
    const std::size_t n = b.size();
    const detail::scaled_sum total = detail::sum(b.cbegin(), b.cend());
    m_sum = detail::unscaled(total);
    m_dc = n > 0 ? detail::mean(total, n) : 0.0;
    double best = 0.0;
    for (double x : b)
        best = std::max(best, std::fabs(x - m_dc));
    m_value = best;
    if (m_unit == ryx::units::dB && source())
        m_value = mathFunctions::dB(source()->reference(), m_value);
}

} // namespace ryx::math::instant
