#pragma once

#include <cfloat>
#include <cmath>
#include <cstddef>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
//
// A Head of sums (ranged) also has add_checked(x), which reads a subnormal
// sample as 0 and scales its sums when a sample is too large for them, and
// unusual(x), which tells such samples (subnormal, or not below Head::bound).
// The blocks count the samples pushed since the last unusual one: while none is
// in the window (clean), add and add_checked agree, every part has plain units,
// and the statistic's plain merge gives its result; the plain path is the
// fast one.
template <class Head>
class blocks
{
public:
    using head_type = Head;
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
        m_since_unusual = never;
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

    // No unusual sample in the window the cursor describes.
    bool clean(const cursor& c) const { return m_since_unusual >= c.count(); }
    // The plain loop counts its samples once, at its end.
    void count_ordinary(std::size_t k) { m_since_unusual += k; }

    void add(double x)
    {
        cursor c = view();
        push<true>(c, x);
        store(c);
    }

    void remove(const std::vector<double>& ring, std::size_t oldest)
    {
        cursor c = view();
        pop(c, ring, oldest);
        store(c);
    }

    // Appends the newest sample; Checked = false only while the window is clean
    // and x is not unusual.
    template <bool Checked>
    void push(cursor& c, double x)
    {
        if constexpr (Head::ranged && Checked) {
            m_since_unusual = Head::unusual(x) ? 0 : m_since_unusual + 1;
            c.head.add_checked(x);
        } else {
            c.head.add(x); // the loop counts these samples at its end
        }
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
            close(ring, oldest, m_since_unusual < ring.size());
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

    // unusual: the ring may hold an unusual sample.
    void close(const std::vector<double>& ring, std::size_t oldest, bool unusual)
    {
        if constexpr (Head::ranged) {
            if (unusual) {
                close_as<true>(ring, oldest);
                return;
            }
        }
        close_as<false>(ring, oldest);
    }

    template <bool Checked>
    void close_as(const std::vector<double>& ring, std::size_t oldest)
    {
        const auto add = [](Head& acc, double x) {
            if constexpr (Checked)
                acc.add_checked(x);
            else
                acc.add(x);
        };
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
                add(acc, ring[j]);
                --i;
                m_tail[i] = acc.summary(m_inverse[n - i]);
            }
            for (std::size_t j = n; j-- > oldest;) {
                add(acc, ring[j]);
                --i;
                m_tail[i] = acc.summary(m_inverse[n - i]);
            }
        }
        m_next = 0;
        m_head = Head{};
        m_head_count = 0;
    }

    // Far more samples than any window holds: no unusual sample yet.
    static constexpr std::size_t never = std::size_t(1) << 62;

    static inline const part s_empty{};
    std::vector<part> m_tail; // m_tail[i]: summary of tail samples i .. end; one extra empty entry
    std::size_t m_next = 0;
    Head m_head;
    std::size_t m_head_count = 0;
    std::size_t m_since_unusual = never; // samples pushed since the last unusual one
    std::vector<double> m_inverse; // m_inverse[k] = 1 / k
};

// Whether every sample of a run is ordinary: 0, or normal with a magnitude
// below bound (NaN may pass). It keeps the largest magnitude and the least
// subnormal_distance (subnormal.h) in independent vector lanes: a fraction of a
// nanosecond per sample.
inline bool ordinary(const double* first, const double* last, double bound)
{
    using math::detail::half_min;
    double hi = 0.0;
    double lo = half_min;
#if defined(__SSE2__)
    const __m128d sign = _mm_set1_pd(-0.0);
    const __m128d c = _mm_set1_pd(half_min);
    __m128d h0 = _mm_setzero_pd(), h1 = h0, h2 = h0, h3 = h0;
    __m128d l0 = c, l1 = c, l2 = c, l3 = c;
    const auto take = [&](__m128d& h, __m128d& l, const double* p) {
        const __m128d a = _mm_andnot_pd(sign, _mm_loadu_pd(p));
        h = _mm_max_pd(h, a);
        l = _mm_min_pd(l, _mm_andnot_pd(sign, _mm_sub_pd(a, c)));
    };
    for (; last - first >= 8; first += 8) {
        take(h0, l0, first);
        take(h1, l1, first + 2);
        take(h2, l2, first + 4);
        take(h3, l3, first + 6);
    }
    double h[2];
    double l[2];
    _mm_storeu_pd(h, _mm_max_pd(_mm_max_pd(h0, h1), _mm_max_pd(h2, h3)));
    _mm_storeu_pd(l, _mm_min_pd(_mm_min_pd(l0, l1), _mm_min_pd(l2, l3)));
    hi = h[0] > h[1] ? h[0] : h[1];
    lo = l[0] < l[1] ? l[0] : l[1];
#endif
    for (; first != last; ++first) {
        const double a = std::fabs(*first);
        const double t = math::detail::subnormal_distance(*first);
        hi = hi > a ? hi : a;
        lo = lo < t ? lo : t;
    }
    return hi < bound && !(lo < half_min);
}

// A sample that a head's plain path must not see: subnormal, or not below the
// head's bound (infinities included; NaN is not unusual).
inline bool is_unusual(double x, double bound)
{
    return std::fabs(x) >= bound || flushed(x) != x;
}

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
// total, the subnormal samples read as 0 (see subnormal.h). Below `bound` a
// sample cannot make the total of a window (2^24 samples at most) overflow, nor
// the merge of two totals. A part that meets a larger finite sample sums the
// samples times 2^-shift instead, from then on: an exact power of two that
// brings every finite sample below `bound`, so a part's e is 0 or shift. The
// statistic rescales its result by 2^e; any mean or RMS a double can represent
// comes out finite. Infinities and NaN are summed as they are.
template <int Power>
struct power_sum_head
{
    static_assert(Power == 1 || Power == 2);
    static constexpr bool ranged = true;
    static constexpr int shift = Power == 1 ? 28 : 526;
    static constexpr double bound = power_of_two(1024 - shift);
    static constexpr double down = power_of_two(-shift);

    struct part
    {
        double s = 0.0; // sum of (x 2^-e)^Power
        int e = 0;
    };

    part p;

    static bool unusual(double x) { return is_unusual(x, bound); }

    void add(double x) { p.s += Power == 1 ? x : x * x; }

    void add_checked(double x)
    {
        if (p.e == 0 && std::fabs(x) < bound) {
            add(flushed(x));
            return;
        }
        if (p.e == 0 && std::isfinite(x)) {
            p.s = std::ldexp(p.s, -shift * Power);
            p.e = shift;
        }
        const double v = p.e == 0 ? x : flushed(x) * down;
        p.s += Power == 1 ? v : v * v;
    }

    part summary(double) const { return p; }

    // The total of two parts, in the larger exponent of the two; Checked =
    // false for parts known to be plain.
    template <bool Checked = true>
    static part merge(const part& a, const part& b)
    {
        if (!Checked || a.e == b.e)
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
    static constexpr bool ranged = false;
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

// Central moments of a group of samples up to Order (2 or 4): the mean and the
// sums of the 2nd to Order-th powers of the deviations from it (M2..M4), all of
// the samples times 2^-e, an exact power of two (see power_head): the mean is
// mean 2^e, M2 is M2 4^e, and so on.
template <int Order>
struct moments;

template <>
struct moments<2>
{
    double mean = 0.0;
    double m2 = 0.0;
    int e = 0;
};

template <>
struct moments<4>
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
template <int Order>
moments<Order> rescaled(const moments<Order>& m, int e)
{
    const int d = e - m.e;
    if (d == 0)
        return m;
    moments<Order> r = m;
    r.mean = std::ldexp(m.mean, -d);
    r.m2 = std::ldexp(m.m2, -2 * d);
    if constexpr (Order >= 4) {
        r.m3 = std::ldexp(m.m3, -3 * d);
        r.m4 = std::ldexp(m.m4, -4 * d);
    }
    r.e = e;
    return r;
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
// add_checked keeps the sums of the samples times 2^-e, e starting at 0: a
// deviation beyond 2^wide_exponent<Order> (in those units) raises e and
// rescales the sums, both by exact powers of two, so that no power sum of finite
// samples overflows whatever their magnitude. Samples below half that bound
// cannot raise e: their deviations, and the distances of the means of groups
// of them, stay below it.
template <int Order>
struct power_head
{
    using part = moments<Order>;
    static constexpr bool ranged = true;
    static constexpr double wide_bound = power_of_two(wide_exponent<Order>);
    static constexpr double bound = 0.5 * wide_bound;

    double ref = 0.0; // the first sample, times 2^-e
    double n = 0.0;
    double s1 = 0.0;
    double s2 = 0.0;
    double s3 = 0.0;
    double s4 = 0.0;
    double origin = 0.0; // the first sample
    double scale = 1.0;  // 2^-e
    int e = 0;

    static bool unusual(double x) { return is_unusual(x, bound); }

    void add(double x)
    {
        if (n == 0.0)
            ref = origin = x;
        accumulate(x - ref);
    }

    void add_checked(double x)
    {
        x = flushed(x);
        if (n == 0.0)
            ref = origin = x;
        const double y = x * scale - ref;
        if (!(std::fabs(y) < wide_bound) && std::isfinite(x) && std::isfinite(origin))
            *this = raised(*this, x);
        else
            accumulate(y);
    }

    // inverse_count: 1 / the number of samples added.
    part summary(double inverse_count) const
    {
        part m;
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
    // Adds x after raising e so that its deviation, too large for the current
    // units, fits; out of line and on a copy, which keeps the running sums of
    // the caller's loop in registers.
    [[gnu::noinline, gnu::cold]] static power_head raised(power_head h, double x)
    {
        // x * 2^-(e + 2) - ref / 4 cannot overflow.
        const int to = exponent_for<Order>(x * h.scale * 0.25 - h.ref * 0.25, h.e);
        const int d = to - h.e;
        h.s1 = std::ldexp(h.s1, -d);
        h.s2 = std::ldexp(h.s2, -2 * d);
        h.s3 = std::ldexp(h.s3, -3 * d);
        h.s4 = std::ldexp(h.s4, -4 * d);
        h.e = to;
        h.scale = std::ldexp(1.0, -to);
        h.ref = h.origin * h.scale;
        h.accumulate(x * h.scale - h.ref);
        return h;
    }

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
};

// Moments of the union of two groups of na and nb samples, inverse_count being
// 1 / (na + nb), both in units of 2^a.e and delta = b.mean - a.mean (Chan et
// al.; Pebay, "Formulas for robust, one-pass parallel computation of
// covariances and arbitrary-order statistical moments", 2008).
template <int Order>
moments<Order> combine(const moments<Order>& a, double na, const moments<Order>& b, double nb, double inverse_count,
                       double delta)
{
    const double dn = delta * inverse_count;
    const double nab = na * nb;
    moments<Order> r;
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
// the means, then combined.
template <int Order>
[[gnu::noinline, gnu::cold]] moments<Order> merge_wide(moments<Order> a, double na, moments<Order> b, double nb,
                                                      double inverse_count)
{
    int e = a.e > b.e ? a.e : b.e;
    moments<Order> ra = rescaled(a, e);
    moments<Order> rb = rescaled(b, e);
    if (std::isfinite(ra.mean) && std::isfinite(rb.mean)) {
        const double probe = rb.mean * 0.25 - ra.mean * 0.25;
        if (!(std::fabs(probe) < 0.25 * power_head<Order>::wide_bound)) {
            e = exponent_for<Order>(probe, e);
            ra = rescaled(ra, e);
            rb = rescaled(rb, e);
        }
    }
    return combine<Order>(ra, na, rb, nb, inverse_count, rb.mean - ra.mean);
}

// Moments of the union of two groups of na and nb samples, inverse_count being
// 1 / (na + nb); Checked = false for groups known to be plain (no unusual sample).
template <int Order, bool Checked = true>
moments<Order> merge(const moments<Order>& a, double na, const moments<Order>& b, double nb, double inverse_count)
{
    if (na == 0.0)
        return b;
    if (nb == 0.0)
        return a;
    const double delta = b.mean - a.mean;
    if (!Checked || (a.e == b.e && std::fabs(delta) < power_head<Order>::wide_bound))
        return combine<Order>(a, na, b, nb, inverse_count, delta);
    return merge_wide<Order>(a, na, b, nb, inverse_count);
}

} // namespace ryx::math::moving::detail
