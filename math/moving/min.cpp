#include "ryx/math/moving/min.h"

namespace ryx::math::moving {

min::min(ryx::analog_data* source, bool temporary) : statistic(source, temporary)
{
    set_name(tr("min"));
}

} // namespace ryx::math::moving
