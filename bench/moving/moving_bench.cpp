// Cost per sample of the moving-window channels, fed as the host feeds them
// (runs of 1024 samples through the source channel), for windows of 10^3 and
// 10^5 samples over 10^7 samples of noise. "per_sample" (time per sample) is the figure to
// compare; "host_only" is what the host's own publishing of the runs costs.

#include <benchmark/benchmark.h>
#include <memory>
#include <random>

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
#include "ryx/core/device.h"

namespace {

constexpr std::size_t samples = 10000000;
constexpr std::size_t run = 1024;
constexpr double rate = 1000.0;

const std::vector<double>& signal()
{
    static const std::vector<double> x = [] {
        std::mt19937 gen(11);
        std::normal_distribution<double> dist;
        std::vector<double> v(samples);
        for (std::size_t i = 0; i < samples; ++i)
            v[i] = 100.0 + dist(gen) + ((i / 250) % 2 ? 1.0 : -1.0); // noisy square wave on an offset
        return v;
    }();
    return x;
}

template <class Statistic>
void moving_channel(benchmark::State& state)
{
    const std::vector<double>& x = signal();
    ryx::device dev("bench");
    ryx::analog_data* source = dev.add_channel("source", rate);
    std::unique_ptr<ryx::analog_data> stat;
    if constexpr (!std::is_same_v<Statistic, void>) {
        auto* s = new Statistic(source, false);
        s->set_time(static_cast<double>(state.range(0)) / rate);
        stat.reset(s);
    }
    for (auto _ : state) {
        for (std::size_t at = 0; at < x.size(); at += run) {
            const auto first = x.cbegin() + static_cast<std::ptrdiff_t>(at);
            source->ryx::analog_data::set_data(first, first + static_cast<std::ptrdiff_t>(std::min(run, x.size() - at)));
        }
        if (stat)
            benchmark::DoNotOptimize(stat->back());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(samples));
    state.counters["per_sample"] = benchmark::Counter(
        static_cast<double>(samples), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void windows(benchmark::internal::Benchmark* b)
{
    b->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
}

} // namespace

BENCHMARK_TEMPLATE(moving_channel, void)->Name("host_only")->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(moving_channel, ryx::math::moving::avg)->Name("avg")->Apply(windows);
BENCHMARK_TEMPLATE(moving_channel, ryx::math::moving::rms)->Name("rms")->Apply(windows);
BENCHMARK_TEMPLATE(moving_channel, ryx::math::moving::var)->Name("var")->Apply(windows);
BENCHMARK_TEMPLATE(moving_channel, ryx::math::moving::msd)->Name("msd")->Apply(windows);
BENCHMARK_TEMPLATE(moving_channel, ryx::math::moving::kurt)->Name("kurt")->Apply(windows);
BENCHMARK_TEMPLATE(moving_channel, ryx::math::moving::max)->Name("max")->Apply(windows);
BENCHMARK_TEMPLATE(moving_channel, ryx::math::moving::min)->Name("min")->Apply(windows);
BENCHMARK_TEMPLATE(moving_channel, ryx::math::moving::peak_to_peak)->Name("peak_to_peak")->Apply(windows);
BENCHMARK_TEMPLATE(moving_channel, ryx::math::moving::offset)->Name("offset")->Apply(windows);
BENCHMARK_TEMPLATE(moving_channel, ryx::math::moving::peak)->Name("peak")->Apply(windows);
BENCHMARK_TEMPLATE(moving_channel, ryx::math::moving::median)->Name("median")->Apply(windows);
BENCHMARK_TEMPLATE(moving_channel, ryx::math::moving::freq)->Name("freq")->Apply(windows);
BENCHMARK_TEMPLATE(moving_channel, ryx::math::moving::period)->Name("period")->Apply(windows);
BENCHMARK_TEMPLATE(moving_channel, ryx::math::moving::thresh)->Name("thresh")->Apply(windows);
