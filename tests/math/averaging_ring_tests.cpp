#include <complex>
#include <gtest/gtest.h>
#include <random>
#include <vector>

#include "ryx/math/detail/averaging_ring.h"

using ryx::math::detail::averaging_ring;

namespace {

// The ring's means against the plain formulas over the frames it holds, bit for
// bit: sum over the k frames of frame[n] / k (each term divided, then summed in
// frame order) and (sum of frame[n]) / k.
template <class T>
void check_ring(int average, std::size_t lines, int frames, T (*draw)(std::mt19937&))
{
    std::mt19937 gen(static_cast<unsigned>(average * 1000 + static_cast<int>(lines)));
    averaging_ring<T> terms, sums;
    terms.reset(average, lines);
    sums.reset(average, lines);
    std::vector<T> published_terms(lines), published_sums(lines);
    std::vector<std::vector<T>> held(static_cast<std::size_t>(average)); // what each slot should hold
    std::vector<double> percents;
    for (int f = 0; f < frames; ++f) {
        const int k = terms.k();
        ASSERT_EQ(k, std::min(f + 1, average));
        std::vector<T> frame(lines);
        for (T& v : frame)
            v = draw(gen);
        const auto slot = static_cast<std::size_t>(terms.ring_index());
        held[slot] = frame;
        std::copy(frame.begin(), frame.end(), terms.target(published_terms));
        std::copy(frame.begin(), frame.end(), sums.target(published_sums));
        terms.mean_of_terms(published_terms, k);
        sums.mean_of_sum(published_sums, k);
        for (std::size_t n = 0; n < lines; ++n) {
            T t = T(), s = T();
            for (int i = 0; i < k; ++i) {
                t += held[static_cast<std::size_t>(i)][n] / static_cast<double>(k);
                s += held[static_cast<std::size_t>(i)][n];
            }
            s /= static_cast<double>(k);
            if (average == 1)
                t = s = frame[n];
            ASSERT_EQ(published_terms[n], t) << "frame " << f << " line " << n;
            ASSERT_EQ(published_sums[n], s) << "frame " << f << " line " << n;
        }
        percents.push_back(terms.advance());
        sums.advance();
    }
    EXPECT_DOUBLE_EQ(percents.front(), 100.0 / average);
    EXPECT_DOUBLE_EQ(percents[static_cast<std::size_t>(average - 1)], 100.0);
}

TEST(AveragingRing, MeansEqualThePlainFormulasThroughWarmUpAndSliding)
{
    const auto real = [](std::mt19937& g) { return std::uniform_real_distribution<double>(-1e3, 1e3)(g); };
    const auto cplx = [](std::mt19937& g) {
        std::uniform_real_distribution<double> d(-1.0, 1.0);
        return std::complex<double>(d(g), d(g));
    };
    for (int average : {1, 2, 3, 7}) {
        check_ring<double>(average, 33, 4 * average + 3, +real);
        check_ring<std::complex<double>>(average, 10, 4 * average + 3, +cplx);
    }
}

TEST(AveragingRing, HugeAveragesAreBoundedInMemory)
{
    averaging_ring<double> ring;
    ring.reset(2000000000, 1 << 20);
    EXPECT_LE(static_cast<std::size_t>(ring.average()) * ring.size(), averaging_ring<double>::max_values);
    EXPECT_GE(ring.average(), 1);
    ring.reset(2000000000, 0);
    EXPECT_EQ(ring.average(), 1);
    ring.reset(-5, 10);
    EXPECT_EQ(ring.average(), 1);
}

} // namespace
