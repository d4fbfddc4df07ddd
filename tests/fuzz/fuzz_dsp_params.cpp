// Hostile parameter sets for every design of the engine. A set the engine
// accepts must give a usable filter: poles and zeros without throwing, a finite
// response, poles strictly inside the unit circle, finite output for finite input.
#include <cmath>
#include <complex>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

#include "fuzz_input.h"
#include "ryx/dsp/Dsp.h"

namespace {

template <class Design>
std::unique_ptr<Dsp::Filter> make()
{
    return std::make_unique<Dsp::FilterDesign<Design, 1, Dsp::DirectFormII>>();
}

const std::vector<std::function<std::unique_ptr<Dsp::Filter>()>>& designs()
{
    using namespace Dsp;
    static const std::vector<std::function<std::unique_ptr<Filter>()>> all{
        make<Bessel::Design::LowPass<50>>, make<Bessel::Design::HighPass<50>>,
        make<Bessel::Design::BandPass<50>>, make<Bessel::Design::BandStop<50>>,
        make<Bessel::Design::LowShelf<50>>,
        make<Butterworth::Design::LowPass<50>>, make<Butterworth::Design::HighPass<50>>,
        make<Butterworth::Design::BandPass<50>>, make<Butterworth::Design::BandStop<50>>,
        make<Butterworth::Design::LowShelf<50>>, make<Butterworth::Design::HighShelf<50>>,
        make<Butterworth::Design::BandShelf<50>>,
        make<ChebyshevI::Design::LowPass<50>>, make<ChebyshevI::Design::HighPass<50>>,
        make<ChebyshevI::Design::BandPass<50>>, make<ChebyshevI::Design::BandStop<50>>,
        make<ChebyshevII::Design::LowPass<50>>, make<ChebyshevII::Design::HighPass<50>>,
        make<ChebyshevII::Design::BandPass<50>>, make<ChebyshevII::Design::BandStop<50>>,
        make<Elliptic::Design::LowPass<50>>, make<Elliptic::Design::HighPass<50>>,
        make<Elliptic::Design::BandPass<50>>, make<Elliptic::Design::BandStop<50>>,
        make<Legendre::Design::LowPass<50>>, make<Legendre::Design::HighPass<50>>,
        make<Legendre::Design::BandPass<50>>, make<Legendre::Design::BandStop<50>>,
        make<RBJ::Design::LowPass>, make<RBJ::Design::HighPass>, make<RBJ::Design::BandPass1>,
        make<RBJ::Design::BandPass2>, make<RBJ::Design::BandStop>, make<RBJ::Design::LowShelf>,
        make<RBJ::Design::HighShelf>, make<RBJ::Design::BandShelf>, make<RBJ::Design::AllPass>};
    return all;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ryx::fuzz::input in(data, size);
    auto filter = designs()[static_cast<std::size_t>(in.pick(static_cast<int>(designs().size())))]();
    for (int attempt = 0; attempt < 3 && !in.empty(); ++attempt) {
        Dsp::Params p = filter->getDefaultParams();
        for (int i = 0; i < filter->getNumParams(); ++i)
            if (in.byte() & 1)
                p[i] = in.number();
        try {
            filter->setAllParams(p);
        } catch (const std::exception&) {
            continue; // refused; the previous design stays
        }
        for (const Dsp::PoleZeroPair& pz : filter->getPoleZeros())
            for (const Dsp::complex_t& pole : {pz.poles.first, pz.poles.second})
                if (!(std::abs(pole) < 1.0))
                    __builtin_trap();
        for (const Dsp::PoleZeroPair& pz : filter->getPoleZeros())
            if (pz.zeros.is_nan())
                __builtin_trap(); // zeros at infinity are allowed, NaN never
        for (double f : {0.0, 0.1, 0.25, 0.4999, 0.5})
            if (!std::isfinite(std::abs(filter->response(f))))
                __builtin_trap();
        // Double precision: a legitimate gain of hundreds of dB overflows floats.
        std::vector<double> x(64);
        for (std::size_t i = 0; i < x.size(); ++i)
            x[i] = std::sin(0.3 * static_cast<double>(i));
        double* channels[1] = {x.data()};
        filter->reset();
        filter->process(static_cast<int>(x.size()), channels);
        for (double v : x)
            if (!std::isfinite(v))
                __builtin_trap();
    }
    return 0;
}
