#include "drive/confirmedlines.h"

#include "drive/replyframe.h"
#include "drive/replyreaders.h"
#include "drive/retries.h"

using namespace replyframe;

QByteArray ReadConfirmation(TExchange& exchange, const QByteArray& line) {
    return Framed(exchange, [&] {
        const QByteArray echo = EchoOf(line);
        const QByteArray ok = "OK\r\n";
        const TExchange::Clock::time_point deadline =
            Deadline(exchange, MaxEchoBytes + std::uint32_t(ok.size()));
        QByteArray came;
        while (!came.endsWith(echo)) {
            const std::optional<std::uint8_t> byte =
                came.size() < MaxEchoBytes && TExchange::Clock::now() < deadline ? exchange.ReadByte()
                                                                                 : std::nullopt;
            if (!byte)
                ThrowBadReply(came);
            came += char(*byte);
        }
        exchange.EchoSeen(std::uint32_t(echo.size()));
        const QByteArray answer =
            exchange.Read(std::uint32_t(ok.size()), Deadline(exchange, std::uint32_t(ok.size())));
        if (answer.startsWith('?'))
            throw ELineNotConfirmed(line, answer);
        if (answer != ok)
            ThrowBadReply(answer);
        exchange.AnswerCame();
        exchange.ReplyComplete();
        return came + answer;
    });
}

QByteArray ConfirmLine(TExchange& exchange, const QByteArray& line) {
    return AskAgain<EConvertError>(exchange, [&] {
        exchange.WriteLine(line);
        return ReadConfirmation(exchange, line);
    });
}

bool TryConfirmLine(TExchange& exchange, const QByteArray& line) {
    try {
        ConfirmLine(exchange, line);
        return true;
    } catch (const EKelmorError&) {
        if (exchange.Lost())
            throw;
        return false;
    }
}

QByteArray EchoOf(const QByteArray& line) {
    return line.endsWith('\r') ? line + '\n' : line;
}

namespace {

// A line's text for a message: what it says, with its line ends shown.
QString ShownLine(const QByteArray& bytes) {
    QString shown;
    for (const char c : bytes)
        shown += c == '\r'   ? QStringLiteral("\\r")
                 : c == '\n' ? QStringLiteral("\\n")
                             : QString(QLatin1Char(c));
    return shown;
}

// How far the echoes came as they should: the lines whose echo, and the first byte after it, came
// exactly; the first byte after the last line's echo is what ReadUntilQuiet finds.
std::size_t ConfirmedLines(const QByteArray& expected, const QByteArray& came,
                           const std::vector<qsizetype>& ends) {
    qsizetype same = 0;
    while (same < came.size() && same < expected.size() && came[same] == expected[same])
        ++same;
    std::size_t lines = 0;
    while (lines < ends.size() && ends[lines] < same)
        ++lines;
    return lines;
}

} // namespace

void WriteConfirmed(TExchange& exchange, const std::vector<QByteArray>& lines,
                    const std::function<void(std::size_t)>& confirmed) {
    std::size_t next = 0;
    for (TRetries retries(MostWriteRounds(lines.size())); next < lines.size();) {
        exchange.SettleAndPurge();
        if (exchange.Lost())
            throw ELineNotConfirmed(lines[next], {});
        QByteArray expected;
        std::vector<qsizetype> ends;
        // Back to back: the drive echoes line after line, and a refusal shows between two echoes.
        for (std::size_t i = next; i < lines.size(); ++i) {
            exchange.WriteLine(lines[i]);
            expected += EchoOf(lines[i]);
            ends.push_back(expected.size());
        }
        const auto size = std::uint32_t(expected.size());
        const QByteArray came = exchange.Read(size, Deadline(exchange, size));
        QByteArray late;
        if (came == expected)
            late = exchange.ReadUntilQuiet();
        std::size_t done = ConfirmedLines(expected, came, ends);
        if (came == expected && late.isEmpty())
            done = ends.size();
        for (std::size_t i = 0; i < done; ++i)
            confirmed(next + i);
        if (done == ends.size()) {
            exchange.EchoSeen(size);
            exchange.ReplyComplete();
            return;
        }
        exchange.ReplyFailed();
        const qsizetype from = done == 0 ? 0 : ends[done - 1];
        const QByteArray what = came.mid(from, ends[done] - from + 4) + late;
        next += done;
        if (!retries.Again(exchange, done > 0))
            throw ELineNotConfirmed(lines[next], exchange.Lost() ? QByteArray() : what);
    }
}

ELineNotConfirmed::ELineNotConfirmed(const QByteArray& line, const QByteArray& came)
    : EKelmorError(came.isEmpty() ? QStringLiteral("The drive did not confirm %1: nothing came back")
                                        .arg(ShownLine(line.trimmed()))
                                  : QStringLiteral("The drive did not confirm %1: what came back was '%2'")
                                        .arg(ShownLine(line.trimmed()), ShownLine(came))) {}
