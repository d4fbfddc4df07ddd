#pragma once

#include "ryx/dsp/Design.h"
#include "ryx/dsp/Layout.h"
#include "ryx/dsp/PoleFilter.h"
#include "ryx/ryx_math_export.h"

namespace Dsp {

// Elliptic (Cauer) designs: equiripple pass band and stop band.
namespace Elliptic {

struct RYX_MATH_EXPORT Solver
{
    // Complete elliptic integral of the first kind K(k), by the
    // arithmetic-geometric mean.
    static double ellipticK(double k);
};

// Analog low-pass prototype. The pass band ends at 1 rad/s with rippleDb of
// ripple; rolloff sets the transition width (larger is narrower).
class RYX_MATH_EXPORT AnalogLowPass : public LayoutBase
{
public:
    AnalogLowPass();

    // numPoles: order, 1 ... capacity (at most 50); rippleDb: pass-band ripple,
    // dB, > 0; rolloff: transition width parameter, finite (typically -16 ... 4).
    void design(const int numPoles, double rippleDb, double rolloff);

    // Jacobi sn(u) by its q-series, for the modulus of the current design.
    double calcsn(double u);

private:
    static constexpr int MaxOrder = 50;
    static constexpr int PolySize = 4 * MaxOrder + 1; // polynomials up to degree 4 x order
    static constexpr int FactorSize = MaxOrder + 1;

    void prodpoly(int sn);
    void calcfz2(int i);
    void calcfz();
    void calcqz();
    double findfact(int t);

    int m_numPoles;
    double m_rippleDb;
    double m_rolloff;

    // working state of the design
    double m_K;
    double m_Kprime;
    double m_zeros[FactorSize];
    double m_p[FactorSize];
    double m_q1[FactorSize];
    double m_b[FactorSize];
    double m_zf[FactorSize];
    double m_zq[FactorSize];
    double m_zw[FactorSize];
    double m_a1[PolySize];
    double m_b1[PolySize];
    double m_c1[PolySize];
    double m_d1[PolySize];
    double m_s1[PolySize];
    double m_z1[PolySize];
    int m_nin;
    int m_nh;
    int m_m;
    int m_em;
    double m_e;
};

// Every frequency is in Hz, like the sample rate: 0 < frequency < sampleRate / 2.
// Each response base takes setup(order, sampleRate, frequency [, widthFrequency],
// the prototype's own arguments as design() lists them) (see PoleSetup).
struct RYX_MATH_EXPORT LowPassBase : PoleSetup<AnalogLowPass, LowPassTransform, double, double>
{
};

struct RYX_MATH_EXPORT HighPassBase : PoleSetup<AnalogLowPass, HighPassTransform, double, double>
{
};

struct RYX_MATH_EXPORT BandPassBase : PoleSetup<AnalogLowPass, BandPassTransform, double, double>
{
};

struct RYX_MATH_EXPORT BandStopBase : PoleSetup<AnalogLowPass, BandStopTransform, double, double>
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


// Descriptions for the filter objects: names, kinds, parameters by index.
namespace Design {

struct LowPassDescription
{
    static constexpr Kind kind = kindLowPass;
    static constexpr const char* name = "Elliptic Low Pass";
    static constexpr detail::ParamFactory params[] = {&ParamInfo::defaultSampleRateParam, nullptr, &ParamInfo::defaultCutoffFrequencyParam, &ParamInfo::defaultRippleDbParam, &ParamInfo::defaultRolloffParam};
};

template <int MaxOrder>
struct LowPass : detail::PoleDesign<Elliptic::LowPass<MaxOrder>, MaxOrder, LowPassDescription>
{
};

struct HighPassDescription
{
    static constexpr Kind kind = kindHighPass;
    static constexpr const char* name = "Elliptic High Pass";
    static constexpr detail::ParamFactory params[] = {&ParamInfo::defaultSampleRateParam, nullptr, &ParamInfo::defaultCutoffFrequencyParam, &ParamInfo::defaultRippleDbParam, &ParamInfo::defaultRolloffParam};
};

template <int MaxOrder>
struct HighPass : detail::PoleDesign<Elliptic::HighPass<MaxOrder>, MaxOrder, HighPassDescription>
{
};

struct BandPassDescription
{
    static constexpr Kind kind = kindHighPass;
    static constexpr const char* name = "Elliptic Band Pass";
    static constexpr detail::ParamFactory params[] = {&ParamInfo::defaultSampleRateParam, nullptr, &ParamInfo::defaultCenterFrequencyParam, &ParamInfo::defaultBandwidthHzParam, &ParamInfo::defaultRippleDbParam, &ParamInfo::defaultRolloffParam};
};

template <int MaxOrder>
struct BandPass : detail::PoleDesign<Elliptic::BandPass<MaxOrder>, MaxOrder, BandPassDescription>
{
};

struct BandStopDescription
{
    static constexpr Kind kind = kindHighPass;
    static constexpr const char* name = "Elliptic Band Stop";
    static constexpr detail::ParamFactory params[] = {&ParamInfo::defaultSampleRateParam, nullptr, &ParamInfo::defaultCenterFrequencyParam, &ParamInfo::defaultBandwidthHzParam, &ParamInfo::defaultRippleDbParam, &ParamInfo::defaultRolloffParam};
};

template <int MaxOrder>
struct BandStop : detail::PoleDesign<Elliptic::BandStop<MaxOrder>, MaxOrder, BandStopDescription>
{
};

} // namespace Design
} // namespace Elliptic
} // namespace Dsp
