#include "ryx/math/instant/freq.h"

#include <algorithm>
#include <cmath>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace ryx::math::instant {

namespace {

__extension__ using wide = unsigned __int128;

// The fronts are looked for in segments of at most this many samples, each
// holding at most segment / 2 + 1 of them.
constexpr std::size_t segment = 4096;

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

namespace detail {

// Writes to pos, in order, the positions k of the fronts among n <= segment
// samples: before < level <= x[0] for k = 0, x[k - 1] < level <= x[k] after
// it. Returns their count. The samples are compared in whole vectors, 64 to a
// pair of bit masks (below the level / at or above it); the fronts are the
// bits of below shifted by one and anded with at-or-above, so that the work
// per sample has no branch and each front costs one step.
template <class Compare>
[[gnu::always_inline]] inline std::size_t fronts_by_masks(const double* x, std::size_t n, double before,
                                                          double level, std::uint32_t* pos, Compare compare)
{
    std::size_t count = 0;
    std::uint64_t carry = before < level; // the previous sample was below the level
    std::size_t i = 0;
    for (; i + 64 <= n; i += 64) {
        std::uint64_t below = 0;
        std::uint64_t reached = 0;
        compare(x + i, level, below, reached);
        std::uint64_t fronts = ((below << 1) | carry) & reached;
        carry = below >> 63;
        while (fronts != 0) {
            pos[count++] = static_cast<std::uint32_t>(i + static_cast<std::size_t>(__builtin_ctzll(fronts)));
            fronts &= fronts - 1;
        }
    }
    double prev = i > 0 ? x[i - 1] : before;
    for (; i < n; ++i) {
        const double v = x[i];
        pos[count] = static_cast<std::uint32_t>(i);
        count += (prev < level) & (level <= v);
        prev = v;
    }
    return count;
}

#if defined(__x86_64__) || defined(__i386__)

// Compares 64 samples with the level, two or four at a time. Named types rather
// than lambdas: both versions of find_fronts below share one name, and so would
// lambdas in them when a build emits them out of line.
struct compare_sse2
{
    void operator()(const double* s, double l, std::uint64_t& below, std::uint64_t& reached) const
    {
        const __m128d lv = _mm_set1_pd(l);
        for (int j = 0; j < 64; j += 2) {
            const __m128d v = _mm_loadu_pd(s + j);
            below |= std::uint64_t(_mm_movemask_pd(_mm_cmplt_pd(v, lv))) << j;
            reached |= std::uint64_t(_mm_movemask_pd(_mm_cmple_pd(lv, v))) << j;
        }
    }
};

struct compare_avx2
{
    [[gnu::target("avx2")]] void operator()(const double* s, double l, std::uint64_t& below,
                                            std::uint64_t& reached) const
    {
        const __m256d lv = _mm256_set1_pd(l);
        for (int j = 0; j < 64; j += 4) {
            const __m256d v = _mm256_loadu_pd(s + j);
            below |= std::uint64_t(_mm256_movemask_pd(_mm256_cmp_pd(v, lv, _CMP_LT_OQ))) << j;
            reached |= std::uint64_t(_mm256_movemask_pd(_mm256_cmp_pd(lv, v, _CMP_LE_OQ))) << j;
        }
    }
};

// The processor's widest vectors, chosen once when the library loads.
[[gnu::target("default")]] std::size_t find_fronts(const double* x, std::size_t n, double before, double level,
                                                     std::uint32_t* pos)
{
    return fronts_by_masks(x, n, before, level, pos, compare_sse2());
}

[[gnu::target("avx2")]] std::size_t find_fronts(const double* x, std::size_t n, double before, double level,
                                                  std::uint32_t* pos)
{
    return fronts_by_masks(x, n, before, level, pos, compare_avx2());
}

#else

std::size_t find_fronts(const double* x, std::size_t n, double before, double level, std::uint32_t* pos)
{
    return fronts_by_masks(x, n, before, level, pos,
                           [](const double* s, double l, std::uint64_t& below, std::uint64_t& reached) {
                               for (int j = 0; j < 64; ++j) {
                                   below |= std::uint64_t(s[j] < l) << j;
                                   reached |= std::uint64_t(l <= s[j]) << j;
                               }
                           });
}

#endif

} // namespace detail

freq::freq(ryx::analog_data* source, const QJsonObject& settings) : value(source, settings)
{
    m_dc = settings.value(QLatin1String("dc")).toDouble(std::numeric_limits<double>::infinity());
    set_default_name(QStringLiteral("frequency"));
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

void freq::push_fronts(const double* x, std::size_t n, double before, double level, std::uint64_t index)
{
    std::uint32_t pos[segment / 2 + 1];
    for (std::size_t done = 0; done < n;) {
        const std::size_t m = std::min(segment, n - done);
        const std::size_t count = detail::find_fronts(x + done, m, done == 0 ? before : x[done - 1], level, pos);
        for (std::size_t j = 0; j < count; ++j)
            push_front_index(index + done + pos[j]);
        done += m;
    }
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
    const auto n = static_cast<std::size_t>(last - first);
    // The extremes of the block cycle give the automatic level; they are
    // gathered while the chunks are fresh, and only while every chunk of the
    // cycle is seen with the automatic level.
    if (first == block().cbegin()) {
        m_extremes = {-std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(), false};
        m_extremes_whole = true;
    }
    if (automatic_level()) {
        if (m_extremes_whole) {
            const detail::lane_extremes e = detail::scan_extremes(&*first, n);
            m_extremes.high = std::max(m_extremes.high, e.high);
            m_extremes.low = std::min(m_extremes.low, e.low);
            m_extremes.nan = m_extremes.nan || e.nan;
        }
        // The level is known once the block is full: calculate() scans it.
        m_counter += n;
        m_previous = *(last - 1);
        return;
    }
    m_extremes_whole = false;

    m_old_fronts = front_count();
    // Each sample is compared with the one written just before it. That is the
    // block's previous element in ring order, except when a chunk spans the
    // whole block: its first sample would then meet the chunk's own last one.
    push_fronts(&*first, n, m_previous, m_dc, m_counter);
    m_counter += n;
    m_previous = *(last - 1);
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
    // A block holding a NaN has a NaN level, and no fronts.
    const double level = !m_extremes_whole ? midpoint(b)
                         : m_extremes.nan  ? std::numeric_limits<double>::quiet_NaN()
                                           : (m_extremes.high + m_extremes.low) * 0.5;
    if (!std::isnan(level))
        push_fronts(b.data(), b.size(), m_lead, level, m_counter - b.size());
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
