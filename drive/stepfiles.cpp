#include "drive/stepfiles.h"

#include "common/errors.h"
#include "common/numtext.h"
#include "common/savefile.h"
#include "drive/jsonfields.h"
#include "drive/steptest.h"
#include "drive/tuningfile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <cmath>
#include <memory>
#include <utility>

namespace {

const QString Format = QStringLiteral("Kelmor session");
// Version 1 kept the settings as texts only; version 2 keeps their register values beside them.
constexpr int TextsVersion = 1;
constexpr int Version = 2;
// Far more than a history of a thousand tests takes; a larger file is not one of ours.
constexpr qint64 MaxFileSize = 64 * 1024 * 1024;

// A line per sample that came, each beginning with the prefix: the time from the step, the position,
// the position relative to the start, and the commanded position. A missing sample has no line; the
// times of the others show the gap.
[[noreturn]] void NotTextNorNull(const QString& key) {
    BadField(QStringLiteral("the setting %1 is neither a text nor null").arg(key));
}

QByteArray SampleLines(const TStepRecord& step, const QByteArray& prefix) {
    const QByteArray commanded =
        ',' + QByteArray::number(std::int64_t(step.StartPosition) + step.Amplitude) + '\n';
    QByteArray lines;
    for (std::size_t i = 0; i < step.Samples.size(); ++i)
        if (Arrived(step.Samples[i]))
            lines += prefix + QByteArray::number(double(i) * SamplePeriodMs, 'f', 1) + ',' +
                     QByteArray::number(step.Samples[i]) + ',' + QByteArray::number(TruePosition(step, i)) +
                     commanded;
    return lines;
}

QJsonObject SettingsObject(const TKnownSettings& settings, const TMotorData& motor) {
    QJsonObject object{{QStringLiteral("at"), TimeValue(settings.At)}};
    QJsonObject registers;
    for (int row = 0; row < SettingCount; ++row) {
        const QLatin1String key(RegisterTable[std::size_t(row)].Key);
        const std::optional<std::int32_t> value = settings.Register(TSettingRow(row));
        const QString text = SettingText(settings, TSettingRow(row), motor);
        object.insert(key, value && text != QStringLiteral("?") ? QJsonValue(PointDecimalText(text))
                                                                : QJsonValue());
        registers.insert(key, value ? QJsonValue(*value) : QJsonValue());
    }
    object.insert(QStringLiteral("registers"), registers);
    return object;
}

QJsonObject TestObject(const TTestRecord& test, bool shown, const TMotorData& motor) {
    QJsonArray samples;
    for (const std::uint32_t sample : test.Step.Samples)
        samples.append(sample == MissingSample ? QJsonValue() : QJsonValue(qint64(sample)));
    return {{QStringLiteral("number"), test.Number},
            {QStringLiteral("ranAt"), IsoTime(test.RanAt)},
            {QStringLiteral("amplitude"), qint64(test.Step.Amplitude)},
            {QStringLiteral("startPosition"), qint64(test.Step.StartPosition)},
            {QStringLiteral("samplesAsked"), test.Step.SampleCount},
            {QStringLiteral("shown"), shown},
            {QStringLiteral("samples"), samples},
            {QStringLiteral("settings"), SettingsObject(*test.Settings, motor)}};
}

// Reads the fields of one test.
class TTestReader : public TFieldReader {
public:
    using TFieldReader::TFieldReader;

    std::vector<std::uint32_t> Samples(int asked) const {
        const QJsonValue value = Value("samples");
        const QJsonArray array = value.toArray();
        if (!value.isArray() || array.size() > asked)
            BadField(QStringLiteral("samples is not a list of at most samplesAsked positions"));
        std::vector<std::uint32_t> samples;
        samples.reserve(std::size_t(array.size()));
        for (const QJsonValue& sample : array)
            samples.push_back(sample.isNull() ? MissingSample
                                              : std::uint32_t(WholeField(sample, QStringLiteral("a sample"),
                                                                         0, MaxDrivePosition)));
        return samples;
    }

    TKnownSettings Settings(int version) const {
        const QJsonValue value = Value("settings");
        if (!value.isObject())
            BadField(QStringLiteral("settings is missing"));
        const QJsonObject object = value.toObject();
        TKnownSettings settings = version == TextsVersion ? FromTexts(object) : FromRegisters(object);
        if (const QJsonValue at = object.value(QLatin1String("at")); !at.isNull())
            settings.At = TimeField(at, QStringLiteral("settings.at"));
        return settings;
    }

private:
    // Version 2: the register values, each whole and one its register holds, or null.
    static TKnownSettings FromRegisters(const QJsonObject& object) {
        const QJsonValue registers = object.value(QLatin1String("registers"));
        if (!registers.isObject())
            BadField(QStringLiteral("settings.registers is missing"));
        TKnownSettings settings;
        for (const TRegisterRow& r : RegisterTable) {
            if (const QJsonValue text = object.value(QLatin1String(r.Key));
                !text.isNull() && !text.isString())
                NotTextNorNull(QLatin1String(r.Key));
            const QJsonValue value = registers.toObject().value(QLatin1String(r.Key));
            if (!value.isNull())
                settings.Registers[std::size_t(r.Register)] = std::int32_t(
                    WholeField(value, QStringLiteral("the register of %1").arg(QLatin1String(r.Key)),
                               -r.Largest, r.Largest));
        }
        return settings;
    }

    // Version 1: the texts, each one "Wpisz" could have written, converted with the standard motor data
    // (the file does not keep the motor data) and the file's KV.
    static TKnownSettings FromTexts(const QJsonObject& object) {
        TSettingNumbers texts;
        for (int row = 0; row < SettingCount; ++row) {
            const QLatin1String key(RegisterTable[std::size_t(row)].Key);
            const QJsonValue text = object.value(key);
            // A known text is never empty: "Wpisz" refuses an empty field.
            if (!text.isNull() && text.toString().isEmpty())
                NotTextNorNull(key);
            if (!text.isNull())
                texts[std::size_t(row)] = TFigure(LocalDecimalText(text.toString()));
        }
        const TFigure kv = texts[KV].Text().isNull() ? DefaultSettings()[KV] : texts[KV];
        TKnownSettings settings;
        for (int row = 0; row < SettingCount; ++row) {
            const TRegisterRow& r = RegisterTable[std::size_t(row)];
            if (texts[std::size_t(row)].Text().isNull())
                continue;
            try {
                settings.Registers[std::size_t(r.Register)] =
                    r.ToRegister(texts[std::size_t(row)], DefaultMotorData(), kv);
            } catch (const EKelmorError& error) {
                BadField(QStringLiteral("the setting %1: %2").arg(QLatin1String(r.Key), error.Message()));
            }
        }
        return settings;
    }
};

constexpr TFileKind SessionFile{"session", '"'};

} // namespace

void WriteStepCsv(const QString& path, const TStepRecord& record) {
    const QByteArray header =
        QStringLiteral("time_ms,position,relative,commanded,amplitude=%1,start=%2,samples=%3\n")
            .arg(record.Amplitude)
            .arg(record.StartPosition)
            .arg(ReceivedCount(record))
            .toLatin1();
    WriteWholeFile(path, header + SampleLines(record, {}));
}

void WriteTestsCsv(const QString& path, std::span<const TTestRecord* const> tests) {
    QByteArray text = "test,time_ms,position,relative,commanded\n";
    for (const TTestRecord* test : tests)
        text += SampleLines(test->Step, QByteArray::number(test->Number) + ',');
    WriteWholeFile(path, text);
}

namespace {

QJsonObject SessionObject(std::span<const TTestRecord> tests, const std::function<bool(int number)>& shown,
                          const TMotorData& motor) {
    QJsonArray array;
    for (const TTestRecord& test : tests)
        array.append(TestObject(test, shown(test.Number), motor));
    return {{QStringLiteral("format"), Format},
            {QStringLiteral("version"), Version},
            {QStringLiteral("tests"), array}};
}

QJsonObject DriveObject(const TSessionDrive& drive) {
    QJsonObject motor;
    for (const TMotorField& field : MotorFieldTable)
        motor.insert(QLatin1String(field.Key), PointDecimalText((drive.Motor.*field.Number).Text()));
    QJsonObject object{{QStringLiteral("device"), drive.Device},
                       {QStringLiteral("port"), drive.Port},
                       {QStringLiteral("identification"), drive.Identification},
                       {QStringLiteral("motor"), motor},
                       {QStringLiteral("settings"), SettingsObject(drive.Known, drive.Motor)}};
    if (drive.Run)
        object.insert(QStringLiteral("tuning"), TuningObject(*drive.Run));
    return object;
}

TSessionDrive ReadDrive(const QJsonObject& object) {
    const TTestReader reader(object);
    TSessionDrive drive;
    drive.Device = reader.Text("device");
    drive.Port = reader.Text("port");
    drive.Identification = reader.Text("identification");
    const TFieldReader motor(reader.Value("motor").toObject());
    for (const TMotorField& field : MotorFieldTable)
        drive.Motor.*field.Number = TFigure(LocalDecimalText(motor.Text(field.Key)));
    drive.Known = reader.Settings(Version);
    if (const QJsonValue run = reader.Value("tuning"); !run.isUndefined())
        drive.Run = ReadTuning(run.toObject());
    return drive;
}

} // namespace

void SaveSessionFile(const QString& path, std::span<const TTestRecord> tests,
                     const std::function<bool(int number)>& shown, const TMotorData& motor) {
    WriteWholeFile(path, QJsonDocument(SessionObject(tests, shown, motor)).toJson(QJsonDocument::Compact));
}

void SaveSessionFile(const QString& path, std::span<const TTestRecord> tests,
                     const std::function<bool(int number)>& shown, const TSessionDrive& drive) {
    QJsonObject session = SessionObject(tests, shown, drive.Motor);
    session.insert(QStringLiteral("savedAt"), IsoTime(QDateTime::currentDateTime()));
    session.insert(QStringLiteral("drive"), DriveObject(drive));
    WriteWholeFile(path, QJsonDocument(session).toJson(QJsonDocument::Compact));
}

std::vector<TSessionTest> LoadSessionFile(const QString& path) {
    return LoadWholeSession(path).Tests;
}

std::vector<TSessionTest> ParseSession(const QByteArray& content, const QString& path) {
    return ParseWholeSession(content, path).Tests;
}

TSession LoadWholeSession(const QString& path) {
    const QByteArray content = ReadFileHead(path, MaxFileSize);
    if (content.size() > MaxFileSize)
        SessionFile.ThrowNotOurs(path);
    return ParseWholeSession(content, path);
}

TSession ParseWholeSession(const QByteArray& content, const QString& path) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(content, &error);
    const QJsonObject session = document.object();
    if (error.error != QJsonParseError::NoError || session.value(QLatin1String("format")) != Format)
        SessionFile.ThrowNotOurs(path);
    const int version = session.value(QLatin1String("version")).toInt();
    if (session.value(QLatin1String("version")) != QJsonValue(version) || version < TextsVersion ||
        version > Version)
        SessionFile.ThrowDamaged(path,
                                 QStringLiteral("version %1 is not one this Kelmor reads")
                                     .arg(session.value(QLatin1String("version")).toVariant().toString()));
    const QJsonValue list = session.value(QLatin1String("tests"));
    if (!list.isArray())
        SessionFile.ThrowDamaged(path, QStringLiteral("it holds no list of tests"));

    TSession whole;
    std::vector<TSessionTest>& tests = whole.Tests;
    QSet<int> numbers;
    TSettingsSnapshot last;
    for (const QJsonValue& value : list.toArray()) {
        const qsizetype at = qsizetype(tests.size()) + 1;
        try {
            if (!value.isObject())
                BadField(QStringLiteral("it is not an object"));
            const TTestReader reader(value.toObject());
            const int number = int(reader.Whole("number", 1, 1'000'000'000));
            if (numbers.contains(number))
                BadField(QStringLiteral("the number %1 comes twice").arg(number));
            numbers.insert(number);
            TStepRecord step;
            step.Amplitude = std::uint32_t(reader.Whole("amplitude", 1, MaxDrivePosition));
            step.StartPosition =
                std::uint32_t(reader.Whole("startPosition", 0, MaxDrivePosition - step.Amplitude));
            step.SampleCount = int(reader.Whole("samplesAsked", 1, MaxStepSamples));
            step.Samples = reader.Samples(step.SampleCount);
            const QJsonValue shown = reader.Value("shown");
            if (!shown.isBool())
                BadField(QStringLiteral("shown is not true or false"));
            // Tests run under the same settings share them, as they did when measured.
            TKnownSettings settings = reader.Settings(version);
            if (!last || last->Registers != settings.Registers || last->At != settings.At)
                last = std::make_shared<const TKnownSettings>(std::move(settings));
            tests.push_back(
                {MakeTestRecord(number, reader.Time("ranAt"), std::move(step), last), shown.toBool()});
        } catch (const EBadField& bad) {
            SessionFile.ThrowDamaged(path, QStringLiteral("test %1: %2").arg(at).arg(bad.Reason));
        }
    }
    try {
        if (const QJsonValue drive = session.value(QLatin1String("drive")); !drive.isUndefined()) {
            whole.Drive = ReadDrive(drive.toObject());
            whole.SavedAt = TimeField(session.value(QLatin1String("savedAt")), QStringLiteral("savedAt"));
        }
    } catch (const EBadField& bad) {
        SessionFile.ThrowDamaged(path, QStringLiteral("the device: %1").arg(bad.Reason));
    }
    return whole;
}
