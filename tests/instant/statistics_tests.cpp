// Block statistics: golden values from SciPy, independence from how runs fall on
// the block, a sine of known shape, and the edge cases of each measurement.
#include <QFile>
#include <QSignalSpy>
#include <QTextStream>
#include <QVariant>
#include <cmath>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <random>

#include "ryx/math/instant/ampl.h"
#include "ryx/math/instant/avg.h"
#include "ryx/math/instant/freq.h"
#include "ryx/math/instant/kurt.h"
#include "ryx/math/instant/max.h"
#include "ryx/math/instant/min.h"
#include "ryx/math/instant/offset.h"
#include "ryx/math/instant/peak.h"
#include "ryx/math/instant/peak_to_peak.h"
#include "ryx/math/instant/rms.h"
#include "ryx/math/instant/sum.h"
#include "ryx/math/instant/var.h"
#include "support/host.h"

namespace {

namespace in = ryx::math::instant;
using factory = std::function<std::unique_ptr<in::value>(ryx::analog_data*, const QJsonObject&)>;

template <class T>
factory make()
{
    return [](ryx::analog_data* s, const QJsonObject& o) { return std::make_unique<T>(s, o); };
}

struct measure {
    const char* name;
    factory create;
    QJsonObject extra;
};

// Every block result of the measurement, in order.
std::vector<double> block_results(const measure& m, double rate, double time, const std::vector<double>& signal,
                                  const std::function<std::size_t()>& sizer)
{
    ryx::test::host h(rate);
    QJsonObject s = m.extra;
    s["time"] = time;
    auto v = m.create(h.channel(0), s);
    std::vector<double> out;
    QObject::connect(v.get(), &in::value::changed, [&] { out.push_back(v->get_value()); });
    h.push(h.channel(0), signal, sizer);
    return out;
}

bool close(double a, double b, double rel)
{
    if (std::isnan(a) || std::isnan(b))
        return std::isnan(a) && std::isnan(b);
    return std::fabs(a - b) <= rel * std::max(1.0, std::max(std::fabs(a), std::fabs(b)));
}

struct golden {
    std::vector<double> samples;
    struct block {
        double mean, sum, rms, var, kurt, max, min;
    };
    std::vector<block> blocks;
};

golden load_golden()
{
    golden g;
    QFile f(QStringLiteral(RYX_TEST_DATA_DIR "/instant_blocks_n100_x4_seed7.txt"));
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return g;
    QTextStream in(&f);
    QString word;
    int count = 0;
    in >> word >> count;
    for (int i = 0; i < count; ++i) {
        double x = 0;
        in >> x;
        g.samples.push_back(x);
    }
    while (!in.atEnd()) {
        int index = 0;
        golden::block b{};
        in >> word;
        if (word != QLatin1String("block"))
            break;
        in >> index >> b.mean >> b.sum >> b.rms >> b.var >> b.kurt >> b.max >> b.min;
        g.blocks.push_back(b);
    }
    return g;
}

TEST(InstantStatistics, MatchSciPyPerBlock)
{
    const golden g = load_golden();
    ASSERT_EQ(g.samples.size(), 400u);
    ASSERT_EQ(g.blocks.size(), 4u);

    struct row {
        measure m;
        std::function<double(const golden::block&)> expected;
    };
    const row rows[] = {
        {{"avg", make<in::avg>(), {}}, [](const auto& b) { return b.mean; }},
        {{"sum", make<in::sum>(), {}}, [](const auto& b) { return b.sum; }},
        {{"rms", make<in::rms>(), {}}, [](const auto& b) { return b.rms; }},
        {{"rms dB", make<in::rms>(), {{"view", 1}}}, [](const auto& b) { return 20.0 * std::log10(b.rms); }},
        {{"var", make<in::var>(), {}}, [](const auto& b) { return b.var; }},
        {{"kurt", make<in::kurt>(), {}}, [](const auto& b) { return b.kurt; }},
        {{"max", make<in::max>(), {}}, [](const auto& b) { return b.max; }},
        {{"min", make<in::min>(), {}}, [](const auto& b) { return b.min; }},
        {{"peak_to_peak", make<in::peak_to_peak>(), {}}, [](const auto& b) { return b.max - b.min; }},
        {{"offset", make<in::offset>(), {}}, [](const auto& b) { return (b.max + b.min) * 0.5; }},
    };
    std::mt19937 gen(11);
    std::uniform_int_distribution<std::size_t> sizes(1, 300);
    for (const auto& r : rows) {
        for (bool split : {false, true}) {
            const auto got = block_results(r.m, 1000.0, 0.1, g.samples,
                                           [&] { return split ? sizes(gen) : std::size_t(100); });
            ASSERT_EQ(got.size(), 4u) << r.m.name;
            for (std::size_t i = 0; i < 4; ++i)
                EXPECT_TRUE(close(got[i], r.expected(g.blocks[i]), 1e-12))
                    << r.m.name << (split ? " (random runs)" : "") << " block " << i << ": got " << got[i]
                    << ", expected " << r.expected(g.blocks[i]);
        }
    }
}

// Runs of random sizes (1 to 3 N) give the block results of one run per block.
TEST(InstantStatistics, ResultsDoNotDependOnRunSizes)
{
    const measure rows[] = {
        {"avg", make<in::avg>(), {}},
        {"sum", make<in::sum>(), {}},
        {"rms", make<in::rms>(), {}},
        {"rms dB", make<in::rms>(), {{"view", 1}}},
        {"var", make<in::var>(), {}},
        {"kurt", make<in::kurt>(), {}},
        {"max", make<in::max>(), {}},
        {"min", make<in::min>(), {}},
        {"peak_to_peak", make<in::peak_to_peak>(), {}},
        {"offset", make<in::offset>(), {}},
        {"freq, fixed level", make<in::freq>(), {{"dc", 0.1}}},
        {"freq, automatic level", make<in::freq>(), {}},
    };
    for (std::size_t n : {37u, 100u, 1000u}) {
        const double rate = 1000.0;
        const double time = static_cast<double>(n) / rate;
        auto signal = ryx::test::noise(25 * n, 3);
        const auto wave = ryx::test::sine(25 * n, rate, 31.0, 2.0, 0.7);
        for (std::size_t i = 0; i < signal.size(); ++i)
            signal[i] = 0.3 * signal[i] + wave[i];

        for (const auto& m : rows) {
            const auto whole = block_results(m, rate, time, signal, [n] { return n; });
            ASSERT_EQ(whole.size(), 25u) << m.name << " N " << n;
            for (unsigned seed : {1u, 2u, 3u}) {
                std::mt19937 gen(seed);
                std::uniform_int_distribution<std::size_t> sizes(1, 3 * n);
                const auto split = block_results(m, rate, time, signal, [&] { return sizes(gen); });
                ASSERT_EQ(split.size(), whole.size()) << m.name << " N " << n << " seed " << seed;
                for (std::size_t i = 0; i < whole.size(); ++i)
                    ASSERT_TRUE(close(split[i], whole[i], 1e-12))
                        << m.name << " N " << n << " seed " << seed << " block " << i << ": " << split[i]
                        << " vs " << whole[i];
            }
        }
    }
}

// A sine of amplitude A about D at 50 Hz, 1000 Hz, 0.1 s blocks: five whole
// periods per block, samples on the crests.
TEST(InstantStatistics, SineOfKnownShape)
{
    const double a = 2.0;
    const double d = 0.5;
    const auto signal = ryx::test::sine(1000, 1000.0, 50.0, a, d);
    const double rms = std::sqrt(d * d + a * a / 2.0);
    const struct {
        measure m;
        double expected;
        double tol;
    } rows[] = {
        {{"avg", make<in::avg>(), {}}, d, 1e-13},
        {{"rms", make<in::rms>(), {}}, rms, 1e-13},
        {{"rms dB", make<in::rms>(), {{"view", 1}}}, 20.0 * std::log10(rms), 1e-12},
        {{"max", make<in::max>(), {}}, d + a, 1e-13},
        {{"min", make<in::min>(), {}}, d - a, 1e-13},
        {{"peak_to_peak", make<in::peak_to_peak>(), {}}, 2.0 * a, 1e-13},
        {{"offset", make<in::offset>(), {}}, d, 1e-13},
        {{"ampl", make<in::ampl>(), {}}, a, 1e-13},
        {{"var", make<in::var>(), {}}, a * a / 2.0 * 100.0 / 99.0, 1e-12},
    };
    for (const auto& r : rows) {
        const auto got = block_results(r.m, 1000.0, 0.1, signal, [] { return std::size_t(100); });
        ASSERT_EQ(got.size(), 10u) << r.m.name;
        for (std::size_t i = 0; i < got.size(); ++i)
            EXPECT_NEAR(got[i], r.expected, r.tol) << r.m.name << " block " << i;
    }

    // The peak combines its children's results of the previous run.
    ryx::test::host h(1000.0);
    in::peak p(h.channel(0), QJsonObject());
    h.push(h.channel(0), signal, 100);
    EXPECT_NEAR(p.get_value(), a, 1e-13);
}

TEST(InstantStatistics, MeanOfConstantSurvivesRetiming)
{
    ryx::test::host h(1000.0);
    in::avg m(h.channel(0), QJsonObject());
    h.push(h.channel(0), std::vector<double>(250, 2.0));
    EXPECT_EQ(m.get_value(), 2.0);
    m.set_time(0.03);
    h.push(h.channel(0), std::vector<double>(95, 2.0));
    EXPECT_EQ(m.get_values(), QList<qreal>{2.0});
    EXPECT_EQ(m.get_name(), QStringLiteral("mean"));
}

TEST(InstantStatistics, SumFollowsTheBlockContents)
{
    ryx::test::host h(100.0);
    in::sum s(h.channel(0), QJsonObject{{"time", 0.1}});
    std::vector<double> ramp(13);
    for (std::size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = static_cast<double>(i + 1);
    h.push(h.channel(0), std::vector<double>(ramp.begin(), ramp.begin() + 10));
    EXPECT_EQ(s.get_value(), 55.0);
    // 11, 12, 13 replaced 1, 2, 3.
    h.push(h.channel(0), std::vector<double>(ramp.begin() + 10, ramp.end()));
    EXPECT_EQ(s.get_value(), 85.0);
    EXPECT_EQ(s.get_values(), QList<qreal>{55.0});
}

TEST(InstantStatistics, RmsUnits)
{
    ryx::test::host h(1000.0);
    in::rms lin(h.channel(0), QJsonObject());
    in::rms db(h.channel(0), QJsonObject{{"view", 1}});
    in::rms bad(h.channel(0), QJsonObject{{"view", 7}});
    EXPECT_EQ(db.get_unit(), ryx::units::dB);
    EXPECT_EQ(bad.get_unit(), ryx::units::linear);
    h.push(h.channel(0), std::vector<double>(100, 3.0));
    EXPECT_DOUBLE_EQ(lin.get_value(), 3.0);
    EXPECT_NEAR(db.get_value(), 9.5424250943932, 1e-12);

    QSignalSpy spy(&lin, &in::rms::unit_changed);
    lin.set_unit(ryx::units::dB);
    lin.set_unit(ryx::units::dB);
    lin.set_unit(static_cast<ryx::units>(9));
    EXPECT_EQ(spy.count(), 1);
    EXPECT_TRUE(lin.setProperty("unit", QVariant::fromValue(ryx::units::linear)));
    EXPECT_EQ(lin.get_unit(), ryx::units::linear);
}

TEST(InstantStatistics, KurtosisOfEveryBlockIncludingTheFirst)
{
    const golden g = load_golden();
    ASSERT_EQ(g.blocks.size(), 4u);
    ryx::test::host h(1000.0);
    in::kurt k(h.channel(0), QJsonObject());
    std::vector<double> seen;
    QObject::connect(&k, &in::value::changed, [&] { seen.push_back(k.get_value()); });
    h.push(h.channel(0), std::vector<double>(g.samples.begin(), g.samples.begin() + 100));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_NEAR(seen[0], g.blocks[0].kurt, 1e-10);
    EXPECT_EQ(k.get_name(), QStringLiteral("kurtosis"));

    // A constant block has no spread and no tails: 0, as the moving kurtosis gives.
    h.push(h.channel(0), std::vector<double>(100, 3.0));
    EXPECT_EQ(k.get_value(), 0.0);

    // Kurtosis does not depend on scale: the same block at 2^660 (about 1e199),
    // whose fourth powers a double cannot hold, and at 2^-600, gives the same
    // value to the last bit, the scalings being powers of two.
    for (int e : {660, -600}) {
        std::vector<double> big(g.samples.begin(), g.samples.begin() + 100);
        for (double& x : big)
            x = std::ldexp(x, e);
        h.push(h.channel(0), big);
        EXPECT_EQ(k.get_value(), seen[0]) << e;
    }
}

TEST(InstantStatistics, ExtremesOfNegativeBlocks)
{
    ryx::test::host h(100.0);
    in::max mx(h.channel(0), QJsonObject());
    in::min mn(h.channel(0), QJsonObject());
    in::peak_to_peak pp(h.channel(0), QJsonObject());
    in::offset of(h.channel(0), QJsonObject());
    h.push(h.channel(0), {-5.0, -2.0, -3.0, -4.0, -2.0, -9.0, -3.0, -3.5, -6.0, -7.0});
    EXPECT_EQ(mx.get_value(), -2.0);
    EXPECT_EQ(mn.get_value(), -9.0);
    h.push(h.channel(0), {-1.0, 0.0, 3.0, 2.0, 1.0, 1.5, -0.5, 2.5, 0.5, 1.0});
    EXPECT_EQ(pp.get_value(), 4.0);
    EXPECT_EQ(of.get_value(), 1.0);
    EXPECT_EQ(mx.get_name(), QStringLiteral("max"));
    EXPECT_EQ(mn.get_name(), QStringLiteral("min"));
    EXPECT_EQ(pp.get_name(), QStringLiteral("peak to peak"));
    EXPECT_EQ(of.get_name(), QStringLiteral("offset"));
}

// The zeros of a fresh block are not samples: overwriting them must not take
// an equal sample out of the extremes.
TEST(InstantStatistics, ExtremesIgnoreTheFreshBlockZeros)
{
    ryx::test::host h(100.0);
    in::max mx(h.channel(0), QJsonObject());
    in::min mn(h.channel(0), QJsonObject());
    h.push(h.channel(0), {-3.0, 0.0, -2.0, -4.0, -5.0});
    h.push(h.channel(0), {-1.0, -1.0, -1.0, -1.0, -1.0});
    EXPECT_EQ(mx.get_value(), 0.0);
    EXPECT_EQ(mn.get_value(), -5.0);
    // Retimed (to the shortest block, 10 samples): the window restarts.
    mx.set_time(0.05);
    h.push(h.channel(0), {-2.0, 0.0});
    h.push(h.channel(0), {-7.0, -1.0, -1.0, -1.0, -1.0, -1.0, -1.0, -3.0});
    EXPECT_EQ(mx.get_value(), 0.0);
}

// A NaN sample is reported by the block holding it and forgotten with it.
TEST(InstantStatistics, NaNLeavesWithItsBlock)
{
    ryx::test::host h(100.0);
    in::max mx(h.channel(0), QJsonObject());
    in::avg av(h.channel(0), QJsonObject());
    in::rms rm(h.channel(0), QJsonObject());
    std::vector<double> bad(10, 1.0);
    bad[3] = std::nan("");
    h.push(h.channel(0), bad, 4);
    EXPECT_TRUE(std::isnan(mx.get_value()));
    EXPECT_TRUE(std::isnan(av.get_value()));
    h.push(h.channel(0), std::vector<double>(10, 2.0), 3);
    EXPECT_EQ(mx.get_value(), 2.0);
    EXPECT_EQ(av.get_value(), 2.0);
    EXPECT_EQ(rm.get_value(), 2.0);
    h.push(h.channel(0), std::vector<double>(10, 0.5), 6);
    EXPECT_EQ(mx.get_value(), 0.5);
}

TEST(InstantStatistics, VarianceOfOneChunkPerBlock)
{
    ryx::test::host h(100.0);
    in::var v(h.channel(0), QJsonObject());
    h.push(h.channel(0), {1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0, 9.0, 10.0});
    EXPECT_NEAR(v.get_value(), 55.0 / 6.0, 1e-13);
    EXPECT_EQ(v.get_name(), QStringLiteral("var"));
}

TEST(InstantStatistics, PeakUsesItsChildrenPreviousResults)
{
    ryx::test::host h(1000.0);
    in::peak p(h.channel(0), QJsonObject{{"avg", 2}});
    QSignalSpy changed(&p, &in::value::changed);
    const auto wide = ryx::test::sine(100, 1000.0, 50.0, 5.0, 1.0);
    const auto narrow = ryx::test::sine(100, 1000.0, 50.0, 1.0, 1.0);

    h.push(h.channel(0), wide);
    // Own block end, then the after-run update; the children had no result yet.
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(p.get_value(), 0.0);
    h.push(h.channel(0), narrow);
    EXPECT_NEAR(p.get_value(), 5.0, 1e-12);
    h.push(h.channel(0), narrow);
    EXPECT_NEAR(p.get_value(), 1.0, 1e-12);
    // Its own block results are the combination at each of its block ends.
    ASSERT_EQ(p.get_values().size(), 2);
    EXPECT_NEAR(p.get_values().front(), 5.0, 1e-12);
    EXPECT_NEAR(p.get_values().back(), 1.0, 1e-12);

    // set_time reaches the children: with 0.2 s blocks their first result after
    // retiming spans two runs.
    p.set_time(0.2);
    h.push(h.channel(0), wide);
    h.push(h.channel(0), narrow);
    h.push(h.channel(0), narrow);
    EXPECT_NEAR(p.get_value(), 5.0, 1e-12);
}

TEST(InstantStatistics, PeakChildrenTakeTheBlockDurationOfTheSettings)
{
    // 0.05 s blocks at 1000 Hz: runs of 50 samples alternate between a wide and
    // a narrow sine, so children on 0.1 s blocks would always see the wide one.
    ryx::test::host h(1000.0);
    in::peak p(h.channel(0), QJsonObject{{"time", 0.05}});
    const auto wide = ryx::test::sine(50, 1000.0, 40.0, 5.0);
    const auto narrow = ryx::test::sine(50, 1000.0, 40.0, 1.0);
    h.push(h.channel(0), wide);
    h.push(h.channel(0), narrow);
    h.push(h.channel(0), wide); // the children's results of the narrow block show now
    // The sampled extremes of a 40 Hz sine of amplitude 1 lie within 0.01 of it.
    EXPECT_NEAR(p.get_value(), 1.0, 0.01);
}

TEST(InstantStatistics, PeakSingleShotAndRunsWithoutBlocks)
{
    ryx::test::host h(1000.0);
    in::peak p(h.channel(0), QJsonObject{{"single_shot", true}, {"avg", 1}, {"time", 0.05}});
    QSignalSpy finished(&p, &in::value::finished);
    h.push(h.channel(0), ryx::test::sine(30, 1000.0, 50.0), 30);
    EXPECT_EQ(finished.count(), 0);
    h.push(h.channel(0), ryx::test::sine(300, 1000.0, 50.0), 30);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(p.is_running());
    const double frozen = p.get_value();
    h.push(h.channel(0), ryx::test::sine(300, 1000.0, 50.0, 9.0), 30);
    EXPECT_EQ(p.get_value(), frozen);
    EXPECT_EQ(p.get_name(), QStringLiteral("peak"));
}

TEST(InstantStatistics, AmplitudeCandidatesPerChunk)
{
    ryx::test::host h(100.0);
    in::ampl a(h.channel(0), QJsonObject{{"dc", 40}});
    QSignalSpy spy(&a, &in::ampl::unit_changed);
    // Mean 1; the farthest sample from it is -4.
    h.push(h.channel(0), {1.0, 2.0, -4.0, 3.0, 1.0, 1.0, 2.0, 0.0, 3.0, 1.0});
    EXPECT_NEAR(a.get_value(), 5.0, 1e-14);
    // Two chunks: the distance is measured against the final mean.
    h.push(h.channel(0), {0.0, 0.0, 0.0, 0.0, 0.0});
    h.push(h.channel(0), {6.0, 0.0, 0.0, 0.0, 0.0});
    EXPECT_NEAR(a.get_value(), 5.4, 1e-14);

    a.set_unit(ryx::units::dB);
    EXPECT_EQ(spy.count(), 1);
    h.push(h.channel(0), {1.0, -1.0, 1.0, -1.0, 1.0, -1.0, 1.0, -1.0, 1.0, -1.0});
    EXPECT_NEAR(a.get_value(), 0.0, 1e-14);
    EXPECT_EQ(a.get_name(), QStringLiteral("amplitude"));
}

} // namespace

TEST(InstantStatistics, AmplitudeDoesNotDependOnRunSizes)
{
    // A sine with a slow drift and noise: the block's extremes and mean move
    // within each block, which is where a choice made per run would differ.
    std::vector<double> x(6000);
    const auto noise = ryx::test::noise(x.size(), 5);
    for (std::size_t i = 0; i < x.size(); ++i)
        x[i] = std::sin(0.21 * static_cast<double>(i)) + 0.0004 * static_cast<double>(i) + 0.3 * noise[i];
    std::vector<std::vector<double>> results;
    for (std::size_t run : {1000u, 1u, 7u, 64u, 333u}) {
        ryx::test::host h(1000.0);
        in::ampl a(h.channel(0), QJsonObject{{"time", 0.25}});
        std::vector<double> seen;
        QObject::connect(&a, &in::value::changed, [&] { seen.push_back(a.get_value()); });
        std::size_t k = 0;
        h.push(h.channel(0), x, [&] { return run == 333u ? 1 + (k++ * 7919) % 333 : run; });
        results.push_back(seen);
    }
    ASSERT_EQ(results[0].size(), 24u);
    for (std::size_t i = 1; i < results.size(); ++i)
        EXPECT_EQ(results[i], results[0]) << "split " << i;
    // The largest distance from the mean of the last block, computed here.
    const std::vector<double> last(x.end() - 250, x.end());
    double mean = 0.0;
    for (double v : last)
        mean += v;
    mean /= 250.0;
    double best = 0.0;
    for (double v : last)
        best = std::max(best, std::fabs(v - mean));
    EXPECT_NEAR(results[0].back(), best, 1e-12);
}

namespace {

// Two-pass references in long double, whose range holds every power sum of
// finite doubles; rounded to double at the end (+-inf beyond its range).
struct reference {
    double mean, rms, var, kurt, ampl, largest;
};

reference reference_of(const double* first, const double* last)
{
    const long double n = static_cast<long double>(last - first);
    long double s = 0, q = 0, largest = 0;
    for (const double* p = first; p != last; ++p) {
        s += *p;
        q += static_cast<long double>(*p) * *p;
        largest = std::max(largest, std::fabs(static_cast<long double>(*p)));
    }
    const long double m = s / n;
    const long double dc = static_cast<double>(m); // ampl measures from the mean as a double
    long double m2 = 0, m4 = 0, ampl = 0;
    for (const double* p = first; p != last; ++p) {
        const long double d = *p - m;
        m2 += d * d;
        m4 += d * d * d * d;
        ampl = std::max(ampl, std::fabs(*p - dc));
    }
    const long double kurt = m2 == 0 ? 0
                                     : (n * n - 1) / ((n - 2) * (n - 3))
                                           * ((m4 / n) / ((m2 / n) * (m2 / n)) - 3 + 6 / (n + 1));
    return {static_cast<double>(m),          static_cast<double>(std::sqrt(q / n)), static_cast<double>(m2 / (n - 1)),
            static_cast<double>(kurt),       static_cast<double>(ampl),             static_cast<double>(largest)};
}

struct checked {
    measure m;
    std::function<double(const reference&)> expected;
    // Allowed error: rel times the scale the function gives, plus abs.
    std::function<double(const reference&)> scale;
};

const std::vector<checked>& checked_sums()
{
    static const std::vector<checked> rows = {
        {{"avg", make<in::avg>(), {}}, [](const reference& r) { return r.mean; },
         [](const reference& r) { return r.largest; }},
        {{"rms", make<in::rms>(), {}}, [](const reference& r) { return r.rms; },
         [](const reference& r) { return r.largest; }},
        {{"var", make<in::var>(), {}}, [](const reference& r) { return r.var; },
         [](const reference& r) { return r.var; }},
        {{"kurt", make<in::kurt>(), {}}, [](const reference& r) { return r.kurt; },
         [](const reference& r) { return std::max(1.0, std::fabs(r.kurt)); }},
        {{"ampl", make<in::ampl>(), {}}, [](const reference& r) { return r.ampl; },
         [](const reference& r) { return r.largest; }},
    };
    return rows;
}

void expect_blocks(const std::vector<double>& signal, std::size_t n, double rel, double abs, const std::string& what)
{
    std::mt19937 gen(19);
    std::uniform_int_distribution<std::size_t> sizes(1, 2 * n);
    for (const checked& c : checked_sums()) {
        const double time = static_cast<double>(n) / 1000.0;
        const auto got = block_results(c.m, 1000.0, time, signal, [&] { return sizes(gen); });
        ASSERT_EQ(got.size(), signal.size() / n) << c.m.name << " " << what;
        for (std::size_t i = 0; i < got.size(); ++i) {
            const reference r = reference_of(signal.data() + i * n, signal.data() + (i + 1) * n);
            const double want = c.expected(r);
            const bool ok = got[i] == want || std::fabs(got[i] - want) <= rel * c.scale(r) + abs;
            EXPECT_TRUE(ok) << c.m.name << " " << what << " block " << i << ": got " << got[i] << ", expected "
                            << want;
        }
    }
}

} // namespace

// Squares overflow a double from 1.4e154 on, sums of samples near 1e308 too:
// every result a double can hold comes out finite and within 1e-12 of the
// block's largest magnitude (variance: of itself); a variance beyond the
// largest double reads +inf.
TEST(InstantStatistics, SamplesOfAnyFiniteMagnitudeGiveFiniteAccurateResults)
{
    const std::size_t n = 100;
    const auto noise = ryx::test::noise(8 * n, 13);
    for (const double magnitude : {1e154, 1e155, 1e200, 1e300, 1e308}) {
        for (const double sign : {1.0, -1.0}) {
            const double m = sign * magnitude;
            // About m; about 0 across -m .. m; ordinary samples with a few huge ones.
            std::vector<double> about(noise.size()), across(noise.size()), sparse(noise.size());
            for (std::size_t i = 0; i < noise.size(); ++i) {
                about[i] = m * (0.75 + 0.25 * noise[i]);
                across[i] = m * noise[i];
                sparse[i] = i % 37 == 5 ? m * (0.5 + 0.5 * std::fabs(noise[i])) : 3.0 + noise[i];
            }
            const std::string label = QString::number(m).toStdString();
            expect_blocks(about, n, 1e-12, 0.0, "about " + label);
            expect_blocks(across, n, 1e-12, 0.0, "across " + label);
            expect_blocks(sparse, n, 1e-12, 0.0, "sparse " + label);
        }
    }
}

// Subnormal samples (below 2^-1022) are read as 0 by the squares and the
// deviations: a result moves by less than 1e-300 absolute, and a block of
// subnormal samples only has the kurtosis of a constant block, 0 (not NaN).
// The extremes stay exact.
TEST(InstantStatistics, SubnormalSamples)
{
    const std::size_t n = 100;
    const auto noise = ryx::test::noise(4 * n, 17);
    std::vector<double> mixed(noise.size()), tiny(noise.size());
    for (std::size_t i = 0; i < noise.size(); ++i) {
        tiny[i] = std::ldexp(noise[i], -1030 - static_cast<int>(i % 40));
        mixed[i] = i % 3 == 0 ? tiny[i] : 2.0 + noise[i];
    }
    expect_blocks(mixed, n, 1e-12, 1e-300, "mixed");

    for (const checked& c : checked_sums()) {
        const auto got = block_results(c.m, 1000.0, 0.1, tiny, [] { return std::size_t(30); });
        ASSERT_EQ(got.size(), 4u) << c.m.name;
        for (std::size_t i = 0; i < got.size(); ++i) {
            const reference r = reference_of(&tiny[i * n], &tiny[(i + 1) * n]);
            const double want = std::string(c.m.name) == "kurt" ? 0.0 : c.expected(r);
            EXPECT_LE(std::fabs(got[i] - want), 1e-300) << c.m.name << " block " << i << ": " << got[i];
        }
    }

    const measure extremes[] = {{"max", make<in::max>(), {}}, {"min", make<in::min>(), {}},
                                {"peak_to_peak", make<in::peak_to_peak>(), {}}, {"offset", make<in::offset>(), {}}};
    for (const auto& m : extremes) {
        const auto got = block_results(m, 1000.0, 0.1, tiny, [] { return std::size_t(30); });
        ASSERT_EQ(got.size(), 4u);
        for (std::size_t i = 0; i < got.size(); ++i) {
            const double hi = *std::max_element(&tiny[i * n], &tiny[(i + 1) * n]);
            const double lo = *std::min_element(&tiny[i * n], &tiny[(i + 1) * n]);
            const std::string name = m.name;
            const double want = name == "max"            ? hi
                                : name == "min"          ? lo
                                : name == "peak_to_peak" ? hi - lo
                                                         : (hi + lo) * 0.5;
            EXPECT_EQ(got[i], want) << name << " block " << i;
        }
    }
}

namespace {

std::uint64_t bits_of(double x)
{
    std::uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

double nan_with(std::uint64_t payload)
{
    const std::uint64_t b = 0x7FF8000000000000ull | payload;
    double x;
    std::memcpy(&x, &b, sizeof x);
    return x;
}

// The extremes of a block the plain way: NaN above every number, and of equal
// samples the one written last.
std::pair<double, double> latest_extremes(const double* first, const double* last)
{
    const auto below = [](double a, double b) { return a < b || (std::isnan(b) && !std::isnan(a)); };
    double hi = *first;
    double lo = *first;
    for (const double* p = first; p != last; ++p) {
        if (!below(*p, hi))
            hi = *p;
        if (!below(lo, *p))
            lo = *p;
    }
    return {hi, lo};
}

// Blocks of 100 samples that exercise the rarely taken paths: zeros of both
// signs as extremes, NaNs of different payloads (alone, among numbers, with
// infinities), infinities, subnormal samples and plain noise.
std::vector<double> awkward_blocks()
{
    const std::size_t n = 100;
    const auto noise = ryx::test::noise(12 * n, 29);
    std::vector<double> out(noise);
    const double inf = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = -std::fabs(noise[i]);                            // largest: a zero, of the latest sign
        out[n + i] = std::fabs(noise[n + i]);                     // smallest: a zero
        out[2 * n + i] = nan_with(1 + i % 5);                     // NaNs only
        out[4 * n + i] = i % 2 ? inf : nan_with(7 + i % 3);       // +inf and NaNs
        out[5 * n + i] = i % 3 ? -inf : inf;                      // infinities
        out[6 * n + i] = std::ldexp(noise[6 * n + i], -1060);     // subnormal
        out[7 * n + i] = i < 50 ? 0.0 : -0.0;                     // zeros alone
    }
    for (std::size_t i : {3u, 41u, 42u, 77u, 99u})
        out[n + i] = i % 2 ? -0.0 : 0.0;
    for (std::size_t i : {5u, 16u, 63u, 64u})
        out[i] = i % 2 ? 0.0 : -0.0;
    for (std::size_t i : {0u, 33u, 98u})
        out[3 * n + i] = nan_with(100 + i);                       // NaNs among numbers
    out[8 * n + 99] = nan_with(3);                                // a NaN as the last sample
    out[9 * n] = nan_with(4);                                     // and as the first
    return out;
}

} // namespace

// The block extremes are the block's own samples, to the bit: the sign of a
// zero and the payload of a NaN come from the latest equal sample, however
// the runs split the block (lengths that miss every vector boundary).
TEST(InstantStatistics, ExtremesKeepTheBitsOfTheLatestEqualSample)
{
    const std::size_t n = 100;
    const auto signal = awkward_blocks();
    const measure rows[] = {{"max", make<in::max>(), {}},
                            {"min", make<in::min>(), {}},
                            {"peak_to_peak", make<in::peak_to_peak>(), {}},
                            {"offset", make<in::offset>(), {}}};
    for (const auto& m : rows) {
        for (std::size_t run : {1u, 7u, 13u, 33u, 100u, 257u}) {
            const auto got = block_results(m, 1000.0, 0.1, signal, [run] { return run; });
            ASSERT_EQ(got.size(), signal.size() / n) << m.name;
            for (std::size_t i = 0; i < got.size(); ++i) {
                const auto [hi, lo] = latest_extremes(&signal[i * n], &signal[(i + 1) * n]);
                const std::string name = m.name;
                const double want = name == "max"            ? hi
                                    : name == "min"          ? lo
                                    : name == "peak_to_peak" ? hi - lo
                                                             : (hi + lo) * 0.5;
                EXPECT_EQ(bits_of(got[i]), bits_of(want))
                    << name << " runs of " << run << " block " << i << ": got " << got[i] << ", expected " << want;
            }
        }
    }
}

// The mean's sum does not depend on how the runs split the block, to the bit,
// and stays within rounding of the exact mean.
TEST(InstantStatistics, MeanIsTheSameForEverySplitOfTheBlock)
{
    for (std::size_t n : {10u, 37u, 1000u, 4099u}) {
        const double time = static_cast<double>(n) / 1000.0;
        auto signal = ryx::test::noise(6 * n, 31);
        for (std::size_t i = 0; i < signal.size(); ++i)
            signal[i] = 1e3 * signal[i] + (i % 7 == 3 ? 1e8 : 0.0);
        const measure m{"avg", make<in::avg>(), {}};
        const auto whole = block_results(m, 1000.0, time, signal, [n] { return n; });
        ASSERT_EQ(whole.size(), 6u);
        for (std::size_t i = 0; i < whole.size(); ++i) {
            const reference r = reference_of(&signal[i * n], &signal[(i + 1) * n]);
            EXPECT_NEAR(whole[i], r.mean, 1e-15 * n * r.largest) << "N " << n << " block " << i;
        }
        for (unsigned seed : {1u, 2u}) {
            std::mt19937 gen(seed);
            std::uniform_int_distribution<std::size_t> sizes(1, 40);
            const auto split = block_results(m, 1000.0, time, signal, [&] { return sizes(gen); });
            ASSERT_EQ(split.size(), whole.size());
            for (std::size_t i = 0; i < whole.size(); ++i)
                EXPECT_EQ(bits_of(split[i]), bits_of(whole[i])) << "N " << n << " seed " << seed << " block " << i;
        }
    }
}
