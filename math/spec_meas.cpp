#include "ryx/math/spec_meas.h"

#include "ryx/math/mathFunctions.h"

namespace ryx::math {

double spec_meas::rms(const iterator& first, const iterator& last)
{
    return mathFunctions::rms(first, last);
}

double spec_meas::max(const iterator& first, const iterator& last)
{
    return mathFunctions::max(first, last);
}

double spec_meas::freq_max(const iterator& first, const iterator& last, double resolution)
{
    if (last - first < 2)
        return 0.0;
    iterator best = first;
    for (iterator it = first + 1; it != last; ++it)
        if (*it > *best)
            best = it;
    return static_cast<double>(best - first) * resolution;
}

} // namespace ryx::math
