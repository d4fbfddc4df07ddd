#pragma once

#include <QJsonArray>
#include <cstdint>
#include <deque>
#include <limits>
#include <vector>

#include "ryx/math/instant/sample_window.h"
#include "ryx/math/instant/value.h"

namespace ryx::math::instant {

// Frequency of the source from the rising crossings ("fronts") of a level
// inside the block: 1 / mean interval between consecutive fronts, Hz; 0 with
// fewer than two fronts. A front is a sample x with p < L <= x, p being the
// sample written into the block just before it. The level L is `dc`, or, while `dc` is
// +infinity, the midpoint of the block's extremes. value, periods and variance
// follow the block chunk by chunk; a result is published per full block.
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
    // Times of the fronts in the block, s, ascending, counted from the block's
    // creation.
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
    // Front bookkeeping: fronts enter at the newest end and leave at the oldest.
    void push_front_index(std::uint64_t index);
    void pop_oldest_front();
    // The periods of the given fronts, a leading 0 first.
    std::vector<double> periods_of(const std::vector<std::uint64_t>& fronts) const;
    std::vector<double> current_periods() const;

    std::uint64_t m_counter = 0;          // absolute index of the next sample entering the block
    std::deque<std::uint64_t> m_fronts;   // absolute indices of the fronts in the block, ascending
    std::uint64_t m_squares = 0;          // sum of the squared intervals between the fronts, samples^2
    double m_dc = std::numeric_limits<double>::infinity();
    // The periods are those of the current fronts while m_periods_live; they
    // are kept in m_periods once the fronts fall below two.
    std::vector<double> m_periods;
    bool m_periods_live = false;
    double m_live_dt = 0.0;               // sample interval of the last computation
    std::vector<std::uint64_t> m_dropped; // fronts that left with the current chunk
    std::size_t m_old_fronts = 0;         // fronts left from before the current chunk
    double m_variance = 0.0;
    detail::sample_window m_samples; // samples written since the block was created
    double m_previous = 0.0;         // the sample written last (0: the fresh block's last element)
};

} // namespace ryx::math::instant
