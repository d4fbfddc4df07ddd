#include "ryx/dsp/Elliptic.h"

#include <cmath>

namespace Dsp {
namespace Elliptic {

namespace {

// Bounds for the iterative steps; converging designs need far fewer. A design
// that does not converge within them (for example from a NaN argument) is
// refused instead of looping forever.
const int maxSeriesTerms = 10000;
const int maxFactorIterations = 100000;

// True if the prototype's magnitude on [0, 1) rad/s, normalised to the given
// gain at DC, stays within the ripple band [10^(-rippleDb/20), 1] up to
// tolerance. Sampled at 16 points per pole, enough to see a factorisation that
// has drifted; the edge itself is left out, since with the narrowest transition
// bands the magnitude there turns on the last digits of the zeros.
bool passBandWithinRipple(const LayoutBase& proto, double rippleDb, double dcGain, double tolerance)
{
    auto magnitude = [&proto](double w) {
        const complex_t s(0, w);
        complex_t h = 1;
        for (int i = 0; i < (proto.getNumPoles() + 1) / 2; ++i) {
            const PoleZeroPair& pair = proto[i];
            const int count = pair.isSinglePole() ? 1 : 2;
            for (int k = 0; k < count; ++k) {
                const complex_t pole = k ? pair.poles.second : pair.poles.first;
                const complex_t zero = k ? pair.zeros.second : pair.zeros.first;
                if (std::isfinite(zero.real()))
                    h *= s - zero;
                h /= s - pole;
            }
        }
        return std::abs(h);
    };

    const double scale = dcGain / magnitude(0);
    const double floor = std::pow(10., -rippleDb / 20);
    const int samples = 16 * proto.getNumPoles();
    for (int k = 0; k < samples; ++k) {
        const double g = scale * magnitude(double(k) / samples);
        if (!(g <= 1 + tolerance && g >= floor - tolerance))
            return false;
    }
    return true;
}

} // namespace

double Solver::ellipticK(double k)
{
    double a = 1;
    double b = std::sqrt(1 - k * k);
    double c = 1 - b; // previous half-difference
    for (;;) {
        const double bn = std::sqrt(a * b);
        const double e = (a - b) / 2;
        a = (a + b) / 2;
        if (!(e < c))
            break;
        b = bn;
        c = e;
    }
    return doublePi / (2 * a);
}

AnalogLowPass::AnalogLowPass()
    : m_numPoles(-1)
    , m_rippleDb(0)
    , m_rolloff(0)
{
}

double AnalogLowPass::calcsn(double u)
{
    double sn = 0;
    // q-series of sn, scaled by K / (2 pi) as the design expects
    const double q = std::exp(-doublePi * m_Kprime / m_K);
    const double v = doublePi * 0.5 * u / m_K;
    for (int j = 0;; ++j) {
        const double w = std::pow(q, j + 0.5);
        sn += w * std::sin((2 * j + 1) * v) / (1 - w * w);
        if (w < 1e-7)
            break;
        Dsp_check (j < maxSeriesTerms);
    }
    return sn;
}

void AnalogLowPass::design(const int numPoles, double rippleDb, double rolloff)
{
    if (m_numPoles == numPoles && m_rippleDb == rippleDb && m_rolloff == rolloff)
        return;

    // The cache is valid again only once the layout is complete.
    m_numPoles = -1;
    Dsp_check (numPoles >= 1 && numPoles <= getMaxPoles () && numPoles <= MaxOrder);
    // No pass-band ripple gives no elliptic response.
    Dsp_check (rippleDb > 0 && std::isfinite (rippleDb));
    Dsp_check (std::isfinite (rolloff));
    reset();

    const int n = numPoles;

    const double e2 = std::pow(10., rippleDb / 10) - 1;
    const double xi = 5 * std::exp(rolloff - 1) + 1;

    m_K = Solver::ellipticK(1 / xi);
    m_Kprime = Solver::ellipticK(std::sqrt(1 - 1 / (xi * xi)));

    // Stop-band zero frequencies.
    const int ni = ((n & 1) == 1) ? 0 : 1;
    double f[100];
    for (int i = 1; i <= n / 2; ++i) {
        const double u = (2 * i - ni) * m_K / n;
        const double sn = calcsn(u) * (2 * doublePi) / m_K;
        f[i] = m_zeros[i - 1] = 1 / sn;
    }
    m_zeros[n / 2] = infinity();

    const double fb = 1 / (2 * doublePi);
    m_nin = n % 2;
    m_nh = n / 2;
    for (int i = 1; i <= m_nh; ++i) {
        const double x = f[m_nh + 1 - i];
        m_z1[i] = std::sqrt(1 - 1 / (x * x));
    }
    m_e = std::sqrt(e2);
    const double fbb = fb * fb;
    m_m = m_nin + 2 * m_nh;
    m_em = 2 * (m_m / 2);

    // The denominator of |H|^2 from the numerator (calcfz) and the pass band's
    // Chebyshev-rational part (calcqz).
    calcfz();
    calcqz();
    if (m_m > m_em)
        m_c1[2 * m_m] = 0;
    for (int i = 0; i <= 2 * m_m; i += 2)
        m_a1[m_m - i / 2] = m_c1[i] + m_d1[i];

    // Factor it into quadratics (and one linear factor for odd orders).
    const double a0 = findfact(m_m);

    for (int r = 1; r <= m_em / 2; ++r) {
        m_p[r] /= 10;
        m_q1[r] /= 100;
        const double d = 1 + m_p[r] + m_q1[r];
        m_b[r] = (1 + m_p[r] / 2) * fbb / d;
        m_zf[r] = fb / std::pow(d, .25);
        m_zq[r] = 1 / std::sqrt(std::fabs(2 * (1 - m_b[r] / (m_zf[r] * m_zf[r]))));
        m_zw[r] = 2 * doublePi * m_zf[r];
        const double re = -.5 * m_zw[r] / m_zq[r];
        const double im = .5 * std::sqrt(std::fabs(m_zw[r] * m_zw[r] / (m_zq[r] * m_zq[r]) - 4 * m_zw[r] * m_zw[r]));
        addPoleZeroConjugatePairs(complex_t(re, im), complex_t(0, m_zeros[r - 1]));
    }

    if (a0 != 0)
        add(-std::sqrt(fbb / (.1 * a0 - 1)) * (2 * doublePi), infinity());

    // Without the odd pole the filter would have the wrong order.
    Dsp_check (getNumPoles () == n);

    const double dcGain = (n & 1) ? 1. : std::pow(10., -rippleDb / 20.0);
    // From about order 45 the factorisation drifts and the pass band leaves the
    // ripple band (by 20 % at order 50 with wide ripples): such designs are refused.
    Dsp_check (passBandWithinRipple (*this, rippleDb, dcGain, 1e-3));

    setNormal(0, dcGain);

    m_numPoles = numPoles;
    m_rippleDb = rippleDb;
    m_rolloff = rolloff;
}

// b1 = product of (z + s1[i]), i = 1 ... sn
void AnalogLowPass::prodpoly(int sn)
{
    m_b1[0] = m_s1[1];
    m_b1[1] = 1;

    for (int j = 2; j <= sn; ++j) {
        m_a1[0] = m_s1[j] * m_b1[0];
        for (int i = 1; i <= j - 1; ++i)
            m_a1[i] = m_b1[i - 1] + m_s1[j] * m_b1[i];
        for (int i = 0; i != j; ++i)
            m_b1[i] = m_a1[i];
        m_b1[j] = 1;
    }
}

// c1[i]: coefficient i of the squared numerator, scaled by powers of ten
void AnalogLowPass::calcfz2(int i)
{
    int ji = 0;
    int jf = 0;
    if (i < m_em + 2) {
        ji = 0;
        jf = i;
    }
    if (i > m_em) {
        ji = i - m_em;
        jf = m_em;
    }
    m_c1[i] = 0;
    for (int j = ji; j <= jf; j += 2)
        m_c1[i] += m_a1[j] * m_a1[i - j] * std::pow(10., m_m - i / 2);
}

// the numerator of the characteristic function, squared
void AnalogLowPass::calcfz()
{
    int i = 1;
    if (m_nin == 1)
        m_s1[i++] = 1;
    for (; i <= m_nin + m_nh; ++i)
        m_s1[i] = m_s1[i + m_nh] = m_z1[i - m_nin];
    prodpoly(m_nin + 2 * m_nh);
    for (i = 0; i <= m_em; i += 2)
        m_a1[i] = m_e * m_b1[i];
    for (i = 0; i <= 2 * m_em; i += 2)
        calcfz2(i);
}

// the denominator of the characteristic function
void AnalogLowPass::calcqz()
{
    int i;
    for (i = 1; i <= m_nin; ++i)
        m_s1[i] = -10;
    for (; i <= m_nin + m_nh; ++i)
        m_s1[i] = -10 * m_z1[i - m_nin] * m_z1[i - m_nin];
    for (; i <= m_nin + 2 * m_nh; ++i)
        m_s1[i] = m_s1[i - m_nh];
    prodpoly(m_m);
    const int dd = ((m_nin & 1) == 1) ? -1 : 1;
    for (i = 0; i <= 2 * m_m; i += 2)
        m_d1[i] = dd * m_b1[i / 2];
}

// Bairstow's factorisation of a1 into quadratics (p, q1); returns the root
// term of a remaining linear factor, or 0.
double AnalogLowPass::findfact(int t)
{
    double a = 0;
    for (int i = 1; i <= t; ++i)
        m_a1[i] /= m_a1[0];
    m_a1[0] = m_b1[0] = m_c1[0] = 1;
    int i1 = 0;
    for (;;) {
        if (t <= 2)
            break;
        double p0 = 0;
        double q0 = 0;
        i1++;
        for (int iteration = 0;; ++iteration) {
            Dsp_check (iteration < maxFactorIterations);
            m_b1[1] = m_a1[1] - p0;
            m_c1[1] = m_b1[1] - p0;
            for (int i = 2; i <= t; ++i)
                m_b1[i] = m_a1[i] - p0 * m_b1[i - 1] - q0 * m_b1[i - 2];
            for (int i = 2; i < t; ++i)
                m_c1[i] = m_b1[i] - p0 * m_c1[i - 1] - q0 * m_c1[i - 2];
            const int x1 = t - 1;
            const int x2 = t - 2;
            const int x3 = t - 3;
            double x4 = m_c1[x2] * m_c1[x2] + m_c1[x3] * (m_b1[x1] - m_c1[x1]);
            if (x4 == 0)
                x4 = 1e-3;
            const double ddp = (m_b1[x1] * m_c1[x2] - m_b1[t] * m_c1[x3]) / x4;
            p0 += ddp;
            const double dq = (m_b1[t] * m_c1[x2] - m_b1[x1] * (m_c1[x1] - m_b1[x1])) / x4;
            q0 += dq;
            if (std::fabs(ddp + dq) < 1e-6)
                break;
        }
        m_p[i1] = p0;
        m_q1[i1] = q0;
        m_a1[1] = m_a1[1] - p0;
        t -= 2;
        for (int i = 2; i <= t; ++i)
            m_a1[i] -= p0 * m_a1[i - 1] + q0 * m_a1[i - 2];
        if (t <= 2)
            break;
    }

    if (t == 2) {
        i1++;
        m_p[i1] = m_a1[1];
        m_q1[i1] = m_a1[2];
    }
    if (t == 1)
        a = -m_a1[1];

    return a;
}

} // namespace Elliptic
} // namespace Dsp
