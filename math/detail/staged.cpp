#include "ryx/math/detail/staged.h"

#include <algorithm>
#include <cmath>

#include "ryx/core/device_lock.h"
#include "ryx/math/editor.h"

namespace ryx::math::detail {

staged::staged(ryx::analog_data* source, bool temporary) : ryx::analog_data(source, temporary)
{
}

staged::~staged()
{
    prepare_deleting();
    const ryx::device_lock lock(this);
    m_state.reset();
}

void staged::init()
{
    auto fresh = std::make_unique<std::vector<double>>(static_cast<std::size_t>(m_taps), 0.0);
    const ryx::device_lock lock(this);
    m_state = std::move(fresh);
}

void staged::set_taps(int value)
{
    if (value <= 0 || value > max_taps || value == m_taps)
        return;
    m_taps = value;
    init();
}

void staged::process(std::vector<double>::iterator first, std::vector<double>::iterator last)
{
    if (!m_state || first == last)
        return;
    const double rate = get_rate();
    if (!(std::isnormal(rate) && rate > 0.0)) {
        std::fill(first, last, 0.0);
        return;
    }
    transform(&*first, &*first + (last - first), rate, *m_state);
}

void staged::set_data(const_iterator first, const_iterator last)
{
    const ryx::device_lock lock(this);
    assign(first, last);
    process(begin(), end());
    ryx::analog_data::set_data(begin(), end());
}

void staged::save(QDomElement& element)
{
    ryx::analog_data::save(element);
    element.setAttribute("taps", m_taps);
}

void staged::load(const QDomElement& element)
{
    ryx::analog_data::load(element);
    bool ok = false;
    const qlonglong value = element.attribute("taps", "1").toLongLong(&ok, 10);
    if (ok && value > 0 && value <= max_taps)
        set_taps(static_cast<int>(value));
}

QJsonObject staged::settings() const
{
    QJsonObject result = ryx::analog_data::settings();
    result[editor::key(20, "taps")] = editor::number(m_taps, 1, max_taps, 0, taps_label());
    return result;
}

bool staged::set_parameter(const QString& name, const QVariant& value)
{
    if (ryx::analog_data::set_parameter(name, value))
        return true;
    if (name == QLatin1String("taps")) {
        const double v = value.toDouble();
        // Truncated towards zero; values beyond the limit are refused.
        if (v >= 1.0 && v < max_taps + 1.0)
            set_taps(static_cast<int>(v));
        return true;
    }
    return false;
}

} // namespace ryx::math::detail
