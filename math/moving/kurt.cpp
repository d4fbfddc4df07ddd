#include "ryx/math/moving/kurt.h"

namespace ryx::math::moving {

kurt::kurt(ryx::analog_data* source, bool temporary) : statistic(source, temporary)
{
    set_name(tr("kurtosis"));
}

} // namespace ryx::math::moving
