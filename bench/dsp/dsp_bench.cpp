// Cost of the design engine's hot paths. The processing pair compares the
// cascade's state loop with a plain hand-written Direct Form II loop over the
// same sections; both report seconds per sample per section. The design pair
// reports the cost of applying parameters: dragging the cutoff (the analog
// prototype is cached, only the transform and the sections are redone) and a
// cold design (a new filter object, prototype included).
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "ryx/dsp/Dsp.h"

namespace {

constexpr int kBlock = 1 << 16;
constexpr int kBlocksPerRun = 153; // about 10^7 samples per iteration

std::vector<double> input()
{
    std::mt19937 gen(5);
    std::uniform_real_distribution<double> dist(-1, 1);
    std::vector<double> v(kBlock);
    for (double& x : v)
        x = dist(gen);
    return v;
}

void perSamplePerSection(benchmark::State& state, int sections)
{
    state.counters["per_sample_section"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kBlock * kBlocksPerRun * sections,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_CascadeProcess(benchmark::State& state)
{
    const int sections = static_cast<int>(state.range(0));
    Dsp::Butterworth::LowPass<50> filter;
    filter.setup(2 * sections, 48000, 3000);
    Dsp::ChannelsState<1, Dsp::Butterworth::LowPass<50>::State<Dsp::DirectFormII>> channel;
    std::vector<double> data = input();
    double* channels[] = {data.data()};
    for (auto _ : state) {
        for (int b = 0; b < kBlocksPerRun; ++b)
            channel.process(kBlock, channels, filter);
        benchmark::DoNotOptimize(data.data());
        benchmark::ClobberMemory();
    }
    perSamplePerSection(state, sections);
}
BENCHMARK(BM_CascadeProcess)->Arg(1)->Arg(4)->Arg(10)->Arg(25)->Unit(benchmark::kMillisecond);

void BM_PlainDirectFormII(benchmark::State& state)
{
    const int sections = static_cast<int>(state.range(0));
    Dsp::Butterworth::LowPass<50> filter;
    filter.setup(2 * sections, 48000, 3000);
    struct Section
    {
        double a1, a2, b0, b1, b2;
    };
    std::vector<Section> c;
    for (int i = 0; i < filter.getNumStages(); ++i)
        c.push_back({filter[i].getA1(), filter[i].getA2(), filter[i].getB0(), filter[i].getB1(), filter[i].getB2()});
    std::vector<double> w1(c.size(), 0.0);
    std::vector<double> w2(c.size(), 0.0);
    std::vector<double> data = input();
    const std::size_t n = c.size();
    for (auto _ : state) {
        for (int b = 0; b < kBlocksPerRun; ++b) {
            for (double& x : data) {
                double v = x;
                for (std::size_t k = 0; k < n; ++k) {
                    const double w = v - c[k].a1 * w1[k] - c[k].a2 * w2[k];
                    v = c[k].b0 * w + c[k].b1 * w1[k] + c[k].b2 * w2[k];
                    w2[k] = w1[k];
                    w1[k] = w;
                }
                x = v;
            }
        }
        benchmark::DoNotOptimize(data.data());
        benchmark::ClobberMemory();
    }
    perSamplePerSection(state, sections);
}
BENCHMARK(BM_PlainDirectFormII)->Arg(1)->Arg(4)->Arg(10)->Arg(25)->Unit(benchmark::kMillisecond);

// Low-pass parameters at order n: 48 kHz, cutoff, then the family's extras
// (ripple 1 dB, stop band 48 dB, transition width 0).
template <class Design>
Dsp::Params lowPassParams(int order, double cutoff)
{
    Dsp::FilterDesign<Design, 1, Dsp::DirectFormII> f;
    Dsp::Params p = f.getDefaultParams();
    p[0] = 48000;
    p[1] = order;
    p[2] = cutoff;
    for (int i = 3; i < f.getNumParams(); ++i) {
        const int id = f.getParamInfo(i).getId();
        p[i] = id == Dsp::idRippleDb ? 1 : id == Dsp::idStopDb ? 48 : f.getParamInfo(i).getDefaultValue();
    }
    return p;
}

template <class Design>
void BM_DragCutoff(benchmark::State& state)
{
    const int order = static_cast<int>(state.range(0));
    auto f = std::make_unique<Dsp::FilterDesign<Design, 1, Dsp::DirectFormII>>();
    const Dsp::Params a = lowPassParams<Design>(order, 1000);
    const Dsp::Params b = lowPassParams<Design>(order, 1100);
    f->setAllParams(a);
    bool flip = false;
    for (auto _ : state) {
        f->setAllParams((flip = !flip) ? b : a);
        benchmark::ClobberMemory();
    }
}

template <class Design>
void BM_ColdDesign(benchmark::State& state)
{
    const int order = static_cast<int>(state.range(0));
    const Dsp::Params a = lowPassParams<Design>(order, 1000);
    for (auto _ : state) {
        auto f = std::make_unique<Dsp::FilterDesign<Design, 1, Dsp::DirectFormII>>();
        f->setAllParams(a);
        benchmark::DoNotOptimize(f.get());
    }
}

#define DESIGN_BENCH(Design)                                                                                     \
    BENCHMARK_TEMPLATE(BM_DragCutoff, Design)->Arg(4)->Arg(20)->Unit(benchmark::kMicrosecond);                  \
    BENCHMARK_TEMPLATE(BM_ColdDesign, Design)->Arg(4)->Arg(20)->Unit(benchmark::kMicrosecond)

using BesselLowPass = Dsp::Bessel::Design::LowPass<50>;
using ButterworthLowPass = Dsp::Butterworth::Design::LowPass<50>;
using ChebyshevILowPass = Dsp::ChebyshevI::Design::LowPass<50>;
using ChebyshevIILowPass = Dsp::ChebyshevII::Design::LowPass<50>;
using EllipticLowPass = Dsp::Elliptic::Design::LowPass<50>;
using LegendreLowPass = Dsp::Legendre::Design::LowPass<50>;
DESIGN_BENCH(BesselLowPass);
DESIGN_BENCH(ButterworthLowPass);
DESIGN_BENCH(ChebyshevILowPass);
DESIGN_BENCH(ChebyshevIILowPass);
DESIGN_BENCH(EllipticLowPass);
DESIGN_BENCH(LegendreLowPass);

} // namespace
