#include "ryx/math/moving/var.h"

namespace ryx::math::moving {

var::var(ryx::analog_data* source, bool temporary) : statistic(source, temporary)
{
    set_name(tr("variance"));
}

} // namespace ryx::math::moving
