#pragma once

#include "ryx/dsp/Biquad.h"
#include "ryx/ryx_math_export.h"

namespace Dsp {

// Sections placed by hand in the z-plane.
namespace Custom {

// One real pole and one real zero, then the numerator scaled by scale.
struct RYX_MATH_EXPORT OnePole : BiquadBase
{
    void setup(double scale, double pole, double zero);
};

// A conjugate pole pair and a conjugate zero pair given in polar form
// (radius, angle in radians per sample), then the numerator scaled by scale.
struct RYX_MATH_EXPORT TwoPole : BiquadBase
{
    void setup(double scale, double poleRho, double poleTheta, double zeroRho, double zeroTheta);
};

} // namespace Custom
} // namespace Dsp
