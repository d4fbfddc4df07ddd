#include "ryx/dsp/ChebyshevII.h"

#include <cmath>

#include "ChebyshevShelf.h"

namespace Dsp {
namespace ChebyshevII {

AnalogLowPass::AnalogLowPass()
    : m_numPoles(-1)
    , m_stopBandDb(0)
{
    setNormal(0, 1);
}

void AnalogLowPass::design(int numPoles, double stopBandDb)
{
    if (m_numPoles == numPoles && m_stopBandDb == stopBandDb)
        return;

    // The cache is valid again only once the layout is complete.
    m_numPoles = -1;
    Dsp_check (numPoles >= 1 && numPoles <= getMaxPoles ());
    // A stop band of 0 dB or less puts the poles on or across the imaginary axis.
    Dsp_check (stopBandDb > 0);
    reset();

    const double eps = std::sqrt(1. / (std::exp(stopBandDb * 0.1 * doubleLn10) - 1));
    const double x = 1 / eps;
    const double v0 = std::log(x + std::sqrt(x * x + 1)) / numPoles; // asinh(1/eps) / n
    const double sinh_v0 = -std::sinh(v0);
    const double cosh_v0 = std::cosh(v0);
    const double fn = doublePi / (2 * numPoles);

    const int pairs = numPoles / 2;
    for (int i = 1; i <= pairs; ++i) {
        const int k = 2 * i - 1;
        const double a = sinh_v0 * std::cos((k - numPoles) * fn);
        const double b = cosh_v0 * std::sin((k - numPoles) * fn);
        const double d2 = a * a + b * b;
        const double im = 1 / std::cos(k * fn);
        addPoleZeroConjugatePairs(complex_t(a / d2, b / d2), complex_t(0, im));
    }

    if (numPoles & 1)
        add(1 / sinh_v0, infinity());

    m_numPoles = numPoles;
    m_stopBandDb = stopBandDb;
}

AnalogLowShelf::AnalogLowShelf()
    : m_numPoles(-1)
    , m_stopBandDb(0)
    , m_gainDb(0)
{
    setNormal(doublePi, 1);
}

void AnalogLowShelf::design(int numPoles, double gainDb, double stopBandDb)
{
    if (m_numPoles == numPoles && m_stopBandDb == stopBandDb && m_gainDb == gainDb)
        return;

    m_numPoles = -1;
    detail::designChebyshevLowShelf(*this, numPoles, gainDb, stopBandDb);
    m_numPoles = numPoles;
    m_stopBandDb = stopBandDb;
    m_gainDb = gainDb;
}

} // namespace ChebyshevII
} // namespace Dsp
