#pragma once

#include "ryx/dsp/Design.h"
#include "ryx/dsp/Layout.h"
#include "ryx/dsp/PoleFilter.h"
#include "ryx/dsp/RootFinder.h"
#include "ryx/ryx_math_export.h"

namespace Dsp {

// Bessel designs: maximally flat group delay. The analog poles are the roots of
// the reverse Bessel polynomial (unit group delay at DC).
namespace Bessel {

// The root finder a design uses while it is being set up; it lives only for
// that call.
struct WorkspaceBase
{
    explicit WorkspaceBase(RootFinderBase* rootsBase)
        : roots(*rootsBase)
    {
    }

    WorkspaceBase(const WorkspaceBase&) = delete;
    WorkspaceBase& operator=(const WorkspaceBase&) = delete;

    RootFinderBase& roots;
};

template <int MaxOrder>
struct Workspace : WorkspaceBase
{
    Workspace()
        : WorkspaceBase(&m_roots)
    {
    }

private:
    RootFinder<MaxOrder> m_roots;
};

// Coefficient k of the reverse Bessel polynomial of order n:
// (2n - k)! / ((n - k)! k! 2^(n - k)).
RYX_MATH_EXPORT double reversebessel(int k, int n);

class RYX_MATH_EXPORT AnalogLowPass : public LayoutBase
{
public:
    AnalogLowPass();

    // numPoles: order, 1 ... capacity of the attached storage and of the
    // workspace's root finder.
    void design(const int numPoles, WorkspaceBase* w);

private:
    int m_numPoles;
};

// Analog low-shelf: gain gainDb at DC, 0 dB at infinity.
class RYX_MATH_EXPORT AnalogLowShelf : public LayoutBase
{
public:
    AnalogLowShelf();

    void design(int numPoles, double gainDb, WorkspaceBase* w);

private:
    int m_numPoles;
    double m_gainDb;
};

// Every frequency is in Hz, like the sample rate: 0 < frequency < sampleRate / 2.
// Each response base takes setup(order, sampleRate, frequency [, widthFrequency],
// the prototype's own arguments as design() lists them) (see PoleSetup).
struct RYX_MATH_EXPORT LowPassBase : PoleSetup<AnalogLowPass, LowPassTransform, WorkspaceBase*>
{
};

struct RYX_MATH_EXPORT HighPassBase : PoleSetup<AnalogLowPass, HighPassTransform, WorkspaceBase*>
{
};

struct RYX_MATH_EXPORT BandPassBase : PoleSetup<AnalogLowPass, BandPassTransform, WorkspaceBase*>
{
};

struct RYX_MATH_EXPORT BandStopBase : PoleSetup<AnalogLowPass, BandStopTransform, WorkspaceBase*>
{
};

struct RYX_MATH_EXPORT LowShelfBase : PoleSetup<AnalogLowShelf, LowPassTransform, double, WorkspaceBase*>
{
};

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
struct LowShelf : PoleFilter<LowShelfBase, MaxOrder, MaxOrder * 2>
{
};


// Descriptions for the filter objects: names, kinds, parameters by index.
namespace Design {

struct LowPassDescription
{
    static constexpr Kind kind = kindLowPass;
    static constexpr const char* name = "Bessel Low Pass";
    static constexpr detail::ParamFactory params[] = {&ParamInfo::defaultSampleRateParam, nullptr, &ParamInfo::defaultCutoffFrequencyParam};
};

template <int MaxOrder>
struct LowPass : detail::PoleDesign<Bessel::LowPass<MaxOrder>, MaxOrder, LowPassDescription, Workspace<MaxOrder>>
{
};

struct HighPassDescription
{
    static constexpr Kind kind = kindHighPass;
    static constexpr const char* name = "Bessel High Pass";
    static constexpr detail::ParamFactory params[] = {&ParamInfo::defaultSampleRateParam, nullptr, &ParamInfo::defaultCutoffFrequencyParam};
};

template <int MaxOrder>
struct HighPass : detail::PoleDesign<Bessel::HighPass<MaxOrder>, MaxOrder, HighPassDescription, Workspace<MaxOrder>>
{
};

struct BandPassDescription
{
    static constexpr Kind kind = kindHighPass;
    static constexpr const char* name = "Bessel Band Pass";
    static constexpr detail::ParamFactory params[] = {&ParamInfo::defaultSampleRateParam, nullptr, &ParamInfo::defaultCenterFrequencyParam, &ParamInfo::defaultBandwidthHzParam};
};

template <int MaxOrder>
struct BandPass : detail::PoleDesign<Bessel::BandPass<MaxOrder>, MaxOrder, BandPassDescription, Workspace<MaxOrder>>
{
};

struct BandStopDescription
{
    static constexpr Kind kind = kindHighPass;
    static constexpr const char* name = "Bessel Band Stop";
    static constexpr detail::ParamFactory params[] = {&ParamInfo::defaultSampleRateParam, nullptr, &ParamInfo::defaultCenterFrequencyParam, &ParamInfo::defaultBandwidthHzParam};
};

template <int MaxOrder>
struct BandStop : detail::PoleDesign<Bessel::BandStop<MaxOrder>, MaxOrder, BandStopDescription, Workspace<MaxOrder>>
{
};

struct LowShelfDescription
{
    static constexpr Kind kind = kindLowShelf;
    static constexpr const char* name = "Bessel Low Shelf";
    static constexpr detail::ParamFactory params[] = {&ParamInfo::defaultSampleRateParam, nullptr, &ParamInfo::defaultCutoffFrequencyParam, &ParamInfo::defaultGainParam};
};

template <int MaxOrder>
struct LowShelf : detail::PoleDesign<Bessel::LowShelf<MaxOrder>, MaxOrder, LowShelfDescription, Workspace<MaxOrder>>
{
};

} // namespace Design
} // namespace Bessel
} // namespace Dsp
