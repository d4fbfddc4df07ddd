#pragma once

#include <cmath>
#include <cstddef>

namespace ryx::math::instant::detail {

// The order of the extreme measurements: NaN ranks above every number, and of
// equal samples the one written last counts. Equal samples differ in their
// bits only as zeros of either sign or as NaNs of different payloads, so that
// rule decides the sign of a zero extreme and the payload of a NaN one.
inline bool ranks_below(double a, double b)
{
    return a < b || (std::isnan(b) && !std::isnan(a));
}

// The largest and smallest numbers of n samples, NaN ignored (-inf and +inf
// when there is none), and whether a NaN was among them: one read through
// independent lanes of packed max and min, with no branch on the data, in the
// widest vectors the processor offers.
struct lane_extremes
{
    double high;
    double low;
    bool nan;
};

lane_extremes scan_extremes(const double* x, std::size_t n);
// The same, copying the samples to `to` (not overlapping x) in the same pass.
lane_extremes copy_scan_extremes(const double* x, std::size_t n, double* to);

// The extremes of the samples of a block cycle, fed run by run in the order
// they were written.
class block_extremes
{
public:
    void clear() { m_count = 0; }
    bool empty() const { return m_count == 0; }
    // Both require a non-empty cycle.
    double largest() const { return m_largest; }
    double smallest() const { return m_smallest; }

    // Adds the n > 0 samples from x on, written after those already added.
    void add(const double* x, std::size_t n);
    // The same, copying the samples to `to` in the same read.
    void copy_add(const double* x, std::size_t n, double* to);

private:
    // Folds the lane extremes e of the n samples from x into the cycle's.
    void merge(const lane_extremes& e, const double* x, std::size_t n);

    std::size_t m_count = 0;
    double m_largest = 0.0;
    double m_smallest = 0.0;
};

} // namespace ryx::math::instant::detail
