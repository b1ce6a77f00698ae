#include "drive/commandlines.h"

#include "common/codepage.h"
#include "common/errors.h"

#include <QList>
#include <QtGlobal>
#include <algorithm>

namespace {

constexpr char CR = '\r';

QByteArray SelectorLine(char keyword, int selector) {
    Q_ASSERT(selector >= 0 && selector <= 9);
    return QByteArray(1, keyword) + char('0' + selector) + CR;
}

QByteArray ArgumentLine(const char* prefix, std::int32_t value) {
    return prefix + QByteArray::number(value) + CR;
}

std::optional<QByteArray> BankLine(char keyword, int selectedBank) {
    if (selectedBank < 0 || selectedBank > 3)
        return std::nullopt;
    return SelectorLine(keyword, selectedBank);
}

} // namespace

QByteArray RegisterQueryLine(int n) {
    return SelectorLine('P', n);
}

QByteArray PromptCloseLine() {
    return QByteArray(1, CR);
}

QByteArray RegisterWriteLine(int n, std::int32_t value) {
    Q_ASSERT(n >= 0 && n <= 8);
    return QByteArray(1, 'P') + char('0' + n) + ' ' + QByteArray::number(value) + CR;
}

std::optional<QByteArray> BankStoreLine(int selectedBank) {
    return BankLine('W', selectedBank);
}

std::optional<QByteArray> BankLoadLine(int selectedBank) {
    return BankLine('R', selectedBank);
}

QByteArray ModeLine(int mode) {
    return SelectorLine('M', mode);
}

QByteArray SetPointLine(std::int32_t value) {
    return ArgumentLine("S ", value);
}

QByteArray IdentifyLine() {
    return QByteArrayLiteral("i\r");
}

QByteArray PositionLine() {
    return QByteArrayLiteral("l\r");
}

QByteArray PositionQueryLine() {
    return QByteArrayLiteral("L \r\r");
}

QByteArray StepLine(std::int32_t target) {
    return ArgumentLine("J ", target);
}

QByteArray MoveTargetBytes(const QString& target) {
    QByteArray bytes;
    bytes.reserve(target.size());
    for (const char32_t ch : target.toUcs4()) {
        if (ch == U'\r' || ch == U'\n')
            throw EKelmorError(QStringLiteral("A line break in the target would send a second command"));
        const std::optional<std::uint8_t> byte = ch <= 0xFFFF ? Cp1250Byte(char16_t(ch)) : std::nullopt;
        if (!byte)
            throw EKelmorError(QStringLiteral("'%1' is not in the drive's code page (Windows-1250)")
                                   .arg(QString::fromUcs4(&ch, 1)));
        bytes += char(*byte);
    }
    // A drive skips what is not part of a number and moves to what remains: "12ó00" would go to 1200.
    const QByteArray digits = bytes.startsWith('-') ? bytes.mid(1) : bytes;
    bool inRange = false;
    bytes.toInt(&inRange);
    if (digits.isEmpty() ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }) || !inRange)
        throw EKelmorError(QStringLiteral("'%1' is not a target the drive reads as typed: a whole number of "
                                          "pulses, digits only, a minus sign in front for one below zero")
                               .arg(target));
    return bytes;
}

QByteArray RapidMoveLine(const QByteArray& target) {
    return "G0 " + target + CR;
}

QByteArray FeedMoveLine(const QByteArray& target, std::int32_t speed) {
    return "G1 " + target + ' ' + QByteArray::number(speed) + CR;
}

TParsedLine ParseCommandLine(const QByteArray& line) {
    if (line == "i")
        return {TParsedLine::Identify, std::nullopt};
    if (line.startsWith('M')) {
        const bool read = line.size() == 2 && line[1] >= '0' && line[1] < '0' + ModeCount;
        return {TParsedLine::Mode, read ? std::optional<std::int32_t>(line[1] - '0') : std::nullopt};
    }
    if (line.startsWith('S')) {
        bool read = false;
        const QByteArray value = line.mid(1).trimmed();
        const std::int32_t v = value.toInt(&read);
        return {TParsedLine::SetPoint, read && !value.startsWith('+') ? std::optional(v) : std::nullopt};
    }
    if (line.startsWith('G'))
        return {TParsedLine::Move, std::nullopt};
    return {};
}
