#include "ryx/math/instant/peak.h"

#include <QPointer>
#include <algorithm>
#include <cmath>

#include "ryx/math/instant/max.h"
#include "ryx/math/instant/min.h"
#include "ryx/math/instant/offset.h"

namespace ryx::math::instant {

peak::peak(ryx::analog_data* source, const QJsonObject& settings) : value(source, settings)
{
    // Built after the peak's own connection to the source: their slots run after it.
    m_max = std::make_unique<max>(source, QJsonObject());
    m_min = std::make_unique<min>(source, QJsonObject());
    m_offset = std::make_unique<offset>(source, QJsonObject());
    // The children measure over the peak's own block duration, as set_time
    // keeps them; built with the defaults they would use 0.1 s whatever the
    // settings asked for.
    for (value* child : {static_cast<value*>(m_max.get()), static_cast<value*>(m_min.get()),
                         static_cast<value*>(m_offset.get())})
        child->set_time(get_time());
    set_default_name(tr("peak"));
}

peak::~peak()
{
    prepare_deleting();
}

void peak::set_time(double t)
{
    // A listener may delete the peak from time_changed().
    const QPointer<peak> self(this);
    value::set_time(t);
    if (!self)
        return;
    m_max->set_time(t);
    m_min->set_time(t);
    m_offset->set_time(t);
}

double peak::combined() const
{
    const double mid = m_offset->get_value();
    return std::max(std::fabs(m_max->get_value() - mid), std::fabs(m_min->get_value() - mid));
}

void peak::calculate()
{
    m_value = combined();
}

void peak::data_changed()
{
    const QPointer<peak> self(this);
    value::data_changed();
    if (!self || !is_running() || !source())
        return;
    m_value = combined();
    emit changed();
}

} // namespace ryx::math::instant
