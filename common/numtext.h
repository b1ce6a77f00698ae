#pragma once

#include <QChar>
#include <QString>
#include <cstdint>
#include <exception>

// Every number the user types or sees goes through here: texts are read and written with the decimal
// separator of the locale the program runs in (QLocale(), the default locale), and arithmetic on typed
// values is checked so that a fault ends the running handler with one of the errors of errors.h
// instead of producing an infinity, a NaN or a wrapped integer.

// A text as messages quote it: between single quotes, with control characters written as escapes
// ("\r", "\n", "\t", "\x00"), so that a message quoting bytes from a drive or a file stays one
// readable line.
QString QuotedText(const QString& text);

// Throws EConvertError "'<text>' is not a valid integer value", the text quoted by QuotedText.
[[noreturn]] void ThrowInvalidInteger(const QString& text);

// The decimal separator of the running locale.
QChar DecimalSeparator();

// A number text whose decimal separator is a point or a comma (a built-in default such as "4,0", a
// text from a file), given the running locale's separator, so that it is valid input wherever the
// program runs.
QString LocalDecimalText(const QString& text);

// A number text as files keep it: the running locale's decimal separator written as a point, so that
// the file reads the same in any locale.
QString PointDecimalText(const QString& text);

// A signed decimal 32-bit integer: leading spaces, an optional sign, then ASCII digits and nothing else.
// Throws EConvertError "'<text>' is not a valid integer value" otherwise (empty, trailing space, out of
// range, hexadecimal).
std::int32_t StrToInt(const QString& text);

// A decimal number with the running locale's separator and an optional exponent ("1,5E3"), with spaces
// allowed before and after. Throws EConvertError "'<text>' is not a valid floating point value"
// otherwise, also for a value too large for long double. A value too small for it reads as zero.
long double StrToFloat(const QString& text);

// The shown form of a figure: the value is rounded to single precision, then once (half away from zero)
// to whichever is coarser of six significant digits or two decimals, and written fixed-point with two
// decimals ("12345,70", "0,40", "-5,00"). A value that rounds to zero shows "0,00", never "-0,00".
// From one million up in magnitude the text is the exponent form with six significant digits and a
// signed exponent of at least two digits ("1,23457E+06", "-2,00000E+12"); StrToFloat reads it back.
// Throws EOverflow beyond the single-precision range and EInvalidOp for a NaN.
QString FloatToText(long double value);

// Passes a finite value through; throws EInvalidOp for a NaN and EOverflow for an infinity.
long double CheckFloat(long double value);

// Checked arithmetic in extended precision. A result that overflows to infinity throws EOverflow, one
// that is not a number throws EInvalidOp; underflow and inexact results are accepted.
long double Add(long double a, long double b);
long double Subtract(long double a, long double b);
long double Multiply(long double a, long double b);
// x / 0 throws EZeroDivide, 0 / 0 throws EInvalidOp.
long double Divide(long double dividend, long double divisor);

// Truncation toward zero to a signed 32-bit integer. A value within a few units in the last place of a
// whole number is taken as that number first, so that a product whose exact result is whole (75 × 5.12)
// does not lose a unit to binary rounding. A result outside the 32-bit range throws EOverflow; a NaN
// throws EInvalidOp.
std::int32_t TruncToInt32(long double value);

// The value the shown form of a figure stands for (FloatToText), exactly as StrToFloat reads that
// text back, without writing it; the same errors as FloatToText.
long double ShownValue(long double value);

// A figure as the model holds it: a value, or none with why (a text that is no number), and the text
// it is shown as. A field's or a file's text is read once, where it is given, as a decimal (StrToFloat)
// and, when asked, as a whole number (StrToInt); asking for a reading the text does not give throws
// what reading it threw, so that a conversion needing that number names the text, as if it had read it.
// A figure the program computes is made from its value and is shown as FloatToText writes it, or as
// the caller says. Conversions read the values only. Two figures are the same when they stand for
// the same value, or neither for one, and are shown alike. The running locale's decimal separator is
// the one of the moment the text is read.
class TFigure {
public:
    // An empty text, which is no number.
    TFigure();
    explicit TFigure(const QString& text);
    // A computed figure: finite (EOverflow, EInvalidOp otherwise). `shown`, when given, is the text a
    // field shows for it.
    static TFigure Of(long double value, const QString& shown = QString());

    QString Text() const;
    long double Decimal() const;
    // A typed figure's text read as a whole number; a computed one's value when it is whole.
    std::int32_t Whole() const;
    bool IsDecimal() const { return !FDecimalError; }

    bool operator==(const TFigure& other) const;

private:
    TFigure(long double value, const QString& shown);

    QString FText;
    bool FComputed = false;
    long double FDecimal = 0;
    std::exception_ptr FDecimalError;
    mutable bool FWholeParsed = false;
    mutable std::int32_t FWhole = 0;
    mutable std::exception_ptr FWholeError;
};
