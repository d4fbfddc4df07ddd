// Cost per sample of every derived channel and instant measurement on ordinary
// input (argument 0) and on the same input scaled by 2^-1040 (argument 1), where
// every sample is subnormal. Arithmetic on subnormal numbers can take a slow
// microcode path on x86; the ratio of the two "per_sample" figures of a channel
// is what to read (bench/denormal_ratios.py prints it from the JSON output):
//   bench_denormal --benchmark_format=json | python3 bench/denormal_ratios.py
#include <benchmark/benchmark.h>

#include <QJsonObject>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "ryx/core/device.h"
#include "ryx/math/diff.h"
#include "ryx/math/intg.h"
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
#ifdef RYX_BENCH_FILTER_IIR
#include "ryx/math/filter_iir.h"
#endif

namespace {

constexpr std::size_t samples = 1 << 20;
constexpr std::size_t run = 4096;
constexpr double rate = 1000.0;
constexpr int window = 1000; // moving window and instant block, samples

// A noisy square wave on an offset, with a sine for the frequency meters; the
// subnormal version is the same samples times 2^-1040 (all below 2^-1022).
const std::vector<double>& signal(bool subnormal)
{
    static const std::vector<double> plain = [] {
        std::mt19937 gen(11);
        std::normal_distribution<double> dist;
        std::vector<double> v(samples);
        for (std::size_t i = 0; i < samples; ++i)
            v[i] = 100.0 + dist(gen) + ((i / 250) % 2 ? 1.0 : -1.0)
                   + 10.0 * std::sin(2.0 * M_PI * static_cast<double>(i) / 50.0);
        return v;
    }();
    static const std::vector<double> tiny = [] {
        std::vector<double> v = plain;
        for (double& x : v)
            x = std::ldexp(x, -1040);
        return v;
    }();
    return subnormal ? tiny : plain;
}

void feed(ryx::analog_data* source, const std::vector<double>& x)
{
    for (std::size_t at = 0; at < x.size(); at += run) {
        const auto first = x.cbegin() + static_cast<std::ptrdiff_t>(at);
        source->ryx::analog_data::set_data(first, first + static_cast<std::ptrdiff_t>(std::min(run, x.size() - at)));
    }
}

void per_sample(benchmark::State& state)
{
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(samples));
    state.counters["per_sample"] = benchmark::Counter(
        static_cast<double>(samples), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.SetLabel(state.range(0) != 0 ? "subnormal" : "normal");
}

// A derived channel (a child of the source that transforms every run).
template <class Channel>
void derived(benchmark::State& state)
{
    const std::vector<double>& x = signal(state.range(0) != 0);
    ryx::device dev("bench");
    ryx::analog_data* source = dev.add_channel("source", rate);
    auto* channel = new Channel(source, false); // owned by the source
    if constexpr (std::is_base_of_v<ryx::math::moving::data, Channel>)
        channel->set_time(window / rate);
#ifdef RYX_BENCH_FILTER_IIR
    if constexpr (std::is_same_v<Channel, ryx::math::filter_iir>) {
        channel->set_kind(ryx::math::filter_iir::elliptic);
        channel->set_order(10);
        channel->set_frequency(100.0);
        channel->set_ripple(0.1);
        channel->set_slope(0.0);
    }
#endif
    for (auto _ : state) {
        feed(source, x);
        benchmark::DoNotOptimize(channel->back());
    }
    per_sample(state);
}

template <class Measurement>
void instant(benchmark::State& state)
{
    const std::vector<double>& x = signal(state.range(0) != 0);
    ryx::device dev("bench");
    ryx::analog_data* source = dev.add_channel("source", rate);
    Measurement m(source, QJsonObject{{"time", window / rate}});
    for (auto _ : state) {
        feed(source, x);
        benchmark::DoNotOptimize(m.get_value());
    }
    per_sample(state);
}

void both(benchmark::internal::Benchmark* b)
{
    b->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
}

namespace mv = ryx::math::moving;
namespace in = ryx::math::instant;

#define RYX_DERIVED(T, name) BENCHMARK_TEMPLATE(derived, T)->Name(name)->Apply(both)
#define RYX_INSTANT(T, name) BENCHMARK_TEMPLATE(instant, T)->Name(name)->Apply(both)

RYX_DERIVED(mv::avg, "moving/avg");
RYX_DERIVED(mv::rms, "moving/rms");
RYX_DERIVED(mv::var, "moving/var");
RYX_DERIVED(mv::msd, "moving/msd");
RYX_DERIVED(mv::kurt, "moving/kurt");
RYX_DERIVED(mv::max, "moving/max");
RYX_DERIVED(mv::min, "moving/min");
RYX_DERIVED(mv::peak_to_peak, "moving/peak_to_peak");
RYX_DERIVED(mv::offset, "moving/offset");
RYX_DERIVED(mv::peak, "moving/peak");
RYX_DERIVED(mv::median, "moving/median");
RYX_DERIVED(mv::freq, "moving/freq");
RYX_DERIVED(mv::period, "moving/period");
RYX_DERIVED(mv::thresh, "moving/thresh");
RYX_DERIVED(ryx::math::diff, "diff");
RYX_DERIVED(ryx::math::intg, "intg");
#ifdef RYX_BENCH_FILTER_IIR
RYX_DERIVED(ryx::math::filter_iir, "filter_iir");
#endif

RYX_INSTANT(in::avg, "instant/avg");
RYX_INSTANT(in::sum, "instant/sum");
RYX_INSTANT(in::rms, "instant/rms");
RYX_INSTANT(in::var, "instant/var");
RYX_INSTANT(in::kurt, "instant/kurt");
RYX_INSTANT(in::max, "instant/max");
RYX_INSTANT(in::min, "instant/min");
RYX_INSTANT(in::peak_to_peak, "instant/peak_to_peak");
RYX_INSTANT(in::offset, "instant/offset");
RYX_INSTANT(in::peak, "instant/peak");
RYX_INSTANT(in::ampl, "instant/ampl");
RYX_INSTANT(in::freq, "instant/freq");

} // namespace
