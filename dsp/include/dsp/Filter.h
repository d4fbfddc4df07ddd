#pragma once

#include <string>
#include <vector>

#include "ryx/dsp/Cascade.h"
#include "ryx/dsp/Params.h"
#include "ryx/dsp/State.h"
#include "ryx/dsp/Types.h"
#include "ryx/ryx_math_export.h"

namespace Dsp {

// A designed filter with described parameters, its response and in-place
// processing. Applying parameters either succeeds or leaves the filter exactly
// as it was (previous parameters and coefficients) and throws: a design that
// cannot be built throws Dsp::CheckFailure, a root finder that does not
// converge std::logic_error("laguerre failed"). A filter whose parameters have
// never been applied successfully leaves the samples it processes untouched.
//
// A design is accepted only when it can be used: every section's coefficients
// are finite and its poles lie strictly inside the unit circle (judged on the
// coefficients and on the poles as getPoleZeros() reports them), and the
// response is finite across the band. After a successful application
// getPoleZeros() and response() do not throw; the poles are finite, and so
// are the zeros except those at infinity of a section that delays (leading
// numerator coefficient 0, as in a pure two-sample delay), which are reported
// as infinite.
class RYX_MATH_EXPORT Filter
{
public:
    virtual ~Filter();

    virtual Kind getKind() const = 0;
    virtual std::string getName() const = 0;
    virtual int getNumParams() const = 0;
    virtual ParamInfo getParamInfo(int index) const = 0;

    // All values 0, then each parameter's default.
    Params getDefaultParams() const;

    // The values last applied.
    const Params& currentParams() const { return m_params; }

    double getParam(int paramIndex) const;
    void setParam(int paramIndex, double nativeValue);

    // The index of the parameter with this identifier (searched from the last
    // index down), or -1.
    int findParamId(int paramId) const;
    void setParamById(int paramId, double nativeValue);

    // Applies all eight values. Values are not clamped to the parameter ranges.
    void setAllParams(const Params& parameters);

    // Takes every parameter that the other filter shares by identifier (clamped
    // to this filter's ranges), the defaults for the rest, and applies them.
    void copyParamsFrom(const Filter* other);

    // True once parameters have been applied successfully.
    bool isDesigned() const { return m_designed; }

    virtual std::vector<PoleZeroPair> getPoleZeros() const = 0;

    // normalizedFrequency: frequency / sample rate.
    virtual complex_t response(double normalizedFrequency) const = 0;

    virtual int getNumChannels() = 0;
    virtual void reset() = 0;
    virtual void process(int numSamples, float* const* arrayOfChannels) = 0;
    virtual void process(int numSamples, double* const* arrayOfChannels) = 0;

protected:
    Filter();

    virtual void doSetParams(const Params& parameters) = 0;

    // Whether every section's coefficients are finite and pass the stability
    // test of a second-order denominator.
    virtual bool sectionsStable() const { return true; }

private:
    void applyParams(const Params& parameters);
    // Throws Dsp::CheckFailure when the design just made cannot be used.
    void checkUsable() const;

    Params m_params;
    bool m_designed = false;
};

// Whether a section, or every section of a chain, has finite coefficients and
// poles strictly inside the unit circle.
RYX_MATH_EXPORT bool stagesStable(const BiquadBase& section);
RYX_MATH_EXPORT bool stagesStable(const Cascade& chain);

// A filter around one design; implements everything but the processing.
template <class DesignClass>
class FilterDesignBase : public Filter
{
public:
    Kind getKind() const override { return DesignClass::getKind(); }
    std::string getName() const override { return DesignClass::getName(); }
    int getNumParams() const override { return DesignClass::NumParams; }
    ParamInfo getParamInfo(int index) const override { return DesignClass::getParamInfo(index); }
    std::vector<PoleZeroPair> getPoleZeros() const override { return m_design.getPoleZeros(); }
    complex_t response(double normalizedFrequency) const override { return m_design.response(normalizedFrequency); }

    static_assert(DesignClass::NumParams < maxParameters, "too many parameters");

protected:
    void doSetParams(const Params& parameters) override { m_design.setParams(parameters); }
    bool sectionsStable() const override { return stagesStable(m_design); }

    DesignClass m_design;
};

// A filter around one design with the processing state of Channels channels.
template <class DesignClass, int Channels = 1, class StateType = DirectFormII>
class FilterDesign : public FilterDesignBase<DesignClass>
{
public:
    int getNumChannels() override { return Channels; }

    void reset() override { m_state.reset(); }

    void process(int numSamples, float* const* arrayOfChannels) override
    {
        if (this->isDesigned())
            m_state.process(numSamples, arrayOfChannels, this->m_design);
    }

    void process(int numSamples, double* const* arrayOfChannels) override
    {
        if (this->isDesigned())
            m_state.process(numSamples, arrayOfChannels, this->m_design);
    }

private:
    ChannelsState<Channels, typename DesignClass::template State<StateType>> m_state;
};

} // namespace Dsp
