#include "ryx/math/instant/value.h"

#include <QMetaType>
#include <QMutexLocker>
#include <QPointer>
#include <algorithm>
#include <cmath>
#include <numeric>

#include "ryx/core/analog_data.h"
#include "ryx/core/device.h"

namespace ryx::math::instant {

namespace {

// Number of samples in `seconds` at `rate`, rounded half away from zero; 0 for
// a non-positive or NaN product, saturated far beyond any block or delay.
std::uint64_t samples_in(double seconds, double rate)
{
    const double n = seconds * rate;
    if (!(n > 0.0))
        return 0;
    constexpr double ceiling = 9.0e18;
    return n >= ceiling ? static_cast<std::uint64_t>(ceiling) : static_cast<std::uint64_t>(std::llround(n));
}

// Registers the type of the `values` property with its conversion to a
// sequential iterable, so that a script can walk the values; once, on the first
// measurement made.
void register_values_type()
{
    static const int id = qRegisterMetaType<QList<qreal>>();
    Q_UNUSED(id);
}

} // namespace

value::value(ryx::analog_data* source, const QJsonObject& settings) : m_source(source)
{
    register_values_type();
    const QJsonValue name = settings.value(QLatin1String("name"));
    if (name.isString() && !name.toString().isEmpty()) {
        m_name = name.toString();
        m_name_given = true;
    }

    double t = settings.value(QLatin1String("time")).toDouble(0.1);
    if (!(t > 0.0))
        t = 0.1;
    const int avg = settings.value(QLatin1String("avg")).toInt(1);
    m_avg_cnt = avg > 0 && static_cast<unsigned int>(avg) <= max_avg_cnt ? static_cast<unsigned int>(avg) : 1u;
    m_running = settings.value(QLatin1String("start")).toBool(true);
    m_single_shot = settings.value(QLatin1String("single_shot")).toBool(false);

    if (m_source) {
        m_delay = samples_in(settings.value(QLatin1String("delay")).toDouble(0.0), rate());
        value::set_time(t);
        // Direct: the run is read on the publishing thread, while the source
        // still holds it.
        connect(m_source, &ryx::analog_data::data_changed, this, &value::data_changed, Qt::DirectConnection);
        // Direct as well: the pointer must be dropped while the source is still whole,
        // whichever thread deletes it.
        connect(m_source, &ryx::data_model_node::deleting, this, &value::disconnect_from_ad,
                Qt::DirectConnection);
        connect(m_source, &ryx::analog_data::rate_changed, this, [this] { rate_arrived(); },
                Qt::DirectConnection);
    }
}

void value::rate_arrived()
{
    // A block sized while the source had no rate is the shortest one; the first
    // valid rate gives it the duration asked for. Later rate changes keep the
    // block's samples.
    if (!m_sized_without_rate || !(rate() > 0.0))
        return;
    resize_block();
}

void value::resize_block(bool block_only)
{
    const QPointer<value> self(this);
    m_force_resize = true;
    if (block_only)
        recreate_block(m_time, {});
    else
        set_time(m_time);
    if (self)
        m_force_resize = false;
}

value::~value()
{
    prepare_deleting();
    // Deleted from a listener of a run in progress: the runs must not go on.
    for (life_guard* g = m_life; g; g = g->m_outer)
        g->m_alive = false;
}

void value::prepare_deleting()
{
    const ryx::device_lock lock(m_source);
    m_running = false;
}

QString value::get_name() const
{
    return m_name;
}

void value::set_name(const QString& name)
{
    if (name == m_name)
        return;
    m_name = name;
    emit name_changed();
}

void value::set_default_name(const QString& name)
{
    if (!m_name_given)
        m_name = name;
}

double value::get_avg_value() const
{
    return kept_mean();
}

double value::kept_mean() const
{
    QMutexLocker guard(&m_values_mutex);
    if (m_values.isEmpty())
        return 0.0;
    return std::accumulate(m_values.cbegin(), m_values.cend(), 0.0) / static_cast<double>(m_values.size());
}

QList<qreal> value::get_values() const
{
    // A deep copy: a shared copy would let the reader's release of the list
    // race with the data thread growing it in place.
    QMutexLocker guard(&m_values_mutex);
    return QList<qreal>(m_values.cbegin(), m_values.cend());
}

double value::get_acq_time() const
{
    return static_cast<double>(m_avg_cnt) * m_time;
}

QJsonArray value::get_data() const
{
    QJsonArray out;
    const auto lock = source_lock();
    for (double x : m_block)
        out.append(x);
    return out;
}

double value::rate() const
{
    const double r = m_source ? m_source->get_rate() : 0.0;
    return std::isfinite(r) && r > 0.0 ? r : 0.0;
}

double value::get_dt() const
{
    const double r = rate();
    return r > 0.0 ? 1.0 / r : 0.0;
}

double value::get_ptr() const
{
    return static_cast<double>(m_fill) * get_dt();
}

std::size_t value::block_size() const
{
    return m_block.size();
}

ryx::device_lock value::source_lock() const
{
    return ryx::device_lock(m_source);
}

bool value::start(double delay)
{
    if (m_running)
        return false;
    m_running = true;
    {
        QMutexLocker guard(&m_values_mutex);
        m_values.clear();
    }
    if (delay >= 0.0)
        m_delay = samples_in(delay, rate());
    return true;
}

bool value::start()
{
    return start(-1.0);
}

void value::stop()
{
    m_running = false;
}

void value::stop_acq()
{
    m_running = false;
}

void value::set_avg_cnt(unsigned int count)
{
    if (count == m_avg_cnt || count > max_avg_cnt)
        return;
    m_avg_cnt = count;
    emit avg_cnt_changed();
}

void value::set_time(double t)
{
    recreate_block(t, {});
}

bool value::recreate_block(double t, const std::function<void()>& reset_state)
{
    ryx::analog_data* src = m_source;
    if (!src || std::isnan(t) || (std::fabs(t - m_time) <= 1e-9 && !m_force_resize))
        return false;
    m_force_resize = false;

    ryx::device_lock lock(src);
    const double r = rate();
    m_sized_without_rate = !(r > 0.0);
    const std::uint64_t wanted = samples_in(t, r);
    std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(wanted, max_block));
    m_time = t;
    if (n < min_block) {
        n = min_block;
        if (r > 0.0)
            m_time = static_cast<double>(n) / r;
    } else if (wanted > max_block) {
        m_time = static_cast<double>(n) / r;
    }
    m_block.assign(n, 0.0);
    m_fill = 0;
    m_value = 0.0;
    {
        QMutexLocker guard(&m_values_mutex);
        m_values.clear();
    }
    if (reset_state)
        reset_state();
    lock.unlock();

    emit time_changed();
    return true;
}

void value::keep_result(double result)
{
    QMutexLocker guard(&m_values_mutex);
    m_values.append(result);
    if (m_single_shot && static_cast<std::size_t>(m_values.size()) == m_avg_cnt)
        m_running = false;
    const qsizetype keep = m_avg_cnt;
    if (m_values.size() > keep)
        m_values.erase(m_values.begin(), m_values.begin() + (m_values.size() - keep));
}

void value::before_copying_data(iterator, iterator) {}

void value::after_copying_data(iterator, iterator) {}

void value::copy_data(const double* from, std::size_t position, std::size_t n)
{
    const auto first = m_block.begin() + static_cast<std::ptrdiff_t>(position);
    const auto last = first + static_cast<std::ptrdiff_t>(n);
    before_copying_data(first, last);
    std::copy(from, from + n, first);
    after_copying_data(first, last);
}

void value::data_changed()
{
    if (!m_running || !m_source)
        return;

    // A slot connected to the measurement's signals may delete the source channel
    // meanwhile: the guard holds the device itself.
    const ryx::device_lock bracket(m_source);

    std::size_t size = m_source->size();
    std::uint64_t delay = m_delay;
    if (delay >= size) {
        m_delay = delay - size;
        return;
    }
    std::size_t k = static_cast<std::size_t>(delay);
    m_delay = 0;

    while (k < size) {
        const std::size_t n_block = m_block.size();
        if (n_block == 0)
            return;
        const std::size_t n = std::min(n_block - m_fill, size - k);
        copy_data(&*(m_source->cbegin() + static_cast<std::ptrdiff_t>(k)), m_fill, n);
        m_fill = (m_fill + n) % n_block;

        if (m_fill == 0) {
            const life_guard self(this);
            m_outcome = block_outcome::result;
            calculate();
            // A measurement that retunes itself announces it: a listener may
            // have deleted it there.
            if (!self)
                return;
            if (m_outcome != block_outcome::none) {
                if (m_outcome == block_outcome::result)
                    keep_result(m_value);
                emit changed();
                if (!self)
                    return;
                if (!m_running) {
                    emit finished();
                    return;
                }
            }
        }

        // A slot may have stopped us, retimed the block or dropped the source.
        if (!m_running || !m_source)
            return;
        k += n;
        size = m_source->size();
    }
}

void value::disconnect_from_ad()
{
    ryx::analog_data* src = m_source;
    if (!src)
        return;
    const ryx::device_lock lock(src);
    disconnect(src, &ryx::analog_data::data_changed, this, &value::data_changed);
    m_source = nullptr;
}

} // namespace ryx::math::instant
