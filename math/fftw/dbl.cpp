#include "ryx/math/fftw/dbl.h"

#include <algorithm>

#include "ryx/core/analog_data.h"
#include "ryx/core/device.h"
#include "ryx/core/device_lock.h"

namespace ryx::math::fftw {

namespace {

ryx::device* device_of(ryx::analog_data* source)
{
    return source ? qobject_cast<ryx::device*>(source->root()) : nullptr;
}

int average_of(const QJsonObject& settings, int fallback)
{
    const QJsonValue v = settings.value(QLatin1String("average"));
    if (!v.isDouble())
        return fallback;
    return std::clamp(v.toInt(fallback), 1, static_cast<int>(sngl::max_average));
}

} // namespace

dbl::dbl(ryx::analog_data* source_0, ryx::analog_data* source_1, QJsonObject settings, sngl* fft0, sngl* fft1)
    : QObject(nullptr), m_fft0(fft0), m_fft1(fft1)
{
    if (pairable(source_0, source_1)) {
        m_device = device_of(source_0);
        {
            const ryx::device_lock lock(m_device);
            if (m_fft0)
                m_fft0->init(settings);
            else
                m_fft0 = new sngl(source_0, settings);
            if (m_fft1)
                m_fft1->init(settings);
            else
                m_fft1 = new sngl(source_1, settings);
            reset_result();
            connect_analysers();
            restart_pairing();
        }
        connect_device();
    } else {
        // Sources without a common device: no analysers at all, not even the
        // ones passed in (they are not this object's to use).
        m_device = nullptr;
        m_fft0 = m_fft1 = nullptr;
    }
    m_average = average_of(settings, 1);
}

dbl::dbl(sngl* fft0, sngl* fft1, QJsonObject settings) : QObject(nullptr), m_fft0(fft0), m_fft1(fft1)
{
    if (!m_fft0 || !m_fft1) {
        m_fft0 = m_fft1 = nullptr;
    } else {
        m_fft0->init(settings);
        if (m_fft1 != m_fft0)
            m_fft1->init(settings);
        reset_result();
        connect_analysers();
        restart_pairing();
    }
    m_average = average_of(settings, 1);
}

dbl::~dbl()
{
    {
        const ryx::device_lock lock(m_device);
        disconnect_analysers();
        m_fft0 = m_fft1 = nullptr;
    }
    disconnect_device();
    emit deleting();
}

bool dbl::pairable(ryx::analog_data* source_0, ryx::analog_data* source_1)
{
    ryx::device* const dev = device_of(source_0);
    return dev && source_1 && source_1->root() == dev;
}

void dbl::adopt_analysers()
{
    if (m_fft0)
        m_fft0->setParent(this);
    if (m_fft1)
        m_fft1->setParent(this);
}

// Connections ---------------------------------------------------------------------

void dbl::connect_analysers()
{
    sngl* const analysers[2] = {m_fft0, m_fft1};
    for (int i = 0; i < 2; ++i) {
        sngl* const a = analysers[i];
        if (!a || (i == 1 && a == m_fft0))
            continue; // one analyser on both sides: its signals count for both
        connect(a, &sngl::changed, this, &dbl::fft_changed, Qt::DirectConnection);
        connect(a, &sngl::finished, this, &dbl::fft_finished, Qt::DirectConnection);
        connect(a, &sngl::progress_changed, this, &dbl::fft_progress_changed, Qt::DirectConnection);
        connect(a, &sngl::inited, this, &dbl::fft_inited, Qt::DirectConnection);
        connect(a, &sngl::deleting, this, &dbl::fft_deleted);
        connect(a, &sngl::source_changed, this, &dbl::source_changed);
    }
}

void dbl::disconnect_analysers()
{
    if (m_fft0)
        QObject::disconnect(m_fft0, nullptr, this, nullptr);
    if (m_fft1)
        QObject::disconnect(m_fft1, nullptr, this, nullptr);
}

void dbl::connect_device()
{
    if (m_device)
        connect(m_device, &ryx::data_model_node::deleting, this, &dbl::device_deleted, Qt::UniqueConnection);
}

void dbl::disconnect_device()
{
    if (m_device)
        QObject::disconnect(m_device, nullptr, this, nullptr);
}

int dbl::side_of(const QObject* sender) const
{
    if (sender && sender == m_fft0)
        return 0;
    if (sender && sender == m_fft1)
        return 1;
    return -1;
}

// Sources ---------------------------------------------------------------------------

void dbl::set_source_0(ryx::analog_data* source, const QJsonObject& settings)
{
    attach(0, source, settings);
}

void dbl::set_source_1(ryx::analog_data* source, const QJsonObject& settings)
{
    attach(1, source, settings);
}

void dbl::attach(int index, ryx::analog_data* source, const QJsonObject& settings)
{
    sngl* const self = index == 0 ? m_fft0 : m_fft1;
    sngl* const other = index == 0 ? m_fft1 : m_fft0;
    const std::uint64_t before = m_changed_count;
    if (!source) {
        disconnect_device();
        m_reconfiguring = true;
        if (self)
            self->set_source(nullptr, settings);
        if (other)
            other->set_source(nullptr, settings);
        m_reconfiguring = false;
        m_device = nullptr;
        after_reconfiguration(before);
        return;
    }
    // The device followed is the new source's, whichever side it comes to: its
    // deletion must reach this object, or the lock would outlive it.
    ryx::device* const dev = device_of(source);
    if (m_device != dev)
        disconnect_device();
    m_device = dev;
    {
        const ryx::device_lock lock(m_device);
        m_reconfiguring = true;
        if (self)
            self->set_source(source, settings);
        if (other) {
            // The other analyser keeps its source when it is on the same
            // device; otherwise both read the new channel.
            ryx::analog_data* const kept = other->source();
            if (kept && dev && kept->root() == dev)
                other->init(settings);
            else
                other->set_source(source, settings);
        }
        m_reconfiguring = false;
        reset_result();
    }
    connect_device();
    after_reconfiguration(before);
}

ryx::analog_data* dbl::source_0() const
{
    return m_fft0 ? m_fft0->source() : nullptr;
}

ryx::analog_data* dbl::source_1() const
{
    return m_fft1 ? m_fft1->source() : nullptr;
}

void dbl::fft_deleted()
{
    {
        const ryx::device_lock lock(m_device);
        disconnect_analysers();
        m_fft0 = m_fft1 = nullptr;
        m_pair[0] = m_pair[1] = side{};
        m_pending_results.release();
        m_pending_frames.release();
    }
}

void dbl::device_deleted()
{
    disconnect_device();
    m_reconfiguring = true;
    if (m_fft0)
        m_fft0->set_source(nullptr, {});
    if (m_fft1 && m_fft1 != m_fft0)
        m_fft1->set_source(nullptr, {});
    m_reconfiguring = false;
    m_device = nullptr;
}

void dbl::lock_device_data()
{
    if (m_device)
        m_device->lock_ai(QString());
}

void dbl::unlock_device_data()
{
    if (m_device)
        m_device->unlock_ai(QString());
}

// Settings -------------------------------------------------------------------------

QJsonObject dbl::config() const
{
    return m_fft0 ? m_fft0->config() : QJsonObject();
}

QJsonArray dbl::parameter_keys() const
{
    return m_fft0 ? m_fft0->parameter_keys() : QJsonArray();
}

QJsonObject dbl::parameter(const QString& key) const
{
    return m_fft0 ? m_fft0->parameter(key) : QJsonObject();
}

bool dbl::set_parameter(const QString& key, const QVariant& value)
{
    if (!m_fft0)
        return false;
    const std::uint64_t before = m_changed_count;
    bool taken = false;
    {
        const ryx::device_lock lock(m_device);
        m_reconfiguring = true;
        taken = m_fft0->set_parameter(key, value);
        if (taken && m_fft1 && m_fft1 != m_fft0)
            m_fft1->set_parameter(key, value);
        m_reconfiguring = false;
        if (taken && key == QLatin1String("avg"))
            m_average = static_cast<int>(m_fft0->average());
    }
    after_reconfiguration(before);
    return taken;
}

void dbl::init(const QJsonObject& settings)
{
    const std::uint64_t before = m_changed_count;
    {
        const ryx::device_lock lock(m_device);
        m_reconfiguring = true;
        if (m_fft0)
            m_fft0->init(settings);
        if (m_fft1 && m_fft1 != m_fft0)
            m_fft1->init(settings);
        m_reconfiguring = false;
        m_average = average_of(settings, m_average);
    }
    after_reconfiguration(before);
}

void dbl::init()
{
    if (!m_fft0)
        return;
    reset_result();
    m_changed_count = m_finished_count = m_inited_count = 0;
    m_finished_sides[0] = m_finished_sides[1] = 0;
    m_inited_sides[0] = m_inited_sides[1] = 0;
    restart_pairing();
}

void dbl::reset_result()
{
    assign(m_fft0 ? static_cast<std::size_t>(m_fft0->samples()) : 0, 0.0);
}

void dbl::after_reconfiguration(std::uint64_t changed_before)
{
    restart_pairing();
    if (m_changed_count == changed_before)
        return;
    const detail::life_guard alive(m_life);
    set_live(0);
    set_live(1);
    update();
    emit changed();
}

// Acquisition ----------------------------------------------------------------------

void dbl::start()
{
    const ryx::device_lock lock(m_device);
    if (m_fft0)
        m_fft0->start();
    if (m_fft1 && m_fft1 != m_fft0)
        m_fft1->start();
    restart_pairing();
}

void dbl::start(double delay)
{
    const ryx::device_lock lock(m_device);
    if (m_fft0)
        m_fft0->start(delay);
    if (m_fft1 && m_fft1 != m_fft0)
        m_fft1->start(delay);
    restart_pairing();
}

void dbl::stop()
{
    if (m_fft0)
        m_fft0->stop();
    if (m_fft1)
        m_fft1->stop();
}

// Read-outs ------------------------------------------------------------------------

std::uint64_t dbl::samples() const
{
    return m_fft0 ? m_fft0->samples() : 0;
}

double dbl::frequency() const
{
    return m_fft0 ? m_fft0->frequency() : 0.0;
}

double dbl::resolution() const
{
    return m_fft0 ? m_fft0->resolution() : 0.0;
}

double dbl::acq_time() const
{
    return m_fft0 ? m_fft0->acq_time() : 0.0;
}

double dbl::progress() const
{
    return m_fft0 ? m_fft0->progress() : 0.0;
}

QJsonArray dbl::data() const
{
    QJsonArray out;
    for (double y : *this)
        out.append(y);
    return out;
}

std::size_t dbl::result_lines() const
{
    return std::min(m_pair[0].result_size, m_pair[1].result_size);
}

std::size_t dbl::frame_lines() const
{
    return std::min(m_pair[0].frame_size, m_pair[1].frame_size);
}

// Signals of the analysers ------------------------------------------------------------

bool dbl::count_pair(std::uint64_t (&per_side)[2], int index)
{
    if (m_fft0 == m_fft1) {
        ++per_side[0];
        ++per_side[1];
        return true;
    }
    const std::uint64_t before = std::min(per_side[0], per_side[1]);
    ++per_side[index];
    return std::min(per_side[0], per_side[1]) > before;
}

void dbl::fft_finished()
{
    const int i = side_of(sender());
    if (i < 0)
        return;
    ++m_finished_count;
    if (count_pair(m_finished_sides, i))
        emit finished();
}

void dbl::fft_inited()
{
    const int i = side_of(sender());
    if (i < 0)
        return;
    ++m_inited_count;
    if (count_pair(m_inited_sides, i))
        emit inited();
}

void dbl::fft_progress_changed()
{
    if (side_of(sender()) < 0)
        return;
    if (m_progress_count++ % 2 == 1 || m_fft0 == m_fft1)
        emit progress_changed();
}

void dbl::fft_changed()
{
    const int i = side_of(sender());
    if (i < 0)
        return;
    ++m_changed_count;
    if (m_reconfiguring || !m_fft0 || !m_fft1)
        return;
    take_frame(i);
}

// Pairing ---------------------------------------------------------------------------

void dbl::restart_pairing()
{
    sngl* const analysers[2] = {m_fft0, m_fft1};
    for (int i = 0; i < 2; ++i) {
        m_generation[i] = analysers[i] ? analysers[i]->generation() : 0;
        m_base[i] = analysers[i] ? analysers[i]->frame_count() : 0;
        m_last[i] = 0;
        m_reset_seen[i] = false;
    }
    m_pending_results.clear();
    m_pending_frames.clear();
    m_first_pending = 0;
    pairing_restarted();
}

void dbl::follow_restarts()
{
    sngl* const analysers[2] = {m_fft0, m_fft1};
    bool moved[2];
    for (int i = 0; i < 2; ++i)
        moved[i] = analysers[i]->generation() != m_generation[i] || analysers[i]->frame_count() < m_base[i];
    if (!moved[0] && !moved[1])
        return;
    // An analyser that restarted numbers its frames from 1 again; the other's
    // next frame is its partner.
    for (int i = 0; i < 2; ++i) {
        m_generation[i] = analysers[i]->generation();
        m_base[i] = moved[i] ? 0 : analysers[i]->frame_count();
        m_last[i] = 0;
    }
    m_pending_results.clear();
    m_pending_frames.clear();
    pairing_restarted();
}

void dbl::take_frame(int i)
{
    sngl* const self = i == 0 ? m_fft0 : m_fft1;
    follow_restarts();
    const std::uint64_t number = self->frame_count() - m_base[i];
    if (number <= m_last[i] || self->frames().empty()) {
        // A notification without a new frame (a reset): once both analysers
        // sent one, the result follows their state.
        m_reset_seen[i] = true;
        if ((m_reset_seen[0] && m_reset_seen[1]) || m_fft0 == m_fft1) {
            m_reset_seen[0] = m_reset_seen[1] = false;
            const detail::life_guard alive(m_life);
            set_live(0);
            set_live(1);
            update();
            emit changed();
        }
        return;
    }
    m_last[i] = number;
    if (m_fft0 == m_fft1) {
        set_live(0);
        set_live(1);
        publish(0);
        return;
    }
    const int o = 1 - i;
    if (m_last[o] < number) {
        // Ahead of the other analyser: the frame waits for its partner.
        queue_frame(i, number);
        return;
    }
    // The partner was computed earlier and waits in the queue, unless it was
    // dropped from a full queue (then this frame has none).
    const std::size_t queued = m_pending_results.size();
    if (queued == 0 || m_pending_side != o || number < m_first_pending || number >= m_first_pending + queued) {
        if (queued > 0 && m_pending_side == o && number >= m_first_pending) {
            const auto drop = static_cast<std::size_t>(std::min<std::uint64_t>(number - m_first_pending + 1, queued));
            m_pending_results.trim(queued - drop);
            m_pending_frames.trim(queued - drop);
            m_first_pending += drop;
        }
        return;
    }
    const auto slot = static_cast<std::size_t>(number - m_first_pending);
    set_live(i);
    set_queued(o, slot);
    publish(slot + 1);
}

void dbl::queue_frame(int i, std::uint64_t number)
{
    sngl* const self = i == 0 ? m_fft0 : m_fft1;
    std::size_t queued = m_pending_results.size();
    if (queued > 0 && (m_pending_side != i || m_first_pending + queued != number)) {
        // Left from before a restart, or the other analyser's: never paired now.
        m_pending_results.clear();
        m_pending_frames.clear();
        queued = 0;
    }
    if (queued == 0) {
        m_pending_side = i;
        m_first_pending = number;
    }
    const std::vector<double>& result = *self;
    const std::vector<std::complex<double>>& frame = self->frames().back();
    const std::size_t values = 3 * std::max(result.size(), frame.size()) + 1;
    const std::size_t room = std::clamp<std::size_t>(max_pending_values / values, 1, max_pending);
    if (queued >= room) {
        // The oldest will not find its partner in time.
        const std::size_t drop = queued - room + 1;
        m_pending_results.trim(queued - drop);
        m_pending_frames.trim(queued - drop);
        m_first_pending += drop;
    }
    std::vector<double>& r = m_pending_results.push(result.size(), room);
    std::copy(result.begin(), result.end(), r.begin());
    std::vector<std::complex<double>>& f = m_pending_frames.push(frame.size(), room);
    std::copy(frame.begin(), frame.end(), f.begin());
}

void dbl::set_live(int i)
{
    sngl* const a = i == 0 ? m_fft0 : m_fft1;
    side& s = m_pair[i];
    s = side{};
    if (!a)
        return;
    const std::vector<double>& result = *a;
    s.result = result.data();
    s.result_size = result.size();
    if (!a->frames().empty()) {
        s.frame = a->frames().back().data();
        s.frame_size = a->frames().back().size();
    }
}

void dbl::set_queued(int i, std::size_t slot)
{
    side& s = m_pair[i];
    const std::vector<double>& result = m_pending_results[slot];
    const std::vector<std::complex<double>>& frame = m_pending_frames[slot];
    s.result = result.data();
    s.result_size = result.size();
    s.frame = frame.empty() ? nullptr : frame.data();
    s.frame_size = frame.size();
}

void dbl::publish(std::size_t done)
{
    const detail::life_guard alive(m_life);
    update();
    m_pair[0] = m_pair[1] = side{};
    if (done > 0) {
        const std::size_t queued = m_pending_results.size();
        done = std::min(done, queued);
        m_pending_results.trim(queued - done);
        m_pending_frames.trim(queued - done);
        m_first_pending += done;
    }
    emit changed();
}

} // namespace ryx::math::fftw
