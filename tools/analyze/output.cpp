#include "output.h"

#include <QApplication>
#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QImage>
#include <QJsonDocument>
#include <QSaveFile>

#include <cmath>

#include "output_plot.h"

namespace ryx::analyze {

namespace {

void fail(QString* error, const QString& message)
{
    if (error)
        *error = message;
}

// Writes the bytes to a temporary file beside `path` and renames it into place
// only when every byte has reached it; on failure the temporary file is removed
// and whatever was under `path` before stays as it was.
bool save(const QString& path, const QByteArray& bytes, QString* error)
{
    const QString shown = QDir::toNativeSeparators(path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        fail(error, QStringLiteral("cannot write %1: %2").arg(shown, file.errorString()));
        return false;
    }
    if (file.write(bytes) != bytes.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        fail(error, QStringLiteral("cannot write %1: %2").arg(shown, why));
        return false;
    }
    if (!file.commit()) {
        fail(error, QStringLiteral("cannot write %1: %2").arg(shown, file.errorString()));
        return false;
    }
    return true;
}

// RFC 4180: a field holding a separator, a quote or a line break is quoted,
// with its quotes doubled.
QString csv_field(const QString& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n'))
        && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString csv_title(const QString& name, const QString& unit)
{
    return csv_field(unit.isEmpty() ? name : name + QStringLiteral(" [") + unit + QLatin1Char(']'));
}

// 17 significant digits read back to the same double, the sign of zero included.
QString csv_number(double v)
{
    if (std::isnan(v))
        return QStringLiteral("nan");
    if (std::isinf(v))
        return v > 0 ? QStringLiteral("inf") : QStringLiteral("-inf");
    if (v == 0 && std::signbit(v))
        return QStringLiteral("-0"); // QString::number drops the sign of a negative zero
    return QString::number(v, 'g', 17);
}

} // namespace

bool write_csv(const result& r, const QString& path, QString* error)
{
    QString text;
    text += csv_title(r.x_label, r.x_unit);
    for (const series& s : r.y)
        text += QLatin1Char(',') + csv_title(s.name.isEmpty() ? r.name : s.name, s.unit);
    text += QLatin1Char('\n');
    for (std::size_t i = 0; i < r.x.size(); ++i) {
        text += csv_number(r.x[i]);
        for (const series& s : r.y) {
            text += QLatin1Char(',');
            if (i < s.values.size())
                text += csv_number(s.values[i]);
        }
        text += QLatin1Char('\n');
    }
    return save(path, text.toUtf8(), error);
}

bool write_json(const QJsonObject& document, const QString& path, QString* error)
{
    return save(path, QJsonDocument(document).toJson(QJsonDocument::Indented), error);
}

bool write_plot(const result& r, const QString& path, QString* error, int width, int height)
{
    const QString shown = QDir::toNativeSeparators(path);
    // Qt Charts draws through QGraphicsScene, which needs the widget application.
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        fail(error, QStringLiteral("cannot plot %1: no QApplication").arg(shown));
        return false;
    }
    constexpr int max_side = 16384;
    if (width < 16 || height < 16 || width > max_side || height > max_side) {
        fail(error, QStringLiteral("cannot plot %1: size %2 x %3 outside 16..%4 pixels")
                        .arg(shown)
                        .arg(width)
                        .arg(height)
                        .arg(max_side));
        return false;
    }
    const QImage image = detail::render_plot(r, width, height);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (image.isNull() || !image.save(&buffer, "PNG")) {
        fail(error, QStringLiteral("cannot plot %1: PNG encoding failed").arg(shown));
        return false;
    }
    return save(path, png, error);
}

} // namespace ryx::analyze
