#pragma once

#include <QJsonObject>
#include <QString>

#include "result.h"

namespace ryx::analyze {

// Every writer goes through a temporary file in the target's folder and renames
// it into place only once it is complete: a failed or interrupted write never
// leaves a file under the final name. On failure each returns false with a
// one-line message in *error (when error is not null).

// CSV: a header line "<x_label> [<x_unit>],<series name> [<unit>],..." then one
// line per axis point; numbers with 17 significant digits, "nan"/"inf" spelled
// as such.
bool write_csv(const result& r, const QString& path, QString* error);

// The document as indented JSON (non-finite numbers written as null).
bool write_json(const QJsonObject& document, const QString& path, QString* error);

// A PNG plot of the result (Qt Charts, rendered offscreen): title, labelled
// axes with units, a legend when there are several curves, a logarithmic axis
// when x_log is set. Needs a QApplication (with the "offscreen" platform when
// there is no display). width x height pixels.
bool write_plot(const result& r, const QString& path, QString* error, int width = 1200, int height = 700);

} // namespace ryx::analyze
