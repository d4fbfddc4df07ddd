#include <QPointer>
#include <QSignalSpy>
#include <cmath>
#include <complex>
#include <gtest/gtest.h>
#include <vector>

#include "ryx/math/filter_iir.h"
#include "ryx/math/orsp.h"
#include "support/host.h"

using ryx::math::fft;
using ryx::math::orsp;
using ryx::test::host;

namespace {

// Sum of harmonics k x f0 of amplitudes a[k-1] and phases p[k-1] (radians, sine phase).
std::vector<double> harmonics(std::size_t n, double rate, double f0, const std::vector<double>& a,
                              const std::vector<double>& p, double offset = 0.0)
{
    std::vector<double> x(n, offset);
    for (std::size_t k = 0; k < a.size(); ++k)
        for (std::size_t i = 0; i < n; ++i)
            x[i] += a[k] * std::sin(2.0 * M_PI * f0 * static_cast<double>(k + 1) * static_cast<double>(i) / rate + p[k]);
    return x;
}

TEST(OrderSpectrum, DefaultsOnAOneKilohertzSource)
{
    host h(1000.0);
    auto* o = new orsp(h.channel());
    EXPECT_DOUBLE_EQ(o->search_freq(), 50.0);
    EXPECT_EQ(o->freq_idx(), 5u);
    EXPECT_EQ(o->order_max(), 21u);
    EXPECT_EQ(o->len(), 21u);
    EXPECT_EQ(o->size(), 21u);
    EXPECT_EQ(o->search_type(), orsp::manual);
    EXPECT_NE(o->freq_meter(), nullptr);
    EXPECT_DOUBLE_EQ(o->acq_time(), 0.1);
}

TEST(OrderSpectrum, HarmonicsReadTheirAmplitudesAndPhases)
{
    const double rate = 1000.0;
    host h(rate);
    auto* o = new orsp(h.channel());
    o->set_frequency(500.0); // no decimation: N = 100 samples at 10 Hz lines
    o->set_window(fft::rectangular);
    o->set_search_freq(30.0);
    ASSERT_EQ(o->freq_idx(), 3u);
    ASSERT_EQ(o->len(), 51u); // min(order_max x 3, 51 lines)

    // Capture the filtered samples of the last frame to know the phases the
    // frame really holds (the anti-alias filter shifts them).
    auto* filter = h.channel()->findChild<ryx::math::filter_iir*>();
    std::vector<double> filtered;
    QObject::connect(filter, &ryx::analog_data::data_changed, filter,
                     [&] { filtered.assign(filter->cbegin(), filter->cend()); });
    const std::vector<double> a{1.0, 0.5, 0.25, 0.125}, p{0.3, -1.2, 2.0, 0.0};
    const auto x = harmonics(4000, rate, 30.0, a, p);
    // Settle the filter first, then one run of exactly one frame.
    h.push(h.channel(), std::vector<double>(x.begin(), x.begin() + 3900), 100);
    h.push(h.channel(), std::vector<double>(x.begin() + 3900, x.end()));
    ASSERT_EQ(filtered.size(), 100u);

    for (std::size_t k = 1; k <= a.size(); ++k) {
        const std::size_t line = 3 * k;
        const double gain = filter->response(30.0 * static_cast<double>(k) / rate);
        EXPECT_NEAR((*o)[line].first, a[k - 1] * 1.051 * gain, 1e-3 * a[k - 1]) << "order " << k;
        std::complex<double> bin = 0;
        for (std::size_t i = 0; i < 100; ++i)
            bin += filtered[i] * 1.051 * std::polar(1.0, -2.0 * M_PI * static_cast<double>(line * i) / 100.0);
        EXPECT_NEAR((*o)[line].second, std::arg(bin) * 180.0 / M_PI, 1e-6) << "order " << k;
        EXPECT_LE(std::fabs((*o)[line].second), 180.0);
    }
    // Lines between the harmonics hold nothing.
    EXPECT_LT((*o)[4].first, 1e-6);
}

TEST(OrderSpectrum, UnitsAndAveraging)
{
    const double rate = 1000.0;
    host h(rate);
    h.channel()->set_reference(0.5);
    auto* o = new orsp(h.channel());
    o->set_frequency(500.0);
    o->set_search_freq(50.0);
    const auto x = harmonics(3000, rate, 50.0, {1.0}, {0.0});
    h.push(h.channel(), x, 100);
    const double linear = (*o)[5].first;
    o->set_unit(ryx::units::dB);
    h.push(h.channel(), x, 100);
    EXPECT_NEAR((*o)[5].first, 20.0 * std::log10(linear / 0.5), 1e-6);
    o->set_unit(ryx::units::rms);
    h.push(h.channel(), x, 100);
    EXPECT_NEAR((*o)[5].first, linear / std::sqrt(2.0), 1e-6);

    QSignalSpy acquired(o, &orsp::acquired);
    o->set_unit(ryx::units::linear);
    o->set_average(4);
    h.push(h.channel(), std::vector<double>(x.begin(), x.begin() + 600), 100);
    ASSERT_EQ(acquired.count(), 6);
    EXPECT_DOUBLE_EQ(acquired.at(0).at(0).toDouble(), 25.0);
    EXPECT_DOUBLE_EQ(acquired.at(3).at(0).toDouble(), 100.0);
    EXPECT_DOUBLE_EQ(acquired.at(4).at(0).toDouble(), 25.0);
    EXPECT_NEAR((*o)[5].first, linear, 1e-6);
}

TEST(OrderSpectrum, SearchesFindTheFundamentalAndRestartTheRing)
{
    const double rate = 1000.0;
    host h(rate);
    auto* o = new orsp(h.channel());
    o->set_frequency(500.0);
    o->set_average(3);
    QSignalSpy freq(o, &orsp::search_freq_changed);
    o->set_search_type(orsp::max);
    EXPECT_EQ(o->order_max(), 51u);

    // The highest line is 70 Hz (line 7).
    const auto x = harmonics(3000, rate, 70.0, {1.0, 0.3}, {0.0, 0.0});
    h.push(h.channel(), x, 100);
    EXPECT_DOUBLE_EQ(o->search_freq(), 70.0);
    EXPECT_EQ(o->freq_idx(), 7u);
    EXPECT_GE(freq.count(), 1);

    // A DC offset larger than every line leaves the fundamental where it is.
    const auto dc = harmonics(3000, rate, 30.0, {0.1}, {0.0}, 5.0);
    h.push(h.channel(), dc, 100);
    EXPECT_EQ(o->freq_idx(), 7u);

    // first: the first line at or above the threshold, then up its slope.
    o->set_search_type(orsp::first);
    o->set_threshold(0.2);
    const auto two = harmonics(3000, rate, 20.0, {0.05, 0.8}, {0.0, 0.0}); // 20 Hz below, 40 Hz above
    h.push(h.channel(), two, 100);
    EXPECT_EQ(o->freq_idx(), 4u);
    // No line reaches the threshold: the fundamental stays.
    o->set_threshold(50.0);
    h.push(h.channel(), x, 100);
    EXPECT_EQ(o->freq_idx(), 4u);
}

TEST(OrderSpectrum, RefusedSettings)
{
    host h(1000.0);
    auto* o = new orsp(h.channel());
    QSignalSpy freq(o, &orsp::search_freq_changed);
    QSignalSpy order(o, &orsp::order_max_changed);
    o->set_search_freq(300.0); // above the engine's 200 Hz band
    o->set_search_freq(-5.0);
    o->set_search_freq(std::nan(""));
    o->set_freq_idx(0);
    o->set_freq_idx(-3);
    o->set_freq_idx(21); // not below the engine's size
    o->set_order_max(0);
    o->set_order_max(22);
    o->set_average(0);
    o->set_threshold(std::nan(""));
    EXPECT_EQ(freq.count(), 0);
    EXPECT_EQ(order.count(), 0);
    EXPECT_EQ(o->freq_idx(), 5u);
    EXPECT_EQ(o->average(), 1);
    EXPECT_DOUBLE_EQ(o->threshold(), 0.1);
    o->set_freq_idx(2);
    EXPECT_DOUBLE_EQ(o->search_freq(), 20.0);
    EXPECT_EQ(o->len(), 21u);
    o->set_order_max(3);
    EXPECT_EQ(o->len(), 6u);
}

TEST(OrderSpectrum, SourceDeletedMidStreamOrObjectDeletedFromItsSignal)
{
    const auto x = harmonics(3000, 1000.0, 50.0, {1.0}, {0.0});
    {
        host h(1000.0);
        QPointer<orsp> o = new orsp(h.channel());
        QObject::connect(o, &orsp::changed, o, [&h] { h.destroy(); });
        h.push(h.channel(), x);
        EXPECT_TRUE(o.isNull()); // a QObject child of the channel
    }
    {
        host h(1000.0);
        QPointer<orsp> o = new orsp(h.channel());
        int updates = 0;
        QObject::connect(o, &orsp::acquired, o, [&] { ++updates; delete o.data(); });
        h.push(h.channel(), x);
        EXPECT_EQ(updates, 1);
        h.push(h.channel(), x); // its engine went with it
    }
}

} // namespace
