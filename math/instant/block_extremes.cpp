#include "ryx/math/instant/block_extremes.h"

#include <cstring>
#include <limits>

namespace ryx::math::instant::detail {

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();

// V holds W doubles. Four vectors of lanes per step hide the latency of max
// and min; each comparison is written so that a NaN sample leaves its lane as
// it was, and NaNs are counted apart (a true comparison reads -1).
// With Copy, the samples also go to `to` from the same registers, so that a
// measurement copying a run into its block reads the run once.
template <class V, class C, int W, bool Copy>
[[gnu::always_inline]] inline lane_extremes scan(const double* x, std::size_t n, double* to)
{
    V h0, l0;
    C u0, u1;
    for (int j = 0; j < W; ++j) {
        h0[j] = -inf;
        l0[j] = inf;
        u0[j] = 0;
        u1[j] = 0;
    }
    V h1 = h0, h2 = h0, h3 = h0;
    V l1 = l0, l2 = l0, l3 = l0;
    std::size_t i = 0;
    for (; i + 4 * W <= n; i += 4 * W) {
        V a, b, c, d;
        std::memcpy(&a, x + i, sizeof a);
        std::memcpy(&b, x + i + W, sizeof b);
        std::memcpy(&c, x + i + 2 * W, sizeof c);
        std::memcpy(&d, x + i + 3 * W, sizeof d);
        if constexpr (Copy) {
            std::memcpy(to + i, &a, sizeof a);
            std::memcpy(to + i + W, &b, sizeof b);
            std::memcpy(to + i + 2 * W, &c, sizeof c);
            std::memcpy(to + i + 3 * W, &d, sizeof d);
        }
        h0 = a > h0 ? a : h0;
        h1 = b > h1 ? b : h1;
        h2 = c > h2 ? c : h2;
        h3 = d > h3 ? d : h3;
        l0 = a < l0 ? a : l0;
        l1 = b < l1 ? b : l1;
        l2 = c < l2 ? c : l2;
        l3 = d < l3 ? d : l3;
        u0 -= (C)(a != a);
        u1 -= (C)(b != b);
        u0 -= (C)(c != c);
        u1 -= (C)(d != d);
    }
    h0 = h1 > h0 ? h1 : h0;
    h2 = h3 > h2 ? h3 : h2;
    h0 = h2 > h0 ? h2 : h0;
    l0 = l1 < l0 ? l1 : l0;
    l2 = l3 < l2 ? l3 : l2;
    l0 = l2 < l0 ? l2 : l0;
    u0 += u1;
    lane_extremes r{-inf, inf, false};
    long long nans = 0;
    for (int j = 0; j < W; ++j) {
        r.high = h0[j] > r.high ? h0[j] : r.high;
        r.low = l0[j] < r.low ? l0[j] : r.low;
        nans += u0[j];
    }
    for (; i < n; ++i) {
        const double v = x[i];
        if constexpr (Copy)
            to[i] = v;
        r.high = v > r.high ? v : r.high;
        r.low = v < r.low ? v : r.low;
        nans += v != v;
    }
    r.nan = nans != 0;
    return r;
}

typedef double pair __attribute__((vector_size(16)));
typedef long long pair_count __attribute__((vector_size(16)));

// The last of the n samples that equals v (NaN: the last NaN); v itself when
// none does.
double latest_equal(const double* x, std::size_t n, double v)
{
    const bool nan = std::isnan(v);
    for (std::size_t i = n; i-- > 0;)
        if (x[i] == v || (nan && std::isnan(x[i])))
            return x[i];
    return v;
}

bool holds(const double* x, std::size_t n, double v)
{
    for (std::size_t i = 0; i < n; ++i)
        if (x[i] == v)
            return true;
    return false;
}

} // namespace

#if defined(__x86_64__) || defined(__i386__)

typedef double quad __attribute__((vector_size(32)));
typedef long long quad_count __attribute__((vector_size(32)));

typedef double octet __attribute__((vector_size(64)));
typedef long long octet_count __attribute__((vector_size(64)));

// The processor's widest vectors, chosen once when the library loads.
[[gnu::target("avx512f")]] lane_extremes scan_extremes(const double* x, std::size_t n)
{
    return scan<octet, octet_count, 8, false>(x, n, nullptr);
}

[[gnu::target("default")]] lane_extremes scan_extremes(const double* x, std::size_t n)
{
    return scan<pair, pair_count, 2, false>(x, n, nullptr);
}

[[gnu::target("avx2")]] lane_extremes scan_extremes(const double* x, std::size_t n)
{
    return scan<quad, quad_count, 4, false>(x, n, nullptr);
}

[[gnu::target("avx512f")]] lane_extremes copy_scan_extremes(const double* x, std::size_t n, double* to)
{
    return scan<octet, octet_count, 8, true>(x, n, to);
}

[[gnu::target("default")]] lane_extremes copy_scan_extremes(const double* x, std::size_t n, double* to)
{
    return scan<pair, pair_count, 2, true>(x, n, to);
}

[[gnu::target("avx2")]] lane_extremes copy_scan_extremes(const double* x, std::size_t n, double* to)
{
    return scan<quad, quad_count, 4, true>(x, n, to);
}

#else

lane_extremes scan_extremes(const double* x, std::size_t n)
{
    return scan<pair, pair_count, 2, false>(x, n, nullptr);
}

lane_extremes copy_scan_extremes(const double* x, std::size_t n, double* to)
{
    return scan<pair, pair_count, 2, true>(x, n, to);
}

#endif

void block_extremes::add(const double* x, std::size_t n)
{
    merge(scan_extremes(x, n), x, n);
}

void block_extremes::copy_add(const double* x, std::size_t n, double* to)
{
    merge(copy_scan_extremes(x, n, to), x, n);
}

void block_extremes::merge(const lane_extremes& e, const double* x, std::size_t n)
{
    double hi = e.nan ? std::numeric_limits<double>::quiet_NaN() : e.high;
    double lo = e.low;
    // Only zeros and NaNs can differ from the samples they equal: their bits
    // are those of the latest equal sample. Such extremes are rare and the run
    // is short. A run of NaNs alone leaves low at +inf.
    if (hi == 0.0 || std::isnan(hi))
        hi = latest_equal(x, n, hi);
    if (lo == 0.0)
        lo = latest_equal(x, n, lo);
    else if (e.nan && lo == inf)
        lo = latest_equal(x, n, holds(x, n, lo) ? lo : hi);
    if (m_count == 0) {
        m_largest = hi;
        m_smallest = lo;
    } else {
        if (!ranks_below(hi, m_largest))
            m_largest = hi;
        if (!ranks_below(m_smallest, lo))
            m_smallest = lo;
    }
    m_count += n;
}

} // namespace ryx::math::instant::detail
