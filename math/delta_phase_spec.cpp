#include "ryx/math/delta_phase_spec.h"

#include <cmath>

#include "ryx/core/device_lock.h"
#include "ryx/math/spec.h"

namespace ryx::math {

delta_phase_spec::delta_phase_spec(ryx::analog_data* a, ryx::analog_data* b)
    : m_root_device(b ? b->root_device() : nullptr)
{
    {
        const ryx::device_lock lock(m_root_device.data());
        if (a)
            m_spec_a = new spec(spec::phase, a);
        if (b)
            m_spec_b = new spec(spec::phase, b);
        for (spec* s : {m_spec_a.data(), m_spec_b.data()}) {
            if (!s)
                continue;
            connect(s, &spec::changed, this, &delta_phase_spec::calculate, Qt::DirectConnection);
            connect(s, &spec::deleting, this, &delta_phase_spec::reset_spec, Qt::DirectConnection);
        }
    }
    if (m_spec_a) {
        connect(m_spec_a, &spec::resolution_changed, this, &delta_phase_spec::resolution_changed);
        connect(m_spec_a, &spec::overlap_changed, this, &delta_phase_spec::overlap_changed);
        connect(m_spec_a, &spec::progress, this, &delta_phase_spec::progress);
    }
}

delta_phase_spec::~delta_phase_spec()
{
    for (QPointer<spec>* s : {&m_spec_a, &m_spec_b}) {
        if (spec* const p = s->data()) {
            QObject::disconnect(p, nullptr, this, nullptr);
            s->clear();
            delete p;
        }
    }
}

double delta_phase_spec::resolution() const
{
    return m_spec_a ? m_spec_a->resolution() : 0.0;
}

double delta_phase_spec::acq_time() const
{
    return m_spec_a ? m_spec_a->acq_time() : 0.0;
}

int delta_phase_spec::overlap() const
{
    return m_spec_a ? m_spec_a->overlap() : 0;
}

void delta_phase_spec::reset_spec()
{
    QObject* const from = sender();
    if (from == m_spec_a.data())
        m_spec_a.clear();
    if (from == m_spec_b.data())
        m_spec_b.clear();
}

void delta_phase_spec::calculate()
{
    QObject* const from = sender();
    if (from && from == m_spec_a.data())
        ++m_count_a;
    else if (from && from == m_spec_b.data())
        ++m_count_b;
    if (!m_spec_a || !m_spec_b || m_count_a != m_count_b || m_spec_a->samples() != m_spec_b->samples())
        return;
    double updated = m_value;
    {
        const ryx::device_lock lock(m_root_device.data());
        const double r = m_spec_a->resolution();
        if (m_frequency != 0.0 && r > 0.0) {
            const double line = std::round(m_frequency / r);
            const std::vector<double>& pa = *m_spec_a;
            const std::vector<double>& pb = *m_spec_b;
            if (line >= 0.0 && line < static_cast<double>(pa.size()) && line < static_cast<double>(pb.size())) {
                const auto k = static_cast<std::size_t>(line);
                const double d = (pb[k] - pa[k]) * 180.0 / M_PI;
                updated = d < 0.0 ? d + 360.0 : d;
                if (updated >= 360.0) // phases of exactly -pi and pi
                    updated -= 360.0;
            }
        }
    }
    if (updated != m_value && !(std::isnan(updated) && std::isnan(m_value))) {
        m_value = updated;
        emit value_changed();
    }
}

void delta_phase_spec::set_frequency(double value)
{
    if (!(value > 0.0) || !(std::fabs(value - m_frequency) > 1e-9) || !m_spec_a || !(m_spec_a->frequency() > value))
        return;
    m_frequency = value;
    const detail::life_guard alive(m_life);
    if (m_max_frequency == 0.0) {
        const ryx::device_lock lock(m_root_device.data());
        for (spec* s : {m_spec_a.data(), m_spec_b.data()})
            if (s)
                s->set_frequency(2.0 * value);
    }
    if (alive)
        emit frequency_changed();
}

void delta_phase_spec::set_max_frequency(double value)
{
    if (!(value >= 0.0) || !(std::fabs(value - m_max_frequency) > 1e-9))
        return;
    m_max_frequency = value;
    const detail::life_guard alive(m_life);
    {
        const ryx::device_lock lock(m_root_device.data());
        for (spec* s : {m_spec_a.data(), m_spec_b.data()})
            if (s)
                s->set_frequency(value == 0.0 ? 2.0 * m_frequency : value);
    }
    if (!alive)
        return;
    emit max_frequency_changed();
    if (alive)
        emit acq_time_changed();
}

void delta_phase_spec::set_resolution(double value)
{
    const detail::life_guard alive(m_life);
    {
        const ryx::device_lock lock(m_root_device.data());
        for (spec* s : {m_spec_a.data(), m_spec_b.data()})
            if (s)
                s->set_resolution(value);
    }
    if (alive)
        emit acq_time_changed();
}

void delta_phase_spec::set_overlap(int value)
{
    const detail::life_guard alive(m_life);
    {
        const ryx::device_lock lock(m_root_device.data());
        for (spec* s : {m_spec_a.data(), m_spec_b.data()})
            if (s)
                s->set_overlap(value);
    }
    if (alive)
        emit acq_time_changed();
}

} // namespace ryx::math
