// Cost of the host data path: what a run costs on its way from the device to
// the derived channels below it, apart from the work those channels do.
//
// BM_data_path_run/N: runs of N samples through device -> channel -> one derived
// channel that copies the run (the least work a derived channel does). The fixed
// cost of a run is t(1) - (t(64) - t(1)) / 63, t being ns per run.
// BM_data_path_iir_runs: an IIR channel (Butterworth low-pass, order 4, 1 kHz at
// 48 kHz) fed 10^6 samples in runs of 64, the way an acquisition delivers them.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "ryx/core/device.h"
#include "ryx/math/filter_iir.h"

namespace {

// A derived channel that republishes its source's run unchanged.
class relay : public ryx::analog_data
{
public:
    using ryx::analog_data::analog_data;
    ~relay() override { prepare_deleting(); }

    void set_data(const_iterator first, const_iterator last) override { ryx::analog_data::set_data(first, last); }
};

std::vector<double> noise(std::size_t n)
{
    std::mt19937 gen(7);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::vector<double> out(n);
    for (double& x : out)
        x = dist(gen);
    return out;
}

void BM_data_path_run(benchmark::State& state)
{
    ryx::device dev("bench");
    ryx::analog_data* ch = dev.add_channel("x", 48000.0);
    auto* derived = new relay(ch, false);
    const std::vector<double> run = noise(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        ch->ryx::analog_data::set_data(run.cbegin(), run.cend());
        benchmark::DoNotOptimize(derived->data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_data_path_run)->Arg(1)->Arg(64);

void BM_data_path_iir_runs(benchmark::State& state)
{
    constexpr std::size_t total = 1000000;
    constexpr std::ptrdiff_t run = 64;
    ryx::device dev("bench");
    ryx::analog_data* ch = dev.add_channel("x", 48000.0);
    auto* lowpass = new ryx::math::filter_iir(ch, false);
    lowpass->set_order(4);
    lowpass->set_frequency(1000.0);
    if (!lowpass->has_design())
        state.SkipWithError("no design");
    const std::vector<double> x = noise(total);
    for (auto _ : state) {
        auto at = x.cbegin();
        const auto end = x.cend();
        for (; end - at >= run; at += run)
            ch->ryx::analog_data::set_data(at, at + run);
        if (at != end)
            ch->ryx::analog_data::set_data(at, end);
        benchmark::DoNotOptimize(lowpass->data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(total));
}
BENCHMARK(BM_data_path_iir_runs)->Unit(benchmark::kMillisecond);

} // namespace
