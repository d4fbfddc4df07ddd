// The moving correlation against direct sums and a two-pass Pearson
// coefficient, fed in random splits; its persistence, hostile saved data and
// deletion from its own signals.
#include <QDomDocument>
#include <QIODevice>
#include <QJsonArray>
#include <QPointer>
#include <QSignalSpy>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

#include "ryx/math/moving/corr.h"
#include "moving/window.h"
#include "support/host.h"

using namespace moving_test;
namespace mv = ryx::math::moving;

namespace {

constexpr double rate = 1000.0;

void set_reference(mv::corr& c, const std::vector<double>& r)
{
    c.set_array_y(r.cbegin(), r.cend());
}

// Everything the channel outputs for x, fed in runs from the sizer.
std::vector<double> run_through(mv::corr::methods method, const std::vector<double>& reference,
                                const std::vector<double>& x, const std::function<std::size_t()>& sizer)
{
    ryx::test::host h(rate);
    mv::corr c(h.channel(), method, false);
    set_reference(c, reference);
    std::vector<double> out;
    collect(&c, out);
    h.push(h.channel(), x, sizer);
    return out;
}

std::vector<double> mean_removed(const std::vector<double>& r)
{
    long double s = 0;
    for (const double v : r)
        s += v;
    const long double m = s / static_cast<long double>(r.size());
    std::vector<double> out;
    for (const double v : r)
        out.push_back(static_cast<double>(v - m));
    return out;
}

// Checks y[m] against sum_j r[j] x[m - L + 1 + j] (earlier inputs 0), within
// 1e-9 of the sum of the terms' magnitudes, at the given outputs.
void expect_sliding_dot(const std::vector<double>& r, const std::vector<double>& x, const std::vector<double>& y,
                        const std::vector<std::size_t>& at, const std::string& what)
{
    ASSERT_EQ(y.size(), x.size()) << what;
    const std::size_t L = r.size();
    for (const std::size_t m : at) {
        long double sum = 0, scale = 0;
        for (std::size_t j = 0; j < L; ++j) {
            if (m + 1 + j < L)
                continue;
            const long double term = static_cast<long double>(r[j]) * x[m + 1 + j - L];
            sum += term;
            scale += std::fabs(term);
        }
        ASSERT_NEAR(y[m], static_cast<double>(sum), 1e-9 * static_cast<double>(scale) + 1e-300)
            << what << ", output " << m;
    }
}

// Every stride-th output, and the last.
std::vector<std::size_t> every(std::size_t n, std::size_t stride)
{
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i < n; i += stride)
        at.push_back(i);
    at.push_back(n - 1);
    return at;
}

// Two-pass Pearson coefficient of x[first .. first + w) against r[0 .. w).
double pearson(const std::vector<double>& x, std::size_t first, const std::vector<double>& r, std::size_t w)
{
    long double mx = 0, mr = 0;
    for (std::size_t i = 0; i < w; ++i) {
        mx += x[first + i];
        mr += r[i];
    }
    mx /= w;
    mr /= w;
    long double sxr = 0, sxx = 0, srr = 0;
    for (std::size_t i = 0; i < w; ++i) {
        const long double dx = x[first + i] - mx, dr = r[i] - mr;
        sxr += dx * dr;
        sxx += dx * dx;
        srr += dr * dr;
    }
    return static_cast<double>(sxr / std::sqrt(sxx * srr));
}

// Counts the warnings logged while it lives.
struct warning_count
{
    static inline int count = 0;
    QtMessageHandler previous;
    warning_count() : previous(qInstallMessageHandler(handler)) { count = 0; }
    ~warning_count() { qInstallMessageHandler(previous); }
    static void handler(QtMsgType type, const QMessageLogContext&, const QString&)
    {
        if (type == QtWarningMsg)
            ++count;
    }
};

} // namespace

TEST(moving_corr, impulse_reads_the_reversed_reference)
{
    const std::vector<double> r{1, 2, 3};
    const std::vector<double> impulse{1, 0, 0, 0};
    EXPECT_EQ(run_through(mv::corr::faltung, r, impulse, [] { return 4; }), (std::vector<double>{1, 0, -1, 0}));
    const std::vector<double> fft = run_through(mv::corr::fft, r, impulse, [] { return 4; });
    const std::vector<double> expected{3, 2, 1, 0};
    ASSERT_EQ(fft.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_NEAR(fft[i], expected[i], 1e-12) << i;
    // One sample per run: every output comes from the carried sums.
    EXPECT_EQ(run_through(mv::corr::faltung, r, impulse, [] { return 1; }), (std::vector<double>{1, 0, -1, 0}));
}

TEST(moving_corr, sliding_dot_product_in_any_split)
{
    std::mt19937 gen(5);
    for (const std::size_t L : {1, 2, 3, 4, 5, 7, 64, 511, 1000, 10000}) {
        std::vector<double> r = ryx::test::noise(L, static_cast<unsigned>(L));
        for (double& v : r)
            v += 0.75; // a mean for faltung to remove
        const std::size_t n = 2 * L + 3000;
        std::vector<double> x = ryx::test::noise(n, 7);
        for (double& v : x)
            v = 50.0 + 10.0 * v;
        for (const auto method : {mv::corr::fft, mv::corr::faltung}) {
            const std::size_t longest = std::uniform_int_distribution<std::size_t>(1, 2 * L + 10)(gen);
            const auto y = run_through(method, r, x, random_runs(longest, static_cast<unsigned>(L)));
            const std::string what = std::string(method == mv::corr::fft ? "fft" : "faltung") + ", L = "
                                     + std::to_string(L) + ", runs up to " + std::to_string(longest);
            expect_sliding_dot(method == mv::corr::fft ? r : mean_removed(r), x, y, every(n, L < 10000 ? 1 : 17), what);
        }
    }
}

TEST(moving_corr, one_run_longer_than_the_transform_buffer)
{
    const std::size_t n = 2000000;
    std::vector<double> x = ryx::test::noise(n, 9);
    std::vector<std::size_t> at;
    std::mt19937 gen(2);
    for (int k = 0; k < 400; ++k)
        at.push_back(std::uniform_int_distribution<std::size_t>(0, n - 1)(gen));
    at.push_back(n - 1);
    const auto r = ryx::test::noise(5000, 4);
    expect_sliding_dot(r, x, run_through(mv::corr::fft, r, x, [n] { return n; }), at, "fft, L = 5000");
    const auto short_r = ryx::test::noise(8, 6);
    expect_sliding_dot(mean_removed(short_r), x, run_through(mv::corr::faltung, short_r, x, [n] { return n; }), at,
                       "faltung, L = 8");
}

TEST(moving_corr, reset_tais_forgets_earlier_inputs)
{
    ryx::test::host h(rate);
    mv::corr c(h.channel(), mv::corr::faltung, false);
    set_reference(c, {1, 2, 3});
    std::vector<double> out;
    collect(&c, out);
    h.push(h.channel(), {5, 7});
    c.reset_tais();
    out.clear();
    h.push(h.channel(), {1, 0, 0});
    EXPECT_EQ(out, (std::vector<double>{1, 0, -1}));
}

TEST(moving_corr, factor_is_the_pearson_coefficient_of_the_window)
{
    const std::size_t L = 200;
    const std::vector<double> r = ryx::test::noise(L, 12);
    std::vector<double> x = ryx::test::noise(3000, 13);
    for (std::size_t i = 0; i < x.size(); ++i)
        x[i] = 1e6 + x[i] + 0.5 * r[i % L]; // partly matching, on a large offset
    const auto y = run_through(mv::corr::factor, r, x, random_runs(700, 1));
    ASSERT_EQ(y.size(), x.size());
    for (std::size_t k = 0; k + 1 < L; ++k)
        EXPECT_EQ(y[k], 0.0) << "window not full, output " << k;
    for (std::size_t k = L - 1; k < x.size(); ++k)
        ASSERT_NEAR(y[k], pearson(x, k + 1 - L, r, L), 1e-9) << "output " << k;
}

TEST(moving_corr, factor_of_a_scaled_shifted_or_negated_copy_and_of_constants)
{
    const std::vector<double> r{0.3, -1.2, 2.5, 0.7, -0.4, 1.1};
    std::vector<double> scaled, negated;
    for (const double v : r) {
        scaled.push_back(2.0 * v + 5.0);
        negated.push_back(-v);
    }
    EXPECT_NEAR(run_through(mv::corr::factor, r, scaled, [] { return 4; }).back(), 1.0, 1e-12);
    EXPECT_NEAR(run_through(mv::corr::factor, r, negated, [] { return 1; }).back(), -1.0, 1e-12);

    const std::vector<double> flat(12, 3.25);
    for (const double y : run_through(mv::corr::factor, r, flat, [] { return 5; }))
        EXPECT_EQ(y, 0.0);
    for (const double y : run_through(mv::corr::factor, flat, ryx::test::noise(30), [] { return 5; }))
        EXPECT_EQ(y, 0.0);
}

TEST(moving_corr, factor_window_is_limited_to_the_reference)
{
    ryx::test::host h(rate);
    mv::corr c(h.channel(), mv::corr::factor, false);
    const std::vector<double> r = ryx::test::noise(50, 3);
    set_reference(c, r);
    EXPECT_EQ(c.count(), 50);
    EXPECT_TRUE(c.set_parameter("window", 1.0));
    EXPECT_EQ(c.count(), 50);
    c.set_time(2.0); // the property too
    EXPECT_EQ(c.count(), 50);

    // A shorter window correlates against the reference's first W values.
    EXPECT_TRUE(c.set_parameter("window", 0.02));
    ASSERT_EQ(c.count(), 20);
    std::vector<double> out;
    collect(&c, out);
    const std::vector<double> x = ryx::test::noise(100, 8);
    h.push(h.channel(), x, 33);
    ASSERT_EQ(out.size(), x.size());
    for (std::size_t k = 19; k < x.size(); ++k)
        ASSERT_NEAR(out[k], pearson(x, k - 19, r, 20), 1e-12) << k;
    EXPECT_FALSE(c.settings().contains("20_window"));
}

TEST(moving_corr, without_a_reference_every_method_outputs_zeros)
{
    for (const auto method : {mv::corr::fft, mv::corr::faltung, mv::corr::factor}) {
        ryx::test::host h(rate);
        mv::corr c(h.channel(), method, false);
        std::vector<double> out;
        collect(&c, out);
        h.push(h.channel(), {1, 2, 3, 4, 5});
        EXPECT_EQ(out, std::vector<double>(5, 0.0)) << method;
        set_reference(c, {});
        h.push(h.channel(), {1, 2, 3});
        EXPECT_EQ(out, std::vector<double>(8, 0.0)) << method;
    }
}

TEST(moving_corr, reference_from_json_and_method_signal)
{
    ryx::test::host h(rate);
    mv::corr c(h.channel(), mv::corr::fft, false);
    EXPECT_EQ(c.name(), "corr");
    c.set_reference(QJsonArray{1, "x", 3.5, QJsonValue()});
    std::vector<double> got;
    c.get_array_y(std::back_inserter(got));
    // {1, 0, 3.5, 0} less its mean, 1.125.
    EXPECT_EQ(got, (std::vector<double>{-0.125, -1.125, 2.375, -1.125}));
}

TEST(moving_corr, set_method_emits_only_on_change)
{
    ryx::test::host h(rate);
    mv::corr c(h.channel(), mv::corr::fft, false);
    QSignalSpy spy(&c, &mv::corr::method_changed);
    c.set_method(mv::corr::fft);
    EXPECT_EQ(spy.count(), 0);
    c.set_method(mv::corr::faltung);
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(c.method(), mv::corr::faltung);
    EXPECT_TRUE(c.setProperty("method", QVariant::fromValue(mv::corr::factor)));
    EXPECT_EQ(spy.count(), 2);
    EXPECT_EQ(c.method(), mv::corr::factor);
}

TEST(moving_corr, save_and_load_restore_reference_bit_for_bit)
{
    ryx::test::host h(rate);
    mv::corr a(h.channel(), mv::corr::factor, false);
    const std::vector<double> r{0.1, 1.0 / 3.0, -1e300, 4.9e-324, 2.5, -7.0};
    set_reference(a, r);
    QDomDocument doc;
    QDomElement e = doc.createElement("channel");
    a.save(e);
    EXPECT_FALSE(e.hasAttribute("time"));

    mv::corr b(h.channel(), mv::corr::fft, false);
    QSignalSpy spy(&b, &mv::corr::method_changed);
    b.load(e);
    EXPECT_EQ(spy.count(), 0);
    EXPECT_EQ(b.method(), mv::corr::factor);
    std::vector<double> ra, rb;
    a.get_array_y(std::back_inserter(ra));
    b.get_array_y(std::back_inserter(rb));
    ASSERT_EQ(ra.size(), rb.size());
    EXPECT_EQ(std::memcmp(ra.data(), rb.data(), ra.size() * sizeof(double)), 0);
    // The saved reference is the one given, so an fft channel keeps its mean.
    QDomElement f = doc.createElement("channel");
    b.save(f);
    EXPECT_EQ(f.attribute("array_y"), e.attribute("array_y"));
    EXPECT_EQ(f.attribute("method"), "2");
}

TEST(moving_corr, hostile_saved_attributes_are_refused_soundly)
{
    ryx::test::host h(rate);
    mv::corr c(h.channel(), mv::corr::faltung, false);
    QDomDocument doc;
    std::vector<double> got;
    const auto reference = [&] {
        got.clear();
        c.get_array_y(std::back_inserter(got));
        return got.size();
    };
    {
        warning_count warnings;
        set_reference(c, {1, 2, 3});
        QDomElement e = doc.createElement("channel");
        e.setAttribute("array_y", "@@ not base64 !!");
        c.load(e);
        EXPECT_EQ(reference(), 0u);
        EXPECT_EQ(warnings.count, 1);
    }
    {
        // Two whole values and three bytes of a third: the partial value is ignored.
        QByteArray bytes;
        QDataStream s(&bytes, QIODevice::WriteOnly);
        s << 1.0 << 3.0;
        bytes.append("abc");
        QDomElement e = doc.createElement("channel");
        e.setAttribute("array_y", QString::fromLatin1(bytes.toBase64()));
        e.setAttribute("method", "99999999999");
        c.load(e);
        EXPECT_EQ(reference(), 2u);
        EXPECT_EQ(got, (std::vector<double>{-1, 1}));
        EXPECT_EQ(c.method(), mv::corr::fft);
        e.setAttribute("method", "7");
        c.load(e);
        EXPECT_EQ(c.method(), mv::corr::fft);
    }
    {
        warning_count warnings;
        QDomElement e = doc.createElement("channel");
        e.setAttribute("array_y", QString::fromLatin1(QByteArray((mv::corr::max_reference + 1) * 8, '\0').toBase64()));
        c.load(e);
        EXPECT_EQ(reference(), 0u);
        EXPECT_EQ(warnings.count, 1);
        const std::vector<double> long_one(mv::corr::max_reference + 1, 1.0);
        c.set_array_y(long_one.cbegin(), long_one.cend());
        EXPECT_EQ(reference(), 0u);
        EXPECT_EQ(warnings.count, 2);
        std::vector<double> out;
        collect(&c, out);
        h.push(h.channel(), {1, 2, 3});
        EXPECT_EQ(out, std::vector<double>(3, 0.0));
    }
}

TEST(moving_corr, a_listener_may_delete_the_channel_from_its_signals)
{
    ryx::test::host h(rate);
    {
        auto* c = new mv::corr(h.channel(), mv::corr::fft, false);
        QPointer<mv::corr> watch = c;
        QObject::connect(c, &mv::corr::time_changed, c, [c] { delete c; });
        c->set_reference(QJsonArray{1, 2, 3});
        EXPECT_TRUE(watch.isNull());
    }
    {
        auto* c = new mv::corr(h.channel(), mv::corr::fft, false);
        QPointer<mv::corr> watch = c;
        QObject::connect(c, &mv::corr::method_changed, c, [c] { delete c; });
        c->set_method(mv::corr::factor);
        EXPECT_TRUE(watch.isNull());
    }
    for (const auto method : {mv::corr::fft, mv::corr::faltung, mv::corr::factor}) {
        auto* c = new mv::corr(h.channel(), method, false);
        c->set_reference(QJsonArray{1, 2, 3});
        QPointer<mv::corr> watch = c;
        QObject::connect(c, &ryx::analog_data::data_changed, c, [c] { delete c; });
        h.push(h.channel(), {1, 2, 3, 4});
        EXPECT_TRUE(watch.isNull()) << method;
        h.push(h.channel(), {1, 2});
    }
    EXPECT_EQ(h.dev().lock_depth(), 0);
}
