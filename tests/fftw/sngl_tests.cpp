#include <QJsonObject>
#include <QPointer>
#include <QSignalSpy>
#include <cmath>
#include <complex>
#include <gtest/gtest.h>
#include <random>
#include <thread>
#include <vector>

#include "ryx/math/fftw/sngl.h"
#include "settings.h"
#include "support/host.h"

using ryx::math::fftw::sngl;
using ryx::test::host;
using ryx::test::undecimated;

namespace {

// The decimated samples of the analyser's latest frame.
std::vector<double> frame_input(const sngl& a)
{
    std::vector<double> in;
    for (const QJsonValue& v : a.property("input_data").toJsonArray())
        in.push_back(v.toDouble());
    return in;
}

TEST(SingleChannelAnalyser, GeometryFromTheSettings)
{
    host h(51200.0);
    {
        sngl a(h.channel(), QJsonObject());
        EXPECT_EQ(a.fft_length(), 1000u);
        EXPECT_EQ(a.samples(), 500u);
        EXPECT_EQ(a.decimation(), 26u);
        EXPECT_NEAR(a.frequency(), 51200.0 / 26.0 / 2.0, 1e-12);
        EXPECT_NEAR(a.resolution(), a.frequency() / 500.0, 1e-12);
        EXPECT_EQ(a.size(), 501u);
        EXPECT_TRUE(a.is_running());
        EXPECT_EQ(a.source(), h.channel());
    }
    {
        sngl a(h.channel(), QJsonObject{{"samples", 10}});
        EXPECT_EQ(a.fft_length(), 20u);
    }
    {
        sngl a(h.channel(), QJsonObject{{"frequency", 1000.0}, {"resolution", 1000.0}});
        EXPECT_EQ(a.fft_length(), 2u);
    }
    {
        sngl a(h.channel(), QJsonObject{{"freq", 30000.0}});
        EXPECT_EQ(a.decimation(), 1u);
        EXPECT_DOUBLE_EQ(a.frequency(), 25600.0);
    }
    {
        sngl a(h.channel(), QJsonObject{{"overlap", 1.0}});
        EXPECT_EQ(a.overlap_samples(), 999u);
        EXPECT_DOUBLE_EQ(a.overlap(), 0.999);
    }
    {
        sngl a(h.channel(), QJsonObject{{"avg", 0}, {"zeros", 5000}, {"samples", "many"}, {"start", false}});
        EXPECT_EQ(a.average(), 1u);           // below 1: one frame
        EXPECT_EQ(a.zeros(), a.fft_length() - 2); // a frame holds two samples at least
        EXPECT_EQ(a.fft_length(), 1000u);     // a value of the wrong type is ignored
        EXPECT_FALSE(a.is_running());
    }
}

TEST(SingleChannelAnalyser, HugeSizesStayWithinTheSharedBuffer)
{
    host h(51200.0);
    sngl a(h.channel(), QJsonObject{{"samples", 1000000}});
    EXPECT_EQ(a.fft_length(), 2 * sngl::max_lines);
    EXPECT_LE(a.fft_length(), sngl::out_capacity);
    EXPECT_DOUBLE_EQ(a.parameter("samples").value("max").toDouble(), 500000.0);
    a.set_res(1e-12);
    EXPECT_EQ(a.fft_length(), 2 * sngl::max_lines);
    a.set_parameter("samples", 2000000000);
    EXPECT_EQ(a.fft_length(), 2 * sngl::max_lines);
    a.set_parameter("samples", 0);
    EXPECT_GE(a.fft_length(), 2u);
    a.set_parameter("samples", 500000);
    a.set_parameter("freq", 25600.0);
    h.push(h.channel(), ryx::test::noise(1100000, 3), 65536); // one frame of N = 10^6
    EXPECT_EQ(a.frame_count(), 1u);
    a.set_parameter("freq", std::nan(""));
    EXPECT_TRUE(std::isfinite(a.frequency()));
}

TEST(SingleChannelAnalyser, FramesAreTheTransformOfTheWindowedFrames)
{
    const double rate = 1000.0;
    host h(rate);
    sngl a(h.channel(), undecimated(rate, 32, QJsonObject{{"window", 2}, {"overlap", 0.25}, {"avg", 3}}));
    ASSERT_EQ(a.decimation(), 1u);
    ASSERT_EQ(a.fft_length(), 64u);
    ASSERT_EQ(a.overlap_samples(), 16u);
    // At each frame, its input (the decimated samples) and its half spectrum.
    std::vector<std::vector<double>> inputs;
    std::vector<std::vector<std::complex<double>>> spectra;
    QObject::connect(&a, &sngl::changed, &a, [&] {
        if (a.frame_count() == 0)
            return;
        inputs.push_back(frame_input(a));
        spectra.emplace_back();
        a.get_data(std::back_inserter(spectra.back()));
    });
    h.push(h.channel(), ryx::test::noise(64 + 48 * 4, 8), 37);
    ASSERT_EQ(a.frame_count(), 5u);
    ASSERT_EQ(a.frames().size(), 3u);
    ASSERT_EQ(spectra.size(), 5u);
    for (std::size_t f = 0; f < spectra.size(); ++f) {
        ASSERT_EQ(inputs[f].size(), 64u);
        ASSERT_EQ(spectra[f].size(), 33u);
        if (f > 0) { // consecutive frames share 16 samples
            EXPECT_EQ(std::vector<double>(inputs[f].begin(), inputs[f].begin() + 16),
                      std::vector<double>(inputs[f - 1].end() - 16, inputs[f - 1].end()));
        }
        for (std::size_t k = 0; k < 33; ++k) {
            std::complex<long double> sum = 0;
            for (std::size_t n = 0; n < 64; ++n)
                sum += std::polar<long double>(inputs[f][n] * a.window_buffer()[n],
                                               -2.0L * M_PIl * static_cast<long double>(k * n % 64) / 64.0L);
            const std::complex<double> want(static_cast<double>(sum.real()), static_cast<double>(sum.imag()));
            EXPECT_LT(std::abs(want - spectra[f][k]), 1e-12 * 64.0) << "frame " << f << " line " << k;
        }
    }
    // Hann: its factor times the mean of its raw values.
    EXPECT_NEAR(a.beta(), 2.07 * 0.5, 1e-12);
}

TEST(SingleChannelAnalyser, SingleShotDelayStartAndStop)
{
    const double rate = 1000.0;
    host h(rate);
    sngl a(h.channel(), undecimated(rate, 10, QJsonObject{{"single_shot", true}, {"avg", 4}}));
    QSignalSpy finished(&a, &sngl::finished);
    QSignalSpy changed(&a, &sngl::changed);
    h.push(h.channel(), ryx::test::noise(200), 13);
    EXPECT_EQ(a.frame_count(), 4u);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(a.is_running());
    EXPECT_EQ(changed.count(), 4);

    // start(delay): delay x frequency x 2 samples are skipped.
    a.start(0.05); // 50 samples at 500 Hz band
    EXPECT_EQ(a.delay_samples(), 50u);
    h.push(h.channel(), ryx::test::noise(69));
    EXPECT_EQ(a.frame_count(), 0u);
    h.push(h.channel(), ryx::test::noise(1));
    EXPECT_EQ(a.frame_count(), 1u);

    sngl b(h.channel(), undecimated(rate, 10, QJsonObject{{"delay", 0.5}}));
    EXPECT_EQ(b.delay_samples(), 500u);
    b.stop();
    h.push(h.channel(), ryx::test::noise(100));
    EXPECT_EQ(b.frame_count(), 0u);
    b.start();
    h.push(h.channel(), ryx::test::noise(519));
    EXPECT_EQ(b.frame_count(), 0u);
    h.push(h.channel(), ryx::test::noise(1));
    EXPECT_EQ(b.frame_count(), 1u);
}

TEST(SingleChannelAnalyser, EditorSchema)
{
    host h(51200.0);
    sngl a(h.channel(), QJsonObject{{"window", 9}});
    const QJsonArray keys = a.parameter_keys();
    ASSERT_EQ(keys.size(), 8);
    EXPECT_EQ(keys[5].toString(), "window");
    EXPECT_EQ(keys[6].toString(), "decay");
    EXPECT_EQ(keys[7].toString(), "acq_time");
    EXPECT_EQ(a.parameter("window").value("items").toArray().size(), 10);
    EXPECT_EQ(a.parameter("window").value("items").toArray()[9].toString(), "Exponential");
    EXPECT_DOUBLE_EQ(a.parameter("freq").value("max").toDouble(), 25600.0);
    EXPECT_EQ(a.parameter("acq_samples").value("label").toString(), "Acq. samples");
    EXPECT_TRUE(a.parameter("nothing").isEmpty());
    const QJsonObject config = a.config();
    EXPECT_EQ(config.size(), 8);
    EXPECT_DOUBLE_EQ(config.value("samples").toDouble(), 500.0);
    EXPECT_FALSE(a.set_parameter("nothing", 1));

    sngl none(nullptr, QJsonObject());
    EXPECT_TRUE(none.parameter_keys().isEmpty());
    EXPECT_EQ(none.source(), nullptr);
    EXPECT_DOUBLE_EQ(none.parameter("freq").value("max").toDouble(), 0.0);
}

TEST(SingleChannelAnalyser, WindowsOverlapAndDecay)
{
    const double rate = 1000.0;
    host h(rate);
    sngl a(h.channel(), undecimated(rate, 16));
    for (double w : a.window_buffer())
        EXPECT_EQ(w, 1.0); // rectangular: exactly 1 here

    // Only the window changes: the acquisition goes on.
    h.push(h.channel(), ryx::test::noise(40));
    ASSERT_EQ(a.frame_count(), 1u);
    a.set_parameter("window", 8);
    EXPECT_EQ(a.frame_count(), 1u);
    EXPECT_EQ(a.window_buffer()[15], 1.0);
    EXPECT_EQ(a.window_buffer()[16], 0.0);

    for (double decay : {0.0, -1.0, std::nan(""), 4.9e-324, HUGE_VAL, 0.5}) {
        a.set_parameter("window", 9);
        a.set_parameter("decay", decay);
        EXPECT_EQ(a.window_buffer()[0], 1.0);
        for (double w : a.window_buffer())
            EXPECT_TRUE(std::isfinite(w)) << decay;
    }
    EXPECT_NEAR(a.window_buffer()[31], 0.5, 1e-15);

    a.set_parameter("overlap", -0.5); // not clamped here: as much as the frame allows
    EXPECT_EQ(a.overlap_samples(), 31u);
}

TEST(SingleChannelAnalyser, PurgeWhileRunningAndSourceDeleted)
{
    const double rate = 1000.0;
    host h(rate);
    auto* a = new sngl(h.channel(), undecimated(rate, 16));
    h.push(h.channel(), ryx::test::noise(40));
    a->purge();
    h.push(h.channel(), ryx::test::noise(100), 7); // acquisition simply continues
    EXPECT_GE(a->frame_count(), 3u);

    QPointer<sngl> watch = a;
    QSignalSpy source(a, &sngl::source_changed);
    QObject::connect(a, &sngl::changed, a, [&h] { h.destroy(); });
    h.push(h.channel(), ryx::test::noise(64)); // the tree goes from a listener
    EXPECT_TRUE(watch.isNull()); // a QObject child of its channel
}

// What an analyser published: the decimated input of every frame and the
// spectrum after the data.
struct acquisition
{
    std::vector<std::vector<double>> frames;
    std::vector<double> spectrum;
    bool operator==(const acquisition& o) const { return frames == o.frames && spectrum == o.spectrum; }
};

// Runs x through an analyser in runs from `sizer`; at its third frame a
// listener does `act`: 1 stops it, and once x is through the analyser is
// started again after a delay and takes x once more (the decimator keeps what
// it was fed before the stop); 2 changes the lines; 3 changes the band; 4
// stops it; 0 nothing. (A restart from the listener itself would reset the
// anti-alias filter, which reaches only the next run: it depends on the runs.)
acquisition acquire(const QJsonObject& settings, const std::vector<double>& x, int act,
                    const std::function<std::size_t()>& sizer)
{
    host h(51200.0);
    sngl a(h.channel(), settings);
    acquisition out;
    QObject::connect(&a, &sngl::changed, &a, [&] {
        if (a.frame_count() == 0)
            return;
        out.frames.push_back(frame_input(a));
        if (out.frames.size() != 3)
            return;
        if (act == 1 || act == 4)
            a.stop();
        else if (act == 2)
            a.set_parameter("samples", 24);
        else if (act == 3)
            a.set_parameter("freq", 25600.0 / 5);
    });
    h.push(h.channel(), x, sizer);
    if (act == 1) {
        a.start(0.002);
        h.push(h.channel(), x, sizer);
    }
    out.spectrum = a;
    return out;
}

TEST(SingleChannelAnalyser, AnyRunSplitGivesWhatOneSampleAtATimeGives)
{
    // The analyser takes each run through its decimator in pieces; what it
    // publishes must be what sample-by-sample feeding gives (runs of one
    // sample), whatever the runs, at every decimation, with a delay, with
    // overlapping frames, and with listeners that reconfigure or stop it on the
    // sample that completes a frame (and a restart after such a stop).
    std::mt19937 gen(91);
    for (const double band : {25600.0, 25600.0 / 3, 6400.0, 256.0}) {
        const QJsonObject settings{{"frequency", band}, {"samples", 32}, {"window", 2},
                                   {"overlap", 0.25}, {"avg", 2}, {"delay", 0.0007}};
        const std::size_t decimation = static_cast<std::size_t>(std::lround(25600.0 / band));
        const std::vector<double> x = ryx::test::noise(64 * decimation * 7 + 333, 17);
        for (int act = 0; act <= 4; ++act) {
            const acquisition one = acquire(settings, x, act, [] { return std::size_t(1); });
            ASSERT_GE(one.frames.size(), act == 4 ? 3u : 5u) << "band " << band << " act " << act;
            if (act == 1) {
                ASSERT_GE(one.frames.size(), 6u);
            }
            std::uniform_int_distribution<std::size_t> length(1, 3 * 64 * decimation);
            const acquisition random = acquire(settings, x, act, [&] { return length(gen); });
            EXPECT_TRUE(random == one) << "band " << band << " act " << act << ": random runs";
            const acquisition whole = acquire(settings, x, act, [&] { return x.size(); });
            EXPECT_TRUE(whole == one) << "band " << band << " act " << act << ": one run";
        }
    }
}

TEST(SingleChannelAnalyser, TwoThreadsGiveWhatOneThreadGives)
{
    const double rate = 51200.0;
    const auto x0 = ryx::test::noise(200000, 1), x1 = ryx::test::noise(200000, 2);
    const QJsonObject settings{{"frequency", 5000.0}, {"samples", 400}, {"window", 2}, {"avg", 4}, {"overlap", 0.5}};
    std::vector<double> alone0, alone1;
    {
        host h(rate, 2);
        sngl a(h.channel(0), settings), b(h.channel(1), settings);
        h.push(h.channel(0), x0, 1024);
        h.push(h.channel(1), x1, 1024);
        alone0 = a;
        alone1 = b;
    }
    host h0(rate), h1(rate);
    sngl a(h0.channel(), settings), b(h1.channel(), settings);
    std::thread t0([&] { h0.push(h0.channel(), x0, 1024); });
    std::thread t1([&] { h1.push(h1.channel(), x1, 1024); });
    t0.join();
    t1.join();
    EXPECT_EQ(static_cast<std::vector<double>&>(a), alone0);
    EXPECT_EQ(static_cast<std::vector<double>&>(b), alone1);
    EXPECT_GT(a.frame_count(), 10u);
}

} // namespace

namespace {

TEST(SingleChannelAnalyser, HugeAveragesAreBoundedInMemory)
{
    host h(1000.0);
    sngl a(h.channel(), QJsonObject{{"avg", 2000000000.0}, {"samples", 1000}});
    EXPECT_LE(a.average(), sngl::max_average);
    EXPECT_LE(a.average() * (a.fft_length() / 2 + 1), sngl::max_fifo_values);
    a.set_parameter("avg", 1000000);
    a.set_parameter("samples", 100000);
    EXPECT_LE(a.average() * (a.fft_length() / 2 + 1), sngl::max_fifo_values);
    EXPECT_GE(a.average(), 1u);
}

} // namespace
