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
// The " [unit]" is left out when the unit is empty; a series without a name is
// called by the result's name. Fields holding a comma, quote or line break are
// quoted as RFC 4180 has it. A series shorter than the axis leaves its fields
// empty; values past the axis's end are not written. Lines end in "\n".
bool write_csv(const result& r, const QString& path, QString* error);

// The document as indented JSON (non-finite numbers written as null: JSON has
// no NaN or infinity, and QJsonValue keeps none; the CSV keeps them).
bool write_json(const QJsonObject& document, const QString& path, QString* error);

// A PNG plot of the result (Qt Charts, rendered offscreen): title, labelled
// axes with units, a legend when there are several curves, a logarithmic axis
// when x_log is set. Needs a QApplication (with the "offscreen" platform when
// there is no display). width x height pixels.
// The caller creates the QApplication; with no display it first sets
// QT_QPA_PLATFORM=offscreen (qputenv before the QApplication is constructed).
// Each unit gets its own y axis, alternately left and right. Non-finite values
// (and magnitudes beyond 1e300) break a curve rather than stretch the axis; on a
// logarithmic axis points at x <= 0 are left out. `bars` draws each point as a
// bar between the midpoints to its neighbours (geometric midpoints on a log
// axis). Long curves are thinned to the first, lowest, highest and last point
// of each pixel column, so peaks survive. Nothing to draw gives a "no data"
// picture. Sizes outside 16..16384 pixels are refused.
bool write_plot(const result& r, const QString& path, QString* error, int width = 1200, int height = 700);

} // namespace ryx::analyze
