#include <QDomDocument>
#include <QJsonArray>
#include <QJsonObject>
#include <QPointer>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include "ryx/math/moving/freq.h"
#include "ryx/math/moving/period.h"
#include "ryx/math/moving/thresh.h"
#include "moving/window.h"
#include "support/host.h"

using namespace moving_test;
namespace mv = ryx::math::moving;

namespace {

// A square wave between -1 and 1 of the given period in samples, low first.
std::vector<double> square(std::size_t n, std::size_t period)
{
    std::vector<double> x(n);
    for (std::size_t i = 0; i < n; ++i)
        x[i] = (i % period) < period / 2 ? -1.0 : 1.0;
    return x;
}

std::vector<std::pair<bool, qulonglong>> events(const QSignalSpy& spy)
{
    std::vector<std::pair<bool, qulonglong>> out;
    for (const auto& args : spy)
        out.emplace_back(args.at(0).toBool(), args.at(1).toULongLong());
    return out;
}

} // namespace

TEST(moving_freq, square_wave_reads_its_frequency_once_two_fronts_are_in_the_window)
{
    ryx::test::host h(1000.0);
    mv::freq f(h.channel(), false);
    mv::period p(h.channel(), false);
    EXPECT_EQ(f.name(), "frequency");
    EXPECT_EQ(p.name(), "period");
    std::vector<double> fy, py;
    collect(&f, fy);
    collect(&p, py);
    const auto x = square(5000, 100); // 10 Hz, automatic level 0
    h.push(h.channel(), x, random_runs(300));
    // Fronts at 50, 150, ...: the second one completes the first period.
    for (std::size_t i = 0; i < x.size(); ++i) {
        ASSERT_DOUBLE_EQ(fy[i], i < 150 ? 0.0 : 10.0) << i;
        ASSERT_DOUBLE_EQ(py[i], i < 150 ? 0.0 : 0.1) << i;
    }

    // When the signal stops, the fronts leave with the window: the last two are
    // at 4850 and 4950, and 4850 leaves with sample 5850.
    h.push(h.channel(), std::vector<double>(850, 1.0));
    EXPECT_EQ(fy.back(), 10.0);
    h.push(h.channel(), std::vector<double>(1, 1.0));
    EXPECT_EQ(fy.back(), 0.0);
    EXPECT_EQ(py.back(), 0.0);
}

TEST(moving_freq, fixed_level_and_front_spacing)
{
    ryx::test::host h(1000.0);
    mv::freq f(h.channel(), false);
    mv::period p(h.channel(), false);
    f.set_dc(5.0);
    p.set_dc(5.0);
    h.push(h.channel(), square(2000, 100)); // stays below 5
    EXPECT_EQ(f.back(), 0.0);
    EXPECT_EQ(p.back(), 0.0);

    // Fronts at 100 and 300: one period of 0.2 s.
    f.set_dc(0.5);
    p.set_dc(0.5);
    f.reset();
    p.reset();
    std::vector<double> x(400, 0.0);
    x[100] = x[300] = 1.0;
    h.push(h.channel(), x);
    EXPECT_DOUBLE_EQ(f.back(), 5.0);
    EXPECT_DOUBLE_EQ(p.back(), 0.2);

    // A sample exactly at the level is not above it: previous <= level < new.
    f.reset();
    h.push(h.channel(), {0.0, 0.5, 0.7, 0.0, 0.5, 0.0, 0.9});
    EXPECT_DOUBLE_EQ(f.back(), 1000.0 / 4.0); // fronts at 2 and 6
}

TEST(moving_freq, dc_property_settings_and_persistence)
{
    ryx::test::host h(1000.0);
    mv::freq f(h.channel(), false);
    EXPECT_EQ(f.dc(), HUGE_VAL);
    QSignalSpy changed(&f, &mv::freq::dc_changed);

    QJsonObject s = f.settings();
    EXPECT_TRUE(s.contains("20_window"));
    EXPECT_EQ(s["30_dc_type"].toObject()["type"].toString(), "combobox");
    EXPECT_EQ(s["30_dc_type"].toObject()["value"].toInt(), 0);
    EXPECT_EQ(s["30_dc_type"].toObject()["items"].toArray(), (QJsonArray{"Offset", "Value"}));
    EXPECT_EQ(s["30_dc_type"].toObject()["label"].toString(), "DC type");
    EXPECT_FALSE(s.contains("31_dc"));

    EXPECT_TRUE(f.set_parameter("dc_type", 1));
    EXPECT_EQ(f.dc(), 0.0);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_TRUE(f.set_parameter("dc", 2.5));
    EXPECT_EQ(f.dc(), 2.5);
    EXPECT_EQ(changed.count(), 2);
    f.set_dc(2.5 + 1e-10); // within 1e-9
    f.set_dc(not_a_number);
    EXPECT_EQ(changed.count(), 2);
    s = f.settings();
    EXPECT_EQ(s["30_dc_type"].toObject()["value"].toInt(), 1);
    EXPECT_EQ(s["31_dc"].toObject()["value"].toDouble(), 2.5);
    EXPECT_EQ(s["31_dc"].toObject()["min"].toDouble(), -1000000.0);
    EXPECT_EQ(s["31_dc"].toObject()["max"].toDouble(), 1000000.0);
    EXPECT_EQ(s["31_dc"].toObject()["label"].toString(), "DC");
    EXPECT_FALSE(f.set_parameter("31_dc", 1.0));

    QDomDocument doc;
    QDomElement e = doc.createElement("channel");
    f.set_time(0.25);
    f.save(e);
    mv::freq g(h.channel(), false);
    QSignalSpy loaded(&g, &mv::freq::dc_changed);
    g.load(e);
    EXPECT_EQ(g.dc(), 2.5);
    EXPECT_EQ(g.count(), 250);
    EXPECT_EQ(loaded.count(), 1);

    EXPECT_TRUE(f.set_parameter("dc_type", 0));
    EXPECT_EQ(f.dc(), HUGE_VAL);
    f.save(e);
    g.load(e); // automatic again
    EXPECT_EQ(g.dc(), HUGE_VAL);
    e.setAttribute("dc", "level");
    g.set_dc(1.0);
    g.load(e); // not a number: automatic
    EXPECT_EQ(g.dc(), HUGE_VAL);
}

TEST(moving_thresh, reports_runs_at_or_above_the_level)
{
    ryx::test::host h(1000.0);
    mv::thresh t(h.channel(), false);
    EXPECT_EQ(t.name(), "threshold");
    EXPECT_EQ(t.level(), 1.0);
    t.set_time(0.003);
    QSignalSpy spy(&t, &mv::thresh::triggered);
    std::vector<double> y;
    collect(&t, y);
    h.push(h.channel(), {0, 2, 2, 2, 0});
    EXPECT_EQ(y, (std::vector<double>{0, 0, 0, 1, 0}));
    EXPECT_EQ(events(spy), (std::vector<std::pair<bool, qulonglong>>{{true, 1}, {false, 4}}));

    // A NaN is never at or above the level; the level itself is.
    spy.clear();
    y.clear();
    h.push(h.channel(), {1, 1, 1, not_a_number, 1, 1, 1});
    EXPECT_EQ(y, (std::vector<double>{0, 0, 1, 0, 0, 0, 1}));
    EXPECT_EQ(events(spy), (std::vector<std::pair<bool, qulonglong>>{{true, 5}, {false, 8}, {true, 9}}));

    // A window change while active announces the end of the run first.
    spy.clear();
    t.set_time(0.004);
    EXPECT_EQ(events(spy), (std::vector<std::pair<bool, qulonglong>>{{false, 12}}));
    t.reset(); // inactive already: nothing more
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(h.dev().lock_depth(), 0);
}

TEST(moving_thresh, a_new_level_recounts_the_window)
{
    ryx::test::host h(1000.0);
    mv::thresh t(h.channel(), false);
    t.set_time(0.004);
    QSignalSpy spy(&t, &mv::thresh::triggered);
    QSignalSpy level(&t, &mv::thresh::level_changed);
    h.push(h.channel(), {3, 5, 4, 6});
    EXPECT_EQ(events(spy), (std::vector<std::pair<bool, qulonglong>>{{true, 0}}));

    t.set_level(1.0 + 1e-10); // the same level within 1e-9
    EXPECT_EQ(level.count(), 0);

    // Raising the level to 3.5 leaves 3 of 4 samples at or above it; the state
    // drops without an announcement.
    spy.clear();
    t.set_level(3.5);
    EXPECT_EQ(level.count(), 1);
    EXPECT_EQ(spy.count(), 0);
    h.push(h.channel(), {7}); // the 3 leaves: 5, 4, 6, 7 are all above
    EXPECT_EQ(t.back(), 1.0);
    EXPECT_EQ(events(spy), (std::vector<std::pair<bool, qulonglong>>{{true, 1}}));

    // Lowering it keeps the window counted: one more sample and it is active.
    EXPECT_TRUE(t.set_parameter("level", 0.0));
    EXPECT_EQ(t.level(), 0.0);
    h.push(h.channel(), {0});
    EXPECT_EQ(t.back(), 1.0);
    EXPECT_EQ(events(spy).back(), (std::pair<bool, qulonglong>{true, 2}));
}

TEST(moving_thresh, settings_and_persistence)
{
    ryx::test::host h(1000.0);
    mv::thresh t(h.channel(), false);
    QJsonObject s = t.settings();
    EXPECT_TRUE(s.contains("20_window"));
    const QJsonObject level = s["30_level"].toObject();
    EXPECT_EQ(level["type"].toString(), "double");
    EXPECT_EQ(level["value"].toDouble(), 1.0);
    EXPECT_EQ(level["min"].toDouble(), -1000000.0);
    EXPECT_EQ(level["max"].toDouble(), 1000000.0);
    EXPECT_EQ(level["prec"].toInt(), 3);
    EXPECT_EQ(level["label"].toString(), "level");
    EXPECT_FALSE(t.set_parameter("30_level", 2.0));

    t.set_level(-0.1);
    t.set_time(0.05);
    QDomDocument doc;
    QDomElement e = doc.createElement("channel");
    t.save(e);
    mv::thresh u(h.channel(), false);
    u.load(e);
    EXPECT_EQ(u.level(), -0.1);
    EXPECT_EQ(u.count(), 50);
    u.load(doc.createElement("channel")); // defaults: level 1, window 1 s
    EXPECT_EQ(u.level(), 1.0);
    EXPECT_EQ(u.count(), 1000);
}

TEST(moving_thresh, a_listener_may_delete_the_channel_when_triggered)
{
    ryx::test::host h(1000.0);
    auto* t = new mv::thresh(h.channel(), false);
    t->set_time(0.002);
    QPointer<mv::thresh> watch = t;
    int calls = 0;
    QObject::connect(t, &mv::thresh::triggered, t, [t, &calls] {
        ++calls;
        delete t;
    });
    h.push(h.channel(), {2, 2, 0, 2, 2, 0});
    EXPECT_TRUE(watch.isNull());
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(h.dev().lock_depth(), 0);
}
