#include "drive/replyreaders.h"

#include "common/numtext.h"
#include "drive/commandlines.h"
#include "link/exchange.h"

#include <algorithm>
#include <chrono>
#include <optional>

namespace {

using namespace std::chrono_literals;

constexpr std::uint8_t CR = '\r';

// One start bit, eight data bits and one stop bit per byte.
constexpr long long BitsPerByte = 10;

// When a read of count bytes that the drive sends within busyTime must have ended.
TExchange::Clock::time_point Deadline(const TExchange& exchange, std::uint32_t count,
                                      std::chrono::microseconds busyTime) {
    const long long rate = std::max<long long>(exchange.BaudRate(), 1);
    const std::chrono::microseconds transfer((count * BitsPerByte * 1000000 + rate - 1) / rate);
    return TExchange::Clock::now() + exchange.ReadTimeout() + std::max(transfer, busyTime);
}

// The value text as the drive's reply has it, with the space that the conversion puts in front.
QString SpacedText(const QByteArray& text) {
    return QLatin1Char(' ') + QString::fromLatin1(text);
}

// A text too long to be a value: leading zeros or blanks could make any length a valid integer.
[[noreturn]] void ThrowOverlong(const QByteArray& text) {
    throw EConvertError(QStringLiteral("'") + SpacedText(text) +
                        QStringLiteral("' is not a valid integer value"));
}

} // namespace

ENoAnswer::ENoAnswer(int n)
    : EKelmorError(QStringLiteral("The drive did not answer the query for register P%1").arg(n)) {}

std::int32_t QueryRegister(TExchange& exchange, int n) {
    if (exchange.Lost())
        throw ENoAnswer(n);
    exchange.WriteLine(RegisterQueryLine(n));
    const auto next = [&] {
        const std::optional<std::uint8_t> byte = exchange.ReadByte();
        if (!byte)
            throw ENoAnswer(n);
        return *byte;
    };

    int skipped = 0;
    while (next() != CR)
        if (++skipped >= MaxEchoBytes)
            throw ENoAnswer(n);
    next();
    QByteArray text;
    for (std::uint8_t byte = next(); byte != ':'; byte = next()) {
        text += char(byte);
        if (text.size() > MaxValueText)
            ThrowOverlong(text);
    }
    const std::int32_t value = StrToInt(SpacedText(text));
    exchange.WriteLine(PromptCloseLine());
    exchange.ReadByte();
    exchange.ReadByte();
    return value;
}

std::int32_t ReadPosition(TExchange& exchange) {
    constexpr std::uint32_t HeadBytes = 6;
    exchange.Read(HeadBytes, Deadline(exchange, HeadBytes, 0us));
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
    return exchange.Read(size, Deadline(exchange, size, count * SamplePeriod));
}
