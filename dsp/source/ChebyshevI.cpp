#include "ryx/dsp/ChebyshevI.h"

#include <cmath>

#include "ChebyshevShelf.h"

namespace Dsp {
namespace ChebyshevI {

AnalogLowPass::AnalogLowPass()
    : m_numPoles(-1)
    , m_rippleDb(0)
{
}

void AnalogLowPass::design(int numPoles, double rippleDb)
{
    if (m_numPoles == numPoles && m_rippleDb == rippleDb)
        return;

    // The cache is valid again only once the layout is complete.
    m_numPoles = -1;
    Dsp_check (numPoles >= 1 && numPoles <= getMaxPoles ());
    // A ripple of 0 dB or less has no Chebyshev response (the poles become infinite).
    Dsp_check (rippleDb > 0);
    reset();

    const double eps = std::sqrt(1. / std::exp(-rippleDb * 0.1 * doubleLn10) - 1);
    const double x = 1 / eps;
    const double v0 = std::log(x + std::sqrt(x * x + 1)) / numPoles; // asinh(1/eps) / n
    const double sinh_v0 = -std::sinh(v0);
    const double cosh_v0 = std::cosh(v0);

    const double n2 = 2 * numPoles;
    const int pairs = numPoles / 2;
    for (int i = 0; i < pairs; ++i) {
        const int k = 2 * i + 1 - numPoles;
        const double a = sinh_v0 * std::cos(k * doublePi / n2);
        const double b = cosh_v0 * std::sin(k * doublePi / n2);
        addPoleZeroConjugatePairs(complex_t(a, b), infinity());
    }

    if (numPoles & 1) {
        add(sinh_v0, infinity());
        setNormal(0, 1);
    } else {
        // Even orders start the pass band at the bottom of the ripple.
        setNormal(0, std::pow(10., -rippleDb / 20.));
    }

    m_numPoles = numPoles;
    m_rippleDb = rippleDb;
}

AnalogLowShelf::AnalogLowShelf()
    : m_numPoles(-1)
    , m_rippleDb(0)
    , m_gainDb(0)
{
    setNormal(doublePi, 1);
}

void AnalogLowShelf::design(int numPoles, double gainDb, double rippleDb)
{
    if (m_numPoles == numPoles && m_rippleDb == rippleDb && m_gainDb == gainDb)
        return;

    m_numPoles = -1;
    detail::designChebyshevLowShelf(*this, numPoles, gainDb, rippleDb);
    m_numPoles = numPoles;
    m_rippleDb = rippleDb;
    m_gainDb = gainDb;
}

} // namespace ChebyshevI
} // namespace Dsp
