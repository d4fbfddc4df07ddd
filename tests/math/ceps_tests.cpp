#include <QPointer>
#include <QSignalSpy>
#include <cmath>
#include <complex>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <vector>

#include "ryx/math/ceps.h"
#include "ryx/math/fft.h"
#include "support/host.h"

using ryx::math::ceps;
using ryx::math::fft;
using ryx::test::host;

namespace {

constexpr double pi = 3.14159265358979323846;

// numpy.fft.irfft(log(max(|X| / size, tiny)), n=size) by a plain inverse DFT:
// x[q] = (L[0] + 2 sum_{0<k<n/2} L[k] cos(2 pi k q / n) + L[n/2] cos(pi q)) / n,
// the last term only for an even n.
std::vector<double> naive_cepstrum(const fft& engine, std::size_t size)
{
    std::vector<double> logged(size / 2 + 1);
    for (std::size_t k = 0; k < logged.size(); ++k)
        logged[k] = std::log(std::max(std::abs(engine[k]) / double(size), std::numeric_limits<double>::min()));
    std::vector<double> out(size);
    for (std::size_t q = 0; q < size; ++q) {
        double sum = logged[0];
        for (std::size_t k = 1; k < logged.size(); ++k) {
            const double term = logged[k] * std::cos(2 * pi * double(k * q % size) / double(size));
            sum += (size % 2 == 0 && k == size / 2) ? term : 2.0 * term;
        }
        out[q] = sum / double(size);
    }
    return out;
}

TEST(Ceps, TimeIsTheReciprocalOfTheEngineResolution)
{
    host h(10000.0);
    ceps c(h.channel());
    EXPECT_DOUBLE_EQ(c.frequency(), 1000.0);
    EXPECT_DOUBLE_EQ(c.engine()->resolution(), 1.0);
    EXPECT_DOUBLE_EQ(c.time(), 1.0);
    EXPECT_EQ(c.size(), c.engine()->size());
    QSignalSpy time_signal(&c, &ceps::time_changed);
    c.set_time(0.5);
    EXPECT_DOUBLE_EQ(c.engine()->resolution(), 2.0);
    EXPECT_DOUBLE_EQ(c.time(), 0.5);
    c.set_time(0.5);
    c.set_time(0.0);
    c.set_time(-1.0);
    c.set_time(1e-9); // a resolution above the band: the engine refuses it
    EXPECT_DOUBLE_EQ(c.time(), 0.5);
    EXPECT_EQ(time_signal.count(), 1);
    EXPECT_EQ(c.size(), c.engine()->size());
}

// The cepstrum of each frame is the inverse real DFT of the logged, normalised
// magnitudes of the engine's frame, for odd and even line counts.
TEST(Ceps, MatchesTheInverseDftOfTheLoggedSpectrum)
{
    for (const double resolution : {10.0, 12.5}) {
        SCOPED_TRACE(resolution);
        host h(1000.0);
        ceps c(h.channel());
        c.set_frequency(200);
        c.set_time(1.0 / resolution);
        c.set_window(fft::hann);
        std::vector<std::vector<double>> published;
        std::vector<std::vector<double>> expected;
        QObject::connect(&c, &ceps::changed, [&] {
            published.emplace_back(c.begin(), c.end());
            expected.push_back(naive_cepstrum(*c.engine(), c.size()));
        });
        auto x = ryx::test::sine(1000, 1000.0, 60.0, 1.0, 0.2);
        const auto n = ryx::test::noise(1000, 12);
        for (std::size_t i = 0; i < x.size(); ++i)
            x[i] += 0.05 * n[i];
        h.push(h.channel(), x, 77);
        ASSERT_GE(published.size(), 5u);
        for (std::size_t f = 0; f < published.size(); ++f)
            for (std::size_t q = 0; q < published[f].size(); ++q)
                EXPECT_NEAR(published[f][q], expected[f][q], 1e-10) << "frame " << f << " quefrency " << q;
    }
}

// A silent channel has only zero lines: the floor keeps every value finite.
TEST(Ceps, ZeroLinesGiveFiniteValues)
{
    host h(1000.0);
    ceps c(h.channel());
    QSignalSpy changed(&c, &ceps::changed);
    h.push(h.channel(), std::vector<double>(3000, 0.0), 500);
    ASSERT_GT(changed.count(), 0);
    ASSERT_GT(c.size(), 1u);
    for (const double v : c)
        EXPECT_TRUE(std::isfinite(v));
    EXPECT_NEAR(c[0], std::log(std::numeric_limits<double>::min()), 1e-9);
    EXPECT_NEAR(c[1], 0.0, 1e-9);
}

TEST(Ceps, StopAcqFreezesTheResult)
{
    host h(1000.0);
    ceps c(h.channel());
    h.push(h.channel(), ryx::test::noise(2000, 3), 500);
    const std::vector<double> before(c.begin(), c.end());
    c.stop_acq();
    QSignalSpy changed(&c, &ceps::changed);
    h.push(h.channel(), ryx::test::noise(2000, 4), 500);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(std::vector<double>(c.begin(), c.end()), before);
}

TEST(CepsLifetime, SourceDeletedAndDeletionFromItsOwnSignals)
{
    {
        host h(1000.0);
        auto c = std::make_unique<ceps>(h.channel());
        c->setParent(nullptr);
        h.push(h.channel(), ryx::test::noise(1500, 3), 256);
        h.destroy();
        EXPECT_EQ(c->ad(), nullptr);
        c->set_time(0.25);
        c->set_frequency(100);
        c->set_window(fft::hann);
        EXPECT_EQ(c->samples(), 0u);
    }
    for (int which = 0; which < 2; ++which) {
        host h(1000.0);
        QPointer<ceps> c = new ceps(h.channel());
        const auto kill = [&] { delete c.data(); };
        if (which == 0)
            QObject::connect(c.data(), &ceps::changed, kill);
        else
            QObject::connect(c.data(), &ceps::progress, kill);
        h.push(h.channel(), ryx::test::noise(2500, 5), 700);
        EXPECT_TRUE(c.isNull());
    }
}

} // namespace
