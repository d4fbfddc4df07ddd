#include "ryx/math/instant/peak_to_peak.h"

namespace ryx::math::instant {

peak_to_peak::peak_to_peak(ryx::analog_data* source, const QJsonObject& settings) : max(source, settings)
{
    set_default_name(QStringLiteral("peak to peak"));
}

peak_to_peak::~peak_to_peak()
{
    prepare_deleting();
}

void peak_to_peak::calculate()
{
    m_value = m_samples.empty() ? 0.0 : m_samples.largest() - m_samples.smallest();
}

} // namespace ryx::math::instant
