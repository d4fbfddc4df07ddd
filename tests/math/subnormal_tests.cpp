// The subnormal helpers of the statistics: the exact halving against the
// processor's own multiplication, and the flushing of sums' samples.
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <random>

#include "ryx/math/detail/subnormal.h"

namespace {

using ryx::math::detail::flushed;
using ryx::math::detail::half;
using ryx::math::detail::half_min;
using ryx::math::detail::subnormal_distance;

std::uint64_t bits_of(double x)
{
    std::uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

double from_bits(std::uint64_t b)
{
    double x;
    std::memcpy(&x, &b, sizeof x);
    return x;
}

} // namespace

TEST(subnormal, half_is_the_product_by_one_half_to_the_bit)
{
    // Random signs and fractions in the subnormal range, the two lowest normal
    // binades (where the product turns subnormal) and a few ordinary ones; the
    // ties of odd bit patterns round to even like the multiplication.
    std::mt19937_64 gen(7);
    for (const std::uint64_t exponent : {0u, 1u, 2u, 3u, 1023u, 2046u}) {
        for (int i = 0; i < 20000; ++i) {
            const std::uint64_t b = (gen() & 0x800FFFFFFFFFFFFFull) | (exponent << 52);
            const double s = from_bits(b);
            ASSERT_EQ(bits_of(half(s)), bits_of(s * 0.5)) << std::hexfloat << s;
        }
    }
    for (const double s : {0.0, -0.0, DBL_MIN, -DBL_MIN, 0x1p-1021, std::nextafter(0x1p-1021, 0.0), DBL_TRUE_MIN,
                           -DBL_TRUE_MIN, 3 * DBL_TRUE_MIN, HUGE_VAL, -HUGE_VAL, DBL_MAX})
        EXPECT_EQ(bits_of(half(s)), bits_of(s * 0.5)) << std::hexfloat << s;
    EXPECT_TRUE(std::isnan(half(std::nan(""))));
}

TEST(subnormal, flushed_reads_only_subnormal_samples_as_zero)
{
    EXPECT_EQ(flushed(DBL_TRUE_MIN), 0.0);
    EXPECT_EQ(flushed(-std::nextafter(DBL_MIN, 0.0)), 0.0);
    EXPECT_EQ(flushed(DBL_MIN), DBL_MIN);
    EXPECT_EQ(flushed(-DBL_MIN), -DBL_MIN);
    EXPECT_EQ(flushed(1.5), 1.5);
    EXPECT_EQ(flushed(-HUGE_VAL), -HUGE_VAL);
    EXPECT_TRUE(std::isnan(flushed(std::nan(""))));
}

TEST(subnormal, the_distance_tells_subnormal_samples_and_only_them)
{
    for (const double x : {0.0, -0.0, DBL_TRUE_MIN, -DBL_TRUE_MIN, half_min, std::nextafter(DBL_MIN, 0.0),
                           -std::nextafter(DBL_MIN, 0.0), DBL_MIN, -DBL_MIN, 1e-300, 1.0, DBL_MAX, HUGE_VAL})
        EXPECT_EQ(subnormal_distance(x) < half_min, std::fpclassify(x) == FP_SUBNORMAL) << std::hexfloat << x;
}
