#include "ryx/math/mathFunctions.h"

#include <cmath>
#include <cstdint>

double mathFunctions::squared_sum(const iterator& first, const iterator& last)
{
    double sum = 0.0;
    for (auto it = first; it != last; ++it)
        sum += *it * *it;
    return sum;
}

double mathFunctions::mean(const iterator& first, const iterator& last)
{
    double sum = 0.0;
    for (auto it = first; it != last; ++it)
        sum += *it;
    const std::int64_t n = last - first;
    return sum / static_cast<double>(n);
}

double mathFunctions::rms(const iterator& first, const iterator& last)
{
    const std::int64_t n = last - first;
    return std::sqrt(squared_sum(first, last) / static_cast<double>(n));
}

double mathFunctions::var(const iterator& first, const iterator& last)
{
    const std::int32_t n = static_cast<std::int32_t>(last - first);
    double sum = 0.0;
    for (auto it = first; it != last; ++it)
        sum += *it;
    const double m = sum / n;
    double squares = 0.0;
    for (auto it = first; it != last; ++it)
        squares += (*it - m) * (*it - m);
    return squares / (n - 1);
}

double mathFunctions::kurt(const iterator& first, const iterator& last)
{
    const std::int64_t n = last - first;
    if (n < 4)
        return 0.0;
    const double count = static_cast<double>(n);
    double sum = 0.0;
    for (auto it = first; it != last; ++it)
        sum += *it;
    const double m = sum / count;
    double s2 = 0.0;
    double s4 = 0.0;
    for (auto it = first; it != last; ++it) {
        const double d = *it - m;
        s2 += d * d;
        s4 += std::pow(d, 4);
    }
    const double m2 = s2 / count;
    const double m4 = s4 / count;
    const double upper = static_cast<double>(n * n - 1);
    const double lower = static_cast<double>((n - 2) * (n - 3));
    return (upper / lower) * (m4 / (m2 * m2) - 3.0 + 6.0 / (count + 1.0));
}

double mathFunctions::max(const iterator& first, const iterator& last)
{
    if (first == last)
        return std::nan(""); // nothing to choose from; never read past the range
    auto best = first;
    for (auto it = first; it != last; ++it)
        if (*it > *best)
            best = it;
    return *best;
}

double mathFunctions::min(const iterator& first, const iterator& last)
{
    if (first == last)
        return std::nan(""); // nothing to choose from; never read past the range
    auto best = first;
    for (auto it = first; it != last; ++it)
        if (*it < *best)
            best = it;
    return *best;
}

double mathFunctions::dB(double ref, double value)
{
    return 20.0 * std::log10(value / ref);
}

double mathFunctions::unit(double ref, double level)
{
    return ref * std::pow(10.0, level / 20.0);
}

double mathFunctions::sqrMod(const std::complex<double>& c)
{
    return c.real() * c.real() + c.imag() * c.imag();
}

std::vector<double> mathFunctions::faltung(const std::vector<double>& x, const std::vector<double>& h)
{
    // Both empty gives a length of -1, which the vector refuses with std::length_error.
    const std::int64_t length = static_cast<std::int64_t>(x.size()) + static_cast<std::int64_t>(h.size()) - 1;
    std::vector<double> y(static_cast<std::size_t>(length), 0.0);
    for (std::size_t i = 0; i < x.size(); ++i)
        for (std::size_t j = 0; j < h.size(); ++j)
            y[i + j] = h[j] * x[i] + y[i + j];
    return y;
}
