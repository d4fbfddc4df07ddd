#pragma once

#include <QtGlobal>
#include <cmath>
#include <vector>

#include "ryx/math/moving/offset.h"

namespace ryx::math::moving {

// Moving frequency: from the rising crossings of a level inside the window,
// (fronts - 1) whole periods over the time from the first front to the last,
// in Hz; 0 with fewer than two fronts. A sample x is a front when the sample
// before it is at or below the level and x is strictly above it. The level is
// `dc`, or the window's midpoint (largest + smallest) / 2 while `dc` is +inf.
class RYX_MATH_EXPORT freq : public per_sample<freq, offset>
{
    Q_OBJECT
    // Crossing level, in the channel's unit; +inf selects the window midpoint.
    // NaN is ignored.
    Q_PROPERTY(double dc READ dc WRITE set_dc NOTIFY dc_changed)

public:
    freq(ryx::analog_data* source, bool temporary);
    ~freq() override;

    double dc() const { return m_dc; }

public slots:
    void set_dc(double value);

    void remove_value(double x) override;
    void add_value(double x) override;
    double get_value() const override;
    void reset_time() override;

    void save(QDomElement& element) override;
    void load(const QDomElement& element) override;
    QJsonObject settings() const override;
    bool set_parameter(const QString& name, const QVariant& value) override;

signals:
    void dc_changed();

protected:
    double frequency() const;

private:
    void push_front_id(quint64 id);

    quint64 m_sample_id = 0; // id of the next sample, counted from the last reset
    // Ids of the fronts inside the window, oldest first: a circular buffer that
    // grows to the largest number of fronts seen and is then reused.
    std::vector<quint64> m_fronts;
    std::size_t m_fronts_first = 0;
    std::size_t m_fronts_count = 0;
    double m_previous = 0.0; // the last sample added
    double m_dc;
};

// Inline so that the per-sample loop of period inlines them too.
inline void freq::remove_value(double x)
{
    offset::remove_value(x);
    const auto w = static_cast<quint64>(count());
    if (m_fronts_count > 0 && m_sample_id >= w && m_fronts[m_fronts_first] == m_sample_id - w) {
        m_fronts_first = m_fronts_first + 1 == m_fronts.size() ? 0 : m_fronts_first + 1;
        --m_fronts_count;
    }
}

inline void freq::add_value(double x)
{
    offset::add_value(x);
    if (m_sample_id != 0) {
        double level = m_dc;
        if (level == HUGE_VAL) {
            const detail::extremes e = window_extremes();
            level = detail::half(e.largest + e.smallest);
        }
        if (x > level && m_previous <= level)
            push_front_id(m_sample_id);
    }
    ++m_sample_id;
    m_previous = x;
}

inline double freq::frequency() const
{
    if (m_fronts_count < 2)
        return 0.0;
    std::size_t newest = m_fronts_first + m_fronts_count - 1;
    if (newest >= m_fronts.size())
        newest -= m_fronts.size();
    const quint64 first = m_fronts[m_fronts_first];
    const quint64 last = m_fronts[newest];
    return static_cast<double>(m_fronts_count - 1) * get_rate() / static_cast<double>(last - first);
}

extern template class per_sample<freq, offset>;

} // namespace ryx::math::moving
