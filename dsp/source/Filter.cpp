#include "ryx/dsp/Filter.h"

#include <cmath>

namespace Dsp {

Filter::Filter()
{
    m_params.clear();
}

Filter::~Filter() = default;

Params Filter::getDefaultParams() const
{
    Params params;
    params.clear();
    for (int i = 0; i < getNumParams(); ++i)
        params[i] = getParamInfo(i).getDefaultValue();
    return params;
}

double Filter::getParam(int paramIndex) const
{
    Dsp_check (paramIndex >= 0 && paramIndex <= getNumParams());
    return m_params[paramIndex];
}

void Filter::setParam(int paramIndex, double nativeValue)
{
    Dsp_check (paramIndex >= 0 && paramIndex <= getNumParams());
    Params parameters = m_params;
    parameters[paramIndex] = nativeValue;
    applyParams(parameters);
}

int Filter::findParamId(int paramId) const
{
    for (int i = getNumParams(); --i >= 0;)
        if (getParamInfo(i).getId() == paramId)
            return i;
    return -1;
}

void Filter::setParamById(int paramId, double nativeValue)
{
    for (int i = getNumParams(); --i >= 0;) {
        if (getParamInfo(i).getId() == paramId) {
            setParam(i, nativeValue);
            return;
        }
    }
    Dsp_check (0);
}

void Filter::setAllParams(const Params& parameters)
{
    applyParams(parameters);
}

void Filter::copyParamsFrom(const Filter* other)
{
    Params parameters = getDefaultParams();
    if (other) {
        for (int i = 0; i < getNumParams(); ++i) {
            const ParamInfo info = getParamInfo(i);
            for (int j = 0; j < other->getNumParams(); ++j) {
                if (info.getId() == other->getParamInfo(j).getId()) {
                    parameters[i] = info.clamp(other->getParam(j));
                    break;
                }
            }
        }
    }
    applyParams(parameters);
}

void Filter::applyParams(const Params& parameters)
{
    const Params previous = m_params;
    const bool wasDesigned = m_designed;
    m_params = parameters;
    try {
        doSetParams(m_params);
        checkUsable();
        m_designed = true;
    } catch (...) {
        // Restore the previous design; the refused values are not kept.
        m_params = previous;
        m_designed = false;
        if (wasDesigned) {
            try {
                doSetParams(m_params);
                m_designed = true;
            } catch (...) {
            }
        }
        throw;
    }
}

bool stagesStable(const BiquadBase& s)
{
    return std::isfinite(s.getB0()) && std::isfinite(s.getB1()) && std::isfinite(s.getB2())
        && std::isfinite(s.getA1()) && std::isfinite(s.getA2()) && s.isStable();
}

bool stagesStable(const Cascade& chain)
{
    for (int i = 0; i < chain.getNumStages(); ++i)
        if (!stagesStable(chain[i]))
            return false;
    return true;
}

void Filter::checkUsable() const
{
    Dsp_check (sectionsStable ());
    // The poles recomputed from the coefficients must agree: a denominator at
    // the edge of the stability test can pass it by rounding alone.
    for (const PoleZeroPair& pz : getPoleZeros()) {
        for (const complex_t& p : {pz.poles.first, pz.poles.second})
            Dsp_check (std::abs (p) < 1);
        Dsp_check (!pz.zeros.is_nan ());
    }
    // The response across the band, both edges included.
    constexpr int points = 64;
    for (int i = 0; i <= points; ++i) {
        const complex_t h = response(0.5 * i / points);
        Dsp_check (std::isfinite (h.real ()) && std::isfinite (h.imag ()));
    }
}

} // namespace Dsp
