#include <QSignalSpy>
#include <cmath>
#include <gtest/gtest.h>
#include <vector>

#include "ryx/math/delta_phase_spec.h"
#include "ryx/math/spec.h"
#include "support/host.h"

using ryx::math::delta_phase_spec;
using ryx::test::host;

namespace {

// Two channels with sines at f, the second leading the first by `lead` degrees.
void feed(host& h, double f, double lead, std::size_t n = 8000)
{
    const double rate = h.channel(0)->get_rate();
    const auto a = ryx::test::sine(n, rate, f, 1.0, 0.0, 0.3);
    const auto b = ryx::test::sine(n, rate, f, 0.8, 0.0, 0.3 + lead * M_PI / 180.0);
    for (std::size_t at = 0; at < n; at += 1000) {
        h.push(h.channel(0), std::vector<double>(a.begin() + static_cast<std::ptrdiff_t>(at), a.begin() + static_cast<std::ptrdiff_t>(at + 1000)));
        h.push(h.channel(1), std::vector<double>(b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(at + 1000)));
    }
}

TEST(PhaseDifference, KnownLagsWithinTheCircle)
{
    for (double lead : {30.0, -20.0, 20.0, 179.0, -179.0, 90.0, 0.5}) {
        host h(1000.0, 2);
        delta_phase_spec d(h.channel(0), h.channel(1));
        d.set_frequency(50.0); // both spectra to 100 Hz
        QSignalSpy changed(&d, &delta_phase_spec::value_changed);
        feed(h, 50.0, lead);
        const double want = lead < 0.0 ? lead + 360.0 : lead;
        EXPECT_NEAR(d.value(), want, 0.1) << "lead " << lead;
        EXPECT_GE(changed.count(), 1);
        EXPECT_GE(d.value(), 0.0);
        EXPECT_LT(d.value(), 360.0);
    }
}

TEST(PhaseDifference, SettingsReachBothSpectra)
{
    host h(1000.0, 2);
    delta_phase_spec d(h.channel(0), h.channel(1));
    ASSERT_DOUBLE_EQ(d.spec_a()->frequency(), 200.0);
    QSignalSpy freq(&d, &delta_phase_spec::frequency_changed);
    d.set_frequency(200.0); // at the analysed frequency: ignored
    d.set_frequency(-1.0);
    EXPECT_EQ(freq.count(), 0);
    d.set_frequency(100.0);
    EXPECT_EQ(freq.count(), 1);
    EXPECT_DOUBLE_EQ(d.spec_a()->frequency(), 200.0);
    EXPECT_DOUBLE_EQ(d.spec_b()->frequency(), 200.0);
    d.set_frequency(60.0);
    EXPECT_DOUBLE_EQ(d.spec_b()->frequency(), 120.0);

    QSignalSpy max(&d, &delta_phase_spec::max_frequency_changed);
    d.set_max_frequency(400.0);
    EXPECT_EQ(max.count(), 1);
    EXPECT_DOUBLE_EQ(d.spec_a()->frequency(), 400.0);
    d.set_frequency(80.0); // the band stays at max_frequency
    EXPECT_DOUBLE_EQ(d.spec_b()->frequency(), 400.0);
    d.set_max_frequency(0.0);
    EXPECT_DOUBLE_EQ(d.spec_b()->frequency(), 160.0);

    d.set_resolution(2.0);
    EXPECT_DOUBLE_EQ(d.spec_a()->resolution(), d.spec_b()->resolution());
    d.set_overlap(50);
    EXPECT_EQ(d.spec_b()->overlap(), 50);
    EXPECT_EQ(d.overlap(), 50);
}

TEST(PhaseDifference, OneSideAloneChangesNothing)
{
    host h(1000.0, 2);
    delta_phase_spec d(h.channel(0), h.channel(1));
    d.set_frequency(50.0);
    h.push(h.channel(0), ryx::test::sine(4000, 1000.0, 50.0), 1000);
    EXPECT_GT(d.count_a(), 0);
    EXPECT_EQ(d.count_b(), 0);
    EXPECT_EQ(d.value(), 0.0);
}

TEST(PhaseDifference, ChannelDeletedMidStream)
{
    host h(1000.0, 2);
    delta_phase_spec d(h.channel(0), h.channel(1));
    d.set_frequency(50.0);
    feed(h, 50.0, 45.0, 4000);
    const double before = d.value();
    delete h.channel(1); // its spectrum goes with it
    EXPECT_EQ(d.spec_b(), nullptr);
    h.push(h.channel(0), ryx::test::sine(4000, 1000.0, 50.0), 1000);
    d.set_frequency(40.0);
    d.set_resolution(5.0);
    EXPECT_EQ(d.value(), before);
    h.destroy();
    EXPECT_EQ(d.spec_a(), nullptr);
}

} // namespace
