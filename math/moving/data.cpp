#include "ryx/math/moving/data.h"

#include <QLocale>
#include <QPointer>
#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

#include "ryx/core/device.h"
#include "ryx/core/device_lock.h"
#include "ryx/math/editor.h"

namespace ryx::math::moving {

data::data(ryx::analog_data* source, bool temporary) : ryx::analog_data(source, temporary)
{
    set_time(1.0);
}

data::~data()
{
    retire();
}

void data::retire()
{
    prepare_deleting();
    // Waits for a run in progress on another thread to finish.
    const ryx::device_lock lock(this);
}

double data::time() const
{
    const double rate = get_rate();
    if (!(rate > 0.0))
        return m_pending_time;
    return static_cast<double>(m_count) / rate;
}

void data::set_time(double value)
{
    if (!std::isfinite(value) || value < 0.0)
        return;
    if (!(get_rate() > 0.0)) {
        // Without a rate the window has no length in samples yet: it outputs
        // zeros and takes its length when a rate arrives.
        if (value == m_pending_time)
            return;
        {
            const ryx::device_lock lock(this);
            m_ring.clear();
            m_count = 0;
            m_position = 0;
            m_pending_time = value;
            reset_time();
        }
        emit time_changed();
        return;
    }
    const double samples = std::round(value * get_rate()); // half away from zero
    if (!(samples <= static_cast<double>(max_window)))
        return;
    if (std::abs(value - time()) <= 1e-9)
        return;

    {
        const ryx::device_lock lock(this);
        m_pending_time = value;
        m_ring.clear();
        m_count = static_cast<int>(samples);
        m_position = 0;
        reset_time();
    }
    emit time_changed();
}

void data::set_rate(double value)
{
    const bool had_rate = get_rate() > 0.0;
    const QPointer<data> self(this);
    ryx::analog_data::set_rate(value);
    // The first valid rate gives the window asked for meanwhile its samples; a
    // later change of rate keeps the samples and changes the duration.
    if (self && !had_rate && get_rate() > 0.0)
        set_time(m_pending_time);
}

void data::reset()
{
    const ryx::device_lock lock(this);
    reset_state();
    reset_time();
}

void data::reset_time()
{
}

double data::value_at(int i) const
{
    if (m_ring.empty() || i < 0)
        return std::numeric_limits<double>::quiet_NaN();
    const std::size_t size = m_ring.size();
    return m_ring[(static_cast<std::size_t>(m_position) + static_cast<std::size_t>(i)) % size];
}

void data::reset_state()
{
    m_ring.clear();
    m_processed = 0;
    m_position = 0;
}

void data::save(QDomElement& element)
{
    ryx::analog_data::save(element);
    // Shortest text that reads back to the same double, so W survives a round trip.
    element.setAttribute("time", QString::number(time(), 'g', QLocale::FloatingPointShortest));
}

void data::load(const QDomElement& element)
{
    ryx::analog_data::load(element);
    set_time(element.attribute("time", "1").toDouble());
}

QJsonObject data::settings() const
{
    QJsonObject result = ryx::analog_data::settings();
    const double rate = get_rate();
    result[editor::key(20, "window")] =
        editor::number(time(), rate > 0.0 ? 100.0 / rate : 0.0, 100, 3, editor::label(tr("Window"), tr("sec")));
    return result;
}

bool data::set_parameter(const QString& name, const QVariant& value)
{
    if (ryx::analog_data::set_parameter(name, value))
        return true;
    if (name == QLatin1String("window")) {
        set_time(value.toDouble());
        return true;
    }
    return false;
}

void data::take_run(const_iterator first, const_iterator last)
{
    const double* from = first == last ? nullptr : &*first;
    const bool inside = from && std::greater_equal<const double*>()(from, std::vector<double>::data())
                        && std::less<const double*>()(from, std::vector<double>::data() + size());
    if (inside) {
        // A run taken from our own output: move it to the front, no reallocation.
        const auto count = last - first;
        std::copy(first, last, begin());
        resize(static_cast<size_type>(count));
    } else {
        clear();
        insert(end(), first, last);
    }
}

void data::set_data(const_iterator first, const_iterator last)
{
    // A listener of a statistic's signals may delete this channel, or the whole
    // tree, while the run is processed: the lock guard and the node guard let go
    // of what is gone, and nothing is published once the channel is gone.
    const ryx::device_lock lock(this);
    ryx::node_guard self(this);

    take_run(first, last);

    if (!empty()) {
        double* out = std::vector<double>::data();
        if (m_count == 0)
            std::fill(out, out + size(), 0.0);
        else
            slide(out, out + size());
    }

    if (self.node())
        ryx::analog_data::set_data(cbegin(), cend());
}

void data::slide(double* first, double* last)
{
    const std::size_t w = static_cast<std::size_t>(m_count);
    for (; first != last; ++first) {
        const double x = *first;
        if (m_ring.size() == w) {
            remove_value(m_ring[static_cast<std::size_t>(m_position)]);
            m_ring[static_cast<std::size_t>(m_position)] = x;
        } else {
            m_ring.push_back(x);
        }
        add_value(x);
        if (++m_position == m_count)
            m_position = 0;
        ++m_processed;
        *first = get_value();
    }
}

} // namespace ryx::math::moving
