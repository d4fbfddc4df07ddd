#pragma once

#include <QDomElement>
#include <QJsonObject>
#include <QString>
#include <QVariant>
#include <QtGlobal>
#include <vector>

#include "ryx/core/analog_data.h"
#include "ryx/math/moving/blocks.h"
#include "ryx/ryx_math_export.h"

namespace ryx::math::moving {

// Base of the sliding-window channels: a derived channel that turns every input
// sample into one output sample, the value of a statistic over the last W input
// samples (the window, W = time x rate). The base keeps the window's samples in a
// ring and runs the per-sample loop; a statistic keeps its own incremental state
// through remove_value (the oldest sample leaves), add_value (the newest enters)
// and get_value, and clears it in reset_time.
//
// Setting: `time`, the window length in seconds, default 1 s, >= 0; W is
// time x rate rounded half away from zero (saved as the "time" attribute, set
// as the "window" parameter). W = 0 outputs zeros.
//
// Ownership: a moving channel is a derived channel, a child of its source
// channel, which deletes it.
class RYX_MATH_EXPORT data : public ryx::analog_data
{
    Q_OBJECT
    // Window length, s. Written values below 0, non-finite, or giving more than
    // max_window samples are ignored.
    Q_PROPERTY(double time READ time WRITE set_time NOTIFY time_changed)

public:
    // The longest window, in samples: 2^24, over 5 minutes at 51200 Hz and far
    // beyond the editor's 100 s at common rates, yet a bound on the memory
    // (two or three vectors of W doubles) and the work one channel can claim.
    static constexpr int max_window = 1 << 24;

    data(ryx::analog_data* source, bool temporary);
    ~data() override;

    // Window length in seconds, W / rate.
    double time() const;
    // W, the window length in samples.
    qint64 count() const { return m_count; }
    unsigned int values_size() const { return static_cast<unsigned int>(m_count); }
    // Samples currently in the window: below W while it fills.
    int real_count() const { return static_cast<int>(m_ring.size()); }

public slots:
    void set_time(double value);
    // Empties the window and clears the statistic, under the device lock.
    void reset();

    virtual void remove_value(double x) = 0;
    virtual void add_value(double x) = 0;
    virtual double get_value() const = 0;
    virtual void reset_time();
    // Window sample i, counted from the oldest (0) to the newest (real_count() - 1);
    // larger indices wrap around. NaN for an empty window or a negative index.
    virtual double value_at(int i) const;
    virtual void reset_state();

    void save(QDomElement& element) override;
    void load(const QDomElement& element) override;
    QJsonObject settings() const override;
    bool set_parameter(const QString& name, const QVariant& value) override;
    void set_data(const_iterator first, const_iterator last) override;

signals:
    void time_changed();

private slots:
    void set_rate(double value) override;

protected:
    // Replaces each sample of [first, last) by the statistic over the window that
    // ends with it. The base calls the three virtual operations per sample; the
    // statistics (statistic.h) run slide_as or slide_blocks instead when the
    // object is exactly of their class, the same loop with their operations
    // inlined (a class derived from one keeps the virtual calls, so its
    // overrides are honoured).
    virtual void slide(double* first, double* last);

    // first points into this channel's own vector, which no statistic touches:
    // telling the compiler so lets it keep the running state in registers.
    template <class Statistic>
    void slide_as(Statistic& self, double* __restrict first, double* last);

    // The same loop for a statistic kept in blocks (see blocks.h): value(cursor)
    // is its result. The blocks' per-sample state stays in registers. A run
    // that holds an unusual sample (see blocks.h), or meets one in the window,
    // takes the checked additions and rule, every other run the plain ones.
    template <class Head, class Plain, class Checked>
    void slide_blocks(detail::blocks<Head>& b, const Plain& plain, const Checked& checked, double* __restrict first,
                      double* last);
    template <bool Checked, class Head, class Value>
    void slide_blocks_as(detail::blocks<Head>& b, const Value& value, double* __restrict first, double* last);

    // Makes the run this channel's own vector, ready to be replaced in place by
    // the outputs; a run taken from this vector itself is moved to its front.
    void take_run(const_iterator first, const_iterator last);

    // Announces the deletion, then waits for a run being delivered on another
    // thread to finish: the first statement of every statistic's destructor, so
    // that no delivery sees a half-destroyed statistic.
    void retire();

    // The window's samples; ring()[position()] is the next slot written and,
    // once the ring holds W samples, the oldest sample.
    const std::vector<double>& ring() const { return m_ring; }
    int position() const { return m_position; }
    // Index of the sample being processed, counted since construction or reset().
    quint64 processed() const { return m_processed; }

private:
    int m_count = 0;
    double m_pending_time = 0.0; // the window asked for, s; its length while there is no rate
    quint64 m_processed = 0;
    std::vector<double> m_ring;
    int m_position = 0;
};

template <class Statistic>
void data::slide_as(Statistic& self, double* __restrict first, double* last)
{
    const std::size_t w = static_cast<std::size_t>(m_count);
    for (; first != last; ++first) {
        const double x = *first;
        if (m_ring.size() == w) {
            self.Statistic::remove_value(m_ring[static_cast<std::size_t>(m_position)]);
            m_ring[static_cast<std::size_t>(m_position)] = x;
        } else {
            m_ring.push_back(x);
        }
        self.Statistic::add_value(x);
        if (++m_position == m_count)
            m_position = 0;
        ++m_processed;
        *first = self.Statistic::get_value();
    }
}

template <class Head, class Plain, class Checked>
void data::slide_blocks(detail::blocks<Head>& b, const Plain& plain, const Checked& checked,
                        double* __restrict first, double* last)
{
    if constexpr (Head::ranged) {
        if (!detail::ordinary(first, last, Head::bound) || !b.clean(b.view())) {
            slide_blocks_as<true>(b, checked, first, last);
            return;
        }
    }
    slide_blocks_as<false>(b, plain, first, last);
}

template <bool Checked, class Head, class Value>
void data::slide_blocks_as(detail::blocks<Head>& b, const Value& value, double* __restrict first, double* last)
{
    const std::size_t w = static_cast<std::size_t>(m_count);
    auto pos = static_cast<std::size_t>(m_position);
    m_processed += static_cast<quint64>(last - first);
    double* const begin = first;
    typename detail::blocks<Head>::cursor c = b.view();
    while (first != last) {
        const double x = *first;
        // A full window between two closes: a stretch of samples that only
        // slide it, taken in one tight loop.
        const std::size_t room = m_ring.size() == w ? detail::blocks<Head>::room(c) : 0;
        if (room > 0) {
            std::size_t k = static_cast<std::size_t>(last - first);
            k = k < room ? k : room;
            k = k < w - pos ? k : w - pos;
            b.template slide_full<Checked>(c, first, m_ring.data() + pos, k, value);
            first += k;
            pos += k;
            if (pos == w)
                pos = 0;
            continue;
        }
        if (m_ring.size() == w) {
            b.pop(c, m_ring, pos);
            m_ring[pos] = x;
        } else {
            m_ring.push_back(x);
        }
        b.template push<Checked>(c, x);
        if (++pos == w)
            pos = 0;
        *first++ = value(c);
    }
    b.store(c);
    if constexpr (!Checked)
        b.count_ordinary(static_cast<std::size_t>(last - begin));
    m_position = static_cast<int>(pos);
}

} // namespace ryx::math::moving
