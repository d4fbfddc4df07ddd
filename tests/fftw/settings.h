#pragma once

#include <QJsonObject>

namespace ryx::test {

// Acquisition settings with the band at half the source rate: no decimation,
// and the anti-alias low-pass (cut at half the rate) passes everything. N is
// twice the number of lines; `more` adds or overrides other keys.
inline QJsonObject undecimated(double rate, int lines, QJsonObject more = {})
{
    more.insert("frequency", rate / 2.0);
    more.insert("samples", lines);
    return more;
}

} // namespace ryx::test
