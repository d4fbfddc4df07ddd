#include "ryx/dsp/Butterworth.h"

#include <cmath>

namespace Dsp {
namespace Butterworth {

AnalogLowPass::AnalogLowPass()
    : m_numPoles(-1)
{
    setNormal(0, 1);
}

void AnalogLowPass::design(int numPoles)
{
    if (m_numPoles == numPoles)
        return;

    // The cache is valid again only once the layout is complete.
    m_numPoles = -1;
    Dsp_check (numPoles >= 1 && numPoles <= getMaxPoles ());
    reset();

    // Poles on the unit circle in the left half plane.
    const double n2 = 2 * numPoles;
    const int pairs = numPoles / 2;
    for (int i = 0; i < pairs; ++i) {
        const complex_t c = std::polar(1., doublePi_2 + (2 * i + 1) * doublePi / n2);
        addPoleZeroConjugatePairs(c, infinity());
    }

    if (numPoles & 1)
        add(-1, infinity());

    m_numPoles = numPoles;
}

AnalogLowShelf::AnalogLowShelf()
    : m_numPoles(-1)
    , m_gainDb(0)
{
    setNormal(doublePi, 1);
}

void AnalogLowShelf::design(int numPoles, double gainDb)
{
    if (m_numPoles == numPoles && m_gainDb == gainDb)
        return;

    m_numPoles = -1;
    Dsp_check (numPoles >= 1 && numPoles <= getMaxPoles ());
    reset();

    const double n2 = numPoles * 2;
    const double g = std::pow(std::pow(10., gainDb / 20), 1. / n2);
    const double gp = -1. / g;
    const double gz = -g;

    const int pairs = numPoles / 2;
    for (int i = 1; i <= pairs; ++i) {
        const double theta = doublePi * (0.5 - (2 * i - 1) / n2);
        const complex_t e = std::polar(1., theta);
        addPoleZeroConjugatePairs(gp * e, gz * e);
    }

    if (numPoles & 1)
        add(gp, gz);

    m_numPoles = numPoles;
    m_gainDb = gainDb;
}

} // namespace Butterworth
} // namespace Dsp
