// What the host's copy of each run costs, and what work between the copies
// costs, without the library.
//
// A channel keeps its latest run: the host copies every run of 1024 samples from
// the acquisition's buffer (here a recording of 10^7 samples, far larger than the
// caches) into the channel's vector, and the measurements below it then read
// that vector. The cases:
//   copy_only       the copies back to back (a channel with nothing attached);
//   copy_then_work  each copy followed by arithmetic that reads no memory, of
//                   about the cost of read_cached_run;
//   copy_then_read  each copy followed by one vectorised pass over the copied
//                   run (the least a block measurement does: a maximum);
//   read_recording  the same pass straight over the recording, no copy (what a
//                   reduction over one array costs);
//   read_cached_run the pass alone over a run that stays in the cache.
// The copy alone costs about as much as a whole pass over the recording, and
// work between the copies costs more than the same work on cached data: the
// copies' stream from memory stalls while the work runs.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr std::size_t recording_length = 10000000;
constexpr std::size_t run = 1024;

const std::vector<double>& recording()
{
    static const std::vector<double> out = [] {
        std::mt19937 gen(3);
        std::uniform_real_distribution<double> dist(-1.0, 1.0);
        std::vector<double> v(recording_length);
        for (double& x : v)
            x = dist(gen);
        return v;
    }();
    return out;
}

typedef double pair __attribute__((vector_size(16)));

// The largest of a run's samples, eight vectors of two lanes per step.
[[gnu::noinline]] double largest(const double* x)
{
    static_assert(run % 16 == 0, "whole steps");
    pair h[8];
    for (pair& v : h)
        std::memcpy(&v, x, sizeof v);
    for (std::size_t i = 0; i < run; i += 16) {
        for (int k = 0; k < 8; ++k) {
            pair v;
            std::memcpy(&v, x + i + 2 * k, sizeof v);
            h[k] = v > h[k] ? v : h[k];
        }
    }
    double r = h[0][0];
    for (const pair& v : h)
        for (int j = 0; j < 2; ++j)
            r = std::max(r, v[j]);
    return r;
}

// Arithmetic on registers only.
[[gnu::noinline]] double work(int steps)
{
    double a = 1.0;
    for (int i = 0; i < steps; ++i)
        a = a * 1.0000001 + 1e-9;
    return a;
}

enum class after { nothing, work, read };

void copy_runs(benchmark::State& state, after what)
{
    const std::vector<double>& x = recording();
    std::vector<double> channel(run);
    std::size_t at = 0;
    double sink = 0.0;
    for (auto _ : state) {
        std::memcpy(channel.data(), x.data() + at, run * sizeof(double));
        if (what == after::work)
            sink += work(140);
        else if (what == after::read)
            sink += largest(channel.data());
        at = at + 2 * run <= x.size() ? at + run : 0;
    }
    benchmark::DoNotOptimize(sink);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(run));
}

void BM_copy_only(benchmark::State& state) { copy_runs(state, after::nothing); }
void BM_copy_then_work(benchmark::State& state) { copy_runs(state, after::work); }
void BM_copy_then_read(benchmark::State& state) { copy_runs(state, after::read); }

void BM_read_recording(benchmark::State& state)
{
    const std::vector<double>& x = recording();
    std::size_t at = 0;
    double sink = 0.0;
    for (auto _ : state) {
        sink += largest(x.data() + at);
        at = at + 2 * run <= x.size() ? at + run : 0;
    }
    benchmark::DoNotOptimize(sink);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(run));
}

// The pass alone, over a run that stays in the cache.
void BM_read_cached_run(benchmark::State& state)
{
    const std::vector<double> channel(recording().begin(), recording().begin() + run);
    double sink = 0.0;
    for (auto _ : state) {
        benchmark::ClobberMemory();
        sink += largest(channel.data());
    }
    benchmark::DoNotOptimize(sink);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(run));
}

BENCHMARK(BM_copy_only);
BENCHMARK(BM_copy_then_work);
BENCHMARK(BM_copy_then_read);
BENCHMARK(BM_read_recording);
BENCHMARK(BM_read_cached_run);

} // namespace
