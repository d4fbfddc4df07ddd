// Decimation cost per input sample: the resampler fed one frame per call (as the
// acquisition analysers feed it), the resampler fed runs of 1024 frames, and the
// same zita-resampler stages fed in blocks.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>
#include <zita-resampler/resampler.h>

#include "ryx/math/resampler.h"

namespace {

std::vector<float> signal(std::size_t n)
{
    std::vector<float> x(n);
    for (std::size_t i = 0; i < n; ++i)
        x[i] = static_cast<float>(std::sin(0.001 * static_cast<double>(i)));
    return x;
}

// At least 16 output frames per pass through the signal.
std::size_t length_for(int ratio)
{
    return std::max<std::size_t>(1 << 16, 16 * static_cast<std::size_t>(ratio));
}

void BM_resampler_per_frame(benchmark::State& state)
{
    const int ratio = static_cast<int>(state.range(0));
    ryx::math::resampler r(1);
    r.setup(ratio);
    const auto x = signal(length_for(ratio));
    for (auto _ : state) {
        int outputs = 0;
        for (float v : x) {
            float frame = v;
            outputs += r.process(&frame) ? 1 : 0;
        }
        benchmark::DoNotOptimize(outputs);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(x.size()));
}
// 65536 and 64013 take the chains built where a/64+1 steps cannot be: exact
// divisions by 64, and a fractional first stage for the prime 64013.
BENCHMARK(BM_resampler_per_frame)
    ->Arg(1)->Arg(2)->Arg(4)->Arg(100)->Arg(5000)->Arg(65536)->Arg(64013);

// The same resampler fed runs of 1024 frames per call.
void BM_resampler_blocks(benchmark::State& state)
{
    const int ratio = static_cast<int>(state.range(0));
    constexpr std::size_t run = 1024;
    ryx::math::resampler r(1);
    r.setup(ratio);
    const auto x = signal(length_for(ratio) / run * run);
    std::vector<float> out(run);
    for (auto _ : state) {
        int outputs = 0;
        for (std::size_t i = 0; i < x.size(); i += run)
            outputs += r.process(x.data() + i, static_cast<int>(run), out.data());
        benchmark::DoNotOptimize(outputs);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(x.size()));
}
BENCHMARK(BM_resampler_blocks)->Arg(1)->Arg(2)->Arg(4)->Arg(100)->Arg(5000)->Arg(65536)->Arg(64013);

// The same chain of stages, each fed the previous stage's whole block at once
// (rational stages only: the ratios are ones whose a/64+1 chain is built).
void BM_stages_in_blocks(benchmark::State& state)
{
    const int ratio = static_cast<int>(state.range(0));
    ryx::math::resampler chain(1);
    chain.setup(ratio);
    std::vector<std::unique_ptr<Resampler>> stages;
    for (const auto& [in, out] : chain.stages()) {
        stages.push_back(std::make_unique<Resampler>());
        stages.back()->setup(static_cast<unsigned>(in), static_cast<unsigned>(out), 1, 32);
    }
    const auto x = signal(1 << 16);
    std::vector<float> a(x.size()), b(x.size());
    for (auto _ : state) {
        std::vector<float>* in = &a;
        std::vector<float>* out = &b;
        std::copy(x.begin(), x.end(), a.begin());
        std::size_t count = x.size();
        for (auto& s : stages) {
            s->inp_count = static_cast<unsigned>(count);
            s->inp_data = in->data();
            s->out_count = static_cast<unsigned>(out->size());
            s->out_data = out->data();
            s->process();
            count = out->size() - s->out_count;
            std::swap(in, out);
        }
        benchmark::DoNotOptimize(count);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(x.size()));
}
BENCHMARK(BM_stages_in_blocks)->Arg(4)->Arg(100)->Arg(5000);

} // namespace
