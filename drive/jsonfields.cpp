#include "drive/jsonfields.h"

#include <cmath>

void BadField(const QString& reason) {
    throw EBadField{reason};
}

std::int64_t WholeField(const QJsonValue& value, const QString& name, std::int64_t lowest,
                        std::int64_t highest) {
    const double number = value.toDouble();
    if (!value.isDouble() || number != std::floor(number) || number < double(lowest) ||
        number > double(highest))
        BadField(QStringLiteral("%1 is not a whole number from %2 to %3").arg(name).arg(lowest).arg(highest));
    return std::int64_t(number);
}

double NumberField(const QJsonValue& value, const QString& name) {
    if (!value.isDouble() || !std::isfinite(value.toDouble()))
        BadField(QStringLiteral("%1 is not a number").arg(name));
    return value.toDouble();
}

QDateTime TimeField(const QJsonValue& value, const QString& name) {
    const QDateTime time = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
    if (!time.isValid())
        BadField(QStringLiteral("%1 is not a date and time").arg(name));
    return time;
}

QString TextField(const QJsonValue& value, const QString& name) {
    if (!value.isString())
        BadField(QStringLiteral("%1 is not a text").arg(name));
    return value.toString();
}

bool FlagField(const QJsonValue& value, const QString& name) {
    if (!value.isBool())
        BadField(QStringLiteral("%1 is not true or false").arg(name));
    return value.toBool();
}

QString IsoTime(const QDateTime& time) {
    return time.toString(Qt::ISODateWithMs);
}

QJsonValue TimeValue(const QDateTime& time) {
    return time.isValid() ? QJsonValue(IsoTime(time)) : QJsonValue();
}
