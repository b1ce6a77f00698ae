#include "drive/replyreaders.h"

#include "drive/replyframe.h"

#include "common/numtext.h"
#include "drive/commandlines.h"
#include "drive/samplerecords.h"
#include "link/exchange.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <optional>

using namespace replyframe;

namespace {

using namespace std::chrono_literals;

constexpr std::uint8_t CR = '\r';

struct TRegisterAnswer {
    QByteArray Text;
    std::int32_t Value = 0;
};

// Bytes that have come after what was taken from a register's answer make the answer a bad one;
// its text, with what came, is in the message. Only what has arrived is looked at, so a drive that
// answers as it should costs no time.
void RefuseTrailingText(TExchange& exchange, const QByteArray& taken) {
    const std::uint32_t waiting = exchange.Waiting();
    if (waiting == 0)
        return;
    const auto shown = std::min<std::uint32_t>(waiting, MaxValueText);
    ThrowInvalidInteger(SpacedText(taken + exchange.Read(shown, TExchange::Clock::now())));
}

// The reply to the query of register n, which has gone out, up to the prompt's colon: the value text
// converted. Stray bytes may come before the query's echo, unless the prompt of the register before
// was closed just ahead of the query: then only that close's echo may, and anything else is a bad
// answer of that register, whose text is `closedText`.
TRegisterAnswer ReadRegisterValue(TExchange& exchange, int n, const QByteArray* closedText) {
    // A drive that trickles bytes is given the time of the longest answer on the wire and one time-out.
    const TExchange::Clock::time_point deadline = Deadline(exchange, MaxEchoBytes + MaxValueText + 2);
    const auto next = [&] {
        const std::optional<std::uint8_t> byte =
            TExchange::Clock::now() < deadline ? exchange.ReadByte() : std::nullopt;
        if (!byte)
            throw ENoAnswer(n);
        return *byte;
    };

    // Only the echo of this very query starts the answer: a drive still printing lines that end in a
    // colon must not have them taken for the value.
    const QByteArray echo = RegisterQueryLine(n);
    QByteArray skipped;
    while (!skipped.endsWith(echo)) {
        if (skipped.size() >= MaxEchoBytes)
            throw ENoAnswer(n);
        skipped += char(next());
    }
    const QByteArray before = skipped.chopped(echo.size());
    const QByteArray closeEcho = "\r\n";
    if (closedText && before != closeEcho)
        ThrowInvalidInteger(SpacedText(*closedText + ':' + before));
    // The echo's CR comes back as CR LF: a byte lost there must not take the value's first digit.
    if (const std::uint8_t lf = next(); lf != '\n')
        ThrowInvalidInteger(SpacedText(QByteArray(1, char(lf))));
    exchange.EchoSeen(std::uint32_t(echo.size() + 1 + (closedText ? closeEcho.size() : 0)));
    QByteArray text;
    std::uint8_t first = next();
    exchange.AnswerCame();
    for (std::uint8_t byte = first; byte != ':'; byte = next()) {
        text += char(byte);
        if (text.size() > MaxValueText)
            ThrowOverlong(text);
    }
    const std::int32_t value = StrToInt(SpacedText(text));
    // A drive waits at its prompt: text after it means the colon was not the prompt's, as when a line
    // the drive printed on its own came between the echo and the value.
    RefuseTrailingText(exchange, text + ':');
    return {text, value};
}

// The same, with the prompt closed by a lone CR if the answer is given up: a drive left at its value
// prompt would take the next line sent as the register's new value; an empty answer keeps the value.
TRegisterAnswer ReadOrClose(TExchange& exchange, int n, const QByteArray* closedText) {
    try {
        return Framed(exchange, [&] { return ReadRegisterValue(exchange, n, closedText); });
    } catch (...) {
        exchange.WriteLine(PromptCloseLine());
        throw;
    }
}

// The echo of the CR that closed the prompt of the last register read, and nothing after it.
void CheckClosed(TExchange& exchange, const QByteArray& text) {
    const std::optional<std::uint8_t> cr = exchange.ReadByte();
    const std::optional<std::uint8_t> lf = exchange.ReadByte();
    if ((cr && *cr != '\r') || (lf && *lf != '\n'))
        ThrowInvalidInteger(SpacedText(text + ":\r" + (cr ? QByteArray(1, char(*cr)) : QByteArray()) +
                                       (lf ? QByteArray(1, char(*lf)) : QByteArray())));
    exchange.EchoSeen((cr ? 1 : 0) + (lf ? 1 : 0));
    RefuseTrailingText(exchange, text + ":\r\n");
    exchange.ReplyComplete();
}

} // namespace

ENoAnswer::ENoAnswer(int n)
    : EKelmorError(QStringLiteral("The drive did not answer the query for register P%1").arg(n)) {}

std::int32_t QueryRegister(TExchange& exchange, int n) {
    if (exchange.Lost())
        throw ENoAnswer(n);
    exchange.WriteLine(RegisterQueryLine(n));
    const TRegisterAnswer answer = ReadOrClose(exchange, n, nullptr);
    exchange.WriteLine(PromptCloseLine());
    Framed(exchange, [&] { CheckClosed(exchange, answer.Text); });
    return answer.Value;
}

void QueryRegisterSeries(TExchange& exchange, const std::vector<int>& order,
                         const std::function<void(std::size_t, std::int32_t)>& each, std::size_t* queried) {
    std::size_t written = 0;
    const auto query = [&](int n) {
        exchange.WriteLine(RegisterQueryLine(n));
        if (queried)
            *queried = ++written;
    };
    if (order.empty())
        return;
    if (exchange.Lost())
        throw ENoAnswer(order.front());
    query(order.front());
    QByteArray closedText;
    std::int32_t closedValue = 0;
    for (std::size_t i = 0; i < order.size(); ++i) {
        const TRegisterAnswer answer = ReadOrClose(exchange, order[i], i > 0 ? &closedText : nullptr);
        // The reading before counts once this echo showed that only its prompt's close came after it.
        if (i > 0)
            each(i - 1, closedValue);
        exchange.WriteLine(PromptCloseLine());
        // The next query follows the close at once, so a converter's latency is waited once a register.
        if (i + 1 < order.size())
            query(order[i + 1]);
        closedText = answer.Text;
        closedValue = answer.Value;
    }
    Framed(exchange, [&] { CheckClosed(exchange, closedText); });
    each(order.size() - 1, closedValue);
}

std::array<std::int32_t, RegisterCount> QueryAllRegisters(TExchange& exchange) {
    std::array<std::int32_t, RegisterCount> values{};
    std::vector<int> order;
    for (int n = 0; n < RegisterCount; ++n)
        order.push_back(n);
    QueryRegisterSeries(exchange, order, [&](std::size_t i, std::int32_t value) { values[i] = value; });
    return values;
}

std::int32_t ReadPosition(TExchange& exchange, bool afterAnother) {
    return Framed(exchange, [&] {
        // The echo of "L " and its CR, then the reply's own line end; after another reading, first the
        // echo of that query's second CR.
        const QByteArray expected = afterAnother ? "\r\nL \r\n\r\n" : "L \r\n\r\n";
        const auto headBytes = std::uint32_t(expected.size());
        const QByteArray head = exchange.Read(headBytes, Deadline(exchange, headBytes));
        if (head != expected)
            ThrowBadReply(head);
        exchange.EchoSeen(headBytes - 2);
        exchange.AnswerCame();
        QByteArray digits;
        const TExchange::Clock::time_point deadline = Deadline(exchange, MaxValueText + 2);
        const auto next = [&] {
            return TExchange::Clock::now() < deadline ? exchange.ReadByte() : std::nullopt;
        };
        std::optional<std::uint8_t> byte = next();
        for (; byte && *byte >= '0' && *byte <= '9'; byte = next()) {
            digits += char(*byte);
            if (digits.size() > MaxValueText)
                ThrowOverlong(digits);
        }
        QByteArray end = byte ? QByteArray(1, char(*byte)) : QByteArray();
        if (end == "\r")
            if (const std::optional<std::uint8_t> lf = next())
                end += char(*lf);
        if (digits.isEmpty() || end != "\r\n")
            ThrowBadReply(digits + end);
        const std::int32_t position = StrToInt(SpacedText(digits));
        // Only the echo of the second CR is to come.
        exchange.ReplyComplete();
        return position;
    });
}

std::vector<TPositionReading> ReadPositions(TExchange& exchange, int count) {
    return Framed(exchange, [&] {
        const QByteArray head = "L \r\n\r\n";
        // Each query brings four line ends: its echo's, the reply's empty line and digits, and the echo of
        // its second CR, the last of which is still to come when the last reply is read.
        const int lineEnds = 4 * count - 1;
        const TExchange::Clock::time_point deadline =
            Deadline(exchange, std::uint32_t(count * (head.size() + 2 + MaxValueText + 2)));
        QByteArray came;
        for (int ends = 0; ends < lineEnds && TExchange::Clock::now() < deadline;) {
            const std::optional<std::uint8_t> byte = exchange.ReadByte();
            if (!byte)
                break;
            if (came.isEmpty())
                exchange.AnswerCame();
            came += char(*byte);
            ends += *byte == '\n';
        }
        exchange.EchoSeen(std::uint32_t(came.size()));
        // Every reply whose head, digits and line end came whole is a reading, also after one that broke:
        // a lost byte costs its own reply only (and a lost line end the wait for the rest).
        std::vector<TPositionReading> readings;
        for (qsizetype at = came.indexOf(head); at >= 0 && int(readings.size()) < count;
             at = came.indexOf(head, at + 1)) {
            qsizetype end = at + head.size();
            while (end < came.size() && end - at - head.size() <= MaxValueText && came[end] >= '0' &&
                   came[end] <= '9')
                ++end;
            const QByteArray digits = came.mid(at + head.size(), end - at - head.size());
            bool whole = false;
            const std::int32_t position = digits.toInt(&whole);
            if (whole && !digits.isEmpty() && digits.size() <= MaxValueText && came.mid(end, 2) == "\r\n")
                readings.push_back({position, at > 0});
        }
        if (readings.empty())
            ThrowBadReply(came.left(MaxValueText));
        if (int(readings.size()) == count)
            exchange.ReplyComplete();
        else
            exchange.ReplyFailed();
        return readings;
    });
}

QByteArray ReadSampleBlock(TExchange& exchange, int sampleCount) {
    constexpr int MaxSamples = 1000;
    constexpr int RecordBytes = 4;
    constexpr int SpareBytes = 10;
    constexpr std::chrono::microseconds SamplePeriod = 500us;
    const int count = std::clamp(sampleCount, 0, MaxSamples);
    const auto size = std::uint32_t(RecordBytes * count + SpareBytes);
    // A drive may record first and send afterwards, so the recording and the block's time on the wire
    // add up.
    const TExchange::Clock::time_point deadline =
        TExchange::Clock::now() + exchange.ReadTimeout() + count * SamplePeriod + WireTime(exchange, size);
    QByteArray block = exchange.Read(size, deadline);
    // What the drive says ahead of its records can outgrow the spare bytes: the echo of the "S" line and
    // its "OK" come after the purge, and a long target lengthens the echo of "J". While the bytes keep
    // coming, the missing records are read on, up to twice the block.
    for (std::uint32_t asked = size;
         std::uint32_t(block.size()) == asked && TExchange::Clock::now() < deadline;) {
        const auto missing = std::uint32_t(
            std::min<std::size_t>(MissingRecordBytes(block, std::size_t(count)), 2 * size - asked));
        if (missing == 0)
            break;
        asked += missing;
        block += exchange.Read(missing, deadline);
    }
    // The records come after the echo of every line written before them.
    exchange.EchoSeen(std::uint32_t(block.size()));
    return block;
}
