#include "ryx/dsp/Custom.h"

#include <cmath>

namespace Dsp {
namespace Custom {

namespace {

// rho e^(j theta); rho may be negative.
complex_t polar(double rho, double theta)
{
    return complex_t(rho * std::cos(theta), rho * std::sin(theta));
}

} // namespace

void OnePole::setup(double scale, double pole, double zero)
{
    setOnePole(pole, zero);
    applyScale(scale);
}

void TwoPole::setup(double scale, double poleRho, double poleTheta, double zeroRho, double zeroTheta)
{
    const complex_t pole = polar(poleRho, poleTheta);
    const complex_t zero = polar(zeroRho, zeroTheta);
    setTwoPole(pole, zero, std::conj(pole), std::conj(zero));
    applyScale(scale);
}

} // namespace Custom
} // namespace Dsp
