#pragma once

#include <QImage>
#include <QPointF>
#include <QString>
#include <vector>

#include "result.h"

namespace ryx::analyze::detail {

// Reduces a run of points, in axis order, to at most four per pixel column
// (the first, lowest, highest and last point of each column, in their original
// order), so that a plot of a million points keeps every peak and trough while
// drawing a few thousand. `lo`..`hi` is the x range spread over `columns`
// columns; with `log_x` the columns are equal steps of log10(x) (x > 0).
std::vector<QPointF> decimate(const std::vector<QPointF>& points, double lo, double hi, int columns,
                              bool log_x);

// Draws the result as a chart on a white width x height image. Needs a
// QApplication. An empty result, or one with nothing finite to draw, gives a
// chart with its title and "no data".
QImage render_plot(const result& r, int width, int height);

} // namespace ryx::analyze::detail
