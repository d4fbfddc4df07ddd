// One thread feeds runs through a device while another changes the derived
// channels' settings under the device lock, as a host's acquisition thread and
// its user interface do. Built under ThreadSanitizer too, where any access that
// the lock does not order is reported.
#include <gtest/gtest.h>

#include <QVariant>
#include <atomic>
#include <thread>
#include <vector>

#include "ryx/core/device_lock.h"
#include "ryx/math/diff.h"
#include "ryx/math/filter_iir.h"
#include "ryx/math/intg.h"
#include "ryx/math/moving/avg.h"
#include "ryx/math/moving/rms.h"
#include "support/host.h"

namespace {

struct chain
{
    explicit chain(ryx::analog_data* source)
        : filter(new ryx::math::filter_iir(source, false)),
          mean(new ryx::math::moving::avg(filter, false)),
          level(new ryx::math::moving::rms(source, false)),
          slope(new ryx::math::diff(source, false)),
          area(new ryx::math::intg(source, false))
    {
    }
    // The settings every chain ends with.
    void settle()
    {
        filter->set_parameter("kind", int(ryx::math::filter_iir::chebyshev1));
        filter->set_parameter("order", 4);
        filter->set_parameter("frequency", 700.0);
        mean->set_parameter("window", 0.01);
        level->set_parameter("window", 0.02);
        slope->set_parameter("taps", 3);
        area->set_parameter("taps", 2);
        // A setting equal to the one in force changes nothing: start from rest.
        filter->reset();
        mean->reset();
        level->reset();
        slope->init();
        area->init();
    }
    std::vector<std::vector<double>> outputs() const
    {
        return {*filter, *mean, *level, *slope, *area};
    }

    ryx::math::filter_iir* filter;
    ryx::math::moving::avg* mean;
    ryx::math::moving::rms* level;
    ryx::math::diff* slope;
    ryx::math::intg* area;
};

TEST(threads, settings_change_under_the_lock_while_runs_flow)
{
    const double rate = 8000.0;
    ryx::test::host h(rate);
    chain c(h.channel());

    const auto signal = ryx::test::sine(64 * 100, rate, 310.0, 2.0, 0.25);
    std::atomic<bool> done{false};
    std::atomic<int> runs{0};
    std::thread feeder([&] {
        while (!done) {
            h.push(h.channel(), signal, 64);
            ++runs;
        }
    });

    // The settings side: every change and every read of a published run is
    // bracketed by the device lock, so it falls between two runs.
    int step = 0;
    std::size_t seen = 0;
    while (step < 400 || runs.load() < 20) {
        const ryx::device_lock lock(&h.dev());
        const int k = step++ % 5;
        c.filter->set_parameter("kind", k == 4 ? int(ryx::math::filter_iir::butterworth) : k);
        c.filter->set_parameter("order", 1 + step % 8);
        c.filter->set_parameter("frequency", 200.0 + 50.0 * (step % 20));
        c.mean->set_parameter("window", 0.001 * (1 + step % 30));
        c.level->set_parameter("window", 0.002 * (1 + step % 10));
        c.slope->set_parameter("taps", 1 + step % 4);
        c.area->set_parameter("taps", 1 + step % 3);
        // Reading a published run is part of the settings side's work too.
        seen += c.filter->size() + c.mean->size();
    }
    done = true;
    feeder.join();
    EXPECT_GE(runs.load(), 20);
    (void)seen;
    EXPECT_FALSE(h.dev().is_locked());

    // After the storm the channels hold no trace of it: with the same final
    // settings, a run gives what a fresh chain gives for it.
    {
        const ryx::device_lock lock(&h.dev());
        c.settle();
    }
    ryx::test::host fresh(rate);
    chain reference(fresh.channel());
    reference.settle();
    const auto run = ryx::test::sine(4096, rate, 440.0, 1.5);
    h.push(h.channel(), run, 256);
    fresh.push(fresh.channel(), run, 256);
    const auto got = c.outputs();
    const auto want = reference.outputs();
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i)
        EXPECT_EQ(got[i], want[i]) << "channel " << i;
}

TEST(threads, a_waiting_feeder_resumes_when_the_settings_side_lets_go)
{
    ryx::test::host h(1000.0);
    chain c(h.channel());
    std::atomic<int> published{0};
    QObject::connect(c.filter, &ryx::analog_data::data_changed, [&] { ++published; });

    ryx::device_lock lock(&h.dev());
    std::thread feeder([&] { h.push(h.channel(), std::vector<double>(10, 1.0)); });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(published.load(), 0); // the run waits for the lock
    lock.unlock();
    feeder.join();
    EXPECT_EQ(published.load(), 1);
}

} // namespace
