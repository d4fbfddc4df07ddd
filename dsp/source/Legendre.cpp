#include "ryx/dsp/Legendre.h"

#include <cmath>

namespace Dsp {
namespace Legendre {

namespace {

// |H(j)|^2 of an all-pole prototype normalised to unit gain at DC.
double powerAtUnity(const LayoutBase& proto)
{
    double power = 1;
    const complex_t j(0, 1);
    for (int i = 0; i < (proto.getNumPoles() + 1) / 2; ++i) {
        const PoleZeroPair& pair = proto[i];
        power *= std::norm(pair.poles.first) / std::norm(j - pair.poles.first);
        if (!pair.isSinglePole())
            power *= std::norm(pair.poles.second) / std::norm(j - pair.poles.second);
    }
    return power;
}

} // namespace

void PolynomialFinderBase::legendre(double* p, int n)
{
    if (n == 0) {
        p[0] = 1.0;
        return;
    }
    if (n == 1) {
        p[0] = 0.0;
        p[1] = 1.0;
        return;
    }

    p[0] = -0.5;
    p[1] = 0.0;
    p[2] = 1.5;

    if (n == 2)
        return;

    for (int i = 0; i <= n; ++i) {
        m_aa[i] = 0.0;
        m_bb[i] = 0.0;
    }
    m_bb[1] = 1.0;

    // i P_i = (2i - 1) x P_(i-1) - (i - 1) P_(i-2); aa and bb keep the two
    // previous polynomials.
    for (int i = 3; i <= n; ++i) {
        for (int j = 0; j <= i; ++j) {
            m_aa[j] = m_bb[j];
            m_bb[j] = p[j];
            p[j] = 0.0;
        }
        for (int j = i - 2; j >= 0; j -= 2)
            p[j] -= (i - 1) * m_aa[j] / i;
        for (int j = i - 1; j >= 0; j -= 2)
            p[j + 1] += (2 * i - 1) * m_bb[j] / i;
    }
}

void PolynomialFinderBase::solve(int n)
{
    Dsp_check (n <= m_maxN);

    // Orders 1 and 2 read a[1] with k = 0: every unused entry is 0.
    for (int i = 0; i < 2 * m_maxN + 4; ++i) {
        m_a[i] = 0.0;
        m_s[i] = 0.0;
        m_v[i] = 0.0;
        m_w[i] = 0.0;
    }

    const int k = (n - 1) / 2;

    // Weights of the Legendre polynomials in the integrand.
    if (n & 1) {
        const double c = 1.4142135623730951 * (k + 1); // sqrt(2) (k + 1)
        for (int i = 0; i <= k; ++i)
            m_a[i] = (2.0 * i + 1.0) / c;
    } else {
        const double c = std::sqrt((k + 1.0) * (k + 2.0));
        for (int i = (k & 1) ? 1 : 0; i <= k; i += 2)
            m_a[i] = (2.0 * i + 1.0) / c;
    }

    for (int i = 0; i <= n; ++i) {
        m_s[i] = 0.0;
        m_w[i] = 0.0;
    }

    // The weighted sum of Legendre polynomials.
    m_s[0] = m_a[0];
    m_s[1] = m_a[1];
    for (int i = 2; i <= k; ++i) {
        legendre(m_p, i);
        for (int j = 0; j <= i; ++j)
            m_s[j] += m_a[i] * m_p[j];
    }

    // Its square.
    for (int i = 0; i <= 2 * k + 2; ++i)
        m_v[i] = 0.0;
    for (int i = 0; i <= k; ++i)
        for (int j = 0; j <= k; ++j)
            m_v[i + j] += m_s[i] * m_s[j];

    // Even orders integrate (x + 1) times the square.
    m_v[2 * k + 1] = 0.0;
    if ((n & 1) == 0)
        for (int i = n; i >= 0; --i)
            m_v[i + 1] += m_v[i];

    // Indefinite integral.
    for (int i = n + 1; i >= 0; --i)
        m_v[i + 1] = m_v[i] / double(i + 1);
    m_v[0] = 0.0;

    // Definite integral from -1 to 2 w^2 - 1: each power of x becomes (2 x - 1)^i.
    for (int i = 0; i < n + 2; ++i)
        m_s[i] = 0.0;
    m_s[0] = -1.0;
    m_s[1] = 2.0;
    for (int i = 1; i <= n; ++i) {
        if (i > 1) {
            double c0 = -m_s[0];
            for (int j = 1; j < i + 1; ++j) {
                const double c1 = -m_s[j] + 2.0 * m_s[j - 1];
                m_s[j - 1] = c0;
                c0 = c1;
            }
            const double c1 = 2.0 * m_s[i];
            m_s[i] = c0;
            m_s[i + 1] = c1;
        }
        for (int j = i; j >= 1; --j)
            m_w[j] += m_v[i] * m_s[j];
    }
    if ((n & 1) == 0)
        m_w[1] = 0.0;
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

    PolynomialFinderBase& poly = w->poly;
    RootFinderBase& roots = w->roots;
    poly.solve(numPoles);

    // 1 + L_n(-s^2): the squared magnitude continued into the s-plane.
    const int degree = numPoles * 2;
    Dsp_check (degree <= roots.getMaxDegree ());
    roots.coef()[0] = 1.0 + poly.coef()[0];
    roots.coef()[1] = 0.0;
    for (int i = 1; i <= numPoles; ++i) {
        roots.coef()[2 * i] = poly.coef()[i] * ((i & 1) ? -1 : 1);
        // The odd coefficient above the top one would lie past the finder's storage.
        if (2 * i + 1 <= degree)
            roots.coef()[2 * i + 1] = 0.0;
    }
    roots.solve(degree);

    // The left half-plane roots are the poles.
    int j = 0;
    for (int i = 0; i < degree; ++i)
        if (roots.root()[i].real() <= 0)
            roots.root()[j++] = roots.root()[i];
    // A numerically split pair would leave too few or too many poles.
    Dsp_check (j == numPoles);
    roots.sort(numPoles);

    const int pairs = numPoles / 2;
    for (int i = 0; i < pairs; ++i)
        addPoleZeroConjugatePairs(roots.root()[i], infinity());

    if (numPoles & 1)
        add(roots.root()[pairs].real(), infinity());

    // The optimum-L response has half its power at 1 rad/s. From order 23 on,
    // the polynomial and its roots (degree 2n, computed in double) lose that
    // property, by 0.02 dB at order 23 and by tens of dB from order 26: such
    // orders are refused rather than loaded as some other filter.
    Dsp_check (std::fabs (powerAtUnity (*this) - 0.5) <= 1e-3);

    m_numPoles = numPoles;
}

} // namespace Legendre
} // namespace Dsp
