#include "ryx/math/instant/kurt.h"

#include <cstdint>
#include <numeric>

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
    m_sum = std::accumulate(b.cbegin(), b.cend(), 0.0);
    m_mean = m_sum / static_cast<double>(c);

    double s2 = 0.0;
    double s4 = 0.0;
    for (double x : b) {
        const double d2 = (x - m_mean) * (x - m_mean);
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
