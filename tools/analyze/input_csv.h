#pragma once

#include "input.h"

namespace ryx::analyze::detail {

// A CSV file as a source, read line by line (see open_file for the format).
std::unique_ptr<source> open_csv(const QString& path, double rate, bool time_column, QString* error);

} // namespace ryx::analyze::detail
