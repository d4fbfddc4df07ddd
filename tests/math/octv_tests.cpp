#include <QPointer>
#include <QSignalSpy>
#include <cmath>
#include <gtest/gtest.h>
#include <vector>

#include "ryx/math/filter_iir.h"
#include "ryx/math/octv.h"
#include "ryx/math/spec.h"
#include "support/host.h"

using ryx::math::octv;
using ryx::test::host;

namespace {

TEST(OctaveAnalysis, DefaultWholeOctavesFromTenHertzToOneKilohertz)
{
    host h(4096.0);
    auto* o = new octv(h.channel());
    const std::vector<double> want{7.8125, 15.625, 31.25, 62.5, 125.0, 250.0, 500.0, 1000.0};
    ASSERT_EQ(o->centres().size(), want.size());
    ASSERT_EQ(o->size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_DOUBLE_EQ(o->centres()[i], want[i]);
        EXPECT_DOUBLE_EQ((*o)[i].first, want[i]);
    }
    // Requested: resolution 7.8125 / sqrt 2 / 5 = 1.10485, then upper frequency
    // 1414.21. The engine snaps the resolution to its decimated rate at each
    // step: 409.6 Hz (the default 200 Hz band), then 4096 Hz.
    const double asked = 7.8125 / std::sqrt(2.0) / 5.0;
    const double first = 409.6 / std::trunc(409.6 / asked);
    EXPECT_DOUBLE_EQ(o->spectrum()->resolution(), 4096.0 / std::trunc(4096.0 / first));
    EXPECT_NEAR(o->spectrum()->frequency(), 1000.0 * std::sqrt(2.0), 1e-9);
    EXPECT_EQ(o->spectrum()->window(), ryx::math::fft::blackman);
    EXPECT_DOUBLE_EQ(o->left(7), 1000.0 / std::sqrt(2.0));
    EXPECT_DOUBLE_EQ(o->right(7), 1000.0 * std::sqrt(2.0));
    EXPECT_EQ(o->left(8), 0.0);
}

TEST(OctaveAnalysis, BaseTenThirdOctaves)
{
    host h(4096.0);
    auto* o = new octv(h.channel());
    o->set_ratio(octv::ten);
    o->set_fraction(octv::one_third);
    o->set_maximum(500.0);
    ASSERT_EQ(o->centres().size(), 18u);
    EXPECT_NEAR(o->centres().back(), 501.187, 1e-3);
    EXPECT_NEAR(o->centres().front(), 10.0, 1e-2);
}

TEST(OctaveAnalysis, CentresAndEdgesFollowTheMidbandFormula)
{
    host h(48000.0);
    auto* o = new octv(h.channel());
    o->set_maximum(20000.0);
    for (auto ratio : {octv::two, octv::ten}) {
        for (auto fraction : {octv::one, octv::one_third, octv::one_sixth, octv::one_twelwe}) {
            o->set_ratio(ratio);
            o->set_fraction(fraction);
            const int b = fraction == octv::one ? 1 : fraction == octv::one_third ? 3 : fraction == octv::one_sixth ? 6 : 12;
            const double G = ratio == octv::two ? 2.0 : std::pow(10.0, 0.3);
            SCOPED_TRACE(testing::Message() << "G " << G << " b " << b);
            ASSERT_FALSE(o->centres().empty());
            for (std::size_t i = 0; i < o->centres().size(); ++i) {
                const double c = o->centres()[i];
                // The band number of c, from the formula's inverse.
                const double x = b % 2 == 1 ? std::log(c / 1000.0) / std::log(G) * b + 30.0
                                            : (std::log(c / 1000.0) / std::log(G) * 2.0 * b + 59.0) / 2.0;
                EXPECT_NEAR(x, std::round(x), 1e-9);
                const double exact = b % 2 == 1 ? 1000.0 * std::pow(G, (std::round(x) - 30.0) / b)
                                                : 1000.0 * std::pow(G, (2.0 * std::round(x) - 59.0) / (2.0 * b));
                EXPECT_NEAR(c, exact, 1e-12 * exact);
                EXPECT_NEAR(o->left(i), c * std::pow(G, -1.0 / (2.0 * b)), 1e-12 * c);
                EXPECT_NEAR(o->right(i), c * std::pow(G, 1.0 / (2.0 * b)), 1e-12 * c);
                if (i > 0) {
                    EXPECT_NEAR(c / o->centres()[i - 1], std::pow(G, 1.0 / b), 1e-12);
                }
            }
            // Every band overlaps the range, and the neighbours just outside do not.
            EXPECT_LT(o->centres().front() * std::pow(G, -1.0 / (2.0 * b)), 10.0 + 1e-9);
            EXPECT_GT(o->centres().back() * std::pow(G, 1.0 / (2.0 * b)), 20000.0 - 1e-9);
        }
    }
}

TEST(OctaveAnalysis, RefusedAndNotifiedSettings)
{
    host h(4096.0);
    auto* o = new octv(h.channel());
    QSignalSpy min(o, &octv::minimum_changed), max(o, &octv::maximum_changed), ratio(o, &octv::ratio_changed),
        look(o, &octv::look_changed), fraction(o, &octv::fraction_changed), init(o, &octv::initialized);
    o->set_minimum(0.05);
    o->set_minimum(std::nan(""));
    o->set_maximum(0.5);
    o->set_ratio(static_cast<octv::ratios>(7));
    o->set_fraction(static_cast<octv::fractions>(-1));
    o->set_look(static_cast<octv::looks>(5));
    EXPECT_EQ(init.count(), 0);
    EXPECT_DOUBLE_EQ(o->minimum(), 10.0);
    EXPECT_DOUBLE_EQ(o->maximum(), 1024.0);
    o->set_minimum(20.0);
    o->set_maximum(1e9); // lowered to the source rate
    o->set_ratio(octv::ten);
    o->set_look(octv::rms);
    o->set_fraction(octv::one_sixth);
    EXPECT_DOUBLE_EQ(o->maximum(), 4096.0);
    EXPECT_EQ(min.count(), 1);
    EXPECT_EQ(max.count(), 1);
    EXPECT_EQ(ratio.count(), 1);
    EXPECT_EQ(look.count(), 1);
    EXPECT_EQ(fraction.count(), 1);
}

TEST(OctaveAnalysis, BandLevelsFromTheSpectrum)
{
    const double rate = 2000.0;
    host h(rate);
    h.channel()->set_reference(0.25);
    auto* o = new octv(h.channel());
    o->set_maximum(1000.0);
    ryx::math::spec* s = o->spectrum();
    const double r = s->resolution();
    // A sine on the line nearest the 250 Hz centre.
    const double f = std::round(250.0 / r) * r;
    const double A = 0.7;
    const auto x = ryx::test::sine(40000, rate, f, A);
    h.push(h.channel(), x, 1024);
    auto* filter = h.channel()->findChild<ryx::math::filter_iir*>();
    const double gain = filter->response(f / rate);
    const double c = 2.464 * 0.42; // Blackman: factor x mean of its raw values
    std::size_t band = 0;
    while (o->centres()[band] != 250.0)
        ++band;
    EXPECT_NEAR((*o)[band].second, A * c * gain, 1e-3 * A);
    // Every band's level is its largest line.
    for (std::size_t i = 0; i < o->size(); ++i) {
        const auto [lo, e] = o->calculate_band_indexes(o->centres()[i]);
        double largest = (*s)[static_cast<std::size_t>(lo)];
        for (int n = lo; n < e; ++n)
            largest = std::max(largest, (*s)[static_cast<std::size_t>(n)]);
        EXPECT_EQ((*o)[i].second, largest) << "band " << i;
    }

    o->set_unit(ryx::units::dB);
    h.push(h.channel(), std::vector<double>(x.begin(), x.begin() + 4096), 1024);
    EXPECT_NEAR((*o)[band].second, 20.0 * std::log10(A * c * gain / 0.25), 1e-2);

    // rms: a band narrower than a line takes that line, never 0 / 0.
    o->set_unit(ryx::units::linear);
    o->set_look(octv::rms);
    o->set_fraction(octv::one_twelwe);
    h.push(h.channel(), x, 1024);
    int empty = 0;
    for (std::size_t i = 0; i < o->size(); ++i) {
        ASSERT_TRUE(std::isfinite((*o)[i].second)) << "band " << i;
        const auto [lo, e] = o->calculate_band_indexes(o->centres()[i]);
        if (lo == e) {
            ++empty;
            EXPECT_EQ((*o)[i].second, (*s)[static_cast<std::size_t>(lo)]);
        }
    }
    EXPECT_GT(empty, 0);
}

TEST(OctaveAnalysis, SourceDeletedMidStream)
{
    host h(2000.0);
    QPointer<octv> o = new octv(h.channel());
    QObject::connect(o, &octv::changed, o, [&h] { h.destroy(); });
    h.push(h.channel(), ryx::test::noise(20000)); // one run: the channel is gone after it
    EXPECT_TRUE(o.isNull());
}

} // namespace
