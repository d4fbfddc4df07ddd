#include "ryx/math/moving/avg.h"

namespace ryx::math::moving {

avg::avg(ryx::analog_data* source, bool temporary) : statistic(source, temporary)
{
    set_name(tr("mean"));
}

} // namespace ryx::math::moving
