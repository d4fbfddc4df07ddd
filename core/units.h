#pragma once

#include <QMetaType>
#include <QObject>

#include "ryx/ryx_core_export.h"

namespace ryx {
Q_NAMESPACE_EXPORT(RYX_CORE_EXPORT)

// Amplitude unit of a published value.
enum class units : int {
    linear = 0, // the channel's own unit
    dB = 1,     // 20 log10(value / reference()) of the channel
    rms = 2     // amplitude divided by sqrt(2)
};
Q_ENUM_NS(units)

// Registers the host's property types with the meta-type system; safe to call repeatedly.
RYX_CORE_EXPORT void register_core_types();

} // namespace ryx

