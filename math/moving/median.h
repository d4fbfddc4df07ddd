#pragma once

#include <vector>

#include "ryx/math/moving/statistic.h"

namespace ryx::math::moving {

// Moving median. The window is split into a lower half (a max-heap) and an upper
// half (a min-heap) of equal sizes, or with one sample more in the lower half:
// the median is the top of the lower half for an odd count, the mean of both
// tops for an even one, 0 for an empty window. Each heap entry knows its ring
// slot and each slot its heap entry, so the sample leaving the window is
// replaced in place by the one entering: O(log W) per sample, no allocation once
// the window is full. A NaN in the window makes the median NaN until it leaves.
class RYX_MATH_EXPORT median : public per_sample<median, data>
{
    Q_OBJECT

public:
    median(ryx::analog_data* source, bool temporary);
    ~median() override;

public slots:
    void remove_value(double x) override;
    void add_value(double x) override;
    double get_value() const override;
    void reset_time() override;

private:
    struct entry
    {
        double value;
        int slot;
    };

    template <bool Low>
    void sift_up(std::size_t i) const;
    template <bool Low>
    void sift_down(std::size_t i) const;
    template <bool Low>
    void push(const entry& e) const;
    template <bool Low>
    entry pop() const;
    template <bool Low>
    void erase_at(std::size_t i) const;
    void balance() const;
    void insert(int slot, double x);
    void erase(int slot) const;
    void replace(int slot, double x);
    void settle() const;

    // The heaps change under get_value() when a deferred removal is applied.
    mutable std::vector<entry> m_low;  // lower half, largest on top
    mutable std::vector<entry> m_high; // upper half, smallest on top
    mutable std::vector<int> m_where;  // per ring slot: heap position (see median.cpp)
    mutable int m_nan = 0;             // NaN samples in the window
    mutable int m_pending = -1;        // slot whose sample left, awaiting its successor
};

extern template class per_sample<median, data>;

} // namespace ryx::math::moving
