#include <QJsonObject>
#include <QMetaEnum>
#include <QPointer>
#include <QSignalSpy>
#include <cmath>
#include <complex>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

#include "ryx/math/fftw/ausp.h"
#include "ryx/math/fftw/orsp.h"
#include "ryx/math/fftw/phase.h"
#include "ryx/math/fftw/psd.h"
#include "ryx/math/fftw/spen.h"
#include "settings.h"
#include "support/host.h"

using ryx::math::fftw::ausp;
using ryx::math::fftw::orsp;
using ryx::math::fftw::psd;
using ryx::math::fftw::sngl;
using ryx::math::fftw::spen;
using ryx::test::host;
using ryx::test::undecimated;

namespace {

constexpr double pi = 3.14159265358979323846;

std::vector<double> result(const sngl& a)
{
    return std::vector<double>(a.begin(), a.end());
}

// n samples of amplitude x (1 + depth x cos(2 pi fm t)) x cos(2 pi fc t).
std::vector<double> modulated(std::size_t n, double rate, double amplitude, double fc, double fm, double depth)
{
    std::vector<double> x(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / rate;
        x[i] = amplitude * (1.0 + depth * std::cos(2 * pi * fm * t)) * std::cos(2 * pi * fc * t);
    }
    return x;
}

// The unscaled DFT of the windowed frame, computed directly in long double.
std::vector<std::complex<double>> dft(const std::vector<double>& frame, const std::vector<double>& window)
{
    const std::size_t n = frame.size();
    std::vector<std::complex<double>> out(n / 2 + 1);
    for (std::size_t k = 0; k < out.size(); ++k) {
        std::complex<long double> sum = 0;
        for (std::size_t j = 0; j < n; ++j)
            sum += std::polar<long double>(frame[j] * window[j],
                                           -2.0L * static_cast<long double>(pi) * static_cast<long double>(k * j % n)
                                               / static_cast<long double>(n));
        out[k] = {static_cast<double>(sum.real()), static_cast<double>(sum.imag())};
    }
    return out;
}

// The decimated input of every frame, as the analyser held it when it emitted
// changed() for that frame.
struct frame_inputs
{
    explicit frame_inputs(sngl& a)
    {
        QObject::connect(&a, &sngl::changed, &a, [this, &a] {
            if (a.frame_count() == seen)
                return;
            seen = a.frame_count();
            std::vector<double> in;
            for (const QJsonValue& v : a.property("input_data").toJsonArray())
                in.push_back(v.toDouble());
            inputs.push_back(in);
        });
    }
    std::uint64_t seen = 0;
    std::vector<std::vector<double>> inputs;
};

double peak(const std::vector<double>& v)
{
    double m = 0.0;
    for (double x : v)
        m = std::max(m, std::fabs(x));
    return m;
}

// The amplitude and power spectra of a tone on a line, at decimation 1. The
// analyser's own 1:1 rate-conversion stage is a linear-phase low-pass whose
// pass band is flat within about 1e-5 far below half the rate, and samples go
// through single precision: amplitudes are compared within 1e-4 relative.
TEST(AutoSpectrum, ToneOnALineReadsItsAmplitudeInEachView)
{
    const double rate = 1000.0, amplitude = 3.0, offset = 0.5;
    host h(rate);
    h.channel()->set_reference(2.0);
    ausp a(h.channel(), undecimated(rate, 500)); // N 1000, 1 Hz lines, rectangular
    ASSERT_EQ(a.decimation(), 1u);
    ASSERT_EQ(a.fft_length(), 1000u);
    ASSERT_DOUBLE_EQ(a.resolution(), 1.0);
    EXPECT_EQ(a.view(), ausp::linear);
    // Three frames: the last one is free of the filters' start.
    h.push(h.channel(), ryx::test::sine(3000, rate, 50.0, amplitude, offset), 256);
    ASSERT_EQ(a.frame_count(), 3u);
    ASSERT_EQ(a.size(), 501u);
    const std::vector<double> linear = result(a);
    EXPECT_NEAR(linear[50], amplitude, 1e-4 * amplitude);
    EXPECT_NEAR(linear[0], offset, 1e-4 * offset); // line 0 halved
    EXPECT_LT(linear[49], 1e-5);
    EXPECT_LT(linear[51], 1e-5);
    EXPECT_LT(linear[500], 1e-5);

    QSignalSpy changed(&a, &sngl::changed);
    a.set_view(ausp::rms);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_NEAR(a[50], linear[50] / std::sqrt(2.0), 1e-15);
    EXPECT_NEAR(a[50], amplitude / std::sqrt(2.0), 1e-4 * amplitude);

    EXPECT_TRUE(a.set_parameter("ausp_view", 1));
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(a.view(), ausp::dB);
    EXPECT_NEAR(a[50], 20.0 * std::log10(linear[50] / 2.0), 1e-12);
    EXPECT_NEAR(a[50], 20.0 * std::log10(amplitude / 2.0), 1e-3); // dB re the channel's reference
    EXPECT_EQ(a.frame_count(), 3u); // recomputed from the stored frames

    // Any other view shows the linear amplitude.
    a.set_view(static_cast<ausp::views>(7));
    EXPECT_EQ(result(a), linear);
}

// Every line of ausp and psd against their formulas over a direct DFT of the
// frames actually taken (noise, Hann window, overlapping frames, a FIFO of 3).
TEST(AutoSpectrum, AmplitudeAndPowerFollowTheirFormulasOnEveryLine)
{
    const double rate = 1000.0;
    const std::size_t n = 128;
    host h(rate);
    h.channel()->set_reference(0.25);
    const QJsonObject settings = undecimated(rate, 64, QJsonObject{{"window", 2}, {"avg", 3}, {"overlap", 0.25}});
    ausp amp(h.channel(), settings);
    psd pow(h.channel(), settings);
    frame_inputs taken(amp);
    h.push(h.channel(), ryx::test::noise(n + 96 * 4, 5), 77);
    ASSERT_EQ(amp.frame_count(), 5u);
    ASSERT_EQ(pow.frame_count(), 5u);
    ASSERT_EQ(taken.inputs.size(), 5u);

    // Hann, its amplitude factor included.
    std::vector<double> window(n);
    for (std::size_t j = 0; j < n; ++j)
        window[j] = (0.5 - 0.5 * std::cos(2 * pi * static_cast<double>(j) / static_cast<double>(n))) * 2.07;
    std::vector<double> want_amp(n / 2 + 1, 0.0), want_pow(n / 2 + 1, 0.0);
    for (std::size_t f = 2; f < 5; ++f) {
        const auto x = dft(taken.inputs[f], window);
        for (std::size_t k = 0; k <= n / 2; ++k) {
            want_amp[k] += std::abs(x[k]) / 64.0 / 3.0;
            want_pow[k] += std::norm(x[k]) / 64.0 / 3.0;
        }
    }
    for (auto* v : {&want_amp, &want_pow}) {
        v->front() *= 0.5;
        v->back() *= 0.5;
    }
    const double amp_tol = 1e-12 * peak(want_amp), pow_tol = 1e-12 * peak(want_pow);
    ASSERT_EQ(amp.size(), n / 2 + 1);
    ASSERT_EQ(pow.size(), n / 2 + 1);
    for (std::size_t k = 0; k <= n / 2; ++k) {
        EXPECT_NEAR(amp[k], want_amp[k], amp_tol) << "line " << k;
        EXPECT_NEAR(pow[k], want_pow[k], pow_tol) << "line " << k;
    }

    // The views: 20 log10 for amplitudes, 10 log10 for powers, re 0.25; RMS.
    amp.set_view(ausp::dB);
    pow.set_view(ausp::dB);
    for (std::size_t k = 0; k <= n / 2; ++k) {
        EXPECT_NEAR(amp[k], 20.0 * std::log10(want_amp[k] / 0.25), 1e-9) << "line " << k;
        EXPECT_NEAR(pow[k], 10.0 * std::log10(want_pow[k] / 0.25), 1e-9) << "line " << k;
    }
    amp.set_view(ausp::rms);
    pow.set_view(ausp::rms);
    for (std::size_t k = 0; k <= n / 2; ++k) {
        EXPECT_NEAR(amp[k], want_amp[k] / std::sqrt(2.0), amp_tol) << "line " << k;
        EXPECT_NEAR(pow[k], want_pow[k] / std::sqrt(2.0), pow_tol) << "line " << k;
    }
}

// An amplitude spectrum whose frames are reworked without the base's preprocess.
class doubled : public ausp
{
public:
    using ausp::ausp;
    void preprocess() override
    {
        for (std::size_t k = 0; k <= fft_length() / 2; ++k)
            _out[k] *= 2.0;
    }
};

// The result is the mean over exactly the frames the analyser holds, whatever
// happened to its FIFO: restarts, purges, a longer or shorter average.
TEST(AutoSpectrum, AveragesExactlyTheStoredFrames)
{
    const double rate = 1000.0;
    host h(rate);
    const QJsonObject settings = undecimated(rate, 32, QJsonObject{{"avg", 4}, {"window", 4}, {"overlap", 0.5}});
    ausp amp(h.channel(), settings);
    psd pow(h.channel(), settings);
    spen env(h.channel(), settings);
    doubled twice(h.channel(), settings);
    const auto check = [](const ausp& a, bool power, const char* step) {
        const auto& frames = a.frames();
        std::vector<double> want(a.size(), 0.0);
        for (const auto& x : frames)
            for (std::size_t k = 0; k < want.size(); ++k)
                want[k] += (power ? std::norm(x[k]) : std::abs(x[k])) / 32.0 / static_cast<double>(frames.size());
        if (!frames.empty()) {
            want.front() *= 0.5;
            want.back() *= 0.5;
        }
        for (std::size_t k = 0; k < want.size(); ++k)
            ASSERT_NEAR(a[k], want[k], 1e-13 * (1.0 + peak(want))) << step << ", line " << k;
    };
    const auto all = [&](const char* step) {
        check(amp, false, step);
        check(pow, true, step);
        check(env, false, step);
        check(twice, false, step);
    };
    const auto x = ryx::test::noise(4000, 6);
    h.push(h.channel(), std::vector<double>(x.begin(), x.begin() + 400), 33);
    ASSERT_EQ(amp.frames().size(), 4u);
    all("full");
    for (sngl* a : std::initializer_list<sngl*>{&amp, &pow, &env, &twice})
        a->start();
    h.push(h.channel(), std::vector<double>(x.begin() + 400, x.begin() + 500), 33);
    ASSERT_EQ(amp.frames().size(), 2u);
    all("restarted");
    for (sngl* a : std::initializer_list<sngl*>{&amp, &pow, &env, &twice})
        a->set_parameter("avg", 7);
    h.push(h.channel(), std::vector<double>(x.begin() + 500, x.begin() + 1000), 33);
    ASSERT_EQ(amp.frames().size(), 7u);
    all("longer average");
    for (sngl* a : std::initializer_list<sngl*>{&amp, &pow, &env, &twice}) {
        a->set_parameter("avg", 3);
        a->purge();
    }
    h.push(h.channel(), std::vector<double>(x.begin() + 1000, x.begin() + 1150), 33);
    ASSERT_EQ(amp.frames().size(), 3u);
    all("purged, shorter average");
    amp.set_view(ausp::linear);
    all("view");
}

TEST(AutoSpectrum, PowerOfAToneOnALine)
{
    // A sine of amplitude A on a line: |X| = A N / 2, so the line reads A^2 N / 2.
    const double rate = 1000.0, amplitude = 2.0;
    host h(rate);
    psd p(h.channel(), undecimated(rate, 500));
    h.push(h.channel(), ryx::test::sine(3000, rate, 100.0, amplitude), 1000);
    ASSERT_EQ(p.frame_count(), 3u);
    EXPECT_NEAR(p[100], amplitude * amplitude * 500.0, 2e-4 * amplitude * amplitude * 500.0);
    EXPECT_LT(p[99], 1e-6 * p[100]);
}

// A carrier A at 400 Hz modulated to depth m at 50 Hz: the envelope
// A (1 + m cos) reads A on line 0 and m A on the 50 Hz line; the carrier and
// its side bands are gone. The same tolerance as for the amplitude spectrum.
TEST(EnvelopeSpectrum, ModulatedCarrierShowsItsEnvelope)
{
    const double rate = 2000.0, amplitude = 2.0, depth = 0.5;
    host h(rate);
    spen s(h.channel(), undecimated(rate, 1000)); // N 2000, 1 Hz lines
    ausp a(h.channel(), undecimated(rate, 1000));
    ASSERT_EQ(s.decimation(), 1u);
    h.push(h.channel(), modulated(6000, rate, amplitude, 400.0, 50.0, depth), 500);
    ASSERT_EQ(s.frame_count(), 3u);
    EXPECT_NEAR(s[0], amplitude, 1e-4 * amplitude);
    EXPECT_NEAR(s[50], depth * amplitude, 1e-4 * amplitude);
    EXPECT_LT(s[100], 1e-4 * amplitude);
    EXPECT_LT(s[400], 1e-4 * amplitude);
    EXPECT_LT(s[350], 1e-4 * amplitude);
    // The amplitude spectrum of the same input: carrier and side bands.
    EXPECT_NEAR(a[400], amplitude, 1e-4 * amplitude);
    EXPECT_NEAR(a[350], depth * amplitude / 2.0, 1e-4 * amplitude);
    EXPECT_LT(a[50], 1e-4 * amplitude);

    // The view applies as for the amplitude spectrum.
    s.set_view(ausp::rms);
    EXPECT_NEAR(s[50], depth * amplitude / std::sqrt(2.0), 1e-4 * amplitude);

    // A new geometry: the work area follows N (checked under ASan).
    s.set_view(ausp::linear);
    s.set_parameter("samples", 2000);
    ASSERT_EQ(s.fft_length(), 4000u);
    h.push(h.channel(), modulated(8000, rate, amplitude, 400.0, 50.0, depth), 999);
    EXPECT_GE(s.frame_count(), 1u);
    EXPECT_NEAR(s[100], depth * amplitude, 1e-3 * amplitude); // 50 Hz on 0.5 Hz lines
}

TEST(OrderSpectrum, OrderResolutionAndLength)
{
    const double rate = 1000.0;
    host h(rate);
    orsp o(h.channel(), undecimated(rate, 500, QJsonObject{{"harm_freq", 25.0}, {"max_order", 10}}));
    ASSERT_DOUBLE_EQ(o.sngl::resolution(), 1.0);
    EXPECT_DOUBLE_EQ(o.harm_freq(), 25.0);
    EXPECT_EQ(o.max_order(), 10u);
    EXPECT_DOUBLE_EQ(o.order_resolution(), 0.04);
    EXPECT_DOUBLE_EQ(o.resolution(), 0.04);
    EXPECT_DOUBLE_EQ(o.property("resolution").toDouble(), 0.04);
    EXPECT_EQ(o.full_length(), 501u);
    EXPECT_EQ(o.size(), 250u);

    // The lines are the amplitude spectrum's, cut.
    ausp a(h.channel(), undecimated(rate, 500));
    const auto x = ryx::test::noise(2500, 4);
    h.push(h.channel(), x, 300);
    ASSERT_EQ(o.frame_count(), 2u);
    ASSERT_EQ(o.size(), 250u);
    for (std::size_t k = 0; k < 250; ++k)
        ASSERT_EQ(o[k], a[k]) << "line " << k;

    // max_order takes effect at the next frame.
    QSignalSpy order_changed(&o, &orsp::max_order_changed);
    EXPECT_TRUE(o.setProperty("max_order", QVariant::fromValue<std::size_t>(5)));
    EXPECT_EQ(o.max_order(), 5u);
    EXPECT_EQ(order_changed.count(), 1);
    EXPECT_EQ(o.size(), 250u);
    h.push(h.channel(), x, 300);
    EXPECT_EQ(o.size(), 125u);

    // harm_freq: changes of 1e-9 or less and invalid values are ignored.
    QSignalSpy harm_changed(&o, &orsp::harm_freq_changed);
    o.set_harm_freq(25.0 + 1e-10);
    for (double bad : {0.0, -3.0, std::nan(""), HUGE_VAL})
        o.set_harm_freq(bad);
    EXPECT_EQ(harm_changed.count(), 0);
    EXPECT_DOUBLE_EQ(o.harm_freq(), 25.0);
    EXPECT_TRUE(o.setProperty("harm_freq", 50.0));
    EXPECT_EQ(harm_changed.count(), 1);
    EXPECT_DOUBLE_EQ(o.order_resolution(), 0.02);
    h.push(h.channel(), x, 300);
    EXPECT_EQ(o.size(), 250u);

    // A new resolution: the order resolution and the full length follow.
    o.set_parameter("res", 2.0);
    EXPECT_EQ(o.fft_length(), 500u);
    EXPECT_DOUBLE_EQ(o.order_resolution(), 2.0 / 50.0);
    EXPECT_EQ(o.full_length(), 251u);
    o.set_max_order(1000000);
    h.push(h.channel(), x, 300);
    EXPECT_EQ(o.size(), 251u); // never beyond the spectrum
    o.set_max_order(0);
    h.push(h.channel(), x, 300);
    EXPECT_EQ(o.size(), 0u);

    // Defaults, and invalid settings ignored.
    orsp d(h.channel(), QJsonObject{{"harm_freq", -1.0}, {"max_order", "ten"}});
    EXPECT_DOUBLE_EQ(d.harm_freq(), 10.0);
    EXPECT_EQ(d.max_order(), 100u);
    EXPECT_DOUBLE_EQ(d.order_resolution(), d.sngl::resolution() / 10.0);
}

TEST(AutoSpectrum, EditorViewAndSettings)
{
    host h(51200.0);
    ausp a(h.channel(), QJsonObject{{"view", 2}, {"window", 9}});
    EXPECT_EQ(a.view(), ausp::rms);
    const QJsonArray keys = a.parameter_keys();
    ASSERT_EQ(keys.size(), 9);
    EXPECT_EQ(keys[6].toString(), "decay");
    EXPECT_EQ(keys[7].toString(), "ausp_view");
    EXPECT_EQ(keys[8].toString(), "acq_time");
    const QJsonObject view = a.parameter("ausp_view");
    EXPECT_EQ(view.value("type").toString(), "combobox");
    EXPECT_EQ(view.value("value").toInt(), 2);
    EXPECT_EQ(view.value("label").toString(), "Axis Y");
    EXPECT_EQ(view.value("items").toArray(), (QJsonArray{"Unit", "dB", "Rms"}));
    EXPECT_EQ(a.parameter("freq").value("label").toString(), "Frequency");
    EXPECT_EQ(a.config().value("ausp_view").toInt(), 2);

    QSignalSpy changed(&a, &sngl::changed);
    EXPECT_TRUE(a.set_parameter("avg", 4)); // the base takes its own keys
    EXPECT_EQ(a.average(), 4u);
    EXPECT_FALSE(a.set_parameter("phase_view", 1));
    EXPECT_TRUE(a.set_parameter("ausp_view", 0));
    EXPECT_EQ(a.view(), ausp::linear);
    EXPECT_EQ(changed.count(), 1);

    // The alias is read by init(settings), not by the constructor.
    a.init(QJsonObject{{"ausp_view", 1}});
    EXPECT_EQ(a.view(), ausp::dB);
    EXPECT_EQ(a.fft_length(), 1000u); // init(settings) starts from the defaults
    ausp b(h.channel(), QJsonObject{{"ausp_view", 1}});
    EXPECT_EQ(b.view(), ausp::linear);

    ausp none(nullptr, QJsonObject());
    EXPECT_TRUE(none.parameter_keys().isEmpty());
    none.set_view(ausp::dB); // nothing to show, nothing to break
    EXPECT_TRUE(none.empty());

    const QMetaEnum views = QMetaEnum::fromType<ausp::views>();
    EXPECT_STREQ(views.valueToKey(0), "linear");
    EXPECT_STREQ(views.valueToKey(1), "dB");
    EXPECT_STREQ(views.valueToKey(2), "rms");
}

// An envelope and a phase analyser on two channels fed from two threads at
// once: the shared output buffer and work areas give what one thread gives.
TEST(AcquisitionAnalysers, TwoThreadsGiveWhatOneThreadGives)
{
    const double rate = 51200.0;
    const auto x0 = modulated(150000, rate, 1.0, 3000.0, 120.0, 0.4);
    const auto x1 = ryx::test::noise(150000, 2);
    const QJsonObject settings{{"frequency", 5000.0}, {"samples", 400}, {"window", 2}, {"avg", 4}, {"overlap", 0.5}};
    std::vector<double> alone0, alone1;
    {
        host h(rate, 2);
        spen a(h.channel(0), settings);
        ryx::math::fftw::phase b(h.channel(1), settings);
        h.push(h.channel(0), x0, 1024);
        h.push(h.channel(1), x1, 1024);
        alone0 = result(a);
        alone1 = result(b);
    }
    host h0(rate), h1(rate);
    spen a(h0.channel(), settings);
    ryx::math::fftw::phase b(h1.channel(), settings);
    std::thread t0([&] { h0.push(h0.channel(), x0, 1024); });
    std::thread t1([&] { h1.push(h1.channel(), x1, 1024); });
    t0.join();
    t1.join();
    EXPECT_EQ(result(a), alone0);
    EXPECT_EQ(result(b), alone1);
    EXPECT_GT(a.frame_count(), 10u);
}

// Each analyser of the family, its source taken away while data flows: the
// filter channel alone (the analyser stays, inert), or the whole tree from a
// listener of changed() (the analyser goes with its channel).
template <class Analyser>
void source_goes_mid_stream()
{
    const double rate = 1000.0;
    const auto x = ryx::test::sine(4000, rate, 60.0);
    {
        host h(rate);
        Analyser a(h.channel(), undecimated(rate, 64, QJsonObject{{"avg", 2}}));
        QSignalSpy source(&a, &sngl::source_changed);
        QObject::connect(&a, &sngl::changed, &a, [&a] {
            if (a.frame_count() == 2)
                delete a.filter();
        });
        h.push(h.channel(), x, 100);
        EXPECT_EQ(a.frame_count(), 2u);
        EXPECT_EQ(source.count(), 1);
        EXPECT_EQ(a.source(), nullptr);
        EXPECT_TRUE(a.parameter_keys().isEmpty());
        a.init();
        a.set_parameter("samples", 100);
        a.start();
        h.push(h.channel(), x, 100);
        EXPECT_EQ(a.frame_count(), 0u);
        a.update();
    }
    {
        host h(rate);
        QPointer<Analyser> a = new Analyser(h.channel(), undecimated(rate, 64));
        QObject::connect(a.data(), &sngl::changed, a.data(), [&h] { h.destroy(); });
        h.push(h.channel(), std::vector<double>(x.begin(), x.begin() + 300)); // one run

        EXPECT_TRUE(a.isNull());
    }
}

TEST(AcquisitionAnalysers, SourceGoneMidStreamLeavesThemInert)
{
    source_goes_mid_stream<ausp>();
    source_goes_mid_stream<psd>();
    source_goes_mid_stream<spen>();
    source_goes_mid_stream<orsp>();
    source_goes_mid_stream<ryx::math::fftw::phase>();
}

} // namespace
