#include "ryx/math/instant/kurt.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>

#include "ryx/math/instant/block_sums.h"

namespace ryx::math::instant {

kurt::kurt(ryx::analog_data* source, const QJsonObject& settings) : value(source, settings)
{
    set_default_name(tr("kurtosis"));
}

kurt::~kurt()
{
    prepare_deleting();
}

void kurt::set_time(double t)
{
    recreate_block(t, [this] {
        m_sum = 0.0;
        m_mean = 0.0;
    });
}

void kurt::before_copying_data(iterator first, iterator last)
{
    m_sum -= std::accumulate(first, last, 0.0);
}

void kurt::after_copying_data(iterator first, iterator last)
{
    m_sum += std::accumulate(first, last, 0.0);
    m_mean = m_sum / static_cast<double>(block().size());
}

void kurt::calculate()
{
    const auto& b = block();
    const std::uint64_t c = b.size();
    if (c < 4) {
        m_value = 0.0;
        return;
    }
    // Re-based on the full block: no rounding drift or NaN outlives a block.
    // The samples are scaled by a power of two near their largest magnitude, and
    // the deviations likewise, so that neither the sum nor the fourth powers can
    // overflow; such a scaling is exact, and kurtosis does not depend on scale.
    // Subnormal samples are read as 0 (block_sums.h): a block of them only is
    // constant, like the moving kurtosis's window of them.
    using detail::flushed;
    double largest = 0.0;
    for (double x : b)
        largest = std::max(largest, std::fabs(flushed(x)));
    const double down = std::isfinite(largest) && largest > 0.0 ? std::ldexp(1.0, -std::ilogb(largest)) : 1.0;
    double scaled_sum = 0.0;
    for (double x : b)
        scaled_sum += flushed(x) * down;
    m_sum = scaled_sum / down;
    const double scaled_mean = scaled_sum / static_cast<double>(c);
    m_mean = scaled_mean / down;

    double spread = 0.0;
    for (double x : b)
        spread = std::max(spread, std::fabs(flushed(x) * down - scaled_mean));
    if (!(spread > 0.0)) {
        // A constant block has no spread to compare its tails with.
        m_value = std::isnan(spread) ? spread : 0.0;
        return;
    }
    const double unit = std::isfinite(spread) ? std::ldexp(1.0, -std::ilogb(spread)) : 1.0;
    double s2 = 0.0;
    double s4 = 0.0;
    for (double x : b) {
        const double d = (flushed(x) * down - scaled_mean) * unit;
        const double d2 = d * d;
        s2 += d2;
        s4 += d2 * d2;
    }
    const double n = static_cast<double>(c);
    const double m2 = s2 / n;
    const double m4 = s4 / n;
    // Count factors in integers: exact for any block length.
    const double scale = static_cast<double>(c * c - 1) / static_cast<double>((c - 2) * (c - 3));
    m_value = scale * (m4 / (m2 * m2) - 3.0 + 6.0 / (n + 1.0));
}

} // namespace ryx::math::instant
