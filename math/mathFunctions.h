#pragma once

#include <complex>
#include <vector>

#include "ryx/ryx_math_export.h"

// Static numeric helpers shared by the analysis objects. Statistics work on the
// half-open range [first, last) of a std::vector<double>; nothing is allocated
// except the result of faltung.
class RYX_MATH_EXPORT mathFunctions
{
public:
    using iterator = std::vector<double>::const_iterator;

    mathFunctions() = default;

    // Sum of x^2, accumulated front to back; 0 for an empty range.
    static double squared_sum(const iterator& first, const iterator& last);
    // Arithmetic mean; NaN for an empty range.
    static double mean(const iterator& first, const iterator& last);
    // sqrt(sum of x^2 / n); NaN for an empty range.
    static double rms(const iterator& first, const iterator& last);
    // Sample variance (n - 1 denominator); -0.0 for an empty range, NaN for one element.
    static double var(const iterator& first, const iterator& last);
    // Bias-corrected sample excess kurtosis; 0 for fewer than 4 elements.
    static double kurt(const iterator& first, const iterator& last);
    // First largest / smallest element (ties keep the earlier one); NaN for an empty range.
    static double max(const iterator& first, const iterator& last);
    static double min(const iterator& first, const iterator& last);
    // 20 log10(value / ref): the reference comes first.
    static double dB(double ref, double value);
    // ref * 10^(level / 20): the inverse of dB.
    static double unit(double ref, double level);
    // re^2 + im^2.
    static double sqrMod(const std::complex<double>& c);
    // Full linear convolution of x and h, |x| + |h| - 1 values. Throws
    // std::length_error when both inputs are empty.
    static std::vector<double> faltung(const std::vector<double>& x, const std::vector<double>& h);
};
