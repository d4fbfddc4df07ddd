#pragma once

#include <cmath>
#include <complex>
#include <limits>

#include "ryx/dsp/CheckFailure.h"

namespace Dsp {

typedef std::complex<double> complex_t;

const double doublePi = 3.1415926535897932384626433832795028841971;
const double doublePi_2 = 1.5707963267948966192313216916397514420986;
const double doubleLn2 = 0.69314718055994530941723212145818;
const double doubleLn10 = 2.3025850929940456840179914546844;

// The analog prototypes write a zero at infinity as (+infinity, 0).
inline double infinity()
{
    return std::numeric_limits<double>::infinity();
}

inline bool is_nan(double v)
{
    return std::isnan(v);
}

inline bool is_nan(const complex_t& v)
{
    return std::isnan(v.real()) || std::isnan(v.imag());
}

// Response kinds reported by the filter objects.
enum Kind
{
    kindLowPass = 0,
    kindHighPass = 1,
    kindBandPass = 2,
    kindBandStop = 3,
    kindLowShelf = 4,
    kindHighShelf = 5,
    kindBandShelf = 6,
    kindOther = 7 // all-pass
};

// Two complex numbers: a conjugate pair, two reals, or one real and a zero.
struct ComplexPair
{
    ComplexPair() = default;

    // A single real value; the second member is 0.
    explicit ComplexPair(const complex_t& c1)
        : first(c1)
        , second(0)
    {
        Dsp_check (isReal());
    }

    ComplexPair(const complex_t& c1, const complex_t& c2)
        : first(c1)
        , second(c2)
    {
    }

    bool isReal() const
    {
        return first.imag() == 0 && second.imag() == 0;
    }

    // Either a conjugate pair, or two non-zero reals (exact comparisons).
    bool isMatchedPair() const
    {
        if (first.imag() != 0)
            return second == std::conj(first);
        return second.imag() == 0 && second.real() != 0 && first.real() != 0;
    }

    bool is_nan() const
    {
        return Dsp::is_nan(first) || Dsp::is_nan(second);
    }

    complex_t first;
    complex_t second;
};

// Up to two poles and two zeros: pole 1, pole 2, zero 1, zero 2.
struct PoleZeroPair
{
    PoleZeroPair() = default;

    // One real pole and one real zero.
    PoleZeroPair(const complex_t& p, const complex_t& z)
        : poles(p)
        , zeros(z)
    {
    }

    PoleZeroPair(const complex_t& p1, const complex_t& z1, const complex_t& p2, const complex_t& z2)
        : poles(p1, p2)
        , zeros(z1, z2)
    {
    }

    bool isSinglePole() const
    {
        return poles.second == complex_t(0, 0) && zeros.second == complex_t(0, 0);
    }

    bool is_nan() const
    {
        return poles.is_nan() || zeros.is_nan();
    }

    ComplexPair poles;
    ComplexPair zeros;
};

} // namespace Dsp
