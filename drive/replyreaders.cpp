#include "drive/replyreaders.h"

#include "common/numtext.h"
#include "drive/commandlines.h"
#include "drive/samplerecords.h"
#include "link/exchange.h"

#include <algorithm>
#include <chrono>
#include <optional>

namespace {

using namespace std::chrono_literals;

constexpr std::uint8_t CR = '\r';

// One start bit, eight data bits and one stop bit per byte.
constexpr long long BitsPerByte = 10;

// How long count bytes take on the wire at the port's rate.
std::chrono::microseconds WireTime(const TExchange& exchange, std::uint32_t count) {
    const long long rate = std::max<long long>(exchange.BaudRate(), 1);
    return std::chrono::microseconds((count * BitsPerByte * 1000000 + rate - 1) / rate);
}

// When a read of count bytes, which the drive sends at once, must have ended.
TExchange::Clock::time_point Deadline(const TExchange& exchange, std::uint32_t count) {
    return TExchange::Clock::now() + exchange.ReadTimeout() + WireTime(exchange, count);
}

// The value text as the drive's reply has it, with the space that the conversion puts in front.
QString SpacedText(const QByteArray& text) {
    return QLatin1Char(' ') + QString::fromLatin1(text);
}

// A text too long to be a value: leading zeros or blanks could make any length a valid integer.
[[noreturn]] void ThrowOverlong(const QByteArray& text) {
    ThrowInvalidInteger(SpacedText(text));
}

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

// The reply to the query of register n up to the prompt's colon: the value text converted.
TRegisterAnswer ReadRegisterValue(TExchange& exchange, int n) {
    const auto next = [&] {
        const std::optional<std::uint8_t> byte = exchange.ReadByte();
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
    next();
    QByteArray text;
    for (std::uint8_t byte = next(); byte != ':'; byte = next()) {
        text += char(byte);
        if (text.size() > MaxValueText)
            ThrowOverlong(text);
    }
    return {text, StrToInt(SpacedText(text))};
}

} // namespace

ENoAnswer::ENoAnswer(int n)
    : EKelmorError(QStringLiteral("The drive did not answer the query for register P%1").arg(n)) {}

std::int32_t QueryRegister(TExchange& exchange, int n) {
    if (exchange.Lost())
        throw ENoAnswer(n);
    exchange.WriteLine(RegisterQueryLine(n));
    TRegisterAnswer answer;
    try {
        answer = ReadRegisterValue(exchange, n);
        // A drive waits at its prompt: text after it means the colon was not the prompt's, as when
        // a line the drive printed on its own came between the echo and the value.
        RefuseTrailingText(exchange, answer.Text + ':');
    } catch (...) {
        // A drive left at its value prompt would take the next line sent as the register's new value;
        // an empty answer keeps the value.
        exchange.WriteLine(PromptCloseLine());
        throw;
    }
    exchange.WriteLine(PromptCloseLine());
    // The echo of that CR, and nothing after it.
    const std::optional<std::uint8_t> cr = exchange.ReadByte();
    const std::optional<std::uint8_t> lf = exchange.ReadByte();
    if ((cr && *cr != '\r') || (lf && *lf != '\n'))
        ThrowInvalidInteger(SpacedText(answer.Text + ":\r" + (cr ? QByteArray(1, char(*cr)) : QByteArray()) +
                                       (lf ? QByteArray(1, char(*lf)) : QByteArray())));
    RefuseTrailingText(exchange, answer.Text + ":\r\n");
    return answer.Value;
}

std::int32_t ReadPosition(TExchange& exchange) {
    constexpr std::uint32_t HeadBytes = 6;
    exchange.Read(HeadBytes, Deadline(exchange, HeadBytes));
    QByteArray digits;
    for (std::optional<std::uint8_t> byte = exchange.ReadByte(); byte && *byte >= '0' && *byte <= '9';
         byte = exchange.ReadByte()) {
        digits += char(*byte);
        if (digits.size() > MaxValueText)
            ThrowOverlong(digits);
    }
    return StrToInt(SpacedText(digits));
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
    return block;
}
