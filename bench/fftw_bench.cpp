// Cost per source sample of an acquisition analyser's whole pipeline, fed 10^6
// samples of uniform noise in runs of 1024 through a device channel at 51200 Hz:
// the order-12 elliptic anti-alias low-pass at the source rate, decimation by 4
// (band 6400 Hz), frames of N = 3200 (1600 lines of 4 Hz) with a Hann window and
// 50 % overlap, and the amplitude spectrum averaged over the last 8 frames.
// Two states: started (the low-pass cut at the analysed band, as while a
// measurement runs) and as built (cut at half the source rate: the low-pass
// passes everything and the decimator's own filter alone limits the band).
#include <benchmark/benchmark.h>

#include <QJsonObject>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "ryx/core/device.h"
#include "streamed_noise.h"
#include "ryx/math/fftw/ausp.h"
#include "ryx/math/fftw/coh.h"
#include "ryx/math/fftw/corr.h"

namespace {

using namespace ryx::bench;

void BM_ausp_pipeline(benchmark::State& state)
{
    ryx::device dev("bench");
    ryx::analog_data* ch = dev.add_channel("x", kRate);
    ryx::math::fftw::ausp a(ch, QJsonObject{{"frequency", 6400.0}, {"samples", 1600}, {"window", 2},
                                            {"avg", 8}, {"overlap", 0.5}});
    if (state.range(0) == 1)
        a.start();
    if (a.decimation() != 4 || a.fft_length() != 3200 || a.overlap_samples() != 1600) {
        state.SkipWithError("unexpected geometry");
        return;
    }
    const std::vector<double> x = signal_samples();
    for (auto _ : state) {
        push_runs(ch, x);
        benchmark::DoNotOptimize(a.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kSamples));
    state.SetLabel(std::string(state.range(0) == 1 ? "started" : "as built")
                   + ", decimation 4, N 3200, Hann, overlap 50 %, average 8");
}
BENCHMARK(BM_ausp_pipeline)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

} // namespace

namespace {

// The two-channel analysers on two channels at 51200 Hz, each fed the same 10^6
// samples of noise (channel 1 a scaled copy plus its own noise) in alternate
// runs of 1024, analysed at half the rate (no decimation): the coherence over
// the last 8 frame pairs of N = 1024 (rectangular window, no overlap), and the
// cross-correlation at lags 0 .. 255 (frames of 767 samples and 255 zeros).
// Items are samples of one channel.
struct two_channels
{
    ryx::device dev{"bench"};
    ryx::analog_data* a = dev.add_channel("x0", kRate);
    ryx::analog_data* b = dev.add_channel("x1", kRate);
    std::vector<double> x = signal_samples();
    std::vector<double> y;

    two_channels()
    {
        std::mt19937 gen(29);
        std::uniform_real_distribution<double> dist(-1.0, 1.0);
        y.resize(x.size());
        for (std::size_t i = 0; i < x.size(); ++i)
            y[i] = 0.5 * x[i] + 0.25 * dist(gen);
    }

    void feed()
    {
        for (std::size_t at = 0; at < x.size(); at += kRun) {
            const std::size_t n = std::min(kRun, x.size() - at);
            const auto i = static_cast<std::ptrdiff_t>(at);
            const auto m = static_cast<std::ptrdiff_t>(n);
            a->analog_data::set_data(x.cbegin() + i, x.cbegin() + i + m);
            b->analog_data::set_data(y.cbegin() + i, y.cbegin() + i + m);
        }
    }
};

void BM_coh_pipeline(benchmark::State& state)
{
    two_channels c;
    ryx::math::fftw::coh analyser(c.a, c.b,
                                  QJsonObject{{"frequency", kRate / 2}, {"samples", 512}, {"average", 8}});
    for (auto _ : state) {
        c.feed();
        benchmark::DoNotOptimize(analyser.std::vector<double>::data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kSamples));
    state.SetLabel("N 1024, rectangular, no overlap, coherence over the last 8 pairs");
}
BENCHMARK(BM_coh_pipeline)->Unit(benchmark::kMillisecond);

void BM_corr_pipeline(benchmark::State& state)
{
    two_channels c;
    ryx::math::fftw::corr analyser(c.a, c.b, QJsonObject{{"time", 0.01}});
    for (auto _ : state) {
        c.feed();
        benchmark::DoNotOptimize(analyser.std::vector<double>::data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kSamples));
    state.SetLabel("256 lags, frames of 767 samples and 255 zeros");
}
BENCHMARK(BM_corr_pipeline)->Unit(benchmark::kMillisecond);

} // namespace
