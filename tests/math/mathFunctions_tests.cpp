#include <cmath>
#include <gtest/gtest.h>
#include <stdexcept>
#include <vector>

#include "ryx/math/mathFunctions.h"

namespace {
using v = std::vector<double>;
}

TEST(mathFunctions, sums_means_and_rms)
{
    const v x{3.0, 4.0};
    EXPECT_DOUBLE_EQ(mathFunctions::squared_sum(x.cbegin(), x.cend()), 25.0);
    EXPECT_DOUBLE_EQ(mathFunctions::rms(x.cbegin(), x.cend()), std::sqrt(12.5));
    EXPECT_DOUBLE_EQ(mathFunctions::mean(x.cbegin(), x.cend()), 3.5);

    const v empty;
    EXPECT_EQ(mathFunctions::squared_sum(empty.cbegin(), empty.cend()), 0.0);
    EXPECT_TRUE(std::isnan(mathFunctions::mean(empty.cbegin(), empty.cend())));
    EXPECT_TRUE(std::isnan(mathFunctions::rms(empty.cbegin(), empty.cend())));

    // A sub-range of a larger vector.
    const v y{100.0, 1.0, 2.0, 3.0, 100.0};
    EXPECT_DOUBLE_EQ(mathFunctions::mean(y.cbegin() + 1, y.cend() - 1), 2.0);
}

TEST(mathFunctions, variance_uses_the_sample_denominator)
{
    const v x{1, 2, 3, 4};
    EXPECT_DOUBLE_EQ(mathFunctions::var(x.cbegin(), x.cend()), 5.0 / 3.0);
    const v one{7.0};
    EXPECT_TRUE(std::isnan(mathFunctions::var(one.cbegin(), one.cend())));
    const v empty;
    const double e = mathFunctions::var(empty.cbegin(), empty.cend());
    EXPECT_EQ(e, 0.0);
    EXPECT_TRUE(std::signbit(e));
    // Two-pass form keeps a large offset harmless.
    const v offset{1e9 + 1, 1e9 + 2, 1e9 + 3, 1e9 + 4};
    EXPECT_NEAR(mathFunctions::var(offset.cbegin(), offset.cend()), 5.0 / 3.0, 1e-9);
}

TEST(mathFunctions, kurtosis_matches_the_bias_corrected_estimator)
{
    const v three{1, 2, 3};
    EXPECT_EQ(mathFunctions::kurt(three.cbegin(), three.cend()), 0.0);
    const v four{1, 2, 3, 4};
    EXPECT_NEAR(mathFunctions::kurt(four.cbegin(), four.cend()), -1.2, 1e-12);
    // scipy.stats.kurtosis([2, 8, 0, 4, 1, 9, 9, 0], fisher=True, bias=False)
    const v eight{2, 8, 0, 4, 1, 9, 9, 0};
    EXPECT_NEAR(mathFunctions::kurt(eight.cbegin(), eight.cend()), -2.098602258096087, 1e-12);
    const v flat{5, 5, 5, 5, 5};
    EXPECT_FALSE(std::isfinite(mathFunctions::kurt(flat.cbegin(), flat.cend())));
}

TEST(mathFunctions, extremes_keep_the_first_of_equal_values_and_skip_nan)
{
    const v x{1, 5, 5, 2};
    EXPECT_EQ(mathFunctions::max(x.cbegin(), x.cend()), 5.0);
    const v y{3, -1, 4, -1};
    EXPECT_EQ(mathFunctions::min(y.cbegin(), y.cend()), -1.0);
    const v with_nan{1.0, std::nan(""), 3.0, -2.0};
    EXPECT_EQ(mathFunctions::max(with_nan.cbegin(), with_nan.cend()), 3.0);
    EXPECT_EQ(mathFunctions::min(with_nan.cbegin(), with_nan.cend()), -2.0);
    const v nan_first{std::nan(""), 1.0};
    EXPECT_TRUE(std::isnan(mathFunctions::max(nan_first.cbegin(), nan_first.cend())));
    const v empty;
    EXPECT_TRUE(std::isnan(mathFunctions::max(empty.cbegin(), empty.cend())));
    EXPECT_TRUE(std::isnan(mathFunctions::min(empty.cbegin(), empty.cend())));
}

TEST(mathFunctions, decibels_and_back)
{
    EXPECT_DOUBLE_EQ(mathFunctions::dB(1.0, 10.0), 20.0);
    EXPECT_NEAR(mathFunctions::dB(2.0, 1.0), -6.020599913279624, 1e-12);
    EXPECT_DOUBLE_EQ(mathFunctions::unit(2.0, 20.0), 20.0);
    EXPECT_NEAR(mathFunctions::unit(3.0, mathFunctions::dB(3.0, 0.25)), 0.25, 1e-15);
    EXPECT_EQ(mathFunctions::dB(1.0, 0.0), -INFINITY);
    EXPECT_TRUE(std::isnan(mathFunctions::dB(1.0, -1.0)));
    EXPECT_EQ(mathFunctions::sqrMod({3.0, 4.0}), 25.0);
}

TEST(mathFunctions, convolution)
{
    EXPECT_EQ(mathFunctions::faltung({1, 2}, {1, 1, 1}), (v{1, 3, 3, 2}));
    EXPECT_EQ(mathFunctions::faltung({1, 2, 3}, {}), (v{0, 0}));
    EXPECT_EQ(mathFunctions::faltung({}, {4, 5}), (v{0}));
    EXPECT_EQ(mathFunctions::faltung({2}, {3}), (v{6}));
    // numpy.convolve([0.5, -1, 2, 0.25], [1, -2, 0.5])
    EXPECT_EQ(mathFunctions::faltung({0.5, -1, 2, 0.25}, {1, -2, 0.5}),
              (v{0.5, -2.0, 4.25, -4.25, 0.5, 0.125}));
    EXPECT_THROW(mathFunctions::faltung({}, {}), std::length_error);
}
