#pragma once

#include "ryx/dsp/Design.h"
#include "ryx/dsp/Layout.h"
#include "ryx/dsp/PoleFilter.h"
#include "ryx/dsp/RootFinder.h"
#include "ryx/ryx_math_export.h"

namespace Dsp {

// Legendre (optimum-L) designs: the steepest cut-off of any monotonic pass band
// (A. Papoulis, "Optimum filters with monotonic response", Proc. IRE 46, 1958;
// C. R. Bond, "Optimum 'L' filters: polynomials, poles and circuit elements").
namespace Legendre {

// Builds the polynomial L_n(w^2) of the optimum-L response |H(jw)|^2 = 1 / (1 + L_n(w^2)).
class RYX_MATH_EXPORT PolynomialFinderBase
{
public:
    PolynomialFinderBase(const PolynomialFinderBase&) = delete;
    PolynomialFinderBase& operator=(const PolynomialFinderBase&) = delete;

    // Computes L_n; its coefficients (of w^0 ... w^(2n) in steps of w^2) are
    // coef()[0 ... n].
    void solve(int n);

    double* coef() { return m_w; }

    // The Legendre polynomial P_n: coefficient of x^j in p[j], j = 0 ... n.
    void legendre(double* p, int n);

protected:
    PolynomialFinderBase() = default;

    int m_maxN = 0;
    double* m_w = nullptr;
    double* m_a = nullptr;
    double* m_p = nullptr;
    double* m_s = nullptr;
    double* m_v = nullptr;
    double* m_aa = nullptr;
    double* m_bb = nullptr;
};

template <int MaxN>
class PolynomialFinder : public PolynomialFinderBase
{
public:
    PolynomialFinder()
    {
        m_maxN = MaxN;
        m_w = m_ws;
        m_a = m_as;
        m_p = m_ps;
        m_s = m_ss;
        m_v = m_vs;
        m_aa = m_aas;
        m_bb = m_bbs;
    }

private:
    // Every array has room for degree 2 MaxN + 3.
    static constexpr int Size = 2 * MaxN + 4;
    double m_ws[Size] = {};
    double m_as[Size] = {};
    double m_ps[Size] = {};
    double m_ss[Size] = {};
    double m_vs[Size] = {};
    double m_aas[Size] = {};
    double m_bbs[Size] = {};
};

// The finders a design uses while it is being set up; they live only for that call.
struct WorkspaceBase
{
    WorkspaceBase(PolynomialFinderBase* polyBase, RootFinderBase* rootsBase)
        : poly(*polyBase)
        , roots(*rootsBase)
    {
    }

    WorkspaceBase(const WorkspaceBase&) = delete;
    WorkspaceBase& operator=(const WorkspaceBase&) = delete;

    PolynomialFinderBase& poly;
    RootFinderBase& roots;
};

template <int MaxOrder>
struct Workspace : WorkspaceBase
{
    Workspace()
        : WorkspaceBase(&m_poly, &m_roots)
    {
    }

private:
    PolynomialFinder<MaxOrder> m_poly;
    RootFinder<MaxOrder * 2> m_roots;
};

// Analog low-pass prototype, -3.0103 dB at 1 rad/s.
class RYX_MATH_EXPORT AnalogLowPass : public LayoutBase
{
public:
    AnalogLowPass();

    void design(const int numPoles, WorkspaceBase* w);

private:
    int m_numPoles;
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
    static constexpr const char* name = "Legendre Low Pass";
    static constexpr detail::ParamFactory params[] = {&ParamInfo::defaultSampleRateParam, nullptr, &ParamInfo::defaultCutoffFrequencyParam};
};

template <int MaxOrder>
struct LowPass : detail::PoleDesign<Legendre::LowPass<MaxOrder>, MaxOrder, LowPassDescription, Workspace<MaxOrder>>
{
};

struct HighPassDescription
{
    static constexpr Kind kind = kindHighPass;
    static constexpr const char* name = "Legendre High Pass";
    static constexpr detail::ParamFactory params[] = {&ParamInfo::defaultSampleRateParam, nullptr, &ParamInfo::defaultCutoffFrequencyParam};
};

template <int MaxOrder>
struct HighPass : detail::PoleDesign<Legendre::HighPass<MaxOrder>, MaxOrder, HighPassDescription, Workspace<MaxOrder>>
{
};

struct BandPassDescription
{
    static constexpr Kind kind = kindHighPass;
    static constexpr const char* name = "Legendre Band Pass";
    static constexpr detail::ParamFactory params[] = {&ParamInfo::defaultSampleRateParam, nullptr, &ParamInfo::defaultCenterFrequencyParam, &ParamInfo::defaultBandwidthHzParam};
};

template <int MaxOrder>
struct BandPass : detail::PoleDesign<Legendre::BandPass<MaxOrder>, MaxOrder, BandPassDescription, Workspace<MaxOrder>>
{
};

struct BandStopDescription
{
    static constexpr Kind kind = kindHighPass;
    static constexpr const char* name = "Legendre Band Stop";
    static constexpr detail::ParamFactory params[] = {&ParamInfo::defaultSampleRateParam, nullptr, &ParamInfo::defaultCenterFrequencyParam, &ParamInfo::defaultBandwidthHzParam};
};

template <int MaxOrder>
struct BandStop : detail::PoleDesign<Legendre::BandStop<MaxOrder>, MaxOrder, BandStopDescription, Workspace<MaxOrder>>
{
};

} // namespace Design
} // namespace Legendre
} // namespace Dsp
