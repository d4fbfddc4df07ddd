#include <QString>
#include <cfloat>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>

#include "ryx/math/mathFunctions.h"
#include "ryx/math/moving/avg.h"
#include "ryx/math/moving/kurt.h"
#include "ryx/math/moving/max.h"
#include "ryx/math/moving/median.h"
#include "ryx/math/moving/min.h"
#include "ryx/math/moving/msd.h"
#include "ryx/math/moving/offset.h"
#include "ryx/math/moving/peak.h"
#include "ryx/math/moving/peak_to_peak.h"
#include "ryx/math/moving/rms.h"
#include "ryx/math/moving/var.h"
#include "moving/window.h"
#include "support/host.h"

using namespace moving_test;
namespace mv = ryx::math::moving;

namespace {

template <class S>
std::vector<double> outputs(int w, const std::vector<double>& x)
{
    ryx::test::host h(1000.0);
    S s(h.channel(), false);
    s.set_time(seconds(w, 1000.0));
    std::vector<double> out;
    collect(&s, out);
    h.push(h.channel(), x);
    return out;
}

struct statistic
{
    const char* name;
    std::function<mv::data*(ryx::analog_data*)> make;
    std::function<double(window)> direct;
    double tolerance; // relative to the scale of the window's samples; 0: exact
};

template <class S>
mv::data* build(ryx::analog_data* src)
{
    return new S(src, false);
}

const std::vector<statistic>& statistics()
{
    static const std::vector<statistic> list = {
        {"avg", build<mv::avg>, mean_of, 1e-12},
        {"rms", build<mv::rms>, rms_of, 1e-12},
        {"var", build<mv::var>, var_of, 1e-9},
        {"msd", build<mv::msd>, [](window v) { return std::sqrt(var_of(v)); }, 1e-9},
        {"kurt", build<mv::kurt>, kurt_of, 1e-6},
        {"max", build<mv::max>, max_of, 0},
        {"min", build<mv::min>, min_of, 0},
        {"peak_to_peak", build<mv::peak_to_peak>, [](window v) { return max_of(v) - min_of(v); }, 0},
        {"offset", build<mv::offset>, [](window v) { return (max_of(v) + min_of(v)) * 0.5; }, 0},
        {"peak", build<mv::peak>, [](window v) { return (max_of(v) - min_of(v)) * 0.5; }, 0},
        {"median", build<mv::median>, median_of, 0},
    };
    return list;
}

// Compares the outputs at indices first, first + stride, ... with the direct
// recomputation; the error allowed scales with the reference value (var, kurt)
// or with the magnitude of the samples (sums).
void expect_direct(const statistic& s, int w, const std::vector<double>& x, const std::vector<double>& y,
                   std::size_t first, std::size_t stride, double scale)
{
    ASSERT_EQ(y.size(), x.size()) << s.name;
    int failures = 0;
    for (std::size_t k = first; k < x.size() && failures < 5; k += stride) {
        const window v = window_at(x, k, static_cast<std::size_t>(w));
        const double want = s.direct(v);
        const double got = y[k];
        const bool ok = same(got, want)
                        || (s.tolerance > 0 && std::abs(got - want) <= s.tolerance * std::max(std::abs(want), scale));
        if (!ok) {
            ++failures;
            ADD_FAILURE() << s.name << " W=" << w << " output " << k << ": " << got << " vs direct " << want;
        }
    }
}

} // namespace

TEST(moving_statistics, small_windows_give_the_expected_values)
{
    using v = std::vector<double>;
    EXPECT_EQ(outputs<mv::avg>(2, {1, 2, 3}), (v{1, 1.5, 2.5}));
    // The true RMS: a constant reads its magnitude from the first sample on.
    EXPECT_EQ(outputs<mv::rms>(4, {2, 2, 2, 2, 2, 2}), (v{2, 2, 2, 2, 2, 2}));
    EXPECT_EQ(outputs<mv::rms>(4, {-3, -3}), (v{3, 3}));
    EXPECT_EQ(outputs<mv::var>(3, {1, 3, 5, 5}), (v{0, 2, 4, 4.0 / 3.0}));
    EXPECT_EQ(outputs<mv::msd>(3, {1, 3, 5}), (v{0, std::sqrt(2.0), 2}));
    const v k = outputs<mv::kurt>(5, {1, 2, 3, 4, 10});
    EXPECT_EQ((v{k[0], k[1], k[2]}), (v{0, 0, 0}));
    EXPECT_NEAR(k[3], -1.2, 1e-12);
    const std::vector<double> five = {1, 2, 3, 4, 10};
    EXPECT_NEAR(k[4], mathFunctions::kurt(five.cbegin(), five.cend()), 1e-12);
    EXPECT_EQ(outputs<mv::median>(3, {5, 1, 3}), (v{5, 3, 3}));
    EXPECT_EQ(outputs<mv::median>(2, {5, 1, 3}), (v{5, 3, 2}));
    EXPECT_EQ(outputs<mv::max>(2, {-3, -1, -2}), (v{-3, -1, -1}));
    EXPECT_EQ(outputs<mv::min>(2, {3, 1, 2}), (v{3, 1, 1}));
    EXPECT_EQ(outputs<mv::peak>(3, {-1, 3, 0}).back(), 2.0);
    EXPECT_EQ(outputs<mv::offset>(3, {-1, 3, 0}).back(), 1.0);
    EXPECT_EQ(outputs<mv::peak_to_peak>(3, {-1, 3, 0}).back(), 4.0);
}

TEST(moving_statistics, default_names)
{
    ryx::test::host h(1000.0);
    const std::vector<std::pair<const char*, const char*>> names = {
        {"avg", "mean"},  {"rms", "rms"}, {"var", "variance"},         {"msd", "msd"},
        {"kurt", "kurtosis"}, {"max", "max"}, {"min", "min"}, {"peak_to_peak", "peak to peak"},
        {"offset", "offset"}, {"peak", "peak"}, {"median", "median"}};
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::unique_ptr<mv::data> s(statistics()[i].make(h.channel()));
        EXPECT_EQ(s->name(), names[i].second) << names[i].first;
    }
}

TEST(moving_statistics, match_a_direct_recomputation_over_the_window)
{
    // Random samples in random runs; every output for small windows, a stride
    // of outputs for the long one.
    struct size_case
    {
        int w;
        std::size_t n;
        std::size_t stride;
    };
    for (const size_case c : {size_case{1, 2000, 1}, size_case{2, 2000, 1}, size_case{3, 2000, 1},
                              size_case{100, 5000, 1}, size_case{10000, 35000, 11}}) {
        std::vector<double> x = ryx::test::noise(c.n, static_cast<unsigned>(c.w));
        for (double& e : x)
            e = 3.0 + 2.0 * e;
        for (const statistic& s : statistics()) {
            ryx::test::host h(1000.0);
            std::unique_ptr<mv::data> m(s.make(h.channel()));
            m->set_time(seconds(c.w, 1000.0));
            std::vector<double> y;
            collect(m.get(), y);
            h.push(h.channel(), x, random_runs(3 * static_cast<std::size_t>(c.w) / 2 + 1, 17));
            expect_direct(s, c.w, x, y, 0, c.stride, 1.0);
        }
    }

    // Few distinct values: ties everywhere, for the order statistics above all.
    std::vector<double> ties = ryx::test::noise(3000, 12);
    for (double& e : ties)
        e = std::floor(2.5 * e);
    for (const int w : {1, 2, 3, 4, 100}) {
        for (const statistic& s : statistics()) {
            ryx::test::host h(1000.0);
            std::unique_ptr<mv::data> m(s.make(h.channel()));
            m->set_time(seconds(w, 1000.0));
            std::vector<double> y;
            collect(m.get(), y);
            h.push(h.channel(), ties, random_runs(7, 5));
            expect_direct(s, w, ties, y, 0, 1, 1.0);
        }
    }
}

TEST(moving_statistics, stay_accurate_over_long_signals_with_a_large_offset)
{
    // 10^7 samples of noise on an offset of 10^6: nothing drifts.
    const std::size_t n = 10000000;
    std::vector<double> x = ryx::test::noise(n, 21);
    for (double& e : x)
        e = 1e6 + e;
    for (const statistic& s : statistics()) {
        const std::string name = s.name;
        if (name != "var" && name != "msd" && name != "kurt" && name != "avg" && name != "rms")
            continue;
        for (int w : {1000, 100000}) {
            ryx::test::host h(1000.0);
            std::unique_ptr<mv::data> m(s.make(h.channel()));
            m->set_time(seconds(w, 1000.0));
            std::vector<double> y;
            y.reserve(n);
            collect(m.get(), y);
            h.push(h.channel(), x, 65536);
            expect_direct(s, w, x, y, n - 1 - 1000003 * 9, 1000003, 0.0);
            expect_direct(s, w, x, y, n - 1, 1, 0.0);
        }
    }
}

TEST(moving_statistics, a_window_of_equal_samples_has_zero_spread_after_a_step)
{
    std::vector<double> x(3000, 0.1);
    for (std::size_t i = 0; i < 1000; ++i)
        x[i] = 1e6 * ryx::test::noise(1000, 4)[i];
    x[1999] = -7e5;
    for (int w : {100, 1000}) {
        const auto var = outputs<mv::var>(w, x);
        const auto msd = outputs<mv::msd>(w, x);
        const auto kurt = outputs<mv::kurt>(w, x);
        const auto ptp = outputs<mv::peak_to_peak>(w, x);
        for (std::size_t i = 0; i < x.size(); ++i) {
            const window v = window_at(x, i, static_cast<std::size_t>(w));
            const bool constant = *std::min_element(v.first, v.last) == *std::max_element(v.first, v.last);
            if (!constant)
                continue;
            ASSERT_EQ(var[i], 0.0) << "W=" << w << " at " << i;
            ASSERT_EQ(msd[i], 0.0) << "W=" << w << " at " << i;
            ASSERT_EQ(kurt[i], 0.0) << "W=" << w << " at " << i;
            ASSERT_EQ(ptp[i], 0.0) << "W=" << w << " at " << i;
        }
        EXPECT_EQ(var.back(), 0.0);
    }
}

TEST(moving_statistics, a_nan_counts_only_while_it_is_in_the_window)
{
    std::vector<double> x = ryx::test::noise(400, 6);
    x[150] = not_a_number;
    x[151] = HUGE_VAL;
    x[260] = -HUGE_VAL;
    const int w = 40;
    for (const statistic& s : statistics()) {
        ryx::test::host h(1000.0);
        std::unique_ptr<mv::data> m(s.make(h.channel()));
        m->set_time(seconds(w, 1000.0));
        std::vector<double> y;
        collect(m.get(), y);
        h.push(h.channel(), x, random_runs(30));
        for (std::size_t k = 150; k < 190; ++k)
            EXPECT_TRUE(std::isnan(y[k])) << s.name << " at " << k;
        // Once the NaN and the infinities have left, the statistic is whole again.
        expect_direct(s, w, x, y, 300, 1, 1.0);
        expect_direct(s, w, x, y, 0, 1, 1.0);
    }
}

namespace {

// A host's own refinement of a statistic: it watches every sample entering the
// window. The fast run loop of the statistic must not bypass the override.
class counted_var : public mv::var
{
public:
    using mv::var::var;
    void add_value(double x) override
    {
        ++added;
        mv::var::add_value(x);
    }
    int added = 0;
};

} // namespace

TEST(moving_statistics, a_subclass_overriding_a_hook_is_honoured_and_agrees)
{
    const auto x = ryx::test::noise(3000, 9);
    ryx::test::host h(1000.0);
    auto* plain = new mv::var(h.channel(), false);
    auto* counted = new counted_var(h.channel(), false);
    plain->set_time(0.05);
    counted->set_time(0.05);
    h.push(h.channel(), x, 128);
    EXPECT_EQ(counted->added, 3000);
    EXPECT_EQ(*counted, *plain);
}

TEST(moving_statistics, keep_their_class_tree)
{
    ryx::test::host h(1000.0);
    const std::vector<std::pair<ryx::analog_data*, const char*>> expected{
        {new mv::var(h.channel(), false), "ryx::math::moving::avg"},
        {new mv::kurt(h.channel(), false), "ryx::math::moving::avg"},
        {new mv::msd(h.channel(), false), "ryx::math::moving::var"},
        {new mv::min(h.channel(), false), "ryx::math::moving::max"},
        {new mv::offset(h.channel(), false), "ryx::math::moving::peak_to_peak"},
        {new mv::peak(h.channel(), false), "ryx::math::moving::peak_to_peak"},
        {new mv::median(h.channel(), false), "ryx::math::moving::data"},
        {new mv::avg(h.channel(), false), "ryx::math::moving::data"}};
    for (const auto& [channel, base] : expected)
        EXPECT_STREQ(channel->metaObject()->superClass()->className(), base) << channel->metaObject()->className();
}

namespace {

double largest_magnitude(window v)
{
    double m = 0.0;
    for (const double* p = v.first; p != v.last; ++p)
        m = std::max(m, std::abs(*p));
    return m;
}

// Every output of the statistic over x against the direct recomputation: the
// order statistics exactly; the mean, RMS and standard deviation within rel of
// the window's largest magnitude plus abs; the variance within rel of the
// direct value plus abs; the kurtosis, a ratio, within rel of max(1, value).
void expect_close(const statistic& s, int w, const std::vector<double>& x, const std::vector<double>& y, double rel,
                  double abs, const std::string& what)
{
    ASSERT_EQ(y.size(), x.size()) << s.name << " " << what;
    const std::string name = s.name;
    int failures = 0;
    for (std::size_t k = 0; k < x.size() && failures < 5; ++k) {
        const window v = window_at(x, k, static_cast<std::size_t>(w));
        const double want = s.direct(v);
        const double got = y[k];
        const double scale = name == "var"    ? std::abs(want)
                             : name == "kurt" ? std::max(1.0, std::abs(want))
                                              : std::max(std::abs(want), largest_magnitude(v));
        const bool ok = same(got, want) || (s.tolerance > 0 && std::abs(got - want) <= rel * scale + abs);
        if (!ok) {
            ++failures;
            ADD_FAILURE() << s.name << " " << what << " W=" << w << " output " << k << ": " << got << " vs direct "
                          << want;
        }
    }
}

std::vector<double> outputs_in_runs(const statistic& s, int w, const std::vector<double>& x)
{
    ryx::test::host h(1000.0);
    std::unique_ptr<mv::data> m(s.make(h.channel()));
    m->set_time(seconds(w, 1000.0));
    std::vector<double> y;
    collect(m.get(), y);
    h.push(h.channel(), x, random_runs(3 * static_cast<std::size_t>(w) / 2 + 1, 23));
    return y;
}

} // namespace

TEST(moving_statistics, samples_of_any_finite_magnitude_give_finite_accurate_results)
{
    // Squares overflow a double from 1.4e154 on and fourth powers from 1.2e77;
    // sums of samples near 1e308 overflow too. The references are two-pass in
    // long double, whose range holds every power sum here: a result a double
    // can hold must come out finite and accurate, a variance beyond the largest
    // double reads +inf (1e155 and up).
    const std::vector<double> noise = ryx::test::noise(1500, 31);
    for (const double magnitude : {1e154, 1e155, 1e200, 1e300, 1e308}) {
        for (const double sign : {1.0, -1.0}) {
            const double m = sign * magnitude;
            // About m, spread m / 2; about 0, spanning -m .. m, so that the
            // deviations themselves reach 2e308; ordinary noise with every 37th
            // sample huge, so windows come and go between both ranges.
            std::vector<double> about(noise.size());
            std::vector<double> across(noise.size());
            std::vector<double> sparse(noise.size());
            for (std::size_t i = 0; i < noise.size(); ++i) {
                about[i] = m * (0.75 + 0.25 * noise[i]);
                across[i] = m * noise[i];
                sparse[i] = i % 37 == 5 ? m * (0.5 + 0.5 * std::abs(noise[i])) : 3.0 + noise[i];
            }
            for (const statistic& s : statistics()) {
                for (const int w : {1, 4, 100}) {
                    for (const auto& [x, what] : {std::pair{&about, "about"}, std::pair{&across, "across"},
                                                  std::pair{&sparse, "sparse"}}) {
                        const std::string label = std::string(what) + " " + QString::number(m).toStdString();
                        expect_close(s, w, *x, outputs_in_runs(s, w, *x), 1e-12, 0.0, label);
                    }
                }
            }
        }
    }
}

TEST(moving_statistics, subnormal_samples_count_as_zero_in_the_sums_only)
{
    // Ordinary noise with every third sample subnormal, then a stretch of
    // subnormal samples only, then noise again. The order statistics stay exact
    // (offset, peak and median halve a subnormal sum exactly); the sums read a
    // subnormal sample as 0, which moves a mean, an RMS or a standard deviation
    // by less than 2^-1022 (tolerance 1e-300 absolute), and a window of
    // subnormal samples only has the kurtosis of a constant one, 0.
    const std::vector<double> noise = ryx::test::noise(3000, 41);
    std::vector<double> x(noise.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        const bool tiny = (i >= 1000 && i < 2000) || i % 3 == 0;
        x[i] = tiny ? std::ldexp(noise[i], -1030 - static_cast<int>(i % 40)) : 2.0 + noise[i];
    }
    ASSERT_EQ(std::fpclassify(x[1500]), FP_SUBNORMAL);
    const int w = 100;
    for (const statistic& s : statistics()) {
        const std::vector<double> y = outputs_in_runs(s, w, x);
        if (std::string(s.name) != "kurt") {
            expect_close(s, w, x, y, 1e-12, 1e-300, "subnormal");
            continue;
        }
        ASSERT_EQ(y.size(), x.size());
        for (std::size_t k = 0; k < x.size(); ++k) {
            const window v = window_at(x, k, static_cast<std::size_t>(w));
            if (largest_magnitude(v) < DBL_MIN) {
                ASSERT_EQ(y[k], 0.0) << "at " << k;
                continue;
            }
            std::vector<double> read(v.first, v.last);
            for (double& e : read)
                e = std::abs(e) < DBL_MIN ? 0.0 : e;
            const double want = kurt_of({read.data(), read.data() + read.size()});
            ASSERT_NEAR(y[k], want, 1e-9 * std::max(1.0, std::abs(want))) << "at " << k;
        }
    }
}

TEST(moving_statistics, unusual_samples_give_the_same_outputs_however_the_runs_fall)
{
    // Ordinary stretches, huge samples, subnormal ones and a NaN, coming and
    // going: the statistic takes a different path while such a sample is in the
    // window, and its outputs must not depend on where the runs begin.
    std::vector<double> x = ryx::test::noise(4000, 43);
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (i % 500 == 100)
            x[i] = 1e300 * (1.0 + x[i]);
        else if (i % 500 == 300)
            x[i] = std::ldexp(x[i], -1050);
        else if (i % 500 == 250 && i > 2000)
            x[i] = -1e160;
    }
    x[3300] = not_a_number;
    for (const statistic& s : statistics()) {
        for (const int w : {7, 150}) {
            std::vector<double> whole;
            {
                ryx::test::host h(1000.0);
                std::unique_ptr<mv::data> m(s.make(h.channel()));
                m->set_time(seconds(w, 1000.0));
                collect(m.get(), whole);
                h.push(h.channel(), x);
            }
            for (const std::size_t run : {std::size_t(1), std::size_t(0)}) {
                ryx::test::host h(1000.0);
                std::unique_ptr<mv::data> m(s.make(h.channel()));
                m->set_time(seconds(w, 1000.0));
                std::vector<double> y;
                collect(m.get(), y);
                if (run == 1)
                    h.push(h.channel(), x, run);
                else
                    h.push(h.channel(), x, random_runs(2 * static_cast<std::size_t>(w), 29));
                ASSERT_EQ(y.size(), whole.size());
                for (std::size_t k = 0; k < y.size(); ++k)
                    ASSERT_TRUE(same(y[k], whole[k])) << s.name << " W=" << w << " run " << run << " at " << k
                                                      << ": " << y[k] << " vs " << whole[k];
            }
        }
    }
}

TEST(moving_statistics, kurtosis_and_variance_on_a_large_offset_match_long_double_closely)
{
    // Noise of spread 1 on 1e6, with a step to 3e6 halfway: the moments are
    // taken about a sample of the window, so nothing is formed at the scale
    // of the offset and the kurtosis keeps the absolute accuracy of data near
    // 0 (relative where it exceeds 1), the variance its relative accuracy,
    // across the step and in every block. Sampled outputs against a
    // long-double two-pass.
    const std::size_t n = 300000;
    std::vector<double> x = ryx::test::noise(n, 57);
    for (std::size_t i = 0; i < n; ++i)
        x[i] += i < n / 2 ? 1e6 : 3e6;
    for (const int w : {1000, 10000}) {
        const std::vector<double> kurt = outputs<mv::kurt>(w, x);
        const std::vector<double> var = outputs<mv::var>(w, x);
        ASSERT_EQ(kurt.size(), n);
        double worst_level = 0.0; // windows on one level
        double worst_step = 0.0;  // windows across the step
        double worst_var = 0.0;
        for (std::size_t k = 3; k < n; k += 101) {
            const window v = window_at(x, k, static_cast<std::size_t>(w));
            const double peaked = kurt_of(v); // up to about W where a few samples stand apart
            const double error = std::abs(kurt[k] - peaked) / std::max(1.0, std::abs(peaked));
            double& worst = k >= n / 2 && k < n / 2 + static_cast<std::size_t>(w) ? worst_step : worst_level;
            worst = std::max(worst, error);
            const double want = var_of(v);
            worst_var = std::max(worst_var, std::abs(var[k] - want) / want);
        }
        // The kurtosis's power sums are compensated: its error does not grow
        // with W on a level (about 3e-15 here). pandas' rolling kurtosis is off
        // by about 1e-15 on one level alone, but by 1e12 once the step is in the
        // recording (tests/tools/kurt_pandas_error.py).
        EXPECT_LT(worst_level, 1e-14) << "W=" << w;
        EXPECT_LT(worst_step, 1e-13) << "W=" << w;
        // The variance's plain sums round like any running sum: the bound grows with W.
        EXPECT_LT(worst_var, 1e-16 * w) << "W=" << w;
    }
}

TEST(moving_statistics, every_short_window_length_agrees_with_the_direct_values_and_across_runs)
{
    // Window lengths around small multiples of four, so that a block's summary
    // pass ends on every remainder and the ring wraps at every offset; a huge
    // sample now and then sends a block through the careful pass, which must
    // agree with the ordinary one once it has left the window.
    std::vector<double> x = ryx::test::noise(1200, 61);
    for (std::size_t i = 0; i < x.size(); ++i)
        x[i] = i % 97 == 13 ? 1e300 : 1e6 + x[i];
    for (const statistic& s : statistics()) {
        for (int w = 1; w <= 13; ++w) {
            std::vector<double> whole;
            {
                ryx::test::host h(1000.0);
                std::unique_ptr<mv::data> m(s.make(h.channel()));
                m->set_time(seconds(w, 1000.0));
                collect(m.get(), whole);
                h.push(h.channel(), x);
            }
            ryx::test::host h(1000.0);
            std::unique_ptr<mv::data> m(s.make(h.channel()));
            m->set_time(seconds(w, 1000.0));
            std::vector<double> y;
            collect(m.get(), y);
            h.push(h.channel(), x, random_runs(static_cast<std::size_t>(w) + 2, 7));
            ASSERT_EQ(y.size(), whole.size());
            for (std::size_t k = 0; k < y.size(); ++k)
                ASSERT_TRUE(same(y[k], whole[k])) << s.name << " W=" << w << " at " << k;
            // Away from the huge samples the values are those of the direct
            // recomputation, on the scale of the spread, not of the offset.
            for (std::size_t k = 0; k < x.size(); ++k) {
                const window v = window_at(x, k, static_cast<std::size_t>(w));
                if (std::any_of(v.first, v.last, [](double e) { return e > 1e10; }))
                    continue;
                const double want = s.direct(v);
                ASSERT_TRUE(same(whole[k], want)
                            || std::abs(whole[k] - want) <= s.tolerance * std::max(1.0, std::abs(want)))
                    << s.name << " W=" << w << " at " << k << ": " << whole[k] << " vs " << want;
            }
        }
    }
}
