#pragma once

#include <QDateTime>
#include <QJsonValue>
#include <QString>
#include <cstdint>

// The fields of the program's JSON files, read strictly: a field that is not what it must be ends
// the reading with EBadField, which says which field and why; the reader names the part it was in.
struct EBadField {
    QString Reason;
};

[[noreturn]] void BadField(const QString& reason);

std::int64_t WholeField(const QJsonValue& value, const QString& name, std::int64_t lowest,
                        std::int64_t highest);
// A finite number.
double NumberField(const QJsonValue& value, const QString& name);
QDateTime TimeField(const QJsonValue& value, const QString& name);
QString TextField(const QJsonValue& value, const QString& name);
bool FlagField(const QJsonValue& value, const QString& name);

QString IsoTime(const QDateTime& time);
// Null for a time that is not valid.
QJsonValue TimeValue(const QDateTime& time);
