#include "ryx/math/instant/offset.h"

namespace ryx::math::instant {

offset::offset(ryx::analog_data* source, const QJsonObject& settings) : peak_to_peak(source, settings)
{
    set_default_name(QStringLiteral("offset"));
}

offset::~offset()
{
    prepare_deleting();
}

void offset::calculate()
{
    m_value = m_samples.empty() ? 0.0 : (m_samples.largest() + m_samples.smallest()) * 0.5;
}

} // namespace ryx::math::instant
