#include "common/numtext.h"

#include "common/errors.h"

#include <QLocale>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <system_error>

namespace {

bool IsAsciiDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Moves past leading blanks and an optional sign; true when the sign is a minus.
bool SkipBlanksAndSign(const QString& text, qsizetype& i) {
    while (i < text.size() && text[i] == QLatin1Char(' '))
        ++i;
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        return text[i++] == QLatin1Char('-');
    return false;
}

[[noreturn]] void ThrowInvalidFloat(const QString& text) {
    throw EConvertError(QuotedText(text) + QStringLiteral(" is not a valid floating point value"));
}

// Saturated decimal exponent digits: anything this large already over- or underflows long double.
constexpr long long ExponentLimit = 1000000000;

// The decimal order (power of ten of the leading digit) of a mantissa given as its integer and fraction
// digits, or nothing when all digits are zero.
std::optional<long long> DecimalOrder(const std::string& integerDigits, const std::string& fractionDigits) {
    const auto integerLead = integerDigits.find_first_not_of('0');
    if (integerLead != std::string::npos)
        return static_cast<long long>(integerDigits.size() - integerLead) - 1;
    const auto fractionLead = fractionDigits.find_first_not_of('0');
    if (fractionLead != std::string::npos)
        return -static_cast<long long>(fractionLead) - 1;
    return std::nullopt;
}

// Products of typed decimal values carry a relative error of a few units in the last place; this
// tolerance is far above that and far below any fraction a typed value with fewer than 17 significant
// digits can express.
constexpr long double TruncTolerance = 64 * std::numeric_limits<long double>::epsilon();

} // namespace

QString QuotedText(const QString& text) {
    QString quoted = QStringLiteral("'");
    for (const QChar c : text) {
        if (c == QLatin1Char('\r'))
            quoted += QStringLiteral("\\r");
        else if (c == QLatin1Char('\n'))
            quoted += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            quoted += QStringLiteral("\\t");
        else if (c.category() == QChar::Other_Control)
            quoted += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            quoted += c;
    }
    return quoted + QLatin1Char('\'');
}

void ThrowInvalidInteger(const QString& text) {
    throw EConvertError(QuotedText(text) + QStringLiteral(" is not a valid integer value"));
}

QChar DecimalSeparator() {
    const QString point = QLocale().decimalPoint();
    return point.isEmpty() ? QLatin1Char('.') : point.front();
}

QString LocalDecimalText(const QString& text) {
    const QChar separator = DecimalSeparator();
    return QString(text).replace(QLatin1Char(','), separator).replace(QLatin1Char('.'), separator);
}

QString PointDecimalText(const QString& text) {
    return QString(text).replace(DecimalSeparator(), QLatin1Char('.'));
}

std::int32_t StrToInt(const QString& text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    const bool negative = SkipBlanksAndSign(text, i);
    if (i == n)
        ThrowInvalidInteger(text);
    // One more than INT32_MAX, so that the most negative value parses.
    constexpr long long Limit = static_cast<long long>(std::numeric_limits<std::int32_t>::max()) + 1;
    long long magnitude = 0;
    for (; i < n; ++i) {
        if (!IsAsciiDigit(text[i]))
            ThrowInvalidInteger(text);
        magnitude = magnitude * 10 + (text[i].unicode() - '0');
        if (magnitude > Limit)
            ThrowInvalidInteger(text);
    }
    const long long value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<std::int32_t>::max())
        ThrowInvalidInteger(text);
    return static_cast<std::int32_t>(value);
}

long double StrToFloat(const QString& text) {
    const QChar separator = DecimalSeparator();
    qsizetype i = 0;
    const qsizetype n = text.size();
    const bool negative = SkipBlanksAndSign(text, i);
    std::string integerDigits, fractionDigits;
    for (; i < n && IsAsciiDigit(text[i]); ++i)
        integerDigits += static_cast<char>(text[i].unicode());
    if (i < n && text[i] == separator)
        for (++i; i < n && IsAsciiDigit(text[i]); ++i)
            fractionDigits += static_cast<char>(text[i].unicode());
    if (integerDigits.empty() && fractionDigits.empty())
        ThrowInvalidFloat(text);

    long long exponent = 0;
    if (i < n && (text[i] == QLatin1Char('E') || text[i] == QLatin1Char('e'))) {
        ++i;
        bool negativeExponent = false;
        if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
            negativeExponent = text[i] == QLatin1Char('-');
            ++i;
        }
        if (i == n || !IsAsciiDigit(text[i]))
            ThrowInvalidFloat(text);
        for (; i < n && IsAsciiDigit(text[i]); ++i)
            exponent = std::min(exponent * 10 + (text[i].unicode() - '0'), ExponentLimit);
        if (negativeExponent)
            exponent = -exponent;
    }
    while (i < n && text[i] == QLatin1Char(' '))
        ++i;
    if (i != n)
        ThrowInvalidFloat(text);

    // std::from_chars is correctly rounded and, unlike strtold, ignores the C library's locale, which
    // Qt sets from the environment.
    std::string plain = integerDigits.empty() ? std::string("0") : integerDigits;
    if (!fractionDigits.empty())
        plain += '.' + fractionDigits;
    plain += 'e' + std::to_string(exponent);
    long double value = 0;
    const auto [end, error] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (error == std::errc::result_out_of_range) {
        const std::optional<long long> order = DecimalOrder(integerDigits, fractionDigits);
        if (order && *order + exponent > 0)
            ThrowInvalidFloat(text);
        value = 0;
    } else if (error != std::errc() || end != plain.data() + plain.size()) {
        ThrowInvalidFloat(text);
    }
    return negative ? -value : value;
}

namespace {

// A value as its shown form rounds it: the sign, and the kept digits as a whole number of units of
// ten to the power Place.
struct TShownDigits {
    bool Negative;
    long long Units;
    int Place;
};

TShownDigits ShownDigits(long double value) {
    CheckFloat(value);
    // Values from here up round to infinity in single precision (the tie at the top goes to the even
    // neighbour, which is 2^128).
    const long double floatOverflow = std::ldexp(1.0L, 128) - std::ldexp(1.0L, 103);
    if (std::fabs(value) >= floatOverflow)
        throw EOverflow();
    // Between the largest float and the threshold the value rounds down to the largest float.
    const long double largest = std::numeric_limits<float>::max();
    const double single = static_cast<float>(std::clamp(value, -largest, largest));

    // Fifty significant digits hold the exact decimal expansion of any single-precision value from 0.001
    // up (smaller ones round to zero anyway), so the rounding below decides ties on the exact value.
    char buffer[80];
    const auto written =
        std::to_chars(buffer, buffer + sizeof buffer, std::fabs(single), std::chars_format::scientific, 50);
    const std::string scientific(buffer, written.ptr);
    const auto exponentAt = scientific.find('e');
    const std::string digits = scientific.substr(0, 1) + scientific.substr(2, exponentAt - 2);
    const int order = std::stoi(scientific.substr(exponentAt + 1));

    // Round once, at the coarser of the sixth significant digit and the second decimal.
    const int keepPlace = std::max(order - 5, -2);
    const int keepCount = order - keepPlace + 1;
    long long units = 0;
    for (int k = 0; k < keepCount; ++k)
        units = units * 10 + (digits[k] - '0');
    if (keepCount >= 0 && digits[keepCount] >= '5')
        ++units;
    return {std::signbit(single), units, keepPlace};
}

} // namespace

QString FloatToText(long double value) {
    const auto [negative, units, keepPlace] = ShownDigits(value);
    const QChar separator = DecimalSeparator();
    if (units == 0)
        return QStringLiteral("0") + separator + QStringLiteral("00");
    const QString sign = negative ? QStringLiteral("-") : QString();

    long long limitUnits = 1000000;
    for (int place = keepPlace; place < 0; ++place)
        limitUnits *= 10;
    if (keepPlace <= 0 && units < limitUnits) {
        long long hundredths = units;
        for (int place = -2; place < keepPlace; ++place)
            hundredths *= 10;
        return sign + QString::number(hundredths / 100) + separator +
               QStringLiteral("%1").arg(hundredths % 100, 2, 10, QLatin1Char('0'));
    }

    const QString mantissa = QString::number(units);
    const int exponent = keepPlace + static_cast<int>(mantissa.size()) - 1;
    return sign + mantissa.front() + separator + mantissa.mid(1, 5) + QLatin1Char('E') +
           (exponent < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
           QStringLiteral("%1").arg(std::abs(exponent), 2, 10, QLatin1Char('0'));
}

long double ShownValue(long double value) {
    const auto [negative, units, place] = ShownDigits(value);
    // Read from its digits as StrToFloat reads a text, correctly rounded.
    const std::string plain = std::to_string(units) + 'e' + std::to_string(place);
    long double magnitude = 0;
    std::from_chars(plain.data(), plain.data() + plain.size(), magnitude);
    return negative && units != 0 ? -magnitude : magnitude;
}

long double CheckFloat(long double value) {
    if (std::isnan(value))
        throw EInvalidOp();
    if (std::isinf(value))
        throw EOverflow();
    return value;
}

long double Add(long double a, long double b) {
    return CheckFloat(CheckFloat(a) + CheckFloat(b));
}

long double Subtract(long double a, long double b) {
    return CheckFloat(CheckFloat(a) - CheckFloat(b));
}

long double Multiply(long double a, long double b) {
    return CheckFloat(CheckFloat(a) * CheckFloat(b));
}

long double Divide(long double dividend, long double divisor) {
    CheckFloat(dividend);
    CheckFloat(divisor);
    if (divisor == 0) {
        if (dividend == 0)
            throw EInvalidOp();
        throw EZeroDivide();
    }
    return CheckFloat(dividend / divisor);
}

std::int32_t TruncToInt32(long double value) {
    CheckFloat(value);
    const long double nearest = std::round(value);
    if (std::fabs(value - nearest) <= TruncTolerance * std::fabs(nearest))
        value = nearest;
    const long double whole = std::trunc(value);
    if (whole < std::numeric_limits<std::int32_t>::min() || whole > std::numeric_limits<std::int32_t>::max())
        throw EOverflow();
    return static_cast<std::int32_t>(whole);
}

TFigure::TFigure() {
    // Read once: an unset figure stands in many conversions that never ask for it, and reading the
    // empty text afresh would cost an exception each time.
    static const std::exception_ptr emptyText = TFigure(QString()).FDecimalError;
    FDecimalError = emptyText;
}

TFigure::TFigure(const QString& text) : FText(text) {
    try {
        FDecimal = StrToFloat(text);
    } catch (...) {
        FDecimalError = std::current_exception();
    }
}

TFigure::TFigure(long double value, const QString& shown)
    : FText(shown), FComputed(true), FDecimal(CheckFloat(value)) {}

TFigure TFigure::Of(long double value, const QString& shown) {
    return TFigure(value, shown);
}

QString TFigure::Text() const {
    if (!FComputed || !FText.isNull())
        return FText;
    try {
        return FloatToText(FDecimal);
    } catch (const EKelmorError&) {
        // Beyond single precision: the exponent form, six significant digits.
        return QString::number(double(FDecimal), 'E', 5).replace(QLatin1Char('.'), DecimalSeparator());
    }
}

long double TFigure::Decimal() const {
    if (FDecimalError)
        std::rethrow_exception(FDecimalError);
    return FDecimal;
}

std::int32_t TFigure::Whole() const {
    // Parsed when first asked: most numbers are read as decimals, and a decimal text refused as a
    // whole number costs an exception, which a search converting thousands of gains cannot afford.
    if (!FWholeParsed) {
        FWholeParsed = true;
        try {
            if (!FComputed)
                FWhole = StrToInt(FText);
            else if (FDecimal == std::trunc(FDecimal) &&
                     std::fabs(FDecimal) <= std::numeric_limits<std::int32_t>::max())
                FWhole = std::int32_t(FDecimal);
            else
                ThrowInvalidInteger(Text());
        } catch (...) {
            FWholeError = std::current_exception();
        }
    }
    if (FWholeError)
        std::rethrow_exception(FWholeError);
    return FWhole;
}

bool TFigure::operator==(const TFigure& other) const {
    return IsDecimal() == other.IsDecimal() && (!IsDecimal() || FDecimal == other.FDecimal) &&
           Text() == other.Text();
}
