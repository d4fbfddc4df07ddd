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
// newest sample, summary(1 / count) returns the Head::part that the tail stores,
// restarted() is the empty head that continues a closed block (on the same
// reference, for a referenced Head).
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
        std::size_t close_at; // dropping tail sample close_at closes the block instead
        const part* tail;
        const double* inverse; // inverse[k] = 1 / k for k < inverse_end, which exceeds count() + 1
        std::size_t inverse_end;

        std::size_t count() const { return tail_end - next + head_count; }
        std::size_t tail_count() const { return tail_end - next; }
        // Summary of the tail samples still in the window (the sentinel when none).
        const part& tail_part() const { return tail[next]; }
    };

    blocks() { clear(); }

    // Empties the window; the storage is kept for the next samples. Nothing is
    // allocated until the first sample comes, so an accumulator that a derived
    // statistic never feeds costs no memory.
    void clear()
    {
        m_tail.clear();
        m_next = 0;
        m_close_at = 0;
        m_head = Head{};
        m_head_count = 0;
        m_since_unusual = never;
    }

    cursor view() const
    {
        // Without a closed block the tail is the sentinel alone: the summary of no samples.
        if (m_tail.empty())
            return {m_head, m_head_count, 0, 0, 0, &s_empty, m_inverse.data(), m_inverse.size()};
        return {m_head,          m_head_count,     m_next,           m_tail.size() - 1,
                m_close_at,      m_tail.data(),    m_inverse.data(), m_inverse.size()};
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

    // Samples the window can take while it stays full before a block closes:
    // during them every new sample drops one tail sample (see slide_full).
    static std::size_t room(const cursor& c) { return c.close_at - c.next; }

    // The newest samples io[0 .. k) of a full window, k <= room(c), each
    // dropping the oldest, whose ring slot ring[i] takes it; io[i] becomes
    // value(cursor) after it. The same steps as pop, push and value, sample
    // by sample, without their bookkeeping: the count stays the window's
    // length and no block closes.
    template <bool Checked, class Value>
    void slide_full(cursor& in_out, double* __restrict io, double* __restrict ring, std::size_t k, const Value& value)
    {
        // A local the stores cannot touch: it stays in registers. Each sample
        // moves the tail's view one entry on instead of counting one more head
        // sample and one fewer tail sample: the count, and what the value rule
        // derives from it, stays visibly the same through the loop.
        cursor c = in_out;
        std::size_t since = m_since_unusual;
        for (std::size_t i = 0; i < k; ++i) {
            const double v = io[i];
            ring[i] = v;
            ++c.tail;
            if constexpr (Head::ranged && Checked) {
                since = Head::unusual(v) ? 0 : since + 1;
                c.head.add_checked(v);
            } else {
                c.head.add_based(v);
            }
            io[i] = value(c);
        }
        if constexpr (Head::ranged && Checked)
            m_since_unusual = since;
        c.tail -= k;
        c.next += k;
        c.head_count += k;
        in_out = c;
    }

    // Drops the oldest sample. When the tail is used up the whole window is the
    // head; it becomes the new tail, read from the ring oldest first (oldest is
    // the ring index of the oldest sample). A head whose sums are taken about a
    // reference sample (Head::referenced) closes the block before that sample
    // would leave, so that the reference always lies in the window.
    void pop(cursor& c, const std::vector<double>& ring, std::size_t oldest)
    {
        if (c.next >= c.close_at) {
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
        const std::size_t n = ring.size();
        grow_inverse(n + 1);
        m_tail.resize(n + 1);
        m_tail[n] = part{};
        m_close_at = n;
        Head acc;
        if (n > 0) {
            oldest %= n;
            if constexpr (Head::referenced) {
                m_close_at = reference_rank(ring, oldest);
                acc.based_on(flushed(ring[(oldest + m_close_at) % n]));
            }
            close_pass<Checked>(acc, ring, oldest);
        }
        m_next = 0;
        m_head = acc.restarted();
        m_head_count = 0;
    }

    // The close pass, taken four samples at a time so that it is not one long
    // chain of dependent additions: the partial sums of a group (newest first)
    // are formed apart from the running total, which then takes one join per
    // group. acc is the empty head the pass starts from (on the reference, for a
    // referenced head). The checked pass has the same grouping, so that a window
    // without unusual samples gets the same tail bit for bit either way.
    template <bool Checked>
    void close_pass(const Head& acc, const std::vector<double>& ring, std::size_t oldest)
    {
        const auto add = [](Head& h, double x) {
            if constexpr (Checked)
                h.add_checked(x);
            else
                h.add(x);
        };
        const std::size_t n = ring.size();
        part* const tail = m_tail.data();
        part total = acc.summary(0.0);
        // Samples src[0 .. k), newest (src[k - 1]) first, into tail[t0 .. t0 + k).
        const auto scan = [&](const double* src, std::size_t k, std::size_t t0) {
            std::size_t j = k;
            for (; j >= 4; j -= 4) {
                const std::size_t t = t0 + j;
                Head g = acc;
                add(g, src[j - 1]);
                tail[t - 1] = Head::template join<Checked>(total, g.summary(0.0));
                add(g, src[j - 2]);
                tail[t - 2] = Head::template join<Checked>(total, g.summary(0.0));
                add(g, src[j - 3]);
                tail[t - 3] = Head::template join<Checked>(total, g.summary(0.0));
                add(g, src[j - 4]);
                total = Head::template join<Checked>(total, g.summary(0.0));
                tail[t - 4] = total;
            }
            for (; j-- > 0;) {
                Head g = acc;
                add(g, src[j]);
                total = Head::template join<Checked>(total, g.summary(0.0));
                tail[t0 + j] = total;
            }
        };
        // Tail index t is the sample of rank t (0: oldest): ring[oldest ..] then ring[0 .. oldest).
        scan(ring.data(), oldest, n - oldest);
        scan(ring.data() + oldest, n - oldest, 0);
    }

    // The rank (0: oldest) of the sample that a referenced head takes as its
    // reference: of the newest quarter of the window, which stays in the window
    // for at least three quarters of the next block, the one nearest to that
    // quarter's mean, the newest on a tie or when the mean is not finite. A
    // typical sample keeps the deviations of the order of the spread even
    // where an outlier is the newest sample.
    static std::size_t reference_rank(const std::vector<double>& ring, std::size_t oldest)
    {
        const std::size_t n = ring.size();
        const std::size_t quarter = n / 4 > 1 ? n / 4 : 1;
        // The quarter in ring order: ring[from ..] then, past the ring's end, ring[0 ..].
        const std::size_t from = (oldest + n - quarter) % n;
        const std::size_t first_part = n - from < quarter ? n - from : quarter;
        const double* const a = ring.data() + from;
        const double* const b = ring.data();
        double sum = 0.0;
        for (std::size_t i = 0; i < first_part; ++i)
            sum += flushed(a[i]);
        for (std::size_t i = 0; i < quarter - first_part; ++i)
            sum += flushed(b[i]);
        const double mean = sum / static_cast<double>(quarter);
        // Newest first, so that a tie keeps the newer sample.
        std::size_t best = quarter - 1;
        double nearest = std::fabs(flushed(ring[(from + best) % n]) - mean);
        for (std::size_t i = quarter - first_part; i-- > 0;) {
            const double distance = std::fabs(flushed(b[i]) - mean);
            best = distance < nearest ? first_part + i : best;
            nearest = distance < nearest ? distance : nearest;
        }
        for (std::size_t i = first_part; i-- > 0;) {
            const double distance = std::fabs(flushed(a[i]) - mean);
            best = distance < nearest ? i : best;
            nearest = distance < nearest ? distance : nearest;
        }
        return n - quarter + best;
    }

    // Far more samples than any window holds: no unusual sample yet.
    static constexpr std::size_t never = std::size_t(1) << 62;

    static inline const part s_empty{};
    std::vector<part> m_tail; // m_tail[i]: summary of tail samples i .. end; one extra empty entry
    std::size_t m_next = 0;
    std::size_t m_close_at = 0; // tail index of the reference, or the tail's length
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
    static constexpr bool referenced = false;
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
    void add_based(double x) { add(x); }

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
    power_sum_head restarted() const { return {}; }
    // The total of two parts (checked: in units that may differ), for the close pass.
    template <bool Checked>
    static part join(const part& a, const part& b)
    {
        return merge<Checked>(a, b);
    }

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
    static constexpr bool referenced = false;
    extremes e;
    void add_based(double x) { add(x); }
    void add(double x)
    {
        e.largest = e.largest > x ? e.largest : x;
        e.smallest = e.smallest < x ? e.smallest : x;
        e.nans += x != x ? 1 : 0;
    }
    part summary(double) const { return e; }
    extremes_head restarted() const { return {}; }
    template <bool Checked>
    static part join(const part& a, const part& b);
};

inline extremes merge(const extremes& a, const extremes& b)
{
    return {a.largest > b.largest ? a.largest : b.largest, a.smallest < b.smallest ? a.smallest : b.smallest,
            a.nans + b.nans};
}

template <bool Checked>
extremes extremes_head::join(const extremes& a, const extremes& b)
{
    return merge(a, b);
}

// Sums of the 1st to Order-th powers of the deviations of a group of samples
// from a reference value, all of them times 2^-e, an exact power of two (see
// power_head): s[k - 1] is the sum of ((x - r) 2^-e)^k.
//
// For the fourth order the sums are compensated: c[k - 1] holds what rounding
// took from s[k - 1], so that s + c is the sum as if formed in about twice the
// precision. The kurtosis is a ratio of nearly cancelling terms of these sums;
// plain sums of W terms would make its error grow with W.
template <int Order, bool Compensated = (Order >= 4)>
struct power_sums
{
    static constexpr bool compensated = false;
    double s[Order] = {};
    int e = 0;

    double sum(int k) const { return s[k]; }
};

template <int Order>
struct power_sums<Order, true>
{
    static constexpr bool compensated = true;
    double s[Order] = {};
    double c[Order] = {};
    int e = 0;

    double sum(int k) const { return s[k] + c[k]; }
};

// s += v, keeping in c what the addition rounded away (Knuth's two-sum, exact
// whatever the magnitudes; correct only without reassociating optimisations).
inline void add_compensated(double& s, double& c, double v)
{
    const double t = s + v;
    const double vv = t - s;
    c += (s - (t - vv)) + (v - vv);
    s = t;
}

// k-th sum of a + b into r (which may be a or b).
template <class Sums>
inline void add_sums(Sums& r, const Sums& a, const Sums& b, int k)
{
    if constexpr (Sums::compensated) {
        const double cs = a.c[k] + b.c[k];
        double sum = a.s[k];
        double c = cs;
        add_compensated(sum, c, b.s[k]);
        r.s[k] = sum;
        r.c[k] = c;
    } else {
        r.s[k] = a.s[k] + b.s[k];
    }
}

// Deviations below 2^wide_exponent<Order> (in units of 2^e) keep the power sums
// of a window of 2^24 samples and the central moments formed from them finite:
// (2^200)^4 2^24 or (2^480)^2 2^24 leaves room for the count factors.
template <int Order>
inline constexpr int wide_exponent = Order >= 4 ? 200 : 480;

// The same sums in units of 2^e, e >= m.e; exact unless a small sum underflows,
// and then it is negligible beside the deviations that required e.
template <int Order>
power_sums<Order> rescaled(const power_sums<Order>& m, int e)
{
    const int d = e - m.e;
    power_sums<Order> r = m;
    for (int k = 0; k < Order; ++k) {
        r.s[k] = std::ldexp(m.s[k], -(k + 1) * d);
        if constexpr (power_sums<Order>::compensated)
            r.c[k] = std::ldexp(m.c[k], -(k + 1) * d);
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

// Power sums of the deviations from a reference r that is one of the samples of
// the window. The head and the tail of a window share it: the blocks take the
// newest sample of the tail, the one the close pass adds first, and rebuild the
// tail before that sample leaves (Head::referenced). Deviations from a sample
// of the window are of the order of the window's spread, so the central moments
// formed from the sums lose at most a few bits more than log2 of the count,
// however far the samples lie from 0; a window of equal samples has all sums
// exactly 0. Subnormal samples read as 0 (see subnormal.h).
//
// add_checked keeps the sums of the samples times 2^-e, e starting at 0: a
// deviation beyond 2^wide_exponent<Order> (in those units) raises e and
// rescales the sums, both by exact powers of two, so that no power sum of finite
// samples overflows whatever their magnitude. Samples below half that bound
// cannot raise e: their deviations from one another stay below it.
template <int Order>
struct power_head
{
    using part = power_sums<Order>;
    static constexpr bool ranged = true;
    static constexpr bool referenced = true;
    static constexpr double wide_bound = power_of_two(wide_exponent<Order>);
    static constexpr double bound = 0.5 * wide_bound;

    part p;
    double ref = 0.0;    // the reference, times 2^-e
    double origin = 0.0; // the reference
    double scale = 1.0;  // 2^-e
    bool based = false;  // the reference is set: by the first sample, or by the tail

    static bool unusual(double x) { return is_unusual(x, bound); }

    void add(double x)
    {
        if (!based)
            based_on(x);
        add_based(x);
    }

    // add(x) for a head that has its reference.
    void add_based(double x) { accumulate(x - ref); }

    void add_checked(double x)
    {
        x = flushed(x);
        if (!based)
            based_on(x);
        const double y = x * scale - ref;
        if (!(std::fabs(y) < wide_bound) && std::isfinite(x) && std::isfinite(origin))
            *this = raised(*this, x);
        else
            accumulate(y);
    }

    part summary(double) const { return p; }
    // The total of two parts (checked: in units that may differ), for the close pass.
    template <bool Checked>
    static part join(const part& a, const part& b);

    // An empty head on the same reference, in plain units.
    power_head restarted() const
    {
        power_head h;
        h.ref = origin;
        h.origin = origin;
        h.based = based;
        return h;
    }

    // Takes r, a sample read as add_checked reads it, as the reference.
    void based_on(double r)
    {
        ref = origin = r;
        based = true;
    }

private:

    // Adds x after raising e so that its deviation, too large for the current
    // units, fits; out of line and on a copy, which keeps the running sums of
    // the caller's loop in registers.
    [[gnu::noinline, gnu::cold]] static power_head raised(power_head h, double x)
    {
        // x * 2^-(e + 2) - ref / 4 cannot overflow.
        const int to = exponent_for<Order>(x * h.scale * 0.25 - h.ref * 0.25, h.p.e);
        h.p = rescaled(h.p, to);
        h.scale = std::ldexp(1.0, -to);
        h.ref = h.origin * h.scale;
        h.accumulate(x * h.scale - h.ref);
        return h;
    }

    void accumulate(double y)
    {
        const double y2 = y * y;
        if constexpr (part::compensated) {
            add_compensated(p.s[0], p.c[0], y);
            add_compensated(p.s[1], p.c[1], y2);
            add_compensated(p.s[2], p.c[2], y2 * y);
            add_compensated(p.s[3], p.c[3], y2 * y2);
        } else {
            p.s[0] += y;
            p.s[1] += y2;
            if constexpr (Order >= 4) {
                p.s[2] += y2 * y;
                p.s[3] += y2 * y2;
            }
        }
    }
};

// Sums in units that differ: both in the larger.
template <int Order>
[[gnu::noinline, gnu::cold]] power_sums<Order> merge_units(const power_sums<Order>& a, const power_sums<Order>& b)
{
    const int e = a.e > b.e ? a.e : b.e;
    const power_sums<Order> ra = rescaled(a, e);
    const power_sums<Order> rb = rescaled(b, e);
    power_sums<Order> r;
    for (int k = 0; k < Order; ++k)
        add_sums(r, ra, rb, k);
    r.e = e;
    return r;
}

// The sums over the union of two groups about the same reference; Checked =
// false for groups known to be plain (no unusual sample, both in units of 1).
template <int Order, bool Checked = true>
power_sums<Order> merge(const power_sums<Order>& a, const power_sums<Order>& b)
{
    if (Checked && a.e != b.e)
        return merge_units<Order>(a, b);
    power_sums<Order> r;
    for (int k = 0; k < Order; ++k)
        add_sums(r, a, b, k);
    r.e = a.e;
    return r;
}

template <int Order>
template <bool Checked>
power_sums<Order> power_head<Order>::join(const power_sums<Order>& a, const power_sums<Order>& b)
{
    return merge<Order, Checked>(a, b);
}

// Central moments of n samples from their power sums about a reference in the
// same units, times powers of n that keep every product a power sum: n M2 =
// n S2 - S1^2 and, for Order 4, n^3 M4 = n^3 S4 - 4 n^2 S1 S3 + 6 n S1^2 S2 -
// 3 S1^4 (M2, M4: sums of the powers of the deviations from the mean). Formed
// so, a window of small integers gives its variance rounded once.
struct central
{
    double n_m2 = 0.0;
    double n3_m4 = 0.0;
};

template <int Order>
central central_moments(const power_sums<Order>& p, double n)
{
    central m;
    const double s1 = p.sum(0);
    const double s2 = p.sum(1);
    const double s1s1 = s1 * s1;
    m.n_m2 = n * s2 - s1s1;
    if constexpr (Order >= 4)
        m.n3_m4 = n * (n * (n * p.sum(3) - 4.0 * s1 * p.sum(2)) + 6.0 * s1s1 * s2) - 3.0 * s1s1 * s1s1;
    // Rounding of an almost constant window may leave n M2 below 0; NaN stays.
#if defined(__SSE2__)
    m.n_m2 = _mm_cvtsd_f64(_mm_max_sd(_mm_setzero_pd(), _mm_set_sd(m.n_m2))); // 0 > x ? 0 : x, branch-free
#else
    m.n_m2 = 0.0 > m.n_m2 ? 0.0 : m.n_m2;
#endif
    return m;
}

} // namespace ryx::math::moving::detail
