#include <QJsonObject>
#include <QMetaEnum>
#include <QSignalSpy>
#include <cmath>
#include <complex>
#include <gtest/gtest.h>
#include <vector>

#include "ryx/math/fftw/phase.h"
#include "settings.h"
#include "support/host.h"

using ryx::math::fftw::phase;
using ryx::math::fftw::sngl;
using ryx::test::host;
using ryx::test::undecimated;

namespace {

constexpr double pi = 3.14159265358979323846;

std::vector<double> cosine(std::size_t n, double rate, double f, double amplitude, double phi)
{
    return ryx::test::sine(n, rate, f, amplitude, 0.0, phi + pi / 2.0);
}

// An angle brought into (-pi, pi].
double wrapped(double a)
{
    a = std::remainder(a, 2.0 * pi);
    return a <= -pi ? a + 2.0 * pi : a;
}

// The argument of each line of the (rectangular) frame's DFT, computed directly;
// lines 0 and N/2 of a real frame are real.
std::vector<double> dft_args(const std::vector<double>& frame)
{
    const std::size_t n = frame.size();
    std::vector<double> out(n / 2 + 1);
    for (std::size_t k = 0; k < out.size(); ++k) {
        std::complex<long double> sum = 0;
        for (std::size_t j = 0; j < n; ++j)
            sum += std::polar<long double>(frame[j], -2.0L * static_cast<long double>(pi)
                                                         * static_cast<long double>(k * j % n)
                                                         / static_cast<long double>(n));
        if (k == 0 || 2 * k == n)
            sum.imag(0.0L);
        out[k] = static_cast<double>(std::arg(sum));
    }
    return out;
}

std::vector<double> frame_input(const sngl& a)
{
    std::vector<double> in;
    for (const QJsonValue& v : a.property("input_data").toJsonArray())
        in.push_back(v.toDouble());
    return in;
}

// Two cosines on a line, phases phi0 and phi1, through two analysers: the
// lines differ by phi1 - phi0 whatever the delay of the decimator's stage; each
// line is the argument of the DFT of the frame taken. Ranges add constant
// offsets, degrees scale by 180/pi. Single precision samples: 1e-5 rad.
TEST(PhaseAnalyser, CosinePhaseInEachViewAndRange)
{
    const double rate = 1000.0, phi0 = 0.3, phi1 = 1.9;
    host h(rate, 2);
    phase a(h.channel(0), undecimated(rate, 500)); // N 1000, 1 Hz lines, rectangular
    phase b(h.channel(1), undecimated(rate, 500));
    ASSERT_EQ(a.decimation(), 1u);
    std::vector<double> taken;
    QObject::connect(&b, &sngl::changed, &b, [&] { taken = frame_input(b); });
    h.push(h.channel(0), cosine(3000, rate, 50.0, 2.0, phi0), 250);
    h.push(h.channel(1), cosine(3000, rate, 50.0, 2.0, phi1), 250);
    ASSERT_EQ(b.frame_count(), 3u);
    ASSERT_EQ(taken.size(), 1000u);
    const double rad0 = a[50], rad1 = b[50];
    EXPECT_NEAR(wrapped(rad1 - rad0), phi1 - phi0, 1e-5);
    EXPECT_NEAR(rad1, dft_args(taken)[50], 1e-12);

    QSignalSpy changed(&b, &sngl::changed);
    b.set_view(phase::deg);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_NEAR(b[50], rad1 * 180.0 / pi, 1e-12);
    b.set_range(phase::positive);
    EXPECT_NEAR(b[50], (rad1 + pi) * 180.0 / pi, 1e-12);
    EXPECT_NEAR(b[50], rad1 * 180.0 / pi + 180.0, 1e-12);
    EXPECT_TRUE(b.set_parameter("phase_view", 0));
    EXPECT_NEAR(b[50], rad1 + pi, 1e-15);
    EXPECT_TRUE(b.set_parameter("phase_range", 2));
    EXPECT_EQ(b.range(), phase::negative);
    EXPECT_NEAR(b[50], rad1 - pi, 1e-15);
    EXPECT_EQ(changed.count(), 4);
    // Unknown values: radians, no offset.
    b.set_range(static_cast<phase::ranges>(5));
    b.set_view(static_cast<phase::views>(-1));
    EXPECT_DOUBLE_EQ(b[50], rad1);
}

// Noise, three frames averaged: every line is the mean of the frames' arguments
// plus the range's offset, without unwrapping.
TEST(PhaseAnalyser, AveragesTheOffsetArgumentsOfEveryLine)
{
    const double rate = 1000.0;
    const std::size_t n = 64;
    host h(rate);
    phase p(h.channel(), undecimated(rate, 32, QJsonObject{{"avg", 3}, {"range", 1}, {"view", 1}}));
    EXPECT_EQ(p.view(), phase::deg);
    EXPECT_EQ(p.range(), phase::positive);
    std::vector<std::vector<double>> taken;
    QObject::connect(&p, &sngl::changed, &p, [&] { taken.push_back(frame_input(p)); });
    h.push(h.channel(), ryx::test::noise(n * 4, 9), 50);
    ASSERT_EQ(taken.size(), 4u);
    std::vector<double> want(n / 2 + 1, 0.0);
    for (std::size_t f = 1; f < 4; ++f) {
        const auto args = dft_args(taken[f]);
        for (std::size_t k = 0; k < want.size(); ++k)
            want[k] += (args[k] + pi) / 3.0;
    }
    ASSERT_EQ(p.size(), want.size());
    for (std::size_t k = 0; k < want.size(); ++k)
        EXPECT_NEAR(p[k], want[k] * 57.29577951308232, 1e-9) << "line " << k;

    p.set_range(phase::negative);
    p.set_view(phase::rad);
    for (std::size_t k = 0; k < want.size(); ++k)
        EXPECT_NEAR(p[k], want[k] - 2.0 * pi, 1e-12) << "line " << k;
}

TEST(PhaseAnalyser, EditorKeysAndItems)
{
    host h(51200.0);
    phase p(h.channel(), QJsonObject());
    const QJsonArray keys = p.parameter_keys();
    ASSERT_EQ(keys.size(), 9);
    EXPECT_EQ(keys[5].toString(), "window");
    EXPECT_EQ(keys[6].toString(), "phase_view");
    EXPECT_EQ(keys[7].toString(), "phase_range");
    EXPECT_EQ(keys[8].toString(), "acq_time");

    const QJsonObject view = p.parameter("phase_view");
    EXPECT_EQ(view.value("type").toString(), "combobox");
    EXPECT_EQ(view.value("label").toString(), "View");
    EXPECT_EQ(view.value("items").toArray(), (QJsonArray{"rad", "deg"}));
    EXPECT_EQ(view.value("value").toInt(), 0);

    const QJsonObject range = p.parameter("phase_range");
    EXPECT_EQ(range.value("label").toString(), "Range");
    EXPECT_EQ(range.value("items").toArray(),
              (QJsonArray{QStringLiteral(u"\u00B1\u03C0"), QStringLiteral(u"0 - \u03C0"), QStringLiteral(u"-\u03C0 - 0")}));
    p.set_view(phase::deg);
    EXPECT_EQ(p.parameter("phase_range").value("items").toArray(),
              (QJsonArray{QStringLiteral(u"\u00B1180"), "0 - 180", "-180 - 0"}));
    p.set_range(phase::negative);
    EXPECT_EQ(p.parameter("phase_range").value("value").toInt(), 2);
    const QJsonObject config = p.config();
    EXPECT_EQ(config.value("phase_view").toInt(), 1);
    EXPECT_EQ(config.value("phase_range").toInt(), 2);

    EXPECT_TRUE(p.set_parameter("avg", 2));
    EXPECT_FALSE(p.set_parameter("ausp_view", 1));
    p.init(QJsonObject{{"phase_view", 0}, {"phase_range", 1}});
    EXPECT_EQ(p.view(), phase::rad);
    EXPECT_EQ(p.range(), phase::positive);
    p.init(QJsonObject{{"view", 1}, {"range", 0}});
    EXPECT_EQ(p.view(), phase::deg);
    EXPECT_EQ(p.range(), phase::zero_based);

    phase none(nullptr, QJsonObject());
    EXPECT_TRUE(none.parameter_keys().isEmpty());

    const QMetaEnum views = QMetaEnum::fromType<phase::views>();
    EXPECT_STREQ(views.valueToKey(phase::rad), "rad");
    EXPECT_STREQ(views.valueToKey(phase::deg), "deg");
    const QMetaEnum ranges = QMetaEnum::fromType<phase::ranges>();
    EXPECT_STREQ(ranges.valueToKey(0), "zero_based");
    EXPECT_STREQ(ranges.valueToKey(1), "positive");
    EXPECT_STREQ(ranges.valueToKey(2), "negative");
}

} // namespace
