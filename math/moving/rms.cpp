#include "ryx/math/moving/rms.h"

namespace ryx::math::moving {

rms::rms(ryx::analog_data* source, bool temporary) : statistic(source, temporary)
{
    set_name(tr("rms"));
}

} // namespace ryx::math::moving
