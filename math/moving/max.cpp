#include "ryx/math/moving/max.h"

namespace ryx::math::moving {

max::max(ryx::analog_data* source, bool temporary) : statistic(source, temporary)
{
    set_name(tr("max"));
}

} // namespace ryx::math::moving
