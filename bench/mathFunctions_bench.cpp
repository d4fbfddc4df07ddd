#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "ryx/math/mathFunctions.h"

namespace {

std::vector<double> samples(std::size_t n)
{
    std::mt19937 gen(7);
    std::normal_distribution<double> dist;
    std::vector<double> v(n);
    for (auto& x : v)
        x = dist(gen);
    return v;
}

void BM_var(benchmark::State& state)
{
    const auto v = samples(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(mathFunctions::var(v.cbegin(), v.cend()));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_var)->Arg(1000)->Arg(100000);

void BM_kurt(benchmark::State& state)
{
    const auto v = samples(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(mathFunctions::kurt(v.cbegin(), v.cend()));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_kurt)->Arg(1000)->Arg(100000);

void BM_faltung(benchmark::State& state)
{
    const auto x = samples(static_cast<std::size_t>(state.range(0)));
    const auto h = samples(64);
    for (auto _ : state)
        benchmark::DoNotOptimize(mathFunctions::faltung(x, h));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_faltung)->Arg(4096);

} // namespace
