#include "ryx/math/instant/kurt.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <numeric>

#include "ryx/math/instant/block_sums.h"

namespace ryx::math::instant {

kurt::kurt(ryx::analog_data* source, const QJsonObject& settings) : value(source, settings)
{
    set_default_name(QStringLiteral("kurtosis"));
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

namespace {

struct block_kurtosis
{
    double value;
    double sum;
    double mean;
};

// The samples are scaled by down, a power of two near their largest magnitude,
// and the deviations likewise by a power of two near the largest, so that
// neither the sum nor the fourth powers can overflow; such a scaling is exact,
// and kurtosis does not depend on scale. Flush: read subnormal samples as 0
// (block_sums.h), for a block that holds some.
template <bool Flush>
block_kurtosis kurtosis(const std::vector<double>& b, double down)
{
    const auto read = [down](double x) { return (Flush ? detail::flushed(x) : x) * down; };
    const std::uint64_t c = b.size();
    double scaled_sum = 0.0;
    for (double x : b)
        scaled_sum += read(x);
    const double scaled_mean = scaled_sum / static_cast<double>(c);
    block_kurtosis k{0.0, scaled_sum / down, scaled_mean / down};

    double spread = 0.0;
    for (double x : b)
        spread = std::max(spread, std::fabs(read(x) - scaled_mean));
    if (!(spread > 0.0)) {
        // A constant block has no spread to compare its tails with.
        k.value = std::isnan(spread) ? spread : 0.0;
        return k;
    }
    const double unit = std::isfinite(spread) ? std::ldexp(1.0, -std::ilogb(spread)) : 1.0;
    double s2 = 0.0;
    double s4 = 0.0;
    for (double x : b) {
        const double d = (read(x) - scaled_mean) * unit;
        const double d2 = d * d;
        s2 += d2;
        s4 += d2 * d2;
    }
    const double n = static_cast<double>(c);
    const double m2 = s2 / n;
    const double m4 = s4 / n;
    // Count factors in integers: exact for any block length.
    const double scale = static_cast<double>(c * c - 1) / static_cast<double>((c - 2) * (c - 3));
    k.value = scale * (m4 / (m2 * m2) - 3.0 + 6.0 / (n + 1.0));
    return k;
}

} // namespace

void kurt::calculate()
{
    const auto& b = block();
    if (b.size() < 4) {
        m_value = 0.0;
        return;
    }
    // Re-based on the full block: no rounding drift or NaN outlives a block. A
    // block that holds subnormal samples reads them as 0: a block of them only
    // is constant, like the moving kurtosis's window of them.
    using math::detail::half_min;
    double largest = 0.0;
    double nearest = half_min;
    for (double x : b) {
        largest = std::max(largest, std::fabs(x));
        nearest = std::min(nearest, math::detail::subnormal_distance(x));
    }
    const bool subnormal = nearest < half_min;
    if (subnormal && !(largest >= DBL_MIN))
        largest = 0.0;
    const double down = std::isfinite(largest) && largest > 0.0 ? std::ldexp(1.0, -std::ilogb(largest)) : 1.0;
    const block_kurtosis k = subnormal ? kurtosis<true>(b, down) : kurtosis<false>(b, down);
    m_value = k.value;
    m_sum = k.sum;
    m_mean = k.mean;
}

} // namespace ryx::math::instant
