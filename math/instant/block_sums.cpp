#include "ryx/math/instant/block_sums.h"

#include <cstring>

namespace ryx::math::instant::detail {

namespace {

constexpr std::size_t lanes = lane_sum::lanes;

// Adds n samples to the lanes, sample k to lane k mod 16, in whole rounds of
// the lanes, and returns how many it added; V holds W doubles. With Copy, the
// samples also go to `to` from the same registers.
template <class V, int W, bool Copy>
[[gnu::always_inline]] inline std::size_t add_lanes(double* lane, const double* x, std::size_t n, double* to)
{
    constexpr int K = lanes / W;
    V acc[K];
    std::memcpy(acc, lane, sizeof acc);
    std::size_t i = 0;
    for (; i + lanes <= n; i += lanes) {
        for (int k = 0; k < K; ++k) {
            V v;
            std::memcpy(&v, x + i + k * W, sizeof v);
            if constexpr (Copy)
                std::memcpy(to + i + k * W, &v, sizeof v);
            acc[k] += v;
        }
    }
    std::memcpy(lane, acc, sizeof acc);
    return i;
}

typedef double pair __attribute__((vector_size(16)));

} // namespace

#if defined(__x86_64__) || defined(__i386__)

typedef double quad __attribute__((vector_size(32)));
typedef double octet __attribute__((vector_size(64)));

// The processor's widest vectors, chosen once when the library loads; every
// lane adds its samples in the same order either way.
[[gnu::target("avx512f")]] std::size_t add_whole_rounds(double* lane, const double* x, std::size_t n)
{
    return add_lanes<octet, 8, false>(lane, x, n, nullptr);
}

[[gnu::target("default")]] std::size_t add_whole_rounds(double* lane, const double* x, std::size_t n)
{
    return add_lanes<pair, 2, false>(lane, x, n, nullptr);
}

[[gnu::target("avx2")]] std::size_t add_whole_rounds(double* lane, const double* x, std::size_t n)
{
    return add_lanes<quad, 4, false>(lane, x, n, nullptr);
}

[[gnu::target("avx512f")]] std::size_t copy_whole_rounds(double* lane, const double* x, std::size_t n, double* to)
{
    return add_lanes<octet, 8, true>(lane, x, n, to);
}

[[gnu::target("default")]] std::size_t copy_whole_rounds(double* lane, const double* x, std::size_t n, double* to)
{
    return add_lanes<pair, 2, true>(lane, x, n, to);
}

[[gnu::target("avx2")]] std::size_t copy_whole_rounds(double* lane, const double* x, std::size_t n, double* to)
{
    return add_lanes<quad, 4, true>(lane, x, n, to);
}

#else

std::size_t add_whole_rounds(double* lane, const double* x, std::size_t n)
{
    return add_lanes<pair, 2, false>(lane, x, n, nullptr);
}

std::size_t copy_whole_rounds(double* lane, const double* x, std::size_t n, double* to)
{
    return add_lanes<pair, 2, true>(lane, x, n, to);
}

#endif

void lane_sum::add(const double* x, std::size_t position, std::size_t n)
{
    std::size_t i = 0;
    // Up to the next position that starts a round of the lanes.
    if (position % lanes != 0)
        for (std::size_t at = position % lanes; at < lanes && i < n; ++at, ++i)
            m_lane[at] += x[i];
    i += add_whole_rounds(m_lane, x + i, n - i);
    for (std::size_t at = 0; i < n; ++at, ++i)
        m_lane[at] += x[i];
}

void lane_sum::copy_add(const double* x, std::size_t position, std::size_t n, double* to)
{
    std::size_t i = 0;
    if (position % lanes != 0)
        for (std::size_t at = position % lanes; at < lanes && i < n; ++at, ++i)
            m_lane[at] += to[i] = x[i];
    i += copy_whole_rounds(m_lane, x + i, n - i, to + i);
    for (std::size_t at = 0; i < n; ++at, ++i)
        m_lane[at] += to[i] = x[i];
}

double lane_sum::total() const
{
    // Pairwise, in a fixed order.
    double t[lanes];
    std::memcpy(t, m_lane, sizeof t);
    for (std::size_t width = lanes / 2; width > 0; width /= 2)
        for (std::size_t j = 0; j < width; ++j)
            t[j] += t[j + width];
    return t[0];
}

double lane_sum::of(iterator first, iterator last, double scale)
{
    lane_sum s;
    std::size_t position = 0;
    for (auto it = first; it != last; ++it, ++position)
        s.m_lane[position % lanes] += *it * scale;
    return s.total();
}

} // namespace ryx::math::instant::detail
