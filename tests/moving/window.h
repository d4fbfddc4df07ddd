#pragma once

// Shared helpers of the moving-channel tests: collecting a channel's output
// across runs, and the direct recomputation of each statistic over a window.

#include <QObject>
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <random>
#include <vector>

#include "ryx/math/moving/data.h"

namespace moving_test {

inline constexpr double not_a_number = std::numeric_limits<double>::quiet_NaN();

// Appends every run the channel publishes to out.
inline void collect(ryx::analog_data* channel, std::vector<double>& out)
{
    QObject::connect(channel, &ryx::analog_data::data_changed, channel,
                     [channel, &out] { out.insert(out.end(), channel->cbegin(), channel->cend()); });
}

// Window length in seconds for w samples at the given rate.
inline double seconds(int w, double rate)
{
    return static_cast<double>(w) / rate;
}

// Run lengths from 1 to max, from a fixed seed.
struct random_runs
{
    explicit random_runs(std::size_t max, unsigned seed = 3) : gen(seed), dist(1, max) {}
    std::size_t operator()() { return dist(gen); }
    std::mt19937 gen;
    std::uniform_int_distribution<std::size_t> dist;
};

// The samples of the window that ends with input k.
struct window
{
    const double* first;
    const double* last;
    std::size_t n() const { return static_cast<std::size_t>(last - first); }
    bool has_nan() const { return std::any_of(first, last, [](double x) { return std::isnan(x); }); }
};

inline window window_at(const std::vector<double>& x, std::size_t k, std::size_t w)
{
    const std::size_t begin = k + 1 >= w ? k + 1 - w : 0;
    return {x.data() + begin, x.data() + k + 1};
}

// Two-pass references, accumulated in long double.
// The window's mean as origin + offset: the origin is the first sample (0 when
// it is not finite), the offset the mean of the deviations from it. Summed so,
// a large common offset costs the long-double sums no precision.
struct mean_parts
{
    long double origin = 0;
    long double offset = 0;
};

inline mean_parts mean_about_first(window v)
{
    mean_parts m;
    if (v.n() == 0)
        return m;
    m.origin = std::isfinite(*v.first) ? *v.first : 0;
    long double s = 0;
    for (const double* p = v.first; p != v.last; ++p)
        s += *p - m.origin;
    m.offset = s / static_cast<long double>(v.n());
    return m;
}

inline long double exact_mean(window v)
{
    const mean_parts m = mean_about_first(v);
    return m.origin + m.offset;
}

inline double mean_of(window v)
{
    return static_cast<double>(exact_mean(v));
}

inline double rms_of(window v)
{
    long double s = 0;
    for (const double* p = v.first; p != v.last; ++p)
        s += static_cast<long double>(*p) * *p;
    return static_cast<double>(std::sqrt(s / static_cast<long double>(v.n())));
}

// Sum of the power-th powers of the deviations from the mean, each formed from
// the deviation from the origin, which is exact.
inline long double central_sum(window v, int power, const mean_parts& m)
{
    long double s = 0;
    for (const double* p = v.first; p != v.last; ++p) {
        const long double d = (*p - m.origin) - m.offset;
        s += power == 2 ? d * d : d * d * d * d;
    }
    return s;
}

inline double var_of(window v)
{
    if (v.n() < 2)
        return 0.0;
    return static_cast<double>(central_sum(v, 2, mean_about_first(v)) / static_cast<long double>(v.n() - 1));
}

inline double kurt_of(window v)
{
    const std::size_t n = v.n();
    if (n < 4)
        return 0.0;
    const mean_parts m = mean_about_first(v);
    const long double c = static_cast<long double>(n);
    const long double m2 = central_sum(v, 2, m) / c;
    if (m2 == 0)
        return 0.0;
    const long double m4 = central_sum(v, 4, m) / c;
    const long double factor = (c * c - 1) / ((c - 2) * (c - 3));
    return static_cast<double>(factor * (m4 / (m2 * m2) - 3 + 6 / (c + 1)));
}

inline double max_of(window v)
{
    return v.has_nan() ? not_a_number : *std::max_element(v.first, v.last);
}

inline double min_of(window v)
{
    return v.has_nan() ? not_a_number : *std::min_element(v.first, v.last);
}

inline double median_of(window v)
{
    if (v.has_nan())
        return not_a_number;
    std::vector<double> s(v.first, v.last);
    std::sort(s.begin(), s.end());
    const std::size_t n = s.size();
    return n % 2 == 1 ? s[n / 2] : (s[n / 2 - 1] + s[n / 2]) * 0.5;
}

// Equal as doubles, NaN equal to NaN.
inline bool same(double a, double b)
{
    return a == b || (std::isnan(a) && std::isnan(b));
}

} // namespace moving_test
