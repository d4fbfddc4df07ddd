#include "ryx/math/instant/var.h"

#include "ryx/math/instant/block_sums.h"

namespace ryx::math::instant {

var::var(ryx::analog_data* source, const QJsonObject& settings) : value(source, settings)
{
    set_default_name(QStringLiteral("var"));
}

var::~var()
{
    prepare_deleting();
}

void var::calculate()
{
    // Two passes over the block (mean, then squared deviations): no cancellation,
    // and O(1) per sample amortised over the block.
    const auto& b = block();
    m_value = b.empty() ? 0.0 : detail::variance(b.cbegin(), b.cend());
}

} // namespace ryx::math::instant
