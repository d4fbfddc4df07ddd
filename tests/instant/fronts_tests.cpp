// Fronts: the frequency measurement, the last-front tracker and the phase
// difference of two channels.
#include <QJsonArray>
#include <QSignalSpy>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <random>

#include "ryx/math/instant/delta_phase.h"
#include "ryx/math/instant/freq.h"
#include "ryx/math/instant/last_front.h"
#include "support/host.h"

namespace {

namespace in = ryx::math::instant;

// Ten samples at -1, ten at +1, repeated: a front every 20 samples.
std::vector<double> square(std::size_t n, std::size_t half = 10)
{
    std::vector<double> out(n);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = (i / half) % 2 ? 1.0 : -1.0;
    return out;
}

std::vector<double> to_vector(const QJsonArray& a)
{
    std::vector<double> out;
    for (const auto& x : a)
        out.push_back(x.toDouble());
    return out;
}

TEST(InstantFreq, SquareWave)
{
    ryx::test::host h(1000.0);
    in::freq f(h.channel(0), QJsonObject());
    EXPECT_EQ(f.get_name(), QStringLiteral("frequency"));
    EXPECT_EQ(f.get_dc(), std::numeric_limits<double>::infinity());
    h.push(h.channel(0), square(300), 100);
    EXPECT_DOUBLE_EQ(f.get_value(), 50.0);
    EXPECT_EQ(f.get_variance(), 0.0);
    const auto periods = to_vector(f.get_periods());
    ASSERT_EQ(periods.size(), 5u);
    EXPECT_EQ(periods[0], 0.0);
    for (std::size_t i = 1; i < periods.size(); ++i)
        EXPECT_NEAR(periods[i], 0.02, 1e-15);
    EXPECT_EQ(f.property("periods").toJsonArray().size(), 5);
}

TEST(InstantFreq, SineOfKnownFrequency)
{
    ryx::test::host h(1000.0);
    // Phase 0.3 keeps samples off the level; 50 Hz is 20 samples per period.
    const auto signal = ryx::test::sine(2000, 1000.0, 50.0, 2.0, 0.5, 0.3);
    in::freq automatic(h.channel(0), QJsonObject());
    in::freq above(h.channel(0), QJsonObject{{"dc", 4.6}});
    std::vector<double> seen;
    QObject::connect(&automatic, &in::value::changed, [&] { seen.push_back(automatic.get_value()); });
    h.push(h.channel(0), signal, 173);
    ASSERT_EQ(seen.size(), 20u);
    for (double v : seen)
        EXPECT_NEAR(v, 50.0, 1e-9);
    EXPECT_NEAR(automatic.get_variance(), 0.0, 1e-20);
    EXPECT_EQ(above.get_value(), 0.0);
    EXPECT_TRUE(above.get_fronts().isEmpty());
}

TEST(InstantFreq, FixedLevelAndBackToAutomatic)
{
    ryx::test::host h(1000.0);
    in::freq f(h.channel(0), QJsonObject{{"dc", 10.0}});
    const auto signal = ryx::test::sine(100, 1000.0, 50.0, 1.0, 0.0, 0.3);
    h.push(h.channel(0), signal);
    EXPECT_EQ(f.get_value(), 0.0);

    QSignalSpy spy(&f, &in::freq::dc_changed);
    f.set_dc(std::numeric_limits<double>::infinity());
    f.set_dc(std::numeric_limits<double>::infinity());
    EXPECT_EQ(spy.count(), 2); // always emitted
    h.push(h.channel(0), signal);
    EXPECT_DOUBLE_EQ(f.get_value(), 50.0);

    EXPECT_TRUE(f.setProperty("dc", 0.2));
    EXPECT_EQ(f.get_dc(), 0.2);
}

TEST(InstantFreq, FrontTimesAreAbsolute)
{
    ryx::test::host h(1000.0);
    in::freq f(h.channel(0), QJsonObject());
    h.push(h.channel(0), square(1200), 150);
    const auto fronts = to_vector(f.property("fronts").toJsonArray());
    ASSERT_EQ(fronts.size(), 5u);
    EXPECT_NEAR(fronts.front(), 1.11, 1e-12);
    for (std::size_t i = 1; i < fronts.size(); ++i)
        EXPECT_NEAR(fronts[i] - fronts[i - 1], 0.02, 1e-12);

    // Retiming restarts the count.
    f.set_time(0.05);
    h.push(h.channel(0), square(50));
    EXPECT_NEAR(to_vector(f.get_fronts()).front(), 0.01, 1e-12);
}

TEST(InstantFreq, CrossingOntoTheLevelCounts)
{
    ryx::test::host h(1000.0);
    in::freq f(h.channel(0), QJsonObject{{"dc", 0.5}});
    // 0 -> 0.5 reaches the level exactly: a front; 0.5 -> 1 starts at the level: none.
    std::vector<double> signal;
    for (int period = 0; period < 20; ++period)
        for (double x : {0.0, 0.0, 0.0, 0.0, 0.0, 0.5, 1.0, 1.0, 1.0, 1.0})
            signal.push_back(x);
    h.push(h.channel(0), signal, 64);
    EXPECT_DOUBLE_EQ(f.get_value(), 100.0);
}

// A front at the block start is found against the sample written before it,
// also when one run fills the whole block.
TEST(InstantFreq, FrontAtTheBlockStart)
{
    const std::vector<double> first{1, 1, 1, 1, 1, 1, 1, 1, 1, -1};
    const std::vector<double> second{1, 1, 1, 1, 1, -1, 1, 1, 1, 1};
    for (std::size_t run : {10u, 3u}) {
        ryx::test::host h(1000.0);
        in::freq f(h.channel(0), QJsonObject{{"dc", 0.0}, {"time", 0.01}});
        h.push(h.channel(0), first, run);
        h.push(h.channel(0), second, run);
        EXPECT_NEAR(f.get_value(), 1000.0 / 6.0, 1e-9) << "runs of " << run;
        EXPECT_EQ(f.get_fronts().size(), 2) << "runs of " << run;
    }
}

TEST(InstantFreq, TwoFrontsAndNoFronts)
{
    ryx::test::host h(1000.0);
    in::freq f(h.channel(0), QJsonObject());
    // Fronts at 20 and 60 only: one interval, no spread.
    h.push(h.channel(0), square(100, 20));
    EXPECT_DOUBLE_EQ(f.get_value(), 25.0);
    EXPECT_EQ(f.get_variance(), 0.0);
    const auto periods = to_vector(f.get_periods());

    // A constant block: no fronts, value and variance 0, periods as they were.
    h.push(h.channel(0), std::vector<double>(100, 3.0), 30);
    EXPECT_EQ(f.get_value(), 0.0);
    EXPECT_EQ(f.get_variance(), 0.0);
    EXPECT_EQ(to_vector(f.get_periods()), periods);
}

TEST(InstantFreq, VarianceOfUnevenPeriods)
{
    ryx::test::host h(1000.0);
    in::freq f(h.channel(0), QJsonObject{{"dc", 0.0}, {"time", 0.06}});
    // Fronts at 5, 15, 30, 50: intervals of 10, 15 and 20 samples.
    std::vector<double> block(60, -1.0);
    for (int i : {5, 15, 30, 50})
        block[static_cast<std::size_t>(i)] = 1.0;
    h.push(h.channel(0), block);
    EXPECT_NEAR(f.get_value(), 1.0 / 0.015, 1e-9);
    EXPECT_NEAR(f.get_variance(), 0.005 * 0.005, 1e-15);
    const auto periods = to_vector(f.get_periods());
    ASSERT_EQ(periods.size(), 4u);
    EXPECT_NEAR(periods[3], 0.02, 1e-15);

    // A constant level replaces the block bit by bit (one front, at 60, where
    // it starts): the periods stay those of the last two fronts, 50 and 60.
    h.push(h.channel(0), std::vector<double>(140, 3.0), 7);
    EXPECT_EQ(f.get_value(), 0.0);
    EXPECT_EQ(f.get_variance(), 0.0);
    const auto kept = to_vector(f.get_periods());
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0], 0.0);
    EXPECT_NEAR(kept[1], 0.01, 1e-15);
}

// Against a direct count of the crossings of a fixed level in each block:
// value, variance and periods after every block, for runs of random sizes.
TEST(InstantFreq, MatchesADirectCount)
{
    const double rate = 1000.0;
    const std::size_t n = 250;
    auto signal = ryx::test::noise(20 * n, 9);
    const auto wave = ryx::test::sine(signal.size(), rate, 23.0, 1.0);
    for (std::size_t i = 0; i < signal.size(); ++i)
        signal[i] = wave[i] + 0.4 * signal[i];
    const double level = 0.2;

    ryx::test::host h(rate);
    in::freq f(h.channel(0), QJsonObject{{"dc", level}, {"time", static_cast<double>(n) / rate}});
    std::size_t blocks = 0;
    QObject::connect(&f, &in::value::changed, [&] {
        const std::size_t end = ++blocks * n;
        std::vector<double> fronts;
        for (std::size_t i = end - n; i < end; ++i) {
            const double prev = i ? signal[i - 1] : 0.0;
            if (prev < level && level <= signal[i])
                fronts.push_back(static_cast<double>(i));
        }
        ASSERT_GE(fronts.size(), 3u);
        std::vector<double> intervals;
        for (std::size_t k = 1; k < fronts.size(); ++k)
            intervals.push_back((fronts[k] - fronts[k - 1]) / rate);
        double mean = 0.0;
        for (double d : intervals)
            mean += d;
        mean /= static_cast<double>(intervals.size());
        double var = 0.0;
        for (double d : intervals)
            var += (d - mean) * (d - mean);
        var /= static_cast<double>(intervals.size() - 1);

        EXPECT_NEAR(f.get_value(), 1.0 / mean, 1e-9) << "block " << blocks;
        EXPECT_NEAR(f.get_variance(), var, 1e-15) << "block " << blocks;
        const auto times = to_vector(f.get_fronts());
        ASSERT_EQ(times.size(), fronts.size()) << "block " << blocks;
        EXPECT_NEAR(times.front(), fronts.front() / rate, 1e-12);
        const auto periods = to_vector(f.get_periods());
        ASSERT_EQ(periods.size(), fronts.size());
        for (std::size_t k = 1; k < periods.size(); ++k)
            EXPECT_NEAR(periods[k], intervals[k - 1], 1e-15) << "block " << blocks << " period " << k;
    });
    std::mt19937 gen(4);
    std::uniform_int_distribution<std::size_t> sizes(1, 3 * n);
    h.push(h.channel(0), signal, [&] { return sizes(gen); });
    EXPECT_EQ(blocks, 20u);
}

// The automatic level is the midpoint of the full block, whichever runs fill
// it: per block the fronts of a direct count, and the same value and variance
// for runs of 1, 7, 64, 1000 and random lengths.
TEST(InstantFreq, AutomaticLevelDoesNotDependOnRunSizes)
{
    const double rate = 1000.0;
    const std::size_t n = 250, blocks = 24;
    const auto clean = ryx::test::sine(blocks * n, rate, 37.3, 1.0, 0.0, 0.2);
    const auto offset = ryx::test::sine(blocks * n, rate, 50.0, 2.0, 0.5, 0.3); // 20 samples a period
    auto noisy = ryx::test::noise(blocks * n, 5);
    auto steps = clean;
    for (std::size_t i = 0; i < clean.size(); ++i) {
        noisy[i] = clean[i] + 0.3 * noisy[i];
        steps[i] *= (i / 333) % 2 ? 3.0 : 0.4;
    }
    const struct {
        const char* name;
        const std::vector<double>& x;
    } cases[] = {{"clean", clean}, {"offset", offset}, {"noisy", noisy}, {"steps", steps}};
    for (const auto& [name, x] : cases) {
        std::vector<std::vector<double>> reference; // per block: value, variance, front times
        for (std::size_t run : std::vector<std::size_t>{n, 1, 7, 64, 1000, 0}) { // 0: random lengths
            ryx::test::host h(rate);
            in::freq f(h.channel(0), QJsonObject{{"time", static_cast<double>(n) / rate}});
            std::vector<std::vector<double>> seen;
            QObject::connect(&f, &in::value::changed, [&] {
                seen.push_back({f.get_value(), f.get_variance()});
                for (double t : to_vector(f.get_fronts()))
                    seen.back().push_back(t);
            });
            std::mt19937 gen(17);
            std::uniform_int_distribution<std::size_t> sizes(1, 3 * n);
            h.push(h.channel(0), x, [&] { return run ? run : sizes(gen); });
            if (reference.empty())
                reference = seen;
            ASSERT_EQ(seen.size(), reference.size()) << name << ", runs of " << run;
            for (std::size_t b = 0; b < seen.size(); ++b)
                EXPECT_EQ(seen[b], reference[b]) << name << ", runs of " << run << ", block " << b;
        }
        ASSERT_EQ(reference.size(), blocks) << name;
        for (std::size_t b = 0; b < blocks; ++b) {
            const auto first = x.begin() + static_cast<std::ptrdiff_t>(b * n);
            const auto [lo, hi] = std::minmax_element(first, first + static_cast<std::ptrdiff_t>(n));
            const double level = (*lo + *hi) * 0.5;
            std::vector<long> fronts, got;
            for (std::size_t i = b * n; i < (b + 1) * n; ++i)
                if ((i ? x[i - 1] : 0.0) < level && level <= x[i])
                    fronts.push_back(static_cast<long>(i));
            for (auto t = reference[b].begin() + 2; t != reference[b].end(); ++t)
                got.push_back(std::lround(*t * rate));
            EXPECT_EQ(got, fronts) << name << " block " << b;
            EXPECT_TRUE(&x != &offset || std::fabs(reference[b][0] - 50.0) < 1e-9) << reference[b][0];
        }
    }
}

// Until a block is full its automatic level is unknown: the last full block's
// results stay. A level switched within a block leaves no front behind that
// the next block could meet.
TEST(InstantFreq, AutomaticLevelBetweenBlockEnds)
{
    ryx::test::host h(1000.0);
    in::freq f(h.channel(0), QJsonObject());
    const auto at50 = square(100), at100 = square(100, 5);
    auto push = [&](const std::vector<double>& x, std::size_t from, std::size_t to) {
        h.push(h.channel(0), std::vector<double>(x.begin() + static_cast<std::ptrdiff_t>(from),
                                                 x.begin() + static_cast<std::ptrdiff_t>(to)), 7);
    };
    push(at50, 0, 100);
    const auto fronts = f.get_fronts();
    push(at100, 0, 50);
    EXPECT_DOUBLE_EQ(f.get_value(), 50.0);
    EXPECT_EQ(f.get_fronts(), fronts);
    push(at100, 50, 100);
    EXPECT_DOUBLE_EQ(f.get_value(), 100.0);

    push(at50, 0, 30);
    f.set_dc(0.0);
    push(at50, 30, 100);
    push(at50, 0, 100);
    EXPECT_DOUBLE_EQ(f.get_value(), 50.0);
    ASSERT_EQ(f.get_fronts().size(), 5); // those of this block only
    EXPECT_NEAR(to_vector(f.get_fronts()).front(), 0.31, 1e-12);

    push(at100, 0, 40);
    f.set_dc(std::numeric_limits<double>::infinity());
    push(at100, 40, 100);
    EXPECT_DOUBLE_EQ(f.get_value(), 100.0);
    EXPECT_EQ(f.get_fronts().size(), 10);
    EXPECT_NEAR(to_vector(f.get_fronts()).front(), 0.405, 1e-12);
}

// Blocks longer than the search's segments, with as many fronts as a block
// can hold (every other sample) and with dense noise fronts, fed in runs of
// odd lengths: per block the fronts of a direct count, for a fixed and for the
// automatic level. A block holding a NaN has no automatic level and no fronts.
TEST(InstantFreq, DenseFrontsInLongBlocksMatchADirectCount)
{
    const double rate = 10000.0;
    const std::size_t n = 10007, blocks = 4;
    auto x = ryx::test::noise(blocks * n, 21);
    for (std::size_t i = 0; i < n; ++i)
        x[n + i] = i % 2 ? 0.9 : -0.7; // a front every other sample
    x[3 * n + 5000] = std::nan("");
    for (const double dc : {0.1, std::numeric_limits<double>::infinity()}) {
        for (std::size_t run : {1u, 61u, 4099u, 20000u}) {
            ryx::test::host h(rate);
            in::freq f(h.channel(0), QJsonObject{{"dc", dc}, {"time", static_cast<double>(n) / rate}});
            std::size_t b = 0;
            QObject::connect(&f, &in::value::changed, [&] {
                const auto first = x.begin() + static_cast<std::ptrdiff_t>(b * n);
                const auto [lo, hi] = std::minmax_element(first, first + static_cast<std::ptrdiff_t>(n));
                const double level = std::isinf(dc) ? (b == 3 ? std::nan("") : (*lo + *hi) * 0.5) : dc;
                std::vector<long> fronts, got;
                for (std::size_t i = b * n; i < (b + 1) * n; ++i)
                    if ((i ? x[i - 1] : 0.0) < level && level <= x[i])
                        fronts.push_back(static_cast<long>(i));
                for (double t : to_vector(f.get_fronts()))
                    got.push_back(std::lround(t * rate));
                EXPECT_EQ(got, fronts) << "dc " << dc << ", runs of " << run << ", block " << b;
                if (b == 1) {
                    EXPECT_EQ(fronts.size(), n / 2);
                }
                ++b;
            });
            h.push(h.channel(0), x, run);
            EXPECT_EQ(b, blocks);
        }
    }
}

TEST(InstantLastFront, SearchesBackwardsFromTheEnd)
{
    ryx::test::host h(1000.0);
    in::last_front lf(h.channel(0), QJsonObject{{"time", 0.01}});
    EXPECT_EQ(lf.front_position(), -1);
    EXPECT_EQ(lf.tracking_frequency(), 100.0);
    h.push(h.channel(0), {-1.0, -1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0});
    EXPECT_EQ(lf.front_position(), 8);
    h.push(h.channel(0), {1.0, -2.0, 0.0, 1.0, 1.0, 1.0, -1.0, -1.0, 1.0, 1.0});
    EXPECT_EQ(lf.front_position(), 2);
    // No crossing: the last position stays.
    h.push(h.channel(0), std::vector<double>(10, 1.0));
    EXPECT_EQ(lf.front_position(), 2);
    // A run longer than the history: its last samples count.
    std::vector<double> run(35, 1.0);
    run[29] = -1.0;
    h.push(h.channel(0), run);
    EXPECT_EQ(lf.front_position(), 5);
}

// Two channels at one frequency, the second shifted by a quarter period. The
// frequency first settles at 45 Hz, then steps to 50 Hz (20 samples a period).
struct phase_case {
    const char* name;
    double shift; // radians added to the second channel
    double expected;
};

class InstantDeltaPhase : public ::testing::TestWithParam<phase_case>
{
};

void feed(ryx::test::host& h, double f, double shift, std::size_t seconds)
{
    const std::size_t n = seconds * 1000;
    const auto a = ryx::test::sine(n, 1000.0, f, 1.0, 0.0, 0.3);
    const auto b = ryx::test::sine(n, 1000.0, f, 1.0, 0.0, 0.3 + shift);
    for (std::size_t at = 0; at < n; at += 200) {
        h.push(h.channel(0), std::vector<double>(a.begin() + static_cast<std::ptrdiff_t>(at),
                                                 a.begin() + static_cast<std::ptrdiff_t>(at + 200)));
        h.push(h.channel(1), std::vector<double>(b.begin() + static_cast<std::ptrdiff_t>(at),
                                                 b.begin() + static_cast<std::ptrdiff_t>(at + 200)));
    }
}

TEST_P(InstantDeltaPhase, PhaseOfTheSecondChannel)
{
    const auto c = GetParam();
    ryx::test::host h(1000.0, 2);
    in::delta_phase dp(h.channel(0), h.channel(1), QJsonObject());
    feed(h, 45.0, c.shift, 2);
    // Re-tuned to the first channel's frequency: 1.1 periods of history.
    EXPECT_GT(dp.tracking_frequency(), 43.0);
    EXPECT_LT(dp.tracking_frequency(), 47.0);
    EXPECT_NEAR(dp.get_time(), 1.1 / dp.tracking_frequency(), 1e-12);

    feed(h, 50.0, c.shift, 2);
    ASSERT_EQ(dp.get_values().size(), 1) << c.name;
    EXPECT_NEAR(dp.get_value(), c.expected, 1e-9) << c.name;
    EXPECT_GE(dp.get_value(), 0.0);
    EXPECT_LT(dp.get_value(), 360.0);

    // set_time retimes the frequency measurement only.
    const double before = dp.get_time();
    dp.set_time(0.5);
    EXPECT_EQ(dp.get_time(), before);
}

INSTANTIATE_TEST_SUITE_P(Shifts, InstantDeltaPhase,
                         ::testing::Values(phase_case{"second lags 90", -M_PI / 2.0, 270.0},
                                           phase_case{"second leads 90", M_PI / 2.0, 90.0},
                                           phase_case{"in phase", 0.0, 0.0},
                                           phase_case{"second lags 36", -M_PI / 5.0, 324.0}),
                         [](const auto& row) {
                             std::string s = row.param.name;
                             for (auto& ch : s)
                                 if (ch == ' ')
                                     ch = '_';
                             return s;
                         });

TEST(InstantDeltaPhaseEdges, NoPhaseWithoutFronts)
{
    ryx::test::host h(1000.0, 2);
    in::delta_phase dp(h.channel(0), h.channel(1), QJsonObject());
    const auto a = ryx::test::sine(4000, 1000.0, 45.0, 1.0, 0.0, 0.3);
    const auto b = ryx::test::sine(4000, 1000.0, 50.0, 1.0, 0.0, 0.3);
    for (std::size_t at = 0; at < 4000; at += 200) {
        const auto& src = at < 2000 ? a : b;
        h.push(h.channel(0), std::vector<double>(src.begin() + static_cast<std::ptrdiff_t>(at),
                                                 src.begin() + static_cast<std::ptrdiff_t>(at + 200)));
        h.push(h.channel(1), std::vector<double>(200, 0.5)); // never crosses zero
    }
    EXPECT_TRUE(dp.get_values().isEmpty());
    EXPECT_EQ(dp.get_value(), 0.0);
    EXPECT_EQ(dp.front_position(), -1);
}

TEST(InstantDeltaPhaseEdges, FirstChannelDeleted)
{
    ryx::test::host h(1000.0, 3);
    auto* first = h.channel(2);
    in::delta_phase dp(first, h.channel(1), QJsonObject());
    feed(h, 45.0, 0.0, 1); // channel 0 carries the first signal, unseen by dp
    delete first;
    h.push(h.channel(1), ryx::test::sine(1000, 1000.0, 50.0, 1.0, 0.0, 0.3), 100);
    EXPECT_TRUE(dp.get_values().isEmpty());
    EXPECT_FALSE(h.dev().is_locked());

    h.destroy();
    EXPECT_EQ(dp.get_dt(), 0.0);
}

} // namespace
