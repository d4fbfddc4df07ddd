#pragma once

#include "ryx/dsp/Design.h"
#include "ryx/dsp/Layout.h"
#include "ryx/dsp/PoleFilter.h"
#include "ryx/ryx_math_export.h"

namespace Dsp {

// Butterworth designs: maximally flat pass band.
namespace Butterworth {

// Analog low-pass prototype with its -3 dB point at 1 rad/s.
class RYX_MATH_EXPORT AnalogLowPass : public LayoutBase
{
public:
    AnalogLowPass();

    // numPoles: order, 1 ... capacity of the attached storage.
    void design(int numPoles);

private:
    int m_numPoles;
};

// Analog low-shelf prototype: gain gainDb at DC, 0 dB at infinity.
class RYX_MATH_EXPORT AnalogLowShelf : public LayoutBase
{
public:
    AnalogLowShelf();

    // numPoles: order, 1 ... capacity; gainDb: shelf gain, dB.
    void design(int numPoles, double gainDb);

private:
    int m_numPoles;
    double m_gainDb;
};

// Every frequency is in Hz, like the sample rate: 0 < frequency < sampleRate / 2.
// Each response base takes setup(order, sampleRate, frequency [, widthFrequency],
// the prototype's own arguments as design() lists them) (see PoleSetup).
struct RYX_MATH_EXPORT LowPassBase : PoleSetup<AnalogLowPass, LowPassTransform>
{
};

struct RYX_MATH_EXPORT HighPassBase : PoleSetup<AnalogLowPass, HighPassTransform>
{
};

struct RYX_MATH_EXPORT BandPassBase : PoleSetup<AnalogLowPass, BandPassTransform>
{
};

struct RYX_MATH_EXPORT BandStopBase : PoleSetup<AnalogLowPass, BandStopTransform>
{
};

struct RYX_MATH_EXPORT LowShelfBase : PoleSetup<AnalogLowShelf, LowPassTransform, double>
{
};

struct RYX_MATH_EXPORT HighShelfBase : PoleSetup<AnalogLowShelf, HighPassTransform, double>
{
};

struct RYX_MATH_EXPORT BandShelfBase : PoleSetup<AnalogLowShelf, BandShelfTransform, double>
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
    static constexpr const char* name = "Butterworth Low Pass";
    static constexpr detail::ParamFactory params[] = {&ParamInfo::defaultSampleRateParam, nullptr, &ParamInfo::defaultCutoffFrequencyParam};
};

template <int MaxOrder>
struct LowPass : detail::PoleDesign<Butterworth::LowPass<MaxOrder>, MaxOrder, LowPassDescription>
{
};

struct HighPassDescription
{
    static constexpr Kind kind = kindHighPass;
    static constexpr const char* name = "Butterworth High Pass";
    static constexpr detail::ParamFactory params[] = {&ParamInfo::defaultSampleRateParam, nullptr, &ParamInfo::defaultCutoffFrequencyParam};
};

template <int MaxOrder>
struct HighPass : detail::PoleDesign<Butterworth::HighPass<MaxOrder>, MaxOrder, HighPassDescription>
{
};

struct BandPassDescription
{
    static constexpr Kind kind = kindHighPass;
    static constexpr const char* name = "Butterworth Band Pass";
    static constexpr detail::ParamFactory params[] = {&ParamInfo::defaultSampleRateParam, nullptr, &ParamInfo::defaultCenterFrequencyParam, &ParamInfo::defaultBandwidthHzParam};
};

template <int MaxOrder>
struct BandPass : detail::PoleDesign<Butterworth::BandPass<MaxOrder>, MaxOrder, BandPassDescription>
{
};

struct BandStopDescription
{
    static constexpr Kind kind = kindHighPass;
    static constexpr const char* name = "Butterworth Band Stop";
    static constexpr detail::ParamFactory params[] = {&ParamInfo::defaultSampleRateParam, nullptr, &ParamInfo::defaultCenterFrequencyParam, &ParamInfo::defaultBandwidthHzParam};
};

template <int MaxOrder>
struct BandStop : detail::PoleDesign<Butterworth::BandStop<MaxOrder>, MaxOrder, BandStopDescription>
{
};

struct LowShelfDescription
{
    static constexpr Kind kind = kindLowShelf;
    static constexpr const char* name = "Butterworth Low Shelf";
    static constexpr detail::ParamFactory params[] = {&ParamInfo::defaultSampleRateParam, nullptr, &ParamInfo::defaultCutoffFrequencyParam, &ParamInfo::defaultGainParam};
};

template <int MaxOrder>
struct LowShelf : detail::PoleDesign<Butterworth::LowShelf<MaxOrder>, MaxOrder, LowShelfDescription>
{
};

struct HighShelfDescription
{
    static constexpr Kind kind = kindHighShelf;
    static constexpr const char* name = "Butterworth High Shelf";
    static constexpr detail::ParamFactory params[] = {&ParamInfo::defaultSampleRateParam, nullptr, &ParamInfo::defaultCutoffFrequencyParam, &ParamInfo::defaultGainParam};
};

template <int MaxOrder>
struct HighShelf : detail::PoleDesign<Butterworth::HighShelf<MaxOrder>, MaxOrder, HighShelfDescription>
{
};

struct BandShelfDescription
{
    static constexpr Kind kind = kindBandShelf;
    static constexpr const char* name = "Butterworth Band Shelf";
    static constexpr detail::ParamFactory params[] = {&ParamInfo::defaultSampleRateParam, nullptr, &ParamInfo::defaultCenterFrequencyParam, &ParamInfo::defaultBandwidthHzParam, &ParamInfo::defaultGainParam};
};

template <int MaxOrder>
struct BandShelf : detail::PoleDesign<Butterworth::BandShelf<MaxOrder>, MaxOrder, BandShelfDescription>
{
};

} // namespace Design
} // namespace Butterworth
} // namespace Dsp
