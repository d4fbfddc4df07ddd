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
#include <string>
#include <vector>

#include "ryx/core/device.h"
#include "streamed_noise.h"
#include "ryx/math/fftw/ausp.h"

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
