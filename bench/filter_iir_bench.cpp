// Cost per sample of the IIR filter channel on its data path: an order-10
// elliptic low-pass (five sections) filtering runs in place.
#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include "ryx/core/device.h"
#include "ryx/math/filter_iir.h"

namespace {

void BM_filter_iir_elliptic10(benchmark::State& state)
{
    ryx::device dev("bench");
    ryx::analog_data* ch = dev.add_channel("x", 51200.0);
    ryx::math::filter_iir f(ch, false);
    f.set_kind(ryx::math::filter_iir::elliptic);
    f.set_order(10);
    f.set_frequency(2000.0);
    f.set_ripple(0.1);
    f.set_slope(0.0);
    const auto run = static_cast<std::size_t>(state.range(0));
    std::vector<double> x(run);
    for (std::size_t i = 0; i < run; ++i)
        x[i] = static_cast<double>((i * 7919) % 1000) / 500.0 - 1.0;
    for (auto _ : state) {
        ch->set_data(x.cbegin(), x.cend());
        benchmark::DoNotOptimize(f.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(run));
}
BENCHMARK(BM_filter_iir_elliptic10)->Arg(64)->Arg(1024)->Arg(65536);

} // namespace
