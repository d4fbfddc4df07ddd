#include "ryx/math/moving/offset.h"

namespace ryx::math::moving {

offset::offset(ryx::analog_data* source, bool temporary) : statistic(source, temporary)
{
    set_name(tr("offset"));
}

} // namespace ryx::math::moving
