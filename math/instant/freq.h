#pragma once

#include <QJsonArray>
#include <cstdint>
#include <limits>
#include <vector>

#include "ryx/math/instant/block_extremes.h"
#include "ryx/math/instant/value.h"

namespace ryx::math::instant {

// Frequency of the source from the rising crossings ("fronts") of a level
// inside the block: 1 / mean interval between consecutive fronts, Hz; 0 with
// fewer than two fronts. A front is a sample x with p < L <= x, p being the
// sample written into the block just before it.
//
// The level L is `dc`, or, while `dc` is +infinity, the midpoint of the full
// block's extremes. A fixed level is crossed sample by sample, so value,
// periods and variance follow the block chunk by chunk. The automatic level
// needs the whole block: its fronts are found once the block is full, and
// until then fronts, periods, value and variance describe the last full block.
// Either way a block's result does not depend on how the source's runs split it.
class RYX_MATH_EXPORT freq : public value
{
    Q_OBJECT
    Q_PROPERTY(double dc READ get_dc WRITE set_dc NOTIFY dc_changed)
    Q_PROPERTY(QJsonArray fronts READ get_fronts)
    Q_PROPERTY(QJsonArray periods READ get_periods)
    Q_PROPERTY(double variance READ get_variance)

public:
    // Settings as value, plus "dc": the crossing level (default: automatic).
    freq(ryx::analog_data* source, const QJsonObject& settings);
    ~freq() override;

    // Crossing level, in the source's unit; +infinity for the automatic level.
    double get_dc() const { return m_dc; }
    // Times of the fronts in the block (with the automatic level: in the last
    // full block), s, ascending, counted from the block's creation.
    QJsonArray get_fronts() const;
    // A leading 0, then the intervals between consecutive fronts, s, as of the
    // last computation with at least two fronts.
    QJsonArray get_periods() const;
    // Sample variance of the intervals, s^2; 0 with fewer than two intervals.
    double get_variance() const;

signals:
    void dc_changed();

public slots:
    void set_time(double t) override;
    // Stores the level and always emits dc_changed(); +infinity returns to the
    // automatic level.
    void set_dc(double level);

protected:
    void before_copying_data(iterator first, iterator last) override;
    void after_copying_data(iterator first, iterator last) override;
    void calculate() override;

private:
    bool automatic_level() const { return m_dc == std::numeric_limits<double>::infinity(); }
    // Replaces the fronts with the crossings of the full block's midpoint.
    void find_block_fronts();
    // value, periods and variance from the current fronts.
    void measure();

    // Front bookkeeping: fronts enter at the newest end and leave at the oldest.
    std::size_t front_count() const { return m_fronts.size() - m_oldest; }
    void push_front_index(std::uint64_t index);
    // Pushes the fronts among the n samples from x on, the first of which has
    // the absolute index `index` and follows the sample `before`.
    void push_fronts(const double* x, std::size_t n, double before, double level, std::uint64_t index);
    void pop_oldest_front();
    void clear_fronts();
    // The periods of the given fronts, a leading 0 first.
    std::vector<double> periods_of(const std::vector<std::uint64_t>& fronts) const;
    std::vector<double> current_periods() const;

    std::uint64_t m_counter = 0; // absolute index of the next sample entering the block
    // Absolute indices of the fronts in the block, ascending, from m_oldest on;
    // the entries before it have left, and their room is reused before the
    // vector grows.
    std::vector<std::uint64_t> m_fronts;
    std::size_t m_oldest = 0;
    std::uint64_t m_squares = 0;          // sum of the squared intervals between the fronts, samples^2
    double m_dc = std::numeric_limits<double>::infinity();
    // The periods are those of the current fronts while m_periods_live; they
    // are kept in m_periods once the fronts fall below two.
    std::vector<double> m_periods;
    bool m_periods_live = false;
    double m_live_dt = 0.0;               // sample interval of the last computation
    // Fronts that left with the current chunk, or that the scan of the full block replaced.
    std::vector<std::uint64_t> m_dropped;
    std::size_t m_old_fronts = 0;         // fronts left from before the current chunk
    double m_variance = 0.0;
    double m_previous = 0.0; // the sample written last (0: the fresh block's last element)
    double m_lead = 0.0;     // the sample written just before the current block began
    // Extremes of the chunks of the current block cycle, for the automatic
    // level; whole when every chunk of the cycle has been seen.
    detail::lane_extremes m_extremes{0.0, 0.0, false};
    bool m_extremes_whole = false;
};

} // namespace ryx::math::instant
