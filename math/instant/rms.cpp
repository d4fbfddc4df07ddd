#include "ryx/math/instant/rms.h"

#include <cmath>

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

rms::rms(ryx::analog_data* source, const QJsonObject& settings) : value(source, settings)
{
    const int view = settings.value(QLatin1String("view")).toInt(0);
    if (valid_unit(view))
        m_unit = static_cast<ryx::units>(view);
    set_default_name(QStringLiteral("rms"));
}

rms::~rms()
{
    prepare_deleting();
}

void rms::set_unit(ryx::units unit)
{
    if (!valid_unit(static_cast<int>(unit)) || unit == m_unit)
        return;
    m_unit = unit;
    emit unit_changed();
}

void rms::set_time(double t)
{
    recreate_block(t, [this] { m_squares = 0.0; });
}

void rms::before_copying_data(iterator first, iterator last)
{
    m_squares -= detail::squared_sum(first, last);
}

void rms::after_copying_data(iterator first, iterator last)
{
    m_squares += detail::squared_sum(first, last);
}

void rms::calculate()
{
    const auto& b = block();
    if (b.empty()) {
        m_value = 0.0;
        return;
    }
    // Re-based on the full block: no rounding drift or NaN outlives a block.
    // Squares of samples from 1e154 on are summed scaled (block_sums.h).
    const detail::scaled_sum squares = detail::scaled_squared_sum(b.cbegin(), b.cend());
    m_squares = squares.e == 0 ? squares.s : HUGE_VAL;
    const double r = std::sqrt(squares.s / static_cast<double>(b.size()));
    m_value = squares.e == 0 ? r : std::ldexp(r, squares.e);
    if (m_unit == ryx::units::dB && source())
        m_value = mathFunctions::dB(source()->reference(), m_value);
}

} // namespace ryx::math::instant
