#include <QPointer>
#include <QSignalSpy>
#include <cmath>
#include <complex>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

#include "ryx/math/fft.h"
#include "ryx/math/detail/fft_plans.h"
#include "ryx/math/filter_iir.h"
#include "ryx/core/device.h"
#include "support/host.h"

using ryx::math::fft;
using ryx::test::host;

namespace {

TEST(FftEngine, WorkedExampleAtOneKilohertz)
{
    host h(1000.0);
    fft engine(h.channel());
    EXPECT_EQ(engine.decimation(), 2);
    EXPECT_DOUBLE_EQ(engine.fs(), 500.0);
    EXPECT_DOUBLE_EQ(engine.nyquist(), 250.0);
    EXPECT_DOUBLE_EQ(engine.resolution(), 10.0);
    EXPECT_EQ(engine.lines(), 20);
    EXPECT_EQ(engine.frame_length(), 100u);
    EXPECT_EQ(engine.fft_length(), 50u);
    EXPECT_EQ(engine.bin_count(), 26u);
    EXPECT_EQ(engine.size(), 21u);
    EXPECT_EQ(engine.size_all(), 26u);
    EXPECT_EQ(engine.ad(), h.channel());
}

TEST(FftEngine, ToneOnALineLandsOnItsBin)
{
    host h(1000.0);
    fft engine(h.channel());
    QSignalSpy frames(&engine, &fft::changed);
    // 50 Hz: line 5 of the 10 Hz grid; the anti-alias filter passes it.
    h.push(h.channel(), ryx::test::sine(2000, 1000.0, 50.0, 1.0), 64);
    ASSERT_EQ(frames.count(), 20);
    std::size_t peak = 0;
    for (std::size_t k = 0; k < engine.size(); ++k)
        if (std::abs(engine[k]) > std::abs(engine[peak]))
            peak = k;
    EXPECT_EQ(peak, 5u);
}

} // namespace

namespace {

using ryx::math::filter_iir;

// Every filtered sample the engine reads, captured from its anti-alias channel.
struct filtered_tap
{
    std::vector<double> samples;
    explicit filtered_tap(ryx::analog_data* source)
    {
        auto* f = source->findChild<filter_iir*>();
        QObject::connect(f, &ryx::analog_data::data_changed, f,
                         [this, f] { samples.insert(samples.end(), f->cbegin(), f->cend()); });
    }
};

// The engine's frames computed independently: decimate, window, pad, naive DFT.
std::vector<std::vector<std::complex<double>>> expected_frames(const fft& e, const std::vector<double>& x)
{
    const std::size_t L = e.frame_length(), N = e.fft_length(), T = e.transform_length();
    const std::size_t step = L - L * static_cast<std::size_t>(e.overlap()) / 100;
    const auto dec = static_cast<std::size_t>(e.decimation());
    std::vector<std::vector<std::complex<double>>> out;
    for (std::size_t start = 0; start + L <= x.size(); start += step) {
        std::vector<double> frame(T, 0.0);
        for (std::size_t i = 0; i < N && i * dec < L; ++i)
            frame[i] = x[start + i * dec] * e.window_data()[i];
        std::vector<std::complex<double>> bins(T / 2 + 1);
        for (std::size_t k = 0; k < bins.size(); ++k) {
            std::complex<long double> sum = 0;
            for (std::size_t n = 0; n < T; ++n) {
                const long double a = -2.0L * M_PIl * static_cast<long double>((k * n) % T) / static_cast<long double>(T);
                sum += std::complex<long double>(frame[n] * std::cos(a), frame[n] * std::sin(a));
            }
            bins[k] = std::complex<double>(static_cast<double>(sum.real()), static_cast<double>(sum.imag()));
        }
        out.push_back(bins);
    }
    return out;
}

struct frame_log
{
    std::vector<std::vector<std::complex<double>>> frames;
    std::vector<int> order; // 1: changed(), 2: progress(1.0), 0: other progress
    explicit frame_log(fft& e)
    {
        QObject::connect(&e, &fft::changed, &e, [this, &e] {
            frames.emplace_back(e.begin(), e.begin() + static_cast<std::ptrdiff_t>(e.transform_length() / 2 + 1));
            order.push_back(1);
        });
        QObject::connect(&e, &fft::progress, &e, [this](double p) { order.push_back(p == 1.0 ? 2 : 0); });
    }
};

TEST(FftEngine, FramesEqualANaiveDftOfTheFilteredDecimatedWindowedFrames)
{
    struct row { double rate, frequency, resolution; fft::windows window; int overlap; double pad; std::size_t run; };
    const row rows[] = {
        {1000.0, 200.0, 10.0, fft::hann, 0, 0.0, 64},
        {1000.0, 200.0, 10.0, fft::flattop, 75, 0.0, 1000},   // runs longer than a frame, overlapping
        {1000.0, 100.0, 10.0, fft::blackman, 50, 1.0, 37},    // decimation 5, padded to 2N
        {48000.0, 24000.0, 750.0, fft::rectangular, 25, 0.5, 4096},
        {51200.0, 5000.0, 100.0, fft::bartlett_hann, 90, 0.0, 1024},
        {1024.0, 128.0, 8.0, fft::hann, 75, 0.0, 13},        // decimation 4, frames keep their picks only
        {1024.0, 128.0, 8.0, fft::hann, 70, 0.0, 13},        // advance not a multiple of 4: all samples kept
    };
    for (const row& r : rows) {
        SCOPED_TRACE(testing::Message() << "rate " << r.rate << " f " << r.frequency << " window " << r.window
                                        << " overlap " << r.overlap << " pad " << r.pad << " run " << r.run);
        host h(r.rate);
        fft e(h.channel());
        e.set_frequency(r.frequency);
        e.set_resolution(r.resolution);
        e.set_window(r.window);
        e.set_overlap(r.overlap);
        e.set_zero_padding_coef(r.pad);
        filtered_tap tap(h.channel());
        frame_log log(e);
        const std::size_t total = e.frame_length() * 6 + 17;
        h.push(h.channel(), ryx::test::noise(total, 3), r.run);
        const auto want = expected_frames(e, tap.samples);
        ASSERT_EQ(log.frames.size(), want.size());
        EXPECT_EQ(e.frames(), want.size());
        EXPECT_EQ(e.samples(), total);
        for (std::size_t f = 0; f < want.size(); ++f)
            for (std::size_t k = 0; k < want[f].size(); ++k)
                ASSERT_LT(std::abs(log.frames[f][k] - want[f][k]), 1e-11 * static_cast<double>(e.fft_length()))
                    << "frame " << f << " bin " << k;
        // Each computed frame is announced by changed() and then progress(1.0).
        for (std::size_t i = 0; i < log.order.size(); ++i) {
            if (log.order[i] == 1) {
                ASSERT_TRUE(i + 1 < log.order.size() && log.order[i + 1] == 2);
            }
        }
    }
}

TEST(FftEngine, RunsOfAnyLengthGiveTheSameFramesAsOneRun)
{
    const auto x = ryx::test::noise(5000, 9);
    std::vector<std::vector<std::complex<double>>> reference;
    for (std::size_t run : {std::size_t(5000), std::size_t(1), std::size_t(7), std::size_t(99), std::size_t(100), std::size_t(333)}) {
        host h(1000.0);
        fft e(h.channel());
        e.set_overlap(60);
        e.set_window(fft::hann);
        frame_log log(e);
        h.push(h.channel(), x, run);
        if (reference.empty())
            reference = log.frames;
        else
            EXPECT_EQ(log.frames, reference) << "runs of " << run;
    }
    EXPECT_EQ(reference.size(), 1u + (5000u - 100u) / 40u);
}

TEST(FftEngine, SettersStoreOnlyChangesAndRefuseValuesOutOfRange)
{
    host h(1000.0);
    fft e(h.channel());
    QSignalSpy init(&e, &fft::initialized);
    QSignalSpy freq(&e, &fft::frequency_changed);

    e.set_frequency(200.0 + 1e-10); // equal within 1e-9
    e.set_overlap(0);
    e.set_window(fft::rectangular);
    e.set_lines(0);
    e.set_overlap(100);
    e.set_overlap(-1);
    e.set_zero_padding_coef(-0.5);
    e.set_zero_padding_coef(std::nan(""));
    e.set_zero_padding_coef(1e9); // a transform beyond memory
    e.set_frequency(std::nan(""));
    e.set_frequency(-3.0);
    e.set_resolution(0.0);
    e.set_resolution(250.0); // not below nyquist
    e.set_resolution(1e-300); // a frame beyond memory
    EXPECT_EQ(init.count(), 0);
    EXPECT_EQ(freq.count(), 0);
    EXPECT_EQ(e.overlap(), 0);
    EXPECT_DOUBLE_EQ(e.resolution(), 10.0);

    e.set_frequency(1e6); // clamped to half the rate
    EXPECT_DOUBLE_EQ(e.frequency(), 500.0);
    EXPECT_EQ(e.decimation(), 1);
    EXPECT_EQ(freq.count(), 1);

    // set_lines asks for frequency / n and reports even a refused value.
    QSignalSpy lines(&e, &fft::lines_changed);
    e.set_lines(100);
    EXPECT_EQ(lines.count(), 1);
    EXPECT_DOUBLE_EQ(e.resolution(), 5.0);
    EXPECT_EQ(e.lines(), 100);
    EXPECT_EQ(e.size(), 101u);
}

TEST(FftEngine, WindowTableValues)
{
    host h(1000.0);
    fft e(h.channel()); // N = 50
    ASSERT_EQ(e.fft_length(), 50u);
    for (std::size_t n = 0; n < 50; ++n)
        EXPECT_EQ(e.window_data()[n], 1.051);
    e.set_window(fft::half_rect);
    for (std::size_t n = 0; n < 50; ++n)
        EXPECT_EQ(e.window_data()[n], n < 25 ? 1.0 : 0.0) << n;
    // Periodic windows: the centre of the frame is the peak, the first value the foot.
    const struct { fft::windows w; double foot, peak; } shapes[] = {
        {fft::cosine, 0.0, 1.626},
        {fft::hann, 0.0, 2.07},
        {fft::hamming, 0.08 * 1.918, 1.918},
        {fft::blackman, 0.0, 2.464},
        {fft::blackman_harris, (0.359 - 0.488 + 0.141 - 0.012) * 2.883, 2.883},
        {fft::flattop, (1.0 - 1.93 + 1.29 - 0.388 + 0.032) * 1.035, (1.0 + 1.93 + 1.29 + 0.388 + 0.032) * 1.035},
        {fft::bartlett_hann, (0.62 - 0.24 - 0.38) * 1.669, (0.62 + 0.38) * 1.669},
    };
    for (const auto& s : shapes) {
        e.set_window(s.w);
        EXPECT_NEAR(e.window_data()[0], s.foot, 1e-12) << s.w;
        EXPECT_NEAR(e.window_data()[25], s.peak, 1e-12) << s.w;
        EXPECT_NEAR(e.window_data()[10], e.window_data()[40], 1e-12) << s.w; // symmetric about N/2
    }
}

TEST(FftEngine, InitEmptiesTheFrameAndTheCount)
{
    host h(1000.0);
    fft e(h.channel());
    h.push(h.channel(), ryx::test::noise(130));
    EXPECT_EQ(e.samples(), 130u);
    QSignalSpy progress(&e, &fft::progress);
    e.set_overlap(50);
    EXPECT_EQ(e.samples(), 0u);
    h.push(h.channel(), ryx::test::noise(20));
    ASSERT_EQ(progress.count(), 1);
    EXPECT_DOUBLE_EQ(progress.at(0).at(0).toDouble(), 0.2);
}

TEST(FftEngine, CachedPlansComputeWhatAFreshPlanComputes)
{
    namespace d = ryx::math::detail;
    for (int n : {1, 2, 3, 7, 50, 64, 97, 100, 1000, 1024, 4096, 5003}) {
        SCOPED_TRACE(n);
        const auto x = ryx::test::noise(static_cast<std::size_t>(n), static_cast<unsigned>(n));
        std::vector<double> in(x), in2(x);
        std::vector<std::complex<double>> a(static_cast<std::size_t>(n / 2 + 1)), b(a.size());
        d::fft_r2c(n, in.data(), a.data());
        d::fft_r2c_fresh(n, in2.data(), b.data());
        EXPECT_EQ(a, b);

        std::vector<std::complex<double>> c(static_cast<std::size_t>(n)), c2, o1(c.size()), o2(c.size());
        for (std::size_t i = 0; i < c.size(); ++i)
            c[i] = {x[i], x[(i * 7) % c.size()]};
        c2 = c;
        d::fft_c2c(n, +1, c.data(), o1.data());
        d::fft_c2c_fresh(n, +1, c2.data(), o2.data());
        EXPECT_EQ(o1, o2);

        std::vector<std::complex<double>> h1(a), h2(a);
        std::vector<double> r1(static_cast<std::size_t>(n)), r2(r1.size());
        d::fft_c2r(n, h1.data(), r1.data());
        d::fft_c2r_fresh(n, h2.data(), r2.data());
        EXPECT_EQ(r1, r2);
    }
    EXPECT_LE(d::fft_cached_plans(), d::fft_plan_capacity);
}

TEST(FftEngine, PlanCacheStaysBoundedAndCorrectAcrossManyShapes)
{
    namespace d = ryx::math::detail;
    for (int n = 2; n < 2 + 3 * static_cast<int>(d::fft_plan_capacity); ++n) {
        std::vector<double> in(static_cast<std::size_t>(n), 0.0);
        in[1] = 1.0; // a unit impulse at 1: bin k = exp(-2 pi i k / n)
        std::vector<std::complex<double>> out(static_cast<std::size_t>(n / 2 + 1));
        d::fft_r2c(n, in.data(), out.data());
        const double a = -2.0 * M_PI * static_cast<double>(n / 2) / n;
        ASSERT_NEAR(out.back().real(), std::cos(a), 1e-12) << n;
        ASSERT_NEAR(out.back().imag(), std::sin(a), 1e-12) << n;
    }
    EXPECT_EQ(d::fft_cached_plans(), d::fft_plan_capacity);
}

TEST(FftEngine, ChannelWithoutRateStaysEmptyAndInert)
{
    ryx::device dev(QStringLiteral("d"));
    ryx::analog_data* ch = dev.add_channel(QStringLiteral("ch"), 0.0);
    fft e(ch);
    EXPECT_EQ(e.size(), 0u);
    EXPECT_EQ(e.frame_length(), 0u);
    EXPECT_EQ(e.window_data(), nullptr);
    QSignalSpy frames(&e, &fft::changed);
    const auto x = ryx::test::noise(1000);
    ch->analog_data::set_data(x.cbegin(), x.cend());
    EXPECT_EQ(frames.count(), 0);
    EXPECT_DOUBLE_EQ(e.acq_time(), 0.0);

    // Given a rate later, it frames with the band it then sets.
    ch->set_rate(1000.0);
    e.set_frequency(200.0);
    EXPECT_EQ(e.frame_length(), 100u);
    ch->analog_data::set_data(x.cbegin(), x.cend());
    EXPECT_EQ(frames.count(), 10);
}

TEST(FftEngine, RateChangesKeepTheFrameWithinBounds)
{
    host h(1000.0);
    fft e(h.channel());
    e.set_resolution(0.5);
    h.channel()->set_rate(1e12); // a frame of 2e12 samples would exhaust memory
    EXPECT_LE(e.frame_length(), fft::max_frame_length);
    EXPECT_GE(e.size(), 1u);
    EXPECT_LE(e.size(), e.bin_count());
    h.push(h.channel(), ryx::test::noise(3000), 1000);
    // Back at the old rate the coarse resolution stays until the band is set again.
    h.channel()->set_rate(1000.0);
    EXPECT_GE(e.frame_length(), 1u);
    EXPECT_LE(e.size(), e.bin_count());
    h.push(h.channel(), ryx::test::noise(300), 100);
    e.set_resolution(10.0);
    EXPECT_EQ(e.frame_length(), 100u);
}

TEST(FftEngine, ListenersMayDeleteOrReconfigureTheEngineMidRun)
{
    const auto x = ryx::test::noise(2000, 4);
    {
        host h(1000.0);
        auto* e = new fft(h.channel());
        int frames = 0;
        QObject::connect(e, &fft::changed, e, [&frames, e] { ++frames; delete e; }, Qt::DirectConnection);
        h.push(h.channel(), x); // several frames in one run: the first deletes the engine
        EXPECT_EQ(frames, 1);
        h.push(h.channel(), x);
    }
    {
        host h(1000.0);
        fft e(h.channel());
        int frames = 0;
        QObject::connect(&e, &fft::changed, &e, [&] {
            if (++frames == 2)
                e.set_resolution(5.0); // the rest of the run fills the new, longer frame
        });
        h.push(h.channel(), x);
        EXPECT_EQ(frames, 2 + (2000 - 200) / 200);
    }
    {
        // The engine is a QObject child of its channel: a listener that deletes
        // the whole tree mid-run deletes the engine inside its own frame step.
        host h(1000.0);
        QPointer<fft> e = new fft(h.channel());
        int frames = 0;
        QObject::connect(e, &fft::changed, e, [&] { ++frames; h.destroy(); });
        h.push(h.channel(), x);
        EXPECT_EQ(frames, 1);
        EXPECT_TRUE(e.isNull());
    }
    {
        // The filter channel alone goes: the engine stays, inert.
        host h(1000.0);
        fft e(h.channel());
        delete h.channel()->findChild<filter_iir*>();
        EXPECT_EQ(e.ad(), nullptr);
        h.push(h.channel(), x);
        EXPECT_EQ(e.samples(), 0u);
        e.set_frequency(100.0);
        e.init();
        EXPECT_EQ(e.size(), 0u);
        QObject::disconnect(&e, nullptr, nullptr, nullptr);
        e.setParent(nullptr);
    }
}

} // namespace
