#pragma once

#include "ryx/dsp/Biquad.h"
#include "ryx/dsp/Design.h"
#include "ryx/ryx_math_export.h"

namespace Dsp {

// Single-section designs in closed form (R. Bristow-Johnson, "Cookbook formulae
// for audio EQ biquad filter coefficients"). Every setup takes the sample rate
// in Hz (> 0) and a cut-off or centre frequency in Hz, 0 < frequency <
// sampleRate / 2, and replaces the section's coefficients. A request that would
// give an unstable or NaN section is refused with Dsp::CheckFailure and the
// previous coefficients are kept.
namespace RBJ {

// Second-order low-pass, unit gain at DC. q: resonance, > 0 (0.7071 is
// maximally flat; the gain at the cut-off equals q).
struct RYX_MATH_EXPORT LowPass : BiquadBase
{
    void setup(double sampleRate, double cutoffFrequency, double q);
};

// Second-order high-pass, unit gain at sampleRate / 2; q as for LowPass.
struct RYX_MATH_EXPORT HighPass : BiquadBase
{
    void setup(double sampleRate, double cutoffFrequency, double q);
};

// Band-pass with constant skirt gain: the third argument is used as Q (> 0; see
// bandwidthToQ for a band given in octaves) and is the gain at the centre.
struct RYX_MATH_EXPORT BandPass1 : BiquadBase
{
    void setup(double sampleRate, double centerFrequency, double bandWidth);
};

// Band-pass with unit gain at the centre; the third argument is used as Q (> 0).
struct RYX_MATH_EXPORT BandPass2 : BiquadBase
{
    void setup(double sampleRate, double centerFrequency, double bandWidth);
};

// Notch: zero gain at the centre, unit gain at DC and sampleRate / 2; the third
// argument is used as Q (> 0).
struct RYX_MATH_EXPORT BandStop : BiquadBase
{
    void setup(double sampleRate, double centerFrequency, double bandWidth);
};

// A band between two edges an octave count apart (> 0), centred at w0 (radians
// per sample, 0 < w0 < pi): sinh(ln 2 / 2 * octaves * w0 / sin w0), the
// bandwidth term of the band sections (w0 / sin w0 undoes the bilinear warping).
RYX_MATH_EXPORT double octaveBandwidthTerm(double w0, double octaves);

// The Q (> 0 for octaves > 0) that gives a pass, stop or all-pass section
// centred at centerFrequency (Hz, 0 < f < sampleRate / 2) the bandwidth
// `octaves` between its edges: 1 / (2 octaveBandwidthTerm(2 pi f / sampleRate, octaves)).
RYX_MATH_EXPORT double bandwidthToQ(double sampleRate, double centerFrequency, double octaves);

// Shelf below the cut-off. gainDb: shelf gain in dB, any sign (0 is the
// identity); shelfSlope: > 0, 1 is the steepest slope that stays monotonic.
struct RYX_MATH_EXPORT LowShelf : BiquadBase
{
    void setup(double sampleRate, double cutoffFrequency, double gainDb, double shelfSlope);
};

// Shelf above the cut-off; arguments as for LowShelf.
struct RYX_MATH_EXPORT HighShelf : BiquadBase
{
    void setup(double sampleRate, double cutoffFrequency, double gainDb, double shelfSlope);
};

// Peaking band: gainDb (dB) at the centre, 0 dB far from it. bandWidth: in
// octaves between the edges, > 0. A centre of 0 Hz is refused ("!Dsp::is_nan (AL)").
struct RYX_MATH_EXPORT BandShelf : BiquadBase
{
    void setup(double sampleRate, double centerFrequency, double gainDb, double bandWidth);
};

// Unit magnitude at every frequency; the phase passes -180 degrees at
// phaseFrequency, in a narrower band for a larger q (> 0).
struct RYX_MATH_EXPORT AllPass : BiquadBase
{
    void setup(double sampleRate, double phaseFrequency, double q);
};


// Descriptions for the filter objects: names, kinds, parameters by index.
namespace Design {

struct LowPassDescription
{
    static constexpr Kind kind = kindLowPass;
    static constexpr const char* name = "RBJ Low Pass";
    static constexpr detail::ParamFactory params[] = {&ParamInfo::defaultSampleRateParam, &ParamInfo::defaultCutoffFrequencyParam, &ParamInfo::defaultQParam};
};

struct LowPass : detail::BiquadDesign<RBJ::LowPass, LowPassDescription>
{
};

struct HighPassDescription
{
    static constexpr Kind kind = kindHighPass;
    static constexpr const char* name = "RBJ High Pass";
    static constexpr detail::ParamFactory params[] = {&ParamInfo::defaultSampleRateParam, &ParamInfo::defaultCutoffFrequencyParam, &ParamInfo::defaultQParam};
};

struct HighPass : detail::BiquadDesign<RBJ::HighPass, HighPassDescription>
{
};

struct BandPass1Description
{
    static constexpr Kind kind = kindBandPass;
    static constexpr const char* name = "RBJ Band Pass 1";
    static constexpr detail::ParamFactory params[] = {&ParamInfo::defaultSampleRateParam, &ParamInfo::defaultCenterFrequencyParam, &ParamInfo::defaultBandwidthParam};
};

struct BandPass1 : detail::BiquadDesign<RBJ::BandPass1, BandPass1Description>
{
};

struct BandPass2Description
{
    static constexpr Kind kind = kindBandPass;
    static constexpr const char* name = "RBJ Band Pass 2";
    static constexpr detail::ParamFactory params[] = {&ParamInfo::defaultSampleRateParam, &ParamInfo::defaultCenterFrequencyParam, &ParamInfo::defaultBandwidthParam};
};

struct BandPass2 : detail::BiquadDesign<RBJ::BandPass2, BandPass2Description>
{
};

struct BandStopDescription
{
    static constexpr Kind kind = kindBandStop;
    static constexpr const char* name = "RBJ Band Stop";
    static constexpr detail::ParamFactory params[] = {&ParamInfo::defaultSampleRateParam, &ParamInfo::defaultCenterFrequencyParam, &ParamInfo::defaultBandwidthParam};
};

struct BandStop : detail::BiquadDesign<RBJ::BandStop, BandStopDescription>
{
};

struct LowShelfDescription
{
    static constexpr Kind kind = kindLowShelf;
    static constexpr const char* name = "RBJ Low Shelf";
    static constexpr detail::ParamFactory params[] = {&ParamInfo::defaultSampleRateParam, &ParamInfo::defaultCutoffFrequencyParam, &ParamInfo::defaultGainParam, &ParamInfo::defaultSlopeParam};
};

struct LowShelf : detail::BiquadDesign<RBJ::LowShelf, LowShelfDescription>
{
};

struct HighShelfDescription
{
    static constexpr Kind kind = kindHighShelf;
    static constexpr const char* name = "RBJ High Shelf";
    static constexpr detail::ParamFactory params[] = {&ParamInfo::defaultSampleRateParam, &ParamInfo::defaultCutoffFrequencyParam, &ParamInfo::defaultGainParam, &ParamInfo::defaultSlopeParam};
};

struct HighShelf : detail::BiquadDesign<RBJ::HighShelf, HighShelfDescription>
{
};

struct BandShelfDescription
{
    static constexpr Kind kind = kindBandShelf;
    static constexpr const char* name = "RBJ Band Shelf";
    static constexpr detail::ParamFactory params[] = {&ParamInfo::defaultSampleRateParam, &ParamInfo::defaultCenterFrequencyParam, &ParamInfo::defaultGainParam, &ParamInfo::defaultBandwidthParam};
};

struct BandShelf : detail::BiquadDesign<RBJ::BandShelf, BandShelfDescription>
{
};

struct AllPassDescription
{
    static constexpr Kind kind = kindOther;
    static constexpr const char* name = "RBJ All Pass";
    static constexpr detail::ParamFactory params[] = {&ParamInfo::defaultSampleRateParam, &ParamInfo::defaultCutoffFrequencyParam, &ParamInfo::defaultQParam};
};

struct AllPass : detail::BiquadDesign<RBJ::AllPass, AllPassDescription>
{
};

} // namespace Design
} // namespace RBJ
} // namespace Dsp
