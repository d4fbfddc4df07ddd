#include "ryx/math/instant/min.h"

namespace ryx::math::instant {

min::min(ryx::analog_data* source, const QJsonObject& settings) : max(source, settings)
{
    set_default_name(QStringLiteral("min"));
}

min::~min()
{
    prepare_deleting();
}

void min::calculate()
{
    m_value = m_samples.empty() ? 0.0 : m_samples.smallest();
}

} // namespace ryx::math::instant
