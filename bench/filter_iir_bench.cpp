// Cost of the IIR filter channel: per sample on its data path (an order-10
// elliptic low-pass, five sections, filtering runs in place), and per redesign
// when a setting changes (the settings reach the design, which is rebuilt).
#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include "ryx/core/device.h"
#include "ryx/math/filter_iir.h"

namespace {

using ryx::math::filter_iir;

void BM_filter_iir_elliptic10(benchmark::State& state)
{
    ryx::device dev("bench");
    ryx::analog_data* ch = dev.add_channel("x", 51200.0);
    filter_iir f(ch, false);
    f.set_kind(filter_iir::elliptic);
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

// One frequency change, alternating between two values: a single RBJ section
// (where the way from the settings to the design weighs most) and an order-10
// elliptic band-pass.
void BM_filter_iir_redesign(benchmark::State& state)
{
    ryx::device dev("bench");
    ryx::analog_data* ch = dev.add_channel("x", 51200.0);
    filter_iir f(ch, false);
    const bool rbj = state.range(0) == 0;
    f.set_kind(rbj ? filter_iir::rbj : filter_iir::elliptic);
    f.set_type(rbj ? filter_iir::bandpass2 : filter_iir::bandpass);
    f.set_order(10);
    f.set_frequency(2000.0);
    f.set_width(400.0);
    f.set_ripple(0.1);
    f.set_slope(0.0);
    bool high = false;
    for (auto _ : state) {
        high = !high;
        f.set_frequency(high ? 2100.0 : 2000.0);
        benchmark::DoNotOptimize(f.has_design());
    }
    if (!f.has_design())
        state.SkipWithError("no design");
    state.SetLabel(rbj ? "rbj bandpass2" : "elliptic bandpass 10");
}
BENCHMARK(BM_filter_iir_redesign)->Arg(0)->Arg(1);

} // namespace
