#pragma once

#include "ryx/dsp/Design.h"
#include "ryx/dsp/Layout.h"
#include "ryx/dsp/PoleFilter.h"
#include "ryx/ryx_math_export.h"

namespace Dsp {

// Chebyshev type II designs: monotonic pass band, equiripple stop band.
namespace ChebyshevII {

// Analog low-pass prototype; its stop band starts at 1 rad/s.
class RYX_MATH_EXPORT AnalogLowPass : public LayoutBase
{
public:
    AnalogLowPass();

    // numPoles: order, 1 ... capacity of the attached storage; stopBandDb: stop-band attenuation, dB, > 0.
    void design(int numPoles, double stopBandDb);

private:
    int m_numPoles;
    double m_stopBandDb;
};

// Analog low-shelf prototype: gain gainDb at DC, 0 dB at infinity.
class RYX_MATH_EXPORT AnalogLowShelf : public LayoutBase
{
public:
    AnalogLowShelf();

    // numPoles: order, 1 ... capacity; gainDb: shelf gain, dB; stopBandDb, dB.
    void design(int numPoles, double gainDb, double stopBandDb);

private:
    int m_numPoles;
    double m_stopBandDb;
    double m_gainDb;
};

// Every frequency is in Hz, like the sample rate: 0 < frequency < sampleRate / 2.
// Each response base takes setup(order, sampleRate, frequency [, widthFrequency],
// the prototype's own arguments as design() lists them) (see PoleSetup).
struct RYX_MATH_EXPORT LowPassBase : PoleSetup<AnalogLowPass, LowPassTransform, double>
{
};

struct RYX_MATH_EXPORT HighPassBase : PoleSetup<AnalogLowPass, HighPassTransform, double>
{
};

struct RYX_MATH_EXPORT BandPassBase : PoleSetup<AnalogLowPass, BandPassTransform, double>
{
};

struct RYX_MATH_EXPORT BandStopBase : PoleSetup<AnalogLowPass, BandStopTransform, double>
{
};

struct RYX_MATH_EXPORT LowShelfBase : PoleSetup<AnalogLowShelf, LowPassTransform, double, double>
{
};

struct RYX_MATH_EXPORT HighShelfBase : PoleSetup<AnalogLowShelf, HighPassTransform, double, double>
{
};

struct RYX_MATH_EXPORT BandShelfBase : PoleSetup<AnalogLowShelf, BandShelfTransform, double, double>
{
};

// The response classes with storage for orders up to MaxOrder.
template <int MaxOrder>
struct LowPass : PoleFilter<LowPassBase, MaxOrder>
{
};

template <int MaxOrder>
struct HighPass : PoleFilter<HighPassBase, MaxOrder>
{
};

template <int MaxOrder>
struct BandPass : PoleFilter<BandPassBase, MaxOrder, MaxOrder * 2>
{
};

template <int MaxOrder>
struct BandStop : PoleFilter<BandStopBase, MaxOrder, MaxOrder * 2>
{
};

template <int MaxOrder>
struct LowShelf : PoleFilter<LowShelfBase, MaxOrder>
{
};

template <int MaxOrder>
struct HighShelf : PoleFilter<HighShelfBase, MaxOrder>
{
};

template <int MaxOrder>
struct BandShelf : PoleFilter<BandShelfBase, MaxOrder, MaxOrder * 2>
{
};


// Descriptions for the filter objects: names, kinds, parameters by index.
namespace Design {

struct LowPassDescription
{
    static constexpr Kind kind = kindLowPass;
    static constexpr const char* name = "Chebyshev II Low Pass";
    static constexpr detail::ParamFactory params[] = {&ParamInfo::defaultSampleRateParam, nullptr, &ParamInfo::defaultCutoffFrequencyParam, &ParamInfo::defaultStopDbParam};
};

template <int MaxOrder>
struct LowPass : detail::PoleDesign<ChebyshevII::LowPass<MaxOrder>, MaxOrder, LowPassDescription>
{
};

struct HighPassDescription
{
    static constexpr Kind kind = kindHighPass;
    static constexpr const char* name = "Chebyshev II High Pass";
    static constexpr detail::ParamFactory params[] = {&ParamInfo::defaultSampleRateParam, nullptr, &ParamInfo::defaultCutoffFrequencyParam, &ParamInfo::defaultStopDbParam};
};

template <int MaxOrder>
struct HighPass : detail::PoleDesign<ChebyshevII::HighPass<MaxOrder>, MaxOrder, HighPassDescription>
{
};

struct BandPassDescription
{
    static constexpr Kind kind = kindHighPass;
    static constexpr const char* name = "Chebyshev II Band Pass";
    static constexpr detail::ParamFactory params[] = {&ParamInfo::defaultSampleRateParam, nullptr, &ParamInfo::defaultCenterFrequencyParam, &ParamInfo::defaultBandwidthHzParam, &ParamInfo::defaultStopDbParam};
};

template <int MaxOrder>
struct BandPass : detail::PoleDesign<ChebyshevII::BandPass<MaxOrder>, MaxOrder, BandPassDescription>
{
};

struct BandStopDescription
{
    static constexpr Kind kind = kindHighPass;
    static constexpr const char* name = "Chebyshev II Band Stop";
    static constexpr detail::ParamFactory params[] = {&ParamInfo::defaultSampleRateParam, nullptr, &ParamInfo::defaultCenterFrequencyParam, &ParamInfo::defaultBandwidthHzParam, &ParamInfo::defaultStopDbParam};
};

template <int MaxOrder>
struct BandStop : detail::PoleDesign<ChebyshevII::BandStop<MaxOrder>, MaxOrder, BandStopDescription>
{
};

} // namespace Design
} // namespace ChebyshevII
} // namespace Dsp
