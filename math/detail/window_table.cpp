#include "ryx/math/detail/window_table.h"

#include <cfloat>
#include <cmath>

namespace ryx::math::detail {

double window_factor(window_kind kind)
{
    switch (kind) {
    case window_kind::rectangular: return 1.051;
    case window_kind::cosine: return 1.626;
    case window_kind::hann: return 2.07;
    case window_kind::bartlett_hann: return 1.669;
    case window_kind::hamming: return 1.918;
    case window_kind::blackman: return 2.464;
    case window_kind::blackman_harris: return 2.883;
    case window_kind::flattop: return 1.035;
    case window_kind::half_rect: return 1.0;
    }
    return 1.0;
}

double window_raw(window_kind kind, std::size_t n, std::size_t count)
{
    const double x = static_cast<double>(n) / static_cast<double>(count); // the real quotient n / N
    const double c1 = std::cos(2.0 * M_PI * x);
    switch (kind) {
    case window_kind::rectangular: return 1.0;
    case window_kind::cosine: return std::sin(M_PI * x);
    case window_kind::hann: return 0.5 - 0.5 * c1;
    case window_kind::bartlett_hann: return 0.62 - 0.48 * std::fabs(x - 0.5) - 0.38 * c1;
    case window_kind::hamming: return 0.54 - 0.46 * c1;
    case window_kind::blackman: return 0.42 - 0.5 * c1 + 0.08 * std::cos(4.0 * M_PI * x);
    case window_kind::blackman_harris:
        return 0.359 - 0.488 * c1 + 0.141 * std::cos(4.0 * M_PI * x) - 0.012 * std::cos(6.0 * M_PI * x);
    case window_kind::flattop:
        return 1.0 - 1.93 * c1 + 1.29 * std::cos(4.0 * M_PI * x) - 0.388 * std::cos(6.0 * M_PI * x)
               + 0.032 * std::cos(8.0 * M_PI * x);
    case window_kind::half_rect: return n < count / 2 ? 1.0 : 0.0;
    }
    return 1.0;
}

void fill_window(window_kind kind, double* out, std::size_t count)
{
    if (kind == window_kind::half_rect) {
        for (std::size_t n = 0; n < count; ++n)
            out[n] = n < count / 2 ? 1.0 : 0.0;
        return;
    }
    const double factor = window_factor(kind);
    for (std::size_t n = 0; n < count; ++n)
        out[n] = window_raw(kind, n, count) * factor;
}

void fill_exponential_window(double* out, std::size_t count, double decay)
{
    if (!(decay > 0.0))
        decay = DBL_MIN;
    else if (decay > DBL_MAX)
        decay = DBL_MAX;
    const double slope = std::log(decay);
    const double last = count > 1 ? static_cast<double>(count - 1) : 1.0;
    for (std::size_t n = 0; n < count; ++n)
        out[n] = std::exp(slope * static_cast<double>(n) / last);
}

} // namespace ryx::math::detail
