#include "ChebyshevShelf.h"

#include <cmath>

namespace Dsp {
namespace detail {

void designChebyshevLowShelf(LayoutBase& layout, int numPoles, double gainDb, double rippleDb)
{
    Dsp_check (numPoles >= 1 && numPoles <= layout.getMaxPoles ());
    layout.reset();

    gainDb = -gainDb;

    // The ripple can be no larger than the shelf step, and takes its sign.
    if (rippleDb >= std::fabs(gainDb))
        rippleDb = std::fabs(gainDb);
    if (gainDb < 0)
        rippleDb = -rippleDb;

    const double G = std::pow(10., gainDb / 20.0);
    const double Gb = std::pow(10., (gainDb - rippleDb) / 20.0);
    const double G0 = 1;

    double eps;
    if (Gb != G0)
        eps = std::sqrt((G * G - Gb * Gb) / (Gb * Gb - G0 * G0));
    else
        eps = G - 1; // the ripple equals the shelf step

    const double q = std::sqrt(1 + 1 / (eps * eps));
    const double u = std::log(std::pow(G / eps + Gb * q, 1. / numPoles));
    const double v = std::log(std::pow(G0 / eps + q, 1. / numPoles));

    const double sinh_u = std::sinh(u);
    const double sinh_v = std::sinh(v);
    const double cosh_u = std::cosh(u);
    const double cosh_v = std::cosh(v);
    const double n2 = 2 * numPoles;
    const int pairs = numPoles / 2;
    for (int i = 1; i <= pairs; ++i) {
        const double a = doublePi * (2 * i - 1) / n2;
        const double sn = std::sin(a);
        const double cs = std::cos(a);
        layout.addPoleZeroConjugatePairs(complex_t(-sn * sinh_u, cs * cosh_u),
                                         complex_t(-sn * sinh_v, cs * cosh_v));
    }

    if (numPoles & 1)
        layout.add(-sinh_u, -sinh_v);
}

} // namespace detail
} // namespace Dsp
