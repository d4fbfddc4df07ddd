// Cost per source sample of the block spectra, fed 10^6 samples in runs of 1024
// as the host feeds a channel. Two levels:
//  - the engine's frame step alone (framing, Hann window, real FFT of N = 2048):
//    a run of 1024 samples stored once in the engine's anti-alias filter channel
//    is published again and again without being filtered or copied, as a filter
//    publishes the run it has just written in place (hot in cache); neither the
//    filter nor the host's storing of a new run is timed here;
//  - a whole PSD pipeline at 51200 Hz, band 6400 Hz: the order-10 elliptic
//    anti-alias filter at the source rate, decimation by 4, N = 2048 frames with
//    a Hann window, densities averaged over 8 frames.
// Both at frame overlaps of 0 and 75 %.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "ryx/core/device.h"
#include "streamed_noise.h"
#include "ryx/math/fft.h"
#include "ryx/math/psd.h"
#include "ryx/math/spec.h"

namespace {

using ryx::math::fft;

using namespace ryx::bench;

ryx::analog_data* filter_channel(ryx::analog_data* source)
{
    for (ryx::analog_data* c : source->child_channels())
        if (c->is_temporary())
            return c;
    return nullptr;
}

void BM_fft_frame_step(benchmark::State& state)
{
    ryx::device dev("bench");
    ryx::analog_data* ch = dev.add_channel("x", kRate);
    fft engine(ch);
    engine.set_frequency(kRate / 2); // decimation 1
    engine.set_resolution(kRate / 2048);
    engine.set_window(fft::hann);
    engine.set_overlap(static_cast<int>(state.range(0)));
    ryx::analog_data* filter = filter_channel(ch);
    if (!filter || engine.fft_length() != 2048 || engine.decimation() != 1) {
        state.SkipWithError("unexpected geometry");
        return;
    }
    const std::vector<double> x = signal_samples();
    filter->analog_data::set_data(x.cbegin(), x.cbegin() + kRun);
    constexpr std::size_t runs = (kSamples + kRun - 1) / kRun;
    for (auto _ : state) {
        for (std::size_t r = 0; r < runs; ++r)
            filter->analog_data::set_data(filter->cbegin(), filter->cend());
        benchmark::DoNotOptimize(engine.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(runs * kRun));
    state.SetLabel("N 2048, overlap " + std::to_string(state.range(0)) + " %");
}
BENCHMARK(BM_fft_frame_step)->Arg(0)->Arg(75)->Unit(benchmark::kMillisecond);

// The same, with 10^6 distinct samples stored into the filter channel run by
// run (a copy per run, the signal streamed from memory): the frame step plus
// the host's storing of the runs.
void BM_fft_frame_step_new_runs(benchmark::State& state)
{
    ryx::device dev("bench");
    ryx::analog_data* ch = dev.add_channel("x", kRate);
    fft engine(ch);
    engine.set_frequency(kRate / 2);
    engine.set_resolution(kRate / 2048);
    engine.set_window(fft::hann);
    engine.set_overlap(static_cast<int>(state.range(0)));
    ryx::analog_data* filter = filter_channel(ch);
    if (!filter || engine.fft_length() != 2048 || engine.decimation() != 1) {
        state.SkipWithError("unexpected geometry");
        return;
    }
    const std::vector<double> x = signal_samples();
    for (auto _ : state) {
        push_runs(filter, x);
        benchmark::DoNotOptimize(engine.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kSamples));
}
BENCHMARK(BM_fft_frame_step_new_runs)->Arg(0)->Arg(75)->Unit(benchmark::kMillisecond);

void BM_psd_pipeline(benchmark::State& state)
{
    ryx::device dev("bench");
    ryx::analog_data* ch = dev.add_channel("x", kRate);
    ryx::math::psd p(ch);
    p.set_frequency(6400.0); // decimation 4, fs 12800
    p.set_resolution(6.25);  // N 2048
    p.set_window(fft::hann);
    p.engine()->set_overlap(static_cast<int>(state.range(0)));
    if (p.engine()->fft_length() != 2048 || p.engine()->decimation() != 4) {
        state.SkipWithError("unexpected geometry");
        return;
    }
    const std::vector<double> x = signal_samples();
    for (auto _ : state) {
        push_runs(ch, x);
        benchmark::DoNotOptimize(p.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kSamples));
    state.SetLabel("decimation 4, N 2048, overlap " + std::to_string(state.range(0)) + " %");
}
BENCHMARK(BM_psd_pipeline)->Arg(0)->Arg(75)->Unit(benchmark::kMillisecond);

// The amplitude spectrum (ausp, Hann, N 2048, averaged over 8 frames) over the
// same pipeline: what the host's users look at most.
void BM_spec_pipeline(benchmark::State& state)
{
    ryx::device dev("bench");
    ryx::analog_data* ch = dev.add_channel("x", kRate);
    ryx::math::spec s(ryx::math::spec::ausp, ch);
    s.set_frequency(6400.0);
    s.set_resolution(6.25);
    s.set_window(fft::hann);
    s.set_average(8);
    s.set_overlap(static_cast<int>(state.range(0)));
    if (s.engine()->fft_length() != 2048 || s.engine()->decimation() != 4) {
        state.SkipWithError("unexpected geometry");
        return;
    }
    const std::vector<double> x = signal_samples();
    for (auto _ : state) {
        push_runs(ch, x);
        benchmark::DoNotOptimize(s.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kSamples));
    state.SetLabel("decimation 4, N 2048, overlap " + std::to_string(state.range(0)) + " %");
}
BENCHMARK(BM_spec_pipeline)->Arg(0)->Arg(75)->Unit(benchmark::kMillisecond);

} // namespace
