#include "ryx/dsp/Bessel.h"

#include <algorithm>
#include <cmath>

namespace Dsp {
namespace Bessel {

namespace {

double fact(int n)
{
    double y = 1;
    for (double m = 2; m <= n; ++m)
        y *= m;
    return y;
}

// Loads the reverse Bessel polynomial of order n and solves it.
void solveReverseBessel(RootFinderBase& roots, int n)
{
    for (int i = 0; i <= n; ++i)
        roots.coef()[i] = reversebessel(i, n);
    roots.solve(n);
}

// Relative size of a Newton step on theta_n(s) + offset at each root: an
// estimate of the roots' error. The reverse Bessel polynomial theta_n is
// evaluated by its recurrence theta_k = (2k - 1) theta_(k-1) + s^2 theta_(k-2),
// which stays accurate at high orders where the expanded coefficients (up to
// about 1e78 at order 50) make the solved roots drift: by order 27 they are off
// by percents, by order 40 by tens of percents.
double rootError(const RootFinderBase& roots, int n, double offset)
{
    double worst = 0;
    for (int i = 0; i < n; ++i) {
        const complex_t s = roots.root()[i];
        complex_t t0 = 1;      // theta_(k-2)
        complex_t d0 = 0;      // its derivative
        complex_t t1 = s + 1.; // theta_(k-1)
        complex_t d1 = 1;
        for (int k = 2; k <= n; ++k) {
            const complex_t t2 = double(2 * k - 1) * t1 + s * s * t0;
            const complex_t d2 = double(2 * k - 1) * d1 + 2. * s * t0 + s * s * d0;
            t0 = t1;
            d0 = d1;
            t1 = t2;
            d1 = d2;
        }
        const double step = std::abs((t1 + offset) / d1) / std::abs(s);
        worst = std::isnan(step) ? INFINITY : std::max(worst, step);
    }
    return worst;
}

// Roots whose estimated relative error exceeds this would give a filter that is
// visibly not a Bessel filter; such orders are refused. The estimate runs up to
// about four times the true error: order 26 (true error 3e-4) passes, order 27
// (7e-3) does not.
const double maxRootError = 2e-3;

} // namespace

double reversebessel(int k, int n)
{
    return fact(2 * n - k) / ((fact(n - k) * fact(k)) * std::pow(2., n - k));
}

AnalogLowPass::AnalogLowPass()
    : m_numPoles(-1)
{
    setNormal(0, 1);
}

void AnalogLowPass::design(const int numPoles, WorkspaceBase* w)
{
    if (m_numPoles == numPoles)
        return;

    // The cache is valid again only once the layout is complete.
    m_numPoles = -1;
    Dsp_check (numPoles >= 1 && numPoles <= getMaxPoles ());
    reset();

    solveReverseBessel(w->roots, numPoles);
    Dsp_check (rootError (w->roots, numPoles, 0) <= maxRootError);

    // Sorted by descending imaginary part: the upper half-plane roots come first.
    const int pairs = numPoles / 2;
    for (int i = 0; i < pairs; ++i)
        addPoleZeroConjugatePairs(w->roots.root()[i], infinity());

    if (numPoles & 1)
        add(w->roots.root()[pairs].real(), infinity());

    m_numPoles = numPoles;
}

AnalogLowShelf::AnalogLowShelf()
    : m_numPoles(-1)
    , m_gainDb(0)
{
    setNormal(doublePi, 1);
}

void AnalogLowShelf::design(int numPoles, double gainDb, WorkspaceBase* w)
{
    if (m_numPoles == numPoles && m_gainDb == gainDb)
        return;

    m_numPoles = -1;
    Dsp_check (numPoles >= 1 && numPoles <= getMaxPoles ());
    reset();

    const double G = std::pow(10., gainDb / 20) - 1;

    RootFinderBase& poles = w->roots;
    solveReverseBessel(poles, numPoles);
    Dsp_check (rootError (poles, numPoles, 0) <= maxRootError);

    // The zeros solve the same polynomial with its constant term scaled by the
    // shelf gain, which sets the gain at DC.
    RootFinder<50> zeros;
    Dsp_check (numPoles <= zeros.getMaxDegree ());
    for (int i = 0; i <= numPoles; ++i)
        zeros.coef()[i] = reversebessel(i, numPoles);
    const double a0 = reversebessel(0, numPoles);
    zeros.coef()[0] += G * a0;
    zeros.solve(numPoles);
    Dsp_check (rootError (zeros, numPoles, G * a0) <= maxRootError);

    const int pairs = numPoles / 2;
    for (int i = 0; i < pairs; ++i)
        addPoleZeroConjugatePairs(poles.root()[i], zeros.root()[i]);

    if (numPoles & 1)
        add(poles.root()[pairs].real(), zeros.root()[pairs].real());

    m_numPoles = numPoles;
    m_gainDb = gainDb;
}

} // namespace Bessel
} // namespace Dsp
