// The data path allocates nothing per run: once a chain of channels has seen
// its first runs (delay lines, windows and guards set up), publishing a run
// through the device and every derived channel takes no memory from the heap.
// The program replaces the global allocation functions and counts the calls
// made between two markers, on every thread.
#include <gtest/gtest.h>

#include <QObject>
#include <QPointer>
#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "ryx/core/device_lock.h"
#include "ryx/math/filter_iir.h"
#include "ryx/math/moving/avg.h"
#include "ryx/math/moving/rms.h"
#include "support/host.h"

namespace {

std::atomic<long> g_allocations{0};

void* counted(std::size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

void* counted_aligned(std::size_t size, std::align_val_t align)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    const auto a = static_cast<std::size_t>(align);
    // aligned_alloc wants a size that is a multiple of the alignment.
    if (void* p = std::aligned_alloc(a, (size + a - 1) / a * a + (size == 0 ? a : 0)))
        return p;
    throw std::bad_alloc();
}

// Allocations made since the last call.
long take_allocations()
{
    return g_allocations.exchange(0, std::memory_order_relaxed);
}

} // namespace

void* operator new(std::size_t size) { return counted(size); }
void* operator new[](std::size_t size) { return counted(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void* operator new(std::size_t size, std::align_val_t align) { return counted_aligned(size, align); }
void* operator new[](std::size_t size, std::align_val_t align) { return counted_aligned(size, align); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

namespace {

constexpr double rate = 48000.0;
constexpr std::size_t run = 64;

// device -> channel -> Butterworth low-pass (order 4, 1 kHz) -> moving RMS and
// mean over 5 ms (240 samples, filled within the warm-up), with a listener on
// the last channel as a host's display would have.
struct chain
{
    explicit chain(ryx::analog_data* source)
        : lowpass(new ryx::math::filter_iir(source, false)),
          level(new ryx::math::moving::rms(lowpass, false)),
          mean(new ryx::math::moving::avg(lowpass, false))
    {
        lowpass->set_order(4);
        lowpass->set_frequency(1000.0);
        level->set_time(0.005);
        mean->set_time(0.005);
        QObject::connect(level, &ryx::analog_data::data_changed, level, [this] { shown += level->back(); });
    }

    ryx::math::filter_iir* lowpass;
    ryx::math::moving::rms* level;
    ryx::math::moving::avg* mean;
    double shown = 0.0;
};

TEST(data_path, runs_through_an_iir_and_moving_channels_allocate_nothing)
{
    ryx::test::host h(rate);
    chain c(h.channel());
    ASSERT_TRUE(c.lowpass->has_design());
    const auto signal = ryx::test::noise(run * 16, 3);

    std::size_t at = 0;
    const auto push_run = [&] {
        h.push(h.channel(), std::vector<double>(signal.cbegin() + static_cast<std::ptrdiff_t>(at),
                                                signal.cbegin() + static_cast<std::ptrdiff_t>(at + run)));
        at = (at + run) % signal.size();
    };
    for (int i = 0; i < 8; ++i)
        push_run();
    EXPECT_EQ(c.level->real_count(), 240);

    // The runs themselves come from a buffer made beforehand, as a driver's are.
    std::vector<double> buffer(run);
    ryx::analog_data* input = h.channel();
    take_allocations();
    for (int i = 0; i < 10000; ++i) {
        std::copy_n(signal.cbegin() + static_cast<std::ptrdiff_t>(at), run, buffer.begin());
        input->ryx::analog_data::set_data(buffer.cbegin(), buffer.cend());
        at = (at + run) % signal.size();
    }
    const long during = take_allocations();
    EXPECT_EQ(during, 0) << "allocations in 10^4 runs";
    EXPECT_EQ(c.level->size(), run);
    EXPECT_GT(c.shown, 0.0);
}

TEST(data_path, single_samples_and_nested_locks_allocate_nothing)
{
    ryx::test::host h(rate);
    chain c(h.channel());
    ryx::analog_data* input = h.channel();
    const std::vector<double> one{0.5};
    for (int i = 0; i < 300; ++i)
        input->ryx::analog_data::set_data(one.cbegin(), one.cend());

    take_allocations();
    for (int i = 0; i < 10000; ++i) {
        // A host may hold the lock around its own work and feed runs inside it.
        const ryx::device_lock lock(&h.dev());
        input->ryx::analog_data::set_data(one.cbegin(), one.cend());
    }
    EXPECT_EQ(take_allocations(), 0) << "allocations in 10^4 single-sample runs";
    EXPECT_NEAR(c.mean->back(), 0.5, 1e-9);
}

TEST(data_path, a_moving_channel_fed_its_own_output_takes_it_in_place)
{
    // A host may hand a window channel a run taken from that channel's own
    // vector: it is read before being overwritten, without a copy on the heap.
    ryx::test::host h(1000.0, 2);
    auto* own = new ryx::math::moving::rms(h.channel(0), false);
    auto* reference = new ryx::math::moving::rms(h.channel(1), false);
    own->set_time(0.004);
    reference->set_time(0.004);
    const auto signal = ryx::test::noise(32, 5);
    h.push(h.channel(0), signal);
    h.push(h.channel(1), signal);

    const std::vector<double> tail(own->cbegin() + 3, own->cend());
    take_allocations();
    own->set_data(own->cbegin() + 3, own->cend());
    EXPECT_EQ(take_allocations(), 0);
    reference->set_data(tail.cbegin(), tail.cend());
    EXPECT_EQ(*own, *reference);
}

// The counter itself works, for our code and inside the Qt libraries alike: a
// test that could never fail proves nothing.
TEST(data_path, the_counter_sees_allocations)
{
    std::vector<double> grown;
    take_allocations();
    grown.resize(100);
    EXPECT_EQ(take_allocations(), 1);

    QObject watched;
    take_allocations();
    {
        // The first guard on an object allocates the object's shared count.
        const QPointer<QObject> guard(&watched);
    }
    EXPECT_EQ(take_allocations(), 1);
}

} // namespace
