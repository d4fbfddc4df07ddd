#include "ryx/dsp/RootFinder.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace Dsp {

void RootFinderBase::solve(int degree, bool polish, bool doSort)
{
    Dsp_check (degree <= m_maxdegree);
    if (degree < 0)
        return;

    const double EPS = 1.0e-30;

    for (int j = 0; j <= degree; ++j)
        m_ad[j] = m_a[j];
    if (degree == 0)
        return;

    for (int j = degree - 1; j >= 0; --j) {
        complex_t x(0);
        int its;
        laguerre(j + 1, m_ad, x, its);

        // A root whose imaginary part is negligible is real.
        if (std::fabs(std::imag(x)) <= 2. * EPS * std::fabs(std::real(x)))
            x = complex_t(std::real(x), 0.0);

        m_root[j] = x;

        // deflate by (x - root)
        complex_t b = m_ad[j + 1];
        for (int jj = j; jj >= 0; --jj) {
            const complex_t c = m_ad[jj];
            m_ad[jj] = b;
            b = x * b + c;
        }
    }

    if (polish)
        for (int j = 0; j < degree; ++j) {
            int its;
            laguerre(degree, m_a, m_root[j], its);
        }

    if (doSort && degree >= 2)
        sort(degree);
}

void RootFinderBase::sort(int degree)
{
    for (int j = 1; j < degree; ++j) {
        const complex_t x = m_root[j];
        int i;
        for (i = j - 1; i >= 0; --i) {
            if (m_root[i].imag() >= x.imag())
                break;
            m_root[i + 1] = m_root[i];
        }
        m_root[i + 1] = x;
    }
}

complex_t RootFinderBase::eval(int degree, const complex_t& x) const
{
    complex_t y = m_a[0];
    if (x != 0.) {
        complex_t power = 1;
        for (int i = 1; i <= degree; ++i) {
            power *= x;
            y += m_a[i] * power;
        }
    }
    return y;
}

void RootFinderBase::laguerre(int degree, complex_t a[], complex_t& x, int& its)
{
    const int MR = 8;
    const int MT = 10;
    const int MAXIT = MT * MR;
    const double EPS = 2.220446049250313e-16; // machine epsilon of double

    // Fractional steps that break limit cycles, one every MT iterations.
    static const double frac[MR + 1] = {0.0, 0.5, 0.25, 0.75, 0.13, 0.38, 0.62, 0.88, 1.0};

    for (int iter = 1; iter <= MAXIT; ++iter) {
        its = iter;
        complex_t b = a[degree];
        double err = std::abs(b);
        complex_t d(0);
        complex_t f(0);
        const double abx = std::abs(x);
        for (int j = degree - 1; j >= 0; --j) {
            f = x * f + d;
            d = x * d + b;
            b = x * b + a[j];
            err = std::abs(b) + abx * err;
        }
        err *= EPS;
        if (std::abs(b) <= err)
            return; // x is a root

        const complex_t g = d / b;
        const complex_t g2 = g * g;
        const complex_t h = g2 - 2.0 * f / b;
        const complex_t sq = std::sqrt(double(degree - 1) * (double(degree) * h - g2));
        complex_t gp = g + sq;
        const complex_t gm = g - sq;
        const double abp = std::abs(gp);
        const double abm = std::abs(gm);
        if (abp < abm)
            gp = gm;

        const complex_t dx = std::max(abp, abm) > 0.0 ? double(degree) / gp
                                                        : std::polar(1 + abx, double(iter));
        const complex_t x1 = x - dx;
        if (x == x1)
            return;
        if (iter % MT != 0)
            x = x1;
        else
            x -= frac[iter / MT] * dx;
    }

    throw std::logic_error("laguerre failed");
}

} // namespace Dsp
