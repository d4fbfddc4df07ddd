// Cost of the IIR filter channel: per sample on its data path (an order-10
// elliptic low-pass, five sections, filtering runs in place), and per redesign
// when a setting changes (the settings reach the design, which is rebuilt).
// Below the channel, the engine's block kernels: a Butterworth low-pass of
// 1 to 10 sections and a single RBJ section, through the kernels that hold the
// delay lines in registers and through the plain loop over the runtime section
// count that keeps them in memory.
#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "ryx/core/device.h"
#include "ryx/dsp/Butterworth.h"
#include "ryx/dsp/RBJ.h"
#include "ryx/dsp/State.h"
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

// 10^6 samples per iteration, filtered in place in runs of 4096 as a channel
// receives them.
constexpr int kSamples = 1000000;
constexpr int kRun = 4096;

std::vector<double> noise()
{
    std::mt19937 gen(7);
    std::uniform_real_distribution<double> dist(-1, 1);
    std::vector<double> v(kSamples);
    for (double& x : v)
        x = dist(gen);
    return v;
}

template <class Filter>
void runs(benchmark::State& state, Filter&& filter)
{
    std::vector<double> x = noise();
    for (auto _ : state) {
        for (int at = 0; at < kSamples; at += kRun)
            filter(std::min(kRun, kSamples - at), x.data() + at);
        benchmark::DoNotOptimize(x.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kSamples);
}

// The design and its state live on the heap and are reached through pointers,
// as in the channel, so that the compiler cannot prove that the samples stored
// leave them alone.
template <class T>
std::unique_ptr<T> onHeap()
{
    auto p = std::make_unique<T>();
    benchmark::DoNotOptimize(p.get());
    return p;
}

// Butterworth low-pass of order 2 * sections at 1 kHz, 48 kHz rate.
using Lowpass = Dsp::Butterworth::LowPass<20>;

template <bool Generic>
void cascade(benchmark::State& state)
{
    const int sections = static_cast<int>(state.range(0));
    const auto f = onHeap<Lowpass>();
    f->setup(2 * sections, 48000, 1000);
    const auto s = onHeap<Lowpass::State<Dsp::DirectFormII>>();
    runs(state, [&](int n, double* x) {
        if constexpr (Generic)
            s->processGeneric(n, x, *f);
        else
            s->process(n, x, *f);
    });
}

void BM_iir_cascade(benchmark::State& state)
{
    cascade<false>(state);
}
BENCHMARK(BM_iir_cascade)->DenseRange(1, 4)->Arg(6)->Arg(10);

void BM_iir_cascade_generic(benchmark::State& state)
{
    cascade<true>(state);
}
BENCHMARK(BM_iir_cascade_generic)->DenseRange(1, 4)->Arg(6)->Arg(10);

// RBJ low-pass at 1 kHz, Q 0.7071, 48 kHz rate.
template <bool Generic>
void rbj(benchmark::State& state)
{
    const auto f = onHeap<Dsp::RBJ::LowPass>();
    f->setup(48000, 1000, 0.7071);
    const auto s = onHeap<Dsp::BiquadBase::State<Dsp::DirectFormII>>();
    runs(state, [&](int n, double* x) {
        if constexpr (Generic)
            s->processGeneric(n, x, *f);
        else
            s->process(n, x, *f);
    });
}

void BM_iir_rbj(benchmark::State& state)
{
    rbj<false>(state);
}
BENCHMARK(BM_iir_rbj);

void BM_iir_rbj_generic(benchmark::State& state)
{
    rbj<true>(state);
}
BENCHMARK(BM_iir_rbj_generic);

} // namespace
