#include "ryx/core/units.h"

namespace ryx {

void register_core_types()
{
    qRegisterMetaType<ryx::units>("ryx::units");
}

namespace {
// The host registers its property types when its library is loaded.
const bool core_types_registered = (register_core_types(), true);
} // namespace

} // namespace ryx
