#include "common/errors.h"
#include "common/numtext.h"

#include <QLocale>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <ostream>

// Failure messages show texts as texts rather than as arrays of characters.
void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {

// Sets the default locale for one test and restores the previous one after it.
class TLocaleScope {
public:
    explicit TLocaleScope(const QLocale& locale) { QLocale::setDefault(locale); }
    ~TLocaleScope() { QLocale::setDefault(FSaved); }

private:
    QLocale FSaved;
};

const QLocale Polish(QLocale::Polish, QLocale::Poland);
const QLocale CLocale = QLocale::c();

// The message of the error the call throws, or "" when it throws none; the error's type must be E.
template <typename E> QString ErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const E& error) {
        return error.Message();
    } catch (const EKelmorError& error) {
        return QStringLiteral("wrong error type: ") + error.Message();
    }
    return QString();
}

const QString DivisionByZero = QStringLiteral("Floating point division by zero");
const QString InvalidOperation = QStringLiteral("Invalid floating point operation");
const QString Overflow = QStringLiteral("Floating point overflow");

} // namespace

TEST(NumText, IntegerTexts) {
    const struct {
        QString Text;
        std::int32_t Value;
    } valid[] = {
        {"1024", 1024},
        {" 1024", 1024},
        {"  -7", -7},
        {"+5", 5},
        {"-0", 0},
        {"2147483647", 2147483647},
        {"-2147483648", std::numeric_limits<std::int32_t>::min()},
        {"00000000000000000012", 12},
    };
    for (const auto& c : valid)
        EXPECT_EQ(StrToInt(c.Text), c.Value) << c.Text.toStdString();

    const QString invalid[] = {"",     "-",   "1024 ", "2147483648",  "-2147483649", "99999999999999999999",
                               "0x10", "1,0", "- 5",   "\u0661\u0662"};
    for (const QString& text : invalid)
        EXPECT_EQ(ErrorOf<EConvertError>([&] { StrToInt(text); }),
                  QStringLiteral("'") + text + QStringLiteral("' is not a valid integer value"))
            << text.toStdString();
}

TEST(NumText, FloatTextsWithTheLocaleSeparator) {
    const struct {
        const QLocale& Locale;
        QString Text;
        long double Value;
    } valid[] = {
        {Polish, "4,0", 4},       {Polish, "0,4", 0.4L},         {Polish, " 1,5E3 ", 1500},
        {Polish, "-1,5", -1.5L},  {Polish, ",5", 0.5L},          {Polish, "5,", 5},
        {Polish, "1e-3", 0.001L}, {Polish, "+2,5e+2", 250},      {Polish, "2999,88", 2999.88L},
        {Polish, "1E-5000", 0},   {Polish, "0E999999999999", 0}, {Polish, "1,23457E+06", 1234570},
        {CLocale, "4.0", 4},      {CLocale, " 0.4 ", 0.4L},      {CLocale, "1.5E3", 1500},
    };
    for (const auto& c : valid) {
        TLocaleScope scope(c.Locale);
        EXPECT_EQ(StrToFloat(c.Text), c.Value) << c.Text.toStdString();
    }

    const struct {
        const QLocale& Locale;
        QString Text;
    } invalid[] = {
        {Polish, ""},      {Polish, "4.0"},    {Polish, ","},
        {Polish, "1,5E+"}, {Polish, "E3"},     {Polish, "1\u00a0000"},
        {Polish, "inf"},   {Polish, "1E5000"}, {Polish, "-1E99999999999999999999"},
        {Polish, "1,2,3"}, {CLocale, "4,0"},
    };
    for (const auto& c : invalid) {
        TLocaleScope scope(c.Locale);
        EXPECT_EQ(ErrorOf<EConvertError>([&] { StrToFloat(c.Text); }),
                  QStringLiteral("'") + c.Text + QStringLiteral("' is not a valid floating point value"))
            << c.Text.toStdString();
    }
}

TEST(NumText, DefaultTextsFollowTheLocale) {
    for (const QLocale& locale : {Polish, CLocale}) {
        TLocaleScope scope(locale);
        const QChar separator = locale == Polish ? QLatin1Char(',') : QLatin1Char('.');
        EXPECT_EQ(DecimalSeparator(), separator);
        EXPECT_EQ(LocalDecimalText("4,0"), QStringLiteral("4") + separator + QStringLiteral("0"));
        EXPECT_EQ(LocalDecimalText("3200"), QStringLiteral("3200"));
        EXPECT_EQ(StrToFloat(LocalDecimalText("0,4")), 0.4L);
        EXPECT_EQ(LocalDecimalText("0.4"), LocalDecimalText("0,4")) << "a file's point reads as well";
    }
}

TEST(NumText, ShownForm) {
    const struct {
        long double Value;
        const char* Polish;
    } cases[] = {
        {4, "4,00"},
        {0.3984375L, "0,40"},
        {12345.678L, "12345,70"},
        {3195, "3195,00"},
        {-5, "-5,00"},
        {0, "0,00"},
        {-0.0L, "0,00"},
        {-0.004L, "0,00"},
        {-0.125L, "-0,13"}, // an exact tie rounds away from zero
        {0.005L, "0,00"},   // single precision holds 0.004999999888
        {99.995L, "100,00"},
        {100000.5L, "100001,00"},
        {999999.6L, "1,00000E+06"},
        {1234567, "1,23457E+06"},
        {-2e12L, "-2,00000E+12"},
        {3.4e38L, "3,40000E+38"},
    };
    for (const auto& c : cases) {
        const QString polish = QString::fromUtf8(c.Polish);
        {
            TLocaleScope scope(Polish);
            EXPECT_EQ(FloatToText(c.Value), polish) << c.Polish;
            EXPECT_EQ(ShownValue(c.Value), StrToFloat(polish)) << c.Polish;
        }
        TLocaleScope scope(CLocale);
        EXPECT_EQ(FloatToText(c.Value), QString(polish).replace(QLatin1Char(','), QLatin1Char('.')))
            << c.Polish;
    }

    EXPECT_EQ(ErrorOf<EOverflow>([] { FloatToText(3.5e38L); }), Overflow);
    EXPECT_EQ(ErrorOf<EOverflow>([] { FloatToText(std::numeric_limits<long double>::infinity()); }),
              Overflow);
    EXPECT_EQ(ErrorOf<EInvalidOp>([] { FloatToText(std::numeric_limits<long double>::quiet_NaN()); }),
              InvalidOperation);
}

// The default setting texts go out as the registers 1024, 768, 0, 102, 294, 213, 384, 12820, 64, and
// those registers come back as the default figures.
TEST(NumText, SettingsRoundTripOfTheDefaults) {
    TLocaleScope scope(Polish);
    const long double kv = StrToFloat("4,0"), un = StrToFloat("12"), n = StrToFloat("4000"),
                      us = StrToFloat("12"), e = StrToFloat("500");
    const std::int32_t encoder = StrToInt("500");
    const struct {
        const char* Name;
        long double Value;
        std::int32_t Register;
    } written[] = {
        {"KV", Multiply(kv, 256), 1024},
        {"KP", Multiply(StrToFloat("3,0"), 256), 768},
        {"KD", Multiply(StrToFloat("0"), 256), 0},
        {"KI", Multiply(StrToFloat("0,4"), 256), 102},
        {"KG",
         Divide(Multiply(Multiply(Multiply(StrToFloat("0,3"), 256), 7680000), un),
                Multiply(Multiply(n, us), encoder)),
         294},
        {"Limit V", Divide(Multiply(Multiply(StrToFloat("3200"), kv), encoder), 30000), 213},
        {"Limit M", Multiply(StrToFloat("75"), 5.12L), 384},
        {"Vj", Divide(Multiply(StrToFloat("3000"), e), 117), 12820},
        {"aj", Divide(Multiply(StrToFloat("3000"), e), 23400), 64},
        {"Limit V of 3000", Divide(Multiply(Multiply(StrToFloat("3000"), kv), encoder), 30000), 200},
    };
    for (const auto& c : written)
        EXPECT_EQ(TruncToInt32(c.Value), c.Register) << c.Name;

    const struct {
        const char* Name;
        long double Value;
        const char* Shown;
    } read[] = {
        {"KV", Multiply(1024, 0.00390625L), "4,00"},
        {"KV of 1023", Multiply(1023, 0.00390625L), "4,00"},
        {"KP", Divide(768, 256), "3,00"},
        {"KD", Divide(0, 256), "0,00"},
        {"KI", Divide(102, 256), "0,40"},
        {"KG", Divide(Multiply(Multiply(Multiply(n, 294), e), us), Multiply(un, 1966080000)), "0,30"},
        {"Limit V", Divide(213 * 30000, Multiply(e, StrToFloat("4,00"))), "3195,00"},
        {"Limit M", Multiply(384, 0.1953125L), "75,00"},
        {"Vj", Divide(Multiply(12820, 117), e), "2999,88"},
        {"aj", Divide(Multiply(64, 23400), e), "2995,20"},
    };
    for (const auto& c : read)
        EXPECT_EQ(FloatToText(c.Value), QString::fromUtf8(c.Shown)) << c.Name;
}

TEST(NumText, CheckedArithmetic) {
    const long double huge = std::numeric_limits<long double>::max();
    const long double nan = std::numeric_limits<long double>::quiet_NaN();
    EXPECT_EQ(ErrorOf<EZeroDivide>([] { Divide(1, 0); }), DivisionByZero);
    EXPECT_EQ(ErrorOf<EInvalidOp>([] { Divide(0, 0); }), InvalidOperation);
    EXPECT_EQ(ErrorOf<EOverflow>([&] { Divide(huge, 0.5L); }), Overflow);
    EXPECT_EQ(ErrorOf<EOverflow>([&] { Multiply(huge, -2); }), Overflow);
    EXPECT_EQ(ErrorOf<EOverflow>([&] { Add(huge, huge); }), Overflow);
    EXPECT_EQ(ErrorOf<EOverflow>([&] { Subtract(-huge, huge); }), Overflow);
    EXPECT_EQ(ErrorOf<EInvalidOp>([&] { Multiply(nan, 1); }), InvalidOperation);
    EXPECT_EQ(Divide(std::numeric_limits<long double>::min(), huge), 0) << "underflow is no error";
    EXPECT_EQ(Divide(-3, 2), -1.5L);
}

TEST(NumText, Truncation) {
    const struct {
        long double Value;
        std::int32_t Whole;
    } valid[] = {
        {2147483647.0L, 2147483647},
        {2147483647.9L, 2147483647},
        {-2147483648.9L, std::numeric_limits<std::int32_t>::min()},
        {-1.5L * 256, -384},
        {102.4L, 102},
        {0.999L, 0},
        {-0.999L, 0},
        {383.99L, 383},
        {383.9999999999L, 383}, // a genuine fraction is not taken for a whole number
    };
    for (const auto& c : valid)
        EXPECT_EQ(TruncToInt32(c.Value), c.Whole) << static_cast<double>(c.Value);

    for (long double value : {2147483648.0L, -2147483649.0L, 1e30L, -1e30L})
        EXPECT_EQ(ErrorOf<EOverflow>([&] { TruncToInt32(value); }), Overflow) << static_cast<double>(value);
    EXPECT_EQ(ErrorOf<EInvalidOp>([] { TruncToInt32(std::numeric_limits<long double>::quiet_NaN()); }),
              InvalidOperation);
}

// A speed shown with its three exact decimals (register × 117 / 500) and typed back must give the same
// register: binary rounding of the typed decimal must not cost a unit.
TEST(NumText, TypedBackSpeedsKeepTheirRegister) {
    TLocaleScope scope(Polish);
    int lost = 0;
    for (std::int32_t r = 1; r <= 100000; ++r) {
        const std::int64_t thousandths = std::int64_t{r} * 234;
        const QString text = QString::number(thousandths / 1000) + QLatin1Char(',') +
                             QStringLiteral("%1").arg(thousandths % 1000, 3, 10, QLatin1Char('0'));
        if (TruncToInt32(Divide(Multiply(StrToFloat(text), 500), 117)) != r)
            ++lost;
    }
    EXPECT_EQ(lost, 0);
}
