// Cost per sample of the moving correlation, methods fft and faltung, for
// references of 64, 1024 and 65536 values, fed as the host feeds it: runs of
// 1024 samples through the source channel. The input and the reference are
// the fractional parts of multiples of two irrational steps, less 1/2, which
// NumPy reproduces bit for bit (bench/compare/rows_moving_corr.py).
// Arguments: reference length, samples per iteration (fewer where a sample
// costs more). "per_sample" (time per sample) is the figure to compare.

#include <benchmark/benchmark.h>
#include <cmath>
#include <memory>
#include <vector>

#include "ryx/core/device.h"
#include "ryx/math/moving/corr.h"

namespace {

constexpr std::size_t run = 1024;
constexpr double rate = 1000.0;

std::vector<double> sequence(std::size_t n, double step)
{
    std::vector<double> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = std::fmod(static_cast<double>(i) * step, 1.0) - 0.5;
    return v;
}

template <ryx::math::moving::corr::methods Method>
void correlation(benchmark::State& state)
{
    const auto length = static_cast<std::size_t>(state.range(0));
    const auto samples = static_cast<std::size_t>(state.range(1));
    const std::vector<double> x = sequence(samples, 0.6180339887498949);
    const std::vector<double> reference = sequence(length, 0.7548776662466927);
    ryx::device dev("bench");
    ryx::analog_data* source = dev.add_channel("source", rate);
    auto* c = new ryx::math::moving::corr(source, Method, false);
    c->set_array_y(reference.cbegin(), reference.cend());
    for (auto _ : state) {
        for (std::size_t at = 0; at < x.size(); at += run) {
            const auto first = x.cbegin() + static_cast<std::ptrdiff_t>(at);
            source->ryx::analog_data::set_data(first, first + static_cast<std::ptrdiff_t>(std::min(run, x.size() - at)));
        }
        benchmark::DoNotOptimize(c->back());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(samples));
    state.counters["per_sample"] = benchmark::Counter(
        static_cast<double>(samples), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

} // namespace

BENCHMARK_TEMPLATE(correlation, ryx::math::moving::corr::fft)
    ->Name("corr_fft")
    ->Args({64, 1 << 21})
    ->Args({1024, 1 << 21})
    ->Args({65536, 1 << 18})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(correlation, ryx::math::moving::corr::faltung)
    ->Name("corr_faltung")
    ->Args({64, 1 << 21})
    ->Args({1024, 1 << 19})
    ->Args({65536, 1 << 15})
    ->Unit(benchmark::kMillisecond);
