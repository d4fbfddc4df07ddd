#include <QDomDocument>
#include <QJsonObject>
#include <QPointer>
#include <QSignalSpy>
#include <cmath>
#include <gtest/gtest.h>

#include "ryx/core/device.h"
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

TEST(diff_intg, taps_beyond_the_limit_are_refused_from_every_entry)
{
    ryx::test::host h(1000.0);
    auto* d = new diff(h.channel(), false);
    auto* i = new intg(h.channel(), false);
    for (ryx::math::detail::staged* c : {static_cast<ryx::math::detail::staged*>(d), static_cast<ryx::math::detail::staged*>(i)}) {
        c->set_taps(100);
        EXPECT_EQ(c->taps(), 100);
        c->set_taps(101);
        c->set_parameter("taps", 2147483647.0);
        c->set_parameter("taps", 1e300);
        QDomDocument doc;
        QDomElement e = doc.createElement("channel");
        e.setAttribute("taps", "2147483647");
        c->load(e);
        e.setAttribute("taps", "101");
        c->load(e);
        EXPECT_EQ(c->taps(), 100);
        c->set_parameter("taps", 3.9);
        EXPECT_EQ(c->taps(), 3);
    }
}

TEST(diff_intg, a_non_finite_sample_spoils_only_the_outputs_computed_from_it)
{
    const double nan = std::nan("");
    const double inf = HUGE_VAL;
    for (double bad : {nan, inf, -inf}) {
        for (int taps : {1, 2, 3}) {
            ryx::test::host h(100.0), clean(100.0);
            auto* d = new diff(h.channel(), false);
            auto* i = new intg(h.channel(), false);
            auto* dc = new diff(clean.channel(), false);
            auto* ic = new intg(clean.channel(), false);
            for (auto* c : {d, dc})
                c->set_taps(taps);
            for (auto* c : {i, ic})
                c->set_taps(taps);
            std::vector<double> x{1, 3, 2, bad, 5, 4, 7, 6, 8, 9, 2};
            h.push(h.channel(), x);
            const std::string what = "taps " + std::to_string(taps) + " sample " + std::to_string(bad);
            // The derivative of order k at n reads samples n-k .. n.
            for (std::size_t n = 0; n < x.size(); ++n) {
                const bool spoiled = n >= 3 && n <= 3 + static_cast<std::size_t>(taps);
                EXPECT_EQ(std::isfinite((*d)[n]), !spoiled) << what << " n " << n;
            }
            // The integral passes the bad sample through and integrates on as if it were 0.
            x[3] = 0.0;
            clean.push(clean.channel(), x);
            for (std::size_t n = 0; n < x.size(); ++n) {
                if (n == 3)
                    EXPECT_FALSE(std::isfinite((*i)[n])) << what;
                else
                    EXPECT_EQ((*i)[n], (*ic)[n]) << what << " n " << n;
            }
            // The next run is clean again.
            h.push(h.channel(), {1, 2, 3, 4, 5});
            clean.push(clean.channel(), {1, 2, 3, 4, 5});
            for (double v : *d)
                EXPECT_TRUE(std::isfinite(v)) << what;
            EXPECT_EQ(*i, *ic) << what;
            (void)dc;
        }
    }
}

TEST(diff_intg, a_channel_without_a_usable_rate_gives_zeros_then_recovers)
{
    for (double rate : {0.0, 4.9e-324, -5.0, std::nan(""), HUGE_VAL}) {
        ryx::device dev("d");
        ryx::analog_data* ch = dev.add_channel("x", rate);
        EXPECT_EQ(ch->get_rate(), 0.0) << rate;
        auto* d = new diff(ch, false);
        auto* i = new intg(ch, false);
        const std::vector<double> run{1, 2, 4};
        ch->set_data(run.cbegin(), run.cend());
        EXPECT_EQ(*d, (std::vector<double>{0, 0, 0})) << rate;
        EXPECT_EQ(*i, (std::vector<double>{0, 0, 0})) << rate;
        ch->set_rate(4.9e-324); // still no rate
        EXPECT_EQ(ch->get_rate(), 0.0);
        ch->set_rate(10.0);
        ch->set_data(run.cbegin(), run.cend());
        EXPECT_EQ(*d, (std::vector<double>{10, 10, 20})) << rate;
        ASSERT_EQ(i->size(), 3u);
        for (std::size_t n = 0; n < 3; ++n)
            EXPECT_NEAR((*i)[n], (std::vector<double>{0.1, 0.3, 0.7})[n], 1e-15) << rate;
    }
}

TEST(diff_intg, deleted_from_a_slot_on_their_own_signal)
{
    // The channel itself, its source, or the whole device goes away from a slot
    // on the channel's data_changed(): nothing may touch the freed objects.
    for (int victim = 0; victim < 3; ++victim) {
        for (bool integrate : {false, true}) {
            auto* dev = new ryx::device("d");
            ryx::analog_data* ch = dev->add_channel("x", 100.0);
            ryx::math::detail::staged* c = integrate ? static_cast<ryx::math::detail::staged*>(new intg(ch, false))
                                                     : static_cast<ryx::math::detail::staged*>(new diff(ch, false));
            QPointer<ryx::device> alive(dev);
            QObject::connect(c, &ryx::analog_data::data_changed, [&, victim] {
                if (victim == 0)
                    delete c;
                else if (victim == 1)
                    delete ch;
                else
                    delete dev;
            });
            const std::vector<double> run{1, 2, 3};
            ch->set_data(run.cbegin(), run.cend());
            if (alive) {
                EXPECT_FALSE(dev->is_locked());
                delete dev;
            }
        }
    }
}
