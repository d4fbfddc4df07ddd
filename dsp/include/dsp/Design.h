#pragma once

#include <cmath>
#include <string>
#include <type_traits>
#include <utility>

#include "ryx/dsp/Params.h"
#include "ryx/dsp/Types.h"

namespace Dsp {
namespace detail {

typedef ParamInfo (*ParamFactory)();

// The order from its parameter value, truncated toward zero. Values that no
// order can have become 0, which every design refuses.
inline int orderFromParam(double value)
{
    return value > -1e6 && value < 1e6 ? static_cast<int>(value) : 0;
}

// A pole-based response class with storage, described for the filter objects.
// Description supplies: kind, name, and params[] (the factories of the
// parameters by index; index 1 is the order, built here from MaxOrder).
// Parameters reach setup as (order = p[1], sample rate = p[0], p[2], p[3], ...),
// followed by a workspace that lives only for the call when the family needs one.
template <class FilterClass, int MaxOrder, class Description, class Workspace = void>
class PoleDesign : public FilterClass
{
public:
    static constexpr int NumParams = int(sizeof(Description::params) / sizeof(Description::params[0]));

    static Kind getKind() { return Description::kind; }
    static std::string getName() { return Description::name; }
    static int getNumParams() { return NumParams; }

    // Throws std::logic_error("invalid usage of ParamInfo") for an index the
    // design does not have.
    static ParamInfo getParamInfo(int index)
    {
        if (index == 1)
            return ParamInfo::orderParam(MaxOrder);
        if (index >= 0 && index < NumParams && Description::params[index])
            return Description::params[index]();
        return ParamInfo();
    }

    void setParams(const Params& params) { apply(params, std::make_index_sequence<NumParams - 2>()); }

private:
    template <std::size_t... I>
    void apply(const Params& p, std::index_sequence<I...>)
    {
        const int order = orderFromParam(p[1]);
        if constexpr (std::is_void_v<Workspace>) {
            this->setup(order, p[0], p[2 + I]...);
        } else {
            Workspace w;
            this->setup(order, p[0], p[2 + I]..., &w);
        }
    }
};

// A single-section design, described for the filter objects. Parameters reach
// setup in index order.
template <class FilterClass, class Description>
class BiquadDesign : public FilterClass
{
public:
    static constexpr int NumParams = int(sizeof(Description::params) / sizeof(Description::params[0]));

    static Kind getKind() { return Description::kind; }
    static std::string getName() { return Description::name; }
    static int getNumParams() { return NumParams; }

    static ParamInfo getParamInfo(int index)
    {
        if (index >= 0 && index < NumParams)
            return Description::params[index]();
        return ParamInfo();
    }

    void setParams(const Params& params) { apply(params, std::make_index_sequence<NumParams>()); }

private:
    template <std::size_t... I>
    void apply(const Params& p, std::index_sequence<I...>)
    {
        this->setup(p[I]...);
    }
};

} // namespace detail
} // namespace Dsp
