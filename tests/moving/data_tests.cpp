#include <QDomDocument>
#include <QJsonObject>
#include <QPointer>
#include <QSignalSpy>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

#include "ryx/math/moving/avg.h"
#include "ryx/math/moving/freq.h"
#include "ryx/math/moving/kurt.h"
#include "ryx/math/moving/max.h"
#include "ryx/math/moving/median.h"
#include "ryx/math/moving/min.h"
#include "ryx/math/moving/msd.h"
#include "ryx/math/moving/offset.h"
#include "ryx/math/moving/peak.h"
#include "ryx/math/moving/peak_to_peak.h"
#include "ryx/math/moving/period.h"
#include "ryx/math/moving/rms.h"
#include "ryx/math/moving/thresh.h"
#include "ryx/math/moving/var.h"
#include "moving/window.h"
#include "support/host.h"

using namespace moving_test;
namespace mv = ryx::math::moving;

namespace {

// The same statistic seen through a class of its own: the base loop then calls
// the statistic through its virtual operations instead of inlining them.
template <class S>
struct through_virtuals : S
{
    using S::S;
};

using factory = std::function<mv::data*(ryx::analog_data*)>;

template <class S>
factory make(bool virtual_calls = false)
{
    if (virtual_calls)
        return [](ryx::analog_data* src) -> mv::data* { return new through_virtuals<S>(src, false); };
    return [](ryx::analog_data* src) -> mv::data* { return new S(src, false); };
}

struct kind
{
    const char* name;
    factory fast;
    factory slow;
};

const std::vector<kind>& all_kinds()
{
    static const std::vector<kind> kinds = {
        {"avg", make<mv::avg>(), make<mv::avg>(true)},
        {"rms", make<mv::rms>(), make<mv::rms>(true)},
        {"var", make<mv::var>(), make<mv::var>(true)},
        {"msd", make<mv::msd>(), make<mv::msd>(true)},
        {"kurt", make<mv::kurt>(), make<mv::kurt>(true)},
        {"max", make<mv::max>(), make<mv::max>(true)},
        {"min", make<mv::min>(), make<mv::min>(true)},
        {"peak_to_peak", make<mv::peak_to_peak>(), make<mv::peak_to_peak>(true)},
        {"offset", make<mv::offset>(), make<mv::offset>(true)},
        {"peak", make<mv::peak>(), make<mv::peak>(true)},
        {"median", make<mv::median>(), make<mv::median>(true)},
        {"freq", make<mv::freq>(), make<mv::freq>(true)},
        {"period", make<mv::period>(), make<mv::period>(true)},
        {"thresh", make<mv::thresh>(), make<mv::thresh>(true)},
    };
    return kinds;
}

// Output of a fresh channel of window w fed with x in runs from the sizer.
std::vector<double> run(const factory& f, int w, const std::vector<double>& x,
                        const std::function<std::size_t()>& sizer)
{
    ryx::test::host h(1000.0);
    mv::data* s = f(h.channel());
    s->set_time(seconds(w, 1000.0));
    std::vector<double> out;
    collect(s, out);
    h.push(h.channel(), x, sizer);
    return out;
}

} // namespace

TEST(moving_data, window_length_follows_time_and_rate)
{
    ryx::test::host h(1000.0);
    mv::avg s(h.channel(), false);
    EXPECT_EQ(s.count(), 1000);
    EXPECT_EQ(s.values_size(), 1000u);
    EXPECT_DOUBLE_EQ(s.time(), 1.0);
    EXPECT_EQ(s.parent_node(), h.channel());

    QSignalSpy changed(&s, &mv::data::time_changed);
    s.set_time(0.0125); // 12.5 samples, rounded half away from zero
    EXPECT_EQ(s.count(), 13);
    EXPECT_EQ(changed.count(), 1);
    s.set_time(0.013 + 1e-10); // within 1e-9 of the current time
    EXPECT_EQ(changed.count(), 1);
    EXPECT_TRUE(s.setProperty("time", 0.5));
    EXPECT_EQ(s.count(), 500);
    EXPECT_EQ(changed.count(), 2);

    // A later rate change changes the duration, not the window.
    h.channel()->set_rate(2000.0);
    EXPECT_EQ(s.count(), 500);
    EXPECT_DOUBLE_EQ(s.property("time").toDouble(), 0.25);

    // Times that give no window length are ignored.
    for (double bad : {-0.1, not_a_number, HUGE_VAL, 1e300}) {
        s.set_time(bad);
        EXPECT_EQ(s.count(), 500) << bad;
    }
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(h.dev().lock_depth(), 0);
}

TEST(moving_data, each_input_gives_one_output_over_the_window_ending_with_it)
{
    ryx::test::host h(1000.0);
    mv::avg s(h.channel(), false);
    s.set_time(0.002);
    h.push(h.channel(), {1.0, 2.0, 3.0});
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(std::vector<double>(s.begin(), s.end()), (std::vector<double>{1.0, 1.5, 2.5}));
    EXPECT_EQ(s.real_count(), 2);
    EXPECT_EQ(s.value_at(0), 2.0); // oldest
    EXPECT_EQ(s.value_at(1), 3.0); // newest
    EXPECT_EQ(s.value_at(2), 2.0); // wraps around

    // After a window change the first output is the statistic of one sample.
    s.set_time(0.003);
    EXPECT_EQ(s.real_count(), 0);
    h.push(h.channel(), {10.0, 20.0});
    EXPECT_EQ(s.real_count(), 2);
    EXPECT_EQ(s.value_at(0), 10.0);
    EXPECT_EQ(std::vector<double>(s.begin(), s.end()), (std::vector<double>{10.0, 15.0}));

    // An empty window or a negative index has no sample.
    EXPECT_TRUE(std::isnan(s.value_at(-1)));
    s.reset();
    EXPECT_TRUE(std::isnan(s.value_at(0)));
}

TEST(moving_data, zero_window_outputs_zeros)
{
    ryx::test::host h(1000.0);
    mv::max s(h.channel(), false);
    s.set_time(0.0004); // 0.4 samples
    EXPECT_EQ(s.count(), 0);
    h.push(h.channel(), {5.0, -3.0, 7.0});
    EXPECT_EQ(std::vector<double>(s.begin(), s.end()), (std::vector<double>{0.0, 0.0, 0.0}));
    EXPECT_EQ(s.real_count(), 0);
}

TEST(moving_data, settings_descriptor_and_parameters)
{
    ryx::test::host h(1000.0);
    mv::avg s(h.channel(), false);
    const QJsonObject window = s.settings()["20_window"].toObject();
    EXPECT_EQ(window["type"].toString(), "double");
    EXPECT_DOUBLE_EQ(window["value"].toDouble(), 1.0);
    EXPECT_DOUBLE_EQ(window["min"].toDouble(), 0.1); // 100 samples
    EXPECT_EQ(window["max"].toDouble(), 100.0);
    EXPECT_EQ(window["prec"].toInt(), 3);
    EXPECT_EQ(window["label"].toString(), "Window, sec");
    EXPECT_TRUE(s.settings().contains("10_name")); // the host's own entries stay

    QSignalSpy changed(&s, &mv::data::time_changed);
    EXPECT_TRUE(s.set_parameter("window", 0.5));
    EXPECT_EQ(s.count(), 500);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_FALSE(s.set_parameter("20_window", 0.25));
    EXPECT_FALSE(s.set_parameter("Window", 0.25));
    EXPECT_EQ(s.count(), 500);
    EXPECT_TRUE(s.set_parameter("name", "smoothed"));
    EXPECT_EQ(s.name(), "smoothed");
}

TEST(moving_data, save_and_load_keep_the_window)
{
    ryx::test::host h(1000.0);
    QDomDocument doc;
    QDomElement e = doc.createElement("channel");
    {
        mv::avg s(h.channel(), false);
        s.set_time(1234.567); // a length the default six digits would not keep
        s.save(e);
    }
    mv::avg t(h.channel(), false);
    t.load(e);
    EXPECT_EQ(t.count(), 1234567);

    QDomElement bare = doc.createElement("channel");
    t.load(bare); // no "time": one second
    EXPECT_EQ(t.count(), 1000);

    bare.setAttribute("time", "-3");
    t.load(bare); // a negative window is refused
    EXPECT_EQ(t.count(), 1000);
}

TEST(moving_data, reset_and_window_change_restart_every_statistic)
{
    const std::vector<double> history = ryx::test::noise(50, 9);
    const std::vector<double> after = {4.0, -2.0, 7.0, 7.0};
    for (const kind& k : all_kinds()) {
        for (const bool by_reset : {true, false}) {
            ryx::test::host h(1000.0);
            std::unique_ptr<mv::data> s(k.fast(h.channel()));
            s->set_time(0.01);
            h.push(h.channel(), history);
            if (by_reset)
                s->reset();
            else
                s->set_time(0.02);
            EXPECT_EQ(s->real_count(), 0) << k.name;
            h.push(h.channel(), after);

            // The same as a channel that never saw the history.
            ryx::test::host g(1000.0);
            std::unique_ptr<mv::data> fresh(k.fast(g.channel()));
            fresh->set_time(s->time());
            g.push(g.channel(), after);
            for (std::size_t i = 0; i < after.size(); ++i)
                EXPECT_TRUE(same(s->at(i), fresh->at(i)))
                    << k.name << (by_reset ? " reset" : " set_time") << " output " << i << ": " << s->at(i)
                    << " vs " << fresh->at(i);
        }
    }
}

TEST(moving_data, output_does_not_depend_on_how_the_input_is_split)
{
    // One run, uneven runs and single samples give bit-identical outputs, and so
    // does the base loop calling the statistic through its virtual operations.
    std::vector<double> x = ryx::test::noise(700, 5);
    for (std::size_t i = 0; i < x.size(); ++i)
        x[i] += (i / 97) % 2 ? 3.0 : -1.0; // steps, so that thresh and freq have work
    x[350] = not_a_number;
    for (const kind& k : all_kinds()) {
        for (int w : {1, 2, 37}) {
            const auto whole = run(k.fast, w, x, [] { return 700; });
            const auto uneven = run(k.fast, w, x, random_runs(50));
            const auto single = run(k.fast, w, x, [] { return 1; });
            const auto slow = run(k.slow, w, x, random_runs(20, 8));
            ASSERT_EQ(whole.size(), x.size()) << k.name;
            for (std::size_t i = 0; i < x.size(); ++i) {
                ASSERT_TRUE(same(whole[i], uneven[i])) << k.name << " W=" << w << " at " << i;
                ASSERT_TRUE(same(whole[i], single[i])) << k.name << " W=" << w << " at " << i;
                ASSERT_TRUE(same(whole[i], slow[i])) << k.name << " W=" << w << " at " << i;
            }
        }
    }
}

TEST(moving_data, deleting_the_source_or_the_channel_leaves_nothing_dangling)
{
    {
        // The device goes with its channel and every moving channel below it.
        ryx::test::host h(1000.0);
        QPointer<mv::data> s = new mv::median(h.channel(), false);
        QPointer<mv::data> chained = new mv::avg(s, false); // a moving channel of a moving channel
        h.push(h.channel(), ryx::test::noise(3000));
        h.destroy();
        EXPECT_TRUE(s.isNull());
        EXPECT_TRUE(chained.isNull());
    }
    {
        // A listener deletes the channel while its run is being published.
        ryx::test::host h(1000.0);
        auto* s = new mv::var(h.channel(), false);
        auto* chained = new mv::max(s, false);
        QPointer<mv::data> watch = chained;
        QObject::connect(s, &ryx::analog_data::data_changed, s, [s] { delete s; });
        h.push(h.channel(), ryx::test::noise(100));
        EXPECT_TRUE(watch.isNull());
        EXPECT_EQ(h.dev().lock_depth(), 0);
        h.push(h.channel(), ryx::test::noise(100)); // the source lives on
    }
}

TEST(moving_data, windows_beyond_the_limit_are_refused_from_every_entry)
{
    ryx::test::host h(51200.0);
    auto* m = new mv::rms(h.channel(), false);
    m->set_time(0.5);
    const qint64 before = m->count();
    // 41943 s at 51200 Hz is 2^31 samples; 328 s is just above 2^24.
    for (double t : {41943.0, 328.0, 1e300}) {
        m->set_time(t);
        m->set_parameter("window", t);
        QDomDocument doc;
        QDomElement e = doc.createElement("channel");
        e.setAttribute("time", QString::number(t, 'g', 17));
        m->load(e);
        EXPECT_EQ(m->count(), before) << t;
    }
    // The limit itself is accepted.
    m->set_time(static_cast<double>(mv::data::max_window) / 51200.0);
    EXPECT_EQ(m->count(), mv::data::max_window);
}
