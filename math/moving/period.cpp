#include "ryx/math/moving/period.h"

namespace ryx::math::moving {

period::period(ryx::analog_data* source, bool temporary) : per_sample(source, temporary)
{
    set_name(tr("period"));
}

period::~period()
{
    retire();
}

double period::get_value() const
{
    const double f = frequency();
    return f != 0.0 ? 1.0 / f : 0.0;
}

template class per_sample<period, freq>;

} // namespace ryx::math::moving
