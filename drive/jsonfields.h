#pragma once

#include <QDateTime>
#include <QJsonObject>
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

// The fields of one object, each read by its key and named by it in the reason.
class TFieldReader {
public:
    explicit TFieldReader(const QJsonObject& object) : FObject(object) {}

    QJsonValue Value(const char* key) const { return FObject.value(QLatin1String(key)); }
    std::int64_t Whole(const char* key, std::int64_t lowest, std::int64_t highest) const {
        return WholeField(Value(key), QLatin1String(key), lowest, highest);
    }
    double Number(const char* key) const { return NumberField(Value(key), QLatin1String(key)); }
    QDateTime Time(const char* key) const { return TimeField(Value(key), QLatin1String(key)); }
    QString Text(const char* key) const { return TextField(Value(key), QLatin1String(key)); }
    bool Flag(const char* key) const { return FlagField(Value(key), QLatin1String(key)); }

private:
    QJsonObject FObject;
};

QString IsoTime(const QDateTime& time);
// Null for a time that is not valid.
QJsonValue TimeValue(const QDateTime& time);
