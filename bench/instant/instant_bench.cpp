// Cost per source sample of each instant measurement, for blocks of N = 1000
// and N = 100000 samples. The source publishes runs of 1000 samples; the
// "none" case is the cost of publishing them with nothing attached. None of
// them should grow with N: every measurement does O(1) work per sample. The
// signal (one front every 50 samples) gives freq a few thousand fronts per
// block at N = 100000.
#include <benchmark/benchmark.h>

#include <QJsonObject>
#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "ryx/core/analog_data.h"
#include "ryx/core/device.h"
#include "ryx/math/instant/ampl.h"
#include "ryx/math/instant/avg.h"
#include "ryx/math/instant/freq.h"
#include "ryx/math/instant/kurt.h"
#include "ryx/math/instant/max.h"
#include "ryx/math/instant/min.h"
#include "ryx/math/instant/offset.h"
#include "ryx/math/instant/peak.h"
#include "ryx/math/instant/peak_to_peak.h"
#include "ryx/math/instant/rms.h"
#include "ryx/math/instant/sum.h"
#include "ryx/math/instant/var.h"

namespace {

namespace in = ryx::math::instant;

constexpr std::size_t run_length = 1000;
constexpr double block_time = 0.1;

// 64 runs of noise around a sine with a period of 50 samples.
std::vector<double> make_signal()
{
    std::mt19937 gen(5);
    std::normal_distribution<double> noise(0.0, 0.05);
    std::vector<double> out(64 * run_length);
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = 0.3 + std::sin(2.0 * M_PI * static_cast<double>(i) / 50.0) + noise(gen);
    return out;
}

struct none {
    none(ryx::analog_data*, const QJsonObject&) {}
};

template <class T>
void BM_instant(benchmark::State& state)
{
    static const std::vector<double> signal = make_signal();
    const auto n = static_cast<double>(state.range(0));
    ryx::device dev(QStringLiteral("bench"));
    ryx::analog_data* ch = dev.add_channel(QStringLiteral("ch"), n / block_time);
    T measurement(ch, QJsonObject{{"time", block_time}});

    std::size_t at = 0;
    auto push = [&] {
        const auto first = signal.cbegin() + static_cast<std::ptrdiff_t>(at);
        ch->analog_data::set_data(first, first + static_cast<std::ptrdiff_t>(run_length));
        at = (at + run_length) % signal.size();
    };
    // Two full blocks first, so that every state is at its working size.
    for (std::size_t i = 0; i < 2 * static_cast<std::size_t>(n) / run_length + 1; ++i)
        push();

    for (auto _ : state)
        push();
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(run_length));
}

// The side-by-side rows: 10^7 samples of a sine plus noise (far more than
// the caches hold, as a recording would be), fed in runs of 1024 samples as a
// host does, through one measurement with blocks of N samples.
constexpr std::size_t long_length = 10000000;
constexpr std::size_t host_run = 1024;

const std::vector<double>& long_signal()
{
    static const std::vector<double> out = [] {
        std::mt19937 gen(23);
        std::normal_distribution<double> noise(0.0, 0.05);
        std::vector<double> v(long_length);
        for (std::size_t i = 0; i < v.size(); ++i)
            v[i] = 0.3 + std::sin(2.0 * M_PI * static_cast<double>(i) / 50.0) + noise(gen);
        return v;
    }();
    return out;
}

template <class T>
void block_rows(benchmark::State& state)
{
    const std::vector<double>& signal = long_signal();
    const auto n = static_cast<double>(state.range(0));
    ryx::device dev(QStringLiteral("bench"));
    ryx::analog_data* ch = dev.add_channel(QStringLiteral("ch"), n / block_time);
    T measurement(ch, QJsonObject{{"time", block_time}});

    std::size_t at = 0;
    std::int64_t samples = 0;
    auto push = [&] {
        const std::size_t count = std::min(host_run, signal.size() - at);
        const auto first = signal.cbegin() + static_cast<std::ptrdiff_t>(at);
        ch->analog_data::set_data(first, first + static_cast<std::ptrdiff_t>(count));
        at = (at + count) % signal.size();
        return count;
    };
    for (std::size_t i = 0; i < 2 * static_cast<std::size_t>(n) / host_run + 1; ++i)
        push();

    for (auto _ : state)
        samples += static_cast<std::int64_t>(push());
    state.SetItemsProcessed(samples);
}

#define RYX_BLOCK_ROW(label, T)                                                                                     \
    void BM_block_##label(benchmark::State& state) { block_rows<T>(state); }                                       \
    BENCHMARK(BM_block_##label)->Arg(1000)->Arg(100000)

RYX_BLOCK_ROW(none, none);
RYX_BLOCK_ROW(max, in::max);
RYX_BLOCK_ROW(min, in::min);
RYX_BLOCK_ROW(peak_to_peak, in::peak_to_peak);
RYX_BLOCK_ROW(offset, in::offset);
RYX_BLOCK_ROW(peak, in::peak);
RYX_BLOCK_ROW(mean, in::avg);
RYX_BLOCK_ROW(frequency, in::freq);

#define RYX_INSTANT_BENCH(T) BENCHMARK_TEMPLATE(BM_instant, T)->Arg(1000)->Arg(100000)

RYX_INSTANT_BENCH(none);
RYX_INSTANT_BENCH(in::avg);
RYX_INSTANT_BENCH(in::sum);
RYX_INSTANT_BENCH(in::rms);
RYX_INSTANT_BENCH(in::var);
RYX_INSTANT_BENCH(in::kurt);
RYX_INSTANT_BENCH(in::max);
RYX_INSTANT_BENCH(in::min);
RYX_INSTANT_BENCH(in::peak_to_peak);
RYX_INSTANT_BENCH(in::offset);
RYX_INSTANT_BENCH(in::peak);
RYX_INSTANT_BENCH(in::ampl);
RYX_INSTANT_BENCH(in::freq);

} // namespace
