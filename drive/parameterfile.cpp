#include "drive/parameterfile.h"

#include "common/errors.h"
#include "common/numtext.h"
#include "common/savefile.h"

#include <QStringDecoder>
#include <QStringList>
#include <algorithm>
#include <array>
#include <type_traits>
#include <utility>

namespace {

const QString Heading = QStringLiteral("Kelmor parameters 1");
constexpr int FieldCount = SettingCount + MotorFieldCount;
// Far more than any set of field texts takes; a larger file is not one of ours.
constexpr qint64 MaxFileSize = 64 * 1024;

// Every figure of a set with its key, in the order the file lists them.
template <typename Set> auto Fields(Set& set) {
    using Text = std::conditional_t<std::is_const_v<Set>, const TFigure, TFigure>;
    std::array<std::pair<QString, Text*>, FieldCount> fields;
    for (int row = 0; row < SettingCount; ++row)
        fields[row] = {QString::fromLatin1(RegisterTable[row].Key), &set.Settings[row]};
    for (int i = 0; i < MotorFieldCount; ++i) {
        const TMotorField& field = MotorFieldTable[std::size_t(i)];
        fields[std::size_t(SettingCount + i)] = {QString::fromLatin1(field.Key), &(set.Motor.*field.Number)};
    }
    return fields;
}

bool HoldsControlCharacter(const QString& text) {
    for (QChar c : text)
        if (c.category() == QChar::Other_Control)
            return true;
    return false;
}

constexpr TFileKind ParameterFile{"parameter", '\''};

[[noreturn]] void ThrowDamaged(const QString& path, qsizetype line, const QString& reason) {
    ParameterFile.ThrowDamaged(path, QStringLiteral("line %1: %2").arg(line).arg(reason));
}

} // namespace

void SaveParameterFile(const QString& path, const TParameterSet& parameters) {
    QString content = Heading + QLatin1Char('\n');
    for (const auto& [key, figure] : Fields(parameters)) {
        const QString& text = figure->Text();
        if (HoldsControlCharacter(text))
            throw EKelmorError(
                QStringLiteral("The text of %1 holds a control character and cannot be saved").arg(key));
        content += key + QStringLiteral(" = ") + PointDecimalText(text) + QLatin1Char('\n');
    }
    WriteWholeFile(path, content.toUtf8());
}

TParameterSet LoadParameterFile(const QString& path) {
    return ParseParameters(ReadFileHead(path, MaxFileSize), path);
}

TParameterSet ParseParameters(const QByteArray& bytes, const QString& path) {
    if (bytes.size() > MaxFileSize)
        ParameterFile.ThrowNotOurs(path);
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString content = decoder.decode(bytes);
    QStringList lines = content.split(QLatin1Char('\n'));
    for (QString& line : lines)
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    if (lines.front() != Heading)
        ParameterFile.ThrowNotOurs(path);
    if (decoder.hasError())
        ParameterFile.ThrowDamaged(path, QStringLiteral("it is not UTF-8 text"));

    TParameterSet parameters;
    auto fields = Fields(parameters);
    std::array<bool, FieldCount> seen{};
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QString& line = lines[i];
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals < 0)
            ThrowDamaged(path, i + 1, QStringLiteral("no '=' after the key"));
        const QString key = line.left(equals).trimmed();
        const auto field =
            std::find_if(fields.begin(), fields.end(), [&](const auto& f) { return f.first == key; });
        if (field == fields.end())
            ThrowDamaged(path, i + 1, QStringLiteral("unknown key %1").arg(QuotedText(key)));
        bool& done = seen[std::size_t(field - fields.begin())];
        if (done)
            ThrowDamaged(path, i + 1, QStringLiteral("a second value for %1").arg(key));
        done = true;
        QString value = line.mid(equals + 1);
        if (value.startsWith(QLatin1Char(' ')))
            value.remove(0, 1);
        if (HoldsControlCharacter(value))
            ThrowDamaged(path, i + 1, QStringLiteral("a control character in the value of %1").arg(key));
        *field->second = TFigure(LocalDecimalText(value));
    }
    for (std::size_t k = 0; k < fields.size(); ++k)
        if (!seen[k])
            ParameterFile.ThrowDamaged(path, QStringLiteral("no value for %1").arg(fields[k].first));
    return parameters;
}
