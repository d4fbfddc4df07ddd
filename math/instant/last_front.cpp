#include "ryx/math/instant/last_front.h"

#include <algorithm>
#include <cmath>

#include "ryx/core/analog_data.h"
#include "ryx/core/device_lock.h"

namespace ryx::math::instant {

last_front::last_front(ryx::analog_data* source, const QJsonObject& settings) : value(source, settings)
{
}

last_front::~last_front()
{
    prepare_deleting();
}

void last_front::calculate()
{
    update_front();
}

void last_front::update_front()
{
    ryx::analog_data* src = source();
    auto& b = block();
    if (!src || b.empty())
        return;

    const std::size_t n = b.size();
    {
        const ryx::device_lock lock(src);
        const std::size_t s = src->size();
        if (s < n) {
            // Keep the newest n - s samples, the run goes behind them.
            std::move(b.begin() + static_cast<std::ptrdiff_t>(s), b.end(), b.begin());
            std::copy(src->cbegin(), src->cend(), b.end() - static_cast<std::ptrdiff_t>(s));
        } else {
            std::copy(src->cend() - static_cast<std::ptrdiff_t>(n), src->cend(), b.begin());
        }
    }

    for (std::size_t k = 1; k < n; ++k) {
        if (b[n - k] >= 0.0 && b[n - k - 1] < 0.0) {
            m_front = static_cast<std::int64_t>(k);
            break;
        }
    }
}

void last_front::rate_arrived()
{
    if (!sized_without_rate() || !(rate() > 0.0))
        return;
    m_front = -1;
    resize_block(true);
}

void last_front::retune(double f)
{
    if (!(f > 0.0) || std::fabs(f - m_tracking) <= 1e-9)
        return;
    const auto lock = source_lock();
    m_tracking = f;
    m_front = -1;
    // Last: a listener of the new block length may delete this object.
    value::set_time(1.1 / f);
}

} // namespace ryx::math::instant
