#include "drive/commandlines.h"

#include <QtGlobal>

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

QByteArray RapidMoveLine(const QByteArray& target) {
    return "G0 " + target + CR;
}

QByteArray FeedMoveLine(const QByteArray& target, std::int32_t speed) {
    return "G1 " + target + ' ' + QByteArray::number(speed) + CR;
}
