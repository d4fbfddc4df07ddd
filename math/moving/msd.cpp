#include "ryx/math/moving/msd.h"

namespace ryx::math::moving {

msd::msd(ryx::analog_data* source, bool temporary) : statistic(source, temporary)
{
    set_name(tr("msd"));
}

} // namespace ryx::math::moving
