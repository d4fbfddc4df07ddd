#pragma once

#include <QObject>
#include <vector>

#include "ryx/ryx_math_export.h"

namespace ryx::math {

// The scalar measurements a host takes from a band of spectrum lines
// [first, last): the RMS of the lines, the largest line, and the frequency of
// the largest line. Holds no state.
class RYX_MATH_EXPORT spec_meas
{
    Q_GADGET

public:
    using iterator = std::vector<double>::const_iterator;

    enum class types : int { rms = 0, max = 1, freq_max = 2 };
    Q_ENUM(types)

    spec_meas() {}

    // sqrt(sum of x^2 / count); NaN for an empty band.
    static double rms(const iterator& first, const iterator& last);
    // The largest line (the first of equal ones); NaN for an empty band.
    static double max(const iterator& first, const iterator& last);
    // Offset of the first largest line from `first`, times the resolution (Hz
    // when the resolution is); 0 for a band of fewer than two lines.
    static double freq_max(const iterator& first, const iterator& last, double resolution);
};

} // namespace ryx::math
