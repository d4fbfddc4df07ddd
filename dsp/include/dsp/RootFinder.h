#pragma once

#include "ryx/dsp/Types.h"
#include "ryx/ryx_math_export.h"

namespace Dsp {

// Finds the complex roots of a polynomial with complex coefficients by Laguerre's
// method with deflation (W. H. Press et al., Numerical Recipes, "zroots" and
// "laguer"). Works on arrays that a fixed-capacity holder provides.
class RYX_MATH_EXPORT RootFinderBase
{
public:
    RootFinderBase(const RootFinderBase&) = delete;
    RootFinderBase& operator=(const RootFinderBase&) = delete;

    // Finds the roots of coef()[0] + coef()[1] x + ... + coef()[degree] x^degree
    // into root()[0 ... degree-1]. Polishing refines each root on the undeflated
    // polynomial; sorting orders the roots by descending imaginary part. Throws
    // std::logic_error("laguerre failed") if a root does not converge.
    void solve(int degree, bool polish = true, bool doSort = true);

    // The polynomial's value at x.
    complex_t eval(int degree, const complex_t& x) const;

    int getMaxDegree() const { return m_maxdegree; }

    // maxdegree + 1 coefficients; coefficient i multiplies x^i.
    complex_t* coef() { return m_a; }
    // maxdegree roots.
    complex_t* root() { return m_root; }
    const complex_t* root() const { return m_root; }

    // One root of a[0 ... degree] by Laguerre's method, refining x in place;
    // its is set to the number of iterations.
    void laguerre(int degree, complex_t a[], complex_t& x, int& its);

    // Insertion sort of roots 0 ... degree-1 by descending imaginary part
    // (stable: equal imaginary parts keep their order).
    void sort(int degree);

protected:
    RootFinderBase() = default;

    int m_maxdegree = 0;
    complex_t* m_a = nullptr;    // coefficients
    complex_t* m_ad = nullptr;   // deflated copy
    complex_t* m_root = nullptr; // roots
};

// A root finder with inline storage for polynomials up to MaxDegree.
template <int MaxDegree>
class RootFinder : public RootFinderBase
{
public:
    RootFinder()
    {
        m_maxdegree = MaxDegree;
        m_a = m_a0;
        m_ad = m_ad0;
        m_root = m_r;
    }

private:
    complex_t m_a0[MaxDegree + 1] = {};
    complex_t m_ad0[MaxDegree + 1] = {};
    complex_t m_r[MaxDegree] = {};
};

} // namespace Dsp
