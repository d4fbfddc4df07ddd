#pragma once

#include "dsp/Biquad.h"
#include "ryx_math_export.h"

namespace Dsp {

// Single-section designs in closed form (R. Bristow-Johnson, "Cookbook formulae
// for audio EQ biquad filter coefficients"). Frequencies are in Hz like the
// sample rate, 0 < frequency < sampleRate / 2. A request that would give an
// unstable or NaN section is refused with Dsp::CheckFailure and the previous
// coefficients are kept.
namespace RBJ {

// q: resonance, > 0.
struct RYX_MATH_EXPORT LowPass : BiquadBase
{
    void setup(double sampleRate, double cutoffFrequency, double q);
};

struct RYX_MATH_EXPORT HighPass : BiquadBase
{
    void setup(double sampleRate, double cutoffFrequency, double q);
};

// Constant skirt gain: the peak gain equals the third argument, used as Q.
struct RYX_MATH_EXPORT BandPass1 : BiquadBase
{
    void setup(double sampleRate, double centerFrequency, double bandWidth);
};

// Constant 0 dB peak gain.
struct RYX_MATH_EXPORT BandPass2 : BiquadBase
{
    void setup(double sampleRate, double centerFrequency, double bandWidth);
};

struct RYX_MATH_EXPORT BandStop : BiquadBase
{
    void setup(double sampleRate, double centerFrequency, double bandWidth);
};

// gainDb: shelf gain, dB; shelfSlope: 1 is the steepest monotonic slope.
struct RYX_MATH_EXPORT LowShelf : BiquadBase
{
    void setup(double sampleRate, double cutoffFrequency, double gainDb, double shelfSlope);
};

struct RYX_MATH_EXPORT HighShelf : BiquadBase
{
    void setup(double sampleRate, double cutoffFrequency, double gainDb, double shelfSlope);
};

// bandWidth: in octaves.
struct RYX_MATH_EXPORT BandShelf : BiquadBase
{
    void setup(double sampleRate, double centerFrequency, double gainDb, double bandWidth);
};

struct RYX_MATH_EXPORT AllPass : BiquadBase
{
    void setup(double sampleRate, double phaseFrequency, double q);
};

} // namespace RBJ
} // namespace Dsp
