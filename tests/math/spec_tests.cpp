#include <QPointer>
#include <QSignalSpy>
#include <cmath>
#include <complex>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "ryx/math/fft.h"
#include "ryx/math/psd.h"
#include "ryx/math/spec.h"
#include "ryx/math/spec_meas.h"
#include "support/host.h"

using ryx::math::fft;
using ryx::math::spec;
using ryx::test::host;

namespace {

constexpr double pi = 3.14159265358979323846;

// The window formulas and amplitude factors, written out here so that the
// calibration does not come from the code under test.
double raw_window(fft::windows w, std::size_t n, std::size_t count)
{
    const double x = static_cast<double>(n) / static_cast<double>(count);
    switch (w) {
    case fft::rectangular: return 1.0;
    case fft::cosine: return std::sin(pi * x);
    case fft::hann: return 0.5 - 0.5 * std::cos(2 * pi * x);
    case fft::bartlett_hann: return 0.62 - 0.48 * std::fabs(x - 0.5) - 0.38 * std::cos(2 * pi * x);
    case fft::hamming: return 0.54 - 0.46 * std::cos(2 * pi * x);
    case fft::blackman: return 0.42 - 0.5 * std::cos(2 * pi * x) + 0.08 * std::cos(4 * pi * x);
    case fft::blackman_harris:
        return 0.359 - 0.488 * std::cos(2 * pi * x) + 0.141 * std::cos(4 * pi * x) - 0.012 * std::cos(6 * pi * x);
    case fft::flattop:
        return 1 - 1.93 * std::cos(2 * pi * x) + 1.29 * std::cos(4 * pi * x) - 0.388 * std::cos(6 * pi * x)
               + 0.032 * std::cos(8 * pi * x);
    case fft::half_rect: return n < count / 2 ? 1.0 : 0.0;
    }
    return 0.0;
}

double window_factor(fft::windows w)
{
    switch (w) {
    case fft::rectangular: return 1.051;
    case fft::cosine: return 1.626;
    case fft::hann: return 2.07;
    case fft::bartlett_hann: return 1.669;
    case fft::hamming: return 1.918;
    case fft::blackman: return 2.464;
    case fft::blackman_harris: return 2.883;
    case fft::flattop: return 1.035;
    case fft::half_rect: return 1.0;
    }
    return 0.0;
}

// The reading of a unit tone on a line: the factor times the mean raw value.
double calibration(fft::windows w, std::size_t n)
{
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i)
        sum += raw_window(w, i, n);
    return window_factor(w) * sum / static_cast<double>(n);
}

std::vector<double> frame_of(const spec& s) { return std::vector<double>(s.begin(), s.end()); }

// Samples enough for the anti-alias filter to settle and `frames` frames after it.
std::size_t settled_length(const spec& s, int frames)
{
    const fft& e = *s.engine();
    return static_cast<std::size_t>(e.frame_length()) * static_cast<std::size_t>(frames + 4);
}

struct tone_case
{
    double rate;
    double frequency;
    double resolution;
    fft::windows window;
    int line;
};

std::string describe(const tone_case& c)
{
    return "rate " + std::to_string(c.rate) + " band " + std::to_string(c.frequency) + " res "
           + std::to_string(c.resolution) + " window " + std::to_string(int(c.window)) + " line "
           + std::to_string(c.line);
}

// A sine of amplitude A on a line, and a DC offset D, read A x c and D x c at
// every source rate, band and resolution.
TEST(SpecAmplitude, SineOnALineReadsTheCalibratedAmplitude)
{
    const tone_case cases[] = {
        {1000, 200, 10, fft::rectangular, 5},      {1000, 200, 10, fft::hann, 7},
        {1000, 100, 2, fft::flattop, 20},          {1000, 500, 10, fft::blackman, 12},
        {48000, 2000, 5, fft::hann, 100},          {48000, 6000, 25, fft::hamming, 60},
        {48000, 24000, 100, fft::rectangular, 37}, {48000, 1000, 1, fft::blackman_harris, 333},
        {51200, 6400, 12.5, fft::hann, 200},       {51200, 1600, 2, fft::rectangular, 77},
        {51200, 25600, 200, fft::flattop, 30},     {51200, 3200, 8, fft::blackman, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(describe(c));
        host h(c.rate);
        spec s(spec::ausp, h.channel());
        s.set_frequency(c.frequency);
        s.set_resolution(c.resolution);
        s.set_window(c.window);
        ASSERT_NEAR(s.resolution(), c.resolution, 1e-9);
        const fft& e = *s.engine();
        const double amplitude = 0.75;
        const double f = c.line * s.resolution();
        h.push(h.channel(), ryx::test::sine(settled_length(s, 2), c.rate, f, amplitude), 4096);
        const double expected = amplitude * calibration(c.window, e.fft_length());
        EXPECT_NEAR(s[c.line], expected, 1e-3 * expected);
    }
}

TEST(SpecAmplitude, DcOffsetReadsTheCalibratedOffsetOnLineZero)
{
    const tone_case cases[] = {
        {1000, 200, 10, fft::rectangular, 0}, {1000, 200, 10, fft::cosine, 0},
        {48000, 2000, 5, fft::bartlett_hann, 0}, {51200, 6400, 12.5, fft::hann, 0},
        {51200, 25600, 100, fft::flattop, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(describe(c));
        host h(c.rate);
        spec s(spec::ausp, h.channel());
        s.set_frequency(c.frequency);
        s.set_resolution(c.resolution);
        s.set_window(c.window);
        const double offset = -0.4;
        h.push(h.channel(), std::vector<double>(settled_length(s, 2), offset), 1000);
        const double expected = std::fabs(offset) * calibration(c.window, s.engine()->fft_length());
        EXPECT_NEAR(s[0], expected, 1e-3 * expected);
    }
}

// The dB and RMS units are closed forms of the linear reading.
TEST(SpecAmplitude, DecibelAndRmsUnitsAreClosedFormsOfTheLinearValue)
{
    host h(1000.0);
    h.channel()->set_reference(0.25);
    spec linear(spec::ausp, h.channel());
    spec db(spec::ausp, h.channel());
    spec rms(spec::ausp, h.channel());
    QSignalSpy unit_signal(&db, &spec::unit_changed);
    EXPECT_TRUE(db.setProperty("unit", QVariant::fromValue(ryx::units::dB))); // as a host script sets it
    db.set_unit(ryx::units::dB);
    rms.set_unit(ryx::units::rms);
    EXPECT_EQ(unit_signal.count(), 1);
    EXPECT_EQ(db.get_unit(), ryx::units::dB);
    auto x = ryx::test::sine(1000, 1000.0, 50.0, 1.0, 0.3);
    const auto n = ryx::test::noise(1000, 3);
    for (std::size_t i = 0; i < x.size(); ++i)
        x[i] += 0.01 * n[i];
    h.push(h.channel(), x, 333);
    ASSERT_EQ(linear.size(), 21u);
    for (std::size_t k = 0; k < linear.size(); ++k) {
        EXPECT_NEAR(db[k], 20.0 * std::log10(linear[k] / 0.25), 1e-9) << "line " << k;
        EXPECT_NEAR(rms[k], linear[k] / std::sqrt(2.0), 1e-12) << "line " << k;
    }
}

TEST(SpecAmplitude, LineEqualToTheReferenceIsZeroDecibelAndUnitRmsIsHalfRootTwo)
{
    host h(1000.0);
    spec s(spec::ausp, h.channel());
    const double c = calibration(fft::rectangular, s.engine()->fft_length());
    h.channel()->set_reference(c); // a unit sine reads exactly c
    s.set_unit(ryx::units::dB);
    h.push(h.channel(), ryx::test::sine(2000, 1000.0, 50.0, 1.0), 100);
    EXPECT_NEAR(s[5], 0.0, 0.01); // 1e-3 relative in amplitude
    s.set_unit(ryx::units::rms);
    h.push(h.channel(), ryx::test::sine(2000, 1000.0, 50.0, 1.0 / c), 100);
    EXPECT_NEAR(s[5], 0.70710678, 1e-3);
}

// Averaging: the mean of the frames so far, then the sliding mean of the last 3.
TEST(SpecAverage, AverageOfThreeGrowsThenSlides)
{
    host h(1000.0);
    spec single(spec::ausp, h.channel());
    spec averaged(spec::ausp, h.channel());
    QSignalSpy average_signal(&averaged, &spec::average_changed);
    averaged.set_average(0);
    averaged.set_average(-3);
    averaged.set_average(3);
    averaged.set_average(3);
    EXPECT_EQ(average_signal.count(), 1);
    EXPECT_EQ(averaged.average(), 3);
    EXPECT_NEAR(averaged.acq_time(), 3 * averaged.acq_time_buf(), 1e-12);

    std::vector<std::vector<double>> frames;
    std::vector<std::vector<double>> means;
    std::vector<double> percents;
    QObject::connect(&single, &spec::changed, [&] { frames.push_back(frame_of(single)); });
    QObject::connect(&averaged, &spec::changed, [&] { means.push_back(frame_of(averaged)); });
    QObject::connect(&averaged, &spec::acquired, [&](double p) { percents.push_back(p); });
    h.push(h.channel(), ryx::test::noise(600, 11), 50);

    ASSERT_EQ(frames.size(), 6u);
    ASSERT_EQ(means.size(), 6u);
    const double expected_percent[] = {100.0 / 3, 200.0 / 3, 100.0, 100.0 / 3, 200.0 / 3, 100.0};
    for (std::size_t j = 0; j < 6; ++j) {
        EXPECT_NEAR(percents[j], expected_percent[j], 1e-12);
        const std::size_t first = j >= 2 ? j - 2 : 0;
        for (std::size_t k = 0; k < frames[j].size(); ++k) {
            double mean = 0.0;
            for (std::size_t i = first; i <= j; ++i)
                mean += frames[i][k];
            mean /= static_cast<double>(j - first + 1);
            EXPECT_NEAR(means[j][k], mean, 1e-12 * (1.0 + mean)) << "frame " << j << " line " << k;
        }
    }
}

// A channel without a rate publishes nothing, whatever the average asks for.
TEST(SpecAverage, HugeAverageWithoutLinesAllocatesNothing)
{
    host h(0.0);
    spec s(spec::ausp, h.channel());
    s.set_average(2000000000);
    EXPECT_EQ(s.average(), 2000000000);
    EXPECT_EQ(s.size(), 0u);
    h.push(h.channel(), ryx::test::noise(100, 1), 10);
    EXPECT_EQ(s.size(), 0u);
}

TEST(SpecAverage, StopAcqFreezesTheResult)
{
    host h(1000.0);
    spec s(spec::ausp, h.channel());
    h.push(h.channel(), ryx::test::noise(300, 2), 100);
    const auto before = frame_of(s);
    s.stop_acq();
    QSignalSpy changed(&s, &spec::changed);
    QSignalSpy acquired(&s, &spec::acquired);
    h.push(h.channel(), ryx::test::noise(500, 4), 100);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(acquired.count(), 0);
    EXPECT_EQ(frame_of(s), before);
}

// Switching the kind keeps exactly one frame connection.
TEST(SpecType, SwitchingKindsProcessesEachFrameOnce)
{
    host h(1000.0);
    spec s(spec::ausp, h.channel());
    QSignalSpy frames(s.engine(), &fft::changed);
    QSignalSpy changed(&s, &spec::changed);
    const auto signal = ryx::test::sine(500, 1000.0, 50.0);
    h.push(h.channel(), signal, 100);
    s.set_type(spec::spen);
    h.push(h.channel(), signal, 100);
    s.set_type(spec::spen);
    s.set_type(spec::ausp);
    h.push(h.channel(), signal, 100);
    s.set_type(spec::psd);
    h.push(h.channel(), signal, 100);
    s.set_type(spec::ausp);
    h.push(h.channel(), signal, 100);
    s.set_type(static_cast<spec::types>(42)); // not a kind: ignored
    EXPECT_EQ(s.type(), spec::ausp);
    h.push(h.channel(), signal, 100);
    EXPECT_EQ(frames.count(), 30);
    EXPECT_EQ(changed.count(), 30);
}

// Line 0 carries no density: the band sum starts at line 1.
TEST(SpecPowerDensity, BandSumStartsAtLineOne)
{
    host h(1000.0);
    spec s(spec::ausp, h.channel());
    EXPECT_DOUBLE_EQ(s.get_power_density(0, 100), 0.0); // nothing published yet: all zeros
    h.push(h.channel(), ryx::test::noise(400, 5), 400);
    const double r = s.resolution();
    const auto sum = [&](std::size_t from, std::size_t to) {
        double total = 0.0;
        for (std::size_t n = from; n <= to; ++n)
            total += s[n] * s[n] / (static_cast<double>(n) * r);
        return total;
    };
    EXPECT_DOUBLE_EQ(s.get_power_density(0, 50), sum(1, 5));
    EXPECT_DOUBLE_EQ(s.get_power_density(50, 0), sum(1, 5));
    EXPECT_DOUBLE_EQ(s.get_power_density(30, 1e9), sum(3, 20));
    EXPECT_DOUBLE_EQ(s.get_power_density(-100, 20), sum(1, 2));
    EXPECT_DOUBLE_EQ(s.get_power_density(1e12, 1e12), sum(20, 20));
    EXPECT_DOUBLE_EQ(s.get_power_density(std::nan(""), 50), 0.0);
}

// The psd kind publishes the psd object's density from the first frame on,
// averaged twice (by the psd object and again here) over the same count.
TEST(SpecType, PsdKindPublishesTheDensityFromTheFirstFrame)
{
    host h(1000.0);
    spec s(spec::psd, h.channel());
    EXPECT_TRUE(s.setProperty("window", QVariant::fromValue(fft::hann)));
    EXPECT_TRUE(s.setProperty("average", 3));
    EXPECT_EQ(s.property("window").value<fft::windows>(), fft::hann);
    ryx::math::psd reference(h.channel());
    reference.set_window(fft::hann);
    reference.set_average(1);
    std::vector<std::vector<double>> densities;
    std::vector<std::vector<double>> published;
    QObject::connect(&reference, &ryx::math::psd::changed,
                     [&] { densities.push_back(std::vector<double>(reference.begin(), reference.end())); });
    QObject::connect(&s, &spec::changed, [&] { published.push_back(frame_of(s)); });
    h.push(h.channel(), ryx::test::noise(200, 8), 100);
    ASSERT_EQ(published.size(), 2u);
    ASSERT_EQ(densities.size(), 2u);
    ASSERT_EQ(s.size(), densities[0].size());
    for (std::size_t k = 0; k < s.size(); ++k) {
        const double first = densities[0][k];
        const double second = (first + (first + densities[1][k]) / 2) / 2;
        EXPECT_GT(published[0][k], 0.0) << "line " << k;
        EXPECT_NEAR(published[0][k], first, 1e-12 * first) << "line " << k;
        EXPECT_NEAR(published[1][k], second, 1e-12 * second) << "line " << k;
    }
}

// At decimation 1 a sine on a line with phase p reads p - pi/2 (the phase of
// its cosine) on that line.
TEST(SpecType, PhaseOfAToneOnALine)
{
    host h(1000.0);
    spec s(spec::phase, h.channel());
    s.set_frequency(500);
    ASSERT_EQ(s.engine()->decimation(), 1);
    const double p = 0.7;
    h.push(h.channel(), ryx::test::sine(1000, 1000.0, 120.0, 1.0, 0.0, p), 1000);
    ASSERT_EQ(s.size(), 51u);
    EXPECT_NEAR(s[12], p - pi / 2, 1e-6);
}

// Envelope spectrum at decimation 1: an amplitude-modulated carrier reads its
// amplitude on line 0 and its modulation depth times that at the modulation
// line, and nothing else.
struct envelope_run
{
    std::vector<double> lines;
    std::vector<std::complex<double>> frame; // the engine's spectrum of the same frame
    std::size_t n = 0;
};

envelope_run run_envelope(fft::windows window, double carrier_line, double modulation_line, double depth,
                          double amplitude, double band = 500.0)
{
    const double rate = 1000.0;
    host h(rate);
    spec s(spec::spen, h.channel());
    s.set_frequency(band);
    s.set_resolution(10.0);
    s.set_window(window);
    std::vector<double> x(static_cast<std::size_t>(s.engine()->frame_length()) * 6);
    const double fc = carrier_line * s.resolution();
    const double fm = modulation_line * s.resolution();
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        x[i] = amplitude * (1.0 + depth * std::cos(2 * pi * fm * t)) * std::cos(2 * pi * fc * t);
    }
    h.push(h.channel(), x, 1000);
    envelope_run out;
    out.lines = frame_of(s);
    out.frame.assign(s.engine()->begin(), s.engine()->begin() + static_cast<std::ptrdiff_t>(s.size()));
    out.n = s.engine()->fft_length();
    return out;
}

// The envelope spectrum computed with plain DFTs from the engine's frame.
std::vector<double> naive_envelope(const envelope_run& r)
{
    const std::size_t size = r.frame.size();
    const std::size_t m = 2 * size;
    std::vector<std::complex<double>> one_sided(m);
    for (std::size_t k = 0; k < size; ++k)
        one_sided[k] = r.frame[k] * (2.0 / static_cast<double>(r.n));
    one_sided[0] *= 0.5;
    if (r.n % 2 == 0 && r.n / 2 < size)
        one_sided[r.n / 2] *= 0.5;
    std::vector<double> envelope(m);
    for (std::size_t t = 0; t < m; ++t) {
        std::complex<double> z;
        for (std::size_t k = 0; k < m; ++k)
            z += one_sided[k] * std::polar(1.0, 2 * pi * double(k * t % m) / double(m));
        envelope[t] = std::abs(z);
    }
    std::vector<double> lines(size);
    for (std::size_t k = 0; k < size; ++k) {
        std::complex<double> e;
        for (std::size_t t = 0; t < m; ++t)
            e += envelope[t] * std::polar(1.0, -2 * pi * double(k * t % m) / double(m));
        lines[k] = std::abs(e) / static_cast<double>(size) * (k == 0 ? 0.5 : 1.0);
    }
    return lines;
}

TEST(SpecEnvelope, ModulatedCarrierGivesOnlyItsEnvelopeLinesRectangular)
{
    const double amplitude = 2.0;
    const double depth = 0.4;
    const auto r = run_envelope(fft::rectangular, 15, 5, depth, amplitude);
    const double c = calibration(fft::rectangular, r.n);
    ASSERT_EQ(r.lines.size(), r.n / 2 + 1); // decimation 1: every bin is a line
    const auto oracle = naive_envelope(r);
    for (std::size_t k = 0; k < r.lines.size(); ++k)
        EXPECT_NEAR(r.lines[k], oracle[k], 1e-9 * amplitude) << "line " << k;
    EXPECT_NEAR(r.lines[0], amplitude * c, 1e-6 * amplitude);
    EXPECT_NEAR(r.lines[5], depth * amplitude * c, 1e-6 * amplitude);
    for (std::size_t k = 1; k < r.lines.size(); ++k) {
        if (k == 5)
            continue;
        EXPECT_NEAR(r.lines[k], 0.0, 1e-6 * amplitude) << "line " << k;
    }
}

TEST(SpecEnvelope, ModulatedCarrierWithHannWithinOnePercent)
{
    const double amplitude = 1.5;
    const double depth = 0.5;
    const auto r = run_envelope(fft::hann, 20, 6, depth, amplitude);
    const double c = calibration(fft::hann, r.n);
    const auto oracle = naive_envelope(r);
    for (std::size_t k = 0; k < r.lines.size(); ++k)
        EXPECT_NEAR(r.lines[k], oracle[k], 1e-9 * amplitude) << "line " << k;
    EXPECT_NEAR(r.lines[0], amplitude * c, 0.01 * amplitude * c);
    EXPECT_NEAR(r.lines[6], depth * amplitude * c, 0.01 * depth * amplitude * c);
}

// Below the source's Nyquist frequency the frame has bins above the band: they
// take no part in the envelope, which is that of the band alone.
TEST(SpecEnvelope, BinsAboveTheBandStayOutOfTheEnvelope)
{
    const auto r = run_envelope(fft::hann, 12, 3, 0.3, 1.0, 200.0);
    ASSERT_EQ(r.n, 50u);
    ASSERT_EQ(r.lines.size(), 21u);
    const auto oracle = naive_envelope(r);
    for (std::size_t k = 0; k < r.lines.size(); ++k)
        EXPECT_NEAR(r.lines[k], oracle[k], 1e-9) << "line " << k;
}

// Runs of any length give the same frames as one run.
TEST(SpecStreaming, RunLengthsDoNotChangeTheFrames)
{
    const auto x = ryx::test::noise(5000, 21);
    const auto frames_for = [&](spec::types type, const std::function<std::size_t()>& sizer) {
        host h(1000.0);
        spec s(type, h.channel());
        s.set_overlap(75);
        s.set_window(fft::hann);
        s.set_average(2);
        std::vector<std::vector<double>> out;
        QObject::connect(&s, &spec::changed, [&] { out.push_back(frame_of(s)); });
        h.push(h.channel(), x, sizer);
        return out;
    };
    for (const auto type : {spec::ausp, spec::spen, spec::phase, spec::psd}) {
        SCOPED_TRACE(int(type));
        const auto whole = frames_for(type, [] { return std::size_t(5000); });
        ASSERT_EQ(whole.size(), 197u);
        EXPECT_EQ(frames_for(type, [] { return std::size_t(1); }), whole);
        EXPECT_EQ(frames_for(type, [] { return std::size_t(37); }), whole);
        std::mt19937 gen(4);
        std::uniform_int_distribution<std::size_t> length(1, 700);
        EXPECT_EQ(frames_for(type, [&] { return length(gen); }), whole);
    }
}

// The source going away leaves the object inert, whoever owns it.
TEST(SpecLifetime, SourceDeletedMidStreamLeavesTheObjectInert)
{
    for (const auto type : {spec::ausp, spec::spen, spec::phase, spec::psd}) {
        SCOPED_TRACE(int(type));
        host h(1000.0);
        auto s = std::make_unique<spec>(type, h.channel());
        s->setParent(nullptr); // the test owns it now
        QPointer<spec> child = new spec(type, h.channel());
        h.push(h.channel(), ryx::test::noise(250, 3), 64);
        h.destroy();
        EXPECT_TRUE(child.isNull());
        EXPECT_EQ(s->ad(), nullptr);
        s->set_frequency(100);
        s->set_resolution(5);
        s->set_window(fft::hann);
        s->set_overlap(50);
        s->set_average(4);
        s->set_type(spec::spen);
        s->set_type(spec::psd);
        EXPECT_DOUBLE_EQ(s->acq_time(), 0.0);
        EXPECT_EQ(s->get_power_density(0, 100), 0.0);
        EXPECT_EQ(s->samples(), 0u);
    }
}

TEST(SpecLifetime, DeletingTheObjectFromItsOwnSignalsIsSafe)
{
    for (const auto type : {spec::ausp, spec::spen, spec::psd}) {
        for (int which = 0; which < 3; ++which) {
            SCOPED_TRACE(std::to_string(int(type)) + " signal " + std::to_string(which));
            host h(1000.0);
            QPointer<spec> s = new spec(type, h.channel());
            s->set_average(2);
            const auto kill = [&] { delete s.data(); };
            if (which == 0)
                QObject::connect(s.data(), &spec::changed, kill);
            else if (which == 1)
                QObject::connect(s.data(), &spec::acquired, kill);
            else
                QObject::connect(s.data(), &spec::progress, kill);
            h.push(h.channel(), ryx::test::noise(450, 6), 250);
            EXPECT_TRUE(s.isNull());
            h.push(h.channel(), ryx::test::noise(450, 7), 250);
        }
    }
}

// Switching the kind from a slot on the object's own signals.
TEST(SpecLifetime, SwitchingKindFromItsOwnSignalsIsSafe)
{
    host h(1000.0);
    spec s(spec::psd, h.channel());
    int calls = 0;
    QObject::connect(&s, &spec::acquired, [&] {
        ++calls;
        s.set_type(s.type() == spec::psd ? spec::ausp : spec::psd);
    });
    h.push(h.channel(), ryx::test::noise(1000, 9), 350);
    EXPECT_EQ(calls, 10);
}

TEST(SpecMeas, BandMeasurements)
{
    const std::vector<double> v{1, 5, 5, 2};
    using ryx::math::spec_meas;
    EXPECT_DOUBLE_EQ(spec_meas::freq_max(v.begin(), v.end(), 2.5), 2.5);
    EXPECT_DOUBLE_EQ(spec_meas::freq_max(v.begin() + 2, v.end(), 2.5), 0.0);
    EXPECT_DOUBLE_EQ(spec_meas::freq_max(v.begin() + 3, v.end(), 2.5), 0.0);
    EXPECT_DOUBLE_EQ(spec_meas::freq_max(v.begin(), v.begin(), 2.5), 0.0);
    EXPECT_DOUBLE_EQ(spec_meas::max(v.begin(), v.end()), 5.0);
    EXPECT_DOUBLE_EQ(spec_meas::rms(v.begin(), v.end()), std::sqrt((1.0 + 25 + 25 + 4) / 4));
    EXPECT_EQ(QMetaEnum::fromType<spec_meas::types>().valueToKey(int(spec_meas::types::freq_max)),
              std::string("freq_max"));
}

} // namespace
