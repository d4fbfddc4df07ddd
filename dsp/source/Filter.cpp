#include "ryx/dsp/Filter.h"

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

} // namespace Dsp
