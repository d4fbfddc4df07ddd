#include "output_plot.h"

#include <QFont>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QPainter>
#include <QPen>
#include <QtCharts/QAreaSeries>
#include <QtCharts/QChart>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QLogValueAxis>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>
#include <cmath>
#include <limits>

namespace ryx::analyze::detail {

namespace {

// Colours that stay distinct on white and for the common colour-vision deficiencies.
const QColor palette[] = {QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28), QColor(0x2c, 0xa0, 0x2c),
                          QColor(0xff, 0x7f, 0x0e), QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b),
                          QColor(0xe3, 0x77, 0xc2), QColor(0x7f, 0x7f, 0x7f), QColor(0xbc, 0xbd, 0x22),
                          QColor(0x17, 0xbe, 0xcf)};
constexpr int palette_size = int(sizeof(palette) / sizeof(palette[0]));

// A curve broken into more stretches than this (NaNs scattered through it) is
// drawn as points: a line series per stretch would cost more than it shows.
constexpr std::size_t max_runs = 64;
// Runs this short show their points as markers as well as the line.
constexpr std::size_t marked_run = 40;

// One series of the result, ready to draw: its finite stretches in axis order.
struct curve
{
    QString label;
    QString unit;
    QColor colour;
    std::vector<std::vector<QPointF>> runs;
    // For bars: the band edges of each point, parallel to runs.
    std::vector<std::vector<std::pair<double, double>>> edges;
};

// Beyond these magnitudes a chart's pixel arithmetic overflows: such values are
// left out like infinities (the CSV and JSON still carry them).
constexpr double largest = 1e300;
constexpr double smallest_log = 1e-300;

bool drawable(double v)
{
    return std::abs(v) <= largest; // false for NaN too
}

bool on_axis(double x, bool log_x)
{
    return drawable(x) && (!log_x || x >= smallest_log);
}

// The boundary between two neighbouring band centres: the geometric mean on a
// logarithmic axis (fractional-octave bands), the arithmetic mean otherwise.
double between(double a, double b, bool log_x)
{
    return log_x ? std::sqrt(a * b) : 0.5 * (a + b);
}

// A step of 1, 2 or 5 times a power of ten giving about `count` intervals.
double nice_step(double span, int count)
{
    const double raw = span / std::max(count, 1);
    const double decade = std::pow(10.0, std::floor(std::log10(raw)));
    const double m = raw / decade;
    return decade * (m < 1.5 ? 1.0 : m < 3.5 ? 2.0 : m < 7.5 ? 5.0 : 10.0);
}

// Widens a value range by a margin. A range too narrow to tell from one value
// (a flat curve, or one differing only in the last digits) gets a margin of a
// tenth of its size (or 1 around zero) so that the axis can be drawn and its
// ticks stepped; values near the largest double are held back from overflow.
void pad(double& lo, double& hi, double fraction)
{
    lo = std::clamp(lo, -largest, largest);
    hi = std::clamp(hi, -largest, largest);
    const double size = std::max(std::abs(lo), std::abs(hi));
    const double span = hi - lo;
    if (span > size * 1e-12 && span > std::numeric_limits<double>::min()) {
        lo -= span * fraction;
        hi += span * fraction;
        return;
    }
    const double centre = lo + span / 2;
    const double m = size > 1e-300 ? size * 0.1 : 1.0;
    lo = centre - m;
    hi = centre + m;
}

QFont sized(QFont f, qreal points, bool bold = false)
{
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

void style_axis(QAbstractAxis* axis, const QString& title)
{
    axis->setTitleText(title);
    axis->setTitleFont(sized(axis->titleFont(), 11));
    axis->setLabelsFont(sized(axis->labelsFont(), 10));
    axis->setGridLineColor(QColor(0xdd, 0xdd, 0xdd));
    axis->setMinorGridLineColor(QColor(0xf0, 0xf0, 0xf0));
}

// A linear axis over [lo, hi] with labels at round values.
QValueAxis* value_axis(double lo, double hi, int intervals)
{
    auto* axis = new QValueAxis;
    const double step = nice_step(hi - lo, intervals);
    // A hair of slack so that a label falling exactly on an end is not lost to rounding.
    axis->setRange(lo - step * 1e-9, hi + step * 1e-9);
    axis->setTickType(QValueAxis::TicksDynamic);
    axis->setTickAnchor(std::floor(lo / step) * step);
    axis->setTickInterval(step);
    // Enough significant digits that neighbouring labels differ.
    const double size = std::max(std::abs(lo), std::abs(hi));
    int digits = std::clamp(int(std::floor(std::log10(size)) - std::floor(std::log10(step))) + 2, 3, 15);
    // Whole numbers up to a few millions print in full (1200, not 1.2e+03).
    if (size >= 1.0 && size < 1e7)
        digits = std::max(digits, int(std::floor(std::log10(size))) + 1);
    axis->setLabelFormat(QStringLiteral("%.%1g").arg(digits));
    return axis;
}

QString with_unit(const QString& text, const QString& unit)
{
    return unit.isEmpty() ? text : text + QStringLiteral(" [") + unit + QLatin1Char(']');
}

std::vector<curve> prepare(const result& r)
{
    // The band edges of every usable axis point, for bars.
    std::vector<std::size_t> usable;
    for (std::size_t i = 0; i < r.x.size(); ++i)
        if (on_axis(r.x[i], r.x_log))
            usable.push_back(i);
    std::vector<std::pair<double, double>> edge(r.x.size());
    for (std::size_t k = 0; k < usable.size(); ++k) {
        const double x = r.x[usable[k]];
        double left = 0, right = 0;
        if (usable.size() == 1) {
            left = r.x_log ? x / std::sqrt(2.0) : x - 0.5;
            right = r.x_log ? x * std::sqrt(2.0) : x + 0.5;
        } else {
            if (k > 0)
                left = between(r.x[usable[k - 1]], x, r.x_log);
            if (k + 1 < usable.size())
                right = between(x, r.x[usable[k + 1]], r.x_log);
            if (k == 0)
                left = r.x_log ? x * x / right : 2 * x - right;
            if (k + 1 == usable.size())
                right = r.x_log ? x * x / left : 2 * x - left;
        }
        if (r.x_log)
            edge[usable[k]] = {std::max(left, smallest_log), std::min(right, largest)};
        else
            edge[usable[k]] = {std::max(left, -largest), std::min(right, largest)};
    }

    std::vector<curve> curves;
    for (std::size_t s = 0; s < r.y.size(); ++s) {
        const series& in = r.y[s];
        curve c;
        c.label = in.name.isEmpty() ? r.name : in.name;
        c.unit = in.unit;
        c.colour = palette[s % palette_size];
        bool open = false;
        const std::size_t n = std::min(in.values.size(), r.x.size());
        for (std::size_t i = 0; i < n; ++i) {
            const double x = r.x[i], y = in.values[i];
            if (!on_axis(x, r.x_log))
                continue; // a point the axis cannot show: skipped, not a break
            if (!drawable(y)) {
                open = false;
                continue;
            }
            if (!open) {
                c.runs.emplace_back();
                c.edges.emplace_back();
                open = true;
            }
            c.runs.back().emplace_back(x, y);
            c.edges.back().push_back(edge[i]);
        }
        curves.push_back(std::move(c));
    }
    return curves;
}

} // namespace

std::vector<QPointF> decimate(const std::vector<QPointF>& points, double lo, double hi, int columns, bool log_x)
{
    const std::size_t n = points.size();
    if (columns < 1 || n <= 4 * std::size_t(columns))
        return points;
    const double a = log_x ? std::log10(lo) : lo;
    const double b = log_x ? std::log10(hi) : hi;
    const double scale = b > a ? columns / (b - a) : 0.0;
    auto column = [&](double x) {
        const double u = ((log_x ? std::log10(x) : x) - a) * scale;
        return u < 0 ? 0L : u >= columns ? long(columns - 1) : long(u);
    };

    std::vector<QPointF> out;
    out.reserve(4 * std::size_t(columns) + 4);
    std::size_t first = 0;
    while (first < n) {
        const long c = column(points[first].x());
        std::size_t low = first, high = first, end = first + 1;
        for (; end < n && column(points[end].x()) == c; ++end) {
            if (points[end].y() < points[low].y())
                low = end;
            if (points[end].y() > points[high].y())
                high = end;
        }
        std::size_t keep[] = {first, low, high, end - 1};
        std::sort(std::begin(keep), std::end(keep));
        const auto last = std::unique(std::begin(keep), std::end(keep));
        for (auto* k = std::begin(keep); k != last; ++k)
            out.push_back(points[*k]);
        first = end;
    }
    return out;
}

QImage render_plot(const result& r, int width, int height)
{
    std::vector<curve> curves = prepare(r);

    QGraphicsScene scene;
    scene.setSceneRect(0, 0, width, height);
    auto* chart = new QChart; // owned by the scene
    scene.addItem(chart);
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setTheme(QChart::ChartThemeLight);
    chart->setBackgroundBrush(Qt::white);
    chart->setBackgroundRoundness(0);
    chart->setDropShadowEnabled(false);
    chart->setMargins(QMargins(6, 6, 6, 6));
    chart->setTitleFont(sized(chart->titleFont(), 14, true));
    chart->setTitle(r.kind.isEmpty() || r.kind == r.name ? r.name : r.name + QStringLiteral(" (") + r.kind + ')');
    chart->legend()->setFont(sized(chart->legend()->font(), 10));
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->setGeometry(0, 0, width, height);

    // The ranges of what will be drawn; the y range per unit, one axis each.
    double x_lo = std::numeric_limits<double>::infinity(), x_hi = -x_lo;
    QStringList units;
    std::vector<std::pair<double, double>> y_range;
    int drawn = 0;
    for (const curve& c : curves) {
        if (c.runs.empty())
            continue;
        ++drawn;
        int u = int(units.indexOf(c.unit));
        if (u < 0) {
            units.append(c.unit);
            y_range.emplace_back(std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity());
            u = int(units.size()) - 1;
        }
        for (std::size_t k = 0; k < c.runs.size(); ++k)
            for (std::size_t i = 0; i < c.runs[k].size(); ++i) {
                const QPointF& p = c.runs[k][i];
                const double left = r.bars ? c.edges[k][i].first : p.x();
                const double right = r.bars ? c.edges[k][i].second : p.x();
                x_lo = std::min(x_lo, left);
                x_hi = std::max(x_hi, right);
                y_range[u].first = std::min(y_range[u].first, p.y());
                y_range[u].second = std::max(y_range[u].second, p.y());
            }
    }

    chart->legend()->setVisible(drawn > 1);
    if (drawn == 0) {
        auto* text = new QGraphicsSimpleTextItem(QStringLiteral("no data"));
        text->setFont(sized(chart->titleFont(), 16));
        text->setBrush(QColor(0x70, 0x70, 0x70));
        const QRectF box = text->boundingRect();
        text->setPos((width - box.width()) / 2, (height - box.height()) / 2);
        scene.addItem(text);
    } else {
        // x axis
        QAbstractAxis* x_axis = nullptr;
        if (r.x_log) {
            x_lo = std::max(x_lo, smallest_log);
            x_hi = std::min(x_hi, largest);
            if (!(x_hi > x_lo * (1 + 1e-9))) {
                x_lo /= 2;
                x_hi *= 2;
            }
            // Labels sit only at powers of ten: make sure there are two.
            if (std::floor(std::log10(x_hi)) - std::ceil(std::log10(x_lo)) < 1) {
                x_lo = std::pow(10.0, std::floor(std::log10(x_lo)));
                x_hi = std::pow(10.0, std::ceil(std::log10(x_hi)));
            }
            // Over very many decades, label every few decades rather than each.
            const double decades = std::log10(x_hi) - std::log10(x_lo);
            auto* axis = new QLogValueAxis;
            axis->setBase(decades > 12 ? std::pow(10.0, std::ceil(decades / 12)) : 10.0);
            axis->setLabelFormat("%g");
            axis->setMinorTickCount(decades > 12 ? 0 : -1); // -1: a line at each multiple of the base
            axis->setRange(x_lo, x_hi);
            x_axis = axis;
        } else {
            pad(x_lo, x_hi, 0);
            x_axis = value_axis(x_lo, x_hi, std::max(2, width / 130));
        }
        style_axis(x_axis, with_unit(r.x_label, r.x_unit));
        chart->addAxis(x_axis, Qt::AlignBottom);

        // y axes, one per unit, alternating left and right
        std::vector<QValueAxis*> y_axes;
        for (int u = 0; u < int(units.size()); ++u) {
            double lo = y_range[u].first, hi = y_range[u].second;
            pad(lo, hi, 0.05);
            if (r.bars) {
                // Bars stand on zero when it is in reach; levels in decibels (or
                // negative values) on a floor below the lowest bar.
                if (y_range[u].first >= 0 && !units[u].contains(QStringLiteral("dB")))
                    lo = 0;
                else
                    lo -= 2 * (y_range[u].first - lo);
            }
            auto* axis = value_axis(lo, hi, std::max(2, height / 90));
            QStringList on_axis_labels;
            QColor colour;
            for (const curve& c : curves)
                if (!c.runs.empty() && c.unit == units[u]) {
                    on_axis_labels.append(c.label);
                    colour = c.colour;
                }
            const QString title = on_axis_labels.size() <= 3 ? with_unit(on_axis_labels.join(QStringLiteral(", ")), units[u])
                                  : units[u].isEmpty()          ? QStringLiteral("value")
                                                                : units[u];
            style_axis(axis, title);
            axis->setGridLineVisible(u == 0); // one grid, the first axis's
            if (units.size() > 1 && on_axis_labels.size() == 1) {
                axis->setLinePenColor(colour);
                axis->setTitleBrush(colour);
            }
            chart->addAxis(axis, u % 2 == 0 ? Qt::AlignLeft : Qt::AlignRight);
            y_axes.push_back(axis);
        }

        const int columns = std::max(1, width);
        for (const curve& c : curves) {
            if (c.runs.empty())
                continue;
            QValueAxis* y_axis = y_axes[std::size_t(units.indexOf(c.unit))];
            const QString legend = units.size() > 1 ? with_unit(c.label, c.unit) : c.label;
            std::size_t points = 0;
            for (const auto& run : c.runs)
                points += run.size();
            std::vector<QAbstractSeries*> added;
            auto attach = [&](QAbstractSeries* s) {
                s->setName(legend);
                chart->addSeries(s);
                s->attachAxis(x_axis);
                s->attachAxis(y_axis);
                added.push_back(s);
            };
            QPen pen(c.colour, 1.5);
            pen.setJoinStyle(Qt::RoundJoin);

            if (r.bars && points <= std::size_t(width / 3)) {
                // Each band a bar from the axis floor, filled lightly, outlined.
                const double base = y_axis->min();
                for (std::size_t k = 0; k < c.runs.size(); ++k) {
                    QList<QPointF> upper, lower;
                    for (std::size_t i = 0; i < c.runs[k].size(); ++i) {
                        const auto [left, right] = c.edges[k][i];
                        const double y = c.runs[k][i].y();
                        upper << QPointF(left, base) << QPointF(left, y) << QPointF(right, y) << QPointF(right, base);
                    }
                    lower << QPointF(upper.front().x(), base) << QPointF(upper.back().x(), base);
                    auto* top = new QLineSeries;
                    top->replace(upper);
                    auto* bottom = new QLineSeries;
                    bottom->replace(lower);
                    auto* area = new QAreaSeries(top, bottom);
                    top->setParent(area);
                    bottom->setParent(area);
                    QColor fill = c.colour;
                    fill.setAlpha(drawn > 1 ? 70 : 110); // overlapping bars stay visible
                    area->setBrush(fill);
                    area->setPen(pen);
                    attach(area);
                }
            } else if (c.runs.size() > max_runs) {
                std::vector<QPointF> all;
                all.reserve(points);
                for (const auto& run : c.runs)
                    all.insert(all.end(), run.begin(), run.end());
                const std::vector<QPointF> shown = decimate(all, x_lo, x_hi, columns, r.x_log);
                auto* dots = new QScatterSeries;
                dots->setMarkerSize(4);
                dots->setColor(c.colour);
                dots->setBorderColor(c.colour);
                dots->replace(QList<QPointF>(shown.begin(), shown.end()));
                attach(dots);
            } else {
                QList<QPointF> single;
                for (const auto& run : c.runs) {
                    if (run.size() == 1) {
                        single.append(run.front());
                        continue;
                    }
                    const std::vector<QPointF> shown = decimate(run, x_lo, x_hi, columns, r.x_log);
                    auto* line = new QLineSeries;
                    line->setPen(pen);
                    line->replace(QList<QPointF>(shown.begin(), shown.end()));
                    if (run.size() <= marked_run) {
                        line->setPointsVisible(true);
                        line->setMarkerSize(6);
                    }
                    attach(line);
                }
                if (!single.isEmpty()) {
                    auto* dots = new QScatterSeries;
                    dots->setMarkerSize(7);
                    dots->setColor(c.colour);
                    dots->setBorderColor(c.colour);
                    dots->replace(single);
                    attach(dots);
                }
            }
            // One legend entry per curve, however many stretches draw it.
            for (std::size_t k = 1; k < added.size(); ++k)
                for (QLegendMarker* m : chart->legend()->markers(added[k]))
                    m->setVisible(false);
        }
    }

    if (chart->layout())
        chart->layout()->activate();
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    scene.render(&painter, QRectF(0, 0, width, height), QRectF(0, 0, width, height));
    painter.end();
    return image;
}

} // namespace ryx::analyze::detail
