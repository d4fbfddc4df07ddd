#include "ryx/math/moving/peak.h"

namespace ryx::math::moving {

peak::peak(ryx::analog_data* source, bool temporary) : statistic(source, temporary)
{
    set_name(tr("peak"));
}

} // namespace ryx::math::moving
