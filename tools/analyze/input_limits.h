#pragma once

#include <QString>

namespace ryx::analyze::detail {

// What any input may declare: more would be a malformed or hostile file.
constexpr int max_channels = 64;
// Sample rates are in (0, max_rate] Hz.
constexpr double max_rate = 10.0e6;

// A number in a message or a description: up to 10 significant digits, no trailing zeros.
inline QString format_number(double x)
{
    return QString::number(x, 'g', 10);
}

} // namespace ryx::analyze::detail
