#include "ryx/math/instant/freq.h"

#include <algorithm>
#include <cmath>

namespace ryx::math::instant {

namespace {

__extension__ using wide = unsigned __int128;

// Midpoint of the extremes of a non-empty block; NaN while the block holds a
// NaN, so that such a block has no fronts.
double midpoint(const std::vector<double>& block)
{
    double lo = block.front();
    double hi = lo;
    for (double x : block) {
        if (std::isnan(x))
            return x;
        lo = std::min(lo, x);
        hi = std::max(hi, x);
    }
    return (hi + lo) * 0.5;
}

} // namespace

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
    const auto lock = source_lock();
    const double step = get_dt();
    for (auto it = m_fronts.cbegin() + static_cast<std::ptrdiff_t>(m_oldest); it != m_fronts.cend(); ++it)
        out.append(static_cast<double>(*it) * step);
    return out;
}

QJsonArray freq::get_periods() const
{
    QJsonArray out;
    const auto lock = source_lock();
    for (double p : m_periods_live ? current_periods() : m_periods)
        out.append(p);
    return out;
}

double freq::get_variance() const
{
    const auto lock = source_lock();
    return m_variance;
}

void freq::set_dc(double level)
{
    {
        const auto lock = source_lock();
        m_dc = level;
    }
    emit dc_changed();
}

void freq::set_time(double t)
{
    recreate_block(t, [this] {
        // The periods outlive the fronts they came from.
        if (m_periods_live)
            m_periods = current_periods();
        m_periods_live = false;
        clear_fronts();
        m_dropped.clear();
        m_old_fronts = 0;
        m_variance = 0.0;
        m_counter = 0;
        m_previous = 0.0;
        m_lead = 0.0;
    });
}

void freq::push_front_index(std::uint64_t index)
{
    if (m_oldest > 0 && m_fronts.size() == m_fronts.capacity()) {
        m_fronts.erase(m_fronts.begin(), m_fronts.begin() + static_cast<std::ptrdiff_t>(m_oldest));
        m_oldest = 0;
    }
    if (front_count() > 0) {
        const std::uint64_t d = index - m_fronts.back();
        m_squares += d * d;
    }
    m_fronts.push_back(index);
}

void freq::pop_oldest_front()
{
    if (front_count() > 1) {
        const std::uint64_t d = m_fronts[m_oldest + 1] - m_fronts[m_oldest];
        m_squares -= d * d;
    }
    m_dropped.push_back(m_fronts[m_oldest]);
    if (++m_oldest == m_fronts.size())
        clear_fronts();
}

void freq::clear_fronts()
{
    m_fronts.clear();
    m_oldest = 0;
    m_squares = 0;
}

std::vector<double> freq::periods_of(const std::vector<std::uint64_t>& fronts) const
{
    std::vector<double> out;
    out.reserve(fronts.size());
    out.push_back(0.0);
    for (std::size_t i = 1; i < fronts.size(); ++i)
        out.push_back(static_cast<double>(fronts[i] - fronts[i - 1]) * m_live_dt);
    return out;
}

std::vector<double> freq::current_periods() const
{
    return periods_of(
        std::vector<std::uint64_t>(m_fronts.cbegin() + static_cast<std::ptrdiff_t>(m_oldest), m_fronts.cend()));
}

void freq::before_copying_data(iterator first, iterator last)
{
    if (fill_position() == 0)
        m_lead = m_previous;
    if (automatic_level())
        return; // the last full block's fronts stay until this block is full
    m_dropped.clear();
    const std::uint64_t n = block().size();
    const auto count = static_cast<std::uint64_t>(last - first);
    if (m_counter + count <= n)
        return; // the chunk overwrites only zeros of the fresh block
    // The last `leaving` samples of the chunk were written since the block was
    // created; each entered n samples before the one replacing it, and takes
    // its front along. Fronts leave in the order they came.
    const std::uint64_t newest_leaving = m_counter + count - n; // one past
    while (front_count() > 0 && m_fronts[m_oldest] < newest_leaving)
        pop_oldest_front();
}

void freq::after_copying_data(iterator first, iterator last)
{
    if (first == last)
        return;
    if (automatic_level()) {
        // The level is known once the block is full: calculate() scans it.
        m_counter += static_cast<std::uint64_t>(last - first);
        m_previous = *(last - 1);
        return;
    }

    m_old_fronts = front_count();
    const double level = m_dc;
    // Each sample is compared with the one written just before it. That is the
    // block's previous element in ring order, except when a chunk spans the
    // whole block: its first sample would then meet the chunk's own last one.
    double prev = m_previous;
    for (auto it = first; it != last; ++it) {
        if (prev < level && level <= *it)
            push_front_index(m_counter);
        prev = *it;
        ++m_counter;
    }
    m_previous = prev;
    measure();
}

void freq::find_block_fronts()
{
    // The full block lies in order from index 0 and ends at the counter; its
    // first sample is compared with the one written before the block.
    const auto& b = block();
    m_dropped.assign(m_fronts.cbegin() + static_cast<std::ptrdiff_t>(m_oldest), m_fronts.cend());
    m_old_fronts = 0;
    clear_fronts();
    const double level = midpoint(b);
    std::uint64_t index = m_counter - b.size();
    double prev = m_lead;
    for (double x : b) {
        if (prev < level && level <= x)
            push_front_index(index);
        prev = x;
        ++index;
    }
}

void freq::calculate()
{
    if (automatic_level())
        find_block_fronts();
    measure();
}

void freq::measure()
{
    const std::size_t count = front_count();
    if (count < 2) {
        if (m_periods_live) {
            // Keep the periods of the last computation: the fronts that have
            // just left, then those left from before this chunk.
            std::vector<std::uint64_t> last_fronts(m_dropped);
            const auto oldest = m_fronts.cbegin() + static_cast<std::ptrdiff_t>(m_oldest);
            last_fronts.insert(last_fronts.end(), oldest,
                               oldest + static_cast<std::ptrdiff_t>(std::min(m_old_fronts, count)));
            m_periods = periods_of(last_fronts);
            m_periods_live = false;
        }
        m_value = 0.0;
        m_variance = 0.0;
        return;
    }
    m_live_dt = get_dt();
    m_periods_live = true;

    // Interval statistics in whole samples, exact: n intervals spanning
    // back - front samples, with the sum of their squares kept as fronts come
    // and go.
    const std::uint64_t n = count - 1;
    const std::uint64_t span = m_fronts.back() - m_fronts[m_oldest];
    const double mean_period = static_cast<double>(span) * m_live_dt / static_cast<double>(n);
    if (n > 1) {
        // n * sum(d^2) - (sum d)^2 over n (n - 1): the sample variance of the intervals.
        const wide spread = wide(n) * m_squares - wide(span) * span;
        m_variance = static_cast<double>(spread) / (static_cast<double>(n) * static_cast<double>(n - 1)) *
                     m_live_dt * m_live_dt;
    } else {
        m_variance = 0.0; // one interval has no spread to measure
    }
    m_value = 1.0 / mean_period;
}

} // namespace ryx::math::instant
