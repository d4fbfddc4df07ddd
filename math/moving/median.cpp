#include "ryx/math/moving/median.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace ryx::math::moving {

namespace {

// m_where codes: 2i for entry i of the lower heap, 2i + 1 for entry i of the
// upper heap, or one of these.
constexpr int no_sample = -1;
constexpr int nan_sample = -2;

// Children per heap entry: four halve the depth of a binary heap, and the four
// children of an entry share a cache line or two.
constexpr std::size_t arity = 4;

template <bool Low>
constexpr int code(std::size_t i)
{
    return static_cast<int>(2 * i + (Low ? 0 : 1));
}

// Whether a belongs above b: the lower half is a max-heap, the upper a min-heap.
template <bool Low>
bool above(double a, double b)
{
    return Low ? a > b : a < b;
}

} // namespace

median::median(ryx::analog_data* source, bool temporary) : per_sample(source, temporary)
{
    set_name(tr("median"));
}

median::~median()
{
    retire();
}

template <bool Low>
void median::sift_up(std::size_t i) const
{
    std::vector<entry>& h = Low ? m_low : m_high;
    const entry e = h[i];
    while (i > 0) {
        const std::size_t parent = (i - 1) / arity;
        if (!above<Low>(e.value, h[parent].value))
            break;
        h[i] = h[parent];
        m_where[static_cast<std::size_t>(h[i].slot)] = code<Low>(i);
        i = parent;
    }
    h[i] = e;
    m_where[static_cast<std::size_t>(e.slot)] = code<Low>(i);
}

template <bool Low>
void median::sift_down(std::size_t i) const
{
    // Bottom-up: the hole left by e runs down to a leaf along the best child,
    // then e rises from there, usually by a step or two, since most entries live
    // near the leaves.
    std::vector<entry>& h = Low ? m_low : m_high;
    const std::size_t n = h.size();
    const entry e = h[i];
    for (std::size_t first = arity * i + 1; first < n; first = arity * i + 1) {
        const std::size_t end = std::min(first + arity, n);
        std::size_t best = first;
        for (std::size_t c = first + 1; c < end; ++c)
            best = above<Low>(h[c].value, h[best].value) ? c : best;
        h[i] = h[best];
        m_where[static_cast<std::size_t>(h[i].slot)] = code<Low>(i);
        i = best;
    }
    h[i] = e;
    sift_up<Low>(i);
}

template <bool Low>
void median::push(const entry& e) const
{
    std::vector<entry>& h = Low ? m_low : m_high;
    h.push_back(e);
    sift_up<Low>(h.size() - 1);
}

template <bool Low>
median::entry median::pop() const
{
    std::vector<entry>& h = Low ? m_low : m_high;
    const entry top = h.front();
    h.front() = h.back();
    h.pop_back();
    if (!h.empty())
        sift_down<Low>(0);
    return top;
}

template <bool Low>
void median::erase_at(std::size_t i) const
{
    std::vector<entry>& h = Low ? m_low : m_high;
    h[i] = h.back();
    h.pop_back();
    if (i == h.size())
        return;
    if (i > 0 && above<Low>(h[i].value, h[(i - 1) / arity].value))
        sift_up<Low>(i);
    else
        sift_down<Low>(i);
}

void median::balance() const
{
    // One insertion or removal leaves the halves at most one entry off.
    if (m_low.size() > m_high.size() + 1)
        push<false>(pop<true>());
    else if (m_high.size() > m_low.size())
        push<true>(pop<false>());
}

void median::insert(int slot, double x)
{
    const auto s = static_cast<std::size_t>(slot);
    if (s >= m_where.size())
        m_where.resize(s + 1, no_sample);
    else if (m_where[s] != no_sample)
        erase(slot); // a stale entry: the slot holds one sample at a time
    if (std::isnan(x)) {
        m_where[s] = nan_sample;
        ++m_nan;
        return;
    }
    if (m_low.empty() || !(x > m_low.front().value))
        push<true>({x, slot});
    else
        push<false>({x, slot});
    balance();
}

void median::erase(int slot) const
{
    const auto s = static_cast<std::size_t>(slot);
    if (s >= m_where.size())
        return;
    const int where = m_where[s];
    m_where[s] = no_sample;
    if (where == no_sample)
        return;
    if (where == nan_sample) {
        --m_nan;
        return;
    }
    const auto i = static_cast<std::size_t>(where / 2);
    if (where % 2 == 0)
        erase_at<true>(i);
    else
        erase_at<false>(i);
    balance();
}

void median::replace(int slot, double x)
{
    const int where = m_where[static_cast<std::size_t>(slot)];
    const auto i = static_cast<std::size_t>(where / 2);
    if (where % 2 == 0) {
        if (!m_high.empty() && x > m_high.front().value) {
            // x belongs to the upper half: the smallest of the upper half takes
            // the leaving sample's place below (it is not smaller than it), and x
            // sinks into the upper half from its top.
            m_low[i] = m_high.front();
            sift_up<true>(i);
            m_high.front() = {x, slot};
            sift_down<false>(0);
            return;
        }
        const double old = m_low[i].value;
        m_low[i].value = x;
        if (x > old)
            sift_up<true>(i);
        else
            sift_down<true>(i);
    } else {
        if (x < m_low.front().value) {
            m_high[i] = m_low.front();
            sift_up<false>(i);
            m_low.front() = {x, slot};
            sift_down<true>(0);
            return;
        }
        const double old = m_high[i].value;
        m_high[i].value = x;
        if (x < old)
            sift_up<false>(i);
        else
            sift_down<false>(i);
    }
}

void median::settle() const
{
    if (m_pending >= 0) {
        const int slot = m_pending;
        m_pending = -1;
        erase(slot);
    }
}

void median::remove_value(double)
{
    settle();
    m_pending = position();
}

void median::add_value(double x)
{
    const int slot = position();
    const auto s = static_cast<std::size_t>(slot);
    if (m_pending == slot && !std::isnan(x) && s < m_where.size() && m_where[s] >= 0) {
        m_pending = -1;
        replace(slot, x);
        return;
    }
    settle();
    insert(slot, x);
}

double median::get_value() const
{
    settle();
    if (m_nan > 0)
        return std::numeric_limits<double>::quiet_NaN();
    if (m_low.empty())
        return 0.0;
    if (m_low.size() == m_high.size())
        return detail::half(m_low.front().value + m_high.front().value);
    return m_low.front().value;
}

void median::reset_time()
{
    m_low.clear();
    m_high.clear();
    m_where.clear();
    m_nan = 0;
    m_pending = -1;
    data::reset_time();
}

template class per_sample<median, data>;

} // namespace ryx::math::moving
