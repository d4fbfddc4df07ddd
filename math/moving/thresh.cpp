#include "ryx/math/moving/thresh.h"

#include <QLocale>
#include <QPointer>
#include <cmath>

#include "ryx/core/device_lock.h"
#include "ryx/math/editor.h"

namespace ryx::math::moving {

thresh::thresh(ryx::analog_data* source, bool temporary) : per_sample(source, temporary)
{
    set_name(tr("threshold"));
}

thresh::~thresh()
{
    retire();
}

void thresh::set_level(double value)
{
    if (!(std::abs(m_level - value) > 1e-9))
        return;
    {
        const ryx::device_lock lock(this);
        m_level = value;
        m_count = 0;
        for (const double x : ring())
            if (x >= value)
                ++m_count;
        m_state = false;
    }
    emit level_changed();
}

void thresh::remove_value(double x)
{
    if (x >= m_level && m_count > 0)
        --m_count;
}

void thresh::add_value(double x)
{
    if (x >= m_level)
        ++m_count;
    const bool active = m_count == count();
    if (active == m_state)
        return;
    // processed() is the index of the sample being added.
    const qulonglong at = active ? processed() - static_cast<quint64>(count() - 1) : processed();
    m_state = active;
    if (m_deferring)
        m_events.emplace_back(active, at);
    else
        emit triggered(active, at);
}

double thresh::get_value() const
{
    return m_count == count() ? 1.0 : 0.0;
}

void thresh::reset_time()
{
    m_count = 0;
    if (m_state) {
        m_state = false;
        emit triggered(false, processed());
    }
    data::reset_time();
}

void thresh::slide(double* first, double* last)
{
    m_deferring = true;
    per_sample::slide(first, last);
    m_deferring = false;

    if (m_events.empty())
        return;
    const QPointer<thresh> self(this);
    std::vector<std::pair<bool, qulonglong>> events;
    events.swap(m_events);
    for (const auto& [active, at] : events) {
        emit triggered(active, at);
        if (!self)
            return;
    }
    events.clear();
    if (m_events.empty())
        m_events.swap(events); // keep the capacity for the next run
}

void thresh::save(QDomElement& element)
{
    data::save(element);
    element.setAttribute("level", QString::number(m_level, 'g', QLocale::FloatingPointShortest));
}

void thresh::load(const QDomElement& element)
{
    data::load(element);
    set_level(element.attribute("level", "1").toDouble());
}

QJsonObject thresh::settings() const
{
    QJsonObject result = data::settings();
    result[editor::key(30, "level")] = editor::number(m_level, -1000000, 1000000, 3, tr("level"));
    return result;
}

bool thresh::set_parameter(const QString& name, const QVariant& value)
{
    if (data::set_parameter(name, value))
        return true;
    if (name == QLatin1String("level")) {
        set_level(value.toDouble());
        return true;
    }
    return false;
}

template class per_sample<thresh, data>;

} // namespace ryx::math::moving
