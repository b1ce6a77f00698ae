#include "drive/identification.h"

#include "drive/commandlines.h"

#include <QList>
#include <algorithm>

namespace {

// An identification is a line of text; more than this and what came is no answer to "i".
constexpr qsizetype KLongestAnswer = 200;

} // namespace

void TIdentification::LineSent(const QByteArray& line) {
    FWaiting = ParseCommandLine(line).Kind == TParsedLine::Identify;
    FHeard.clear();
}

void TIdentification::Received(const QByteArray& bytes) {
    if (!FWaiting)
        return;
    FHeard += bytes;
    // Whole lines only; the echo "i" and empty lines are not the answer.
    const qsizetype end = FHeard.lastIndexOf('\n');
    const QList<QByteArray> lines = FHeard.left(end + 1).split('\n');
    for (const QByteArray& raw : lines) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line == "i")
            continue;
        FWaiting = false;
        const bool text = std::all_of(line.begin(), line.end(), [](char c) { return c >= ' ' && c < 0x7F; });
        if (line != "?" && text && line.size() <= KLongestAnswer)
            FText = QString::fromLatin1(line);
        return;
    }
    FHeard.remove(0, end + 1);
    if (FHeard.size() > KLongestAnswer)
        FWaiting = false;
}
