#include "channels.h"

#include <functional>
#include <vector>

#include "ryx/math/diff.h"
#include "ryx/math/filter_iir.h"
#include "ryx/math/intg.h"
#include "ryx/math/moving/avg.h"
#include "ryx/math/moving/freq.h"
#include "ryx/math/moving/kurt.h"
#include "ryx/math/moving/max.h"
#include "ryx/math/moving/median.h"
#include "ryx/math/moving/min.h"
#include "ryx/math/moving/msd.h"
#include "ryx/math/moving/offset.h"
#include "ryx/math/moving/peak.h"
#include "ryx/math/moving/peak_to_peak.h"
#include "ryx/math/moving/period.h"
#include "ryx/math/moving/rms.h"
#include "ryx/math/moving/thresh.h"
#include "ryx/math/moving/var.h"

namespace ryx::fuzz {

namespace {

using factory = std::function<ryx::analog_data*(ryx::analog_data*)>;

template <class T>
factory make()
{
    return [](ryx::analog_data* source) -> ryx::analog_data* { return new T(source, false); };
}

const std::vector<factory>& factories()
{
    namespace mv = ryx::math::moving;
    static const std::vector<factory> all{
        make<ryx::math::filter_iir>(), make<ryx::math::diff>(), make<ryx::math::intg>(),
        make<mv::avg>(), make<mv::rms>(), make<mv::var>(), make<mv::msd>(), make<mv::kurt>(),
        make<mv::max>(), make<mv::min>(), make<mv::peak_to_peak>(), make<mv::offset>(),
        make<mv::peak>(), make<mv::median>(), make<mv::freq>(), make<mv::period>(),
        make<mv::thresh>()};
    return all;
}

} // namespace

int channel_kinds()
{
    return static_cast<int>(factories().size());
}

ryx::analog_data* make_channel(int kind, ryx::analog_data* source)
{
    return factories()[static_cast<std::size_t>(kind % channel_kinds())](source);
}

const QStringList& parameter_names()
{
    static const QStringList names{"name", "unit", "kind", "type", "order", "freq", "frequency", "gain",
                                   "band", "width", "left", "right", "ripple", "stop", "q", "slope",
                                   "taps", "window", "time", "level", "dc", "dc_type", "rate"};
    return names;
}

} // namespace ryx::fuzz
