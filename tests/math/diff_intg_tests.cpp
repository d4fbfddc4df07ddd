#include <QDomDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <cmath>
#include <gtest/gtest.h>

#include "ryx/math/diff.h"
#include "ryx/math/intg.h"
#include "support/host.h"

using ryx::math::diff;
using ryx::math::intg;

namespace {
const std::vector<double> ramp{0, 1, 2, 3};
}

TEST(diff, backward_differences_scaled_once_by_the_rate)
{
    ryx::test::host h(1000.0);
    auto* d = new diff(h.channel(), false);
    EXPECT_EQ(d->name(), "differentiator");
    h.push(h.channel(), ramp);
    EXPECT_EQ(*d, (std::vector<double>{0, 1000, 1000, 1000}));

    auto* d2 = new diff(h.channel(), false);
    d2->set_taps(2);
    h.push(h.channel(), ramp);
    // Second difference of 0,1,2,3 after the first run of the first channel.
    EXPECT_EQ(*d2, (std::vector<double>{0, 1000, 0, 0}));
}

TEST(intg, running_sums_scaled_by_the_interval)
{
    ryx::test::host h(1000.0);
    auto* i = new intg(h.channel(), false);
    EXPECT_EQ(i->name(), "integrator");
    h.push(h.channel(), {1, 1, 1});
    ASSERT_EQ(i->size(), 3u);
    EXPECT_DOUBLE_EQ((*i)[0], 0.001);
    EXPECT_DOUBLE_EQ((*i)[1], 0.002);
    EXPECT_DOUBLE_EQ((*i)[2], 0.003);
}

TEST(diff_intg, split_runs_equal_one_run)
{
    const auto x = ryx::test::noise(5000, 3);
    for (int taps : {1, 3}) {
        ryx::test::host whole(2000.0), split(2000.0);
        auto* dw = new diff(whole.channel(), false);
        auto* iw = new intg(whole.channel(), false);
        auto* ds = new diff(split.channel(), false);
        auto* is = new intg(split.channel(), false);
        for (auto* c : {dw, ds})
            c->set_taps(taps);
        for (auto* c : {iw, is})
            c->set_taps(taps);
        std::vector<double> dwo, iwo, dso, iso;
        QObject::connect(dw, &ryx::analog_data::data_changed, [&] { dwo.insert(dwo.end(), dw->begin(), dw->end()); });
        QObject::connect(iw, &ryx::analog_data::data_changed, [&] { iwo.insert(iwo.end(), iw->begin(), iw->end()); });
        QObject::connect(ds, &ryx::analog_data::data_changed, [&] { dso.insert(dso.end(), ds->begin(), ds->end()); });
        QObject::connect(is, &ryx::analog_data::data_changed, [&] { iso.insert(iso.end(), is->begin(), is->end()); });
        whole.push(whole.channel(), x);
        unsigned seed = 5;
        split.push(split.channel(), x, [&] { seed = seed * 1103515245u + 12345u; return 1 + (seed >> 16) % 700; });
        EXPECT_EQ(dwo, dso) << "taps " << taps;
        EXPECT_EQ(iwo, iso) << "taps " << taps;
    }
}

TEST(diff_intg, sine_derivative_and_integral_have_the_expected_amplitude_and_phase)
{
    // 10 Hz at 1 kHz: the backward difference and running sum approximate d/dt and
    // the integral to first order in the phase step w/R = 0.0628.
    const double rate = 1000.0, f = 10.0, w = 2.0 * M_PI * f;
    ryx::test::host h(rate);
    auto* d = new diff(h.channel(), false);
    auto* i = new intg(h.channel(), false);
    h.push(h.channel(), ryx::test::sine(2000, rate, f));
    // Exact discrete responses: |1 - e^{-jwT}| R and T / |1 - e^{-jwT}|, phase +-(pi/2 - wT/2).
    const double step = w / rate;
    const double diff_gain = 2.0 * std::sin(step / 2.0) * rate;
    EXPECT_NEAR(diff_gain / w, 1.0, 2e-4);
    for (std::size_t n = 1500; n < 2000; n += 37) {
        const double t = static_cast<double>(n);
        const double expected_d = diff_gain * std::cos(step * t - step / 2.0);
        EXPECT_NEAR((*d)[n], expected_d, 1e-9 * w) << n;
    }
    // Running sum: T sum_{k=0..n} sin(k wT) = T sin(n wT/2) sin((n+1) wT/2) / sin(wT/2),
    // a sine of amplitude T / (2 sin(wT/2)) (about 1/w) lagging by pi/2 - wT/2.
    const double interval = 1.0 / rate;
    for (std::size_t n = 0; n < 2000; n += 41) {
        const double t = static_cast<double>(n);
        const double expected_i = interval * std::sin(t * step / 2.0) * std::sin((t + 1.0) * step / 2.0)
                                  / std::sin(step / 2.0);
        EXPECT_NEAR((*i)[n], expected_i, 1e-12) << n;
    }
    const double intg_amp = interval / (2.0 * std::sin(step / 2.0));
    EXPECT_NEAR(intg_amp * w, 1.0, 2e-4);
}

TEST(diff_intg, taps_setting_parameters_and_persistence)
{
    ryx::test::host h(100.0);
    auto* d = new diff(h.channel(), false);
    QSignalSpy spy(d, &diff::taps_changed);
    d->set_taps(0);
    d->set_taps(-3);
    EXPECT_EQ(d->taps(), 1);
    EXPECT_TRUE(d->set_parameter("taps", 2.7));
    EXPECT_EQ(d->taps(), 2);
    EXPECT_TRUE(d->set_parameter("taps", -1.0));
    EXPECT_TRUE(d->set_parameter("taps", 1e30));
    EXPECT_EQ(d->taps(), 2);
    EXPECT_FALSE(d->set_parameter("20_taps", 3));
    EXPECT_EQ(spy.count(), 0); // declared, never emitted

    const QJsonObject s = d->settings();
    const QJsonObject taps = s["20_taps"].toObject();
    EXPECT_EQ(taps["type"].toString(), "double");
    EXPECT_EQ(taps["value"].toInt(), 2);
    EXPECT_EQ(taps["min"].toInt(), 1);
    EXPECT_EQ(taps["max"].toInt(), 100);
    EXPECT_EQ(taps["prec"].toInt(), 0);
    EXPECT_EQ(taps["label"].toString(), "Taps");
    EXPECT_TRUE(s.contains("12_unit"));

    QDomDocument doc;
    QDomElement e = doc.createElement("channel");
    d->save(e);
    EXPECT_EQ(e.attribute("taps"), "2");
    auto* other = new intg(h.channel(), false);
    other->load(e);
    EXPECT_EQ(other->taps(), 2);

    // Without the attribute: back to 1. Garbage or huge values are refused.
    QDomElement bare = doc.createElement("channel");
    QDomElement bad = doc.createElement("channel");
    bad.setAttribute("taps", "99999999999");
    other->load(bad);
    EXPECT_EQ(other->taps(), 2);
    other->load(bare);
    EXPECT_EQ(other->taps(), 1);
}

TEST(diff_intg, taps_change_restarts_the_stages_and_free_channels_pass_through)
{
    ryx::test::host h(1000.0);
    auto* i = new intg(h.channel(), false);
    h.push(h.channel(), {1, 1});
    i->set_taps(2);
    i->set_taps(1);
    h.push(h.channel(), {1});
    EXPECT_DOUBLE_EQ((*i)[0], 0.001);

    // Built without a source: no stages, the run passes through unchanged.
    diff d(nullptr, false);
    intg n(nullptr, false);
    const std::vector<double> run{1, 2, 4};
    d.set_data(run.cbegin(), run.cend());
    n.set_data(run.cbegin(), run.cend());
    EXPECT_EQ(static_cast<std::vector<double>&>(d), run);
    EXPECT_EQ(static_cast<std::vector<double>&>(n), run);
}
