#include <QFile>
#include <QObject>
#include <QSignalSpy>
#include <QTextStream>
#include <algorithm>
#include <cmath>
#include <complex>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "ryx/math/cpsd.h"
#include "ryx/math/fft.h"
#include "ryx/math/psd.h"
#include "support/host.h"

using ryx::math::cpsd;
using ryx::math::fft;
using ryx::math::psd;
using ryx::test::host;
using cplx = std::complex<double>;

namespace {

// One case of tests/data/psd_welch_csd_seed11.txt (tests/tools/gen_psd_golden.py).
struct golden_case
{
    std::string name;
    double rate = 0;
    std::size_t n = 0;
    std::size_t noverlap = 0;
    int window = 0;
    std::vector<double> x, y, pxx;
    std::vector<cplx> pxy;

    std::size_t step() const { return n - noverlap; }
    std::size_t segments() const { return (x.size() - n) / step() + 1; }
    int overlap_percent() const { return noverlap == 0 ? 0 : 75; }
};

std::vector<double> numbers(const QStringList& fields)
{
    std::vector<double> out;
    for (int i = 1; i < fields.size(); ++i)
        out.push_back(fields[i].toDouble());
    return out;
}

const std::vector<golden_case>& golden()
{
    static const std::vector<golden_case> cases = [] {
        std::vector<golden_case> out;
        QFile file(QStringLiteral(RYX_TEST_DATA_DIR "/psd_welch_csd_seed11.txt"));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return out;
        QTextStream in(&file);
        std::vector<double> re;
        while (!in.atEnd()) {
            const QStringList f = in.readLine().split(QLatin1Char(' '), Qt::SkipEmptyParts);
            if (f.isEmpty())
                continue;
            if (f[0] == QLatin1String("case")) {
                golden_case c;
                c.name = f[1].toStdString();
                c.rate = f[2].toDouble();
                c.n = f[3].toULong();
                c.noverlap = f[4].toULong();
                c.window = f[5].toInt();
                out.push_back(c);
            } else if (f[0] == QLatin1String("x")) {
                out.back().x = numbers(f);
            } else if (f[0] == QLatin1String("y")) {
                out.back().y = numbers(f);
            } else if (f[0] == QLatin1String("pxx")) {
                out.back().pxx = numbers(f);
            } else if (f[0] == QLatin1String("pxy_re")) {
                re = numbers(f);
            } else if (f[0] == QLatin1String("pxy_im")) {
                const std::vector<double> im = numbers(f);
                for (std::size_t k = 0; k < im.size(); ++k)
                    out.back().pxy.emplace_back(re[k], im[k]);
            }
        }
        return out;
    }();
    return cases;
}

// The one-sided cross density conj(X) Y of Welch's method over the segments
// [first, first + count), by a plain DFT: the oracle the objects are held to.
std::vector<cplx> welch_reference(const std::vector<double>& x, const std::vector<double>& y,
                                  const std::vector<double>& w, double fs, std::size_t step, std::size_t first,
                                  std::size_t count)
{
    const std::size_t n = w.size();
    const std::size_t bins = n / 2 + 1;
    double sum_w2 = 0;
    for (double v : w)
        sum_w2 += v * v;
    std::vector<cplx> out(bins);
    for (std::size_t s = first; s < first + count; ++s) {
        for (std::size_t k = 0; k < bins; ++k) {
            cplx a, b;
            for (std::size_t i = 0; i < n; ++i) {
                const double phase = -2.0 * M_PI * static_cast<double>((k * i) % n) / static_cast<double>(n);
                const cplx e(std::cos(phase), std::sin(phase));
                a += x[s * step + i] * w[i] * e;
                b += y[s * step + i] * w[i] * e;
            }
            const bool single = k == 0 || (n % 2 == 0 && k == n / 2);
            out[k] += std::conj(a) * b / (fs * sum_w2) * (single ? 1.0 : 2.0) / static_cast<double>(count);
        }
    }
    return out;
}

// |got - want| within `rel` of the line, or of a millionth of the largest line.
template <class A, class B>
void expect_lines(const A& got, const B& want, std::size_t lines, double rel, const std::string& what)
{
    double largest = 0;
    for (std::size_t k = 0; k < lines; ++k)
        largest = std::max(largest, std::abs(cplx(want[k])));
    for (std::size_t k = 0; k < lines; ++k) {
        const double tol = rel * std::max(std::abs(cplx(want[k])), 1e-6 * largest);
        EXPECT_LE(std::abs(cplx(got[k]) - cplx(want[k])), tol)
            << what << " line " << k << ": got " << cplx(got[k]) << ", want " << cplx(want[k]);
    }
}

// Records every run the engine's anti-alias filter publishes: the samples the
// frames are made of.
struct filtered_capture
{
    std::vector<double> samples;
    QMetaObject::Connection link;

    explicit filtered_capture(ryx::analog_data* source)
    {
        for (ryx::analog_data* c : source->child_channels())
            if (c->is_temporary())
                link = QObject::connect(c, &ryx::analog_data::data_changed,
                                        [this, c] { samples.insert(samples.end(), c->begin(), c->end()); });
    }
    ~filtered_capture() { QObject::disconnect(link); }
};

std::vector<double> engine_window(const fft& engine)
{
    return std::vector<double>(engine.window_data(), engine.window_data() + engine.fft_length());
}

// Band at decimation 1 whose frame is the golden case's segment.
template <class T>
void configure(T& object, const golden_case& c)
{
    object.set_frequency(c.rate / 2);
    object.set_resolution(c.rate / static_cast<double>(c.n));
    object.set_window(static_cast<fft::windows>(c.window));
    object.set_average(static_cast<int>(c.segments()));
}

TEST(PsdDensity, ReferenceAgreesWithScipy)
{
    ASSERT_EQ(golden().size(), 5u);
    for (const golden_case& c : golden()) {
        host h(c.rate);
        fft engine(h.channel());
        engine.set_frequency(c.rate / 2);
        engine.set_resolution(c.rate / static_cast<double>(c.n));
        engine.set_window(static_cast<fft::windows>(c.window));
        ASSERT_EQ(engine.fft_length(), c.n) << c.name;
        const std::vector<double> w = engine_window(engine);
        const auto pxx = welch_reference(c.x, c.x, w, c.rate, c.step(), 0, c.segments());
        const auto pxy = welch_reference(c.x, c.y, w, c.rate, c.step(), 0, c.segments());
        expect_lines(pxx, c.pxx, c.pxx.size(), 1e-10, c.name + " welch");
        expect_lines(pxy, c.pxy, c.pxy.size(), 1e-10, c.name + " csd");
    }
}

// Welch's density of the engine's own (filtered) frames, fed in runs shorter
// than a frame, longer than several, and as one run.
TEST(PsdDensity, EqualsWelchOfTheFramesAtDecimationOne)
{
    for (const golden_case& c : golden()) {
        for (std::size_t run : {std::size_t(7), std::size_t(200), c.x.size()}) {
            const std::string what = c.name + " runs of " + std::to_string(run);
            host h(c.rate);
            psd p(h.channel());
            configure(p, c);
            p.engine()->set_overlap(c.overlap_percent());
            ASSERT_EQ(p.engine()->decimation(), 1);
            ASSERT_EQ(p.engine()->fft_length(), c.n);
            ASSERT_EQ(p.size(), c.n / 2 + 1) << "every line is published";
            filtered_capture f(h.channel());
            QSignalSpy changed(&p, &psd::changed);
            h.push(h.channel(), c.x, run);
            ASSERT_EQ(static_cast<std::size_t>(changed.count()), c.segments()) << what;
            ASSERT_EQ(f.samples.size(), c.x.size());
            const auto want = welch_reference(f.samples, f.samples, engine_window(*p.engine()), c.rate, c.step(), 0,
                                              c.segments());
            expect_lines(p, want, p.size(), 1e-9, what);
            for (double v : p)
                EXPECT_GE(v, 0.0);
        }
    }
}

TEST(CpsdDensity, EqualsCsdOfTheFramePairsWhateverTheFeedingOrder)
{
    enum order { interleaved, a_first, b_first };
    for (const golden_case& c : golden()) {
        for (std::size_t run : {std::size_t(7), std::size_t(200)}) {
            for (order o : {interleaved, a_first, b_first}) {
                const std::string what = c.name + " runs of " + std::to_string(run) + " order " + std::to_string(o);
                host h(c.rate, 2);
                cpsd x(h.channel(0), h.channel(1));
                configure(x, c);
                x.engine_a()->set_overlap(c.overlap_percent());
                x.engine_b()->set_overlap(c.overlap_percent());
                ASSERT_EQ(x.size(), c.n / 2 + 1);
                filtered_capture fa(h.channel(0));
                filtered_capture fb(h.channel(1));
                QSignalSpy changed(&x, &cpsd::changed);
                if (o == interleaved) {
                    for (std::size_t at = 0; at < c.x.size(); at += run) {
                        const std::size_t end = std::min(at + run, c.x.size());
                        h.push(h.channel(0), std::vector<double>(c.x.begin() + at, c.x.begin() + end));
                        h.push(h.channel(1), std::vector<double>(c.y.begin() + at, c.y.begin() + end));
                    }
                } else {
                    h.push(h.channel(o == a_first ? 0 : 1), o == a_first ? c.x : c.y, run);
                    EXPECT_EQ(changed.count(), 0) << what;
                    EXPECT_EQ(x.pending(), c.segments()) << what;
                    h.push(h.channel(o == a_first ? 1 : 0), o == a_first ? c.y : c.x, run);
                }
                ASSERT_EQ(static_cast<std::size_t>(changed.count()), c.segments()) << what;
                EXPECT_EQ(x.pending(), 0u) << what;
                const auto want = welch_reference(fa.samples, fb.samples, engine_window(*x.engine_a()), c.rate,
                                                  c.step(), 0, c.segments());
                expect_lines(x, want, x.size(), 1e-9, what);
            }
        }
    }
}

TEST(PsdAveraging, PublishesTheMeanSoFarThenSlidesOverTheLastFrames)
{
    const golden_case& c = golden().at(1); // Hann, 75 % overlap, 21 frames
    host h(c.rate);
    psd p(h.channel());
    configure(p, c);
    p.engine()->set_overlap(75);
    p.set_average(8);
    filtered_capture f(h.channel());
    QSignalSpy acquired(&p, &psd::acquired);
    std::vector<std::vector<double>> published;
    QObject::connect(&p, &psd::changed, [&] { published.push_back(p); });
    h.push(h.channel(), c.x, 50);
    ASSERT_EQ(published.size(), c.segments());
    const std::vector<double> w = engine_window(*p.engine());
    for (std::size_t j = 0; j < published.size(); ++j) {
        const std::size_t first = j + 1 > 8 ? j + 1 - 8 : 0;
        const auto want = welch_reference(f.samples, f.samples, w, c.rate, c.step(), first, j + 1 - first);
        expect_lines(published[j], want, p.size(), 1e-9, "frame " + std::to_string(j + 1));
    }
    ASSERT_EQ(acquired.count(), static_cast<int>(c.segments()));
    for (int j = 0; j < acquired.count(); ++j)
        EXPECT_DOUBLE_EQ(acquired[j][0].toDouble(), 12.5 * (j % 8 + 1)) << "frame " << j + 1;
    EXPECT_DOUBLE_EQ(p.acq(), 12.5 * (c.segments() - 16));
}

// The lines of a density times the resolution sum to the mean square of the
// decimated frame (weighted by the window's square): Parseval for the
// periodogram. Rate 1000 Hz, band 250 Hz: decimation 2, N = 50, every line
// published (the Nyquist line included).
TEST(PsdScale, ParsevalForNoiseAndTones)
{
    for (fft::windows win : {fft::rectangular, fft::hann, fft::flattop}) {
        host h(1000.0);
        psd p(h.channel());
        p.set_frequency(250.0);
        p.set_window(win);
        p.set_average(1);
        ASSERT_EQ(p.engine()->decimation(), 2);
        ASSERT_EQ(p.size(), p.engine()->bin_count());
        filtered_capture f(h.channel());
        const std::vector<double> x = ryx::test::noise(1000, 5);
        h.push(h.channel(), x, 64);
        // The last frame: decimated filtered samples 900, 902, ... 998.
        const std::vector<double> w = engine_window(*p.engine());
        double weighted = 0, w2 = 0;
        for (std::size_t i = 0; i < w.size(); ++i) {
            const double v = f.samples[900 + 2 * i];
            weighted += v * v * w[i] * w[i];
            w2 += w[i] * w[i];
        }
        double sum = 0;
        for (double v : p)
            sum += v * p.resolution();
        EXPECT_NEAR(sum, weighted / w2, 1e-12 * weighted / w2) << "window " << win;
    }

    // A tone of amplitude 2 on line 5 over an offset 0.5: the tone's power A^2 / 2
    // on line 5 (split 1/6, 2/3, 1/6 over lines 4..6 by Hann), the offset's D^2 on
    // line 0; within the anti-alias filter's pass-band gain.
    for (fft::windows win : {fft::rectangular, fft::hann}) {
        host h(1000.0);
        psd p(h.channel());
        p.set_window(win);
        p.set_average(1);
        h.push(h.channel(), ryx::test::sine(4000, 1000.0, 50.0, 2.0, 0.5), 333);
        const double df = p.resolution();
        const double tone = win == fft::hann ? (p[4] + p[5] + p[6]) * df : p[5] * df;
        EXPECT_NEAR(tone, 2.0, 0.02) << "window " << win;
        if (win == fft::hann) {
            EXPECT_NEAR(p[5] * df, 2.0 * 2.0 / 3.0, 0.02);
            EXPECT_NEAR(p[0] * df, 0.25 * 2.0 / 3.0, 0.0025);
        } else {
            EXPECT_NEAR(p[0] * df, 0.25, 0.0025);
            EXPECT_LT(p[3] * df, 1e-6);
        }
    }
}

TEST(PsdSettings, WindowPowerAverageAndForwardedSignals)
{
    host h(1000.0);
    psd p(h.channel());
    EXPECT_DOUBLE_EQ(p.window_power(), 1.051 * 1.051);
    EXPECT_DOUBLE_EQ(p.window_power(), 1.104601);
    EXPECT_EQ(p.size(), 21u);

    QSignalSpy average(&p, &psd::average_changed);
    QSignalSpy init(&p, &psd::initialized);
    p.set_average(0);
    p.set_average(-4);
    p.set_average(8);
    EXPECT_EQ(p.average(), 8);
    EXPECT_EQ(average.count(), 0);
    EXPECT_EQ(init.count(), 0);
    p.set_average(4);
    EXPECT_EQ(average.count(), 1);
    EXPECT_DOUBLE_EQ(p.acq_time(), 4 * p.engine()->acq_time());

    QSignalSpy frequency(&p, &psd::frequency_changed);
    QSignalSpy resolution(&p, &psd::resolution_changed);
    QSignalSpy window(&p, &psd::window_changed);
    QSignalSpy lines(&p, &psd::lines_changed);
    p.set_frequency(100.0);
    p.set_resolution(5.0);
    p.set_window(fft::hann);
    p.set_lines(40);
    EXPECT_EQ(frequency.count(), 1);
    EXPECT_EQ(resolution.count(), 2); // by itself and through set_lines
    EXPECT_EQ(window.count(), 1);
    EXPECT_EQ(lines.count(), 1);
    EXPECT_EQ(p.window(), fft::hann);
    EXPECT_EQ(p.size(), p.engine()->size()) << "rebuilt on the engine's initialized()";
    // The host's scripts reach the same settings as properties.
    EXPECT_TRUE(p.setProperty("average", 3));
    EXPECT_EQ(p.average(), 3);
    EXPECT_EQ(p.property("window").value<fft::windows>(), fft::hann);
    EXPECT_DOUBLE_EQ(p.property("frequency").toDouble(), 100.0);

    QSignalSpy changed(&p, &psd::changed);
    p.stop_acq();
    h.push(h.channel(), ryx::test::noise(5000), 100);
    EXPECT_EQ(changed.count(), 0);
}

TEST(CpsdPairing, QueueIsBoundedAndAChannelWithItselfIsItsPsd)
{
    host h(1000.0, 2);
    cpsd x(h.channel(0), h.channel(1));
    x.set_average(1);
    const std::vector<double> a = ryx::test::noise(100 * 600, 3);
    h.push(h.channel(0), a, 1000);
    EXPECT_EQ(x.pending(), cpsd::max_pending);
    QSignalSpy changed(&x, &cpsd::changed);
    h.push(h.channel(1), a, 1000);
    // a's frames 1 .. 88 were dropped: b's first 88 have no partner, the rest do.
    EXPECT_EQ(changed.count(), static_cast<int>(cpsd::max_pending));
    EXPECT_EQ(x.pending(), 0u);

    // The same samples on both: the cross density is the density, real.
    psd p(h.channel(0));
    p.set_average(1);
    h.push(h.channel(0), a, 777);
    h.push(h.channel(1), a, 333);
    ASSERT_EQ(p.size(), x.size());
    for (std::size_t k = 0; k < p.size(); ++k) {
        EXPECT_NEAR(x[k].real(), p[k], 1e-12 * p[k] + 1e-300) << "line " << k;
        EXPECT_EQ(x[k].imag(), 0.0) << "line " << k;
    }
}

TEST(CpsdPairing, EnginesOfDifferentLengthsMeetOnTheShorter)
{
    host h(1000.0, 2);
    fft fa(h.channel(0));
    fft fb(h.channel(1));
    fb.set_resolution(20.0);
    cpsd x(&fa, &fb);
    EXPECT_EQ(x.size(), fa.size());
    ASSERT_LT(fb.size(), fa.size());
    QSignalSpy changed(&x, &cpsd::changed);
    const std::vector<double> s = ryx::test::noise(2000, 9);
    h.push(h.channel(0), s, 100);
    h.push(h.channel(1), s, 100);
    EXPECT_GT(changed.count(), 0);
    for (std::size_t k = fb.size(); k < x.size(); ++k)
        EXPECT_EQ(x[k], cplx()) << "line " << k;
    EXPECT_NE(x[1], cplx());
}

TEST(PsdLifetime, GoneSourcesAndEnginesLeaveTheObjectsInert)
{
    // A borrowed engine deleted by its owner.
    {
        host h(1000.0);
        auto* engine = new fft(h.channel());
        psd p(engine);
        h.push(h.channel(), ryx::test::noise(500), 64);
        delete engine;
        QSignalSpy changed(&p, &psd::changed);
        h.push(h.channel(), ryx::test::noise(500), 64);
        EXPECT_EQ(changed.count(), 0);
        p.set_frequency(100.0);
        p.set_average(3);
        EXPECT_EQ(p.engine(), nullptr);
    }
    // The second channel's whole device deleted mid-stream.
    {
        host ha(1000.0);
        auto hb = std::make_unique<host>(1000.0);
        cpsd x(ha.channel(), hb->channel());
        hb->push(hb->channel(), ryx::test::noise(450), 64);
        ha.push(ha.channel(), ryx::test::noise(250), 64);
        hb.reset();
        QSignalSpy changed(&x, &cpsd::changed);
        ha.push(ha.channel(), ryx::test::noise(1000), 64);
        EXPECT_EQ(changed.count(), 0);
        x.set_lines(10);
    }
    // The source's device deleted with the objects on it (they are its children).
    {
        auto h = std::make_unique<host>(1000.0, 2);
        new psd(h->channel(0));
        new cpsd(h->channel(0), h->channel(1));
        h->push(h->channel(0), ryx::test::noise(300), 64);
        h.reset();
    }
}

TEST(PsdLifetime, DeletedFromItsOwnSignals)
{
    host h(1000.0, 2);
    const std::vector<double> s = ryx::test::noise(1000, 4);
    {
        auto* p = new psd(h.channel(0));
        QObject::connect(p, &psd::acquired, [p] { delete p; });
        h.push(h.channel(0), s, 250);
    }
    {
        auto* p = new psd(h.channel(0));
        QObject::connect(p, &psd::changed, [p] { delete p; });
        h.push(h.channel(0), s, 250);
    }
    {
        auto* x = new cpsd(h.channel(0), h.channel(1));
        QObject::connect(x, &cpsd::changed, [x] { delete x; });
        h.push(h.channel(0), s, 1000);
        h.push(h.channel(1), s, 1000);
    }
    {
        auto* x = new cpsd(h.channel(0), h.channel(1));
        QObject::connect(x, &cpsd::acquired, [x] { delete x; });
        h.push(h.channel(1), s, 1000);
        h.push(h.channel(0), s, 1000);
    }
    SUCCEED();
}

} // namespace
