// The block cycle shared by every instant measurement: block length, chunks,
// delay, averaging, single shot, start/stop, source deletion and threads.
#include <QJsonArray>
#include <QSignalSpy>
#include <QVariant>
#include <atomic>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>
#include <numeric>
#include <thread>

#include "ryx/math/instant/ampl.h"
#include "ryx/math/instant/avg.h"
#include "ryx/math/instant/delta_phase.h"
#include "ryx/math/instant/max.h"
#include "ryx/math/instant/peak.h"
#include "ryx/math/instant/rms.h"
#include "ryx/math/instant/value.h"
#include "support/host.h"

namespace {

using ryx::math::instant::value;

// Records what the hooks see; the block result is the block's sum.
class probe : public value
{
public:
    struct chunk {
        std::size_t at;
        std::vector<double> leaving;
        std::vector<double> entering;
    };

    using value::value;
    ~probe() override { prepare_deleting(); }

    std::vector<chunk> chunks;
    std::vector<std::vector<double>> blocks;

protected:
    void before_copying_data(iterator first, iterator last) override
    {
        chunks.push_back({static_cast<std::size_t>(first - block().cbegin()), {first, last}, {}});
    }
    void after_copying_data(iterator first, iterator last) override
    {
        ASSERT_FALSE(chunks.empty());
        ASSERT_EQ(chunks.back().at, static_cast<std::size_t>(first - block().cbegin()));
        chunks.back().entering.assign(first, last);
    }
    void calculate() override
    {
        blocks.push_back(block());
        m_value = std::accumulate(block().cbegin(), block().cend(), 0.0);
    }
};

std::vector<double> ramp(std::size_t n, double from = 0.0)
{
    std::vector<double> out(n);
    std::iota(out.begin(), out.end(), from);
    return out;
}

std::vector<double> constant(std::size_t n, double x)
{
    return std::vector<double>(n, x);
}

QJsonObject settings(std::initializer_list<QPair<QString, QJsonValue>> items)
{
    QJsonObject out;
    for (const auto& item : items)
        out.insert(item.first, item.second);
    return out;
}

TEST(InstantValue, BlockLengthFollowsTimeAndRate)
{
    struct row {
        double rate;
        QJsonObject settings;
        std::size_t block;
        double time;
    };
    const row rows[] = {
        {1000.0, settings({{"time", 0.1}}), 100, 0.1},
        {50.0, settings({{"time", 0.1}}), 10, 0.2},             // raised to 10 samples
        {1000.0, QJsonObject(), 100, 0.1},                       // default 0.1 s
        {1000.0, settings({{"time", -2.0}}), 100, 0.1},          // non-positive: default
        {1000.0, settings({{"time", 0.0005}}), 10, 0.01},        // half a sample: at least 10
        {1000.0, settings({{"time", 0.0125}}), 13, 0.0125},      // 12.5 rounds away from zero
        {1000.0, settings({{"time", 1e12}}), value::max_block, value::max_block / 1000.0},
    };
    for (const auto& r : rows) {
        ryx::test::host h(r.rate);
        probe p(h.channel(0), r.settings);
        EXPECT_EQ(p.block_size(), r.block) << "rate " << r.rate << " time " << r.settings["time"].toDouble();
        EXPECT_NEAR(p.get_time(), r.time, 1e-12) << "rate " << r.rate;
        if (r.block < 1000) {
            EXPECT_EQ(p.get_data().size(), static_cast<qsizetype>(r.block));
        }
    }
}

TEST(InstantValue, SetTimeRecreatesTheBlockAndIgnoresNoise)
{
    ryx::test::host h(1000.0);
    probe p(h.channel(0), QJsonObject());
    h.push(h.channel(0), ramp(130, 1.0));
    ASSERT_EQ(p.blocks.size(), 1u);
    EXPECT_NEAR(p.get_ptr(), 0.03, 1e-12);

    QSignalSpy spy(&p, &value::time_changed);
    p.set_time(0.1 + 1e-10); // within tolerance: nothing happens
    p.set_time(std::nan(""));
    EXPECT_EQ(spy.count(), 0);
    EXPECT_EQ(p.get_values().size(), 1);

    p.set_time(0.05);
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(p.block_size(), 50u);
    EXPECT_EQ(p.get_ptr(), 0.0);
    EXPECT_EQ(p.get_value(), 0.0);
    EXPECT_TRUE(p.get_values().isEmpty());
    for (const auto& x : p.get_data())
        EXPECT_EQ(x.toDouble(), 0.0);
}

TEST(InstantValue, ChunksNeverCrossTheBlockEnd)
{
    ryx::test::host h(1000.0);
    probe p(h.channel(0), settings({{"time", 0.1}}));
    QSignalSpy changed(&p, &value::changed);

    h.push(h.channel(0), ramp(250));
    EXPECT_EQ(changed.count(), 2);
    EXPECT_NEAR(p.get_ptr(), 0.05, 1e-12);
    ASSERT_EQ(p.chunks.size(), 3u);
    EXPECT_EQ(p.chunks[0].at, 0u);
    EXPECT_EQ(p.chunks[0].entering.size(), 100u);
    EXPECT_EQ(p.chunks[2].entering.size(), 50u);
    // The second chunk replaced the first block's samples.
    EXPECT_EQ(p.chunks[1].leaving, ramp(100));
    EXPECT_EQ(p.chunks[1].entering, ramp(100, 100.0));
    ASSERT_EQ(p.blocks.size(), 2u);
    EXPECT_EQ(p.blocks[1], ramp(100, 100.0));

    // The next run first completes the block, then starts a new one.
    h.push(h.channel(0), ramp(120, 250.0));
    ASSERT_EQ(p.chunks.size(), 5u);
    EXPECT_EQ(p.chunks[3].at, 50u);
    EXPECT_EQ(p.chunks[3].entering.size(), 50u);
    EXPECT_EQ(p.chunks[4].at, 0u);
    ASSERT_EQ(p.blocks.size(), 3u);
    std::vector<double> third = ramp(50, 200.0);
    const auto tail = ramp(50, 250.0);
    third.insert(third.end(), tail.begin(), tail.end());
    EXPECT_EQ(p.blocks[2], third);
}

TEST(InstantValue, DelaySkipsTheStartOfTheSource)
{
    ryx::test::host h(1000.0);
    probe p(h.channel(0), settings({{"time", 0.1}, {"delay", 0.5}}));
    const auto signal = ramp(1000);
    h.push(h.channel(0), signal, 200);
    // Samples 0..499 are skipped: the third run is used from its 101st sample on.
    ASSERT_EQ(p.blocks.size(), 5u);
    EXPECT_EQ(p.blocks[0], ramp(100, 500.0));
    EXPECT_EQ(p.blocks[4], ramp(100, 900.0));

    // start(delay) sets a new delay, start() keeps the current one (now 0).
    p.stop();
    EXPECT_TRUE(p.start(0.15));
    h.push(h.channel(0), ramp(250, 1000.0));
    ASSERT_EQ(p.blocks.size(), 6u);
    EXPECT_EQ(p.blocks[5], ramp(100, 1150.0));
}

TEST(InstantValue, SingleShotStopsAfterTheAverage)
{
    ryx::test::host h(1000.0);
    probe p(h.channel(0), settings({{"avg", 3}, {"single_shot", true}}));
    std::vector<std::string> order;
    QObject::connect(&p, &value::changed, [&] { order.push_back("changed"); });
    QObject::connect(&p, &value::finished, [&] { order.push_back("finished"); });

    // One run holding four blocks: the fourth is never taken.
    h.push(h.channel(0), constant(400, 1.0));
    EXPECT_EQ(order, (std::vector<std::string>{"changed", "changed", "changed", "finished"}));
    EXPECT_FALSE(p.is_running());
    EXPECT_EQ(p.get_values(), (QList<qreal>{100.0, 100.0, 100.0}));
    EXPECT_EQ(p.get_ptr(), 0.0);

    h.push(h.channel(0), constant(300, 1.0));
    EXPECT_EQ(p.blocks.size(), 3u);

    EXPECT_TRUE(p.start());
    EXPECT_TRUE(p.get_values().isEmpty());
    h.push(h.channel(0), constant(100, 2.0));
    EXPECT_EQ(p.get_values(), QList<qreal>{200.0});
}

TEST(InstantValue, AveragesTheNewestResults)
{
    ryx::test::host h(1000.0);
    probe p(h.channel(0), settings({{"avg", 2}}));
    EXPECT_NEAR(p.get_acq_time(), 0.2, 1e-12);
    h.push(h.channel(0), constant(100, 1.0));
    h.push(h.channel(0), constant(100, 2.0));
    h.push(h.channel(0), constant(100, 4.0));
    EXPECT_EQ(p.get_values(), (QList<qreal>{200.0, 400.0}));
    EXPECT_DOUBLE_EQ(p.get_avg_value(), 300.0);
    EXPECT_DOUBLE_EQ(p.get_value(), 400.0);
    EXPECT_TRUE(p.is_running());

    // A smaller count trims the list when the next result arrives.
    QSignalSpy spy(&p, &value::avg_cnt_changed);
    p.set_avg_cnt(2);
    p.set_avg_cnt(1);
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(p.get_values().size(), 2);
    h.push(h.channel(0), constant(100, 3.0));
    EXPECT_EQ(p.get_values(), QList<qreal>{300.0});

    // "avg" 0 (and below) means 1.
    probe q(h.channel(0), settings({{"avg", 0}}));
    EXPECT_EQ(q.get_avg_cnt(), 1u);
    probe r(h.channel(0), settings({{"avg", -4}}));
    EXPECT_EQ(r.get_avg_cnt(), 1u);
}

TEST(InstantValue, StartStopAndNotRunning)
{
    ryx::test::host h(1000.0);
    probe p(h.channel(0), settings({{"start", false}}));
    h.push(h.channel(0), constant(150, 1.0));
    EXPECT_TRUE(p.blocks.empty());
    EXPECT_EQ(p.get_ptr(), 0.0);

    EXPECT_TRUE(p.start());
    h.push(h.channel(0), constant(150, 1.0));
    EXPECT_EQ(p.get_values(), QList<qreal>{100.0});

    // start() while running: false, nothing changes.
    EXPECT_FALSE(p.start(2.0));
    EXPECT_EQ(p.get_values(), QList<qreal>{100.0});
    h.push(h.channel(0), constant(50, 1.0));
    EXPECT_EQ(p.blocks.size(), 2u);

    // Stopping keeps the block and the results; restarting continues the block.
    p.stop_acq();
    h.push(h.channel(0), constant(30, 5.0));
    EXPECT_EQ(p.get_values().size(), 1);
    EXPECT_TRUE(p.start());
    h.push(h.channel(0), constant(100, 3.0));
    ASSERT_EQ(p.blocks.size(), 3u);
    EXPECT_EQ(p.get_values(), QList<qreal>{300.0});
    EXPECT_NEAR(p.get_ptr(), 0.0, 1e-12);
}

TEST(InstantValue, StopFromChangedEndsTheRun)
{
    ryx::test::host h(1000.0);
    probe p(h.channel(0), QJsonObject());
    QSignalSpy finished(&p, &value::finished);
    QObject::connect(&p, &value::changed, &p, &value::stop);
    h.push(h.channel(0), constant(350, 1.0));
    EXPECT_EQ(p.blocks.size(), 1u);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(p.get_ptr(), 0.0); // the rest of the run was ignored
}

TEST(InstantValue, PropertiesThroughTheMetaObject)
{
    ryx::test::host h(1000.0);
    ryx::math::instant::avg a(h.channel(0), settings({{"avg", 2}, {"time", 0.01}}));
    h.push(h.channel(0), constant(15, 2.0));

    EXPECT_EQ(a.property("name").toString(), QStringLiteral("mean"));
    EXPECT_DOUBLE_EQ(a.property("value").toDouble(), 2.0);
    EXPECT_DOUBLE_EQ(a.property("avg_value").toDouble(), 2.0);
    EXPECT_EQ(a.property("avg_cnt").toUInt(), 2u);
    EXPECT_EQ(a.property("values").value<QList<qreal>>(), QList<qreal>{2.0});
    EXPECT_NEAR(a.property("acq_time").toDouble(), 0.02, 1e-12);
    EXPECT_DOUBLE_EQ(a.property("dt").toDouble(), 0.001);
    EXPECT_NEAR(a.property("ptr").toDouble(), 0.005, 1e-12);
    const QJsonArray data = a.property("data").toJsonArray();
    ASSERT_EQ(data.size(), 10);
    EXPECT_EQ(data[0].toDouble(), 2.0);

    QSignalSpy named(&a, &value::name_changed);
    EXPECT_TRUE(a.setProperty("name", QStringLiteral("inlet mean")));
    a.set_name(QStringLiteral("inlet mean"));
    EXPECT_EQ(named.count(), 1);
    EXPECT_TRUE(a.setProperty("time", 0.02));
    EXPECT_EQ(a.block_size(), 20u);

    // A name given in the settings wins over the default.
    ryx::math::instant::max m(h.channel(0), settings({{"name", "top"}}));
    EXPECT_EQ(m.get_name(), QStringLiteral("top"));
}

TEST(InstantValue, WithoutSourceNothingHappens)
{
    probe p(nullptr, settings({{"time", 0.5}}));
    EXPECT_EQ(p.block_size(), 0u);
    EXPECT_EQ(p.get_dt(), 0.0);
    p.set_time(1.0);
    EXPECT_EQ(p.block_size(), 0u);
    EXPECT_FALSE(p.start(1.0)); // created running
    EXPECT_EQ(p.get_value(), 0.0);
}

TEST(InstantValue, DeletedSourceLeavesTheMeasurementInert)
{
    ryx::test::host h(1000.0, 2);
    auto* ch = h.channel(1);
    probe p(ch, QJsonObject());
    ryx::math::instant::max m(ch, QJsonObject());
    h.push(ch, constant(150, 1.0));
    ASSERT_EQ(p.blocks.size(), 1u);

    delete ch;
    EXPECT_EQ(p.get_dt(), 0.0);
    EXPECT_EQ(p.get_ptr(), 0.0);
    p.set_time(0.3);
    EXPECT_EQ(p.block_size(), 100u);
    EXPECT_EQ(p.get_values(), QList<qreal>{100.0});
    EXPECT_FALSE(h.dev().is_locked());

    // The whole device going away, with measurements on its other channel.
    probe q(h.channel(0), QJsonObject());
    h.destroy();
    EXPECT_EQ(q.get_dt(), 0.0);
    q.stop();
    EXPECT_TRUE(q.start(0.1));
}

TEST(InstantValue, MeasurementDeletedFromItsOwnSignal)
{
    ryx::test::host h(1000.0);
    auto* p = new probe(h.channel(0), settings({{"single_shot", true}}));
    QObject::connect(p, &value::finished, [&p] {
        delete p;
        p = nullptr;
    });
    h.push(h.channel(0), constant(300, 1.0));
    EXPECT_EQ(p, nullptr);
    EXPECT_FALSE(h.dev().is_locked());

    // The source deleted by a listener of the measurement's result.
    ryx::test::host g(1000.0, 2);
    probe q(g.channel(1), QJsonObject());
    auto* doomed = g.channel(1);
    QObject::connect(&q, &value::changed, [doomed] { delete doomed; });
    g.push(g.channel(1), constant(300, 1.0));
    EXPECT_EQ(q.blocks.size(), 1u);
    EXPECT_EQ(q.get_dt(), 0.0);
    EXPECT_FALSE(g.dev().is_locked());
}

// A listener of the result publishes another run of the source, and the
// measurement is deleted in that inner run: neither run may touch it again.
TEST(InstantValue, MeasurementDeletedInARunStartedByItsListener)
{
    ryx::test::host h(1000.0);
    auto* ch = h.channel(0);
    const auto outer = constant(250, 2.0);
    const auto inner = constant(100, 3.0);
    auto* m = new ryx::math::instant::max(ch, QJsonObject());
    int results = 0;
    QObject::connect(m, &value::changed, [&] {
        if (++results == 1) {
            ch->set_data(inner.cbegin(), inner.cend());
        } else {
            delete m;
            m = nullptr;
        }
    });
    ch->set_data(outer.cbegin(), outer.cend());
    EXPECT_EQ(results, 2);
    EXPECT_EQ(m, nullptr);
    EXPECT_FALSE(h.dev().is_locked());

    // The same for the peak, whose own update follows the run.
    auto* p = new ryx::math::instant::peak(ch, QJsonObject());
    results = 0;
    QObject::connect(p, &value::changed, [&] {
        if (++results == 1) {
            ch->set_data(inner.cbegin(), inner.cend());
        } else {
            delete p;
            p = nullptr;
        }
    });
    ch->set_data(outer.cbegin(), outer.cend());
    EXPECT_EQ(p, nullptr);
    EXPECT_FALSE(h.dev().is_locked());
}

// The measurements that copy and observe a run in one read leave the block
// exactly as the plain copy does, for any split of the runs.
TEST(InstantValue, BlockHoldsTheSamplesForEveryMeasurement)
{
    std::vector<double> signal(1037);
    for (std::size_t i = 0; i < signal.size(); ++i)
        signal[i] = std::sin(0.37 * static_cast<double>(i)) * (i % 5 == 2 ? -1e3 : 1.0);
    for (std::size_t run : {1u, 3u, 17u, 100u, 1037u}) {
        ryx::test::host h(1000.0);
        probe p(h.channel(0), QJsonObject());
        ryx::math::instant::max m(h.channel(0), QJsonObject());
        ryx::math::instant::avg a(h.channel(0), QJsonObject());
        ryx::math::instant::peak k(h.channel(0), QJsonObject());
        h.push(h.channel(0), signal, run);
        const QJsonArray want = p.get_data();
        ASSERT_EQ(want.size(), 100);
        EXPECT_EQ(want[0].toDouble(), signal[1000]) << "runs of " << run; // 37 samples into the 11th block
        for (const value* v : {static_cast<const value*>(&m), static_cast<const value*>(&a),
                               static_cast<const value*>(&k)})
            EXPECT_EQ(v->get_data(), want) << "runs of " << run;
    }
}

// The block may be retimed from another thread while runs arrive: every block
// result must still describe whole blocks of the (constant) signal.
TEST(InstantValue, SetTimeFromAnotherThreadWhileRunsArrive)
{
    ryx::test::host h(1000.0);
    ryx::math::instant::avg a(h.channel(0), QJsonObject());
    ryx::math::instant::max m(h.channel(0), QJsonObject());
    std::vector<double> results;
    QObject::connect(&a, &value::changed, [&] { results.push_back(a.get_value()); });
    QObject::connect(&m, &value::changed, [&] { results.push_back(m.get_value()); });

    std::atomic<bool> done{false};
    std::thread retimer([&] {
        int i = 0;
        while (!done) {
            const double t = (i++ % 2) ? 0.013 : 0.021;
            a.set_time(t);
            m.set_time(t);
            (void)a.get_data();
            (void)a.get_values();
            std::this_thread::yield();
        }
    });
    const auto signal = constant(200000, 2.5);
    std::size_t n = 0;
    h.push(h.channel(0), signal, [&n] { return 1 + (n++ * 7919) % 47; });
    done = true;
    retimer.join();

    EXPECT_FALSE(results.empty());
    for (double r : results)
        ASSERT_EQ(r, 2.5);
    EXPECT_FALSE(h.dev().is_locked());
}

// Another thread reads every result and changes units and block lengths while
// runs arrive, as a host's user interface does: each getter and setter the
// header offers to any thread must be free of races (run under TSan too).
TEST(InstantValue, GettersAndSettersFromAnotherThreadWhileRunsArrive)
{
    ryx::test::host h(1000.0, 2);
    ryx::math::instant::rms r(h.channel(0), QJsonObject{{"time", 0.02}, {"avg", 3}});
    ryx::math::instant::ampl a(h.channel(0), QJsonObject{{"time", 0.02}});
    ryx::math::instant::delta_phase p(h.channel(0), h.channel(1), QJsonObject());
    std::atomic<bool> done{false};
    double sink = 0.0;
    std::thread ui([&] {
        int i = 0;
        while (!done) {
            const auto unit = (i++ % 2) ? ryx::units::dB : ryx::units::linear;
            r.set_unit(unit);
            a.set_unit(unit);
            sink += r.get_value() + r.get_avg_value() + a.get_value() + p.get_value() + p.get_avg_value();
            sink += r.get_time() + a.get_acq_time() + static_cast<double>(r.get_values().size());
            if (i % 50 == 0)
                p.set_time(0.05 + 0.01 * (i % 3));
            std::this_thread::yield();
        }
    });
    const auto first = ryx::test::sine(20000, 1000.0, 50.0);
    const auto second = ryx::test::sine(20000, 1000.0, 50.0, 1.0, 0.0, 0.5);
    for (std::size_t at = 0; at < first.size(); at += 100) {
        h.push(h.channel(0), std::vector<double>(first.begin() + static_cast<std::ptrdiff_t>(at),
                                                 first.begin() + static_cast<std::ptrdiff_t>(at + 100)));
        h.push(h.channel(1), std::vector<double>(second.begin() + static_cast<std::ptrdiff_t>(at),
                                                 second.begin() + static_cast<std::ptrdiff_t>(at + 100)));
    }
    done = true;
    ui.join();
    (void)sink;
    EXPECT_FALSE(h.dev().is_locked());
    // The measurement is intact: one more period of the sine reads its RMS.
    r.set_unit(ryx::units::linear);
    h.push(h.channel(0), ryx::test::sine(20, 1000.0, 50.0));
    EXPECT_NEAR(r.get_value(), std::sqrt(0.5), 1e-12);
}

} // namespace


TEST(InstantValue, KeptResultsAreBounded)
{
    ryx::test::host h(1000.0);
    ryx::math::instant::avg a(h.channel(0), QJsonObject{{"avg", 2147483647}});
    EXPECT_EQ(a.get_avg_cnt(), 1u); // out of range: the default
    ryx::math::instant::avg b(h.channel(0), QJsonObject{{"avg", int(value::max_avg_cnt)}});
    EXPECT_EQ(b.get_avg_cnt(), value::max_avg_cnt);
    b.set_avg_cnt(value::max_avg_cnt + 1);
    EXPECT_EQ(b.get_avg_cnt(), value::max_avg_cnt);
    b.set_avg_cnt(4);
    EXPECT_EQ(b.get_avg_cnt(), 4u);
}
