#include <QFile>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTextStream>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ryx/core/device.h"
#include "ryx/math/fftw/afc.h"
#include "ryx/math/fftw/ausp.h"
#include "ryx/math/fftw/coh.h"
#include "ryx/math/fftw/corr.h"
#include "ryx/math/fftw/cross.h"
#include "ryx/math/fftw/pfc.h"
#include "ryx/math/fftw/phase.h"
#include "settings.h"
#include "support/host.h"

using namespace ryx::math::fftw;
using ryx::test::host;
using ryx::test::undecimated;

namespace {

constexpr double pi = 3.14159265358979323846;

// Feeds the two channels alternately, a run of one then a run of the other,
// the runs of each of its own length; channel 1 first when asked.
void feed(host& h, const std::vector<double>& x0, const std::vector<double>& x1, std::size_t run0, std::size_t run1,
          bool one_first = false)
{
    std::size_t a = 0, b = 0;
    const auto push0 = [&] {
        if (a < x0.size()) {
            const std::size_t n = std::min(run0, x0.size() - a);
            h.push(h.channel(0), std::vector<double>(x0.begin() + static_cast<long>(a), x0.begin() + static_cast<long>(a + n)));
            a += n;
        }
    };
    const auto push1 = [&] {
        if (b < x1.size()) {
            const std::size_t n = std::min(run1, x1.size() - b);
            h.push(h.channel(1), std::vector<double>(x1.begin() + static_cast<long>(b), x1.begin() + static_cast<long>(b + n)));
            b += n;
        }
    };
    while (a < x0.size() || b < x1.size()) {
        if (one_first) {
            push1();
            push0();
        } else {
            push0();
            push1();
        }
    }
}

// tests/data/dbl_coh_corr_seed5.txt, written by tests/tools/dbl_golden.py.
struct golden_data
{
    std::map<std::string, std::vector<double>> coh, corr;
    std::vector<std::vector<double>> lags;
    double coh_rate = 0, corr_rate = 0;
    int coh_lines = 0, coh_frames = 0, corr_m = 0;
};

const golden_data& golden()
{
    static const golden_data g = [] {
        golden_data out;
        QFile file(QStringLiteral(RYX_TEST_DATA_DIR "/dbl_coh_corr_seed5.txt"));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return out;
        QTextStream in(&file);
        std::map<std::string, std::vector<double>>* section = nullptr;
        while (!in.atEnd()) {
            const QStringList f = in.readLine().split(QLatin1Char(' '), Qt::SkipEmptyParts);
            if (f.isEmpty())
                continue;
            if (f[0] == QLatin1String("coh")) {
                section = &out.coh;
                out.coh_rate = f[1].toDouble();
                out.coh_lines = f[2].toInt();
                out.coh_frames = f[3].toInt();
                continue;
            }
            if (f[0] == QLatin1String("corr")) {
                section = &out.corr;
                out.corr_rate = f[1].toDouble();
                out.corr_m = f[2].toInt();
                continue;
            }
            std::vector<double> v;
            for (int i = 1; i < f.size(); ++i)
                v.push_back(f[i].toDouble());
            if (f[0] == QLatin1String("lags"))
                out.lags.push_back(v);
            else if (section)
                (*section)[f[0].toStdString()] = v;
        }
        return out;
    }();
    return g;
}

// The samples of every frame an analyser computes, as it held them.
struct frame_log
{
    explicit frame_log(sngl* a)
    {
        QObject::connect(a, &sngl::changed, a, [this, a] {
            if (a->frame_count() == 0 || a->frame_count() == frames.size())
                return;
            frames.emplace_back();
            for (const QJsonValue& v : a->property("input_data").toJsonArray())
                frames.back().push_back(v.toDouble());
        });
    }
    std::vector<std::vector<double>> frames;
};

// The magnitude-squared coherence of frame pairs, each of n points (samples,
// then zeros), rectangular window: |sum X0 conj X1|^2 / (sum |X0|^2 sum |X1|^2)
// with the DFTs computed directly in long double.
std::vector<double> msc_oracle(const std::vector<std::vector<double>>& f0, const std::vector<std::vector<double>>& f1,
                               std::size_t n)
{
    const std::size_t lines = n / 2 + 1;
    std::vector<std::complex<long double>> s(lines);
    std::vector<long double> p0(lines), p1(lines);
    for (std::size_t f = 0; f < f0.size(); ++f) {
        for (std::size_t k = 0; k < lines; ++k) {
            std::complex<long double> x0 = 0, x1 = 0;
            for (std::size_t j = 0; j < n; ++j) {
                const std::complex<long double> e =
                    std::polar(1.0L, -2.0L * static_cast<long double>(pi) * static_cast<long double>(k * j % n) /
                                         static_cast<long double>(n));
                if (j < f0[f].size())
                    x0 += static_cast<long double>(f0[f][j]) * e;
                if (j < f1[f].size())
                    x1 += static_cast<long double>(f1[f][j]) * e;
            }
            s[k] += x0 * std::conj(x1);
            p0[k] += std::norm(x0);
            p1[k] += std::norm(x1);
        }
    }
    std::vector<double> out(lines);
    for (std::size_t k = 0; k < lines; ++k)
        out[k] = static_cast<double>(std::norm(s[k]) / (p0[k] * p1[k]));
    return out;
}

// N / (beta G) sum_n a[n + m] b[n] for m = 0 .. lags-1, the frames zero-padded
// to N points; rectangular window (beta 1).
std::vector<double> correlation_oracle(const std::vector<double>& a, const std::vector<double>& b, std::size_t lags,
                                       std::size_t n)
{
    std::vector<double> out(lags);
    const long double g = static_cast<long double>(n / 2 + 1);
    for (std::size_t m = 0; m < lags; ++m) {
        long double sum = 0;
        for (std::size_t i = 0; i + m < a.size() && i < b.size(); ++i)
            sum += static_cast<long double>(a[i + m]) * b[i];
        out[m] = static_cast<double>(static_cast<long double>(n) / g * sum);
    }
    return out;
}

std::vector<std::vector<double>> split(const std::vector<double>& x, std::size_t frame)
{
    std::vector<std::vector<double>> out;
    for (std::size_t i = 0; i + frame <= x.size(); i += frame)
        out.emplace_back(x.begin() + static_cast<long>(i), x.begin() + static_cast<long>(i + frame));
    return out;
}

double largest(const std::vector<double>& v)
{
    double m = 0.0;
    for (double x : v)
        m = std::max(m, std::fabs(x));
    return m;
}

} // namespace

// The oracles above agree with SciPy's coherence and NumPy's correlate on the
// golden data's own samples.
TEST(DualChannelOracles, AgreeWithScipyAndNumpy)
{
    const golden_data& g = golden();
    ASSERT_FALSE(g.coh.empty());
    const std::size_t n = 2 * static_cast<std::size_t>(g.coh_lines);
    const std::vector<double> msc = msc_oracle(split(g.coh.at("x0"), n), split(g.coh.at("x1"), n), n);
    ASSERT_EQ(msc.size(), g.coh.at("msc").size());
    for (std::size_t k = 0; k < msc.size(); ++k)
        EXPECT_NEAR(msc[k], g.coh.at("msc")[k], 1e-12);
    const std::size_t m = static_cast<std::size_t>(g.corr_m);
    const auto f0 = split(g.corr.at("x0"), 3 * m - 1);
    const auto f1 = split(g.corr.at("x1"), 3 * m - 1);
    ASSERT_EQ(f0.size(), g.lags.size());
    for (std::size_t f = 0; f < f0.size(); ++f) {
        const std::vector<double> y = correlation_oracle(f0[f], f1[f], m, 4 * m - 2);
        for (std::size_t j = 0; j < m; ++j)
            EXPECT_NEAR(y[j], g.lags[f][j], 1e-12 * largest(g.lags[f]));
    }
}

// Pairing and the base's operations ----------------------------------------------------

TEST(DualChannelAnalyser, OneUpdatePerFramePairAndForwardedSettings)
{
    const double rate = 1000.0;
    host h(rate, 2);
    coh c(h.channel(0), h.channel(1), undecimated(rate, 16));
    ASSERT_NE(c.fft0(), nullptr);
    ASSERT_NE(c.fft1(), nullptr);
    EXPECT_EQ(c.device(), &h.dev());
    EXPECT_EQ(c.average(), 1); // "average" absent
    EXPECT_EQ(c.samples(), 16u);
    EXPECT_EQ(c.source_0(), h.channel(0));
    EXPECT_EQ(c.source_1(), h.channel(1));
    EXPECT_EQ(c.property("fft0").value<QObject*>(), c.fft0());

    QSignalSpy changed(&c, &dbl::changed);
    QSignalSpy finished(&c, &dbl::finished);
    h.push(h.channel(0), ryx::test::noise(32, 1));
    EXPECT_EQ(changed.count(), 0); // frame 1 of channel 0 waits for its partner
    h.push(h.channel(1), ryx::test::noise(32, 2));
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(c.changed_count(), 2u);
    EXPECT_EQ(c.size(), 17u);

    // "avg" reaches both analysers and the averaging of the pairs.
    EXPECT_TRUE(c.set_parameter("avg", 4));
    EXPECT_EQ(c.fft0()->average(), 4u);
    EXPECT_EQ(c.fft1()->average(), 4u);
    EXPECT_EQ(c.average(), 4);
    // A key that analyser 0 does not take reaches only it.
    EXPECT_FALSE(c.set_parameter("no such key", 3));
    EXPECT_EQ(c.config(), c.fft0()->config());
    EXPECT_EQ(c.parameter_keys(), c.fft0()->parameter_keys());
    // A reconfiguration that resets the analysers publishes their state once.
    changed.clear();
    EXPECT_TRUE(c.set_parameter("samples", 8));
    EXPECT_EQ(c.fft1()->samples(), 8u);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(QJsonArray(c.data()).size(), 9);
    for (const QJsonValue& v : c.data())
        EXPECT_EQ(v.toDouble(), 0.0);
}

TEST(DualChannelAnalyser, FramesOfTheSameMomentArePairedWhateverTheRuns)
{
    // Frames of 23 samples against runs shorter and longer, either channel first:
    // pair k is always frame k of each analyser, its correlation the direct sum.
    const golden_data& g = golden();
    const std::vector<double>& x0 = g.corr.at("x0");
    const std::vector<double>& x1 = g.corr.at("x1");
    const std::pair<std::size_t, std::size_t> runs[] = {{5, 5}, {1000, 1000}, {7, 60}, {1000, 3}};
    for (const auto& [run0, run1] : runs) {
        for (const bool one_first : {false, true}) {
            host h(g.corr_rate, 2);
            corr c(h.channel(0), h.channel(1), QJsonObject{{"time", 0.01}});
            ASSERT_EQ(c.lags(), g.corr_m);
            std::vector<std::vector<double>> results;
            QObject::connect(&c, &dbl::changed, &c, [&] { results.emplace_back(c.begin(), c.end()); });
            frame_log log0(c.fft0()), log1(c.fft1());
            feed(h, x0, x1, run0, run1, one_first);
            ASSERT_EQ(results.size(), 4u) << run0 << "/" << run1;
            ASSERT_EQ(log0.frames.size(), 4u);
            ASSERT_EQ(log1.frames.size(), 4u);
            for (std::size_t f = 0; f < results.size(); ++f) {
                const std::vector<double> want = correlation_oracle(log0.frames[f], log1.frames[f], 8, 30);
                ASSERT_EQ(results[f].size(), want.size());
                for (std::size_t m = 0; m < want.size(); ++m)
                    EXPECT_NEAR(results[f][m], want[m], 1e-12 * largest(want)) << "pair " << f << " lag " << m;
            }
            // Channel 0 lags channel 1 by 3 samples.
            EXPECT_EQ(std::max_element(results.back().begin(), results.back().end()) - results.back().begin(), 3);
        }
    }
}

TEST(DualChannelAnalyser, AQueueOfFramesAwaitingPartnersIsBounded)
{
    const double rate = 1000.0;
    host h(rate, 2);
    cross c(h.channel(0), h.channel(1), undecimated(rate, 4)); // frames of 8 samples
    QSignalSpy changed(&c, &dbl::changed);
    const std::size_t frames = dbl::max_pending + 88;
    h.push(h.channel(0), ryx::test::noise(8 * frames, 1), 1024);
    EXPECT_EQ(changed.count(), 0);
    // Frames 1 .. 88 of channel 0 were dropped: their partners find none, the rest pair.
    h.push(h.channel(1), ryx::test::noise(8 * frames, 2), 1000);
    EXPECT_EQ(changed.count(), static_cast<int>(dbl::max_pending));
    // In step again: every frame of channel 1 pairs with the next of channel 0.
    h.push(h.channel(1), ryx::test::noise(8, 3));
    h.push(h.channel(0), ryx::test::noise(8, 4));
    EXPECT_EQ(changed.count(), static_cast<int>(dbl::max_pending) + 1);
}

TEST(DualChannelAnalyser, RestartsAndSingleAnalyserResetsStartThePairingAfresh)
{
    const double rate = 1000.0;
    host h(rate, 2);
    cross c(h.channel(0), h.channel(1), undecimated(rate, 4, {{"average", 2}}));
    QSignalSpy changed(&c, &dbl::changed);
    h.push(h.channel(0), ryx::test::noise(24, 1)); // three frames wait
    c.start();
    h.push(h.channel(1), ryx::test::noise(8, 2));
    EXPECT_EQ(changed.count(), 0);
    h.push(h.channel(0), ryx::test::noise(8, 3));
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(c.pairs(), 1u); // the history restarted with the analysers
    // Analyser 1 alone restarted: its next frame pairs with analyser 0's next.
    h.push(h.channel(0), ryx::test::noise(16, 4));
    c.fft1()->start();
    h.push(h.channel(1), ryx::test::noise(8, 5));
    EXPECT_EQ(changed.count(), 1);
    h.push(h.channel(0), ryx::test::noise(8, 6));
    EXPECT_EQ(changed.count(), 2);
}

TEST(DualChannelAnalyser, MissingAnalysersAreSkipped)
{
    const double rate = 1000.0;
    ryx::device other("other device");
    ryx::analog_data* foreign = other.add_channel("foreign", rate);
    host h(rate, 2);
    // Sources on two devices: no analysers, an empty result, every call safe.
    for (dbl* d : std::initializer_list<dbl*>{new coh(h.channel(0), foreign, {}), new cross(h.channel(0), foreign, {}),
                                              new afc(h.channel(0), foreign, {}), new pfc(h.channel(0), foreign, {}),
                                              new corr(h.channel(0), foreign, QJsonObject{{"time", 0.01}})}) {
        EXPECT_EQ(d->fft0(), nullptr);
        EXPECT_EQ(d->fft1(), nullptr);
        EXPECT_EQ(d->samples(), 0u);
        EXPECT_TRUE(d->data().isEmpty());
        EXPECT_EQ(d->source_0(), nullptr);
        EXPECT_EQ(d->progress(), 0.0);
        EXPECT_FALSE(d->set_parameter("avg", 3));
        d->init(QJsonObject{{"samples", 8}});
        d->init();
        d->start();
        d->start(0.5);
        d->stop();
        EXPECT_TRUE(d->parameter_keys().isEmpty());
        h.push(h.channel(0), ryx::test::noise(3000));
        delete d;
    }
    // No analyser was left behind on the channels.
    EXPECT_TRUE(h.channel(0)->findChildren<sngl*>().isEmpty());

    // An analyser deleted: both are forgotten.
    coh c(h.channel(0), h.channel(1), undecimated(rate, 8));
    delete c.fft0();
    EXPECT_EQ(c.fft0(), nullptr);
    EXPECT_EQ(c.fft1(), nullptr);
    EXPECT_EQ(c.samples(), 0u);
    EXPECT_FALSE(c.set_parameter("avg", 3));
    c.start();
    h.push(h.channel(1), ryx::test::noise(100));

    // The device deleted: the analysers go with their channels.
    coh d(h.channel(0), h.channel(1), undecimated(rate, 8));
    h.destroy();
    EXPECT_EQ(d.fft0(), nullptr);
    EXPECT_EQ(d.device(), nullptr);
    d.start();
    d.stop();
}

TEST(DualChannelAnalyser, NewSourcesAndTheirDevices)
{
    const double rate = 1000.0;
    host h(rate, 2);
    const QJsonObject settings = undecimated(rate, 8);
    cross c(h.channel(0), h.channel(1), settings);
    QSignalSpy changed(&c, &dbl::changed);
    // Sources swapped: the pairs follow.
    c.set_source_0(h.channel(1), settings);
    c.set_source_1(h.channel(0), settings);
    EXPECT_EQ(c.source_0(), h.channel(1));
    EXPECT_EQ(c.source_1(), h.channel(0));
    changed.clear();
    feed(h, ryx::test::noise(32, 1), ryx::test::noise(32, 2), 32, 32);
    EXPECT_EQ(changed.count(), 2);

    // No source: nothing arrives, nothing breaks.
    c.set_source_0(nullptr, settings);
    EXPECT_EQ(c.source_0(), nullptr);
    EXPECT_EQ(c.source_1(), nullptr);
    EXPECT_EQ(c.device(), nullptr);
    changed.clear();
    feed(h, ryx::test::noise(32, 1), ryx::test::noise(32, 2), 32, 32);
    EXPECT_EQ(changed.count(), 0);

    // A channel of another device, which then goes: the analysers lose their
    // filter channels and the object forgets the device.
    auto other = std::make_unique<ryx::device>("other");
    ryx::analog_data* foreign = other->add_channel("foreign", rate);
    c.set_source_1(foreign, settings);
    EXPECT_EQ(c.device(), other.get());
    EXPECT_EQ(c.source_0(), foreign);
    other.reset();
    EXPECT_EQ(c.device(), nullptr);
    EXPECT_EQ(c.source_0(), nullptr);
    c.set_parameter("avg", 2);
    c.start();

    // Back on the first device.
    c.set_source_0(h.channel(0), settings);
    c.set_source_1(h.channel(1), settings);
    changed.clear();
    feed(h, ryx::test::noise(16, 1), ryx::test::noise(16, 2), 16, 16);
    EXPECT_EQ(changed.count(), 1);
}

TEST(DualChannelAnalyser, AListenerMayDeleteTheAnalyserOrItsSources)
{
    const double rate = 1000.0;
    {
        host h(rate, 2);
        auto* c = new coh(h.channel(0), h.channel(1), undecimated(rate, 8));
        int calls = 0;
        QObject::connect(c, &dbl::changed, c, [&] {
            ++calls;
            delete c;
        });
        h.push(h.channel(0), ryx::test::noise(64, 1));
        h.push(h.channel(1), ryx::test::noise(64, 2)); // four pairs complete in one run
        EXPECT_EQ(calls, 1);
    }
    {
        host h(rate, 2);
        corr c(h.channel(0), h.channel(1), QJsonObject{{"time", 0.01}});
        QObject::connect(&c, &dbl::changed, &c, [&] { h.destroy(); });
        h.push(h.channel(0), ryx::test::noise(100, 1));
        h.push(h.channel(1), ryx::test::noise(100, 2));
        EXPECT_EQ(c.fft0(), nullptr);
    }
}

TEST(DualChannelAnalyser, SourcesAtDifferentRatesUseTheShorterSpectrum)
{
    host h(48000.0, 2);
    h.channel(1)->set_rate(51200.0);
    const QJsonObject settings{{"frequency", 2000.0}, {"resolution", 10.0}, {"average", 3}};
    coh c(h.channel(0), h.channel(1), settings);
    cross x(h.channel(0), h.channel(1), settings);
    corr r(h.channel(0), h.channel(1), QJsonObject{{"time", 0.002}});
    afc a(h.channel(0), h.channel(1), settings);
    ASSERT_NE(c.fft0()->samples(), c.fft1()->samples());
    feed(h, ryx::test::noise(48000, 1), ryx::test::noise(51200, 2), 1024, 1024);
    const std::size_t shorter = std::min(c.fft0()->size(), c.fft1()->size());
    EXPECT_EQ(c.size(), shorter);
    EXPECT_EQ(x.size(), shorter);
    EXPECT_EQ(a.size(), shorter);
    for (const dbl* d : std::initializer_list<const dbl*>{&c, &x, &r, &a})
        for (double v : *d)
            EXPECT_TRUE(std::isfinite(v));
}

// Relation functions ---------------------------------------------------------------

TEST(Coherence, EqualsTheCoherenceOfTheSameFrames)
{
    const golden_data& g = golden();
    const std::size_t n = 2 * static_cast<std::size_t>(g.coh_lines);
    for (const std::size_t run : {std::size_t(7), std::size_t(64), std::size_t(100), std::size_t(1000)}) {
        host h(g.coh_rate, 2);
        coh c(h.channel(0), h.channel(1), undecimated(g.coh_rate, g.coh_lines, {{"average", g.coh_frames}}));
        frame_log log0(c.fft0()), log1(c.fft1());
        QSignalSpy changed(&c, &dbl::changed);
        feed(h, g.coh.at("x0"), g.coh.at("x1"), run, run * 3 / 2, run == 64);
        EXPECT_EQ(changed.count(), g.coh_frames);
        EXPECT_EQ(c.pairs(), static_cast<std::size_t>(g.coh_frames));
        const std::vector<double> want = msc_oracle(log0.frames, log1.frames, n);
        ASSERT_EQ(c.size(), want.size());
        for (std::size_t k = 0; k < want.size(); ++k)
            EXPECT_NEAR(c[k], want[k], 1e-9) << "run " << run << " line " << k;
    }
}

TEST(Coherence, OneForALinearFunctionOfTheOtherChannelTowardsZeroForIndependentNoise)
{
    const double rate = 1000.0;
    const std::vector<double> x = ryx::test::noise(64 * 100, 3);
    // One pair: 1 on every line.
    {
        host h(rate, 2);
        coh c(h.channel(0), h.channel(1), undecimated(rate, 32));
        feed(h, x, ryx::test::noise(64 * 100, 4), 1024, 1024);
        for (double v : c)
            EXPECT_NEAR(v, 1.0, 1e-12);
    }
    // A scaled copy over 100 pairs: 1; a filtered copy: close to 1 (only the
    // frames' edges differ from a product of spectra).
    std::vector<double> scaled(x.size()), filtered(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        scaled[i] = -2.5 * x[i];
        filtered[i] = x[i] + 0.5 * (i > 0 ? x[i - 1] : 0.0);
    }
    for (const auto* y : {&scaled, &filtered}) {
        host h(rate, 2);
        coh c(h.channel(0), h.channel(1), undecimated(rate, 32, {{"average", 100}}));
        feed(h, x, *y, 1024, 1000);
        ASSERT_EQ(c.pairs(), 100u);
        // The filtered copy: only the frames' edges differ from a product of
        // spectra, and near half the rate the decimation stage's roll-off leaves
        // little but rounding.
        for (std::size_t k = 0; k < c.size(); ++k)
            EXPECT_NEAR(c[k], 1.0, y == &scaled ? 1e-9 : k <= 24 ? 0.02 : 0.2) << k;
    }
    // Independent noise over 100 pairs.
    host h(rate, 2);
    coh c(h.channel(0), h.channel(1), undecimated(rate, 32, {{"average", 100}}));
    feed(h, x, ryx::test::noise(64 * 100, 5), 1024, 1024);
    double mean = 0.0;
    for (double v : c) {
        EXPECT_GE(v, 0.0);
        EXPECT_LT(v, 0.15);
        mean += v / static_cast<double>(c.size());
    }
    EXPECT_LT(mean, 0.05);
    // A silent channel: no energy, 0, not NaN.
    host s(rate, 2);
    coh z(s.channel(0), s.channel(1), undecimated(rate, 32));
    feed(s, x, std::vector<double>(x.size(), 0.0), 1024, 1024);
    for (double v : z)
        EXPECT_EQ(v, 0.0);
}

TEST(CrossSpectrum, TonesReadTheProductOfTheirAmplitudesAveragedOverTheLastPairs)
{
    const double rate = 1000.0;
    {
        // Steady tones of 3 and 0.5 on line 5: 1.5 there, nothing elsewhere.
        host h(rate, 2);
        cross c(h.channel(0), h.channel(1), undecimated(rate, 32, {{"average", 3}}));
        feed(h, ryx::test::sine(64 * 6, rate, 5 * rate / 64, 3.0, 0.0, 0.3),
             ryx::test::sine(64 * 6, rate, 5 * rate / 64, 0.5, 0.0, -1.1), 100, 30);
        EXPECT_EQ(c.pairs(), 3u);
        EXPECT_NEAR(c[5], 1.5, 1e-5);
        EXPECT_NEAR(c[4], 0.0, 1e-5);
    }
    // Noise whose level changes from frame to frame: after five pairs, the mean
    // of the last three pairs' |X0 conj X1| / (N/2)^2.
    host h(rate, 2);
    cross c(h.channel(0), h.channel(1), undecimated(rate, 32, {{"average", 3}}));
    frame_log log0(c.fft0()), log1(c.fft1());
    std::vector<double> x0 = ryx::test::noise(64 * 5, 11), x1 = ryx::test::noise(64 * 5, 12);
    for (std::size_t i = 0; i < x0.size(); ++i) {
        x0[i] *= 1.0 + static_cast<double>(i / 64);
        x1[i] = 0.5 * x1[i] + 0.25 * x0[i];
    }
    feed(h, x0, x1, 50, 64, true);
    ASSERT_EQ(log0.frames.size(), 5u);
    ASSERT_EQ(c.size(), 33u);
    for (std::size_t k = 0; k < 33; ++k) {
        long double sum = 0;
        for (std::size_t f = 2; f < 5; ++f) {
            std::complex<long double> a = 0, b = 0;
            for (std::size_t j = 0; j < 64; ++j) {
                const auto e = std::polar(1.0L, -2.0L * static_cast<long double>(pi) * static_cast<long double>(k * j % 64) / 64.0L);
                a += static_cast<long double>(log0.frames[f][j]) * e;
                b += static_cast<long double>(log1.frames[f][j]) * e;
            }
            sum += std::abs(a * std::conj(b)) / 32.0L / 32.0L;
        }
        EXPECT_NEAR(c[k], static_cast<double>(sum / 3), 1e-12) << k;
    }
}

TEST(AmplitudeResponse, RatioOrDifferenceOfTheAmplitudeSpectraAndSilentLines)
{
    const double rate = 1000.0;
    const std::vector<double> x = ryx::test::noise(640, 6);
    {
        host h(rate, 2);
        afc a(h.channel(0), h.channel(1), undecimated(rate, 32, {{"average", 4}}));
        afc d(h.channel(0), h.channel(1), undecimated(rate, 32, {{"view", 1}}));
        feed(h, x, x, 100, 64);
        ASSERT_EQ(a.size(), 33u);
        for (std::size_t k = 0; k < a.size(); ++k) {
            EXPECT_NEAR(a[k], 1.0, 1e-12);
            EXPECT_NEAR(d[k], 0.0, 1e-12);
        }
    }
    {
        // A tone of 2 against 0.5 on line 3.
        host h(rate, 2);
        afc a(h.channel(0), h.channel(1), undecimated(rate, 32));
        afc d(h.channel(0), h.channel(1), undecimated(rate, 32, {{"ausp_view", 1}}));
        feed(h, ryx::test::sine(64, rate, 3 * rate / 64, 2.0), ryx::test::sine(64, rate, 3 * rate / 64, 0.5, 0, 1), 64,
             64);
        // Within the single-precision rounding of the decimation stage.
        EXPECT_NEAR(a[3], 4.0, 1e-6);
        EXPECT_NEAR(d[3], 20.0 * std::log10(4.0), 1e-6);
    }
    {
        // Channel 1 silent: no ratio, 0 on every line, in both views.
        host h(rate, 2);
        afc a(h.channel(0), h.channel(1), undecimated(rate, 32));
        afc d(h.channel(0), h.channel(1), undecimated(rate, 32, {{"view", 1}}));
        feed(h, x, std::vector<double>(x.size(), 0.0), 64, 64);
        for (std::size_t k = 0; k < a.size(); ++k) {
            EXPECT_EQ(a[k], 0.0);
            EXPECT_EQ(d[k], 0.0);
        }
    }
}

TEST(PhaseResponse, DifferenceFoldedIntoTheRange)
{
    const double rate = 1000.0;
    const double f = 4 * rate / 64;
    host h(rate, 2);
    pfc same(h.channel(0), h.channel(0), undecimated(rate, 32, {{"view", 1}}));
    pfc pos(h.channel(0), h.channel(1), undecimated(rate, 32, {{"view", 1}, {"range", 1}}));
    pfc neg(h.channel(0), h.channel(1), undecimated(rate, 32, {{"phase_view", 0}, {"phase_range", 2}}));
    pfc zero(h.channel(0), h.channel(1), undecimated(rate, 32, {{"view", 1}}));
    // Channel 0 a quarter period behind channel 1: -90 degrees on line 4.
    feed(h, ryx::test::sine(64, rate, f, 1.0, 0.0, -pi / 2), ryx::test::sine(64, rate, f, 1.0), 64, 64);
    for (double v : same)
        EXPECT_NEAR(v, 0.0, 1e-12);
    // Within the single-precision rounding of the decimation stage.
    EXPECT_NEAR(zero[4], -90.0, 1e-6);
    EXPECT_NEAR(pos[4], 270.0, 1e-6);
    EXPECT_NEAR(neg[4], -pi / 2, 1e-7);
}

TEST(Correlation, SettingsRewriteAndLagStep)
{
    host h(51200.0, 2);
    corr c(h.channel(0), h.channel(1), QJsonObject{{"time", 0.01}, {"average", 7}});
    EXPECT_EQ(c.lags(), 256);
    EXPECT_EQ(c.fft0()->samples(), 511u);
    EXPECT_EQ(c.fft1()->zeros(), 255u);
    EXPECT_EQ(c.fft0()->average(), 1u);
    EXPECT_EQ(c.fft0()->decimation(), 1u);
    EXPECT_DOUBLE_EQ(c.resolution(), 1.0 / 51200.0);
    QSignalSpy changed(&c, &dbl::changed);
    // Frames of 767 samples against runs of 1024: three pairs in 2301 samples.
    const std::vector<double> x = ryx::test::noise(2400, 9);
    feed(h, x, x, 1024, 1024);
    EXPECT_EQ(changed.count(), 3);
    ASSERT_EQ(c.size(), 256u);
    // One channel against itself: the autocorrelation, largest at lag 0.
    EXPECT_EQ(std::max_element(c.begin(), c.end()) - c.begin(), 0);

    // A hostile time still gives a frame of at least two samples.
    for (const double t : {-1.0, 0.0, std::nan(""), 1e300}) {
        corr bad(h.channel(0), h.channel(1), QJsonObject{{"time", t}});
        EXPECT_GE(bad.lags(), 1);
        EXPECT_LE(bad.lags(), corr::max_lags);
    }
}
