#pragma once

#include <cmath>
#include <cstdint>
#include <deque>

namespace ryx::math::instant::detail {

// Extremes of the samples written into a block since it was created. Samples
// leave a block in the order they entered it, so two monotonic queues (of the
// samples that can still become the largest, resp. the smallest) give both
// extremes in amortised O(1) per sample, whatever the block length.
//
// NaN ranks above every number, so a NaN sample is the block's largest value
// while it is in the block, and leaves with it.
class sample_window
{
public:
    // Adds the newest sample.
    void push(double x)
    {
        const std::uint64_t index = m_next++;
        while (!m_high.empty() && !less(x, m_high.back().x))
            m_high.pop_back();
        m_high.push_back({index, x});
        while (!m_low.empty() && !less(m_low.back().x, x))
            m_low.pop_back();
        m_low.push_back({index, x});
        ++m_size;
    }

    // Removes the count oldest samples (all of them if there are fewer).
    void drop_oldest(std::size_t count)
    {
        m_size -= count < m_size ? count : m_size;
        const std::uint64_t oldest = m_next - m_size;
        while (!m_high.empty() && m_high.front().index < oldest)
            m_high.pop_front();
        while (!m_low.empty() && m_low.front().index < oldest)
            m_low.pop_front();
    }

    bool empty() const { return m_size == 0; }
    std::size_t size() const { return m_size; }
    // Both require a non-empty window.
    double largest() const { return m_high.front().x; }
    double smallest() const { return m_low.front().x; }

    void clear()
    {
        m_high.clear();
        m_low.clear();
        m_size = 0;
    }

private:
    struct entry {
        std::uint64_t index;
        double x;
    };

    static bool less(double a, double b) { return a < b || (std::isnan(b) && !std::isnan(a)); }

    std::deque<entry> m_high; // decreasing from the front: front is the largest
    std::deque<entry> m_low;  // increasing from the front: front is the smallest
    std::uint64_t m_next = 0; // index of the next sample
    std::size_t m_size = 0;
};

} // namespace ryx::math::instant::detail
