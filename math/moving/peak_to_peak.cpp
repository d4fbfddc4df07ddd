#include "ryx/math/moving/peak_to_peak.h"

namespace ryx::math::moving {

peak_to_peak::peak_to_peak(ryx::analog_data* source, bool temporary) : statistic(source, temporary)
{
    set_name(tr("peak to peak"));
}

} // namespace ryx::math::moving
