#pragma once

#include <QString>
#include <QStringList>
#include <map>
#include <vector>

#include "analysis.h"
#include "input.h"
#include "result.h"

namespace ryx::analyze {

// The analyses run on the built-in machine signal when none is asked for:
// each measures one of its known components (see compare_with_machine).
std::vector<analysis_spec> default_analyses(const machine_signal& m);

// For the default analyses on the machine signal: one line per known
// component, "what   known   measured   error", from the results by name.
// Components whose analysis is missing or produced nothing are left out.
QStringList compare_with_machine(const machine_signal& m, const std::map<QString, result>& results);

} // namespace ryx::analyze
