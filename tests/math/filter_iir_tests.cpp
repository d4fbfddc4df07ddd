#include <QDomDocument>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QSignalSpy>
#include <cmath>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <set>

#include "ryx/math/filter_iir.h"
#include "support/host.h"

using ryx::math::filter_iir;

namespace {

// Counts the warnings the channel writes to the Qt log while alive.
struct warning_counter
{
    warning_counter() { count = 0; previous = qInstallMessageHandler(&handle); }
    ~warning_counter() { qInstallMessageHandler(previous); }
    static void handle(QtMsgType type, const QMessageLogContext&, const QString& text)
    {
        if (type == QtWarningMsg) {
            ++count;
            last = text.toStdString();
        }
    }
    static int count;
    static std::string last;
    QtMessageHandler previous;
};
int warning_counter::count = 0;
std::string warning_counter::last;

// Amplitude of the steady-state output of a unit sine at f Hz, by projection
// on sine and cosine over the last `periods` whole periods.
double measured_gain(filter_iir& f, ryx::test::host& h, double freq, double rate)
{
    const double period = rate / freq;
    const std::size_t n = static_cast<std::size_t>(std::round(period * 400));
    const auto x = ryx::test::sine(n, rate, freq);
    std::vector<double> y;
    QObject::connect(&f, &ryx::analog_data::data_changed, &f, [&] { y.insert(y.end(), f.begin(), f.end()); });
    h.push(h.channel(), x, 997);
    const std::size_t from = n - static_cast<std::size_t>(std::round(period * 100));
    double a = 0.0, b = 0.0;
    for (std::size_t i = from; i < n; ++i) {
        const double w = 2.0 * M_PI * freq * static_cast<double>(i) / rate;
        a += y[i] * std::sin(w);
        b += y[i] * std::cos(w);
    }
    return 2.0 * std::hypot(a, b) / static_cast<double>(n - from);
}

std::vector<filter_iir::types> all_types()
{
    return {filter_iir::lowpass,  filter_iir::highpass,  filter_iir::bandpass,  filter_iir::bandpass1,
            filter_iir::bandpass2, filter_iir::bandstop, filter_iir::lowshelf,  filter_iir::highshelf,
            filter_iir::bandshelf, filter_iir::allpass};
}

} // namespace

TEST(filter_iir, construction_with_and_without_a_source)
{
    ryx::test::host h(1000.0);
    auto* f = new filter_iir(h.channel(), false);
    EXPECT_EQ(f->name(), "filter");
    EXPECT_EQ(f->kind(), filter_iir::butterworth);
    EXPECT_EQ(f->type(), filter_iir::lowpass);
    EXPECT_EQ(f->order(), 1);
    EXPECT_EQ(f->frequency(), 100.0);
    EXPECT_EQ(f->width(), 10.0);
    EXPECT_EQ(f->stop(), 10.0);
    EXPECT_TRUE(f->has_design());
    EXPECT_NEAR(f->response(0.1), 1.0 / std::sqrt(2.0), 1e-12);

    filter_iir loose(nullptr, false);
    EXPECT_TRUE(loose.name().isEmpty());
    EXPECT_FALSE(loose.has_design());
    EXPECT_EQ(loose.response(0.1), 0.0);
    const std::vector<double> run{1, -2, 3};
    loose.set_data(run.cbegin(), run.cend());
    EXPECT_EQ(static_cast<std::vector<double>&>(loose), run);
}

TEST(filter_iir, response_matches_the_measured_steady_state_gain)
{
    const double rate = 1000.0;
    struct c { filter_iir::kinds kind; filter_iir::types type; int order; double fc; double probe; };
    for (const c& k : {c{filter_iir::butterworth, filter_iir::lowpass, 4, 100.0, 100.0},
                       c{filter_iir::chebyshev1, filter_iir::highpass, 5, 120.0, 90.0},
                       c{filter_iir::elliptic, filter_iir::lowpass, 6, 150.0, 60.0},
                       c{filter_iir::bessel, filter_iir::bandpass, 3, 200.0, 205.0},
                       c{filter_iir::rbj, filter_iir::lowpass, 1, 100.0, 130.0}}) {
        ryx::test::host h(rate);
        filter_iir* f = new filter_iir(h.channel(), false);
        f->set_kind(k.kind);
        f->set_type(k.type);
        f->set_order(k.order);
        f->set_frequency(k.fc);
        f->set_width(40.0);
        ASSERT_TRUE(f->has_design()) << k.kind << " " << k.type;
        const double expected = f->response(k.probe / rate);
        EXPECT_NEAR(measured_gain(*f, h, k.probe, rate), expected, 1e-3 * std::max(expected, 1e-3))
            << k.kind << " " << k.type;
    }
    // Butterworth at its cut-off: 1/sqrt(2) whatever the order.
    ryx::test::host h(48000.0);
    filter_iir f(h.channel(), false);
    for (int order : {1, 2, 7, 20}) {
        f.set_order(order);
        f.set_frequency(1000.0);
        EXPECT_NEAR(f.response(1000.0 / 48000.0), M_SQRT1_2, 1e-9) << order;
    }
}

TEST(filter_iir, setters_test_their_change_and_keep_the_band_consistent)
{
    ryx::test::host h(1000.0);
    filter_iir f(h.channel(), false);
    QSignalSpy changed(&f, &filter_iir::changed);
    QSignalSpy freq(&f, &filter_iir::frequency_changed);
    QSignalSpy band(&f, &filter_iir::band_changed);
    QSignalSpy width(&f, &filter_iir::width_changed);
    QSignalSpy order(&f, &filter_iir::order_changed);

    f.set_frequency(100.0 + 1e-10);
    EXPECT_EQ(changed.count() + freq.count() + band.count(), 0);
    f.set_frequency(200.0);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(freq.count(), 1);
    EXPECT_EQ(band.count(), 1);
    f.set_width(20.0);
    EXPECT_EQ(width.count(), 1);
    EXPECT_EQ(band.count(), 2);
    EXPECT_EQ(f.left(), 190.0);
    EXPECT_EQ(f.right(), 210.0);

    f.set_left(210.0); // at the right edge: nothing
    f.set_left(250.0);
    f.set_right(190.0); // at the left edge: nothing
    EXPECT_EQ(f.frequency(), 200.0);
    EXPECT_EQ(band.count(), 2);
    f.set_left(180.0);
    EXPECT_EQ(f.frequency(), 195.0);
    EXPECT_EQ(f.width(), 30.0);
    f.set_right(230.0);
    EXPECT_EQ(f.frequency(), 205.0);
    EXPECT_EQ(f.width(), 50.0);
    EXPECT_EQ(band.count(), 4);

    const int before = changed.count();
    f.set_order(3);
    f.set_gain(2.0);
    f.set_ripple(0.5);
    f.set_stop(40.0);
    f.set_q(2.0);
    f.set_slope(2.0);
    EXPECT_EQ(changed.count(), before + 6);
    EXPECT_EQ(order.count(), 0); // declared, emitted by nobody
}

TEST(filter_iir, unsupported_types_fall_back_to_the_low_pass)
{
    ryx::test::host h(1000.0);
    filter_iir f(h.channel(), false);
    QSignalSpy type(&f, &filter_iir::type_changed);
    f.set_type(filter_iir::bandpass);
    f.set_kind(filter_iir::rbj);
    EXPECT_EQ(f.type(), filter_iir::lowpass);
    f.set_kind(filter_iir::legendre);
    f.set_type(filter_iir::lowshelf);
    EXPECT_EQ(f.type(), filter_iir::lowpass);
    EXPECT_EQ(type.count(), 0);
    EXPECT_TRUE(f.has_design());

    f.set_kind(filter_iir::undef);
    EXPECT_FALSE(f.has_design());
    EXPECT_EQ(f.response(0.05), 0.0);
    f.set_kind(static_cast<filter_iir::kinds>(42)); // unknown kinds mean no design
    EXPECT_EQ(f.kind(), filter_iir::undef);
}

TEST(filter_iir, rate_change_redesigns_and_restarts_the_delay_lines)
{
    ryx::test::host h(1000.0);
    filter_iir f(h.channel(), false);
    f.set_order(4);
    h.push(h.channel(), std::vector<double>(50, 1.0));
    h.channel()->set_rate(2000.0);
    EXPECT_EQ(f.get_rate(), 2000.0);
    EXPECT_NEAR(f.response(100.0 / 2000.0), M_SQRT1_2, 1e-9);

    // From rest after the change: the same as a fresh channel at the new rate.
    ryx::test::host fresh(2000.0);
    filter_iir g(fresh.channel(), false);
    g.set_order(4);
    const auto x = ryx::test::noise(300, 9);
    h.push(h.channel(), x);
    fresh.push(fresh.channel(), x);
    for (std::size_t i = 0; i < x.size(); ++i)
        EXPECT_DOUBLE_EQ(f[i], g[i]) << i;
}

TEST(filter_iir, out_of_range_settings_never_stop_or_corrupt_the_data)
{
    warning_counter warnings;
    ryx::test::host h(1000.0);
    filter_iir f(h.channel(), false);

    // Orders are designed within 1..50; the property keeps what was set.
    f.set_order(0);
    EXPECT_TRUE(f.has_design());
    EXPECT_EQ(f.order(), 0);
    f.set_order(60);
    EXPECT_TRUE(f.has_design());
    EXPECT_NEAR(f.response(0.1), M_SQRT1_2, 1e-6);

    // Ripple 0, as the spectral engines set it on their elliptic anti-alias filter.
    f.set_order(12);
    f.set_kind(filter_iir::elliptic);
    f.set_ripple(0.0);
    f.set_slope(0.0);
    EXPECT_TRUE(f.has_design());
    EXPECT_EQ(f.ripple(), 0.0);
    EXPECT_TRUE(std::isfinite(f.response(0.05)));
    f.set_kind(filter_iir::chebyshev2);
    f.set_stop(-5.0);
    EXPECT_TRUE(f.has_design());
    EXPECT_EQ(warnings.count, 0) << warnings.last;

    // A low-pass at or above half the rate passes everything.
    f.set_kind(filter_iir::butterworth);
    f.set_frequency(500.0);
    EXPECT_FALSE(f.has_design());
    EXPECT_EQ(f.response(0.3), 1.0);
    const auto x = ryx::test::noise(100, 4);
    h.push(h.channel(), x);
    EXPECT_EQ(static_cast<std::vector<double>&>(f), x);
    EXPECT_EQ(warnings.count, 0) << warnings.last;

    // A high-pass there cannot be designed: one warning, data passes, response 0.
    f.set_type(filter_iir::highpass);
    EXPECT_EQ(warnings.count, 1);
    EXPECT_EQ(f.response(0.3), 0.0);
    h.push(h.channel(), x);
    EXPECT_EQ(static_cast<std::vector<double>&>(f), x);

    // A later sound setting designs again.
    f.set_frequency(100.0);
    EXPECT_TRUE(f.has_design());
    f.set_frequency(std::nan(""));
    EXPECT_EQ(f.frequency(), 100.0);

    // Band edges outside (0, rate/2).
    f.set_type(filter_iir::bandpass);
    f.set_width(300.0);
    EXPECT_FALSE(f.has_design());
    f.set_width(30.0);
    EXPECT_TRUE(f.has_design());
}

TEST(filter_iir, rbj_band_width_is_converted_to_octaves)
{
    ryx::test::host h(8000.0);
    filter_iir f(h.channel(), false);
    f.set_kind(filter_iir::rbj);
    f.set_type(filter_iir::bandpass2); // 0 dB at the centre
    f.set_frequency(1000.0);
    f.set_width(200.0);
    ASSERT_TRUE(f.has_design());
    EXPECT_NEAR(f.response(1000.0 / 8000.0), 1.0, 1e-9);
    // The half-power edges lie on the band's edges (to the difference between
    // the arithmetic centre of the channel and the geometric centre of the section).
    EXPECT_NEAR(f.response(900.0 / 8000.0), M_SQRT1_2, 0.02);
    EXPECT_NEAR(f.response(1100.0 / 8000.0), M_SQRT1_2, 0.02);
    const double narrow = f.response(800.0 / 8000.0);
    f.set_width(800.0);
    const double wide = f.response(800.0 / 8000.0);
    EXPECT_LT(narrow, 0.5);
    EXPECT_GT(wide, 0.8);
    f.set_width(200.0);
    f.set_type(filter_iir::bandstop);
    EXPECT_NEAR(f.response(1000.0 / 8000.0), 0.0, 1e-9);
    EXPECT_NEAR(f.response(900.0 / 8000.0), M_SQRT1_2, 0.02);
    // A left edge at or below 0 Hz is kept above 0: still a sound design.
    f.set_width(3000.0);
    EXPECT_TRUE(f.has_design());
}

TEST(filter_iir, text_parameters)
{
    ryx::test::host h(1000.0);
    filter_iir f(h.channel(), false);
    QSignalSpy freq(&f, &filter_iir::frequency_changed);
    QSignalSpy gain(&f, &filter_iir::gain_changed);
    QSignalSpy changed(&f, &filter_iir::changed);
    EXPECT_TRUE(f.set_parameter("kind", 2));
    EXPECT_EQ(f.kind(), filter_iir::chebyshev1);
    EXPECT_TRUE(f.set_parameter("type", 1));
    EXPECT_EQ(f.type(), filter_iir::highpass);
    EXPECT_TRUE(f.set_parameter("order", 5));
    EXPECT_EQ(f.order(), 5);
    EXPECT_TRUE(f.set_parameter("freq", 150.0));
    EXPECT_EQ(freq.count(), 1);
    EXPECT_TRUE(f.set_parameter("band", 50.0));
    EXPECT_EQ(f.width(), 50.0);
    EXPECT_TRUE(f.set_parameter("left", 140.0));
    EXPECT_TRUE(f.set_parameter("right", 190.0));
    EXPECT_EQ(f.frequency(), 165.0);
    for (const char* n : {"gain", "slope", "ripple", "stop", "q"})
        EXPECT_TRUE(f.set_parameter(n, 3.0)) << n;
    EXPECT_EQ(f.gain(), 3.0);
    EXPECT_EQ(f.q(), 3.0);
    EXPECT_EQ(gain.count(), 0);
    const int before = changed.count();
    EXPECT_TRUE(f.set_parameter("q", 3.0 + 1e-12)); // within tolerance: no rebuild
    EXPECT_EQ(changed.count(), before);
    EXPECT_FALSE(f.set_parameter("20_kind", 1));
    EXPECT_FALSE(f.set_parameter("Freq", 1));
    EXPECT_TRUE(f.set_parameter("name", "lp"));
    EXPECT_EQ(f.name(), "lp");
}

TEST(filter_iir, persistence_and_state)
{
    ryx::test::host h(1000.0);
    filter_iir f(h.channel(), false);
    f.set_kind(filter_iir::elliptic);
    f.set_type(filter_iir::bandstop);
    f.set_order(7);
    f.set_frequency(123.5);
    f.set_gain(1.5);
    f.set_ripple(0.25);
    f.set_stop(55.0);
    f.set_q(0.7);
    f.set_slope(1.25);
    f.set_width(33.0);

    QDomDocument doc;
    QDomElement e = doc.createElement("channel");
    f.save(e);
    const QStringList expected{"kind", "type", "order", "fc", "gain", "ripple", "stop", "q", "slope", "width"};
    for (const QString& a : expected)
        EXPECT_TRUE(e.hasAttribute(a)) << a.toStdString();

    filter_iir g(h.channel(), false);
    g.load(e);
    EXPECT_EQ(g.kind(), filter_iir::elliptic);
    EXPECT_EQ(g.type(), filter_iir::bandstop);
    EXPECT_EQ(g.order(), 7);
    EXPECT_EQ(g.frequency(), 123.5);
    EXPECT_EQ(g.gain(), 1.5);
    EXPECT_EQ(g.ripple(), 0.25);
    EXPECT_EQ(g.stop(), 55.0);
    EXPECT_EQ(g.q(), 0.7);
    EXPECT_EQ(g.slope(), 1.25);
    EXPECT_EQ(g.width(), 33.0);
    EXPECT_TRUE(g.has_design());
    EXPECT_EQ(g.response(0.05), f.response(0.05));

    QDomElement bare = doc.createElement("channel");
    g.load(bare);
    EXPECT_EQ(g.kind(), filter_iir::butterworth);
    EXPECT_EQ(g.type(), filter_iir::lowpass);
    EXPECT_EQ(g.order(), 1);
    EXPECT_EQ(g.frequency(), 100.0);
    EXPECT_EQ(g.stop(), 200.0);
    EXPECT_EQ(g.width(), 10.0);
    EXPECT_TRUE(g.has_design());

    QDomElement junk = doc.createElement("channel");
    junk.setAttribute("kind", "99");
    junk.setAttribute("type", "x");
    junk.setAttribute("order", "99999999999");
    junk.setAttribute("fc", "abc");
    g.load(junk);
    EXPECT_EQ(g.kind(), filter_iir::undef);
    EXPECT_EQ(g.type(), filter_iir::lowpass);
    EXPECT_EQ(g.frequency(), 0.0);
    EXPECT_FALSE(g.has_design());

    QJsonObject state;
    f.get_state(state);
    EXPECT_EQ(state["kind"].toInt(), 4);
    EXPECT_EQ(state["type"].toInt(), 5);
    EXPECT_EQ(state["order"].toInt(), 7);
    EXPECT_EQ(state["fc"].toDouble(), 123.5);
    EXPECT_EQ(state["stop"].toDouble(), 55.0);
    EXPECT_FALSE(state.contains("width"));
    EXPECT_TRUE(state.contains("name"));
}

TEST(filter_iir, settings_follow_kind_and_type)
{
    ryx::test::host h(1000.0);
    filter_iir f(h.channel(), false);
    using f_t = filter_iir;
    for (int k = 0; k <= 6; ++k) {
        for (f_t::types t : all_types()) {
            f.set_kind(static_cast<f_t::kinds>(k));
            f.set_type(t);
            const QJsonObject s = f.settings();
            const f_t::kinds kind = f.kind();
            const f_t::types type = f.type();
            const QString where = QStringLiteral("kind %1 type %2").arg(k).arg(static_cast<int>(t));
            EXPECT_FALSE(s.contains("12_unit"));
            EXPECT_EQ(s["20_kind"].toObject()["items"].toArray().size(), 7);
            EXPECT_EQ(s["21_type"].toObject()["data"].toInt(), static_cast<int>(type));
            EXPECT_FALSE(s["21_type"].toObject().contains("value"));
            const bool band = type == f_t::bandpass || type == f_t::bandpass1 || type == f_t::bandpass2
                              || type == f_t::bandstop || type == f_t::bandshelf;
            const bool shelf = type == f_t::lowshelf || type == f_t::highshelf || type == f_t::bandshelf;
            EXPECT_EQ(s.contains("24_band"), band) << where.toStdString();
            EXPECT_EQ(s.contains("25_left"), band) << where.toStdString();
            EXPECT_EQ(s.contains("26_right"), band) << where.toStdString();
            EXPECT_EQ(s.contains("27_gain"), shelf) << where.toStdString();
            EXPECT_EQ(s.contains("28_slope"),
                      kind == f_t::elliptic || (kind == f_t::rbj && (type == f_t::lowshelf || type == f_t::highshelf)))
                << where.toStdString();
            EXPECT_EQ(s.contains("29_ripple"), kind == f_t::chebyshev1 || kind == f_t::elliptic);
            EXPECT_EQ(s.contains("30_stop"), kind == f_t::chebyshev2);
            EXPECT_EQ(s.contains("31_q"),
                      kind == f_t::rbj && (type == f_t::lowpass || type == f_t::highpass || type == f_t::allpass));
        }
    }
    // Type items per kind, in order.
    auto datas = [&](f_t::kinds k) {
        f.set_kind(k);
        std::vector<int> d;
        for (const auto& item : f.settings()["21_type"].toObject()["items"].toArray())
            d.push_back(item.toObject()["data"].toInt());
        return d;
    };
    EXPECT_EQ(datas(f_t::rbj), (std::vector<int>{0, 1, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(datas(f_t::butterworth), (std::vector<int>{0, 1, 2, 5, 6, 7, 8}));
    EXPECT_EQ(datas(f_t::bessel), (std::vector<int>{0, 1, 2, 5, 6}));
    EXPECT_EQ(datas(f_t::elliptic), (std::vector<int>{0, 1, 2, 5}));

    f.set_type(f_t::bandpass);
    f.set_frequency(200.0);
    f.set_width(20.0);
    const QJsonObject s = f.settings();
    EXPECT_EQ(s["22_order"].toObject()["max"].toDouble(), 50.0);
    EXPECT_EQ(s["22_order"].toObject()["prec"].toInt(), 0);
    EXPECT_EQ(s["23_freq"].toObject()["max"].toDouble(), 500.0);
    EXPECT_EQ(s["23_freq"].toObject()["min"].toDouble(), 0.001);
    EXPECT_NEAR(s["25_left"].toObject()["max"].toDouble(), 199.999, 1e-12);
    EXPECT_NEAR(s["26_right"].toObject()["min"].toDouble(), 200.001, 1e-12);
    EXPECT_EQ(s["25_left"].toObject()["value"].toDouble(), 190.0);
    EXPECT_EQ(s["29_ripple"].toObject()["label"].toString(), "Ripple");
}

// Every kind x type x order at three rates, fed noise in random runs: the output
// is finite and bounded, and splitting the runs changes nothing. Orders are
// sampled (all of 1..50 over the rotation of rates and types) to keep the run short.
TEST(filter_iir, every_setting_gives_bounded_output_and_split_runs_agree)
{
    warning_counter quiet; // refused designs (listed in the engine's tests) log a warning each
    std::mt19937 gen(12345);
    const auto x = ryx::test::noise(4000, 21);
    int combos = 0;
    for (double rate : {1000.0, 48000.0, 51200.0}) {
        for (int k = 0; k <= 6; ++k) {
            for (filter_iir::types t : all_types()) {
                for (int order = 1 + (combos % 7); order <= 50; order += 7) {
                    ++combos;
                    ryx::test::host whole(rate), split(rate);
                    filter_iir a(whole.channel(), false), b(split.channel(), false);
                    for (filter_iir* f : {&a, &b}) {
                        f->set_kind(static_cast<filter_iir::kinds>(k));
                        f->set_type(t);
                        f->set_order(order);
                        f->set_gain(6.0);
                        f->set_ripple(0.5);
                        f->set_stop(40.0);
                    }
                    std::vector<double> ya, yb;
                    QObject::connect(&a, &ryx::analog_data::data_changed, &a, [&] { ya.insert(ya.end(), a.begin(), a.end()); });
                    QObject::connect(&b, &ryx::analog_data::data_changed, &b, [&] { yb.insert(yb.end(), b.begin(), b.end()); });
                    whole.push(whole.channel(), x);
                    split.push(split.channel(), x, [&] { return 1 + gen() % 500; });
                    const QString where = QStringLiteral("rate %1 kind %2 type %3 order %4")
                                              .arg(rate).arg(k).arg(static_cast<int>(t)).arg(order);
                    ASSERT_EQ(ya.size(), x.size());
                    double peak = 0.0;
                    for (std::size_t i = 0; i < ya.size(); ++i) {
                        ASSERT_TRUE(std::isfinite(ya[i])) << where.toStdString() << " at " << i;
                        peak = std::max(peak, std::fabs(ya[i]));
                    }
                    EXPECT_LT(peak, 100.0) << where.toStdString();
                    EXPECT_EQ(ya, yb) << where.toStdString();
                }
            }
        }
    }
    EXPECT_GT(combos, 1000);
}

// Long runs through the anti-alias set-up of the spectral engines (elliptic
// low-pass, order 12, ripple 0.001 dB, slope 0) and through steep narrow designs.
TEST(filter_iir, million_samples_stay_finite_and_bounded)
{
    warning_counter quiet;
    const auto x = ryx::test::noise(1000000, 77);
    struct c { filter_iir::kinds kind; filter_iir::types type; int order; double rate; double fc; };
    for (const c& k : {c{filter_iir::elliptic, filter_iir::lowpass, 12, 51200.0, 2100.0},
                       c{filter_iir::chebyshev2, filter_iir::bandstop, 50, 48000.0, 100.0},
                       c{filter_iir::butterworth, filter_iir::bandpass, 50, 51200.0, 100.0}}) {
        ryx::test::host h(k.rate);
        filter_iir f(h.channel(), true);
        f.set_kind(k.kind);
        f.set_type(k.type);
        f.set_order(k.order);
        f.set_frequency(k.fc);
        f.set_ripple(0.001);
        f.set_slope(0.0);
        f.set_stop(60.0);
        double peak = 0.0;
        bool finite = true;
        QObject::connect(&f, &ryx::analog_data::data_changed, &f, [&] {
            for (double y : f) {
                finite = finite && std::isfinite(y);
                peak = std::max(peak, std::fabs(y));
            }
        });
        std::mt19937 gen(3);
        h.push(h.channel(), x, [&] { return 1 + gen() % 4096; });
        EXPECT_TRUE(finite) << k.kind;
        EXPECT_LT(peak, 100.0) << k.kind;
    }
}

namespace {

// The response types each family builds, as the channel documents them.
const std::map<filter_iir::kinds, std::set<filter_iir::types>>& built_types()
{
    using f = filter_iir;
    static const std::set<f::types> four{f::lowpass, f::highpass, f::bandpass, f::bandstop};
    static const std::map<f::kinds, std::set<f::types>> table{
        {f::bessel, {f::lowpass, f::highpass, f::bandpass, f::bandstop, f::lowshelf}},
        {f::butterworth, {f::lowpass, f::highpass, f::bandpass, f::bandstop, f::lowshelf, f::highshelf, f::bandshelf}},
        {f::chebyshev1, four}, {f::chebyshev2, four}, {f::elliptic, four}, {f::legendre, four},
        {f::rbj, {f::lowpass, f::highpass, f::bandpass1, f::bandpass2, f::bandstop, f::lowshelf, f::highshelf,
                  f::bandshelf, f::allpass}}};
    return table;
}

} // namespace

TEST(filter_iir, every_kind_builds_exactly_its_types_through_every_entry_point)
{
    for (const auto& [kind, types] : built_types()) {
        for (int t = filter_iir::lowpass; t <= filter_iir::allpass; ++t) {
            const auto type = static_cast<filter_iir::types>(t);
            const bool built = types.count(type) > 0;
            const std::string what = "kind " + std::to_string(kind) + " type " + std::to_string(t);
            ryx::test::host h(1000.0);

            auto* by_setter = new filter_iir(h.channel(), false);
            by_setter->set_kind(kind);
            by_setter->set_width(20.0);
            by_setter->set_type(type);
            auto* by_parameter = new filter_iir(h.channel(), false);
            by_parameter->set_parameter("kind", int(kind));
            by_parameter->set_width(20.0);
            by_parameter->set_parameter("type", t);
            auto* by_load = new filter_iir(h.channel(), false);
            QDomDocument doc;
            QDomElement e = doc.createElement("channel");
            e.setAttribute("kind", int(kind));
            e.setAttribute("type", t);
            e.setAttribute("width", 20.0);
            by_load->load(e);
            // The type first, under a family that builds it, then the kind.
            auto* by_kind_switch = new filter_iir(h.channel(), false);
            by_kind_switch->set_width(20.0);
            by_kind_switch->set_kind(built_types().at(filter_iir::butterworth).count(type) ? filter_iir::butterworth
                                                                                           : filter_iir::rbj);
            by_kind_switch->set_type(type);
            by_kind_switch->set_kind(kind);

            for (filter_iir* c : {by_setter, by_parameter, by_load, by_kind_switch}) {
                // A type the family does not build is replaced by the low-pass.
                EXPECT_EQ(c->type(), built ? type : filter_iir::lowpass) << what;
                EXPECT_TRUE(c->has_design()) << what;
                std::set<filter_iir::types> listed;
                for (const QJsonValue& item : c->settings()["21_type"].toObject()["items"].toArray())
                    listed.insert(static_cast<filter_iir::types>(item.toObject()["data"].toInt()));
                EXPECT_EQ(listed, types) << what;
            }
        }
    }
}

TEST(filter_iir, without_a_family_nothing_is_built_and_the_editor_lists_the_plain_responses)
{
    const std::vector<int> plain{filter_iir::lowpass, filter_iir::highpass, filter_iir::bandpass, filter_iir::bandstop};
    for (filter_iir::types type : all_types()) {
        const std::string what = "type " + std::to_string(type);
        ryx::test::host h(1000.0);
        auto* by_setter = new filter_iir(h.channel(), false);
        by_setter->set_type(type);
        by_setter->set_kind(filter_iir::undef);
        auto* by_load = new filter_iir(h.channel(), false);
        QDomDocument doc;
        QDomElement e = doc.createElement("channel");
        e.setAttribute("kind", int(filter_iir::undef));
        e.setAttribute("type", int(type));
        by_load->load(e);
        for (filter_iir* c : {by_setter, by_load}) {
            EXPECT_EQ(c->type(), filter_iir::lowpass) << what;
            EXPECT_FALSE(c->has_design()) << what;
            EXPECT_EQ(c->response(0.05), 0.0) << what;
            const QJsonObject s = c->settings();
            std::vector<int> listed;
            for (const QJsonValue& item : s["21_type"].toObject()["items"].toArray())
                listed.push_back(item.toObject()["data"].toInt());
            EXPECT_EQ(listed, plain) << what;
            for (const char* key : {"24_band", "27_gain", "28_slope", "29_ripple", "30_stop", "31_q"})
                EXPECT_FALSE(s.contains(key)) << what << " " << key;
        }
    }
}

// Every kind x type the channel builds, loaded from saved settings, answers at
// a probe frequency as the independent design of tests/tools/filter_iir_golden.py
// does; and the golden cases cover exactly the pairs the channel builds.
TEST(filter_iir, every_built_design_matches_an_independent_response)
{
    QFile file(QStringLiteral(RYX_TEST_DATA_DIR "/filter_iir_response_fs1000.txt"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
    std::map<filter_iir::kinds, std::set<filter_iir::types>> covered;
    ryx::test::host h(1000.0);
    filter_iir f(h.channel(), false);
    QDomDocument doc;
    while (!file.atEnd()) {
        const QStringList v = QString::fromUtf8(file.readLine()).split(' ', Qt::SkipEmptyParts);
        ASSERT_EQ(v.size(), 12);
        QDomElement e = doc.createElement("channel");
        const char* const attributes[] = {"kind", "type", "order", "fc", "width", "gain", "ripple", "stop", "q", "slope"};
        for (int i = 0; i < 10; ++i)
            e.setAttribute(attributes[i], v[i]);
        f.load(e);
        const auto kind = static_cast<filter_iir::kinds>(v[0].toInt());
        const auto type = static_cast<filter_iir::types>(v[1].toInt());
        const double probe = v[10].toDouble(), expected = v[11].toDouble();
        const std::string what = "kind " + v[0].toStdString() + " type " + v[1].toStdString();
        EXPECT_EQ(f.type(), type) << what;
        ASSERT_TRUE(f.has_design()) << what;
        EXPECT_NEAR(f.response(probe / 1000.0), expected, 1e-9 * std::max(1.0, expected)) << what << " at " << probe;
        covered[kind].insert(type);
    }
    EXPECT_EQ(covered, built_types());
}

TEST(filter_iir, unknown_kinds_and_types_from_a_script_are_handled_soundly)
{
    // A script can write any integer into an enumeration property; the values
    // must arrive as themselves (no undefined enum load) and be judged.
    ryx::test::host h(1000.0);
    auto* f = new filter_iir(h.channel(), false);
    EXPECT_TRUE(f->setProperty("kind", 10));
    EXPECT_EQ(f->kind(), filter_iir::undef);
    EXPECT_FALSE(f->has_design());
    EXPECT_TRUE(f->setProperty("kind", int(filter_iir::chebyshev1)));
    EXPECT_TRUE(f->setProperty("type", 12));
    EXPECT_EQ(f->type(), filter_iir::lowpass);
    EXPECT_TRUE(f->has_design());
    EXPECT_TRUE(f->setProperty("type", -3));
    EXPECT_EQ(f->type(), filter_iir::lowpass);
}

TEST(filter_iir, a_two_sample_delay_designed_at_the_band_edge_runs_as_one)
{
    // An RBJ all-pass at a quarter of the rate with Q 0.5 is exactly a
    // two-sample delay (its numerator's leading coefficients are 0). Reached
    // through a setter, a saved element and a rate change, it must neither take
    // the host down nor be dropped: it is stable and delays by two samples.
    ryx::test::host h(1000.0);
    auto* f = new filter_iir(h.channel(), false);
    f->set_kind(filter_iir::rbj);
    f->set_type(filter_iir::allpass);
    f->set_parameter("q", 0.5);
    f->set_parameter("freq", 250.0);
    QDomDocument doc;
    QDomElement e = doc.createElement("channel");
    e.setAttribute("kind", int(filter_iir::rbj));
    e.setAttribute("type", int(filter_iir::allpass));
    e.setAttribute("fc", 250.0);
    e.setAttribute("q", 0.5);
    auto* loaded = new filter_iir(h.channel(), false);
    loaded->load(e);
    auto* retimed = new filter_iir(h.channel(), false);
    retimed->set_kind(filter_iir::rbj);
    retimed->set_type(filter_iir::allpass);
    retimed->set_q(0.5);
    retimed->set_frequency(500.0);
    const auto is_delay = [](const filter_iir* c, const std::vector<double>& x) {
        ASSERT_EQ(c->size(), x.size());
        EXPECT_TRUE(c->has_design());
        EXPECT_NEAR(c->response(0.1), 1.0, 1e-12);
        for (std::size_t i = 0; i < x.size(); ++i)
            ASSERT_NEAR((*c)[i], i < 2 ? 0.0 : x[i - 2], 1e-7) << i; // within the denormal guard
    };
    const auto x = ryx::test::sine(64, 1000.0, 50.0);
    h.push(h.channel(), x);
    is_delay(f, x);
    is_delay(loaded, x);
    EXPECT_FALSE(retimed->has_design()); // 500 Hz is half of 1000 Hz
    h.channel()->set_rate(2000.0);
    const auto y = ryx::test::sine(64, 2000.0, 50.0);
    h.push(h.channel(), y);
    is_delay(retimed, y);
}

TEST(filter_iir, a_non_finite_sample_disturbs_only_itself)
{
    // The same data with each NaN or infinity replaced by the previous finite
    // sample is the reference: every other output must match it exactly, in
    // the run of the fault and in every run after it, for every design.
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const auto& [kind, types] : built_types()) {
        for (filter_iir::types type : types) {
            const std::string what = "kind " + std::to_string(kind) + " type " + std::to_string(type);
            ryx::test::host h(1000.0, 2);
            filter_iir* faulty = new filter_iir(h.channel(0), false);
            filter_iir* clean = new filter_iir(h.channel(1), false);
            for (filter_iir* f : {faulty, clean}) {
                f->set_kind(kind);
                f->set_type(type);
                f->set_order(4);
                f->set_width(40.0);
                f->set_gain(6.0);
                ASSERT_TRUE(f->has_design()) << what;
            }
            const auto x = ryx::test::noise(2000, 5);
            for (std::size_t run = 0; run < 10; ++run) {
                std::vector<double> a(x.begin() + static_cast<std::ptrdiff_t>(run * 200),
                                      x.begin() + static_cast<std::ptrdiff_t>(run * 200 + 200));
                std::vector<double> b = a;
                std::set<std::size_t> bad;
                if (run == 2) {
                    for (std::size_t i : {0u, 17u, 18u, 199u}) {
                        a[i] = i == 17 ? inf : i == 18 ? -inf : nan;
                        bad.insert(i);
                    }
                    b[0] = x[399]; // the last sample of the previous run
                    b[17] = b[18] = b[16];
                    b[199] = b[198];
                }
                h.push(h.channel(0), a);
                h.push(h.channel(1), b);
                for (std::size_t i = 0; i < a.size(); ++i) {
                    if (bad.count(i))
                        ASSERT_FALSE(std::isfinite((*faulty)[i])) << what << " sample " << i;
                    else
                        ASSERT_EQ((*faulty)[i], (*clean)[i]) << what << " run " << run << " sample " << i;
                }
            }
        }
    }
}

TEST(filter_iir, delay_lines_that_overflow_start_afresh)
{
    // A gain of 20 dB on inputs near the largest double overflows the state;
    // ordinary input afterwards must come out finite again.
    ryx::test::host h(1000.0);
    auto* f = new filter_iir(h.channel(), false);
    f->set_kind(filter_iir::butterworth);
    f->set_type(filter_iir::lowshelf);
    f->set_order(2);
    f->set_gain(20.0);
    ASSERT_TRUE(f->has_design());
    h.push(h.channel(), std::vector<double>(100, 1.7e308));
    h.push(h.channel(), ryx::test::noise(500, 3));
    h.push(h.channel(), ryx::test::noise(100, 4));
    for (double y : *f)
        ASSERT_TRUE(std::isfinite(y));
}

TEST(filter_iir, a_non_finite_sample_is_seen_at_every_position_of_short_runs)
{
    // Runs of 1 to 9 samples with one NaN, infinity or largest-exponent value at
    // each position: whatever lane or tail of the scan it falls in, the sample
    // comes out non-finite and the next run filters on finite.
    const double specials[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity()};
    ryx::test::host h(1000.0);
    filter_iir* f = new filter_iir(h.channel(), false);
    f->set_kind(filter_iir::butterworth);
    f->set_order(2);
    ASSERT_TRUE(f->has_design());
    for (std::size_t n = 1; n <= 9; ++n) {
        for (std::size_t at = 0; at < n; ++at) {
            for (double special : specials) {
                std::vector<double> run(n, 0.25);
                run[at] = special;
                h.push(h.channel(), run);
                for (std::size_t i = 0; i < n; ++i)
                    ASSERT_EQ(std::isfinite((*f)[i]), i != at) << "run " << n << " at " << at << " sample " << i;
            }
        }
    }
    h.push(h.channel(), std::vector<double>(5, 0.25));
    for (double y : *f)
        EXPECT_TRUE(std::isfinite(y));
}
