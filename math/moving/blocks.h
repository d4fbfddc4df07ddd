#pragma once

#include <cfloat>
#include <cmath>
#include <cstddef>
#include <vector>

#include "ryx/math/detail/subnormal.h"

namespace ryx::math::moving::detail {

using math::detail::flushed;
using math::detail::half;

// A sliding window seen as two parts: the tail of the previous block of samples,
// whose summaries from every index to its end were computed once when the block
// was closed, and the head of the current block, summarised as it grows. The
// window's summary is the merge of one tail summary and the head. Nothing is ever
// taken out of a running sum, so there is no cancellation and no drift: every
// result is as accurate as a fresh computation over the window, and a sample
// (a NaN included) stops counting the moment it leaves the window. Closing a
// block costs one pass over W samples once every W samples: O(1) per sample.
//
// Head is the running summary: default-constructed empty, add(x) appends the
// newest sample, summary(1 / count) returns the Head::part that the tail stores.
// The blocks also keep the reciprocals 1/k of every count k they have held (and
// of one more), so that the per-sample path multiplies instead of dividing.
template <class Head>
class blocks
{
public:
    using part = typename Head::part;

    // The state that changes with every sample, copied out so that a loop can
    // keep it in registers; view() and store() move it in and out.
    struct cursor
    {
        Head head;
        std::size_t head_count;
        std::size_t next;     // index of the oldest tail sample still in the window
        std::size_t tail_end; // index of the sentinel: the tail holds tail_end samples
        const part* tail;
        const double* inverse; // inverse[k] = 1 / k for k < inverse_end, which exceeds count() + 1
        std::size_t inverse_end;

        std::size_t count() const { return tail_end - next + head_count; }
        std::size_t tail_count() const { return tail_end - next; }
        // Summary of the tail samples still in the window (the sentinel when none).
        const part& tail_part() const { return tail[next]; }
        part head_summary() const { return head.summary(inverse[head_count]); }
    };

    blocks() { clear(); }

    // Empties the window; the storage is kept for the next samples. Nothing is
    // allocated until the first sample comes, so an accumulator that a derived
    // statistic never feeds costs no memory.
    void clear()
    {
        m_tail.clear();
        m_next = 0;
        m_head = Head{};
        m_head_count = 0;
    }

    cursor view() const
    {
        // Without a closed block the tail is the sentinel alone: the summary of no samples.
        if (m_tail.empty())
            return {m_head, m_head_count, 0, 0, &s_empty, m_inverse.data(), m_inverse.size()};
        return {m_head, m_head_count, m_next, m_tail.size() - 1, m_tail.data(), m_inverse.data(), m_inverse.size()};
    }

    void store(const cursor& c)
    {
        m_head = c.head;
        m_head_count = c.head_count;
        m_next = c.next;
    }

    void add(double x)
    {
        cursor c = view();
        push(c, x);
        store(c);
    }

    void remove(const std::vector<double>& ring, std::size_t oldest)
    {
        cursor c = view();
        pop(c, ring, oldest);
        store(c);
    }

    // Appends the newest sample.
    void push(cursor& c, double x)
    {
        c.head.add(x);
        ++c.head_count;
        if (c.count() + 1 >= c.inverse_end) {
            store(c);
            grow_inverse(c.count() + 1);
            c = view();
        }
    }

    // Drops the oldest sample. When the tail is used up the whole window is the
    // head; it becomes the new tail, read from the ring oldest first (oldest is
    // the ring index of the oldest sample).
    void pop(cursor& c, const std::vector<double>& ring, std::size_t oldest)
    {
        if (c.next >= c.tail_end) {
            store(c);
            close(ring, oldest);
            c = view();
        }
        if (c.next < c.tail_end)
            ++c.next;
        else if (c.head_count > 0)
            --c.head_count; // nothing to close from: keep the counts sound
    }

private:
    void grow_inverse(std::size_t k)
    {
        if (m_inverse.empty())
            m_inverse.push_back(0.0);
        while (m_inverse.size() <= k)
            m_inverse.push_back(1.0 / static_cast<double>(m_inverse.size()));
    }

    void close(const std::vector<double>& ring, std::size_t oldest)
    {
        const std::size_t n = ring.size();
        grow_inverse(n + 1);
        m_tail.resize(n + 1);
        m_tail[n] = part{};
        Head acc;
        if (n > 0) {
            oldest %= n;
            // Newest to oldest: ring[oldest - 1] ... ring[0], then ring[n - 1] ... ring[oldest].
            std::size_t i = n;
            for (std::size_t j = oldest; j-- > 0;) {
                acc.add(ring[j]);
                --i;
                m_tail[i] = acc.summary(m_inverse[n - i]);
            }
            for (std::size_t j = n; j-- > oldest;) {
                acc.add(ring[j]);
                --i;
                m_tail[i] = acc.summary(m_inverse[n - i]);
            }
        }
        m_next = 0;
        m_head = Head{};
        m_head_count = 0;
    }

    static inline const part s_empty{};
    std::vector<part> m_tail; // m_tail[i]: summary of tail samples i .. end; one extra empty entry
    std::size_t m_next = 0;
    Head m_head;
    std::size_t m_head_count = 0;
    std::vector<double> m_inverse; // m_inverse[k] = 1 / k
};

// 2^k, for the bounds below.
constexpr double power_of_two(int k)
{
    double r = 1.0;
    for (; k > 0; --k)
        r *= 2.0;
    for (; k < 0; ++k)
        r *= 0.5;
    return r;
}

// Sum of the samples (Power 1) or of their squares (Power 2): a plain running
// total, the subnormal samples read as 0 (see subnormal.h). Below `wide` a
// sample cannot make the total of a window (2^24 samples at most) overflow, nor
// the merge of two totals. A part that meets a larger finite sample sums the
// samples times 2^-shift instead, from then on: an exact power of two that
// brings every finite sample below `wide`, so a part's e is 0 or shift. The
// statistic rescales its result by 2^e; any mean or RMS a double can represent
// comes out finite. Infinities and NaN are summed as they are.
template <int Power>
struct power_sum_head
{
    static_assert(Power == 1 || Power == 2);
    static constexpr int shift = Power == 1 ? 28 : 526;
    static constexpr double wide = power_of_two(1024 - shift);
    static constexpr double down = power_of_two(-shift);

    struct part
    {
        double s = 0.0; // sum of (x 2^-e)^Power
        int e = 0;
    };

    part p;
    double limit = wide; // samples not below it take the wide path (all of them once scaled)

    void add(double x)
    {
        const double a = std::fabs(x);
        if (!(a < limit)) {
            p = added_wide(p, x);
            limit = p.e == 0 ? wide : -1.0;
            return;
        }
        const double v = a < DBL_MIN ? 0.0 : x;
        p.s += Power == 1 ? v : v * v;
    }
    part summary(double) const { return p; }

    // Out of line and on values, so that the running state of the ordinary
    // path stays in registers.
    [[gnu::noinline]] static part added_wide(part p, double x)
    {
        if (p.e == 0 && std::isfinite(x)) {
            p.s = std::ldexp(p.s, -shift * Power);
            p.e = shift;
        }
        const double v = p.e == 0 ? x : flushed(x) * down;
        p.s += Power == 1 ? v : v * v;
        return p;
    }

    // The total of two parts, in the larger exponent of the two.
    static part merge(const part& a, const part& b)
    {
        if (a.e == b.e)
            return {a.s + b.s, a.e};
        const double sa = a.e == shift ? a.s : std::ldexp(a.s, -shift * Power);
        const double sb = b.e == shift ? b.s : std::ldexp(b.s, -shift * Power);
        return {sa + sb, shift};
    }
};

using sum_head = power_sum_head<1>;
using square_sum_head = power_sum_head<2>;

// Largest and smallest sample, and the number of NaN samples. The comparisons
// compile to branch-free max/min instructions, which drop a NaN; the NaN count
// lets the window report NaN while one is inside it.
struct extremes
{
    double largest = -HUGE_VAL;
    double smallest = HUGE_VAL;
    std::size_t nans = 0;
};

struct extremes_head
{
    using part = extremes;
    extremes e;
    void add(double x)
    {
        e.largest = e.largest > x ? e.largest : x;
        e.smallest = e.smallest < x ? e.smallest : x;
        e.nans += x != x ? 1 : 0;
    }
    part summary(double) const { return e; }
};

inline extremes merge(const extremes& a, const extremes& b)
{
    return {a.largest > b.largest ? a.largest : b.largest, a.smallest < b.smallest ? a.smallest : b.smallest,
            a.nans + b.nans};
}

// Central moments of a group of samples: the mean and the sums of the 2nd to
// 4th powers of the deviations from it (M2..M4), all of the samples times 2^-e,
// an exact power of two (see power_head): the mean is mean 2^e, M2 is M2 4^e...
struct moments
{
    double mean = 0.0;
    double m2 = 0.0;
    double m3 = 0.0;
    double m4 = 0.0;
    int e = 0;
};

// Deviations below 2^wide_exponent<Order> (in units of 2^e) keep the power sums
// of a window of 2^24 samples, their merges and the statistic formed from them
// finite: (2^200)^4 2^24 or (2^480)^2 2^24 leaves room for the count factors.
template <int Order>
inline constexpr int wide_exponent = Order >= 4 ? 200 : 480;

// The same moments in units of 2^e, e >= m.e; exact unless a small moment
// underflows, and then it is negligible beside the deviations that required e.
inline moments rescaled(const moments& m, int e)
{
    const int d = e - m.e;
    if (d == 0)
        return m;
    return {std::ldexp(m.mean, -d), std::ldexp(m.m2, -2 * d), std::ldexp(m.m3, -3 * d), std::ldexp(m.m4, -4 * d), e};
}

// The exponent e >= from at which a finite deviation given as probe 2^(from + 2)
// lies well below the wide bound, with room for deviations 2^32 times larger.
template <int Order>
int exponent_for(double probe, int from)
{
    const int e = from + 2 + std::ilogb(probe) - (wide_exponent<Order> - 32);
    return e > from ? e : from;
}

// Power sums of the deviations from a reference that is itself one of the
// samples (the first one added). Because the reference lies inside the group,
// its distance to the mean is bounded by the spread of the group, so turning the
// sums into central moments loses at most a few bits more than log2 of the
// count, and a group of equal samples has all sums exactly 0. Subnormal samples
// read as 0 (see subnormal.h).
//
// The sums are kept of the samples times 2^-e, e starting at 0: a deviation
// beyond 2^wide_exponent<Order> (in those units) raises e and rescales the sums,
// both by exact powers of two, so that no power sum of finite samples overflows
// whatever their magnitude. Ordinary samples never leave e = 0 and its path.
template <int Order>
struct power_head
{
    using part = moments;
    static constexpr double wide = power_of_two(wide_exponent<Order>);

    double ref = 0.0; // the first sample, times 2^-e
    double n = 0.0;
    double s1 = 0.0;
    double s2 = 0.0;
    double s3 = 0.0;
    double s4 = 0.0;
    double limit = wide; // deviations not below it take the wide path (all of them once e > 0)
    double origin = 0.0; // the first sample
    int e = 0;

    void add(double x)
    {
        x = flushed(x);
        if (n == 0.0)
            ref = origin = x;
        const double y = x - ref;
        if (!(std::fabs(y) < limit)) {
            *this = added_wide(*this, x);
            return;
        }
        accumulate(y);
    }

    // inverse_count: 1 / the number of samples added.
    moments summary(double inverse_count) const
    {
        moments m;
        if (n == 0.0)
            return m;
        const double d = s1 * inverse_count; // mean - ref
        m.mean = ref + d;
        // Deviations from the mean, expanded about the reference.
        m.m2 = s2 - d * s1;
        if constexpr (Order >= 4) {
            const double d2 = d * d;
            m.m3 = s3 - 3.0 * d * s2 + 2.0 * d2 * s1;
            m.m4 = s4 - 4.0 * d * s3 + 6.0 * d2 * s2 - 3.0 * d2 * d * s1;
        }
        m.m2 = m.m2 < 0.0 ? 0.0 : m.m2; // rounding of an almost constant group; NaN stays
        m.e = e;
        return m;
    }

private:
    void accumulate(double y)
    {
        const double y2 = y * y;
        n += 1.0;
        s1 += y;
        s2 += y2;
        if constexpr (Order >= 4) {
            s3 += y2 * y;
            s4 += y2 * y2;
        }
    }

    // Out of line and on a copy, so that the running sums of the ordinary path
    // stay in registers.
    [[gnu::noinline]] static power_head added_wide(power_head h, double x)
    {
        h.add_scaled(x);
        return h;
    }

    void add_scaled(double x)
    {
        const double scale = std::ldexp(1.0, -e);
        double y = x * scale - ref;
        if (!(std::fabs(y) < wide) && std::isfinite(x) && std::isfinite(origin)) {
            // x * 2^-(e + 2) - ref / 4 cannot overflow.
            const int to = exponent_for<Order>(x * scale * 0.25 - ref * 0.25, e);
            const int d = to - e;
            s1 = std::ldexp(s1, -d);
            s2 = std::ldexp(s2, -2 * d);
            s3 = std::ldexp(s3, -3 * d);
            s4 = std::ldexp(s4, -4 * d);
            e = to;
            ref = std::ldexp(origin, -e);
            limit = -1.0;
            y = std::ldexp(x, -e) - ref;
        }
        accumulate(y);
    }
};

// Moments of the union of two groups of na and nb samples, inverse_count being
// 1 / (na + nb), both in units of 2^a.e and delta = b.mean - a.mean (Chan et
// al.; Pebay, "Formulas for robust, one-pass parallel computation of
// covariances and arbitrary-order statistical moments", 2008).
template <int Order>
moments combine(const moments& a, double na, const moments& b, double nb, double inverse_count, double delta)
{
    const double dn = delta * inverse_count;
    const double nab = na * nb;
    moments r;
    r.mean = a.mean + dn * nb;
    r.m2 = a.m2 + b.m2 + delta * dn * nab;
    if constexpr (Order >= 4) {
        const double dn2 = dn * dn;
        r.m3 = a.m3 + b.m3 + delta * dn2 * nab * (na - nb) + 3.0 * dn * (na * b.m2 - nb * a.m2);
        r.m4 = a.m4 + b.m4 + delta * dn2 * dn * nab * (na * na - nab + nb * nb)
               + 6.0 * dn2 * (na * na * b.m2 + nb * nb * a.m2) + 4.0 * dn * (na * b.m3 - nb * a.m3);
    }
    r.e = a.e;
    return r;
}

// The merge of two groups whose units differ, or whose means lie too far apart
// (or are not finite): both are brought to the units that hold the distance of
// the means, then combined. Out of line and on copies, so that the ordinary
// merge keeps its groups in registers.
template <int Order>
[[gnu::noinline]] moments merge_wide(moments a, double na, moments b, double nb, double inverse_count)
{
    int e = a.e > b.e ? a.e : b.e;
    moments ra = rescaled(a, e);
    moments rb = rescaled(b, e);
    if (std::isfinite(ra.mean) && std::isfinite(rb.mean)) {
        const double probe = rb.mean * 0.25 - ra.mean * 0.25;
        if (!(std::fabs(probe) < 0.25 * power_head<Order>::wide)) {
            e = exponent_for<Order>(probe, e);
            ra = rescaled(ra, e);
            rb = rescaled(rb, e);
        }
    }
    return combine<Order>(ra, na, rb, nb, inverse_count, rb.mean - ra.mean);
}

// Moments of the union of two groups of na and nb samples, inverse_count being
// 1 / (na + nb).
template <int Order>
moments merge(const moments& a, double na, const moments& b, double nb, double inverse_count)
{
    if (na == 0.0)
        return b;
    if (nb == 0.0)
        return a;
    const double delta = b.mean - a.mean;
    if (a.e == b.e && std::fabs(delta) < power_head<Order>::wide)
        return combine<Order>(a, na, b, nb, inverse_count, delta);
    return merge_wide<Order>(a, na, b, nb, inverse_count);
}

} // namespace ryx::math::moving::detail
