#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include "ryx/ryx_math_export.h"

namespace ryx::math {

// Builds the editor descriptions that derived channels return from settings():
// one member per parameter under a key "NN_name", where NN is the two-digit
// display order (20 and above for the derived class, below 20 for the host).
class RYX_MATH_EXPORT editor
{
public:
    // "20_window" from (20, "window").
    static QString key(int order, const QString& name);

    // A label carrying a unit: the translated name, ", ", the translated unit.
    static QString label(const QString& name, const QString& unit);

    // Numeric field; prec is the number of decimals shown (0 for integral values).
    static QJsonObject number(double value, double min, double max, int prec, const QString& label);

    // Choice list whose items are plain texts: an item's position is its value.
    static QJsonObject choice(int value, const QString& label, const QStringList& items);

    // Choice list with explicit values: items are {"data": value, "text": label}.
    static QJsonObject choice(const QJsonValue& value, const QString& label, const QJsonArray& items);
    static QJsonObject item(const QJsonValue& data, const QString& text);
};

} // namespace ryx::math
