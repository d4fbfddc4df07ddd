#include "ryx/math/editor.h"

namespace ryx::math {

QString editor::key(int order, const QString& name)
{
    return QStringLiteral("%1_%2").arg(order, 2, 10, QLatin1Char('0')).arg(name);
}

QString editor::label(const QString& name, const QString& unit)
{
    return name + QStringLiteral(", ") + unit;
}

QJsonObject editor::number(double value, double min, double max, int prec, const QString& label)
{
    return QJsonObject{{"type", "double"}, {"value", value}, {"min", min},
                       {"max", max},      {"prec", prec},   {"label", label}};
}

QJsonObject editor::choice(int value, const QString& label, const QStringList& items)
{
    return choice(QJsonValue(value), label, QJsonArray::fromStringList(items));
}

QJsonObject editor::choice(const QJsonValue& value, const QString& label, const QJsonArray& items)
{
    return QJsonObject{{"type", "combobox"}, {"value", value}, {"label", label}, {"items", items}};
}

QJsonObject editor::item(const QJsonValue& data, const QString& text)
{
    return QJsonObject{{"data", data}, {"text", text}};
}

} // namespace ryx::math
