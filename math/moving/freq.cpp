#include "ryx/math/moving/freq.h"

#include <QLocale>
#include <cmath>

#include "ryx/core/device_lock.h"
#include "ryx/math/editor.h"

namespace ryx::math::moving {

namespace {

constexpr double automatic = HUGE_VAL;

} // namespace

freq::freq(ryx::analog_data* source, bool temporary) : per_sample(source, temporary), m_dc(automatic)
{
    set_name(tr("frequency"));
}

freq::~freq()
{
    retire();
}

void freq::set_dc(double value)
{
    if (std::isnan(value))
        return;
    if (!(std::abs(m_dc - value) > 1e-9))
        return; // also +inf onto +inf
    {
        const ryx::device_lock lock(this);
        m_dc = value;
    }
    emit dc_changed();
}

void freq::push_front_id(quint64 id)
{
    if (m_fronts_count == m_fronts.size()) {
        // Unroll the buffer into a larger one, oldest first.
        std::vector<quint64> grown(std::max<std::size_t>(16, 2 * m_fronts.size()));
        for (std::size_t i = 0; i < m_fronts_count; ++i)
            grown[i] = m_fronts[(m_fronts_first + i) % m_fronts.size()];
        m_fronts.swap(grown);
        m_fronts_first = 0;
    }
    m_fronts[(m_fronts_first + m_fronts_count) % m_fronts.size()] = id;
    ++m_fronts_count;
}

double freq::get_value() const
{
    return frequency();
}

void freq::reset_time()
{
    m_fronts_first = 0;
    m_fronts_count = 0;
    m_sample_id = 0;
    offset::reset_time();
}

void freq::save(QDomElement& element)
{
    offset::save(element);
    element.setAttribute("dc", QString::number(m_dc, 'g', QLocale::FloatingPointShortest));
}

void freq::load(const QDomElement& element)
{
    offset::load(element);
    bool ok = false;
    const double value = element.attribute("dc", QString()).toDouble(&ok);
    set_dc(ok && !std::isnan(value) ? value : automatic);
}

QJsonObject freq::settings() const
{
    QJsonObject result = offset::settings();
    const bool fixed = m_dc != automatic;
    result[editor::key(30, "dc_type")] =
        editor::choice(fixed ? 1 : 0, tr("DC type"), QStringList{tr("Offset"), tr("Value")});
    if (fixed)
        result[editor::key(31, "dc")] = editor::number(m_dc, -1000000, 1000000, 3, tr("DC"));
    return result;
}

bool freq::set_parameter(const QString& name, const QVariant& value)
{
    if (offset::set_parameter(name, value))
        return true;
    if (name == QLatin1String("dc_type")) {
        set_dc(value.toInt() != 0 ? 0.0 : automatic);
        return true;
    }
    if (name == QLatin1String("dc")) {
        set_dc(value.toDouble());
        return true;
    }
    return false;
}

template class per_sample<freq, offset>;

} // namespace ryx::math::moving
