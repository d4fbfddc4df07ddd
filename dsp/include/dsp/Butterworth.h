#pragma once

#include "dsp/Layout.h"
#include "dsp/PoleFilter.h"
#include "ryx_math_export.h"

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
struct RYX_MATH_EXPORT LowPassBase : PoleFilterBase<AnalogLowPass>
{
    void setup(int order, double sampleRate, double cutoffFrequency);
};

struct RYX_MATH_EXPORT HighPassBase : PoleFilterBase<AnalogLowPass>
{
    void setup(int order, double sampleRate, double cutoffFrequency);
};

struct RYX_MATH_EXPORT BandPassBase : PoleFilterBase<AnalogLowPass>
{
    void setup(int order, double sampleRate, double centerFrequency, double widthFrequency);
};

struct RYX_MATH_EXPORT BandStopBase : PoleFilterBase<AnalogLowPass>
{
    void setup(int order, double sampleRate, double centerFrequency, double widthFrequency);
};

struct RYX_MATH_EXPORT LowShelfBase : PoleFilterBase<AnalogLowShelf>
{
    void setup(int order, double sampleRate, double cutoffFrequency, double gainDb);
};

struct RYX_MATH_EXPORT HighShelfBase : PoleFilterBase<AnalogLowShelf>
{
    void setup(int order, double sampleRate, double cutoffFrequency, double gainDb);
};

struct RYX_MATH_EXPORT BandShelfBase : PoleFilterBase<AnalogLowShelf>
{
    void setup(int order, double sampleRate, double centerFrequency, double widthFrequency, double gainDb);
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

} // namespace Butterworth
} // namespace Dsp
