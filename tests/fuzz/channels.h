#pragma once

#include <QString>
#include <QStringList>

#include "ryx/core/analog_data.h"

namespace ryx::fuzz {

// Every derived channel a host can save, build and set: the count, a factory by
// index, and the names their saved attributes and parameters use.
int channel_kinds();
ryx::analog_data* make_channel(int kind, ryx::analog_data* source);
const QStringList& parameter_names();

} // namespace ryx::fuzz
