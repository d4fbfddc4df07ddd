#pragma once

#include <cmath>
#include <set>

namespace ryx::math::instant::detail {

// The samples currently in a block, ordered, for O(log N) extremes.
//
// NaN samples are ordered above every number (and equal to one another), so
// that a NaN can neither break the ordering of the tree nor stay in it after
// its sample has left the block.
class sample_set
{
public:
    struct order {
        bool operator()(double a, double b) const { return a < b || (std::isnan(b) && !std::isnan(a)); }
    };

    // Inserted after any equal elements.
    void insert(double x) { m_set.insert(x); }

    // Erases one element equal to x; false when there is none.
    bool erase_one(double x)
    {
        const auto it = m_set.lower_bound(x);
        if (it == m_set.end() || order()(x, *it))
            return false;
        m_set.erase(it);
        return true;
    }

    bool empty() const { return m_set.empty(); }
    std::size_t size() const { return m_set.size(); }
    // Both require a non-empty set.
    double smallest() const { return *m_set.begin(); }
    double largest() const { return *m_set.rbegin(); }
    void clear() { m_set.clear(); }

private:
    std::multiset<double, order> m_set;
};

} // namespace ryx::math::instant::detail
